#pragma once
// The exact length of an MPEG audio file (MP3, MP2, MP1) by counting its
// frames: a variable-bitrate file without a Xing header has no other way to
// say it, and a decoder's estimate from the first frames can be seconds off.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kelvo {

// The length in milliseconds of MPEG audio held in `bytes`: an ID3v2 tag at
// the start is skipped, then frames are counted up to the end or a trailing
// tag. Nothing when the bytes do not start (after the tag) with three
// consistent MPEG audio frames. A Xing or Info frame at the start is no
// audio and is not counted.
std::optional<std::int64_t> MpegAudioLengthMs(std::string_view bytes);

// Whether a file that begins with `head` can be MPEG audio (three frames
// after the tag, or a tag longer than the head): a check that needs no
// whole read.
bool MayBeMpegAudio(std::string_view head);

// The same for a file of at most `largest` bytes; nothing for a larger one.
std::optional<std::int64_t> ReadMpegAudioLengthMs(const std::string& path,
                                                  std::uint64_t largest = 16 * 1024 * 1024);

}  // namespace kelvo
