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

// The work a file's scans ask for is bounded as they are read. Each scan
// goes over the blocks of its components; no encoder writes more than a few
// dozen scans. A Huffman-coded scan costs some 10 to 40 ns a block however
// few bits describe it (a run of empty blocks takes a few bits for
// thousands); arithmetic code may describe every coefficient of a scan's
// band in no bits at all, at up to 20 ns each. Counted so (blocks, or
// blocks times the band's coefficients), a file whose scans take more steps
// than this is refused: no file costs more than a second or so of one core,
// whatever its size in bytes. Every real photo in Huffman code stays far
// below it; in arithmetic code, pictures up to some 40 megapixels stored
// sequentially, 20 progressively.
inline constexpr int kMostJpegScans = 200;
inline constexpr qint64 kMostJpegDecodeSteps = qint64{64} << 20;

// The header alone; an error gives the cause in a few words. Of the
// segments before the picture only the first EXIF one is kept (at most
// 64 KB); the others are passed over by seeking, reading a few hundred
// bytes of each. A file that takes more than 16 MB of reading before its
// picture is refused.
Result<JpegHeader> readJpegHeader(const QString& path);

// The picture upright, its longer side at most `longSide` pixels (0: full
// size), as Format_RGB32. The codec shrinks it while decoding; turning and
// mirroring then work on the small picture. Refused when the decoder fails,
// when the file ends before the last row is decoded, or when the full-size
// picture would need more than `byteLimit` bytes. Before decoding it asks
// the decode memory for what the decoder holds (a file of several scans
// keeps all its coefficients) and, when the picture is shrunk, for the
// picture and its copies; a full-size picture is counted by its caller.
// Refused, naming the picture's size, when that is more than the whole of
// the decode memory; refused too when its scans ask for more work than the
// bound above, or its data go on far past what the picture could need. A
// decode that DecodeStop says is no longer wanted ends early with a
// cancelled error.
Result<QImage> decodeJpeg(const QString& path, int longSide, qint64 byteLimit);

// `size` shrunk, aspect kept, until its longer side is `longSide`; no side below 1.
QSize fitLongSide(QSize size, int longSide);

// Turns and mirrors a picture as its EXIF orientation (1 to 8) says, so that
// it stands upright; other values leave it as it is.
QImage orientedUpright(const QImage& image, int orientation);

}  // namespace lumaset::imaging_detail
