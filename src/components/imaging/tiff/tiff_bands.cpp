#include "components/imaging/tiff/tiff_bands.h"

#include <libdeflate.h>

#include <QString>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <mutex>
#include <utility>

#include "components/imaging/tiff/tiff_memory.h"

namespace lumaset::imaging_detail {

namespace {

// A codec's own state while it works (zlib's window and tables, at most
// about this much), beside the samples.
constexpr double kCodecBytes = 1 << 20;

// A handle for each worker on the same bytes, opened when first needed.
class Readers {
 public:
  Readers(QByteArrayView bytes, int workers, TiffOpened opened) : bytes_(bytes), opened_(std::move(opened)) {
    readers_.resize(static_cast<size_t>(workers));
  }

  TIFF* at(int worker) {
    std::unique_ptr<Reader>& reader = readers_[static_cast<size_t>(worker)];
    if (!reader) {
      reader = std::make_unique<Reader>(bytes_);
      reader->tiff = openTiff(reader->file, "rm", reader->message);
      if (reader->tiff && opened_ && !opened_(reader->tiff.get())) reader->tiff.reset();
    }
    return reader->tiff.get();
  }

 private:
  struct Reader {
    explicit Reader(QByteArrayView bytes) : file(bytes) {}
    TiffMemoryFile file;
    QString message;
    TiffHandle tiff;  // last: closed before what it reads
  };
  QByteArrayView bytes_;
  TiffOpened opened_;
  std::vector<std::unique_ptr<Reader>> readers_;
};

uint32_t checksum(const unsigned char* bytes, uint64_t count) {
  return libdeflate_crc32(0, bytes, static_cast<size_t>(count));
}

// The compressed strips (or tiles) of a band, by their index in the file.
using RawBand = std::vector<std::pair<uint32_t, std::vector<unsigned char>>>;

// Bands of compressed data into the new file in their order, whichever
// worker finishes first; each band is let go of once written.
class InOrder {
 public:
  InOrder(TIFF* to, bool tiled, uint32_t bands) : to_(to), tiled_(tiled), bands_(bands), ready_(bands, false) {}

  bool done(uint32_t band, RawBand raw) {
    const std::lock_guard lock(mutex_);
    bands_[band] = std::move(raw);
    ready_[band] = true;
    for (; next_ < bands_.size() && ready_[next_]; ++next_) {
      for (auto& [index, bytes] : bands_[next_]) {
        const auto size = static_cast<tmsize_t>(bytes.size());
        const tmsize_t written = tiled_ ? TIFFWriteRawTile(to_, index, bytes.data(), size)
                                        : TIFFWriteRawStrip(to_, index, bytes.data(), size);
        if (written != size) failed_ = true;
      }
      RawBand().swap(bands_[next_]);
    }
    return !failed_;
  }

 private:
  std::mutex mutex_;
  TIFF* to_;
  bool tiled_;
  std::vector<RawBand> bands_;
  std::vector<bool> ready_;
  size_t next_ = 0;
  bool failed_ = false;
};

// The rows of plane `plane` of `layout` that one strip or row of tiles holds
// from row `y` (at `rows`, a whole row of the picture each) handed to `take`
// a strip or a tile at a time, in the layout's own form, with its index.
template <typename Take>
bool eachPiece(TIFF* tiff, const TiffSamples& layout, int plane, uint32_t y, const unsigned char* rows,
               std::vector<unsigned char>& work, Take take) {
  const uint64_t rowBytes = layout.rowBytes(layout.width);
  const uint32_t count = layout.rowsAt(y);
  const auto sample = static_cast<uint16_t>(plane);
  if (!layout.tiled) {
    // libtiff may change what it is given (swapping bytes), so it gets a copy.
    work.assign(rows, rows + count * rowBytes);
    return take(TIFFComputeStrip(tiff, y, sample), work);
  }
  const uint64_t tileRowBytes = layout.rowBytes(layout.tileWidth);
  for (uint32_t x = 0; x < layout.width; x += layout.tileWidth) {
    work.assign(static_cast<size_t>(tileRowBytes * layout.tileLength), 0);
    const uint64_t from = x * layout.pixelBits() / 8;
    const uint64_t bytes = std::min(tileRowBytes, rowBytes - from);
    for (uint32_t r = 0; r < count; ++r) std::memcpy(work.data() + r * tileRowBytes, rows + r * rowBytes + from, bytes);
    if (!take(TIFFComputeTile(tiff, x, y, 0, sample), work)) return false;
  }
  return true;
}

// The band of turned rows first .. end - 1, encoded through a private file
// set up as the new one is.
bool encodeBand(TIFF* from, TIFF* to, const TiffSamples& turned, const PixelMap& map, std::vector<StoredPieces>& planes,
                uint32_t band, uint32_t first, uint32_t end, const TiffPrepare& prepare, TiffChecksums& checksums,
                RawBand& raw) {
  TiffMemoryFile scratch;
  QString message;
  const TiffHandle own = openTiff(scratch, TIFFIsBigEndian(to) ? "wb" : "wl", message);
  if (!own || !prepare(from, own.get())) return false;
  const uint64_t rowBytes = turned.rowBytes(turned.width);
  std::vector<unsigned char> rows(static_cast<size_t>((end - first) * rowBytes)), work;
  std::vector<uint32_t> written;
  for (size_t p = 0; p < planes.size(); ++p) {
    mapPackedRows(planes[p].piece(band), map, turned.width, first, end, rows.data(), rowBytes);
    planes[p].release(band);
    for (uint32_t y = first; y < end; ++y) checksums[p][y] = checksum(rows.data() + (y - first) * rowBytes, rowBytes);
    for (uint32_t y = first; y < end; y += turned.bandRows()) {
      const unsigned char* at = rows.data() + (y - first) * rowBytes;
      const bool encoded = eachPiece(own.get(), turned, static_cast<int>(p), y, at, work,
                                     [&](uint32_t index, std::vector<unsigned char>& piece) {
                                       written.push_back(index);
                                       const auto size = static_cast<tmsize_t>(piece.size());
                                       return (turned.tiled ? TIFFWriteEncodedTile(own.get(), index, piece.data(), size)
                                                            : TIFFWriteEncodedStrip(own.get(), index, piece.data(), size)) >= 0;
                                     });
      if (!encoded) return false;
    }
  }
  // What the private file holds of each, as it holds it.
  const uint64_t* offsets = nullptr;
  const uint64_t* counts = nullptr;
  if (!TIFFGetField(own.get(), turned.tiled ? TIFFTAG_TILEOFFSETS : TIFFTAG_STRIPOFFSETS, &offsets) ||
      !TIFFGetField(own.get(), turned.tiled ? TIFFTAG_TILEBYTECOUNTS : TIFFTAG_STRIPBYTECOUNTS, &counts))
    return false;
  for (const uint32_t index : written) {
    if (offsets[index] + counts[index] > static_cast<uint64_t>(scratch.out.size())) return false;
    const auto* start = reinterpret_cast<const unsigned char*>(scratch.out.constData()) + offsets[index];
    raw.emplace_back(index, std::vector<unsigned char>(start, start + counts[index]));
  }
  return true;
}

}  // namespace

double tiffBandWorkBytes(const TiffSamples& layout, uint32_t rows) {
  const double band = static_cast<double>(layout.rowBytes(layout.width)) * rows;
  const double tile = layout.tiled ? static_cast<double>(layout.rowBytes(layout.tileWidth)) * layout.tileLength : 0;
  // The rows, a copy (or a tile) for libtiff, and what the codec makes of
  // them (at worst half again as much, as LZW makes of noise), twice: in the
  // private file and apart.
  return 2 * band + 2 * tile + 3 * 1.5 * band + kCodecBytes;
}

bool readTiffPieces(PixelJob& job, QByteArrayView file, const TiffSamples& stored, const TiffOpened& opened,
                    std::vector<StoredPieces>& planes) {
  Readers readers(file, job.threads(), opened);
  std::atomic<bool> failed{false};
  const uint64_t rowBytes = stored.rowBytes(stored.width);
  const bool whole = job.Run(static_cast<int>(stored.length), static_cast<int>(stored.bandRows()),
                             [&](int first, int end, const BandContext& context) {
    TIFF* tiff = readers.at(context.worker());
    std::vector<unsigned char> rows, tile;
    if (tiff) rows.resize(static_cast<size_t>(stored.bandRows() * rowBytes));
    for (int p = 0; p < stored.planes() && tiff && !failed; ++p) {
      for (auto y = static_cast<uint32_t>(first); y < static_cast<uint32_t>(end); y += stored.bandRows()) {
        if (context.stopped()) return;
        if (!readTiffBand(tiff, stored, p, y, rows.data(), tile)) {
          failed = true;
          return;
        }
        for (uint32_t r = 0; r < stored.rowsAt(y); ++r)
          planes[static_cast<size_t>(p)].putRow(y + r, rows.data() + r * rowBytes);
      }
    }
    if (!tiff) failed = true;
  });
  return whole && !failed;
}

bool writeTiffBands(PixelJob& job, QByteArrayView file, TIFF* to, const TiffSamples& turned, const PixelMap& map,
                    std::vector<StoredPieces>& planes, const TiffPrepare& prepare, TiffChecksums& checksums) {
  const auto bandRows =
      static_cast<uint32_t>(PixelJob::BandRows(static_cast<int>(turned.length), static_cast<int>(turned.bandRows())));
  checksums.assign(planes.size(), std::vector<uint32_t>(turned.length, 0));
  Readers readers(file, job.threads(), {});
  InOrder sink(to, turned.tiled, (turned.length + bandRows - 1) / bandRows);
  std::atomic<bool> failed{false};
  const bool whole = job.Run(static_cast<int>(turned.length), static_cast<int>(turned.bandRows()),
                             [&](int first, int end, const BandContext& context) {
    TIFF* from = readers.at(context.worker());
    RawBand raw;
    const auto band = static_cast<uint32_t>(first) / bandRows;
    if (!from || !encodeBand(from, to, turned, map, planes, band, static_cast<uint32_t>(first),
                             static_cast<uint32_t>(end), prepare, checksums, raw) ||
        !sink.done(band, std::move(raw)))
      failed = true;
  });
  return whole && !failed;
}

bool tiffHoldsBands(PixelJob& job, QByteArrayView file, const TiffSamples& turned, const TiffChecksums& checksums) {
  Readers readers(file, job.threads(), {});
  std::atomic<bool> differs{false};
  const uint64_t rowBytes = turned.rowBytes(turned.width);
  const bool whole = job.Run(static_cast<int>(turned.length), static_cast<int>(turned.bandRows()),
                             [&](int first, int end, const BandContext& context) {
    TIFF* tiff = readers.at(context.worker());
    if (!tiff) {
      differs = true;
      return;
    }
    std::vector<unsigned char> rows(static_cast<size_t>(turned.bandRows() * rowBytes)), tile;
    for (size_t p = 0; p < checksums.size() && !differs; ++p) {
      for (auto y = static_cast<uint32_t>(first); y < static_cast<uint32_t>(end); y += turned.bandRows()) {
        if (context.stopped()) return;
        if (!readTiffBand(tiff, turned, static_cast<int>(p), y, rows.data(), tile)) {
          differs = true;
          return;
        }
        for (uint32_t r = 0; r < turned.rowsAt(y); ++r)
          if (checksum(rows.data() + r * rowBytes, rowBytes) != checksums[p][y + r]) differs = true;
      }
    }
  });
  return whole && !differs;
}

}  // namespace lumaset::imaging_detail
