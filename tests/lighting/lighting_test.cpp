// Frames of the lighting engine after a few steps from a known state. The
// expected values are worked out by hand from the effect rules and the
// curves (wheel, breathing, wave), not by running the engine.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "devices/keyboard_lighting.h"

namespace korvale {
namespace {

using C = LedColour;

struct Rig {
  std::vector<LedColour> leds = std::vector<LedColour>(170);
  uint64_t now = 1000;
  CKeyboardLighting fx{leds};
  Rig() { fx.SetClock([this] { return now; }); }
  void Mode(int mode, int speed, int fx_, int multi, int light = 4, uint8_t r = 0, uint8_t g = 0, uint8_t b = 0) {
    LightInfo info;
    info.selectItem = static_cast<uint8_t>(mode);
    info.speed = static_cast<uint8_t>(speed);
    info.fx = static_cast<uint8_t>(fx_);
    info.multiColor = static_cast<uint8_t>(multi);
    info.light = static_cast<uint8_t>(light);
    info.red = r;
    info.green = g;
    info.blue = b;
    fx.SetLightInfo(info);
    fx.Apply();
  }
  void Steps(int n) {
    for (int i = 0; i < n; ++i) fx.Step();
  }
};

// Key 120 sits in column 0, key 21 in column 1, key 0 in column 2, key 3 in column 5.
TEST(LightingFrames, WaveByDirectionSpeedAndColour) {
  struct Case {
    const char* name;
    int speed, dir, multi, steps;
    C key120, key21, key3;
  };
  const Case cases[] = {
      // step 1, hue 2 at column 0, +7 per column: W[2], W[9], W[37]
      {"multi forward", 4, 1, 1, 1, {255, 5, 0, 255}, {255, 32, 0, 255}, {182, 255, 0, 255}},
      // step 3, hue 4: W[4], W[11], W[39]
      {"multi three steps", 4, 1, 1, 3, {255, 10, 0, 255}, {255, 44, 0, 255}, {158, 255, 0, 255}},
      // backwards from 0 wraps to 191, hue 0: W[0], W[7], W[35]
      {"multi backward", 4, 0, 1, 1, {255, 1, 0, 255}, {255, 22, 0, 255}, {206, 255, 0, 255}},
      // single colour, wave index 2 / 9 / 37: 255 * {27, 49, 188} / 256
      {"single forward", 4, 1, 0, 1, {10, 20, 30, 26}, {10, 20, 30, 48}, {10, 20, 30, 187}},
      // speed 0 steps once per 10 ticks: ten ticks make the first step
      {"slow speed", 0, 1, 1, 10, {255, 5, 0, 255}, {255, 32, 0, 255}, {182, 255, 0, 255}},
      {"slow speed, one short", 0, 1, 1, 9, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    Rig rig;
    rig.Mode(1, c.speed, c.dir, c.multi, 4, 10, 20, 30);
    rig.Steps(c.steps);
    EXPECT_EQ(rig.leds[120], c.key120) << c.name;
    EXPECT_EQ(rig.leds[21], c.key21) << c.name;
    EXPECT_EQ(rig.leds[3], c.key3) << c.name;
  }
}

TEST(LightingFrames, ThresholdsFollowModeAndSpeed) {
  Rig rig;
  const struct {
    int mode, speed, threshold;
  } cases[] = {{1, 0, 10}, {1, 4, 1}, {5, 2, 5}, {16, 0, 3}, {16, 4, 3}, {18, 1, 3},
               {32, 0, 1}, {32, 3, 0}, {34, 4, 0}, {29, 0, 2}, {29, 4, 2}, {0, 2, 0}, {23, 2, 0}};
  for (const auto& c : cases) {
    rig.Mode(c.mode, c.speed, 1, 1);
    EXPECT_EQ(rig.fx.Threshold(), c.threshold) << c.mode << "/" << c.speed;
  }
  // Mode 16 at any speed moves every third tick.
  rig.Mode(16, 4, 1, 0);
  rig.Steps(2);
  EXPECT_EQ(rig.fx.WaveFront(0, 0), 0);  // the seed at column 1 has not moved yet
  rig.Steps(1);
  EXPECT_EQ(rig.fx.WaveFront(0, 0), 1);  // front A spread one column left
}

TEST(LightingFrames, BreathingFollowsTheCurve) {
  // Single colour at brightness 2 (135): intensity B[step] * 135 / 256.
  Rig rig;
  rig.Mode(5, 4, 1, 0, 2, 100, 150, 200);
  rig.Steps(1);
  EXPECT_EQ(rig.leds[0], (C{100, 150, 200, 0}));  // B[1] = 1
  rig.Steps(29);
  EXPECT_EQ(rig.leds[0], (C{100, 150, 200, 36}));  // B[30] = 69
  rig.Steps(34);
  EXPECT_EQ(rig.leds[0], (C{100, 150, 200, 134}));  // B[64] = 255
  rig.Steps(64);
  EXPECT_EQ(rig.leds[0], (C{100, 150, 200, 0}));  // step 128 is step 0 again
  // Multicolour: column c takes W[7c]; key 1 is in column 3 → W[21].
  rig.Mode(5, 4, 1, 1, 4);
  rig.Steps(63);
  EXPECT_EQ(rig.leds[1], (C{255, 129, 0, 254}));  // B[63] = 255
}

TEST(LightingFrames, RippleLightsNeighboursAndFadesThemUnlessAKeyIsHeld) {
  // Key 52 is at column 11, row 2. Single colour green at full brightness.
  Rig rig;
  rig.Mode(25, 4, 1, 0, 4, 0, 255, 0);
  rig.fx.OnKeyEvent(52, true);
  EXPECT_EQ(rig.fx.Level(52), 255);
  EXPECT_EQ(rig.fx.Level(31), 150);  // direct, row above
  EXPECT_EQ(rig.fx.Level(51), 150);  // direct, column left
  EXPECT_EQ(rig.fx.Level(30), 90);   // diagonal
  EXPECT_EQ(rig.fx.Level(8), 90);    // two rows up
  EXPECT_EQ(rig.fx.Level(50), 60);   // two columns left
  EXPECT_EQ(rig.fx.Level(29), 0);    // outside
  rig.Steps(1);                      // rising: +15
  EXPECT_EQ(rig.leds[31], (C{0, 255, 0, 164}));  // 165 * 255 / 256
  EXPECT_EQ(rig.leds[50], (C{0, 255, 0, 74}));   // 75
  rig.fx.OnKeyEvent(52, false);
  EXPECT_EQ(rig.fx.Level(31), 150);  // 165 - 15
  EXPECT_EQ(rig.fx.Level(30), 15);   // 105 - 90
  EXPECT_EQ(rig.fx.Level(50), 0);    // 75 - 90, not below 0
  EXPECT_EQ(rig.fx.RippleState(52), 2);
  rig.Steps(1);  // falling: -5
  EXPECT_EQ(rig.leds[31], (C{0, 255, 0, 144}));  // 145
  EXPECT_EQ(rig.leds[52], (C{0, 255, 0, 249}));  // 250

  // With key 53 (column 12, row 2) held, releasing 52 leaves 53's neighbours lit.
  Rig held;
  held.Mode(25, 4, 1, 0, 4, 0, 255, 0);
  held.fx.OnKeyEvent(52, true);
  held.fx.OnKeyEvent(53, true);
  held.fx.OnKeyEvent(52, false);
  EXPECT_EQ(held.fx.Level(31), 240);  // 150 from 52, 90 from 53 (diagonal); kept
  EXPECT_EQ(held.fx.RippleState(31), 1);
  EXPECT_EQ(held.fx.RippleState(53), 1);  // the held key itself keeps rising
  EXPECT_EQ(held.fx.RippleState(52), 1);  // 52 has a held neighbour: no fading yet
  EXPECT_EQ(held.fx.Level(8), 0);         // two rows above 52, far from 53: 90 - 90
}

TEST(LightingFrames, EffectListPlaysStepsForTheirTimeAndEmptyIsDark) {
  Rig rig;
  LedEffectStep a;
  a.mode = 1;  // static
  a.brightness = 4;
  a.red = 1, a.green = 2, a.blue = 3;
  a.time = 100;
  LedEffectStep b = a;
  b.brightness = 1;  // 80
  b.red = 9, b.green = 8, b.blue = 7;
  LedEffectStep breath = a;
  breath.mode = 0;  // breathing, speed 4: one curve step per pass
  breath.speed = 4;
  breath.brightness = 2;
  rig.fx.SetEffectList({a, b, breath});
  rig.Mode(0, 2, 1, 0);
  rig.Steps(1);
  EXPECT_EQ(rig.leds[7], (C{1, 2, 3, 255}));
  rig.now += 99;
  rig.Steps(1);
  EXPECT_EQ(rig.fx.CurrentEffectStep(), 0);
  rig.now += 1;
  rig.Steps(1);  // still step a this pass, then its 100 ms are up
  EXPECT_EQ(rig.fx.CurrentEffectStep(), 1);
  rig.Steps(1);
  EXPECT_EQ(rig.leds[169], (C{9, 8, 7, 80}));
  rig.now += 100;
  rig.Steps(2);
  EXPECT_EQ(rig.fx.CurrentEffectStep(), 2);
  rig.Steps(29);  // breathing index 30: B[30] = 69, * 135 / 256
  EXPECT_EQ(rig.leds[0], (C{1, 2, 3, 36}));
  rig.now += 100;
  rig.Steps(1);
  EXPECT_EQ(rig.fx.CurrentEffectStep(), 0);  // after the last, the first

  Rig empty;
  for (auto& l : empty.leds) l = {50, 50, 50, 50};
  empty.Mode(0, 2, 1, 0);
  empty.Steps(1);
  for (const auto& l : empty.leds) ASSERT_EQ(l, C{});
}

TEST(LightingFrames, PerKeyEffectsOverlayTheCurrentEffect) {
  Rig rig;
  std::vector<LightListEntry> table(170);
  auto entry = [&](int led, int mode, int brightness, int speed, uint8_t r, uint8_t g, uint8_t b) {
    LightListEntry& e = table[static_cast<std::size_t>(led)];
    e.mode = static_cast<uint8_t>(mode);
    e.brightness = static_cast<uint8_t>(brightness);
    e.speed = static_cast<uint8_t>(speed);
    e.red = r, e.green = g, e.blue = b;
    e.valid = 1;
  };
  entry(5, 1, 2, 0, 200, 0, 0);  // static at 135
  entry(6, 4, 4, 0, 9, 9, 9);    // off
  entry(7, 1, 4, 0, 1, 1, 1);
  table[7].valid = 0;            // not valid: the effect shows
  entry(8, 0, 4, 0, 0, 0, 250);  // breathing: index + 4 per pass
  entry(9, 2, 4, 4, 0, 99, 0);   // blink every 200 ms
  entry(10, 3, 4, 4, 0, 0, 0);   // colour cycle: hue + 1 per pass at speed 4
  rig.fx.SetCustomTable(table);
  rig.Mode(6, 4, 1, 0, 4, 10, 10, 10);  // static single colour underneath
  rig.Steps(1);
  EXPECT_EQ(rig.leds[5], (C{200, 0, 0, 135}));
  EXPECT_EQ(rig.leds[6], C{});
  EXPECT_EQ(rig.leds[7], (C{10, 10, 10, 255}));
  EXPECT_EQ(rig.leds[8], (C{0, 0, 250, 3}));  // B[4] = 4
  EXPECT_EQ(rig.leds[9], C{});                 // blink starts dark
  EXPECT_EQ(rig.leds[10], (C{255, 3, 0, 255}));  // W[1]
  rig.Steps(15);
  EXPECT_EQ(rig.leds[8], (C{0, 0, 250, 254}));  // index 64: B = 255
  rig.now += 200;
  rig.Steps(1);
  EXPECT_EQ(rig.leds[9], (C{0, 99, 0, 255}));
  rig.now += 199;
  rig.Steps(1);
  EXPECT_EQ(rig.leds[9], (C{0, 99, 0, 255}));
  rig.now += 1;
  rig.Steps(1);
  EXPECT_EQ(rig.leds[9], C{});
  // A new Apply restarts the per-key states.
  rig.fx.Apply();
  rig.Steps(1);
  EXPECT_EQ(rig.leds[8], (C{0, 0, 250, 3}));
}

// The thread wakes once per frame of three ticks: a batch of ticks moves
// every look as far as the same ticks one by one; a stall is not replayed.
TEST(LightingFrames, ABatchOfTicksStepsAsFarAsSingleTicks) {
  std::vector<LightListEntry> overlay(170);
  for (std::size_t i = 0; i < overlay.size(); ++i) {
    overlay[i].mode = static_cast<uint8_t>(i % 4);  // breathing, static, blink, cycle
    overlay[i].speed = 4;
    overlay[i].brightness = 4;
    overlay[i].multiColor = 1;
    overlay[i].valid = 1;
  }
  const struct {
    const char* name;
    int mode, speed;
    bool overlay;
  } cases[] = {
      {"wave, a step every tick", 1, 4, false},
      {"wave, a step every other tick", 1, 3, false},
      {"breathing, slow", 5, 0, false},
      {"spectrum under per-key effects", 4, 4, true},
  };
  for (const auto& c : cases) {
    Rig single, batch;
    for (Rig* r : {&single, &batch}) {
      if (c.overlay) r->fx.SetCustomTable(overlay);
      r->Mode(c.mode, c.speed, 1, 1);
    }
    for (int frame = 1; frame <= 10; ++frame) {
      for (int t = 0; t < lightfx::kFrameTicks; ++t) single.fx.Advance(1);
      batch.fx.Advance(lightfx::kFrameTicks);
      ASSERT_EQ(single.leds, batch.leds) << c.name << ", frame " << frame;
    }
  }
  // After a long stall a few ticks are replayed, not all of them.
  Rig stalled, fresh;
  stalled.Mode(1, 4, 1, 1);
  fresh.Mode(1, 4, 1, 1);
  stalled.fx.Advance(1000);
  for (int t = 0; t < lightfx::kReplayTicks; ++t) fresh.fx.Advance(1);
  EXPECT_EQ(stalled.leds, fresh.leds);
}

TEST(LightingFrames, CustomColourModeKeepsColoursAndOnlyTakesKeysInMode20) {
  Rig rig;
  rig.Mode(6, 4, 1, 0, 4, 1, 2, 3);
  EXPECT_FALSE(rig.fx.SetKeyCustomColour(4));  // not in mode 20
  rig.Mode(20, 4, 1, 0, 3, 7, 8, 9);
  std::vector<LedColour> colours(170, C{40, 50, 60, 0});
  rig.fx.SetCustomColours(colours);
  EXPECT_TRUE(rig.fx.SetKeyCustomColour(4));
  EXPECT_FALSE(rig.fx.SetKeyCustomColour(170));
  rig.Steps(3);
  EXPECT_EQ(rig.leds[3], (C{40, 50, 60, 195}));
  EXPECT_EQ(rig.leds[4], (C{7, 8, 9, 195}));
  rig.fx.FillCustomColours(false);
  EXPECT_EQ(rig.leds[125], (C{0, 0, 0, 195}));
  EXPECT_EQ(rig.leds[126], (C{40, 50, 60, 195}));
}

TEST(LightingFrames, AShorterTableIsNeverWrittenPastItsEnd) {
  // A page with fewer LEDs (or a table re-pointed after a resize): the sanitizers
  // catch any write past the 20 entries.
  std::vector<LedColour> small(20);
  std::vector<LedColour> none;
  CKeyboardLighting fx(none);
  fx.Attach(small);
  LightInfo info;
  info.light = 4;
  info.speed = 4;
  info.multiColor = 1;
  for (int mode : {1, 4, 6, 11, 19, 20, 26, 33}) {
    info.selectItem = static_cast<uint8_t>(mode);
    fx.SetLightInfo(info);
    fx.Apply();
    bool lit = false;
    for (int i = 0; i < 200; ++i) {
      fx.Step();
      for (const auto& l : small) lit |= l.alpha != 0;
    }
    EXPECT_TRUE(lit) << mode;
  }
}

TEST(LightingFrames, CustomPayloadAndStreamFramePlaceColoursByLedMap) {
  Rig rig;
  std::array<uint8_t, 170> map;
  map.fill(255);
  map[0] = 5;
  map[1] = 169;
  map[2] = 170;  // would run past the 512-byte group: skipped
  rig.fx.SetKeyToLedMap(map);
  rig.leds[0] = {10, 20, 30, 128};
  rig.leds[1] = {200, 100, 50, 255};
  rig.leds[2] = {1, 1, 1, 255};
  rig.leds[3] = {9, 9, 9, 255};  // no LED
  const auto payload = rig.fx.BuildCustomPayload();
  std::array<uint8_t, 512> want{};
  want[15] = 10, want[16] = 20, want[17] = 30;
  want[507] = 200, want[508] = 100, want[509] = 50;
  EXPECT_EQ(payload, want);
  const auto scaled = rig.fx.BuildCustomPayload(true);
  EXPECT_EQ(scaled[15], 5);
  EXPECT_EQ(scaled[16], 10);
  EXPECT_EQ(scaled[508], 99);  // 100 * 255 / 256
  const auto frame = rig.fx.BuildStreamFrame(170);
  ASSERT_EQ(frame.size(), 510u);
  EXPECT_EQ(frame[15], 5);
  EXPECT_EQ(frame[509], 49);  // 50 * 255 / 256
  EXPECT_EQ(rig.fx.BuildStreamFrame(4).size(), 12u);  // a shorter keyboard takes a shorter frame
}

TEST(LightingFrames, ReactiveWaveFrontsMoveByTheirRules) {
  Rig rig;
  rig.Mode(8, 4, 1, 0, 4, 255, 0, 0);
  rig.fx.OnKeyEvent(52, true);  // column 11, row 2 → bit 2 at column 11 of every front
  for (int f = 0; f < 4; ++f) EXPECT_EQ(rig.fx.WaveFront(f, 11), 4) << f;
  rig.Steps(1);
  EXPECT_EQ(rig.fx.Level(52), 215);  // lit to 255, then one decay of 40
  // A spreads left and shifts down a bit; D spreads left and shifts up.
  EXPECT_EQ(rig.fx.WaveFront(0, 10), 4);
  EXPECT_EQ(rig.fx.WaveFront(0, 11), 2);
  EXPECT_EQ(rig.fx.WaveFront(3, 10), 4);
  EXPECT_EQ(rig.fx.WaveFront(3, 11), 8);
  // B spreads right and down-shifts; C spreads right and up-shifts.
  EXPECT_EQ(rig.fx.WaveFront(1, 12), 4);
  EXPECT_EQ(rig.fx.WaveFront(1, 11), 2);
  EXPECT_EQ(rig.fx.WaveFront(2, 12), 4);
  EXPECT_EQ(rig.fx.WaveFront(2, 11), 8);
  rig.Steps(1);
  // Row 1 and row 3 of column 11 (keys 31, 73) and column 10/12 row 2 (51, 53) are lit now.
  for (int k : {31, 73, 51, 53}) EXPECT_EQ(rig.fx.Level(k), 215) << k;
  EXPECT_EQ(rig.leds[31], (C{255, 0, 0, 214}));
}

TEST(LightingFrames, FireworkLaunchesAgainAfterItsBurst) {
  // Launch, burst, a wave from key 52 down to key 125, then the next launch.
  // A launch step lights all six keys of the first launch row at once (255,
  // then one decay of 40), which the burst and the wave never do.
  Rig rig;
  rig.Mode(14, 4, 1, 1);
  int launchSteps = 0;
  for (int i = 0; i < 3000; ++i) {
    rig.Steps(1);
    bool all = true;
    for (int k : {107, 87, 125, 110, 115, 116}) all &= rig.fx.Level(k) == 215;
    launchSteps += all;
  }
  // The first launch row is held for three steps per launch; several launches
  // show the state machine returned to the start each time.
  EXPECT_GE(launchSteps, 9);
}

TEST(LightingFrames, OrderListModesLeaveOtherKeysDark) {
  // Mode 32 runs over the keys of the order list only: key 120 (not in it) stays dark.
  Rig rig;
  rig.Mode(32, 4, 1, 0, 4, 0, 0, 255);
  for (int i = 0; i < 400; ++i) {
    rig.Steps(1);
    ASSERT_EQ(rig.leds[120], C{}) << i;
    ASSERT_EQ(rig.leds[16], C{}) << i;
  }
  // The run order's first key is lit at 254 and decays by 40 on the same step.
  Rig first;
  first.Mode(32, 4, 1, 0, 4, 0, 0, 255);
  first.Steps(1);
  EXPECT_EQ(first.fx.Level(0), 214);  // key 0 opens the run order
}

TEST(LightingFrames, EveryModeStepsWithinTheTable) {
  // Each mode index, with and without multicolour, runs for a while without
  // touching memory beyond the table (the sanitizers watch) and keeps the
  // intensity consistent with dark LEDs.
  for (int mode = 0; mode < 40; ++mode)
    for (int multi = 0; multi < 2; ++multi) {
      Rig rig;
      rig.fx.SetSeed(static_cast<uint32_t>(mode));
      AudioLightInfo audio;
      audio.audioMode = static_cast<uint8_t>(mode % 8);
      audio.sevenColor = static_cast<uint8_t>(multi);
      rig.fx.SetAudioLightInfo(audio);
      rig.Mode(mode, mode % 5, mode % 2, multi, 4, 10, 20, 30);
      std::array<int32_t, 25> spectrum{};
      for (int i = 0; i < 25; ++i) spectrum[static_cast<std::size_t>(i)] = i * 90;
      bool lit = false;
      for (int i = 0; i < 500; ++i) {
        if (i % 3 == 0) rig.fx.FeedAudioSpectrum(spectrum.data(), sizeof spectrum);
        if (i % 17 == 0) rig.fx.OnKeyEvent((i * 7) % 126, (i / 17) % 2 == 0);
        rig.now += 16;
        rig.Steps(1);
        for (const auto& l : rig.leds) lit |= l.alpha != 0;
      }
      // Off and the (empty) effect-list modes stay dark; every other mode shows something.
      const bool effectList = mode == 0 || (mode >= 22 && mode <= 24) || mode == 28 || mode == 31 || mode >= 35;
      EXPECT_EQ(lit, !(mode == 21 || effectList)) << "mode " << mode << " multi " << multi;
    }
}

TEST(LightingFrames, AudioColumnsRiseWithTheLevelAndFallFromTheTop) {
  // Column 3 holds keys 1, 23, 44, 65, 85 (rows 0..4) and shows bin 3.
  // Height 600 - v * 600 / 2000; rows r >= (height + 100) * 6 / 600 are lit.
  const struct {
    int32_t level;
    std::array<bool, 5> lit;  // keys 1, 23, 44, 65, 85
  } cases[] = {
      {0, {false, false, false, false, false}},
      {1000, {false, false, false, false, true}},  // height 300: rows 4, 5
      {2000, {false, true, true, true, true}},     // height 0: rows 1..5
      {9000, {false, true, true, true, true}},     // louder than full stays full
  };
  const int keys[] = {1, 23, 44, 65, 85};
  for (const auto& c : cases) {
    Rig rig;
    AudioLightInfo audio;
    audio.fgBlue = 255;
    audio.bkRed = audio.bkGreen = audio.bkBlue = 5;
    rig.fx.SetAudioLightInfo(audio);
    rig.Mode(29, 0, 1, 0);
    std::array<int32_t, 25> spectrum{};
    spectrum[3] = c.level;
    rig.fx.FeedAudioSpectrum(spectrum.data(), sizeof spectrum);
    rig.Steps(2);  // mode 29 steps once the count exceeds 1
    const C bar{0, 0, 255, 254}, background{5, 5, 5, 255};
    for (int i = 0; i < 5; ++i)
      EXPECT_EQ(rig.leds[static_cast<std::size_t>(keys[i])], c.lit[static_cast<std::size_t>(i)] ? bar : background)
          << c.level << " key " << keys[i];
    if (c.level != 2000) continue;
    // The frame was used up: the top of the bar fades first, the rest waits for it.
    rig.Steps(2);
    EXPECT_EQ(rig.leds[23], (C{0, 0, 255, 209}));  // 255 - 45
    EXPECT_EQ(rig.leds[44], (C{0, 0, 255, 254}));
  }
}

TEST(EffectLists, ReadFromTheDataFilesAndKeptWhenMissing) {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("korvale-fx-" + std::to_string(::getpid()));
  fs::create_directories(dir / "user");
  std::ofstream(dir / "user" / "macro.config") << R"({"MacroInfo":[{"MacroName":"one"},{"MacroName":"two"}]})";
  std::ofstream(dir / "user" / "velmo_light.config")
      << R"({"LightInfo":[[{"LightName":"mine"}],[{"LightName":"a"},{"LightName":"b"}]]})";
  EffectLists lists;
  LoadEffectLists(lists, fs::path(KORVALE_SOURCE_DIR) / "data" / "DefaultData", dir / "user", 1);
  EXPECT_EQ(lists.macroNames, (std::vector<std::string>{"one", "two"}));
  ASSERT_EQ(lists.names.size(), 12u);  // the shipped list of model 1
  EXPECT_EQ(lists.values.size(), 12u);
  EXPECT_EQ(lists.visible.size(), 12u);
  EXPECT_EQ(lists.userNames, (std::vector<std::string>{"a", "b"}));

  // A model the files do not have leaves the lists as they were; macros are reread.
  fs::remove(dir / "user" / "macro.config");
  LoadEffectLists(lists, fs::path(KORVALE_SOURCE_DIR) / "data" / "DefaultData", dir / "user", 7);
  EXPECT_TRUE(lists.macroNames.empty());
  EXPECT_EQ(lists.names.size(), 12u);
  EXPECT_EQ(lists.userNames, (std::vector<std::string>{"a", "b"}));
  fs::remove_all(dir);
}

}  // namespace
}  // namespace korvale
