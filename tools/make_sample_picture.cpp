// Paints the sample picture that Lumaset ships for its sample layout: a
// snow-capped volcano with a smaller flank cone under a blue sky, a lens-shaped
// cloud over the summit, a forest and a meadow in front.
//
// The picture is painted from fixed random seeds, so running the tool again
// gives the same file. Usage: make_sample_picture [output.jpg]

#include <QColor>
#include <QCoreApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QRectF>
#include <QSaveFile>
#include <QStringList>
#include <QTextStream>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

namespace lumaset {
namespace {

constexpr int kWidth = 1200;
constexpr int kHeight = 800;
constexpr int kHorizon = 585;  // where the mountain's foot meets the forest
constexpr int kJpegQuality = 90;

// Smooth one-dimensional value noise in [-1, 1], made of a few octaves, so
// ridges and the snow line look ragged without looking like static.
class RidgeNoise {
 public:
  explicit RidgeNoise(std::uint32_t seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    lattice_.resize(512);
    for (double& v : lattice_) v = value(random);
  }

  double at(double x) const {
    double sum = 0.0;
    double amplitude = 1.0;
    double scale = 1.0 / 64.0;
    double norm = 0.0;
    for (int octave = 0; octave < 5; ++octave) {
      sum += amplitude * smooth(x * scale + octave * 37.0);
      norm += amplitude;
      amplitude *= 0.5;
      scale *= 2.0;
    }
    return sum / norm;
  }

 private:
  double smooth(double x) const {
    const double floorX = std::floor(x);
    const auto index = static_cast<std::size_t>(static_cast<long long>(floorX) & 511);
    const double t = x - floorX;
    const double ease = t * t * (3.0 - 2.0 * t);
    return lattice_[index] * (1.0 - ease) + lattice_[(index + 1) & 511] * ease;
  }

  std::vector<double> lattice_;
};

QRgb mix(QColor a, QColor b, double t) {
  t = std::clamp(t, 0.0, 1.0);
  return qRgb(static_cast<int>(a.red() + (b.red() - a.red()) * t),
              static_cast<int>(a.green() + (b.green() - a.green()) * t),
              static_cast<int>(a.blue() + (b.blue() - a.blue()) * t));
}

// Height of one volcanic cone above the horizon at column x: steep near the
// summit, flattening towards the foot, as a stratovolcano's flanks do.
double coneHeight(double x, double peakX, double halfWidth, double height) {
  const double t = std::abs(x - peakX) / halfWidth;
  if (t >= 1.0) return 0.0;
  const double summitFlat = 1.0 - 0.04 * std::exp(-t * t * 400.0);  // a shallow crater rim
  return height * std::pow(1.0 - t, 1.7) * summitFlat;
}

void paintSky(QImage& image) {
  const QColor zenith(38, 92, 168);
  const QColor horizon(196, 222, 240);
  for (int y = 0; y < kHeight; ++y) {
    const QRgb colour = mix(zenith, horizon, std::pow(y / double(kHorizon), 1.4));
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    std::fill(line, line + kWidth, colour);
  }
}

// A cone's summit; positions on its flanks are measured from here, so snow
// gullies and rock ribs run down the slopes as they do on a real volcano.
struct Summit {
  double x;
  double y;
  double snowReach;  // how far below the summit the snow lies, in pixels
};

struct Mountain {
  std::vector<double> top;  // y of the mountain's outline per column
  Summit main;
  Summit flank;
};

Mountain shapeMountain() {
  const RidgeNoise ridge(7);
  Mountain m;
  m.top.resize(kWidth);
  for (int x = 0; x < kWidth; ++x) {
    const double main = coneHeight(x, 660, 560, 440);
    const double flank = coneHeight(x, 470, 230, 300);  // the smaller western cone
    const double foothills = 40.0 + 18.0 * ridge.at(x * 0.5);
    const double height = std::max({main, flank, foothills}) + 6.0 * ridge.at(x * 3.0);
    m.top[x] = kHorizon - height;
  }
  m.main = {660, m.top[660], 250};
  m.flank = {470, m.top[470], 140};
  return m;
}

// Direction of a point seen from a summit: 0 straight down, negative to the
// west, positive to the east.
double flankAngle(const Summit& s, int x, int y) {
  return std::atan2(x - s.x, std::max(1.0, y - s.y));
}

bool underSnow(const Summit& s, int x, int y, const RidgeNoise& gullies) {
  const double angle = flankAngle(s, x, y);
  const double distance = std::hypot(x - s.x, y - s.y);
  const double streak = std::pow(std::max(0.0, gullies.at(angle * 900.0)), 1.5) * 0.9;
  const double ragged = 0.15 * gullies.at(angle * 200.0 + 300.0);
  return distance < s.snowReach * (1.0 + streak + ragged);
}

// Rock and snow are shaded by which way the flank faces: the sun stands high
// in the west, so the eastern slopes lie in shadow.
QRgb mountainPixel(int x, int y, const Mountain& m, const RidgeNoise& gullies) {
  const double angle = flankAngle(m.main, x, y);
  const double ribs = 0.10 * gullies.at(angle * 1400.0 + 800.0);
  const double light = std::clamp(0.62 - 0.6 * std::sin(angle) + ribs, 0.0, 1.0);
  const double haze = std::clamp((y - m.top[x]) / 520.0, 0.0, 1.0) * 0.35;
  const QColor hazeColour(150, 170, 195);
  if (underSnow(m.main, x, y, gullies) || underSnow(m.flank, x, y, gullies)) {
    const QColor snow = QColor::fromRgb(mix(QColor(150, 165, 200), QColor(250, 251, 255), light));
    return mix(snow, hazeColour, haze * 0.5);
  }
  const QColor rock = QColor::fromRgb(mix(QColor(58, 56, 72), QColor(128, 112, 104), light));
  return mix(rock, hazeColour, haze);
}

void paintMountain(QImage& image, const Mountain& m) {
  const RidgeNoise gullies(23);
  for (int y = 0; y < kHorizon + 40; ++y) {
    auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
    for (int x = 0; x < kWidth; ++x) {
      if (y >= m.top[x]) line[x] = mountainPixel(x, y, m, gullies);
    }
  }
}

void paintCloud(QPainter& painter, QPointF centre, double width, double height, int alpha) {
  QRadialGradient glow(centre, width / 2.0);
  glow.setColorAt(0.0, QColor(255, 255, 255, alpha));
  glow.setColorAt(0.7, QColor(245, 248, 252, alpha / 2));
  glow.setColorAt(1.0, QColor(255, 255, 255, 0));
  painter.save();
  painter.translate(centre);
  painter.scale(1.0, height / width);
  painter.translate(-centre);
  painter.setPen(Qt::NoPen);
  painter.setBrush(glow);
  painter.drawEllipse(centre, width / 2.0, width / 2.0);
  painter.restore();
}

void paintClouds(QPainter& painter) {
  // A stack of lens-shaped clouds over the summit, and a few drifting puffs.
  for (int layer = 0; layer < 3; ++layer)
    paintCloud(painter, QPointF(690 + layer * 12, 92 - layer * 16), 300 - layer * 60, 34, 150);
  paintCloud(painter, QPointF(170, 120), 260, 70, 120);
  paintCloud(painter, QPointF(250, 150), 200, 50, 100);
  paintCloud(painter, QPointF(1060, 200), 240, 60, 110);
}

void paintTree(QPainter& painter, double x, double base, double height, QColor colour) {
  const double half = height * 0.22;
  QPainterPath tree;
  tree.moveTo(x, base - height);
  tree.lineTo(x + half, base);
  tree.lineTo(x - half, base);
  tree.closeSubpath();
  painter.fillPath(tree, colour);
}

void paintForest(QPainter& painter) {
  painter.fillRect(QRectF(0, kHorizon + 20, kWidth, kHeight - kHorizon - 20), QColor(16, 38, 24));
  std::mt19937 random(42);
  std::uniform_real_distribution<double> jitter(0.0, 1.0);
  // Back rows are paler and bluer, as distant trees look through the air.
  const QColor rows[] = {QColor(70, 98, 92), QColor(44, 74, 58), QColor(28, 56, 38), QColor(18, 42, 26)};
  for (int row = 0; row < 4; ++row) {
    const double base = kHorizon + 22 + row * 28;
    for (double x = -20; x < kWidth + 20; x += 9 + jitter(random) * 10) {
      const double height = 36 + row * 14 + jitter(random) * (24 + row * 10);
      paintTree(painter, x, base + jitter(random) * 10, height, rows[row]);
    }
  }
}

void paintMeadow(QPainter& painter) {
  QLinearGradient grass(0, 690, 0, kHeight);
  grass.setColorAt(0.0, QColor(96, 124, 52));
  grass.setColorAt(1.0, QColor(150, 156, 70));
  QPainterPath meadow;
  meadow.moveTo(0, 700);
  meadow.cubicTo(300, 676, 800, 716, kWidth, 688);
  meadow.lineTo(kWidth, kHeight);
  meadow.lineTo(0, kHeight);
  meadow.closeSubpath();
  painter.fillPath(meadow, grass);
  std::mt19937 random(5);
  std::uniform_real_distribution<double> spot(0.0, 1.0);
  painter.setPen(Qt::NoPen);
  for (int i = 0; i < 900; ++i) {  // tufts and flowers give the grass some texture
    const double x = spot(random) * kWidth;
    const double y = 708 + spot(random) * (kHeight - 708);
    const bool flower = spot(random) < 0.08;
    painter.setBrush(flower ? QColor(232, 208, 80) : QColor(70, 100, 40, 160));
    painter.drawEllipse(QPointF(x, y), flower ? 1.6 : 2.5, flower ? 1.6 : 1.2);
  }
}

QImage paintSample() {
  QImage image(kWidth, kHeight, QImage::Format_RGB32);
  paintSky(image);
  {
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    paintClouds(painter);
  }
  paintMountain(image, shapeMountain());
  QPainter painter(&image);
  painter.setRenderHint(QPainter::Antialiasing);
  paintForest(painter);
  paintMeadow(painter);
  return image;
}

bool writeJpeg(const QImage& image, const QString& path, QString* error) {
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) {
    *error = file.errorString();
    return false;
  }
  if (!image.save(&file, "JPEG", kJpegQuality)) {
    file.cancelWriting();
    *error = QStringLiteral("the JPEG writer failed");
    return false;
  }
  if (!file.commit()) {
    *error = file.errorString();
    return false;
  }
  return true;
}

}  // namespace
}  // namespace lumaset

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);  // the JPEG writer is a plug-in found through the application
  const QStringList args = QCoreApplication::arguments();
  const QString output = args.size() > 1 ? args.at(1) : QStringLiteral("Sample.jpg");
  QString error;
  if (!lumaset::writeJpeg(lumaset::paintSample(), output, &error)) {
    QTextStream(stderr) << "Cannot write " << output << ": " << error << '\n';
    return 1;
  }
  return 0;
}
