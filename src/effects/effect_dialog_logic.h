#pragma once

// The state and arithmetic of the five effect dialogs, kept apart from their
// windows: captions, which event previews, the emboss parameters, the colour
// replace view (zoom, pick, tolerance) and the colour adjust swatch.

#include <QImage>
#include <QPointF>
#include <QRect>
#include <QRgb>
#include <QSize>
#include <QString>

#include "components/imaging/pixels/color_tools.h"

namespace lumaset {

// ---- brightness and contrast ---------------------------------------------------

// Real-time preview follows a dragged thumb; delayed preview waits until the
// value settles; with neither, only the labels follow. At most one is on.
struct PreviewModes {
  bool realTime = true;
  bool delayed = false;
  bool PreviewOnScroll() const { return realTime; }
  bool PreviewOnChange() const { return realTime || delayed; }
};

QString BrightnessLabel(int value);
QString ContrastLabel(int value);

// ---- colorize -------------------------------------------------------------------

struct ColorizeState {
  QRgb color = qRgb(67, 66, 43);  // the target colour, shown on the swatch
  int hue = 40;
  int saturation = 30;
  int luminance = 60;
  bool useHue = true;
  bool useSaturation = true;
  bool useLuminance = false;

  // The bars' colour, which a moved bar puts on the swatch.
  QRgb BarColor() const;
};

// "Hue: 40" and the like, as a moved bar writes them.
QString ColorizeCaption(const QString& name, int value);
// Hue, saturation and luminance of a picked colour, for the bars.
ByteTriple PickedHsl(QRgb color);

// ---- emboss ---------------------------------------------------------------------

class EmbossState {
 public:
  // The direction buttons, top left (0) to bottom right (7) round an empty centre.
  static bool Offset(int index, int& dx, int& dy);
  // The button an arrow key moves to from `index`, one step of (`dx`, `dy`)
  // across the grid and over the empty centre; -1 at the grid's edge.
  static int Neighbour(int index, int dx, int dy);

  void SetDirection(int index);
  // The mask from the three channel boxes; embossing none or all channels
  // leaves no other channel to set, so the other-channels choice goes off.
  void SetChannels(bool red, bool green, bool blue);
  void SetOtherChecked(bool checked, int barValue);
  void SetOtherBar(int value);

  int dx() const { return dx_; }
  int dy() const { return dy_; }
  int mask() const { return mask_; }
  int otherValue() const { return otherValue_; }
  bool otherChecked() const { return otherChecked_; }
  bool OtherEnabled() const { return mask_ != 0 && mask_ != 7; }
  // What the effect gets for the channels outside the mask: the chosen
  // value when the box is checked, else the channels keep their bytes.
  int EffectOther() const;

 private:
  int dx_ = -1;
  int dy_ = -1;
  int mask_ = 7;
  int otherValue_ = 0;
  bool otherChecked_ = false;
};

// ---- colour replace ---------------------------------------------------------------

enum class MouseMode { None, Select, Zoom };

class ReplaceView {
 public:
  static constexpr double kMaxZoom = 57;
  static constexpr double kZoomStep = 1.5;

  explicit ReplaceView(QSize full = {});

  // The mode buttons: each turns its own mode on and the other off, or its
  // own mode off when it was on.
  void ClickSelect();
  void ClickZoom();
  void ModesOff() { mode_ = MouseMode::None; }
  MouseMode mode() const { return mode_; }

  // A zoom click at `at` in a box of `box` pixels: in with the left button,
  // out with another. A release outside the box counts as on its edge.
  // False when the factor is already at its end and nothing changes.
  bool Zoom(bool zoomIn, QPointF at, QSize box);
  void Reset();

  double factor() const { return factor_; }
  QRect area() const { return area_; }  // in pixels of the full picture
  QSize full() const { return full_; }
  // "X = 12, Y = 34": the full picture's pixel under `at`.
  QString Tooltip(QPointF at, QSize box) const;

 private:
  QSize full_;
  QRect area_;
  double factor_ = 1;
  MouseMode mode_ = MouseMode::None;
};

// "Tolerance: 5%": the tolerance as a whole share of three channel ranges.
QString ToleranceLabel(int tolerance);

// The mean of the nine pixels round `at` (taken into the picture); a pixel
// beyond the border counts as the nearest edge pixel.
QRgb PickNine(const QImage& picture, QPointF at);

// ---- colour adjust ------------------------------------------------------------------

// "Red 5" and the like, as a moved bar writes them.
QString AdjustLabel(const QString& name, int value);
// The swatch: mid grey moved by the three offsets.
QRgb AdjustSwatch(int red, int green, int blue);

}  // namespace lumaset
