// The headset page's audio half: the settings of the audio and voice effect
// panels, kept in the profile and applied through the audio chip.
//
// Unlike the chip library of the original design, the page never writes a
// default after a failed read, chooses only the headset's own endpoints,
// rounds levels, changes a switch only when the chip took it, and follows
// the sound server as it comes and goes.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "devices/eq_presets.h"
#include "devices/page_hooks.h"
#include "devices/varnik_hs6533_device.h"
#include "platform/trace.h"
#include "profiles/device_profiledata.h"

namespace korvale {

namespace {

constexpr uint32_t kMagicVoiceFeature = 0x20000;
constexpr int kBands = CHs6533Profiledata::kEqBands;
// Reads that only tell whether the chip has a property; nothing is written
// back when one fails.
constexpr std::pair<bool, const char*> kProbed[] = {
    {true, "VirtualSurroundEffectControl"}, {false, "Enable_ENC_LFX"}, {false, "VolumeControl"},
    {true, "Enable_EQ_GFX"}, {true, "Enable_RFX_GFX"}, {false, "MuteControl"}, {false, "VolumeScalarControl"},
    {false, "AAMuteControl"}, {false, "Enable_MAGICVOICE"}, {false, "MagicVoice_Selection"}};

std::optional<int> ParseInt(const std::string& text) {
  int v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec != std::errc() || end == text.data()) return std::nullopt;
  return v;
}

std::optional<double> ParseFraction(const std::string& text) {
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (end == text.c_str() || !std::isfinite(v)) return std::nullopt;
  return v;
}

// A level the chip keeps as a fraction, as the slider shows it.
int Percent(double fraction) { return static_cast<int>(std::lround(std::clamp(fraction, 0.0, 1.0) * 100)); }

std::string BandProperty(int band) { return "EQ_Slider" + std::to_string(band + 1); }

}  // namespace

// ---- set-up ----

void CVarnikHS6533Device::UseAudioChip(std::unique_ptr<IAudioChip> chip) {
  chip_ = std::move(chip);
  chipChosen_ = true;
}

IAudioPanelHooks* CVarnikHS6533Device::AudioPanel() const {
  return FindHooks<IAudioPanelHooks>("Voice6533ControlItem");
}

IMagicPanelHooks* CVarnikHS6533Device::MagicPanel() const { return FindHooks<IMagicPanelHooks>("MagicControlItem"); }

void CVarnikHS6533Device::InitAudio() {
  if (audioInit_) return;
  audioInit_ = true;
  if (auto* p = AudioPanel()) p->SetDeviceKind(kind_);
  if (auto* p = MagicPanel()) p->SetDeviceKind(kind_);
  if (!chipChosen_) chip_ = CreatePulseAudioChip();
  if (chip_ == nullptr) {
    Trace("headset audio: no audio back-end");
    ShowAudioAvailability();
    return;
  }
  // Connecting does not wait for the server: it reports through the callback.
  if (chip_->ConfLibInit() != kAudioOk) Trace("ConfLibInit called failed!");
  chip_->RegisterCallbackFunction([this] { RunOnUi([this] { OnAudioChanged(); }); });
  if (SelectAudioDevices()) {
    ProbeAudioProperties();
    ReapplyAudio();
    ReadAudioState();
  }
  ShowAudioAvailability();
}

bool CVarnikHS6533Device::SelectAudioDevices() {
  output_.reset();
  microphone_.reset();
  if (chip_ == nullptr) return false;
  chip_->CreateDeviceList();
  // Only the headset's own endpoints: never another device as a stand-in.
  const auto pick = [this](int direction, uint32_t type) -> std::optional<AudioDeviceRecord> {
    uint32_t count = 0;
    if (chip_->GetDeviceCount(direction, &count) != kAudioOk) return std::nullopt;
    for (uint32_t i = 0; i < count; ++i) {
      AudioDeviceRecord r;
      if (chip_->GetDeviceById(direction, i, &r) == kAudioOk && r.type == type && r.state == 1) return r;
    }
    return std::nullopt;
  };
  output_ = pick(kAudioOutput, kEndpointHeadsetOutput);
  microphone_ = pick(kAudioMicrophone, kEndpointHeadsetMicrophone);
  const auto features = [this](bool output, std::array<uint32_t, 3>& words) {
    const auto text = Read(output, "GetSupportFeature");
    if (!text) return;
    std::vector<uint32_t> fields;
    std::size_t at = 0;
    while (at <= text->size()) {
      const std::size_t comma = std::min(text->find(',', at), text->size());
      fields.push_back(static_cast<uint32_t>(std::strtoul(text->substr(at, comma - at).c_str(), nullptr, 10)));
      at = comma + 1;
    }
    if (fields.size() < 7) {
      Trace("UpdateAPOAvailable failed!");
      return;
    }
    words = {fields[0], fields[4], fields[6]};
  };
  micFeatures_ = {};
  outputFeatures_ = {};
  if (microphone_) features(false, micFeatures_);
  if (output_) features(true, outputFeatures_);
  return output_.has_value() || microphone_.has_value();
}

void CVarnikHS6533Device::ProbeAudioProperties() {
  for (const auto& [output, name] : kProbed)
    if (!Read(output, name)) Trace("headset audio: %s not available", name);
}

void CVarnikHS6533Device::OnAudioChanged() {
  if (chip_ == nullptr) return;
  const auto oldOutput = output_;
  const auto oldMicrophone = microphone_;
  SelectAudioDevices();
  // The headset (or the server) came back: what lives in the server's
  // modules is gone and is set again; mute and levels the server kept.
  if ((output_ && output_ != oldOutput) || (microphone_ && microphone_ != oldMicrophone)) {
    ReapplyAudio();
    ReadAudioState();
    ShowAudioValues();
  }
  ShowAudioAvailability();
}

void CVarnikHS6533Device::ReapplyAudio() {
  if (output_ && stages_.eqType != 0) WriteEqCurve();
  if (microphone_ && output_ && stages_.micMonitorSelect != 0) {
    const auto muted = Read(false, "AAMuteControl");
    if (muted && ParseInt(*muted).value_or(1) != 0) {
      Write(false, "AAVolumeScalarControl", 0, static_cast<float>(stages_.micMonitorValue) / 100.0f, 0);
      Write(false, "AAMuteControl", 0, 0);
    }
  }
}

void CVarnikHS6533Device::ReadAudioState() {
  if (chip_ == nullptr || !microphone_) return;
  if (auto v = Read(false, "MuteControl"); v && ParseInt(*v)) {
    micMuted_ = *ParseInt(*v) != 0;
    stages_.micInSelect = micMuted_ ? 0 : 1;
  }
  if (auto v = Read(false, "VolumeScalarControl"); v && ParseFraction(*v)) stages_.micInValue = Percent(*ParseFraction(*v));
  if (Read(false, "GetAAMaxVol")) {
    if (auto v = Read(false, "AAMuteControl"); v && ParseInt(*v)) {
      monitorMuted_ = *ParseInt(*v) != 0;
      stages_.micMonitorSelect = monitorMuted_ ? 0 : 1;
    }
    if (auto v = Read(false, "AAVolumeScalarControl", 0); v && ParseFraction(*v))
      stages_.micMonitorValue = Percent(*ParseFraction(*v));
  }
  if ((micFeatures_[0] & kMagicVoiceFeature) != 0)
    if (auto v = Read(false, "Enable_MAGICVOICE"); v && ParseInt(*v)) stages_.magicEnable = *ParseInt(*v) != 0 ? 1 : 0;
  if (auto v = Read(false, "MagicVoice_Selection"); v && ParseInt(*v) && *ParseInt(*v) >= 0 && *ParseInt(*v) <= 3)
    stages_.magicType = *ParseInt(*v) + 1;
}

// ---- profile and panels ----

int CVarnikHS6533Device::ReloadProfile() {
  const int r = CVarnikLightingDevice::ReloadProfile();
  if (r != 1) return r;
  CHs6533Profiledata& p = HsProfile();
  stages_ = p.ReadHeadsetSystemSetStages();
  if (stages_.eqType != kCustomEqType)
    bands_ = p.ReadEqBands(stages_.eqType);
  else if (stages_.customEqSelect >= 0)
    bands_ = p.ReadCustomEqBands(stages_.customEqSelect);
  else
    bands_ = p.ReadUnsavedEqBands();
  bands_.resize(kBands, 0);
  names_ = p.ReadCustomEqNames();
  return r;
}

void CVarnikHS6533Device::RefreshPage() {
  CVarnikLightingDevice::RefreshPage();
  ShowAudioValues();
}

void CVarnikHS6533Device::ShowAudioValues() {
  if (auto* m = MagicPanel()) {
    m->ShowMagicEnabled(stages_.magicEnable != 0);
    m->ShowMagicKind(stages_.magicType);
  }
  if (auto* a = AudioPanel()) {
    a->ShowMicOn(stages_.micInSelect != 0);
    a->ShowMicLevel(stages_.micInValue);
    a->ShowMonitorOn(stages_.micMonitorSelect != 0);
    a->ShowMonitorLevel(stages_.micMonitorValue);
    a->ShowEqPreset(stages_.eqType);
    a->ClearCustomNames();
    for (const std::string& n : names_) a->AddCustomName(n);
    a->SelectCustomEq(stages_.customEqSelect);
    a->SetCustomMode(stages_.eqType == kCustomEqType);
  }
  ShowBands();
  ShowAudioAvailability();
}

void CVarnikHS6533Device::ShowBands() {
  if (auto* a = AudioPanel())
    for (int j = 0; j < kBands && j < static_cast<int>(bands_.size()); ++j) a->ShowBand(j, bands_[static_cast<std::size_t>(j)]);
}

std::string CVarnikHS6533Device::AudioStatusId() const {
  if (chip_ == nullptr) return "audio_status_no_backend";
  switch (chip_->ServerState()) {
    case AudioServerState::kConnecting: return "audio_status_connecting";
    case AudioServerState::kNoServer: return "audio_status_no_server";
    case AudioServerState::kReady: break;
  }
  if (!output_ && !microphone_) return "audio_status_no_headset";
  return {};
}

void CVarnikHS6533Device::ShowAudioAvailability() {
  const std::string status = AudioStatusId();
  const auto feature = [this, &status](AudioFeature f, bool endpoints) -> FeatureSupport {
    if (!status.empty()) return {false, status};
    const FeatureSupport s = chip_->QueryFeature(f);
    if (!s.supported) return s;
    if (!endpoints) return {false, "audio_status_no_headset"};
    return s;
  };
  if (auto* a = AudioPanel()) {
    a->ShowStatus(status);
    using G = IAudioPanelHooks::Group;
    const FeatureSupport eq = feature(AudioFeature::kEqualiser, output_.has_value());
    const FeatureSupport mic = feature(AudioFeature::kMicrophone, microphone_.has_value());
    const FeatureSupport mon = feature(AudioFeature::kMonitoring, microphone_.has_value() && output_.has_value());
    a->EnableGroup(G::kEqualiser, eq.supported, eq.reason);
    a->EnableGroup(G::kMicrophone, mic.supported, mic.reason);
    a->EnableGroup(G::kMonitoring, mon.supported, mon.reason);
  }
  if (auto* m = MagicPanel()) {
    const FeatureSupport fx = feature(AudioFeature::kVoiceEffects, microphone_.has_value());
    m->EnablePanel(fx.supported, fx.reason);
  }
}

void CVarnikHS6533Device::SaveAudioSettings() {
  HsProfile().WriteHeadsetSystemSetStages(stages_);
  SaveProfile();
}

// ---- chip access ----

int CVarnikHS6533Device::Write(bool output, const char* property, int32_t number, float level, int channel) {
  if (chip_ == nullptr) return kAudioNoServer;
  const auto& record = output ? output_ : microphone_;
  if (!record) return kAudioNotHeadset;
  AudioValue v;
  v.number = number;
  v.level = level;
  return chip_->PropertyControl(*record, property, v, channel, true);
}

std::optional<std::string> CVarnikHS6533Device::Read(bool output, const char* property, int channel) {
  if (chip_ == nullptr) return std::nullopt;
  const auto& record = output ? output_ : microphone_;
  if (!record) return std::nullopt;
  AudioValue v;
  if (chip_->PropertyControl(*record, property, v, channel, false) != kAudioOk) return std::nullopt;
  return v.text;
}

void CVarnikHS6533Device::WriteEqCurve() {
  Write(true, "Enable_EQ_GFX", 1, 0);
  for (int j = 0; j < kBands && j < static_cast<int>(bands_.size()); ++j)
    Write(true, BandProperty(j).c_str(), bands_[static_cast<std::size_t>(j)], 0);
}

// ---- equaliser ----

void CVarnikHS6533Device::SetEqPreset(int type) {
  if (type <= 0 || type > kCustomEqType) return;
  IAudioPanelHooks* a = AudioPanel();
  if (type == kCustomEqType) {
    stages_.eqType = kCustomEqType;
    if (a != nullptr) {
      a->ShowEqPreset(kCustomEqType);
      a->SetCustomMode(true);
    }
    ApplyCustomEq();
    SaveAudioSettings();
    return;
  }
  const auto& row = kEqPresets[static_cast<std::size_t>(type - 1)];
  bands_.assign(row.begin(), row.end());
  ShowBands();
  WriteEqCurve();
  stages_.eqType = type;
  if (a != nullptr) {
    a->ShowEqPreset(type);
    a->SetCustomMode(false);
  }
  HsProfile().WriteEqBands(type, bands_);
  SaveAudioSettings();
}

void CVarnikHS6533Device::SetEqBand(int band) {
  IAudioPanelHooks* a = AudioPanel();
  if (a == nullptr) return;
  const int v = a->GetBand(band);
  if (v == -1 && (band < 0 || band >= kBands)) return;
  ChangeEqBand(band, v);
}

bool CVarnikHS6533Device::ChangeEqBand(int band, int value) {
  if (band < 0 || band >= kBands) return false;
  IAudioPanelHooks* a = AudioPanel();
  const bool wasOff = stages_.eqType == 0;
  if (stages_.eqType != kCustomEqType) {
    // A moved slider makes the curve the user's own, not yet saved by name.
    stages_.eqType = kCustomEqType;
    stages_.customEqSelect = -1;
    if (a != nullptr) {
      a->ShowEqPreset(kCustomEqType);
      a->SelectCustomEq(-1);
      a->SetCustomMode(true);
    }
  }
  bands_.resize(kBands, 0);
  bands_[static_cast<std::size_t>(band)] = value;
  if (a != nullptr) a->ShowBand(band, value);
  if (wasOff) Write(true, "Enable_EQ_GFX", 1, 0);
  const bool ok = Write(true, BandProperty(band).c_str(), value, 0) == kAudioOk;
  // What the page now shows is what the profile says: type 13 with this curve.
  if (stages_.customEqSelect < 0) HsProfile().WriteUnsavedEqBands(bands_);
  SaveAudioSettings();
  return ok;
}

void CVarnikHS6533Device::ApplyCustomEq() {
  IAudioPanelHooks* a = AudioPanel();
  const int i = a != nullptr ? a->GetCustomSelection() : -1;
  if (i < 0) return;
  bands_ = HsProfile().ReadCustomEqBands(i);
  bands_.resize(kBands, 0);
  ShowBands();
  WriteEqCurve();
  stages_.customEqSelect = i;
  SaveAudioSettings();
}

int CVarnikHS6533Device::SaveCustomEq() {
  IAudioPanelHooks* a = AudioPanel();
  if (a == nullptr) return kEqRefused;
  CHs6533Profiledata& p = HsProfile();
  const std::string name = a->GetCustomNameText();
  std::vector<int32_t> bands;
  for (int j = 0; j < kBands; ++j) bands.push_back(a->GetBand(j));
  if (name.empty()) {
    const int i = a->GetCustomSelection();
    if (i < 0) return kEqRefused;
    bands_ = bands;
    stages_.customEqSelect = i;
    p.WriteHeadsetSystemSetStages(stages_);
    p.WriteCustomEqBands(i, bands_);
    SaveProfile();
    return kEqSaved;
  }
  const int n = a->GetCustomCount();
  if (n >= kMaxCustomEqs) return kEqRefused;
  for (int i = 0; i < n; ++i)
    if (EqualsNoCase(a->GetCustomNameAt(i), name)) return kEqNameUsed;
  a->AddCustomName(name);
  names_.push_back(name);
  bands_ = bands;
  stages_.customEqSelect = n;
  a->SelectCustomEq(n);
  p.WriteHeadsetSystemSetStages(stages_);
  p.WriteCustomEqBands(n, bands_);
  p.WriteCustomEqNames(names_);
  SaveProfile();
  return kEqSaved;
}

void CVarnikHS6533Device::DeleteCustomEq() {
  IAudioPanelHooks* a = AudioPanel();
  const int i = a != nullptr ? a->GetCustomSelection() : -1;
  if (i < 0) return;
  CHs6533Profiledata& p = HsProfile();
  a->RemoveCustomAt(i);
  // Its band list goes with its name, so the names after it keep theirs.
  p.RemoveCustomEqBands(i);
  const int n = a->GetCustomCount();
  names_.clear();
  for (int k = 0; k < n; ++k) names_.push_back(a->GetCustomNameAt(k));
  p.WriteCustomEqNames(names_);
  if (n >= 1) {
    stages_.customEqSelect = 0;
    a->SelectCustomEq(0);
    bands_ = p.ReadCustomEqBands(0);
  } else {
    stages_.eqType = 1;
    stages_.customEqSelect = 0;
    a->ShowEqPreset(1);
    a->SetCustomMode(false);
    bands_ = p.ReadEqBands(1);
  }
  bands_.resize(kBands, 0);
  ShowBands();
  p.WriteHeadsetSystemSetStages(stages_);
  SaveProfile();
  // The chip follows what the panel now shows.
  if (stages_.eqType != 0) WriteEqCurve();
}

// ---- microphone and monitoring ----

void CVarnikHS6533Device::ToggleMicMute() { ChangeMicOn(micMuted_); }

bool CVarnikHS6533Device::ChangeMicOn(bool on) {
  IAudioPanelHooks* a = AudioPanel();
  if (Write(false, "MuteControl", on ? 0 : 1, 0) != kAudioOk) {
    // Refused: the switch shows what is still in force.
    if (a != nullptr) a->ShowMicOn(!micMuted_);
    return false;
  }
  micMuted_ = !on;
  stages_.micInSelect = on ? 1 : 0;
  if (a != nullptr) a->ShowMicOn(on);
  SaveAudioSettings();
  return true;
}

void CVarnikHS6533Device::SetMicLevel() {
  IAudioPanelHooks* a = AudioPanel();
  const int v = a != nullptr ? a->GetMicLevel() : -1;
  if (v >= 0) ChangeMicLevel(v);
}

bool CVarnikHS6533Device::ChangeMicLevel(int level) {
  IAudioPanelHooks* a = AudioPanel();
  level = std::clamp(level, 0, 100);
  if (Write(false, "VolumeScalarControl", 0, static_cast<float>(level) / 100.0f) != kAudioOk) {
    if (a != nullptr) a->ShowMicLevel(stages_.micInValue);
    return false;
  }
  Read(false, "VolumeControl");
  stages_.micInValue = level;
  if (a != nullptr) a->ShowMicLevel(level);
  SaveAudioSettings();
  return true;
}

void CVarnikHS6533Device::ToggleMonitorMute() { ChangeMonitorOn(monitorMuted_); }

bool CVarnikHS6533Device::ChangeMonitorOn(bool on) {
  IAudioPanelHooks* a = AudioPanel();
  // The loopback starts at the stored level, not at full volume.
  if (on) Write(false, "AAVolumeScalarControl", 0, static_cast<float>(stages_.micMonitorValue) / 100.0f, 0);
  if (Write(false, "AAMuteControl", on ? 0 : 1, 0) != kAudioOk) {
    if (a != nullptr) a->ShowMonitorOn(!monitorMuted_);
    return false;
  }
  monitorMuted_ = !on;
  stages_.micMonitorSelect = on ? 1 : 0;
  if (a != nullptr) a->ShowMonitorOn(on);
  SaveAudioSettings();
  return true;
}

void CVarnikHS6533Device::SetMonitorLevel() {
  IAudioPanelHooks* a = AudioPanel();
  const int v = a != nullptr ? a->GetMonitorLevel() : -1;
  if (v >= 0) ChangeMonitorLevel(v);
}

bool CVarnikHS6533Device::ChangeMonitorLevel(int level) {
  IAudioPanelHooks* a = AudioPanel();
  level = std::clamp(level, 0, 100);
  if (Write(false, "AAVolumeScalarControl", 0, static_cast<float>(level) / 100.0f, 0) != kAudioOk) {
    if (a != nullptr) a->ShowMonitorLevel(stages_.micMonitorValue);
    return false;
  }
  Read(false, "AAVolumeControl", 1);
  stages_.micMonitorValue = level;
  if (a != nullptr) a->ShowMonitorLevel(level);
  SaveAudioSettings();
  return true;
}

// ---- voice effects ----

void CVarnikHS6533Device::ToggleMagicVoice() {
  IMagicPanelHooks* m = MagicPanel();
  if (m == nullptr) return;
  const bool on = m->IsMagicEnabled();
  m->ShowMagicEnabled(on);
  Write(false, "Enable_MAGICVOICE", on ? 1 : 0, 0);
  if (on) Write(false, "Enable_MICECHO", 0, 0);
  stages_.magicEnable = on ? 1 : 0;
  SaveAudioSettings();
}

void CVarnikHS6533Device::SetMagicVoiceType(int kind) {
  if (kind <= 0 || kind > 4) return;
  Write(false, "MagicVoice_Selection", kind - 1, 0);
  stages_.magicType = kind;
  if (auto* m = MagicPanel()) m->ShowMagicKind(kind);
  SaveAudioSettings();
}

}  // namespace korvale
