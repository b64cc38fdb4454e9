// Whole-command benchmark of printing: a Letter page of eight 24-megapixel
// JPEGs (6000 x 4000, quality 90, photo-like) in two columns of four,
// printed through the very Print command the program runs, either to the
// default queue of a private CUPS scheduler that this process starts (the
// capture queue of the tests) or, without a printer, to a PDF file.
//
//   bench_printing FOLDER [--generate-only] [--pdf] [--fast] [--runs N]
//
// FOLDER caches the pictures between runs. Each run is timed from the
// command to the job handed over (the queue has taken it, or the file is
// written); the peak memory of the process is printed after the first
// print and at the end. The queue needs root (the scheduler runs as lp).

#include <QApplication>
#include <QColor>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QImageWriter>
#include <QLinearGradient>
#include <QPainter>
#include <QRadialGradient>
#include <QRandomGenerator>
#include <QSaveFile>
#include <QTemporaryDir>
#include <QtConcurrent/QtConcurrentMap>

#include <sys/resource.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include "components/printer_device.h"
#include "components/settings_store.h"
#include "documents/page_printing.h"
#include "frame/settings.h"
#include "layout/page_model.h"
#include "../tests/support/private_print_scheduler.h"

#include "photo_like.h"

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
constexpr int kPictures = 8;

QString picturePath(const QString& folder, int i) { return folder + QStringLiteral("photo24-%1.jpg").arg(i); }

bool generate(const QString& folder) {
  QDir().mkpath(folder);
  QList<int> missing;
  for (int i = 0; i < kPictures; ++i) {
    if (!QFileInfo::exists(picturePath(folder, i))) missing.append(i);
  }
  const QList<bool> written = QtConcurrent::blockingMapped<QList<bool>>(missing, [&folder](int i) {
    QSaveFile file(picturePath(folder, i));
    if (!file.open(QIODevice::WriteOnly)) return false;
    QImageWriter writer(&file, "jpeg");
    writer.setQuality(90);
    return writer.write(bench::PhotoLike(kWidth, kHeight, static_cast<quint32>(i))) && file.commit();
  });
  return !written.contains(false);
}

struct Host : lumaset::PrintHost {
  QString file;
  QStringList errors;
  void PlaySound(lumaset::Sound, lumaset::Wait) override {}
  void ShowError(const QString& text) override { errors << text; }
  QString AskSaveFile(const QString&, const QString&, const QString&) override { return file; }
  void SetPageBusy(bool) override {}
  void ProcessEvents() override {}
  QString StatusText() override { return {}; }
  void SetStatusText(const QString&) override {}
  void ShowPrinterName(const QString&) override {}
  bool PortraitSelected() override { return true; }
  void optPort_Click() override {}
  void optLand_Click() override {}
  void PageRefresh() override {}
  void ToolEnable(bool, int) override {}
  bool ThumbSheet() override { return false; }
};

struct PrintAtOnce : lumaset::PrinterDialogs {
  bool Print(QPrinter&) override { return true; }
  bool Choose(lumaset::PrinterSetup&) override { return true; }
};

// Letter with half-inch strips; two columns of four, each 3.5 x 2.33 in.
void placePictures(lumaset::PageModel& page, const QString& folder) {
  lumaset::PageGeometry& g = page.geometry();
  g.previewWidth = 8500;
  g.previewHeight = 11000;
  for (int i = 0; i < kPictures; ++i) {
    const float left = (0.75f + (i % 2) * 3.75f) / 8.5f;
    const float top = (0.6f + (i / 2) * 2.5f) / 11.0f;
    page.pic(i) = lumaset::PagePic{picturePath(folder, i), static_cast<std::int16_t>(i), left, top,
                                   3.5f / 8.5f, 2.33f / 11.0f};
  }
  page.setPicLast(kPictures - 1);
  page.setPicCount(kPictures);
}

double peakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

}  // namespace

int main(int argc, char** argv) {
  QString folder;
  bool generateOnly = false, pdf = false, fast = false;
  int runs = 5;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--generate-only") == 0) generateOnly = true;
    else if (std::strcmp(argv[i], "--pdf") == 0) pdf = true;
    else if (std::strcmp(argv[i], "--fast") == 0) fast = true;
    else if (std::strcmp(argv[i], "--runs") == 0 && i + 1 < argc) runs = std::max(1, std::atoi(argv[++i]));
    else if (folder.isEmpty() && argv[i][0] != '-') folder = QDir(QString::fromLocal8Bit(argv[i])).absolutePath() + '/';
    else folder.clear(), i = argc;
  }
  if (folder.isEmpty()) {
    std::fprintf(stderr, "usage: bench_printing FOLDER [--generate-only] [--pdf] [--fast] [--runs N]\n");
    return 2;
  }
  // The print system is asked only here, never the machine's own.
  QTemporaryDir cupsRoot(QDir::tempPath() + QStringLiteral("/lumaset-bench-cups-XXXXXX"));
  QFile::setPermissions(cupsRoot.path(), QFileDevice::Permissions(0x7055));
  qputenv("CUPS_SERVER", QFile::encodeName(lumaset::test::PrivatePrintScheduler::SocketPath(cupsRoot.path())));
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (!generate(folder)) {
    std::fprintf(stderr, "cannot write the pictures into %s\n", qPrintable(folder));
    return 1;
  }
  if (generateOnly) return 0;

  lumaset::test::PrivatePrintScheduler scheduler(cupsRoot.path());
  if (!pdf) {
    if (const QString problem = scheduler.Start(); !problem.isEmpty()) {
      std::fprintf(stderr, "no private print scheduler: %s\n", qPrintable(problem));
      return 1;
    }
  }
  auto device = std::make_unique<lumaset::PrinterDevice>(pdf ? lumaset::PrinterDevice::Start::NoPrinter
                                                             : lumaset::PrinterDevice::Start::DefaultPrinter);
  device->SetDialogs(std::make_unique<PrintAtOnce>());
  lumaset::SettingsStore settings(QStringLiteral("Lumaset"), cupsRoot.filePath(QStringLiteral("settings.ini")));
  settings.writeSetting(QStringLiteral("FastPrint"), fast ? QStringLiteral("1") : QStringLiteral("0"));
  lumaset::Options options;
  lumaset::PageModel page;
  placePictures(page, folder);
  Host host;
  host.file = cupsRoot.filePath(QStringLiteral("page.pdf"));
  lumaset::PagePrinting printing(page, *device, settings, options, host);

  std::vector<qint64> times;
  double firstPeak = 0;
  for (int run = 0; run < runs; ++run) {
    QElapsedTimer clock;
    clock.start();
    printing.mnuFilePrint_Click();
    times.push_back(clock.elapsed());
    if (run == 0) firstPeak = peakMegabytes();
    if (!host.errors.isEmpty()) {
      std::fprintf(stderr, "%s\n", qPrintable(host.errors.join('\n')));
      return 1;
    }
  }
  const qint64 size = pdf ? QFileInfo(host.file).size()
                          : QFileInfo(scheduler.WaitForJob(QStringLiteral("Capture"))).size();
  std::sort(times.begin(), times.end());
  std::printf("%s, FastPrint %s: median %lld ms (best %lld, worst %lld) over %d runs; job %.1f MB; "
              "peak %.0f MB after the first print, %.0f MB\n",
              pdf ? "PDF file" : "capture queue", fast ? "on" : "off",
              static_cast<long long>(times[times.size() / 2]), static_cast<long long>(times.front()),
              static_cast<long long>(times.back()), runs, static_cast<double>(size) / 1e6, firstPeak, peakMegabytes());
  return 0;
}
