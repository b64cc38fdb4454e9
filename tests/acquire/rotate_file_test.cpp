// Rotate Clockwise rewrites the user's own file: whatever the file held
// besides the turned pixels must still be there afterwards.

#include <QColorSpace>
#include <QFileInfo>
#include <QImageReader>
#include <QImageWriter>
#include <QTimer>
#include <QTransform>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <tuple>
#include <vector>

#include <tiffio.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "acquire/rotate_file.h"
#include "file_command_fixture.h"
#include "made_pictures.h"
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

QByteArray WebpChunk(const char* type, const QByteArray& data) {
  return type + Le32(static_cast<quint32>(data.size())) + data + QByteArray(data.size() % 2, '\0');
}

// A 2 x 2 bitmap of 32 bits a pixel whose header (of 108 bytes) names a
// mask for transparency, half transparent.
QByteArray TranslucentBitmap() {
  const QByteArray masks = Le32(0x00FF0000) + Le32(0x0000FF00) + Le32(0x000000FF) + Le32(0xFF000000);
  const QByteArray header = Le32(108) + Le32(2) + Le32(2) + Le16(1) + Le16(32) + Le32(3) + Le32(16) + Le32(2835) +
                            Le32(2835) + Le32(0) + Le32(0) + masks + "BGRs" + QByteArray(48, '\0');
  const QByteArray pixels = QByteArray("\x10\x20\x30\x80\x40\x50\x60\x80\x70\x80\x90\x80\xA0\xB0\xC0\x80", 16);
  return "BM" + Le32(14 + 108 + 16) + Le32(0) + Le32(14 + 108) + header + pixels;
}

// Transparency, 16-bit channels, grey, permissions and group stay as the
// file had them.
// The turn runs away from the window's thread: the window's events go on
// meanwhile, with the window taking no input, and the cell shows the result.
TEST_F(RotateFileTest, TheWindowsEventsGoOnWhileAFileIsTurned) {
  const QString folder = freshFolder("away") + "/";
  ASSERT_TRUE(WritePicture(folder + "photo.png", 64, 48));
  Open(folder);
  Select(IndexOf(folder + "photo.png"));
  std::optional<std::vector<bool>> turningWhenEventsRan;
  QTimer::singleShot(0, [&] { turningWhenEventsRan = host_.turning; });
  commands_.mnuFileOptionsRotate_Click();
  EXPECT_EQ(turningWhenEventsRan, std::vector<bool>{true}) << "no event ran while the file was turned";
  EXPECT_EQ(host_.turning, (std::vector<bool>{true, false}));
  EXPECT_EQ(QImage(folder + "photo.png").size(), QSize(48, 64));
}

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

// A file whose name says JPEG but which holds another format is written as
// the JPEG its name says, made from its own picture turned.
TEST_F(RotateFileTest, AJpegNameOverAnotherFormatGetsItsOwnPictureTurned) {
  const QString folder = freshFolder("named") + "/";
  ASSERT_TRUE(WritePicture(folder + "photo.jpg", 64, 48, "png"));
  Rotate(folder, "photo.jpg");
  EXPECT_EQ(host_.errors, QStringList());
  EXPECT_EQ(QImageReader(folder + "photo.jpg").format(), "jpeg");
  EXPECT_EQ(QImage(folder + "photo.jpg").size(), QSize(48, 64));
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
  const auto jfifOf = [&jfif](int across, int down) {  // dots per inch
    QByteArray segment = jfif;
    segment[11] = 1;
    return segment.replace(12, 4, Be16(across) + Be16(down));
  };
  struct Case { QList<QByteArray> before, after; const char* corners; };
  const Case cases[] = {
      {{jfif, ExifOrientationSegment(6), Segment('\xE1', xmpSideways), Segment('\xE2', rgbProfile),
        Segment('\xED', iptc), Segment('\xFE', "Beach, 2019"), Segment('\xEE', adobe)},
       {jfif, ExifOrientationSegment(1), Segment('\xE1', xmpUpright), Segment('\xE2', rgbProfile),
        Segment('\xED', iptc), Segment('\xFE', "Beach, 2019"), Segment('\xEE', adobe)},
       "WBGR"},
      // The samples keep their colour model, so whatever described it stays too.
      {{ExifOrientationSegment(8, false), Segment('\xE2', greyProfile)},
       {ExifOrientationSegment(1, false), Segment('\xE2', greyProfile)}, "RGBW"},
      // A resolution across unlike the one down follows the pixels it describes.
      {{jfifOf(200, 100)}, {jfifOf(100, 200)}, "BRWG"},
      {{jfifOf(200, 100), ExifOrientationSegment(6)}, {jfifOf(200, 100), ExifOrientationSegment(1)}, "WBGR"},
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

// A PNG's samples move as the file stores them (16 bits with a transparent
// colour, 2-bit palette indexes), and every chunk but the picture stays:
// no resolution, profile or gamma appears or goes. The expected file is the
// turned picture made directly.
TEST_F(RotateFileTest, PngKeepsItsSamplesAndChunks) {
  const QString folder = freshFolder("png-chunks") + "/";
  const auto rgb16 = [](int r, int g, int b) { return Be16(r) + Be16(g) + Be16(b); };
  const QByteArray p1 = rgb16(0x0102, 0x0304, 0x0506), p2 = rgb16(0xFFFF, 0, 0x1234), p3 = rgb16(0x8001, 0x7FFE, 1),
                   p4 = rgb16(0, 0, 0), p5 = rgb16(0x4444, 0x5555, 0x6666), p6 = rgb16(0xFEDC, 0xBA98, 0x7654);
  const QByteArray gamma = hostile::pngChunk("gAMA", hostile::be32(45455));
  QByteArray chromaticities;
  for (const quint32 v : {31270, 32900, 64000, 33000, 30000, 60000, 15000, 6000}) chromaticities += hostile::be32(v);
  const QByteArray facts = gamma + hostile::pngChunk("cHRM", chromaticities) +
                           hostile::pngChunk("tEXt", QByteArray("Title\0Harbour", 13));
  const auto resolution = [](quint32 across, quint32 down) {
    return hostile::pngChunk("pHYs", hostile::be32(across) + hostile::be32(down) + '\1');
  };
  const auto scale = [](const char* across, const char* down) {  // a pixel's size in metres
    return hostile::pngChunk("sCAL", '\1' + QByteArray(across) + '\0' + down);
  };
  const QByteArray palette = hostile::pngChunk("PLTE", QByteArray("\0\0\0\xFF\0\0\0\xFF\0\0\0\xFF", 12)) +
                             hostile::pngChunk("tRNS", QByteArray("\0\x80\xFF\xFF", 4));
  struct Case { const char* name; QByteArray file, turned; };
  const Case cases[] = {
      {"deep.png", MadePng(3, 16, 2, {p1 + p2 + p3, p4 + p5 + p6}, facts + hostile::pngChunk("tRNS", p2)),
       MadePng(2, 16, 2, {p4 + p1, p5 + p2, p6 + p3}, facts + hostile::pngChunk("tRNS", p2))},
      {"grey.png", MadePng(2, 8, 0, {"\x10\x20", "\x30\x40"}, gamma + resolution(2835, 5906) + scale("0.5", "0.25")),
       MadePng(2, 8, 0, {"\x30\x10", "\x40\x20"}, gamma + resolution(5906, 2835) + scale("0.25", "0.5"))},
      {"indexes.png", MadePng(3, 2, 3, {"\x18", "\xC4"}, palette),  // 0 1 2 above 3 0 1
       MadePng(2, 2, 3, {"\xC0", "\x10", "\x60"}, palette)},
  };
  const auto withoutPicture = [](const QByteArray& png) {
    auto chunks = PngChunks(png);
    chunks.removeIf([](const auto& chunk) { return chunk.first == "IDAT"; });
    return chunks;
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(WriteText(folder + c.name, c.file));
    Rotate(folder, c.name);
    const QByteArray turned = ReadBytes(folder + c.name);
    EXPECT_EQ(PngRows(turned), PngRows(c.turned)) << c.name;
    EXPECT_EQ(withoutPicture(turned), withoutPicture(c.turned)) << c.name;
  }
  EXPECT_EQ(host_.errors, QStringList());
}

// A TIFF keeps its compression and the words in it, and gains no resolution
// or profile it lacked; a resolution without a unit stays without one.
TEST_F(RotateFileTest, TiffKeepsCompressionWordsAndResolution) {
  const QString folder = freshFolder("tiff-kept") + "/";
  const QByteArray rgb("\x10\x20\x30\x40\x50\x60\x70\x80\x90\xA0\xB0\xC0", 12);  // 2 x 2
  const QList<TiffEntry> picture = {
      {256, 3, Le16(2)}, {257, 3, Le16(2)}, {258, 3, Le16(8) + Le16(8) + Le16(8)},
      {262, 3, Le16(2)}, {277, 3, Le16(3)}};
  // Deflate after horizontal differencing (predictor 2): each sample less the one to its left.
  const QList<TiffEntry> words = {
      {259, 3, Le16(8)}, {270, 2, QByteArray("Harbour", 8)}, {315, 2, QByteArray("Ann", 4)}, {317, 3, Le16(2)}};
  const QByteArray differenced("\x10\x20\x30\x30\x30\x30\x70\x80\x90\x30\x30\x30", 12);
  const QList<TiffEntry> unitless = {
      {259, 3, Le16(1)}, {282, 5, Le32(300) + Le32(1)}, {283, 5, Le32(150) + Le32(1)}, {296, 3, Le16(1)}};
  ASSERT_TRUE(WriteText(folder + "deflate.tif", MadeTiff(picture + words, hostile::deflated(differenced))));
  ASSERT_TRUE(WriteText(folder + "unitless.tif", MadeTiff(picture + unitless, rgb)));
  for (const char* name : {"deflate.tif", "unitless.tif"}) {
    Rotate(folder, name);
    const QImage turned(folder + name);
    EXPECT_EQ(turned.size(), QSize(2, 2)) << name;
    EXPECT_EQ(turned.pixel(1, 0), qRgb(0x10, 0x20, 0x30)) << name;  // the top left went to the top right
    EXPECT_EQ(turned.pixel(0, 0), qRgb(0x70, 0x80, 0x90)) << name;
  }
  const QMap<int, QByteArray> deflate = TiffTags(ReadBytes(folder + "deflate.tif"));
  EXPECT_EQ(deflate.value(259), Le16(8));
  EXPECT_EQ(deflate.value(317), Le16(2));
  EXPECT_EQ(deflate.value(270), QByteArray("Harbour", 8));
  EXPECT_EQ(deflate.value(315), QByteArray("Ann", 4));
  for (const int absent : {282, 283, 296, 34675}) EXPECT_FALSE(deflate.contains(absent)) << absent;
  const QMap<int, QByteArray> kept = TiffTags(ReadBytes(folder + "unitless.tif"));
  EXPECT_EQ(kept.value(259), Le16(1));
  EXPECT_EQ(kept.value(296), Le16(1));
  EXPECT_EQ(std::pair(TiffRational(kept.value(282)), TiffRational(kept.value(283))), std::pair(150.0, 300.0));
  // Black and white of 3 x 2 with white as 0, as scanners write it: 0 0 1 above 1 1 0.
  const QList<TiffEntry> page = {{256, 3, Le16(3)}, {257, 3, Le16(2)}, {262, 3, Le16(0)}};
  ASSERT_TRUE(WriteText(folder + "page.tif", MadeTiff(page, QByteArray("\x20\xC0", 2))));
  Rotate(folder, "page.tif");
  const QImage turnedPage(folder + "page.tif");
  EXPECT_EQ(turnedPage.size(), QSize(2, 3));
  EXPECT_EQ(turnedPage.pixel(0, 0), qRgb(0, 0, 0));
  EXPECT_EQ(turnedPage.pixel(1, 0), qRgb(255, 255, 255));
  EXPECT_EQ(host_.errors, QStringList());
}

// A CMYK scan with a camera's EXIF and GPS directories, stored sideways at
// 300 dpi across and 150 down, keeps its inks, its directories and its
// colour facts; it stands upright, and its stored grid turns a half turn,
// so its resolution stays.
TEST_F(RotateFileTest, TiffKeepsInksDirectoriesAndFacts) {
  const QString folder = freshFolder("tiff-exif") + "/";
  const QByteArray path = QFile::encodeName(folder + "scan.tif");
  {
    TIFF* tiff = TIFFOpen(path.constData(), "w");
    ASSERT_NE(tiff, nullptr);
    uint64_t exif = 0, gps = 0;
    TIFFCreateEXIFDirectory(tiff);
    TIFFSetField(tiff, EXIFTAG_DATETIMEORIGINAL, "2019:07:14 10:22:05");
    TIFFWriteCustomDirectory(tiff, &exif);
    TIFFFreeDirectory(tiff);
    TIFFCreateGPSDirectory(tiff);
    TIFFSetField(tiff, GPSTAG_LATITUDEREF, "N");
    TIFFWriteCustomDirectory(tiff, &gps);
    TIFFFreeDirectory(tiff);
    TIFFCreateDirectory(tiff);
    const float white[] = {0.3127f, 0.329f};
    for (const auto& [tag, value] : {std::pair{TIFFTAG_IMAGEWIDTH, 3}, {TIFFTAG_IMAGELENGTH, 2},
                                     {TIFFTAG_BITSPERSAMPLE, 8}, {TIFFTAG_SAMPLESPERPIXEL, 4},
                                     {TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_SEPARATED}, {TIFFTAG_COMPRESSION, COMPRESSION_LZW},
                                     {TIFFTAG_ORIENTATION, ORIENTATION_RIGHTTOP}, {TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH}})
      TIFFSetField(tiff, tag, value);
    TIFFSetField(tiff, TIFFTAG_XRESOLUTION, 300.0);
    TIFFSetField(tiff, TIFFTAG_YRESOLUTION, 150.0);
    TIFFSetField(tiff, TIFFTAG_XPOSITION, 1.5);
    TIFFSetField(tiff, TIFFTAG_WHITEPOINT, white);
    TIFFSetField(tiff, TIFFTAG_EXIFIFD, exif);
    TIFFSetField(tiff, TIFFTAG_GPSIFD, gps);
    unsigned char inks[24];
    for (int i = 0; i < 24; ++i) inks[i] = static_cast<unsigned char>(i * 10);
    TIFFWriteEncodedStrip(tiff, 0, inks, sizeof inks);
    TIFFClose(tiff);
  }
  Rotate(folder, "scan.tif");
  EXPECT_EQ(host_.errors, QStringList());
  TIFF* tiff = TIFFOpen(path.constData(), "r");
  ASSERT_NE(tiff, nullptr);
  uint16_t photometric = 0, samples = 0, orientation = 0;
  uint32_t width = 0;
  float across = 0, down = 0, position = 0, *white = nullptr;
  TIFFGetField(tiff, TIFFTAG_PHOTOMETRIC, &photometric);
  TIFFGetField(tiff, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetField(tiff, TIFFTAG_ORIENTATION, &orientation);
  TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &across);
  TIFFGetField(tiff, TIFFTAG_YRESOLUTION, &down);
  TIFFGetField(tiff, TIFFTAG_XPOSITION, &position);
  EXPECT_EQ(std::tuple(photometric, samples, orientation, width), std::tuple(PHOTOMETRIC_SEPARATED, 4, 1, 3u));
  EXPECT_EQ(std::tuple(across, down, position), std::tuple(300.f, 150.f, 1.5f));
  ASSERT_TRUE(TIFFGetField(tiff, TIFFTAG_WHITEPOINT, &white));
  EXPECT_EQ(white[1], 0.329f);
  unsigned char first[4] = {};
  TIFFReadEncodedStrip(tiff, 0, first, 4);  // the last pixel went to the first place
  EXPECT_EQ(QByteArray(reinterpret_cast<char*>(first), 4), QByteArray("\xC8\xD2\xDC\xE6", 4));
  uint64_t exif = 0, gps = 0;
  const char *taken = nullptr, *north = nullptr;
  ASSERT_TRUE(TIFFGetField(tiff, TIFFTAG_EXIFIFD, &exif) && TIFFGetField(tiff, TIFFTAG_GPSIFD, &gps));
  ASSERT_TRUE(TIFFReadEXIFDirectory(tiff, exif) && TIFFGetField(tiff, EXIFTAG_DATETIMEORIGINAL, &taken));
  EXPECT_STREQ(taken, "2019:07:14 10:22:05");
  ASSERT_TRUE(TIFFReadGPSDirectory(tiff, gps) && TIFFGetField(tiff, GPSTAG_LATITUDEREF, &north));
  EXPECT_STREQ(north, "N");
  TIFFClose(tiff);
}

// A lossless WebP stays lossless, every pixel as it was; a bitmap keeps its
// resolution, across and down trading places, and none stays none.
TEST_F(RotateFileTest, WebpAndBitmapKeepWhatTheyHeld) {
  const QString folder = freshFolder("webp-bmp") + "/";
  QImage picture(40, 30, QImage::Format_RGB32);
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x) picture.setPixel(x, y, qRgb(x * 7 % 256, y * 13 % 256, x * y % 256));
  QImageWriter writer(folder + "shot.webp", "webp");
  writer.setQuality(100);
  ASSERT_TRUE(writer.write(picture));
  const QByteArray lossless = ReadBytes(folder + "shot.webp");
  ASSERT_EQ(lossless.mid(12, 4), "VP8L");
  // The same picture with a camera's EXIF and an editor's XMP data, as an extended file.
  const QByteArray exif = WebpChunk("EXIF", QByteArray("II*\0\x08\0\0\0\0\0\0\0", 12));
  const QByteArray xmp = WebpChunk("XMP ", "<x:xmpmeta>Ann</x:xmpmeta>");
  const QByteArray extended = "WEBP" + WebpChunk("VP8X", QByteArray(1, '\x0C') + QByteArray(3, '\0') +
                                                             hostile::le(39, 3) + hostile::le(29, 3)) +
                              lossless.mid(12) + exif + xmp;
  ASSERT_TRUE(WriteText(folder + "shot.webp", "RIFF" + Le32(static_cast<quint32>(extended.size())) + extended));
  Rotate(folder, "shot.webp");
  const QByteArray webp = ReadBytes(folder + "shot.webp");
  EXPECT_TRUE(webp.contains("VP8L"));
  EXPECT_TRUE(webp.contains(exif));
  EXPECT_TRUE(webp.contains(xmp));
  EXPECT_EQ(QImage::fromData(webp).convertToFormat(QImage::Format_RGB32), picture.transformed(QTransform().rotate(90)));
  for (const auto& [across, down] : {std::pair(0U, 0U), std::pair(2835U, 5906U)}) {
    ASSERT_TRUE(Quarters(8, 6).save(folder + "scan.bmp"));
    QByteArray bitmap = ReadBytes(folder + "scan.bmp");
    bitmap.replace(38, 8, Le32(across) + Le32(down));
    ASSERT_TRUE(WriteText(folder + "scan.bmp", bitmap));
    Rotate(folder, "scan.bmp");
    const QByteArray turned = ReadBytes(folder + "scan.bmp");
    EXPECT_EQ(turned.mid(38, 8), Le32(down) + Le32(across));
    EXPECT_EQ(CornerColours(QImage::fromData(turned)), "BRWG");
  }
  // A translucent bitmap of 32 bits with masks keeps its 108-byte header whole; only its pixels move.
  ASSERT_TRUE(WriteText(folder + "clear.bmp", TranslucentBitmap()));
  Rotate(folder, "clear.bmp");
  EXPECT_EQ(ReadBytes(folder + "clear.bmp"),
            TranslucentBitmap().left(14 + 108) +
                QByteArray("\x40\x50\x60\x80\xA0\xB0\xC0\x80\x10\x20\x30\x80\x70\x80\x90\x80", 16));
  EXPECT_EQ(host_.errors, QStringList());
}

// A picture that cannot be turned without loss is left exactly as it was.
TEST_F(RotateFileTest, RefusesWhatItWouldSpoil) {
  const QString folder = freshFolder("refused") + "/";
  ASSERT_TRUE(WriteText(folder + "pages.tif", TwoPageTiff()));
  ASSERT_EQ(QImageReader(folder + "pages.tif").imageCount(), 2);
  // Grey and transparency of 16 bits each, which Qt reads with 8 but the turn keeps.
  const QList<TiffEntry> deepGrey = {{256, 3, Le16(2)}, {257, 3, Le16(1)}, {258, 3, Le16(16) + Le16(16)},
                                     {262, 3, Le16(1)}, {277, 3, Le16(2)}, {338, 3, Le16(2)}};
  ASSERT_TRUE(WriteText(folder + "deep.tif", MadeTiff(deepGrey, QByteArray("\x01\x80\xFF\x7F\x02\x40\xFF\xFF", 8))));
  // 2 x 1 pixels of 8-bit run lengths: a run of two, then the end.
  const QByteArray runs = Le32(40) + Le32(2) + Le32(1) + Le16(1) + Le16(8) + Le32(1) + QByteArray(20, '\0');
  ASSERT_TRUE(WriteText(folder + "runs.bmp", "BM" + Le32(62 + 4) + Le32(0) + Le32(62) + runs +
                                                 QByteArray("\0\0\0\0\xFF\xFF\xFF\0\x02\x01\0\x01", 12)));
  const QByteArray animation = hostile::pngChunk("acTL", QByteArray(8, '\0'));
  ASSERT_TRUE(WriteText(folder + "moving.png", MadePng(1, 8, 0, {"\x10"}, animation)));
  ASSERT_TRUE(WritePicture(folder + "locked.png", 64, 48));
  ASSERT_TRUE(WritePicture(folder + "locked.gif", 64, 48, "png"));
  for (const char* name : {"locked.png", "locked.gif"}) ::chmod(QFile::encodeName(folder + name).constData(), 0444);
  const std::pair<const char*, const char*> cases[] = {
      {"pages.tif", "it holds 2 pages or frames, and only the first would be kept."},
      {"moving.png", "it is an animation, and only its first frame would be kept."},
      {"locked.png", "the file is read-only."},
      {"locked.gif", "the file is read-only."}};
  // Turned now as stored: a column of the same two pixels, 16 bits a sample still.
  Rotate(folder, "deep.tif");
  const QMap<int, QByteArray> deep = TiffTags(ReadBytes(folder + "deep.tif"));
  EXPECT_EQ(std::pair(deep.value(256), deep.value(257)), std::pair(Le16(1), Le16(2)));
  EXPECT_EQ(deep.value(258), Le16(16) + Le16(16));
  EXPECT_TRUE(ReadBytes(folder + "deep.tif").contains(QByteArray("\x01\x80\xFF\x7F\x02\x40\xFF\xFF", 8)));
  // Run lengths are written as run lengths again: 1 x 2 pixels now.
  Rotate(folder, "runs.bmp");
  EXPECT_EQ(ReadBytes(folder + "runs.bmp").mid(18, 16), Le32(1) + Le32(2) + Le16(1) + Le16(8) + Le32(1));
  for (const auto& [name, why] : cases) {
    const QByteArray before = ReadBytes(folder + name);
    host_.errors.clear();
    Rotate(folder, name);
    EXPECT_EQ(host_.errors, QStringList{QStringLiteral("Error: File <%1> not rotated!\n\"%1\" cannot be turned: %2")
                                            .arg(folder + name, why)});
    EXPECT_EQ(ReadBytes(folder + name), before) << name;
  }
  EXPECT_EQ(Names(folder),
            (QStringList{"deep.tif", "locked.gif", "locked.png", "moving.png", "pages.tif", "runs.bmp"}));
}

// Another program that changes or replaces the picture while it is being
// turned keeps its file: the turn is refused, and no copy is left beside it.
TEST_F(RotateFileTest, AFileChangedMeanwhileIsKept) {
  const QString folder = freshFolder("changed") + "/";
  const QString changedBy = QStringLiteral("was changed by another program while Lumaset worked on it; "
                                           "that program's file is kept.");
  const std::pair<const char*, bool> cases[] = {{"photo.jpg", false}, {"photo.jpg", true}, {"scan.bmp", true},
                                                {"photo.gif", false}};
  for (const auto& [name, replaced] : cases) {
    ASSERT_TRUE(WritePicture(folder + name, 64, 48, QByteArray(name).endsWith("gif") ? "png" : nullptr));
    const QString path = folder + name;
    const QByteArray theirs = ReadBytes(path) + QByteArray("edited", 6);
    host_.whileProgressShows = [&] {
      if (replaced) {
        ASSERT_TRUE(WriteText(folder + "theirs.tmp", theirs));
        const QByteArray from = QFile::encodeName(folder + "theirs.tmp");
        ASSERT_EQ(::rename(from.constData(), QFile::encodeName(path).constData()), 0);
      } else {
        ASSERT_TRUE(WriteText(path, theirs));
      }
    };
    host_.errors.clear();
    Rotate(folder, name);
    host_.whileProgressShows = nullptr;
    const QString message = QStringLiteral("Error: File <%1> not rotated!\n\"%1\" %2").arg(path, changedBy);
    EXPECT_EQ(host_.errors, QStringList{message}) << name;
    EXPECT_EQ(ReadBytes(path), theirs) << name;
    EXPECT_EQ(Names(folder), QStringList{name}) << name;
    QFile::remove(path);
  }
}

// The progress window shows the turn as it goes; its Cancel leaves the
// file, its size in the table and its cell as they were. Without
// ShowProgress no window shows.
TEST_F(RotateFileTest, ProgressShowsDuringTheTurnAndCancelKeepsTheFile) {
  const QString folder = freshFolder("progress") + "/";
  const QString path = folder + "photo.png";
  ASSERT_TRUE(WritePicture(path, 330, 250));
  options_.showProgress = true;
  Rotate(folder, "photo.png");
  EXPECT_EQ(QImage(path).size(), QSize(250, 330));
  ASSERT_FALSE(host_.progress.empty());
  EXPECT_EQ(host_.progress.front(), 0);
  EXPECT_EQ(host_.progressTexts, QStringList{"Rotating"});
  EXPECT_TRUE(std::any_of(host_.progress.begin(), host_.progress.end(), [](int p) { return p > 0 && p < 100; }))
      << "no progress arrived while the file was turned";

  const QByteArray turnedOnce = ReadBytes(path);
  host_.onProgress = [this](int percent) { host_.cancelProgress = percent > 0; };
  Rotate(folder, "photo.png");
  EXPECT_EQ(ReadBytes(path), turnedOnce);
  const int cell = IndexOf(path);
  EXPECT_EQ(QSize(table().ThumbWidths(cell), table().ThumbHeights(cell)), QSize(250, 330));
  EXPECT_EQ(Names(folder), QStringList{"photo.png"});

  host_.onProgress = nullptr;
  host_.cancelProgress = false;
  host_.progress.clear();
  options_.showProgress = false;
  Rotate(folder, "photo.png");
  EXPECT_EQ(QImage(path).size(), QSize(330, 250));
  EXPECT_EQ(host_.progress, std::vector<int>());
  EXPECT_EQ(host_.errors, QStringList());
}

// While a file is turned, the file commands wait: a second Rotate (a
// screen reader reaches it), a Delete, a drop on the tree and a folder's
// removal do nothing. Exit during a turn drops it before anything is written.
TEST_F(RotateFileTest, CommandsWaitForTheTurnAndExitDropsIt) {
  const QString folder = freshFolder("second") + "/";
  const QString path = folder + "photo.png";
  const QString elsewhere = freshFolder("second-elsewhere") + "/";
  ASSERT_TRUE(WritePicture(path, 64, 48));
  Open(folder);
  Select(IndexOf(path));
  QTimer::singleShot(0, [&] {
    EXPECT_TRUE(commands_.turning());
    commands_.mnuFileOptionsRotate_Click();
    commands_.mnuFileOptionsDelete_Click();  // would ask first
    commands_.mnuNodeFileMove_Click(path, elsewhere);
    commands_.mnuNodeFolderRemove_Click(folder);  // would ask first
  });
  commands_.mnuFileOptionsRotate_Click();
  EXPECT_EQ(host_.errors, QStringList());
  EXPECT_EQ(host_.questions, QStringList());
  EXPECT_EQ(QImage(path).size(), QSize(48, 64)) << "turned once";
  EXPECT_FALSE(commands_.turning());

  for (const char* name : {"photo.png", "photo.gif"}) {
    ASSERT_TRUE(WritePicture(folder + name, 64, 48, "png"));
    const QByteArray before = ReadBytes(folder + name);
    Open(folder);
    Select(IndexOf(folder + name));
    QTimer::singleShot(0, [this] { commands_.StopTurn(); });
    commands_.mnuFileOptionsRotate_Click();
    EXPECT_EQ(ReadBytes(folder + name), before) << name;
  }
  EXPECT_EQ(Names(folder), (QStringList{"photo.gif", "photo.png"}));
  EXPECT_EQ(host_.errors, QStringList());
}

// A GIF that another program changes after its turn was made and before
// it goes to the trash is kept as that program left it, and the JPEG made
// for it goes again.
TEST_F(RotateFileTest, AGifChangedBeforeItGoesToTheTrashIsKept) {
  const QString folder = freshFolder("gif-changed") + "/";
  const QString path = folder + "kept.gif";
  ASSERT_TRUE(WritePicture(path, 64, 48, "png"));
  Imaging imaging;
  ASSERT_TRUE(imaging.LoadFile(path).ok());
  ASSERT_TRUE(imaging.ImgRotate(90).ok());
  const Result<TurnedPicture> turned = TurnPicture(imaging, path, FileIdentity::Of(path));
  ASSERT_TRUE(turned.ok()) << turned.error().toStdString();
  const QByteArray theirs = ReadBytes(path) + "edited";
  ASSERT_TRUE(WriteText(path, theirs));
  const Result<QString> saved = WriteTurnedPicture(*turned);
  ASSERT_FALSE(saved.ok());
  EXPECT_TRUE(saved.error().contains("was changed by another program")) << saved.error().toStdString();
  EXPECT_EQ(ReadBytes(path), theirs);
  EXPECT_EQ(Names(folder), QStringList{"kept.gif"});
  EXPECT_FALSE(QFileInfo::exists(Trash() + "kept.gif"));
}

// Through a chain of links the picture at its end is turned and the links
// stay; the file keeps a file manager's tags and comments; one made
// read-only while it is turned is kept as it is.
TEST_F(RotateFileTest, TheFileAroundThePictureStays) {
  const QString folder = freshFolder("around") + "/";
  const QByteArray picture = QFile::encodeName(folder + "picture.png");
  ASSERT_TRUE(WritePicture(folder + "picture.png", 64, 48));
  // A file system without user attributes (tmpfs before Linux 6.6) has no tags to keep.
  const bool attributes = ::setxattr(picture.constData(), "user.xdg.tags", "harbour", 7, 0) == 0;
  ASSERT_TRUE(attributes || errno == ENOTSUP) << std::strerror(errno);
  if (attributes) {
    ASSERT_EQ(::setxattr(picture.constData(), "user.xdg.comment", "", 0, 0), 0);
  }
  ASSERT_EQ(::symlink("picture.png", QFile::encodeName(folder + "b.png").constData()), 0);
  ASSERT_EQ(::symlink("b.png", QFile::encodeName(folder + "a.png").constData()), 0);
  Rotate(folder, "a.png");
  EXPECT_EQ(host_.errors, QStringList());
  EXPECT_TRUE(QFileInfo(folder + "a.png").isSymLink() && QFileInfo(folder + "b.png").isSymLink());
  EXPECT_EQ(QImage(folder + "picture.png").size(), QSize(48, 64));
  if (attributes) {
    char tags[16] = {};
    EXPECT_EQ(::getxattr(picture.constData(), "user.xdg.tags", tags, sizeof tags), 7);
    EXPECT_STREQ(tags, "harbour");
    EXPECT_EQ(::getxattr(picture.constData(), "user.xdg.comment", tags, sizeof tags), 0);
  }

  const QByteArray before = ReadBytes(folder + "picture.png");
  host_.whileProgressShows = [&picture] { ASSERT_EQ(::chmod(picture.constData(), 0444), 0); };
  Rotate(folder, "picture.png");
  EXPECT_EQ(host_.errors.size(), 1);
  EXPECT_TRUE(host_.errors.value(0).endsWith("was changed by another program while Lumaset worked on it; "
                                             "that program's file is kept."));
  EXPECT_EQ(ReadBytes(folder + "picture.png"), before);
}

// Root turning another user's picture leaves it theirs.
TEST_F(RotateFileTest, AnotherUsersPictureStaysTheirs) {
  if (::geteuid() != 0) GTEST_SKIP() << "only root may give a file to another user";
  const QString folder = freshFolder("owner") + "/";
  const QByteArray path = QFile::encodeName(folder + "theirs.png");
  ASSERT_TRUE(WritePicture(folder + "theirs.png", 64, 48));
  ASSERT_EQ(::chown(path.constData(), 4242, 4243), 0);
  Rotate(folder, "theirs.png");
  EXPECT_EQ(host_.errors, QStringList());
  struct stat info {};
  ASSERT_EQ(::stat(path.constData(), &info), 0);
  EXPECT_EQ(std::pair(info.st_uid, info.st_gid), std::pair(uid_t{4242}, gid_t{4243}));
  EXPECT_EQ(QImage(folder + "theirs.png").size(), QSize(48, 64));
}

}  // namespace
}  // namespace lumaset::test
