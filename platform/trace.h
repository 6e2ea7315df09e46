#pragma once
// Stand-in for the debugger trace channel: every trace text is kept in a small
// ring so tests can assert on it, and echoed to stderr only when KORVALE_TRACE
// is set, so a normal run stays silent.
#include <cstddef>
#include <string>
#include <vector>

namespace korvale {

// printf-style trace; never throws, never blocks on I/O unless echo is on.
// Costs one atomic load when nothing listens.
void Trace(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void TraceText(const std::string& text);
// True when a trace would go anywhere (kept or echoed): callers that build
// a costly text first ask this.
bool TraceListening();

class TraceSink {
 public:
  static TraceSink& Instance();
  void Add(std::string text);
  // Copy of the kept texts, oldest first.
  std::vector<std::string> Texts() const;
  // True when some kept text contains needle.
  bool Contains(const std::string& needle) const;
  void Clear();
  void SetEcho(bool echo);
  // Whether texts are kept for Texts() and Contains() (on unless turned off:
  // the programs turn it off unless KORVALE_TRACE is set, the tests keep it).
  void SetKeep(bool keep);

  static constexpr std::size_t kCapacity = 4096;

 private:
  TraceSink();
  struct Impl;
  Impl* impl_;
};

}  // namespace korvale
