#include "layout/undo_stack.h"

#include <gtest/gtest.h>

#include "layout/fake_page_host.h"
#include "layout/page_commands.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

const PicBox kBox{1000, 1000, 2000, 1500, true};

class UndoTest : public ::testing::Test {
 protected:
  void SetUp() override { test::LetterPage(page); }

  int Selected(const QString& file = QStringLiteral("/pictures/photo.jpg")) {
    const int slot = test::PlacePicture(page, kBox.left, kBox.top, kBox.width, kBox.height, file);
    page.setPicCur(slot);
    return slot;
  }
  std::array<std::int16_t, 3> Ranks() const { return {page.pic(0).zRank, page.pic(1).zRank, page.pic(2).zRank}; }

  PageModel page;
  test::FakePageHost host{page};
  PageUndo undo{page, host};
};

TEST_F(UndoTest, BoxAndFileKindsGiveBackWhatTheStepRecorded) {
  const QString earlier = test::freshFolder("undo") + "/earlier.png";
  ASSERT_TRUE(test::WritePicture(earlier, 400, 200));
  for (UndoKind kind : {UndoKind::Move, UndoKind::Size, UndoKind::Crop, UndoKind::Effect, UndoKind::Mirror,
                        UndoKind::Rotate}) {
    const int slot = Selected(earlier);
    ASSERT_TRUE(undo.UndoAdd(kind, QStringLiteral("tip")));
    page.pic(slot).file = QStringLiteral("/tmp/0-01.jpg");
    page.box(slot) = PicBox{4000, 500, 3000, 2250, true};
    undo.UndoTool();
    const bool fileKind = kind >= UndoKind::Crop;
    EXPECT_TRUE(test::SameBox(page.box(slot), kBox)) << UndoKindName(kind).toStdString();
    EXPECT_NEAR(page.pic(slot).widthFrac, 2000.0f / 8500, 1e-6);
    EXPECT_EQ(page.pic(slot).file, fileKind ? earlier : QStringLiteral("/tmp/0-01.jpg"));
    EXPECT_EQ(host.pictures[slot].size(), fileKind ? QSize(350, 175) : QSize(0, 0));
    EXPECT_TRUE(host.sounds.back() == Sound::Tool);
    EXPECT_TRUE(!host.on("Undo"));
    EXPECT_EQ(host.toolSlot, -1) << "no picture is selected after an undo";
  }
}

TEST_F(UndoTest, AnUnreadableEarlierFileLeavesThePictureAsItIs) {
  const int slot = Selected(QStringLiteral("/nowhere/gone.jpg"));
  ASSERT_TRUE(undo.UndoAdd(UndoKind::Crop, QStringLiteral("Undo last picture crop")));
  page.pic(slot).file = QStringLiteral("/tmp/0-01.jpg");
  page.box(slot).width = 500;
  undo.UndoTool();
  EXPECT_EQ(page.pic(slot).file, QStringLiteral("/tmp/0-01.jpg"));
  EXPECT_EQ(page.box(slot).width, 500);
  EXPECT_TRUE(host.sounds.empty());
  EXPECT_TRUE(undo.stack().top() == 0);
}

TEST_F(UndoTest, UndoingAnAddTakesThePictureOffAndStartsANewPageOnlyWhenNothingIsLeft) {
  struct Case { const char *title, *label; int newPages; bool saveAs; };
  for (const Case& c : {Case{"", "", 1, false}, Case{"Holiday", "", 0, false}, Case{"", "Label", 0, true}}) {
    page.Clear();
    test::FakePageHost fresh(page);
    PageUndo freshUndo(page, fresh);
    page.edit().layoutTitle = QString::fromLatin1(c.title);
    page.edit().labelText = QString::fromLatin1(c.label);
    const int slot = Selected();
    ASSERT_TRUE(freshUndo.UndoAdd(UndoKind::Add, QStringLiteral("Undo last picture addition")));
    freshUndo.UndoTool();
    EXPECT_EQ(fresh.newPages, c.newPages) << c.title << c.label;
    EXPECT_EQ(fresh.sounds.back(), Sound::Delete);
    EXPECT_EQ(std::pair(page.picCur(), page.picCount()), std::pair(-1, 0)) << "a picture off the page is not selected";
    if (c.newPages > 0) continue;
    EXPECT_TRUE(page.pic(slot).zRank == -1);
    EXPECT_TRUE(!page.box(slot).visible);
    EXPECT_EQ(fresh.on("mnuFileSaveAs"), c.saveAs);
    EXPECT_EQ(fresh.caption, QStringLiteral("Layout Preview: ") +
                                 (*c.title ? QString::fromLatin1(c.title) : QStringLiteral("(unsaved)")));
    EXPECT_EQ(fresh.status, QStringLiteral("Layout contains 0 picture(s)"));
  }
}

TEST_F(UndoTest, StackingUndosGoToTheVeryBackAndFrontAndDeleteTakesTheLowestFreeRank) {
  PageCommands commands(page, undo, host);
  for (int i = 0; i < 3; ++i) Selected();
  page.setPicCur(0);
  commands.PlaceFront();
  EXPECT_EQ(Ranks(), (std::array<std::int16_t, 3>{2, 0, 1}));
  page.setPicCur(1);
  commands.Delete();
  undo.UndoTool();
  EXPECT_EQ(Ranks(), (std::array<std::int16_t, 3>{2, 0, 1})) << "slot 1 takes rank 0, the lowest free";
  EXPECT_TRUE(page.box(1).visible);
  EXPECT_TRUE(page.picCount() == 3);
  undo.UndoTool();
  EXPECT_EQ(Ranks(), (std::array<std::int16_t, 3>{0, 1, 2}));
  page.setPicCur(2);
  commands.PlaceBack();
  undo.UndoTool();
  EXPECT_EQ(Ranks(), (std::array<std::int16_t, 3>{0, 1, 2}));
}

TEST_F(UndoTest, APictureOffThePageTakesNoPartInTheStackingOrder) {
  PageCommands commands(page, undo, host);
  for (int i = 0; i < 3; ++i) Selected();
  page.setPicCur(0);
  commands.Delete();
  page.setPicCur(2);
  commands.PlaceBack();
  EXPECT_EQ(Ranks(), (std::array<std::int16_t, 3>{-1, 2, 0})) << "the deleted picture stays off the page";
  EXPECT_FALSE(page.box(0).visible);
  page.setPicCur(2);
  commands.PlaceFront();
  EXPECT_EQ(Ranks(), (std::array<std::int16_t, 3>{-1, 1, 2}));
  undo.UndoTool();  // the front
  undo.UndoTool();  // the back
  undo.UndoTool();  // the delete: rank 0 is the lowest that no picture on the page holds
  EXPECT_EQ(page.pic(0).zRank, 0);
  EXPECT_TRUE(page.box(0).visible);
  EXPECT_EQ(page.picCount(), 3);
}

TEST_F(UndoTest, AFullStackForgetsItsOldestStep) {
  Selected();
  for (int i = 1; i <= kUndoDepth + 1; ++i) ASSERT_TRUE(undo.UndoAdd(UndoKind::Move, QString::number(i)));
  EXPECT_EQ(undo.stack().top(), kUndoDepth);
  EXPECT_EQ(undo.stack().entry(1).tip, QStringLiteral("2"));
  EXPECT_EQ(host.undoTip, QStringLiteral("101"));
  undo.UndoTool();
  EXPECT_EQ(host.undoTip, QStringLiteral("100")) << "the new top's tooltip";
  for (int i = 0; i < kUndoDepth; ++i) undo.UndoTool();
  EXPECT_TRUE(undo.stack().top() == 0);
  EXPECT_TRUE(!host.on("Undo"));
}

TEST_F(UndoTest, AbandonTurnAndClearKeepTheStackInStep) {
  EXPECT_FALSE(undo.UndoAdd(UndoKind::Move, QStringLiteral("tip"))) << "nothing is selected";
  const int slot = Selected();
  EXPECT_FALSE(undo.UndoAdd(u"Shrink", QStringLiteral("tip")));
  ASSERT_TRUE(undo.UndoAdd(u"Move", QStringLiteral("first")));
  ASSERT_TRUE(undo.UndoAdd(UndoKind::Effect, QStringLiteral("Undo sharpen effect")));
  EXPECT_EQ(host.status, QStringLiteral("Applying effect...."));
  undo.AbandonStep();
  EXPECT_EQ(host.undoTip, QStringLiteral("first"));

  undo.TurnSteps([](UndoStep& step) { step.widthFrac /= 2; });
  undo.UndoTool();
  EXPECT_NEAR(page.box(slot).width, 1000, 0.01) << "the turned box comes back";

  ASSERT_TRUE(undo.UndoAdd(UndoKind::Size, QStringLiteral("old page")));
  undo.Clear();
  EXPECT_FALSE(host.on("Undo"));
  ASSERT_TRUE(undo.UndoAdd(UndoKind::Size, QStringLiteral("new page")));
  EXPECT_EQ(undo.stack().top(), 1);
}

}  // namespace
}  // namespace lumaset
