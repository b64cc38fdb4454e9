// The main window's start-up and shut-down, each in its order. Every step of
// either that fails is skipped, so one broken piece never keeps the program
// from starting or from ending.

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>

#include <algorithm>
#include <utility>

#include "acquire/email.h"
#include "acquire/file_commands.h"
#include "app/commands.h"
#include "app/main_window.h"
#include "browser/folder_tree.h"
#include "browser/thumbnail_area.h"
#include "components/scanner.h"
#include "components/system_memory.h"
#include "components/thumbnail_cache.h"
#include "documents/sample_layout.h"
#include "frame/app_state.h"
#include "frame/general.h"
#include "frame/help_window.h"
#include "frame/number_from_setting.h"
#include "frame/sounds.h"
#include "frame/working_folders.h"
#include "layout/page_area.h"
#include "layout/temporary_pictures.h"

namespace lumaset {

namespace {

constexpr int kSmallThumbCell = 860;
constexpr int kLargeThumbCell = 1260;

float StoredNumber(const SettingsStore& settings, const QString& key, double defaultValue) {
  return NumberFromSetting(settings.readSetting(key, defaultValue));
}

}  // namespace

void MainWindow::FormLoad() {
  SettingsStore& settings = app_.settings();

  // A clip that cannot be read merely stays silent. Loaded before any
  // window that plays them is made.
  (void)app_.sounds().Load(settings);
  StartAboutBox();
  app_.sounds().Play(Sound::Start);

  // The main picture reports no progress; JPEG quality and resolution follow
  // the settings below.
  app_.imaging().setProgressEnabled(false);
  app_.label = LabelStyle{};

  picPan_->notice()->setText(QStringLiteral("Thumbnail Panel (none)"));

  treeWidth_ = ClampTreeWidth(StoredNumber(settings, QStringLiteral("DirTreeWidth"), kDefaultTreeWidth));
  columnLeft_ = ColumnLeftForTree(treeWidth_);
  ApplyStoredPlacement();

  ApplyOptions();
  layout_->ShowDefaultWidth();
  if (app_.options.disableScreenSaver) app_.screenSaver().SetActive(false);
  app_.thumbCell = app_.options.genLarge ? kLargeThumbCell : kSmallThumbCell;

  picPan_->ThumbNailClear();
  app_.abortRequested = false;
  layout_->ClearPreview();

  app_.formReady = true;
  FormResize();

  SetUpFolders();
  StartMemoryMeter();

  TreeView(u"Load");
  TreeView(u"Navigate", app_.folders.current);

  // Until a window manager has framed the window, its position is that of
  // the frame it will get.
  placedAt_ = pos();
  frameSettled_ = false;
  show();
  QApplication::processEvents();
  // Edited pictures can only be written once their folder can be made.
  if (!tempFolderMade_) ShowError(tempFolderMade_.error());

  if (app_.options.reopenFolder) {
    ShowInTree(app_.folders.current);
    opener_->ThumbsOpen();
  }
  // Closing is allowed once no thumbnails are being made.
  app_.thumbsIdle = !picPan_->building();
  splitter_.place(SplitterLeftForTree(treeWidth_));
}

void MainWindow::ApplyStoredPlacement() {
  const QScreen* screen = this->screen();
  if (!screen) return;
  // The screen as the user sees it: the shape that the layout then gives the
  // window keeps its frame within it.
  const QRect available = screen->availableGeometry();
  const TwipsRect area{ToTwips(available.x()), ToTwips(available.y()), ToTwips(available.width()),
                       ToTwips(available.height())};
  const TwipsRect defaults = DefaultPlacement(area);
  const SettingsStore& settings = app_.settings();
  const StoredPlacement stored{
      StoredNumber(settings, QStringLiteral("MainLeft"), defaults.left),
      StoredNumber(settings, QStringLiteral("MainTop"), defaults.top),
      StoredNumber(settings, QStringLiteral("MainWidth"), defaults.width),
      StoredNumber(settings, QStringLiteral("MainHeight"), defaults.height)};
  const TwipsRect placement = ClampPlacement(stored, area);

  move(ToPixels(placement.left), ToPixels(placement.top));
  ResizeOuter(placement.width, placement.height);
}

void MainWindow::ApplyOptions() {
  app_.options = LoadOptions(app_.settings());
  // Without a sound device the sounds stay off for the whole run.
  if (!app_.sounds().DeviceExists()) app_.options.genSound = false;
  app_.imaging().setJpegQuality(std::clamp<int>(app_.options.jpegQuality, 1, 100));
  app_.imaging().setJpegDpi(std::max<int>(app_.options.jpegDpi, 1));
}

void MainWindow::SetUpFolders() {
  tempFolderMade_ = EnsurePrivateFolder(app_.programFolders.tempImages);
  app_.folders = SetUpWorkingFolders(app_.settings(), app_.programFolders,
                                     FileSystemUtility::SpecialFolderDocuments());
  (void)WriteSampleLayout(app_.files(), app_.programFolders, app_.folders.layouts);
  RemoveOldEmailCopies(app_.programFolders.emailCopies, QDateTime::currentDateTime().addDays(-1));
  // Temporary pictures come and go with the page: their thumbnails are never kept.
  picPan_->setThumbnailCache(std::make_shared<ThumbnailCache>(
      ThumbnailCache::DefaultRoot(), QStringList{app_.programFolders.tempImages, app_.folders.tempImages}));
}

void MainWindow::StartMemoryMeter() {
  constexpr qint64 kMegabyte = 1024 * 1024;
  const qint64 megabytes = AvailableMemoryBytes().value_or(0) / kMegabyte;
  pbarMem_->setMaximum(static_cast<int>(std::clamp<qint64>(megabytes, 1, INT_MAX)));
  StartTimer();
}

// --- Shut-down -------------------------------------------------------------

void MainWindow::closeEvent(QCloseEvent* event) {
  // Long page work and the open default editor run their own event loop:
  // the window waits for them to end, and the editor is never ended from here.
  if (!closing_ && editorOpen_) {
    event->ignore();
    return;
  }
  // Long page work (a file's turn among it) is asked to stop (as Esc does),
  // and the window closes once it has.
  if (!closing_ && commands_->busy()) {
    app_.abortRequested = true;
    closeWhenIdle_ = true;
    if (fileCommands_) fileCommands_->StopTurn();
    event->ignore();
    return;
  }
  // Commands asked for before it (a Save among them) wait for pictures
  // still being added: the window closes after them, not instead of them.
  if (!closing_ && layout_->commandsWaiting()) {
    event->ignore();
    if (!std::exchange(closeAfterWaiting_, true)) {
      layout_->AfterAdding([this] {
        closeAfterWaiting_ = false;
        close();
      });
    }
    return;
  }
  if (closing_ || FormUnload()) {
    event->accept();
  } else {
    event->ignore();
  }
}

bool MainWindow::FormUnload() {
  // A refused close keeps the screen saver off, as the running program wants it.
  if (!app_.thumbsIdle) return false;  // thumbnails are being made: Esc stops them first
  if (app_.options.disableScreenSaver) app_.screenSaver().SetActive(true);
  closing_ = true;

  scanner_->Shutdown();
  help_->show(HelpCommand::Quit, 0);
  DeleteTemporaryPictures(app_.programFolders.tempImages);
  RemoveFolderIfEmpty(app_.programFolders.tempImages);

  const bool minimized = isMinimized();
  hide();
  QApplication::processEvents();
  if (!minimized) {
    SavePlacement();
    app_.sounds().Play(Sound::Exit, Wait::Yes);
  }
  UnloadAllForms(this);
  return true;
}

void MainWindow::SavePlacement() {
  SettingsStore& settings = app_.settings();
  settings.writeSetting(QStringLiteral("MainLeft"), ToTwips(pos().x()));
  settings.writeSetting(QStringLiteral("MainTop"), ToTwips(pos().y()));
  settings.writeSetting(QStringLiteral("MainWidth"), OuterWidthTwips());
  settings.writeSetting(QStringLiteral("MainHeight"), OuterHeightTwips());
  settings.writeSetting(QStringLiteral("DirTreeWidth"), treeWidth_);
  (void)settings.sync();
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) app_.abortRequested = true;
  if (event->key() == Qt::Key_Delete && !commands_->busy()) {
    // Deletes what is selected once the pictures asked for are on the page;
    // never while long page work holds the page.
    layout_->AfterAdding([this] {
      if (layout_->picCur() > -1 && layout_->shSelVisible()) layout_->mnuToolDelete_Click();
    });
  }
  QMainWindow::keyPressEvent(event);
}

}  // namespace lumaset
