#pragma once
// The constant tables of the simple lighting previews: brightness factors,
// the colour wheel ramps, the breathing curve, the four fixed colours, the
// blink periods and the reactive decay steps.
#include <array>
#include <cstdint>

namespace korvale::preview {

// Intensity for LightInfo "Light" 0..4.
inline constexpr std::array<uint8_t, 5> kBrightness = {0, 80, 135, 195, 255};

// One channel's ramp within a segment of the colour wheel.
inline constexpr std::array<uint8_t, 32> kWheelRise = {
    1, 3, 5, 7, 10, 14, 18, 22, 26, 32, 38, 44, 50, 57, 65, 73,
    81, 89, 99, 109, 119, 129, 140, 152, 164, 176, 188, 200, 213, 227, 241, 255,
};
inline constexpr std::array<uint8_t, 32> kWheelFall = {
    248, 234, 220, 206, 194, 182, 170, 158, 146, 134, 124, 114, 104, 94, 85, 77,
    69, 61, 53, 47, 41, 35, 29, 24, 20, 16, 12, 8, 6, 4, 2, 0,
};
inline constexpr int kWheelHues = 192;
// 192 hues plus 64 entries repeating the first 64, so 0..255 are all valid.
inline constexpr int kWheelSize = 256;

// Rising half of the breathing curve; the falling half mirrors it.
inline constexpr std::array<uint8_t, 64> kBreathRise = {
    0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 12, 14, 16, 18, 20,
    22, 24, 27, 30, 33, 36, 39, 42, 45, 49, 53, 57, 61, 65, 69, 73,
    77, 81, 85, 89, 94, 99, 104, 109, 114, 119, 124, 129, 134, 140, 146, 152,
    158, 164, 170, 176, 182, 188, 194, 200, 206, 213, 220, 227, 234, 241, 248, 255,
};
inline constexpr int kBreathSteps = 128;

struct Rgb {
  uint8_t red, green, blue;
};
inline constexpr std::array<Rgb, 4> kFourColours = {{{0, 255, 180}, {0, 255, 0}, {255, 255, 255}, {255, 0, 0}}};

// The one speed table, by LightInfo "Speed" 0..4: passes per step of the
// effects, and the blink half-period in units of kBlinkUnitMs.
inline constexpr std::array<uint8_t, 5> kPassRate = {8, 6, 4, 2, 1};
inline constexpr uint32_t kBlinkUnitMs = 200;
// How far the blink and breathing colour moves along the wheel per cycle.
inline constexpr int kWheelJump = 16;

// Reactive decay: rows of (lowest level, step in mode 0, step in mode 29,
// step in any other mode), highest band first. Level 0 stays 0.
struct DecayBand {
  uint8_t from;
  uint8_t mode0;
  uint8_t mode29;
  uint8_t other;
};
inline constexpr std::array<DecayBand, 9> kDecayBands = {{
    {144, 40, 45, 40},
    {128, 40, 40, 40},
    {112, 30, 35, 30},
    {96, 30, 30, 30},
    {80, 30, 25, 30},
    {64, 30, 20, 30},
    {32, 15, 10, 10},
    {17, 8, 5, 8},
    {1, 1, 1, 1},
}};

namespace detail {
constexpr std::array<Rgb, kWheelSize> MakeWheel() {
  std::array<Rgb, kWheelSize> w{};
  for (int i = 0; i < kWheelSize; ++i) {
    const int h = i % kWheelHues;
    const auto k = static_cast<std::size_t>(h % 32);
    const uint8_t up = kWheelRise[k], down = kWheelFall[k];
    switch (h / 32) {
      case 0: w[static_cast<std::size_t>(i)] = {255, up, 0}; break;
      case 1: w[static_cast<std::size_t>(i)] = {down, 255, 0}; break;
      case 2: w[static_cast<std::size_t>(i)] = {0, 255, up}; break;
      case 3: w[static_cast<std::size_t>(i)] = {0, down, 255}; break;
      case 4: w[static_cast<std::size_t>(i)] = {up, 0, 255}; break;
      default: w[static_cast<std::size_t>(i)] = {255, 0, down}; break;
    }
  }
  return w;
}
constexpr std::array<uint8_t, kBreathSteps> MakeBreath() {
  std::array<uint8_t, kBreathSteps> b{};
  for (std::size_t i = 0; i < 64; ++i) b[i] = b[127 - i] = kBreathRise[i];
  return b;
}
}  // namespace detail

// The colour wheel: entries 192..255 repeat 0..63.
inline constexpr std::array<Rgb, kWheelSize> kWheel = detail::MakeWheel();
// The breathing curve, rising then falling.
inline constexpr std::array<uint8_t, kBreathSteps> kBreath = detail::MakeBreath();

}  // namespace korvale::preview
