#pragma once
// Names the calling thread, so per-thread CPU figures (top -H, /proc/PID/task,
// the benchmarks) say whose time it is.
#include <pthread.h>

#include <cstring>
#include <string>

namespace korvale {

// Linux keeps at most 15 characters; longer names are cut, never refused.
inline void NameThisThread(const char* name) {
  char shortName[16] = {};
  std::strncpy(shortName, name, sizeof shortName - 1);
  ::pthread_setname_np(::pthread_self(), shortName);
}

}  // namespace korvale
