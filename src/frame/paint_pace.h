#pragma once

// Holds a widget's paints back for a moment while it changes far faster than
// anyone sees: the changes made meanwhile show with one paint when the pause
// has passed. That paint is then let through before the paints are held
// again, so a widget that keeps changing still shows its changes a few times
// a second instead of never.
//
// A widget whose paints someone else has switched off is left alone.

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

namespace lumaset {

class PaintPace : public QObject {
  Q_OBJECT

 public:
  // Calls `release` after `pauseMs` on the window's thread; a single-shot
  // timer unless a test hands in its own.
  using Scheduler = std::function<void(int pauseMs, std::function<void()> release)>;

  explicit PaintPace(int pauseMs, QObject* parent = nullptr);
  ~PaintPace() override;

  void setScheduler(Scheduler scheduler);
  int pauseMs() const { return pauseMs_; }

  // `widget` is about to change: its paints wait for the end of the pause.
  // Nothing is held while the paint asked for at the end of the last pause
  // has not been made yet.
  void hold(QWidget* widget);
  // Lets the paints through at once, asking for one paint of all that changed.
  void release();

  bool holding() const { return held_ != nullptr; }
  bool awaitingPaint() const { return awaited_ != nullptr; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void stopAwaiting();

  int pauseMs_;
  Scheduler scheduler_;
  QPointer<QWidget> held_;
  QPointer<QWidget> awaited_;  // released, its paint not made yet
  quint64 round_ = 0;          // a release scheduled for an earlier hold does nothing
};

}  // namespace lumaset
