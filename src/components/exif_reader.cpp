#include "components/exif_reader.h"

#include <QEventLoop>
#include <QFileInfo>
#include <QProcess>
#include <QTimer>

#include <algorithm>
#include <array>
#include <utility>

namespace lumaset {

namespace {

// What jhead prints only when it found EXIF data in the file; the rest of its
// lines (file name, size and date, resolution, quality, comment, colour and
// JPEG process) come from the file and its JPEG markers.
constexpr std::array<QStringView, 22> kExifLabels = {
    u"Camera make",  u"Camera model",  u"Date/Time",     u"Orientation",   u"Flash used",
    u"Focal length", u"Digital Zoom",  u"CCD width",     u"Exposure time", u"Aperture",
    u"Focus dist.",  u"ISO equiv.",    u"Exposure bias", u"Whitebalance",  u"Light Source",
    u"Metering Mode", u"Exposure",     u"Exposure Mode", u"Focus range",   u"GPS Latitude",
    u"GPS Longitude", u"GPS Altitude",
};

QString Seconds(int milliseconds) {
  return QString::number(static_cast<double>(milliseconds) / 1000.0, 'g', 3);
}

}  // namespace

// The wait runs the event loop, so that the windows keep painting while the
// program works; what the user types or clicks waits until it has ended.
Result<ProgramOutput> RunProgram(const QString& program, const QStringList& arguments, int timeLimitMs) {
  QProcess process;
  process.setProgram(program);
  process.setArguments(arguments);
  process.setStandardInputFile(QProcess::nullDevice());
  QEventLoop loop;
  QTimer limit;
  limit.setSingleShot(true);
  QObject::connect(&limit, &QTimer::timeout, &loop, &QEventLoop::quit);
  QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
  QObject::connect(&process, &QProcess::errorOccurred, &loop, [&loop](QProcess::ProcessError error) {
    if (error == QProcess::FailedToStart) loop.quit();
  });
  limit.start(std::max(timeLimitMs, 0));
  process.start();
  if (process.state() != QProcess::NotRunning) loop.exec(QEventLoop::ExcludeUserInputEvents);
  if (process.error() == QProcess::FailedToStart) {
    return Error{QStringLiteral("The program \"%1\" could not be started: %2").arg(program, process.errorString())};
  }
  if (process.state() != QProcess::NotRunning) {
    process.kill();
    process.waitForFinished(1000);
    return Error{QStringLiteral("The program \"%1\" did not finish within %2 seconds and was stopped.")
                     .arg(program, Seconds(timeLimitMs))};
  }
  if (process.exitStatus() == QProcess::CrashExit) {
    return Error{QStringLiteral("The program \"%1\" ended abnormally.").arg(program)};
  }
  return ProgramOutput{process.exitCode(), process.readAllStandardOutput(), process.readAllStandardError()};
}

bool IsExifLabel(QStringView label) {
  return std::find(kExifLabels.begin(), kExifLabels.end(), label) != kExifLabels.end();
}

bool ExifReport::hasExif() const {
  return std::any_of(fields.begin(), fields.end(), [](const ExifField& field) { return IsExifLabel(field.label); });
}

ExifReport ParseJheadReport(const QByteArray& output) {
  ExifReport report;
  QString text = QString::fromLocal8Bit(output);
  text.remove(QLatin1Char('\r'));
  // The text after the last line break is a line only when it holds something.
  if (text.endsWith(QLatin1Char('\n'))) text.chop(1);
  if (text.isEmpty()) return report;
  report.lines = text.split(QLatin1Char('\n'));
  for (const QString& line : std::as_const(report.lines)) {
    const qsizetype colon = line.indexOf(QLatin1Char(':'));
    if (colon <= 0) continue;
    const QString label = line.left(colon).trimmed();
    if (label.isEmpty()) continue;
    report.fields.push_back({label, line.mid(colon + 1).trimmed()});
  }
  return report;
}

ExifReader::ExifReader(QString program, int timeLimitMs) : program_(std::move(program)), timeLimitMs_(timeLimitMs) {}

Result<ExifReport> ExifReader::Read(const QString& path) const {
  // An absolute path begins with "/", so no file name can pass for an option.
  const QString absolute = QFileInfo(path).absoluteFilePath();
  const auto run = RunProgram(program_, {absolute}, timeLimitMs_);
  if (!run) return Error{run.error()};
  if (run->exitCode != 0) {
    QString cause = QString::fromLocal8Bit(run->standardError).trimmed();
    if (cause.isEmpty()) cause = QString::fromLocal8Bit(run->standardOutput).trimmed();
    return Error{QStringLiteral("The EXIF data of \"%1\" could not be read: %2").arg(absolute, cause)};
  }
  ExifReport report = ParseJheadReport(run->standardOutput);
  // jhead's first line names the file as it was given: the name is enough.
  if (!report.lines.isEmpty()) report.lines.first().replace(absolute, QFileInfo(absolute).fileName());
  return report;
}

}  // namespace lumaset
