#pragma once
// File dialogs answered by the test: each answer is the chosen paths, or
// nothing for a cancelled dialog.

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "shell/file_list_form.h"

namespace kelvo::testing {

class ScriptedDialogs : public IFileDialogs {
 public:
  using Paths = std::vector<std::string>;
  std::optional<Paths> RunOpen(const TDialogRequest& request) override {
    requests.push_back(request);
    return Next();
  }
  std::optional<std::string> RunSave(const TDialogRequest& request) override {
    requests.push_back(request);
    auto chosen = Next();
    if (!chosen || chosen->empty()) return std::nullopt;
    return chosen->front();
  }
  std::deque<std::optional<Paths>> answers;
  std::vector<TDialogRequest> requests;

 private:
  std::optional<Paths> Next() {
    if (answers.empty()) return std::nullopt;
    auto answer = answers.front();
    answers.pop_front();
    return answer;
  }
};

// Names dropped on the window.
class ListDropHandle : public IDropHandle {
 public:
  explicit ListDropHandle(std::vector<std::string> names) : names_(std::move(names)) {}
  int Count() const override { return static_cast<int>(names_.size()); }
  std::string Name(int index) const override { return names_.at(static_cast<std::size_t>(index)); }
  void Finish() override { ++finished; }
  int finished = 0;

 private:
  std::vector<std::string> names_;
};

}  // namespace kelvo::testing
