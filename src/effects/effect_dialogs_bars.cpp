// The three dialogs whose parameters live in scroll bars: brightness and
// contrast, colorize, and colour adjust.

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QToolButton>

#include <tuple>

#include "components/imaging/pixels/bright_contrast.h"
#include "components/imaging/pixels/dialog_pixels.h"
#include "components/imaging/pixels/imaging_effects.h"
#include "effects/effect_dialogs.h"

namespace lumaset {

namespace {

template <typename Widget>
void SetCaption(Widget* widget, const QString& text) {
  widget->setText(text);
  widget->setAccessibleName(text);
}

FrameSpec BrightContrastFrame() {
  FrameSpec spec;
  spec.caption = QStringLiteral("Adjust Brightness and Contrast");
  spec.minHeight = 2670;
  spec.client = {5970, 4125};
  spec.preview = {1860, 60, 4000, 4000};
  spec.buttonTop = 1980;
  spec.helpTop = 1920;
  spec.applyIsDefault = false;
  return spec;
}

FrameSpec ColorizeFrame() {
  FrameSpec spec;
  spec.caption = QStringLiteral("Adjust Hue, Saturation and Luminance");
  spec.minHeight = 3075;
  spec.client = {5970, 4155};
  spec.preview = {1860, 60, 4000, 4000};
  spec.buttonTop = 2400;
  spec.helpTop = 2340;
  return spec;
}

FrameSpec ColorAdjustFrame() {
  FrameSpec spec;
  spec.caption = QStringLiteral("Adjust Red, Green, and Blue");
  spec.minHeight = 2835;
  spec.client = {5970, 4125};
  spec.preview = {1860, 60, 4000, 4000};
  spec.buttonTop = 2160;
  spec.helpTop = 2100;
  return spec;
}

}  // namespace

// The swatch is drawn flat in exactly its colour (a style's bevel would
// lighten it), and its caption in black or white, whichever stands out.
void SetSwatchColor(QWidget* swatch, QRgb color) {
  const bool dark = qRed(color) * 299 + qGreen(color) * 587 + qBlue(color) * 114 < 128 * 1000;
  const QString ink = dark ? QStringLiteral("#ffffff") : QStringLiteral("#000000");
  swatch->setStyleSheet(QStringLiteral("background-color: %1; color: %2; border: 1px solid %2;")
                            .arg(QColor(color).name(), ink));
  swatch->setProperty("swatchColor", QVariant::fromValue(static_cast<uint>(color | 0xFF000000U)));
}

// ---- brightness and contrast ---------------------------------------------------

BrightContrastDialog::BrightContrastDialog(Imaging& original, DialogServices services)
    : EffectDialog(original, std::move(services), BrightContrastFrame()) {
  lblBrightness = MakeLabel(BrightnessLabel(0), {60, 60, 945, 195});
  scrBrightness = MakeBar(QStringLiteral("Brightness"), {60, 300, 1620, 150}, -40, 40, 1, 5, 0);
  lblContrast = MakeLabel(ContrastLabel(0), {60, 540, 765, 195});
  scrContrast = MakeBar(QStringLiteral("Contrast"), {60, 780, 1620, 150}, -30, 30, 1, 5, 0);
  chkRealTimePreview = MakeCheck(QStringLiteral("Real-Time Preview"), {60, 1080, 1695, 225}, true);
  chkDelayedPreview = MakeCheck(QStringLiteral("Delayed Preview"), {60, 1320, 1515, 225}, false);
  btnReset = MakeButton(QStringLiteral("Reset"), QString(), {60, 1620, 650, 300});

  const auto bar = [this](QScrollBar* scroll, QLabel* label, QString (*text)(int)) {
    ConnectBar(
        scroll,
        [this, label, text](int value) {
          SetCaption(label, text(value));
          if (modes_.PreviewOnScroll()) Preview();
        },
        [this, label, text](int value) {
          SetCaption(label, text(value));
          if (modes_.PreviewOnChange()) Preview();
        });
  };
  bar(scrBrightness, lblBrightness, &BrightnessLabel);
  bar(scrContrast, lblContrast, &ContrastLabel);
  ReserveTexts(lblBrightness, &BrightnessLabel, scrBrightness);
  ReserveTexts(lblContrast, &ContrastLabel, scrContrast);
  // A box unchecked by the other's handler runs its own handler too.
  const auto check = [this](QCheckBox* box, QCheckBox* other, bool PreviewModes::*mode) {
    connect(box, &QCheckBox::toggled, this, [this, other, mode](bool on) {
      modes_.*mode = on;
      if (on) other->setChecked(false);
      if (modes_.realTime || modes_.delayed) Preview();
    });
  };
  check(chkRealTimePreview, chkDelayedPreview, &PreviewModes::realTime);
  check(chkDelayedPreview, chkRealTimePreview, &PreviewModes::delayed);
  SetTabOrder({chkRealTimePreview, chkDelayedPreview, btnApply(), btnCancel(), scrBrightness, scrContrast, btnReset,
               cmdHelp()});
  connect(btnReset, &QPushButton::clicked, this, [this] {
    scrBrightness->setValue(0);
    scrContrast->setValue(0);
  });
}

Status BrightContrastDialog::Effect(Imaging& imaging) {
  return ImgBrightContrast(imaging, scrBrightness->value(), scrContrast->value());
}

void BrightContrastDialog::Preview() {
  ++previews_;
  RefreshPreview();
}

// ---- colorize ---------------------------------------------------------------------

ColorizeDialog::ColorizeDialog(Imaging& original, DialogServices services)
    : EffectDialog(original, std::move(services), ColorizeFrame()) {
  chkHue = MakeCheck(QStringLiteral("Hue 40"), {60, 60, 1035, 225}, true);
  scrHue = MakeBar(QStringLiteral("Hue"), {60, 300, 1620, 150}, 0, 255, 1, 10, 40);
  chkSat = MakeCheck(QStringLiteral("Sat 30"), {60, 540, 1395, 225}, true);
  scrSat = MakeBar(QStringLiteral("Saturation"), {60, 780, 1620, 150}, 0, 255, 1, 10, 30);
  chkLum = MakeCheck(QStringLiteral("Lum 60"), {60, 1020, 1395, 225}, false);
  scrLum = MakeBar(QStringLiteral("Luminance"), {60, 1260, 1620, 150}, 0, 255, 1, 10, 60);
  btnColor = MakeButton(QString(), QString(), {60, 1500, 1620, 195}, QStringLiteral("Target color"));
  chkRealTimePreview = MakeCheck(QStringLiteral("Real-Time Preview"), {60, 1740, 1695, 225}, true);
  SetSwatch(state_.color);
  for (const auto& [box, bar, name] : {std::tuple(chkHue, scrHue, "Hue"), std::tuple(chkSat, scrSat, "Sat"),
                                       std::tuple(chkLum, scrLum, "Lum")}) {
    ReserveTexts(box, [name](int value) { return ColorizeCaption(QString::fromLatin1(name), value); }, bar);
  }
  picPreview()->setToolTip(QStringLiteral("Preview"));
  SetTabOrder({chkRealTimePreview, scrHue, scrSat, btnApply(), btnCancel(), scrLum, chkHue, chkSat, chkLum, btnColor,
               cmdHelp()});

  for (QCheckBox* box : {chkHue, chkSat, chkLum}) {
    connect(box, &QCheckBox::toggled, this, [this] {
      state_.useHue = chkHue->isChecked();
      state_.useSaturation = chkSat->isChecked();
      state_.useLuminance = chkLum->isChecked();
      RefreshPreview();
    });
  }
  for (QScrollBar* bar : {scrHue, scrSat, scrLum}) {
    ConnectBar(
        bar, [this, bar](int) { BarMoved(bar, false); }, [this, bar](int) { BarMoved(bar, true); });
  }
  connect(btnColor, &QPushButton::clicked, this, &ColorizeDialog::btnColor_Click);
}

Status ColorizeDialog::Effect(Imaging& imaging) {
  return ImgColorize(imaging, state_.color, state_.useHue, state_.useSaturation, state_.useLuminance);
}

void ColorizeDialog::SetSwatch(QRgb color) {
  state_.color = color | 0xFF000000U;
  SetSwatchColor(btnColor, state_.color);
}

void ColorizeDialog::BarMoved(QScrollBar* bar, bool settled) {
  state_.hue = scrHue->value();
  state_.saturation = scrSat->value();
  state_.luminance = scrLum->value();
  if (bar == scrHue) SetCaption(chkHue, ColorizeCaption(QStringLiteral("Hue"), bar->value()));
  if (bar == scrSat) SetCaption(chkSat, ColorizeCaption(QStringLiteral("Sat"), bar->value()));
  if (bar == scrLum) SetCaption(chkLum, ColorizeCaption(QStringLiteral("Lum"), bar->value()));
  SetSwatch(state_.BarColor());
  if (settled || chkRealTimePreview->isChecked()) RefreshPreview();
}

// The picked colour goes on the swatch, and the bars follow it; a bar that
// moves puts its own colour on the swatch as it settles.
void ColorizeDialog::btnColor_Click() {
  const std::optional<QColor> picked = PickColor(QColor(state_.color));
  if (!picked) return;
  SetSwatch(picked->rgb());
  const ByteTriple hsl = PickedHsl(picked->rgb());
  SetCaption(chkHue, ColorizeCaption(QStringLiteral("Hue"), hsl.c1));
  SetCaption(chkSat, ColorizeCaption(QStringLiteral("Sat"), hsl.c2));
  SetCaption(chkLum, ColorizeCaption(QStringLiteral("Lum"), hsl.c3));
  scrHue->setValue(hsl.c1);
  scrSat->setValue(hsl.c2);
  scrLum->setValue(hsl.c3);
  RefreshPreview();
}

// ---- colour adjust -------------------------------------------------------------------

ColorAdjustDialog::ColorAdjustDialog(Imaging& original, DialogServices services)
    : EffectDialog(original, std::move(services), ColorAdjustFrame()) {
  labRed = MakeLabel(QStringLiteral("Red: 0"), {60, 0, 480, 195});
  scrRed = MakeBar(QStringLiteral("Red"), {60, 180, 1620, 150}, -50, 50, 1, 5, 0);
  labGreen = MakeLabel(QStringLiteral("Green: 0"), {60, 360, 615, 195});
  scrGreen = MakeBar(QStringLiteral("Green"), {60, 600, 1620, 150}, -50, 50, 1, 5, 0);
  labBlue = MakeLabel(QStringLiteral("Blue: 0"), {60, 780, 495, 195});
  scrBlue = MakeBar(QStringLiteral("Blue"), {60, 960, 1620, 150}, -50, 50, 1, 5, 0);
  labRed->setStyleSheet(QStringLiteral("color: rgb(128, 0, 0);"));
  labGreen->setStyleSheet(QStringLiteral("color: rgb(0, 128, 0);"));
  labBlue->setStyleSheet(QStringLiteral("color: rgb(0, 0, 128);"));
  btnColor = MakeButton(QString(), QString(), {60, 1200, 1575, 195}, QStringLiteral("Adjusted color"));
  btnColor->setEnabled(false);
  SetSwatchColor(btnColor, qRgb(127, 127, 127));
  chkRealTimePreview = MakeCheck(QStringLiteral("Real-Time Preview"), {60, 1500, 1635, 225}, true);
  btnReset = MakeButton(QStringLiteral("Reset"), QStringLiteral("Return to original colors"), {60, 1800, 650, 300});
  picPreview()->setToolTip(QStringLiteral("Preview"));
  SetTabOrder({scrRed, scrGreen, scrBlue, chkRealTimePreview, btnReset, btnCancel(), btnApply(), cmdHelp()});

  const auto bar = [this](QScrollBar* scroll, QLabel* label, const QString& name) {
    ReserveTexts(label, [name](int value) { return AdjustLabel(name, value); }, scroll);
    ConnectBar(
        scroll, [=, this](int) { BarMoved(scroll, label, name, false); },
        [=, this](int) { BarMoved(scroll, label, name, true); });
  };
  bar(scrRed, labRed, QStringLiteral("Red"));
  bar(scrGreen, labGreen, QStringLiteral("Green"));
  bar(scrBlue, labBlue, QStringLiteral("Blue"));
  connect(btnReset, &QPushButton::clicked, this, [this] {
    scrRed->setValue(0);
    scrGreen->setValue(0);
    scrBlue->setValue(0);
    RefreshPreview();
  });
}

Status ColorAdjustDialog::Effect(Imaging& imaging) {
  return ImgAdjustRgb(imaging, scrRed->value(), scrGreen->value(), scrBlue->value());
}

void ColorAdjustDialog::BarMoved(QScrollBar* bar, QLabel* label, const QString& name, bool settled) {
  SetCaption(label, AdjustLabel(name, bar->value()));
  SetSwatchColor(btnColor, AdjustSwatch(scrRed->value(), scrGreen->value(), scrBlue->value()));
  if (settled || chkRealTimePreview->isChecked()) RefreshPreview();
}

}  // namespace lumaset
