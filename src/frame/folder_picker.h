#pragma once

// The one folder-choosing dialog of the program, `frmFolder`, and the request
// behind it. A caller says what it wants by setting the request's one-shot
// mode flags, shows the dialog modally and afterwards reads `folderPicked`
// and the result folder of its mode; the result folders are the working
// folders every window shares, so each use starts where the last one ended.
//
//   request.ask(FolderPickMode::CopyTo);
//   FolderPickerDialog picker(context, {.drives = SystemDrives()}, mainWindow);
//   picker.exec();
//   if (request.folderPicked) CopyInto(folders.copyMove);

#include <QDialog>
#include <QList>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

#include "components/drives.h"
#include "components/result.h"
#include "frame/fit_text.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QListWidget;
class QPushButton;

namespace lumaset {

class DriveFolderBrowser;
class SettingsStore;
struct Options;
struct WorkingFolders;

enum class FolderPickMode {
  None,
  Photo,
  CopyTo,
  MoveTo,
  Midi,
  Scan,
  DownloadSource,
  DownloadTarget
};

// What a caller asks of the picker and what it gets back.
struct FolderPickRequest {
  bool pickPhotoFolder = false;
  bool pickCopyTo = false;
  bool pickMoveTo = false;
  bool pickMidiFolder = false;
  bool pickScanFolder = false;
  bool pickDownload = false;
  bool pickDownloadSource = false;  // with pickDownload: true the source, false the target
  bool folderPicked = false;        // the user left the picker with OK
  QString downloadSource;           // ends with "/"; "" when the download drive cannot be used

  // Sets the six mode flags with only `mode`'s on, and the source/target
  // switch for the two download modes.
  void ask(FolderPickMode mode);
  // The first flag that is on, in the order photo, copy-to, move-to, MIDI,
  // scan, download.
  FolderPickMode mode() const;
  // Every use must ask anew: clears the six flags, keeping the switch.
  void clearModes();
};

// The shared state a picker reads and writes.
struct FolderPickerContext {
  FolderPickRequest& request;
  WorkingFolders& folders;
  const Options& options;
  SettingsStore& settings;
  QString appTitle;  // the title of its message and input boxes
};

inline constexpr auto kPhotoFilePattern =
    "*.jpg;*.png;*.tif;*pcx;*.tga;*.bmp;*wmf;*.emf;*.psd;*.wbmp;*.gif";
inline constexpr auto kMidiFilePattern = "*.mid;*.rmi";

// The names in `folder` of the files that match one of the ";"-separated
// wildcards of `pattern`, letter case aside, sorted the same way.
QStringList MatchingFiles(const QString& folder, const QString& pattern);

// The names in `folder` of the pictures the thumbnail panel would show for
// it, sorted without regard to letter case.
QStringList PictureFiles(const QString& folder);

// Why `name` cannot be a new folder's name, or success. Empty names are the
// caller's business: they mean "never mind".
Status CheckNewFolderName(const QString& name);
// Makes the folder `name` inside `parent`; gives the new folder's path.
Result<QString> CreateFolder(const QString& parent, const QString& name);

// Where the picker's top-left corner goes, in pixels: centred over the scan
// window in scan mode when it is known, otherwise 500 twips right of and
// below the main window's corner.
QPoint FolderPickerPosition(FolderPickMode mode, QPoint mainWindowCorner,
                            std::optional<QRect> scanWindow, QSize pickerSize,
                            double twipsPerPixel);

// One use of the picker from load to unload: the rules of each mode, without
// a window.
class FolderPickSession {
 public:
  // Loading: fixes the mode, clears folderPicked and gives an empty download
  // target the copy/move folder to start from.
  explicit FolderPickSession(FolderPickerContext context);
  ~FolderPickSession();
  FolderPickSession(const FolderPickSession&) = delete;
  FolderPickSession& operator=(const FolderPickSession&) = delete;

  FolderPickMode mode() const { return mode_; }
  QString title() const;
  // The folder to open at; "" for none (the list then stays where it is).
  QString startFolder() const;
  bool showsSaveBox() const { return mode_ == FolderPickMode::Photo; }
  bool saveBoxTicked() const;
  bool showsNewButton() const;
  bool fileListEnabled() const;
  QString filePattern() const;
  QString fileLabel(const QString& folderPath) const;

  // OK with the folder list at `folderPath`: stores it, ending with "/", in
  // the mode's result folder and writes the mode's setting.
  void ok(const QString& folderPath, bool saveTicked);
  // Cancel, or any other way out but OK.
  void cancel();
  // Clears the mode flags; true the first time only.
  bool unload();

 private:
  FolderPickerContext context_;
  FolderPickMode mode_;
  bool unloaded_ = false;
};

// What the dialog needs beyond the shared state.
struct FolderPickerSetup {
  QList<Drive> drives;                   // the drive list, SystemDrives() in the program
  std::optional<QRect> scanWindow;       // the scan window's frame, pixels, for scan mode
  std::function<void()> playOpenSound;   // called only with sounds on
  std::function<void()> playCloseSound;  // called only with sounds on; may wait
  // Asks for a new folder's name; nullopt when the prompt was cancelled.
  std::function<std::optional<QString>(const QString& title, const QString& prompt)> askText;
  std::function<void(const QString& title, const QString& text)> showWarning;
};

class FolderPickerDialog : public QDialog {
  Q_OBJECT

 public:
  FolderPickerDialog(FolderPickerContext context, FolderPickerSetup setup,
                     QWidget* parent = nullptr);
  ~FolderPickerDialog() override;

  const FolderPickSession& session() const { return session_; }

  // The folder list's path, without a final "/" except for the root.
  QString folderPath() const;
  // Points the folder list at `path`; false, with the list unchanged, when
  // it is no folder that can be listed.
  bool setFolderPath(const QString& path);
  // Selects drive `index` of the drive list, as the user would.
  void selectDrive(int index);

  QComboBox* driveList() const;
  QListWidget* folderList() const;
  QListWidget* fileList() const { return file1_; }
  ShortenedLabel* fileLabel() const { return label1_; }
  QCheckBox* saveBox() const { return chkSave_; }
  QPushButton* newButton() const { return cmdNew_; }
  QPushButton* okButton() const { return cmdOK_; }
  QPushButton* cancelButton() const { return cmdCancel_; }

 signals:
  // A folder was made with "New"; the folder tree should show it.
  void folderCreated(const QString& path);

 public slots:
  void done(int result) override;
  void reject() override;

 private:
  void BuildControls();
  void FormLoad();
  void Place();
  void FillFileList();
  void cmdOKClick();
  void cmdNewClick();

  FolderPickerContext context_;
  FolderPickerSetup setup_;
  FolderPickSession session_;

  DriveFolderBrowser* browser_ = nullptr;
  ShortenedLabel* label1_ = nullptr;
  QListWidget* file1_ = nullptr;
  QCheckBox* chkSave_ = nullptr;
  QPushButton* cmdNew_ = nullptr;
  QPushButton* cmdCancel_ = nullptr;
  QPushButton* cmdOK_ = nullptr;
};

}  // namespace lumaset
