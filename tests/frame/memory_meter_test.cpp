#include "frame/memory_meter.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLabel>
#include <QMainWindow>
#include <QProgressBar>
#include <QScreen>
#include <QStatusBar>
#include <QTest>
#include <QWindow>

#include <functional>
#include <optional>
#include <vector>

#include "support/test_support.h"

namespace lumaset {
namespace {

constexpr qint64 kMB = 1024 * 1024;

// A meter whose reader answers from `free` (nothing = a failed read) and counts its calls.
struct FakeMemory {
  std::optional<qint64> free = 100 * kMB;
  int reads = 0;
  MemoryMeter meter{[this] {
    ++reads;
    return free;
  }};

  // Ticks until a refresh is due, then once more.
  MemoryDisplay refresh(bool meterShown = false, int maximum = 1) {
    while (meter.MemTicks() < 3) EXPECT_FALSE(meter.Tick(meterShown, maximum).panelText);
    return meter.Tick(meterShown, maximum);
  }
};

TEST(MemoryMeter, ReadOutFormatsAroundTenMegabytes) {
  const std::pair<qint64, const char*> cases[] = {
      {10 * kMB, "10.000"},          {10 * kMB + 1, "10.0"}, {10 * kMB + kMB / 2, "10.5"},
      {7 * kMB + kMB / 4, "7.250"},  {kMB / 16, "0.063"},    {48LL * 1024 * kMB, "49152.0"},
  };
  for (const auto& [bytes, number] : cases) {
    FakeMemory memory;
    memory.free = bytes;
    EXPECT_EQ(memory.refresh().panelText, QStringLiteral("Free Memory = %1 MB").arg(QLatin1String(number)));
  }
}

TEST(MemoryMeter, CountsTicksAcrossTheTimerBeingOff) {
  FakeMemory memory;
  (void)memory.refresh();
  (void)memory.meter.Tick(false, 1);  // two ticks, then the timer is off for a while
  (void)memory.meter.Tick(false, 1);
  EXPECT_FALSE(memory.meter.Tick(false, 1).panelText);
  EXPECT_TRUE(memory.meter.Tick(false, 1).panelText);
  EXPECT_EQ(memory.reads, 2);
}

TEST(MemoryMeter, SixFailuresInARowShowDashesForGood) {
  FakeMemory memory;
  memory.free.reset();
  for (int failure = 0; failure < 5; ++failure) (void)memory.refresh();
  memory.free = 20 * kMB;  // a success clears the count
  EXPECT_EQ(memory.refresh().panelText, QStringLiteral("Free Memory = 20.0 MB"));

  memory.free.reset();
  for (int failure = 1; failure <= 6; ++failure) {
    EXPECT_FALSE(memory.refresh().panelText) << failure;
    EXPECT_EQ(memory.meter.MemTicks(), 3);  // the next tick tries again
  }
  memory.free = 50 * kMB;
  for (int tick = 0; tick < 8; ++tick) EXPECT_EQ(memory.meter.Tick(true, 1).panelText, QStringLiteral("---"));
  EXPECT_EQ(memory.reads, 12);
}

TEST(MemoryMeter, MeterMaximumOnlyRises) {
  FakeMemory memory;
  memory.free = 50 * kMB + kMB / 2;
  QLabel panel;
  QProgressBar meter;
  ApplyMemoryDisplay(memory.refresh(true, 100), &panel, &meter);
  EXPECT_EQ(std::pair(meter.value(), meter.maximum()), std::pair(50, 100));
  EXPECT_EQ(meter.toolTip(), QStringLiteral("Free memory = 50.500 MB"));

  memory.free = 300 * kMB;
  ApplyMemoryDisplay(memory.refresh(true, meter.maximum()), &panel, &meter);
  EXPECT_EQ(meter.maximum(), 300);

  memory.free = 5 * kMB;  // with the meter off only the read-out changes
  ApplyMemoryDisplay(memory.refresh(false, meter.maximum()), &panel, &meter);
  EXPECT_EQ(meter.value(), 300);
  EXPECT_EQ(panel.text(), QStringLiteral("Free Memory = 5.000 MB"));
}

// A main window with the program's first two status-bar panels and a
// progress bar of its own, shown.
struct StatusWindow {
  QMainWindow window;
  QLabel* layoutPanel = new QLabel(QStringLiteral("Undefined layout"));
  QLabel* memoryPanel = new QLabel(QStringLiteral("Memory"));
  QProgressBar* bar = new QProgressBar(&window);

  StatusWindow() {
    window.statusBar()->addWidget(layoutPanel, 1);
    window.statusBar()->addWidget(memoryPanel);
    window.resize(640, 480);
    window.show();
  }
  Status Cover(bool show) { return ProgressInStatusBar(&window, window.statusBar(), layoutPanel, bar, show); }
};

TEST(StatusBarProgress, CoversTheFirstPanelAndReturnsHidden) {
  StatusWindow status;
  auto& [window, layoutPanel, memoryPanel, bar] = status;
  bar->setValue(40);

  ASSERT_TRUE(status.Cover(true).ok());
  EXPECT_EQ(bar->geometry(), layoutPanel->geometry());
  EXPECT_TRUE(bar->isVisible());
  EXPECT_TRUE(bar->value() == 0);
  // The second panel's text grows to the left: the bar stays on the first
  // panel as it now lies, and the second shows whole.
  const int before = layoutPanel->width();
  memoryPanel->setText(QStringLiteral("Making thumbnails 40% <press Esc to stop> with a long name"));
  ASSERT_TRUE(test::RunUntil([&] { return layoutPanel->width() < before; })) << "the first panel narrowing";
  EXPECT_EQ(bar->geometry(), layoutPanel->geometry());
  EXPECT_FALSE(bar->geometry().intersects(memoryPanel->geometry()));
  ASSERT_TRUE(status.Cover(false).ok());
  EXPECT_TRUE(bar->parentWidget() == &window);
  EXPECT_TRUE(!bar->isVisible());

  QLabel stray;
  const Status refused = ProgressInStatusBar(&window, window.statusBar(), &stray, bar, true);
  ASSERT_FALSE(refused.ok());
  EXPECT_TRUE(ProgressInStatusBarMessage(refused.error()).startsWith(QStringLiteral("ProgressStatusBar error: \n")));
  EXPECT_FALSE(bar->isVisible());
}

// What the screen shows where `widget` lies, against the widget drawn alone.
bool ShownAsDrawn(QWidget* widget) {
  QWidget* window = widget->window();
  const QRect place(widget->mapTo(window, QPoint(0, 0)), widget->size());
  const QImage shown = window->screen()->grabWindow(window->winId()).toImage().copy(place);
  const QImage drawn = widget->grab().toImage();
  return shown.convertToFormat(QImage::Format_RGB32) == drawn.convertToFormat(QImage::Format_RGB32);
}

// While the bar's steps wait for their paint, the status bar may lay its
// panels out again (another panel's text grows): the bar still shows over
// the first panel, never the panel's own text in its place.
TEST(StatusBarProgress, TheBarStaysShownWhileItsStepsWait) {
  StatusWindow status;
  auto& [window, layoutPanel, memoryPanel, bar] = status;
  layoutPanel->setText(QStringLiteral("Making thumbnails (0% done)..."));
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  bar->setTextVisible(false);
  bar->setRange(0, 1000000);  // the steps below move no pixel of it
  ASSERT_TRUE(status.Cover(true).ok());
  std::vector<std::function<void()>> due;
  ProgressPace(bar).setScheduler([&](int, std::function<void()> release) { due.push_back(std::move(release)); });
  for (int percent = 1; percent <= 40; ++percent) {
    SetProgressLater(bar, percent);
    memoryPanel->setText(QStringLiteral("%1%...<Press 'Esc' to stop>").arg(percent * 1000));
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    ASSERT_TRUE(ShownAsDrawn(bar)) << "at step " << percent;
  }
  for (auto& release : due) release();
}

// Counts the paints a widget receives.
struct PaintCounter : QObject {
  int paints = 0;
  bool eventFilter(QObject*, QEvent* event) override {
    paints += event->type() == QEvent::Paint ? 1 : 0;
    return false;
  }
};

// The bar's steps wait for the end of a short pause: a hundred steps in a
// row paint it once, with the last value, right after the pause; a new
// build drops a step still waiting from the last.
TEST(StatusBarProgress, StepsShowWithOnePaintAtTheEndOfAShortPause) {
  StatusWindow status;
  QProgressBar* bar = status.bar;
  bar->setGeometry(10, 10, 300, 20);
  PaintCounter counter;
  bar->installEventFilter(&counter);
  EXPECT_TRUE(test::RunUntil([&] { return counter.paints > 0; })) << "the bar's first paint";
  counter.paints = 0;
  std::vector<std::function<void()>> due;
  std::vector<int> pauses;
  ProgressPace(bar).setScheduler([&](int ms, std::function<void()> show) {
    pauses.push_back(ms);
    due.push_back(std::move(show));
  });
  for (int percent = 1; percent <= 100; ++percent) SetProgressLater(bar, percent);
  QCoreApplication::processEvents();
  EXPECT_EQ(counter.paints, 0);
  ASSERT_EQ(pauses.size(), 1u);
  EXPECT_LE(pauses.front(), 250) << "the bar moves a few times a second at least";
  due.front()();
  QCoreApplication::processEvents();
  EXPECT_EQ(bar->value(), 100);
  EXPECT_EQ(counter.paints, 1) << "the paint right after the pause";

  SetProgressLater(bar, 30);
  ASSERT_TRUE(status.Cover(true).ok());
  ASSERT_EQ(due.size(), 2u);
  due.back()();
  EXPECT_EQ(bar->value(), 0) << "the step of the last build is not shown";
  SetProgressLater(nullptr, 5);  // no bar: nothing happens
}

}  // namespace
}  // namespace lumaset
