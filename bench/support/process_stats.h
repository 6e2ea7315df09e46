#pragma once
// What /proc says about a process, for benchmarks that watch a program run.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <vector>
#include <iterator>
#include <sstream>
#include <string>

namespace korvale::bench {

// User + system CPU seconds of pid so far in clock ticks (10 ms steps); 0
// when it is gone. Counts threads that have already ended.
inline double TickCpuSeconds(pid_t pid) {
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

struct ThreadCpu {
  std::string name;
  double seconds = 0;
};

// Each living thread of pid with its time on a CPU, from the scheduler's
// nanosecond counters (/proc/PID/task/TID/schedstat), so an idle figure is
// not one clock tick wide.
inline std::vector<ThreadCpu> ThreadCpuTimes(pid_t pid) {
  std::vector<ThreadCpu> out;
  std::error_code ec;
  const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
  for (const auto& task : std::filesystem::directory_iterator(tasks, ec)) {
    std::ifstream stat(task.path() / "schedstat");
    unsigned long long ns = 0;
    if (!(stat >> ns)) continue;
    ThreadCpu t;
    std::ifstream comm(task.path() / "comm");
    std::getline(comm, t.name);
    t.seconds = static_cast<double>(ns) / 1e9;
    out.push_back(std::move(t));
  }
  return out;
}

// CPU seconds of the living threads of pid whose name starts with prefix
// (nanosecond counters): the figure of one thread among the program's others.
inline double ThreadsCpuSeconds(pid_t pid, const std::string& prefix) {
  double sum = 0;
  for (const ThreadCpu& t : ThreadCpuTimes(pid))
    if (t.name.rfind(prefix, 0) == 0) sum += t.seconds;
  return sum;
}

// CPU seconds of pid's living threads (nanosecond counters), or the tick
// count when the kernel has no per-thread counters; 0 when pid is gone.
inline double CpuSeconds(pid_t pid) {
  const auto threads = ThreadCpuTimes(pid);
  if (threads.empty()) return TickCpuSeconds(pid);
  double sum = 0;
  for (const ThreadCpu& t : threads) sum += t.seconds;
  return sum;
}

// "name seconds" of the threads that used the most CPU between two samples
// taken with ThreadCpuTimes, busiest first, at most n of them.
inline std::string BusiestThreads(const std::vector<ThreadCpu>& before, const std::vector<ThreadCpu>& after,
                                  double period, std::size_t n = 3) {
  std::map<std::string, double> used;
  for (const ThreadCpu& t : after) used[t.name] += t.seconds;
  for (const ThreadCpu& t : before) used[t.name] -= t.seconds;
  std::vector<std::pair<double, std::string>> order;
  for (const auto& [name, s] : used) order.push_back({s, name});
  std::sort(order.rbegin(), order.rend());
  std::string text;
  for (std::size_t i = 0; i < order.size() && i < n; ++i) {
    char part[96];
    std::snprintf(part, sizeof part, "%s%s %.3f%%", text.empty() ? "" : ", ", order[i].second.c_str(),
                  order[i].first / period * 100.0);
    text += part;
  }
  return text;
}

// One thread's context switches so far (voluntary + involuntary): each time it
// went to sleep and woke, or was put aside.
struct ThreadSwitches {
  std::string tid;
  std::string name;
  unsigned long long switches = 0;
};

inline std::vector<ThreadSwitches> ThreadContextSwitches(pid_t pid) {
  std::vector<ThreadSwitches> out;
  std::error_code ec;
  const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
  for (const auto& task : std::filesystem::directory_iterator(tasks, ec)) {
    ThreadSwitches t;
    t.tid = task.path().filename().string();
    std::ifstream status(task.path() / "status");
    std::string line;
    bool any = false;
    while (std::getline(status, line)) {
      if (line.rfind("Name:", 0) == 0) {
        t.name = line.substr(5);
        t.name.erase(0, t.name.find_first_not_of(" \t"));
      } else if (line.rfind("voluntary_ctxt_switches:", 0) == 0 || line.rfind("nonvoluntary_ctxt_switches:", 0) == 0) {
        t.switches += std::stoull(line.substr(line.find(':') + 1));
        any = true;
      }
    }
    if (any) out.push_back(std::move(t));
  }
  return out;
}

// Wake-ups per second of each thread between two samples, summed by name;
// the thread whose id is the process id is named "ui". A thread born between
// the samples counts from zero.
inline std::map<std::string, double> WakesPerSecond(pid_t pid, const std::vector<ThreadSwitches>& before,
                                                    const std::vector<ThreadSwitches>& after, double period) {
  std::map<std::string, double> out;
  const std::string ui = std::to_string(pid);
  for (const ThreadSwitches& t : after) {
    unsigned long long base = 0;
    for (const ThreadSwitches& b : before)
      if (b.tid == t.tid) base = b.switches;
    out[t.tid == ui ? "ui" : t.name] += static_cast<double>(t.switches - base) / period;
  }
  return out;
}

}  // namespace korvale::bench
