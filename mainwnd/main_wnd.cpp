#include "mainwnd/main_wnd.h"

#include <tinyxml2.h>

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <thread>

#include "devices/page_hooks.h"
#include "devices/preview_tables.h"
#include "devices/varnik_keyboard_device.h"
#include "devices/varnik_usb_device.h"
#include "editors/light_control.h"
#include "editors/light_handlers.h"
#include "hid/device_discovery.h"
#include "mainwnd/device_list.h"
#include "mainwnd/device_option.h"
#include "mainwnd/language_font.h"
#include "mainwnd/profile_commands.h"
#include "platform/paths.h"
#include "platform/registered_messages.h"
#include "platform/trace.h"
#include "profiles/json_file.h"
#include "profiles/settings_files.h"
#include "ui/containers.h"
#include "ui/controls.h"
#include "ui/custom_controls.h"
#include "ui/resource_manager.h"

namespace korvale {

namespace {

std::atomic<bool> g_powerOn{true};

// The window procedure's view of a rectangle handed over in lParam.
const UiRect* RectFromLParam(LPARAM lParam) { return reinterpret_cast<const UiRect*>(lParam); }

// "prefix" followed by a decimal number; the number in *index.
bool SplitIndexed(std::string_view name, std::string_view prefix, bool exact, int* index) {
  if (name.size() <= prefix.size()) return false;
  std::string_view head = name.substr(0, prefix.size());
  if (exact ? head != prefix : !EqualsNoCase(head, prefix)) return false;
  int v = 0;
  for (char c : name.substr(prefix.size())) {
    if (c < '0' || c > '9') return false;
    if (v > 100000) return false;
    v = v * 10 + (c - '0');
  }
  *index = v;
  return true;
}

}  // namespace

const char* MainRouteName(MainRoute route) {
  static constexpr const char* kNames[] = {
      "lighting editor", "audio lighting", "colour entry", "key editor", "key capture",
      "macro editor", "macro recording", "macro action menu", "shoot editor", "headset controls",
      "profile list", "profile select", "main commands", "function page", "device settings",
      "skin window", "settings window", "about window", "work tool",
      "audio capture", "hook control", "system control panel"};
  static_assert(std::size(kNames) == static_cast<std::size_t>(MainRoute::kCount));
  const auto i = static_cast<std::size_t>(route);
  return i < std::size(kNames) ? kNames[i] : "?";
}

CMainPage::CMainPage() {
  AddNotifyHandler(notify::kClick, [](TNotifyUI&) {});
  AddNotifyHandler(notify::kSelectChanged, [](TNotifyUI&) {});
  AddNotifyHandler(notify::kItemClick, [](TNotifyUI&) {});
}

// ---- routing tables ----
//
// One row per control name (or name prefix followed by an index) and
// notification type. Names compare ignoring case unless the row says exact.

struct CMainWnd::RouteRow {
  const char* type;
  const char* name;
  bool indexed;  // name is a prefix followed by a decimal index
  bool exact;    // compare case-sensitively
  MainRoute route;
};

namespace {

using R = MainRoute;
constexpr const char* kClickT = "click";
constexpr const char* kSelT = "selectchanged";
constexpr const char* kValT = "valuechanged";
constexpr const char* kMoveT = "movevaluechanged";
constexpr const char* kItemT = "itemselect";
constexpr const char* kKillT = "killfocus";
constexpr const char* kColT = "colorchanged";

struct Row {
  const char* type;
  const char* name;
  bool indexed;
  bool exact;
  MainRoute route;
};

constexpr Row kRoutes[] = {
    {kColT, "deng_Color_Pallet", false, false, R::kLightingEditor},
    {kColT, "deng_audioColor_Pallet", false, false, R::kAudioLighting},
    // click
    {kClickT, "key_", true, false, R::kKeyEditor},
    {kClickT, "color_option_", true, false, R::kLightingEditor},
    {kClickT, "audiocolor_option_", true, false, R::kLightingEditor},
    {kClickT, "custom_bright_color_btn", false, false, R::kLightingEditor},
    {kClickT, "custom_off_color_btn", false, false, R::kLightingEditor},
    {kClickT, "windowdeviceset_", true, false, R::kSystemControlPanel},
    {kClickT, "DPI_color_option_", true, false, R::kMainCommands},
    {kClickT, "default_btn", false, false, R::kMainCommands},
    {kClickT, "deng_same_mode", false, false, R::kMainCommands},
    {kClickT, "music_setting_btn", false, false, R::kMainCommands},
    {kClickT, "device_add_btn", false, false, R::kProfileList},
    {kClickT, "device_sub_btn", false, false, R::kProfileList},
    {kClickT, "device_export_btn", false, false, R::kProfileList},
    {kClickT, "device_import_btn", false, false, R::kProfileList},
    {kClickT, "device_copy_btn", false, false, R::kProfileList},
    {kClickT, "device_reset_btn", false, false, R::kProfileList},
    {kClickT, "device_profile_edit_save_btn", false, false, R::kProfileList},
    {kClickT, "profile_fun_spread_btn", false, true, R::kProfileList},
    {kClickT, "key_butt_keysave", false, false, R::kKeyEditor},
    {kClickT, "key_butt_keydefalut", false, false, R::kKeyEditor},
    {kClickT, "key_butt_keycancel", false, false, R::kKeyEditor},
    {kClickT, "key_butt_prosave", false, false, R::kKeyEditor},
    {kClickT, "macro_btn_starredio", false, false, R::kMacroRecording},
    {kClickT, "macro_btn_stopredio", false, false, R::kMacroRecording},
    {kClickT, "macro_btn_name_add", false, false, R::kMacroEditor},
    {kClickT, "macro_btn_name_sub", false, false, R::kMacroEditor},
    {kClickT, "macro_btn_name_edit", false, false, R::kMacroEditor},
    {kClickT, "macro_btn_save", false, false, R::kMacroEditor},
    {kClickT, "macro_btn_cancel", false, false, R::kMacroEditor},
    {kClickT, "macro_btn_export", false, false, R::kMacroEditor},
    {kClickT, "macro_btn_import", false, false, R::kMacroEditor},
    {kClickT, "macro_btn_up", false, false, R::kMacroEditor},
    {kClickT, "macro_btn_down", false, false, R::kMacroEditor},
    {kClickT, "macro_btn_uptop", false, false, R::kMacroEditor},
    {kClickT, "macro_btn_downbottom", false, false, R::kMacroEditor},
    {kClickT, "macro_btn_delete", false, false, R::kMacroEditor},
    {kClickT, "macro_btn_deleteall", false, false, R::kMacroEditor},
    {kClickT, "macro_inset_moveleftkey_btn", false, true, R::kMacroEditor},
    {kClickT, "macro_inset_moverightkey_btn", false, true, R::kMacroEditor},
    {kClickT, "macro_inset_moveupkey_btn", false, true, R::kMacroEditor},
    {kClickT, "macro_inset_movedownkey_btn", false, true, R::kMacroEditor},
    {kClickT, "shootdate_save_btn", false, false, R::kShootEditor},
    {kClickT, "shootdate_reset_btn", false, false, R::kShootEditor},
    {kClickT, "shootdate_import_btn", false, false, R::kShootEditor},
    {kClickT, "shootdate_export_btn", false, false, R::kShootEditor},
    {kClickT, "bullet_selected_prev", false, false, R::kShootEditor},
    {kClickT, "bullet_selected_next", false, false, R::kShootEditor},
    {kClickT, "hs_EQ_btn_save", false, false, R::kHeadsetControls},
    {kClickT, "hs_EQ_btn_delete", false, false, R::kHeadsetControls},
    {kClickT, "skinbtn", false, false, R::kSkinWindow},
    {kClickT, "setbtn", false, false, R::kSettingsWindow},
    // selectchanged
    {kSelT, "deng_Op_tab", false, false, R::kFunctionPage},
    {kSelT, "key_Op_tab", false, false, R::kFunctionPage},
    {kSelT, "macro_Op_tab", false, false, R::kFunctionPage},
    {kSelT, "system_Op_tab", false, false, R::kFunctionPage},
    {kSelT, "cursor_Op_tab", false, false, R::kFunctionPage},
    {kSelT, "6533_voice_Op_tab", false, false, R::kFunctionPage},
    {kSelT, "magic_Op_tab", false, false, R::kFunctionPage},
    {kSelT, "Virtual7.1_Op_tab", false, false, R::kFunctionPage},
    {kSelT, "deng_FXL_check", false, false, R::kLightingEditor},
    {kSelT, "deng_FXR_check", false, false, R::kLightingEditor},
    {kSelT, "deng_7color_check", false, false, R::kLightingEditor},
    {kSelT, "deng_7audiocolor_check", false, false, R::kAudioLighting},
    {kSelT, "audio_BkColor_check", false, false, R::kAudioLighting},
    {kSelT, "audio_FgColor_check", false, false, R::kAudioLighting},
    {kSelT, "keyset_fn", false, false, R::kKeyEditor},
    {kSelT, "key_ComBox_check_", true, false, R::kKeyEditor},
    {kSelT, "keyboard_key_", true, false, R::kKeyEditor},  // index < 126, checked below
    {kSelT, "DPI_enable_check_", true, false, R::kDeviceSettings},
    {kSelT, "DPI_select_check_", true, false, R::kDeviceSettings},
    {kSelT, "polling_rate_option_", true, false, R::kDeviceSettings},
    {kSelT, "mouse_device_seting_option_", true, false, R::kDeviceSettings},
    {kSelT, "pointer_precision_check", false, false, R::kDeviceSettings},
    {kSelT, "scrolls_page_check", false, false, R::kDeviceSettings},
    {kSelT, "repeat_delay_check_", true, false, R::kDeviceSettings},
    {kSelT, "winlockflag_option", false, false, R::kDeviceSettings},
    {kSelT, "wflag_option", false, false, R::kDeviceSettings},
    {kSelT, "6flag_option", false, false, R::kDeviceSettings},
    {kSelT, "shoot_gun_op_", true, false, R::kShootEditor},
    {kSelT, "bullet_op_", true, false, R::kShootEditor},
    {kSelT, "bullet_x_check", false, false, R::kShootEditor},
    {kSelT, "bullet_y_check", false, false, R::kShootEditor},
    {kSelT, "magic_option_", true, false, R::kHeadsetControls},
    {kSelT, "magic_enable_option", false, false, R::kHeadsetControls},
    {kSelT, "6533_eq_option_", true, false, R::kHeadsetControls},
    {kSelT, "6533_MicIn_option", false, false, R::kHeadsetControls},
    {kSelT, "6533_MicMoniter_option", false, false, R::kHeadsetControls},
    // valuechanged
    {kValT, "DPI_slider_", true, false, R::kDeviceSettings},
    {kValT, "pointer_speed_slider", false, false, R::kDeviceSettings},
    {kValT, "scroll_speed_slider", false, false, R::kDeviceSettings},
    {kValT, "double_click_slider", false, false, R::kDeviceSettings},
    {kValT, "repeat_rate_slider", false, false, R::kDeviceSettings},
    {kValT, "6533_eq_hz_slider_", true, false, R::kHeadsetControls},
    {kValT, "6533_MicIn_slider", false, false, R::kHeadsetControls},
    {kValT, "6533_MicMoniter_slider", false, false, R::kHeadsetControls},
    {kValT, "deng_light_slider", false, false, R::kLightingEditor},
    {kValT, "deng_speed_slider", false, false, R::kLightingEditor},
    {kValT, "voice_sensitivity", false, false, R::kAudioLighting},
    {kValT, "R_light_slider", false, false, R::kAudioLighting},
    {kValT, "G_light_slider", false, false, R::kAudioLighting},
    {kValT, "B_light_slider", false, false, R::kAudioLighting},
    // movevaluechanged
    {kMoveT, "DPI_slider_", true, false, R::kDeviceSettings},
    // itemselect
    {kItemT, "light_combo_modeSelect", false, false, R::kLightingEditor},
    {kItemT, "light_combo_custommodeSelect", false, false, R::kLightingEditor},
    {kItemT, "light_combo_ZZCCmodeSelect", false, false, R::kLightingEditor},
    {kItemT, "light_combo_audiomodeSelect", false, false, R::kAudioLighting},
    {kItemT, "keyset_function_combo", false, false, R::kKeyEditor},
    {kItemT, "keyset_macro_over_combo", false, false, R::kKeyEditor},
    {kItemT, "keyset_mousekey_combo", false, false, R::kKeyEditor},
    {kItemT, "keyset_mouseswing_combo", false, false, R::kKeyEditor},
    {kItemT, "keyset_mousewheel_combo", false, false, R::kKeyEditor},
    {kItemT, "keyset_mousedpi_combo", false, false, R::kKeyEditor},
    {kItemT, "keyset_media_combo", false, false, R::kKeyEditor},
    {kItemT, "keyset_system_combo", false, false, R::kKeyEditor},
    {kItemT, "keyset_macro_combo", false, false, R::kKeyEditor},
    {kItemT, "keyset_gunkey_combo", false, false, R::kKeyEditor},
    {kItemT, "keyset_combokey_combo", false, false, R::kKeyEditor},
    {kItemT, "macro_name_list", false, false, R::kMacroEditor},
    {kItemT, "custom_eq_name_combo", false, false, R::kHeadsetControls},
    // killfocus
    {kKillT, "DPI_edit_", true, false, R::kDeviceSettings},
    {kKillT, "deng_edit_R", false, false, R::kColourEntry},
    {kKillT, "deng_edit_G", false, false, R::kColourEntry},
    {kKillT, "deng_edit_B", false, false, R::kColourEntry},
    {kKillT, "deng_audioedit_R", false, false, R::kColourEntry},
    {kKillT, "deng_audioedit_G", false, false, R::kColourEntry},
    {kKillT, "deng_audioedit_B", false, false, R::kColourEntry},
    {kKillT, "keyset_mouseswing_num_edit", false, false, R::kKeyEditor},
    {kKillT, "keyset_mouseswing_delay_edit", false, false, R::kKeyEditor},
    {kKillT, "keyset_mouseswing_speed_edit", false, false, R::kKeyEditor},
    {kKillT, "keyset_mousewheel_num_edit", false, false, R::kKeyEditor},
    {kKillT, "keyset_mousewheel_delay_edit", false, false, R::kKeyEditor},
    {kKillT, "keyset_mousewheel_speed_edit", false, false, R::kKeyEditor},
    {kKillT, "keyset_mousefire_interval_edit", false, false, R::kKeyEditor},
    {kKillT, "keyset_mousefire_num_edit", false, false, R::kKeyEditor},
    {kKillT, "keyset_macro_cycle_edit", false, false, R::kKeyEditor},
    {kKillT, "bullet_x_eidt", false, false, R::kShootEditor},
    {kKillT, "bullet_y_eidt", false, false, R::kShootEditor},
    {kKillT, "bullet_delay_eidt", false, false, R::kShootEditor},
    {kKillT, "macro_delay", false, false, R::kMacroEditor},
    // message-map entries
    {"itemactivate", "macro_action", false, false, R::kMacroActionMenu},
};

// Tray menu commands other than "exit".
struct MenuRow {
  const char* name;
  MainRoute route;
};
constexpr MenuRow kMenuRoutes[] = {
    {"about_menu", R::kAboutWindow},
    {"setwnd_menu", R::kSettingsWindow},
    {"redio_previous_record_time", R::kMacroRecording},
    {"redio_previous_constant_time", R::kMacroRecording},
    {"redio_previous_ignore_time", R::kMacroRecording},
    {"redio_later_record_time", R::kMacroRecording},
    {"redio_later_constant_time", R::kMacroRecording},
    {"redio_later_ignore_time", R::kMacroRecording},
    {"macro_action_edit", R::kMacroRecording},
    {"left_down", R::kMacroRecording},    {"left_up", R::kMacroRecording},
    {"left_click", R::kMacroRecording},   {"middle_down", R::kMacroRecording},
    {"middle_up", R::kMacroRecording},    {"middle_click", R::kMacroRecording},
    {"right_down", R::kMacroRecording},   {"right_up", R::kMacroRecording},
    {"right_click", R::kMacroRecording},  {"forward_down", R::kMacroRecording},
    {"forward_up", R::kMacroRecording},   {"forward_click", R::kMacroRecording},
    {"back_down", R::kMacroRecording},    {"back_up", R::kMacroRecording},
    {"back_click", R::kMacroRecording},
};

const Row* FindRoute(std::string_view type, std::string_view name) {
  for (const Row& r : kRoutes) {
    if (type != r.type) continue;
    int index = 0;
    if (r.indexed) {
      if (!SplitIndexed(name, r.name, r.exact, &index)) continue;
      if (std::string_view(r.name) == "keyboard_key_" && index >= 126) continue;
      return &r;
    }
    if (r.exact ? name == r.name : EqualsNoCase(name, r.name)) return &r;
  }
  return nullptr;
}

// Hook message names by their role.
constexpr std::size_t kSingleKeyHook = 0;  // "WM_HOOK_KEY_SINGLEKEY_MSG"
constexpr std::size_t kHitKeyHook = 1;     // "WM_HOOK_KEY_HITKEY_MSG"
constexpr const char* kMacroHookNames[] = {
    "WM_HOOK_KEY_KBMACRO_MSG",         "WM_HOOK_KEY_KBMACROSINGLE_MSG",
    "WM_HOOK_KEY_KBMACROPREVIOUS_MSG", "WM_HOOK_KEY_KBMACROLATER_MSG",
    "WM_HOOK_KEY_MSMACRO_MSG",         "WM_HOOK_KEY_MSMACROSINGLE_MSG",
    "WM_HOOK_KEY_MSMACROPREVIOUS_MSG", "WM_HOOK_KEY_MSMACROLATER_MSG"};

bool IsMacroHook(std::size_t index) {
  for (const char* n : kMacroHookNames)
    if (std::string_view(n) == kHookMessageNames[index]) return true;
  return false;
}

}  // namespace

// ---- thread slots ----

struct CMainWnd::ThreadSlot {
  struct State {
    std::mutex lock;
    std::condition_variable cv;
    bool done = false;
  };
  MainThreadParam param;
  std::shared_ptr<State> state = std::make_shared<State>();
  std::thread thread;
};

bool CMainWnd::StartThread(int slot, std::function<void(const MainThreadParam&)> body) {
  if (slot < 0 || slot >= kThreadSlots || !body) return false;
  if (threads_[slot] != nullptr) return false;
  auto s = std::make_unique<ThreadSlot>();
  s->param.mainWnd = GetHWND();
  s->param.stop = std::make_shared<Event>(Event::Reset::Manual);
  // The thread holds its own references, so it may outlive the window when
  // it misses its stop deadline.
  s->thread = std::thread([param = s->param, state = s->state, body = std::move(body)] {
    body(param);
    std::lock_guard<std::mutex> g(state->lock);
    state->done = true;
    state->cv.notify_all();
  });
  threads_[slot] = std::move(s);
  return true;
}

bool CMainWnd::IsThreadRunning(int slot) const {
  if (slot < 0 || slot >= kThreadSlots || threads_[slot] == nullptr) return false;
  std::lock_guard<std::mutex> g(threads_[slot]->state->lock);
  return !threads_[slot]->state->done;
}

void CMainWnd::StopThreads() {
  for (auto& s : threads_)
    if (s) s->param.stop->Set();
  for (int i = 0; i < kThreadSlots; ++i) {
    auto& s = threads_[i];
    if (!s) continue;
    bool ended;
    {
      std::unique_lock<std::mutex> g(s->state->lock);
      ended = s->state->cv.wait_for(g, std::chrono::milliseconds(kThreadStopWaitMs),
                                    [&] { return s->state->done; });
    }
    if (ended) {
      Trace("所有对象处于激发状态\n");
      s->thread.join();
    } else {
      // A thread cannot be killed safely here; it keeps only shared state
      // and a handle that reaches nothing once the window is gone.
      Trace("所有对象处于非激发状态，超时\n");
      Trace("thread slot %d did not stop within %u ms; left to end by itself", i, kThreadStopWaitMs);
      s->thread.detach();
    }
    s.reset();
  }
}

// ---- synchronised lighting ----

struct CMainWnd::SyncShared {
  mutable std::mutex lock;
  SyncLightMode mode;
  std::vector<CVarnikUSBDevice*> devices;
  std::shared_ptr<Event> wake = std::make_shared<Event>(Event::Reset::Auto);
  std::atomic<std::uint64_t> steps{0};
};

namespace {

using namespace preview;

// Frames between steps by speed level; one frame is a millisecond.
constexpr std::array<uint8_t, 5> kSyncFrames = {8, 6, 4, 2, 1};

int CycleIndex(int direction, int count, int value, int step) {
  return direction == 0 ? (value + step) % count : ((value - step) % count + count) % count;
}

struct SyncEffectState {
  int breath = 0;
  int hue = 0;
  bool phaseOn = false;
  std::chrono::steady_clock::time_point lastToggle{};
  int blinkPos = 0;
  int spectrumPos = 0;
};

LedColour SyncStep(const SyncLightMode& m, SyncEffectState& st) {
  const int level = std::clamp(m.brightness, 0, 4);
  const int speed = std::clamp(m.speed, 0, 4);
  const LedColour fixed{m.red, m.green, m.blue, 0};
  auto wheel = [](int i) {
    const Rgb& c = kWheel[static_cast<std::size_t>(i) % kWheel.size()];
    return LedColour{c.red, c.green, c.blue, 0};
  };
  LedColour out{};
  switch (m.type) {
    case 0:
      st.breath = CycleIndex(m.direction, kBreathSteps, st.breath, 1);
      if (m.multicolour && st.breath <= 1) st.hue = CycleIndex(0, kWheelHues, st.hue, kWheelJump);
      out = m.multicolour ? wheel(st.hue) : fixed;
      out.alpha = static_cast<uint8_t>(kBrightness[level] * kBreath[static_cast<std::size_t>(st.breath)] / 256);
      break;
    case 1:
      out = fixed;
      out.alpha = kBrightness[level];
      break;
    case 2: {
      const auto now = std::chrono::steady_clock::now();
      if (now - st.lastToggle >= std::chrono::milliseconds(kSyncFrames[speed] * kBlinkUnitMs)) {
        st.phaseOn = !st.phaseOn;
        st.lastToggle = now;
        st.blinkPos += 14;
        if (st.blinkPos >= kWheelHues) st.blinkPos = 0;
      }
      if (st.phaseOn) {
        out = m.multicolour ? wheel(st.blinkPos) : fixed;
        out.alpha = kBrightness[level];
      }
      break;
    }
    case 3:
      st.spectrumPos = CycleIndex(0, kWheelHues, st.spectrumPos, 1);
      out = wheel(st.spectrumPos);
      out.alpha = kBrightness[level];
      break;
    default:
      break;
  }
  return out;
}

}  // namespace

void CMainWnd::SyncLightThread(const MainThreadParam& param, std::shared_ptr<SyncShared> shared) {
  SyncEffectState state;
  pollfd fds[2] = {{param.stop->Fd(), POLLIN, 0}, {shared->wake->Fd(), POLLIN, 0}};
  for (;;) {
    SyncLightMode mode;
    std::vector<CVarnikUSBDevice*> devices;
    {
      std::lock_guard<std::mutex> g(shared->lock);
      mode = shared->mode;
      devices = shared->devices;
    }
    // Nothing to drive: sleep until the stop or a change, never on a timer.
    const int timeout = devices.empty() ? -1 : kSyncFrames[static_cast<std::size_t>(std::clamp(mode.speed, 0, 4))];
    const int r = ::poll(fds, 2, timeout);
    if (param.stop->IsSet() || r < 0) {
      Trace("同步灯光线程设定退出");
      return;
    }
    if (fds[1].revents & POLLIN) {
      shared->wake->Consume();
      continue;
    }
    const LedColour c = SyncStep(mode, state);
    for (CVarnikUSBDevice* d : devices)
      for (int i = 0; i < d->GetLightCount(); ++i) d->SetLedColour(i, PackLedColour(c));
    shared->steps.fetch_add(1);
  }
}

void CMainWnd::SetSyncLightMode(const SyncLightMode& mode) {
  {
    std::lock_guard<std::mutex> g(sync_->lock);
    sync_->mode = mode;
  }
  sync_->wake->Set();
}

void CMainWnd::SetSyncDevices(std::vector<CVarnikUSBDevice*> devices) {
  {
    std::lock_guard<std::mutex> g(sync_->lock);
    sync_->devices = std::move(devices);
  }
  sync_->wake->Set();
}

std::uint64_t CMainWnd::SyncStepCount() const { return sync_->steps.load(); }

// ---- construction and wiring ----

CMainWnd::CMainWnd() : sync_(std::make_shared<SyncShared>()) {
  AddVirtualWnd("mainpage", &mainPage_);
  LightHandlerHooks lightHooks;
  lightHooks.fillCustomColours = [](CVarnikUSBDevice& page, int bright) {
    if (auto* kb = dynamic_cast<CVarnikKeyboardDevice*>(&page)) kb->FillCustomColours(bright != 0);
  };
  lightHooks.reloadCustomColours = [](CVarnikUSBDevice& page) {
    if (auto* kb = dynamic_cast<CVarnikKeyboardDevice*>(&page)) kb->ReloadCustomColours();
  };
  lightHooks.setSyncMode = [this](int shared, const LightInfo& info) {
    SyncLightMode mode;
    mode.type = shared;
    mode.brightness = info.light;
    mode.speed = info.speed;
    mode.direction = info.fx;
    mode.multicolour = info.multiColor != 0;
    mode.red = info.red;
    mode.green = info.green;
    mode.blue = info.blue;
    SetSyncLightMode(mode);
  };
  light_ = std::make_unique<CLightHandlers>(std::move(lightHooks));
  const auto lighting = [this](const MainRouteCall& call) { OnLightingNotify(call); };
  for (MainRoute r : {MainRoute::kLightingEditor, MainRoute::kAudioLighting, MainRoute::kColourEntry})
    SetRouteHandler(r, lighting);
  profileCommands_ = std::make_unique<CProfileCommands>(*this);
  SetRegisteredMessages([](std::string_view name) { return RegisterWindowMessage(name); });
  // The skin is built for 96 dpi; the scale rule picks the final one.
}

CMainWnd::~CMainWnd() {
  // Also after a shutdown: a thread started since must not outlive its slot
  // joinable.
  StopThreads();
  devices_.reset();
  if (tray_ != nullptr && trayShown_) tray_->DeleteTrayIcon();
}

void CMainWnd::SetRegisteredMessages(const std::function<UINT(std::string_view)>& lookup) {
  if (!lookup) return;
  identityMsg_ = lookup(kAppIdentity);
  updateStatusMsg_ = lookup(kUpdateStatusMsgName);
  lightControlNotifyMsg_ = lookup(kLightControlNotifyMsgName);
  lightControlSetMsg_ = lookup(kLightControlSetMsgName);
  workToolQueryMsg_ = lookup(kWorkToolQueryMsgName);
  for (std::size_t i = 0; i < hookMsgs_.size(); ++i) hookMsgs_[i] = lookup(kHookMessageNames[i]);
  for (std::size_t i = 0; i < gameMsgs_.size(); ++i) gameMsgs_[i] = lookup(kGameMessageNames[i]);
}

void CMainWnd::SetBroadcaster(std::function<void(std::string_view, WPARAM, LPARAM)> broadcaster) {
  broadcaster_ = std::move(broadcaster);
}

void CMainWnd::SetTrayIcon(ITrayIcon* tray) { tray_ = tray; }

void CMainWnd::SetRouteHandler(MainRoute route, MainRouteHandler handler) {
  const auto i = static_cast<std::size_t>(route);
  if (i < routes_.size()) routes_[i] = std::move(handler);
}

void CMainWnd::Route(MainRoute route, const MainRouteCall& call) {
  const auto i = static_cast<std::size_t>(route);
  if (i < routes_.size() && routes_[i]) routes_[i](call);
}

bool CMainWnd::IsPowerOn() { return g_powerOn.load(); }

int CMainWnd::HookMessageIndex(UINT msg) const {
  if (msg == 0) return -1;
  for (std::size_t i = 0; i < hookMsgs_.size(); ++i)
    if (hookMsgs_[i] == msg) return static_cast<int>(i);
  return -1;
}

int CMainWnd::GameMessageIndex(UINT msg) const {
  if (msg == 0) return -1;
  for (std::size_t i = 0; i < gameMsgs_.size(); ++i)
    if (gameMsgs_[i] == msg) return static_cast<int>(i);
  return -1;
}

CControlUI* CMainWnd::CreateControl(std::string_view /*cls*/) { return nullptr; }

// ---- initialisation ----

void CMainWnd::InitWindow() {
  Trace("InitWindow");
  closeBtn_ = m_pm.FindControl("closebtn");
  minBtn_ = m_pm.FindControl("minbtn");
  setBtn_ = m_pm.FindControl("setbtn");
  if (tray_ != nullptr) trayShown_ = tray_->CreateTrayIcon(GetHWND(), kAppIdentity);
  LoadMenu();
}

void CMainWnd::OnWindowInit() {
  // Posted at creation; the window may be gone by the time it runs.
  if (shutDown_ || !IsWindow(GetHWND())) {
    Trace("main window: windowinit after the window was destroyed; nothing started");
    return;
  }
  // Companions learn that the lighting is ours again.
  if (broadcaster_) broadcaster_(kLightControlNotifyMsgName, 1, 1);
  ApplyLanguage(LoadLanguageIndex());
  DeviceListHooks hooks;
  hooks.wakeUp = [this] { WakeUp(); };
  hooks.beforeSelectedTileHidden = [this] {
    CloseChildWindows();
    // A running macro recording ends with its hooks.
    SendMessage(WM_HOOK_CONTROL, 0, 0);
  };
  hooks.closeSettingsWindow = [this] {
    if (HWND h = GetChildWindow(ChildWindow::kSettings)) SendMessageW(h, wm::kClose, 0, 0);
  };
  hooks.syncAvailable = [this](bool on) { SetSameModeAvailable(on); };
  hooks.pageBound = [this](CVarnikUSBDevice* page) { page->SetLightingControlActive(lightingControl_); };
  devices_ = std::make_unique<CDeviceList>(m_pm, this, std::move(hooks));
  devices_->SetIdentityMessage(identityMsg_);
  devices_->CreateDefaultPages();
  screen_ = CWindowWnd::GetScreenSize();
  light_->SetConfigExtras(screen_.cx, screen_.cy);
  // Shown again by the wake-up after the first device scan.
  ShowWindow(false);
  UpdateNoDeviceOverlay();
  if (discoveryEnabled_ && !devices_->StartDiscovery()) Trace("main window: device discovery did not start");
  auto shared = sync_;
  StartThread(kSyncLightSlot, [shared](const MainThreadParam& p) { SyncLightThread(p, shared); });
  SetTimer(kTimerScale, 100);
  firstSizeArmed_ = true;
  // The audio-lighting settings, rebuilt from the default copy when missing.
  audioSettingsPath_ = AppDataFolder() / "AudioFile.json";
  audioSettings_ = ReadWithDefaultCopy(audioSettingsPath_, DefaultDataFolder() / "AudioFile.json")["Device"];
  audioStyles_ = ReadAudioStyles(audioSettings_);
}

// ---- notifications ----

void CMainWnd::Notify(TNotifyUI& msg) {
  const std::string type = msg.sType;
  const std::string name = msg.pSender != nullptr ? std::string(msg.pSender->GetName()) : std::string();
  if (type != notify::kTimer) Trace("notify %s %s", type.c_str(), name.c_str());

  if (type == notify::kWindowInit) {
    OnWindowInit();
  } else if (type == notify::kWindowSize) {
    if (firstSizeArmed_ && EqualsNoCase(name, "root")) {
      firstSizeArmed_ = false;
      SetInterfaceScale();
    }
  } else if (!IsPowerOn()) {
    // Suspended: user input waits for the resume.
    return;
  } else if (type == "click_wpremove" || type == "click_wpedit") {
    return;  // and no default handling
  } else if (type != notify::kClick) {
    RouteNotify(msg);
  }
  // Default handling: "click" reaches OnClick, "mainpage" its pump.
  WindowImplBase::Notify(msg);
}

bool CMainWnd::RouteNotify(TNotifyUI& msg) {
  const std::string type = msg.sType;
  const std::string name = msg.pSender != nullptr ? std::string(msg.pSender->GetName()) : std::string();
  int index = 0;
  if (type == notify::kSetFocus && EqualsNoCase(name, "keyset_keyboard_text_edit")) {
    SendMessage(WM_HOOK_CONTROL, 1, 0);
    return true;
  }
  if (type == notify::kKillFocus && EqualsNoCase(name, "keyset_keyboard_text_edit")) {
    SendMessage(WM_HOOK_CONTROL, 0, 0);
    return true;
  }
  if (type == "movevaluechanged" && SplitIndexed(name, "velmo_DPI_slider_", false, &index)) {
    OnVelmoDpiSlider(msg, index);
    return true;
  }
  if (type == notify::kKillFocus && SplitIndexed(name, "velmo_DPI_edit_", false, &index)) {
    OnVelmoDpiEdit(msg, index);
    return true;
  }
  if (type == notify::kSelectChanged && EqualsNoCase(name, "device_select")) {
    OnDeviceSelect();
    return true;
  }
  if (type == notify::kClickSelectEnd && EqualsNoCase(name, "mouse_device_key_light")) {
    OnMouseLedSelection(msg.pSender);
    return true;
  }
  if (type == notify::kItemSelect && EqualsNoCase(name, "device_profile_combo")) {
    KillTimer(kTimerProfileSelect);
    SetTimer(kTimerProfileSelect, 400);
    return true;
  }
  if (const Row* r = FindRoute(type, name)) {
    if (r->route == MainRoute::kDeviceSettings && OnKeyboardSettings(type, name)) return true;
    if (r->route == MainRoute::kFunctionPage) OnFunctionTab(name);
    Route(r->route, MainRouteCall{type, name, &msg, 0, msg.wParam, msg.lParam});
    return true;
  }
  return false;
}

namespace {

uint32_t WithLow(uint32_t word, uint32_t low) { return (word & 0xFFFF0000u) | (low & 0xFFFFu); }
uint32_t WithHigh(uint32_t word, uint32_t high) { return (word & 0xFFFFu) | (high & 0xFFFFu) << 16; }

}  // namespace

bool CMainWnd::OnKeyboardSettings(const std::string& type, const std::string& name) {
  auto* kb = dynamic_cast<CVarnikKeyboardDevice*>(CurrentDevice());
  if (kb == nullptr || kb->GetKind() != 1) return false;
  std::array<uint32_t, 4> w = kb->GetSystemSettings();
  int n = 0;
  bool write = true;
  if (type == notify::kSelectChanged && SplitIndexed(name, "polling_rate_option_", false, &n)) {
    kb->ShowPollingRate(n);
    w[1] = WithHigh(w[1], static_cast<uint32_t>(n));
  } else if (type == notify::kSelectChanged && SplitIndexed(name, "repeat_delay_check_", false, &n)) {
    kb->ShowRepeatDelay(n);
    w[0] = WithHigh(w[0], static_cast<uint32_t>(n));
    write = false;
  } else if (type == notify::kValueChanged && EqualsNoCase(name, "repeat_rate_slider")) {
    w[0] = WithLow(w[0], static_cast<uint32_t>(kb->GetRepeatRate()));
    write = false;
  } else if (type == notify::kSelectChanged && EqualsNoCase(name, "winlockflag_option")) {
    w[2] = WithHigh(w[2], kb->GetWinLockOption() ? 1 : 0);
  } else if (type == notify::kSelectChanged && EqualsNoCase(name, "wflag_option")) {
    w[2] = WithLow(w[2], kb->GetWKeyOption() ? 1 : 0);
  } else if (type == notify::kSelectChanged && EqualsNoCase(name, "6flag_option")) {
    w[1] = WithLow(w[1], kb->GetSixKeyOption() ? 1 : 0);
  } else {
    return false;  // the mouse's controls
  }
  kb->SetSystemSettings(w[0], w[1], w[2], static_cast<uint16_t>(w[3]));
  kb->SaveProfile();
  if (write) kb->WriteDeviceConfig(0, 0, 1, screen_.cx, screen_.cy);
  return true;
}

void CMainWnd::OnClick(TNotifyUI& msg) {
  if (!IsPowerOn() || msg.pSender == nullptr) return;
  const std::string name = msg.pSender->GetName();
  if (EqualsNoCase(name, "closebtn")) {
    HideToTray();
    return;
  }
  if (EqualsNoCase(name, "nodevice_ok_btn")) {
    ShowWindow(false);
    return;
  }
  if (EqualsNoCase(name, "control_light_status")) {
    ToggleLightingControl();
    return;
  }
  if (EqualsNoCase(name, "minbtn") || EqualsNoCase(name, "maxbtn") || EqualsNoCase(name, "restorebtn")) {
    // No window states beyond shown and hidden in this model: minimise hides.
    if (EqualsNoCase(name, "minbtn")) ShowWindow(false);
    return;
  }
  if (EqualsNoCase(name, "device_select_prev") || EqualsNoCase(name, "device_select_next")) {
    SelectNeighbourTile(EqualsNoCase(name, "device_select_prev") ? -1 : 1);
    return;
  }
  if (EqualsNoCase(name, "reset_repeat_btn")) {
    OnResetRepeat();
    return;
  }
  if (EqualsNoCase(name, "Close_bkColor_btn")) {
    OnCloseBkColour();
    return;
  }
  // The same-mode command is the lighting editor's; the main commands may
  // add to it.
  if (EqualsNoCase(name, lightui::kSameMode))
    OnLightingNotify(MainRouteCall{notify::kClick, name, &msg, 0, msg.wParam, msg.lParam});
  if (const Row* r = FindRoute(notify::kClick, name)) {
    Route(r->route, MainRouteCall{notify::kClick, name, &msg, 0, msg.wParam, msg.lParam});
  }
}

void CMainWnd::OnVelmoDpiSlider(TNotifyUI& msg, int index) {
  auto* slider = dynamic_cast<CSliderUI*>(msg.pSender);
  CControlUI* edit = m_pm.FindControl("velmo_DPI_edit_" + std::to_string(index));
  if (slider == nullptr || edit == nullptr) return;
  edit->SetText(CDuiString::Printf("%d", slider->GetValue()));
}

void CMainWnd::OnVelmoDpiEdit(TNotifyUI& msg, int index) {
  CControlUI* edit = msg.pSender;
  int v = 0;
  if (!ParseInt(std::string(edit->GetText()), &v)) v = 0;
  if (v < 200) v = 200;
  if (v > 6500) v = 6500;
  edit->SetText(CDuiString::Printf("%d", v));
  if (auto* slider = dynamic_cast<CSliderUI*>(m_pm.FindControl("velmo_DPI_slider_" + std::to_string(index))))
    slider->SetValue(v);
}

// ---- lighting control flag ----

void CMainWnd::ShowLightControlStatus() {
  if (CControlUI* c = m_pm.FindControl("control_light_status"))
    c->SetText(lightingControl_ ? "控制灯光" : "不控制灯光");
}

void CMainWnd::SetLightingControl(bool on, bool broadcast) {
  lightingControl_ = on;
  if (broadcast && broadcaster_) broadcaster_(kLightControlNotifyMsgName, 1, on ? 1 : 0);
  ShowLightControlStatus();
  PassLightingControl(on);
}

void CMainWnd::ToggleLightingControl() { SetLightingControl(!lightingControl_, true); }

void CMainWnd::PassLightingControl(bool on) {
  for (CVarnikUSBDevice* d : AllDevices()) d->SetLightingControlActive(on);
}

void CMainWnd::PassHovered() {
  for (CVarnikUSBDevice* d : AllDevices()) d->SetWindowActive(hovered_);
}

void CMainWnd::SetWirelessPolling(bool on) {
  if (!devices_) return;
  for (auto* list : {&devices_->MousePages(), &devices_->KeyboardPages()})
    for (CVarnikUSBDevice* d : *list) d->SetWirelessPollPaused(!on);
}

std::vector<CVarnikUSBDevice*> CMainWnd::AllDevices() const {
  std::vector<CVarnikUSBDevice*> all;
  if (!devices_) return all;
  for (auto* list : {&devices_->MousePages(), &devices_->KeyboardPages(), &devices_->MousePadPages(),
                     &devices_->HeadsetPages()})
    all.insert(all.end(), list->begin(), list->end());
  return all;
}

CVarnikUSBDevice* CMainWnd::CurrentDevice() const { return devices_ ? devices_->CurrentDevice() : nullptr; }

void CMainWnd::OnDeviceSelect() {
  if (!devices_) return;
  for (int i = 0; i < devices_->PageCount(); ++i) {
    CDeviceOptionUI* tile = devices_->TileAt(i);
    if (tile == nullptr || !tile->IsSelectedTile()) continue;
    currentTile_ = i;
    currentKeyboardIndex_ = i - static_cast<int>(devices_->MousePages().size());
    currentMousePadIndex_ = i - static_cast<int>(devices_->KeyboardPages().size());
    currentKind_ = tile->GetKind();
    currentAuxiliary_ = tile->GetAuxiliary();
    if (auto* power = dynamic_cast<CTabLayoutUI*>(m_pm.FindControl(tile->GetPowerLayoutName()))) {
      const int panel = tile->GetPowerPanelIndex();
      power->SetVisible(panel != -1);
      if (panel != -1) power->SelectItem(panel);
    }
    return;
  }
}

void CMainWnd::SelectNeighbourTile(int direction) {
  if (!devices_) return;
  int selected = -1;
  for (int i = 0; i < devices_->PageCount(); ++i) {
    CDeviceOptionUI* tile = devices_->TileAt(i);
    if (tile != nullptr && tile->IsVisible() && tile->IsSelectedTile()) {
      selected = i;
      break;
    }
  }
  if (selected < 0) return;
  for (int i = selected + direction; i >= 0 && i < devices_->PageCount(); i += direction) {
    CDeviceOptionUI* tile = devices_->TileAt(i);
    if (tile != nullptr && tile->IsVisible()) {
      devices_->ShowTile(i, true, true);
      return;
    }
  }
}

void CMainWnd::OnMouseLedSelection(CControlUI* panel) {
  CVarnikUSBDevice* d = CurrentDevice();
  const int count = d != nullptr ? d->GetLightCount() : 0;
  if (panel == nullptr || count <= 0) return;
  std::vector<bool> marked(static_cast<std::size_t>(count), false);
  bool anySelected = false;
  for (CControlUI* c : m_pm.FindSubControlsByClass(panel, "DeviceKeyButton")) {
    auto* b = dynamic_cast<CDeviceKeyButtonUI*>(c);
    int n = 0;
    if (b == nullptr) continue;
    if (!SplitIndexed(b->GetName(), "light_", false, &n) && !SplitIndexed(b->GetUserData(), "light_", false, &n))
      continue;
    if (n >= count) continue;
    if (b->IsSelected()) anySelected = true;
    if (b->IsSelected() || !b->IsVisible()) marked[static_cast<std::size_t>(n)] = true;
  }
  if (!anySelected || std::find(marked.begin(), marked.end(), false) != marked.end()) return;
  const Json::Value doc = ReadJsonFile(AppDataFolder() / ".json");
  if (doc.isNull()) return;
  d->ReloadProfile();
  d->RefreshPage();
  d->WriteDeviceConfig(0, 0, 1, screen_.cx, screen_.cy);
  d->ApplyLighting();
}

void CMainWnd::OnResetRepeat() {
  CVarnikUSBDevice* d = CurrentDevice();
  if (d == nullptr || d->GetKind() != 1) return;
  if (CControlUI* box = m_pm.FindSubControlByName(d, "repeat_input_richedit")) box->SetText("");
}

void CMainWnd::OnCloseBkColour() {
  CVarnikUSBDevice* d = CurrentDevice();
  if (d == nullptr) return;
  std::array<uint32_t, 3> words = d->GetAudioLightColours();
  AudioLightInfo info = AudioLightInfo::FromWords(words);
  info.bkRed = info.bkGreen = info.bkBlue = 0;
  words = info.ToWords();
  d->SetAudioLightColours(words[0], words[1], words[2]);
  d->SaveProfile();
  d->ApplyLighting();
}

// ---- lighting editor ----

void CMainWnd::OnLightingNotify(const MainRouteCall& call) {
  if (call.notify == nullptr) return;
  if (light_->Handle(*call.notify, CurrentDevice(), AllDevices())) UpdateSyncDevices();
}

void CMainWnd::SetSameModeAvailable(bool available) {
  sameModeAvailable_ = available;
  for (CVarnikUSBDevice* d : AllDevices())
    if (CLightControlUI* editor = LightEditorOf(d)) editor->SetSameModeAvailable(available);
  UpdateSyncDevices();
}

void CMainWnd::UpdateSyncDevices() {
  std::vector<CVarnikUSBDevice*> marked;
  for (CVarnikUSBDevice* d : AllDevices())
    if (d->Comm().lightSync != 0) marked.push_back(d);
  SetSyncDevices(std::move(marked));
}

bool CMainWnd::OnFunctionTab(const std::string& name) {
  // The tabs in the order of the page types 1..8.
  static constexpr const char* kTabs[] = {"deng_Op_tab",  "key_Op_tab",        "macro_Op_tab", "system_Op_tab",
                                          "cursor_Op_tab", "6533_voice_Op_tab", "magic_Op_tab", "Virtual7.1_Op_tab"};
  CVarnikUSBDevice* d = CurrentDevice();
  auto* tab = d != nullptr ? dynamic_cast<COptionUI*>(m_pm.FindSubControlByName(d, name)) : nullptr;
  if (tab == nullptr || !tab->IsSelected()) return false;  // another page's, or the one deselected
  for (std::size_t i = 0; i < std::size(kTabs); ++i) {
    if (EqualsNoCase(name, kTabs[i])) {
      d->ShowFunctionPage(static_cast<int>(i) + 1);
      return true;
    }
  }
  return false;
}

// ---- game lighting ----

void CMainWnd::StoreLightInfo(CVarnikUSBDevice* device, const LightInfo& info) {
  device->SetLightInfo(info.ToWords());
  if (CControlUI* editor = m_pm.FindSubControlByName(device, "LightControlItem"))
    if (auto* hooks = dynamic_cast<ILightEditorHooks*>(editor)) hooks->ShowLightInfo(info);
  device->SaveProfile();
  device->ApplyLighting();
  device->WriteDeviceConfig(0, 0, 1, screen_.cx, screen_.cy);
}

void CMainWnd::DropFromSync(CVarnikUSBDevice* device) {
  // The mark goes too, or the next rebuild of the sync list takes it back.
  device->Comm().lightSync = 0;
  {
    std::lock_guard<std::mutex> g(sync_->lock);
    std::erase(sync_->devices, device);
  }
  sync_->wake->Set();
}

void CMainWnd::OnGameMessage(WPARAM wParam, LPARAM lParam) {
  if (lParam < 0 || lParam > 0xFF) {
    Trace("game lighting: mode %ld out of range, ignored", static_cast<long>(lParam));
    return;
  }
  if (CVarnikUSBDevice* d = CurrentDevice()) {
    DropFromSync(d);
    LightInfo info = d->GetLightInfoRecord();
    const auto mode = static_cast<uint8_t>(lParam);
    if (wParam == 0) {
      info.oldLedmode = info.selectItem >= 1 && info.selectItem <= 20 ? info.selectItem : 1;
      info.selectItem = mode;
      StoreLightInfo(d, info);
    } else if (wParam == 1 || wParam == 2) {
      info.selectItem = mode;
      StoreLightInfo(d, info);
    }
  }
  KillTimer(kTimerGameEnd);
  SetTimer(kTimerGameEnd, 5000);
}

void CMainWnd::EndGameLighting() {
  CVarnikUSBDevice* d = CurrentDevice();
  if (d == nullptr) return;
  DropFromSync(d);
  LightInfo info = d->GetLightInfoRecord();
  info.selectItem = info.oldLedmode;
  StoreLightInfo(d, info);
}

// ---- overlay, wake-up, tray ----

int CMainWnd::VisibleTileCount() const {
  if (devices_) return devices_->VisibleTileCount();
  CControlUI* layout = m_pm.FindControl("device_select_layout");
  auto* c = dynamic_cast<CContainerUI*>(layout);
  if (c == nullptr) return 0;
  int n = 0;
  for (int i = 0; i < c->GetCount(); ++i)
    if (c->GetItemAt(i)->IsVisible()) ++n;
  return n;
}

void CMainWnd::UpdateNoDeviceOverlay() {
  if (CControlUI* overlay = m_pm.FindControl("No_device_Link")) overlay->SetVisible(VisibleTileCount() == 0);
}

void CMainWnd::BringToFront() {
  // Restore, then topmost and 10 ms later not: the renderer raises the window.
  ShowWindow(true);
}

void CMainWnd::WakeUp() {
  UpdateNoDeviceOverlay();
  SetWirelessPolling(true);
  BringToFront();
}

void CMainWnd::OnTrayNotify(LPARAM mouseMsg) {
  if (mouseMsg == kTrayLButtonUp) {
    UpdateNoDeviceOverlay();
    const bool visible = IsVisible();
    CloseChildWindows();
    if (visible) {
      ShowWindow(false);
      SetWirelessPolling(false);
    } else {
      ShowWindow(true);
      SetInterfaceScale();
      BringToFront();
      m_pm.NeedUpdate();
      SetWirelessPolling(true);
    }
  } else if (mouseMsg == kTrayRButtonUp) {
    KillTimer(kTimerTrayMenu);
    SetTimer(kTimerTrayMenu, 10);
  }
}

void CMainWnd::LoadMenu() {
  menuItems_.clear();
  std::string rel = CResourceManager::GetInstance().GetXmlPath("menu.xml");
  if (rel.empty()) rel = "XML/menu.xml";
  const std::filesystem::path root = CPaintManagerUI::GetResourcePath();
  const std::filesystem::path file = root / rel;
  if (!IsInside(root, file)) return;
  tinyxml2::XMLDocument doc;
  if (doc.LoadFile(file.c_str()) != tinyxml2::XML_SUCCESS) {
    Trace("menu: %s not readable", file.c_str());
    return;
  }
  const tinyxml2::XMLElement* menu = doc.FirstChildElement("Menu");
  if (menu == nullptr) {
    Trace("menu: %s has no <Menu>", file.c_str());
    return;
  }
  for (const tinyxml2::XMLElement* e = menu->FirstChildElement(); e != nullptr; e = e->NextSiblingElement()) {
    TrayMenuItem item;
    if (std::string_view(e->Name()) == "Separator") {
      item.separator = true;
    } else if (std::string_view(e->Name()) == "MenuElement") {
      const char* n = e->Attribute("name");
      const char* t = e->Attribute("text");
      if (n == nullptr || *n == '\0') continue;
      item.name = n;
      item.text = t != nullptr ? t : n;
    } else {
      continue;
    }
    menuItems_.push_back(std::move(item));
  }
}

void CMainWnd::ShowTrayMenu() {
  if (menuItems_.empty()) LoadMenu();
  std::vector<TrayMenuItem> shown = menuItems_;
  for (TrayMenuItem& item : shown)
    if (!item.separator) item.text = CResourceManager::GetInstance().GetText(item.text);
  menuOpen_ = true;
  if (tray_ != nullptr) tray_->ShowMenu(GetHWND(), shown);
}

void CMainWnd::ShowWindow(bool show, bool takeFocus) {
  WindowImplBase::ShowWindow(show, takeFocus);
  if (devices_) devices_->SetPaintingPaused(!IsVisible());
}

void CMainWnd::HideToTray() {
  CloseChildWindows();
  ShowWindow(false);
  SetWirelessPolling(false);
}

LRESULT CMainWnd::OnClose(UINT, WPARAM, LPARAM, bool& bHandled) {
  if (exiting_) {
    bHandled = false;  // the window ends
    return 0;
  }
  HideToTray();
  bHandled = true;
  return 0;
}

void CMainWnd::OnMenuCommand(WPARAM index) {
  menuOpen_ = false;
  if (index >= menuItems_.size() || menuItems_[index].separator) {
    Trace("menu: command %zu is no item", static_cast<std::size_t>(index));
    return;
  }
  const std::string name = menuItems_[index].name;
  if (name == "exit") {
    CloseChildWindows();
    exiting_ = true;
    Close();
    return;
  }
  for (const MenuRow& r : kMenuRoutes) {
    if (name == r.name) {
      Route(r.route, MainRouteCall{"menu", name, nullptr, WM_MENU_COMMAND, index, 0});
      return;
    }
  }
}

// ---- child windows ----

void CMainWnd::SetChildWindow(ChildWindow which, HWND hwnd) {
  const auto i = static_cast<std::size_t>(which);
  if (i < children_.size()) children_[i] = hwnd;
}

HWND CMainWnd::GetChildWindow(ChildWindow which) const {
  const auto i = static_cast<std::size_t>(which);
  return i < children_.size() && IsWindow(children_[i]) ? children_[i] : 0;
}

void CMainWnd::CloseChildWindows() {
  for (HWND& h : children_) {
    if (h != 0 && IsWindow(h)) SendMessageW(h, wm::kClose, 0, 0);
    h = 0;
  }
}

// ---- language ----

void CMainWnd::InstallFonts(const std::string& face) {
  struct F {
    int id;
    int size;
    bool underline;
    bool bold;
    bool isDefault;
  };
  static constexpr F kFonts[] = {{0, 15, false, false, false},  {-1, 14, false, false, true},
                                 {1, 14, true, false, false},   {2, 12, false, false, false},
                                 {3, 30, false, false, false},  {4, 16, false, false, false},
                                 {5, 20, false, false, false},  {6, 22, false, false, false},
                                 {7, 14, false, false, false},  {8, 12, false, false, false},
                                 {9, 11, false, false, false},  {10, 10, false, false, false},
                                 {11, 28, false, false, false}, {50, 18, false, true, false}};
  for (CPaintManagerUI* pm : {&m_pm}) {
    // Fonts the table does not name keep their sizes but take the face too.
    for (TFontInfo f : pm->GetFonts()) {
      f.name = face;
      pm->AddFont(f);
    }
    for (const F& f : kFonts) {
      TFontInfo info;
      info.id = f.id;
      info.name = face;
      info.size = f.size;
      info.underline = f.underline;
      info.bold = f.bold;
      info.isDefault = f.isDefault;
      pm->AddFont(info);
    }
  }
}

void CMainWnd::ApplyLanguage(int index) {
  if (index == languageIndex_) return;
  const std::vector<LanguageEntry> list = ReadLanguageList();
  if (index < 0 || (!list.empty() && static_cast<std::size_t>(index) >= list.size())) {
    Trace("language %d is not in the list of %zu; kept %d", index, list.size(), languageIndex_);
    return;
  }
  auto idAt = [&list](int i) { return i >= 0 && static_cast<std::size_t>(i) < list.size() ? list[i].id : -1; };
  const std::string face = FontFaceForLanguage(idAt(index), idAt(languageIndex_));
  if (!face.empty()) InstallFonts(face);
  languageIndex_ = index;
  if (static_cast<std::size_t>(index) < list.size()) {
    const LanguageEntry& e = list[index];
    const std::filesystem::path root = InstallDataDir();
    const std::filesystem::path file = root / e.file;
    if (!e.file.empty() && IsInside(root, file))
      CResourceManager::GetInstance().LoadLanguage(file);
    else
      Trace("language %s: file \"%s\" refused", e.name.c_str(), e.file.c_str());
    if (StoreLanguageId(static_cast<uint32_t>(e.id))) Trace("写成功！");
  }
  m_pm.NeedUpdate();
  for (HWND h : children_)
    if (h != 0 && IsWindow(h)) SendMessageW(h, WM_LANGUAGE_CHANGED, 0, 0);
  ShowLightControlStatus();
}

// ---- scale ----

int CMainWnd::ScaleForMonitor(UiSize monitor) {
  return monitor.cx > 1500 && monitor.cy > 960 ? kLargeScale : kDefaultScale;
}

void CMainWnd::SetInterfaceScale() {
  const bool wasVisible = IsVisible();
  const UiSize monitor = monitor_.cx > 0 ? monitor_ : CWindowWnd::GetScreenSize();
  scale_ = ScaleForMonitor(monitor);
  CPaintManagerUI::SetAllDPI(kDefaultScale);
  UiRect rc = GetWindowRect();
  MoveWindow(UiRect{rc.left, rc.top, rc.left + kBaseSize.cx, rc.top + kBaseSize.cy});
  CPaintManagerUI::SetAllDPI(scale_);
  CenterWindow();
  if (IsVisible() != wasVisible) ShowWindow(wasVisible);
}

// ---- timers ----

void CMainWnd::OnTimer(UINT id) {
  KillTimer(id);
  switch (id) {
    case kTimerScale:
      SetInterfaceScale();
      m_pm.NeedUpdate();
      Route(MainRoute::kAudioCapture, MainRouteCall{"timer", "start", nullptr, wm::kTimer, id, 0});
      break;
    case kTimerTrayMenu:
      ShowTrayMenu();
      break;
    case kTimerProfileSelect:
      Route(MainRoute::kProfileSelect, MainRouteCall{"timer", "device_profile_combo", nullptr, wm::kTimer, id, 0});
      break;
    case kTimerGameEnd:
      EndGameLighting();
      break;
    default:
      break;
  }
}

// ---- messages ----

LRESULT CMainWnd::OnDestroy(UINT, WPARAM, LPARAM, bool& bHandled) {
  if (tray_ != nullptr && trayShown_) tray_->DeleteTrayIcon();
  trayShown_ = false;
  bHandled = false;  // the message table shuts down
  return 0;
}

void CMainWnd::Shutdown() {
  if (shutDown_) return;
  shutDown_ = true;
  for (UINT id : {kTimerScale, kTimerTrayMenu, kTimerProfileSelect, kTimerGameEnd}) KillTimer(id);
  ShowWindow(false);
  StopThreads();
  if (devices_) {
    devices_->StopDiscovery();
    devices_->DestroyAll();
  }
  Route(MainRoute::kAudioCapture, MainRouteCall{"message", "stop", nullptr, wm::kDestroy, 0, 0});
}

LRESULT CMainWnd::HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
  bHandled = false;
  // First group: seen even while suspended.
  if (msg == wm::kActivate) {
    active_ = hovered_ = wParam != 0;
    PassHovered();
    return 0;
  }
  if (msg == wm::kMouseLeave) {
    Trace("鼠标移出");
    if (!active_) {
      hovered_ = false;
      PassHovered();
    }
    return 0;
  }
  if (msg == wm::kMouseHover) {
    Trace("鼠标移入");
    if (!active_) {
      hovered_ = true;
      PassHovered();
    }
    return 0;
  }
  if (identityMsg_ != 0 && msg == identityMsg_) {
    Trace("软件标示 %u，%zx%zx", msg, static_cast<std::size_t>(wParam), static_cast<std::size_t>(lParam));
    WakeUp();
    return 0;
  }
  if (updateStatusMsg_ != 0 && msg == updateStatusMsg_) {
    if (HWND s = GetChildWindow(ChildWindow::kSettings)) PostMessageW(s, msg, wParam, lParam);
    return 0;
  }
  if (lightControlSetMsg_ != 0 && msg == lightControlSetMsg_) {
    if (wParam == 1) {
      if (lParam == 0 || lParam == 1)
        SetLightingControl(lParam == 1, false);
      else
        PassLightingControl(lightingControl_);
    }
    return 0;
  }
  if (workToolQueryMsg_ != 0 && msg == workToolQueryMsg_) {
    Route(MainRoute::kWorkTool, MainRouteCall{"message", {}, nullptr, msg, wParam, lParam});
    return 0;
  }
  if (msg == wm::kDestroy) {
    Trace("退出测试");
    Shutdown();
    GetUiLoop().Quit(0);
    bHandled = true;
    return 0;
  }
  if (msg == wm::kPowerBroadcast) {
    if (wParam == PBT_APMRESUMEAUTOMATIC) {
      g_powerOn = true;
      PassLightingControl(lightingControl_);
      // Devices plugged or unplugged while asleep sent no notice we saw.
      if (devices_) devices_->Discovery().Rescan();
    } else if (wParam == PBT_APMSUSPEND) {
      g_powerOn = false;
      PassLightingControl(false);
    }
    return 0;
  }
  if (!IsPowerOn()) return 0;

  if (int h = HookMessageIndex(msg); h >= 0) {
    const auto i = static_cast<std::size_t>(h);
    if (i == kSingleKeyHook)
      Route(MainRoute::kKeyCapture, MainRouteCall{"message", kHookMessageNames[i], nullptr, msg, wParam, lParam});
    else if (i != kHitKeyHook && IsMacroHook(i))
      Route(MainRoute::kMacroRecording,
            MainRouteCall{"message", kHookMessageNames[i], nullptr, msg, wParam, lParam});
    return 0;
  }
  if (GameMessageIndex(msg) >= 0) {
    OnGameMessage(wParam, lParam);
    return 0;
  }
  switch (msg) {
    case WM_SHOW_PROGRESS:
      if (CControlUI* p = m_pm.FindControl("setting_progress")) p->SetVisible(true);
      return 0;
    case WM_LANGUAGE_CHANGED:
      ApplyLanguage(static_cast<int>(wParam));
      if (devices_)
        for (auto* list : {&devices_->MousePages(), &devices_->KeyboardPages()})
          for (CVarnikUSBDevice* d : *list) d->RefreshPage();
      return 0;
    case WM_DEVICE_BOUND:
      return devices_ ? devices_->OnDeviceBound(wParam) : 0;
    case WM_DEVICE_LOST:
      return devices_ ? devices_->OnDeviceLost(wParam) : 0;
    case WM_TILE_LINK:
      return devices_ ? devices_->OnTileLink(wParam, lParam) : 0;
    case WM_OPEN_SETTINGS:
      Route(MainRoute::kSettingsWindow, MainRouteCall{"message", "centred", nullptr, msg, wParam, lParam});
      return 0;
    case WM_UPDATE_IS_LATEST:
      if (auto* b = dynamic_cast<CButtonUI*>(setBtn_ != nullptr ? setBtn_ : m_pm.FindControl("setbtn")))
        b->SetForeImage("");
      return 0;
    case WM_RESERVED_3330:
      return 0;
    case WM_DPI_NOTE:
      Trace("界面 DPI 1发生变化");
      return 0;
    case WM_HOOK_CONTROL:
      Route(MainRoute::kHookControl, MainRouteCall{"message", {}, nullptr, msg, wParam, lParam});
      return 0;
    case wm::kDpiChanged: {
      const int dpi = static_cast<int>(wParam & 0xFFFF);
      m_pm.SetDPI(dpi);
      m_pm.ResetDPIAssets();
      if (const UiRect* rc = RectFromLParam(lParam)) MoveWindow(*rc);
      CenterWindow();
      m_pm.NeedUpdate();
      Trace("界面 DPI 发生变化");
      return 0;
    }
    case WM_TRAY_NOTIFY:
      OnTrayNotify(lParam);
      return 0;
    case WM_MENU_COMMAND:
      OnMenuCommand(wParam);
      bHandled = true;
      return 0;
    case wm::kTimer:
      OnTimer(static_cast<UINT>(wParam));
      return 0;
    case wm::kCopyData:
      Route(MainRoute::kAudioLighting, MainRouteCall{"message", "copydata", nullptr, msg, wParam, lParam});
      return 0;
    case wm::kDisplayChange:
      Trace("显示器分辨率发生变化");
      SetInterfaceScale();
      return 0;
    default:
      return 0;
  }
}

}  // namespace korvale
