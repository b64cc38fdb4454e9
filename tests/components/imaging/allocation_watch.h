#pragma once

// The largest single allocation that a piece of work makes, for tests that
// check a decode never asks for the memory a hostile header claims.

#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <functional>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime's own hook; its header is not always installed.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*onMalloc)(const volatile void*, std::size_t),
                                                         void (*onFree)(const volatile void*));
#endif

namespace lumaset::test {

inline std::atomic<std::size_t> largestAllocation{0};
inline std::atomic<bool> watchingAllocations{false};

// The largest single allocation that `work` makes, where the sanitizers let
// it be watched; elsewhere 0.
inline std::size_t largestAllocationDuring(const std::function<void()>& work) {
#if defined(__SANITIZE_ADDRESS__)
  static const bool installed = [] {
    return __sanitizer_install_malloc_and_free_hooks(
               [](const volatile void*, std::size_t size) {
                 if (!watchingAllocations) return;
                 std::size_t seen = largestAllocation;
                 while (size > seen && !largestAllocation.compare_exchange_weak(seen, size)) {
                 }
               },
               [](const volatile void*) {}) != 0;
  }();
  EXPECT_TRUE(installed);
#endif
  largestAllocation = 0;
  watchingAllocations = true;
  work();
  watchingAllocations = false;
  return largestAllocation;
}

}  // namespace lumaset::test
