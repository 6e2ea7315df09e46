#pragma once
// The headset's voice effect panel ("MagicControlItem"): effect on or off and
// its kind. Where the sound server has no voice effects the whole panel is
// disabled with the reason shown.
#include <string>

#include "devices/page_hooks.h"
#include "ui/containers.h"

namespace korvale {

namespace magicui {
inline constexpr const char* kPanelName = "MagicControlItem";
inline constexpr const char* kEnable = "magic_enable_option";
inline constexpr const char* kKinds = "magic_option_layout";
inline constexpr const char* kKindPrefix = "magic_option_";
inline constexpr const char* kReason = "magic_reason";
}  // namespace magicui

class CMagicControlUI : public CHorizontalLayoutUI, public IMagicPanelHooks {
 public:
  std::string GetClass() const override { return "MagicControl"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "MagicControl") || CHorizontalLayoutUI::IsClass(cls);
  }

  void SetDeviceKind(int kind) override { kind_ = kind; }
  int GetDeviceKind() const { return kind_; }
  // Selects the switch without notifying; the kinds follow it.
  void ShowMagicEnabled(bool on) override;
  bool IsMagicEnabled() const override;
  // Deselects every kind, then selects 1..4; the shown kind, 0 for others.
  void ShowMagicKind(int kind) override;
  int GetShownKind() const { return shownKind_; }
  void EnablePanel(bool enabled, const std::string& reasonId) override;

 private:
  CControlUI* Find(std::string_view name) const;
  int kind_ = 0;
  int shownKind_ = 0;
  bool usable_ = true;
};

// Registers the panel with the control factory (tests; the program registers
// it through the shell's list).
void RegisterMagicControl();

}  // namespace korvale
