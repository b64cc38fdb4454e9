#include "frame/paint_pace.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEvent>
#include <QWidget>

#include <functional>
#include <vector>

#include "support/test_support.h"

namespace lumaset {
namespace {

// Counts the paints a widget receives.
struct Paints : QObject {
  int count = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    count += event->type() == QEvent::Paint ? 1 : 0;
    return false;
  }
};

// Pauses that end when the test says so.
struct Pauses {
  std::vector<std::function<void()>> due;
  std::vector<int> lengths;
  PaintPace::Scheduler scheduler() {
    return [this](int ms, std::function<void()> release) {
      lengths.push_back(ms);
      due.push_back(std::move(release));
    };
  }
};

class PaintPaceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window_.installEventFilter(&paints_);
    window_.resize(200, 100);
    window_.show();
    ASSERT_TRUE(test::RunUntil([this] { return paints_.count > 0; })) << "the window's first paint";
    paints_.count = 0;
    pace_.setScheduler(pauses_.scheduler());
  }

  Paints paints_;
  QWidget window_;
  Pauses pauses_;
  PaintPace pace_{100};
};

// A window that changes at every turn of the event loop, the next change
// always coming before the paint that the end of a pause asks for: each
// pause still ends in one paint.
TEST_F(PaintPaceTest, AWindowThatKeepsChangingPaintsAfterEveryPause) {
  for (int round = 1; round <= 5; ++round) {
    SCOPED_TRACE(round);
    pace_.hold(&window_);
    window_.update();
    QCoreApplication::processEvents();
    EXPECT_EQ(paints_.count, round - 1) << "held";
    ASSERT_EQ(pauses_.due.size(), static_cast<std::size_t>(round));
    pauses_.due.back()();
    QEvent other(QEvent::ToolTipChange);  // no paint yet
    QCoreApplication::sendEvent(&window_, &other);
    pace_.hold(&window_);  // the next change, ahead of the paint
    window_.update();
    QCoreApplication::processEvents();
    EXPECT_EQ(paints_.count, round) << "the paint at the end of the pause";
  }
  EXPECT_LE(pauses_.lengths.front(), 250) << "a few paints a second at least";
}

// A pause that ended early by release() does not cut the next one short;
// paints that someone else switched off stay off.
TEST_F(PaintPaceTest, OnlyTheLatestPauseReleasesAndOthersHoldsAreLeftAlone) {
  pace_.hold(&window_);
  pace_.release();
  ASSERT_TRUE(test::RunUntil([this] { return !pace_.awaitingPaint(); })) << "the paint after release";
  pace_.hold(&window_);
  pauses_.due.front()();
  EXPECT_TRUE(pace_.holding());
  EXPECT_FALSE(window_.updatesEnabled());
  pauses_.due.back()();
  EXPECT_TRUE(window_.updatesEnabled());

  QWidget frozen;
  frozen.setUpdatesEnabled(false);
  ASSERT_TRUE(test::RunUntil([this] { return !pace_.awaitingPaint(); })) << "the paint after the pause";
  pace_.hold(&frozen);
  EXPECT_FALSE(pace_.holding());
  pace_.release();
  EXPECT_FALSE(frozen.updatesEnabled());
}

// A window wholly covered by an opaque child paints only the child: the
// window's own update request is its paint, and the next hold holds again.
TEST_F(PaintPaceTest, ACoveredWindowsUpdateRequestEndsTheWait) {
  QWidget cover(&window_);
  cover.setAutoFillBackground(true);
  cover.setGeometry(window_.rect());
  cover.show();
  ASSERT_TRUE(test::RunUntil([this] { return window_.updatesEnabled(); })) << "the cover shown";
  QCoreApplication::processEvents();
  paints_.count = 0;
  pace_.hold(&window_);
  window_.update();
  pauses_.due.back()();
  ASSERT_TRUE(pace_.awaitingPaint());
  ASSERT_TRUE(test::RunUntil([this] { return !pace_.awaitingPaint(); })) << "the window's update request";
  EXPECT_EQ(paints_.count, 0) << "the window itself was not painted";
  pace_.hold(&window_);
  EXPECT_TRUE(pace_.holding());
}

}  // namespace
}  // namespace lumaset
