// Turns a picture file as Rotate Clockwise does (a JPEG block by block, any
// other format as it stores its samples, read back before it is written) and
// prints how long the turn took; or makes the photo-like PNG from which the
// bench makes its files of every format.
//
//   bench_turn --make FILE WIDTH HEIGHT DEPTH   (DEPTH 8 or 16 bits a sample, RGBA)
//   bench_turn IN OUT

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRandomGenerator>

#include <cstdio>

#include "components/file_system.h"
#include "components/imaging/quarter_turn_file.h"
#include "photo_like.h"

namespace {

// A photo with a soft edge of transparency, as a cut-out has; at 16 bits its
// low bytes are grain, as a raw converter's are.
int Make(const QString& path, int width, int height, int depth) {
  const QImage photo = bench::PhotoLike(width, height, 1);
  QImage out(width, height, depth == 16 ? QImage::Format_RGBA64 : QImage::Format_ARGB32);
  QRandomGenerator grain(7);
  for (int y = 0; y < height; ++y) {
    const auto* from = reinterpret_cast<const QRgb*>(photo.constScanLine(y));
    for (int x = 0; x < width; ++x) {
      const int alpha = 255 - x * 96 / width;
      if (depth == 16) {
        const auto wide = [&](int v) { return static_cast<quint16>(v << 8 | grain.bounded(256)); };
        reinterpret_cast<QRgba64*>(out.scanLine(y))[x] =
            QRgba64::fromRgba64(wide(qRed(from[x])), wide(qGreen(from[x])), wide(qBlue(from[x])), wide(alpha));
      } else {
        reinterpret_cast<QRgb*>(out.scanLine(y))[x] = (from[x] & 0xFFFFFFU) | QRgb(alpha) << 24;
      }
    }
  }
  if (!out.save(path, "png")) {
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
  QByteArray format = QFileInfo(in).suffix().toLower().toLatin1();
  if (format == "tif") format = "tiff";
  if (format == "jpg") format = "jpeg";
  QElapsedTimer clock;
  clock.start();
  const lumaset::Result<QByteArray> turned = lumaset::TurnedFileClockwise(in, stored, format);
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
  if (args.size() == 6 && args[1] == "--make") return Make(args[2], args[3].toInt(), args[4].toInt(), args[5].toInt());
  if (args.size() == 3) return Turn(args[1], args[2]);
  std::fprintf(stderr, "usage: bench_turn --make FILE WIDTH HEIGHT DEPTH | bench_turn IN OUT\n");
  return 2;
}
