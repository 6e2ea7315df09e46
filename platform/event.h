#pragma once
// A waitable event on an eventfd, so it can sit in a poll() set beside a
// device node or a socket: that is how blocking reads are cancelled.
#include <cstdint>

namespace korvale {

class Event {
 public:
  enum class Reset { Auto, Manual };
  explicit Event(Reset reset = Reset::Manual);
  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set();
  void Clear();
  bool IsSet() const;  // does not consume an auto-reset signal
  // Waits until set or timeoutMs passes (kInfinite waits forever).
  // An auto-reset event is consumed by a successful wait.
  bool Wait(uint32_t timeoutMs);
  // Consumes the signal of an auto-reset event after poll() saw the fd readable.
  bool Consume();
  int Fd() const { return fd_; }

  static constexpr uint32_t kInfinite = 0xFFFFFFFFu;

 private:
  int fd_;
  Reset reset_;
};

}  // namespace korvale
