#include "frame/fit_text.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QHash>
#include <QLabel>
#include <QLayout>
#include <QWidget>

#include <algorithm>

namespace lumaset {

namespace {

constexpr int kGap = 4;  // pixels kept between controls that had to move apart

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
  if (qobject_cast<const QComboBox*>(widget)) return tall(widget->sizeHint());
  return widget->size();
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
  QHash<const QWidget*, QSize> designed;
  for (QWidget* child : container->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (child->isWindow()) continue;
    designed.insert(child, child->size());
    if (!child->layout()) FitChildren(child);
    children.append(child);
  }
  if (children.isEmpty() || container->layout()) return;
  const QRect before = container->childrenRect();
  std::stable_sort(children.begin(), children.end(), [](const QWidget* a, const QWidget* b) {
    return a->y() != b->y() ? a->y() < b->y() : a->x() < b->x();
  });
  for (QWidget* child : children) {
    const QRect old(child->pos(), designed.value(child));
    const QSize needed = Needed(child).expandedTo(child->size());
    child->resize(needed);
    // Neighbours move by as much as the control grew, and further when
    // they stood on it before.
    const QRect grown = child->geometry();
    for (QWidget* other : children) {
      if (other == child) continue;
      QRect place = other->geometry();
      if (place.left() > old.left() && Beside(old, place)) {
        place.translate(needed.width() - old.width(), 0);
        if (place.left() <= grown.right()) place.moveLeft(grown.right() + kGap);
      } else if (place.top() > old.top() && Above(grown, place)) {
        place.translate(0, needed.height() - old.height());
        if (place.top() <= grown.bottom()) place.moveTop(grown.bottom() + kGap);
      }
      other->move(place.topLeft());
    }
  }
  // The container keeps the margins it had on the right and at the bottom.
  const QRect after = container->childrenRect();
  const QSize room(container->width() + std::max(0, after.right() - before.right()),
                   container->height() + std::max(0, after.bottom() - before.bottom()));
  if (room == container->size()) return;
  if (container->minimumSize() == container->maximumSize()) container->setFixedSize(room);
  else container->resize(room);
}

}  // namespace

void FitToText(QWidget* window) { FitChildren(window); }

void ShortenedLabel::setFullText(const QString& text) {
  full_ = text;
  setToolTip(text);
  Shorten();
}

void ShortenedLabel::resizeEvent(QResizeEvent* event) {
  QLabel::resizeEvent(event);
  Shorten();
}

void ShortenedLabel::Shorten() {
  const int room = contentsRect().width() - 2 * margin() - 1;
  setText(fontMetrics().elidedText(full_, Qt::ElideMiddle, std::max(0, room)));
}

}  // namespace lumaset
