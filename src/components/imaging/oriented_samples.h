#pragma once

// Pictures whose EXIF data names an orientation are turned as they are
// shown: stood upright, then turned a quarter turn clockwise. That is the
// plain quarter turn of the stored samples, or no turn at all, followed by
// mirroring, which is done in place on samples of any depth.

#include <cstddef>
#include <cstdint>

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

// Mirrors rows of `width` pixels of `bitsPerPixel` bits (1, 2 or 4 packed
// from the most significant bit, or whole bytes), `rowBytes` apart, in place.
void mirrorSamples(unsigned char* rows, std::size_t rowBytes, std::uint32_t width, std::uint32_t height, int bitsPerPixel,
                   bool across, bool down);

}  // namespace lumaset::imaging_detail
