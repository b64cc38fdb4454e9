// Draws the program's icon (icons/lumaset.svg) as the pictures the program
// carries: icons/lumaset-N.png for each side N it offers its windows. The
// pictures spare every start the SVG engine and the drawing.
//
// Usage: make_program_icons <icons folder>

#include <QBuffer>
#include <QGuiApplication>
#include <QIcon>
#include <QImage>
#include <QImageWriter>
#include <QTextStream>

#include <string_view>

#include "tool_files.h"

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  if (argc != 2) {
    QTextStream(stderr) << "usage: make_program_icons <icons folder>\n";
    return 2;
  }
  const QString folder = QString::fromLocal8Bit(argv[1]) + QLatin1Char('/');
  const QIcon icon(folder + QStringLiteral("lumaset.svg"));
  for (const int side : {16, 24, 32, 48, 64, 128}) {
    const QImage picture = icon.pixmap(side, side).toImage().convertToFormat(QImage::Format_ARGB32);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "png");
    const QString name = folder + QStringLiteral("lumaset-%1.png").arg(side);
    if (picture.size() != QSize(side, side) || !writer.write(picture) ||
        !lumaset::WriteFileWhole(name.toStdString(), std::string_view(bytes.constData(), bytes.size()))) {
      QTextStream(stderr) << "Cannot draw " << name << " (is the SVG icon engine installed?)\n";
      return 1;
    }
  }
  return 0;
}
