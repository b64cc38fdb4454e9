#pragma once

// Cropping a placed picture: the geometry of the crop gesture on the page and
// `ImageCrop`, which cuts the kept part out of the picture's file at full size
// and writes it as the page's next temporary JPEG. The user's own file is
// never written; the page shows the new file from then on.

#include <QImage>
#include <QPointF>
#include <QSize>
#include <QString>

#include <optional>

#include "components/result.h"

namespace lumaset {

class Imaging;
class PageModel;
struct PicBox;

// A rectangle on the page preview in twips, as 32-bit floats.
struct FrameRect {
  float left = 0;
  float top = 0;
  float width = 0;
  float height = 0;

  float right() const { return left + width; }
  float bottom() const { return top + height; }
  friend bool operator==(const FrameRect&, const FrameRect&) = default;
};

FrameRect BoxRect(const PicBox& box);

// Crop mode waits for a press within this many twips of the selected
// picture's box, and never lets the crop rectangle get narrower than the
// minimum by dragging an edge towards its own side.
inline constexpr float kCropGrabMargin = 200;
inline constexpr float kCropMinSide = 100;

// Strictly inside the box grown by the grab margin on every side.
bool InCropGrabZone(const FrameRect& box, QPointF point);

// The crop rectangle after a pointer move: the press point `down` decides
// which edge follows `pointer` (left or right when the press lay level with
// the rectangle, otherwise top or bottom); the other three stay, and the
// rectangle is kept on the picture's `box`.
FrameRect FollowCropPointer(FrameRect rect, const FrameRect& box, QPointF down, QPointF pointer);

// A rectangle of a picture's own pixels.
struct PixelRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  friend bool operator==(const PixelRect&, const PixelRect&) = default;
};

// The part of `crop` that lies on the picture's `box`; nothing when they do
// not overlap.
std::optional<FrameRect> KeptPart(const FrameRect& crop, const FrameRect& box);

// `kept` (a part of `box`) in the pixels of a file of `filePixels`: each
// value rounded half to even, then held inside the picture with at least one
// pixel each way.
Result<PixelRect> CropPixels(const FrameRect& kept, const FrameRect& box, QSize filePixels);

// Loads `source` at full size into `imaging`, keeps the part of it that
// `kept` covers of `box`, writes that as a JPEG to `target` (a new file;
// an existing one is never replaced) and gives it back reduced so that its
// longer side is `pageLongSide` pixels, for the page.
Result<QImage> CropPictureFile(Imaging& imaging, const QString& source, const FrameRect& kept,
                               const FrameRect& box, const QString& target, int pageLongSide);

// What a crop needs of the main window.
class CropHost {
 public:
  virtual ~CropHost() = default;

  // `ToolEnable(Enable, SelIndex)`: switches the picture tools on for `slot`
  // (laying the selection frame on it), or off. The window's implementation
  // calls PageMouse::FollowToolEnable first.
  virtual void ToolEnable(bool enable, int slot) = 0;
  // Pushes an undo step for the selected picture as it is now.
  virtual Status UndoAdd(const QString& kind, const QString& tip) = 0;
  // Takes back the step just pushed, restoring nothing: its edit did not happen.
  virtual void UndoAbandon() = 0;
  // Gives slot `slot` a new picture to show, stretched to its box.
  virtual void SetPicture(int slot, const QImage& picture) = 0;
  // A message box with the exclamation icon and the application's title.
  virtual void ShowError(const QString& text) = 0;

  virtual Imaging& imaging() = 0;                // the main window's imaging object
  virtual QString TempImagesFolder() const = 0;  // private, ending in "/"
  virtual float ImageRes() const = 0;            // the ImageRes setting: pixels of the longer side
};

// Crops the selected picture to `crop` (the selection frame's rectangle):
// the tools are switched off, a "Crop" undo step is pushed, the file is cut
// and written as the next temporary picture, the record and its box are
// pointed at it, and the picture is selected again. A crop that fails takes
// its undo step back, keeps the record as it was and says "Error editing
// image: " with the cause. Gives true when the picture was cropped.
bool ImageCrop(PageModel& model, CropHost& host, const FrameRect& crop);

}  // namespace lumaset
