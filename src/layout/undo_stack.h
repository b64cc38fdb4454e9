#pragma once

// The page's undo stack: every edit of a placed picture is recorded as one
// step (what kind of edit, the picture's file and its box as they were, and
// the tooltip of the "Undo" button while the step is on top), and "Undo"
// takes the top step back. The stack holds the last 100 edits; when it is
// full the oldest edit is forgotten, so the newest stay undoable.
//
// The window effects the editing logic needs (the picture tools, sounds,
// captions, menu items, message boxes, the width box) go through
// `PageEditHost`, so the logic runs in tests without a window.

#include <QImage>
#include <QString>
#include <QStringView>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

#include "components/result.h"
#include "frame/sounds.h"
#include "layout/page_model.h"

namespace lumaset {

// What the page's editing logic asks of the main window.
class PageEditHost {
 public:
  virtual ~PageEditHost() = default;

  // `ToolEnable(Enable, SelIndex)`: switched on, the selection frame and its
  // handles around the picture of `slot` and the picture tools enabled;
  // switched off (slot -1), all of that off, crop mode left and the page's
  // Moving and Sizing cleared.
  virtual void ToolEnable(bool enable, int slot) = 0;
  // The picture of `slot` shows this reduced copy from now on.
  virtual void SetPicture(int slot, const QImage& reduced) = 0;
  // The page model changed: the page is drawn again from it.
  virtual void PageChanged() = 0;
  // Selects the picture of `slot` as a click on it at (`DownX`, `DownY`)
  // would, without the click ever adding a selected thumbnail.
  virtual void ClickPicture(int slot) = 0;
  // `mnuFileNew_Click`: starts a new page.
  virtual void FileNew() = 0;
  // The thumbnail selection and the thumbnail under the pointer dropped
  // (`ThumbSel`, `ThumbHover` -1), every cell shown unselected.
  virtual void ClearThumbnailSelection() = 0;

  virtual void PlaySound(Sound sound) = 0;
  // Message boxes with the application's title: a failure (exclamation
  // icon) or an expected condition (information icon).
  virtual void ShowError(const QString& text) = 0;
  virtual void ShowInformation(const QString& text) = 0;
  // A menu item by its control name ("mnuFileSave") or a toolbar button by
  // its key ("Save").
  virtual void SetEnabled(QStringView itemOrKey, bool enabled) = 0;
  virtual void SetUndoTip(const QString& tip) = 0;       // the "Undo" button's tooltip
  virtual void SetPageCaption(const QString& text) = 0;  // the page panel `panPrev`
  virtual void SetStatusText(const QString& text) = 0;   // the first panel of `sb1`
  virtual float ImageRes() const = 0;  // `OptImageRes`: pixels of a page picture's longer side
  // `AbortRequested` (Esc) tested and cleared.
  virtual bool TakeAbortRequest() = 0;

  // The width box `txtWidth` and the height label `labHeight`.
  virtual QString WidthText() const = 0;
  virtual void SetWidthText(const QString& text) = 0;
  virtual void SetHeightText(const QString& text) = 0;
};

enum class UndoKind { None, Add, Delete, Move, Size, Front, Back, Crop, Effect, Mirror, Rotate };

// "Add", "Delete", ... as the kinds are named; "" for None.
QString UndoKindName(UndoKind kind);
std::optional<UndoKind> UndoKindFromName(QStringView name);

// `UndoStep`: one recorded edit.
struct UndoStep {
  UndoKind kind = UndoKind::None;
  QString file;  // the picture's file at the push
  QString tip;   // the "Undo" button's tooltip while this step is on top
  std::int16_t picIndex = 0;  // the edited slot; -1 none
  float leftFrac = 0;         // the picture's box at the push, as fractions of the page
  float topFrac = 0;
  float widthFrac = 0;
  float heightFrac = 0;

  friend bool operator==(const UndoStep&, const UndoStep&) = default;
};

inline constexpr int kUndoDepth = 100;

// `UndoSteps` and `UndoTop`: steps live in entries 1 to 100, entry 0 is
// never used; top 0 means nothing to undo.
class UndoStack {
 public:
  int top() const { return top_; }
  const UndoStep& entry(int index) const { return steps_.at(static_cast<std::size_t>(index)); }
  // The top step; only while top() > 0.
  UndoStep& TopStep() { return steps_.at(static_cast<std::size_t>(top_)); }

  // Puts a step on top. A full stack first forgets its oldest step; returns
  // true when it did.
  bool Push(const UndoStep& step);
  // Lowers the top by one, never below 0; the entry keeps its contents.
  void Pop();
  // Every entry erased, nothing left to undo.
  void Clear();
  // Gives every held step to `turn`, oldest first.
  void ForEach(const std::function<void(UndoStep&)>& turn);

 private:
  std::array<UndoStep, kUndoDepth + 1> steps_{};
  int top_ = 0;
};

// Stacking: the picture of `slot` goes to the very back (rank 0), the
// pictures it passes move up one place; or to the very front (rank
// `PicLast`), the pictures it passes move down one place. The ranks of the
// pictures on the page stay distinct; gaps left by deleted pictures stay.
void RankToBack(PageModel& page, int slot);
void RankToFront(PageModel& page, int slot);

// The picture of `file` reduced for the page: its longer side the ImageRes
// setting, rounded to whole pixels (halves to even).
Result<QImage> ReducedPicture(const QString& file, float imageRes);
// That longer side in pixels.
int ReducedSide(float imageRes);

// `part` over `whole`; 0 while the page has no size yet.
float FractionOf(float part, float whole);
// The fractions of the record of `slot` taken from its box.
void FractionsFromBox(PageModel& page, int slot);

// The page panel's caption, "Layout Preview: " and the layout's title or
// "(unsaved)", and the status text "Layout contains n picture(s)".
void ShowPageState(const PageModel& page, PageEditHost& host);
// Save As and Print always, Save only for a layout with a title; nothing
// is disabled.
void EnableFileCommands(const PageModel& page, PageEditHost& host);
// After a picture left the page: the file commands while the page still
// holds a picture or a label; otherwise they are disabled, and a page with
// no layout title either starts anew.
void FileCommandsAfterRemoval(const PageModel& page, PageEditHost& host);

// `UndoAdd`, `UndoTool` and the stack's upkeep over the page.
class PageUndo {
 public:
  PageUndo(PageModel& page, PageEditHost& host) : page_(page), host_(host) {}

  // `UndoAdd(Kind, Tip)`: records the selected picture as it is now. Fails
  // when no picture on the page is selected.
  Status UndoAdd(UndoKind kind, const QString& tip);
  // The same with the kind by its name ("Crop").
  Status UndoAdd(QStringView kind, const QString& tip);

  // `UndoTool`: takes the top step back, pops it, brings the page's
  // commands up to date and leaves no picture selected.
  void UndoTool();

  // An edit given up after its push: the step is dropped without undoing.
  void AbandonStep();

  // The clearing of the page: nothing left to undo, "Undo" disabled.
  void Clear();

  // When the page turns, each held step's fractions are turned as the
  // pictures' are, so that an undo after the turn keeps the picture's shape.
  void TurnSteps(const std::function<void(UndoStep&)>& turn) { stack_.ForEach(turn); }

  const UndoStack& stack() const { return stack_; }

 private:
  bool Restore(const UndoStep& step);
  bool RestoreFile(const UndoStep& step);
  void RestoreBox(const UndoStep& step);
  void ShowTop();

  PageModel& page_;
  PageEditHost& host_;
  UndoStack stack_;
};

}  // namespace lumaset
