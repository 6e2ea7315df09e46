#include "devices/varnik_mouse_device.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "devices/key_codes.h"
#include "devices/macro_download.h"
#include "devices/light_tables.h"
#include "devices/preview_tables.h"
#include "devices/whole_device_effects.h"
#include "platform/trace.h"
#include "profiles/json_file.h"
#include "profiles/profile_list.h"
#include "profiles/settings_files.h"
#include "ui/controls.h"
#include "ui/custom_controls.h"

namespace korvale {

namespace {

constexpr const char* kSettingsTabs = "mouse_device_seting_layout";
constexpr const char* kSettingsOptions = "mouse_device_seting_option_";
constexpr const char* kOptionLayout = "mouse_option_layout";
constexpr const char* kActiveThumb = "Control/SliderBar1_Thumb.png";
constexpr const char* kOtherThumb = "Control/SliderBar2_Thumb.png";
constexpr const char* kKeyInfoList = "device_setkeyinfo_list";
constexpr int kBuiltInEffects = 12;  // mode indexes above 11 are user effects
constexpr int kMouseFlowMode = 5;
constexpr int kMouseKeyFadeMode = 6;
constexpr int kFadeStep = 15;

// Text IDs naming the eleven buttons.
constexpr std::array<const char*, kMouseKeyCount> kButtonNames = {
    "mouse_key_left",      "mouse_key_right",   "mouse_key_middle", "mouse_key_forward",
    "mouse_key_back",      "mouse_key_DPI_add", "mouse_key_DPI_sub", "mouse_key_DPI_loop",
    "mouse_key_fire_key",  "mouse_key_up_Swing", "mouse_key_down_Swing"};

// Text IDs of the built-in effects by mode index (the lighting editor's list).
constexpr std::array<const char*, kBuiltInEffects> kEffectNames = {
    "light_mode_wave",      "light_mode_spectrum",       "light_mode_breathing",  "light_mode_static",
    "light_mode_blink",     "light_mode_flow",           "light_mode_reactive",   "light_mode_breathing_four",
    "light_mode_blink_four", "light_mode_reserved_11",   "light_mode_off",        "light_mode_reserved_11"};

// The seven LED groups of the mouse's own effects.
constexpr std::array<std::array<int8_t, 3>, 7> kLedGroups = {{
    {0, 13, -1}, {1, 12, -1}, {2, 11, -1}, {3, 10, -1}, {4, 9, -1}, {5, 8, -1}, {6, 14, 7}}};

std::string Indexed(const char* prefix, int i) {
  char name[48];
  std::snprintf(name, sizeof name, "%s%d", prefix, i);
  return name;
}

uint16_t U16(const std::array<uint8_t, 34>& info, std::size_t at) {
  return static_cast<uint16_t>(info[at] | info[at + 1] << 8);
}

void PutU16(uint8_t* p, int v) {
  p[0] = static_cast<uint8_t>(v & 0xFF);
  p[1] = static_cast<uint8_t>((v >> 8) & 0xFF);
}

int Level0to4(int v) { return std::clamp(v, 0, 4); }

using wholefx::Cycle;
constexpr int kWaveSteps = static_cast<int>(lightfx::kWave.size());

}  // namespace

CVarnikMouseDevice::CVarnikMouseDevice() {
  kind_ = kKindMouse;
  SetGateOnLink(true);
  ClearLevels();
  levels_[kTriggerBase] = 1;
  for (int j = 0; j < kMouseKeyCount; ++j) keyToPosition_[j] = kNone;
}

CVarnikMouseDevice::~CVarnikMouseDevice() {
  FlushProfileSave();
  StopLightThread();
  StopListener(kEventSideCable);
  StopListener(kEventSideReceiver);
}

// ---- page binding ----

void CVarnikMouseDevice::InitPage() { BindPageControls(); }

void CVarnikMouseDevice::BindPageControls() {
  if (pageXmlPath_.empty()) {
    ResetToEmptyPage();
    return;
  }
  auto* tabs = dynamic_cast<CContainerUI*>(FindChild(kSettingsTabs));
  if (tabs == nullptr) return;
  logoLightButtons_.clear();
  logoPanel_ = nullptr;
  logoButton_ = nullptr;
  bool first = true;
  std::vector<CContainerUI*> panels;
  // The select panels may sit anywhere below the tabs.
  std::vector<CContainerUI*> todo{tabs};
  while (!todo.empty()) {
    CContainerUI* c = todo.back();
    todo.pop_back();
    for (int i = c->GetCount() - 1; i >= 0; --i) {
      CControlUI* child = c->GetItemAt(i);
      auto* container = dynamic_cast<CContainerUI*>(child);
      if (container == nullptr) continue;
      if (child->GetClass() == "SelectPanel")
        panels.push_back(container);
      else
        todo.push_back(container);
    }
  }
  for (CContainerUI* panel : panels) {
    if (first) BindButtons(panel);  // also the key/light panel
    first = false;
    for (int i = 0; i < panel->GetCount(); ++i) {
      auto* button = dynamic_cast<CDeviceKeyButtonUI*>(panel->GetItemAt(i));
      if (button == nullptr || button->GetClass() != "DeviceKeyButton") continue;
      if (EqualsNoCase(std::string_view(button->GetToolTip()), "logo")) logoButton_ = button;
      const auto index = IndexAfterPrefix(button->GetName(), "light_0_");
      if (!index || *index >= lightCount_) continue;
      const int n = *index;
      ShowWhite(button);
      if (n < static_cast<int>(logoLightButtons_.size()))
        logoLightButtons_[static_cast<std::size_t>(n)] = button;
      else
        logoLightButtons_.push_back(button);
      if (logoPanel_ == nullptr) logoPanel_ = panel;
    }
  }

  BindEditors();
  ShowMouseSettingsPage(0);
}

void CVarnikMouseDevice::ShowMouseSettingsPage(int n) {
  auto* tabs = dynamic_cast<CTabLayoutUI*>(FindChild(kSettingsTabs));
  if (tabs != nullptr) tabs->SelectItem(n >= 0 && n < tabs->GetCount() ? n : 0);
  auto* options = dynamic_cast<CContainerUI*>(FindChild(kOptionLayout));
  if (options == nullptr) return;
  const std::string want = Indexed(kSettingsOptions, n);
  for (int i = 0; i < options->GetCount(); ++i) {
    auto* o = dynamic_cast<COptionUI*>(options->GetItemAt(i));
    if (o != nullptr && o->GetClass() == "Option") o->Selected(o->GetName() == want, false);
  }
}

void CVarnikMouseDevice::ShowFunctionPage(int type) {
  CVarnikUSBDevice::ShowFunctionPage(type);
  if (CControlUI* hint = FindChild("device_tishi_info")) hint->SetVisible(false);
}

// ---- profile ----

void CVarnikMouseDevice::ResolveProfilePaths() { ResolvePathsOf(profile_); }

std::string CVarnikMouseDevice::GetProfilePath() const { return profile_.GetFilePath().string(); }

void CVarnikMouseDevice::SaveProfile() {
  if (!readOnly_) profile_.Save();  // a read-only page changes no file
}

void CVarnikMouseDevice::SetModelIndex(int index) {
  modelIndex_ = index;
  profile_.SetDeviceIndex(0);
}

void CVarnikMouseDevice::SetLightInfo(const std::array<uint32_t, 5>& words) {
  {
    std::lock_guard lock(lightMutex_);
    lightInfo_ = LightInfo::FromWords(words);
    profile_.WriteLightInfo(lightInfo_);
  }
  lightThread_.Nudge();
}

// The profile's stages, never more than the record holds.
static std::vector<DpiStage> FiveAtMost(std::vector<DpiStage> stages) {
  if (stages.size() > static_cast<std::size_t>(CVarnikMouseDevice::kStages)) {
    Trace("mouse: %zu resolution stages in the profile; the first %d are used", stages.size(),
          CVarnikMouseDevice::kStages);
    stages.resize(CVarnikMouseDevice::kStages);
  }
  return stages;
}

void CVarnikMouseDevice::MarkChangedKeys() {
  const std::size_t n = std::min(keyList_.size(), keyButtons_.size());
  for (std::size_t i = 0; i < n; ++i) {
    CDeviceKeyButtonUI* b = keyButtons_[i];
    if (b == nullptr) continue;
    const KeyRecord& r = keyList_[i];
    b->SetKeyUnsetFlag(r.normal.code == r.defaultKey.code);
    b->SetSelected(false);
  }
}

int CVarnikMouseDevice::ReloadProfile() {
  if (profileName_.empty() && !deviceFolderName_.empty() && !readOnly_) {
    if (auto current = CurrentProfile(deviceFolderName_)) profileName_ = current->uuid;
  }
  if (ProfileFilePath(UserDataFolder(), profileName_).empty()) return 0;
  ResolveProfilePaths();
  // Loading a missing profile rebuilds it on disk; a read-only page reads the defaults.
  if (readOnly_ && !JsonElement(JsonMember(ReadJsonFile(profile_.GetFilePath()), "Device"), 0).isObject())
    profile_.Load(DefaultProfilePath());
  else
    profile_.Load(profile_.GetFilePath());
  keyList_ = profile_.ReadKeyList();
  MarkChangedKeys();
  profile_.ReadLightInfo();
  ApplyLighting();  // takes it under the light lock
  dpiStages_ = FiveAtMost(profile_.ReadDpiStages());
  systemStages_ = profile_.ReadMouseSystemStages();
  return 1;
}

void CVarnikMouseDevice::RestoreDefaultProfile() {
  const auto file = profile_.GetFilePath();
  profile_.Load(DefaultProfilePath());
  keyList_ = profile_.ReadKeyList();
  profile_.ReadLightInfo();
  ApplyLighting();  // takes it under the light lock
  dpiStages_ = FiveAtMost(profile_.ReadDpiStages());
  systemStages_ = profile_.ReadMouseSystemStages();
  // The defaults replace the current profile's content, in the current file.
  profile_.SetFilePath(file);
  SaveProfile();
  RefreshPage();
}

void CVarnikMouseDevice::SetDpiStages(const std::vector<DpiStage>& stages) {
  if (stages.size() > static_cast<std::size_t>(kStages)) {
    Trace("mouse: %zu resolution stages refused (at most %d)", stages.size(), kStages);
    return;
  }
  dpiStages_ = stages;
  profile_.WriteDpiStages(dpiStages_);
}

void CVarnikMouseDevice::SetMouseSystemSettings(uint32_t w0, uint32_t w1, uint32_t w2) {
  systemStages_.words = {w0, w1, w2};
  profile_.WriteMouseSystemStages(systemStages_);
}

void CVarnikMouseDevice::SetKeyEntry(const std::array<uint32_t, 4>& words, uint16_t half) {
  if (selectedKey_ < 0 || selectedKey_ >= static_cast<int>(keyList_.size())) {
    Trace("%s: no selected key for a key entry", deviceFolderName_.c_str());
    return;
  }
  keyList_[static_cast<std::size_t>(selectedKey_)] = KeyRecordFromWords(words, half);
  profile_.WriteKeyList(keyList_);
}

void CVarnikMouseDevice::SetKeyList(const std::vector<KeyRecord>& list) {
  keyList_ = list;
  profile_.WriteKeyList(keyList_);
}

void CVarnikMouseDevice::SetSecondaryKeyList(const std::vector<KeyRecord>& list) {
  secondaryKeyList_ = list;
  profile_.WriteSecondaryKeyList(secondaryKeyList_);
}

void CVarnikMouseDevice::ResetKeyButtons() {
  for (CDeviceKeyButtonUI* b : keyButtons_)
    if (b != nullptr) b->SetKeyUnsetFlag(true);
}

void CVarnikMouseDevice::LoadEffectLists() { LoadStandardEffectLists(); }

// ---- reading the device ----

template <class Body>
int CVarnikMouseDevice::InConfig(Body body) {
  if (!LinkUpForCommand()) return CMD_NOT_LINKED;
  int r = comm_.BeginConfig();
  if (r != CMD_OK) return r;
  r = body();
  // Configuration mode is left whatever happened inside it; a receiver whose
  // mouse went away cannot pass it on, and says so.
  const int end = LinkUpForCommand() ? comm_.EndConfig(1) : CMD_NOT_LINKED;
  return r == CMD_OK ? end : r;
}

int CVarnikMouseDevice::ReadDeviceTables() {
  if (!IsPrimaryOpen()) return 0;
  std::array<uint8_t, proto::kKeyTableSize> codes{};
  int positions = 0;
  const int r = InConfig([&] {
    if (!LinkUpForCommand()) return CMD_NOT_LINKED;
    int step = comm_.ReadInfo(deviceInfo_.data());
    if (step != CMD_OK) return step;
    positions = deviceInfo_[proto::kInfoKeyCount];
    if (comm_.SetTransferLength(static_cast<uint32_t>(positions) * 3) != 1) {
      Trace("mouse: %d button positions do not fit the button table", positions);
      return 0;
    }
    if (!LinkUpForCommand()) return CMD_NOT_LINKED;
    return comm_.ReadKeyTable(codes.data());
  });
  if (r != CMD_OK) return r;
  keyCodeTable_ = codes;
  positions_ = positions;
  BuildButtonMap(positions);
  const int steps = U16(deviceInfo_, proto::kInfoDpiSteps);
  for (int i = 0; i < kStages; ++i) {
    if (auto* s = dynamic_cast<CProgressUI*>(FindChild(Indexed("DPI_slider_", i)))) {
      s->SetMinValue(0);
      s->SetMaxValue(steps);
    }
    if (auto* e = dynamic_cast<CEditUI*>(FindChild(Indexed("DPI_edit_", i)))) {
      e->SetMinValue(0);
      e->SetMaxValue(steps * deviceInfo_[proto::kInfoDpiStep]);
    }
  }
  return CMD_OK;
}

void CVarnikMouseDevice::BuildButtonMap(int positions) {
  positions = std::min(positions, static_cast<int>(proto::kKeyTableSize / 3));
  for (int j = 0; j < kMouseKeyCount; ++j) {
    keyToPosition_[j] = kNone;
    for (int k = 0; k < positions; ++k) {
      if (CodeAt(keyCodeTable_, k) == kMouseDefaultCodes[static_cast<std::size_t>(j)]) {
        keyToPosition_[j] = k;
        break;
      }
    }
  }
}

int CVarnikMouseDevice::ButtonPosition(int button) const {
  auto it = keyToPosition_.find(button);
  return it == keyToPosition_.end() ? kNone : it->second;
}

int CVarnikMouseDevice::ReadDeviceConfig() {
  comm_.lightSync = 0;
  std::array<uint8_t, proto::kMouseRecordSize> record{};
  const int read = ReadActiveRecord(record.data(), record.size(), proto::kMouseRecordStride);
  if (read < 0) return -1;
  const auto active = static_cast<uint8_t>(read);

  activeProfile_ = active;
  record[proto::kKbRecProfile] = active;
  const int value = record[proto::kKbRecMode];
  auto it = std::find(effectValues_.begin(), effectValues_.end(), value);
  if (it != effectValues_.end()) record[proto::kKbRecMode] = static_cast<uint8_t>(it - effectValues_.begin());
  record[9] = 0;
  record_ = record;

  std::unique_lock light(lightMutex_);
  // "Fx" stays the profile's: the record's direction is not taken.
  LightInfo info = lightInfo_;
  info.selectItem = record[proto::kKbRecMode];
  info.light = record[proto::kKbRecBrightness];
  info.speed = static_cast<uint8_t>(4 - Level0to4(record[proto::kKbRecSpeed]));
  info.multiColor = record[proto::kKbRecMultiColor];
  info.red = record[proto::kKbRecRed];
  info.green = record[proto::kKbRecGreen];
  info.blue = record[proto::kKbRecBlue];
  TakeLightInfo(info, lightInfo_.selectItem);
  light.unlock();
  lightThread_.Nudge();
  const int stage = std::min<int>(record[proto::kMouseRecActiveStage], kStages - 1);
  profile_.SetActiveDpiStage(stage);
  profile_.WriteLightInfo(lightInfo_);
  SaveProfile();
  return active;
}

// ---- writing the device ----

std::array<uint8_t, proto::kMouseRecordSize> CVarnikMouseDevice::BuildConfigRecord(int firstByte, int third,
                                                                                   int width, int height) const {
  std::array<uint8_t, proto::kMouseRecordSize> out{};
  const LightInfo info = lightInfo_;
  // An index beyond the built-in effects (or a missing effect list) writes effect 0.
  int mode = info.selectItem;
  if (mode >= kBuiltInEffects) mode = 0;
  if (mode < static_cast<int>(effectValues_.size())) {
    out[proto::kKbRecMode] = static_cast<uint8_t>(effectValues_[static_cast<std::size_t>(mode)]);
  } else {
    Trace("mouse: effect %d is not in the effect list; its index is written", mode);
    out[proto::kKbRecMode] = static_cast<uint8_t>(mode);
  }
  out[proto::kKbRecBrightness] = info.light;
  out[proto::kKbRecSpeed] = static_cast<uint8_t>(4 - Level0to4(info.speed));
  out[proto::kKbRecDirection] = info.fx;
  out[proto::kKbRecMultiColor] = info.multiColor;
  out[proto::kKbRecRed] = info.red;
  out[proto::kKbRecGreen] = info.green;
  out[proto::kKbRecBlue] = info.blue;
  out[proto::kMouseRecPollingRate] = static_cast<uint8_t>(systemStages_.words[2] >> 16);
  out[proto::kMouseRecActiveStage] = static_cast<uint8_t>(std::clamp(profile_.GetActiveDpiStage(), 0, kStages - 1));
  const std::size_t stages = std::min<std::size_t>(dpiStages_.size(), kStages);
  for (std::size_t i = 0; i < stages; ++i) {
    const DpiStage& d = dpiStages_[i];
    uint8_t* st = &out[proto::kMouseRecStages + i * proto::kMouseStageSize];
    st[0] = d.enabled;
    st[1] = d.separateXY;
    PutU16(st + 2, d.x);
    PutU16(st + 4, d.y);
    st[6] = d.red;
    st[7] = d.green;
    st[8] = d.blue;
  }
  out[proto::kKbRecProfile] = static_cast<uint8_t>(firstByte);
  out[proto::kMouseRecExtra] = static_cast<uint8_t>(third);
  PutU16(&out[proto::kMouseRecScreenWidth], width);
  PutU16(&out[proto::kMouseRecScreenHeight], height);
  for (const CorrectEntry& c : profile_.GetCorrectEntries()) {
    if (!c.selected) continue;
    out[proto::kMouseRecCorrectMinSq] = c.minSq;
    out[proto::kMouseRecCorrectPixThresh] = c.pixThresh;
    break;
  }
  return out;
}

int CVarnikMouseDevice::WriteDeviceConfig(int /*profile*/, int /*firstByte*/, int third, int width, int height) {
  if (!IsPrimaryOpen() || readOnly_) return 0;
  // Written back where the device's active record was read (or where its
  // last profile event moved it), with byte 0 naming it.
  profile_.ReadCorrectEntries();
  auto out = BuildConfigRecord(ActiveRecordIndex(), third, width, height);
  return WriteActiveRecord(out.data(), out.size(), proto::kMouseRecordStride);
}

std::vector<int> CVarnikMouseDevice::CollectUsedMacros() {
  std::vector<int> used;
  const int count = MacroCountOnDisk();
  for (const KeyRecord& k : keyList_) {
    if (!IsMacroCode(k.normal.code) || k.normal.code.value1 >= count) continue;
    if (std::find(used.begin(), used.end(), k.normal.code.value1) == used.end()) used.push_back(k.normal.code.value1);
  }
  return used;
}

int CVarnikMouseDevice::DownloadMacros(const std::vector<int>& macros) {
  lastMacroDownload_ = DownloadMacroImage(comm_, deviceInfo_, UserDataFolder(), macros);
  if (lastMacroDownload_.result != 0) Trace("macro download: %s", lastMacroDownload_.message.c_str());
  return lastMacroDownload_.result;
}

int CVarnikMouseDevice::WriteKeyAssignments(int profile, const std::vector<KeyRecord>& keys) {
  if (!IsPrimaryOpen() || !LinkUpForCommand()) return 0;
  const int r = comm_.ReadInfo(deviceInfo_.data());
  if (r != CMD_OK) return r;
  KeyTable table = keyCodeTable_;
  const int macroCount = MacroCountOnDisk();
  std::vector<uint8_t> download;
  for (const auto& [button, position] : keyToPosition_) {
    if (position == kNone || button >= static_cast<int>(keys.size())) continue;
    KeyRecord k = keys[static_cast<std::size_t>(button)];
    if (IsMacroCode(k.normal.code)) {
      if (k.normal.code.value1 < macroCount) {
        k.normal.code.value1 = DownloadIndex(download, k.normal.code.value1);
      } else {
        k.normal.code = k.defaultKey.code;
        k.normal.keyIndex = k.defaultKey.keyIndex;
      }
    }
    PutCode(table, position, k.normal.code);
  }
  return InConfig([&] {
    if (!LinkUpForCommand()) return CMD_NOT_LINKED;
    return comm_.WriteKeyTable(table.data(), profile);
  });
}

int CVarnikMouseDevice::ApplyKeyAssignments(int profile) { return WriteKeyAssignments(profile, keyList_); }

void CVarnikMouseDevice::RevalidateMacroKeys() {
  LoadEffectLists();
  const auto count = macroNames_.size();
  bool changed = false;
  for (auto& k : keyList_) {
    if (IsMacroCode(k.normal.code) && k.normal.code.value1 >= count) {
      k.normal.code = k.defaultKey.code;
      k.normal.keyIndex = k.defaultKey.keyIndex;
      changed = true;
    }
  }
  if (changed) {
    profile_.WriteKeyList(keyList_);
    SaveProfile();
    RefreshKeyLabels();
  }
}

// ---- connection and events ----

void CVarnikMouseDevice::OnConnected() {
  ReadDeviceTables();
  ReloadProfile();
  ReadDeviceConfig();
  RefreshPage();
  StartLightThread();
}

void CVarnikMouseDevice::OnResync() {
  ReadDeviceConfig();
  RefreshPage();
}

bool CVarnikMouseDevice::IsWirelessLinkUp() { return ReceiverLinkUp(); }

void CVarnikMouseDevice::PollWirelessStatus() { PollStatusToDisplay(); }

bool CVarnikMouseDevice::OpenEventChannel(const std::string& path, int kind) {
  return OpenListenedChannel(path, kind);
}

void CVarnikMouseDevice::CloseEventChannel(int kind) { CloseListenedChannel(kind); }

void CVarnikMouseDevice::HandleEventCode(uint16_t code) {
  if (code == proto::kEventResync || code == proto::kEventProfilesChanged) {
    Trace("接收到自动添加设备的同步信息要求");
    RequestResync();
  } else if (code == proto::kEventMouseKeyFade) {
    RunOnUi([this] {
      if (lightInfo_.selectItem != kMouseKeyFadeMode) return;
      std::lock_guard lock(lightMutex_);
      StartFade();
    });
  } else if (code > proto::kEventMouseKeyFade) {
    RunOnUi([this, code] { ApplyProfileEvent(code); });
  }
}

void CVarnikMouseDevice::ApplyProfileEvent(uint16_t code) {
  const int high = code >> 8;
  if (!IsPrimaryOpen() || (high != (proto::kEventProfile >> 8) && high != (proto::kEventProfileEx >> 8))) return;
  activeProfile_ = static_cast<uint8_t>(code & 0x0F);
  record_[proto::kKbRecProfile] = activeProfile_;
  recordIndex_ = activeProfile_;  // the mouse now works from that record
  if (high == (proto::kEventProfileEx >> 8)) {
    // The mouse switched its stage itself: the page and the profile follow.
    const int stage = std::min((code >> 4) & 0x0F, kStages - 1);
    record_[proto::kMouseRecActiveStage] = static_cast<uint8_t>(stage);
    profile_.SetActiveDpiStage(stage);
    SaveProfile();
  }
  RefreshPage();
}

void CVarnikMouseDevice::StartFade() {
  for (int i = 0; i < kMouseLightCount; ++i) {
    fadeState_[static_cast<std::size_t>(i)] = 1;
    SetLevel(kLevelBase + i, 255);
    fadeSeed_ = fadeSeed_ * 1664525u + 1013904223u;
    SetLevel(kHueBase + i, static_cast<uint8_t>((fadeSeed_ >> 8) % preview::kWheelHues));
  }
}

// ---- the resolution stages ----

int CVarnikMouseDevice::DpiForSlider(int s) const {
  const int step = deviceInfo_[proto::kInfoDpiStep];
  const int minimum = U16(deviceInfo_, proto::kInfoDpiMinimum);
  if (U16(deviceInfo_, proto::kInfoSensorId) == kWideStepSensor && s > kWideStepFrom)
    return step * kWideStepFrom + s * kWideStep + minimum - kWideStep * kWideStepFrom;
  return s * step + minimum;
}

int CVarnikMouseDevice::SliderForDpi(int v) const {
  const int step = deviceInfo_[proto::kInfoDpiStep];
  const int minimum = U16(deviceInfo_, proto::kInfoDpiMinimum);
  // Before the information block is read there is no scale to convert with.
  if (step == 0) return 0;
  v = std::max(v, minimum);
  const int wideFrom = minimum + kWideStepFrom * step;
  if (U16(deviceInfo_, proto::kInfoSensorId) == kWideStepSensor && v > wideFrom)
    return (v - wideFrom) / kWideStep + kWideStepFrom;
  return (v - minimum) / step;
}

void CVarnikMouseDevice::ShowDpiValue(int i, int s) {
  const bool active = i == profile_.GetActiveDpiStage();
  if (auto* slider = dynamic_cast<CSliderUI*>(FindChild(Indexed("DPI_slider_", i)))) {
    slider->SetValue(s);
    s = slider->GetValue();  // the edit shows what the slider can hold
    slider->SetAttribute("thumbimage", active ? kActiveThumb : kOtherThumb);
  }
  if (CControlUI* edit = FindChild(Indexed("DPI_edit_", i))) edit->SetText(std::to_string(DpiForSlider(s)));
  if (CControlUI* enable = FindChild(Indexed("DPI_enable_check_", i))) enable->SetEnabled(!active);
  if (auto* select = dynamic_cast<COptionUI*>(FindChild(Indexed("DPI_select_check_", i))))
    select->Selected(active, false);
}

int CVarnikMouseDevice::GetDpiSliderValue(int i) const {
  auto* s = dynamic_cast<CProgressUI*>(FindChild(Indexed("DPI_slider_", i)));
  return s ? s->GetValue() : 0;
}

int CVarnikMouseDevice::GetDpiEditValue(int i) const {
  // Before the information block is read there is no scale: the slider stays.
  if (deviceInfo_[proto::kInfoDpiStep] == 0) return GetDpiSliderValue(i);
  int v = 0;
  if (CControlUI* edit = FindChild(Indexed("DPI_edit_", i))) {
    const std::string text(edit->GetText());
    if (!text.empty() && !ParseInt(text, &v)) v = 0;
  }
  const int s = SliderForDpi(v);
  auto* slider = dynamic_cast<CProgressUI*>(FindChild(Indexed("DPI_slider_", i)));
  return slider != nullptr ? std::clamp(s, slider->GetMinValue(), slider->GetMaxValue()) : s;
}

void CVarnikMouseDevice::ShowDpiStageEnabled(int i, bool on) {
  if (CControlUI* layout = FindChild(Indexed("DPI_layout_", i))) layout->SetEnabled(on);
  if (auto* check = dynamic_cast<COptionUI*>(FindChild(Indexed("DPI_enable_check_", i)))) check->Selected(on, false);
  if (on) {
    // A stage switched back on frees the last one again.
    for (int k = 0; k < kStages; ++k)
      if (auto* c = FindChild(Indexed("DPI_enable_check_", k)); c != nullptr && k != profile_.GetActiveDpiStage())
        c->SetEnabled(true);
    return;
  }
  int selected = 0;
  COptionUI* last = nullptr;
  for (int k = 0; k < kStages; ++k) {
    auto* c = dynamic_cast<COptionUI*>(FindChild(Indexed("DPI_enable_check_", k)));
    if (c != nullptr && c->IsSelected()) {
      ++selected;
      last = c;
    }
  }
  if (selected == 1 && last != nullptr) last->SetEnabled(false);  // one stage always stays
}

bool CVarnikMouseDevice::IsDpiStageEnabled(int i) const {
  auto* c = dynamic_cast<COptionUI*>(FindChild(Indexed("DPI_enable_check_", i)));
  return c != nullptr && c->IsSelected();
}

void CVarnikMouseDevice::SelectDpiStage(int n) {
  n = std::clamp(n, 0, kStages - 1);
  profile_.SetActiveDpiStage(n);
  for (int i = 0; i < kStages; ++i)
    if (auto* o = dynamic_cast<COptionUI*>(FindChild(Indexed("DPI_select_check_", i)))) o->Selected(i == n, false);
}

uint32_t CVarnikMouseDevice::GetDpiColour(int i) const {
  CControlUI* c = FindChild(Indexed("DPI_color_option_", i));
  return c ? c->GetBkColor() : 0;
}

void CVarnikMouseDevice::SetDpiColour(int i, uint32_t argb) {
  if (CControlUI* c = FindChild(Indexed("DPI_color_option_", i))) c->SetBkColor(argb);
}

void CVarnikMouseDevice::ShowPollingRate(int n) {
  if (n < 0 || n >= kPollingRates) n = 0;
  for (int i = 0; i < kPollingRates; ++i)
    if (auto* o = dynamic_cast<COptionUI*>(FindChild(Indexed("polling_rate_option_", i)))) o->Selected(i == n, false);
}

int CVarnikMouseDevice::GetPointerSpeed() const {
  auto* s = dynamic_cast<CProgressUI*>(FindChild("pointer_speed_slider"));
  return s ? s->GetValue() : 0;
}
bool CVarnikMouseDevice::GetPointerPrecision() const {
  auto* o = dynamic_cast<COptionUI*>(FindChild("pointer_precision_check"));
  return o != nullptr && o->IsSelected();
}
bool CVarnikMouseDevice::GetScrollByPage() const {
  auto* o = dynamic_cast<COptionUI*>(FindChild("scrolls_page_check"));
  return o != nullptr && o->IsSelected();
}
int CVarnikMouseDevice::GetScrollLines() const {
  auto* s = dynamic_cast<CProgressUI*>(FindChild("scroll_speed_slider"));
  return s ? s->GetValue() : 0;
}
int CVarnikMouseDevice::GetDoubleClickSpeed() const {
  auto* s = dynamic_cast<CProgressUI*>(FindChild("double_click_slider"));
  return s ? s->GetValue() : 0;
}
int CVarnikMouseDevice::GetDoubleClickMaximum() const {
  auto* s = dynamic_cast<CProgressUI*>(FindChild("double_click_slider"));
  return s ? s->GetMaxValue() : 0;
}

void CVarnikMouseDevice::ShowScroll(bool byPage, int lines) {
  if (auto* o = dynamic_cast<COptionUI*>(FindChild("scrolls_page_check"))) o->Selected(byPage, false);
  if (auto* s = dynamic_cast<CProgressUI*>(FindChild("scroll_speed_slider"))) s->SetValue(lines);
}

// ---- the page ----

std::string CVarnikMouseDevice::ButtonName(int i) const {
  return i >= 0 && i < kMouseKeyCount ? Localise(kButtonNames[static_cast<std::size_t>(i)]) : std::string();
}

std::string CVarnikMouseDevice::LabelForCode(const AssignmentCode& code) {
  if (IsMacroCode(code)) return code.value1 < macroNames_.size() ? macroNames_[code.value1] : std::string();
  for (int j = 0; j < kMouseKeyCount; ++j)
    if (kMouseDefaultCodes[static_cast<std::size_t>(j)] == code) return ButtonName(j);
  if (auto* editor = FindHooks<IKeyEditorHooks>("KeySetControlItem")) {
    const std::string id = editor->NameOfCode(code);
    if (!id.empty()) return Localise(id);
  }
  return Localise("com_key_nothing");
}

void CVarnikMouseDevice::SetKeyTooltip(int i, const std::string& label) {
  if (CDeviceKeyButtonUI* b = KeyButton(i)) b->SetToolTip(ButtonName(i) + "\n" + label);
  auto* list = dynamic_cast<CListUI*>(FindChild(kKeyInfoList));
  if (list == nullptr || i < 0) return;
  while (list->GetCount() <= i) {
    auto* row = new CListContainerElementUI();
    row->SetFixedHeight(22);
    auto* name = new CLabelUI();
    name->SetResourceText(false);
    name->SetFixedWidth(200);
    name->SetTextColor(0xFFFFFFFF);
    auto* value = new CLabelUI();
    value->SetResourceText(false);
    value->SetFixedWidth(180);
    value->SetTextColor(0xFF0099FF);
    value->SetAttribute("endellipsis", "true");
    row->Add(name);
    row->Add(value);
    row->SetVisible(false);
    row->SetEnabled(false);
    list->Add(row);
  }
  auto* row = dynamic_cast<CContainerUI*>(list->GetItemAt(i));
  if (row == nullptr || row->GetCount() < 2) return;
  row->GetItemAt(0)->SetText(ButtonName(i));
  row->GetItemAt(1)->SetText(label);
  row->SetVisible(true);
}

void CVarnikMouseDevice::RefreshKeyLabels() {
  const std::size_t n = std::min<std::size_t>(keyList_.size(), kMouseKeyCount);
  for (std::size_t i = 0; i < n; ++i) SetKeyTooltip(static_cast<int>(i), LabelForCode(keyList_[i].normal.code));
  RefreshLogoTooltip();
}

void CVarnikMouseDevice::RefreshLogoTooltip() {
  if (logoButton_ == nullptr) return;
  const int mode = lightInfo_.selectItem;
  std::string effect;
  if (mode >= kBuiltInEffects) {
    const auto user = static_cast<std::size_t>(mode - kBuiltInEffects);
    effect = user < userEffectNames_.size() ? userEffectNames_[user] : std::string();
  } else {
    effect = Localise(kEffectNames[static_cast<std::size_t>(mode)]);
  }
  logoButton_->SetToolTip(Localise("Logo") + "\n" + Localise("Light_Set") + "\n" + Localise("Overall_Light_Set") +
                          effect);
}

void CVarnikMouseDevice::SelectKey(int key) {
  selectedKey_ = key;
  if (CControlUI* editor = FindChild("KeySetControlItem")) editor->SetVisible(true);
  if (key < 0 || key >= static_cast<int>(keyList_.size())) return;
  for (std::size_t i = 0; i < std::min(keyList_.size(), keyButtons_.size()); ++i)
    if (CDeviceKeyButtonUI* b = keyButtons_[i]) b->SetSelected(static_cast<int>(i) == key);
  if (auto* editor = FindHooks<IKeyEditorHooks>("KeySetControlItem"))
    editor->OpenForKey(key, keyList_[static_cast<std::size_t>(key)], false);
}

void CVarnikMouseDevice::RefreshPage() {
  LoadEffectLists();
  RefreshKeyLabels();
  if (auto* editor = FindHooks<ILightEditorHooks>("LightControlItem")) editor->ShowLightInfo(lightInfo_);
  const int count = std::min<int>(static_cast<int>(dpiStages_.size()), kStages);
  for (int i = 0; i < count; ++i) {
    const DpiStage& d = dpiStages_[static_cast<std::size_t>(i)];
    ShowDpiStageEnabled(i, d.enabled != 0);
    ShowDpiValue(i, d.x);
    SetDpiColour(i, 0xFF000000u | uint32_t{d.red} << 16 | uint32_t{d.green} << 8 | d.blue);
  }
  const auto& w = systemStages_.words;
  ShowPollingRate(static_cast<int>(w[2] >> 16));
  // The profile's pointer values (kept there, never applied to the desktop).
  if (auto* s = dynamic_cast<CProgressUI*>(FindChild("pointer_speed_slider"))) s->SetValue(static_cast<int>(w[0] >> 16));
  if (auto* s = dynamic_cast<CProgressUI*>(FindChild("double_click_slider"))) s->SetValue(static_cast<int>(w[0] & 0xFFFF));
  if (auto* o = dynamic_cast<COptionUI*>(FindChild("pointer_precision_check"))) o->Selected((w[1] & 0xFFFF) != 0, false);
  ShowScroll((w[1] >> 16) != 0, static_cast<int>(w[2] & 0xFFFF));
}

// ---- lighting ----

void CVarnikMouseDevice::TakeLightInfo(const LightInfo& info, uint8_t modeBefore) {
  lightInfo_ = info;
  current_.modeIndex = info.selectItem;
  current_.brightness = info.light;
  current_.speed = info.speed;
  current_.multiColor = info.multiColor;
  current_.red = info.red;
  current_.green = info.green;
  current_.blue = info.blue;
  if (info.selectItem != modeBefore) {
    // A new effect starts over, with the flow's pulse at its first position.
    ClearLevels();
    levels_[kTriggerBase] = 1;
  }
}

int CVarnikMouseDevice::ApplyLighting() {
  std::unique_lock light(lightMutex_);
  TakeLightInfo(profile_.GetLightInfo(), current_.modeIndex);
  {
    std::lock_guard lock(customTableLock_);
    customTable_ = profile_.ReadLightList();
  }
  {
    std::lock_guard lock(effectListLock_);
    effectList_ = profile_.ReadLedEffects();
  }
  light.unlock();
  lightThread_.Nudge();
  return 1;
}

std::vector<LedColour> CVarnikMouseDevice::LedFrame() const {
  std::lock_guard lock(lightMutex_);
  return ledTable_;
}

void CVarnikMouseDevice::PaintLights() {
  if (!lightingControlActive_) return;
  {
    std::lock_guard lock(lightMutex_);
    paintFrame_ = ledTable_;
  }
  const std::size_t n = std::min(logoLightButtons_.size(), paintFrame_.size());
  for (std::size_t i = 0; i < n; ++i) {
    CDeviceKeyButtonUI* b = logoLightButtons_[i];
    if (b == nullptr || !b->IsVisible()) continue;
    b->SetLightColor(LightButtonColour(paintFrame_[i]));
    b->SetLightFade(paintFrame_[i].alpha);
    b->SetShowLightImage(true);
  }
  if (logoPanel_ != nullptr && windowActive_) logoPanel_->Invalidate();
  if (auto* logo = dynamic_cast<CDeviceKeyButtonUI*>(logoButton_);
      logo != nullptr && logo->IsVisible() && logoLedIndex_ >= 0 && logoLedIndex_ < static_cast<int>(paintFrame_.size())) {
    const LedColour& c = paintFrame_[static_cast<std::size_t>(logoLedIndex_)];
    logo->SetLightColor(LightButtonColour(c));
    logo->SetLightFade(c.alpha);
    logo->SetShowLightImage(true);
  }
  // The "light_" buttons, from the same frame.
  const std::size_t m = std::min(paintFrame_.size(), lightButtons_.size());
  for (std::size_t i = 0; i < m; ++i) {
    CDeviceKeyButtonUI* b = lightButtons_[i];
    if (b == nullptr || !b->IsVisible()) continue;
    b->SetLightColor(LightButtonColour(paintFrame_[i]));
    b->SetLightFade(paintFrame_[i].alpha);
    b->SetShowLightImage(true);
  }
}

namespace {
LedColour Scaled(uint8_t r, uint8_t g, uint8_t b, int intensity) {
  return {r, g, b, static_cast<uint8_t>(std::clamp(intensity, 0, 255))};
}
}  // namespace

void CVarnikMouseDevice::StepMouseWave() {
  const int dir = lightInfo_.fx;
  const int s = preview::kBrightness[Level0to4(lightInfo_.light)];
  auto put = [&](int g, const LedColour& c) {
    for (int8_t led : kLedGroups[static_cast<std::size_t>(g)])
      if (led >= 0 && led < static_cast<int>(ledTable_.size())) ledTable_[static_cast<std::size_t>(led)] = c;
  };
  if (lightInfo_.multiColor) {
    preview_.step = Cycle(dir, preview::kWheelHues, preview_.step, 1);
    int h = (preview_.step + 1) % preview::kWheelHues;
    for (int g = 0; g < 7; ++g, h = (h + 7) % preview::kWheelHues) {
      const auto& w = preview::kWheel[static_cast<std::size_t>(h)];
      put(g, Scaled(w.red, w.green, w.blue, s));
    }
  } else {
    preview_.step = Cycle(dir, kWaveSteps, preview_.step, 1);
    int w = (preview_.step + 1) % kWaveSteps;
    for (int g = 0; g < 7; ++g, w = (w + 7) % kWaveSteps)
      put(g, Scaled(lightInfo_.red, lightInfo_.green, lightInfo_.blue, s * lightfx::kWave[static_cast<std::size_t>(w)] / 256));
  }
}

void CVarnikMouseDevice::StepMouseFlow() {
  const int dir = lightInfo_.fx;
  const int s = preview::kBrightness[Level0to4(lightInfo_.light)];
  preview_.step = Cycle(dir, preview::kWheelHues, preview_.step, 1);
  TriggerFlaggedLeds();
  RotateTriggers(dir);
  const int startLed = dir ? kLedGroups[0][0] : 6;
  for (int g = 0; g < 7; ++g) {
    const int level = DecayLevel(g, lightInfo_.selectItem);
    const auto& group = kLedGroups[static_cast<std::size_t>(g)];
    LedColour c{lightInfo_.red, lightInfo_.green, lightInfo_.blue, 0};
    if (lightInfo_.multiColor) {
      if (Level(kLevelBase + startLed) != 0) {
        c = ledTable_[static_cast<std::size_t>(group[0])];
      } else {
        const auto& w = preview::kWheel[static_cast<std::size_t>((preview_.step + 12 * g) % preview::kWheelHues)];
        c = {w.red, w.green, w.blue, 0};
      }
    }
    c.alpha = static_cast<uint8_t>(s * level / 256);
    for (int8_t led : group)
      if (led >= 0 && led < static_cast<int>(ledTable_.size())) ledTable_[static_cast<std::size_t>(led)] = c;
  }
}

void CVarnikMouseDevice::StepMouseKeyFade() {
  const int s = preview::kBrightness[Level0to4(lightInfo_.light)];
  const int n = std::min<int>(kMouseLightCount, static_cast<int>(ledTable_.size()));
  for (int i = 0; i < n; ++i) {
    uint8_t& state = fadeState_[static_cast<std::size_t>(i)];
    int level = Level(kLevelBase + i);
    if (state == 1) {
      level = std::min(level + kFadeStep, 255);
      if (level == 255) state = 2;
    } else if (state == 2) {
      level = std::max(level - kFadeStep, 0);
      if (level == 0) state = 0;
    }
    SetLevel(kLevelBase + i, static_cast<uint8_t>(level));
    LedColour c{lightInfo_.red, lightInfo_.green, lightInfo_.blue, 0};
    if (lightInfo_.multiColor) {
      const auto& w = preview::kWheel[Level(kHueBase + i)];
      c = {w.red, w.green, w.blue, 0};
    }
    c.alpha = static_cast<uint8_t>(s * level / 256);
    ledTable_[static_cast<std::size_t>(i)] = c;
  }
}

bool CVarnikMouseDevice::RunLightStep(int mode) {
  switch (mode) {
    case 0: StepMouseWave(); return true;
    case 1: StepSpectrum(); return true;
    case 2: StepBreathing(); return true;
    case 3: StepStatic(); return true;
    case 4: StepBlink(); return true;
    case kMouseFlowMode: StepMouseFlow(); return true;
    case kMouseKeyFadeMode: StepMouseKeyFade(); return true;
    case 7: StepBreathingFourColours(); return true;
    case 8: StepBlinkFourColours(); return true;
    case 10: StepOff(); return true;
    default: return false;
  }
}

int CVarnikMouseDevice::LightThreshold() const {
  static constexpr std::array<int, 5> kThresholds = {8, 6, 4, 2, 1};
  static constexpr std::array<int, 5> kFlowThresholds = {16, 12, 8, 4, 2};
  const int mode = lightInfo_.selectItem;
  const auto speed = static_cast<std::size_t>(Level0to4(lightInfo_.speed));
  if (mode == kMouseFlowMode) return kFlowThresholds[speed];
  if (mode <= 8 || mode == 10) return kThresholds[speed];
  return 1;  // the LED effect list: every pass
}

bool CVarnikMouseDevice::LightHoldsStill() const {
  const int mode = lightInfo_.selectItem;
  return mode == 3 || mode == 10 || mode == 9 || mode > 10;
}

// The light thread's view of the page: counts ticks and runs the mode's
// step each time its threshold is reached.
class CVarnikMouseDevice::LightEngine : public ILightEngine {
 public:
  explicit LightEngine(CVarnikMouseDevice& page) : page_(page) {}
  // The page nudges the thread itself after each change.
  void SetChangeNotifier(std::function<void()> /*notify*/) override {}
  int TicksUntilDue() const override {
    std::lock_guard lock(page_.lightMutex_);
    return std::max(lightfx::kFrameTicks, page_.LightThreshold() - ticks_);
  }
  Stepped Advance(int ticks) override {
    std::lock_guard lock(page_.lightMutex_);
    const int threshold = std::max(1, page_.LightThreshold());
    ticks_ += lightfx::ReplayedTicks(ticks);
    if (ticks_ < threshold) return {};
    // Every step that fell due since the last wake-up, the remainder kept.
    for (; ticks_ >= threshold; ticks_ -= threshold)
      if (!page_.RunLightStep(page_.lightInfo_.selectItem)) page_.StepEffectList();
    // Against the frame last reported: writes between steps count as well.
    const bool changed = reported_ != page_.ledTable_;
    if (changed) reported_ = page_.ledTable_;
    return {true, changed};
  }
  // Only the preview shows the mouse's frames.
  bool OutputWanted() const override { return page_.PreviewShown(); }
  bool HoldsStill() const override {
    std::lock_guard lock(page_.lightMutex_);
    return page_.LightHoldsStill();
  }

 private:
  CVarnikMouseDevice& page_;
  int ticks_ = 0;
  std::vector<LedColour> reported_;
};

void CVarnikMouseDevice::StepEffectList() {
  std::lock_guard lock(effectListLock_);
  if (effectList_.empty()) return StepOff();
  // The preview shows the list's first frame in its colour and brightness.
  const LedEffectStep& e = effectList_.front();
  FillAllLeds({e.red, e.green, e.blue, preview::kBrightness[static_cast<std::size_t>(Level0to4(e.brightness))]});
}

void CVarnikMouseDevice::StartLightThread() {
  if (ledTable_.empty()) return;
  if (!lightEngine_) lightEngine_ = std::make_unique<LightEngine>(*this);
  lightThread_.SetEndTrace("MS灯光线程设定退出");
  lightThread_.SetName("kv-light-ms");
  lightThread_.SetFrameHook([this] { LightFrameWritten(); });
  lightThread_.Start(*lightEngine_, &comm_);
}

void CVarnikMouseDevice::StopLightThread() { lightThread_.Stop(); }

void CVarnikMouseDevice::LightDemandChanged() { lightThread_.Nudge(); }

void CVarnikMouseDevice::LightTableChanging() {
  // The thread writes into the table: it may not outlive it.
  lightThread_.Stop();
}

}  // namespace korvale
