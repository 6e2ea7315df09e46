#pragma once
// The main window's routing tables as data: which handler a notification
// (by type and control name), a tray menu item or a message is handed on to.
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "ui/control.h"
#include "ui/ui_types.h"

namespace korvale {

// Where a notification or message is handed on. The entries that belong to
// the editors and dialogs stay empty until those register with
// CMainWnd::SetRouteHandler.
enum class MainRoute {
  kLightingEditor,    // effect, colour and brightness controls of a page
  kAudioLighting,     // audio-reactive lighting controls and data
  kColourEntry,       // typed R/G/B values of both colour pickers
  kKeyEditor,         // key assignment grid and its combos
  kKeyCapture,        // keyboard hook: a key for the key assignment editor
  kMacroEditor,       // macro list, steps, import and export
  kMacroRecording,    // hook messages and menu items while recording
  kMacroActionMenu,   // "itemactivate" on "macro_action"
  kShootEditor,
  kHeadsetControls,
  kProfileList,       // profile add/remove/copy/... buttons
  kProfileSelect,     // the profile combo, after its 400 ms settle time
  kMainCommands,      // import/export, restore, lighting sync, music settings
  kFunctionPage,      // the page tabs of the current device
  kDeviceSettings,    // DPI stages, report rate, repeat, scroll, ...
  kSkinWindow,
  kSettingsWindow,
  kAboutWindow,
  kWorkTool,          // the "WorkTool" peer's query
  kAudioCapture,      // start and stop commands to the audio capture program
  kAudioData,         // spectrum frames and colour blocks from the audio capture program
  kHookControl,       // install (1) or remove (0) the capture hooks
  kSystemControlPanel,// "windowdeviceset_" n
  kCount
};
const char* MainRouteName(MainRoute route);

// What a route handler is given: the notification, or the message.
struct MainRouteCall {
  std::string type;  // notification type, or "message" / "menu" / "timer"
  std::string name;  // sender or menu item name
  TNotifyUI* notify = nullptr;
  UINT msg = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};
using MainRouteHandler = std::function<void(const MainRouteCall&)>;

// The route of a notification of this type from the named control; none
// when no row names it. Names compare ignoring case except where a row says
// exact; an indexed row takes the name prefix and a decimal index.
std::optional<MainRoute> FindNotifyRoute(std::string_view type, std::string_view name);
// The route of a tray or context menu item other than "exit".
std::optional<MainRoute> FindMenuRoute(std::string_view item);
// IndexAfterPrefix with the number in *index, for chains of tests.
bool SplitIndexedName(std::string_view name, std::string_view prefix, bool exact, int* index);

}  // namespace korvale
