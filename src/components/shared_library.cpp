#include "components/shared_library.h"

#include <dlfcn.h>

namespace lumaset {

Status SharedLibrary::Open(const char* soname) {
  name_ = QString::fromLocal8Bit(soname);
  // Never closed: the library's threads and callbacks may outlive any one use.
  handle_ = dlopen(soname, RTLD_NOW | RTLD_LOCAL);
  if (handle_ != nullptr) return Status::success();
  const char* reason = dlerror();
  return Error{QStringLiteral("The library %1 cannot be loaded: %2")
                   .arg(name_, reason != nullptr ? QString::fromLocal8Bit(reason) : QStringLiteral("not found"))};
}

void* SharedLibrary::Address(const char* name) const { return handle_ != nullptr ? dlsym(handle_, name) : nullptr; }

Error SharedLibrary::Missing(const QStringList& names) const {
  return Error{QStringLiteral("The library %1 lacks %2.").arg(name_, names.join(QStringLiteral(", ")))};
}

}  // namespace lumaset
