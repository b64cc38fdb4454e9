#include "browser/thumbnail_area.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QScrollBar>
#include <QSignalSpy>

#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "browser/thumb_picture.h"
#include "components/thumbnail_cache.h"
#include "frame/paint_pace.h"
#include "support/test_support.h"
#include "support/uncompressed_pictures.h"

namespace lumaset {
namespace {

using test::RunUntil;

// Cell work that holds back the files `held` picks until the gate opens.
struct Gate {
  std::mutex lock;
  std::condition_variable opened;
  bool open = false;
  std::atomic<int> working{0};

  ThumbnailPanel::CellWork Holding(std::function<bool(const QString&)> held) {
    return [this, held](const QString& file, int scale) {
      ++working;
      if (held(file)) {
        std::unique_lock<std::mutex> guard(lock);
        opened.wait(guard, [this] { return open; });
      }
      CellPicture picture = MakeCellPicture(file, scale);
      --working;
      return picture;
    };
  }
  void Open() {
    {
      const std::lock_guard<std::mutex> guard(lock);
      open = true;
    }
    opened.notify_all();
  }
};

class ThumbnailPanelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    panel_.resize(200, 400);
    panel_.show();
  }

  // Builds `folder` and waits for the end.
  int Build(const QString& folder, bool large = false) {
    QSignalSpy finished(&panel_, &ThumbnailPanel::buildFinished);
    EXPECT_TRUE(panel_.ThumbNail(folder, large).ok());
    EXPECT_TRUE(RunUntil([&] { return !finished.isEmpty(); }));
    return finished.isEmpty() ? -1 : finished.first().first().toInt();
  }

  // A folder of `count` pictures named 00.png, 01.png, ...
  static QString Pictures(const QString& name, int count) {
    const QString folder = test::freshFolder(name) + QLatin1Char('/');
    for (int i = 0; i < count; ++i)
      test::WritePicture(folder + QStringLiteral("%1.png").arg(i, 2, 10, QLatin1Char('0')), 60, 40);
    return folder;
  }

  void Send(QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
    QWidget* canvas = panel_.browse();
    QMouseEvent event(type, at, canvas->mapToGlobal(at), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(canvas, &event);
  }
  void Move(QPoint at, Qt::MouseButtons buttons = Qt::NoButton) { Send(QEvent::MouseMove, at, Qt::NoButton, buttons); }
  void Click(QPoint at, Qt::MouseButton button = Qt::LeftButton) {
    Send(QEvent::MouseButtonPress, at, button, button);
    Send(QEvent::MouseButtonRelease, at, button, Qt::NoButton);
  }
  QPoint OnPicture(int index) const { return panel_.pictureRect(index).center(); }
  QPoint OnFrame(int index) const { return panel_.frameRect(index).topLeft() + QPoint(1, 1); }
  QColor Back(int index) const { return panel_.cell(index).back; }

  ThumbnailPanel panel_;
};

const QColor kGrey(192, 192, 192);
const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);

TEST_F(ThumbnailPanelTest, BuildsSortedCellsWithTheirTextsAndPlaceholders) {
  const QString folder = test::freshFolder(QStringLiteral("build")) + QLatin1Char('/');
  test::WritePicture(folder + "b.png", 60, 40);
  test::WritePicture(folder + "A.jpg", 30, 60);
  test::WritePicture(folder + "z.png", 10, 10);
  test::WriteText(folder + "notes.txt", "not a picture");
  test::WriteText(folder + "holiday.Gif", "GIF by name only");  // two bad ones in a row
  test::WriteText(folder + "junk.GIF", "");
  test::WriteText(folder + "tiny.gif",  // 1 x 1, two colours
                  QByteArray::fromHex("47494638396101000100800000000000ffffff2c00000000010001000002024401003b"));
  QDir().mkdir(folder + "sub.gif");

  QSignalSpy captions(&panel_, &ThumbnailPanel::folderCaptionChanged);
  QSignalSpy texts(&panel_, &ThumbnailPanel::memoryPanelTextChanged);
  QSignalSpy making(&panel_, &ThumbnailPanel::makingCells);
  EXPECT_EQ(Build(folder), 6);

  const ThumbTable& table = panel_.table();
  const QStringList names = {"A.jpg", "b.png", "holiday.Gif", "junk.GIF", "tiny.gif", "z.png"};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(table.ThumbFiles(i), folder + names.at(i));
    EXPECT_TRUE(panel_.cell(i).visible);
    EXPECT_EQ(captions.at(i).first().toString(), QStringLiteral("Loading picture %1 of 6").arg(i + 1));
  }
  EXPECT_EQ(texts.at(1).first().toString(), QStringLiteral("33%...<Press 'Esc' to stop>"));
  EXPECT_EQ(texts.last().first().toString(), QStringLiteral("100%...<Press 'Esc' to stop>"));
  EXPECT_EQ(making.size(), 2);
  EXPECT_TRUE(panel_.updatesEnabled()) << "the window paints again once the cells are made";
  EXPECT_EQ(QSize(table.ThumbWidths(0), table.ThumbHeights(0)), QSize(30, 60));
  EXPECT_TRUE(table.ThumbUnsupported(2));
  EXPECT_TRUE(table.ThumbUnsupported(3));
  EXPECT_EQ((QStringList{panel_.cellTooltip(1), panel_.cellTooltip(2)}),
            (QStringList{"b.png (60x40 pixels)", "holiday.Gif (unsupported format)"}));
  EXPECT_FALSE(panel_.cell(3).picture.isNull()) << "the placeholder stands in";
  EXPECT_EQ(std::pair(table.ThumbBits(4), table.ThumbColors(4)), std::pair(1, 0))
      << "a GIF's depth is its bits per pixel; colours are counted later, on the whole picture";
  EXPECT_EQ(panel_.canvasHeightTwips(), 1700);
  EXPECT_LE(std::max(panel_.cell(1).picture.width(), panel_.cell(1).picture.height()), 50);
}

TEST_F(ThumbnailPanelTest, TurnedPhotosGiveUprightCellsAndSizes) {
  const QString folder = test::freshFolder(QStringLiteral("turned")) + QLatin1Char('/');
  const std::pair<int, const char*> tags[] = {{1, "RGBW"}, {3, "WBGR"}, {6, "BRWG"}, {8, "GWRB"}};
  for (const auto& [tag, corners] : tags) {
    ASSERT_TRUE(test::WriteOrientedJpeg(folder + QStringLiteral("tag%1.jpg").arg(tag), test::Quarters(120, 60), tag));
  }
  ASSERT_EQ(Build(folder, true), 4);
  for (int i = 0; i < 4; ++i) {
    const auto& [tag, corners] = tags[i];
    SCOPED_TRACE(tag);
    const QSize upright = tag >= 5 ? QSize(60, 120) : QSize(120, 60);
    EXPECT_EQ(QSize(panel_.table().ThumbWidths(i), panel_.table().ThumbHeights(i)), upright);
    EXPECT_EQ(panel_.cellTooltip(i),
              QStringLiteral("tag%1.jpg (%2x%3 pixels)").arg(tag).arg(upright.width()).arg(upright.height()));
    const QImage& picture = panel_.cell(i).picture;
    EXPECT_EQ(picture.width() > picture.height(), tag < 5);
    EXPECT_EQ(test::CornerColours(picture), corners);
  }
}

// Uncompressed photos larger than a decode may hold whole (what raw
// converters export, 48-megapixel TIFFs and bitmaps) get their cells and facts.
TEST_F(ThumbnailPanelTest, BigUncompressedPhotosGetTheirCells) {
  const QString folder = test::freshFolder(QStringLiteral("big")) + QLatin1Char('/');
  ASSERT_TRUE(test::WriteBlackTiff(folder + QStringLiteral("a raw converter's.tif"), 6000, 4000, 16, 3));
  ASSERT_TRUE(test::WriteBlackTiff(folder + QStringLiteral("b colour.tif"), 8000, 6000, 8, 3));
  ASSERT_TRUE(test::WriteBlackBmp(folder + QStringLiteral("c colour.bmp"), 8000, 6000));
  ASSERT_EQ(Build(folder, true), 3);
  const ThumbTable& table = panel_.table();
  const struct { QSize size; int bits; } facts[] = {{{6000, 4000}, 48}, {{8000, 6000}, 24}, {{8000, 6000}, 24}};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    ASSERT_FALSE(table.ThumbUnsupported(i));
    EXPECT_EQ(QSize(table.ThumbWidths(i), table.ThumbHeights(i)), facts[i].size);
    EXPECT_EQ(table.ThumbBits(i), facts[i].bits);
    const QImage& picture = panel_.cell(i).picture;
    EXPECT_EQ(picture.pixel(picture.width() / 2, picture.height() / 2), qRgb(0, 0, 0));
  }
}

TEST_F(ThumbnailPanelTest, EmptyOrUnreadableFolderLeavesAnEmptyTable) {
  QSignalSpy making(&panel_, &ThumbnailPanel::makingCells);
  QSignalSpy errors(&panel_, &ThumbnailPanel::errorMessage);
  EXPECT_EQ(Build(test::freshFolder(QStringLiteral("empty"))), 0);
  EXPECT_EQ(Build(test::homeFolder() + QStringLiteral("/missing/")), 0);
  EXPECT_TRUE(making.isEmpty());
  ASSERT_EQ(errors.size(), 1);
  EXPECT_TRUE(errors.first().first().toString().startsWith(QStringLiteral("ThumbNail read error: ")));
  EXPECT_TRUE(panel_.isEnabled());
  EXPECT_TRUE(panel_.table().ThumbSel() == -1);
}

// An Esc handled in the events after cell 3 stops the build after cell 4,
// which is counted; an Esc left over from before the build does not count.
TEST_F(ThumbnailPanelTest, EscStopsAfterTheCellThatFollowsIt) {
  const QString folder = Pictures(QStringLiteral("esc"), 30);
  bool* abort = &panel_.abortFlag();
  *abort = true;
  QSignalSpy captions(&panel_, &ThumbnailPanel::folderCaptionChanged);
  QObject::connect(&panel_, &ThumbnailPanel::folderCaptionChanged, [abort](const QString& caption) {
    if (caption == QStringLiteral("Loading picture 3 of 30")) {
      QMetaObject::invokeMethod(qApp, [abort] { *abort = true; }, Qt::QueuedConnection);
    }
  });
  EXPECT_EQ(Build(folder), 4);
  EXPECT_FALSE(*abort);
  EXPECT_EQ(captions.last().first().toString(), QStringLiteral("Loading picture 4 of 30"));
  EXPECT_TRUE(panel_.cell(3).visible);
  EXPECT_TRUE(!panel_.cell(4).visible);
  EXPECT_TRUE(panel_.updatesEnabled()) << "the window paints again after Esc";
  EXPECT_EQ(panel_.table().ThumbFiles(29), folder + QStringLiteral("29.png")) << "the list keeps every file";
}

// An Esc while the folder is being listed ends the build with no cell; the
// listing passes over the files it has not yet looked at.
TEST_F(ThumbnailPanelTest, EscWhileTheFolderIsListedEndsTheBuild) {
  const QString folder = Pictures(QStringLiteral("listed"), 6);
  QSignalSpy making(&panel_, &ThumbnailPanel::makingCells);
  const QMetaObject::Connection esc =
      QObject::connect(&panel_, &ThumbnailPanel::buildStarted, [this] { panel_.abortFlag() = true; });
  EXPECT_EQ(Build(folder), 0);
  QObject::disconnect(esc);
  EXPECT_TRUE(making.isEmpty());
  EXPECT_FALSE(panel_.abortFlag());
  EXPECT_TRUE(panel_.isEnabled());
  EXPECT_EQ(Build(folder), 6) << "the next build lists the folder whole";

  const auto listed = ListPictureFiles(folder, [] { return true; });
  ASSERT_TRUE(listed);
  EXPECT_TRUE(listed->isEmpty());
  EXPECT_EQ(ListPictureFiles(folder, [] { return false; })->size(), 6);
}

TEST_F(ThumbnailPanelTest, RefusesToStartOrClearOverARunningBuild) {
  const QString folder = Pictures(QStringLiteral("reentry"), 12);
  QSignalSpy finished(&panel_, &ThumbnailPanel::buildFinished);
  QSignalSpy cleared(&panel_, &ThumbnailPanel::cleared);
  ASSERT_TRUE(panel_.ThumbNail(folder, false).ok());
  EXPECT_TRUE(panel_.building());
  EXPECT_TRUE(!panel_.isEnabled());
  EXPECT_FALSE(panel_.ThumbNail(folder, true).ok());
  EXPECT_FALSE(panel_.ThumbNailClear());
  ASSERT_TRUE(RunUntil([&] { return !finished.isEmpty(); }));
  EXPECT_EQ(panel_.table().ThumbCount(), 12);
  EXPECT_EQ(panel_.thumbCell(), 860);
  EXPECT_TRUE(cleared.isEmpty());

  EXPECT_TRUE(panel_.ThumbNailClear());
  EXPECT_EQ(std::pair(panel_.table().ThumbCount(), panel_.cellCount()), std::pair(0, 0));
  EXPECT_EQ(cleared.size(), 1);
}

// The first two cells are made at once; the others wait at a gate that the
// test opens only as it closes the panel.
TEST_F(ThumbnailPanelTest, ClosingDuringABuildLeavesNoWorkerBehind) {
  const QString folder = Pictures(QStringLiteral("closing"), 40);
  auto panel = std::make_unique<ThumbnailPanel>();
  Gate gate;
  panel->setCellWork(gate.Holding([](const QString& file) {
    return !file.endsWith(QStringLiteral("/00.png")) && !file.endsWith(QStringLiteral("/01.png"));
  }));
  int made = 0;
  QObject::connect(panel.get(), &ThumbnailPanel::progressChanged, [&made] { ++made; });
  ASSERT_TRUE(panel->ThumbNail(folder, false).ok());
  ASSERT_TRUE(RunUntil([&] { return made >= 2; }));
  gate.Open();
  panel.reset();
  EXPECT_EQ(gate.working, 0) << "every worker has ended with the panel";
  QCoreApplication::processEvents();
  EXPECT_EQ(made, 2) << "no cell is handed over after the panel is gone";
}

// FIFOs in the folder never hold a build up. A file that never answers
// holds up only its own cell: Esc gives it up as unreadable and stops the
// build, and neither closing nor the program's exit waits for its worker.
TEST_F(ThumbnailPanelTest, AFileThatNeverAnswersHoldsUpOnlyItsOwnCell) {
  const QString folder = Pictures(QStringLiteral("stuck"), 3);
  for (const char* name : {"pipe.jpg", "pipe.gif"}) {
    ASSERT_EQ(::mkfifo(QFile::encodeName(folder + QLatin1String(name)).constData(), 0600), 0);
  }
  auto panel = std::make_unique<ThumbnailPanel>();
  QSignalSpy finished(panel.get(), &ThumbnailPanel::buildFinished);
  ASSERT_TRUE(panel->ThumbNail(folder, false).ok());
  ASSERT_TRUE(RunUntil([&] { return !finished.isEmpty(); }));
  const int count = finished.first().first().toInt();
  EXPECT_GE(count, 3);
  for (int i = 0; i < count; ++i) EXPECT_EQ(panel->table().ThumbUnsupported(i), i >= 3) << i;

  // Its worker stays held to the end of the run, which must still end.
  static Gate* const neverOpened = new Gate;
  Gate& gate = *neverOpened;
  panel->setCellWork(gate.Holding([](const QString& file) { return file.endsWith(QStringLiteral("/01.png")); }));
  bool& abort = panel->abortFlag();
  QSignalSpy captions(panel.get(), &ThumbnailPanel::folderCaptionChanged);
  QObject::connect(panel.get(), &ThumbnailPanel::folderCaptionChanged, [&abort](const QString& caption) {
    if (caption.startsWith(QStringLiteral("Loading picture 1 of "))) {
      QMetaObject::invokeMethod(qApp, [&abort] { abort = true; }, Qt::QueuedConnection);
    }
  });
  finished.clear();
  ASSERT_TRUE(panel->ThumbNail(folder, false).ok());
  EXPECT_TRUE(RunUntil([&] { return !finished.isEmpty(); })) << "Esc waits on the cell that never comes";
  if (!finished.isEmpty()) {
    EXPECT_EQ(finished.first().first().toInt(), 2);
    EXPECT_TRUE(panel->table().ThumbUnsupported(1));
    EXPECT_TRUE(captions.last().first().toString().startsWith(QStringLiteral("Loading picture 2 of ")));
  }

  // Closing goes ahead; a watchdog lets the worker go after a minute, so that a regression fails rather than hangs.
  std::atomic<bool> closed{false};
  std::atomic<bool> watchdogOpened{false};
  std::thread watchdog([&] {
    std::unique_lock<std::mutex> held(gate.lock);
    if (!gate.opened.wait_for(held, std::chrono::minutes(1), [&] { return closed.load(); })) {
      watchdogOpened = true;
      gate.open = true;
      gate.opened.notify_all();
    }
  });
  panel.reset();
  {
    const std::lock_guard<std::mutex> held(gate.lock);
    closed = true;
  }
  gate.opened.notify_all();
  watchdog.join();
  EXPECT_FALSE(watchdogOpened) << "closing waited for the stuck worker";
}

// Cells that come at every turn of the event loop still let the window paint
// at the end of each pause of its pace, not only once the build is over.
TEST_F(ThumbnailPanelTest, TheWindowPaintsWhileCellsAreMade) {
  const QString folder = test::freshFolder(QStringLiteral("paints")) + QLatin1Char('/');
  for (int i = 0; i < 300; ++i) test::WriteText(folder + QStringLiteral("%1.gif").arg(i, 3, 10, QLatin1Char('0')), "");
  panel_.setCellWork([](const QString&, int scale) {
    CellPicture cell;
    cell.facts = {80, 60, 24, 0, false};
    cell.image = QImage(scale, scale, QImage::Format_RGB32);
    cell.image.fill(Qt::darkGreen);
    return cell;
  });
  // Each pause ends as the next cell comes, the worst moment: that cell's
  // successor is then queued ahead of the paint the end of the pause asks for.
  std::vector<std::function<void()>> due;
  std::vector<std::function<void()>> ending;
  int longestPause = 0;
  panel_.paintPace().setScheduler([&](int ms, std::function<void()> release) {
    longestPause = std::max(longestPause, ms);
    due.push_back(std::move(release));
  });
  QObject::connect(&panel_, &ThumbnailPanel::progressChanged, [&] {
    for (auto& release : std::exchange(ending, {})) release();
    ending = std::exchange(due, {});
  });
  struct PaintsWhileMaking : QObject {
    bool making = false;
    int count = 0;
    bool eventFilter(QObject*, QEvent* event) override {
      count += event->type() == QEvent::Paint && making ? 1 : 0;
      return false;
    }
  } paints;
  QObject::connect(&panel_, &ThumbnailPanel::progressChanged, [&paints] { paints.making = true; });
  QObject::connect(&panel_, &ThumbnailPanel::makingCells, [&paints](bool making) {
    if (!making) paints.making = false;
  });
  panel_.installEventFilter(&paints);
  EXPECT_EQ(Build(folder), 300);
  EXPECT_GT(paints.count, 0);
  EXPECT_LE(longestPause, 250) << "a few paints a second at least";
  EXPECT_TRUE(panel_.updatesEnabled());
}

TEST_F(ThumbnailPanelTest, ScrollBarMovesRowsAndIsResetWhenHidden) {
  panel_.resize(200, 100);  // 1500 twips at 96 DPI
  ASSERT_EQ(Build(Pictures(QStringLiteral("scroll"), 12)), 12);
  QScrollBar* bar = panel_.scrollBar();
  ASSERT_TRUE(bar->isVisible());
  EXPECT_EQ(bar->maximum(), (3420 - 1500) / 860 + 1);
  const int top = panel_.frameRect(3).top();
  bar->setValue(3);
  bar->setValue(1);
  EXPECT_NEAR(panel_.frameRect(3).top(), top - 860 / panel_.twipsPerPixel(), 1);
  EXPECT_EQ(panel_.hitAt(panel_.frameRect(3).center()).index, 3);

  ASSERT_TRUE(panel_.ThumbNailClear());
  EXPECT_TRUE(!bar->isVisible());
  EXPECT_TRUE(bar->value() == 0);
}

// A folder far larger than the pictures the panel keeps: after the build and
// after jumps to the end, the middle and back to the top, few cells hold a
// picture and every cell on the screen shows its own. Files that can no
// longer be read when their cells come back show the placeholder, and the
// table keeps what the build learnt of them.
TEST_F(ThumbnailPanelTest, KeepsPicturesNearTheScreenAndMakesThemAgainAfterAJump) {
  constexpr int kCells = 1200;
  constexpr int kMostHeld = kCells / 4;
  const QString folder = test::freshFolder(QStringLiteral("many")) + QLatin1Char('/');
  for (int i = 0; i < kCells; ++i) test::WriteText(folder + QStringLiteral("%1.gif").arg(i, 4, 10, QLatin1Char('0')), "");
  const auto colourOf = [](int number) { return QColor(number % 256, number / 256, 100); };
  // Shared with the cell work, which may still run when the test ends.
  const auto unreadableFiles = std::make_shared<std::atomic<bool>>(false);
  std::atomic<bool>& unreadable = *unreadableFiles;
  panel_.setCellWork([colourOf, unreadableFiles](const QString& file, int scale) {
    CellPicture cell;
    cell.facts.unsupported = *unreadableFiles;
    if (cell.facts.unsupported) return cell;
    cell.facts = {80, 60, 24, 0, false};
    cell.image = QImage(scale, scale * 3 / 4, QImage::Format_RGB32);
    cell.image.fill(colourOf(QFileInfo(file).completeBaseName().toInt()));
    return cell;
  });
  ASSERT_EQ(Build(folder, true), kCells);
  const auto held = [this] {
    int count = 0;
    for (int i = 0; i < panel_.cellCount(); ++i) count += panel_.cell(i).picture.isNull() ? 0 : 1;
    return count;
  };
  const auto onScreen = [this] {
    std::vector<int> cells;
    const QRect screen(0, 0, panel_.browse()->width(), panel_.height());
    for (int i = 0; i < panel_.cellCount(); ++i) {
      if (panel_.frameRect(i).intersects(screen)) cells.push_back(i);
    }
    return cells;
  };
  EXPECT_LE(held(), kMostHeld) << "after the build";
  QScrollBar* bar = panel_.scrollBar();
  for (const int value : {bar->maximum(), bar->maximum() / 2, 0}) {
    SCOPED_TRACE(value);
    bar->setValue(value);
    const std::vector<int> shown = onScreen();
    ASSERT_FALSE(shown.empty());
    EXPECT_TRUE(RunUntil([&] {
      return std::all_of(shown.begin(), shown.end(), [this](int i) { return !panel_.cell(i).picture.isNull(); });
    })) << "the pictures of the cells on the screen";
    for (const int i : shown) EXPECT_EQ(panel_.cell(i).picture.pixelColor(0, 0), colourOf(i)) << i;
    EXPECT_LE(held(), kMostHeld);
  }

  unreadable = true;
  bar->setValue(bar->maximum() / 3);
  const std::vector<int> shown = onScreen();
  ASSERT_TRUE(RunUntil([&] { return !panel_.cell(shown.front()).picture.isNull(); })) << "the placeholder";
  EXPECT_EQ(panel_.cell(shown.front()).picture, PlaceholderPicture());
  EXPECT_FALSE(panel_.table().ThumbUnsupported(shown.front()));
  EXPECT_EQ(panel_.table().ThumbWidths(shown.front()), 80);
}

// One worker makes the cells of a large folder, so the order in which cells
// are made again is the order they were asked for. The pictures made last
// are kept beyond the cells near the screen; cells that come back into view
// are made again from the screen down, then upwards above it; work for cells
// that scrolled away is given up, and a picture that arrives for a cell now
// showing another file does not land in it.
TEST_F(ThumbnailPanelTest, MakesCellsAgainScreenFirstAndOnlyWhereTheirFilesStillAre) {
  constexpr int kCells = 1000;
  const QString folder = test::freshFolder(QStringLiteral("again")) + QLatin1Char('/');
  for (int i = 0; i < kCells; ++i) test::WriteText(folder + QStringLiteral("%1.gif").arg(i, 4, 10, QLatin1Char('0')), "");
  const auto colourOf = [](int number) { return QColor(number % 256, number / 256, 100); };
  // Shared with the cell work, which may still run on the panel's worker
  // when the test ends.
  struct Shared {
    std::mutex lock;
    std::vector<int> made;  // file numbers, in the order their work began
    std::atomic<bool> holding{false};
    Gate gate;
  };
  const auto shared = std::make_shared<Shared>();
  std::mutex& lock = shared->lock;
  std::vector<int>& made = shared->made;
  std::atomic<bool>& holding = shared->holding;
  Gate& gate = shared->gate;
  panel_.setWorkers(1);
  panel_.setCellWork([shared, colourOf](const QString& file, int scale) {
    const int number = QFileInfo(file).completeBaseName().toInt();
    {
      const std::lock_guard<std::mutex> guard(shared->lock);
      shared->made.push_back(number);
    }
    if (shared->holding) {
      std::unique_lock<std::mutex> guard(shared->gate.lock);
      shared->gate.opened.wait(guard, [&gate = shared->gate] { return gate.open; });
    }
    CellPicture cell;
    cell.facts = {80, 60, 24, 0, false};
    cell.image = QImage(scale, scale * 3 / 4, QImage::Format_RGB32);
    cell.image.fill(colourOf(number));
    return cell;
  });
  ASSERT_EQ(Build(folder, true), kCells);
  for (int i = kCells - 150; i < kCells; ++i) ASSERT_FALSE(panel_.cell(i).picture.isNull()) << "made last: " << i;

  const auto madeSoFar = [&] {
    const std::lock_guard<std::mutex> guard(lock);
    return made;
  };
  const auto onScreen = [this] {
    std::vector<int> cells;
    for (int i = 0; i < panel_.cellCount(); ++i) {
      if (panel_.frameRect(i).intersects(QRect(0, 0, panel_.browse()->width(), panel_.height()))) cells.push_back(i);
    }
    return cells;
  };
  const auto shownWithPictures = [&] {
    const std::vector<int> shown = onScreen();
    return std::all_of(shown.begin(), shown.end(), [&](int i) { return !panel_.cell(i).picture.isNull(); });
  };
  const auto shownWithTheirOwnPictures = [&] {
    const std::vector<int> shown = onScreen();
    return std::all_of(shown.begin(), shown.end(), [&](int i) {
      const int number = QFileInfo(panel_.table().ThumbFiles(i)).completeBaseName().toInt();
      return panel_.cell(i).picture.pixelColor(0, 0) == colourOf(number);
    });
  };
  QScrollBar* bar = panel_.scrollBar();
  const auto scrollTo = [&](int value) {
    {
      const std::lock_guard<std::mutex> guard(lock);
      made.clear();
    }
    bar->setValue(value);
  };
  const auto holdAt = [&](int value) {  // the first cell made again waits for the gate
    {
      const std::lock_guard<std::mutex> guard(gate.lock);
      gate.open = false;
    }
    holding = true;
    scrollTo(value);
    return RunUntil([&] { return !madeSoFar().empty(); });
  };

  ASSERT_TRUE(holdAt(bar->maximum() / 2)) << "the first cell made again in the middle";
  const int middle = madeSoFar().front();
  EXPECT_EQ(middle, onScreen().front());
  scrollTo(bar->maximum() / 4);  // the middle's other cells are given up
  gate.Open();
  const std::vector<int> shown = onScreen();
  ASSERT_TRUE(RunUntil([&] { return shownWithPictures() && !panel_.cell(shown.front() - 1).picture.isNull(); }))
      << "the cells a quarter down and the one above them";
  EXPECT_TRUE(shownWithTheirOwnPictures());
  const std::vector<int> order = madeSoFar();
  ASSERT_GE(order.size(), shown.size() + 2);
  EXPECT_TRUE(std::equal(shown.begin(), shown.end(), order.begin())) << "the screen first";
  const auto turn = std::is_sorted_until(order.begin(), order.end());
  EXPECT_EQ(*turn, shown.front() - 1) << "below, then the row above the screen";
  EXPECT_TRUE(std::is_sorted(turn, order.end(), std::greater<>())) << "then upwards";
  EXPECT_TRUE(panel_.cell(middle).picture.isNull()) << "the middle's picture came too late";
  EXPECT_TRUE(std::none_of(order.begin(), order.end(), [&](int n) { return std::abs(n - middle) < 40; }));

  // The cell whose picture is being made gets its neighbour's file.
  ASSERT_TRUE(holdAt(bar->maximum() * 3 / 4)) << "the cell held three quarters down";
  const int moved = madeSoFar().front();
  panel_.removeCell(moved - 1);
  gate.Open();
  ASSERT_TRUE(RunUntil(shownWithPictures)) << "the cells three quarters down";
  EXPECT_TRUE(shownWithTheirOwnPictures());
  EXPECT_EQ(panel_.cell(moved).picture.pixelColor(0, 0), colourOf(moved + 1));
}

// What a build shows of each cell: its picture and its table entry.
struct CellShown {
  QImage picture;
  int width, height, bits, colors;
  bool unsupported;
  bool operator==(const CellShown&) const = default;
};
void PrintTo(const CellShown& cell, std::ostream* out) {
  *out << "{picture " << cell.picture.width() << "x" << cell.picture.height()
       << ", " << cell.width << "x" << cell.height << ", bits " << cell.bits << ", colours " << cell.colors
       << (cell.unsupported ? ", unsupported}" : "}");
}

TEST_F(ThumbnailPanelTest, CellsFromTheCacheAreTheCellsOfAFreshBuild) {
  const QString folder = test::freshFolder(QStringLiteral("cached")) + QLatin1Char('/');
  QImage photo(900, 600, QImage::Format_RGB32);
  for (int y = 0; y < photo.height(); ++y)
    for (int x = 0; x < photo.width(); ++x) photo.setPixel(x, y, qRgb(x % 256, y % 256, (x * y) % 256));
  ASSERT_TRUE(photo.save(folder + "photo.jpg", "jpeg", 90));
  QImage indexed(70, 300, QImage::Format_Indexed8);
  indexed.setColorTable({qRgb(255, 0, 0), qRgb(0, 0, 255), qRgb(0, 200, 0)});
  indexed.fill(1);
  ASSERT_TRUE(indexed.save(folder + "indexed.png"));
  test::WriteText(folder + "tiny.gif",  // 1 x 1, two colours
                  QByteArray::fromHex("47494638396101000100800000000000ffffff2c00000000010001000002024401003b"));
  const QByteArray whole = test::ReadBytes(folder + "photo.jpg");
  test::WriteText(folder + "broken.jpg", whole.left(whole.size() / 2));  // a header, half its picture

  std::atomic<int> reads{0};
  ThumbnailSource counting;
  counting.probe = [&reads](const QString& path) { ++reads; return Imaging::FileInfo(path); };
  counting.decode = [&reads](const QString& path, int side) { ++reads; return Imaging::readScaled(path, side); };
  const QString root = test::freshFolder(QStringLiteral("cache")) + QStringLiteral("/thumbnails");
  const auto shown = [&](bool large) {
    EXPECT_EQ(Build(folder, large), 4);
    std::vector<CellShown> cells;
    const ThumbTable& table = panel_.table();
    for (int i = 0; i < panel_.cellCount(); ++i) {
      cells.push_back({panel_.cell(i).picture, table.ThumbWidths(i), table.ThumbHeights(i), table.ThumbBits(i),
                       table.ThumbColors(i), table.ThumbUnsupported(i)});
    }
    return cells;
  };
  for (const bool large : {false, true}) {
    SCOPED_TRACE(large ? "large cells" : "small cells");
    panel_.setThumbnailCache(nullptr);  // no cache at all
    const auto fresh = shown(large);
    const auto cache = std::make_shared<ThumbnailCache>(root, QStringList{}, counting);
    panel_.setThumbnailCache(cache);
    EXPECT_EQ(shown(large), fresh) << "filling the cache";
    cache->finishWrites();
    const int readsBefore = reads;
    EXPECT_EQ(shown(large), fresh) << "from the cache";
    EXPECT_EQ(reads, readsBefore) << "nothing read but the cache";
  }
}

// Four cells: 0 and 1 pictures, 2 unreadable, 3 a picture.
class ThumbnailSelectionTest : public ThumbnailPanelTest {
 protected:
  void SetUp() override {
    ThumbnailPanelTest::SetUp();
    const QString folder = test::freshFolder(QStringLiteral("select")) + QLatin1Char('/');
    test::WritePicture(folder + QStringLiteral("0.png"), 80, 40);
    test::WritePicture(folder + QStringLiteral("1.png"), 40, 80);
    test::WriteText(folder + QStringLiteral("2.gif"), "broken");
    test::WritePicture(folder + QStringLiteral("3.png"), 50, 50);
    ASSERT_EQ(Build(folder), 4);
    panel_.setPageReadings([] {
      return ThumbnailPanel::PageReadings{QStringLiteral("4.0 in width"), QStringLiteral("2.00"), 8.0F, 10.0F,
                                          4000.0F, 5000.0F};
    });
    panel_.setDragRunner([this](QMimeData* carried, const QImage&) { dragged_.reset(carried); });
  }

  std::unique_ptr<QMimeData> dragged_;
};

TEST_F(ThumbnailSelectionTest, HoverMarksSupportedUnselectedCells) {
  QSignalSpy heights(&panel_, &ThumbnailPanel::printedHeightChanged);
  Move(OnPicture(1));
  EXPECT_EQ(panel_.table().ThumbHover(), 1);
  EXPECT_EQ(Back(1), kBlue);
  EXPECT_EQ(heights.last().first().toString(), QStringLiteral("4.00"));  // 2.00 x 80 / 40

  Move(OnPicture(2));  // unreadable: nothing changes
  EXPECT_EQ(panel_.table().ThumbHover(), 1);
  EXPECT_EQ(Back(2), kGrey);

  panel_.table().setFacts(3, {0, 0, 24, 0, false});  // a picture without a size
  Move(OnFrame(3));
  EXPECT_EQ(Back(1), kGrey) << "the others are repainted";
  EXPECT_EQ(Back(3), kGrey);
  EXPECT_EQ(panel_.table().ThumbHover(), 1);
  QSignalSpy addHeights(&panel_, &ThumbnailPanel::addHeightChanged);
  panel_.ThumbNailSelect(3, true);  // no division by a zero width
  EXPECT_TRUE(panel_.table().ThumbSel() == 3);
  EXPECT_TRUE(addHeights.isEmpty());
  panel_.ThumbNailSelect(3, false);

  Move(OnPicture(0));
  panel_.panPrev_MouseMove();
  EXPECT_EQ(Back(0), kGrey);
  EXPECT_EQ(panel_.table().ThumbHover(), 0) << "the page panel keeps the hover";
}

TEST_F(ThumbnailSelectionTest, ClickSelectsAndSizesTheNextAddition) {
  QSignalSpy sounds(&panel_, &ThumbnailPanel::selectSoundRequested);
  QSignalSpy tools(&panel_, &ThumbnailPanel::thumbToolsEnabled);
  QSignalSpy widths(&panel_, &ThumbnailPanel::addWidthChanged);
  QSignalSpy heights(&panel_, &ThumbnailPanel::addHeightChanged);
  Click(OnPicture(0));
  Click(OnPicture(0));
  EXPECT_EQ(panel_.table().ThumbSel(), 0);
  EXPECT_EQ(Back(0), kRed);
  EXPECT_TRUE(panel_.cell(0).inset);
  EXPECT_TRUE(panel_.cell(0).dragSource);
  EXPECT_EQ(sounds.size(), 1) << "the same cell again plays no sound";
  EXPECT_EQ(tools.first().first().toBool(), true);
  EXPECT_FLOAT_EQ(widths.last().first().toFloat(), 4.0F / 8.0F * 4000.0F);
  EXPECT_FLOAT_EQ(heights.last().first().toFloat(), 4.0F * 0.5F / 10.0F * 5000.0F);

  Click(OnPicture(2));  // unreadable cells are not selected by the mouse
  EXPECT_EQ(panel_.table().ThumbSel(), 0);

  Click(OnFrame(1));  // a frame selects on the press
  EXPECT_EQ(panel_.table().ThumbSel(), 1);
  EXPECT_EQ(Back(0), kGrey);
  EXPECT_TRUE(panel_.cell(0).dragSource) << "the earlier cell stays a drag source";

  const QPoint gap(TwipsToPixels(870, panel_.twipsPerPixel()), panel_.frameRect(0).center().y());
  Click(gap);
  EXPECT_EQ(std::pair(panel_.table().ThumbSel(), panel_.table().ThumbHover()), std::pair(-1, -1));
  EXPECT_FALSE(tools.last().first().toBool());
  EXPECT_FALSE(panel_.cell(1).inset);
}

TEST_F(ThumbnailSelectionTest, WithASelectionFramesIgnoreTheHoverAndPicturesDoNot) {
  Click(OnPicture(0));
  Move(OnFrame(1));
  EXPECT_EQ(panel_.table().ThumbHover(), -1);
  Move(OnPicture(1));
  EXPECT_EQ(panel_.table().ThumbHover(), 1);
  EXPECT_EQ(Back(0), kRed);
}

// The pointer crossed cell 1 on its way back to the selected cell 0: the drag
// still carries cell 0, the picture that was dragged.
TEST_F(ThumbnailSelectionTest, DragCarriesThePictureThatWasDragged) {
  QSignalSpy started(&panel_, &ThumbnailPanel::dragStarted);
  Click(OnPicture(0));
  Move(OnPicture(1));
  Move(OnPicture(0));
  ASSERT_EQ(panel_.table().ThumbHover(), 1);
  const QPoint from = OnPicture(0);
  Send(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
  Send(QEvent::MouseMove, from + QPoint(QApplication::startDragDistance() + 1, 0), Qt::NoButton, Qt::LeftButton);
  ASSERT_TRUE(dragged_);
  EXPECT_EQ(QString::fromUtf8(dragged_->data(ThumbnailPanel::kMimeType)), panel_.table().ThumbFiles(0));
  EXPECT_EQ(panel_.table().ThumbHover(), 0);
  ASSERT_EQ(started.size(), 1);

  dragged_.reset();
  Send(QEvent::MouseButtonPress, OnPicture(3), Qt::LeftButton, Qt::LeftButton);  // not a drag source
  Send(QEvent::MouseMove, OnPicture(3) + QPoint(20, 0), Qt::NoButton, Qt::LeftButton);
  Send(QEvent::MouseButtonRelease, OnPicture(3), Qt::LeftButton, Qt::NoButton);
  EXPECT_FALSE(dragged_);
}

TEST_F(ThumbnailSelectionTest, RightButtonSelectsThenShowsTheCellMenu) {
  panel_.setCommandAvailable(ThumbnailPanel::CellCommand::Email, true);
  const QString third = panel_.table().ThumbFiles(3);
  panel_.setEmailListLookup([third](const QString& path) { return path == third; });
  QAction* email = panel_.commandAction(ThumbnailPanel::CellCommand::Email);

  Click(OnPicture(3), Qt::RightButton);
  EXPECT_EQ(panel_.table().ThumbSel(), 3);
  EXPECT_TRUE(panel_.fileOptionsMenu()->isVisible());
  EXPECT_TRUE(email->text() == QStringLiteral("Added to Email List"));
  EXPECT_TRUE(email->isChecked());
  panel_.fileOptionsMenu()->hide();

  Send(QEvent::MouseButtonPress, OnFrame(1), Qt::RightButton, Qt::RightButton);
  EXPECT_EQ(panel_.table().ThumbSel(), 1);
  EXPECT_FALSE(panel_.fileOptionsMenu()->isVisible());
  Send(QEvent::MouseButtonRelease, OnFrame(1), Qt::RightButton, Qt::NoButton);
  EXPECT_TRUE(panel_.fileOptionsMenu()->isVisible());
  EXPECT_TRUE(email->text() == QStringLiteral("Add to Email List"));
  EXPECT_TRUE(!email->isChecked());
  panel_.fileOptionsMenu()->hide();
  EXPECT_FALSE(panel_.commandAction(ThumbnailPanel::CellCommand::Delete)->isEnabled());
}

TEST_F(ThumbnailSelectionTest, DoubleClickPreviewsSupportedCellsOnly) {
  QSignalSpy previews(&panel_, &ThumbnailPanel::previewRequested);
  QSignalSpy properties(&panel_, &ThumbnailPanel::propertiesRequested);
  panel_.mnuFileOptionsUnselect_Click();
  panel_.mnuFileOptionsProperties_Click();
  panel_.mnuFileOptionsView_Click();
  EXPECT_TRUE(previews.isEmpty()) << "nothing happens without a selection";
  EXPECT_TRUE(properties.isEmpty()) << "nothing happens without a selection";

  panel_.setPreviewAvailable(true);
  Click(OnPicture(1));
  Send(QEvent::MouseButtonDblClick, OnPicture(1), Qt::LeftButton, Qt::LeftButton);
  Send(QEvent::MouseButtonRelease, OnPicture(1), Qt::LeftButton, Qt::NoButton);
  ASSERT_EQ(previews.size(), 1);
  EXPECT_EQ(previews.first().at(0).toString(), panel_.table().ThumbFiles(1));
  EXPECT_FLOAT_EQ(previews.first().at(1).toFloat(), 0.5F);

  Send(QEvent::MouseButtonDblClick, OnPicture(2), Qt::LeftButton, Qt::LeftButton);
  EXPECT_EQ(previews.size(), 1);

  panel_.ThumbNailSelect(2, true);  // the preview window may select an unreadable cell
  panel_.mnuFileOptionsView_Click();
  panel_.mnuFileOptionsProperties_Click();
  EXPECT_TRUE(previews.size() == 1);
  EXPECT_TRUE(properties.size() == 1);

  // The preview took the double click's release: the next click is a cell's own.
  Click(OnPicture(1));
  Send(QEvent::MouseButtonDblClick, OnPicture(1), Qt::LeftButton, Qt::LeftButton);
  EXPECT_EQ(previews.size(), 2);
  Click(OnPicture(3), Qt::RightButton);
  EXPECT_EQ(panel_.table().ThumbSel(), 3);
  panel_.fileOptionsMenu()->hide();
}

}  // namespace
}  // namespace lumaset
