// Every WAVE variant a user may have plays whole with its exact length, and
// files with nothing to play are refused. The files are made by an outside
// encoder (sox), and their true length comes from it too (soxi), not from
// the code under test.

#include <gst/gst.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <string>

#include "fakes/temp_dir.h"
#include "playback/gst/glib_event_loop.h"
#include "playback/gst/gst_media_device.h"
#include "playback/media_fixtures.h"
#include "playback/mpeg_audio.h"
#include "playback/wave_header.h"

namespace kelvo {
namespace {

using testing::TempDir;

std::string Output(const std::string& command) {
  std::string out;
  if (FILE* pipe = ::popen(command.c_str(), "r")) {
    char buffer[256];
    while (std::fgets(buffer, sizeof buffer, pipe)) out += buffer;
    ::pclose(pipe);
  }
  return out;
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteAll(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

std::string Le32(std::uint32_t v) {
  return {static_cast<char>(v), static_cast<char>(v >> 8), static_cast<char>(v >> 16),
          static_cast<char>(v >> 24)};
}

// A LIST chunk of tags, before or after the data chunk, with the RIFF size
// mended.
std::string WithListChunk(std::string wave, bool beforeData) {
  const std::string list = "LIST" + Le32(18) + "INFOICMT" + Le32(5) + "kelvo" + '\0';
  const auto data = wave.find("data", 12);
  wave.insert(beforeData ? data : wave.size(), list);
  wave.replace(4, 4, Le32(static_cast<std::uint32_t>(wave.size() - 8)));
  return wave;
}

// A device on a fast fake output, the audio that reaches it counted, and
// its notices.
struct CountingDevice {
  explicit CountingDevice(IEventLoop& loop)
      : device(loop,
               [] {
                 GstMediaDevice::Options options;
                 options.audioSink = "fakesink sync=false";
                 return options;
               }()),
        played(device.AudioSink()) {
    device.SetOnNotify([this] { ++notices; });
  }
  GstMediaDevice device;
  testing::BufferLog played;
  int notices = 0;
};

struct WaveCase {
  const char* name;
  // sox's options for the output file, and the length asked of it.
  const char* format;
  const char* seconds;
  std::function<std::string(std::string)> edit;
};

void PrintTo(const WaveCase& c, std::ostream* out) {
  *out << c.name;
}

class WaveVariantTest : public ::testing::TestWithParam<WaveCase> {
 protected:
  void SetUp() override {
    if (Output("command -v sox").empty())
      FAIL() << "sox is not installed (scripts/setup.sh installs it)";
  }
  GlibEventLoop loop;
  TempDir dir;
};

TEST_P(WaveVariantTest, PlaysWholeWithItsExactLength) {
  const WaveCase& c = GetParam();
  const std::string file = dir.File(std::string(c.name) + ".wav");
  ASSERT_EQ(std::system(("sox -q -n " + std::string(c.format) + " '" + file + "' synth " +
                         c.seconds + " sine 440")
                            .c_str()),
            0);
  const double trueSeconds = std::stod(Output("soxi -D '" + file + "'"));
  if (c.edit) WriteAll(file, c.edit(ReadAll(file)));
  const auto trueMs = static_cast<std::int64_t>(trueSeconds * 1000 + 0.5);

  CountingDevice counting(loop);
  auto& device = counting.device;
  device.SetWait(true);
  device.SetFileName(file);
  ASSERT_NO_THROW(device.Open()) << device.ErrorText();
  EXPECT_NEAR(device.Length(), trueMs, 50) << "true length " << trueMs << " ms";
  device.SetNotify(true);
  device.Play();
  ASSERT_EQ(device.Error(), 0) << device.ErrorText();
  ASSERT_TRUE(loop.RunUntil([&] { return counting.notices > 0; }, 15000)) << "the play never ended";
  EXPECT_NEAR(counting.played.TotalMs(), trueMs, 50) << "true length " << trueMs << " ms";
}

INSTANTIATE_TEST_SUITE_P(
    Variants, WaveVariantTest,
    ::testing::Values(
        // 22,051 samples: an odd data size, a pad byte, the data chunk last.
        WaveCase{"Pcm8MonoOddSize", "-r 11025 -b 8 -e unsigned -c 1", "2.0000907", {}},
        WaveCase{"Pcm16Stereo44k", "-r 44100 -b 16 -e signed -c 2", "1.5", {}},
        WaveCase{"Pcm16Mono8k", "-r 8000 -b 16 -e signed -c 1", "1.25", {}},
        WaveCase{"Pcm24Stereo48k", "-r 48000 -b 24 -e signed -c 2", "1.2", {}},
        WaveCase{"Pcm32Mono96k", "-r 96000 -b 32 -e signed -c 1", "1.1", {}},
        WaveCase{"Float32Stereo44k", "-r 44100 -b 32 -e floating-point -c 2", "1.3", {}},
        WaveCase{"Float64Mono22k", "-r 22050 -b 64 -e floating-point -c 1", "1.3", {}},
        WaveCase{"MuLaw8k", "-r 8000 -e mu-law -c 1", "1.7", {}},
        WaveCase{"ALaw8k", "-r 8000 -e a-law -c 1", "1.7", {}},
        WaveCase{"ImaAdpcm22k", "-r 22050 -e ima-adpcm -c 1", "2.52", {}},
        WaveCase{"MsAdpcm22k", "-r 22050 -e ms-adpcm -c 1", "2.52", {}},
        WaveCase{"Gsm610", "-r 8000 -e gsm-full-rate -c 1", "2.52", {}},
        // Six channels: WAVE_FORMAT_EXTENSIBLE.
        WaveCase{"Extensible6Channels48k", "-r 48000 -b 16 -e signed -c 6", "1.1", {}},
        WaveCase{"ListChunkBeforeData", "-r 44100 -b 16 -e signed -c 2", "1.0",
                 [](std::string w) { return WithListChunk(std::move(w), true); }},
        WaveCase{"ListChunkAfterData", "-r 44100 -b 16 -e signed -c 2", "1.0",
                 [](std::string w) { return WithListChunk(std::move(w), false); }}),
    [](const auto& info) { return std::string(info.param.name); });

// A picture is no media file, whatever its name: the open fails, so the
// player shows the error and its chain waits before the next entry.
TEST(NothingToPlay, PicturesAreRefused) {
  GlibEventLoop loop;
  TempDir dir;
  GstMediaDevice::Options options;
  options.audioSink = "fakesink sync=false";
  GstMediaDevice device(loop, options);
  struct Picture {
    const char* encoder;
    const char* name;
  } pictures[] = {{"pngenc", "picture.png"},
                  {"pngenc", "picture.wav"},
                  {"jpegenc", "photo.jpg"},
                  {"jpegenc", "photo.wav"}};
  for (const auto& picture : pictures) {
    const std::string file = testing::WriteWithGStreamer(
        dir.Path(), picture.name,
        std::string("videotestsrc num-buffers=1 ! video/x-raw,width=64,height=48 ! ") +
            picture.encoder);
    ASSERT_FALSE(file.empty()) << picture.name;
    device.SetWait(true);
    device.SetFileName(file);
    EXPECT_THROW(device.Open(), EMCIDeviceError) << picture.name;
    EXPECT_EQ(device.Error(), GstMediaDevice::kErrorInvalidFile) << picture.name;
    EXPECT_FALSE(device.IsOpen());
  }
  // An AVI with video, and one with sound only, are good files.
  for (const bool video : {true, false}) {
    device.SetFileName(testing::WriteAvi(dir.Path(), "clip.avi", 500, video));
    EXPECT_NO_THROW(device.Open()) << device.ErrorText();
  }
}

// A variable-bitrate MP3 without a Xing header, quiet at first and loud
// later: its length is exact (what plays), not estimated from the first
// frames, and the same every time.
TEST(MpegAudioLength, VariableBitrateWithoutXingIsExact) {
  GlibEventLoop loop;
  TempDir dir;
  const auto encode = [&](const std::string& name, const char* wave, int buffers) {
    return testing::WriteWithGStreamer(
        dir.Path(), name,
        std::string("audiotestsrc wave=") + wave +
            " volume=0.3 num-buffers=" + std::to_string(buffers) +
            " samplesperbuffer=1152 ! audio/x-raw,rate=44100,channels=2 ! audioconvert ! "
            "lamemp3enc target=quality quality=0");
  };
  const std::string quiet = encode("quiet.mp3", "silence", 150);
  const std::string loud = encode("loud.mp3", "white-noise", 250);
  ASSERT_FALSE(quiet.empty());
  ASSERT_FALSE(loud.empty());
  const std::string file = dir.File("vbr.mp3");
  WriteAll(file, ReadAll(quiet) + ReadAll(loud));
  ASSERT_EQ(ReadAll(file).find("Xing"), std::string::npos);

  CountingDevice counting(loop);
  auto& device = counting.device;
  std::optional<std::int64_t> first;
  for (int run = 0; run < 2; ++run) {
    device.SetWait(true);
    device.SetFileName(file);
    ASSERT_NO_THROW(device.Open()) << device.ErrorText();
    const std::int64_t length = device.Length();
    if (first) {
      EXPECT_EQ(length, *first) << "the length changed from one open to the next";
    }
    first = length;
    counting.played.Clear();
    device.SetNotify(true);
    device.Play();
    ASSERT_TRUE(loop.RunUntil([&] { return counting.notices > run; }, 20000));
    EXPECT_NEAR(length, counting.played.TotalMs(), 50);
  }
}

// Frames counted by header arithmetic: a tag at either end, and a Xing
// frame that holds no audio.
TEST(MpegAudioLength, FramesAreCountedPastTags) {
  // 100 frames of MPEG-1 Layer III at 44.1 kHz: 100 x 1152 samples.
  const std::string frames = testing::Mp3Bytes(2613);
  const std::int64_t expected = (100 * 1152 * 1000 + 22050) / 44100;
  ASSERT_EQ(frames.size(), 100u * 417);
  EXPECT_EQ(MpegAudioLengthMs(frames), expected);
  const std::string id3v2 = std::string("ID3\x04\x00\x00\x00\x00\x01\x00", 10) +
                            std::string(128, 'x');  // a 128-byte tag body
  const std::string id3v1 = "TAG" + std::string(125, ' ');
  EXPECT_EQ(MpegAudioLengthMs(id3v2 + frames + id3v1), expected);
  // A Xing frame first: one frame more, no more audio.
  std::string xing = frames.substr(0, 417);
  xing.replace(4 + 17, 4, "Xing");  // mono MPEG-1: 17 bytes of side information
  EXPECT_EQ(MpegAudioLengthMs(xing + frames), expected);
  // Not MPEG audio: a text, a WAVE header, a single stray sync word.
  EXPECT_FALSE(MpegAudioLengthMs(testing::TextBytes()));
  EXPECT_FALSE(MpegAudioLengthMs(testing::WavBytes(100)));
  EXPECT_FALSE(MpegAudioLengthMs(frames.substr(0, 417) + testing::TextBytes()));
}

// The header arithmetic on edge cases a file on disk may have.
TEST(WaveHeaderTest, LengthFromTheHeader) {
  const auto header = [](std::uint16_t tag, std::uint16_t channels, std::uint32_t rate,
                         std::uint16_t align, std::uint32_t dataSize, std::uint64_t fileSize) {
    std::string w = "RIFF" + Le32(0) + "WAVE" + "fmt " + Le32(16);
    w += std::string{static_cast<char>(tag), static_cast<char>(tag >> 8),
                     static_cast<char>(channels), 0};
    w += Le32(rate) + Le32(rate * align) +
         std::string{static_cast<char>(align), static_cast<char>(align >> 8), 16, 0};
    w += "data" + Le32(dataSize);
    return ParseWaveHeader(w, fileSize == 0 ? w.size() + dataSize : fileSize);
  };
  // 1 s of 16-bit stereo PCM.
  auto h = header(1, 2, 44100, 4, 176400, 0);
  ASSERT_TRUE(h);
  EXPECT_EQ(WaveLengthMs(*h), 1000);
  // A data size past the end of the file (cut short): what the file holds.
  h = header(1, 2, 44100, 4, 176400, 44 + 88200);
  ASSERT_TRUE(h);
  EXPECT_EQ(WaveLengthMs(*h), 500);
  // An unknown format without a fact chunk has no length from the header.
  h = header(0x55, 2, 44100, 1, 1000, 0);
  ASSERT_TRUE(h);
  EXPECT_FALSE(WaveLengthMs(*h));
  // Not a WAVE file, or a data chunk before any format.
  EXPECT_FALSE(ParseWaveHeader(std::string("RIFF") + Le32(4) + "AVI LIST", 16));
  EXPECT_FALSE(ParseWaveHeader("RIFF" + Le32(12) + "WAVEdata" + Le32(0), 20));
}

}  // namespace
}  // namespace kelvo
