#pragma once

// The main window measures itself in twips (1440 to the inch), so that its
// layout rules read the same at every screen density; widgets take pixels, and
// these helpers turn one into the other.

#include <cmath>

namespace lumaset {

inline constexpr int kTwipsPerInch = 1440;

// A rectangle in twips: left and top edge, width and height.
struct TwipsRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;

  bool isEmpty() const { return width <= 0 || height <= 0; }
  friend bool operator==(const TwipsRect&, const TwipsRect&) = default;
};

// Twips in one pixel at the screen's logical density: 15 at 96 DPI. A screen
// that reports no usable density counts as 96 DPI.
inline double TwipsPerPixel(double logicalDpi) {
  if (!std::isfinite(logicalDpi) || logicalDpi <= 0) logicalDpi = 96;
  return kTwipsPerInch / logicalDpi;
}

inline int TwipsToPixels(double twips, double twipsPerPixel) {
  if (!(twipsPerPixel > 0)) twipsPerPixel = TwipsPerPixel(96);
  return static_cast<int>(std::lround(twips / twipsPerPixel));
}

inline int PixelsToTwips(double pixels, double twipsPerPixel) {
  if (!(twipsPerPixel > 0)) twipsPerPixel = TwipsPerPixel(96);
  return static_cast<int>(std::lround(pixels * twipsPerPixel));
}

}  // namespace lumaset
