#include "components/imaging/pixels/pixel_bands.h"

#include <QThread>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace lumaset {

namespace {

// Enough bands to keep every core busy to the end, few enough that each is
// worth a thread's start.
constexpr int kMaxBands = 64;
constexpr int kMinBandRows = 16;

// Between band ends the coordinator still reports this often, so that a
// Cancel click is taken while a band runs.
constexpr auto kReportInterval = std::chrono::milliseconds(40);

}  // namespace

Error CancelledError() { return Error{QStringLiteral("The operation was cancelled."), true}; }

PixelJob::PixelJob(int threads, KeepGoing keepGoing)
    : threads_(threads > 0 ? threads : std::max(1, QThread::idealThreadCount())),
      keepGoing_(std::move(keepGoing)) {}

int PixelJob::BandRows(int rows, int granularity) {
  const int step = std::max(1, granularity);
  const int wanted = std::max(kMinBandRows, (std::max(rows, 1) + kMaxBands - 1) / kMaxBands);
  const int steps = std::max(1, (wanted + step - 1) / step);
  return static_cast<int>(std::min<long long>(static_cast<long long>(steps) * step, std::max(rows, 1)));
}

bool PixelJob::Run(int rows, int granularity, const BandWork& work, int from, int to) {
  if (stop_.load()) return false;
  if (rows <= 0) return true;
  const int bandRows = BandRows(rows, granularity);
  const int bands = (rows + bandRows - 1) / bandRows;
  const int workers = std::min(threads_, bands);
  const auto bandEnd = [&](int band) { return static_cast<int>(std::min<long long>(rows, (band + 1LL) * bandRows)); };

  if (workers == 1 && !keepGoing_) {  // nobody to report to: no thread needed
    const BandContext context(stop_, 0);
    for (int band = 0; band < bands && !stop_.load(); ++band) work(band * bandRows, bandEnd(band), context);
    return !stop_.load();
  }

  std::atomic<int> next{0};
  std::mutex mutex;
  std::condition_variable changed;
  int done = 0;
  int running = workers;
  std::exception_ptr failure;

  const auto loop = [&](int worker) {
    const BandContext context(stop_, worker);
    for (;;) {
      const int band = next.fetch_add(1);
      if (band >= bands || stop_.load()) break;
      try {
        work(band * bandRows, bandEnd(band), context);
      } catch (...) {
        const std::lock_guard lock(mutex);
        if (!failure) failure = std::current_exception();
        stop_.store(true);
      }
      {
        const std::lock_guard lock(mutex);
        ++done;
      }
      changed.notify_one();
    }
    {
      const std::lock_guard lock(mutex);
      --running;
    }
    changed.notify_one();
  };

  std::vector<std::jthread> pool;
  pool.reserve(static_cast<std::size_t>(workers));
  for (int worker = 0; worker < workers; ++worker) pool.emplace_back(loop, worker);

  // Reports as bands end, now and then meanwhile, and once more when all are
  // done, so that every run reports at least once, however fast it was.
  std::unique_lock lock(mutex);
  for (;;) {
    if (running > 0) changed.wait_for(lock, kReportInterval);
    const bool last = running == 0;
    if (keepGoing_) {
      const int percent = std::clamp(from + static_cast<int>((to - from) * static_cast<long long>(done) / bands), 1, 99);
      lock.unlock();
      if (!keepGoing_(percent)) stop_.store(true);
      lock.lock();
    }
    if (last) break;
  }
  lock.unlock();
  pool.clear();  // joins
  if (failure) std::rethrow_exception(failure);
  return !stop_.load();
}

}  // namespace lumaset
