#pragma once

// The largest single allocation that a piece of work makes, and the most it
// holds at once, for tests that check a decode never asks for the memory a
// hostile file claims.

#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <functional>

#if defined(__SANITIZE_ADDRESS__)
// The sanitizer runtime's own hook; its header is not always installed.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*onMalloc)(const volatile void*, std::size_t),
                                                         void (*onFree)(const volatile void*));
extern "C" std::size_t __sanitizer_get_allocated_size(const volatile void* p);
#endif

namespace lumaset::test {

inline std::atomic<std::size_t> largestAllocation{0};
// What the work holds beyond what it started with, and the most it held.
inline std::atomic<long long> heldBytes{0};
inline std::atomic<long long> mostHeldBytes{0};
inline std::atomic<bool> watchingAllocations{false};

// The largest single allocation that `work` makes, where the sanitizers let
// it be watched; elsewhere 0. mostHeldBytes is then the most it held at once.
inline std::size_t largestAllocationDuring(const std::function<void()>& work) {
#if defined(__SANITIZE_ADDRESS__)
  static const bool installed = [] {
    return __sanitizer_install_malloc_and_free_hooks(
               [](const volatile void*, std::size_t size) {
                 if (!watchingAllocations) return;
                 const long long held = heldBytes += static_cast<long long>(size);
                 long long most = mostHeldBytes;
                 while (held > most && !mostHeldBytes.compare_exchange_weak(most, held)) {
                 }
                 std::size_t seen = largestAllocation;
                 while (size > seen && !largestAllocation.compare_exchange_weak(seen, size)) {
                 }
               },
               [](const volatile void* p) {
                 if (watchingAllocations) heldBytes -= static_cast<long long>(__sanitizer_get_allocated_size(p));
               }) != 0;
  }();
  EXPECT_TRUE(installed);
#endif
  largestAllocation = 0;
  heldBytes = 0;
  mostHeldBytes = 0;
  watchingAllocations = true;
  work();
  watchingAllocations = false;
  return largestAllocation;
}

}  // namespace lumaset::test
