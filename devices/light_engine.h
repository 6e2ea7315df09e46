#pragma once
// What the light thread steps. Time moves in ticks of lightfx::kTickMs; the
// thread sleeps until the engine says its next step is due (or a change
// nudges it), so no page wakes up to do nothing.
#include <functional>

namespace korvale {

class ILightEngine {
 public:
  virtual ~ILightEngine() = default;
  // Called (outside the engine's lock) after a change that can move the
  // next step closer: the light thread uses it to wake and re-plan.
  virtual void SetChangeNotifier(std::function<void()> notify) = 0;
  // Ticks the thread may sleep before the next Advance changes anything (≥ 1).
  virtual int TicksUntilDue() const = 0;
  // ticks have passed since the last call: ticks - 1 quiet ticks, then one step.
  virtual void Advance(int ticks) = 0;
};

}  // namespace korvale
