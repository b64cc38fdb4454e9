#pragma once

// The modal scan window `frmScan`: the options label, the picture box with
// its crop rectangle, the Options, Undo, Start Scan, Save Scan and Close
// buttons and the options menu. Its behaviour is ScanControl's; this class
// only lays out the controls and hands their events on.

#include <QDialog>
#include <QImage>
#include <QList>
#include <QRect>
#include <QString>

#include <functional>
#include <optional>

#include "acquire/scan_control.h"

class QAction;
class QLabel;
class QMenu;
class QProgressBar;
class QPushButton;

namespace lumaset {

class ScanPictureBox;

// What the window needs beyond the shared state. Unset prompts use Qt's
// standard dialogs.
struct ScanWindowSetup {
  QString appTitle = QStringLiteral("Lumaset");  // titles its message and input boxes
  // The folder picker in scan mode, centred over `scanWindow` (pixels); true
  // on OK, the folder then in the scan folder.
  std::function<bool(const QRect& scanWindow)> pickScanFolder;
  std::function<void()> playOpenSound;   // when the window opens
  std::function<void()> playCloseSound;  // when it closes; may wait
  std::function<std::optional<QString>(const QString& prompt, const QString& defaultText)> askText;
  std::function<bool(const QString& question)> askYesNo;
  enum class Icon { None, Information, Warning };
  std::function<void(Icon icon, const QString& text)> showMessage;
  std::function<std::optional<QString>(const QList<ScanSource>& sources, const QString& current)> chooseSource;
};

class ScanWindow : public QDialog, private ScanWindowHost {
  Q_OBJECT

 public:
  ScanWindow(ScanShared shared, ScanWindowSetup setup, QWidget* parent = nullptr);
  ~ScanWindow() override;

  ScanControl& control() { return control_; }
  // After the window has closed: whether its last act was to save a scan,
  // and the saved file.
  bool saved() const { return saved_; }
  QString savedPath() const { return control_.savedPath(); }

  QLabel* optionsLabel() const { return labOpt_; }
  QWidget* pictureBox() const;
  QProgressBar* progressBar() const { return progress_; }
  QPushButton* optionsButton() const { return cmdOptions_; }
  QPushButton* undoButton() const { return cmdUndo_; }
  QPushButton* scanButton() const { return cmdScan_; }
  QPushButton* saveButton() const { return cmdSave_; }
  QPushButton* closeButton() const { return cmdCancel_; }
  QMenu* optionsMenu() const { return mnuOptions_; }
  QAction* showInterfaceItem() const { return mnuOptionsShow_; }
  QAction* sourceItem() const { return mnuOptionsSource_; }
  QAction* resolutionItem() const { return mnuOptionsResolution_; }
  QAction* pixTypeItem(int index) const { return mnuOptionsPixTypes_.at(index); }

 public slots:
  void done(int result) override;
  void reject() override;  // Esc: as the Close button

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildControls();
  void BuildMenu();

  // ScanWindowHost
  void SetCaption(const QString& text) override;
  void SetOptionsText(const QString& text) override;
  void SetResolutionItem(const QString& text) override;
  void SetPixTypeChecked(int index) override;
  void SetShowInterfaceChecked(bool checked) override;
  void ShowPicture(const QImage& picture, const QRectF& box) override;
  void ShowSelector(const QRect& rect, bool visible) override;
  void SetUndoEnabled(bool enabled) override;
  void SetSaveEnabled(bool enabled) override;
  void SetBusy(bool busy) override;
  void ShowProgress(int percent) override;
  std::optional<QString> AskText(const QString& prompt, const QString& defaultText) override;
  bool AskYesNo(const QString& text) override;
  void ShowError(const QString& text) override;
  void ShowPlain(const QString& text) override;
  void ShowNotice(const QString& text) override;
  std::optional<QString> ChooseSource(const QList<ScanSource>& sources, const QString& current) override;
  bool PickScanFolder() override;
  void CloseWindow(bool saved) override;

  void Message(ScanWindowSetup::Icon icon, const QString& text);

  ScanWindowSetup setup_;
  ScanControl control_;
  bool saved_ = false;
  bool finished_ = false;
  bool undoEnabled_ = false;
  bool saveEnabled_ = false;
  int pictureShift_ = 0;  // how far a taller text line moves the picture down

  QLabel* labOpt_ = nullptr;
  ScanPictureBox* picScan_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QPushButton* cmdOptions_ = nullptr;
  QPushButton* cmdUndo_ = nullptr;
  QPushButton* cmdScan_ = nullptr;
  QPushButton* cmdSave_ = nullptr;
  QPushButton* cmdCancel_ = nullptr;
  QMenu* mnuOptions_ = nullptr;
  QAction* mnuOptionsShow_ = nullptr;
  QAction* mnuOptionsSource_ = nullptr;
  QAction* mnuOptionsResolution_ = nullptr;
  QList<QAction*> mnuOptionsPixTypes_;
};

}  // namespace lumaset
