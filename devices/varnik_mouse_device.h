#pragma once
// The mouse's page and logic: its button table, the map from the eleven
// on-screen buttons to the mouse's own positions, the 71-byte configuration
// record (lighting, five resolution stages, report rate, screen size, sensor
// correction), button downloads, the resolution stage controls, the logo
// lights and the two listeners (cable side and receiver side).
//
// Through the receiver every exchange is preceded by the link check; once
// configuration mode was entered it is always left again.
#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "devices/keyboard_lighting.h"
#include "devices/varnik_usb_device.h"
#include "profiles/device_profiledata.h"
#include "profiles/keyboard_layout.h"

namespace korvale {

class CVarnikMouseDevice : public CVarnikUSBDevice {
 public:
  // A button without a position on the mouse.
  static constexpr int kNone = 170;
  static constexpr int kStages = static_cast<int>(proto::kMouseStageCount);
  static constexpr int kPollingRates = 5;
  // Sensor whose resolution steps widen to 200 above slider 48.
  static constexpr uint16_t kWideStepSensor = 0x3325;
  static constexpr int kWideStepFrom = 48;
  static constexpr int kWideStep = 200;

  CVarnikMouseDevice();
  ~CVarnikMouseDevice() override;

  std::string GetClass() const override { return "VarnikMouseDevice"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "VarnikMouseDevice") || CVarnikUSBDevice::IsClass(cls);
  }

  // ---- base slots the mouse replaces ----
  void InitPage() override;
  int ApplyLighting() override;
  void PaintLights() override;
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
  // (profile, first byte, third, screen width, screen height)
  int WriteDeviceConfig(int profile, int firstByte, int third = 0, int width = 0, int height = 0) override;
  void LoadEffectLists() override;
  void ShowFunctionPage(int type) override;
  void ResolveProfilePaths() override;
  std::string GetProfilePath() const override;
  void SaveProfile() override;
  void SetModelIndex(int index) override;
  void SetLightInfo(const std::array<uint32_t, 5>& words) override;
  void SelectKey(int key) override;
  bool OpenEventChannel(const std::string& path, int kind) override;
  void CloseEventChannel(int kind) override;


  // ---- mouse slots ----
  virtual void BindPageControls();
  virtual std::array<uint32_t, 5> GetLightInfo() const { return lightInfo_.ToWords(); }
  virtual void StepMouseWave();
  virtual void StepMouseFlow();
  virtual void StepMouseKeyFade();

  // ---- operations of the main window, korvalectl and discovery ----
  // BeginConfig, ReadInfo, transfer length, button table, EndConfig; then the
  // button map and the stage control ranges. CMD_OK, or the first failure
  // (CMD_NOT_LINKED for a lost link); 0 while the engine is closed.
  int ReadDeviceTables();
  // The active profile (also record byte 0), or -1 when nothing was read.
  int ReadDeviceConfig();
  // The record WriteDeviceConfig would write now.
  std::array<uint8_t, proto::kMouseRecordSize> BuildConfigRecord(int firstByte, int third, int width,
                                                                 int height) const;

  void SelectDpiStage(int n);
  std::vector<DpiStage> GetDpiStages() const { return dpiStages_; }
  // At most five stages are kept; more are refused with a trace.
  void SetDpiStages(const std::vector<DpiStage>& stages);
  uint32_t GetDpiColour(int i) const;
  void SetDpiColour(int i, uint32_t argb);
  void SetMouseSystemSettings(uint32_t w0, uint32_t w1, uint32_t w2);
  std::array<uint32_t, 3> GetMouseSystemSettings() const { return systemStages_.words; }
  void ShowDpiStageEnabled(int i, bool on);
  bool IsDpiStageEnabled(int i) const;
  void ShowDpiValue(int i, int slider);
  int GetDpiSliderValue(int i) const;
  int GetDpiEditValue(int i) const;
  // The resolution a slider value stands for, and the slider value of a
  // typed resolution (the inverse); both 0-safe before the sensor is known.
  int DpiForSlider(int slider) const;
  int SliderForDpi(int dpi) const;
  void ShowPollingRate(int n);
  int GetPointerSpeed() const;
  bool GetPointerPrecision() const;
  bool GetScrollByPage() const;
  int GetScrollLines() const;
  int GetDoubleClickSpeed() const;
  int GetDoubleClickMaximum() const;
  void ShowScroll(bool byPage, int lines);
  void ShowMouseSettingsPage(int n);

  void SetKeyEntry(const std::array<uint32_t, 4>& words, uint16_t half);
  void SetKeyList(const std::vector<KeyRecord>& list);
  void SetSecondaryKeyList(const std::vector<KeyRecord>& list);
  std::vector<KeyRecord> GetKeyList() const { return keyList_; }
  void MarkChangedKeys();
  void ResetKeyButtons();
  void RefreshKeyLabels();
  void SetKeyTooltip(int i, const std::string& label);
  void RefreshLogoTooltip();

  // ---- state ----
  int ButtonPosition(int button) const;
  const std::array<uint8_t, proto::kMouseRecordSize>& ConfigRecord() const { return record_; }
  uint8_t ActiveProfile() const { return activeProfile_; }
  int ActiveStage() const { return profile_.GetActiveDpiStage(); }
  const std::array<uint8_t, proto::kKeyTableSize>& KeyCodeTable() const { return keyCodeTable_; }
  CMouseProfiledata& Profile() { return profile_; }
  const std::vector<int>& EffectValues() const { return effectValues_; }
  const std::vector<std::string>& MacroNames() const { return macroNames_; }
  uint8_t FadeState(int led) const { return fadeState_[static_cast<std::size_t>(led)]; }
  // One light step of a mode index (false for a mode the mouse has no step
  // of: those play the profile's LED effect list).
  bool RunLightStep(int modeIndex);
  // Ticks of the light thread between two steps of the current mode and speed.
  int LightThreshold() const;
  // The mode's look stays the same once drawn: static, off, and the effect
  // list (the preview shows its first frame).
  bool LightHoldsStill() const;
  // The light thread steps the current mode into the LED table (16 ms ticks,
  // sleeping until the next step is due).
  void StartLightThread();
  void StopLightThread();
  CLightThread& LightThread() { return lightThread_; }
  // A consistent copy of the LED table (the light thread keeps writing it).
  std::vector<LedColour> LedFrame() const;

  struct CurrentConfig {
    uint8_t modeIndex = 0;
    uint8_t brightness = 0;
    uint8_t speed = 0;
    uint8_t multiColor = 0;
    uint8_t red = 0, green = 0, blue = 0;
  };
  const CurrentConfig& GetCurrentConfig() const { return current_; }

 protected:
  // Runs on a listener thread: decodes one event code and hands its work to the UI thread.
  void HandleEventCode(uint16_t code) override;

 private:
  class LightEngine;
  // Configuration mode around body; EndConfig follows whenever BeginConfig
  // succeeded. The first failure is the result.
  template <class Body>
  int InConfig(Body body);
  void BuildButtonMap(int positions);
  void ApplyProfileEvent(uint16_t code);
  std::string ButtonName(int i) const;
  std::string LabelForCode(const AssignmentCode& code);
  void StartFade();
  // The lighting state and the decoded configuration from one LightInfo (light lock held).
  void TakeLightInfo(const LightInfo& info, uint8_t modeBefore);
  void StepEffectList();

  CMouseProfiledata profile_;
  std::array<uint8_t, proto::kKeyTableSize> keyCodeTable_{};
  std::array<uint8_t, proto::kMouseRecordSize> record_{};
  uint8_t activeProfile_ = 0;
  int positions_ = 0;
  CurrentConfig current_;
  std::vector<KeyRecord> keyList_;
  std::vector<KeyRecord> secondaryKeyList_;
  std::vector<DpiStage> dpiStages_;
  MouseSystemStages systemStages_;
  int logoLedIndex_ = -1;
  std::vector<CDeviceKeyButtonUI*> logoLightButtons_;
  CControlUI* logoButton_ = nullptr;
  CControlUI* logoPanel_ = nullptr;
  std::array<uint8_t, kMouseLightCount> fadeState_{};
  uint32_t fadeSeed_ = 0x9E3779B9u;
  // Guards the LED table, the preview state and the levels between the UI
  // thread and the light thread.
  mutable std::mutex lightMutex_;
  std::unique_ptr<LightEngine> lightEngine_;
  CLightThread lightThread_;
  std::vector<LedColour> paintFrame_;

 protected:
  void LightTableChanging() override;
  void LightDemandChanged() override;
};

}  // namespace korvale
