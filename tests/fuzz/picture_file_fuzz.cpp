// Picture files under libFuzzer: whatever the bytes, measuring and decoding
// end with a picture or an error, and a decoded picture has the size that
// measuring gave (or is refused); a quarter turn of any format ends with a
// file of that format or an error.

#include <QByteArray>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "components/imaging/imaging.h"
#include "components/imaging/quarter_turn_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static int argc = 1;
  static char name[] = "picture_file_fuzz";
  static char* argv[] = {name, nullptr};
  static const bool offscreen = qputenv("QT_QPA_PLATFORM", "offscreen");
  static QGuiApplication app(argc, argv);
  static QTemporaryDir folder;
  (void)offscreen;
  const QString path = folder.filePath(QStringLiteral("picture"));
  QFile file(path);
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) std::abort();
  file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
  file.close();

  const auto facts = lumaset::Imaging::FileInfo(path);
  const auto small = lumaset::Imaging::readScaled(path, 128);
  if (small && small->isNull()) std::abort();
  if (small && facts && std::max(small->width(), small->height()) > 128) std::abort();
  // Turns of pictures the program can hold are what a user may ask for;
  // bigger ones only cost the fuzzer time (their memory is tested apart).
  if (facts && qint64{facts->width} * facts->height <= 4'000'000) {
    const auto turned = lumaset::TurnFileClockwise(path, "jpeg");
    const QByteArray kind(reinterpret_cast<const char*>(data), static_cast<qsizetype>(std::min<std::size_t>(size, 2)));
    if (turned && !turned->bytes.startsWith(kind)) std::abort();
  }
  return 0;
}
