#pragma once

// Some faults show only when a window manager frames the windows and sizes
// them itself. A test of those runs again in a program of its own on a
// private X display (Xvfb) with a window manager (openbox), under the xcb
// platform; both are stopped when that run ends. A machine without Xvfb or
// openbox skips such a test and says so.
//
//   TEST(Suite, Name) {
//     LUMASET_RUN_ON_PRIVATE_DESKTOP();
//     ... the test, on the private desktop ...
//   }

#include <gtest/gtest.h>

#include <optional>

#include <QByteArray>
#include <QPoint>
#include <QRect>
#include <QSize>
#include <QString>
#include <QStringList>

class QWidget;

namespace lumaset::test {

// Whether this run is the one on the private desktop.
bool OnPrivateDesktop();

struct DesktopRun {
  bool skipped = false;  // the machine lacks what the desktop needs
  bool passed = false;
  QString output;        // why it was skipped, or what the run printed
};

// Starts the desktop, runs the current test there, stops the desktop.
DesktopRun RunThisTestOnPrivateDesktop();

// Runs xdotool on the private desktop with `arguments`, waiting (bounded)
// while the event loop turns; what it printed, or nothing when it failed or
// did not end.
std::optional<QByteArray> Xdotool(const QStringList& arguments);

// The size of `window` as the X server has it, which is what the user sees;
// empty when it cannot be asked.
QSize SizeOnTheServer(const QWidget* window);

// Where `window`'s frame (title bar and borders included) stands on the X
// server, which is what the user sees; empty while no window manager has
// framed it, or when it cannot be asked. Qt may go on taking a framed window
// for a bare one: a test of the frame asks the server.
QRect FrameOnTheServer(const QWidget* window);

// Drags with the left button from `from` to `to`, screen pixels, through the
// window manager as a user's hand would.
bool DragPointer(QPoint from, QPoint to);

// Double-clicks the middle of `window`'s title bar, which maximises or
// restores it through the window manager.
bool DoubleClickTitleBar(const QWidget* window);

// Waits, bounded, until the window manager has framed `window` and the
// window has stood still for a moment, as the X server has it; false, saying
// which never came, when it did not.
bool WaitUntilFramedAndSettled(QWidget* window);

}  // namespace lumaset::test

#define LUMASET_RUN_ON_PRIVATE_DESKTOP()                                                   \
  do {                                                                                     \
    if (!::lumaset::test::OnPrivateDesktop()) {                                            \
      const ::lumaset::test::DesktopRun desktopRun = ::lumaset::test::RunThisTestOnPrivateDesktop(); \
      if (desktopRun.skipped) GTEST_SKIP() << desktopRun.output.toStdString();            \
      EXPECT_TRUE(desktopRun.passed) << desktopRun.output.toStdString();                  \
      return;                                                                              \
    }                                                                                      \
  } while (false)
