#include "documents/sample_layout.h"

#include <QFile>
#include <QFileInfo>

#include <optional>

#include "components/file_system.h"
#include "documents/layout_file.h"

namespace lumaset {

namespace {

// Far more than the shipped picture; a larger file is simply copied again.
constexpr qint64 kLargestCompared = 16 * 1024 * 1024;

// The file's bytes when it holds exactly `size` of them (more than none).
std::optional<QByteArray> ReadSized(const QString& path, qint64 size) {
  QFile file(path);
  if (size <= 0 || file.size() != size || !file.open(QIODevice::ReadOnly)) return std::nullopt;
  QByteArray bytes = file.read(size);
  return bytes.size() == size ? std::optional(bytes) : std::nullopt;
}

// Whether `path` already holds exactly `bytes`. A start whose sample is
// already in place leaves it as it is, sparing the write and its flush to
// the disk.
bool Holds(const QString& path, const QByteArray& bytes) { return ReadSized(path, bytes.size()) == bytes; }

bool SameFile(const QString& source, const QString& copy) {
  const qint64 size = QFileInfo(source).size();
  if (size > kLargestCompared || QFileInfo(copy).size() != size) return false;
  const std::optional<QByteArray> bytes = ReadSized(source, size);
  return bytes && Holds(copy, *bytes);
}

}  // namespace

Status WriteSampleLayout(FileSystemUtility& files, const ProgramFolders& program,
                         const QString& layoutFolder) {
  const QString picture = program.data + QLatin1String(kSamplePictureName);
  if (!QFileInfo(picture).isFile()) return Status::success();

  const QString copy = layoutFolder + QLatin1String(kSamplePictureName);
  if (!SameFile(picture, copy)) {
    if (Status copied = files.CopyFile(picture, copy); !copied) return copied;
  }
  const QString layout = layoutFolder + QLatin1String(kSampleLayoutName);
  const QByteArray content = SampleLayoutContent(layoutFolder);
  return Holds(layout, content) ? Status::success() : files.WriteFile(layout, content);
}

}  // namespace lumaset
