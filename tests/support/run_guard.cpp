#include "support/run_guard.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <utility>
#include <thread>
#include <vector>

#include <dirent.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace lumaset::test {
namespace {

// This process's children as the kernel lists them, thread by thread (a
// child belongs to the thread that started it). Only these are ever stopped.
std::vector<pid_t> Children() {
  std::vector<pid_t> children;
  DIR* tasks = ::opendir("/proc/self/task");
  if (!tasks) return children;
  while (const dirent* task = ::readdir(tasks)) {
    if (task->d_name[0] == '.') continue;
    char path[320];
    std::snprintf(path, sizeof path, "/proc/self/task/%s/children", task->d_name);
    FILE* list = std::fopen(path, "re");
    if (!list) continue;
    for (int child = 0; std::fscanf(list, "%d", &child) == 1;) {
      if (child > 1 && child != ::getpid()) children.push_back(child);
    }
    std::fclose(list);
  }
  ::closedir(tasks);
  return children;
}

class TestDeadline : public ::testing::EmptyTestEventListener {
 public:
  TestDeadline(int seconds, std::function<void()> cleanUp)
      : limit_(seconds), cleanUp_(std::move(cleanUp)), watch_([this] { Watch(); }) {}
  ~TestDeadline() override {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      stopping_ = true;
    }
    changed_.notify_all();
    watch_.join();
  }
  TestDeadline(const TestDeadline&) = delete;
  TestDeadline& operator=(const TestDeadline&) = delete;

  void OnTestStart(const ::testing::TestInfo& test) override {
    {
      const std::lock_guard<std::mutex> lock(mutex_);
      running_ = std::string(test.test_suite_name()) + "." + test.name();
      deadline_ = std::chrono::steady_clock::now() + limit_;
    }
    changed_.notify_all();
  }
  void OnTestEnd(const ::testing::TestInfo&) override {
    const std::lock_guard<std::mutex> lock(mutex_);
    running_.clear();
  }

 private:
  void Watch() {
    std::unique_lock<std::mutex> lock(mutex_);
    while (!stopping_) {
      if (running_.empty()) {
        changed_.wait(lock);
      } else if (changed_.wait_until(lock, deadline_) == std::cv_status::timeout && !running_.empty() &&
                 std::chrono::steady_clock::now() >= deadline_) {
        std::fprintf(stderr,
                     "\n[  FAILED  ] %s did not end within %lld s: it waits for something that never comes "
                     "(a lock never released, an event never sent, a process never ending). Stopped.\n",
                     running_.c_str(), static_cast<long long>(limit_.count()));
        std::fflush(stderr);
        EndChildProcesses();
        if (cleanUp_) cleanUp_();
        std::_Exit(1);
      }
    }
  }

  const std::chrono::seconds limit_;
  const std::function<void()> cleanUp_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::string running_;
  std::chrono::steady_clock::time_point deadline_;
  bool stopping_ = false;
  std::thread watch_;  // last: it starts once everything above is ready
};

}  // namespace

void AdoptOrphans() { ::prctl(PR_SET_CHILD_SUBREAPER, 1); }

void EndChildProcesses() {
  // Each round stops the children; what they had started comes to this
  // process (AdoptOrphans) and is stopped in the next round.
  for (int round = 0; round < 50; ++round) {
    const std::vector<pid_t> children = Children();
    if (children.empty()) return;
    for (const pid_t child : children) ::kill(child, SIGKILL);
    for (const pid_t child : children) ::waitpid(child, nullptr, 0);
  }
}

::testing::TestEventListener* NewTestDeadline(int seconds, std::function<void()> cleanUp) {
  return new TestDeadline(seconds, std::move(cleanUp));
}

}  // namespace lumaset::test
