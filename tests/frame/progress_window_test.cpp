#include "frame/progress_window.h"

#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QCoreApplication>
#include <QImage>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <stdexcept>

#include "support/accessibility.h"

namespace lumaset {
namespace {

// A protocol whose yields are counted and may carry a Cancel click.
struct Driven {
  int yields = 0;
  bool clickCancelAtYield = false;
  ProgressProtocol protocol{[this] {
    ++yields;
    if (clickCancelAtYield) protocol.Cancel();
  }};
  const ProgressView& view() const { return protocol.View(); }
};

TEST(ProgressProtocol, CancelHidesAtTheNextStepAndLastsUntilTheNextRun) {
  Driven run;
  run.protocol.Report(0, QStringLiteral("Resizing"));
  EXPECT_TRUE(run.view().shown);
  EXPECT_TRUE(run.view().ownerDisabled);
  EXPECT_EQ((QStringList{run.view().caption, run.view().text}), (QStringList{"Progress", "Resizing"}));
  run.protocol.Report(37);
  EXPECT_EQ(run.view().caption, QStringLiteral("Progress 37%"));
  EXPECT_TRUE(run.view().barPercent == 37);
  EXPECT_TRUE(run.view().shown);

  run.clickCancelAtYield = true;
  run.protocol.Report(40);
  EXPECT_FALSE(run.view().shown);
  EXPECT_FALSE(run.view().ownerDisabled);
  run.protocol.Report(100);
  EXPECT_EQ(run.view().caption, QStringLiteral("Progress 100%"));
  EXPECT_TRUE(run.protocol.Cancelled());  // for the command to read afterwards
  EXPECT_EQ(run.yields, 2);               // only updates yield

  run.protocol.Report(0);
  EXPECT_TRUE(!run.protocol.Cancelled());
  EXPECT_TRUE(run.view().barPercent == 0);
}

TEST(ProgressProtocol, AnOperationStartsUncancelledAndKeepsItsCancel) {
  Driven run;
  run.protocol.Cancel();          // left over from an earlier run
  run.protocol.BeginOperation();  // one that reports no progress at all
  EXPECT_FALSE(run.protocol.Cancelled());

  run.protocol.Report(0);
  run.clickCancelAtYield = true;
  run.protocol.Report(50);
  run.protocol.Report(100);
  run.protocol.Report(0);  // a second imaging call of the same command
  EXPECT_TRUE(run.protocol.Cancelled());
  EXPECT_FALSE(run.view().shown);
  EXPECT_FALSE(run.view().ownerDisabled);
  run.protocol.EndOperation();
  EXPECT_TRUE(run.protocol.Cancelled());
}

class ProgressWindowTest : public ::testing::Test {
 protected:
  ProgressWindowTest() : window(&owner) { owner.show(); }

  QWidget owner;
  ProgressWindow window;
};

TEST_F(ProgressWindowTest, HoldsTheOwnerWhileCancelStaysClickable) {
  window.Report(0);
  EXPECT_EQ(test::AccessibilityProblems(&window), QStringList());
  EXPECT_TRUE(window.isVisible());
  EXPECT_TRUE(!owner.isEnabled());
  EXPECT_TRUE(window.cancelButton()->isEnabled());
  window.cancelButton()->click();
  EXPECT_TRUE(window.isVisible());  // until the next step

  window.Report(10);
  EXPECT_EQ(window.bar()->value(), 10);
  EXPECT_TRUE(!window.isVisible());
  EXPECT_TRUE(owner.isEnabled());

  window.Report(0);
  QCloseEvent close;  // closing the window asks to cancel too
  QCoreApplication::sendEvent(&window, &close);
  EXPECT_TRUE(window.Cancelled());
  window.Report(100);

  window.SetCancelled(false);
  window.Report(0);
  QTest::keyClick(&window, Qt::Key_Escape);  // and so does Esc
  EXPECT_TRUE(window.Cancelled());
  EXPECT_TRUE(window.isVisible());
  window.Report(100);
}

TEST_F(ProgressWindowTest, ScopeGivesTheOwnerBackHoweverTheOperationEnds) {
  [this] {
    ProgressScope scope(window);
    window.Report(0);
    window.Report(30);  // returns early: no 100 ever comes
  }();
  EXPECT_TRUE(!window.isVisible());
  EXPECT_TRUE(owner.isEnabled());

  try {
    ProgressScope scope(window);
    window.Report(0);
    throw std::runtime_error("failed");
  } catch (const std::runtime_error&) {
  }
  EXPECT_TRUE(!window.isVisible());
  EXPECT_TRUE(owner.isEnabled());
}

TEST_F(ProgressWindowTest, ImagingHandlerFeedsTheWindow) {
  Imaging imaging;
  ASSERT_TRUE(imaging.LoadFromPicture(QImage(40, 30, QImage::Format_RGB32)).ok());
  int sounds = 0;
  imaging.setProgressHandler(MakeProgressHandler(window, imaging, [&sounds] { ++sounds; }));
  imaging.setProgressEnabled(true);

  ProgressScope scope(window);
  ASSERT_TRUE(imaging.ImgMirror().ok());
  EXPECT_EQ(sounds, 1);
  EXPECT_EQ(window.textLine()->text(), imaging.InfoText());
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Progress 100%"));
  EXPECT_TRUE(!window.isVisible());
  EXPECT_TRUE(owner.isEnabled());
}

}  // namespace
}  // namespace lumaset
