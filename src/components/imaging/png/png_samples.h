#pragma once

// The samples of a PNG file as it stores them, read through libpng without
// any change: packed below 8 bits a sample, most significant byte first at
// 16, palette indexes as indexes. Only the chunks libpng needs to read the
// picture are looked at; every other (texts above all, which would be
// inflated) is passed over unread.

#include <QByteArrayView>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace lumaset::imaging_detail {

struct PngSamples {
  std::uint32_t width = 0;
  std::uint32_t height = 0;
  int depth = 0;
  int colorType = 0;
  bool interlaced = false;
  int bitsPerPixel = 0;
  std::size_t rowBytes = 0;
  std::vector<unsigned char> bytes;  // rowBytes a row, unused bits at a row's end 0

  // The bytes of a row of `width` pixels of `bitsPerPixel` each.
  static std::size_t rowBytesOf(std::uint32_t width, int bitsPerPixel) {
    return (std::size_t{width} * static_cast<std::size_t>(bitsPerPixel) + 7) / 8;
  }
  // The bytes the rows take: what allocate() asks for.
  double sampleBytes() const { return (static_cast<double>(width) * bitsPerPixel + 7) / 8 * height; }
  void allocate();
  unsigned char* row(std::uint32_t y) { return bytes.data() + y * rowBytes; }
  const unsigned char* row(std::uint32_t y) const { return bytes.data() + y * rowBytes; }
};

// Reads a PNG file held in memory: first its header, then, once the memory
// for them is granted, its rows.
class PngSampleReader {
 public:
  explicit PngSampleReader(QByteArrayView file);
  ~PngSampleReader();
  PngSampleReader(const PngSampleReader&) = delete;
  PngSampleReader& operator=(const PngSampleReader&) = delete;

  // The picture's form and its rows' bytes, rows not allocated; false on a
  // damaged file.
  bool header(PngSamples& samples);
  // Every row, into the allocated `samples`; false on a damaged file. Both
  // this and eachRow tell WorkProgress how far they have come, and return
  // false once it says that the work is to stop.
  bool rows(PngSamples& samples);
  // Every row of a picture that is not interlaced, handed to `take` one at
  // a time, top row first; false on a damaged file.
  bool eachRow(const PngSamples& form, const std::function<void(std::uint32_t y, const unsigned char* row)>& take);
  // What libpng said of the damage.
  const QString& failure() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// A checksum of a row of samples, by which a row read back is known.
std::uint32_t pngRowChecksum(const unsigned char* row, std::size_t bytes);

// Whether the PNG file reads, through libpng, as a picture of `form`, not
// interlaced, whose rows have the checksums `rows`.
bool pngHoldsRows(QByteArrayView file, const PngSamples& form, const std::vector<std::uint32_t>& rows);

}  // namespace lumaset::imaging_detail
