#pragma once
// Windows whose controls stand where their designed positions put them (in
// twips) were drawn for a smaller font than a desktop may use. FitToText
// makes room: each control whose text does not fit grows to fit it, the
// controls to its right and below move along, and the window grows with
// them. Where everything fits, nothing moves.

#include <QComboBox>
#include <QLabel>
#include <QString>

class QFontMetrics;

namespace lumaset {

// Each control FitToText looked at keeps, under this property, the place it
// had been given before anything grew (a QRect), so that a check of the
// window can tell how far fitting moved it.
inline constexpr char kDesignedGeometry[] = "designedGeometry";

// Grows the controls placed by hand in `window` (and in its inner panels
// without a layout) to fit their texts, then `window` to hold them. A window
// of fixed size keeps a fixed size, the larger one.
void FitToText(QWidget* window);

// Marks a control that shows its text shortened or scrolled on purpose, such
// as a path: a check of the window's texts does not count the part it leaves
// out as cut.
inline constexpr char kShortensText[] = "shortensText";

// A one-line label for texts of any length, such as a folder's name: what
// does not fit its width is left out in the middle ("..."), again each time
// it is resized. It asks for the room of a few dozen characters at most, so
// a long text never widens its window. The whole text is its tooltip and its
// accessible description; a screen reader names it by what it shows.
class ShortenedLabel : public QLabel {
 public:
  explicit ShortenedLabel(QWidget* parent = nullptr);
  void setFullText(const QString& text);
  QString fullText() const { return full_; }
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void Shorten();
  int Besides() const;
  QString full_;
};

// A drop-down list of paths (drives, folders) that asks for the room of a
// few dozen characters whatever its entries, and shows its current entry
// shortened in the middle to its width. A screen reader reads the whole
// entry as its value, and the open list shows the entries whole.
class ShortenedComboBox : public QComboBox {
 public:
  explicit ShortenedComboBox(QWidget* parent = nullptr);

 protected:
  void paintEvent(QPaintEvent* event) override;
};

// `text` with each run of characters without a space (a path, a file's name)
// that is wider than `width` pixels in `metrics` shortened in its middle.
QString ShortenLongWords(const QString& text, const QFontMetrics& metrics, int width);

// How wide one word of a message may be in `widget` on its screen: half the
// screen, so that a path that fits is shown whole.
int WidestWord(const QWidget* widget);

// Shows `text` in `label`, a message's label that wraps its lines, with its
// long words shortened (see ShortenLongWords) so that no path widens its
// window past the screen. Where something was left out, the whole text is
// the label's tooltip and accessible description; otherwise it has neither.
void SetTextShortened(QLabel* label, const QString& text);

}  // namespace lumaset
