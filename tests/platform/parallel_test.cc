// Splitting rows between threads: every row exactly once, errors passed on,
// calls from inside a range and from several threads at once.

#include "platform/parallel.h"
#include "platform/error.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace skarvel {
namespace {

// Runs `body` on a thread of its own; false when it has not ended within a
// minute (a call waiting for ever), the thread then left behind.
bool EndsInTime(const std::function<void()>& body) {
  auto done = std::make_shared<std::promise<void>>();
  std::future<void> ended = done->get_future();
  std::thread([body, done] {
    body();
    done->set_value();
  }).detach();
  return ended.wait_for(std::chrono::minutes(1)) == std::future_status::ready;
}

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

TEST(ForEachRange, TheCallerTakesTheFirstRangeAndNoCallStartsThreads) {
  std::mutex lock;
  std::set<std::thread::id> threads;
  const std::thread::id caller = std::this_thread::get_id();
  for (int call = 0; call < 200; ++call) {
    ForEachRange(64, 1, [&](int begin, int) {
      const std::lock_guard guard(lock);
      if (begin == 0) EXPECT_EQ(std::this_thread::get_id(), caller);
      threads.insert(std::this_thread::get_id());
    });
  }
  // The caller and the standing pool's threads, whatever the number of calls.
  EXPECT_LE(threads.size(), static_cast<std::size_t>(WorkerCount()));
}

TEST(ForEachRange, AnErrorReachesTheCallerAfterAllRangesEnd) {
  if (WorkerCount() < 2) GTEST_SKIP() << "one core: one range";
  struct Case {
    std::set<int> failing;  // by range start
    const char* expected;
  };
  const Case cases[] = {
      {{0}, "range 0"},
      {{500}, "range 500"},  // a pool thread's range with two ranges
      {{0, 500}, "range 0"},
  };
  for (const Case& c : cases) {
    std::atomic<int> done{0};
    try {
      ForEachRange(1000, 500, [&](int begin, int end) {
        if (c.failing.count(begin) != 0) throw Error(QStringLiteral("range %1").arg(begin));
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        done += end - begin;
      });
      ADD_FAILURE() << "no error";
    } catch (const Error& e) {
      EXPECT_EQ(e.message(), QString::fromLatin1(c.expected));
    }
    // Every range that did not fail had run to its end.
    EXPECT_EQ(done, 500 * (2 - static_cast<int>(c.failing.size()))) << c.expected;
  }
}

TEST(ForEachRange, CallsFromInsideARangeEndAndCoverEveryIndex) {
  // Inner calls from the caller's range and from the pool's, outer ranges
  // that outnumber the threads, inner ones that would split.
  for (const int outer : {2, 16, 64}) {
    const int inner = 1000;
    std::vector<std::atomic<int>> seen(static_cast<std::size_t>(outer * inner));
    ASSERT_TRUE(EndsInTime([&] {
      ForEachRange(outer, 1, [&](int begin, int end) {
        for (int o = begin; o < end; ++o)
          ForEachRange(inner, 1, [&](int first, int last) {
            for (int i = first; i < last; ++i) ++seen[static_cast<std::size_t>(o * inner + i)];
          });
      });
    })) << outer;
    for (std::size_t i = 0; i < seen.size(); ++i) ASSERT_EQ(seen[i], 1) << outer << ", " << i;
  }
}

TEST(ForEachRange, CallersOnSeveralThreadsShareThePool) {
  constexpr int kCallers = 4, kCount = 5000;
  std::vector<std::vector<std::atomic<int>>> seen(kCallers);
  for (auto& s : seen) s = std::vector<std::atomic<int>>(kCount);
  ASSERT_TRUE(EndsInTime([&] {
    std::vector<std::thread> callers;
    for (int c = 0; c < kCallers; ++c)
      callers.emplace_back([&, c] {
        for (int call = 0; call < 20; ++call)
          ForEachRange(kCount, 1, [&](int begin, int end) {
            for (int i = begin; i < end; ++i)
              ++seen[static_cast<std::size_t>(c)][static_cast<std::size_t>(i)];
          });
      });
    for (std::thread& t : callers) t.join();
  }));
  for (const auto& s : seen)
    for (const std::atomic<int>& n : s) ASSERT_EQ(n, 20);
}

}  // namespace
}  // namespace skarvel
