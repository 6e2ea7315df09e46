#pragma once
// The effects that give every LED of a device the same colour: breathing,
// static, spectrum, blink and their four-colour forms. The page previews, the
// keyboard's light thread and the synchronised lighting all step them here,
// so a direction or a hue rule cannot differ between them.
#include <cstdint>

#include "profiles/profile_records.h"

namespace korvale::wholefx {

// value ± step within 0..limit-1, on bytes. direction ≠ 0 runs forward
// (0, 1, … limit-1, 0); direction 0 runs backward (limit-1 … 0, limit-1),
// wrapping to limit - step once the byte result is not below the limit.
uint8_t Cycle(int direction, int limit, int value, int step);

// What moves between steps; an effect uses only its own items.
struct State {
  uint8_t step = 0;         // breathing step, spectrum or blink wheel position
  uint8_t colourIndex = 0;  // breathing's wheel hue, the four-colour index
  uint8_t phase = 0;        // blink: 1 while lit
  uint64_t lastToggleMs = 0;
};

// When breathing moves its wheel colour on: the pages' rule (the step became
// 0; the index passes 192 back to 0) or the synchronised lighting's (the step
// is 0 or 1; the index cycles forward through 192).
enum class HueTurn { kOnZero, kOnZeroOrOne };

// The look comes from LightInfo: "Light" (0..4), "Speed" (0..4, the blink
// period), "Fx" (direction), "MultiColor" and the fixed colour.
LedColour Breathing(const LightInfo& look, State& state, HueTurn turn = HueTurn::kOnZero);
LedColour BreathingFourColours(const LightInfo& look, State& state);
LedColour Static(const LightInfo& look);
LedColour Spectrum(const LightInfo& look, State& state);
// hueJump: how far the wheel position moves on each toggle (back to 0 at 192).
LedColour Blink(const LightInfo& look, State& state, uint64_t nowMs, int hueJump);
LedColour BlinkFourColours(const LightInfo& look, State& state, uint64_t nowMs);

}  // namespace korvale::wholefx
