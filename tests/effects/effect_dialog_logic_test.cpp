#include "effects/effect_dialog_logic.h"

#include <gtest/gtest.h>

#include <QImage>

#include "components/imaging/pixels/pixel_effects.h"
#include "effects/effect_dialog.h"

namespace lumaset {
namespace {

TEST(DialogFrame, FitsTheCopyAndLaysTheButtonsOutInTwips) {
  EXPECT_EQ(PreviewTarget({300, 400}, {266, 250}), 250);  // portrait: the box's height
  EXPECT_EQ(PreviewTarget({400, 300}, {266, 250}), 266);
  EXPECT_EQ(PreviewTarget({400, 400}, {266, 250}), 266);
  EXPECT_EQ(PreviewTarget({400, 300}, {533, 500}), kPreviewMaxSide);  // a dense screen
  // A landscape box 4000 x 3000: as high as box + 480, as wide as box + 2000.
  EXPECT_EQ(LayOutFrame(4000, 3000, 2670), (FrameLayout{6000, 3480, 2760, 2700}));
  // A flat box never makes the dialog lower than its minimum.
  EXPECT_EQ(LayOutFrame(4000, 500, 4455), (FrameLayout{6000, 4455, 3735, 3675}));
}

TEST(DialogFrame, ControlsGrownToTheirTextsMoveApartAndKeepTheirRows) {
  // A label over a row of two buttons, and a label beside a swatch.
  const std::vector<QRect> design{{0, 0, 50, 13}, {0, 20, 30, 30}, {30, 20, 30, 30},
                                  {0, 60, 40, 13}, {45, 58, 30, 20}};
  std::vector<QRect> grown = design;
  grown[0].setHeight(24);  // now reaches into the row below
  grown[3].setWidth(60);   // now reaches over the swatch
  EXPECT_EQ(PushApart(design, grown, 2),
            (std::vector<QRect>{{0, 0, 50, 24}, {0, 26, 30, 30}, {30, 26, 30, 30},
                                {0, 66, 60, 13}, {62, 64, 30, 20}}));
  // Nothing grown: nothing moves.
  EXPECT_EQ(PushApart(design, design, 2), design);
}

TEST(EmbossState, OtherChannelsFollowTheMaskAndKeepChannelsUnlessChosen) {
  EmbossState state;
  EXPECT_EQ(state.EffectOther(), kKeepOtherChannels);
  EXPECT_FALSE(state.OtherEnabled());
  state.SetDirection(7);
  EXPECT_EQ(std::pair(state.dx(), state.dy()), std::pair(1, 1));
  state.SetDirection(8);  // no such button: unchanged
  EXPECT_EQ(std::pair(state.dx(), state.dy()), std::pair(1, 1));
  // Arrow keys across the grid: over the empty centre, stopped at the edge.
  EXPECT_EQ(EmbossState::Neighbour(3, 1, 0), 4);
  EXPECT_EQ(EmbossState::Neighbour(6, 0, -1), 1);
  EXPECT_EQ(EmbossState::Neighbour(0, -1, 0), -1);
  EXPECT_EQ(EmbossState::Neighbour(7, 1, 1), -1);

  state.SetChannels(true, true, false);
  EXPECT_EQ(state.mask(), 3);
  EXPECT_TRUE(state.OtherEnabled());
  state.SetOtherChecked(true, 77);
  EXPECT_EQ(state.EffectOther(), 77);
  state.SetOtherBar(300);
  EXPECT_EQ(state.EffectOther(), 255);
  // Unchecked: the channels outside the mask keep their bytes; the value stays.
  state.SetOtherChecked(false, 12);
  EXPECT_EQ(state.EffectOther(), kKeepOtherChannels);
  EXPECT_EQ(state.otherValue(), 255);
  state.SetOtherChecked(true, 12);
  state.SetChannels(true, true, true);  // all channels: the choice goes off
  EXPECT_FALSE(state.otherChecked());
  EXPECT_EQ(state.EffectOther(), kKeepOtherChannels);
  state.SetChannels(false, false, false);
  EXPECT_EQ(state.mask(), 0);
  EXPECT_FALSE(state.OtherEnabled());
}

TEST(ReplaceView, ZoomStepsStopAtTheirEndsAndStayInsideThePicture) {
  ReplaceView view(QSize(5700, 3800));
  view.ClickSelect();
  view.ClickZoom();
  EXPECT_EQ(view.mode(), MouseMode::Zoom);
  view.ClickZoom();
  EXPECT_EQ(view.mode(), MouseMode::None);

  EXPECT_FALSE(view.Zoom(false, {10, 10}, {266, 177}));  // already whole
  int clicks = 0;
  while (view.Zoom(true, {133, 88.5}, {266, 177})) ++clicks;
  EXPECT_EQ(clicks, 10);
  EXPECT_EQ(view.factor(), ReplaceView::kMaxZoom);
  EXPECT_EQ(view.area().size(), QSize(100, 67));

  // Released far outside the box: the area lies at the picture's corner.
  view.Reset();
  ASSERT_TRUE(view.Zoom(true, {5000, -300}, {266, 177}));
  EXPECT_EQ(view.area(), QRect(1900, 0, 3800, 2533));
  EXPECT_TRUE(QRect(QPoint(0, 0), view.full()).contains(view.area()));
  EXPECT_EQ(view.Tooltip({0, 0}, {266, 177}), QStringLiteral("X = 1900, Y = 0"));

  // A picture one pixel high still gives an area at least one pixel each way.
  ReplaceView thin(QSize(3, 1));
  for (int i = 0; i < 12; ++i) (void)thin.Zoom(true, {300, 300}, {266, 1});
  EXPECT_EQ(thin.area(), QRect(2, 0, 1, 1));
}

TEST(ReplacePick, NinePixelMeanRepeatsEdgePixels) {
  QImage picture(4, 4, QImage::Format_RGB32);
  picture.fill(qRgb(0, 0, 0));
  picture.setPixel(0, 0, qRgb(90, 180, 9));
  // At the corner the pixel counts four times (itself and three repeats).
  EXPECT_EQ(PickNine(picture, {0, 0}), qRgb(40, 80, 4));
  // A release outside the picture picks at its nearest edge.
  EXPECT_EQ(PickNine(picture, {-20, -3}), qRgb(40, 80, 4));
  picture.fill(qRgb(200, 100, 50));
  EXPECT_EQ(PickNine(picture, {3, 3}), qRgb(200, 100, 50));
}

TEST(DialogTexts, LabelsAndSwatches) {
  EXPECT_EQ(ToleranceLabel(38), QStringLiteral("Tolerance: 5%"));
  EXPECT_EQ(ToleranceLabel(230), QStringLiteral("Tolerance: 30%"));
  EXPECT_EQ(AdjustSwatch(-50, 0, 50), qRgb(77, 127, 177));
}

}  // namespace
}  // namespace lumaset
