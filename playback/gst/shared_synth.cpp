#include "playback/gst/shared_synth.h"

#include <dlfcn.h>
#include <fluidsynth.h>
#include <gst/audio/audio.h>
#include <gst/gst.h>

#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace kelvo {

namespace {

// FluidSynth is loaded with the first MIDI file, not with the program: the
// library brings some sixty others (audio servers, SDL, readline), which a
// run that plays no MIDI must not pay for at start-up.
struct FluidApi {
#define KELVO_FLUID(name) decltype(&::name) name = nullptr;
  KELVO_FLUID(new_fluid_settings)
  KELVO_FLUID(delete_fluid_settings)
  KELVO_FLUID(fluid_settings_setnum)
  KELVO_FLUID(fluid_settings_setint)
  KELVO_FLUID(new_fluid_synth)
  KELVO_FLUID(delete_fluid_synth)
  KELVO_FLUID(fluid_synth_sfload)
  KELVO_FLUID(fluid_synth_system_reset)
  KELVO_FLUID(fluid_synth_write_float)
  KELVO_FLUID(fluid_synth_sysex)
  KELVO_FLUID(fluid_synth_noteoff)
  KELVO_FLUID(fluid_synth_noteon)
  KELVO_FLUID(fluid_synth_key_pressure)
  KELVO_FLUID(fluid_synth_cc)
  KELVO_FLUID(fluid_synth_program_change)
  KELVO_FLUID(fluid_synth_channel_pressure)
  KELVO_FLUID(fluid_synth_pitch_bend)
  KELVO_FLUID(fluid_set_log_function)
#undef KELVO_FLUID
};

void Quiet(int, const char*, void*) {}

// The library's functions, or nullptr when it cannot be loaded.
const FluidApi* Fluid() {
  static const FluidApi* api = []() -> const FluidApi* {
    void* library = ::dlopen("libfluidsynth.so.3", RTLD_NOW | RTLD_LOCAL);
    if (!library) return nullptr;
    static FluidApi table;
    bool complete = true;
    const auto bind = [&](auto& function, const char* name) {
      function =
          reinterpret_cast<std::remove_reference_t<decltype(function)>>(::dlsym(library, name));
      complete = complete && function != nullptr;
    };
#define KELVO_BIND(name) bind(table.name, #name);
    KELVO_BIND(new_fluid_settings)
    KELVO_BIND(delete_fluid_settings)
    KELVO_BIND(fluid_settings_setnum)
    KELVO_BIND(fluid_settings_setint)
    KELVO_BIND(new_fluid_synth)
    KELVO_BIND(delete_fluid_synth)
    KELVO_BIND(fluid_synth_sfload)
    KELVO_BIND(fluid_synth_system_reset)
    KELVO_BIND(fluid_synth_write_float)
    KELVO_BIND(fluid_synth_sysex)
    KELVO_BIND(fluid_synth_noteoff)
    KELVO_BIND(fluid_synth_noteon)
    KELVO_BIND(fluid_synth_key_pressure)
    KELVO_BIND(fluid_synth_cc)
    KELVO_BIND(fluid_synth_program_change)
    KELVO_BIND(fluid_synth_channel_pressure)
    KELVO_BIND(fluid_synth_pitch_bend)
    KELVO_BIND(fluid_set_log_function)
#undef KELVO_BIND
    if (!complete) return nullptr;
    // FluidSynth's own messages would reach standard error; failures are
    // reported as errors of the element instead.
    for (int level : {FLUID_PANIC, FLUID_ERR, FLUID_WARN, FLUID_INFO, FLUID_DBG})
      table.fluid_set_log_function(level, Quiet, nullptr);
    return &table;
  }();
  return api;
}

constexpr int kRate = 44100;
constexpr int kChannels = 2;

// A synthesizer with its font loaded. Decoders hold it while they live, so
// that one replaced by another font goes only once nobody plays on it.
struct Engine {
  fluid_settings_t* settings = nullptr;
  fluid_synth_t* synth = nullptr;
  Engine(fluid_settings_t* s, fluid_synth_t* y) : settings(s), synth(y) {}
  ~Engine() {
    Fluid()->delete_fluid_synth(synth);
    Fluid()->delete_fluid_settings(settings);
  }
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;
};

// The process's synthesizer. Loading runs on a thread of its own; the state
// is guarded by `mutex`, and the synthesizer itself is safe to call from any
// thread (FluidSynth's thread-safe API).
struct Synth {
  std::mutex mutex;
  std::condition_variable loaded;
  std::string wantedFont;
  std::string font;  // the font the engine holds or is loading
  bool loading = false;
  std::shared_ptr<Engine> engine;
  // Bumped by every decoder that starts: only the newest one plays.
  std::uint64_t owner = 0;
  int loads = 0;
};

Synth& TheSynth() {
  // Lives as long as the process: decoders of abandoned pipelines may still
  // hold it while the program ends.
  static Synth* synth = new Synth;
  return *synth;
}

// Builds a synthesizer holding `font`; nothing when the font does not load.
// Settings: 44.1 kHz, 64 voices (a General MIDI file rarely needs more),
// reverb on and chorus off (it costs much and adds little), FluidSynth's
// default gain and interpolation.
std::shared_ptr<Engine> Build(const std::string& font) {
  if (!Fluid()) return nullptr;
  fluid_settings_t* settings = Fluid()->new_fluid_settings();
  Fluid()->fluid_settings_setnum(settings, "synth.sample-rate", kRate);
  Fluid()->fluid_settings_setint(settings, "synth.polyphony", 64);
  Fluid()->fluid_settings_setint(settings, "synth.chorus.active", 0);
  Fluid()->fluid_settings_setint(settings, "synth.reverb.active", 1);
  fluid_synth_t* synth = Fluid()->new_fluid_synth(settings);
  if (!synth) {
    Fluid()->delete_fluid_settings(settings);
    return nullptr;
  }
  auto engine = std::make_shared<Engine>(settings, synth);
  if (Fluid()->fluid_synth_sfload(synth, font.c_str(), 1) == FLUID_FAILED) return nullptr;
  return engine;
}

// Starts loading the wanted font on a thread of its own (the caller holds
// the synthesizer's mutex).
void StartLoading(Synth& s) {
  if (s.loading || s.wantedFont.empty() || s.font == s.wantedFont) return;
  s.loading = true;
  s.font = s.wantedFont;
  ++s.loads;
  std::thread([&s, font = s.font] {
    auto engine = Build(font);
    std::lock_guard lock(s.mutex);
    s.engine = std::move(engine);
    s.loading = false;
    s.loaded.notify_all();
  }).detach();
}

// Waits for the wanted font; the synthesizer, or nullptr when it cannot be
// loaded. Called with the synthesizer's mutex held by `lock`.
std::shared_ptr<Engine> AcquireLocked(Synth& s, std::unique_lock<std::mutex>& lock) {
  for (;;) {
    StartLoading(s);
    s.loaded.wait(lock, [&] { return !s.loading; });
    // The font wanted may have changed while the last one loaded.
    if (s.font == s.wantedFont) return s.engine;
  }
}

// ------------------------------------------------------------------ the element

struct SynthDec {
  GstElement parent;
  GstPad* sinkpad;
  GstPad* srcpad;
  // The engine this decoder plays on, held from READY down to NULL.
  std::shared_ptr<Engine>* engine;
  std::uint64_t generation;
  GstClockTime lastPts;
  guint64 lastSample;
  gboolean discont;
};

struct SynthDecClass {
  GstElementClass parent_class;
};

GType synth_dec_get_type();
#define KELVO_SYNTH_DEC(obj) (reinterpret_cast<SynthDec*>(obj))

G_DEFINE_TYPE(SynthDec, synth_dec, GST_TYPE_ELEMENT)

GstStaticPadTemplate sinkTemplate = GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS,
                                                            GST_STATIC_CAPS("audio/x-midi-event"));
GstStaticPadTemplate srcTemplate =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS,
                            GST_STATIC_CAPS("audio/x-raw, format = (string) " GST_AUDIO_NE(
                                F32) ", rate = (int) 44100, "
                                     "channels = (int) 2, layout = (string) interleaved"));

fluid_synth_t* SynthOf(const SynthDec* dec) {
  return dec->engine && *dec->engine ? (*dec->engine)->synth : nullptr;
}

bool IsOwner(const SynthDec* dec) {
  if (!SynthOf(dec)) return false;
  Synth& s = TheSynth();
  std::lock_guard lock(s.mutex);
  return s.owner == dec->generation && s.engine == *dec->engine;
}

void Reset(SynthDec* dec) {
  if (IsOwner(dec)) Fluid()->fluid_synth_system_reset(SynthOf(dec));
  dec->lastPts = GST_CLOCK_TIME_NONE;
}

// The audio from the last event up to `pts`.
GstFlowReturn Render(SynthDec* dec, GstClockTime pts) {
  const guint64 sample = gst_util_uint64_scale_int(pts, kRate, GST_SECOND);
  const guint64 frames = sample - dec->lastSample;
  const GstClockTime start = dec->lastPts;
  const guint64 offset = dec->lastSample;
  dec->lastPts = pts;
  dec->lastSample = sample;
  if (frames == 0) return GST_FLOW_OK;
  GstBuffer* out = gst_buffer_new_allocate(nullptr, frames * kChannels * sizeof(float), nullptr);
  GstMapInfo map;
  gst_buffer_map(out, &map, GST_MAP_WRITE);
  if (IsOwner(dec)) {
    Fluid()->fluid_synth_write_float(SynthOf(dec), static_cast<int>(frames), map.data, 0, kChannels,
                                     map.data, 1, kChannels);
  } else {
    // A newer file has the synthesizer: this one is silent.
    std::memset(map.data, 0, map.size);
  }
  gst_buffer_unmap(out, &map);
  GST_BUFFER_PTS(out) = start;
  GST_BUFFER_DTS(out) = start;
  GST_BUFFER_DURATION(out) = pts - start;
  GST_BUFFER_OFFSET(out) = offset;
  GST_BUFFER_OFFSET_END(out) = sample;
  if (dec->discont) {
    GST_BUFFER_FLAG_SET(out, GST_BUFFER_FLAG_DISCONT);
    dec->discont = FALSE;
  }
  return gst_pad_push(dec->srcpad, out);
}

// One MIDI event: a status byte and its data bytes.
void Apply(SynthDec* dec, const guint8* data, gsize size) {
  if (size == 0 || !IsOwner(dec)) return;
  fluid_synth_t* synth = SynthOf(dec);
  const guint8 status = data[0];
  if ((status & 0xf0) == 0xf0) {
    if (status == 0xff) {
      Fluid()->fluid_synth_system_reset(synth);
    } else if ((status == 0xf0 || status == 0xf7) && size > 1) {
      Fluid()->fluid_synth_sysex(synth, reinterpret_cast<const char*>(data + 1),
                                 static_cast<int>(size - 1), nullptr, nullptr, nullptr, 0);
    }
    return;  // 0xf9 is midiparse's tick: time passes, nothing else
  }
  const int channel = status & 0x0f;
  const int a = size > 1 ? data[1] & 0x7f : 0;
  const int b = size > 2 ? data[2] & 0x7f : 0;
  switch (status & 0xf0) {
    case 0x80:
      Fluid()->fluid_synth_noteoff(synth, channel, a);
      break;
    case 0x90:
      Fluid()->fluid_synth_noteon(synth, channel, a, b);
      break;
    case 0xa0:
      Fluid()->fluid_synth_key_pressure(synth, channel, a, b);
      break;
    case 0xb0:
      Fluid()->fluid_synth_cc(synth, channel, a, b);
      break;
    case 0xc0:
      Fluid()->fluid_synth_program_change(synth, channel, a);
      break;
    case 0xd0:
      Fluid()->fluid_synth_channel_pressure(synth, channel, a);
      break;
    case 0xe0:
      Fluid()->fluid_synth_pitch_bend(synth, channel, (b << 7) | a);
      break;
    default:
      break;
  }
}

// midiparse sends a tick every 10 ms so that time moves on between events;
// rendering each would make a hundred small buffers a second, whose passing
// down the pipeline costs more than the synthesis. Ticks are gathered into
// blocks of this length; a real event is always rendered up to its time.
constexpr GstClockTime kTickBlock = 40 * GST_MSECOND;

bool IsTick(GstBuffer* buffer) {
  guint8 status = 0;
  return gst_buffer_get_size(buffer) == 1 && gst_buffer_extract(buffer, 0, &status, 1) == 1 &&
         status == 0xf9;
}

GstFlowReturn Chain(GstPad*, GstObject* parent, GstBuffer* buffer) {
  SynthDec* dec = KELVO_SYNTH_DEC(parent);
  if (GST_BUFFER_IS_DISCONT(buffer)) dec->discont = TRUE;
  GstFlowReturn result = GST_FLOW_OK;
  const GstClockTime pts = GST_BUFFER_PTS(buffer);
  if (GST_CLOCK_TIME_IS_VALID(pts) && GST_CLOCK_TIME_IS_VALID(dec->lastPts) &&
      pts < dec->lastPts + kTickBlock && IsTick(buffer)) {
    gst_buffer_unref(buffer);
    return GST_FLOW_OK;
  }
  if (GST_CLOCK_TIME_IS_VALID(pts)) {
    if (!GST_CLOCK_TIME_IS_VALID(dec->lastPts)) {
      dec->lastPts = pts;
      dec->lastSample = gst_util_uint64_scale_int(pts, kRate, GST_SECOND);
    } else if (pts > dec->lastPts) {
      result = Render(dec, pts);
    }
  }
  if (result == GST_FLOW_OK) {
    GstMapInfo map;
    if (gst_buffer_map(buffer, &map, GST_MAP_READ)) {
      Apply(dec, map.data, map.size);
      gst_buffer_unmap(buffer, &map);
    }
  }
  gst_buffer_unref(buffer);
  return result;
}

gboolean SinkEvent(GstPad* pad, GstObject* parent, GstEvent* event) {
  SynthDec* dec = KELVO_SYNTH_DEC(parent);
  switch (GST_EVENT_TYPE(event)) {
    case GST_EVENT_CAPS: {
      gst_event_unref(event);
      GstCaps* caps = gst_static_pad_template_get_caps(&srcTemplate);
      const gboolean pushed = gst_pad_push_event(dec->srcpad, gst_event_new_caps(caps));
      gst_caps_unref(caps);
      return pushed;
    }
    case GST_EVENT_FLUSH_STOP:
      Reset(dec);
      break;
    default:
      break;
  }
  return gst_pad_event_default(pad, parent, event);
}

GstStateChangeReturn ChangeState(GstElement* element, GstStateChange transition) {
  SynthDec* dec = KELVO_SYNTH_DEC(element);
  if (transition == GST_STATE_CHANGE_NULL_TO_READY) {
    Synth& s = TheSynth();
    std::unique_lock lock(s.mutex);
    auto engine = AcquireLocked(s, lock);
    if (!engine) {
      const std::string font = s.wantedFont;
      lock.unlock();
      GST_ELEMENT_ERROR(element, RESOURCE, OPEN_READ,
                        ("SoundFont %s を読み込めません。", font.c_str()), (nullptr));
      return GST_STATE_CHANGE_FAILURE;
    }
    delete dec->engine;
    dec->engine = new std::shared_ptr<Engine>(std::move(engine));
  } else if (transition == GST_STATE_CHANGE_READY_TO_PAUSED) {
    {
      // The newest decoder to start plays; an older one goes silent.
      Synth& s = TheSynth();
      std::lock_guard lock(s.mutex);
      dec->generation = ++s.owner;
    }
    Reset(dec);
  }
  const GstStateChangeReturn result =
      GST_ELEMENT_CLASS(synth_dec_parent_class)->change_state(element, transition);
  if (transition == GST_STATE_CHANGE_READY_TO_NULL) {
    delete dec->engine;
    dec->engine = nullptr;
  }
  return result;
}

void Finalize(GObject* object) {
  SynthDec* dec = KELVO_SYNTH_DEC(object);
  delete dec->engine;
  dec->engine = nullptr;
  G_OBJECT_CLASS(synth_dec_parent_class)->finalize(object);
}

void synth_dec_class_init(SynthDecClass* klass) {
  GstElementClass* element = GST_ELEMENT_CLASS(klass);
  gst_element_class_add_static_pad_template(element, &sinkTemplate);
  gst_element_class_add_static_pad_template(element, &srcTemplate);
  gst_element_class_set_static_metadata(element, "kelvo MIDI synthesizer", "Codec/Decoder/Audio",
                                        "MIDI events played on the process's one FluidSynth",
                                        "kelvo developers");
  element->change_state = ChangeState;
  G_OBJECT_CLASS(klass)->finalize = Finalize;
}

void synth_dec_init(SynthDec* dec) {
  dec->sinkpad = gst_pad_new_from_static_template(&sinkTemplate, "sink");
  gst_pad_set_chain_function(dec->sinkpad, Chain);
  gst_pad_set_event_function(dec->sinkpad, SinkEvent);
  gst_element_add_pad(GST_ELEMENT(dec), dec->sinkpad);
  dec->srcpad = gst_pad_new_from_static_template(&srcTemplate, "src");
  gst_pad_use_fixed_caps(dec->srcpad);
  gst_element_add_pad(GST_ELEMENT(dec), dec->srcpad);
  dec->engine = nullptr;
  dec->generation = 0;
  dec->lastPts = GST_CLOCK_TIME_NONE;
  dec->lastSample = 0;
  dec->discont = FALSE;
}

}  // namespace

bool RegisterSharedSynthDecoder() {
  static const bool registered = [] {
    // Above fluiddec (secondary) and every other MIDI decoder.
    return gst_element_register(nullptr, "kelvosynthdec", GST_RANK_PRIMARY + 1,
                                synth_dec_get_type()) == TRUE;
  }();
  return registered;
}

void SetSharedSynthFont(const std::string& path) {
  Synth& s = TheSynth();
  std::lock_guard lock(s.mutex);
  s.wantedFont = path;
}

bool PrepareSharedSynth() {
  if (!Fluid()) return false;
  Synth& s = TheSynth();
  std::unique_lock lock(s.mutex);
  return AcquireLocked(s, lock) != nullptr;
}

bool SharedSynthHolds(const std::string& path) {
  Synth& s = TheSynth();
  std::lock_guard lock(s.mutex);
  return s.engine && !s.loading && s.font == path;
}

int SharedSynthLoadCount() {
  Synth& s = TheSynth();
  std::lock_guard lock(s.mutex);
  return s.loads;
}

}  // namespace kelvo
