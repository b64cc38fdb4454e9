#pragma once

// The "Layout Preview" panel and the page inside it. The page paints what
// the page refresh decided (PageScene) and the placed pictures at their
// boxes in the page model; it keeps the pictures' pixels, one reduced picture
// per slot, and never holds a position of its own.

#include <QFrame>
#include <QImage>
#include <QSizeF>
#include <QString>

#include <array>
#include <functional>
#include <optional>

#include "components/result.h"
#include "layout/page_model.h"
#include "layout/page_refresh.h"

class QLabel;

namespace lumaset {

struct ToolState;

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
  void ShowSelection(const ToolState& state, double twipsPerPixel);
  bool selectionShown() const { return frame_.has_value(); }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void PaintText(QPainter& painter, const PageText& text) const;
  void PaintPictures(QPainter& painter) const;
  QRectF ToPixels(const QRectF& twips) const;

  const PageModel* model_ = nullptr;
  PageScene scene_;
  double twipsPerPixel_ = 15;
  std::array<QImage, kPageSlots> pictures_;
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

  // The panel's size in twips, which the page is fitted into.
  QSizeF SizeTwips(double twipsPerPixel) const;

  // Places the page where the scene puts it and shows what it draws.
  void ShowPage(const PageScene& scene, double twipsPerPixel);

  // What redraws the page (the page refresh); without one the panel shows a
  // blank upright letter page.
  void SetRefresh(std::function<void()> refresh) { refresh_ = std::move(refresh); }
  void PageRefresh();

  // Empties the page: the temporary pictures of `tempImagesFolder` are
  // deleted, the pictures dropped and the caption names no layout. Fails when
  // a temporary picture could not be deleted; the page is cleared all the same.
  Status ClearPreview(const QString& tempImagesFolder);

 protected:
  void resizeEvent(QResizeEvent* event) override;

 private:
  double ScreenTwipsPerPixel() const;

  QLabel* caption_;
  PageView* page_;
  std::function<void()> refresh_;
};

}  // namespace lumaset
