#include "playback/playback_control.h"

#include "core/text.h"

namespace kelvo {

TPlaybackForm::TPlaybackForm(IFormView& view, IEventLoop& loop, IMediaDevice& device,
                             ISystemMenu& systemMenu)
    : TPlayerCore(view, loop), MediaPlayer1(device), systemMenu_(systemMenu) {
  MediaPlayer1.SetOnNotify([this] { MediaPlayer1Notify(); });
}

TPlaybackForm::~TPlaybackForm() {
  CancelRetry();
  MediaPlayer1.SetOnNotify(nullptr);
}

void TPlaybackForm::SetMediaTimeFormat() {
  MediaPlayer1.SetTimeFormatMilliseconds();
}

void TPlaybackForm::ShowPlayState(bool playing) {
  std::string item;
  if (playing) {
    SetCaption(PlayStatus, FormElement::PlayStatus, "再生中:");
    item = "停止(&P)";
  } else {
    SetCaption(PlayStatus, FormElement::PlayStatus, "再生停止:");
    SetTitle(std::string(kAppTitle));
    item = "再生(&P)";
  }
  systemMenu_.ModifyItem(SC_PLAYSTOP, item);
}

bool TPlaybackForm::PlayFile(const std::string& path) {
  if (Playing) {
    // Playing is cleared first, so that the notice of the stopped play,
    // handled while the messages run, only shows the stopped state.
    Playing = false;
    MediaPlayer1.SetNotify(false);
    MediaPlayer1.SetWait(true);
    MediaPlayer1.Stop();
    loop_.ProcessMessages();
  }
  const std::string name = FileNamePart(path);
  CurrentFileName.Hint = path;
  SetCaption(CurrentFileName, FormElement::CurrentFileName, name);
  SetTitle(name + " - " + std::string(kAppTitle));
  try {
    MediaPlayer1.SetNotify(false);
    MediaPlayer1.SetWait(true);
    MediaPlayer1.SetFileName(path);
    MediaPlayer1.Open();
    MediaPlayer1.SetNotify(true);
    MediaPlayer1.SetWait(false);
    MediaPlayer1.SetTimeFormatMilliseconds();
    MediaPlayer1.Play();
  } catch (const EMCIDeviceError&) {
    // The start is judged by Error() alone.
  }
  CurrentLength = -1;
  if (MediaPlayer1.Error() != 0) {
    ShowPlayState(false);
    SetCaption(PlayStatus, FormElement::PlayStatus, "エラー:");
    return false;
  }
  Playing = true;
  ShowPlayState(true);
  const auto length = MediaPlayer1.Length();
  CurrentLength = length;
  SetCaption(CurrentFileName, FormElement::CurrentFileName, name + "  " + LengthText(length));
  return true;
}

void TPlaybackForm::ButtonStopClick() {
  CancelRetry();
  if (Playing) {
    Playing = false;
    MediaPlayer1.SetNotify(false);
    MediaPlayer1.SetWait(true);
    MediaPlayer1.Stop();
    MediaPlayer1.SetNotify(false);
    MediaPlayer1.SetWait(true);
    MediaPlayer1.Close();
  }
  ShowPlayState(false);
  view_.FocusPlayList();
}

void TPlaybackForm::ButtonPlayClick() {
  PlaySelected();
  view_.FocusPlayList();
}

void TPlaybackForm::ButtonPlayNextClick() {
  PlayNextEntry(true);
  view_.FocusPlayList();
}

void TPlaybackForm::ButtonPlayStopClick() {
  if (Playing) {
    ButtonStopClick();
  } else {
    PlaySelected();
  }
  view_.FocusPlayList();
}

void TPlaybackForm::PlayListDblClick() {
  PlaySelected();
}

void TPlaybackForm::MediaPlayer1Notify() {
  ShowPlayState(false);
  // The notice of a play the program stopped itself.
  if (!Playing) return;
  // A newer chain takes the place of one that is waiting.
  CancelRetry();
  ChainStep();
}

void TPlaybackForm::ChainStep() {
  if (PlayNextEntry(false)) return;
  if (!RepeatMenu.Checked) {
    const int n = PlayList.RowCount();
    if (RandomMenu.Checked) {
      if (PlayList.MarkedCount() == 0) return;  // the shuffle pass is used up
    } else if (PlayList.Row() >= n - 1) {
      return;  // the last row was tried
    }
  }
  // Wait without blocking the window; the messages keep running meanwhile.
  retryTimer_ = loop_.StartTimer(kRetryDelayMs, [this] {
    retryTimer_ = 0;
    // A file started during the wait ends the chain.
    if (Playing) return;
    ChainStep();
  });
}

void TPlaybackForm::CancelRetry() {
  if (retryTimer_ == 0) return;
  loop_.CancelTimer(retryTimer_);
  retryTimer_ = 0;
}

}  // namespace kelvo
