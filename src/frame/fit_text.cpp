#include "frame/fit_text.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QHash>
#include <QLabel>
#include <QLayout>
#include <QRegularExpression>
#include <QScreen>
#include <QStyleOptionComboBox>
#include <QStylePainter>
#include <QWidget>

#include <algorithm>

namespace lumaset {

namespace {

constexpr int kGap = 4;  // pixels kept between controls that had to move apart
// The characters a shortened label or list asks room for; shorter texts ask
// for their own width.
constexpr int kShortenedChars = 40;
constexpr int kShortenedListChars = 24;
// A word of a message may take this much of its screen's width: a path that
// fits is shown whole, a longer one shortened so that the box stays on it.
constexpr double kWidestWordShare = 0.5;

// The size `widget` needs to show its text whole; its own size where it has
// no text or keeps it in other ways.
QSize Needed(const QWidget* widget) {
  if (const auto* label = qobject_cast<const QLabel*>(widget)) {
    if (label->text().isEmpty() || !label->pixmap().isNull()) return label->size();
    if (label->wordWrap()) return {label->width(), label->heightForWidth(label->width())};
    const int margin = 2 * label->margin();
    const QSize frame = label->size() - label->contentsRect().size();
    const QSize text =
        label->fontMetrics().size(label->buddy() ? Qt::TextShowMnemonic : 0, label->text());
    return text + frame + QSize(margin + 1, margin);
  }
  // A button or box as wide as its text asks, as high as it was while its
  // text fits in height.
  const auto tall = [widget](QSize hint) {
    return QSize(hint.width(), std::max(widget->height(), widget->fontMetrics().height() + 2));
  };
  if (const auto* button = qobject_cast<const QAbstractButton*>(widget))
    return button->text().isEmpty() ? button->size() : tall(button->sizeHint());
  // A box that follows its contents takes the whole size it asks for by
  // itself, a moment after its items change.
  if (const auto* combo = qobject_cast<const QComboBox*>(widget))
    return combo->sizeAdjustPolicy() == QComboBox::AdjustToContents ? combo->sizeHint() : tall(combo->sizeHint());
  return widget->size();
}

// A panel or frame whose controls were placed by hand; the parts of a list,
// a spin box or a combo box are their own business.
bool IsContainer(const QWidget* widget) {
  return !qobject_cast<const QAbstractScrollArea*>(widget) && !qobject_cast<const QAbstractSpinBox*>(widget) &&
         !qobject_cast<const QComboBox*>(widget) && !qobject_cast<const QAbstractButton*>(widget);
}

bool Beside(const QRect& one, const QRect& other) {
  return one.top() <= other.bottom() && other.top() <= one.bottom();
}

bool Above(const QRect& one, const QRect& other) {
  return one.left() <= other.right() && other.left() <= one.right();
}

// Grows the children of `container` and moves their neighbours out of the
// way, then `container` to hold them with its old margins. A container with
// a layout leaves that to its layout.
void FitChildren(QWidget* container) {
  QList<QWidget*> children;
  QHash<const QWidget*, QRect> placed;  // where each stood before anything grew
  QRect before;
  for (QWidget* child : container->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (child->isWindow()) continue;
    placed.insert(child, child->geometry());
    if (!container->layout()) child->setProperty(kDesignedGeometry, child->geometry());
    if (!child->isHidden()) before |= child->geometry();
    if (!child->layout() && IsContainer(child)) FitChildren(child);
    children.append(child);
  }
  if (children.isEmpty() || container->layout()) return;
  std::stable_sort(children.begin(), children.end(), [](const QWidget* a, const QWidget* b) {
    return a->y() != b->y() ? a->y() < b->y() : a->x() < b->x();
  });
  for (QWidget* child : children) {
    const QRect mine = placed.value(child);
    const QRect old(child->pos(), mine.size());
    child->resize(Needed(child).expandedTo(child->size()));
    const QSize needed = child->size();  // within the control's own limits
    if (child->isHidden()) continue;  // grows and moves along, but pushes nothing
    // Neighbours move by as much as the control grew, and further when
    // they stand on it now: those placed in its row to its right go right,
    // those placed under it go down, wherever earlier moves took them.
    const QRect grown = child->geometry();
    for (QWidget* other : children) {
      if (other == child) continue;
      const QRect theirs = placed.value(other);
      QRect place = other->geometry();
      if (theirs.left() > mine.center().x() && Beside(mine, theirs)) {
        if (!Beside(old, place)) continue;
        place.translate(needed.width() - old.width(), 0);
        if (place.left() <= grown.right()) place.moveLeft(grown.right() + kGap);
      } else if (theirs.top() > mine.top() && Above(mine, theirs)) {
        if (!Above(grown, place)) continue;
        place.translate(0, needed.height() - old.height());
        if (place.top() <= grown.bottom()) place.moveTop(grown.bottom() + kGap);
      }
      other->move(place.topLeft());
    }
  }
  // The container keeps the margins it had on the right and at the bottom,
  // and holds a control that stood outside it whole.
  const QRect after = container->childrenRect();
  const int right = std::max(0, container->width() - 1 - before.right());
  const int bottom = std::max(0, container->height() - 1 - before.bottom());
  const QSize room(std::max(container->width(), after.right() + 1 + right),
                   std::max(container->height(), after.bottom() + 1 + bottom));
  if (room == container->size()) return;
  if (container->minimumSize() == container->maximumSize()) container->setFixedSize(room);
  else container->resize(room);
}

}  // namespace

void FitToText(QWidget* window) { FitChildren(window); }

ShortenedLabel::ShortenedLabel(QWidget* parent) : QLabel(parent) { setProperty(kShortensText, true); }

void ShortenedLabel::setFullText(const QString& text) {
  full_ = text;
  setToolTip(text);
  setAccessibleDescription(text);
  Shorten();
  updateGeometry();
}

QSize ShortenedLabel::sizeHint() const {
  const int whole = fontMetrics().horizontalAdvance(full_) + Besides();
  return {std::min(whole, kShortenedChars * fontMetrics().averageCharWidth()), QLabel::sizeHint().height()};
}

QSize ShortenedLabel::minimumSizeHint() const {
  const int least = fontMetrics().horizontalAdvance(full_.left(1) + QChar(0x2026) + full_.right(1)) + Besides();
  return {std::min(least, sizeHint().width()), QLabel::minimumSizeHint().height()};
}

void ShortenedLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  Shorten();
}

void ShortenedLabel::showEvent(QShowEvent* event) {
  Shorten();
  QLabel::showEvent(event);
}

// The pixels a label asks for besides its text's advance: its frame and
// margins, and two for the fractions of a pixel a text may need beyond it.
int ShortenedLabel::Besides() const { return width() - contentsRect().width() + 2 * margin() + 2; }

// Until a layout has given the label its width, it holds its whole text.
// A text may be drawn a pixel wider than the advance that elidedText()
// measures: what it shows is measured as drawn and, while it does not fit,
// shortened by a pixel more. A text that fits as drawn shows whole.
void ShortenedLabel::Shorten() {
  if (!isVisible()) return setText(full_);
  const int room = contentsRect().width() - 2 * margin();
  const QFontMetrics metrics = fontMetrics();
  QString shown = full_;
  for (int target = room; target >= 0 && metrics.size(0, shown).width() > room; --target)
    shown = metrics.elidedText(full_, Qt::ElideMiddle, target);
  setText(shown);
}

ShortenedComboBox::ShortenedComboBox(QWidget* parent) : QComboBox(parent) {
  setProperty(kShortensText, true);
  setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  setMinimumContentsLength(kShortenedListChars);
}

void ShortenedComboBox::paintEvent(QPaintEvent* /*event*/) {
  QStylePainter painter(this);
  painter.setPen(palette().color(QPalette::Text));
  QStyleOptionComboBox option;
  initStyleOption(&option);
  painter.drawComplexControl(QStyle::CC_ComboBox, option);
  const QRect field = style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxEditField, this);
  const int room = field.width() - (option.currentIcon.isNull() ? 0 : option.iconSize.width() + 4) - 2;
  option.currentText = fontMetrics().elidedText(option.currentText, Qt::ElideMiddle, std::max(0, room));
  painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}

QString ShortenLongWords(const QString& text, const QFontMetrics& metrics, int width) {
  static const QRegularExpression word(QStringLiteral("\\S+"));
  QString shortened;
  qsizetype from = 0;
  for (const QRegularExpressionMatch& match : word.globalMatch(text)) {
    shortened += text.mid(from, match.capturedStart() - from);
    const QString found = match.captured();
    shortened += metrics.horizontalAdvance(found) > width ? metrics.elidedText(found, Qt::ElideMiddle, width) : found;
    from = match.capturedEnd();
  }
  return shortened + text.mid(from);
}

int WidestWord(const QWidget* widget) {
  const QScreen* screen = widget->screen();
  const int width = screen ? screen->availableGeometry().width() : 1280;
  return static_cast<int>(width * kWidestWordShare);
}

void SetTextShortened(QLabel* label, const QString& text) {
  const Qt::TextFormat format = label->textFormat();
  const bool rich = format == Qt::RichText || (format == Qt::AutoText && Qt::mightBeRichText(text));
  const QString shown = rich ? text : ShortenLongWords(text, label->fontMetrics(), WidestWord(label));
  label->setText(shown);
  label->setWordWrap(true);
  const QString whole = shown == text ? QString() : text;
  label->setToolTip(whole);
  label->setAccessibleDescription(whole);
}

}  // namespace lumaset
