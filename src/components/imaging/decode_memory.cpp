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

// The progress of this thread's work: where it goes, the current stage and
// the last percentage told.
struct ProgressState {
  WorkProgress::Listener listener;
  double from = 0;
  double to = 1;
  int last = 0;
};
thread_local ProgressState threadProgress;

}  // namespace

DecodeStop::Scope::Scope(Question stop) : outer_(std::move(threadStop)) { threadStop = std::move(stop); }

DecodeStop::Scope::~Scope() { threadStop = std::move(outer_); }

bool DecodeStop::requested() { return allEnded.load(std::memory_order_relaxed) || (threadStop && threadStop()); }

void DecodeStop::endAll() { allEnded = true; }

WorkProgress::Scope::Scope(Listener listener)
    : outer_(std::move(threadProgress.listener)),
      outerFrom_(threadProgress.from),
      outerTo_(threadProgress.to),
      outerLast_(threadProgress.last) {
  threadProgress = ProgressState{std::move(listener), 0, 1, 0};
}

WorkProgress::Scope::~Scope() { threadProgress = ProgressState{std::move(outer_), outerFrom_, outerTo_, outerLast_}; }

void WorkProgress::Stage(double from, double to) {
  threadProgress.from = std::clamp(from, 0.0, 1.0);
  threadProgress.to = std::clamp(to, threadProgress.from, 1.0);
}

bool WorkProgress::Step(double done, double total) {
  ProgressState& state = threadProgress;
  if (state.listener && total > 0) {
    const double share = state.from + (state.to - state.from) * std::clamp(done / total, 0.0, 1.0);
    const int percent = std::clamp(static_cast<int>(share * 100), 1, 99);
    if (percent > state.last) {
      state.last = percent;
      state.listener(percent);
    }
  }
  return DecodeStop::requested();
}

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
