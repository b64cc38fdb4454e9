#include "browser/thumb_maker.h"

#include <QThreadPool>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>

#include "components/imaging/decode_memory.h"

namespace lumaset {

namespace {

// Enough cells in work to keep every thread busy while the window takes
// them one at a time, few enough that a stop wastes little.
constexpr int kCellsPerThread = 4;

}  // namespace

ThumbMaker::ThumbMaker(QThreadPool* pool, QObject* parent) : QObject(parent), pool_(pool) {}

ThumbMaker::~ThumbMaker() { stop(); }

void ThumbMaker::start(const QStringList& paths, Work work) {
  stop();
  paths_ = paths;
  work_ = std::move(work);
  nextToSubmit_ = 0;
  window_ = std::max(2, pool_->maxThreadCount() * kCellsPerThread);
  running_ = true;
  if (paths_.isEmpty()) {
    running_ = false;
    emit finished();
    return;
  }
  submitMore();
}

void ThumbMaker::stop() {
  running_ = false;
  for (Job& job : jobs_) {
    job.watcher->disconnect(this);
    job.abandon();
  }
  jobs_.clear();
  paths_.clear();
}

bool ThumbMaker::giveUpOnNext() {
  if (!running_ || jobs_.empty() || jobs_.front().future.isFinished()) return false;
  Job job = takeFront();
  job.abandon();
  CellPicture unread;
  unread.facts.unsupported = true;
  deliver(job.index, unread);
  return true;
}

void ThumbMaker::submitMore() {
  while (running_ && static_cast<int>(jobs_.size()) < window_ && nextToSubmit_ < paths_.size()) {
    Job job;
    job.index = nextToSubmit_;
    job.unwanted = std::make_shared<std::atomic<bool>>(false);
    job.future = QtConcurrent::run(pool_, [work = work_, path = paths_.at(nextToSubmit_),
                                           unwanted = job.unwanted]() -> CellPicture {
      const DecodeStop::Scope stop([unwanted] { return unwanted->load(std::memory_order_relaxed); });
      try {
        return work(path);
      } catch (...) {
        CellPicture failed;  // whatever went wrong, the cell shows as unsupported
        failed.facts.unsupported = true;
        return failed;
      }
    });
    job.watcher = std::make_unique<QFutureWatcher<CellPicture>>();
    connect(job.watcher.get(), &QFutureWatcherBase::finished, this, &ThumbMaker::requestHandOver);
    job.watcher->setFuture(job.future);
    jobs_.push_back(std::move(job));
    ++nextToSubmit_;
  }
}

// Hand-overs go through the event queue, never straight from a worker's
// notice, so that the events that came in before always run first.
void ThumbMaker::requestHandOver() {
  if (handOverPosted_ || !running_) return;
  handOverPosted_ = true;
  QMetaObject::invokeMethod(this, &ThumbMaker::handOver, Qt::QueuedConnection);
}

void ThumbMaker::handOver() {
  handOverPosted_ = false;
  if (!running_ || jobs_.empty() || !jobs_.front().future.isFinished()) return;
  Job job = takeFront();
  deliver(job.index, job.future.result());
}

// A cell not yet started is skipped; a running one stops where its decoder
// can, and ends unseen.
void ThumbMaker::Job::abandon() {
  unwanted->store(true);
  future.cancel();
}

ThumbMaker::Job ThumbMaker::takeFront() {
  Job job = std::move(jobs_.front());
  jobs_.pop_front();
  job.watcher->disconnect(this);
  return job;
}

void ThumbMaker::deliver(int index, const CellPicture& picture) {
  const bool last = nextToSubmit_ >= paths_.size() && jobs_.empty();
  submitMore();
  emit cellReady(index, picture);  // the receiver may stop us here
  if (!running_) return;
  if (last) {
    running_ = false;
    paths_.clear();
    emit finished();
    return;
  }
  if (!jobs_.empty() && jobs_.front().future.isFinished()) requestHandOver();
}

}  // namespace lumaset
