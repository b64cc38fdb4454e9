#include "browser/thumb_canvas.h"

#include <QApplication>
#include <QHelpEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolTip>
#include <qdrawutil.h>

namespace lumaset {

namespace {

constexpr int kCaptionPointSize = 7;

}  // namespace

ThumbCanvas::ThumbCanvas(ThumbnailPanel& panel, QWidget* parent) : QWidget(parent), panel_(panel) {
  setAutoFillBackground(true);
  QPalette black = palette();
  black.setColor(QPalette::Window, Qt::black);
  setPalette(black);
  setMouseTracking(true);  // the hover rule follows the pointer without a button
  setAccessibleName(QStringLiteral("Thumbnails"));
}

void ThumbCanvas::setFirstRowOffset(qint64 twips) {
  if (twips == offset_) return;
  offset_ = twips;
  update();
}

// --- Painting ----------------------------------------------------------------

void ThumbCanvas::paintEvent(QPaintEvent* event) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  QFont caption = font();
  caption.setPointSize(kCaptionPointSize);
  painter.setFont(caption);
  const ThumbGeometry& geometry = panel_.geometry();
  const double perPixel = panel_.twipsPerPixel();
  const QRect area = event->rect();
  const qint64 firstRow = geometry.rowOf(std::llround(area.top() * perPixel) + offset_);
  const qint64 lastRow = geometry.rowOf(std::llround((area.bottom() + 1) * perPixel) + offset_);
  const qint64 cells = panel_.cellCount();
  // Only the rows in the repainted area are visited, however many cells there are.
  for (qint64 row = firstRow; row <= lastRow; ++row) {
    for (qint64 column = 0; column < geometry.cols; ++column) {
      const qint64 index = row * geometry.cols + column;
      if (index >= cells) return;
      if (panel_.cell(static_cast<int>(index)).visible) paintCell(painter, static_cast<int>(index));
    }
  }
}

void ThumbCanvas::paintCell(QPainter& painter, int index) const {
  const ThumbCellState& state = panel_.cell(index);
  const QRect frame = panel_.frameRect(index);
  QPalette shade = palette();
  shade.setColor(QPalette::Light, Qt::white);
  shade.setColor(QPalette::Dark, QColor(128, 128, 128));
  const QBrush back(state.back);
  qDrawShadePanel(&painter, frame, shade, state.inset, 1, &back);
  if (!state.picture.isNull()) painter.drawImage(panel_.pictureRect(index), state.picture);
  const int flags = state.fit.caption == CaptionPlace::BottomCentre ? Qt::AlignBottom | Qt::AlignHCenter
                                                                    : Qt::AlignBottom | Qt::AlignRight;
  painter.setPen(Qt::black);
  painter.drawText(frame.adjusted(2, 2, -3, -2), flags, QString::number(index + 1));
}

// --- Pointer -----------------------------------------------------------------

bool ThumbCanvas::event(QEvent* event) {
  if (event->type() != QEvent::ToolTip) return QWidget::event(event);
  const auto* help = static_cast<QHelpEvent*>(event);
  const CellHit hit = panel_.hitAt(help->pos());
  if (hit.index < 0) {
    QToolTip::hideText();
    event->ignore();
  } else {
    QToolTip::showText(help->globalPos(), panel_.cellTooltip(hit.index), this, panel_.frameRect(hit.index));
  }
  return true;
}

// A release that never came (a double click that opened a modal window, which
// took it) must not tie the next press or move to the old part.
bool ThumbCanvas::captureLost(const QMouseEvent* event) const {
  return capturing_ && (event->buttons() & ~event->button()) == Qt::NoButton;
}

void ThumbCanvas::mousePressEvent(QMouseEvent* event) {
  const CellHit hit = panel_.hitAt(event->position().toPoint());
  if (!capturing_ || captureLost(event)) {
    captured_ = hit;
    capturing_ = true;
    clickable_ = hit.part == CellHit::Part::None;
    dragCell_ = -1;
  }
  if (captured_.part == CellHit::Part::Picture && event->button() == Qt::LeftButton &&
      panel_.cell(captured_.index).dragSource) {
    dragCell_ = captured_.index;
    pressAt_ = event->position().toPoint();
  } else if (captured_.part == CellHit::Part::Frame) {
    panel_.panBr_MouseDown(captured_.index, event->button());
  }
}

bool ThumbCanvas::startsDrag(QPoint at) const {
  return dragCell_ >= 0 && (at - pressAt_).manhattanLength() >= QApplication::startDragDistance();
}

void ThumbCanvas::mouseMoveEvent(QMouseEvent* event) {
  const QPoint at = event->position().toPoint();
  if (captureLost(event)) {
    capturing_ = false;
    dragCell_ = -1;
  }
  if (startsDrag(at)) {
    const int dragged = dragCell_;
    dragCell_ = -1;
    capturing_ = false;  // the drag takes the release
    panel_.beginDrag(dragged);
    return;
  }
  const CellHit target = capturing_ ? captured_ : panel_.hitAt(at);
  if (target.part == CellHit::Part::Picture) panel_.imBr_MouseMove(target.index, event->buttons());
  if (target.part == CellHit::Part::Frame) panel_.panBr_MouseMove(target.index, event->buttons());
}

void ThumbCanvas::mouseReleaseEvent(QMouseEvent* event) {
  if (!capturing_) return;
  const CellHit target = captured_;
  const bool click = clickable_ && panel_.hitAt(event->position().toPoint()).part == CellHit::Part::None &&
                     rect().contains(event->position().toPoint());
  if (event->buttons() == Qt::NoButton) {
    capturing_ = false;
    dragCell_ = -1;
  }
  const QPoint global = event->globalPosition().toPoint();
  if (target.part == CellHit::Part::Picture) panel_.imBr_MouseUp(target.index, event->button(), global);
  if (target.part == CellHit::Part::Frame) panel_.panBr_MouseUp(target.index, event->button(), global);
  if (target.part == CellHit::Part::None && click) panel_.picBrowse_Click();
}

// The second press of a double click: the part's double click instead of a
// press; the release that follows goes to the same part.
void ThumbCanvas::mouseDoubleClickEvent(QMouseEvent* event) {
  const CellHit hit = panel_.hitAt(event->position().toPoint());
  captured_ = hit;
  capturing_ = true;
  clickable_ = false;
  dragCell_ = -1;
  if (hit.part == CellHit::Part::Picture) panel_.imBr_DblClick(hit.index);
  if (hit.part == CellHit::Part::Frame) panel_.panBr_DblClick(hit.index);
}

// The wheel turns the panel's scroll bar while it shows.
void ThumbCanvas::wheelEvent(QWheelEvent* event) {
  QScrollBar* bar = panel_.scrollBar();
  if (bar->isVisible()) {
    QApplication::sendEvent(bar, event);
  } else {
    event->ignore();
  }
}

}  // namespace lumaset
