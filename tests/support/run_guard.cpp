#include "support/run_guard.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <utility>
#include <thread>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace lumaset::test {
namespace {

// The parent of process `pid` as /proc tells it, or -1.
pid_t ParentOf(const char* pid) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%s/stat", pid);
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  char text[512];
  const ssize_t size = ::read(fd, text, sizeof text - 1);
  ::close(fd);
  if (size <= 0) return -1;
  text[size] = '\0';
  // "pid (name) state ppid ...": the name may hold anything, so read past its last ")".
  const char* after = std::strrchr(text, ')');
  char state = 0;
  int parent = -1;
  return after && std::sscanf(after + 1, " %c %d", &state, &parent) == 2 ? parent : -1;
}

std::vector<pid_t> Children() {
  std::vector<pid_t> children;
  DIR* proc = ::opendir("/proc");
  if (!proc) return children;
  const pid_t self = ::getpid();
  while (const dirent* entry = ::readdir(proc)) {
    if (entry->d_name[0] < '1' || entry->d_name[0] > '9') continue;
    if (ParentOf(entry->d_name) == self) children.push_back(static_cast<pid_t>(std::atoi(entry->d_name)));
  }
  ::closedir(proc);
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
