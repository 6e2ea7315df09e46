#pragma once
// The headset's page. Lighting half: 13 LEDs streamed to the headset as
// output reports, its configuration record, its status and its change
// events. Audio half (hs6533_audio.cpp): the equaliser, microphone and
// monitoring of the audio panel and the voice effects of the magic panel,
// kept in the profile and applied through the audio chip.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "devices/audio_chip.h"
#include "devices/lighting_device.h"
#include "profiles/profile_records.h"

namespace korvale {

class CHs6533Profiledata;
class IAudioPanelHooks;
class IMagicPanelHooks;

class CVarnikHS6533Device : public CVarnikLightingDevice {
 public:
  static constexpr int kCustomEqType = 13;
  static constexpr int kMaxCustomEqs = 20;
  // SaveCustomEq's results.
  static constexpr int kEqSaved = 1;
  static constexpr int kEqNameUsed = 0;
  static constexpr int kEqRefused = -1;

  CVarnikHS6533Device();
  ~CVarnikHS6533Device() override;

  std::string GetClass() const override { return "VarnikHS6533Device"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "VarnikHS6533Device") || CVarnikLightingDevice::IsClass(cls);
  }

  void InitPage() override;
  void OnConnected() override;
  int ReloadProfile() override;
  void RefreshPage() override;

  // The headset's names for the shared steps.
  void StepHeadsetWave() { StepPadWave(); }
  void StepHeadsetGroupFlow() { StepPadGroupFlow(); }
  void StepHeadsetFlow() { StepPadFlow(); }

  // ---- audio ----
  // The chip to use instead of the sound server's; before InitPage (or
  // InitAudio). nullptr: the page has no audio back-end at all.
  void UseAudioChip(std::unique_ptr<IAudioChip> chip);
  IAudioChip* AudioChip() const { return chip_.get(); }
  void InitAudio();
  void ReadAudioState();
  void SetEqPreset(int type);
  void SetEqBand(int band);
  void ApplyCustomEq();
  int SaveCustomEq();
  void DeleteCustomEq();
  void ToggleMicMute();
  void ToggleMonitorMute();
  void SetMicLevel();
  void SetMonitorLevel();
  void ToggleMagicVoice();
  void SetMagicVoiceType(int kind);

  // The same changes with their values given (korvalectl); true when the
  // chip took them. Each saves the profile like the panel's.
  bool ChangeEqBand(int band, int value);
  bool ChangeMicOn(bool on);
  bool ChangeMicLevel(int level);
  bool ChangeMonitorOn(bool on);
  bool ChangeMonitorLevel(int level);

  const HeadsetSystemSetStages& AudioSettings() const { return stages_; }
  const std::vector<int32_t>& EqBands() const { return bands_; }
  const std::vector<std::string>& CustomEqNames() const { return names_; }
  // Looks at the server's endpoints again (what the chip's callback does).
  void AudioServerChanged() { OnAudioChanged(); }
  bool HasAudioEndpoints() const { return output_.has_value() && microphone_.has_value(); }
  // What the audio panel says about the sound server: a text id, "" when fine.
  std::string AudioStatusId() const;

 private:
  CHs6533Profiledata& HsProfile();
  IAudioPanelHooks* AudioPanel() const;
  IMagicPanelHooks* MagicPanel() const;
  bool SelectAudioDevices();
  void ProbeAudioProperties();
  void OnAudioChanged();
  void ReapplyAudio();
  void ShowAudioAvailability();
  void SaveAudioSettings();
  void ShowBands();
  // The audio settings on both panels.
  void ShowAudioValues();
  // Writes the curve (Enable_EQ_GFX, then every band) to the output.
  void WriteEqCurve();
  int Write(bool output, const char* property, int32_t number, float level, int channel = -1);
  std::optional<std::string> Read(bool output, const char* property, int channel = -1);

  std::unique_ptr<IAudioChip> chip_;
  bool chipChosen_ = false;  // UseAudioChip was called (with or without a chip)
  bool audioInit_ = false;
  std::optional<AudioDeviceRecord> output_, microphone_;
  std::array<uint32_t, 3> outputFeatures_{}, micFeatures_{};
  bool micMuted_ = false;
  bool monitorMuted_ = true;
  HeadsetSystemSetStages stages_;
  std::vector<int32_t> bands_;
  std::vector<std::string> names_;
};

}  // namespace korvale
