#include "layout/page_model.h"

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
}

QString PageModel::NextTemporaryPicture(const QString& folder, int slot) {
  if (edit_.tempCount < INT32_MAX) ++edit_.tempCount;
  return folder + QString::number(slot) + QLatin1Char('-') +
         QStringLiteral("%1").arg(edit_.tempCount, 2, 10, QLatin1Char('0')) +
         QStringLiteral(".jpg");
}

}  // namespace lumaset
