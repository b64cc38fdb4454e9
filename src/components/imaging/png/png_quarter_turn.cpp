#include "components/imaging/png/png_quarter_turn.h"

#include <QList>
#include <QString>
#include <QtEndian>

#include <algorithm>
#include <atomic>
#include <new>
#include <optional>
#include <vector>

#include "components/imaging/decode_memory.h"
#include "components/imaging/imaging.h"
#include "components/imaging/oriented_samples.h"
#include "components/imaging/picture_memory.h"
#include "components/imaging/pixels/pixel_bands.h"
#include "components/imaging/png/png_chunks.h"
#include "components/imaging/png/png_deflate.h"
#include "components/imaging/png/png_samples.h"
#include "components/imaging/quarter_turn_file.h"
#include "components/imaging/quarter_turn_pixels.h"

namespace lumaset::imaging_detail {

namespace {

constexpr QByteArrayView kSignature("\x89PNG\r\n\x1A\n", 8);

// What libpng holds while it reads: a few rows and its inflater's window.
constexpr double kReaderBytes = 1 << 20;

// Deflate turns one byte into at most 1032.
constexpr double kMostDeflateRatio = 1032;

struct Chunk {
  QByteArrayView type;
  QByteArrayView data;
  QByteArrayView whole;  // length, type, data and checksum, as the file has them
};

// The chunks up to and with IEND, and the bytes after it, which are the
// user's as much as the picture is; nothing when the file is no PNG, ends
// before IEND or has a chunk that states more than the file holds.
struct Layout {
  std::vector<Chunk> chunks;
  QByteArrayView after;
};

std::optional<Layout> layoutOf(QByteArrayView file) {
  if (!file.startsWith(kSignature)) return std::nullopt;
  Layout layout;
  for (qsizetype at = kSignature.size(); at + 12 <= file.size();) {
    const std::uint32_t length = qFromBigEndian<quint32>(file.data() + at);
    if (length > static_cast<std::uint32_t>(file.size() - at - 12)) return std::nullopt;
    layout.chunks.push_back({file.sliced(at + 4, 4), file.sliced(at + 8, length), file.sliced(at, length + 12)});
    at += 12 + qsizetype{length};
    if (layout.chunks.back().type == "IEND") {
      layout.after = file.sliced(at);
      return layout;
    }
  }
  return std::nullopt;
}

Error damaged(const QString& cause = {}) {
  return Error{QStringLiteral("the picture is damaged or incomplete%1.")
                   .arg(cause.isEmpty() ? QString() : QStringLiteral(" (%1)").arg(cause))};
}

// The EXIF data the picture is shown by: an eXIf chunk before its pixels,
// as viewers read it; nothing when there is none.
const Chunk* shownExif(const Layout& layout) {
  for (const Chunk& c : layout.chunks) {
    if (c.type == "IDAT") break;
    if (c.type == "eXIf") return &c;
  }
  return nullptr;
}

// What the turn does to the chunks: whether across and down trade places
// in the stored grid, and the EXIF data as it reads once turned.
struct ChunkTurn {
  bool gridTurns = true;
  const Chunk* exif = nullptr;
  QByteArray turnedExif;
};

// The chunk as it reads once the picture is turned: where the grid turns,
// the sizes and the resolution across and down trade places; the EXIF data
// stands upright; everything else stays as it was.
QByteArray turnedChunk(const Chunk& c, const ChunkTurn& turn) {
  const auto sidesTraded = [&] {
    return turn.gridTurns ? c.data.sliced(4, 4).toByteArray().append(c.data.sliced(0, 4)) : c.data.first(8).toByteArray();
  };
  // The turned rows are written one after the other: interlacing serves a
  // picture shown while it downloads, and costs size and time.
  if (c.type == "IHDR" && c.data.size() == 13)
    return PngChunk(c.type, sidesTraded().append(c.data.sliced(8, 4)).append('\0'));
  if (&c == turn.exif) return PngChunk(c.type, turn.turnedExif);
  if (!turn.gridTurns) return c.whole.toByteArray();
  if (c.type == "pHYs" && c.data.size() == 9) return PngChunk(c.type, sidesTraded().append(c.data.sliced(8)));
  if (c.type == "sCAL" && c.data.size() > 1) {  // unit, then width and height as text
    const QList<QByteArray> sides = c.data.sliced(1).toByteArray().split('\0');
    if (sides.size() == 2) return PngChunk(c.type, c.data.first(1).toByteArray() + sides[1] + '\0' + sides[0]);
  }
  return c.whole.toByteArray();
}

// Chunks named safe to copy hold whatever becomes of the picture; of the
// others, those listed hold just as well for the turned picture. Any other
// belongs to the picture as it was, and PNG's rules leave it out.
bool keptThroughTurn(const Chunk& c) {
  static constexpr const char* kKnown[] = {"PLTE", "tRNS", "gAMA", "cHRM", "sRGB", "iCCP", "sBIT", "bKGD",
                                            "hIST", "sPLT", "cICP", "mDCv", "cLLi", "pCAL", "sCAL", "tIME",
                                            "IHDR", "IEND"};
  const bool safeToCopy = (static_cast<unsigned char>(c.type[3]) & 0x20) != 0;
  return safeToCopy || std::any_of(std::begin(kKnown), std::end(kKnown), [&](const char* t) { return c.type == t; });
}

Error tooLarge(const PngSamples& samples) {
  return Error{QStringLiteral("there is not enough memory for a picture of %1 x %2 pixels.")
                   .arg(samples.width)
                   .arg(samples.height)};
}

// The picture data: the zlib stream's start, the bands in order and its
// end, in chunks of at most a megabyte. Each band is let go of once it is
// in the file, so that the file takes their place.
class PictureChunks {
 public:
  explicit PictureChunks(QByteArray& out) : out_(out) {}
  // Room for `bytes` of picture data in chunks, and so many more bytes.
  static qsizetype fileBytes(qsizetype bytes) { return bytes + 12 * ((bytes + kMostChunkBytes - 1) / kMostChunkBytes); }

  void append(QByteArrayView bytes) {
    while (!bytes.isEmpty()) {
      const qsizetype taken = std::min(bytes.size(), kMostChunkBytes - pending_.size());
      pending_.append(bytes.first(taken));
      bytes = bytes.sliced(taken);
      if (pending_.size() == kMostChunkBytes) flush();
    }
  }
  void flush() {
    if (!pending_.isEmpty()) out_.append(PngChunk("IDAT", pending_));
    pending_.clear();
  }

 private:
  static constexpr qsizetype kMostChunkBytes = qsizetype{1} << 20;
  QByteArray& out_;
  QByteArray pending_;
};

// The new file: every chunk in its place, the turned picture's where the
// first IDAT was, and whatever followed IEND.
QByteArray assembled(const Layout& layout, std::vector<PngBand>& bands, const ChunkTurn& turn) {
  qsizetype streamBytes = 6, kept = 8 + layout.after.size();
  for (const PngBand& band : bands) streamBytes += static_cast<qsizetype>(band.stream.size());
  for (const Chunk& c : layout.chunks)
    if (c.type != "IDAT" && keptThroughTurn(c)) kept += c.whole.size() + (&c == turn.exif ? turn.turnedExif.size() : 0);
  QByteArray out(kSignature.data(), kSignature.size());
  out.reserve(kept + PictureChunks::fileBytes(streamBytes));
  bool pictureDone = false;
  for (const Chunk& c : layout.chunks) {
    if (c.type == "IDAT") {
      if (pictureDone) continue;
      PictureChunks picture(out);
      picture.append(pngStreamStart());
      const QByteArray end = pngStreamEnd(bands);
      for (PngBand& band : bands) {
        picture.append(QByteArrayView(band.stream.data(), static_cast<qsizetype>(band.stream.size())));
        std::vector<unsigned char>().swap(band.stream);  // let go of, not just emptied
      }
      picture.append(end);
      picture.flush();
      pictureDone = true;
    } else if (keptThroughTurn(c)) {
      out.append(turnedChunk(c, turn));
    }
  }
  return out.append(layout.after);
}

// The turn's plan: the turned picture's form and how its rows fall into bands.
struct Plan {
  PngSamples turned;
  PixelMap map;
  uint32_t bandRows = 0;
  uint32_t bands() const { return (turned.height + bandRows - 1) / bandRows; }
};

// The plan of turning `stored` as `shown` says: a quarter turn or none,
// then mirrored.
Plan planOf(const PngSamples& stored, const ShownTurn& shown = {}) {
  Plan plan;
  plan.turned = stored;
  plan.turned.width = shown.quarterTurn ? stored.height : stored.width;
  plan.turned.height = shown.quarterTurn ? stored.width : stored.height;
  plan.turned.interlaced = false;
  plan.turned.rowBytes = PngSamples::rowBytesOf(plan.turned.width, stored.bitsPerPixel);
  plan.map = (shown.quarterTurn ? PixelMap::clockwise(stored.width, stored.height) : PixelMap::same())
                 .mirrored(shown.mirrorAcross, shown.mirrorDown, plan.turned.width, plan.turned.height);
  plan.bandRows = static_cast<uint32_t>(PixelJob::BandRows(static_cast<int>(plan.turned.height), 8));
  return plan;
}

// The stored rows, read into the pieces the bands of turned rows need. An
// interlaced picture comes together only whole, and is read so first.
bool readPieces(PngSampleReader& reader, const PngSamples& stored, StoredPieces& pieces) {
  if (!stored.interlaced)
    return reader.eachRow(stored, [&](uint32_t y, const unsigned char* row) { pieces.putRow(y, row); });
  PngSamples whole = stored;
  whole.allocate();
  if (!reader.rows(whole)) return false;
  for (uint32_t y = 0; y < whole.height; ++y) pieces.putRow(y, whole.row(y));
  return true;
}

// Each band of turned rows made from its piece (which is then let go of),
// filtered and compressed, on every core; the rows' checksums. Nothing when
// it was done; otherwise why not.
std::optional<Error> compressedBands(const Plan& plan, StoredPieces& pieces, std::vector<PngBand>& bands,
                                     std::vector<uint32_t>& checksums) {
  const PngSamples& turned = plan.turned;
  const bool lookUp = pngFiltersLookUp(turned);
  bands.assign(plan.bands(), {});
  checksums.assign(turned.height, 0);
  std::atomic<bool> failed{false};
  const auto makeBand = [&](int firstRow, int endRow, const BandContext&) {
    const auto band = static_cast<uint32_t>(firstRow) / plan.bandRows;
    // The row before the band, where the filters look at it, then the band's.
    const uint32_t from = firstRow > 0 && lookUp ? static_cast<uint32_t>(firstRow) - 1 : static_cast<uint32_t>(firstRow);
    std::vector<unsigned char> rows((static_cast<uint32_t>(endRow) - from) * turned.rowBytes);
    mapPackedRows(pieces.piece(band), plan.map, turned.width, from, static_cast<uint32_t>(endRow), rows.data(),
                  turned.rowBytes);
    pieces.release(band);
    const unsigned char* first = rows.data() + (static_cast<uint32_t>(firstRow) - from) * turned.rowBytes;
    for (int y = firstRow; y < endRow; ++y)
      checksums[static_cast<std::size_t>(y)] = pngRowChecksum(first + (y - firstRow) * turned.rowBytes, turned.rowBytes);
    const unsigned char* above = from < static_cast<uint32_t>(firstRow) ? rows.data() : nullptr;
    if (!compressPngBand(turned, first, static_cast<std::size_t>(endRow - firstRow), above,
                         endRow == static_cast<int>(turned.height), bands[band]))
      failed = true;
  };
  PixelJob job(0, KeepTurning);
  if (!job.Run(static_cast<int>(turned.height), static_cast<int>(plan.bandRows), makeBand)) return CancelledError();
  if (failed) return tooLarge(turned);
  return std::nullopt;
}

}  // namespace

double pngTurnBytes(qint64 fileBytes, std::uint32_t width, std::uint32_t height, int bitsPerPixel, bool interlaced) {
  PngSamples stored;
  stored.width = width;
  stored.height = height;
  stored.bitsPerPixel = bitsPerPixel;
  const Plan plan = planOf(stored);
  // The stored samples in pieces (each band's stored columns, and the one
  // before); while the bands are made, each piece gives way to its band,
  // which compresses to at most a little more, and each core holds a band
  // of turned rows and its work. Then the bands give way to the new file.
  // An interlaced picture is read whole before it is cut into pieces.
  const double samples = stored.sampleBytes();
  const double pieces = samples + static_cast<double>(plan.bands()) * ((bitsPerPixel + 7) / 8) * height;
  const double compressed = mostPngBandBytes(plan.turned, plan.turned.height) + static_cast<double>(plan.bands()) * 6;
  const double perCore = static_cast<double>(plan.turned.rowBytes) * (plan.bandRows + 1) +
                         pngBandWorkBytes(plan.turned, plan.bandRows);
  // Reading also holds libpng's rows and its inflater's window.
  const double reading = pieces + (interlaced ? samples : 0) + kReaderBytes;
  const double making = std::max(pieces, compressed) + PixelJob().threads() * perCore;
  return static_cast<double>(fileBytes) + std::max({reading, making, 2 * compressed});
}

Result<QByteArray> turnPngClockwise(QByteArrayView file) {
  const std::optional<Layout> layout = layoutOf(file);
  if (!layout || layout->chunks.front().type != "IHDR") return damaged();
  const auto& chunks = layout->chunks;
  if (std::any_of(chunks.begin(), chunks.end(), [](const Chunk& c) { return c.type == "acTL"; }))
    return Error{QStringLiteral("it is an animation, and only its first frame would be kept.")};
  // A picture shown turned by its EXIF orientation is turned as it is shown.
  ChunkTurn chunkTurn;
  chunkTurn.exif = shownExif(*layout);
  ShownTurn shown;
  if (chunkTurn.exif) {
    Result<ShownExifTurn> exif = shownExifTurn(chunkTurn.exif->data);
    if (!exif) return Error{exif.error(), exif.cancelled()};
    shown = exif->samples;
    chunkTurn.turnedExif = std::move(exif).value().exif;
  }
  chunkTurn.gridTurns = shown.quarterTurn;
  PngSampleReader reader(file);
  PngSamples stored;
  if (!reader.header(stored)) return damaged(reader.failure());
  if (stored.sampleBytes() > static_cast<double>(file.size()) * kMostDeflateRatio) return damaged();
  const double cost = pngTurnBytes(file.size(), stored.width, stored.height, stored.bitsPerPixel, stored.interlaced);
  std::optional<DecodeMemory::Share> share;
  if (auto refused = TakeTurnMemory(share, cost, stored.width, stored.height)) return *refused;
  const Plan plan = planOf(stored, shown);
  pixels::GiveLargeBlocksBack();  // each piece let go of leaves room for the bands at once
  std::vector<PngBand> bands;
  std::vector<uint32_t> checksums;
  try {
    StoredPieces pieces(plan.map, stored.width, stored.height, static_cast<unsigned>(stored.bitsPerPixel),
                        plan.turned.height, plan.bandRows, pngFiltersLookUp(stored));
    pieces.allocate();
    WorkProgress::Stage(0, 0.3);
    if (!readPieces(reader, stored, pieces))
      return DecodeStop::requested() ? CancelledError() : damaged(reader.failure());
    WorkProgress::Stage(0.3, 0.85);
    if (auto failed = compressedBands(plan, pieces, bands, checksums)) return *failed;
  } catch (const std::bad_alloc&) {
    return tooLarge(plan.turned);
  }
  QByteArray out = assembled(*layout, bands, chunkTurn);
  WorkProgress::Stage(0.85, 1);
  // Read back as any reader would, the new file must hold the turned rows.
  if (!pngHoldsRows(out, plan.turned, checksums)) {
    if (DecodeStop::requested()) return CancelledError();
    return Error{QStringLiteral("Lumaset cannot write this PNG file back without changing its pixels.")};
  }
  return out;
}

}  // namespace lumaset::imaging_detail
