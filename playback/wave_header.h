#pragma once
// What the header of a RIFF WAVE file says of its audio, read by header
// arithmetic alone: enough to know the exact length of every common WAVE
// variant, also where a decoder's estimate is wrong (ADPCM).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace kelvo {

struct WaveHeader {
  std::uint16_t formatTag = 0;  // 1 PCM, 3 float, 6 A-law, 7 mu-law, 0x11 IMA, 2 MS ADPCM, ...
  std::uint16_t channels = 0;
  std::uint32_t sampleRate = 0;
  std::uint16_t blockAlign = 0;
  std::uint16_t bitsPerSample = 0;
  // Samples per channel in one block of an ADPCM format; 0 when not given.
  std::uint16_t samplesPerBlock = 0;
  // The sub-format of WAVE_FORMAT_EXTENSIBLE (its first two bytes).
  std::uint16_t subFormat = 0;
  // The samples per channel that the 'fact' chunk gives, when there is one.
  std::optional<std::uint32_t> factSamples;
  // The bytes of the 'data' chunk that the file really holds.
  std::uint64_t dataBytes = 0;
};

// Reads the header of `bytes`, the beginning of a file whose whole size is
// `fileSize`. Nothing when it is not a RIFF WAVE file with a format chunk
// followed by a data chunk in the bytes given.
std::optional<WaveHeader> ParseWaveHeader(std::string_view bytes, std::uint64_t fileSize);

// The beginning of a file (at most `bytes` of it) and its whole size: what
// the checks of a media file's kind read, read once.
struct FileHead {
  std::string bytes;
  std::uint64_t size = 0;
};
FileHead ReadFileHead(const std::string& path, std::size_t bytes = 64 * 1024);

// The number of sample frames of the audio, when the header tells it.
std::optional<std::uint64_t> WaveFrames(const WaveHeader& header);

// The length of the audio in milliseconds, rounded to the nearest.
std::optional<std::int64_t> WaveLengthMs(const WaveHeader& header);

}  // namespace kelvo
