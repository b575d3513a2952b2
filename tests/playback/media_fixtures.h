#pragma once
// Media files for the device's tests and benchmarks, made at run time:
// good ones of a given length and the broken ones a player meets.

#include <gst/gst.h>

#include <cstdint>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string>

namespace kelvo::testing {

// A 16-bit PCM WAVE file holding a sine tone.
std::string WavBytes(int durationMs, double frequencyHz = 440.0, int sampleRate = 44100,
                     int channels = 1);
// A Standard MIDI File (format 0, one track, 120 beats a minute) playing
// `notes` piano notes one after another; its track ends at `durationMs`.
std::string MidiBytes(int durationMs, int notes = 4);
// MPEG-1 Layer III frames of silence (1152 samples at 44.1 kHz each), as
// many as fit in `durationMs`, at least one.
std::string Mp3Bytes(int durationMs);

// Broken files.
std::string TextBytes();       // plain text, to be named .wav
std::string WavCutInHeader();  // the first 20 bytes of a WAVE file
std::string MidiTruncated();   // a MIDI file cut inside its track

// Writes `bytes` to `dir`/`name`; returns the path.
std::string WriteFile(const std::filesystem::path& dir, const std::string& name,
                      const std::string& bytes);
// Writes what the gst-launch description `description` (the part before
// the file sink) makes to `dir`/`name`. Returns the path, or an empty string
// when it could not be made.
std::string WriteWithGStreamer(const std::filesystem::path& dir, const std::string& name,
                               const std::string& description);
// Writes an AVI file of `durationMs` with a PCM audio stream and, when
// `withVideo`, a small raw video stream (made with GStreamer's avimux).
// Returns the path, or an empty string when it could not be made.
std::string WriteAvi(const std::filesystem::path& dir, const std::string& name, int durationMs,
                     bool withVideo);

// The buffers that reach the audio output, seen at its input.
class BufferLog {
 public:
  explicit BufferLog(GstElement* sink) : pad_(gst_element_get_static_pad(sink, "sink")) {
    if (pad_) probe_ = gst_pad_add_probe(pad_, GST_PAD_PROBE_TYPE_BUFFER, &OnBuffer, this, nullptr);
  }
  ~BufferLog() {
    if (!pad_) return;
    gst_pad_remove_probe(pad_, probe_);
    gst_object_unref(pad_);
  }
  BufferLog(const BufferLog&) = delete;
  BufferLog& operator=(const BufferLog&) = delete;

  void Clear() {
    std::lock_guard lock(mutex_);
    firstPts_.reset();
    totalNs_ = 0;
  }
  std::optional<GstClockTime> FirstPts() const {
    std::lock_guard lock(mutex_);
    return firstPts_;
  }
  // The audio that went through, in milliseconds.
  std::int64_t TotalMs() const {
    std::lock_guard lock(mutex_);
    return static_cast<std::int64_t>(totalNs_ / GST_MSECOND);
  }

 private:
  static GstPadProbeReturn OnBuffer(GstPad*, GstPadProbeInfo* info, gpointer data) {
    auto* self = static_cast<BufferLog*>(data);
    GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
    std::lock_guard lock(self->mutex_);
    if (!self->firstPts_) self->firstPts_ = GST_BUFFER_PTS(buffer);
    if (GST_BUFFER_DURATION_IS_VALID(buffer)) self->totalNs_ += GST_BUFFER_DURATION(buffer);
    return GST_PAD_PROBE_OK;
  }

  GstPad* pad_;
  gulong probe_ = 0;
  mutable std::mutex mutex_;
  std::optional<GstClockTime> firstPts_;
  GstClockTime totalNs_ = 0;
};

}  // namespace kelvo::testing
