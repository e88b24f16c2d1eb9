#include "platform/memory.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

namespace skarvel {

void PrepareHeapForLargeJobs() {
  constexpr int kMiB = 1 << 20;
  constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
  // Blocks below 32 MiB come from the heap (not a fresh mapping each), the
  // heap grows 256 MiB beyond what is asked at a time and gives back only
  // what lies beyond 512 MiB free at its top.
  mallopt(M_MMAP_THRESHOLD, 32 * kMiB);
  mallopt(M_TOP_PAD, 256 * kMiB);
  mallopt(M_TRIM_THRESHOLD, 512 * kMiB);
  // One allocation makes the heap take its first large step; the whole huge
  // pages of what it then holds are offered for huge pages. Only addresses
  // are reserved: pages are still given when first touched.
  void* first = std::malloc(kMiB);
  if (first == nullptr) return;
  const auto start = (reinterpret_cast<std::uintptr_t>(first) + kHugePage - 1) & ~(kHugePage - 1);
  const auto end = reinterpret_cast<std::uintptr_t>(sbrk(0)) & ~(kHugePage - 1);
  if (end > start) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
  std::free(first);
}

}  // namespace skarvel
