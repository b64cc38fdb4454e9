// The main window around the layout page: the page's commands in the menus
// and toolbar, and what the page asks of the window.

#include <QAction>
#include <QCursor>
#include <QMenu>
#include <QMessageBox>
#include <QToolBar>

#include "app/commands.h"
#include "app/main_window.h"

#include "layout/adjust_panel.h"
#include "browser/thumbnail_area.h"
#include "documents/contact_sheet.h"
#include "documents/layout_document.h"
#include "frame/about_box.h"
#include "frame/app_state.h"
#include "frame/progress_window.h"
#include "frame/sounds.h"
#include "layout/layout_page.h"

namespace lumaset {

void MainWindow::ConnectLayoutPage() {
  layout_ = std::make_unique<LayoutPage>(app_, static_cast<LayoutPageWindow&>(*this), panPrev_, panAdjust_);
  LayoutPage* page = layout_.get();
  layout_->adjustPanel()->setRoomRequest([this] {
    if (layingOut_) columnGrew_ = true;
    else FormResize();
  });
  commands_->WireCheck(u"mnuToolCrop", [page] { return page->cropChecked(); }, [page] { page->mnuToolCrop_Click(); });
  commands_->Wire(u"mnuToolDelete", [page] { page->mnuToolDelete_Click(); });
  commands_->Wire(u"mnuToolCopy", [page] { page->mnuToolCopy_Click(); });
  commands_->Wire(u"mnuToolCut", [page] { page->mnuToolCut_Click(); });
  commands_->Wire(u"mnuToolPlaceFront", [page] { page->mnuToolPlaceFront_Click(); });
  commands_->Wire(u"mnuToolPlaceBack", [page] { page->mnuToolPlaceBack_Click(); });
  commands_->Wire(u"mnuToolUndo", [page] { page->mnuToolUndo_Click(); });
  commands_->Wire(u"mnuToolFull", [page] { page->mnuToolFull_Click(); });
  commands_->Wire(u"mnuViewRefresh", [page] { page->mnuViewRefresh_Click(); });
  commands_->SetLayoutTitle([page] { return page->model().edit().layoutTitle; });
  // Every command but help, the view switches and Exit sees the page with
  // the pictures asked for on it: it waits while they are still being read.
  commands_->SetGate([page](std::function<void()> command) { page->AfterAdding(std::move(command)); });
}

void MainWindow::SetCommandEnabled(QStringView itemOrKey, bool enabled) {
  commands_->SetEnabled(itemOrKey, enabled);
}

void MainWindow::SetCropChecked(bool on) {
  commands_->Item(u"mnuToolCrop")->setChecked(on);
  commands_->Button(u"Crop")->setChecked(on);
}

void MainWindow::SetUndoTip(const QString& tip) {
  QAction* undo = commands_->Button(u"Undo");
  undo->setToolTip(tip);
  undo->setText(tip);  // its name for screen readers
}

void MainWindow::PopupToolsMenu() { commands_->Menu(u"mnuTool")->exec(QCursor::pos()); }
void MainWindow::PopupMenu(QMenu& menu) { menu.exec(QCursor::pos()); }
void MainWindow::ShowPreview(const QString& file, float aspect) { ShowPreview(file, aspect, -1); }
ThumbTable& MainWindow::Thumbs() { return picPan_->table(); }
void MainWindow::DropSelection() { picPan_->DropSelection(); }

void MainWindow::ShowInformation(const QString& text) {
  ShowMessageBox(this, QMessageBox::Information, app_.identity.fullTitle, text, QMessageBox::Ok);
}

void MainWindow::PlaySound(Sound sound, Wait wait) { app_.sounds().Play(sound, wait); }

void MainWindow::FileNew() { documents_->mnuFileNew_Click(); }

bool MainWindow::ThumbSheet() { return sheet_->ThumbSheet(); }

Imaging::ProgressHandler MainWindow::ImagingProgress() {
  return MakeProgressHandler(progressWindow(), app_.imaging(),
                             [this] { app_.sounds().Play(Sound::Effect); });
}

}  // namespace lumaset
