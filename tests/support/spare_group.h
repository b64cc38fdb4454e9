#pragma once

// A group that a test may give its files to check that a group is kept.

#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <optional>
#include <vector>

namespace lumaset::test {

// A group other than the process's own that it may give its files: for root
// any; for a user one of the user's other groups. None when the user
// belongs to no other group, which the test's output then says.
inline std::optional<gid_t> SpareGroup() {
  if (::geteuid() == 0) return 4242;
  std::vector<gid_t> groups(static_cast<size_t>(std::max(::getgroups(0, nullptr), 0)));
  groups.resize(static_cast<size_t>(std::max(::getgroups(static_cast<int>(groups.size()), groups.data()), 0)));
  for (const gid_t group : groups) {
    if (group != ::getegid()) return group;
  }
  std::cout << "[   NOTE   ] this user belongs to no second group: the group a file keeps is not checked\n";
  return std::nullopt;
}

}  // namespace lumaset::test
