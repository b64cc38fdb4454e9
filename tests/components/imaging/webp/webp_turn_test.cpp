// WebP files turned through libwebp: a lossless picture keeps every sample,
// the colour under transparent pixels too, however often it is turned; a
// lossy one stays lossy at about its size; every chunk besides the picture
// stays as it was.

#include <gtest/gtest.h>

#include <webp/decode.h>
#include <webp/encode.h>
#include <webp/mux.h>

#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "components/imaging/decode_memory.h"
#include "components/imaging/imaging.h"
#include "components/imaging/quarter_turn_file.h"
#include "components/imaging/webp/webp_quarter_turn.h"

namespace lumaset::test {
namespace {


constexpr int kWidth = 48, kHeight = 36;

// Red, green, blue and alpha a byte each; `holes`: every fifth pixel fully
// transparent over a colour of its own.
QByteArray Samples(bool alpha, bool holes) {
  QByteArray out(4 * kWidth * kHeight, '\0');
  for (int y = 0; y < kHeight; ++y) {
    for (int x = 0; x < kWidth; ++x) {
      char* p = out.data() + 4 * (y * kWidth + x);
      const bool hole = holes && (x + 2 * y) % 5 == 0;
      p[0] = static_cast<char>(x * 5);
      p[1] = static_cast<char>(y * 7);
      p[2] = static_cast<char>(hole ? 255 - x : 128 + x - y);
      p[3] = static_cast<char>(hole ? 0 : alpha ? 100 + x : 255);
    }
  }
  return out;
}

QByteArray Encoded(const QByteArray& samples, bool lossless, float quality = 80, int width = kWidth, int height = kHeight,
                   bool exact = true) {
  WebPConfig config;
  WebPPicture picture;
  EXPECT_TRUE(WebPConfigInit(&config) && WebPPictureInit(&picture));
  config.lossless = lossless ? 1 : 0;
  config.exact = exact ? 1 : 0;
  config.quality = quality;
  picture.use_argb = lossless ? 1 : 0;
  picture.width = width;
  picture.height = height;
  EXPECT_TRUE(WebPPictureImportRGBA(&picture, reinterpret_cast<const uint8_t*>(samples.constData()), 4 * width));
  WebPMemoryWriter writer;
  WebPMemoryWriterInit(&writer);
  picture.writer = WebPMemoryWrite;
  picture.custom_ptr = &writer;
  EXPECT_TRUE(WebPEncode(&config, &picture));
  QByteArray bytes(reinterpret_cast<const char*>(writer.mem), static_cast<qsizetype>(writer.size));
  WebPMemoryWriterClear(&writer);
  WebPPictureFree(&picture);
  return bytes;
}

const char* const kChunks[] = {"ICCP", "EXIF", "XMP ", "LUMA"};

// The file with a colour profile, EXIF, XMP data and a chunk of another program.
QByteArray WithChunks(const QByteArray& file) {
  const WebPData data{reinterpret_cast<const uint8_t*>(file.constData()), static_cast<size_t>(file.size())};
  WebPMux* mux = WebPMuxCreate(&data, 1);
  const QByteArray contents[] = {QByteArray("an ICC profile ") + QByteArray(40, '\x3C'),
                                 QByteArray("II*\0\x08\0\0\0\0\0\0\0", 12), "<x:xmpmeta>Ann</x:xmpmeta>",
                                 "another program's words"};
  for (int i = 0; i < 4; ++i) {
    const WebPData chunk{reinterpret_cast<const uint8_t*>(contents[i].constData()), static_cast<size_t>(contents[i].size())};
    EXPECT_EQ(WebPMuxSetChunk(mux, kChunks[i], &chunk, 1), WEBP_MUX_OK) << kChunks[i];
  }
  WebPData out{};
  EXPECT_EQ(WebPMuxAssemble(mux, &out), WEBP_MUX_OK);
  QByteArray bytes(reinterpret_cast<const char*>(out.bytes), static_cast<qsizetype>(out.size));
  WebPDataClear(&out);
  WebPMuxDelete(mux);
  return bytes;
}

QByteArray Chunk(const QByteArray& file, const char* fourcc) {
  const WebPData data{reinterpret_cast<const uint8_t*>(file.constData()), static_cast<size_t>(file.size())};
  WebPMux* mux = WebPMuxCreate(&data, 0);
  WebPData chunk{};
  QByteArray out;
  if (mux && WebPMuxGetChunk(mux, fourcc, &chunk) == WEBP_MUX_OK)
    out = QByteArray(reinterpret_cast<const char*>(chunk.bytes), static_cast<qsizetype>(chunk.size));
  WebPMuxDelete(mux);
  return out;
}

// The samples libwebp itself reads from a file, and its size.
QByteArray Decoded(const QByteArray& file, int& width, int& height) {
  uint8_t* read = WebPDecodeRGBA(reinterpret_cast<const uint8_t*>(file.constData()), static_cast<size_t>(file.size()),
                                 &width, &height);
  if (!read) return {};
  QByteArray out(reinterpret_cast<const char*>(read), qsizetype{4} * width * height);
  WebPFree(read);
  return out;
}

QByteArray TurnedSamples(const QByteArray& samples) {
  QByteArray out(samples.size(), '\0');
  for (int y = 0; y < kWidth; ++y)
    for (int x = 0; x < kHeight; ++x)
      std::memcpy(out.data() + 4 * (y * kHeight + x), samples.constData() + 4 * ((kHeight - 1 - x) * kWidth + y), 4);
  return out;
}

double MeanDifference(const QByteArray& a, const QByteArray& b) {
  double sum = 0;
  for (qsizetype i = 0; i < a.size(); ++i) sum += std::abs(static_cast<uchar>(a[i]) - static_cast<uchar>(b[i]));
  return sum / static_cast<double>(a.size());
}

int Format(const QByteArray& file) {
  WebPBitstreamFeatures features;
  return WebPGetFeatures(reinterpret_cast<const uint8_t*>(file.constData()), static_cast<size_t>(file.size()),
                         &features) == VP8_STATUS_OK
             ? features.format
             : -1;
}

// The turn of a file holding `bytes`, as the rotate command asks for it.
Result<QByteArray> TurnedInFile(const QByteArray& bytes, const char* format) {
  return TurnedFileClockwise(QStringLiteral("turned.") + QLatin1String(format), bytes, format);
}

TEST(WebpQuarterTurn, KeepsSamplesCompressionAndChunks) {
  struct Case {
    const char* name;
    bool lossless, alpha, holes, chunks;
  };
  const Case cases[] = {
      {"lossless", true, false, false, false},
      {"lossless with holes", true, true, true, false},
      {"lossless with alpha and chunks", true, true, false, true},
      {"lossy", false, false, false, false},
      {"lossy with alpha and chunks", false, true, false, true},
  };
  for (const Case& c : cases) {
    const QByteArray samples = Samples(c.alpha, c.holes);
    const QByteArray plain = Encoded(samples, c.lossless);
    const QByteArray original = c.chunks ? WithChunks(plain) : plain;
    int width = 0, height = 0;
    const QByteArray stored = Decoded(original, width, height);
    if (c.lossless) {
      ASSERT_EQ(stored, samples) << c.name;
    }
    Result<QByteArray> turned = TurnedInFile(original, "webp");
    ASSERT_TRUE(turned.ok()) << c.name << ": " << turned.error().toStdString();
    const QByteArray once = Decoded(*turned, width, height);
    ASSERT_EQ(std::pair(width, height), std::pair(kHeight, kWidth)) << c.name;
    EXPECT_EQ(Format(*turned), Format(original)) << c.name;
    if (c.lossless) {
      EXPECT_EQ(once, TurnedSamples(stored)) << c.name;
    } else {
      EXPECT_LT(MeanDifference(once, TurnedSamples(stored)), 4) << c.name;
      EXPECT_LT(std::abs(turned->size() - original.size()), original.size() / 3) << c.name;  // about its quality
    }
    for (const char* fourcc : kChunks) EXPECT_EQ(Chunk(*turned, fourcc), Chunk(original, fourcc)) << c.name << fourcc;
    for (int i = 1; i < 4 && turned; ++i) turned = TurnedInFile(*turned, "webp");
    ASSERT_TRUE(turned.ok()) << c.name << ": " << turned.error().toStdString();
    const QByteArray four = Decoded(*turned, width, height);
    ASSERT_EQ(std::pair(width, height), std::pair(kWidth, kHeight)) << c.name;
    if (c.lossless) {
      EXPECT_EQ(four, stored) << c.name;
    }
    for (const char* fourcc : kChunks) EXPECT_EQ(Chunk(*turned, fourcc), Chunk(original, fourcc)) << c.name << fourcc;
  }
}

// A lossy picture is compressed again to about the size it had, whatever
// quality it was made at.
TEST(WebpQuarterTurn, ALossyPictureKeepsItsSize) {
  constexpr int kPhotoWidth = 192, kPhotoHeight = 128;
  QByteArray photo(4 * kPhotoWidth * kPhotoHeight, '\xFF');
  quint32 grain = 99;
  for (qsizetype i = 0; i < photo.size(); ++i) {
    grain = grain * 1664525U + 1013904223U;
    const qsizetype pixel = i / 4, x = pixel % kPhotoWidth, y = pixel / kPhotoWidth;
    if (i % 4 != 3) photo[i] = static_cast<char>((x * (i % 4 + 1) + y * 2) % 200 + (grain >> 28));
  }
  for (const float quality : {15.0F, 95.0F}) {
    const QByteArray original = Encoded(photo, false, quality, kPhotoWidth, kPhotoHeight);
    const Result<QByteArray> turned = TurnedInFile(original, "webp");
    ASSERT_TRUE(turned.ok()) << turned.error().toStdString();
    EXPECT_NEAR(static_cast<double>(turned->size()) / static_cast<double>(original.size()), 1.0, 0.2) << quality;
  }
}

// A lossless picture is read back before it is given: an encoder that
// changes the colour under transparent pixels is found out, and the turn refused.
TEST(WebpQuarterTurn, ALosslessPictureThatWouldChangeIsRefused) {
  const QByteArray original = Encoded(Samples(true, true), true);
  const auto careless = [](const QByteArray& rgba, int width, int height, bool lossless, qint64) {
    return Result<QByteArray>(Encoded(rgba, lossless, 80, width, height, false));
  };
  const Result<QByteArray> turned = imaging_detail::turnWebpClockwise(original, careless);
  ASSERT_FALSE(turned.ok());
  EXPECT_EQ(turned.error(), "Lumaset cannot write this WEBP file back without changing its pixels.");
}

TEST(WebpQuarterTurn, StopsWhenNoLongerWanted) {
  const QByteArray file = Encoded(Samples(false, false), true);
  const DecodeStop::Scope stop([] { return true; });
  EXPECT_TRUE(TurnedFileClockwise(QStringLiteral("stopped.webp"), file, "webp").cancelled());
}

// A picture whose samples cannot fit in the memory decodes may hold is
// refused before any of them is decoded.
TEST(WebpQuarterTurn, RefusesWhatTheFullSizeMemoryCannotHold) {
  const quint32 side = 16384 - 1;  // a lossless header of 16384 x 16384 pixels, and no more
  const quint32 sizes = side | side << 14 | 1U << 28;
  QByteArray header("\x2F");
  for (int i = 0; i < 4; ++i) header += static_cast<char>(sizes >> (8 * i));
  const QByteArray chunk = "VP8L" + QByteArray(1, '\x06') + QByteArray(3, '\0') + header + QByteArray(1, '\0');
  const QByteArray file = "RIFF" + QByteArray(1, static_cast<char>(4 + chunk.size())) + QByteArray(3, '\0') + "WEBP" + chunk;
  const Result<QByteArray> turned = TurnedFileClockwise(QStringLiteral("large.webp"), file, "webp");
  ASSERT_FALSE(turned.ok());
  EXPECT_TRUE(turned.error().endsWith("there is not enough memory for a picture of 16384 x 16384 pixels."))
      << turned.error().toStdString();
}

// The depth shown is the one the file stores: 32 bits with alpha, 24 without.
TEST(WebpFacts, DepthIsTheStoredOne) {
  QTemporaryDir dir;
  for (const bool alpha : {false, true}) {
    for (const bool lossless : {false, true}) {
      const QString path = dir.filePath(QStringLiteral("p%1%2.webp").arg(alpha).arg(lossless));
      QFile file(path);
      ASSERT_TRUE(file.open(QIODevice::WriteOnly));
      file.write(Encoded(Samples(alpha, false), lossless));
      file.close();
      const Result<FileFacts> facts = Imaging::FileInfo(path);
      ASSERT_TRUE(facts.ok()) << facts.error().toStdString();
      EXPECT_EQ(facts->bitsPerPixel, alpha ? 32 : 24) << alpha << lossless;
    }
  }
}

}  // namespace
}  // namespace lumaset::test
