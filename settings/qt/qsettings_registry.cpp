#include "settings/qt/qsettings_registry.h"

#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "settings/stored_integer.h"

namespace kelvo {

namespace {

// A settings file is nine short lines: one far larger is not ours to read.
constexpr qint64 kLargestSettingsFile = 1024 * 1024;

// The per-user file of an organisation and application, where QSettings
// keeps it on this system: $XDG_CONFIG_HOME (or ~/.config)/<org>/<app>.conf.
QString SettingsFile(const QString& organisation, const QString& application) {
  QString base = qEnvironmentVariable("XDG_CONFIG_HOME");
  if (base.isEmpty() || !QDir::isAbsolutePath(base)) base = QDir::homePath() + "/.config";
  return base + '/' + organisation + '/' + application + ".conf";
}

class QSettingsRegistry : public IRegistry {
 public:
  ~QSettingsRegistry() override { Release(); }

  bool OpenKey(const std::string& path, bool canCreate) override {
    Release();
    // "\Software\Tessen\kelvo": the last two parts name the organisation and the application.
    const QStringList parts = QString::fromUtf8(path).split('\\', Qt::SkipEmptyParts);
    if (parts.size() < 2) return false;
    const QString fileName = SettingsFile(parts[parts.size() - 2], parts.last());
    // Looked at before QSettings opens it: a FIFO would block the open, and
    // a device or a link to one (a way to keep nothing) is never replaced
    // by a file. Only a regular file, or none, is the key.
    const std::string native = QFile::encodeName(fileName).toStdString();
    struct stat st {};
    const bool exists = ::stat(native.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) return false;
    bool junk = exists && st.st_size > kLargestSettingsFile;
    if (!exists || junk) {
      if (!canCreate) return false;
      if (!QDir().mkpath(QFileInfo(fileName).absolutePath())) return false;
    }
    // Junk is not read, and is not kept: the values written replace it.
    if (junk && !QFile::remove(fileName)) return false;
    auto settings = std::make_unique<QSettings>(fileName, QSettings::IniFormat);
    // A damaged file holds no settings (the store takes the defaults); at
    // close it is replaced by a clean one.
    const bool damaged = settings->status() == QSettings::FormatError;
    if (damaged && !canCreate) return false;
    if (!damaged && settings->status() != QSettings::NoError) return false;
    if (canCreate && !settings->isWritable()) return false;
    settings_ = std::move(settings);
    fileName_ = fileName;
    return true;
  }

  bool ValueExists(const std::string& name) override {
    return settings_ && settings_->contains(QString::fromStdString(name));
  }

  std::int32_t ReadInteger(const std::string& name) override {
    const QVariant value = settings_ ? settings_->value(QString::fromStdString(name)) : QVariant();
    std::int32_t number = 0;
    // Values read from the file are texts; values this process wrote are
    // held as the numbers they were.
    const bool ok = value.typeId() == QMetaType::QString
                        ? ParseStoredInteger(value.toString().toStdString(), number)
                        : ParseStoredInteger(value.typeId() == QMetaType::Int ||
                                                     value.typeId() == QMetaType::LongLong
                                                 ? std::to_string(value.toLongLong())
                                                 : std::string(),
                                             number);
    if (!ok) throw ERegistryException("設定値 " + name + " のデータ型が正しくありません。");
    return number;
  }

  void WriteInteger(const std::string& name, std::int32_t value) override {
    if (!settings_) throw ERegistryException("設定値 " + name + " を書き込めません。");
    settings_->setValue(QString::fromStdString(name), value);
    written_.emplace_back(QString::fromStdString(name), value);
  }

  // The values written since the key was opened are stored together, in
  // one replacement of the file (QSettings writes it whole, under a lock);
  // a failure names the first of them.
  void CloseKey() override {
    if (!settings_) return;
    auto settings = std::move(settings_);
    const auto written = std::exchange(written_, {});
    if (written.empty()) return;
    settings->sync();
    if (settings->status() == QSettings::FormatError) {
      // The file on disk was damaged (QSettings keeps that first error for
      // good): it is replaced by one that holds just the values written.
      settings.reset();
      if (QFile::remove(fileName_)) {
        settings = std::make_unique<QSettings>(fileName_, QSettings::IniFormat);
        for (const auto& [name, value] : written) settings->setValue(name, value);
        settings->sync();
      }
    }
    if (!settings || settings->status() != QSettings::NoError)
      throw ERegistryException("設定値 " + written.front().first.toStdString() +
                               " を書き込めません。");
  }

 private:
  void Release() {
    written_.clear();
    settings_.reset();
  }

  std::unique_ptr<QSettings> settings_;
  QString fileName_;
  // The values written since the key was opened, in order.
  std::vector<std::pair<QString, std::int32_t>> written_;
};

}  // namespace

RegistryFactory QSettingsRegistryFactory() {
  return [] { return std::make_unique<QSettingsRegistry>(); };
}

}  // namespace kelvo
