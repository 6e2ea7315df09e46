#pragma once
// The UI thread's loop: posted work, sends from worker threads, repeating
// timers, run and quit. The programs use Qt's event loop behind this interface;
// tests use VirtualUiLoop, whose clock only moves when the test says so.
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace korvale {

class UiLoop {
 public:
  using Task = std::function<void()>;
  using TimerKey = std::uint64_t;
  static constexpr std::uint32_t kInfinite = 0xFFFFFFFFu;

  virtual ~UiLoop() = default;

  // Queues task for the UI thread; safe from any thread. Tasks run in order.
  virtual void Post(Task task) = 0;

  // On the UI thread: runs task at once. From another thread: queues it and
  // waits until the UI thread has run it, at most timeoutMs. Returns false when
  // the wait timed out or the loop shut down before running it (the task is
  // then dropped and never runs).
  bool Send(Task task, std::uint32_t timeoutMs = kInfinite);

  // Starts or restarts the repeating timer under key: task runs every
  // intervalMs on the UI thread until KillTimer(key). UI thread only.
  virtual void SetTimer(TimerKey key, std::uint32_t intervalMs, Task task) = 0;
  virtual void KillTimer(TimerKey key) = 0;
  virtual bool HasTimer(TimerKey key) const = 0;

  // Runs until Quit. May nest: each Run returns at the Quit made while it is
  // the innermost one.
  virtual int Run() = 0;
  virtual void Quit(int code = 0) = 0;
  // Runs the loop nested until done() is true. Returns done()'s final value
  // (a virtual loop may return early with false when its time is used up).
  virtual bool RunUntil(const std::function<bool()>& done) = 0;

  // Milliseconds of the clock the timers run on (steady; a virtual loop's own).
  virtual std::uint64_t NowMs() const;

  bool IsUiThread() const { return std::this_thread::get_id() == uiThread_; }
  // The thread that owns controls; the constructing thread by default.
  void BindToCurrentThread() { uiThread_ = std::this_thread::get_id(); }

  // A fresh key for SetTimer, unique in the process.
  static TimerKey NewTimerKey();

 protected:
  UiLoop() : uiThread_(std::this_thread::get_id()) {}
  // Releases every sender still waiting (loop shutting down).
  void AbandonSends();

 private:
  struct SendState;
  friend struct SendState;
  std::thread::id uiThread_;
  std::mutex sendLock_;
  std::map<std::uint64_t, std::shared_ptr<SendState>> pendingSends_;
  std::uint64_t nextSend_ = 1;
};

// The loop used by controls and windows: the one set with SetUiLoop, else a
// process-wide VirtualUiLoop (so headless programs need no setup).
UiLoop& GetUiLoop();
// Sets (or with nullptr clears) the current loop; the caller keeps ownership.
void SetUiLoop(UiLoop* loop);

// Deterministic loop with a virtual clock for tests.
class VirtualUiLoop : public UiLoop {
 public:
  VirtualUiLoop();
  ~VirtualUiLoop() override;

  void Post(Task task) override;
  void SetTimer(TimerKey key, std::uint32_t intervalMs, Task task) override;
  void KillTimer(TimerKey key) override;
  bool HasTimer(TimerKey key) const override;
  int Run() override;
  void Quit(int code = 0) override;
  bool RunUntil(const std::function<bool()>& done) override;

  // Virtual milliseconds since construction.
  std::uint64_t Now() const { return now_; }
  std::uint64_t NowMs() const override { return now_; }
  // Moves the clock by ms: runs posted work, and every timer that falls due,
  // at its due time, in due order (equal times in the order they were set).
  void AdvanceBy(std::uint64_t ms);
  // Posted tasks not yet run (any thread).
  std::size_t PendingCount() const;
  // Runs posted work without moving the clock; returns how many tasks ran.
  std::size_t RunPending();
  // Waits in real time (at most realTimeoutMs) until some work is posted, then
  // runs all posted work. For tests whose worker threads post or send.
  bool WaitForPosted(std::uint32_t realTimeoutMs);

 private:
  struct Timer {
    std::uint32_t interval;
    std::uint64_t due;
    std::uint64_t seq;
    std::shared_ptr<Task> task;
  };
  bool RunOneTimerUpTo(std::uint64_t limit);

  mutable std::mutex lock_;
  std::condition_variable posted_;
  std::deque<Task> queue_;
  std::map<TimerKey, Timer> timers_;
  std::uint64_t now_ = 0;
  std::uint64_t limit_ = 0;  // how far nested runs may move the clock
  std::uint64_t seq_ = 0;
  int quitDepth_ = 0;        // pending Quit calls
  int quitCode_ = 0;
};

}  // namespace korvale
