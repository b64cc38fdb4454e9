#include "documents/page_printing.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QLabel>
#include <QPrintDialog>
#include <QPrinter>
#include <QPrinterInfo>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QThread>
#include <QTimer>

#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <optional>

#include "components/print_server.h"
#include "components/printer_device.h"
#include "components/printer_setup.h"
#include "components/settings_store.h"
#include "frame/settings.h"
#include "layout/page_geometry.h"
#include "support/file_size_limit.h"
#include "support/held_print_server.h"
#include "support/print_scheduler_fixture.h"
#include "support/page_builder.h"
#include "support/test_support.h"

namespace lumaset {

void PrintTo(const PrinterChoice& choice, std::ostream* out) {
  *out << choice.printerName.toStdString() << " " << choice.paper.name().toStdString() << " "
       << (choice.orientation == kPortrait ? "portrait" : "landscape");
}

namespace {

// Dialogs that do what a user would: Print Setup's script runs once the
// print server has named its queues, and its OK waits for the printer.
struct ScriptedDialogs : PrinterDialogs {
  std::function<bool(QPrinter&)> print = [](QPrinter&) { return true; };
  std::function<bool(PrinterChoiceModel&)> choose = [](PrinterChoiceModel&) { return true; };
  bool Print(QPrinter& printer) override { return print(printer); }
  bool Choose(PrinterSetup& setup) override {
    EXPECT_TRUE(test::RunUntil([&setup] { return setup.Answered(); })) << "the print server named no queues within 20 s";
    if (!choose(setup.Model())) return false;
    std::optional<bool> taken;
    setup.Confirm([&taken](bool ok) { taken = ok; });
    EXPECT_TRUE(test::RunUntil([&taken] { return taken.has_value(); })) << "OK waited 20 s for the printer";
    return taken.value_or(false);
  }
};

// The choice as Print Setup makes it, with the printer made for a queue.
Status Choose(PrinterDevice& device, const PrinterChoice& choice) {
  return device.Choose(choice, MakePrinterFor(choice.printerName));
}

struct FakePrintHost : PrintHost {
  QStringList calls;  // what the window was asked to do, in order
  QStringList errors;
  QString saveAnswer;
  QString layouts = QStringLiteral("/home/someone/Layouts");
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
  std::function<void()> whenBusy;  // at the start of every printed page
  QString LayoutFolder() const override { return layouts; }
  void SetPageBusy(bool busy) override {
    calls << (busy ? "busy" : "idle");
    if (busy && whenBusy) whenBusy();
  }
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
  bool UnreadSheetCell(int slot) override { return sheet && emptyBoxes.contains(slot); }
  QSet<int> emptyBoxes;  // a sheet's boxes shown without their picture
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
  explicit TestPage(const PrinterFacts& facts)
      : TestPage(Paper{facts.pageWidthTwips / 1440.f, facts.pageHeightTwips / 1440.f,
                       facts.noPrintLeftTwips / 1440.f, facts.noPrintTopTwips / 1440.f},
                 true) {}
  TestPage(const Paper& paper, bool inches) {
    PageGeometry& g = model.geometry();
    g.inches = inches;
    g.portrait = paper.width <= paper.height;
    g.paperWidth = paper.width;
    g.paperHeight = paper.height;
    g.noPrintLeft = paper.noPrintLeft;
    g.noPrintTop = paper.noPrintTop;
    g.previewWidth = g.paperWidth * 1000;
    g.previewHeight = g.paperHeight * 1000;
  }
  void Place(const QString& file, QRectF fractions, int rank) { test::PlaceFractions(model, file, fractions, rank); }
};

QString RunTool(const QString& program, const QStringList& arguments) {
  QProcess process;
  process.start(program, arguments);
  if (!process.waitForFinished(60000)) {
    ADD_FAILURE() << program.toStdString()
                  << (process.error() == QProcess::FailedToStart ? " cannot be run: " + process.errorString().toStdString()
                                                                 : std::string(" did not end within 60 s"));
  }
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

// Where the colour lies on the page, in points: the bounding box of its pixels.
QRectF Edges(const QImage& page, QColor colour) {
  int left = page.width(), top = page.height(), right = -1, bottom = -1;
  for (int y = 0; y < page.height(); ++y) {
    const auto* line = reinterpret_cast<const QRgb*>(page.constScanLine(y));
    for (int x = 0; x < page.width(); ++x) {
      if (!Near(line[x], colour)) continue;
      left = std::min(left, x), right = std::max(right, x), top = std::min(top, y), bottom = std::max(bottom, y);
    }
  }
  if (right < 0) return {};
  return QRectF(QPointF(left, top) / 2.0, QPointF(right + 1, bottom + 1) / 2.0);
}

// Pictures of one colour each, apart from each other and from the strips,
// none of them shaped like its box.
const std::vector<std::pair<QColor, QRectF>> kPlaced{
    {Qt::red, {0.10, 0.12, 0.30, 0.20}},
    {Qt::green, {0.55, 0.10, 0.35, 0.25}},
    {Qt::blue, {0.12, 0.50, 0.25, 0.40}},
    {Qt::magenta, {0.50, 0.60, 0.40, 0.15}},
};

void PlaceColours(TestPage& page, const QString& folder) {
  int rank = 0;
  for (const auto& [colour, fractions] : kPlaced) {
    page.Place(SolidPicture(folder, colour.name().mid(1), colour, {300, 200}), fractions, rank++);
  }
}

// Each picture's four edges fall on its fractions of the paper, within a point.
void ExpectEdgesAtFractions(const QString& pdf, const char* what) {
  const QImage sheet = PdfPage(pdf, 1);
  ASSERT_FALSE(sheet.isNull()) << what;
  const QSizeF paper = QSizeF(sheet.size()) / 2.0;
  for (const auto& [colour, fractions] : kPlaced) {
    const QRectF want(fractions.x() * paper.width(), fractions.y() * paper.height(),
                      fractions.width() * paper.width(), fractions.height() * paper.height());
    const QRectF got = Edges(sheet, colour);
    const std::string where = std::string(what) + " " + colour.name().toStdString();
    EXPECT_NEAR(got.left(), want.left(), 1.0) << where;
    EXPECT_NEAR(got.top(), want.top(), 1.0) << where;
    EXPECT_NEAR(got.right(), want.right(), 1.0) << where;
    EXPECT_NEAR(got.bottom(), want.bottom(), 1.0) << where;
  }
}

TEST(PrintTest, PrivateQueueGetsEachCopyWithPicturesLabelAndMarginsWhereThePageHasThem) {
  NEED_SCHEDULER(cups);
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

  const QString pdf = cups->WaitForJob(QStringLiteral("Capture"));
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

// A fresh folder with the settings and options a print reads.
struct Printing : ::testing::Test {
  QString folder = test::freshFolder(QStringLiteral("print"));
  SettingsStore settings{QStringLiteral("Lumaset"), folder + QStringLiteral("/settings.ini")};
  Options options;
};

struct FilePrint : Printing {
  std::unique_ptr<PrinterDevice> device;
  ScriptedDialogs* dialogs = new ScriptedDialogs;
  FakePrintHost host;

  void SetUp() override {
    test::StopPrintScheduler();  // the printer dialog offers no queue
    auto printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer->setOutputFormat(QPrinter::PdfFormat);
    printer->setPageSize(QPageSize(QPageSize::A4));
    device = std::make_unique<PrinterDevice>(std::move(printer));
    // What Qt's dialog does when print to file is chosen.
    dialogs->print = [this](QPrinter& shown) {
      shown.setOutputFileName(host.saveAnswer);
      shown.setCopyCount(3);
      return true;
    };
    device->SetDialogs(std::unique_ptr<ScriptedDialogs>(dialogs));
    host.saveAnswer = folder + QStringLiteral("/page.prn");
  }
  void Print(TestPage& page) { PagePrinting(page.model, *device, settings, options, host).mnuFilePrint_Click(); }
};

// The queues belong to whoever runs the tests: root's run checks an
// ordinary user's as well.
TEST(PrintTest, AnOrdinaryUserGetsQueuesOfItsOwn) {
  if (!test::PrivatePrintScheduler::Installed()) GTEST_SKIP() << "CUPS is not installed here";
  const test::ProgramRun run = test::RunAsOrdinaryUser(
      QStringLiteral("PrintTest.PrivateQueueGetsEachCopyWithPicturesLabelAndMarginsWhereThePageHasThem"), 25);
  ASSERT_TRUE(run.ended) << (run.errors.isEmpty() ? QByteArray("the print test did not end within 25 s") : run.errors).toStdString();
  EXPECT_EQ(run.exitCode, 0) << run.output.toStdString() << run.errors.toStdString();
  EXPECT_TRUE(run.output.contains("[  PASSED  ] 1 test.")) << run.output.toStdString();
}

TEST_F(FilePrint, PrintToFileWritesOnePdfPageForEachCopyOverTheOldFileNamedInTheDialog) {
  const QString chosen = host.saveAnswer = folder + QStringLiteral("/chosen-in-dialog.pdf");
  ASSERT_TRUE(test::WriteText(chosen, "old"));
  const PrinterFacts facts = device->Facts();
  TestPage page(facts);
  page.Place(SolidPicture(folder, "red", Qt::red, {40, 40}), {0.5, 0.5, 0.25, 0.2}, 0);
  Print(page);
  EXPECT_EQ(device->Facts(), facts) << "the page stays as the printer had it";

  EXPECT_EQ(host.errors, QStringList());
  EXPECT_EQ(host.calls.filter("Print To File"), QStringList()) << "the name is asked for once, in the dialog";
  EXPECT_TRUE(device->FastBitmaps()) << "FastPrint is on while it was never stored";
  const QString info = RunTool(QStringLiteral("pdfinfo"), {chosen});
  EXPECT_TRUE(info.contains(QRegularExpression("Pages:\\s+3\\n"))) << info.toStdString();
  EXPECT_TRUE(info.contains(QRegularExpression("Title:\\s+Lumaset Page\\n")));
  EXPECT_TRUE(info.contains(QStringLiteral("(A4)")));
  EXPECT_TRUE(Near(At(PdfPage(chosen, 3), 0.62, 0.6), Qt::red));
  EXPECT_EQ(QDir(folder).entryList({QStringLiteral("*.p*f"), QStringLiteral("*.prn"), QStringLiteral(".lumaset-print-*")},
                                   QDir::Files | QDir::Hidden),
            QStringList{"chosen-in-dialog.pdf"})
      << "no partial file is left";
}

TEST_F(FilePrint, NothingIsPrintedWhenADialogIsCancelledOrNoCopyIsAskedFor) {
  TestPage page(device->Facts());
  ASSERT_TRUE(test::WriteText(host.saveAnswer, "old"));
  dialogs->print = [this](QPrinter& shown) {
    shown.setOutputFileName(host.saveAnswer);
    shown.setCopyCount(0);
    return true;
  };
  Print(page);
  EXPECT_EQ(test::ReadBytes(host.saveAnswer), "old");
  QFile::remove(host.saveAnswer);
  dialogs->print = [](QPrinter&) { return false; };
  Print(page);
  EXPECT_EQ(host.errors, QStringList());
  EXPECT_EQ(QDir(folder).entryList({QStringLiteral("*.p*")}, QDir::Files | QDir::Hidden), QStringList());
  EXPECT_EQ(host.calls.mid(host.calls.size() - 4), (QStringList{"OPEN", "CLOSE wait", "printer ", "refresh"}))
      << "a cancelled print dialog still shows the printer";
}

TEST_F(FilePrint, AFailedPageIsReportedAndDropsTheJobSoTheOldFileStays) {
  settings.writeSetting(QStringLiteral("FastPrint"), QStringLiteral("0"));
  ASSERT_TRUE(test::WriteText(host.saveAnswer, "old"));
  TestPage page(device->Facts());
  page.Place(SolidPicture(folder, "red", Qt::red, {40, 40}), {0.5, 0.5, 0.2, 0.2}, 0);
  page.Place(folder + QStringLiteral("/missing.jpg"), {0.1, 0.1, 0.2, 0.2}, 1);
  Print(page);
  EXPECT_FALSE(device->FastBitmaps());
  ASSERT_EQ(host.errors.size(), 1) << "the first failed copy ends the job";
  EXPECT_TRUE(host.errors.first().startsWith("Printing error: \"" + folder + "/missing.jpg\" cannot be read"));
  EXPECT_EQ(host.status, "Layout contains 4 picture(s)") << "the status text comes back";
  EXPECT_EQ(host.calls.count("busy"), 1);
  EXPECT_EQ(host.calls.count("idle"), 1);
  EXPECT_EQ(test::ReadBytes(host.saveAnswer), "old");
  EXPECT_FALSE(device->Printing());
  // Also when earlier copies were drawn already: the picture goes before the second.
  page.model.pic(1).file = SolidPicture(folder, "gone", Qt::blue, {40, 40});
  host.whenBusy = [&, pages = 0]() mutable { if (++pages == 2) QFile::remove(page.model.pic(1).file); };
  host.saveAnswer = folder + QStringLiteral("/new.prn");
  Print(page);
  EXPECT_EQ(host.errors.size(), 2);
  EXPECT_FALSE(QFile::exists(host.saveAnswer)) << "no file for a failed job";

  // A file that cannot take the name is reported, and what has the name stays.
  host.errors.clear();
  page.model.pic(1).zRank = -1;
  QDir().mkpath(folder + QStringLiteral("/taken.prn/inside"));
  host.saveAnswer = folder + QStringLiteral("/taken.prn");
  Print(page);
  ASSERT_FALSE(host.errors.isEmpty());
  EXPECT_TRUE(host.errors.last().startsWith("Printing error: \"" + host.saveAnswer + "\" is a folder")) << host.errors.join("|").toStdString();
  EXPECT_TRUE(QFileInfo(folder + QStringLiteral("/taken.prn/inside")).isDir());
  EXPECT_TRUE(QDir(folder).entryList({QStringLiteral(".lumaset-print-*")}, QDir::Files | QDir::Hidden).isEmpty());
}

TEST_F(FilePrint, APdfCutShortByAFullDiskIsRefusedWithItsCauseAndTheOldFileStays) {
  const QByteArray old = "%PDF-1.4 the user's own document\n%%EOF\n";
  ASSERT_TRUE(test::WriteText(host.saveAnswer, old));
  TestPage page(device->Facts());
  page.Place(SolidPicture(folder, "red", Qt::red, {40, 40}), {0.5, 0.5, 0.2, 0.2}, 0);
  {
    const test::FileSizeLimit full(1500);
    Print(page);
  }
  ASSERT_EQ(host.errors.size(), 1);
  EXPECT_TRUE(host.errors.first().contains("\"" + host.saveAnswer + "\" cannot be written: File too large"))
      << host.errors.first().toStdString();
  EXPECT_EQ(test::ReadBytes(host.saveAnswer), old);
  EXPECT_EQ(QDir(folder).entryList(QDir::Files | QDir::Hidden), (QStringList{"page.prn", "red.png"}))
      << "nothing partial is left beside it";
}

TEST_F(Printing, AQueueNeverGetsAPageThatFailed) {
  NEED_SCHEDULER(cups);
  PrinterDevice device;
  auto dialogs = std::make_unique<ScriptedDialogs>();
  dialogs->print = [](QPrinter& printer) { printer.setCopyCount(2); return true; };
  device.SetDialogs(std::move(dialogs));
  TestPage broken(device.Facts());
  broken.Place(SolidPicture(folder, "green", Qt::green, {40, 40}), {0.1, 0.1, 0.3, 0.3}, 0);
  broken.Place(folder + QStringLiteral("/missing.jpg"), {0.5, 0.5, 0.2, 0.2}, 1);
  TestPage sound(device.Facts());
  sound.Place(SolidPicture(folder, "red", Qt::red, {40, 40}), {0.1, 0.1, 0.3, 0.3}, 0);
  FakePrintHost host;
  PagePrinting(broken.model, device, settings, options, host).mnuFilePrint_Click();
  // Also when the first copy was drawn already: the picture goes before the second.
  broken.model.pic(1).file = SolidPicture(folder, "gone", Qt::blue, {40, 40});
  host.whenBusy = [&, pages = 0]() mutable { if (++pages == 2) QFile::remove(broken.model.pic(1).file); };
  PagePrinting(broken.model, device, settings, options, host).mnuFilePrint_Click();
  EXPECT_EQ(host.errors.size(), 2);
  PagePrinting(sound.model, device, settings, options, host).mnuFilePrint_Click();

  // The queue prints in order: had the failed job been sent, it would be there first.
  const QString pdf = cups->WaitForJob(QStringLiteral("Capture"));
  ASSERT_FALSE(pdf.isEmpty());
  EXPECT_EQ(cups->Jobs(QStringLiteral("Capture")).size(), 1);
  EXPECT_TRUE(Near(At(PdfPage(pdf, 1), 0.25, 0.25), Qt::red));
}

TEST_F(FilePrint, ThePageFollowsThePrinterAfterSetup) {
  dialogs->choose = [](PrinterChoiceModel& model) {
    model.SetOrientation(kLandscape);
    return true;
  };
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

TEST_F(Printing, PicturesLandOnTheirFractionsOfThePaperWithoutAPrinterUprightAndTurned) {
  // Without a printer: the page's own paper, turned, in centimetres.
  {
    PrinterDevice device(PrinterDevice::Start::NoPrinter);
    TestPage page(DefaultPaper(false, false), false);
    PlaceColours(page, folder);
    FakePrintHost host;
    host.portrait = false;
    host.saveAnswer = folder + QStringLiteral("/turned");
    PagePrinting(page.model, device, settings, options, host).mnuFilePrint_Click();
    EXPECT_EQ(host.errors, QStringList());
    const QString info = RunTool(QStringLiteral("pdfinfo"), {host.saveAnswer + ".pdf"});
    EXPECT_TRUE(info.contains(QRegularExpression("Page size:\\s+794 x 612"))) << info.toStdString();
    ExpectEdgesAtFractions(host.saveAnswer + ".pdf", "no printer, landscape");
  }

  NEED_SCHEDULER(cups);
  for (const int orientation : {kPortrait, kLandscape}) {
    PrinterDevice device;
    device.SetDialogs(std::make_unique<ScriptedDialogs>());
    ASSERT_TRUE(device.SetOrientation(orientation).ok());
    TestPage page(device.Facts());
    PlaceColours(page, folder);
    FakePrintHost host;
    host.portrait = orientation == kPortrait;
    PagePrinting(page.model, device, settings, options, host).mnuFilePrint_Click();
    EXPECT_EQ(host.errors, QStringList());
    ExpectEdgesAtFractions(cups->WaitForJob(QStringLiteral("Capture")),
                           orientation == kPortrait ? "queue, portrait" : "queue, landscape");
    cups->ForgetJobs();
  }
}

// A print server that never answers keeps no PDF from being written.
TEST_F(Printing, WithoutAPrinterAPdfIsWrittenWhileThePrintServerHoldsItsAnswer) {
  test::HeldPrintServer server(test::freshShortFolder(QStringLiteral("held")) + QStringLiteral("/held.sock"), QString(), 15);
  ASSERT_TRUE(server.Listening());
  const QByteArray scheduler = qgetenv("CUPS_SERVER");
  qputenv("CUPS_SERVER", server.Path());
  const auto back = qScopeGuard([&scheduler] { qputenv("CUPS_SERVER", scheduler); });
  PrinterDevice device(PrinterDevice::Start::NoPrinter);
  TestPage page(device.Facts());
  PlaceColours(page, folder);
  FakePrintHost host;
  host.saveAnswer = folder + QStringLiteral("/held.pdf");
  PagePrinting(page.model, device, settings, options, host).mnuFilePrint_Click();
  EXPECT_FALSE(server.AnsweredByItself()) << "the PDF waited for the print server";
  EXPECT_EQ(host.errors, QStringList());
  ExpectEdgesAtFractions(host.saveAnswer, "while the print server holds its answer");
}

// The print server asked away: its queues, with the one it names as its
// default, each time asked; the printer looked for at the start is that
// default, whichever comes first.
TEST_F(Printing, ThePrintServerIsAskedAwayEveryTimeAndItsDefaultIsFound) {
  NEED_SCHEDULER(cups);
  ThreadedPrintServer server;
  QObject asker;
  EXPECT_FALSE(server.Answered());
  for (int ask = 1; ask <= 2; ++ask) {
    bool answered = false;
    server.AskQueues(&asker, [&answered] { answered = true; });
    ASSERT_TRUE(test::RunUntil([&answered] { return answered; })) << "no answer within 20 s to question " << ask;
    EXPECT_TRUE(server.Answered());
  }
  QStringList named;
  for (const PrinterQueue& queue : server.Queues()) named << queue.name + (queue.isDefault ? "*" : "");
  EXPECT_EQ(named, (QStringList{"Capture*", "Papers", "Second"}));

  ASSERT_EQ(test::PrivatePrintScheduler::Run(QStringLiteral("lpadmin"), {"-d", "Papers"}), QString());
  const auto back = qScopeGuard([] { test::PrivatePrintScheduler::Run(QStringLiteral("lpadmin"), {"-d", "Capture"}); });
  QString found;
  FindPrinterAway(&asker, [&found](const std::shared_ptr<FoundPrinter>& printer) { found = printer->queue; });
  EXPECT_TRUE(test::RunUntil([&found] { return !found.isEmpty(); })) << "no printer found within 20 s";
  EXPECT_EQ(found, "Papers");
}

// Questions still out when whoever asked goes: the print server's object
// with its own askers, and the window looking for its printer. Their
// answers, once the print server gives them, find nobody and are dropped.
TEST_F(Printing, AnswersThatComeAfterTheirAskerIsGoneAreDropped) {
  NEED_SCHEDULER(cups);
  // Qt loads its print support at its first use without a lock: here, not
  // by the three questions at once.
  ASSERT_FALSE(QPrinterInfo::defaultPrinterName().isEmpty());
  test::HeldInFront held(test::freshShortFolder(QStringLiteral("late")) + QStringLiteral("/held.sock"), 15);
  ASSERT_TRUE(held.Listening());
  int answers = 0;
  {
    ThreadedPrintServer server;
    QObject asker, window;
    server.AskQueues(&asker, [&answers] { ++answers; });
    server.MakePrinter(QStringLiteral("Capture"), &asker, [&answers](std::unique_ptr<QPrinter>) { ++answers; });
    FindPrinterAway(&window, [&answers](const std::shared_ptr<FoundPrinter>&) { ++answers; });
    ASSERT_TRUE(test::RunUntil([&held] { return held.Taken() >= 3; })) << "three questions held within 20 s";
  }
  held.Answer();
  ASSERT_TRUE(test::RunUntil([&held] { return held.Open() == 0; }))
      << "the questions did not end within 20 s of the server's answer";
  QCoreApplication::processEvents();
  EXPECT_EQ(answers, 0);
  EXPECT_FALSE(held.AnsweredByItself());
}

// A printer found late takes the place of the PDF writer the page began
// with, but not of a paper the user chose for it meanwhile.
TEST_F(Printing, APrinterFoundLateNeverReplacesWhatWasChosen) {
  NEED_SCHEDULER(cups);
  const auto found = [] {
    return FoundPrinter{QStringLiteral("Capture"), MakePrinterFor(QStringLiteral("Capture"))};
  };
  PrinterDevice untouched(PrinterDevice::Start::NoPrinter);
  EXPECT_TRUE(untouched.Adopt(found()));
  EXPECT_EQ(untouched.DeviceName(), "Capture");
  PrinterDevice chosen(PrinterDevice::Start::NoPrinter);
  ASSERT_TRUE(Choose(chosen, PrinterChoice{QString(), QPageSize(QPageSize::A5), kLandscape}).ok());
  EXPECT_FALSE(chosen.Adopt(found()));
  EXPECT_FALSE(chosen.PrinterReady());
  EXPECT_EQ(chosen.CurrentChoice().paper.id(), QPageSize::A5);
}

TEST_F(Printing, ThePrinterChosenInTheDialogTakesTheJobsFromThenOn) {
  NEED_SCHEDULER(cups);
  PrinterDevice device;
  ASSERT_EQ(device.DeviceName(), "Capture");
  auto dialogs = std::make_unique<ScriptedDialogs>();
  QStringList rows, papers;
  dialogs->choose = [&](PrinterChoiceModel& model) {
    rows = model.PrinterRows();
    model.SelectPrinter(static_cast<int>(rows.indexOf(QStringLiteral("Second"))));
    papers = model.PaperRows();
    model.SetOrientation(kLandscape);
    return true;
  };
  device.SetDialogs(std::move(dialogs));
  TestPage page(device.Facts());
  page.Place(SolidPicture(folder, "red", Qt::red, {40, 40}), {0.2, 0.2, 0.3, 0.3}, 0);
  FakePrintHost host;
  PagePrinting printing(page.model, device, settings, options, host);

  printing.cmdPrinter_Click();
  EXPECT_EQ(rows, (QStringList{"Capture", "Papers", "Second"}));
  EXPECT_EQ(papers, QStringList{"A4"});
  EXPECT_EQ(host.calls, (QStringList{"tools 0 -1", "OPEN", "CLOSE wait", "printer Second", "optLand"}));
  const PrinterFacts facts = device.Facts();
  EXPECT_EQ((QList<int>{facts.pageWidthTwips, facts.pageHeightTwips, facts.noPrintLeftTwips, facts.noPrintTopTwips}),
            (QList<int>{16840, 11900, 480, 240}))
      << "A4 turned, with the second queue's strips";

  for (int job = 1; job <= 2; ++job) printing.mnuFilePrint_Click();
  EXPECT_EQ(host.errors, QStringList());
  ASSERT_FALSE(cups->WaitForJob(QStringLiteral("Second")).isEmpty());
  for (int tries = 0; tries < 600 && cups->Jobs(QStringLiteral("Second")).size() < 2; ++tries) QThread::msleep(100);
  const QStringList jobs = cups->Jobs(QStringLiteral("Second"));
  ASSERT_EQ(jobs.size(), 2) << "the choice lasts";
  EXPECT_TRUE(RunTool(QStringLiteral("pdfinfo"), {jobs.last()}).contains(QRegularExpression("size:\\s+842 x 595")));
  EXPECT_EQ(cups->Jobs(QStringLiteral("Capture")), QStringList());
}

TEST_F(Printing, WithoutAPrinterPrintAsksForAPdfFileAndSetupStillTurnsThePage) {
  test::StopPrintScheduler();
  PrinterDevice device(PrinterDevice::Start::NoPrinter);
  ASSERT_FALSE(device.PrinterReady());
  auto* dialogs = new ScriptedDialogs;
  device.SetDialogs(std::unique_ptr<ScriptedDialogs>(dialogs));
  TestPage page(DefaultPaper(true, true), true);
  FakePrintHost host;
  PagePrinting printing(page.model, device, settings, options, host);

  printing.mnuFilePrint_Click();  // the file dialog cancelled
  EXPECT_EQ(host.calls, (QStringList{"OPEN", "Print To File|/home/someone/Layouts/*.pdf|PDF Files (*.pdf)",
                                     "CLOSE wait", "printer No Printer", "refresh"}))
      << "a file is asked for where the layouts are kept";
  host.calls.clear();
  host.saveAnswer = folder + QStringLiteral("/page.pdf");
  printing.mnuFilePrint_Click();
  EXPECT_EQ(host.calls.mid(0, 5), (QStringList{"OPEN", "Print To File|/home/someone/Layouts/*.pdf|PDF Files (*.pdf)",
                                               "PRINT", "printer No Printer", "refresh"}));
  EXPECT_EQ(host.errors, QStringList());
  EXPECT_TRUE(RunTool(QStringLiteral("pdfinfo"), {host.saveAnswer}).contains(QRegularExpression("size:\\s+612 x 792")));
  host.calls.clear();
  host.saveAnswer.clear();
  printing.mnuFilePrint_Click();
  EXPECT_EQ(host.calls.value(1), "Print To File|" + folder + "/*.pdf|PDF Files (*.pdf)") << "then where it last printed";

  host.calls.clear();
  dialogs->choose = [](PrinterChoiceModel& model) {
    EXPECT_EQ(model.Choice().printerName, QString());
    model.SetOrientation(kLandscape);
    return true;
  };
  printing.cmdPrinter_Click();
  EXPECT_EQ(host.calls, (QStringList{"tools 0 -1", "OPEN", "CLOSE wait", "printer No Printer", "optLand"}));
}

TEST_F(FilePrint, FastPrintOffSendsPicturesLosslessAtTheSizeTheirPrintNeeds) {
  TestPage page(device->Facts());
  // 2000 x 1000 pixels printed 2 inches wide: 600 pixels at 300 an inch.
  const double wide = 2 * 1440.0 / device->Facts().pageWidthTwips;
  page.Place(SolidPicture(folder, "gradient", QColor(90, 140, 200), {2000, 1000}), {0.2, 0.2, wide, 0.05}, 0);
  const auto images = [this, &page](const char* fastPrint) {
    settings.writeSetting(QStringLiteral("FastPrint"), QString::fromLatin1(fastPrint));
    Print(page);
    // pdfimages: "page num type width height color comp bpc enc ..."
    return RunTool(QStringLiteral("pdfimages"), {"-list", host.saveAnswer}).split('\n').mid(2, 1).join(QString())
        .simplified().split(' ');
  };
  const QStringList lossless = images("0");
  ASSERT_GE(lossless.size(), 9);
  EXPECT_EQ(lossless[8], "image") << "compressed without loss";
  EXPECT_NEAR(lossless[3].toInt(), 600, 1);
  const QStringList fast = images("1");
  ASSERT_GE(fast.size(), 9);
  EXPECT_EQ(fast[8], "jpeg");
}

TEST_F(FilePrint, ContactSheetCaptionsStandUnderTheirPicturesAndAnEmptyLabelPrintsNothing) {
  host.sheet = true;
  TestPage page(device->Facts());
  page.Place(SolidPicture(folder, "Harbour", Qt::red, {60, 40}), {0.1, 0.1, 0.3, 0.2}, 1);
  page.Place(SolidPicture(folder, "Mill Pond", Qt::green, {60, 40}), {0.5, 0.5, 0.3, 0.2}, 0);
  const QString damaged = folder + QStringLiteral("/Damaged.jpg");
  ASSERT_TRUE(test::WriteText(damaged, "\xFF\xD8 not a picture"));
  page.Place(damaged, {0.1, 0.75, 0.3, 0.1}, 2);
  host.emptyBoxes = {2};  // the sheet could not read it: its box is shown empty
  Print(page);
  EXPECT_EQ(host.errors, QStringList());

  // pdftotext -bbox: <word xMin="..." yMin="..." xMax="..." yMax="...">text</word>, in points.
  const QString boxes = RunTool(QStringLiteral("pdftotext"), {"-bbox", "-f", "1", "-l", "1", host.saveAnswer, "-"});
  const QRegularExpression word(R"re(<word xMin="([\d.]+)" yMin="([\d.]+)"[^>]*>([^<]*)</word>)re");
  QStringList words;
  const QImage sheet = PdfPage(host.saveAnswer, 1);
  for (auto match = word.globalMatch(boxes); match.hasNext();) {
    const QRegularExpressionMatch found = match.next();
    words << found.captured(3);
    if (found.captured(3) == "Pond" || found.captured(3) == "Damaged") continue;
    const QRectF picture = Edges(sheet, found.captured(3) == "Harbour" ? Qt::red : Qt::green);
    EXPECT_NEAR(found.captured(1).toDouble(), picture.left(), 2.0) << found.captured(3).toStdString();
    EXPECT_NEAR(found.captured(2).toDouble(), picture.bottom(), 2.0) << found.captured(3).toStdString();
  }
  EXPECT_EQ(words, (QStringList{"Harbour", "Mill", "Pond", "Damaged"})) << "no other text: the empty label shows nothing";
  EXPECT_TRUE(Near(At(sheet, 0.25, 0.8), Qt::white)) << "the empty box";

  host.emptyBoxes.clear();  // shown on the page, it prints or stops the page
  host.saveAnswer = folder + QStringLiteral("/shown.pdf");
  Print(page);
  ASSERT_EQ(host.errors.size(), 1);
  EXPECT_TRUE(host.errors[0].startsWith("Printing error: \"" + damaged + "\"")) << host.errors[0].toStdString();
}

// Accepts Qt's print dialog as it opens, after `change` has done to it what
// a user would. Gives up after 10 s, in case no dialog comes.
struct AcceptPrintDialog {
  std::function<void(QDialog&)> change = [](QDialog&) {};
  bool accepted = false;
  QTimer timer;
  int ticks = 0;
  AcceptPrintDialog() {
    QObject::connect(&timer, &QTimer::timeout, [this] {
      for (QWidget* window : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QPrintDialog*>(window);
        if (!dialog || !dialog->isVisible() || accepted) continue;
        timer.stop();
        accepted = true;
        change(*dialog);
        dialog->accept();
      }
      if (++ticks > 1000) timer.stop();
    });
    timer.start(10);
  }
};

// Opens Properties in the print dialog, reads the paper it shows, picks
// each of `choices` in the list that offers it, and confirms.
void InProperties(QDialog& dialog, QString* shown, const QStringList& choices = {}) {
  QTimer::singleShot(0, &dialog, [&dialog, shown, choices] {
    for (QDialog* properties : dialog.findChildren<QDialog*>()) {
      if (!properties->isVisible()) continue;
      auto* papers = properties->findChild<QComboBox*>(QStringLiteral("pageSizeCombo"));
      if (!papers) continue;
      *shown = papers->currentText();
      for (const QString& choice : choices) {
        for (QComboBox* list : properties->findChildren<QComboBox*>()) {
          if (list->findText(choice) >= 0) list->setCurrentIndex(list->findText(choice));
        }
      }
      properties->accept();
    }
  });
  QPushButton* button = dialog.findChild<QPushButton*>(QStringLiteral("properties"));
  ASSERT_NE(button, nullptr);
  button->click();
}

TEST_F(Printing, QtsPrintDialogKeepsThePaperAndTurnOfThePageUnlessChangedThere) {
  NEED_SCHEDULER(cups);
  const PrinterChoice a4{"Papers", QPageSize(QPageSize::A4), kPortrait};
  const PrinterChoice a5{"Papers", QPageSize(QPageSize::A5), kLandscape};
  QString shown;
  const struct {
    PrinterChoice page;
    std::function<void(QDialog&)> change;
    PrinterChoice printed;
    QString shownInProperties;
  } cases[] = {
      {a4, [](QDialog&) {}, a4, QString()},
      {a5, [](QDialog&) {}, a5, QString()},
      {a4, [&](QDialog& dialog) { InProperties(dialog, &shown); }, a4, "A4"},
      // Each paper has a borderless twin of its size: Properties shows the paper itself.
      {a5, [&](QDialog& dialog) { InProperties(dialog, &shown); }, a5, "A5"},
      {a4, [&](QDialog& dialog) { InProperties(dialog, &shown, {QStringLiteral("A5")}); },
       {"Papers", QPageSize(QPageSize::A5), kPortrait}, "A4"},
  };
  for (const auto& [page, change, printed, shownInProperties] : cases) {
    PrinterDevice device;
    ASSERT_TRUE(Choose(device, page).ok());
    shown.clear();
    AcceptPrintDialog accept;
    accept.change = change;
    ASSERT_TRUE(device.ShowDialog(QString()).ok());
    ASSERT_TRUE(accept.accepted);
    EXPECT_TRUE(device.DialogOK());
    EXPECT_EQ(device.CurrentChoice(), printed) << "page " << page.paper.name().toStdString();
    EXPECT_EQ(shown, shownInProperties) << "Properties opens on the page's paper";
  }
}

// The box that Print shows while it waits for the print server, once shown.
QDialog* WaitBox() {
  for (QWidget* window : QApplication::topLevelWidgets()) {
    auto* box = qobject_cast<QDialog*>(window);
    if (box && box->isVisible() && !qobject_cast<QPrintDialog*>(box) && box->windowTitle() == "Print") return box;
  }
  return nullptr;
}

// Print asks for the printer of its dialog away: while the print server
// keeps its answer the program runs on and a box says what it waits for.
// The patience running out says that the server does not answer, Cancel
// there is a cancelled Print, and an answer opens the print dialog; the job
// then goes to the queue while the server holds its answer again.
TEST_F(Printing, PrintWaitsForThePrintServerWithTheProgramRunningAndHandsItsJobOverAway) {
  NEED_SCHEDULER(cups);
  PrinterDevice device;
  ASSERT_EQ(device.DeviceName(), "Capture");
  device.SetPatience(2000);
  test::HeldInFront server(test::freshShortFolder(QStringLiteral("held")) + QStringLiteral("/held.sock"), 15);
  ASSERT_TRUE(server.Listening());
  TestPage page(device.Facts());
  page.Place(SolidPicture(folder, "red", Qt::red, {40, 40}), {0.1, 0.1, 0.3, 0.3}, 0);
  FakePrintHost host;
  PagePrinting printing(page.model, device, settings, options, host);
  // Prints, doing `atBox` to the wait box once it shows; what the box said.
  const auto printWatched = [&](const std::function<void(QDialog&)>& atBox) {
    QString said;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
      QDialog* box = WaitBox();
      if (!box) return;
      watch.stop();
      said = box->findChild<QLabel*>()->text();
      atBox(*box);
    });
    watch.start(10);
    printing.mnuFilePrint_Click();
    return said;
  };

  EXPECT_EQ(printWatched([](QDialog&) {}), "Asking the print server for Capture...");
  EXPECT_EQ(host.errors, QStringList{"Printing error: The print server does not answer."});
  host.errors.clear();
  host.calls.clear();
  device.SetPatience(20000);  // only Cancel and the answer end the waits from here on
  printWatched([](QDialog& box) { box.findChild<QPushButton*>()->click(); });
  EXPECT_EQ(host.errors, QStringList());
  EXPECT_EQ(host.calls, (QStringList{"OPEN", "CLOSE wait", "printer Capture", "refresh"}));

  AcceptPrintDialog accept;
  accept.change = [&server](QDialog&) { server.Hold(); };
  printWatched([&server](QDialog&) { server.Answer(); });
  EXPECT_TRUE(accept.accepted) << "no print dialog came within 10 s";
  EXPECT_EQ(host.errors, QStringList());
  EXPECT_FALSE(server.AnsweredByItself()) << "Print waited for the queue to take its job";
  EXPECT_EQ(cups->Jobs(QStringLiteral("Capture")), QStringList()) << "a job while the print server holds its answer";
  server.Answer();
  EXPECT_FALSE(cups->WaitForJob(QStringLiteral("Capture")).isEmpty()) << "no job within 15 s of the answer";
}

TEST_F(Printing, AJobReachesTheQueueWithItsPaperAndTurnAndEachCopyOnASheetOfItsOwn) {
  NEED_SCHEDULER(cups);
  for (const PrinterChoice& chosen : {PrinterChoice{"Papers", QPageSize(QPageSize::A4), kLandscape},
                                      PrinterChoice{"Papers", QPageSize(QPageSize::A5), kPortrait}}) {
    PrinterDevice device;
    ASSERT_TRUE(Choose(device, chosen).ok());
    auto dialogs = std::make_unique<ScriptedDialogs>();
    dialogs->print = [](QPrinter& printer) {
      printer.setCopyCount(2);
      printer.setDuplex(QPrinter::DuplexLongSide);
      return true;
    };
    device.SetDialogs(std::move(dialogs));
    TestPage page(device.Facts());
    FakePrintHost host;
    host.portrait = chosen.orientation == kPortrait;
    PagePrinting(page.model, device, settings, options, host).mnuFilePrint_Click();
    EXPECT_EQ(host.errors, QStringList());
    const QString pdf = cups->WaitForJob(QStringLiteral("Papers"));
    ASSERT_FALSE(pdf.isEmpty());
    const QString info = RunTool(QStringLiteral("pdfinfo"), {pdf});
    EXPECT_TRUE(info.contains(QRegularExpression("Pages:\\s+2\\n"))) << info.toStdString();
    const QMap<QString, QString> sent = test::PrivatePrintScheduler::OptionsOf(pdf);
    EXPECT_EQ(sent.value("media"), chosen.paper.key());
    EXPECT_EQ(sent.value("sides"), "one-sided") << "a copy is never on the back of another";
    EXPECT_EQ(sent.contains("landscape"), chosen.orientation == kLandscape);
    EXPECT_FALSE(sent.contains("nolandscape"));
    EXPECT_EQ(sent.value("copies", "1"), "1") << "the job holds every copy already";
    cups->ForgetJobs();
  }
}

// A queue may offer a paper twice, as itself and borderless: the paper
// chosen is the one of its own key, whichever comes first.
TEST_F(Printing, APaperIsTakenByItsKeyNotByATwinOfItsSize) {
  NEED_SCHEDULER(cups);
  const QList<QPageSize> offered = QPrinterInfo::printerInfo(QStringLiteral("Papers")).supportedPageSizes();
  const qsizetype a5 = PaperIndex(offered, QPageSize(QPageSize::A5));
  ASSERT_GE(a5, 0);
  ASSERT_EQ(offered.value(a5 + 1).key(), "A5.Fullbleed");
  const QPageSize twin = offered[a5 + 1];
  EXPECT_EQ(PaperIndex({twin, offered[a5]}, offered[a5]), 1);
  EXPECT_EQ(PaperIndex(offered, twin), a5 + 1);
  EXPECT_EQ(PaperIndex({QPageSize(QPageSize::A4), twin}, QPageSize(QPageSize::A5)), 1)
      << "a paper of its size where its own is missing";
  EXPECT_EQ(PaperIndex(offered, QPageSize(QPageSize::A3)), -1);
  for (const QPageSize& paper : {offered[a5], twin}) {
    EXPECT_EQ(PrinterChoiceModel(AvailableQueues(), {"Papers", paper, kPortrait}).Choice().paper.key(), paper.key());
  }
}

TEST_F(Printing, WhatIsChosenInQtsPrintDialogReachesTheJobAndThePaperStaysItself) {
  NEED_SCHEDULER(cups);
  // Prints the page of `device` through Qt's own print dialog, changed
  // there by `change` first; the options the queue's job came with.
  const auto PrintThroughQtsDialog = [&](PrinterDevice& device, const std::function<void(QDialog&)>& change,
                                         const QString& queue) {
    TestPage page(device.Facts());
    FakePrintHost host;
    host.portrait = device.Orientation() == kPortrait;
    AcceptPrintDialog accept;
    accept.change = change;
    PagePrinting(page.model, device, settings, options, host).mnuFilePrint_Click();
    EXPECT_TRUE(accept.accepted) << "no print dialog came";
    EXPECT_EQ(host.errors, QStringList());
    const QString pdf = cups->WaitForJob(queue);
    EXPECT_FALSE(pdf.isEmpty()) << "no job reached " << queue.toStdString() << " within 15 s";
    return test::PrivatePrintScheduler::OptionsOf(pdf);
  };
  // Only looked at, the paper stays as it was, strips and all; the tray and
  // quality changed there go with the job.
  PrinterDevice device;
  ASSERT_TRUE(Choose(device, {"Papers", QPageSize(QPageSize::A5), kLandscape}).ok());
  const PrinterFacts facts = device.Facts();
  QString shown;
  const auto properties = [&](QDialog& dialog) {
    InProperties(dialog, &shown, {QStringLiteral("Lower Tray"), QStringLiteral("High")});
  };
  QMap<QString, QString> sent = PrintThroughQtsDialog(device, properties, QStringLiteral("Papers"));
  EXPECT_EQ(shown, "A5");
  EXPECT_EQ(sent.value("media"), "A5");
  EXPECT_TRUE(sent.contains("landscape"));
  EXPECT_EQ(sent.value("InputSlot"), "Lower");
  EXPECT_EQ(sent.value("cupsPrintQuality"), "High");
  EXPECT_EQ(device.Facts(), facts) << "the page keeps its paper and strips";
  cups->ForgetJobs();

  // Another queue chosen in the dialog prints the page's own paper, turned
  // as the page is, also where that paper is not the one the queue starts
  // on: Sizes starts on Letter and lists A5 first.
  ASSERT_EQ(cups->AddQueue(QStringLiteral("Sizes")), QString());
  const auto removed = qScopeGuard([cups] { cups->RemoveQueue(QStringLiteral("Sizes")); });
  const struct {
    PrinterChoice page;
    QString chosen;
  } others[] = {
      {{"Second", QPageSize(QPageSize::A4), kLandscape}, "Papers"},
      {{"Papers", QPageSize(QPageSize::A5), kLandscape}, "Sizes"},
  };
  for (const auto& [page, chosen] : others) {
    ASSERT_TRUE(Choose(device, page).ok());
    const auto otherQueue = [chosen = chosen](QDialog& dialog) {
      auto* queues = dialog.findChild<QComboBox*>(QStringLiteral("printers"));
      ASSERT_NE(queues, nullptr);
      queues->setCurrentIndex(queues->findText(chosen));
    };
    sent = PrintThroughQtsDialog(device, otherQueue, chosen);
    EXPECT_EQ(sent.value("media"), page.paper.key()) << chosen.toStdString();
    EXPECT_TRUE(sent.contains("landscape"));
    EXPECT_EQ(device.CurrentChoice(), (PrinterChoice{chosen, page.paper, kLandscape}));
    cups->ForgetJobs();
  }
}

TEST_F(Printing, AQueueThatRefusesTheJobOrIsGoneIsReportedNotPrinted) {
  NEED_SCHEDULER(cups);
  ASSERT_EQ(cups->AddQueue(QStringLiteral("Gone")), QString());
  const auto removed = qScopeGuard([cups] { cups->RemoveQueue(QStringLiteral("Gone")); });
  PrinterDevice device;
  ASSERT_TRUE(Choose(device, {"Gone", QPageSize(QPageSize::Letter), kPortrait}).ok());
  auto* dialogs = new ScriptedDialogs;
  device.SetDialogs(std::unique_ptr<ScriptedDialogs>(dialogs));
  TestPage page(device.Facts());
  page.Place(SolidPicture(folder, "red", Qt::red, {40, 40}), {0.1, 0.1, 0.3, 0.3}, 0);
  FakePrintHost host;
  PagePrinting printing(page.model, device, settings, options, host);

  // The queue's answers come after the job was handed over.
  ASSERT_EQ(cups->Refuse(QStringLiteral("Gone")), QString());
  printing.mnuFilePrint_Click();
  ASSERT_TRUE(test::RunUntil([&host] { return !host.errors.isEmpty(); })) << "no refusal within 20 s";
  ASSERT_EQ(cups->Accept(QStringLiteral("Gone")), QString());
  dialogs->print = [&](QPrinter&) { return cups->RemoveQueue(QStringLiteral("Gone")).isEmpty(); };
  printing.mnuFilePrint_Click();
  ASSERT_TRUE(test::RunUntil([&host] { return host.errors.size() == 2; })) << "no second answer within 20 s";
  EXPECT_EQ(host.errors, (QStringList{"Printing error: The printer Gone did not take the job: Destination \"Gone\" is not "
                                      "accepting jobs.",
                                      "Printing error: The printer Gone is no longer there."}));
  EXPECT_EQ(cups->Jobs(QStringLiteral("Gone")), QStringList());
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

  const struct { std::vector<int> ranks, order; } cases[] = {
      {{3, -1, 0, 2, 2}, {4, 2, 3, 0}},  // a shared rank still prints, behind
      {{0, 1, 0}, {2, 0, 1}},            // also the lowest one
  };
  for (const auto& c : cases) {
    PageModel page;
    for (const int rank : c.ranks) {
      const int slot = page.picLast() + 1;
      page.pic(slot).zRank = static_cast<std::int16_t>(rank);
      page.setPicLast(slot);
    }
    EXPECT_EQ(StackingOrder(page), c.order) << c.ranks.size();
  }
}

}  // namespace
}  // namespace lumaset
