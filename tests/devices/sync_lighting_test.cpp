// Synchronised lighting on the shared whole-device effects: direction, hue
// rules, pace, and its thread's idle point.
#include <gtest/gtest.h>

#include <thread>

#include "tests/support/wait.h"
#include "devices/preview_tables.h"
#include "devices/sync_lighting.h"
#include "devices/varnik_usb_device.h"
#include "devices/whole_device_effects.h"

namespace korvale {
namespace {

LedColour Wheel(int i, uint8_t alpha) {
  const auto& w = preview::kWheel[static_cast<std::size_t>(i)];
  return {w.red, w.green, w.blue, alpha};
}

TEST(WholeDeviceCycle, NonZeroRunsForwardZeroBackward) {
  EXPECT_EQ(wholefx::Cycle(1, 128, 0, 1), 1);
  EXPECT_EQ(wholefx::Cycle(1, 128, 127, 1), 0);
  EXPECT_EQ(wholefx::Cycle(7, 192, 190, 1), 191);
  EXPECT_EQ(wholefx::Cycle(0, 128, 0, 1), 127);
  EXPECT_EQ(wholefx::Cycle(0, 128, 5, 1), 4);
  EXPECT_EQ(wholefx::Cycle(0, 96, 1, 3), 93);  // below 0 as a byte: limit - step
}

TEST(SyncLighting, BreathingRunsTheWayTheDirectionSaysAndTurnsTheHueAtTheBottom) {
  SyncLightMode m;
  m.type = 0;
  m.brightness = 4;
  m.multicolour = true;
  // Forward: the first step is step 1, where the hue already moves on.
  m.direction = 1;
  CSyncLighting forward;
  LedColour c = forward.NextColour(m, 0);
  EXPECT_EQ(c, Wheel(16, static_cast<uint8_t>(preview::kBreath[1] * 255 / 256)));
  for (int i = 0; i < 63; ++i) c = forward.NextColour(m, 0);
  EXPECT_EQ(c.alpha, preview::kBreath[64] * 255 / 256);  // the top, halfway
  // Backward: from 0 to 127, the hue stays until the steps come down to 1.
  m.direction = 0;
  CSyncLighting backward;
  c = backward.NextColour(m, 0);
  EXPECT_EQ(c, Wheel(0, static_cast<uint8_t>(preview::kBreath[127] * 255 / 256)));
  for (int i = 0; i < 125; ++i) c = backward.NextColour(m, 0);  // step 2
  EXPECT_EQ(c.red, preview::kWheel[0].red);
  EXPECT_EQ(c.green, preview::kWheel[0].green);
  c = backward.NextColour(m, 0);  // step 1
  EXPECT_EQ(c, Wheel(16, static_cast<uint8_t>(preview::kBreath[1] * 255 / 256)));
  c = backward.NextColour(m, 0);  // step 0: on again
  EXPECT_EQ(c, Wheel(32, 0));
}

TEST(SyncLighting, StaticSpectrumBlinkAndOff) {
  CSyncLighting sync;
  SyncLightMode m;
  m.brightness = 2;
  m.red = 10;
  m.green = 20;
  m.blue = 30;
  m.type = 1;
  EXPECT_EQ(sync.NextColour(m, 0), (LedColour{10, 20, 30, 135}));
  // The spectrum runs forward whatever the direction.
  m.type = 3;
  m.direction = 0;
  EXPECT_EQ(sync.NextColour(m, 0), Wheel(1, 135));
  EXPECT_EQ(sync.NextColour(m, 0), Wheel(2, 135));
  // Blink: toggles after speed-level × 200 ms, the wheel position moving 14.
  m.type = 2;
  m.speed = 3;  // 2 × 200 ms
  m.multicolour = true;
  EXPECT_EQ(sync.NextColour(m, 1000), Wheel(14, 135));
  EXPECT_EQ(sync.NextColour(m, 1399), Wheel(14, 135));
  EXPECT_EQ(sync.NextColour(m, 1400), LedColour{});
  EXPECT_EQ(sync.NextColour(m, 1800), Wheel(42, 135));
  m.type = 4;
  EXPECT_EQ(sync.NextColour(m, 2000), LedColour{});
}

TEST(SyncLighting, StepsOnTheLightThreadsSixteenMillisecondTicks) {
  SyncLightMode m;
  const int expected[] = {128, 96, 64, 32, 16};
  for (int speed = 0; speed < 5; ++speed) {
    m.speed = speed;
    EXPECT_EQ(CSyncLighting::StepIntervalMs(m), expected[speed]) << speed;
  }
  m.speed = 99;
  EXPECT_EQ(CSyncLighting::StepIntervalMs(m), 16);
}

// The thread steps only while its steps change something someone sees: a
// moving look while watched. A static look is drawn once; unwatched or without
// devices it sleeps; every change wakes it to re-plan.
TEST(SyncLighting, ThreadStepsOnlyWhatMovesAndIsWatched) {
  CSyncLighting sync;
  Event stop(Event::Reset::Manual);
  std::thread t([&] { sync.Run(stop); });
  struct Join {
    Event& stop;
    std::thread& t;
    ~Join() {
      stop.Set();
      t.join();
    }
  } join{stop, t};
  ASSERT_TRUE(sync.WaitIdle(std::chrono::seconds(5)));
  const std::uint64_t idle = sync.StepCount();

  CVarnikUSBDevice page;
  page.SetLightCount(4);
  SyncLightMode m;
  m.type = 1;  // static
  m.speed = 4;
  m.brightness = 4;
  m.red = 1;
  m.green = 2;
  m.blue = 3;
  sync.SetMode(m);
  sync.SetDevices({&page});
  // Drawn once, then asleep on no timer.
  ASSERT_TRUE(sync.WaitIdle(std::chrono::seconds(5)));
  EXPECT_EQ(sync.StepCount(), idle + 1);
  EXPECT_EQ(page.GetLedColour(3), PackLedColour(LedColour{1, 2, 3, 255}));
  EXPECT_EQ(page.LightFrames(), 1u);  // the page heard of the frame

  m.type = 0;  // breathing moves: it steps on and on
  sync.SetMode(m);
  ASSERT_TRUE(korvale::testing::WaitFor([&] { return sync.StepCount() >= idle + 4; }, 5000));
  EXPECT_FALSE(sync.WaitIdle(std::chrono::milliseconds(0)));

  // Nobody watching: asleep, the look where it was.
  sync.SetWatched(false);
  ASSERT_TRUE(sync.WaitIdle(std::chrono::seconds(5)));
  const std::uint64_t unwatched = sync.StepCount();
  sync.SetMode(m);  // a change wakes it; still nobody to show it to
  ASSERT_TRUE(sync.WaitIdle(std::chrono::seconds(5)));
  EXPECT_EQ(sync.StepCount(), unwatched);
  sync.SetWatched(true);
  ASSERT_TRUE(korvale::testing::WaitFor([&] { return sync.StepCount() > unwatched; }, 5000));

  // Without devices it sleeps on no timer: once idle, nothing steps.
  sync.SetDevices({});
  ASSERT_TRUE(sync.WaitIdle(std::chrono::seconds(5)));
  const std::uint64_t stopped = sync.StepCount();
  page.SetLedColour(3, 0);
  sync.SetMode(m);  // a change wakes it; it finds nothing to drive
  ASSERT_TRUE(sync.WaitIdle(std::chrono::seconds(5)));
  EXPECT_EQ(sync.StepCount(), stopped);
  EXPECT_EQ(page.GetLedColour(3), 0u);
}

}  // namespace
}  // namespace korvale
