// The lighting editor inside the running main window: korvale-emu on the
// test's own bus, discovery binding the keyboard, and user changes made on the
// editor's controls travelling through the window's routing to the profile
// file and the keyboard.
#include <algorithm>
#include <chrono>
#include <set>
#include <thread>
#include <sstream>

#include "devices/light_tables.h"
#include "devices/varnik_keyboard_device.h"
#include "editors/device_profile.h"
#include "editors/light_control.h"
#include "editors/light_handlers.h"
#include "hid/hid_device.h"
#include "hid/device_discovery.h"
#include "mainwnd/device_list.h"
#include "mainwnd_fixture.h"
#include "profiles/json_file.h"
#include "protocol/commands.h"
#include "ui/controls.h"
#include "ui/custom_controls.h"
#include "ui/skin_controls.h"
#include "tests/support/emu_process.h"
#include "tests/support/journal.h"
#include "tests/support/wait.h"

namespace korvale::test {
namespace {

using korvale::testing::Packet;

class LightWiringTest : public MainWndTest {
 protected:
  void StartWith(const std::vector<std::string>& devices) {
    CHidDevice::SetHidrawEnabled(false);
    RegisterSkinControls(DeviceControlCreators());
    RegisterDeviceListControls();
    RegisterLightControl();
    RegisterDeviceProfileControl();
    std::vector<std::string> args = {"--dir", (dir / "vhid").string()};
    args.insert(args.end(), devices.begin(), devices.end());
    ASSERT_TRUE(emu.Start(args));
    for (std::size_t i = 0; i < devices.size(); ++i) ASSERT_FALSE(emu.Line().empty());
    wnd->SetDiscoveryEnabled(true);
    Start();
    CDeviceList* list = wnd->GetDeviceList();
    ASSERT_NE(list, nullptr);
    ASSERT_TRUE(PumpUntil([&] {
      int open = 0;
      for (CVarnikUSBDevice* d : wnd->AllDevices()) open += d->IsPrimaryOpen() ? 1 : 0;
      loop.AdvanceBy(100);  // the tiles connect their pages
      return open == static_cast<int>(devices.size());
    })) << [&] { std::string s; for (CVarnikUSBDevice* d : wnd->AllDevices()) s += d->GetClass() + (d->IsPrimaryOpen() ? " open " : " closed "); return s; }();
    loop.AdvanceBy(600);  // the connected pages read their devices
    ASSERT_FALSE(list->KeyboardPages().empty());
    keyboard = dynamic_cast<CVarnikKeyboardDevice*>(list->KeyboardPages()[0]);
    ASSERT_NE(keyboard, nullptr);
    ASSERT_TRUE(keyboard->IsPrimaryOpen());
    // No profile list control names a profile: the page takes the one its
    // folder's "ProfileList.ini" names, created on this first start.
    const std::filesystem::path folder = dir / "data" / "KORVALE TX730max" / "keyboard";
    const Json::Value profiles = ReadJsonFile(folder / "ProfileList.ini");
    ASSERT_EQ(profiles["profilelist"].size(), 1u);
    const std::string uuid = profiles["profilelist"][profiles["profileselect"].asUInt()]["profileUUID"].asString();
    ASSERT_FALSE(uuid.empty());
    listedProfile = folder / (uuid + ".Json");
    ASSERT_TRUE(std::filesystem::exists(listedProfile));
    EXPECT_EQ(keyboard->GetProfileName(), uuid);
    editor = LightEditorOf(keyboard);
    ASSERT_NE(editor, nullptr) << "the keyboard page's skin has no lighting editor";
    ASSERT_EQ(editor->GetDeviceKind(), 1);
  }
  void TearDown() override {
    wnd->DestroyWindow();
    emu.Kill();
  }
  template <class Pred>
  bool PumpUntil(Pred pred) {
    return korvale::testing::PumpUntil(loop, pred, 5000);
  }
  template <class T>
  T* Control(const char* name) {
    auto* c = dynamic_cast<T*>(wnd->GetPaintManager().FindSubControlByName(keyboard, name));
    EXPECT_NE(c, nullptr) << name;
    return c;
  }
  void ClearJournal() { ASSERT_EQ(emu.Command("journal-clear keyboard"), "ok journal-clear keyboard"); }
  std::vector<Packet> Journal() { return korvale::testing::ParseJournal(emu.Listing("journal keyboard")); }
  Json::Value ProfileDevice() const { return ReadJsonFile(listedProfile)["Device"][0]; }
  int EffectIndexOf(int value) const {
    const std::vector<int>& values = keyboard->EffectValues();
    auto it = std::find(values.begin(), values.end(), value);
    return it == values.end() ? -1 : static_cast<int>(it - values.begin());
  }

  korvale::testing::EmuProcess emu;
  CVarnikKeyboardDevice* keyboard = nullptr;
  CLightControlUI* editor = nullptr;
  std::filesystem::path listedProfile;  // the file ProfileList.ini names
};

// The configuration commands of one change, in order, and the record written.
std::vector<int> ConfigCommands(const std::vector<Packet>& journal, std::vector<uint8_t>* record) {
  std::vector<int> cmds;
  for (const Packet& p : journal) {
    if (p.cmd != proto::kBeginConfig && p.cmd != proto::kWriteConfig && p.cmd != proto::kEndConfig) continue;
    cmds.push_back(p.cmd);
    if (p.cmd == proto::kWriteConfig && p.off == 0) *record = p.data;
  }
  return cmds;
}

TEST_F(LightWiringTest, EffectAndSpeedFromTheEditorReachTheProfileAndTheKeyboard) {
  StartWith({"keyboard"});
  const std::array<uint8_t, proto::kKeyboardRecordSize> lastRead = keyboard->ConfigRecord();
  // Bytes no lighting or system setting owns go back as the keyboard gave them.
  std::vector<std::size_t> untouched;
  for (std::size_t i = 9; i < proto::kKeyboardRecordSize; ++i)
    if (i != proto::kKbRecAlwaysZero && i != proto::kKbRecZzccLedMode && i != proto::kKbRecWKey &&
        i != proto::kKbRecSixKey && i != proto::kKbRecWinLock && i != proto::kKbRecPollingRate &&
        i != proto::kKbRecCustomGroup)
      untouched.push_back(i);

  struct Case {
    int value;     // the keyboard's mode value of the chosen effect
    uint8_t mode;  // the mode byte written
    int speed;
  };
  const Case cases[] = {{5, 5, 0}, {29, proto::kKbModeApplicationDriven, 1}, {30, proto::kKbModeApplicationDriven, 4}};
  for (const Case& c : cases) {
    SCOPED_TRACE("mode value " + std::to_string(c.value));
    const int index = EffectIndexOf(c.value);
    ASSERT_GE(index, 0);
    ClearJournal();
    ASSERT_TRUE(Control<CComboUI>(lightui::kModeCombo)->SelectItemFromUser(index));
    loop.RunPending();
    std::vector<uint8_t> record;
    EXPECT_EQ(ConfigCommands(Journal(), &record),
              (std::vector<int>{proto::kBeginConfig, proto::kWriteConfig, proto::kEndConfig}));
    ASSERT_EQ(record.size(), proto::kKeyboardRecordSize);
    EXPECT_EQ(record[proto::kKbRecMode], c.mode);
    EXPECT_EQ(ProfileDevice()["LightInfo"]["SelectItem"].asInt(), index);

    ClearJournal();
    ASSERT_TRUE(Control<CSliderUI>(lightui::kSpeed)->SetValueFromUser(c.speed));
    loop.RunPending();
    record.clear();
    EXPECT_EQ(ConfigCommands(Journal(), &record),
              (std::vector<int>{proto::kBeginConfig, proto::kWriteConfig, proto::kEndConfig}));
    ASSERT_EQ(record.size(), proto::kKeyboardRecordSize);
    EXPECT_EQ(record[proto::kKbRecMode], c.mode);
    EXPECT_EQ(record[proto::kKbRecSpeed], 4 - c.speed);  // the keyboard counts speed downwards
    EXPECT_EQ(record[proto::kKbRecAlwaysZero], 0);
    for (std::size_t i : untouched) EXPECT_EQ(record[i], lastRead[i]) << "byte " << i;
    const Json::Value info = ProfileDevice()["LightInfo"];
    EXPECT_EQ(info["Speed"].asInt(), c.speed);
    EXPECT_EQ(info["SelectItem"].asInt(), index);
  }
  // A notification from a control outside the current page changes nothing.
  CSliderUI stray;
  stray.SetName(lightui::kSpeed);
  ClearJournal();
  TNotifyUI msg;
  msg.sType = notify::kValueChanged;
  msg.pSender = &stray;
  wnd->Notify(msg);
  EXPECT_TRUE(Journal().empty());
  EXPECT_EQ(ProfileDevice()["LightInfo"]["Speed"].asInt(), 4);
}

// Custom colour payloads written to the keyboard: the group each lands in
// and its colour triples.
struct CustomWrite {
  std::set<int> groups;
  std::vector<uint8_t> payload;  // the chunks in order
};
CustomWrite CustomWrites(const std::vector<Packet>& journal) {
  CustomWrite w;
  for (const Packet& p : journal) {
    if (p.cmd != proto::kWriteCustomLight) continue;
    w.groups.insert(p.off / static_cast<int>(lightfx::kCustomGroupBytes));
    w.payload.insert(w.payload.end(), p.data.begin(), p.data.end());
  }
  return w;
}

TEST_F(LightWiringTest, CustomColourGroupsAreChosenFilledAndReloadedThroughTheEditor) {
  StartWith({"keyboard"});
  const int custom = CKeyboardLighting::kModeCustom;
  ASSERT_TRUE(Control<CComboUI>(lightui::kModeCombo)->SelectItemFromUser(custom));
  loop.RunPending();
  ASSERT_EQ(keyboard->GetLightInfoRecord().selectItem, custom);
  ASSERT_TRUE(Control<CControlUI>("lightcustom_layout")->IsVisible());
  ASSERT_TRUE(Control<CColorPaletteUI>(lightui::kPalette)->SetSelectColorFromUser(0xFF123456));
  loop.RunPending();

  // Group 2: the record, the profile and the keyboard's group 2 memory.
  ClearJournal();
  ASSERT_TRUE(Control<CComboUI>(lightui::kCustomCombo)->SelectItemFromUser(2));
  loop.RunPending();
  std::vector<Packet> journal = Journal();
  std::vector<uint8_t> record;
  ConfigCommands(journal, &record);
  ASSERT_EQ(record.size(), proto::kKeyboardRecordSize);
  EXPECT_EQ(record[proto::kKbRecCustomGroup], 2);
  EXPECT_EQ(CustomWrites(journal).groups, (std::set<int>{2}));
  EXPECT_EQ(ProfileDevice()["LightInfo"]["CustomGroup"].asInt(), 2);
  EXPECT_EQ(ProfileDevice()["CustomLightMode"]["CustomLightModeGroupIndex"].asInt(), 2);

  // "All on" lights every key of group 2 in the chosen colour.
  ClearJournal();
  Control<CButtonUI>(lightui::kCustomBright)->Activate();
  loop.RunPending();
  const CustomWrite filled = CustomWrites(Journal());
  EXPECT_EQ(filled.groups, (std::set<int>{2}));
  ASSERT_GE(filled.payload.size(), 3u);
  int lit = 0;
  for (std::size_t i = 0; i + 2 < filled.payload.size(); i += 3)
    lit += filled.payload[i] == 0x12 && filled.payload[i + 1] == 0x34 && filled.payload[i + 2] == 0x56;
  EXPECT_GE(lit, 100);  // every key position the keyboard maps to an LED

  // Group 0 brings its own colours; back on group 2 the filled ones return
  // from the profile.
  ClearJournal();
  ASSERT_TRUE(Control<CComboUI>(lightui::kCustomCombo)->SelectItemFromUser(0));
  loop.RunPending();
  const CustomWrite zero = CustomWrites(Journal());
  EXPECT_EQ(zero.groups, (std::set<int>{0}));
  EXPECT_NE(zero.payload, filled.payload);
  ClearJournal();
  ASSERT_TRUE(Control<CComboUI>(lightui::kCustomCombo)->SelectItemFromUser(2));
  loop.RunPending();
  const CustomWrite again = CustomWrites(Journal());
  EXPECT_EQ(again.groups, (std::set<int>{2}));
  EXPECT_EQ(again.payload, filled.payload);
  EXPECT_EQ(editor->GetCustomGroup(), 2);
}

TEST_F(LightWiringTest, SameModeHandsTheEffectToTheSyncThreadUntilAnEffectIsChosen) {
  StartWith({"keyboard"});
  ASSERT_TRUE(Control<CComboUI>(lightui::kModeCombo)->SelectItemFromUser(6));  // static: shared effect 1
  loop.RunPending();
  ASSERT_TRUE(Control<CSliderUI>(lightui::kBrightness)->SetValueFromUser(3));
  loop.RunPending();
  const std::uint64_t idle = wnd->SyncStepCount();
  // The button is hidden with one device; its notification alone runs the command.
  TNotifyUI click;
  click.sType = notify::kClick;
  click.pSender = Control<CButtonUI>(lightui::kSameMode);
  wnd->Notify(click);
  EXPECT_EQ(keyboard->Comm().lightSync.load(), 1);
  EXPECT_EQ(keyboard->GetLightInfoRecord().selectItem, 6);
  EXPECT_EQ(ProfileDevice()["LightInfo"]["Light"].asInt(), 3);
  // The static look is drawn once, then the thread sleeps until a change.
  EXPECT_TRUE(PumpUntil([&] { return wnd->SyncStepCount() > idle; }));
  ASSERT_TRUE(wnd->SyncLighting().WaitIdle(std::chrono::seconds(5)));
  EXPECT_EQ(wnd->SyncStepCount(), idle + 1);

  // An effect chosen in the editor takes the page out of it; the thread sleeps.
  ASSERT_TRUE(Control<CComboUI>(lightui::kModeCombo)->SelectItemFromUser(7));
  loop.RunPending();
  EXPECT_EQ(keyboard->Comm().lightSync.load(), 0);
  ASSERT_TRUE(wnd->SyncLighting().WaitIdle(std::chrono::seconds(5)));
  const std::uint64_t stopped = wnd->SyncStepCount();
  wnd->SetSyncLightMode(SyncLightMode{});  // a wake-up with nothing to drive
  ASSERT_TRUE(wnd->SyncLighting().WaitIdle(std::chrono::seconds(5)));
  EXPECT_EQ(wnd->SyncStepCount(), stopped);
}

TEST_F(LightWiringTest, OneDeviceOffersNoSameModeAndResumeScansAgain) {
  StartWith({"keyboard"});
  EXPECT_FALSE(wnd->GetSameModeAvailable());
  EXPECT_FALSE(editor->GetSameModeAvailable());
  CDeviceDiscovery& discovery = wnd->GetDeviceList()->Discovery();
  const std::uint64_t scans = discovery.ScanCount();
  wnd->SendMessage(wm::kPowerBroadcast, PBT_APMRESUMEAUTOMATIC, 0);
  EXPECT_TRUE(PumpUntil([&] { return discovery.ScanCount() > scans; }));
}

TEST_F(LightWiringTest, FunctionTabsSwitchBetweenLightingAndKeys) {
  StartWith({"keyboard"});
  EXPECT_TRUE(editor->IsVisible());
  Control<COptionUI>("key_Op_tab")->Activate();
  loop.RunPending();
  EXPECT_EQ(keyboard->GetFunctionPage(), 2);
  EXPECT_FALSE(Control<CControlUI>("device_key_light_page")->IsVisible());
  Control<COptionUI>("deng_Op_tab")->Activate();
  loop.RunPending();
  EXPECT_EQ(keyboard->GetFunctionPage(), 1);
  EXPECT_TRUE(Control<CControlUI>("device_key_light_page")->IsVisible());
}

}  // namespace
}  // namespace korvale::test
