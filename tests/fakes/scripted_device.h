#pragma once
// A media device that plays nothing: the test scripts which files fail and
// when a play ends, and reads back the commands it was given.

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "core/platform.h"
#include "playback/media_device.h"

namespace kelvo::testing {

class ScriptedDevice : public IMediaDevice {
 public:
  explicit ScriptedDevice(IEventLoop& loop) : loop_(loop) {}

  void SetNotify(bool notify) override { notify_ = notify; }
  void SetWait(bool wait) override { wait_ = wait; }
  void SetFileName(const std::string& path) override { fileName_ = path; }

  void Open() override {
    Record("Open " + fileName_);
    openTimes.push_back(clock ? *clock : 0);
    EndPlay();  // the file already open is closed first
    open_ = false;
    if (failOpen.count(fileName_)) {
      error_ = 263;
      throw EMCIDeviceError("cannot open " + fileName_);
    }
    open_ = true;
    openFile = fileName_;
    error_ = 0;
  }
  void SetTimeFormatMilliseconds() override { ++timeFormatCalls; }
  void Play() override {
    Record("Play " + openFile);
    if (!open_ || failPlay.count(openFile)) {
      error_ = 277;
    } else {
      error_ = 0;
      playing_ = true;
      noticeOwed_ = notify_;
      ++generation_;
    }
    Consume();
  }
  void Stop() override {
    Record("Stop");
    if (!open_) {
      error_ = 263;
      throw EMCIDeviceError("no file open");
    }
    EndPlay();
    error_ = 0;
    Consume();
  }
  void Close() override {
    Record("Close");
    EndPlay();
    open_ = false;
    error_ = 0;
    Consume();
  }
  std::int64_t Length() override {
    const auto it = lengths.find(openFile);
    return it == lengths.end() ? 0 : it->second;
  }
  int Error() const override { return error_; }
  void SetOnNotify(std::function<void()> handler) override { onNotify_ = std::move(handler); }

  // The current play ends by itself; its notice is queued.
  void Finish() { EndPlay(true); }
  bool IsPlaying() const { return playing_; }
  bool IsOpen() const { return open_; }

  std::set<std::string> failOpen;
  std::set<std::string> failPlay;
  std::map<std::string, std::int64_t> lengths;
  std::vector<std::string> commands;
  // When set, the time of each Open is read from here.
  const long* clock = nullptr;
  std::vector<long> openTimes;
  std::string openFile;
  int timeFormatCalls = 0;
  int staleNoticesThatStartedAFile = 0;

 private:
  void Record(const std::string& command) { commands.push_back(command); }
  void Consume() { notify_ = wait_ = false; }
  // Ends the current play; a notice it asked for is queued. A notice of a
  // play that the program ended (stop, close, open over it) must never start
  // another file: such starts are counted.
  void EndPlay(bool byItself = false) {
    playing_ = false;
    if (!noticeOwed_) return;
    noticeOwed_ = false;
    loop_.Post([this, byItself, generation = generation_] {
      // A play started since makes this notice stale: it is not delivered.
      if (!onNotify_ || generation != generation_) return;
      const auto opensBefore = OpenCount();
      onNotify_();
      if (!byItself && OpenCount() != opensBefore) ++staleNoticesThatStartedAFile;
    });
  }
  std::size_t OpenCount() const { return openTimes.size(); }

  IEventLoop& loop_;
  bool notify_ = false;
  bool wait_ = false;
  std::string fileName_;
  bool open_ = false;
  bool playing_ = false;
  bool noticeOwed_ = false;
  unsigned long generation_ = 0;
  int error_ = 0;
  std::function<void()> onNotify_;
};

// A system menu that keeps the texts of its items.
class FakeSystemMenu : public ISystemMenu {
 public:
  void ModifyItem(unsigned commandId, const std::string& text) override { items[commandId] = text; }
  std::map<unsigned, std::string> items{{1984, "再生(&P)"}, {2000, "次を再生(&F)"}};
};

}  // namespace kelvo::testing
