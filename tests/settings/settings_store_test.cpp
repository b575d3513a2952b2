#include "settings/settings_store.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "fakes/memory_registry.h"
#include "fakes/scripted_device.h"
#include "fakes/scripted_dialogs.h"
#include "fakes/test_player.h"
#include "shell/file_list_form.h"

namespace kelvo {
namespace {

using testing::MemoryRegistry;
using testing::MemoryStore;
using testing::RecordingPlayer;

class SettingsTest : public ::testing::Test {
 protected:
  void Load() { LoadSettings(p, p.view, MemoryRegistry::Factory(store)); }
  void Save() { SaveSettings(p, p.view, MemoryRegistry::Factory(store)); }
  std::shared_ptr<MemoryStore> store = std::make_shared<MemoryStore>();
  RecordingPlayer p;
};

TEST_F(SettingsTest, FirstStartTakesTheDefaultsAndFirstCloseWritesAllNine) {
  p.RandomMenu.Checked = false;
  p.InsertModeMenu.Checked = true;
  p.view.statusBarVisible = false;
  Load();
  EXPECT_TRUE(p.RandomMenu.Checked);
  EXPECT_TRUE(p.RepeatMenu.Checked);
  EXPECT_TRUE(p.StatusBarMenu.Checked);
  EXPECT_TRUE(p.WindowPosMenu.Checked);
  EXPECT_FALSE(p.InsertModeMenu.Checked);
  EXPECT_TRUE(p.view.statusBarVisible);
  EXPECT_TRUE(p.view.placementHistory.empty());
  EXPECT_EQ(store->openAccessors, 0);

  p.view.placement = {11, 22, 333, 444};
  Save();
  EXPECT_EQ(store->values.size(), 9u);
  EXPECT_EQ(store->values["WindowTop"], MemoryStore::Value(11));
  EXPECT_EQ(store->values["WindowLeft"], MemoryStore::Value(22));
  EXPECT_EQ(store->values["WindowHeight"], MemoryStore::Value(333));
  EXPECT_EQ(store->values["WindowWidth"], MemoryStore::Value(444));
  EXPECT_EQ(store->values["InsertModeMenu"], MemoryStore::Value(0));
  EXPECT_EQ(store->values["RandomMenu"], MemoryStore::Value(1));
  EXPECT_EQ(store->openAccessors, 0);
}

TEST_F(SettingsTest, AnyNonZeroFlagReadsAsChecked) {
  store->keyExists = true;
  for (auto [stored, checked] : {std::pair{5, true}, std::pair{-1, true}, std::pair{0, false}}) {
    store->values["RandomMenu"] = stored;
    Load();
    EXPECT_EQ(p.RandomMenu.Checked, checked) << stored;
  }
}

TEST_F(SettingsTest, StatusBarFollowsItsFlag) {
  store->keyExists = true;
  store->values["StatusBarMenu"] = 0;
  Load();
  EXPECT_FALSE(p.StatusBarMenu.Checked);
  EXPECT_FALSE(p.view.statusBarVisible);
}

TEST_F(SettingsTest, EachStoredDimensionIsItsOwnMove) {
  store->keyExists = true;
  store->values["WindowLeft"] = 77;
  p.view.placement = {10, 20, 30, 40};
  Load();
  EXPECT_EQ(p.view.placement, (TWindowPlacement{10, 77, 30, 40}));
  EXPECT_EQ(p.view.placementHistory.size(), 1u);

  store->values = {{"WindowTop", -500}, {"WindowLeft", 5}, {"WindowHeight", 6}, {"WindowWidth", 7}};
  p.view.placementHistory.clear();
  Load();
  ASSERT_EQ(p.view.placementHistory.size(), 4u);
  EXPECT_EQ(p.view.placementHistory[0], (TWindowPlacement{-500, 77, 30, 40}));
  EXPECT_EQ(p.view.placement, (TWindowPlacement{-500, 5, 6, 7}));
  p.FormShow();  // and the show handler brings it back on the screen
  EXPECT_EQ(p.view.placement.Top, 64);
}

TEST_F(SettingsTest, UncheckedWindowPosKeepsTheOldPlacement) {
  store->keyExists = true;
  store->values = {{"WindowTop", 1}, {"WindowLeft", 2}, {"WindowHeight", 3}, {"WindowWidth", 4}};
  p.WindowPosMenu.Checked = false;
  p.view.placement = {100, 200, 300, 400};
  Save();
  EXPECT_EQ(store->values["WindowPosMenu"], MemoryStore::Value(0));
  EXPECT_EQ(store->values["WindowTop"], MemoryStore::Value(1));
  EXPECT_EQ(store->values["WindowWidth"], MemoryStore::Value(4));
  Load();  // still applied at the next start
  EXPECT_EQ(p.view.placement, (TWindowPlacement{1, 2, 3, 4}));
}

TEST_F(SettingsTest, WrongTypeStopsTheReadsAfterIt) {
  store->keyExists = true;
  store->values = {{"RandomMenu", 0}, {"RepeatMenu", std::string("yes")}, {"StatusBarMenu", 0}};
  p.view.statusBarVisible = true;
  try {
    Load();
    FAIL() << "no error";
  } catch (const ERegistryException& e) {
    EXPECT_NE(std::string(e.what()).find("RepeatMenu"), std::string::npos);
  }
  EXPECT_FALSE(p.RandomMenu.Checked);    // applied before the error
  EXPECT_TRUE(p.RepeatMenu.Checked);     // default
  EXPECT_TRUE(p.StatusBarMenu.Checked);  // never read
  EXPECT_EQ(store->openAccessors, 0);    // released all the same
}

TEST_F(SettingsTest, KeyThatCannotBeCreatedAtCloseWritesNothing) {
  store->canCreate = false;
  EXPECT_NO_THROW(Save());
  EXPECT_TRUE(store->values.empty());
}

// Through the whole player: an error at start is shown and ends start-up; an
// error at close keeps the window open until the cause is gone.
TEST(SettingsInThePlayer, ErrorsAtStartAndClose) {
  auto store = std::make_shared<MemoryStore>();
  store->keyExists = true;
  store->values = {{"RandomMenu", 0}, {"RepeatMenu", std::string("")}};
  testing::FakeView view;
  testing::FakeEventLoop loop;
  testing::FakeSystemMenu menu;
  testing::ScriptedDevice device(loop);
  testing::ScriptedDialogs dialogs;
  TFileListForm form(view, loop, device, menu, dialogs, MemoryRegistry::Factory(store));
  view.statusBarVisible = false;
  form.FormCreate({"/no/such/list.ini"});
  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_NE(view.boxes[0].Text.find("RepeatMenu"), std::string::npos);
  EXPECT_EQ(view.boxes[0].Caption, "オーディオ再生");
  EXPECT_EQ(view.boxes[0].Flags, MB_OK | MB_ICONSTOP);
  EXPECT_FALSE(form.RandomMenu.Checked);
  EXPECT_FALSE(view.statusBarVisible);      // the status bar keeps its state
  EXPECT_EQ(form.PlayList.RowCount(), 15);  // no list file was read

  store->failWrites = {"StatusBarMenu"};
  EXPECT_FALSE(form.FormClose());
  EXPECT_EQ(view.boxes.size(), 2u);
  EXPECT_EQ(store->values.count("WindowPosMenu"), 0u);
  store->failWrites.clear();
  EXPECT_TRUE(form.FormClose());
  EXPECT_EQ(store->values["WindowPosMenu"], testing::MemoryStore::Value(1));
}

}  // namespace
}  // namespace kelvo
