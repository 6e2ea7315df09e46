// The lighting engine against korvale-emu over the virtual bus: custom colour
// groups written and read back, the LED stream's pace, its yielding to a
// download, and the light thread's wake-ups and stop.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <thread>
#include <vector>

#include "devices/keyboard_lighting.h"
#include "hid/hid_device.h"
#include "platform/trace.h"
#include "profiles/device_profiledata.h"
#include "protocol/device_comm.h"
#include "tests/support/bus_paths.h"
#include "tests/support/emu_process.h"
#include "tests/support/journal.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"

namespace korvale {
namespace {

namespace fs = std::filesystem;
using Ms = std::chrono::milliseconds;
using testing::Packet;
using testing::Written;

std::string KeyboardPath(int collection) { return testing::BusPath("keyboard", collection); }

LightInfo Info(int mode, int group = 0) {
  LightInfo info;
  info.selectItem = static_cast<uint8_t>(mode);
  info.light = 4;
  info.speed = 4;
  info.customGroup = static_cast<uint8_t>(group);
  return info;
}

class LightingDeviceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = tmp_.Path();
    ::setenv("KORVALE_VHID_DIR", (dir_ / "bus").c_str(), 1);
    CHidDevice::SetHidrawEnabled(false);
    ASSERT_TRUE(emu_.Start({"--dir", (dir_ / "bus").string(), "keyboard"}));
    ASSERT_EQ(emu_.Line().rfind("keyboard", 0), 0u);
    const std::string path = KeyboardPath(4);
    ASSERT_FALSE(path.empty());
    ASSERT_TRUE(comm_.cableChannel.Open(path, true, true, true, false));
    comm_.SetConnectionMode(proto::kModeCable);
    comm_.opened = 1;
  }
  void TearDown() override {
    comm_.opened = 0;
    comm_.cableChannel.Close();
    emu_.Kill();
  }
  std::vector<Packet> Journal() { return testing::ParseJournal(emu_.Listing("journal keyboard")); }
  void ClearJournal() { ASSERT_EQ(emu_.Command("journal-clear keyboard"), "ok journal-clear keyboard"); }

  testing::TempDir tmp_{"korvale-light"};
  fs::path dir_;
  testing::EmuProcess emu_;
  CDeviceComm comm_;
};

TEST_F(LightingDeviceTest, CustomGroupIsWrittenAndReadBack) {
  std::vector<LedColour> a(170), b(170);
  CKeyboardLighting writer(a), reader(b);
  std::vector<LedColour> colours(170);
  for (int i = 0; i < 170; ++i)
    colours[static_cast<std::size_t>(i)] = {static_cast<uint8_t>(i), static_cast<uint8_t>(255 - i),
                                            static_cast<uint8_t>(i * 3), 0};
  // Outside mode 20 nothing is written.
  writer.SetLightInfo(Info(6, 2));
  ClearJournal();
  EXPECT_EQ(writer.WriteCustomColoursToDevice(comm_, 170), 0);
  EXPECT_TRUE(Journal().empty());

  writer.SetLightInfo(Info(20, 2));
  writer.Apply();
  writer.SetCustomColours(colours);
  ASSERT_EQ(writer.WriteCustomColoursToDevice(comm_, 170), CMD_OK);
  const auto packets = Journal();
  ASSERT_FALSE(packets.empty());
  EXPECT_EQ(packets.front().off, 2 * 512);  // group 2
  const auto written = Written(packets, 0x0B);
  ASSERT_EQ(written.size(), 2u * 512 + 510);
  EXPECT_EQ(written[1024 + 3 * 7 + 1], 248);  // LED 7's green

  reader.SetLightInfo(Info(20, 2));
  ASSERT_EQ(reader.ReadCustomColoursFromDevice(comm_, 170), CMD_OK);
  for (int i = 0; i < 170; ++i) {
    const LedColour got = reader.Led(i);
    const LedColour& want = colours[static_cast<std::size_t>(i)];
    ASSERT_EQ((std::array<int, 3>{got.red, got.green, got.blue}), (std::array<int, 3>{want.red, want.green, want.blue})) << i;
  }
  // Another group was never written.
  std::vector<LedColour> c(170);
  CKeyboardLighting other(c);
  other.SetLightInfo(Info(20, 1));
  ASSERT_EQ(other.ReadCustomColoursFromDevice(comm_, 170), CMD_OK);
  EXPECT_EQ(other.Led(7), LedColour{});
}

TEST_F(LightingDeviceTest, ProfileColoursGoToTheKeyboardAndComeBack) {
  std::vector<LedColour> leds(170);
  CKeyboardLighting fx(leds);
  fx.SetLightInfo(Info(20, 0));
  fx.Apply();
  CKeyboardProfiledata profile;
  profile.WriteCustomGroupIndex(3);
  std::vector<LedColour> colours(170, LedColour{1, 2, 3, 0});
  colours[9] = {90, 91, 92, 0};
  profile.WriteCustomColours(colours, 3);
  ClearJournal();
  EXPECT_EQ(fx.LoadCustomColoursToDevice(profile, comm_, 170), 3);
  EXPECT_EQ(fx.GetLightInfo().customGroup, 3);
  const auto written = Written(Journal(), 0x0B);
  ASSERT_EQ(written.size(), 3u * 512 + 510);
  EXPECT_EQ((std::vector<uint8_t>(written.begin() + 1536 + 27, written.begin() + 1536 + 30)),
            (std::vector<uint8_t>{90, 91, 92}));

  // The keyboard's colours win when it reports mode 20: they land in the profile.
  std::vector<uint8_t> device(510, 7);
  device[30] = 200;  // LED 10's red
  ASSERT_EQ(comm_.WriteCustomLight(device.data(), 510, 3), CMD_OK);
  ClearJournal();
  ASSERT_EQ(fx.SyncCustomColoursFromDevice(profile, comm_, 170), CMD_OK);
  const auto stored = profile.ReadCustomColours(3, 170);
  ASSERT_EQ(stored.size(), 170u);
  EXPECT_EQ(stored[10].red, 200);
  EXPECT_EQ(stored[9].red, 7);
  EXPECT_EQ(fx.Led(10).red, 200);
  // Read, then the same colours written back.
  const auto packets = Journal();
  ASSERT_FALSE(packets.empty());
  EXPECT_EQ(packets.front().cmd, 0x0A);
  EXPECT_EQ(Written(packets, 0x0B).back(), 7);
}

// Frames sent, counted on the emulator's side: a frame's first packet has offset 0.
int StreamFrames(const std::vector<Packet>& packets) {
  int frames = 0;
  for (const Packet& p : packets) frames += p.cmd == 0x12 && p.off == 0;
  return frames;
}

TEST_F(LightingDeviceTest, StreamSendsAtMostOneFramePerFiftyMs) {
  std::vector<LedColour> leds(170);
  CKeyboardLighting fx(leds);
  fx.SetLightInfo(Info(30));
  fx.Apply();
  const int32_t colours[6] = {200, 100, 50, 0, 0, 0};
  fx.FeedAudioColours(colours, 6);
  fx.Step();
  uint64_t now = 5000;
  fx.SetClock([&] { return now; });
  ClearJournal();
  // Asked every millisecond for 600 ms: a frame at once, then one per 50 ms.
  int sent = 0;
  for (; now < 5600; ++now) {
    const int r = fx.StreamIfDue(comm_, 170);
    ASSERT_GE(r, 0);
    sent += r;
  }
  const auto packets = Journal();
  EXPECT_EQ(StreamFrames(packets), sent);
  EXPECT_EQ(sent, 12);
  const auto frame = Written(packets, 0x12);
  ASSERT_EQ(frame.size(), 510u);
  EXPECT_EQ(frame[0], 199);  // 200 * 255 / 256
  EXPECT_EQ(frame[1], 99);
  EXPECT_EQ(frame[2], 49);

  // Modes other than 29 and 30 never stream.
  fx.SetLightInfo(Info(6));
  ClearJournal();
  EXPECT_EQ(fx.StreamIfDue(comm_, 170), 0);
  EXPECT_EQ(StreamFrames(Journal()), 0);
}

TEST_F(LightingDeviceTest, FailedStreamHoldsBackTwoHundredMs) {
  std::vector<LedColour> leds(170);
  CKeyboardLighting fx(leds);
  uint64_t now = 5000;
  fx.SetClock([&] { return now; });
  fx.SetLightInfo(Info(29));
  ASSERT_EQ(emu_.Command("unplug keyboard"), "ok unplug keyboard");
  EXPECT_LT(fx.StreamIfDue(comm_, 170), 0);
  now += 50;
  EXPECT_EQ(fx.StreamIfDue(comm_, 170), 0);  // not due yet: nothing tried
  now += 149;
  EXPECT_EQ(fx.StreamIfDue(comm_, 170), 0);
  now += 1;
  EXPECT_LT(fx.StreamIfDue(comm_, 170), 0);  // tried again, fails again
}

TEST_F(LightingDeviceTest, StreamYieldsToAConcurrentDownload) {
  std::vector<LedColour> leds(170);
  CKeyboardLighting fx(leds);
  fx.SetLightInfo(Info(30));
  fx.Apply();
  std::vector<uint8_t> macro(4096);
  for (std::size_t i = 0; i < macro.size(); ++i) macro[i] = static_cast<uint8_t>(i * 7 + 1);
  ClearJournal();
  std::atomic<bool> done{false};
  std::atomic<int> downloads{0}, failures{0};
  std::thread download([&] {
    for (int n = 0; n < 5; ++n) (comm_.WriteMacro(macro.data(), static_cast<uint32_t>(macro.size())) == CMD_OK ? downloads : failures)++;
    done = true;
  });
  int streamFailures = 0;
  while (!done) {
    streamFailures += fx.StreamIfDue(comm_, 170) < 0;
    std::this_thread::sleep_for(Ms(1));
  }
  download.join();
  EXPECT_EQ(downloads.load(), 5);
  EXPECT_EQ(failures.load(), 0);
  EXPECT_EQ(streamFailures, 0);
  const auto written = Written(Journal(), 0x15);
  EXPECT_EQ(written, macro);  // the download arrived whole
}

// The light thread on a clock of the test's own: it sleeps until the test
// moves the clock and nudges it, so every wake-up is the test's doing.
class LightThreadTest : public ::testing::Test {
 protected:
  static constexpr int kWaitMs = 5000;

  void SetUp() override { thread_.SetClock([this] { return now_.load(); }); }
  void TearDown() override { thread_.Stop(); }

  // The latest place the thread went to sleep.
  CLightThread::IdlePoint Idle() { return thread_.WaitIdle(0, 0); }
  // Waits until the thread sleeps with pred true of its idle point.
  template <class Pred>
  bool SleepsWith(Pred pred) {
    return testing::WaitFor([&] { return pred(Idle()); }, kWaitMs);
  }
  // Moves the clock on while the thread sleeps and waits until it has acted
  // on it and sleeps again.
  CLightThread::IdlePoint Pass(int ticks) {
    const uint64_t before = Idle().count;
    now_ += static_cast<uint64_t>(ticks) * lightfx::kTickMs;
    thread_.Nudge();
    return thread_.WaitIdle(before, kWaitMs);
  }

  std::atomic<uint64_t> now_{100000};
  std::vector<LedColour> leds_ = std::vector<LedColour>(170);
  CKeyboardLighting fx_{leds_};
  CDeviceComm comm_;  // closed until a test opens it
  CLightThread thread_;  // stops before the engine goes
};

TEST_F(LightThreadTest, SleepsUntilAStepIsDueAndStopsAtOnce) {
  LightInfo info = Info(1);
  info.speed = 0;  // a step every 10 ticks
  info.multiColor = 1;
  fx_.SetLightInfo(info);
  fx_.Apply();
  thread_.Start(fx_);
  // It sleeps for the whole pause of the wave, not a tick at a time.
  CLightThread::IdlePoint idle = thread_.WaitIdle(0, kWaitMs);
  ASSERT_EQ(idle.count, 1u);
  EXPECT_FALSE(idle.closed);
  EXPECT_EQ(idle.dueTicks, 10);
  EXPECT_EQ(thread_.Wakes(), 0u);
  for (int step = 1; step <= 3; ++step) {
    idle = Pass(10);
    ASSERT_EQ(idle.count, static_cast<uint64_t>(step) + 1);
    EXPECT_EQ(thread_.Wakes(), static_cast<uint64_t>(step));
    EXPECT_EQ(idle.dueTicks, 10);
  }
  EXPECT_NE(fx_.Led(120), LedColour{});  // it stepped the wave
  // Stop wakes the sleeping thread: its clock never reaches the next step.
  thread_.Stop();
  EXPECT_FALSE(thread_.Running());
  EXPECT_EQ(thread_.Wakes(), 3u);
  EXPECT_TRUE(TraceSink::Instance().Contains("KB灯光线程设定退出"));
}

TEST_F(LightThreadTest, ANewModeWakesTheSleepingThread) {
  LightInfo info = Info(21);  // off, speed 0: it sleeps 10 ticks between steps
  info.speed = 0;
  fx_.SetLightInfo(info);
  fx_.Apply();
  thread_.Start(fx_);
  ASSERT_EQ(thread_.WaitIdle(0, kWaitMs).dueTicks, 10);
  LightInfo stat = Info(6);  // static single colour, at every tick
  stat.red = 9;
  stat.speed = 4;
  fx_.SetLightInfo(stat);
  fx_.Apply();
  // The change wakes it at once and it plans the new pace (one frame), the
  // old pause not waited out.
  ASSERT_TRUE(SleepsWith([](const CLightThread::IdlePoint& p) { return p.dueTicks == lightfx::kFrameTicks; }));
  EXPECT_EQ(thread_.Wakes(), 0u);
  Pass(lightfx::kFrameTicks);
  EXPECT_EQ(thread_.Wakes(), 1u);
  EXPECT_EQ(fx_.Led(0).red, 9);
}

TEST_F(LightThreadTest, IdlesWhileTheKeyboardIsAwayAndLeavesSynchronisedLightingAlone) {
  fx_.SetLightInfo(Info(4));  // spectrum: every step changes every LED
  fx_.Apply();
  thread_.Start(fx_, &comm_);
  const CLightThread::IdlePoint away = thread_.WaitIdle(0, kWaitMs);
  ASSERT_TRUE(away.closed);
  EXPECT_TRUE(away.untilChanged);  // the page nudges it when the keyboard comes
  EXPECT_TRUE(Pass(40).closed);  // it looks again, and steps nothing
  EXPECT_EQ(thread_.Wakes(), 0u);
  EXPECT_EQ(fx_.Led(0), LedColour{});
  comm_.opened = 1;
  comm_.lightSync = 1;
  EXPECT_FALSE(Pass(0).closed);
  Pass(20);
  EXPECT_EQ(thread_.Wakes(), 1u);
  EXPECT_EQ(fx_.Led(0), LedColour{});  // woke, but the main window drives the lights
  comm_.lightSync = 0;
  Pass(20);
  EXPECT_EQ(thread_.Wakes(), 2u);
  EXPECT_NE(fx_.Led(0), LedColour{});
  thread_.Stop();
  comm_.opened = 0;
}

// A static look is drawn once; then the thread sleeps with no deadline at
// all. A nudge without a change costs one step and no frame; a change is drawn
// at once and the thread sleeps again.
TEST_F(LightThreadTest, AStillLookIsDrawnOnceThenTheThreadSleepsUntilAChange) {
  LightInfo info = Info(6);  // static single colour, a step every tick
  info.red = 40;
  fx_.SetLightInfo(info);
  fx_.Apply();
  std::atomic<int> frames{0};
  thread_.SetFrameHook([&] { ++frames; });
  thread_.Start(fx_);
  ASSERT_EQ(thread_.WaitIdle(0, kWaitMs).dueTicks, lightfx::kFrameTicks);
  CLightThread::IdlePoint idle = Pass(1);
  EXPECT_EQ(fx_.Led(0).red, 40);
  EXPECT_EQ(frames.load(), 1);
  EXPECT_EQ(thread_.Wakes(), 1u);
  EXPECT_TRUE(idle.untilChanged);

  idle = Pass(1000);  // a nudge, nothing changed: it plans one step
  EXPECT_FALSE(idle.untilChanged);
  idle = Pass(1);
  EXPECT_TRUE(idle.untilChanged);
  EXPECT_EQ(thread_.Wakes(), 2u);
  EXPECT_EQ(frames.load(), 1);  // the same frame: nothing to paint

  info.red = 90;  // a change wakes it and is drawn at its next tick
  fx_.SetLightInfo(info);
  fx_.Apply();
  ASSERT_TRUE(SleepsWith([](const CLightThread::IdlePoint& p) { return !p.untilChanged; }));
  idle = Pass(1);
  EXPECT_EQ(fx_.Led(0).red, 90);
  EXPECT_EQ(frames.load(), 2);
  EXPECT_TRUE(idle.untilChanged);
  // Stop reaches it in its sleep without a deadline.
  thread_.Stop();
  EXPECT_FALSE(thread_.Running());
}

// Without an eye on the preview the thread leaves the engine alone, except in
// the modes that feed the keyboard while lighting control is on.
TEST_F(LightThreadTest, NobodyNeedingTheFramesLeavesTheEngineAlone) {
  LightInfo wave = Info(1);  // a step every tick
  wave.multiColor = 1;
  fx_.SetOutputs(false, true);  // window hidden, lighting control on
  fx_.SetLightInfo(wave);
  fx_.Apply();
  thread_.Start(fx_);
  ASSERT_TRUE(SleepsWith([](const CLightThread::IdlePoint& p) { return p.untilChanged; }));
  EXPECT_TRUE(Pass(50).untilChanged);  // woken, and back asleep without a deadline
  EXPECT_EQ(thread_.Wakes(), 0u);
  EXPECT_EQ(fx_.Led(120), LedColour{});

  // Mode 30 streams to the keyboard: it steps though nobody looks.
  fx_.SetLightInfo(Info(30));
  fx_.Apply();
  ASSERT_TRUE(SleepsWith([](const CLightThread::IdlePoint& p) { return !p.untilChanged; }));
  Pass(1);
  EXPECT_EQ(thread_.Wakes(), 1u);
  fx_.SetOutputs(false, false);  // lighting control off: nothing is streamed
  ASSERT_TRUE(SleepsWith([](const CLightThread::IdlePoint& p) { return p.untilChanged; }));
  EXPECT_TRUE(Pass(50).untilChanged);
  EXPECT_EQ(thread_.Wakes(), 1u);

  // The preview comes into view: the wave runs at its pace again.
  fx_.SetLightInfo(wave);
  fx_.Apply();
  fx_.SetOutputs(true, false);
  ASSERT_TRUE(SleepsWith([](const CLightThread::IdlePoint& p) { return !p.untilChanged && p.dueTicks == lightfx::kFrameTicks; }));
  Pass(1);
  EXPECT_EQ(thread_.Wakes(), 2u);
  EXPECT_NE(fx_.Led(120), LedColour{});
}

}  // namespace
}  // namespace korvale
