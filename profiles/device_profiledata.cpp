#include "profiles/device_profiledata.h"

#include "platform/trace.h"
#include "profiles/json_fields.h"
#include "profiles/json_file.h"

namespace korvale {

namespace {
bool IndexOk(int32_t i) { return i >= 0 && static_cast<std::size_t>(i) < kMaxJsonIndex; }

constexpr JsonHalfField kKeyboardStageFields[] = {
    {"Repeat", 0, 0},  {"RepeatDelay", 0, 16}, {"Key6Flag", 1, 0},
    {"PollingRate", 1, 16}, {"WFlag", 2, 0},   {"WinFlag", 2, 16},
};

constexpr JsonField<LedColour> kColourFields[] = {
    {"Red", &LedColour::red},
    {"Green", &LedColour::green},
    {"Blue", &LedColour::blue},
    {"Alpha", &LedColour::alpha},
};

constexpr JsonField<DpiStage> kDpiStageFields[] = {
    {"StageActive", &DpiStage::enabled},
    {"StageXY", &DpiStage::separateXY},
    {"StageDPIX", &DpiStage::x},
    {"StageDPIY", &DpiStage::y},
    {"StageColorR", &DpiStage::red},
    {"StageColorG", &DpiStage::green},
    {"StageColorB", &DpiStage::blue},
};

// The report rate (the high half of word 2) has a section of its own.
constexpr JsonHalfField kMouseStageFields[] = {
    {"DoubleClickTime", 0, 0}, {"MouseSpeed", 0, 16}, {"PointerPrecision", 1, 0},
    {"ScorllPage", 1, 16},     {"WheelScorlllinse", 2, 0},
};
constexpr JsonHalfField kReportStageFields[] = {{"StageActive", 2, 16}};

constexpr JsonField<CorrectEntry> kCorrectFields[] = {
    {"CorrectPixThresh", &CorrectEntry::pixThresh},
    {"CorrectMinSq", &CorrectEntry::minSq},
    {"CorrectSelect", &CorrectEntry::selected},
};

constexpr JsonField<HeadsetSystemSetStages> kHeadsetStageFields[] = {
    {"MagicEnable", &HeadsetSystemSetStages::magicEnable},
    {"MagicType", &HeadsetSystemSetStages::magicType},
    {"EqType", &HeadsetSystemSetStages::eqType},
    {"CustomEqSeletIndex", &HeadsetSystemSetStages::customEqSelect},
    {"MicInSelect", &HeadsetSystemSetStages::micInSelect},
    {"MicInValue", &HeadsetSystemSetStages::micInValue},
    {"MicMoniterSelect", &HeadsetSystemSetStages::micMonitorSelect},
    {"MicMoniterValue", &HeadsetSystemSetStages::micMonitorValue},
};
}  // namespace

// --- keyboard ---

KeyboardSystemStages CKeyboardProfiledata::ReadKeyboardSystemStages() {
  KeyboardSystemStages st;
  const Json::Value& s = JsonMember(Document(), "SystemStages");
  if (!s.isNull()) ReadJsonHalves(s, st.words, kKeyboardStageFields);
  stages_ = st;
  return st;
}

void CKeyboardProfiledata::WriteKeyboardSystemStages(const KeyboardSystemStages& st) {
  stages_ = st;
  Json::Value& s = JsonObjectAt(Doc(), "SystemStages");
  WriteJsonHalves(s, st.words, kKeyboardStageFields);
}

uint8_t CKeyboardProfiledata::ReadFnKeysetFlag() { return JsonFlag(JsonMember(Document(), "FnKeysetFlag")) ? 1 : 0; }

void CKeyboardProfiledata::WriteFnKeysetFlag(uint8_t value) { JsonObjectAt(Doc(), "FnKeysetFlag") = value != 0; }

std::vector<LedColour> CKeyboardProfiledata::ReadCustomColours(int32_t group, int32_t count) {
  std::vector<LedColour> out;
  if (!IndexOk(group) || count < 0 || static_cast<std::size_t>(count) > kMaxJsonIndex) {
    Trace("profile: custom colour group %d / count %d refused", group, count);
    customColours_ = out;
    return out;
  }
  out.reserve(static_cast<std::size_t>(count));
  // A group with every entry present is only read, so the document stays
  // as loaded (its next load needs no parse).
  const Json::Value& have = JsonElement(
      JsonMember(JsonMember(Document(), "CustomLightMode"), "LightColorInfo"), static_cast<std::size_t>(group));
  if (have.isArray()) {
    bool complete = true;
    ForEachJsonElement(have, static_cast<std::size_t>(count), [&](std::size_t, const Json::Value& e) {
      complete = complete && !e.isNull();
      if (!complete) return;
      LedColour c;
      ReadJsonFields<LedColour>(e, c, kColourFields);
      out.push_back(c);
    });
    if (complete) {
      customColours_ = out;
      return out;
    }
    out.clear();
  }
  Json::Value& groups = JsonObjectAt(JsonObjectAt(Doc(), "CustomLightMode"), "LightColorInfo");
  Json::Value& list = JsonArrayAt(groups, static_cast<std::size_t>(group));
  const bool fresh = !list.isArray();
  for (std::size_t j = 0; j < static_cast<std::size_t>(count); ++j) {
    const Json::Value& e = fresh ? Json::Value::nullSingleton() : JsonElement(list, j);
    if (e.isNull()) {
      WriteJsonFields<LedColour>(JsonArrayAt(list, j), LedColour{}, kColourFields);
      out.push_back(LedColour{});
    } else {
      LedColour c;
      ReadJsonFields<LedColour>(e, c, kColourFields);
      out.push_back(c);
    }
  }
  customColours_ = out;
  return out;
}

void CKeyboardProfiledata::WriteCustomColours(const std::vector<LedColour>& colours, int32_t group) {
  if (!IndexOk(group) || colours.size() > kMaxJsonIndex) {
    Trace("profile: custom colour group %d refused", group);
    return;
  }
  customColours_ = colours;
  Json::Value& groups = JsonObjectAt(JsonObjectAt(Doc(), "CustomLightMode"), "LightColorInfo");
  Json::Value& list = JsonArrayAt(groups, static_cast<std::size_t>(group));
  ForEachJsonElementToWrite(list, colours.size(), [&](std::size_t i, Json::Value& e) {
    WriteJsonFields<LedColour>(e, colours[i], kColourFields);
  });
}

int32_t CKeyboardProfiledata::ReadCustomGroupIndex() {
  customGroup_ = JsonInt(JsonMember(JsonMember(Document(), "CustomLightMode"), "CustomLightModeGroupIndex"));
  return customGroup_;
}

void CKeyboardProfiledata::WriteCustomGroupIndex(int32_t index) {
  customGroup_ = index;
  JsonObjectAt(JsonObjectAt(Doc(), "CustomLightMode"), "CustomLightModeGroupIndex") = index;
}

// --- mouse ---

std::vector<DpiStage> CMouseProfiledata::ReadDpiStages() {
  std::vector<DpiStage> read;
  const Json::Value& s = JsonMember(Document(), "DPIStages");
  if (!s.isNull()) {
    activeDpiStage_ = JsonInt(JsonMember(s, "StageActive"));
    const Json::Value& arr = JsonMember(s, "StageDPIs");
    for (std::size_t i = 0, n = JsonSize(arr); i < n; ++i) {
      const Json::Value& e = JsonElement(arr, i);
      DpiStage d;
      ReadJsonFields<DpiStage>(e, d, kDpiStageFields);
      read.push_back(d);
    }
  }
  for (std::size_t j = 0; j < read.size(); ++j) {
    if (j < dpiStages_.size())
      dpiStages_[j] = read[j];
    else
      dpiStages_.push_back(read[j]);
  }
  return dpiStages_;
}

void CMouseProfiledata::WriteDpiStages(const std::vector<DpiStage>& stages) {
  if (stages.size() > kMaxJsonIndex) {
    Trace("profile: %zu resolution stages refused", stages.size());
    return;
  }
  dpiStages_ = stages;
  Json::Value& arr = JsonObjectAt(JsonObjectAt(Doc(), "DPIStages"), "StageDPIs");
  for (std::size_t i = 0; i < stages.size(); ++i)
    WriteJsonFields<DpiStage>(JsonArrayAt(arr, i), stages[i], kDpiStageFields);
}

void CMouseProfiledata::SetActiveDpiStage(int32_t stage) {
  activeDpiStage_ = stage;
  JsonObjectAt(JsonObjectAt(Doc(), "DPIStages"), "StageActive") = stage;
}

MouseSystemStages CMouseProfiledata::ReadMouseSystemStages() {
  MouseSystemStages st;
  const Json::Value& s = JsonMember(Document(), "SystemStages");
  if (!s.isNull()) ReadJsonHalves(s, st.words, kMouseStageFields);
  // The report rate has a section of its own and is read even without the other.
  const Json::Value& r = JsonMember(Document(), "ReportStages");
  if (!r.isNull()) ReadJsonHalves(r, st.words, kReportStageFields);
  stages_ = st;
  return st;
}

void CMouseProfiledata::WriteMouseSystemStages(const MouseSystemStages& st) {
  stages_ = st;
  WriteJsonHalves(JsonObjectAt(Doc(), "SystemStages"), st.words, kMouseStageFields);
  WriteJsonHalves(JsonObjectAt(Doc(), "ReportStages"), st.words, kReportStageFields);
}

std::vector<CorrectEntry> CMouseProfiledata::ReadCorrectEntries() {
  std::vector<CorrectEntry> list;
  const Json::Value& arr = JsonMember(Document(), "CorrectInfo");
  for (std::size_t i = 0, n = JsonSize(arr); i < n; ++i) {
    const Json::Value& e = JsonElement(arr, i);
    CorrectEntry c;
    ReadJsonFields<CorrectEntry>(e, c, kCorrectFields);
    c.name = Utf8ToWide(JsonString(JsonMember(e, "CorrectName")));
    list.push_back(std::move(c));
  }
  correct_ = list;
  return list;
}

// --- headset ---

HeadsetSystemSetStages CHs6533Profiledata::ReadHeadsetSystemSetStages() {
  HeadsetSystemSetStages st;
  const Json::Value& s = JsonMember(Document(), "SystemSetStages");
  if (!s.isNull()) ReadJsonFields<HeadsetSystemSetStages>(s, st, kHeadsetStageFields);
  stages_ = st;
  return st;
}

void CHs6533Profiledata::WriteHeadsetSystemSetStages(const HeadsetSystemSetStages& st) {
  stages_ = st;
  Json::Value& s = JsonObjectAt(Doc(), "SystemSetStages");
  WriteJsonFields<HeadsetSystemSetStages>(s, st, kHeadsetStageFields);
}

int32_t CHs6533Profiledata::EqSlot(int32_t type) {
  if (type == kCustomEqType) return -1;
  if (type >= 1 && type <= 12) return type;
  return 1;
}

std::vector<int32_t> CHs6533Profiledata::ReadBands(const char* member, std::size_t slot) {
  std::vector<int32_t> out;
  // Present bands are only read: the document stays as loaded.
  if (const Json::Value& have = JsonElement(JsonMember(Document(), member), slot); have.isArray()) {
    for (std::size_t b = 0; b < kEqBands; ++b) out.push_back(JsonInt(JsonMember(JsonElement(have, b), "value")));
    return out;
  }
  // Missing bands are stored as zeros so the next save keeps a full list.
  Json::Value& w = JsonArrayAt(JsonObjectAt(Doc(), member), slot);
  for (std::size_t b = 0; b < kEqBands; ++b) {
    JsonObjectAt(JsonArrayAt(w, b), "value") = 0;
    out.push_back(0);
  }
  return out;
}

void CHs6533Profiledata::WriteBands(const char* member, std::size_t slot, const std::vector<int32_t>& values) {
  if (values.size() < kEqBands) {
    Trace("profile: equaliser needs %d values, got %zu", kEqBands, values.size());
    return;
  }
  Json::Value& list = JsonArrayAt(JsonObjectAt(Doc(), member), slot);
  for (std::size_t b = 0; b < kEqBands; ++b) JsonObjectAt(JsonArrayAt(list, b), "value") = values[b];
}

std::vector<int32_t> CHs6533Profiledata::ReadEqBands(int32_t type) {
  const int32_t slot = EqSlot(type);
  if (slot < 0) return {};
  return ReadBands("EQHzValueInfo", static_cast<std::size_t>(slot));
}

void CHs6533Profiledata::WriteEqBands(int32_t type, const std::vector<int32_t>& values) {
  const int32_t slot = EqSlot(type);
  if (slot < 0) return;
  WriteBands("EQHzValueInfo", static_cast<std::size_t>(slot), values);
}

std::vector<int32_t> CHs6533Profiledata::ReadCustomEqBands(int32_t index) {
  if (!IndexOk(index)) {
    Trace("profile: custom equaliser %d refused", index);
    return {};
  }
  return ReadBands("CustomEQHzValueInfo", static_cast<std::size_t>(index));
}

void CHs6533Profiledata::WriteCustomEqBands(int32_t index, const std::vector<int32_t>& values) {
  if (!IndexOk(index)) {
    Trace("profile: custom equaliser %d refused", index);
    return;
  }
  WriteBands("CustomEQHzValueInfo", static_cast<std::size_t>(index), values);
}

void CHs6533Profiledata::RemoveCustomEqBands(int32_t index) {
  Json::Value& all = JsonObjectAt(Doc(), "CustomEQHzValueInfo");
  if (!IndexOk(index) || !all.isArray() || static_cast<Json::ArrayIndex>(index) >= all.size()) return;
  Json::Value removed;
  all.removeIndex(static_cast<Json::ArrayIndex>(index), &removed);
}

std::vector<int32_t> CHs6533Profiledata::ReadUnsavedEqBands() { return ReadBands("UnsavedEQHzValueInfo", 0); }

void CHs6533Profiledata::WriteUnsavedEqBands(const std::vector<int32_t>& values) {
  WriteBands("UnsavedEQHzValueInfo", 0, values);
}

std::vector<std::string> CHs6533Profiledata::ReadCustomEqNames() {
  std::vector<std::string> names;
  const Json::Value& arr = JsonMember(Document(), "CustomEQNameInfo");
  for (std::size_t i = 0, n = JsonSize(arr); i < n; ++i)
    names.push_back(Utf8ToWide(JsonString(JsonMember(JsonElement(arr, i), "Name"))));
  return names;
}

void CHs6533Profiledata::WriteCustomEqNames(const std::vector<std::string>& names) {
  Json::Value arr(Json::arrayValue);
  for (const std::string& n : names) {
    Json::Value e(Json::objectValue);
    e["Name"] = WideToUtf8(n);
    arr.append(e);
  }
  JsonObjectAt(Doc(), "CustomEQNameInfo") = arr;
}

}  // namespace korvale
