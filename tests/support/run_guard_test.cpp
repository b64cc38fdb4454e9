#include "support/run_guard.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QThread>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <signal.h>
#include <sys/stat.h>
#include <sys/mount.h>
#include <unistd.h>

#include "support/test_support.h"
#include "support/unanswered_box.h"
#include "support/user_namespace.h"

namespace lumaset::test {
namespace {

// Run by the test below as a program of its own: leaves a process behind
// (started by a child that is gone, so it falls to this program), names it,
// and a read-only folder in its home, names that, then never ends.
TEST(RunGuard, DISABLED_HangsAfterLeavingAProcessBehind) {
  const QString locked = homeFolder() + QStringLiteral("/locked");
  ASSERT_TRUE(QDir().mkpath(locked + QStringLiteral("/inside")));
  ASSERT_EQ(::chmod(QFile::encodeName(locked).constData(), 0500), 0);
  std::printf("home: %s\n", QFile::encodeName(homeFolder()).constData());
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
  const ProgramRun run = RunAsOrdinaryUser(QStringLiteral("RunGuard.DISABLED_HangsAfterLeavingAProcessBehind"), 15,
                                           {QStringLiteral("LUMASET_TEST_SECONDS=2")});
  ASSERT_TRUE(run.ended) << "the hung test was not stopped";
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_TRUE(run.errors.contains("RunGuard.DISABLED_HangsAfterLeavingAProcessBehind did not end within 2 s"))
      << run.errors.toStdString();
  int leftBehind = 0;
  ASSERT_EQ(std::sscanf(run.output.mid(run.output.indexOf("left behind:")).constData(), "left behind: %d", &leftBehind),
            1)
      << run.output.toStdString();
  EXPECT_TRUE(::kill(leftBehind, 0) == -1 && errno == ESRCH) << "process " << leftBehind << " still runs";
  const QByteArray home = run.output.mid(run.output.indexOf("home: ") + 6).split('\n').first();
  ASSERT_FALSE(home.isEmpty()) << run.output.toStdString();
  EXPECT_FALSE(QFileInfo::exists(QFile::decodeName(home))) << "the stopped test's home is left behind";
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

TEST(RunGuard, ATestThatMayNotMountRunsAgainWhereItMay) {
  const ProgramRun run = RunAsOrdinaryUser(QStringLiteral("RunGuard.DISABLED_MountsASmallDisk"), 15);
  ASSERT_TRUE(run.ended) << "the run in a namespace did not end within 15 s";
  if (run.errors.contains("The kernel refuses a user namespace here")) GTEST_SKIP() << run.errors.toStdString();
  EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
  EXPECT_TRUE(run.output.contains("Run again alone, in a user namespace") && run.output.contains("mounted\n"))
      << run.output.toStdString();
}

}  // namespace
}  // namespace lumaset::test
