#pragma once

// The layout page as a document: New, Open, Save and Save As. Opening reads
// and checks the whole file before the page is touched; saving writes the
// copies of edited pictures first and then the layout through a temporary
// file, so a failure leaves the old layout as it was. What these commands
// need of the main window (file dialogs, messages, sounds, the page's own
// procedures) goes through LayoutDocumentHost, so they run in a test
// without a window.

#include <QImage>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>
#include <utility>
#include <vector>

#include "browser/background_work.h"
#include "components/result.h"
#include "documents/layout_file.h"
#include "frame/sounds.h"
#include "layout/page_model.h"

namespace lumaset {

// What the main window's file dialog `dlgCD` is asked.
struct FileDialogRequest {
  QString title;
  QString folder;         // the initial folder, ending with "/"
  QString fileName;       // the proposed name
  QString filter;         // in Qt's form: "Lumaset page (*.lsf)"
  QString defaultSuffix;  // added to a name typed without one
};

class LayoutDocumentHost {
 public:
  virtual ~LayoutDocumentHost() = default;

  // The dialog for opening, or for saving (it asks before an existing file is
  // replaced): the chosen full path; nothing when it was cancelled.
  virtual std::optional<QString> OpenFileName(const FileDialogRequest& request) = 0;
  virtual std::optional<QString> SaveFileName(const FileDialogRequest& request) = 0;

  // Message boxes with the application's title: a failure (exclamation
  // icon) or an expected condition (information icon).
  virtual void ShowError(const QString& text) = 0;
  virtual void ShowInformation(const QString& text) = 0;
  virtual void PlaySound(Sound sound, Wait wait) = 0;

  // Long page work: the hourglass over the main window, the thumbnail
  // viewport, the printer panel, the page panel and the page, the last four
  // disabled; and back.
  virtual void SetBusy(bool busy) = 0;
  // The event loop runs once.
  virtual void ProcessEvents() = 0;
  // `AbortRequested` (Esc) tested and cleared.
  virtual bool TakeAbortRequest() = 0;

  // `ClearPreview`: the page emptied and redrawn.
  virtual void ClearPreview() = 0;
  // Turns the page as choosing the portrait or landscape option does, and
  // redraws it also when it already stood that way.
  virtual void TurnPage(bool portrait) = 0;
  // The picture of `slot` shows this reduced copy from now on.
  virtual void SetPicture(int slot, const QImage& reduced) = 0;
  // The page model changed: the page is drawn again from it.
  virtual void PageChanged() = 0;

  // A menu item by its control name ("mnuFileSave") or a toolbar button by
  // its key ("Save").
  virtual void SetEnabled(QStringView itemOrKey, bool enabled) = 0;
  virtual void SetPageCaption(const QString& text) = 0;  // the page panel `panPrev`
  virtual void SetStatusText(const QString& text) = 0;   // the first panel of `sb1`

  virtual bool PrinterReady() = 0;
  virtual int PrinterOrientation() = 0;  // 1 portrait, 2 landscape
  virtual float ImageRes() const = 0;    // `OptImageRes`

  virtual QString LayoutFolder() const = 0;      // `LayoutFolder`, ending with "/"
  virtual QString TempImagesFolder() const = 0;  // `TempImagesFolder`, ending with "/"
  // The files the page's undo steps would bring back.
  virtual QStringList UndoFiles() const = 0;

  // The pause after a successful save, during which the saved message stands.
  virtual void PauseAfterSave() = 0;

  // The contact sheet ended: `ThumbSheet` false, "Next Page" hidden, the
  // sheet counters 0.
  virtual void EndContactSheet() = 0;
  virtual int ThumbCount() const = 0;  // thumbnails in the panel
};

// The layout file's name without its folder and extension: the prefix of its
// pictures' copies ("Trip" for ".../Trip.lsf").
QString LayoutName(const QString& layoutPath);

// The same file: equal once made absolute and clean, or once made canonical.
bool SamePath(const QString& a, const QString& b);

// `LayoutCopy`: the name in the layouts folder of the copy of temporary
// picture `tempFile` saved with layout `layoutName`: the layout's name, "-",
// the slot number that the temporary name begins with, then " (LSG).jpg"
// (3-07.jpg in Trip gives "Trip-3 (LSG).jpg"). Attempt n > 1 gives the n-th
// choice for a name already taken: "Trip-3 (2) (LSG).jpg".
QString LayoutCopyPath(const QString& layoutFolder, const QString& layoutName, const QString& tempFile,
                       int attempt = 1);

// A save worked out before anything is written: the file's content and the
// copies (temporary picture, copy path) it points to.
struct SavePlan {
  LayoutContent content;
  std::vector<std::pair<QString, QString>> copies;
};

// What the save needs to know besides the page.
struct SaveSetting {
  QString layoutPath;
  QString layoutFolder;
  QString tempImagesFolder;
  bool landscape = false;
  QStringList filesInUse;  // files the page may still show: never replaced by a copy
};

// The pictures on the page from the back to the front; a temporary picture
// is written as the path of its copy. A copy never replaces a file that the
// page still uses, nor one that the layout being replaced does not own (one
// that another layout, or nothing known, uses): it takes the next free name.
Result<SavePlan> PlanSave(const PageModel& page, const SaveSetting& setting);

class LayoutDocument {
 public:
  LayoutDocument(PageModel& page, LayoutDocumentHost& host);

  // `mnuFileOpenPage_Click`: replaces the page with a chosen layout.
  void mnuFileOpenPage_Click();
  // `mnuFileSave_Click`: writes the page to the layout path.
  void mnuFileSave_Click();
  // `mnuFileSaveAs_Click`: asks for a name, then saves.
  void mnuFileSaveAs_Click();
  // `mnuFileNew_Click`: an empty page, no contact sheet.
  void mnuFileNew_Click();

  // The file that Save writes to: the last one opened or chosen to save.
  const QString& layoutPath() const { return layoutPath_; }
  // The name that Save and Save As refuse: the sample in the layouts folder.
  QString SampleName() const;
  // Reads the pictures of an opened layout on a worker; Imaging::readScaled
  // unless replaced.
  void setReader(ScaledReader reader) { reader_ = std::move(reader); }

 private:
  void Open();
  void Save();
  void SaveAs();
  void New();
  std::vector<QString> OpenChosen(const QString& path);
  Status CheckPictures(const LayoutContent& content) const;
  void FillSlots(const LayoutContent& content);
  std::optional<std::vector<QString>> LoadPictures();
  void ShowOpenedState();
  Status WriteLayout();
  bool Landscape();
  void ShowPageState();

  PageModel& page_;
  LayoutDocumentHost& host_;
  QString layoutPath_;
  ScaledReader reader_;
  bool running_ = false;  // a command is under way; another one waits for it
};

}  // namespace lumaset
