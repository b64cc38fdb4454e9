#include "components/imaging/png/png_samples.h"

#include <png.h>

#include <csetjmp>
#include <cstring>

#include "components/imaging/decode_memory.h"
#include "components/imaging/pixels/pixel_bands.h"

namespace lumaset::imaging_detail {

void PngSamples::allocate() {
  rowBytes = (std::size_t{width} * static_cast<std::size_t>(bitsPerPixel) + 7) / 8;
  bytes.assign(rowBytes * height, 0);
}

namespace {

struct Source {
  QByteArrayView bytes;
  qsizetype at = 0;
};

void readFromMemory(png_structp png, png_bytep out, size_t count) {
  auto* source = static_cast<Source*>(png_get_io_ptr(png));
  if (count > static_cast<size_t>(source->bytes.size() - source->at)) png_error(png, "the file ends early");
  std::memcpy(out, source->bytes.data() + source->at, count);
  source->at += static_cast<qsizetype>(count);
}

[[noreturn]] void onError(png_structp png, png_const_charp text) {
  *static_cast<QString*>(png_get_error_ptr(png)) = QString::fromLatin1(text);
  png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

// The rows and passes of the picture this thread reads whole, for its progress.
thread_local double rowsBeingRead = 0;
thread_local int passesBeingRead = 1;

void onRowRead(png_structp png, png_uint_32 row, int pass) {
  if (WorkProgress::Step(pass * rowsBeingRead + row, passesBeingRead * rowsBeingRead)) png_error(png, "stopped");
}

}  // namespace

// Everything libpng's long jump passes over lives here, made before the jump point.
struct PngSampleReader::State {
  QString failure;
  Source source;
  png_structp png = nullptr;
  png_infop info = nullptr;
  std::vector<unsigned char> row;
};

PngSampleReader::PngSampleReader(QByteArrayView file) : state_(std::make_unique<State>()) {
  state_->source.bytes = file;
  state_->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &state_->failure, onError, onWarning);
  if (!state_->png) return;
  state_->info = png_create_info_struct(state_->png);
  png_set_read_fn(state_->png, &state_->source, readFromMemory);
  // Every chunk but those of the picture itself is passed over: a text of
  // megabytes costs no inflating, and the profile is not parsed.
  png_set_keep_unknown_chunks(state_->png, PNG_HANDLE_CHUNK_NEVER, nullptr, -1);
}

PngSampleReader::~PngSampleReader() { png_destroy_read_struct(&state_->png, &state_->info, nullptr); }

const QString& PngSampleReader::failure() const { return state_->failure; }

bool PngSampleReader::header(PngSamples& samples) {
  png_structp png = state_->png;
  png_infop info = state_->info;
  if (!png || !info) return false;
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_info(png, info);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  samples.width = png_get_image_width(png, info);
  samples.height = png_get_image_height(png, info);
  samples.depth = png_get_bit_depth(png, info);
  samples.colorType = png_get_color_type(png, info);
  samples.interlaced = png_get_interlace_type(png, info) != PNG_INTERLACE_NONE;
  samples.bitsPerPixel = samples.depth * png_get_channels(png, info);
  return true;
}

bool PngSampleReader::rows(PngSamples& samples) {
  png_structp png = state_->png;
  std::vector<png_bytep> rows(samples.height);
  for (std::uint32_t y = 0; y < samples.height; ++y) rows[y] = samples.row(y);
  png_bytepp starts = rows.data();
  rowsBeingRead = samples.height;
  passesBeingRead = samples.interlaced ? 7 : 1;
  png_set_read_status_fn(png, onRowRead);
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_image(png, starts);
  png_read_end(png, nullptr);
  return true;
}

bool PngSampleReader::rowsEqual(const PngSamples& expected) {
  PngSamples read;
  if (!header(read)) return false;
  if (read.width != expected.width || read.height != expected.height || read.depth != expected.depth ||
      read.colorType != expected.colorType) {
    return false;
  }
  if (read.interlaced) {  // the passes come together only in a whole picture
    read.allocate();
    return rows(read) && read.bytes == expected.bytes;
  }
  state_->row.assign(expected.rowBytes, 0);
  png_structp png = state_->png;
  unsigned char* row = state_->row.data();
  if (setjmp(png_jmpbuf(png))) return false;
  for (std::uint32_t y = 0; y < expected.height; ++y) {
    if (WorkProgress::Step(y, expected.height)) return false;
    png_read_row(png, row, nullptr);
    if (std::memcmp(row, expected.row(y), expected.rowBytes) != 0) return false;
  }
  png_read_end(png, nullptr);
  return true;
}

bool pngHoldsSamples(QByteArrayView file, const PngSamples& expected) {
  PngSampleReader reader(file);
  return reader.rowsEqual(expected);
}

namespace {

// Turns the pixels that become rows firstRow .. endRow - 1 of `to`.
void turnBand(const PngSamples& from, PngSamples& to, std::uint32_t firstRow, std::uint32_t endRow) {
  const auto bits = static_cast<std::size_t>(from.bitsPerPixel);
  for (std::uint32_t y = 0; y < from.height; ++y) {
    const unsigned char* row = from.row(y);
    const std::size_t column = from.height - 1 - y;
    if (bits >= 8) {
      const std::size_t bytes = bits / 8;
      for (std::uint32_t x = firstRow; x < endRow; ++x) std::memcpy(to.row(x) + column * bytes, row + x * bytes, bytes);
      continue;
    }
    const unsigned mask = (1U << bits) - 1;
    const std::size_t toBit = column * bits;
    const int toShift = 8 - static_cast<int>(bits + toBit % 8);
    for (std::uint32_t x = firstRow; x < endRow; ++x) {
      const std::size_t fromBit = std::size_t{x} * bits;
      const unsigned sample = row[fromBit / 8] >> (8 - bits - fromBit % 8) & mask;
      to.row(x)[toBit / 8] |= static_cast<unsigned char>(sample << toShift);
    }
  }
}

}  // namespace

PngSamples quarterTurned(const PngSamples& from) {
  PngSamples to;
  to.width = from.height;
  to.height = from.width;
  to.depth = from.depth;
  to.colorType = from.colorType;
  to.bitsPerPixel = from.bitsPerPixel;
  to.allocate();
  PixelJob job;
  job.Run(static_cast<int>(to.height), 1, [&](int firstRow, int endRow, const BandContext&) {
    turnBand(from, to, static_cast<std::uint32_t>(firstRow), static_cast<std::uint32_t>(endRow));
  });
  return to;
}

}  // namespace lumaset::imaging_detail
