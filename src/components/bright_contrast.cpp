#include "components/bright_contrast.h"

#include <algorithm>
#include <cmath>

#include "components/imaging.h"

namespace lumaset {

ChannelTable BrightContrastTable(int brightness, int contrast) {
  const double shift = std::clamp(brightness, -kLevelLimit, kLevelLimit) * 255.0 / kLevelLimit;
  const double gain = (kLevelLimit + std::clamp(contrast, -kLevelLimit, kLevelLimit)) /
                      static_cast<double>(kLevelLimit);
  constexpr double kMiddle = 127.5;
  ChannelTable table{};
  for (int value = 0; value < 256; ++value) {
    const double stretched = std::clamp((value - kMiddle) * gain + kMiddle, 0.0, 255.0);
    table[static_cast<std::size_t>(value)] =
        static_cast<std::uint8_t>(std::clamp(std::lround(stretched + shift), 0L, 255L));
  }
  return table;
}

QImage BrightContrast(const QImage& picture, int brightness, int contrast) {
  if (picture.isNull()) return {};
  QImage result = picture.convertToFormat(QImage::Format_RGB32);
  if (result.isNull()) return {};
  const ChannelTable table = BrightContrastTable(brightness, contrast);
  const auto map = [&table](int channel) { return table[static_cast<std::size_t>(channel)]; };
  for (int y = 0; y < result.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(result.scanLine(y));
    for (int x = 0; x < result.width(); ++x)
      line[x] = qRgb(map(qRed(line[x])), map(qGreen(line[x])), map(qBlue(line[x])));
  }
  return result;
}

// Goes through the imaging layer's pixel bytes, so that the change is kept
// for UndoLast like any other.
Status ImgBrightContrast(Imaging& imaging, int brightness, int contrast, const QString& undoLabel) {
  Result<PixelBits> bits = imaging.GetBits();
  if (!bits) return Error{bits.error()};
  const ChannelTable table = BrightContrastTable(brightness, contrast);
  for (std::uint8_t& channel : bits.value().rgb) channel = table[channel];
  return imaging.LoadBits(bits.value(), undoLabel);
}

}  // namespace lumaset
