#pragma once

// Colour arithmetic on bytes: a colour value split into its channels, and
// hue, saturation and luminance, each 0..255, where hue 0 is red, 85 green
// and 171 blue (the circle in 256 steps).

#include <QRgb>

#include <cstdint>

namespace lumaset {

struct ByteTriple {
  std::uint8_t c1 = 0;
  std::uint8_t c2 = 0;
  std::uint8_t c3 = 0;
  bool operator==(const ByteTriple&) const = default;
};

// Red, green and blue of a colour value (QRgb, as PixelColor gives it).
ByteTriple SplitColor(QRgb color);

// Hue, saturation, luminance of red, green, blue. Luminance is the mean of the
// largest and smallest channel; saturation their difference over the largest
// difference that luminance allows; grey has hue and saturation 0.
ByteTriple RgbToHsl(std::uint8_t red, std::uint8_t green, std::uint8_t blue);

// Red, green, blue of hue, saturation, luminance; the inverse of RgbToHsl up
// to rounding.
ByteTriple HslToRgb(std::uint8_t hue, std::uint8_t saturation, std::uint8_t luminance);

}  // namespace lumaset
