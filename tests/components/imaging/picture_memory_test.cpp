#include "components/imaging/picture_memory.h"

#include <gtest/gtest.h>

#include <sys/mman.h>

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>
#include <vector>

namespace lumaset::pixels {
namespace {

// Every pixel a value of its own, so that a page lost or zeroed shows.
void Number(QImage& picture, quint32 seed) {
  for (int y = 0; y < picture.height(); ++y) {
    auto* row = reinterpret_cast<quint32*>(picture.scanLine(y));
    for (int x = 0; x < picture.width(); ++x) row[x] = seed ^ static_cast<quint32>(y * picture.width() + x);
  }
}

bool Numbered(const QImage& picture, quint32 seed) {
  for (int y = 0; y < picture.height(); ++y) {
    const auto* row = reinterpret_cast<const quint32*>(picture.constScanLine(y));
    for (int x = 0; x < picture.width(); ++x) {
      if (row[x] != (seed ^ static_cast<quint32>(y * picture.width() + x))) return false;
    }
  }
  return true;
}

// Whether every page of a picture nobody has written is in place, waiting up
// to ten seconds for the makers.
bool MadeReady(const QImage& picture) {
  const uchar* start = picture.constBits();
  const auto length = static_cast<std::size_t>(picture.sizeInBytes());
  std::vector<unsigned char> pages((length + 4095) / 4096);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  for (;;) {
    if (mincore(const_cast<uchar*>(start), length, pages.data()) != 0) return false;
    if (std::all_of(pages.begin(), pages.end(), [](unsigned char page) { return (page & 1) != 0; })) return true;
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
}

TEST(ReadyPictures, TheMemoryOfEachPictureIsInPlaceBeforeItIsWritten) {
  const ReadyPictures ready(QSize(3000, 2000), 2);
  const QImage decoded = NewPicture(3000, 2000);
  const QImage result = NewPicture(3000, 2000);
  EXPECT_TRUE(MadeReady(decoded)) << "the first picture's pages were not all made ready within ten seconds";
  EXPECT_TRUE(MadeReady(result)) << "the second picture's pages were not all made ready within ten seconds";
}

TEST(ReadyPictures, PicturesOfTheSizeTakeTheMemoryInTurnAndKeepWhatIsWrittenInIt) {
  std::optional<ReadyPictures> ready(std::in_place, QSize(3000, 2000), 2);
  EXPECT_EQ(ready->waiting(), 2);
  EXPECT_FALSE(NewPicture(3000, 2100).isNull());
  EXPECT_FALSE(NewPicture(300, 200).isNull());
  EXPECT_EQ(ready->waiting(), 2) << "a larger or a small picture takes none";

  // Written while the memory is still being made ready.
  QImage decoded = NewPicture(3000, 2000);
  Number(decoded, 1);
  QImage turned = NewPicture(2000, 3000);
  Number(turned, 2);
  EXPECT_EQ(ready->waiting(), 0);
  EXPECT_TRUE(NewPicture(3000, 2000).size() == QSize(3000, 2000)) << "then new memory";
  ready.reset();
  EXPECT_EQ(turned.format(), QImage::Format_RGB32);
  EXPECT_TRUE(Numbered(decoded, 1));
  EXPECT_TRUE(Numbered(turned, 2));
  Number(turned, 3);  // the pictures keep their memory after the maker has gone
  EXPECT_TRUE(Numbered(turned, 3));
}

TEST(ReadyPictures, NothingIsMadeForSizesNoPhotoHasAndNothingIsLeftAfterwards) {
  for (const QSize size : {QSize(0, 4000), QSize(-6000, 4000), QSize(60000, 40000), QSize(200, 100)}) {
    EXPECT_EQ(ReadyPictures(size, 2).waiting(), 0) << size.width() << " x " << size.height();
  }
  { const ReadyPictures unused(QSize(3000, 2000), 2); }
  const ReadyPictures again(QSize(3000, 2000), 1);
  const ReadyPictures other(QSize(2000, 1500), 1);
  EXPECT_FALSE(NewPicture(3000, 2000).isNull());
  EXPECT_EQ(again.waiting(), 0) << "what an earlier one left behind is gone";
  EXPECT_EQ(other.waiting(), 1) << "only its own size takes it";
  EXPECT_TRUE(NewPicture(0, 10).isNull());
}

}  // namespace
}  // namespace lumaset::pixels
