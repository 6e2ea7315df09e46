#include "devices/varnik_keyboard_device.h"

#include "devices/macro_download.h"

#include <algorithm>
#include <cstring>

#include "devices/key_codes.h"
#include "devices/varnik_hs6533_device.h"
#include "devices/varnik_mousepad_device.h"
#include "devices/varnik_mouse_device.h"
#include "platform/trace.h"
#include "profiles/json_file.h"
#include "profiles/profile_list.h"
#include "profiles/settings_files.h"
#include "ui/controls.h"
#include "ui/custom_controls.h"
#include "ui/dialog_builder.h"
#include "ui/resource_manager.h"

namespace korvale {

namespace {

constexpr uint8_t kTypeKey = 0x20;
constexpr int kFnPage = 2;
constexpr int kRealKeys = kKeyboardRealKeys;  // keys taking part in downloads

bool IsFnProtected(int key) {
  for (const auto& code : kFnProtectedCodes)
    if (FindKeyboardKey(code) == key) return true;
  return false;
}

int Clamp03(int n) { return n < 0 || n > 3 ? 0 : n; }

// Record bytes that reach the profile, with the largest value each may hold.
struct RecordField {
  std::size_t byte;
  uint8_t max;
  const char* name;
};
constexpr RecordField kCheckedRecordFields[] = {
    {proto::kKbRecBrightness, 4, "brightness"},
    {proto::kKbRecSpeed, 4, "speed"},
    {proto::kKbRecDirection, 1, "direction"},
    {proto::kKbRecMultiColor, 1, "multicolour flag"},
    {proto::kKbRecWKey, 1, "W-key flag"},
    {proto::kKbRecSixKey, 1, "six-key flag"},
    {proto::kKbRecWinLock, 1, "Windows-lock flag"},
    {proto::kKbRecPollingRate, 3, "polling rate"},
    {proto::kKbRecCustomGroup, proto::kCustomGroupCount - 1, "custom colour group"},
};

}  // namespace

std::atomic<int>& CVarnikKeyboardDevice::ProfilesChangedFlag() {
  static std::atomic<int> flag{0};
  return flag;
}

CVarnikKeyboardDevice::CVarnikKeyboardDevice() {
  kind_ = kKindKeyboard;
  keyToPosition_.clear();
  for (int j = 0; j < kKeyboardKeyCount; ++j) {
    keyToPosition_[j] = kNone;
    keyToLed_[j] = kNone;
  }
}

CVarnikKeyboardDevice::~CVarnikKeyboardDevice() {
  FlushProfileSave();
  StopLightThread();
  StopListener(kEventSideCable);
  StopListener(kEventSideReceiver);
}

// ---- page binding ----

void CVarnikKeyboardDevice::InitPage() {
  if (CPaintManagerUI* pm = GetManager()) pm->AddNotifier(this);
  BindPageControls();
}

void CVarnikKeyboardDevice::BindPageControls() {
  if (pageXmlPath_.empty()) {
    ResetToEmptyPage();
    return;
  }
  auto* panel = dynamic_cast<CContainerUI*>(FindChild("keyboard_device_key_light"));
  if (panel == nullptr) return;
  BindButtons(panel);

  BindEditors();
}

// ---- profile ----

void CVarnikKeyboardDevice::ResolveProfilePaths() { ResolvePathsOf(profile_); }

std::string CVarnikKeyboardDevice::GetProfilePath() const { return profile_.GetFilePath().string(); }

void CVarnikKeyboardDevice::SaveProfile() {
  if (readOnly_) return;  // a read-only page changes no file
  profile_.Save();
}

void CVarnikKeyboardDevice::SetModelIndex(int index) {
  modelIndex_ = index;
  profile_.SetDeviceIndex(0);
}

int CVarnikKeyboardDevice::ReloadProfile() {
  // Until a profile list control hands one over, the page works on the
  // profile its folder's list names (created on a first start).
  if (profileName_.empty() && !deviceFolderName_.empty() && !readOnly_) {
    if (auto current = CurrentProfile(deviceFolderName_)) profileName_ = current->uuid;
  }
  // A name that is not a plain file name (it comes from the profile list's
  // file) loads nothing rather than the previous profile or a path outside.
  if (ProfileFilePath(UserDataFolder(), profileName_).empty()) return 0;
  ResolveProfilePaths();
  if (readOnly_ && !JsonElement(JsonMember(ReadJsonFile(profile_.GetFilePath()), "Device"), 0).isObject()) {
    // Loading would rebuild the missing profile from the defaults on disk;
    // a read-only page reads the defaults instead.
    profile_.Load(DefaultProfilePath());
  } else {
    profile_.Load(profile_.GetFilePath());
  }
  keyList_ = profile_.ReadKeyList();
  lightInfo_ = profile_.ReadLightInfo();
  ApplyLighting();
  stages_ = profile_.ReadKeyboardSystemStages();
  fnEditing_ = profile_.ReadFnKeysetFlag();
  return 1;
}

void CVarnikKeyboardDevice::RestoreDefaultProfile() {
  const auto file = profile_.GetFilePath();
  profile_.Load(DefaultProfilePath());
  keyList_ = profile_.ReadKeyList();
  lightInfo_ = profile_.ReadLightInfo();
  ApplyLighting();
  stages_ = profile_.ReadKeyboardSystemStages();
  // The defaults replace the current profile's content, in the current file.
  profile_.SetFilePath(file);
  SaveProfile();
  RefreshPage();
}

// ---- lighting ----

CKeyboardLighting& CVarnikKeyboardDevice::Lighting() {
  if (!lighting_) {
    lighting_ = std::make_unique<CKeyboardLighting>(std::span<LedColour>(ledTable_));
    std::array<uint8_t, CKeyboardLighting::kLeds> map{};
    for (int j = 0; j < CKeyboardLighting::kLeds; ++j)
      map[static_cast<std::size_t>(j)] = static_cast<uint8_t>(KeyToLed(j));
    lighting_->SetKeyToLedMap(map);
    lighting_->SetLightInfo(lightInfo_);
    SyncLightDemand();
  }
  return *lighting_;
}

void CVarnikKeyboardDevice::SyncLightDemand() {
  if (!lighting_) return;
  const bool control = lightingControlActive_.load();
  lighting_->SetOutputs(PreviewShown(), control);
  SetFeedsDeviceFromPaint(control && IsPrimaryOpen() && lighting_->Streams());
}

void CVarnikKeyboardDevice::LightDemandChanged() {
  SyncLightDemand();
  lightThread_.Nudge();
}

void CVarnikKeyboardDevice::LightTableChanging() {
  // The engine and its thread write into the table: neither may outlive it.
  lightThread_.Stop();
  lighting_.reset();
}

int CVarnikKeyboardDevice::ApplyLighting() {
  CKeyboardLighting& engine = Lighting();
  engine.SetLightInfo(lightInfo_);
  engine.SetAudioLightInfo(profile_.ReadAudioLightInfo());
  engine.SetCustomTable(profile_.ReadLightList());
  engine.SetEffectList(profile_.ReadLedEffects());
  if (lightInfo_.selectItem == CKeyboardLighting::kModeCustom) {
    // The group the colours come from is the group they are written to.
    const int group = std::clamp(profile_.ReadCustomGroupIndex(), 0, 255);
    engine.SetCustomGroup(group);
    engine.SetCustomColours(profile_.ReadCustomColours(group, lightCount_));
    if (MayWriteCustomColours()) engine.WriteCustomColoursToDevice(comm_, positions_);
  }
  const int r = engine.Apply();
  SyncLightDemand();
  lightThread_.Nudge();
  return r;
}

void CVarnikKeyboardDevice::SetCustomGroup(int group) {
  if (group < 0 || group > 255) {
    Trace("keyboard: custom colour group %d refused", group);
    return;
  }
  if (auto* editor = FindHooks<ILightEditorHooks>("LightControlItem")) editor->SelectCustomGroup(group);
  profile_.WriteCustomGroupIndex(group);
  Lighting().SetCustomGroup(group);
  SaveProfile();
}

void CVarnikKeyboardDevice::ReloadCustomColours() {
  CKeyboardLighting& engine = Lighting();
  const int group = std::clamp(profile_.ReadCustomGroupIndex(), 0, 255);
  engine.SetCustomGroup(group);
  engine.SetCustomColours(profile_.ReadCustomColours(group, lightCount_));
  if (MayWriteCustomColours()) engine.WriteCustomColoursToDevice(comm_, positions_);
  lightThread_.Nudge();
}

void CVarnikKeyboardDevice::FillCustomColours(bool on) {
  CKeyboardLighting& engine = Lighting();
  engine.FillCustomColours(on);
  auto* editor = FindHooks<ILightEditorHooks>("LightControlItem");
  const int group = editor != nullptr ? editor->GetCustomGroup() : -1;
  // The keyboard's group and the profile's are the editor's one.
  if (group >= 0) engine.SetCustomGroup(group);
  if (MayWriteCustomColours()) engine.WriteCustomColoursToDevice(comm_, positions_);
  if (group >= 0) {
    std::vector<LedColour> table(static_cast<std::size_t>(lightCount_));
    engine.Snapshot(table);
    profile_.WriteCustomColours(table, group);
    SaveProfile();
  }
  lightThread_.Nudge();
}

void CVarnikKeyboardDevice::ResetEffectState() {
  CKeyboardLighting& engine = Lighting();
  engine.SetLightInfo(lightInfo_);
  engine.InitMode();
  if (lightInfo_.selectItem == CKeyboardLighting::kModeCustom && IsPrimaryOpen() && positions_ > 0) {
    // The keyboard's group as its record names it: read from there, kept in
    // the profile, and written back there (never another group).
    const int group = lightInfo_.customGroup;
    engine.SetCustomGroup(group);
    if (readOnly_) {
      engine.ReadCustomColoursFromDevice(comm_, positions_);
    } else {
      profile_.WriteCustomGroupIndex(group);
      engine.SyncCustomColoursFromDevice(profile_, comm_, positions_);
    }
  }
  SyncLightDemand();
  lightThread_.Nudge();
}

bool CVarnikKeyboardDevice::MayWriteCustomColours() const {
  // Before the keyboard's own colours have been read (its record names the
  // group), a write could only put the profile's over them.
  return !readOnly_ && IsPrimaryOpen() && positions_ > 0 && recordIndex_ >= 0;
}

void CVarnikKeyboardDevice::ReactToKey(int key, int action) {
  if (action == 1 || action == 2) Lighting().OnKeyEvent(key, action == 1);
}

void CVarnikKeyboardDevice::StartLightThread() {
  if (ledTable_.empty()) return;
  lightThread_.SetName("kv-light-kb");
  lightThread_.SetFrameHook([this] { LightFrameWritten(); });
  lightThread_.Start(Lighting(), &comm_);
}

void CVarnikKeyboardDevice::StopLightThread() { lightThread_.Stop(); }

void CVarnikKeyboardDevice::PaintLights() {
  if (!lightingControlActive_ || ledTable_.empty()) return;
  // A consistent copy: the light thread keeps writing the table meanwhile.
  paintFrame_.resize(ledTable_.size());
  Lighting().Snapshot(paintFrame_);
  const std::size_t n = std::min(paintFrame_.size(), lightButtons_.size());
  for (std::size_t i = 0; i < n; ++i) {
    CDeviceKeyButtonUI* button = lightButtons_[i];
    if (button == nullptr) continue;
    const bool shown = button->IsVisible() && functionPage_ == 1;
    const LedColour c = shown ? paintFrame_[i] : LedColour{};
    button->SetLightColor(LightButtonColour(c));
    button->SetLightFade(c.alpha);
    button->SetShowLightImage(true);
  }
  if (IsPrimaryOpen() && positions_ > 0) Lighting().StreamIfDue(comm_, positions_);
}

void CVarnikKeyboardDevice::FeedAudioSpectrum(const int* values, int count) {
  if (values != nullptr && count > 0) Lighting().FeedAudioSpectrum(values, count * static_cast<int>(sizeof(int)));
}

void CVarnikKeyboardDevice::FeedAudioColours(const uint32_t* values, int count) {
  if (values != nullptr && count > 0)
    Lighting().FeedAudioColours(reinterpret_cast<const int32_t*>(values), count);
}

void CVarnikKeyboardDevice::SetLightInfo(const std::array<uint32_t, 5>& words) {
  lightInfo_ = LightInfo::FromWords(words);
  profile_.WriteLightInfo(lightInfo_);
}

void CVarnikKeyboardDevice::SetAudioLightColours(uint32_t a, uint32_t b, uint32_t c) {
  CVarnikUSBDevice::SetAudioLightColours(a, b, c);
  profile_.WriteAudioLightInfo(std::array<uint32_t, 3>{a, b, c});
}

std::array<uint32_t, 3> CVarnikKeyboardDevice::GetAudioLightColours() {
  return CVarnikUSBDevice::GetAudioLightColours();
}

void CVarnikKeyboardDevice::SetSystemSettings(uint32_t word0, uint32_t word1, uint32_t word2,
                                              uint16_t half3) {
  stages_.words = {word0, word1, word2, half3};
  profile_.WriteKeyboardSystemStages(stages_);
}

void CVarnikKeyboardDevice::SetKeyEntry(const std::array<uint32_t, 4>& words, uint16_t half) {
  if (selectedKey_ < 0 || selectedKey_ >= static_cast<int>(keyList_.size())) {
    Trace("%s: no selected key for a key entry", deviceFolderName_.c_str());
    return;
  }
  keyList_[static_cast<std::size_t>(selectedKey_)] = KeyRecordFromWords(words, half);
  profile_.WriteKeyList(keyList_);
}

void CVarnikKeyboardDevice::SetKeyList(const std::vector<KeyRecord>& list) {
  keyList_ = list;
  profile_.WriteKeyList(keyList_);
}

void CVarnikKeyboardDevice::SetSecondaryKeyList(const std::vector<KeyRecord>& list) {
  secondaryKeyList_ = list;
  profile_.WriteSecondaryKeyList(secondaryKeyList_);
}

void CVarnikKeyboardDevice::LoadEffectLists() { LoadStandardEffectLists(); }

// ---- reading the device ----

int CVarnikKeyboardDevice::ReadDeviceTables() {
  if (!IsPrimaryOpen()) return 0;
  keyTablesRead_ = false;  // until this read succeeds, downloads have nothing to start from
  int r = comm_.BeginConfig();
  if (r != CMD_OK) return r;
  r = comm_.ReadInfo(deviceInfo_.data());
  if (r != CMD_OK) {
    comm_.EndConfig(1);
    return r;
  }
  const int positions = deviceInfo_[proto::kInfoKeyCount];
  if (comm_.SetTransferLength(static_cast<uint32_t>(positions) * 3) != 1) {
    Trace("keyboard: %d key positions do not fit the key tables", positions);
    comm_.EndConfig(1);
    return 0;
  }
  std::array<uint8_t, proto::kKeyTableSize> codes{};
  std::array<uint8_t, proto::kLedTableSize> leds{};
  r = comm_.ReadKeyTable(codes.data());
  if (r == CMD_OK) r = comm_.ReadLedTable(leds.data());
  comm_.EndConfig(1);
  if (r != CMD_OK) return r;
  keyCodeTable_ = codes;
  ledIndexTable_ = leds;
  positions_ = positions;
  keyTablesRead_ = true;
  BuildKeyMaps(positions);
  if (lighting_) {
    std::array<uint8_t, CKeyboardLighting::kLeds> map{};
    for (int j = 0; j < CKeyboardLighting::kLeds; ++j)
      map[static_cast<std::size_t>(j)] = static_cast<uint8_t>(KeyToLed(j));
    lighting_->SetKeyToLedMap(map);
  }
  return CMD_OK;
}

void CVarnikKeyboardDevice::BuildKeyMaps(int positions) {
  positions = std::min(positions, static_cast<int>(proto::kKeyTableSize / 3));
  for (int j = 0; j < kKeyboardKeyCount; ++j) {
    keyToPosition_[j] = kNone;
    keyToLed_[j] = kNone;
    const AssignmentCode want = kKeyboardDefaultCodes[static_cast<std::size_t>(j)];
    for (int k = 0; k < positions; ++k) {
      if (CodeAt(keyCodeTable_, k) == want) {
        keyToPosition_[j] = k;
        keyToLed_[j] = ledIndexTable_[static_cast<std::size_t>(k)];
        break;
      }
    }
  }
}

int CVarnikKeyboardDevice::KeyToPosition(int key) const {
  auto it = keyToPosition_.find(key);
  return it == keyToPosition_.end() ? kNone : it->second;
}

int CVarnikKeyboardDevice::KeyToLed(int key) const {
  auto it = keyToLed_.find(key);
  return it == keyToLed_.end() ? kNone : it->second;
}

int CVarnikKeyboardDevice::ReadDeviceConfig() {
  comm_.lightSync = 0;
  if (!IsPrimaryOpen()) return -1;
  std::array<uint8_t, proto::kKeyboardRecordSize> record{};
  const int indexBefore = recordIndex_;
  const int read = ReadActiveRecord(record.data(), record.size(), proto::kKeyboardRecordSize);
  if (read < 0) return -1;
  const auto active = static_cast<uint8_t>(read);
  // A field outside its range means the answer is not a record: none of it
  // reaches the page or the profile, and writes still go where the kept record came from.
  for (const RecordField& f : kCheckedRecordFields) {
    if (record[f.byte] > f.max) {
      Trace("keyboard: record %u refused: %s is %u (at most %u)", active, f.name, record[f.byte], f.max);
      recordIndex_ = indexBefore;
      return -1;
    }
  }

  activeProfile_ = active;
  record[proto::kKbRecProfile] = active;
  const int value = record[proto::kKbRecMode];
  auto it = std::find(effectValues_.begin(), effectValues_.end(), value);
  if (it != effectValues_.end()) {
    record[proto::kKbRecMode] = static_cast<uint8_t>(it - effectValues_.begin());
  } else if (value != proto::kKbModeApplicationDriven && !effectValues_.empty()) {
    // A mode this page does not know keeps the page's effect, as the
    // application-driven modes do.
    Trace("keyboard: mode value %d is not in the effect list; the selected effect stays", value);
    record[proto::kKbRecMode] = proto::kKbModeApplicationDriven;
  }
  record[proto::kKbRecAlwaysZero] = 0;
  record_ = record;

  current_.modeIndex = record[proto::kKbRecMode];
  current_.brightness = record[proto::kKbRecBrightness];
  current_.speed = static_cast<uint8_t>(4 - record[proto::kKbRecSpeed]);
  current_.direction = record[proto::kKbRecDirection];
  current_.multiColor = record[proto::kKbRecMultiColor];
  current_.red = record[proto::kKbRecRed];
  current_.green = record[proto::kKbRecGreen];
  current_.blue = record[proto::kKbRecBlue];
  current_.zzccLedMode = record[proto::kKbRecZzccLedMode];
  current_.customGroup = record[proto::kKbRecCustomGroup];

  const uint8_t before = lightInfo_.selectItem;
  if (current_.modeIndex == proto::kKbModeApplicationDriven)
    current_.modeIndex = lightInfo_.selectItem;
  else
    lightInfo_.selectItem = current_.modeIndex;
  lightInfo_.light = current_.brightness;
  lightInfo_.speed = current_.speed;
  lightInfo_.fx = current_.direction;
  lightInfo_.multiColor = current_.multiColor;
  lightInfo_.red = current_.red;
  lightInfo_.green = current_.green;
  lightInfo_.blue = current_.blue;
  lightInfo_.zzccLedMode = current_.zzccLedMode;
  lightInfo_.customGroup = current_.customGroup;
  if (lighting_) lighting_->SetLightInfo(lightInfo_);
  SyncLightDemand();
  if (lightInfo_.selectItem != before || lightInfo_.selectItem == CKeyboardLighting::kModeCustom)
    ResetEffectState();

  const uint32_t w1 = (stages_.words[1] & 0xFFFF0000u) | record[proto::kKbRecSixKey];
  const uint32_t w2 = uint32_t{record[proto::kKbRecWKey]} | uint32_t{record[proto::kKbRecWinLock]} << 16;
  stages_.words[1] = w1;
  stages_.words[2] = w2;
  profile_.WriteKeyboardSystemStages(stages_);
  profile_.WriteLightInfo(lightInfo_);
  SaveProfile();
  return active;
}

// ---- writing the device ----

int CVarnikKeyboardDevice::WriteDeviceConfig(int, int, int, int, int) {
  // The record goes back where it was read (the active record r, byte 0 = r),
  // whatever index the caller names: writing another index would move the
  // keyboard to that onboard profile and overwrite it.
  if (!IsPrimaryOpen()) return 0;
  std::array<uint8_t, proto::kKeyboardRecordSize> out = record_;
  out[proto::kKbRecWKey] = static_cast<uint8_t>(stages_.WFlag());
  out[proto::kKbRecSixKey] = static_cast<uint8_t>(stages_.Key6Flag());
  out[proto::kKbRecWinLock] = static_cast<uint8_t>(stages_.WinFlag());
  out[proto::kKbRecPollingRate] = static_cast<uint8_t>(stages_.PollingRate());
  const LightInfo info = profile_.GetLightInfo();
  if (info.selectItem < effectValues_.size())
    out[proto::kKbRecMode] = static_cast<uint8_t>(effectValues_[info.selectItem]);
  else
    Trace("keyboard: effect %u is not in the effect list; mode byte kept", info.selectItem);
  out[proto::kKbRecBrightness] = info.light;
  out[proto::kKbRecSpeed] = static_cast<uint8_t>(4 - info.speed);
  out[proto::kKbRecDirection] = info.fx;
  out[proto::kKbRecMultiColor] = info.multiColor;
  out[proto::kKbRecRed] = info.red;
  out[proto::kKbRecGreen] = info.green;
  out[proto::kKbRecBlue] = info.blue;
  out[proto::kKbRecAlwaysZero] = 0;
  out[proto::kKbRecZzccLedMode] = info.zzccLedMode;
  out[proto::kKbRecCustomGroup] = info.customGroup;
  if (out[proto::kKbRecMode] == proto::kKbModeStreamA || out[proto::kKbRecMode] == proto::kKbModeStreamB)
    out[proto::kKbRecMode] = proto::kKbModeApplicationDriven;
  return WriteActiveRecord(out.data(), out.size(), proto::kKeyboardRecordSize);
}

bool CVarnikKeyboardDevice::KeyTablesKnown(const char* what) const {
  if (keyTablesRead_) return true;
  // Both tables start from the keyboard's own codes: without them the
  // download would write zeros over every key the list does not name.
  Trace("keyboard: %s refused: the key tables have not been read from the keyboard", what);
  return false;
}

int CVarnikKeyboardDevice::WriteKeyAssignments(int profile, const std::vector<KeyRecord>& keys) {
  if (!IsPrimaryOpen()) return 0;
  if (!KeyTablesKnown("key download")) return CMD_NOT_READ;
  int r = comm_.ReadInfo(deviceInfo_.data());
  if (r != CMD_OK) return r;
  std::array<uint8_t, proto::kKeyTableSize> normal = keyCodeTable_;
  std::array<uint8_t, proto::kKeyTableSize> fnLayer = keyCodeTable_;
  const int macroCount = MacroCountOnDisk();
  std::vector<uint8_t> download;
  const int last = std::min<int>(kRealKeys, static_cast<int>(keys.size()));
  for (int i = 0; i < last; ++i) {
    const int u = KeyToPosition(i);
    if (u == kNone) continue;
    KeyRecord k = keys[static_cast<std::size_t>(i)];
    if (IsMacroCode(k.normal.code)) {
      if (k.normal.code.value1 < macroCount) {
        k.normal.code.value1 = DownloadIndex(download, k.normal.code.value1);
      } else {
        k.normal.code = k.defaultKey.code;
        k.normal.keyIndex = k.defaultKey.keyIndex;
      }
    }
    if (IsMacroCode(k.fn.code)) {
      if (k.fn.code.value1 < macroCount) {
        k.fn.code.value1 = DownloadIndex(download, k.fn.code.value1);
      } else {
        k.fn.keyIndex = k.defaultKey.keyIndex;
        k.fn.code = {};
      }
    }
    PutCode(fnLayer, u, k.fn.code == k.defaultKey.code ? AssignmentCode{} : k.fn.code);
    PutCode(normal, u, k.normal.code);
  }
  int result = comm_.BeginConfig();
  if (result == CMD_OK) result = comm_.WriteKeyTable(normal.data(), profile);
  if (result == CMD_OK) result = comm_.WriteFnKeyTable(fnLayer.data(), profile);
  const int end = comm_.EndConfig(1);
  return result == CMD_OK ? end : result;
}

int CVarnikKeyboardDevice::ApplyKeyAssignments(int profile) { return WriteKeyAssignments(profile, keyList_); }

int CVarnikKeyboardDevice::ApplySecondaryKeyAssignments(int profile) {
  return WriteSecondaryKeyTable(profile, secondaryKeyList_);
}

int CVarnikKeyboardDevice::WriteSecondaryKeyTable(int profile, const std::vector<KeyRecord>& keys) {
  if (!IsPrimaryOpen()) return 0;
  if (!KeyTablesKnown("third key table download")) return CMD_NOT_READ;
  int r = comm_.ReadInfo(deviceInfo_.data());
  if (r != CMD_OK) return r;
  std::array<uint8_t, proto::kKeyTableSize> table = thirdTable_;
  std::vector<KeyRecord> list = keys;
  for (const auto& [key, position] : keyToPosition_) {
    if (position == kNone || key >= static_cast<int>(list.size())) continue;
    KeyRecord& k = list[static_cast<std::size_t>(key)];
    const bool marked = k.normal.code.type != 0 && key != secondarySelectedKey_;
    if (marked)
      PutCode(table, position, k.normal.code);
    else
      k.normal.code = CodeAt(table, position);
  }
  int result = comm_.BeginConfig();
  if (result == CMD_OK) result = comm_.WriteKeyTable3(table.data(), profile);
  const int end = comm_.EndConfig(1);
  if (result == CMD_OK && end == CMD_OK) thirdTable_ = table;
  return result == CMD_OK ? end : result;
}

std::vector<int> CVarnikKeyboardDevice::CollectUsedMacros() {
  return CollectMacroNumbers(keyList_, kRealKeys, [this](int key) { return KeyToPosition(key) != kNone; },
                             MacroCountOnDisk(), true);
}

int CVarnikKeyboardDevice::DownloadMacros(const std::vector<int>& macros) {
  lastMacroDownload_ = DownloadMacroImage(comm_, deviceInfo_, UserDataFolder(), macros);
  if (lastMacroDownload_.result != 0) Trace("macro download: %s", lastMacroDownload_.message.c_str());
  return lastMacroDownload_.result;
}

void CVarnikKeyboardDevice::RevalidateMacroKeys() {
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
  LoadEffectLists();
}

// ---- connection and events ----

void CVarnikKeyboardDevice::OnConnected() {
  ReadDeviceTables();
  ReloadProfile();
  ReadDeviceConfig();
  RefreshPage();
  StartLightThread();
}

void CVarnikKeyboardDevice::OnResync() {
  if (ProfilesChangedFlag().load() == proto::kEventProfilesChanged) {
    if (auto* list = FindHooks<IProfileListHooks>("DeviceProfileItem")) list->ReloadList();
    ReloadProfile();
    ResetKeyButtons();
    ProfilesChangedFlag() = 0;
  }
  ReadDeviceConfig();
  RefreshPage();
}

bool CVarnikKeyboardDevice::IsWirelessLinkUp() { return ReceiverLinkUp(); }

void CVarnikKeyboardDevice::PollWirelessStatus() { PollStatusToDisplay(); }

void CVarnikKeyboardDevice::OnKeyEvent(int position, int action) {
  if (action != 1 && action != 2) return;
  for (const auto& [key, pos] : keyToPosition_) {
    if (pos == position) {
      ReactToKey(key, action);
      return;
    }
  }
}

bool CVarnikKeyboardDevice::OpenEventChannel(const std::string& path, int kind) {
  return OpenListenedChannel(path, kind);
}

void CVarnikKeyboardDevice::CloseEventChannel(int kind) { CloseListenedChannel(kind); }

void CVarnikKeyboardDevice::HandleEventCode(uint16_t code) {
  if (code == proto::kEventResync || code == proto::kEventProfilesChanged) {
    if (code == proto::kEventProfilesChanged) ProfilesChangedFlag() = proto::kEventProfilesChanged;
    Trace("接收到自动添加设备的同步信息要求");
    RequestResync();
  } else if (code >= proto::kEventKeyDown && code < proto::kEventKeyDown + 0x100) {
    RunOnUi([this, code] { OnKeyEvent(code - proto::kEventKeyDown, 1); });
  } else if (code >= proto::kEventKeyUp && code < proto::kEventKeyUp + 0x100) {
    RunOnUi([this, code] { OnKeyEvent(code - proto::kEventKeyUp, 2); });
  } else if (code > proto::kEventProfilesChanged) {
    RunOnUi([this, code] {
      const int high = code >> 8;
      if (!IsPrimaryOpen() || (high != (proto::kEventProfile >> 8) && high != (proto::kEventProfileEx >> 8)))
        return;
      activeProfile_ = static_cast<uint8_t>(code & 0x0F);
      if (high == (proto::kEventProfileEx >> 8))
        record_[proto::kKbRecProfileEventValue] = static_cast<uint8_t>((code >> 4) & 0x0F);
      RefreshPage();
    });
  }
}

// ---- the page ----

std::string CVarnikKeyboardDevice::LabelForCode(const AssignmentCode& code) {
  if (IsMacroCode(code)) {
    return code.value1 < macroNames_.size() ? macroNames_[code.value1] : std::string();
  }
  auto* editor = FindHooks<IKeyEditorHooks>("KeySetControlItem");
  if (code.type == 0x00 || code.type == kTypeKey) {
    if (code.value1 == 0 && code.value2 == 0) return Localise("close_text");
    if (editor == nullptr) return {};
    const std::string whole = editor->NameOfCode({kTypeKey, code.value1, code.value2});
    if (!whole.empty()) return Localise(whole);
    std::string joined;
    auto add = [&](const AssignmentCode& part) {
      const std::string id = editor->NameOfCode(part);
      if (id.empty()) return;
      if (!joined.empty()) joined += "+";
      joined += Localise(id);
    };
    for (int bit = 0; bit < 8; ++bit)
      if (code.value1 & (1u << bit)) add({kTypeKey, static_cast<uint8_t>(1u << bit), 0});
    if (code.value2 != 0) add({kTypeKey, 0, code.value2});
    return joined;
  }
  if (editor != nullptr) {
    const std::string id = editor->NameOfCode(code);
    if (!id.empty()) return Localise(id);
  }
  return "关闭";
}

void CVarnikKeyboardDevice::RefreshKeyLabels() {
  const std::size_t n = std::min(keyList_.size(), keyButtons_.size());
  for (std::size_t i = 0; i < n; ++i) {
    CDeviceKeyButtonUI* button = keyButtons_[i];
    if (button == nullptr) continue;
    const KeyRecord& r = keyList_[i];
    const std::string label = LabelForCode(ShownCode(r));
    const std::string title = LabelForCode(r.defaultKey.code);
    button->SetToolTip(title + "\n" + Localise("Key_Set") + label);
    button->SetKeyUnsetFlag(label == title);  // the flag on hides the badge
  }
}

void CVarnikKeyboardDevice::ResetKeyButtons() {
  for (CDeviceKeyButtonUI* b : keyButtons_) {
    if (b == nullptr) continue;
    b->SetKeyUnsetFlag(true);
    b->SetKeySetFlag(true);
    b->SetSelected(false);
  }
}

void CVarnikKeyboardDevice::MarkChangedKeys() {
  const std::size_t n = std::min(keyList_.size(), keyButtons_.size());
  for (std::size_t i = 0; i < n; ++i) {
    CDeviceKeyButtonUI* b = keyButtons_[i];
    if (b == nullptr) continue;
    const KeyRecord& r = keyList_[i];
    b->SetKeyUnsetFlag(ShownCode(r) == r.defaultKey.code);
    b->SetKeySetFlag(true);
    b->SetSelected(false);
  }
}

void CVarnikKeyboardDevice::SelectKey(int key) {
  selectedKey_ = key;
  if (CControlUI* editor = FindChild("KeySetControlItem")) editor->SetVisible(true);
  if (key < 0 || key >= static_cast<int>(keyList_.size())) return;
  const std::size_t n = std::min(keyList_.size(), keyButtons_.size());
  for (std::size_t i = 0; i < n; ++i) {
    CDeviceKeyButtonUI* b = keyButtons_[i];
    if (b == nullptr) continue;
    const KeyRecord& r = keyList_[i];
    const bool changed = !(ShownCode(r) == r.defaultKey.code);
    const bool isKey = static_cast<int>(i) == key;
    if (b->IsSelected()) {
      if (!changed) {
        b->SetSelected(false);
        b->SetKeySetFlag(true);
      }
      if (isKey && changed) {
        b->SetSelected(true);
        b->SetKeySetFlag(false);
      }
    } else if (isKey) {
      b->SetSelected(true);
      b->SetKeySetFlag(false);
    }
  }
  if (auto* editor = FindHooks<IKeyEditorHooks>("KeySetControlItem"))
    editor->OpenForKey(key, keyList_[static_cast<std::size_t>(key)], fnEditing_ != 0);
}

void CVarnikKeyboardDevice::SelectSecondaryKey(int key) {
  secondarySelectedKey_ = key;
  if (key < 0 || key >= static_cast<int>(secondaryKeyList_.size())) return;
  const std::size_t n = std::min(secondaryKeyList_.size(), keyButtons_.size());
  for (std::size_t i = 0; i < n; ++i) {
    CDeviceKeyButtonUI* b = keyButtons_[i];
    if (b == nullptr) continue;
    const KeyRecord& r = secondaryKeyList_[i];
    const bool changed = !(r.normal.code == r.defaultKey.code);
    const bool isKey = static_cast<int>(i) == key;
    if (b->IsSelected()) {
      if (!changed) {
        b->SetSelected(false);
        b->SetKeySetFlag(true);
      }
      if (isKey && changed) b->SetKeySetFlag(false);
    } else if (isKey) {
      b->SetSelected(true);
      b->SetKeySetFlag(false);
    }
  }
}

void CVarnikKeyboardDevice::ApplyKeyEnabling() {
  for (std::size_t i = 0; i < keyButtons_.size(); ++i) {
    CDeviceKeyButtonUI* b = keyButtons_[i];
    if (b == nullptr) continue;
    bool enabled = true;
    if (functionPage_ == kFnPage) {
      const int key = static_cast<int>(i);
      enabled = key != kFnKey && !(fnEditing_ && IsFnProtected(key));
    }
    b->SetEnabled(enabled);
  }
}

void CVarnikKeyboardDevice::ShowFunctionPage(int type) {
  CVarnikUSBDevice::ShowFunctionPage(type);
  if (CControlUI* layout = FindChild("Keyset_Fn_Layout")) layout->SetVisible(false);
  ApplyKeyEnabling();
  if (type == 3 || type == 4)
    if (auto* display = dynamic_cast<IPowerDisplayHooks*>(powerDisplay_)) display->Refresh();
}

void CVarnikKeyboardDevice::RefreshPage() {
  LoadEffectLists();
  RefreshKeyLabels();
  if (auto* editor = FindHooks<ILightEditorHooks>("LightControlItem")) {
    editor->ShowLightInfo(lightInfo_);
    editor->SetAudioColours(audioWords_[0], audioWords_[1], audioWords_[2]);
  }
  SetCustomGroup(lightInfo_.customGroup);
  ShowWinLock(stages_.WinFlag() != 0);
  ShowWKey(stages_.WFlag() != 0);
  ShowSixKey(stages_.Key6Flag() != 0);
  ShowRepeatRate(stages_.Repeat());
  ShowRepeatDelay(stages_.RepeatDelay());
  if (CControlUI* edit = FindChild("repeat_input_richedit")) {
    edit->SetText("");
    edit->SetAttribute("tipvalue", Localise("Repeat_input_text"));
  }
  ShowPollingRate(stages_.PollingRate());
  ShowVoiceSensitivity(lightInfo_.voiceSensitivity);
  ShowFnEditing();
  ApplyKeyEnabling();
}

namespace {
COptionUI* FindOption(CControlUI* root, std::string_view name) {
  auto* c = dynamic_cast<CContainerUI*>(root);
  return c ? dynamic_cast<COptionUI*>(c->FindSubControl(name)) : nullptr;
}
}  // namespace

void CVarnikKeyboardDevice::ShowPollingRate(int n) {
  n = Clamp03(n);
  for (int i = 0; i < 4; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "%s%d", "polling_rate_option_", i);
    if (COptionUI* o = FindOption(this, name)) o->Selected(i == n, false);
  }
}

void CVarnikKeyboardDevice::ShowRepeatDelay(int n) {
  n = Clamp03(n);
  for (int i = 0; i < 4; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "%s%d", "repeat_delay_check_", i);
    if (COptionUI* o = FindOption(this, name)) o->Selected(i == n, false);
  }
  if (CControlUI* label = FindChild("repeat_delay_time_label1"))
    label->SetText(Localise("Repeat_Delay_Time") + std::to_string(250 + 250 * n) + "ms");
}

void CVarnikKeyboardDevice::ShowWinLock(bool on) {
  if (COptionUI* o = FindOption(this, "winlockflag_option")) o->Selected(on, false);
}
void CVarnikKeyboardDevice::ShowWKey(bool on) {
  if (COptionUI* o = FindOption(this, "wflag_option")) o->Selected(on, false);
}
void CVarnikKeyboardDevice::ShowSixKey(bool on) {
  if (COptionUI* o = FindOption(this, "6flag_option")) o->Selected(on, false);
}
void CVarnikKeyboardDevice::ShowRepeatRate(int n) {
  if (auto* s = dynamic_cast<CProgressUI*>(FindChild("repeat_rate_slider"))) s->SetValue(n);
}
void CVarnikKeyboardDevice::ShowVoiceSensitivity(int n) {
  if (auto* s = dynamic_cast<CProgressUI*>(FindChild("voice_sensitivity"))) s->SetValue(n);
  if (CControlUI* label = FindChild("voice_sensitivity_value")) label->SetText(std::to_string(n));
}
void CVarnikKeyboardDevice::SetFnEditing(bool on) {
  fnEditing_ = on ? 1 : 0;
  profile_.WriteFnKeysetFlag(on ? 1 : 0);
  ApplyKeyEnabling();
  RefreshKeyLabels();
}

void CVarnikKeyboardDevice::ShowFnEditing() {
  if (COptionUI* o = FindOption(this, "keyset_fn")) o->Selected(fnEditing_ != 0, false);
}

bool CVarnikKeyboardDevice::GetWinLockOption() const {
  const COptionUI* o = FindOption(const_cast<CVarnikKeyboardDevice*>(this), "winlockflag_option");
  return o != nullptr && o->IsSelected();
}
bool CVarnikKeyboardDevice::GetWKeyOption() const {
  const COptionUI* o = FindOption(const_cast<CVarnikKeyboardDevice*>(this), "wflag_option");
  return o != nullptr && o->IsSelected();
}
bool CVarnikKeyboardDevice::GetSixKeyOption() const {
  const COptionUI* o = FindOption(const_cast<CVarnikKeyboardDevice*>(this), "6flag_option");
  return o != nullptr && o->IsSelected();
}
int CVarnikKeyboardDevice::GetRepeatRate() const {
  auto* s = dynamic_cast<CProgressUI*>(FindChild("repeat_rate_slider"));
  return s ? s->GetValue() : 0;
}
int CVarnikKeyboardDevice::GetVoiceSensitivity() const {
  auto* s = dynamic_cast<CProgressUI*>(FindChild("voice_sensitivity"));
  return s ? s->GetValue() : 20;
}

// ---- registration ----

std::map<std::string, std::function<CControlUI*()>> DeviceControlCreators() {
  return {
      {"CVarnikUSBDevice", [] { return static_cast<CControlUI*>(new CVarnikUSBDevice()); }},
      {"CVarnikKeyboardDevice", [] { return static_cast<CControlUI*>(new CVarnikKeyboardDevice()); }},
      {"CVarnikMousePadDevice", [] { return static_cast<CControlUI*>(new CVarnikMousePadDevice()); }},
      {"CVarnikHS6533Device", [] { return static_cast<CControlUI*>(new CVarnikHS6533Device()); }},
      {"CVarnikMouseDevice", [] { return static_cast<CControlUI*>(new CVarnikMouseDevice()); }},
  };
}

void RegisterDeviceControls() {
  CControlFactory& factory = CControlFactory::GetInstance();
  for (const auto& [name, create] : DeviceControlCreators()) {
    factory.RegistControl(name, create);
    factory.RegistControl(std::string_view(name).substr(1), create);  // the skin element name
  }
}

}  // namespace korvale
