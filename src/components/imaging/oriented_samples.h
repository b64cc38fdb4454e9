#pragma once

// Pictures whose EXIF data names an orientation are turned as they are
// shown: stood upright, then turned a quarter turn clockwise. That is the
// plain quarter turn of the stored samples, or no turn at all, followed by
// mirroring (which the pixel map of the turn takes in, quarter_turn_pixels.h).

#include <QByteArray>
#include <QByteArrayView>
#include <QImageIOHandler>

#include "components/result.h"

namespace lumaset::imaging_detail {

// What turning a picture of EXIF `orientation` (1 to 8; anything else is 1)
// clockwise as it is shown does to its stored samples: a quarter turn
// clockwise or none, then mirroring across (each row reversed) and down (the
// rows reversed).
struct ShownTurn {
  bool quarterTurn = true;
  bool mirrorAcross = false;
  bool mirrorDown = false;
};
ShownTurn shownTurn(int orientation);

// What stands a picture of EXIF `orientation` upright, as Qt's readers name
// it: mirrored first, then a quarter turn clockwise (none for anything but 2
// to 8).
QImageIOHandler::Transformations uprightTransformation(int orientation);

// Turning clockwise as it is shown a picture whose EXIF data, as a PNG or
// WebP file holds it (exifTiff), is `exif`: what that does to its stored
// samples, and that data as it then reads, upright (a mark before it kept).
struct ShownExifTurn {
  ShownTurn samples;
  QByteArray exif;
};
Result<ShownExifTurn> shownExifTurn(QByteArrayView exif);

}  // namespace lumaset::imaging_detail
