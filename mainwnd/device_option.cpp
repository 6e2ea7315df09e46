#include "mainwnd/device_option.h"

#include <array>

#include "ui/controls.h"

namespace korvale {

namespace {

constexpr TileIcons kKeyboardIcons = {
    "common/device_ico/kb_device_normal.png", "common/device_ico/kb_device_selected.png",
    "kb_device_name_text", "common/device_ico/kb_device_synchro_selected.png",
    "common/device_ico/kb_device_synchro_normal.png"};
constexpr TileIcons kMouseIcons = {
    "common/device_ico/ms_device_normal.png", "common/device_ico/ms_device_selected.png",
    "ms_device_name_text", "common/device_ico/ms_device_synchro_selected.png",
    "common/device_ico/ms_device_synchro_normal.png"};
constexpr TileIcons kHardPadIcons = {
    "common/device_ico/hard_mp_device_normal.png", "common/device_ico/hard_mp_device_selected.png",
    "hard_mp_device_name_text", "common/device_ico/hard_mp_device_synchro_selected.png",
    "common/device_ico/hard_mp_device_synchro_normal.png"};
constexpr TileIcons kSoftPadIcons = {
    "common/device_ico/soft_mp_device_normal.png", "common/device_ico/soft_mp_device_selected.png",
    "soft_mp_device_name_text", "common/device_ico/soft_mp_device_synchro_selected.png",
    "common/device_ico/soft_mp_device_synchro_normal.png"};
constexpr TileIcons kHeadsetIcons = {
    "common/device_ico/hd_device_normal.png", "common/device_ico/hd_device_selected.png",
    "hd_device_name_text", "common/device_ico/hd_device_synchro_selected.png",
    "common/device_ico/hd_device_synchro_normal.png"};
constexpr TileIcons kHubIcons = {
    "common/device_ico/hub_device_normal.png", "common/device_ico/hub_device_selected.png",
    "hub_device_name_text", "common/device_ico/hub_device_synchro_selected.png",
    "common/device_ico/hub_device_synchro_normal.png"};
constexpr TileIcons kUnknownIcons = {
    "common/device_ico/unknow_device_normal.png", "common/device_ico/unknow_device_selected.png",
    "unknow_device_name_text", "common/device_ico/unknow_device_synchro_selected.png",
    "common/device_ico/unknow_device_synchro_normal.png"};

}  // namespace

const TileIcons* TileIconsFor(int kind, int auxiliary) {
  switch (kind) {
    case 1: return &kKeyboardIcons;
    case 2: return &kMouseIcons;
    case 3:
      if (auxiliary == 0) return &kHardPadIcons;
      if (auxiliary == 1) return &kSoftPadIcons;
      return nullptr;
    case 4:
    case 7: return &kHeadsetIcons;
    case 5: return &kHubIcons;
    default: return &kUnknownIcons;
  }
}

CDeviceOptionUI::CDeviceOptionUI() : icons_(kUnknownIcons) {}

void CDeviceOptionUI::DoEvent(TEventUI& event) {
  if (event.Type == UiEventType::Timer && timerHandler_) {
    // The handler may remove this tile: keep the handler alive while it runs.
    auto handler = timerHandler_;
    handler(static_cast<UINT>(event.wParam));
    return;
  }
  CHorizontalLayoutUI::DoEvent(event);
}

COptionUI* CDeviceOptionUI::SelectOption() {
  if (!lookedUp_) {
    lookedUp_ = true;
    select_ = dynamic_cast<COptionUI*>(FindSubControl("device_select"));
    synchro_ = dynamic_cast<COptionUI*>(FindSubControl("synchro_device_select"));
    name_ = dynamic_cast<CLabelUI*>(FindSubControl("device_select_name"));
  }
  if (synchro_ != nullptr && !synchroHooked_) {
    synchroHooked_ = true;
    synchro_->AddOnNotify([this](TNotifyUI& msg) {
      if (msg.sType == notify::kSelectChanged) UpdateIcons();
      return false;
    });
  }
  return select_;
}

COptionUI* CDeviceOptionUI::SynchroOption() {
  SelectOption();
  return synchro_;
}

CLabelUI* CDeviceOptionUI::NameLabel() {
  SelectOption();
  return name_;
}

bool CDeviceOptionUI::IsSelectedTile() {
  COptionUI* o = SelectOption();
  return o != nullptr && o->IsSelected();
}

bool CDeviceOptionUI::IsSynchroSelected() {
  COptionUI* o = SynchroOption();
  return o != nullptr && o->IsSelected();
}

void CDeviceOptionUI::SetKindAndAuxiliary(int kind, int auxiliary) {
  kind_ = kind;
  auxiliary_ = auxiliary;
  if (const TileIcons* icons = TileIconsFor(kind, auxiliary)) icons_ = *icons;
  UpdateIcons();
}

void CDeviceOptionUI::UpdateIcons() {
  COptionUI* o = SelectOption();
  if (o == nullptr) return;
  const bool synchro = synchro_ != nullptr && synchro_->IsSelected();
  const char* normal = synchro ? icons_.synchroNormal : icons_.normal;
  const char* selected = synchro ? icons_.synchroSelected : icons_.selected;
  o->SetNormalImage(normal);
  o->SetDisabledImage(normal);
  o->SetSelectedImage(selected);
  o->SetToolTip(icons_.toolTip);
}

}  // namespace korvale
