#include "components/imaging/tiff/tiff_pixels.h"

#include <QFloat16>
#include <QRgba64>
#include <QtEndian>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace lumaset::imaging_detail {

namespace {

bool grey(const TiffKind& kind) {
  return kind.colours == 1 && (kind.samples.photometric == PHOTOMETRIC_MINISBLACK ||
                               kind.samples.photometric == PHOTOMETRIC_MINISWHITE);
}
bool rgb(const TiffKind& kind) { return kind.colours == 3 && kind.samples.photometric == PHOTOMETRIC_RGB; }
bool cmyk(const TiffKind& kind) { return kind.colours == 4 && kind.samples.photometric == PHOTOMETRIC_SEPARATED; }
bool floating(const TiffKind& kind) { return kind.samples.format == SAMPLEFORMAT_IEEEFP; }
bool signedInt(const TiffKind& kind) { return kind.samples.format == SAMPLEFORMAT_INT; }
bool palette(const TiffKind& kind) { return kind.colours == 1 && kind.map[0] && !floating(kind) && !signedInt(kind); }
bool whiteIsZero(const TiffKind& kind) { return kind.samples.photometric == PHOTOMETRIC_MINISWHITE; }
bool separate(const TiffKind& kind) { return kind.samples.planar == PLANARCONFIG_SEPARATE && kind.samples.samples > 1; }

// Opaque grey and palette pictures are held by their values.
bool opaqueGrey(const TiffKind& kind) { return grey(kind) && !kind.alpha && !floating(kind) && kind.samples.bits <= 16; }
bool bilevel(const TiffKind& kind) {
  return opaqueGrey(kind) && !signedInt(kind) && kind.samples.bits == 1 && kind.samples.samples == 1;
}
bool indexed(const TiffKind& kind) {
  return palette(kind) && !kind.alpha && kind.samples.bits <= 8 && kind.samples.samples == 1;
}

// The samples read here: unsigned integers of 1 to 32 bits, signed ones of
// 8 or 16, floating point of 16, 32 or 64.
bool samplesRead(const TiffKind& kind) {
  const uint16_t bits = kind.samples.bits;
  if (floating(kind)) return bits == 16 || bits == 32 || bits == 64;
  if (signedInt(kind)) return bits == 8 || bits == 16;
  return kind.samples.format == SAMPLEFORMAT_UINT && bits <= 32;
}

QString modelName(const TiffKind& kind) {
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

// `bits` bits from bit `bit` of `row`, first bit highest.
uint64_t bitsAt(const unsigned char* row, uint64_t bit, int bits) {
  uint64_t value = 0;
  for (uint64_t b = bit; b < bit + bits; ++b) value = value << 1 | ((row[b / 8] >> (7 - b % 8)) & 1);
  return value;
}

// Sample `s` of pixel `x` of a band's row, from 0 to 1 (floating point as
// stored); a signed sample shifted up by half its range.
float sampleOf(const TiffKind& kind, const TiffPlanes& planes, uint64_t rowAt, uint32_t x, int s) {
  const TiffSamples& layout = kind.samples;
  const bool apart = layout.planar == PLANARCONFIG_SEPARATE;
  const unsigned char* row = planes[apart ? static_cast<size_t>(s) : 0].data() + rowAt;
  const uint64_t bit = x * layout.pixelBits() + (apart ? 0 : uint64_t(s) * layout.bits);
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
    value = bitsAt(row, bit, bits);
  }
  if (signedInt(kind)) value ^= uint64_t{1} << (bits - 1);
  return static_cast<float>(static_cast<double>(value) / static_cast<double>((uint64_t{1} << bits) - 1));
}

// The colour of a pixel, and its transparency, from 0 to 1.
struct Colour {
  float red, green, blue, alpha;
};

Colour colourOf(const TiffKind& kind, const TiffPlanes& planes, uint64_t rowAt, uint32_t x) {
  const auto at = [&](int s) { return sampleOf(kind, planes, rowAt, x, s); };
  const float alpha = kind.alpha ? at(kind.colours) : 1.f;
  if (grey(kind)) {
    const float v = whiteIsZero(kind) ? (kind.associated ? alpha : 1.f) - at(0) : at(0);
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

float clamped(float v) { return std::isnan(v) ? 0.f : std::clamp(v, 0.f, 1.f); }
uchar narrow(float v) { return static_cast<uchar>(std::lround(clamped(v) * 255)); }
quint16 wide(float v) { return static_cast<quint16>(std::lround(clamped(v) * 65535)); }

void put(uchar* row, int depth, int x, Colour c) {
  switch (depth) {
    case 128: {
      const float values[4] = {c.red, c.green, c.blue, c.alpha};
      std::memcpy(row + 16 * x, values, sizeof values);
      break;
    }
    case 64:
      reinterpret_cast<QRgba64*>(row)[x] = QRgba64::fromRgba64(wide(c.red), wide(c.green), wide(c.blue), wide(c.alpha));
      break;
    default: reinterpret_cast<QRgb*>(row)[x] = qRgba(narrow(c.red), narrow(c.green), narrow(c.blue), narrow(c.alpha));
  }
}

QImage::Format formatFor(const TiffKind& kind) {
  if (bilevel(kind)) return QImage::Format_Mono;
  if (indexed(kind)) return QImage::Format_Indexed8;
  if (opaqueGrey(kind)) return kind.samples.bits <= 8 ? QImage::Format_Grayscale8 : QImage::Format_Grayscale16;
  const bool deep = floating(kind) || kind.samples.bits > 16;
  if (deep) return kind.associated ? QImage::Format_RGBA32FPx4_Premultiplied : QImage::Format_RGBA32FPx4;
  if (kind.samples.bits > 8) return kind.associated ? QImage::Format_RGBA64_Premultiplied : QImage::Format_RGBA64;
  if (!kind.alpha) return QImage::Format_RGB32;
  return kind.associated ? QImage::Format_ARGB32_Premultiplied : QImage::Format_ARGB32;
}

// Whole samples of grey or RGB lying together, with or without
// transparency (the common photo), straight to their channels.
// At 8 bits as QRgb (Format_RGB32, ARGB32), at 16 as QRgba64 (Format_RGBA64).
template <typename Sample, bool Colour, bool Alpha>
void putChannels(const Sample* samples, uchar* out, int width, int stride, int alphaAt, Sample flip, Sample invert) {
  constexpr auto most = static_cast<Sample>(~Sample{0});
  for (int x = 0; x < width; ++x, samples += stride) {
    const auto first = static_cast<Sample>(samples[0] ^ flip ^ invert);
    const Sample red = first;
    const Sample green = Colour ? static_cast<Sample>(samples[1] ^ flip) : first;
    const Sample blue = Colour ? static_cast<Sample>(samples[2] ^ flip) : first;
    const Sample alpha = Alpha ? static_cast<Sample>(samples[alphaAt] ^ flip) : most;
    if constexpr (sizeof(Sample) == 1) {
      reinterpret_cast<QRgb*>(out)[x] = qRgba(red, green, blue, alpha);
    } else {
      reinterpret_cast<QRgba64*>(out)[x] = QRgba64::fromRgba64(red, green, blue, alpha);
    }
  }
}

template <typename Sample>
bool putWholeSamples(const TiffKind& kind, const unsigned char* in, uchar* out, int width) {
  constexpr int bits = 8 * sizeof(Sample);
  if (kind.samples.bits != bits || separate(kind) || !(grey(kind) || rgb(kind))) return false;
  if (whiteIsZero(kind) && kind.associated) return false;
  const auto flip = static_cast<Sample>(signedInt(kind) ? Sample{1} << (bits - 1) : 0);
  const auto invert = static_cast<Sample>(whiteIsZero(kind) ? ~Sample{0} : 0);
  const int stride = kind.samples.samples;
  // libtiff hands whole samples in this machine's order.
  const auto* samples = reinterpret_cast<const Sample*>(in);
  const auto put = rgb(kind) ? (kind.alpha ? putChannels<Sample, true, true> : putChannels<Sample, true, false>)
                             : (kind.alpha ? putChannels<Sample, false, true> : putChannels<Sample, false, false>);
  put(samples, out, width, stride, kind.colours, flip, invert);
  return true;
}

// One opaque grey row at 8 or 16 bits a pixel.
template <typename Sample>
void putGreyRow(const TiffKind& kind, const TiffPlanes& planes, uint64_t rowAt, uchar* out, int width) {
  constexpr int bits = 8 * sizeof(Sample);
  auto* values = reinterpret_cast<Sample*>(out);
  if (kind.samples.bits == bits && kind.samples.samples == 1) {
    const Sample flip = Sample((signedInt(kind) ? Sample{1} << (bits - 1) : 0) ^ (whiteIsZero(kind) ? ~Sample{0} : 0));
    std::memcpy(values, planes[0].data() + rowAt, sizeof(Sample) * std::size_t(width));
    if (flip != 0)
      for (int x = 0; x < width; ++x) values[x] = Sample(values[x] ^ flip);
    return;
  }
  for (int x = 0; x < width; ++x) {
    const float v = clamped(colourOf(kind, planes, rowAt, static_cast<uint32_t>(x)).red);
    values[x] = static_cast<Sample>(std::lround(v * float(Sample(~Sample{0}))));
  }
}

}  // namespace

std::optional<TiffKind> tiffKindOf(TIFF* tiff) {
  const std::optional<TiffSamples> samples = tiffSamplesOf(tiff);
  if (!samples) return std::nullopt;
  TiffKind kind{*samples};
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

bool readsTiffKind(const TiffKind& kind) {
  return samplesRead(kind) && kind.samples.compression != COMPRESSION_OJPEG &&
         (grey(kind) || rgb(kind) || cmyk(kind) || palette(kind));
}

bool qtMisreadsTiffKind(const TiffKind& kind) {
  return kind.big || kind.samples.tiled || signedInt(kind) || (grey(kind) && kind.alpha) ||
         (kind.samples.photometric == PHOTOMETRIC_SEPARATED && kind.samples.bits != 8) || floating(kind) ||
         kind.samples.bits > 16;
}

Error unreadableTiffKind(const TiffKind& kind) {
  const QString format = floating(kind)                                  ? QStringLiteral(" floating-point")
                         : signedInt(kind)                               ? QStringLiteral(" signed")
                         : kind.samples.format == SAMPLEFORMAT_COMPLEXINT ||
                                   kind.samples.format == SAMPLEFORMAT_COMPLEXIEEEFP
                             ? QStringLiteral(" complex")
                             : QString();
  return Error{QStringLiteral("Lumaset cannot read this kind of picture (a TIFF of %1-bit%2 %3 samples)")
                   .arg(kind.samples.bits)
                   .arg(format, modelName(kind))};
}

QImage newTiffPicture(const TiffKind& kind, int width, int rows) {
  QImage image(width, rows, formatFor(kind));
  if (image.isNull()) return image;
  if (image.format() == QImage::Format_Mono) {
    const QRgb black = qRgb(0, 0, 0), white = qRgb(255, 255, 255);
    image.setColorTable(whiteIsZero(kind) ? QList<QRgb>{white, black} : QList<QRgb>{black, white});
  } else if (image.format() == QImage::Format_Indexed8) {
    QList<QRgb> colours(qsizetype{1} << kind.samples.bits);
    const auto channel = [&](int c, qsizetype i) { return narrow(static_cast<float>(kind.map[c][i]) / 65535.f); };
    for (qsizetype i = 0; i < colours.size(); ++i) colours[i] = qRgb(channel(0, i), channel(1, i), channel(2, i));
    image.setColorTable(colours);
  }
  return image;
}

void putTiffRow(const TiffKind& kind, const TiffPlanes& planes, uint64_t rowAt, QImage& image, int y) {
  const int width = image.width();
  uchar* out = image.scanLine(y);
  const unsigned char* in = planes[0].data() + rowAt;
  switch (image.format()) {
    case QImage::Format_Mono: std::memcpy(out, in, static_cast<std::size_t>(width + 7) / 8); return;
    case QImage::Format_Indexed8:
      if (kind.samples.bits == 8) std::memcpy(out, in, static_cast<std::size_t>(width));
      else
        for (int x = 0; x < width; ++x) out[x] = static_cast<uchar>(bitsAt(in, uint64_t(x) * kind.samples.bits, kind.samples.bits));
      return;
    case QImage::Format_Grayscale8: putGreyRow<quint8>(kind, planes, rowAt, out, width); return;
    case QImage::Format_Grayscale16: putGreyRow<quint16>(kind, planes, rowAt, out, width); return;
    default: break;
  }
  const int depth = image.depth();
  if (depth == 32 && putWholeSamples<quint8>(kind, in, out, width)) return;
  if (depth == 64 && putWholeSamples<quint16>(kind, in, out, width)) return;
  for (int x = 0; x < width; ++x) put(out, depth, x, colourOf(kind, planes, rowAt, static_cast<uint32_t>(x)));
}

}  // namespace lumaset::imaging_detail
