#include "devices/whole_device_effects.h"

#include "devices/preview_tables.h"

namespace korvale::wholefx {

namespace {

uint8_t Level(uint8_t v) { return v > 4 ? 4 : v; }
uint8_t S(const LightInfo& look) { return preview::kBrightness[Level(look.light)]; }

LedColour Colour(const preview::Rgb& c, uint8_t alpha) { return {c.red, c.green, c.blue, alpha}; }
LedColour Fixed(const LightInfo& look, uint8_t alpha) { return {look.red, look.green, look.blue, alpha}; }

// Whether the blink phase is due to flip; notes the time when it is.
bool Toggle(const LightInfo& look, State& state, uint64_t nowMs) {
  const uint64_t period = uint64_t{preview::kPassRate[Level(look.speed)]} * preview::kBlinkUnitMs;
  if (nowMs - state.lastToggleMs < period) return false;
  state.phase ^= 1;
  state.lastToggleMs = nowMs;
  return true;
}

}  // namespace

uint8_t Cycle(int direction, int limit, int value, int step) {
  if (direction != 0) {
    const int next = value + step;
    return static_cast<uint8_t>(next >= limit ? 0 : next);
  }
  const auto next = static_cast<uint8_t>(value - step);
  return static_cast<uint8_t>(next >= limit ? limit - step : next);
}

LedColour Breathing(const LightInfo& look, State& state, HueTurn turn) {
  state.step = Cycle(look.fx, preview::kBreathSteps, state.step, 1);
  if (turn == HueTurn::kOnZero) {
    if (state.step == 0) {
      state.colourIndex = static_cast<uint8_t>(state.colourIndex + preview::kWheelJump);
      if (state.colourIndex > preview::kWheelHues) state.colourIndex = 0;
    }
  } else if (look.multiColor && state.step <= 1) {
    state.colourIndex = Cycle(1, preview::kWheelHues, state.colourIndex, preview::kWheelJump);
  }
  const auto alpha = static_cast<uint8_t>(preview::kBreath[state.step] * S(look) / 256);
  return look.multiColor ? Colour(preview::kWheel[state.colourIndex], alpha) : Fixed(look, alpha);
}

LedColour BreathingFourColours(const LightInfo& look, State& state) {
  state.step = Cycle(look.fx, preview::kBreathSteps, state.step, 1);
  if (state.step == 0 && ++state.colourIndex > 3) state.colourIndex = 0;
  if (state.colourIndex > 3) state.colourIndex = 0;
  return Colour(preview::kFourColours[state.colourIndex],
                static_cast<uint8_t>(preview::kBreath[state.step] * S(look) / 256));
}

LedColour Static(const LightInfo& look) { return Fixed(look, S(look)); }

LedColour Spectrum(const LightInfo& look, State& state) {
  state.step = Cycle(look.fx, preview::kWheelHues, state.step, 1);
  return Colour(preview::kWheel[state.step], S(look));
}

LedColour Blink(const LightInfo& look, State& state, uint64_t nowMs, int hueJump) {
  if (Toggle(look, state, nowMs)) {
    const int next = state.step + hueJump;
    state.step = static_cast<uint8_t>(next >= preview::kWheelHues ? 0 : next);
  }
  if (!state.phase) return {};
  return look.multiColor ? Colour(preview::kWheel[state.step], S(look)) : Fixed(look, S(look));
}

LedColour BlinkFourColours(const LightInfo& look, State& state, uint64_t nowMs) {
  if (Toggle(look, state, nowMs) && ++state.colourIndex > 3) state.colourIndex = 0;
  if (state.colourIndex > 3) state.colourIndex = 0;
  if (!state.phase) return {};
  return Colour(preview::kFourColours[state.colourIndex], S(look));
}

}  // namespace korvale::wholefx
