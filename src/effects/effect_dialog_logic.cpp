#include "effects/effect_dialog_logic.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "components/imaging/pixels/pixel_effects.h"

namespace lumaset {

namespace {

int Even(double value) { return static_cast<int>(std::nearbyint(value)); }

}  // namespace

QString BrightnessLabel(int value) { return QStringLiteral("Brightness: %1").arg(value); }
QString ContrastLabel(int value) { return QStringLiteral("Contrast: %1").arg(value); }

QRgb ColorizeState::BarColor() const {
  const ByteTriple rgb = HslToRgb(static_cast<std::uint8_t>(hue), static_cast<std::uint8_t>(saturation),
                                  static_cast<std::uint8_t>(luminance));
  return qRgb(rgb.c1, rgb.c2, rgb.c3);
}

QString ColorizeCaption(const QString& name, int value) { return QStringLiteral("%1: %2").arg(name).arg(value); }

ByteTriple PickedHsl(QRgb color) {
  const ByteTriple rgb = SplitColor(color);
  return RgbToHsl(rgb.c1, rgb.c2, rgb.c3);
}

bool EmbossState::Offset(int index, int& dx, int& dy) {
  static constexpr std::array<std::array<int, 2>, 8> kOffsets{
      {{-1, -1}, {0, -1}, {1, -1}, {-1, 0}, {1, 0}, {-1, 1}, {0, 1}, {1, 1}}};
  if (index < 0 || index >= 8) return false;
  dx = kOffsets[static_cast<std::size_t>(index)][0];
  dy = kOffsets[static_cast<std::size_t>(index)][1];
  return true;
}

int EmbossState::Neighbour(int index, int dx, int dy) {
  if (index < 0 || index >= 8) return -1;
  const int cell = index < 4 ? index : index + 1;
  int column = cell % 3 + dx;
  int row = cell / 3 + dy;
  if (column == 1 && row == 1) {
    column += dx;
    row += dy;
  }
  if (column < 0 || column > 2 || row < 0 || row > 2) return -1;
  const int target = row * 3 + column;
  return target < 4 ? target : target - 1;
}

void EmbossState::SetDirection(int index) { Offset(index, dx_, dy_); }

void EmbossState::SetChannels(bool red, bool green, bool blue) {
  mask_ = (red ? 1 : 0) + (green ? 2 : 0) + (blue ? 4 : 0);
  if (!OtherEnabled()) otherChecked_ = false;
}

void EmbossState::SetOtherChecked(bool checked, int barValue) {
  otherChecked_ = checked && OtherEnabled();
  if (otherChecked_) otherValue_ = std::clamp(barValue, 0, 255);
}

void EmbossState::SetOtherBar(int value) { otherValue_ = std::clamp(value, 0, 255); }

int EmbossState::EffectOther() const { return otherChecked_ ? otherValue_ : kKeepOtherChannels; }

ReplaceView::ReplaceView(QSize full) : full_(full) { Reset(); }

void ReplaceView::ClickSelect() { mode_ = mode_ == MouseMode::Select ? MouseMode::None : MouseMode::Select; }
void ReplaceView::ClickZoom() { mode_ = mode_ == MouseMode::Zoom ? MouseMode::None : MouseMode::Zoom; }

void ReplaceView::Reset() {
  factor_ = 1;
  area_ = QRect(QPoint(0, 0), full_);
}

bool ReplaceView::Zoom(bool zoomIn, QPointF at, QSize box) {
  if (zoomIn ? factor_ >= kMaxZoom : factor_ <= 1) return false;
  factor_ = zoomIn ? std::min(factor_ * kZoomStep, kMaxZoom) : std::max(factor_ / kZoomStep, 1.0);
  const int width = std::clamp(Even(full_.width() / factor_), 1, std::max(full_.width(), 1));
  const int height = std::clamp(Even(full_.height() / factor_), 1, std::max(full_.height(), 1));
  const double boxWidth = std::max(box.width(), 1);
  const double boxHeight = std::max(box.height(), 1);
  const double x = std::clamp(at.x(), 0.0, boxWidth);
  const double y = std::clamp(at.y(), 0.0, boxHeight);
  const int left = Even(x / boxWidth * (full_.width() - width));
  const int top = Even(y / boxHeight * (full_.height() - height));
  area_ = QRect(left, top, width, height);
  return true;
}

QString ReplaceView::Tooltip(QPointF at, QSize box) const {
  const double x = area_.left() + at.x() * area_.width() / std::max(box.width(), 1);
  const double y = area_.top() + at.y() * area_.height() / std::max(box.height(), 1);
  return QStringLiteral("X = %1, Y = %2").arg(Even(x)).arg(Even(y));
}

QString ToleranceLabel(int tolerance) {
  return QStringLiteral("Tolerance: %1%").arg(Even(tolerance * 100.0 / 765));
}

QRgb PickNine(const QImage& picture, QPointF at) {
  if (picture.isNull()) return qRgb(0, 0, 0);
  const int right = picture.width() - 1;
  const int bottom = picture.height() - 1;
  const int cx = std::clamp(Even(at.x()), 0, right);
  const int cy = std::clamp(Even(at.y()), 0, bottom);
  int sum[3] = {0, 0, 0};
  for (int i = cx - 1; i <= cx + 1; ++i) {
    for (int j = cy - 1; j <= cy + 1; ++j) {
      const QRgb pixel = picture.pixel(std::clamp(i, 0, right), std::clamp(j, 0, bottom));
      sum[0] += qRed(pixel);
      sum[1] += qGreen(pixel);
      sum[2] += qBlue(pixel);
    }
  }
  return qRgb(Even(sum[0] / 9.0), Even(sum[1] / 9.0), Even(sum[2] / 9.0));
}

QString AdjustLabel(const QString& name, int value) { return QStringLiteral("%1 %2").arg(name).arg(value); }

QRgb AdjustSwatch(int red, int green, int blue) { return qRgb(127 + red, 127 + green, 127 + blue); }

}  // namespace lumaset
