#pragma once

// Writing a turned picture back to its file: in the format its suffix names,
// or as a JPEG under the ".jpg" name where that format cannot be written.
// A file rewritten in its own format keeps what it holds: a JPEG its APP
// segments (EXIF and XMP orientation now upright), other formats their
// transparency, depth and palette.

#include <QByteArray>
#include <QString>

#include <optional>

#include "components/file_system.h"
#include "components/result.h"

namespace lumaset {

class Imaging;

// The format to write `path` in, by its suffix, letter case aside ("jpeg"
// for ".JPG", "tiff" for ".tif"); empty when it cannot be written.
QByteArray TurnedPictureFormat(const QString& path);
// `path` with its suffix (or, without one, its end) turned into ".jpg".
QString JpegNameFor(const QString& path);

// Why `path` must not be turned: the user may not change it (it is
// read-only), or it holds several pages or frames of which a rewrite in its
// own format would keep only the first. Success when it may be turned.
Status CheckTurnable(const QString& path);

// Writes the turned picture over `path` (through a finished temporary file,
// keeping its permissions, group, owner and attributes), or as a new JPEG
// beside it, after which `path` goes to the trash. A JPEG file, and a file
// kept in its own format, is turned as it stores its picture (see
// TurnFileClockwise); another file written as a JPEG is made from the
// picture held by `imaging`. A JPEG name already taken is never
// overwritten. The file replaced or trashed must be the file read: with
// `loaded` (what it was when `imaging` loaded it) as well as when it was
// read here; one that another program has changed or replaced since is
// kept, and the turn refused. Gives the path that now holds the picture; on
// any failure the file is as it was.
Result<QString> SaveTurnedPicture(Imaging& imaging, const QString& path,
                                  const std::optional<FileIdentity>& loaded = std::nullopt);

// The two halves of SaveTurnedPicture, for a caller that reads and turns the
// file away from the window and may drop the result before anything is
// written: the turned content and what the file was when it was read, and
// its writing. The turn reports its progress and stops as the imaging
// engine's turns do (WorkProgress, DecodeStop).
struct TurnedPicture {
  QString path;
  QByteArray bytes;
  FileIdentity read;
};
Result<TurnedPicture> TurnPicture(Imaging& imaging, const QString& path,
                                  const std::optional<FileIdentity>& loaded = std::nullopt);
Result<QString> WriteTurnedPicture(const TurnedPicture& turned);
// Whether the turn of `path` is made from the picture held by the imaging
// object (loaded and turned there first): a file written anew as a JPEG.
// Every other file is turned from what it stores.
bool TurnNeedsHeldPicture(const QString& path);

}  // namespace lumaset
