#pragma once

// A full disk without root: while a FileSizeLimit lives, no file of this
// process (or a program it starts) may grow past `bytes`, and a write that
// would fails with EFBIG ("File too large") instead of ending the process.
// The limit and the signal's handling are put back at the end of the scope.

#include <csignal>

#include <sys/resource.h>

namespace lumaset::test {

class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) : oldHandler_(std::signal(SIGXFSZ, SIG_IGN)) {
    ::getrlimit(RLIMIT_FSIZE, &old_);
    rlimit limited = old_;
    limited.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~FileSizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, oldHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  void (*oldHandler_)(int);
  rlimit old_{};
};

}  // namespace lumaset::test
