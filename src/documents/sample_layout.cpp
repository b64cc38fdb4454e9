#include "documents/sample_layout.h"

#include <QFileInfo>
#include <QSaveFile>

#include "components/file_system.h"
#include "documents/layout_file.h"

namespace lumaset {

Status WriteSampleLayout(FileSystemUtility& files, const ProgramFolders& program,
                         const QString& layoutFolder) {
  const QString picture = program.data + QLatin1String(kSamplePictureName);
  if (!QFileInfo(picture).isFile()) return Status::success();

  if (Status copied = files.CopyFile(picture, layoutFolder + QLatin1String(kSamplePictureName));
      !copied) {
    return copied;
  }
  QSaveFile layout(layoutFolder + QLatin1String(kSampleLayoutName));
  if (!layout.open(QIODevice::WriteOnly) ||
      layout.write(SampleLayoutContent(layoutFolder)) < 0 || !layout.commit()) {
    return Error{layout.errorString()};
  }
  return Status::success();
}

}  // namespace lumaset
