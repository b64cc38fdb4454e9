#include "layout/undo_stack.h"

#include <algorithm>
#include <cmath>

#include "components/imaging/imaging.h"

namespace lumaset {

namespace {

// The kinds by name, in the order of `UndoKind`.
constexpr std::array<const char16_t*, 11> kKindNames = {
    u"", u"Add", u"Delete", u"Move", u"Size", u"Front", u"Back", u"Crop", u"Effect", u"Mirror", u"Rotate"};

// The largest ImageRes a page picture is decoded at; far above any setting
// the preferences allow, it only keeps the rounding below in range.
constexpr float kLargestImageRes = 100000;

int PicturesOnPage(const PageModel& page) {
  int count = 0;
  for (int slot = 0; slot <= page.picLast(); ++slot) {
    if (page.OnPage(slot)) ++count;
  }
  return count;
}

// The lowest rank, from 0 up to `PicLast`, that no picture on the page holds.
std::int16_t LowestFreeRank(const PageModel& page) {
  for (int rank = 0; rank <= page.picLast(); ++rank) {
    bool held = false;
    for (int slot = 0; slot <= page.picLast() && !held; ++slot) {
      held = page.OnPage(slot) && page.pic(slot).zRank == rank;
    }
    if (!held) return static_cast<std::int16_t>(rank);
  }
  return static_cast<std::int16_t>(std::max(page.picLast(), 0));
}

}  // namespace

QString UndoKindName(UndoKind kind) {
  return QString::fromUtf16(kKindNames.at(static_cast<std::size_t>(kind)));
}

std::optional<UndoKind> UndoKindFromName(QStringView name) {
  for (std::size_t i = 0; i < kKindNames.size(); ++i) {
    if (name == QStringView(kKindNames[i])) return static_cast<UndoKind>(i);
  }
  return std::nullopt;
}

// --- The stack ---------------------------------------------------------------

bool UndoStack::Push(const UndoStep& step) {
  const bool full = top_ >= kUndoDepth;
  if (full) {
    std::move(steps_.begin() + 2, steps_.end(), steps_.begin() + 1);
  } else {
    ++top_;
  }
  TopStep() = step;
  return full;
}

void UndoStack::Pop() {
  if (top_ > 0) --top_;
}

void UndoStack::Clear() {
  steps_.fill(UndoStep{});
  top_ = 0;
}

void UndoStack::ForEach(const std::function<void(UndoStep&)>& turn) {
  for (int i = 1; i <= top_; ++i) turn(steps_.at(static_cast<std::size_t>(i)));
}

// --- Page helpers ------------------------------------------------------------

void RankToBack(PageModel& page, int slot) {
  const int rank = page.pic(slot).zRank;
  for (int i = 0; i <= page.picLast(); ++i) {
    PagePic& pic = page.pic(i);
    if (pic.zRank > -1 && pic.zRank < rank) ++pic.zRank;
  }
  page.pic(slot).zRank = 0;
}

void RankToFront(PageModel& page, int slot) {
  const int rank = page.pic(slot).zRank;
  for (int i = 0; i <= page.picLast(); ++i) {
    PagePic& pic = page.pic(i);
    if (pic.zRank > -1 && pic.zRank > rank) --pic.zRank;
  }
  page.pic(slot).zRank = static_cast<std::int16_t>(page.picLast());
}

int ReducedSide(float imageRes) {
  const float bounded = std::clamp(std::isnan(imageRes) ? 0.0f : imageRes, 0.0f, kLargestImageRes);
  return static_cast<int>(std::lrint(bounded));
}

Result<QImage> ReducedPicture(const QString& file, float imageRes) {
  return Imaging::readScaled(file, ReducedSide(imageRes));
}

float FractionOf(float part, float whole) { return whole != 0 ? part / whole : 0.0f; }

void FractionsFromBox(PageModel& page, int slot) {
  const PageGeometry& geometry = page.geometry();
  const PicBox& box = page.box(slot);
  PagePic& pic = page.pic(slot);
  pic.leftFrac = FractionOf(box.left, geometry.previewWidth);
  pic.topFrac = FractionOf(box.top, geometry.previewHeight);
  pic.widthFrac = FractionOf(box.width, geometry.previewWidth);
  pic.heightFrac = FractionOf(box.height, geometry.previewHeight);
}

void ShowPageState(const PageModel& page, PageEditHost& host) {
  const QString& title = page.edit().layoutTitle;
  host.SetPageCaption(QStringLiteral("Layout Preview: ") +
                      (title.isEmpty() ? QStringLiteral("(unsaved)") : title));
  host.SetStatusText(QStringLiteral("Layout contains ") + QString::number(page.picCount()) +
                     QStringLiteral(" picture(s)"));
}

void EnableFileCommands(const PageModel& page, PageEditHost& host) {
  if (!page.edit().layoutTitle.isEmpty()) host.SetEnabled(u"mnuFileSave", true);
  host.SetEnabled(u"mnuFileSaveAs", true);
  host.SetEnabled(u"Save", true);
  // Without a printer Print writes a PDF file: it never waits for one.
  host.SetEnabled(u"mnuFilePrint", true);
  host.SetEnabled(u"Print", true);
}

void FileCommandsAfterRemoval(const PageModel& page, PageEditHost& host) {
  const PageEditState& edit = page.edit();
  // The count alone never decides that the page is empty: a page that still
  // shows a picture is not wiped for a new one.
  if (!edit.labelText.isEmpty() || page.picCount() > 0 || PicturesOnPage(page) > 0) {
    EnableFileCommands(page, host);
    return;
  }
  for (const char16_t* name : {u"mnuFileSave", u"mnuFileSaveAs", u"Save", u"mnuFilePrint", u"Print"}) {
    host.SetEnabled(QStringView(name), false);
  }
  if (edit.layoutTitle.isEmpty()) host.FileNew();
}

// --- Push and undo -----------------------------------------------------------

Status PageUndo::UndoAdd(UndoKind kind, const QString& tip) {
  const int slot = page_.SelectedOnPage();
  if (slot < 0) return Error{QStringLiteral("No picture on the page is selected.")};
  const PageGeometry& geometry = page_.geometry();
  const PicBox& box = page_.box(slot);
  stack_.Push(UndoStep{kind, page_.pic(slot).file, tip, static_cast<std::int16_t>(slot),
                       FractionOf(box.left, geometry.previewWidth),
                       FractionOf(box.top, geometry.previewHeight),
                       FractionOf(box.width, geometry.previewWidth),
                       FractionOf(box.height, geometry.previewHeight)});
  host_.SetUndoTip(tip);
  host_.SetEnabled(u"Undo", true);
  if (kind == UndoKind::Effect) host_.SetStatusText(QStringLiteral("Applying effect...."));
  return Status::success();
}

Status PageUndo::UndoAdd(QStringView kind, const QString& tip) {
  const std::optional<UndoKind> known = UndoKindFromName(kind);
  if (!known || *known == UndoKind::None) {
    return Error{QStringLiteral("\"%1\" is no kind of edit that can be undone.").arg(kind)};
  }
  return UndoAdd(*known, tip);
}

void PageUndo::UndoTool() {
  if (stack_.top() >= 1) {
    UndoStep& step = stack_.TopStep();
    const bool known = step.picIndex >= 0 && step.picIndex <= page_.picLast();
    page_.setPicCur(known ? step.picIndex : -1);
    if (known && step.kind != UndoKind::None && Restore(step)) {
      host_.PlaySound(step.kind == UndoKind::Add ? Sound::Delete : Sound::Tool);
      host_.PageChanged();
      step.kind = UndoKind::None;
      step.picIndex = -1;
    }
  }
  stack_.Pop();
  ShowTop();
  ShowPageState(page_, host_);
  // This may start a new page, which clears the stack: nothing of it is
  // touched after here.
  FileCommandsAfterRemoval(page_, host_);
  host_.ToolEnable(false, -1);
}

// What was done stays done when a restore fails part-way; the picture is
// never left half restored with a file and a box that disagree.
bool PageUndo::Restore(const UndoStep& step) {
  const int slot = step.picIndex;
  PagePic& pic = page_.pic(slot);
  const bool onPage = pic.zRank >= 0;
  switch (step.kind) {
    case UndoKind::None:
      return false;
    case UndoKind::Add:
      if (!onPage) return false;
      page_.box(slot).visible = false;
      pic.zRank = -1;
      page_.setPicCount(page_.picCount() - 1);
      page_.setPicCur(-1);  // a picture off the page is never the selected one
      return true;
    case UndoKind::Delete:
      if (onPage) return false;
      pic.zRank = LowestFreeRank(page_);
      page_.box(slot).visible = true;
      page_.setPicCount(page_.picCount() + 1);
      return true;
    case UndoKind::Move:
    case UndoKind::Size:
      if (!onPage) return false;
      RestoreBox(step);
      return true;
    case UndoKind::Front:
      if (onPage) RankToBack(page_, slot);
      return onPage;
    case UndoKind::Back:
      if (onPage) RankToFront(page_, slot);
      return onPage;
    case UndoKind::Crop:
    case UndoKind::Effect:
    case UndoKind::Mirror:
    case UndoKind::Rotate:
      return onPage && RestoreFile(step);
  }
  return false;
}

// The earlier file is read before anything changes: when it can no longer
// be read, the picture stays as it is, its file, pixels and box agreeing.
bool PageUndo::RestoreFile(const UndoStep& step) {
  const Result<QImage> reduced = ReducedPicture(step.file, host_.ImageRes());
  if (!reduced) return false;
  page_.pic(step.picIndex).file = step.file;
  host_.SetPicture(step.picIndex, *reduced);
  page_.box(step.picIndex).visible = true;
  RestoreBox(step);
  return true;
}

void PageUndo::RestoreBox(const UndoStep& step) {
  const PageGeometry& geometry = page_.geometry();
  PicBox& box = page_.box(step.picIndex);
  box.left = step.leftFrac * geometry.previewWidth;
  box.top = step.topFrac * geometry.previewHeight;
  box.width = step.widthFrac * geometry.previewWidth;
  box.height = step.heightFrac * geometry.previewHeight;
  FractionsFromBox(page_, step.picIndex);
}

void PageUndo::AbandonStep() {
  stack_.Pop();
  ShowTop();
}

void PageUndo::ShowTop() {
  if (stack_.top() < 1) {
    host_.SetEnabled(u"Undo", false);
  } else {
    host_.SetUndoTip(stack_.entry(stack_.top()).tip);
  }
}

void PageUndo::Clear() {
  stack_.Clear();
  host_.SetEnabled(u"Undo", false);
}

}  // namespace lumaset
