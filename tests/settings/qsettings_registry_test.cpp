#include "settings/qt/qsettings_registry.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QSettings>
#include <cstdlib>
#include <fstream>
#include <string>

#include "fakes/temp_dir.h"
#include "fakes/test_player.h"
#include "settings/settings_store.h"

namespace kelvo {
namespace {

// Every test gets a configuration folder of its own.
class QSettingsRegistryTest : public ::testing::Test {
 protected:
  QSettingsRegistryTest() {
    ::setenv("XDG_CONFIG_HOME", dir.Path().c_str(), 1);
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString(dir.Path().string()));
  }
  std::string File() const { return dir.File("Tessen/kelvo.conf"); }
  void WriteFile(const std::string& text) {
    std::filesystem::create_directories(dir.File("Tessen"));
    std::ofstream(File()) << text;
  }

  testing::TempDir dir;
  RegistryFactory factory = QSettingsRegistryFactory();
};

TEST_F(QSettingsRegistryTest, NoFileMeansNoKeyAndCloseCreatesIt) {
  EXPECT_FALSE(factory()->OpenKey(kSettingsKey, false));
  testing::RecordingPlayer p;
  p.RepeatMenu.Checked = false;
  p.view.placement = {120, 80, 300, 290};
  SaveSettings(p, p.view, factory);
  const auto text = testing::TempDir::Read(File());
  EXPECT_NE(text.find("RepeatMenu=0"), std::string::npos) << text;
  EXPECT_NE(text.find("WindowTop=120"), std::string::npos) << text;

  testing::RecordingPlayer q;
  LoadSettings(q, q.view, factory);
  EXPECT_FALSE(q.RepeatMenu.Checked);
  EXPECT_TRUE(q.RandomMenu.Checked);
  EXPECT_EQ(q.view.placement, (TWindowPlacement{120, 80, 300, 290}));
}

TEST_F(QSettingsRegistryTest, ValuesThatAreNotIntegersAreNamedInTheError) {
  for (const char* stored : {"word", "", "4294967296", "1, 2"}) {
    WriteFile(std::string("[General]\nRandomMenu=0\nRepeatMenu=") + stored + "\n");
    testing::RecordingPlayer p;
    try {
      LoadSettings(p, p.view, factory);
      ADD_FAILURE() << "no error for " << stored;
    } catch (const ERegistryException& e) {
      EXPECT_NE(std::string(e.what()).find("RepeatMenu"), std::string::npos);
    }
    EXPECT_FALSE(p.RandomMenu.Checked) << stored;
  }
}

TEST_F(QSettingsRegistryTest, UnwritableFileAtCloseWritesNothingAndRaisesNothing) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes read-only files";
  WriteFile("[General]\nRandomMenu=1\n");
  std::filesystem::permissions(File(), std::filesystem::perms::owner_read);
  testing::RecordingPlayer p;
  EXPECT_NO_THROW(SaveSettings(p, p.view, factory));
  EXPECT_EQ(testing::TempDir::Read(File()), "[General]\nRandomMenu=1\n");
}

TEST_F(QSettingsRegistryTest, CorruptFileAtStartGivesTheDefaults) {
  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage += static_cast<char>((i * 7919) % 256);
  WriteFile(garbage);
  testing::RecordingPlayer p;
  p.RandomMenu.Checked = false;
  EXPECT_NO_THROW(LoadSettings(p, p.view, factory));
  EXPECT_TRUE(p.RandomMenu.Checked);
  EXPECT_TRUE(p.view.statusBarVisible);
}

TEST_F(QSettingsRegistryTest, SettingsPathThatCannotBeAFileAtCloseWritesNothing) {
  // A folder where the file should be: nothing can be written, as for root too.
  std::filesystem::create_directories(File());
  testing::RecordingPlayer p;
  EXPECT_NO_THROW(SaveSettings(p, p.view, factory));
  EXPECT_TRUE(std::filesystem::is_directory(File()));
  EXPECT_NO_THROW(LoadSettings(p, p.view, factory));
}

// Two processes closing at once, and a reader watching: the file is always
// whole, never empty or half-written.
TEST_F(QSettingsRegistryTest, ConcurrentWritersLeaveAWholeFile) {
  testing::RecordingPlayer seed;
  SaveSettings(seed, seed.view, factory);
  pid_t children[2];
  for (int c = 0; c < 2; ++c) {
    children[c] = ::fork();
    ASSERT_GE(children[c], 0);
    if (children[c] == 0) {
      testing::RecordingPlayer p;
      for (int i = 0; i < 40; ++i) {
        p.view.placement = {c * 1000 + i, c, 300, 280};
        SaveSettings(p, p.view, factory);
      }
      ::_exit(0);
    }
  }
  for (int i = 0; i < 200; ++i) {
    const auto text = testing::TempDir::Read(File());
    ASSERT_NE(text.find("WindowWidth="), std::string::npos) << text;
    ASSERT_NE(text.find("RandomMenu="), std::string::npos) << text;
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  testing::RecordingPlayer q;
  EXPECT_NO_THROW(LoadSettings(q, q.view, factory));
  EXPECT_EQ(q.view.placement.Height, 300);
}

}  // namespace
}  // namespace kelvo
