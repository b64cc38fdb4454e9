#pragma once

// A JPEG file turned a quarter turn clockwise as it is shown: its stored
// picture takes the turn its EXIF orientation gave it and one quarter more,
// and the orientation becomes upright. Where the edges that move hold whole
// MCUs, the blocks' coefficients themselves are turned and nothing is lost:
// four turns give the very coefficients back. Elsewhere the picture is
// decoded and compressed again with the file's own quantisation tables,
// sampling (turned with the picture), colour model and coding (progressive,
// arithmetic, restart interval), no pixel cut off. Every segment of the
// file's header stays, in its order (see WithMetadataOf). What is written is
// read back and compared with the turned original before it is given.
//
// What follows the picture's end marker (a phone's motion photo video, an
// HDR gain map, a camera's larger preview) stays, byte for byte, except
// the further pictures that the file's MPF segment lists there: each is
// turned the same way, and the MPF segment's sizes and offsets (and the
// lengths an XMP container gives them) follow.

#include <QByteArray>

#include "components/result.h"

namespace lumaset {

// The turned file for the JPEG `stored`; the error gives the cause in a few
// words. Its memory comes from the full-size memory, asked for before the
// coefficients are read: a picture that could never fit is refused, naming
// its size. A decode that DecodeStop says is no longer wanted ends with a
// cancelled error.
Result<QByteArray> TurnJpegClockwise(const QByteArray& stored);

namespace imaging_detail {

// For tests: the turn of the first picture of `stored` with `written`
// standing for what its encoder writes, so that the check of what was
// written alone decides whether it is given.
Result<QByteArray> turnJpegWritingInstead(const QByteArray& stored, const QByteArray& written);

}  // namespace imaging_detail

}  // namespace lumaset
