// Writes kelvo's demo: a few short tunes whose melodies are in the public
// domain as Standard MIDI Files, one chime synthesised here as a WAVE file,
// and a play list of them.
//
//   make_demo OUTPUT_DIR [PATH_PREFIX]
//
// The play list names each file as PATH_PREFIX/<file> (default OUTPUT_DIR).

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

namespace {

struct Note {
  int pitch;  // MIDI note number; 0 is a rest
  int beats;  // in eighth notes
};

struct Tune {
  const char* file;
  int program;  // General MIDI instrument
  int tempo;    // quarter notes a minute
  std::vector<Note> notes;
};

void Put16(std::string& out, unsigned v) {
  out += static_cast<char>(v >> 8);
  out += static_cast<char>(v);
}
void Put32(std::string& out, std::uint32_t v) {
  Put16(out, v >> 16);
  Put16(out, v & 0xFFFF);
}
void PutVarLen(std::string& out, std::uint32_t v) {
  char bytes[5];
  int n = 0;
  bytes[n++] = static_cast<char>(v & 0x7F);
  while ((v >>= 7) != 0) bytes[n++] = static_cast<char>((v & 0x7F) | 0x80);
  while (n > 0) out += bytes[--n];
}

std::string MidiFile(const Tune& tune) {
  constexpr int kTicksPerEighth = 240;
  std::string track;
  const std::uint32_t microsPerQuarter = 60000000u / static_cast<std::uint32_t>(tune.tempo);
  track += std::string("\x00\xFF\x51\x03", 4);
  track += static_cast<char>(microsPerQuarter >> 16);
  track += static_cast<char>(microsPerQuarter >> 8);
  track += static_cast<char>(microsPerQuarter);
  track += std::string("\x00\xC0", 2);
  track += static_cast<char>(tune.program);
  std::uint32_t pendingDelta = 0;
  for (const auto& note : tune.notes) {
    const std::uint32_t length = static_cast<std::uint32_t>(note.beats * kTicksPerEighth);
    if (note.pitch == 0) {
      pendingDelta += length;
      continue;
    }
    PutVarLen(track, pendingDelta);
    track += '\x90';
    track += static_cast<char>(note.pitch);
    track += static_cast<char>(96);
    PutVarLen(track, length - 20);
    track += '\x80';
    track += static_cast<char>(note.pitch);
    track += static_cast<char>(0);
    pendingDelta = 20;
  }
  PutVarLen(track, pendingDelta + 2 * kTicksPerEighth);
  track += std::string("\xFF\x2F\x00", 3);

  std::string file = "MThd";
  Put32(file, 6);
  Put16(file, 0);  // one track
  Put16(file, 1);
  Put16(file, 2 * kTicksPerEighth);  // ticks per quarter note
  file += "MTrk";
  Put32(file, static_cast<std::uint32_t>(track.size()));
  return file + track;
}

// A three-note chime with a soft decay, 16-bit mono.
std::string ChimeWave() {
  constexpr int kRate = 22050;
  constexpr double kSeconds = 2.5;
  const double tones[] = {659.25, 783.99, 1046.50};
  const int samples = static_cast<int>(kRate * kSeconds);
  std::string data;
  for (int i = 0; i < samples; ++i) {
    const double t = static_cast<double>(i) / kRate;
    double v = 0;
    for (int k = 0; k < 3; ++k) {
      const double start = 0.35 * k;
      if (t < start) continue;
      v += 0.3 * std::sin(2 * M_PI * tones[k] * (t - start)) * std::exp(-2.2 * (t - start));
    }
    const auto s = static_cast<std::int16_t>(std::lround(v * 32767 * 0.9));
    data += static_cast<char>(s & 0xFF);
    data += static_cast<char>((s >> 8) & 0xFF);
  }
  auto le32 = [](std::uint32_t v) {
    return std::string{static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
                       static_cast<char>(v >> 24)};
  };
  auto le16 = [](unsigned v) {
    return std::string{static_cast<char>(v), static_cast<char>(v >> 8)};
  };
  std::string file = "RIFF" + le32(36 + static_cast<std::uint32_t>(data.size())) + "WAVEfmt ";
  file += le32(16) + le16(1) + le16(1) + le32(kRate) + le32(kRate * 2) + le16(2) + le16(16);
  file += "data" + le32(static_cast<std::uint32_t>(data.size())) + data;
  return file;
}

bool Write(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: make_demo OUTPUT_DIR [PATH_PREFIX]\n");
    return 2;
  }
  const std::string dir = argv[1];
  const std::string prefix = argc > 2 ? argv[2] : dir;
  // Note names to MIDI numbers, middle C = 60.
  enum { G3 = 55, A3 = 57, B3 = 59, C4 = 60, D4 = 62, E4 = 64, F4 = 65, G4 = 67, A4 = 69 };
  const std::vector<Tune> tunes = {
      // "Ah! vous dirai-je, maman", a French folk tune of the 18th century.
      {"twinkle.mid",
       10,
       100,
       {{C4, 2},
        {C4, 2},
        {G4, 2},
        {G4, 2},
        {A4, 2},
        {A4, 2},
        {G4, 4},
        {F4, 2},
        {F4, 2},
        {E4, 2},
        {E4, 2},
        {D4, 2},
        {D4, 2},
        {C4, 4}}},
      // The "Ode to Joy" theme of Beethoven's ninth symphony (1824).
      {"ode_to_joy.mid",
       0,
       120,
       {{E4, 2},
        {E4, 2},
        {F4, 2},
        {G4, 2},
        {G4, 2},
        {F4, 2},
        {E4, 2},
        {D4, 2},
        {C4, 2},
        {C4, 2},
        {D4, 2},
        {E4, 2},
        {E4, 3},
        {D4, 1},
        {D4, 4}}},
      // "Frère Jacques", a French round of the 18th century.
      {"frere_jacques.mid",
       73,
       110,
       {{C4, 2},
        {D4, 2},
        {E4, 2},
        {C4, 2},
        {C4, 2},
        {D4, 2},
        {E4, 2},
        {C4, 2},
        {E4, 2},
        {F4, 2},
        {G4, 4},
        {E4, 2},
        {F4, 2},
        {G4, 4}}},
      // "Greensleeves", an English folk tune of the 16th century.
      {"greensleeves.mid",
       24,
       90,
       {{A3, 2},
        {C4, 4},
        {D4, 2},
        {E4, 3},
        {F4, 1},
        {E4, 2},
        {D4, 4},
        {B3, 2},
        {G3, 3},
        {A3, 1},
        {B3, 2},
        {C4, 4},
        {A3, 2},
        {A3, 3},
        {0, 1},
        {A3, 4}}},
  };
  std::string list = "[zododizuza]\r\n";
  for (const auto& tune : tunes) {
    if (!Write(dir + "/" + tune.file, MidiFile(tune))) return 1;
    list += prefix + "/" + tune.file + "\r\n";
  }
  if (!Write(dir + "/chime.wav", ChimeWave())) return 1;
  list += prefix + "/chime.wav\r\n";
  return Write(dir + "/demo.ini", list) ? 0 : 1;
}
