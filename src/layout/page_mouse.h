#pragma once

// The page's mouse editing as a state machine over the page model: thumbnails
// dropped or clicked onto the page, placed pictures selected, moved and sized
// with the selection frame, and crop mode with its crop rectangle.
//
// Everything it asks of the window goes through PageMouseHost, so a test can
// drive it with synthetic presses, moves and releases. Positions are twips of
// the page preview; a placed picture's events give theirs relative to the
// picture's top-left corner, the page's own events relative to the page.
// The *At methods take page points and route them as the window system
// would: from a press until its release, whatever took the press (the page
// or a placed picture) receives every move and the release.

#include <QPointF>
#include <QSizeF>
#include <QString>

#include <array>
#include <optional>

#include "layout/crop.h"
#include "layout/page_model.h"

namespace lumaset {

class ThumbTable;

// Mouse buttons as a bit set.
inline constexpr int kLeftButton = 1;
inline constexpr int kRightButton = 2;
inline constexpr int kMiddleButton = 4;

// The pointer shapes of the page and its pictures.
enum class PointerShape {
  Default = 0,
  Cross = 2,     // the page's ordinary pointer
  SizeNeSw = 6,  // diagonal double arrow, north-east to south-west
  SizeNwSe = 8,  // diagonal double arrow, north-west to south-east
  Custom = 99,   // a picture's pointing hand; on the page, the crop pointer
};

// The selection frame `shSel` (also the drop frame and the crop rectangle)
// and the top-left corners of its four size handles `shSize`: top left, top
// right, bottom left, bottom right.
struct SelectionFrame {
  FrameRect rect;
  bool visible = false;
  std::array<QPointF, 4> handles{};
  bool handlesVisible = false;
  friend bool operator==(const SelectionFrame&, const SelectionFrame&) = default;
};

// What the page's mouse editing needs of the main window. The window's
// ToolEnable (from CropHost) calls PageMouse::FollowToolEnable, which shows
// the frame, the crop mode and the page pointer through this host, and then
// enables or disables the picture tools itself.
class PageMouseHost : public CropHost {
 public:
  // Adds `file` centred on (DownX, DownY) at AddWidth x AddHeight, disarms
  // DragAdd and selects the new picture.
  virtual void PicAdd(const QString& file) = 0;
  // Applies the printed width in the width box to the selected picture.
  virtual void WidthChange() = 0;
  virtual void SetWidthText(const QString& text) = 0;  // `txtWidth`
  virtual void EnableSave() = 0;                       // `mnuFileSave`
  // The Tools menu `mnuTool`, and the page's popup `mnuImOpt` with Paste, at
  // the pointer; each returns when the menu has closed.
  virtual void PopupToolsMenu() = 0;
  virtual void PopupPasteMenu() = 0;
  // The full-size preview of `file` with no thumbnail selected, shown
  // modally while the memory meter's timer is paused.
  virtual void ShowPreview(const QString& file, float aspect) = 0;
  // The selection frame and handles moved, or the pictures' boxes changed.
  virtual void ShowFrame(const SelectionFrame& frame) = 0;
  virtual void ShowPictures() = 0;
  virtual void SetPicturePointer(int slot, PointerShape shape) = 0;
  virtual void SetPictureTip(int slot, const QString& text) = 0;
  virtual void SetPagePointer(PointerShape shape) = 0;
  virtual void SetPageTip(const QString& text) = 0;
  // `mnuToolCrop` checked and the toolbar button "Crop" pressed, or neither.
  virtual void ShowCropMode(bool on) = 0;
  virtual void PlayToolSound() = 0;  // the TOOL sound, when sounds are on
  virtual void RequestAbort() = 0;   // `AbortRequested`
  virtual ThumbTable& Thumbs() = 0;
  virtual bool GenClick() const = 0;            // a click adds the selected thumbnail
  virtual QString PresetWidthText() const = 0;  // `cmbWH`, such as "3.5 in width"
};

// The drop frame's size for a thumbnail of `pixelWidth` x `pixelHeight`: the
// preset's printed width, and the height the picture's aspect gives it;
// nothing when the picture's size or the paper's is unknown.
std::optional<QSizeF> DropFrameSize(const QString& presetText, const PageGeometry& page, int pixelWidth,
                                    int pixelHeight);

// A printed size on the page, two decimals ("0.00").
QString PrintedText(float value);

class PageMouse {
 public:
  PageMouse(PageModel& model, PageMouseHost& host);

  // The page `picPreview`.
  void picPreview_DragOver(bool fromThumbnail, float x, float y);
  void picPreview_DragDrop(float x, float y);
  void picPreview_MouseDown(int button, float x, float y);
  void picPreview_MouseMove(float x, float y);
  void picPreview_MouseUp(int button, float x, float y);
  void picPreview_KeyDown(int qtKey);

  // Placed picture `index` (`imPreview(index)`); x and y relative to it.
  void imPreview_DragOver(int index, bool fromThumbnail, float x, float y);
  void imPreview_DragDrop(int index, float x, float y);
  void imPreview_MouseDown(int index, int button, float x, float y);
  void imPreview_MouseMove(int index, int buttons, float x, float y);
  void imPreview_MouseUp(int index, float x, float y);
  void imPreview_DblClick(int index);
  // Selects the picture of `slot` as a click on it at (`DownX`, `DownY`)
  // would, for a picture just added or given an effect; it adds nothing,
  // whatever thumbnail is selected or armed, and starts no size.
  void SelectAsClicked(int slot);

  // Tools > "&Crop" and the toolbar button "Crop": crop mode on or off.
  void mnuToolCrop_Click();
  // Crops the selected picture to the crop rectangle and arms crop mode again.
  void ImageCrop();

  // The model's side of `ToolEnable`: on, the frame and handles are laid on
  // `slot`'s box; off, they are hidden (keeping their place), crop mode is
  // left and no move or size goes on.
  void FollowToolEnable(bool enable, int slot);
  // After the page was cleared: every picture pointer is the hand again.
  void Reset();

  // Page points routed to the page or to the placed picture `slotUnder`
  // (-1: the empty page), keeping the target of a press until the last
  // button is released. `buttonsHeld` are the buttons down after the event.
  // A double click stands in for the second press (the page has none of its
  // own); the release after it is routed as any other.
  void PressAt(QPointF page, int button, int buttonsHeld, int slotUnder);
  void MoveAt(QPointF page, int buttons, int slotUnder);
  void ReleaseAt(QPointF page, int button, int buttonsHeld, int slotUnder);
  void DoubleClickAt(int slotUnder);
  // Whether a press there only arms the addition of the selected thumbnail
  // (click-to-add), leaving the page's pictures alone.
  bool PressArmsAddition(int button, int slotUnder) const;
  void DragOverAt(QPointF page, bool fromThumbnail, int slotUnder);
  void DropAt(QPointF page, int slotUnder);

  const SelectionFrame& frame() const { return frame_; }
  PointerShape picturePointer(int slot) const { return picPointers_.at(static_cast<std::size_t>(slot)); }
  PointerShape pagePointer() const { return pagePointer_; }
  bool cropChecked() const { return cropChecked_; }

 private:
  PageEditState& edit() { return model_.edit(); }
  const PageGeometry& page() const { return model_.geometry(); }
  bool ValidSlot(int slot) const { return slot >= 0 && slot < kPageSlots; }

  void PlaceDropFrame(QPointF centre);
  void Drop(QPointF centre);
  void ClickToAdd(QPointF centre);
  void CropStart(float x, float y);
  void CropFollow(float x, float y);
  void CropEnd();
  void PressPicture(int index, int button, float x, float y);
  void CornerZones(int index, float x, float y);
  void FrameFollows(int index, float x, float y);
  void FrameSizes(int index, float x);
  void CommitEdit(int index);
  void ReleaseClosing(int index);
  void PlaceHandles();
  void SetPicturePointer(int slot, PointerShape shape);
  void SetPagePointer(PointerShape shape);
  QPointF Relative(int slot, QPointF page) const;

  PageModel& model_;
  PageMouseHost& host_;
  SelectionFrame frame_;
  std::array<PointerShape, kPageSlots> picPointers_{};
  PointerShape pagePointer_ = PointerShape::Cross;
  bool cropChecked_ = false;
  // What took the last press, while a button is held: -1 the page, a slot,
  // or kNoGrab.
  static constexpr int kNoGrab = -2;
  int grab_ = kNoGrab;
};

}  // namespace lumaset
