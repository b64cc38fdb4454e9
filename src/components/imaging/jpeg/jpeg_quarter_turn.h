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

#include <QByteArray>

#include "components/result.h"

namespace lumaset {

// The turned file for the JPEG `stored`; the error gives the cause in a few
// words. Its memory comes from the full-size memory, asked for before the
// coefficients are read: a picture that could never fit is refused, naming
// its size. A decode that DecodeStop says is no longer wanted ends with a
// cancelled error.
Result<QByteArray> TurnJpegClockwise(const QByteArray& stored);

}  // namespace lumaset
