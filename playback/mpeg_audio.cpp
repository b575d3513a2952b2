#include "playback/mpeg_audio.h"

#include <fstream>
#include <iterator>
#include <vector>

namespace kelvo {

namespace {

struct Frame {
  int version = 0;  // 1: MPEG-1, 2: MPEG-2, 25: MPEG-2.5
  int layer = 0;
  int sampleRate = 0;
  int samples = 0;  // per channel
  std::size_t bytes = 0;
  int channels = 0;
};

unsigned char At(std::string_view b, std::size_t i) {
  return static_cast<unsigned char>(b[i]);
}

std::optional<Frame> ParseFrame(std::string_view b, std::size_t at) {
  if (at + 4 > b.size() || At(b, at) != 0xFF || (At(b, at + 1) & 0xE0) != 0xE0) return std::nullopt;
  const int versionBits = (At(b, at + 1) >> 3) & 3;
  const int layerBits = (At(b, at + 1) >> 1) & 3;
  const int bitrateIndex = At(b, at + 2) >> 4;
  const int rateIndex = (At(b, at + 2) >> 2) & 3;
  const int padding = (At(b, at + 2) >> 1) & 1;
  if (versionBits == 1 || layerBits == 0 || bitrateIndex == 0 || bitrateIndex == 15 ||
      rateIndex == 3)
    return std::nullopt;
  static constexpr int kBitrates[2][3][15] = {
      // MPEG-1: layers I, II, III
      {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},
       {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},
       {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},
      // MPEG-2 and 2.5: layers I, II, III
      {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},
       {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},
       {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
  static constexpr int kRates[3] = {44100, 48000, 32000};
  Frame f;
  f.version = versionBits == 3 ? 1 : versionBits == 2 ? 2 : 25;
  f.layer = 4 - layerBits;
  f.sampleRate = kRates[rateIndex] / (f.version == 1 ? 1 : f.version == 2 ? 2 : 4);
  f.channels = (At(b, at + 3) >> 6) == 3 ? 1 : 2;
  const int bitrate = kBitrates[f.version == 1 ? 0 : 1][f.layer - 1][bitrateIndex] * 1000;
  if (f.layer == 1) {
    f.samples = 384;
    f.bytes = static_cast<std::size_t>((12 * bitrate / f.sampleRate + padding) * 4);
  } else {
    const bool half = f.layer == 3 && f.version != 1;
    f.samples = half ? 576 : 1152;
    f.bytes = static_cast<std::size_t>((half ? 72 : 144) * bitrate / f.sampleRate + padding);
  }
  return f;
}

// Whether the frame at `at` is a Xing or Info header (a frame of no audio
// that describes the file).
bool IsInfoFrame(std::string_view b, std::size_t at, const Frame& f) {
  std::size_t sideInfo = 0;
  if (f.version == 1) {
    sideInfo = f.channels == 1 ? 17 : 32;
  } else {
    sideInfo = f.channels == 1 ? 9 : 17;
  }
  const std::size_t tag = at + 4 + sideInfo;
  if (f.layer != 3 || tag + 4 > b.size()) return false;
  const std::string_view id = b.substr(tag, 4);
  return id == "Xing" || id == "Info";
}

// The longest frame the parser takes: MPEG-2 Layer II, 160 kbit/s, 8 kHz,
// padded.
constexpr std::size_t kLargestFrame = 2881;

// Where the audio starts: after an ID3v2 tag, if there is one.
std::size_t AudioStart(std::string_view b) {
  if (b.size() < 10 || b.substr(0, 3) != "ID3") return 0;
  const std::size_t size = (At(b, 6) & 0x7F) << 21 | (At(b, 7) & 0x7F) << 14 |
                           (At(b, 8) & 0x7F) << 7 | (At(b, 9) & 0x7F);
  return 10 + size + ((At(b, 5) & 0x10) ? 10 : 0);
}

// Three frames in a row of the same kind at `at`: this is MPEG audio.
std::optional<Frame> ThreeFramesAt(std::string_view b, std::size_t at) {
  const auto first = ParseFrame(b, at);
  if (!first) return std::nullopt;
  for (int i = 0; i < 3; ++i) {
    const auto f = ParseFrame(b, at);
    if (!f || f->version != first->version || f->layer != first->layer ||
        f->sampleRate != first->sampleRate)
      return std::nullopt;
    at += f->bytes;
  }
  return first;
}

}  // namespace

bool MayBeMpegAudio(std::string_view head) {
  const std::size_t at = AudioStart(head);
  // A tag larger than the head (cover art) leaves the question to the frames
  // behind it.
  if (at + 3 * kLargestFrame > head.size() && head.substr(0, 3) == "ID3") return true;
  return ThreeFramesAt(head, at).has_value();
}

std::optional<std::int64_t> MpegAudioLengthMs(std::string_view b) {
  std::size_t at = AudioStart(b);
  const auto first = ThreeFramesAt(b, at);
  if (!first) return std::nullopt;
  std::uint64_t samples = 0;
  bool firstFrame = true;
  while (at < b.size()) {
    const auto f = ParseFrame(b, at);
    if (!f || f->version != first->version || f->layer != first->layer ||
        f->sampleRate != first->sampleRate) {
      // A trailing tag, or junk: what follows is no audio of this stream.
      break;
    }
    // A frame cut by the end of the file still decodes to its samples.
    if (!(firstFrame && IsInfoFrame(b, at, *f))) samples += static_cast<std::uint64_t>(f->samples);
    firstFrame = false;
    at += f->bytes;
  }
  return static_cast<std::int64_t>(
      (samples * 1000 + static_cast<std::uint64_t>(first->sampleRate) / 2) /
      static_cast<std::uint64_t>(first->sampleRate));
}

std::optional<std::int64_t> ReadMpegAudioLengthMs(const std::string& path, std::uint64_t largest) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return std::nullopt;
  const auto size = static_cast<std::uint64_t>(in.tellg());
  if (size > largest) return std::nullopt;
  in.seekg(0);
  std::string bytes(static_cast<std::size_t>(size), '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(size));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return MpegAudioLengthMs(bytes);
}

}  // namespace kelvo
