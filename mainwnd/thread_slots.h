#pragma once
// The main window's worker threads: numbered slots, each with a manual-reset
// stop event handed to its thread, stopped together with a bounded wait.
#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "platform/event.h"
#include "ui/ui_types.h"

namespace korvale {

// A worker thread's parameter record.
struct MainThreadParam {
  HWND mainWnd = 0;
  std::shared_ptr<Event> stop;  // manual reset
};

class CThreadSlots {
 public:
  static constexpr int kCount = 20;
  static constexpr std::uint32_t kStopWaitMs = 1000;

  CThreadSlots();
  ~CThreadSlots();  // stops what still runs
  CThreadSlots(const CThreadSlots&) = delete;
  CThreadSlots& operator=(const CThreadSlots&) = delete;

  // body runs on its own thread with the slot's record and must return soon
  // after the stop event is set. False when the slot is taken or out of range.
  bool Start(int slot, HWND owner, std::function<void(const MainThreadParam&)> body);
  bool IsRunning(int slot) const;
  // Signals every slot, then waits for each thread at most kStopWaitMs; a
  // thread still running then is left to end by itself (traced). The slots
  // are empty afterwards.
  void StopAll();

 private:
  struct Slot;
  std::array<std::unique_ptr<Slot>, kCount> slots_;
};

}  // namespace korvale
