#include "platform/memory.h"

#include <QFile>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace skarvel {
namespace {

// The heap's pages are offered for huge pages where the system has them, and
// allocation goes on as before.
TEST(Heap, PreparedHeapIsOfferedForHugePagesAndStillServes) {
  QFile setting(QStringLiteral("/sys/kernel/mm/transparent_hugepage/enabled"));
  if (!setting.open(QIODevice::ReadOnly) || setting.readAll().contains("[never]"))
    GTEST_SKIP() << "no transparent huge pages on this system";
  PrepareHeapForLargeJobs();

  // Blocks of every size up to the new mapping threshold, written through.
  std::vector<void*> blocks;
  for (size_t size = 16; size <= (size_t{16} << 20); size *= 4) {
    void* block = std::malloc(size);
    ASSERT_NE(block, nullptr) << size;
    std::memset(block, 0x5A, size);
    blocks.push_back(block);
  }
  for (void* block : blocks) std::free(block);

  QFile maps(QStringLiteral("/proc/self/smaps"));
  ASSERT_TRUE(maps.open(QIODevice::ReadOnly));
  bool inHeap = false, offered = false;
  for (const QByteArray& line : maps.readAll().split('\n')) {
    // A mapping's first line starts with its range in lower-case hex; its
    // fields (upper-case names) follow, VmFlags among them.
    if (!line.isEmpty() && ((line[0] >= '0' && line[0] <= '9') || (line[0] >= 'a' && line[0] <= 'f')))
      inHeap = line.endsWith("[heap]");
    else if (inHeap && line.startsWith("VmFlags:") && line.contains(" hg"))
      offered = true;
  }
  EXPECT_TRUE(offered) << "no part of the heap is marked for huge pages";
}

}  // namespace
}  // namespace skarvel
