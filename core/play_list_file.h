#pragma once
// The play-list file: "[zododizuza]", then one path per line, CR LF line ends,
// bytes never converted.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace kelvo {

inline constexpr std::string_view kPlayListHeader = "[zododizuza]";
inline constexpr std::string_view kPlayListComment = "; zododizuza";
// A line longer than this is split after this many bytes.
inline constexpr std::size_t kMaxPlayListLine = 4095;

// Reads the entries of a play-list file in file order. Text mode: every CR
// is dropped, LF ends a line, the first 0x1A ends the file, a NUL ends the
// entry; the header and comment lines are skipped wherever they stand.
// Only regular files are read, under a shared lock. Returns false, having
// called nothing, when the file cannot be opened.
bool ReadPlayListFile(const std::string& path,
                      const std::function<void(std::string_view entry)>& onEntry);

// The entries of play-list text held in memory, by the same rules as a file.
void ParsePlayListText(std::string_view bytes,
                       const std::function<void(std::string_view entry)>& onEntry);

// The text a play-list file holds for these paths: the header, then each
// path, each line ended by CR LF.
std::string FormatPlayListText(int count, const std::function<std::string_view(int)>& pathAt);

// The first of `count` paths that a play-list file cannot hold: one that
// would read back as other entries or as none (it holds CR, LF, NUL or the
// end-of-file byte 0x1A, is one of the two recognised lines, or is longer
// than a line is read). Nothing when every path can be stored.
std::optional<int> UnstorableEntry(int count, const std::function<std::string_view(int)>& pathAt);

// Writes the header and `count` paths (`pathAt(i)`) with CR LF after each
// line, through ReplaceFile (core/os.h): atomic where the folder allows,
// in place otherwise. Returns false and leaves an existing file untouched
// when it cannot be written, when it is read-only or not a regular file, or
// while another process reads it.
bool WritePlayListFile(const std::string& path, int count,
                       const std::function<std::string_view(int)>& pathAt);

}  // namespace kelvo
