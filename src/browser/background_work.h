#pragma once

// Work done on a worker thread, away from the window's thread, its result
// handed back through the event loop. Work that is stopped, or replaced by
// newer work, has its decodes stopped where they can be and its result
// dropped. The workers run on a pool that nothing waits for: neither a
// window's close nor the program's end waits on a picture being read.

#include <QEventLoop>
#include <QImage>
#include <QString>
#include <QFutureWatcher>
#include <QObject>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

#include "components/imaging/decode_memory.h"
#include "components/result.h"

class QThreadPool;

namespace lumaset {

// The pool of the windows' background work, never destroyed.
QThreadPool* BackgroundPool();

// Reads a picture file decoded no larger than `longSide` pixels, on a
// worker: Imaging::readScaled, unless a test hands a slower one.
using ScaledReader = std::function<Result<QImage>(const QString& path, int longSide)>;

template <typename T>
class BackgroundWork {
 public:
  // Runs on the worker: it must touch nothing of the window, and it gives
  // its failures as its result (an exception it lets out drops the result).
  using Work = std::function<T()>;
  using Done = std::function<void(T)>;  // runs on the window's thread

  BackgroundWork() = default;
  ~BackgroundWork() { stop(); }
  BackgroundWork(const BackgroundWork&) = delete;
  BackgroundWork& operator=(const BackgroundWork&) = delete;

  // Stops the work running, if any, and starts `work`; `done` gets its result.
  void start(Work work, Done done) {
    stop();
    auto unwanted = std::make_shared<std::atomic<bool>>(false);
    unwanted_ = unwanted;
    done_ = std::move(done);
    watcher_ = std::make_unique<QFutureWatcher<T>>();
    QObject::connect(watcher_.get(), &QFutureWatcherBase::finished, [this] { finish(); });
    watcher_->setFuture(QtConcurrent::run(BackgroundPool(), [work = std::move(work), unwanted] {
      const DecodeStop::Scope stop([unwanted] { return unwanted->load(std::memory_order_relaxed); });
      return work();
    }));
  }

  // The running work, if any, ends unseen.
  void stop() {
    if (!watcher_) return;
    unwanted_->store(true);
    watcher_->disconnect();
    watcher_.reset();
    unwanted_.reset();
    done_ = nullptr;
  }

  bool running() const { return watcher_ != nullptr; }

  // Waits for the running work, if any, and hands its result over at once,
  // without letting other events run meanwhile.
  void finishNow() {
    if (!watcher_) return;
    watcher_->waitForFinished();
    finish();
  }

 private:
  void finish() {
    QFutureWatcher<T>* watcher = watcher_.release();
    watcher->disconnect();
    watcher->deleteLater();  // it is sending the signal that brought us here
    unwanted_.reset();
    Done done = std::move(done_);
    std::optional<T> result;
    try {
      result.emplace(watcher->result());
    } catch (...) {
      return;
    }
    done(std::move(*result));
  }

  std::unique_ptr<QFutureWatcher<T>> watcher_;
  std::shared_ptr<std::atomic<bool>> unwanted_;
  Done done_;
};

// Runs `work` on a worker while the window's events go on, for a command
// that has to have the result before it can go on. `givenUp`, asked a few
// times a second, stops the work; so does the end of the program's event
// loops. Gives nothing when the work was stopped or failed.
template <typename T>
std::optional<T> AwaitBackground(std::function<T()> work, const std::function<bool()>& givenUp) {
  constexpr int kAskMs = 50;
  std::optional<T> result;
  QEventLoop loop;
  BackgroundWork<T> background;
  background.start(std::move(work), [&result, &loop](T value) {
    result.emplace(std::move(value));
    loop.quit();
  });
  QTimer ask;
  QObject::connect(&ask, &QTimer::timeout, &loop, [&] {
    if (!background.running() || givenUp()) loop.quit();
  });
  ask.start(kAskMs);
  loop.exec();
  background.stop();
  return result;
}

}  // namespace lumaset
