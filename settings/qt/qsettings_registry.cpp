#include "settings/qt/qsettings_registry.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>
#include <QString>
#include <QStringList>
#include <memory>
#include <string>

#include "settings/stored_integer.h"

namespace kelvo {

namespace {

class QSettingsRegistry : public IRegistry {
 public:
  bool OpenKey(const std::string& path, bool canCreate) override {
    CloseKey();
    // "\Software\Tessen\kelvo": the last two parts name the organisation and the application.
    const QStringList parts = QString::fromUtf8(path).split('\\', Qt::SkipEmptyParts);
    if (parts.size() < 2) return false;
    auto settings = std::make_unique<QSettings>(parts[parts.size() - 2], parts.last());
    const QFileInfo file(settings->fileName());
    if (!file.exists()) {
      if (!canCreate || !QDir().mkpath(file.absolutePath())) return false;
    }
    if (settings->status() != QSettings::NoError) return false;
    if (canCreate && !settings->isWritable()) return false;
    settings_ = std::move(settings);
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
    // Each value is stored as it is written (QSettings replaces the file
    // whole, under a lock), so a failure names the value that was not stored.
    settings_->sync();
    if (settings_->status() != QSettings::NoError)
      throw ERegistryException("設定値 " + name + " を書き込めません。");
  }

  void CloseKey() override { settings_.reset(); }

 private:
  std::unique_ptr<QSettings> settings_;
};

}  // namespace

RegistryFactory QSettingsRegistryFactory() {
  return [] { return std::make_unique<QSettingsRegistry>(); };
}

}  // namespace kelvo
