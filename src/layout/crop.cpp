#include "layout/crop.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "components/imaging/imaging.h"
#include "layout/page_model.h"
#include "layout/temporary_pictures.h"
#include "layout/undo_stack.h"

namespace lumaset {

namespace {

// The followed edge stops this far short of the edge across from it (a pixel
// at 96 DPI), so a rectangle dragged past itself never turns inside out.
constexpr float kCropSliver = 15;

const QString kCropKind = QStringLiteral("Crop");
const QString kCropTip = QStringLiteral("Undo last picture crop");
const QString kCropError = QStringLiteral("Error editing image: ");

// One axis of the crop rectangle: `start` and `size` of the rectangle,
// `boxStart` and `boxSize` of the picture, `down` the press and `to` the
// pointer along that axis.
void FollowAxis(float& start, float& size, float boxStart, float boxSize, float down, float to) {
  if (down <= start) {
    const float edge = std::min(to, start + size - kCropSliver);
    size = size - (edge - start);
    start = edge;
  }
  if (start + size <= down) size = size + (to - (start + size));
  if (start < boxStart) start = boxStart;
  if (size < kCropMinSide) size = kCropMinSide;
  if (boxStart + boxSize < start + size) size = boxSize - (start - boxStart);
}

// A share of the picture's side in pixels, the share taken as a 32-bit float
// like the page's own values, rounded half to even.
double SharePixels(float twips, float side, int pixels) {
  const float share = twips / side;
  return std::nearbyint(static_cast<double>(share) * pixels);
}

int ClampPixels(double value, int low, int high) {
  return static_cast<int>(std::clamp(value, static_cast<double>(low), static_cast<double>(high)));
}

Result<QImage> CutKeptPart(PageModel& model, CropHost& host, int slot, const FrameRect& crop) {
  const FrameRect box = BoxRect(model.box(slot));
  const std::optional<FrameRect> kept = KeptPart(crop, box);
  if (!kept) return Error{QStringLiteral("The crop rectangle lies outside the picture.")};
  const std::int32_t countBefore = model.edit().tempCount;
  const QString target = model.NextTemporaryPicture(host.TempImagesFolder(), slot);
  const int longSide = static_cast<int>(std::nearbyint(host.ImageRes()));
  Result<QImage> picture =
      CropPictureFile(host.imaging(), model.pic(slot).file, *kept, box, target, longSide);
  // Nothing was written: the next temporary picture may take this number.
  if (!picture) {
    model.edit().tempCount = countBefore;
    return picture;
  }
  model.pic(slot).file = target;
  PicBox& placed = model.box(slot);
  placed.left = kept->left;
  placed.top = kept->top;
  placed.width = kept->width;
  placed.height = kept->height;
  placed.visible = true;
  return picture;
}


}  // namespace

FrameRect BoxRect(const PicBox& box) { return {box.left, box.top, box.width, box.height}; }

bool InCropGrabZone(const FrameRect& box, QPointF point) {
  const auto x = static_cast<float>(point.x());
  const auto y = static_cast<float>(point.y());
  return x > box.left - kCropGrabMargin && x < box.right() + kCropGrabMargin &&
         y > box.top - kCropGrabMargin && y < box.bottom() + kCropGrabMargin;
}

FrameRect FollowCropPointer(FrameRect rect, const FrameRect& box, QPointF down, QPointF pointer) {
  const auto downX = static_cast<float>(down.x());
  const auto downY = static_cast<float>(down.y());
  if (rect.bottom() >= downY && downY >= rect.top) {
    FollowAxis(rect.left, rect.width, box.left, box.width, downX, static_cast<float>(pointer.x()));
  } else {
    FollowAxis(rect.top, rect.height, box.top, box.height, downY, static_cast<float>(pointer.y()));
  }
  return rect;
}

std::optional<FrameRect> KeptPart(const FrameRect& crop, const FrameRect& box) {
  const float left = std::max(crop.left, box.left);
  const float top = std::max(crop.top, box.top);
  const float right = std::min(crop.right(), box.right());
  const float bottom = std::min(crop.bottom(), box.bottom());
  if (!(right > left) || !(bottom > top)) return std::nullopt;
  return FrameRect{left, top, right - left, bottom - top};
}

Result<PixelRect> CropPixels(const FrameRect& kept, const FrameRect& box, QSize filePixels) {
  if (!(box.width > 0) || !(box.height > 0)) {
    return Error{QStringLiteral("The picture has no size on the page.")};
  }
  if (filePixels.isEmpty()) return Error{QStringLiteral("The picture has no pixels.")};
  const int fileWidth = filePixels.width();
  const int fileHeight = filePixels.height();
  const double left = SharePixels(std::fabs(kept.left - box.left), box.width, fileWidth);
  const double top = SharePixels(std::fabs(kept.top - box.top), box.height, fileHeight);
  const double width = SharePixels(kept.width, box.width, fileWidth);
  const double height = SharePixels(kept.height, box.height, fileHeight);
  if (!std::isfinite(left + top + width + height)) {
    return Error{QStringLiteral("The crop rectangle is not a rectangle.")};
  }
  PixelRect pixels;
  pixels.left = ClampPixels(left, 0, fileWidth - 1);
  pixels.top = ClampPixels(top, 0, fileHeight - 1);
  pixels.width = ClampPixels(width, 1, fileWidth - pixels.left);
  pixels.height = ClampPixels(height, 1, fileHeight - pixels.top);
  return pixels;
}

Result<QImage> CropPictureFile(Imaging& imaging, const QString& source, const FrameRect& kept,
                               const FrameRect& box, const QString& target, int pageLongSide) {
  if (const Status loaded = imaging.LoadFile(source); !loaded) return Error{loaded.error()};
  // The loaded picture's own size, which is the file's: the reader is the same.
  const auto pixels = CropPixels(kept, box, QSize(imaging.PixelWidth(), imaging.PixelHeight()));
  if (!pixels) return Error{pixels.error()};
  if (const Status cut = imaging.ImgCrop(pixels->left, pixels->top, pixels->width, pixels->height); !cut) {
    return Error{cut.error()};
  }
  return SaveTemporaryPicture(imaging, target, pageLongSide);
}

bool ImageCrop(PageModel& model, CropHost& host, const FrameRect& crop) {
  const int slot = model.picCur();
  if (!model.OnPage(slot)) {
    host.ToolEnable(false, -1);
    return false;
  }
  host.ToolEnable(false, slot);
  if (const Status pushed = host.UndoAdd(kCropKind, kCropTip); !pushed) {
    host.ShowError(kCropError + pushed.error());
    host.ToolEnable(true, slot);
    return false;
  }
  const Result<QImage> picture = CutKeptPart(model, host, slot, crop);
  if (!picture) {
    host.UndoAbandon();
    host.ShowError(kCropError + picture.error());
    host.ToolEnable(true, slot);
    return false;
  }
  host.SetPicture(slot, *picture);
  FractionsFromBox(model, slot);
  host.ToolEnable(true, slot);
  return true;
}

}  // namespace lumaset
