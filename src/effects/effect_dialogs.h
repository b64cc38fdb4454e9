#pragma once

// The five effect dialogs of Tools > Effects. Each previews on a small copy
// of the picture and applies its effect to the caller's imaging object only
// when the user presses Apply (see effect_dialog.h).

#include <QColor>
#include <QPointer>

#include <array>

#include "effects/effect_dialog.h"
#include "effects/effect_dialog_logic.h"

class QCheckBox;
class QPushButton;

namespace lumaset {

class BrightContrastDialog : public EffectDialog {
  Q_OBJECT
 public:
  BrightContrastDialog(Imaging& original, DialogServices services);
  QLabel* lblBrightness = nullptr;
  QLabel* lblContrast = nullptr;
  QScrollBar* scrBrightness = nullptr;
  QScrollBar* scrContrast = nullptr;
  QCheckBox* chkRealTimePreview = nullptr;
  QCheckBox* chkDelayedPreview = nullptr;
  QPushButton* btnReset = nullptr;
  int previews() const { return previews_; }

 protected:
  Status Effect(Imaging& imaging) override;

 private:
  void Preview();
  PreviewModes modes_;
  int previews_ = 0;
};

class ColorizeDialog : public EffectDialog {
  Q_OBJECT
 public:
  ColorizeDialog(Imaging& original, DialogServices services);
  QCheckBox* chkHue = nullptr;
  QCheckBox* chkSat = nullptr;
  QCheckBox* chkLum = nullptr;
  QScrollBar* scrHue = nullptr;
  QScrollBar* scrSat = nullptr;
  QScrollBar* scrLum = nullptr;
  QPushButton* btnColor = nullptr;
  QCheckBox* chkRealTimePreview = nullptr;
  const ColorizeState& state() const { return state_; }

 protected:
  Status Effect(Imaging& imaging) override;
  void AfterSetup() override { RefreshPreview(); }

 private:
  void BarMoved(QScrollBar* bar, bool settled);
  void btnColor_Click();
  void SetSwatch(QRgb color);
  ColorizeState state_;
};

class EmbossDialog : public EffectDialog {
  Q_OBJECT
 public:
  EmbossDialog(Imaging& original, DialogServices services);
  std::array<QToolButton*, 8> optDirection{};
  std::array<QCheckBox*, 3> chkChannels{};
  QCheckBox* chkOtherChannels = nullptr;
  QScrollBar* scrOtherChannels = nullptr;
  QPushButton* btnColor = nullptr;
  const EmbossState& state() const { return state_; }
  QRgb baseColor() const { return base_; }

 protected:
  Status Effect(Imaging& imaging) override;
  void AfterSetup() override { RefreshPreview(); }
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void ChannelsClicked();
  void OtherClicked();
  void SyncOther();
  EmbossState state_;
  QRgb base_ = qRgb(255, 128, 0);
};

class ColorReplaceDialog : public EffectDialog {
  Q_OBJECT
 public:
  ColorReplaceDialog(Imaging& original, DialogServices services);
  QToolButton* cmdZoom = nullptr;
  QToolButton* cmdSel = nullptr;
  QLabel* labTol = nullptr;
  QScrollBar* scrTol = nullptr;
  QPushButton* btnOld = nullptr;
  QLabel* labCol = nullptr;
  QPushButton* btnNew = nullptr;
  QPushButton* cmdReplace = nullptr;
  QPushButton* cmdUndo = nullptr;
  QPushButton* btnReset = nullptr;
  const ReplaceView& view() const { return view_; }
  QRgb oldColor() const { return old_; }
  QRgb newColor() const { return new_; }

  // The preview box's mouse, in pixels of the box's picture.
  void PreviewMouseMove(QPointF at);
  void PreviewMouseUp(Qt::MouseButton button, QPointF at);

 protected:
  Status Effect(Imaging& imaging) override;
  Status ApplyEffect(Imaging& original) override;
  int CopyUndoLevels() const override { return 0; }
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void cmdReplace_Click();
  void cmdUndo_Click();
  void btnReset_Click();
  void ShowModes();
  Status LoadView();
  void SetPanel(QWidget* panel, QRgb color);
  ReplaceView view_;
  QRgb old_ = qRgb(0, 0, 0);
  QRgb new_ = qRgb(0, 0, 0);
};

class ColorAdjustDialog : public EffectDialog {
  Q_OBJECT
 public:
  ColorAdjustDialog(Imaging& original, DialogServices services);
  QLabel* labRed = nullptr;
  QLabel* labGreen = nullptr;
  QLabel* labBlue = nullptr;
  QScrollBar* scrRed = nullptr;
  QScrollBar* scrGreen = nullptr;
  QScrollBar* scrBlue = nullptr;
  QPushButton* btnColor = nullptr;
  QCheckBox* chkRealTimePreview = nullptr;
  QPushButton* btnReset = nullptr;

 protected:
  Status Effect(Imaging& imaging) override;

 private:
  void BarMoved(QScrollBar* bar, QLabel* label, const QString& name, bool settled);
};

// Colours a swatch button or panel.
void SetSwatchColor(QWidget* swatch, QRgb color);

}  // namespace lumaset
