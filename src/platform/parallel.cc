#include "platform/parallel.h"

#include <QRunnable>
#include <QSemaphore>
#include <QThreadPool>

#include <algorithm>
#include <deque>
#include <exception>
#include <thread>
#include <vector>

namespace skarvel {

namespace {

// Set on the pool's threads while they run a range.
thread_local bool inPoolRange = false;

// The platform layer's own pool: Qt's global pool is shared with whatever
// else the process starts on it, and its size follows the machine, not
// WorkerCount(), and it never ends: its threads are left to the end of the
// process, so that no exit waits on them or outlives Qt's own parts.
QThreadPool& RangePool() {
  static QThreadPool* const pool = [] {
    auto* made = new QThreadPool;
    made->setMaxThreadCount(std::max(WorkerCount() - 1, 1));
    made->setExpiryTimeout(-1);
    return made;
  }();
  return *pool;
}

// One call's ranges: each knows its bounds; the pool's runs report to `done`.
struct Call {
  int count;
  int parts;
  const std::function<void(int, int)>& work;
  std::vector<std::exception_ptr> errors;
  QSemaphore done{0};

  void Run(int part) {
    const int begin = static_cast<int>(static_cast<long long>(count) * part / parts);
    const int end = static_cast<int>(static_cast<long long>(count) * (part + 1) / parts);
    try {
      work(begin, end);
    } catch (...) {
      errors[static_cast<std::size_t>(part)] = std::current_exception();
    }
  }
};

// Owned by the call, not the pool (no auto-deletion): a queued one can be
// taken back, and the pool does not touch a finished one again.
class RangeTask final : public QRunnable {
 public:
  RangeTask(Call& call, int part) : call_(call), part_(part) { setAutoDelete(false); }
  void run() override {
    inPoolRange = true;
    call_.Run(part_);
    inPoolRange = false;
    call_.done.release();
  }

 private:
  Call& call_;
  int part_;
};

}  // namespace

int WorkerCount() {
  static const int count = std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, 16);
  return count;
}

void ForEachRange(int count, int minPerThread, const std::function<void(int begin, int end)>& work) {
  if (count <= 0) return;
  const int parts = inPoolRange ? 1 : std::clamp(count / std::max(minPerThread, 1), 1, WorkerCount());
  if (parts == 1) {
    work(0, count);
    return;
  }
  Call call{count, parts, work, std::vector<std::exception_ptr>(static_cast<std::size_t>(parts))};
  std::deque<RangeTask> tasks;
  for (int part = 1; part < parts; ++part) tasks.emplace_back(call, part);
  QThreadPool& pool = RangePool();
  for (RangeTask& task : tasks) pool.start(&task);
  call.Run(0);
  // The ranges still queued (the pool busy with another caller's, or out of
  // threads) are run here rather than waited for.
  int queued = 0;
  for (int part = 1; part < parts; ++part) {
    if (!pool.tryTake(&tasks[static_cast<std::size_t>(part - 1)])) continue;
    ++queued;
    call.Run(part);
  }
  call.done.acquire(parts - 1 - queued);
  for (const std::exception_ptr& error : call.errors)
    if (error) std::rethrow_exception(error);
}

}  // namespace skarvel
