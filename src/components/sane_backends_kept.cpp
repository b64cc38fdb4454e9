// For the sanitizer builds and the scanning tests only: SANE unloads its
// back-ends at sane_exit. What a back-end leaves allocated by then (the test
// back-end keeps its options' values, and its reader's picture buffer when
// the reader is cancelled) is then reported at exit as a leak of an unknown
// module, which no suppression can name. Linked into an executable (with its
// symbols exported), this keeps SANE's back-ends loaded until the process
// ends, so a leak report names their library; every other library is
// unloaded as usual.

#include <dlfcn.h>
#include <link.h>

#include <cstring>

extern "C" int dlclose(void* handle) {
  static const auto unload = reinterpret_cast<int (*)(void*)>(dlsym(RTLD_NEXT, "dlclose"));
  const link_map* library = nullptr;
  if (dlinfo(handle, RTLD_DI_LINKMAP, &library) == 0 && library != nullptr && library->l_name != nullptr &&
      std::strstr(library->l_name, "/sane/libsane-") != nullptr) {
    return 0;
  }
  return unload(handle);
}
