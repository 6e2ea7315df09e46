#include "platform/event.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace korvale {

Event::Event(Reset reset) : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)), reset_(reset) {}

Event::~Event() {
  if (fd_ >= 0) ::close(fd_);
}

void Event::Set() {
  uint64_t one = 1;
  // A full counter is still "set"; nothing to do on EAGAIN.
  [[maybe_unused]] ssize_t n = ::write(fd_, &one, sizeof one);
}

void Event::Clear() {
  uint64_t v;
  while (::read(fd_, &v, sizeof v) == sizeof v) {
  }
}

bool Event::IsSet() const {
  pollfd p{fd_, POLLIN, 0};
  return ::poll(&p, 1, 0) == 1 && (p.revents & POLLIN);
}

bool Event::Consume() {
  if (reset_ == Reset::Manual) return IsSet();
  uint64_t v;
  return ::read(fd_, &v, sizeof v) == sizeof v;
}

bool Event::Wait(uint32_t timeoutMs) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    int wait = -1;
    if (timeoutMs != kInfinite) {
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      wait = left > 0 ? static_cast<int>(left) : 0;
    }
    pollfd p{fd_, POLLIN, 0};
    int r = ::poll(&p, 1, wait);
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    if (reset_ == Reset::Manual) return true;
    if (Consume()) return true;
    // Another waiter took it; keep waiting for the rest of the time.
    if (timeoutMs != kInfinite && Clock::now() >= deadline) return false;
  }
}

}  // namespace korvale
