#include "playback/gst/glib_event_loop.h"

#include <glib.h>

#include <chrono>

namespace kelvo {

struct GlibEventLoop::Timer {
  GlibEventLoop* loop = nullptr;
  guint source = 0;
  std::function<void()> callback;
};

GlibEventLoop::GlibEventLoop() = default;

GlibEventLoop::~GlibEventLoop() {
  for (auto& [id, timer] : timers_) g_source_remove(timer->source);
  std::lock_guard lock(postedMutex_);
  if (postedSource_) {
    g_source_destroy(postedSource_);
    g_source_unref(postedSource_);
  }
}

void GlibEventLoop::Post(std::function<void()> message) {
  std::lock_guard lock(postedMutex_);
  posted_.push_back(std::move(message));
  if (postedSource_) return;
  // One source drains the whole queue; attaching it wakes the context even
  // when another thread posts while the loop sleeps.
  postedSource_ = g_idle_source_new();
  g_source_set_priority(postedSource_, G_PRIORITY_DEFAULT);
  g_source_set_callback(postedSource_, &GlibEventLoop::OnPosted, this, nullptr);
  g_source_attach(postedSource_, nullptr);
}

int GlibEventLoop::OnPosted(void* self) {
  static_cast<GlibEventLoop*>(self)->RunPosted();
  return G_SOURCE_REMOVE;
}

void GlibEventLoop::RunPosted() {
  std::deque<std::function<void()>> waiting;
  {
    std::lock_guard lock(postedMutex_);
    waiting.swap(posted_);
    if (postedSource_) {
      // The context keeps its own reference while it dispatches.
      g_source_unref(postedSource_);
      postedSource_ = nullptr;
    }
  }
  // A message posted while these run waits for the next dispatch.
  for (auto& message : waiting) message();
}

void GlibEventLoop::ProcessMessages() {
  // Bounded, so that a source that is always ready cannot hold the caller.
  for (int i = 0; i < 1000 && g_main_context_iteration(nullptr, FALSE); ++i) {
  }
}

IEventLoop::TimerId GlibEventLoop::StartTimer(int milliseconds, std::function<void()> callback) {
  auto timer = std::make_unique<Timer>();
  timer->loop = this;
  timer->callback = std::move(callback);
  timer->source = g_timeout_add(static_cast<guint>(milliseconds < 0 ? 0 : milliseconds),
                                &GlibEventLoop::OnTimer, timer.get());
  const TimerId id = timer->source;
  timers_[id] = std::move(timer);
  return id;
}

int GlibEventLoop::OnTimer(void* data) {
  auto* timer = static_cast<Timer*>(data);
  GlibEventLoop* loop = timer->loop;
  const auto it = loop->timers_.find(timer->source);
  if (it == loop->timers_.end()) return G_SOURCE_REMOVE;
  // Forgotten before the call: the callback may start or cancel timers.
  auto callback = std::move(it->second->callback);
  loop->timers_.erase(it);
  if (callback) callback();
  return G_SOURCE_REMOVE;
}

void GlibEventLoop::CancelTimer(TimerId id) {
  const auto it = timers_.find(id);
  if (it == timers_.end()) return;
  g_source_remove(it->second->source);
  timers_.erase(it);
}

bool GlibEventLoop::RunUntil(const std::function<bool()>& done, int timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  // Wakes the blocking iteration now and then, so that `done` is seen even
  // when what it watches does not wake the context.
  const guint tick = g_timeout_add(
      2, [](gpointer) -> gboolean { return G_SOURCE_CONTINUE; }, nullptr);
  bool result = done();
  while (!result && Clock::now() < deadline) {
    g_main_context_iteration(nullptr, TRUE);
    result = done();
  }
  g_source_remove(tick);
  return result;
}

}  // namespace kelvo
