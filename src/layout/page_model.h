#pragma once

#include <vector>

// The layout page's model: one record per slot of the page, each slot bound
// to one placed picture, the page's counters, and the edit state that the
// mouse handlers, the picture commands and the documents share.
//
// Positions are kept twice, on purpose: each record holds its picture's
// fractions of the page (what is saved, printed and redrawn from), and each
// slot its box on the page preview in twips (what the mouse works on). The
// page widget draws from this model and never reads a position back from a
// widget.

#include <QString>

#include <array>
#include <cstdint>

namespace lumaset {

inline constexpr int kPageSlots = 201;  // slots 0 to 200

// `PagePic`: the record of one slot.
struct PagePic {
  QString file;              // the shown picture: the added file, or a temporary JPEG
  std::int16_t zRank = 0;    // stacking rank; larger is nearer the front; -1 not on the page
  float leftFrac = 0;        // left edge and width over the preview's width,
  float topFrac = 0;         // top edge and height over the preview's height
  float widthFrac = 0;
  float heightFrac = 0;

  friend bool operator==(const PagePic&, const PagePic&) = default;
};

// A placed picture's box on the page preview (`imPreview(i)`), in twips.
struct PicBox {
  float left = 0;
  float top = 0;
  float width = 0;
  float height = 0;
  bool visible = false;

  friend bool operator==(const PicBox&, const PicBox&) = default;
};

// The edit state shared by the page's handlers; page coordinates are twips
// of the preview.
struct PageEditState {
  float downX = 0;  // the last press, or the point an addition is centred on
  float downY = 0;
  float addWidth = 0;  // the size of the next picture added
  float addHeight = 0;
  float downLeft = 0;  // the selected picture's box at the press
  float downTop = 0;
  float downWidth = 0;
  float downHeight = 0;
  float downAspect = 0;
  bool dragAdd = false;  // an addition is armed
  bool moving = false;
  bool sizing = false;
  bool cropArmed = false;
  bool cropping = false;
  QString clipFile;  // the internal picture clipboard
  float clipWidth = 0;
  float clipHeight = 0;
  QString layoutTitle;  // the file title of the current layout; "" while unsaved
  QString labelText;
  QString picFile;  // the picture being placed from a layout file
  std::int32_t tempCount = 0;
};

// The page geometry of the current printer (or the defaults without one), in
// the current unit (inches or centimetres by the ScaleType setting), and the
// preview's size. Written only by the page refresh; read by everything else.
struct PageGeometry {
  bool inches = true;       // the unit: exactly "Inches" means inches
  float paperWidth = 8.5f;  // `PaperWidth`, `PaperHeight`: the paper as the printer has it now
  float paperHeight = 11.0f;
  float noPrintLeft = 0.5f;  // `NoPrintLeft`, `NoPrintTop`: the unprintable strips (both sides)
  float noPrintTop = 0.5f;
  float printerRes = 300;  // `PrinterRes`: printer dots per unit across the printable width
  float fontScale = 1;     // `FontScale`: preview pixels per printed point
  bool portrait = true;    // the portrait option `optPort` is selected
  float previewWidth = 0;  // `picPreview`'s size, twips
  float previewHeight = 0;

  float printableWidth() const { return paperWidth - 2 * noPrintLeft; }
  float printableHeight() const { return paperHeight - 2 * noPrintTop; }
};

class PageModel {
 public:
  PageModel() = default;

  std::array<PagePic, kPageSlots>& pics() { return pics_; }
  const std::array<PagePic, kPageSlots>& pics() const { return pics_; }
  PagePic& pic(int slot) { return pics_.at(static_cast<std::size_t>(slot)); }
  const PagePic& pic(int slot) const { return pics_.at(static_cast<std::size_t>(slot)); }
  PicBox& box(int slot) { return boxes_.at(static_cast<std::size_t>(slot)); }
  const PicBox& box(int slot) const { return boxes_.at(static_cast<std::size_t>(slot)); }

  PageGeometry& geometry() { return geometry_; }
  const PageGeometry& geometry() const { return geometry_; }

  PageEditState& edit() { return edit_; }
  const PageEditState& edit() const { return edit_; }

  int picLast() const { return picLast_; }    // `PicLast`: the highest slot used, -1 empty
  int picCount() const { return picCount_; }  // `PicCount`: pictures now on the page
  int picCur() const { return picCur_; }      // `PicCur`: the selected slot, -1 none
  void setPicCur(int slot) { picCur_ = slot; }
  void setPicLast(int slot) { picLast_ = slot; }
  void setPicCount(int count) { picCount_ = count; }

  // A slot whose picture is on the page.
  bool OnPage(int slot) const {
    return slot >= 0 && slot <= picLast_ && pic(slot).zRank >= 0;
  }
  // The selected slot when its picture is on the page, else -1.
  int SelectedOnPage() const { return OnPage(picCur_) ? picCur_ : -1; }
  // Every slot has been used since the page was last cleared.
  bool Full() const { return picLast_ >= kPageSlots - 1; }

  // The model part of `ClearPreview`: every record, box and counter reset,
  // the layout title, label text, clipboard and placed-file forgotten, the
  // temporary counter restarted. The label's look is not the model's.
  void Clear();
  // How often the page was cleared: what was known of the page's slots
  // holds while this stays the same.
  unsigned clears() const { return clears_; }

  // The next temporary picture's path for `slot` in `folder` (ending with
  // "/"): counts `TempCount` up first; slot 12 with counter 3 gives
  // "12-03.jpg", slot 3 with counter 115 gives "3-115.jpg".
  QString NextTemporaryPicture(const QString& folder, int slot);

 private:
  std::array<PagePic, kPageSlots> pics_{};
  std::array<PicBox, kPageSlots> boxes_{};
  PageEditState edit_;
  PageGeometry geometry_;
  int picLast_ = -1;
  int picCount_ = 0;
  int picCur_ = -1;
  unsigned clears_ = 0;
};

// The slots on the page back to front, the one order of the page on screen,
// under the mouse and on paper: by rank, the lowest slot of each rank; before
// them any picture on the page whose rank that leaves out, so that nothing
// on the page is lost.
std::vector<int> StackingOrder(const PageModel& page);

}  // namespace lumaset
