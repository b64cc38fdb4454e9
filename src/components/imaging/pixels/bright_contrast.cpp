#include "components/imaging/pixels/bright_contrast.h"

#include <algorithm>
#include <cmath>

#include "components/imaging/imaging.h"
#include "components/imaging/pixels/pixel_effects.h"

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

// One change of the held picture, in row bands, that UndoLast can take back.
Status ImgBrightContrast(Imaging& imaging, int brightness, int contrast, const QString& undoLabel) {
  const ChannelTable table = BrightContrastTable(brightness, contrast);
  return imaging.ApplyPixelWork(QStringLiteral("Adjusting brightness and contrast"), undoLabel,
                                [&table](const QImage& source, PixelJob& job) { return MapChannels(source, table, job); });
}

}  // namespace lumaset
