#pragma once

#include <QString>

#include "components/result.h"
#include "frame/working_folders.h"

namespace lumaset {

class FileSystemUtility;

// Copies the shipped "Sample.jpg" into the layouts folder and writes the
// sample layout beside it. Does nothing when no sample picture ships.
Status WriteSampleLayout(FileSystemUtility& files, const ProgramFolders& program,
                         const QString& layoutFolder);

}  // namespace lumaset
