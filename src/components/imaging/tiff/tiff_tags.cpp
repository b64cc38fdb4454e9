#include "components/imaging/tiff/tiff_tags.h"

#include <QString>

#include <algorithm>

#include "components/imaging/exif_turn.h"

namespace lumaset::imaging_detail {

namespace {

// Tags that say how the samples lie, are compressed or where they are: the
// writer makes its own for the turned samples.
constexpr uint16_t kLayoutTags[] = {
    256, 257, 258, 259, 262, 266,  // sizes, depth, compression, colour model, bit order
    273, 277, 278, 279, 284,       // strips, samples a pixel, planes
    288, 289,                      // free space of the old file
    292, 293, 317,                 // fax options, predictor
    322, 323, 324, 325,            // tiles
    338, 339, 347, 530,            // extra samples, sample format, JPEG tables, colour subsampling
    32997, 32998};                 // depth of a volume
// What describes colours stored as YCbCr, which a JPEG-compressed picture
// is no longer once written decoded.
constexpr uint16_t kYCbCrTags[] = {529, 531, 532};
// A JPEG stream of old-style JPEG compression (refused before) or a
// thumbnail, and further pictures: neither belongs in a carried directory.
constexpr uint16_t kRefusedTags[] = {330, 513, 514};

template <typename List>
bool listed(const List& list, uint16_t tag) {
  return std::find(std::begin(list), std::end(list), tag) != std::end(list);
}

Error damaged(const QString& cause) { return Error{QStringLiteral("the picture is damaged or incomplete (%1).").arg(cause)}; }

// The picture stands upright: an orientation of any type becomes 1 as a SHORT.
void standUpright(TiffDirectory& directory, const TiffForm& form) {
  if (TiffEntry* orientation = directory.find(kOrientationTag)) {
    orientation->type = kTiffShort;
    orientation->count = 1;
    orientation->value = tiffNumberBytes(1, 2, form);
  }
  if (TiffEntry* xmp = directory.find(kXmpTag)) xmp->value = xmpUpright(xmp->value);
}

// Where `file`'s directory starts, when it and the values that follow it end
// the file, past every strip and tile (libtiff writes a new file's directory
// after its samples); else the end of the file, so that nothing is cut.
qsizetype directoryRegion(const QByteArray& file, const TiffForm& form, const TiffDirectory& directory) {
  const auto start = static_cast<qsizetype>(directory.offset);
  for (const uint16_t tag : {uint16_t{273}, uint16_t{324}}) {
    const TiffEntry* offsets = directory.find(tag);
    const TiffEntry* counts = directory.find(static_cast<uint16_t>(tag == 273 ? 279 : 325));
    for (uint64_t i = 0; offsets && counts && i < offsets->count; ++i) {
      const uint64_t end = offsets->number(form, i).value_or(0) + counts->number(form, i).value_or(0);
      if (end > static_cast<uint64_t>(start)) return file.size();
    }
  }
  return start;
}

// Whether a directory points to one that is not carried along, which would
// be left behind with its pointer pointing nowhere: an entry of a directory's
// type other than the EXIF, GPS and Interoperability pointers, or one of
// those pointers that is not 0 and led to no directory read (it is of
// another type or count), or that stands twice in the directory.
bool pointsElsewhere(const TiffDirectory& directory) {
  for (const TiffEntry& e : directory.entries) {
    const bool pointer = e.tag == kExifPointerTag || e.tag == kGpsPointerTag || e.tag == kInteropPointerTag;
    if (!pointer) {
      if (e.type == kTiffIfd || e.type == kTiffIfd8) return true;
      continue;
    }
    const bool none = e.value.count('\0') == e.value.size();
    const auto same = std::count_if(directory.entries.begin(), directory.entries.end(),
                                    [&e](const TiffEntry& other) { return other.tag == e.tag; });
    if (same > 1 || (!none && !directory.sub(e.tag))) return true;
  }
  return std::any_of(directory.subs.begin(), directory.subs.end(), pointsElsewhere);
}

}  // namespace

Result<TiffTags> tiffTagsOf(QByteArrayView file) {
  uint64_t first = 0;
  const std::optional<TiffForm> form = readTiffHeader(file, first);
  if (!form) return damaged(QStringLiteral("it does not start as a TIFF file does"));
  Result<TiffDirectory> directory = readTiffDirectory(file, *form, first);
  if (!directory) return damaged(directory.error());
  for (const uint16_t tag : kRefusedTags)
    if (directory->find(tag))
      return Error{QStringLiteral("it holds further pictures besides its own, which would be lost.")};
  if (pointsElsewhere(*directory)) return Error{QStringLiteral("it holds a directory Lumaset does not know, which would be lost.")};
  return TiffTags{*form, std::move(directory).value()};
}

Result<QByteArray> withTiffTags(QByteArray written, TiffTags original, const TiffTagTurn& turn) {
  uint64_t first = 0;
  const std::optional<TiffForm> form = readTiffHeader(written, first);
  if (!form || form->big != original.form.big || form->bigEndian != original.form.bigEndian)
    return Error{QStringLiteral("libtiff wrote a file of another kind.")};
  Result<TiffDirectory> own = readTiffDirectory(written, *form, first);
  if (!own) return Error{QStringLiteral("libtiff wrote a file it cannot read (%1).").arg(own.error())};
  TiffDirectory& carried = original.directory;
  std::erase_if(carried.entries, [&](const TiffEntry& e) {
    return listed(kLayoutTags, e.tag) || (turn.decodedColour && listed(kYCbCrTags, e.tag)) || own->find(e.tag);
  });
  standUpright(carried, *form);
  if (turn.gridTurns) {
    swapAcrossAndDown(carried, kXResolutionTag, kYResolutionTag);
    if (TiffDirectory* exif = carried.sub(kExifPointerTag)) swapAcrossAndDown(*exif, kPixelXTag, kPixelYTag);
  }
  TiffDirectory merged = std::move(carried);
  merged.entries.insert(merged.entries.end(), own->entries.begin(), own->entries.end());
  written.truncate(directoryRegion(written, *form, *own));
  Result<uint64_t> at = appendTiffDirectory(written, *form, std::move(merged));
  if (!at) return Error{QStringLiteral("Lumaset cannot write this TIFF file back without changing it (%1).").arg(at.error())};
  written.replace(form->big ? 8 : 4, form->offsetBytes(), tiffNumberBytes(*at, form->offsetBytes(), *form));
  return written;
}

}  // namespace lumaset::imaging_detail
