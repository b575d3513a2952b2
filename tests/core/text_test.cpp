#include "core/text.h"

#include <gtest/gtest.h>

namespace kelvo {
namespace {

TEST(FileNamePart, TakesWhatFollowsTheLastSlash) {
  EXPECT_EQ(FileNamePart("/music/a b/song.mid"), "song.mid");
  EXPECT_EQ(FileNamePart("song.mid"), "song.mid");
  EXPECT_EQ(FileNamePart("/music/"), "");
  EXPECT_EQ(FileNamePart("dir\\name:x.mid"), "dir\\name:x.mid");  // no separators here
}

TEST(WindowsFileNamePart, BackslashAndColonSeparateExceptAsTrailBytes) {
  struct Case {
    const char* path;
    const char* part;
  } cases[] = {
      {"C:\\Music\\song.mid", "song.mid"},
      {"C:song.mid", "song.mid"},
      {"song.mid", "song.mid"},
      {"C:\\Music\\", ""},
      // 0x95 0x5C is one double-byte character: its 0x5C is no separator.
      {"C:\\\x95\\.mid", "\x95\\.mid"},
      // A lead byte after a trail byte: pairs are counted from the start.
      {"\x81\x81\\x", "x"},
      {"\xE0\\\xFC\\a", "\xE0\\\xFC\\a"},
      // Single-byte katakana (0xA1-0xDF) are no lead bytes.
      {"\xB1\\b", "b"},
  };
  for (const auto& c : cases) EXPECT_EQ(WindowsFileNamePart(c.path), c.part) << c.path;
}

TEST(DirectoryOf, KeepsTheRootSlashOnly) {
  EXPECT_EQ(DirectoryOf("/a/b/c.ini"), "/a/b");
  EXPECT_EQ(DirectoryOf("/c.ini"), "/");
  EXPECT_EQ(DirectoryOf("c.ini"), "");
}

TEST(LengthText, WholeMinutesAndTwoDigitSeconds) {
  EXPECT_EQ(LengthText(0), "0:00");
  EXPECT_EQ(LengthText(59999), "0:59");
  EXPECT_EQ(LengthText((75 * 60 + 3) * 1000), "75:03");
  EXPECT_EQ(LengthText(187900), "3:07");
  EXPECT_EQ(LengthText(1000LL * 60 * 60 * 1000), "60000:00");
}

TEST(CountText, EmptyListCountsZero) {
  EXPECT_EQ(CountText(true, 1), "0 曲");
  EXPECT_EQ(CountText(false, 1), "1 曲");
  EXPECT_EQ(CountText(false, 12), "12 曲");
}

}  // namespace
}  // namespace kelvo
