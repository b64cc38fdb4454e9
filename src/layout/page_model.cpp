#include "layout/page_model.h"

#include <algorithm>

namespace lumaset {

void PageModel::Clear() {
  pics_.fill(PagePic{});
  boxes_.fill(PicBox{});
  const PageEditState kept = edit_;
  edit_ = PageEditState{};
  // The press rectangle's left, top and aspect are set again by every press.
  edit_.downLeft = kept.downLeft;
  edit_.downTop = kept.downTop;
  edit_.downAspect = kept.downAspect;
  picLast_ = -1;
  picCount_ = 0;
  picCur_ = -1;
  ++clears_;
}

QString PageModel::NextTemporaryPicture(const QString& folder, int slot) {
  if (edit_.tempCount < INT32_MAX) ++edit_.tempCount;
  return folder + QString::number(slot) + QLatin1Char('-') +
         QStringLiteral("%1").arg(edit_.tempCount, 2, 10, QLatin1Char('0')) +
         QStringLiteral(".jpg");
}

std::vector<int> StackingOrder(const PageModel& page) {
  const int last = page.picLast();
  std::vector<int> ranked;
  std::vector<bool> reached(static_cast<std::size_t>(std::max(0, last + 1)), false);
  for (int rank = 0; rank <= last; ++rank) {
    for (int slot = 0; slot <= last; ++slot) {
      if (page.pic(slot).zRank != rank) continue;
      ranked.push_back(slot);
      reached[static_cast<std::size_t>(slot)] = true;
      break;
    }
  }
  std::vector<int> order;
  for (int slot = 0; slot <= last; ++slot) {
    if (page.pic(slot).zRank >= 0 && !reached[static_cast<std::size_t>(slot)]) order.push_back(slot);
  }
  order.insert(order.end(), ranked.begin(), ranked.end());
  return order;
}

}  // namespace lumaset
