#include "profiles/basic_profiledata.h"

#include "platform/atomic_file.h"
#include "platform/paths.h"
#include "platform/trace.h"
#include "profiles/json_file.h"

namespace korvale {
namespace fs = std::filesystem;

namespace {
uint8_t Byte(const Json::Value& section, const char* key) {
  return static_cast<uint8_t>(JsonInt(JsonMember(section, key)));
}
uint8_t FlagByte(const Json::Value& section, const char* key) {
  return JsonFlag(JsonMember(section, key)) ? 1 : 0;
}
}  // namespace

void CBasicProfiledata::SetFilePath(const fs::path& path) {
  if (!path.empty()) filePath_ = path;
}

void CBasicProfiledata::SetDefaultPath(const fs::path& path) {
  if (!path.empty()) defaultPath_ = path;
}

bool CBasicProfiledata::Save() { return StoreDocument(document_, filePath_); }

bool CBasicProfiledata::SaveSecondary(const fs::path& path) { return StoreDocument(secondary_, path); }

Json::Value& CBasicProfiledata::ReadFileCached(const fs::path& path) {
  std::optional<std::string> bytes = ReadFileBytes(path, kMaxJsonFileBytes);
  if (path != cache_.path || !bytes || bytes != cache_.bytes) {
    cache_.file = ParseJsonFileBytes(bytes, path);
    cache_.path = path;
    cache_.bytes = std::move(bytes);
  }
  return cache_.file;
}

bool CBasicProfiledata::WriteFileCached(const fs::path& path, const Json::Value& document) {
  Json::Value& file = ReadFileCached(path);
  JsonArrayAt(JsonObjectAt(file, "Device"), static_cast<std::size_t>(deviceIndex_)) = document;
  std::string text = StyledJsonText(file);
  if (!WriteFileAtomic(path, text)) {
    Trace("writejsonFile: %s not written, old file kept", path.c_str());
    cache_ = FileCache{};
    return false;
  }
  // Parsing what was just written gives this document again.
  cache_.bytes = std::move(text);
  return true;
}

bool CBasicProfiledata::StoreDocument(const Json::Value& document, const fs::path& path) {
  if (path.empty()) {
    Trace("profile: save without a file path");
    return false;
  }
  if (!DeviceIndexValid()) {
    Trace("profile: device index %d out of range, not saved", deviceIndex_);
    return false;
  }
  return WriteFileCached(path, document);
}

bool CBasicProfiledata::WriteDocument(const Json::Value& document, const fs::path& path) {
  return TryWriteJsonFile(path, document);
}

const Json::Value& CBasicProfiledata::LoadInto(const fs::path& path, Json::Value& target) {
  if (!DeviceIndexValid()) {
    Trace("profile: device index %d out of range", deviceIndex_);
    target = Json::Value();
    return target;
  }
  const auto idx = static_cast<std::size_t>(deviceIndex_);
  target = JsonElement(JsonMember(ReadFileCached(path), "Device"), idx);
  if (target.isNull()) {
    const Json::Value def = ReadJsonFile(defaultPath_);
    const Json::Value& fill = JsonElement(JsonMember(def, "Device"), idx);
    if (fill.isNull()) {
      // Nothing to fill in: keep whatever the user's file holds.
      Trace("profile: no device entry in %s nor in the default %s", path.c_str(), defaultPath_.c_str());
    } else {
      target = fill;
      WriteFileCached(path, target);
    }
  }
  return target;
}

const Json::Value& CBasicProfiledata::Load(const fs::path& path) { return LoadInto(path, document_); }

const Json::Value& CBasicProfiledata::LoadSecondary(const fs::path& path) { return LoadInto(path, secondary_); }

Json::Value CBasicProfiledata::LoadLightConfig(const fs::path& path) {
  lightConfig_ = ReadJsonFile(path);
  lightConfigFolder_ = path.parent_path();
  return lightConfig_;
}

LightInfo CBasicProfiledata::ReadLightInfo() {
  LightInfo li;
  const Json::Value& s = JsonMember(document_, "LightInfo");
  if (!s.isNull()) {
    li.selectItem = Byte(s, "SelectItem");
    li.light = Byte(s, "Light");
    li.speed = Byte(s, "Speed");
    li.fx = Byte(s, "Fx");
    li.multiColor = FlagByte(s, "MultiColor");
    li.red = Byte(s, "Red");
    li.green = Byte(s, "Green");
    li.blue = Byte(s, "Blue");
    li.zzccLedMode = Byte(s, "ZZCCLedMode");
    li.customGroup = Byte(s, "CustomGroup");
    li.oldLedmode = Byte(s, "OldLedmode");
    li.voiceLedmodeSwitch = Byte(s, "byVoiceLedmodeSwith");
    li.voiceLedmode = Byte(s, "byVoiceLedmode");
    li.voiceSensitivity = Byte(s, "byVoiceSensitivity");
  }
  lightInfo_ = li;
  return li;
}

void CBasicProfiledata::WriteLightInfo(const LightInfo& info) {
  lightInfo_ = info;
  Json::Value& s = JsonObjectAt(document_, "LightInfo");
  JsonObjectAt(s, "SelectItem") = info.selectItem;
  JsonObjectAt(s, "Light") = info.light;
  JsonObjectAt(s, "Speed") = info.speed;
  JsonObjectAt(s, "Fx") = info.fx;
  JsonObjectAt(s, "MultiColor") = info.multiColor;
  JsonObjectAt(s, "Red") = info.red;
  JsonObjectAt(s, "Green") = info.green;
  JsonObjectAt(s, "Blue") = info.blue;
  JsonObjectAt(s, "ZZCCLedMode") = info.zzccLedMode;
  JsonObjectAt(s, "CustomGroup") = info.customGroup;
  JsonObjectAt(s, "OldLedmode") = info.oldLedmode;
  JsonObjectAt(s, "byVoiceLedmodeSwith") = info.voiceLedmodeSwitch;
  JsonObjectAt(s, "byVoiceLedmode") = info.voiceLedmode;
  JsonObjectAt(s, "byVoiceSensitivity") = info.voiceSensitivity;
}

AudioLightInfo CBasicProfiledata::ReadAudioLightInfo() {
  AudioLightInfo a;
  const Json::Value& s = JsonMember(document_, "AudioLightInfo");
  if (!s.isNull()) {
    a.audioMode = Byte(s, "AudioMode");
    a.bkRed = Byte(s, "BkColorR");
    a.bkGreen = Byte(s, "BkColorG");
    a.bkBlue = Byte(s, "BkColorB");
    a.fgRed = Byte(s, "FgColorR");
    a.fgGreen = Byte(s, "FgColorG");
    a.fgBlue = Byte(s, "FgColorB");
    a.sevenColor = FlagByte(s, "7ColorFlags");
    a.colorType = FlagByte(s, "ColorTypeFlags");
  }
  audioLightInfo_ = a;
  return a;
}

void CBasicProfiledata::WriteAudioLightInfo(const AudioLightInfo& a) {
  audioLightInfo_ = a;
  Json::Value& s = JsonObjectAt(document_, "AudioLightInfo");
  JsonObjectAt(s, "AudioMode") = a.audioMode;
  JsonObjectAt(s, "BkColorR") = a.bkRed;
  JsonObjectAt(s, "BkColorG") = a.bkGreen;
  JsonObjectAt(s, "BkColorB") = a.bkBlue;
  JsonObjectAt(s, "FgColorR") = a.fgRed;
  JsonObjectAt(s, "FgColorG") = a.fgGreen;
  JsonObjectAt(s, "FgColorB") = a.fgBlue;
  JsonObjectAt(s, "7ColorFlags") = a.sevenColor;
  JsonObjectAt(s, "ColorTypeFlags") = a.colorType;
}

std::vector<LightListEntry> CBasicProfiledata::ReadLightList() {
  std::vector<LightListEntry> list;
  const Json::Value& arr = JsonMember(document_, "LightList");
  const std::size_t n = JsonSize(arr);
  list.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    const Json::Value& e = JsonElement(arr, i);
    LightListEntry& out = list[i];
    if (e.isNull()) continue;  // valid flag stays 0
    out.mode = Byte(e, "LEDREGMode");
    out.brightness = Byte(e, "LEDBrightness");
    out.speed = Byte(e, "LEDSpeed");
    out.direction = FlagByte(e, "LEDDirection");
    out.multiColor = FlagByte(e, "LEDMultiColor");
    out.red = Byte(e, "red");
    out.green = Byte(e, "green");
    out.blue = Byte(e, "blue");
    out.valid = 1;
  }
  lightList_ = list;
  return list;
}

std::vector<LedEffectStep> CBasicProfiledata::ReadLedEffects() {
  std::vector<LedEffectStep> steps;
  if (!lightConfig_.isNull() && DeviceIndexValid()) {
    const Json::Value& entry = JsonElement(
        JsonElement(JsonMember(lightConfig_, "LightInfo"), static_cast<std::size_t>(deviceIndex_)),
        lightInfo_.selectItem);
    const std::string guid = JsonString(JsonMember(entry, "Guid"));
    // The effect's name comes from a file: only a bare name beside the
    // lighting list file is accepted, never a path elsewhere.
    const std::string name = guid + ".light";
    if (guid.empty() || !IsPlainFileName(name) || lightConfigFolder_.empty()) {
      if (!guid.empty()) Trace("profile: effect name refused: %s", guid.c_str());
    } else {
      const fs::path path = lightConfigFolder_ / name;
      const Json::Value effect = ReadJsonFile(path);
      const Json::Value& arr = JsonMember(effect, "LEDEffectList");
      const std::size_t n = JsonSize(arr);
      steps.resize(n);
      for (std::size_t i = 0; i < n; ++i) {
        const Json::Value& e = JsonElement(arr, i);
        LedEffectStep& s = steps[i];
        s.mode = Byte(e, "LEDREGMode");
        s.brightness = Byte(e, "LEDBrightness");
        s.speed = Byte(e, "LEDSpeed");
        s.direction = Byte(e, "LEDDirection");
        s.multiColor = Byte(e, "LEDMultiColor");
        s.red = Byte(e, "red");
        s.green = Byte(e, "green");
        s.blue = Byte(e, "blue");
        s.time = JsonInt(JsonMember(e, "Time"));
        s.cycle = JsonInt(JsonMember(e, "Cyle"));
      }
    }
  }
  effectSteps_ = steps;
  return steps;
}

std::vector<KeyRecord> CBasicProfiledata::ReadKeysFrom(const Json::Value& doc, std::vector<KeyRecord>& cache) {
  std::vector<KeyRecord> list;
  const Json::Value& arr = JsonMember(doc, "KeyList");
  const std::size_t n = JsonSize(arr);
  list.resize(n);
  for (std::size_t i = 0; i < n; ++i) {
    const Json::Value& e = JsonElement(arr, i);
    KeyRecord& r = list[i];
    const auto idx = static_cast<uint16_t>(i);
    r.fn.keyIndex = r.normal.keyIndex = r.defaultKey.keyIndex = idx;
    r.fn.code = AssignmentCode::FromInt(static_cast<uint32_t>(JsonInt(JsonMember(e, "FnAssignment"))));
    r.normal.code = AssignmentCode::FromInt(static_cast<uint32_t>(JsonInt(JsonMember(e, "Assignment"))));
    r.defaultKey.code =
        AssignmentCode::FromInt(static_cast<uint32_t>(JsonInt(JsonMember(e, "DefaultAssignment"))));
  }
  cache = list;
  return list;
}

void CBasicProfiledata::WriteKeysTo(Json::Value& doc, const std::vector<KeyRecord>& records,
                                    std::vector<KeyRecord>& cache) {
  cache = records;
  Json::Value& arr = JsonObjectAt(doc, "KeyList");
  for (std::size_t i = 0; i < records.size(); ++i) {
    Json::Value& e = JsonArrayAt(arr, i);
    JsonObjectAt(e, "Assignment") = static_cast<int>(records[i].normal.code.ToInt());
    JsonObjectAt(e, "FnAssignment") = static_cast<int>(records[i].fn.code.ToInt());
  }
}

std::vector<KeyRecord> CBasicProfiledata::ReadKeyList() { return ReadKeysFrom(document_, keyList_); }
std::vector<KeyRecord> CBasicProfiledata::ReadSecondaryKeyList() {
  return ReadKeysFrom(secondary_, secondaryKeyList_);
}
void CBasicProfiledata::WriteKeyList(const std::vector<KeyRecord>& records) {
  WriteKeysTo(document_, records, keyList_);
}
void CBasicProfiledata::WriteSecondaryKeyList(const std::vector<KeyRecord>& records) {
  WriteKeysTo(secondary_, records, secondaryKeyList_);
}

}  // namespace korvale
