#include "browser/thumb_maker.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSemaphore>
#include <QThreadPool>

#include <QDeadlineTimer>

#include <atomic>
#include <chrono>
#include <numeric>
#include <stdexcept>
#include <thread>
#include <vector>

#include "components/imaging/decode_memory.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

QStringList Numbers(int count) {
  QStringList paths;
  for (int i = 0; i < count; ++i) paths.append(QString::number(i));
  return paths;
}

// A maker on its own pool that records what it hands over, in order.
struct Recorded {
  explicit Recorded(int threads) {
    if (threads > 0) pool.setMaxThreadCount(threads);
    QObject::connect(&maker, &ThumbMaker::cellReady, [this](int index, const CellPicture& picture) {
      order.push_back(index);
      widths.push_back(picture.facts.width);
      unsupported.push_back(picture.facts.unsupported);
    });
    QObject::connect(&maker, &ThumbMaker::finished, [this] { finished = true; });
  }
  std::vector<int> order, widths;
  std::vector<bool> unsupported;
  bool finished = false;
  QThreadPool pool;
  ThumbMaker maker{&pool};
};

// Cell 0 is held back until cells 1 to 3 are made, so they finish first; the
// window must still take 0 first.
TEST(ThumbMaker, HandsOverInCellOrderWhateverOrderWorkersFinish) {
  Recorded run(4);
  QSemaphore laterCellsDone;
  run.maker.start(Numbers(12), [&laterCellsDone](const QString& path) {
    const int index = path.toInt();
    if (index == 0) laterCellsDone.acquire(3);
    CellPicture picture;
    picture.facts.width = 100 + index;
    if (index >= 1 && index <= 3) laterCellsDone.release();
    return picture;
  });
  ASSERT_TRUE(test::RunUntil([&] { return run.finished; }));
  std::vector<int> expected(12);
  std::iota(expected.begin(), expected.end(), 0);
  EXPECT_EQ(run.order, expected);
  EXPECT_EQ(std::pair(run.widths.front(), run.widths.back()), std::pair(100, 111));
}

TEST(ThumbMaker, StopEndsTheHandOverAndSkipsWorkNotStarted) {
  Recorded run(2);
  std::atomic<int> made{0};
  QObject::connect(&run.maker, &ThumbMaker::cellReady, [&](int index, const CellPicture&) {
    if (index == 4) run.maker.stop();
  });
  run.maker.start(Numbers(1000), [&made](const QString&) {
    ++made;
    return CellPicture{};
  });
  ASSERT_TRUE(test::RunUntil([&] { return !run.maker.running(); }));
  run.pool.waitForDone();
  QCoreApplication::processEvents();
  EXPECT_EQ(run.order, (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_FALSE(run.finished);
  EXPECT_LT(made.load(), 100) << "only the cells in work when it stopped are made";
}

TEST(ThumbMaker, AFailingCellIsUnsupportedAndTheRestGoOn) {
  Recorded run(0);
  run.maker.start(Numbers(3), [](const QString& path) -> CellPicture {
    if (path == QStringLiteral("1")) throw std::runtime_error("damaged");
    return CellPicture{};
  });
  ASSERT_TRUE(test::RunUntil([&] { return run.finished; }));
  EXPECT_EQ(run.unsupported, (std::vector<bool>{false, true, false}));

  run.finished = false;
  run.maker.start({}, [](const QString&) { return CellPicture{}; });
  EXPECT_TRUE(run.finished);
}

// A cell given up on, and every cell in work when the making stops, has its
// decode stopped: here a decode that ends only when stopped (or when the
// test runs out of patience, which it must not).
TEST(ThumbMaker, AGivenUpOrStoppedCellStopsItsDecode) {
  Recorded run(2);
  std::atomic<int> started{0};
  std::atomic<int> stopped{0};
  run.maker.start(Numbers(4), [&](const QString&) {
    ++started;
    const QDeadlineTimer patience(std::chrono::seconds(5));
    while (!DecodeStop::requested() && !patience.hasExpired()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    if (DecodeStop::requested()) ++stopped;
    return CellPicture{};
  });
  ASSERT_TRUE(test::RunUntil([&] { return started == 2; })) << "both workers decoding";
  EXPECT_TRUE(run.maker.giveUpOnNext());
  EXPECT_TRUE(test::RunUntil([&] { return started == 3; })) << "the next cell begun by the freed worker";
  EXPECT_EQ(stopped, 1);
  run.maker.stop();
  EXPECT_TRUE(run.pool.waitForDone(10000)) << "the workers ending";
  EXPECT_EQ(stopped, 3);
  EXPECT_EQ(run.unsupported, std::vector<bool>{true});
}

}  // namespace
}  // namespace lumaset
