#include "components/printer_device.h"

#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QEvent>
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
#include <QPrintDialog>
#include <QPrintEngine>
#include <QPrinter>
#include <QPointer>
#include <QTemporaryDir>
#include <QThreadPool>

#include "components/file_system.h"
#include "components/printer_choice_dialog.h"
#include "components/shared_library.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <thread>
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

// Without a default, any printer at all is better than refusing to print.
QPrinterInfo choosePrinter() {
  QPrinterInfo printer = QPrinterInfo::defaultPrinter();
  if (!printer.isNull()) return printer;
  const QList<QPrinterInfo> printers = QPrinterInfo::availablePrinters();
  return printers.isEmpty() ? QPrinterInfo() : printers.constFirst();
}

// Qt starts every printer on A4 whatever paper it holds: the printer for
// `queue` starts on the paper the queue says it has.
std::unique_ptr<QPrinter> makePrinter(const QPrinterInfo& queue) {
  auto printer = std::make_unique<QPrinter>(queue, QPrinter::HighResolution);
  if (queue.defaultPageSize().isValid()) printer->setPageSize(queue.defaultPageSize());
  return printer;
}

// Whoever waits for a printer found away, while it is there.
struct PrinterWanted {
  std::mutex mutex;
  QObject* receiver = nullptr;
};

int toTwips(double points) { return static_cast<int>(std::lround(points * kTwipsPerPoint)); }

Error noPrinter() { return Error{QStringLiteral("No printer is available.")}; }

Error noLongerThere(const QString& queue) {
  return Error{QStringLiteral("The printer %1 is no longer there.").arg(queue)};
}

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

// Hands the finished PDF at `written` to the queue as one job.
Status sendToQueue(const QString& written, const QString& queue, const QString& title,
                   const QueueOptions& options) {
  const auto refused = [&queue](QString cause) {
    while (cause.endsWith(QLatin1Char('.'))) cause.chop(1);  // CUPS ends some of its own
    return Error{QStringLiteral("The printer %1 did not take the job: %2.").arg(queue, cause)};
  };
  QFile pdf;
  if (const auto problem = openWholePdf(pdf, written)) return refused(*problem);
  std::vector<cups_option_t> cupsOptions;
  for (const auto& [name, value] : options) {
    cupsOptions.push_back(cups_option_t{const_cast<char*>(name.constData()), const_cast<char*>(value.constData())});
  }
  // A queue's instance ("name/instance") prints on the queue itself.
  const QByteArray name = queue.section(QLatin1Char('/'), 0, 0).toUtf8();
  const Result<Cups>& cups = Cups::Get();
  if (!cups) return refused(cups.error());
  const int id = cups->cupsPrintFile(name.constData(), QFile::encodeName(written).constData(),
                                     title.toUtf8().constData(), static_cast<int>(cupsOptions.size()),
                                     cupsOptions.data());
  if (id != 0) return Status::success();
  const QString cause = QString::fromUtf8(cups->cupsLastErrorString());  // before CUPS is asked anything else
  if (QPrinterInfo::printerInfo(queue).isNull()) return noLongerThere(queue);
  return refused(cause);
}

// Qt 6.4's print dialog makes its page settings (behind Properties) from
// the queue's default paper, not from the printer it is handed, and makes
// them when Properties is first pressed or else when the dialog is
// accepted, which then puts that paper on the printer. Shown, the settings
// start here on the page's paper; never shown, the page's paper and turn
// are put back afterwards, since nobody changed them.
class PrintDialogPaper final : public QObject {
 public:
  PrintDialogPaper(QDialog& dialog, QPrinter& printer)
      : dialog_(dialog), printer_(printer), kept_(printer.pageLayout()), queue_(printer.printerName()) {
    dialog_.installEventFilter(this);
  }
  ~PrintDialogPaper() override { dialog_.removeEventFilter(this); }
  PrintDialogPaper(const PrintDialogPaper&) = delete;
  PrintDialogPaper& operator=(const PrintDialogPaper&) = delete;

  // After the dialog was accepted.
  void Settle() {
    if (settings_) return;  // the user saw the paper and chose it
    if (printer_.outputFormat() == QPrinter::PdfFormat || printer_.printerName() == queue_) {
      printer_.setPageLayout(kept_);
      return;
    }
    // Another queue: the page's paper where that queue has it.
    const QList<QPageSize> papers = QPrinterInfo(printer_).supportedPageSizes();
    const qsizetype same = PaperIndex(papers, kept_.pageSize());
    if (same >= 0) printer_.setPageSize(papers[same]);
    printer_.setPageOrientation(kept_.orientation());
  }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == &dialog_ && event->type() == QEvent::ChildAdded) {
      QObject* child = static_cast<QChildEvent*>(event)->child();
      if (child->isWidgetType()) child->installEventFilter(this);
    } else if (watched != &dialog_ && event->type() == QEvent::Show && watched != settings_) {
      auto* papers = watched->findChild<QComboBox*>(QStringLiteral("pageSizeCombo"));
      if (papers) {
        settings_ = static_cast<QWidget*>(watched);
        QList<QPageSize> rows;
        for (int row = 0; row < papers->count(); ++row) rows.append(papers->itemData(row).value<QPageSize>());
        const qsizetype same = PaperIndex(rows, kept_.pageSize());
        if (same >= 0) papers->setCurrentIndex(static_cast<int>(same));
      }
    }
    return false;
  }

 private:
  QDialog& dialog_;
  QPrinter& printer_;
  const QPageLayout kept_;
  const QString queue_;
  QPointer<QWidget> settings_;  // the page settings, once shown
};

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

void FindPrinterAway(QObject* receiver, std::function<void(const std::shared_ptr<FoundPrinter>&)> found) {
  auto wanted = std::make_shared<PrinterWanted>();
  wanted->receiver = receiver;
  QObject::connect(receiver, &QObject::destroyed, [wanted] {
    const std::lock_guard lock(wanted->mutex);
    wanted->receiver = nullptr;
  });
  std::thread([wanted, found = std::move(found)] {
    const auto stillWanted = [&wanted] {
      const std::lock_guard lock(wanted->mutex);
      return wanted->receiver != nullptr;
    };
    auto result = std::make_shared<FoundPrinter>();
    result->info = choosePrinter();
    if (result->info.isNull() || !stillWanted()) return;
    result->printer = makePrinter(result->info);
    const std::lock_guard lock(wanted->mutex);
    if (!wanted->receiver) return;
    QMetaObject::invokeMethod(wanted->receiver, [found, result] { found(result); }, Qt::QueuedConnection);
  }).detach();
}

QtPrinterDialogs::QtPrinterDialogs(QWidget* parent) : parent_(parent) {}

bool QtPrinterDialogs::Print(QPrinter& printer) {
  QPrintDialog dialog(&printer, parent_);
  PrintDialogPaper paper(dialog, printer);
  if (dialog.exec() != QDialog::Accepted) return false;
  paper.Settle();
  return true;
}

bool QtPrinterDialogs::Choose(PrinterChoiceModel& model) {
  PrinterChoiceDialog dialog(model, parent_);
  return dialog.exec() == QDialog::Accepted;
}

// A job's drawing surface and where its output goes.
struct PrinterDevice::Job {
  QPainter painter;
  PrinterFacts facts;  // the page as the job started: its origin and size
  double dotsPerTwip = 1;
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

PrinterDevice::PrinterDevice(Start start) {
  if (start == Start::DefaultPrinter) info_ = choosePrinter();
  if (info_.isNull()) {
    UsePdfWriter();
    return;
  }
  printer_ = makePrinter(info_);
  ready_ = true;
}

PrinterDevice::PrinterDevice(std::unique_ptr<QPrinter> printer)
    : printer_(std::move(printer)), ready_(printer_ != nullptr),
      ownFile_(printer_ ? printer_->outputFileName() : QString()) {
  if (!printer_) UsePdfWriter();
}

// Letter paper with half-inch strips until the page says otherwise.
void PrinterDevice::UsePdfWriter() {
  info_ = QPrinterInfo();
  printer_.reset();
  ready_ = false;
  ownFile_.clear();
  SetPaperWithoutPrinter(12240, 15840, 720, 720);
}

// The PDF writer itself, for a job, on the paper the page gave it. Made,
// a printer object asks the print system for its default queue and waits
// as long as a silent server keeps it: the writer is made while this
// thread's CUPS names a server that is never there.
void PrinterDevice::MakePdfWriter() {
  if (!printer_) {
    const Result<Cups>& cups = Cups::Get();
    if (cups) cups->cupsSetServer(kNoPrintServer);
    printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    if (cups) cups->cupsSetServer(nullptr);  // the server the settings name, again
  }
  printer_->setOutputFormat(QPrinter::PdfFormat);
  printer_->setPageLayout(blank_);
}

QPageLayout PrinterDevice::Layout() const { return ready_ ? printer_->pageLayout() : blank_; }

bool PrinterDevice::Adopt(FoundPrinter&& found) {
  if (ready_ || chosen_ || job_ || found.info.isNull() || !found.printer) return false;
  info_ = std::move(found.info);
  printer_ = std::move(found.printer);
  ready_ = true;
  ownFile_.clear();
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
    printer_->abort();
    job_->painter.end();
  }
  printer_->setFullPage(false);
  if (!job_->partial.isEmpty()) BackToPrinter();
  job_.reset();
}

QString PrinterDevice::DeviceName() const { return info_.printerName(); }

PrinterFacts PrinterDevice::Facts() const {
  if (job_) return job_->facts;
  if (ready_) {
    PrinterFacts facts = FactsOf(*printer_);
    facts.deviceName = info_.printerName();
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
    return Error{QStringLiteral("The printer %1 cannot turn its paper.").arg(info_.printerName())};
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
  return PrinterChoice{ready_ ? info_.printerName() : QString(), Layout().pageSize(), Orientation()};
}

Status PrinterDevice::Choose(const PrinterChoice& choice) {
  if (job_) return Error{QStringLiteral("A print job is still open.")};
  chosen_ = true;  // no printer found later takes the place of what the user chose, the PDF writer included
  if (!choice.printerName.isEmpty() && (!ready_ || choice.printerName != info_.printerName())) {
    const QPrinterInfo queue = QPrinterInfo::printerInfo(choice.printerName);
    if (queue.isNull()) return noLongerThere(choice.printerName);
    printer_ = makePrinter(queue);
    info_ = queue;
    ready_ = true;
    ownFile_.clear();
  } else if (choice.printerName.isEmpty() && !info_.isNull()) {
    UsePdfWriter();  // the queue printed on is gone
  }
  if (!ready_) {
    if (choice.paper.isValid()) blank_.setPageSize(choice.paper);
  } else if (choice.paper.isValid() && !printer_->setPageSize(choice.paper)) {
    return Error{QStringLiteral("The printer %1 cannot print on %2.").arg(info_.printerName(), choice.paper.name())};
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
  if (setup) {
    PrinterChoiceModel model(AvailableQueues(), CurrentChoice());
    dialogOK_ = dialogs().Choose(model);
    return dialogOK_ ? Choose(model.Choice()) : Status::success();
  }
  if (!ready_) return noPrinter();
  dialogOK_ = dialogs().Print(*printer_);
  if (dialogOK_) {
    copies_ = std::max(0, printer_->copyCount());
    const QString file = printer_->outputFileName();
    printToFile_ = !file.isEmpty() && file != ownFile_;
    if (printToFile_) printFile_ = file;
  }
  printer_->setCopyCount(1);
  FollowChosenPrinter();
  return Status::success();
}

// The print dialog's choice of a file is for one job; the printer stays the
// one chosen last, so the page keeps its paper and strips.
void PrinterDevice::FollowChosenPrinter() {
  const bool toFile = printer_->outputFormat() != QPrinter::NativeFormat ||
                      printer_->outputFileName() != ownFile_;
  if (toFile) {
    BackToPrinter();
    return;
  }
  const QPrinterInfo chosen = QPrinterInfo::printerInfo(printer_->printerName());
  if (!chosen.isNull()) info_ = chosen;
}

// Without a printer the writer goes with its job: set back to no file, it
// would ask the print system for a queue to print on.
void PrinterDevice::BackToPrinter() {
  if (!ready_) {
    printer_.reset();
    return;
  }
  const QPageLayout layout = printer_->pageLayout();
  if (info_.isNull()) {
    printer_->setOutputFileName(ownFile_);
  } else {
    printer_->setOutputFileName(QString());
    printer_->setPrinterName(info_.printerName());
  }
  printer_->setPageLayout(layout);
}

Status PrinterDevice::StartDoc(const QString& docName, const QString& outputFile) {
  if (!ready_ && outputFile.isEmpty()) return noPrinter();
  if (job_) return Error{QStringLiteral("A print job is already open.")};
  if (!ready_) MakePdfWriter();
  auto job = std::make_unique<Job>();
  job->facts = Facts();
  // A queue cannot take back what it was given, and the printer's own
  // engine hands it the job as it ends, even one that is being dropped: a
  // queue's job is made as a PDF first and handed over once it is whole.
  if (outputFile.isEmpty() && !info_.isNull()) {
    job->queue = info_.printerName();
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
    const QPageLayout layout = printer_->pageLayout();
    printer_->setOutputFormat(QPrinter::PdfFormat);
    printer_->setOutputFileName(job->partial);
    printer_->setPageLayout(layout);
  }
  printer_->setDocName(docName);
  printer_->setFullPage(true);
  job->dotsPerTwip = printer_->resolution() / kTwipsPerInch;
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
  printer_->setFullPage(false);
  Status status = Status::success();
  if (!ended) status = Error{QStringLiteral("The printer %1 did not take the job.").arg(info_.printerName())};
  if (!job_->partial.isEmpty()) {
    const Status filed = FinishFile(ended && printed);
    if (status.ok()) status = filed;
    BackToPrinter();
  }
  job_.reset();
  return status;
}

Status PrinterDevice::FinishFile(bool printed) {
  if (!printed) return Status::success();
  if (!job_->queue.isEmpty()) return sendToQueue(job_->partial, job_->queue, job_->title, job_->queueOptions);
  return fileWholePdf(job_->partial, job_->target);
}

Status PrinterDevice::PageReady() {
  if (!job_ || !job_->pageOpen) return Error{QStringLiteral("No page is being printed.")};
  Job& job = *job_;
  if (job.pageBegun) return Status::success();
  if (!job.painter.isActive()) {
    if (!job.painter.begin(printer_.get())) {
      return job.target.isEmpty()
                 ? Error{QStringLiteral("The printer %1 cannot start printing.").arg(info_.printerName())}
                 : notWritten(job.target, QStringLiteral("the file cannot be opened"));
    }
  } else if (!printer_->newPage()) {
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
  const QFontMetricsF metrics(painter.font(), printer_.get());
  painter.drawText(job_->at(currentX_, currentY_) + QPointF(0, metrics.ascent()), text);
  return Status::success();
}

}  // namespace lumaset
