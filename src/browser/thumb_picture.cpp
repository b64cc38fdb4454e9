#include "browser/thumb_picture.h"

#include <QDir>
#include <QFileInfo>
#include <QPainter>
#include <QtConcurrent/QtConcurrentMap>

#include <new>
#include <optional>

#include "components/imaging/imaging.h"

namespace lumaset {

namespace {

CellPicture unsupported() {
  CellPicture cell;
  cell.facts.unsupported = true;
  return cell;
}

QImage drawPlaceholder() {
  constexpr int kSide = 48;
  QImage image(kSide, kSide, QImage::Format_RGB32);
  image.fill(QColor(224, 224, 224));
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(128, 128, 128), 2));
  painter.drawRect(QRectF(6, 10, kSide - 12, kSide - 20));
  painter.setPen(QPen(QColor(200, 0, 0), 3));
  painter.drawLine(QPointF(10, 38), QPointF(38, 10));
  return image;
}

// A cell larger than any cache class: decoded straight to its size.
Result<Thumbnail> decodedWhole(const QString& path, int longSide) {
  const auto facts = Imaging::FileInfo(path);
  if (!facts) return Error{facts.error()};
  auto image = Imaging::readScaled(path, longSide);
  if (!image) return Error{image.error()};
  return Thumbnail{std::move(image).value(), *facts};
}

}  // namespace

Result<QStringList> ListPictureFiles(const QString& folder, const std::function<bool()>& stopped) {
  const QDir dir(folder);
  if (!QFileInfo(folder).isDir() || !QFileInfo(folder).isReadable()) {
    return Error{QStringLiteral("The folder \"%1\" cannot be read.").arg(QDir::toNativeSeparators(folder))};
  }
  QStringList paths;
  for (const QString& name : dir.entryList(QDir::Files | QDir::NoDotAndDotDot, QDir::Unsorted)) {
    paths.append(folder + name);
  }
  // The headers are read in parallel; this runs on a worker thread that takes part itself.
  const QList<char> accepted = QtConcurrent::blockingMapped<QList<char>>(
      paths, [&stopped](const QString& path) -> char {
        if (stopped && stopped()) return 0;
        return AcceptedAsPicture(path) ? 1 : 0;
      });
  if (stopped && stopped()) return QStringList{};
  QStringList pictures;
  for (qsizetype i = 0; i < paths.size(); ++i) {
    if (accepted.at(i) != 0) pictures.append(paths.at(i));
  }
  return SortPicturePaths(std::move(pictures));
}

CellPicture MakeCellPicture(const QString& path, int longSide, const ThumbnailCache& cache) {
  try {
    const std::optional<ThumbnailSize> size = ThumbnailSizeFor(longSide);
    Result<Thumbnail> thumbnail = size ? cache.thumbnail(path, *size) : decodedWhole(path, longSide);
    if (!thumbnail || thumbnail->facts.width <= 0 || thumbnail->facts.height <= 0) return unsupported();
    const FileFacts& facts = thumbnail->facts;
    CellPicture cell;
    // Colours are counted on the whole picture when asked for, never here:
    // the cell's picture is a reduced one.
    cell.facts = {facts.width, facts.height, facts.bitsPerPixel, 0, false};
    cell.image = ReduceThumbnail(thumbnail->image, longSide);
    return cell;
  } catch (const std::bad_alloc&) {
    return unsupported();  // a picture too large for memory is a cell like any unreadable one
  }
}

const QImage& PlaceholderPicture() {
  static const QImage placeholder = drawPlaceholder();
  return placeholder;
}

QString CellTooltip(const ThumbTable& table, int index) {
  if (!table.isValid(index)) return {};
  const QString name = QFileInfo(table.ThumbFiles(index)).fileName();
  if (table.ThumbUnsupported(index)) return name + QStringLiteral(" (unsupported format)");
  return QStringLiteral("%1 (%2x%3 pixels)")
      .arg(name)
      .arg(table.ThumbWidths(index))
      .arg(table.ThumbHeights(index));
}

}  // namespace lumaset
