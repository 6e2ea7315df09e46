#include "mainwnd/window_commands.h"

#include "devices/varnik_usb_device.h"
#include "hid/device_table.h"
#include "mainwnd/device_list.h"
#include "mainwnd/device_option.h"
#include "platform/trace.h"
#include "windows/about_wnd.h"
#include "windows/color_select_wnd.h"

namespace korvale {

CWindowCommands::CWindowCommands(CMainWnd& wnd) : wnd_(wnd) {
  // Opened from the loop, not inside the click or message: a message sent
  // from another program gets its answer without waiting for a modal window.
  auto later = [alive = alive_](std::function<void()> open) {
    GetUiLoop().Post([alive, open = std::move(open)] {
      if (*alive) open();
    });
  };
  wnd_.SetRouteHandler(MainRoute::kSettingsWindow, [this, later](const MainRouteCall& call) {
    // The settings button opens it beside the window; the tray and the message centred.
    const bool centred = call.type != "click";
    later([this, centred] { OpenSettings(centred); });
  });
  wnd_.SetRouteHandler(MainRoute::kAboutWindow, [this, later](const MainRouteCall&) { later([this] { OpenAbout(); }); });
  wnd_.SetRouteHandler(MainRoute::kSkinWindow, [this, later](const MainRouteCall&) { later([this] { OpenSkin(); }); });
  SkinObserver().AddReceiver(this);
}

CWindowCommands::~CWindowCommands() {
  *alive_ = false;
  for (MainRoute r : {MainRoute::kSettingsWindow, MainRoute::kAboutWindow, MainRoute::kSkinWindow})
    wnd_.SetRouteHandler(r, {});
}

void CWindowCommands::ApplySavedSkin() {
  if (const auto choice = ReadSkinChoice(SkinRecordPath()))
    Receive(SkinChangedParam{choice->useColour, choice->colour, choice->image});
}

int CWindowCommands::Receive(const SkinChangedParam& p) {
  CControlUI* root = wnd_.GetPaintManager().FindControl("root");
  if (root == nullptr) return 0;
  if (p.useColour) {
    root->SetBkColor(p.colour);
    root->SetBkImage("");
  } else {
    root->SetBkColor(0);
    root->SetBkImage(p.image);
  }
  return 1;
}

std::vector<CSetWnd::ModelEntry> CWindowCommands::PresentModels() const {
  std::vector<CSetWnd::ModelEntry> out;
  CDeviceList* list = wnd_.GetDeviceList();
  if (list == nullptr) return out;
  for (int i = 0; i < list->PageCount(); ++i) {
    CControlUI* tile = list->TileAt(i);
    CVarnikUSBDevice* page = list->PageAt(i);
    if (tile == nullptr || page == nullptr || !tile->IsVisible()) continue;
    const int row = page->GetProductRow();
    if (row < 0 || row >= static_cast<int>(kProductCount)) continue;
    out.push_back({kProducts[static_cast<std::size_t>(row)].productKey, kFirmware[static_cast<std::size_t>(row)].version});
  }
  return out;
}

void CWindowCommands::OpenSettings(bool centred) {
  if (wnd_.GetChildWindow(CMainWnd::ChildWindow::kSettings) != 0) return;
  const int scale = wnd_.GetInterfaceScale();
  CSetWnd set;
  set.SetUiScale(scale);
  set.SetMainWindow(wnd_.GetHWND(), wnd_.GetLanguageIndex());
  set.SetModelEntries(PresentModels());
  set.SetUpdateStatusMessage(wnd_.GetUpdateStatusMessage());
  const HWND h = set.Create(wnd_.GetHWND(), "SetWnd", 0x90000000, 0x80,
                            UiRect{0, 0, CSetWnd::kSize.cx, CSetWnd::kSize.cy});
  if (h == 0) return;
  if (centred) {
    set.CenterWindow();
  } else {
    const UiRect m = wnd_.GetWindowRect();
    const int x = m.right - CSetWnd::kSize.cx - 30 * scale / 96, y = m.top + 60 * scale / 96;
    set.MoveWindow(UiRect{x, y, x + CSetWnd::kSize.cx, y + CSetWnd::kSize.cy});
  }
  wnd_.SetChildWindow(CMainWnd::ChildWindow::kSettings, h);
  set.ShowModal();
  wnd_.SetChildWindow(CMainWnd::ChildWindow::kSettings, 0);
  if (IsWindow(h)) set.DestroyWindow();
}

void CWindowCommands::OpenAbout() {
  if (aboutOpen_) return;
  aboutOpen_ = true;
  CAboutWnd about;
  const HWND h = about.Create(wnd_.GetHWND(), "  ", 0x90000000, 0x80,
                              UiRect{0, 0, CAboutWnd::kSize.cx, CAboutWnd::kSize.cy});
  if (h != 0) {
    about.SetVersionLine(BuildVersion());
    about.CenterWindow();
    wnd_.SetChildWindow(CMainWnd::ChildWindow::kToolA, h);
    about.ShowModal();
    wnd_.SetChildWindow(CMainWnd::ChildWindow::kToolA, 0);
    if (IsWindow(h)) about.DestroyWindow();
  }
  aboutOpen_ = false;
}

std::optional<DWORD> CWindowCommands::OpenPalette(DWORD colour) {
  if (paletteOpen_ || wnd_.GetChildWindow(CMainWnd::ChildWindow::kPalette) != 0) return std::nullopt;
  paletteOpen_ = true;
  const auto chosen = PickColour(wnd_.GetHWND(), wnd_.GetInterfaceScale(), colour, false,
                                 [this](HWND h) { wnd_.SetChildWindow(CMainWnd::ChildWindow::kPalette, h); });
  paletteOpen_ = false;
  return chosen;
}

void CWindowCommands::OpenSkin() {
  if (wnd_.GetChildWindow(CMainWnd::ChildWindow::kToolB) != 0) return;
  const HWND h = CSkinFrame::Open(wnd_.GetPaintManager().FindControl("skinbtn"), wnd_.GetHWND());
  wnd_.SetChildWindow(CMainWnd::ChildWindow::kToolB, h);
}

}  // namespace korvale
