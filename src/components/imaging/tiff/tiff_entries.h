#pragma once

// TIFF-structured directories read and written as they are stored: each
// entry's tag, type, count and value bytes, whatever the tag and its type,
// in either byte order, classic or BigTIFF. A TIFF file's own directory is
// one, and so is EXIF data, a small TIFF file inside a JPEG, PNG or WebP
// file. The EXIF, GPS and Interoperability pointers are followed to the
// directories they lead to.
//
// The data is outside input: every offset and count is checked against it,
// a loop between directories or an absurd number of entries is refused with
// the reason, and nothing is read past its end.

#include <QByteArray>
#include <QByteArrayView>

#include <cstdint>
#include <optional>
#include <vector>

#include "components/result.h"

namespace lumaset::imaging_detail {

// The byte order and the kind of a TIFF structure.
struct TiffForm {
  bool bigEndian = false;
  bool big = false;  // BigTIFF: 8-byte counts and offsets
  qsizetype entryBytes() const { return big ? 20 : 12; }
  qsizetype inPlaceBytes() const { return big ? 8 : 4; }
  qsizetype offsetBytes() const { return big ? 8 : 4; }
};

// Tags whose value is where a further directory lies.
constexpr uint16_t kExifPointerTag = 34665;
constexpr uint16_t kGpsPointerTag = 34853;
constexpr uint16_t kInteropPointerTag = 40965;

// Field types (1 BYTE to 18 IFD8).
enum TiffType : uint16_t {
  kTiffByte = 1, kTiffAscii = 2, kTiffShort = 3, kTiffLong = 4, kTiffRational = 5, kTiffUndefined = 7,
  kTiffSShort = 8, kTiffSRational = 10, kTiffIfd = 13, kTiffLong8 = 16, kTiffIfd8 = 18
};

// The bytes of one value of `type`; 0 for a type the format does not define.
qsizetype tiffTypeBytes(uint16_t type);

// Unsigned numbers of 1 to 8 bytes in the form's byte order.
uint64_t tiffNumber(QByteArrayView bytes, const TiffForm& form);
QByteArray tiffNumberBytes(uint64_t value, qsizetype size, const TiffForm& form);

struct TiffEntry {
  uint16_t tag = 0;
  uint16_t type = 0;
  uint64_t count = 0;
  // The values as stored, in the structure's byte order; empty for a type
  // the format does not define, whose size is unknown.
  QByteArray value;
  // Where the entry and its value lie in the data read.
  qsizetype entryAt = 0;
  qsizetype valueAt = 0;

  // Value `i` of a SHORT, LONG, LONG8, IFD, IFD8 or BYTE entry; nothing for
  // other types or past its count.
  std::optional<uint64_t> number(const TiffForm& form, uint64_t i = 0) const;
};

struct TiffDirectory {
  uint64_t offset = 0;  // where it lies in the data read
  uint16_t via = 0;     // the pointer tag that leads here; 0 for a file's own
  std::vector<TiffEntry> entries;
  uint64_t next = 0;  // the directory after it, 0 for none
  // The directories its EXIF, GPS and Interoperability pointers lead to.
  std::vector<TiffDirectory> subs;

  const TiffEntry* find(uint16_t tag) const;
  TiffEntry* find(uint16_t tag);
  const TiffDirectory* sub(uint16_t pointer) const;
  TiffDirectory* sub(uint16_t pointer);
};

// The form and the first directory's offset of the TIFF structure at the
// start of `data`; nothing when it is none.
std::optional<TiffForm> readTiffHeader(QByteArrayView data, uint64_t& first);

// The directory at `offset` of `data`, with the directories its pointers
// lead to; the error names what is wrong with it.
Result<TiffDirectory> readTiffDirectory(QByteArrayView data, const TiffForm& form, uint64_t offset);

// Appends `directory` to `file` (its sub-directories first, its pointers
// set to where they went; entries in ascending order of their tags, each
// value word-aligned) and gives where it starts. An error names a type
// whose size is unknown, or a classic file that would pass 4 GB.
Result<uint64_t> appendTiffDirectory(QByteArray& file, const TiffForm& form, TiffDirectory directory);

}  // namespace lumaset::imaging_detail
