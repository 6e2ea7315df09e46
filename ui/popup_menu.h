#pragma once
// Pop-up menus of the windows (the macro action list's menu): a menu read from
// its skin file and shown at the cursor by the renderer, which installs the
// real menus; tests install a recorder. With nothing installed no menu opens.
// A chosen item comes back to the owner window as WM_MENU_COMMAND, so the
// owner acts on its name like on a click of a control of that name.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/ui_types.h"

namespace korvale {

struct PopupMenuItem {
  std::string name;  // what the owner acts on when it is chosen
  std::string text;  // a text ID of the language files, shown translated
  bool enabled = true;
  bool separator = false;
  std::vector<PopupMenuItem> children;  // a submenu; the item itself is then no choice
};

// WM_MENU_COMMAND's wParam for a pop-up menu's choice: this plus the item's
// number. Items are numbered in the order they are shown, submenus' items in
// their place, counting only the items that can be chosen (no separators, no
// submenu titles). Far above the tray menu's commands.
inline constexpr WPARAM kPopupMenuCommand = 0x1000000;

// The item with that number, or nullptr.
const PopupMenuItem* PopupMenuItemAt(const std::vector<PopupMenuItem>& items, std::size_t number);
// The number of the item named so, if any.
std::optional<std::size_t> PopupMenuNumberOf(const std::vector<PopupMenuItem>& items, std::string_view name);

// Reads a menu skin file (a skin name like "XML\Menus\x.xml", mapped through
// the resource index, or a path below the skin folder): <Menu> holding
// <MenuElement name="" text="" enabled="false"> (nested elements make a
// submenu) and <Separator/>. Elements without a name are skipped. Empty, with
// a trace, when the file is missing, outside the skin folder or malformed.
std::vector<PopupMenuItem> LoadPopupMenu(std::string_view skinFile);

class IPopupMenus {
 public:
  virtual ~IPopupMenus() = default;
  // Closes any menu open, then opens items for owner at the cursor, their
  // top left corner there. The choice is posted to owner as WM_MENU_COMMAND
  // with wParam kPopupMenuCommand + its number; closing without one posts
  // nothing.
  virtual void Show(HWND owner, const std::vector<PopupMenuItem>& items) = 0;
  // Closes the open menu, if any, without a choice.
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
};

// Not owned; nullptr removes it.
void SetPopupMenus(IPopupMenus* menus);
IPopupMenus* GetPopupMenus();

}  // namespace korvale
