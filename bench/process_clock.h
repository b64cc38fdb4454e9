#pragma once

// Milliseconds since the process began, by the kernel's record of its start,
// so that a bench counts what ran before main() too (loading libraries).

#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

namespace bench {

inline double MsSinceStart() {
  char buffer[1024] = {};
  const int fd = ::open("/proc/self/stat", O_RDONLY | O_CLOEXEC);
  if (fd < 0) return -1;
  const ssize_t got = ::read(fd, buffer, sizeof buffer - 1);
  ::close(fd);
  const std::string text(buffer, got > 0 ? static_cast<std::size_t>(got) : 0);
  const auto afterName = text.rfind(')');
  if (afterName == std::string::npos) return -1;
  // Field 22, the start time in clock ticks since boot; the name (field 2) may hold spaces.
  const char* field = text.c_str() + afterName + 2;
  for (int i = 3; i < 22 && field; ++i) {
    field = std::strchr(field, ' ');
    if (field) ++field;
  }
  if (!field) return -1;
  const double started = std::strtod(field, nullptr) / static_cast<double>(::sysconf(_SC_CLK_TCK));
  timespec now{};
  ::clock_gettime(CLOCK_BOOTTIME, &now);
  return (static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) / 1e9 - started) * 1000.0;
}

}  // namespace bench
