// Notifications, menu commands and messages reach their handlers by name.
#include <tuple>

#include "mainwnd_fixture.h"
#include "ui/controls.h"

namespace korvale::test {
namespace {

class RoutingTest : public MainWndTest {
 protected:
  void SetUp() override {
    Start();
    for (int r = 0; r < static_cast<int>(MainRoute::kCount); ++r) {
      wnd->SetRouteHandler(static_cast<MainRoute>(r), [this, r](const MainRouteCall& call) {
        seen.push_back(std::string(MainRouteName(static_cast<MainRoute>(r))) + ":" + call.name);
      });
    }
  }
  void TearDown() override {
    for (int r = 0; r < static_cast<int>(MainRoute::kCount); ++r) wnd->SetRouteHandler(static_cast<MainRoute>(r), {});
  }
  // Sends a notification of type from a control named name; returns the
  // route it reached ("" for none).
  std::string Route(const std::string& type, const std::string& name) {
    seen.clear();
    CButtonUI sender;
    sender.SetName(name);
    TNotifyUI msg;
    msg.sType = type;
    msg.pSender = &sender;
    wnd->Notify(msg);
    EXPECT_LE(seen.size(), 1u) << type << " " << name;
    if (seen.empty()) return "";
    const std::string& s = seen.front();
    const std::string route = s.substr(0, s.find(':'));
    // Key capture goes through WM_HOOK_CONTROL, which names no control.
    EXPECT_EQ(s.substr(s.find(':') + 1), route == "hook control" ? "" : name);
    return route;
  }
  std::vector<std::string> seen;
};

TEST_F(RoutingTest, EachNotificationTypeReachesItsHandlerByName) {
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"colorchanged", "deng_Color_Pallet", "lighting editor"},
      {"colorchanged", "deng_audioColor_Pallet", "audio lighting"},
      {"click", "key_17", "key editor"},
      {"click", "KEY_BUTT_KEYSAVE", "key editor"},  // ignoring case
      {"click", "color_option_3", "lighting editor"},
      {"click", "windowdeviceset_1", "system control panel"},
      {"click", "DPI_color_option_2", "main commands"},
      {"click", "deng_same_mode", "main commands"},
      {"click", "device_export_btn", "profile list"},
      {"click", "profile_fun_spread_btn", "profile list"},
      {"click", "macro_btn_starredio", "macro recording"},
      {"click", "macro_btn_deleteall", "macro editor"},
      {"click", "macro_inset_moveupkey_btn", "macro editor"},
      {"click", "bullet_selected_next", "shoot editor"},
      {"click", "hs_EQ_btn_save", "headset controls"},
      {"click", "skinbtn", "skin window"},
      {"click", "setbtn", "settings window"},
      {"selectchanged", "deng_Op_tab", "function page"},
      {"selectchanged", "Virtual7.1_Op_tab", "function page"},
      {"selectchanged", "deng_FXL_check", "lighting editor"},
      {"selectchanged", "audio_FgColor_check", "audio lighting"},
      {"selectchanged", "keyboard_key_125", "key editor"},
      {"selectchanged", "key_ComBox_check_4", "key editor"},
      {"selectchanged", "DPI_select_check_2", "device settings"},
      {"selectchanged", "polling_rate_option_3", "device settings"},
      {"selectchanged", "6flag_option", "device settings"},
      {"selectchanged", "bullet_op_7", "shoot editor"},
      {"selectchanged", "6533_MicIn_option", "headset controls"},
      {"valuechanged", "DPI_slider_4", "device settings"},
      {"valuechanged", "repeat_rate_slider", "device settings"},
      {"valuechanged", "6533_eq_hz_slider_9", "headset controls"},
      {"valuechanged", "deng_speed_slider", "lighting editor"},
      {"valuechanged", "G_light_slider", "audio capture"},
      {"movevaluechanged", "DPI_slider_0", "device settings"},
      {"itemselect", "light_combo_ZZCCmodeSelect", "lighting editor"},
      {"itemselect", "light_combo_audiomodeSelect", "audio lighting"},
      {"itemselect", "keyset_combokey_combo", "key editor"},
      {"itemselect", "macro_name_list", "macro editor"},
      {"itemselect", "custom_eq_name_combo", "headset controls"},
      {"killfocus", "DPI_edit_1", "device settings"},
      {"killfocus", "deng_audioedit_B", "colour entry"},
      {"killfocus", "keyset_mousefire_num_edit", "key editor"},
      {"killfocus", "bullet_delay_eidt", "shoot editor"},
      {"killfocus", "macro_delay", "macro editor"},
      {"itemactivate", "macro_action", "macro action menu"},
      // The key edit starts and ends key capture through WM_HOOK_CONTROL.
      {"setfocus", "keyset_keyboard_text_edit", "hook control"},
      {"killfocus", "keyset_keyboard_text_edit", "hook control"},
  };
  for (const auto& [type, name, route] : cases) EXPECT_EQ(Route(type, name), route) << type << " " << name;
}

TEST_F(RoutingTest, NamesOutsideTheTablesReachNothing) {
  const std::pair<const char*, const char*> cases[] = {
      {"click", "PROFILE_FUN_SPREAD_BTN"},          // compared exactly
      {"click", "Macro_Inset_MoveUpKey_Btn"},       // compared exactly
      {"click", "key_"},                            // no index
      {"click", "key_x1"},                          // not a number
      {"selectchanged", "keyboard_key_126"},        // past the grid
      {"selectchanged", "synchro_device_select"},   // nothing by design
      {"valuechanged", "deng_Op_tab"},              // wrong type for the name
      {"itemclick", "macro_name_list"},
      {"textchanged", "DPI_edit_1"},
      {"click_wpremove", "key_1"},
      {"click", "no_such_button"},
  };
  for (const auto& [type, name] : cases) EXPECT_EQ(Route(type, name), "") << type << " " << name;
}

TEST_F(RoutingTest, EveryNotificationButTimersIsTraced) {
  TraceSink::Instance().Clear();
  Route("click", "key_3");
  Route("timer", "key_3");
  EXPECT_TRUE(TraceSink::Instance().Contains("notify click key_3"));
  EXPECT_FALSE(TraceSink::Instance().Contains("notify timer"));
}

TEST_F(RoutingTest, MenuCommandsGoByItemName) {
  const auto& items = wnd->GetMenuItems();
  ASSERT_FALSE(items.empty());
  for (std::size_t i = 0; i < items.size(); ++i) {
    seen.clear();
    // Exit and the notifications switch are the window's own.
    if (items[i].separator || items[i].name == "exit" || items[i].name == "notify_menu") continue;
    wnd->SendMessage(WM_MENU_COMMAND, i, 0);
    ASSERT_EQ(seen.size(), 1u) << items[i].name;
    const std::string expected = items[i].name == "about_menu" ? "about window" : "settings window";
    EXPECT_EQ(seen[0], expected + ":" + items[i].name);
  }
  // An index that is no item is refused with a trace.
  seen.clear();
  TraceSink::Instance().Clear();
  wnd->SendMessage(WM_MENU_COMMAND, 999, 0);
  EXPECT_TRUE(seen.empty());
  EXPECT_TRUE(TraceSink::Instance().Contains("menu: command 999 is no item"));
  EXPECT_TRUE(IsWindow(hwnd));
}

TEST_F(RoutingTest, HookAndPeerMessagesReachTheirHandlers) {
  const std::pair<const char*, const char*> cases[] = {
      {"WM_HOOK_KEY_SINGLEKEY_MSG", "key capture:WM_HOOK_KEY_SINGLEKEY_MSG"},
      {"WM_HOOK_KEY_KBMACRO_MSG", "macro recording:WM_HOOK_KEY_KBMACRO_MSG"},
      {"WM_HOOK_KEY_MSMACROLATER_MSG", "macro recording:WM_HOOK_KEY_MSMACROLATER_MSG"},
      {"WM_HOOK_KEY_HITKEY_MSG", ""},
      {"UWM_MOUSEMOVE_USER_MSG", ""},
      {kWorkToolQueryMsgName, "work tool:"},
  };
  for (const auto& [name, expected] : cases) {
    seen.clear();
    wnd->SendMessage(Number(name), 7, 9);
    EXPECT_EQ(seen.empty() ? std::string() : seen[0], expected) << name;
  }
  const std::pair<UINT, const char*> fixed[] = {
      {WM_HOOK_CONTROL, "hook control:"},
      {WM_OPEN_SETTINGS, "settings window:centred"},
  };
  for (const auto& [msg, expected] : fixed) {
    seen.clear();
    wnd->SendMessage(msg, 1, 0);
    ASSERT_EQ(seen.size(), 1u) << msg;
    EXPECT_EQ(seen[0], expected);
  }
  // Copy-data reaches the audio lighting only as a block of kind 1 or 2 with
  // bytes; a bare WM_COPYDATA carries none and is dropped.
  const std::uint8_t bytes[] = {1, 2, 3};
  struct CopyCase {
    std::uint64_t dwData;
    std::size_t size;
    bool routed;
  };
  for (const CopyCase& c : {CopyCase{1, 3, true}, CopyCase{2, 1, true}, CopyCase{2, 0, false}, CopyCase{3, 3, false}}) {
    seen.clear();
    SendCopyData(hwnd, c.dwData, bytes, c.size);
    const std::vector<std::string> expected =
        c.routed ? std::vector<std::string>{"audio data:copydata"} : std::vector<std::string>{};
    EXPECT_EQ(seen, expected) << c.dwData << " " << c.size;
  }
  seen.clear();
  wnd->SendMessage(wm::kCopyData, 1, reinterpret_cast<LPARAM>(bytes));
  EXPECT_TRUE(seen.empty());
}

TEST_F(RoutingTest, ProfileComboSettlesFor400msAndRestartsOnAnotherChoice) {
  Route("itemselect", "device_profile_combo");
  loop.AdvanceBy(300);
  Route("itemselect", "device_profile_combo");
  loop.AdvanceBy(300);
  EXPECT_TRUE(seen.empty());
  loop.AdvanceBy(100);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0], "profile select:device_profile_combo");
  loop.AdvanceBy(2000);  // the timer killed itself
  EXPECT_EQ(seen.size(), 1u);
}

TEST_F(RoutingTest, SuspendBlocksAllButTheFirstGroupUntilResume) {
  auto* progress = Find("setting_progress");
  ASSERT_NE(progress, nullptr);
  ASSERT_FALSE(progress->IsVisible());
  wnd->SendMessage(wm::kPowerBroadcast, PBT_APMSUSPEND, 0);
  EXPECT_FALSE(CMainWnd::IsPowerOn());

  // Below the gate: ignored.
  wnd->SendMessage(WM_SHOW_PROGRESS);
  EXPECT_FALSE(progress->IsVisible());
  EXPECT_EQ(Route("click", "key_1"), "");
  seen.clear();
  wnd->SendMessage(Number("WM_HOOK_KEY_SINGLEKEY_MSG"), 1, 1);
  wnd->SendMessage(Number("Game_Start"), 0, 3);
  EXPECT_TRUE(seen.empty());
  const bool lighting = wnd->GetLightingControl();
  EXPECT_EQ(Route("click", "control_light_status"), "");
  EXPECT_EQ(wnd->GetLightingControl(), lighting);

  // The first group still works.
  wnd->SendMessage(wm::kActivate, 1, 0);
  EXPECT_TRUE(wnd->IsActive());
  wnd->SendMessage(Number(kLightControlSetMsgName), 1, 0);
  EXPECT_FALSE(wnd->GetLightingControl());
  wnd->SendMessage(Number(kWorkToolQueryMsgName));
  ASSERT_EQ(seen.size(), 1u);

  wnd->SendMessage(wm::kPowerBroadcast, PBT_APMRESUMEAUTOMATIC, 0);
  EXPECT_TRUE(CMainWnd::IsPowerOn());
  wnd->SendMessage(WM_SHOW_PROGRESS);
  EXPECT_TRUE(progress->IsVisible());
  EXPECT_EQ(Route("click", "key_1"), "key editor");
}

}  // namespace
}  // namespace korvale::test
