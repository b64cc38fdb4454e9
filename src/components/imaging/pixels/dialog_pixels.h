#pragma once

// The pixel rules of the colour adjust and colour replace dialogs. Both work
// in row bands over the worker threads and give the same bytes for any
// number of threads; as imaging operations they report progress per band and
// keep their result as one change that UndoLast can take back.

#include <QImage>
#include <QRect>
#include <QRgb>
#include <QString>

#include <array>
#include <cstdint>

#include "components/imaging/imaging.h"
#include "components/imaging/pixels/pixel_bands.h"
#include "components/result.h"

namespace lumaset {

// What the progress window says while either rule runs.
inline const QString kAdjustingColorText = QStringLiteral("Adjusting color: % done");

// One channel byte moved by `offset`; a sum outside 0..255 keeps the byte as it was.
inline std::uint8_t AdjustByte(int byte, int offset) {
  const int sum = byte + offset;
  return static_cast<std::uint8_t>(sum >= 0 && sum <= 255 ? sum : byte);
}

// Red, green and blue offsets added to every pixel by AdjustByte.
Result<QImage> AdjustRgb(const QImage& source, int red, int green, int blue, PixelJob& job);
Status ImgAdjustRgb(Imaging& imaging, int red, int green, int blue, const QString& undoLabel = {});

// The bytes a channel accepts around the old colour: floor(old - t/3) to
// floor(old + t/3), the third taken exactly.
struct ReplaceRange {
  std::array<int, 3> low{};
  std::array<int, 3> high{};
  bool Matches(QRgb pixel) const;
};
ReplaceRange MakeReplaceRange(QRgb oldColor, int tolerance);

// Within `area` (cut to the picture), pixels in the range of `oldColor`
// become `newColor`; every other pixel stays.
Result<QImage> ReplaceInArea(const QImage& source, const QRect& area, QRgb oldColor, QRgb newColor, int tolerance,
                             PixelJob& job);
Status ImgReplaceInArea(Imaging& imaging, const QRect& area, QRgb oldColor, QRgb newColor, int tolerance,
                        const QString& undoLabel = {});

}  // namespace lumaset
