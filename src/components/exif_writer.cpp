#include "components/exif_writer.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QTemporaryDir>

#include <utility>

#include "components/exif_reader.h"
#include "components/file_system.h"

namespace lumaset {

ExifWriter::ExifWriter(QString program, int timeLimitMs) : program_(std::move(program)), timeLimitMs_(timeLimitMs) {}

namespace {

// Where the compressed picture begins: the start-of-scan marker after the
// header's segments; -1 when there is none.
qsizetype ScanStart(const QByteArray& jpeg) {
  qsizetype at = 2;
  while (at + 4 <= jpeg.size() && static_cast<uchar>(jpeg[at]) == 0xFF) {
    if (static_cast<uchar>(jpeg[at + 1]) == 0xDA) return at;
    at += 2 + ((static_cast<uchar>(jpeg[at + 2]) << 8) | static_cast<uchar>(jpeg[at + 3]));
  }
  return -1;
}

}  // namespace

Result<QByteArray> ExifWriter::CopyUpright(const QString& source, const QByteArray& jpeg) const {
  const qsizetype scan = ScanStart(jpeg);
  if (!jpeg.startsWith("\xFF\xD8") || scan < 0)
    return Error{QStringLiteral("The picture to be given EXIF data is no JPEG.")};
  const QTemporaryDir scratch;
  if (!scratch.isValid())
    return Error{QStringLiteral("No scratch folder can be made for the EXIF data: %1").arg(scratch.errorString())};
  const QString copy = scratch.filePath(QStringLiteral("upright.jpg"));
  if (Status written = FileSystemUtility::WriteFile(copy, jpeg, FileSystemUtility::Name::New); !written)
    return Error{written.error()};

  // Absolute paths begin with "/", so no file name can pass for an option.
  const QString from = QFileInfo(source).absoluteFilePath();
  if (Status copied = Run({QStringLiteral("-te"), from, copy}, copy); !copied) return Error{copied.error()};
  if (Status upright = Run({QStringLiteral("-norot"), copy}, copy); !upright) return Error{upright.error()};

  // The program may report success after a write that failed part way: its
  // file must still end with the whole compressed picture.
  QFile file(copy);
  const QByteArray result = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
  if (file.error() != QFileDevice::NoError)
    return Error{QStringLiteral("The EXIF data cannot be added: %1").arg(file.errorString())};
  if (!result.startsWith("\xFF\xD8") || !result.endsWith(QByteArrayView(jpeg).sliced(scan)))
    return Error{QStringLiteral("The EXIF data cannot be added: %1 left the picture incomplete.").arg(program_)};
  return result;
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
