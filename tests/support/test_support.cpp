#include "support/test_support.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QImage>
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
