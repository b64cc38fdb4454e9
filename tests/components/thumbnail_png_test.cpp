#include "components/thumbnail_png.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImageWriter>

#include "../../bench/photo_like.h"
#include "imaging/allocation_watch.h"

namespace lumaset {
namespace {

QImage WithAlpha(const QImage& picture) {
  QImage held = picture.convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < held.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(held.scanLine(y));
    for (int x = 0; x < held.width(); ++x) line[x] = (line[x] & 0x00FFFFFFU) | (quint32((x * 7 + y * 3) & 0xFF) << 24);
  }
  return held;
}

// What another program writes: libpng picks a filter per row (Paeth,
// Average, Up, Sub or none) and keeps short keys as plain text.
QByteArray WrittenByQt(const QImage& picture) {
  QImage keyed = picture;
  keyed.setText(QStringLiteral("Thumb::MTime"), QStringLiteral("1700000000"));
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, "png");
  writer.setQuality(0);  // the hardest packing tries every filter
  EXPECT_TRUE(writer.write(keyed));
  return bytes;
}

TEST(ThumbnailPngTest, ReadsBackExactlyWhatItWroteAndWhatOthersWrite) {
  const QImage photo = bench::PhotoLike(128, 96, 11).convertToFormat(QImage::Format_RGB32);
  for (const QImage& picture : {photo, WithAlpha(photo)}) {
    SCOPED_TRACE(picture.hasAlphaChannel() ? "RGBA" : "RGB");
    const QByteArray ours = ThumbnailPngBytes(picture, {{"Thumb::URI", "file:///a%20b.jpg"}, {"Software", "Lumaset"}});
    const std::optional<PngPicture> back = ReadThumbnailPng(ours, 128);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->image, picture);
    EXPECT_EQ(back->keys.value("Thumb::URI"), "file:///a%20b.jpg");
    EXPECT_EQ(back->keys.value("Software"), "Lumaset");

    const std::optional<PngPicture> theirs = ReadThumbnailPng(WrittenByQt(picture), 128);
    ASSERT_TRUE(theirs);
    EXPECT_EQ(theirs->image, picture);
    EXPECT_EQ(theirs->keys.value("Thumb::MTime"), "1700000000");
  }
}

// Damaged or oversized files are no picture, and never a wrong one.
TEST(ThumbnailPngTest, RefusesDamagedAndOversizedFiles) {
  const QImage photo = bench::PhotoLike(128, 96, 5).convertToFormat(QImage::Format_RGB32);
  const QByteArray good = ThumbnailPngBytes(photo, {{"Thumb::URI", "file:///x.jpg"}});
  QByteArray flipped = good;
  flipped[flipped.size() - 40] = static_cast<char>(flipped[flipped.size() - 40] ^ 0x10);  // inside the pixels
  for (const QByteArray& bad : {good.left(good.size() / 2), good.left(good.size() - 12), flipped, QByteArray("\x89PNG")}) {
    EXPECT_FALSE(ReadThumbnailPng(bad, 128));
  }
  EXPECT_FALSE(ReadThumbnailPng(good, 127));
  EXPECT_TRUE(ReadThumbnailPng(good, 128));

  // Another program's entry with a text chunk that claims 2 GB: refused
  // without asking for anything like it.
  QByteArray lying = WrittenByQt(photo);
  lying.insert(33, QByteArray("\x7f\x00\x00\x18tEXtThumb::Size\0", 19));
  const std::size_t largest = test::largestAllocationDuring([&] { EXPECT_FALSE(ReadThumbnailPng(lying, 128)); });
  EXPECT_LT(largest, std::size_t{1} << 20);
}

}  // namespace
}  // namespace lumaset
