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
    EXPECT_EQ(store.readSetting(QStringLiteral("A"), true), "True");
    EXPECT_EQ(store.readSetting(QStringLiteral("A"), -2160), "-2160");
    EXPECT_EQ(store.readSetting(QStringLiteral("A"), 3.5), "3.5");
    EXPECT_EQ(store.readSetting(QStringLiteral("A"), "Inches"), "Inches");
    store.writeSetting(QStringLiteral("A"), double{1.7F});  // a float's shortest text
    EXPECT_EQ(store.readSetting(QStringLiteral("A"), 0), "1.7");
    EXPECT_EQ(SettingText(-0.25), "-0.25");
    EXPECT_EQ(SettingText(1e20), "1e+20");
    EXPECT_EQ(SettingText(std::numeric_limits<double>::infinity()), "3.4028235e+38");
    EXPECT_EQ(SettingText(std::nan("")), "0");
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
  QFile blocker(folder + QStringLiteral("/sub"));  // a file where the folder should be
  ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
  blocker.close();
  SettingsStore store(QStringLiteral("Lumaset"), folder + QStringLiteral("/sub/s.conf"));
  store.writeSetting(QStringLiteral("GenSave"), false);
  const Status failed = store.sync();
  ASSERT_FALSE(failed.ok());
  EXPECT_TRUE(failed.error().contains(folder + QStringLiteral("/sub")));
  EXPECT_FALSE(store.sync().ok());

  ASSERT_TRUE(blocker.remove());
  store.writeSetting(QStringLiteral("ImageRes"), 350);
  ASSERT_TRUE(store.sync().ok());
  SettingsStore reread(QStringLiteral("Lumaset"), store.filePath());
  EXPECT_EQ(reread.readSetting(QStringLiteral("GenSave"), true), QStringLiteral("False"));
  EXPECT_EQ(reread.readSetting(QStringLiteral("ImageRes"), 0), QStringLiteral("350"));
}

TEST(SettingsStore, ADamagedFileKeepsWhatCanBeReadAndIsRewritten) {
  const QString ini = FreshIni();
  QFile file(ini);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("[Lumaset]\nGenSave=False\nOdd=a, b\n\x01\x02 no equals sign\n[[\n");
  file.close();
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
