#pragma once

// The page geometry: what the layout page takes from the current printer (or
// from the defaults when there is none) in the unit the user works in, and
// the rules that follow from it: the printer's name as shown, the width
// presets and captions, the paper and its strips, the printer's resolution,
// the font scale of the preview and the limit on the width field. Plain
// functions, so that each number can be checked alone.

#include <QString>
#include <QStringList>

#include <array>

#include "components/printer_device.h"
#include "components/result.h"

namespace lumaset {

struct PageGeometry;

inline constexpr double kTwipsPerCentimetre = 566.9394;
inline constexpr float kPointsPerInch = 72;
inline constexpr float kPointsPerCentimetre = 28.34f;

// The message of a printer that reports no paper.
QString NonStandardPrinterText();

// `panAdjust`'s caption: "No Printer", or the printer's name without any
// server part, shortened to "..." and its last 22 characters when it is
// longer than 25.
QString PrinterCaption(const PrinterFacts& printer);
QString ShortPrinterName(const QString& deviceName);

// The rows of `cmbWH`, in order: 12 inch widths or 17 centimetre widths.
QStringList WidthPresets(bool inches);

// The captions of `Label1`(0..2): default width, height, layout width.
std::array<QString, 3> UnitCaptions(bool inches);

// The paper and its strips in the current unit.
struct Paper {
  float width = 0;
  float height = 0;
  float noPrintLeft = 0;
  float noPrintTop = 0;

  friend bool operator==(const Paper&, const Paper&) = default;
};

// Without a printer: 8.5 x 11 in with 0.5 in strips, or 21.6 x 28.0 cm with
// 1.2 cm strips, turned with the page (11 x 8.5 in, 28.0 x 21.6 cm in
// landscape), so that turning the page keeps every picture's printed size.
Paper DefaultPaper(bool inches, bool portrait);

// The printer's paper in the unit (each length divided in double precision),
// or the default paper for `portrait` without a printer.
Paper PaperOf(const PrinterFacts& printer, bool inches, bool portrait);

// The first row whose number, as a 32-bit float, equals `layOutWidth`; -1
// when none does.
int PresetIndex(const QStringList& presets, float layOutWidth);

// `PrinterRes`: printer dots per unit across the printable width; 300
// without a printer. Fails when the printable width is zero.
Result<float> PrinterResolution(const PrinterFacts& printer, const Paper& paper);

// The page is measured across its width in the portrait case: a printer in
// portrait, or no printer with the portrait option selected.
bool PortraitCase(const PrinterFacts& printer, bool portraitOption);

// `FontScale`: preview pixels per printed point, from the preview's width
// (portrait case) or height (landscape case) in twips.
float FontScaleFor(bool portraitCase, bool inches, const Paper& paper, float previewWidth,
                   float previewHeight, double twipsPerPixel);

// The width field's number after the refresh: in portrait no larger than a
// page-shaped picture that fits the printable height allows; in landscape
// no larger than the printable width. A preview without area limits nothing.
float LimitWidthField(float width, const PageGeometry& geometry);

// A printed size as the program shows it: two decimals ("0.00").
QString SizeText(float value);

}  // namespace lumaset
