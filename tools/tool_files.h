#pragma once

// What the data-making tools share: a file written beside its target and
// renamed over it, so that a failed run leaves any earlier file whole.

#include <filesystem>
#include <fstream>
#include <string_view>
#include <system_error>

namespace lumaset {

inline bool WriteFileWhole(const std::filesystem::path& path, std::string_view bytes) {
  const std::filesystem::path temporary = path.string() + ".new";
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out.flush()) return false;
  }
  std::error_code error;
  std::filesystem::rename(temporary, path, error);
  if (error) std::filesystem::remove(temporary, error);
  return !error;
}

}  // namespace lumaset
