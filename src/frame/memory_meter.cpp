#include "frame/memory_meter.h"

#include <QDateTime>
#include <QEvent>
#include <QLabel>
#include <QLayout>
#include <QLocale>
#include <QProgressBar>
#include <QStatusBar>
#include <QTimer>

#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>

#include "components/system_memory.h"

namespace lumaset {

namespace {

constexpr double kBytesPerMegabyte = 1024.0 * 1024.0;
constexpr int kTicksBetweenRefreshes = 3;  // a refresh on every fourth tick
constexpr int kFailuresBeforeGivingUp = 6;
constexpr int kClockIntervalMs = 1000;

// Whole megabytes as a meter value; a meter counts in int.
int wholeMegabytes(double megabytes) {
  return static_cast<int>(std::clamp(std::floor(megabytes), 0.0, static_cast<double>(INT_MAX)));
}

// The progress bar shows its steps about this often: a fast build steps it
// far more often than anyone sees, and each paint costs the build.
constexpr int kProgressPaintMs = 100;

constexpr QLatin1String kPanelCoverName("lumaset-panel-cover");

// Keeps a bar laid exactly over a status-bar panel while the status bar moves
// and sizes its panels, as it does when another panel's text grows. Lives as
// the bar's child until the bar is given back.
class PanelCover : public QObject {
 public:
  PanelCover(QWidget* panel, QWidget* bar) : QObject(bar), panel_(panel), bar_(bar) {
    setObjectName(kPanelCoverName);
    panel->installEventFilter(this);
    Follow();
  }
  ~PanelCover() override {
    if (panel_) panel_->removeEventFilter(this);
  }

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Move || event->type() == QEvent::Resize) Follow();
    return false;
  }

 private:
  void Follow() {
    if (panel_ && bar_->parentWidget())
      bar_->setGeometry(QRect(panel_->mapTo(bar_->parentWidget(), QPoint(0, 0)), panel_->size()));
  }

  QPointer<QWidget> panel_;
  QWidget* bar_;
};

}  // namespace

QString FreeMemoryText(double megabytes) {
  const int decimals = megabytes <= 10.0 ? 3 : 1;
  return QStringLiteral("Free Memory = ") + QString::number(megabytes, 'f', decimals) +
         QStringLiteral(" MB");
}

QString FreeMemoryToolTip(double megabytes) {
  return QStringLiteral("Free memory = ") + QString::number(megabytes, 'f', 3) + QStringLiteral(" MB");
}

MemoryMeter::MemoryMeter(Reader reader)
    : reader_(reader ? std::move(reader) : Reader(&AvailableMemoryBytes)) {}

MemoryDisplay MemoryMeter::Tick(bool meterShown, int meterMaximum) {
  MemoryDisplay display;
  if (memErrors_ >= kFailuresBeforeGivingUp) {
    display.panelText = QStringLiteral("---");
    return display;
  }
  if (memTicks_ < kTicksBetweenRefreshes) {
    ++memTicks_;
    return display;
  }
  const std::optional<qint64> bytes = reader_();
  if (!bytes || *bytes < 0) {
    ++memErrors_;  // the tick count stays, so the next tick tries again
    return display;
  }
  freeMemoryMB_ = static_cast<double>(*bytes) / kBytesPerMegabyte;
  display.panelText = FreeMemoryText(freeMemoryMB_);
  if (meterShown) {
    const int value = wholeMegabytes(freeMemoryMB_);
    display.meter = MeterReading{value, std::max(meterMaximum, value), FreeMemoryToolTip(freeMemoryMB_)};
  }
  memErrors_ = 0;
  memTicks_ = 0;
  return display;
}

void ApplyMemoryDisplay(const MemoryDisplay& display, QLabel* panel, QProgressBar* meter) {
  if (display.panelText && panel) panel->setText(*display.panelText);
  if (display.meter && meter) {
    meter->setMaximum(display.meter->maximum);
    meter->setValue(display.meter->value);
    meter->setToolTip(display.meter->toolTip);
  }
}

QString StatusDateText(const QDateTime& now) { return QLocale().toString(now.date(), QLocale::ShortFormat); }

QString StatusTimeText(const QDateTime& now) { return QLocale().toString(now.time(), QLocale::ShortFormat); }

StatusClock::StatusClock(QLabel* datePanel, QLabel* timePanel, QObject* parent)
    : QObject(parent), datePanel_(datePanel), timePanel_(timePanel), timer_(new QTimer(this)) {
  timer_->setInterval(kClockIntervalMs);
  connect(timer_, &QTimer::timeout, this, &StatusClock::Refresh);
  timer_->start();
  Refresh();
}

void StatusClock::Refresh() {
  const QDateTime now = QDateTime::currentDateTime();
  if (datePanel_) datePanel_->setText(StatusDateText(now));
  if (timePanel_) timePanel_->setText(StatusTimeText(now));
}

Status ProgressInStatusBar(QWidget* window, QStatusBar* statusBar, QWidget* panel, QProgressBar* bar,
                           bool show) {
  if (!bar) return Error{QStringLiteral("There is no progress bar to place.")};
  delete bar->findChild<QObject*>(QString(kPanelCoverName), Qt::FindDirectChildrenOnly);
  ProgressPace(bar).drop();
  if (!show) {
    bar->hide();
    if (window) bar->setParent(window);
    return Status::success();
  }
  if (!statusBar || !panel || !statusBar->isAncestorOf(panel))
    return Error{QStringLiteral("The status bar has no such panel.")};
  bar->setParent(statusBar);
  bar->setValue(bar->minimum());
  bar->show();
  // The panels' places are only final once the status bar has laid them out.
  if (statusBar->layout()) statusBar->layout()->activate();
  new PanelCover(panel, bar);
  bar->raise();
  return Status::success();
}

QString ProgressInStatusBarMessage(const QString& description) {
  return QStringLiteral("ProgressStatusBar error: \n") + description;
}

ProgressSteps::ProgressSteps(QProgressBar* bar) : QObject(bar), bar_(bar) {
  scheduler_ = [this](int pause, std::function<void()> show) { QTimer::singleShot(pause, this, std::move(show)); };
}

void ProgressSteps::setScheduler(Scheduler scheduler) { scheduler_ = std::move(scheduler); }

void ProgressSteps::set(int value) {
  const bool paused = waiting_.has_value();
  if (!paused && bar_->value() == value) return;
  waiting_ = value;
  if (paused) return;
  const quint64 round = ++round_;
  scheduler_(kProgressPaintMs, [this, round] {
    if (round != round_ || !waiting_) return;
    bar_->setValue(*std::exchange(waiting_, std::nullopt));
  });
}

void ProgressSteps::drop() {
  waiting_.reset();
  ++round_;
}

ProgressSteps& ProgressPace(QProgressBar* bar) {
  auto* steps = bar->findChild<ProgressSteps*>(QString(), Qt::FindDirectChildrenOnly);
  return steps ? *steps : *new ProgressSteps(bar);
}

void SetProgressLater(QProgressBar* bar, int value) {
  if (bar) ProgressPace(bar).set(value);
}

}  // namespace lumaset
