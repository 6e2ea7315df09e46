#pragma once
// What the light thread steps. Time moves in ticks of lightfx::kTickMs; the
// thread sleeps until the engine says its next step is due (or a change
// nudges it), so no page wakes up to do nothing. While nobody needs the
// frames, or the look holds still once drawn, it sleeps until the next
// change notice.
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
  // What an Advance did: it ran a step, and the step changed the LED table.
  struct Stepped {
    bool stepped = false;
    bool changed = false;
  };
  // ticks have passed since the last call: ticks - 1 quiet ticks, then one step.
  virtual Stepped Advance(int ticks) = 0;
  // Whether anyone needs the frames now: the preview is on screen, or the
  // device is fed from them. While not, the thread does not step.
  virtual bool OutputWanted() const { return true; }
  // The current look, once drawn, stays the same on every further step until
  // something changes (a static colour, off): after one drawn step the
  // thread waits for the next change notice.
  virtual bool HoldsStill() const { return false; }
};

}  // namespace korvale
