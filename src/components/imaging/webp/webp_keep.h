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

// The EXIF orientation (1 to 8) of a WebP file; 1 when it names none.
int webpOrientation(QByteArrayView file);

// Its EXIF data as it reads once the picture is turned clockwise as it is
// shown (the thumbnail turned too, the orientation 1); nothing when it has
// none.
Result<std::optional<QByteArray>> webpExifTurned(QByteArrayView file);

}  // namespace lumaset::imaging_detail
