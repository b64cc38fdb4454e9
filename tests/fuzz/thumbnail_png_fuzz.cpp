// Thumbnail cache entries under libFuzzer: any program may write into the
// shared cache, so whatever the bytes, reading one ends with a picture no
// larger than asked for, or with nothing; a picture read writes and reads
// back the same.

#include <QByteArray>
#include <QGuiApplication>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "components/thumbnail_png.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static int argc = 1;
  static char name[] = "thumbnail_png_fuzz";
  static char* argv[] = {name, nullptr};
  static const bool offscreen = qputenv("QT_QPA_PLATFORM", "offscreen");
  static QGuiApplication app(argc, argv);
  (void)offscreen;
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  const auto read = lumaset::ReadThumbnailPng(bytes, 64);
  if (!read) return 0;
  if (read->image.isNull() || read->image.width() > 64 || read->image.height() > 64) std::abort();
  const QByteArray again = lumaset::ThumbnailPngBytes(read->image, {});
  const auto back = lumaset::ReadThumbnailPng(again, 64);
  if (!back || back->image.convertToFormat(QImage::Format_ARGB32) != read->image.convertToFormat(QImage::Format_ARGB32))
    std::abort();
  return 0;
}
