// ormid-timeit RUNS COMMAND [ARGS...]: runs a command RUNS times, its
// standard output sent to /dev/null, and prints the median and the smallest
// wall time in milliseconds and the largest peak resident set size in
// kilobytes over the runs: "median_ms min_ms peak_kb". Exits 1 when a run
// fails.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: ormid-timeit RUNS COMMAND [ARGS...]\n");
    return 2;
  }
  const int runs = std::max(1, std::atoi(argv[1]));
  std::vector<double> times;
  long peakKb = 0;
  for (int r = 0; r < runs; ++r) {
    const auto start = std::chrono::steady_clock::now();
    const pid_t child = fork();
    if (child < 0) return 1;
    if (child == 0) {
      const int null = open("/dev/null", O_WRONLY);
      if (null >= 0) dup2(null, STDOUT_FILENO);
      execvp(argv[2], argv + 2);
      std::perror(argv[2]);
      _exit(127);
    }
    int status = 0;
    rusage usage{};
    if (wait4(child, &status, 0, &usage) != child) return 1;
    const auto stop = std::chrono::steady_clock::now();
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
      std::fprintf(stderr, "ormid-timeit: %s failed\n", argv[2]);
      return 1;
    }
    times.push_back(std::chrono::duration<double, std::milli>(stop - start).count());
    peakKb = std::max(peakKb, static_cast<long>(usage.ru_maxrss));
  }
  std::sort(times.begin(), times.end());
  const std::size_t n = times.size();
  const double median = n % 2 != 0 ? times[n / 2] : (times[n / 2 - 1] + times[n / 2]) / 2;
  std::printf("%.2f %.2f %ld\n", median, times.front(), peakKb);
  return 0;
}
