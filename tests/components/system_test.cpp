#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QDBusConnection>
#include <QEventLoop>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QThreadPool>
#include <QTimer>

#include <cstdio>
#include <cstring>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "components/printer_device.h"
#include "components/screen_saver.h"
#include "components/single_instance.h"
#include "components/system_memory.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

TEST(SystemMemory, ReadsMemAvailableAsSixtyFourBitBytes) {
  struct Case { const char* text; std::optional<qint64> bytes; };
  const Case cases[] = {
      {"MemTotal:       32000000 kB\nMemFree:  100 kB\nMemAvailable:   16000000 kB\n", 16384000000},
      {"MemAvailable: 0 kB", 0},  {"MemTotal:       32000000 kB\nMemFree:  100 kB\n", std::nullopt},
      {"MemAvailable:   lots kB\n", std::nullopt}, {"MemAvailable:   -5 kB\n", std::nullopt},
      {"MemAvailable:   1200\n", std::nullopt},    {"MemAvailable:   9007199254740993 kB\n", std::nullopt},
      {"MemAvailable:   99999999999999999999999 kB\n", std::nullopt}, {"", std::nullopt},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ParseMemAvailable(QString::fromLatin1(c.text)), c.bytes) << c.text;
  EXPECT_GT(AvailableMemoryBytes().value_or(0), 0);
}

// Stands in for the desktop's screen-saver service on a private bus.
class FakeScreenSaver : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")

 public:
  QStringList calls;

 public slots:
  uint Inhibit(const QString& application, const QString& reason) {
    calls << QStringLiteral("Inhibit %1 %2")
                 .arg(application, reason.isEmpty() ? QStringLiteral("-") : QStringLiteral("reason"));
    return 41 + calls.size();
  }
  void UnInhibit(uint cookie) { calls << QStringLiteral("UnInhibit %1").arg(cookie); }
};

// CUPS is opened on a worker while the window is made; the printer check
// then finds it loaded instead of loading it and all it pulls in.
TEST(PrinterDevice, CupsIsOpenedAheadOnAWorker) {
  if (test::LibraryLoaded(QStringLiteral("/libcups."))) GTEST_SKIP() << "an earlier test in this process loaded CUPS";
  PrinterDevice::OpenLibrariesAhead();
  ASSERT_TRUE(QThreadPool::globalInstance()->waitForDone(10000)) << "CUPS was still being opened after 10 s";
  EXPECT_TRUE(test::LibraryLoaded(QStringLiteral("/libcups.")));
}

TEST(ScreenSaverSwitch, HarmlessWithoutASessionBus) {
  ScreenSaverSwitch screenSaver;
  screenSaver.SetActive(false);
  EXPECT_FALSE(screenSaver.Inhibiting());
  screenSaver.SetActive(true);
}

TEST(ScreenSaverSwitch, InhibitsOnceAndReleasesWithItsCookie) {
  if (QStandardPaths::findExecutable(QStringLiteral("dbus-daemon")).isEmpty()) GTEST_SKIP() << "no dbus-daemon";
  const QString folder = test::freshShortFolder(QStringLiteral("bus"));
  QProcess daemon;
  daemon.start("dbus-daemon",
               {"--session", "--nofork", "--print-address=1", "--address=unix:path=" + folder + "/socket"});
  // Installed, it must start.
  ASSERT_TRUE(daemon.waitForStarted(10000)) << daemon.errorString().toStdString();
  ASSERT_TRUE(daemon.waitForReadyRead(10000))
      << "dbus-daemon gave no address: " << daemon.readAllStandardError().toStdString();
  const QString address = QString::fromUtf8(daemon.readLine().trimmed());

  for (const QString servicePath : {"/org/freedesktop/ScreenSaver", "/ScreenSaver"}) {
    QDBusConnection bus = QDBusConnection::connectToBus(address, "screen-saver-test");
    ASSERT_TRUE(bus.isConnected());
    FakeScreenSaver fake;
    bus.registerObject(servicePath, &fake, QDBusConnection::ExportAllSlots);
    ASSERT_TRUE(bus.registerService("org.freedesktop.ScreenSaver"));
    {
      // The bus is reached when the screen saver is first held off, not before.
      int reached = 0;
      ScreenSaverSwitch screenSaver([&] {
        ++reached;
        return bus;
      });
      screenSaver.SetActive(true);
      EXPECT_EQ(reached, 0);
      screenSaver.SetActive(false);
      EXPECT_EQ(reached, 1);
      screenSaver.SetActive(false);
      EXPECT_TRUE(screenSaver.Inhibiting());
      screenSaver.SetActive(true);
      screenSaver.SetActive(true);
      EXPECT_FALSE(screenSaver.Inhibiting());
      screenSaver.SetActive(false);
      EXPECT_EQ(reached, 1);
    }
    EXPECT_EQ(fake.calls,
              (QStringList{"Inhibit Lumaset reason", "UnInhibit 42", "Inhibit Lumaset reason", "UnInhibit 44"}))
        << servicePath.toStdString();
    bus.unregisterService("org.freedesktop.ScreenSaver");
    QDBusConnection::disconnectFromBus("screen-saver-test");
  }
  daemon.kill();
  daemon.waitForFinished();
}

// Runs the event loop until the instance is asked to come forward, or gives up after 5 s.
bool waitForActivation(SingleInstance& instance) {
  QEventLoop loop;
  bool activated = false;
  QObject::connect(&instance, &SingleInstance::activationRequested, &loop, [&] {
    activated = true;
    loop.quit();
  });
  QTimer::singleShot(5000, &loop, &QEventLoop::quit);
  loop.exec();
  return activated;
}

TEST(SingleInstance, SecondCopyAsksTheFirstToComeForward) {
  const QString path = test::freshShortFolder(QStringLiteral("instance")) + QStringLiteral("/Lumaset.instance");
  {
    SingleInstance first(path);
    ASSERT_TRUE(first.TryBecomePrimary());
    ASSERT_TRUE(first.IsListening());
    SingleInstance second(path);
    EXPECT_FALSE(second.TryBecomePrimary());
    EXPECT_TRUE(waitForActivation(first));
  }
  SingleInstance afterwards(path);
  EXPECT_TRUE(afterwards.TryBecomePrimary());
}

// Whatever else connects is let go: a line that is not the request, more
// than a request can be, or nothing at all; a copy is still heard.
TEST(SingleInstance, OnlyTheRequestBringsTheWindowForward) {
  const QString path = test::freshShortFolder(QStringLiteral("callers")) + QStringLiteral("/Lumaset.instance");
  SingleInstance first(path);
  ASSERT_TRUE(first.TryBecomePrimary());
  int activations = 0;
  QObject::connect(&first, &SingleInstance::activationRequested, [&] { ++activations; });
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof(address.sun_path) - 1);
  const auto call = [&](const QByteArray& bytes) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    EXPECT_EQ(::send(fd, bytes.constData(), static_cast<size_t>(bytes.size()), MSG_NOSIGNAL), bytes.size());
    return fd;
  };
  const int silent = call({});
  const int wrong = call("come forward\n");
  const int endless = call(QByteArray(100, 'a'));
  for (const int fd : {wrong, endless}) {
    // Let go: the program hangs up without having brought anything forward.
    char reply = 0;
    EXPECT_TRUE(test::RunUntil([&] { return ::recv(fd, &reply, 1, MSG_DONTWAIT) == 0; }));
    ::close(fd);
  }
  EXPECT_EQ(activations, 0);
  SingleInstance second(path);
  EXPECT_FALSE(second.TryBecomePrimary());
  EXPECT_TRUE(test::RunUntil([&] { return activations == 1; })) << "the copy was not heard";
  ::close(silent);
}

// A path too long for a socket: every copy starts unchecked, at once.
TEST(SingleInstance, APathTooLongForASocketStartsEveryCopyAtOnce) {
  const QString path = test::freshShortFolder(QStringLiteral("long")) + QLatin1Char('/') + QString(150, QLatin1Char('n'));
  SingleInstance first(path);
  ASSERT_TRUE(first.TryBecomePrimary());
  EXPECT_FALSE(first.IsListening());
  QElapsedTimer clock;
  clock.start();
  SingleInstance second(path);
  EXPECT_TRUE(second.TryBecomePrimary());
  EXPECT_LT(clock.elapsed(), 1000) << "the second copy knocked where no copy can listen";
}

TEST(SingleInstance, SocketLeftByACrashedCopyIsTakenOver) {
  const QString path = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation) + QStringLiteral("/stale");
  QFile::resize(path + QStringLiteral(".lock"), 0);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, QFile::encodeName(path).constData(), sizeof(address.sun_path) - 1);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  ::close(fd);  // the socket file stays behind, with nobody listening

  SingleInstance instance(path);
  EXPECT_TRUE(instance.TryBecomePrimary());
  EXPECT_TRUE(instance.IsListening());
}

// Another local user could make a folder in shared /tmp first; only a real
// folder of this user's with mode 0700 holds the lock. Without one, and with a
// link at the lock's path, the program still starts, only unchecked.
TEST(SingleInstance, TheLockLivesOnlyInAFolderOfTheUsersOwn) {
  const QString root = test::freshFolder(QStringLiteral("instance-folders")) + QLatin1Char('/');
  const auto folderWith = [&](const QString& name, int mode) {
    QDir().mkpath(root + name);
    ::chmod(QFile::encodeName(root + name).constData(), mode);
    return root + name;
  };
  QFile::link(folderWith(QStringLiteral("kept"), 0700), root + QStringLiteral("link"));
  test::WriteText(root + QStringLiteral("file"), "x");
  struct Case { QString folder; bool accepted; };
  const Case cases[] = {
      {root + QStringLiteral("missing"), true}, {root + QStringLiteral("kept"), true},
      {folderWith(QStringLiteral("open"), 0777), false}, {folderWith(QStringLiteral("readable"), 0755), false},
      {folderWith(QStringLiteral("sticky"), 01700), false}, {root + QStringLiteral("link"), false},
      {root + QStringLiteral("file"), false}, {root + QStringLiteral("missing/deeper/still"), false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(SingleInstance::ServerPathIn(c.folder), c.accepted ? c.folder + "/Lumaset.instance" : QString())
        << c.folder.toStdString();
  }
  // Nor does a folder of another user's, whatever its mode: root gives one
  // away; anyone else finds root's own.
  const QString others = ::geteuid() == 0 ? folderWith(QStringLiteral("others"), 0700) : QStringLiteral("/root");
  if (::geteuid() == 0) {
    ASSERT_EQ(::chown(QFile::encodeName(others).constData(), 65534, 65534), 0);
  }
  EXPECT_EQ(SingleInstance::ServerPathIn(others), QString());
  EXPECT_EQ(QFile::permissions(root + QStringLiteral("missing")),
            QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner | QFileDevice::ReadUser |
                QFileDevice::WriteUser | QFileDevice::ExeUser);

  // Neither the runtime folder nor the temporary folder's own one will do.
  const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
  const QByteArray temporary = qgetenv("TMPDIR");
  qputenv("XDG_RUNTIME_DIR", QFile::encodeName(root + QStringLiteral("open")));
  qputenv("TMPDIR", QFile::encodeName(root + QStringLiteral("readable")));
  folderWith(QStringLiteral("readable/lumaset-%1").arg(::geteuid()), 0777);
  const QString refused = SingleInstance::DefaultServerPath();
  qputenv("TMPDIR", QFile::encodeName(root + QStringLiteral("kept")));
  const QString own = SingleInstance::DefaultServerPath();
  for (const auto& [name, value] : {std::pair{"XDG_RUNTIME_DIR", runtime}, {"TMPDIR", temporary}}) {
    if (value.isNull()) {
      qunsetenv(name);
    } else {
      qputenv(name, value);
    }
  }
  EXPECT_EQ(refused, QString());
  EXPECT_EQ(own, root + QStringLiteral("kept/lumaset-%1/Lumaset.instance").arg(::geteuid()));
  SingleInstance unchecked(refused);
  EXPECT_TRUE(unchecked.TryBecomePrimary());
  EXPECT_FALSE(unchecked.IsListening());

  // A link at the lock's path is neither followed nor locked.
  const QString path = root + QStringLiteral("kept/Lumaset.instance");
  QFile::link(root + QStringLiteral("victim"), path + QStringLiteral(".lock"));
  SingleInstance linked(path);
  EXPECT_TRUE(linked.TryBecomePrimary());
  EXPECT_FALSE(linked.IsListening());
  EXPECT_FALSE(QFile::exists(root + QStringLiteral("victim")));
}

// The copy that the two-process test starts: this same test program, run with
// only this test enabled and the socket's path in LUMASET_INSTANCE_SERVER.
TEST(SingleInstance, DISABLED_RunAsACopy) {
  SingleInstance instance(qEnvironmentVariable("LUMASET_INSTANCE_SERVER"));
  if (!instance.TryBecomePrimary()) {
    std::printf("copy: secondary\n");
  } else {
    std::printf("copy: primary\n");
    std::fflush(stdout);
    if (waitForActivation(instance)) std::printf("copy: activated\n");
  }
  std::fflush(stdout);
}

TEST(SingleInstance, TwoCopiesStartedTogetherAgreeOnOne) {
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("LUMASET_INSTANCE_SERVER"),
                     test::freshShortFolder(QStringLiteral("together")) + QStringLiteral("/Lumaset.instance"));
  QProcess copies[2];
  for (QProcess& copy : copies) {
    copy.setProcessEnvironment(environment);
    copy.start(QCoreApplication::applicationFilePath(),
               {"--gtest_also_run_disabled_tests", "--gtest_filter=SingleInstance.DISABLED_RunAsACopy"});
  }
  QString outputs;
  for (QProcess& copy : copies) {
    ASSERT_TRUE(copy.waitForFinished(10000)) << "a copy did not end within 10 s";
    outputs += QString::fromUtf8(copy.readAllStandardOutput());
  }
  for (const char* line : {"copy: primary", "copy: secondary", "copy: activated"})
    EXPECT_EQ(outputs.count(line), 1) << outputs.toStdString();
}

}  // namespace
}  // namespace lumaset

#include "system_test.moc"
