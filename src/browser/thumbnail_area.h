#pragma once

// The thumbnail panel `picPan`: the viewport that holds the cells' container
// `picBrowse`, its scroll bar and the "Thumbnail Panel (none)" notice.

#include <QFrame>

class QLabel;
class QScrollBar;

namespace lumaset {

class ThumbnailPanel : public QFrame {
  Q_OBJECT
 public:
  explicit ThumbnailPanel(QWidget* parent = nullptr);

  QWidget* browse() const { return browse_; }
  QScrollBar* scrollBar() const { return scroll_; }
  QLabel* notice() const { return notice_; }

  // Empties the panel: no cells, the notice shown, the scroll bar at the top.
  void ThumbNailClear();

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  QWidget* browse_;
  QScrollBar* scroll_;
  QLabel* notice_;
};

}  // namespace lumaset
