#include "settings/qt/qsettings_registry.h"

#include <gtest/gtest.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QSettings>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "fakes/as_user.h"
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
  WriteFile("[General]\nRandomMenu=1\n");
  ::chmod(dir.Path().c_str(), 0777);
  testing::GiveToUnprivileged(dir.File("Tessen"));
  testing::GiveToUnprivileged(File());
  ::chmod(File().c_str(), 0444);
  EXPECT_TRUE(testing::RunUnprivileged([&] {
    testing::RecordingPlayer p;
    p.RandomMenu.Checked = false;
    try {
      SaveSettings(p, p.view, factory);
      return true;
    } catch (...) {
      return false;
    }
  }));
  EXPECT_EQ(testing::TempDir::Read(File()), "[General]\nRandomMenu=1\n");
}

// A settings path that is not a regular file once links are followed (a FIFO,
// a link to a device, the common way to make a program forget) is neither
// read nor written: the defaults, no message, and the node left as it was.
TEST_F(QSettingsRegistryTest, SettingsPathThatIsNoRegularFileIsNeverOpened) {
  std::filesystem::create_directories(dir.File("Tessen"));
  const auto fifo = dir.File("fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // A private node standing for /dev/null where nodes can be made here.
  const auto device = dir.File("null-device");
  const bool haveDevice = ::mknod(device.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0;
  std::vector<std::string> targets = {fifo};
  if (haveDevice) targets.push_back(device);
  for (const auto& target : targets) {
    std::filesystem::remove(File());
    std::filesystem::create_symlink(target, File());
    // In a child with an alarm: an open that blocks fails the test, it
    // does not hang it.
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      ::alarm(30);
      testing::RecordingPlayer p;
      p.RandomMenu.Checked = false;
      bool ok = false;
      try {
        LoadSettings(p, p.view, factory);
        ok = p.RandomMenu.Checked && p.view.boxes.empty();
        p.RepeatMenu.Checked = false;
        SaveSettings(p, p.view, factory);
      } catch (...) {
        ok = false;
      }
      ::_exit(ok ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << target;
    struct stat st {};
    ASSERT_EQ(::stat(target.c_str(), &st), 0);
    EXPECT_TRUE(target == fifo ? S_ISFIFO(st.st_mode) : S_ISCHR(st.st_mode)) << target;
    EXPECT_TRUE(std::filesystem::is_symlink(File()));
  }
}

// A settings file far larger than nine values is junk: not read at start,
// and replaced by a clean file at close.
TEST_F(QSettingsRegistryTest, HugeJunkFileIsNotReadAndIsReplacedAtClose) {
  std::string junk = "[General]\nRandomMenu=0\n";
  while (junk.size() < 3 * 1024 * 1024) junk += "Junk" + std::to_string(junk.size()) + "=x\n";
  WriteFile(junk);
  testing::RecordingPlayer p;
  LoadSettings(p, p.view, factory);
  EXPECT_TRUE(p.RandomMenu.Checked);
  p.RepeatMenu.Checked = false;
  EXPECT_NO_THROW(SaveSettings(p, p.view, factory));
  EXPECT_LT(std::filesystem::file_size(File()), 1024u);
  testing::RecordingPlayer q;
  LoadSettings(q, q.view, factory);
  EXPECT_FALSE(q.RepeatMenu.Checked);
}

// Random bytes as the settings file: the defaults at start, and at close a
// clean file without a false error.
TEST_F(QSettingsRegistryTest, GarbageFileIsReplacedAtCloseWithoutAnError) {
  std::mt19937 random(11);
  std::string garbage;
  for (int i = 0; i < 60 * 1024; ++i) garbage += static_cast<char>(random() % 256);
  WriteFile(garbage);
  testing::RecordingPlayer p;
  LoadSettings(p, p.view, factory);
  p.RandomMenu.Checked = false;
  p.view.placement = {10, 20, 300, 310};
  EXPECT_NO_THROW(SaveSettings(p, p.view, factory));
  testing::RecordingPlayer q;
  EXPECT_NO_THROW(LoadSettings(q, q.view, factory));
  EXPECT_FALSE(q.RandomMenu.Checked);
  EXPECT_EQ(q.view.placement, (TWindowPlacement{10, 20, 300, 310}));
}

// The nine values reach the file in one replacement of it, not one each.
TEST_F(QSettingsRegistryTest, CloseWritesTheFileOnce) {
  testing::RecordingPlayer seed;
  SaveSettings(seed, seed.view, factory);
  const int watch = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  ASSERT_GE(watch, 0);
  ASSERT_GE(::inotify_add_watch(watch, dir.File("Tessen").c_str(), IN_MOVED_TO), 0);
  testing::RecordingPlayer p;
  p.RandomMenu.Checked = false;
  SaveSettings(p, p.view, factory);
  int replacements = 0;
  alignas(inotify_event) char buffer[8192];
  for (ssize_t n; (n = ::read(watch, buffer, sizeof buffer)) > 0;) {
    for (char* at = buffer; at < buffer + n;) {
      const auto* event = reinterpret_cast<const inotify_event*>(at);
      if (event->len > 0 && std::string(event->name) == "kelvo.conf" &&
          (event->mask & IN_MOVED_TO) != 0)
        ++replacements;
      at += sizeof(inotify_event) + event->len;
    }
  }
  ::close(watch);
  EXPECT_EQ(replacements, 1);
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
