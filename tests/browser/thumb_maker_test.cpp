#include "browser/thumb_maker.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSemaphore>
#include <QThreadPool>

#include <atomic>
#include <stdexcept>
#include <vector>

#include "thumb_test_pictures.h"

namespace lumaset {
namespace {

QStringList Numbers(int count) {
  QStringList paths;
  for (int i = 0; i < count; ++i) paths.append(QString::number(i));
  return paths;
}

struct Delivery {
  std::vector<int> order;
  std::vector<int> widths;
  bool finished = false;
};

void Record(ThumbMaker& maker, Delivery& delivery) {
  QObject::connect(&maker, &ThumbMaker::cellReady, [&](int index, const CellPicture& picture) {
    delivery.order.push_back(index);
    delivery.widths.push_back(picture.facts.width);
  });
  QObject::connect(&maker, &ThumbMaker::finished, [&] { delivery.finished = true; });
}

// Cell 0 is held back until cells 1 to 3 are made, so they finish first; the
// window must still take 0 first.
TEST(ThumbMaker, HandsOverInCellOrderWhateverOrderWorkersFinish) {
  QThreadPool pool;
  pool.setMaxThreadCount(4);
  QSemaphore laterCellsDone;
  ThumbMaker maker(&pool);
  Delivery delivery;
  Record(maker, delivery);
  maker.start(Numbers(12), [&laterCellsDone](const QString& path) {
    const int index = path.toInt();
    if (index == 0) laterCellsDone.acquire(3);
    CellPicture picture;
    picture.facts.width = 100 + index;
    if (index >= 1 && index <= 3) laterCellsDone.release();
    return picture;
  });
  ASSERT_TRUE(test::RunUntil([&] { return delivery.finished; }));
  std::vector<int> expected(12);
  for (int i = 0; i < 12; ++i) expected[static_cast<std::size_t>(i)] = i;
  EXPECT_EQ(delivery.order, expected);
  EXPECT_EQ(delivery.widths.front(), 100);
  EXPECT_EQ(delivery.widths.back(), 111);
}

TEST(ThumbMaker, StopEndsTheHandOverAndSkipsWorkNotStarted) {
  QThreadPool pool;
  pool.setMaxThreadCount(2);
  std::atomic<int> made{0};
  ThumbMaker maker(&pool);
  Delivery delivery;
  Record(maker, delivery);
  QObject::connect(&maker, &ThumbMaker::cellReady, [&](int index, const CellPicture&) {
    if (index == 4) maker.stop();
  });
  maker.start(Numbers(1000), [&made](const QString&) {
    ++made;
    return CellPicture{};
  });
  ASSERT_TRUE(test::RunUntil([&] { return !maker.running(); }));
  pool.waitForDone();
  QCoreApplication::processEvents();
  EXPECT_EQ(delivery.order, (std::vector<int>{0, 1, 2, 3, 4}));
  EXPECT_FALSE(delivery.finished);
  EXPECT_LT(made.load(), 100) << "only the cells in work when it stopped are made";
}

TEST(ThumbMaker, AFailingCellIsUnsupportedAndTheRestGoOn) {
  QThreadPool pool;
  ThumbMaker maker(&pool);
  std::vector<bool> unsupported;
  bool finished = false;
  QObject::connect(&maker, &ThumbMaker::cellReady,
                   [&](int, const CellPicture& picture) { unsupported.push_back(picture.facts.unsupported); });
  QObject::connect(&maker, &ThumbMaker::finished, [&] { finished = true; });
  maker.start(Numbers(3), [](const QString& path) -> CellPicture {
    if (path == QStringLiteral("1")) throw std::runtime_error("damaged");
    return CellPicture{};
  });
  ASSERT_TRUE(test::RunUntil([&] { return finished; }));
  EXPECT_EQ(unsupported, (std::vector<bool>{false, true, false}));

  bool emptyFinished = false;
  QObject::connect(&maker, &ThumbMaker::finished, [&] { emptyFinished = true; });
  maker.start({}, [](const QString&) { return CellPicture{}; });
  EXPECT_TRUE(emptyFinished);
}

}  // namespace
}  // namespace lumaset
