#include "components/scanner.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QSet>
#include <QThreadPool>

#include <climits>

#include "components/scan_frames.h"
#include "support/sane_test_backend.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

int ColourCount(const QImage& image) {
  const QImage rgb = image.convertToFormat(QImage::Format_RGB32);
  QSet<QRgb> seen;
  for (int y = 0; y < rgb.height(); ++y) {
    for (int x = 0; x < rgb.width(); ++x) seen.insert(rgb.pixel(x, y));
  }
  return static_cast<int>(seen.size());
}

// A session on the test back-end, opened on `device` ("" for the first one found).
#define OPEN_SESSION(session, device, ...) \
  test::UseSaneTestBackend(__VA_ARGS__);    \
  SaneSession session;                      \
  ASSERT_TRUE(session.Init().ok());         \
  ASSERT_TRUE(session.Open(QStringLiteral(device)).ok())

TEST(SaneSession, ScansEachPixelTypeAtTwoResolutions) {
  OPEN_SESSION(session, "");
  auto sources = session.Sources();
  ASSERT_TRUE(sources.ok()) << sources.error().toStdString();
  ASSERT_FALSE(sources->isEmpty());
  EXPECT_EQ(sources->first().name, "test:0");

  // The size is 80 x 100 mm at the resolution.
  struct Case { ScanPixelType type; qint32 resolution; QImage::Format format; QSize size; int fewest, most; };
  const Case cases[] = {
      {ScanPixelType::BlackWhite, 50, QImage::Format_Mono, {157, 196}, 2, 2},
      {ScanPixelType::Grayscale, 50, QImage::Format_Grayscale8, {157, 196}, 1, 256},
      {ScanPixelType::Rgb, 100, QImage::Format_RGB888, {314, 393}, 3, INT_MAX},
      {ScanPixelType::Palette, 100, QImage::Format_Indexed8, {314, 393}, 1, 256},
      {ScanPixelType::BlackWhite, 100, QImage::Format_Mono, {314, 393}, 2, 2},
      {ScanPixelType::Rgb, 50, QImage::Format_RGB888, {157, 196}, 3, INT_MAX},
  };
  const std::atomic<bool> keepGoing{false};
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.type));
    session.SetPixelType(c.type);
    session.SetResolution(c.resolution);
    auto back = session.ReadBack();
    ASSERT_TRUE(back.ok());
    EXPECT_EQ(back->pixelType, c.type);
    EXPECT_EQ(back->resolution, c.resolution);
    EXPECT_EQ(back->source, "test:0");
    std::vector<int> heard;
    auto picture = session.Acquire([&heard](int percent) { heard.push_back(percent); }, keepGoing);
    ASSERT_TRUE(picture.ok()) << picture.error().toStdString();
    EXPECT_EQ(picture->format(), c.format);
    EXPECT_EQ(picture->size(), c.size);
    EXPECT_EQ(heard.front(), 0);
    EXPECT_EQ(heard.back(), 100);
    EXPECT_TRUE(std::is_sorted(heard.begin(), heard.end()));
    EXPECT_GE(ColourCount(*picture), c.fewest);
    EXPECT_LE(ColourCount(*picture), c.most);
  }
}

TEST(SaneSession, ResolutionOutsideTheDevicesRangeSettlesOnItsLimit) {
  OPEN_SESSION(session, "test:1");
  for (const auto& [asked, settled] : {std::pair{70000, 1200.0}, {-5, 1.0}, {2147483647, 1200.0}, {300, 300.0}}) {
    session.SetResolution(asked);
    EXPECT_EQ(session.ReadBack()->resolution, settled) << asked;
  }
  EXPECT_FALSE(session.Open("test:9").ok());
  EXPECT_FALSE(session.isOpen());
  EXPECT_FALSE(session.ReadBack().ok());
}

TEST(SaneSession, ADeviceFailingMidScanGivesItsCauseAndStaysUsable) {
  OPEN_SESSION(session, "test:0", {.readStatus = "SANE_STATUS_IO_ERROR"});
  const std::atomic<bool> keepGoing{false};
  for (int attempt = 0; attempt < 2; ++attempt) {
    auto picture = session.Acquire({}, keepGoing);
    ASSERT_FALSE(picture.ok());
    EXPECT_TRUE(picture.error().startsWith("The scanner stopped during the scan: ")) << picture.error().toStdString();
  }
  EXPECT_TRUE(session.ReadBack().ok());
}

TEST(SaneSession, ACancelledScanStopsAndTheNextOneRuns) {
  OPEN_SESSION(session, "test:0");
  std::atomic<bool> cancel{false};
  auto stopped = session.Acquire([&cancel](int) { cancel = true; }, cancel);
  ASSERT_FALSE(stopped.ok());
  EXPECT_EQ(stopped.error(), "The scan was cancelled.");
  cancel = false;
  EXPECT_TRUE(session.Acquire({}, cancel).ok());
}

// The scanner library is opened on a worker while the window is made.
TEST(SaneScanService, TheLibraryIsOpenedAheadOnAWorker) {
  if (test::LibraryLoaded(QStringLiteral("/libsane."))) GTEST_SKIP() << "an earlier test in this process loaded SANE";
  SaneScanService::OpenLibraryAhead();
  ASSERT_TRUE(QThreadPool::globalInstance()->waitForDone(10000)) << "SANE was still being opened after 10 s";
  EXPECT_TRUE(test::LibraryLoaded(QStringLiteral("/libsane.")));
}

TEST(SaneScanService, RepliesOnTheCallersThreadUntilShutDown) {
  test::UseSaneTestBackend();
  SaneScanService service;
  ASSERT_TRUE(service.Initialise());
  std::optional<Result<QImage>> scanned;
  std::vector<int> heard;
  service.Acquire(QStringLiteral("test:1"), [&heard](int percent) { heard.push_back(percent); },
                  [&scanned](Result<QImage> picture) { scanned = std::move(picture); });
  ASSERT_TRUE(test::RunUntil([&] { return scanned.has_value(); }));
  ASSERT_TRUE(scanned->ok());
  EXPECT_EQ((*scanned)->size(), QSize(157, 196));
  EXPECT_EQ(heard.back(), 100);

  std::optional<Result<ScanReadBack>> back;
  service.OpenDefault({}, [&back](Result<ScanReadBack> b) { back = std::move(b); });
  ASSERT_TRUE(test::RunUntil([&] { return back.has_value(); }));
  EXPECT_EQ((*back)->source, "test:1");  // the open device is kept

  // Replies left after shut-down never arrive.
  bool late = false;
  service.Sources([&late](auto) { late = true; });
  service.Shutdown();
  QCoreApplication::processEvents();
  EXPECT_FALSE(late);
}

TEST(ScanFrames, SamplesOfEveryDepthBecomeThePictureTheyDescribe) {
  // Two colour pixels at 16 bits (machine order), with two bytes of padding.
  const quint16 deep[] = {0xFF00, 0x8000, 0x0100, 0x0000, 0x7FFF, 0xFFFF, 0};
  auto colour = FrameToPicture({FrameLayout::Kind::Colour, 16, 2, 14, 1},
                               QByteArray(reinterpret_cast<const char*>(deep), 14));
  ASSERT_TRUE(colour.ok());
  EXPECT_EQ(colour->pixel(0, 0), qRgb(0xFF, 0x80, 0x01));
  EXPECT_EQ(colour->pixel(1, 0), qRgb(0x00, 0x7F, 0xFF));

  // One-bit grey: a set bit is black; lines come from the bytes when unknown.
  auto lineArt = FrameToPicture({FrameLayout::Kind::Grey, 1, 3, 1, -1}, QByteArray("\xA0\x40\x01", 3));
  ASSERT_TRUE(lineArt.ok());
  EXPECT_EQ(lineArt->size(), QSize(3, 3));
  EXPECT_EQ(lineArt->pixel(0, 0), qRgb(0, 0, 0));
  EXPECT_EQ(lineArt->pixel(1, 0), qRgb(255, 255, 255));
  EXPECT_EQ(lineArt->pixel(1, 1), qRgb(0, 0, 0));

  // One-bit colour: bits 100 011 110 from the top of the first byte, a set bit full intensity.
  auto primaries = FrameToPicture({FrameLayout::Kind::Colour, 1, 3, 2, 1}, QByteArray("\x8F\x00", 2));
  ASSERT_TRUE(primaries.ok());
  EXPECT_EQ(primaries->pixel(0, 0), qRgb(255, 0, 0));
  EXPECT_EQ(primaries->pixel(1, 0), qRgb(0, 255, 255));
  EXPECT_EQ(primaries->pixel(2, 0), qRgb(255, 255, 0));

  EXPECT_FALSE(FrameToPicture({FrameLayout::Kind::Grey, 8, 10, 4, 1}, QByteArray(4, 0)).ok());
  EXPECT_FALSE(FrameToPicture({FrameLayout::Kind::Grey, 8, 4, 4, 1}, QByteArray()).ok());
  EXPECT_FALSE(FrameToPicture({FrameLayout::Kind::Grey, 4, 4, 4, 1}, QByteArray(4, 0)).ok());

  QImage rainbow(64, 64, QImage::Format_RGB32);
  for (int y = 0; y < 64; ++y) {
    for (int x = 0; x < 64; ++x) rainbow.setPixel(x, y, qRgb(x * 4, y * 4, (x + y) * 2));
  }
  const QImage reduced = ReduceTo256Colours(rainbow);
  EXPECT_EQ(reduced.format(), QImage::Format_Indexed8);
  EXPECT_LE(ColourCount(reduced), 256);
  EXPECT_EQ(reduced.pixel(63, 63), qRgb(255, 255, 255));
  EXPECT_EQ(reduced.pixel(0, 0), qRgb(0, 0, 0));
}

}  // namespace
}  // namespace lumaset
