#include "acquire/scan_window.h"

#include <algorithm>
#include "frame/about_box.h"
#include "frame/general.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QInputDialog>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>

namespace lumaset {

namespace {

constexpr int kBorder = 2;  // the picture box's sunken frame

int ButtonMask(Qt::MouseButtons buttons) {
  return (buttons & Qt::LeftButton ? kScanLeftButton : 0) | (buttons & Qt::RightButton ? 2 : 0) |
         (buttons & Qt::MiddleButton ? 4 : 0);
}

QPushButton* Button(QWidget* parent, const QString& text, const QString& tip) {
  auto* button = new QPushButton(text, parent);
  button->setToolTip(tip);
  button->setAccessibleDescription(tip);
  button->setAutoDefault(false);
  return button;
}

}  // namespace

// `picScan`: the display copy inside a sunken frame, with the crop rectangle
// `Selector` over it. Mouse points are given in the picture's pixels.
class ScanPictureBox : public QWidget {
 public:
  explicit ScanPictureBox(ScanControl& control, QWidget* parent) : QWidget(parent), control_(control) {}

  void setPicture(const QImage& picture) {
    picture_ = picture;
    update();
  }
  void setSelector(const QRect& rect, bool visible) {
    selector_ = rect;
    selectorVisible_ = visible;
    update();
  }
  bool selectorVisible() const { return selectorVisible_; }

 protected:
  void paintEvent(QPaintEvent* /*event*/) override {
    QPainter painter(this);
    painter.fillRect(rect(), palette().window());
    if (!picture_.isNull()) painter.drawImage(kBorder, kBorder, picture_);
    painter.setPen(QPen(palette().dark().color(), kBorder));
    painter.drawRect(rect().adjusted(1, 1, -1, -1));
    if (selectorVisible_) {
      painter.setPen(QPen(Qt::white, 1, Qt::SolidLine));
      painter.drawRect(selector_.translated(kBorder, kBorder).adjusted(0, 0, -1, -1));
      painter.setPen(QPen(Qt::black, 1, Qt::DashLine));
      painter.drawRect(selector_.translated(kBorder, kBorder).adjusted(0, 0, -1, -1));
    }
  }
  void mousePressEvent(QMouseEvent* event) override {
    control_.picScan_MouseDown(ButtonMask(event->button()), Inner(event));
  }
  void mouseMoveEvent(QMouseEvent* event) override {
    control_.picScan_MouseMove(ButtonMask(event->buttons()), Inner(event));
  }
  void mouseReleaseEvent(QMouseEvent* event) override {
    control_.picScan_MouseUp(ButtonMask(event->button()), Inner(event));
  }

 private:
  static QPoint Inner(const QMouseEvent* event) {
    return event->position().toPoint() - QPoint(kBorder, kBorder);
  }

  ScanControl& control_;
  QImage picture_;
  QRect selector_;
  bool selectorVisible_ = false;
};

ScanWindow::ScanWindow(ScanShared shared, ScanWindowSetup setup, QWidget* parent)
    : QDialog(parent), setup_(std::move(setup)), control_(shared, *this) {
  BuildControls();
  BuildMenu();
  if (setup_.playOpenSound) setup_.playOpenSound();
  control_.FormLoad();
}

ScanWindow::~ScanWindow() { control_.FormUnload(); }

QWidget* ScanWindow::pictureBox() const { return picScan_; }

void ScanWindow::BuildControls() {
  setWindowTitle(QStringLiteral("Tavrin Lumaset: Scan Control"));

  // The window keeps its own size unless its font needs more: a taller text
  // line moves the picture and the buttons down by as much, and wider
  // captions widen the buttons and the window with them.
  const int lineHeight = std::max(13, fontMetrics().height());
  pictureShift_ = lineHeight - 13;
  labOpt_ = new QLabel(QStringLiteral("Options"), this);
  labOpt_->setGeometry(4, 4, 357, lineHeight);

  progress_ = new QProgressBar(this);
  progress_->setGeometry(4, 4, 357, lineHeight);
  progress_->setRange(0, 100);
  progress_->setTextVisible(false);
  progress_->setAccessibleName(QStringLiteral("Scan progress"));
  progress_->hide();

  picScan_ = new ScanPictureBox(control_, this);
  picScan_->setGeometry(4, 20 + pictureShift_, 354, 354);
  const QString pictureTip = QStringLiteral("Use mouse to crop the scanmed image");
  picScan_->setToolTip(pictureTip);
  picScan_->setAccessibleName(QStringLiteral("Scanned picture"));
  picScan_->setAccessibleDescription(pictureTip);

  cmdOptions_ = Button(this, QStringLiteral("Options"), QStringLiteral("Select scanning options"));
  cmdUndo_ = Button(this, QStringLiteral("Undo"), QStringLiteral("Unod image crop"));
  cmdScan_ = Button(this, QStringLiteral("Start Scan"), QStringLiteral("Aquire an image"));
  cmdSave_ = Button(this, QStringLiteral("Save Scan"),
                    QStringLiteral("Use mouse to crop scan and then press 'Save Image'"));
  cmdCancel_ = Button(this, QStringLiteral("Close"), QStringLiteral("Exit without saving scanned image"));
  const QList<QPushButton*> buttons{cmdOptions_, cmdUndo_, cmdScan_, cmdSave_, cmdCancel_};
  QSize button(65, 21);
  for (const QPushButton* each : buttons) button = button.expandedTo(each->sizeHint());
  const int top = 380 + pictureShift_;
  int left = 4;
  for (QPushButton* each : buttons) {
    each->setGeometry(left, top, button.width(), button.height());
    left += button.width() + 7;
  }
  setFixedSize(std::max(363, left - 3), top + button.height() + 3);
  labOpt_->resize(width() - 6, lineHeight);
  progress_->resize(width() - 6, lineHeight);
  cmdUndo_->setEnabled(false);
  cmdSave_->setEnabled(false);
  cmdScan_->setDefault(true);

  connect(cmdOptions_, &QPushButton::clicked, this, [this] { mnuOptions_->popup(QCursor::pos()); });
  connect(cmdUndo_, &QPushButton::clicked, this, [this] { control_.cmdUndo_Click(); });
  connect(cmdScan_, &QPushButton::clicked, this, [this] { control_.cmdScan_Click(); });
  connect(cmdSave_, &QPushButton::clicked, this, [this] { control_.cmdSave_Click(); });
  connect(cmdCancel_, &QPushButton::clicked, this, [this] { control_.cmdCancel_Click(); });
}

void ScanWindow::BuildMenu() {
  mnuOptions_ = new QMenu(QStringLiteral("&Options"), this);
  mnuOptionsShow_ = mnuOptions_->addAction(QStringLiteral("Show Scan &Interface"));
  mnuOptionsShow_->setCheckable(true);
  // Toggled by the logic, so the action's own check follows it.
  connect(mnuOptionsShow_, &QAction::triggered, this, [this] { control_.mnuOptionsShow_Click(); });
  mnuOptionsSource_ = mnuOptions_->addAction(QStringLiteral("&Select Source..."));
  connect(mnuOptionsSource_, &QAction::triggered, this, [this] { control_.mnuOptionsSource_Click(); });
  mnuOptions_->addSeparator();
  mnuOptionsResolution_ = mnuOptions_->addAction(QStringLiteral("R&esolution"));
  connect(mnuOptionsResolution_, &QAction::triggered, this, [this] { control_.mnuOptionsResolution_Click(); });
  const QString names[] = {QStringLiteral("& B+W"), QStringLiteral("&Grayscale"), QStringLiteral("&RGB Color"),
                           QStringLiteral("&Palette")};
  for (int i = 0; i < 4; ++i) {
    QAction* item = mnuOptions_->addAction(names[i]);
    item->setCheckable(true);
    connect(item, &QAction::triggered, this, [this, i] { control_.mnuOptionsPixTypes_Click(i); });
    mnuOptionsPixTypes_.append(item);
  }
}

// --- Closing -------------------------------------------------------------------

void ScanWindow::done(int result) {
  control_.FormUnload();
  if (!finished_) {
    finished_ = true;
    if (setup_.playCloseSound) setup_.playCloseSound();
  }
  QDialog::done(result);
}

void ScanWindow::reject() { control_.cmdCancel_Click(); }

void ScanWindow::closeEvent(QCloseEvent* event) {
  // The close box: a running scan stops and the window goes.
  saved_ = false;
  done(QDialog::Rejected);
  event->accept();
}

void ScanWindow::CloseWindow(bool saved) {
  saved_ = saved;
  done(saved ? QDialog::Accepted : QDialog::Rejected);
}

// --- What the logic shows ----------------------------------------------------------

void ScanWindow::SetCaption(const QString& text) { setWindowTitle(text); }
void ScanWindow::SetOptionsText(const QString& text) { labOpt_->setText(text); }
void ScanWindow::SetResolutionItem(const QString& text) { mnuOptionsResolution_->setText(text); }

void ScanWindow::SetPixTypeChecked(int index) {
  for (int i = 0; i < mnuOptionsPixTypes_.size(); ++i) mnuOptionsPixTypes_[i]->setChecked(i == index);
}

void ScanWindow::SetShowInterfaceChecked(bool checked) { mnuOptionsShow_->setChecked(checked); }

void ScanWindow::ShowPicture(const QImage& picture, const QRectF& box) {
  picScan_->setGeometry(box.toRect().translated(0, pictureShift_));
  picScan_->setPicture(picture);
}

void ScanWindow::ShowSelector(const QRect& rect, bool visible) { picScan_->setSelector(rect, visible); }

void ScanWindow::SetUndoEnabled(bool enabled) {
  undoEnabled_ = enabled;
  cmdUndo_->setEnabled(enabled);
}

void ScanWindow::SetSaveEnabled(bool enabled) {
  saveEnabled_ = enabled;
  cmdSave_->setEnabled(enabled);
  cmdSave_->setDefault(enabled);
  cmdScan_->setDefault(!enabled);
}

void ScanWindow::SetBusy(bool busy) {
  cmdOptions_->setEnabled(!busy);
  cmdScan_->setEnabled(!busy);
  cmdUndo_->setEnabled(!busy && undoEnabled_);
  cmdSave_->setEnabled(!busy && saveEnabled_);
  cmdCancel_->setText(busy ? QStringLiteral("Cancel") : QStringLiteral("Close"));
  if (busy) {
    setCursor(Qt::WaitCursor);
    cmdCancel_->setCursor(Qt::ArrowCursor);
  } else {
    unsetCursor();
  }
}

void ScanWindow::ShowProgress(int percent) {
  progress_->setVisible(percent >= 0);
  if (percent >= 0) progress_->setValue(percent);
}

// --- What the logic asks --------------------------------------------------------------

std::optional<QString> ScanWindow::AskText(const QString& prompt, const QString& defaultText) {
  if (setup_.askText) return setup_.askText(prompt, defaultText);
  return InputBox(this, setup_.appTitle, prompt, defaultText);
}

bool ScanWindow::AskYesNo(const QString& text) {
  if (setup_.askYesNo) return setup_.askYesNo(text);
  return ShowMessageBox(this, QMessageBox::Question, setup_.appTitle, text, QMessageBox::Yes | QMessageBox::No) ==
         QMessageBox::Yes;
}

void ScanWindow::Message(ScanWindowSetup::Icon icon, const QString& text) {
  if (setup_.showMessage) {
    setup_.showMessage(icon, text);
    return;
  }
  const QMessageBox::Icon shown = icon == ScanWindowSetup::Icon::Warning       ? QMessageBox::Warning
                                  : icon == ScanWindowSetup::Icon::Information ? QMessageBox::Information
                                                                               : QMessageBox::NoIcon;
  ShowMessageBox(this, shown, setup_.appTitle, text, QMessageBox::Ok);
}

void ScanWindow::ShowError(const QString& text) { Message(ScanWindowSetup::Icon::Warning, text); }
void ScanWindow::ShowPlain(const QString& text) { Message(ScanWindowSetup::Icon::None, text); }
void ScanWindow::ShowNotice(const QString& text) { Message(ScanWindowSetup::Icon::Information, text); }

std::optional<QString> ScanWindow::ChooseSource(const QList<ScanSource>& sources, const QString& current) {
  if (setup_.chooseSource) return setup_.chooseSource(sources, current);
  QStringList labels;
  int currentRow = 0;
  for (int i = 0; i < sources.size(); ++i) {
    labels.append(SourceLabel(sources[i]));
    if (sources[i].name == current) currentRow = i;
  }
  QInputDialog dialog(this);
  dialog.setWindowTitle(setup_.appTitle);
  dialog.setLabelText(QStringLiteral("Choose the scanner to use:"));
  dialog.setOption(QInputDialog::UseListViewForComboBoxItems);
  dialog.setComboBoxItems(labels);
  dialog.setTextValue(labels.value(currentRow));
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  const qsizetype chosen = labels.indexOf(dialog.textValue());
  if (chosen < 0) return std::nullopt;
  return sources[chosen].name;
}

bool ScanWindow::PickScanFolder() { return setup_.pickScanFolder && setup_.pickScanFolder(frameGeometry()); }

}  // namespace lumaset
