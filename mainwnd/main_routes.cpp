#include "mainwnd/main_routes.h"

#include <iterator>

#include "profiles/keyboard_layout.h"
#include "ui/control.h"
#include "ui/ui_types.h"

namespace korvale {

const char* MainRouteName(MainRoute route) {
  static constexpr const char* kNames[] = {
      "lighting editor", "audio lighting", "colour entry", "key editor", "key capture",
      "macro editor", "macro recording", "macro action menu", "shoot editor", "headset controls",
      "profile list", "profile select", "main commands", "function page", "device settings",
      "skin window", "settings window", "about window", "work tool",
      "audio capture", "audio data", "hook control", "system control panel"};
  static_assert(std::size(kNames) == static_cast<std::size_t>(MainRoute::kCount));
  const auto i = static_cast<std::size_t>(route);
  return i < std::size(kNames) ? kNames[i] : "?";
}

bool SplitIndexedName(std::string_view name, std::string_view prefix, bool exact, int* index) {
  const std::optional<int> n = IndexAfterPrefix(name, prefix, exact);
  if (n) *index = *n;
  return n.has_value();
}

namespace {

// One row per control name (or name prefix followed by an index) and
// notification type. Names compare ignoring case unless the row says exact.
using R = MainRoute;
constexpr const char* kClickT = notify::kClick;
constexpr const char* kSelT = notify::kSelectChanged;
constexpr const char* kValT = notify::kValueChanged;
constexpr const char* kMoveT = notify::kMoveValueChanged;
constexpr const char* kItemT = notify::kItemSelect;
constexpr const char* kKillT = notify::kKillFocus;
constexpr const char* kColT = notify::kColorChanged;

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
    {kClickT, "music_setting_btn", false, false, R::kAudioCapture},
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
    {kClickT, "macro_rows_prev", false, false, R::kMacroEditor},
    {kClickT, "macro_rows_next", false, false, R::kMacroEditor},
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
    {kSelT, "keyboard_key_", true, false, R::kKeyEditor},  // index < kKeyboardRealKeys, checked below
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
    {kValT, "voice_sensitivity", false, false, R::kAudioCapture},
    {kValT, "R_light_slider", false, false, R::kAudioCapture},
    {kValT, "G_light_slider", false, false, R::kAudioCapture},
    {kValT, "B_light_slider", false, false, R::kAudioCapture},
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

const Row* FindRow(std::string_view type, std::string_view name) {
  for (const Row& r : kRoutes) {
    if (type != r.type) continue;
    int index = 0;
    if (r.indexed) {
      if (!SplitIndexedName(name, r.name, r.exact, &index)) continue;
      if (std::string_view(r.name) == "keyboard_key_" && index >= kKeyboardRealKeys) continue;
      return &r;
    }
    if (r.exact ? name == r.name : EqualsNoCase(name, r.name)) return &r;
  }
  return nullptr;
}

}  // namespace

std::optional<MainRoute> FindNotifyRoute(std::string_view type, std::string_view name) {
  if (const Row* r = FindRow(type, name)) return r->route;
  return std::nullopt;
}

std::optional<MainRoute> FindMenuRoute(std::string_view item) {
  for (const MenuRow& r : kMenuRoutes)
    if (item == r.name) return r.route;
  return std::nullopt;
}

}  // namespace korvale
