// timeit RUNS COMMAND [ARGS...]
// Runs a command RUNS times (after one warm-up run) and prints
// "median_seconds peak_rss_kib" on standard output. Exits 1 if any run fails.

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

static bool RunOnce(char** argv, double& seconds, long& rssKib) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    // Keep the measured command's own output out of the way.
    if (freopen("/dev/null", "w", stdout) == nullptr) _exit(127);
    execvp(argv[0], argv);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (wait4(pid, &status, 0, &usage) < 0) return false;
  seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  rssKib = usage.ru_maxrss;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: timeit RUNS COMMAND [ARGS...]\n");
    return 2;
  }
  const int runs = std::atoi(argv[1]);
  double seconds = 0;
  long rss = 0;
  if (!RunOnce(argv + 2, seconds, rss)) return 1;  // warm-up: file cache, page tables
  std::vector<double> times;
  long peak = 0;
  for (int i = 0; i < runs; ++i) {
    if (!RunOnce(argv + 2, seconds, rss)) return 1;
    times.push_back(seconds);
    peak = std::max(peak, rss);
  }
  std::sort(times.begin(), times.end());
  const double median = times.size() % 2 ? times[times.size() / 2]
                                          : (times[times.size() / 2 - 1] + times[times.size() / 2]) / 2;
  std::printf("%.4f %ld\n", median, peak);
  return 0;
}
