#include "layout/page_refresh.h"

#include <QFileInfo>
#include <QFont>
#include <QFontMetricsF>

#include <cmath>

#include "frame/app_state.h"
#include "frame/number_from_setting.h"
#include "frame/settings.h"

namespace lumaset {

namespace {

constexpr double kPanelRoom = 700;     // twips of the panel the page leaves free
constexpr double kPortraitTop = 450;   // below the panel's caption
constexpr double kLandscapeLeft = 300;
constexpr double kLabelInset = 100;    // the label's distance from the printable corner
constexpr double kCaptionGap = 5;      // between a contact-sheet picture and its name
constexpr float kSmallTextPoints = 6;  // the no-print mark and the captions
constexpr int kGridLines = 51;
constexpr double kEdgeSlack = 1e-9;

const QString kNoPrintText = QStringLiteral("--- NO PRINT ---");

}  // namespace

QColor ColorFromValue(unsigned value) {
  return QColor(static_cast<int>(value & 0xFFu), static_cast<int>((value >> 8) & 0xFFu),
                static_cast<int>((value >> 16) & 0xFFu));
}

unsigned ValueFromColor(const QColor& color) {
  return static_cast<unsigned>(color.red()) | (static_cast<unsigned>(color.green()) << 8) |
         (static_cast<unsigned>(color.blue()) << 16);
}

QRectF FitPreview(bool portrait, QSizeF panel, const Paper& paper) {
  if (portrait) {
    const double height = panel.height() - kPanelRoom;
    const double width = height * paper.width / paper.height;
    return {(panel.width() - width) / 2, kPortraitTop, width, height};
  }
  const double width = panel.width() - kPanelRoom;
  const double height = width * paper.height / paper.width;
  return {kLandscapeLeft, (panel.height() - height) / 2, width, height};
}

GridLines GridFor(bool inches, std::int16_t gridType, const PageGeometry& geometry) {
  const double width = geometry.previewWidth;
  const double height = geometry.previewHeight;
  const int perUnit = inches ? 2 : 1;
  const double xStep = width / (static_cast<double>(geometry.paperWidth) * perUnit);
  const double yStep = height / (static_cast<double>(geometry.paperHeight) * perUnit);
  GridLines lines;
  int pattern = gridType == 1 ? 2 : 1;
  for (int i = 0; i < kGridLines; ++i) {
    const double x = xStep * (i + 1);
    const double y = yStep * (i + 1);
    // A line on an edge is off the page: the last step of a whole page may
    // fall a rounding error short of the edge.
    const bool offAcross = x >= width * (1 - kEdgeSlack);
    const bool offDown = y >= height * (1 - kEdgeSlack);
    if (offAcross && offDown) break;
    if (pattern == 1) {
      if (!offAcross) lines.x.push_back(x);
      if (!offDown) lines.y.push_back(y);
    }
    if (gridType == 1 && ++pattern == 3) pattern = 1;
  }
  return lines;
}

QString CaptionText(const QString& name, double widthPoints) {
  // Measured at a size that needs no screen, then brought down to 6 points.
  constexpr int kMeasuredPixels = 600;
  QFont font(QStringLiteral("Arial"));
  font.setBold(true);
  font.setPixelSize(kMeasuredPixels);
  const QFontMetricsF metrics(font);
  const double room = widthPoints * kMeasuredPixels / kSmallTextPoints;
  if (metrics.horizontalAdvance(name) <= room) return name;
  const QString more = QStringLiteral("...");
  qsizetype kept = name.size();
  while (kept > 0 && metrics.horizontalAdvance(name.left(kept) + more) > room) --kept;
  // A character is not split from the mark that belongs to it.
  while (kept > 0 && (name.at(kept).isMark() || name.at(kept).isLowSurrogate())) --kept;
  return name.left(kept) + more;
}

QString SheetCaption(const QString& file, const PagePic& pic, const PageGeometry& geometry) {
  const double pointsPerUnit = geometry.inches ? kPointsPerInch : kPointsPerCentimetre;
  return CaptionText(QFileInfo(file).completeBaseName(),
                     std::abs(static_cast<double>(pic.widthFrac)) * geometry.paperWidth * pointsPerUnit);
}

QPointF PageRefresh::LabelPosition(const PageGeometry& geometry) {
  return {geometry.noPrintLeft / geometry.paperWidth * geometry.previewWidth + kLabelInset,
          geometry.noPrintTop / geometry.paperHeight * geometry.previewHeight + kLabelInset};
}

PageRefresh::PageRefresh(PageModel& model, PageHost& host, const Options& options,
                         const LabelStyle& label)
    : model_(model), host_(host), options_(options), label_(label) {}

// Failures of the geometry and fitting end the refresh; later steps are
// drawing only and cannot fail.
void PageRefresh::Run() {
  Status failure = Geometry();
  const bool cleared = failure.ok();
  if (cleared) {
    host_.ToolEnable(false, -1);
    failure = FitAndFrame();
  }
  if (failure.ok()) {
    PlacePictures();
    DrawLabel();
    LimitWidth();
  }
  if (cleared) host_.ShowPage(scene_);
  if (failure.ok()) return;
  const PageGeometry& geometry = model_.geometry();
  host_.ShowError(geometry.paperWidth == 0 || geometry.paperHeight == 0
                      ? NonStandardPrinterText()
                      : QStringLiteral("PageRefresh error: ") + failure.error());
}

Status PageRefresh::Geometry() {
  PageGeometry& geometry = model_.geometry();
  const PrinterFacts printer = host_.Printer();
  host_.ShowPrinterName(PrinterCaption(printer));

  geometry.inches = IsInches(options_.scaleType);
  const QStringList presets = WidthPresets(geometry.inches);
  host_.ShowUnitCaptions(UnitCaptions(geometry.inches));

  const Paper paper = PaperOf(printer, geometry.inches, geometry.portrait);
  geometry.paperWidth = paper.width;
  geometry.paperHeight = paper.height;
  geometry.noPrintLeft = paper.noPrintLeft;
  geometry.noPrintTop = paper.noPrintTop;
  if (paper.width == 0 || paper.height == 0) return Error{NonStandardPrinterText()};

  host_.ShowWidthPresets(presets, PresetIndex(presets, options_.layOutWidth));
  const Result<float> resolution = PrinterResolution(printer, paper);
  if (!resolution) return Error{resolution.error()};
  geometry.printerRes = *resolution;
  return Status::success();
}

Status PageRefresh::FitAndFrame() {
  PageGeometry& geometry = model_.geometry();
  const PrinterFacts printer = host_.Printer();
  const bool portrait = printer.ready ? printer.orientation == kPortrait : geometry.portrait;
  if (portrait != geometry.portrait) {
    // Selecting the other option runs its command, which turns the pictures
    // and refreshes the page once more before this refresh goes on.
    geometry.portrait = portrait;
    host_.ShowOrientationOption(portrait);
    if (optionCommand_) optionCommand_(portrait);
  }
  const Paper paper{geometry.paperWidth, geometry.paperHeight, geometry.noPrintLeft,
                    geometry.noPrintTop};
  scene_ = PageScene{};
  scene_.preview = FitPreview(portrait, host_.PanelSize(), paper);
  const double width = scene_.preview.width();
  const double height = scene_.preview.height();
  geometry.previewWidth = static_cast<float>(width);
  geometry.previewHeight = static_cast<float>(height);

  const double left = paper.noPrintLeft / paper.width * width;
  const double top = paper.noPrintTop / paper.height * height;
  scene_.printable = QRectF(left, top, width - 2 * left, height - 2 * top);

  const double perPixel = host_.TwipsPerPixel();
  geometry.fontScale = FontScaleFor(PortraitCase(host_.Printer(), geometry.portrait),
                                    geometry.inches, paper, geometry.previewWidth,
                                    geometry.previewHeight, perPixel);

  pen_ = PagePen{QStringLiteral("Arial"), kSmallTextPoints * geometry.fontScale, true, false,
                 QColor(Qt::red)};
  if (scene_.printable.top() > 0) {
    const double x = width / 2 - (pen_.pointSize * kNoPrintText.size() * perPixel) / 3;
    scene_.noPrint = PageText{kNoPrintText, QPointF(x, 0), pen_.family, pen_.pointSize,
                              pen_.bold, pen_.italic, pen_.color};
    scene_.printableShown = true;
  }

  if (options_.genGrid) {
    GridLines grid = GridFor(geometry.inches, options_.gridType, geometry);
    scene_.gridX = std::move(grid.x);
    scene_.gridY = std::move(grid.y);
  }
  return Status::success();
}

// Each placed picture comes to the front in turn, so the page ends stacked
// by rank, the highest in front; a rank no slot holds is passed over.
void PageRefresh::PlacePictures() {
  const float width = model_.geometry().previewWidth;
  const float height = model_.geometry().previewHeight;
  const int last = model_.picLast();
  const std::vector<int> order = StackingOrder(model_);

  scene_.drawOrder.clear();
  scene_.captions.clear();
  // A deleted picture stays hidden, but its box follows the page, so that an
  // undone delete after a resize or a turn brings it back where it belongs
  // and a turn starts from where its fractions put it.
  for (int slot = 0; slot <= last; ++slot) {
    const PagePic& pic = model_.pic(slot);
    if (pic.zRank >= 0) continue;
    model_.box(slot) = PicBox{width * pic.leftFrac, height * pic.topFrac, width * pic.widthFrac,
                              height * pic.heightFrac, false};
  }
  const bool sheet = host_.ThumbSheet();
  for (const int slot : order) {
    const PagePic& pic = model_.pic(slot);
    model_.box(slot) = PicBox{width * pic.leftFrac, height * pic.topFrac, width * pic.widthFrac,
                              height * pic.heightFrac, true};
    scene_.drawOrder.push_back(slot);
    if (sheet) PlaceCaption(slot);
  }
}

void PageRefresh::PlaceCaption(int slot) {
  const PicBox& box = model_.box(slot);
  pen_ = PagePen{QStringLiteral("Arial"), kSmallTextPoints * model_.geometry().fontScale, true,
                 false, QColor(Qt::black)};
  const PagePic& pic = model_.pic(slot);
  scene_.captions.push_back(PageText{SheetCaption(pic.file, pic, model_.geometry()),
                                     QPointF(box.left, box.top + box.height + kCaptionGap),
                                     pen_.family, pen_.pointSize, pen_.bold, pen_.italic,
                                     pen_.color});
}

void PageRefresh::DrawLabel() {
  pen_ = PagePen{label_.font, label_.size * model_.geometry().fontScale, label_.bold,
                 label_.italic, ColorFromValue(label_.color)};
  SetLabel(model_.edit().labelText, pen_);
}

void PageRefresh::RedrawLabel(const QString& text, const PagePen& pen) {
  SetLabel(text, pen);
  host_.ShowPage(scene_);
}

void PageRefresh::AddCaption(const PageText& caption) {
  scene_.captions.push_back(caption);
  host_.ShowPage(scene_);
}

void PageRefresh::SetLabel(const QString& text, const PagePen& pen) {
  pen_ = pen;
  scene_.label.reset();
  if (!text.isEmpty()) {
    scene_.label = PageText{text, LabelPosition(model_.geometry()), pen.family, pen.pointSize,
                            pen.bold, pen.italic, pen.color};
  }
}

void PageRefresh::RaisePrintableFrame() {
  scene_.printableOnTop = true;
  host_.ShowPage(scene_);
}

void PageRefresh::LimitWidth() {
  const float width = NumberFromSetting(host_.WidthFieldText());
  host_.SetWidthFieldText(SizeText(LimitWidthField(width, model_.geometry())));
}

}  // namespace lumaset
