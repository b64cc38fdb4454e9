#include "components/imaging/decode_memory.h"

#include <algorithm>
#include <atomic>
#include <chrono>

namespace lumaset {

namespace {

// A waiting decode asks whether it is still wanted this often.
constexpr auto kStopLook = std::chrono::milliseconds(25);

std::atomic<bool> allEnded{false};
thread_local DecodeStop::Question threadStop;

}  // namespace

DecodeStop::Scope::Scope(Question stop) : outer_(std::move(threadStop)) { threadStop = std::move(stop); }

DecodeStop::Scope::~Scope() { threadStop = std::move(outer_); }

bool DecodeStop::requested() { return allEnded.load(std::memory_order_relaxed) || (threadStop && threadStop()); }

void DecodeStop::endAll() { allEnded = true; }

}  // namespace lumaset

namespace lumaset::imaging_detail {

DecodeMemory& DecodeMemory::Shared() {
  static auto* memory = new DecodeMemory(kTotalBytes);
  return *memory;
}

DecodeMemory::Share::Share(DecodeMemory& memory, qint64 bytes) : memory_(memory), bytes_(std::max<qint64>(bytes, 0)) {
  if (bytes_ > memory_.total_) {
    tooLarge_ = true;
    bytes_ = 0;
    return;
  }
  std::unique_lock lock(memory_.mutex_);
  ++memory_.waiting_;
  while (memory_.held_ + bytes_ > memory_.total_ && !DecodeStop::requested()) {
    memory_.returned_.wait_for(lock, kStopLook);
  }
  --memory_.waiting_;
  granted_ = memory_.held_ + bytes_ <= memory_.total_;
  if (!granted_) bytes_ = 0;
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
