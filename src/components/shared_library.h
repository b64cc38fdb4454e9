#pragma once

// A library of the system's that only some features need (the synthesizer,
// cameras, scanners) is opened when one of them is first used instead of at
// start-up, so that starting the program loads neither it nor the many
// libraries it pulls in. Once opened it stays loaded until the process ends.
//
//   #define SYNTH_FUNCTIONS(F) F(new_synth) F(delete_synth)
//   LUMASET_LIBRARY_FUNCTIONS(Synth, "libsynth.so.3", SYNTH_FUNCTIONS);
//   ...
//   const Result<Synth>& synth = Synth::Get();
//   if (!synth) return Error{synth.error()};
//   synth->new_synth();
//
// Each function keeps the name and type its header declares.

#include <QString>
#include <QStringList>

#include "components/result.h"

namespace lumaset {

class SharedLibrary {
 public:
  // Opens the library named `soname`, or says why it cannot be.
  Status Open(const char* soname);

  // Points `function` at the library's `name`; a name the library lacks is
  // added to `missing`.
  template <typename Function>
  void Find(const char* name, Function& function, QStringList& missing) const {
    void* address = Address(name);
    if (address == nullptr) missing << QString::fromLatin1(name);
    function = reinterpret_cast<Function>(address);
  }

  // The reason given when a library lacks functions.
  Error Missing(const QStringList& names) const;

 private:
  void* Address(const char* name) const;

  void* handle_ = nullptr;
  QString name_;
};

}  // namespace lumaset

// Declares `Type`, a table of the functions that LIST names (LIST(F) applies
// F to each name), and `Type::Get()`: the table once the library `soname` is
// open and has them all, or the reason why not. The first Get() opens the
// library; it is safe from any thread.
#define LUMASET_LIBRARY_FUNCTIONS(Type, soname, LIST)                               \
  struct Type {                                                                     \
    LIST(LUMASET_LIBRARY_POINTER_)                                                  \
    static const ::lumaset::Result<Type>& Get() {                                   \
      static const ::lumaset::Result<Type> loaded = []() -> ::lumaset::Result<Type> { \
        ::lumaset::SharedLibrary library;                                           \
        if (::lumaset::Status opened = library.Open(soname); !opened)               \
          return ::lumaset::Error{opened.error()};                                  \
        Type table;                                                                 \
        QStringList missing;                                                        \
        LIST(LUMASET_LIBRARY_FIND_)                                                 \
        if (!missing.isEmpty()) return library.Missing(missing);                    \
        return table;                                                               \
      }();                                                                          \
      return loaded;                                                                \
    }                                                                               \
  }

#define LUMASET_LIBRARY_POINTER_(name) decltype(&::name) name = nullptr;
#define LUMASET_LIBRARY_FIND_(name) library.Find(#name, table.name, missing);
