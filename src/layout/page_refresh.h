#pragma once

// `PageRefresh`: the whole redraw of the layout page. It derives the page
// geometry from the printer (or the defaults), fits the page into its panel
// by the paper's proportions and the orientation, marks the printable area,
// lays out the grid, places every picture from its stored fractions in
// stacking order and draws the label. What it draws is a PageScene, plain
// data that the page widget paints; the window's side of it (captions,
// presets, the width field, the option buttons, messages) goes through
// PageHost, so that the sequence runs in a test without a window.

#include <QColor>
#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <optional>
#include <vector>

#include "components/printer_device.h"
#include "components/result.h"
#include "frame/sounds.h"
#include "layout/page_geometry.h"
#include "layout/page_model.h"

namespace lumaset {

struct LabelStyle;
struct Options;

// A text written on the page: its top-left corner in twips of the page, and
// the font as the page draws it (point size already scaled for the preview:
// the size in pixels of the screen that the printed size takes on the page).
struct PageText {
  QString text;
  QPointF at;
  QString family;
  double pointSize = 0;
  bool bold = false;
  bool italic = false;
  QColor color = Qt::black;

  friend bool operator==(const PageText&, const PageText&) = default;
};

// Everything the page shows besides the pictures' own pixels. Coordinates are
// twips; `preview` is relative to the panel, everything else to the page.
struct PageScene {
  QRectF preview;           // `picPreview` in `panPrev`
  QRectF printable;         // `Shape2`, the printable area's frame
  bool printableShown = false;
  bool printableOnTop = false;  // raised over the pictures until the next refresh
  std::optional<PageText> noPrint;  // "--- NO PRINT ---" in the top strip
  std::vector<double> gridX;        // shown vertical grid lines
  std::vector<double> gridY;        // shown horizontal grid lines
  std::vector<int> drawOrder;       // placed slots, back to front
  std::vector<PageText> captions;   // contact-sheet file names
  std::optional<PageText> label;    // the page label
};

// The font and colour the page last drew text with; the label dialog starts
// from its bold, italic and colour.
struct PagePen {
  QString family = QStringLiteral("Arial");
  double pointSize = 0;
  bool bold = true;
  bool italic = false;
  QColor color = Qt::black;
};

// A colour value as settings and layouts keep it (red in the low byte).
QColor ColorFromValue(unsigned value);
unsigned ValueFromColor(const QColor& color);

// The four fractions of a picture on the page, turned in place for a turned
// page (see orientation.h).
using FractionTurn = std::function<void(float& left, float& top, float& width, float& height)>;

// What the page's geometry, drawing, orientation and label need from the
// main window.
class PageHost {
 public:
  virtual ~PageHost() = default;

  // The printer's page as it is now; `ready` false without a printer.
  virtual PrinterFacts Printer() = 0;
  // Turns the printer's paper (kPortrait, kLandscape).
  virtual Status SetPrinterOrientation(int orientation) = 0;

  // The page panel `panPrev`'s size and the screen's twips per pixel.
  virtual QSizeF PanelSize() = 0;
  virtual double TwipsPerPixel() = 0;

  // `ToolEnable(False, -1)` and `ToolEnable(True, slot)`.
  virtual void ToolEnable(bool enable, int slot) = 0;

  // The captions beside the page: `panAdjust` (the printer) and `Label1`(0..2).
  virtual void ShowPrinterName(const QString& caption) = 0;
  virtual void ShowUnitCaptions(const std::array<QString, 3>& captions) = 0;
  // The rows of `cmbWH` and its selected row (-1 none).
  virtual void ShowWidthPresets(const QStringList& rows, int selected) = 0;
  // `txtWidth`.
  virtual QString WidthFieldText() = 0;
  virtual void SetWidthFieldText(const QString& text) = 0;
  // Checks `optPort` or `optLand` without running its command.
  virtual void ShowOrientationOption(bool portrait) = 0;

  // The page: its place in the panel and what is drawn on it.
  virtual void ShowPage(const PageScene& scene) = 0;

  // A message box with the exclamation icon and the application's title.
  virtual void ShowError(const QString& text) = 0;
  virtual void PlaySound(Sound sound, Wait wait) = 0;

  // The page shows a contact sheet (`ThumbSheet`).
  virtual bool ThumbSheet() = 0;

  // The undo steps' fractions follow the page when it turns.
  virtual void TurnUndoSteps(const FractionTurn& turn) = 0;
};

class PageRefresh {
 public:
  // `options` and `label` are read at every refresh and must outlive this.
  PageRefresh(PageModel& model, PageHost& host, const Options& options, const LabelStyle& label);

  // `PageRefresh()`: recomputes the geometry and redraws the page.
  void Run();

  // The orientation command that the refresh runs when it selects the option
  // matching the printer (the orientation commands register themselves).
  void SetOptionCommand(std::function<void(bool portrait)> command) {
    optionCommand_ = std::move(command);
  }

  // The page label erased and, for a non-empty text, written again with `pen`
  // (the label command); the pen becomes the page's and the page is shown.
  void RedrawLabel(const QString& text, const PagePen& pen);
  // A contact sheet's caption written under its picture, and the page shown.
  void AddCaption(const PageText& caption);
  // The page's drawing colour alone (the label command on an empty text).
  void SetPenColor(const QColor& color) { pen_.color = color; }

  // `Shape2` in front of the pictures until the next refresh.
  void RaisePrintableFrame();

  const PageScene& scene() const { return scene_; }
  const PagePen& pen() const { return pen_; }

  // Where the label is written: 100 twips inside the printable corner.
  static QPointF LabelPosition(const PageGeometry& geometry);

 private:
  Status Geometry();
  Status FitAndFrame();
  void PlacePictures();
  void PlaceCaption(int slot);
  void DrawLabel();
  void SetLabel(const QString& text, const PagePen& pen);
  void LimitWidth();

  PageModel& model_;
  PageHost& host_;
  const Options& options_;
  const LabelStyle& label_;
  std::function<void(bool portrait)> optionCommand_;
  PageScene scene_;
  PagePen pen_;
};

// The page fitted into its panel (twips): in portrait by the panel's height
// (700 twips less, 450 from the top), in landscape by its width (700 less,
// 300 from the left). A page too large for the panel reaches beyond it.
QRectF FitPreview(bool portrait, QSizeF panel, const Paper& paper);

// The grid's shown lines across a page of `width` x `height` twips: every
// half inch or centimetre, or every second one when `gridType` is 1.
struct GridLines {
  std::vector<double> x;
  std::vector<double> y;
};
GridLines GridFor(bool inches, std::int16_t gridType, const PageGeometry& geometry);

// A contact-sheet caption, the same on the page and on paper: the picture's
// file name without its extension, cut to its first characters and "..."
// where it would run past the picture's width on paper in the caption's
// type (bold 6-point Arial), whatever unit the page is measured in.
QString SheetCaption(const QString& file, const PagePic& pic, const PageGeometry& geometry);
// `name` cut so that it fits `widthPoints` in the caption's type; "..." alone
// when not even one character fits with it.
QString CaptionText(const QString& name, double widthPoints);

}  // namespace lumaset
