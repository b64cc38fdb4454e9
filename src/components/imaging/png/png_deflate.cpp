#include "components/imaging/png/png_deflate.h"

#include <libdeflate.h>
#include <png.h>
#include <zlib.h>

#include <QtEndian>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>


namespace lumaset::imaging_detail {

namespace {

// Deflate at level 6 packs photos as tightly as zlib's usual level.
constexpr int kLevel = 6;
// A zlib header: deflate with a 32 KB window, at the usual level.
constexpr std::array<char, 2> kZlibHeader = {'\x78', '\x9C'};

enum Filter : unsigned char { kNone = 0, kSub = 1, kUp = 2, kAverage = 3, kPaeth = 4 };

unsigned char paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return static_cast<unsigned char>(a);
  return static_cast<unsigned char>(pb <= pc ? b : c);
}

// `row` filtered with `filter` into `out` (the filter's byte first); `above`
// is the row before (zeros for the first row). Returns the sum of the
// filtered bytes taken as signed, the measure by which filters are chosen.
// Each filter has a loop of its own, which the compiler can widen.
unsigned long filtered(Filter filter, const unsigned char* row, const unsigned char* above, std::size_t bytes,
                       std::size_t pixelBytes, unsigned char* out) {
  out[0] = filter;
  unsigned char* to = out + 1;
  const std::size_t first = std::min(pixelBytes, bytes);
  switch (filter) {
    case kNone: std::copy(row, row + bytes, to); break;
    case kSub:
      std::copy(row, row + first, to);
      for (std::size_t i = first; i < bytes; ++i) to[i] = static_cast<unsigned char>(row[i] - row[i - pixelBytes]);
      break;
    case kUp:
      for (std::size_t i = 0; i < bytes; ++i) to[i] = static_cast<unsigned char>(row[i] - above[i]);
      break;
    case kAverage:
      for (std::size_t i = 0; i < first; ++i) to[i] = static_cast<unsigned char>(row[i] - above[i] / 2);
      for (std::size_t i = first; i < bytes; ++i)
        to[i] = static_cast<unsigned char>(row[i] - ((row[i - pixelBytes] + above[i]) >> 1));
      break;
    case kPaeth:
      for (std::size_t i = 0; i < first; ++i) to[i] = static_cast<unsigned char>(row[i] - above[i]);
      for (std::size_t i = first; i < bytes; ++i)
        to[i] = static_cast<unsigned char>(row[i] - paeth(row[i - pixelBytes], above[i], above[i - pixelBytes]));
      break;
  }
  unsigned long cost = 0;
  for (std::size_t i = 0; i < bytes; ++i) cost += static_cast<unsigned long>(std::abs(static_cast<signed char>(to[i])));
  return cost;
}

// Palette indexes and samples below a byte are kept unfiltered (see
// pngFiltersLookUp); other rows take the filter that leaves the smallest
// differences, as PNG writers commonly choose.
void filterRow(const PngSamples& samples, const unsigned char* row, const unsigned char* above, unsigned char* out,
               std::vector<unsigned char>& trial) {
  const std::size_t bytes = samples.rowBytes;
  const std::size_t pixelBytes = std::max<std::size_t>(1, static_cast<std::size_t>(samples.bitsPerPixel) / 8);
  if (!pngFiltersLookUp(samples)) {
    filtered(kNone, row, above, bytes, pixelBytes, out);
    return;
  }
  trial.resize(bytes + 1);
  unsigned long best = filtered(kNone, row, above, bytes, pixelBytes, out);
  for (const Filter filter : {kSub, kUp, kAverage, kPaeth}) {
    const unsigned long cost = filtered(filter, row, above, bytes, pixelBytes, trial.data());
    if (cost < best) {
      best = cost;
      std::copy(trial.begin(), trial.end(), out);
    }
  }
}

// Clears the last-block mark of a whole raw deflate stream and ends it with
// an empty stored block, which closes on a byte boundary, so that another
// stream's blocks may follow it. The blocks' bounds are found by inflating
// the stream block by block.
bool openEnded(std::vector<unsigned char>& stream) {
  z_stream z{};
  if (inflateInit2(&z, -MAX_WBITS) != Z_OK) return false;
  std::array<unsigned char, 1 << 15> scratch{};
  z.next_in = stream.data();
  z.avail_in = static_cast<uInt>(stream.size());
  const auto bitAt = [&] { return static_cast<std::size_t>(z.next_in - stream.data()) * 8 - (z.data_type & 7); };
  std::size_t lastHeader = 0;
  std::size_t end = 0;
  for (;;) {
    z.next_out = scratch.data();
    z.avail_out = static_cast<uInt>(scratch.size());
    const int status = inflate(&z, Z_BLOCK);
    if (status != Z_OK && status != Z_STREAM_END) break;
    if ((z.data_type & 128) != 0) {
      if ((z.data_type & 64) == 0) {
        lastHeader = bitAt();  // a block begins here, perhaps the last
      } else {
        end = bitAt();  // the last block has ended
        break;
      }
    }
    if (status == Z_STREAM_END) break;
  }
  inflateEnd(&z);
  if (end == 0 || (end + 7) / 8 != stream.size()) return false;
  stream[lastHeader / 8] &= static_cast<unsigned char>(~(1U << (lastHeader % 8)));
  const std::size_t used = end % 8;
  if (used != 0) stream.back() &= static_cast<unsigned char>((1U << used) - 1);
  // Three bits of block header (not the last, stored), padding to the byte,
  // then a length of 0 and its complement.
  if (used == 0 || used > 5) stream.push_back(0);
  for (const unsigned char byte : {0x00, 0x00, 0xFF, 0xFF}) stream.push_back(byte);
  return true;
}

// The compressor's own tables (libdeflate's at the lazy levels hold about
// this much), beside the rows it packs.
constexpr double kCompressorBytes = 704 * 1024;

}  // namespace

bool pngFiltersLookUp(const PngSamples& form) { return form.colorType != PNG_COLOR_TYPE_PALETTE && form.depth >= 8; }

double mostPngBandBytes(const PngSamples& form, std::size_t count) {
  const double plain = static_cast<double>(form.rowBytes + 1) * static_cast<double>(count);
  // Deflate's stored blocks, and the end block that keeps the stream open.
  return plain + plain / 512 + 64 * 1024;
}

double pngBandWorkBytes(const PngSamples& form, std::size_t count) {
  // The filtered rows, a row to try filters on, the zeros above the first
  // row, and room for the worst the compressor makes.
  const double plain = static_cast<double>(form.rowBytes + 1) * static_cast<double>(count);
  return plain + 2 * static_cast<double>(form.rowBytes + 1) + mostPngBandBytes(form, count) + kCompressorBytes;
}

bool compressPngBand(const PngSamples& form, const unsigned char* rows, std::size_t count, const unsigned char* above,
                     bool last, PngBand& band) {
  const std::size_t lineBytes = form.rowBytes + 1;
  std::vector<unsigned char> plain(lineBytes * count);
  std::vector<unsigned char> trial;
  const std::vector<unsigned char> zeros(above ? 0 : form.rowBytes, 0);
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned char* row = rows + i * form.rowBytes;
    const unsigned char* before = i > 0 ? row - form.rowBytes : above ? above : zeros.data();
    filterRow(form, row, before, plain.data() + i * lineBytes, trial);
  }
  const std::unique_ptr<libdeflate_compressor, decltype(&libdeflate_free_compressor)> compressor(
      libdeflate_alloc_compressor(kLevel), &libdeflate_free_compressor);
  if (!compressor) return false;
  std::vector<unsigned char> made(libdeflate_deflate_compress_bound(compressor.get(), plain.size()));
  const std::size_t size =
      libdeflate_deflate_compress(compressor.get(), plain.data(), plain.size(), made.data(), made.size());
  if (size == 0) return false;
  // The band keeps just what it made, and room for the end that keeps it open.
  band.stream.reserve(size + 6);
  band.stream.assign(made.begin(), made.begin() + static_cast<std::ptrdiff_t>(size));
  band.adler = libdeflate_adler32(1, plain.data(), plain.size());
  band.plainBytes = plain.size();
  return last || openEnded(band.stream);
}

QByteArray pngStreamStart() { return QByteArray(kZlibHeader.data(), kZlibHeader.size()); }

QByteArray pngStreamEnd(const std::vector<PngBand>& bands) {
  uLong adler = 1;
  for (const PngBand& band : bands) adler = adler32_combine(adler, band.adler, static_cast<z_off_t>(band.plainBytes));
  QByteArray check(4, '\0');
  qToBigEndian(static_cast<quint32>(adler), check.data());
  return check;
}

}  // namespace lumaset::imaging_detail
