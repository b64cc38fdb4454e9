#include "components/imaging/png/png_quarter_turn.h"

#include <QList>
#include <QString>
#include <QtEndian>

#include <algorithm>
#include <optional>
#include <vector>

#include "components/imaging/decode_memory.h"
#include "components/imaging/exif_turn.h"
#include "components/imaging/imaging_file_headers.h"
#include "components/imaging/oriented_samples.h"
#include "components/imaging/imaging.h"
#include "components/imaging/png/png_chunks.h"
#include "components/imaging/png/png_deflate.h"
#include "components/imaging/png/png_samples.h"
#include "components/imaging/pixels/pixel_bands.h"
#include "components/imaging/quarter_turn_file.h"

namespace lumaset::imaging_detail {

namespace {

constexpr QByteArrayView kSignature("\x89PNG\r\n\x1A\n", 8);

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

// The picture data, in chunks of at most a megabyte.
QByteArray pictureChunks(const QByteArray& stream) {
  constexpr qsizetype kMostChunkBytes = qsizetype{1} << 20;
  QByteArray chunks;
  for (qsizetype at = 0; at < stream.size(); at += kMostChunkBytes)
    chunks.append(PngChunk("IDAT", QByteArrayView(stream).sliced(at, std::min(kMostChunkBytes, stream.size() - at))));
  return chunks;
}

// The new file: every chunk in its place, the turned picture's where the
// first IDAT was, and whatever followed IEND.
QByteArray assembled(const Layout& layout, const QByteArray& stream, const ChunkTurn& turn) {
  QByteArray out(kSignature.data(), kSignature.size());
  bool pictureDone = false;
  for (const Chunk& c : layout.chunks) {
    if (c.type == "IDAT") {
      if (!pictureDone) out.append(pictureChunks(stream));
      pictureDone = true;
    } else if (keptThroughTurn(c)) {
      out.append(turnedChunk(c, turn));
    }
  }
  return out.append(layout.after);
}

}  // namespace

double pngTurnBytes(qint64 fileBytes, std::uint32_t width, std::uint32_t height, int bitsPerPixel) {
  PngSamples turned;
  turned.width = height;
  turned.height = width;
  turned.bitsPerPixel = bitsPerPixel;
  turned.rowBytes = (std::size_t{turned.width} * static_cast<std::size_t>(bitsPerPixel) + 7) / 8;
  // The file and the new one, the samples as read and turned, and what
  // compressing the turned ones holds.
  return 2 * static_cast<double>(fileBytes) + 2 * turned.sampleBytes() + pngPictureStreamBytes(turned);
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
  int orientation = 1;
  if (chunkTurn.exif) {
    orientation = std::max(tiffOrientation(chunkTurn.exif->data), 1);
    Result<QByteArray> exif = exifTurned(chunkTurn.exif->data, true, INT32_MAX);
    if (!exif) return Error{exif.error(), exif.cancelled()};
    chunkTurn.turnedExif = std::move(exif).value();
  }
  const ShownTurn shown = shownTurn(orientation);
  chunkTurn.gridTurns = shown.quarterTurn;
  PngSampleReader reader(file);
  PngSamples samples;
  if (!reader.header(samples)) return damaged(reader.failure());
  if (samples.sampleBytes() > static_cast<double>(file.size()) * kMostDeflateRatio) return damaged();
  const double cost = pngTurnBytes(file.size(), samples.width, samples.height, samples.bitsPerPixel);
  std::optional<DecodeMemory::Share> share;
  if (auto refused = TakeTurnMemory(share, cost, samples.width, samples.height)) return *refused;
  samples.allocate();
  WorkProgress::Stage(0, 0.3);
  if (!reader.rows(samples)) return damaged(reader.failure());
  PngSamples turned = shown.quarterTurn ? quarterTurned(samples) : std::move(samples);
  samples.bytes = {};
  turned.interlaced = false;  // written row after row
  mirrorSamples(turned.bytes.data(), turned.rowBytes, turned.width, turned.height, turned.bitsPerPixel, shown.mirrorAcross,
                shown.mirrorDown);
  WorkProgress::Stage(0.35, 0.85);
  if (WorkProgress::Step(0, 1)) return CancelledError();
  const std::optional<QByteArray> stream = pngPictureStream(turned);
  if (!stream) return tooLarge(turned);
  QByteArray out = assembled(*layout, *stream, chunkTurn);
  WorkProgress::Stage(0.85, 1);
  // Read back as any reader would, the new file must hold the turned samples.
  if (!pngHoldsSamples(out, turned))
    return Error{QStringLiteral("Lumaset cannot write this PNG file back without changing its pixels.")};
  return out;
}

}  // namespace lumaset::imaging_detail
