#include "components/settings_store.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QLocale>
#include <QScopeGuard>
#include <QStandardPaths>

#include <cmath>
#include <limits>

#include "support/test_support.h"

namespace lumaset::test {
namespace {

QString FreshIni() { return freshFolder(QStringLiteral("store")) + QStringLiteral("/s.conf"); }

TEST(SettingsStore, TextsAndKeysWithBlanksRoundTripThroughTheFile) {
  const std::pair<QString, QString> values[] = {
      {"Camera Connection", "USB"}, {"Download Drive", "/media/CAM 1/"}, {"Reduce", " 1280"},
      {"Odd", "a, b; c = d # e"},   {"At", "@Variant(0)"},               {"Quotes", "\"x\" \\ y"},
      {"Blanks", "  "},             {"Empty", ""},                       {"Folder", "/home/ü/Фото/"},
      {"Lines", "one\ntwo"},        {"case", "lower"},                   {"Case", "upper"},
  };
  const QString ini = FreshIni();
  {
    SettingsStore store(QStringLiteral("Lumaset"), ini);
    for (const auto& [key, value] : values) store.writeSetting(key, value);
    ASSERT_TRUE(store.sync().ok());
  }
  SettingsStore reread(QStringLiteral("Lumaset"), ini);
  for (const auto& [key, value] : values)
    EXPECT_EQ(reread.readSetting(key, QStringLiteral("missing")), value) << key.toStdString();
}

TEST(SettingsStore, ValuesAndDefaultsTakeTheSameTextFormsInEveryLocale) {
  const auto restore = qScopeGuard([] { QLocale::setDefault(QLocale::c()); });
  for (const QLocale& locale : {QLocale::c(), QLocale(QLocale::German), QLocale(QLocale::Arabic)}) {
    QLocale::setDefault(locale);
    SettingsStore store(QStringLiteral("Lumaset"), FreshIni());
    EXPECT_EQ((QStringList{store.readSetting("A", true), store.readSetting("A", -2160), store.readSetting("A", 3.5),
                           store.readSetting("A", "Inches")}),
              (QStringList{"True", "-2160", "3.5", "Inches"}));
    store.writeSetting(QStringLiteral("A"), double{1.7F});  // a float's shortest text
    EXPECT_EQ(store.readSetting(QStringLiteral("A"), 0), "1.7");
    EXPECT_EQ((QStringList{SettingText(-0.25), SettingText(1e20), SettingText(std::numeric_limits<double>::infinity()),
                           SettingText(std::nan(""))}),
              (QStringList{"-0.25", "1e+20", "3.4028235e+38", "0"}));
  }
}

TEST(SettingsStore, LivesInTheUsersConfigFolder) {
  SettingsStore store(QStringLiteral("Lumaset"));
  EXPECT_EQ(store.filePath(),
            QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                QStringLiteral("/Lumaset/Lumaset.conf"));
  EXPECT_TRUE(store.filePath().startsWith(homeFolder()));  // the test's private home
}

TEST(SettingsStore, SyncReportsAFailedWriteAndKeepsTheValuesForLater) {
  const QString folder = freshFolder(QStringLiteral("blocked"));
  ASSERT_TRUE(WriteText(folder + "/sub", ""));  // a file where the folder should be
  SettingsStore store(QStringLiteral("Lumaset"), folder + QStringLiteral("/sub/s.conf"));
  store.writeSetting(QStringLiteral("GenSave"), false);
  const Status failed = store.sync();
  ASSERT_FALSE(failed.ok());
  EXPECT_TRUE(failed.error().contains(folder + QStringLiteral("/sub")));
  EXPECT_FALSE(store.sync().ok());

  ASSERT_TRUE(QFile::remove(folder + "/sub"));
  store.writeSetting(QStringLiteral("ImageRes"), 350);
  ASSERT_TRUE(store.sync().ok());
  SettingsStore reread(QStringLiteral("Lumaset"), store.filePath());
  EXPECT_EQ(reread.readSetting(QStringLiteral("GenSave"), true), QStringLiteral("False"));
  EXPECT_EQ(reread.readSetting(QStringLiteral("ImageRes"), 0), QStringLiteral("350"));
}

TEST(SettingsStore, ADamagedFileKeepsWhatCanBeReadAndIsRewritten) {
  const QString ini = FreshIni();
  ASSERT_TRUE(WriteText(ini, "[Lumaset]\nGenSave=False\nOdd=a, b\n\x01\x02 no equals sign\n[[\n"));
  SettingsStore store(QStringLiteral("Lumaset"), ini);
  EXPECT_EQ(store.readSetting(QStringLiteral("GenSave"), true), QStringLiteral("False"));
  EXPECT_EQ(store.readSetting(QStringLiteral("Odd"), ""), QStringLiteral("a, b"));
  store.writeSetting(QStringLiteral("GenTree"), true);
  EXPECT_TRUE(store.sync().ok());
  SettingsStore reread(QStringLiteral("Lumaset"), ini);
  EXPECT_EQ(reread.readSetting(QStringLiteral("GenSave"), true), QStringLiteral("False"));
  EXPECT_EQ(reread.readSetting(QStringLiteral("GenTree"), false), QStringLiteral("True"));
}

}  // namespace
}  // namespace lumaset::test
