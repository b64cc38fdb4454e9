#include "components/thumbnail_cache.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageWriter>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <atomic>
#include <ctime>
#include <chrono>
#include <functional>
#include <optional>
#include <future>
#include <iterator>
#include <vector>

#include "../../bench/photo_like.h"
#include "support/file_size_limit.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

const QColor kBlue(40, 120, 200);
const QColor kOrange(230, 140, 20);

int ModeOf(const QString& path) {
  struct stat info {};
  return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? static_cast<int>(info.st_mode & 07777) : -1;
}

// File times come from the kernel's coarse clock: waits until that clock has
// passed the last change of `path`, so that the next change shows in its times.
void PassChangeTimeOf(const QString& path) {
  struct stat info {};
  ASSERT_EQ(::stat(QFile::encodeName(path).constData(), &info), 0);
  timespec now{};
  do {
    ::clock_gettime(CLOCK_REALTIME_COARSE, &now);
  } while (now.tv_sec < info.st_ctim.tv_sec ||
           (now.tv_sec == info.st_ctim.tv_sec && now.tv_nsec <= info.st_ctim.tv_nsec));
}

QColor Middle(const QImage& image) { return image.pixelColor(image.width() / 2, image.height() / 2); }

// A cache in a folder of its own that counts how often it reads pictures itself.
class ThumbnailCacheTest : public ::testing::Test {
 protected:
  ThumbnailCacheTest()
      : pictures_(test::freshFolder(QStringLiteral("pictures")) + QLatin1Char('/')),
        root_(test::freshFolder(QStringLiteral("cache")) + QStringLiteral("/thumbnails/")),
        cache_(Make(root_)) {}

  ThumbnailCache Make(const QString& root, const QStringList& excluded = {}) {
    ThumbnailSource source;
    source.probe = [this](const QString& path) { ++probes_; return Imaging::FileInfo(path); };
    source.decode = [this](const QString& path, int side) { ++decodes_; return Imaging::readScaled(path, side); };
    return ThumbnailCache(root, excluded, source);
  }

  // The thumbnail, and whether it had to be decoded; its entry is written when this returns.
  std::pair<Result<Thumbnail>, bool> Get(const QString& path, const ThumbnailCache* cache = nullptr) {
    const int before = decodes_;
    const ThumbnailCache& used = cache ? *cache : cache_;
    auto made = used.thumbnail(path, ThumbnailSize::Normal);
    used.finishWrites();
    return {std::move(made), decodes_ > before};
  }

  QString pictures_;
  QString root_;
  std::atomic<int> probes_{0};
  std::atomic<int> decodes_{0};
  ThumbnailCache cache_;
};

TEST_F(ThumbnailCacheTest, WritesAnEntryOtherProgramsReadAndServesItWithoutDecoding) {
  const QString file = pictures_ + QStringLiteral("my photo.bmp");
  ASSERT_TRUE(test::WritePicture(file, 400, 300, "bmp", kBlue));

  const auto [first, decoded] = Get(file);
  ASSERT_TRUE(first.ok());
  EXPECT_TRUE(decoded);
  EXPECT_EQ(first->image.size(), QSize(128, 96));
  const QString entry = cache_.entryPath(file, ThumbnailSize::Normal);
  EXPECT_EQ(QFileInfo(entry).fileName(),
            QString::fromLatin1(QCryptographicHash::hash("file://" + QFile::encodeName(file).replace(" ", "%20"),
                                                         QCryptographicHash::Md5).toHex()) + ".png");
  // Plain text chunks, as file managers look for them.
  const QByteArray bytes = test::ReadBytes(entry);
  EXPECT_TRUE(bytes.contains(QByteArray("tEXtThumb::URI\0", 15) + ThumbnailCache::Uri(file)));
  EXPECT_TRUE(bytes.contains(QByteArray("tEXtThumb::Image::Width\0", 24) + "400"));
  EXPECT_EQ(ModeOf(entry), 0600);
  EXPECT_EQ(ModeOf(root_), 0700);
  EXPECT_EQ(ModeOf(root_ + "normal"), 0700);
  EXPECT_EQ(QDir(root_ + "normal").entryList(QDir::Files).size(), 1);  // no temporary file left

  const int probesBefore = probes_;
  const auto [second, decodedAgain] = Get(file);
  ASSERT_TRUE(second.ok());
  EXPECT_FALSE(decodedAgain);
  EXPECT_EQ(probes_, probesBefore);  // the facts came with the entry
  EXPECT_EQ(second->image, first->image);
  EXPECT_EQ(second->facts.width, 400);
  EXPECT_EQ(second->facts.bitsPerPixel, first->facts.bitsPerPixel);
  EXPECT_EQ(second->facts.paletteSize, first->facts.paletteSize);
}

// Small JPEGs decode about as fast as an entry reads back: they get none.
TEST_F(ThumbnailCacheTest, WritesEntriesOnlyForPicturesWorthThem) {
  const struct {
    const char* name;
    int width, height;
    const char* format;
    bool entry;
  } cases[] = {
      {"small.jpg", 1000, 500, "jpeg", false},
      {"just larger.jpg", 1001, 500, "jpeg", true},
      {"small but no jpeg.jpg", 400, 300, "bmp", true},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.name);
    const QString file = pictures_ + QString::fromLatin1(row.name);
    ASSERT_TRUE(test::WritePicture(file, row.width, row.height, row.format, kBlue));
    ASSERT_TRUE(Get(file).first.ok());
    EXPECT_EQ(QFileInfo::exists(cache_.entryPath(file, ThumbnailSize::Normal)), row.entry);
    const auto [again, decoded] = Get(file);
    EXPECT_EQ(decoded, !row.entry);
    EXPECT_EQ(again->facts.width, row.width);
    EXPECT_EQ(again->image.width(), 128);
  }
}

// The cache goes while its writer still has entries to write, as at Exit:
// what it leaves are whole entries that serve, and nothing else.
TEST_F(ThumbnailCacheTest, GoingWhileWritingLeavesOnlyWholeEntries) {
  constexpr int kPictures = 24;
  for (int i = 0; i < kPictures; ++i) {
    ASSERT_TRUE(test::WritePicture(pictures_ + QStringLiteral("p%1.bmp").arg(i), 600, 400, "bmp", kBlue));
  }
  {
    const ThumbnailCache going = Make(root_);
    for (int i = 0; i < kPictures; ++i) {
      ASSERT_TRUE(going.thumbnail(pictures_ + QStringLiteral("p%1.bmp").arg(i), ThumbnailSize::Large).ok());
    }
  }
  const QStringList left = QDir(root_ + "large").entryList(QDir::Files | QDir::Hidden | QDir::System);
  EXPECT_LE(left.size(), kPictures);
  int served = 0;
  for (int i = 0; i < kPictures; ++i) {
    const QString file = pictures_ + QStringLiteral("p%1.bmp").arg(i);
    if (!left.contains(QFileInfo(cache_.entryPath(file, ThumbnailSize::Large)).fileName())) continue;
    const int before = decodes_;
    const auto made = cache_.thumbnail(file, ThumbnailSize::Large);
    EXPECT_EQ(decodes_, before) << "a half entry for picture " << i;
    EXPECT_EQ(Middle(made->image), kBlue);
    ++served;
  }
  EXPECT_EQ(served, left.size()) << "files that are no entry: " << left.join(' ').toStdString();
}

// Eight threads make thumbnails far faster than entries are written, with
// more pictures than the writers may hold waiting: every entry is written.
TEST_F(ThumbnailCacheTest, KeepsEveryEntryWhenThumbnailsComeFasterThanTheyAreWritten) {
  constexpr int kPictures = 240;
  constexpr int kThreads = 8;
  for (int i = 0; i < kPictures; ++i) {
    ASSERT_TRUE(test::WritePicture(pictures_ + QStringLiteral("p%1.png").arg(i), 16, 16, "png", kBlue));
  }
  ThumbnailSource noise;  // 256 KB of pictures that compress badly, made at once
  noise.probe = [](const QString& path) { return Imaging::FileInfo(path); };
  noise.decode = [](const QString& path, int side) -> Result<QImage> {
    QImage image(side, side, QImage::Format_RGB32);
    quint32 seed = static_cast<quint32>(qHash(path));
    for (int y = 0; y < side; ++y) {
      auto* line = reinterpret_cast<quint32*>(image.scanLine(y));
      for (int x = 0; x < side; ++x) line[x] = 0xFF000000U | ((seed = seed * 1664525U + 1013904223U) >> 8);
    }
    return image;
  };
  const ThumbnailCache cache(root_, {}, noise);
  std::vector<std::future<int>> made;
  for (int t = 0; t < kThreads; ++t) {
    made.push_back(std::async(std::launch::async, [&cache, t, this] {
      int ok = 0;
      for (int i = t; i < kPictures; i += kThreads) {
        ok += cache.thumbnail(pictures_ + QStringLiteral("p%1.png").arg(i), ThumbnailSize::Large).ok() ? 1 : 0;
      }
      return ok;
    }));
  }
  int thumbnails = 0;
  for (auto& future : made) thumbnails += future.get();
  cache.finishWrites();
  EXPECT_EQ(thumbnails, kPictures);
  EXPECT_EQ(QDir(root_ + "large").entryList(QDir::Files).size(), kPictures);
}

// Each change comes after the entry was made; the last two keep the file's
// modification time to the nanosecond, the last its size too.
TEST_F(ThumbnailCacheTest, NeverServesAnEntryForAFileChangedSince) {
  const auto keepTime = [](const QString& path, const timespec& time) {
    const timespec times[2] = {{0, UTIME_OMIT}, time};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
  };
  const struct {
    const char* change;
    std::function<void(const QString&, const timespec&)> apply;
  } cases[] = {
      {"touched", [&](const QString& path, const timespec&) { keepTime(path, {time(nullptr) + 5, 0}); }},
      {"rewritten in place at another size",
       [&](const QString& path, const timespec& was) {
         ASSERT_TRUE(test::WritePicture(path, 41, 30, "bmp", kOrange));
         keepTime(path, was);
       }},
      {"replaced by another file",
       [&](const QString& path, const timespec& was) {
         const QString other = path + ".new";
         ASSERT_TRUE(test::WritePicture(other, 40, 30, "bmp", kOrange));
         keepTime(other, was);
         ASSERT_EQ(::rename(QFile::encodeName(other).constData(), QFile::encodeName(path).constData()), 0);
       }},
  };
  for (const auto& row : cases) {
    SCOPED_TRACE(row.change);
    const QString file = pictures_ + QString::fromLatin1(row.change) + ".bmp";
    ASSERT_TRUE(test::WritePicture(file, 40, 30, "bmp", kBlue));
    struct stat was {};
    ::stat(QFile::encodeName(file).constData(), &was);
    ASSERT_TRUE(Get(file).first.ok());
    ASSERT_FALSE(Get(file).second);
    PassChangeTimeOf(file);
    row.apply(file, was.st_mtim);

    const auto [after, decoded] = Get(file);
    EXPECT_TRUE(decoded);
    EXPECT_EQ(after->image, *Imaging::readScaled(file, 128));
    EXPECT_FALSE(Get(file).second);  // the new entry serves from now on
  }
}

// What a backup tool or the user does to a file without touching its
// content changes only its inode's change time: the entry still serves.
TEST_F(ThumbnailCacheTest, KeepsServingWhileOnlyTheFilesInodeChanged) {
  const QString file = pictures_ + QStringLiteral("kept.bmp");
  ASSERT_TRUE(test::WritePicture(file, 40, 30, "bmp", kBlue));
  const QByteArray name = QFile::encodeName(file);
  const struct {
    const char* change;
    std::function<bool()> apply;
  } cases[] = {
      {"permissions", [&] { return ::chmod(name.constData(), 0640) == 0; }},
      {"another link", [&] { return ::link(name.constData(), (name + ".link").constData()) == 0; }},
      // Not every file system takes user attributes: then the row changes nothing.
      {"extended attribute", [&] { return ::setxattr(name.constData(), "user.backup", "1", 1, 0) == 0 || errno == ENOTSUP; }},
  };
  ASSERT_TRUE(Get(file).first.ok());
  for (const auto& row : cases) {
    SCOPED_TRACE(row.change);
    PassChangeTimeOf(file);
    ASSERT_TRUE(row.apply());
    const auto [served, decoded] = Get(file);
    EXPECT_FALSE(decoded);
    EXPECT_EQ(Middle(served->image), kBlue);
  }
}

// A photo's entry takes less than 22 KB (its plain pixels take 37 KB) and
// gives back the very thumbnail that was made.
TEST_F(ThumbnailCacheTest, StoresAPhotosThumbnailCompressedWithoutLoss) {
  const QString file = pictures_ + QStringLiteral("photo.jpg");
  ASSERT_TRUE(bench::PhotoLike(1024, 768, 7).save(file, "jpeg", 90));
  const auto [made, decoded] = Get(file);
  ASSERT_TRUE(made.ok());
  EXPECT_EQ(made->image.size(), QSize(128, 96));
  EXPECT_LE(QFileInfo(cache_.entryPath(file, ThumbnailSize::Normal)).size(), 22 * 1024);
  const auto [again, decodedAgain] = Get(file);
  EXPECT_FALSE(decodedAgain);
  EXPECT_EQ(again->image, made->image);
}

// Earlier versions kept the inode's change time in their stamp and stored
// the pixels as they are: such an entry serves while the rest of its stamp
// matches, and is then written again in the current form.
TEST_F(ThumbnailCacheTest, ServesEntriesOfEarlierVersionsAndWritesThemAgain) {
  const QString file = pictures_ + QStringLiteral("older.jpg");
  ASSERT_TRUE(bench::PhotoLike(1024, 768, 3).save(file, "jpeg", 90));
  ASSERT_TRUE(Get(file).first.ok());
  const QString entry = cache_.entryPath(file, ThumbnailSize::Normal);
  const QImage current(entry);
  struct stat info {};
  ASSERT_EQ(::stat(QFile::encodeName(file).constData(), &info), 0);
  const qint64 mtimeNs = qint64{info.st_mtim.tv_sec} * 1'000'000'000 + info.st_mtim.tv_nsec;
  const auto olderEntry = [&](qint64 mtime, quint64 inode) {
    QImage older = current;
    older.setText(QStringLiteral("X-Lumaset::Stamp"), QStringLiteral("%1 %2 %3").arg(mtime).arg(mtimeNs + 5).arg(inode));
    QImageWriter writer(entry, "png");
    writer.setQuality(100);  // stored without compression
    return writer.write(older);
  };
  // Another time or another file in its place: decoded.
  for (const auto& [mtime, inode] : {std::pair<qint64, quint64>{mtimeNs - 1, info.st_ino}, {mtimeNs, info.st_ino + 1}}) {
    ASSERT_TRUE(olderEntry(mtime, inode));
    EXPECT_TRUE(Get(file).second);
  }

  ASSERT_TRUE(olderEntry(mtimeNs, info.st_ino));
  ASSERT_GT(QFileInfo(entry).size(), 30 * 1024);
  const auto [served, decoded] = Get(file);
  EXPECT_FALSE(decoded);
  EXPECT_EQ(served->image, current.convertToFormat(QImage::Format_RGB32));
  EXPECT_EQ(served->facts.width, 1024);
  EXPECT_LE(QFileInfo(entry).size(), 22 * 1024);
  EXPECT_EQ(QImage(entry).text(QStringLiteral("X-Lumaset::Stamp")), current.text(QStringLiteral("X-Lumaset::Stamp")));
  EXPECT_FALSE(Get(file).second);
}

TEST_F(ThumbnailCacheTest, KeepsNoEntryForAFileThatChangedWhileItWasRead) {
  const QString file = pictures_ + QStringLiteral("busy.bmp");
  ASSERT_TRUE(test::WritePicture(file, 40, 30, "bmp", kBlue));
  ThumbnailSource source;
  source.decode = [](const QString& path, int side) {
    auto image = Imaging::readScaled(path, side);
    test::WritePicture(path, 41, 30, "bmp", kOrange);  // written again meanwhile
    return image;
  };
  const ThumbnailCache cache(root_, {}, source);
  EXPECT_EQ(Middle(cache.thumbnail(file, ThumbnailSize::Normal)->image), kBlue);
  EXPECT_FALSE(QFileInfo::exists(cache.entryPath(file, ThumbnailSize::Normal)));

  // Nor does one whose decode was stopped: it is no unreadable picture.
  const QString stopped = pictures_ + QStringLiteral("stopped.bmp");
  ASSERT_TRUE(test::WritePicture(stopped, 40, 30, "bmp", kBlue));
  ThumbnailSource stopping;
  stopping.decode = [](const QString&, int) -> Result<QImage> { return Error{QStringLiteral("stopped"), true}; };
  const ThumbnailCache stoppedCache(root_, {}, stopping);
  EXPECT_TRUE(stoppedCache.thumbnail(stopped, ThumbnailSize::Normal).cancelled());
  stoppedCache.finishWrites();
  EXPECT_TRUE(ThumbnailCache(root_, {}).thumbnail(stopped, ThumbnailSize::Normal).ok());
}

TEST_F(ThumbnailCacheTest, TakesOtherProgramsEntriesOnlyWhileTheirTimeMatches) {
  const QString file = pictures_ + QStringLiteral("elsewhere.png");
  ASSERT_TRUE(test::WritePicture(file, 64, 48, "png", kBlue));
  const auto foreign = [&](qint64 mtime, qint64 size, int width = 128) {
    QImage theirs(width, width * 3 / 4, QImage::Format_RGB32);  // Qt compresses the long URI: a zTXt chunk
    theirs.fill(Qt::green);
    theirs.setText(QStringLiteral("Thumb::URI"), QString::fromLatin1(ThumbnailCache::Uri(file)));
    theirs.setText(QStringLiteral("Thumb::MTime"), QString::number(mtime));
    theirs.setText(QStringLiteral("Thumb::Size"), QString::number(size));
    QDir().mkpath(root_ + "normal");
    ASSERT_TRUE(theirs.save(cache_.entryPath(file, ThumbnailSize::Normal), "png"));
  };
  const qint64 mtime = QFileInfo(file).lastModified().toSecsSinceEpoch();
  const qint64 size = QFileInfo(file).size();

  foreign(mtime, size);
  const auto [taken, decoded] = Get(file);
  EXPECT_FALSE(decoded);
  EXPECT_EQ(Middle(taken->image), QColor(Qt::green));
  EXPECT_EQ(taken->facts.width, 64);  // from the header, which their entry lacks
  EXPECT_GT(taken->facts.bitsPerPixel, 0);

  // Older, of another size, or a large thumbnail in the normal folder: made afresh.
  struct Entry { qint64 time, bytes; int width; };
  for (const auto& [time, bytes, width] : {Entry{mtime - 1, size, 128}, Entry{mtime, size + 1, 128}, Entry{mtime, size, 256}}) {
    foreign(time, bytes, width);
    const auto [ours, decodedNow] = Get(file);
    EXPECT_TRUE(decodedNow);
    EXPECT_EQ(Middle(ours->image), kBlue) << width;
  }
}

TEST_F(ThumbnailCacheTest, RecordsUnreadablePicturesUntilTheyChange) {
  const QString file = pictures_ + QStringLiteral("broken.jpg");
  ASSERT_TRUE(test::WriteText(file, "not a picture at all"));
  EXPECT_FALSE(Get(file).first.ok());
  const QString failure = cache_.failPath(file);
  EXPECT_TRUE(failure.contains(QStringLiteral("/fail/lumaset-")));
  EXPECT_EQ(ModeOf(failure), 0600);

  const int probes = probes_;
  EXPECT_FALSE(Get(file).first.ok());
  EXPECT_EQ(probes_, probes);  // not read again

  ASSERT_TRUE(test::WritePicture(file, 20, 10, "jpeg"));
  const auto [mended, decoded] = Get(file);
  EXPECT_TRUE(mended.ok());
  EXPECT_TRUE(decoded);
  EXPECT_FALSE(QFileInfo::exists(failure));
}

// However the cache folder fails, every thumbnail is still made.
TEST_F(ThumbnailCacheTest, FallsBackToDecodingWhenTheCacheFails) {
  const QString file = pictures_ + QStringLiteral("photo.png");
  ASSERT_TRUE(test::WritePicture(file, 300, 200, "png", kBlue));
  const QString entry = cache_.entryPath(file, ThumbnailSize::Normal);

  for (const QByteArray& damage : {QByteArray("garbage"), QByteArray()}) {
    ASSERT_TRUE(Get(file).first.ok());
    QByteArray bytes = test::ReadBytes(entry);
    ASSERT_TRUE(test::WriteText(entry, damage.isNull() ? bytes.left(bytes.size() - 40) : damage));
    const auto [made, decoded] = Get(file);
    EXPECT_TRUE(decoded);
    EXPECT_EQ(Middle(made->image), kBlue);
    EXPECT_FALSE(Get(file).second);  // written again whole
  }

  // A full disk: every write fails part way.
  const QString fullRoot = test::freshFolder(QStringLiteral("full")) + QStringLiteral("/thumbnails/");
  const ThumbnailCache full = Make(fullRoot);
  std::optional<test::FileSizeLimit> limit(std::in_place, 64);
  const auto [onFull, decodedOnFull] = Get(file, &full);
  limit.reset();
  EXPECT_EQ(Middle(onFull->image), kBlue);
  EXPECT_TRUE(QDir(fullRoot + "normal").entryList(QDir::Files | QDir::Hidden).isEmpty());

  // A cache folder that cannot be made: a file stands in its place.
  const QString blocked = test::freshFolder(QStringLiteral("blocked")) + QStringLiteral("/thumbnails");
  ASSERT_TRUE(test::WriteText(blocked, "in the way"));
  const ThumbnailCache unwritable = Make(blocked);
  EXPECT_EQ(Middle(Get(file, &unwritable).first->image), kBlue);
  EXPECT_EQ(Middle(Get(file, &unwritable).first->image), kBlue);
}

// An entry that is a FIFO, a link (to a FIFO or to a good entry) or that
// carries sizes out of range is no entry: the picture is decoded and the
// entry written anew, and no reader ever waits.
TEST_F(ThumbnailCacheTest, EntriesThatAreNoPlainFileOrHoldSizesOutOfRangeAreReplaced) {
  const QString file = pictures_ + QStringLiteral("photo.png");
  ASSERT_TRUE(test::WritePicture(file, 300, 200, "png", kBlue));
  const QString entry = cache_.entryPath(file, ThumbnailSize::Normal);
  const QString fifo = root_ + QStringLiteral("fifo");
  const QString good = root_ + QStringLiteral("good.png");
  ASSERT_TRUE(Get(file).first.ok());
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  ASSERT_TRUE(QFile::copy(entry, good));
  QImage kept(entry);
  const auto damaged = [&](const char* key, const QString& value) {
    QImage image = kept;
    image.setText(QString::fromLatin1(key), value);
    return image.save(entry, "png");
  };
  const auto linked = [&](const QString& target) {
    QFile::remove(entry);
    return QFile::link(target, entry);
  };
  const std::function<bool()> spoil[] = {
      [&] { QFile::remove(entry); return ::mkfifo(QFile::encodeName(entry).constData(), 0600) == 0; },
      [&] { return linked(fifo); }, [&] { return linked(good); },
      [&] { return damaged("Thumb::Image::Width", QStringLiteral("2147483648")); },
      [&] { return damaged("Thumb::Image::Height", QStringLiteral("-5")); },
      [&] { return damaged("X-Lumaset::BitsPerPixel", QStringLiteral("99999999999")); }};
  for (std::size_t i = 0; i < std::size(spoil); ++i) {
    SCOPED_TRACE(i);
    ASSERT_TRUE(spoil[i]());
    auto reading = std::async(std::launch::async, [&] { return Get(file); });
    const bool ended = reading.wait_for(std::chrono::seconds(60)) == std::future_status::ready;
    EXPECT_TRUE(ended) << "a reader waits on the entry";
    if (!ended) {  // lets a reader stuck on a FIFO go
      for (const QString& stuck : {entry, fifo}) ::close(::open(QFile::encodeName(stuck).constData(), O_RDWR | O_NONBLOCK));
    }
    const auto [made, decoded] = reading.get();
    ASSERT_TRUE(made.ok());
    EXPECT_TRUE(decoded);
    EXPECT_EQ(made->facts.width, 300);
    EXPECT_EQ(made->facts.height, 200);
    EXPECT_TRUE(QFileInfo(entry).isFile() && !QFileInfo(entry).isSymLink());
    EXPECT_FALSE(Get(file).second) << "written again whole";
  }
}

TEST_F(ThumbnailCacheTest, NeverCachesTemporaryPicturesTheTrashOrItself) {
  const QString temp = test::freshFolder(QStringLiteral("Temp Images")) + QLatin1Char('/');
  const QString link = test::freshFolder(QStringLiteral("links")) + QStringLiteral("/to-temp");
  ASSERT_TRUE(QFile::link(temp, link));
  const QString homeTrash =
      QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + QStringLiteral("/Trash/files/");
  const QString volumeTrash = test::freshFolder(QStringLiteral("volume")) + QStringLiteral("/.Trash-0/files/");
  const ThumbnailCache cache = Make(root_, {temp});
  for (const QString& file : {temp + "1-01.jpg", link + "/1-02.jpg", homeTrash + "old.jpg", volumeTrash + "old.jpg",
                              root_ + "normal/0123.png"}) {
    SCOPED_TRACE(file.toStdString());
    QDir().mkpath(QFileInfo(file).path());
    ASSERT_TRUE(test::WritePicture(file, 40, 30, "png"));
    EXPECT_FALSE(cache.cacheable(file));
    EXPECT_TRUE(Get(file, &cache).first.ok());
    EXPECT_TRUE(Get(file, &cache).second);
    EXPECT_FALSE(QFileInfo::exists(cache.entryPath(file, ThumbnailSize::Normal)));
  }
  EXPECT_TRUE(cache.cacheable(pictures_ + "kept.jpg"));
}

}  // namespace
}  // namespace lumaset
