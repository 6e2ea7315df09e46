#pragma once
// What a device page asks of the controls that live in higher layers (the
// editors, the profile list, the power panel). Those controls implement these
// interfaces; the page finds them by skin name and reaches them through a
// dynamic_cast, so a page works (and is tested) with any of them missing.
#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "profiles/profile_records.h"
#include "ui/ui_types.h"

namespace korvale {

// "DeviceProfileItem": the page's profile list.
class IProfileListHooks {
 public:
  virtual ~IProfileListHooks() = default;
  virtual void SetDeviceKind(int kind) = 0;
  virtual void SetFolders(const std::filesystem::path& userFolder,
                          const std::filesystem::path& defaultProfile) = 0;
  virtual void Initialise() = 0;
  virtual void SelectFeatureTab(int tab) = 0;
  virtual std::string GetSelectedUUID() const = 0;
  // Rereads the list from its file (after the device changed profiles).
  virtual void ReloadList() = 0;
};

// "LightControlItem": the lighting editor.
class ILightEditorHooks {
 public:
  virtual ~ILightEditorHooks() = default;
  virtual void SetDeviceKind(int kind) = 0;
  virtual void SetEffectList(const std::vector<std::string>& names, const std::vector<int>& visible,
                             int columns, int rows) = 0;
  virtual void ShowLightInfo(const LightInfo& info) = 0;
  virtual void SetAudioColours(uint32_t a, uint32_t b, uint32_t c) = 0;
  virtual std::array<uint32_t, 3> GetAudioColours() const = 0;
  // The keyboard's custom colour group; -1 when the editor has none.
  virtual void SelectCustomGroup(int /*group*/) {}
  virtual int GetCustomGroup() const { return -1; }
};

// "MacroControlItem": the macro editor.
class IMacroEditorHooks {
 public:
  virtual ~IMacroEditorHooks() = default;
  virtual void SetMacroFolder(const std::filesystem::path& folder) = 0;
  virtual void LoadMacroList() = 0;
  virtual std::vector<std::string> GetMacroNames() const = 0;
};

// "ShootControlItem": the shoot-sequence editor.
class IShootEditorHooks {
 public:
  virtual ~IShootEditorHooks() = default;
  virtual void SetShootFolder(const std::filesystem::path& folder) = 0;
  virtual void SetShootDefaultFolder(const std::filesystem::path& folder) = 0;
  virtual void InitShootEditor() = 0;
  virtual void SelectGun(int gun) = 0;
  virtual void SelectBullet(int bullet) = 0;
};

// "KeySetControlItem": the key assignment editor.
class IKeyEditorHooks {
 public:
  virtual ~IKeyEditorHooks() = default;
  virtual void Initialise() = 0;
  virtual void SetDeviceKind(int kind) = 0;
  virtual void SetMainWindow(HWND hwnd) = 0;
  virtual void SetMacroNames(const std::vector<std::string>& names) = 0;
  virtual void OpenForKey(int key, const KeyRecord& record, bool fnLayer) = 0;
  // The text ID naming a code, or "" when the editor's tables do not know it.
  virtual std::string NameOfCode(const AssignmentCode& code) const = 0;
};

// "Voice6533ControlItem": the headset's audio panel (equaliser, microphone,
// monitoring). Setters never notify; getters give -1, 0 or "" for a missing
// control.
class IAudioPanelHooks {
 public:
  virtual ~IAudioPanelHooks() = default;
  virtual void SetDeviceKind(int kind) = 0;
  virtual void ShowEqPreset(int type) = 0;
  virtual void SetCustomMode(bool on) = 0;
  virtual void ShowBand(int band, int value) = 0;
  virtual int GetBand(int band) const = 0;
  virtual void ShowMicOn(bool on) = 0;
  virtual void ShowMonitorOn(bool on) = 0;
  virtual void ShowMicLevel(int value) = 0;
  virtual int GetMicLevel() const = 0;
  virtual void ShowMonitorLevel(int value) = 0;
  virtual int GetMonitorLevel() const = 0;
  virtual void SetCustomNameText(const std::string& text) = 0;
  virtual std::string GetCustomNameText() const = 0;
  virtual void AddCustomName(const std::string& name) = 0;
  virtual int GetCustomSelection() const = 0;
  virtual int GetCustomCount() const = 0;
  virtual std::string GetCustomNameAt(int index) const = 0;
  virtual void SelectCustomEq(int index) = 0;
  virtual void RemoveCustomAt(int index) = 0;
  virtual void ClearCustomNames() = 0;
  // The sound server's state as a text id ("" hides it).
  virtual void ShowStatus(const std::string& textId) = 0;
  // Which groups can be used; a disabled group shows why (a text id).
  enum class Group { kEqualiser, kMicrophone, kMonitoring };
  virtual void EnableGroup(Group group, bool enabled, const std::string& reasonId) = 0;
};

// "MagicControlItem": the headset's voice effect panel.
class IMagicPanelHooks {
 public:
  virtual ~IMagicPanelHooks() = default;
  virtual void SetDeviceKind(int kind) = 0;
  virtual void ShowMagicEnabled(bool on) = 0;
  virtual bool IsMagicEnabled() const = 0;
  virtual void ShowMagicKind(int kind) = 0;
  // The whole panel usable or not, with a text id saying why not.
  virtual void EnablePanel(bool enabled, const std::string& reasonId) = 0;
};

// The battery panel of a wireless device ("MpDevicePower").
class IPowerDisplayHooks {
 public:
  virtual ~IPowerDisplayHooks() = default;
  virtual void SetWireless(bool wireless) = 0;
  // Byte 0 battery percentage, 1 charge state, 3 receiver flag, 5 phone type.
  virtual void ShowStatus(const std::array<uint8_t, 6>& status) = 0;
  virtual void Refresh() = 0;
};

}  // namespace korvale
