#pragma once
// The application's own window messages: fixed numbers in the WM_USER range
// that worker threads, device pages and child windows send to the main window,
// and the names of the registered messages that cross process boundaries.
#include "ui/ui_types.h"

namespace korvale {

constexpr UINT WM_TRAY_NOTIFY = 1025;        // lParam: the mouse message on the tray icon
constexpr UINT WM_HOOK_CONTROL = 1054;       // wParam 0 remove / 1 install capture
constexpr UINT WM_MENU_COMMAND = 1145;       // wParam: menu item record
constexpr UINT WM_DPI_NOTE = 1224;           // traced only
constexpr UINT WM_SHOW_PROGRESS = 3072;
constexpr UINT WM_LANGUAGE_CHANGED = 3089;   // wParam: language index
constexpr UINT WM_DEVICE_BOUND = 3090;       // wParam: slot index
constexpr UINT WM_DEVICE_LOST = 3091;        // wParam: slot index
constexpr UINT WM_OPEN_SETTINGS = 3093;
constexpr UINT WM_UPDATE_IS_LATEST = 3094;
constexpr UINT WM_DEVICE_STATUS4 = 3329;     // status byte 4 from a page; not handled
constexpr UINT WM_RESERVED_3330 = 3330;      // handled as nothing
constexpr UINT WM_TILE_LINK = 3331;          // wParam: page index, lParam 0 hide / 1 show

// Power broadcast wParam values.
constexpr WPARAM PBT_APMSUSPEND = 4;
constexpr WPARAM PBT_APMRESUMEAUTOMATIC = 18;

// The identity string: names the identity message, the single-instance lock,
// the main window's title, the settings key and the per-user data folder.
inline constexpr const char* kAppIdentity = "KORVALE TX730max";

// Registered message names (numbers come from the message registry at start).
inline constexpr const char* kUpdateStatusMsgName = "{4695579F-999A-41d4-9FAF-EFFCE93EBF15}";
inline constexpr const char* kLightControlNotifyMsgName = "{4695579F-999A-41d4-9FAF-EFFCE93EBF16}";
inline constexpr const char* kLightControlSetMsgName = "{4695579F-999A-41d4-9FAF-EFFCE93EBF17}";
inline constexpr const char* kWorkToolQueryMsgName = "{4695579F-999A-41d4-9FAF-EFFCE93EBF18}";
// Its last group differs from the others ("...EBE19"); peers must use exactly this.
inline constexpr const char* kAudioDaemonMsgName = "{4695579F-999A-41d4-9FAF-EFFCE93EBE19}";

// Hook, mouse and game messages, in registration order.
inline constexpr const char* kHookMessageNames[] = {
    "WM_HOOK_KEY_SINGLEKEY_MSG",       "WM_HOOK_KEY_HITKEY_MSG",
    "WM_HOOK_KEY_KBMACRO_MSG",         "WM_HOOK_KEY_MSMACRO_MSG",
    "WM_HOOK_KEY_KBMACROSINGLE_MSG",   "WM_HOOK_KEY_KBMACROPREVIOUS_MSG",
    "WM_HOOK_KEY_KBMACROLATER_MSG",    "WM_HOOK_MOU_SINGLEKEY_MSG",
    "WM_HOOK_MOU_HITKEY_MSG",          "WM_HOOK_MOU_KBMACRO_MSG",
    "WM_HOOK_MOU_MSMACRO_MSG",         "WM_HOOK_KEY_MSMACROSINGLE_MSG",
    "WM_HOOK_KEY_MSMACROPREVIOUS_MSG", "WM_HOOK_KEY_MSMACROLATER_MSG",
    "UWM_MOUSERBUTTONDOWN_USER_MSG",   "UWM_MOUSELBUTTONUP_USER_MSG",
    "UWM_MOUSELBUTTONDOWN_USER_MSG",   "UWM_MOUSERBUTTONUP_USER_MSG",
    "UWM_MOUSEMOVE_USER_MSG",
};
inline constexpr const char* kGameMessageNames[] = {"Game_Start", "Game_End", "Game_Kill",
                                                    "Game_Death"};

}  // namespace korvale
