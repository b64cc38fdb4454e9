#include "components/imaging/tiff/tiff_quarter_turn.h"

#include <QString>

#include <algorithm>
#include <cstring>
#include <optional>
#include <vector>

#include "components/imaging/decode_memory.h"
#include "components/imaging/pixels/pixel_bands.h"
#include "components/imaging/quarter_turn_file.h"
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

// One plane of samples (all of them when they lie together), its rows
// packed as the file packs them.
struct Plane {
  uint64_t rowBytes = 0;
  std::vector<unsigned char> bytes;
};

// Every plane read whole, band by band.
Result<std::vector<Plane>> readPlanes(TIFF* tiff, const Layout& layout, QString& message) {
  std::vector<Plane> planes(static_cast<size_t>(layout.planes()));
  std::vector<unsigned char> tile;
  const double planeRows = layout.length;
  for (int p = 0; p < layout.planes(); ++p) {
    Plane& plane = planes[static_cast<size_t>(p)];
    plane.rowBytes = layout.rowBytes(layout.width);
    plane.bytes.assign(static_cast<size_t>(layout.planeBytes()), 0);
    for (uint32_t y = 0; y < layout.length; y += layout.bandRows()) {
      if (WorkProgress::Step(p * planeRows + y, layout.planes() * planeRows)) return CancelledError();
      if (!readTiffBand(tiff, layout, p, y, plane.bytes.data() + y * plane.rowBytes, tile)) return damaged(message);
    }
  }
  return planes;
}

bool writePlanes(TIFF* tiff, const Layout& layout, const std::vector<Plane>& planes) {
  std::vector<unsigned char> tile(layout.tiled ? static_cast<size_t>(TIFFTileSize64(tiff)) : 0);
  const uint64_t tileRowBytes = layout.tiled ? layout.rowBytes(layout.tileWidth) : 0;
  const double planeRows = layout.length;
  for (int p = 0; p < layout.planes(); ++p) {
    const Plane& plane = planes[static_cast<size_t>(p)];
    const uint64_t rowBytes = plane.rowBytes;
    const auto sample = static_cast<uint16_t>(p);
    for (uint32_t y = 0; y < layout.length; y += layout.bandRows()) {
      if (WorkProgress::Step(p * planeRows + y, layout.planes() * planeRows)) return false;
      const uint32_t rows = layout.rowsAt(y);
      const unsigned char* at = plane.bytes.data() + y * rowBytes;
      if (!layout.tiled) {
        // libtiff may change what it is given (swapping bytes), so it gets a copy.
        std::vector<unsigned char> strip(at, at + rows * rowBytes);
        const auto size = static_cast<tmsize_t>(strip.size());
        if (TIFFWriteEncodedStrip(tiff, TIFFComputeStrip(tiff, y, sample), strip.data(), size) < 0) return false;
        continue;
      }
      for (uint32_t x = 0; x < layout.width; x += layout.tileWidth) {
        std::fill(tile.begin(), tile.end(), 0);
        const uint64_t from = x * layout.pixelBits() / 8;
        const uint64_t bytes = std::min(tileRowBytes, rowBytes - from);
        for (uint32_t r = 0; r < rows; ++r) std::memcpy(tile.data() + r * tileRowBytes, at + r * rowBytes + from, bytes);
        const auto size = static_cast<tmsize_t>(tile.size());
        if (TIFFWriteEncodedTile(tiff, TIFFComputeTile(tiff, x, y, 0, sample), tile.data(), size) < 0) return false;
      }
    }
  }
  return true;
}

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

Plane turnedPlane(const Plane& from, const Layout& stored, const Layout& turned) {
  Plane to;
  to.rowBytes = turned.rowBytes(turned.width);
  to.bytes.assign(static_cast<size_t>(to.rowBytes * turned.length), 0);
  const auto at = [&stored](int64_t x, int64_t y) {
    return storedOf(stored.orientation, stored.width, stored.length, x, y);
  };
  const Point origin = at(0, 0), across = at(1, 0), down = at(0, 1);
  const Point stepX{across.x - origin.x, across.y - origin.y}, stepY{down.x - origin.x, down.y - origin.y};
  const uint64_t bits = stored.pixelBits();
  for (uint32_t y = 0; y < turned.length; ++y) {
    if (WorkProgress::Step(y, turned.length)) break;  // the caller asks again
    unsigned char* row = to.bytes.data() + y * to.rowBytes;
    Point source{origin.x + y * stepY.x, origin.y + y * stepY.y};
    for (uint32_t x = 0; x < turned.width; ++x, source.x += stepX.x, source.y += stepX.y) {
      const unsigned char* in = from.bytes.data() + static_cast<uint64_t>(source.y) * from.rowBytes;
      if (bits % 8 == 0) {
        std::memcpy(row + x * bits / 8, in + static_cast<uint64_t>(source.x) * bits / 8, bits / 8);
        continue;
      }
      for (uint64_t b = 0; b < bits; ++b) {
        const uint64_t inBit = static_cast<uint64_t>(source.x) * bits + b, outBit = x * bits + b;
        if (in[inBit / 8] & (0x80 >> (inBit % 8))) row[outBit / 8] |= static_cast<unsigned char>(0x80 >> (outBit % 8));
      }
    }
  }
  return to;
}

// A codec that loses nothing: the file's own, or LZW where it would lose.
uint16_t writtenCompression(uint16_t compression) {
  const bool lossy = compression == COMPRESSION_JPEG || compression == COMPRESSION_WEBP ||
                     compression == COMPRESSION_JXL;
  return lossy ? uint16_t{COMPRESSION_LZW} : compression;
}

// Why a picture cannot be turned as libtiff stores it, if it cannot.
std::optional<Error> refusal(TIFF* tiff, const Layout& layout) {
  uint16_t subCount = 0;
  void* subs = nullptr;
  if (TIFFGetField(tiff, TIFFTAG_SUBIFD, &subCount, &subs) && subCount > 0)
    return Error{QStringLiteral("it holds further pictures besides its own, which would be lost.")};
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

// The written file: libtiff writes the turned samples and the tags that say
// how they lie; every other tag of the original follows as stored.
Result<QByteArray> written(TIFF* from, const Layout& stored, const Layout& turned, const std::vector<Plane>& planes,
                           TiffTags tags) {
  TiffMemoryFile file;
  QString message;
  const char* mode = TIFFIsBigTIFF(from) ? (TIFFIsBigEndian(from) ? "w8b" : "w8l") : (TIFFIsBigEndian(from) ? "wb" : "wl");
  {
    const TiffHandle to = openTiff(file, mode, message);
    if (!to) return unwritable(message);
    if (!setLayout(from, to.get(), stored, turned) || !writePlanes(to.get(), turned, planes) ||
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
  if (decodedColour(*stored)) TIFFSetField(from.get(), TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
  Layout turned = turnedLayout(*stored);
  if (!turned.tiled) turned.rowsPerStrip = stripRows(turned);
  // The file, its samples, the turned samples, the new file and its samples
  // read back, and a tile of each.
  const double samples = static_cast<double>(stored->planeBytes()) * stored->planes();
  const double tile = stored->tiled ? 2 * static_cast<double>(stored->rowBytes(stored->tileWidth)) * stored->tileLength : 0;
  const double cost = static_cast<double>(file.size()) + 4 * samples + tile;
  std::optional<DecodeMemory::Share> share;
  if (auto refused = TakeTurnMemory(share, cost, stored->width, stored->length)) return *refused;
  std::vector<Plane> planes;
  {
    WorkProgress::Stage(0, 0.25);
    Result<std::vector<Plane>> read = readPlanes(from.get(), *stored, message);
    if (!read) return read.cancelled() ? CancelledError() : Error{read.error()};
    WorkProgress::Stage(0.25, 0.45);
    for (const Plane& plane : *read) planes.push_back(turnedPlane(plane, *stored, turned));
    if (DecodeStop::requested()) return CancelledError();
  }
  WorkProgress::Stage(0.45, 0.75);
  Result<QByteArray> bytes = written(from.get(), *stored, turned, planes, std::move(tags).value());
  if (!bytes) return DecodeStop::requested() ? CancelledError() : bytes;
  WorkProgress::Stage(0.75, 1);
  // Read back, the new file must hold the turned samples.
  QString againMessage;
  TiffMemoryFile again(*bytes);
  const TiffHandle check = openTiff(again, "rm", againMessage);
  const std::optional<Layout> checked = check ? tiffSamplesOf(check.get()) : std::nullopt;
  if (!checked || checked->width != turned.width || checked->length != turned.length ||
      checked->pixelBits() != turned.pixelBits() || checked->planes() != turned.planes())
    return unwritable(againMessage);
  const Result<std::vector<Plane>> back = readPlanes(check.get(), *checked, againMessage);
  if (!back) return back.cancelled() ? CancelledError() : unwritable(againMessage);
  for (size_t p = 0; p < planes.size(); ++p)
    if ((*back)[p].bytes != planes[p].bytes) return unwritable(QString());
  return bytes;
}

}  // namespace lumaset::imaging_detail
