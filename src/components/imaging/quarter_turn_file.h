#pragma once

// A picture file turned a quarter turn clockwise in its own format, keeping
// what the file holds: its samples at their own depth, its transparency and
// palette, its compression (a lossless WebP stays lossless), its resolution
// (across and down trading places, none where it had none), its colour
// facts and its words. A file that cannot be written back as it was read is
// refused rather than changed.
//
// This is the one entry every format's turn (jpeg/, png/, tiff/, bmp/,
// webp/) goes through, with what they share: the memory a turn may take,
// the file read whole and unchanged, and the words of a refusal. Each
// format reads what it wrote back and compares it before giving it.
//
// A turn reports its progress through WorkProgress and ends with a
// cancelled error once DecodeStop says that it is no longer wanted.

#include <QByteArray>
#include <QString>

#include <optional>

#include "components/file_system.h"
#include "components/imaging/decode_memory.h"
#include "components/result.h"

namespace lumaset {

// The turned content of a file, and what the file was when it was read.
struct TurnedFile {
  QByteArray bytes;
  FileIdentity read;
};

// Reads the file at `path` whole and turns it in `format` ("jpeg", "png",
// "tiff", "bmp", "webp"). A picture that reading at full size refuses (for
// its memory, or as damaged) is refused in the same words before the file
// is read; a file that changes while it is read is refused. The error
// names the file and the cause.
Result<TurnedFile> TurnFileClockwise(const QString& path, const QByteArray& format);

// The new content of the file at `path`, whose content is `stored`, in
// `format` ("jpeg", "png", "tiff", "bmp", "webp", ...), the format its name
// says. A file is turned as what it holds, which it stays (a JPEG photo
// named .png stays a JPEG); one that holds a picture of a format without a
// turn of its own is refused. The error names the file and the cause.
Result<QByteArray> TurnedFileClockwise(const QString& path, const QByteArray& stored, const QByteArray& format);

namespace imaging_detail {

// Takes the memory a file's quarter turn holds, `bytes` (counted in double,
// so that no header's sizes wrap), from the memory full-size pictures
// share, into `share`. Nothing when it was granted; otherwise the refusal
// of a picture of `width` x `height` pixels that could never fit, or a
// cancelled error when the wait was stopped.
std::optional<Error> TakeTurnMemory(std::optional<DecodeMemory::Share>& share, double bytes, quint64 width,
                                    quint64 height);

// What a turn's work on every core (a PixelJob's KeepGoing) is told as its
// bands end, on the turn's own thread, where WorkProgress listens: the
// job's percentage, passed on as a step of the turn's current stage. False
// once the turn is no longer wanted; the bands under way then end and tell
// nothing more.
bool KeepTurning(int percent);

}  // namespace imaging_detail

}  // namespace lumaset
