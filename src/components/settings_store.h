#pragma once

// The store that keeps every setting of the program between runs: text values
// under the application name and a key. It is an INI file read and written
// through QSettings, by default ~/.config/Lumaset/Lumaset.conf (the generic
// config location, so XDG_CONFIG_HOME moves it), with one group named after
// the application:
//
//   [Lumaset]
//   GenSave=True
//   Camera%20Connection=USB
//
// Values go in and come out as text; numbers are always written with "." as
// the decimal separator whatever the user's locale, so a file written under
// one locale reads back the same under any other.

#include <QString>

#include <memory>

#include "components/result.h"

class QSettings;

namespace lumaset {

// The text forms in which values are stored.
QString SettingText(bool value);    // "True" or "False"
QString SettingText(int value);     // "-12", "350"
// The shortest text with "." decimals that reads back as the same 32-bit
// float, since every number is read back as one ("3.5", "1.7", "1e+20").
// Values beyond the float range are stored as the largest float of their
// sign; a value that is not a number is stored as "0".
QString SettingText(double value);
// A string literal would otherwise pick the bool form.
QString SettingText(const char*) = delete;

class SettingsStore {
 public:
  // The store of the application `appName` (also its group in the file), in
  // the file `iniPath`, or in the user's config folder when it is empty.
  explicit SettingsStore(QString appName, QString iniPath = {});
  ~SettingsStore();
  SettingsStore(const SettingsStore&) = delete;
  SettingsStore& operator=(const SettingsStore&) = delete;

  // The file that holds the settings.
  QString filePath() const;

  // The key's stored text, or the text form of the default when the key was
  // never written.
  QString readSetting(const QString& key, const QString& defaultText) const;
  QString readSetting(const QString& key, const char* defaultText) const;
  QString readSetting(const QString& key, bool defaultValue) const;
  QString readSetting(const QString& key, int defaultValue) const;
  QString readSetting(const QString& key, double defaultValue) const;

  // Stores the text form of the value. The file itself is written by sync(),
  // and at the latest when the store is destroyed.
  void writeSetting(const QString& key, const QString& value);
  void writeSetting(const QString& key, const char* value);
  void writeSetting(const QString& key, bool value);
  void writeSetting(const QString& key, int value);
  void writeSetting(const QString& key, double value);

  // Writes what was stored to the file now, replacing the old file in one
  // step; reports when the file could not be written or read.
  Status sync();

 private:
  QString qualified(const QString& key) const;

  QString appName_;
  std::unique_ptr<QSettings> settings_;
};

}  // namespace lumaset
