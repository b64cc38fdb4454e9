#include "frame/preferences.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include <functional>
#include <memory>
#include <vector>

#include "components/settings_store.h"
#include "frame/app_state.h"
#include "frame/settings.h"
#include "frame/working_folders.h"
#include "support/accessibility.h"
#include "support/test_support.h"

namespace lumaset::test {
namespace {

class PreferencesModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    file_ = freshFolder(QStringLiteral("prefs")) + QStringLiteral("/Lumaset.conf");
    settings_ = std::make_unique<SettingsStore>(QStringLiteral("Lumaset"), file_);
    environment_ = {true, true, {QStringLiteral("/media/me/Card/")}};
  }
  PreferencesModel& load(const QString& midiFolder = {}) {
    model_ = std::make_unique<PreferencesModel>(options_);
    model_->Load(*settings_, midiFolder, environment_);
    return *model_;
  }
  // What the settings file holds, read as the next start would.
  QString stored(const QString& key) const {
    return SettingsStore(QStringLiteral("Lumaset"), file_).readSetting(key, "unset");
  }

  QString file_;
  std::unique_ptr<SettingsStore> settings_;
  Options options_;
  PreferencesEnvironment environment_;
  std::unique_ptr<PreferencesModel> model_;
};

TEST_F(PreferencesModelTest, LoadShowsTheSettingsAndKeepsSlidersInRange) {
  settings_->writeSetting(QStringLiteral("GenOpen"), QStringLiteral("true"));  // only "True" counts
  options_.ssTime = 61;
  options_.imageRes = 99;
  options_.jpegDpi = 600;
  options_.jpegQuality = 150;
  options_.thumbSize = 7;
  options_.camera = QStringLiteral("Nikon");
  options_.downloadDrive = QStringLiteral("/media/me/Card/");
  environment_.waveDevice = false;
  environment_.midiDevice = false;
  options_.genSound = true;

  const PreferencesControls& c = load().controls();
  EXPECT_FALSE(c.open);
  EXPECT_FALSE(c.sound);
  EXPECT_FALSE(c.soundEnabled);
  EXPECT_FALSE(c.musicEnabled);
  EXPECT_EQ(c.interval, 10);  // out of range: the slider keeps its designed value
  EXPECT_EQ(c.resolution, 400);
  EXPECT_EQ(c.dpi, 600);
  EXPECT_EQ(options_.jpegQuality, 100);  // clamped in memory
  EXPECT_EQ(c.quality, 100);
  EXPECT_EQ(c.thumbLabel, QStringLiteral("2.0 inch size for thumbnail layout"));
  EXPECT_EQ(QLatin1String(kCameraNames[static_cast<std::size_t>(c.camera)]), u"Nikon");
  EXPECT_EQ(c.drive, 0);
  EXPECT_TRUE(c.fastPrint);  // "FastPrint" defaults to 1
  EXPECT_FALSE(c.scanShow);
  EXPECT_FALSE(c.scanShowEnabled) << "no scanner library, no scan interface choice";
  EXPECT_FALSE(model_->applyEnabled());
  environment_.scanner = true;
  EXPECT_TRUE(load().controls().scanShowEnabled);
}

TEST_F(PreferencesModelTest, UnitSwitchConvertsByTwoAndStaysOnCancel) {
  struct Case { const char* from; float thumb, width; bool toInches; float thumbAfter, widthAfter; };
  for (const Case& t : {Case{"Inches", 1.7F, 3.5F, false, 3.4F, 7.0F},
                        Case{"Centimeters", 5.0F, 4.0F, true, 2.0F, 2.0F}}) {
    options_ = Options();
    options_.scaleType = QLatin1String(t.from);
    options_.thumbSize = t.thumb;
    options_.layOutWidth = t.width;
    load().ChooseUnit(t.toInches);
    EXPECT_FLOAT_EQ(options_.thumbSize, t.thumbAfter) << t.from << t.thumb;
    EXPECT_FLOAT_EQ(options_.layOutWidth, t.widthAfter) << t.from << t.width;
    EXPECT_EQ(IsInches(options_.scaleType), t.toInches);
    EXPECT_TRUE(model_->requests().pageRedraw);
  }
  EXPECT_EQ(stored(QStringLiteral("ScaleType")), u"unset");
}

TEST_F(PreferencesModelTest, UpDownsStepWithinTheUnitsRange) {
  struct Case { const char* unit; bool thumbnail; float start; bool up; const char* label; };
  const Case cases[] = {
      {"Inches", true, 1.0F, true, "1.1 inch size for thumbnail layout"},
      {"Inches", true, 2.0F, true, "2.0 inch size for thumbnail layout"},
      {"Inches", true, 1.2F, false, "1.1 inch size for thumbnail layout"},
      {"Centimeters", true, 4.8F, true, "5.0 cm size for thumbnail layout"},
      {"Inches", false, 2.0F, false, "2.0 inch default width for layouts"},
      {"Inches", false, 3.5F, true, "4.0 inch default width for layouts"},
      {"Centimeters", false, 20.0F, true, "20.0 cm default width for layouts"},
      {"Centimeters", false, 7.0F, false, "6.0 cm default width for layouts"}};
  for (const Case& t : cases) {
    options_ = Options();
    options_.scaleType = QLatin1String(t.unit);
    (t.thumbnail ? options_.thumbSize : options_.layOutWidth) = t.start;
    PreferencesModel& model = load();
    t.thumbnail ? model.StepThumbSize(t.up) : model.StepLayoutWidth(t.up);
    EXPECT_EQ(t.thumbnail ? model.controls().thumbLabel : model.controls().widthLabel,
              QLatin1String(t.label));
    EXPECT_TRUE(model.applyEnabled());
    EXPECT_EQ(model.requests().pageRedraw, !t.thumbnail);  // both ways for the width
  }
}

TEST(PreferencesTexts, QualityBandsDrivesMidiFolderAndRelayout) {
  const QString low = QStringLiteral("Highest compression, low quality");
  const QString standard = QStringLiteral("High compression, standard quality");
  const QString high = QStringLiteral("Moderate compression, high quality");
  const QString superHigh = QStringLiteral("Low compression, super-high quality");
  const QList<std::pair<int, QString>> bands{{1, low},   {19, low},       {20, standard},
                                             {50, standard}, {51, high},  {80, high},
                                             {81, superHigh}, {100, superHigh}};
  for (const auto& [quality, band] : bands) EXPECT_EQ(JpegQualityBand(quality), band) << quality;

  // Every drive but a fixed disk is offered, in the drives' order, as its path.
  QList<Drive> drives{{QStringLiteral("/"), {}, DriveKind::Fixed},
                      {QStringLiteral("/mnt/net/"), {}, DriveKind::Remote},
                      {QStringLiteral("/home/"), {}, DriveKind::Fixed},
                      {QStringLiteral("/media/cd/"), {}, DriveKind::CdRom},
                      {QStringLiteral("/mnt/ram/"), {}, DriveKind::RamDisk}};
  for (int i = 0; i < 12; ++i)
    drives.append({QStringLiteral("/media/me/card%1/").arg(i), {}, DriveKind::Removable});
  const QStringList offered = DownloadDrives(drives);
  ASSERT_EQ(offered.size(), kMaxDownloadDrives);
  EXPECT_EQ(offered.mid(0, 4), (QStringList{QStringLiteral("/mnt/net/"), QStringLiteral("/media/cd/"), QStringLiteral("/mnt/ram/"),
                                           QStringLiteral("/media/me/card0/")}));

  EXPECT_EQ(MidiFolderName({}), u"None");
  EXPECT_EQ(MidiFolderName(QStringLiteral("/home/me/Music/")), u"Music");
  EXPECT_EQ(MidiFolderName(QStringLiteral("/")), u"/");

  Options options;  // the meter off, the tree on
  options.memDisplay = false;
  EXPECT_FALSE(RelayoutNeeded(options, false, true));
  EXPECT_TRUE(RelayoutNeeded(options, true, true));
  EXPECT_TRUE(RelayoutNeeded(options, false, false));
}

TEST_F(PreferencesModelTest, EveryEditEnablesApply) {
  PreferencesModel& model = load();
  for (const auto& edit : std::vector<std::function<void()>>{[&] { model.Set(&PreferencesControls::interval, 30); },
                                                             [&] { model.Set(&PreferencesControls::camera, 4); },
                                                             [&] { model.Set(&PreferencesControls::serial, true); },
                                                             [&] { model.MidiFolderChosen(QStringLiteral("/m/")); }}) {
    model.Apply(*settings_, {});
    EXPECT_FALSE(model.applyEnabled());
    edit();
    EXPECT_TRUE(model.applyEnabled());
  }
}

TEST_F(PreferencesModelTest, ApplyTakesTheControlsAndRaisesRequests) {
  options_.gridType = 3;  // neither spacing: the chosen one is taken all the same
  options_.disableScreenSaver = false;
  PreferencesModel& model = load();
  model.Set(&PreferencesControls::large, true);
  model.Set(&PreferencesControls::coarse, true);
  model.Set(&PreferencesControls::screenSaverOff, true);
  model.Set(&PreferencesControls::music, true);
  model.Set(&PreferencesControls::camera, 6);
  model.Set(&PreferencesControls::drive, 0);
  model.Set(&PreferencesControls::least, false);
  const PreferencesModel::Applied applied = model.Apply(*settings_, {});

  EXPECT_EQ(options_.gridType, 1);
  EXPECT_TRUE(model.requests().thumbResize);
  EXPECT_TRUE(model.requests().pageRedraw);
  EXPECT_EQ(applied.screenSaverActive, std::optional<bool>(false));
  EXPECT_FALSE(options_.ssMidi);  // no folder to play from
  EXPECT_EQ(stored(QStringLiteral("SSMidiFolder")), u"unset");
  EXPECT_EQ(stored(QStringLiteral("Camera")), u"Nikon");
  EXPECT_EQ(stored(QStringLiteral("Camera Connection")), u"USB");
  EXPECT_EQ(stored(QStringLiteral("Download Drive")), u"/media/me/Card/");
  EXPECT_EQ(stored(QStringLiteral("Reduce")), u" 640");

  model.Set(&PreferencesControls::screenSaverOff, false);
  EXPECT_EQ(model.Apply(*settings_, {}).screenSaverActive, std::optional<bool>(true));
}

// The real dialog, end to end: it opens on the tab asked for, takes the
// user's clicks and writes the settings file on OK.
TEST(PreferencesDialogTest, OkStoresWhatTheUserChanged) {
  const QString folder = freshFolder(QStringLiteral("prefs-dialog"));
  const QString file = folder + QStringLiteral("/Lumaset.conf");
  SettingsStore settings(QStringLiteral("Lumaset"), file);
  Options options;
  WorkingFolders folders;
  QStringList played;
  int helpContext = 0;
  PreferencesHooks hooks;
  hooks.environment = {true, true, {QStringLiteral("/media/me/Card/")}};
  hooks.playSound = [&](Sound sound, Wait wait) {
    played << QStringLiteral("%1%2").arg(static_cast<int>(sound)).arg(wait == Wait::Yes ? "w" : "");
  };
  hooks.showHelp = [&](int context) { helpContext = context; };
  hooks.pickMidiFolder = [&] {
    folders.midi = QStringLiteral("/home/me/Tunes/");
    return true;
  };

  PreferencesDialog dialog({options, folders, settings, QStringLiteral("Tavrin Lumaset"), folder},
                           hooks, static_cast<int>(PreferencesTab::Download));
  const auto child = [&](const char* name) { return dialog.findChild<QWidget*>(name); };
  EXPECT_EQ(dialog.findChild<QTabWidget*>(QStringLiteral("SSTab1"))->currentIndex(), 2);
  EXPECT_EQ(test::AccessibilityProblems(&dialog), QStringList());
  EXPECT_EQ(played, QStringList{QStringLiteral("2")});  // OPEN

  static_cast<QRadioButton*>(child("optNikon"))->click();
  static_cast<QRadioButton*>(child("optSerial"))->click();
  static_cast<QRadioButton*>(child("optDrive0"))->click();
  EXPECT_EQ(static_cast<QRadioButton*>(child("optDrive0"))->text(), u"/media/me/Card/");
  static_cast<QSlider*>(child("Slider1"))->setValue(25);
  EXPECT_EQ(static_cast<QLabel*>(child("Label1"))->text(), u"Interval: 25 s");
  static_cast<QCheckBox*>(child("chkMidi"))->click();
  EXPECT_TRUE(child("cmdMidi")->isEnabled());
  static_cast<QPushButton*>(child("cmdMidi"))->click();
  EXPECT_EQ(static_cast<QLabel*>(child("labMidiDir"))->text(), u"Tunes");
  static_cast<QRadioButton*>(child("optCM"))->click();
  EXPECT_EQ(static_cast<QLabel*>(child("labPreview"))->text(), u"7.0 cm default width for layouts");
  child("udThumb")->findChild<QToolButton*>(QStringLiteral("up"))->click();
  EXPECT_EQ(static_cast<QLabel*>(child("labThumb"))->text(), u"2.2 cm size for thumbnail layout");
  static_cast<QSlider*>(child("Slider3"))->setValue(40);
  EXPECT_EQ(child("Slider3")->toolTip(), u"High compression, standard quality");
  static_cast<QPushButton*>(child("cmdHelp"))->click();
  EXPECT_EQ(helpContext, 21);

  static_cast<QPushButton*>(child("cmdOK"))->click();
  EXPECT_EQ(played.last(), QStringLiteral("3w"));  // CLOSE, waited for
  const SettingsStore written(QStringLiteral("Lumaset"), file);
  QStringList stored;
  for (const char* key : {"Camera", "Camera Connection", "Download Drive", "SSTime", "SSMidi", "SSMidiFolder",
                          "ScaleType", "ThumbSize", "JpegQuality"})
    stored << written.readSetting(QLatin1String(key), "unset");
  EXPECT_EQ(stored, (QStringList{"Nikon", "Serial", "/media/me/Card/", "25", "True", "/home/me/Tunes/", "Centimeters",
                                 "2.2", "40"}));
}

// A screen reader ticks boxes and chooses options without a click; each is
// an edit all the same, and its sliders and up-downs say what they set.
TEST(PreferencesDialogTest, ToggleFromCodeIsAnEdit) {
  const QString file = freshFolder(QStringLiteral("prefs-toggle")) + QStringLiteral("/Lumaset.conf");
  SettingsStore settings(QStringLiteral("Lumaset"), file);
  Options options;
  options.genSave = true;
  WorkingFolders folders;
  PreferencesDialog dialog({options, folders, settings, QStringLiteral("Tavrin Lumaset"), {}}, {}, 0);
  const auto child = [&](const char* name) { return dialog.findChild<QWidget*>(name); };
  static_cast<QCheckBox*>(child("chkOpen"))->setChecked(true);
  EXPECT_TRUE(child("cmdApply")->isEnabled());
  static_cast<QRadioButton*>(child("optCM"))->setChecked(true);
  EXPECT_EQ(static_cast<QLabel*>(child("labPreview"))->text(), u"7.0 cm default width for layouts");
  static_cast<QCheckBox*>(child("chkAuto"))->setChecked(true);
  EXPECT_TRUE(child("Slider1")->isEnabled());
  for (int tab = 0; tab < 4; ++tab) {
    dialog.findChild<QTabWidget*>(QStringLiteral("SSTab1"))->setCurrentIndex(tab);
    EXPECT_EQ(test::AccessibilityProblems(&dialog), QStringList()) << "tab " << tab;
  }

  static_cast<QPushButton*>(child("cmdOK"))->click();
  const SettingsStore written(QStringLiteral("Lumaset"), file);
  EXPECT_EQ(written.readSetting(QStringLiteral("GenOpen"), "unset"), u"True");
  EXPECT_EQ(written.readSetting(QStringLiteral("ScaleType"), "unset"), u"Centimeters");
  EXPECT_EQ(written.readSetting(QStringLiteral("SSAuto"), "unset"), u"True");
}

// Tab reaches a group of options at its chosen one, so that Space there
// changes nothing.
TEST(PreferencesDialogTest, TabLandsOnTheChosenOption) {
  const QString file = freshFolder(QStringLiteral("prefs-tab")) + QStringLiteral("/Lumaset.conf");
  SettingsStore settings(QStringLiteral("Lumaset"), file);
  Options options;
  options.scaleType = QStringLiteral("Centimeters");
  WorkingFolders folders;
  PreferencesDialog dialog({options, folders, settings, QStringLiteral("Tavrin Lumaset"), {}}, {},
                           static_cast<int>(PreferencesTab::System));
  dialog.show();
  dialog.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog)) << "the preferences never became the active window";
  const auto child = [&](const char* name) { return dialog.findChild<QWidget*>(name); };

  child("chkProg")->setFocus(Qt::TabFocusReason);
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), child("optCM"));
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
  EXPECT_TRUE(static_cast<QRadioButton*>(child("optCM"))->isChecked());
  EXPECT_FALSE(child("cmdApply")->isEnabled());
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);  // and leaves the group
  EXPECT_NE(QApplication::focusWidget(), child("optIN"));
}

// The marks under a slider stand under the values they name, across its
// whole width, however wide the dialog is.
TEST(PreferencesDialogTest, SliderMarksStandUnderTheirValues) {
  const QString file = freshFolder(QStringLiteral("prefs-marks")) + QStringLiteral("/Lumaset.conf");
  SettingsStore settings(QStringLiteral("Lumaset"), file);
  Options options;
  WorkingFolders folders;
  PreferencesDialog dialog({options, folders, settings, QStringLiteral("Tavrin Lumaset"), {}}, {}, 1);
  dialog.resize(700, 500);
  dialog.show();
  QCoreApplication::processEvents();
  const QWidget* slider = dialog.findChild<QWidget*>(QStringLiteral("Slider1"));
  const QWidget* scale = dialog.findChild<QWidget*>(QStringLiteral("Label2"));
  const auto centreOf = [&](const QString& mark) {
    for (const QLabel* label : scale->findChildren<QLabel*>())
      if (label->text() == mark) return label->mapTo(&dialog, label->rect().center()).x();
    return -1;
  };
  const int sliderMiddle = slider->mapTo(&dialog, slider->rect().center()).x();
  EXPECT_NEAR(centreOf(QStringLiteral("30")), sliderMiddle, 12);
  EXPECT_GT(centreOf(QStringLiteral("60 s")), sliderMiddle + slider->width() * 2 / 5);
}

// The main window's way in: the requests come back once the dialog closes.
TEST(ShowPreferencesTest, ReturnsTheRequestsOfTheClosedDialog) {
  AppState app(LocateProgramFolders());
  app.options.genLarge = false;
  app.options.memDisplay = false;
  QTimer::singleShot(0, [] {
    for (QWidget* window : QApplication::topLevelWidgets()) {
      auto* dialog = qobject_cast<PreferencesDialog*>(window);
      if (!dialog) continue;
      EXPECT_EQ(dialog->findChild<QTabWidget*>()->currentIndex(), 3);
      dialog->findChild<QCheckBox*>(QStringLiteral("chkLarge"))->click();
      dialog->findChild<QCheckBox*>(QStringLiteral("chkMem"))->click();
      dialog->findChild<QPushButton*>(QStringLiteral("cmdOK"))->click();
    }
  });
  const PreferencesResult result =
      ShowPreferences(nullptr, app, {}, PreferencesTab::System);
  EXPECT_TRUE(result.thumbResizeNeeded);
  EXPECT_TRUE(!result.pageRedrawNeeded);
  EXPECT_TRUE(result.relayoutMayBeNeeded);
  EXPECT_TRUE(app.options.genLarge);
  EXPECT_EQ(app.settings().readSetting(QStringLiteral("MemDisplay"), "unset"), u"True");
}

}  // namespace
}  // namespace lumaset::test
