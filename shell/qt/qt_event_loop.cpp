#include "shell/qt/qt_event_loop.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>
#include <algorithm>

namespace kelvo {

QtEventLoop::QtEventLoop() = default;

QtEventLoop::~QtEventLoop() {
  // The timers are children of context_ and go with it; their callbacks
  // never run after this.
  timers_.clear();
}

void QtEventLoop::ProcessMessages() {
  QCoreApplication::processEvents();
}

IEventLoop::TimerId QtEventLoop::StartTimer(int milliseconds, std::function<void()> callback) {
  const TimerId id = ++lastId_;
  auto* timer = new QTimer(&context_);
  timer->setSingleShot(true);
  timer->setTimerType(Qt::PreciseTimer);
  QObject::connect(timer, &QTimer::timeout, &context_, [this, id, callback = std::move(callback)] {
    const auto it = timers_.find(id);
    if (it == timers_.end()) return;
    it->second->deleteLater();
    timers_.erase(it);
    // The callback may start or cancel timers itself; it is ours by now.
    Run(callback);
  });
  timers_[id] = timer;
  timer->start(std::max(0, milliseconds));
  return id;
}

void QtEventLoop::CancelTimer(TimerId id) {
  const auto it = timers_.find(id);
  if (it == timers_.end()) return;
  it->second->stop();
  it->second->deleteLater();
  timers_.erase(it);
}

void QtEventLoop::Post(std::function<void()> message) {
  QMetaObject::invokeMethod(
      &context_, [this, message = std::move(message)] { Run(message); }, Qt::QueuedConnection);
}

void QtEventLoop::Run(const std::function<void()>& callback) {
  try {
    callback();
  } catch (const std::exception& error) {
    if (errorHandler_) errorHandler_(error);
  }
}

}  // namespace kelvo
