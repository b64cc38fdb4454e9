#include "layout/page_geometry.h"

#include "frame/number_from_setting.h"
#include "layout/page_model.h"

namespace lumaset {

namespace {

constexpr int kNameRoom = 25;
constexpr int kNameTail = 22;

double TwipsPerUnit(bool inches) { return inches ? 1440.0 : kTwipsPerCentimetre; }

float InUnit(int twips, bool inches) {
  return static_cast<float>(static_cast<double>(twips) / TwipsPerUnit(inches));
}

}  // namespace

QString NonStandardPrinterText() {
  return QStringLiteral("Non-standard printer setting: please change printer to a standard mode");
}

QString ShortPrinterName(const QString& deviceName) {
  QString name = deviceName;
  // A network printer ("\\server\queue") is known by its queue; a backslash
  // in the very last place is no separator.
  const int separator = name.lastIndexOf(QLatin1Char('\\'), name.size() - 2);
  if (separator >= 0 && name.size() >= 2) name = name.mid(separator + 1);
  if (name.size() > kNameRoom) name = QStringLiteral("...") + name.right(kNameTail);
  return name;
}

QString PrinterCaption(const PrinterFacts& printer) {
  return printer.ready ? ShortPrinterName(printer.deviceName) : QStringLiteral("No Printer");
}

QStringList WidthPresets(bool inches) {
  QStringList rows;
  if (inches) {
    for (const char* width : {"2.0", "2.5", "3.0", "3.5", "4.0", "4.5", "5.0", "6.0", "7.0",
                              "8.0", "9.0", "10.0"}) {
      rows << QString::fromLatin1(width) + QStringLiteral(" in width");
    }
  } else {
    for (int width = 4; width <= 20; ++width) {
      rows << QStringLiteral("%1.0 cm width").arg(width);
    }
  }
  return rows;
}

std::array<QString, 3> UnitCaptions(bool inches) {
  const QString unit = inches ? QStringLiteral("(in)") : QStringLiteral("(cm)");
  return {QStringLiteral("Default Width ") + unit, QStringLiteral("Height ") + unit,
          QStringLiteral("Layout Width ") + unit};
}

Paper DefaultPaper(bool inches, bool portrait) {
  Paper paper = inches ? Paper{8.5f, 11.0f, 0.5f, 0.5f} : Paper{21.6f, 28.0f, 1.2f, 1.2f};
  if (!portrait) std::swap(paper.width, paper.height);
  return paper;
}

Paper PaperOf(const PrinterFacts& printer, bool inches, bool portrait) {
  if (!printer.ready) return DefaultPaper(inches, portrait);
  return Paper{InUnit(printer.pageWidthTwips, inches), InUnit(printer.pageHeightTwips, inches),
               InUnit(printer.noPrintLeftTwips, inches), InUnit(printer.noPrintTopTwips, inches)};
}

int PresetIndex(const QStringList& presets, float layOutWidth) {
  for (int row = 0; row < presets.size(); ++row) {
    if (NumberFromSetting(presets[row]) == layOutWidth) return row;
  }
  return -1;
}

Result<float> PrinterResolution(const PrinterFacts& printer, const Paper& paper) {
  if (!printer.ready) return 300.0f;
  const float printable = paper.width - 2 * paper.noPrintLeft;
  if (printable == 0) {
    return Error{QStringLiteral("The printer reports no printable width.")};
  }
  return static_cast<float>(printer.printableDots / printable);
}

bool PortraitCase(const PrinterFacts& printer, bool portraitOption) {
  return printer.ready ? printer.orientation == kPortrait : portraitOption;
}

float FontScaleFor(bool portraitCase, bool inches, const Paper& paper, float previewWidth,
                   float previewHeight, double twipsPerPixel) {
  const float pointsPerUnit = inches ? kPointsPerInch : kPointsPerCentimetre;
  const auto perPixel = static_cast<float>(twipsPerPixel);
  if (portraitCase) return previewWidth / (paper.width * pointsPerUnit * perPixel);
  return previewHeight / (paper.height * pointsPerUnit * perPixel);
}

float LimitWidthField(float width, const PageGeometry& geometry) {
  if (!(geometry.previewWidth > 0) || !(geometry.previewHeight > 0)) return width;
  if (geometry.portrait) {
    const float ratio = geometry.previewHeight / geometry.previewWidth;
    if (width * ratio > geometry.printableHeight()) width = geometry.printableHeight() / ratio;
  } else if (width > geometry.printableWidth()) {
    width = geometry.printableWidth();
  }
  return width;
}

QString SizeText(float value) { return QString::number(static_cast<double>(value), 'f', 2); }

}  // namespace lumaset
