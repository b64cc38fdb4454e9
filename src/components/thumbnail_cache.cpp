#include "components/thumbnail_cache.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QPainter>
#include <QStandardPaths>
#include <QUrl>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
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

QString stampText(const FileStamp& stamp) {
  return QStringLiteral("%1 %2 %3").arg(stamp.mtimeNs).arg(stamp.ctimeNs).arg(stamp.inode);
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

// PNG chunks end with the CRC-32 of their type and data.
quint32 crc32(const QByteArray& bytes) {
  static const auto table = [] {
    std::array<quint32, 256> entries{};
    for (quint32 n = 0; n < 256; ++n) {
      quint32 c = n;
      for (int k = 0; k < 8; ++k) c = (c & 1U) != 0 ? 0xEDB88320U ^ (c >> 1) : c >> 1;
      entries[n] = c;
    }
    return entries;
  }();
  quint32 crc = 0xFFFFFFFFU;
  for (const char byte : bytes) crc = table[(crc ^ static_cast<quint8>(byte)) & 0xFFU] ^ (crc >> 8);
  return crc ^ 0xFFFFFFFFU;
}

void appendBigEndian(QByteArray& out, quint32 value) {
  for (int shift = 24; shift >= 0; shift -= 8) out.append(static_cast<char>((value >> shift) & 0xFFU));
}

void appendChunk(QByteArray& out, const QByteArray& typeAndData) {
  appendBigEndian(out, static_cast<quint32>(typeAndData.size() - 4));
  out.append(typeAndData);
  appendBigEndian(out, crc32(typeAndData));
}

// `picture` as a PNG (8-bit RGB, or RGBA when it has an alpha channel) with
// plain tEXt chunks for `keys` right after its header, as file managers look
// for them (Qt's writer compresses long values). The rows are stored without
// compression: measured with 1,000 photos of 1024 x 768, an entry of a
// 128-pixel thumbnail takes 37 KB instead of 22 KB at zlib's fastest level,
// but the opening from the cache takes half the time and writing the entries
// a fifth of the processor time.
QByteArray pngBytes(const QImage& picture, const std::vector<std::pair<QByteArray, QByteArray>>& keys) {
  const bool alpha = picture.hasAlphaChannel();
  const QImage rgb = picture.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
  const qsizetype rowBytes = qsizetype{rgb.width()} * (alpha ? 4 : 3);
  QByteArray rows(rgb.height() * (rowBytes + 1), Qt::Uninitialized);
  char* out = rows.data();
  for (int y = 0; y < rgb.height(); ++y) {
    *out++ = 0;  // the row's filter: none
    std::memcpy(out, rgb.constScanLine(y), static_cast<std::size_t>(rowBytes));
    out += rowBytes;
  }
  QByteArray header("IHDR");
  appendBigEndian(header, static_cast<quint32>(rgb.width()));
  appendBigEndian(header, static_cast<quint32>(rgb.height()));
  header.append("\x08", 1).append(alpha ? '\x06' : '\x02').append(QByteArray(3, '\0'));  // depth, colour type

  QByteArray png("\x89PNG\r\n\x1a\n");
  appendChunk(png, header);
  for (const auto& [key, value] : keys) appendChunk(png, "tEXt" + key + '\0' + value);
  appendChunk(png, "IDAT" + qCompress(rows, 0).mid(4));  // qCompress puts the length before the zlib stream
  appendChunk(png, "IEND");
  return png;
}

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
  stamp.ctimeNs = nanoseconds(info.st_ctim);
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
    if (facts && !image.isNull()) return Thumbnail{std::move(image), *facts};
  }

  Result<Thumbnail> made = decoded(path, size);
  // A file that changed while it was read, or a decode that was stopped,
  // keeps no entry either way.
  if (made.cancelled() || FileStamp::Of(path) != before) return made;
  if (made) QFile::remove(failure);
  if (made && !WorthAnEntry(path, made->facts)) return made;
  std::optional<Thumbnail> kept = made ? std::optional<Thumbnail>(*made) : std::nullopt;
  const qint64 bytes = kept ? kept->image.sizeInBytes() : 0;
  writer_->add([target = made ? entry : failure, uri, stamp = *before, kept = std::move(kept)] {
    write(target, uri, stamp, kept ? &*kept : nullptr);
  }, bytes);
  return made;
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
  std::optional<QByteArray> bytes = entryBytes(entry);
  if (!bytes) return std::nullopt;
  QBuffer buffer(&*bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, "png");
  const QSize size = reader.size();
  if (!size.isValid() || std::max(size.width(), size.height()) > kLargeSide) return std::nullopt;
  QImage image;
  if (!reader.read(&image) || image.isNull()) return std::nullopt;
  if (image.text(QString::fromLatin1(kKeyUri)).toUtf8() != uri) return std::nullopt;
  if (number(image.text(QString::fromLatin1(kKeyMTime))) != stamp.mtime) return std::nullopt;
  const QString fileSize = image.text(QString::fromLatin1(kKeyFileSize));
  if (!fileSize.isEmpty() && number(fileSize) != stamp.size) return std::nullopt;

  Found found{std::move(image), std::nullopt};
  const QString revision = found.image.text(QString::fromLatin1(kKeyRevision));
  if (revision.isEmpty()) return found;  // another program's entry: the standard's keys are all it has
  if (number(revision) != kRevision || found.image.text(QString::fromLatin1(kKeyStamp)) != stampText(stamp)) {
    return std::nullopt;
  }
  // A failure record carries no facts; our own entry whose facts do not fit
  // is damaged: no entry, and made again.
  if (found.image.text(QString::fromLatin1(kKeyWidth)).isEmpty()) return found;
  const auto width = facet(found.image.text(QString::fromLatin1(kKeyWidth)));
  const auto height = facet(found.image.text(QString::fromLatin1(kKeyHeight)));
  const auto bits = facet(found.image.text(QString::fromLatin1(kKeyBits)));
  const auto palette = facet(found.image.text(QString::fromLatin1(kKeyPaletteSize)));
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
  std::vector<std::pair<QByteArray, QByteArray>> keys = {
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
  replaceFile(entry, pngBytes(picture, keys));
}

}  // namespace lumaset
