#include "mainwnd/main_commands.h"

#include "devices/varnik_usb_device.h"
#include "windows/msg_wnd.h"

namespace korvale {

CMainCommands::CMainCommands(CMainWnd& wnd) : wnd_(wnd) {
  wnd_.SetRouteHandler(MainRoute::kMainCommands, [this](const MainRouteCall& call) { OnCommand(call); });
}

CMainCommands::~CMainCommands() { wnd_.SetRouteHandler(MainRoute::kMainCommands, {}); }

bool CMainCommands::Ask(const char* textId) {
  return ShowMessage(wnd_.GetHWND(), "", textId, wnd_.GetInterfaceScale(), true, kMsgConfirm) == 1;
}

void CMainCommands::OnCommand(const MainRouteCall& call) {
  if (call.type == notify::kClick && EqualsNoCase(call.name, "default_btn")) RestoreDefaults();
}

void CMainCommands::RestoreDefaults() {
  CVarnikUSBDevice* page = wnd_.CurrentDevice();
  if (page == nullptr || !Ask("message_text_22")) return;
  page->RestoreDefaultProfile();
  page->ApplyKeyAssignments(0);
  const UiSize screen = wnd_.GetScreenSize();
  page->WriteDeviceConfig(0, 0, 1, screen.cx, screen.cy);
}

}  // namespace korvale
