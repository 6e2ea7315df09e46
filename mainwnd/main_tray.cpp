#include "mainwnd/main_wnd.h"

#include "devices/varnik_usb_device.h"
#include "hid/hid_interfaces.h"
#include "mainwnd/device_list.h"
#include "mainwnd/device_option.h"
#include "mainwnd/mpdevice_power.h"
#include "mainwnd/profile_commands.h"
#include "platform/settings_store.h"
#include "profiles/profile_list.h"
#include "ui/controls.h"
#include "windows/msg_wnd.h"
#include "platform/trace.h"
#include "ui/containers.h"
#include "ui/resource_manager.h"

namespace korvale {

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
  CControlUI* overlay = m_pm.FindControl("No_device_Link");
  if (overlay == nullptr) return;
  // Devices held for the first paint are coming, and before the first scan
  // nothing is known: neither is "no device".
  const bool none = VisibleTileCount() == 0 && held_.empty() && !awaitingFirstScan_;
  overlay->SetVisible(none);
  // A device of ours that is present but may not be opened is not "no device".
  const auto denied = none ? ListDeniedNodes() : std::vector<HidDeniedNode>{};
  if (!denied.empty()) Trace("main window: %s may not be opened (permission denied)", denied[0].node.c_str());
  if (CControlUI* title = m_pm.FindControl("no_device_title"))
    title->SetText(denied.empty() ? "no_device_title" : "no_device_denied_title");
  if (CControlUI* hint = m_pm.FindControl("no_device_hint")) {
    std::string text = denied.empty() ? "no_device_hint" : CResourceManager::GetInstance().GetText("no_device_denied_hint");
    if (const auto at = text.find("%s"); !denied.empty() && at != std::string::npos) text.replace(at, 2, denied[0].node);
    hint->SetText(text);
  }
}

void CMainWnd::BringToFront() {
  // Restore, then topmost and 10 ms later not: the renderer raises the window.
  SendMessage(wm::kSysCommand, SC_RESTORE, 0);
}

void CMainWnd::WakeUp() {
  UpdateNoDeviceOverlay();
  SetWirelessPolling(true);
  BringToFront();
}

void CMainWnd::OnTrayNotify(LPARAM mouseMsg) {
  if (mouseMsg == kTrayLButtonUp) {
    UpdateNoDeviceOverlay();
    const bool visible = IsVisible() && !IsMinimized();
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
  // The tray menu is one level: its file's items, each a command of its name.
  const bool indexed = !CResourceManager::GetInstance().GetXmlPath("menu.xml").empty();
  for (const PopupMenuItem& read : LoadPopupMenu(indexed ? "menu.xml" : "XML/menu.xml")) {
    TrayMenuItem item;
    item.separator = read.separator;
    item.name = read.name;
    item.text = read.text;
    item.enabled = read.enabled;
    menuItems_.push_back(std::move(item));
  }
}

namespace {

// Commands of the device entries: kTrayProfileCommand + device × 256 + profile.
constexpr long kTrayProfileCommand = 0x10000;
constexpr long kTrayProfilesPerDevice = 256;

}  // namespace

std::string CMainWnd::DeviceDisplayName(CVarnikUSBDevice* page) const {
  const int at = devices_ ? devices_->IndexOfPage(page) : -1;
  CDeviceOptionUI* tile = at >= 0 ? devices_->TileAt(at) : nullptr;
  if (tile != nullptr && tile->NameLabel() != nullptr) return tile->NameLabel()->GetText();
  return page != nullptr ? page->GetDeviceFolderName() : std::string();
}

std::vector<TrayMenuItem> CMainWnd::TrayDeviceItems() {
  menuDevices_.clear();
  std::vector<TrayMenuItem> items;
  if (!devices_) return items;
  CResourceManager& res = CResourceManager::GetInstance();
  for (int i = 0; i < devices_->PageCount(); ++i) {
    CDeviceOptionUI* tile = devices_->TileAt(i);
    CVarnikUSBDevice* page = devices_->PageAt(i);
    if (tile == nullptr || page == nullptr || !tile->IsVisible()) continue;
    TrayMenuItem device;
    device.name = "tray_device_" + page->GetDeviceFolderName();
    device.text = DeviceDisplayName(page);
    // The battery as the device's power panel last showed it.
    if (CMpDevicePowerUI* panel = devices_->PowerPanelAt(i); panel != nullptr && panel->IsWireless() && panel->HasStatus()) {
      const auto& st = panel->LastStatus();
      device.text += "  " + TranslateTextId("tray_battery", st[power::kLevel]);
      if (st[power::kChargeState] == 1) device.text += " " + res.GetText("tray_charging");
    }
    CProfileList list;
    list.SetFolders(page->UserDataFolder(), page->DefaultProfilePath());
    const long base = kTrayProfileCommand + static_cast<long>(menuDevices_.size()) * kTrayProfilesPerDevice;
    if (list.Read()) {
      for (int p = 0; p < list.Count() && p < kTrayProfilesPerDevice; ++p) {
        TrayMenuItem profile;
        profile.name = "tray_profile";
        profile.text = list.Entries()[static_cast<std::size_t>(p)].name;
        profile.command = base + p;
        profile.checkable = true;
        profile.checked = p == list.Selected();
        device.children.push_back(std::move(profile));
      }
    }
    device.enabled = !device.children.empty();
    menuDevices_.push_back(page);
    items.push_back(std::move(device));
  }
  if (!items.empty()) {
    TrayMenuItem separator;
    separator.separator = true;
    items.push_back(std::move(separator));
  }
  return items;
}

void CMainWnd::CloseMenus() {
  if (IPopupMenus* menus = GetPopupMenus()) menus->Close();
  popupItems_.clear();
  if (tray_ != nullptr) tray_->CloseMenu();
  menuOpen_ = false;
}

void CMainWnd::ShowActionMenu() {
  CloseMenus();
  IPopupMenus* menus = GetPopupMenus();
  if (menus == nullptr) {
    Trace("menu: no renderer shows pop-up menus; the action menu stays closed");
    return;
  }
  if (actionMenu_.empty()) actionMenu_ = LoadPopupMenu(kActionMenuFile);
  if (actionMenu_.empty()) return;  // the loader said why
  popupItems_ = actionMenu_;
  menus->Show(GetHWND(), popupItems_);
}

void CMainWnd::ShowTrayMenu() {
  CloseMenus();
  if (menuItems_.empty()) LoadMenu();
  std::vector<TrayMenuItem> shown = TrayDeviceItems();
  for (std::size_t i = 0; i < menuItems_.size(); ++i) {
    TrayMenuItem item = menuItems_[i];
    // The fixed items answer with their place in menu.xml, whatever comes before them.
    item.command = static_cast<long>(i);
    if (!item.separator) item.text = CResourceManager::GetInstance().GetText(item.text);
    if (item.name == "notify_menu") {
      item.checkable = true;
      item.checked = notices_.Enabled();
    }
    shown.push_back(std::move(item));
  }
  menuOpen_ = true;
  if (tray_ != nullptr) tray_->ShowMenu(GetHWND(), shown);
}

void CMainWnd::ShowWindow(bool show, bool takeFocus) {
  WindowImplBase::ShowWindow(show, takeFocus);
  PassWindowShown();
}

void CMainWnd::PassWindowShown() {
  const bool shown = IsVisible() && !IsMinimized();
  if (devices_) devices_->SetWindowShown(shown);
  if (sync_) sync_->SetWatched(shown);
}

void CMainWnd::HideToTray() {
  CloseChildWindows();
  ShowWindow(false);
  SetWirelessPolling(false);
}

LRESULT CMainWnd::OnSysCommand(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
  const LRESULT r = WindowImplBase::OnSysCommand(msg, wParam, lParam, bHandled);
  PassWindowShown();
  return r;
}

void CMainWnd::Exit() {
  CloseChildWindows();
  exiting_ = true;
  Close();
}

LRESULT CMainWnd::OnClose(UINT, WPARAM, LPARAM, bool& bHandled) {
  if (exiting_ || !trayShown_) {
    bHandled = false;  // the window ends
    return 0;
  }
  HideToTray();
  bHandled = true;
  return 0;
}

void CMainWnd::OnMenuCommand(WPARAM index) {
  if (index >= kPopupMenuCommand) {
    const PopupMenuItem* item = PopupMenuItemAt(popupItems_, index - kPopupMenuCommand);
    if (item == nullptr || !item->enabled) {
      Trace("menu: pop-up command %zu is no item of the menu shown", static_cast<std::size_t>(index - kPopupMenuCommand));
      return;
    }
    const std::string name = item->name;
    popupItems_.clear();  // one choice per menu shown
    // The item acts like the menu command of its name.
    if (const auto route = FindMenuRoute(name))
      Route(*route, MainRouteCall{"menu", name, nullptr, WM_MENU_COMMAND, index, 0});
    else
      Trace("menu: %s does nothing", name.c_str());
    return;
  }
  menuOpen_ = false;
  if (index >= static_cast<WPARAM>(kTrayProfileCommand)) {
    const WPARAM n = index - static_cast<WPARAM>(kTrayProfileCommand);
    const auto device = static_cast<std::size_t>(n / kTrayProfilesPerDevice);
    CVarnikUSBDevice* page = device < menuDevices_.size() ? menuDevices_[device] : nullptr;
    // The device may have gone while the menu was open.
    const int at = page != nullptr && devices_ ? devices_->IndexOfPage(page) : -1;
    if (at < 0 || devices_->TileAt(at) == nullptr || !devices_->TileAt(at)->IsVisible()) {
      Trace("menu: device command %zu names no device", static_cast<std::size_t>(index));
      return;
    }
    menuDevices_.clear();  // one choice per menu shown
    profileCommands_->SwitchDeviceTo(*page, static_cast<int>(n % kTrayProfilesPerDevice));
    return;
  }
  if (index >= menuItems_.size() || menuItems_[index].separator) {
    Trace("menu: command %zu is no item", static_cast<std::size_t>(index));
    return;
  }
  const std::string name = menuItems_[index].name;
  if (name == "exit") {
    Exit();
    return;
  }
  if (name == "notify_menu") {
    notices_.SetEnabled(!notices_.Enabled());
    if (!SettingsStore().WriteDword(kNotificationsSetting, notices_.Enabled() ? 1 : 0))
      Trace("menu: the notifications setting could not be saved");
    return;
  }
  if (const auto route = FindMenuRoute(name)) Route(*route, MainRouteCall{"menu", name, nullptr, WM_MENU_COMMAND, index, 0});
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

}  // namespace korvale
