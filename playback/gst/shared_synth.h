#pragma once
// MIDI for the whole process from one FluidSynth synthesizer: its SoundFont
// is loaded once, on first need, and kept, so that every MIDI file after the
// first starts at once and no second copy of a large font is ever made.
//
// GStreamer reaches it through the decoder element "kelvosynthdec" (MIDI
// events from midiparse in, 44.1 kHz stereo float out), registered by
// RegisterSharedSynthDecoder above every other MIDI decoder, so that playbin
// picks it for every MIDI file.

#include <string>

namespace kelvo {

// Registers the decoder element once per process; false when it cannot be.
bool RegisterSharedSynthDecoder();

// The SoundFont that MIDI is played with from now on. A different font than
// the one loaded replaces it at the next MIDI file.
void SetSharedSynthFont(const std::string& path);

// Loads the font set, when it is not loaded yet, and waits for it; false
// when it cannot be loaded (the decoder then fails as it starts).
bool PrepareSharedSynth();

// Whether the synthesizer holds the given font now, and how many fonts it
// has loaded in this process (for tests and figures).
bool SharedSynthHolds(const std::string& path);
int SharedSynthLoadCount();

}  // namespace kelvo
