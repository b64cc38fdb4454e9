#include "components/exif_reader.h"

#include <gtest/gtest.h>

#include <QFile>

#include "support/test_support.h"

namespace lumaset {
namespace {

TEST(ExifReport, ParsesLinesAndFieldsAndKnowsExifByItsFields) {
  const ExifReport withExif = ParseJheadReport(
      "File name    : /p/a b.jpg\r\nDate/Time    : 2026:12:06 21:18:12\nExposure time: 0.0040 s  (1/250)\n\n");
  EXPECT_EQ(withExif.lines.size(), 4);  // the blank line jhead ends with is a line
  EXPECT_EQ(withExif.lines.first(), QStringLiteral("File name    : /p/a b.jpg"));
  ASSERT_EQ(withExif.fields.size(), 3u);
  EXPECT_EQ((QStringList{withExif.fields[1].label, withExif.fields[1].value, withExif.fields[2].label}),
            (QStringList{"Date/Time", "2026:12:06 21:18:12", "Exposure time"}));
  EXPECT_TRUE(withExif.hasExif());

  // Seven lines and more, yet nothing that EXIF data gives.
  const ExifReport plain = ParseJheadReport(
      "File name    : x.jpg\nFile size    : 9 bytes\nFile date    : 2026:01:01 00:00:00\n"
      "Resolution   : 1 x 1\nJPEG Quality : 75\nComment      : Camera make: none\nColor/bw     : Black and white\n\n");
  EXPECT_TRUE(plain.lines.size() == 8);
  EXPECT_TRUE(!plain.hasExif());
  EXPECT_TRUE(ParseJheadReport("").lines.isEmpty());
}

TEST(ExifReader, ReadsRealReportsInPlaceAndNamesFailures) {
  const QString folder = test::freshFolder(QStringLiteral("exif")) + QLatin1Char('/');
  // A name a shell would trip over; jhead gets it as one argument.
  const QString withExif = folder + QStringLiteral("-x 'quoted' $HOME;.jpg");
  const QString without = folder + QStringLiteral("plain.jpg");
  test::WritePicture(withExif, 64, 48, "jpg");
  test::WritePicture(without, 64, 48, "jpg");
  test::WritePicture(folder + QStringLiteral("b.png"), 4, 4, "png");
  const auto made = RunProgram(QStringLiteral("jhead"), {QStringLiteral("-mkexif"), withExif}, 20000);
  ASSERT_TRUE(made.ok());
  ASSERT_TRUE(made->exitCode == 0);
  const QByteArray before = test::ReadBytes(withExif);

  const auto report = ExifReader().Read(withExif);
  ASSERT_TRUE(report.ok()) << report.error().toStdString();
  EXPECT_TRUE(report->hasExif());
  EXPECT_TRUE(report->lines.first().endsWith(QStringLiteral("-x 'quoted' $HOME;.jpg")));
  EXPECT_EQ(test::ReadBytes(withExif), before);  // read, never written
  const auto plain = ExifReader().Read(without);
  ASSERT_TRUE(plain.ok()) << plain.error().toStdString();
  EXPECT_FALSE(plain->hasExif());

  const auto missing = ExifReader(QStringLiteral("/nonexistent/jhead")).Read(withExif);
  ASSERT_TRUE(!missing.ok());
  EXPECT_TRUE(missing.error().contains(QStringLiteral("could not be started")));
  EXPECT_FALSE(ExifReader().Read(folder + QStringLiteral("b.png")).ok());
  EXPECT_FALSE(ExifReader().Read(folder + QStringLiteral("gone.jpg")).ok());
}

TEST(RunProgram, StopsAProgramThatOutrunsItsLimitAndLeavesExitCodesToTheCaller) {
  const auto hung = RunProgram("sleep", {"30"}, 300);
  ASSERT_TRUE(!hung.ok());
  EXPECT_TRUE(hung.error().contains("did not finish within 0.3 seconds"));
  const auto echoed = RunProgram("echo", {"out"}, 20000);
  ASSERT_TRUE(echoed.ok());
  EXPECT_TRUE(echoed->standardOutput == "out\n");
  const auto refused = RunProgram("ls", {"/nonexistent-folder"}, 20000);
  ASSERT_TRUE(refused.ok());
  EXPECT_TRUE(refused->exitCode != 0);
  EXPECT_TRUE(!refused->standardError.isEmpty());
}

}  // namespace
}  // namespace lumaset
