// Benchmarks of the GStreamer media device as the player drives it: from the
// start of a file to its first sound, and the silence between two files of a
// chain. Times are taken where the output renders (fakesink with sync=true,
// its handoff), so they are what a listener would hear.

#include <benchmark/benchmark.h>
#include <gst/gst.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "fakes/fake_view.h"
#include "fakes/temp_dir.h"
#include "playback/gst/glib_event_loop.h"
#include "playback/gst/gst_media_device.h"
#include "playback/media_fixtures.h"
#include "playback/playback_control.h"

namespace kelvo {
namespace {

using Clock = std::chrono::steady_clock;
constexpr int kWaitMs = 5000;

class NullMenu : public ISystemMenu {
 public:
  void ModifyItem(unsigned, const std::string&) override {}
};

// A view that forgets what it is told, so that long runs do not grow.
class NullView : public testing::FakeView {
 public:
  void Changed(FormElement) override {}
};

// The buffers the output renders, with the time each was rendered.
class RenderLog {
 public:
  struct Rendered {
    Clock::time_point at;
    GstClockTime pts;
    GstClockTime duration;
  };

  explicit RenderLog(GstElement* output) : sink_(FindFakeSink(output)) {
    if (!sink_) return;
    g_object_set(sink_, "signal-handoffs", TRUE, nullptr);
    handler_ = g_signal_connect(sink_, "handoff", G_CALLBACK(&RenderLog::OnHandoff), this);
  }
  ~RenderLog() {
    if (!sink_) return;
    g_signal_handler_disconnect(sink_, handler_);
    gst_object_unref(sink_);
  }
  RenderLog(const RenderLog&) = delete;
  RenderLog& operator=(const RenderLog&) = delete;

  bool Valid() const { return sink_ != nullptr; }
  void Clear() {
    std::lock_guard lock(mutex_);
    rendered_.clear();
  }
  std::vector<Rendered> Snapshot() const {
    std::lock_guard lock(mutex_);
    return rendered_;
  }
  std::size_t Count() const {
    std::lock_guard lock(mutex_);
    return rendered_.size();
  }
  // Where the second stream starts: the first buffer whose time goes back.
  std::optional<std::size_t> SecondStart() const {
    std::lock_guard lock(mutex_);
    for (std::size_t i = 1; i < rendered_.size(); ++i)
      if (rendered_[i].pts < rendered_[i - 1].pts) return i;
    return std::nullopt;
  }

 private:
  static GstElement* FindFakeSink(GstElement* element) {
    if (!element) return nullptr;
    if (!GST_IS_BIN(element)) {
      GstElementFactory* factory = gst_element_get_factory(element);
      if (factory && std::strcmp(GST_OBJECT_NAME(factory), "fakesink") == 0)
        return GST_ELEMENT(gst_object_ref(element));
      return nullptr;
    }
    GstElement* found = nullptr;
    GstIterator* it = gst_bin_iterate_recurse(GST_BIN(element));
    GValue item = G_VALUE_INIT;
    while (!found && gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
      found = FindFakeSink(GST_ELEMENT(g_value_get_object(&item)));
      g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
    return found;
  }

  static void OnHandoff(GstElement*, GstBuffer* buffer, GstPad*, gpointer data) {
    auto* self = static_cast<RenderLog*>(data);
    const auto now = Clock::now();
    std::lock_guard lock(self->mutex_);
    self->rendered_.push_back({now, GST_BUFFER_PTS(buffer), GST_BUFFER_DURATION(buffer)});
  }

  GstElement* sink_;
  gulong handler_ = 0;
  mutable std::mutex mutex_;
  std::vector<Rendered> rendered_;
};

double Ms(Clock::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// The player over the real device with a clocked fake output.
struct Player {
  explicit Player(const std::string& font = GstMediaDevice::kFallbackSoundFont)
      : device(loop,
               [&] {
                 GstMediaDevice::Options options;
                 options.audioSink = "fakesink sync=true";
                 options.soundFont = font;
                 return options;
               }()),
        form(view, loop, device, menu),
        log(device.AudioSink()) {
    form.RandomMenu.Checked = false;
    form.RepeatMenu.Checked = false;
  }

  GlibEventLoop loop;
  NullView view;
  NullMenu menu;
  GstMediaDevice device;
  TPlaybackForm form;
  RenderLog log;
};

// From the player's PlayFile, on a stopped player, to the first buffer rendered.
// A first file has been played before, so that a MIDI font is loaded: the
// figure is that of every file after the first.
void StartToFirstBuffer(benchmark::State& state, const std::string& bytes, const char* name,
                        const std::string& font = GstMediaDevice::kFallbackSoundFont) {
  testing::TempDir dir;
  const std::string path = testing::WriteFile(dir.Path(), name, bytes);
  Player player(font);
  if (!player.log.Valid()) return state.SkipWithError("no fakesink in the output");
  if (!player.form.PlayFile(path)) return state.SkipWithError("the file did not start");
  player.form.ButtonStopClick();
  player.loop.ProcessMessages();
  for (auto _ : state) {
    player.log.Clear();
    const auto start = Clock::now();
    if (!player.form.PlayFile(path)) return state.SkipWithError("the file did not start");
    if (!player.loop.RunUntil([&] { return player.log.Count() > 0; }, kWaitMs))
      return state.SkipWithError("no buffer reached the output");
    state.SetIterationTime(Ms(player.log.Snapshot().front().at - start) / 1000.0);
    player.form.ButtonStopClick();
    player.loop.ProcessMessages();
  }
}

void BM_StartToFirstBufferWav(benchmark::State& state) {
  StartToFirstBuffer(state, testing::WavBytes(1000), "start.wav");
}

void BM_StartToFirstBufferMidi(benchmark::State& state) {
  StartToFirstBuffer(state, testing::MidiBytes(1000), "start.mid");
}

// With the 140 MB General MIDI font of fluid-soundfont-gm.
void BM_StartToFirstBufferMidiFluidR3(benchmark::State& state) {
  constexpr const char* kFont = "/usr/share/sounds/sf2/FluidR3_GM.sf2";
  if (::access(kFont, R_OK) != 0) return state.SkipWithError("FluidR3_GM.sf2 is not installed");
  StartToFirstBuffer(state, testing::MidiBytes(1000), "start.mid", kFont);
}

// The silence between the end of the last buffer of one file and the first
// buffer of the next, when the chain moves on through MediaPlayer1Notify.
void BM_TrackGapWav(benchmark::State& state) {
  testing::TempDir dir;
  const std::string first = testing::WriteFile(dir.Path(), "one.wav", testing::WavBytes(150));
  const std::string second = testing::WriteFile(dir.Path(), "two.wav", testing::WavBytes(150, 660));
  Player player;
  if (!player.log.Valid()) return state.SkipWithError("no fakesink in the output");
  player.form.PlayList.Reset();
  int point = player.form.InsertionPoint();
  player.form.InsertEntry(point, first);
  player.form.InsertEntry(point, second);
  double worst = 0;
  for (auto _ : state) {
    player.log.Clear();
    player.form.PlayList.SetRow(0);
    if (!player.form.PlaySelected()) return state.SkipWithError("the first file did not start");
    if (!player.loop.RunUntil([&] { return player.log.SecondStart().has_value(); }, kWaitMs))
      return state.SkipWithError("the chain did not reach the second file");
    const auto rendered = player.log.Snapshot();
    const std::size_t next = *player.log.SecondStart();
    const auto& last = rendered[next - 1];
    const auto lastEnd = last.at + std::chrono::nanoseconds(
                                       GST_CLOCK_TIME_IS_VALID(last.duration) ? last.duration : 0);
    const double gap = std::max(0.0, Ms(rendered[next].at - lastEnd));
    worst = std::max(worst, gap);
    state.SetIterationTime(gap / 1000.0);
    player.form.ButtonStopClick();
    player.loop.ProcessMessages();
  }
  state.counters["worst_ms"] = worst;
}

}  // namespace
}  // namespace kelvo

int main(int argc, char** argv) {
  gst_init(&argc, &argv);
  benchmark::RegisterBenchmark("BM_StartToFirstBuffer/wav", kelvo::BM_StartToFirstBufferWav)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(40);
  benchmark::RegisterBenchmark("BM_StartToFirstBuffer/midi", kelvo::BM_StartToFirstBufferMidi)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(20);
  benchmark::RegisterBenchmark("BM_StartToFirstBuffer/midi_fluidr3",
                               kelvo::BM_StartToFirstBufferMidiFluidR3)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(20);
  benchmark::RegisterBenchmark("BM_TrackGap/wav", kelvo::BM_TrackGapWav)
      ->UseManualTime()
      ->Unit(benchmark::kMillisecond)
      ->Iterations(20);
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
