#include "layout/page_mouse.h"

#include <cmath>
#include <utility>

#include "browser/thumb_table.h"
#include "frame/number_from_setting.h"
#include "frame/tool_enable.h"

namespace lumaset {

namespace {

// A move or size is committed only when an edge of the frame has left the
// picture's edge by more than this, so a click never nudges a picture.
constexpr float kCommitSlack = 10;

const QString kMoveError = QStringLiteral("Error moving/sizing image: ");

// A length on the page preview as a printed length on the paper.
float Printed(float twips, float previewSide, float paperSide) {
  if (!(previewSide > 0)) return 0;
  return twips / previewSide * paperSide;
}

QString UnitText(const PageGeometry& page) {
  return page.inches ? QStringLiteral("in") : QStringLiteral("cm");
}

void StoreLeftTop(PageModel& model, int slot) {
  const PageGeometry& page = model.geometry();
  const PicBox& box = model.box(slot);
  if (page.previewWidth > 0) model.pic(slot).leftFrac = box.left / page.previewWidth;
  if (page.previewHeight > 0) model.pic(slot).topFrac = box.top / page.previewHeight;
}

}  // namespace

std::optional<QSizeF> DropFrameSize(const QString& presetText, const PageGeometry& page, int pixelWidth,
                                    int pixelHeight) {
  if (pixelWidth <= 0 || pixelHeight <= 0 || !(page.paperWidth > 0) || !(page.paperHeight > 0)) {
    return std::nullopt;
  }
  const double printedWidth = NumberFromSetting(presetText);
  const double ratio = static_cast<double>(pixelHeight) / pixelWidth;
  const auto width = static_cast<float>(printedWidth / page.paperWidth * page.previewWidth);
  const auto height = static_cast<float>(printedWidth * ratio / page.paperHeight * page.previewHeight);
  return QSizeF(width, height);
}

QString PrintedText(float value) { return QString::number(static_cast<double>(value), 'f', 2); }

PageMouse::PageMouse(PageModel& model, PageMouseHost& host) : model_(model), host_(host) {
  picPointers_.fill(PointerShape::Custom);
}

// ---- Thumbnails dropped on the page ----

void PageMouse::picPreview_DragOver(bool fromThumbnail, float x, float y) {
  if (host_.Thumbs().ThumbHover() == -1 || !fromThumbnail) return;
  PlaceDropFrame(QPointF(x, y));
}

void PageMouse::imPreview_DragOver(int index, bool fromThumbnail, float x, float y) {
  if (!ValidSlot(index)) return;
  const PicBox& box = model_.box(index);
  picPreview_DragOver(fromThumbnail, box.left + x, box.top + y);
}

void PageMouse::PlaceDropFrame(QPointF centre) {
  const ThumbTable& thumbs = host_.Thumbs();
  const int hover = thumbs.ThumbHover();
  const std::optional<QSizeF> size =
      DropFrameSize(host_.PresetWidthText(), page(), thumbs.ThumbWidths(hover), thumbs.ThumbHeights(hover));
  if (!size) return;  // a picture of unknown size cannot be placed
  PageEditState& state = edit();
  state.addWidth = static_cast<float>(size->width());
  state.addHeight = static_cast<float>(size->height());
  frame_.rect =
      FrameRect{static_cast<float>(centre.x()) - state.addWidth / 2,
                static_cast<float>(centre.y()) - state.addHeight / 2, state.addWidth, state.addHeight};
  frame_.visible = true;
  state.dragAdd = true;
  host_.ShowFrame(frame_);
}

void PageMouse::picPreview_DragDrop(float x, float y) { Drop(QPointF(x, y)); }

void PageMouse::imPreview_DragDrop(int index, float x, float y) {
  if (!ValidSlot(index)) return;
  const PicBox& box = model_.box(index);
  Drop(QPointF(box.left + x, box.top + y));
}

void PageMouse::Drop(QPointF centre) {
  const int hover = host_.Thumbs().ThumbHover();
  if (hover == -1) {
    host_.ToolEnable(false, -1);
    return;
  }
  if (!edit().dragAdd) return;
  edit().downX = static_cast<float>(centre.x());
  edit().downY = static_cast<float>(centre.y());
  const QString file = host_.Thumbs().ThumbFiles(hover);
  host_.PicAdd(file);
}

void PageMouse::ClickToAdd(QPointF centre) {
  ThumbTable& thumbs = host_.Thumbs();
  const int selected = thumbs.ThumbSel();
  // Armed by a drag that ended elsewhere, with no thumbnail selected: nothing to add.
  if (selected == -1) return;
  thumbs.setThumbHover(selected);
  edit().downX = static_cast<float>(centre.x());
  edit().downY = static_cast<float>(centre.y());
  const QString file = thumbs.ThumbFiles(selected);
  host_.PicAdd(file);
}

// ---- The empty page ----

void PageMouse::picPreview_MouseDown(int button, float x, float y) {
  if (button == kRightButton) return;
  if (edit().cropArmed && pagePointer_ == PointerShape::Custom) {
    CropStart(x, y);
    return;
  }
  host_.ToolEnable(false, -1);
  if (host_.GenClick() && host_.Thumbs().ThumbSel() > -1) edit().dragAdd = true;
}

void PageMouse::picPreview_MouseMove(float x, float y) {
  if (edit().dragAdd) return;
  const int slot = model_.SelectedOnPage();
  if (edit().cropArmed && slot >= 0 && InCropGrabZone(BoxRect(model_.box(slot)), QPointF(x, y))) {
    host_.SetPageTip(QStringLiteral("Cropping"));
    SetPagePointer(PointerShape::Custom);
    return;
  }
  const PageGeometry& paper = page();
  host_.SetPageTip(PrintedText(Printed(x, paper.previewWidth, paper.paperWidth)) + QStringLiteral(" -- ") +
                   PrintedText(Printed(y, paper.previewHeight, paper.paperHeight)) + QLatin1Char(' ') +
                   UnitText(paper));
  if (!edit().cropping) {
    SetPagePointer(PointerShape::Cross);
    return;
  }
  SetPagePointer(PointerShape::Custom);
  CropFollow(x, y);
}

void PageMouse::picPreview_MouseUp(int button, float x, float y) {
  if (button == kLeftButton) {
    if (edit().dragAdd) {
      if (host_.GenClick()) ClickToAdd(QPointF(x, y));
    } else if (edit().cropping) {
      CropEnd();
    }
  } else if (!edit().clipFile.isEmpty()) {
    edit().downX = x;
    edit().downY = y;
    host_.PopupPasteMenu();
  }
  edit().dragAdd = false;
  edit().cropping = false;
}

void PageMouse::picPreview_KeyDown(int qtKey) {
  if (qtKey == Qt::Key_Escape) host_.RequestAbort();
}

// ---- Crop mode ----

void PageMouse::mnuToolCrop_Click() {
  host_.PlayToolSound();
  if (!cropChecked_) {
    cropChecked_ = true;
    host_.ShowCropMode(true);
    edit().cropArmed = true;
    return;
  }
  cropChecked_ = false;
  host_.ShowCropMode(false);
  // A press on a picture while crop mode waited may have left a move
  // pending; it would keep the next corner drag from sizing.
  PageEditState& state = edit();
  state.cropArmed = false;
  state.cropping = false;
  state.moving = false;
  state.sizing = false;
  const int slot = model_.SelectedOnPage();
  host_.ToolEnable(slot >= 0, slot);
}

void PageMouse::CropStart(float x, float y) {
  PageEditState& state = edit();
  state.cropArmed = false;
  state.cropping = true;
  host_.Thumbs().setThumbHover(-1);
  state.sizing = false;
  state.moving = false;
  state.downX = x;
  state.downY = y;
  // The gesture cuts the picture's own box, wherever a drag over the page
  // may have left the frame since the picture was selected.
  if (const int slot = model_.SelectedOnPage(); slot >= 0) {
    frame_.rect = BoxRect(model_.box(slot));
    host_.ShowFrame(frame_);
  }
}

void PageMouse::CropFollow(float x, float y) {
  const int slot = model_.SelectedOnPage();
  if (slot < 0) {
    host_.ToolEnable(false, -1);  // the picture left the page: nothing to crop
    return;
  }
  frame_.rect = FollowCropPointer(frame_.rect, BoxRect(model_.box(slot)), QPointF(edit().downX, edit().downY),
                                  QPointF(x, y));
  host_.ShowFrame(frame_);
}

void PageMouse::CropEnd() {
  ImageCrop();
  const PageGeometry& paper = page();
  host_.SetWidthText(PrintedText(Printed(frame_.rect.width, paper.previewWidth, paper.paperWidth)));
}

void PageMouse::ImageCrop() {
  if (model_.SelectedOnPage() < 0) {
    host_.ToolEnable(false, -1);
    return;
  }
  const FrameRect crop = frame_.rect;  // switching the tools off and on moves the frame
  lumaset::ImageCrop(model_, host_, crop);
  mnuToolCrop_Click();
}

// ---- Placed pictures ----

void PageMouse::imPreview_MouseDown(int index, int button, float x, float y) {
  if (!ValidSlot(index)) return;
  if (host_.GenClick() && host_.Thumbs().ThumbSel() > -1) {
    edit().dragAdd = true;  // the release adds the thumbnail
    return;
  }
  PressPicture(index, button, x, y);
}

// An addition or an effect selects its picture as a click on it would, but
// never adds a thumbnail of its own: one selected since, or a press or drag
// that armed an addition meanwhile, is for the user's own release or drop.
// Nor does it start a size where the user's last hover left a corner's
// pointer: the click is in the picture, not on its frame.
void PageMouse::SelectAsClicked(int slot) {
  if (!ValidSlot(slot)) return;
  PageEditState& state = edit();
  const bool armed = std::exchange(state.dragAdd, false);
  SetPicturePointer(slot, PointerShape::Custom);
  const float x = state.downX;
  const float y = state.downY;
  PressPicture(slot, kLeftButton, x, y);
  imPreview_MouseUp(slot, x, y);
  state.dragAdd = armed;
}

void PageMouse::PressPicture(int index, int button, float x, float y) {
  PageEditState& state = edit();
  if (state.dragAdd || state.cropping) return;
  model_.setPicCur(index);
  const PicBox& box = model_.box(index);
  state.downLeft = box.left;
  state.downTop = box.top;
  state.downWidth = box.width;
  state.downHeight = box.height;
  state.downAspect = box.height > 0 ? box.width / box.height : 0;
  state.downX = x;
  state.downY = y;
  if (frame_.visible && picPointers_.at(static_cast<std::size_t>(index)) != PointerShape::Custom) {
    state.sizing = true;
    return;
  }
  host_.ToolEnable(true, index);
  if (button == kLeftButton) {
    state.moving = true;
  } else {
    host_.PopupToolsMenu();
  }
}

void PageMouse::imPreview_MouseMove(int index, int buttons, float x, float y) {
  if (!ValidSlot(index)) return;
  const PageEditState& state = edit();
  // A size keeps the diagonal pointer it started with.
  if (!state.sizing) SetPicturePointer(index, PointerShape::Custom);
  const PicBox& box = model_.box(index);
  const PageGeometry& paper = page();
  host_.SetPictureTip(
      index,
      QStringLiteral("Image %1 (%2 x %3 %4)")
          .arg(index + 1)
          .arg(PrintedText(Printed(box.width, paper.previewWidth, paper.paperWidth)),
               PrintedText(Printed(box.height, paper.previewHeight, paper.paperHeight)), UnitText(paper)));
  if (!frame_.visible || state.dragAdd || state.cropping || state.cropArmed) return;
  // Corners are looked for only between gestures, so a drag that passes
  // over a corner of the picture keeps following the pointer.
  if (!state.moving && !state.sizing) CornerZones(index, x, y);
  if (state.moving && (buttons & kLeftButton) != 0) FrameFollows(index, x, y);
  if (state.sizing) FrameSizes(index, x);
}

void PageMouse::CornerZones(int index, float x, float y) {
  if (!frame_.handlesVisible) return;
  const PicBox& box = model_.box(index);
  if (x < 0 || y < 0 || x > box.width || y > box.height) return;
  // The zones are measured with the frame, which lies on the selected picture.
  const auto handle = static_cast<float>(kHandleSize);
  const float frameWidth = frame_.rect.width;
  const float frameHeight = frame_.rect.height;
  const bool left = x <= handle;
  const bool right = x >= frameWidth - handle;
  const bool top = y <= handle;
  const bool bottom = y >= frameHeight - handle;
  // Later tests override earlier ones, as the corners may overlap on a small picture.
  if (left && top) SetPicturePointer(index, PointerShape::SizeNwSe);
  if (left && bottom) SetPicturePointer(index, PointerShape::SizeNeSw);
  if (right && top) SetPicturePointer(index, PointerShape::SizeNeSw);
  if (right && bottom) SetPicturePointer(index, PointerShape::SizeNwSe);
}

void PageMouse::FrameFollows(int index, float x, float y) {
  const PicBox& box = model_.box(index);
  frame_.rect.left = box.left + x - edit().downX;
  frame_.rect.top = box.top + y - edit().downY;
  PlaceHandles();
  host_.ShowFrame(frame_);
}

// The frame keeps the picture's centre and aspect; its width is the distance
// from the pointer to the picture's far side, so half the picture is the
// smallest it gets. Only the pointer's x counts.
void PageMouse::FrameSizes(int index, float x) {
  const PicBox& box = model_.box(index);
  const PageEditState& state = edit();
  const float aspect = state.downAspect;
  const auto heightFor = [aspect](float width) { return aspect > 0 ? width / aspect : 0.0f; };
  if (x <= state.downWidth / 2) {
    frame_.rect =
        FrameRect{box.left + x / 2, box.top + heightFor(x) / 2, box.width - x, box.height - heightFor(x)};
  } else {
    const float grow = x - state.downWidth;
    frame_.rect = FrameRect{box.left - grow / 2, box.top - heightFor(grow) / 2, box.width + grow,
                            box.height + heightFor(grow)};
  }
  PlaceHandles();
  host_.ShowFrame(frame_);
}

void PageMouse::imPreview_MouseUp(int index, float x, float y) {
  if (!ValidSlot(index)) return;
  PageEditState& state = edit();
  if (state.dragAdd && host_.GenClick()) {
    const PicBox& box = model_.box(index);
    ClickToAdd(QPointF(box.left + x, box.top + y));
    state.dragAdd = false;
    return;
  }
  if (!frame_.visible || state.cropArmed || state.cropping) return;
  CommitEdit(index);
  ReleaseClosing(index);
}

void PageMouse::CommitEdit(int index) {
  const PageEditState& state = edit();
  const FrameRect moved = frame_.rect;
  const bool changed = std::fabs(moved.left - state.downLeft) > kCommitSlack ||
                       std::fabs(moved.top - state.downTop) > kCommitSlack ||
                       std::fabs(moved.width - state.downWidth) > kCommitSlack ||
                       std::fabs(moved.height - state.downHeight) > kCommitSlack;
  if (!changed) return;
  const auto pushed = [this](const QString& kind, const QString& tip) {
    const Status status = host_.UndoAdd(kind, tip);
    if (status) return true;
    host_.ShowError(kMoveError + status.error());
    host_.ToolEnable(false, -1);  // the closing steps select the unmoved picture again
    return false;
  };
  PicBox& box = model_.box(index);
  if (state.moving) {
    if (!pushed(QStringLiteral("Move"), QStringLiteral("Undo last picture move"))) return;
    box.left = moved.left;
    box.top = moved.top;
    box.width = moved.width;
    box.height = moved.height;
    StoreLeftTop(model_, index);
    if (!state.layoutTitle.isEmpty()) host_.EnableSave();
    host_.ShowPictures();
  }
  if (state.sizing) {
    if (!pushed(QStringLiteral("Size"), QStringLiteral("Undo last picture resize"))) return;
    box.left = moved.left;  // the width box sets the size from this corner
    box.top = moved.top;
    if (!state.layoutTitle.isEmpty()) host_.EnableSave();
    host_.ShowPictures();
  }
}

void PageMouse::ReleaseClosing(int index) {
  const PageGeometry& paper = page();
  host_.SetWidthText(PrintedText(Printed(frame_.rect.width, paper.previewWidth, paper.paperWidth)));
  host_.WidthChange();
  host_.ShowPictures();
  SetPicturePointer(index, PointerShape::Custom);
  edit().moving = false;
  edit().sizing = false;
}

void PageMouse::imPreview_DblClick(int index) {
  if (!ValidSlot(index)) return;
  const PicBox& box = model_.box(index);
  const float aspect = box.height > 0 ? box.width / box.height : 0;
  const QString file = model_.pic(index).file;
  host_.ShowPreview(file, aspect);
}

// ---- The selection ----

void PageMouse::FollowToolEnable(bool enable, int slot) {
  if (enable && ValidSlot(slot)) {
    frame_.rect = BoxRect(model_.box(slot));
    frame_.visible = true;
    frame_.handlesVisible = true;
    PlaceHandles();
    host_.ShowFrame(frame_);
    return;
  }
  frame_.visible = false;  // keeps its place: a crop reads it after switching off
  frame_.handlesVisible = false;
  PageEditState& state = edit();
  state.cropArmed = false;
  state.cropping = false;
  state.moving = false;
  state.sizing = false;
  cropChecked_ = false;
  host_.ShowFrame(frame_);
  host_.ShowCropMode(false);
  SetPagePointer(PointerShape::Cross);
}

void PageMouse::Reset() {
  picPointers_.fill(PointerShape::Custom);
  pagePointer_ = PointerShape::Cross;
  frame_ = SelectionFrame{};
  cropChecked_ = false;
  grab_ = kNoGrab;
}

void PageMouse::PlaceHandles() {
  const FrameRect& rect = frame_.rect;
  const auto offset = static_cast<float>(kHandleOffset);
  const float left = rect.left - offset;
  const float top = rect.top - offset;
  const float right = rect.left + rect.width - offset;
  const float bottom = rect.top + rect.height - offset;
  frame_.handles = {QPointF(left, top), QPointF(right, top), QPointF(left, bottom), QPointF(right, bottom)};
}

void PageMouse::SetPicturePointer(int slot, PointerShape shape) {
  picPointers_.at(static_cast<std::size_t>(slot)) = shape;
  host_.SetPicturePointer(slot, shape);
}

void PageMouse::SetPagePointer(PointerShape shape) {
  pagePointer_ = shape;
  host_.SetPagePointer(shape);
}

// ---- Routing page points ----

QPointF PageMouse::Relative(int slot, QPointF page) const {
  const PicBox& box = model_.box(slot);
  return QPointF(page.x() - box.left, page.y() - box.top);
}

void PageMouse::PressAt(QPointF page, int button, int buttonsHeld, int slotUnder) {
  // A press with no other button down starts a gesture on what lies under it.
  if (grab_ == kNoGrab || buttonsHeld == button) grab_ = ValidSlot(slotUnder) ? slotUnder : -1;
  const int target = grab_;
  if (target >= 0 && model_.box(target).visible) {
    const QPointF at = Relative(target, page);
    imPreview_MouseDown(target, button, static_cast<float>(at.x()), static_cast<float>(at.y()));
  } else {
    picPreview_MouseDown(button, static_cast<float>(page.x()), static_cast<float>(page.y()));
  }
}

bool PageMouse::PressArmsAddition(int button, int slotUnder) const {
  if (!host_.GenClick() || host_.Thumbs().ThumbSel() < 0) return false;
  if (ValidSlot(slotUnder) && model_.box(slotUnder).visible) return true;
  const PageEditState& state = model_.edit();
  return button != kRightButton && !(state.cropArmed && pagePointer_ == PointerShape::Custom);
}

void PageMouse::MoveAt(QPointF page, int buttons, int slotUnder) {
  if (buttons == 0) grab_ = kNoGrab;  // a release went elsewhere, to a menu or a dialog
  const int target = grab_ != kNoGrab ? grab_ : (ValidSlot(slotUnder) ? slotUnder : -1);
  if (target >= 0 && model_.box(target).visible) {
    const QPointF at = Relative(target, page);
    imPreview_MouseMove(target, buttons, static_cast<float>(at.x()), static_cast<float>(at.y()));
  } else {
    picPreview_MouseMove(static_cast<float>(page.x()), static_cast<float>(page.y()));
  }
}

void PageMouse::ReleaseAt(QPointF page, int button, int buttonsHeld, int slotUnder) {
  const int target = grab_ != kNoGrab ? grab_ : (ValidSlot(slotUnder) ? slotUnder : -1);
  if (buttonsHeld == 0) grab_ = kNoGrab;
  if (target >= 0 && model_.box(target).visible) {
    const QPointF at = Relative(target, page);
    imPreview_MouseUp(target, static_cast<float>(at.x()), static_cast<float>(at.y()));
  } else {
    picPreview_MouseUp(button, static_cast<float>(page.x()), static_cast<float>(page.y()));
  }
}

void PageMouse::DoubleClickAt(int slotUnder) {
  if (ValidSlot(slotUnder)) imPreview_DblClick(slotUnder);
}

void PageMouse::DragOverAt(QPointF page, bool fromThumbnail, int slotUnder) {
  if (ValidSlot(slotUnder)) {
    const QPointF at = Relative(slotUnder, page);
    imPreview_DragOver(slotUnder, fromThumbnail, static_cast<float>(at.x()), static_cast<float>(at.y()));
  } else {
    picPreview_DragOver(fromThumbnail, static_cast<float>(page.x()), static_cast<float>(page.y()));
  }
}

void PageMouse::DropAt(QPointF page, int slotUnder) {
  if (ValidSlot(slotUnder)) {
    const QPointF at = Relative(slotUnder, page);
    imPreview_DragDrop(slotUnder, static_cast<float>(at.x()), static_cast<float>(at.y()));
  } else {
    picPreview_DragDrop(static_cast<float>(page.x()), static_cast<float>(page.y()));
  }
}

}  // namespace lumaset
