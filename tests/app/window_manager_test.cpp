// The main window as a window manager frames and sizes it: what the user
// drags the frame to is what the window lays itself out for.

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDBusConnection>
#include <QFile>
#include <QScopeGuard>
#include <QDialog>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>

#include <cstdlib>
#include <optional>

#include "app/commands.h"
#include "app/main_window.h"
#include "layout/page_area.h"
#include "support/private_desktop.h"
#include "support/program_fixture.h"

namespace lumaset {
namespace {

class WindowManagerTest : public test::ProgramTest {
 protected:
  // The window's widgets fill what the X server shows, down to the status bar.
  static void ExpectLaidOutForItsRealSize(const MainWindow& window) {
    const QSize real = test::SizeOnTheServer(&window);
    EXPECT_EQ(window.size(), real) << "laid out for " << window.width() << " x " << window.height() << ", shown at "
                                   << real.width() << " x " << real.height();
    EXPECT_EQ(window.statusBar()->geometry().bottom(), real.height() - 1) << "the status bar at the bottom";
    EXPECT_LE(window.pagePanel()->geometry().bottom(), window.centralWidget()->height());
  }
};

// Dragging only the bottom edge of a wide window snaps it back to its shape;
// dragging its corner out keeps width minus height as it was.
TEST_F(WindowManagerTest, FrameDragsEndLaidOutForTheWindowsRealSize) {
  LUMASET_RUN_ON_PRIVATE_DESKTOP();
  MainWindow& window = Start();
  ASSERT_TRUE(test::WaitUntilFramedAndSettled(&window)) << "the window framed and still";
  ExpectLaidOutForItsRealSize(window);
  const QSize shaped = window.size();
  ASSERT_GT(shaped.width(), shaped.height());

  QRect frame = test::FrameOnTheServer(&window);
  const QPoint bottom(frame.center().x(), frame.bottom() - 1);
  ASSERT_TRUE(test::DragPointer(bottom, bottom + QPoint(0, 120))) << "the drag of the bottom edge";
  EXPECT_TRUE(test::RunUntil([&] { return window.size() == shaped; })) << "snapped back to its shape";
  ASSERT_TRUE(test::WaitUntilFramedAndSettled(&window)) << "the window still after the drag";
  ExpectLaidOutForItsRealSize(window);

  frame = test::FrameOnTheServer(&window);
  const QPoint corner = frame.bottomRight() - QPoint(1, 1);
  ASSERT_TRUE(test::DragPointer(corner, corner + QPoint(150, 150))) << "the drag of the corner";
  const int rule = shaped.width() - shaped.height();
  EXPECT_TRUE(test::RunUntil([&] {
    return window.width() > shaped.width() && std::abs(window.width() - window.height() - rule) <= 1;
  })) << "wider, with width minus height kept: " << window.width() << " x " << window.height();
  ASSERT_TRUE(test::WaitUntilFramedAndSettled(&window)) << "the window still after the drag";
  ExpectLaidOutForItsRealSize(window);
}

// Maximised and restored through the window manager, the window comes back
// where it stood at the size it had, the user's own size.
TEST_F(WindowManagerTest, MaximisedAndRestoredTheWindowComesBackAsItWas) {
  LUMASET_RUN_ON_PRIVATE_DESKTOP();
  MainWindow& window = Start();
  ASSERT_TRUE(test::WaitUntilFramedAndSettled(&window)) << "the window framed and still";
  const QRect frame = test::FrameOnTheServer(&window);
  for (const bool maximised : {true, false}) {
    ASSERT_TRUE(test::DoubleClickTitleBar(&window)) << "the double click on the title bar";
    ASSERT_TRUE(test::RunUntil([&] { return window.isMaximized() == maximised; }))
        << (maximised ? "maximised" : "restored");
    ASSERT_TRUE(test::WaitUntilFramedAndSettled(&window)) << "the window still once " << (maximised ? "maximised" : "restored");
  }
  EXPECT_EQ(test::FrameOnTheServer(&window), frame);
  ExpectLaidOutForItsRealSize(window);
}

// The effect dialogs, opened over a small main window at the top of the
// screen at a large desktop font, come with their title bar on the screen,
// where the user can take hold of it.
TEST_F(WindowManagerTest, EffectDialogsOpenWithTheirFrameOnTheScreen) {
  LUMASET_RUN_ON_PRIVATE_DESKTOP();
  QFont font = QApplication::font();
  font.setPointSize(16);
  QApplication::setFont(font);
  Store(QStringLiteral("MainTop"), QStringLiteral("0"));
  Store(QStringLiteral("MainWidth"), QStringLiteral("9600"));
  Store(QStringLiteral("MainHeight"), QStringLiteral("7000"));
  const QString photo = test::freshFolder(QStringLiteral("photos")) + QStringLiteral("/photo.png");
  ASSERT_TRUE(test::WritePicture(photo, 640, 480));
  MainWindow& window = Start();
  ASSERT_TRUE(test::WaitUntilFramedAndSettled(&window)) << "the window framed and still";
  for (const char* command : {"mnuToolEffectsBC", "mnuToolEffectsColorAdjust", "mnuToolEffectsColorColorize",
                              "mnuToolEffectsColorReplace", "mnuToolEffectsEmboss"}) {
    DropOnPage(photo, 2160);
    std::optional<QRect> frame;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
      if (!dialog || frame) return;
      frame = test::WaitUntilFramedAndSettled(dialog) ? test::FrameOnTheServer(dialog) : QRect();
      dialog->reject();
    });
    poll.start(20);
    window.commands().Item(QString::fromLatin1(command))->trigger();
    poll.stop();
    ASSERT_TRUE(frame && frame->isValid()) << command << ": the dialog framed and still";
    EXPECT_TRUE(window.screen()->availableGeometry().contains(*frame)) << command << ": " << ::testing::PrintToString(*frame);
  }
}

// Nothing on the private desktop starts a session bus of its own, whose
// socket would outlive the run in /tmp: a dbus-launch put ahead on PATH
// notes any call.
TEST(PrivateDesktop, NothingStartsASessionBusOfItsOwn) {
  const QByteArray keptPath = qgetenv("PATH");
  const auto restore = qScopeGuard([&] { qputenv("PATH", keptPath); });
  if (!test::OnPrivateDesktop()) {
    const QString folder = test::freshShortFolder(QStringLiteral("launcher"));
    ASSERT_TRUE(test::WriteText(folder + QStringLiteral("/dbus-launch"),
                                "#!/bin/sh\n: > \"$LUMASET_TEST_BUS_STARTED\"\nexit 1\n"));
    QFile::setPermissions(folder + QStringLiteral("/dbus-launch"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    qputenv("PATH", QFile::encodeName(folder) + ':' + keptPath);
    qputenv("LUMASET_TEST_BUS_STARTED", QFile::encodeName(folder + QStringLiteral("/started")));
  }
  LUMASET_RUN_ON_PRIVATE_DESKTOP();
  QWidget window;
  window.show();
  ASSERT_TRUE(test::WaitUntilFramedAndSettled(&window)) << "the window framed and still";
  (void)QDBusConnection::sessionBus();  // as the screen-saver switch asks for it
  EXPECT_FALSE(QFile::exists(qEnvironmentVariable("LUMASET_TEST_BUS_STARTED"))) << "a session bus was started";
}

}  // namespace
}  // namespace lumaset
