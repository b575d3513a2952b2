// Thousands of random commands, drops, toggles and completion notices from a
// fixed seed; after every step the player must still be whole.

#include <gtest/gtest.h>

#include <memory>
#include <random>
#include <string>
#include <vector>

#include "fakes/fake_view.h"
#include "fakes/memory_registry.h"
#include "fakes/scripted_device.h"
#include "fakes/scripted_dialogs.h"
#include "fakes/temp_dir.h"
#include "shell/file_list_form.h"

namespace kelvo {
namespace {

using Paths = std::vector<std::string>;

class Monkey {
 public:
  explicit Monkey(unsigned seed)
      : rng_(seed),
        device_(loop_),
        form_(view_, loop_, device_, menu_, dialogs_, testing::MemoryRegistry::Factory(store_)) {
    view_.answers.clear();
    lists_ = {dir_.Write("a.ini", "[zododizuza]\r\n/m/1.mid\r\n/m/bad.wav\r\n\r\n/m/2.wav\r\n"),
              dir_.Write("b.INI", "/m/3.mid\n; zododizuza\n/m/4.mid\n"), dir_.File("missing.ini")};
    device_.failOpen = {"/m/bad.wav", "/m/x5.mid"};
    device_.failPlay = {"/m/x7.mid"};
    form_.FormCreate({lists_[0]});
  }

  // One random action; returns what it was, for the failure message.
  std::string Step() {
    view_.answers.push_back(Pick(2) ? IDOK : IDCANCEL);
    switch (Pick(16)) {
      case 0: {
        const std::string keys = "\r aADd-+BNPSTOxq";
        char key = keys[Pick(static_cast<int>(keys.size()))];
        if (key == 'A' || key == '+') dialogs_.answers.push_back(SomeFiles());
        if (key == 'O') dialogs_.answers.push_back(Paths{lists_[Pick(3)]});
        form_.PlayListKeyPress(key);
        return "key";
      }
      case 1: {
        std::uint16_t key = Pick(2) ? VK_DELETE : VK_INSERT;
        if (key == VK_INSERT) dialogs_.answers.push_back(SomeFiles());
        form_.PlayListKeyDown(key);
        return "keydown";
      }
      case 2:
        switch (Pick(7)) {
          case 0:
            form_.ButtonPlayClick();
            break;
          case 1:
            form_.ButtonStopClick();
            break;
          case 2:
            form_.ButtonPlayNextClick();
            break;
          case 3:
            form_.ButtonRemoveClick();
            break;
          case 4:
            form_.ButtonUpClick();
            break;
          case 5:
            form_.ButtonDownClick();
            break;
          default:
            form_.ButtonPlayStopClick();
            break;
        }
        return "command";
      case 3: {
        Paths names;
        for (int i = Pick(4); i >= 0; --i) names.push_back(Pick(4) ? Media() : lists_[Pick(3)]);
        testing::ListDropHandle drop(names);
        TMessage message{WM_DROPFILES, reinterpret_cast<std::uintptr_t>(&drop)};
        form_.Dispatch(message);
        if (drop.finished != 1) ADD_FAILURE() << "drop not finished";
        return "drop";
      }
      case 4:
        switch (Pick(5)) {
          case 0:
            form_.RandomMenuClick();
            break;
          case 1:
            form_.RepeatMenuClick();
            break;
          case 2:
            form_.StatusBarMenuClick();
            break;
          case 3:
            form_.WindowPosMenuClick();
            break;
          default:
            form_.InsertModeMenuClick();
            break;
        }
        return "toggle";
      case 5:
      case 6:
        device_.Finish();
        loop_.ProcessMessages();
        return "finish";
      case 7:
        loop_.Advance(Pick(4000));
        return "time";
      case 8:
        form_.PlayList.SetRow(Pick(form_.PlayList.RowCount()));
        return "select";
      case 9:
        form_.PlayListRowMoved(Pick(form_.PlayList.RowCount()), Pick(form_.PlayList.RowCount()));
        return "drag";
      case 10:
        form_.ClearMenuClick();
        return "clear";
      case 11:
        form_.AppWndProc(WM_SYSCOMMAND, 1980 + Pick(40));
        return "syscommand";
      case 12:
        dialogs_.answers.push_back(Pick(3) ? std::optional<Paths>(Paths{dir_.File("saved.ini")})
                                           : std::nullopt);
        Pick(2) ? form_.SaveMenuClick() : form_.SaveAsMenuClick();
        return "save";
      case 13:
        form_.PlayListDblClick();
        return "dblclick";
      case 14: {
        TMessage wheel{WM_MOUSEWHEEL,
                       static_cast<std::uintptr_t>(Pick(2) ? 0x00780000u : 0xFF880000u)};
        form_.PlayList.SetVisibleRowCount(Pick(10));
        form_.Dispatch(wheel);
        return "wheel";
      }
      default:
        form_.FormClose();
        return "close";
    }
  }

  // The invariants that hold after every step.
  void Check(int step, const std::string& action) const {
    const auto& list = form_.PlayList;
    SCOPED_TRACE("step " + std::to_string(step) + " (" + action + ")");
    ASSERT_GE(list.RowCount(), 1);
    ASSERT_GE(list.Row(), 0);
    ASSERT_LT(list.Row(), list.RowCount());
    ASSERT_GE(list.TopRow(), 0);
    ASSERT_LT(list.TopRow(), list.RowCount());
    int marked = 0;
    for (int r = 0; r < list.RowCount(); ++r) marked += list.IsMarked(r);
    ASSERT_EQ(marked, list.MarkedCount());
    if (!form_.RandomMenu.Checked) {
      ASSERT_EQ(marked, 0) << "marks outside shuffle";
    }
    if (form_.Playing) {
      ASSERT_TRUE(device_.IsOpen()) << "Playing without an open file";
    }
    ASSERT_EQ(device_.staleNoticesThatStartedAFile, 0);
    const auto& count = form_.NumberofList.Caption;
    ASSERT_GE(count.size(), 5u);
    ASSERT_EQ(count.substr(count.size() - 4), " 曲");
  }

 private:
  int Pick(int n) { return n <= 0 ? 0 : static_cast<int>(rng_() % static_cast<unsigned>(n)); }
  std::string Media() { return "/m/x" + std::to_string(Pick(9)) + (Pick(2) ? ".mid" : ".wav"); }
  std::optional<Paths> SomeFiles() {
    if (Pick(4) == 0) return std::nullopt;
    Paths files;
    for (int i = Pick(3); i >= 0; --i) files.push_back(Media());
    return files;
  }

  std::mt19937 rng_;
  testing::TempDir dir_;
  std::shared_ptr<testing::MemoryStore> store_ = std::make_shared<testing::MemoryStore>();
  testing::FakeView view_;
  testing::FakeEventLoop loop_;
  testing::FakeSystemMenu menu_;
  testing::ScriptedDevice device_;
  testing::ScriptedDialogs dialogs_;
  TFileListForm form_;
  Paths lists_;
};

TEST(Monkey, RandomCommandsKeepThePlayerWhole) {
  for (unsigned seed : {1u, 2u, 3u}) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    Monkey monkey(seed);
    for (int step = 0; step < 4000; ++step) {
      std::string action;
      try {
        action = monkey.Step();
      } catch (const std::exception& e) {
        FAIL() << "step " << step << " threw: " << e.what();
      }
      monkey.Check(step, action);
      if (::testing::Test::HasFatalFailure()) return;
    }
  }
}

}  // namespace
}  // namespace kelvo
