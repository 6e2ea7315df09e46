#include "mainwnd/headset_commands.h"

#include "devices/varnik_hs6533_device.h"
#include "mainwnd/main_routes.h"
#include "ui/controls.h"
#include "windows/msg_wnd.h"

namespace korvale {

CHeadsetCommands::CHeadsetCommands(CMainWnd& wnd) : wnd_(wnd) {
  wnd_.SetRouteHandler(MainRoute::kHeadsetControls, [this](const MainRouteCall& call) { OnNotify(call); });
}

CHeadsetCommands::~CHeadsetCommands() { wnd_.SetRouteHandler(MainRoute::kHeadsetControls, {}); }

void CHeadsetCommands::OnNotify(const MainRouteCall& call) {
  auto* hs = dynamic_cast<CVarnikHS6533Device*>(wnd_.CurrentDevice());
  if (hs == nullptr || hs->GetKind() != kKindHeadset) return;
  const std::string& type = call.type;
  const std::string& name = call.name;
  // Grouped options notify when they lose the selection too: only the one chosen counts.
  const auto* option = call.notify != nullptr ? dynamic_cast<const COptionUI*>(call.notify->pSender) : nullptr;
  const bool chosen = option == nullptr || option->IsSelected();
  int n = 0;
  if (type == notify::kSelectChanged) {
    if (EqualsNoCase(name, "magic_enable_option")) {
      hs->ToggleMagicVoice();
    } else if (SplitIndexedName(name, "magic_option_", false, &n)) {
      if (chosen) hs->SetMagicVoiceType(n);
    } else if (SplitIndexedName(name, "6533_eq_option_", false, &n)) {
      if (chosen) hs->SetEqPreset(n);
    } else if (EqualsNoCase(name, "6533_MicIn_option")) {
      hs->ToggleMicMute();
    } else if (EqualsNoCase(name, "6533_MicMoniter_option")) {
      hs->ToggleMonitorMute();
    }
  } else if (type == notify::kValueChanged) {
    if (SplitIndexedName(name, "6533_eq_hz_slider_", false, &n))
      hs->SetEqBand(n);
    else if (EqualsNoCase(name, "6533_MicIn_slider"))
      hs->SetMicLevel();
    else if (EqualsNoCase(name, "6533_MicMoniter_slider"))
      hs->SetMonitorLevel();
  } else if (type == notify::kItemSelect && EqualsNoCase(name, "custom_eq_name_combo")) {
    hs->ApplyCustomEq();
  } else if (type == notify::kClick && EqualsNoCase(name, "hs_EQ_btn_save")) {
    const int r = hs->SaveCustomEq();
    if (r == CVarnikHS6533Device::kEqNameUsed || r == CVarnikHS6533Device::kEqRefused)
      ShowMessage(wnd_.GetHWND(), "", r == CVarnikHS6533Device::kEqNameUsed ? "message_text_5" : "audio_custom_eq_refused",
                  wnd_.GetInterfaceScale(), true, kMsgNotice);
  } else if (type == notify::kClick && EqualsNoCase(name, "hs_EQ_btn_delete")) {
    hs->DeleteCustomEq();
  }
}

}  // namespace korvale
