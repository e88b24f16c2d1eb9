#pragma once
// The peak resident memory of a benchmark's process.

#include <sys/resource.h>

// The peak resident memory of the process so far, MiB.
inline double PeakMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}
