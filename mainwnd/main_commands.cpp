#include "mainwnd/main_commands.h"

#include "devices/varnik_mouse_device.h"
#include "devices/varnik_usb_device.h"
#include "mainwnd/window_commands.h"
#include "windows/msg_wnd.h"

namespace korvale {

CMainCommands::CMainCommands(CMainWnd& wnd) : wnd_(wnd) {
  wnd_.SetRouteHandler(MainRoute::kMainCommands, [this](const MainRouteCall& call) { OnCommand(call); });
}

CMainCommands::~CMainCommands() {
  *alive_ = false;
  wnd_.SetRouteHandler(MainRoute::kMainCommands, {});
}

bool CMainCommands::Ask(const char* textId) {
  return ShowMessage(wnd_.GetHWND(), "", textId, wnd_.GetInterfaceScale(), true, kMsgConfirm) == 1;
}

void CMainCommands::OnCommand(const MainRouteCall& call) {
  if (call.type != notify::kClick) return;
  if (EqualsNoCase(call.name, "default_btn")) {
    RestoreDefaults();
  } else if (const auto stage = IndexAfterPrefix(call.name, "DPI_color_option_")) {
    // Opened from the loop, not inside the click: the button's page may go
    // (unplugged) while the palette is open.
    GetUiLoop().Post([this, alive = alive_, n = *stage] {
      if (*alive) PickStageColour(n);
    });
  }
}

void CMainCommands::PickStageColour(int stage) {
  auto* mouse = dynamic_cast<CVarnikMouseDevice*>(wnd_.CurrentDevice());
  if (mouse == nullptr || stage >= CVarnikMouseDevice::kStages) return;
  if (mouse->FindSubControl("DPI_color_option_" + std::to_string(stage)) == nullptr) return;
  const std::optional<DWORD> chosen = wnd_.Windows().OpenPalette(mouse->GetDpiColour(stage));
  // The page must still be the one shown: it may have gone while the palette was open.
  if (!chosen || wnd_.CurrentDevice() != mouse) return;
  mouse->SetDpiColour(stage, *chosen);
  std::vector<DpiStage> stages = mouse->GetDpiStages();
  if (static_cast<int>(stages.size()) <= stage) stages.resize(static_cast<std::size_t>(stage) + 1);
  DpiStage& s = stages[static_cast<std::size_t>(stage)];
  s.red = static_cast<uint8_t>(*chosen >> 16);
  s.green = static_cast<uint8_t>(*chosen >> 8);
  s.blue = static_cast<uint8_t>(*chosen);
  mouse->SetDpiStages(stages);
  mouse->SaveProfile();
  const UiSize screen = wnd_.GetScreenSize();
  mouse->WriteDeviceConfig(0, 0, 1, screen.cx, screen.cy);
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
