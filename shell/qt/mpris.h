#pragma once
// kelvo on the session bus as an MPRIS2 media player
// (org.mpris.MediaPlayer2.kelvo at /org/mpris/MediaPlayer2), so that media
// keys, the desktop's media controls and programs such as playerctl reach it.

#include <QDBusAbstractAdaptor>
#include <QDBusObjectPath>
#include <QObject>
#include <QStringList>
#include <QVariantMap>
#include <functional>

#include "core/platform.h"
#include "shell/file_list_form.h"

namespace kelvo {

class MprisService : public QObject {
  Q_OBJECT

 public:
  // `raise` brings the window to the front, `quit` closes it by the same road
  // as its close box.
  MprisService(TFileListForm& form, std::function<void()> raise, std::function<void()> quit,
               QObject* parent = nullptr);
  ~MprisService() override;

  // Registers the service and the object; false when there is no session bus
  // or the name is taken.
  bool Register();

  // The player changed something the view shows.
  void Changed(FormElement element);

  TFileListForm& Form() { return form_; }
  void Raise() { raise_(); }
  void Quit() { quit_(); }

  QString PlaybackStatus() const;
  QVariantMap Metadata() const;
  // The play's place in microseconds (0 when nothing plays), and a move of
  // it; false when the file cannot be moved in.
  qlonglong Position() const;
  bool CanSeek() const;
  bool SeekTo(qlonglong microseconds);
  // The track list seen from outside: a window of at most kTrackWindow
  // entries around the one selected, so that its cost on the bus stays
  // bounded whatever the size of the list.
  static constexpr int kTrackWindow = 1000;
  QList<QDBusObjectPath> Tracks() const;
  QVariantMap TrackMetadata(int row) const;
  int RowOfTrack(const QDBusObjectPath& track) const;

 private:
  void EmitPropertiesChanged(const QString& interface, const QVariantMap& changed);
  void ListChanged();
  // The first row of the window that holds the selected row best.
  int WindowStartFor(int row) const;

  TFileListForm& form_;
  std::function<void()> raise_;
  std::function<void()> quit_;
  QString lastStatus_;
  QVariantMap lastMetadata_;
  bool lastShuffle_ = false;
  QString lastLoop_;
  bool trackListDirty_ = false;
  int windowStart_ = 0;
  bool registered_ = false;
};

// org.mpris.MediaPlayer2
class MprisRootAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2")
  Q_PROPERTY(bool CanQuit READ CanQuit)
  Q_PROPERTY(bool CanRaise READ CanRaise)
  Q_PROPERTY(bool CanSetFullscreen READ CanSetFullscreen)
  Q_PROPERTY(bool Fullscreen READ Fullscreen)
  Q_PROPERTY(bool HasTrackList READ HasTrackList)
  Q_PROPERTY(QString Identity READ Identity)
  Q_PROPERTY(QString DesktopEntry READ DesktopEntry)
  Q_PROPERTY(QStringList SupportedUriSchemes READ SupportedUriSchemes)
  Q_PROPERTY(QStringList SupportedMimeTypes READ SupportedMimeTypes)

 public:
  explicit MprisRootAdaptor(MprisService* service);
  bool CanQuit() const { return true; }
  bool CanRaise() const { return true; }
  bool CanSetFullscreen() const { return false; }
  bool Fullscreen() const { return false; }
  bool HasTrackList() const { return true; }
  QString Identity() const;
  QString DesktopEntry() const { return QStringLiteral("kelvo"); }
  QStringList SupportedUriSchemes() const { return {QStringLiteral("file")}; }
  QStringList SupportedMimeTypes() const;

 public Q_SLOTS:
  void Raise();
  void Quit();

 private:
  MprisService* service_;
};

// org.mpris.MediaPlayer2.Player
class MprisPlayerAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.Player")
  Q_PROPERTY(QString PlaybackStatus READ PlaybackStatus)
  Q_PROPERTY(QString LoopStatus READ LoopStatus WRITE SetLoopStatus)
  Q_PROPERTY(double Rate READ Rate WRITE SetRate)
  Q_PROPERTY(bool Shuffle READ Shuffle WRITE SetShuffle)
  Q_PROPERTY(QVariantMap Metadata READ Metadata)
  Q_PROPERTY(double Volume READ Volume WRITE SetVolume)
  Q_PROPERTY(qlonglong Position READ Position)
  Q_PROPERTY(double MinimumRate READ Rate)
  Q_PROPERTY(double MaximumRate READ Rate)
  Q_PROPERTY(bool CanGoNext READ CanGoNext)
  Q_PROPERTY(bool CanGoPrevious READ CanGoPrevious)
  Q_PROPERTY(bool CanPlay READ CanPlay)
  Q_PROPERTY(bool CanPause READ CanPause)
  Q_PROPERTY(bool CanSeek READ CanSeek)
  Q_PROPERTY(bool CanControl READ CanControl)

 public:
  explicit MprisPlayerAdaptor(MprisService* service);
  QString PlaybackStatus() const { return service_->PlaybackStatus(); }
  QString LoopStatus() const;
  void SetLoopStatus(const QString& status);
  double Rate() const { return 1.0; }
  void SetRate(double) {}
  bool Shuffle() const;
  void SetShuffle(bool shuffle);
  QVariantMap Metadata() const { return service_->Metadata(); }
  double Volume() const { return 1.0; }
  void SetVolume(double) {}
  qlonglong Position() const;
  bool CanGoNext() const { return true; }
  bool CanGoPrevious() const { return false; }
  bool CanPlay() const { return true; }
  bool CanPause() const { return true; }
  bool CanSeek() const;
  bool CanControl() const { return true; }

 public Q_SLOTS:
  void Next();
  void Previous() {}
  void Pause();
  void PlayPause();
  void Stop();
  void Play();
  void Seek(qlonglong offset);
  void SetPosition(const QDBusObjectPath& track, qlonglong position);
  // A local file (file:// URI) is added as the Add command adds files, and
  // plays when nothing plays.
  void OpenUri(const QString& uri);

 Q_SIGNALS:
  void Seeked(qlonglong position);

 private:
  MprisService* service_;
};

// org.mpris.MediaPlayer2.TrackList
class MprisTrackListAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.mpris.MediaPlayer2.TrackList")
  Q_PROPERTY(QList<QDBusObjectPath> Tracks READ Tracks)
  Q_PROPERTY(bool CanEditTracks READ CanEditTracks)

 public:
  explicit MprisTrackListAdaptor(MprisService* service);
  QList<QDBusObjectPath> Tracks() const { return service_->Tracks(); }
  bool CanEditTracks() const { return false; }

 public Q_SLOTS:
  QList<QVariantMap> GetTracksMetadata(const QList<QDBusObjectPath>& tracks);
  void AddTrack(const QString&, const QDBusObjectPath&, bool) {}
  void RemoveTrack(const QDBusObjectPath&) {}
  void GoTo(const QDBusObjectPath& track);

 Q_SIGNALS:
  void TrackListReplaced(const QList<QDBusObjectPath>& tracks, const QDBusObjectPath& current);

 private:
  MprisService* service_;
};

// org.kelvo.Kelvo: what `kelvo --add` hands to a kelvo that already runs.
class KelvoAdaptor : public QDBusAbstractAdaptor {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kelvo.Kelvo")

 public:
  explicit KelvoAdaptor(MprisService* service);

 public Q_SLOTS:
  // Media files, as the file system's bytes of their absolute paths: added
  // as the Add command adds files; the first plays when nothing plays.
  void AddFiles(const QByteArrayList& paths);

 private:
  MprisService* service_;
};

// Hands media files to a kelvo that already runs in this session; false
// when none runs (or it did not take them).
bool AddFilesToRunningKelvo(const std::vector<std::string>& paths);

// A view that tells the service what changed and passes everything on.
class MprisObservingView : public IFormView {
 public:
  explicit MprisObservingView(IFormView& view) : view_(view) {}
  void SetService(MprisService* service) { service_ = service; }

  void Changed(FormElement element) override {
    view_.Changed(element);
    if (service_) service_->Changed(element);
  }
  int MessageBox(const std::string& text, const std::string& caption, unsigned flags) override {
    return view_.MessageBox(text, caption, flags);
  }
  void FocusPlayList() override { view_.FocusPlayList(); }
  void SetStatusBarVisible(bool visible) override { view_.SetStatusBarVisible(visible); }
  int ScreenWidth() const override { return view_.ScreenWidth(); }
  int ScreenHeight() const override { return view_.ScreenHeight(); }
  TWindowPlacement Placement() const override { return view_.Placement(); }
  void SetPlacement(const TWindowPlacement& p) override { view_.SetPlacement(p); }
  int PlayListFontHeight() const override { return view_.PlayListFontHeight(); }
  void SetDefaultRowHeight(int pixels) override { view_.SetDefaultRowHeight(pixels); }
  unsigned RegisterWindowMessage(const std::string& name) override {
    return view_.RegisterWindowMessage(name);
  }
  void DragAcceptFiles(bool accept) override { view_.DragAcceptFiles(accept); }
  void InstallHintHandler() override { view_.InstallHintHandler(); }
  void Close() override { view_.Close(); }

 private:
  IFormView& view_;
  MprisService* service_ = nullptr;
};

}  // namespace kelvo
