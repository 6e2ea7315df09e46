#pragma once
// The tray icon as the main window sees it. The renderer supplies the real
// one (a system tray icon and its popup menu); without one the window works
// the same, it just has no icon to click.
#include <string>
#include <string_view>
#include <vector>

#include "ui/ui_types.h"

namespace korvale {

// Mouse messages the tray icon reports in WM_TRAY_NOTIFY's lParam.
constexpr LPARAM kTrayLButtonUp = 514;
constexpr LPARAM kTrayRButtonUp = 517;

// A menu command number of its own instead of the item's index (-1).
constexpr long kTrayIndexCommand = -1;

struct TrayMenuItem {
  std::string name;  // what WM_MENU_COMMAND reports back ("exit", "about_menu", ...)
  std::string text;  // the translated text shown
  bool separator = false;
  long command = kTrayIndexCommand;   // what WM_MENU_COMMAND's wParam carries; -1: the item's index
  bool checkable = false;             // shown with a check box
  bool checked = false;               // ... ticked
  bool enabled = true;
  std::vector<TrayMenuItem> children;  // a submenu; its items need commands of their own
};

class ITrayIcon {
 public:
  virtual ~ITrayIcon() = default;
  // Shows the icon. Clicks on it are posted to owner as WM_TRAY_NOTIFY with
  // lParam kTrayLButtonUp or kTrayRButtonUp.
  virtual bool CreateTrayIcon(HWND owner, std::string_view toolTip) = 0;
  virtual void DeleteTrayIcon() = 0;
  // Pops the menu up at the cursor. The chosen item is posted to owner as
  // WM_MENU_COMMAND with wParam its command, or its index in items when it
  // has none; closing it without a choice posts nothing.
  virtual void ShowMenu(HWND owner, const std::vector<TrayMenuItem>& items) = 0;
  // Closes the menu if it is open, without a choice.
  virtual void CloseMenu() {}
};

}  // namespace korvale
