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
#include "tests/support/emu_process.h"

namespace korvale {
namespace {

namespace fs = std::filesystem;
using Ms = std::chrono::milliseconds;
using SteadyClock = std::chrono::steady_clock;

struct Packet {
  int cmd = 0, len = 0, off = 0;
  std::vector<uint8_t> data;
};

std::vector<Packet> ParseJournal(const std::vector<std::string>& lines) {
  std::vector<Packet> out;
  for (const std::string& l : lines) {
    std::istringstream in(l);
    std::string w, hex;
    Packet p;
    in >> w >> std::hex >> p.cmd >> w >> std::dec >> p.len >> w >> p.off >> w >> hex;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
      p.data.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    out.push_back(p);
  }
  return out;
}

// The bytes one command wrote, placed by packet offset.
std::vector<uint8_t> Written(const std::vector<Packet>& packets, int cmd) {
  std::vector<uint8_t> bytes;
  for (const Packet& p : packets) {
    if (p.cmd != cmd) continue;
    if (bytes.size() < static_cast<std::size_t>(p.off + p.len)) bytes.resize(static_cast<std::size_t>(p.off + p.len));
    std::copy(p.data.begin(), p.data.end(), bytes.begin() + p.off);
  }
  return bytes;
}

std::string KeyboardPath(int collection) {
  CHidDevice enumerator;
  enumerator.Enumerate();
  char col[16];
  std::snprintf(col, sizeof col, "&col%02x", collection);
  while (const char* p = enumerator.NextPath()) {
    const std::string path = p;
    if (path.find("/keyboard.sock#") != std::string::npos && path.find(col) != std::string::npos) return path;
  }
  return {};
}

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
    std::string tmpl = (fs::temp_directory_path() / "korvale-light-XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
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
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  std::vector<Packet> Journal() { return ParseJournal(emu_.Listing("journal keyboard")); }
  void ClearJournal() { ASSERT_EQ(emu_.Command("journal-clear keyboard"), "ok journal-clear keyboard"); }

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
  ClearJournal();
  const auto start = SteadyClock::now();
  int sent = 0;
  while (SteadyClock::now() - start < Ms(600)) {
    const int r = fx.StreamIfDue(comm_, 170);
    ASSERT_GE(r, 0);
    sent += r;
    std::this_thread::sleep_for(Ms(1));
  }
  const auto packets = Journal();
  EXPECT_EQ(StreamFrames(packets), sent);
  EXPECT_GE(sent, 6);
  EXPECT_LE(sent, 13);  // 600 ms / 50 ms, plus the first at once
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

TEST(LightThread, SleepsUntilAStepIsDueAndStopsAtOnce) {
  std::vector<LedColour> leds(170);
  CKeyboardLighting fx(leds);
  LightInfo info = Info(1);
  info.speed = 0;  // a step every 10 ticks
  info.multiColor = 1;
  fx.SetLightInfo(info);
  fx.Apply();
  CLightThread thread;
  thread.Start(fx);
  std::this_thread::sleep_for(Ms(700));
  const uint64_t wakes = thread.Wakes();
  // 700 ms at 10 ticks of 16 ms per step: about 4 wake-ups, never one per millisecond.
  EXPECT_GE(wakes, 3u);
  EXPECT_LE(wakes, 6u);
  EXPECT_NE(fx.Led(120), LedColour{});  // it stepped the wave
  const auto t0 = SteadyClock::now();
  thread.Stop();
  EXPECT_LT(SteadyClock::now() - t0, Ms(50));  // far below the 160 ms it was sleeping
  EXPECT_FALSE(thread.Running());
  EXPECT_TRUE(TraceSink::Instance().Contains("KB灯光线程设定退出"));
}

TEST(LightThread, ANewModeWakesTheSleepingThread) {
  std::vector<LedColour> leds(170);
  CKeyboardLighting fx(leds);
  LightInfo info = Info(21);  // off, speed 0: it sleeps 160 ms between steps
  info.speed = 0;
  fx.SetLightInfo(info);
  fx.Apply();
  CLightThread thread;
  thread.Start(fx);
  std::this_thread::sleep_for(Ms(40));
  const auto t0 = SteadyClock::now();
  LightInfo stat = Info(6);  // static single colour, at every tick
  stat.red = 9;
  stat.speed = 4;
  fx.SetLightInfo(stat);
  fx.Apply();
  while (fx.Led(0).red != 9 && SteadyClock::now() - t0 < Ms(1000)) std::this_thread::sleep_for(Ms(1));
  EXPECT_LT(SteadyClock::now() - t0, Ms(100));
  thread.Stop();
}

TEST(LightThread, IdlesWhileTheKeyboardIsAwayAndLeavesSynchronisedLightingAlone) {
  std::vector<LedColour> leds(170);
  CKeyboardLighting fx(leds);
  fx.SetLightInfo(Info(4));  // spectrum: every step changes every LED
  fx.Apply();
  CDeviceComm comm;  // closed
  CLightThread thread;
  thread.Start(fx, &comm);
  std::this_thread::sleep_for(Ms(250));
  EXPECT_EQ(thread.Wakes(), 0u);
  EXPECT_EQ(fx.Led(0), LedColour{});
  comm.opened = 1;
  comm.lightSync = 1;
  std::this_thread::sleep_for(Ms(250));
  EXPECT_EQ(fx.Led(0), LedColour{});  // woke, but the main window drives the lights
  comm.lightSync = 0;
  std::this_thread::sleep_for(Ms(150));
  EXPECT_NE(fx.Led(0), LedColour{});
  thread.Stop();
  comm.opened = 0;
}

}  // namespace
}  // namespace korvale
