#pragma once

// What a JPEG file says about its picture besides the pixels: the APP
// segments (JFIF resolution, EXIF, colour profile, XMP, IPTC and the rest)
// and comments. A picture written anew takes them over from its original.

#include <QByteArray>
#include <QByteArrayView>

#include "components/result.h"

namespace lumaset {

// The JPEG `encoded` with its own APP and comment segments replaced by those
// of the JPEG `original`, in their order, for a picture that has since been
// turned upright: the EXIF and XMP orientations become 1. Left out are what
// describes the original's encoding rather than its picture (Adobe's colour
// transform) and a colour profile that is not for RGB, which the colour
// picture written no longer matches. With `quarterTurned`, the picture is
// the original's upright picture turned a quarter turn, so that where its
// pixels lie across what the original stored down, the JFIF resolution
// across and down trade places.
// With `colours` Original, the samples written are in the original's own
// colour model (its components, colour space and transform), and its colour
// profile and Adobe segment stay whatever they are.
// The EXIF thumbnail is turned or stood upright with the picture, so that
// it shows what the picture shows.
enum class SampleColours { Rgb, Original };
Result<QByteArray> WithMetadataOf(QByteArrayView encoded, QByteArrayView original, bool quarterTurned = false,
                                  SampleColours colours = SampleColours::Rgb);

// The same in two steps: the start of the file (its start-of-image marker
// and the original's segments as they read for the new picture), made
// before the new picture takes its memory, for turning the EXIF thumbnail
// takes some of its own; then the JPEG `encoded` with that start.
Result<QByteArray> MetadataFor(QByteArrayView original, bool quarterTurned, SampleColours colours);
Result<QByteArray> WithMetadata(QByteArrayView encoded, const QByteArray& metadata);

// The EXIF orientation (1 to 8) of the JPEG `jpeg`, by its first EXIF
// segment; 1 when it names none.
int JpegOrientation(QByteArrayView jpeg);

}  // namespace lumaset
