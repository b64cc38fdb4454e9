// The layout reader under libFuzzer: no input may crash it or hang it, and
// whatever it accepts must come back the same once written and read again.

#include <QByteArrayView>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "documents/layout_file.h"

namespace {

using lumaset::LayoutContent;
using lumaset::LayoutFile;
using lumaset::LayoutPicture;

void Require(bool holds) {
  if (!holds) std::abort();
}

bool Placed(const LayoutPicture& picture) {
  for (const float value : {picture.leftFrac, picture.topFrac, picture.widthFrac, picture.heightFrac}) {
    if (!std::isfinite(value) || std::fabs(value) > LayoutFile::kFarthestFraction) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto read =
      LayoutFile::Read(QByteArrayView(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
  if (!read) {
    Require(!read.error().isEmpty());
    return 0;
  }
  Require(read->pictures.size() <= static_cast<std::size_t>(LayoutFile::kMostPictures));
  for (const LayoutPicture& picture : read->pictures) Require(Placed(picture));

  // A label or path with a quote or a line break is refused, not written.
  const auto written = LayoutFile::Write(*read);
  if (!written) return 0;
  const auto again = LayoutFile::Read(*written);
  Require(again.ok());
  Require(again->label == read->label && again->landscape == read->landscape);
  Require(again->pictures.size() == read->pictures.size());
  for (std::size_t i = 0; i < read->pictures.size(); ++i) {
    Require(again->pictures[i].path == read->pictures[i].path);
  }
  // Seven digits may move a value by its last place once, never twice.
  const auto rewritten = LayoutFile::Write(*again);
  Require(rewritten.ok() && *rewritten == *written);
  return 0;
}
