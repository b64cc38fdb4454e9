#pragma once

// File > "S&can..." and the toolbar's "Scan" button (`mnuFileScan_Click`):
// shows the scan window over the main window and, when a scan was saved
// there, brings it into the thumbnail panel: a scan saved into the panel's
// folder becomes its new last cell (or refreshes the cell of the file it
// replaced); a scan saved elsewhere makes that folder the panel's folder.
//
// What the command needs of the main window comes through ScanCommandHost.
//
//   SaneScanService scanner;                  // lives as long as the program
//   if (!scanner.Initialise()) ...            // start-up: no scanning, "Scan" disabled
//   ScanCommand scan(scanner, settings, options, folders, host);
//   ... File > Scan and the toolbar's "Scan": scan.mnuFileScan_Click(mainWindow);
//   scanner.Shutdown();                       // shut-down: stops a scan, closes the device

#include <QRect>
#include <QString>

#include "acquire/scan_window.h"

class QWidget;

namespace lumaset {

class ScanService;
class SettingsStore;
class ThumbTable;
struct Options;
struct WorkingFolders;

class ScanCommandHost {
 public:
  virtual ~ScanCommandHost() = default;

  // The main window's hourglass, and letting it repaint once.
  virtual void SetBusyPointer(bool busy) = 0;
  virtual void LetEventsRun() = 0;

  // The scan window's needs: the folder picker in scan mode centred over
  // `scanWindow` (true on OK; the folder is then WorkingFolders::scan), and
  // the OPEN and CLOSE sounds (when sounds are on; CLOSE waits).
  virtual bool PickScanFolder(const QRect& scanWindow) = 0;
  virtual void PlayOpenSound() = 0;
  virtual void PlayCloseSound() = 0;

  // The thumbnail panel.
  virtual const ThumbTable& Thumbs() const = 0;
  // A new last cell for `path`, made and shown; its index, or -1 when the
  // panel cannot take one now (thumbnails are being made).
  virtual int AppendThumbnail(const QString& path) = 0;
  // `ThumbNailCreate`: cell `index` read afresh from its file.
  virtual void RebuildThumbnail(int index) = 0;
  virtual void SetFolderCaption(const QString& text) = 0;  // `labFolder`
  // The panel has pictures now: the tools an empty folder disabled come back
  // (FolderOpenWindow::SetFolderTools(true)).
  virtual void SetFolderTools(bool hasPictures) = 0;
  // `ReopenFolder` = True, then `mnuFileOpen_Click`: the current folder is
  // opened again in the tree and the panel without asking.
  virtual void ReopenCurrentFolder() = 0;
};

// "'Holiday' has 1 picture", "'Holiday' has 6 pictures".
QString ScanFolderCaption(const QString& folder, int count);

class ScanCommand {
 public:
  ScanCommand(ScanService& scanner, SettingsStore& settings, const Options& options, WorkingFolders& folders,
              ScanCommandHost& host);

  // The whole command, the scan window shown modally over `mainWindow`.
  void mnuFileScan_Click(QWidget* mainWindow);

  // What follows the scan window: `savedPath` is the saved scan, "" when
  // none was saved.
  void ScanSaved(const QString& savedPath);

  // The scan window's setup and shared state, for showing it.
  ScanWindowSetup WindowSetup();
  ScanShared Shared();
  int saveCount() const { return saveCount_; }

 private:
  void AppendToPanel(const QString& path);

  ScanService& scanner_;
  SettingsStore& settings_;
  const Options& options_;
  WorkingFolders& folders_;
  ScanCommandHost& host_;
  int saveCount_ = 0;  // Scan1, Scan2, ... for the whole run
};

}  // namespace lumaset
