// Makes the palettes that come with Lumaset: a grey ramp, the 6 x 6 x 6
// colour cube and a sepia ramp. Each file holds 256 entries of red, green and
// blue, one byte each from 0 to 63, and nothing else (768 bytes). Running the
// tool again gives the same files. Usage: make_palettes <output folder>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "tool_files.h"

namespace lumaset {
namespace {

constexpr int kEntries = 256;
constexpr double kTop = 63;

using Entries = std::array<std::uint8_t, 3 * kEntries>;

std::uint8_t Level(double share) {
  return static_cast<std::uint8_t>(std::lround(std::clamp(share, 0.0, 1.0) * kTop));
}

void Put(Entries& entries, int index, double red, double green, double blue) {
  const auto at = static_cast<std::size_t>(3 * index);
  entries[at] = Level(red);
  entries[at + 1] = Level(green);
  entries[at + 2] = Level(blue);
}

// Black to white in 256 even steps.
Entries GrayRamp() {
  Entries entries{};
  for (int i = 0; i < kEntries; ++i) Put(entries, i, i / 255.0, i / 255.0, i / 255.0);
  return entries;
}

// Six levels of each primary, red slowest: entry 36 r + 6 g + b. The 40
// entries after the cube are greys between its levels, black to white.
Entries ColorCube() {
  Entries entries{};
  for (int i = 0; i < 216; ++i) Put(entries, i, (i / 36) / 5.0, (i / 6 % 6) / 5.0, (i % 6) / 5.0);
  for (int i = 216; i < kEntries; ++i) {
    const double grey = (i - 216) / 39.0;
    Put(entries, i, grey, grey, grey);
  }
  return entries;
}

// Black through warm brown to a pale cream, as old prints fade.
Entries SepiaRamp() {
  Entries entries{};
  for (int i = 0; i < kEntries; ++i) {
    const double t = i / 255.0;
    Put(entries, i, std::pow(t, 0.8), std::pow(t, 1.0) * 0.9, std::pow(t, 1.3) * 0.75);
  }
  return entries;
}

}  // namespace
}  // namespace lumaset

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: make_palettes <output folder>\n", stderr);
    return 2;
  }
  const std::filesystem::path folder = argv[1];
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  const struct {
    const char* file;
    lumaset::Entries entries;
  } palettes[] = {{"Gray.pal", lumaset::GrayRamp()},
                  {"Color Cube.pal", lumaset::ColorCube()},
                  {"Sepia.pal", lumaset::SepiaRamp()}};
  for (const auto& palette : palettes) {
    if (!lumaset::WriteFileWhole(folder / palette.file, std::string_view(reinterpret_cast<const char*>(palette.entries.data()), palette.entries.size()))) {
      std::fprintf(stderr, "make_palettes: cannot write %s\n", (folder / palette.file).c_str());
      return 1;
    }
  }
  return 0;
}
