#pragma once

// The benchmarks' stand-in for a camera photo: a sky-to-ground gradient, soft
// shapes in front, then sensor-like noise, so that it compresses and decodes
// like a real photo. The same seed always gives the same picture.

#include <QColor>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <QRandomGenerator>

namespace bench {

inline QColor RandomColor(QRandomGenerator& random) {
  return QColor::fromHsv(random.bounded(360), 60 + random.bounded(180), 60 + random.bounded(190));
}

inline QImage PhotoLike(int width, int height, quint32 seed, int shapes = 40) {
  QRandomGenerator random(seed * 7919U + 17U);
  QImage image(width, height, QImage::Format_RGB32);
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  QLinearGradient sky(0, 0, width * 0.3, height);
  sky.setColorAt(0, RandomColor(random));
  sky.setColorAt(0.55, RandomColor(random));
  sky.setColorAt(1, RandomColor(random));
  painter.fillRect(image.rect(), sky);
  for (int shape = 0; shape < shapes; ++shape) {
    const QPointF centre(random.bounded(width), random.bounded(height));
    const double radius = 80 + random.bounded(width / 5);
    QRadialGradient glow(centre, radius);
    glow.setColorAt(0, RandomColor(random));
    glow.setColorAt(1, RandomColor(random));
    painter.setBrush(glow);
    painter.setPen(QPen(RandomColor(random), 1 + random.bounded(12)));
    if (shape % 3 == 0) {
      painter.drawRect(QRectF(centre, QSizeF(radius * 1.6, radius)));
    } else {
      painter.drawEllipse(centre, radius, radius * (0.4 + random.bounded(1.0)));
    }
  }
  painter.end();
  for (int y = 0; y < height; ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < width; ++x) {
      const int grain = static_cast<int>(random.bounded(25U)) - 12;
      const QRgb p = line[x];
      line[x] = qRgb(qBound(0, qRed(p) + grain, 255), qBound(0, qGreen(p) + grain, 255),
                     qBound(0, qBlue(p) + grain, 255));
    }
  }
  return image;
}

}  // namespace bench
