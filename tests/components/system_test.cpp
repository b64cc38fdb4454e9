#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QProcess>
#include <QStandardPaths>
#include <QThreadPool>

#include "components/printer_device.h"
#include "components/screen_saver.h"
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

}  // namespace
}  // namespace lumaset

#include "system_test.moc"
