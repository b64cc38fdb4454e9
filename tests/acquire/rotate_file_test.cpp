// Rotate Clockwise rewrites the user's own file: whatever the file held
// besides the turned pixels must still be there afterwards.

#include <QColorSpace>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>

#include <sys/stat.h>
#include <unistd.h>

#include "file_command_fixture.h"
#include "support/spare_group.h"

namespace lumaset::test {
namespace {

class RotateFileTest : public FileCommandsTest {
 protected:
  // Turns `name` in `folder` through the menu command.
  void Rotate(const QString& folder, const QString& name) {
    Open(folder);
    const int index = IndexOf(folder + name);
    ASSERT_GE(index, 0) << name.toStdString();
    Select(index);
    commands_.mnuFileOptionsRotate_Click();
  }
};

QByteArray Segment(char marker, const QByteArray& content) {
  const auto length = static_cast<int>(content.size()) + 2;
  return QByteArray("\xFF") + marker + char(length >> 8) + char(length & 0xFF) + content;
}

// The APP and comment segments before the first scan, each whole.
QList<QByteArray> MetadataSegments(const QByteArray& jpeg) {
  QList<QByteArray> found;
  for (qsizetype at = 2; at + 4 <= jpeg.size() && jpeg[at + 1] != char(0xDA);) {
    const auto marker = static_cast<unsigned char>(jpeg[at + 1]);
    const int length = static_cast<unsigned char>(jpeg[at + 2]) << 8 | static_cast<unsigned char>(jpeg[at + 3]);
    if ((marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE) found << jpeg.mid(at, length + 2);
    at += length + 2;
  }
  return found;
}

// A TIFF of two 1 x 1 pages, as a scanner's document feeder writes them:
// each page's directory gives width, height, photometric, strip offset and size.
QByteArray TwoPageTiff() {
  QByteArray tiff("II*\0\x08\0\0\0", 8);
  const auto u16 = [&tiff](int v) { tiff.append(char(v & 0xFF)).append(char(v >> 8)); };
  for (int page = 0; page < 2; ++page) {
    const int pixel = static_cast<int>(tiff.size()) + 2 + 5 * 12 + 4;
    u16(5);
    for (const int tag : {256, 257, 262, 273, 279})
      u16(tag), u16(3), u16(1), u16(0), u16(tag == 273 ? pixel : 1), u16(0);
    u16(page == 0 ? pixel + 2 : 0), u16(0), u16(0x80);  // the next directory, then the pixel and a pad byte
  }
  return tiff;
}

// A grey TIFF of side x side pixels as some scanners write it: without a
// compression tag, which makes it uncompressed.
QByteArray UntaggedGreyTiff(int side) {
  QByteArray tiff("II*\0\x08\0\0\0", 8);
  const auto u16 = [&tiff](int v) { tiff.append(char(v & 0xFF)).append(char(v >> 8)); };
  const int pixels = 8 + 2 + 6 * 12 + 4;
  u16(6);
  for (const auto& [tag, value] : {std::pair{256, side}, {257, side}, {258, 8}, {262, 1}, {273, pixels},
                                   {279, side * side}})
    u16(tag), u16(3), u16(1), u16(0), u16(value), u16(0);
  u16(0), u16(0);  // no next directory
  return tiff + QByteArray(side * side, '\x80');
}

// Transparency, 16-bit channels, grey, permissions and group stay as the
// file had them.
TEST_F(RotateFileTest, KeepsDepthTransparencyModeAndGroup) {
  const QString folder = freshFolder("deep") + "/";
  struct Case { const char* name; QImage::Format format; mode_t mode; };
  const Case cases[] = {{"deep.png", QImage::Format_RGBA64, 0640}, {"clear.png", QImage::Format_ARGB32, 0624},
                        {"grey.png", QImage::Format_Grayscale16, 0600}, {"deep.tif", QImage::Format_RGBA64, 0644}};
  for (const Case& c : cases) {
    QImage image(4, 2, c.format);
    image.fill(QColor::fromRgba64(0x1234, 0x1234, 0x1234));
    if (c.format == QImage::Format_Grayscale16) image.fill(0x1234U);  // a grey that 8 bits cannot hold
    image.setPixelColor(0, 0, QColor::fromRgba64(0, 0, 0, 0));
    ASSERT_TRUE(image.save(folder + c.name)) << c.name;
    const QByteArray path = QFile::encodeName(folder + c.name);
    const std::optional<gid_t> group = GiveSpareGroup(folder + c.name);
    ASSERT_EQ(::chmod(path.constData(), c.mode), 0);
    const QImage::Format stored = QImage(folder + c.name).format();
    Rotate(folder, c.name);
    const QImage turned(folder + c.name);
    EXPECT_EQ(turned.format(), stored) << c.name;
    EXPECT_EQ(turned.size(), QSize(2, 4)) << c.name;
    const bool grey = c.format == QImage::Format_Grayscale16;
    EXPECT_EQ(turned.pixelColor(1, 0).alpha(), grey ? 255 : 0) << c.name;  // the top left went to the top right
    EXPECT_EQ(turned.pixelColor(0, 3).rgba64().red(), c.format == QImage::Format_ARGB32 ? 0x1212 : 0x1234) << c.name;
    struct stat info {};
    ::stat(path.constData(), &info);
    EXPECT_EQ(info.st_mode & 07777, c.mode) << c.name;
    if (group) { EXPECT_EQ(info.st_gid, *group) << c.name; }
  }
  EXPECT_EQ(host_.errors, QStringList());
}

// Nothing writes GIF: the turned picture becomes a JPEG of the same name
// with the GIF's mode and group, and the GIF goes to the trash. Where the
// trash refuses the GIF, it stays alone, as it was.
TEST_F(RotateFileTest, GifBecomesAJpegInItsPlace) {
  for (const bool trashRefuses : {false, true}) {
    const QString folder = freshFolder(trashRefuses ? "gif-kept" : "gif") + "/";
    ASSERT_TRUE(WriteText(folder + "photo.gif", TinyGif()));
    const std::optional<gid_t> group = GiveSpareGroup(folder + "photo.gif");
    ASSERT_EQ(::chmod(QFile::encodeName(folder + "photo.gif").constData(), 0620), 0);
    host_.errors.clear();
    {
      std::optional<BlockedTrash> blocked;
      if (trashRefuses) blocked.emplace();
      Rotate(folder, "photo.gif");
    }
    const QString kept = folder + (trashRefuses ? "photo.gif" : "photo.jpg");
    EXPECT_EQ(Names(folder), QStringList{FileSystemUtility::PathPart(kept, false)});
    EXPECT_EQ(Files(), QStringList{kept});
    EXPECT_EQ(host_.errors.size(), trashRefuses ? 1 : 0);
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(kept).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0620u);
    if (group) { EXPECT_EQ(info.st_gid, *group); }
  }
  EXPECT_TRUE(QFileInfo::exists(Trash() + "photo.gif"));
}

// A TIFF keeps its colour profile, its resolution (across and down trading
// places) and its compression, so that it comes back about the size it was;
// one that a camera stored sideways turns from the way it is seen.
TEST_F(RotateFileTest, TiffKeepsProfileResolutionAndCompression) {
  const QString folder = freshFolder("tiff") + "/";
  struct Case { const char* name; int compression; QColorSpace space; int across, down; bool sideways; };
  const Case cases[] = {{"lzw.tif", 1, QColorSpace(QColorSpace::AdobeRgb), 2835, 2835, false},
                        {"plain.tiff", 0, QColorSpace(QColorSpace::ProPhotoRgb), 11811, 5906, false},
                        {"sideways.TIF", 1, QColorSpace(), 3780, 3780, true}};
  for (const Case& c : cases) {
    QImage picture = Quarters(120, 80);
    picture.setColorSpace(c.space);
    picture.setDotsPerMeterX(c.across);
    picture.setDotsPerMeterY(c.down);
    QImageWriter writer(folder + c.name, "tiff");
    writer.setCompression(c.compression);
    if (c.sideways) writer.setTransformation(QImageIOHandler::TransformationRotate90);
    ASSERT_TRUE(writer.write(picture)) << c.name;
    const qint64 size = QFileInfo(folder + c.name).size();
    Rotate(folder, c.name);
    const QImage turned = QImageReader(folder + c.name).read();
    EXPECT_EQ(CornerColours(turned), c.sideways ? "WBGR" : "BRWG") << c.name;
    EXPECT_EQ(turned.colorSpace().iccProfile(), c.space.iccProfile()) << c.name;
    EXPECT_EQ(std::pair(turned.dotsPerMeterX(), turned.dotsPerMeterY()), std::pair(c.down, c.across)) << c.name;
    EXPECT_LT(qAbs(QFileInfo(folder + c.name).size() - size), size / 4) << c.name;
  }
  ASSERT_TRUE(WriteText(folder + "scan.tif", UntaggedGreyTiff(64)));
  Rotate(folder, "scan.tif");
  EXPECT_GT(QFileInfo(folder + "scan.tif").size(), 64 * 64);  // still uncompressed
  EXPECT_EQ(host_.errors, QStringList());
}

// Everything a camera or an editor put in the file's header stays; only the
// orientation becomes upright.
TEST_F(RotateFileTest, JpegKeepsItsSegments) {
  const QString folder = freshFolder("segments") + "/";
  const QByteArray xmp = QByteArrayLiteral("http://ns.adobe.com/xap/1.0/\0<x:xmpmeta><rdf:Description ");
  const QByteArray xmpSideways =
      xmp + R"(tiff:Orientation="6" dc:creator="Ann"/><tiff:Orientation>6</tiff:Orientation>)";
  const QByteArray xmpUpright =
      xmp + R"(tiff:Orientation="1" dc:creator="Ann"/><tiff:Orientation>1</tiff:Orientation>)";
  const QByteArray icc = QByteArrayLiteral("ICC_PROFILE\0\x01\x01");
  const QByteArray rgbProfile = icc + QColorSpace(QColorSpace::AdobeRgb).iccProfile();
  const QByteArray greyProfile = icc + QByteArray(16, '\0') + "GRAY" + QByteArray(108, '\0');
  const QByteArray iptc = QByteArrayLiteral("Photoshop 3.0\0" "8BIM\x04\x04\0\0\0\0\0\x07\x1c\x02\x05\0\x02Hi\0");
  const QByteArray adobe = QByteArrayLiteral("Adobe\0\x64\0\0\0\0\x01");
  QImage picture = Quarters(64, 48);
  picture.setDotsPerMeterX(2835);  // 72 dpi
  picture.setDotsPerMeterY(2835);
  ASSERT_TRUE(picture.save(folder + "photo.jpg"));
  const QByteArray plain = ReadBytes(folder + "photo.jpg");
  const QByteArray jfif = MetadataSegments(plain).value(0);
  ASSERT_TRUE(jfif.contains("JFIF"));
  const auto withHeader = [&](const QList<QByteArray>& segments) {
    return plain.left(2) + segments.join() + plain.mid(2 + jfif.size());
  };
  struct Case { QList<QByteArray> before, after; const char* corners; };
  const Case cases[] = {
      {{jfif, ExifOrientationSegment(6), Segment('\xE1', xmpSideways), Segment('\xE2', rgbProfile),
        Segment('\xED', iptc), Segment('\xFE', "Beach, 2019"), Segment('\xEE', adobe)},
       {jfif, ExifOrientationSegment(1), Segment('\xE1', xmpUpright), Segment('\xE2', rgbProfile),
        Segment('\xED', iptc), Segment('\xFE', "Beach, 2019")},
       "WBGR"},
      {{ExifOrientationSegment(8, false), Segment('\xE2', greyProfile)}, {ExifOrientationSegment(1, false)}, "RGBW"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(WriteText(folder + "photo.jpg", withHeader(c.before)));
    Rotate(folder, "photo.jpg");
    const QByteArray turned = ReadBytes(folder + "photo.jpg");
    EXPECT_EQ(MetadataSegments(turned), c.after);
    EXPECT_EQ(CornerColours(QImage::fromData(turned)), c.corners);
  }
  EXPECT_EQ(host_.errors, QStringList());
}

// A picture that cannot be turned without loss is left exactly as it was.
TEST_F(RotateFileTest, RefusesWhatItWouldSpoil) {
  const QString folder = freshFolder("refused") + "/";
  ASSERT_TRUE(WriteText(folder + "pages.tif", TwoPageTiff()));
  ASSERT_EQ(QImageReader(folder + "pages.tif").imageCount(), 2);
  ASSERT_TRUE(WritePicture(folder + "locked.png", 64, 48));
  ASSERT_TRUE(WritePicture(folder + "locked.gif", 64, 48, "png"));
  for (const char* name : {"locked.png", "locked.gif"}) ::chmod(QFile::encodeName(folder + name).constData(), 0444);
  const std::pair<const char*, const char*> cases[] = {
      {"pages.tif", "it holds 2 pages or frames, and only the first would be kept."},
      {"locked.png", "the file is read-only."},
      {"locked.gif", "the file is read-only."}};
  for (const auto& [name, why] : cases) {
    const QByteArray before = ReadBytes(folder + name);
    host_.errors.clear();
    Rotate(folder, name);
    EXPECT_EQ(host_.errors, QStringList{QStringLiteral("Error: File <%1> not rotated!\n\"%1\" cannot be turned: %2")
                                            .arg(folder + name, why)});
    EXPECT_EQ(ReadBytes(folder + name), before) << name;
  }
  EXPECT_EQ(Names(folder), (QStringList{"locked.gif", "locked.png", "pages.tif"}));
}

}  // namespace
}  // namespace lumaset::test
