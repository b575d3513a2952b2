#include "core/play_list_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <ostream>
#include <random>
#include <string>
#include <vector>

#include "fakes/as_user.h"
#include "fakes/temp_dir.h"
#include "fakes/test_player.h"

namespace kelvo {
namespace {

using testing::GiveToUnprivileged;
using testing::RecordingPlayer;
using testing::RunUnprivileged;
using testing::TempDir;
using Paths = std::vector<std::string>;

Paths ReadEntries(const std::string& file) {
  Paths entries;
  EXPECT_TRUE(ReadPlayListFile(file, [&](std::string_view e) { entries.emplace_back(e); }));
  return entries;
}

struct ReadCase {
  const char* name;
  std::string bytes;
  Paths entries;
};

void PrintTo(const ReadCase& c, std::ostream* os) {
  *os << c.name;
}

class ReaderTest : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ReaderTest, GivesTheEntriesOfTheFile) {
  TempDir dir;
  const auto file = dir.Write("list.ini", GetParam().bytes);
  EXPECT_EQ(ReadEntries(file), GetParam().entries);
}

const std::string kLong4095(4095, 'x');
const std::string kLong4096 = std::string(4095, 'y') + "z";

INSTANTIATE_TEST_SUITE_P(
    Cases, ReaderTest,
    ::testing::Values(
        ReadCase{"Empty", "", {}}, ReadCase{"HeaderOnly", "[zododizuza]\r\n", {}},
        ReadCase{"CrLf", "[zododizuza]\r\n/a.mid\r\n/b.wav\r\n", {"/a.mid", "/b.wav"}},
        ReadCase{"LfOnly", "[zododizuza]\n/a.mid\n/b.wav\n", {"/a.mid", "/b.wav"}},
        ReadCase{"CrInsideLine", "/a\r.mid\r\r\n", {"/a.mid"}},
        ReadCase{"CrOnlyIsNoLineEnd", "/a\r/b\r", {"/a/b"}},
        ReadCase{"LastLineWithoutEnd", "/a\n/b", {"/a", "/b"}},
        ReadCase{"NoHeader", "/a\n/b\n", {"/a", "/b"}},
        ReadCase{"HeaderAndCommentAnywhere",
                 "/a\n; zododizuza\n[zododizuza]\n/b\n[zododizuza]\n",
                 {"/a", "/b"}},
        ReadCase{"HeaderInCapitalsOrPaddedIsAnEntry",
                 "[ZODODIZUZA]\n [zododizuza]\n[zododizuza] \n;zododizuza\n",
                 {"[ZODODIZUZA]", " [zododizuza]", "[zododizuza] ", ";zododizuza"}},
        ReadCase{"BlankLineInTheMiddle", "e1\n\ne2\n", {"e1", "", "e2"}},
        ReadCase{"BlankLinesAtTheEnd", "e1\ne2\n\n\n", {"e1", "e2", "", ""}},
        ReadCase{"EndOfFileByte", "/a\n/b\x1a/c\n/d\n", {"/a", "/b"}},
        ReadCase{"NulEndsTheEntry", std::string("/a\0junk\n/b\n", 11), {"/a", "/b"}},
        ReadCase{"NonAsciiBytesUnchanged", "/m\xe9/\x95\\\xff.mid\n", {"/m\xe9/\x95\\\xff.mid"}},
        ReadCase{"LineOf4095IsOneEntry", kLong4095 + "\r\nnext\n", {kLong4095, "next"}},
        ReadCase{
            "LineOf4096IsSplit", kLong4096 + "\nnext\n", {std::string(4095, 'y'), "z", "next"}}),
    [](const auto& info) { return info.param.name; });

TEST(PlayListFile, SavedListLoadsBackWithoutMarks) {
  TempDir dir;
  RecordingPlayer p;
  p.SetRows({"/music/a.mid", "", "/音楽/b c.wav", std::string(4000, 'q')});
  p.PlayList.SetMark(0, true);
  p.PlayList.SetMark(2, true);
  const auto file = dir.File("out.ini");
  ASSERT_TRUE(p.SavePlayList(file));
  EXPECT_EQ(TempDir::Read(file).substr(0, 28), "[zododizuza]\r\n/music/a.mid\r\n");

  RecordingPlayer q;
  q.SetRows({"old"});
  ASSERT_TRUE(q.LoadPlayList(file, true));
  EXPECT_EQ(q.Paths(), p.Paths());
  EXPECT_EQ(q.Marks(), std::vector<bool>(4, false));
  EXPECT_EQ(q.NumberofList.Caption, "4 曲");
}

TEST(PlayListFile, EmptyListIsHeaderAndOneEmptyLine) {
  TempDir dir;
  RecordingPlayer p;
  p.SetRows({""});
  const auto file = dir.File("empty.ini");
  ASSERT_TRUE(p.SavePlayList(file));
  EXPECT_EQ(TempDir::Read(file), "[zododizuza]\r\n\r\n");

  RecordingPlayer q;
  q.SetRows({"a", "b"});
  ASSERT_TRUE(q.LoadPlayList(file, true));
  EXPECT_TRUE(q.PlayList.IsEmpty());
  q.SetRows({"a", "b"});
  ASSERT_TRUE(q.LoadPlayList(file, false));
  EXPECT_EQ(q.Paths(), Paths({"a", "b", ""}));
}

TEST(PlayListFile, EntrylessFileReplacesOrLeavesTheList) {
  TempDir dir;
  const auto file = dir.Write("h.ini", "[zododizuza]\r\n");
  RecordingPlayer p;
  p.SetRows({"a", "b"});
  ASSERT_TRUE(p.LoadPlayList(file, false));
  EXPECT_EQ(p.Paths(), Paths({"a", "b"}));
  EXPECT_EQ(p.NumberofList.Caption, "2 曲");
  ASSERT_TRUE(p.LoadPlayList(file, true));
  EXPECT_TRUE(p.PlayList.IsEmpty());
  EXPECT_EQ(p.NumberofList.Caption, "0 曲");
}

TEST(PlayListFile, BlankLastLineLeavesARowTheNextAppendFills) {
  TempDir dir;
  const auto file = dir.Write("b.ini", "e1\ne2\n\n");
  RecordingPlayer p;
  p.SetRows({""});
  ASSERT_TRUE(p.LoadPlayList(file, false));
  EXPECT_EQ(p.Paths(), Paths({"e1", "e2", ""}));
  int point = p.InsertionPoint();
  p.InsertEntry(point, "x");
  EXPECT_EQ(p.Paths(), Paths({"e1", "e2", "x"}));
}

TEST(PlayListFile, UnreadableFilesLeaveTheListAsItWas) {
  TempDir dir;
  std::filesystem::create_directory(dir.File("folder.ini"));
  ASSERT_EQ(::mkfifo(dir.File("fifo.ini").c_str(), 0600), 0);
  const std::string names[] = {dir.File("missing.ini"), dir.File("folder.ini"),
                               dir.File("fifo.ini"), "/dev/zero", ""};
  for (const auto& name : names) {
    RecordingPlayer p;
    p.SetRows({"a", "b"});
    p.PlayList.SetRow(1);
    p.ShowEntryCount();
    EXPECT_FALSE(p.LoadPlayList(name, true)) << name;
    EXPECT_EQ(p.Paths(), Paths({"a", "b"}));
    EXPECT_EQ(p.PlayList.Row(), 1);
    ASSERT_EQ(p.view.boxes.size(), 1u);
    EXPECT_EQ(p.view.boxes[0].Text, "演奏リストファイル[" + name + "]がオープンできません。");
    EXPECT_EQ(p.view.boxes[0].Caption, "オーディオ再生");
    EXPECT_EQ(p.view.boxes[0].Flags, 0x30u);
  }
}

TEST(PlayListFile, FailedSaveLeavesTheOldFileIntact) {
  TempDir dir;
  ::chmod(dir.Path().c_str(), 0777);
  const std::string old = "[zododizuza]\r\n/old\r\n";

  const auto readOnly = dir.Write("ro.ini", old);
  ::chmod(readOnly.c_str(), 0444);
  GiveToUnprivileged(readOnly);
  std::filesystem::create_directory(dir.File("locked"));
  GiveToUnprivileged(dir.File("locked"));
  ::chmod(dir.File("locked").c_str(), 0555);
  std::filesystem::create_directory(dir.File("dir.ini"));

  // A folder without write permission stops an ordinary user only; a file
  // whose mode has no write bit is read-only for root too.
  const struct {
    std::string file;
    bool forRootToo;
  } cases[] = {{readOnly, true},
               {dir.File("locked/new.ini"), false},
               {dir.File("no/such/folder/x.ini"), true},
               {dir.File("dir.ini"), true},
               {"", true}};
  for (const auto& c : cases) {
    for (const bool unprivileged : {true, false}) {
      if (!unprivileged && !c.forRootToo) continue;
      const auto save = [&] {
        RecordingPlayer p;
        p.SetRows({"/new"});
        return !p.SavePlayList(c.file) && p.view.boxes.size() == 1 &&
               p.view.boxes[0].Text == "演奏リストファイル[" + c.file + "]を作成できません。" &&
               p.view.boxes[0].Flags == 0x30u;
      };
      EXPECT_TRUE(unprivileged ? RunUnprivileged(save) : save())
          << c.file << (unprivileged ? " as an ordinary user" : " as this user");
    }
  }
  EXPECT_EQ(TempDir::Read(readOnly), old);
  EXPECT_FALSE(std::filesystem::exists(dir.File("locked/new.ini")));
  for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
    EXPECT_EQ(e.path().filename().string().find(".ro.ini."), std::string::npos) << e.path();
}

// Where no file can be made beside the list, or the list has other hard
// links, it is rewritten in place: it stays saveable and the links stay one.
TEST(PlayListFile, SavesInPlaceInAReadOnlyFolderAndKeepsHardLinks) {
  TempDir dir;
  ::chmod(dir.Path().c_str(), 0777);
  std::filesystem::create_directory(dir.File("ro"));
  const auto inReadOnlyFolder = dir.Write("ro/list.ini", "[zododizuza]\r\n/old\r\n");
  GiveToUnprivileged(inReadOnlyFolder);
  GiveToUnprivileged(dir.File("ro"));
  ::chmod(dir.File("ro").c_str(), 0555);
  const auto linked = dir.Write("linked.ini", "/old\n");
  const auto otherName = dir.File("other-name.ini");
  ASSERT_EQ(::link(linked.c_str(), otherName.c_str()), 0);
  GiveToUnprivileged(linked);

  for (const auto& file : {inReadOnlyFolder, linked}) {
    EXPECT_TRUE(RunUnprivileged([&] {
      RecordingPlayer p;
      p.SetRows({"/new", "/newer"});
      return p.SavePlayList(file) && p.view.boxes.empty();
    })) << file;
    EXPECT_EQ(TempDir::Read(file), "[zododizuza]\r\n/new\r\n/newer\r\n") << file;
  }
  EXPECT_EQ(TempDir::Read(otherName), TempDir::Read(linked));
  struct stat a {
  }, b{};
  ASSERT_EQ(::stat(linked.c_str(), &a), 0);
  ASSERT_EQ(::stat(otherName.c_str(), &b), 0);
  EXPECT_EQ(a.st_ino, b.st_ino);
  EXPECT_EQ(a.st_nlink, 2u);
}

// Names that are legal on this system but would read back as another list:
// the save is refused with a box naming the entry, and nothing is written.
TEST(PlayListFile, NamesThatCannotReadBackRefuseTheSave) {
  struct Case {
    std::string name;
    std::string shown;
  } cases[] = {
      {"/m/b\nc.wav", "/m/b<LF>c.wav"},
      {"/m/d\re.wav", "/m/d<CR>e.wav"},
      {std::string("/m/f\x1ag.wav"), "/m/f<0x1A>g.wav"},
      {"[zododizuza]", "[zododizuza]"},
      {"; zododizuza", "; zododizuza"},
      {"/" + std::string(kMaxPlayListLine, 'x'), "/" + std::string(kMaxPlayListLine, 'x')},
  };
  for (const auto& c : cases) {
    TempDir dir;
    const std::string old = "[zododizuza]\r\n/old\r\n";
    const auto file = dir.Write("list.ini", old);
    RecordingPlayer p;
    p.SetRows({"/m/a.wav", c.name, "/m/z.wav"});
    EXPECT_FALSE(p.SavePlayList(file)) << c.shown;
    EXPECT_FALSE(p.SavePlayList(dir.File("new.ini"))) << c.shown;
    EXPECT_EQ(TempDir::Read(file), old);
    EXPECT_FALSE(std::filesystem::exists(dir.File("new.ini")));
    ASSERT_EQ(p.view.boxes.size(), 2u);
    EXPECT_EQ(p.view.boxes[0].Text,
              "演奏リストファイル[" + file +
                  "]を作成できません。\n2 曲目のファイル名は演奏リストファイルに正しく保存"
                  "できません（改行などの制御文字を含むか、長すぎます）。\n" +
                  c.shown);
    EXPECT_EQ(p.view.boxes[0].Flags, 0x30u);
  }
  // Every other byte round-trips, the longest line that reads back whole too.
  TempDir dir;
  std::string allBytes = "/";
  for (int b = 1; b < 256; ++b)
    if (b != '\r' && b != '\n' && b != 0x1a && b != '/') allBytes.push_back(static_cast<char>(b));
  const Paths rows = {allBytes, "/" + std::string(kMaxPlayListLine - 1, 'y'), "[ZODODIZUZA]"};
  RecordingPlayer p;
  p.SetRows(rows);
  ASSERT_TRUE(p.SavePlayList(dir.File("all.ini")));
  EXPECT_EQ(ReadEntries(dir.File("all.ini")), rows);
}

// A save killed at any moment (power loss, the OOM killer) leaves the old
// list or the new one, and no temporary that the next save does not remove.
TEST(PlayListFile, KilledSavesLeaveOldOrNewAndNoLastingTemporary) {
  TempDir dir;
  const auto file = dir.File("big.ini");
  Paths first, second;
  for (int i = 0; i < 40000; ++i) {
    first.push_back("/music/first/track" + std::to_string(i) + ".mid");
    second.push_back("/music/second/track" + std::to_string(i) + ".wav");
  }
  const auto textOf = [](const Paths& rows) {
    return FormatPlayListText(static_cast<int>(rows.size()),
                              [&](int i) -> const std::string& { return rows[i]; });
  };
  const std::string firstText = textOf(first), secondText = textOf(second);
  {
    RecordingPlayer p;
    p.SetRows(first);
    ASSERT_TRUE(p.SavePlayList(file));
  }
  std::mt19937 random(7);
  for (int kill = 0; kill < 30; ++kill) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      RecordingPlayer p;
      for (int i = 0;; ++i) {
        p.SetRows(i % 2 ? first : second);
        p.SavePlayList(file);
      }
    }
    ::usleep(std::uniform_int_distribution<int>(0, 40000)(random));
    ::kill(child, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    const std::string now = TempDir::Read(file);
    ASSERT_TRUE(now == firstText || now == secondText) << "kill " << kill << ": " << now.size();
  }
  RecordingPlayer p;
  p.SetRows(first);
  ASSERT_TRUE(p.SavePlayList(file));
  for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
    EXPECT_EQ(e.path().filename().string(), "big.ini") << "left behind";
}

// A temporary of a save still under way is locked and kept; one of a save
// that died is removed by the next save.
TEST(PlayListFile, NextSaveRemovesOnlyDeadTemporaries) {
  TempDir dir;
  const auto file = dir.Write("list.ini", "/old\n");
  const auto dead = dir.Write(".list.ini.AbC123", "half a list");
  const auto live = dir.Write(".list.ini.XyZ789", "a list being written");
  const auto unrelated = dir.Write(".list.ini.toolong", "not ours");
  const int held = ::open(live.c_str(), O_RDONLY);
  ASSERT_GE(held, 0);
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  RecordingPlayer p;
  p.SetRows({"/a"});
  ASSERT_TRUE(p.SavePlayList(file));
  EXPECT_FALSE(std::filesystem::exists(dead));
  EXPECT_TRUE(std::filesystem::exists(live));
  EXPECT_TRUE(std::filesystem::exists(unrelated));
  ::close(held);
}

// A disk that fills up while the list is written: a file-size limit on a
// child process makes the writes fail part-way.
TEST(PlayListFile, DiskFullDuringSaveLeavesTheOldFileIntact) {
  TempDir dir;
  const std::string old = "[zododizuza]\r\n/old\r\n";
  const auto file = dir.Write("full.ini", old);
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    ::signal(SIGXFSZ, SIG_IGN);
    const struct rlimit limit { 4096, 4096 };
    ::setrlimit(RLIMIT_FSIZE, &limit);
    RecordingPlayer p;
    Paths rows;
    for (int i = 0; i < 2000; ++i) rows.push_back("/music/track" + std::to_string(i) + ".mid");
    p.SetRows(rows);
    const bool saved = p.SavePlayList(file);
    const bool told = p.view.boxes.size() == 1 &&
                      p.view.boxes[0].Text == "演奏リストファイル[" + file + "]を作成できません。";
    ::_exit(!saved && told ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the save did not fail with its message";
  EXPECT_EQ(TempDir::Read(file), old);
  for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
    EXPECT_EQ(e.path().filename().string(), "full.ini") << "a temporary file was left";
}

TEST(PlayListFile, SaveFollowsALinkAndKeepsPermissions) {
  TempDir dir;
  const auto target = dir.Write("real.ini", "old");
  ::chmod(target.c_str(), 0640);
  const auto link = dir.File("link.ini");
  std::filesystem::create_symlink("real.ini", link);
  RecordingPlayer p;
  p.SetRows({"/x"});
  ASSERT_TRUE(p.SavePlayList(link));
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_EQ(TempDir::Read(target), "[zododizuza]\r\n/x\r\n");
  struct stat st {};
  ASSERT_EQ(::stat(target.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(PlayListFile, ReaderAndWriterKeepOutOfEachOther) {
  TempDir dir;
  const auto file = dir.Write("shared.ini", "/a\n");
  const int held = ::open(file.c_str(), O_RDONLY);
  ASSERT_GE(held, 0);

  // Another process writing the list: nobody may read it.
  ASSERT_EQ(::flock(held, LOCK_EX), 0);
  EXPECT_FALSE(ReadPlayListFile(file, [](std::string_view) {}));
  // Another process reading it: it may be read, but not written.
  ASSERT_EQ(::flock(held, LOCK_SH), 0);
  EXPECT_EQ(ReadEntries(file), Paths({"/a"}));
  RecordingPlayer p;
  p.SetRows({"/b"});
  EXPECT_FALSE(p.SavePlayList(file));
  EXPECT_EQ(TempDir::Read(file), "/a\n");
  ::close(held);
  EXPECT_TRUE(p.SavePlayList(file));
}

}  // namespace
}  // namespace kelvo
