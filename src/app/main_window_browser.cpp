// The main window around the folder browser: the folder tree, the thumbnail
// panel while it makes thumbnails, and opening a folder.

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>

#include "app/commands.h"
#include "app/main_window.h"
#include "browser/folder_tree.h"
#include "browser/thumbnail_area.h"
#include "frame/about_box.h"
#include "frame/app_state.h"
#include "frame/folder_picker.h"
#include "frame/memory_meter.h"
#include "frame/sounds.h"
#include "layout/adjust_panel.h"
#include "layout/layout_page.h"
#include "layout/page_area.h"

namespace lumaset {

void MainWindow::ConnectBrowser() {
  opener_ = std::make_unique<FolderOpener>(static_cast<FolderOpenWindow&>(*this), app_.settings(),
                                           app_.folders.current, app_.options.reopenFolder,
                                           app_.identity.fullTitle);
  commands_->Wire(u"mnuFileOpen", [this] { opener_->mnuFileOpen_Click(); });

  dirTree_->setIdleCheck([this] { return app_.thumbsIdle; });
  connect(dirTree_, &FolderTree::folderClicked, this,
          [this](const QString& folder) { opener_->OpenFromTree(folder); });
  connect(this, &MainWindow::folderCreated, this, [this](const QString& folder) {
    dirTree_->RemoveAllNodes();
    TreeView(u"Load");
    TreeView(u"Navigate", folder);
  });

  pBar_ = new QProgressBar(this);
  pBar_->setRange(0, 100);
  pBar_->setTextVisible(false);
  pBar_->hide();

  picPan_->setAbortFlag(&app_.abortRequested);
  connect(picPan_, &ThumbnailPanel::buildStarted, this, &MainWindow::ThumbnailBuildStarted);
  connect(picPan_, &ThumbnailPanel::makingCells, this, &MainWindow::ThumbnailCellsMaking);
  connect(picPan_, &ThumbnailPanel::progressChanged, pBar_, [this](int percent) { SetProgressLater(pBar_, percent); });
  connect(picPan_, &ThumbnailPanel::folderCaptionChanged, labFolder_, &ShortenedLabel::setFullText);
  connect(picPan_, &ThumbnailPanel::memoryPanelTextChanged, statusMemory_, &QLabel::setText);
  connect(picPan_, &ThumbnailPanel::buildFinished, this, &MainWindow::ThumbnailBuildFinished);
  connect(picPan_, &ThumbnailPanel::cleared, this, &MainWindow::ThumbnailPanelCleared);
  connect(picPan_, &ThumbnailPanel::thumbToolsEnabled, this, &MainWindow::SetThumbTools);
  connect(picPan_, &ThumbnailPanel::pictureToolsOffRequested, this,
          [this] { layout_->ToolEnable(false, -1); });
  connect(picPan_, &ThumbnailPanel::addWidthChanged, this,
          [this](float twips) { layout_->model().edit().addWidth = twips; });
  connect(picPan_, &ThumbnailPanel::addHeightChanged, this,
          [this](float twips) { layout_->model().edit().addHeight = twips; });
  connect(picPan_, &ThumbnailPanel::printedHeightChanged, layout_->adjustPanel(),
          &PageAdjustPanel::SetHeightText);
  picPan_->setPageReadings([this] { return layout_->Readings(); });
  connect(panPrev_->page(), &PageView::movedAt, picPan_, [this] { picPan_->panPrev_MouseMove(); });
  connect(picPan_, &ThumbnailPanel::selectSoundRequested, this, [this] {
    if (!previewOpen_) app_.sounds().Play(Sound::Select);
  });
  connect(picPan_, &ThumbnailPanel::errorMessage, this, &MainWindow::ShowError);
}

void MainWindow::TreeView(QStringView action, const QString& path) { dirTree_->TreeView(action, path); }

// While thumbnails are made the tree, the page and its controls wait with
// the hourglass; menus and toolbar stay live, and Esc stops the build.
void MainWindow::ThumbnailBuildStarted() {
  app_.thumbsIdle = false;
  dirTree_->setEnabled(false);
  setCursor(Qt::WaitCursor);
  for (QWidget* pane : {static_cast<QWidget*>(panAdjust_), static_cast<QWidget*>(panPrev_),
                        static_cast<QWidget*>(panPrev_->page())}) {
    pane->setCursor(Qt::WaitCursor);
    pane->setEnabled(false);
  }
  keptStatus_ = statusLayout_->text();
  statusLayout_->setText(ThumbnailPanel::kMakingText);
}

void MainWindow::ThumbnailCellsMaking(bool making) {
  if (making) {
    if (timer1_) timer1_->stop();
  } else if (timer1_) {
    timer1_->start();
  }
  const Status placed = ProgressInStatusBar(this, statusBar(), statusLayout_, pBar_, making);
  if (!placed) {
    ShowMessageBox(this, QMessageBox::Information, app_.identity.fullTitle, ProgressInStatusBarMessage(placed.error()),
                   QMessageBox::Ok);
  }
}

void MainWindow::ThumbnailBuildFinished() {
  statusLayout_->setText(keptStatus_);
  unsetCursor();
  panAdjust_->unsetCursor();
  panPrev_->unsetCursor();
  panPrev_->page()->setCursor(Qt::CrossCursor);
  for (QWidget* pane : {static_cast<QWidget*>(dirTree_), static_cast<QWidget*>(panAdjust_),
                        static_cast<QWidget*>(panPrev_), static_cast<QWidget*>(panPrev_->page())}) {
    pane->setEnabled(true);
  }
  app_.thumbCell = picPan_->thumbCell();
  app_.thumbsIdle = true;
  RunPendingDownloadSoon();
}

void MainWindow::ThumbnailPanelCleared() {
  labFolder_->setFullText(QStringLiteral("No folder open"));
  setWindowTitle(app_.identity.fullTitle);
  for (const char* item : {"mnuViewProperties", "mnuViewImage", "mnuViewThumb", "mnuViewSlide",
                           "mnuViewEdit"}) {
    commands_->SetEnabled(QString::fromLatin1(item), false);
  }
  for (const char* key : {"Properties", "Preview", "Edit", "Thumbnail", "SlideShow"}) {
    commands_->SetEnabled(QString::fromLatin1(key), false);
  }
  statusLayout_->setText(QStringLiteral("Undefined layout"));
}

void MainWindow::SetThumbTools(bool enabled) {
  for (const char* name : {"mnuViewProperties", "mnuViewImage", "mnuViewEdit", "Properties",
                           "Preview", "Edit"}) {
    commands_->SetEnabled(QString::fromLatin1(name), enabled);
  }
}

// --- Opening a folder ------------------------------------------------------

bool MainWindow::PickPhotoFolder() { return PickFolder(FolderPickMode::Photo); }
bool MainWindow::MakingThumbnails() const { return picPan_->building(); }
void MainWindow::SetPanelCaption(const QString& text) { picPan_->notice()->setText(text); }
void MainWindow::SetFolderCaption(const QString& text) { labFolder_->setFullText(text); }
void MainWindow::SetWindowCaption(const QString& text) { setWindowTitle(text); }
void MainWindow::LetEventsRun() { QApplication::processEvents(); }
QString MainWindow::StatusText() const { return statusLayout_->text(); }
void MainWindow::SetStatusText(const QString& text) { statusLayout_->setText(text); }

void MainWindow::ShowInTree(const QString& folder) {
  TreeView(u"Navigate", folder);
  TreeView(u"Select", folder);
}

void MainWindow::ClearThumbnails() { picPan_->ThumbNailClear(); }
QString MainWindow::PageCaption() const { return panPrev_->caption(); }

void MainWindow::NewPage() { FileNew(); }

int MainWindow::MakeThumbnails() {
  return std::max(0, picPan_->ThumbNailAndWait(app_.folders.current, app_.options.genLarge));
}

void MainWindow::SetFolderTools(bool hasPictures) {
  if (hasPictures) {
    for (const char* name : {"mnuViewThumb", "mnuViewSlide", "Thumbnail", "SlideShow"}) {
      commands_->SetEnabled(QString::fromLatin1(name), true);
    }
    return;
  }
  for (const char* key : {"Properties", "Preview", "Edit", "Thumbnail", "SlideShow"}) {
    commands_->SetEnabled(QString::fromLatin1(key), false);
  }
}

void MainWindow::ShowError(const QString& text) {
  ShowMessageBox(this, QMessageBox::Warning, app_.identity.fullTitle, text, QMessageBox::Ok);
}

void MainWindow::ShowNotice(const QString& text) {
  ShowMessageBox(this, QMessageBox::Information, app_.identity.fullTitle, text, QMessageBox::Ok);
}

}  // namespace lumaset
