#include "components/settings_store.h"

#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>
#include <QVariant>

#include <algorithm>
#include <array>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <utility>

namespace lumaset {

namespace {

QString DefaultIniPath(const QString& appName) {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         QLatin1Char('/') + appName + QLatin1Char('/') + appName + QStringLiteral(".conf");
}

Status StatusOf(const QSettings& settings) {
  const QString file = settings.fileName();
  switch (settings.status()) {
    case QSettings::NoError:
      return Status::success();
    case QSettings::AccessError:
      return Error{QStringLiteral("The settings could not be saved in \"%1\". Check that you "
                                  "have the necessary rights in \"%2\".")
                       .arg(file, QFileInfo(file).absolutePath())};
    case QSettings::FormatError:
      return Error{QStringLiteral("The settings file \"%1\" is damaged.").arg(file)};
  }
  return Status::success();
}

}  // namespace

QString SettingText(bool value) {
  return value ? QStringLiteral("True") : QStringLiteral("False");
}

QString SettingText(int value) { return QString::number(value); }

QString SettingText(double value) {
  if (std::isnan(value)) return QStringLiteral("0");
  const auto single = static_cast<float>(std::clamp(value, -double{FLT_MAX}, double{FLT_MAX}));
  // std::to_chars is the one conversion that is both locale-free and shortest.
  std::array<char, 32> buffer{};
  const auto [end, error] = std::to_chars(buffer.data(), buffer.data() + buffer.size(), single);
  if (error != std::errc()) return QStringLiteral("0");
  return QString::fromLatin1(buffer.data(), end - buffer.data());
}

SettingsStore::SettingsStore(QString appName, QString iniPath)
    : appName_(std::move(appName)),
      settings_(std::make_unique<QSettings>(
          iniPath.isEmpty() ? DefaultIniPath(appName_) : std::move(iniPath),
          QSettings::IniFormat)) {}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::filePath() const { return settings_->fileName(); }

QString SettingsStore::qualified(const QString& key) const {
  return appName_ + QLatin1Char('/') + key;
}

QString SettingsStore::readSetting(const QString& key, const QString& defaultText) const {
  const QVariant stored = settings_->value(qualified(key));
  if (!stored.isValid()) return defaultText;
  // An unquoted comma in a hand-edited file makes QSettings read a list; the
  // user meant the whole line.
  if (stored.typeId() == QMetaType::QVariantList || stored.typeId() == QMetaType::QStringList)
    return stored.toStringList().join(QStringLiteral(", "));
  return stored.toString();
}

QString SettingsStore::readSetting(const QString& key, const char* defaultText) const {
  return readSetting(key, QString::fromUtf8(defaultText));
}

QString SettingsStore::readSetting(const QString& key, bool defaultValue) const {
  return readSetting(key, SettingText(defaultValue));
}

QString SettingsStore::readSetting(const QString& key, int defaultValue) const {
  return readSetting(key, SettingText(defaultValue));
}

QString SettingsStore::readSetting(const QString& key, double defaultValue) const {
  return readSetting(key, SettingText(defaultValue));
}

void SettingsStore::writeSetting(const QString& key, const QString& value) {
  settings_->setValue(qualified(key), value);
}

void SettingsStore::writeSetting(const QString& key, const char* value) {
  writeSetting(key, QString::fromUtf8(value));
}

void SettingsStore::writeSetting(const QString& key, bool value) {
  writeSetting(key, SettingText(value));
}

void SettingsStore::writeSetting(const QString& key, int value) {
  writeSetting(key, SettingText(value));
}

void SettingsStore::writeSetting(const QString& key, double value) {
  writeSetting(key, SettingText(value));
}

Status SettingsStore::sync() {
  settings_->sync();
  if (settings_->status() != QSettings::NoError) {
    // QSettings keeps the first trouble it ever met, so a file found damaged
    // when it was read, or an earlier failed write, would hide how this write
    // went. A fresh object on the same file shares the values not yet written
    // (it is made before the old one goes) and tells about this write alone.
    settings_ = std::make_unique<QSettings>(settings_->fileName(), QSettings::IniFormat);
    settings_->sync();
  }
  return StatusOf(*settings_);
}
}  // namespace lumaset
