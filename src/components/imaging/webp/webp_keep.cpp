#include "components/imaging/webp/webp_keep.h"

#include <webp/decode.h>
#include <webp/mux.h>

#include <QString>

#include <algorithm>
#include <memory>

#include "components/imaging/exif_turn.h"
#include "components/imaging/imaging_file_headers.h"

namespace lumaset::imaging_detail {

namespace {

struct MuxDeleter {
  void operator()(WebPMux* mux) const { WebPMuxDelete(mux); }
};
using Mux = std::unique_ptr<WebPMux, MuxDeleter>;

Mux muxOf(QByteArrayView file, bool copy) {
  const WebPData data{reinterpret_cast<const uint8_t*>(file.data()), static_cast<size_t>(file.size())};
  return Mux(WebPMuxCreate(&data, copy ? 1 : 0));
}

Error failed(const char* what) {
  return Error{QStringLiteral("the WebP file cannot be written again with its %1.").arg(QLatin1String(what))};
}

Result<QByteArray> assembled(WebPMux* mux) {
  WebPData whole{};
  if (WebPMuxAssemble(mux, &whole) != WEBP_MUX_OK) return failed("data");
  QByteArray bytes(reinterpret_cast<const char*>(whole.bytes), static_cast<qsizetype>(whole.size));
  WebPDataClear(&whole);
  return bytes;
}

// Some writers put the JPEG segment's mark before the TIFF structure.
const QByteArrayView kExifMark("Exif\0\0", 6);

// The EXIF chunk's data, if the file has one.
std::optional<QByteArray> exifOf(QByteArrayView file) {
  const Mux mux = muxOf(file, false);
  WebPData exif{};
  if (!mux || WebPMuxGetChunk(mux.get(), "EXIF", &exif) != WEBP_MUX_OK) return std::nullopt;
  return QByteArray(reinterpret_cast<const char*>(exif.bytes), static_cast<qsizetype>(exif.size));
}

QByteArrayView tiffOf(QByteArrayView exif) { return exif.startsWith(kExifMark) ? exif.sliced(kExifMark.size()) : exif; }

}  // namespace

int webpOrientation(QByteArrayView file) {
  const std::optional<QByteArray> exif = exifOf(file);
  return exif ? std::max(tiffOrientation(tiffOf(*exif)), 1) : 1;
}

Result<std::optional<QByteArray>> webpExifTurned(QByteArrayView file) {
  const std::optional<QByteArray> exif = exifOf(file);
  if (!exif) return std::optional<QByteArray>();
  const Result<QByteArray> turned = exifTurned(tiffOf(*exif), true, INT32_MAX);
  if (!turned) return Error{turned.error(), turned.cancelled()};
  return std::optional<QByteArray>(exif->first(exif->size() - tiffOf(*exif).size()) + *turned);
}

Result<QByteArray> webpWithPictureOf(QByteArrayView original, QByteArrayView picture, const std::optional<QByteArray>& exif) {
  const Mux mux = muxOf(original, true);
  if (!mux) return failed("data");
  const WebPData image{reinterpret_cast<const uint8_t*>(picture.data()), static_cast<size_t>(picture.size())};
  int width = 0, height = 0;
  if (!WebPGetInfo(image.bytes, image.size, &width, &height) || WebPMuxSetImage(mux.get(), &image, 1) != WEBP_MUX_OK)
    return failed("picture");
  if (exif) {
    const WebPData data{reinterpret_cast<const uint8_t*>(exif->constData()), static_cast<size_t>(exif->size())};
    if (WebPMuxSetChunk(mux.get(), "EXIF", &data, 1) != WEBP_MUX_OK) return failed("EXIF data");
  }
  // The canvas of an extended file has the picture's size.
  if (WebPMuxSetCanvasSize(mux.get(), width, height) != WEBP_MUX_OK) return failed("size");
  return assembled(mux.get());
}

}  // namespace lumaset::imaging_detail
