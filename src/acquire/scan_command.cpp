#include "acquire/scan_command.h"

#include <QFileInfo>
#include <QScreen>
#include <QWidget>

#include "browser/folder_open.h"
#include "browser/thumb_table.h"
#include "components/settings_store.h"
#include "frame/settings.h"
#include "frame/working_folders.h"

namespace lumaset {

namespace {

// Paths compared as the file system sees them: canonical when they exist.
QString Canonical(const QString& path) {
  const QString canonical = QFileInfo(path).canonicalFilePath();
  return canonical.isEmpty() ? QFileInfo(path).absoluteFilePath() : canonical;
}

int PixelsFromTwips(int twips, const QWidget* widget) {
  const double dpi = widget && widget->screen() ? widget->screen()->logicalDotsPerInch() : 96.0;
  return static_cast<int>(twips * dpi / 1440.0 + 0.5);
}

}  // namespace

QString ScanFolderCaption(const QString& folder, int count) {
  return QStringLiteral("'%1' has %2 %3")
      .arg(FolderDisplayName(folder))
      .arg(count)
      .arg(count == 1 ? QStringLiteral("picture") : QStringLiteral("pictures"));
}

ScanCommand::ScanCommand(ScanService& scanner, SettingsStore& settings, const Options& options,
                         WorkingFolders& folders, ScanCommandHost& host)
    : scanner_(scanner), settings_(settings), options_(options), folders_(folders), host_(host) {}

ScanShared ScanCommand::Shared() { return {scanner_, settings_, folders_.scan, saveCount_}; }

ScanWindowSetup ScanCommand::WindowSetup() {
  ScanWindowSetup setup;
  setup.pickScanFolder = [this](const QRect& scanWindow) { return host_.PickScanFolder(scanWindow); };
  setup.playOpenSound = [this] { host_.PlayOpenSound(); };
  setup.playCloseSound = [this] { host_.PlayCloseSound(); };
  return setup;
}

void ScanCommand::mnuFileScan_Click(QWidget* mainWindow) {
  host_.SetBusyPointer(true);
  host_.LetEventsRun();
  QString saved;
  {
    ScanWindow window(Shared(), WindowSetup(), mainWindow);
    if (mainWindow) {
      const QRect main = mainWindow->frameGeometry();
      window.move(main.left() + (main.width() - window.frameGeometry().width()) / 2,
                  main.top() + PixelsFromTwips(600, mainWindow));
    }
    window.exec();
    if (window.saved()) saved = window.savedPath();
  }
  ScanSaved(saved);
  host_.SetBusyPointer(false);
}

void ScanCommand::ScanSaved(const QString& savedPath) {
  if (savedPath.isEmpty()) return;
  if (Canonical(folders_.scan) == Canonical(folders_.current)) {
    AppendToPanel(savedPath);
    return;
  }
  if (options_.genSave) settings_.writeSetting(QStringLiteral("FolderScan"), folders_.scan);
  folders_.current = folders_.scan;
  host_.ReopenCurrentFolder();
}

void ScanCommand::AppendToPanel(const QString& path) {
  // A scan saved over a picture the panel shows refreshes that cell.
  const ThumbTable& thumbs = host_.Thumbs();
  const QString saved = Canonical(path);
  for (int i = 0; i < thumbs.ThumbCount(); ++i) {
    if (Canonical(thumbs.ThumbFiles(i)) == saved) {
      host_.RebuildThumbnail(i);
      return;
    }
  }
  const bool wasEmpty = thumbs.ThumbCount() == 0;
  if (host_.AppendThumbnail(path) < 0) {
    // The panel is busy making thumbnails: open the folder afresh instead.
    host_.ReopenCurrentFolder();
    return;
  }
  if (wasEmpty) host_.SetFolderTools(true);
  host_.SetFolderCaption(ScanFolderCaption(folders_.current, host_.Thumbs().ThumbCount()));
}

}  // namespace lumaset
