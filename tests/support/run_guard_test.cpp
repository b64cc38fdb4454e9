#include "support/run_guard.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMessageBox>
#include <QProcess>
#include <QThread>

#include <cerrno>
#include <cstdio>

#include <signal.h>
#include <unistd.h>

#include "support/unanswered_box.h"

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

}  // namespace
}  // namespace lumaset::test
