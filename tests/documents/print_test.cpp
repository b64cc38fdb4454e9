#include "documents/page_printing.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>

#include "components/printer_device.h"
#include "components/settings_store.h"
#include "frame/settings.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

// The private print scheduler's folder. Every test of this program asks CUPS
// there, so no test ever sees the printers of the machine it runs on.
QTemporaryDir* schedulerRoot = nullptr;

struct PrintEnvironment : ::testing::Environment {
  void SetUp() override {
    schedulerRoot = new QTemporaryDir(QDir::tempPath() + QStringLiteral("/lumaset-cups-XXXXXX"));
    // The scheduler's own user must reach the backend and the output folder.
    QFile::setPermissions(schedulerRoot->path(), QFileDevice::Permissions(0x7055));
    qputenv("CUPS_SERVER", QFile::encodeName(schedulerRoot->filePath(QStringLiteral("run/cups.sock"))));
  }
  void TearDown() override { delete schedulerRoot; }
};
[[maybe_unused]] const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new PrintEnvironment);

// Letter paper with strips of a quarter inch at the sides and half an inch
// at top and bottom; PDF passes through to the backend unchanged.
constexpr char kPpd[] = R"ppd(*PPD-Adobe: "4.3"
*NickName: "Capture"
*ColorDevice: True
*cupsFilter2: "application/pdf application/pdf 0 -"
*OpenUI *PageSize/Media Size: PickOne
*DefaultPageSize: Letter
*PageSize Letter/US Letter: "<</PageSize[612 792]>>setpagedevice"
*CloseUI: *PageSize
*DefaultImageableArea: Letter
*ImageableArea Letter/US Letter: "18 36 594 756"
*DefaultPaperDimension: Letter
*PaperDimension Letter/US Letter: "612 792"
)ppd";

// A private CUPS scheduler with one queue, Capture, whose backend keeps each
// job's PDF in out/.
class PrivateScheduler {
 public:
  explicit PrivateScheduler(const QString& root) : root_(root) {}
  ~PrivateScheduler() {
    cupsd_.terminate();
    if (!cupsd_.waitForFinished(10000)) cupsd_.kill(), cupsd_.waitForFinished();
  }

  // "" when the queue is ready, else why not.
  QString Start() {
    const QString cupsd = QStandardPaths::findExecutable(QStringLiteral("cupsd"), {"/usr/sbin", "/sbin"});
    if (cupsd.isEmpty() || !QFileInfo::exists(QStringLiteral("/usr/lib/cups/filter")))
      return QStringLiteral("CUPS is not installed");
    if (const QString made = MakeFolder(); !made.isEmpty()) return made;
    cupsd_.start(cupsd, {"-f", "-c", path("cupsd.conf"), "-s", path("cups-files.conf")});
    for (int tries = 0; tries < 300 && !QFileInfo::exists(path("run/cups.sock")); ++tries) {
      if (cupsd_.waitForFinished(100)) break;
    }
    if (cupsd_.state() != QProcess::Running || !QFileInfo::exists(path("run/cups.sock"))) {
      return QStringLiteral("cupsd did not start: ") + QString::fromLocal8Bit(cupsd_.readAllStandardError());
    }
    for (const QStringList& arguments :
         {QStringList{"-p", "Capture", "-v", "capture:/", "-P", path("capture.ppd"), "-E"},
          QStringList{"-d", "Capture"}}) {
      if (QProcess::execute(QStringLiteral("lpadmin"), arguments) != 0) return QStringLiteral("lpadmin failed");
    }
    return {};
  }

  // The first job's PDF once the backend has written all of it.
  QString WaitForJob() const {
    for (int tries = 0; tries < 600; ++tries) {
      const QStringList jobs = QDir(path("out")).entryList({QStringLiteral("job-*.pdf")});
      if (!jobs.isEmpty()) return path("out/") + jobs.first();
      QThread::msleep(100);
    }
    return {};
  }

 private:
  QString path(const QString& name) const { return root_ + QLatin1Char('/') + name; }

  QString MakeFolder() const {
    for (const char* folder : {"run", "spool", "cache", "state", "log", "bin/backend", "out"})
      QDir().mkpath(path(folder));
    QFile::setPermissions(path("out"), QFileDevice::Permissions(0x7777));
    for (const char* folder : {"filter", "cgi-bin", "daemon", "monitor", "notifier", "driver"})
      QFile::link(QStringLiteral("/usr/lib/cups/") + folder, path("bin/") + folder);
    const QString backend = QStringLiteral(
        "#!/bin/sh\n"
        "if [ $# -eq 0 ]; then echo 'direct capture \"Unknown\" \"Capture to file\"'; exit 0; fi\n"
        "part=\"%1/.job-$1\"\n"
        "if [ -n \"$6\" ]; then cat \"$6\" > \"$part\"; else cat > \"$part\"; fi\n"
        "mv \"$part\" \"%1/job-$1.pdf\"\n").arg(path("out"));
    const QString files = QStringLiteral(
        "ServerRoot %1\nRequestRoot %1/spool\nCacheDir %1/cache\nStateDir %1/state\n"
        "AccessLog %1/log/access_log\nErrorLog %1/log/error_log\nPageLog %1/log/page_log\n"
        "DataDir /usr/share/cups\nUser lp\nGroup lp\nSystemGroup root\nServerBin %1/bin\n").arg(root_);
    const QString conf = QStringLiteral(
        "Listen %1/run/cups.sock\nWebInterface No\nDefaultAuthType None\nLogLevel warn\n"
        "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n").arg(root_);
    if (!test::WriteText(path("bin/backend/capture"), backend.toUtf8()) ||
        !test::WriteText(path("cups-files.conf"), files.toUtf8()) ||
        !test::WriteText(path("cupsd.conf"), conf.toUtf8()) || !test::WriteText(path("capture.ppd"), kPpd)) {
      return QStringLiteral("the scheduler's folder cannot be written");
    }
    QFile::setPermissions(path("bin/backend/capture"), QFileDevice::Permissions(0x7555));
    return {};
  }

  QString root_;
  QProcess cupsd_;
};

struct ScriptedDialogs : PrinterDialogs {
  std::function<bool(QPrinter&)> print = [](QPrinter&) { return true; };
  std::function<bool(QPrinter&)> setup = [](QPrinter&) { return true; };
  bool Print(QPrinter& printer) override { return print(printer); }
  bool Setup(QPrinter& printer) override { return setup(printer); }
};

struct FakePrintHost : PrintHost {
  QStringList calls;  // what the window was asked to do, in order
  QStringList errors;
  QString saveAnswer;
  bool portrait = true;
  bool sheet = false;
  QString status = QStringLiteral("Layout contains 4 picture(s)");

  void PlaySound(Sound sound, Wait wait) override {
    const char* name = sound == Sound::Open    ? "OPEN"
                       : sound == Sound::Close ? "CLOSE"
                       : sound == Sound::Print ? "PRINT"
                                               : "?";
    calls << QString::fromLatin1(name) + (wait == Wait::Yes ? " wait" : "");
  }
  void ShowError(const QString& text) override { errors << text; }
  QString AskSaveFile(const QString& title, const QString& name, const QString& filter) override {
    calls << QStringList{title, name, filter}.join(QLatin1Char('|'));
    return saveAnswer;
  }
  void SetPageBusy(bool busy) override { calls << (busy ? "busy" : "idle"); }
  void ProcessEvents() override {}
  QString StatusText() override { return status; }
  void SetStatusText(const QString& text) override { status = text; }
  void ShowPrinterName(const QString& caption) override { calls << "printer " + caption; }
  bool PortraitSelected() override { return portrait; }
  void optPort_Click() override { calls << "optPort"; }
  void optLand_Click() override { calls << "optLand"; }
  void PageRefresh() override { calls << "refresh"; }
  void ToolEnable(bool enable, int slot) override { calls << QStringLiteral("tools %1 %2").arg(enable).arg(slot); }
  bool ThumbSheet() override { return sheet; }
};

QString SolidPicture(const QString& folder, const QString& name, QColor colour, QSize size) {
  const QString path = folder + QLatin1Char('/') + name + QStringLiteral(".png");
  EXPECT_TRUE(test::WritePicture(path, size.width(), size.height(), nullptr, colour));
  return path;
}

// The page as the refresh leaves it for these facts (a preview of 1000
// twips per inch), with pictures placed by fractions of the paper.
struct TestPage {
  PageModel model;
  explicit TestPage(const PrinterFacts& facts) {
    PageGeometry& g = model.geometry();
    g.paperWidth = facts.pageWidthTwips / 1440.f;
    g.paperHeight = facts.pageHeightTwips / 1440.f;
    g.noPrintLeft = facts.noPrintLeftTwips / 1440.f;
    g.noPrintTop = facts.noPrintTopTwips / 1440.f;
    g.previewWidth = g.paperWidth * 1000;
    g.previewHeight = g.paperHeight * 1000;
  }
  void Place(const QString& file, QRectF fractions, int rank) {
    const int slot = model.picLast() + 1;
    model.pic(slot) = PagePic{file, static_cast<std::int16_t>(rank), float(fractions.x()), float(fractions.y()),
                              float(fractions.width()), float(fractions.height())};
    model.setPicLast(slot);
  }
};

QString RunTool(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  process.waitForFinished(60000);
  return QString::fromLocal8Bit(process.readAllStandardOutput());
}

// A page of the PDF at 144 dots per inch, two pixels per point.
QImage PdfPage(const QString& pdf, int page) {
  const QString prefix = pdf + QStringLiteral("-page");
  RunTool(QStringLiteral("pdftoppm"), {"-r", "144", "-f", QString::number(page), "-l", QString::number(page),
                                   "-png", "-singlefile", pdf, prefix});
  return QImage(prefix + QStringLiteral(".png"));
}

bool Near(QRgb pixel, QColor want) {
  return std::abs(qRed(pixel) - want.red()) < 60 && std::abs(qGreen(pixel) - want.green()) < 60 &&
         std::abs(qBlue(pixel) - want.blue()) < 60;
}

// Some pixel of `area`, in points, has the colour.
bool ColourIn(const QImage& image, QRect area, QColor want) {
  for (int y = 2 * area.top(); y <= 2 * area.bottom() + 1; ++y)
    for (int x = 2 * area.left(); x <= 2 * area.right() + 1; ++x)
      if (image.valid(x, y) && Near(image.pixel(x, y), want)) return true;
  return false;
}

QRgb At(const QImage& page, double xFraction, double yFraction) {
  return page.pixel(int(xFraction * page.width()), int(yFraction * page.height()));
}

TEST(PrintTest, PrivateQueueGetsEachCopyWithPicturesLabelAndMarginsWhereThePageHasThem) {
  PrivateScheduler scheduler(schedulerRoot->path());
  if (const QString why = scheduler.Start(); !why.isEmpty())
    GTEST_SKIP() << "No private print scheduler: " << why.toStdString();

  PrinterDevice device;
  ASSERT_TRUE(device.PrinterReady());
  const PrinterFacts facts = device.Facts();
  EXPECT_EQ(facts.deviceName, "Capture");
  EXPECT_EQ((QList<int>{facts.pageWidthTwips, facts.pageHeightTwips, facts.noPrintLeftTwips, facts.noPrintTopTwips}),
            (QList<int>{12240, 15840, 360, 720}));

  const QString folder = test::freshFolder(QStringLiteral("queue"));
  TestPage page(facts);
  page.Place(SolidPicture(folder, "red", Qt::red, {200, 100}), {0.10, 0.15, 0.30, 0.15}, 0);
  page.Place(folder + QStringLiteral("/deleted.png"), {0.5, 0.5, 0.1, 0.1}, -1);
  page.Place(SolidPicture(folder, "green", Qt::green, {100, 200}), {0.55, 0.15, 0.30, 0.20}, 1);
  page.Place(SolidPicture(folder, "cyan", Qt::cyan, {300, 200}), {0.30, 0.60, 0.30, 0.20}, 3);
  page.Place(SolidPicture(folder, "yellow", Qt::yellow, {150, 150}), {0.10, 0.50, 0.35, 0.25}, 2);
  page.model.edit().labelText = QStringLiteral("LUMASET LABEL");

  auto dialogs = std::make_unique<ScriptedDialogs>();
  dialogs->print = [](QPrinter& printer) { printer.setCopyCount(2); return true; };
  device.SetDialogs(std::move(dialogs));
  SettingsStore settings(QStringLiteral("Lumaset"), folder + QStringLiteral("/settings.ini"));
  Options options;
  options.printMargin = true;
  FakePrintHost host;
  PagePrinting(page.model, device, settings, options, host).mnuFilePrint_Click();
  EXPECT_EQ(host.errors, QStringList());
  EXPECT_EQ(host.calls.mid(0, 4), (QStringList{"OPEN", "PRINT", "printer Capture", "refresh"}));
  EXPECT_EQ(host.status, "Layout contains 4 picture(s)");

  const QString pdf = scheduler.WaitForJob();
  ASSERT_FALSE(pdf.isEmpty()) << "no job arrived";
  const QString info = RunTool(QStringLiteral("pdfinfo"), {pdf});
  EXPECT_TRUE(info.contains(QRegularExpression("Pages:\\s+2\\n"))) << info.toStdString();
  EXPECT_TRUE(info.contains(QRegularExpression("Page size:\\s+612 x 792 pts"))) << info.toStdString();

  for (const int number : {1, 2}) {
    const QImage sheet = PdfPage(pdf, number);
    ASSERT_EQ(sheet.size(), QSize(1224, 1584));
    EXPECT_TRUE(Near(At(sheet, 0.25, 0.225), Qt::red)) << number;
    EXPECT_TRUE(Near(At(sheet, 0.70, 0.25), Qt::green));
    EXPECT_TRUE(Near(At(sheet, 0.15, 0.55), Qt::yellow));
    EXPECT_TRUE(Near(At(sheet, 0.40, 0.70), Qt::cyan)) << "the higher rank prints over the lower";
    EXPECT_TRUE(Near(At(sheet, 0.70, 0.90), Qt::white));
    // Edges fall where the fractions say, the strips taken off only once.
    EXPECT_TRUE(Near(At(sheet, 0.105, 0.155), Qt::red));
    EXPECT_TRUE(Near(At(sheet, 0.095, 0.145), Qt::white));
    // The margin box runs along the printable area: 18 points in, 36 down.
    EXPECT_TRUE(ColourIn(sheet, QRect(15, 300, 7, 1), Qt::blue));
    EXPECT_TRUE(ColourIn(sheet, QRect(300, 33, 1, 7), Qt::blue));
    EXPECT_TRUE(ColourIn(sheet, QRect(591, 300, 7, 1), Qt::blue));
    EXPECT_FALSE(ColourIn(sheet, QRect(300, 10, 1, 20), Qt::blue));
    // The label starts 100 twips (5 points) inside the printable corner.
    EXPECT_TRUE(ColourIn(sheet, QRect(23, 41, 60, 14), Qt::black));
    EXPECT_FALSE(ColourIn(sheet, QRect(0, 0, 22, 60), Qt::black));
  }
}

struct FilePrint : ::testing::Test {
  QString folder = test::freshFolder(QStringLiteral("file"));
  std::unique_ptr<PrinterDevice> device;
  ScriptedDialogs* dialogs = new ScriptedDialogs;
  FakePrintHost host;
  SettingsStore settings{QStringLiteral("Lumaset"), folder + QStringLiteral("/settings.ini")};
  Options options;

  void SetUp() override {
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setPageSize(QPageSize(QPageSize::A4));
    device = std::make_unique<PrinterDevice>(std::move(printer));
    // What Qt's dialog does when print to file is chosen.
    dialogs->print = [this](QPrinter& shown) {
      shown.setOutputFileName(folder + QStringLiteral("/chosen-in-dialog.pdf"));
      shown.setCopyCount(3);
      return true;
    };
    device->SetDialogs(std::unique_ptr<ScriptedDialogs>(dialogs));
    host.saveAnswer = folder + QStringLiteral("/page.prn");
  }
  void Print(TestPage& page) { PagePrinting(page.model, *device, settings, options, host).mnuFilePrint_Click(); }
};

TEST_F(FilePrint, PrintToFileWritesOnePdfPageForEachCopyOverTheOldFile) {
  ASSERT_TRUE(test::WriteText(host.saveAnswer, "old"));
  const PrinterFacts facts = device->Facts();
  TestPage page(facts);
  page.Place(SolidPicture(folder, "red", Qt::red, {40, 40}), {0.5, 0.5, 0.25, 0.2}, 0);
  Print(page);
  EXPECT_EQ(device->Facts(), facts) << "the page stays as the printer had it";

  EXPECT_EQ(host.errors, QStringList());
  EXPECT_TRUE(host.calls.contains("Print To File|*.prn|Printer Files (*.prn)"));
  EXPECT_TRUE(device->FastBitmaps()) << "FastPrint is on while it was never stored";
  const QString info = RunTool(QStringLiteral("pdfinfo"), {host.saveAnswer});
  EXPECT_TRUE(info.contains(QRegularExpression("Pages:\\s+3\\n"))) << info.toStdString();
  EXPECT_TRUE(info.contains(QRegularExpression("Title:\\s+Lumaset Page\\n")));
  EXPECT_TRUE(info.contains(QStringLiteral("(A4)")));
  EXPECT_TRUE(Near(At(PdfPage(host.saveAnswer, 3), 0.62, 0.6), Qt::red));
  EXPECT_EQ(QDir(folder).entryList({QStringLiteral("*.pdf"), QStringLiteral(".lumaset-print-*")},
                                   QDir::Files | QDir::Hidden),
            QStringList())
      << "no partial file is left, and the dialog's own file is not written";
}

TEST_F(FilePrint, NothingIsPrintedWhenADialogIsCancelled) {
  TestPage page(device->Facts());
  host.saveAnswer.clear();
  Print(page);
  dialogs->print = [](QPrinter&) { return false; };
  Print(page);
  EXPECT_EQ(host.errors, QStringList());
  EXPECT_EQ(QDir(folder).entryList({QStringLiteral("*.p*")}, QDir::Files | QDir::Hidden), QStringList());
  EXPECT_EQ(host.calls.mid(host.calls.size() - 4), (QStringList{"OPEN", "CLOSE wait", "printer ", "refresh"}))
      << "a cancelled print dialog still shows the printer";
}

TEST_F(FilePrint, FailuresAreReportedAndTheJobGoesOn) {
  settings.writeSetting(QStringLiteral("FastPrint"), QStringLiteral("0"));
  TestPage page(device->Facts());
  page.Place(folder + QStringLiteral("/missing.jpg"), {0.1, 0.1, 0.2, 0.2}, 0);
  Print(page);
  EXPECT_FALSE(device->FastBitmaps());
  ASSERT_EQ(host.errors.size(), 3) << "one for each copy";
  EXPECT_TRUE(host.errors.first().startsWith("Printing error: \"" + folder + "/missing.jpg\" cannot be read"));
  EXPECT_EQ(host.status, "Layout contains 4 picture(s)") << "the status text comes back";
  EXPECT_EQ(host.calls.count("busy"), 3);
  EXPECT_EQ(host.calls.count("idle"), 3);
  EXPECT_TRUE(QFile::exists(host.saveAnswer));

  // A file that cannot take the name is reported, and what has the name stays.
  host.errors.clear();
  QDir().mkpath(folder + QStringLiteral("/taken.prn/inside"));
  host.saveAnswer = folder + QStringLiteral("/taken.prn");
  Print(page);
  ASSERT_FALSE(host.errors.isEmpty());
  EXPECT_TRUE(host.errors.last().startsWith("Printing error: \"" + host.saveAnswer + "\" cannot be written"));
  EXPECT_TRUE(QFileInfo(folder + QStringLiteral("/taken.prn/inside")).isDir());
  EXPECT_TRUE(QDir(folder).entryList({QStringLiteral(".lumaset-print-*")}, QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(FilePrint, ThePageFollowsThePrinterAfterSetup) {
  dialogs->setup = [](QPrinter& printer) { return printer.setPageOrientation(QPageLayout::Landscape); };
  TestPage page(device->Facts());
  PagePrinting printing(page.model, *device, settings, options, host);
  printing.cmdPrinter_Click();
  EXPECT_EQ(host.calls, (QStringList{"tools 0 -1", "OPEN", "CLOSE wait", "printer ", "optLand"}));
  host.calls.clear();
  host.portrait = false;
  printing.mnuFilePrintSetup_Click();
  EXPECT_EQ(host.calls.last(), "refresh") << "the same orientation only redraws";
  EXPECT_EQ(device->Orientation(), kLandscape);
}

TEST(PrintPlacesTest, CoordinatesRoundHalvesToEvenAndRefuseOverflow) {
  for (const auto& [value, whole] : {std::pair{2.5, 2}, {3.5, 4}, {-2.5, -2}, {7.49, 7}, {2147483647.0, 2147483647}}) {
    EXPECT_EQ(*PrinterCoordinate(value), whole) << value;
  }
  for (const double bad : {3e9, -3e9, std::numeric_limits<double>::infinity(), std::nan("")}) {
    EXPECT_FALSE(PrinterCoordinate(bad).ok()) << bad;
  }
  PageGeometry geometry;  // 8.5 x 11 in, strips of half an inch
  const PagePic pic{QString(), 0, 0.25f, 0.5f, 0.5f, 0.25f};
  EXPECT_EQ(*PlaceOnPaper(pic, geometry, 12240, 15840), (PrintedPlace{2340, 7200, 6120, 3960}));
  geometry.paperWidth = 0;
  EXPECT_FALSE(PlaceOnPaper(pic, geometry, 12240, 15840).ok());
}

TEST(PrintPlacesTest, PicturesAreDecodedNoLargerThanPrintedAndPrintInRankOrder) {
  EXPECT_EQ(NeededLongSide({4000, 3000}, {1000, 750}), 1000);
  EXPECT_EQ(NeededLongSide({4000, 3000}, {1000, 1500}), 2000) << "stretched, the taller need counts";
  EXPECT_EQ(NeededLongSide({400, 300}, {1000, 750}), 400) << "never enlarged";
  EXPECT_EQ(NeededLongSide({4000, 3000}, {0.2, 0.1}), 1);

  PageModel page;
  for (const int rank : {3, -1, 0, 2, 2}) {
    const int slot = page.picLast() + 1;
    page.pic(slot).zRank = static_cast<std::int16_t>(rank);
    page.setPicLast(slot);
  }
  EXPECT_EQ(PrintOrder(page), (std::vector<int>{4, 2, 3, 0})) << "a shared rank still prints, behind";
}

}  // namespace
}  // namespace lumaset
