#pragma once

// What a WebP file written back keeps of the file it was: the EXIF and XMP
// data a camera or an editor put in it, its colour profile, other chunks.

#include <QByteArray>
#include <QByteArrayView>

#include <optional>

#include "components/result.h"

namespace lumaset::imaging_detail {

// The WebP `original` with the picture of the single-picture WebP file
// `picture` in place of its own, and every other chunk as it was there:
// colour profile, EXIF (or `exif` in its place) and XMP data, and chunks of
// other programs.
Result<QByteArray> webpWithPictureOf(QByteArrayView original, QByteArrayView picture,
                                     const std::optional<QByteArray>& exif = std::nullopt);

// The EXIF data of a WebP file; nothing when it has none.
std::optional<QByteArray> webpExif(QByteArrayView file);

}  // namespace lumaset::imaging_detail
