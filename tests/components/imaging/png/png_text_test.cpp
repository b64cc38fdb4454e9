// A PNG's texts cost a bounded amount to read: a file of a thousand
// compressed texts, each megabytes once inflated, lists, shows as a
// thumbnail and opens as quickly as the picture alone would.

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QImage>

#include "components/imaging/imaging.h"
#include "support/hostile_pictures.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

// A small photo whose title, author and place come first, then `count`
// compressed texts of 7.9 MB of words each (of one kind: zTXt or iTXt), then
// the picture.
QByteArray manyTexts(bool interlaced, const char* kind, int count) {
  QImage picture(64, 48, QImage::Format_RGB32);
  for (int y = 0; y < 48; ++y)
    for (int x = 0; x < 64; ++x) picture.setPixel(x, y, qRgb(x * 4, y * 5, 90));
  QByteArray png;
  if (interlaced) {
    png = test::hostile::interlacedGreyPng(64, 8);
  } else {
    QByteArray saved;
    QBuffer buffer(&saved);
    buffer.open(QIODevice::WriteOnly);
    picture.save(&buffer, "png");
    png = saved;
  }
  const QByteArray words = test::hostile::deflated(QByteArray(7'900'000, 'w'));
  using test::hostile::deflated;
  QByteArray texts = test::hostile::pngChunk("tEXt", QByteArray("Title\0Harbour", 13)) +
                     test::hostile::pngChunk("zTXt", QByteArray("Author\0\0", 8) + deflated("Ann")) +
                     test::hostile::pngChunk("iTXt", QByteArray("Place\0\1\0en\0Ort\0", 15) + deflated("Kai"));
  const QByteArray head =
      QByteArray(kind) == "zTXt" ? QByteArray("Comment\0\0", 9) : QByteArray("Comment\0\1\0\0\0", 12);
  const QByteArray chunk = test::hostile::pngChunk(kind, head + words);
  for (int i = 0; i < count; ++i) texts += chunk;
  return png.left(33) + texts + png.mid(33);
}

TEST(PngTexts, ManyLargeCompressedTextsCostABoundedRead) {
  const QString folder = test::freshFolder(QStringLiteral("png-texts"));
  for (const bool interlaced : {false, true}) {
    for (const char* kind : {"zTXt", "iTXt"}) {
      SCOPED_TRACE(std::string(kind) + (interlaced ? ", interlaced" : ""));
      const QString path = QDir(folder).filePath(QStringLiteral("texts.png"));
      ASSERT_TRUE(test::WriteText(path, manyTexts(interlaced, kind, 1000)));
      const Result<FileFacts> facts = Imaging::FileInfo(path);
      ASSERT_TRUE(facts) << facts.error().toStdString();
      EXPECT_EQ(facts->width, 64);
      const Result<QImage> thumbnail = Imaging::readScaled(path, 16);
      ASSERT_TRUE(thumbnail) << thumbnail.error().toStdString();
      const Result<QImage> whole = Imaging::ReadAsStored(path);
      ASSERT_TRUE(whole) << whole.error().toStdString();
      EXPECT_EQ(whole->text(QStringLiteral("Title")), QStringLiteral("Harbour"));
      EXPECT_EQ(whole->text(QStringLiteral("Author")), QStringLiteral("Ann"));
      EXPECT_EQ(whole->text(QStringLiteral("Place")), QStringLiteral("Kai"));
      EXPECT_LT(whole->text(QStringLiteral("Comment")).size(), 1 << 20) << "texts are read to a bound";
    }
  }
}

}  // namespace
}  // namespace lumaset
