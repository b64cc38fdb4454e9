#include "components/shared_library.h"

#include <gtest/gtest.h>

#include <zlib.h>

#include <cstring>

namespace lumaset {
namespace {

#define ZLIB_FUNCTIONS(F) F(zlibVersion) F(crc32)
LUMASET_LIBRARY_FUNCTIONS(Zlib, "libz.so.1", ZLIB_FUNCTIONS);
LUMASET_LIBRARY_FUNCTIONS(NotThere, "libno-such-library-anywhere.so.7", ZLIB_FUNCTIONS);
LUMASET_LIBRARY_FUNCTIONS(WrongLibrary, "libm.so.6", ZLIB_FUNCTIONS);

// A feature's library is opened when it is first asked for, and every
// function of its table then calls into it.
TEST(SharedLibrary, ATableReachesTheLibrarysFunctionsOnceOpened) {
  const Result<Zlib>& zlib = Zlib::Get();
  ASSERT_TRUE(zlib.ok()) << zlib.error().toStdString();
  EXPECT_STREQ(zlib->zlibVersion(), zlibVersion());
  const unsigned char bytes[] = "Lumaset";
  EXPECT_EQ(zlib->crc32(0, bytes, 7), crc32(0, bytes, 7));
  EXPECT_EQ(&Zlib::Get(), &zlib) << "opened once";
}

// Without the library, or with one that lacks a function, the feature says
// why instead of the program failing to start or crashing at the call.
TEST(SharedLibrary, AMissingLibraryOrFunctionIsNamed) {
  const Result<NotThere>& missing = NotThere::Get();
  ASSERT_FALSE(missing.ok());
  EXPECT_TRUE(missing.error().startsWith("The library libno-such-library-anywhere.so.7 cannot be loaded: "))
      << missing.error().toStdString();

  const Result<WrongLibrary>& wrong = WrongLibrary::Get();
  ASSERT_FALSE(wrong.ok());
  EXPECT_EQ(wrong.error(), "The library libm.so.6 lacks zlibVersion, crc32.");
}

}  // namespace
}  // namespace lumaset
