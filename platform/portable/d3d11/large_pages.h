// Memory for textures and render targets. Touching it the first time costs more than
// anything else in a short run: on 4 KB pages every page faults on its own, and texture
// reads that jump across megabytes miss the address translation cache. Blocks of 2 MB and
// more are therefore mapped on their own, 2 MB aligned, and offered huge pages where the
// system grants them on request.
#pragma once

#include "layer_only.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <new>
#include <vector>

constexpr size_t kLargePage = (size_t)2 << 20;

inline void* AllocateLargePages(size_t bytes) {
  size_t rounded = (bytes + kLargePage - 1) & ~(kLargePage - 1);
  if (rounded < bytes) throw std::bad_alloc();
  // Over-reserve by one large page, then give back what lies outside the aligned block.
  void* reserved = mmap(nullptr, rounded + kLargePage, PROT_READ | PROT_WRITE,
                        MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (reserved == MAP_FAILED) throw std::bad_alloc();
  uintptr_t start = (uintptr_t)reserved;
  uintptr_t aligned = (start + kLargePage - 1) & ~(uintptr_t)(kLargePage - 1);
  if (aligned > start) munmap(reserved, aligned - start);
  if (size_t tail = start + kLargePage - aligned) munmap((void*)(aligned + rounded), tail);
  madvise((void*)aligned, rounded, MADV_HUGEPAGE);
  return (void*)aligned;
}

inline void FreeLargePages(void* block, size_t bytes) {
  munmap(block, (bytes + kLargePage - 1) & ~(kLargePage - 1));
}

template <class T>
struct LargePageAllocator {
  using value_type = T;
  LargePageAllocator() = default;
  template <class U>
  LargePageAllocator(const LargePageAllocator<U>&) {}

  T* allocate(size_t count) {
    if (count > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
    size_t bytes = count * sizeof(T);
    if (bytes >= kLargePage) return (T*)AllocateLargePages(bytes);
    if (void* block = std::malloc(bytes ? bytes : 1)) return (T*)block;
    throw std::bad_alloc();
  }
  void deallocate(T* block, size_t count) {
    if (count * sizeof(T) >= kLargePage)
      FreeLargePages(block, count * sizeof(T));
    else
      std::free(block);
  }
  template <class U>
  bool operator==(const LargePageAllocator<U>&) const {
    return true;
  }
};

// Texels and pixels of the software device.
using TexelBytes = std::vector<uint8_t, LargePageAllocator<uint8_t>>;
