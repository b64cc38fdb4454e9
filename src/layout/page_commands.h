#pragma once

// Putting a picture on the page (`PicAdd`) and the commands on the selected
// picture: Copy, Cut, Paste, Delete, Bring to Front and Send to Back. The
// clipboard is the page's own (`ClipFile`, `ClipWidth`, `ClipHeight`); the
// system clipboard is not used.

#include <QString>
#include <QTimer>

#include <deque>
#include <functional>
#include <memory>

#include "browser/background_work.h"
#include "layout/page_model.h"
#include "layout/undo_stack.h"

namespace lumaset {

class PageCommands {
 public:
  PageCommands(PageModel& page, PageUndo& undo, PageEditHost& host);
  ~PageCommands();
  PageCommands(const PageCommands&) = delete;
  PageCommands& operator=(const PageCommands&) = delete;

  // `PicAdd(File)`: puts the picture of `file` on the page, centred on
  // (`DownX`, `DownY`) at `AddWidth` x `AddHeight`, in front of the others,
  // records an "Add" step and selects it. A page that has used all its
  // slots since it was cleared refuses with a message; a file that cannot
  // be read is reported and the page stays as it was.
  //
  // The file is read on a worker, so the window goes on while a slow
  // picture is decoded: the picture comes onto the page once it has been
  // read, additions asked for meanwhile after it in their order. Esc
  // (`AbortRequested`) and a cleared page drop the additions not yet made.
  void PicAdd(const QString& file);
  // Whether additions are still being read; waiting until all are made
  // (and the commands that waited for them have run).
  bool adding() const { return reading_->running(); }
  void FinishAdding();
  // The additions not yet made are dropped and their reading stopped; the
  // commands that waited for them run next, on the page as it then is.
  void StopAdding();
  // Runs a command that needs the page as it is once every addition asked
  // for is on it: at once when none is being read, otherwise once all are
  // placed (or Esc dropped them), after the commands that waited before it.
  void AfterAdding(std::function<void()> command);
  // Whether commands wait for additions.
  bool commandsWaiting() const { return !after_.empty(); }
  // While a command that waited runs: whether the last addition asked for
  // before it never came onto the page (Esc dropped it, or its picture
  // could not be read). An Undo meant for it has nothing to take back.
  bool AdditionMissed() const { return missed_; }
  // Reads the files of additions; Imaging::readScaled unless replaced.
  void setReader(ScaledReader reader) { reader_ = std::move(reader); }

  // `mnuToolCopy_Click`, `mnuToolCut_Click`, `mnuImOptPaste_Click`,
  // `mnuToolDelete_Click`, `mnuToolPlaceFront_Click`,
  // `mnuToolPlaceBack_Click`. Each but Paste acts on the selected picture
  // and does nothing while no picture on the page is selected.
  void Copy();
  void Cut();
  // Adds the copied picture at its copied size, centred on (`DownX`,
  // `DownY`), where the page's popup menu was opened.
  void Paste();
  void Delete();
  void PlaceFront();
  void PlaceBack();

 private:
  // An addition asked for: the file and the box it goes into.
  struct Addition {
    QString file;
    float downX, downY, width, height;
    int longSide;
    unsigned number;  // counts the additions asked for
  };
  // A command waiting for the additions asked for before it; the last of
  // them is `lastAsked`, and `missed` once that one will never be placed.
  struct Waiting {
    std::function<void()> command;
    unsigned lastAsked;
    bool missed = false;
  };
  void Enqueue(const Addition& addition);
  void ReadNext();
  void Place(const Addition& addition, const Result<QImage>& reduced);
  void WatchAbort();
  void HeedEarlierEsc();
  // The addition numbered `number` will not come onto the page.
  void Missed(unsigned number);
  // The commands that waited run in their order, until one asks for an addition.
  void RunWaitingCommands();
  void RunWaitingCommandsSoon();
  void TakeIntoClipboard(int slot);
  void FinishPlacement(int slot, UndoKind kind);

  PageModel& page_;
  PageUndo& undo_;
  PageEditHost& host_;
  ScaledReader reader_;
  std::deque<Addition> waiting_;  // after the one being read
  std::unique_ptr<BackgroundWork<Result<QImage>>> reading_;
  QTimer abortWatch_;
  std::deque<Waiting> after_;
  bool runningWaiting_ = false;  // a command that waited is running
  bool missed_ = false;          // and the addition it waited for never came
  unsigned stops_ = 0;           // how often the additions were dropped
  unsigned asked_ = 0;           // the number of the last addition asked for
  unsigned readingNumber_ = 0;   // and of the one being read
};

}  // namespace lumaset
