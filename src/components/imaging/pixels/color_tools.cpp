#include "components/imaging/pixels/color_tools.h"

#include <algorithm>

namespace lumaset {

namespace {

// Rounded quotient of non-negative numbers.
constexpr int divRound(int numerator, int denominator) { return (2 * numerator + denominator) / (2 * denominator); }

std::uint8_t byte(int value) { return static_cast<std::uint8_t>(std::clamp(value, 0, 255)); }

}  // namespace

ByteTriple SplitColor(QRgb color) {
  return {static_cast<std::uint8_t>(qRed(color)), static_cast<std::uint8_t>(qGreen(color)),
          static_cast<std::uint8_t>(qBlue(color))};
}

ByteTriple RgbToHsl(std::uint8_t red, std::uint8_t green, std::uint8_t blue) {
  const int r = red, g = green, b = blue;
  const int high = std::max({r, g, b});
  const int low = std::min({r, g, b});
  const int sum = high + low;  // twice the luminance
  const int luminance = divRound(sum, 2);
  const int spread = high - low;
  if (spread == 0) return {0, 0, byte(luminance)};
  const int room = sum <= 255 ? sum : 510 - sum;
  const int saturation = divRound(spread * 255, room);
  // The hue in sixths of the circle, scaled by the spread: red 0, green 2, blue 4.
  int sixths = high == r ? g - b : high == g ? (b - r) + 2 * spread : (r - g) + 4 * spread;
  if (sixths < 0) sixths += 6 * spread;
  const int hue = divRound(sixths * 256, 6 * spread) % 256;
  return {byte(hue), byte(saturation), byte(luminance)};
}

ByteTriple HslToRgb(std::uint8_t hue, std::uint8_t saturation, std::uint8_t luminance) {
  const int l = luminance, s = saturation;
  if (s == 0) return {luminance, luminance, luminance};
  const int high = l <= 127 ? divRound(l * (255 + s), 255) : l + s - divRound(l * s, 255);
  const int low = 2 * l - high;
  // One channel at a point of the circle counted in 768 steps.
  const auto channel = [&](int turn) {
    const int t = ((turn % 768) + 768) % 768;
    if (t < 128) return byte(low + divRound((high - low) * t, 128));
    if (t < 384) return byte(high);
    if (t < 512) return byte(low + divRound((high - low) * (512 - t), 128));
    return byte(low);
  };
  const int turn = 3 * hue;
  return {channel(turn + 256), channel(turn), channel(turn - 256)};
}

}  // namespace lumaset
