// SANE's test back-end stops its reader thread with an asynchronous
// pthread_cancel, which can strike the reader inside the allocator: its
// picture buffer is then lost, or the allocator stays locked and the test
// hangs. In the scanning tests the reader runs to its end instead: the
// cancel does nothing, and the join that follows it waits until the reader
// has written its picture or finds its pipe closed (SIGPIPE is ignored, so
// its write then fails and it returns). The test executables export this
// definition so that it takes the place of the C library's.

#include <pthread.h>

#include <csignal>

extern "C" int pthread_cancel(pthread_t /*thread*/) { return 0; }

namespace {

const bool kPipeSignalIgnored = [] {
  std::signal(SIGPIPE, SIG_IGN);
  return true;
}();

}  // namespace
