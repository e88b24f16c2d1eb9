#include "platform/parallel.h"

#include <algorithm>
#include <exception>
#include <thread>
#include <vector>

namespace skarvel {

int WorkerCount() {
  static const int count = std::clamp(static_cast<int>(std::thread::hardware_concurrency()), 1, 16);
  return count;
}

void ForEachRange(int count, int minPerThread, const std::function<void(int begin, int end)>& work) {
  if (count <= 0) return;
  const int parts = std::clamp(count / std::max(minPerThread, 1), 1, WorkerCount());
  if (parts == 1) {
    work(0, count);
    return;
  }
  std::vector<std::exception_ptr> errors(static_cast<std::size_t>(parts));
  auto run = [&](int part) {
    const int begin = static_cast<int>(static_cast<long long>(count) * part / parts);
    const int end = static_cast<int>(static_cast<long long>(count) * (part + 1) / parts);
    try {
      work(begin, end);
    } catch (...) {
      errors[static_cast<std::size_t>(part)] = std::current_exception();
    }
  };
  std::vector<std::thread> threads;
  threads.reserve(static_cast<std::size_t>(parts - 1));
  for (int part = 1; part < parts; ++part) {
    try {
      threads.emplace_back(run, part);
    } catch (const std::system_error&) {
      run(part);  // no thread to be had: do that range here
    }
  }
  run(0);
  for (std::thread& thread : threads) thread.join();
  for (const std::exception_ptr& error : errors)
    if (error) std::rethrow_exception(error);
}

}  // namespace skarvel
