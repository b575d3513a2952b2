#pragma once
// An event loop on GLib's default main context, for programs without a
// window toolkit (tests, benchmarks, small tools). The GStreamer device
// delivers its bus messages through the same context, so a program that runs
// this loop on its main thread gets the device's notices there.

#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "core/platform.h"

typedef struct _GSource GSource;

namespace kelvo {

class GlibEventLoop : public IEventLoop {
 public:
  GlibEventLoop();
  ~GlibEventLoop() override;
  GlibEventLoop(const GlibEventLoop&) = delete;
  GlibEventLoop& operator=(const GlibEventLoop&) = delete;

  // Runs the messages posted before the call and the GLib events that are
  // ready, without blocking.
  void ProcessMessages() override;
  // A one-shot timer on the default main context; ids are never 0.
  TimerId StartTimer(int milliseconds, std::function<void()> callback) override;
  // Nothing when the timer has fired or was cancelled already.
  void CancelTimer(TimerId id) override;
  // May be called from any thread; `message` runs on the thread that runs
  // the loop, in the order of posting.
  void Post(std::function<void()> message) override;

  // Runs the loop until `done` returns true or `timeoutMs` has passed;
  // returns the last answer of `done`. `done` is checked at least every few
  // milliseconds, so it may watch state that other threads change.
  bool RunUntil(const std::function<bool()>& done, int timeoutMs);

 private:
  struct Timer;
  static int OnPosted(void* self);
  static int OnTimer(void* timer);
  void RunPosted();

  std::mutex postedMutex_;
  std::deque<std::function<void()>> posted_;
  GSource* postedSource_ = nullptr;
  std::map<TimerId, std::unique_ptr<Timer>> timers_;
};

}  // namespace kelvo
