#pragma once

// A picture file turned a quarter turn clockwise in its own format, keeping
// what the file holds: its samples at their own depth, its transparency and
// palette, its compression (a lossless WebP stays lossless), its resolution
// (across and down trading places, none where it had none), its colour
// facts and its words. A file that cannot be written back as it was read is
// refused rather than changed.

#include <QByteArray>
#include <QString>

#include "components/result.h"

namespace lumaset {

// The new content of the file at `path`, whose content is `stored`, in
// `format` ("png", "tiff", "bmp", "webp", ...), the format its name says.
// A file is turned as what it holds, which it stays (a JPEG photo named
// .png stays a JPEG); one that holds a picture of a format without a turn
// of its own is refused. The error names the file and the cause.
Result<QByteArray> TurnedFileClockwise(const QString& path, const QByteArray& stored, const QByteArray& format);

}  // namespace lumaset
