#pragma once

// What Qt's WebP writer leaves out of a WebP file written back: the EXIF and
// XMP data a camera or an editor put in it.

#include <QByteArray>
#include <QByteArrayView>

#include "components/result.h"

namespace lumaset::imaging_detail {

// The WebP `written` with the colour profile, EXIF and XMP data of the WebP
// `original`, each as it was there, and none of them where it had none.
Result<QByteArray> webpWithMetadataOf(QByteArrayView written, QByteArrayView original);

}  // namespace lumaset::imaging_detail
