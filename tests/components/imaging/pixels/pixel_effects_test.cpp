#include "components/imaging/pixels/pixel_effects.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QTransform>

#include <chrono>
#include <thread>
#include <vector>

#include "components/imaging/pixels/color_reduce.h"
#include "components/imaging/pixels/color_tools.h"
#include "components/imaging/imaging.h"
#include "components/imaging/pixels/imaging_effects.h"
#include "components/imaging/jpeg/jpeg_strips.h"
#include "support/test_support.h"

namespace lumaset {
namespace {

// A grey picture, row by row from the levels given.
QImage Grey(int width, int height, const std::vector<int>& levels) {
  QImage image(width, height, QImage::Format_RGB32);
  for (int i = 0; i < width * height; ++i) image.setPixel(i % width, i / width, qRgb(levels[std::size_t(i)], levels[std::size_t(i)], levels[std::size_t(i)]));
  return image;
}

// One channel (0 red, 1 green, 2 blue) of every pixel, row by row.
std::vector<int> Levels(const QImage& image, int channel = 0) {
  std::vector<int> levels;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QRgb pixel = image.pixel(x, y);
      levels.push_back(channel == 0 ? qRed(pixel) : channel == 1 ? qGreen(pixel) : qBlue(pixel));
    }
  return levels;
}

QImage Noise(int width, int height, quint32 seed) {
  QImage image(width, height, QImage::Format_RGB32);
  QRandomGenerator random(seed);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) image.setPixel(x, y, random.generate() | 0xFF000000U);
  return image;
}

QImage Apply(const std::function<Result<QImage>(const QImage&, PixelJob&)>& effect, const QImage& source,
           int threads = 1) {
  PixelJob job(threads);
  Result<QImage> result = effect(source, job);
  EXPECT_TRUE(result.ok()) << (result.ok() ? "" : result.error().toStdString());
  return result.ok() ? result.value() : QImage();
}

const FilterKernel kEdge{{{1, 1, 1}, {1, -8, 1}, {1, 1, 1}}};
const FilterKernel kSoften{{{0.25, 0.25, 0.25}, {0.25, -1, 0.25}, {0.25, 0.25, 0.25}}};
const FilterKernel kIdentity{{{0, 0, 0}, {0, 1, 0}, {0, 0, 0}}};

// A bright centre on a darker ring of 3 x 3; the edges repeat themselves.
const QImage kSpot = Grey(3, 3, {50, 50, 50, 50, 100, 50, 50, 50, 50});

TEST(PixelEffectsTest, KernelsOnASpot) {
  using Effect = std::function<Result<QImage>(const QImage&, PixelJob&)>;
  struct Case { const char* name; Effect effect; std::vector<int> expected; QImage picture = kSpot; };
  const Case cases[] = {
      // 4/16 of 100 and 12/16 of 50; a corner sees the centre once in 16
      {"blur 100", [](const QImage& p, PixelJob& j) { return Blur(p, 100, j); },
       {53, 56, 53, 56, 63, 56, 53, 56, 53}},
      // halfway from the spot to its blur: (100 + 62.5) / 2
      {"blur 50", [](const QImage& p, PixelJob& j) { return Blur(p, 50, j); },
       {52, 53, 52, 53, 81, 53, 52, 53, 52}},
      // 100 + 0.2 (800 − 400); a corner: 50 + 0.2 (400 − 450)
      {"sharpen 20", [](const QImage& p, PixelJob& j) { return Sharpen(p, 20, j); },
       {40, 40, 40, 40, 180, 40, 40, 40, 40}},
      // 100 − 0.25 (400 − 800); a corner: 50 − 0.25 (450 − 400)
      {"edge", [](const QImage& p, PixelJob& j) { return Filter(p, kEdge, 0.25, j); },
       {38, 38, 38, 38, 200, 38, 38, 38, 38}},
      // 2.5 p, clipped
      {"intensify", [](const QImage& p, PixelJob& j) { return Filter(p, kIdentity, -1.5, j); },
       {125, 125, 125, 125, 250, 125, 125, 125, 125}},
      // 0.25 · 400 − 100; a corner 0.25 (350 + 100) − 50
      {"soften", [](const QImage& p, PixelJob& j) { return FilterMasked(p, kSoften, 1.0, kMaskAll, 0, j); },
       {63, 63, 63, 63, 0, 63, 63, 63, 63}},
      // 128 + p − the pixel above left (the corner pixel itself at the top and left edges)
      {"emboss", [](const QImage& p, PixelJob& j) { return Emboss(p, -1, -1, qRgb(128, 128, 128), kMaskAll, 0, j); },
       {128, 128, 128, 128, 178, 128, 128, 128, 78}},
      // 128 + p − the pixel to its right (itself in the last column) on a 4 x 2 ramp;
      // the pixel below would give 88 in the top row
      {"emboss right", [](const QImage& p, PixelJob& j) { return Emboss(p, 1, 0, qRgb(128, 128, 128), kMaskAll, 0, j); },
       {118, 118, 118, 128, 118, 118, 118, 128}, Grey(4, 2, {0, 10, 20, 30, 40, 50, 60, 70})},
  };
  for (const Case& c : cases) EXPECT_EQ(Levels(Apply(c.effect, c.picture)), c.expected) << c.name;
}

TEST(PixelEffectsTest, MasksLeaveTheOtherChannels) {
  const QImage tinted = Apply([](const QImage& p, PixelJob& j) { return MapChannels(p, BrightContrastTable(0, 0), j); }, kSpot);
  const QImage softened = Apply([](const QImage& p, PixelJob& j) { return FilterMasked(p, kSoften, 1.0, kMaskGreen, 0, j); }, kSpot);
  EXPECT_EQ(Levels(softened, 0), Levels(tinted, 0));
  EXPECT_EQ(Levels(softened, 1)[4], 0);
  EXPECT_EQ(Levels(softened, 2), Levels(kSpot, 2));
  // Emboss sets the channels outside its mask to the value given.
  const QImage embossed = Apply([](const QImage& p, PixelJob& j) { return Emboss(p, 1, 0, qRgb(9, 128, 9), kMaskGreen, 7, j); }, kSpot);
  EXPECT_EQ(Levels(embossed, 0), std::vector<int>(9, 7));
  EXPECT_EQ(Levels(embossed, 1)[4], 178);
}

TEST(PixelEffectsTest, MosaicTilesFromTheCorner) {
  const QImage ramp = Grey(5, 3, {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14});
  // Tiles two wide and three high: columns {0 1}, {2 3} and the narrower edge tile {4},
  // each its own rounded mean (5.5, 7.5 and 9).
  EXPECT_EQ(Levels(Apply([](const QImage& p, PixelJob& j) { return Mosaic(p, 2, 3, kMaskAll, j); }, ramp)),
            (std::vector<int>{6, 6, 8, 8, 9, 6, 6, 8, 8, 9, 6, 6, 8, 8, 9}));
  // A block larger than the picture is the whole picture; only the masked channel changes.
  const QImage whole = Apply([](const QImage& p, PixelJob& j) { return Mosaic(p, 1000, 1000000, kMaskBlue, j); }, ramp);
  EXPECT_EQ(Levels(whole, 2), std::vector<int>(15, 7));
  EXPECT_EQ(Levels(whole, 0), Levels(ramp, 0));
  PixelJob job(2);
  EXPECT_FALSE(Mosaic(ramp, 0, 3, kMaskAll, job).ok());
}

TEST(PixelEffectsTest, ColoursPerPixel) {
  QImage colours(4, 1, QImage::Format_RGB32);
  const QRgb pixels[] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(100, 110, 90)};
  for (int x = 0; x < 4; ++x) colours.setPixel(x, 0, pixels[x]);
  EXPECT_EQ(Levels(Apply([](const QImage& p, PixelJob& j) { return Grayscale(p, j); }, colours)),
            (std::vector<int>{76, 150, 29, 105}));
  // Sums of differences up to 20 from (100, 100, 100): only the last pixel, 20 away.
  const QImage replaced = Apply([](const QImage& p, PixelJob& j) { return ReplaceColor(p, qRgb(100, 100, 100), qRgb(1, 2, 3), 20, j); }, colours);
  EXPECT_EQ(replaced.pixel(3, 0), qRgb(1, 2, 3));
  EXPECT_EQ(replaced.pixel(0, 0), pixels[0]);
  // Every channel's difference counts: pure green is 255 away from black.
  EXPECT_EQ(Apply([](const QImage& p, PixelJob& j) { return ReplaceColor(p, qRgb(0, 0, 0), qRgb(1, 2, 3), 20, j); }, colours), colours);

  EXPECT_EQ(RgbToHsl(0, 0, 255), (ByteTriple{171, 255, 128}));
  EXPECT_EQ(RgbToHsl(90, 90, 90), (ByteTriple{0, 0, 90}));
  for (const QRgb colour : {qRgb(255, 0, 0), qRgb(10, 200, 30), qRgb(90, 90, 90), qRgb(250, 240, 5)}) {
    const ByteTriple hsl = RgbToHsl(SplitColor(colour).c1, SplitColor(colour).c2, SplitColor(colour).c3);
    const ByteTriple back = HslToRgb(hsl.c1, hsl.c2, hsl.c3);
    EXPECT_NEAR(back.c1, qRed(colour), 2);
    EXPECT_NEAR(back.c2, qGreen(colour), 2);
    EXPECT_NEAR(back.c3, qBlue(colour), 2);
  }
  // Colorize with all three flags gives the target's own colour back (up to rounding).
  const QImage tinted = Apply([](const QImage& p, PixelJob& j) { return Colorize(p, qRgb(0, 0, 255), true, true, true, j); }, colours);
  EXPECT_EQ(tinted.pixel(3, 0), qRgb(3, 1, 255));
  // Hue and saturation taken over, each pixel's own luminance (128, 128, 128, 100) kept.
  const QImage hued = Apply([](const QImage& p, PixelJob& j) { return Colorize(p, qRgb(0, 0, 255), true, true, false, j); }, colours);
  EXPECT_EQ(hued.pixel(0, 0), qRgb(3, 1, 255));
  EXPECT_EQ(hued.pixel(2, 0), qRgb(3, 1, 255));
  EXPECT_EQ(hued.pixel(3, 0), qRgb(2, 0, 200));
}

TEST(PixelEffectsTest, TurnsAndMirrorMoveEveryPixel) {
  const QImage source = Noise(3, 2, 7);
  EXPECT_EQ(Apply([](const QImage& p, PixelJob& j) { return Mirror(p, j); }, source), source.mirrored(true, false));
  for (const int quarters : {-1, 1, 2, 3, 4}) {
    const QImage turned = Apply([quarters](const QImage& p, PixelJob& j) { return QuarterTurn(p, quarters, j); }, source);
    EXPECT_EQ(turned, source.transformed(QTransform().rotate(90.0 * quarters))) << quarters;
  }
}

TEST(ColorReduceTest, DiffusionCarriesTheError) {
  // 128 lies nearer white; its error −127 makes the next one black, and so on.
  const QImage row = Grey(4, 1, {128, 128, 128, 128});
  const std::vector<QRgb> blackWhite{qRgb(0, 0, 0), qRgb(255, 255, 255)};
  EXPECT_EQ(Levels(Apply([&](const QImage& p, PixelJob& j) { return DiffuseToPalette(p, blackWhite, j); }, row)),
            (std::vector<int>{255, 0, 255, 0}));

  PixelJob job(3);
  const auto two = MedianCut(Grey(2, 2, {0, 255, 255, 255}), 256, job);
  ASSERT_TRUE(two.ok());
  EXPECT_EQ(two.value(), blackWhite);  // no more colours than the picture has
  const QImage dithered = Apply([](const QImage& p, PixelJob& j) { return Dither(p, 2, j); }, Grey(2, 1, {0, 255}));
  EXPECT_EQ(Levels(dithered), (std::vector<int>{0, 255}));
}

TEST(ColorReduceTest, PaletteFilesAreCheckedWhole) {
  const QString folder = test::freshFolder(QStringLiteral("palette"));
  const auto write = [&](const char* name, QByteArray bytes) {
    const QString path = folder + QLatin1Char('/') + QLatin1String(name);
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::WriteOnly));
    EXPECT_EQ(file.write(bytes), bytes.size());
    return path;
  };
  QByteArray bytes(768, char(63));
  const auto full = ReadPaletteFile(write("full.pal", bytes));
  ASSERT_TRUE(full.ok()) << full.error().toStdString();
  EXPECT_EQ(full.value()[255], qRgb(252, 252, 252));
  bytes[0] = 10, bytes[1] = 20, bytes[2] = 30;
  const auto first = ReadPaletteFile(write("first.pal", bytes));
  ASSERT_TRUE(first.ok()) << first.error().toStdString();
  EXPECT_EQ(first.value()[0], qRgb(40, 80, 120));
  bytes[767] = 64;
  for (const auto& [name, content] : {std::pair{"over.pal", bytes}, std::pair{"short.pal", QByteArray(767, 1)},
                                      std::pair{"long.pal", QByteArray(769, 1)}, std::pair{"empty.pal", QByteArray()}}) {
    const QString path = write(name, content);
    const auto refused = ReadPaletteFile(path);
    ASSERT_FALSE(refused.ok()) << name;
    EXPECT_EQ(refused.error(), path + QStringLiteral(" is not a valid palette file."));
  }
  const auto missing = ReadPaletteFile(folder + QStringLiteral("/missing.pal"));
  ASSERT_FALSE(missing.ok());
  EXPECT_TRUE(missing.error().startsWith(QStringLiteral("Palette file open error: ")));
}

// Every effect gives the same bytes on any number of threads, on odd sizes too.
TEST(PixelEffectsTest, ThreadsNeverChangeTheResult) {
  using Effect = std::function<Result<QImage>(const QImage&, PixelJob&)>;
  Palette256 palette{};
  for (std::size_t i = 0; i < palette.size(); ++i) palette[i] = qRgb(int(i), int(255 - i), int(i * 7 % 256));
  const std::vector<QRgb> colors(palette.begin(), palette.begin() + 40);  // fewer colours: a quicker run
  const std::vector<std::pair<const char*, Effect>> effects{
      {"blur", [](const QImage& p, PixelJob& j) { return Blur(p, 100, j); }},
      {"sharpen", [](const QImage& p, PixelJob& j) { return Sharpen(p, 20, j); }},
      {"filter", [](const QImage& p, PixelJob& j) { return Filter(p, kEdge, 0.25, j); }},
      {"huge filter", [](const QImage& p, PixelJob& j) { return Filter(p, kIdentity, -1e6, j); }},
      {"masked", [](const QImage& p, PixelJob& j) { return FilterMasked(p, kSoften, 1.0, kMaskRed | kMaskBlue, 3, j); }},
      {"emboss", [](const QImage& p, PixelJob& j) { return Emboss(p, 1, -1, qRgb(128, 0, 64), kMaskRed, 40, j); }},
      {"mosaic", [](const QImage& p, PixelJob& j) { return Mosaic(p, 3, 5, kMaskAll, j); }},
      {"patchwork", [](const QImage& p, PixelJob& j) { return Mosaic(p, 2, 6, kMaskGreen, j); }},
      {"grayscale", [](const QImage& p, PixelJob& j) { return Grayscale(p, j); }},
      {"colorize", [](const QImage& p, PixelJob& j) { return Colorize(p, qRgb(200, 30, 60), true, true, false, j); }},
      {"replace", [](const QImage& p, PixelJob& j) { return ReplaceColor(p, qRgb(128, 128, 128), qRgb(0, 0, 0), 300, j); }},
      {"dither", [](const QImage& p, PixelJob& j) { return Dither(p, 7, j); }},
      {"palette", [&](const QImage& p, PixelJob& j) { return DiffuseToPalette(p, colors, j); }},
      {"turn", [](const QImage& p, PixelJob& j) { return QuarterTurn(p, -1, j); }},
      {"mirror", [](const QImage& p, PixelJob& j) { return Mirror(p, j); }},
  };
  for (const QSize size : {QSize(1, 1), QSize(1, 9), QSize(9, 1), QSize(7, 5), QSize(23, 150)}) {
    const QImage source = Noise(size.width(), size.height(), quint32(size.width() * 1000 + size.height()));
    for (const auto& [name, effect] : effects) {
      const QImage alone = Apply(effect, source, 1);
      ASSERT_FALSE(alone.isNull()) << name;
      for (const int threads : {3, 8}) EXPECT_EQ(Apply(effect, source, threads), alone) << name << " " << threads;
    }
  }
}

TEST(PixelEffectsTest, AStopIsSeenWithinABand) {
  std::atomic<bool> bandStarted{false};
  std::atomic<bool> sawStop{false};
  // The stop comes only once the band runs, however late its worker starts.
  PixelJob job(2, [&](int) { return !bandStarted.load(); });
  const bool finished = job.Run(1, 1, [&](int, int, const BandContext& context) {
    bandStarted = true;
    // Holds its one band until the stop arrives (or gives up after a long while).
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!context.stopped() && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
    sawStop = context.stopped();
  });
  EXPECT_FALSE(finished);
  EXPECT_TRUE(sawStop);
  EXPECT_FALSE(job.Run(5, 1, [](int, int, const BandContext&) { ADD_FAILURE() << "ran after the stop"; }));
}

TEST(ImagingEffectsTest, CancelLeavesThePictureAndUndoTakesBackAChange) {
  Imaging imaging;
  imaging.UndoLevels(1);
  ASSERT_TRUE(imaging.LoadFromPicture(kSpot).ok());
  std::vector<int> seen;
  int cancelAt = 50;
  imaging.setProgressHandler([&](int percent, bool& cancel) {
    seen.push_back(percent);
    if (percent >= cancelAt && percent < 100) cancel = true;
  });
  imaging.setProgressEnabled(true);
  for (const int at : {0, 1}) {
    cancelAt = at;
    seen.clear();
    const Status stopped = ImgBlur(imaging, 100, QStringLiteral("Blur"));
    EXPECT_TRUE(stopped.cancelled()) << at;
    EXPECT_EQ(imaging.GetPicture(), kSpot);
    EXPECT_EQ(seen.back(), 100);
    EXPECT_FALSE(imaging.UndoLast().ok());  // nothing was kept
  }
  cancelAt = 1000;
  ASSERT_TRUE(ImgSharpen(imaging, 20, QStringLiteral("Sharpen")).ok());
  EXPECT_EQ(Levels(imaging.GetPicture())[4], 180);
  ASSERT_TRUE(imaging.UndoLast().ok());
  EXPECT_EQ(imaging.GetPicture(), kSpot);
  ASSERT_TRUE(ImgMosaic(imaging, 3, 3, kMaskAll, Imaging::kNoUndo).ok());
  EXPECT_FALSE(imaging.UndoLast().ok());
  EXPECT_FALSE(ImgMosaic(imaging, 5, 0, kMaskAll).ok());
  for (const double weight : {std::nan(""), 1e300}) {
    const FilterKernel broken{{{0, 0, 0}, {0, weight, 0}, {0, 0, 0}}};
    EXPECT_FALSE(ImgFilter(imaging, broken, 1.0).ok()) << weight;
  }
  Imaging empty;
  EXPECT_FALSE(ImgGrayscale(empty).ok());
}

// Strips joined with restart markers decode to the very pixels of one
// single-pass encoding with the same settings.
TEST(JpegStripsTest, JoinedStripsDecodeLikeOnePass) {
  QImage picture(45, 600, QImage::Format_RGB32);
  QPainter painter(&picture);
  QLinearGradient gradient(0, 0, 45, 600);
  gradient.setColorAt(0, Qt::darkCyan);
  gradient.setColorAt(1, QColor(250, 180, 20));
  painter.fillRect(picture.rect(), gradient);
  painter.end();
  for (int y = 0; y < 600; y += 7) picture.setPixel(y % 45, y, qRgb(255, 0, 255));

  PixelJob job(4);
  const auto joined = EncodeJpeg(picture, 85, 200, job);
  ASSERT_TRUE(joined.ok());
  EXPECT_TRUE(joined->contains(QByteArray("\xFF\xDD", 2)));  // it was cut in strips
  QBuffer buffer;
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, "jpeg");
  writer.setQuality(85);
  ASSERT_TRUE(writer.write(picture));
  const QImage back = QImage::fromData(joined.value(), "JPEG").convertToFormat(QImage::Format_RGB32);
  EXPECT_EQ(back, QImage::fromData(buffer.data(), "JPEG").convertToFormat(QImage::Format_RGB32));
  EXPECT_EQ(qRound(back.dotsPerMeterX() * 0.0254), 200);
}

}  // namespace
}  // namespace lumaset
