// The keyboard page against korvale-emu over the virtual bus: what it sends
// when connected, the key maps, configuration and key downloads, events from
// the listener threads, and unplugging.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "devices/page_setup.h"
#include "devices/varnik_keyboard_device.h"
#include "emulator/firmware.h"
#include "hid/device_table.h"
#include "hid/hid_device.h"
#include "platform/trace.h"
#include "platform/ui_loop.h"
#include "profiles/json_file.h"
#include "profiles/settings_files.h"
#include "tests/support/bus_paths.h"
#include "tests/support/emu_process.h"
#include "tests/support/journal.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"
#include "ui/custom_controls.h"
#include "ui/dialog_builder.h"
#include "ui/paint_manager.h"
#include "ui/resource_manager.h"
#include "ui/skin_controls.h"

namespace korvale {
namespace {

namespace fs = std::filesystem;
using testing::Codes;
using testing::EmuProcess;
using testing::Packet;
using testing::WaitFor;
using testing::Written;

// The keyboard page with its lighting hooks recorded.
class TestKeyboard : public CVarnikKeyboardDevice {
 public:
  struct KeyCall {
    int key, action;
    bool onUiThread;
  };
  void ReactToKey(int key, int action) override {
    keyCalls.push_back({key, action, GetUiLoop().IsUiThread()});
  }
  void ResetEffectState() override {
    ++effectResets;
    if (realReset) CVarnikKeyboardDevice::ResetEffectState();
  }
  bool realReset = false;  // the page's own reset (custom colours) as well as the count
  void OnResync() override {
    ++resyncs;
    CVarnikKeyboardDevice::OnResync();
  }
  void RefreshPage() override {
    ++refreshes;
    refreshOffUi += !GetUiLoop().IsUiThread();
    CVarnikKeyboardDevice::RefreshPage();
  }
  using CVarnikKeyboardDevice::HandleEventCode;
  std::vector<KeyCall> keyCalls;
  int resyncs = 0;
  int effectResets = 0;
  int refreshes = 0;
  int refreshOffUi = 0;
};

// A battery panel that records what the page shows on it.
class FakePowerDisplay : public CControlUI, public IPowerDisplayHooks {
 public:
  void SetWireless(bool on) override { wireless = on; }
  void ShowStatus(const std::array<uint8_t, 6>& s) override {
    status = s;
    ++shown;
  }
  void Refresh() override { ++refreshed; }
  bool wireless = false;
  std::array<uint8_t, 6> status{};
  int shown = 0;
  int refreshed = 0;
};

// A key assignment editor that knows a few names.
class FakeKeyEditor : public CControlUI, public IKeyEditorHooks {
 public:
  void Initialise() override { ++initialised; }
  void SetDeviceKind(int k) override { deviceKind = k; }
  void SetMainWindow(HWND) override {}
  void SetMacroNames(const std::vector<std::string>&) override {}
  void OpenForKey(int key, const KeyRecord&, bool fn) override {
    openedKey = key;
    openedFn = fn;
  }
  std::string NameOfCode(const AssignmentCode& c) const override {
    switch (c.ToInt()) {
      case 0x200100: return "key_lctrl";
      case 0x200200: return "key_lshift";
      case 0x200004: return "keyboard_key_A";
      case 0x400100: return "mouse_left";
      default: return "";
    }
  }
  int initialised = 0, deviceKind = 0, openedKey = -1;
  bool openedFn = false;
};

// A profile list with one selected profile.
class FakeProfileList : public CControlUI, public IProfileListHooks {
 public:
  void SetDeviceKind(int k) override { deviceKind = k; }
  void SetFolders(const fs::path& user, const fs::path& def) override {
    userFolder = user;
    defaultProfile = def;
  }
  void Initialise() override { ++initialised; }
  void SelectFeatureTab(int tab) override { featureTab = tab; }
  std::string GetSelectedUUID() const override { return "{AAAA-1}"; }
  void ReloadList() override { ++reloads; }
  int deviceKind = 0, initialised = 0, featureTab = -1, reloads = 0;
  fs::path userFolder, defaultProfile;
};

class Builder : public IDialogBuilderCallback {
 public:
  CControlUI* CreateControl(std::string_view tag) override {
    return tag == "VarnikKeyboardDevice" ? new TestKeyboard() : nullptr;
  }
};

// Counts model changes made away from the UI thread.
class ThreadWatch : public IControlObserver {
 public:
  void OnPropertyChanged(CControlUI*, const std::string&, const std::string&) override { Check(); }
  void OnChildAdded(CContainerUI*, CControlUI*, int) override { Check(); }
  void OnChildRemoved(CContainerUI*, CControlUI*) override { Check(); }
  void OnInvalidate(CControlUI*) override { Check(); }
  std::atomic<int> offUi{0};
  std::atomic<int> changes{0};

 private:
  void Check() {
    ++changes;
    if (!GetUiLoop().IsUiThread()) ++offUi;
  }
};

std::string KeyboardPath(int collection) { return testing::BusPath("keyboard", collection); }

constexpr const char* kProfile = "{4F1D2C3B-0000-4000-8000-000000000001}";
constexpr int kCommandCollection = 4;
constexpr int kKeyboardProduct = 1;
constexpr int kEventCollection = 3;

class KeyboardTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = tmp_.Path();
    ::setenv("KORVALE_VHID_DIR", (dir_ / "bus").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (dir_ / "data").c_str(), 1);
    CHidDevice::SetHidrawEnabled(false);
    SetUiLoop(&loop_);
    RegisterSkinControls(DeviceControlCreators());
    ASSERT_TRUE(emu_.Start({"--dir", (dir_ / "bus").string(), "keyboard"}));
    ASSERT_EQ(emu_.Line().rfind("keyboard", 0), 0u);
    pm_.AddObserver(&watch_);

    Builder callback;
    CDialogBuilder builder;
    CControlUI* root = builder.Create(std::string(KORVALE_SOURCE_DIR) + "/skin/XML/DeviceXml/keyboarddevice.xml",
                                      &callback, &pm_);
    kb_ = dynamic_cast<TestKeyboard*>(root);
    ASSERT_NE(kb_, nullptr);
    pm_.AttachDialog(root);
    ASSERT_STREQ(kProducts[kKeyboardProduct].productKey, "keyboard");
    const auto identity = ProductIdentity(kKeyboardProduct);
    ASSERT_TRUE(identity);
    ASSERT_TRUE(SetUpPage(*kb_, kKeyboardProduct, *identity));
    kb_->SetProfileName(kProfile);
    kb_->InitPage();
    ASSERT_TRUE(kb_->AttachPrimary(KeyboardPath(kCommandCollection), false, proto::kModeCable));
  }

  void TearDown() override {
    pm_.AttachDialog(nullptr);  // the page stops its threads
    EXPECT_EQ(watch_.offUi.load(), 0) << "controls changed off the UI thread";
    pm_.RemoveObserver(&watch_);
    emu_.Kill();
    SetUiLoop(nullptr);
  }

  std::vector<Packet> Journal() { return testing::ParseJournal(emu_.Listing("journal keyboard")); }
  void ClearJournal() { ASSERT_EQ(emu_.Command("journal-clear keyboard"), "ok journal-clear keyboard"); }

  // Runs posted work until pred holds (worker threads post in real time).
  template <class Pred>
  bool PumpUntil(Pred pred) {
    return testing::PumpUntil(loop_, pred);
  }

  void WriteMacroConfig(int count) {
    Json::Value doc;
    for (int i = 0; i < count; ++i) {
      Json::Value m;
      m["MacroName"] = "macro " + std::to_string(i);
      doc["MacroInfo"].append(m);
    }
    std::ofstream(kb_->UserDataFolder() / "macro.config") << doc.toStyledString();
  }

  testing::TempDir tmp_{"korvale-dev"};
  fs::path dir_;
  VirtualUiLoop loop_;
  CPaintManagerUI pm_;
  ThreadWatch watch_;
  EmuProcess emu_;
  TestKeyboard* kb_ = nullptr;  // owned by pm_
};

TEST_F(KeyboardTest, ConnectingReadsTheDeviceBuildsMapsAndShowsThePage) {
  ClearJournal();
  kb_->OnConnected();
  const auto packets = Journal();
  EXPECT_EQ(Codes(packets), (std::vector<int>{0x01, 0x03, 0x07, 0x1B, 0x02, 0x05}));
  EXPECT_EQ(Written(packets, 0x07).size(), 170u * 3);
  EXPECT_EQ(Written(packets, 0x1B).size(), 170u);
  std::vector<std::pair<int, int>> configReads;
  for (const Packet& p : packets)
    if (p.cmd == 0x05) configReads.push_back({p.len, p.off});
  EXPECT_EQ(configReads, (std::vector<std::pair<int, int>>{{1, 0}, {40, 0}}));

  // Maps follow the keyboard's own position order, not the screen order.
  int moved = 0;
  for (int j = 0; j < kKeyboardRealKeys; ++j) {
    const AssignmentCode code = kKeyboardDefaultCodes[static_cast<std::size_t>(j)];
    if (FindKeyboardKey(code) != j || code == AssignmentCode{0x20, 0, 0}) continue;  // codes used twice
    EXPECT_EQ(kb_->KeyToPosition(j), static_cast<int>(emu::KeyboardPositionOfKey(static_cast<std::size_t>(j)))) << j;
    EXPECT_EQ(kb_->KeyToLed(j), static_cast<int>(emu::KeyboardLedOfKey(static_cast<std::size_t>(j)))) << j;
    moved += kb_->KeyToPosition(j) != j;
  }
  EXPECT_GT(moved, 100);

  // The profile file was made from the default one.
  const fs::path file = dir_ / "data" / kIdentity / "keyboard" / (std::string(kProfile) + ".Json");
  EXPECT_TRUE(fs::exists(file));
  EXPECT_EQ(kb_->GetProfilePath(), file.string());
  EXPECT_EQ(kb_->GetKeyList().size(), 170u);
  EXPECT_EQ(kb_->EffectValues().size(), 35u);  // the keyboard's built-in effects

  // The keyboard's record 0 (mode 1, brightness 4, speed 2 stored, multicolour, red) is shown.
  const LightInfo& info = kb_->GetLightInfoRecord();
  EXPECT_EQ(info.selectItem, 1);
  EXPECT_EQ(info.light, 4);
  EXPECT_EQ(info.speed, 2);
  EXPECT_EQ(info.multiColor, 1);
  EXPECT_EQ(info.red, 255);
  auto option = [&](const char* name) { return dynamic_cast<COptionUI*>(kb_->FindSubControl(name)); };
  ASSERT_NE(option("polling_rate_option_0"), nullptr);
  EXPECT_TRUE(option("polling_rate_option_0")->IsSelected());
  EXPECT_FALSE(option("polling_rate_option_1")->IsSelected());
  EXPECT_TRUE(option("repeat_delay_check_1")->IsSelected());  // the default profile's delay 1
  EXPECT_EQ(kb_->FindSubControl("repeat_delay_time_label1")->GetText().rfind("500ms"),
            kb_->FindSubControl("repeat_delay_time_label1")->GetText().size() - 5);
  EXPECT_EQ(kb_->FindSubControl("voice_sensitivity_value")->GetText(), "20");
  EXPECT_GT(watch_.changes.load(), 0);  // the watch over control changes sees the page
  // Every key button is bound, and is also the key's light button; placeholders are hidden.
  for (int k = 0; k < kKeyboardKeyCount; ++k) {
    ASSERT_NE(kb_->KeyButton(k), nullptr) << k;
    EXPECT_EQ(kb_->LightButton(k), kb_->KeyButton(k));
    EXPECT_EQ(kb_->KeyButton(k)->IsVisible(), k < kKeyboardRealKeys) << k;
  }
}

TEST_F(KeyboardTest, ProfileChangesPersistAndDefaultsRestore) {
  kb_->OnConnected();
  std::vector<KeyRecord> keys = kb_->GetKeyList();
  keys[5].normal.code = {0x20, 0x00, 0x04};
  kb_->SetKeyList(keys);
  kb_->SetSystemSettings(0x00020010, 0x00010001, 0, 0);
  kb_->SaveProfile();
  ASSERT_EQ(kb_->ReloadProfile(), 1);
  EXPECT_EQ(kb_->GetKeyList()[5].normal.code, (AssignmentCode{0x20, 0x00, 0x04}));
  EXPECT_EQ(kb_->GetSystemSettings()[0], 0x00020010u);
  kb_->RestoreDefaultProfile();
  EXPECT_EQ(kb_->GetKeyList()[5].normal.code, kKeyboardDefaultCodes[5]);
  ASSERT_EQ(kb_->ReloadProfile(), 1);  // and the file holds the defaults
  EXPECT_EQ(kb_->GetKeyList()[5].normal.code, kKeyboardDefaultCodes[5]);
  EXPECT_EQ(kb_->GetSystemSettings()[0], 0x00010000u);
}

// A drag's save still waiting when the page goes (the program's end, an
// unplug) is written as the page goes.
TEST_F(KeyboardTest, AWaitingDragSaveLandsWhenThePageGoes) {
  kb_->OnConnected();
  const fs::path file = dir_ / "data" / kIdentity / "keyboard" / (std::string(kProfile) + ".Json");
  const auto redOnDisk = [&] { return ReadJsonFile(file)["Device"][0]["LightInfo"]["Red"].asInt(); };
  LightInfo info = kb_->GetLightInfoRecord();
  info.red = 11;
  kb_->SetLightInfo(info.ToWords());
  kb_->SaveProfileWhileDragging();
  EXPECT_EQ(redOnDisk(), 11);
  info.red = 12;
  kb_->SetLightInfo(info.ToWords());
  kb_->SaveProfileWhileDragging();
  EXPECT_TRUE(kb_->IsProfileSavePending());
  EXPECT_EQ(redOnDisk(), 11);
  pm_.AttachDialog(nullptr);
  kb_ = nullptr;
  EXPECT_EQ(redOnDisk(), 12);
}

TEST_F(KeyboardTest, ProfileNameLeadingOutsideLoadsNothing) {
  kb_->SetProfileName("../../escape");
  EXPECT_EQ(kb_->ReloadProfile(), 0);
  EXPECT_TRUE(kb_->GetKeyList().empty());
  EXPECT_FALSE(fs::exists(dir_ / "data" / "escape.Json"));
  EXPECT_FALSE(fs::exists(dir_ / "escape.Json"));
}

TEST_F(KeyboardTest, LightThreadFillsTheTableAndPaintShowsIt) {
  // The thread steps only for an eye: lighting control on (as the window does at a bind).
  kb_->SetLightingControlActive(true);
  kb_->OnConnected();
  ASSERT_TRUE(kb_->IsLightThreadRunning());
  auto lit = [&] {
    for (int i = 0; i < kb_->GetLightCount(); ++i)
      if (kb_->Lighting().Led(i).alpha > 0) return true;
    return false;
  };
  ASSERT_TRUE(WaitFor(lit));
  kb_->PaintLights();
  int shown = 0;
  for (int i = 0; i < kKeyboardRealKeys; ++i) shown += kb_->LightButton(i)->GetLightFade() > 0;
  EXPECT_GT(shown, 0);
  // Off the key page the buttons show no light.
  kb_->ShowFunctionPage(3);
  kb_->PaintLights();
  for (int i = 0; i < kKeyboardRealKeys; ++i) EXPECT_EQ(kb_->LightButton(i)->GetLightFade(), 0) << i;
  // A new LED count stops the thread before the table it writes goes away.
  kb_->SetLightCount(170);
  EXPECT_FALSE(kb_->IsLightThreadRunning());
  kb_->StartLightThread();
  EXPECT_TRUE(kb_->IsLightThreadRunning());
}

TEST_F(KeyboardTest, KeyLabelsNameMacrosKeysAndCombinations) {
  auto* editor = new FakeKeyEditor();
  editor->SetName("KeySetControlItem");
  kb_->Add(editor);
  CResourceManager::GetInstance().AddText("close_text", "Off");
  CResourceManager::GetInstance().AddText("keyboard_key_A", "A");
  CResourceManager::GetInstance().AddText("Key_Set", "Key: ");
  kb_->OnConnected();
  WriteMacroConfig(2);
  kb_->LoadEffectLists();
  struct Case {
    AssignmentCode code;
    const char* label;
  } cases[] = {
      {{0x70, 1, 0}, "macro 1"},
      {{0x71, 5, 0}, ""},  // no such macro
      {{0x20, 0, 0}, "Off"},
      {{0x00, 0, 0}, "Off"},
      {{0x20, 0, 4}, "A"},
      {{0x20, 0x03, 0x04}, "key_lctrl+key_lshift+A"},
      {{0x40, 1, 0}, "mouse_left"},
      {{0x50, 9, 9}, "关闭"},
  };
  for (const Case& c : cases) EXPECT_EQ(kb_->LabelForCode(c.code), c.label) << std::hex << c.code.ToInt();

  std::vector<KeyRecord> keys = kb_->GetKeyList();
  keys[64].normal.code = {0x20, 0x03, 0x04};
  kb_->SetKeyList(keys);
  kb_->RefreshKeyLabels();
  EXPECT_EQ(kb_->KeyButton(64)->GetToolTip(), "A\nKey: key_lctrl+key_lshift+A");
  EXPECT_FALSE(kb_->KeyButton(64)->GetKeyUnsetFlag());  // changed: the badge shows
  kb_->SelectKey(64);
  EXPECT_EQ(editor->openedKey, 64);
  EXPECT_FALSE(editor->openedFn);
  EXPECT_TRUE(editor->IsVisible());
  CResourceManager::GetInstance().SetLanguageTexts({});
}

TEST_F(KeyboardTest, BindingHandsFoldersToTheProfileListAndTakesItsProfile) {
  auto* list = new FakeProfileList();
  list->SetName("DeviceProfileItem");
  kb_->Add(list);
  kb_->InitPage();
  EXPECT_EQ(list->deviceKind, kKindKeyboard);
  EXPECT_EQ(list->userFolder, dir_ / "data" / kIdentity / "keyboard");
  EXPECT_EQ(list->defaultProfile, DefaultProfilePath("keyboard"));
  EXPECT_EQ(list->initialised, 1);
  EXPECT_EQ(list->featureTab, 1);
  EXPECT_EQ(kb_->GetProfileName(), "{AAAA-1}");
  // A 0x402 resync reloads the list once.
  CVarnikKeyboardDevice::ProfilesChangedFlag() = proto::kEventProfilesChanged;
  kb_->OnResync();
  kb_->OnResync();
  EXPECT_EQ(list->reloads, 1);
}

TEST_F(KeyboardTest, TooManyKeyPositionsReadNoTable) {
  ASSERT_EQ(emu_.Command("info keyboard 5 171"), "ok info keyboard 5");
  ClearJournal();
  EXPECT_EQ(kb_->ReadDeviceTables(), 0);
  EXPECT_EQ(Codes(Journal()), (std::vector<int>{0x01, 0x03, 0x02}));
  EXPECT_EQ(kb_->KeyToPosition(0), CVarnikKeyboardDevice::kNone);
  EXPECT_EQ(kb_->KeyToLed(0), CVarnikKeyboardDevice::kNone);
}

TEST_F(KeyboardTest, KeyDownloadRenumbersMacrosAndClearsUnchangedFnKeys) {
  kb_->OnConnected();
  WriteMacroConfig(5);
  std::vector<KeyRecord> keys = kb_->GetKeyList();
  ASSERT_EQ(keys.size(), 170u);
  auto at = [&](int k) -> KeyRecord& { return keys[static_cast<std::size_t>(k)]; };
  at(64).normal.code = {0x70, 4, 0};  // first macro of the download
  at(65).normal.code = {0x71, 1, 2};  // second
  at(66).normal.code = {0x70, 4, 0};  // the first again
  at(67).normal.code = {0x70, 7, 0};  // beyond the macro list: default code
  at(67).fn.code = {0x70, 7, 0};      // ... and no Fn function
  at(69).fn.code = {0x20, 0x00, 0x04};
  kb_->SetKeyList(keys);
  ClearJournal();
  EXPECT_EQ(kb_->ApplyKeyAssignments(0), 1);
  const auto packets = Journal();
  EXPECT_EQ(Codes(packets), (std::vector<int>{0x03, 0x01, 0x09, 0x27, 0x02}));
  const auto normal = Written(packets, 0x09);
  const auto fnLayer = Written(packets, 0x27);
  ASSERT_EQ(normal.size(), 510u);
  ASSERT_EQ(fnLayer.size(), 510u);
  auto code = [&](const std::vector<uint8_t>& t, int key) {
    const auto p = static_cast<std::size_t>(kb_->KeyToPosition(key)) * 3;
    return AssignmentCode{t[p], t[p + 1], t[p + 2]};
  };
  EXPECT_EQ(code(normal, 64), (AssignmentCode{0x70, 0, 0}));
  EXPECT_EQ(code(normal, 65), (AssignmentCode{0x71, 1, 2}));
  EXPECT_EQ(code(normal, 66), (AssignmentCode{0x70, 0, 0}));
  EXPECT_EQ(code(normal, 67), kKeyboardDefaultCodes[67]);
  EXPECT_EQ(code(fnLayer, 67), AssignmentCode{});
  EXPECT_EQ(code(fnLayer, 68), AssignmentCode{});  // Fn code equal to the default
  EXPECT_EQ(code(fnLayer, 69), (AssignmentCode{0x20, 0x00, 0x04}));
  EXPECT_EQ(code(normal, 0), kKeyboardDefaultCodes[0]);
  // The stored list keeps the user's numbers.
  EXPECT_EQ(kb_->GetKeyList()[64].normal.code, (AssignmentCode{0x70, 4, 0}));

  // The third table goes out on its own command.
  ClearJournal();
  EXPECT_EQ(kb_->WriteSecondaryKeyTable(0, keys), 1);
  EXPECT_EQ(Codes(Journal()), (std::vector<int>{0x03, 0x01, 0x28, 0x02}));

  // Revalidating against a shorter macro list restores the defaults of keys past it.
  WriteMacroConfig(2);
  kb_->RevalidateMacroKeys();
  EXPECT_EQ(kb_->GetKeyList()[64].normal.code, kKeyboardDefaultCodes[64]);
  EXPECT_EQ(kb_->GetKeyList()[65].normal.code, (AssignmentCode{0x71, 1, 2}));
}

TEST_F(KeyboardTest, ConfigurationRecordModes) {
  kb_->OnConnected();
  // The keyboard runs an application-driven mode: the page keeps its effect.
  LightInfo info = kb_->GetLightInfoRecord();
  info.selectItem = 5;
  kb_->SetLightInfo(info.ToWords());
  const uint8_t fe = 0xFE;
  ASSERT_EQ(kb_->Comm().WriteConfig(&fe, 1, 1), CMD_OK);
  EXPECT_EQ(kb_->ReadDeviceConfig(), 0);
  EXPECT_EQ(kb_->GetLightInfoRecord().selectItem, 5);
  EXPECT_EQ(kb_->GetCurrentConfig().modeIndex, 5);
  // The effect starts over only when the read changes it (or it is effect 20).
  const int resets = kb_->effectResets;
  const uint8_t twenty = 20;
  ASSERT_EQ(kb_->Comm().WriteConfig(&twenty, 1, 1), CMD_OK);
  kb_->ReadDeviceConfig();
  kb_->ReadDeviceConfig();
  EXPECT_EQ(kb_->effectResets, resets + 2);
  const uint8_t seven = 7;
  ASSERT_EQ(kb_->Comm().WriteConfig(&seven, 1, 1), CMD_OK);
  kb_->ReadDeviceConfig();
  kb_->ReadDeviceConfig();
  EXPECT_EQ(kb_->effectResets, resets + 3);
  EXPECT_EQ(kb_->GetLightInfoRecord().selectItem, 7);

  struct Case {
    uint8_t select, speed;
    uint8_t modeByte;
  } cases[] = {{30, 1, 0xFE}, {29, 0, 0xFE}, {3, 4, 3}};
  for (const Case& c : cases) {
    info.selectItem = c.select;
    info.speed = c.speed;
    info.red = 9;
    kb_->SetLightInfo(info.ToWords());
    kb_->SetSystemSettings(0, 3u << 16, 1u << 16, 0);  // polling rate 3, Windows lock on
    ClearJournal();
    EXPECT_EQ(kb_->WriteDeviceConfig(0, 0), 1);
    const auto packets = Journal();
    EXPECT_EQ(Codes(packets), (std::vector<int>{0x01, 0x06, 0x02}));
    const auto record = Written(packets, 0x06);
    ASSERT_EQ(record.size(), 40u);
    EXPECT_EQ(record[1], c.modeByte) << int(c.select);
    EXPECT_EQ(record[3], 4 - c.speed);
    EXPECT_EQ(record[6], 9);
    EXPECT_EQ(record[21], 1);
    EXPECT_EQ(record[22], 3);
  }
  // A repeat delay out of range shows as the first one.
  kb_->ShowRepeatDelay(5);
  EXPECT_TRUE(dynamic_cast<COptionUI*>(kb_->FindSubControl("repeat_delay_check_0"))->IsSelected());
  const std::string label = kb_->FindSubControl("repeat_delay_time_label1")->GetText();
  EXPECT_EQ(label.substr(label.size() - 5), "250ms");

  // Closed channels: nothing is sent.
  kb_->DetachPrimary();
  ClearJournal();
  EXPECT_EQ(kb_->WriteDeviceConfig(0, 0), 0);
  EXPECT_EQ(kb_->ApplyKeyAssignments(0), 0);
  EXPECT_EQ(kb_->ReadDeviceConfig(), -1);
  EXPECT_TRUE(Journal().empty());
}

TEST_F(KeyboardTest, WirelessStatusGoesToThePowerDisplay) {
  FakePowerDisplay display;
  kb_->SetWirelessFlag(true);
  kb_->SetPowerDisplay(&display);
  EXPECT_TRUE(display.wireless);
  ClearJournal();
  kb_->PollWirelessStatus();  // on the cable the link counts as up
  const auto packets = Journal();
  ASSERT_EQ(Codes(packets), (std::vector<int>{0x1A}));
  EXPECT_EQ(packets[0].len, 6);
  EXPECT_EQ(display.shown, 1);
  EXPECT_EQ(display.status[proto::kStatusBattery], 85);
  EXPECT_EQ(display.status[proto::kStatusWireless], 0);
  EXPECT_FALSE(kb_->IsWirelessLinkUp());  // not on the receiver

  // Lighting control switched on tells the keyboard.
  kb_->SetLightingControlActive(true);
  EXPECT_EQ(Codes(Journal()), (std::vector<int>{0x1A, 0x1C}));

  kb_->SetWirelessPollPaused(true);
  ClearJournal();
  kb_->PollWirelessStatus();
  EXPECT_TRUE(Journal().empty());
  kb_->SetWirelessPollPaused(false);
  ASSERT_EQ(emu_.Command("fault keyboard status-fe count=1"), "ok fault keyboard status-fe");
  kb_->PollWirelessStatus();
  EXPECT_EQ(display.shown, 1);  // a failed read shows nothing
  kb_->ShowFunctionPage(3);
  EXPECT_EQ(display.refreshed, 1);
  kb_->SetPowerDisplay(nullptr);
}

TEST_F(KeyboardTest, FnPageDisablesProtectedKeysAndSelectionMarksKeys) {
  kb_->OnConnected();
  auto enabled = [&](int k) { return kb_->KeyButton(k)->IsEnabled(); };
  kb_->ShowFunctionPage(2);
  EXPECT_FALSE(enabled(CVarnikKeyboardDevice::kFnKey));
  EXPECT_TRUE(enabled(64));
  kb_->Profile().WriteFnKeysetFlag(1);
  kb_->SaveProfile();
  kb_->ReloadProfile();
  ASSERT_TRUE(kb_->FnEditing());
  kb_->ShowFunctionPage(2);
  for (int k : {0, 12, 64, 65, 75, 95, 56, 113, 115, 96, 114, 43, 47, 34, 108, 106, 21, 69})
    EXPECT_FALSE(enabled(k)) << k;
  EXPECT_FALSE(enabled(CVarnikKeyboardDevice::kFnKey));
  EXPECT_TRUE(enabled(13));
  EXPECT_TRUE(enabled(70));
  kb_->ShowFunctionPage(1);
  EXPECT_TRUE(enabled(64));
  EXPECT_TRUE(enabled(CVarnikKeyboardDevice::kFnKey));

  // Selecting: a changed key stays marked when another is chosen, an unchanged one does not.
  std::vector<KeyRecord> keys = kb_->GetKeyList();
  keys[30].fn.code = {0x20, 0x00, 0x05};  // the Fn layer is the one shown
  kb_->SetKeyList(keys);
  kb_->SelectKey(30);
  EXPECT_EQ(kb_->GetSelectedKey(), 30);
  EXPECT_TRUE(kb_->KeyButton(30)->IsSelected());
  EXPECT_FALSE(kb_->KeyButton(30)->GetKeySetFlag());  // overlay shown
  kb_->SelectKey(31);
  EXPECT_TRUE(kb_->KeyButton(31)->IsSelected());
  EXPECT_TRUE(kb_->KeyButton(30)->IsSelected());
  kb_->SelectKey(32);
  EXPECT_FALSE(kb_->KeyButton(31)->IsSelected());
  EXPECT_TRUE(kb_->KeyButton(31)->GetKeySetFlag());
  kb_->SelectKey(500);  // beyond the list: nothing is re-marked
  EXPECT_TRUE(kb_->KeyButton(32)->IsSelected());
  kb_->MarkChangedKeys();
  EXPECT_FALSE(kb_->KeyButton(30)->GetKeyUnsetFlag());
  EXPECT_TRUE(kb_->KeyButton(31)->GetKeyUnsetFlag());
  EXPECT_FALSE(kb_->KeyButton(32)->IsSelected());
}

TEST_F(KeyboardTest, EventsReachTheUiThread) {
  kb_->OnConnected();
  ASSERT_TRUE(kb_->OpenEventChannel(KeyboardPath(kEventCollection), 1));
  EXPECT_TRUE(kb_->IsListening(kEventSideCable));
  // The key at keyboard position p arrives as event 0x500 + p (down) and 0x600 + p (up).
  const int key = 64;
  const std::string pos = std::to_string(kb_->KeyToPosition(key));
  ASSERT_NE(kb_->KeyToPosition(key), key);
  ASSERT_EQ(emu_.Command("press keyboard " + pos), "ok press keyboard " + pos);
  ASSERT_EQ(emu_.Command("release keyboard " + pos), "ok release keyboard " + pos);
  ASSERT_TRUE(PumpUntil([&] { return kb_->keyCalls.size() >= 2; }));
  EXPECT_EQ(kb_->keyCalls[0].key, key);
  EXPECT_EQ(kb_->keyCalls[0].action, 1);
  EXPECT_EQ(kb_->keyCalls[1].action, 2);
  EXPECT_TRUE(kb_->keyCalls[0].onUiThread && kb_->keyCalls[1].onUiThread);

  // A profile switch with a value: active profile 2, record byte 27 = 5, the page refreshed.
  const int before = kb_->refreshes;
  ASSERT_EQ(emu_.Command("profile keyboard 2 5"), "ok profile keyboard 2");
  ASSERT_TRUE(PumpUntil([&] { return kb_->refreshes > before; }));
  EXPECT_EQ(kb_->ActiveProfile(), 2);
  EXPECT_EQ(kb_->ConfigRecord()[27], 5);
  EXPECT_EQ(kb_->refreshOffUi, 0);

  // A resync request runs OnResync 50 ms later; 0x402 also reloads the profile once.
  ASSERT_EQ(emu_.Command("event keyboard 0x402"), "ok event keyboard 0x402");
  ASSERT_TRUE(PumpUntil([&] { return CVarnikKeyboardDevice::ProfilesChangedFlag().load() == 0x402; }));
  loop_.WaitForPosted(200);
  loop_.AdvanceBy(49);
  EXPECT_EQ(kb_->resyncs, 0);
  loop_.AdvanceBy(1);
  EXPECT_EQ(kb_->resyncs, 1);
  EXPECT_EQ(CVarnikKeyboardDevice::ProfilesChangedFlag().load(), 0);
  loop_.AdvanceBy(500);
  EXPECT_EQ(kb_->resyncs, 1);  // one-shot

  kb_->CloseEventChannel(1);
  EXPECT_FALSE(kb_->IsListening(kEventSideCable));
  EXPECT_FALSE(kb_->IsEventChannelOpen(1));
}

TEST_F(KeyboardTest, ProfileEventCodes) {
  kb_->OnConnected();
  struct Case {
    uint16_t code;
    int profile, byte27, refreshes;  // after the event
  } cases[] = {
      {0x1003, 3, 0, 1},  // profile 3
      {0x1135, 5, 3, 1},  // profile 5, value 3
      {0x1202, 5, 3, 0},  // high byte neither 0x10 nor 0x11: ignored
      {0x0403, 5, 3, 0},  // unknown code: ignored
      {0x1102, 2, 0, 1},
  };
  for (const Case& c : cases) {
    const int before = kb_->refreshes;
    std::thread worker([&] { kb_->HandleEventCode(c.code); });
    worker.join();
    EXPECT_EQ(kb_->refreshes, before) << "nothing runs before the UI thread takes it";
    loop_.RunPending();
    EXPECT_EQ(kb_->ActiveProfile(), c.profile) << std::hex << c.code;
    EXPECT_EQ(kb_->ConfigRecord()[27], c.byte27) << std::hex << c.code;
    EXPECT_EQ(kb_->refreshes - before, c.refreshes) << std::hex << c.code;
  }
  // With the channels closed a profile event changes nothing.
  kb_->DetachPrimary();
  kb_->HandleEventCode(0x1004);
  loop_.RunPending();
  EXPECT_EQ(kb_->ActiveProfile(), 2);
}

// The bytes of the configuration area, read straight from the keyboard.
std::vector<uint8_t> ConfigArea(CDeviceComm& comm, std::size_t size) {
  std::vector<uint8_t> area(size);
  EXPECT_EQ(comm.ReadConfig(area.data(), static_cast<uint32_t>(size), 0), CMD_OK);
  return area;
}

// The keyboard on onboard profile 2: the record is read at 2 × 40 and written
// back there with byte 0 = 2, whatever index the caller names; the other
// records and the active index stay as they were. Before any read nothing is written.
TEST_F(KeyboardTest, RecordIsWrittenBackWhereItWasRead) {
  ASSERT_EQ(emu_.Command("profile keyboard 2"), "ok profile keyboard 2");
  ClearJournal();
  EXPECT_EQ(kb_->WriteDeviceConfig(0, 0), CMD_NOT_READ);
  EXPECT_TRUE(Journal().empty());

  kb_->OnConnected();
  std::vector<std::pair<int, int>> reads;
  for (const Packet& p : Journal())
    if (p.cmd == 0x05) reads.push_back({p.len, p.off});
  EXPECT_EQ(reads, (std::vector<std::pair<int, int>>{{1, 0}, {40, 80}}));
  EXPECT_EQ(kb_->ActiveProfile(), 2);
  const auto before = ConfigArea(kb_->Comm(), 4 * 40);

  LightInfo info = kb_->GetLightInfoRecord();
  info.light = 1;
  kb_->SetLightInfo(info.ToWords());
  ClearJournal();
  EXPECT_EQ(kb_->WriteDeviceConfig(0, 0), 1);
  std::vector<std::pair<int, int>> writes;
  for (const Packet& p : Journal())
    if (p.cmd == 0x06) writes.push_back({p.len, p.off});
  EXPECT_EQ(writes, (std::vector<std::pair<int, int>>{{40, 80}}));
  const auto after = ConfigArea(kb_->Comm(), 4 * 40);
  EXPECT_EQ(after[0], 2);                         // still on onboard profile 2
  EXPECT_EQ(after[80], 2);                        // byte 0 of the record names it
  EXPECT_EQ(after[80 + proto::kKbRecBrightness], 1);
  for (std::size_t i = 1; i < after.size(); ++i)
    if (i < 80 || i >= 120) {
      ASSERT_EQ(after[i], before[i]) << "byte " << i << " of another record";
    }
}

// Every device kind writes its record where it read it, with its own sizes
// and strides; byte 0 is the active index.
TEST(ActiveRecord, EveryKindWritesItsRecordWhereItWasRead) {
  testing::TempDir tmp("korvale-rec");
  testing::BusDirOverride bus(tmp.Path() / "bus");
  CHidDevice::SetHidrawEnabled(false);
  EmuProcess emu;
  ASSERT_TRUE(emu.Start({"--dir", (tmp.Path() / "bus").string(), "mouse-cable", "mousepad", "headset"}));
  for (int i = 0; i < 3; ++i) ASSERT_FALSE(emu.Line().empty());
  struct Case {
    const char* device;
    int collection;
    std::size_t readSize, readStride, writeSize, writeStride;
  } cases[] = {
      {"mouse-cable", 4, 71, 128, 71, 128},
      {"mousepad", 4, 40, 40, 21, 64},
      {"headset", 0, 40, 40, 21, 64},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.device);
    ASSERT_EQ(emu.Command(std::string("profile ") + c.device + " 3"), std::string("ok profile ") + c.device + " 3");
    const std::string path = testing::BusPath(c.device, c.collection);
    ASSERT_FALSE(path.empty());
    CVarnikUSBDevice page;
    ASSERT_TRUE(page.AttachPrimary(path, false, 0));
    std::vector<uint8_t> record(c.readSize);
    EXPECT_EQ(page.WriteActiveRecord(record.data(), c.writeSize, c.writeStride), CMD_NOT_READ);
    ASSERT_EQ(page.ReadActiveRecord(record.data(), c.readSize, c.readStride), 3);
    const auto before = ConfigArea(page.Comm(), 512);
    EXPECT_EQ(std::vector<uint8_t>(before.begin() + 3 * c.readStride, before.begin() + 3 * c.readStride + c.readSize),
              record);
    for (std::size_t i = 1; i < c.writeSize; ++i) record[i] = static_cast<uint8_t>(0xA0 + i);
    record[0] = 0;  // whatever the caller leaves there, the index goes out
    EXPECT_EQ(page.WriteActiveRecord(record.data(), c.writeSize, c.writeStride), CMD_OK);
    const auto after = ConfigArea(page.Comm(), 512);
    EXPECT_EQ(after[0], 3);
    EXPECT_EQ(after[3 * c.writeStride], 3);
    for (std::size_t i = 1; i < c.writeSize; ++i) EXPECT_EQ(after[3 * c.writeStride + i], 0xA0 + i) << i;
    for (std::size_t i = 1; i < after.size(); ++i)
      if (i < 3 * c.writeStride || i >= 3 * c.writeStride + c.writeSize) {
        ASSERT_EQ(after[i], before[i]) << i;
      }
    page.DetachPrimary();
  }
}

// A download after a failed or refused table read would start from an empty
// table and write zeros over the keyboard's own codes: it is refused, with a
// trace, and nothing is sent. A good read lifts the refusal.
TEST_F(KeyboardTest, KeyDownloadsWaitForTheKeyTable) {
  auto refused = [&](const char* why) {
    SCOPED_TRACE(why);
    TraceSink::Instance().Clear();
    ClearJournal();
    EXPECT_EQ(kb_->ApplyKeyAssignments(0), CMD_NOT_READ);
    EXPECT_EQ(kb_->WriteSecondaryKeyTable(0, kb_->GetKeyList()), CMD_NOT_READ);
    EXPECT_TRUE(Journal().empty());
    EXPECT_TRUE(TraceSink::Instance().Contains("key tables have not been read"));
  };
  ASSERT_EQ(kb_->ReloadProfile(), 1);
  refused("never read");
  ASSERT_EQ(emu_.Command("fault keyboard status-fe after=2 count=1"), "ok fault keyboard status-fe");
  EXPECT_EQ(kb_->ReadDeviceTables(), CMD_STATUS_FE);  // the key table read fails
  refused("failed read");
  ASSERT_EQ(emu_.Command("info keyboard 5 171"), "ok info keyboard 5");
  EXPECT_NE(kb_->ReadDeviceTables(), CMD_OK);  // 171 positions do not fit
  refused("refused read");
  ASSERT_EQ(emu_.Command("info keyboard 5 170"), "ok info keyboard 5");
  ASSERT_EQ(kb_->ReadDeviceTables(), CMD_OK);
  ClearJournal();
  EXPECT_EQ(kb_->ApplyKeyAssignments(0), 1);
  EXPECT_EQ(Codes(Journal()), (std::vector<int>{0x03, 0x01, 0x09, 0x27, 0x02}));
}

// A record with a field out of its range is not a record: nothing of it
// reaches the page or the profile file, and the next good read is taken.
TEST_F(KeyboardTest, RecordFieldsOutOfRangeAreRefused) {
  kb_->OnConnected();
  const fs::path file = kb_->GetProfilePath();
  const auto text = [&] {
    std::ifstream in(file);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  };
  const std::string saved = text();
  const LightInfo shown = kb_->GetLightInfoRecord();
  const auto good = ConfigArea(kb_->Comm(), 40);
  const std::pair<std::size_t, uint8_t> bad[] = {
      {proto::kKbRecBrightness, 5}, {proto::kKbRecSpeed, 9},      {proto::kKbRecDirection, 2},
      {proto::kKbRecMultiColor, 170}, {proto::kKbRecWinLock, 2},  {proto::kKbRecPollingRate, 4},
      {proto::kKbRecCustomGroup, 200},
  };
  for (const auto& [byte, value] : bad) {
    SCOPED_TRACE(byte);
    ASSERT_EQ(kb_->Comm().WriteConfig(good.data(), 40, 0), CMD_OK);
    ASSERT_EQ(kb_->Comm().WriteConfig(&value, 1, static_cast<uint32_t>(byte)), CMD_OK);
    EXPECT_EQ(kb_->ReadDeviceConfig(), -1);
    const LightInfo now = kb_->GetLightInfoRecord();
    EXPECT_EQ(now.ToWords(), shown.ToWords());
    EXPECT_EQ(text(), saved);
  }
  ASSERT_EQ(kb_->Comm().WriteConfig(good.data(), 40, 0), CMD_OK);
  EXPECT_EQ(kb_->ReadDeviceConfig(), 0);
}

// Mode 20 on the keyboard, its colours in group 3: connecting reads them
// from group 3 into the profile and writes them back to group 3 only. A
// profile that says mode 20 without colours of its own does not overwrite
// them on the next connection, and a second connection keeps them.
TEST_F(KeyboardTest, CustomColoursReadFromTheKeyboardAreKeptInTheProfile) {
  kb_->realReset = true;
  kb_->LoadEffectLists();
  ASSERT_EQ(kb_->ReadDeviceTables(), CMD_OK);
  ASSERT_EQ(kb_->ReloadProfile(), 1);
  ASSERT_GT(kb_->EffectValues().size(), 20u);
  // The profile says mode 20, with no colours stored for any group.
  LightInfo info = kb_->GetLightInfoRecord();
  info.selectItem = 20;
  kb_->SetLightInfo(info.ToWords());
  kb_->SaveProfile();
  // The keyboard runs mode 20 on group 3 with colours of its own.
  const uint8_t mode = static_cast<uint8_t>(kb_->EffectValues()[20]);
  const uint8_t group = 3;
  ASSERT_EQ(kb_->Comm().WriteConfig(&mode, 1, proto::kKbRecMode), CMD_OK);
  ASSERT_EQ(kb_->Comm().WriteConfig(&group, 1, proto::kKbRecCustomGroup), CMD_OK);
  std::vector<uint8_t> colours(510);
  for (std::size_t i = 0; i < colours.size(); ++i) colours[i] = static_cast<uint8_t>(1 + i % 250);
  ASSERT_EQ(kb_->Comm().WriteCustomLight(colours.data(), 510, group), CMD_OK);

  for (int connection = 0; connection < 2; ++connection) {
    SCOPED_TRACE(connection);
    kb_->DetachPrimary();
    ASSERT_TRUE(kb_->AttachPrimary(KeyboardPath(kCommandCollection), false, proto::kModeCable));
    ClearJournal();
    kb_->OnConnected();
    for (const Packet& p : Journal()) {
      if (p.cmd != 0x0B) continue;
      EXPECT_GE(p.off, group * 512) << "written to another group";
      EXPECT_LT(p.off, (group + 1) * 512) << "written to another group";
    }
    std::vector<uint8_t> now(510);
    ASSERT_EQ(kb_->Comm().ReadCustomLight(now.data(), 510, group), CMD_OK);
    EXPECT_EQ(now, colours);
    // The profile holds them, by screen key, from the keyboard's LED order.
    CKeyboardProfiledata stored;
    stored.SetDefaultPath(kb_->DefaultProfilePath());
    stored.Load(kb_->GetProfilePath());
    EXPECT_EQ(stored.ReadCustomGroupIndex(), group);
    const auto kept = stored.ReadCustomColours(group, 170);
    ASSERT_EQ(kept.size(), 170u);
    for (int key : {0, 1, 64, 125}) {
      const std::size_t d = static_cast<std::size_t>(kb_->KeyToLed(key));
      EXPECT_EQ(kept[static_cast<std::size_t>(key)].red, colours[3 * d]) << key;
      EXPECT_EQ(kept[static_cast<std::size_t>(key)].blue, colours[3 * d + 2]) << key;
    }
  }
}

TEST_F(KeyboardTest, UnplugAndPlugWhileIdle) {
  kb_->OnConnected();
  const std::string events = KeyboardPath(kEventCollection);
  ASSERT_TRUE(kb_->OpenEventChannel(events, 1));
  ASSERT_EQ(emu_.Command("unplug keyboard"), "ok unplug keyboard");
  // The listener ends by itself instead of reading a dead channel in a loop.
  EXPECT_TRUE(WaitFor([&] { return !kb_->IsListening(kEventSideCable); }));
  EXPECT_EQ(kb_->ReadDeviceConfig(), -1);
  EXPECT_LE(kb_->WriteDeviceConfig(0, 0), 0);
  kb_->DetachPrimary();
  EXPECT_EQ(kb_->WriteDeviceConfig(0, 0), 0);

  ASSERT_EQ(emu_.Command("plug keyboard"), "ok plug keyboard");
  ASSERT_TRUE(WaitFor([&] { return !KeyboardPath(kCommandCollection).empty(); }));
  ASSERT_TRUE(kb_->AttachPrimary(KeyboardPath(kCommandCollection), false, proto::kModeCable));
  EXPECT_EQ(kb_->ReadDeviceTables(), 1);
  EXPECT_EQ(kb_->ReadDeviceConfig(), 0);
  ASSERT_TRUE(kb_->OpenEventChannel(KeyboardPath(kEventCollection), 1));
  ASSERT_EQ(emu_.Command("press keyboard 3"), "ok press keyboard 3");
  EXPECT_TRUE(PumpUntil([&] { return !kb_->keyCalls.empty(); }));
}

TEST_F(KeyboardTest, UnplugDuringADownloadEndsItWithAFailure) {
  kb_->OnConnected();
  ASSERT_EQ(emu_.Command("cost 3000"), "ok cost 3000");  // every report takes 3 ms
  std::thread unplug([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    emu_.Send("unplug keyboard");
  });
  const auto start = std::chrono::steady_clock::now();
  const int r = kb_->ApplyKeyAssignments(0);
  const auto took = std::chrono::steady_clock::now() - start;
  unplug.join();
  EXPECT_LE(r, 0);
  EXPECT_LT(took, std::chrono::seconds(3));
  EXPECT_EQ(emu_.Line(), "ok unplug keyboard");

  ASSERT_EQ(emu_.Command("cost 0"), "ok cost 0");
  ASSERT_EQ(emu_.Command("plug keyboard"), "ok plug keyboard");
  kb_->DetachPrimary();
  ASSERT_TRUE(WaitFor([&] { return !KeyboardPath(kCommandCollection).empty(); }));
  ASSERT_TRUE(kb_->AttachPrimary(KeyboardPath(kCommandCollection), false, proto::kModeCable));
  EXPECT_EQ(kb_->ApplyKeyAssignments(0), 1);
}

}  // namespace
}  // namespace korvale
