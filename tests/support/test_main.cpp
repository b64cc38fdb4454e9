#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>


namespace {

// Points every per-user folder at `root`, so no test reads or writes the real ones.
void isolateUserFolders(const QByteArray& root) {
  const auto set = [&](const char* name, const char* sub) {
    const QByteArray path = root + sub;
    qputenv(name, path);
  };
  set("HOME", "");
  set("XDG_CONFIG_HOME", "/.config");
  set("XDG_DATA_HOME", "/.local/share");
  set("XDG_CACHE_HOME", "/.cache");
  set("XDG_STATE_HOME", "/.local/state");
  set("XDG_RUNTIME_DIR", "/runtime");
  qunsetenv("XDG_DOCUMENTS_DIR");
  qunsetenv("DBUS_SESSION_BUS_ADDRESS");
  for (const char* sub : {"/.config", "/.local/share", "/.cache", "/.local/state", "/runtime"})
    QDir().mkpath(QString::fromLocal8Bit(root + sub));
  QFile::setPermissions(QString::fromLocal8Bit(root + "/runtime"),
                        QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

}  // namespace

int main(int argc, char** argv) {
  QTemporaryDir home(QDir::tempPath() + QStringLiteral("/lumaset-test-XXXXXX"));
  if (!home.isValid()) return 2;
  isolateUserFolders(QFile::encodeName(home.path()));
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("LUMASET_DATA_DIR")) qputenv("LUMASET_DATA_DIR", LUMASET_BUILD_DATA_DIR);

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Lumaset"));
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
