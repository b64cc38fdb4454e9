#pragma once

// What the five effect dialogs share: the caller's imaging object, a small
// private copy of its picture for the preview, the layout around that copy,
// and Apply, which runs the effect once at full size with progress.
//
// The preview works on the copy only: the effect runs on it, the result is
// shown, and the copy is taken back to its unchanged state, so the caller's
// picture changes on Apply and never before.

#include <QColor>
#include <QDialog>
#include <QHash>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

#include <functional>
#include <initializer_list>
#include <memory>
#include <optional>
#include <vector>

#include "components/imaging/imaging.h"
#include "components/result.h"
#include "frame/sounds.h"

class QCheckBox;
class QLabel;
class QPushButton;
class QScrollBar;
class QToolButton;

namespace lumaset {

class ProgressWindow;

// ---- plain arithmetic ---------------------------------------------------------

// The longest side a preview copy gets, so that a preview keeps up with a
// dragged slider on any screen.
inline constexpr int kPreviewMaxSide = 350;

// The longer side the preview copy gets: a portrait picture fits the box's
// inner height, a landscape or square one its inner width (at most kPreviewMaxSide).
int PreviewTarget(QSize picture, QSize boxInner);

// Where the bottom row of buttons goes once the box fits the preview copy.
// All values are twips of the outer window.
struct FrameLayout {
  int formWidth = 0;
  int formHeight = 0;
  int buttonTop = 0;  // Cancel and Apply
  int helpTop = 0;
  friend bool operator==(const FrameLayout&, const FrameLayout&) = default;
};
FrameLayout LayOutFrame(int boxWidth, int boxHeight, int minHeight, int buttonHeight = 300);

// Moves overlapping controls apart, keeping their order. `design` holds where
// each control was meant to go, `grown` the same rectangles grown to fit their
// texts. Controls designed in overlapping rows but apart in columns stand side
// by side: one that now reaches over its right-hand neighbour pushes it right.
// Otherwise rows are taken from the top; a row that now overlaps one above it
// moves down clear of it, and every row below moves down with it. Controls
// designed at the same top move together. `gap` pixels are left wherever
// something moved.
std::vector<QRect> PushApart(const std::vector<QRect>& design, std::vector<QRect> grown, int gap);

// The private preview copy: the caller's picture shrunk to the box.
class PreviewCopy {
 public:
  // `proportions` chooses between the box's width and height (the full
  // picture's size); `undoLevels` 1 lets every preview be taken back.
  Status Load(const Imaging& original, QSize boxInner, QSize proportions, int undoLevels = 1);
  // Runs `effect` on the copy, gives back what it shows, and returns the copy
  // to the state before the effect.
  Result<QImage> Preview(const std::function<Status(Imaging&)>& effect);
  Imaging& imaging() { return *copy_; }
  bool loaded() const { return copy_ != nullptr; }
  void Release() { copy_.reset(); }

 private:
  std::unique_ptr<Imaging> copy_;
};

// ---- the window -----------------------------------------------------------------

// What a dialog needs of the program around it; every member may be empty.
struct DialogServices {
  QWidget* parent = nullptr;
  ProgressWindow* progress = nullptr;
  std::function<void(Sound, Wait)> playSound;
  std::function<void(int topic)> showHelp;
  // The colour dialog; nullopt when cancelled. Defaults to QColorDialog.
  std::function<std::optional<QColor>(QWidget* parent, QColor initial)> pickColor;
  // An exclamation message box. Defaults to QMessageBox.
  std::function<void(QWidget* parent, const QString& title, const QString& text)> showError;
};

// Positions of the frame's own controls, in twips.
struct FrameSpec {
  QString caption;
  int minHeight = 0;
  QSize client;      // before Setup
  QRect preview;     // the box at design
  int cancelLeft = 420;
  int applyLeft = 1140;
  int buttonTop = 0;
  int helpTop = 0;
  bool applyIsDefault = true;  // else Cancel takes Enter
};

class EffectDialog : public QDialog {
  Q_OBJECT

 public:
  EffectDialog(Imaging& original, DialogServices services, const FrameSpec& spec);
  ~EffectDialog() override;

  // Builds the preview copy and lays the dialog out around it.
  Status Setup();
  // True only when Apply ran to its end without a cancel or an error.
  bool EffectApplied() const { return applied_; }

  QLabel* picPreview() const { return picPreview_; }
  QPushButton* btnApply() const { return btnApply_; }
  QPushButton* btnCancel() const { return btnCancel_; }
  QToolButton* cmdHelp() const { return cmdHelp_; }
  const FrameLayout& frameLayout() const { return layout_; }
  double twipsPerPixel() const { return twipsPerPixel_; }

  void done(int result) override;

 protected:
  // The effect with the present parameters, on the copy or the original.
  virtual Status Effect(Imaging& imaging) = 0;
  virtual Status ApplyEffect(Imaging& original) { return Effect(original); }
  virtual void AfterSetup() {}
  virtual QSize Proportions() const { return {original_.PixelWidth(), original_.PixelHeight()}; }
  virtual int CopyUndoLevels() const { return 1; }

  // Twips to pixels for placing a control at design.
  void Place(QWidget* widget, int left, int top, int width, int height) const;
  int Pixels(int twips) const;
  QLabel* MakeLabel(const QString& text, QRect twips);
  QCheckBox* MakeCheck(const QString& text, QRect twips, bool checked);
  // `tip` also describes the button to a screen reader; `name` defaults to the text.
  QPushButton* MakeButton(const QString& text, const QString& tip, QRect twips, const QString& name = {});
  QScrollBar* MakeBar(const QString& name, QRect twips, int minimum, int maximum, int small, int large, int value);
  // Tab goes from each widget to the next in `order`.
  void SetTabOrder(std::initializer_list<QWidget*> order);
  // The preview cycle on the copy: effect, show, take back.
  void RefreshPreview();
  void ShowPicture(const QImage& picture);
  // A failure while previewing is said once; the dialog stays usable.
  void ReportPreviewError(const Status& status);
  std::optional<QColor> PickColor(QColor initial);
  // The preview box's inner size in pixels of the screen, which is the size
  // the preview copy is made at.
  QSize BoxInner() const { return boxPixels_; }
  // Screen pixels in one pixel of the layout; a mouse position times this is
  // a pixel of the preview copy.
  double previewScale() const { return previewScale_; }
  // The texts a control may come to show besides its present one; the
  // layout makes room for the widest.
  void ReserveTexts(QWidget* control, const QStringList& texts) { reserved_[control] = texts; }
  // Room for what `text` writes at either end of `bar`.
  void ReserveTexts(QWidget* control, const std::function<QString(int)>& text, const QScrollBar* bar);

  Imaging& original() { return original_; }
  PreviewCopy& copy() { return copy_; }
  const DialogServices& services() const { return services_; }

 private:
  void btnApply_Click();
  void PlaySound(Sound sound, Wait wait) const;

  Imaging& original_;
  DialogServices services_;
  FrameSpec spec_;
  PreviewCopy copy_;
  FrameLayout layout_;
  double twipsPerPixel_ = 15;
  bool applied_ = false;
  bool closed_ = false;
  QLabel* picPreview_ = nullptr;
  QPushButton* btnCancel_ = nullptr;
  QPushButton* btnApply_ = nullptr;
  QToolButton* cmdHelp_ = nullptr;
  std::vector<QWidget*> tabOrder_;
  QHash<QWidget*, QStringList> reserved_;
  QSize boxPixels_;
  double previewScale_ = 1;

  // Each control grows to fit its widest text, controls move apart where
  // they now overlap, and the preview box, the bottom row and the dialog
  // make room for them.
  void FitToText();
  QSize TextSize(QWidget* control) const;
};

// A scroll bar's two events: `scroll` while its thumb is dragged, `change`
// when its value settles (an arrow or track click, the end of a drag, or a
// value set by the program).
void ConnectBar(QScrollBar* bar, const std::function<void(int)>& scroll, const std::function<void(int)>& change);

// Sets up `dialog`, shows it modally and says whether it applied its effect;
// a dialog left without applying gives a cancelled Status.
Status ShowEffectDialog(EffectDialog& dialog);

// The text of a failure during Apply.
QString ApplyErrorText(const QString& description);

}  // namespace lumaset
