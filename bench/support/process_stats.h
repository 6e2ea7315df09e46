#pragma once
// What /proc says about a process, for benchmarks that watch a program run.
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <sstream>
#include <string>

namespace korvale::bench {

// User + system CPU seconds of pid so far; 0 when it is gone.
inline double CpuSeconds(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (all.rfind(')') == std::string::npos) return 0;
  std::istringstream rest(all.substr(all.rfind(')') + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && rest >> field; ++i) {
    if (i == 14) utime = std::stoull(field);
    if (i == 15) stime = std::stoull(field);
  }
  return static_cast<double>(utime + stime) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

}  // namespace korvale::bench
