#include "components/printer_device.h"

#include <QList>
#include <QMarginsF>
#include <QPageLayout>
#include <QPrinter>

#include <algorithm>
#include <cmath>

namespace lumaset {

namespace {

constexpr double kTwipsPerPoint = 20;
constexpr double kPointsPerInch = 72;

// Without a default, any printer at all is better than refusing to print.
QPrinterInfo choosePrinter() {
  QPrinterInfo printer = QPrinterInfo::defaultPrinter();
  if (!printer.isNull()) return printer;
  const QList<QPrinterInfo> printers = QPrinterInfo::availablePrinters();
  return printers.isEmpty() ? QPrinterInfo() : printers.constFirst();
}

int toTwips(double points) { return static_cast<int>(std::lround(points * kTwipsPerPoint)); }

}  // namespace

PrinterFacts FactsOf(const QPrinter& printer) {
  QPageLayout layout = printer.pageLayout();
  layout.setUnits(QPageLayout::Point);
  const QRectF paper = layout.fullRect();
  // The printer reports its strips for the upright paper, whatever the
  // orientation, so a turned page takes them turned.
  const QMarginsF strips = layout.minimumMargins();
  double across = std::max(strips.left(), strips.right());
  double down = std::max(strips.top(), strips.bottom());
  const bool landscape = layout.orientation() == QPageLayout::Landscape;
  if (landscape) std::swap(across, down);

  PrinterFacts facts;
  facts.ready = true;
  facts.deviceName = printer.printerName();
  facts.pageWidthTwips = toTwips(paper.width());
  facts.pageHeightTwips = toTwips(paper.height());
  facts.noPrintLeftTwips = toTwips(across);
  facts.noPrintTopTwips = toTwips(down);
  const double printablePoints = std::max(0.0, paper.width() - 2 * across);
  facts.printableDots =
      static_cast<int>(std::lround(printablePoints * printer.resolution() / kPointsPerInch));
  facts.orientation = landscape ? kLandscape : kPortrait;
  return facts;
}

PrinterDevice::PrinterDevice() : info_(choosePrinter()) {
  if (!info_.isNull()) printer_ = std::make_unique<QPrinter>(info_, QPrinter::HighResolution);
}

PrinterDevice::~PrinterDevice() = default;

bool PrinterDevice::PrinterReady() const { return printer_ != nullptr; }

QString PrinterDevice::DeviceName() const { return info_.printerName(); }

PrinterFacts PrinterDevice::Facts() const {
  if (!printer_) return PrinterFacts{};
  PrinterFacts facts = FactsOf(*printer_);
  facts.deviceName = info_.printerName();
  return facts;
}

int PrinterDevice::Orientation() const {
  if (!printer_) return kPortrait;
  return printer_->pageLayout().orientation() == QPageLayout::Landscape ? kLandscape : kPortrait;
}

Status PrinterDevice::SetOrientation(int orientation) {
  if (!printer_) return Error{QStringLiteral("No printer is available.")};
  if (orientation != kPortrait && orientation != kLandscape) {
    return Error{QStringLiteral("Invalid orientation %1.").arg(orientation)};
  }
  const auto wanted = orientation == kPortrait ? QPageLayout::Portrait : QPageLayout::Landscape;
  if (!printer_->setPageOrientation(wanted)) {
    return Error{QStringLiteral("The printer %1 cannot turn its paper.").arg(info_.printerName())};
  }
  return Status::success();
}

}  // namespace lumaset
