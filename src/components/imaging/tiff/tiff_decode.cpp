#include "components/imaging/tiff/tiff_decode.h"

#include <QColorSpace>
#include <QFloat16>
#include <QRgba64>
#include <QtEndian>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <vector>

#include "components/imaging/decode_memory.h"
#include "components/imaging/pixels/pixel_bands.h"
#include "components/imaging/tiff/tiff_memory.h"
#include "components/imaging/tiff/tiff_samples.h"

namespace lumaset::imaging_detail {

namespace {

// The colour model of a picture and where its transparency lies.
struct Kind {
  TiffSamples samples;
  int colours = 0;        // samples a pixel before the extra ones
  bool alpha = false;     // the first extra sample is transparency
  bool associated = false;  // colours already multiplied by it
  bool big = false;         // BigTIFF, which only this decoder reads
  const uint16_t* map[3] = {nullptr, nullptr, nullptr};  // a palette's red, green and blue
};

std::optional<Kind> kindOf(TIFF* tiff) {
  const std::optional<TiffSamples> samples = tiffSamplesOf(tiff);
  if (!samples) return std::nullopt;
  Kind kind{*samples};
  uint16_t extraCount = 0;
  const uint16_t* extra = nullptr;
  TIFFGetField(tiff, TIFFTAG_EXTRASAMPLES, &extraCount, &extra);
  kind.colours = std::max(0, int{samples->samples} - extraCount);
  kind.big = TIFFIsBigTIFF(tiff) != 0;
  if (samples->photometric == PHOTOMETRIC_PALETTE && samples->bits <= 16)
    TIFFGetField(tiff, TIFFTAG_COLORMAP, &kind.map[0], &kind.map[1], &kind.map[2]);
  if (extraCount > 0 && extra) {
    kind.alpha = extra[0] == EXTRASAMPLE_ASSOCALPHA || extra[0] == EXTRASAMPLE_UNASSALPHA;
    kind.associated = extra[0] == EXTRASAMPLE_ASSOCALPHA;
  }
  return kind;
}

bool grey(const Kind& kind) {
  return kind.colours == 1 && (kind.samples.photometric == PHOTOMETRIC_MINISBLACK ||
                               kind.samples.photometric == PHOTOMETRIC_MINISWHITE);
}
bool rgb(const Kind& kind) { return kind.colours == 3 && kind.samples.photometric == PHOTOMETRIC_RGB; }
bool cmyk(const Kind& kind) { return kind.colours == 4 && kind.samples.photometric == PHOTOMETRIC_SEPARATED; }
bool palette(const Kind& kind) { return kind.colours == 1 && kind.map[0] && !(kind.samples.format == SAMPLEFORMAT_IEEEFP); }
bool floating(const Kind& kind) { return kind.samples.format == SAMPLEFORMAT_IEEEFP; }

// Samples this decoder turns into colours: unsigned integers of 1 to 32
// bits, floating point of 16, 32 or 64.
bool samplesRead(const Kind& kind) {
  const uint16_t bits = kind.samples.bits;
  if (floating(kind)) return bits == 16 || bits == 32 || bits == 64;
  return kind.samples.format == SAMPLEFORMAT_UINT && bits <= 32;
}

// Qt's reader gives grey with transparency opaque, and refuses as damaged
// CMYK of other than 8 bits, floating point and deeper integers.
bool qtMisreads(const Kind& kind) {
  return kind.big || (grey(kind) && kind.alpha) || (kind.samples.photometric == PHOTOMETRIC_SEPARATED && kind.samples.bits != 8) ||
         floating(kind) || kind.samples.bits > 16;
}

bool readHere(const Kind& kind) {
  return samplesRead(kind) && kind.samples.compression != COMPRESSION_OJPEG && (grey(kind) || rgb(kind) || cmyk(kind) || palette(kind));
}

QString modelName(const Kind& kind) {
  switch (kind.samples.photometric) {
    case PHOTOMETRIC_MINISWHITE:
    case PHOTOMETRIC_MINISBLACK: return kind.alpha ? QStringLiteral("grey with transparency") : QStringLiteral("grey");
    case PHOTOMETRIC_RGB: return QStringLiteral("RGB");
    case PHOTOMETRIC_PALETTE: return QStringLiteral("palette");
    case PHOTOMETRIC_SEPARATED: return QStringLiteral("CMYK");
    case PHOTOMETRIC_YCBCR: return QStringLiteral("YCbCr");
    case PHOTOMETRIC_CIELAB:
    case PHOTOMETRIC_ICCLAB:
    case PHOTOMETRIC_ITULAB: return QStringLiteral("Lab");
    default: return QStringLiteral("colour model %1").arg(kind.samples.photometric);
  }
}

Error unreadableKind(const Kind& kind) {
  const QString format = floating(kind)                                  ? QStringLiteral(" floating-point")
                         : kind.samples.format == SAMPLEFORMAT_INT       ? QStringLiteral(" signed")
                         : kind.samples.format == SAMPLEFORMAT_COMPLEXINT ||
                                   kind.samples.format == SAMPLEFORMAT_COMPLEXIEEEFP
                             ? QStringLiteral(" complex")
                             : QString();
  return Error{QStringLiteral("Lumaset cannot read this kind of picture (a TIFF of %1-bit%2 %3 samples)")
                   .arg(kind.samples.bits)
                   .arg(format, modelName(kind))};
}

Error damaged(const QString& message) {
  return Error{QStringLiteral("the picture is damaged or incomplete%1")
                   .arg(message.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(message))};
}

// Sample `s` of pixel `x` of a band's row, from 0 to 1 (floating point as stored).
float sampleOf(const Kind& kind, const std::vector<std::vector<unsigned char>>& planes, uint64_t rowAt, uint32_t x,
               int s) {
  const TiffSamples& layout = kind.samples;
  const bool separate = layout.planar == PLANARCONFIG_SEPARATE;
  const unsigned char* row = planes[separate ? static_cast<size_t>(s) : 0].data() + rowAt;
  const uint64_t bit = x * layout.pixelBits() + (separate ? 0 : uint64_t(s) * layout.bits);
  const int bits = layout.bits;
  if (floating(kind)) {
    const unsigned char* at = row + bit / 8;
    if (bits == 16) return static_cast<float>(qFromUnaligned<qfloat16>(at));
    if (bits == 32) return qFromUnaligned<float>(at);
    return static_cast<float>(qFromUnaligned<double>(at));
  }
  uint64_t value = 0;
  if (bits % 8 == 0) {
    // libtiff hands samples of whole bytes in this machine's order.
    if (bits == 8) value = row[bit / 8];
    else if (bits == 16) value = qFromUnaligned<uint16_t>(row + bit / 8);
    else if (bits == 32) value = qFromUnaligned<uint32_t>(row + bit / 8);
    else
      for (int b = 0; b < bits / 8; ++b) value |= uint64_t{row[bit / 8 + b]} << (8 * b);
  } else {
    for (uint64_t b = bit; b < bit + bits; ++b) value = value << 1 | ((row[b / 8] >> (7 - b % 8)) & 1);
  }
  return static_cast<float>(static_cast<double>(value) / static_cast<double>((uint64_t{1} << bits) - 1));
}

// The colour of a pixel, and its transparency, from 0 to 1.
struct Colour {
  float red, green, blue, alpha;
};

Colour colourOf(const Kind& kind, const std::vector<std::vector<unsigned char>>& planes, uint64_t rowAt, uint32_t x) {
  const auto at = [&](int s) { return sampleOf(kind, planes, rowAt, x, s); };
  const float alpha = kind.alpha ? at(kind.colours) : 1.f;
  if (grey(kind)) {
    const float v = kind.samples.photometric == PHOTOMETRIC_MINISWHITE ? (kind.associated ? alpha : 1.f) - at(0) : at(0);
    return {v, v, v, alpha};
  }
  if (rgb(kind)) return {at(0), at(1), at(2), alpha};
  if (palette(kind)) {
    const auto index = static_cast<size_t>(std::lround(at(0) * ((1 << kind.samples.bits) - 1)));
    const auto colour = [&](int c) { return static_cast<float>(kind.map[c][index]) / 65535.f; };
    return {colour(0), colour(1), colour(2), alpha};
  }
  const float k = 1.f - at(3);  // inks as a printer lays them, without a profile
  return {(1.f - at(0)) * k, (1.f - at(1)) * k, (1.f - at(2)) * k, alpha};
}

QImage::Format formatFor(const Kind& kind) {
  const bool deep = floating(kind) || kind.samples.bits > 16;
  if (deep) return kind.associated ? QImage::Format_RGBA32FPx4_Premultiplied : QImage::Format_RGBA32FPx4;
  if (kind.samples.bits > 8) return kind.associated ? QImage::Format_RGBA64_Premultiplied : QImage::Format_RGBA64;
  return kind.associated ? QImage::Format_RGBA8888_Premultiplied : QImage::Format_RGBA8888;
}

void put(QImage& image, int x, int y, Colour c) {
  uchar* row = image.scanLine(y);
  const auto clamped = [](float v) { return std::isnan(v) ? 0.f : std::clamp(v, 0.f, 1.f); };
  switch (image.depth()) {
    case 128: {
      const float values[4] = {c.red, c.green, c.blue, c.alpha};
      std::memcpy(row + 16 * x, values, sizeof values);
      break;
    }
    case 64: {
      const auto wide = [&](float v) { return static_cast<quint16>(std::lround(clamped(v) * 65535)); };
      reinterpret_cast<QRgba64*>(row)[x] = QRgba64::fromRgba64(wide(c.red), wide(c.green), wide(c.blue), wide(c.alpha));
      break;
    }
    default: {
      const auto narrow = [&](float v) { return static_cast<uchar>(std::lround(clamped(v) * 255)); };
      const uchar bytes[4] = {narrow(c.red), narrow(c.green), narrow(c.blue), narrow(c.alpha)};
      std::memcpy(row + 4 * x, bytes, 4);
    }
  }
}

// The colour profile and resolution the file gives, as Qt's reader sets them.
void setFacts(TIFF* tiff, QImage& image) {
  uint32_t size = 0;
  const char* profile = nullptr;
  if (TIFFGetField(tiff, TIFFTAG_ICCPROFILE, &size, &profile) && profile)
    image.setColorSpace(QColorSpace::fromIccProfile(QByteArray(profile, static_cast<qsizetype>(size))));
  uint16_t unit = RESUNIT_INCH;
  float across = 0, down = 0;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_RESOLUTIONUNIT, &unit);
  const double perMetre = unit == RESUNIT_CENTIMETER ? 100 : unit == RESUNIT_INCH ? 100 / 2.54 : 0;
  if (perMetre > 0 && TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &across) &&
      TIFFGetField(tiff, TIFFTAG_YRESOLUTION, &down) && across > 0 && down > 0 && across < 1e6 && down < 1e6) {
    image.setDotsPerMeterX(static_cast<int>(std::lround(across * perMetre)));
    image.setDotsPerMeterY(static_cast<int>(std::lround(down * perMetre)));
  }
}

}  // namespace

std::optional<TiffDepth> tiffDepth(QIODevice& file) {
  QString message;
  const TiffHandle tiff = openTiff(file, message);
  const std::optional<TiffSamples> samples = tiff ? tiffSamplesOf(tiff.get()) : std::nullopt;
  if (!samples) return std::nullopt;
  const bool palette = samples->photometric == PHOTOMETRIC_PALETTE && samples->bits <= 16;
  const int bits = samples->bits * samples->samples;
  return TiffDepth{bits, palette ? 1 << samples->bits : bits == 1 ? 2 : 0};
}

bool isBigTiff(QByteArrayView fileStart) {
  return fileStart.startsWith(QByteArrayView("II+\0", 4)) || fileStart.startsWith(QByteArrayView("MM\0+", 4));
}

std::optional<TiffMeasure> measureTiff(QIODevice& file) {
  QString message;
  const TiffHandle tiff = openTiff(file, message);
  const std::optional<TiffSamples> samples = tiff ? tiffSamplesOf(tiff.get()) : std::nullopt;
  if (!samples || samples->width > INT_MAX || samples->length > INT_MAX) return std::nullopt;
  using T = QImageIOHandler;
  // Mirrored first, then a quarter turn clockwise, as Qt's reader turns a picture.
  constexpr T::Transformations kTurns[] = {T::TransformationNone,         T::TransformationMirror,
                                           T::TransformationRotate180,    T::TransformationFlip,
                                           T::TransformationFlipAndRotate90, T::TransformationRotate90,
                                           T::TransformationMirrorAndRotate90, T::TransformationRotate270};
  const int orientation = std::clamp<int>(samples->orientation, 1, 8);
  return TiffMeasure{QSize(static_cast<int>(samples->width), static_cast<int>(samples->length)),
                     kTurns[orientation - 1], static_cast<int>(TIFFNumberOfDirectories(tiff.get()))};
}

bool readsWithLibtiff(QIODevice& file) {
  QString message;
  const TiffHandle tiff = openTiff(file, message);
  const std::optional<Kind> kind = tiff ? kindOf(tiff.get()) : std::nullopt;
  return kind && qtMisreads(*kind);
}

Result<QImage> decodeTiff(QIODevice& file) {
  QString message;
  const TiffHandle tiff = openTiff(file, message);
  const std::optional<Kind> kind = tiff ? kindOf(tiff.get()) : std::nullopt;
  if (!kind) return damaged(message);
  if (!readHere(*kind)) return unreadableKind(*kind);
  const TiffSamples& layout = kind->samples;
  QImage image(static_cast<int>(layout.width), static_cast<int>(layout.length), formatFor(*kind));
  if (image.isNull()) return Error{QStringLiteral("there is not enough memory for the picture")};
  const uint64_t rowBytes = layout.rowBytes(layout.width);
  std::vector<std::vector<unsigned char>> band(static_cast<size_t>(layout.planes()),
                                               std::vector<unsigned char>(rowBytes * layout.bandRows()));
  std::vector<unsigned char> tile;
  for (uint32_t y = 0; y < layout.length; y += layout.bandRows()) {
    if (DecodeStop::requested()) return CancelledError();
    for (int p = 0; p < layout.planes(); ++p)
      if (!readTiffBand(tiff.get(), layout, p, y, band[static_cast<size_t>(p)].data(), tile)) return damaged(message);
    for (uint32_t r = 0; r < layout.rowsAt(y); ++r)
      for (uint32_t x = 0; x < layout.width; ++x)
        put(image, static_cast<int>(x), static_cast<int>(y + r), colourOf(*kind, band, r * rowBytes, x));
  }
  setFacts(tiff.get(), image);
  return image;
}

}  // namespace lumaset::imaging_detail
