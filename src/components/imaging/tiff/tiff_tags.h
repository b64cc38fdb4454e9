#pragma once

// The tags of a TIFF directory copied from one file that libtiff reads to
// another it writes: every tag libtiff keeps for the picture, every other
// tag as the file gives it (known or not), and the EXIF, GPS and
// interoperability directories the picture's directory points to.

#include <tiffio.h>

#include <initializer_list>
#include <optional>

namespace lumaset::imaging_detail {

// Copies every tag of `from`'s current directory that is set there to
// `to`'s current directory, except `skipped`, the tags that hold where the
// samples lie, and the pointers to other directories. False when `to`
// refuses one.
bool copyTiffTags(TIFF* from, TIFF* to, std::initializer_list<ttag_t> skipped);

// Offsets of the directories written apart from the picture's, for its
// pointer tags.
struct TiffSubDirectories {
  std::optional<uint64_t> exif;
  std::optional<uint64_t> gps;
};

// Writes the EXIF and GPS directories of `from`'s directory `directory`
// into `to` (which has written nothing of its picture yet), and leaves
// `from` on `directory` again and `to` on a fresh picture directory. Gives
// nothing when one of them cannot be read or written.
std::optional<TiffSubDirectories> copyTiffSubDirectories(TIFF* from, TIFF* to, tdir_t directory);

// Sets the pointer tags of `to`'s picture directory to `written`.
bool setTiffSubDirectories(TIFF* to, const TiffSubDirectories& written);

}  // namespace lumaset::imaging_detail
