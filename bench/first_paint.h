#pragma once

// Ends a start-up benchmark at the first drawing of its main window: prints
// "drawn N ms after the start" (the process's start, see process_clock.h)
// and ends the process at once, so that no shut-down is counted.

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>

#include <cstdio>
#include <cstdlib>

#include "process_clock.h"

namespace bench {

// Watches every event of the application: the window's first update or
// expose that paints it is delivered here, and the time is taken once it has
// been painted and handed to the screen.
class FirstPaint : public QObject {
 public:
  explicit FirstPaint(QWidget* window) : window_(window) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (watched == window_ && event->type() == QEvent::Paint) painted_ = true;
    const bool drawing = event->type() == QEvent::UpdateRequest || event->type() == QEvent::Expose;
    if (delivering_ || !drawing || (watched != window_ && watched != window_->windowHandle())) return false;
    delivering_ = true;
    static_cast<QObject*>(watched)->event(event);
    delivering_ = false;
    if (painted_) {
      std::printf("drawn %.1f ms after the start\n", bench::MsSinceStart());
      std::fflush(stdout);
      std::_Exit(0);
    }
    return true;
  }

 private:
  QWidget* window_;
  bool painted_ = false;
  bool delivering_ = false;
};

// Watches `window` until it is first drawn; the watch lives as long as the process.
inline void EndAtFirstPaint(QWidget& window) { qApp->installEventFilter(new FirstPaint(&window)); }

}  // namespace bench
