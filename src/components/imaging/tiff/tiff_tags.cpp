#include "components/imaging/tiff/tiff_tags.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace lumaset::imaging_detail {

namespace {

// Tags that say where the samples lie or point to other directories: the
// writer makes its own.
constexpr ttag_t kPlacementTags[] = {TIFFTAG_STRIPOFFSETS, TIFFTAG_STRIPBYTECOUNTS, TIFFTAG_TILEOFFSETS,
                                     TIFFTAG_TILEBYTECOUNTS, TIFFTAG_EXIFIFD, TIFFTAG_GPSIFD,
                                     TIFFTAG_INTEROPERABILITYIFD, TIFFTAG_SUBIFD};

// Tags libtiff keeps in its own fields rather than in its list of other
// tags, each with the shape its value takes.
enum class Shape { U16, U32, Float, Double, U16Pair, FloatArray };
struct Held {
  ttag_t tag;
  Shape shape;
};
constexpr Held kHeldTags[] = {
    {TIFFTAG_SUBFILETYPE, Shape::U32},      {TIFFTAG_THRESHHOLDING, Shape::U16},
    {TIFFTAG_FILLORDER, Shape::U16},        {TIFFTAG_MINSAMPLEVALUE, Shape::U16},
    {TIFFTAG_MAXSAMPLEVALUE, Shape::U16},   {TIFFTAG_RESOLUTIONUNIT, Shape::U16},
    {TIFFTAG_YCBCRPOSITIONING, Shape::U16}, {TIFFTAG_NUMBEROFINKS, Shape::U16},
    {TIFFTAG_SMINSAMPLEVALUE, Shape::Double}, {TIFFTAG_SMAXSAMPLEVALUE, Shape::Double},
    {TIFFTAG_XRESOLUTION, Shape::Float},    {TIFFTAG_YRESOLUTION, Shape::Float},
    {TIFFTAG_XPOSITION, Shape::Float},      {TIFFTAG_YPOSITION, Shape::Float},
    {TIFFTAG_PAGENUMBER, Shape::U16Pair},   {TIFFTAG_HALFTONEHINTS, Shape::U16Pair},
    {TIFFTAG_YCBCRSUBSAMPLING, Shape::U16Pair}, {TIFFTAG_REFERENCEBLACKWHITE, Shape::FloatArray},
};
// Held too, copied apart for their values' sizes depend on other tags.
constexpr ttag_t kHeldApart[] = {TIFFTAG_COLORMAP, TIFFTAG_EXTRASAMPLES, TIFFTAG_TRANSFERFUNCTION,
                                 TIFFTAG_INKNAMES, TIFFTAG_SAMPLEFORMAT, TIFFTAG_IMAGEWIDTH,
                                 TIFFTAG_IMAGELENGTH, TIFFTAG_BITSPERSAMPLE, TIFFTAG_SAMPLESPERPIXEL,
                                 TIFFTAG_PHOTOMETRIC, TIFFTAG_PLANARCONFIG, TIFFTAG_COMPRESSION,
                                 TIFFTAG_ROWSPERSTRIP, TIFFTAG_TILEWIDTH, TIFFTAG_TILELENGTH,
                                 TIFFTAG_ORIENTATION, TIFFTAG_PREDICTOR};

template <typename List>
bool listed(const List& list, ttag_t tag) {
  return std::find(std::begin(list), std::end(list), tag) != std::end(list);
}

bool isHeld(ttag_t tag) {
  return listed(kHeldApart, tag) || std::any_of(std::begin(kHeldTags), std::end(kHeldTags),
                                                [tag](const Held& held) { return held.tag == tag; });
}

bool copyHeld(TIFF* from, TIFF* to, const Held& held) {
  switch (held.shape) {
    case Shape::U16: {
      uint16_t value = 0;
      return !TIFFGetField(from, held.tag, &value) || TIFFSetField(to, held.tag, value);
    }
    case Shape::U32: {
      uint32_t value = 0;
      return !TIFFGetField(from, held.tag, &value) || TIFFSetField(to, held.tag, value);
    }
    case Shape::Float: {
      float value = 0;
      return !TIFFGetField(from, held.tag, &value) || TIFFSetField(to, held.tag, double{value});
    }
    case Shape::Double: {
      double value = 0;
      return !TIFFGetField(from, held.tag, &value) || TIFFSetField(to, held.tag, value);
    }
    case Shape::U16Pair: {
      uint16_t first = 0, second = 0;
      return !TIFFGetField(from, held.tag, &first, &second) || TIFFSetField(to, held.tag, first, second);
    }
    case Shape::FloatArray: {
      float* values = nullptr;
      return !TIFFGetField(from, held.tag, &values) || TIFFSetField(to, held.tag, values);
    }
  }
  return false;
}

// The ink names are one string of names each ended by a zero byte.
bool copyInkNames(TIFF* from, TIFF* to) {
  const char* names = nullptr;
  uint16_t inks = 0;
  if (!TIFFGetField(from, TIFFTAG_INKNAMES, &names) || !names) return true;
  TIFFGetFieldDefaulted(from, TIFFTAG_NUMBEROFINKS, &inks);
  size_t length = 0;
  for (uint16_t i = 0; i < std::max<uint16_t>(inks, 1); ++i) length += std::strlen(names + length) + 1;
  return TIFFSetField(to, TIFFTAG_INKNAMES, static_cast<int>(length), names);
}

bool copyHeldApart(TIFF* from, TIFF* to) {
  uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
  if (TIFFGetField(from, TIFFTAG_COLORMAP, &red, &green, &blue) && !TIFFSetField(to, TIFFTAG_COLORMAP, red, green, blue))
    return false;
  if (TIFFGetField(from, TIFFTAG_TRANSFERFUNCTION, &red, &green, &blue) &&
      !TIFFSetField(to, TIFFTAG_TRANSFERFUNCTION, red, green, blue))
    return false;
  return copyInkNames(from, to);
}

// A tag libtiff knows only from the file: the writer learns it the same way.
bool makeKnown(TIFF* to, const TIFFField* field) {
  if (TIFFFindField(to, TIFFFieldTag(field), TIFF_ANY)) return true;
  static char name[] = "Kept";
  const TIFFFieldInfo info{TIFFFieldTag(field), TIFF_VARIABLE2, TIFF_VARIABLE2, TIFFFieldDataType(field),
                           FIELD_CUSTOM, 1, 1, name};
  return TIFFMergeFieldInfo(to, &info, 1) == 0;
}

// One value of a tag libtiff keeps in its list, passed on in the type its
// setter takes.
bool copySingle(TIFF* from, TIFF* to, const TIFFField* field) {
  const ttag_t tag = TIFFFieldTag(field);
  alignas(8) unsigned char value[8] = {};
  if (!TIFFGetField(from, tag, value)) return true;
  const auto as = [&value]<typename T>(T) {
    T v;
    std::memcpy(&v, value, sizeof v);
    return v;
  };
  switch (TIFFFieldDataType(field)) {
    case TIFF_BYTE:
    case TIFF_UNDEFINED: return TIFFSetField(to, tag, int{as(uint8_t{})});
    case TIFF_SBYTE: return TIFFSetField(to, tag, int{as(int8_t{})});
    case TIFF_SHORT: return TIFFSetField(to, tag, int{as(uint16_t{})});
    case TIFF_SSHORT: return TIFFSetField(to, tag, int{as(int16_t{})});
    case TIFF_LONG:
    case TIFF_IFD: return TIFFSetField(to, tag, as(uint32_t{}));
    case TIFF_SLONG: return TIFFSetField(to, tag, as(int32_t{}));
    case TIFF_LONG8:
    case TIFF_IFD8: return TIFFSetField(to, tag, as(uint64_t{}));
    case TIFF_SLONG8: return TIFFSetField(to, tag, as(int64_t{}));
    case TIFF_DOUBLE: return TIFFSetField(to, tag, as(double{}));
    case TIFF_RATIONAL:
    case TIFF_SRATIONAL:
    case TIFF_FLOAT:
      return TIFFSetField(to, tag, TIFFFieldSetGetSize(field) == 8 ? as(double{}) : double{as(float{})});
    default: return false;
  }
}

bool copyListed(TIFF* from, TIFF* to, ttag_t tag) {
  const TIFFField* field = TIFFFindField(from, tag, TIFF_ANY);
  if (!field || !makeKnown(to, field)) return false;
  void* data = nullptr;
  switch (TIFFFieldSetGetCountSize(field)) {
    case 2: {
      uint16_t count = 0;
      return !TIFFGetField(from, tag, &count, &data) || TIFFSetField(to, tag, int{count}, data);
    }
    case 4: {
      uint32_t count = 0;
      return !TIFFGetField(from, tag, &count, &data) || TIFFSetField(to, tag, count, data);
    }
    default: break;
  }
  if (TIFFFieldDataType(field) == TIFF_ASCII || TIFFFieldReadCount(field) != 1)
    return !TIFFGetField(from, tag, &data) || TIFFSetField(to, tag, data);
  return copySingle(from, to, field);
}

// Every tag of `from`'s current custom directory into `to`'s.
bool copyCustomDirectory(TIFF* from, TIFF* to, std::initializer_list<ttag_t> skipped) {
  std::vector<ttag_t> tags;
  for (int i = 0, n = TIFFGetTagListCount(from); i < n; ++i) tags.push_back(TIFFGetTagListEntry(from, i));
  return std::all_of(tags.begin(), tags.end(), [&](ttag_t tag) {
    return listed(skipped, tag) || listed(kPlacementTags, tag) || copyListed(from, to, tag);
  });
}

// Reads the directory at `offset` of `from` as a custom one and writes it
// into `to`, giving where it went; `inner` is then the offset of a
// directory it points to, already written.
bool copyCustom(TIFF* from, TIFF* to, uint64_t offset, bool gps, std::optional<uint64_t> inner, uint64_t& written) {
  if (!(gps ? TIFFReadGPSDirectory(from, offset) : TIFFReadEXIFDirectory(from, offset))) return false;
  TIFFFreeDirectory(to);  // creating a directory leaves the values of the one before behind
  if (gps ? TIFFCreateGPSDirectory(to) != 0 : TIFFCreateEXIFDirectory(to) != 0) return false;
  if (!copyCustomDirectory(from, to, {})) return false;
  if (inner && !TIFFSetField(to, TIFFTAG_INTEROPERABILITYIFD, *inner)) return false;
  return TIFFWriteCustomDirectory(to, &written) != 0;
}

}  // namespace

bool copyTiffTags(TIFF* from, TIFF* to, std::initializer_list<ttag_t> skipped) {
  for (const Held& held : kHeldTags)
    if (!listed(skipped, held.tag) && !copyHeld(from, to, held)) return false;
  if (!copyHeldApart(from, to)) return false;
  std::vector<ttag_t> tags;
  for (int i = 0, n = TIFFGetTagListCount(from); i < n; ++i) tags.push_back(TIFFGetTagListEntry(from, i));
  return std::all_of(tags.begin(), tags.end(), [&](ttag_t tag) {
    return isHeld(tag) || listed(skipped, tag) || listed(kPlacementTags, tag) || copyListed(from, to, tag);
  });
}

std::optional<TiffSubDirectories> copyTiffSubDirectories(TIFF* from, TIFF* to, tdir_t directory) {
  uint64_t exifAt = 0, gpsAt = 0;
  const bool hasExif = TIFFGetField(from, TIFFTAG_EXIFIFD, &exifAt) && exifAt != 0;
  const bool hasGps = TIFFGetField(from, TIFFTAG_GPSIFD, &gpsAt) && gpsAt != 0;
  TiffSubDirectories written;
  if (hasExif) {
    // The interoperability directory inside the EXIF one goes first, so that
    // the EXIF directory can point to where it went.
    uint64_t interopAt = 0, interop = 0, exif = 0;
    if (!TIFFReadEXIFDirectory(from, exifAt)) return std::nullopt;
    const bool hasInterop = TIFFGetField(from, TIFFTAG_INTEROPERABILITYIFD, &interopAt) && interopAt != 0;
    if (hasInterop && !copyCustom(from, to, interopAt, false, std::nullopt, interop)) return std::nullopt;
    if (!copyCustom(from, to, exifAt, false, hasInterop ? std::optional(interop) : std::nullopt, exif))
      return std::nullopt;
    written.exif = exif;
  }
  if (hasGps) {
    uint64_t gps = 0;
    if (!copyCustom(from, to, gpsAt, true, std::nullopt, gps)) return std::nullopt;
    written.gps = gps;
  }
  if (hasExif || hasGps) {
    if (!TIFFSetDirectory(from, directory)) return std::nullopt;
    TIFFFreeDirectory(to);
    TIFFCreateDirectory(to);
  }
  return written;
}

bool setTiffSubDirectories(TIFF* to, const TiffSubDirectories& written) {
  return (!written.exif || TIFFSetField(to, TIFFTAG_EXIFIFD, *written.exif)) &&
         (!written.gps || TIFFSetField(to, TIFFTAG_GPSIFD, *written.gps));
}

}  // namespace lumaset::imaging_detail
