#pragma once

// What the documents (layout files, printing, contact sheets) ask of the
// main window, carried out on it. Private to the main window's files.

#include <QApplication>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QThread>

#include <utility>

#include "app/commands.h"
#include "app/main_window.h"
#include "browser/thumbnail_area.h"
#include "documents/contact_sheet.h"
#include "documents/layout_document.h"
#include "documents/page_printing.h"
#include "frame/app_state.h"
#include "frame/sounds.h"
#include "layout/adjust_panel.h"
#include "layout/layout_page.h"
#include "layout/orientation.h"
#include "layout/page_area.h"
#include "layout/page_refresh.h"

namespace lumaset {

class MainWindow::DocumentsHost : public LayoutDocumentHost, public PrintHost, public ContactSheetHost {
 public:
  explicit DocumentsHost(MainWindow& window) : w_(window) {}

  // --- Shared by all three -------------------------------------------------
  void ShowError(const QString& text) override { w_.ShowError(text); }
  void ShowInformation(const QString& text) override { w_.ShowInformation(text); }
  void PlaySound(Sound sound, Wait wait) override { w_.app_.sounds().Play(sound, wait); }
  void ProcessEvents() override { QApplication::processEvents(); }
  void SetStatusText(const QString& text) override { w_.statusLayout_->setText(text); }
  void SetEnabled(QStringView itemOrKey, bool enabled) override {
    w_.commands_->SetEnabled(itemOrKey, enabled);
  }
  void ClearPreview() override { w_.layout_->ClearPreview(); }
  void SetPageCaption(const QString& text) override { w_.panPrev_->SetCaption(text); }
  bool PrinterReady() override { return w_.app_.printer().PrinterReady(); }
  void SetBusy(bool busy) override { w_.SetPageBusy(busy); }
  void SetPageBusy(bool busy) override { w_.SetPageBusy(busy); }

  // --- Layout files --------------------------------------------------------
  std::optional<QString> OpenFileName(const FileDialogRequest& request) override {
    const QString file = QFileDialog::getOpenFileName(&w_, request.title,
                                                      request.folder + request.fileName, request.filter);
    return file.isEmpty() ? std::nullopt : std::optional<QString>(file);
  }
  std::optional<QString> SaveFileName(const FileDialogRequest& request) override {
    QFileDialog dialog(&w_, request.title, request.folder + request.fileName, request.filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(request.defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().constFirst();
  }
  // An Exit waiting for the work to end stops it at every check.
  bool TakeAbortRequest() override {
    return std::exchange(w_.app_.abortRequested, false) || w_.closeWhenIdle_;
  }
  void TurnPage(bool portrait) override {
    if (w_.layout_->model().geometry().portrait == portrait) {
      w_.layout_->PageRefresh();
    } else {
      w_.layout_->orientation().OptionClicked(portrait);
    }
  }
  void SetPicture(int slot, const QImage& reduced) override { w_.layout_->SetPicture(slot, reduced); }
  void PageChanged() override { w_.layout_->PageChanged(); }
  int PrinterOrientation() override { return w_.app_.printer().Facts().orientation; }
  float ImageRes() const override { return w_.app_.options.imageRes; }
  QString LayoutFolder() const override { return w_.app_.folders.layouts; }
  QString TempImagesFolder() const override { return w_.app_.programFolders.tempImages; }
  QStringList UndoFiles() const override {
    QStringList files;
    const UndoStack& stack = w_.layout_->undo().stack();
    for (int i = 1; i <= stack.top(); ++i) files.append(stack.entry(i).file);
    return files;
  }
  void PauseAfterSave() override { QThread::msleep(1000); }
  void EndContactSheet() override { w_.sheet_->Reset(); }
  int ThumbCount() const override { return w_.picPan_->table().ThumbCount(); }

  // --- Printing ------------------------------------------------------------
  QString AskSaveFile(const QString& title, const QString& fileName, const QString& filter) override {
    return QFileDialog::getSaveFileName(&w_, title, fileName, filter);
  }
  QString StatusText() override { return w_.statusLayout_->text(); }
  void ShowPrinterName(const QString& caption) override {
    w_.layout_->adjustPanel()->ShowPrinterName(caption);
  }
  bool PortraitSelected() override { return w_.layout_->model().geometry().portrait; }
  void optPort_Click() override { w_.layout_->orientation().optPort_Click(); }
  void optLand_Click() override { w_.layout_->orientation().optLand_Click(); }
  void PageRefresh() override { w_.layout_->PageRefresh(); }
  void ToolEnable(bool enable, int slot) override { w_.layout_->ToolEnable(enable, slot); }
  bool ThumbSheet() override { return w_.sheet_->ThumbSheet(); }
  bool UnreadSheetCell(int slot) override { return w_.sheet_->UnreadCell(slot); }

  // --- Contact sheets --------------------------------------------------------
  void UnselectThumbnails() override { w_.picPan_->DropSelection(); }
  QString CurrentFolder() override { return w_.app_.folders.current; }
  void ShowThumbnail(int slot, const QImage& picture, const PageText& caption) override {
    w_.layout_->SetPicture(slot, picture);
    w_.layout_->refresher().AddCaption(caption);
  }
  void ShowHeading(const PageText& heading) override {
    w_.layout_->refresher().RedrawLabel(
        heading.text, PagePen{heading.family, heading.pointSize, heading.bold, heading.italic, heading.color});
  }
  void ShowNextPage(bool shown) override { w_.layout_->adjustPanel()->cmdThumb()->setVisible(shown); }

 private:
  MainWindow& w_;
};

}  // namespace lumaset
