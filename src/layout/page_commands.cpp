#include "layout/page_commands.h"

#include <QSizeF>

#include "components/imaging/imaging.h"

namespace lumaset {

namespace {

constexpr int kAbortWatchMs = 50;

}  // namespace

PageCommands::PageCommands(PageModel& page, PageUndo& undo, PageEditHost& host)
    : page_(page),
      undo_(undo),
      host_(host),
      reader_(&Imaging::readScaled),
      reading_(std::make_unique<BackgroundWork<Result<QImage>>>()) {
  abortWatch_.setInterval(kAbortWatchMs);
  QObject::connect(&abortWatch_, &QTimer::timeout, [this] { WatchAbort(); });
}

PageCommands::~PageCommands() = default;

void PageCommands::PicAdd(const QString& file) {
  PageEditState& edit = page_.edit();
  edit.dragAdd = false;
  host_.PlaySound(Sound::Add);
  if (page_.Full()) {
    host_.ShowInformation(QStringLiteral("Maximum number of images on page reached. Start a new page"));
    return;
  }
  // A box of no width or height would stand on the page unseen and
  // unclickable, and print as nothing.
  if (!(edit.addWidth > 0) || !(edit.addHeight > 0)) {
    host_.ShowError(QStringLiteral("Preview error: the picture has no size on the page."));
    return;
  }
  // The thumbnail is taken as the addition is asked for: a second click on
  // the page, or a press on a placed picture, before the picture is read
  // must not add it once more. No picture stays selected meanwhile: a
  // command on the selection asked for now is meant for the new picture.
  host_.ToolEnable(false, -1);
  HeedEarlierEsc();
  host_.ClearThumbnailSelection();
  for (const char16_t* name :
       {u"mnuViewProperties", u"mnuViewImage", u"mnuViewEdit", u"Properties", u"Preview", u"Edit"}) {
    host_.SetEnabled(QStringView(name), false);
  }
  const Addition addition{file,           edit.downX,     edit.downY, edit.addWidth,
                          edit.addHeight, ReducedSide(host_.ImageRes()), ++asked_};
  // Asked for after commands that wait, it comes after them; Esc or a
  // cleared page meanwhile drops it with the others.
  if (commandsWaiting() && !runningWaiting_) {
    after_.push_back(Waiting{[this, addition, asked = stops_] {
                               if (asked == stops_) {
                                 Enqueue(addition);
                               } else {
                                 Missed(addition.number);
                               }
                             },
                             asked_});
    return;
  }
  Enqueue(addition);
}

void PageCommands::Enqueue(const Addition& addition) {
  if (!adding()) static_cast<void>(host_.TakeAbortRequest());  // an Esc from before stops nothing
  waiting_.push_back(addition);
  if (!adding()) ReadNext();
}

void PageCommands::ReadNext() {
  if (waiting_.empty()) {
    abortWatch_.stop();
    RunWaitingCommandsSoon();
    return;
  }
  const Addition addition = waiting_.front();
  waiting_.pop_front();
  readingNumber_ = addition.number;
  abortWatch_.start();
  reading_->start([reader = reader_, file = addition.file, side = addition.longSide] { return reader(file, side); },
                  [this, addition](const Result<QImage>& reduced) {
                    Place(addition, reduced);
                    ReadNext();
                  });
}

void PageCommands::FinishAdding() {
  do {
    while (adding()) reading_->finishNow();
    RunWaitingCommands();
  } while (adding());
}

void PageCommands::StopAdding() {
  ++stops_;
  if (adding()) Missed(readingNumber_);
  for (const Addition& dropped : waiting_) Missed(dropped.number);
  waiting_.clear();
  reading_->stop();
  abortWatch_.stop();
  RunWaitingCommandsSoon();
}

void PageCommands::AfterAdding(std::function<void()> command) {
  HeedEarlierEsc();
  // A command run by one that waited is part of it and runs at once.
  if (!adding() && (after_.empty() || runningWaiting_)) {
    command();
    return;
  }
  after_.push_back(Waiting{std::move(command), asked_});
}

// From the event loop: whoever placed the last addition or stopped the
// reading has finished before the first command runs.
void PageCommands::RunWaitingCommandsSoon() {
  if (!after_.empty()) QTimer::singleShot(0, &abortWatch_, [this] { RunWaitingCommands(); });
}

void PageCommands::RunWaitingCommands() {
  if (runningWaiting_) return;  // the one running goes on with the rest when it ends
  while (!adding() && !after_.empty()) {
    const Waiting next = std::move(after_.front());
    after_.pop_front();
    runningWaiting_ = true;
    missed_ = next.missed;
    next.command();
    runningWaiting_ = false;
    missed_ = false;
  }
}

void PageCommands::WatchAbort() {
  if (host_.TakeAbortRequest()) StopAdding();
}

// An Esc pressed before this request, and not yet seen by the watch, stops
// what was asked for before it, never what is asked for now.
void PageCommands::HeedEarlierEsc() {
  if (adding()) WatchAbort();
}

void PageCommands::Missed(unsigned number) {
  for (Waiting& waiting : after_) {
    if (waiting.lastAsked == number) waiting.missed = true;
  }
}

// Read before a slot is taken: a picture that cannot be shown would
// otherwise stand on the page and break printing and saving later.
void PageCommands::Place(const Addition& addition, const Result<QImage>& reduced) {
  if (!reduced) {
    Missed(addition.number);
    host_.ShowError(QStringLiteral("Preview error: ") + reduced.error());
    return;
  }
  // Additions made while this one was read may have used the last slot.
  if (page_.Full()) {
    Missed(addition.number);
    host_.ShowInformation(QStringLiteral("Maximum number of images on page reached. Start a new page"));
    return;
  }
  PageEditState& edit = page_.edit();
  edit.downX = addition.downX;
  edit.downY = addition.downY;
  page_.setPicCount(page_.picCount() + 1);
  page_.setPicLast(page_.picLast() + 1);
  const int slot = page_.picLast();
  // Not kept on the page: a picture dropped at an edge sticks out of it. A
  // picture taller than the printable height comes down to it here, about
  // the drop point; the width's limit would otherwise shrink it later
  // towards a top edge far above the page, out of sight and out of reach.
  QSizeF size(addition.width, addition.height);
  const PageGeometry& geometry = page_.geometry();
  if (geometry.paperHeight > 0) {
    const double printable = geometry.printableHeight() / geometry.paperHeight * geometry.previewHeight;
    if (printable > 0 && size.height() > printable) size *= printable / size.height();
  }
  const auto width = static_cast<float>(size.width());
  const auto height = static_cast<float>(size.height());
  page_.box(slot) = PicBox{addition.downX - width / 2, addition.downY - height / 2, width, height, true};
  host_.SetPicture(slot, *reduced);
  PagePic& pic = page_.pic(slot);
  pic.file = addition.file;
  pic.zRank = static_cast<std::int16_t>(slot);
  FractionsFromBox(page_, slot);
  host_.PageChanged();
  host_.ToolEnable(false, -1);
  EnableFileCommands(page_, host_);
  ShowPageState(page_, host_);

  page_.setPicCur(slot);
  const Status pushed = undo_.UndoAdd(UndoKind::Add, QStringLiteral("Undo last picture addition"));
  if (!pushed) host_.ShowError(QStringLiteral("Preview error: ") + pushed.error());
  host_.ClickPicture(slot);
}

void PageCommands::TakeIntoClipboard(int slot) {
  PageEditState& edit = page_.edit();
  edit.clipFile = page_.pic(slot).file;
  edit.clipWidth = page_.box(slot).width;
  edit.clipHeight = page_.box(slot).height;
}

void PageCommands::Copy() {
  const int slot = page_.SelectedOnPage();
  if (slot < 0) return;
  host_.PlaySound(Sound::Tool);
  TakeIntoClipboard(slot);
}

void PageCommands::Cut() {
  const int slot = page_.SelectedOnPage();
  if (slot < 0) return;
  TakeIntoClipboard(slot);
  Delete();
}

void PageCommands::Paste() {
  PageEditState& edit = page_.edit();
  if (edit.clipFile.isEmpty()) return;
  edit.addWidth = edit.clipWidth;
  edit.addHeight = edit.clipHeight;
  PicAdd(edit.clipFile);
}

void PageCommands::Delete() {
  const int slot = page_.SelectedOnPage();
  if (slot < 0) return;
  host_.PlaySound(Sound::Delete);
  const Status pushed = undo_.UndoAdd(UndoKind::Delete, QStringLiteral("Undo last picture deletion"));
  if (!pushed) return;  // unreachable with a picture selected; nothing is taken off unrecorded
  page_.box(slot).visible = false;
  // The record keeps its file and place, so Undo can put it back.
  page_.pic(slot).zRank = -1;
  host_.ToolEnable(false, -1);
  page_.setPicCount(page_.picCount() - 1);
  page_.setPicCur(-1);
  host_.PageChanged();
  ShowPageState(page_, host_);
  FileCommandsAfterRemoval(page_, host_);
}

void PageCommands::PlaceFront() {
  const int slot = page_.SelectedOnPage();
  if (slot < 0) return;
  host_.PlaySound(Sound::Tool);
  RankToFront(page_, slot);
  FinishPlacement(slot, UndoKind::Front);
}

void PageCommands::PlaceBack() {
  const int slot = page_.SelectedOnPage();
  if (slot < 0) return;
  host_.PlaySound(Sound::Tool);
  RankToBack(page_, slot);
  FinishPlacement(slot, UndoKind::Back);
}

// The step is recorded after the change: its undo needs neither the file
// nor the box, only which picture moved.
void PageCommands::FinishPlacement(int slot, UndoKind kind) {
  host_.PageChanged();
  // Cannot fail: the picture is selected and on the page.
  static_cast<void>(undo_.UndoAdd(kind, QStringLiteral("Undo last picture placement")));
  host_.ToolEnable(true, slot);
}

}  // namespace lumaset
