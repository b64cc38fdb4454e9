#pragma once

// What a JPEG file holds after its picture's end marker: a phone's motion
// photo video (which its XMP finds by counting from the end of the file),
// an HDR gain map and other further pictures that its MPF segment lists
// (counting from the MPF segment), or anything else.

#include <QByteArray>
#include <QByteArrayView>

#include <functional>

#include "components/imaging/jpeg/jpeg_turn_geometry.h"
#include "components/result.h"

namespace lumaset::imaging_detail {

// One picture (from its start marker to its end marker) turned by `turn`.
using PictureTurn = std::function<Result<QByteArray>(QByteArrayView picture, Turn turn)>;

// `turned`, the first picture of the JPEG `stored` (which ends at `end`)
// turned by `turn`, followed by what `stored` holds after that picture:
// byte for byte, but for the further pictures that the original's MPF
// segment lists there, each turned by `turnPicture` the same way (or,
// where it names an orientation of its own, upright and a quarter more).
// The MPF segment's sizes and offsets follow, and so do the lengths that
// an XMP container in `turned` gives those pictures. Refused with the
// reason where the MPF segment lists a picture there that is not found,
// is of another kind than JPEG, or cannot be turned.
Result<QByteArray> withPicturesAfter(const QByteArray& turned, const QByteArray& stored, qsizetype end, Turn turn,
                                     const PictureTurn& turnPicture);

}  // namespace lumaset::imaging_detail
