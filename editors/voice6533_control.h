#pragma once
// The headset's audio panel ("Voice6533ControlItem"): equaliser presets, ten
// band sliders, the user's custom equalisers, microphone and monitoring, and
// a line saying what the sound server can and cannot do. It only shows and
// reads values; the headset page's audio operations act on them.
#include <string>

#include "devices/page_hooks.h"
#include "ui/containers.h"

namespace korvale {

namespace audioui {
inline constexpr const char* kPanelName = "Voice6533ControlItem";
inline constexpr const char* kPresetPrefix = "6533_eq_option_";
inline constexpr const char* kBandPrefix = "6533_eq_hz_slider_";
inline constexpr const char* kCustomLayout = "custom_eq_option_layout";
inline constexpr const char* kCustomCombo = "custom_eq_name_combo";
inline constexpr const char* kCustomEdit = "custom_eq_name_edit";
inline constexpr const char* kMicOption = "6533_MicIn_option";
inline constexpr const char* kMicSlider = "6533_MicIn_slider";
inline constexpr const char* kMonitorOption = "6533_MicMoniter_option";
inline constexpr const char* kMonitorSlider = "6533_MicMoniter_slider";
inline constexpr const char* kStatus = "audio_status_label";
// Each group's controls and the label saying why it is off.
inline constexpr const char* kEqLayout = "6533_eq_layout";
inline constexpr const char* kEqReason = "6533_eq_reason";
inline constexpr const char* kMicLayout = "6533_mic_layout";
inline constexpr const char* kMicReason = "6533_mic_reason";
inline constexpr const char* kMonitorLayout = "6533_monitor_layout";
inline constexpr const char* kMonitorReason = "6533_monitor_reason";
}  // namespace audioui

class CVoice6533ControlUI : public CHorizontalLayoutUI, public IAudioPanelHooks {
 public:
  std::string GetClass() const override { return "Voice6533Control"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "Voice6533Control") || CHorizontalLayoutUI::IsClass(cls);
  }

  void SetDeviceKind(int kind) override { kind_ = kind; }
  int GetDeviceKind() const { return kind_; }
  // Deselects every preset, then selects 1..13; the shown type, 0 for others.
  void ShowEqPreset(int type) override;
  int GetShownPreset() const { return preset_; }
  void SetCustomMode(bool on) override;
  void ShowBand(int band, int value) override;
  int GetBand(int band) const override;
  void ShowMicOn(bool on) override;
  void ShowMonitorOn(bool on) override;
  void ShowMicLevel(int value) override;
  int GetMicLevel() const override;
  void ShowMonitorLevel(int value) override;
  int GetMonitorLevel() const override;
  void SetCustomNameText(const std::string& text) override;
  std::string GetCustomNameText() const override;
  void AddCustomName(const std::string& name) override;
  int GetCustomSelection() const override;
  int GetCustomCount() const override;
  std::string GetCustomNameAt(int index) const override;
  void SelectCustomEq(int index) override;
  void RemoveCustomAt(int index) override;
  void ClearCustomNames() override;
  void ShowStatus(const std::string& textId) override;
  void EnableGroup(Group group, bool enabled, const std::string& reasonId) override;

 private:
  CControlUI* Find(std::string_view name) const;
  int kind_ = 0;
  int preset_ = 0;
  bool customMode_ = false;
  bool eqUsable_ = true;
  std::string status_;  // the status line's text id
};

// Registers the panel with the control factory (tests; the program registers
// it through the shell's list).
void RegisterVoice6533Control();

}  // namespace korvale
