#include "layout/page_area.h"

#include <QFontMetricsF>
#include <QLabel>
#include <QPainter>
#include <QScreen>

#include <algorithm>

#include "frame/tool_enable.h"
#include "layout/temporary_pictures.h"

namespace lumaset {

namespace {

constexpr int kCaptionHeight = 20;  // pixels
const QColor kGridColor(0xC0, 0xC0, 0xC0);

}  // namespace

PageView::PageView(QWidget* parent) : QWidget(parent) {
  setCursor(Qt::CrossCursor);
  setAccessibleName(QStringLiteral("Page"));
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
  update();
}

void PageView::ShowSelection(const ToolState& state, double twipsPerPixel) {
  const auto pixels = [twipsPerPixel](int twips) { return TwipsToPixels(twips, twipsPerPixel); };
  frame_.reset();
  if (state.frame) {
    const TwipsRect& box = *state.frame;
    frame_ = QRect(pixels(box.left), pixels(box.top), pixels(box.width), pixels(box.height));
    const int side = std::max(1, pixels(kHandleSize));
    for (std::size_t i = 0; i < handles_.size(); ++i) {
      handles_[i] = QRect(pixels(state.handles[i].x()), pixels(state.handles[i].y()), side, side);
    }
  }
  if (state.clearMouseStates) setCursor(Qt::CrossCursor);
  update();
}

QRectF PageView::ToPixels(const QRectF& twips) const {
  return {twips.left() / twipsPerPixel_, twips.top() / twipsPerPixel_,
          twips.width() / twipsPerPixel_, twips.height() / twipsPerPixel_};
}

// Text is written with its top-left corner at its place, as the page's own
// text always was.
void PageView::PaintText(QPainter& painter, const PageText& text) const {
  if (text.text.isEmpty() || !(text.pointSize > 0)) return;
  QFont font(text.family);
  font.setPointSizeF(text.pointSize);
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
  for (const int slot : scene_.drawOrder) {
    const PicBox& box = model_->box(slot);
    const QImage& image = picture(slot);
    if (!box.visible || image.isNull() || !(box.width > 0) || !(box.height > 0)) continue;
    painter.drawImage(ToPixels(QRectF(box.left, box.top, box.width, box.height)), image);
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

  if (!frame_) return;
  painter.setPen(QPen(Qt::black, 1, Qt::DashLine));
  painter.drawRect(frame_->adjusted(0, 0, -1, -1));
  for (const QRect& handle : handles_) painter.fillRect(handle, Qt::black);
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
  caption_->setAccessibleName(caption);
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

Status PagePanel::ClearPreview(const QString& tempImagesFolder) {
  const int leftBehind = DeleteTemporaryPictures(tempImagesFolder);
  page_->ClearPictures();
  SetCaption(QStringLiteral("Layout Preview: ") + QStringLiteral("Undefined layout"));
  PageRefresh();
  if (leftBehind > 0) {
    return Error{QStringLiteral("%1 temporary picture(s) in %2 could not be deleted.")
                     .arg(leftBehind)
                     .arg(tempImagesFolder)};
  }
  return Status::success();
}

void PagePanel::resizeEvent(QResizeEvent*) { caption_->setGeometry(0, 2, width(), kCaptionHeight); }

}  // namespace lumaset
