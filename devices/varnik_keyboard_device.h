#pragma once
// The keyboard's page and logic: its key tables as the keyboard reports them,
// the maps from the 170 on-screen keys to the keyboard's own key positions,
// the 40-byte configuration record, the key assignment downloads, the key
// grid's labels and marks, the option controls, and the two listeners for the
// keyboard's event collection (cable side and receiver side).
//
// The lighting preview, the light thread and the custom-colour modes, and the
// macro download, plug in through the hooks marked below.
#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "devices/keyboard_lighting.h"
#include "devices/varnik_usb_device.h"
#include "profiles/device_profiledata.h"
#include "profiles/keyboard_layout.h"

namespace korvale {

class CVarnikKeyboardDevice : public CVarnikUSBDevice {
 public:
  // A UI key without a keyboard position or LED.
  static constexpr int kNone = 255;
  // The UI key whose button is never editable on the Fn layer.
  static constexpr int kFnKey = 110;

  CVarnikKeyboardDevice();
  ~CVarnikKeyboardDevice() override;

  std::string GetClass() const override { return "VarnikKeyboardDevice"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "VarnikKeyboardDevice") || CVarnikUSBDevice::IsClass(cls);
  }

  // ---- base slots the keyboard replaces ----
  void InitPage() override;
  int ApplyLighting() override;
  void OnConnected() override;
  void OnResync() override;
  void PollWirelessStatus() override;
  bool IsWirelessLinkUp() override;
  int ReloadProfile() override;
  void RefreshPage() override;
  void RevalidateMacroKeys() override;
  void RestoreDefaultProfile() override;
  std::vector<int> CollectUsedMacros() override;
  int DownloadMacros(const std::vector<int>& macros) override;
  int WriteKeyAssignments(int profile, const std::vector<KeyRecord>& keys) override;
  int ApplyKeyAssignments(int profile) override;
  int ApplySecondaryKeyAssignments(int profile) override;
  int WriteSecondaryKeyTable(int profile, const std::vector<KeyRecord>& keys) override;
  int WriteDeviceConfig(int profile, int firstByte, int a = 0, int b = 0, int c = 0) override;
  void LoadEffectLists() override;
  void ShowFunctionPage(int type) override;
  void ResolveProfilePaths() override;
  std::string GetProfilePath() const override;
  void SaveProfile() override;
  void SetModelIndex(int index) override;
  void SetLightInfo(const std::array<uint32_t, 5>& words) override;
  void SetAudioLightColours(uint32_t a, uint32_t b, uint32_t c) override;
  std::array<uint32_t, 3> GetAudioLightColours() override;
  void SelectKey(int key) override;
  void SelectSecondaryKey(int key) override;
  bool OpenEventChannel(const std::string& path, int kind) override;
  void CloseEventChannel(int kind) override;

  void PaintLights() override;
  void FeedAudioSpectrum(const int* values, int count) override;
  void FeedAudioColours(const uint32_t* values, int count) override;

  // ---- keyboard slots ----
  virtual void BindPageControls();
  virtual std::array<uint32_t, 5> GetLightInfo() const { return lightInfo_.ToWords(); }
  // The effect state starts over for the current mode (the keyboard changed it).
  virtual void ResetEffectState();
  // A keyboard key position went down (action 1) or up (action 2).
  virtual void OnKeyEvent(int position, int action);
  // A UI key went down or up: reactive effects.
  virtual void ReactToKey(int key, int action);
  // Custom colour mode (20). The group becomes the editor's, the profile's
  // and the one the keyboard shows and writes to; the profile is saved.
  virtual void SetCustomGroup(int group);
  // The profile's colours of its group into the LED table and the keyboard.
  virtual void ReloadCustomColours();
  // Every key lit in the record's colour (on) or dark; written to the
  // keyboard and, when the editor has a group, stored in the profile.
  virtual void FillCustomColours(bool on);
  // The light thread steps the effect into the LED table.
  virtual void StartLightThread();
  virtual void StopLightThread();
  bool IsLightThreadRunning() const { return lightThread_.Running(); }
  CLightThread& LightThread() { return lightThread_; }
  // The lighting engine over the LED table (created on first use).
  CKeyboardLighting& Lighting();


  // ---- operations of the main window and discovery ----
  // BeginConfig, ReadInfo, transfer length, key code table, LED index
  // table, EndConfig; then the key maps. The result of the first failing
  // step, else 1; 0 while the engine is closed.
  int ReadDeviceTables();
  // The active profile byte (also record byte 0), or -1 when nothing was read.
  int ReadDeviceConfig();
  void SetSystemSettings(uint32_t word0, uint32_t word1, uint32_t word2, uint16_t half3);
  std::array<uint32_t, 4> GetSystemSettings() const { return stages_.words; }
  // Replaces the selected key's record (four words and one half word, 18 bytes).
  void SetKeyEntry(const std::array<uint32_t, 4>& words, uint16_t half);
  void SetKeyList(const std::vector<KeyRecord>& list);
  void SetSecondaryKeyList(const std::vector<KeyRecord>& list);
  std::vector<KeyRecord> GetKeyList() const { return keyList_; }
  void RefreshKeyLabels();
  void ResetKeyButtons();
  void MarkChangedKeys();

  bool GetWinLockOption() const;
  bool GetWKeyOption() const;
  bool GetSixKeyOption() const;
  int GetRepeatRate() const;
  int GetVoiceSensitivity() const;
  void ShowPollingRate(int n);
  void ShowRepeatDelay(int n);
  void ShowWinLock(bool on);
  void ShowWKey(bool on);
  void ShowSixKey(bool on);
  void ShowRepeatRate(int n);
  void ShowVoiceSensitivity(int n);
  void ShowFnEditing();
  // The key grid shows and edits the Fn layer (on) or the normal one; kept
  // in the profile ("FnKeysetFlag"), the labels and key enabling follow.
  void SetFnEditing(bool on);

  // ---- state ----
  int KeyToPosition(int key) const;
  int KeyToLed(int key) const;
  const std::array<uint8_t, proto::kKeyboardRecordSize>& ConfigRecord() const { return record_; }
  uint8_t ActiveProfile() const { return activeProfile_; }
  const std::array<uint8_t, proto::kKeyTableSize>& KeyCodeTable() const { return keyCodeTable_; }
  const std::array<uint8_t, proto::kLedTableSize>& LedIndexTable() const { return ledIndexTable_; }
  CKeyboardProfiledata& Profile() { return profile_; }
  bool FnEditing() const { return fnEditing_ != 0; }
  const std::vector<std::string>& MacroNames() const { return macroNames_; }
  const std::vector<int>& EffectValues() const { return effectValues_; }
  // The label shown for a key code (what the key grid's tooltip carries).
  std::string LabelForCode(const AssignmentCode& code);

  // The decoded configuration record.
  struct CurrentConfig {
    uint8_t modeIndex = 0;
    uint8_t brightness = 0;
    uint8_t speed = 0;
    uint8_t direction = 0;
    uint8_t multiColor = 0;
    uint8_t red = 0, green = 0, blue = 0;
    uint8_t zzccLedMode = 0;
    uint8_t customGroup = 0;
  };
  const CurrentConfig& GetCurrentConfig() const { return current_; }

  // The flag an event 0x402 leaves for the next resync, shared by all keyboards.
  static std::atomic<int>& ProfilesChangedFlag();

 protected:
  // Runs on a listener thread: decodes one event code and hands its work to the UI thread.
  void HandleEventCode(uint16_t code) override;

 private:
  void BuildKeyMaps(int positions);
  // True once ReadDeviceTables succeeded; else traces why `what` is refused.
  bool KeyTablesKnown(const char* what) const;
  bool MayWriteCustomColours() const;
  void ApplyKeyEnabling();
  AssignmentCode ShownCode(const KeyRecord& r) const { return fnEditing_ ? r.fn.code : r.normal.code; }

  CKeyboardProfiledata profile_;
  std::array<uint8_t, proto::kKeyTableSize> keyCodeTable_{};
  std::array<uint8_t, proto::kLedTableSize> ledIndexTable_{};
  std::array<uint8_t, proto::kKeyTableSize> thirdTable_{};
  std::array<uint8_t, proto::kKeyboardRecordSize> record_{};
  uint8_t activeProfile_ = 0;
  int positions_ = 0;  // key positions the keyboard reported
  bool keyTablesRead_ = false;
  CurrentConfig current_;
  std::vector<KeyRecord> keyList_;
  std::vector<KeyRecord> secondaryKeyList_;
  KeyboardSystemStages stages_;
  int fnEditing_ = 0;
  std::unique_ptr<CKeyboardLighting> lighting_;
  CLightThread lightThread_;
  std::vector<LedColour> paintFrame_;

 protected:
  void LightTableChanging() override;
  void LightDemandChanged() override;

 private:
  // Tells the engine who needs its frames and the tile whether the paint
  // timer carries the stream.
  void SyncLightDemand();
};

}  // namespace korvale
