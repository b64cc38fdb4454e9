#pragma once

// The page label: at most one line of text near the top-left corner of the
// printable area, edited in the "Layout Label" dialog with its font, size,
// bold, italic and colour. Only the text is saved with a layout; the look
// lasts for the run.

#include <QColor>
#include <QDialog>
#include <QString>

#include <functional>
#include <optional>

#include "frame/sounds.h"

class QLabel;
class QLineEdit;
class QPushButton;

namespace lumaset {

class PageModel;
class PageRefresh;
struct LabelStyle;

// What the dialog's text box `Text1` holds: the text in its font and colour.
struct LabelEntry {
  QString text;
  QString family = QStringLiteral("Arial");
  double pointSize = 16;
  bool bold = true;
  bool italic = false;
  QColor color = Qt::black;

  friend bool operator==(const LabelEntry&, const LabelEntry&) = default;
};

// The dialog's layout for a text box font of `pointSize` points, in twips:
// the box grows by 20 twips a point from the design at 16 points.
struct LabelDialogLayout {
  double textHeight = 0;    // `Text1`
  double dialogHeight = 0;  // the whole window, frame and title included
  double buttonTop = 0;     // the four buttons
};
LabelDialogLayout LabelLayoutFor(double pointSize);

// The size kept for the label: a whole number of points, halves to even.
int LabelSizeOf(double pointSize);

// The font dialog with its colour choice; nothing when cancelled.
using LabelFontChooser = std::function<std::optional<LabelEntry>(const LabelEntry& preset,
                                                                 QWidget* parent)>;
std::optional<LabelEntry> ChooseLabelFont(const LabelEntry& preset, QWidget* parent);

// `frmLabel`, "Layout Label". One instance, hidden between uses.
class LabelDialog : public QDialog {
  Q_OBJECT
 public:
  explicit LabelDialog(QWidget* parent = nullptr, LabelFontChooser chooser = ChooseLabelFont);

  // Presets the text box, lays the dialog out, shows it modally; the text
  // box's entry when it closed other than by Cancel, nothing for Cancel.
  std::optional<LabelEntry> Run(const LabelEntry& preset);

  void Preset(const LabelEntry& entry);
  LabelEntry Entry() const;
  bool labelOK() const { return labelOK_; }
  void SetLabelOK(bool ok) { labelOK_ = ok; }

  void cmdOK_Click();
  void cmdCancel_Click();
  void cmdDelete_Click();
  void cmdFont_Click();

  QLineEdit* text1() const { return text1_; }
  QPushButton* fontButton() const { return cmdFont_; }
  QPushButton* deleteButton() const { return cmdDelete_; }
  QPushButton* cancelButton() const { return cmdCancel_; }
  QPushButton* okButton() const { return cmdOK_; }

 protected:
  // The close box counts as OK, as any way out but Cancel does; Esc is no way out.
  void closeEvent(QCloseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void LayOut();
  double TwipsPerPixel() const;

  LabelFontChooser chooser_;
  QLabel* label1_;
  QLineEdit* text1_;
  QPushButton* cmdFont_;
  QPushButton* cmdDelete_;
  QPushButton* cmdCancel_;
  QPushButton* cmdOK_;
  LabelEntry entry_;
  bool labelOK_ = true;
};

// What the label command needs from the main window.
class LabelHost {
 public:
  virtual ~LabelHost() = default;
  virtual void ToolEnable(bool enable, int slot) = 0;
  virtual void PlaySound(Sound sound, Wait wait) = 0;
  // The label dialog, shown modally with `preset` (LabelDialog::Run).
  virtual std::optional<LabelEntry> ShowLabelDialog(const LabelEntry& preset) = 0;
  // Enables a menu item by control name or a toolbar button by key.
  virtual void EnableCommand(const QString& itemOrKey) = 0;
  // The page's pointer becomes the cross.
  virtual void SetPageCrossPointer() = 0;
};

// `cmdLabel_Click`: the label command of the "Label..." button.
class PageLabelCommand {
 public:
  PageLabelCommand(PageModel& model, PageRefresh& refresh, LabelStyle& style, LabelHost& host);

  void Run();

 private:
  void Apply(const LabelEntry& entry);

  PageModel& model_;
  PageRefresh& refresh_;
  LabelStyle& style_;
  LabelHost& host_;
};

}  // namespace lumaset
