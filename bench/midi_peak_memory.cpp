// Plays three short generated MIDI files to their end, for measuring the
// whole process, e.g.
//   /usr/bin/time -v build/bench/midi_peak_memory
//   KELVO_SOUNDFONT=/usr/share/sounds/sf2/FluidR3_GM.sf2 /usr/bin/time -v
//   build/bench/midi_peak_memory
// The font is KELVO_SOUNDFONT when set, else TimGM6mb; the output is
// KELVO_AUDIO_SINK when set, else a clocked fakesink.

#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "fakes/temp_dir.h"
#include "playback/gst/glib_event_loop.h"
#include "playback/gst/gst_media_device.h"
#include "playback/media_fixtures.h"

int main() {
  using kelvo::GstMediaDevice;
  constexpr int kLengthMs = 2000;
  kelvo::testing::TempDir dir;
  const auto path =
      kelvo::testing::WriteFile(dir.Path(), "peak.mid", kelvo::testing::MidiBytes(kLengthMs, 8));

  kelvo::GlibEventLoop loop;
  GstMediaDevice::Options options = GstMediaDevice::Options::FromEnvironment();
  if (!std::getenv("KELVO_SOUNDFONT")) options.soundFont = GstMediaDevice::kFallbackSoundFont;
  if (!std::getenv("KELVO_AUDIO_SINK")) options.audioSink = "fakesink sync=true";
  GstMediaDevice device(loop, options);
  int ended = 0;
  device.SetOnNotify([&] { ++ended; });
  std::int64_t total = 0;
  for (int file = 0; file < 3; ++file) {
    try {
      device.SetWait(true);
      device.SetFileName(path);
      device.Open();
    } catch (const kelvo::EMCIDeviceError& error) {
      std::fprintf(stderr, "midi_peak_memory: %s\n", error.what());
      return 1;
    }
    total += device.Length();
    device.SetNotify(true);
    device.Play();
    if (device.Error() != 0) {
      std::fprintf(stderr, "midi_peak_memory: %s\n", device.ErrorText().c_str());
      return 1;
    }
    if (!loop.RunUntil([&] { return ended > file; }, kLengthMs + 10000)) {
      std::fprintf(stderr, "midi_peak_memory: the play did not end\n");
      return 1;
    }
  }
  std::printf("played %lld ms of MIDI in three files\n", static_cast<long long>(total));
  return 0;
}
