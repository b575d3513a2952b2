#pragma once
// The real main window on the player, with a scripted media device, scripted
// file dialogs, an in-memory settings store and a recording system menu.

#include <gtest/gtest.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "fakes/memory_registry.h"
#include "fakes/scripted_device.h"
#include "fakes/temp_dir.h"
#include "shell/file_list_form.h"
#include "shell/qt/main_window.h"
#include "shell/qt/play_list_table_model.h"
#include "shell/qt/play_list_view.h"
#include "shell/qt/qt_event_loop.h"

namespace kelvo::testing {

// File dialogs that answer what the test queued and record what they were asked.
class ScriptedDialogs : public IFileDialogs {
 public:
  std::optional<std::vector<std::string>> RunOpen(const TDialogRequest& request) override {
    openRequests.push_back(request);
    if (openAnswers.empty()) return std::nullopt;
    auto answer = openAnswers.front();
    openAnswers.pop_front();
    return answer;
  }
  std::optional<std::string> RunSave(const TDialogRequest& request) override {
    saveRequests.push_back(request);
    if (saveAnswers.empty()) return std::nullopt;
    auto answer = saveAnswers.front();
    saveAnswers.pop_front();
    return answer;
  }
  std::deque<std::optional<std::vector<std::string>>> openAnswers;
  std::deque<std::optional<std::string>> saveAnswers;
  std::vector<TDialogRequest> openRequests;
  std::vector<TDialogRequest> saveRequests;
};

// Handles events until `done` holds or `ms` passed; true when it held.
inline bool WaitUntil(const std::function<bool()>& done, int ms = 3000) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > ms) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

// Handles the events waiting now, and those they post, for a short while.
inline void Settle() {
  for (int i = 0; i < 3; ++i) QApplication::processEvents();
}

// A box that was shown and how it was answered.
struct SeenBox {
  QString title;
  QString text;
  QMessageBox::Icon icon;
  QStringList buttons;
};

// Answers every message box that opens while it lives: the button at
// `buttonIndex` (0 = the first one added, OK) is pressed.
class BoxAnswerer {
 public:
  explicit BoxAnswerer(int buttonIndex = 0) : buttonIndex_(buttonIndex) {
    timer_.setInterval(5);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr || !box->isVisible()) return;
      SeenBox seen{box->windowTitle(), box->text(), box->icon(), {}};
      const auto buttons = box->buttons();
      // Buttons in the order they were added.
      QList<QAbstractButton*> ordered;
      for (QAbstractButton* b : buttons) ordered.push_back(b);
      std::sort(ordered.begin(), ordered.end(), [box](QAbstractButton* a, QAbstractButton* b) {
        return box->buttonRole(a) < box->buttonRole(b);
      });
      for (QAbstractButton* b : ordered) seen.buttons << b->text();
      boxes.push_back(seen);
      if (onBox) onBox();
      const int index = std::min<int>(buttonIndex_, static_cast<int>(ordered.size()) - 1);
      if (index >= 0) ordered[index]->click();
    });
    timer_.start();
  }
  std::vector<SeenBox> boxes;
  // Runs while a box is open, before it is answered.
  std::function<void()> onBox;

 private:
  int buttonIndex_;
  QTimer timer_;
};

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    store = std::make_shared<MemoryStore>();
    window = std::make_unique<MainWindow>();
    form = std::make_unique<TFileListForm>(*window, loop, device, menu, dialogs,
                                           MemoryRegistry::Factory(store));
    window->Attach(*form);
  }
  void TearDown() override {
    window->Detach();
    form.reset();
    window.reset();
    Settle();
  }

  // A new run of the program: a new window and player on a store that holds
  // `values`. The old ones go without closing (nothing is saved).
  void NewRun(std::map<std::string, MemoryStore::Value> values) {
    window->Detach();
    form.reset();
    window.reset();
    Settle();
    store = std::make_shared<MemoryStore>();
    store->keyExists = true;
    store->values = std::move(values);
    window = std::make_unique<MainWindow>();
    form = std::make_unique<TFileListForm>(*window, loop, device, menu, dialogs,
                                           MemoryRegistry::Factory(store));
    window->Attach(*form);
  }

  // Runs the start-up and shows the window, active and with the grid focused.
  void Start(const std::vector<std::string>& args = {}) {
    form->FormCreate(args);
    window->show();
    window->activateWindow();
    QApplication::setActiveWindow(window.get());
    Settle();
  }

  // Fills the list with these paths, as a play-list file would.
  void Fill(const std::vector<std::string>& paths) {
    form->PlayList.Reset();
    {
      ListUpdate batch(form->PlayList);
      int point = form->InsertionPoint();
      for (const auto& p : paths) form->InsertEntry(point, p);
    }
    form->ShowEntryCount();
    Settle();
  }
  std::vector<std::string> Paths() const {
    std::vector<std::string> paths;
    for (int r = 0; r < form->PlayList.RowCount(); ++r) paths.emplace_back(form->PlayList.Path(r));
    return paths;
  }
  static std::vector<std::string> Numbered(int count, const std::string& prefix = "/m/") {
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) paths.push_back(prefix + std::to_string(i) + ".wav");
    return paths;
  }

  // A key pressed on the grid; true when something took it.
  bool Key(int key, const QString& text = QString(),
           Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    press.setAccepted(false);
    QApplication::sendEvent(window->PlayList(), &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(window->PlayList(), &release);
    return press.isAccepted();
  }

  QtEventLoop loop;
  ScriptedDevice device{loop};
  FakeSystemMenu menu;
  ScriptedDialogs dialogs;
  std::shared_ptr<MemoryStore> store;
  TempDir dir;
  std::unique_ptr<MainWindow> window;
  std::unique_ptr<TFileListForm> form;
};

}  // namespace kelvo::testing
