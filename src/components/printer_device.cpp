#include "components/printer_device.h"

#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontMetricsF>
#include <QImage>
#include <QList>
#include <QMarginsF>
#include <QPageLayout>
#include <QPageSize>
#include <QPainter>
#include <QPair>
#include <QPen>
#include <QPrintEngine>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryDir>
#include <QThreadPool>

#include "components/file_system.h"
#include "components/printer_setup.h"
#include "components/shared_library.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

#include <cups/cups.h>
#include <fcntl.h>
#include <unistd.h>

namespace lumaset {

namespace {

// What the program asks of CUPS itself; Qt's print support reaches the
// queues on its own.
#define LUMASET_CUPS_FUNCTIONS(F) F(cupsPrintFile) F(cupsLastErrorString) F(cupsSetServer)
LUMASET_LIBRARY_FUNCTIONS(Cups, LUMASET_CUPS_LIBRARY, LUMASET_CUPS_FUNCTIONS);

constexpr double kTwipsPerPoint = 20;
constexpr double kPointsPerInch = 72;
constexpr double kTwipsPerInch = 1440;
// The dots an inch of Qt's PDF writer made for high resolution.
constexpr int kPdfDotsPerInch = 1200;
// A print server that is never there: asked, it fails at once.
constexpr char kNoPrintServer[] = "/nonexistent/lumaset-no-print-server";
// Line widths count in dots of this resolution, whatever the printer's own.
constexpr double kLineDotsPerInch = 300;
// Qt's PDF writer ends every whole document with this line; its own write
// errors go unheeded, so output without it at the end was cut short.
constexpr char kPdfEnd[] = "%%EOF";
constexpr qint64 kCopyChunk = 1 << 20;
// Named options for a print queue, as CUPS takes them.
using QueueOptions = QList<QPair<QByteArray, QByteArray>>;
// The engine key under which Qt's print dialog leaves the CUPS options it
// chose (pages per sheet, page set, banners and the like).
constexpr auto kCupsOptions = QPrintEngine::PrintEnginePropertyKey(0xfe00);

int toTwips(double points) { return static_cast<int>(std::lround(points * kTwipsPerPoint)); }

Error noPrinter() { return Error{QStringLiteral("No printer is available.")}; }

Error noLongerThere(const QString& queue) { return Error{PrinterNoLongerThere(queue)}; }

Error notWritten(const QString& path, const QString& cause) {
  return Error{QStringLiteral("\"%1\" cannot be written: %2.").arg(path, cause)};
}

bool endsWithPdfEnd(QFile& pdf) {
  const qint64 size = pdf.size();
  const qint64 tail = std::min<qint64>(size, 32);
  if (!pdf.seek(size - tail)) return false;
  return pdf.read(tail).trimmed().endsWith(kPdfEnd);
}

// Why the writer's output at `path` stopped short: what the system says when
// one more byte is added to it, where it says anything.
QString whyCutShort(const QString& path) {
  const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0) return QString::fromLocal8Bit(std::strerror(errno));
  QString cause = QStringLiteral("the printed document was cut short");
  if (::write(fd, "\n", 1) != 1) cause = QString::fromLocal8Bit(std::strerror(errno));
  ::close(fd);
  return cause;
}

// Opens the writer's output at `written` as `pdf`; the cause when it cannot
// be opened or was cut short.
std::optional<QString> openWholePdf(QFile& pdf, const QString& written) {
  pdf.setFileName(written);
  if (!pdf.open(QIODevice::ReadOnly)) return pdf.errorString();
  if (!endsWithPdfEnd(pdf)) return whyCutShort(written);
  return std::nullopt;
}

// Copies the writer's finished output at `written` through the checked
// write, so that `target` changes only once every byte of it is on disk.
Status fileWholePdf(const QString& written, const QString& target) {
  QFile pdf;
  if (const auto problem = openWholePdf(pdf, written)) return notWritten(target, *problem);
  if (!pdf.seek(0)) return notWritten(target, pdf.errorString());
  CheckedFile out(target);
  Status done = out.Open();
  while (done && !pdf.atEnd()) {
    const QByteArray chunk = pdf.read(kCopyChunk);
    if (chunk.isEmpty()) return notWritten(target, pdf.errorString());
    done = out.Write(chunk);
  }
  if (done) done = out.Commit();
  return done;
}

// What the queue is told about a job: the paper, the turn and the dialog's
// CUPS options. Every page of a job is a copy of the one page, so each is
// printed on a sheet of its own, whatever two-sided printing was chosen
// (its back would hold the next copy), and no copies are asked of the
// queue. CUPS takes a bare option with no value as "no", so "landscape"
// says "true".
QueueOptions queueOptionsOf(QPrinter& printer) {
  const QPageLayout layout = printer.pageLayout();
  QueueOptions options{{"media", layout.pageSize().key().toUtf8()}, {"sides", "one-sided"}};
  if (layout.orientation() == QPageLayout::Landscape) options.emplace_back("landscape", "true");
  const QStringList chosen = printer.printEngine()->property(kCupsOptions).toStringList();
  for (qsizetype i = 0; i + 1 < chosen.size(); i += 2) options.emplace_back(chosen[i].toUtf8(), chosen[i + 1].toUtf8());
  return options;
}

// What a printer takes over from another when it stands in for it: the
// paper, its turn, the colours and the sides.
void printLike(QPrinter& printer, const QPrinter& like) {
  printer.setPageLayout(like.pageLayout());
  printer.setColorMode(like.colorMode());
  printer.setDuplex(like.duplex());
}

Error refusedBy(const QString& queue, QString cause) {
  while (cause.endsWith(QLatin1Char('.'))) cause.chop(1);  // CUPS ends some of its own
  return Error{QStringLiteral("The printer %1 did not take the job: %2.").arg(queue, cause)};
}

// Hands the finished PDF at `written` to the queue as one job. Asks the
// print server: for a thread that may wait.
Status sendToQueue(const QString& written, const QString& queue, const QString& title, const QueueOptions& options) {
  std::vector<cups_option_t> cupsOptions;
  for (const auto& [name, value] : options) {
    cupsOptions.push_back(cups_option_t{const_cast<char*>(name.constData()), const_cast<char*>(value.constData())});
  }
  // A queue's instance ("name/instance") prints on the queue itself.
  const QByteArray name = queue.section(QLatin1Char('/'), 0, 0).toUtf8();
  const Result<Cups>& cups = Cups::Get();
  if (!cups) return refusedBy(queue, cups.error());
  const int id = cups->cupsPrintFile(name.constData(), QFile::encodeName(written).constData(),
                                     title.toUtf8().constData(), static_cast<int>(cupsOptions.size()),
                                     cupsOptions.data());
  if (id != 0) return Status::success();
  const QString cause = QString::fromUtf8(cups->cupsLastErrorString());  // before CUPS is asked anything else
  if (QPrinterInfo::printerInfo(queue).isNull()) return noLongerThere(queue);
  return refusedBy(queue, cause);
}

// The facts of a paper laid out as `layout`, printed at `dotsPerInch`.
PrinterFacts factsOfLayout(QPageLayout layout, int dotsPerInch) {
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
  facts.pageWidthTwips = toTwips(paper.width());
  facts.pageHeightTwips = toTwips(paper.height());
  facts.noPrintLeftTwips = toTwips(across);
  facts.noPrintTopTwips = toTwips(down);
  const double printablePoints = std::max(0.0, paper.width() - 2 * across);
  facts.printableDots = static_cast<int>(std::lround(printablePoints * dotsPerInch / kPointsPerInch));
  facts.orientation = landscape ? kLandscape : kPortrait;
  return facts;
}

}  // namespace

PrinterFacts FactsOf(const QPrinter& printer) {
  PrinterFacts facts = factsOfLayout(printer.pageLayout(), printer.resolution());
  facts.deviceName = printer.printerName();
  return facts;
}

// A job's drawing surface and where its output goes.
struct PrinterDevice::Job {
  QPainter painter;
  PrinterFacts facts;  // the page as the job started: its origin and size
  double dotsPerTwip = 1;
  std::unique_ptr<QPrinter> ownWriter;  // the job's PDF writer, when it has one
  QPrinter* writer = nullptr;           // what the job draws on: its own writer, or a printer given
  QString target;   // the file the job ends in; "" for the printer
  QString queue;    // the queue the whole job goes to at its end; "" for a file
  QueueOptions queueOptions;
  QString title;
  std::unique_ptr<QTemporaryDir> scratch;  // the writer's own folder, until the job ends
  QString partial;  // where the writer puts the PDF, for the target to take when whole
  int pages = 0;    // sheets begun on the printer
  bool pageOpen = false;
  bool pageBegun = false;  // the open page has its sheet

  QPointF at(int x, int y) const {
    return {(static_cast<double>(facts.noPrintLeftTwips) + x) * dotsPerTwip,
            (static_cast<double>(facts.noPrintTopTwips) + y) * dotsPerTwip};
  }
};

PrinterDevice::PrinterDevice(Start start) : server_(std::make_unique<ThreadedPrintServer>()) {
  if (start == Start::DefaultPrinter) {
    queue_ = DefaultQueue();
    printer_ = MakePrinterFor(queue_);
  }
  if (!printer_) {
    UsePdfWriter();
    return;
  }
  ready_ = true;
}

PrinterDevice::PrinterDevice(std::unique_ptr<QPrinter> printer)
    : printer_(std::move(printer)), ready_(printer_ != nullptr),
      ownFile_(printer_ ? printer_->outputFileName() : QString()),
      server_(std::make_unique<ThreadedPrintServer>()) {
  if (!printer_) UsePdfWriter();
}

// Letter paper with half-inch strips until the page says otherwise.
void PrinterDevice::UsePdfWriter() {
  queue_.clear();
  printer_.reset();
  ready_ = false;
  ownFile_.clear();
  SetPaperWithoutPrinter(12240, 15840, 720, 720);
}

// A PDF writer on the paper, turn and colours the page prints with. Made,
// a printer object asks the print system for its default queue and waits
// as long as a silent server keeps it: the writer is made while this
// thread's CUPS names a server that is never there.
std::unique_ptr<QPrinter> PrinterDevice::WriterLikePrinter() const {
  const Result<Cups>& cups = Cups::Get();
  if (cups) cups->cupsSetServer(kNoPrintServer);
  auto writer = std::make_unique<QPrinter>(QPrinter::HighResolution);
  if (cups) cups->cupsSetServer(nullptr);  // the server the settings name, again
  writer->setOutputFormat(QPrinter::PdfFormat);
  if (ready_) {
    printLike(*writer, *printer_);
  } else {
    writer->setPageLayout(blank_);
  }
  return writer;
}

QPageLayout PrinterDevice::Layout() const { return ready_ ? printer_->pageLayout() : blank_; }

bool PrinterDevice::Adopt(FoundPrinter&& found) {
  if (ready_ || chosen_ || job_ || found.queue.isEmpty() || !found.printer) return false;
  queue_ = std::move(found.queue);
  printer_ = std::move(found.printer);
  ready_ = true;
  ownFile_.clear();
  server_->AskQueues(nullptr, [] {});
  return true;
}

void PrinterDevice::OpenLibrariesAhead() {
  static std::once_flag started;
  // Qt's print support links CUPS: open ahead, it is found already loaded.
  std::call_once(started, [] { QThreadPool::globalInstance()->start([] { (void)Cups::Get(); }); });
}

// A job still open when the program ends is dropped, not printed half.
PrinterDevice::~PrinterDevice() { AbortDoc(); }

void PrinterDevice::AbortDoc() {
  if (!job_) return;
  if (job_->painter.isActive()) {
    job_->writer->abort();
    job_->painter.end();
  }
  job_->writer->setFullPage(false);
  job_.reset();
}

QString PrinterDevice::DeviceName() const { return queue_; }

PrinterFacts PrinterDevice::Facts() const {
  if (job_) return job_->facts;
  if (ready_) {
    PrinterFacts facts = FactsOf(*printer_);
    facts.deviceName = queue_;
    return facts;
  }
  // A file has no strips of its own: the page's are kept free.
  PrinterFacts facts = factsOfLayout(blank_, kPdfDotsPerInch);
  facts.ready = false;
  facts.noPrintLeftTwips = blankStrips_.x();
  facts.noPrintTopTwips = blankStrips_.y();
  const double printable = std::max(0, facts.pageWidthTwips - 2 * facts.noPrintLeftTwips);
  facts.printableDots = static_cast<int>(std::lround(printable * kPdfDotsPerInch / kTwipsPerInch));
  return facts;
}

double PrinterDevice::DotsPerTwip() const {
  if (job_) return job_->dotsPerTwip;
  return (ready_ ? printer_->resolution() : kPdfDotsPerInch) / kTwipsPerInch;
}

int PrinterDevice::Orientation() const {
  return Layout().orientation() == QPageLayout::Landscape ? kLandscape : kPortrait;
}

Status PrinterDevice::SetOrientation(int orientation) {
  if (orientation != kPortrait && orientation != kLandscape) {
    return Error{QStringLiteral("Invalid orientation %1.").arg(orientation)};
  }
  if (job_) return Error{QStringLiteral("The paper cannot be turned while a page prints.")};
  const auto wanted = orientation == kPortrait ? QPageLayout::Portrait : QPageLayout::Landscape;
  if (!ready_) {
    blank_.setOrientation(wanted);
    return Status::success();
  }
  if (!printer_->setPageOrientation(wanted)) {
    return Error{QStringLiteral("The printer %1 cannot turn its paper.").arg(queue_)};
  }
  return Status::success();
}

void PrinterDevice::SetPaperWithoutPrinter(int widthTwips, int heightTwips, int stripLeftTwips,
                                           int stripTopTwips) {
  if (ready_ || job_ || widthTwips <= 0 || heightTwips <= 0) return;
  const bool landscape = widthTwips > heightTwips;
  const QSizeF upright(std::min(widthTwips, heightTwips) / kTwipsPerPoint,
                       std::max(widthTwips, heightTwips) / kTwipsPerPoint);
  const QPageSize paper(upright, QPageSize::Point, QString(), QPageSize::ExactMatch);
  blank_ = QPageLayout(paper, landscape ? QPageLayout::Landscape : QPageLayout::Portrait, QMarginsF(),
                       QPageLayout::Point);
  blankStrips_ = {std::max(0, stripLeftTwips), std::max(0, stripTopTwips)};
}

PrinterChoice PrinterDevice::CurrentChoice() const {
  return PrinterChoice{ready_ ? queue_ : QString(), Layout().pageSize(), Orientation()};
}

Status PrinterDevice::Choose(const PrinterChoice& choice, std::unique_ptr<QPrinter> made) {
  if (job_) return Error{QStringLiteral("A print job is still open.")};
  chosen_ = true;  // no printer found later takes the place of what the user chose, the PDF writer included
  if (!choice.printerName.isEmpty() && (!ready_ || choice.printerName != queue_)) {
    if (!made) return noLongerThere(choice.printerName);
    printer_ = std::move(made);
    queue_ = choice.printerName;
    ready_ = true;
    ownFile_.clear();
  } else if (choice.printerName.isEmpty() && !queue_.isEmpty()) {
    UsePdfWriter();  // the queue printed on is gone
  }
  if (!ready_) {
    if (choice.paper.isValid()) blank_.setPageSize(choice.paper);
  } else if (choice.paper.isValid() && !printer_->setPageSize(choice.paper)) {
    return Error{QStringLiteral("The printer %1 cannot print on %2.").arg(queue_, choice.paper.name())};
  }
  return SetOrientation(choice.orientation);
}

void PrinterDevice::SetDialogs(std::unique_ptr<PrinterDialogs> dialogs) { dialogs_ = std::move(dialogs); }

PrinterDialogs& PrinterDevice::dialogs() {
  if (!dialogs_) dialogs_ = std::make_unique<QtPrinterDialogs>();
  return *dialogs_;
}

Status PrinterDevice::ShowDialog(const QString& mode) {
  const bool setup = mode == QLatin1String("Setup");
  if (!setup && !mode.isEmpty()) return Error{QStringLiteral("There is no printer dialog \"%1\".").arg(mode)};
  if (job_) return Error{QStringLiteral("A print job is still open.")};
  printToFile_ = false;
  printFile_.clear();
  copies_ = 1;
  dialogOK_ = false;
  if (setup) {
    PrinterSetup choice(*server_, CurrentChoice(), patienceMs_);
    if (!dialogs().Choose(choice)) return Status::success();
    dialogOK_ = true;
    return Choose(choice.Choice(), choice.TakePrinter());
  }
  if (!ready_) return noPrinter();
  Result<std::unique_ptr<QPrinter>> shown = PrinterForDialog();
  if (!shown) return shown.cancelled() ? Status::success() : Status(Error{shown.error()});
  dialogOK_ = dialogs().Print(*shown.value());
  if (dialogOK_) TakeFromDialog(std::move(shown).value());
  return Status::success();
}

// What the print dialog opens on: a printer made for the queue afresh
// (Qt's dialog changes the printer it is handed, and going back from a file
// chosen there would ask the print server again), or a writer like a
// printer given; set as the printer is.
Result<std::unique_ptr<QPrinter>> PrinterDevice::PrinterForDialog() {
  std::unique_ptr<QPrinter> shown;
  if (queue_.isEmpty()) {
    shown = WriterLikePrinter();
    // No name would make it a printer of the print system's again.
    if (!ownFile_.isEmpty()) shown->setOutputFileName(ownFile_);
  } else {
    PrinterWait wait(*server_, queue_, patienceMs_);
    if (!dialogs().Wait(wait)) return Error{QString(), true};
    shown = wait.Take();
    if (!shown) return Error{wait.state() == PrinterWait::State::Asking ? PrintServerSilent() : wait.Problem()};
    printLike(*shown, *printer_);
  }
  shown->setCopyCount(1);
  return shown;
}

// A queue chosen in the print dialog is the printer from then on, with
// what was chosen there; a file is for the next job only, the printer
// keeping the paper and colours chosen for it.
void PrinterDevice::TakeFromDialog(std::unique_ptr<QPrinter> shown) {
  copies_ = std::max(0, shown->copyCount());
  shown->setCopyCount(1);
  const QString file = shown->outputFileName();
  printToFile_ = shown->outputFormat() == QPrinter::PdfFormat && !file.isEmpty() && file != ownFile_;
  if (printToFile_) printFile_ = file;
  if (!printToFile_ && !queue_.isEmpty()) {
    queue_ = shown->printerName();
    printer_ = std::move(shown);
    return;
  }
  printLike(*printer_, *shown);
}

Status PrinterDevice::StartDoc(const QString& docName, const QString& outputFile) {
  if (!ready_ && outputFile.isEmpty()) return noPrinter();
  if (job_) return Error{QStringLiteral("A print job is already open.")};
  auto job = std::make_unique<Job>();
  job->facts = Facts();
  job->writer = printer_.get();
  // A queue cannot take back what it was given, and the printer's own
  // engine hands it the job as it ends, even one that is being dropped: a
  // queue's job is made as a PDF first and handed over once it is whole.
  if (outputFile.isEmpty() && !queue_.isEmpty()) {
    job->queue = queue_;
    job->queueOptions = queueOptionsOf(*printer_);
    job->title = docName;
  }
  if (!outputFile.isEmpty() || !job->queue.isEmpty()) {
    // The writer works in a private folder of its own: nothing of a job
    // that fails is ever seen beside the target.
    job->scratch = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/lumaset-print-XXXXXX"));
    if (!job->scratch->isValid()) {
      const QString cause = job->scratch->errorString();
      if (outputFile.isEmpty()) return Error{QStringLiteral("The printer %1 cannot start printing: %2.").arg(job->queue, cause)};
      return notWritten(outputFile, cause);
    }
    job->target = outputFile;
    job->partial = job->scratch->filePath(QStringLiteral("job.pdf"));
    job->ownWriter = WriterLikePrinter();
    job->ownWriter->setOutputFileName(job->partial);
    job->writer = job->ownWriter.get();
  }
  job->writer->setDocName(docName);
  job->writer->setFullPage(true);
  job->dotsPerTwip = job->writer->resolution() / kTwipsPerInch;
  job_ = std::move(job);
  return Status::success();
}

// The sheet itself begins with the first thing drawn on it: a queue cannot
// take back what it was given, so a page that fails before that leaves the
// printer nothing.
Status PrinterDevice::StartPage() {
  if (!job_) return Error{QStringLiteral("No print job is open.")};
  job_->pageOpen = true;
  job_->pageBegun = false;
  return Status::success();
}

Status PrinterDevice::EndPage() {
  const Status ready = PageReady();
  if (!ready) return ready;
  job_->pageOpen = false;
  return Status::success();
}

Status PrinterDevice::EndDoc() {
  if (!job_) return Error{QStringLiteral("No print job is open.")};
  const bool printed = job_->pages > 0;
  const bool ended = !job_->painter.isActive() || job_->painter.end();
  job_->writer->setFullPage(false);
  Status status = Status::success();
  if (!ended) status = Error{QStringLiteral("The printer %1 did not take the job.").arg(queue_)};
  if (!job_->partial.isEmpty()) {
    const Status filed = FinishFile(ended && printed);
    if (status.ok()) status = filed;
  }
  job_.reset();
  return status;
}

// A file takes the whole PDF at once; a queue's job is checked whole here
// and handed over away, its private folder going with it.
Status PrinterDevice::FinishFile(bool printed) {
  if (!printed) return Status::success();
  if (job_->queue.isEmpty()) return fileWholePdf(job_->partial, job_->target);
  {
    QFile pdf;
    if (const auto problem = openWholePdf(pdf, job_->partial)) return refusedBy(job_->queue, *problem);
  }
  std::shared_ptr<QTemporaryDir> scratch = std::move(job_->scratch);
  server_->Send(
      [scratch, pdf = job_->partial, queue = job_->queue, title = job_->title, options = job_->queueOptions] {
        return sendToQueue(pdf, queue, title, options);
      },
      [this](const Status& sent) {
        if (!sent && refused_) refused_(sent.error());
      });
  return Status::success();
}

Status PrinterDevice::PageReady() {
  if (!job_ || !job_->pageOpen) return Error{QStringLiteral("No page is being printed.")};
  Job& job = *job_;
  if (job.pageBegun) return Status::success();
  if (!job.painter.isActive()) {
    if (!job.painter.begin(job.writer)) {
      return job.target.isEmpty()
                 ? Error{QStringLiteral("The printer %1 cannot start printing.").arg(queue_)}
                 : notWritten(job.target, QStringLiteral("the file cannot be opened"));
    }
  } else if (!job.writer->newPage()) {
    return Error{QStringLiteral("The printer cannot start a new page.")};
  }
  ++job.pages;
  job.pageBegun = true;
  job.painter.setRenderHint(QPainter::SmoothPixmapTransform, !fastBitmaps_);
  job.painter.setRenderHint(QPainter::LosslessImageRendering, !fastBitmaps_);
  return Status::success();
}

Status PrinterDevice::DrawBox(int x1, int y1, int x2, int y2) {
  const Status ready = PageReady();
  if (!ready) return ready;
  QPainter& painter = job_->painter;
  const double width = drawWidth_ * kTwipsPerInch / kLineDotsPerInch * job_->dotsPerTwip;
  painter.setPen(QPen(lineColor_, width, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(QRectF(job_->at(x1, y1), job_->at(x2, y2)).normalized());
  return Status::success();
}

Status PrinterDevice::PaintPicture(const QImage& picture, int x, int y, int width, int height) {
  const Status ready = PageReady();
  if (!ready) return ready;
  if (picture.isNull()) return Error{QStringLiteral("There is no picture to print.")};
  const QSizeF size(width * job_->dotsPerTwip, height * job_->dotsPerTwip);
  job_->painter.drawImage(QRectF(job_->at(x, y), size), picture);
  return Status::success();
}

Status PrinterDevice::PrintText(const QString& text) {
  const Status ready = PageReady();
  if (!ready) return ready;
  QFont font(fontName_);
  font.setPointSizeF(fontSize_ > 0 ? fontSize_ : 1);
  font.setBold(fontBold_);
  QPainter& painter = job_->painter;
  painter.setFont(font);
  painter.setPen(textColor_);
  const QFontMetricsF metrics(painter.font(), job_->writer);
  painter.drawText(job_->at(currentX_, currentY_) + QPointF(0, metrics.ascent()), text);
  return Status::success();
}

}  // namespace lumaset
