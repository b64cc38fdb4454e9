#pragma once

// Writing a turned picture back to its file: in the format its suffix names,
// or as a JPEG under the ".jpg" name where that format cannot be written;
// a JPEG keeps the original's EXIF block, with the orientation now upright.

#include <QByteArray>
#include <QString>

#include "components/exif_writer.h"
#include "components/result.h"

namespace lumaset {

class Imaging;

// The format to write `path` in, by its suffix, letter case aside ("jpeg"
// for ".JPG", "tiff" for ".tif"); empty when it cannot be written.
QByteArray TurnedPictureFormat(const QString& path);
// `path` with its suffix (or, without one, its end) turned into ".jpg".
QString JpegNameFor(const QString& path);

// Writes the picture held by `imaging` over `path` (through a finished
// temporary file), or as a new JPEG beside it, after which `path` goes to
// the trash. A JPEG name already taken is never overwritten. Gives the
// path that now holds the picture; on any failure the file is as it was.
Result<QString> SaveTurnedPicture(Imaging& imaging, const QString& path, const ExifWriter& exif = ExifWriter());

}  // namespace lumaset
