#pragma once

// The picture tools of the page follow the selection: switched on for a
// placed picture they show the selection frame with four size handles around
// it and enable the picture commands, Bring to Front and Send to Back limited
// by the picture's place in the stack; switched off they hide the frame,
// disable the commands, leave crop mode and clear the page's mouse states.

#include <QPoint>

#include <array>
#include <optional>

#include "frame/units.h"

namespace lumaset {

// What the tools need to know of the picture they are switched on for.
struct PicturePlace {
  int zRank = 0;    // its stacking rank
  int picLast = 0;  // the highest slot in use on the page (the topmost rank)
  TwipsRect box;    // its rectangle on the page, twips of the page
};

struct ToolState {
  // The selection frame and the top-left corners of the four size handles
  // (top left, top right, bottom left, bottom right); none while off.
  std::optional<TwipsRect> frame;
  std::array<QPoint, 4> handles{};

  bool tools = false;  // the Tools menu and the Crop, Rotate, Delete and Effects buttons
  bool front = false;  // Bring to Front, item and button
  bool back = false;   // Send to Back, item and button

  // Switching off also leaves crop mode and ends any move or size.
  bool leaveCropMode = false;
  bool clearMouseStates = false;

  friend bool operator==(const ToolState&, const ToolState&) = default;
};

inline constexpr int kHandleOffset = 50;  // twips above and left of each corner
inline constexpr int kHandleSize = 105;

// `ToolEnable` as data: what the window shows and enables for a picture, or
// for nothing at all when `place` is empty.
ToolState ToolEnable(const std::optional<PicturePlace>& place);

}  // namespace lumaset
