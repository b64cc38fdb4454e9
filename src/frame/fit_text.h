#pragma once
// Windows whose controls stand where their designed positions put them (in
// twips) were drawn for a smaller font than a desktop may use. FitToText
// makes room: each control whose text does not fit grows to fit it, the
// controls to its right and below move along, and the window grows with
// them. Where everything fits, nothing moves.

#include <QLabel>
#include <QString>

namespace lumaset {

// Each control FitToText looked at keeps, under this property, the place it
// had been given before anything grew (a QRect), so that a check of the
// window can tell how far fitting moved it.
inline constexpr char kDesignedGeometry[] = "designedGeometry";

// Grows the controls placed by hand in `window` (and in its inner panels
// without a layout) to fit their texts, then `window` to hold them. A window
// of fixed size keeps a fixed size, the larger one.
void FitToText(QWidget* window);

// A one-line label for texts of any length, such as a folder's name: what
// does not fit its width is left out in the middle ("..."), and the whole
// text is its tooltip.
class ShortenedLabel : public QLabel {
 public:
  explicit ShortenedLabel(QWidget* parent = nullptr) : QLabel(parent) {}
  void setFullText(const QString& text);
  QString fullText() const { return full_; }

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  void Shorten();
  QString full_;
};

}  // namespace lumaset
