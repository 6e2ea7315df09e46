#include "editors/magic_control.h"

#include "ui/controls.h"
#include "ui/dialog_builder.h"

namespace korvale {

CControlUI* CMagicControlUI::Find(std::string_view name) const {
  return const_cast<CMagicControlUI*>(this)->FindSubControl(name);
}

void CMagicControlUI::ShowMagicEnabled(bool on) {
  if (auto* o = dynamic_cast<COptionUI*>(Find(magicui::kEnable))) o->Selected(on, false);
  if (CControlUI* kinds = Find(magicui::kKinds)) kinds->SetEnabled(on && usable_);
}

bool CMagicControlUI::IsMagicEnabled() const {
  auto* o = dynamic_cast<COptionUI*>(Find(magicui::kEnable));
  return o != nullptr && o->IsSelected();
}

void CMagicControlUI::ShowMagicKind(int kind) {
  for (int k = 1; k <= 4; ++k)
    if (auto* o = dynamic_cast<COptionUI*>(Find(magicui::kKindPrefix + std::to_string(k)))) o->Selected(false, false);
  shownKind_ = kind >= 1 && kind <= 4 ? kind : 0;
  if (shownKind_ == 0) return;
  if (auto* o = dynamic_cast<COptionUI*>(Find(magicui::kKindPrefix + std::to_string(shownKind_)))) o->Selected(true, false);
}

void CMagicControlUI::EnablePanel(bool enabled, const std::string& reasonId) {
  usable_ = enabled;
  if (CControlUI* o = Find(magicui::kEnable)) o->SetEnabled(enabled);
  if (CControlUI* kinds = Find(magicui::kKinds)) kinds->SetEnabled(enabled && IsMagicEnabled());
  if (CControlUI* l = Find(magicui::kReason)) {
    l->SetText(enabled ? std::string() : reasonId);
    l->SetVisible(!enabled && !reasonId.empty());
  }
}

void RegisterMagicControl() {
  auto create = []() -> CControlUI* { return new CMagicControlUI(); };
  CControlFactory::GetInstance().RegistControl("CMagicControlUI", create);
  CControlFactory::GetInstance().RegistControl("MagicControl", create);
}

}  // namespace korvale
