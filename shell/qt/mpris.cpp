#include "shell/qt/mpris.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QFile>
#include <QTimer>
#include <QUrl>
#include <algorithm>

#include "core/text.h"

namespace kelvo {

namespace {

const QString kObjectPath = QStringLiteral("/org/mpris/MediaPlayer2");
const QString kServiceName = QStringLiteral("org.mpris.MediaPlayer2.kelvo");
const QString kPlayerInterface = QStringLiteral("org.mpris.MediaPlayer2.Player");

QDBusObjectPath TrackId(int row) {
  return QDBusObjectPath(QStringLiteral("/org/kelvo/Track/%1").arg(row));
}

QString Decode(const std::string& bytes) {
  return QFile::decodeName(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

QString FileUri(const std::string& path) {
  return QUrl::fromLocalFile(Decode(path)).toString(QUrl::FullyEncoded);
}

}  // namespace

MprisService::MprisService(TFileListForm& form, std::function<void()> raise,
                           std::function<void()> quit, QObject* parent)
    : QObject(parent), form_(form), raise_(std::move(raise)), quit_(std::move(quit)) {
  qDBusRegisterMetaType<QList<QVariantMap>>();
  new MprisRootAdaptor(this);
  new MprisPlayerAdaptor(this);
  new MprisTrackListAdaptor(this);
  new KelvoAdaptor(this);
  qDBusRegisterMetaType<QByteArrayList>();
  lastStatus_ = PlaybackStatus();
  lastMetadata_ = Metadata();
  lastShuffle_ = form_.RandomMenu.Checked;
  lastLoop_ = form_.RepeatMenu.Checked ? QStringLiteral("Playlist") : QStringLiteral("None");
  form_.PlayList.SetObserver([this](const ListChange& change) {
    switch (change.What) {
      case ListChange::Kind::TopRowChanged:
        return;
      case ListChange::Kind::SelectionChanged: {
        // The window moves only when the selection leaves it.
        const int row = form_.PlayList.Row();
        if (row >= windowStart_ && row < windowStart_ + kTrackWindow) return;
        break;
      }
      case ListChange::Kind::CellsChanged:
        // A played mark is no change of the tracks.
        if (change.MarksOnly) return;
        break;
      default:
        break;
    }
    ListChanged();
  });
}

MprisService::~MprisService() {
  form_.PlayList.SetObserver(nullptr);
  if (registered_) {
    auto bus = QDBusConnection::sessionBus();
    bus.unregisterObject(kObjectPath);
    bus.unregisterService(kServiceName);
  }
}

bool MprisService::Register() {
  auto bus = QDBusConnection::sessionBus();
  if (!bus.isConnected()) return false;
  if (!bus.registerObject(kObjectPath, this)) return false;
  if (!bus.registerService(kServiceName)) {
    bus.unregisterObject(kObjectPath);
    return false;
  }
  registered_ = true;
  return true;
}

QString MprisService::PlaybackStatus() const {
  return form_.PlayStatus.Caption == "再生中:" ? QStringLiteral("Playing")
                                               : QStringLiteral("Stopped");
}

QVariantMap MprisService::Metadata() const {
  const std::string& path = form_.CurrentFileName.Hint;
  if (path.empty())
    return {{QStringLiteral("mpris:trackid"),
             QVariant::fromValue(QDBusObjectPath("/org/mpris/MediaPlayer2/TrackList/NoTrack"))}};
  QVariantMap metadata{
      {QStringLiteral("mpris:trackid"), QVariant::fromValue(TrackId(form_.PlayList.Row()))},
      {QStringLiteral("xesam:url"), FileUri(path)},
      {QStringLiteral("xesam:title"), Decode(FileNamePart(path))},
  };
  if (form_.CurrentLength >= 0)
    metadata.insert(QStringLiteral("mpris:length"), qlonglong(form_.CurrentLength * 1000));
  return metadata;
}

qlonglong MprisService::Position() const {
  if (PlaybackStatus() != QStringLiteral("Playing")) return 0;
  const auto position = form_.MediaPlayer1.Position();
  return position ? qlonglong(*position * 1000) : 0;
}

bool MprisService::CanSeek() const {
  return PlaybackStatus() == QStringLiteral("Playing") && form_.MediaPlayer1.CanSeek();
}

bool MprisService::SeekTo(qlonglong microseconds) {
  if (!CanSeek()) return false;
  if (!form_.MediaPlayer1.Seek(std::max<qlonglong>(0, microseconds) / 1000)) return false;
  if (auto* adaptor = findChild<MprisPlayerAdaptor*>()) emit adaptor->Seeked(Position());
  return true;
}

int MprisService::WindowStartFor(int row) const {
  const int rows = form_.PlayList.RowCount();
  const int start = std::max(0, row) - kTrackWindow / 2;
  return std::clamp(start, 0, std::max(0, rows - kTrackWindow));
}

QList<QDBusObjectPath> MprisService::Tracks() const {
  QList<QDBusObjectPath> tracks;
  if (form_.PlayList.IsEmpty()) return tracks;
  const int end = std::min(form_.PlayList.RowCount(), windowStart_ + kTrackWindow);
  tracks.reserve(end - windowStart_);
  for (int r = windowStart_; r < end; ++r) tracks.append(TrackId(r));
  return tracks;
}

QVariantMap MprisService::TrackMetadata(int row) const {
  const std::string path(form_.PlayList.Path(row));
  return {
      {QStringLiteral("mpris:trackid"), QVariant::fromValue(TrackId(row))},
      {QStringLiteral("xesam:url"), FileUri(path)},
      {QStringLiteral("xesam:title"), Decode(FileNamePart(path))},
  };
}

int MprisService::RowOfTrack(const QDBusObjectPath& track) const {
  const QString prefix = QStringLiteral("/org/kelvo/Track/");
  const QString path = track.path();
  if (!path.startsWith(prefix)) return -1;
  bool ok = false;
  const int row = path.mid(prefix.size()).toInt(&ok);
  return ok && row >= 0 && row < form_.PlayList.RowCount() ? row : -1;
}

void MprisService::Changed(FormElement element) {
  QVariantMap changed;
  if (element == FormElement::PlayStatus || element == FormElement::Title) {
    const auto status = PlaybackStatus();
    if (status != lastStatus_)
      changed.insert(QStringLiteral("PlaybackStatus"), lastStatus_ = status);
  }
  if (element == FormElement::CurrentFileName || element == FormElement::PlayStatus) {
    const auto metadata = Metadata();
    if (metadata != lastMetadata_)
      changed.insert(QStringLiteral("Metadata"), lastMetadata_ = metadata);
  }
  if (element == FormElement::Options) {
    if (form_.RandomMenu.Checked != lastShuffle_)
      changed.insert(QStringLiteral("Shuffle"), lastShuffle_ = form_.RandomMenu.Checked);
    const QString loop =
        form_.RepeatMenu.Checked ? QStringLiteral("Playlist") : QStringLiteral("None");
    if (loop != lastLoop_) changed.insert(QStringLiteral("LoopStatus"), lastLoop_ = loop);
  }
  if (!changed.isEmpty()) EmitPropertiesChanged(kPlayerInterface, changed);
}

void MprisService::EmitPropertiesChanged(const QString& interface, const QVariantMap& changed) {
  if (!registered_) return;
  auto signal =
      QDBusMessage::createSignal(kObjectPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                 QStringLiteral("PropertiesChanged"));
  signal << interface << changed << QStringList();
  QDBusConnection::sessionBus().send(signal);
}

void MprisService::ListChanged() {
  // Many edits in a row reach the clients as one replaced list.
  if (trackListDirty_) return;
  trackListDirty_ = true;
  QTimer::singleShot(0, this, [this] {
    trackListDirty_ = false;
    windowStart_ = WindowStartFor(form_.PlayList.Row());
    if (!registered_) return;
    auto* adaptor = findChild<MprisTrackListAdaptor*>();
    if (adaptor) {
      emit adaptor->TrackListReplaced(Tracks(), QDBusObjectPath(TrackId(form_.PlayList.Row())));
    }
  });
}

// ---------------------------------------------------------------- adaptors

MprisRootAdaptor::MprisRootAdaptor(MprisService* service)
    : QDBusAbstractAdaptor(service), service_(service) {}

QString MprisRootAdaptor::Identity() const {
  return QString::fromUtf8("オーディオ再生");
}

QStringList MprisRootAdaptor::SupportedMimeTypes() const {
  return {QStringLiteral("audio/x-wav"), QStringLiteral("audio/midi"), QStringLiteral("audio/mpeg"),
          QStringLiteral("video/x-msvideo")};
}

void MprisRootAdaptor::Raise() {
  service_->Raise();
}

void MprisRootAdaptor::Quit() {
  // After the reply has gone out: closing may end the process.
  QTimer::singleShot(0, service_, [service = service_] { service->Quit(); });
}

MprisPlayerAdaptor::MprisPlayerAdaptor(MprisService* service)
    : QDBusAbstractAdaptor(service), service_(service) {}

QString MprisPlayerAdaptor::LoopStatus() const {
  return service_->Form().RepeatMenu.Checked ? QStringLiteral("Playlist") : QStringLiteral("None");
}

void MprisPlayerAdaptor::SetLoopStatus(const QString& status) {
  auto& form = service_->Form();
  const bool repeat = status != QStringLiteral("None");
  if (repeat != form.RepeatMenu.Checked) form.Handle([&] { form.RepeatMenuClick(); });
}

bool MprisPlayerAdaptor::Shuffle() const {
  return service_->Form().RandomMenu.Checked;
}

void MprisPlayerAdaptor::SetShuffle(bool shuffle) {
  auto& form = service_->Form();
  if (shuffle != form.RandomMenu.Checked) form.Handle([&] { form.RandomMenuClick(); });
}

// Play/stop and next go through the application's system-menu hook, as the
// commands of the task bar's menu do.
void MprisPlayerAdaptor::PlayPause() {
  service_->Form().AppWndProc(WM_SYSCOMMAND, SC_PLAYSTOP);
}

void MprisPlayerAdaptor::Next() {
  service_->Form().AppWndProc(WM_SYSCOMMAND, SC_PLAYNEXT);
}

void MprisPlayerAdaptor::Pause() {
  if (service_->PlaybackStatus() == QStringLiteral("Playing")) Stop();
}

void MprisPlayerAdaptor::Stop() {
  auto& form = service_->Form();
  form.Handle([&] { form.ButtonStopClick(); });
}

void MprisPlayerAdaptor::Play() {
  auto& form = service_->Form();
  if (service_->PlaybackStatus() != QStringLiteral("Playing"))
    form.Handle([&] { form.PlaySelected(); });
}

qlonglong MprisPlayerAdaptor::Position() const {
  return service_->Position();
}

bool MprisPlayerAdaptor::CanSeek() const {
  return service_->CanSeek();
}

// A move past the end of the file goes on to the next entry, one before
// its start goes to the start.
void MprisPlayerAdaptor::Seek(qlonglong offset) {
  if (!service_->CanSeek()) return;
  const qlonglong target = service_->Position() + offset;
  const qlonglong length = service_->Form().CurrentLength * 1000;
  if (length > 0 && target >= length) {
    Next();
    return;
  }
  service_->SeekTo(std::max<qlonglong>(0, target));
}

// Only for the track that plays, and only to a place inside it.
void MprisPlayerAdaptor::SetPosition(const QDBusObjectPath& track, qlonglong position) {
  const auto current = service_->Metadata().value(QStringLiteral("mpris:trackid"));
  if (current.value<QDBusObjectPath>() != track || position < 0) return;
  const qlonglong length = service_->Form().CurrentLength * 1000;
  if (length > 0 && position > length) return;
  service_->SeekTo(position);
}

void MprisPlayerAdaptor::OpenUri(const QString& uri) {
  const QUrl url(uri);
  if (!url.isLocalFile()) return;
  auto& form = service_->Form();
  const std::string path = QFile::encodeName(url.toLocalFile()).toStdString();
  form.Handle([&] { form.AddFiles({path}); });
}

KelvoAdaptor::KelvoAdaptor(MprisService* service)
    : QDBusAbstractAdaptor(service), service_(service) {}

void KelvoAdaptor::AddFiles(const QByteArrayList& paths) {
  std::vector<std::string> files;
  for (const QByteArray& path : paths) files.push_back(path.toStdString());
  auto& form = service_->Form();
  form.Handle([&] { form.AddFiles(files); });
  service_->Raise();
}

bool AddFilesToRunningKelvo(const std::vector<std::string>& paths) {
  auto bus = QDBusConnection::sessionBus();
  if (!bus.isConnected() || !bus.interface()->isServiceRegistered(kServiceName)) return false;
  qDBusRegisterMetaType<QByteArrayList>();
  QByteArrayList list;
  for (const auto& path : paths)
    list.append(QByteArray(path.data(), static_cast<qsizetype>(path.size())));
  auto call = QDBusMessage::createMethodCall(
      kServiceName, kObjectPath, QStringLiteral("org.kelvo.Kelvo"), QStringLiteral("AddFiles"));
  call << QVariant::fromValue(list);
  const QDBusMessage reply = bus.call(call, QDBus::Block, 10000);
  return reply.type() == QDBusMessage::ReplyMessage;
}

MprisTrackListAdaptor::MprisTrackListAdaptor(MprisService* service)
    : QDBusAbstractAdaptor(service), service_(service) {}

QList<QVariantMap> MprisTrackListAdaptor::GetTracksMetadata(const QList<QDBusObjectPath>& tracks) {
  QList<QVariantMap> result;
  for (const auto& track : tracks) {
    const int row = service_->RowOfTrack(track);
    if (row >= 0) result.append(service_->TrackMetadata(row));
  }
  return result;
}

void MprisTrackListAdaptor::GoTo(const QDBusObjectPath& track) {
  const int row = service_->RowOfTrack(track);
  if (row < 0) return;
  auto& form = service_->Form();
  form.PlayList.SetRow(row);
  form.Handle([&] { form.PlaySelected(); });
}

}  // namespace kelvo
