#include "components/exif_reader.h"

#include <gtest/gtest.h>

#include <QTimer>

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
  EXPECT_TRUE(report->lines.first().endsWith(QStringLiteral(": -x 'quoted' $HOME;.jpg")))
      << "the name, not the path: " << report->lines.first().toStdString();
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

// Odd EXIF data from real cameras: jhead reads it or gives up, never hangs
// the window, and the report still starts with the file's name.
TEST(ExifReader, OddExifBlocksEndInAReportOrAnError) {
  const QString folder = test::freshFolder(QStringLiteral("odd-exif")) + QLatin1Char('/');
  ASSERT_TRUE(test::WritePicture(folder + "plain.jpg", 64, 48, "jpg"));
  const QByteArray jpeg = test::ReadBytes(folder + "plain.jpg");
  const auto segment = [](const QByteArray& tiff) {
    const QByteArray body = QByteArray("Exif\0\0", 6) + tiff;
    const auto length = static_cast<int>(body.size()) + 2;
    return QByteArray("\xFF\xE1") + QByteArray(1, char(length >> 8)).append(char(length & 0xFF)) + body;
  };
  const auto entry = [](const char* tagTypeCount, quint32 value) {  // big-endian 12-byte entry
    QByteArray bytes(tagTypeCount, 8);
    for (int shift = 24; shift >= 0; shift -= 8) bytes.append(char(value >> shift & 0xFF));
    return bytes;
  };
  const QByteArray head("MM\0\x2A\0\0\0\x08", 8);
  // make, model (zero length), a 60,000-byte description, a GPS directory with a latitude
  QByteArray rich = head + QByteArray("\0\x04", 2) + entry("\x01\x0F\0\x02\0\0\0\x04", 0x41424300) +
                    entry("\x01\x10\0\x02\0\0\0\0", 0) + entry("\x01\x0E\0\x02\0\0\xEA\x60", 62) +
                    entry("\x88\x25\0\x04\0\0\0\x01", 60062) + QByteArray(4, 0) + QByteArray(60000, 'D');
  rich += QByteArray("\0\x01", 2) + entry("\0\x02\0\x05\0\0\0\x03", 60080) + QByteArray(4, 0) + QByteArray(24, 1);
  const QByteArray blocks[] = {segment(rich), segment(head + QByteArray("\xFF\xFF", 2)), segment({}),
                               segment(head.left(6)), test::ExifOrientationSegment(6)};
  for (const QByteArray& block : blocks) {
    const QString file = folder + "odd.jpg";
    ASSERT_TRUE(test::WriteText(file, test::WithSegment(jpeg, block)));
    const auto report = ExifReader().Read(file);
    EXPECT_TRUE(!report.ok() || report->lines.isEmpty() || report->lines.first().endsWith(": odd.jpg"));
  }
}

TEST(RunProgram, StopsAProgramThatOutrunsItsLimitAndLeavesExitCodesToTheCaller) {
  bool painted = false;  // the event loop runs while the program works
  QTimer::singleShot(0, [&painted] { painted = true; });
  const auto hung = RunProgram("sleep", {"30"}, 300);
  ASSERT_TRUE(!hung.ok());
  EXPECT_TRUE(hung.error().contains("did not finish within 0.3 seconds"));
  EXPECT_TRUE(painted);
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
