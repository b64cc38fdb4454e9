#pragma once

// Putting a picture on the page (`PicAdd`) and the commands on the selected
// picture: Copy, Cut, Paste, Delete, Bring to Front and Send to Back. The
// clipboard is the page's own (`ClipFile`, `ClipWidth`, `ClipHeight`); the
// system clipboard is not used.

#include <QString>

#include "layout/page_model.h"
#include "layout/undo_stack.h"

namespace lumaset {

class PageCommands {
 public:
  PageCommands(PageModel& page, PageUndo& undo, PageEditHost& host)
      : page_(page), undo_(undo), host_(host) {}

  // `PicAdd(File)`: puts the picture of `file` on the page, centred on
  // (`DownX`, `DownY`) at `AddWidth` x `AddHeight`, in front of the others,
  // records an "Add" step and selects it. A page that has used all its
  // slots since it was cleared refuses with a message; a file that cannot
  // be read is reported and the page stays as it was.
  void PicAdd(const QString& file);

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
  void TakeIntoClipboard(int slot);
  void FinishPlacement(int slot, UndoKind kind);

  PageModel& page_;
  PageUndo& undo_;
  PageEditHost& host_;
};

}  // namespace lumaset
