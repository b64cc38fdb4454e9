// Whole-command benchmark of the thumbnail panel: makes the thumbnails of a
// folder of photo-sized JPEGs through the very build the panel runs when a
// folder is opened, without a display.
//
//   bench_thumbnails FOLDER [--generate-only] [--count N] [--small] [--turned] [--twice] [--hostile]
//                    [--size WxH] [--cache DIR]
//
// FOLDER keeps the pictures between runs: missing ones are made first
// (4000 x 3000, JPEG quality 90, gradients, shapes and noise, so that they
// compress like photographs). --generate-only stops after that. The build
// uses large thumbnails (100 pixels) unless --small is given. --turned makes
// the missing pictures as a phone makes a portrait photo: stored on their
// side, with EXIF data that turns them upright (give it a folder of its own).
//
// --hostile also puts 16 files of a few hundred bytes each in the folder
// whose headers claim pictures of hundreds of megapixels (BMP, JPEG, PNG and
// GIF, four of each), and 5 small valid files whose pictures would take
// gigabytes (a flat WebP, a float TIFF of shared strips, a 2-bit PNG, a GIF
// screen of one pixel, an empty run-length bitmap); they must show as
// unreadable cells, and the run then counts them apart from the photos. A
// black-and-white page of 16000 x 16000 pixels, stored plainly and
// interlaced, and eight names of one 250 MB PNG of 64 x 64 pixels behind a
// private chunk, beside them must show.
//
// A plain run decodes every picture (no thumbnail cache). --twice opens the
// folder two times with a fresh, private thumbnail cache: the first opening
// decodes and fills the cache, the second takes every thumbnail from it; it
// prints both times and their ratio. --cache DIR opens the folder once with
// the thumbnail cache kept in DIR (an empty DIR gives a first opening, a
// filled one a cached opening). --size makes missing pictures of another
// size than 4000 x 3000.
//
// Each opening reports two times: the panel's, until its last cell shows,
// and the whole run's, until the thumbnail cache has also written every entry
// it made; with a cache, how many entries it then holds (small JPEGs get none).
// When the cells fill more than the panel, it then jumps to the middle of the
// folder and back to the top (the cells made last are still in memory; those
// there are not) and reports how soon the cells on the screen showed. A run whose folder holds another number of pictures than --count
// says so and ends with a non-zero status.

#include <unistd.h>

#include <QApplication>
#include <QBuffer>
#include <QColor>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "browser/thumbnail_area.h"
#include "components/thumbnail_cache.h"

#include "photo_like.h"
#include "support/hostile_pictures.h"

namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;
constexpr int kQuality = 90;

// An APP1 segment whose EXIF data says: turn a quarter clockwise (orientation 6).
QByteArray turningSegment() {
  static const char kSegment[] = "\xFF\xE1\x00\x22" "Exif\0\0" "MM\x00\x2A\x00\x00\x00\x08" "\x00\x01"
                                 "\x01\x12\x00\x03\x00\x00\x00\x01\x00\x06\x00\x00" "\x00\x00\x00\x00";
  return QByteArray(kSegment, sizeof kSegment - 1);
}

bool writePicture(const QString& path, int seed, bool turned, QSize size) {
  QByteArray jpeg;
  QBuffer buffer(&jpeg);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, "jpeg");
  writer.setQuality(kQuality);
  if (!writer.write(bench::PhotoLike(size.width(), size.height(), static_cast<quint32>(seed)))) return false;
  if (turned) jpeg.insert(2, turningSegment());
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly) || file.write(jpeg) != jpeg.size()) return false;
  return file.commit();
}

// Makes the pictures that the cache folder does not hold yet.
bool generate(const QString& folder, int count, bool turned, QSize size) {
  QDir().mkpath(folder);
  QList<int> missing;
  for (int i = 0; i < count; ++i) {
    if (!QFileInfo::exists(folder + QStringLiteral("photo-%1.jpg").arg(i, 3, 10, QLatin1Char('0')))) missing.append(i);
  }
  if (missing.isEmpty()) return true;
  std::fprintf(stderr, "making %lld pictures in %s\n", static_cast<long long>(missing.size()), qPrintable(folder));
  const QList<bool> written = QtConcurrent::blockingMapped<QList<bool>>(missing, [&folder, turned, size](int i) {
    return writePicture(folder + QStringLiteral("photo-%1.jpg").arg(i, 3, 10, QLatin1Char('0')), i, turned, size);
  });
  return !written.contains(false);
}

// The bytes of a file of `format` holding a 16 x 16 picture.
QByteArray smallFile(const char* format) {
  QImage image(16, 16, QImage::Format_RGB32);
  image.fill(Qt::darkCyan);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter(&buffer, format).write(image);
  return bytes;
}

void putBigEndian(QByteArray& bytes, qsizetype at, quint32 value, int count) {
  for (int i = 0; i < count; ++i) bytes[at + i] = char((value >> (8 * (count - 1 - i))) & 0xFF);
}

// Files whose headers claim far more than their bytes hold.
QList<std::pair<QString, QByteArray>> hostileFiles() {
  QByteArray bmp("BM");  // 20 x 10,289,164 pixels in 234 bytes
  const auto le = [&bmp](quint32 value, int count) {
    for (int i = 0; i < count; ++i) bmp.append(char((value >> (8 * i)) & 0xFF));
  };
  le(234, 4), le(0, 4), le(54, 4), le(40, 4), le(20, 4), le(10289164, 4), le(1, 2), le(24, 2);
  le(0, 4), le(0, 4), le(2835, 4), le(2835, 4), le(0, 4), le(0, 4);
  bmp.append(QByteArray(180, '\x55'));

  QByteArray jpeg = smallFile("jpeg");  // 65500 x 65500
  const qsizetype frame = jpeg.indexOf("\xFF\xC0");
  putBigEndian(jpeg, frame + 5, 65500, 2);
  putBigEndian(jpeg, frame + 7, 65500, 2);

  QByteArray png = smallFile("png");  // 16000 x 16000, its header's checksum made again
  putBigEndian(png, 16, 16000, 4);
  putBigEndian(png, 20, 16000, 4);
  quint32 crc = 0xFFFFFFFF;
  for (qsizetype i = 12; i < 29; ++i) {
    crc ^= static_cast<quint8>(png[i]);
    for (int k = 0; k < 8; ++k) crc = (crc & 1) != 0 ? 0xEDB88320 ^ (crc >> 1) : crc >> 1;
  }
  putBigEndian(png, 29, crc ^ 0xFFFFFFFF, 4);

  // A 16000 x 16000 screen for one pixel.
  const QByteArray gif = QByteArray::fromHex("474946383961803e803e800000000000ffffff2c00000000010001000002024401003b");

  QList<std::pair<QString, QByteArray>> files;
  for (int i = 0; i < 4; ++i) {
    files.append({QStringLiteral("hostile-%1.bmp").arg(i), bmp});
    files.append({QStringLiteral("hostile-%1.jpg").arg(i), jpeg});
    files.append({QStringLiteral("hostile-%1.png").arg(i), png});
    files.append({QStringLiteral("hostile-%1.gif").arg(i), gif});
  }
  return files;
}

// Small valid files of huge pictures, made only when the folder lacks them
// (the 2-bit PNG and the page take a while to pack).
QList<std::pair<QString, std::function<QByteArray()>>> costlyFiles() {
  namespace hostile = lumaset::test::hostile;
  return {{QStringLiteral("hostile-flat.webp"), [] { return hostile::flatWebp(16383, 4200); }},
          {QStringLiteral("hostile-float.tif"), [] { return hostile::sharedStripTiff(8000); }},
          {QStringLiteral("hostile-two-bit.png"), [] { return hostile::greyPng(16000, 2); }},
          {QStringLiteral("hostile-screen.gif"), [] { return hostile::smallFrameGif(8190, 1024); }},
          {QStringLiteral("hostile-ends.bmp"), [] { return hostile::emptyRunLengthBmp(8192); }},
          {QStringLiteral("scan-page.png"), [] { return hostile::greyPng(16000, 1); }},
          {QStringLiteral("scan-page-interlaced.png"), [] { return hostile::interlacedGreyPng(16000, 1); }},
          {QStringLiteral("large-chunk-0.png"), [] { return hostile::privateChunkPng(64, qsizetype{250} << 20); }}};
}

// The readable pictures among them: the two scanned pages and eight names of
// the PNG behind a large private chunk.
constexpr int kLargeChunkNames = 8;
constexpr int kReadableExtras = 2 + kLargeChunkNames;

bool writeFile(const QString& path, const QByteArray& bytes) {
  QSaveFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.commit();
}

// Writes the hostile files and the scanned page; gives how many hostile files there are, or -1.
int writeHostile(const QString& folder) {
  int count = 0;
  for (const auto& [name, bytes] : hostileFiles()) {
    if (!writeFile(folder + name, bytes)) return -1;
    ++count;
  }
  for (const auto& [name, make] : costlyFiles()) {
    if (!QFileInfo::exists(folder + name) && !writeFile(folder + name, make())) return -1;
    count += name.startsWith(QStringLiteral("hostile-")) ? 1 : 0;
  }
  for (int i = 1; i < kLargeChunkNames; ++i) {
    const QString name = folder + QStringLiteral("large-chunk-%1.png").arg(i);
    const QByteArray first = QFile::encodeName(folder + QStringLiteral("large-chunk-0.png"));
    if (!QFileInfo::exists(name) && ::link(first.constData(), QFile::encodeName(name).constData()) != 0) return -1;
  }
  return count;
}

// The thumbnail panel's size in the main window at its start.
constexpr int kPanelWidth = 260;
constexpr int kPanelHeight = 600;

// Scrolls the panel to `value` and gives the milliseconds until every cell on
// the screen shows its picture; -1 when they did not within a minute.
qint64 jumpTime(lumaset::ThumbnailPanel& panel, int value) {
  QElapsedTimer clock;
  clock.start();
  panel.scrollBar()->setValue(value);
  const QRect screen = panel.rect();  // the canvas has no width until the panel shows
  std::vector<int> shown;
  for (int i = 0; i < panel.cellCount(); ++i) {
    if (panel.frameRect(i).intersects(screen)) shown.push_back(i);
  }
  const auto drawn = [&] {
    return std::all_of(shown.begin(), shown.end(), [&](int i) { return !panel.cell(i).picture.isNull(); });
  };
  while (!drawn()) {
    if (clock.elapsed() > 60'000) return -1;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
  }
  return clock.elapsed();
}

// The thumbnails the cache holds, of both sizes.
qsizetype cacheEntries(const lumaset::ThumbnailCache& cache) {
  qsizetype entries = 0;
  for (const char* size : {"normal", "large"}) {
    entries += QDir(cache.root() + QLatin1String(size)).entryList(QDir::Files).size();
  }
  return entries;
}

struct Arguments {
  QString folder;
  bool generateOnly = false;
  bool large = true;
  bool turned = false;
  bool twice = false;
  bool hostile = false;
  int count = 96;
  QSize size{kWidth, kHeight};
  QString cacheFolder;
};

bool parse(int argc, char** argv, Arguments& out) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--generate-only") == 0) {
      out.generateOnly = true;
    } else if (std::strcmp(argv[i], "--small") == 0) {
      out.large = false;
    } else if (std::strcmp(argv[i], "--turned") == 0) {
      out.turned = true;
    } else if (std::strcmp(argv[i], "--twice") == 0) {
      out.twice = true;
    } else if (std::strcmp(argv[i], "--hostile") == 0) {
      out.hostile = true;
    } else if (std::strcmp(argv[i], "--count") == 0 && i + 1 < argc) {
      out.count = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--size") == 0 && i + 1 < argc) {
      const QStringList sides = QString::fromLatin1(argv[++i]).split(QLatin1Char('x'));
      out.size = sides.size() == 2 ? QSize(sides[0].toInt(), sides[1].toInt()) : QSize();
      if (out.size.width() < 1 || out.size.height() < 1 || out.size.width() > 20000 || out.size.height() > 20000)
        return false;
    } else if (std::strcmp(argv[i], "--cache") == 0 && i + 1 < argc) {
      out.cacheFolder = QString::fromLocal8Bit(argv[++i]);
    } else if (out.folder.isEmpty() && argv[i][0] != '-') {
      out.folder = QDir(QString::fromLocal8Bit(argv[i])).absolutePath() + QLatin1Char('/');
    } else {
      return false;
    }
  }
  return !out.folder.isEmpty() && out.count > 0;
}

}  // namespace

int main(int argc, char** argv) {
  Arguments args;
  if (!parse(argc, argv, args)) {
    std::fprintf(stderr,
                 "usage: bench_thumbnails FOLDER [--generate-only] [--count N] [--small] [--turned] [--twice]"
                 " [--hostile] [--size WxH] [--cache DIR]\n");
    return 2;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int hostileCount = args.hostile ? writeHostile(args.folder) : 0;
  // The hostile files come with readable pages and large-chunk PNGs.
  const int expected = args.count + (args.hostile ? hostileCount + kReadableExtras : 0);
  if (!generate(args.folder, args.count, args.turned, args.size) || hostileCount < 0) {
    std::fprintf(stderr, "cannot write the pictures into %s\n", qPrintable(args.folder));
    return 1;
  }
  if (args.generateOnly) return 0;

  std::unique_ptr<QTemporaryDir> cacheRoot;
  auto cache = std::make_shared<lumaset::ThumbnailCache>();  // none: every picture decoded
  if (args.twice) {
    cacheRoot = std::make_unique<QTemporaryDir>();
    cache = std::make_shared<lumaset::ThumbnailCache>(cacheRoot->path() + QStringLiteral("/thumbnails"));
  } else if (!args.cacheFolder.isEmpty()) {
    cache = std::make_shared<lumaset::ThumbnailCache>(args.cacheFolder);
  }
  const int openings = args.twice ? 2 : 1;
  qint64 times[2] = {0, 0};
  qint64 wholeTimes[2] = {0, 0};
  bool complete = true;
  for (int opening = 0; opening < openings; ++opening) {
    lumaset::ThumbnailPanel panel;  // a new panel each time, as after a restart
    panel.resize(kPanelWidth, kPanelHeight);
    panel.setThumbnailCache(cache);
    QElapsedTimer clock;
    clock.start();
    const int made = panel.ThumbNailAndWait(args.folder, args.large);
    times[opening] = clock.elapsed();
    // The cache writes its entries after the cells are shown: the next
    // opening, like a restart after a while, finds them all.
    cache->finishWrites();
    wholeTimes[opening] = clock.elapsed();
    int unsupported = 0;
    int hostileUnread = 0;
    for (int i = 0; i < made; ++i) {
      const bool unread = panel.table().ThumbUnsupported(i);
      const bool hostile = QFileInfo(panel.table().ThumbFiles(i)).fileName().startsWith(QStringLiteral("hostile-"));
      (hostile ? hostileUnread : unsupported) += unread ? 1 : 0;
    }
    std::printf("%s%d thumbnails in %lld ms, whole run %lld ms (%d unsupported",
                args.twice ? (opening == 0 ? "first:  " : "second: ") : "", made,
                static_cast<long long>(times[opening]), static_cast<long long>(wholeTimes[opening]), unsupported);
    if (args.hostile) std::printf("; %d of %d hostile files unreadable", hostileUnread, hostileCount);
    if (cache->enabled()) std::printf("; %lld cache entries", static_cast<long long>(cacheEntries(*cache)));
    std::printf(")\n");
    if (panel.scrollBar()->maximum() > 1) {
      const qint64 middle = jumpTime(panel, panel.scrollBar()->maximum() / 2);
      const qint64 top = jumpTime(panel, 0);
      std::printf("a jump to the middle showed its cells in %lld ms, back to the top in %lld ms (goal: 100 ms)\n",
                  static_cast<long long>(middle), static_cast<long long>(top));
    }
    if (made != expected) std::printf("the folder holds %d pictures, not the %d asked for\n", made, expected);
    complete = complete && made == expected && unsupported == 0 && hostileUnread == hostileCount;
  }
  if (args.twice) {
    const auto ratio = [](qint64 first, qint64 second) {
      return static_cast<double>(first) / static_cast<double>(std::max<qint64>(second, 1));
    };
    std::printf("first / second: %.1fx the panel, %.1fx the whole run (goal: at least 20x)\n",
                ratio(times[0], times[1]), ratio(wholeTimes[0], wholeTimes[1]));
  }
  return complete ? 0 : 1;
}
