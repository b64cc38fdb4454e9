#include "components/imaging/png/png_samples.h"

#include <libdeflate.h>
#include <png.h>

#include <csetjmp>
#include <cstring>

#include "components/imaging/decode_memory.h"

namespace lumaset::imaging_detail {

void PngSamples::allocate() {
  rowBytes = rowBytesOf(width, bitsPerPixel);
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
  samples.rowBytes = PngSamples::rowBytesOf(samples.width, samples.bitsPerPixel);
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

bool PngSampleReader::eachRow(const PngSamples& form,
                              const std::function<void(std::uint32_t y, const unsigned char* row)>& take) {
  state_->row.assign(form.rowBytes, 0);
  png_structp png = state_->png;
  unsigned char* row = state_->row.data();
  if (setjmp(png_jmpbuf(png))) return false;
  for (std::uint32_t y = 0; y < form.height; ++y) {
    if (WorkProgress::Step(y, form.height)) return false;
    png_read_row(png, row, nullptr);
    take(y, row);
  }
  png_read_end(png, nullptr);
  return true;
}

std::uint32_t pngRowChecksum(const unsigned char* row, std::size_t bytes) {
  return libdeflate_crc32(0, row, bytes);
}

bool pngHoldsRows(QByteArrayView file, const PngSamples& form, const std::vector<std::uint32_t>& rows) {
  PngSampleReader reader(file);
  PngSamples read;
  if (!reader.header(read) || read.width != form.width || read.height != form.height || read.depth != form.depth ||
      read.colorType != form.colorType || read.interlaced || rows.size() != form.height)
    return false;
  bool same = true;
  return reader.eachRow(read, [&](std::uint32_t y, const unsigned char* row) {
    same = same && pngRowChecksum(row, read.rowBytes) == rows[y];
  }) && same;
}

}  // namespace lumaset::imaging_detail
