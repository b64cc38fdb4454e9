#include "layout/orientation.h"

#include <cmath>

namespace lumaset {

QString PortraitTip() { return QStringLiteral("Choose portrait layout"); }
QString LandscapeTip() { return QStringLiteral("Choose landscape layout"); }

float RoundTwips(double twips) { return static_cast<float>(std::nearbyint(twips)); }

PicBox TurnBox(const PicBox& box, float width, float height) {
  PicBox turned = box;
  turned.left = RoundTwips(box.left);
  turned.top = RoundTwips(box.top);
  // The turned page is as wide as the old one was high, and as high as it was wide.
  if (turned.left + box.width > height) turned.left = RoundTwips(height - box.width);
  if (turned.top + box.height > width) turned.top = RoundTwips(width - box.height);
  return turned;
}

void TurnedFractions(const PicBox& turned, float width, float height, PagePic& pic) {
  pic.leftFrac = turned.left / width;
  pic.topFrac = turned.top / height;
  pic.widthFrac = turned.width / height;
  pic.heightFrac = turned.height / width;
}

FractionTurn MakeFractionTurn(float width, float height) {
  return [width, height](float& left, float& top, float& boxWidth, float& boxHeight) {
    const PicBox before{left * width, top * height, boxWidth * width, boxHeight * height, true};
    PagePic turned;
    TurnedFractions(TurnBox(before, width, height), width, height, turned);
    left = turned.leftFrac;
    top = turned.topFrac;
    boxWidth = turned.widthFrac;
    boxHeight = turned.heightFrac;
  };
}

Status TurnPictures(PageModel& model) {
  if (model.picLast() < 0) return Status::success();
  const float width = model.geometry().previewWidth;
  const float height = model.geometry().previewHeight;
  if (!(width > 0) || !(height > 0)) {
    return Error{QStringLiteral("The page has no size to turn from.")};
  }
  for (int slot = 0; slot <= model.picLast(); ++slot) {
    PicBox& box = model.box(slot);
    box = TurnBox(box, width, height);
    TurnedFractions(box, width, height, model.pic(slot));
  }
  return Status::success();
}

PageOrientation::PageOrientation(PageModel& model, PageHost& host, PageRefresh& refresh)
    : model_(model), host_(host), refresh_(refresh) {
  refresh_.SetOptionCommand([this](bool portrait) { Turn(portrait ? kPortrait : kLandscape); });
}

void PageOrientation::OptionClicked(bool portrait) {
  if (model_.geometry().portrait == portrait) return;
  model_.geometry().portrait = portrait;
  host_.ShowOrientationOption(portrait);
  Turn(portrait ? kPortrait : kLandscape);
}

// A command run from the refresh that this command started (the printer
// already turned, the other option still selected) would turn the same page
// from the same preview once more; the pictures would come out the same, but
// the undo steps would be turned twice. The refresh goes on without it.
void PageOrientation::Turn(int orientation) {
  if (turning_) return;
  turning_ = true;
  const Status turned = TurnSteps(orientation);
  if (turned) refresh_.Run();
  turning_ = false;
  if (!turned) host_.ShowError(QStringLiteral("Error with page setup: ") + turned.error());
}

Status PageOrientation::TurnSteps(int orientation) {
  host_.PlaySound(Sound::Add, Wait::No);
  host_.ToolEnable(false, -1);
  if (host_.Printer().ready) {
    const Status set = host_.SetPrinterOrientation(orientation);
    if (!set) return set;
  }
  const float width = model_.geometry().previewWidth;
  const float height = model_.geometry().previewHeight;
  const Status turned = TurnPictures(model_);
  if (!turned) return turned;
  if (model_.picLast() >= 0) host_.TurnUndoSteps(MakeFractionTurn(width, height));
  return Status::success();
}

}  // namespace lumaset
