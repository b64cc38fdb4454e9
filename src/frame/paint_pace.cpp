#include "frame/paint_pace.h"

#include <QEvent>
#include <QTimer>

namespace lumaset {

PaintPace::PaintPace(int pauseMs, QObject* parent) : QObject(parent), pauseMs_(pauseMs) {
  scheduler_ = [this](int pause, std::function<void()> release) {
    QTimer::singleShot(pause, this, std::move(release));
  };
}

PaintPace::~PaintPace() {
  release();
  stopAwaiting();
}

void PaintPace::setScheduler(Scheduler scheduler) { scheduler_ = std::move(scheduler); }

void PaintPace::hold(QWidget* widget) {
  if (!widget || held_ || awaited_ || !widget->updatesEnabled()) return;
  held_ = widget;
  widget->setUpdatesEnabled(false);
  const quint64 round = ++round_;
  scheduler_(pauseMs_, [this, round] {
    if (round == round_) release();
  });
}

// Switching updates on asks for a paint, which comes as a later event. Had
// the next change switched them off before that event came, the paint would
// be dropped, and a widget that changes all the time would never show.
void PaintPace::release() {
  ++round_;
  QWidget* widget = held_;
  held_ = nullptr;
  if (!widget) return;
  widget->setUpdatesEnabled(true);
  if (!widget->isVisible()) return;  // no paint would come
  stopAwaiting();
  awaited_ = widget;
  widget->installEventFilter(this);
}

void PaintPace::stopAwaiting() {
  if (awaited_) awaited_->removeEventFilter(this);
  awaited_ = nullptr;
}

// A window paints its widgets from its update request; any other widget is
// seen painting itself.
bool PaintPace::eventFilter(QObject* watched, QEvent* event) {
  if (watched == awaited_ &&
      (event->type() == QEvent::Paint || event->type() == QEvent::UpdateRequest || event->type() == QEvent::Hide)) {
    stopAwaiting();
  }
  return false;
}

}  // namespace lumaset
