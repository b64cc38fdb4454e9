#include "components/imaging/webp/webp_keep.h"

#include <webp/decode.h>
#include <webp/mux.h>

#include <QString>

#include <memory>

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

}  // namespace

std::optional<QByteArray> webpExif(QByteArrayView file) {
  const Mux mux = muxOf(file, false);
  WebPData exif{};
  if (!mux || WebPMuxGetChunk(mux.get(), "EXIF", &exif) != WEBP_MUX_OK) return std::nullopt;
  return QByteArray(reinterpret_cast<const char*>(exif.bytes), static_cast<qsizetype>(exif.size));
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
