#include "frame/tool_enable.h"

namespace lumaset {

ToolState ToolEnable(const std::optional<PicturePlace>& place) {
  ToolState state;
  if (!place) {
    state.leaveCropMode = true;
    state.clearMouseStates = true;
    return state;
  }
  const TwipsRect& box = place->box;
  state.frame = box;
  const int right = box.left + box.width - kHandleOffset;
  const int bottom = box.top + box.height - kHandleOffset;
  const int left = box.left - kHandleOffset;
  const int top = box.top - kHandleOffset;
  state.handles = {QPoint(left, top), QPoint(right, top), QPoint(left, bottom), QPoint(right, bottom)};
  state.tools = true;
  state.back = place->zRank != 0;
  state.front = place->zRank != place->picLast;
  return state;
}

}  // namespace lumaset
