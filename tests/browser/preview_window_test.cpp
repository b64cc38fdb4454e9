#include "browser/preview_window.h"

#include <gtest/gtest.h>

#include <QTest>

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QLabel>
#include <QScreen>
#include <QThreadPool>
#include <QToolButton>

#include <atomic>
#include <chrono>
#include <new>
#include <thread>
#include <vector>

#include "browser/background_work.h"
#include "browser/properties_window.h"
#include "browser/thumb_table.h"
#include "support/accessibility.h"
#include "support/test_support.h"
#include "support/uncompressed_pictures.h"

namespace lumaset {
namespace {

TEST(PreviewZoom, ClimbsAndDescendsTheLadderInSinglePrecision) {
  const std::vector<float> up = {1.5f,       2.25f,       3.375f,       5.0625f,       7.59375f,
                                 11.390625f, 17.0859375f, 25.62890625f, 38.443359375f, 57.0f};
  const std::vector<float> down = {38.0f,      25.333334f, 16.888889f, 11.259259f, 7.5061727f,
                                   5.0041151f, 3.3360767f, 2.2240512f, 1.4827008f, 1.0f};
  PreviewZoom zoom;
  EXPECT_FALSE(zoom.Out());
  for (const float expected : up) {
    EXPECT_TRUE(zoom.In()) << expected;
    EXPECT_EQ(zoom.factor(), expected);
  }
  EXPECT_EQ(zoom.Tooltip(), QStringLiteral("Right click to zoom out"));
  EXPECT_FALSE(zoom.In());
  for (const float expected : down) {
    EXPECT_TRUE(zoom.Out()) << expected;
    EXPECT_EQ(zoom.factor(), expected);
  }
  EXPECT_EQ(zoom.Tooltip(), QStringLiteral("Left click to zoom in"));
  // The ladders mix: down from 2.25 is 1.5 again.
  zoom.In();
  zoom.In();
  zoom.Out();
  EXPECT_EQ(zoom.factor(), 1.5f);
  EXPECT_EQ(zoom.Tooltip(), QStringLiteral("Left click to zoom in, right click to zoom out"));
}

TEST(PreviewZoom, CropsTheClickedShareOfThePictureRoundingHalvesToEven) {
  for (const auto& [value, expected] : std::vector<std::pair<double, long long>>{
           {0.5, 0}, {1.5, 2}, {2.5, 2}, {2.5001, 3}, {-2.5, -2}, {-3.5, -4}}) {
    EXPECT_EQ(RoundHalfEven(value), expected) << value;
  }
  // Steps down from 57, or else steps up from 1; the picture's pixels, the click and the crop.
  struct Case { int outs, ins, pixelWidth, pixelHeight; QPointF click; CropRect expected; };
  const QSizeF shown(300, 200);
  for (const Case& c : std::vector<Case>{
           {0, 1, 15, 15, {150, 100}, {2, 2, 10, 10}},          // 2.5 each way goes to 2
           {0, 1, 21, 21, {150, 100}, {4, 4, 14, 14}},          // 3.5 goes to 4
           {0, 1, 600, 400, {0, 0}, {0, 0, 400, 267}},          // the top-left edge
           {0, 1, 600, 400, {300, 200}, {200, 133, 400, 267}},  // the bottom-right edge
           {1, 0, 57, 95, {0, 0}, {0, 0, 2, 2}},                // at 38: 1.5 gives 2, 2.5 gives 2
           {0, 10, 3, 2, {300, 200}, {2, 1, 1, 1}},             // never a crop of nothing
       }) {
    PreviewZoom zoom;
    for (int i = 0; i < 10 && c.outs > 0; ++i) zoom.In();
    for (int i = 0; i < c.outs; ++i) zoom.Out();
    for (int i = 0; i < c.ins; ++i) zoom.In();
    EXPECT_EQ(zoom.Crop(c.pixelWidth, c.pixelHeight, c.click, shown), c.expected)
        << c.pixelWidth << " x " << c.pixelHeight << " at zoom " << zoom.factor();
  }
}

TEST(PreviewGeometry, SizesTheSquareAndFitsThePictureIntoItsArea) {
  EXPECT_EQ(PreviewGeometry::WindowSide(9000, 7000, 9000), 9000);
  EXPECT_EQ(PreviewGeometry::WindowSide(12000, 7000, 9000), 7000);  // wider than the screen is tall

  struct Case { float width, height, aspect; QRect expected; };
  for (const Case& c : std::vector<Case>{
           {1000, 1000, 2.0f, {0, 250, 1000, 500}},
           {1000, 1000, 0.5f, {250, 0, 500, 1000}},
           {1000, 900, 1.0f, {50, 0, 900, 900}},     // a client area lower than wide
           {1000, 800, 1.2f, {20, 0, 960, 800}},     // still as large as it fits
           {900, 1000, 0.8f, {50, 0, 800, 1000}},
           {1000, 800, 0.0f, {100, 0, 800, 800}},    // no usable aspect: square
       }) {
    EXPECT_EQ(PreviewGeometry::FitPicture(c.width, c.height, c.aspect).toRect(), c.expected) << c.aspect;
  }
  EXPECT_EQ(PreviewGeometry::ButtonPanelPlace(9000, 8000, 1500, 600), QPointF(7300, 6900));
}

// A table of `flags.size()` entries; a true flag marks the entry unsupported.
ThumbTable Table(const std::vector<bool>& flags) {
  QStringList paths;
  for (std::size_t i = 0; i < flags.size(); ++i) paths << QStringLiteral("/p/%1.png").arg(i);
  ThumbTable table;
  table.start(paths);
  for (std::size_t i = 0; i < flags.size(); ++i) table.setFacts(static_cast<int>(i), {40, 30, 24, 0, flags[i]});
  return table;
}

TEST(PreviewNavigator, WrapsAndPassesOverUnsupportedEntriesOnce) {
  struct Case { std::vector<bool> unsupported; int from, direction, expected; };
  for (const Case& c : std::vector<Case>{
           {{false, false, false}, 1, +1, 2},
           {{false, false, false}, 2, +1, 0},    // past the end to the first
           {{false, false, false}, 0, -1, 2},    // before the first to the last
           {{false, true, false}, 0, +1, 2},
           {{false, true, true, false}, 0, +1, 3},  // two in a row are both passed over
           {{false, true, true, false}, 0, -1, 3},
           {{true, false, true}, 1, +1, 1},      // the only supported one comes back
           {{false}, 0, +1, 0},
           {{false}, 0, -1, 0},
           {{true, true, true}, 0, +1, -1},      // nothing to show, and no endless walk
           {{}, 0, +1, -1},
       }) {
    EXPECT_EQ(PreviewNavigator::Step(Table(c.unsupported), c.from, c.direction), c.expected)
        << c.unsupported.size() << " entries from " << c.from << " by " << c.direction;
  }
}

class PreviewWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    main_.resize(300, 240);
    main_.show();
    window_.setErrorShower([this](const QString& text) { errors_ << text; });
    QObject::connect(&window_, &PreviewWindow::soundRequested,
                     [this](PreviewWindow::Sound sound, bool wait) { sounds_.push_back({sound, wait}); });
    QObject::connect(&window_, &PreviewWindow::thumbNailSelectRequested, [this](int i) { selected_.push_back(i); });
  }
  // Each lets events run until the window has read its file.
  void Read() { ASSERT_TRUE(test::RunUntil([this] { return !window_.loading(); })) << "the preview's file read"; }
  void View(const QString& file, float aspect, int index) { window_.View(file, aspect, index), Read(); }
  void Zoom(Qt::MouseButton button, QPointF at) { window_.Image1_MouseDown(button, at), Read(); }
  QString Picture(const QString& name, int width, int height) {
    EXPECT_TRUE(test::WritePicture(folder_ + name, width, height));
    return folder_ + name;
  }

  using Sound = PreviewWindow::Sound;
  using Sounds = std::vector<std::pair<Sound, bool>>;
  const QString folder_ = test::freshFolder(QStringLiteral("preview")) + QLatin1Char('/');
  ThumbTable table_;
  QWidget main_;
  PreviewWindow window_{table_, QStringLiteral("Tavrin Lumaset"), &main_};
  QStringList errors_;
  Sounds sounds_;
  std::vector<int> selected_;
};

TEST_F(PreviewWindowTest, ViewFitsTheFileAndAPictureFromThePageHasNoNeighbours) {
  View(Picture(QStringLiteral("wide.png"), 200, 100), 2.0f, -1);
  EXPECT_EQ(window_.windowTitle(), QStringLiteral("wide.png"));
  EXPECT_EQ(test::AccessibilityProblems(&window_), QStringList());
  EXPECT_EQ(window_.size(), QSize(300, 300));  // the main window's width, as a square
  EXPECT_EQ(window_.image()->geometry(), QRect(0, 75, 300, 150));
  EXPECT_EQ(window_.shownPicture().size(), QSize(200, 100));
  EXPECT_FALSE(window_.previousButton()->isEnabled());
  EXPECT_FALSE(window_.nextButton()->isEnabled());
  EXPECT_EQ(selected_, std::vector<int>{-1});
  EXPECT_EQ(sounds_, (Sounds{{Sound::Show, false}}));

  // A main window wider than the screen is tall gives a square of its height;
  // a GIF name in any case takes the picture reader.
  const QString gif = folder_ + QStringLiteral("tiny.gIF");
  test::WriteText(gif, QByteArray::fromHex("47494638396101000100800000000000ffffff2c00000000010001000002024401003b"));
  main_.resize(main_.screen()->geometry().height() + 50, 200);
  View(gif, 1.0f, -1);
  EXPECT_EQ(window_.size(), QSize(200, 200));
  EXPECT_EQ(window_.shownPicture().size(), QSize(1, 1));

  // A drawing under a GIF's name is no picture: its reader would open
  // whatever files the drawing names.
  const QString drawing = folder_ + QStringLiteral("drawing.gif");
  test::WriteText(drawing, "<svg xmlns='http://www.w3.org/2000/svg' width='20' height='10'><rect width='20' "
                           "height='10'/></svg>");
  View(drawing, 2.0f, -1);
  EXPECT_TRUE(window_.shownPicture().isNull());
}

// An uncompressed photo of 144 MB (a raw converter's 16-bit TIFF) shows
// whole, and its colours are counted for its properties.
TEST_F(PreviewWindowTest, ABigUncompressedPhotoShowsWhole) {
  const QString file = folder_ + QStringLiteral("raw converter.tif");
  ASSERT_TRUE(test::WriteBlackTiff(file, 6000, 4000, 16, 3));
  View(file, 1.5f, -1);
  EXPECT_EQ(errors_, QStringList());
  EXPECT_EQ(window_.shownPicture().size(), QSize(6000, 4000));
  EXPECT_EQ(CountColorsUsed(file), 1);
}

TEST_F(PreviewWindowTest, NextAndPreviousWalkTheTableAndAFailedLoadShowsNothingStale) {
  table_.start({Picture(QStringLiteral("a.png"), 40, 30), folder_ + QStringLiteral("b.png"),
                Picture(QStringLiteral("c.png"), 30, 40), folder_ + QStringLiteral("d.png")});
  table_.setFacts(0, {40, 30, 24, 0, false});
  table_.markUnsupported(1);
  for (int i : {2, 3}) table_.setFacts(i, {30, 40, 24, 0, false});  // d.png listed as readable, but gone since

  View(table_.ThumbFiles(0), 40.0f / 30.0f, 0);
  EXPECT_TRUE(window_.nextButton()->isEnabled());
  window_.nextButton()->click(), Read();
  EXPECT_EQ(window_.viewIndex(), 2);  // the unsupported one is passed over
  EXPECT_EQ(window_.shownPicture().size(), QSize(30, 40));
  EXPECT_FLOAT_EQ(window_.viewAspect(), 0.75f);
  window_.cmdNext_Click(), Read();
  EXPECT_EQ(window_.windowTitle(), QStringLiteral("d.png"));
  EXPECT_TRUE(window_.shownPicture().isNull()) << "not c.png under d.png's name";
  EXPECT_TRUE(window_.image()->pixmap().isNull()) << "not c.png under d.png's name";
  window_.cmdNext_Click(), Read();
  window_.cmdPrev_Click(), Read();
  EXPECT_EQ(selected_, (std::vector<int>{0, 2, 3, 0, 3}));  // round the ends both ways

  // Enter and Return press the focused button, as Space does.
  QTest::keyClick(window_.nextButton(), Qt::Key_Return), Read();
  QTest::keyClick(window_.previousButton(), Qt::Key_Enter), Read();
  EXPECT_EQ(selected_, (std::vector<int>{0, 2, 3, 0, 3, 0, 3}));
}

TEST_F(PreviewWindowTest, ZoomClicksCropFromTheFileAndStopAtTheirLimits) {
  const QString file = Picture(QStringLiteral("photo.png"), 90, 60);
  View(file, 1.5f, -1);
  window_.show();
  sounds_.clear();
  const QSizeF shown = window_.image()->size();
  Zoom(Qt::RightButton, {0, 0});  // already whole: nothing
  Zoom(Qt::LeftButton, {shown.width(), shown.height()});
  EXPECT_EQ(window_.shownPicture(), QImage(file).convertToFormat(QImage::Format_RGB32).copy(30, 20, 60, 40));
  EXPECT_EQ(window_.image()->toolTip(), QStringLiteral("Left click to zoom in, right click to zoom out"));
  EXPECT_EQ(window_.image()->geometry().size(), shown.toSize());  // the crop fills the same place

  for (int i = 0; i < 10; ++i) Zoom(Qt::LeftButton, {0, 0});  // the last does nothing
  EXPECT_EQ(window_.zoomFactor(), 57.0f);
  EXPECT_EQ(window_.shownPicture().size(), QSize(2, 1));
  Zoom(Qt::RightButton, {0, 0});
  EXPECT_EQ(window_.zoomFactor(), 38.0f);
  EXPECT_EQ(sounds_.size(), 11u);
  EXPECT_EQ(sounds_.back(), std::pair(Sound::Out, false));

  // The file went away: the message, and the zoom stays where it was.
  ASSERT_TRUE(QFile::remove(file));
  Zoom(Qt::RightButton, {0, 0});
  ASSERT_EQ(errors_.size(), 1);
  EXPECT_TRUE(errors_.first().startsWith(QStringLiteral("Crop/Resize error: ")));
  EXPECT_TRUE(window_.zoomFactor() == 38.0f);

  sounds_.clear();
  window_.stopButton()->click();
  EXPECT_FALSE(window_.isVisible());
  EXPECT_EQ(sounds_, (Sounds{{Sound::Show, true}}));
}

// Clicks made while the file is still being read each count at once: ten
// reach 57, and the read serves the latest zoom at the latest place.
TEST_F(PreviewWindowTest, ClicksWhileTheFileIsReadEachCountAtOnce) {
  const QString file = Picture(QStringLiteral("big.png"), 570, 380);
  View(file, 1.5f, -1);
  window_.show();
  sounds_.clear();
  const QSizeF shown = window_.image()->size();
  for (int i = 0; i < 10; ++i) window_.Image1_MouseDown(Qt::LeftButton, {0, 0});  // no event runs between them
  window_.Image1_MouseDown(Qt::LeftButton, {shown.width(), shown.height()});       // at 57: nothing
  EXPECT_EQ(window_.zoomFactor(), 57.0f);
  EXPECT_EQ(window_.image()->toolTip(), QStringLiteral("Right click to zoom out"));
  EXPECT_EQ(sounds_, Sounds(10, {Sound::In, false}));
  window_.Image1_MouseDown(Qt::RightButton, {shown.width(), shown.height()});
  Read();
  const QImage whole = QImage(file).convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(window_.zoomFactor(), 38.0f);
  EXPECT_EQ(window_.shownPicture(), whole.copy(555, 370, 15, 10)) << "570 / 38 wide at the right edge";
}

// The file is read away from the window's thread: View returns before the
// picture is there, a newer View drops the earlier read, and closing the
// window drops the one running, whose decode is stopped.
TEST_F(PreviewWindowTest, FilesAreReadAwayFromTheWindowAndTheReadStopsWithIt) {
  const QString first = Picture(QStringLiteral("first.png"), 40, 30);
  const QString second = Picture(QStringLiteral("second.jpg"), 20, 60);
  window_.View(first, 4.0f / 3.0f, -1);
  EXPECT_TRUE(window_.loading());
  EXPECT_TRUE(window_.shownPicture().isNull());
  View(second, 1.0f / 3.0f, -1);
  QCoreApplication::processEvents();  // a dropped read, had it come late
  EXPECT_EQ(window_.shownPicture().size(), QSize(20, 60));
  window_.View(first, 4.0f / 3.0f, -1);
  window_.show();
  window_.stopButton()->click();
  EXPECT_FALSE(window_.loading());
  EXPECT_TRUE(test::RunUntil([] { return BackgroundPool()->activeThreadCount() == 0; })) << "the reader's end";
  QCoreApplication::processEvents();
  EXPECT_TRUE(window_.shownPicture().isNull());

  std::atomic<bool> stopped{false};
  BackgroundWork<int> work;
  work.start(
      [&stopped] {
        const QDeadlineTimer patience(std::chrono::seconds(5));
        while (!DecodeStop::requested() && !patience.hasExpired()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
        stopped = DecodeStop::requested();
        return 1;
      },
      [](int) { ADD_FAILURE() << "a stopped work's result arrived"; });
  work.stop();
  EXPECT_TRUE(BackgroundPool()->waitForDone(10000)) << "the stopped work's end";
  EXPECT_TRUE(stopped);

  // Work that fails by an exception has its result dropped; the window goes on.
  work.start([]() -> int { throw std::bad_alloc(); }, [](int) { ADD_FAILURE() << "a failed work's result arrived"; });
  EXPECT_TRUE(test::RunUntil([&work] { return !work.running(); })) << "the failed work's end";
}

}  // namespace
}  // namespace lumaset
