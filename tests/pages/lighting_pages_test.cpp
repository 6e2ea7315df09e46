// The mousepad and headset pages against korvale-emu: the configuration
// record at the active index, the status for the power panel, change events,
// the pad's light steps and the headset's LED report stream.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdio>

#include <algorithm>
#include <array>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include "devices/page_setup.h"
#include "devices/varnik_hs6533_device.h"
#include "devices/varnik_mousepad_device.h"
#include "editors/magic_control.h"
#include "editors/voice6533_control.h"
#include "hid/device_table.h"
#include "hid/hid_device.h"
#include "platform/ui_loop.h"
#include "tests/support/bus_paths.h"
#include "tests/support/emu_process.h"
#include "tests/support/journal.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"
#include "ui/containers.h"
#include "ui/dialog_builder.h"
#include "ui/paint_manager.h"
#include "ui/skin_controls.h"

namespace korvale {
namespace {

namespace fs = std::filesystem;
using testing::EmuProcess;
using testing::Packet;

constexpr int kMousePadProduct = 2;
constexpr int kHeadsetProduct = 3;

class FakePowerDisplay : public CControlUI, public IPowerDisplayHooks {
 public:
  void SetWireless(bool) override {}
  void ShowStatus(const std::array<uint8_t, 6>& s) override {
    status = s;
    ++shown;
  }
  void Refresh() override {}
  std::array<uint8_t, 6> status{};
  int shown = 0;
};

// The skin's own tags, as the device list builds pages.
class SkinBuilder : public IDialogBuilderCallback {
 public:
  explicit SkinBuilder(CPaintManagerUI* pm) : pm_(pm) {}
  CControlUI* CreateControl(std::string_view cls) override { return CreateSkinControl(cls, this, pm_); }

 private:
  CPaintManagerUI* pm_;
};

template <class Page>
class PageOnEmulator : public ::testing::Test {
 protected:
  void Start(const char* device, const char* skin, int product) {
    ::setenv("KORVALE_VHID_DIR", (tmp_.Path() / "bus").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (tmp_.Path() / "data").c_str(), 1);
    CHidDevice::SetHidrawEnabled(false);
    SetUiLoop(&loop_);
    // The headset's audio panels fill its audio tabs.
    auto creators = DeviceControlCreators();
    creators["CVoice6533ControlUI"] = [] { return static_cast<CControlUI*>(new CVoice6533ControlUI); };
    creators["CMagicControlUI"] = [] { return static_cast<CControlUI*>(new CMagicControlUI); };
    RegisterSkinControls(creators);
    ASSERT_TRUE(emu_.Start({"--dir", (tmp_.Path() / "bus").string(), device}));
    ASSERT_EQ(emu_.Line().rfind(device, 0), 0u);
    CDialogBuilder builder;
    SkinBuilder callback(&pm_);
    CControlUI* root = builder.Create(std::string(KORVALE_SOURCE_DIR) + "/skin/XML/DeviceXml/" + skin, &callback, &pm_);
    page_ = dynamic_cast<Page*>(root);
    ASSERT_NE(page_, nullptr);
    pm_.AttachDialog(root);
    const auto identity = ProductIdentity(product);
    ASSERT_TRUE(identity);
    ASSERT_TRUE(SetUpPage(*page_, product, *identity));
    page_->SetPowerDisplay(&power_);
    page_->InitPage();
    page_->ReloadProfile();  // the profile list's current profile, made on a first start
    page_->LoadEffectLists();
  }
  void TearDown() override {
    pm_.AttachDialog(nullptr);  // the page stops its threads
    emu_.Kill();
    SetUiLoop(nullptr);
  }
  std::vector<Packet> Journal(const std::string& device) {
    return testing::ParseJournal(emu_.Listing("journal " + device));
  }
  void ClearJournal(const std::string& device) {
    ASSERT_EQ(emu_.Command("journal-clear " + device), "ok journal-clear " + device);
  }
  // LightInfo with one field changed, given to the page as the editor does.
  void ChangeLook(uint8_t mode, uint8_t speed, uint8_t red) {
    LightInfo info = LightInfo::FromWords(page_->GetLightInfo());
    info.selectItem = mode;
    info.speed = speed;
    info.red = red;
    page_->SetLightInfo(info.ToWords());
    page_->ApplyLighting();
  }

  testing::TempDir tmp_{"korvale-pg"};
  VirtualUiLoop loop_;
  CPaintManagerUI pm_;
  EmuProcess emu_;
  FakePowerDisplay power_;
  Page* page_ = nullptr;  // owned by pm_
};

class MousePadTest : public PageOnEmulator<CVarnikMousePadDevice> {
 protected:
  void SetUp() override {
    Start("mousepad", "mousepaddevice.xml", kMousePadProduct);
    if (HasFatalFailure()) return;
    ASSERT_TRUE(page_->AttachPrimary(testing::BusPath("mousepad", 4), false, 0));
  }
};

TEST_F(MousePadTest, PageBindsItsFifteenLightsAndKnowsItsEffects) {
  EXPECT_EQ(page_->GetClass(), "VarnikMousePadDevice");
  EXPECT_EQ(page_->GetLightCount(), 15);
  for (int i = 0; i < 15; ++i) EXPECT_NE(page_->LightButton(i), nullptr) << i;
  EXPECT_EQ(page_->EffectValues(), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8}));
}

// The emulated pad keeps four records 64 bytes apart, each with its own
// look; a read at r × 40 or a write landing in another record shows.
TEST_F(MousePadTest, RecordsAtTheActiveIndexAreReadAndWrittenAtOneStride) {
  struct Expect {
    int r;
    uint8_t mode, brightness, speed, red, green, blue;
  };
  // Device speed bytes 1, 0, 3 read as page speeds 3, 4, 1.
  for (const Expect& e : {Expect{1, 1, 3, 3, 0x00, 0xFF, 0x00}, Expect{2, 3, 2, 4, 0x00, 0x00, 0xFF},
                          Expect{3, 7, 1, 1, 0x80, 0x40, 0x20}}) {
    SCOPED_TRACE(e.r);
    ASSERT_EQ(emu_.Command("profile mousepad " + std::to_string(e.r)), "ok profile mousepad " + std::to_string(e.r));
    ASSERT_EQ(page_->ReadDeviceConfig(), e.r);
    auto cfg = page_->Config();
    EXPECT_EQ(cfg[0], e.r);
    EXPECT_EQ(cfg[1], e.mode);
    EXPECT_EQ(cfg[2], e.brightness);
    EXPECT_EQ(cfg[3], e.speed);
    EXPECT_EQ((std::array<uint8_t, 3>{cfg[6], cfg[7], cfg[8]}), (std::array<uint8_t, 3>{e.red, e.green, e.blue}));
    // The read look is LightInfo's and the profile's, so the preview shows it whole.
    const LightInfo info = LightInfo::FromWords(page_->GetLightInfo());
    EXPECT_EQ(info.selectItem, e.mode);
    EXPECT_EQ(info.red, e.red);
    EXPECT_EQ(page_->Profile().ReadLightInfo().blue, e.blue);

    ClearJournal("mousepad");
    ChangeLook(4, 2, 0x11);
    ASSERT_EQ(page_->WriteDeviceConfig(e.r, 0), 1);
    std::vector<std::pair<int, int>> writes;
    for (const Packet& p : Journal("mousepad"))
      if (p.cmd == 0x06) writes.push_back({p.len, p.off});
    EXPECT_EQ(writes, (std::vector<std::pair<int, int>>{{21, e.r * 64}}));
    ASSERT_EQ(page_->ReadDeviceConfig(), e.r);
    cfg = page_->Config();
    EXPECT_EQ(cfg[1], 4);
    EXPECT_EQ(cfg[3], 2);
    EXPECT_EQ(cfg[6], 0x11);
  }
  // Record 0 was never written: it still has its own look.
  ASSERT_EQ(emu_.Command("profile mousepad 0"), "ok profile mousepad 0");
  ASSERT_EQ(page_->ReadDeviceConfig(), 0);
  EXPECT_EQ(page_->Config()[6], 0xFF);
}

TEST_F(MousePadTest, WritesConvertOnlyTheOutgoingCopyAndReportTheDevicesResult) {
  // Before any read the device is asked for its active r, and the page's
  // look goes there.
  ASSERT_EQ(emu_.Command("profile mousepad 2"), "ok profile mousepad 2");
  ClearJournal("mousepad");
  ASSERT_EQ(page_->WriteDeviceConfig(0, 0), 1);
  const auto first = Journal("mousepad");
  std::vector<std::pair<int, int>> io;
  for (const Packet& p : first)
    if (p.cmd == 0x05 || p.cmd == 0x06) io.push_back({p.cmd, p.off});
  EXPECT_EQ(io, (std::vector<std::pair<int, int>>{{0x05, 0}, {0x06, 128}}));
  ASSERT_EQ(emu_.Command("profile mousepad 0"), "ok profile mousepad 0");
  ASSERT_EQ(page_->ReadDeviceConfig(), 0);
  ChangeLook(6, 4, 0x22);
  const auto before = page_->Config();
  ClearJournal("mousepad");
  ASSERT_EQ(page_->WriteDeviceConfig(0, 0), 1);
  EXPECT_EQ(page_->Config(), before);  // the page keeps the effect number and its speed
  const auto written = testing::Written(Journal("mousepad"), 0x06);
  ASSERT_EQ(written.size(), 21u);
  EXPECT_EQ(written[1], 6);  // the value of effect 6
  EXPECT_EQ(written[3], 0);  // page speed 4 is the device's 0

  // An effect number beyond the value list sends nothing.
  ChangeLook(40, 4, 0x22);
  ClearJournal("mousepad");
  EXPECT_EQ(page_->WriteDeviceConfig(0, 0), CMD_BAD_ARGUMENT);
  EXPECT_TRUE(Journal("mousepad").empty());

  // A refusing device and an absent pad are failures, not success.
  ChangeLook(3, 4, 0x22);
  ASSERT_EQ(emu_.Command("fault mousepad status-ff count=1"), "ok fault mousepad status-ff");
  EXPECT_EQ(page_->WriteDeviceConfig(0, 0), CMD_STATUS_FF);
  page_->DetachPrimary();
  EXPECT_EQ(page_->WriteDeviceConfig(0, 0), 0);
}

TEST_F(MousePadTest, ARecordOutsideTheAreaOrAFailedReadChangesNothing) {
  ASSERT_EQ(emu_.Command("profile mousepad 15"), "ok profile mousepad 15");
  EXPECT_EQ(page_->ReadDeviceConfig(), 15);  // 15 × 64 + 40 still fits the 1024 bytes
  const auto before = page_->Config();
  ASSERT_EQ(emu_.Command("fault mousepad status-ff count=1"), "ok fault mousepad status-ff");
  EXPECT_EQ(page_->ReadDeviceConfig(), -1);
  EXPECT_EQ(page_->Config(), before);
  // The write goes where the record was read, whatever r the caller names.
  ClearJournal("mousepad");
  EXPECT_EQ(page_->WriteDeviceConfig(0, 0), 1);
  std::vector<std::pair<int, int>> writes;
  for (const Packet& p : Journal("mousepad"))
    if (p.cmd == 0x06) writes.push_back({p.len, p.off});
  EXPECT_EQ(writes, (std::vector<std::pair<int, int>>{{21, 15 * 64}}));
}

TEST_F(MousePadTest, StatusReachesThePowerPanelWithThePhoneType) {
  page_->PollWirelessStatus();
  ASSERT_EQ(power_.shown, 1);
  EXPECT_EQ(power_.status[0], 100);  // battery
  EXPECT_EQ(power_.status[3], 0);    // by cable
  EXPECT_EQ(power_.status[5], 3);    // another phone charging
  ASSERT_EQ(emu_.Command("fault mousepad status-ff count=1"), "ok fault mousepad status-ff");
  page_->PollWirelessStatus();
  EXPECT_EQ(power_.shown, 1);  // a failed read leaves the panel alone
}

TEST_F(MousePadTest, EventResyncReadsTheRecordHalfASecondLater) {
  ASSERT_TRUE(page_->OpenEventChannel(testing::BusPath("mousepad", 3), 3));
  ASSERT_TRUE(testing::WaitFor([&] { return page_->IsListening(); }));
  ASSERT_EQ(emu_.Command("profile mousepad 2"), "ok profile mousepad 2");  // an event too: ignored
  ASSERT_EQ(emu_.Command("event mousepad 0x401"), "ok event mousepad 0x401");
  // The request reaches the UI thread as a posted task; the read follows 500 ms later.
  ASSERT_TRUE(loop_.WaitForPosted(3000));
  loop_.RunPending();
  loop_.AdvanceBy(499);
  EXPECT_EQ(page_->ConfigRecord(), -1);
  loop_.AdvanceBy(1);
  EXPECT_EQ(page_->ConfigRecord(), 2);
  EXPECT_EQ(page_->Config()[1], 3);
  page_->CloseEventChannel(3);
  EXPECT_FALSE(page_->IsListening());
}

// ---- light steps, frame by frame ----

class PadSteps : public MousePadTest {
 protected:
  // A look straight into the page (as ApplyLighting would), stepping by hand.
  void Look(uint8_t mode, uint8_t multi, uint8_t dir) {
    LightInfo info{};
    info.selectItem = mode;
    info.light = 4;
    info.speed = 4;
    info.fx = dir;
    info.multiColor = multi;
    info.red = 200;
    info.green = 100;
    info.blue = 50;
    page_->SetLightInfo(info.ToWords());
    page_->Profile().WriteLightInfo(info);
    page_->ApplyLighting();
  }
};

TEST_F(PadSteps, WaveMulticolourSpreadsHuesSevenApart) {
  Look(0, 1, 1);
  page_->Advance(1);  // speed 4: a step every tick
  const auto f = page_->Frame();
  // step 1 → LED 0 hue 2, LED 1 hue 9, LED 14 hue 100; wheel entries 0..31 are red with green rising.
  EXPECT_EQ(f[0].red, 255);
  EXPECT_EQ(f[0].green, 5);  // rise[2]
  EXPECT_EQ(f[1].green, 32);  // rise[9]
  EXPECT_EQ(f[0].alpha, 255);
  // hue 100: blue 255 with green falling (entry 100 - 96 = 4 of the fall)
  EXPECT_EQ(f[14].blue, 255);
  EXPECT_EQ(f[14].green, 194);
}

// A wake-up per frame steps each tick that passed: the look moves as far as
// with one wake-up per tick.
TEST_F(PadSteps, ABatchOfTicksStepsAsFarAsSingleTicks) {
  Look(0, 1, 1);
  page_->Advance(lightfx::kFrameTicks);  // three steps: LED 0 at hue 4
  EXPECT_EQ(page_->Frame()[0], (LedColour{255, 10, 0, 255}));
  for (int t = 0; t < lightfx::kFrameTicks; ++t) page_->Advance(1);
  EXPECT_EQ(page_->Frame()[0], (LedColour{255, 22, 0, 255}));  // three more: hue 7
}

TEST_F(PadSteps, WaveSingleColourStartsOneAheadAndWrapsTheCurve) {
  Look(0, 0, 0);  // backwards: the first step lands on 95
  page_->Advance(1);
  const auto f = page_->Frame();
  // step 95 → LED 0 at curve entry 0 (22), LED 1 at entry 7 (42).
  EXPECT_EQ(f[0].alpha, 22 * 255 / 256);
  EXPECT_EQ(f[1].alpha, 42 * 255 / 256);
  EXPECT_EQ(f[0].red, 200);
}

TEST_F(PadSteps, FlowsMoveASeededPulseInsteadOfStayingDark) {
  for (uint8_t mode : {uint8_t{6}, uint8_t{7}}) {
    SCOPED_TRACE(mode);
    Look(mode, 0, 1);
    int lit = 0;
    for (int t = 0; t < 40; ++t) {
      page_->Advance(1);
      for (const auto& c : page_->Frame()) lit += c.alpha > 0;
    }
    EXPECT_GT(lit, 0);
  }
}

TEST_F(PadSteps, GroupFlowLightsBothLedsOfAPairAlike) {
  Look(7, 0, 1);
  // The pulse is triggered on the first step with the counter at 2.
  for (int t = 0; t < 3; ++t) page_->Advance(1);
  const auto f = page_->Frame();
  int pairsLit = 0;
  for (int g = 0; g < 7; ++g) {
    EXPECT_EQ(f[static_cast<std::size_t>(g + 1)].alpha, f[static_cast<std::size_t>(14 - g)].alpha) << g;
    pairsLit += f[static_cast<std::size_t>(g + 1)].alpha > 0;
  }
  EXPECT_EQ(pairsLit, 1);
}

TEST_F(PadSteps, SpeedSetsTheTicksBetweenSteps) {
  // At speed 4 a step is due every tick; the thread takes them a frame at a time.
  for (const auto& [speed, ticks] :
       std::vector<std::pair<uint8_t, int>>{{0, 8}, {2, 4}, {4, lightfx::kFrameTicks}}) {
    LightInfo info{};
    info.selectItem = 1;
    info.light = 4;
    info.speed = speed;
    info.fx = 1;
    page_->Profile().WriteLightInfo(info);
    page_->ApplyLighting();
    EXPECT_EQ(page_->TicksUntilDue(), ticks) << int(speed);
  }
}

// Only an eye on the preview makes the pad step. A still look is drawn once:
// further steps change nothing and report no frame to paint.
TEST_F(PadSteps, ThePadStepsForAnEyeAndDrawsAStillLookOnce) {
  EXPECT_FALSE(page_->OutputWanted());  // lighting control off: nothing is painted
  page_->SetLightingControlActive(true);
  EXPECT_TRUE(page_->OutputWanted());
  page_->SetWindowShown(false);
  EXPECT_FALSE(page_->OutputWanted());
  page_->SetWindowShown(true);
  EXPECT_TRUE(page_->OutputWanted());

  Look(3, 0, 1);  // static
  EXPECT_TRUE(page_->HoldsStill());
  const auto first = page_->Advance(1);
  EXPECT_TRUE(first.stepped);
  EXPECT_TRUE(first.changed);
  const auto again = page_->Advance(1);
  EXPECT_TRUE(again.stepped);
  EXPECT_FALSE(again.changed);
  EXPECT_EQ(page_->Frame()[0].red, 200);

  Look(0, 1, 1);  // the wave moves on every step
  EXPECT_FALSE(page_->HoldsStill());
  EXPECT_TRUE(page_->Advance(1).changed);
  EXPECT_TRUE(page_->Advance(1).changed);
}

// ---- the headset ----

class HeadsetTest : public PageOnEmulator<CVarnikHS6533Device> {
 protected:
  void SetUp() override {
    Start("headset", "hs6533device.xml", kHeadsetProduct);
    if (HasFatalFailure()) return;
    ASSERT_TRUE(page_->AttachPrimary(testing::BusPath("headset", 0), false, 0));
  }
  std::vector<std::string> Leds() { return emu_.Listing("leds headset"); }
};

TEST(HeadsetReports, ChannelsAreScaledCappedAndTheSecondHalfEndsClean) {
  std::vector<LedColour> leds(13, LedColour{255, 128, 0, 255});
  leds[12] = {10, 20, 30, 128};
  const auto reports = CVarnikLightingDevice::BuildLedReports(leds);
  const std::array<std::pair<int, int>, 12> order = {
      {{0x22, 0xAA}, {0x22, 0xAD}, {0x44, 0xAA}, {0x44, 0xAD}, {0x22, 0xAB}, {0x22, 0xAE},
       {0x44, 0xAB}, {0x44, 0xAE}, {0x22, 0xAC}, {0x22, 0xAF}, {0x44, 0xAC}, {0x44, 0xAF}}};
  for (std::size_t k = 0; k < 12; ++k) {
    EXPECT_EQ(reports[k][0], 0xFF);
    EXPECT_EQ((std::pair<int, int>{reports[k][1], reports[k][2]}), order[k]) << k;
  }
  EXPECT_EQ(reports[0][4], 247);  // 255 × 255 / 256 = 254, capped
  EXPECT_EQ(reports[4][4], 127);  // green 128 at 255
  EXPECT_EQ(reports[1][9], 5);    // LED 12 red: 10 × 128 / 256
  // LEDs 7-12 are six values: byte 10 never carries the first half's seventh.
  for (std::size_t k : {1u, 3u, 5u, 7u, 9u, 11u}) EXPECT_EQ(reports[k][10], 0) << k;
}

TEST_F(HeadsetTest, StreamsSeventeenByteReportsToBothTargetsAtTwentyFramesASecond) {
  page_->SetLightingControlActive(true);
  page_->OnConnected();
  ASSERT_TRUE(page_->IsLightThreadRunning());
  ASSERT_TRUE(testing::WaitFor([&] { return page_->FramesStreamed() >= 20; }, 5000));
  const auto lines = Leds();
  ASSERT_EQ(lines.size(), 3u);
  for (const auto& line : lines) SCOPED_TRACE(line);
  // 17 bytes each: the last report is 34 hex digits, id ff first.
  EXPECT_EQ(lines[0].rfind("target 22 count ", 0), 0u);
  EXPECT_EQ(lines[0].substr(lines[0].find(" last ") + 6).size(), 34u);
  EXPECT_EQ(lines[1].substr(lines[1].find(" last ") + 6, 4), "ff44");
  EXPECT_EQ(lines[2], "refused 0");
  EXPECT_EQ(page_->FramesFailed(), 0u);
}

// Commands and LED reports share the headset's one collection: with frames
// going out between the exchanges, every exchange still gets its own answer,
// and every frame reaches the headset whole and in its order.
TEST_F(HeadsetTest, ExchangesKeepTheirAnswersAndFramesStayWholeWhileStreaming) {
  constexpr uint32_t kBase = 0x200;
  std::array<uint8_t, 96> pattern{};
  for (std::size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<uint8_t>(0x31 + i * 7);
  ASSERT_EQ(page_->Comm().WriteConfig(pattern.data(), pattern.size(), kBase), proto::CMD_OK);
  page_->SetLightingControlActive(true);
  page_->StartLightThread();
  ASSERT_TRUE(page_->IsLightThreadRunning());
  // Reads back to back over a dozen frames, each at an offset of its own.
  int exchanges = 0;
  bool wrong = false;
  const bool spanned = testing::WaitFor([&] {
    for (int i = 0; i < 40 && !wrong; ++i, ++exchanges) {
      const std::size_t at = static_cast<std::size_t>(exchanges) * 5 % (pattern.size() - 24);
      std::array<uint8_t, 24> got{};
      const int r = page_->Comm().ReadConfig(got.data(), got.size(), kBase + static_cast<uint32_t>(at));
      wrong = r != proto::CMD_OK || !std::equal(got.begin(), got.end(), pattern.begin() + static_cast<long>(at));
      EXPECT_FALSE(wrong) << "exchange " << exchanges << " at +" << at << ": result " << r;
    }
    return wrong || page_->FramesStreamed() >= 12;
  }, 15000);
  page_->StopLightThread();
  ASSERT_TRUE(spanned);
  ASSERT_FALSE(wrong);
  EXPECT_EQ(page_->FramesFailed(), 0u);
  const std::size_t expected = page_->FramesStreamed() * 12;
  std::vector<std::string> log;
  EXPECT_TRUE(testing::WaitFor([&] {
    const auto lines = emu_.Listing("led-log headset");
    log.clear();
    if (lines.size() != 1) return false;
    std::istringstream words(lines[0]);
    for (std::string w; words >> w;) log.push_back(w);
    return log.size() == expected + 1;  // "log" first
  }));
  ASSERT_EQ(log.size(), expected + 1);
  const std::array<const char*, 12> order = {"22aa", "22ad", "44aa", "44ad", "22ab", "22ae",
                                             "44ab", "44ae", "22ac", "22af", "44ac", "44af"};
  for (std::size_t k = 0; k < expected; ++k) ASSERT_EQ(log[k + 1], order[k % 12]) << "report " << k;
}

TEST_F(HeadsetTest, LedReportsGoOutAtTheirOwnLengthAndOthersAreRefused) {
  std::array<uint8_t, 20> report{0xFF, 0x22, 0xAA, 0, 9};
  CHidDevice raw;
  ASSERT_TRUE(raw.Open(testing::BusPath("headset", 0), true, true, true, false));
  // The host refuses a report longer than its id's 17 bytes and sends a
  // shorter one at 17, not at the command report's length.
  EXPECT_FALSE(raw.Write(report.data(), static_cast<uint32_t>(report.size()), nullptr, 1000));
  EXPECT_TRUE(raw.Write(report.data(), 11, nullptr, 1000));
  ASSERT_TRUE(testing::WaitFor([&] { return Leds().at(0).find("count 1 ") != std::string::npos; }));
  // The device itself refuses 20 bytes on the wire.
  const std::string sock = (tmp_.Path() / "bus" / "headset.sock").string();
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::snprintf(addr.sun_path, sizeof addr.sun_path, "%s", sock.c_str());
  ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
  std::vector<uint8_t> frame = {21, 0, 0, 0, 0x02};  // length of type and report, OUTPUT
  frame.insert(frame.end(), report.begin(), report.end());
  ASSERT_EQ(::write(fd, frame.data(), frame.size()), static_cast<ssize_t>(frame.size()));
  EXPECT_TRUE(testing::WaitFor([&] { return Leds().at(2) == "refused 1"; }));
  EXPECT_NE(Leds().at(0).find("count 1 "), std::string::npos);
  ::close(fd);
}

TEST_F(HeadsetTest, EventsAreNotTakenByExchangesWhileStreaming) {
  page_->SetLightingControlActive(true);
  page_->OnConnected();
  ASSERT_TRUE(testing::WaitFor([&] { return page_->IsListening(); }));
  // Three events arrive between each command and its answer.
  ASSERT_EQ(emu_.Command("fault headset events param=3"), "ok fault headset events");
  for (int i = 0; i < 5; ++i) ASSERT_EQ(page_->ReadDeviceConfig(), 0) << i;
  // The event reader takes the events the headset sends to every host.
  ASSERT_EQ(emu_.Command("fault headset none"), "ok fault headset none");
  ASSERT_EQ(emu_.Command("event headset 0x401"), "ok event headset 0x401");
  EXPECT_TRUE(loop_.WaitForPosted(3000));
  // The light thread keeps its own pace; on a loaded machine the first frame
  // may come after the event.
  EXPECT_TRUE(testing::WaitFor([&] { return page_->FramesStreamed() > 0; }, 5000));
}

TEST_F(HeadsetTest, AudioTabsShowTheirPlacedPanels) {
  auto* inner = dynamic_cast<CTabLayoutUI*>(pm_.FindControl("device_key_function_switch"));
  ASSERT_NE(inner, nullptr);
  for (const auto& [type, index, name] : std::vector<std::tuple<int, int, std::string>>{
           {6, 1, "Voice6533ControlItem"}, {7, 2, "MagicControlItem"}, {1, 0, "device_key_light_page"}}) {
    page_->ShowFunctionPage(type);
    EXPECT_EQ(inner->GetCurSel(), index) << type;
    EXPECT_EQ(inner->GetItemAt(index)->GetName(), name);
  }
}

TEST_F(HeadsetTest, StatusAndRecordsLikeThePad) {
  page_->PollWirelessStatus();
  ASSERT_EQ(power_.shown, 1);
  EXPECT_EQ(power_.status[0], 60);
  ASSERT_EQ(emu_.Command("profile headset 2"), "ok profile headset 2");
  ASSERT_EQ(page_->ReadDeviceConfig(), 2);
  EXPECT_EQ(page_->Config()[8], 0xFF);
  ChangeLook(1, 3, 0x44);
  EXPECT_EQ(page_->WriteDeviceConfig(2, 0), 1);
  ASSERT_EQ(page_->ReadDeviceConfig(), 2);
  EXPECT_EQ(page_->Config()[6], 0x44);
}

}  // namespace
}  // namespace korvale
