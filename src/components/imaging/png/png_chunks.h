#pragma once

// One chunk of a PNG file as the format lays it out: its data's length (big
// endian), its four-letter type, the data and the checksum of type and data.

#include <QByteArray>
#include <QByteArrayView>

namespace lumaset {

QByteArray PngChunk(QByteArrayView type, QByteArrayView data);

}  // namespace lumaset
