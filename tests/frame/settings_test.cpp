#include "frame/settings.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QScopeGuard>

#include <array>
#include <tuple>

#include "components/settings_store.h"
#include "frame/number_from_setting.h"
#include "support/test_support.h"

namespace lumaset::test {

// In number_from_setting_test.cpp.
bool SwitchToGermanLocales();
void RestoreLocales();

namespace {

QString FreshIni() { return freshFolder(QStringLiteral("settings")) + QStringLiteral("/s.conf"); }

// Every member away from its default.
Options Changed() {
  Options o;
  o.genSound = false; o.reopenFolder = true; o.genLarge = true; o.genGrid = false;
  o.gridType = 2; o.printMargin = true; o.thumbSize = 3.4F; o.layOutWidth = 17.5F;
  o.genSave = true; o.genTree = false; o.genClick = true; o.genReduce = true; o.reduce = 640;
  o.ssFadeIn = true; o.ssFadeOut = true; o.ssSound = false; o.ssMidi = true; o.ssKey = true;
  o.ssMouse = true; o.ssAuto = false; o.ssTime = 42; o.camera = QStringLiteral("Nikon");
  o.cameraConnection = QStringLiteral("Serial"); o.downloadDrive = QStringLiteral("/media/cam/");
  o.scaleType = QStringLiteral("Centimeters"); o.imageRes = 512.5F; o.jpegQuality = 7;
  o.jpegDpi = 600; o.memDisplay = true; o.showProgress = false; o.disableScreenSaver = true;
  return o;
}

// The writes of Apply as "key=text,key=text...".
QString Written(const QList<SettingWrite>& writes) {
  QStringList parts;
  for (const SettingWrite& write : writes) parts << write.key + u'=' + write.text;
  return parts.join(u',');
}

// The stored text of one key after loading `text` into it.
QString Reloaded(const char* key, const char* text) {
  SettingsStore store(QStringLiteral("Lumaset"), FreshIni());
  store.writeSetting(QString::fromLatin1(key), text);
  const QString written = Written(OptionsWritesOnApply(LoadOptions(store), false, false, false, {}));
  const QString prefix = u',' + QString::fromLatin1(key) + u'=';
  return written.section(prefix, 1).section(u',', 0, 0);
}

TEST(Settings, EmptyStoreGivesTheDefaultsAndWritesNothing) {
  const QString ini = FreshIni();
  SettingsStore store(QStringLiteral("Lumaset"), ini);
  EXPECT_EQ(LoadOptions(store), Options());
  EXPECT_TRUE(store.sync().ok());
  EXPECT_FALSE(QFileInfo::exists(ini));
  // Every default in the order and the text forms in which Apply stores them.
  EXPECT_EQ(Written(OptionsWritesOnApply(Options(), true, false, false, {})),
            "FastPrint=1,GenOpen=False,GenSave=True,GenLarge=False,GenGrid=True,GridType=1,"
            "PrintMargin=False,ThumbSize=1,LayOutWidth=3.5,GenSound=True,GenTree=True,"
            "GenClick=False,GenReduce=False,Reduce= 1280,SSFadeIn=False,SSFadeOut=False,"
            "SSSound=True,SSMidi=False,SSKey=False,SSMouse=False,SSAuto=True,SSTime=5,Camera=,"
            "Camera Connection=,Download Drive=,ScaleType=Inches,ImageRes=350,JpegQuality=90,"
            "JpegDPI=150,MemDisplay=False,ShowScan=0,ShowProgress=True,DisableScreenSaver=False");
}

TEST(Settings, KeysAreReadInStartUpOrder) {
  QStringList keys;
  for (const SettingKey& entry : SettingsKeys()) keys << entry.key.toString();
  EXPECT_EQ(keys.join(u','),
            "GenSound,GenOpen,GenLarge,GenGrid,GridType,PrintMargin,ThumbSize,LayOutWidth,"
            "GenSave,GenTree,GenClick,GenReduce,Reduce,SSFadeIn,SSFadeOut,SSSound,SSMidi,SSKey,"
            "SSMouse,SSAuto,SSTime,Camera,Camera Connection,Download Drive,ScaleType,ImageRes,"
            "JpegQuality,JpegDPI,MemDisplay,ShowProgress,DisableScreenSaver,FastPrint,ShowScan");
}

TEST(Settings, ApplyThenLoadRoundTripsInEveryLocale) {
  for (const bool german : {false, true}) {
    const auto restore = qScopeGuard(RestoreLocales);
    if (german) SwitchToGermanLocales();
    const QString ini = FreshIni();
    const Options written = Changed();
    {
      SettingsStore store(QStringLiteral("Lumaset"), ini);
      WriteOptionsOnApply(store, written, false, written.reopenFolder, true, QStringLiteral("/m/"));
      ASSERT_TRUE(store.sync().ok());
    }
    SettingsStore store(QStringLiteral("Lumaset"), ini);
    EXPECT_EQ(LoadOptions(store), written) << (german ? "German" : "C");
    EXPECT_EQ((QStringList{store.readSetting("Reduce", QString()), store.readSetting("ThumbSize", QString())}),
              (QStringList{" 640", "3.4"}));
  }
}

TEST(Settings, ApplyWithoutSavingStoresOnlyThreeKeys) {
  Options options = Changed();
  options.genSave = false;
  EXPECT_EQ(Written(OptionsWritesOnApply(options, true, true, true, QStringLiteral("/m/"))),
            "FastPrint=1,GenOpen=True,GenSave=False");

  // The next start sees the earlier stored values, and saving off.
  SettingsStore store(QStringLiteral("Lumaset"), FreshIni());
  WriteOptionsOnApply(store, Options(), true, false, false, {});
  WriteOptionsOnApply(store, options, true, true, true, QStringLiteral("/m/"));
  Options expected;
  expected.genSave = false;
  expected.reopenFolder = true;
  EXPECT_EQ(LoadOptions(store), expected);
}

TEST(Settings, MusicIsStoredOnOnlyWithAFolder) {
  const Options options = Changed();
  EXPECT_TRUE(Written(OptionsWritesOnApply(options, false, false, true, QStringLiteral("/mu/")))
                  .contains(",SSMidi=True,SSMidiFolder=/mu/,SSKey=True,"));
  EXPECT_TRUE(Written(OptionsWritesOnApply(options, false, false, true, {}))
                  .contains(",SSMidi=False,SSKey=True,"));
}

TEST(Settings, OddStoredTextsNeitherCrashNorOverflow) {
  const std::array<const char*, 3> cases[] = {
      {"GridType", "99999999", "32767"}, {"GridType", "-1e30", "-32768"},
      {"SSTime", "2.5", "2"},            {"SSTime", "3.5 s", "4"},
      {"JpegQuality", "junk", "0"},      {"JpegDPI", "1e39", "1000"},
      {"GenGrid", "yes", "True"},        {"GenLarge", "1x", "False"},  // no flag: default kept
      {"GenGrid", " fALSE ", "False"},   {"GenLarge", "TRUE", "True"},
      {"GenGrid", "0.0", "False"},       {"GenLarge", "-2", "True"},
      {"Reduce", "   640", " 640"},      {"Reduce", "True", " 0"},
      {"ThumbSize", "True", "1"},        {"LayOutWidth", "3,5", "3"},
      {"Camera", " Nikon", " Nikon"},
  };
  for (const auto& [key, text, expected] : cases)
    EXPECT_EQ(Reloaded(key, text), QString::fromLatin1(expected)) << key << "=" << text;
}

TEST(Settings, SizesChangeUnitByAFactorOfTwoWithinTheNewRange) {
  struct Conversion { float value; bool toCentimeters; SizeKind kind; float expected; };
  const Conversion cases[] = {
      {3.5F, true, SizeKind::LayoutWidth, 7}, {7, false, SizeKind::LayoutWidth, 3.5F},
      {1, true, SizeKind::Thumbnail, 2},      {2, false, SizeKind::Thumbnail, 1},
      {1.7F, true, SizeKind::Thumbnail, 3.4F}, {18, false, SizeKind::LayoutWidth, 9},
      {3, false, SizeKind::Thumbnail, 1.5F},  {30, true, SizeKind::LayoutWidth, 20},
      {5, false, SizeKind::LayoutWidth, 2.5F}, {2.8F, true, SizeKind::Thumbnail, 5},
      {0.1F, true, SizeKind::LayoutWidth, 4}, {1, false, SizeKind::Thumbnail, 1},
      {10, true, SizeKind::LayoutWidth, 20},  {5, false, SizeKind::Thumbnail, 2},
  };
  for (const Conversion& c : cases) {
    // The preferences read the value back from the label's one-decimal text.
    const float shown = NumberFromSetting(SizeLabelText(c.kind, c.value, !c.toCentimeters));
    EXPECT_FLOAT_EQ(ConvertSizeUnit(shown, c.toCentimeters, c.kind), c.expected) << c.value;
  }
  EXPECT_EQ(SizeLabelText(SizeKind::Thumbnail, 1, true), "1.0 inch size for thumbnail layout");
  EXPECT_EQ(SizeLabelText(SizeKind::LayoutWidth, 1.25F, false), "1.3 cm default width for layouts");
}

TEST(Settings, PreferencesClampSizesByUnitAndTheJpegQuality) {
  Options options;
  std::tie(options.thumbSize, options.layOutWidth, options.jpegQuality, options.jpegDpi) = std::tuple(9, 1, -5, 9999);
  ClampForPreferences(options);
  EXPECT_EQ(std::tie(options.thumbSize, options.layOutWidth, options.jpegQuality, options.jpegDpi),
            std::make_tuple(2.0F, 2.0F, std::int16_t{1}, std::int16_t{9999}));
  options.scaleType = QStringLiteral("inches");  // not exactly "Inches": centimetres
  std::tie(options.thumbSize, options.layOutWidth, options.jpegQuality) = std::tuple(1, 25, 101);
  ClampForPreferences(options);
  EXPECT_EQ(std::tie(options.thumbSize, options.layOutWidth, options.jpegQuality),
            std::make_tuple(2.0F, 20.0F, std::int16_t{100}));
  EXPECT_FALSE(IsInches(QString()));
}

}  // namespace
}  // namespace lumaset::test
