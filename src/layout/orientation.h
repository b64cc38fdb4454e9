#pragma once

// Turning the page between portrait and landscape: the options "Portrait"
// (`optPort`) and "Landscape" (`optLand`) turn the printer's paper, move each
// picture inside the turned page, store the pictures' fractions for it and
// redraw the page. The undo steps' fractions turn with the pictures, so an
// undo after a turn restores a picture's box without distorting it.

#include <QString>

#include "components/result.h"
#include "layout/page_model.h"
#include "layout/page_refresh.h"

namespace lumaset {

// The tooltips of the option buttons.
QString PortraitTip();
QString LandscapeTip();

// A whole number of twips, halves to the even number.
float RoundTwips(double twips);

// One picture's box moved inside the page turned from `width` x `height`
// twips: its corner rounded to whole twips and shifted back in where its
// right or bottom edge would leave the turned page; its size unchanged.
PicBox TurnBox(const PicBox& box, float width, float height);

// The fractions of `box` (already turned) on the turned page: left and top
// over the old width and height, width and height over the new ones.
void TurnedFractions(const PicBox& turned, float width, float height, PagePic& pic);

// The same turn for fractions of the page before the turn (undo steps).
FractionTurn MakeFractionTurn(float width, float height);

// Turns every slot 0 to `PicLast` of the page, deleted ones included. The
// preview must have its size (the page has been refreshed).
Status TurnPictures(PageModel& model);

class PageOrientation {
 public:
  // Registers itself as the option command of `refresh`.
  PageOrientation(PageModel& model, PageHost& host, PageRefresh& refresh);

  // `optPort_Click` and `optLand_Click`: turn the page; they do not select
  // their own option.
  void optPort_Click() { Turn(kPortrait); }
  void optLand_Click() { Turn(kLandscape); }

  // An option chosen (a click on it, or an opened layout's orientation):
  // selects it and, when it was not selected, runs its command.
  void OptionClicked(bool portrait);

 private:
  void Turn(int orientation);
  Status TurnSteps(int orientation);

  PageModel& model_;
  PageHost& host_;
  PageRefresh& refresh_;
  bool turning_ = false;
};

}  // namespace lumaset
