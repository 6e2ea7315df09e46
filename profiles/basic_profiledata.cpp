#include "profiles/basic_profiledata.h"

#include "platform/atomic_file.h"
#include "platform/paths.h"
#include "platform/trace.h"
#include "profiles/json_fields.h"
#include "profiles/json_file.h"

namespace korvale {
namespace fs = std::filesystem;

namespace {
using LightInfoField = JsonField<LightInfo>;
constexpr LightInfoField kLightInfoFields[] = {
    {"SelectItem", &LightInfo::selectItem},
    {"Light", &LightInfo::light},
    {"Speed", &LightInfo::speed},
    {"Fx", &LightInfo::fx},
    {"MultiColor", &LightInfo::multiColor, true},
    {"Red", &LightInfo::red},
    {"Green", &LightInfo::green},
    {"Blue", &LightInfo::blue},
    {"ZZCCLedMode", &LightInfo::zzccLedMode},
    {"CustomGroup", &LightInfo::customGroup},
    {"OldLedmode", &LightInfo::oldLedmode},
    {"byVoiceLedmodeSwith", &LightInfo::voiceLedmodeSwitch},
    {"byVoiceLedmode", &LightInfo::voiceLedmode},
    {"byVoiceSensitivity", &LightInfo::voiceSensitivity},
};

using AudioField = JsonField<AudioLightInfo>;
constexpr AudioField kAudioLightInfoFields[] = {
    {"AudioMode", &AudioLightInfo::audioMode},
    {"BkColorR", &AudioLightInfo::bkRed},
    {"BkColorG", &AudioLightInfo::bkGreen},
    {"BkColorB", &AudioLightInfo::bkBlue},
    {"FgColorR", &AudioLightInfo::fgRed},
    {"FgColorG", &AudioLightInfo::fgGreen},
    {"FgColorB", &AudioLightInfo::fgBlue},
    {"7ColorFlags", &AudioLightInfo::sevenColor, true},
    {"ColorTypeFlags", &AudioLightInfo::colorType, true},
};

// "LightList" elements take direction and multicolour as flags.
using ListField = JsonField<LightListEntry>;
constexpr ListField kLightListFields[] = {
    {"LEDREGMode", &LightListEntry::mode},
    {"LEDBrightness", &LightListEntry::brightness},
    {"LEDSpeed", &LightListEntry::speed},
    {"LEDDirection", &LightListEntry::direction, true},
    {"LEDMultiColor", &LightListEntry::multiColor, true},
    {"red", &LightListEntry::red},
    {"green", &LightListEntry::green},
    {"blue", &LightListEntry::blue},
};

// Effect files keep every byte as it stands.
using StepField = JsonField<LedEffectStep>;
constexpr StepField kLedEffectStepFields[] = {
    {"LEDREGMode", &LedEffectStep::mode},
    {"LEDBrightness", &LedEffectStep::brightness},
    {"LEDSpeed", &LedEffectStep::speed},
    {"LEDDirection", &LedEffectStep::direction},
    {"LEDMultiColor", &LedEffectStep::multiColor},
    {"red", &LedEffectStep::red},
    {"green", &LedEffectStep::green},
    {"blue", &LedEffectStep::blue},
    {"Time", &LedEffectStep::time},
    {"Cyle", &LedEffectStep::cycle},
};
}  // namespace

void CBasicProfiledata::SetFilePath(const fs::path& path) {
  if (!path.empty()) filePath_ = path;
}

void CBasicProfiledata::SetDefaultPath(const fs::path& path) {
  if (!path.empty()) defaultPath_ = path;
}

bool CBasicProfiledata::Save() { return StoreMember(Holder::kDocument, filePath_); }

bool CBasicProfiledata::SaveSecondary(const fs::path& path) { return StoreMember(Holder::kSecondary, path); }

Json::Value& CBasicProfiledata::Touch(Holder h) {
  if (cache_.lent == h) cache_.lentClean = false;
  return Member(h);
}

void CBasicProfiledata::ReturnLoan() {
  if (cache_.lent == Holder::kNone) return;
  if (cache_.lentClean) {
    cache_.file["Device"][static_cast<Json::ArrayIndex>(cache_.lentIndex)] = Member(cache_.lent);
  } else {
    // Written since it was lent: the file's element is only in its bytes.
    cache_.file = ParseJsonFileBytes(cache_.bytes, cache_.path);
  }
  cache_.lent = Holder::kNone;
}

Json::Value& CBasicProfiledata::ReadFileCached(const fs::path& path, Holder keep) {
  std::optional<std::string> bytes = ReadFileBytes(path, kMaxJsonFileBytes);
  if (path != cache_.path || !bytes || bytes != cache_.bytes) {
    cache_.file = ParseJsonFileBytes(bytes, path);
    cache_.path = path;
    cache_.bytes = std::move(bytes);
    cache_.lent = Holder::kNone;
  } else if (cache_.lent != keep || cache_.lentIndex != deviceIndex_) {
    ReturnLoan();
  }
  return cache_.file;
}

bool CBasicProfiledata::MayStore(const fs::path& path) const {
  if (path.empty()) {
    Trace("profile: save without a file path");
    return false;
  }
  if (!DeviceIndexValid()) {
    Trace("profile: device index %d out of range, not saved", deviceIndex_);
    return false;
  }
  return true;
}

bool CBasicProfiledata::FinishStore(const fs::path& path, std::string text, Holder h) {
  if (!WriteFileAtomic(path, text)) {
    Trace("writejsonFile: %s not written, old file kept", path.c_str());
    cache_ = FileCache{};
    return false;
  }
  // Parsing what was just written gives this file again.
  cache_.bytes = std::move(text);
  cache_.lent = h;
  cache_.lentIndex = deviceIndex_;
  cache_.lentClean = true;
  return true;
}

namespace {
// Swaps two values and swaps them back on leaving, however that happens.
class ScopedSwap {
 public:
  ScopedSwap(Json::Value& a, Json::Value& b) : a_(a), b_(b) { a_.swap(b_); }
  ~ScopedSwap() { a_.swap(b_); }
  ScopedSwap(const ScopedSwap&) = delete;
  ScopedSwap& operator=(const ScopedSwap&) = delete;

 private:
  Json::Value& a_;
  Json::Value& b_;
};
}  // namespace

bool CBasicProfiledata::StoreMember(Holder h, const fs::path& path) {
  if (!MayStore(path)) return false;
  Json::Value& file = ReadFileCached(path, h);
  const std::size_t sizeHint = cache_.bytes ? cache_.bytes->size() : 0;
  Json::Value& slot = JsonArrayAt(JsonObjectAt(file, "Device"), static_cast<std::size_t>(deviceIndex_));
  std::string text;
  {
    // The document stands in the file only while the text is made.
    ScopedSwap inFile(slot, Member(h));
    text = StyledJsonText(file, sizeHint);
  }
  slot = Json::Value();  // the element written is the document's from now on
  return FinishStore(path, std::move(text), h);
}

bool CBasicProfiledata::StoreDocument(const Json::Value& document, const fs::path& path) {
  if (!MayStore(path)) return false;
  Json::Value& file = ReadFileCached(path, Holder::kNone);
  const std::size_t sizeHint = cache_.bytes ? cache_.bytes->size() : 0;
  JsonArrayAt(JsonObjectAt(file, "Device"), static_cast<std::size_t>(deviceIndex_)) = document;
  return FinishStore(path, StyledJsonText(file, sizeHint), Holder::kNone);
}

bool CBasicProfiledata::WriteDocument(const Json::Value& document, const fs::path& path) {
  return TryWriteJsonFile(path, document);
}

const Json::Value& CBasicProfiledata::LoadInto(const fs::path& path, Holder h) {
  if (!DeviceIndexValid()) {
    Trace("profile: device index %d out of range", deviceIndex_);
    return Touch(h) = Json::Value();
  }
  const bool held = cache_.lent == h && cache_.lentIndex == deviceIndex_ && cache_.lentClean;
  Json::Value& file = ReadFileCached(path, held ? h : Holder::kNone);
  // The same bytes, and the document unwritten since it took them: nothing to read.
  if (held && cache_.lent == h) return Member(h);

  Json::Value& target = Touch(h);
  target = Json::Value();
  const auto idx = static_cast<std::size_t>(deviceIndex_);
  if (!JsonElement(JsonMember(file, "Device"), idx).isNull()) {
    target.swap(file["Device"][static_cast<Json::ArrayIndex>(idx)]);
    cache_.lent = h;
    cache_.lentIndex = deviceIndex_;
    cache_.lentClean = true;
    return target;
  }
  Json::Value def = ReadJsonFile(defaultPath_);
  if (JsonElement(JsonMember(def, "Device"), idx).isNull()) {
    // Nothing to fill in: keep whatever the user's file holds.
    Trace("profile: no device entry in %s nor in the default %s", path.c_str(), defaultPath_.c_str());
  } else {
    target.swap(def["Device"][static_cast<Json::ArrayIndex>(idx)]);
    StoreMember(h, path);
  }
  return target;
}

const Json::Value& CBasicProfiledata::Load(const fs::path& path) { return LoadInto(path, Holder::kDocument); }

const Json::Value& CBasicProfiledata::LoadSecondary(const fs::path& path) {
  return LoadInto(path, Holder::kSecondary);
}

Json::Value CBasicProfiledata::LoadLightConfig(const fs::path& path) {
  lightConfig_ = ReadJsonFile(path);
  lightConfigFolder_ = path.parent_path();
  return lightConfig_;
}

LightInfo CBasicProfiledata::ReadLightInfo() {
  LightInfo li;
  const Json::Value& s = JsonMember(document_, "LightInfo");
  if (!s.isNull()) ReadJsonFields<LightInfo>(s, li, kLightInfoFields);
  lightInfo_ = li;
  return li;
}

void CBasicProfiledata::WriteLightInfo(const LightInfo& info) {
  lightInfo_ = info;
  Json::Value& s = JsonObjectAt(Doc(), "LightInfo");
  WriteJsonFields<LightInfo>(s, info, kLightInfoFields);
}

AudioLightInfo CBasicProfiledata::ReadAudioLightInfo() {
  AudioLightInfo a;
  const Json::Value& s = JsonMember(document_, "AudioLightInfo");
  if (!s.isNull()) ReadJsonFields<AudioLightInfo>(s, a, kAudioLightInfoFields);
  audioLightInfo_ = a;
  return a;
}

void CBasicProfiledata::WriteAudioLightInfo(const AudioLightInfo& a) {
  audioLightInfo_ = a;
  Json::Value& s = JsonObjectAt(Doc(), "AudioLightInfo");
  WriteJsonFields<AudioLightInfo>(s, a, kAudioLightInfoFields);
}

std::vector<LightListEntry> CBasicProfiledata::ReadLightList() {
  std::vector<LightListEntry> list;
  const Json::Value& arr = JsonMember(document_, "LightList");
  const std::size_t n = JsonSize(arr);
  list.resize(n);
  ForEachJsonElement(arr, n, [&](std::size_t i, const Json::Value& e) {
    if (e.isNull()) return;  // valid flag stays 0
    ReadJsonFields<LightListEntry>(e, list[i], kLightListFields);
    list[i].valid = 1;
  });
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
        ReadJsonFields<LedEffectStep>(JsonElement(arr, i), steps[i], kLedEffectStepFields);
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
  ForEachJsonElement(arr, n, [&](std::size_t i, const Json::Value& e) {
    KeyRecord& r = list[i];
    const auto idx = static_cast<uint16_t>(i);
    r.fn.keyIndex = r.normal.keyIndex = r.defaultKey.keyIndex = idx;
    r.fn.code = AssignmentCode::FromInt(static_cast<uint32_t>(JsonInt(JsonMember(e, "FnAssignment"))));
    r.normal.code = AssignmentCode::FromInt(static_cast<uint32_t>(JsonInt(JsonMember(e, "Assignment"))));
    r.defaultKey.code =
        AssignmentCode::FromInt(static_cast<uint32_t>(JsonInt(JsonMember(e, "DefaultAssignment"))));
  });
  cache = list;
  return list;
}

void CBasicProfiledata::WriteKeysTo(Json::Value& doc, const std::vector<KeyRecord>& records,
                                    std::vector<KeyRecord>& cache) {
  cache = records;
  Json::Value& arr = JsonObjectAt(doc, "KeyList");
  ForEachJsonElementToWrite(arr, records.size(), [&](std::size_t i, Json::Value& e) {
    JsonObjectAt(e, "Assignment") = static_cast<int>(records[i].normal.code.ToInt());
    JsonObjectAt(e, "FnAssignment") = static_cast<int>(records[i].fn.code.ToInt());
  });
}

std::vector<KeyRecord> CBasicProfiledata::ReadKeyList() { return ReadKeysFrom(document_, keyList_); }
std::vector<KeyRecord> CBasicProfiledata::ReadSecondaryKeyList() {
  return ReadKeysFrom(secondary_, secondaryKeyList_);
}
void CBasicProfiledata::WriteKeyList(const std::vector<KeyRecord>& records) {
  WriteKeysTo(Doc(), records, keyList_);
}
void CBasicProfiledata::WriteSecondaryKeyList(const std::vector<KeyRecord>& records) {
  WriteKeysTo(Touch(Holder::kSecondary), records, secondaryKeyList_);
}

}  // namespace korvale
