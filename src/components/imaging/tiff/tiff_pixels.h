#pragma once

// The pixels of a TIFF picture made from its samples as libtiff hands them
// out a band at a time: its colour model, the form a picture of each kind is
// held in, and the rows of that form.

#include <tiffio.h>

#include <QImage>

#include <cstdint>
#include <optional>
#include <vector>

#include "components/result.h"
#include "components/imaging/tiff/tiff_samples.h"

namespace lumaset::imaging_detail {

// The colour model of a picture and where its transparency lies.
struct TiffKind {
  TiffSamples samples;
  int colours = 0;          // samples a pixel before the extra ones
  bool alpha = false;       // the first extra sample is transparency
  bool associated = false;  // colours already multiplied by it
  bool big = false;         // BigTIFF, which Qt's reader does not open
  const uint16_t* map[3] = {nullptr, nullptr, nullptr};  // a palette's red, green and blue
};

// The kind of the current directory's picture; nothing when libtiff cannot
// hand it out in bands.
std::optional<TiffKind> tiffKindOf(TIFF* tiff);

// Whether its samples are made into pixels here: grey, RGB, CMYK or a
// palette, of unsigned integers of 1 to 32 bits, signed ones of 8 or 16, or
// floating point of 16, 32 or 64; never old-style JPEG.
bool readsTiffKind(const TiffKind& kind);

// Whether Qt's reader gets it wrong or refuses it: transparent grey (Qt
// 6.4 gives it opaque), signed samples (taken as unsigned), CMYK of other
// than 8 bits, floating point and deeper integers (refused as damaged),
// tiles (some sizes refused as damaged) and BigTIFF (not opened).
bool qtMisreadsTiffKind(const TiffKind& kind);

// The refusal of a kind not read here, naming it.
Error unreadableTiffKind(const TiffKind& kind);

// A picture of `width` x `rows` in the form pictures of `kind` are held in:
// black and white at a bit a pixel, grey at 8 or 16 bits, a palette of up
// to 8 bits indexed (all of these when opaque), other pictures as 32-bit
// RGB for samples of up to 8 bits, at 16 bits a channel for up to 16,
// floating point beyond, with their transparency. Null without memory.
QImage newTiffPicture(const TiffKind& kind, int width, int rows);

// One band's bytes of each plane, as libtiff decodes them.
using TiffPlanes = std::vector<std::vector<unsigned char>>;

// Row `y` of `image` (made by newTiffPicture) from the band's row that
// starts at byte `rowAt` of each plane. Signed samples are shifted up by
// half their range, so that the lowest value is black and the highest white.
void putTiffRow(const TiffKind& kind, const TiffPlanes& planes, uint64_t rowAt, QImage& image, int y);

}  // namespace lumaset::imaging_detail
