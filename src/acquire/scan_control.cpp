#include "acquire/scan_control.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>
#include <limits>

#include "components/settings_store.h"
#include "frame/number_from_setting.h"

namespace lumaset {

namespace {

constexpr int kViewSide = 350;
constexpr double kBoxSide = 354;
constexpr int kScanTop = 20;  // the picture's top after a scan
constexpr int kCropTop = 4;   // after a crop or an undo, level with the options label

const QString kLoadCaption = QStringLiteral("Tavrin Lumaset: Scan Control");
const QString kScanningCaption = QStringLiteral("Lumaset: Scanning...");
const QString kPixelTypeNames[] = {QStringLiteral("Black and White"), QStringLiteral("Grayscale"),
                                   QStringLiteral("RGB"), QStringLiteral("Palette")};

int RoundHalfEven(double value) { return static_cast<int>(std::nearbyint(value)); }

qint32 HeldResolution(double value) {
  if (!std::isfinite(value)) return 0;
  const double rounded = std::nearbyint(value);
  return static_cast<qint32>(std::clamp(rounded, double{std::numeric_limits<qint32>::min()},
                                        double{std::numeric_limits<qint32>::max()}));
}

// One axis of the crop: the working copy's pixels from `start` to `end`
// display pixels, at least one when the range is not empty.
std::pair<int, int> MapSpan(int start, int end, int view, int work) {
  const double scale = static_cast<double>(work) / view;
  const int from = std::clamp(RoundHalfEven(start * scale), 0, work - 1);
  const int to = std::clamp(RoundHalfEven(end * scale), from + 1, work);
  return {from, to - from};
}

}  // namespace

ScanFit FitScanView(QSize work, int top) {
  ScanFit fit;
  if (work.isEmpty()) return fit;
  const double w = work.width();
  const double h = work.height();
  if (w >= h) {
    fit.view = {kViewSide, std::max(1, RoundHalfEven(h * kViewSide / w))};
    const double boxHeight = fit.view.height() * kBoxSide / fit.view.width();
    fit.box = {4, (kBoxSide - boxHeight) / 2 + top, kBoxSide, boxHeight};
  } else {
    fit.view = {std::max(1, RoundHalfEven(w * kViewSide / h)), kViewSide};
    const double boxWidth = fit.view.width() * kBoxSide / fit.view.height();
    fit.box = {(kBoxSide - boxWidth) / 2 + 4, static_cast<double>(top), boxWidth, kBoxSide};
  }
  fit.scaleX = w / fit.view.width();
  fit.scaleY = h / fit.view.height();
  return fit;
}

QRect CropOnWorkingCopy(QRect drawn, QSize view, QSize work) {
  const QRect inside = drawn & QRect(QPoint(0, 0), view);
  if (inside.isEmpty() || work.isEmpty()) return {};
  const auto [left, width] = MapSpan(inside.left(), inside.left() + inside.width(), view.width(), work.width());
  const auto [top, height] = MapSpan(inside.top(), inside.top() + inside.height(), view.height(), work.height());
  return {left, top, width, height};
}

qint32 ResolutionFromAnswer(const QString& answer) { return HeldResolution(NumberFromSetting(answer)); }

ScanControl::ScanControl(ScanShared shared, ScanWindowHost& host)
    : shared_(shared), host_(host), alive_(std::make_shared<int>(0)), caption_(kLoadCaption) {}

ScanControl::~ScanControl() { FormUnload(); }

template <typename T>
ScanService::Reply<T> ScanControl::Guarded(void (ScanControl::*handler)(T)) {
  return [this, alive = std::weak_ptr<int>(alive_), handler](T value) {
    if (alive.lock()) (this->*handler)(std::move(value));
  };
}

// --- Loading, closing and the device's work ------------------------------------

void ScanControl::FormLoad() {
  host_.SetCaption(caption_);
  showInterface_ = NumberFromSetting(shared_.settings.readSetting(QStringLiteral("ShowScan"), "0")) == 1;
  host_.SetShowInterfaceChecked(showInterface_);
  StartJob(Job::Opening, QStringLiteral("Opening the scanner..."));
  shared_.service.OpenDefault(shared_.settings.readSetting(kSourceKey, ""), Guarded(&ScanControl::Opened));
}

void ScanControl::FormUnload() {
  if (!alive_) return;
  if (job_ == Job::Scanning) shared_.service.Cancel();
  alive_.reset();
}

void ScanControl::StartJob(Job job, const QString& text) {
  job_ = job;
  cancelRequested_ = false;
  host_.SetBusy(true);
  if (!text.isEmpty()) host_.SetOptionsText(text);
}

void ScanControl::EndJob() {
  job_ = Job::None;
  host_.SetBusy(false);
  host_.ShowProgress(-1);
  host_.SetOptionsText(optionsText_);
}

void ScanControl::Opened(Result<ScanReadBack> back) {
  EndJob();
  OptionsRead(std::move(back));
}

void ScanControl::OptionsRead(Result<ScanReadBack> back) {
  if (!back) {
    optionsText_ = back.error();
    host_.SetOptionsText(optionsText_);
    return;
  }
  source_ = back->source;
  pixType_ = static_cast<int>(back->pixelType);
  host_.SetPixTypeChecked(pixType_);
  scanRes_ = HeldResolution(back->resolution);
  const QString resolution = QStringLiteral("%1 DPI").arg(scanRes_);
  host_.SetResolutionItem(resolution + QStringLiteral("..."));
  optionsText_ = QStringLiteral("Resolution = %1, Color = %2").arg(resolution, kPixelTypeNames[pixType_]);
  host_.SetOptionsText(optionsText_);
}

void ScanControl::cmdCancel_Click() {
  if (job_ == Job::Scanning) {
    cancelRequested_ = true;
    shared_.service.Cancel();
    return;
  }
  FormUnload();
  host_.CloseWindow(false);
}

// --- Options menu ---------------------------------------------------------------

void ScanControl::mnuOptionsShow_Click() {
  // SANE devices show no dialog of their own; the choice is kept for the
  // window's life as the setting asks.
  showInterface_ = !showInterface_;
  host_.SetShowInterfaceChecked(showInterface_);
}

void ScanControl::mnuOptionsSource_Click() {
  if (busy()) return;
  StartJob(Job::Listing, QStringLiteral("Looking for scanners..."));
  shared_.service.Sources(Guarded(&ScanControl::SourcesListed));
}

void ScanControl::SourcesListed(Result<QList<ScanSource>> sources) {
  EndJob();
  if (!sources) {
    host_.ShowError(sources.error());
    return;
  }
  if (sources->isEmpty()) {
    host_.ShowNotice(QStringLiteral("No scanner was found."));
    return;
  }
  const std::optional<QString> chosen = host_.ChooseSource(*sources, source_);
  if (!chosen) return;
  shared_.settings.writeSetting(kSourceKey, *chosen);
  StartJob(Job::Opening, QStringLiteral("Opening the scanner..."));
  shared_.service.Select(*chosen, Guarded(&ScanControl::Opened));
}

void ScanControl::mnuOptionsResolution_Click() {
  if (busy()) return;
  const std::optional<QString> answer = host_.AskText(QStringLiteral("Enter desired resolution"), {});
  if (!answer || answer->isEmpty()) return;
  scanRes_ = ResolutionFromAnswer(*answer);
  shared_.service.SetResolution(scanRes_, Guarded(&ScanControl::OptionsRead));
}

void ScanControl::mnuOptionsPixTypes_Click(int index) {
  if (busy() || index < 0 || index > 3) return;
  pixType_ = index;
  host_.SetPixTypeChecked(index);
  shared_.service.SetPixelType(static_cast<ScanPixelType>(index), Guarded(&ScanControl::OptionsRead));
}

// --- Scanning ---------------------------------------------------------------------

void ScanControl::cmdScan_Click() {
  if (busy()) return;
  host_.SetCaption(kScanningCaption);
  StartJob(Job::Scanning, {});
  host_.ShowProgress(0);
  auto progress = [this, alive = std::weak_ptr<int>(alive_)](int percent) {
    if (alive.lock() && job_ == Job::Scanning) host_.ShowProgress(percent);
  };
  shared_.service.Acquire(shared_.settings.readSetting(kSourceKey, ""), progress, Guarded(&ScanControl::ScanDone));
}

void ScanControl::ScanDone(Result<QImage> picture) {
  const bool cancelled = cancelRequested_;
  EndJob();
  if (!picture) {
    host_.SetCaption(caption_);
    if (!cancelled) host_.ShowError(QStringLiteral("Scan failed.\n") + picture.error());
    return;
  }
  Status loaded = scan_.LoadFromPicture(*picture);
  if (loaded) loaded = work_.LoadFromImgX(scan_);
  if (loaded) loaded = view_.LoadFromImgX(scan_);
  if (!loaded) {
    host_.SetCaption(caption_);
    host_.ShowError(QStringLiteral("Scan error: ") + loaded.error());
    return;
  }
  ShowWorkCaption();
  Fit(kScanTop);
  host_.SetSaveEnabled(true);
}

void ScanControl::ShowWorkCaption() {
  caption_ = QStringLiteral("Scan: %1 W x %2 H, %3 Colors")
                 .arg(work_.PixelWidth())
                 .arg(work_.PixelHeight())
                 .arg(work_.ColorsUsed());
  host_.SetCaption(caption_);
}

void ScanControl::Fit(int top) {
  fit_ = FitScanView(work_.GetPicture().size(), top);
  if (Status resized = view_.ImgResize(fit_.view.width(), fit_.view.height()); !resized) {
    host_.ShowPlain(resized.error());
  }
  host_.ShowPicture(view_.GetPicture(), fit_.box);
}

// --- Crop and undo ------------------------------------------------------------------

void ScanControl::picScan_MouseDown(int button, QPoint point) {
  if (busy() || !(button & kScanLeftButton)) return;
  cropStart_ = point;
  pressed_ = true;
  dragged_ = false;
}

void ScanControl::picScan_MouseMove(int buttons, QPoint point) {
  if (!pressed_ || !(buttons & kScanLeftButton)) return;
  const QSize area = view_.hasPicture() ? view_.GetPicture().size() : QSize(kViewSide, kViewSide);
  const auto limit = [&area](QPoint p) {
    return QPoint(std::clamp(p.x(), 0, area.width() - 1), std::clamp(p.y(), 0, area.height() - 1));
  };
  const QPoint from = limit(cropStart_);
  const QPoint to = limit(point);
  // Both corner pixels belong to the rectangle.
  selector_ = QRect(QPoint(std::min(from.x(), to.x()), std::min(from.y(), to.y())),
                    QPoint(std::max(from.x(), to.x()), std::max(from.y(), to.y())));
  dragged_ = true;
  host_.ShowSelector(selector_, true);
}

void ScanControl::picScan_MouseUp(int button, QPoint /*point*/) {
  if (button != kScanLeftButton || !pressed_) return;
  pressed_ = false;
  if (!view_.hasPicture()) return;
  host_.ShowSelector(selector_, false);
  if (dragged_) Crop();
}

void ScanControl::Crop() {
  const QRect region = CropOnWorkingCopy(selector_, view_.GetPicture().size(), work_.GetPicture().size());
  if (region.isEmpty()) return;
  // A working copy that cannot be cropped leaves both copies as they were.
  if (Status cropped = work_.ImgCrop(region.x(), region.y(), region.width(), region.height()); !cropped) {
    host_.ShowPlain(cropped.error());
    return;
  }
  ShowWorkCaption();
  if (Status copied = view_.LoadFromImgX(work_); !copied) host_.ShowPlain(copied.error());
  Fit(kCropTop);
  host_.SetUndoEnabled(true);
}

void ScanControl::cmdUndo_Click() {
  if (busy() || !scan_.hasPicture()) return;
  Status loaded = work_.LoadFromImgX(scan_);
  if (loaded) loaded = view_.LoadFromImgX(scan_);
  if (!loaded) {
    host_.ShowError(QStringLiteral("Error undoing image crop: ") + loaded.error());
    return;
  }
  ShowWorkCaption();
  Fit(kCropTop);
}

// --- Save ---------------------------------------------------------------------------

void ScanControl::cmdSave_Click() {
  if (busy() || !work_.hasPicture()) return;
  if (!host_.PickScanFolder()) return;
  ++shared_.saveCount;
  const std::optional<QString> answer = host_.AskText(QStringLiteral("Enter file name for scan (no extension)"),
                                                      QStringLiteral("Scan%1").arg(shared_.saveCount));
  if (!answer || answer->isEmpty()) return;  // never mind: the scan stays
  const QString path = shared_.scanFolder + *answer + QStringLiteral(".jpg");
  if (answer->contains(u'/')) {
    host_.ShowError(QStringLiteral("Error: File <%1> not saved!\nA file name cannot contain \"/\".").arg(path));
    return;
  }
  if (QFileInfo::exists(path) &&
      !host_.AskYesNo(QStringLiteral("File already exists in target folder.\nDo you wish to replace it?"))) {
    return;
  }
  if (Status saved = work_.SaveFile(path); !saved) {
    host_.ShowError(QStringLiteral("Error: File <%1> not saved!\n%2").arg(path, saved.error()));
    return;
  }
  savedPath_ = path;
  host_.ShowNotice(QStringLiteral("File <%1>\nsaved").arg(path));
  FormUnload();
  host_.CloseWindow(true);
}

}  // namespace lumaset
