// Rotate Clockwise turns a PNG or a TIFF within the memory of the samples it stores.

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "components/imaging/decode_memory.h"
#include "file_command_fixture.h"
#include "support/hostile_pictures.h"

namespace lumaset::test {
namespace {

class RotatePngTest : public FileCommandsTest {};

// A black-and-white page of 8000 x 4000 pixels stores a megabyte a thousand
// rows; widened to 32 bits a pixel it would take 128 MB, twice over once
// turned. With less than that free, the page still turns, as a PNG and as
// a TIFF.
TEST_F(RotatePngTest, APageTurnsWithinTheMemoryOfItsSamples) {
  const QString folder = freshFolder("page") + "/";
  const QByteArray header = hostile::be32(8000) + hostile::be32(4000) + char(1) + QByteArray(4, '\0');
  QByteArray rows(qsizetype{4000} * 1001, '\0');
  rows[1001 * 7 + 1] = '\x80';  // row 7 begins with a white pixel
  const QByteArray page = "\x89PNG\r\n\x1A\n" + hostile::pngChunk("IHDR", header) +
                          hostile::pngChunk("IDAT", hostile::deflated(rows)) + hostile::pngChunk("IEND", {});
  ASSERT_TRUE(WriteText(folder + "page.png", page));
  ASSERT_TRUE(QImage::fromData(page, "png").convertToFormat(QImage::Format_Mono).save(folder + "page.tif", "tiff"));
  for (const char* name : {"page.png", "page.tif"}) {
    SCOPED_TRACE(name);
    Open(folder);
    Select(IndexOf(folder + name));

    auto& memory = imaging_detail::FullSizeMemory();
    using Share = imaging_detail::DecodeMemory::Share;
    auto taken = std::make_unique<Share>(memory, imaging_detail::kFullSizeBytes - (96 << 20));
    ASSERT_TRUE(taken->granted());
    // A read that waits for the memory gets it back at once, and says so.
    std::atomic<bool> done{false}, waited{false};
    std::thread watcher([&] {
      for (; !done; std::this_thread::sleep_for(std::chrono::milliseconds(1))) {
        if (memory.waiting() > 0) {
          waited = true;
          taken.reset();
          return;
        }
      }
    });
    commands_.mnuFileOptionsRotate_Click();
    done = true;
    watcher.join();
    taken.reset();
    EXPECT_FALSE(waited) << "the turn waited for memory for the page widened";
    EXPECT_EQ(host_.errors, QStringList());
    const QImage turned(folder + name);
    ASSERT_EQ(turned.size(), QSize(4000, 8000));
    EXPECT_EQ(turned.pixelColor(4000 - 1 - 7, 0), Qt::white);
    EXPECT_EQ(turned.pixelColor(4000 - 1 - 6, 0), Qt::black);
  }
}

// A picture that reading refuses is refused in the same words before the
// turn takes any memory, and its file stays as it was.
TEST_F(RotatePngTest, APictureBeyondTheMemoryIsRefusedAndKept) {
  const QString folder = freshFolder("huge") + "/";
  QByteArray huge = hostile::privateChunkPng(64, 1 << 20);  // file enough for 900 MP of packed grey
  huge.replace(16, 8, hostile::be32(30000) + hostile::be32(30000));
  huge.replace(29, 4, hostile::pngChunk("IHDR", huge.mid(16, 13)).right(4));
  ASSERT_TRUE(WriteText(folder + "huge.png", huge));
  Open(folder);
  const int index = IndexOf(folder + "huge.png");
  ASSERT_GE(index, 0);
  Select(index);
  commands_.mnuFileOptionsRotate_Click();
  ASSERT_EQ(host_.errors.size(), 1);
  EXPECT_TRUE(host_.errors[0].endsWith("cannot be read: a picture of 30000 x 30000 pixels is larger than any photo "
                                       "or scan."))
      << host_.errors[0].toStdString();
  EXPECT_EQ(ReadBytes(folder + "huge.png"), huge);
}

}  // namespace
}  // namespace lumaset::test
