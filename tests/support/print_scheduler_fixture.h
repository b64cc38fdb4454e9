#pragma once

// One private print scheduler for a whole test program. Before any test
// runs, CUPS is pointed at the scheduler's own folder, so that no test ever
// sees the printers of the machine it runs on. A test that needs the queues
// starts the scheduler (or finds it running from an earlier test); a test of
// a machine without printers stops it. When CUPS is installed the scheduler
// must start: a failure fails the test, and only a machine without CUPS
// skips it.

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

#include "support/private_print_scheduler.h"

namespace lumaset::test {

struct PrintSchedulerState {
  std::unique_ptr<QTemporaryDir> root;
  std::unique_ptr<PrivatePrintScheduler> scheduler;
  QString problem;  // why the last start failed
};

inline PrintSchedulerState& SchedulerState() {
  static PrintSchedulerState state;
  return state;
}

struct PrintSchedulerEnvironment : ::testing::Environment {
  void SetUp() override {
    PrintSchedulerState& state = SchedulerState();
    // Not in the temporary folder: that may be a long path, or one that only
    // its owner may enter (as mktemp -d makes it), and the scheduler's own
    // user must reach the backend and the output folder.
    state.root = std::make_unique<QTemporaryDir>(QStringLiteral("/tmp/lumaset-cups-XXXXXX"));
    QFile::setPermissions(state.root->path(), QFileDevice::Permissions(0x7055));
    qputenv("CUPS_SERVER", QFile::encodeName(PrivatePrintScheduler::SocketPath(state.root->path())));
    state.scheduler = std::make_unique<PrivatePrintScheduler>(state.root->path());
  }
  void TearDown() override {
    SchedulerState().scheduler.reset();
    SchedulerState().root.reset();
  }
};

inline const ::testing::Environment* const kPrintSchedulerEnvironment =
    ::testing::AddGlobalTestEnvironment(new PrintSchedulerEnvironment);

// The running scheduler with its queues "Capture" (the default), "Second"
// and "Papers", no job left from earlier tests; nullptr when it did not start
// (SchedulerState().problem says why).
inline PrivatePrintScheduler* RunningPrintScheduler() {
  PrintSchedulerState& state = SchedulerState();
  state.problem = state.scheduler->Start();
  if (!state.problem.isEmpty()) return nullptr;
  state.scheduler->ForgetJobs();
  return state.scheduler.get();
}

// No print queue at all.
inline void StopPrintScheduler() { SchedulerState().scheduler->Stop(); }

}  // namespace lumaset::test

#define NEED_SCHEDULER(cups)                                                                     \
  if (!::lumaset::test::PrivatePrintScheduler::Installed()) GTEST_SKIP() << "CUPS is not installed here"; \
  ::lumaset::test::PrivatePrintScheduler* const cups = ::lumaset::test::RunningPrintScheduler();  \
  ASSERT_NE(cups, nullptr) << "the private print scheduler did not start: "                        \
                           << ::lumaset::test::SchedulerState().problem.toStdString()
