#pragma once
// The colour palette window: a colour field, twenty preset colours, twenty
// colours the user collects, red/green/blue numbers and a preview. Modal; the
// caller reads the colour chosen with OK. The selections and the collected
// colours are kept in the palette file ("color_option_info.config").
#include <functional>
#include <optional>
#include <string>

#include "profiles/settings_files.h"
#include "ui/window.h"

namespace korvale {

class CColorPaletteUI;
class COptionUI;

class CColorSelectWnd : public WindowImplBase {
 public:
  static constexpr UiSize kSize{800, 572};
  static constexpr int kSwatches = kPaletteSwatches;
  static constexpr const char* kMultiColourImage = "common/base1.png";

  CColorSelectWnd();

  std::string GetWindowClassName() const override { return "ColorSelectWnd"; }
  std::string GetSkinFile() override { return "PalletDialog.xml"; }
  void InitWindow() override;
  void OnClick(TNotifyUI& msg) override;
  void Notify(TNotifyUI& msg) override;
  LRESULT HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;
  // A close request closes with 0, like the close button.
  LRESULT OnSysCommand(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled) override;

  // 48..192 in steps of 24; anything else is traced and taken as 96.
  void SetUiScale(int dpi);
  int GetUiScale() const { return scale_; }
  // Preview, colour field and numbers show it; OK returns it unless changed.
  void SetCurrentColour(DWORD argb);
  DWORD GetCurrentColour() const { return colour_; }
  // The multi-colour option; hiding it also clears it.
  void ShowMultiColourOption(bool show);
  bool IsMultiColour() const { return multiColour_; }
  // The preview's colour when OK closed the window.
  DWORD GetResultColour() const { return result_; }
  int GetPresetIndex() const { return presetIndex_; }
  int GetUserIndex() const { return userIndex_; }

 private:
  void OnWindowInit();
  void OnSwatchSelected(CControlUI* sender);
  void OnFieldColour();
  void OnNumbers();
  // The selected collected swatch takes the current colour; the preview
  // shows it and the multi-colour choice ends.
  void FillSelectedUserSwatch();
  void ShowNumbers(DWORD colour);
  void SetMultiColour(bool on);
  void LoadPresets(const PaletteState& st);
  void LoadUserSwatches(const PaletteState& st);
  void SavePresets();
  void SaveUserSwatches();
  COptionUI* Preset(int i) const;
  COptionUI* UserSwatch(int i) const;
  CControlUI* Find(const char* name) const;

  CColorPaletteUI* palette_ = nullptr;
  CControlUI* closeBtn_ = nullptr;
  CControlUI* maxBtn_ = nullptr;
  CControlUI* restoreBtn_ = nullptr;
  CControlUI* minBtn_ = nullptr;
  CControlUI* menuBtn_ = nullptr;
  CControlUI* laterBtn_ = nullptr;
  DWORD colour_ = 0xFFFF0000;
  DWORD result_ = 0;
  int presetIndex_ = 4;
  int userIndex_ = 0;
  bool multiColour_ = false;
  int scale_ = 96;
};

// Opens a palette window owned by owner at the owner's scale, showing colour,
// and waits for it. opened (may be empty) hears the window's handle once it
// exists and 0 once it is gone. The colour chosen with OK, else nothing.
std::optional<DWORD> PickColour(HWND owner, int dpi, DWORD colour, bool multiColourOption,
                                const std::function<void(HWND)>& opened);

}  // namespace korvale
