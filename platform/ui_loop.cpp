#include "platform/ui_loop.h"

#include <atomic>

namespace korvale {

struct UiLoop::SendState {
  std::mutex lock;
  std::condition_variable cv;
  bool running = false;
  bool done = false;
  bool abandoned = false;
  bool loopGone = false;  // the loop may be destroyed: touch nothing of it
};

std::uint64_t UiLoop::NowMs() const {
  return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                        std::chrono::steady_clock::now().time_since_epoch())
                                        .count());
}

UiLoop::TimerKey UiLoop::NewTimerKey() {
  static std::atomic<TimerKey> next{1};
  return next.fetch_add(1);
}

bool UiLoop::Send(Task task, std::uint32_t timeoutMs) {
  if (IsUiThread()) {
    task();
    return true;
  }
  auto state = std::make_shared<SendState>();
  std::uint64_t id;
  {
    std::lock_guard<std::mutex> g(sendLock_);
    id = nextSend_++;
    pendingSends_[id] = state;
  }
  Post([this, state, id, t = std::move(task)] {
    {
      std::lock_guard<std::mutex> g(state->lock);
      if (state->abandoned) return;
      state->running = true;
    }
    t();
    {
      std::lock_guard<std::mutex> g(state->lock);
      state->done = true;
    }
    state->cv.notify_all();
    std::lock_guard<std::mutex> g(sendLock_);
    pendingSends_.erase(id);
  });
  std::unique_lock<std::mutex> lk(state->lock);
  auto finished = [&] { return state->done || state->abandoned; };
  if (timeoutMs == kInfinite) {
    state->cv.wait(lk, finished);
  } else if (!state->cv.wait_for(lk, std::chrono::milliseconds(timeoutMs), finished)) {
    // Too late: make sure it never runs, unless it has already started, in
    // which case wait for it to end (the sender's data is still in use).
    if (!state->running) {
      state->abandoned = true;
    } else {
      state->cv.wait(lk, [&] { return state->done; });
    }
  }
  bool ok = state->done;
  bool gone = state->loopGone;
  lk.unlock();
  if (!ok && !gone) {
    std::lock_guard<std::mutex> g(sendLock_);
    pendingSends_.erase(id);
  }
  return ok;
}

void UiLoop::AbandonSends() {
  std::map<std::uint64_t, std::shared_ptr<SendState>> pending;
  {
    std::lock_guard<std::mutex> g(sendLock_);
    pending.swap(pendingSends_);
  }
  for (auto& [id, state] : pending) {
    {
      std::lock_guard<std::mutex> g(state->lock);
      if (!state->running) {
        state->abandoned = true;
        state->loopGone = true;
      }
    }
    state->cv.notify_all();
  }
}

namespace {
std::atomic<UiLoop*> g_loop{nullptr};
}

UiLoop& GetUiLoop() {
  if (UiLoop* l = g_loop.load()) return *l;
  // Leaked on purpose: controls may post during static destruction.
  static VirtualUiLoop* fallback = new VirtualUiLoop;
  return *fallback;
}

void SetUiLoop(UiLoop* loop) { g_loop.store(loop); }

VirtualUiLoop::VirtualUiLoop() = default;

VirtualUiLoop::~VirtualUiLoop() {
  AbandonSends();
  if (g_loop.load() == this) g_loop.store(nullptr);
}

void VirtualUiLoop::Post(Task task) {
  {
    std::lock_guard<std::mutex> g(lock_);
    queue_.push_back(std::move(task));
  }
  posted_.notify_all();
}

void VirtualUiLoop::SetTimer(TimerKey key, std::uint32_t intervalMs, Task task) {
  std::lock_guard<std::mutex> g(lock_);
  // A zero interval would fire forever at one instant.
  std::uint32_t interval = intervalMs == 0 ? 1 : intervalMs;
  timers_[key] = Timer{interval, now_ + interval, ++seq_, std::make_shared<Task>(std::move(task))};
}

void VirtualUiLoop::KillTimer(TimerKey key) {
  std::lock_guard<std::mutex> g(lock_);
  timers_.erase(key);
}

bool VirtualUiLoop::HasTimer(TimerKey key) const {
  std::lock_guard<std::mutex> g(lock_);
  return timers_.count(key) != 0;
}

std::size_t VirtualUiLoop::PendingCount() const {
  std::lock_guard<std::mutex> g(lock_);
  return queue_.size();
}

std::size_t VirtualUiLoop::RunPending() {
  std::size_t ran = 0;
  for (;;) {
    Task t;
    {
      std::lock_guard<std::mutex> g(lock_);
      if (queue_.empty()) return ran;
      t = std::move(queue_.front());
      queue_.pop_front();
    }
    t();
    ++ran;
  }
}

bool VirtualUiLoop::RunOneTimerUpTo(std::uint64_t limit) {
  std::shared_ptr<Task> task;
  {
    std::lock_guard<std::mutex> g(lock_);
    auto best = timers_.end();
    for (auto it = timers_.begin(); it != timers_.end(); ++it) {
      if (it->second.due > limit) continue;
      if (best == timers_.end() || it->second.due < best->second.due ||
          (it->second.due == best->second.due && it->second.seq < best->second.seq)) {
        best = it;
      }
    }
    if (best == timers_.end()) return false;
    if (best->second.due > now_) now_ = best->second.due;
    best->second.due = now_ + best->second.interval;
    best->second.seq = ++seq_;
    task = best->second.task;  // kept alive even if the timer kills itself
  }
  (*task)();
  return true;
}

void VirtualUiLoop::AdvanceBy(std::uint64_t ms) {
  std::uint64_t target;
  {
    std::lock_guard<std::mutex> g(lock_);
    target = now_ + ms;
    if (target > limit_) limit_ = target;
  }
  RunPending();
  while (RunOneTimerUpTo(target)) RunPending();
  {
    std::lock_guard<std::mutex> g(lock_);
    if (now_ < target) now_ = target;
  }
  RunPending();
}

bool VirtualUiLoop::RunUntil(const std::function<bool()>& done) {
  for (;;) {
    RunPending();
    if (done()) return true;
    std::uint64_t limit;
    {
      std::lock_guard<std::mutex> g(lock_);
      limit = limit_;
    }
    // Nested runs may only use the time the enclosing AdvanceBy granted.
    if (!RunOneTimerUpTo(limit)) {
      RunPending();
      return done();
    }
  }
}

int VirtualUiLoop::Run() {
  bool quit = RunUntil([this] {
    std::lock_guard<std::mutex> g(lock_);
    return quitDepth_ > 0;
  });
  std::lock_guard<std::mutex> g(lock_);
  if (quit) --quitDepth_;
  return quitCode_;
}

void VirtualUiLoop::Quit(int code) {
  std::lock_guard<std::mutex> g(lock_);
  ++quitDepth_;
  quitCode_ = code;
}

bool VirtualUiLoop::WaitForPosted(std::uint32_t realTimeoutMs) {
  {
    std::unique_lock<std::mutex> lk(lock_);
    if (!posted_.wait_for(lk, std::chrono::milliseconds(realTimeoutMs),
                          [this] { return !queue_.empty(); })) {
      return false;
    }
  }
  RunPending();
  return true;
}

}  // namespace korvale
