#pragma once

// The pictures a thumbnail panel is making again for cells that came back
// into view, by cell. Each knows the file it was asked for, so that one that
// arrives after the cells moved is not put in the wrong cell.

#include <QFutureWatcher>
#include <QString>

#include <atomic>
#include <memory>
#include <unordered_map>

#include "browser/thumb_picture.h"
#include "browser/thumbnail_area.h"

namespace lumaset {

struct ThumbnailPanel::Remakes {
  struct Remake {
    QString file;
    std::unique_ptr<QFutureWatcher<CellPicture>> watcher;
    // Set when the picture is no longer wanted: its decode stops.
    std::shared_ptr<std::atomic<bool>> unwanted = std::make_shared<std::atomic<bool>>(false);

    void abandon() const {
      watcher->disconnect();
      watcher->future().cancel();
      unwanted->store(true);
    }
  };
  std::unordered_map<int, Remake> byCell;
};

}  // namespace lumaset
