#include "browser/thumbnail_area.h"

#include <QLabel>
#include <QScrollBar>

namespace lumaset {

ThumbnailPanel::ThumbnailPanel(QWidget* parent)
    : QFrame(parent),
      browse_(new QWidget(this)),
      scroll_(new QScrollBar(Qt::Vertical, this)),
      notice_(new QLabel(QStringLiteral("Thumbnail Panel (none)"), this)) {
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  browse_->setAutoFillBackground(true);
  QPalette black = browse_->palette();
  black.setColor(QPalette::Window, Qt::black);
  browse_->setPalette(black);
  notice_->setAlignment(Qt::AlignCenter);
  notice_->setAccessibleName(notice_->text());
  scroll_->setAccessibleName(QStringLiteral("Thumbnail scroll bar"));
  scroll_->hide();
}

void ThumbnailPanel::ThumbNailClear() {
  browse_->resize(width(), 0);
  scroll_->setValue(0);
  scroll_->hide();
  notice_->setText(QStringLiteral("Thumbnail Panel (none)"));
  notice_->show();
}

void ThumbnailPanel::resizeEvent(QResizeEvent*) {
  notice_->setGeometry(0, notice_->y(), width(), notice_->sizeHint().height());
  browse_->resize(width() - scroll_->sizeHint().width(), browse_->height());
  scroll_->setGeometry(width() - scroll_->sizeHint().width(), scroll_->y(),
                       scroll_->sizeHint().width(), scroll_->height());
}

}  // namespace lumaset
