#pragma once

// The "Layout Preview" panel and the page inside it.

#include <QFrame>
#include <QString>

#include <array>
#include <optional>

#include "components/result.h"

class QLabel;

namespace lumaset {

struct ToolState;

// The page `picPreview`: a sheet of paper of the current printer, drawn
// to fit the panel with its width-to-height ratio.
class PageView : public QWidget {
  Q_OBJECT
 public:
  explicit PageView(QWidget* parent = nullptr);

  // Shows the selection frame `shSel` and the size handles `shSize` that the
  // picture tools' state gives (in twips of the page), or hides them.
  void ShowSelection(const ToolState& state, double twipsPerPixel);
  bool selectionShown() const { return frame_.has_value(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::optional<QRect> frame_;
  std::array<QRect, 4> handles_{};
};

// The panel `panPrev` with its caption and the page.
class PagePanel : public QFrame {
  Q_OBJECT
 public:
  explicit PagePanel(QWidget* parent = nullptr);

  PageView* page() const { return page_; }
  QString caption() const;
  void SetCaption(const QString& caption);

  // Lays the page out inside the panel for the paper's ratio.
  void PageRefresh();

  // Empties the page: the temporary pictures of `tempImagesFolder` are
  // deleted and the caption names no layout. Fails when a temporary picture
  // could not be deleted; the page is cleared all the same.
  Status ClearPreview(const QString& tempImagesFolder);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  QLabel* caption_;
  PageView* page_;
};

}  // namespace lumaset
