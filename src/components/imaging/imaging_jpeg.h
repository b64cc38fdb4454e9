#pragma once

// JPEG files for the imaging layer, read with libjpeg directly rather than
// through Qt's plugin: the decoder's own warnings decide whether a picture is
// whole (Qt's plugin shows a cut-off file as a whole picture with a grey
// bottom), and the EXIF orientation is applied to the picture as decoded,
// after the codec has shrunk it.

#include <QByteArrayView>
#include <QImage>
#include <QSize>
#include <QString>

#include "components/result.h"

namespace lumaset::imaging_detail {

// Whether a file starting with these bytes is a JPEG file.
bool looksLikeJpeg(QByteArrayView fileStart);

struct JpegHeader {
  QSize stored;         // as the pixels lie in the file
  int components = 0;   // 1 grey, 3 colour, 4 CMYK
  int orientation = 1;  // the EXIF orientation, 1 to 8
  // The size the picture is shown at: width and height change places for
  // the orientations that turn it by a quarter.
  QSize upright() const;
};

// A progressive file may repeat its scans, each a walk over every block;
// no encoder writes more than a few dozen, so a file of more is refused.
inline constexpr int kMostJpegScans = 200;

// The header alone; an error gives the cause in a few words.
Result<JpegHeader> readJpegHeader(const QString& path);

// The picture upright, its longer side at most `longSide` pixels (0: full
// size), as Format_RGB32. The codec shrinks it while decoding; turning and
// mirroring then work on the small picture. Refused when the decoder fails,
// when the file ends before the last row is decoded, or when the full-size
// picture would need more than `byteLimit` bytes. A decode that
// DecodeStop says is no longer wanted ends early with a cancelled error.
Result<QImage> decodeJpeg(const QString& path, int longSide, qint64 byteLimit);

// `size` shrunk, aspect kept, until its longer side is `longSide`; no side below 1.
QSize fitLongSide(QSize size, int longSide);

// Turns and mirrors a picture as its EXIF orientation (1 to 8) says, so that
// it stands upright; other values leave it as it is.
QImage orientedUpright(const QImage& image, int orientation);

}  // namespace lumaset::imaging_detail
