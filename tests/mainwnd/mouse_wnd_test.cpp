// The main window with a real mouse page: the device list builds it for the
// mouse korvale-emu serves, and the window's mouse rows change the profile and
// (for stages, their colours and report rate) the mouse's record.
#include <sstream>

#include "devices/varnik_mouse_device.h"
#include "editors/device_profile.h"
#include "mainwnd/device_list.h"
#include "mainwnd_fixture.h"
#include "mainwnd/mpdevice_power.h"
#include "profiles/json_file.h"
#include "profiles/profile_list.h"
#include "platform/settings_store.h"
#include "ui/desktop_notifier.h"
#include "ui/tray.h"
#include "tests/support/emu_process.h"
#include "tests/support/journal.h"
#include "ui/controls.h"
#include "ui/skin_controls.h"
#include "windows/color_select_wnd.h"

namespace korvale::test {
namespace {

class MouseWndTest : public MainWndTest {
 protected:
  void SetUp() override {
    RegisterSkinControls(DeviceControlCreators());
    RegisterDeviceListControls();
    RegisterDeviceProfileControl();
    ASSERT_TRUE(emu.Start({"--dir", (dir / "vhid").string(), "mouse-cable"}));
    ASSERT_EQ(emu.Line().rfind("mouse-cable", 0), 0u);
    wnd->SetDiscoveryEnabled(true);
    Start();
    ASSERT_TRUE(PumpUntil([&] { return wnd->CurrentDevice() != nullptr; }));
    mouse = dynamic_cast<CVarnikMouseDevice*>(wnd->CurrentDevice());
    ASSERT_NE(mouse, nullptr) << "the device list builds the mouse's own page";
    loop.AdvanceBy(600);  // the tile connects the page
    ASSERT_EQ(emu.Command("journal-clear mouse-cable"), "ok journal-clear mouse-cable");
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
  // The page's own control sends the notification, as a click or drag would.
  void Notify(const char* type, const std::string& name) {
    CControlUI* sender = mouse->FindSubControl(name);
    ASSERT_NE(sender, nullptr) << name;
    TNotifyUI msg;
    msg.sType = type;
    msg.pSender = sender;
    wnd->Notify(msg);
  }
  std::vector<uint8_t> Record() {
    const auto lines = emu.Listing("dump mouse-cable config 0 71");
    std::vector<uint8_t> bytes;
    if (lines.empty() || lines.back().rfind("data ", 0) != 0) return bytes;
    for (std::size_t k = 5; k + 1 < lines.back().size(); k += 2)
      bytes.push_back(static_cast<uint8_t>(std::stoi(lines.back().substr(k, 2), nullptr, 16)));
    return bytes;
  }
  int ConfigWrites() {
    int n = 0;
    for (const auto& p : korvale::testing::ParseJournal(emu.Listing("journal mouse-cable"))) n += p.cmd == 0x06;
    return n;
  }

  korvale::testing::EmuProcess emu;
  CVarnikMouseDevice* mouse = nullptr;
};

// The tray menu names the mouse with its battery and lists its profiles, the
// selected one checked; choosing another switches the mouse to it.
TEST_F(MouseWndTest, TrayMenuShowsTheBatteryAndSwitchesTheProfile) {
  auto* panel = wnd->GetDeviceList()->PowerPanelAt(wnd->GetDeviceList()->IndexOfPage(mouse));
  ASSERT_NE(panel, nullptr);
  loop.AdvanceBy(5100);  // the status poll
  ASSERT_TRUE(PumpUntil([&] { return panel->HasStatus(); }));
  CProfileList list;
  list.SetFolders(mouse->UserDataFolder(), mouse->DefaultProfilePath());
  ASSERT_EQ(list.Initialise(), ProfileStatus::kDone);
  int added = -1;
  ASSERT_EQ(list.Add(&added), ProfileStatus::kDone);  // selected now
  ASSERT_EQ(added, 1);

  wnd->SendMessage(WM_TRAY_NOTIFY, 0, kTrayRButtonUp);
  loop.AdvanceBy(10);
  ASSERT_EQ(tray.menus.size(), 1u);
  const auto& items = tray.menus[0];
  ASSERT_GE(items.size(), 2u);
  // The emulated mouse: 70 % and charging.
  EXPECT_EQ(items[0].text, "Mouse  battery 70 % (charging)");
  ASSERT_EQ(items[0].children.size(), 2u);
  EXPECT_EQ(items[0].children[0].text, list.Entries()[0].name);
  EXPECT_FALSE(items[0].children[0].checked);
  EXPECT_TRUE(items[0].children[1].checked);
  EXPECT_TRUE(items[1].separator);
  EXPECT_EQ(items.back().name, "exit");

  wnd->SendMessage(WM_MENU_COMMAND, static_cast<WPARAM>(items[0].children[0].command), 0);
  CProfileList after;
  after.SetFolders(mouse->UserDataFolder(), mouse->DefaultProfilePath());
  ASSERT_TRUE(after.Read());
  EXPECT_EQ(after.Selected(), 0);
  EXPECT_EQ(std::filesystem::path(mouse->GetProfilePath()).stem().string(), list.Entries()[0].uuid);
  EXPECT_GE(ConfigWrites(), 1) << "the mouse gets the profile";

  // The fixed items keep their commands behind the device entries.
  wnd->SendMessage(WM_MENU_COMMAND, static_cast<WPARAM>(items.back().command), 0);
  loop.RunPending();
  loop.RunPending();
  EXPECT_FALSE(IsWindow(hwnd));
}

// The page's profile bar lists the mouse's profiles and names its tabs as a
// mouse has them; a profile added there becomes the page's and the mouse's.
TEST_F(MouseWndTest, TheProfileBarListsAndSwitchesTheMouseProfiles) {
  auto* bar = dynamic_cast<CDeviceProfileUI*>(mouse->FindSubControl(profileui::kItemName));
  ASSERT_NE(bar, nullptr) << "the mouse page has no profile bar";
  auto* combo = dynamic_cast<CComboUI*>(mouse->FindSubControl(profileui::kCombo));
  ASSERT_NE(combo, nullptr);
  ASSERT_EQ(combo->GetCount(), 1);
  EXPECT_EQ(std::string(combo->GetItemAt(0)->GetText()), "Profile1");
  CProfileList list;
  list.SetFolders(mouse->UserDataFolder(), mouse->DefaultProfilePath());
  ASSERT_TRUE(list.Read());
  EXPECT_EQ(mouse->GetProfileName(), list.Entries()[0].uuid);

  const auto word = [](const char* id) { return CResourceManager::GetInstance().GetText(id); };
  EXPECT_FALSE(mouse->FindSubControl("system_Op_tab")->IsVisible()) << "its settings have a tab of their own";
  EXPECT_TRUE(mouse->FindSubControl("cursor_Op_tab")->IsVisible());
  EXPECT_EQ(std::string(mouse->FindSubControl("key_Op_tab")->GetText()), word("mouse_fn_buttons"));
  EXPECT_EQ(std::string(mouse->FindSubControl("cursor_Op_tab")->GetText()), word("mouse_fn_shoot"));

  const bool confirm = true;
  MessageAnswerer answers(loop, confirm);
  Notify("click", "profile_fun_spread_btn");
  ASSERT_TRUE(bar->IsMenuShown());
  Notify("click", "device_add_btn");
  ASSERT_TRUE(PumpUntil([&] { return combo->GetCount() == 2; }));
  ASSERT_TRUE(list.Read());
  ASSERT_EQ(list.Entries().size(), 2u);
  EXPECT_EQ(list.Selected(), 1);
  EXPECT_EQ(combo->GetCurSel(), 1);
  EXPECT_EQ(mouse->GetProfileName(), list.Entries()[1].uuid);
  EXPECT_GE(ConfigWrites(), 1) << "the mouse gets the new profile";
}

struct RecordingNotifier : IDesktopNotifier {
  bool Notify(const std::string& summary, const std::string& body) override {
    told.push_back(summary + ": " + body);
    return true;
  }
  std::vector<std::string> told;
};

// A low battery and a mouse that stops answering are each told once, until
// the condition ends; the tray's switch turns the notifications off.
TEST_F(MouseWndTest, DesktopNotificationsTellALowBatteryAndSilenceOnce) {
  RecordingNotifier notifier;
  wnd->SetDesktopNotifier(&notifier);
  auto* panel = wnd->GetDeviceList()->PowerPanelAt(wnd->GetDeviceList()->IndexOfPage(mouse));
  ASSERT_NE(panel, nullptr);
  const auto poll = [&](int level, int charge) {
    ASSERT_EQ(emu.Command("status mouse-cable 0 " + std::to_string(level)).rfind("ok", 0), 0u);
    ASSERT_EQ(emu.Command("status mouse-cable 1 " + std::to_string(charge)).rfind("ok", 0), 0u);
    loop.AdvanceBy(5100);
    ASSERT_TRUE(PumpUntil([&] { return panel->LastStatus()[0] == level && panel->LastStatus()[1] == charge; }));
  };
  poll(50, 2);
  EXPECT_TRUE(notifier.told.empty());
  poll(10, 2);  // on battery, 10 %
  poll(9, 2);
  EXPECT_EQ(notifier.told, (std::vector<std::string>{"Mouse: Battery low: 10 %"}));
  poll(9, 1);   // charging: no longer news
  poll(8, 2);
  EXPECT_EQ(notifier.told.size(), 2u);

  // The mouse stops answering a write: told once.
  ASSERT_EQ(emu.Command("fault mouse-cable no-answer after=1 count=1").rfind("ok", 0), 0u);
  Notify("selectchanged", "polling_rate_option_2");
  ASSERT_TRUE(PumpUntil([&] { return notifier.told.size() == 3; }));
  EXPECT_EQ(notifier.told.back(), "Mouse: Does not answer");

  // Plugged in again after the start: told; the devices found at start were not.
  ASSERT_EQ(emu.Command("unplug mouse-cable").rfind("ok", 0), 0u);
  ASSERT_TRUE(PumpUntil([&] { return wnd->CurrentDevice() == nullptr; }));
  ASSERT_EQ(emu.Command("plug mouse-cable").rfind("ok", 0), 0u);
  ASSERT_TRUE(PumpUntil([&] {
    loop.AdvanceBy(50);
    return notifier.told.size() == 4;
  }));
  EXPECT_EQ(notifier.told.back(), "Mouse: Connected");

  // Off through the tray menu, and kept off in the settings file.
  std::size_t item = wnd->GetMenuItems().size();
  for (std::size_t i = 0; i < wnd->GetMenuItems().size(); ++i)
    if (wnd->GetMenuItems()[i].name == "notify_menu") item = i;
  ASSERT_LT(item, wnd->GetMenuItems().size());
  wnd->SendMessage(WM_MENU_COMMAND, item, 0);
  EXPECT_FALSE(wnd->Notices().Enabled());
  EXPECT_EQ(SettingsStore().ReadDword(CMainWnd::kNotificationsSetting), 0u);
  poll(50, 2);
  poll(5, 2);
  EXPECT_EQ(notifier.told.size(), 4u);
}

TEST_F(MouseWndTest, StagesAndReportRateReachTheProfileAndTheMouse) {
  EXPECT_EQ(mouse->GetKind(), 2);
  auto* slider = dynamic_cast<CSliderUI*>(mouse->FindSubControl("DPI_slider_2"));
  ASSERT_NE(slider, nullptr);
  slider->SetValue(40);
  Notify("valuechanged", "DPI_slider_2");
  EXPECT_EQ(mouse->GetDpiStages()[2].x, 40);
  EXPECT_EQ(mouse->FindSubControl("DPI_edit_2")->GetText(), "2100");  // 40 * 50 + 100
  auto rec = Record();
  ASSERT_EQ(rec.size(), 71u);
  EXPECT_EQ(rec[14 + 2 * 9 + 2], 40);

  mouse->FindSubControl("DPI_edit_1")->SetText("1350");
  Notify("killfocus", "DPI_edit_1");
  EXPECT_EQ(mouse->GetDpiStages()[1].x, 25);
  EXPECT_EQ(Record()[14 + 9 + 2], 25);

  Notify("selectchanged", "DPI_select_check_3");
  EXPECT_EQ(mouse->ActiveStage(), 3);
  EXPECT_EQ(Record()[12], 3);

  Notify("selectchanged", "polling_rate_option_4");
  EXPECT_EQ(mouse->GetMouseSystemSettings()[2] >> 16, 4u);
  EXPECT_EQ(Record()[11], 4);
}

TEST_F(MouseWndTest, PointerScrollAndDoubleClickStayInTheProfile) {
  const auto before = mouse->GetMouseSystemSettings();
  dynamic_cast<CSliderUI*>(mouse->FindSubControl("pointer_speed_slider"))->SetValue(17);
  Notify("valuechanged", "pointer_speed_slider");
  dynamic_cast<CSliderUI*>(mouse->FindSubControl("double_click_slider"))->SetValue(640);
  Notify("valuechanged", "double_click_slider");
  dynamic_cast<CSliderUI*>(mouse->FindSubControl("scroll_speed_slider"))->SetValue(7);
  Notify("valuechanged", "scroll_speed_slider");
  dynamic_cast<COptionUI*>(mouse->FindSubControl("pointer_precision_check"))->Selected(!(before[1] & 1), false);
  Notify("selectchanged", "pointer_precision_check");
  const auto after = mouse->GetMouseSystemSettings();
  EXPECT_EQ(after[0], 640u | 17u << 16);
  EXPECT_EQ(after[1] & 0xFFFF, (before[1] & 1) ^ 1);
  EXPECT_EQ(after[2], 7u | (before[2] & 0xFFFF0000u));
  EXPECT_EQ(ConfigWrites(), 0) << "nothing of this goes to the mouse";
  // The page's settings tabs switch.
  Notify("selectchanged", "mouse_device_seting_option_2");
  auto* tabs = dynamic_cast<CTabLayoutUI*>(mouse->FindSubControl("mouse_device_seting_layout"));
  ASSERT_NE(tabs, nullptr);
  EXPECT_EQ(tabs->GetCurSel(), 2);
}

TEST_F(MouseWndTest, AStageColourPickedInThePaletteReachesTheProfileAndTheMouse) {
  // Runs answer inside the palette the stage's colour button opens.
  auto pick = [&](const std::function<void(CColorSelectWnd&)>& answer) {
    bool ran = false;
    const auto key = UiLoop::NewTimerKey();
    loop.SetTimer(key, 10, [&] {
      loop.KillTimer(key);
      ran = true;
      auto* w = dynamic_cast<CColorSelectWnd*>(
          CWindowWnd::FromHandle(wnd->GetChildWindow(CMainWnd::ChildWindow::kPalette)));
      ASSERT_NE(w, nullptr);
      // It opens on the stage's colour.
      EXPECT_EQ(w->GetCurrentColour(), mouse->GetDpiColour(2));
      answer(*w);
    });
    Notify("click", "DPI_color_option_2");
    loop.AdvanceBy(1000);
    EXPECT_TRUE(ran);
  };
  auto type = [](CColorSelectWnd& w, const char* r, const char* g, const char* b) {
    CPaintManagerUI& pm = w.GetPaintManager();
    pm.FindControl("color_edit_r")->SetText(r);
    pm.FindControl("color_edit_g")->SetText(g);
    pm.FindControl("color_edit_b")->SetText(b);
    pm.SendNotify(pm.FindControl("color_edit_b"), "killfocus");
  };
  const DpiStage before = mouse->GetDpiStages()[2];
  // Cancelled: nothing changes and nothing is written.
  pick([&](CColorSelectWnd& w) {
    type(w, "1", "2", "3");
    dynamic_cast<CButtonUI*>(w.GetPaintManager().FindControl("laterbtn"))->Activate();
  });
  EXPECT_EQ(mouse->GetDpiStages()[2], before);
  EXPECT_EQ(ConfigWrites(), 0);

  pick([&](CColorSelectWnd& w) {
    type(w, "18", "52", "86");
    dynamic_cast<CButtonUI*>(w.GetPaintManager().FindControl("okbtn"))->Activate();
  });
  EXPECT_EQ(mouse->GetDpiColour(2), 0xFF123456u);
  const DpiStage after = mouse->GetDpiStages()[2];
  EXPECT_EQ(after.red, 0x12);
  EXPECT_EQ(after.green, 0x34);
  EXPECT_EQ(after.blue, 0x56);
  EXPECT_EQ(after.x, before.x) << "only the colour changes";
  // The stage's record on the mouse: colour bytes 6, 7 and 8 of stage 2.
  const auto rec = Record();
  ASSERT_EQ(rec.size(), 71u);
  EXPECT_EQ(rec[14 + 2 * 9 + 6], 0x12);
  EXPECT_EQ(rec[14 + 2 * 9 + 7], 0x34);
  EXPECT_EQ(rec[14 + 2 * 9 + 8], 0x56);
  // And in the profile file, for the next start.
  const Json::Value doc = ReadJsonFile(mouse->GetProfilePath());
  const Json::Value& stage = doc["Device"][0]["DPIStages"]["StageDPIs"][2];
  EXPECT_EQ(stage["StageColorR"].asInt(), 0x12);
  EXPECT_EQ(stage["StageColorG"].asInt(), 0x34);
  EXPECT_EQ(stage["StageColorB"].asInt(), 0x56);
}

TEST_F(MouseWndTest, UnpluggingTheMouseClosesItsPaletteAndChangesNothing) {
  const uint32_t colour = mouse->GetDpiColour(2);
  bool ran = false, closed = false;
  const auto key = UiLoop::NewTimerKey();
  loop.SetTimer(key, 10, [&] {
    loop.KillTimer(key);
    ran = true;
    auto* w = dynamic_cast<CColorSelectWnd*>(
        CWindowWnd::FromHandle(wnd->GetChildWindow(CMainWnd::ChildWindow::kPalette)));
    ASSERT_NE(w, nullptr);
    w->SetCurrentColour(0xFF010203);
    ASSERT_EQ(emu.Command("unplug mouse-cable"), "ok unplug mouse-cable");
    closed = PumpUntil([&] { return wnd->GetChildWindow(CMainWnd::ChildWindow::kPalette) == 0; });
  });
  Notify("click", "DPI_color_option_2");
  loop.AdvanceBy(10000);
  EXPECT_TRUE(ran);
  EXPECT_TRUE(closed) << "the palette closes with the mouse's tile";
  EXPECT_TRUE(wnd->IsWindowEnabled());
  EXPECT_EQ(mouse->GetDpiColour(2), colour);
}

}  // namespace
}  // namespace korvale::test
