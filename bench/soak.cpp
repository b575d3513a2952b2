// Soak run: repeat on, a list of 500 generated 20 ms WAVE files played on the
// real device through a fake sink, with commands injected, for a given time.
// Prints the memory curve once a minute and the longest stall of the chain.
//
//   soak [SECONDS]   (default 600)

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <string>

#include "null_platform.h"
#include "playback/gst/glib_event_loop.h"
#include "playback/gst/gst_media_device.h"
#include "playback/media_fixtures.h"
#include "playback/playback_control.h"

namespace {

using Clock = std::chrono::steady_clock;

// Resident and peak memory of this process, in MB.
std::pair<long, long> Memory() {
  std::ifstream status("/proc/self/status");
  std::string line;
  long rss = 0, hwm = 0;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) rss = std::atol(line.c_str() + 6) / 1024;
    if (line.rfind("VmHWM:", 0) == 0) hwm = std::atol(line.c_str() + 6) / 1024;
  }
  return {rss, hwm};
}

}  // namespace

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 600;
  const auto dir =
      std::filesystem::temp_directory_path() / ("kelvo-soak-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);

  kelvo::GlibEventLoop loop;
  kelvo::GstMediaDevice::Options options;
  options.audioSink = "fakesink sync=true";
  kelvo::GstMediaDevice device(loop, options);
  kelvo::bench::NullView view;
  kelvo::bench::NullMenu menu;
  kelvo::TPlaybackForm form(view, loop, device, menu);
  form.RepeatMenu.Checked = true;
  form.PlayList.Reset();
  int point = 0;
  for (int i = 0; i < 500; ++i) {
    // One entry in fifty is a file that cannot be played.
    const std::string name = "t" + std::to_string(i) + ".wav";
    const std::string bytes =
        i % 50 == 49 ? kelvo::testing::TextBytes() : kelvo::testing::WavBytes(20, 220.0 + i);
    form.PlayList.InsertEntry(point, kelvo::testing::WriteFile(dir, name, bytes), false);
  }

  std::mt19937 rng(20261211);
  const auto start = Clock::now();
  auto lastStart = start;
  double longestStallMs = 0;
  long starts = 0;
  // Every start of a file counts; the chain must never stand still longer
  // than its retry wait (plus the time of the failed open).
  const auto noteStart = [&] {
    const auto now = Clock::now();
    longestStallMs = std::max(longestStallMs,
                              std::chrono::duration<double, std::milli>(now - lastStart).count());
    lastStart = now;
    ++starts;
  };
  form.ButtonPlayClick();
  noteStart();
  std::string lastCaption = form.CurrentFileName.Caption;

  int nextReport = 60;
  long commands = 0;
  while (Clock::now() - start < std::chrono::seconds(seconds)) {
    loop.RunUntil([&] { return form.CurrentFileName.Caption != lastCaption; }, 50);
    if (form.CurrentFileName.Caption != lastCaption) {
      lastCaption = form.CurrentFileName.Caption;
      noteStart();
    }
    // Now and then a command, as a person would give it.
    if (rng() % 40 == 0) {
      ++commands;
      switch (rng() % 5) {
        case 0:
          form.ButtonPlayNextClick();
          break;
        case 1:
          form.ButtonStopClick();
          form.ButtonPlayClick();
          break;
        case 2:
          form.RandomMenu.Checked = !form.RandomMenu.Checked;
          if (!form.RandomMenu.Checked) form.ClearMarks();
          break;
        case 3:
          form.PlayList.SetRow(static_cast<int>(rng() % 500));
          form.PlayListDblClick();
          break;
        default:
          form.ButtonPlayStopClick();
          if (!form.Playing) form.ButtonPlayClick();
          break;
      }
      // A file the person chose that cannot play: they press Next.
      for (int tries = 0; tries < 5 && !form.Playing; ++tries) form.ButtonPlayNextClick();
      if (form.CurrentFileName.Caption != lastCaption) {
        lastCaption = form.CurrentFileName.Caption;
        noteStart();
      }
    }
    const auto elapsed = std::chrono::duration_cast<std::chrono::seconds>(Clock::now() - start);
    if (elapsed.count() >= nextReport) {
      const auto [rss, hwm] = Memory();
      std::printf(
          "t=%4llds  rss=%4ld MB  peak=%4ld MB  starts=%ld  commands=%ld  longest stall=%.0f ms\n",
          static_cast<long long>(elapsed.count()), rss, hwm, starts, commands, longestStallMs);
      std::fflush(stdout);
      nextReport += 60;
    }
  }
  const auto [rss, hwm] = Memory();
  std::printf("end:   rss=%4ld MB  peak=%4ld MB  starts=%ld  commands=%ld  longest stall=%.0f ms\n",
              rss, hwm, starts, commands, longestStallMs);
  std::filesystem::remove_all(dir);
  return longestStallMs > kelvo::TPlaybackForm::kRetryDelayMs + 1000 ? 1 : 0;
}
