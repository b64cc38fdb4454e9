#include "thumb_test_pictures.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QImage>

namespace lumaset::test {

void WritePicture(const QString& path, int width, int height, const char* format) {
  QImage image(width, height, QImage::Format_RGB32);
  image.fill(QColor(40, 120, 200));
  image.save(path, format);
}

void WriteText(const QString& path, const QByteArray& text) {
  QFile file(path);
  if (file.open(QIODevice::WriteOnly)) file.write(text);
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
