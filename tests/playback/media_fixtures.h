#pragma once
// Media files for the device's tests and benchmarks, made at run time:
// good ones of a given length and the broken ones a player meets.

#include <filesystem>
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

}  // namespace kelvo::testing
