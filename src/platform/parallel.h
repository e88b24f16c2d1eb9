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
// up to WorkerCount() ranges at once. The calling thread takes the first
// range; the others go to the platform layer's standing pool of
// WorkerCount() - 1 threads, made once for the life of the process (a call
// starts no thread). A range no pool thread has started by the time the
// caller is done with its own is run by the caller. A count below
// 2 * minPerThread is not split. An exception thrown by a range is rethrown
// (that of the lowest range that failed) once all ranges have finished.
//
// A call from inside a range (from a pool thread) runs its whole count on
// that thread, in one range: the pool is already busy with the outer call,
// and a pool thread waiting on the pool could wait for ever. Calls from
// several other threads at once share the pool.
void ForEachRange(int count, int minPerThread, const std::function<void(int begin, int end)>& work);

// The least number of rows of `width` pixels worth a thread of their own:
// about a quarter of a megapixel, so that small pictures stay on one thread.
inline int MinRowsPerThread(int width) {
  const int pixels = 1 << 18;
  return width >= pixels ? 1 : pixels / (width > 0 ? width : 1);
}

// The number of threads ForEachRange uses at most (the caller's among them).
int WorkerCount();

}  // namespace skarvel
