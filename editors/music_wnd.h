#pragma once
// MusicWnd: the dialog that edits the four audio styles: a tab per style,
// R/G/B level sliders (0..9) for the selected one, and the four names.
// Modal; returns 1 for OK and 0 for close. It edits a copy of the styles.
#include "editors/audio_styles.h"
#include "ui/window.h"

namespace korvale {

class CMusicWnd : public WindowImplBase {
 public:
  static constexpr UiSize kSize{369, 276};
  // dpi: the main window's; unknown values fall back to 96.
  CMusicWnd(AudioStyles styles, int dpi);

  std::string GetWindowClassName() const override { return "MusicWnd"; }
  std::string GetSkinFile() override { return "music.xml"; }
  void InitWindow() override;
  void Notify(TNotifyUI& msg) override;
  void OnClick(TNotifyUI& msg) override;

  const AudioStyles& Styles() const { return styles_; }
  // The style whose tab is selected (the first in order 1..4), 0 when none
  // is; -1 when a tab is missing from the skin.
  int SelectedStyle();
  // Creates the window as a pop-up centred on owner.
  HWND CreateFor(HWND owner);
  static int CheckedDpi(int dpi);

 private:
  void ShowStyleLevels(int style);
  void ShowNames();

  AudioStyles styles_;
  int dpi_;
};

}  // namespace korvale
