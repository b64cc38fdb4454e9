#include "browser/thumb_keeper.h"

#include <algorithm>

namespace lumaset {

namespace {

// A search frees this share of the capacity at once.
constexpr int kSlackDivisor = 4;

}  // namespace

void ThumbKeeper::reset(int count) {
  used_.assign(static_cast<std::size_t>(std::max(0, count)), 0);
  held_ = 0;
}

void ThumbKeeper::touch(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= used_.size()) return;
  quint64& used = used_[static_cast<std::size_t>(index)];
  if (used == 0) ++held_;
  used = ++clock_;
}

void ThumbKeeper::drop(int index) {
  if (!holds(index)) return;
  used_[static_cast<std::size_t>(index)] = 0;
  --held_;
}

void ThumbKeeper::removeAt(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= used_.size()) return;
  drop(index);
  used_.erase(used_.begin() + index);
}

void ThumbKeeper::resize(int count) {
  const auto size = static_cast<std::size_t>(std::max(0, count));
  for (std::size_t i = size; i < used_.size(); ++i) held_ -= used_[i] != 0 ? 1 : 0;
  used_.resize(size, 0);
}

bool ThumbKeeper::holds(int index) const {
  return index >= 0 && static_cast<std::size_t>(index) < used_.size() && used_[static_cast<std::size_t>(index)] != 0;
}

std::vector<int> ThumbKeeper::overflow(int first, int last) {
  if (held_ <= capacity_) return {};
  std::vector<int> candidates;
  for (std::size_t i = 0; i < used_.size(); ++i) {
    const int index = static_cast<int>(i);
    if (used_[i] != 0 && (index < first || index > last)) candidates.push_back(index);
  }
  const int keep = capacity_ - capacity_ / kSlackDivisor;
  const auto excess = static_cast<std::size_t>(std::max(0, held_ - keep));
  const std::size_t count = std::min(excess, candidates.size());
  const auto older = [this](int a, int b) {
    return used_[static_cast<std::size_t>(a)] < used_[static_cast<std::size_t>(b)];
  };
  std::nth_element(candidates.begin(), candidates.begin() + static_cast<std::ptrdiff_t>(count), candidates.end(),
                   older);
  candidates.resize(count);
  for (const int index : candidates) drop(index);
  return candidates;
}

}  // namespace lumaset
