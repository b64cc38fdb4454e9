#pragma once

// The page-adjustment controls `panAdjust` beside the page: the printer
// button and name, the width presets `cmbWH`, the printed width `txtWidth`
// with its spinner `UpDown1`, the printed height `labHeight`, the
// orientation options, the label button and the contact sheet's "Next Page"
// button. The panel only shows and reports; the layout page decides.

#include <QLineEdit>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <array>
#include <functional>

class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QToolButton;

namespace lumaset {

// `txtWidth`: takes the focus with its whole text selected, so a new width
// is typed over the old one.
class WidthEdit : public QLineEdit {
  Q_OBJECT
 public:
  explicit WidthEdit(QWidget* parent = nullptr);

 protected:
  void focusInEvent(QFocusEvent* event) override;
};

// `UpDown1`: the spinner's two buttons, up above down.
class WidthSpinner : public QWidget {
  Q_OBJECT
 public:
  explicit WidthSpinner(QWidget* parent = nullptr);

  QToolButton* upButton() const { return up_; }
  QToolButton* downButton() const { return down_; }

 Q_SIGNALS:
  void upClicked();
  void downClicked();

 private:
  QToolButton* up_;
  QToolButton* down_;
};

class PageAdjustPanel : public QWidget {
  Q_OBJECT
 public:
  // Fills `parent` (the main window's panel) and follows its size.
  explicit PageAdjustPanel(QWidget* parent = nullptr);

  QPushButton* cmdPrinter() const { return cmdPrinter_; }
  QLabel* printerName() const { return printerName_; }
  QLabel* label1(int index) const { return label1_.at(static_cast<std::size_t>(index)); }
  QComboBox* cmbWH() const { return cmbWH_; }
  WidthEdit* txtWidth() const { return txtWidth_; }
  WidthSpinner* upDown1() const { return upDown1_; }
  QLabel* labHeight() const { return labHeight_; }
  QRadioButton* optPort() const { return optPort_; }
  QRadioButton* optLand() const { return optLand_; }
  QPushButton* cmdLabel() const { return cmdLabel_; }
  QPushButton* cmdThumb() const { return cmdThumb_; }

  // The panel's caption: the printer's name, or "No Printer".
  QString printerCaption() const;
  void ShowPrinterName(const QString& caption);
  // `Label1`(0..2): default width, height, layout width, in the unit.
  void ShowUnitCaptions(const std::array<QString, 3>& captions);
  // The width its controls need to show their texts whole, in pixels; when
  // it grows, `needsRoom` is called.
  int neededWidth() const { return neededWidth_; }
  void setRoomRequest(std::function<void()> needsRoom) { needsRoom_ = std::move(needsRoom); }
  // The rows of `cmbWH` and the selected one (-1 none).
  void ShowWidthPresets(const QStringList& rows, int selected);
  QString PresetWidthText() const;
  QString WidthText() const;
  void SetWidthText(const QString& text);
  void SetHeightText(const QString& text);
  // Checks an option without its command running.
  void ShowOrientation(bool portrait);
  bool portraitShown() const;

 Q_SIGNALS:
  // The user chose an orientation option.
  void orientationChosen(bool portrait);
  // Enter in the width box, and the spinner's steps (+1 up, -1 down).
  void widthEntered();
  void widthStepped(int direction);
  void labelClicked();
  void nextPageClicked();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void Build();
  void Connect();
  void LayOut();
  int neededWidth_ = 0;
  bool showing_ = false;  // an orientation shown, not chosen by the user
  std::function<void()> needsRoom_;

  QPushButton* cmdPrinter_ = nullptr;
  QLabel* printerName_ = nullptr;
  std::array<QLabel*, 3> label1_{};
  QComboBox* cmbWH_ = nullptr;
  WidthEdit* txtWidth_ = nullptr;
  WidthSpinner* upDown1_ = nullptr;
  QLabel* labHeight_ = nullptr;
  QRadioButton* optPort_ = nullptr;
  QRadioButton* optLand_ = nullptr;
  QPushButton* cmdLabel_ = nullptr;
  QPushButton* cmdThumb_ = nullptr;
};

}  // namespace lumaset
