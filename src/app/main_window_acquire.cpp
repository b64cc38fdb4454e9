// The main window around acquisition: downloading from a drive or a camera,
// and e-mailing the chosen pictures. AcquireHost carries out for them what
// touches the window.

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QTimer>

#include <utility>

#include "acquire/download.h"
#include "acquire/email.h"
#include "acquire/file_command_wiring.h"
#include "acquire/file_commands.h"
#include "app/commands.h"
#include "app/main_window.h"
#include "app/main_window_acquire.h"
#include "browser/thumb_table.h"
#include "browser/thumbnail_area.h"
#include "components/mail_sender.h"
#include "components/scanner.h"
#include "frame/about_box.h"
#include "frame/app_state.h"
#include "frame/preferences.h"
#include "layout/layout_page.h"

namespace lumaset {


void MainWindow::ConnectAcquire() {
  acquireHost_ = std::make_unique<AcquireHost>(*this);
  mail_ = std::make_unique<MailSender>();
  download_ = std::make_unique<DownloadCommands>(*acquireHost_, app_.options, app_.folders, app_.folderPick);
  email_ = std::make_unique<EmailCommands>(*acquireHost_, emailList_, app_.options, app_.settings(), *mail_,
                                           app_.programFolders.emailCopies);

  commands_->Wire(u"mnufileDownloadDrive", [this] { RunDownload(&DownloadCommands::mnufileDownloadDrive_Click); });
  commands_->Wire(u"mnuFileDownloadCamera", [this] { RunDownload(&DownloadCommands::mnuFileDownloadCamera_Click); });
  commands_->Wire(u"mnuFileEmailSend", [this] { email_->mnuFileEmailSend_Click(); });
  commands_->Wire(u"mnuFileEmailClear", [this] { email_->mnuFileEmailClear_Click(); });
  commands_->WireCheck(
      u"mnuFileEmailReduce", [this] { return app_.options.genReduce; },
      [this] { email_->mnuFileEmailReduce_Click(); });
  const auto selectedFile = [this] {
    const ThumbTable& table = picPan_->table();
    const int selected = table.ThumbSel();
    return selected >= 0 && selected < table.ThumbCount() ? table.ThumbFiles(selected) : QString();
  };
  commands_->WireCheck(
      u"mnuFileOptionsEmail", [this, selectedFile] { return emailList_.contains(selectedFile()); },
      [this, selectedFile] {
        if (const QString file = selectedFile(); !file.isEmpty()) email_->mnuFileOptionsEmail_Click(file);
      });

  fileHost_ = std::make_unique<FileHost>(*this);
  fileCommands_ = std::make_unique<FileCommands>(
      FileCommandContext{*picPan_, app_.folders, app_.options, app_.settings(), app_.imaging()}, *fileHost_);
  ConnectFileCommands(*picPan_, *dirTree_, *fileCommands_);
  FileCommands* files = fileCommands_.get();
  commands_->Wire(u"mnuFileOptionsRotate", [files] { files->mnuFileOptionsRotate_Click(); });
  commands_->Wire(u"mnuFileOptionsEdit", [files] { files->mnuFileOptionsEdit_Click(); });
  commands_->Wire(u"mnuViewEdit", [files] { files->mnuFileOptionsEdit_Click(); });
  commands_->Wire(u"mnuFileOptionsCopy", [files] { files->mnuFileOptionsCopy_Click(); });
  commands_->Wire(u"mnuFileOptionsMove", [files] { files->mnuFileOptionsMove_Click(); });
  commands_->Wire(u"mnuFileOptionsRename", [files] { files->mnuFileOptionsRename_Click(); });
  commands_->Wire(u"mnuFileOptionsDelete", [files] { files->mnuFileOptionsDelete_Click(); });

  // Scanning is offered only when the scanner library started; the devices
  // are listed only when the scan window asks, since network scanners can
  // take seconds to answer.
  scanner_ = std::make_unique<SaneScanService>();
  app_.scanAvailable = scanner_->Initialise();
  scanHost_ = std::make_unique<ScanHost>(*this);
  scan_ = std::make_unique<ScanCommand>(*scanner_, app_.settings(), app_.options, app_.folders, *scanHost_);
  if (scanner_->available()) {
    commands_->Wire(u"mnuFileScan", [this] { scan_->mnuFileScan_Click(this); });
  }

  picPan_->setCommandAvailable(ThumbnailPanel::CellCommand::Email, true);
  picPan_->setEmailListLookup([this](const QString& file) { return emailList_.contains(file); });
  connect(picPan_, &ThumbnailPanel::cellCommandRequested, this,
          [this](ThumbnailPanel::CellCommand command, int index) { RunCellCommand(command, index); });

  // The File menu shows the e-mail list's state each time it opens.
  connect(commands_->Menu(u"mnuFile"), &QMenu::aboutToShow, this, [this] {
    const ThumbTable& table = picPan_->table();
    const int selected = table.ThumbSel();
    const bool any = selected >= 0 && selected < table.ThumbCount();
    const EmailMenuState state = FileMenuState(
        emailList_, any ? std::optional<QString>(table.ThumbFiles(selected)) : std::nullopt,
        app_.options.genReduce);
    commands_->Menu(u"mnuFileOptions")->menuAction()->setEnabled(state.fileOptionsEnabled);
    QMenu* email = commands_->Menu(u"mnuFileEmail");
    email->menuAction()->setEnabled(state.emailEnabled);
    email->setTitle(state.emailCaption);
    commands_->Item(u"mnuFileEmailReduce")->setChecked(state.reduceChecked);
    QAction* add = commands_->Item(u"mnuFileOptionsEmail");
    add->setText(state.addCaption);
    add->setCheckable(true);
    add->setChecked(state.addChecked);
  });
}

// A download waits while thumbnails are made, since the panel's list is not
// final yet, and while another download runs; the last one asked for then
// runs on its own.
void MainWindow::RunDownload(void (DownloadCommands::*command)()) {
  if (!app_.thumbsIdle || downloading_) {
    pendingDownload_ = command;
    return;
  }
  pendingDownload_ = nullptr;
  downloading_ = true;
  (download_.get()->*command)();
  downloading_ = false;
  RunPendingDownloadSoon();
}

void MainWindow::RunPendingDownloadSoon() {
  if (!pendingDownload_) return;
  QTimer::singleShot(0, this, [this] {
    if (const auto command = std::exchange(pendingDownload_, nullptr)) RunDownload(command);
  });
}

// The thumbnail cell menu's commands, for the cell it was opened on.
void MainWindow::RunCellCommand(ThumbnailPanel::CellCommand command, int index) {
  const ThumbTable& table = picPan_->table();
  if (index < 0 || index >= table.ThumbCount()) return;
  const QString file = table.ThumbFiles(index);
  switch (command) {
    case ThumbnailPanel::CellCommand::Email:
      email_->mnuFileOptionsEmail_Click(file);
      break;
    default:
      break;
  }
}

void MainWindow::ClearEmailList() { emailList_.clear(); }

}  // namespace lumaset
