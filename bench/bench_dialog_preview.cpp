// How fast the effect dialogs follow a dragged slider: each dialog is opened
// (offscreen) over a 6000 x 4000 picture, and a value change that re-renders
// the preview is timed, from the bar's new value to the preview box showing
// the result. One frame at 60 Hz is 16.7 ms.
//
//   QT_QPA_PLATFORM=offscreen bench_dialog_preview [RUNS]
//
// Prints, per dialog, the time Setup takes to build the preview copy and the
// median and slowest of RUNS preview renders (default 200), then the time of
// one Apply at full size for comparison.

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPushButton>
#include <QToolButton>
#include <QScrollBar>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "components/imaging/bright_contrast.h"
#include "components/imaging/dialog_pixels.h"
#include "components/imaging/imaging.h"
#include "components/imaging/imaging_effects.h"
#include "effects/effect_dialogs.h"

namespace {

using namespace lumaset;

QImage Photo() {
  QImage image(6000, 4000, QImage::Format_RGB32);
  QPainter painter(&image);
  QLinearGradient sky(0, 0, 1800, 4000);
  sky.setColorAt(0, QColor(40, 90, 200));
  sky.setColorAt(0.6, QColor(230, 180, 120));
  sky.setColorAt(1, QColor(30, 90, 40));
  painter.fillRect(image.rect(), sky);
  return image;
}

double Ms(const QElapsedTimer& timer) { return static_cast<double>(timer.nsecsElapsed()) / 1e6; }

template <typename Dialog>
void Measure(const char* name, const QImage& photo, int runs, const std::function<void(Dialog&, int)>& change,
             const std::function<Status(Imaging&)>& apply) {
  Imaging original;
  if (!original.LoadFromPicture(photo)) return;
  Dialog dialog(original, DialogServices{});
  QElapsedTimer timer;
  timer.start();
  if (!dialog.Setup()) return;
  const double setup = Ms(timer);
  std::vector<double> times;
  for (int run = 0; run < runs; ++run) {
    timer.restart();
    change(dialog, run);
    QCoreApplication::processEvents();
    times.push_back(Ms(timer));
  }
  std::sort(times.begin(), times.end());
  timer.restart();
  (void)apply(original);
  const double full = Ms(timer);
  const QSize shown = dialog.picPreview()->size();
  std::printf("%-18s box %3dx%-3d  setup %7.1f ms  preview median %6.2f ms  max %6.2f ms  apply 24 MP %7.1f ms\n",
              name, shown.width(), shown.height(), setup, times[times.size() / 2], times.back(), full);
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
  const QImage photo = Photo();
  Measure<BrightContrastDialog>(
      "brightness", photo, runs, [](BrightContrastDialog& d, int run) { d.scrBrightness->setValue(run % 81 - 40); },
      [](Imaging& i) { return ImgBrightContrast(i, 10, 10); });
  Measure<ColorizeDialog>(
      "colorize", photo, runs, [](ColorizeDialog& d, int run) { d.scrHue->setValue(run % 256); },
      [](Imaging& i) { return ImgColorize(i, qRgb(67, 66, 43), true, true, false); });
  Measure<EmbossDialog>(
      "emboss", photo, runs, [](EmbossDialog& d, int run) { d.optDirection[static_cast<std::size_t>(run % 8)]->click(); },
      [](Imaging& i) { return ImgEmboss(i, -1, -1, qRgb(255, 128, 0), 7, 0); });
  Measure<ColorReplaceDialog>(
      "replace", photo, runs, [](ColorReplaceDialog& d, int) { d.cmdReplace->click(); },
      [](Imaging& i) { return ImgReplaceInArea(i, QRect(0, 0, 6000, 4000), qRgb(40, 90, 200), qRgb(0, 0, 0), 38); });
  Measure<ColorAdjustDialog>(
      "adjust", photo, runs, [](ColorAdjustDialog& d, int run) { d.scrRed->setValue(run % 101 - 50); },
      [](Imaging& i) { return ImgAdjustRgb(i, 10, -10, 5); });
  return 0;
}
