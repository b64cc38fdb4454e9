#include "components/imaging/webp_keep.h"

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

}  // namespace

Result<QByteArray> webpWithMetadataOf(QByteArrayView written, QByteArrayView original) {
  const Mux out = muxOf(written, true);
  const Mux old = muxOf(original, false);
  if (!out || !old) return failed("data");
  for (const char* fourcc : {"ICCP", "EXIF", "XMP "}) {
    WebPData chunk{};
    if (WebPMuxGetChunk(old.get(), fourcc, &chunk) == WEBP_MUX_OK) {
      if (WebPMuxSetChunk(out.get(), fourcc, &chunk, 1) != WEBP_MUX_OK) return failed(fourcc);
    } else if (const WebPMuxError removed = WebPMuxDeleteChunk(out.get(), fourcc);
               removed != WEBP_MUX_OK && removed != WEBP_MUX_NOT_FOUND) {
      return failed(fourcc);
    }
  }
  WebPData assembled{};
  if (WebPMuxAssemble(out.get(), &assembled) != WEBP_MUX_OK) return failed("data");
  QByteArray bytes(reinterpret_cast<const char*>(assembled.bytes), static_cast<qsizetype>(assembled.size));
  WebPDataClear(&assembled);
  return bytes;
}

}  // namespace lumaset::imaging_detail
