#pragma once
// What the lighting controls of a page do when the user changes them. The
// main window only forwards the notification with the current device and
// every device page; each change follows one pattern: take the page's record,
// change one field, hand it back (which also updates the profile section),
// save the profile, restart the preview and write the lighting to the device.
#include <cstdint>
#include <functional>
#include <optional>
#include <string_view>
#include <vector>

#include "profiles/profile_records.h"
#include "ui/control.h"

namespace korvale {

class CVarnikUSBDevice;
class CLightControlUI;

// The lighting editor of a page, or nullptr.
CLightControlUI* LightEditorOf(CVarnikUSBDevice* page);

// Same-mode command tables: a page's effect index to the shared effect
// (0 breathing, 1 static, 2 blink, 3 spectrum, 4 off) and back.
std::optional<int> SharedEffectOf(int kind, int effect);
std::optional<int> EffectOfShared(int kind, int shared);

// Steps the handlers need from parts that live elsewhere: the keyboard's
// custom colour operations and the synchronised-lighting settings.
struct LightHandlerHooks {
  std::function<void(CVarnikUSBDevice& page, int bright)> fillCustomColours;
  std::function<void(CVarnikUSBDevice& page)> reloadCustomColours;
  std::function<void(int shared, const LightInfo& info)> setSyncMode;
};

class CLightHandlers {
 public:
  explicit CLightHandlers(LightHandlerHooks hooks = {}) : hooks_(std::move(hooks)) {}

  // The last two arguments of every WriteDeviceConfig(0, 0, 1, b, c).
  void SetConfigExtras(int b, int c) {
    extraB_ = b;
    extraC_ = c;
  }

  // Handles a notification of the current page's lighting controls. False
  // when it is not one of them, or when its sender is not on the current
  // page (a stale notification of another page changes nothing).
  bool Handle(const TNotifyUI& msg, CVarnikUSBDevice* current, const std::vector<CVarnikUSBDevice*>& all);

  // ---- one per control ----
  void OnEffectSelected(CVarnikUSBDevice& page, CLightControlUI& editor, int index);
  void OnCustomGroupSelected(CVarnikUSBDevice& page, CLightControlUI& editor, int index);
  void OnExtraModeSelected(CVarnikUSBDevice& page, int index);
  void OnFillCustomColours(CVarnikUSBDevice& page, bool bright);
  void OnBrightness(CVarnikUSBDevice& page, int value);
  void OnSpeed(CVarnikUSBDevice& page, int value);
  void OnColourEdited(CVarnikUSBDevice& page, CLightControlUI& editor, int channel);
  // dragging: a step of a drag across the palette, whose save may wait.
  void OnPaletteColour(CVarnikUSBDevice& page, CLightControlUI& editor, uint32_t colour, bool dragging = false);
  void OnSwatch(CVarnikUSBDevice& page, CLightControlUI& editor, int number);
  void OnMultiColour(CVarnikUSBDevice& page, bool on);
  void OnDirection(CVarnikUSBDevice& page, CLightControlUI& editor, bool left, bool selected);
  void OnAudioState(CVarnikUSBDevice& page, CLightControlUI& editor);
  void OnAudioColourPicked(CVarnikUSBDevice& page, CLightControlUI& editor, uint32_t colour,
                           bool dragging = false);
  void OnAudioSwatch(CVarnikUSBDevice& page, CLightControlUI& editor, int number);
  void OnAudioColourEdited(CVarnikUSBDevice& page, CLightControlUI& editor, int channel);
  // The current page's effect on every page whose primary engine is open.
  // False (nothing changed) when the effect has no shared counterpart.
  bool ApplySameMode(CVarnikUSBDevice& current, const std::vector<CVarnikUSBDevice*>& all);

 private:
  // SetLightInfo, SaveProfile, ApplyLighting (unless skipped), WriteDeviceConfig.
  // During a drag the save is the page's coalesced one.
  int Store(CVarnikUSBDevice& page, const LightInfo& info, bool apply = true, bool dragging = false);
  void StoreAudio(CVarnikUSBDevice& page, const AudioLightInfo& rec, bool dragging = false);

  LightHandlerHooks hooks_;
  int extraB_ = 0;
  int extraC_ = 0;
};

}  // namespace korvale
