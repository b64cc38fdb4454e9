#include "layout/page_area.h"

#include <QDragEnterEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFontMetricsF>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>

#include <algorithm>
#include <cmath>

#include "browser/thumbnail_area.h"
#include "frame/tool_enable.h"
#include "layout/page_geometry.h"

namespace lumaset {

namespace {

constexpr int kCaptionHeight = 20;  // pixels
const QColor kGridColor(0xC0, 0xC0, 0xC0);

// The page's buttons as the mouse editing counts them: 1 left, 2 right, 4 middle.
int ButtonBits(Qt::MouseButtons buttons) {
  int bits = 0;
  if (buttons & Qt::LeftButton) bits |= 1;
  if (buttons & Qt::RightButton) bits |= 2;
  if (buttons & Qt::MiddleButton) bits |= 4;
  return bits;
}

int PixelsOf(float twips, double twipsPerPixel) {
  return static_cast<int>(std::lround(static_cast<double>(twips) / twipsPerPixel));
}

}  // namespace

PageView::PageView(QWidget* parent) : QWidget(parent) {
  pictureCursors_.fill(Qt::PointingHandCursor);
  setCursor(Qt::CrossCursor);
  setAccessibleName(QStringLiteral("Page"));
  // Pointer shapes and tooltips follow the pointer without a button held.
  setMouseTracking(true);
  setAcceptDrops(true);
  // Its keys are a keyboard user's too: Tab reaches it.
  setFocusPolicy(Qt::StrongFocus);
}

void PageView::SetModel(const PageModel* model) {
  model_ = model;
  update();
}

void PageView::SetScene(const PageScene& scene, double twipsPerPixel) {
  scene_ = scene;
  if (twipsPerPixel > 0) twipsPerPixel_ = twipsPerPixel;
  update();
}

void PageView::setPicture(int slot, QImage picture) {
  pictures_.at(static_cast<std::size_t>(slot)) = std::move(picture);
  update();
}

const QImage& PageView::picture(int slot) const {
  return pictures_.at(static_cast<std::size_t>(slot));
}

void PageView::ClearPictures() {
  pictures_.fill(QImage());
  pictureCursors_.fill(Qt::PointingHandCursor);
  pictureTips_.fill(QString());
  update();
}

void PageView::ShowFrame(const SelectionFrame& frame) {
  frame_.reset();
  handlesShown_ = false;
  if (frame.visible) {
    const double perPixel = twipsPerPixel_;
    const FrameRect& rect = frame.rect;
    frame_ = QRect(PixelsOf(rect.left, perPixel), PixelsOf(rect.top, perPixel),
                   PixelsOf(rect.width, perPixel), PixelsOf(rect.height, perPixel));
    handlesShown_ = frame.handlesVisible;
    const int side = std::max(1, PixelsOf(kHandleSize, perPixel));
    for (std::size_t i = 0; i < handles_.size(); ++i) {
      const QPointF& corner = frame.handles.at(i);
      handles_[i] = QRect(PixelsOf(static_cast<float>(corner.x()), perPixel),
                          PixelsOf(static_cast<float>(corner.y()), perPixel), side, side);
    }
  }
  update();
}

void PageView::SetPicturePointer(int slot, Qt::CursorShape shape) {
  pictureCursors_.at(static_cast<std::size_t>(slot)) = shape;
  if (pointerOf_ == slot) ShowPointerOf(slot);
}

void PageView::SetPagePointer(Qt::CursorShape shape) {
  pageCursor_ = shape;
  if (pointerOf_ < 0) ShowPointerOf(-1);
}

void PageView::SetPictureTip(int slot, const QString& text) {
  pictureTips_.at(static_cast<std::size_t>(slot)) = text;
  if (pointerOf_ == slot) ShowPointerOf(slot);
}

void PageView::SetPageTip(const QString& text) {
  pageTip_ = text;
  if (pointerOf_ < 0) ShowPointerOf(-1);
}

void PageView::ShowPointerOf(int slot) {
  pointerOf_ = slot >= 0 && slot < kPageSlots ? slot : -1;
  if (pointerOf_ < 0) {
    setCursor(pageCursor_);
    setToolTip(pageTip_);
    return;
  }
  setCursor(pictureCursors_.at(static_cast<std::size_t>(pointerOf_)));
  setToolTip(pictureTips_.at(static_cast<std::size_t>(pointerOf_)));
}

// The pictures are searched front to back, as they are drawn back to front,
// both in the model's stacking order as it is now: a rank changed by any
// path shows and takes the clicks at once, whoever redraws the scene.
int PageView::SlotAt(QPointF twips) const {
  if (!model_) return -1;
  const std::vector<int> order = StackingOrder(*model_);
  const QPointF at(twips.x() / twipsPerPixel_, twips.y() / twipsPerPixel_);
  for (auto slot = order.rbegin(); slot != order.rend(); ++slot) {
    const PicBox& box = model_->box(*slot);
    if (!box.visible) continue;
    const QRectF drawn = DrawnRect(box);
    if (at.x() >= drawn.left() && at.x() < drawn.right() && at.y() >= drawn.top() && at.y() < drawn.bottom()) {
      return *slot;
    }
  }
  return -1;
}

// However narrow, a picture is drawn at least a pixel wide and tall, and is
// found under the pointer there.
QRectF PageView::DrawnRect(const PicBox& box) const {
  QRectF drawn = ToPixels(QRectF(box.left, box.top, box.width, box.height));
  drawn.setWidth(std::max(drawn.width(), 1.0));
  drawn.setHeight(std::max(drawn.height(), 1.0));
  return drawn;
}

QPointF PageView::ToTwips(QPointF pixels) const {
  return {pixels.x() * twipsPerPixel_, pixels.y() * twipsPerPixel_};
}

QRectF PageView::ToPixels(const QRectF& twips) const {
  return {twips.left() / twipsPerPixel_, twips.top() / twipsPerPixel_,
          twips.width() / twipsPerPixel_, twips.height() / twipsPerPixel_};
}

// Text is written with its top-left corner at its place, as the page's own
// text always was. Its size is already scaled to the page in pixels of the
// screen (a printed point is `fontScale` of them), so it is handed to the
// font as the points that make that many pixels here; otherwise the screen
// would blow it up once more by its dots per inch over 72.
void PageView::PaintText(QPainter& painter, const PageText& text) const {
  if (text.text.isEmpty() || !(text.pointSize > 0)) return;
  QFont font(text.family);
  font.setPointSizeF(text.pointSize * kPointsPerInch / logicalDpiY());
  font.setBold(text.bold);
  font.setItalic(text.italic);
  painter.setFont(font);
  painter.setPen(text.color);
  const QFontMetricsF metrics(font, this);
  const QPointF at(text.at.x() / twipsPerPixel_, text.at.y() / twipsPerPixel_ + metrics.ascent());
  painter.drawText(at, text.text);
}

void PageView::PaintPictures(QPainter& painter) const {
  if (!model_) return;
  painter.setRenderHint(QPainter::SmoothPixmapTransform);
  for (const int slot : StackingOrder(*model_)) {
    const PicBox& box = model_->box(slot);
    const QImage& image = picture(slot);
    if (!box.visible || image.isNull() || !(box.width > 0) || !(box.height > 0)) continue;
    painter.drawImage(DrawnRect(box), image);
  }
}

void PageView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  // Text written on the page lies under everything placed on it.
  if (scene_.noPrint) PaintText(painter, *scene_.noPrint);
  for (const PageText& caption : scene_.captions) PaintText(painter, caption);
  if (scene_.label) PaintText(painter, *scene_.label);

  painter.setPen(QPen(kGridColor, 0));
  for (const double x : scene_.gridX) {
    painter.drawLine(QPointF(x / twipsPerPixel_, 0), QPointF(x / twipsPerPixel_, height()));
  }
  for (const double y : scene_.gridY) {
    painter.drawLine(QPointF(0, y / twipsPerPixel_), QPointF(width(), y / twipsPerPixel_));
  }
  const auto paintFrame = [&] {
    if (!scene_.printableShown) return;
    painter.setPen(QPen(Qt::red, 0));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(ToPixels(scene_.printable));
  };
  if (!scene_.printableOnTop) paintFrame();
  PaintPictures(painter);
  if (scene_.printableOnTop) paintFrame();
  if (hasFocus()) {
    // Where the keyboard is: a dotted frame inside the page's edge, drawn
    // here rather than by the style, as some styles tint the whole rectangle
    // and the page's colours must show as they are.
    painter.setPen(QPen(palette().color(QPalette::Highlight), 1, Qt::DotLine));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(rect().adjusted(1, 1, -2, -2));
  }

  if (!frame_) return;
  painter.setPen(QPen(Qt::black, 1, Qt::DashLine));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(frame_->adjusted(0, 0, -1, -1));
  if (!handlesShown_) return;
  for (const QRect& handle : handles_) painter.fillRect(handle, Qt::black);
}

// From a press until its release, the pointer and tooltip stay those of
// whatever took the press, as every move and the release go to it.
void PageView::mousePressEvent(QMouseEvent* event) {
  const int button = ButtonBits(event->button());
  if (button == 0) {
    event->ignore();
    return;
  }
  const QPointF at = ToTwips(event->position());
  const int under = SlotAt(at);
  const int held = ButtonBits(event->buttons());
  if (pressed_ == kNoPress || held == button) pressed_ = under;
  event->accept();
  emit pressedAt(at, button, held, under);
  ShowPointerOf(pressed_);
}

void PageView::mouseMoveEvent(QMouseEvent* event) {
  const QPointF at = ToTwips(event->position());
  const int buttons = ButtonBits(event->buttons());
  if (buttons == 0) pressed_ = kNoPress;  // the release went to a menu or a dialog
  const int under = SlotAt(at);
  event->accept();
  emit movedAt(at, buttons, under);
  ShowPointerOf(pressed_ == kNoPress ? SlotAt(at) : pressed_);
}

void PageView::mouseReleaseEvent(QMouseEvent* event) {
  const int button = ButtonBits(event->button());
  if (button == 0) {
    event->ignore();
    return;
  }
  const QPointF at = ToTwips(event->position());
  const int held = ButtonBits(event->buttons());
  if (held == 0) pressed_ = kNoPress;
  event->accept();
  emit releasedAt(at, button, held, SlotAt(at));
  ShowPointerOf(pressed_ == kNoPress ? SlotAt(at) : pressed_);
}

// The double click stands in for the second press of the pair.
void PageView::mouseDoubleClickEvent(QMouseEvent* event) {
  event->accept();
  emit doubleClickedAt(SlotAt(ToTwips(event->position())));
}

// Only thumbnails from the panel are taken; any other drag is refused at
// the door, so it never arms an addition.
void PageView::dragEnterEvent(QDragEnterEvent* event) {
  if (!event->mimeData()->hasFormat(ThumbnailPanel::kMimeType)) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  const QPointF at = ToTwips(event->position());
  emit dragMovedAt(at, true, SlotAt(at));
}

void PageView::dragMoveEvent(QDragMoveEvent* event) {
  const bool thumbnail = event->mimeData()->hasFormat(ThumbnailPanel::kMimeType);
  if (!thumbnail) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  const QPointF at = ToTwips(event->position());
  emit dragMovedAt(at, true, SlotAt(at));
}

void PageView::dropEvent(QDropEvent* event) {
  if (!event->mimeData()->hasFormat(ThumbnailPanel::kMimeType)) {
    event->ignore();
    return;
  }
  event->acceptProposedAction();
  const QPointF at = ToTwips(event->position());
  emit droppedAt(at, SlotAt(at));
}

void PageView::dragLeaveEvent(QDragLeaveEvent* event) {
  event->accept();
  emit dragLeft();
}

// Esc asks long work to stop; every other key goes on to the main window,
// which handles Delete.
void PageView::keyPressEvent(QKeyEvent* event) {
  if (event->key() != Qt::Key_Escape) {
    event->ignore();
    return;
  }
  event->accept();
  emit escapePressed();
}

PagePanel::PagePanel(QWidget* parent)
    : QFrame(parent), caption_(new QLabel(this)), page_(new PageView(this)) {
  setFrameStyle(QFrame::Panel | QFrame::Raised);
  caption_->setAlignment(Qt::AlignCenter);
  SetCaption(QStringLiteral("Layout Preview"));
}

QString PagePanel::caption() const { return caption_->text(); }

void PagePanel::SetCaption(const QString& caption) {
  caption_->setText(caption);
}

double PagePanel::ScreenTwipsPerPixel() const {
  const QScreen* screen = this->screen();
  return lumaset::TwipsPerPixel(screen ? screen->logicalDotsPerInch() : 96.0);
}

QSizeF PagePanel::SizeTwips(double twipsPerPixel) const {
  return {width() * twipsPerPixel, height() * twipsPerPixel};
}

void PagePanel::ShowPage(const PageScene& scene, double twipsPerPixel) {
  const QRectF& twips = scene.preview;
  const auto pixels = [twipsPerPixel](double value) { return TwipsToPixels(value, twipsPerPixel); };
  // A panel too small for the page lets it reach beyond the panel; a page
  // with no area at all is simply not seen.
  page_->setGeometry(pixels(twips.left()), pixels(twips.top()),
                     std::max(0, pixels(twips.width())), std::max(0, pixels(twips.height())));
  page_->SetScene(scene, twipsPerPixel);
  caption_->raise();
}

void PagePanel::PageRefresh() {
  if (refresh_) {
    refresh_();
    return;
  }
  const double perPixel = ScreenTwipsPerPixel();
  PageScene blank;
  blank.preview = FitPreview(true, SizeTwips(perPixel), DefaultPaper(true, true));
  ShowPage(blank, perPixel);
}

void PagePanel::resizeEvent(QResizeEvent*) { caption_->setGeometry(0, 2, width(), kCaptionHeight); }

}  // namespace lumaset
