#include "editors/voice6533_control.h"

#include "ui/controls.h"
#include "ui/dialog_builder.h"

namespace korvale {

namespace {
constexpr int kPresets = 13;
constexpr int kBands = 10;

std::string Indexed(const char* prefix, int n) { return prefix + std::to_string(n); }
}  // namespace

CControlUI* CVoice6533ControlUI::Find(std::string_view name) const {
  return const_cast<CVoice6533ControlUI*>(this)->FindSubControl(name);
}

void CVoice6533ControlUI::ShowEqPreset(int type) {
  for (int t = 1; t <= kPresets; ++t)
    if (auto* o = dynamic_cast<COptionUI*>(Find(Indexed(audioui::kPresetPrefix, t)))) o->Selected(false, false);
  preset_ = type >= 1 && type <= kPresets ? type : 0;
  if (preset_ == 0) return;
  if (auto* o = dynamic_cast<COptionUI*>(Find(Indexed(audioui::kPresetPrefix, preset_)))) o->Selected(true, false);
}

void CVoice6533ControlUI::SetCustomMode(bool on) {
  customMode_ = on;
  if (CControlUI* c = Find(audioui::kCustomLayout)) c->SetEnabled(customMode_ && eqUsable_);
}

void CVoice6533ControlUI::ShowBand(int band, int value) {
  if (band < 0 || band >= kBands) return;
  if (auto* s = dynamic_cast<CSliderUI*>(Find(Indexed(audioui::kBandPrefix, band)))) s->SetValue(value);
}

int CVoice6533ControlUI::GetBand(int band) const {
  if (band < 0 || band >= kBands) return -1;
  auto* s = dynamic_cast<CSliderUI*>(Find(Indexed(audioui::kBandPrefix, band)));
  return s != nullptr ? s->GetValue() : -1;
}

void CVoice6533ControlUI::ShowMicOn(bool on) {
  if (auto* o = dynamic_cast<COptionUI*>(Find(audioui::kMicOption))) o->Selected(on, false);
}

void CVoice6533ControlUI::ShowMonitorOn(bool on) {
  if (auto* o = dynamic_cast<COptionUI*>(Find(audioui::kMonitorOption))) o->Selected(on, false);
}

void CVoice6533ControlUI::ShowMicLevel(int value) {
  if (auto* s = dynamic_cast<CSliderUI*>(Find(audioui::kMicSlider))) s->SetValue(value);
}

int CVoice6533ControlUI::GetMicLevel() const {
  auto* s = dynamic_cast<CSliderUI*>(Find(audioui::kMicSlider));
  return s != nullptr ? s->GetValue() : -1;
}

void CVoice6533ControlUI::ShowMonitorLevel(int value) {
  if (auto* s = dynamic_cast<CSliderUI*>(Find(audioui::kMonitorSlider))) s->SetValue(value);
}

int CVoice6533ControlUI::GetMonitorLevel() const {
  auto* s = dynamic_cast<CSliderUI*>(Find(audioui::kMonitorSlider));
  return s != nullptr ? s->GetValue() : -1;
}

void CVoice6533ControlUI::SetCustomNameText(const std::string& text) {
  if (CControlUI* e = Find(audioui::kCustomEdit)) e->SetText(text);
}

std::string CVoice6533ControlUI::GetCustomNameText() const {
  CControlUI* e = Find(audioui::kCustomEdit);
  return e != nullptr ? std::string(e->GetText()) : std::string();
}

void CVoice6533ControlUI::AddCustomName(const std::string& name) {
  auto* combo = dynamic_cast<CComboUI*>(Find(audioui::kCustomCombo));
  if (combo == nullptr) return;
  auto* item = new CListLabelElementUI();
  item->SetFixedHeight(30);
  // The user's own name, never looked up as a text id.
  item->SetResourceText(false);
  item->SetText(name);
  item->SetUserData(name);
  combo->Add(item);
}

int CVoice6533ControlUI::GetCustomSelection() const {
  auto* combo = dynamic_cast<CComboUI*>(Find(audioui::kCustomCombo));
  return combo != nullptr ? combo->GetCurSel() : -1;
}

int CVoice6533ControlUI::GetCustomCount() const {
  auto* combo = dynamic_cast<CComboUI*>(Find(audioui::kCustomCombo));
  return combo != nullptr ? combo->GetCount() : 0;
}

std::string CVoice6533ControlUI::GetCustomNameAt(int index) const {
  auto* combo = dynamic_cast<CComboUI*>(Find(audioui::kCustomCombo));
  return combo != nullptr ? std::string(combo->GetItemText(index)) : std::string();
}

void CVoice6533ControlUI::SelectCustomEq(int index) {
  if (auto* combo = dynamic_cast<CComboUI*>(Find(audioui::kCustomCombo)))
    if (!combo->SelectItem(index, false, false)) combo->SelectItem(-1, false, false);
  SetCustomNameText("");
}

void CVoice6533ControlUI::RemoveCustomAt(int index) {
  auto* combo = dynamic_cast<CComboUI*>(Find(audioui::kCustomCombo));
  if (combo == nullptr || index < 0 || index >= combo->GetCount()) return;
  combo->RemoveAt(index);
}

void CVoice6533ControlUI::ClearCustomNames() {
  if (auto* combo = dynamic_cast<CComboUI*>(Find(audioui::kCustomCombo))) {
    combo->SelectItem(-1, false, false);
    combo->RemoveAll();
  }
}

void CVoice6533ControlUI::ShowStatus(const std::string& textId) {
  status_ = textId;
  if (CControlUI* l = Find(audioui::kStatus)) {
    l->SetText(textId);
    l->SetVisible(!textId.empty());
  }
  // A group's reason shows only when the status line does not say it already.
  for (const char* name : {audioui::kEqReason, audioui::kMicReason, audioui::kMonitorReason})
    if (CControlUI* l = Find(name)) l->SetVisible(!l->GetText().empty() && std::string(l->GetText()) != status_);
}

void CVoice6533ControlUI::EnableGroup(Group group, bool enabled, const std::string& reasonId) {
  const char* layout = audioui::kEqLayout;
  const char* reason = audioui::kEqReason;
  if (group == Group::kMicrophone) {
    layout = audioui::kMicLayout;
    reason = audioui::kMicReason;
  } else if (group == Group::kMonitoring) {
    layout = audioui::kMonitorLayout;
    reason = audioui::kMonitorReason;
  }
  if (CControlUI* c = Find(layout)) c->SetEnabled(enabled);
  if (group == Group::kEqualiser) {
    eqUsable_ = enabled;
    SetCustomMode(customMode_);
  }
  if (CControlUI* l = Find(reason)) {
    l->SetText(enabled ? std::string() : reasonId);
    l->SetVisible(!enabled && !reasonId.empty() && reasonId != status_);
  }
}

void RegisterVoice6533Control() {
  auto create = []() -> CControlUI* { return new CVoice6533ControlUI(); };
  CControlFactory::GetInstance().RegistControl("CVoice6533ControlUI", create);
  CControlFactory::GetInstance().RegistControl("Voice6533Control", create);
}

}  // namespace korvale
