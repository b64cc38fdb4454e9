#pragma once

// The program-wide state: what every window of Lumaset reads and the outside
// objects it works through. main() owns the one instance and hands it to the
// main window, which hands it on.

#include <QString>

#include <memory>

#include "components/file_system.h"
#include "components/imaging/imaging.h"
#include "components/printer_device.h"
#include "components/screen_saver.h"
#include "components/settings_store.h"
#include "frame/folder_picker.h"
#include "frame/settings.h"
#include "frame/working_folders.h"

namespace lumaset {

class Sounds;
class SoundOutput;

// The page label's look; only its text is saved with a layout.
struct LabelStyle {
  QString font = QStringLiteral("Arial");
  int size = 16;
  bool bold = true;
  bool italic = false;
  unsigned color = 0;
};

// The data folder beside the binary (build tree and installed alike), or
// LUMASET_DATA_DIR when set; the user's folders from the XDG locations.
ProgramFolders LocateProgramFolders();

struct AppIdentity {
  QString name = QStringLiteral("Lumaset");
  QString description = QStringLiteral(
      "View image files as thumbnails and add to a page for printing. Allows custom image "
      "sizes, cropping, thumbnail layour, and viewing slide show.");
  QString fullTitle = QStringLiteral("Tavrin Lumaset");
  QString releaseNo;
};

class AppState {
 public:
  // Without a sound output of its own, the program plays through ALSA.
  explicit AppState(ProgramFolders located, std::unique_ptr<SoundOutput> soundOutput = nullptr);
  ~AppState();
  AppState(const AppState&) = delete;
  AppState& operator=(const AppState&) = delete;

  const AppIdentity identity;
  const ProgramFolders programFolders;

  // The outside objects, created in this order and released in the reverse
  // one at the very end of shut-down. The printer starts as No Printer,
  // asking the print system nothing: the window takes the system's printer
  // once the print system answers.
  FileSystemUtility& files() { return *files_; }
  SettingsStore& settings() { return *settings_; }
  PrinterDevice& printer();
  Imaging& imaging() { return *imaging_; }
  ScreenSaverSwitch& screenSaver() { return *screenSaver_; }
  Sounds& sounds() { return *sounds_; }

  Options options;
  WorkingFolders folders;
  LabelStyle label;
  FolderPickRequest folderPick;  // what the next folder picker is asked

  bool formReady = false;       // the window has had its first layout
  bool thumbsIdle = false;      // no thumbnails are being made
  bool abortRequested = false;  // Esc was pressed; long loops stop after their current step
  bool scanAvailable = false;   // the scanner library started
  int thumbCell = 860;          // thumbnail cell pitch, twips

 private:
  std::unique_ptr<FileSystemUtility> files_;
  std::unique_ptr<SettingsStore> settings_;
  std::unique_ptr<PrinterDevice> printer_;
  std::unique_ptr<Imaging> imaging_;
  std::unique_ptr<ScreenSaverSwitch> screenSaver_;
  std::unique_ptr<Sounds> sounds_;
};

}  // namespace lumaset
