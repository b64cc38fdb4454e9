#pragma once

// The preferences: `frmOptions`, the tabbed dialog over the settings held in
// memory, and PreferencesModel, the rules behind it, which a test drives
// without a window. The dialog shows the model's controls and hands every
// edit to it; Apply copies the controls into the settings in memory and
// stores them by the write rule of settings.h.
//
// The main window's way in is ShowPreferences(); what it returns are the
// requests the main window acts on once the dialog has closed.

#include <QDialog>
#include <QList>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <array>
#include <functional>
#include <optional>

#include "components/drives.h"
#include "components/result.h"
#include "frame/about_box.h"
#include "frame/data_folder_preferences.h"
#include "frame/layout_cleaner.h"
#include "frame/sounds.h"

class QButtonGroup;
class QCheckBox;
class QGridLayout;
class QLabel;
class QPushButton;
class QSlider;
class QTabWidget;

namespace lumaset {

class AppState;
class SettingsStore;
class ShortenedLabel;
struct Options;
struct WorkingFolders;

inline constexpr int kMaxDownloadDrives = 11;

// The cameras of the Camera frame, in the order Apply looks for the chosen one.
inline constexpr std::array<const char*, 13> kCameraNames{
    "Afga",  "Canon",  "Epson",   "HP",      "Kodak", "Minolta", "Nikon",
    "Olympus", "Pentax", "Samsung", "Sanyo", "Sony",  "Toshiba"};

enum class PreferencesTab { General = 0, SlideShow = 1, Download = 2, System = 3 };

// The drives offered for downloading: every one that is not a fixed disk
// (removable, CD, network and RAM disks), as their mount points, the first
// eleven.
QStringList DownloadDrives(const QList<Drive>& drives);

// The JPEG quality slider's tooltip for `quality`.
QString JpegQualityBand(int quality);
QString IntervalText(int seconds);     // "Interval: 5 s"
QString ResolutionText(int pixels);    // "Resolution: (350 pixels)"
QString JpegQualityText(int quality);  // "JPEG Quality: (90)"
QString JpegDpiText(int dotsPerInch);  // "JPEG DPI: (150)"
// What the MIDI label shows for `folder` (ending in "/"): its name, or
// "None" without a folder.
QString MidiFolderName(const QString& folder);

// The state of the dialog's controls. Which controls are enabled follows from
// it: Coarse and Fine with the grid box, 1280 and 640 with the e-mail box,
// the MIDI folder with the music box, the interval with the auto-change box.
struct PreferencesControls {
  // General
  bool open = false;
  bool save = false;
  bool sound = false;
  bool soundEnabled = true;  // off without a wave output device
  bool tree = false;
  bool click = false;
  bool large = false;
  bool grid = false;
  bool coarse = true;  // Coarse chosen, otherwise Fine
  bool printMargin = false;
  bool reduce = false;
  bool least = true;  // 1280 chosen, otherwise 640
  bool inches = true;
  QString thumbLabel;  // the up-downs change these texts; Apply reads the values back
  QString widthLabel;
  // SlideShow
  bool autoChange = false;
  int interval = 10;  // seconds
  bool arrowKeys = false;
  bool hideMouse = false;
  bool fadeIn = false;
  bool fadeOut = false;
  bool slideSound = false;
  bool music = false;
  bool musicEnabled = true;  // off without a MIDI output device
  QString midiFolderName = QStringLiteral("None");
  // Download
  int drive = -1;   // index into the download drives; -1 none chosen
  int camera = -1;  // index into kCameraNames; -1 none chosen
  bool serial = false;
  // System
  bool screenSaverOff = false;
  bool fastPrint = false;
  bool memoryMeter = false;
  bool scanShow = false;
  bool scanShowEnabled = false;  // off while scanning is not available
  bool progress = false;
  int resolution = 400;
  int quality = 95;
  int dpi = 150;
};

// What the dialog asks of the main window once it has closed.
struct PreferencesRequests {
  bool pageRedraw = false;   // PageRedrawNeeded
  bool thumbResize = false;  // ThumbResizeNeeded
};

// What the computer offers, found out by the caller.
struct PreferencesEnvironment {
  bool waveDevice = false;
  bool midiDevice = false;
  QStringList downloadDrives;  // DownloadDrives()
  bool scanner = false;        // scanning is available
};

class PreferencesModel {
 public:
  // Works on `options`, the settings in memory, which must outlive it.
  explicit PreferencesModel(Options& options);

  // Fills the controls from the settings in memory and the few keys the
  // dialog reads afresh ("GenOpen", "ShowScan", "FastPrint"); clamps the
  // sizes and the JPEG quality in memory. Apply starts disabled.
  void Load(const SettingsStore& settings, const QString& midiFolder,
            const PreferencesEnvironment& environment);

  const PreferencesControls& controls() const { return controls_; }
  const QStringList& downloadDrives() const { return drives_; }
  bool applyEnabled() const { return applyEnabled_; }
  const PreferencesRequests& requests() const { return requests_; }

  // A user's edit of one control. Every edit enables Apply, so that OK never
  // drops a change.
  template <typename T, typename U>
  void Set(T PreferencesControls::*field, U value) {
    controls_.*field = static_cast<T>(value);
    applyEnabled_ = true;
  }

  // The paper scale. Switching converts both sizes at once, in memory too
  // (a factor of 2), and asks for a page redraw; it stays even when the
  // dialog is then cancelled.
  void ChooseUnit(bool inches);
  // The up-down arrows: 0.1 in or 0.2 cm for the thumbnail size, 0.5 in or
  // 1 cm for the layout width, within the unit's range.
  void StepThumbSize(bool up);
  void StepLayoutWidth(bool up);
  // The folder picker has chosen the MIDI folder (or left it as it was).
  void MidiFolderChosen(const QString& folder);

  struct Applied {
    std::optional<bool> screenSaverActive;  // the screen saver to switch now, if at all
    Status stored;                          // whether the settings file was written
  };
  // Copies the controls into the settings in memory and stores them by the
  // write rule; disables Apply.
  Applied Apply(SettingsStore& settings, const QString& midiFolder);

 private:
  void LoadGeneral(const SettingsStore& settings, bool waveDevice);
  void LoadSlideShow(const QString& midiFolder, bool midiDevice);
  void LoadDownload();
  void LoadSystem(const SettingsStore& settings);
  void ApplyGeneral();
  void ApplySlideShow(const QString& midiFolder);
  void ApplySystem(Applied& applied);
  void StepSize(QString PreferencesControls::*label, float inchStep, float centimeterStep,
                bool up, bool thumbnail);

  Options& options_;
  PreferencesControls controls_;
  QStringList drives_;
  PreferencesRequests requests_;
  bool applyEnabled_ = false;
};

// The shared state the dialog works on.
struct PreferencesContext {
  Options& options;
  WorkingFolders& folders;
  SettingsStore& settings;
  QString appTitle;       // the title of its message and input boxes
  QString programFolder;  // where the data-folder dialog starts without a layouts folder
};

// What the dialog asks of the rest of the program; tests put recorders in
// place of the real ones.
struct PreferencesHooks {
  PreferencesEnvironment environment;
  QList<Drive> drives;  // the drive lists of the data-folder dialog and the layout cleaner
  std::function<void(Sound, Wait)> playSound;  // called only with sounds on
  EventSoundPlayer playEvent;                  // empty without a wave output device
  // The folder picker in MIDI mode; it puts the folder in WorkingFolders::midi.
  std::function<bool()> pickMidiFolder;
  std::function<void(QWidget* owner, QPoint topLeftTwips)> openMixer;
  LayoutPicturesReader layoutPictures;  // for the layout cleaner
  std::function<void(int context)> showHelp;
  std::function<void(bool active)> setScreenSaverActive;
  MessageBoxFunction messageBox = &ShowMessageBox;
  TextPrompt askText = &AskText;
  UpdateReminder::Clock today = &QDate::currentDate;
  Recycler recycle = &FileSystemUtility::RecycleFiles;
};

class PreferencesDialog : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kHelpContext = 21;

  PreferencesDialog(PreferencesContext context, PreferencesHooks hooks, int openTab = 0,
                    QWidget* parent = nullptr);
  ~PreferencesDialog() override;

  const PreferencesModel& model() const { return model_; }

  // `cmdApply_Click`, `cmdLayOut_Click`, `cmdClean_Click`: public for the
  // main window's tests as much as for ours.
  void cmdApplyClick();
  void cmdLayOutClick();
  void cmdCleanClick();

  // Every way of closing ends here, so the dialog unloads once.
  void done(int result) override;

 private:
  QWidget* BuildGeneralTab();
  void AddSizeRows(QWidget* tab, QGridLayout* grid);
  QWidget* BuildSlideShowTab();
  QWidget* BuildDownloadTab();
  QWidget* BuildSystemTab();
  void BuildButtons();
  struct CheckSpec {
    const char* name;
    const char* caption;
    const char* tooltip;
    bool PreferencesControls::*field;
    int row;
    int column;
    int columns = 1;
  };
  QCheckBox* AddCheck(QWidget* parent, const char* name, const QString& caption,
                      const QString& tooltip, bool PreferencesControls::*field);
  void AddChecks(QWidget* tab, QGridLayout* grid, const QList<CheckSpec>& specs);
  QSlider* AddSlider(QWidget* parent, const char* name, int low, int high, int largeStep,
                     int PreferencesControls::*field);
  void ShowControls();
  void Edited();
  // Hands the option the user chose in `group` to `choose`, then shows the result.
  void Follow(QButtonGroup* group, const std::function<void(int id)>& choose);
  void cmdOKClick();
  void cmdMidiClick();
  void cmdVolClick();
  void TabChanged();
  void Tell(const QString& text);

  PreferencesContext context_;
  PreferencesHooks hooks_;
  PreferencesModel model_;
  bool unloaded_ = false;
  bool showing_ = false;  // ShowControls is bringing the controls in line with the model

  QTabWidget* tabs_ = nullptr;
  QList<std::pair<QCheckBox*, bool PreferencesControls::*>> checks_;
  QList<std::pair<QSlider*, int PreferencesControls::*>> sliders_;
  QButtonGroup* grid_ = nullptr;
  QButtonGroup* reduce_ = nullptr;
  QButtonGroup* units_ = nullptr;
  QButtonGroup* drives_ = nullptr;
  QButtonGroup* cameras_ = nullptr;
  QButtonGroup* connection_ = nullptr;
  QLabel* labThumb_ = nullptr;
  QLabel* labPreview_ = nullptr;
  QLabel* label1_ = nullptr;
  QWidget* label2_ = nullptr;  // the interval slider's scale
  ShortenedLabel* labMidiDir_ = nullptr;
  QPushButton* cmdMidi_ = nullptr;
  QLabel* labRes_ = nullptr;
  QLabel* labJpgQ_ = nullptr;
  QLabel* labDPI_ = nullptr;
  QPushButton* cmdApply_ = nullptr;
};

// What the main window does once the preferences have closed.
struct PreferencesResult {
  bool pageRedrawNeeded = false;
  bool thumbResizeNeeded = false;
  // The memory-meter or folder-tree setting was changed: RelayoutNeeded()
  // tells whether the window's panes must follow.
  bool relayoutMayBeNeeded = false;
};

// Whether the memory meter or the folder tree is shown otherwise than its
// setting says, so that the window must be laid out again.
bool RelayoutNeeded(const Options& options, bool meterVisible, bool treeVisible);

// What the preferences reach that lives above the frame; the main window
// fills it in.
struct PreferencesLinks {
  // The folder picker in MIDI mode; it puts the folder in WorkingFolders::midi.
  std::function<bool()> pickMidiFolder;
  std::function<void(int context)> showHelp;  // help at a topic number
  std::function<void(QWidget* owner, QPoint topLeftTwips)> openMixer;
  LayoutPicturesReader layoutPictures;
};

// `mnuFilePrefs_Click`'s dialog: the preferences over `owner`, modally,
// opening on `openTab` (the download command asks for PreferencesTab::Download).
PreferencesResult ShowPreferences(QWidget* owner, AppState& app, PreferencesLinks links,
                                  PreferencesTab openTab = PreferencesTab::General);

}  // namespace lumaset
