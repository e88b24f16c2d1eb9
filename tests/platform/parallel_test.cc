// Splitting rows between threads: every row exactly once, errors passed on.

#include "platform/parallel.h"
#include "platform/error.h"

#include <gtest/gtest.h>

#include <atomic>
#include <vector>

namespace skarvel {
namespace {

TEST(ForEachRange, CoversEveryIndexExactlyOnceWhateverTheSplit) {
  for (const int count : {0, 1, 7, 100, 1001, 4096}) {
    for (const int minPerThread : {1, 3, 50, 5000}) {
      std::vector<std::atomic<int>> seen(static_cast<std::size_t>(count));
      std::atomic<int> ranges{0};
      ForEachRange(count, minPerThread, [&](int begin, int end) {
        EXPECT_LE(begin, end);
        ++ranges;
        for (int i = begin; i < end; ++i) ++seen[static_cast<std::size_t>(i)];
      });
      for (int i = 0; i < count; ++i) ASSERT_EQ(seen[static_cast<std::size_t>(i)], 1) << count << ", " << i;
      // Ranges are no smaller than asked unless there is only one.
      if (count > 0) {
        EXPECT_LE(ranges, std::max(1, count / minPerThread));
      }
    }
  }
}

TEST(ForEachRange, AnErrorInOneRangeReachesTheCallerAfterAllRangesEnd) {
  std::atomic<int> done{0};
  try {
    ForEachRange(1000, 1, [&](int begin, int end) {
      if (begin == 0) throw Error("range failed");
      done += end - begin;
    });
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.message(), QStringLiteral("range failed"));
  }
  if (WorkerCount() > 1) {
    EXPECT_GT(done, 0);  // the other ranges ran to their end
  }
}

}  // namespace
}  // namespace skarvel
