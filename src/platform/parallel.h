#pragma once
// Splitting the rows of a picture between the processor's cores.
//
// The bitmap operations compute every result row from the source alone, so
// rows can be computed in any order and on any thread with the same bytes as
// a result. The call returns only when every row is done: a window's handler
// still runs to its end before the next event.

#include <functional>

namespace skarvel {

// Calls work(begin, end) on consecutive ranges that together cover [0, count),
// one range per thread, up to one thread per core; the calling thread takes
// the first range. A count below 2 * minPerThread is not split. An exception
// thrown by a range is rethrown once all ranges have finished.
void ForEachRange(int count, int minPerThread, const std::function<void(int begin, int end)>& work);

// The least number of rows of `width` pixels worth a thread of their own:
// about a quarter of a megapixel, so that small pictures stay on one thread.
inline int MinRowsPerThread(int width) {
  const int pixels = 1 << 18;
  return width >= pixels ? 1 : pixels / (width > 0 ? width : 1);
}

// The number of threads ForEachRange uses at most.
int WorkerCount();

}  // namespace skarvel
