#pragma once

// Reading one picture for its thumbnail cell, and deciding which files of a
// folder are pictures at all. Nothing here holds state, so all of it runs on
// worker threads as well as on the window's.

#include <QImage>
#include <QString>
#include <QStringList>

#include <functional>

#include "browser/thumb_table.h"
#include "components/imaging/imaging.h"
#include "components/result.h"
#include "components/thumbnail_cache.h"

namespace lumaset {

// A cell's picture as a worker makes it: the facts for the table and the
// reduced picture, or `facts.unsupported` and no picture.
struct CellPicture {
  ThumbFacts facts;
  QImage image;
};

// A folder's pictures as a worker lists them; `error` says why it could not.
struct PictureListing {
  QStringList paths;
  QString error;
};

// The folder's ordinary files (no folders, no hidden or special files) that
// are pictures, in the panel's order. `folder` ends with "/". Once `stopped`
// says so, the files not yet looked at are passed over and the list is empty.
Result<QStringList> ListPictureFiles(const QString& folder, const std::function<bool()>& stopped = {});

// The picture in `path` reduced to `longSide` pixels along its longer side,
// with its facts. The picture comes from the cache's thumbnail of its size
// class, taken from the cache or decoded (never whole), so that a cell looks
// the same whether its thumbnail was cached or not. Any failure, a picture
// without a size among them, gives an unsupported cell.
CellPicture MakeCellPicture(const QString& path, int longSide, const ThumbnailCache& cache = ThumbnailCache());

// The picture that stands in the cell of a file that cannot be read.
const QImage& PlaceholderPicture();

// The cell's tooltip: "beach.jpg (1600x1200 pixels)", or
// "holiday.Gif (unsupported format)".
QString CellTooltip(const ThumbTable& table, int index);

}  // namespace lumaset
