#pragma once

// Pixel work in row bands over worker threads.
//
// A job cuts the rows of a picture into bands whose edges depend only on the
// number of rows and the band granularity, never on how many threads run
// them, so that work which keeps state within a band gives the same bytes on
// any machine. The thread that runs the job only coordinates: it reports
// progress as bands finish (and now and then while they run), and when the
// report asks to stop, the workers see it at their next row.

#include <atomic>
#include <functional>

#include "components/result.h"

namespace lumaset {

class BandContext {
 public:
  BandContext(const std::atomic<bool>& stop, int worker) : stop_(stop), worker_(worker) {}
  // Band work tests this once per row and returns early when it is set.
  bool stopped() const { return stop_.load(std::memory_order_relaxed); }
  // 0 .. threads - 1: which worker runs the band, for per-worker scratch.
  int worker() const { return worker_; }

 private:
  const std::atomic<bool>& stop_;
  int worker_;
};

// Works on rows firstRow .. endRow - 1.
using BandWork = std::function<void(int firstRow, int endRow, const BandContext& context)>;

// Told the percentage done, on the job's own thread; returns false to stop.
using KeepGoing = std::function<bool(int percent)>;

class PixelJob {
 public:
  // `threads` 0 means one per processor.
  explicit PixelJob(int threads = 0, KeepGoing keepGoing = {});
  PixelJob(const PixelJob&) = delete;
  PixelJob& operator=(const PixelJob&) = delete;

  int threads() const { return threads_; }
  bool stopped() const { return stop_.load(); }

  // Runs `work` over bands covering rows 0 .. rows - 1; band edges fall on
  // multiples of `granularity`. Reports percentages between `from` and `to`
  // (but never 0 or 100, which belong to the whole operation). Returns false
  // when the job was stopped, now or earlier; an exception of the work is
  // passed on once every worker has finished.
  bool Run(int rows, int granularity, const BandWork& work, int from = 1, int to = 99);

  // The rows of one band, for a picture of `rows` rows cut at multiples of `granularity`.
  static int BandRows(int rows, int granularity);

 private:
  int threads_;
  KeepGoing keepGoing_;
  std::atomic<bool> stop_{false};
};

// The failure that a stopped job leaves behind.
Error CancelledError();

}  // namespace lumaset
