#pragma once
// Waiting on a condition with a deadline, never for a fixed time.
#include <chrono>
#include <thread>

#include "platform/ui_loop.h"

namespace korvale::testing {

// Polls pred until it holds or ms pass; the last answer of pred.
template <class Pred>
bool WaitFor(Pred pred, int ms = 3000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return pred();
}

// Runs the work other threads post to loop until pred holds or ms pass.
template <class Pred>
bool PumpUntil(VirtualUiLoop& loop, Pred pred, int ms = 3000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!pred() && std::chrono::steady_clock::now() < end) loop.WaitForPosted(20);
  return pred();
}

}  // namespace korvale::testing
