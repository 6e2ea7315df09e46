#pragma once
// The main window's key assignment commands: picking a key on the page (a
// mouse keeps at least one left button), the editor's combos, grid, checks
// and buttons, the key captured for the key category, and the download of
// the macros and key tables with its messages.
#include <functional>
#include <string>

#include "editors/macro_handlers.h"
#include "ui/control.h"

namespace korvale {

class CVarnikUSBDevice;
class CKeySetControlUI;

struct KeyHandlerHooks {
  // SetEditState(switching, state): device switching follows state 1 when
  // switching is set; the editor's buttons are enabled for state 0.
  std::function<void(bool switching, int state)> setEditState;
};

class CKeyHandlers {
 public:
  CKeyHandlers(CMacroHandlers& macros, KeyHandlerHooks hooks) : macros_(macros), hooks_(std::move(hooks)) {}

  // True when msg was a key editor command for this page.
  bool HandleKeyEditor(const TNotifyUI& msg, CVarnikUSBDevice* page);
  // "key_" n clicked on the page.
  void SelectKey(CVarnikUSBDevice& page, int key);
  // "key_butt_keysave": the editor's code into the page's key list and profile.
  void Apply(CVarnikUSBDevice& page, CKeySetControlUI& editor);
  // "key_butt_prosave": used macros, then the key tables, then the marks.
  void ApplyKeySettings(CVarnikUSBDevice& page);
  // A key captured for the key category (evdev code); true when it was taken.
  bool CaptureKey(CVarnikUSBDevice* page, uint16_t evdev);

  static CKeySetControlUI* EditorOf(CVarnikUSBDevice& page);

 private:
  void SetEditState(bool switching, int state) {
    if (hooks_.setEditState) hooks_.setEditState(switching, state);
  }
  static bool FnLayer(CVarnikUSBDevice& page);
  void RestoreDefault(CVarnikUSBDevice& page, CKeySetControlUI& editor, int depth);
  void ApplyKeySettings(CVarnikUSBDevice& page, int depth);

  CMacroHandlers& macros_;
  KeyHandlerHooks hooks_;
};

}  // namespace korvale
