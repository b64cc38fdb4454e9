#include "support/run_guard.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <grp.h>
#include <signal.h>
#include <sys/mount.h>
#include <unistd.h>

#include "support/test_support.h"
#include "support/unanswered_box.h"
#include "support/user_namespace.h"

namespace lumaset::test {
namespace {

// Run by the test below as a program of its own: leaves a process behind
// (started by a child that is gone, so it falls to this program), names it,
// then never ends.
TEST(RunGuard, DISABLED_HangsAfterLeavingAProcessBehind) {
  const pid_t child = ::fork();
  if (child == 0) {
    if (::fork() == 0) {
      std::printf("left behind: %d\n", static_cast<int>(::getpid()));
      std::fflush(stdout);
      ::execlp("sleep", "sleep", "600", nullptr);
    }
    ::_exit(0);
  }
  for (;;) QThread::sleep(1);
}

TEST(RunGuard, AHungTestIsStoppedByNameWithWhatItStarted) {
  QProcess run;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("LUMASET_TEST_SECONDS"), QStringLiteral("2"));
  run.setProcessEnvironment(environment);
  run.start(QCoreApplication::applicationFilePath(),
            {"--gtest_also_run_disabled_tests", "--gtest_filter=RunGuard.DISABLED_HangsAfterLeavingAProcessBehind"});
  ASSERT_TRUE(run.waitForFinished(15000)) << "the hung test was not stopped";
  EXPECT_EQ(run.exitCode(), 1);
  EXPECT_TRUE(run.readAllStandardError().contains(
      "RunGuard.DISABLED_HangsAfterLeavingAProcessBehind did not end within 2 s"));
  const QByteArray output = run.readAllStandardOutput();
  int leftBehind = 0;
  ASSERT_EQ(std::sscanf(output.mid(output.indexOf("left behind:")).constData(), "left behind: %d", &leftBehind), 1)
      << output.toStdString();
  EXPECT_TRUE(::kill(leftBehind, 0) == -1 && errno == ESRCH) << "process " << leftBehind << " still runs";
}

// A box that nobody answers fails the test with its title and text, and goes.
TEST(RunGuard, AnUnansweredBoxFailsTheTestAndCloses) {
  EXPECT_NONFATAL_FAILURE(
      {
        const UnansweredBoxGuard guard(std::chrono::seconds(1));
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Lumaset"), QStringLiteral("Nobody reads this"));
        box.exec();
      },
      "nobody answered the window \"Lumaset\" (QMessageBox): Nobody reads this");
}

// Run by the test below as a program of its own: mounts a small file system,
// running again in a user namespace when it may not.
TEST(RunGuard, DISABLED_MountsASmallDisk) {
  const QByteArray folder = QFile::encodeName(freshFolder(QStringLiteral("disk")));
  if (::mount("tmpfs", folder.constData(), "tmpfs", 0, "size=64k") != 0) {
    if (errno == EPERM) RerunThisTestInUserNamespace();
    GTEST_SKIP() << "no tmpfs: " << std::strerror(errno);
  }
  std::printf("mounted\n");
  ::umount2(folder.constData(), MNT_DETACH);
}

// Root gives its power up first, as an ordinary user runs the tests.
TEST(RunGuard, ATestThatMayNotMountRunsAgainWhereItMay) {
  QProcess run;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("TMPDIR"), QStringLiteral("/tmp"));
  run.setProcessEnvironment(environment);
  run.setChildProcessModifier([] {
    if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
      ::_exit(3);
  });
  // A copy that anyone may run: root's own build may lie in a folder of root's alone.
  QTemporaryDir place(QStringLiteral("/tmp/lumaset-guard-XXXXXX"));
  const QString program = place.filePath(QStringLiteral("test_run_guard"));
  ASSERT_TRUE(QFile::copy(QCoreApplication::applicationFilePath(), program));
  const auto anyone = QFileDevice::Permissions(0x7755);
  ASSERT_TRUE(QFile::setPermissions(place.path(), anyone) && QFile::setPermissions(program, anyone));
  run.start(program, {"--gtest_also_run_disabled_tests", "--gtest_filter=RunGuard.DISABLED_MountsASmallDisk"});
  ASSERT_TRUE(run.waitForFinished(15000)) << "the run in a namespace did not end within 15 s";
  const QByteArray output = run.readAllStandardOutput(), errors = run.readAllStandardError();
  if (errors.contains("The kernel refuses a user namespace here")) GTEST_SKIP() << errors.toStdString();
  EXPECT_EQ(run.exitCode(), 0) << errors.toStdString();
  EXPECT_TRUE(output.contains("Run again alone, in a user namespace") && output.contains("mounted\n"))
      << output.toStdString();
}

}  // namespace
}  // namespace lumaset::test
