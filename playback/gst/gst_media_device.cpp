#include "playback/gst/gst_media_device.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <thread>
#include <utility>

#include "playback/gst/shared_synth.h"
#include "playback/mpeg_audio.h"
#include "playback/wave_header.h"

namespace kelvo {

namespace {

// A Standard MIDI File, bare or in a RIFF RMID wrapper.
bool LooksLikeMidi(std::string_view head) {
  return head.substr(0, 4) == "MThd" ||
         (head.substr(0, 4) == "RIFF" && head.size() >= 12 && head.substr(8, 4) == "RMID");
}

bool PushFileSourceAvailable() {
  static const bool available = [] {
    GstElementFactory* factory = gst_element_factory_find("pushfilesrc");
    if (factory) gst_object_unref(factory);
    return factory != nullptr;
  }();
  return available;
}

// playbin's flags: audio and video only (no subtitles: a text file must not
// be taken for something to show).
constexpr unsigned kPlayVideo = 0x1;
constexpr unsigned kPlayAudio = 0x2;
constexpr unsigned kPlayDeinterlace = 0x200;
constexpr unsigned kPlaySoftColorBalance = 0x400;

bool NonEmpty(const char* value) {
  return value && *value;
}

int CodeOf(const GError* error) {
  if (error->domain == GST_RESOURCE_ERROR) {
    switch (error->code) {
      case GST_RESOURCE_ERROR_NOT_FOUND:
        return GstMediaDevice::kErrorFileNotFound;
      case GST_RESOURCE_ERROR_OPEN_READ:
      case GST_RESOURCE_ERROR_READ:
      case GST_RESOURCE_ERROR_SEEK:
        return GstMediaDevice::kErrorFileRead;
      default:
        // Write, busy, settings: the output's failures.
        return GstMediaDevice::kErrorHardware;
    }
  }
  if (error->domain == GST_STREAM_ERROR) return GstMediaDevice::kErrorInvalidFile;
  if (error->domain == GST_CORE_ERROR && error->code == GST_CORE_ERROR_MISSING_PLUGIN)
    return GstMediaDevice::kErrorInvalidFile;
  return GstMediaDevice::kErrorInternal;
}

}  // namespace

std::string GstMediaDevice::DefaultSoundFont() {
  struct stat info {};
  if (::stat(kSystemSoundFont, &info) == 0 && S_ISREG(info.st_mode)) return kSystemSoundFont;
  return kFallbackSoundFont;
}

GstMediaDevice::Options GstMediaDevice::Options::FromEnvironment() {
  Options options;
  if (const char* sink = std::getenv("KELVO_AUDIO_SINK"); NonEmpty(sink)) options.audioSink = sink;
  if (const char* font = std::getenv("KELVO_SOUNDFONT"); NonEmpty(font)) options.soundFont = font;
  options.display = NonEmpty(std::getenv("DISPLAY")) || NonEmpty(std::getenv("WAYLAND_DISPLAY"));
  return options;
}

GstMediaDevice::GstMediaDevice(IEventLoop& loop, Options options)
    : loop_(loop), options_(std::move(options)), notices_(std::make_shared<NoticeTarget>()) {
  notices_->device = this;
}

void GstMediaDevice::Start() {
  if (started_) return;
  started_ = true;
  gst_init(nullptr, nullptr);
  // Video sinks that take over the screen, or crash inside a desktop
  // session, are never the ones autovideosink picks.
  for (const char* name : {"dfbvideosink", "kmssink", "fbdevsink"}) {
    if (GstPluginFeature* feature = gst_registry_lookup_feature(gst_registry_get(), name)) {
      gst_plugin_feature_set_rank(feature, GST_RANK_NONE);
      gst_object_unref(feature);
    }
  }
  // Without a sound output the player still plays, silently, on a fake
  // sink, and says so.
  if (options_.audioSink.empty() && options_.probeOutput && !SystemAudioOutputAvailable()) {
    std::fprintf(stderr, "kelvo: no sound output found; playing silently.\n");
    options_.audioSink = "fakesink sync=true";
    if (options_.onNoOutput) options_.onNoOutput();
  }
  // MIDI plays on the process's one synthesizer, its font loaded once.
  RegisterSharedSynthDecoder();
  // Without playbin every Open fails with kErrorInternal.
  BuildPipeline();
}

namespace {

struct ElementSetup {
  std::string soundFont;
  std::function<void(GstElement*)> hook;
};

void OnElementSetup(GstElement*, GstElement* element, gpointer data) {
  const auto* setup = static_cast<const ElementSetup*>(data);
  if (setup->hook) setup->hook(element);
  GstElementFactory* factory = gst_element_get_factory(element);
  if (!factory || std::strcmp(GST_OBJECT_NAME(factory), "fluiddec") != 0) return;
  // Set before the element starts, so that it never searches the system's
  // folders for a default font.
  g_object_set(element, "soundfont", setup->soundFont.c_str(), nullptr);
}

// Brings an abandoned pipeline down and releases it, on a thread of its
// own: its streaming thread may be stuck for a long time, or for good.
void ReleaseInTheBackground(GstElement* pipeline) {
  std::thread([pipeline] {
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(pipeline);
  }).detach();
}

}  // namespace

bool GstMediaDevice::BuildPipeline() {
  playbin_ = gst_element_factory_make("playbin", nullptr);
  if (!playbin_) return false;
  gst_object_ref_sink(playbin_);

  if (!options_.audioSink.empty()) {
    GError* error = nullptr;
    audioSink_ = gst_parse_bin_from_description(options_.audioSink.c_str(), TRUE, &error);
    if (error) {
      std::fprintf(stderr, "kelvo: audio output \"%s\": %s\n", options_.audioSink.c_str(),
                   error->message);
      g_error_free(error);
    }
  }
  if (!audioSink_) audioSink_ = gst_element_factory_make("autoaudiosink", nullptr);
  if (audioSink_) {
    gst_object_ref_sink(audioSink_);
    g_object_set(playbin_, "audio-sink", audioSink_, nullptr);
  }
  // Audio only until a file shows a video stream: a video output (and the
  // toolkit and GL libraries it loads) is made for such a file alone.
  videoOn_ = false;
  g_object_set(playbin_, "flags", kPlayAudio, nullptr);
  // The setup lives as long as the pipeline, which may outlive the device.
  g_signal_connect_data(
      playbin_, "element-setup", G_CALLBACK(&OnElementSetup),
      new ElementSetup{options_.soundFont, options_.onElementSetup},
      [](gpointer data, GClosure*) { delete static_cast<ElementSetup*>(data); },
      static_cast<GConnectFlags>(0));

  busTarget_ = std::make_shared<BusTarget>();
  busTarget_->device = this;
  GstBus* bus = gst_element_get_bus(playbin_);
  gst_bus_set_sync_handler(
      bus, &GstMediaDevice::OnBusMessage, new std::shared_ptr<BusTarget>(busTarget_),
      [](gpointer data) { delete static_cast<std::shared_ptr<BusTarget>*>(data); });
  gst_object_unref(bus);
  return true;
}

void GstMediaDevice::AbandonPipeline() {
  if (!playbin_) return;
  {
    // From now on nothing of this pipeline reaches the device.
    std::lock_guard lock(busTarget_->mutex);
    busTarget_->device = nullptr;
  }
  busTarget_.reset();
  ReleaseInTheBackground(std::exchange(playbin_, nullptr));
  videoSinkSet_ = false;
  if (audioSink_) gst_object_unref(std::exchange(audioSink_, nullptr));
  // A play that was running has ended, and is told so.
  NewEpoch();
  EndPlay();
  DropQueued();
  open_ = false;
  if (!closing_) BuildPipeline();
}

std::optional<int> GstMediaDevice::RunBounded(int timeoutMs,
                                              std::function<int(GstElement* pipeline)> operation) {
  if (!playbin_) return std::nullopt;
  struct Job {
    std::mutex mutex;
    std::condition_variable done;
    std::optional<int> result;
  };
  auto job = std::make_shared<Job>();
  auto* pipeline = GST_ELEMENT(gst_object_ref(playbin_));
  std::thread([job, pipeline, operation = std::move(operation)] {
    const int result = operation(pipeline);
    {
      std::lock_guard lock(job->mutex);
      job->result = result;
    }
    job->done.notify_all();
    gst_object_unref(pipeline);
  }).detach();
  std::unique_lock lock(job->mutex);
  if (job->done.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                         [&] { return job->result.has_value(); }))
    return job->result;
  lock.unlock();
  // A streaming thread that does not stop (a read that never returns) holds
  // the operation: the pipeline is left to it.
  AbandonPipeline();
  return std::nullopt;
}

GstStateChangeReturn GstMediaDevice::SetState(GstState state, int timeoutMs) {
  const auto result = RunBounded(timeoutMs, [state](GstElement* pipeline) {
    return static_cast<int>(gst_element_set_state(pipeline, state));
  });
  return result ? static_cast<GstStateChangeReturn>(*result) : GST_STATE_CHANGE_FAILURE;
}

GstMediaDevice::~GstMediaDevice() {
  notices_->device = nullptr;
  closing_ = true;
  // Abandoned, not waited for, when its streaming thread is stuck.
  if (playbin_) SetState(GST_STATE_NULL, options_.stopTimeoutMs);
  if (playbin_) {
    {
      std::lock_guard lock(busTarget_->mutex);
      busTarget_->device = nullptr;
    }
    gst_object_unref(playbin_);
  }
  if (audioSink_) gst_object_unref(audioSink_);
  DropQueued();
}

// ------------------------------------------------------------ streaming side

GstBusSyncReply GstMediaDevice::OnBusMessage(GstBus*, GstMessage* message, gpointer data) {
  const auto& target = *static_cast<std::shared_ptr<BusTarget>*>(data);
  {
    std::lock_guard lock(target->mutex);
    if (target->device) target->device->Take(message);
  }
  // A sync handler that drops a message owns it and must release it.
  gst_message_unref(message);
  return GST_BUS_DROP;
}

void GstMediaDevice::Take(GstMessage* message) {
  // Any message is a sign of progress of the pipeline.
  lastProgress_.store(std::chrono::steady_clock::now().time_since_epoch().count());
  const GstMessageType type = GST_MESSAGE_TYPE(message);
  if (type != GST_MESSAGE_ERROR && type != GST_MESSAGE_EOS && type != GST_MESSAGE_ASYNC_DONE)
    return;
  bool post = false;
  {
    std::lock_guard lock(mutex_);
    // Stamped with the epoch in force when it was posted, so that a message
    // of a play that is over is never taken for one of the current play.
    queue_.push_back({gst_message_ref(message), epoch_.load()});
    post = type != GST_MESSAGE_ASYNC_DONE && !std::exchange(dispatchPosted_, true);
  }
  arrived_.notify_all();
  if (post) {
    // Through the event loop itself: the device depends on no particular
    // dispatcher running GLib's main context.
    loop_.Post([target = std::weak_ptr(notices_)] {
      const auto notices = target.lock();
      if (notices && notices->device) notices->device->Dispatch();
    });
  }
}

// ------------------------------------------------------------ loop side

void GstMediaDevice::Dispatch() {
  std::deque<Stamped> items;
  {
    std::lock_guard lock(mutex_);
    items.swap(queue_);
    dispatchPosted_ = false;
  }
  for (auto& item : items) {
    const GstMessageType type = GST_MESSAGE_TYPE(item.message);
    // The end of the current play, however it ended; the pipeline stays
    // where it is until the next command.
    if (playEpoch_ != 0 && item.epoch == playEpoch_ &&
        (type == GST_MESSAGE_EOS || type == GST_MESSAGE_ERROR))
      EndPlay();
    gst_message_unref(item.message);
  }
}

bool GstMediaDevice::TakeNotify() {
  return std::exchange(notify_, false);
}
bool GstMediaDevice::TakeWait() {
  return std::exchange(wait_, false);
}

std::uint64_t GstMediaDevice::NewEpoch() {
  epoch_.store(++lastEpoch_);
  return lastEpoch_;
}

void GstMediaDevice::EndPlay() {
  if (playEpoch_ == 0) return;
  playEpoch_ = 0;
  if (std::exchange(noticePending_, false)) PostNotice();
}

void GstMediaDevice::PostNotice() {
  loop_.Post([target = std::weak_ptr(notices_), posted = notices_->playsStarted] {
    // A device that is gone delivers nothing. A play started since this was
    // posted would take it for its own end: it is stale and dropped.
    const auto notices = target.lock();
    if (!notices || notices->playsStarted != posted || !notices->handler) return;
    const auto handler = notices->handler;
    handler();
  });
}

void GstMediaDevice::Fail(int code, std::string text) {
  error_ = code;
  errorText_ = std::move(text);
}

void GstMediaDevice::FailWith(GstMessage* message, int fallback) {
  if (!message) {
    Fail(fallback, "ファイル[" + openPath_ + "]を再生できません。");
    return;
  }
  GError* error = nullptr;
  gchar* debug = nullptr;
  gst_message_parse_error(message, &error, &debug);
  Fail(CodeOf(error), "ファイル[" + openPath_ + "]を再生できません: " + error->message);
  g_error_free(error);
  g_free(debug);
  gst_message_unref(message);
}

GstMessage* GstMediaDevice::WaitFor(std::uint64_t epoch, int types, int timeoutMs, int limitMs) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  const auto timeout = std::chrono::milliseconds(timeoutMs);
  // Without a limit the time-out counts from the start; with one, from the
  // last progress of the pipeline, up to the limit in all.
  const auto deadline = [&] {
    if (limitMs <= 0) return start + timeout;
    const Clock::time_point progress{Clock::duration(lastProgress_.load())};
    return std::min(std::max(start, progress) + timeout,
                    start + std::chrono::milliseconds(limitMs));
  };
  std::unique_lock lock(mutex_);
  const auto take = [&]() -> GstMessage* {
    for (auto it = queue_.begin(); it != queue_.end(); ++it) {
      GstMessage* message = it->message;
      if (it->epoch != epoch || !(GST_MESSAGE_TYPE(message) & types)) continue;
      if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ASYNC_DONE &&
          GST_MESSAGE_SRC(message) != GST_OBJECT(playbin_))
        continue;
      queue_.erase(it);
      return message;
    }
    return nullptr;
  };
  for (;;) {
    if (GstMessage* message = take()) return message;
    const auto until = deadline();
    if (Clock::now() >= until) return nullptr;
    arrived_.wait_until(lock, until);
  }
}

void GstMediaDevice::DropQueued() {
  std::deque<Stamped> items;
  {
    std::lock_guard lock(mutex_);
    items.swap(queue_);
  }
  for (auto& item : items) gst_message_unref(item.message);
}

bool GstMediaDevice::Preroll(std::uint64_t epoch) {
  const GstStateChangeReturn result = SetState(GST_STATE_PAUSED, options_.openTimeoutMs);
  if (result == GST_STATE_CHANGE_FAILURE) {
    // The element that failed has posted why, as a rule before returning.
    FailWith(WaitFor(epoch, GST_MESSAGE_ERROR, 200), kErrorInvalidFile);
    return false;
  }
  if (result != GST_STATE_CHANGE_ASYNC) {
    GstMessage* error = WaitFor(epoch, GST_MESSAGE_ERROR, 0);
    if (!error) return true;
    FailWith(error, kErrorInvalidFile);
    return false;
  }
  GstMessage* message = WaitFor(epoch, GST_MESSAGE_ERROR | GST_MESSAGE_ASYNC_DONE,
                                options_.openTimeoutMs, options_.openLimitMs);
  if (!message) {
    Fail(kErrorNotReady, "ファイル[" + openPath_ + "]の準備が時間内に終わりませんでした。");
    return false;
  }
  if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
    FailWith(message, kErrorInvalidFile);
    return false;
  }
  gst_message_unref(message);
  return true;
}

void GstMediaDevice::Open() {
  Start();
  const bool notify = TakeNotify();
  TakeWait();  // every command here returns when it is done
  if (open_) {
    // Ready keeps the outputs open for the next file. But playbin takes a
    // new URI only on its way down from PAUSED: one that never got there
    // (a failed preroll) must go down to NULL, or it opens the old file again.
    GstState state = GST_STATE_NULL;
    gst_element_get_state(playbin_, &state, nullptr, 0);
    SetState(state >= GST_STATE_PAUSED ? GST_STATE_READY : GST_STATE_NULL, options_.stopTimeoutMs);
    NewEpoch();
    EndPlay();
    open_ = false;
  }
  lengthMs_.reset();
  const std::string path = fileName_;
  if (!playbin_) {
    Fail(kErrorInternal, "GStreamer の playbin がありません。");
    throw EMCIDeviceError(errorText_);
  }
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) {
    const bool missing = errno == ENOENT || errno == ENOTDIR || path.empty();
    Fail(missing ? kErrorFileNotFound : kErrorFileRead,
         "ファイル[" + path + "]を開けません: " + std::strerror(errno));
    throw EMCIDeviceError(errorText_);
  }
  // Only regular files: a pipe or a device would block the reader or never end.
  if (!S_ISREG(info.st_mode)) {
    Fail(kErrorInvalidFile, "[" + path + "]はメディアファイルではありません。");
    throw EMCIDeviceError(errorText_);
  }
  GError* uriError = nullptr;
  // The URI escapes the path's bytes as they are; filesrc gets them back.
  gchar* uri = gst_filename_to_uri(path.c_str(), &uriError);
  if (!uri) {
    Fail(kErrorFileNotFound,
         "ファイル[" + path + "]を開けません: " + (uriError ? uriError->message : std::string()));
    if (uriError) g_error_free(uriError);
    throw EMCIDeviceError(errorText_);
  }
  // A WAVE file is read in push mode: wavparse pulling from the file drops
  // some whole files (8-bit audio of certain sizes plays nothing). Its
  // header also gives the exact length, which wavparse misjudges for ADPCM.
  const FileHead head = ReadFileHead(path);
  const auto wave = ParseWaveHeader(head.bytes, head.size);
  const bool push = wave && PushFileSourceAvailable();
  g_object_set(playbin_, "uri", push ? ("push" + std::string(uri)).c_str() : uri, nullptr);
  g_free(uri);
  openPath_ = path;

  SetSharedSynthFont(options_.soundFont);
  // A large SoundFont loads here, before the bounded preparation: its load
  // is slow work, not a stuck file.
  if (LooksLikeMidi(head.bytes)) PrepareSharedSynth();
  SetVideo(false);
  std::uint64_t epoch = NewEpoch();
  DropQueued();
  bool prerolled = Preroll(epoch);
  gint videoStreams = 0;
  if (prerolled) g_object_get(playbin_, "n-video", &videoStreams, nullptr);
  if (prerolled && videoStreams > 0) {
    // A file with pictures: prepared again, now with a video output.
    SetState(GST_STATE_READY, options_.stopTimeoutMs);
    SetVideo(true);
    epoch = NewEpoch();
    DropQueued();
    prerolled = Preroll(epoch);
  }
  if (!prerolled || !HasSomethingToPlay()) {
    if (prerolled) Fail(kErrorInvalidFile, "[" + path + "]には再生できる音声も映像もありません。");
    SetState(GST_STATE_NULL, options_.stopTimeoutMs);
    NewEpoch();
    DropQueued();
    throw EMCIDeviceError(errorText_);
  }
  // The exact length where the file's own bytes tell it: a WAVE header, or
  // the frames of MPEG audio counted (a variable bit rate without a Xing
  // header leaves GStreamer only an estimate from the first frames).
  if (wave) {
    lengthMs_ = WaveLengthMs(*wave);
  } else if (MayBeMpegAudio(head.bytes)) {
    if (const auto mpeg = ReadMpegAudioLengthMs(path)) lengthMs_ = mpeg;
  }
  open_ = true;
  atStart_ = true;
  Fail(kErrorNone, {});
  if (notify) PostNotice();
}

void GstMediaDevice::Play() {
  const bool notify = TakeNotify();
  const bool wait = TakeWait();
  if (!open_) {
    Fail(kErrorNotOpen, "メディアデバイスでファイルが開かれていません。");
    return;
  }
  // A file that is gone since it was opened is not played from what is left
  // of it in memory.
  struct stat info {};
  if (::stat(openPath_.c_str(), &info) != 0) {
    Fail(kErrorFileNotFound, "ファイル[" + openPath_ + "]が見つかりません。");
    return;
  }
  if (playEpoch_ != 0) {
    // Paused first: a paused sink posts no end of stream, so nothing of the
    // old play can be stamped with the new play's epoch.
    SetState(GST_STATE_PAUSED, options_.stopTimeoutMs);
    NewEpoch();
    EndPlay();
  }
  if (!open_) {
    // The pipeline was stuck and had to be left behind.
    Fail(kErrorFileRead, "ファイル[" + openPath_ + "]の読み込みが止まったままです。");
    return;
  }
  const std::uint64_t epoch = NewEpoch();
  if (!atStart_) {
    const auto seeked = RunBounded(options_.stopTimeoutMs, [](GstElement* pipeline) {
      const auto flags = static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE);
      return static_cast<int>(gst_element_seek_simple(pipeline, GST_FORMAT_TIME, flags, 0));
    });
    if (!seeked) {
      Fail(kErrorFileRead, "ファイル[" + openPath_ + "]の読み込みが止まったままです。");
      return;
    }
    if (*seeked == 0) {
      // A stream that cannot seek is prepared again from its start.
      SetState(GST_STATE_READY, options_.stopTimeoutMs);
      if (!open_ || !Preroll(epoch)) return;
    }
  }
  atStart_ = false;
  playEpoch_ = epoch;
  noticePending_ = notify;
  if (SetState(GST_STATE_PLAYING, options_.stopTimeoutMs) == GST_STATE_CHANGE_FAILURE) {
    playEpoch_ = 0;
    noticePending_ = false;
    FailWith(WaitFor(epoch, GST_MESSAGE_ERROR, 200), kErrorHardware);
    return;
  }
  ++notices_->playsStarted;
  Fail(kErrorNone, {});
  if (!wait) return;
  // Bounded by the length, so that a stream that never ends cannot hold the
  // caller; the notice then comes when it ends.
  if (!lengthMs_) lengthMs_ = QueryLength(1000);
  const int limit = static_cast<int>(lengthMs_.value_or(0)) + options_.openTimeoutMs;
  if (GstMessage* end = WaitFor(epoch, GST_MESSAGE_EOS | GST_MESSAGE_ERROR, limit)) {
    if (GST_MESSAGE_TYPE(end) == GST_MESSAGE_ERROR) {
      FailWith(end, kErrorInternal);
    } else {
      gst_message_unref(end);
    }
    EndPlay();
  }
}

void GstMediaDevice::Stop() {
  const bool notify = TakeNotify();
  TakeWait();
  if (!open_) {
    Fail(kErrorNotOpen, "メディアデバイスでファイルが開かれていません。");
    throw EMCIDeviceError(errorText_);
  }
  SetState(GST_STATE_PAUSED, options_.stopTimeoutMs);
  NewEpoch();
  EndPlay();
  Fail(kErrorNone, {});
  if (notify) PostNotice();
}

void GstMediaDevice::Close() {
  const bool notify = TakeNotify();
  TakeWait();
  Fail(kErrorNone, {});
  if (!open_) return;
  SetState(GST_STATE_NULL, options_.stopTimeoutMs);
  NewEpoch();
  EndPlay();
  DropQueued();
  open_ = false;
  lengthMs_.reset();
  if (notify) PostNotice();
}

std::optional<std::int64_t> GstMediaDevice::Position() {
  if (!open_ || playEpoch_ == 0) return std::nullopt;
  gint64 position = -1;
  if (!gst_element_query_position(playbin_, GST_FORMAT_TIME, &position) || position < 0)
    return std::nullopt;
  return position / GST_MSECOND;
}

bool GstMediaDevice::CanSeek() {
  if (!open_) return false;
  GstQuery* query = gst_query_new_seeking(GST_FORMAT_TIME);
  gboolean seekable = FALSE;
  const bool answered = gst_element_query(playbin_, query);
  if (answered) gst_query_parse_seeking(query, nullptr, &seekable, nullptr, nullptr);
  gst_query_unref(query);
  if (answered && seekable) return true;
  // Some parsers (midiparse) say no and seek all the same: a file with a
  // known length can be moved in.
  if (!lengthMs_) lengthMs_ = QueryLength(0);
  return lengthMs_.value_or(0) > 0;
}

bool GstMediaDevice::Seek(std::int64_t milliseconds) {
  if (!open_ || playEpoch_ == 0 || milliseconds < 0) return false;
  if (!lengthMs_) lengthMs_ = QueryLength(0);
  if (!lengthMs_ || milliseconds > *lengthMs_) return false;
  const auto seeked = RunBounded(options_.stopTimeoutMs, [milliseconds](GstElement* pipeline) {
    const auto flags = static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE);
    return static_cast<int>(
        gst_element_seek_simple(pipeline, GST_FORMAT_TIME, flags, milliseconds * GST_MSECOND));
  });
  return seeked && *seeked != 0;
}

void GstMediaDevice::SetVideo(bool on) {
  if (on == videoOn_) return;
  if (on && !videoSinkSet_) {
    GstElement* sink = nullptr;
    if (options_.display) sink = gst_element_factory_make("autovideosink", nullptr);
    if (!sink) {
      // Without a display the pictures pass at their pace and are dropped.
      sink = gst_element_factory_make("fakesink", nullptr);
      if (sink) g_object_set(sink, "sync", TRUE, nullptr);
    }
    if (sink) g_object_set(playbin_, "video-sink", sink, nullptr);
    videoSinkSet_ = true;
  }
  unsigned flags = kPlayAudio;
  if (on) {
    flags |= kPlayVideo;
    if (options_.display) flags |= kPlayDeinterlace | kPlaySoftColorBalance;
  }
  g_object_set(playbin_, "flags", flags, nullptr);
  videoOn_ = on;
}

bool GstMediaDevice::HasSomethingToPlay() {
  // A picture, a text or a stream with no length is nothing to play: an
  // audio stream is, and so is a video stream that lasts (AVI).
  gint audio = 0, video = 0;
  g_object_get(playbin_, "n-audio", &audio, "n-video", &video, nullptr);
  if (audio > 0) return true;
  if (video <= 0) return false;
  const auto length = QueryLength(500);
  return length && *length > 0;
}

std::optional<std::int64_t> GstMediaDevice::QueryLength(int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    gint64 duration = -1;
    if (gst_element_query_duration(playbin_, GST_FORMAT_TIME, &duration) && duration >= 0)
      return (duration + GST_MSECOND / 2) / GST_MSECOND;
    // Some demuxers (MIDI) know the length only a moment after preroll.
    if (std::chrono::steady_clock::now() >= deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
}

std::int64_t GstMediaDevice::Length() {
  if (!open_) {
    Fail(kErrorNotOpen, "メディアデバイスでファイルが開かれていません。");
    return 0;
  }
  if (!lengthMs_) lengthMs_ = QueryLength(1000);
  if (!lengthMs_) {
    Fail(kErrorNotReady, "ファイル[" + openPath_ + "]の長さがわかりません。");
    return 0;
  }
  Fail(kErrorNone, {});
  return *lengthMs_;
}

namespace {

// Standard error sent to /dev/null for the life of this object: the sound
// libraries that a probe of the outputs tries (ALSA, OpenAL, PulseAudio)
// print their failures there, though failing is what a probe may do.
class QuietStandardError {
 public:
  QuietStandardError() {
    std::fflush(stderr);
    saved_ = ::dup(STDERR_FILENO);
    const int null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (saved_ >= 0 && null >= 0) ::dup2(null, STDERR_FILENO);
    if (null >= 0) ::close(null);
  }
  ~QuietStandardError() {
    std::fflush(stderr);
    if (saved_ < 0) return;
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
  }
  QuietStandardError(const QuietStandardError&) = delete;
  QuietStandardError& operator=(const QuietStandardError&) = delete;

 private:
  int saved_ = -1;
};

}  // namespace

bool SystemAudioOutputAvailable() {
  gst_init(nullptr, nullptr);
  const QuietStandardError quiet;
  GstElement* sink = gst_element_factory_make("autoaudiosink", nullptr);
  if (!sink) return false;
  gst_object_ref_sink(sink);
  bool available = false;
  if (gst_element_set_state(sink, GST_STATE_READY) != GST_STATE_CHANGE_FAILURE) {
    // autoaudiosink falls back to a fake sink when no real output opens.
    GstIterator* it = gst_bin_iterate_sinks(GST_BIN(sink));
    GValue item = G_VALUE_INIT;
    if (gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
      auto* child = GST_ELEMENT(g_value_get_object(&item));
      GstElementFactory* factory = gst_element_get_factory(child);
      available = factory && std::string(GST_OBJECT_NAME(factory)) != "fakesink";
      g_value_reset(&item);
    }
    g_value_unset(&item);
    gst_iterator_free(it);
  }
  gst_element_set_state(sink, GST_STATE_NULL);
  gst_object_unref(sink);
  return available;
}

}  // namespace kelvo
