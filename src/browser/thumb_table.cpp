#include "browser/thumb_table.h"

#include <QCollator>

#include <algorithm>

namespace lumaset {

namespace {

template <typename T>
void eraseAt(std::vector<T>& entries, int index) {
  if (index >= 0 && static_cast<std::size_t>(index) < entries.size()) entries.erase(entries.begin() + index);
}

template <typename T>
void resizeCleared(std::vector<T>& entries, std::size_t size) {
  entries.assign(size, T{});
}

}  // namespace

void ThumbTable::start(const QStringList& paths) {
  const auto size = static_cast<std::size_t>(paths.size());
  files_.assign(paths.cbegin(), paths.cend());
  resizeCleared(widths_, size);
  resizeCleared(heights_, size);
  resizeCleared(bits_, size);
  resizeCleared(colors_, size);
  resizeCleared(unsupported_, size);
  count_ = static_cast<int>(paths.size());
  sel_ = -1;
  hover_ = -1;
}

void ThumbTable::stopAt(int made) {
  count_ = std::clamp(made, 0, count_);
  keepIndexesValid();
}

// Depth and colours keep their entries until the next build sizes them again;
// nothing reads them beyond the count.
void ThumbTable::clear() {
  files_.clear();
  widths_.clear();
  heights_.clear();
  unsupported_.clear();
  count_ = 0;
  sel_ = -1;
  hover_ = -1;
}

void ThumbTable::setFacts(int index, const ThumbFacts& facts) {
  if (!isValid(index)) return;
  const auto at = static_cast<std::size_t>(index);
  if (facts.unsupported) {
    unsupported_[at] = 1;
    return;
  }
  widths_[at] = facts.width;
  heights_[at] = facts.height;
  bits_[at] = facts.bits;
  colors_[at] = facts.colors;
  unsupported_[at] = 0;
}

void ThumbTable::setColors(int index, int colors) {
  if (isValid(index)) colors_[static_cast<std::size_t>(index)] = colors;
}

void ThumbTable::markUnsupported(int index) {
  if (isValid(index)) unsupported_[static_cast<std::size_t>(index)] = 1;
}

void ThumbTable::setFile(int index, const QString& path) {
  if (isValid(index)) files_[static_cast<std::size_t>(index)] = path;
}

void ThumbTable::removeAt(int index) {
  if (!isValid(index)) return;
  eraseAt(files_, index);
  eraseAt(widths_, index);
  eraseAt(heights_, index);
  eraseAt(bits_, index);
  eraseAt(colors_, index);
  eraseAt(unsupported_, index);
  --count_;
  keepIndexesValid();
}

int ThumbTable::append(const QString& path) {
  // Entries left beyond the count by a stopped build give way to the new one.
  const auto size = static_cast<std::size_t>(count_);
  files_.resize(size);
  widths_.resize(size);
  heights_.resize(size);
  bits_.resize(size);
  colors_.resize(size);
  unsupported_.resize(size);
  files_.push_back(path);
  widths_.push_back(0);
  heights_.push_back(0);
  bits_.push_back(0);
  colors_.push_back(0);
  unsupported_.push_back(0);
  return count_++;
}

// A removal or a stop may leave the selection or the hover past the end.
void ThumbTable::keepIndexesValid() {
  if (!isValid(sel_)) sel_ = -1;
  if (!isValid(hover_)) hover_ = -1;
}

QStringList SortPicturePaths(QStringList paths) {
  QCollator collator;
  collator.setCaseSensitivity(Qt::CaseInsensitive);
  collator.setNumericMode(false);
  // Names equal but for case fall back to an exact comparison, so the order
  // never depends on how the folder happened to list them. (Sort keys are not
  // used: under the C locale they do not ignore case.)
  std::sort(paths.begin(), paths.end(), [&collator](const QString& a, const QString& b) {
    const int order = collator.compare(a, b);
    return order != 0 ? order < 0 : a < b;
  });
  return paths;
}

}  // namespace lumaset
