#pragma once

// The main window's status bar: the free-memory read-out of its second panel
// with the meter along the window's right edge, the date and time panels, and
// the progress bar that borrows the first panel while thumbnails are made.
// The main window's half-second timer calls MemoryMeter::Tick and applies
// what it returns; the reader is handed in so that a test can make it fail.

#include <QObject>
#include <QPointer>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <optional>

#include "components/result.h"

class QDateTime;
class QLabel;
class QProgressBar;
class QStatusBar;
class QTimer;
class QWidget;

namespace lumaset {

// What the meter at the window's edge shows after a refresh.
struct MeterReading {
  int value = 0;
  int maximum = 1;
  QString toolTip;
};

// What one tick changes; an empty member is left as it was.
struct MemoryDisplay {
  std::optional<QString> panelText;  // status-bar panel 2
  std::optional<MeterReading> meter;
};

// "Free Memory = 7.250 MB" up to 10 MB, "Free Memory = 512.3 MB" above.
QString FreeMemoryText(double megabytes);
// "Free memory = 512.300 MB", always three decimals.
QString FreeMemoryToolTip(double megabytes);

class MemoryMeter {
 public:
  using Reader = std::function<std::optional<qint64>()>;

  // Reads /proc/meminfo unless told otherwise.
  explicit MemoryMeter(Reader reader = {});

  // One tick of the half-second timer. Every fourth tick refreshes; a failed
  // refresh leaves the display as it was and the next tick tries again. After
  // six failures in a row the read-out gives up and shows "---" for good.
  // `meterShown` is the MemDisplay setting; `meterMaximum` the meter's
  // present maximum, which a refresh only ever raises.
  MemoryDisplay Tick(bool meterShown, int meterMaximum);

  // Kept between ticks, and across the timer being switched off and on, so the
  // first refresh after switching on comes within four ticks.
  int MemTicks() const { return memTicks_; }
  int MemErrors() const { return memErrors_; }
  // The last free memory read, in megabytes; 0 before the first.
  double FreeMemoryMB() const { return freeMemoryMB_; }

 private:
  Reader reader_;
  int memTicks_ = 0;
  int memErrors_ = 0;
  double freeMemoryMB_ = 0.0;
};

// Puts what a tick returned into the status panel and the meter.
void ApplyMemoryDisplay(const MemoryDisplay& display, QLabel* panel, QProgressBar* meter);

// The date and time panels' texts, in the user's short formats.
QString StatusDateText(const QDateTime& now);
QString StatusTimeText(const QDateTime& now);

// Keeps the date and time panels current on a timer of their own, so they go
// on showing the time while the memory timer is switched off.
class StatusClock : public QObject {
  Q_OBJECT

 public:
  StatusClock(QLabel* datePanel, QLabel* timePanel, QObject* parent = nullptr);

  // Writes the present date and time into the panels.
  void Refresh();

 private:
  QPointer<QLabel> datePanel_;
  QPointer<QLabel> timePanel_;
  QTimer* timer_;
};

// With `show` on, lays `bar` exactly over `panel` of `statusBar` and shows it
// empty; with it off, gives the bar back to `window`, hidden. Fails only when
// handed no bar, or a panel that is not in that status bar.
Status ProgressInStatusBar(QWidget* window, QStatusBar* statusBar, QWidget* panel, QProgressBar* bar,
                           bool show);
// The message box text for a failure of ProgressInStatusBar.
QString ProgressInStatusBarMessage(const QString& description);
// Gives a progress bar, once per short pause, the last of the values set
// meanwhile, rather than every step, each of which would repaint the bar at
// once: a fast build steps it far more often than anyone sees, and the paints
// would cost more than the build. Only the value waits: the bar is painted
// whenever its place is, as the status bar lays its panels out again.
class ProgressSteps : public QObject {
  Q_OBJECT

 public:
  // Calls `show` after `pauseMs` on the window's thread; a single-shot timer
  // unless a test hands in its own.
  using Scheduler = std::function<void(int pauseMs, std::function<void()> show)>;

  explicit ProgressSteps(QProgressBar* bar);
  void setScheduler(Scheduler scheduler);

  // The bar shows `value` at the end of the pause under way, or of one that
  // starts now.
  void set(int value);
  // Forgets a value not shown yet: the bar starts again.
  void drop();

 private:
  QProgressBar* bar_;
  Scheduler scheduler_;
  std::optional<int> waiting_;
  quint64 round_ = 0;  // a pause that began before a drop shows nothing
};

// Sets the bar's value with the pace above.
void SetProgressLater(QProgressBar* bar, int value);
// The pace of a bar's steps, made with its first step (`bar` not null).
ProgressSteps& ProgressPace(QProgressBar* bar);

}  // namespace lumaset
