#include "platform/trace.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>

namespace korvale {

namespace {
// Read without the lock on every trace; written under it.
std::atomic<bool> g_listening{true};
}  // namespace

struct TraceSink::Impl {
  mutable std::mutex lock;
  std::deque<std::string> texts;
  bool echo = false;
  bool keep = true;
  void Update() { g_listening.store(echo || keep, std::memory_order_relaxed); }
};

TraceSink::TraceSink() : impl_(new Impl) {
  const char* env = std::getenv("KORVALE_TRACE");
  impl_->echo = env != nullptr && *env != '\0' && *env != '0';
  impl_->Update();
}

bool TraceListening() { return g_listening.load(std::memory_order_relaxed); }

TraceSink& TraceSink::Instance() {
  // Leaked on purpose: traces may be written from threads still running at exit.
  static TraceSink* sink = new TraceSink;
  return *sink;
}

void TraceSink::Add(std::string text) {
  std::lock_guard<std::mutex> g(impl_->lock);
  if (impl_->echo) std::fprintf(stderr, "[korvale] %s\n", text.c_str());
  if (!impl_->keep) return;
  impl_->texts.push_back(std::move(text));
  while (impl_->texts.size() > kCapacity) impl_->texts.pop_front();
}

std::vector<std::string> TraceSink::Texts() const {
  std::lock_guard<std::mutex> g(impl_->lock);
  return {impl_->texts.begin(), impl_->texts.end()};
}

bool TraceSink::Contains(const std::string& needle) const {
  std::lock_guard<std::mutex> g(impl_->lock);
  for (const auto& t : impl_->texts)
    if (t.find(needle) != std::string::npos) return true;
  return false;
}

void TraceSink::Clear() {
  std::lock_guard<std::mutex> g(impl_->lock);
  impl_->texts.clear();
}

void TraceSink::SetEcho(bool echo) {
  std::lock_guard<std::mutex> g(impl_->lock);
  impl_->echo = echo;
  impl_->Update();
}

void TraceSink::SetKeep(bool keep) {
  std::lock_guard<std::mutex> g(impl_->lock);
  impl_->keep = keep;
  if (!keep) impl_->texts.clear();
  impl_->Update();
}

void Trace(const char* fmt, ...) {
  TraceSink& sink = TraceSink::Instance();  // reads KORVALE_TRACE on first use
  if (!TraceListening()) return;
  char buf[1024];
  va_list ap;
  va_start(ap, fmt);
  std::vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  sink.Add(buf);
}

void TraceText(const std::string& text) {
  TraceSink& sink = TraceSink::Instance();
  if (TraceListening()) sink.Add(text);
}

}  // namespace korvale
