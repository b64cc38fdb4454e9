#include "layout/page_area.h"

#include <QLabel>
#include <QPainter>

#include <algorithm>

#include "frame/tool_enable.h"
#include "layout/temporary_pictures.h"

namespace lumaset {

namespace {
constexpr int kCaptionHeight = 20;
constexpr int kInset = 8;
}  // namespace

PageView::PageView(QWidget* parent) : QWidget(parent) {
  setCursor(Qt::CrossCursor);
  setAccessibleName(QStringLiteral("Page"));
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

void PageView::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), Qt::white);
  painter.setPen(Qt::darkGray);
  painter.drawRect(rect().adjusted(0, 0, -1, -1));
  if (!frame_) return;
  painter.setPen(QPen(Qt::black, 1, Qt::DashLine));
  painter.drawRect(frame_->adjusted(0, 0, -1, -1));
  painter.setPen(Qt::black);
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

void PagePanel::PageRefresh() {
  caption_->setGeometry(0, 2, width(), kCaptionHeight);
  const QRect room = rect().adjusted(kInset, kCaptionHeight + 2, -kInset, -kInset);
  if (room.width() <= 0 || room.height() <= 0) return;
  // Portrait letter paper until the printer's page facts drive the page.
  const double ratio = 8.5 / 11.0;
  int height = room.height();
  int width = static_cast<int>(height * ratio);
  if (width > room.width()) {
    width = room.width();
    height = static_cast<int>(width / ratio);
  }
  page_->setGeometry(room.x() + (room.width() - width) / 2, room.y() + (room.height() - height) / 2,
                     width, height);
}

Status PagePanel::ClearPreview(const QString& tempImagesFolder) {
  const int leftBehind = DeleteTemporaryPictures(tempImagesFolder);
  SetCaption(QStringLiteral("Layout Preview: ") + QStringLiteral("Undefined layout"));
  PageRefresh();
  if (leftBehind > 0) {
    return Error{QStringLiteral("%1 temporary picture(s) in %2 could not be deleted.")
                     .arg(leftBehind)
                     .arg(tempImagesFolder)};
  }
  return Status::success();
}

void PagePanel::resizeEvent(QResizeEvent*) { PageRefresh(); }

}  // namespace lumaset
