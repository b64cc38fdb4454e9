#pragma once

// Turning what a scanner sends into a picture in memory: the rows of one
// grey or colour frame become a QImage of the matching kind, and a colour
// scan can be cut down to 256 colours.
//
// Pixel kinds of the result:
//   grey, 8 or 16 bits a sample   QImage::Format_Grayscale8
//   grey, 1 bit (line art)        QImage::Format_Mono (a set bit is black)
//   colour, 8 or 16 bits          QImage::Format_RGB888
//   colour, 1 bit a channel       QImage::Format_RGB888 (0 or 255)
// 16-bit samples (in the machine's byte order) keep their high byte.

#include <QByteArray>
#include <QImage>

#include "components/result.h"

namespace lumaset {

struct FrameLayout {
  enum class Kind { Grey, Colour };
  Kind kind = Kind::Grey;
  int depth = 8;          // bits a sample: 1, 8 or 16
  int pixelsPerLine = 0;
  int bytesPerLine = 0;   // may hold padding after the last pixel
  int lines = -1;         // -1 when the scanner did not know beforehand
};

// The picture held in `bytes`; the number of lines is what the bytes give
// when the layout does not say, and a last partial line is dropped.
Result<QImage> FrameToPicture(const FrameLayout& layout, const QByteArray& bytes);

// `picture` in at most 256 colours, as an indexed picture: red and green on
// eight levels and blue on four, each pixel taking the nearest level.
QImage ReduceTo256Colours(const QImage& picture);

}  // namespace lumaset
