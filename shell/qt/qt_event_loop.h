#pragma once
// The player's event loop on Qt's: waiting messages, single-shot timers that
// can be cancelled, and queued messages, all on the thread of the QObject
// this loop owns (the user-interface thread).

#include <QObject>
#include <exception>
#include <functional>
#include <map>

#include "core/platform.h"

class QTimer;

namespace kelvo {

class QtEventLoop : public IEventLoop {
 public:
  QtEventLoop();
  ~QtEventLoop() override;
  QtEventLoop(const QtEventLoop&) = delete;
  QtEventLoop& operator=(const QtEventLoop&) = delete;

  void ProcessMessages() override;
  // The id is never 0. A timer that fired or was cancelled is gone.
  TimerId StartTimer(int milliseconds, std::function<void()> callback) override;
  void CancelTimer(TimerId id) override;
  // Messages run in the order they were posted, never inside Post itself.
  // Those still waiting when the loop is destroyed are dropped.
  void Post(std::function<void()> message) override;

  // Receives an error that leaves a timer callback or a posted message
  // (Qt cannot carry it out of its event loop). Without a handler the error
  // is dropped.
  void SetErrorHandler(std::function<void(const std::exception&)> handler) {
    errorHandler_ = std::move(handler);
  }

  // Timers started and not yet fired or cancelled.
  std::size_t PendingTimers() const { return timers_.size(); }

 private:
  void Run(const std::function<void()>& callback);

  QObject context_;
  std::map<TimerId, QTimer*> timers_;
  TimerId lastId_ = 0;
  std::function<void(const std::exception&)> errorHandler_;
};

}  // namespace kelvo
