// The mouse page against korvale-emu, by cable and through the receiver: what
// it reads on connection, the record it writes at the active profile, the
// resolution stage controls, a link lost in the middle of a write, and the
// profile and stage events.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <thread>

#include "devices/page_setup.h"
#include "devices/varnik_mouse_device.h"
#include "hid/device_table.h"
#include "hid/hid_device.h"
#include "platform/ui_loop.h"
#include "profiles/json_file.h"
#include "tests/support/bus_paths.h"
#include "tests/support/emu_process.h"
#include "tests/support/journal.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"
#include "ui/controls.h"
#include "ui/custom_controls.h"
#include "ui/dialog_builder.h"
#include "ui/paint_manager.h"
#include "ui/skin_controls.h"

namespace korvale {
namespace {

namespace fs = std::filesystem;
using testing::Codes;
using testing::EmuProcess;
using testing::Packet;
using testing::WaitFor;
using testing::Written;

class TestMouse : public CVarnikMouseDevice {
 public:
  void OnResync() override {
    ++resyncs;
    CVarnikMouseDevice::OnResync();
  }
  void RefreshPage() override {
    ++refreshes;
    CVarnikMouseDevice::RefreshPage();
  }
  void SetInfo(uint16_t sensor, uint8_t step, uint16_t minimum) {
    deviceInfo_[proto::kInfoSensorId] = static_cast<uint8_t>(sensor);
    deviceInfo_[proto::kInfoSensorId + 1] = static_cast<uint8_t>(sensor >> 8);
    deviceInfo_[proto::kInfoDpiStep] = step;
    deviceInfo_[proto::kInfoDpiMinimum] = static_cast<uint8_t>(minimum);
    deviceInfo_[proto::kInfoDpiMinimum + 1] = static_cast<uint8_t>(minimum >> 8);
  }
  void ForgetEffectValues() { effectValues_.clear(); }
  void SetSelectItem(uint8_t item) { lightInfo_.selectItem = item; }
  void SetLight(const LightInfo& info) { lightInfo_ = info; }
  using CVarnikMouseDevice::HandleEventCode;
  int resyncs = 0;
  int refreshes = 0;
};

class Builder : public IDialogBuilderCallback {
 public:
  CControlUI* CreateControl(std::string_view tag) override {
    return tag == "VarnikMouseDevice" ? new TestMouse() : nullptr;
  }
};

constexpr const char* kProfile = "{4F1D2C3B-0000-4000-8000-0000000000A1}";
constexpr int kMouseProduct = 0;
constexpr int kCommandCollection = 4;
constexpr int kEventCollection = 3;

// The emulated mouse lists its eleven buttons from the last to the first;
// its sensor is 0x3325 with step 50 from 100.
constexpr int kEmuButtonPosition(int button) { return 10 - button; }

struct Link {
  bool receiver;
  const char* socket;
  const char* name;
};
const Link kCable{false, "mouse-cable", "Cable"};
const Link kReceiver{true, "mouse-receiver", "Receiver"};

class MouseTest : public ::testing::TestWithParam<Link> {
 protected:
  void SetUp() override {
    dir_ = tmp_.Path();
    ::setenv("KORVALE_VHID_DIR", (dir_ / "bus").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (dir_ / "data").c_str(), 1);
    CHidDevice::SetHidrawEnabled(false);
    SetUiLoop(&loop_);
    RegisterSkinControls(DeviceControlCreators());
    ASSERT_TRUE(emu_.Start({"--dir", (dir_ / "bus").string(), "mouse-cable", "mouse-receiver"}));
    ASSERT_TRUE(WaitFor([&] { return !Path(kCommandCollection).empty(); }));

    Builder callback;
    CDialogBuilder builder;
    CControlUI* root =
        builder.Create(std::string(KORVALE_SOURCE_DIR) + "/skin/XML/DeviceXml/mousedevice.xml", &callback, &pm_);
    mouse_ = dynamic_cast<TestMouse*>(root);
    ASSERT_NE(mouse_, nullptr);
    pm_.AttachDialog(root);
    ASSERT_STREQ(kProducts[kMouseProduct].productKey, "mouse");
    auto identity = ProductIdentity(kMouseProduct);
    ASSERT_TRUE(identity);
    if (Receiver()) {
      const int row = FindTableRow(0x320F, 0x221D, static_cast<uint16_t>(DeviceKind::ReceiverMouse), 0);
      ASSERT_GE(row, 0);
      identity = kSupportedDevices[static_cast<std::size_t>(row)];
    }
    ASSERT_TRUE(SetUpPage(*mouse_, kMouseProduct, *identity));
    mouse_->SetProfileName(kProfile);
    mouse_->SetLinkLostHandler([this] { ++linkLost_; });
    mouse_->InitPage();
    ASSERT_TRUE(mouse_->AttachPrimary(Path(kCommandCollection), Receiver(),
                                      Receiver() ? proto::kModeReceiver : proto::kModeCable));
  }

  void TearDown() override {
    pm_.AttachDialog(nullptr);
    emu_.Kill();
    SetUiLoop(nullptr);
  }

  bool Receiver() const { return GetParam().receiver; }
  std::string Device() const { return GetParam().socket; }
  std::string Path(int collection) const { return testing::BusPath(GetParam().socket, collection); }
  std::vector<Packet> Journal() { return testing::ParseJournal(emu_.Listing("journal " + Device())); }
  void ClearJournal() { ASSERT_EQ(emu_.Command("journal-clear " + Device()), "ok journal-clear " + Device()); }
  // Bytes of the mouse's memory as korvale-emu shows them.
  std::vector<uint8_t> Dump(const std::string& area, int offset, int length) {
    const auto lines = emu_.Listing("dump " + Device() + " " + area + " " + std::to_string(offset) + " " +
                                    std::to_string(length));
    std::vector<uint8_t> bytes;
    if (lines.empty() || lines.back().rfind("data ", 0) != 0) return bytes;
    const std::string hex = lines.back().substr(5);
    for (std::size_t k = 0; k + 1 < hex.size(); k += 2) bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(k, 2), nullptr, 16)));
    return bytes;
  }
  // Commands without the receiver's link checks in between.
  static std::vector<int> WithoutLinkChecks(std::vector<int> codes) {
    std::erase(codes, 0xAA);
    std::vector<int> folded;
    for (int c : codes)
      if (folded.empty() || folded.back() != c) folded.push_back(c);
    return folded;
  }
  COptionUI* Option(const std::string& name) { return dynamic_cast<COptionUI*>(mouse_->FindSubControl(name)); }

  testing::TempDir tmp_{"korvale-mouse"};
  fs::path dir_;
  VirtualUiLoop loop_;
  CPaintManagerUI pm_;
  EmuProcess emu_;
  TestMouse* mouse_ = nullptr;  // owned by pm_
  int linkLost_ = 0;
};

TEST_P(MouseTest, ConnectingReadsTheButtonTableAndTheActiveRecord) {
  ASSERT_EQ(emu_.Command("profile " + Device() + " 2"), "ok profile " + Device() + " 2");
  ClearJournal();
  mouse_->OnConnected();
  const auto packets = Journal();
  EXPECT_EQ(WithoutLinkChecks(Codes(packets)), (std::vector<int>{0x01, 0x03, 0x07, 0x02, 0x05}));
  std::vector<std::pair<int, int>> reads;
  int longest = 0;
  for (const Packet& p : packets) {
    if (p.cmd == 0x05) reads.push_back({p.len, p.off});
    longest = std::max(longest, p.len);
  }
  // Through the receiver everything travels in 24-byte pieces.
  if (Receiver()) {
    EXPECT_EQ(longest, 24);
  } else {
    EXPECT_GT(longest, 24);
  }
  int total = 0;
  for (auto [len, off] : reads) total += off >= 256 ? len : 0;
  EXPECT_EQ(reads.front(), (std::pair<int, int>{1, 0}));
  EXPECT_EQ(reads[1].second, 2 * 128);
  EXPECT_EQ(total, 71);
  if (Receiver()) {
    EXPECT_EQ(Codes(packets).front(), 0xAA) << "the link is checked first";
  }

  EXPECT_EQ(mouse_->ActiveProfile(), 2);
  for (int j = 0; j < kMouseKeyCount; ++j) EXPECT_EQ(mouse_->ButtonPosition(j), kEmuButtonPosition(j)) << j;
  // The default profile's stages (slider 7 and 63) on the sensor's scale.
  EXPECT_EQ(mouse_->GetDpiSliderValue(0), 7);
  EXPECT_EQ(mouse_->FindSubControl("DPI_edit_0")->GetText(), "450");
  EXPECT_EQ(mouse_->FindSubControl("DPI_edit_4")->GetText(), "5500");  // wide steps above 48
  auto* slider = dynamic_cast<CSliderUI*>(mouse_->FindSubControl("DPI_slider_0"));
  ASSERT_NE(slider, nullptr);
  EXPECT_EQ(slider->GetMaxValue(), 85);
  EXPECT_EQ(mouse_->GetCurrentConfig().modeIndex, mouse_->GetLightInfoRecord().selectItem);
  // The mouse's record 2: report rate index 1, the stage byte 0.
  EXPECT_TRUE(Option("polling_rate_option_3")->IsSelected());  // the profile's rate stays shown
  EXPECT_TRUE(Option("DPI_select_check_0")->IsSelected());
  // Every button is named on its key button and in the assignment list.
  auto* list = dynamic_cast<CContainerUI*>(mouse_->FindSubControl("device_setkeyinfo_list"));
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(list->GetCount(), kMouseKeyCount);
  EXPECT_FALSE(std::string(mouse_->KeyButton(0)->GetToolTip()).empty());
}

TEST_P(MouseTest, AStageChangeIsWrittenIntoTheActiveRecord) {
  ASSERT_EQ(emu_.Command("profile " + Device() + " 3"), "ok profile " + Device() + " 3");
  mouse_->OnConnected();
  ASSERT_EQ(mouse_->ActiveProfile(), 3);
  auto stages = mouse_->GetDpiStages();
  ASSERT_EQ(stages.size(), 5u);
  stages[1].x = 40;
  stages[1].y = 40;
  stages[1].red = 0x12;
  stages.resize(3);  // two stages fewer: their bytes are 0
  mouse_->SetDpiStages(stages);
  mouse_->SelectDpiStage(1);
  const auto before = Dump("config", 0, 128);
  ClearJournal();
  EXPECT_EQ(mouse_->WriteDeviceConfig(0, 0, 1, 2560, 1440), 1);
  EXPECT_EQ(WithoutLinkChecks(Codes(Journal())), (std::vector<int>{0x01, 0x06, 0x02}));
  const auto record = Dump("config", 3 * 128, 71);
  ASSERT_EQ(record.size(), 71u);
  EXPECT_EQ(record[0], 3);
  EXPECT_EQ(record[12], 1);                          // the active stage
  const uint8_t stage1[9] = {1, 0, 40, 0, 40, 0, 0x12, 255, 0};  // the default profile's green stage
  EXPECT_TRUE(std::equal(stage1, stage1 + 9, record.begin() + 14 + 9));
  EXPECT_TRUE(std::all_of(record.begin() + 41, record.begin() + 59, [](uint8_t b) { return b == 0; }));
  EXPECT_EQ(record[59], 1);
  EXPECT_EQ(record[60] | record[61] << 8, 2560);
  EXPECT_EQ(record[62] | record[63] << 8, 1440);
  EXPECT_EQ(record[64], 32);  // the selected correction entry ("Cloth pad")
  EXPECT_EQ(record[65], 20);
  EXPECT_EQ(Dump("config", 0, 128), before) << "record 0 is left alone";
}

TEST_P(MouseTest, AReportRateChangeReachesRecordByte11) {
  mouse_->OnConnected();
  auto w = mouse_->GetMouseSystemSettings();
  w[2] = (w[2] & 0xFFFFu) | 4u << 16;
  mouse_->SetMouseSystemSettings(w[0], w[1], w[2]);
  EXPECT_EQ(mouse_->WriteDeviceConfig(0, 0, 1, 1920, 1080), 1);
  EXPECT_EQ(Dump("config", 11, 1), std::vector<uint8_t>{4});
  mouse_->RefreshPage();
  EXPECT_TRUE(Option("polling_rate_option_4")->IsSelected());
  mouse_->ShowPollingRate(7);  // outside 0..4 shows the first rate
  EXPECT_TRUE(Option("polling_rate_option_0")->IsSelected());
}

TEST_P(MouseTest, EndConfigFollowsAFailedStepAndTheFailureIsReturned) {
  mouse_->OnConnected();
  // The write itself fails (the link checks before it are answered normally).
  ASSERT_EQ(emu_.Command("fault " + Device() + " status-ff after=" + (Receiver() ? "3" : "1") + " count=1"),
            "ok fault " + Device() + " status-ff");
  ClearJournal();
  EXPECT_EQ(mouse_->WriteDeviceConfig(0, 0, 1, 1920, 1080), CMD_STATUS_FF);
  EXPECT_EQ(WithoutLinkChecks(Codes(Journal())), (std::vector<int>{0x01, 0x06, 0x02}));
  // The key download reports the device's answer too (through the receiver
  // the information block takes two pieces).
  ASSERT_EQ(emu_.Command("fault " + Device() + " status-fe after=" + (Receiver() ? "6" : "2") + " count=1"),
            "ok fault " + Device() + " status-fe");
  ClearJournal();
  EXPECT_EQ(mouse_->ApplyKeyAssignments(0), CMD_STATUS_FE);
  EXPECT_EQ(WithoutLinkChecks(Codes(Journal())), (std::vector<int>{0x03, 0x01, 0x09, 0x02}));
  EXPECT_EQ(mouse_->ApplyKeyAssignments(0), 1);
  EXPECT_EQ(linkLost_, 0);
}

TEST_P(MouseTest, KeyDownloadRenumbersMacrosAtTheButtonPositions) {
  mouse_->OnConnected();
  Json::Value doc;
  for (int i = 0; i < 4; ++i) doc["MacroInfo"][i]["MacroName"] = "m" + std::to_string(i);
  std::ofstream(mouse_->UserDataFolder() / "macro.config") << doc.toStyledString();
  auto keys = mouse_->GetKeyList();
  ASSERT_EQ(keys.size(), 11u);
  keys[3].normal.code = {0x70, 3, 0};  // macro 3 becomes the first downloaded
  keys[4].normal.code = {0x71, 1, 2};  // macro 1 the second
  keys[5].normal.code = {0x70, 9, 0};  // no such macro: the default
  mouse_->SetKeyList(keys);
  EXPECT_EQ(mouse_->CollectUsedMacros(), (std::vector<int>{3, 1}));
  EXPECT_EQ(mouse_->ApplyKeyAssignments(0), 1);
  const auto table = Dump("keys", 0, 33);
  ASSERT_EQ(table.size(), 33u);
  auto at = [&](int button) {
    const int p = kEmuButtonPosition(button) * 3;
    return std::vector<uint8_t>(table.begin() + p, table.begin() + p + 3);
  };
  EXPECT_EQ(at(3), (std::vector<uint8_t>{0x70, 0, 0}));
  EXPECT_EQ(at(4), (std::vector<uint8_t>{0x71, 1, 2}));
  EXPECT_EQ(at(5), (std::vector<uint8_t>{0x13, 0x01, 0x00}));
  EXPECT_EQ(at(0), (std::vector<uint8_t>{0x10, 0x01, 0x00}));
}

TEST_P(MouseTest, ProfileAndStageEventsMoveThePageAndTheProfile) {
  mouse_->OnConnected();
  ASSERT_TRUE(mouse_->OpenEventChannel(Path(kEventCollection), Receiver() ? 6 : 2));
  EXPECT_TRUE(mouse_->IsListening(Receiver() ? kEventSideReceiver : kEventSideCable));
  struct Case {
    std::string command;
    int profile, stage;
  } cases[] = {
      {"profile " + Device() + " 3 2", 3, 2},
      {"profile " + Device() + " 1 9", 1, 4},  // more than five stages: the last one
      {"profile " + Device() + " 4", 4, 4},     // a plain profile change keeps the stage
  };
  for (const Case& c : cases) {
    const int before = mouse_->refreshes;
    ASSERT_EQ(emu_.Command(c.command).rfind("ok profile", 0), 0u);
    ASSERT_TRUE(testing::PumpUntil(loop_, [&] { return mouse_->refreshes > before; })) << c.command;
    EXPECT_EQ(mouse_->ActiveProfile(), c.profile) << c.command;
    EXPECT_EQ(mouse_->ActiveStage(), c.stage) << c.command;
    EXPECT_EQ(mouse_->ConfigRecord()[12], c.stage) << c.command;
    EXPECT_TRUE(Option("DPI_select_check_" + std::to_string(c.stage))->IsSelected()) << c.command;
  }
  // The stage reached the profile file.
  const Json::Value saved = ReadJsonFile(mouse_->GetProfilePath());
  EXPECT_EQ(saved["Device"][0]["DPIStages"]["StageActive"].asInt(), 4) << saved.toStyledString();

  // A resync request runs OnResync 50 ms later.
  ASSERT_EQ(emu_.Command("event " + Device() + " 0x401"), "ok event " + Device() + " 0x401");
  loop_.WaitForPosted(2000);
  loop_.AdvanceBy(50);
  EXPECT_EQ(mouse_->resyncs, 1);
  mouse_->CloseEventChannel(Receiver() ? 6 : 2);
  EXPECT_FALSE(mouse_->IsListening(Receiver() ? kEventSideReceiver : kEventSideCable));
}

INSTANTIATE_TEST_SUITE_P(ByLink, MouseTest, ::testing::Values(kCable, kReceiver),
                         [](const ::testing::TestParamInfo<Link>& i) { return std::string(i.param.name); });

// ---- through the receiver only ----

using MouseReceiverTest = MouseTest;

TEST_P(MouseReceiverTest, ALinkLostInTheMiddleOfAWriteWritesNothing) {
  mouse_->OnConnected();
  auto stages = mouse_->GetDpiStages();
  stages[0].x = 77;
  mouse_->SetDpiStages(stages);
  const auto before = Dump("config", 0, 128);
  // Link check, BeginConfig, link check and the first 24 bytes get through.
  ASSERT_EQ(emu_.Command("link-down after=4"), "ok link-down after=4");
  ClearJournal();
  EXPECT_EQ(mouse_->WriteDeviceConfig(0, 0, 1, 1920, 1080), CMD_NOT_LINKED);
  const auto packets = Journal();
  int pieces = 0;
  for (const Packet& p : packets) pieces += p.cmd == 0x06;
  EXPECT_GE(pieces, 2) << "the write was cut off, not skipped";
  EXPECT_EQ(Dump("config", 0, 128), before) << "no half-written record";
  loop_.RunPending();
  EXPECT_EQ(linkLost_, 1) << "the tile hears of the lost link";

  // With the link down nothing is even begun.
  ClearJournal();
  EXPECT_EQ(mouse_->WriteDeviceConfig(0, 0, 1, 1920, 1080), CMD_NOT_LINKED);
  EXPECT_EQ(Codes(Journal()), std::vector<int>{0xAA});
  EXPECT_EQ(mouse_->ReadDeviceTables(), CMD_NOT_LINKED);
  EXPECT_EQ(mouse_->ReadDeviceConfig(), -1);
  EXPECT_FALSE(mouse_->IsWirelessLinkUp());

  // Back in reach, the next write starts afresh and lands whole.
  ASSERT_EQ(emu_.Command("link up"), "ok link up");
  EXPECT_EQ(mouse_->WriteDeviceConfig(0, 0, 1, 1920, 1080), 1);
  EXPECT_EQ(Dump("config", 16, 1), std::vector<uint8_t>{77});
}

TEST_P(MouseReceiverTest, ConnectingWithTheLinkDownLeavesTheScaleAlone) {
  ASSERT_EQ(emu_.Command("link down"), "ok link down");
  mouse_->OnConnected();
  // No information block: typing a resolution keeps the slider where it is.
  auto* slider = dynamic_cast<CSliderUI*>(mouse_->FindSubControl("DPI_slider_2"));
  ASSERT_NE(slider, nullptr);
  slider->SetValue(23);
  mouse_->FindSubControl("DPI_edit_2")->SetText("1600");
  EXPECT_EQ(mouse_->GetDpiEditValue(2), 23);
  EXPECT_EQ(mouse_->SliderForDpi(1600), 0);
}

INSTANTIATE_TEST_SUITE_P(ByLink, MouseReceiverTest, ::testing::Values(kReceiver),
                         [](const ::testing::TestParamInfo<Link>& i) { return std::string(i.param.name); });

// ---- the page without a device ----

using MousePageTest = MouseTest;

TEST_P(MousePageTest, ResolutionScaleBothWays) {
  struct Case {
    uint16_t sensor;
    uint8_t step;
    uint16_t minimum;
    int slider, shown;  // the slider and the resolution shown for it
    int typed, back;    // a typed resolution and the slider it gives
  } cases[] = {
      {0x3325, 100, 200, 48, 5000, 150, 0},
      {0x3325, 100, 200, 50, 5400, 5400, 50},
      {0x1234, 50, 100, 10, 600, 620, 10},
      {0x3325, 50, 100, 0, 100, 99999, 85},  // beyond the slider: its end
  };
  for (const Case& c : cases) {
    mouse_->SetInfo(c.sensor, c.step, c.minimum);
    mouse_->ShowDpiValue(1, c.slider);
    EXPECT_EQ(mouse_->FindSubControl("DPI_edit_1")->GetText(), std::to_string(c.shown)) << c.slider;
    mouse_->FindSubControl("DPI_edit_1")->SetText(std::to_string(c.typed));
    EXPECT_EQ(mouse_->GetDpiEditValue(1), c.back) << c.typed;
  }
  mouse_->FindSubControl("DPI_edit_1")->SetText("");
  EXPECT_EQ(mouse_->GetDpiEditValue(1), 0);
}

TEST_P(MousePageTest, TheLastEnabledStageCannotBeSwitchedOff) {
  for (int i = 0; i < 5; ++i) mouse_->ShowDpiStageEnabled(i, i == 1 || i == 3);
  auto* last = Option("DPI_enable_check_3");
  ASSERT_NE(last, nullptr);
  EXPECT_TRUE(last->IsEnabled());
  mouse_->ShowDpiStageEnabled(1, false);
  EXPECT_FALSE(last->IsEnabled());
  EXPECT_TRUE(mouse_->IsDpiStageEnabled(3));
  EXPECT_FALSE(mouse_->FindSubControl("DPI_layout_1")->IsEnabled());
}

TEST_P(MousePageTest, RecordFieldsFromTheProfile) {
  mouse_->ReloadProfile();
  mouse_->LoadEffectLists();
  ASSERT_GT(mouse_->EffectValues().size(), 1u);
  mouse_->SetSelectItem(14);  // a user effect: written as effect 0
  EXPECT_EQ(mouse_->BuildConfigRecord(0, 1, 0, 0)[1], mouse_->EffectValues()[0]);
  mouse_->SetSelectItem(3);
  EXPECT_EQ(mouse_->BuildConfigRecord(0, 1, 0, 0)[1], mouse_->EffectValues()[3]);
  mouse_->ForgetEffectValues();  // no effect list (its file is missing)
  EXPECT_EQ(mouse_->BuildConfigRecord(0, 1, 0, 0)[1], 3);
  // More than five stages are refused; five fill bytes 14..58 and no further.
  std::vector<DpiStage> eight(8, DpiStage{1, 0, 0xFFFF, 0xFFFF, 0xFF, 0xFF, 0xFF});
  mouse_->SetDpiStages(eight);
  EXPECT_EQ(mouse_->GetDpiStages().size(), 5u);
  eight.resize(5);
  mouse_->SetDpiStages(eight);
  const auto record = mouse_->BuildConfigRecord(0, 0x5A, 0, 0);
  EXPECT_EQ(record[58], 0xFF);
  EXPECT_EQ(record[59], 0x5A);
}

// Frames as "rrggbbaa" per LED.
std::string Frame(const std::vector<LedColour>& leds) {
  std::string out;
  char b[10];
  for (const LedColour& c : leds) {
    std::snprintf(b, sizeof b, "%02x%02x%02x%02x ", c.red, c.green, c.blue, c.alpha);
    out += b;
  }
  return out;
}

// Wave (multicolour, seven groups 7 hues apart), flow (the pulse passes
// groups 0, 1, 2 while the levels decay) and key fade (all LEDs from 255 down
// by 15), at full brightness, direction 1.
const char* const kGolden[3][3] = {
    {"ff0500ff ff2000ff ff5100ff ff9800ff fff100ff b6ff00ff 68ff00ff 68ff00ff b6ff00ff fff100ff ff9800ff ff5100ff ff2000ff ff0500ff 68ff00ff ",
     "ff0700ff ff2600ff ff5900ff ffa400ff ffff00ff aaff00ff 5eff00ff 5eff00ff aaff00ff ffff00ff ffa400ff ff5900ff ff2600ff ff0700ff 5eff00ff ",
     "ff0a00ff ff2c00ff ff6300ff ffb000ff f8ff00ff 9eff00ff 55ff00ff 55ff00ff 9eff00ff f8ff00ff ffb000ff ff6300ff ff2c00ff ff0a00ff 55ff00ff "},
    {"0000ffd6 0000ff00 0000ff00 0000ff00 0000ff00 0000ff00 0000ff00 0000ff00 0000ff00 0000ff00 0000ff00 0000ff00 0000ff00 0000ffd6 0000ff00 ",
     "0000ffae 0000ffd6 0000ff00 0000ff00 0000ff00 0000ff00 0000ff00 0000ff00 0000ff00 0000ff00 0000ff00 0000ff00 0000ffd6 0000ffae 0000ff00 ",
     "0000ff86 0000ffae 0000ffd6 0000ff00 0000ff00 0000ff00 0000ff00 0000ff00 0000ff00 0000ff00 0000ff00 0000ffd6 0000ffae 0000ff86 0000ff00 "},
    {"00ff00fe 00ff00fe 00ff00fe 00ff00fe 00ff00fe 00ff00fe 00ff00fe 00ff00fe 00ff00fe 00ff00fe 00ff00fe 00ff00fe 00ff00fe 00ff00fe 00ff00fe ",
     "00ff00ef 00ff00ef 00ff00ef 00ff00ef 00ff00ef 00ff00ef 00ff00ef 00ff00ef 00ff00ef 00ff00ef 00ff00ef 00ff00ef 00ff00ef 00ff00ef 00ff00ef ",
     "00ff00e0 00ff00e0 00ff00e0 00ff00e0 00ff00e0 00ff00e0 00ff00e0 00ff00e0 00ff00e0 00ff00e0 00ff00e0 00ff00e0 00ff00e0 00ff00e0 00ff00e0 "},
};

TEST_P(MousePageTest, GoldenFramesOfTheMousesOwnSteps) {
  struct Case {
    uint8_t mode, multiColor, red, green, blue;
  } cases[] = {{0, 1, 0, 0, 0}, {5, 0, 0, 0, 255}, {6, 0, 0, 255, 0}};
  for (const Case& c : cases) {
    LightInfo info;
    info.selectItem = c.mode;
    info.light = 4;
    info.fx = 1;
    info.multiColor = c.multiColor;
    info.red = c.red;
    info.green = c.green;
    info.blue = c.blue;
    mouse_->SetLight(info);
    mouse_->Preview() = {};
    mouse_->ClearLevels();
    mouse_->SetLevel(kTriggerBase, 1);  // the flow's pulse, as a mode change leaves it
    if (c.mode == 6) {
      mouse_->HandleEventCode(0x403);
      loop_.RunPending();
    }
    for (int k = 0; k < 3; ++k) {
      ASSERT_TRUE(mouse_->RunLightStep(c.mode));
      EXPECT_EQ(Frame(mouse_->LedFrame()), kGolden[c.mode == 0 ? 0 : c.mode == 5 ? 1 : 2][k]) << int{c.mode} << "/" << k;
    }
  }
  EXPECT_FALSE(mouse_->RunLightStep(12)) << "user effects play the LED effect list";
}

TEST_P(MouseTest, TheLightThreadPaintsTheLogoLights) {
  // The thread steps only for an eye: lighting control on (as the window does at a bind).
  mouse_->SetLightingControlActive(true);
  mouse_->OnConnected();
  EXPECT_TRUE(mouse_->LightThread().Running());
  auto lit = [&] {
    for (const LedColour& c : mouse_->LedFrame())
      if (c.alpha != 0) return true;
    return false;
  };
  ASSERT_TRUE(WaitFor(lit));
  mouse_->PaintLights();
  auto* led = dynamic_cast<CDeviceKeyButtonUI*>(mouse_->FindSubControl("light_0_3"));
  ASSERT_NE(led, nullptr);
  EXPECT_TRUE(led->IsShowLightImage());
  // Two threshold passes of the mode the mouse reported: the thread sleeps until due.
  const auto idle = mouse_->LightThread().WaitIdle(0, 2000);
  EXPECT_GE(idle.dueTicks, 1);
  EXPECT_LE(idle.dueTicks, mouse_->LightThreshold());
  mouse_->StopLightThread();
  EXPECT_FALSE(mouse_->LightThread().Running());
}

INSTANTIATE_TEST_SUITE_P(ByLink, MousePageTest, ::testing::Values(kCable),
                         [](const ::testing::TestParamInfo<Link>& i) { return std::string(i.param.name); });

}  // namespace
}  // namespace korvale
