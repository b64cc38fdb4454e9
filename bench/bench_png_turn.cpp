// Turns a PNG file as Rotate Clockwise does (its stored samples, every chunk
// kept, compressed again and read back) and prints how long the turn took;
// or makes the photo-like RGBA PNG the bench turns.
//
//   bench_png_turn --make FILE WIDTH HEIGHT
//   bench_png_turn IN OUT

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>

#include <cstdio>

#include "components/file_system.h"
#include "components/imaging/quarter_turn_file.h"
#include "photo_like.h"

namespace {

int Make(const QString& path, int width, int height) {
  QImage photo = bench::PhotoLike(width, height, 1).convertToFormat(QImage::Format_ARGB32);
  for (int y = 0; y < height; ++y) {  // a soft edge of transparency, as a cut-out has
    auto* row = reinterpret_cast<QRgb*>(photo.scanLine(y));
    for (int x = 0; x < width; ++x) row[x] = (row[x] & 0xFFFFFFU) | QRgb(255 - (x * 96 / width)) << 24;
  }
  if (!photo.save(path, "png")) {
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return 1;
  }
  return 0;
}

int Turn(const QString& in, const QString& out) {
  QFile file(in);
  if (!file.open(QIODevice::ReadOnly)) {
    std::fprintf(stderr, "cannot read %s\n", qPrintable(in));
    return 1;
  }
  const QByteArray stored = file.readAll();
  QElapsedTimer clock;
  clock.start();
  const lumaset::Result<QByteArray> turned = lumaset::TurnedFileClockwise(in, stored, "png");
  const qint64 turnMs = clock.elapsed();
  if (!turned) {
    std::fprintf(stderr, "%s\n", qPrintable(turned.error()));
    return 1;
  }
  if (const lumaset::Status written = lumaset::FileSystemUtility::WriteFile(out, *turned); !written) {
    std::fprintf(stderr, "%s\n", qPrintable(written.error()));
    return 1;
  }
  std::printf("turn %lld ms, %lld bytes (the file had %lld)\n", static_cast<long long>(turnMs),
              static_cast<long long>(turned->size()), static_cast<long long>(stored.size()));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments();
  if (args.size() == 5 && args[1] == "--make") return Make(args[2], args[3].toInt(), args[4].toInt());
  if (args.size() == 3) return Turn(args[1], args[2]);
  std::fprintf(stderr, "usage: bench_png_turn --make FILE WIDTH HEIGHT | bench_png_turn IN OUT\n");
  return 2;
}
