#include "components/imaging/webp/webp_quarter_turn.h"

#include <webp/decode.h>
#include <webp/encode.h>

#include <QString>
#include <QtEndian>

#include <cstring>
#include <memory>

#include "components/imaging/decode_memory.h"
#include "components/imaging/oriented_samples.h"
#include "components/imaging/pixels/pixel_bands.h"
#include "components/imaging/quarter_turn_file.h"
#include "components/imaging/quarter_turn_pixels.h"
#include "components/imaging/webp/webp_keep.h"

namespace lumaset::imaging_detail {

namespace {

Error damaged() { return Error{QStringLiteral("the picture is damaged or incomplete.")}; }

struct WebpFree {
  void operator()(uint8_t* pixels) const { WebPFree(pixels); }
};
using Samples = std::unique_ptr<uint8_t, WebpFree>;

// The samples of a WebP picture as red, green, blue and alpha, a byte each,
// the colour under transparent pixels as stored.
Samples decoded(QByteArrayView file, int& width, int& height) {
  return Samples(WebPDecodeRGBA(reinterpret_cast<const uint8_t*>(file.data()), static_cast<size_t>(file.size()), &width,
                                &height));
}

// The samples turned as `shown` says, on every core: `width` x `height`
// pixels once turned. Stopped, it ends early; the caller asks again.
QByteArray turned(const uint8_t* samples, int storedWidth, int storedHeight, const ShownTurn& shown, int width,
                  int height) {
  QByteArray out(qsizetype{4} * width * height, Qt::Uninitialized);
  const PackedPixels from{samples, 4 * static_cast<uint64_t>(storedWidth), 32};
  const PixelMap map = (shown.quarterTurn ? PixelMap::clockwise(static_cast<uint32_t>(storedWidth),
                                                                static_cast<uint32_t>(storedHeight))
                                          : PixelMap::same())
                           .mirrored(shown.mirrorAcross, shown.mirrorDown, static_cast<uint32_t>(width),
                                     static_cast<uint32_t>(height));
  PixelJob job(0, KeepTurning);
  job.Run(height, 1, [&](int first, int end, const BandContext&) {
    mapPackedRows(from, map, static_cast<uint32_t>(width), static_cast<uint32_t>(first), static_cast<uint32_t>(end),
                  reinterpret_cast<uchar*>(out.data()) + qsizetype{4} * width * first, 4 * static_cast<uint64_t>(width));
  });
  return out;
}

// The bytes of a lossy picture's colours, its VP8 chunk; its transparency
// (an ALPH chunk) is compressed without loss and apart.
qint64 lossyPictureBytes(QByteArrayView file) {
  for (qint64 at = 12; at + 8 <= file.size();) {
    const qint64 size = qFromLittleEndian<quint32>(file.data() + at + 4);
    if (file.sliced(at, 4) == "VP8 ") return size;
    at += 8 + size + (size & 1);
  }
  return file.size();
}

// Whether the file holds exactly these samples.
bool holds(QByteArrayView file, const QByteArray& samples, int width, int height) {
  int w = 0, h = 0;
  const Samples read = decoded(file, w, h);
  return read && w == width && h == height && std::memcmp(read.get(), samples.constData(), samples.size()) == 0;
}

struct PictureFree {
  void operator()(WebPPicture* picture) const { WebPPictureFree(picture); }
};

}  // namespace

Result<QByteArray> encodedWebp(const QByteArray& samples, int width, int height, bool lossless, qint64 targetBytes) {
  WebPConfig config;
  WebPPicture picture;
  if (!WebPConfigInit(&config) || !WebPPictureInit(&picture)) return Error{QStringLiteral("libwebp cannot be used.")};
  config.exact = 1;
  if (lossless) {
    config.lossless = 1;
  } else {
    config.target_size = static_cast<int>(std::min<qint64>(targetBytes, INT32_MAX));
    config.pass = 6;
  }
  picture.use_argb = lossless ? 1 : 0;
  picture.progress_hook = [](int percent, const WebPPicture*) { return WorkProgress::Step(percent, 100) ? 0 : 1; };
  picture.width = width;
  picture.height = height;
  const std::unique_ptr<WebPPicture, PictureFree> owned(&picture);
  if (!WebPPictureImportRGBA(&picture, reinterpret_cast<const uint8_t*>(samples.constData()), 4 * width))
    return Error{QStringLiteral("there is not enough memory.")};
  WebPMemoryWriter writer;
  WebPMemoryWriterInit(&writer);
  picture.writer = WebPMemoryWrite;
  picture.custom_ptr = &writer;
  const bool done = WebPEncode(&config, &picture) != 0;
  QByteArray bytes(reinterpret_cast<const char*>(writer.mem), static_cast<qsizetype>(writer.size));
  WebPMemoryWriterClear(&writer);
  if (!done) return Error{QStringLiteral("libwebp cannot write it (error %1).").arg(picture.error_code)};
  return bytes;
}

Result<QByteArray> turnWebpClockwise(QByteArrayView file, const WebpEncoder& encode) {
  WebPBitstreamFeatures features;
  const auto* data = reinterpret_cast<const uint8_t*>(file.data());
  if (WebPGetFeatures(data, static_cast<size_t>(file.size()), &features) != VP8_STATUS_OK) return damaged();
  if (features.has_animation) return Error{QStringLiteral("it is an animation, and only its first frame would be kept.")};
  // A picture shown turned by its EXIF orientation is turned as it is shown.
  ShownTurn shown;
  std::optional<QByteArray> turnedExif;
  if (const std::optional<QByteArray> exif = webpExif(file)) {
    Result<ShownExifTurn> turn = shownExifTurn(*exif);
    if (!turn) return Error{turn.error(), turn.cancelled()};
    shown = turn->samples;
    turnedExif = std::move(turn).value().exif;
  }
  const double sampleBytes = 4.0 * features.width * features.height;
  // The file, its samples, the turned samples, the encoder's copy of them, a
  // second read to check them and the new file.
  std::optional<DecodeMemory::Share> share;
  if (auto refused = TakeTurnMemory(share, 3.0 * file.size() + 4 * sampleBytes, static_cast<quint64>(features.width),
                                    static_cast<quint64>(features.height)))
    return *refused;
  int width = 0, height = 0;
  QByteArray turnedSamples;
  {
    int storedWidth = 0, storedHeight = 0;
    WorkProgress::Stage(0, 0.15);
    const Samples samples = decoded(file, storedWidth, storedHeight);
    if (!samples) return damaged();
    width = shown.quarterTurn ? storedHeight : storedWidth;
    height = shown.quarterTurn ? storedWidth : storedHeight;
    WorkProgress::Stage(0.15, 0.2);
    turnedSamples = turned(samples.get(), storedWidth, storedHeight, shown, width, height);
  }
  if (DecodeStop::requested()) return CancelledError();
  const bool lossless = features.format == 2;
  WorkProgress::Stage(0.2, 0.9);
  const Result<QByteArray> picture = encode(turnedSamples, width, height, lossless, lossyPictureBytes(file));
  if (!picture) return DecodeStop::requested() ? CancelledError() : picture;
  WorkProgress::Stage(0.9, 1);
  Result<QByteArray> out = webpWithPictureOf(file, *picture, turnedExif);
  if (!out) return out;
  if (lossless && !holds(*out, turnedSamples, width, height))
    return Error{QStringLiteral("Lumaset cannot write this WEBP file back without changing its pixels.")};
  return out;
}

}  // namespace lumaset::imaging_detail
