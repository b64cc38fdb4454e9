// Which cells of the thumbnail panel keep their picture in memory, and making
// the pictures of cells that come back into view; building is in
// thumbnail_area.cpp.

#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <vector>

#include "browser/thumb_canvas.h"
#include "browser/thumb_remakes.h"
#include "components/imaging/decode_memory.h"

namespace lumaset {

namespace {

// However small the screen, this many pictures are kept, so that scrolling
// back a little never waits.
constexpr int kLeastKept = 256;
// Beyond the cells near the screen, pictures for this many screens more.
constexpr int kScreensKept = 2;

}  // namespace

ThumbnailPanel::CellWork ThumbnailPanel::workOrDefault() const {
  if (cellWork_) return cellWork_;
  // The workers share the cache as it is now, whatever is set meanwhile.
  return [cache = cache_](const QString& file, int side) { return MakeCellPicture(file, side, *cache); };
}

// The cells of the rows on the screen, with `margin` screenfuls of rows
// above and below, clamped to the cells there are.
std::pair<int, int> ThumbnailPanel::cellsNearScreen(int margin) const {
  if (cells_.empty()) return {0, -1};
  const qint64 offset = canvas_->firstRowOffset();
  const qint64 viewport = PixelsToTwips(std::max(1, height()), twipsPerPixel());
  // The row at the top is the first whose frame reaches below the top edge,
  // not the one whose bottom margin is all that is left there.
  const qint64 firstRow = geometry_.rowOf(offset + geometry_.cell - geometry_.frameSize());
  const qint64 lastRow = geometry_.rowOf(offset + viewport);
  const qint64 rows = (lastRow - firstRow + 1) * margin;
  const qint64 first = std::max<qint64>(0, (firstRow - rows) * geometry_.cols);
  const qint64 last = std::min<qint64>(cellCount() - 1, (lastRow + rows + 1) * geometry_.cols - 1);
  return {static_cast<int>(std::min<qint64>(first, cellCount())), static_cast<int>(last)};
}

// Cell `index` has just got its picture: the cells used longest ago, away
// from the screen, let theirs go.
void ThumbnailPanel::keepPicture(int index) {
  keeper_.touch(index);
  const auto [first, last] = cellsNearScreen();
  keeper_.setCapacity(std::max(kLeastKept, (last - first + 1) * (1 + kScreensKept)));
  for (const int released : keeper_.overflow(first, last)) {
    cells_[static_cast<std::size_t>(released)].picture = QImage();
  }
}

// Cells near the screen whose pictures went are made again; those still
// being made for cells that have left that stretch are given up.
void ThumbnailPanel::requestPictures() {
  const auto [first, last] = cellsNearScreen();
  for (auto it = remakes_->byCell.begin(); it != remakes_->byCell.end();) {
    if (it->first >= first && it->first <= last) {
      ++it;
      continue;
    }
    it->second.abandon();
    it = remakes_->byCell.erase(it);
  }
  const int scale = qRound(geometry_.scale);
  const CellWork work = buildWork_ ? buildWork_ : workOrDefault();
  // The workers take the cells on the screen first, then those below it,
  // then those above.
  const int shownFirst = std::max(first, cellsNearScreen(0).first);
  std::vector<int> wanted;
  for (int i = shownFirst; i <= last; ++i) wanted.push_back(i);
  for (int i = shownFirst - 1; i >= first; --i) wanted.push_back(i);
  for (const int i : wanted) {
    const ThumbCellState& state = cells_[static_cast<std::size_t>(i)];
    if (!state.visible || !state.picture.isNull() || !table_.isValid(i) || table_.ThumbUnsupported(i)) continue;
    if (remakes_->byCell.count(i) != 0) continue;
    Remakes::Remake remake{table_.ThumbFiles(i), std::make_unique<QFutureWatcher<CellPicture>>()};
    connect(remake.watcher.get(), &QFutureWatcherBase::finished, this, [this, i] { onRemade(i); });
    remake.watcher->setFuture(QtConcurrent::run(pool_.get(), [work, file = remake.file, scale,
                                                              unwanted = remake.unwanted]() -> CellPicture {
      const DecodeStop::Scope stop([unwanted] { return unwanted->load(std::memory_order_relaxed); });
      try {
        return work(file, scale);
      } catch (...) {
        CellPicture failed;
        failed.facts.unsupported = true;
        return failed;
      }
    }));
    remakes_->byCell.emplace(i, std::move(remake));
  }
}

void ThumbnailPanel::cancelRemakes() {
  for (const auto& [index, remake] : remakes_->byCell) remake.abandon();
  remakes_->byCell.clear();
}

// A picture made again shows only where its file still is; the table keeps
// what the build learnt. A file that can no longer be read shows the
// placeholder until it is read afresh.
void ThumbnailPanel::onRemade(int index) {
  const auto found = remakes_->byCell.find(index);
  if (found == remakes_->byCell.end()) return;
  Remakes::Remake remake = std::move(found->second);
  remakes_->byCell.erase(found);
  const QFuture<CellPicture> future = remake.watcher->future();
  remake.watcher.release()->deleteLater();  // it is sending the signal that brought us here
  if (future.isCanceled() || future.resultCount() == 0) return;
  if (!table_.isValid(index) || index >= cellCount() || table_.ThumbFiles(index) != remake.file) return;
  ThumbCellState& state = cells_[static_cast<std::size_t>(index)];
  if (!state.picture.isNull()) return;
  const CellPicture made = future.result();
  state.picture = made.facts.unsupported ? PlaceholderPicture() : made.image;
  if (!made.facts.unsupported) keepPicture(index);
  canvas_->update(frameRect(index));
}

}  // namespace lumaset
