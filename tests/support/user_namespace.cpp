#include "support/user_namespace.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include "support/run_guard.h"

namespace lumaset::test {
namespace {

// "enter" asks main() for the namespace; it then says "entered" or "refused".
constexpr const char* kState = "LUMASET_TEST_USER_NAMESPACE";
// The private folders of the run before, one a line.
constexpr const char* kLeftFolders = "LUMASET_TEST_LEFT_FOLDERS";

bool WriteProcFile(const char* path, const std::string& text) {
  const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool written = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  return written;
}

// Root inside, this user outside; the mounts made inside stay inside.
const char* Enter() {
  const uid_t user = ::geteuid();
  const gid_t group = ::getegid();
  if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return std::strerror(errno);
  if (!WriteProcFile("/proc/self/setgroups", "deny") ||
      !WriteProcFile("/proc/self/uid_map", "0 " + std::to_string(user) + " 1") ||
      !WriteProcFile("/proc/self/gid_map", "0 " + std::to_string(group) + " 1"))
    return "its user map cannot be written";
  if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return std::strerror(errno);
  return nullptr;
}

}  // namespace

bool AskedForUserNamespace() { return qEnvironmentVariableIsSet(kState); }

void EnterUserNamespaceIfAsked() {
  if (qgetenv(kState) != "enter") return;
  if (const char* refused = Enter()) {
    std::fprintf(stderr, "The kernel refuses a user namespace here (%s): tests of small disks are skipped.\n", refused);
    qputenv(kState, "refused");
  } else {
    qputenv(kState, "entered");
  }
}

void RerunThisTestInUserNamespace() {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  // Run again alone, the tests after it would be lost: only a run of one test is.
  if (AskedForUserNamespace() || !test || ::testing::UnitTest::GetInstance()->test_to_run_count() != 1) return;
  qputenv(kState, "enter");
  qputenv(kLeftFolders, qgetenv("LUMASET_TEST_OWN_FOLDERS"));
  const std::string filter = std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
  std::printf("Run again alone, in a user namespace of its own where it may mount file systems:\n");
  std::fflush(stdout);
  std::fflush(stderr);
  EndChildProcesses();
  const char* const arguments[] = {"/proc/self/exe", filter.c_str(), "--gtest_also_run_disabled_tests", nullptr};
  ::execv(arguments[0], const_cast<char* const*>(arguments));
  std::fprintf(stderr, "The test cannot be run again: %s\n", std::strerror(errno));
  qunsetenv(kState);
}

void RemoveFoldersLeftBeforeTheNamespace() {
  const QByteArray left = qgetenv(kLeftFolders);
  for (const QByteArray& folder : left.split('\n')) {
    if (!folder.isEmpty()) QDir(QFile::decodeName(folder)).removeRecursively();
  }
}

}  // namespace lumaset::test
