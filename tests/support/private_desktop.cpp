#include "support/private_desktop.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QProcess>
#include <QRect>
#include <QSize>
#include <QStandardPaths>
#include <QWidget>

#include <functional>
#include <optional>

#include "support/test_support.h"

namespace lumaset::test {
namespace {

constexpr const char* kDesktopVariable = "LUMASET_TEST_DESKTOP";
// Each wait that ends at its bound says what never came, before the test's
// deadline (90 s) would end it, however busy the machine.
constexpr int kStartMs = 10000;  // for the X server and the window manager each
constexpr int kRunMs = 70000;    // for the test's own run, within the test's deadline
constexpr int kToolMs = 10000;   // for one xdotool command
constexpr int kFramedMs = 20000;  // for the window manager to frame a window and settle it
constexpr int kSettledMs = 300;  // a window this long unchanged, as the X server has it, has settled

// Turns the event loop while waiting for `done`, for at most `ms`.
bool WaitFor(int ms, const std::function<bool()>& done) {
  const QDeadlineTimer giveUp(ms);
  while (!done()) {
    if (giveUp.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

void Stop(QProcess& process) {
  if (process.state() == QProcess::NotRunning) return;
  process.terminate();
  if (!process.waitForFinished(kStartMs)) {
    process.kill();
    process.waitForFinished(kStartMs);
  }
}

// An X server on a display that it picks itself, and a window manager on it.
class Desktop {
 public:
  ~Desktop() {
    Stop(manager_);
    Stop(server_);
  }

  // Empty when it came up; else why not. A busy machine may lose a start
  // (a display taken by another server in the same moment): a few are tried.
  QString start() {
    QString failed;
    for (int attempt = 0; attempt < 3; ++attempt) {
      failed = startOnce();
      if (failed.isEmpty()) break;
      Stop(manager_);
      Stop(server_);
    }
    return failed;
  }

  const QString& display() const { return display_; }

 private:
  QString startOnce() {
    server_.start(QStringLiteral("Xvfb"), {QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                                           QStringLiteral("0"), QStringLiteral("1600x1200x24"),
                                           QStringLiteral("-nolisten"), QStringLiteral("tcp")});
    QByteArray number;
    if (!WaitFor(kStartMs, [&] {
          number += server_.readAllStandardOutput();
          return number.contains('\n') || server_.state() == QProcess::NotRunning;
        }) ||
        number.trimmed().isEmpty())
      return QStringLiteral("Xvfb did not say its display: ") + QString::fromLocal8Bit(server_.readAllStandardError());
    display_ = QLatin1Char(':') + QString::fromLatin1(number.trimmed());

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("DISPLAY"), display_);
    manager_.setProcessEnvironment(environment);
    manager_.setProcessChannelMode(QProcess::MergedChannels);
    manager_.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
    // The manager announces itself on the root window once it manages windows.
    const bool managing = WaitFor(kStartMs, [&] {
      if (manager_.state() == QProcess::NotRunning) return true;  // said below
      QProcess probe;
      probe.setProcessEnvironment(environment);
      probe.start(QStringLiteral("xprop"), {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")});
      return probe.waitForFinished(kToolMs) && probe.readAllStandardOutput().contains("window id");
    });
    if (!managing || manager_.state() == QProcess::NotRunning)
      return QStringLiteral("openbox did not take over the display %1 (%2)")
          .arg(display_, manager_.state() == QProcess::NotRunning
                             ? QStringLiteral("it ended with %1: %2")
                                   .arg(manager_.exitCode())
                                   .arg(QString::fromLocal8Bit(manager_.readAll()))
                             : QStringLiteral("still running"));
    return {};
  }

  QProcess server_;
  QProcess manager_;
  QString display_;
};

}  // namespace

bool OnPrivateDesktop() { return qEnvironmentVariableIsSet(kDesktopVariable); }

DesktopRun RunThisTestOnPrivateDesktop() {
  DesktopRun run;
  for (const char* needed : {"Xvfb", "openbox", "xdotool", "xprop"}) {
    if (QStandardPaths::findExecutable(QLatin1String(needed)).isEmpty()) {
      run.skipped = true;
      run.output = QStringLiteral("This machine has no %1: the test needs a private desktop with a window manager.")
                       .arg(QLatin1String(needed));
      return run;
    }
  }
  Desktop desktop;
  if (const QString failed = desktop.start(); !failed.isEmpty()) {
    run.output = failed;
    return run;
  }
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  QProcess program;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("DISPLAY"), desktop.display());
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
  environment.insert(QLatin1String(kDesktopVariable), desktop.display());
  environment.remove(QStringLiteral("WAYLAND_DISPLAY"));
  program.setProcessEnvironment(environment);
  program.setProcessChannelMode(QProcess::MergedChannels);
  program.start(QCoreApplication::applicationFilePath(),
                {QStringLiteral("--gtest_filter=%1.%2").arg(QLatin1String(test->test_suite_name()),
                                                            QLatin1String(test->name()))});
  const bool ended = program.waitForFinished(kRunMs);
  if (!ended) Stop(program);
  run.output = QString::fromLocal8Bit(program.readAll());
  run.passed = ended && program.exitStatus() == QProcess::NormalExit && program.exitCode() == 0;
  if (!ended) run.output += QStringLiteral("\nThe run on the private desktop did not end in time.");
  return run;
}

namespace {

// Runs one of the X tools on the private desktop, waiting (bounded) while
// the event loop turns; what it printed, or nothing when it failed or did
// not end.
std::optional<QByteArray> RunTool(const QString& program, const QStringList& arguments) {
  QProcess tool;
  tool.start(program, arguments);
  const bool ended = WaitFor(kToolMs, [&] { return tool.state() == QProcess::NotRunning; });
  if (!ended) Stop(tool);
  if (!ended || tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0) return std::nullopt;
  return tool.readAllStandardOutput();
}

// The number after `label` in a tool's output, or nothing.
std::optional<int> NumberAfter(const QByteArray& output, const QByteArray& label) {
  const qsizetype at = output.indexOf(label);
  if (at < 0) return std::nullopt;
  bool ok = false;
  const int number = output.mid(at + label.size()).split('\n').first().trimmed().toInt(&ok);
  return ok ? std::optional<int>(number) : std::nullopt;
}

// `window`'s own rectangle on the X server, screen pixels; empty when it
// cannot be asked.
QRect InnerOnTheServer(const QWidget* window) {
  const std::optional<QByteArray> info =
      RunTool(QStringLiteral("xwininfo"), {QStringLiteral("-id"), QString::number(window->winId())});
  if (!info) return {};
  const std::optional<int> x = NumberAfter(*info, "Absolute upper-left X:");
  const std::optional<int> y = NumberAfter(*info, "Absolute upper-left Y:");
  const std::optional<int> width = NumberAfter(*info, "Width:");
  const std::optional<int> height = NumberAfter(*info, "Height:");
  if (!x || !y || !width || !height) return {};
  return {*x, *y, *width, *height};
}

// The frame the window manager put round `inner`, `window`'s own rectangle
// on the server; empty while it has not framed it.
QRect FrameAround(const QWidget* window, const QRect& inner) {
  if (inner.isEmpty()) return {};
  const std::optional<QByteArray> extents = RunTool(
      QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(window->winId()), QStringLiteral("_NET_FRAME_EXTENTS")});
  if (!extents || !extents->contains('=')) return {};  // not managed (yet)
  const QList<QByteArray> sides = extents->mid(extents->indexOf('=') + 1).trimmed().split(',');
  if (sides.size() != 4) return {};
  return inner.adjusted(-sides[0].trimmed().toInt(), -sides[2].trimmed().toInt(), sides[1].trimmed().toInt(),
                        sides[3].trimmed().toInt());
}

}  // namespace

std::optional<QByteArray> Xdotool(const QStringList& arguments) {
  return RunTool(QStringLiteral("xdotool"), arguments);
}

QRect FrameOnTheServer(const QWidget* window) { return FrameAround(window, InnerOnTheServer(window)); }

QSize SizeOnTheServer(const QWidget* window) { return InnerOnTheServer(window).size(); }

bool DragPointer(QPoint from, QPoint to) {
  const auto at = [](QPoint point) { return QStringList{QString::number(point.x()), QString::number(point.y())}; };
  // In steps, as a hand moves, each given a moment so that the window
  // manager sees a press, a drag and a release, however busy the machine.
  const QStringList pause{QStringLiteral("sleep"), QStringLiteral("0.2")};
  const QPoint middle = (from + to) / 2;
  return Xdotool(QStringList{QStringLiteral("mousemove")} + at(from) + pause + QStringList{QStringLiteral("mousedown"), QStringLiteral("1")} +
                 pause + QStringList{QStringLiteral("mousemove")} + at(middle) + pause +
                 QStringList{QStringLiteral("mousemove")} + at(to) + pause +
                 QStringList{QStringLiteral("mouseup"), QStringLiteral("1")})
      .has_value();
}

bool DoubleClickTitleBar(const QWidget* window) {
  const QRect inner = InnerOnTheServer(window);
  const QRect frame = FrameAround(window, inner);
  const QPoint title(frame.center().x(), (frame.top() + inner.top()) / 2);
  // The window manager takes the first click after the pointer came over the
  // frame for itself: one click, then the double click once the
  // double-click time (half a second) has passed.
  return Xdotool({QStringLiteral("mousemove"), QString::number(title.x()), QString::number(title.y()),
                  QStringLiteral("sleep"), QStringLiteral("0.3"), QStringLiteral("click"), QStringLiteral("1"),
                  QStringLiteral("sleep"), QStringLiteral("0.7"), QStringLiteral("click"), QStringLiteral("--repeat"),
                  QStringLiteral("2"), QStringLiteral("--delay"), QStringLiteral("100"), QStringLiteral("1")})
      .has_value();
}

// Framed: the window manager has put its frame round the window. Settled:
// the frame has stood still for a moment, and the X server has the window at
// the size it lays itself out for, so that no size the window asked for (or
// the window manager gave) is still on its way. Both as the X server has
// them: Qt may go on taking a framed window for a bare one.
bool WaitUntilFramedAndSettled(QWidget* window) {
  QRect inner, frame;
  const auto ask = [&] {
    inner = InnerOnTheServer(window);
    frame = FrameAround(window, inner);
  };
  const auto state = [&](const char* what) {
    const QSize own = window->size();
    qWarning("%s: \"%s\" has its frame at %d,%d %dx%d on the X server, %dx%d inside it there, %dx%d for itself",
             what, qPrintable(window->windowTitle()), frame.x(), frame.y(), frame.width(), frame.height(),
             inner.width(), inner.height(), own.width(), own.height());
    return false;
  };
  if (!WaitFor(kFramedMs, [&] { return ask(), frame.isValid(); })) return state("never framed");
  QRect last = frame;
  QElapsedTimer still;
  still.start();
  if (!WaitFor(kFramedMs, [&] {
        ask();
        if (frame != last) {
          last = frame;
          still.restart();
        }
        return still.elapsed() >= kSettledMs && inner.size() == window->size();
      }))
    return state("never settled");
  return true;
}

}  // namespace lumaset::test
