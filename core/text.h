#pragma once
// Path and text helpers. Paths are byte strings and are never converted.

#include <cstdint>
#include <string>
#include <string_view>

namespace kelvo {

// The application's title, the caption of its boxes.
inline constexpr std::string_view kAppTitle = "オーディオ再生";

// File-name part of a path on this system: what follows the last "/", or the
// whole path when it holds none.
std::string FileNamePart(std::string_view path);

// File-name part of a Windows path in code page 932: the bytes after the last
// "\" or ":"; a 0x5C byte that is the trail byte of a double-byte character
// (after a lead byte 0x81-0x9F or 0xE0-0xFC, counted from the start) is no
// separator.
std::string WindowsFileNamePart(std::string_view path);

// Directory of a path on this system: up to its last "/", without that "/",
// except that the root keeps it ("/a" gives "/"). Empty when there is no "/".
std::string DirectoryOf(std::string_view path);

// The entry-count text: "0 曲" for the empty list, else the row count and " 曲".
std::string CountText(bool listEmpty, int rowCount);

// A name for a message: control bytes shown as <CR>, <LF> or <0xHH>, every
// other byte as it is.
std::string PrintableName(std::string_view name);

// Length text "%d:%02d" of a length in milliseconds (whole minutes, seconds).
std::string LengthText(std::int64_t milliseconds);

}  // namespace kelvo
