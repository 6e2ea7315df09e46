#include "devices/lighting_device.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "devices/light_tables.h"
#include "devices/preview_tables.h"
#include "devices/whole_device_effects.h"
#include "devices/varnik_keyboard_device.h"
#include "platform/thread_name.h"
#include "platform/trace.h"
#include "profiles/json_file.h"
#include "profiles/profile_list.h"
#include "profiles/settings_files.h"
#include "ui/custom_controls.h"

namespace korvale {

namespace {

constexpr int kGroups = 7;
// Group g lights the mirrored pair (g + 1, 14 - g); LED 0 is in no group.
constexpr std::array<std::array<int, 2>, kGroups> kGroupPairs = {
    {{1, 14}, {2, 13}, {3, 12}, {4, 11}, {5, 10}, {6, 9}, {7, 8}}};
// The group flow rotates only the first flags.
constexpr int kGroupFlags = 8;
constexpr int kWaveLength = 96;
constexpr std::array<int, 5> kStepTicks = {8, 6, 4, 2, 1};
// The headset's LED halves: LEDs 0-6 and 7-12.
constexpr std::size_t kFirstHalfLeds = 7;

int Brightness(const LightInfo& info) { return preview::kBrightness[std::min<uint8_t>(info.light, 4)]; }

LedColour WheelColour(int hue, int intensity) {
  const auto& w = lightfx::kWheel[static_cast<std::size_t>(hue) % lightfx::kWheel.size()];
  return {w.red, w.green, w.blue, static_cast<uint8_t>(intensity)};
}

// A channel as the headset takes it: scaled by the intensity, capped.
uint8_t LedValue(uint8_t channel, uint8_t intensity) {
  const auto v = static_cast<uint16_t>(channel * intensity / 256);
  return static_cast<uint8_t>(std::min<uint16_t>(v, proto::kHeadsetLedCap));
}

}  // namespace

CVarnikLightingDevice::CVarnikLightingDevice(int kind, const Facts& facts,
                                             std::unique_ptr<CBasicProfiledata> profile)
    : facts_(facts), profile_(std::move(profile)) {
  kind_ = kind;
}

CVarnikLightingDevice::~CVarnikLightingDevice() {
  FlushProfileSave();
  StopLightThread();
  StopListener();
}

// ---- page binding ----

void CVarnikLightingDevice::InitPage() { BindPageControls(); }

void CVarnikLightingDevice::BindPageControls() {
  if (pageXmlPath_.empty()) {
    ResetToEmptyPage();
    return;
  }
  auto* panel = dynamic_cast<CContainerUI*>(FindChild(facts_.panelName));
  if (panel == nullptr) return;
  BindButtons(panel);
  BindEditors();
}

void CVarnikLightingDevice::LightTableChanging() {
  // The thread writes into the table: it may not outlive it.
  lightThread_.Stop();
}

// ---- profile ----

void CVarnikLightingDevice::ResolveProfilePaths() {
  const auto folder = UserDataFolder();
  profile_->SetDefaultPath(DefaultProfilePath());
  const auto file = ProfileFilePath(folder, profileName_);
  if (file.empty()) {
    Trace("%s: profile name \"%s\" is not a plain file name", facts_.name, profileName_.c_str());
    return;
  }
  profile_->SetFilePath(file);
  profile_->SetLightConfigPath(folder / (lightConfigName_ + ".config"));
}

std::string CVarnikLightingDevice::GetProfilePath() const { return profile_->GetFilePath().string(); }

void CVarnikLightingDevice::SaveProfile() { profile_->Save(); }

void CVarnikLightingDevice::SetModelIndex(int index) {
  modelIndex_ = index;
  profile_->SetDeviceIndex(0);
}

int CVarnikLightingDevice::ReloadProfile() {
  // The page works on the profile its folder's list names (made on a first start).
  if (profileName_.empty() && !deviceFolderName_.empty()) {
    if (auto current = CurrentProfile(deviceFolderName_)) profileName_ = current->uuid;
  }
  if (ProfileFilePath(UserDataFolder(), profileName_).empty()) return 0;
  ResolveProfilePaths();
  profile_->Load(profile_->GetFilePath());
  ApplyLighting();
  return 1;
}

void CVarnikLightingDevice::RestoreDefaultProfile() {
  const auto file = profile_->GetFilePath();
  profile_->Load(DefaultProfilePath());
  ApplyLighting();
  // The defaults replace the current profile's content, in the current file.
  profile_->SetFilePath(file);
  SaveProfile();
  RefreshPage();
}

void CVarnikLightingDevice::RefreshPage() {
  LoadEffectLists();
  if (auto* editor = FindHooks<ILightEditorHooks>("LightControlItem")) editor->ShowLightInfo(lightInfo_);
}

void CVarnikLightingDevice::LoadEffectLists() { LoadStandardEffectLists(); }

void CVarnikLightingDevice::SetLightInfo(const std::array<uint32_t, 5>& words) {
  {
    std::lock_guard lk(lightLock_);
    lightInfo_ = LightInfo::FromWords(words);
    stillDrawn_ = false;
  }
  profile_->WriteLightInfo(lightInfo_);
  lightThread_.Nudge();
}

void CVarnikLightingDevice::SetLedColour(int led, uint32_t packed) {
  {
    std::lock_guard lk(lightLock_);
    stillDrawn_ = false;
  }
  CVarnikUSBDevice::SetLedColour(led, packed);
}

std::array<uint32_t, 5> CVarnikLightingDevice::GetLightInfo() const {
  std::lock_guard lk(lightLock_);
  return lightInfo_.ToWords();
}

// ---- lighting ----

void CVarnikLightingDevice::TakeModeLocked(uint8_t mode) {
  stillDrawn_ = false;  // every caller brings a new look
  const bool changed = config_[kCfgMode] != mode;
  config_[kCfgMode] = mode;
  if (!changed) return;
  preview_ = {};
  count_ = 0;
  flowCounter_ = 0;
  ClearLevels();
  // The flows only move lit levels: one pulse starts them, as on the mouse.
  if (mode == kModeFlow || mode == kModeGroupFlow) levels_[kTriggerBase] = 1;
}

int CVarnikLightingDevice::ApplyLighting() {
  const LightInfo info = profile_->ReadLightInfo();
  profile_->LoadLightConfig(profile_->GetLightConfigPath());
  auto effects = profile_->ReadLedEffects();
  auto custom = profile_->ReadLightList();
  {
    std::lock_guard lk(lightLock_);
    lightInfo_ = info;
    TakeModeLocked(info.selectItem);
    config_[kCfgBrightness] = info.light;
    config_[kCfgSpeed] = info.speed;
    config_[kCfgDirection] = info.fx;
    config_[kCfgMultiColor] = info.multiColor;
    config_[kCfgRed] = info.red;
    config_[kCfgRed + 1] = info.green;
    config_[kCfgRed + 2] = info.blue;
    customTable_ = std::move(custom);
    effectList_ = std::move(effects);
    effectStep_ = 0;
    effectStepStartMs_ = tickMs_;
  }
  if (notify_) notify_();
  return 1;
}

void CVarnikLightingDevice::TriggerFlaggedLeds() {
  const int leds = std::min(lightCount_, kLevelLeds);
  for (int i = 0; i < leds && i < kTriggerFlags; ++i)
    if (levels_[static_cast<std::size_t>(kTriggerBase + i)] != 0)
      levels_[static_cast<std::size_t>(kLevelBase + i)] = 255;
}

void CVarnikLightingDevice::StepPadWave() {
  const int dir = lightInfo_.fx;
  const int s = Brightness(lightInfo_);
  const std::size_t n = ledTable_.size();
  if (lightInfo_.multiColor) {
    preview_.step = wholefx::Cycle(dir, lightfx::kHues, preview_.step, 1);
    int h = preview_.step + 1;
    for (std::size_t i = 0; i < n; ++i) {
      ledTable_[i] = WheelColour(h, s);
      h = (h + facts_.waveHueSpacing) % lightfx::kHues;
    }
    return;
  }
  preview_.step = wholefx::Cycle(dir, kWaveLength, preview_.step, facts_.waveStep);
  int w = (preview_.step + facts_.waveStartOffset) % kWaveLength;
  for (std::size_t i = 0; i < n; ++i) {
    ledTable_[i] = {lightInfo_.red, lightInfo_.green, lightInfo_.blue,
                    static_cast<uint8_t>(s * lightfx::kWave[static_cast<std::size_t>(w)] / 256)};
    w = (w + facts_.waveSpacing) % kWaveLength;
  }
}

void CVarnikLightingDevice::StepPadGroupFlow() { FlowLocked(true); }
void CVarnikLightingDevice::StepPadFlow() { FlowLocked(false); }

void CVarnikLightingDevice::FlowLocked(bool grouped) {
  const int dir = lightInfo_.fx;
  const int s = Brightness(lightInfo_);
  const int leds = static_cast<int>(ledTable_.size());
  preview_.step = wholefx::Cycle(dir, lightfx::kHues, preview_.step, 1);
  if (flowCounter_ >= 2) {
    flowCounter_ = 0;
    TriggerFlaggedLeds();
    if (grouped) {
      auto first = levels_.begin() + kTriggerBase;
      auto last = first + kGroupFlags;
      // Opposite to the direction: forward moves flag 0 to flag 7.
      if (dir != 0)
        std::rotate(first, first + 1, last);
      else
        std::rotate(first, last - 1, last);
    } else {
      RotateTriggers(dir);
    }
  }
  ++flowCounter_;
  auto colourFor = [&](int firstLed) {
    if (!lightInfo_.multiColor) return LedColour{lightInfo_.red, lightInfo_.green, lightInfo_.blue, 0};
    preview_.step = static_cast<uint8_t>(preview_.step + 12);
    // While the pulse is at the start, a unit keeps the colour it has.
    const int reference = dir != 0 ? Level(kLevelBase) : Level(kLevelBase + leds - 1);
    if (reference != 0 && firstLed < leds) return ledTable_[static_cast<std::size_t>(firstLed)];
    return WheelColour(preview_.step, 0);
  };
  const int units = grouped ? kGroups : leds;
  for (int u = 0; u < units; ++u) {
    const int level = DecayLevel(u, lightInfo_.selectItem);
    const int firstLed = grouped ? kGroupPairs[static_cast<std::size_t>(u)][0] : u;
    LedColour c = colourFor(firstLed);
    c.alpha = static_cast<uint8_t>(s * level / 256);
    if (!grouped) {
      ledTable_[static_cast<std::size_t>(u)] = c;
      continue;
    }
    for (int led : kGroupPairs[static_cast<std::size_t>(u)])
      if (led < leds) ledTable_[static_cast<std::size_t>(led)] = c;  // the headset has 13
  }
}

int CVarnikLightingDevice::ThresholdLocked() const {
  return kStepTicks[std::min<std::size_t>(config_[kCfgSpeed], kStepTicks.size() - 1)];
}

void CVarnikLightingDevice::ModeStepLocked() {
  switch (config_[kCfgMode]) {
    case kModeWave: StepPadWave(); break;
    case kModeSpectrum: StepSpectrum(); break;
    case kModeBreathing: StepBreathing(); break;
    case kModeStatic: StepStatic(); break;
    case kModeBlink: StepBlink(); break;
    case kModeFlow: StepPadFlow(); break;
    case kModeGroupFlow: StepPadGroupFlow(); break;
    case kModeOff: StepOff(); break;
    default: StepEffectListLocked(); break;
  }
}

// The user's effect list: each step shows its colour at its brightness for
// its time, then the next one; an empty list is dark.
void CVarnikLightingDevice::StepEffectListLocked() {
  if (effectList_.empty()) {
    StepOff();
    return;
  }
  if (effectStep_ >= effectList_.size()) effectStep_ = 0;
  const LedEffectStep& step = effectList_[effectStep_];
  if (tickMs_ - effectStepStartMs_ >= static_cast<uint64_t>(std::max(step.time, 0))) {
    effectStep_ = (effectStep_ + 1) % effectList_.size();
    effectStepStartMs_ = tickMs_;
  }
  const LedEffectStep& now = effectList_[effectStep_];
  FillAllLeds({now.red, now.green, now.blue, preview::kBrightness[std::min<uint8_t>(now.brightness, 4)]});
}

bool CVarnikLightingDevice::StillLocked() const {
  const uint8_t mode = config_[kCfgMode];
  if (mode == kModeStatic || mode == kModeOff) return true;
  return (mode == kModeUser || mode > kModeOff) && effectList_.size() <= 1;
}

bool CVarnikLightingDevice::StepLocked() {
  // The still look stands: the step is as good as done.
  if (stillDrawn_ && StillLocked()) return true;
  const uint8_t mode = config_[kCfgMode];
  if (mode == kModeUser || mode > kModeOff) {
    StepEffectListLocked();  // every tick
    count_ = 0;
  } else if (++count_ >= ThresholdLocked()) {
    ModeStepLocked();
    count_ = 0;
  } else {
    return false;
  }
  stillDrawn_ = StillLocked();
  return true;
}

void CVarnikLightingDevice::SetChangeNotifier(std::function<void()> notify) {
  std::lock_guard lk(lightLock_);
  notify_ = std::move(notify);
}

int CVarnikLightingDevice::TicksUntilDue() const {
  std::lock_guard lk(lightLock_);
  const uint8_t mode = config_[kCfgMode];
  // A still look once drawn needs no step; only the stream has a pace then.
  constexpr int kNoStepDue = 1 << 16;
  int due = stillDrawn_ && StillLocked()                     ? kNoStepDue
            : (mode == kModeUser || mode > kModeOff) ? lightfx::kFrameTicks
                                                     : std::max(lightfx::kFrameTicks, ThresholdLocked() - count_);
  if (facts_.streamsLeds) {
    const auto ahead = streamDueMs_ > tickMs_ ? streamDueMs_ - tickMs_ : 0;
    due = std::min<int>(due, std::max<int>(1, static_cast<int>((ahead + lightfx::kTickMs - 1) / lightfx::kTickMs)));
  }
  return due;
}

bool CVarnikLightingDevice::OutputWanted() const { return PreviewShown() || StreamsLeds(); }

bool CVarnikLightingDevice::HoldsStill() const {
  // The stream goes on at its pace, still look or not.
  if (StreamsLeds()) return false;
  std::lock_guard lk(lightLock_);
  return StillLocked();
}

void CVarnikLightingDevice::LightDemandChanged() { lightThread_.Nudge(); }

ILightEngine::Stepped CVarnikLightingDevice::Advance(int ticks) {
  std::vector<LedColour> frame;
  Stepped r;
  {
    std::lock_guard lk(lightLock_);
    const int full = lightfx::ReplayedTicks(ticks);
    if (ticks > full) {
      count_ = std::min(count_ + ticks - full, 1 << 20);
      tickMs_ += static_cast<uint64_t>(ticks - full) * lightfx::kTickMs;
    }
    for (int t = 0; t < full; ++t) {
      tickMs_ += lightfx::kTickMs;
      r.stepped = StepLocked() || r.stepped;
    }
    // Against the frame last reported: writes between steps count as well.
    r.changed = reportedFrame_ != ledTable_;
    if (r.changed) reportedFrame_ = ledTable_;
    if (facts_.streamsLeds && StreamDueLocked()) {
      // Frames keep a 50 ms pace on average even though ticks are 16 ms;
      // after a stall the pace starts over instead of catching up.
      streamDueMs_ += lightfx::kStreamIntervalMs;
      if (streamDueMs_ <= tickMs_) streamDueMs_ = tickMs_ + lightfx::kStreamIntervalMs;
      if (lightingControlActive_) frame = ledTable_;
    }
  }
  if (!frame.empty()) StreamFrame(frame);
  return r;
}

std::vector<LedColour> CVarnikLightingDevice::Frame() const {
  std::lock_guard lk(lightLock_);
  return ledTable_;
}

std::array<uint8_t, CVarnikLightingDevice::kConfigSize> CVarnikLightingDevice::Config() const {
  std::lock_guard lk(lightLock_);
  return config_;
}

void CVarnikLightingDevice::StartLightThread() {
  if (ledTable_.empty()) return;
  lightThread_.SetName(facts_.streamsLeds ? "kv-light-hs" : "kv-light-pad");
  lightThread_.SetFrameHook([this] { LightFrameWritten(); });
  lightThread_.Start(*this, &comm_);
}

void CVarnikLightingDevice::StopLightThread() { lightThread_.Stop(); }

void CVarnikLightingDevice::PaintLights() {
  if (!lightingControlActive_) return;
  const std::vector<LedColour> frame = Frame();
  const std::size_t n = std::min(frame.size(), lightButtons_.size());
  for (std::size_t i = 0; i < n; ++i) {
    CDeviceKeyButtonUI* button = lightButtons_[i];
    if (button == nullptr || !button->IsVisible()) continue;
    button->SetLightColor(LightButtonColour(frame[i]));
    button->SetLightFade(frame[i].alpha);
    button->SetShowLightImage(true);
  }
}

// ---- the headset's LED stream ----

std::array<CVarnikLightingDevice::LedReport, CVarnikLightingDevice::kLedReports>
CVarnikLightingDevice::BuildLedReports(std::span<const LedColour> leds) {
  std::array<LedReport, kLedReports> out{};
  std::size_t k = 0;
  // Red, green, blue in turn; per channel both halves, each to both targets.
  for (std::size_t channel = 0; channel < 3; ++channel) {
    for (const uint8_t target : proto::kHeadsetLedTargets) {
      for (std::size_t half = 0; half < 2; ++half) {
        LedReport& r = out[k++];
        r[0] = proto::kHeadsetLedReportId;
        r[1] = target;
        r[2] = static_cast<uint8_t>((half == 0 ? proto::kHeadsetLedFirstHalf : proto::kHeadsetLedSecondHalf) + channel);
        const std::size_t first = half == 0 ? 0 : kFirstHalfLeds;
        const std::size_t count = half == 0 ? kFirstHalfLeds : proto::kHeadsetLedCount - kFirstHalfLeds;
        // Bytes past the half's LEDs stay 0 (the second half has one byte fewer).
        for (std::size_t i = 0; i < count && first + i < leds.size(); ++i) {
          const LedColour& c = leds[first + i];
          const uint8_t v = channel == 0 ? c.red : channel == 1 ? c.green : c.blue;
          r[proto::kHeadsetLedValues + i] = LedValue(v, c.alpha);
        }
      }
    }
  }
  return out;
}

void CVarnikLightingDevice::StreamFrame(std::span<const LedColour> frame) {
  if (!IsPrimaryOpen()) return;
  const auto reports = BuildLedReports(frame);
  // One report at a time, each under the channel lock for its own write,
  // and a command exchange that runs or waits goes before the next report:
  // an exchange waits for one 17-byte write at most, never for the frame.
  // Giving way ends with the frame's interval (an exchange the headset does
  // not answer); the rest of the frame then goes out in order all the same.
  const auto giveWayUntil = std::chrono::steady_clock::now() + std::chrono::milliseconds(lightfx::kStreamIntervalMs);
  bool ok = true;
  for (const auto& r : reports) {
    comm_.YieldToExchanges(giveWayUntil);
    std::lock_guard lk(comm_.channelLock);
    // A stalled headset fails the write after one frame interval: the
    // frame is dropped.
    ok = comm_.cableChannel.Write(r.data(), static_cast<uint32_t>(r.size()), nullptr, lightfx::kStreamIntervalMs);
    if (!ok) break;
  }
  if (ok)
    framesStreamed_.fetch_add(1, std::memory_order_relaxed);
  else
    framesFailed_.fetch_add(1, std::memory_order_relaxed);
}

// ---- the device ----

void CVarnikLightingDevice::OnConnected() {
  if (facts_.readsInfo) ReadDeviceTables();
  ReloadProfile();
  RefreshPage();
  StartLightThread();
  // The device list polls only wireless products; the pad's panel shows the
  // charging phone, so its status is read once the pad is there.
  PollWirelessStatus();
}

void CVarnikLightingDevice::OnResync() { ReadDeviceConfig(); }

int CVarnikLightingDevice::ReadDeviceTables() {
  if (!IsPrimaryOpen()) return 0;
  int r = comm_.BeginConfig();
  if (r != CMD_OK) return r;
  r = comm_.ReadInfo(deviceInfo_.data());
  const int end = comm_.EndConfig(1);
  return r != CMD_OK ? r : end;
}

int CVarnikLightingDevice::ReadDeviceConfig() {
  comm_.lightSync = 0;
  std::array<uint8_t, proto::kPadRecordReadSize> record{};
  const int r = ReadActiveRecord(record.data(), record.size(), proto::kPadRecordStride);
  if (r < 0) return -1;
  const auto active = static_cast<uint8_t>(r);
  record[kCfgIndex] = active;
  // The device's effect value becomes its position in the list; a value
  // the list does not know stays as it is.
  auto it = std::find(effectValues_.begin(), effectValues_.end(), record[kCfgMode]);
  if (it != effectValues_.end()) record[kCfgMode] = static_cast<uint8_t>(it - effectValues_.begin());
  // The device counts speed the other way; a byte beyond 4 is read as 4.
  record[kCfgSpeed] = static_cast<uint8_t>(4 - std::min<uint8_t>(record[kCfgSpeed], 4));
  record[kCfgBrightness] = std::min<uint8_t>(record[kCfgBrightness], 4);
  {
    std::lock_guard lk(lightLock_);
    const uint8_t mode = config_[kCfgMode];
    std::copy_n(record.begin(), kConfigSize, config_.begin());
    config_[kCfgMode] = mode;
    TakeModeLocked(record[kCfgMode]);
    // The whole look comes from the device, so the preview never mixes the
    // device's mode with the profile's colours.
    lightInfo_.selectItem = config_[kCfgMode];
    lightInfo_.light = config_[kCfgBrightness];
    lightInfo_.speed = config_[kCfgSpeed];
    lightInfo_.fx = config_[kCfgDirection];
    lightInfo_.multiColor = config_[kCfgMultiColor];
    lightInfo_.red = config_[kCfgRed];
    lightInfo_.green = config_[kCfgRed + 1];
    lightInfo_.blue = config_[kCfgRed + 2];
  }
  if (notify_) notify_();
  if (!readOnly_) {
    profile_->WriteLightInfo(lightInfo_);
    SaveProfile();
  }
  if (auto* editor = FindHooks<ILightEditorHooks>("LightControlItem")) editor->ShowLightInfo(lightInfo_);
  return active;
}

// The record goes back where it was read (the active r), whatever r the
// caller names: the window always names 0.
int CVarnikLightingDevice::WriteDeviceConfig(int, int, int, int, int) {
  if (!IsPrimaryOpen()) return 0;
  // Only the outgoing copy takes device terms: the page keeps the effect number.
  std::array<uint8_t, kConfigSize> out = Config();
  const uint8_t mode = out[kCfgMode];
  if (mode >= effectValues_.size() || effectValues_[mode] < 0 || effectValues_[mode] > 0xFF) {
    Trace("%s: effect %u has no device value; nothing written", facts_.name, mode);
    return CMD_BAD_ARGUMENT;
  }
  out[kCfgMode] = static_cast<uint8_t>(effectValues_[mode]);
  out[kCfgSpeed] = static_cast<uint8_t>(4 - std::min<uint8_t>(out[kCfgSpeed], 4));
  // These pages do not read their record on connecting; the profile's look
  // goes to whichever record the device has active.
  if (ActiveRecordIndex() < 0)
    if (const int r = LearnActiveRecordIndex(); r != CMD_OK) return r;
  return WriteActiveRecord(out.data(), out.size(), proto::kPadRecordStride);
}

void CVarnikLightingDevice::PollWirelessStatus() {
  if (!IsPrimaryOpen() || wirelessPollPaused_) return;
  std::array<uint8_t, proto::kStatusSize> status{};
  const int r = comm_.ReadStatus(status.data(), static_cast<uint32_t>(status.size()), 0);
  if (r != CMD_OK) return;
  status[proto::kStatusWireless] = comm_.viaReceiver.load() ? 1 : 0;
  if (auto* panel = dynamic_cast<IPowerDisplayHooks*>(powerDisplay_)) panel->ShowStatus(status);
}

// ---- events ----

bool CVarnikLightingDevice::OpenEventChannel(const std::string& path, int kind) {
  StopListener();
  const bool ok = CVarnikUSBDevice::OpenEventChannel(path, kind);
  if (ok) StartListener();
  return ok;
}

void CVarnikLightingDevice::CloseEventChannel(int kind) {
  StopListener();
  CVarnikUSBDevice::CloseEventChannel(kind);
}

void CVarnikLightingDevice::StartListener() {
  listener_.stop.Clear();
  listener_.running = true;
  listener_.thread = std::thread([this] {
    NameThisThread("kv-events");
    ListenLoop();
  });
}

void CVarnikLightingDevice::StopListener() {
  if (!listener_.thread.joinable()) return;
  listener_.stop.Set();
  eventComm_.cableChannel.Stop();
  listener_.thread.join();  // the read wakes on the stop signal at once
  Trace("线程退出：：对象处于激发状态\n");
}

void CVarnikLightingDevice::ListenLoop() {
  CHidDevice& channel = eventComm_.cableChannel;
  int failures = 0;
  while (!listener_.stop.IsSet() && channel.IsOpen()) {
    uint8_t report[proto::kPacketSize] = {};
    uint32_t got = 0;
    if (!channel.Read(report, sizeof report, &got, kHidInfinite) || got < 3) {
      if (listener_.stop.IsSet()) break;
      // A second failure in a row means the device is gone.
      if (++failures >= 2) {
        Trace("%s: event channel read failed; listener ends", facts_.name);
        break;
      }
      continue;
    }
    failures = 0;
    // The headset's collection also carries command answers: only event
    // reports are events.
    if (report[0] != facts_.eventReportId) continue;
    const std::optional<uint16_t> code = EventCodeOf(channel, report, got);
    if (!code) continue;
    Trace("接收到自动添加设备的同步信息要求  TEST");
    HandleEventCode(*code);
  }
  Trace("MS设备同步线程设定退出");
  listener_.running = false;
}

void CVarnikLightingDevice::HandleEventCode(uint16_t code) {
  if (code != proto::kEventResync) return;
  Trace("接收到自动添加设备的同步信息要求");
  RequestResync();
}

}  // namespace korvale
