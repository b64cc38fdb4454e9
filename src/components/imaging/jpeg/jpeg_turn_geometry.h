#pragma once

// The eight ways a picture can be turned and mirrored: which one turns a
// photo of a given EXIF orientation clockwise as it is shown, where each
// sample of a turned plane comes from, and what a turn makes of a block's
// coefficients.

#include <array>
#include <cstdio>
#include <utility>

// jpeglib.h needs FILE declared before it.
#include <jpeglib.h>

namespace lumaset::imaging_detail {

// The turned picture is the original transposed (when `transpose`), then
// mirrored across and down as the flags say.
struct Turn {
  bool transpose = false;
  bool mirrorAcross = false;
  bool mirrorDown = false;
  bool operator==(const Turn&) const = default;
};

inline constexpr Turn kClockwise{true, true, false};
inline constexpr Turn kAnticlockwise{true, false, true};

// `first`, then `then` on its result.
Turn followedBy(Turn first, Turn then);

// The turn of the stored picture of a photo of EXIF `orientation` (1 to 8;
// anything else is 1) that turns the photo clockwise as it is shown.
Turn shownClockwise(int orientation);

// Where the sample (or block) at x, y of the turned plane, of `width` x
// `height`, comes from in the original plane.
inline std::pair<int, int> sourceOf(Turn turn, int x, int y, int width, int height) {
  const int across = turn.mirrorAcross ? width - 1 - x : x;
  const int down = turn.mirrorDown ? height - 1 - y : y;
  return turn.transpose ? std::pair{down, across} : std::pair{across, down};
}

// A block's coefficients turned: transposing swaps the frequencies across
// and down; mirroring negates the odd frequencies of its direction.
class BlockTurn {
 public:
  explicit BlockTurn(Turn turn);
  void operator()(const JCOEF* in, JCOEF* out) const {
    for (int k = 0; k < DCTSIZE2; ++k) out[k] = static_cast<JCOEF>(in[from_[k]] * sign_[k]);
  }

 private:
  std::array<unsigned char, DCTSIZE2> from_{};
  std::array<JCOEF, DCTSIZE2> sign_{};
};

}  // namespace lumaset::imaging_detail
