#pragma once

// Makes the pictures of a folder's cells on a pool of worker threads and hands
// them to the window strictly in cell order, one cell per turn of the event
// loop. Workers finish in any order; a cell is handed over only when every
// cell before it has been. Because the window's events run between two
// cells, a key pressed while cell k is handed over is seen before cell k + 1.
//
// Only a bounded window of cells is in work at a time, so that stopping
// wastes little and memory stays flat on folders of any size.

#include <QFuture>
#include <QFutureWatcher>
#include <QObject>
#include <QStringList>

#include <atomic>
#include <deque>
#include <functional>
#include <memory>

#include "browser/thumb_picture.h"

class QThreadPool;

namespace lumaset {

class ThumbMaker : public QObject {
  Q_OBJECT

 public:
  // Makes the cell of one file; called on worker threads, so it must be
  // safe to run several at once.
  using Work = std::function<CellPicture(const QString& path)>;

  explicit ThumbMaker(QThreadPool* pool, QObject* parent = nullptr);
  ~ThumbMaker() override;

  // Starts making the cells of `paths`, handed over from index 0 up.
  void start(const QStringList& paths, Work work);
  // No cell is handed over after this; work not yet started is dropped, and
  // the decodes of work that has started are stopped where they can be.
  void stop();
  bool running() const { return running_; }
  // Hands over the next cell now as one that could not be read, when its
  // work has not ended: a file system that never answers holds up only its
  // own cell. Its decode is stopped where it can be, and its worker is left
  // to end unseen. False when there was none.
  bool giveUpOnNext();

 signals:
  // Each cell exactly once, in rising order of index.
  void cellReady(int index, const lumaset::CellPicture& picture);
  // After the last cell; not after stop().
  void finished();

 private:
  struct Job {
    int index = 0;
    QFuture<CellPicture> future;
    std::unique_ptr<QFutureWatcher<CellPicture>> watcher;
    std::shared_ptr<std::atomic<bool>> unwanted;  // asked by the cell's decode
    void abandon();
  };

  void submitMore();
  void requestHandOver();
  void handOver();
  Job takeFront();
  void deliver(int index, const CellPicture& picture);

  QThreadPool* pool_;
  QStringList paths_;
  Work work_;
  std::deque<Job> jobs_;  // in index order; the front is the next cell to hand over
  int nextToSubmit_ = 0;
  int window_ = 8;
  bool running_ = false;
  bool handOverPosted_ = false;
};

}  // namespace lumaset
