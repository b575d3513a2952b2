#include "playback/media_fixtures.h"

#include <gst/gst.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <numbers>
#include <stdexcept>
#include <vector>

namespace kelvo::testing {

namespace {

void PutLE(std::string& out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void PutBE(std::string& out, std::uint32_t value, int bytes) {
  for (int i = bytes - 1; i >= 0; --i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// A MIDI variable-length quantity.
void PutVarLen(std::string& out, std::uint32_t value) {
  std::vector<char> bytes{static_cast<char>(value & 0x7F)};
  while (value >>= 7) bytes.insert(bytes.begin(), static_cast<char>((value & 0x7F) | 0x80));
  out.append(bytes.begin(), bytes.end());
}

}  // namespace

std::string WavBytes(int durationMs, double frequencyHz, int sampleRate, int channels) {
  const std::uint32_t frames =
      static_cast<std::uint32_t>(static_cast<std::int64_t>(sampleRate) * durationMs / 1000);
  const std::uint32_t blockAlign = 2 * static_cast<std::uint32_t>(channels);
  const std::uint32_t dataSize = frames * blockAlign;
  std::string out;
  out.reserve(44 + dataSize);
  out += "RIFF";
  PutLE(out, 36 + dataSize, 4);
  out += "WAVEfmt ";
  PutLE(out, 16, 4);
  PutLE(out, 1, 2);  // PCM
  PutLE(out, static_cast<std::uint32_t>(channels), 2);
  PutLE(out, static_cast<std::uint32_t>(sampleRate), 4);
  PutLE(out, static_cast<std::uint32_t>(sampleRate) * blockAlign, 4);
  PutLE(out, blockAlign, 2);
  PutLE(out, 16, 2);
  out += "data";
  PutLE(out, dataSize, 4);
  for (std::uint32_t i = 0; i < frames; ++i) {
    const double phase = 2.0 * std::numbers::pi * frequencyHz * i / sampleRate;
    const auto sample = static_cast<std::int16_t>(std::lround(12000.0 * std::sin(phase)));
    for (int c = 0; c < channels; ++c) PutLE(out, static_cast<std::uint16_t>(sample), 2);
  }
  return out;
}

std::string MidiBytes(int durationMs, int notes) {
  constexpr std::uint32_t kDivision = 480;  // ticks a quarter note
  constexpr std::uint32_t kTempo = 500000;  // microseconds a quarter note
  const std::uint32_t total = static_cast<std::uint32_t>(static_cast<std::uint64_t>(durationMs) *
                                                         1000 * kDivision / kTempo);
  const std::uint32_t each = notes > 0 ? total / static_cast<std::uint32_t>(notes) : 0;
  std::string track;
  PutVarLen(track, 0);
  track += "\xFF\x51\x03";
  PutBE(track, kTempo, 3);
  PutVarLen(track, 0);
  track += std::string("\xC0\x00", 2);  // piano on channel 1
  static constexpr unsigned char kPitches[] = {60, 64, 67, 72, 67, 64};
  for (int n = 0; n < notes; ++n) {
    const char pitch = static_cast<char>(kPitches[n % 6]);
    PutVarLen(track, 0);
    track += '\x90';
    track += pitch;
    track += '\x64';
    PutVarLen(track, each);
    track += '\x80';
    track += pitch;
    track += '\x00';
  }
  PutVarLen(track, total - each * static_cast<std::uint32_t>(notes));
  track += std::string("\xFF\x2F\x00", 3);

  std::string out = "MThd";
  PutBE(out, 6, 4);
  PutBE(out, 0, 2);  // format 0
  PutBE(out, 1, 2);  // one track
  PutBE(out, kDivision, 2);
  out += "MTrk";
  PutBE(out, static_cast<std::uint32_t>(track.size()), 4);
  return out + track;
}

std::string Mp3Bytes(int durationMs) {
  // MPEG-1 Layer III, 128 kbit/s, 44.1 kHz, mono, no CRC: 417 bytes a frame.
  // Zero side information means no main data: every granule is silence.
  std::string frame("\xFF\xFB\x90\xC0", 4);
  frame.resize(417, '\0');
  const int frames = std::max(1, durationMs * 44100 / 1152 / 1000);
  std::string out;
  for (int i = 0; i < frames; ++i) out += frame;
  return out;
}

std::string TextBytes() {
  std::string out;
  for (int i = 0; i < 20; ++i) out += "This is a note, not a sound.\n";
  return out;
}

std::string WavCutInHeader() {
  return WavBytes(300).substr(0, 20);
}

std::string MidiTruncated() {
  const std::string whole = MidiBytes(300);
  return whole.substr(0, whole.size() - 10);
}

std::string WriteFile(const std::filesystem::path& dir, const std::string& name,
                      const std::string& bytes) {
  const std::string path = (dir / name).string();
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
  return path;
}

std::string WriteWithGStreamer(const std::filesystem::path& dir, const std::string& name,
                               const std::string& description) {
  gst_init(nullptr, nullptr);
  const std::string path = (dir / name).string();
  GError* error = nullptr;
  GstElement* pipeline = gst_parse_launch((description + " ! filesink name=out").c_str(), &error);
  if (error) {
    g_error_free(error);
    if (pipeline) gst_object_unref(pipeline);
    return {};
  }
  GstElement* out = gst_bin_get_by_name(GST_BIN(pipeline), "out");
  g_object_set(out, "location", path.c_str(), nullptr);
  gst_object_unref(out);
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  GstBus* bus = gst_element_get_bus(pipeline);
  GstMessage* end = gst_bus_timed_pop_filtered(
      bus, 10 * GST_SECOND, static_cast<GstMessageType>(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
  const bool made = end && GST_MESSAGE_TYPE(end) == GST_MESSAGE_EOS;
  if (end) gst_message_unref(end);
  gst_object_unref(bus);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(pipeline);
  return made ? path : std::string();
}

std::string WriteAvi(const std::filesystem::path& dir, const std::string& name, int durationMs,
                     bool withVideo) {
  // 10 ms audio buffers and 10 video frames a second.
  const int audioBuffers = std::max(1, durationMs / 10);
  std::string description = "audiotestsrc num-buffers=" + std::to_string(audioBuffers) +
                            " samplesperbuffer=441 ! audio/x-raw,format=S16LE,rate=44100,"
                            "channels=1 ! mux. ";
  if (withVideo) {
    description += "videotestsrc num-buffers=" + std::to_string(std::max(1, durationMs / 100)) +
                   " ! video/x-raw,format=I420,width=64,height=48,framerate=10/1 ! mux. ";
  }
  return WriteWithGStreamer(dir, name, description + "avimux name=mux");
}

}  // namespace kelvo::testing
