#include "browser/properties_window.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QThreadPool>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "browser/background_work.h"
#include "browser/thumb_table.h"
#include "support/accessibility.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

const QLocale kUs(QLocale::English, QLocale::UnitedStates);

PropertiesSubject Subject(const QString& path, bool inches = true) {
  return {path, 1600, 1200, 24, 16777216, QStringLiteral("Capture"), inches ? 300.0f : 118.11f, inches};
}

QString ExifJpeg(const QString& path) {
  test::WritePicture(path, 32, 24, "jpg");
  const auto made = RunProgram(QStringLiteral("jhead"), {QStringLiteral("-mkexif"), path}, 20000);
  EXPECT_TRUE(made.ok());
  if (made.ok()) {
    EXPECT_EQ(made->exitCode, 0);
  }
  return path;
}

TEST(PropertiesFacts, FillsTheNineRowsInEitherMeasure) {
  const QString file = test::freshFolder(QStringLiteral("facts")) + QStringLiteral("/holiday.gif");
  test::WriteText(file, QByteArray(1234567, 'x'));
  QStringList rows;
  for (const FactRow& row : FactsTable(Subject(file), kUs))
    if (row.caption != QStringLiteral("Last modified:")) rows << row.caption + QLatin1Char('|') + row.value;
  EXPECT_EQ(rows, (QStringList{"File name:|holiday.gif", "File size (kBytes): |1234.567",
                               "Pixel dimensions:|1600 x 1200", "Color Depth (bpp):|24", "Colors used:|16,777,216",
                               "Printer Name:|Capture", "Resolution (dpi):|300", "Print size (in):|5.33 W x 4.00 H"}));

  // With centimetres the resolution stays in dots per inch and the print
  // size says that it is in centimetres.
  const auto centimetres = FactsTable(Subject(file, false), kUs);
  EXPECT_EQ(centimetres[7].value, QStringLiteral("300"));
  EXPECT_EQ(centimetres[8].caption + centimetres[8].value, QStringLiteral("Print size (cm):13.55 W x 10.16 H"));
  PropertiesSubject noPrinter = Subject(file);
  noPrinter.printerRes = 0;
  EXPECT_TRUE(FactsTable(noPrinter, kUs)[8].value.isEmpty());

  for (const auto& [name, asks] : std::vector<std::pair<QString, bool>>{
           {"a.jpg", true}, {"a.JPG", true}, {"a.jPg", true}, {"a.jpeg", false}, {"a.gif", false}}) {
    EXPECT_EQ(AsksForExif(name), asks) << name.toStdString();
  }
}

TEST(PropertiesGather, ChoosesTheExifReportByItsFields) {
  const QString folder = test::freshFolder(QStringLiteral("gather"));
  const QString withExif = ExifJpeg(folder + QStringLiteral("/camera.jpg"));
  const QString without = folder + QStringLiteral("/plain.jpg");
  test::WritePicture(without, 32, 24, "jpg");
  const QStringList before = QDir(folder).entryList(QDir::Files);

  const PropertiesContent exif = GatherProperties(Subject(withExif), ExifReader(), kUs);
  EXPECT_TRUE(exif.exif);
  EXPECT_TRUE(exif.exifLines.first().startsWith(QStringLiteral("File name")));
  EXPECT_EQ(exif.caption + QString::number(exif.widthTwips), QStringLiteral("Image Properties (Jpeg EXIF)6200"));

  // jhead prints lines for a JPEG without EXIF too; they make no report.
  for (const auto& [path, reader] : std::vector<std::pair<QString, ExifReader>>{
           {without, ExifReader()},
           {withExif, ExifReader(QStringLiteral("/nonexistent/jhead"))},
           {withExif, ExifReader(QStringLiteral("false"))}}) {
    const PropertiesContent facts = GatherProperties(Subject(path), reader, kUs);
    EXPECT_FALSE(facts.exif) << path.toStdString();
    EXPECT_EQ(facts.caption + QString::number(facts.widthTwips), QStringLiteral("Image Properties4000"));
    EXPECT_EQ(facts.facts.size(), static_cast<std::size_t>(kFactRows));
  }
  EXPECT_EQ(QDir(folder).entryList(QDir::Files), before);  // no copies, no exchange files

  // A long report shows its first fourteen lines, unchanged.
  const QString longReport = folder + QStringLiteral("/long.jpg");
  QByteArray lines;
  for (int i = 1; i <= 20; ++i) lines += QStringLiteral("Camera make  : line %1\n").arg(i).toUtf8();
  test::WriteText(longReport, lines);
  const PropertiesContent shown = GatherProperties(Subject(longReport), ExifReader(QStringLiteral("cat")), kUs);
  EXPECT_TRUE(shown.exifLines.size() == 14);
  EXPECT_TRUE(shown.exifLines.last() == QStringLiteral("Camera make  : line 14"));
}

// Colours not counted yet are counted on the whole picture, the same for
// palette and true-colour pictures, on a worker thread: the window is ready
// before the count, which shows when made, and closing the window stops it.
// A count already made is shown as it is.
TEST(PropertiesGather, CountsTheColoursTheTableHasNotCounted) {
  const QString folder = test::freshFolder(QStringLiteral("colours")) + QLatin1Char('/');
  ASSERT_TRUE(test::Quarters(300, 200).save(folder + "four.png"));
  QImage palette(40, 30, QImage::Format_Indexed8);  // 256 entries, three of them used
  QList<QRgb> table(256, qRgb(9, 9, 9));
  table[1] = qRgb(1, 1, 1), table[2] = qRgb(2, 2, 2);
  palette.setColorTable(table);
  palette.fill(0);
  palette.setPixel(1, 1, 1);
  palette.setPixel(2, 2, 2);
  ASSERT_TRUE(palette.save(folder + "three.bmp"));
  const std::pair<QString, int> cases[] = {{"four.png", 4}, {"three.bmp", 3}, {"missing.png", 0}};
  PropertiesWindow window;
  std::vector<int> counted;
  QObject::connect(&window, &PropertiesWindow::colorsCounted, [&counted](int colors) { counted.push_back(colors); });
  const ExifReader noReport(QStringLiteral("/nonexistent/jhead"));
  for (const auto& [name, colours] : cases) {
    PropertiesSubject subject = Subject(folder + name);
    subject.colors = 0;
    EXPECT_EQ(GatherProperties(subject, ExifReader(), kUs).colors, 0) << "gathering reads no picture";
    window.Load(subject, noReport);
    EXPECT_TRUE(window.counting()) << name.toStdString();
    EXPECT_TRUE(window.factValue(5)->text().isEmpty());
    ASSERT_TRUE(test::RunUntil([&window] { return !window.counting(); })) << "the count of " << name.toStdString();
    EXPECT_EQ(window.content().colors, colours) << name.toStdString();
    EXPECT_EQ(window.factValue(5)->text(), QLocale().toString(colours));
  }
  EXPECT_EQ(counted, (std::vector<int>{4, 3, 0}));
  window.Load(Subject(folder + "four.png"), noReport);
  EXPECT_FALSE(window.counting());
  EXPECT_EQ(window.factValue(5)->text(), QLocale().toString(16777216));

  PropertiesSubject uncounted = Subject(folder + "four.png");
  uncounted.colors = 0;
  window.Load(uncounted, noReport);
  window.show();
  window.closeButton()->click();
  EXPECT_FALSE(window.counting());
  EXPECT_TRUE(test::RunUntil([] { return BackgroundPool()->activeThreadCount() == 0; })) << "the count's end";
  QCoreApplication::processEvents();
  EXPECT_EQ(counted.size(), 3u) << "a stopped count is dropped";
}

TEST(PropertiesWindow, LaysOutEitherViewAndPlaysItsSounds) {
  ThumbTable table;
  table.start({ExifJpeg(test::freshFolder(QStringLiteral("window")) + QStringLiteral("/camera.jpg"))});
  table.setFacts(0, {32, 24, 24, 0, false});
  PropertiesWindow window;
  std::vector<std::pair<PropertiesWindow::Sound, bool>> sounds;
  QObject::connect(&window, &PropertiesWindow::soundRequested,
                   [&sounds](PropertiesWindow::Sound sound, bool wait) { sounds.push_back({sound, wait}); });

  window.Load(SubjectFromTable(table, 0));
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Image Properties (Jpeg EXIF)"));
  EXPECT_EQ(test::AccessibilityProblems(&window), QStringList());
  EXPECT_TRUE(window.factsFrame()->isHidden());
  EXPECT_TRUE(!window.exifFrame()->isHidden());
  EXPECT_EQ(window.exifList()->count(), window.content().exifLines.size());
  const int wide = window.width();
  EXPECT_EQ(window.closeButton()->geometry().center().x(), wide / 2);

  window.Load(SubjectFromTable(table, 0), ExifReader(QStringLiteral("/nonexistent/jhead")));
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Image Properties"));
  EXPECT_TRUE(!window.factsFrame()->isHidden());
  EXPECT_TRUE(window.exifFrame()->isHidden());
  EXPECT_TRUE(window.exifList()->count() == 0);
  EXPECT_EQ(window.factCaption(3)->text() + window.factValue(3)->text(), QStringLiteral("Pixel dimensions:32 x 24"));
  EXPECT_LT(window.width(), wide);

  window.show();
  window.closeButton()->click();
  EXPECT_FALSE(window.isVisible());
  using Sound = PropertiesWindow::Sound;
  EXPECT_EQ(sounds,
            (std::vector<std::pair<Sound, bool>>{{Sound::Open, false}, {Sound::Open, false}, {Sound::Close, true}}));
  EXPECT_TRUE(QFile::exists(table.ThumbFiles(0)));
}

}  // namespace
}  // namespace lumaset
