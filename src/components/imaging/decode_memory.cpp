#include "components/imaging/decode_memory.h"

#include <algorithm>

namespace lumaset::imaging_detail {

DecodeMemory& DecodeMemory::Shared() {
  static DecodeMemory memory(kTotalBytes);
  return memory;
}

DecodeMemory::Share::Share(DecodeMemory& memory, qint64 bytes)
    : memory_(memory), bytes_(std::clamp<qint64>(bytes, 0, memory.total_)) {
  std::unique_lock lock(memory_.mutex_);
  ++memory_.waiting_;
  memory_.returned_.wait(lock, [this] { return memory_.held_ + bytes_ <= memory_.total_; });
  --memory_.waiting_;
  memory_.held_ += bytes_;
}

DecodeMemory::Share::~Share() {
  {
    const std::lock_guard lock(memory_.mutex_);
    memory_.held_ -= bytes_;
  }
  memory_.returned_.notify_all();
}

qint64 DecodeMemory::held() const {
  const std::lock_guard lock(mutex_);
  return held_;
}

int DecodeMemory::waiting() const {
  const std::lock_guard lock(mutex_);
  return waiting_;
}

}  // namespace lumaset::imaging_detail
