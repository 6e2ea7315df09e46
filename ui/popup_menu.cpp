#include "ui/popup_menu.h"

#include <tinyxml2.h>

#include <atomic>
#include <filesystem>

#include "platform/paths.h"
#include "platform/trace.h"
#include "ui/paint_manager.h"
#include "ui/resource_manager.h"

namespace korvale {

namespace {

std::atomic<IPopupMenus*> g_menus{nullptr};

// Walks the choosable items in their numbering order; stops when visit says so.
template <class Visit>
bool Walk(const std::vector<PopupMenuItem>& items, std::size_t& number, Visit&& visit) {
  for (const PopupMenuItem& item : items) {
    if (item.separator) continue;
    if (!item.children.empty()) {
      if (Walk(item.children, number, visit)) return true;
      continue;
    }
    if (visit(item, number)) return true;
    ++number;
  }
  return false;
}

// Submenus nest at most this deep; deeper elements are dropped.
constexpr int kMaxDepth = 4;

std::vector<PopupMenuItem> ReadItems(const tinyxml2::XMLElement* parent, int depth) {
  std::vector<PopupMenuItem> items;
  for (const tinyxml2::XMLElement* e = parent->FirstChildElement(); e != nullptr; e = e->NextSiblingElement()) {
    const std::string_view tag = e->Name();
    PopupMenuItem item;
    if (tag == "Separator") {
      item.separator = true;
    } else if (tag == "MenuElement") {
      const char* name = e->Attribute("name");
      if (name == nullptr || *name == '\0') continue;
      const char* text = e->Attribute("text");
      item.name = name;
      item.text = text != nullptr ? text : name;
      item.enabled = e->BoolAttribute("enabled", true);
      if (depth + 1 < kMaxDepth) item.children = ReadItems(e, depth + 1);
    } else {
      continue;
    }
    items.push_back(std::move(item));
  }
  return items;
}

}  // namespace

const PopupMenuItem* PopupMenuItemAt(const std::vector<PopupMenuItem>& items, std::size_t number) {
  const PopupMenuItem* found = nullptr;
  std::size_t n = 0;
  Walk(items, n, [&](const PopupMenuItem& item, std::size_t at) {
    if (at != number) return false;
    found = &item;
    return true;
  });
  return found;
}

std::optional<std::size_t> PopupMenuNumberOf(const std::vector<PopupMenuItem>& items, std::string_view name) {
  std::optional<std::size_t> found;
  std::size_t n = 0;
  Walk(items, n, [&](const PopupMenuItem& item, std::size_t at) {
    if (item.name != name) return false;
    found = at;
    return true;
  });
  return found;
}

std::vector<PopupMenuItem> LoadPopupMenu(std::string_view skinFile) {
  std::string rel = CResourceManager::GetInstance().GetXmlPath(skinFile);
  if (rel.empty()) rel = skinFile;
  for (char& c : rel)
    if (c == '\\') c = '/';
  const std::filesystem::path root = CPaintManagerUI::GetResourcePath();
  const std::filesystem::path file = root / rel;
  if (root.empty() || !IsInside(root, file)) {
    Trace("menu: %s is not a file of the skin", rel.c_str());
    return {};
  }
  tinyxml2::XMLDocument doc;
  if (doc.LoadFile(file.c_str()) != tinyxml2::XML_SUCCESS) {
    Trace("menu: %s not readable", file.c_str());
    return {};
  }
  const tinyxml2::XMLElement* menu = doc.FirstChildElement("Menu");
  if (menu == nullptr) {
    Trace("menu: %s has no <Menu>", file.c_str());
    return {};
  }
  return ReadItems(menu, 0);
}

void SetPopupMenus(IPopupMenus* menus) { g_menus = menus; }
IPopupMenus* GetPopupMenus() { return g_menus.load(); }

}  // namespace korvale
