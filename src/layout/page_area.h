#pragma once

// The "Layout Preview" panel and the page inside it. The page paints what
// the page refresh decided (PageScene) and the placed pictures at their
// boxes in the page model; it keeps the pictures' pixels, one reduced picture
// per slot, and never holds a position of its own.
//
// The page also turns the window system's mouse, drag and key events into
// page points in twips with the placed picture under the pointer, and hands
// them on as signals; what they mean is the page's mouse editing's business.

#include <QFrame>
#include <QImage>
#include <QSizeF>
#include <QString>

#include <QPointF>

#include <array>
#include <functional>
#include <optional>

#include "layout/page_model.h"
#include "layout/page_mouse.h"
#include "layout/page_refresh.h"

class QLabel;

namespace lumaset {


// The page `picPreview`: white paper, the grid, the printable frame and its
// mark, the placed pictures in stacking order, the contact-sheet captions,
// the label, and the selection frame with its handles on top.
class PageView : public QWidget {
  Q_OBJECT
 public:
  explicit PageView(QWidget* parent = nullptr);

  // The model whose boxes place the pictures; it must outlive the page.
  void SetModel(const PageModel* model);
  void SetScene(const PageScene& scene, double twipsPerPixel);
  const PageScene& scene() const { return scene_; }

  // The picture a slot shows, stretched to its box (already reduced to the
  // ImageRes setting by whoever loaded it).
  void setPicture(int slot, QImage picture);
  const QImage& picture(int slot) const;
  void ClearPictures();

  // Shows the selection frame `shSel` and the size handles `shSize` that the
  // picture tools' state gives (in twips of the page), or hides them.

  // The same frame as the mouse editing moves it, in twips to a fraction;
  // the drop frame shows without its handles.
  void ShowFrame(const SelectionFrame& frame);
  bool selectionShown() const { return frame_.has_value(); }

  // The pointer and tooltip of each placed picture and of the empty page.
  // The page shows those of what took the press while a button is held,
  // otherwise those of what lies under the pointer.
  void SetPicturePointer(int slot, Qt::CursorShape shape);
  void SetPagePointer(Qt::CursorShape shape);
  void SetPictureTip(int slot, const QString& text);
  void SetPageTip(const QString& text);

  // The frontmost placed picture at a point of the page (twips), -1 none.
  int SlotAt(QPointF twips) const;
  double twipsPerPixel() const { return twipsPerPixel_; }

 Q_SIGNALS:
  // Mouse events in twips of the page, with the placed picture under the
  // pointer (-1 none). Buttons are bit sets: 1 left, 2 right, 4 middle;
  // `buttonsHeld` are those down after the event.
  void pressedAt(QPointF page, int button, int buttonsHeld, int slotUnder);
  void movedAt(QPointF page, int buttons, int slotUnder);
  void releasedAt(QPointF page, int button, int buttonsHeld, int slotUnder);
  void doubleClickedAt(int slotUnder);
  // A thumbnail dragged over the page, and dropped on it.
  void dragMovedAt(QPointF page, bool fromThumbnail, int slotUnder);
  void droppedAt(QPointF page, int slotUnder);
  // The dragged thumbnail left the page without being dropped.
  void dragLeft();
  void escapePressed();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dragMoveEvent(QDragMoveEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  void dragLeaveEvent(QDragLeaveEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

 private:
  void PaintText(QPainter& painter, const PageText& text) const;
  void PaintPictures(QPainter& painter) const;
  QRectF ToPixels(const QRectF& twips) const;
  QRectF DrawnRect(const PicBox& box) const;
  QPointF ToTwips(QPointF pixels) const;
  // Shows the pointer and tooltip of `slot` (-1 the page).
  void ShowPointerOf(int slot);

  static constexpr int kNoPress = -2;

  const PageModel* model_ = nullptr;
  PageScene scene_;
  double twipsPerPixel_ = 15;
  std::array<QImage, kPageSlots> pictures_;
  std::optional<QRect> frame_;
  std::array<QRect, 4> handles_{};
  bool handlesShown_ = false;
  std::array<Qt::CursorShape, kPageSlots> pictureCursors_{};
  std::array<QString, kPageSlots> pictureTips_;
  Qt::CursorShape pageCursor_ = Qt::CrossCursor;
  QString pageTip_;
  int pressed_ = kNoPress;  // what took the press while a button is held: -1 the page, or a slot
  int pointerOf_ = -1;      // whose pointer and tooltip show
};

// The panel `panPrev` with its caption and the page.
class PagePanel : public QFrame {
  Q_OBJECT
 public:
  explicit PagePanel(QWidget* parent = nullptr);

  PageView* page() const { return page_; }
  QString caption() const;
  void SetCaption(const QString& caption);

  // The panel's size in twips, which the page is fitted into.
  QSizeF SizeTwips(double twipsPerPixel) const;

  // Places the page where the scene puts it and shows what it draws.
  void ShowPage(const PageScene& scene, double twipsPerPixel);

  // What redraws the page (the page refresh); without one the panel shows a
  // blank upright letter page.
  void SetRefresh(std::function<void()> refresh) { refresh_ = std::move(refresh); }
  void PageRefresh();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  double ScreenTwipsPerPixel() const;

  QLabel* caption_;
  PageView* page_;
  std::function<void()> refresh_;
};

}  // namespace lumaset
