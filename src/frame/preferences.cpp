#include "frame/preferences.h"

#include <algorithm>
#include <cmath>

#include "components/file_system.h"
#include "components/settings_store.h"
#include "frame/number_from_setting.h"
#include "frame/settings.h"

namespace lumaset {

namespace {

constexpr int kDesignedInterval = 10;
constexpr int kDesignedResolution = 400;
constexpr int kDesignedDpi = 150;

// A slider cannot take a stored value outside its range; it then keeps the
// value it was designed with.
int SliderValue(float value, int low, int high, int designed) {
  if (!(value >= static_cast<float>(low) && value <= static_cast<float>(high))) return designed;
  return static_cast<int>(std::lround(value));
}

}  // namespace

QStringList DownloadDrives(const QList<Drive>& drives) {
  QStringList roots;
  for (const Drive& drive : drives) {
    if (drive.kind == DriveKind::Fixed) continue;
    roots << drive.rootPath;
    if (roots.size() == kMaxDownloadDrives) break;
  }
  return roots;
}

QString JpegQualityBand(int quality) {
  if (quality < 20) return QStringLiteral("Highest compression, low quality");
  if (quality <= 50) return QStringLiteral("High compression, standard quality");
  if (quality <= 80) return QStringLiteral("Moderate compression, high quality");
  return QStringLiteral("Low compression, super-high quality");
}

QString IntervalText(int seconds) { return QStringLiteral("Interval: %1 s").arg(seconds); }
QString ResolutionText(int pixels) { return QStringLiteral("Resolution: (%1 pixels)").arg(pixels); }
QString JpegQualityText(int quality) { return QStringLiteral("JPEG Quality: (%1)").arg(quality); }
QString JpegDpiText(int dotsPerInch) { return QStringLiteral("JPEG DPI: (%1)").arg(dotsPerInch); }

QString MidiFolderName(const QString& folder) {
  if (folder.isEmpty()) return QStringLiteral("None");
  QString name = FileSystemUtility::PathPart(folder, false);
  if (name.size() > 1 && name.endsWith(QLatin1Char('/'))) name.chop(1);
  return name;
}

bool RelayoutNeeded(const Options& options, bool meterVisible, bool treeVisible) {
  return meterVisible != options.memDisplay || treeVisible != options.genTree;
}

// ---------------------------------------------------------------- loading

PreferencesModel::PreferencesModel(Options& options) : options_(options) {}

void PreferencesModel::Load(const SettingsStore& settings, const QString& midiFolder,
                            const PreferencesEnvironment& environment) {
  controls_ = {};
  drives_ = environment.downloadDrives.mid(0, kMaxDownloadDrives);
  LoadGeneral(settings, environment.waveDevice);
  LoadSlideShow(midiFolder, environment.midiDevice);
  LoadDownload();
  LoadSystem(settings);
  controls_.scanShowEnabled = environment.scanner;
  applyEnabled_ = false;
}

void PreferencesModel::LoadGeneral(const SettingsStore& settings, bool waveDevice) {
  const Options& o = options_;
  PreferencesControls& c = controls_;
  c.open = settings.readSetting(QStringLiteral("GenOpen"), "False") == QLatin1String("True");
  c.large = o.genLarge;
  c.grid = o.genGrid;
  c.coarse = o.gridType == 1;
  c.printMargin = o.printMargin;
  c.save = o.genSave;
  c.soundEnabled = waveDevice;
  c.sound = waveDevice && o.genSound;
  c.tree = o.genTree;
  c.click = o.genClick;
  c.reduce = o.genReduce;
  c.least = o.reduce == 1280.0F;

  ClampForPreferences(options_);
  c.inches = IsInches(o.scaleType);
  c.thumbLabel = SizeLabelText(SizeKind::Thumbnail, o.thumbSize, c.inches);
  c.widthLabel = SizeLabelText(SizeKind::LayoutWidth, o.layOutWidth, c.inches);
}

void PreferencesModel::LoadSlideShow(const QString& midiFolder, bool midiDevice) {
  const Options& o = options_;
  PreferencesControls& c = controls_;
  c.fadeIn = o.ssFadeIn;
  c.fadeOut = o.ssFadeOut;
  c.slideSound = o.ssSound;
  c.musicEnabled = midiDevice;
  c.midiFolderName = MidiFolderName(midiFolder);
  c.music = o.ssMidi;
  c.arrowKeys = o.ssKey;
  c.hideMouse = o.ssMouse;
  c.autoChange = o.ssAuto;
  c.interval = SliderValue(o.ssTime, 0, 60, kDesignedInterval);
}

void PreferencesModel::LoadDownload() {
  const Options& o = options_;
  PreferencesControls& c = controls_;
  const auto* camera =
      std::find_if(kCameraNames.begin(), kCameraNames.end(),
                   [&](const char* name) { return o.camera == QLatin1String(name); });
  c.camera = camera == kCameraNames.end() ? -1 : static_cast<int>(camera - kCameraNames.begin());
  c.serial = o.cameraConnection == QLatin1String("Serial");
  c.drive = o.downloadDrive.isEmpty() ? -1 : static_cast<int>(drives_.indexOf(o.downloadDrive));
}

void PreferencesModel::LoadSystem(const SettingsStore& settings) {
  const Options& o = options_;
  PreferencesControls& c = controls_;
  c.memoryMeter = o.memDisplay;
  c.resolution = SliderValue(o.imageRes, 100, 800, kDesignedResolution);
  c.quality = o.jpegQuality;  // clamped to the slider's range with the sizes
  c.dpi = SliderValue(o.jpegDpi, 50, 600, kDesignedDpi);
  c.progress = o.showProgress;
  c.screenSaverOff = o.disableScreenSaver;
  c.scanShow = NumberFromSetting(settings.readSetting(QStringLiteral("ShowScan"), "0")) != 0.0F;
  c.fastPrint = NumberFromSetting(settings.readSetting(QStringLiteral("FastPrint"), "1")) != 0.0F;
}

// ---------------------------------------------------------------- editing

void PreferencesModel::ChooseUnit(bool inches) {
  applyEnabled_ = true;
  if (inches == IsInches(options_.scaleType)) return;
  const bool toCentimeters = !inches;
  options_.thumbSize = ConvertSizeUnit(NumberFromSetting(controls_.thumbLabel), toCentimeters,
                                       SizeKind::Thumbnail);
  options_.layOutWidth = ConvertSizeUnit(NumberFromSetting(controls_.widthLabel), toCentimeters,
                                         SizeKind::LayoutWidth);
  options_.scaleType = inches ? QStringLiteral("Inches") : QStringLiteral("Centimeters");
  controls_.inches = inches;
  controls_.thumbLabel = SizeLabelText(SizeKind::Thumbnail, options_.thumbSize, inches);
  controls_.widthLabel = SizeLabelText(SizeKind::LayoutWidth, options_.layOutWidth, inches);
  requests_.pageRedraw = true;
}

void PreferencesModel::StepSize(QString PreferencesControls::*label, float inchStep,
                                float centimeterStep, bool up, bool thumbnail) {
  const bool inches = controls_.inches;
  const SizeKind kind = thumbnail ? SizeKind::Thumbnail : SizeKind::LayoutWidth;
  const float step = inches ? inchStep : centimeterStep;
  const SettingRange range = SizeRange(kind, !inches);
  const float value = NumberFromSetting(controls_.*label) + (up ? step : -step);
  controls_.*label = SizeLabelText(kind, std::clamp(value, range.low, range.high), inches);
  applyEnabled_ = true;
}

void PreferencesModel::StepThumbSize(bool up) {
  StepSize(&PreferencesControls::thumbLabel, 0.1F, 0.2F, up, true);
}

void PreferencesModel::StepLayoutWidth(bool up) {
  StepSize(&PreferencesControls::widthLabel, 0.5F, 1.0F, up, false);
  // The page shows the width both ways, not only when it shrinks.
  requests_.pageRedraw = true;
}

void PreferencesModel::MidiFolderChosen(const QString& folder) {
  controls_.midiFolderName = MidiFolderName(folder);
  applyEnabled_ = true;
}

// ---------------------------------------------------------------- applying

PreferencesModel::Applied PreferencesModel::Apply(SettingsStore& settings,
                                                  const QString& midiFolder) {
  applyEnabled_ = false;
  Applied applied;
  ApplyGeneral();
  ApplySlideShow(midiFolder);
  ApplySystem(applied);

  const PreferencesControls& c = controls_;
  if (c.camera >= 0 && c.camera < static_cast<int>(kCameraNames.size()))
    options_.camera = QLatin1String(kCameraNames[static_cast<std::size_t>(c.camera)]);
  options_.cameraConnection = c.serial ? QStringLiteral("Serial") : QStringLiteral("USB");
  if (c.drive >= 0 && c.drive < drives_.size()) options_.downloadDrive = drives_[c.drive];

  WriteOptionsOnApply(settings, options_, c.fastPrint, c.open, c.scanShow, midiFolder);
  applied.stored = settings.sync();
  return applied;
}

void PreferencesModel::ApplyGeneral() {
  Options& o = options_;
  const PreferencesControls& c = controls_;
  if (c.large != o.genLarge) {
    o.genLarge = c.large;
    requests_.thumbResize = true;
  }
  if (c.grid != o.genGrid) {
    o.genGrid = c.grid;
    requests_.pageRedraw = true;
  }
  // The chosen spacing is taken even when the stored one was neither.
  const std::int16_t gridType = c.coarse ? 1 : 2;
  if (gridType != o.gridType) {
    o.gridType = gridType;
    requests_.pageRedraw = true;
  }
  o.genSound = c.sound;
  o.genSave = c.save;
  o.genTree = c.tree;
  o.genClick = c.click;
  o.genReduce = c.reduce;
  o.reduce = c.least ? 1280.0F : 640.0F;
  o.thumbSize = NumberFromSetting(c.thumbLabel);
  o.layOutWidth = NumberFromSetting(c.widthLabel);
  o.printMargin = c.printMargin;
}

void PreferencesModel::ApplySlideShow(const QString& midiFolder) {
  Options& o = options_;
  const PreferencesControls& c = controls_;
  o.ssFadeIn = c.fadeIn;
  o.ssFadeOut = c.fadeOut;
  o.ssSound = c.slideSound;
  o.ssMidi = c.music && !midiFolder.isEmpty();
  o.ssKey = c.arrowKeys;
  o.ssMouse = c.hideMouse;
  o.ssAuto = c.autoChange;
  o.ssTime = static_cast<std::int16_t>(c.interval);
}

void PreferencesModel::ApplySystem(Applied& applied) {
  Options& o = options_;
  const PreferencesControls& c = controls_;
  o.imageRes = static_cast<float>(c.resolution);
  o.jpegQuality = static_cast<std::int16_t>(c.quality);
  o.jpegDpi = static_cast<std::int16_t>(c.dpi);
  o.memDisplay = c.memoryMeter;
  o.showProgress = c.progress;
  if (c.screenSaverOff != o.disableScreenSaver) applied.screenSaverActive = !c.screenSaverOff;
  o.disableScreenSaver = c.screenSaverOff;
}

}  // namespace lumaset
