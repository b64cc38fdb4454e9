#include "layout/adjust_panel.h"

#include <QComboBox>
#include <QEvent>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QScopedValueRollback>
#include <QScreen>
#include <QSignalBlocker>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

#include "components/option_focus.h"
#include "components/theme_icons.h"
#include "frame/fit_text.h"
#include "frame/units.h"
#include "layout/orientation.h"

namespace lumaset {

namespace {

const QString kPrinterTip = QStringLiteral("Choose printer");
const QString kPresetTip = QStringLiteral("Choose predefined picture widths");
const QString kWidthTip = QStringLiteral("Change  printing width then press <Enter>");
const QString kSpinTip = QStringLiteral("Change  printing width");
const QString kHeightTip = QStringLiteral("Printed height of selected picture.");

// The controls' places in twips of the panel (about 3000 x 1790): five rows.
struct Place {
  int left;
  int top;
  int width;
  int height;
};
constexpr int kPanelWidth = 3000;
constexpr int kRowHeight = 330;
constexpr std::array<int, 5> kRowTop = {30, 375, 720, 1065, 1410};
constexpr int kFieldLeft = 1700;

constexpr Place kPrinterButton{60, kRowTop[0], 420, kRowHeight};
constexpr Place kPrinterName{540, kRowTop[0], 2400, kRowHeight};
constexpr Place kPresets{kFieldLeft, kRowTop[1], 1240, kRowHeight};
constexpr Place kWidth{kFieldLeft, kRowTop[2], 940, kRowHeight};
constexpr Place kSpinner{2640, kRowTop[2], 300, kRowHeight};
constexpr Place kHeight{kFieldLeft, kRowTop[3], 600, kRowHeight};
constexpr Place kNextPage{2220, kRowTop[3], 720, kRowHeight};
constexpr Place kPortraitOption{30, kRowTop[4], 960, kRowHeight};
constexpr Place kLandscapeOption{990, kRowTop[4], 1230, kRowHeight};
constexpr Place kLabelButton{2220, kRowTop[4], 720, kRowHeight};
// `Label1`(0) beside the presets, (2) beside the width, (1) beside the height.
constexpr std::array<int, 3> kCaptionRow = {1, 3, 2};
constexpr int kCaptionWidth = 1640;

// A control that says what it is to a screen reader by its text or tooltip.
template <typename Widget>
Widget* Named(Widget* widget, const QString& name, const QString& tip = {}) {
  if (!tip.isEmpty()) widget->setToolTip(tip);
  widget->setAccessibleName(name);
  return widget;
}

}  // namespace

WidthEdit::WidthEdit(QWidget* parent) : QLineEdit(parent) {}

// Selected once the click that gave the focus has placed the cursor.
void WidthEdit::focusInEvent(QFocusEvent* event) {
  QLineEdit::focusInEvent(event);
  QMetaObject::invokeMethod(this, &QLineEdit::selectAll, Qt::QueuedConnection);
}

WidthSpinner::WidthSpinner(QWidget* parent)
    : QWidget(parent), up_(new QToolButton(this)), down_(new QToolButton(this)) {
  Named(this, kSpinTip, kSpinTip);
  // A screen reader tells the two arrows apart by their names.
  Named(up_, QStringLiteral("Printing width up"), kSpinTip);
  Named(down_, QStringLiteral("Printing width down"), kSpinTip);
  for (QToolButton* button : {up_, down_}) button->setAutoRepeat(true);
  up_->setArrowType(Qt::UpArrow);
  down_->setArrowType(Qt::DownArrow);
  // Each half fills the spinner; a layout keeps the panel's text fitting off them.
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  for (QToolButton* button : {up_, down_}) {
    button->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Ignored);
    column->addWidget(button);
  }
  connect(up_, &QToolButton::clicked, this, &WidthSpinner::upClicked);
  connect(down_, &QToolButton::clicked, this, &WidthSpinner::downClicked);
}

PageAdjustPanel::PageAdjustPanel(QWidget* parent) : QWidget(parent) {
  setAccessibleName(QStringLiteral("Page settings"));
  // The column is narrow: a slightly smaller type keeps every caption whole.
  QFont small = font();
  small.setPointSizeF(small.pointSizeF() * 0.85);
  setFont(small);
  Build();
  Connect();
  if (parent) {
    parent->installEventFilter(this);
    setGeometry(parent->rect());
  }
  LayOut();
}

void PageAdjustPanel::Build() {
  cmdPrinter_ = Named(new QPushButton(this), kPrinterTip, kPrinterTip);
  cmdPrinter_->setIcon(ThemeIcon({"printer", "document-print"}, QStyle::SP_ComputerIcon));
  // Print Setup comes with printing; until then the button offers nothing.
  cmdPrinter_->setEnabled(false);
  printerName_ = new QLabel(this);
  ShowPrinterName(QStringLiteral("No Printer"));

  for (QLabel*& caption : label1_) caption = new QLabel(this);
  cmbWH_ = Named(new QComboBox(this), kPresetTip, kPresetTip);
  cmbWH_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  txtWidth_ = Named(new WidthEdit(this), kWidthTip, kWidthTip);
  upDown1_ = new WidthSpinner(this);
  labHeight_ = new QLabel(this);  // read as the height it shows
  labHeight_->setToolTip(kHeightTip);
  labHeight_->setFrameStyle(QFrame::Panel | QFrame::Sunken);

  optPort_ = Named(new QRadioButton(QStringLiteral("Portrait"), this), QStringLiteral("Portrait"),
                   PortraitTip());
  optLand_ = Named(new QRadioButton(QStringLiteral("Landscape"), this), QStringLiteral("Landscape"),
                   LandscapeTip());
  optPort_->setChecked(true);
  KeepTabOnChoice({optPort_, optLand_});
  cmdLabel_ = Named(new QPushButton(QStringLiteral("Label..."), this), QStringLiteral("Label..."));
  cmdThumb_ = Named(new QPushButton(QStringLiteral("Next Page"), this), QStringLiteral("Next Page"));
  cmdThumb_->hide();
}

void PageAdjustPanel::Connect() {
  connect(optPort_, &QRadioButton::toggled, this, [this](bool on) {
    if (on && !showing_) emit orientationChosen(true);
  });
  connect(optLand_, &QRadioButton::toggled, this, [this](bool on) {
    if (on && !showing_) emit orientationChosen(false);
  });
  connect(txtWidth_, &QLineEdit::returnPressed, this, &PageAdjustPanel::widthEntered);
  connect(upDown1_, &WidthSpinner::upClicked, this, [this] { emit widthStepped(+1); });
  connect(upDown1_, &WidthSpinner::downClicked, this, [this] { emit widthStepped(-1); });
  connect(cmdLabel_, &QPushButton::clicked, this, &PageAdjustPanel::labelClicked);
  connect(cmdThumb_, &QPushButton::clicked, this, &PageAdjustPanel::nextPageClicked);
}

void PageAdjustPanel::LayOut() {
  const QScreen* screen = this->screen();
  const double perPixel = TwipsPerPixel(screen ? screen->logicalDotsPerInch() : 96.0);
  const auto place = [perPixel](QWidget* widget, const Place& at) {
    widget->setGeometry(TwipsToPixels(at.left, perPixel), TwipsToPixels(at.top, perPixel),
                        TwipsToPixels(at.width, perPixel), TwipsToPixels(at.height, perPixel));
  };
  place(cmdPrinter_, kPrinterButton);
  place(printerName_, kPrinterName);
  for (std::size_t i = 0; i < label1_.size(); ++i) {
    place(label1_[i], Place{60, kRowTop.at(static_cast<std::size_t>(kCaptionRow[i])), kCaptionWidth,
                            kRowHeight});
  }
  // The box would size itself to its rows; it keeps the panel's row, or
  // the height its font needs where that is more.
  cmbWH_->setMaximumHeight(
      std::max(TwipsToPixels(kPresets.height, perPixel), cmbWH_->fontMetrics().height() + 2));
  place(cmbWH_, kPresets);
  place(txtWidth_, kWidth);
  place(upDown1_, kSpinner);
  place(labHeight_, kHeight);
  place(cmdThumb_, kNextPage);
  place(optPort_, kPortraitOption);
  place(optLand_, kLandscapeOption);
  place(cmdLabel_, kLabelButton);

  // Texts wider than their places push the controls right of them along;
  // the panel then needs more than its designed width.
  const QRect kept = geometry();
  resize(TwipsToPixels(kPanelWidth, perPixel), height());
  FitToText(this);
  const int needed = width();
  setGeometry(kept);
  if (needed != neededWidth_) {
    neededWidth_ = needed;
    if (needsRoom_) needsRoom_();
  }
}

bool PageAdjustPanel::eventFilter(QObject* watched, QEvent* event) {
  if (watched == parentWidget() && event->type() == QEvent::Resize) {
    setGeometry(parentWidget()->rect());
  }
  return QWidget::eventFilter(watched, event);
}

QString PageAdjustPanel::printerCaption() const { return printerName_->text(); }

void PageAdjustPanel::ShowPrinterName(const QString& caption) {
  printerName_->setText(caption);
}

void PageAdjustPanel::ShowUnitCaptions(const std::array<QString, 3>& captions) {
  for (std::size_t i = 0; i < label1_.size(); ++i) {
    label1_[i]->setText(captions[i]);
  }
  LayOut();
}

void PageAdjustPanel::ShowWidthPresets(const QStringList& rows, int selected) {
  const QSignalBlocker quiet(cmbWH_);
  cmbWH_->clear();
  cmbWH_->addItems(rows);
  cmbWH_->setCurrentIndex(selected >= 0 && selected < rows.size() ? selected : -1);
  LayOut();
}

QString PageAdjustPanel::PresetWidthText() const { return cmbWH_->currentText(); }
QString PageAdjustPanel::WidthText() const { return txtWidth_->text(); }
void PageAdjustPanel::SetWidthText(const QString& text) { txtWidth_->setText(text); }
void PageAdjustPanel::SetHeightText(const QString& text) { labHeight_->setText(text); }

// The options' own signals still run, so that Tab follows the choice.
void PageAdjustPanel::ShowOrientation(bool portrait) {
  const QScopedValueRollback quiet(showing_, true);
  (portrait ? optPort_ : optLand_)->setChecked(true);
}

bool PageAdjustPanel::portraitShown() const { return optPort_->isChecked(); }

}  // namespace lumaset
