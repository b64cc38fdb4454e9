#pragma once

// Brightness and contrast: one table of 256 values maps each colour channel
// of each pixel, so the effect costs the same on any picture and never moves
// a colour's hue.
//
// Levels are percentages. Brightness adds `brightness` per cent of full
// white to each channel: -100 gives black, +100 white, 0 leaves the picture.
// Contrast stretches (positive) or flattens (negative) each channel around
// the middle grey by `contrast` per cent: -100 gives flat grey. Contrast
// applies first, so that brightness -100 stays black whatever the contrast.
// Levels beyond -100..100 act as the nearest end.

#include <QImage>
#include <QString>

#include <array>
#include <cstdint>

#include "components/result.h"

namespace lumaset {

class Imaging;

inline constexpr int kLevelLimit = 100;

using ChannelTable = std::array<std::uint8_t, 256>;

// What each channel value becomes.
ChannelTable BrightContrastTable(int brightness, int contrast);

// The picture with the levels applied; any picture format goes in, and a
// picture of the held format (opaque 32-bit RGB) comes out. A null picture
// stays null.
QImage BrightContrast(const QImage& picture, int brightness, int contrast);

// Applies the levels to the picture that `imaging` holds, as one change that
// UndoLast can take back (unless `undoLabel` is Imaging::kNoUndo).
Status ImgBrightContrast(Imaging& imaging, int brightness, int contrast,
                         const QString& undoLabel = {});

}  // namespace lumaset
