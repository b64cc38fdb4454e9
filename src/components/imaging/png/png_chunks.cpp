#include "components/imaging/png/png_chunks.h"

#include <QtEndian>

#include <zlib.h>

namespace lumaset {

QByteArray PngChunk(QByteArrayView type, QByteArrayView data) {
  QByteArray out(4, Qt::Uninitialized);
  qToBigEndian(static_cast<quint32>(data.size()), out.data());
  out.append(type).append(data);
  const auto* checked = reinterpret_cast<const Bytef*>(out.constData() + 4);
  const auto crc = static_cast<quint32>(crc32(0, checked, static_cast<uInt>(out.size() - 4)));
  out.resize(out.size() + 4);
  qToBigEndian(crc, out.data() + out.size() - 4);
  return out;
}

}  // namespace lumaset
