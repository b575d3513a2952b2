#pragma once
// The media device over one GStreamer playbin: WAV, MPEG audio, MIDI (through
// midiparse and fluiddec with an explicit SoundFont) and AVI.
//
// Commands run on the thread of the event loop given to the constructor.
// Completion notices and the bus messages behind them reach that thread
// through IEventLoop::Post, whatever event dispatcher the loop runs on.
//
// No command waits without a bound on a streaming thread: a pipeline whose
// source is stuck (a hung network mount, a failing disk) is abandoned to a
// thread of its own, which brings it down and releases it whenever it can,
// and the device goes on with a new pipeline.

#include <gst/gst.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "playback/media_device.h"

namespace kelvo {

// Whether the system's own audio output (what autoaudiosink picks) can be
// opened; without it a player goes to a fake sink.
bool SystemAudioOutputAvailable();

class GstMediaDevice : public IMediaDevice {
 public:
  // Result codes of Error(), with the numbers of the platform the player
  // first ran on.
  static constexpr int kErrorNone = 0;
  static constexpr int kErrorNotOpen = 257;       // no file open for the command
  static constexpr int kErrorHardware = 262;      // the output failed
  static constexpr int kErrorFileNotFound = 275;  // missing file
  static constexpr int kErrorNotReady = 276;      // no answer within the time allowed
  static constexpr int kErrorInternal = 277;      // anything else
  static constexpr int kErrorInvalidFile = 296;   // not a media file, damaged, a folder
  static constexpr int kErrorFileRead = 348;      // the file could not be read

  // The system's General MIDI font (Debian's alternative, which names the
  // font the administrator chose), else TimGM6mb.
  static constexpr const char* kSystemSoundFont = "/usr/share/sounds/sf2/default-GM.sf2";
  static constexpr const char* kFallbackSoundFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";
  static std::string DefaultSoundFont();

  struct Options {
    // A gst-launch description of the audio output; empty: autoaudiosink.
    std::string audioSink;
    // The SoundFont that fluiddec plays MIDI with.
    std::string soundFont = DefaultSoundFont();
    // Whether a display is there for video; without one video goes to a fakesink.
    bool display = false;
    // How long Open waits for the file to be ready to play while nothing
    // happens in the pipeline; every step of progress starts it again, up to
    // openLimitMs in all. Generous: a busy machine must not turn a good file
    // into an error, while a file that is stuck still fails.
    int openTimeoutMs = 10000;
    int openLimitMs = 60000;
    // How long a state change that brings a pipeline down may take before
    // the pipeline is abandoned (its streaming thread is stuck).
    int stopTimeoutMs = 1000;
    // Called with each element the pipeline makes, for tests.
    std::function<void(GstElement*)> onElementSetup;
    // With no audioSink: whether the system's output is tried first; when
    // it cannot be opened the device plays on a fake sink, says so on
    // standard error and calls onNoOutput.
    bool probeOutput = false;
    std::function<void()> onNoOutput;

    // KELVO_AUDIO_SINK, KELVO_SOUNDFONT, DISPLAY and WAYLAND_DISPLAY.
    static Options FromEnvironment();
  };

  explicit GstMediaDevice(IEventLoop& loop, Options options = Options::FromEnvironment());
  ~GstMediaDevice() override;
  GstMediaDevice(const GstMediaDevice&) = delete;
  GstMediaDevice& operator=(const GstMediaDevice&) = delete;

  void SetNotify(bool notify) override { notify_ = notify; }
  void SetWait(bool wait) override { wait_ = wait; }
  void SetFileName(const std::string& path) override { fileName_ = path; }
  void Open() override;
  void SetTimeFormatMilliseconds() override {}
  void Play() override;
  void Stop() override;
  void Close() override;
  std::int64_t Length() override;
  std::optional<std::int64_t> Position() override;
  bool CanSeek() override;
  bool Seek(std::int64_t milliseconds) override;
  int Error() const override { return error_; }
  void SetOnNotify(std::function<void()> handler) override {
    notices_->handler = std::move(handler);
  }

  // What went wrong in the last command that failed, for people.
  const std::string& ErrorText() const { return errorText_; }
  // True while a file is open.
  bool IsOpen() const { return open_; }
  // Makes GStreamer ready and the pipeline: at the first Open, or earlier
  // when called. Nothing of GStreamer is loaded before, so that a window
  // that plays nothing yet comes up without it.
  void Start();

  // The audio output element (a bin when the output was described); it is
  // the same for the device's whole life unless a stuck pipeline had to be
  // abandoned, so probes set on it stay valid.
  GstElement* AudioSink() {
    Start();
    return audioSink_;
  }
  const Options& Settings() const { return options_; }

 private:
  // What a queued notice needs when it is delivered; it outlives the device.
  struct NoticeTarget {
    std::function<void()> handler;
    // Plays started so far: a notice posted before the latest start is stale.
    std::uint64_t playsStarted = 0;
    // The device while it lives (the loop's thread only).
    GstMediaDevice* device = nullptr;
  };
  // Whom one pipeline's bus reports to; it outlives the device, and is
  // emptied when the device is gone or the pipeline abandoned.
  struct BusTarget {
    std::mutex mutex;
    GstMediaDevice* device = nullptr;
  };
  struct Stamped {
    GstMessage* message;
    std::uint64_t epoch;
  };

  static GstBusSyncReply OnBusMessage(GstBus* bus, GstMessage* message, gpointer target);
  void Take(GstMessage* message);
  void Dispatch();
  // Makes a new pipeline with its outputs; false without playbin.
  bool BuildPipeline();
  // Leaves the pipeline to a thread that brings it down and releases it,
  // and builds a new one.
  void AbandonPipeline();
  // A state change of the pipeline that cannot hold the caller for longer
  // than `timeoutMs`: past that the pipeline is abandoned and FAILURE
  // returned.
  GstStateChangeReturn SetState(GstState state, int timeoutMs);
  // Runs `operation` on the pipeline on a thread of its own and waits up to
  // `timeoutMs` for its result; past that the pipeline is abandoned and
  // nothing returned.
  std::optional<int> RunBounded(int timeoutMs, std::function<int(GstElement* pipeline)> operation);

  bool TakeNotify();
  bool TakeWait();
  // Starts a new epoch: messages posted from now on carry it.
  std::uint64_t NewEpoch();
  // Ends the current play, if any; a play that asked for a notice gets it.
  void EndPlay();
  // Brings the pipeline to PAUSED and waits until it is prerolled. False,
  // with Error() and ErrorText() set, when it failed.
  bool Preroll(std::uint64_t epoch);
  // Renders video from now on, or only audio; the pipeline is at most READY.
  void SetVideo(bool on);
  // Whether the prerolled file has an audio stream, or a video stream with
  // a length.
  bool HasSomethingToPlay();
  // The duration, asked again for up to `timeoutMs`; nothing when unknown.
  std::optional<std::int64_t> QueryLength(int timeoutMs);
  // Waits for a message of `epoch` with one of `types` (ASYNC_DONE only from
  // the pipeline); nullptr when `timeoutMs` passed first. With `limitMs`,
  // the time-out runs from the pipeline's last progress, up to `limitMs`.
  GstMessage* WaitFor(std::uint64_t epoch, int types, int timeoutMs, int limitMs = 0);
  void DropQueued();
  void Fail(int code, std::string text);
  void FailWith(GstMessage* error, int fallback);
  void PostNotice();

  IEventLoop& loop_;
  Options options_;
  GstElement* playbin_ = nullptr;
  GstElement* audioSink_ = nullptr;
  std::shared_ptr<BusTarget> busTarget_;
  bool videoOn_ = false;
  bool videoSinkSet_ = false;

  // Commands (loop thread only).
  bool notify_ = false;
  bool wait_ = false;
  std::string fileName_;
  std::string openPath_;
  bool open_ = false;
  bool atStart_ = false;  // prerolled at the start, never played since
  std::optional<std::int64_t> lengthMs_;
  int error_ = 0;
  std::string errorText_;
  std::uint64_t lastEpoch_ = 0;
  std::uint64_t playEpoch_ = 0;  // the epoch of the current play; 0: none
  bool noticePending_ = false;
  std::shared_ptr<NoticeTarget> notices_;

  // Shared with the streaming threads.
  std::atomic<std::uint64_t> epoch_{0};
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<Stamped> queue_;
  bool dispatchPosted_ = false;
  bool closing_ = false;
  bool started_ = false;
  // When the current pipeline last showed progress (steady clock, ns).
  std::atomic<std::int64_t> lastProgress_{0};
};

}  // namespace kelvo
