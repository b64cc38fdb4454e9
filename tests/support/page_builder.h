#pragma once

// A page with pictures on it, as the page's tests build it.

#include <QColor>
#include <QImage>
#include <QPainter>
#include <QRectF>
#include <QString>

#include <algorithm>
#include <cstdint>

#include "layout/page_model.h"
#include "layout/undo_stack.h"

namespace lumaset::test {

// A portrait letter page without a printer, its preview 8500 x 11000 twips,
// so that a thousand twips are one printed inch.
inline void LetterPage(PageModel& page) {
  PageGeometry& geometry = page.geometry();
  geometry = PageGeometry{};
  geometry.previewWidth = 8500;
  geometry.previewHeight = 11000;
}

// Shows `file` in `slot` at `box`, in twips of the current preview, as an
// addition leaves it: its fractions of the page set, counted on the page and
// ranked by its slot unless `rank` says otherwise.
inline void ShowPicture(PageModel& page, int slot, const PicBox& box, const QString& file, int rank = -1) {
  page.box(slot) = box;
  page.pic(slot).file = file;
  page.pic(slot).zRank = static_cast<std::int16_t>(rank < 0 ? slot : rank);
  FractionsFromBox(page, slot);
  page.setPicLast(std::max(page.picLast(), slot));
  page.setPicCount(page.picCount() + 1);
}

// Puts `file` in the next slot at `fractions` of the paper, as a saved
// layout brings it back, ranked `rank`; returns the slot.
inline int PlaceFractions(PageModel& page, const QString& file, QRectF fractions, int rank) {
  const int slot = page.picLast() + 1;
  page.pic(slot) = PagePic{file, static_cast<std::int16_t>(rank), float(fractions.x()), float(fractions.y()),
                           float(fractions.width()), float(fractions.height())};
  page.setPicLast(slot);
  page.setPicCount(page.picCount() + 1);
  return slot;
}

// Writes a PNG of `size`, its left half `left` and its right half `right`,
// so that a crop or a flip shows in which colour is where.
inline bool WriteHalves(const QString& path, QSize size, QColor left, QColor right) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(left);
  QPainter(&image).fillRect(size.width() / 2, 0, size.width() / 2, size.height(), right);
  return image.save(path, "PNG");
}

}  // namespace lumaset::test
