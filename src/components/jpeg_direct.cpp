#include "components/jpeg_direct.h"

#include <QFile>

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>

#include "components/pixel_support.h"

namespace lumaset {

namespace {

struct Trap {
  jpeg_error_mgr manager;
  std::jmp_buf jump;
  bool warned;
};

void trapError(j_common_ptr info) { std::longjmp(reinterpret_cast<Trap*>(info->err)->jump, 1); }

// Level −1 is a warning: damaged data that the library would paper over.
void trapMessage(j_common_ptr info, int level) {
  if (level < 0) reinterpret_cast<Trap*>(info->err)->warned = true;
}

unsigned readUnsigned(const unsigned char* at, int bytes, bool bigEndian) {
  unsigned value = 0;
  for (int i = 0; i < bytes; ++i) value |= unsigned{at[bigEndian ? i : bytes - 1 - i]} << (8 * (bytes - 1 - i));
  return value;
}

// The orientation tag of an EXIF block (1 when there is none or it cannot be read).
unsigned orientation(const jpeg_saved_marker_ptr markers) {
  for (jpeg_saved_marker_ptr marker = markers; marker; marker = marker->next) {
    const unsigned char* data = marker->data;
    const unsigned length = marker->data_length;
    if (marker->marker != JPEG_APP0 + 1 || length < 14 || std::memcmp(data, "Exif\0\0", 6) != 0) continue;
    const unsigned char* tiff = data + 6;
    const unsigned size = length - 6;
    const bool big = tiff[0] == 'M';
    const unsigned first = readUnsigned(tiff + 4, 4, big);
    if (first + 2 > size) return 0;  // unreadable: let the general reader decide
    const unsigned entries = readUnsigned(tiff + first, 2, big);
    for (unsigned i = 0; i < entries; ++i) {
      const unsigned entry = first + 2 + 12 * i;
      if (entry + 12 > size) return 0;
      if (readUnsigned(tiff + entry, 2, big) == 0x0112) return readUnsigned(tiff + entry + 8, 2, big);
    }
  }
  return 1;
}

// Plain C flow between setjmp and the end: the library leaves by longjmp.
bool decode(const QByteArray& bytes, QImage* out) {
  jpeg_decompress_struct info{};
  Trap trap{};
  info.err = jpeg_std_error(&trap.manager);
  trap.manager.error_exit = trapError;
  trap.manager.emit_message = trapMessage;
  if (setjmp(trap.jump) != 0) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  jpeg_create_decompress(&info);
  jpeg_mem_src(&info, reinterpret_cast<const unsigned char*>(bytes.constData()), static_cast<unsigned long>(bytes.size()));
  jpeg_save_markers(&info, JPEG_APP0 + 1, 0xFFFF);
  jpeg_read_header(&info, TRUE);
  if (orientation(info.marker_list) != 1 || info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK ||
      info.num_components != (info.jpeg_color_space == JCS_GRAYSCALE ? 1 : 3)) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  info.out_color_space = JCS_EXT_BGRX;  // QRgb in memory on a little-endian machine
  jpeg_start_decompress(&info);
  *out = pixels::NewPicture(static_cast<int>(info.output_width), static_cast<int>(info.output_height));
  if (out->isNull()) {
    jpeg_destroy_decompress(&info);
    return false;
  }
  const pixels::Canvas canvas(*out);
  while (info.output_scanline < info.output_height && !trap.warned) {
    auto* row = reinterpret_cast<JSAMPROW>(canvas.row(static_cast<int>(info.output_scanline)));
    jpeg_read_scanlines(&info, &row, 1);
  }
  if (!trap.warned) jpeg_finish_decompress(&info);
  if (info.saw_JFIF_marker && (info.density_unit == 1 || info.density_unit == 2)) {
    const double perMeter = info.density_unit == 1 ? 1 / 0.0254 : 100.0;
    out->setDotsPerMeterX(static_cast<int>(info.X_density * perMeter + 0.5));
    out->setDotsPerMeterY(static_cast<int>(info.Y_density * perMeter + 0.5));
  }
  jpeg_destroy_decompress(&info);
  return !trap.warned;
}

}  // namespace

QImage DecodePlainJpeg(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QByteArray bytes = file.readAll();
  QImage picture;
  if (!decode(bytes, &picture)) return {};
  return picture;
}

}  // namespace lumaset
