#pragma once
// A window and an event loop that do nothing, for benchmarks of the logic.

#include <functional>
#include <string>

#include "core/platform.h"

namespace kelvo::bench {

class NullView : public IFormView {
 public:
  void Changed(FormElement) override {}
  int MessageBox(const std::string&, const std::string&, unsigned) override { return IDOK; }
  void FocusPlayList() override {}
  void SetStatusBarVisible(bool) override {}
  int ScreenWidth() const override { return 1920; }
  int ScreenHeight() const override { return 1080; }
  TWindowPlacement Placement() const override { return {}; }
  void SetPlacement(const TWindowPlacement&) override {}
  int PlayListFontHeight() const override { return -12; }
  void SetDefaultRowHeight(int) override {}
  unsigned RegisterWindowMessage(const std::string&) override { return 0xC000; }
  void DragAcceptFiles(bool) override {}
  void InstallHintHandler() override {}
  void Close() override {}
};

class NullLoop : public IEventLoop {
 public:
  void ProcessMessages() override {}
  TimerId StartTimer(int, std::function<void()>) override { return 0; }
  void CancelTimer(TimerId) override {}
  void Post(std::function<void()>) override {}
};

class NullMenu : public ISystemMenu {
 public:
  void ModifyItem(unsigned, const std::string&) override {}
};

}  // namespace kelvo::bench
