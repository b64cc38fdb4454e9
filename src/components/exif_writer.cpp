#include "components/exif_writer.h"

#include <QFileInfo>
#include <QStringList>

#include <utility>

#include "components/exif_reader.h"

namespace lumaset {

ExifWriter::ExifWriter(QString program, int timeLimitMs) : program_(std::move(program)), timeLimitMs_(timeLimitMs) {}

Status ExifWriter::CopyUpright(const QString& source, const QString& target) const {
  // Absolute paths begin with "/", so no file name can pass for an option.
  const QString from = QFileInfo(source).absoluteFilePath();
  const QString to = QFileInfo(target).absoluteFilePath();
  if (Status copied = Run({QStringLiteral("-te"), from, to}, to); !copied) return copied;
  return Run({QStringLiteral("-norot"), to}, to);
}

Status ExifWriter::Run(const QStringList& arguments, const QString& target) const {
  const auto run = RunProgram(program_, arguments, timeLimitMs_);
  if (!run) return Error{run.error()};
  if (run->exitCode == 0) return Status::success();
  QString cause = QString::fromLocal8Bit(run->standardError).trimmed();
  if (cause.isEmpty()) cause = QString::fromLocal8Bit(run->standardOutput).trimmed();
  return Error{QStringLiteral("The EXIF data cannot be written to \"%1\": %2").arg(target, cause)};
}

}  // namespace lumaset
