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
#include <string>
#include <vector>

#include "fakes/temp_dir.h"
#include "fakes/test_player.h"

namespace kelvo {
namespace {

using testing::RecordingPlayer;
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
  RecordingPlayer p;
  p.SetRows({"/new"});
  const std::string old = "[zododizuza]\r\n/old\r\n";

  const auto readOnly = dir.Write("ro.ini", old);
  ::chmod(readOnly.c_str(), 0444);
  std::filesystem::create_directory(dir.File("locked"));
  const auto inLockedFolder = dir.Write("locked/l.ini", old);
  ::chmod(dir.File("locked").c_str(), 0555);
  std::filesystem::create_directory(dir.File("dir.ini"));

  const bool root = ::geteuid() == 0;  // root ignores permission bits
  struct Case {
    std::string file;
    bool skipForRoot;
  } cases[] = {{readOnly, true},
               {inLockedFolder, true},
               {dir.File("no/such/folder/x.ini"), false},
               {dir.File("dir.ini"), false},
               {"", false}};
  for (const auto& c : cases) {
    if (c.skipForRoot && root) continue;
    p.view.boxes.clear();
    EXPECT_FALSE(p.SavePlayList(c.file)) << c.file;
    ASSERT_EQ(p.view.boxes.size(), 1u);
    EXPECT_EQ(p.view.boxes[0].Text, "演奏リストファイル[" + c.file + "]を作成できません。");
    EXPECT_EQ(p.view.boxes[0].Flags, 0x30u);
  }
  EXPECT_EQ(TempDir::Read(readOnly), old);
  EXPECT_EQ(TempDir::Read(inLockedFolder), old);
  for (const auto& e : std::filesystem::directory_iterator(dir.Path()))
    EXPECT_EQ(e.path().filename().string().find(".ro.ini."), std::string::npos) << e.path();
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
