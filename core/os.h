#pragma once
// The operating system's services that the core calls: files, their locks,
// and the clock. Kept in one unit so that another system replaces one file.

#include <functional>
#include <string>
#include <string_view>

namespace kelvo {

// Reads a regular file from its start to its end, chunk by chunk, under a
// shared lock (others may read it, nobody may be writing it). `onChunk`
// returns false to stop early. False, having called nothing, when the file
// cannot be opened: missing, not a regular file, or locked by a writer. A
// read error ends the reading as the end of the file does.
bool ReadFileShared(const std::string& path,
                    const std::function<bool(std::string_view chunk)>& onChunk);

// Writes `path` whole from what `produce` hands to its writer (which returns
// false when a write failed); `produce` returns false to give up. A symbolic
// link is followed. Nobody may read the old file while it is replaced.
//
// The file is replaced atomically where it can be: written to a nameless
// file beside it, synced, then given its name. A crash at any moment leaves
// the old file or the new one, and never a temporary that outlives the next
// save. Where the folder cannot take a new file, or the file has other hard
// links, it is rewritten in place (truncated, written, synced) so that it
// stays saveable and the links stay one file.
//
// False, leaving an existing file untouched, when it is not a regular file,
// when no one may write it (its mode has no write bit, for root too), when a
// reader holds it, or when the new file cannot be made. A failure part-way
// through an atomic replace also leaves the old file; part-way through an
// in-place rewrite the file is short, as any in-place write would leave it.
bool ReplaceFile(
    const std::string& path,
    const std::function<bool(const std::function<bool(std::string_view)>& write)>& produce);

struct TimeOfDay {
  int hour = 0;         // 0..23
  int minute = 0;       // 0..59
  int second = 0;       // 0..59 (60 in a leap second)
  int millisecond = 0;  // 0..999
};

// The local time of day now.
TimeOfDay LocalTimeOfDay();

}  // namespace kelvo
