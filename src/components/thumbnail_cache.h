#pragma once

// The desktop's shared thumbnail cache ($XDG_CACHE_HOME/thumbnails), as file
// managers keep it: one PNG per picture, named by the MD5 of the picture's
// file URI, in "normal" (128 pixels) or "large" (256 pixels), carrying the
// picture's URI and modification time. Thumbnails that a file manager made
// serve Lumaset, and Lumaset's serve the file manager.
//
// An entry is used only while it matches its file; otherwise the picture is
// decoded and the entry written again. Lumaset's own entries also carry what
// the thumbnail table needs beyond the picture (bits per pixel, the
// palette's size; colours used are counted only when asked for) and a finer stamp of the file than whole seconds, so that a file
// rewritten within the same second is never shown from its old entry.
// Pictures that cannot be read are recorded in the cache's fail folder and
// tried again only when their file changes.
//
// The cache is a help, never a condition: a cache folder that cannot be
// written, is full or holds damaged files leaves every picture to be decoded,
// silently.
//
// Every member is const and touches only the file system, so one cache
// serves any number of worker threads at once. Entries are written by a few
// writer threads of the cache's own at a lower priority, after the thumbnail
// has been handed back, so that filling the cache seldom holds up a cell.
// Every entry made is written: when the writers fall too far behind, the
// thread that made a thumbnail writes its entry itself. Entries still waiting
// when the cache goes are dropped (they are made again next time); those
// being written are finished, so that no half entry is left.

#include <QByteArray>
#include <QImage>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

#include "components/imaging/imaging.h"
#include "components/result.h"

namespace lumaset {

// The cache's size classes: at most 128 or 256 pixels along the longer side.
enum class ThumbnailSize { Normal, Large };

int ThumbnailSide(ThumbnailSize size);
// The smallest class whose thumbnails hold `longSide` pixels; none above 256.
std::optional<ThumbnailSize> ThumbnailSizeFor(int longSide);

// A picture's thumbnail and the facts of its file.
struct Thumbnail {
  QImage image;  // opaque 32-bit RGB, at most the class's side along its longer side
  FileFacts facts;
};

// A file's content as far as its metadata tells; an entry made from it is
// valid while the file still has the same stamp. The inode's change time is
// no part of it: a new link, a chmod or an extended attribute written by a
// backup tool leave the content as it was.
struct FileStamp {
  qint64 mtime = 0;       // whole seconds, as the cache standard keeps it
  qint64 mtimeNs = 0;     // nanoseconds since the epoch
  quint64 inode = 0;      // a file put in place of another
  qint64 size = 0;

  bool operator==(const FileStamp&) const = default;
  static std::optional<FileStamp> Of(const QString& path);
};

// How the cache reads a picture when no entry serves; by default the imaging
// layer. Both are called on worker threads.
struct ThumbnailSource {
  std::function<Result<FileFacts>(const QString& path)> probe = &Imaging::FileInfo;
  std::function<Result<QImage>(const QString& path, int longSide)> decode = &Imaging::readScaled;
};

// Whether a picture is worth an entry: false for a JPEG of at most half a
// megapixel, which the codec decodes at a quarter or an eighth of its size
// about as fast as its entry is read back.
bool WorthAnEntry(const QString& path, const FileFacts& facts);

class ThumbnailCache {
 public:
  // Lumaset's own entries from another revision of the thumbnail maker are
  // made again (raise it when thumbnails come out differently).
  static constexpr int kRevision = 4;

  // A cache that is never read or written: every thumbnail is decoded.
  ThumbnailCache();
  // Entries under `root` (the thumbnails folder); pictures in `excluded`
  // folders, in the trash and in the cache itself are never cached.
  explicit ThumbnailCache(const QString& root, const QStringList& excluded = {}, ThumbnailSource source = {});

  // $XDG_CACHE_HOME/thumbnails/
  static QString DefaultRoot();
  // The file's URI as the cache names it: file:///path with the standard's escaping.
  static QByteArray Uri(const QString& path);

  bool enabled() const { return !root_.isEmpty(); }
  const QString& root() const { return root_; }
  // Whether thumbnails of `path` are read from and written to the cache.
  bool cacheable(const QString& path) const;

  // The thumbnail of `path` in the size class: from its entry when that
  // matches the file, else decoded, and its entry then written by the writers. A picture
  // recorded as unreadable since its last change gives an error at once.
  Result<Thumbnail> thumbnail(const QString& path, ThumbnailSize size) const;

  // Waits until every entry handed to the writer so far is written or given up.
  void finishWrites() const;

  // Where the entries of `path` lie.
  QString entryPath(const QString& path, ThumbnailSize size) const;
  QString failPath(const QString& path) const;

 private:
  struct Found;
  QString entryFor(const QByteArray& uri, const char* folder) const;
  Result<Thumbnail> decoded(const QString& path, ThumbnailSize size) const;
  std::optional<Found> read(const QString& entry, const QByteArray& uri, const FileStamp& stamp) const;
  // Hands an entry (a failure record without `kept`) to the writers.
  void queueWrite(const QString& target, const QByteArray& uri, const FileStamp& stamp,
                  std::optional<Thumbnail> kept) const;
  static void write(const QString& entry, const QByteArray& uri, const FileStamp& stamp, const Thumbnail* made);

  class Writer;

  QString root_;  // ends with "/"; empty when disabled
  QStringList excluded_;
  ThumbnailSource source_;
  std::shared_ptr<Writer> writer_;  // null when disabled
};

// The picture a thumbnail cell shows: `thumbnail` shrunk so that its longer
// side has `longSide` pixels; a smaller one stays as it is. The same for a
// cached thumbnail as for a fresh one.
QImage ReduceThumbnail(const QImage& thumbnail, int longSide);

}  // namespace lumaset
