// The GStreamer media device: opening good and broken files, exactly one
// completion notice for every play that asks for one, and the player's chain
// over real files.

#include <gmock/gmock.h>
#include <gst/gst.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "fakes/fake_view.h"
#include "fakes/temp_dir.h"
#include "playback/gst/glib_event_loop.h"
#include "playback/gst/gst_media_device.h"
#include "playback/gst/shared_synth.h"
#include "playback/media_fixtures.h"
#include "playback/playback_control.h"

namespace kelvo {
namespace {

using testing::BufferLog;
using testing::FakeView;
using testing::TempDir;
using Options = GstMediaDevice::Options;

// Every wait of this suite is bounded by one of these.
constexpr int kNoticeTimeoutMs = 5000;
constexpr int kChainTimeoutMs = 15000;

const char kFastSink[] = "fakesink sync=false";
const char kClockedSink[] = "fakesink sync=true";

Options WithSink(const std::string& sink) {
  Options options;
  options.audioSink = sink;
  return options;
}

class DeviceTest : public ::testing::Test {
 protected:
  void SetUp() override { MakeDevice(WithSink(kFastSink)); }

  void MakeDevice(Options options) {
    log.reset();
    device.reset();
    device = std::make_unique<GstMediaDevice>(loop, std::move(options));
    log = std::make_unique<BufferLog>(device->AudioSink());
    device->SetOnNotify([this] {
      ++notices;
      noticeThreads.push_back(std::this_thread::get_id());
    });
  }

  std::string Write(const std::string& name, const std::string& bytes) {
    return testing::WriteFile(dir.Path(), name, bytes);
  }

  // As the player opens a file: no notice, waiting.
  void Open(const std::string& path, bool notify = false) {
    device->SetNotify(notify);
    device->SetWait(true);
    device->SetFileName(path);
    device->Open();
  }
  // As the player starts a play: a notice, not waiting.
  void Play(bool notify = true) {
    device->SetNotify(notify);
    device->SetWait(false);
    device->SetTimeFormatMilliseconds();
    device->Play();
  }

  bool WaitForNotices(int count, int timeoutMs = kNoticeTimeoutMs) {
    return loop.RunUntil([&] { return notices >= count; }, timeoutMs);
  }
  // Runs the loop for `ms`, so that a notice that should not come has the
  // chance to.
  void Settle(int ms) {
    loop.RunUntil([] { return false; }, ms);
  }

  GlibEventLoop loop;
  TempDir dir;
  int notices = 0;
  std::vector<std::thread::id> noticeThreads;
  std::unique_ptr<GstMediaDevice> device;
  std::unique_ptr<BufferLog> log;
};

// ------------------------------------------------------------------ bad input

struct BadInput {
  const char* name;
  // Makes the input in `dir`; returns the path to open.
  std::function<std::string(const std::filesystem::path& dir)> make;
  int expectedError;
  // The file is removed between a good open and the play.
  bool vanishesBeforePlay = false;
};

void PrintTo(const BadInput& input, std::ostream* out) {
  *out << input.name;
}

class BadInputTest : public DeviceTest, public ::testing::WithParamInterface<BadInput> {};

TEST_P(BadInputTest, FailsWithAnErrorAndLeavesTheDeviceUsable) {
  const BadInput& input = GetParam();
  const std::string path = input.make(dir.Path());
  if (input.vanishesBeforePlay) {
    Open(path);
    ASSERT_EQ(device->Error(), 0);
    ASSERT_EQ(::unlink(path.c_str()), 0);
    Play();
    EXPECT_EQ(device->Error(), input.expectedError) << device->ErrorText();
  } else {
    try {
      Open(path);
      ADD_FAILURE() << "Open did not raise";
    } catch (const EMCIDeviceError& error) {
      EXPECT_STRNE(error.what(), "");
    }
    EXPECT_EQ(device->Error(), input.expectedError) << device->ErrorText();
    EXPECT_FALSE(device->IsOpen());
    // A play without a file is refused by Error() alone.
    Play();
    EXPECT_EQ(device->Error(), GstMediaDevice::kErrorNotOpen);
  }
  Settle(50);
  EXPECT_EQ(notices, 0) << "a play that never started has no notice";

  // The next good file opens and plays to its end on the same device.
  Open(Write("after.wav", testing::WavBytes(100)));
  EXPECT_EQ(device->Error(), 0);
  EXPECT_EQ(device->Length(), 100);
  Play();
  EXPECT_EQ(device->Error(), 0);
  ASSERT_TRUE(WaitForNotices(1));
  Settle(50);
  EXPECT_EQ(notices, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, BadInputTest,
    ::testing::Values(
        BadInput{"MissingFile", [](auto& d) { return (d / "missing.wav").string(); },
                 GstMediaDevice::kErrorFileNotFound},
        BadInput{"MissingFolder", [](auto& d) { return (d / "no" / "such.wav").string(); },
                 GstMediaDevice::kErrorFileNotFound},
        BadInput{"Directory",
                 [](auto& d) {
                   std::filesystem::create_directory(d / "folder.wav");
                   return (d / "folder.wav").string();
                 },
                 GstMediaDevice::kErrorInvalidFile},
        BadInput{"NamedPipe",
                 [](auto& d) {
                   const auto path = (d / "pipe.wav").string();
                   ::mkfifo(path.c_str(), 0600);
                   return path;
                 },
                 GstMediaDevice::kErrorInvalidFile},
        BadInput{"TextNamedWav",
                 [](auto& d) { return testing::WriteFile(d, "text.wav", testing::TextBytes()); },
                 GstMediaDevice::kErrorInvalidFile},
        BadInput{"EmptyFile", [](auto& d) { return testing::WriteFile(d, "empty.wav", ""); },
                 GstMediaDevice::kErrorInvalidFile},
        BadInput{
            "WavCutInsideHeader",
            [](auto& d) { return testing::WriteFile(d, "cut.wav", testing::WavCutInHeader()); },
            GstMediaDevice::kErrorInvalidFile},
        BadInput{"TruncatedMidi",
                 [](auto& d) { return testing::WriteFile(d, "cut.mid", testing::MidiTruncated()); },
                 GstMediaDevice::kErrorInvalidFile},
        BadInput{"VanishesBetweenOpenAndPlay",
                 [](auto& d) { return testing::WriteFile(d, "gone.wav", testing::WavBytes(200)); },
                 GstMediaDevice::kErrorFileNotFound, true}),
    [](const auto& info) { return std::string(info.param.name); });

// ------------------------------------------------------------------ good input

struct GoodInput {
  const char* name;
  std::function<std::string(const std::filesystem::path& dir)> make;
  std::int64_t lengthMs;
  std::int64_t toleranceMs;
};

void PrintTo(const GoodInput& input, std::ostream* out) {
  *out << input.name;
}

class GoodInputTest : public DeviceTest, public ::testing::WithParamInterface<GoodInput> {};

TEST_P(GoodInputTest, PlaysToTheEndWithExactlyOneNotice) {
  const GoodInput& input = GetParam();
  const std::string path = input.make(dir.Path());
  ASSERT_FALSE(path.empty()) << "the fixture could not be made";
  Open(path);
  ASSERT_EQ(device->Error(), 0) << device->ErrorText();
  EXPECT_TRUE(device->IsOpen());
  EXPECT_NEAR(device->Length(), input.lengthMs, input.toleranceMs);
  EXPECT_EQ(device->Error(), 0);

  Play();
  ASSERT_EQ(device->Error(), 0) << device->ErrorText();
  EXPECT_EQ(notices, 0) << "notices come through the loop, never from inside a command";
  ASSERT_TRUE(WaitForNotices(1));
  Settle(100);
  EXPECT_EQ(notices, 1);
  EXPECT_THAT(noticeThreads, ::testing::Each(std::this_thread::get_id()));
  // The whole file went to the output.
  EXPECT_NEAR(log->TotalMs(), input.lengthMs, input.toleranceMs);

  // Played again, it starts over from the beginning.
  log->Clear();
  Play();
  ASSERT_EQ(device->Error(), 0) << device->ErrorText();
  ASSERT_TRUE(WaitForNotices(2));
  EXPECT_EQ(log->FirstPts(), 0u);
  EXPECT_NEAR(log->TotalMs(), input.lengthMs, input.toleranceMs);
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, GoodInputTest,
    ::testing::Values(
        GoodInput{"Wav",
                  [](auto& d) { return testing::WriteFile(d, "a.wav", testing::WavBytes(300)); },
                  300, 2},
        GoodInput{"StereoWav48k",
                  [](auto& d) {
                    return testing::WriteFile(d, "b.wav", testing::WavBytes(250, 880, 48000, 2));
                  },
                  250, 2},
        GoodInput{"Midi",
                  [](auto& d) { return testing::WriteFile(d, "a.mid", testing::MidiBytes(300)); },
                  300, 30},
        GoodInput{"Mp3",
                  [](auto& d) { return testing::WriteFile(d, "a.mp3", testing::Mp3Bytes(300)); },
                  287, 40},
        GoodInput{"AviWithAudio", [](auto& d) { return testing::WriteAvi(d, "a.avi", 300, false); },
                  300, 30},
        GoodInput{"AviWithVideo", [](auto& d) { return testing::WriteAvi(d, "v.avi", 300, true); },
                  300, 110},
        GoodInput{"RelativePath",
                  [](auto& d) {
                    const auto path = testing::WriteFile(d, "rel.wav", testing::WavBytes(120));
                    return std::filesystem::relative(path).string();
                  },
                  120, 2},
        // Shift_JIS bytes in the name: paths are bytes and stay so.
        GoodInput{"NameNotUtf8",
                  [](auto& d) {
                    return testing::WriteFile(d, "\x83\x65\x83\x58\x83\x67 #%3F?.wav",
                                              testing::WavBytes(120));
                  },
                  120, 2}),
    [](const auto& info) { return std::string(info.param.name); });

// ------------------------------------------------------------------ notices

// Pump runs the waiting messages, as the player does between commands.
enum class Command { Open, OpenOther, Play, Stop, Close, Pump };

struct Step {
  Command command;
  bool notify = false;
};

struct NoticeCase {
  const char* name;
  std::vector<Step> steps;
  int expectedNotices;
};

void PrintTo(const NoticeCase& c, std::ostream* out) {
  *out << c.name;
}

class NoticeTest : public DeviceTest, public ::testing::WithParamInterface<NoticeCase> {};

// The plays are clocked and last 150 ms or more, so the commands that follow
// a play always find it running.
TEST_P(NoticeTest, EachCommandThatAskedForANoticeGetsExactlyOne) {
  MakeDevice(WithSink(kClockedSink));
  const std::string first = Write("first.wav", testing::WavBytes(150));
  const std::string other = Write("other.wav", testing::WavBytes(180, 660));
  for (const Step& step : GetParam().steps) {
    if (step.command == Command::Pump) {
      loop.ProcessMessages();
      continue;
    }
    const int before = notices;
    device->SetNotify(step.notify);
    device->SetWait(step.command != Command::Play);
    switch (step.command) {
      case Command::Open:
      case Command::OpenOther:
        device->SetFileName(step.command == Command::Open ? first : other);
        device->Open();
        // The file named is the one open, whatever was open before.
        EXPECT_EQ(device->Length(), step.command == Command::Open ? 150 : 180);
        break;
      case Command::Play:
        device->Play();
        break;
      case Command::Stop:
        device->Stop();
        break;
      case Command::Close:
        device->Close();
        break;
      case Command::Pump:
        break;
    }
    ASSERT_EQ(device->Error(), 0) << device->ErrorText();
    EXPECT_EQ(notices, before) << "delivery is queued, never done inside a command";
  }
  // Long enough for every play of the case to have reached its end.
  WaitForNotices(GetParam().expectedNotices);
  Settle(300);
  EXPECT_EQ(notices, GetParam().expectedNotices);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, NoticeTest,
    ::testing::Values(
        NoticeCase{"PlayToTheEnd", {{Command::Open}, {Command::Play, true}}, 1},
        NoticeCase{"PlayWithoutNotify", {{Command::Open}, {Command::Play, false}}, 0},
        NoticeCase{"StopEndsThePlay", {{Command::Open}, {Command::Play, true}, {Command::Stop}}, 1},
        NoticeCase{"StopAskingForItsOwn",
                   {{Command::Open}, {Command::Play, true}, {Command::Stop, true}},
                   2},
        NoticeCase{
            "CloseEndsThePlay", {{Command::Open}, {Command::Play, true}, {Command::Close}}, 1},
        NoticeCase{
            "OpenOverThePlay", {{Command::Open}, {Command::Play, true}, {Command::OpenOther}}, 1},
        // A notice still queued when a newer play starts is stale.
        NoticeCase{
            "OpenOverThenPlayThatOne",
            {{Command::Open}, {Command::Play, true}, {Command::OpenOther}, {Command::Play, true}},
            1},
        // Notify is one-shot: the second play, not asking, ends silently.
        NoticeCase{"PlayAgainWithoutNotify",
                   {{Command::Open}, {Command::Play, true}, {Command::Play, false}},
                   0},
        NoticeCase{"PlayAgainWithNotify",
                   {{Command::Open}, {Command::Play, true}, {Command::Play, true}},
                   1},
        NoticeCase{"StopThenPlayAgain",
                   {{Command::Open}, {Command::Play, true}, {Command::Stop}, {Command::Play, true}},
                   1},
        // Delivered before the next play starts, the notice counts.
        NoticeCase{"StopRunMessagesThenPlayAgain",
                   {{Command::Open},
                    {Command::Play, true},
                    {Command::Stop},
                    {Command::Pump},
                    {Command::Play, true}},
                   2},
        NoticeCase{"OpenAskingForItsOwnThenPlay", {{Command::Open, true}, {Command::Play}}, 0},
        NoticeCase{"OpenAskingForItsOwn", {{Command::Open, true}}, 1},
        NoticeCase{"CloseWithNothingOpen", {{Command::Close, true}}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// A stop that races the end of the file: whichever wins, one notice.
class StopAtTheEndTest : public DeviceTest, public ::testing::WithParamInterface<int> {};

TEST_P(StopAtTheEndTest, GivesOneNoticeAndNoLaterEndOfStream) {
  MakeDevice(WithSink(kClockedSink));
  constexpr int kLengthMs = 150;
  Open(Write("short.wav", testing::WavBytes(kLengthMs)));
  Play();
  ASSERT_EQ(device->Error(), 0);
  Settle(kLengthMs + GetParam());
  device->SetNotify(false);
  device->SetWait(true);
  device->Stop();
  EXPECT_EQ(device->Error(), 0);
  ASSERT_TRUE(WaitForNotices(1));
  Settle(kLengthMs + 100);
  EXPECT_EQ(notices, 1);
}

INSTANTIATE_TEST_SUITE_P(OffsetsFromTheEndMs, StopAtTheEndTest,
                         ::testing::Values(-100, -10, -3, 0, 3, 10), [](const auto& info) {
                           const int ms = info.param;
                           return (ms < 0 ? "Before" : "After") + std::to_string(ms < 0 ? -ms : ms);
                         });

TEST_F(DeviceTest, AnEndLeftOverFromTheLastPlayIsNotTakenForTheNewOne) {
  MakeDevice(WithSink(kClockedSink));
  Open(Write("twice.wav", testing::WavBytes(100)));
  Play();
  // The play ends while the loop does not run: its end waits in the queue.
  std::this_thread::sleep_for(std::chrono::milliseconds(250));
  log->Clear();
  Play();
  ASSERT_EQ(device->Error(), 0);
  loop.ProcessMessages();
  EXPECT_EQ(notices, 0) << "the old play's notice is stale, its end not the new play's";
  std::int64_t renderedAtNotice = -1;
  device->SetOnNotify([&] {
    ++notices;
    renderedAtNotice = log->TotalMs();
  });
  ASSERT_TRUE(WaitForNotices(1));
  EXPECT_NEAR(renderedAtNotice, 100, 2) << "the notice came before the new play's end";
  Settle(150);
  EXPECT_EQ(notices, 1);
}

TEST_F(DeviceTest, AReplayStartsFromTheBeginning) {
  MakeDevice(WithSink(kClockedSink));
  Open(Write("replay.wav", testing::WavBytes(300)));
  Play();
  Settle(200);
  device->SetWait(true);
  device->Stop();
  ASSERT_TRUE(WaitForNotices(1));
  log->Clear();
  Play();
  ASSERT_TRUE(WaitForNotices(2));
  // The whole file again, not the 100 ms that were left.
  EXPECT_EQ(log->FirstPts(), 0u);
  EXPECT_NEAR(log->TotalMs(), 300, 2);
}

TEST_F(DeviceTest, PlayWithWaitReturnsAtTheEnd) {
  MakeDevice(WithSink(kClockedSink));
  Open(Write("wait.wav", testing::WavBytes(200)));
  device->SetNotify(true);
  device->SetWait(true);
  device->Play();
  EXPECT_EQ(device->Error(), 0);
  EXPECT_NEAR(log->TotalMs(), 200, 2);
  // The play had ended when Play returned: its notice is already queued.
  loop.ProcessMessages();
  EXPECT_EQ(notices, 1);
  Settle(50);
  EXPECT_EQ(notices, 1);
}

// ------------------------------------------------------------------ failing during a play

struct MidPlayFailure {
  const char* name;
  const char* sink;
  // Breaks the play that is running on `path`.
  std::function<void(const std::string& path)> breakIt;
  // The file's length; the play ends before its end when `cutShort`.
  int lengthMs;
  bool cutShort;
};

void PrintTo(const MidPlayFailure& c, std::ostream* out) {
  *out << c.name;
}

class MidPlayFailureTest : public DeviceTest,
                           public ::testing::WithParamInterface<MidPlayFailure> {};

TEST_P(MidPlayFailureTest, EndsThePlayWithOneNoticeAndTheChainCanGoOn) {
  MakeDevice(WithSink(GetParam().sink));
  const int lengthMs = GetParam().lengthMs;
  const std::string path = Write("victim.wav", testing::WavBytes(lengthMs));
  Open(path);
  Play();
  ASSERT_EQ(device->Error(), 0);
  Settle(100);
  GetParam().breakIt(path);
  ASSERT_TRUE(WaitForNotices(1, lengthMs + kNoticeTimeoutMs));
  Settle(100);
  EXPECT_EQ(notices, 1);
  if (GetParam().cutShort) {
    EXPECT_LT(log->TotalMs(), lengthMs - 500);
  } else {
    EXPECT_NEAR(log->TotalMs(), lengthMs, 2);
  }

  Open(Write("next.wav", testing::WavBytes(100)));
  EXPECT_EQ(device->Error(), 0);
  EXPECT_EQ(device->Length(), 100);
  Play();
  ASSERT_TRUE(WaitForNotices(2));
}

INSTANTIATE_TEST_SUITE_P(
    Failures, MidPlayFailureTest,
    ::testing::Values(
        // The data of a deleted file stays readable while it is open.
        MidPlayFailure{"FileDeleted", kClockedSink,
                       [](const std::string& path) { std::filesystem::remove(path); }, 400, false},
        // Long enough that most of it is still on disk, not read ahead, when
        // it is cut.
        MidPlayFailure{"FileTruncated", kClockedSink,
                       [](const std::string& path) { std::filesystem::resize_file(path, 100); },
                       2500, true},
        MidPlayFailure{"OutputFails", "identity error-after=8 ! fakesink sync=true",
                       [](const std::string&) {}, 2500, true}),
    [](const auto& info) { return std::string(info.param.name); });

// ------------------------------------------------------------------ a source that stops reading

// Stands for a file on a hung mount: once stalled, every read of the source
// elements made before blocks until the test ends, as a read() that never
// returns. Sources made later read on.
class Stall {
 public:
  ~Stall() { Release(); }
  void Watch(GstElement* element) {
    GstElementFactory* factory = gst_element_get_factory(element);
    if (!factory || std::string(GST_OBJECT_NAME(factory)) != "filesrc" || stalled_) return;
    GstPad* pad = gst_element_get_static_pad(element, "src");
    gst_pad_add_probe(
        pad,
        static_cast<GstPadProbeType>(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_PUSH |
                                     GST_PAD_PROBE_TYPE_PULL),
        &OnData, this, nullptr);
    gst_object_unref(pad);
  }
  void Start() { stalled_ = true; }
  bool Blocking() const { return blocking_ > 0; }
  void Release() {
    {
      std::lock_guard lock(mutex_);
      released_ = true;
    }
    wake_.notify_all();
    // Until the blocked reads are gone, this must live.
    while (blocking_ > 0) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }

 private:
  static GstPadProbeReturn OnData(GstPad*, GstPadProbeInfo*, gpointer data) {
    auto* self = static_cast<Stall*>(data);
    if (!self->stalled_) return GST_PAD_PROBE_OK;
    ++self->blocking_;
    std::unique_lock lock(self->mutex_);
    self->wake_.wait(lock, [&] { return self->released_; });
    --self->blocking_;
    return GST_PAD_PROBE_OK;
  }

  std::atomic<bool> stalled_{false};
  std::atomic<int> blocking_{0};
  std::mutex mutex_;
  std::condition_variable wake_;
  bool released_ = false;
};

class StallTest : public DeviceTest {
 protected:
  // A device whose sources the stall watches, playing a long file.
  void PlayAFileThatWillStall(const std::shared_ptr<Stall>& stall) {
    Options options = WithSink(kClockedSink);
    options.stopTimeoutMs = 300;
    options.onElementSetup = [stall](GstElement* element) { stall->Watch(element); };
    MakeDevice(options);
    Open(Write("hangs.wav", testing::WavBytes(3000)));
    Play();
  }
};

// A play whose source stops reading holds no command: the next file opens
// and plays (the stuck pipeline is left behind), and so do Stop and Close.
TEST_F(StallTest, AStuckSourceHoldsNoCommand) {
  auto stall = std::make_shared<Stall>();
  PlayAFileThatWillStall(stall);
  ASSERT_EQ(device->Error(), 0);
  Settle(100);
  stall->Start();
  ASSERT_TRUE(loop.RunUntil([&] { return stall->Blocking(); }, kNoticeTimeoutMs))
      << "the source never read again";

  const auto next = Write("next.wav", testing::WavBytes(200));
  EXPECT_NO_THROW(Open(next));
  EXPECT_EQ(device->Error(), 0) << device->ErrorText();
  ASSERT_TRUE(WaitForNotices(1)) << "the stuck play's end was not told";
  // The new pipeline reads too: let it, and play the next file through.
  Play();
  ASSERT_TRUE(WaitForNotices(2)) << "the next file did not play to its end";

  device.reset();
  stall->Release();
}

TEST_F(StallTest, StopCloseAndTheEndOfTheDeviceDoNotWaitForAStuckSource) {
  auto stall = std::make_shared<Stall>();
  PlayAFileThatWillStall(stall);
  Settle(100);
  stall->Start();
  ASSERT_TRUE(loop.RunUntil([&] { return stall->Blocking(); }, kNoticeTimeoutMs));
  device->SetNotify(true);
  EXPECT_NO_THROW(device->Stop());
  ASSERT_TRUE(WaitForNotices(2)) << "the play's end and the Stop's own notice";
  device->Close();
  EXPECT_FALSE(device->IsOpen());
  // A good file still opens on the device.
  EXPECT_NO_THROW(Open(Write("good.wav", testing::WavBytes(100))));
  Play();
  ASSERT_TRUE(WaitForNotices(3));
  Settle(50);
  EXPECT_EQ(notices, 3);
  device.reset();
  stall->Release();
}

// Notices reach the player through the loop's own queue, whatever runs it:
// this loop never runs GLib's main context (as Qt without its GLib
// dispatcher does not).
class QueueOnlyLoop : public IEventLoop {
 public:
  void ProcessMessages() override {
    std::deque<std::function<void()>> ready;
    {
      std::lock_guard lock(mutex_);
      ready.swap(queue_);
    }
    for (auto& message : ready) message();
  }
  TimerId StartTimer(int, std::function<void()>) override { return 0; }
  void CancelTimer(TimerId) override {}
  void Post(std::function<void()> message) override {
    {
      std::lock_guard lock(mutex_);
      queue_.push_back(std::move(message));
    }
    posted_.notify_all();
  }
  bool RunUntil(const std::function<bool()>& done, int timeoutMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
      {
        std::unique_lock lock(mutex_);
        if (!posted_.wait_until(lock, deadline, [&] { return !queue_.empty(); })) return done();
      }
      ProcessMessages();
    }
    return true;
  }

 private:
  std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<std::function<void()>> queue_;
};

TEST(GstMediaDeviceLoop, NoticesNeedNoGlibMainLoop) {
  QueueOnlyLoop loop;
  TempDir dir;
  GstMediaDevice device(loop, WithSink(kFastSink));
  int notices = 0;
  device.SetOnNotify([&] { ++notices; });
  for (int i = 0; i < 3; ++i) {
    device.SetWait(true);
    device.SetFileName(testing::WriteFile(dir.Path(), "t.wav", testing::WavBytes(100)));
    device.Open();
    device.SetNotify(true);
    device.Play();
    ASSERT_EQ(device.Error(), 0) << device.ErrorText();
    ASSERT_TRUE(loop.RunUntil([&] { return notices == i + 1; }, kNoticeTimeoutMs))
        << "play " << i << " ended without a notice";
  }
}

// ------------------------------------------------------------------ commands without a file

TEST_F(DeviceTest, AFileThatNeverGetsReadyFailsAtTheTimeout) {
  // The valve keeps every buffer from the output, which so never prerolls.
  Options options = WithSink("valve drop=true ! fakesink");
  options.openTimeoutMs = 300;
  MakeDevice(options);
  EXPECT_THROW(Open(Write("stuck.wav", testing::WavBytes(200))), EMCIDeviceError);
  EXPECT_EQ(device->Error(), GstMediaDevice::kErrorNotReady);
  EXPECT_FALSE(device->IsOpen());
  Settle(50);
  EXPECT_EQ(notices, 0);
}

TEST_F(DeviceTest, CommandsWithNoFileOpen) {
  device->SetWait(true);
  EXPECT_THROW(device->Stop(), EMCIDeviceError);
  EXPECT_EQ(device->Error(), GstMediaDevice::kErrorNotOpen);

  device->Play();
  EXPECT_EQ(device->Error(), GstMediaDevice::kErrorNotOpen);

  EXPECT_EQ(device->Length(), 0);
  EXPECT_EQ(device->Error(), GstMediaDevice::kErrorNotOpen);

  device->Close();
  EXPECT_EQ(device->Error(), 0);

  // After a close the file is gone too.
  Open(Write("closed.wav", testing::WavBytes(100)));
  device->SetWait(true);
  device->Close();
  EXPECT_FALSE(device->IsOpen());
  EXPECT_THROW(device->Stop(), EMCIDeviceError);
}

TEST_F(DeviceTest, NoticeAfterTheDeviceIsGoneIsDropped) {
  Open(Write("late.wav", testing::WavBytes(100)));
  Play();
  device->SetWait(true);
  device->Stop();  // the notice is queued now
  device.reset();
  Settle(50);
  EXPECT_EQ(notices, 0);
}

// ------------------------------------------------------------------ MIDI sounds

struct SoundFontCase {
  const char* name;
  // Makes the font file in `dir`; returns its path.
  std::function<std::string(const std::filesystem::path& dir)> make;
  bool midiOpens;
};

void PrintTo(const SoundFontCase& c, std::ostream* out) {
  *out << c.name;
}

class SoundFontTest : public DeviceTest, public ::testing::WithParamInterface<SoundFontCase> {};

TEST_P(SoundFontTest, MidiUsesTheFontGivenAndNoOther) {
  Options options = WithSink(kFastSink);
  options.soundFont = GetParam().make(dir.Path());
  MakeDevice(options);
  const std::string midi = Write("tune.mid", testing::MidiBytes(150));
  if (GetParam().midiOpens) {
    EXPECT_NO_THROW(Open(midi));
    EXPECT_EQ(device->Error(), 0) << device->ErrorText();
  } else {
    EXPECT_THROW(Open(midi), EMCIDeviceError);
    EXPECT_NE(device->Error(), 0);
  }
  // Wave files do not need a font.
  EXPECT_NO_THROW(Open(Write("tone.wav", testing::WavBytes(100))));
}

INSTANTIATE_TEST_SUITE_P(
    Fonts, SoundFontTest,
    ::testing::Values(
        SoundFontCase{"Default",
                      [](auto&) { return std::string(GstMediaDevice::kFallbackSoundFont); }, true},
        SoundFontCase{"AnotherFile",
                      [](auto& d) {
                        const auto link = d / "mine.sf2";
                        std::filesystem::create_symlink(GstMediaDevice::kFallbackSoundFont, link);
                        return link.string();
                      },
                      true},
        SoundFontCase{"Missing", [](auto& d) { return (d / "none.sf2").string(); }, false},
        SoundFontCase{
            "NotAFont",
            [](auto& d) { return testing::WriteFile(d, "text.sf2", testing::TextBytes()); },
            false}),
    [](const auto& info) { return std::string(info.param.name); });

// Every MIDI file plays on the process's one synthesizer: its font is loaded
// at the first MIDI file and never again, and a wave file loads nothing.
TEST_F(DeviceTest, MidiFilesShareOneSynthesizerWhoseFontLoadsOnce) {
  auto factories = std::make_shared<std::vector<std::string>>();
  auto mutex = std::make_shared<std::mutex>();
  Options options = WithSink(kFastSink);
  options.soundFont = GstMediaDevice::kFallbackSoundFont;
  options.onElementSetup = [factories, mutex](GstElement* element) {
    if (GstElementFactory* factory = gst_element_get_factory(element)) {
      std::lock_guard lock(*mutex);
      factories->push_back(GST_OBJECT_NAME(factory));
    }
  };
  MakeDevice(options);
  const int loadsBefore = SharedSynthLoadCount();
  EXPECT_NO_THROW(Open(Write("tone.wav", testing::WavBytes(100))));
  if (!SharedSynthHolds(options.soundFont)) {
    EXPECT_EQ(SharedSynthLoadCount(), loadsBefore) << "a wave file loaded a font";
  }
  for (int i = 0; i < 3; ++i) {
    EXPECT_NO_THROW(Open(Write("tune" + std::to_string(i) + ".mid", testing::MidiBytes(150))));
    Play();
    ASSERT_TRUE(WaitForNotices(i + 1));
    EXPECT_TRUE(SharedSynthHolds(options.soundFont));
  }
  EXPECT_LE(SharedSynthLoadCount(), loadsBefore + 1);
  std::lock_guard lock(*mutex);
  EXPECT_THAT(*factories, ::testing::Contains("kelvosynthdec"));
  EXPECT_THAT(*factories, ::testing::Not(::testing::Contains("fluiddec")));
}

// A desktop's progress bar: the place of the play moves on, and a move to
// another place is taken, for wave, MPEG and MIDI files alike.
TEST_F(DeviceTest, ThePlaceOfAPlayIsKnownAndCanBeMoved) {
  MakeDevice(WithSink(kClockedSink));
  const std::pair<const char*, std::string> files[] = {
      {"long.wav", testing::WavBytes(3000)},
      {"long.mp3", testing::Mp3Bytes(3000)},
      {"long.mid", testing::MidiBytes(3000)},
  };
  for (const auto& [name, bytes] : files) {
    Open(Write(name, bytes));
    EXPECT_FALSE(device->Position().has_value()) << name << ": nothing plays yet";
    Play(false);
    ASSERT_TRUE(
        loop.RunUntil([&] { return device->Position().value_or(0) > 100; }, kNoticeTimeoutMs))
        << name;
    EXPECT_TRUE(device->CanSeek()) << name;
    ASSERT_TRUE(device->Seek(2000)) << name;
    ASSERT_TRUE(
        loop.RunUntil([&] { return device->Position().value_or(0) >= 2000; }, kNoticeTimeoutMs))
        << name << ": the move was not taken";
    EXPECT_LT(*device->Position(), 2900) << name;
    EXPECT_FALSE(device->Seek(60000)) << name << ": past the end";
    device->Stop();
  }
}

// A video output exists only for a file with pictures: a wave file brings
// no video element into the pipeline, an AVI with video does and plays,
// and the next wave file plays without one again.
TEST_F(DeviceTest, AVideoOutputOnlyForFilesWithPictures) {
  auto made = std::make_shared<std::vector<std::string>>();
  auto mutex = std::make_shared<std::mutex>();
  Options options = WithSink(kFastSink);
  options.onElementSetup = [made, mutex](GstElement* element) {
    if (GstElementFactory* factory = gst_element_get_factory(element)) {
      std::lock_guard lock(*mutex);
      made->push_back(GST_OBJECT_NAME(factory));
    }
  };
  MakeDevice(options);
  const auto videoElements = [&] {
    std::lock_guard lock(*mutex);
    const auto count = std::count_if(made->begin(), made->end(), [](const std::string& name) {
      return name.rfind("video", 0) == 0;
    });
    made->clear();
    return count;
  };
  const auto playThrough = [&](const std::string& path) {
    Open(path);
    ASSERT_EQ(device->Error(), 0) << device->ErrorText();
    const int before = notices;
    Play();
    ASSERT_TRUE(WaitForNotices(before + 1)) << path;
  };
  playThrough(Write("first.wav", testing::WavBytes(200)));
  EXPECT_EQ(videoElements(), 0) << "a wave file made a video output";
  const std::string avi = testing::WriteAvi(dir.Path(), "clip.avi", 500, true);
  ASSERT_FALSE(avi.empty());
  playThrough(avi);
  EXPECT_GT(videoElements(), 0) << "the AVI's pictures had no output";
  playThrough(Write("after.wav", testing::WavBytes(200)));
  EXPECT_EQ(videoElements(), 0) << "the wave file after an AVI kept a video output";
}

// ------------------------------------------------------------------ the environment

class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value) {
      ::setenv(name, value, 1);
    } else {
      ::unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (old_) {
      ::setenv(name_, old_->c_str(), 1);
    } else {
      ::unsetenv(name_);
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

struct EnvCase {
  const char* name;
  const char* sink;
  const char* font;
  const char* display;
  const char* wayland;
  std::string expectedSink;
  std::string expectedFont;
  bool expectedDisplay;
};

void PrintTo(const EnvCase& c, std::ostream* out) {
  *out << c.name;
}

class EnvironmentTest : public ::testing::TestWithParam<EnvCase> {};

TEST_P(EnvironmentTest, OptionsComeFromTheEnvironment) {
  const EnvCase& c = GetParam();
  ScopedEnv sink("KELVO_AUDIO_SINK", c.sink);
  ScopedEnv font("KELVO_SOUNDFONT", c.font);
  ScopedEnv display("DISPLAY", c.display);
  ScopedEnv wayland("WAYLAND_DISPLAY", c.wayland);
  const Options options = Options::FromEnvironment();
  EXPECT_EQ(options.audioSink, c.expectedSink);
  EXPECT_EQ(options.soundFont, c.expectedFont);
  EXPECT_EQ(options.display, c.expectedDisplay);
}

INSTANTIATE_TEST_SUITE_P(Cases, EnvironmentTest,
                         ::testing::Values(EnvCase{"NothingSet", nullptr, nullptr, nullptr, nullptr,
                                                   "", GstMediaDevice::DefaultSoundFont(), false},
                                           EnvCase{"EmptyValues", "", "", "", "", "",
                                                   GstMediaDevice::DefaultSoundFont(), false},
                                           EnvCase{"X11", "pulsesink", "/x/y.sf3", ":0", nullptr,
                                                   "pulsesink", "/x/y.sf3", true},
                                           EnvCase{"Wayland", "fakesink sync=true", nullptr,
                                                   nullptr, "wayland-0", "fakesink sync=true",
                                                   GstMediaDevice::DefaultSoundFont(), true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(GstMediaDeviceOutput, TheDescribedAudioOutputIsTheOneUsed) {
  GlibEventLoop loop;
  GstMediaDevice device(loop, WithSink("fakesink name=described sync=false"));
  ASSERT_NE(device.AudioSink(), nullptr);
  GstElement* sink = GST_IS_BIN(device.AudioSink())
                         ? gst_bin_get_by_name(GST_BIN(device.AudioSink()), "described")
                         : GST_ELEMENT(gst_object_ref(device.AudioSink()));
  ASSERT_NE(sink, nullptr);
  EXPECT_STREQ(GST_OBJECT_NAME(sink), "described");
  gst_object_unref(sink);
}

// ------------------------------------------------------------------ the event loop

TEST(GlibEventLoopTest, TimersFireInOrderAndCancelledOnesNever) {
  GlibEventLoop loop;
  std::vector<int> fired;
  loop.StartTimer(30, [&] { fired.push_back(30); });
  const auto cancelled = loop.StartTimer(10, [&] { fired.push_back(10); });
  loop.StartTimer(1, [&] { fired.push_back(1); });
  EXPECT_NE(cancelled, 0u);
  loop.CancelTimer(cancelled);
  loop.CancelTimer(cancelled);  // twice is harmless
  ASSERT_TRUE(loop.RunUntil([&] { return fired.size() == 2; }, 2000));
  loop.RunUntil([] { return false; }, 30);
  EXPECT_EQ(fired, (std::vector<int>{1, 30}));
}

TEST(GlibEventLoopTest, PostsRunInOrderOnTheLoopThreadWhateverThreadPosts) {
  GlibEventLoop loop;
  std::vector<int> ran;
  std::vector<std::thread::id> threads;
  loop.Post([&] { ran.push_back(1); });
  std::thread poster([&] {
    loop.Post([&] {
      ran.push_back(2);
      threads.push_back(std::this_thread::get_id());
    });
  });
  poster.join();
  EXPECT_TRUE(ran.empty()) << "nothing runs before the loop does";
  loop.ProcessMessages();
  EXPECT_EQ(ran, (std::vector<int>{1, 2}));
  EXPECT_THAT(threads, ::testing::Each(std::this_thread::get_id()));
}

TEST(GlibEventLoopTest, RunUntilGivesUpAtItsTimeout) {
  GlibEventLoop loop;
  std::atomic<bool> flag = false;
  EXPECT_FALSE(loop.RunUntil([&] { return flag.load(); }, 20));
  // Changed by another thread without waking the loop: still seen.
  std::thread setter([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    flag = true;
  });
  EXPECT_TRUE(loop.RunUntil([&] { return flag.load(); }, 2000));
  setter.join();
}

// ------------------------------------------------------------------ the player's chain

class RecordingMenu : public ISystemMenu {
 public:
  void ModifyItem(unsigned commandId, const std::string& text) override {
    items.emplace_back(commandId, text);
  }
  std::vector<std::pair<unsigned, std::string>> items;
};

// Keeps every play-state text and every file name the player shows.
class StatusView : public FakeView {
 public:
  void Changed(FormElement element) override {
    FakeView::Changed(element);
    if (!form) return;
    if (element == FormElement::PlayStatus) statuses.push_back(form->PlayStatus.Caption);
    if (element == FormElement::CurrentFileName) names.push_back(form->CurrentFileName.Caption);
  }
  const TPlaybackForm* form = nullptr;
  std::vector<std::string> statuses;
  std::vector<std::string> names;
};

TEST(PlaybackChainTest, SkipsBadEntriesAfterTheWaitAndPlaysTheLastGoodOne) {
  TempDir dir;
  const auto good1 = testing::WriteFile(dir.Path(), "first.wav", testing::WavBytes(200));
  const auto bad1 = (dir.Path() / "missing.wav").string();
  const auto bad2 = testing::WriteFile(dir.Path(), "broken.mid", testing::MidiTruncated());
  const auto good2 = testing::WriteFile(dir.Path(), "last.mid", testing::MidiBytes(200));

  GlibEventLoop loop;
  StatusView view;
  RecordingMenu menu;
  // The device as the program makes it, from the environment set in main.
  GstMediaDevice device(loop);
  TPlaybackForm form(view, loop, device, menu);
  view.form = &form;
  form.RandomMenu.Checked = false;
  form.RepeatMenu.Checked = false;
  form.PlayList.Reset();
  int point = form.InsertionPoint();
  for (const auto& path : {good1, bad1, bad2, good2}) form.InsertEntry(point, path);
  ASSERT_EQ(form.PlayList.RowCount(), 4);
  form.PlayList.SetRow(0);

  form.ButtonPlayClick();
  const std::vector<std::string> expected{"再生中:",   "再生停止:", "再生停止:", "エラー:",
                                          "再生停止:", "エラー:",   "再生中:",   "再生停止:"};
  ASSERT_TRUE(
      loop.RunUntil([&] { return view.statuses.size() >= expected.size(); }, kChainTimeoutMs))
      << ::testing::PrintToString(view.statuses);
  loop.RunUntil([] { return false; }, 300);
  EXPECT_EQ(view.statuses, expected);
  EXPECT_EQ(form.PlayList.Row(), 3);
  EXPECT_FALSE(form.RetryPending());
  EXPECT_EQ(form.CurrentFileName.Hint, good2);
  EXPECT_THAT(view.names, ::testing::Contains("last.mid  0:00"));
  ASSERT_FALSE(menu.items.empty());
  EXPECT_EQ(menu.items.back(), std::make_pair(SC_PLAYSTOP, std::string("再生(&P)")));
}

}  // namespace
}  // namespace kelvo

int main(int argc, char** argv) {
  // No test plays through the speakers, and none waits for the clock unless
  // it asks for a clocked output itself.
  ::setenv("KELVO_AUDIO_SINK", "fakesink sync=false", 1);
  ::unsetenv("KELVO_SOUNDFONT");
  ::testing::InitGoogleMock(&argc, argv);
  return RUN_ALL_TESTS();
}
