#pragma once
// The lighting editor of a device page ("LightControlItem"). It only shows
// and reads values: the page's LightInfo record in the effect list, sliders,
// colour boxes, palette, swatches and switches, and the keyboard's audio
// lighting record. Which panels are usable follows the device kind and the
// selected effect through the layout tables in light_control.cpp. Every user
// change is handled by light_handlers.h on behalf of the main window.
//
// Setters never send notifications, so showing a record never looks like a
// user change. A control missing from the skin makes its setter do nothing
// and its getter return 0, -1 or "".
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "devices/page_hooks.h"
#include "profiles/profile_records.h"
#include "ui/containers.h"

namespace korvale {

class CComboUI;
class COptionUI;

// Colour channels of the three colour boxes.
enum class ColourChannel { kRed = 0, kGreen = 1, kBlue = 2 };

// Names of the editor's controls, shared with the handlers and the skin.
namespace lightui {
inline constexpr const char* kEditorName = "LightControlItem";
inline constexpr const char* kModeCombo = "light_combo_modeSelect";
inline constexpr const char* kCustomCombo = "light_combo_custommodeSelect";
inline constexpr const char* kExtraCombo = "light_combo_ZZCCmodeSelect";
inline constexpr const char* kBrightness = "deng_light_slider";
inline constexpr const char* kSpeed = "deng_speed_slider";
inline constexpr const char* kEdits[3] = {"deng_edit_R", "deng_edit_G", "deng_edit_B"};
inline constexpr const char* kPalette = "deng_Color_Pallet";
inline constexpr const char* kSwatchPrefix = "color_option_";
inline constexpr const char* kDisplay = "deng_colordp_btn";
inline constexpr const char* kMultiColour = "deng_7color_check";
inline constexpr const char* kFxLeft = "deng_FXL_check";
inline constexpr const char* kFxRight = "deng_FXR_check";
inline constexpr const char* kSameMode = "deng_same_mode";
inline constexpr const char* kCustomBright = "custom_bright_color_btn";
inline constexpr const char* kCustomOff = "custom_off_color_btn";
inline constexpr const char* kColourTabs = "light_color_tablayout";
inline constexpr const char* kAudioCombo = "light_combo_audiomodeSelect";
inline constexpr const char* kAudioEdits[3] = {"deng_audioedit_R", "deng_audioedit_G", "deng_audioedit_B"};
inline constexpr const char* kAudioPalette = "deng_audioColor_Pallet";
inline constexpr const char* kAudioDisplay = "deng_audiocolordp_btn";
inline constexpr const char* kAudioSwatchPrefix = "audiocolor_option_";
inline constexpr const char* kAudioSevenColour = "deng_7audiocolor_check";
inline constexpr const char* kAudioBackground = "audio_BkColor_check";
inline constexpr const char* kAudioForeground = "audio_FgColor_check";
inline constexpr const char* kAudioColourPanel = "light_audiocolor_layout";
inline constexpr const char* kAudioPalettePanel = "audiocolorpallet_layout";
}  // namespace lightui

// Reads a colour box: leading decimal digits (after blanks and a sign), 0 when
// there are none or the value is negative, at most 255.
uint8_t ParseColourText(std::string_view text);

class CLightControlUI : public CHorizontalLayoutUI, public ILightEditorHooks {
 public:
  std::string GetClass() const override { return "LightControl"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "LightControl") || CHorizontalLayoutUI::IsClass(cls);
  }

  // ---- set-up by the page ----
  void SetDeviceKind(int kind) override;
  int GetDeviceKind() const { return kind_; }
  // One combo item per name (height 30, text and user data the name, a
  // language key, visible per flag); the sliders' maxima.
  void SetEffectList(const std::vector<std::string>& names, const std::vector<int>& visible,
                     int brightnessMax, int speedMax) override;
  void ShowLightInfo(const LightInfo& info) override;
  void SetAudioColours(uint32_t a, uint32_t b, uint32_t c) override { SetAudioLightInfo(a, b, c); }
  // The page asks for the audio record (the colour display's colour taken
  // into the edited colour).
  std::array<uint32_t, 3> GetAudioColours() const override;

  // ---- panels ----
  // Sets the panels for the device kind and this effect index.
  void ApplyLayout(int effect);
  void SetSameModeAvailable(bool available);
  bool GetSameModeAvailable() const { return sameModeAvailable_; }

  // ---- values ----
  void SelectEffect(int index);
  int GetSelectedEffect() const;
  void SelectCustomGroup(int index) override;
  int GetCustomGroup() const override;
  void SelectExtraMode(int index);
  int GetExtraMode() const;
  void SetBrightness(int value);
  int GetBrightness() const;
  void SetSpeed(int value);
  int GetSpeed() const;
  void SetColourText(ColourChannel channel, std::string_view text);
  std::string GetColourText(ColourChannel channel) const;
  void SetPaletteColour(DWORD colour);
  DWORD GetPaletteColour() const;  // 0xFF000000 without a palette
  DWORD GetSwatchColour(int number) const;  // 0 when absent
  void SetColourDisplay(DWORD colour);
  DWORD GetColourDisplay() const;
  void SetMultiColour(bool on);
  bool GetMultiColour() const;
  // true: FXL selected and FXR not; false: the reverse.
  void SetDirection(bool left);
  // 1 FXL, 0 FXR, -1 when neither option exists.
  int GetDirection() const;

  // ---- audio lighting (keyboard) ----
  // Stores and shows the record (a = mode and background, b = foreground and
  // 7-colour flag, low byte of c = which colour is edited). False (traced,
  // nothing changed) when one of the audio controls is missing.
  bool SetAudioLightInfo(uint32_t a, uint32_t b, uint32_t c);
  // The record from the controls; with takeColour the colour display's
  // colour is stored into the colour being edited. Nothing when one of the
  // audio controls is missing (traced).
  std::optional<AudioLightInfo> GetAudioLightInfo(bool takeColour);
  const AudioLightInfo& GetStoredAudioLightInfo() const { return audio_; }
  // Background colour of "audiocolor_option_" + number; nothing without it.
  std::optional<DWORD> GetLightAudioColor(int number) const;
  DWORD GetAudioPaletteColour() const;  // 0xFF000000 without a palette
  std::string GetAudioEditText(int channel) const;

 private:
  CControlUI* Child(std::string_view name) const;
  template <class T>
  T* ChildAs(std::string_view name) const {
    return dynamic_cast<T*>(Child(name));
  }
  void SetChildEnabled(std::string_view name, bool on);
  void SetShown(std::string_view name, bool on);
  void SetDirectionTexts(const char* left, const char* right);
  bool AudioControlsPresent(const char* operation) const;
  static void SelectQuietly(CComboUI* combo, int index, const char* what);

  int kind_ = 0;
  int effect_ = 0;
  bool sameModeAvailable_ = false;
  // The audio record as last stored or read; the page's const getter may
  // bring the edited-colour flag up to date with the options.
  mutable AudioLightInfo audio_;
};

// Registers "LightControl" and "CLightControlUI" with the control factory.
void RegisterLightControl();

}  // namespace korvale
