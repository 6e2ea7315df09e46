#include "mainwnd/main_wnd.h"

#include "devices/page_hooks.h"
#include "devices/varnik_usb_device.h"
#include "editors/light_control.h"
#include "editors/light_handlers.h"
#include "mainwnd/device_list.h"
#include "platform/trace.h"
#include "ui/controls.h"

namespace korvale {

// ---- synchronised lighting ----

void CMainWnd::SetSyncLightMode(const SyncLightMode& mode) { sync_->SetMode(mode); }

void CMainWnd::SetSyncDevices(std::vector<CVarnikUSBDevice*> devices) { sync_->SetDevices(std::move(devices)); }

std::uint64_t CMainWnd::SyncStepCount() const { return sync_->StepCount(); }

// ---- lighting editor ----

void CMainWnd::OnLightingNotify(const MainRouteCall& call) {
  if (call.notify == nullptr) return;
  if (light_->Handle(*call.notify, CurrentDevice(), AllDevices())) UpdateSyncDevices();
}

void CMainWnd::SetSameModeAvailable(bool available) {
  sameModeAvailable_ = available;
  for (CVarnikUSBDevice* d : AllDevices())
    if (CLightControlUI* editor = LightEditorOf(d)) editor->SetSameModeAvailable(available);
  UpdateSyncDevices();
}

void CMainWnd::UpdateSyncDevices() {
  std::vector<CVarnikUSBDevice*> marked;
  for (CVarnikUSBDevice* d : AllDevices())
    if (d->Comm().lightSync != 0) marked.push_back(d);
  SetSyncDevices(std::move(marked));
}

bool CMainWnd::OnFunctionTab(const std::string& name) {
  // The tabs in the order of the page types 1..8.
  static constexpr const char* kTabs[] = {"deng_Op_tab",  "key_Op_tab",        "macro_Op_tab", "system_Op_tab",
                                          "cursor_Op_tab", "6533_voice_Op_tab", "magic_Op_tab", "Virtual7.1_Op_tab"};
  CVarnikUSBDevice* d = CurrentDevice();
  auto* tab = d != nullptr ? dynamic_cast<COptionUI*>(m_pm.FindSubControlByName(d, name)) : nullptr;
  if (tab == nullptr || !tab->IsSelected()) return false;  // another page's, or the one deselected
  for (std::size_t i = 0; i < std::size(kTabs); ++i) {
    if (EqualsNoCase(name, kTabs[i])) {
      d->ShowFunctionPage(static_cast<int>(i) + 1);
      return true;
    }
  }
  return false;
}

// ---- game lighting ----

void CMainWnd::StoreLightInfo(CVarnikUSBDevice* device, const LightInfo& info) {
  device->SetLightInfo(info.ToWords());
  if (CControlUI* editor = m_pm.FindSubControlByName(device, "LightControlItem"))
    if (auto* hooks = dynamic_cast<ILightEditorHooks*>(editor)) hooks->ShowLightInfo(info);
  device->SaveProfile();
  device->ApplyLighting();
  device->WriteDeviceConfig(0, 0, 1, screen_.cx, screen_.cy);
}

void CMainWnd::DropFromSync(CVarnikUSBDevice* device) {
  // The mark goes too, or the next rebuild of the sync list takes it back.
  device->ReleaseLightSync();
  sync_->RemoveDevice(device);
}

void CMainWnd::OnGameMessage(WPARAM wParam, LPARAM lParam) {
  if (lParam < 0 || lParam > 0xFF) {
    Trace("game lighting: mode %ld out of range, ignored", static_cast<long>(lParam));
    return;
  }
  if (CVarnikUSBDevice* d = CurrentDevice()) {
    DropFromSync(d);
    LightInfo info = d->GetLightInfoRecord();
    const auto mode = static_cast<uint8_t>(lParam);
    if (wParam == 0) {
      info.oldLedmode = info.selectItem >= 1 && info.selectItem <= 20 ? info.selectItem : 1;
      info.selectItem = mode;
      StoreLightInfo(d, info);
    } else if (wParam == 1 || wParam == 2) {
      info.selectItem = mode;
      StoreLightInfo(d, info);
    }
  }
  KillTimer(kTimerGameEnd);
  SetTimer(kTimerGameEnd, 5000);
}

void CMainWnd::EndGameLighting() {
  CVarnikUSBDevice* d = CurrentDevice();
  if (d == nullptr) return;
  DropFromSync(d);
  LightInfo info = d->GetLightInfoRecord();
  info.selectItem = info.oldLedmode;
  StoreLightInfo(d, info);
}

}  // namespace korvale
