// The main window's commands: the menus and toolbar, tool enabling, the
// memory meter's timer and the shared dialogs that commands open.

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>

#include <algorithm>

#include "app/commands.h"
#include "app/main_window.h"
#include "browser/folder_tree.h"
#include "browser/mixer_window.h"
#include "browser/thumbnail_area.h"
#include "components/drives.h"
#include "components/mixer_device.h"
#include "documents/layout_file.h"
#include "frame/about_box.h"
#include "frame/app_state.h"
#include "frame/folder_picker.h"
#include "frame/help_window.h"
#include "frame/memory_meter.h"
#include "frame/notice_window.h"
#include "frame/preferences.h"
#include "frame/progress_window.h"
#include "frame/sounds.h"
#include "layout/layout_page.h"
#include "layout/page_area.h"

namespace lumaset {

namespace {

constexpr int kTimerInterval = 500;  // ms; the meter refreshes on every fourth tick

}  // namespace

void MainWindow::BuildCommands() {
  commands_ = new CommandSet(this);
  commands_->Wire(u"mnuFileExit", [this] { close(); });
  commands_->Wire(u"mnuHelpContents", [this] { help_->show(HelpCommand::Contents, 0); });
  commands_->Wire(u"mnuHelpSearchForHelpOn", [this] { help_->show(HelpCommand::PartialKey, 0); });
  commands_->Wire(u"mnuHelpAbout", [this] { about_->ShowFull(); });
  commands_->Wire(u"mnuFilePrefs", [this] { mnuFilePrefs_Click(); });
  commands_->Wire(u"mnuViewOptions", [this] { mnuFilePrefs_Click(); });

  QAction* toolbar = commands_->Item(u"mnuViewToolbar");
  toolbar->setChecked(true);
  commands_->WireCheck(
      u"mnuViewToolbar", [this] { return !commands_->toolBar()->isHidden(); },
      [this, toolbar] { commands_->toolBar()->setVisible(toolbar->isChecked()); });
  QAction* status = commands_->Item(u"mnuViewStatusBar");
  status->setChecked(true);
  commands_->WireCheck(
      u"mnuViewStatusBar", [this] { return !statusBar()->isHidden(); },
      [this, status] { statusBar()->setVisible(status->isChecked()); });

  ToolEnable(std::nullopt);
}

EventSoundPlayer MainWindow::EventSounds() {
  return [this](QStringView name, EventSoundPlay how) {
    const Wait wait = how == EventSoundPlay::Wait ? Wait::Yes : Wait::No;
    const Cut cut = how == EventSoundPlay::Interrupt ? Cut::Yes : Cut::No;
    app_.sounds().PlayEvent(name, wait, cut);
  };
}

void MainWindow::StartAboutBox() {
  about_ = std::make_unique<AboutService>(app_.settings(), app_.identity, this);
  // Without a device the player stays silent by itself.
  about_->hooks().sounds = EventSounds();
  about_->ShowSplash();
}

// `ToolEnable`: the selection frame and the picture tools follow the
// selected picture, or are put away when there is none.
void MainWindow::ToolEnable(const std::optional<PicturePlace>& place) {
  // The page draws its own selection frame; this is the commands' side.
  const ToolState state = lumaset::ToolEnable(place);

  // The Tools menu carries every picture command; its items keep their own
  // states. Switched off on the menu itself, it stays off when the window
  // is disabled and enabled again around it (as the progress window does).
  pictureToolsOn_ = state.tools;
  commands_->Menu(u"mnuTool")->setEnabled(state.tools);
  for (const char* key : {"Crop", "Rotate", "Delete", "Effects"}) {
    commands_->SetEnabled(QString::fromLatin1(key), state.tools);
  }
  commands_->SetEnabled(u"mnuToolPlaceFront", state.front);
  commands_->SetEnabled(u"Front", state.front);
  commands_->SetEnabled(u"mnuToolPlaceBack", state.back);
  commands_->SetEnabled(u"Back", state.back);
  if (state.leaveCropMode) {
    commands_->Item(u"mnuToolCrop")->setChecked(false);
    commands_->Button(u"Crop")->setChecked(false);
  }
}

// `mnuFilePrefs_Click`: the preferences, then what their changes ask for.
void MainWindow::mnuFilePrefs_Click(PreferencesTab tab) {
  picPan_->table().setThumbHover(-1);
  layout_->ToolEnable(false, -1);
  PreferencesLinks links;
  links.pickMidiFolder = [this] { return PickFolder(FolderPickMode::Midi); };
  links.showHelp = [this](int context) { help_->show(HelpCommand::Context, context); };
  links.openMixer = [this](QWidget* dialog, QPoint topLeftTwips) {
    ShowMixerWindow(dialog, app_.settings(), QStringLiteral("Wave"), topLeftTwips,
                    std::make_unique<AlsaMixerDevice>(),
                    [this](QStringView name) { app_.sounds().PlayEvent(name); });
  };
  links.layoutPictures = &LayoutPicturePaths;
  const PreferencesResult result = ShowPreferences(this, app_, std::move(links), tab);

  if (result.thumbResizeNeeded) {
    app_.thumbCell = app_.options.genLarge ? 1260 : 860;
    if (picPan_->table().ThumbCount() > 0) {
      app_.options.reopenFolder = true;
      opener_->mnuFileOpen_Click();
    }
  }
  if (RelayoutNeeded(app_.options, !pbarMem_->isHidden(), !dirTree_->isHidden())) FormResize();
  if (result.pageRedrawNeeded) layout_->PageRefresh();
  app_.imaging().setJpegQuality(std::clamp<int>(app_.options.jpegQuality, 1, 100));
  app_.imaging().setJpegDpi(std::max<int>(app_.options.jpegDpi, 1));
}

// --- Memory meter ----------------------------------------------------------

void MainWindow::StartTimer() {
  if (!timer1_) {
    timer1_ = new QTimer(this);
    timer1_->setInterval(kTimerInterval);
    connect(timer1_, &QTimer::timeout, this, &MainWindow::Timer1_Timer);
    new StatusClock(statusDate_, statusTime_, this);
  }
  timer1_->start();
}

void MainWindow::Timer1_Timer() {
  ApplyMemoryDisplay(meter_->Tick(app_.options.memDisplay, pbarMem_->maximum()), statusMemory_,
                     pbarMem_);
}

// --- Shared dialogs ----------------------------------------------------------

ProgressWindow& MainWindow::progressWindow() {
  if (!progress_) progress_ = new ProgressWindow(this);
  return *progress_;
}

bool MainWindow::PickFolder(FolderPickMode mode, std::optional<QRect> scanWindow) {
  app_.folderPick.ask(mode);
  FolderPickerSetup setup;
  setup.drives = SystemDrives();
  setup.scanWindow = scanWindow;
  setup.playOpenSound = [this] { app_.sounds().Play(Sound::Open); };
  setup.playCloseSound = [this] { app_.sounds().Play(Sound::Close, Wait::Yes); };
  FolderPickerDialog picker(
      FolderPickerContext{app_.folderPick, app_.folders, app_.options, app_.settings(),
                          app_.identity.fullTitle},
      std::move(setup), this);
  connect(&picker, &FolderPickerDialog::folderCreated, this, &MainWindow::folderCreated);
  picker.exec();
  return app_.folderPick.folderPicked;
}

}  // namespace lumaset
