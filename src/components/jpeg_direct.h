#pragma once

// The quick way in for an ordinary JPEG: decoded by the JPEG library straight
// into the held format. It declines (a null picture) whatever it does not
// take exactly as the general reader would: an EXIF orientation other than
// upright, CMYK, and any damage the library warns about; the caller then
// reads the file the general way.

#include <QImage>
#include <QString>

namespace lumaset {

QImage DecodePlainJpeg(const QString& path);

}  // namespace lumaset
