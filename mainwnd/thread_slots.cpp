#include "mainwnd/thread_slots.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "platform/thread_name.h"
#include "platform/trace.h"

namespace korvale {

struct CThreadSlots::Slot {
  struct State {
    std::mutex lock;
    std::condition_variable cv;
    bool done = false;
  };
  MainThreadParam param;
  std::shared_ptr<State> state = std::make_shared<State>();
  std::thread thread;
};

bool CThreadSlots::Start(int slot, HWND owner, std::function<void(const MainThreadParam&)> body) {
  if (slot < 0 || slot >= kCount || !body) return false;
  if (slots_[slot] != nullptr) return false;
  auto s = std::make_unique<Slot>();
  s->param.mainWnd = owner;
  s->param.stop = std::make_shared<Event>(Event::Reset::Manual);
  // The thread holds its own references, so it may outlive the window when
  // it misses its stop deadline.
  s->thread = std::thread([param = s->param, state = s->state, body = std::move(body)] {
    NameThisThread("kv-slot");
    body(param);
    std::lock_guard<std::mutex> g(state->lock);
    state->done = true;
    state->cv.notify_all();
  });
  slots_[slot] = std::move(s);
  return true;
}

bool CThreadSlots::IsRunning(int slot) const {
  if (slot < 0 || slot >= kCount || slots_[slot] == nullptr) return false;
  std::lock_guard<std::mutex> g(slots_[slot]->state->lock);
  return !slots_[slot]->state->done;
}

void CThreadSlots::StopAll() {
  for (auto& s : slots_)
    if (s) s->param.stop->Set();
  for (int i = 0; i < kCount; ++i) {
    auto& s = slots_[i];
    if (!s) continue;
    bool ended;
    {
      std::unique_lock<std::mutex> g(s->state->lock);
      ended = s->state->cv.wait_for(g, std::chrono::milliseconds(kStopWaitMs),
                                    [&] { return s->state->done; });
    }
    if (ended) {
      Trace("所有对象处于激发状态\n");
      s->thread.join();
    } else {
      // A thread cannot be killed safely here; it keeps only shared state
      // and a handle that reaches nothing once the window is gone.
      Trace("所有对象处于非激发状态，超时\n");
      Trace("thread slot %d did not stop within %u ms; left to end by itself", i, kStopWaitMs);
      s->thread.detach();
    }
    s.reset();
  }
}

CThreadSlots::CThreadSlots() = default;

CThreadSlots::~CThreadSlots() { StopAll(); }

}  // namespace korvale
