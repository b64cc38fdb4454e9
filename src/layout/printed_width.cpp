#include "layout/printed_width.h"

#include <cmath>
#include <cstdint>

#include "frame/number_from_setting.h"

namespace lumaset {

namespace {

const QString kResizeTip = QStringLiteral("Undo last picture resize");
const QString kWidthError = QStringLiteral("Error changing image width: ");

// Beyond this many hundredths the count no longer fits a whole number.
constexpr double kLargestHundredths = 1e15;

// A box's height over its width; 0 for a box without width.
float AspectOf(const PicBox& box) { return box.width > 0 ? box.height / box.width : 0.0f; }

}  // namespace

float MinimumWidth(bool inches) { return inches ? 0.5f : 1.0f; }
double SpinStep(bool inches) { return inches ? 0.1 : 0.2; }

QString FormatPrinted(double value) {
  // A 32-bit float times 100 is exact in a double, so a half is a true half.
  const double hundredths = std::nearbyint(value * 100);
  if (!(std::fabs(hundredths) < kLargestHundredths)) return QString::number(value, 'f', 2);
  const auto count = static_cast<std::int64_t>(hundredths);
  const std::int64_t magnitude = count < 0 ? -count : count;
  return QStringLiteral("%1%2.%3")
      .arg(count < 0 ? QStringLiteral("-") : QString())
      .arg(magnitude / 100)
      .arg(magnitude % 100, 2, 10, QLatin1Char('0'));
}

void PrintedWidth::WidthChange() {
  const PageGeometry& geometry = page_.geometry();
  const int slot = page_.SelectedOnPage();
  float width = NumberFromSetting(host_.WidthText());
  if (width < MinimumWidth(geometry.inches)) width = MinimumWidth(geometry.inches);
  // The height limit holds in both orientations: a tall picture never
  // prints beyond the printable height.
  if (slot >= 0) {
    const PicBox& box = page_.box(slot);
    if (width * AspectOf(box) > geometry.printableHeight()) {
      width = geometry.printableHeight() * box.width / box.height;
    }
  }
  if (width > geometry.printableWidth()) width = geometry.printableWidth();
  const QString widthText = FormatPrinted(width);
  host_.SetWidthText(widthText);
  if (slot < 0) return;
  if (!(geometry.paperWidth > 0 && geometry.paperHeight > 0)) {
    host_.ShowError(kWidthError + QStringLiteral("The page has no paper size."));
    return;
  }

  if (widthTyped_) {
    widthTyped_ = false;
    const Status pushed = undo_.UndoAdd(UndoKind::Size, kResizeTip);
    if (!pushed) host_.ShowError(kWidthError + pushed.error());
  }
  PicBox& box = page_.box(slot);
  // Both sides come from the two-decimal texts, as the user reads them.
  const float shownWidth = NumberFromSetting(widthText);
  const QString heightText = FormatPrinted(shownWidth * AspectOf(box));
  host_.SetHeightText(heightText);
  const float shownHeight = NumberFromSetting(heightText);
  box.width = shownWidth / geometry.paperWidth * geometry.previewWidth;
  box.height = shownHeight / geometry.paperHeight * geometry.previewHeight;
  FractionsFromBox(page_, slot);
  host_.PageChanged();
  host_.ToolEnable(true, slot);
}

// The flag lasts for this one change only: a width typed while no picture
// is selected must not record a step for a later, unrelated change.
void PrintedWidth::TypedWidthChange() {
  widthTyped_ = true;
  WidthChange();
  widthTyped_ = false;
}

void PrintedWidth::EnterPressed() { TypedWidthChange(); }

void PrintedWidth::Spin(int direction) {
  const bool inches = page_.geometry().inches;
  double width = static_cast<double>(NumberFromSetting(host_.WidthText())) + direction * SpinStep(inches);
  if (direction < 0 && width < MinimumWidth(inches)) width = MinimumWidth(inches);
  host_.SetWidthText(FormatPrinted(width));
  TypedWidthChange();
}

void PrintedWidth::FullSize() {
  const int slot = page_.SelectedOnPage();
  if (slot < 0) return;
  const PageGeometry& geometry = page_.geometry();
  // In portrait a width so large that the limits bring it down to the
  // largest box of the picture's aspect; in landscape the printable width.
  float full = geometry.printableWidth();
  if (geometry.portrait && geometry.previewWidth > 0) {
    full = geometry.printableHeight() * geometry.previewHeight / geometry.previewWidth;
  }
  const Status pushed = undo_.UndoAdd(UndoKind::Size, kResizeTip);
  if (!pushed) host_.ShowError(kWidthError + pushed.error());
  if (!page_.edit().layoutTitle.isEmpty()) host_.SetEnabled(u"mnuFileSave", true);
  PicBox& box = page_.box(slot);
  box.left = FractionOf(geometry.noPrintLeft, geometry.paperWidth) * geometry.previewWidth;
  box.top = FractionOf(geometry.noPrintTop, geometry.paperHeight) * geometry.previewHeight;
  host_.SetWidthText(FormatPrinted(full));
  widthTyped_ = false;
  WidthChange();
}

}  // namespace lumaset
