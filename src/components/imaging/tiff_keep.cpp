#include "components/imaging/tiff_keep.h"

#include "components/imaging/tiff_memory.h"

#include <QString>

#include <algorithm>
#include <optional>
#include <vector>

namespace lumaset::imaging_detail {

namespace {

using MemoryFile = TiffMemoryFile;

// A tag whose value is a count and the bytes it counts.
struct Blob {
  ttag_t tag;
  std::vector<char> bytes;
};

// What the original file says of its picture that the written file must say too.
struct Kept {
  bool bigEndian = false;
  uint16_t compression = COMPRESSION_NONE;
  uint16_t predictor = PREDICTOR_NONE;
  std::optional<uint16_t> unit;
  std::optional<float> across;
  std::optional<float> down;
  std::vector<std::pair<ttag_t, QByteArray>> texts;
  std::vector<Blob> blobs;
};

constexpr ttag_t kTextTags[] = {TIFFTAG_DOCUMENTNAME, TIFFTAG_IMAGEDESCRIPTION, TIFFTAG_MAKE, TIFFTAG_MODEL,
                                TIFFTAG_PAGENAME, TIFFTAG_SOFTWARE, TIFFTAG_DATETIME, TIFFTAG_ARTIST,
                                TIFFTAG_HOSTCOMPUTER, TIFFTAG_COPYRIGHT};
constexpr ttag_t kBlobTags[] = {TIFFTAG_ICCPROFILE, TIFFTAG_XMLPACKET, TIFFTAG_PHOTOSHOP};

Kept keptOf(TIFF* original) {
  Kept kept;
  kept.bigEndian = TIFFIsBigEndian(original) != 0;
  TIFFGetField(original, TIFFTAG_COMPRESSION, &kept.compression);
  TIFFGetField(original, TIFFTAG_PREDICTOR, &kept.predictor);
  if (uint16_t unit = 0; TIFFGetField(original, TIFFTAG_RESOLUTIONUNIT, &unit)) kept.unit = unit;
  if (float value = 0; TIFFGetField(original, TIFFTAG_XRESOLUTION, &value)) kept.across = value;
  if (float value = 0; TIFFGetField(original, TIFFTAG_YRESOLUTION, &value)) kept.down = value;
  for (const ttag_t tag : kTextTags) {
    if (const char* text = nullptr; TIFFGetField(original, tag, &text) && text) kept.texts.emplace_back(tag, text);
  }
  for (const ttag_t tag : kBlobTags) {
    uint32_t count = 0;
    const char* data = nullptr;
    if (TIFFGetField(original, tag, &count, &data) && data) kept.blobs.push_back({tag, {data, data + count}});
  }
  // IPTC data is counted in 32-bit words.
  uint32_t words = 0;
  const char* iptc = nullptr;
  if (TIFFGetField(original, TIFFTAG_RICHTIFFIPTC, &words, &iptc) && iptc)
    kept.blobs.push_back({TIFFTAG_RICHTIFFIPTC, {iptc, iptc + 4 * size_t{words}}});
  return kept;
}

// The predictor stays only where the codec and the samples allow it.
uint16_t keptPredictor(const Kept& kept, uint16_t compression, uint16_t bits, uint16_t format) {
  const bool predicting = compression == COMPRESSION_LZW || compression == COMPRESSION_ADOBE_DEFLATE ||
                          compression == COMPRESSION_DEFLATE;
  if (!predicting) return PREDICTOR_NONE;
  if (kept.predictor == PREDICTOR_HORIZONTAL && format != SAMPLEFORMAT_IEEEFP && bits >= 8) return kept.predictor;
  if (kept.predictor == PREDICTOR_FLOATINGPOINT && format == SAMPLEFORMAT_IEEEFP) return kept.predictor;
  return PREDICTOR_NONE;
}

// The layout of the written picture, as Qt's writer gave it.
bool copyLayout(TIFF* from, TIFF* to, uint16_t& bits, uint16_t& format) {
  uint32_t width = 0, length = 0;
  uint16_t samples = 1, photometric = 0, planar = PLANARCONFIG_CONTIG, orientation = ORIENTATION_TOPLEFT;
  format = SAMPLEFORMAT_UINT;
  bits = 1;
  if (!TIFFGetField(from, TIFFTAG_IMAGEWIDTH, &width) || !TIFFGetField(from, TIFFTAG_IMAGELENGTH, &length) ||
      !TIFFGetField(from, TIFFTAG_PHOTOMETRIC, &photometric))
    return false;
  TIFFGetFieldDefaulted(from, TIFFTAG_BITSPERSAMPLE, &bits);
  TIFFGetFieldDefaulted(from, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(from, TIFFTAG_PLANARCONFIG, &planar);
  TIFFGetFieldDefaulted(from, TIFFTAG_ORIENTATION, &orientation);
  TIFFGetFieldDefaulted(from, TIFFTAG_SAMPLEFORMAT, &format);
  bool set = TIFFSetField(to, TIFFTAG_IMAGEWIDTH, width) && TIFFSetField(to, TIFFTAG_IMAGELENGTH, length) &&
             TIFFSetField(to, TIFFTAG_BITSPERSAMPLE, bits) && TIFFSetField(to, TIFFTAG_SAMPLESPERPIXEL, samples) &&
             TIFFSetField(to, TIFFTAG_PHOTOMETRIC, photometric) && TIFFSetField(to, TIFFTAG_PLANARCONFIG, planar) &&
             TIFFSetField(to, TIFFTAG_ORIENTATION, orientation);
  if (uint16_t formatSet = 0; TIFFGetField(from, TIFFTAG_SAMPLEFORMAT, &formatSet))
    set = set && TIFFSetField(to, TIFFTAG_SAMPLEFORMAT, formatSet);
  uint16_t extraCount = 0;
  const uint16_t* extra = nullptr;
  if (TIFFGetField(from, TIFFTAG_EXTRASAMPLES, &extraCount, &extra))
    set = set && TIFFSetField(to, TIFFTAG_EXTRASAMPLES, extraCount, extra);
  uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
  if (TIFFGetField(from, TIFFTAG_COLORMAP, &red, &green, &blue))
    set = set && TIFFSetField(to, TIFFTAG_COLORMAP, red, green, blue);
  return set;
}

// A codec that loses nothing: the file's own, or LZW where libtiff lacks it
// or it would lose (JPEG).
uint16_t keptCompression(const Kept& kept) {
  const bool lossy = kept.compression == COMPRESSION_JPEG || kept.compression == COMPRESSION_OJPEG ||
                     kept.compression == COMPRESSION_WEBP || kept.compression == COMPRESSION_JXL;
  return !lossy && TIFFIsCODECConfigured(kept.compression) ? kept.compression : COMPRESSION_LZW;
}

bool setKept(TIFF* to, const Kept& kept, uint16_t bits, uint16_t format) {
  const uint16_t compression = keptCompression(kept);
  bool set = TIFFSetField(to, TIFFTAG_COMPRESSION, compression);
  if (const uint16_t predictor = keptPredictor(kept, compression, bits, format); predictor != PREDICTOR_NONE)
    set = set && TIFFSetField(to, TIFFTAG_PREDICTOR, predictor);
  if (kept.unit) set = set && TIFFSetField(to, TIFFTAG_RESOLUTIONUNIT, *kept.unit);
  if (kept.down) set = set && TIFFSetField(to, TIFFTAG_XRESOLUTION, *kept.down);
  if (kept.across) set = set && TIFFSetField(to, TIFFTAG_YRESOLUTION, *kept.across);
  for (const auto& [tag, text] : kept.texts) set = set && TIFFSetField(to, tag, text.constData());
  for (const Blob& blob : kept.blobs) {
    const size_t units = blob.tag == TIFFTAG_RICHTIFFIPTC ? blob.bytes.size() / 4 : blob.bytes.size();
    const auto count = static_cast<uint32_t>(units);
    set = set && TIFFSetField(to, blob.tag, count, blob.bytes.data());
  }
  return set;
}

// Compressed strips of about 256 KB of samples pack as well as one strip
// does, and read a piece at a time.
constexpr tmsize_t kStripBytes = 256 * 1024;

bool copyRows(TIFF* from, TIFF* to, uint16_t compression) {
  uint32_t length = 0;
  TIFFGetField(from, TIFFTAG_IMAGELENGTH, &length);
  const tmsize_t rowBytes = TIFFScanlineSize(from);
  if (rowBytes <= 0) return false;
  const uint32_t rows = compression == COMPRESSION_NONE
                            ? TIFFDefaultStripSize(to, 0)
                            : static_cast<uint32_t>(std::clamp<tmsize_t>(kStripBytes / rowBytes, 1, length));
  if (!TIFFSetField(to, TIFFTAG_ROWSPERSTRIP, rows)) return false;
  std::vector<char> row(static_cast<size_t>(rowBytes));
  for (uint32_t y = 0; y < length; ++y)
    if (TIFFReadScanline(from, row.data(), y, 0) < 0 || TIFFWriteScanline(to, row.data(), y, 0) < 0) return false;
  return TIFFWriteDirectory(to) != 0;
}

Error failed(const QString& message) {
  return Error{QStringLiteral("the TIFF file cannot be written again as it was%1.")
                   .arg(message.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(message))};
}

}  // namespace

Result<QByteArray> tiffLikeOriginal(QByteArrayView written, QByteArrayView original) {
  // Each file reports its own errors: the original's optional tags may be
  // missing or odd, which spoils nothing.
  QString originalMessage, writtenMessage, message;
  MemoryFile originalFile(original);
  const TiffHandle originalTiff = openTiff(originalFile, "rm", originalMessage);
  if (!originalTiff) return failed(originalMessage);
  const Kept kept = keptOf(originalTiff.get());
  MemoryFile writtenFile(written);
  const TiffHandle from = openTiff(writtenFile, "rm", writtenMessage);
  if (!from) return failed(writtenMessage);
  MemoryFile result;
  {
    const TiffHandle to = openTiff(result, kept.bigEndian ? "wb" : "wl", message);
    if (!to) return failed(message);
    uint16_t bits = 1, format = SAMPLEFORMAT_UINT;
    if (!copyLayout(from.get(), to.get(), bits, format) || !setKept(to.get(), kept, bits, format) ||
        !copyRows(from.get(), to.get(), keptCompression(kept)))
      return failed(message.isEmpty() ? writtenMessage : message);
  }
  if (!message.isEmpty()) return failed(message);  // the last write, as the file closed
  return std::move(result.out);
}

int tiffSampleBits(QByteArrayView file) {
  QString message;
  MemoryFile memory(file);
  const TiffHandle tiff = openTiff(memory, "rm", message);
  uint16_t bits = 0;
  if (!tiff || !TIFFGetFieldDefaulted(tiff.get(), TIFFTAG_BITSPERSAMPLE, &bits)) return 0;
  return bits;
}

}  // namespace lumaset::imaging_detail
