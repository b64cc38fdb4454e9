#pragma once

// What downloading and e-mail ask of the main window, carried out on it.
// Private to the main window's files.

#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <utility>

#include "acquire/download.h"
#include "acquire/email.h"
#include "acquire/file_command_dialogs.h"
#include "acquire/file_command_host.h"
#include "acquire/scan_command.h"
#include "app/commands.h"
#include "app/main_window.h"
#include "browser/folder_tree.h"
#include "browser/thumb_table.h"
#include "browser/thumbnail_area.h"
#include "components/mail_sender.h"
#include "frame/about_box.h"
#include "frame/app_state.h"
#include "frame/general.h"
#include "frame/preferences.h"
#include "frame/progress_window.h"
#include "frame/sounds.h"
#include "layout/layout_page.h"

namespace lumaset {

// The boxes of the download, e-mail and file commands carry the program's
// short name, "Lumaset".
class MainWindow::AcquireHost : public DownloadHost, public EmailHost {
 public:
  explicit AcquireHost(MainWindow& window) : w_(window), dialogs_(&window, window.app_.identity.name) {}

  void ShowInformation(const QString& text) override { dialogs_.ShowNotice(text); }
  void ShowError(const QString& text) override { dialogs_.ShowError(text); }
  bool AskYesNo(const QString& text) override { return dialogs_.AskYesNo(text); }
  void OpenPreferences(int tab) override { w_.mnuFilePrefs_Click(static_cast<PreferencesTab>(tab)); }
  void PickFolder(FolderPickMode mode) override { w_.PickFolder(mode); }
  void OpenCurrentFolder() override {
    w_.app_.options.reopenFolder = true;
    w_.opener_->mnuFileOpen_Click();
  }
  QStringList PanelFiles() const override {
    const ThumbTable& table = w_.picPan_->table();
    QStringList files;
    for (int i = 0; i < table.ThumbCount(); ++i) files << table.ThumbFiles(i);
    return files;
  }
  // The window itself stays enabled, so that Esc reaches it.
  void SetBusy(bool busy) override { w_.SetPageBusy(busy); }
  void ShowProgress(int percent, const QString& text) override {
    if (!showingProgress_) {
      keptStatus_ = w_.StatusText();
      showingProgress_ = true;
    }
    if (percent >= 100) {
      w_.SetStatusText(keptStatus_);
      showingProgress_ = false;
    } else {
      w_.SetStatusText(text);
    }
  }
  void LetEventsRun() override { QApplication::processEvents(); }
  bool TakeAbortRequest() override { return std::exchange(w_.app_.abortRequested, false); }
  std::optional<QString> AskAddress(const QString& prompt, const QString& current) override {
    return dialogs_.AskText(prompt, current);
  }

 private:
  MainWindow& w_;
  FileCommandDialogs dialogs_;
  QString keptStatus_;
  bool showingProgress_ = false;
};

// What the file and folder commands ask of the main window. While a command
// runs (the default editor among them) the whole window waits, still painting.
class MainWindow::FileHost : public FileCommandHost {
 public:
  explicit FileHost(MainWindow& window)
      : w_(window), dialogs_(&window, window.app_.identity.name) {}

  bool AskYesNo(const QString& question) override { return dialogs_.AskYesNo(question); }
  void ShowNotice(const QString& text) override { dialogs_.ShowNotice(text); }
  void ShowError(const QString& text) override { dialogs_.ShowError(text); }
  std::optional<QString> AskText(const QString& prompt, const QString& defaultText) override {
    return dialogs_.AskText(prompt, defaultText);
  }
  void PlayPrompt() override { w_.app_.sounds().PlayPrompt(); }
  bool PickFolder(FolderPickMode mode) override { return w_.PickFolder(mode); }
  void SetFolderCaption(const QString& text) override { w_.SetFolderCaption(text); }
  void SetPanelCaption(const QString& text) override { w_.SetPanelCaption(text); }
  void SetFolderTools(bool hasPictures) override { w_.SetFolderTools(hasPictures); }
  void RebuildTree(const QString& navigateTo) override {
    w_.dirTree_->RemoveAllNodes();
    w_.TreeView(u"Load");
    if (!navigateTo.isEmpty()) w_.TreeView(u"Navigate", navigateTo);
  }
  void ReopenCurrentFolder() override {
    w_.app_.options.reopenFolder = true;
    w_.opener_->mnuFileOpen_Click();
  }
  // While the editor is open the window takes no input, a close included.
  void SetBusy(bool busy) override {
    if (busy) {
      w_.setCursor(Qt::WaitCursor);
    } else {
      w_.unsetCursor();
    }
    w_.setEnabled(!busy);
    w_.editorOpen_ = busy;
  }
  // Long page work, as opening a layout is; the tree waits too, so that
  // the panel keeps the folder of the file being turned.
  void SetTurning(bool turning) override {
    w_.SetPageBusy(turning);
    w_.dirTree_->setEnabled(!turning);
  }
  bool RunWithProgress(const std::function<void()>& work) override {
    const ProgressScope scope(w_.progressWindow());
    work();
    return scope.Cancelled();
  }
  bool ShowProgress(int percent, const QString& workText) override {
    ProgressWindow& window = w_.progressWindow();
    window.Report(percent, workText);
    return window.Cancelled();
  }

 private:
  MainWindow& w_;
  FileCommandDialogs dialogs_;
};

// What the scan command asks of the main window.
class MainWindow::ScanHost : public ScanCommandHost {
 public:
  explicit ScanHost(MainWindow& window) : w_(window) {}

  void SetBusyPointer(bool busy) override {
    if (busy) {
      w_.setCursor(Qt::WaitCursor);
    } else {
      w_.unsetCursor();
    }
  }
  void LetEventsRun() override { QApplication::processEvents(); }
  bool PickScanFolder(const QRect& scanWindow) override {
    return w_.PickFolder(FolderPickMode::Scan, scanWindow);
  }
  void PlayOpenSound() override { w_.app_.sounds().Play(Sound::Open); }
  void PlayCloseSound() override { w_.app_.sounds().Play(Sound::Close, Wait::Yes); }
  const ThumbTable& Thumbs() const override { return w_.picPan_->table(); }
  int AppendThumbnail(const QString& path) override { return w_.picPan_->appendCell(path); }
  void RebuildThumbnail(int index) override { w_.picPan_->ThumbNailCreate(index); }
  void SetFolderCaption(const QString& text) override { w_.SetFolderCaption(text); }
  void SetFolderTools(bool hasPictures) override {
    if (hasPictures) w_.SetPanelCaption(QString());
    w_.SetFolderTools(hasPictures);
  }
  void ReopenCurrentFolder() override {
    w_.app_.options.reopenFolder = true;
    w_.opener_->mnuFileOpen_Click();
  }

 private:
  MainWindow& w_;
};

}  // namespace lumaset
