#include "layout/page_label.h"

#include <QCloseEvent>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QFontDialog>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "frame/app_state.h"
#include "frame/fit_text.h"
#include "frame/units.h"
#include "layout/page_model.h"
#include "layout/page_refresh.h"

namespace lumaset {

namespace {

constexpr double kDesignSize = 16;     // points the dialog is designed for
constexpr double kTwipsPerPoint = 20;
constexpr double kClientWidth = 4980;
constexpr double kFrameHeight = 325;   // title bar and borders of the designed window

QFont FontOf(const LabelEntry& entry) {
  QFont font(entry.family);
  if (entry.pointSize > 0) font.setPointSizeF(entry.pointSize);
  font.setBold(entry.bold);
  font.setItalic(entry.italic);
  return font;
}

QString SwatchStyle(const QColor& color) {
  return QStringLiteral("background-color: %1; border: 1px solid black;").arg(color.name());
}

}  // namespace

LabelDialogLayout LabelLayoutFor(double pointSize) {
  const double grow = (pointSize - kDesignSize) * kTwipsPerPoint;
  LabelDialogLayout layout;
  layout.textHeight = grow + 500;
  layout.dialogHeight = grow + 1840;
  layout.buttonTop = layout.dialogHeight - 700;
  return layout;
}

int LabelSizeOf(double pointSize) {
  const double rounded = std::nearbyint(pointSize);
  return static_cast<int>(std::clamp(rounded, 1.0, static_cast<double>(INT16_MAX)));
}

std::optional<LabelEntry> ChooseLabelFont(const LabelEntry& preset, QWidget* parent) {
  QDialog dialog(parent);
  dialog.setWindowTitle(QStringLiteral("Font"));
  // The font choice and the colour choice in one dialog, as the label takes both.
  auto* fonts = new QFontDialog(&dialog);
  fonts->setWindowFlags(Qt::Widget);
  fonts->setOptions(QFontDialog::NoButtons | QFontDialog::DontUseNativeDialog);
  fonts->setCurrentFont(FontOf(preset));

  QColor color = preset.color;
  auto* swatch = new QLabel(&dialog);
  swatch->setFixedSize(48, 20);
  swatch->setStyleSheet(SwatchStyle(color));
  auto* colorButton = new QPushButton(QStringLiteral("&Color..."), &dialog);
  QObject::connect(colorButton, &QPushButton::clicked, &dialog, [&] {
    const QColor chosen = QColorDialog::getColor(color, &dialog, QStringLiteral("Color"));
    if (!chosen.isValid()) return;
    color = chosen;
    swatch->setStyleSheet(SwatchStyle(color));
  });
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);

  auto* colorRow = new QHBoxLayout;
  colorRow->addWidget(colorButton);
  colorRow->addWidget(swatch);
  colorRow->addStretch();
  auto* layout = new QVBoxLayout(&dialog);
  layout->addWidget(fonts);
  layout->addLayout(colorRow);
  layout->addWidget(buttons);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;

  const QFont font = fonts->currentFont();
  return LabelEntry{preset.text, font.family(), font.pointSizeF(), font.bold(), font.italic(),
                    color};
}

LabelDialog::LabelDialog(QWidget* parent, LabelFontChooser chooser)
    : QDialog(parent),
      chooser_(std::move(chooser)),
      label1_(new QLabel(QStringLiteral("Type your label text below:"), this)),
      text1_(new QLineEdit(this)),
      cmdFont_(new QPushButton(QStringLiteral("Font"), this)),
      cmdDelete_(new QPushButton(QStringLiteral("Delete"), this)),
      cmdCancel_(new QPushButton(QStringLiteral("Cancel"), this)),
      cmdOK_(new QPushButton(QStringLiteral("OK"), this)) {
  setWindowTitle(QStringLiteral("Layout Label"));
  text1_->setAccessibleName(QStringLiteral("Label text"));
  QFont captionFont = label1_->font();
  captionFont.setPointSizeF(8.25);
  captionFont.setBold(true);
  label1_->setFont(captionFont);
  cmdFont_->setToolTip(QStringLiteral("Change font"));
  cmdDelete_->setToolTip(QStringLiteral("Delete text"));
  cmdCancel_->setToolTip(QStringLiteral("Cancel label changes"));
  cmdOK_->setToolTip(QStringLiteral("Commit label text"));
  for (QPushButton* button : {cmdFont_, cmdDelete_, cmdCancel_, cmdOK_}) {
    button->setAutoDefault(false);
  }
  // Enter in the text commits it, as a one-line entry is expected to.
  cmdOK_->setDefault(true);
  setTabOrder(text1_, cmdFont_);
  setTabOrder(cmdFont_, cmdCancel_);
  setTabOrder(cmdCancel_, cmdDelete_);
  setTabOrder(cmdDelete_, cmdOK_);

  connect(cmdOK_, &QPushButton::clicked, this, &LabelDialog::cmdOK_Click);
  connect(cmdCancel_, &QPushButton::clicked, this, &LabelDialog::cmdCancel_Click);
  connect(cmdDelete_, &QPushButton::clicked, this, &LabelDialog::cmdDelete_Click);
  connect(cmdFont_, &QPushButton::clicked, this, &LabelDialog::cmdFont_Click);
  Preset(LabelEntry{});
}

double LabelDialog::TwipsPerPixel() const {
  const QScreen* screen = this->screen();
  return lumaset::TwipsPerPixel(screen ? screen->logicalDotsPerInch() : 96.0);
}

std::optional<LabelEntry> LabelDialog::Run(const LabelEntry& preset) {
  Preset(preset);
  labelOK_ = true;
  text1_->setFocus();
  exec();
  if (!labelOK_) return std::nullopt;
  return Entry();
}

void LabelDialog::Preset(const LabelEntry& entry) {
  entry_ = entry;
  text1_->setText(entry.text);
  text1_->setFont(FontOf(entry));
  QPalette palette = text1_->palette();
  palette.setColor(QPalette::Text, entry.color);
  text1_->setPalette(palette);
  LayOut();
}

LabelEntry LabelDialog::Entry() const {
  LabelEntry entry = entry_;
  entry.text = text1_->text();
  return entry;
}

void LabelDialog::LayOut() {
  const LabelDialogLayout layout = LabelLayoutFor(entry_.pointSize);
  const double perPixel = TwipsPerPixel();
  const auto px = [perPixel](double twips) { return TwipsToPixels(twips, perPixel); };
  setFixedSize(px(kClientWidth), px(layout.dialogHeight - kFrameHeight));
  label1_->setGeometry(px(60), px(60), px(2595), px(315));
  text1_->setGeometry(px(60), px(420), px(4875), std::max(1, px(layout.textHeight)));
  const int top = px(layout.buttonTop);
  cmdFont_->setGeometry(px(60), top, px(800), px(315));
  cmdDelete_->setGeometry(px(900), top, px(800), px(315));
  cmdCancel_->setGeometry(px(3300), top, px(800), px(315));
  cmdOK_->setGeometry(px(4140), top, px(800), px(315));
  FitToText(this);
  // The text box ends with the row of buttons, however far their texts moved it.
  text1_->resize(std::max(text1_->width(), cmdOK_->geometry().right() + 1 - text1_->x()), text1_->height());
}

void LabelDialog::cmdOK_Click() { done(Accepted); }

void LabelDialog::cmdCancel_Click() {
  labelOK_ = false;
  done(Rejected);
}

void LabelDialog::cmdDelete_Click() { text1_->clear(); }

void LabelDialog::cmdFont_Click() {
  if (!chooser_) return;
  const std::optional<LabelEntry> chosen = chooser_(Entry(), this);
  if (!chosen) return;
  LabelEntry entry = *chosen;
  entry.text = text1_->text();
  Preset(entry);
  text1_->update();
}

void LabelDialog::closeEvent(QCloseEvent* event) {
  event->accept();
  done(Accepted);
}

void LabelDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

PageLabelCommand::PageLabelCommand(PageModel& model, PageRefresh& refresh, LabelStyle& style,
                                   LabelHost& host)
    : model_(model), refresh_(refresh), style_(style), host_(host) {}

void PageLabelCommand::Run() {
  host_.ToolEnable(false, -1);
  const PagePen& pen = refresh_.pen();
  const LabelEntry preset{model_.edit().labelText, style_.font, static_cast<double>(style_.size),
                          pen.bold, pen.italic, pen.color};
  host_.PlaySound(Sound::Open, Wait::No);
  const std::optional<LabelEntry> entry = host_.ShowLabelDialog(preset);
  host_.PlaySound(Sound::Close, Wait::Yes);
  if (!entry) return;
  Apply(*entry);

  if (!model_.edit().labelText.isEmpty()) {
    if (!model_.edit().layoutTitle.isEmpty()) host_.EnableCommand(QStringLiteral("mnuFileSave"));
    host_.EnableCommand(QStringLiteral("mnuFileSaveAs"));
    host_.EnableCommand(QStringLiteral("Save"));
    host_.EnableCommand(QStringLiteral("mnuFilePrint"));
    host_.EnableCommand(QStringLiteral("Print"));
  }
  host_.SetPageCrossPointer();
}

// The old label goes; an empty text leaves none and keeps the label's look,
// only the page's drawing colour follows the dialog.
void PageLabelCommand::Apply(const LabelEntry& entry) {
  if (entry.text.isEmpty()) {
    model_.edit().labelText.clear();
    refresh_.SetPenColor(entry.color);
    refresh_.RedrawLabel(QString(), refresh_.pen());
    return;
  }
  model_.edit().labelText = entry.text;
  style_.font = entry.family;
  style_.size = LabelSizeOf(entry.pointSize);
  style_.bold = entry.bold;
  style_.italic = entry.italic;
  style_.color = ValueFromColor(entry.color);
  const PagePen pen{entry.family, entry.pointSize * model_.geometry().fontScale, entry.bold,
                    entry.italic, entry.color};
  refresh_.RedrawLabel(entry.text, pen);
}

}  // namespace lumaset
