#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <ftw.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <thread>

#include "support/run_guard.h"
#include "support/test_support.h"
#include "support/user_namespace.h"

namespace {

// A test that runs longer than this is stopped and fails by name; the
// slowest takes a few seconds. LUMASET_TEST_SECONDS may set another limit.
int TestSeconds() {
  bool given = false;
  const int seconds = qEnvironmentVariableIntValue("LUMASET_TEST_SECONDS", &given);
  return given && seconds > 0 ? seconds : 30;
}

// Points every per-user folder at `root`, so no test reads or writes the real
// ones. The runtime folder, which holds sockets, is `runtime`: a socket's
// path must stay short, wherever the temporary folder is.
void isolateUserFolders(const QByteArray& root, const QByteArray& runtime) {
  const auto set = [&](const char* name, const char* sub) {
    const QByteArray path = root + sub;
    qputenv(name, path);
  };
  set("HOME", "");
  set("XDG_CONFIG_HOME", "/.config");
  set("XDG_DATA_HOME", "/.local/share");
  set("XDG_CACHE_HOME", "/.cache");
  set("XDG_STATE_HOME", "/.local/state");
  qputenv("XDG_RUNTIME_DIR", runtime);
  qunsetenv("XDG_DOCUMENTS_DIR");
  // No session bus: an address where none listens, so that no library
  // starts one of its own on a display (the private desktop's, or the
  // user's), which would outlive the run with its socket in /tmp.
  qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=" + runtime + "/no-session-bus");
  // No test meets the machine's own printers: a window's printer comes
  // when the print system answers, and would change its page mid-test.
  qputenv("CUPS_SERVER", runtime + "/no-print-server");
  for (const char* sub : {"/.config", "/.local/share", "/.cache", "/.local/state"})
    QDir().mkpath(QString::fromLocal8Bit(root + sub));
}

// Removes `folder` whole when a test is stopped by its deadline: its
// threads may still be writing there, and it may have left parts read-only.
void RemoveStoppedTestsFolder(QTemporaryDir& folder) {
  for (int attempt = 0; attempt < 20 && !folder.remove(); ++attempt) {
    ::nftw(QFile::encodeName(folder.path()).constData(),
           [](const char* path, const struct stat* info, int type, FTW*) {
             if (type == FTW_D) ::chmod(path, (info->st_mode & 07777) | S_IRWXU);
             return 0;
           },
           16, FTW_PHYS);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
}

// A death test's child is this program started again to run one statement.
// It works in its parent's private folders, which the parent removes: a
// child often ends by exit() or a signal, which would leave its own behind.
bool RunsInParentsFolders(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("LUMASET_TEST_OWN_FOLDERS")) return false;
  for (int i = 1; i < argc; ++i) {
    if (std::strncmp(argv[i], "--gtest_internal_run_death_test", 31) == 0) return true;
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  lumaset::test::EnterUserNamespaceIfAsked();
  lumaset::test::AdoptOrphans();
  std::optional<QTemporaryDir> home, shortRoot;
  if (RunsInParentsFolders(argc, argv)) {
    const QList<QByteArray> parents = qgetenv("LUMASET_TEST_OWN_FOLDERS").split('\n');
    lumaset::test::SetShortRoot(QFile::decodeName(parents.value(1)));
  } else {
    home.emplace(QDir::tempPath() + QStringLiteral("/lumaset-test-XXXXXX"));
    // Made with mode 0700, as a runtime folder must be.
    shortRoot.emplace(QStringLiteral("/tmp/lumaset-XXXXXX"));
    if (!home->isValid() || !shortRoot->isValid()) {
      std::fprintf(stderr, "No private folder can be made: %s\n",
                   qPrintable(home->isValid() ? shortRoot->errorString() : home->errorString()));
      return 2;
    }
    lumaset::test::SetShortRoot(shortRoot->path());
    qputenv("LUMASET_TEST_OWN_FOLDERS", QFile::encodeName(home->path() + QLatin1Char('\n') + shortRoot->path()));
    isolateUserFolders(QFile::encodeName(home->path()), QFile::encodeName(shortRoot->path()));
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("LUMASET_DATA_DIR")) qputenv("LUMASET_DATA_DIR", LUMASET_BUILD_DATA_DIR);

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Lumaset"));
  ::testing::InitGoogleTest(&argc, argv);
  ::testing::TestEventListeners& listeners = ::testing::UnitTest::GetInstance()->listeners();
  std::unique_ptr<::testing::TestEventListener> deadline(lumaset::test::NewTestDeadline(TestSeconds(), [&] {
    for (std::optional<QTemporaryDir>* folder : {&home, &shortRoot}) {
      if (*folder) RemoveStoppedTestsFolder(**folder);
    }
    lumaset::test::RemoveFoldersLeftBeforeTheNamespace();
  }));
  listeners.Append(deadline.get());
  const int result = RUN_ALL_TESTS();
  listeners.Release(deadline.get());
  lumaset::test::EndChildProcesses();
  lumaset::test::RemoveFoldersLeftBeforeTheNamespace();
  return result;
}
