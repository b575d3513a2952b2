#pragma once
// Playback control: plays one file at a time on the media device, shows the
// play state, and chains to the next entry when a play ends.

#include <cstdint>
#include <string>

#include "core/player_core.h"
#include "playback/media_device.h"

namespace kelvo {

// Command ids of the application's system menu.
inline constexpr unsigned SC_PLAYSTOP = 1984;
inline constexpr unsigned SC_PLAYNEXT = 2000;

class TPlaybackForm : public TPlayerCore {
 public:
  // Between a failed entry and the next try of the chain.
  static constexpr int kRetryDelayMs = 3000;

  TPlaybackForm(IFormView& view, IEventLoop& loop, IMediaDevice& device, ISystemMenu& systemMenu);
  ~TPlaybackForm() override;

  bool PlayFile(const std::string& path) override;
  void ShowPlayState(bool playing);

  void ButtonPlayClick();
  void ButtonStopClick();
  void ButtonPlayNextClick();
  void ButtonPlayStopClick();
  void PlayListDblClick();
  // A completion notice of the device.
  void MediaPlayer1Notify();

  // True while the chain waits to try the next entry after a failure.
  bool RetryPending() const { return retryTimer_ != 0; }

  IMediaDevice& MediaPlayer1;
  // Length in milliseconds of the file last started, -1 when its start failed.
  std::int64_t CurrentLength = -1;

 protected:
  void SetMediaTimeFormat() override;
  // Ends a retry that is waiting (the stop command, closing the window).
  void CancelRetry();

 private:
  void ChainStep();

  ISystemMenu& systemMenu_;
  IEventLoop::TimerId retryTimer_ = 0;
};

}  // namespace kelvo
