#include "support/test_support.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QBuffer>
#include <QImage>
#include <QPainter>
#include <QUuid>

namespace lumaset::test {

QString homeFolder() { return QDir::homePath(); }

QString freshFolder(const QString& name) {
  const QString path = QDir(homeFolder()).filePath(
      QStringLiteral("work/%1-%2").arg(name, QUuid::createUuid().toString(QUuid::Id128)));
  QDir().mkpath(path);
  return path;
}

bool WritePicture(const QString& path, int width, int height, const char* format, QColor colour) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(colour);
  return image.save(path, format);
}

QImage Quarters(int width, int height) {
  QImage image(width, height, QImage::Format_RGB32);
  const int x = width / 2, y = height / 2;
  QPainter painter(&image);
  painter.fillRect(0, 0, x, y, Qt::red);
  painter.fillRect(x, 0, width - x, y, Qt::green);
  painter.fillRect(0, y, x, height - y, Qt::blue);
  painter.fillRect(x, y, width - x, height - y, Qt::white);
  return image;
}

QString CornerColours(const QImage& image) {
  const auto name = [&image](int x, int y) {
    const QRgb c = image.pixel(x, y);
    const bool r = qRed(c) > 127, g = qGreen(c) > 127, b = qBlue(c) > 127;
    return r && g && b ? QStringLiteral("W") : r ? QStringLiteral("R") : g ? QStringLiteral("G") : b ? QStringLiteral("B") : QStringLiteral("?");
  };
  const int right = image.width() - 3, bottom = image.height() - 3;
  return name(2, 2) + name(right, 2) + name(2, bottom) + name(right, bottom);
}

QByteArray ExifOrientationSegment(int orientation, bool motorola) {
  const auto u16 = [motorola](int v) {
    const char hi = char(v >> 8 & 0xFF), lo = char(v & 0xFF);
    return motorola ? QByteArray(1, hi).append(lo) : QByteArray(1, lo).append(hi);
  };
  const auto u32 = [&u16, motorola](int v) { return motorola ? u16(v >> 16) + u16(v) : u16(v) + u16(v >> 16); };
  QByteArray tiff = (motorola ? QByteArray("MM") : QByteArray("II")) + u16(42) + u32(8);
  tiff += u16(1) + u16(0x0112) + u16(3) + u32(1) + u16(orientation) + u16(0) + u32(0);
  const QByteArray body = QByteArray("Exif\0\0", 6) + tiff;
  const auto length = static_cast<int>(body.size()) + 2;  // the length counts itself, big-endian always
  return QByteArray("\xFF\xE1") + QByteArray(1, char(length >> 8)).append(char(length & 0xFF)) + body;
}

QByteArray WithSegment(const QByteArray& jpeg, const QByteArray& segment) {
  return jpeg.left(2) + segment + jpeg.mid(2);
}

bool WriteOrientedJpeg(const QString& path, const QImage& image, int orientation, bool motorola) {
  QByteArray jpeg;
  QBuffer buffer(&jpeg);
  buffer.open(QIODevice::WriteOnly);
  if (!image.save(&buffer, "jpeg", 95)) return false;
  return WriteText(path, WithSegment(jpeg, ExifOrientationSegment(orientation, motorola)));
}

bool WriteText(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray ReadBytes(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(none)");
}

bool RunUntil(const std::function<bool()>& done) {
  const QDeadlineTimer giveUp(std::chrono::minutes(2));
  while (!done()) {
    if (giveUp.hasExpired()) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 50);
  }
  return true;
}

}  // namespace lumaset::test
