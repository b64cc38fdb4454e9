#include "components/imaging/tiff/tiff_quarter_turn.h"

#include <QString>

#include <algorithm>
#include <functional>
#include <new>
#include <cstring>
#include <optional>
#include <vector>

#include "components/imaging/decode_memory.h"
#include "components/imaging/picture_memory.h"
#include "components/imaging/pixels/pixel_bands.h"
#include "components/imaging/quarter_turn_file.h"
#include "components/imaging/quarter_turn_pixels.h"
#include "components/imaging/tiff/tiff_bands.h"
#include "components/imaging/tiff/tiff_memory.h"
#include "components/imaging/tiff/tiff_samples.h"
#include "components/imaging/tiff/tiff_tags.h"

namespace lumaset::imaging_detail {

namespace {

Error damaged(const QString& cause = {}) {
  return Error{QStringLiteral("the picture is damaged or incomplete%1.")
                   .arg(cause.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(cause))};
}

Error unwritable(const QString& cause) {
  return Error{QStringLiteral("Lumaset cannot write this TIFF file back without changing it%1.")
                   .arg(cause.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(cause))};
}

using Layout = TiffSamples;

struct Point {
  int64_t x;
  int64_t y;
};

// The stored pixel that lands at (x, y) of the turned grid: the picture is
// first stood upright as `orientation` says, then turned clockwise.
Point storedOf(int orientation, int64_t width, int64_t length, int64_t x, int64_t y) {
  const int64_t shownLength = orientation >= ORIENTATION_LEFTTOP ? width : length;
  const int64_t sx = y, sy = shownLength - 1 - x;  // the pixel of the upright picture
  switch (orientation) {
    case ORIENTATION_TOPRIGHT: return {width - 1 - sx, sy};
    case ORIENTATION_BOTRIGHT: return {width - 1 - sx, length - 1 - sy};
    case ORIENTATION_BOTLEFT: return {sx, length - 1 - sy};
    case ORIENTATION_LEFTTOP: return {sy, sx};
    case ORIENTATION_RIGHTTOP: return {sy, length - 1 - sx};
    case ORIENTATION_RIGHTBOT: return {width - 1 - sy, length - 1 - sx};
    case ORIENTATION_LEFTBOT: return {width - 1 - sy, sx};
    default: return {sx, sy};
  }
}

// Whether the turn moves the stored rows into columns, so that across and
// down trade places.
bool gridTurns(int orientation) { return orientation < ORIENTATION_LEFTTOP; }

Layout turnedLayout(Layout layout) {
  if (gridTurns(layout.orientation)) std::swap(layout.width, layout.length);
  layout.orientation = ORIENTATION_TOPLEFT;
  return layout;
}

// The pixels of the turned grid as a map of the stored one.
PixelMap turnMap(const Layout& stored) {
  const auto at = [&stored](int64_t x, int64_t y) {
    const Point p = storedOf(stored.orientation, stored.width, stored.length, x, y);
    return PixelPoint{p.x, p.y};
  };
  const PixelPoint origin = at(0, 0), across = at(1, 0), down = at(0, 1);
  return {origin, {across.x - origin.x, across.y - origin.y}, {down.x - origin.x, down.y - origin.y}};
}

// A codec that loses nothing: the file's own, or LZW where it would lose.
uint16_t writtenCompression(uint16_t compression) {
  const bool lossy = compression == COMPRESSION_JPEG || compression == COMPRESSION_WEBP ||
                     compression == COMPRESSION_JXL;
  return lossy ? uint16_t{COMPRESSION_LZW} : compression;
}

// Why a picture cannot be turned as libtiff stores it, if it cannot (further
// pictures are found in its directory as stored, by tiffTagsOf).
std::optional<Error> refusal(TIFF* tiff, const Layout& layout) {
  if (const tdir_t pages = TIFFNumberOfDirectories(tiff); pages > 1)
    return Error{QStringLiteral("it holds %1 pages or frames, and only the first would be kept.").arg(pages)};
  if (uint32_t depth = 1; TIFFGetField(tiff, TIFFTAG_IMAGEDEPTH, &depth) && depth > 1)
    return Error{QStringLiteral("it holds a picture of several layers deep.")};
  if (!TIFFIsCODECConfigured(layout.compression) || layout.compression == COMPRESSION_OJPEG)
    return Error{QStringLiteral("Lumaset cannot read its compression (number %1).").arg(layout.compression)};
  uint16_t across = 1, down = 1;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_YCBCRSUBSAMPLING, &across, &down);
  if (layout.photometric == PHOTOMETRIC_YCBCR && layout.compression != COMPRESSION_JPEG && (across != 1 || down != 1))
    return Error{QStringLiteral("its colours are stored at a lower resolution than its brightness.")};
  return std::nullopt;
}

// Colours compressed as JPEG come decoded to RGB, and are written so.
bool decodedColour(const Layout& stored) {
  return stored.compression == COMPRESSION_JPEG && stored.photometric == PHOTOMETRIC_YCBCR;
}

// How the turned samples lie and are compressed: as the original's, but for
// the sizes and a JPEG's codec and colours.
bool setLayout(TIFF* from, TIFF* to, const Layout& stored, const Layout& turned) {
  const uint16_t compression = writtenCompression(stored.compression);
  bool set = TIFFSetField(to, TIFFTAG_IMAGEWIDTH, turned.width) && TIFFSetField(to, TIFFTAG_IMAGELENGTH, turned.length) &&
             TIFFSetField(to, TIFFTAG_BITSPERSAMPLE, turned.bits) &&
             TIFFSetField(to, TIFFTAG_SAMPLESPERPIXEL, turned.samples) &&
             TIFFSetField(to, TIFFTAG_PLANARCONFIG, turned.planar) &&
             TIFFSetField(to, TIFFTAG_PHOTOMETRIC, decodedColour(stored) ? uint16_t{PHOTOMETRIC_RGB} : turned.photometric) &&
             TIFFSetField(to, TIFFTAG_COMPRESSION, compression);
  if (uint16_t format = 0; TIFFGetField(from, TIFFTAG_SAMPLEFORMAT, &format))
    set = set && TIFFSetField(to, TIFFTAG_SAMPLEFORMAT, format);
  uint16_t extraCount = 0;
  const uint16_t* extra = nullptr;
  if (TIFFGetField(from, TIFFTAG_EXTRASAMPLES, &extraCount, &extra))
    set = set && TIFFSetField(to, TIFFTAG_EXTRASAMPLES, extraCount, extra);
  if (uint16_t predictor = 0; compression == stored.compression && TIFFGetField(from, TIFFTAG_PREDICTOR, &predictor))
    set = set && TIFFSetField(to, TIFFTAG_PREDICTOR, predictor);
  if (uint32_t options = 0; compression == COMPRESSION_CCITTFAX3 && TIFFGetField(from, TIFFTAG_GROUP3OPTIONS, &options))
    set = set && TIFFSetField(to, TIFFTAG_GROUP3OPTIONS, options);
  if (uint32_t options = 0; compression == COMPRESSION_CCITTFAX4 && TIFFGetField(from, TIFFTAG_GROUP4OPTIONS, &options))
    set = set && TIFFSetField(to, TIFFTAG_GROUP4OPTIONS, options);
  if (uint16_t order = 0; TIFFGetField(from, TIFFTAG_FILLORDER, &order))
    set = set && TIFFSetField(to, TIFFTAG_FILLORDER, order);
  uint16_t across = 1, down = 1;
  if (!decodedColour(stored) && TIFFGetField(from, TIFFTAG_YCBCRSUBSAMPLING, &across, &down))
    set = set && TIFFSetField(to, TIFFTAG_YCBCRSUBSAMPLING, across, down);
  if (turned.tiled)
    return set && TIFFSetField(to, TIFFTAG_TILEWIDTH, turned.tileWidth) &&
           TIFFSetField(to, TIFFTAG_TILELENGTH, turned.tileLength);
  return set && TIFFSetField(to, TIFFTAG_ROWSPERSTRIP, turned.rowsPerStrip);
}

// The written file: libtiff writes the turned samples (by `writeSamples`)
// and the tags that say how they lie; every other tag of the original
// follows as stored.
Result<QByteArray> written(TIFF* from, const Layout& stored, const Layout& turned,
                           const std::function<bool(TIFF* to)>& writeSamples, TiffTags tags) {
  TiffMemoryFile file;
  QString message;
  const char* mode = TIFFIsBigTIFF(from) ? (TIFFIsBigEndian(from) ? "w8b" : "w8l") : (TIFFIsBigEndian(from) ? "wb" : "wl");
  {
    const TiffHandle to = openTiff(file, mode, message);
    if (!to) return unwritable(message);
    if (!setLayout(from, to.get(), stored, turned) || !writeSamples(to.get()) ||
        !TIFFWriteDirectory(to.get()))
      return unwritable(message);
  }
  if (!message.isEmpty()) return unwritable(message);  // the last write, as the file closed
  return withTiffTags(std::move(file.out), std::move(tags), {gridTurns(stored.orientation), decodedColour(stored)});
}

// Compressed strips of about 256 KB of samples pack as well as one strip
// does, and read a piece at a time.
constexpr uint64_t kStripBytes = 256 * 1024;

uint32_t stripRows(const Layout& turned) {
  const uint64_t rowBytes = std::max<uint64_t>(turned.rowBytes(turned.width), 1);
  return static_cast<uint32_t>(std::clamp<uint64_t>(kStripBytes / rowBytes, 1, turned.length));
}

}  // namespace

Result<QByteArray> turnTiffClockwise(QByteArrayView file) {
  QString message;
  TiffMemoryFile source(file);
  const TiffHandle from = openTiff(source, "rm", message);
  if (!from) return damaged(message);
  const std::optional<Layout> stored = tiffSamplesOf(from.get());
  if (!stored) return damaged(message);
  if (auto refused = refusal(from.get(), *stored)) return *refused;
  Result<TiffTags> tags = tiffTagsOf(file);
  if (!tags) return Error{tags.error()};
  // Each worker's handle reads colours compressed as JPEG as RGB.
  const auto rgbFromJpeg = [&stored](TIFF* tiff) {
    return !decodedColour(*stored) || TIFFSetField(tiff, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
  };
  Layout turned = turnedLayout(*stored);
  if (!turned.tiled) turned.rowsPerStrip = stripRows(turned);
  // The file; its samples in pieces, each of which gives way to the band of
  // turned rows made from it; the new file, which may be larger than the
  // samples (as LZW makes noise) or than the file; and each core's band.
  PixelJob job(0, KeepTurning);
  const double samples = static_cast<double>(stored->planeBytes()) * stored->planes();
  const double newFile = samples * 1.5 + static_cast<double>(file.size());
  const auto turnedBand = static_cast<uint32_t>(
      PixelJob::BandRows(static_cast<int>(std::min<uint32_t>(turned.length, INT32_MAX)), static_cast<int>(turned.bandRows())));
  const double perCore = std::max(tiffBandWorkBytes(*stored, stored->bandRows()), tiffBandWorkBytes(turned, turnedBand));
  const double cost = static_cast<double>(file.size()) + samples + newFile + job.threads() * perCore;
  std::optional<DecodeMemory::Share> share;
  if (auto refused = TakeTurnMemory(share, cost, stored->width, stored->length)) return *refused;
  if (stored->width > INT32_MAX || stored->length > INT32_MAX) return damaged();
  pixels::GiveLargeBlocksBack();  // each piece let go of leaves room for the new file at once
  const PixelMap map = turnMap(*stored);
  std::vector<StoredPieces> planes;
  for (int p = 0; p < stored->planes(); ++p)
    planes.emplace_back(map, stored->width, stored->length, static_cast<unsigned>(stored->pixelBits()), turned.length,
                        turnedBand, false);
  TiffChecksums checksums;
  Result<QByteArray> bytes = Error{};
  try {
    for (StoredPieces& plane : planes) plane.allocate();
    WorkProgress::Stage(0, 0.3);
    if (!readTiffPieces(job, file, *stored, rgbFromJpeg, planes)) return job.stopped() ? CancelledError() : damaged();
    const auto prepare = [&](TIFF* reading, TIFF* to) { return setLayout(reading, to, *stored, turned); };
    WorkProgress::Stage(0.3, 0.8);
    bytes = written(
        from.get(), *stored, turned,
        [&](TIFF* to) { return writeTiffBands(job, file, to, turned, map, planes, prepare, checksums); },
        std::move(tags).value());
  } catch (const std::bad_alloc&) {
    return Error{QStringLiteral("there is not enough memory for a picture of %1 x %2 pixels.")
                     .arg(stored->width)
                     .arg(stored->length)};
  }
  if (job.stopped()) return CancelledError();
  if (!bytes) return bytes;
  WorkProgress::Stage(0.8, 1);
  // Read back, the new file must hold the turned samples.
  QString againMessage;
  TiffMemoryFile again(*bytes);
  const TiffHandle check = openTiff(again, "rm", againMessage);
  const std::optional<Layout> checked = check ? tiffSamplesOf(check.get()) : std::nullopt;
  if (!checked || checked->width != turned.width || checked->length != turned.length ||
      checked->pixelBits() != turned.pixelBits() || checked->planes() != turned.planes())
    return unwritable(againMessage);
  if (!tiffHoldsBands(job, *bytes, *checked, checksums)) return job.stopped() ? CancelledError() : unwritable(QString());
  return bytes;
}

}  // namespace lumaset::imaging_detail
