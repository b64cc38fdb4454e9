#include "documents/page_printing.h"

#include <QColor>
#include <QDir>
#include <QFileInfo>
#include <QFuture>
#include <QImage>
#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cmath>
#include <deque>
#include <limits>

#include "components/imaging/imaging.h"
#include "components/printer_device.h"
#include "components/settings_store.h"
#include "documents/contact_sheet.h"
#include "documents/page_busy.h"
#include "frame/number_from_setting.h"
#include "frame/settings.h"
#include "layout/page_geometry.h"
#include "layout/page_refresh.h"

namespace lumaset {

namespace {

constexpr int kMarginDrawWidth = 5;
constexpr unsigned kMarginColor = 0xFF0000;  // blue, red in the low byte
constexpr int kCaptionGap = 5;
constexpr int kCaptionSize = 3;
constexpr int kLabelSize = 6;
constexpr int kLabelCorner = 100;
// Photographs show no more detail on paper above this many pixels an inch;
// a printer's finer dots only dither them.
constexpr double kPictureDotsPerTwip = 300.0 / 1440.0;
// Decoded pictures kept for the printer never hold more than this; the
// rest are read again when they print.
constexpr qint64 kDecodedBudget = qint64{192} << 20;

const QString kPrintingError = QStringLiteral("Printing error: ");

Error NoSize() { return Error{QStringLiteral("The page has no size to print from.")}; }

// The picture from its file, decoded no larger than its place on paper needs.
Result<QImage> PrintedPicture(const QString& file, QSizeF printedDots) {
  const Result<FileFacts> facts = Imaging::FileInfo(file);
  if (!facts) return Error{facts.error()};
  return Imaging::readScaled(file, NeededLongSide(QSize(facts->width, facts->height), printedDots));
}

}  // namespace

// A picture ready for the paper: its place, its caption's line, and the
// picture itself, or a null one when the memory budget had it read again at
// its turn. A sheet's box that shows no picture prints its caption alone.
struct PagePrinting::Prepared {
  int slot = -1;
  PrintedPlace place;
  int captionY = 0;
  QSizeF printedDots;
  QImage picture;
  bool emptyBox = false;
};

QString PrintDocumentName() { return QStringLiteral("Lumaset Page"); }

Result<int> PrinterCoordinate(double value) {
  const double whole = std::nearbyint(value);  // the default rounding: halves to even
  if (!(whole >= std::numeric_limits<int>::min() && whole <= std::numeric_limits<int>::max())) {
    return Error{QStringLiteral("A place on the paper is out of range.")};
  }
  return static_cast<int>(whole);
}

Result<PrintedPlace> PlaceOnPaper(const PagePic& pic, const PageGeometry& geometry, int paperWidth,
                                  int paperHeight) {
  const double wide = paperWidth;
  const double high = paperHeight;
  const Result<int> x = PrinterCoordinate(pic.leftFrac * wide - geometry.noPrintLeft / geometry.paperWidth * wide);
  const Result<int> y = PrinterCoordinate(pic.topFrac * high - geometry.noPrintTop / geometry.paperHeight * high);
  const Result<int> width = PrinterCoordinate(pic.widthFrac * wide);
  const Result<int> height = PrinterCoordinate(pic.heightFrac * high);
  for (const Result<int>* part : {&x, &y, &width, &height}) {
    if (!*part) return Error{part->error()};
  }
  return PrintedPlace{*x, *y, *width, *height};
}

int NeededLongSide(QSize picture, QSizeF printed) {
  const int longer = std::max(picture.width(), picture.height());
  if (picture.width() <= 0 || picture.height() <= 0) return std::max(1, longer);
  const double scale = std::max(printed.width() / picture.width(), printed.height() / picture.height());
  if (!(scale < 1)) return longer;
  const double needed = std::ceil(longer * scale);
  return std::clamp(static_cast<int>(std::max(1.0, needed)), 1, longer);
}

PagePrinting::PagePrinting(const PageModel& page, PrinterDevice& printer, const SettingsStore& settings,
                           const Options& options, PrintHost& host)
    : page_(page), printer_(printer), settings_(settings), options_(options), host_(host) {
  printer_.SetRefusals([this](const QString& error) { host_.ShowError(kPrintingError + error); });
}

PagePrinting::~PagePrinting() { printer_.SetRefusals(nullptr); }

void PagePrinting::mnuFilePrint_Click() {
  host_.PlaySound(Sound::Open, Wait::No);
  printer_.SetFastBitmaps(NumberFromSetting(settings_.readSetting(QStringLiteral("FastPrint"), true)) != 0);
  if (!printer_.PrinterReady()) {
    PrintToPdf();
    return;
  }
  const Status shown = printer_.ShowDialog(QString());
  if (!shown) {
    host_.ShowError(kPrintingError + shown.error());
    return;
  }
  const bool confirmed = printer_.DialogOK();
  if (confirmed) {
    host_.PlaySound(Sound::Print, Wait::No);
  } else {
    host_.PlaySound(Sound::Close, Wait::Yes);
  }
  ShowPrinter();
  if (!confirmed) return;

  // Print to file goes to the file named in the print dialog.
  const QString outputFile = printer_.PrintToFile() ? printer_.PrintFile() : QString();
  PrintJobTo(outputFile, printer_.Copies());
}

// Without a printer the page goes to a PDF file on the paper the page has,
// asked for where the last one went, at first where the layouts are kept.
void PagePrinting::PrintToPdf() {
  PaperFromPage();
  const QString folder = printFolder_.isEmpty() ? host_.LayoutFolder() : printFolder_;
  QString outputFile = host_.AskSaveFile(QStringLiteral("Print To File"), QDir(folder).filePath(QStringLiteral("*.pdf")),
                                         QStringLiteral("PDF Files (*.pdf)"));
  const bool chosen = !outputFile.isEmpty();
  if (chosen) {
    host_.PlaySound(Sound::Print, Wait::No);
  } else {
    host_.PlaySound(Sound::Close, Wait::Yes);
  }
  ShowPrinter();
  if (!chosen) return;
  if (QFileInfo(outputFile).suffix().isEmpty()) outputFile += QStringLiteral(".pdf");
  PrintJobTo(outputFile, 1);
}

// A file that could not be written is reported like a printer that failed.
void PagePrinting::PrintJobTo(const QString& outputFile, int copies) {
  const Status printed = PrintJob(outputFile, copies);
  if (!printed) {
    host_.ShowError(kPrintingError + printed.error());
  } else if (!outputFile.isEmpty()) {
    printFolder_ = QFileInfo(outputFile).absolutePath();
  }
}

// The PDF writer takes the page's paper and strips, so that the file shows
// the page as laid out.
void PagePrinting::PaperFromPage() {
  if (printer_.PrinterReady()) return;
  const PageGeometry& g = page_.geometry();
  const double twips = g.inches ? 1440.0 : kTwipsPerCentimetre;
  const auto inTwips = [twips](float length) { return static_cast<int>(std::lround(length * twips)); };
  printer_.SetPaperWithoutPrinter(inTwips(g.paperWidth), inTwips(g.paperHeight), inTwips(g.noPrintLeft),
                                  inTwips(g.noPrintTop));
}

Status PagePrinting::PrintJob(const QString& outputFile, int copies) {
  const Status started = printer_.StartDoc(PrintDocumentName(), outputFile);
  if (!started) return started;
  for (int copy = 0; copy < copies; ++copy) {
    // Half a page is no print: the failure is shown, and nothing of the job
    // reaches the printer or the file.
    if (!PagePrint()) {
      printer_.AbortDoc();
      return Status::success();
    }
  }
  return printer_.EndDoc();
}

void PagePrinting::mnuFilePrintSetup_Click() {
  host_.PlaySound(Sound::Open, Wait::No);
  PaperFromPage();
  const Status shown = printer_.ShowDialog(QStringLiteral("Setup"));
  if (!shown) {
    host_.ShowError(QStringLiteral("Print setup error: ") + shown.error());
    return;
  }
  host_.PlaySound(Sound::Close, Wait::Yes);
  ShowPrinter();
}

void PagePrinting::cmdPrinter_Click() {
  host_.ToolEnable(false, -1);
  mnuFilePrintSetup_Click();
}

// The page follows the printer after its dialogs, whatever the user chose.
void PagePrinting::ShowPrinter() {
  host_.ShowPrinterName(PrinterCaption(printer_.Facts()));
  const bool portraitPaper = printer_.Orientation() == kPortrait;
  const bool portraitPage = host_.PortraitSelected();
  if (portraitPaper && !portraitPage) {
    host_.optPort_Click();
  } else if (!portraitPaper && portraitPage) {
    host_.optLand_Click();
  } else {
    host_.PageRefresh();
  }
}

bool PagePrinting::PagePrint() {
  Status printed = printer_.StartPage();
  const QString kept = host_.StatusText();
  {
    const PageBusy<PrintHost> busy(host_);
    if (printed) {
      host_.SetStatusText(QStringLiteral("Printing Layout... "));
      printed = PrintPage();
    }
    if (!printed) host_.ShowError(kPrintingError + printed.error());
    host_.SetStatusText(kept);
  }
  return printed.ok();
}

// The first failure ends the page: what follows it is not printed. Every
// picture is read before anything is drawn, so that one that cannot be read
// stops the page while the printer has nothing of it.
Status PagePrinting::PrintPage() {
  Result<std::vector<Prepared>> pictures = ReadPictures();
  if (!pictures) return Error{pictures.error()};
  if (options_.printMargin) {
    const Status box = PrintMarginBox();
    if (!box) return box;
  }
  host_.ProcessEvents();
  for (Prepared& picture : pictures.value()) {
    const Status printed = PrintPicture(picture);
    if (!printed) return printed;
  }
  const Status label = PrintText(page_.edit().labelText, kLabelCorner, kLabelCorner, kLabelSize);
  if (!label) return label;
  return printer_.EndPage();
}

// The frame of the printable area, as the page shows it.
Status PagePrinting::PrintMarginBox() {
  const PageGeometry& geometry = page_.geometry();
  const double previewWidth = geometry.previewWidth;
  const double previewHeight = geometry.previewHeight;
  if (!(previewWidth > 0 && previewHeight > 0)) return NoSize();
  const double frameWidth = previewWidth - 2 * geometry.noPrintLeft / geometry.paperWidth * previewWidth;
  const double frameHeight = previewHeight - 2 * geometry.noPrintTop / geometry.paperHeight * previewHeight;
  const double across = printer_.PageWidthTwips() / previewWidth;
  const double down = printer_.PageHeightTwips() / previewHeight;
  const Result<int> x1 = PrinterCoordinate(across);
  const Result<int> y1 = PrinterCoordinate(down);
  const Result<int> x2 = PrinterCoordinate(across * frameWidth);
  const Result<int> y2 = PrinterCoordinate(down * frameHeight);
  for (const Result<int>* corner : {&x1, &y1, &x2, &y2}) {
    if (!*corner) return Error{corner->error()};
  }
  printer_.SetDrawWidth(kMarginDrawWidth);
  printer_.SetLineColor(ColorFromValue(kMarginColor));
  return printer_.DrawBox(*x1, *y1, *x2, *y2);
}

// The pictures in their order, decoded side by side on the cores; as many
// are kept as the memory budget allows. The first that cannot be read or
// placed ends the reading.
Result<std::vector<PagePrinting::Prepared>> PagePrinting::ReadPictures() const {
  std::vector<Prepared> prepared;
  // The page's own workers end with it, after what they are still reading.
  QThreadPool workers;
  const auto ahead = static_cast<std::size_t>(std::max(1, workers.maxThreadCount()));
  std::deque<std::pair<std::size_t, QFuture<Result<QImage>>>> reading;
  qint64 held = 0;
  const auto finishOne = [&]() -> Status {
    auto [index, future] = std::move(reading.front());
    reading.pop_front();
    Result<QImage> picture = future.result();
    if (!picture) return Error{picture.error()};
    if (held + picture->sizeInBytes() <= kDecodedBudget) {
      held += picture->sizeInBytes();
      prepared[index].picture = std::move(picture).value();
    }
    return Status::success();
  };
  for (const int slot : StackingOrder(page_)) {
    const PagePic& pic = page_.pic(slot);
    const Result<PrintedPlace> place =
        PlaceOnPaper(pic, page_.geometry(), printer_.PageWidthTwips(), printer_.PageHeightTwips());
    if (!place) return Error{place.error()};
    const Result<int> below = PrinterCoordinate(static_cast<double>(place->y) + place->height + kCaptionGap);
    if (!below) return Error{below.error()};
    const double dots = std::min(printer_.DotsPerTwip(), kPictureDotsPerTwip);
    const QSizeF printed(std::abs(place->width) * dots, std::abs(place->height) * dots);
    // A box whose reading already failed, and was shown, when the sheet was made.
    const bool emptyBox = host_.UnreadSheetCell(slot);
    prepared.push_back(Prepared{slot, *place, *below, printed, QImage(), emptyBox});
    if (emptyBox) continue;
    reading.emplace_back(prepared.size() - 1, QtConcurrent::run(&workers, [file = pic.file, printed] {
                           return PrintedPicture(file, printed);
                         }));
    if (reading.size() < ahead) continue;
    const Status read = finishOne();
    if (!read) return Error{read.error()};
  }
  while (!reading.empty()) {
    const Status read = finishOne();
    if (!read) return Error{read.error()};
  }
  return prepared;
}

Status PagePrinting::PrintPicture(Prepared& prepared) {
  if (prepared.emptyBox) return PrintCaption(prepared);
  if (prepared.picture.isNull()) {
    Result<QImage> again = PrintedPicture(page_.pic(prepared.slot).file, prepared.printedDots);
    if (!again) return Error{again.error()};
    prepared.picture = std::move(again).value();
  }
  const PrintedPlace& place = prepared.place;
  const Status painted = printer_.PaintPicture(prepared.picture, place.x, place.y, place.width, place.height);
  prepared.picture = QImage();
  if (!painted || !host_.ThumbSheet()) return painted;
  return PrintCaption(prepared);
}

Status PagePrinting::PrintCaption(const Prepared& prepared) {
  const PagePic& pic = page_.pic(prepared.slot);
  return PrintText(SheetCaption(pic.file, pic, page_.geometry()), prepared.place.x, prepared.captionY,
                   kCaptionSize);
}

// Printed text is always Arial, bold and black, whatever the page label's look.
Status PagePrinting::PrintText(const QString& text, int x, int y, int size) {
  printer_.SetFontName(QStringLiteral("Arial"));
  printer_.SetFontSize(PrinterDevice::PointSize(size));
  printer_.SetTextColor(QColor(Qt::black));
  printer_.SetFontBold(true);
  printer_.SetCurrentX(x);
  printer_.SetCurrentY(y);
  return printer_.PrintText(text);
}

}  // namespace lumaset
