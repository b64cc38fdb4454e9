#pragma once

// The canvas `picBrowse` of the thumbnail panel: one widget that paints every
// visible cell (frame, picture and number) and turns the mouse into the
// panel's cell events. A press captures the pointer for the part it hit, as
// the panel's cells did: until the last button is released, moves and the
// release go to that part wherever the pointer is.

#include <QPoint>
#include <QWidget>

#include "browser/thumbnail_area.h"

namespace lumaset {

class ThumbCanvas : public QWidget {
  Q_OBJECT

 public:
  ThumbCanvas(ThumbnailPanel& panel, QWidget* parent);

  // How far the cells are scrolled up, twips: the scroll value times the cell pitch.
  qint64 firstRowOffset() const { return offset_; }
  void setFirstRowOffset(qint64 twips);

 protected:
  bool event(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;

 private:
  void paintCell(QPainter& painter, int index) const;
  bool startsDrag(QPoint at) const;
  bool captureLost(const QMouseEvent* event) const;

  ThumbnailPanel& panel_;
  qint64 offset_ = 0;
  CellHit captured_;         // the part that took the press, while a button is held
  bool capturing_ = false;
  bool clickable_ = false;   // the press can end in a click on the empty canvas
  int dragCell_ = -1;        // a left press on a drag source's picture
  QPoint pressAt_;
};

}  // namespace lumaset
