#include "layout/orientation.h"

#include <gtest/gtest.h>

#include "fake_drawing_host.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

using test::DrawingRig;
using test::LetterPrinter;

// A rig showing a refreshed page with one picture placed in inches of paper.
struct TurnRig : DrawingRig {
  TurnRig(PrinterFacts facts, bool portrait) {
    host.printer = facts;
    model.geometry().portrait = portrait;
    refresh.Run();
  }
  void PlaceInches(float left, float top, float width, float height) {
    const PageGeometry& page = model.geometry();
    const float across = page.previewWidth / page.paperWidth;
    const float down = page.previewHeight / page.paperHeight;
    Place(0, left * across, top * down, width * across, height * down);
  }
  float LeftInches() const { return model.pic(0).leftFrac * model.geometry().paperWidth; }
  void ExpectPrinted(float width, float height) const {
    EXPECT_NEAR(PrintedSize(0).first, width, 1e-3);
    EXPECT_NEAR(PrintedSize(0).second, height, 1e-3);
  }
};

// The place within `placeError`, the size within `sizeError`.
void ExpectNear(const PagePic& a, const PagePic& b, double placeError, double sizeError = 1e-6) {
  EXPECT_NEAR(a.leftFrac, b.leftFrac, placeError);
  EXPECT_NEAR(a.topFrac, b.topFrac, placeError);
  EXPECT_NEAR(a.widthFrac, b.widthFrac, sizeError);
  EXPECT_NEAR(a.heightFrac, b.heightFrac, sizeError);
}

TEST(OrientationTest, TurningWithAPrinterKeepsPrintedSizes) {
  const struct { bool fromPortrait; float left, leftAfter; } cases[] = {  // left in inches of the paper
      {true, 5, 5 / 8.5f * 11},  // 5 + 3 within the old height of 11: not shifted
      {false, 7, 4.25f},         // 7 + 3 beyond 8.5: shifted to 5.5 of 11, so 4.25 of 8.5
  };
  for (const auto& c : cases) {
    TurnRig rig(LetterPrinter(c.fromPortrait ? kPortrait : kLandscape), c.fromPortrait);
    rig.PlaceInches(c.left, 1, 3, 2);
    rig.orientation->OptionClicked(!c.fromPortrait);

    EXPECT_EQ(rig.host.orientations.front(), c.fromPortrait ? kLandscape : kPortrait);
    EXPECT_EQ(rig.model.geometry().portrait, !c.fromPortrait);
    EXPECT_EQ(rig.model.geometry().paperWidth, c.fromPortrait ? 11.0f : 8.5f);
    rig.ExpectPrinted(3, 2);
    EXPECT_NEAR(rig.LeftInches(), c.leftAfter, 2e-3);
    EXPECT_TRUE(rig.host.errors.isEmpty());
  }
}

TEST(OrientationTest, TurningWithoutAPrinterTurnsThePaperToo) {
  TurnRig rig(PrinterFacts{}, true);
  rig.PlaceInches(1, 1, 3, 2);
  rig.orientation->OptionClicked(false);
  EXPECT_EQ(rig.model.geometry().paperWidth, 11.0f);
  EXPECT_GT(rig.host.scene.preview.width(), rig.host.scene.preview.height());
  rig.ExpectPrinted(3, 2);  // no picture grows narrower on the turned page
  EXPECT_TRUE(rig.host.orientations.empty()) << "no printer to turn";

  rig.orientation->OptionClicked(false);  // already selected: nothing happens
  EXPECT_EQ(rig.host.sounds.size(), 1u);
}

TEST(OrientationTest, TurningThereAndBackRestoresEveryPicture) {
  TurnRig rig(LetterPrinter(), true);
  rig.PlaceInches(1, 2, 3, 4);
  rig.Place(1, 600, 900, 1200, 1500);
  rig.model.pic(1).zRank = -1;  // deleted slots turn as well
  const PagePic before0 = rig.model.pic(0);
  const PagePic before1 = rig.model.pic(1);

  rig.orientation->optLand_Click();
  rig.orientation->optPort_Click();
  ExpectNear(rig.model.pic(0), before0, 2e-4);
  ExpectNear(rig.model.pic(1), before1, 2e-4);
  EXPECT_EQ(rig.model.pic(1).zRank, -1);
}

TEST(OrientationTest, UndoStepsTurnWithTheirPictures) {
  TurnRig rig(LetterPrinter(), true);
  rig.PlaceInches(6, 9, 2, 1.5f);  // near the corner: shifted when turned
  const PagePic& pic = rig.model.pic(0);
  rig.host.undoSteps = {{pic.leftFrac, pic.topFrac, pic.widthFrac, pic.heightFrac}};

  // Another part turns the page while a printer is usable: the refresh runs
  // the landscape command once more inside this one.
  rig.orientation->optLand_Click();
  EXPECT_EQ(rig.host.undoTurns, 1) << "the steps are turned once, however often the command runs";
  EXPECT_FALSE(rig.model.geometry().portrait);
  EXPECT_EQ(rig.host.optionShown, std::vector<bool>{false});
  const auto& step = rig.host.undoSteps.front();
  ExpectNear(PagePic{{}, 0, step[0], step[1], step[2], step[3]}, pic, 1e-6);
}

TEST(OrientationTest, BoxIsRoundedAndShiftedInsideTheTurnedPage) {
  // A page 1000 wide and 600 high turns to 600 x 1000.
  EXPECT_EQ(TurnBox(PicBox{100.5f, 200.5f, 300, 400, true}, 1000, 600),
            (PicBox{100, 200, 300, 400, true}));
  EXPECT_EQ(TurnBox(PicBox{400, 700, 300, 400, true}, 1000, 600), (PicBox{300, 600, 300, 400, true}));
  PagePic pic;
  TurnedFractions(PicBox{300, 600, 300, 400, true}, 1000, 600, pic);
  ExpectNear(pic, PagePic{{}, 0, 0.3f, 1.0f, 0.5f, 0.4f}, 1e-6);
}

TEST(OrientationTest, RefusedTurnLeavesThePageAsDrawn) {
  TurnRig rig(LetterPrinter(), true);
  rig.PlaceInches(1, 1, 3, 2);
  const PagePic before = rig.model.pic(0);
  const int shown = rig.host.pagesShown;
  rig.host.printerTurns = false;
  rig.orientation->OptionClicked(false);
  EXPECT_EQ(rig.host.errors, QStringList{QStringLiteral("Error with page setup: the printer is offline")});
  EXPECT_TRUE(rig.host.pagesShown == shown);
  EXPECT_TRUE(rig.model.pic(0) == before);
  EXPECT_TRUE(rig.host.undoTurns == 0);
}

TEST(OrientationTest, EmptyPageOnlySoundsDeselectsTurnsThePrinterAndRedraws) {
  TurnRig rig(LetterPrinter(), true);
  const int shown = rig.host.pagesShown;
  rig.host.toolCalls.clear();
  rig.orientation->OptionClicked(false);
  EXPECT_EQ(rig.host.sounds, std::vector<Sound>{Sound::Add});
  EXPECT_EQ(rig.host.toolCalls.front(), std::make_pair(false, -1));
  EXPECT_EQ(rig.host.orientations, std::vector<int>{kLandscape});
  EXPECT_EQ(rig.host.pagesShown, shown + 1);
  EXPECT_EQ(rig.host.undoTurns, 0);
}

TEST(OrientationTest, RefreshFollowsAPrinterTurnedElsewhere) {
  TurnRig rig(LetterPrinter(), true);
  rig.PlaceInches(1, 1, 3, 2);
  // Print Setup turned the paper; the next refresh turns the page with it.
  rig.host.printer = LetterPrinter(kLandscape);
  rig.refresh.Run();
  EXPECT_FALSE(rig.model.geometry().portrait);
  EXPECT_EQ(rig.host.sounds, std::vector<Sound>{Sound::Add});
  rig.ExpectPrinted(3, 2);
  EXPECT_GT(rig.host.scene.preview.width(), rig.host.scene.preview.height());
}

}  // namespace
}  // namespace lumaset
