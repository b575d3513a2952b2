// Plays one short generated MIDI file to its end with the default SoundFont,
// for measuring the whole process, e.g.
//   /usr/bin/time -v build/bench/midi_peak_memory
// The output is KELVO_AUDIO_SINK when set, else a clocked fakesink.

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
  options.soundFont = GstMediaDevice::kFallbackSoundFont;
  if (!std::getenv("KELVO_AUDIO_SINK")) options.audioSink = "fakesink sync=true";
  GstMediaDevice device(loop, options);
  bool ended = false;
  device.SetOnNotify([&] { ended = true; });
  try {
    device.SetWait(true);
    device.SetFileName(path);
    device.Open();
  } catch (const kelvo::EMCIDeviceError& error) {
    std::fprintf(stderr, "midi_peak_memory: %s\n", error.what());
    return 1;
  }
  const auto length = device.Length();
  device.SetNotify(true);
  device.Play();
  if (device.Error() != 0) {
    std::fprintf(stderr, "midi_peak_memory: %s\n", device.ErrorText().c_str());
    return 1;
  }
  if (!loop.RunUntil([&] { return ended; }, kLengthMs + 10000)) {
    std::fprintf(stderr, "midi_peak_memory: the play did not end\n");
    return 1;
  }
  std::printf("played %lld ms of MIDI\n", static_cast<long long>(length));
  return 0;
}
