#pragma once

// A group that a test may give its files, to check that a group is kept.

#include <gtest/gtest.h>

#include <QFile>
#include <QString>

#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <optional>
#include <utility>
#include <vector>

namespace lumaset::test {

// A group other than the process's own that it may give its files: for root
// any; for a user one of the user's other groups. None when the user
// belongs to no other group, which the test's output then says once.
inline std::optional<gid_t> SpareGroup() {
  if (::geteuid() == 0) return 4242;
  std::vector<gid_t> groups(static_cast<size_t>(std::max(::getgroups(0, nullptr), 0)));
  groups.resize(static_cast<size_t>(std::max(::getgroups(static_cast<int>(groups.size()), groups.data()), 0)));
  for (const gid_t group : groups) {
    if (group != ::getegid()) return group;
  }
  static bool said = false;
  if (!std::exchange(said, true))
    std::cout << "[   NOTE   ] this user belongs to no second group: the group a file keeps is not checked\n";
  return std::nullopt;
}

// Gives `path` the spare group, and gives that group, or none as above.
inline std::optional<gid_t> GiveSpareGroup(const QString& path) {
  const std::optional<gid_t> group = SpareGroup();
  if (group && ::chown(QFile::encodeName(path).constData(), static_cast<uid_t>(-1), *group) != 0) {
    ADD_FAILURE() << "the group of " << path.toStdString() << " cannot be changed";
    return std::nullopt;
  }
  return group;
}

}  // namespace lumaset::test
