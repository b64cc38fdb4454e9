#include "components/thumbnail_cache.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPainter>
#include <QStandardPaths>
#include <QUrl>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <utility>
#include <vector>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <limits>
#include <mutex>
#include <new>
#include <thread>

#include "components/file_system.h"
#include "components/thumbnail_png.h"

namespace lumaset {

namespace {

constexpr char kKeyUri[] = "Thumb::URI";
constexpr char kKeyMTime[] = "Thumb::MTime";
constexpr char kKeyFileSize[] = "Thumb::Size";
constexpr char kKeyWidth[] = "Thumb::Image::Width";
constexpr char kKeyHeight[] = "Thumb::Image::Height";
constexpr char kKeySoftware[] = "Software";
constexpr char kKeyRevision[] = "X-Lumaset::Revision";
constexpr char kKeyStamp[] = "X-Lumaset::Stamp";
constexpr char kKeyBits[] = "X-Lumaset::BitsPerPixel";
constexpr char kKeyPaletteSize[] = "X-Lumaset::PaletteSize";

// The cache's folder for Lumaset's records of pictures it could not read.
constexpr char kFailFolder[] = "fail/lumaset-" LUMASET_VERSION "/";

constexpr int kNormalSide = 128;
constexpr int kLargeSide = 256;

QString folderPath(const QString& path) { return QDir::cleanPath(path) + QLatin1Char('/'); }

QString absoluteClean(const QString& path) { return QDir::cleanPath(QFileInfo(path).absoluteFilePath()); }

// The trash of the home (under the data folder, excluded by name) and of
// other volumes: $topdir/.Trash/$uid and $topdir/.Trash-$uid.
bool inVolumeTrash(const QString& path) {
  const auto parts = QStringView(path).split(QLatin1Char('/'));
  return std::any_of(parts.begin(), parts.end(), [](QStringView part) {
    return part == u".Trash" || part.startsWith(u".Trash-");
  });
}

qint64 nanoseconds(const timespec& time) { return qint64{time.tv_sec} * 1'000'000'000 + time.tv_nsec; }

QString stampText(const FileStamp& stamp) { return QStringLiteral("%1 %2").arg(stamp.mtimeNs).arg(stamp.inode); }

// How an entry's finer stamp stands to the file's.
enum class StampMatch { No, Yes, Older };

// Entries of earlier versions put the inode's change time between the two
// (and were stored without compression): they still serve while the rest
// matches, and are written again in the current form.
StampMatch matchStamp(const QString& text, const FileStamp& stamp) {
  const QStringList parts = text.split(QLatin1Char(' '));
  if (parts.size() == 2) return text == stampText(stamp) ? StampMatch::Yes : StampMatch::No;
  const bool older = parts.size() == 3 && parts[0] == QString::number(stamp.mtimeNs) &&
                     parts[2] == QString::number(stamp.inode);
  return older ? StampMatch::Older : StampMatch::No;
}

std::optional<qint64> number(const QString& text) {
  bool ok = false;
  const qint64 value = text.toLongLong(&ok);
  return ok ? std::optional<qint64>(value) : std::nullopt;
}

// Opaque RGB32 as the imaging layer holds pictures; transparent parts of a
// thumbnail made elsewhere are laid on white.
QImage opaque(const QImage& image) {
  if (!image.hasAlphaChannel()) return image.convertToFormat(QImage::Format_RGB32);
  QImage held(image.size(), QImage::Format_RGB32);
  if (held.isNull()) return held;
  held.fill(Qt::white);
  QPainter painter(&held);
  painter.drawImage(0, 0, image);
  return held;
}

// The most bytes an entry may have: a 256-pixel PNG with its keys takes a
// few hundred kilobytes at worst.
constexpr qint64 kLargestEntry = 4 << 20;

// The bytes of an entry that is a regular file of a sane size, read without
// following a link and without waiting on a FIFO or a device; anything else
// is no entry.
std::optional<QByteArray> entryBytes(const QString& entry) {
  const int fd = ::open(QFile::encodeName(entry).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  QByteArray bytes;
  struct stat info {};
  bool whole = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size <= kLargestEntry;
  if (whole) {
    bytes.resize(static_cast<qsizetype>(info.st_size));
    qsizetype done = 0;
    while (whole && done < bytes.size()) {
      const ssize_t got = ::read(fd, bytes.data() + done, static_cast<size_t>(bytes.size() - done));
      if (got < 0 && errno == EINTR) continue;
      whole = got > 0;
      done += whole ? got : 0;
    }
  }
  ::close(fd);
  return whole ? std::optional<QByteArray>(std::move(bytes)) : std::nullopt;
}

// A number of the entry's keys that fits the picture's facts.
std::optional<int> facet(const QString& text) {
  const std::optional<qint64> value = number(text);
  if (!value || *value < 0 || *value > std::numeric_limits<int>::max()) return std::nullopt;
  return static_cast<int>(*value);
}

// Writes `bytes` as `target` through the checked write, so that a reader
// never sees half an entry; the cache's folders and entries are the user's
// alone. An entry is made again when lost, so it is not waited onto the disk.
void replaceFile(const QString& target, const QByteArray& bytes) {
  const QString folder = QFileInfo(target).path();
  if (!QFileInfo(folder).isDir() && !FileSystemUtility::MakePrivateFolder(folder)) return;
  CheckedFile file(target);
  file.SetMode(0600);
  file.SetDisposable();
  file.ReplaceLinkItself();
  if (file.Open() && file.Write(bytes)) (void)file.Commit();
}

// JPEGs of up to this many pixels get no entry: the decoder scales them by
// a quarter or an eighth while decoding, about as fast as an entry is read
// back. Measured with 300 photos (quality 90, 100-pixel cells, 8 cores): the
// opening from the cache took 135 ms against 230 ms decoding 640 x 480 ones
// (0.3 megapixels), but 104 ms against 350 ms for 1024 x 768 (0.8 megapixels)
// and 95 ms against 1,150 ms for 2048 x 1536.
constexpr qint64 kSmallJpegPixels = 500'000;

bool isJpeg(const QString& path) {
  const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
  unsigned char head[3] = {};
  const bool read = ::read(fd, head, sizeof head) == static_cast<ssize_t>(sizeof head);
  ::close(fd);
  return read && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF;
}

// Entries waiting for the writers hold at most this many bytes of pictures;
// beyond it the thread that made a thumbnail writes its entry itself, so
// that making cells slows down a little rather than an entry being lost.
constexpr qint64 kMostWaitingBytes = 32 << 20;
// The writers' niceness above the threads that make cells.
constexpr int kWriterNice = 10;

// Writers enough to keep up with the threads that make cells: writing an
// entry takes about as long as decoding a small photo.
int writerThreads() { return std::clamp(static_cast<int>(std::thread::hardware_concurrency()) / 2, 1, 4); }

}  // namespace

// Writes entries on threads of its own, started with the first entries.
class ThumbnailCache::Writer {
 public:
  using Job = std::function<void()>;

  Writer() = default;
  Writer(const Writer&) = delete;
  Writer& operator=(const Writer&) = delete;

  // Entries not yet begun are dropped; those being written are finished.
  ~Writer() {
    std::unique_lock lock(mutex_);
    closing_ = true;
    waiting_.clear();
    wake_.notify_all();
    lock.unlock();
    for (std::thread& thread : threads_) thread.join();
  }

  // Queues the entry; when too much is waiting already, writes it at once
  // on the calling thread.
  void add(Job job, qint64 bytes) {
    std::unique_lock lock(mutex_);
    if (closing_) return;
    if (waitingBytes_ + bytes > kMostWaitingBytes) {
      ++busy_;
      lock.unlock();
      runGuarded(job);
      lock.lock();
      --busy_;
      idle_.notify_all();
      return;
    }
    // Another writer only when every idle one already has an entry to take.
    if (static_cast<std::size_t>(sleeping_) <= waiting_.size() &&
        threads_.size() < static_cast<std::size_t>(writerThreads())) {
      threads_.emplace_back([this] { run(); });
    }
    waiting_.push_back({std::move(job), bytes});
    waitingBytes_ += bytes;
    wake_.notify_one();
  }

  void finish() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return waiting_.empty() && busy_ == 0; });
  }

 private:
  struct Waiting {
    Job job;
    qint64 bytes = 0;
  };

  static void runGuarded(const Job& job) {
    try {
      job();
    } catch (...) {  // an entry that cannot be made is made again next time
    }
  }

  void run() {
    (void)::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kWriterNice);
    std::unique_lock lock(mutex_);
    for (;;) {
      ++sleeping_;
      wake_.wait(lock, [this] { return closing_ || !waiting_.empty(); });
      --sleeping_;
      if (closing_) return;
      Waiting next = std::move(waiting_.front());
      waiting_.pop_front();
      ++busy_;
      lock.unlock();
      runGuarded(next.job);
      lock.lock();
      waitingBytes_ -= next.bytes;
      --busy_;
      idle_.notify_all();
    }
  }

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable idle_;
  std::deque<Waiting> waiting_;
  qint64 waitingBytes_ = 0;
  int busy_ = 0;      // entries being written
  int sleeping_ = 0;  // writers waiting for an entry
  bool closing_ = false;
  std::vector<std::thread> threads_;
};

bool WorthAnEntry(const QString& path, const FileFacts& facts) {
  return qint64{facts.width} * facts.height > kSmallJpegPixels || !isJpeg(path);
}

// --- Sizes and stamps ---------------------------------------------------------

int ThumbnailSide(ThumbnailSize size) { return size == ThumbnailSize::Large ? kLargeSide : kNormalSide; }

std::optional<ThumbnailSize> ThumbnailSizeFor(int longSide) {
  if (longSide <= 0 || longSide > kLargeSide) return std::nullopt;
  return longSide <= kNormalSide ? ThumbnailSize::Normal : ThumbnailSize::Large;
}

std::optional<FileStamp> FileStamp::Of(const QString& path) {
  struct stat info {};
  if (::stat(QFile::encodeName(path).constData(), &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;
  FileStamp stamp;
  stamp.mtime = info.st_mtim.tv_sec;
  stamp.mtimeNs = nanoseconds(info.st_mtim);
  stamp.inode = info.st_ino;
  stamp.size = info.st_size;
  return stamp;
}

QImage ReduceThumbnail(const QImage& thumbnail, int longSide) {
  const int longer = std::max(thumbnail.width(), thumbnail.height());
  if (longSide <= 0 || longer <= longSide) return thumbnail;
  const double factor = static_cast<double>(longSide) / longer;
  const QSize target(std::max(1, qRound(thumbnail.width() * factor)), std::max(1, qRound(thumbnail.height() * factor)));
  return thumbnail.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// --- The cache ----------------------------------------------------------------

struct ThumbnailCache::Found {
  QImage image;
  std::optional<FileFacts> facts;  // only in Lumaset's own entries
  bool older = false;              // one of ours in an earlier form
};

ThumbnailCache::ThumbnailCache() = default;

ThumbnailCache::ThumbnailCache(const QString& root, const QStringList& excluded, ThumbnailSource source)
    : root_(root.isEmpty() ? QString() : folderPath(absoluteClean(root))),
      source_(std::move(source)),
      writer_(root_.isEmpty() ? nullptr : std::make_shared<Writer>()) {
  QStringList folders = excluded;
  folders << root_ << QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Trash");
  for (const QString& folder : folders) {
    if (folder.isEmpty()) continue;
    excluded_ << folderPath(absoluteClean(folder));
    const QString canonical = QFileInfo(folder).canonicalFilePath();
    if (!canonical.isEmpty()) excluded_ << folderPath(canonical);
  }
  excluded_.removeDuplicates();
}

QString ThumbnailCache::DefaultRoot() {
  return folderPath(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation) + QStringLiteral("/thumbnails"));
}

QByteArray ThumbnailCache::Uri(const QString& path) { return QUrl::fromLocalFile(absoluteClean(path)).toEncoded(); }

bool ThumbnailCache::cacheable(const QString& path) const {
  if (!enabled()) return false;
  const QString absolute = absoluteClean(path);
  const QString canonical = QFileInfo(absolute).canonicalFilePath();
  for (const QString& form : {absolute, canonical}) {
    if (form.isEmpty()) continue;
    if (inVolumeTrash(form)) return false;
    for (const QString& folder : excluded_) {
      if (form.startsWith(folder)) return false;
    }
  }
  return true;
}

QString ThumbnailCache::entryPath(const QString& path, ThumbnailSize size) const {
  return entryFor(Uri(path), size == ThumbnailSize::Large ? "large/" : "normal/");
}

QString ThumbnailCache::failPath(const QString& path) const { return entryFor(Uri(path), kFailFolder); }

QString ThumbnailCache::entryFor(const QByteArray& uri, const char* folder) const {
  const QByteArray name = QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex();
  return root_ + QString::fromLatin1(folder) + QString::fromLatin1(name) + QStringLiteral(".png");
}

Result<Thumbnail> ThumbnailCache::thumbnail(const QString& path, ThumbnailSize size) const {
  if (!cacheable(path)) return decoded(path, size);
  const std::optional<FileStamp> before = FileStamp::Of(path);
  if (!before) return decoded(path, size);  // no ordinary file: the decoder says why
  const QByteArray uri = Uri(path);
  const int side = ThumbnailSide(size);
  const QString entry = entryFor(uri, size == ThumbnailSize::Large ? "large/" : "normal/");
  const QString failure = entryFor(uri, kFailFolder);

  if (read(failure, uri, *before)) {
    return Error{QStringLiteral("\"%1\" could not be read as a picture and has not changed since.").arg(path)};
  }
  if (auto found = read(entry, uri, *before)) {
    const bool fits = std::max(found->image.width(), found->image.height()) <= side;
    Result<FileFacts> facts = found->facts ? Result<FileFacts>(*found->facts) : source_.probe(path);
    QImage image = fits ? opaque(found->image) : QImage();
    if (facts && !image.isNull()) {
      Thumbnail served{std::move(image), *facts};
      if (found->older) queueWrite(entry, uri, *before, served);
      return served;
    }
  }

  Result<Thumbnail> made = decoded(path, size);
  // A file that changed while it was read, or a decode that was stopped,
  // keeps no entry either way.
  if (made.cancelled() || FileStamp::Of(path) != before) return made;
  if (made) QFile::remove(failure);
  if (made && !WorthAnEntry(path, made->facts)) return made;
  queueWrite(made ? entry : failure, uri, *before, made ? std::optional<Thumbnail>(*made) : std::nullopt);
  return made;
}

void ThumbnailCache::queueWrite(const QString& target, const QByteArray& uri, const FileStamp& stamp,
                                std::optional<Thumbnail> kept) const {
  const qint64 bytes = kept ? kept->image.sizeInBytes() : 0;
  writer_->add([target, uri, stamp, kept = std::move(kept)] { write(target, uri, stamp, kept ? &*kept : nullptr); },
               bytes);
}

void ThumbnailCache::finishWrites() const {
  if (writer_) writer_->finish();
}

Result<Thumbnail> ThumbnailCache::decoded(const QString& path, ThumbnailSize size) const {
  const Result<FileFacts> facts = source_.probe(path);
  if (!facts) return Error{facts.error()};
  if (facts->width <= 0 || facts->height <= 0) {
    return Error{QStringLiteral("\"%1\" cannot be read: the picture has no size.").arg(path)};
  }
  Result<QImage> image = source_.decode(path, ThumbnailSide(size));
  if (!image) return Error{image.error(), image.cancelled()};
  return Thumbnail{std::move(image).value(), *facts};
}

// The entry when it is a PNG that belongs to this very file; a damaged,
// foreign or outdated entry is no entry.
std::optional<ThumbnailCache::Found> ThumbnailCache::read(const QString& entry, const QByteArray& uri,
                                                          const FileStamp& stamp) const {
  const std::optional<QByteArray> bytes = entryBytes(entry);
  if (!bytes) return std::nullopt;
  std::optional<PngPicture> png = ReadThumbnailPng(*bytes, kLargeSide);
  if (!png) return std::nullopt;
  const auto key = [&png](const char* name) { return QString::fromUtf8(png->keys.value(QByteArray(name))); };
  if (png->keys.value(QByteArray(kKeyUri)) != uri) return std::nullopt;
  if (number(key(kKeyMTime)) != stamp.mtime) return std::nullopt;
  const QString fileSize = key(kKeyFileSize);
  if (!fileSize.isEmpty() && number(fileSize) != stamp.size) return std::nullopt;

  Found found{std::move(png->image), std::nullopt};
  const QString revision = key(kKeyRevision);
  if (revision.isEmpty()) return found;  // another program's entry: the standard's keys are all it has
  const StampMatch match = matchStamp(key(kKeyStamp), stamp);
  if (number(revision) != kRevision || match == StampMatch::No) return std::nullopt;
  found.older = match == StampMatch::Older;
  // A failure record carries no facts; our own entry whose facts do not fit
  // is damaged: no entry, and made again.
  if (key(kKeyWidth).isEmpty()) return found;
  const auto width = facet(key(kKeyWidth));
  const auto height = facet(key(kKeyHeight));
  const auto bits = facet(key(kKeyBits));
  const auto palette = facet(key(kKeyPaletteSize));
  if (!width || !height || !bits || !palette || *width == 0 || *height == 0) return std::nullopt;
  found.facts = FileFacts{*width, *height, *bits, *palette};
  return found;
}

// Writes a thumbnail entry, or with `made` null a failure entry (a 1 x 1
// picture with the file's keys only). A write that fails is forgotten.
void ThumbnailCache::write(const QString& entry, const QByteArray& uri, const FileStamp& stamp,
                           const Thumbnail* made) {
  QImage picture = made ? made->image : QImage(1, 1, QImage::Format_ARGB32);
  if (!made) picture.fill(Qt::transparent);
  if (picture.isNull()) return;
  PngKeys keys = {
      {kKeyUri, uri},
      {kKeyMTime, QByteArray::number(stamp.mtime)},
      {kKeyFileSize, QByteArray::number(stamp.size)},
      {kKeySoftware, "Lumaset"},
      {kKeyRevision, QByteArray::number(kRevision)},
      {kKeyStamp, stampText(stamp).toLatin1()},
  };
  if (made) {
    keys.insert(keys.end(), {{kKeyWidth, QByteArray::number(made->facts.width)},
                             {kKeyHeight, QByteArray::number(made->facts.height)},
                             {kKeyBits, QByteArray::number(made->facts.bitsPerPixel)},
                             {kKeyPaletteSize, QByteArray::number(made->facts.paletteSize)}});
  }
  const QByteArray png = ThumbnailPngBytes(picture, keys);
  if (!png.isEmpty()) replaceFile(entry, png);
}

}  // namespace lumaset
