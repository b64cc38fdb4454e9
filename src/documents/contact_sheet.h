#pragma once

// Contact sheets: the pictures of the open folder laid out on ordinary layout
// pages as rows of small pictures, each with its name under it and a heading
// over them, one page at a time; "Next Page" builds the next. A sheet page
// is a layout page like any other: it can be edited, printed and saved.
// The layout of a page is a plain function of the pictures' pixel sizes and
// the page geometry; the window's side goes through ContactSheetHost.

#include <QImage>
#include <QSize>
#include <QSizeF>
#include <QString>
#include <QStringView>

#include <span>
#include <vector>

#include "layout/page_model.h"
#include "layout/page_refresh.h"

namespace lumaset {

class ThumbTable;
struct LabelStyle;
struct Options;

// `ThumbSheet` and the sheet counters.
struct SheetState {
  bool thumbSheet = false;  // the page is a contact sheet
  int sheetFirst = 0;       // the table index of the page's first thumbnail
  int sheetNext = 0;        // the first thumbnail not yet placed
  int sheetPage = 0;        // the page being shown, from 0
  int sheetPages = 0;       // the sheet's pages

  friend bool operator==(const SheetState&, const SheetState&) = default;
};

// What a contact sheet asks of the main window.
class ContactSheetHost {
 public:
  virtual ~ContactSheetHost() = default;

  // Busy: the wait pointer on the window, the thumbnail panel, the printer
  // panel, the page panel and the page, the last four disabled. Not busy:
  // the default pointer back, the cross on the page, all four enabled.
  virtual void SetPageBusy(bool busy) = 0;
  // Lets pending window events run once.
  virtual void ProcessEvents() = 0;
  // Every thumbnail cell unselected; `ThumbSel` and `ThumbHover` -1.
  virtual void UnselectThumbnails() = 0;
  // A menu item by its control name or a toolbar button by its key.
  virtual void SetEnabled(QStringView itemOrKey, bool enabled) = 0;
  // `ClearPreview`: the page emptied and redrawn.
  virtual void ClearPreview() = 0;
  virtual void SetPageCaption(const QString& text) = 0;  // the page panel
  virtual void SetStatusText(const QString& text) = 0;   // the first panel of the status bar
  // The folder shown in the thumbnail panel, ending with "/".
  virtual QString CurrentFolder() = 0;
  // The picture control of `slot` shows `picture` (null when its file could
  // not be read) at the slot's box, in front; `caption` is written under it.
  virtual void ShowThumbnail(int slot, const QImage& picture, const PageText& caption) = 0;
  // The heading written on the page; it is the page label from now on.
  virtual void ShowHeading(const PageText& heading) = 0;
  // The "Next Page" button.
  virtual void ShowNextPage(bool shown) = 0;
  // A message box with the exclamation icon and the application's title.
  virtual void ShowError(const QString& text) = 0;
};

// "Thumbnails (1 - 20) of folder:  Holiday" for thumbnails 0 to 19 of the
// folder "/photos/Holiday/".
QString SheetHeading(int first, int next, const QString& folder);

// The page panel's caption: "Thumbnail Layout (Page 2 of 5)"; with no page
// count yet "Thumbnail Layout (Page 1 of ...)".
QString SheetPageCaption(int page, int pages);

// A thumbnail's box on the page preview: its longer side ThumbSize on paper,
// with the picture's aspect; a picture of unknown size gets a square box.
QSizeF SheetBoxSize(QSize pixels, const PageGeometry& geometry, float thumbSize);

// The boxes, in row order, of the leading pictures of `pixels` that fit on
// one page inside its printable area, below room for the heading; at most
// the page's 201 slots.
std::vector<PicBox> SheetPageBoxes(std::span<const QSize> pixels, const PageGeometry& geometry,
                                   float thumbSize);

// The pages a sheet of `pixels` takes; pictures that fit on no page end it.
int SheetPageCount(std::span<const QSize> pixels, const PageGeometry& geometry, float thumbSize);

class ContactSheet {
 public:
  // Everything given must outlive this object; `abortRequested` is the
  // program's Esc flag.
  ContactSheet(PageModel& page, const ThumbTable& thumbs, const Options& options, LabelStyle& label,
               bool& abortRequested, ContactSheetHost& host);

  // `mnuViewThumb_Click`: the menu item and the toolbar button.
  void mnuViewThumb_Click() { ImageThumbs(); }
  // `ImageThumbs`: builds the sheet page that the state describes, the
  // first one when `sheetFirst` is 0. Esc stops after the current thumbnail
  // and ends the sheet.
  void ImageThumbs();
  // `cmdThumb_Click`: "Next Page".
  void cmdThumb_Click();
  // A new page, or the thumbnail panel cleared: the page is no sheet any
  // more, the counters are 0 and "Next Page" is hidden.
  void Reset();

  const SheetState& state() const { return state_; }
  bool ThumbSheet() const { return state_.thumbSheet; }
  // The box of `slot` is a cell of the sheet page on show whose picture
  // could not be read when the page was built (and was reported then).
  // Once the page is cleared, by an opened layout among others, no slot is.
  bool UnreadCell(int slot) const;

 private:
  void StartPage();
  int PlaceThumbnails();
  void PlaceThumbnail(int slot, int index, const PicBox& box);
  void FinishPage(int placed);
  bool Ended() const { return buildGeneration_ != generation_; }

  PageModel& page_;
  const ThumbTable& thumbs_;
  const Options& options_;
  LabelStyle& label_;
  bool& abort_;
  ContactSheetHost& host_;
  SheetState state_;
  std::vector<QString> files_;  // the table as the page started
  std::vector<QSize> pixels_;
  std::vector<int> unread_;  // the page's cells left without their picture
  unsigned pageClears_ = 0;  // the page's clearing that began this sheet page
  unsigned generation_ = 0;  // counts resets, which end a build under way
  unsigned buildGeneration_ = 0;
  bool building_ = false;
};

}  // namespace lumaset
