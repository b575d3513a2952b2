#include "playback/wave_header.h"

#include <algorithm>
#include <fstream>

namespace kelvo {

namespace {

std::uint32_t Le32(std::string_view b, std::size_t at) {
  return static_cast<std::uint32_t>(static_cast<unsigned char>(b[at])) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 1])) << 8 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 2])) << 16 |
         static_cast<std::uint32_t>(static_cast<unsigned char>(b[at + 3])) << 24;
}

std::uint16_t Le16(std::string_view b, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<unsigned char>(b[at]) |
                                    static_cast<unsigned char>(b[at + 1]) << 8);
}

constexpr std::uint16_t kPcm = 0x0001;
constexpr std::uint16_t kMsAdpcm = 0x0002;
constexpr std::uint16_t kFloat = 0x0003;
constexpr std::uint16_t kALaw = 0x0006;
constexpr std::uint16_t kMuLaw = 0x0007;
constexpr std::uint16_t kImaAdpcm = 0x0011;
constexpr std::uint16_t kGsm610 = 0x0031;
constexpr std::uint16_t kExtensible = 0xFFFE;

}  // namespace

std::optional<WaveHeader> ParseWaveHeader(std::string_view bytes, std::uint64_t fileSize) {
  if (bytes.size() < 12 || bytes.substr(0, 4) != "RIFF" || bytes.substr(8, 4) != "WAVE")
    return std::nullopt;
  WaveHeader header;
  bool haveFormat = false;
  std::size_t at = 12;
  while (at + 8 <= bytes.size()) {
    const std::string_view id = bytes.substr(at, 4);
    const std::uint32_t size = Le32(bytes, at + 4);
    const std::size_t body = at + 8;
    if (id == "fmt ") {
      if (size < 16 || body + 16 > bytes.size()) return std::nullopt;
      header.formatTag = Le16(bytes, body);
      header.channels = Le16(bytes, body + 2);
      header.sampleRate = Le32(bytes, body + 4);
      header.blockAlign = Le16(bytes, body + 12);
      header.bitsPerSample = Le16(bytes, body + 14);
      if (size >= 20 && body + 20 <= bytes.size()) header.samplesPerBlock = Le16(bytes, body + 18);
      if (header.formatTag == kExtensible && size >= 26 && body + 26 <= bytes.size())
        header.subFormat = Le16(bytes, body + 24);
      haveFormat = true;
    } else if (id == "fact") {
      if (size >= 4 && body + 4 <= bytes.size()) header.factSamples = Le32(bytes, body);
    } else if (id == "data") {
      if (!haveFormat) return std::nullopt;
      // A size past the end of the file (a file cut short, or a stream
      // written with a placeholder size) holds what the file holds.
      const std::uint64_t present = fileSize > body ? fileSize - body : 0;
      header.dataBytes = std::min<std::uint64_t>(size, present);
      return header;
    }
    // Chunks are padded to an even size.
    at = body + size + (size & 1);
  }
  return std::nullopt;
}

FileHead ReadFileHead(const std::string& path, std::size_t bytes) {
  FileHead head;
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return head;
  head.size = static_cast<std::uint64_t>(in.tellg());
  in.seekg(0);
  head.bytes.resize(static_cast<std::size_t>(std::min<std::uint64_t>(head.size, bytes)));
  in.read(head.bytes.data(), static_cast<std::streamsize>(head.bytes.size()));
  head.bytes.resize(static_cast<std::size_t>(in.gcount()));
  return head;
}

std::optional<std::uint64_t> WaveFrames(const WaveHeader& h) {
  if (h.channels == 0 || h.sampleRate == 0 || h.blockAlign == 0) return std::nullopt;
  const std::uint16_t format = h.formatTag == kExtensible ? h.subFormat : h.formatTag;
  switch (format) {
    case kPcm:
    case kFloat:
    case kALaw:
    case kMuLaw:
      // One block is one frame; a partial block at the end is no frame.
      return h.dataBytes / h.blockAlign;
    case kImaAdpcm:
    case kMsAdpcm: {
      if (h.factSamples) return *h.factSamples;
      if (h.samplesPerBlock == 0) return std::nullopt;
      return h.dataBytes / h.blockAlign * h.samplesPerBlock;
    }
    case kGsm610:
      // 65-byte blocks of 320 samples.
      if (h.factSamples) return *h.factSamples;
      return h.dataBytes / 65 * 320;
    default:
      if (h.factSamples) return *h.factSamples;
      return std::nullopt;
  }
}

std::optional<std::int64_t> WaveLengthMs(const WaveHeader& header) {
  const auto frames = WaveFrames(header);
  if (!frames) return std::nullopt;
  return static_cast<std::int64_t>((*frames * 1000 + header.sampleRate / 2) / header.sampleRate);
}

}  // namespace kelvo
