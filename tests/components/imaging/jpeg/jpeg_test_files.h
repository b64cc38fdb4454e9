#pragma once

// JPEG files made by libjpeg itself, for what Qt's writer cannot do
// (arithmetic coding, scan scripts, four inks), and the places in them that
// the tests cut or change.

#include <QByteArray>
#include <QImage>

#include <cstdio>
#include <cstdlib>
#include <functional>
// jpeglib.h needs FILE declared before it.
#include <jpeglib.h>

#include "support/test_support.h"

namespace lumaset::test {

// A JPEG written by libjpeg itself from rows of `components` bytes a pixel,
// for what Qt's writer cannot do; `setUp` changes the defaults.
inline QByteArray libjpegBytes(int width, int height, J_COLOR_SPACE space, const QByteArray& samples,
                        const std::function<void(jpeg_compress_struct&)>& setUp) {
  jpeg_compress_struct info{};
  jpeg_error_mgr errors{};
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &out, &size);
  info.image_width = static_cast<JDIMENSION>(width);
  info.image_height = static_cast<JDIMENSION>(height);
  info.input_components = space == JCS_CMYK ? 4 : 3;
  info.in_color_space = space;
  jpeg_set_defaults(&info);
  setUp(info);
  jpeg_start_compress(&info, TRUE);
  const qsizetype stride = qsizetype{width} * info.input_components;
  while (info.next_scanline < info.image_height) {
    auto* row = reinterpret_cast<JSAMPLE*>(const_cast<char*>(samples.constData())) + info.next_scanline * stride;
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  const QByteArray bytes(reinterpret_cast<const char*>(out), static_cast<qsizetype>(size));
  std::free(out);  // NOLINT(cppcoreguidelines-no-malloc): libjpeg's buffer
  return bytes;
}

// The samples of `picture` as libjpeg takes them: three bytes a pixel.
inline QByteArray rgbSamples(const QImage& picture) {
  const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
  QByteArray samples;
  for (int y = 0; y < rgb.height(); ++y)
    samples.append(reinterpret_cast<const char*>(rgb.constScanLine(y)), qsizetype{rgb.width()} * 3);
  return samples;
}

// Where the marker `code` first stands in a JPEG file (0xFF then `code`
// never occurs inside compressed data).
inline qsizetype markerAt(const QByteArray& jpeg, char code, qsizetype from = 0) {
  return jpeg.indexOf(QByteArray(1, '\xFF').append(code), from);
}

// Busy pixels, so that the file's data is large and every row has some.
inline QImage dotted(int width, int height) {
  QImage image = Quarters(width, height);
  for (int y = 0; y < height; y += 3)
    for (int x = (y * 7) % 5; x < width; x += 5) image.setPixel(x, y, qRgb((x * 37) % 256, (y * 11) % 256, (x ^ y) % 256));
  return image;
}

// A grey picture in `scans` scans: its DC values, then its AC scan, repeated.
inline QByteArray greyScans(const QImage& picture, int scans, bool arithmetic) {
  const QByteArray two = libjpegBytes(picture.width(), picture.height(), JCS_RGB, rgbSamples(picture), [&](jpeg_compress_struct& info) {
    jpeg_set_colorspace(&info, JCS_GRAYSCALE);
    static const jpeg_scan_info script[] = {{1, {0}, 0, 0, 0, 0}, {1, {0}, 1, 63, 0, 0}};
    info.scan_info = script;
    info.num_scans = 2;
    info.arith_code = arithmetic ? TRUE : FALSE;
  });
  // The second scan, with any tables written before it.
  qsizetype from = markerAt(two, '\xDA') + 2;
  while (from < two.size() && !(two[from] == '\xFF' && QByteArray("\xC4\xCC\xDA").contains(two[from + 1]))) ++from;
  const QByteArray repeated = two.mid(from, two.size() - 2 - from);
  return two.left(from) + repeated.repeated(scans - 1) + "\xFF\xD9";
}

}  // namespace lumaset::test
