#pragma once

// libgphoto2 loads its camera and port drivers as modules and unloads them
// again; what they keep for the life of the process then shows as leaks of
// unknown origin. Keeping every module mapped lets the leak checker name
// them, and the suppressions leave them to libgphoto2.

#include <dlfcn.h>

#include <QDir>
#include <QFile>

namespace lumaset::test {

inline void KeepCameraModulesLoaded() {
  static const bool kept = [] {
    for (const char* folder : {LUMASET_GPHOTO_CAMLIBS, LUMASET_GPHOTO_IOLIBS}) {
      const QDir dir(QString::fromUtf8(folder));
      for (const QString& name : dir.entryList({QStringLiteral("*.so")}, QDir::Files))
        dlopen(QFile::encodeName(dir.filePath(name)).constData(), RTLD_LAZY | RTLD_NODELETE);
    }
    return true;
  }();
  (void)kept;
}

}  // namespace lumaset::test
