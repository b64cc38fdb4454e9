// How fast the effect dialogs follow a dragged slider: each dialog is shown
// (offscreen) over a 6000 x 4000 photo-like picture, and a value change that
// re-renders the preview is timed, from the bar's new value until the events
// it queued are handled and the dialog is painted again. One frame at 60 Hz is
// 16.7 ms.
//
//   QT_QPA_PLATFORM=offscreen bench_dialog_preview [RUNS]
//
// Prints, per dialog, the time Setup takes to build the preview copy and the
// median and slowest of RUNS preview renders (default 200) with the number of
// times the preview box was painted, then the time of one Apply at full size
// for comparison.

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QScrollBar>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

#include "components/imaging/pixels/bright_contrast.h"
#include "components/imaging/pixels/dialog_pixels.h"
#include "components/imaging/imaging.h"
#include "components/imaging/pixels/imaging_effects.h"
#include "effects/effect_dialogs.h"

#include "photo_like.h"

namespace {

using namespace lumaset;

// Counts the paint events a widget receives.
class PaintCounter : public QObject {
 public:
  int paints = 0;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint) ++paints;
    return QObject::eventFilter(watched, event);
  }
};

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
  dialog.show();
  QCoreApplication::processEvents();
  PaintCounter counter;
  dialog.picPreview()->installEventFilter(&counter);
  std::vector<double> times;
  for (int run = 0; run < runs; ++run) {
    timer.restart();
    change(dialog, run);
    QCoreApplication::processEvents();  // the queued updates paint the dialog
    times.push_back(Ms(timer));
  }
  dialog.hide();
  std::sort(times.begin(), times.end());
  timer.restart();
  (void)apply(original);
  const double full = Ms(timer);
  const QSize shown = dialog.picPreview()->size();
  std::printf("%-12s box %3dx%-3d  setup %7.1f ms  preview median %6.2f ms  max %6.2f ms  painted %4d  "
              "apply 24 MP %7.1f ms\n",
              name, shown.width(), shown.height(), setup, times[times.size() / 2], times.back(), counter.paints, full);
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
  const QImage photo = bench::PhotoLike(6000, 4000, 20261207U, 60);
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
