#include "components/imaging/tiff/tiff_entries.h"

#include <QString>

#include <algorithm>
#include <set>

namespace lumaset::imaging_detail {

namespace {

// No directory a camera, scanner or editor writes comes near these; a file
// that claims more is refused rather than read at length.
constexpr uint64_t kMostEntries = 4096;
constexpr int kMostDirectories = 16;
constexpr int kMostDepth = 4;

constexpr uint16_t kPointerTags[] = {kExifPointerTag, kGpsPointerTag, kInteropPointerTag};

bool isPointerTag(uint16_t tag) { return std::find(std::begin(kPointerTags), std::end(kPointerTags), tag) != std::end(kPointerTags); }

bool isOffsetType(uint16_t type) { return type == kTiffLong || type == kTiffIfd || type == kTiffLong8 || type == kTiffIfd8; }

Error wrong(const char* what) { return Error{QString::fromLatin1(what)}; }

class Reader {
 public:
  Reader(QByteArrayView data, const TiffForm& form) : data_(data), form_(form) {}

  Result<TiffDirectory> directory(uint64_t offset, uint16_t via, int depth) {
    if (depth > kMostDepth || ++read_ > kMostDirectories) return wrong("its directories lead too deep");
    if (!seen_.insert(offset).second) return wrong("its directories lead round in a loop");
    const qsizetype countBytes = form_.big ? 8 : 2;
    if (!within(offset, static_cast<uint64_t>(countBytes))) return wrong("a directory lies outside the file");
    const uint64_t count = tiffNumber(at(offset, countBytes), form_);
    if (count > kMostEntries) return wrong("a directory claims more entries than any file holds");
    const uint64_t first = offset + static_cast<uint64_t>(countBytes);
    const uint64_t entriesBytes = count * static_cast<uint64_t>(form_.entryBytes());
    if (!within(first, entriesBytes + static_cast<uint64_t>(form_.offsetBytes())))
      return wrong("a directory runs past the end of the file");
    TiffDirectory dir;
    dir.offset = offset;
    dir.via = via;
    for (uint64_t i = 0; i < count; ++i) {
      Result<TiffEntry> entry = this->entry(first + i * static_cast<uint64_t>(form_.entryBytes()));
      if (!entry) return Error{entry.error()};
      dir.entries.push_back(std::move(entry).value());
    }
    dir.next = tiffNumber(at(first + entriesBytes, form_.offsetBytes()), form_);
    for (const TiffEntry& e : dir.entries) {
      const std::optional<uint64_t> target = e.number(form_);
      if (!isPointerTag(e.tag) || !isOffsetType(e.type) || e.count != 1 || !target || *target == 0) continue;
      Result<TiffDirectory> sub = directory(*target, e.tag, depth + 1);
      if (!sub) return sub;
      dir.subs.push_back(std::move(sub).value());
    }
    return dir;
  }

 private:
  bool within(uint64_t offset, uint64_t bytes) const {
    const auto size = static_cast<uint64_t>(data_.size());
    return offset <= size && bytes <= size - offset;
  }
  QByteArrayView at(uint64_t offset, qsizetype bytes) const {
    return data_.sliced(static_cast<qsizetype>(offset), bytes);
  }

  Result<TiffEntry> entry(uint64_t at) {
    TiffEntry e;
    e.entryAt = static_cast<qsizetype>(at);
    e.tag = static_cast<uint16_t>(tiffNumber(this->at(at, 2), form_));
    e.type = static_cast<uint16_t>(tiffNumber(this->at(at + 2, 2), form_));
    const qsizetype countBytes = form_.big ? 8 : 4;
    e.count = tiffNumber(this->at(at + 4, countBytes), form_);
    const uint64_t field = at + 4 + static_cast<uint64_t>(countBytes);
    e.valueAt = static_cast<qsizetype>(field);
    const auto size = static_cast<uint64_t>(tiffTypeBytes(e.type));
    if (size == 0) return e;  // a type of no known size: readers pass over it
    if (e.count > static_cast<uint64_t>(data_.size()) / size) return wrong("a tag claims more values than the file holds");
    const uint64_t bytes = e.count * size;
    uint64_t from = field;
    if (bytes > static_cast<uint64_t>(form_.inPlaceBytes())) {
      from = tiffNumber(this->at(field, form_.offsetBytes()), form_);
      if (!within(from, bytes)) return wrong("the value of a tag lies outside the file");
    }
    e.valueAt = static_cast<qsizetype>(from);
    e.value = this->at(from, static_cast<qsizetype>(bytes)).toByteArray();
    return e;
  }

  QByteArrayView data_;
  TiffForm form_;
  std::set<uint64_t> seen_;
  int read_ = 0;
};

void align(QByteArray& file) {
  if (file.size() % 2) file.append('\0');
}

}  // namespace

qsizetype tiffTypeBytes(uint16_t type) {
  switch (type) {
    case 1: case 2: case 6: case 7: return 1;
    case 3: case 8: return 2;
    case 4: case 9: case 11: case 13: return 4;
    case 5: case 10: case 12: case 16: case 17: case 18: return 8;
    default: return 0;
  }
}

uint64_t tiffNumber(QByteArrayView bytes, const TiffForm& form) {
  uint64_t value = 0;
  for (qsizetype i = 0; i < bytes.size(); ++i) {
    const auto byte = static_cast<unsigned char>(bytes[form.bigEndian ? i : bytes.size() - 1 - i]);
    value = value << 8 | byte;
  }
  return value;
}

QByteArray tiffNumberBytes(uint64_t value, qsizetype size, const TiffForm& form) {
  QByteArray bytes(size, '\0');
  for (qsizetype i = 0; i < size; ++i, value >>= 8) bytes[form.bigEndian ? size - 1 - i : i] = static_cast<char>(value & 0xFF);
  return bytes;
}

std::optional<uint64_t> TiffEntry::number(const TiffForm& form, uint64_t i) const {
  const bool integer = type == kTiffByte || type == kTiffShort || isOffsetType(type);
  const qsizetype size = tiffTypeBytes(type);
  if (!integer || i >= count || static_cast<qsizetype>(i + 1) * size > value.size()) return std::nullopt;
  return tiffNumber(QByteArrayView(value).sliced(static_cast<qsizetype>(i) * size, size), form);
}

const TiffEntry* TiffDirectory::find(uint16_t tag) const {
  const auto it = std::find_if(entries.begin(), entries.end(), [tag](const TiffEntry& e) { return e.tag == tag; });
  return it == entries.end() ? nullptr : &*it;
}

TiffEntry* TiffDirectory::find(uint16_t tag) {
  return const_cast<TiffEntry*>(static_cast<const TiffDirectory*>(this)->find(tag));
}

const TiffDirectory* TiffDirectory::sub(uint16_t pointer) const {
  const auto it = std::find_if(subs.begin(), subs.end(), [pointer](const TiffDirectory& d) { return d.via == pointer; });
  return it == subs.end() ? nullptr : &*it;
}

TiffDirectory* TiffDirectory::sub(uint16_t pointer) {
  return const_cast<TiffDirectory*>(static_cast<const TiffDirectory*>(this)->sub(pointer));
}

std::optional<TiffForm> readTiffHeader(QByteArrayView data, uint64_t& first) {
  if (data.size() < 8) return std::nullopt;
  TiffForm form;
  if (data.startsWith("MM")) form.bigEndian = true;
  else if (!data.startsWith("II")) return std::nullopt;
  const uint64_t version = tiffNumber(data.sliced(2, 2), form);
  if (version == 43) {
    if (data.size() < 16 || tiffNumber(data.sliced(4, 2), form) != 8) return std::nullopt;
    form.big = true;
    first = tiffNumber(data.sliced(8, 8), form);
    return form;
  }
  if (version != 42) return std::nullopt;
  first = tiffNumber(data.sliced(4, 4), form);
  return form;
}

Result<TiffDirectory> readTiffDirectory(QByteArrayView data, const TiffForm& form, uint64_t offset) {
  return Reader(data, form).directory(offset, 0, 0);
}

Result<uint64_t> appendTiffDirectory(QByteArray& file, const TiffForm& form, TiffDirectory directory) {
  // The directories it points to go first, so that it can say where they went.
  for (TiffDirectory& sub : directory.subs) {
    TiffEntry* pointer = directory.find(sub.via);
    Result<uint64_t> at = appendTiffDirectory(file, form, std::move(sub));
    if (!at) return at;
    if (pointer) pointer->value = tiffNumberBytes(*at, tiffTypeBytes(pointer->type), form);
  }
  std::stable_sort(directory.entries.begin(), directory.entries.end(),
                   [](const TiffEntry& a, const TiffEntry& b) { return a.tag < b.tag; });
  for (const TiffEntry& e : directory.entries)
    if (tiffTypeBytes(e.type) == 0)
      return Error{QStringLiteral("it holds a tag (%1) of a type Lumaset does not know (%2)").arg(e.tag).arg(e.type)};
  align(file);
  const auto start = static_cast<uint64_t>(file.size());
  const qsizetype countBytes = form.big ? 8 : 2;
  const auto entries = static_cast<qsizetype>(directory.entries.size());
  // Values too long for their entry follow the directory.
  auto valuesAt = static_cast<uint64_t>(file.size() + countBytes + entries * form.entryBytes() + form.offsetBytes());
  QByteArray head = tiffNumberBytes(static_cast<uint64_t>(entries), countBytes, form), values;
  for (const TiffEntry& e : directory.entries) {
    head += tiffNumberBytes(e.tag, 2, form) + tiffNumberBytes(e.type, 2, form) +
            tiffNumberBytes(e.count, form.big ? 8 : 4, form);
    if (e.value.size() <= form.inPlaceBytes()) {
      head += e.value + QByteArray(form.inPlaceBytes() - e.value.size(), '\0');
      continue;
    }
    if (values.size() % 2) values.append('\0');
    head += tiffNumberBytes(valuesAt + static_cast<uint64_t>(values.size()), form.offsetBytes(), form);
    values += e.value;
  }
  head += tiffNumberBytes(0, form.offsetBytes(), form);  // nothing follows it
  file += head + values;
  if (!form.big && file.size() > qsizetype{UINT32_MAX})
    return Error{QStringLiteral("it would grow past the 4 GB a TIFF file can hold")};
  return start;
}

}  // namespace lumaset::imaging_detail
