#include "components/thumbnail_cache.h"

#include <gtest/gtest.h>

#include <dirent.h>

#include <QFile>

#include <algorithm>

#include "support/test_support.h"

namespace lumaset {
namespace {

// The entries in `folder` that have been written whole.
qint64 EntriesIn(const QString& folder) {
  DIR* dir = ::opendir(QFile::encodeName(folder).constData());
  if (!dir) return 0;
  qint64 count = 0;
  while (const dirent* entry = ::readdir(dir)) count += QByteArray(entry->d_name).endsWith(".png") ? 1 : 0;
  ::closedir(dir);
  return count;
}

// One thread makes large thumbnails that compress badly far faster than
// they are written: after each one, the pictures still waiting for the
// writers come to no more than 32 MB, and in the end every entry is there.
TEST(ThumbnailCacheWriters, KeepTheBytesWaitingForThemBounded) {
  constexpr int kPictures = 200;
  constexpr qint64 kPictureBytes = 256 * 256 * 4;
  constexpr qint64 kMostWaiting = 32 << 20;
  const QString pictures = test::freshFolder(QStringLiteral("pictures")) + QLatin1Char('/');
  const QString root = test::freshFolder(QStringLiteral("cache")) + QStringLiteral("/thumbnails/");
  for (int i = 0; i < kPictures; ++i) test::WriteText(pictures + QStringLiteral("%1.png").arg(i), "a picture");
  QImage noise(256, 256, QImage::Format_RGB32);
  quint32 seed = 1;
  for (int y = 0; y < noise.height(); ++y) {
    auto* line = reinterpret_cast<quint32*>(noise.scanLine(y));
    for (int x = 0; x < noise.width(); ++x) line[x] = 0xFF000000U | ((seed = seed * 1664525U + 1013904223U) >> 8);
  }
  ThumbnailSource source;
  source.probe = [](const QString&) -> Result<FileFacts> { return FileFacts{2560, 2560, 24, 0}; };
  source.decode = [&noise](const QString&, int) -> Result<QImage> { return noise; };
  const ThumbnailCache cache(root, {}, source);

  qint64 mostWaiting = 0;
  for (int i = 0; i < kPictures; ++i) {
    ASSERT_TRUE(cache.thumbnail(pictures + QStringLiteral("%1.png").arg(i), ThumbnailSize::Large).ok());
    mostWaiting = std::max(mostWaiting, (i + 1 - EntriesIn(root + QStringLiteral("large"))) * kPictureBytes);
  }
  EXPECT_LE(mostWaiting, kMostWaiting);
  cache.finishWrites();
  EXPECT_EQ(EntriesIn(root + QStringLiteral("large")), kPictures);
}

}  // namespace
}  // namespace lumaset
