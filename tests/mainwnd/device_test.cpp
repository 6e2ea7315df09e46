// The main window with a real keyboard page: korvale-emu on the test's own
// bus, discovery binding it, game lighting and synchronised lighting on it.
#include <algorithm>
#include <chrono>
#include <sstream>
#include <thread>

#include "editors/device_profile.h"
#include "tests/support/emu_process.h"
#include "tests/support/journal.h"
#include "tests/support/wait.h"
#include "devices/keyboard_lighting.h"
#include "devices/varnik_keyboard_device.h"
#include "devices/varnik_usb_device.h"
#include "platform/atomic_file.h"
#include "platform/message_bus.h"
#include "profiles/settings_files.h"
#include "ui/containers.h"
#include "ui/controls.h"
#include "ui/custom_controls.h"
#include "hid/hid_device.h"
#include "mainwnd/device_list.h"
#include "mainwnd/device_option.h"
#include "mainwnd/main_commands.h"
#include "windows/msg_wnd.h"
#include "ui/tray.h"
#include "mainwnd_fixture.h"
#include "profiles/profile_records.h"
#include "protocol/commands.h"
#include "ui/skin_controls.h"

namespace korvale::test {
namespace {

class DeviceWndTest : public MainWndTest {
 protected:
  void SetUp() override {
    CHidDevice::SetHidrawEnabled(false);
    RegisterSkinControls(DeviceControlCreators());
    RegisterDeviceListControls();
    RegisterDeviceProfileControl();  // the page's profile bar holds the restore-defaults button
    ASSERT_TRUE(emu.Start({"--dir", (dir / "vhid").string(), "keyboard"}));
    ASSERT_EQ(emu.Line().rfind("keyboard", 0), 0u);
    wnd->SetDiscoveryEnabled(true);
    Start();
    ASSERT_TRUE(PumpUntil([&] { return wnd->CurrentDevice() != nullptr; }));
    keyboard = wnd->CurrentDevice();
    loop.AdvanceBy(600);  // the tile connects the page
  }
  void TearDown() override {
    wnd->DestroyWindow();
    emu.Kill();
  }
  template <class Pred>
  bool PumpUntil(Pred pred, int ms = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!pred() && std::chrono::steady_clock::now() < end) loop.WaitForPosted(20);
    return pred();
  }
  // The keyboard's command packets with code cmd so far.
  std::vector<korvale::testing::Packet> Packets(int cmd) {
    std::vector<korvale::testing::Packet> out;
    for (const auto& p : korvale::testing::ParseJournal(emu.Listing("journal keyboard")))
      if (p.cmd == cmd) out.push_back(p);
    return out;
  }
  void SetMode(int selectItem) {
    LightInfo info = keyboard->GetLightInfoRecord();
    info.selectItem = static_cast<uint8_t>(selectItem);
    keyboard->SetLightInfo(info.ToWords());
  }

  korvale::testing::EmuProcess emu;
  CVarnikUSBDevice* keyboard = nullptr;
};

TEST_F(DeviceWndTest, BoundKeyboardIsTheCurrentDeviceAndHidesTheOverlay) {
  EXPECT_EQ(keyboard->GetKind(), 1);
  EXPECT_FALSE(Find("No_device_Link")->IsVisible());
  EXPECT_TRUE(wnd->IsVisible());
  // Selecting its tile made it the current tile, with its power panel shown.
  CDeviceList* list = wnd->GetDeviceList();
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(wnd->GetCurrentTileIndex(), list->IndexOfPage(keyboard));
  CControlUI* power = Find("device_power_switch");
  ASSERT_NE(power, nullptr);
  EXPECT_TRUE(power->IsVisible());
  // One tile: nothing before or after it to move to.
  auto* next = dynamic_cast<CButtonUI*>(Find("device_select_next"));
  ASSERT_NE(next, nullptr);
  next->Activate();
  loop.RunPending();
  EXPECT_EQ(wnd->CurrentDevice(), keyboard);
  // Hover and lighting control reach the page.
  wnd->SendMessage(wm::kActivate, 1, 0);
  EXPECT_TRUE(keyboard->GetWindowActive());
  wnd->SendMessage(Number(kLightControlSetMsgName), 1, 0);
  EXPECT_FALSE(keyboard->GetLightingControlActive());
}

// The keyboard bound at start takes the window's lighting-control flag with
// its binding, and the keyboard is told, without any message posting it.
TEST_F(DeviceWndTest, KeyboardBoundAtStartGetsTheLightingControlFlag) {
  ASSERT_TRUE(wnd->GetLightingControl());
  EXPECT_TRUE(keyboard->GetLightingControlActive());
  EXPECT_EQ(Packets(proto::kLightControl).size(), 1u);
}

// A static look: the light thread draws it once and sleeps with no deadline,
// the tile paints it once and its timer rests. Hidden to the tray, a change
// wakes the thread but nothing is drawn or painted for nobody; shown again,
// the change is drawn and painted.
TEST_F(DeviceWndTest, AStillLookRestsTheLightThreadAndThePaintTimer) {
  auto* kb = dynamic_cast<CVarnikKeyboardDevice*>(keyboard);
  ASSERT_NE(kb, nullptr);
  CDeviceList* list = wnd->GetDeviceList();
  CDeviceOptionUI* tile = list->TileAt(list->IndexOfPage(keyboard));
  ASSERT_NE(tile, nullptr);
  CPaintManagerUI& pm = wnd->GetPaintManager();
  CLightThread& thread = kb->LightThread();
  int key = 0;  // a key whose light button is on screen
  while (key < 126 && (keyboard->LightButton(key) == nullptr || !keyboard->LightButton(key)->IsVisible())) ++key;
  ASSERT_LT(key, 126);
  auto look = [&](uint8_t red) {
    LightInfo info = keyboard->GetLightInfoRecord();
    info.selectItem = 6;  // static, a step every tick
    info.speed = 4;
    info.multiColor = 0;
    info.red = red;
    info.green = 0;
    info.blue = 0;
    keyboard->SetLightInfo(info.ToWords());
    keyboard->ApplyLighting();
  };
  auto shown = [&] { return (keyboard->LightButton(key)->GetLightColor() >> 16) & 0xFF; };
  ASSERT_TRUE(keyboard->PreviewShown());

  look(200);
  ASSERT_TRUE(PumpUntil([&] {
    loop.AdvanceBy(50);
    return shown() == 200 && !pm.HasTimer(tile, kTileTimerPaint) && thread.WaitIdle(0, 0).untilChanged;
  }));
  // At this speed a step was due every 16 ms: none comes.
  const CLightThread::IdlePoint rest = thread.WaitIdle(0, 0);
  EXPECT_EQ(thread.WaitIdle(rest.count, 300).count, rest.count);
  loop.AdvanceBy(1000);
  EXPECT_FALSE(pm.HasTimer(tile, kTileTimerPaint));

  ASSERT_TRUE(PostMessageW(wnd->GetHWND(), wm::kClose, 0, 0));  // from the frame
  loop.RunPending();
  ASSERT_FALSE(wnd->IsVisible());
  EXPECT_FALSE(keyboard->PreviewShown());
  ASSERT_TRUE(korvale::testing::WaitFor([&] { return thread.WaitIdle(0, 0).untilChanged; }));
  const uint64_t hidden = thread.WaitIdle(0, 0).count;
  look(50);
  ASSERT_TRUE(korvale::testing::WaitFor([&] {
    const CLightThread::IdlePoint p = thread.WaitIdle(0, 0);
    return p.count > hidden && p.untilChanged;
  }));
  EXPECT_EQ(kb->Lighting().Led(key).red, 200);  // not drawn for nobody
  loop.AdvanceBy(1000);
  loop.RunPending();
  EXPECT_FALSE(pm.HasTimer(tile, kTileTimerPaint));
  EXPECT_EQ(shown(), 200u);

  wnd->SendMessage(WM_TRAY_NOTIFY, 0, kTrayLButtonUp);
  ASSERT_TRUE(wnd->IsVisible());
  EXPECT_TRUE(PumpUntil([&] {
    loop.AdvanceBy(50);
    return shown() == 50 && !pm.HasTimer(tile, kTileTimerPaint);
  }));
}

// Modes 29 and 30 feed the keyboard from the paint timer: hidden to the tray,
// the frames still reach it.
TEST_F(DeviceWndTest, AStreamedLookReachesTheKeyboardWhileTheWindowIsHidden) {
  CDeviceList* list = wnd->GetDeviceList();
  CDeviceOptionUI* tile = list->TileAt(list->IndexOfPage(keyboard));
  ASSERT_NE(tile, nullptr);
  SetMode(30);
  keyboard->ApplyLighting();
  ASSERT_TRUE(PostMessageW(wnd->GetHWND(), wm::kClose, 0, 0));
  loop.RunPending();
  ASSERT_FALSE(wnd->IsVisible());
  emu.Command("journal-clear keyboard");
  EXPECT_TRUE(PumpUntil([&] {
    loop.AdvanceBy(50);
    return Packets(proto::kStreamLed).size() >= 3;
  }));
  EXPECT_TRUE(wnd->GetPaintManager().HasTimer(tile, kTileTimerPaint));
}

TEST_F(DeviceWndTest, GameLightingRestoresTheOldModeAfterFiveSeconds) {
  SetMode(25);  // outside 1..20: the mode to return to becomes 1
  wnd->SendMessage(Number("Game_Start"), 0, 5);
  EXPECT_EQ(keyboard->GetLightInfoRecord().selectItem, 5);
  EXPECT_EQ(keyboard->GetLightInfoRecord().oldLedmode, 1);
  loop.AdvanceBy(4999);
  EXPECT_EQ(keyboard->GetLightInfoRecord().selectItem, 5);
  loop.AdvanceBy(1);
  EXPECT_EQ(keyboard->GetLightInfoRecord().selectItem, 1);

  // wParam 1 and 2 keep the stored mode; a later message restarts the 5 s.
  SetMode(7);
  wnd->SendMessage(Number("Game_Start"), 0, 3);
  EXPECT_EQ(keyboard->GetLightInfoRecord().oldLedmode, 7);
  loop.AdvanceBy(3000);
  wnd->SendMessage(Number("Game_Death"), 2, 9);
  EXPECT_EQ(keyboard->GetLightInfoRecord().selectItem, 9);
  loop.AdvanceBy(4000);
  EXPECT_EQ(keyboard->GetLightInfoRecord().selectItem, 9);
  loop.AdvanceBy(1000);
  EXPECT_EQ(keyboard->GetLightInfoRecord().selectItem, 7);

  // Another wParam changes nothing but still ends in the old mode; a mode
  // that is no byte is refused.
  SetMode(4);
  wnd->SendMessage(Number("Game_Kill"), 3, 11);
  EXPECT_EQ(keyboard->GetLightInfoRecord().selectItem, 4);
  wnd->SendMessage(Number("Game_End"), 1, 300);
  EXPECT_EQ(keyboard->GetLightInfoRecord().selectItem, 4);
}

TEST_F(DeviceWndTest, SyncThreadSleepsWithoutDevicesAndPaintsTheirLedsWithThem) {
  // No devices: the thread sleeps on no timer.
  ASSERT_TRUE(wnd->SyncLighting().WaitIdle(std::chrono::seconds(5)));
  const std::uint64_t idle = wnd->SyncStepCount();

  SyncLightMode mode;
  mode.type = 1;  // static
  mode.brightness = 2;
  mode.red = 10;
  mode.green = 20;
  mode.blue = 30;
  wnd->SetSyncLightMode(mode);
  keyboard->Comm().lightSync = 1;  // marked for synchronised lighting
  wnd->SetSyncDevices({keyboard});
  // A static look is drawn once; then the thread sleeps until a change.
  ASSERT_TRUE(korvale::testing::WaitFor([&] { return wnd->SyncStepCount() > idle; }, 3000));
  ASSERT_TRUE(wnd->SyncLighting().WaitIdle(std::chrono::seconds(5)));
  EXPECT_EQ(wnd->SyncStepCount(), idle + 1);
  ASSERT_GT(keyboard->GetLightCount(), 0);
  const uint32_t expected = PackLedColour(LedColour{10, 20, 30, 135});
  EXPECT_EQ(keyboard->GetLedColour(0), expected);
  EXPECT_EQ(keyboard->GetLedColour(keyboard->GetLightCount() - 1), expected);

  // Game lighting takes the device out of the synchronised lighting, its
  // mark included: a later rebuild of the sync list (here on a tile change)
  // leaves it out.
  wnd->SendMessage(Number("Game_Start"), 0, 5);
  EXPECT_EQ(keyboard->Comm().lightSync.load(), 0);
  CDeviceList* list = wnd->GetDeviceList();
  ASSERT_NE(list, nullptr);
  list->ShowTile(list->IndexOfPage(keyboard), true, true);
  ASSERT_TRUE(wnd->SyncLighting().WaitIdle(std::chrono::seconds(5)));
  const std::uint64_t stopped = wnd->SyncStepCount();
  keyboard->SetLedColour(0, 0);
  wnd->SetSyncLightMode(mode);  // wakes it: still nothing to drive
  ASSERT_TRUE(wnd->SyncLighting().WaitIdle(std::chrono::seconds(5)));
  EXPECT_EQ(wnd->SyncStepCount(), stopped);
  EXPECT_EQ(keyboard->GetLedColour(0), 0u);
}

// Music mode: spectrum frames reach the keyboard's LED stream at the device.
// Silence streams dark frames; a loud tone in the low bands lights keys.
TEST_F(DeviceWndTest, MusicModeTurnsSpectrumFramesIntoLitLedFramesAtTheKeyboard) {
  ASSERT_EQ(wnd->GetCurrentKeyboardIndex(), 0);
  SetMode(29);
  keyboard->ApplyLighting();
  // Lit colour bytes in the LED stream reports since the last look.
  auto litBytes = [&] {
    int lit = 0, frames = 0;
    for (const auto& p : Packets(proto::kStreamLed)) {
      ++frames;
      lit += static_cast<int>(std::count_if(p.data.begin(), p.data.end(), [](uint8_t b) { return b != 0; }));
    }
    emu.Command("journal-clear keyboard");
    return std::pair<int, int>{frames, lit};
  };
  auto feed = [&](std::int32_t level, int ms) {
    std::vector<std::int32_t> frame(500);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (int n = 0; std::chrono::steady_clock::now() < end; ++n) {
      // Signs alternate as the companion sends them: each difference is 2 × level.
      std::fill(frame.begin(), frame.end(), n % 2 == 0 ? level : -level);
      SendCopyData(wnd->GetHWND(), 1, reinterpret_cast<const std::uint8_t*>(frame.data()), frame.size() * 4);
      loop.AdvanceBy(17);       // the tile's paint timer streams the frame
      loop.WaitForPosted(16);  // the light thread steps in real time
    }
  };
  litBytes();
  feed(0, 400);
  const auto [silentFrames, silentLit] = litBytes();
  ASSERT_GT(silentFrames, 0) << "no LED frames while in music mode";
  EXPECT_EQ(silentLit, 0);
  feed(800, 600);
  const auto [loudFrames, loudLit] = litBytes();
  ASSERT_GT(loudFrames, 0);
  EXPECT_GT(loudLit, 0) << "the music never reached the keys";
}

// The sound sensitivity slider: stored in the keyboard's LightInfo, shown and written.
TEST_F(DeviceWndTest, SoundSensitivityIsStoredInTheKeyboardsLightInfoAndWritten) {
  auto* slider = dynamic_cast<CSliderUI*>(wnd->GetPaintManager().FindSubControlByName(keyboard, "voice_sensitivity"));
  ASSERT_NE(slider, nullptr);
  keyboard->Comm().lightSync = 1;
  emu.Command("journal-clear keyboard");
  slider->SetValueFromUser(37);
  loop.RunPending();
  EXPECT_EQ(keyboard->GetLightInfoRecord().voiceSensitivity, 37);
  EXPECT_EQ(keyboard->Comm().lightSync.load(), 0);
  EXPECT_EQ(wnd->GetPaintManager().FindSubControlByName(keyboard, "voice_sensitivity_value")->GetText(), "37");
  EXPECT_FALSE(Packets(proto::kWriteConfig).empty());
}

TEST_F(DeviceWndTest, KeyboardSettingsControlsChangeTheStoredStages) {
  auto* kb = dynamic_cast<CVarnikKeyboardDevice*>(keyboard);
  ASSERT_NE(kb, nullptr);
  const auto before = kb->GetSystemSettings();
  auto notify = [&](const char* type, const std::string& name) {
    CButtonUI sender;
    sender.SetName(name);
    TNotifyUI msg;
    msg.sType = type;
    msg.pSender = &sender;
    wnd->Notify(msg);
  };
  notify("selectchanged", "polling_rate_option_2");
  notify("selectchanged", "repeat_delay_check_3");
  const auto after = kb->GetSystemSettings();
  EXPECT_EQ(after[1] >> 16, 2u);
  EXPECT_EQ(after[1] & 0xFFFF, before[1] & 0xFFFF);  // the other half kept
  EXPECT_EQ(after[0] >> 16, 3u);
  EXPECT_EQ(after[0] & 0xFFFF, before[0] & 0xFFFF);
  EXPECT_EQ(after[2], before[2]);
}

// A keyboard that refuses a write or does not answer says so in the status
// row instead of leaving the page as if all were well; the next good write
// ends the notice.
TEST_F(DeviceWndTest, StatusRowShowsAKeyboardThatRefusesOrDoesNotAnswer) {
  const auto shown = [&] { return Find("status_line")->GetText(); };
  const auto text = [](const char* id) { return CResourceManager::GetInstance().GetText(id); };
  const auto choose = [&](const std::string& name) {
    CButtonUI sender;
    sender.SetName(name);
    TNotifyUI msg;
    msg.sType = "selectchanged";
    msg.pSender = &sender;
    wnd->Notify(msg);  // a polling rate option: written to the keyboard at once
  };
  EXPECT_EQ(shown(), text("main_status_ready"));
  // status-ff refuses every command; no-answer silences only the write itself.
  const std::pair<const char*, const char*> cases[] = {{"status-ff", "device_notice_refused"},
                                                       {"no-answer after=1 count=1", "device_notice_no_answer"}};
  for (const auto& [fault, id] : cases) {
    SCOPED_TRACE(fault);
    ASSERT_EQ(emu.Command(std::string("fault keyboard ") + fault).rfind("ok", 0), 0u);
    choose("polling_rate_option_1");
    EXPECT_TRUE(PumpUntil([&] { return shown() == text(id); })) << shown();
    ASSERT_EQ(emu.Command("fault keyboard none").rfind("ok", 0), 0u);
    choose("polling_rate_option_2");
    EXPECT_TRUE(PumpUntil([&] { return shown() == text("main_status_ready"); })) << shown();
  }
}

TEST_F(DeviceWndTest, RepeatRateDragIsStoredOnceOnRelease) {
  auto* kb = dynamic_cast<CVarnikKeyboardDevice*>(keyboard);
  ASSERT_NE(kb, nullptr);
  auto* slider = dynamic_cast<CSliderUI*>(wnd->GetPaintManager().FindControl("repeat_rate_slider"));
  ASSERT_NE(slider, nullptr);
  ASSERT_TRUE(slider->IsEnabled());
  const auto before = kb->GetSystemSettings();
  const int start = slider->GetValue();
  const int target = start == slider->GetMinValue() ? slider->GetMaxValue() : slider->GetMinValue();
  // Each step of the drag previews only: nothing stored yet.
  for (int v = start; v != target; v += target > start ? 1 : -1) slider->DragValueFromUser(v);
  EXPECT_EQ(kb->GetSystemSettings()[0], before[0]);
  slider->SetValueFromUser(target);
  const auto after = kb->GetSystemSettings();
  EXPECT_EQ(after[0] & 0xFFFF, static_cast<uint32_t>(kb->GetRepeatRate()));
  EXPECT_NE(after[0] & 0xFFFF, before[0] & 0xFFFF);
  EXPECT_EQ(after[0] >> 16, before[0] >> 16);
}

TEST_F(DeviceWndTest, LedSelectionCoveringEveryLedReloadsAndWritesWhenTheFileExists) {
  const int count = keyboard->GetLightCount();
  ASSERT_GT(count, 1);
  auto* panel = new CContainerUI;
  panel->SetName("mouse_device_key_light");
  std::vector<CDeviceKeyButtonUI*> buttons;
  for (int i = 0; i < count; ++i) {
    auto* b = new CDeviceKeyButtonUI;
    b->SetName("light_" + std::to_string(i));
    b->SetSelected(true);
    panel->Add(b);
    buttons.push_back(b);
  }
  keyboard->Add(panel);
  auto configWrites = [&] {
    int n = 0;
    for (const std::string& line : emu.Listing("journal keyboard")) n += line.rfind("cmd 06", 0) == 0 ? 1 : 0;
    return n;
  };
  auto selectEnd = [&] { wnd->GetPaintManager().SendNotify(panel, "click_select_end"); };

  ASSERT_EQ(emu.Command("journal-clear keyboard"), "ok journal-clear keyboard");
  selectEnd();  // no ".json" in the data folder: nothing
  EXPECT_EQ(configWrites(), 0);

  ASSERT_TRUE(WriteFileAtomic(AppDataFolder() / ".json", "{\"a\": 1}\n"));
  buttons[1]->SetSelected(false);  // LED 1 neither selected nor hidden
  selectEnd();
  EXPECT_EQ(configWrites(), 0);
  buttons[1]->SetVisible(false);  // hidden counts as marked
  selectEnd();
  EXPECT_GT(configWrites(), 0);
}

}  // namespace
}  // namespace korvale::test

namespace korvale::test {
namespace {

// "default_btn" on the keyboard's page: asked first; declined changes
// nothing, confirmed gives the profile its defaults and writes them.
TEST_F(DeviceWndTest, RestoreDefaultsAsksThenWritesTheDefaultProfileToTheKeyboard) {
  const int initial = keyboard->GetLightInfoRecord().selectItem;  // a fresh profile is the default
  SetMode(initial == 5 ? 6 : 5);
  keyboard->SaveProfile();
  bool answer = false;
  // The question comes in the program's own message window.
  MessageAnswerer asked(loop, answer);
  const std::string question = CResourceManager::GetInstance().GetText("message_text_22");
  auto configWrites = [&] {
    int n = 0;
    for (const std::string& line : emu.Listing("journal keyboard")) n += line.rfind("cmd 06", 0) == 0 ? 1 : 0;
    return n;
  };
  auto* button = dynamic_cast<CButtonUI*>(wnd->GetPaintManager().FindSubControlByName(keyboard, "default_btn"));
  ASSERT_NE(button, nullptr);
  ASSERT_EQ(emu.Command("journal-clear keyboard"), "ok journal-clear keyboard");
  button->Activate();
  EXPECT_EQ(asked.texts, std::vector<std::string>{question});
  EXPECT_NE(keyboard->GetLightInfoRecord().selectItem, initial);
  EXPECT_EQ(configWrites(), 0);

  answer = true;
  button->Activate();
  EXPECT_EQ(asked.texts.size(), 2u);
  EXPECT_EQ(keyboard->GetLightInfoRecord().selectItem, initial);
  EXPECT_GT(configWrites(), 0);
}

}  // namespace
}  // namespace korvale::test
