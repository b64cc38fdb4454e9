#include "documents/sample_layout.h"

#include <QFileInfo>

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
  return files.WriteFile(layoutFolder + QLatin1String(kSampleLayoutName), SampleLayoutContent(layoutFolder));
}

}  // namespace lumaset
