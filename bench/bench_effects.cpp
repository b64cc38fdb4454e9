// Whole-command benchmark of the picture effects: loads a JPEG into an
// imaging object, applies one effect as the effect commands do, and saves
// the result as a JPEG (quality 90, the program's default), without a display.
//
//   bench_effects --generate PATH          makes a 6000 x 4000 photo-like JPEG
//   bench_effects --palette PATH           writes a 768-byte palette file
//   bench_effects --palette-image PAL PNG  that palette as a 256 x 1 PNG (for other tools)
//   bench_effects EFFECT IN OUT [--phases] [--threads N] [--palette-file P]
//
// EFFECT is one of: blur sharpen grayscale dither mosaic patchwork edge
// intensify soften palette brightcontrast colorize emboss replace mirror
// rotate. --phases prints the time of load, effect and save to stderr.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <QRandomGenerator>

#include <cstdio>
#include <functional>
#include <map>

#include "components/imaging/bright_contrast.h"
#include "components/imaging/imaging.h"
#include "components/imaging/imaging_effects.h"

#include "photo_like.h"

namespace {

using namespace lumaset;

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// The benchmark's photo, written once.
bool generate(const QString& path) {
  const QImage image = bench::PhotoLike(kWidth, kHeight, 20261207U, 60);
  QImageWriter writer(path, "jpeg");
  writer.setQuality(90);
  return writer.write(image);
}

// A palette of 256 colours: a 6 x 7 x 6 cube of 6-bit levels and four greys.
bool writePalette(const QString& path) {
  QByteArray bytes;
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 7; ++g)
      for (int b = 0; b < 6; ++b) bytes.append(char(r * 63 / 5)).append(char(g * 63 / 6)).append(char(b * 63 / 5));
  for (int i = 0; bytes.size() < 768; ++i) bytes.append(3, char(i * 16 % 64));
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == 768;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() == 3 && args[1] == QLatin1String("--generate")) return generate(args[2]) ? 0 : 1;
  if (args.size() == 3 && args[1] == QLatin1String("--palette")) return writePalette(args[2]) ? 0 : 1;
  if (args.size() == 4 && args[1] == QLatin1String("--palette-image")) {  // the palette as a 256 x 1 PNG
    const auto palette = ReadPaletteFile(args[2]);
    if (!palette) return 1;
    QImage strip(256, 1, QImage::Format_RGB32);
    for (int i = 0; i < 256; ++i) strip.setPixel(i, 0, palette.value()[std::size_t(i)]);
    return strip.save(args[3], "PNG") ? 0 : 1;
  }
  if (args.size() < 4) {
    std::fprintf(stderr, "usage: bench_effects EFFECT IN OUT [--phases] [--threads N] [--palette-file P]\n");
    return 2;
  }
  const QString effect = args[1];
  const bool phases = args.contains(QLatin1String("--phases"));
  Imaging imaging;
  imaging.setJpegQuality(90);
  const qsizetype threadsAt = args.indexOf(QLatin1String("--threads"));
  if (threadsAt > 0 && threadsAt + 1 < args.size()) imaging.setWorkerThreads(args[threadsAt + 1].toInt());
  const qsizetype paletteAt = args.indexOf(QLatin1String("--palette-file"));
  const QString paletteFile = paletteAt > 0 && paletteAt + 1 < args.size() ? args[paletteAt + 1] : QString();

  const FilterKernel edge{{{1, 1, 1}, {1, -8, 1}, {1, 1, 1}}};
  const FilterKernel soften{{{0.25, 0.25, 0.25}, {0.25, -1, 0.25}, {0.25, 0.25, 0.25}}};
  const FilterKernel identity{{{0, 0, 0}, {0, 1, 0}, {0, 0, 0}}};
  const std::map<QString, std::function<Status()>> effects{
      {QStringLiteral("blur"), [&] { return ImgBlur(imaging, 100); }},
      {QStringLiteral("sharpen"), [&] { return ImgSharpen(imaging, 20); }},
      {QStringLiteral("grayscale"), [&] { return ImgGrayscale(imaging); }},
      {QStringLiteral("dither"), [&] { return ImgDither(imaging, 16); }},
      {QStringLiteral("mosaic"), [&] { return ImgMosaic(imaging, 12, 12, kMaskAll); }},
      {QStringLiteral("patchwork"),
       [&]() -> Status {
         if (Status s = ImgMosaic(imaging, 12, 12, kMaskBlue, QStringLiteral("Patchwork Mosaic")); !s) return s;
         if (Status s = ImgMosaic(imaging, 4, 12, kMaskGreen, Imaging::kNoUndo); !s) return s;
         return ImgMosaic(imaging, 12, 4, kMaskRed, Imaging::kNoUndo);
       }},
      {QStringLiteral("edge"), [&] { return ImgFilter(imaging, edge, 0.25); }},
      {QStringLiteral("intensify"), [&] { return ImgFilter(imaging, identity, -1.5); }},
      {QStringLiteral("soften"), [&] { return ImgFilterMasked(imaging, soften, 1.0, kMaskAll); }},
      {QStringLiteral("palette"),
       [&]() -> Status {
         const auto palette = ReadPaletteFile(paletteFile);
         if (!palette) return Error{palette.error()};
         return ImgPalette(imaging, palette.value());
       }},
      {QStringLiteral("brightcontrast"), [&] { return ImgBrightContrast(imaging, 10, 10); }},
      {QStringLiteral("colorize"), [&] { return ImgColorize(imaging, qRgb(200, 120, 40), true, true, false); }},
      {QStringLiteral("emboss"), [&] { return ImgEmboss(imaging, -1, -1, qRgb(128, 128, 128), kMaskAll, 0); }},
      {QStringLiteral("replace"), [&] { return ImgReplaceColor(imaging, qRgb(120, 140, 160), qRgb(255, 0, 0), 60); }},
      {QStringLiteral("mirror"), [&] { return imaging.ImgMirror(); }},
      {QStringLiteral("rotate"), [&] { return imaging.ImgRotate(-90.0); }},
  };
  const auto found = effects.find(effect);
  if (found == effects.end()) {
    std::fprintf(stderr, "unknown effect %s\n", qPrintable(effect));
    return 2;
  }
  QElapsedTimer clock;
  clock.start();
  const auto phase = [&](const char* name, const Status& status) {
    if (phases) std::fprintf(stderr, "%-8s %7.1f ms\n", name, static_cast<double>(clock.nsecsElapsed()) / 1e6);
    clock.restart();
    if (!status) std::fprintf(stderr, "%s failed: %s\n", name, qPrintable(status.error()));
    return status.ok();
  };
  if (!phase("load", imaging.LoadFile(args[2]))) return 1;
  if (!phase("effect", found->second())) return 1;
  if (!phase("save", imaging.SaveFile(args[3]))) return 1;
  return 0;
}
