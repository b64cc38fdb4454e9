#include "documents/contact_sheet.h"

#include <QFileInfo>

#include <algorithm>
#include <cmath>

#include "browser/thumb_table.h"
#include "components/file_system.h"
#include "components/imaging/imaging.h"
#include "documents/page_busy.h"
#include "frame/app_state.h"
#include "frame/settings.h"

namespace lumaset {

namespace {

constexpr double kInset = 100;        // from the printable area's left edge, and kept free at its right
constexpr double kGap = 200;          // between pictures in a row, and between rows
constexpr double kHeadingRoom = 600;  // above the first row
constexpr double kBottomRoom = 100;
constexpr double kRowRoom = 300;      // what a row needs below its top besides the last row's height
constexpr double kCaptionGap = 5;
constexpr float kCaptionPoints = 6;
constexpr int kHeadingPoints = 12;

const QString kArial = QStringLiteral("Arial");

QString ErrorText(const QString& cause) { return QStringLiteral("Error creating thumbs: ") + cause; }

bool HasArea(const PageGeometry& geometry) {
  return geometry.previewWidth > 0 && geometry.previewHeight > 0 && geometry.paperWidth > 0 &&
         geometry.paperHeight > 0;
}

}  // namespace

QString SheetHeading(int first, int next, const QString& folder) {
  QString name = FileSystemUtility::PathPart(folder, false);
  name.chop(1);  // the folder's own "/"
  return QStringLiteral("Thumbnails (%1 - %2) of folder:  %3").arg(first + 1).arg(next).arg(name);
}

QString SheetPageCaption(int page, int pages) {
  const QString count = pages > 0 ? QString::number(pages) : QStringLiteral("...");
  return QStringLiteral("Thumbnail Layout (Page %1 of %2)").arg(page + 1).arg(count);
}

QSizeF SheetBoxSize(QSize pixels, const PageGeometry& geometry, float thumbSize) {
  const bool known = pixels.width() > 0 && pixels.height() > 0;
  const double across = known ? pixels.width() : 1;
  const double down = known ? pixels.height() : 1;
  const double aspect = across < down ? across / down : 1.0;
  const auto wide = static_cast<float>(geometry.previewWidth * thumbSize);
  const auto high = static_cast<float>(geometry.previewHeight * thumbSize);
  return {wide * aspect / geometry.paperWidth, high * aspect * (down / across) / geometry.paperHeight};
}

// Rows run left to right; a picture that would come closer than the inset to
// the printable area's right edge starts a new row, and a new row that would
// pass the bottom (judged by the height of the row before it) ends the page.
std::vector<PicBox> SheetPageBoxes(std::span<const QSize> pixels, const PageGeometry& geometry,
                                   float thumbSize) {
  std::vector<PicBox> boxes;
  if (!HasArea(geometry)) return boxes;
  const double width = geometry.previewWidth;
  const double height = geometry.previewHeight;
  const double left = geometry.noPrintLeft / geometry.paperWidth * width;
  const double top = geometry.noPrintTop / geometry.paperHeight * height;
  const double right = width - left;
  const double bottom = height - kBottomRoom - top;
  double rowTop = top + kHeadingRoom;
  float rowHeight = 0;
  for (const QSize& size : pixels) {
    if (boxes.size() == static_cast<std::size_t>(kPageSlots)) break;
    const QSizeF box = SheetBoxSize(size, geometry, thumbSize);
    double x = boxes.empty() ? left + kInset
                             : double{boxes.back().left} + boxes.back().width + kGap;
    if (x + box.width() + kInset > right) {
      x = left + kInset;
      rowTop += rowHeight + kGap;
      if (rowTop + rowHeight + kRowRoom > bottom) break;
      rowHeight = static_cast<float>(box.height());
    } else if (box.height() > rowHeight) {
      rowHeight = static_cast<float>(box.height());
    }
    boxes.push_back(PicBox{static_cast<float>(x), static_cast<float>(rowTop),
                           static_cast<float>(box.width()), static_cast<float>(box.height()), true});
  }
  return boxes;
}

int SheetPageCount(std::span<const QSize> pixels, const PageGeometry& geometry, float thumbSize) {
  int pages = 0;
  while (!pixels.empty()) {
    const std::size_t placed = SheetPageBoxes(pixels, geometry, thumbSize).size();
    if (placed == 0) break;
    ++pages;
    pixels = pixels.subspan(placed);
  }
  return pages;
}

ContactSheet::ContactSheet(PageModel& page, const ThumbTable& thumbs, const Options& options,
                           LabelStyle& label, bool& abortRequested, ContactSheetHost& host)
    : page_(page), thumbs_(thumbs), options_(options), label_(label), abort_(abortRequested),
      host_(host) {}

bool ContactSheet::UnreadCell(int slot) const {
  return page_.clears() == pageClears_ && std::find(unread_.begin(), unread_.end(), slot) != unread_.end();
}

void ContactSheet::Reset() {
  state_ = SheetState{};
  unread_.clear();
  ++generation_;
  host_.ShowNextPage(false);
}

void ContactSheet::cmdThumb_Click() {
  host_.ShowNextPage(false);
  host_.ProcessEvents();
  mnuViewThumb_Click();
}

// The window's events run between thumbnails; a second start from the menu
// meanwhile would clear the page under the first, so it is ignored.
void ContactSheet::ImageThumbs() {
  if (building_) return;
  building_ = true;
  abort_ = false;  // an Esc pressed before this page was asked for stops nothing of it
  {
    const PageBusy<ContactSheetHost> busy(host_);
    buildGeneration_ = generation_;
    StartPage();
    const int placed = PlaceThumbnails();
    // A new page or another folder meanwhile has ended the sheet.
    if (!Ended()) FinishPage(placed);
  }
  building_ = false;
}

void ContactSheet::StartPage() {
  host_.UnselectThumbnails();
  for (const char16_t* name :
       {u"mnuViewProperties", u"mnuViewImage", u"mnuViewEdit", u"Properties", u"Preview", u"Edit"}) {
    host_.SetEnabled(name, false);
  }
  state_.thumbSheet = true;
  host_.ClearPreview();
  unread_.clear();
  pageClears_ = page_.clears();
  if (state_.sheetFirst == 0) state_.sheetPage = 0;
  host_.SetPageCaption(SheetPageCaption(state_.sheetPage, state_.sheetFirst == 0 ? 0 : state_.sheetPages));
  host_.SetStatusText(QStringLiteral("Creating thumbnail layout..."));
  host_.ProcessEvents();

  // The table as it is now: another folder opened meanwhile must not pull
  // the pictures out from under the page being built.
  files_.clear();
  pixels_.clear();
  for (int index = 0; index < thumbs_.ThumbCount(); ++index) {
    files_.push_back(thumbs_.ThumbFiles(index));
    pixels_.emplace_back(thumbs_.ThumbWidths(index), thumbs_.ThumbHeights(index));
  }
}

int ContactSheet::PlaceThumbnails() {
  const int first = std::clamp(state_.sheetFirst, 0, static_cast<int>(files_.size()));
  state_.sheetNext = first;
  const std::span<const QSize> rest = std::span<const QSize>(pixels_).subspan(static_cast<std::size_t>(first));
  const std::vector<PicBox> boxes = SheetPageBoxes(rest, page_.geometry(), options_.thumbSize);
  if (boxes.empty()) {
    host_.ShowError(ErrorText(rest.empty() ? QStringLiteral("There are no pictures to lay out.")
                                           : QStringLiteral("No thumbnail fits on the page.")));
    return 0;
  }
  int placed = 0;
  for (const PicBox& box : boxes) {
    if (Ended()) break;
    PlaceThumbnail(placed, first + placed, box);
    if (Ended()) break;
    ++placed;
    page_.setPicLast(placed - 1);
    page_.setPicCount(placed);
    state_.sheetNext = first + placed;
    if (abort_) break;
  }
  return placed;
}

void ContactSheet::PlaceThumbnail(int slot, int index, const PicBox& box) {
  const QString& file = files_.at(static_cast<std::size_t>(index));
  const PageGeometry& geometry = page_.geometry();
  page_.box(slot) = box;
  PagePic& pic = page_.pic(slot);
  pic.file = file;
  pic.zRank = static_cast<std::int16_t>(slot);
  pic.leftFrac = box.left / geometry.previewWidth;
  pic.topFrac = box.top / geometry.previewHeight;
  pic.widthFrac = box.width / geometry.previewWidth;
  pic.heightFrac = box.height / geometry.previewHeight;

  QImage picture;
  const auto longSide = static_cast<int>(std::lround(options_.imageRes));
  Result<QImage> loaded = Imaging::readScaled(file, longSide);
  if (loaded) {
    picture = std::move(loaded).value();
  } else {
    unread_.push_back(slot);
    host_.ShowError(ErrorText(loaded.error()));
  }
  const PageText caption{SheetCaption(file, pic, geometry), QPointF(box.left, double{box.top} + box.height + kCaptionGap), kArial,
                         kCaptionPoints * geometry.fontScale, true, false, QColor(Qt::black)};
  host_.ShowThumbnail(slot, picture, caption);
  host_.ProcessEvents();
}

void ContactSheet::FinishPage(int placed) {
  const PageGeometry& geometry = page_.geometry();
  const QString heading = SheetHeading(state_.sheetFirst, state_.sheetNext, host_.CurrentFolder());
  page_.edit().labelText = heading;
  label_.size = kHeadingPoints;
  host_.ShowHeading(PageText{heading, PageRefresh::LabelPosition(geometry), kArial,
                             kHeadingPoints * geometry.fontScale, true, false, QColor(Qt::black)});

  const int count = static_cast<int>(files_.size());
  const bool over = state_.sheetNext >= count || abort_ || placed == 0;
  if (state_.sheetPage == 0) {
    // Counted by laying the whole folder out, so that a folder of upright
    // and wide pictures is not promised fewer pages than it takes; a sheet
    // stopped with Esc counts by the pictures it got to.
    const bool laidOut = !abort_ && placed > 0;
    state_.sheetPages = laidOut ? SheetPageCount(pixels_, geometry, options_.thumbSize)
                        : placed > 0 ? (count + placed - 1) / placed
                                     : 1;
  }
  state_.sheetPages = std::max(state_.sheetPages, state_.sheetPage + 1);
  host_.SetPageCaption(SheetPageCaption(state_.sheetPage, state_.sheetPages));

  host_.ShowNextPage(!over);
  host_.SetEnabled(u"mnuViewThumb", over);
  host_.SetEnabled(u"Thumbnail", over);
  if (over) {
    state_.sheetFirst = 0;
    state_.sheetPage = 0;
  } else {
    state_.sheetFirst = state_.sheetNext;
    ++state_.sheetPage;
  }

  abort_ = false;
  host_.SetEnabled(u"mnuFileSaveAs", true);
  host_.SetEnabled(u"Save", true);
  host_.SetEnabled(u"mnuFilePrint", true);
  host_.SetEnabled(u"Print", true);
  host_.SetStatusText(QStringLiteral("Layout contains %1 picture(s)").arg(page_.picCount()));
}

}  // namespace lumaset
