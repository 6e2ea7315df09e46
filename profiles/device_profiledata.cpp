#include "profiles/device_profiledata.h"

#include "platform/trace.h"
#include "profiles/json_file.h"

namespace korvale {

namespace {
uint32_t Half(const Json::Value& section, const char* key) {
  return static_cast<uint32_t>(JsonInt(JsonMember(section, key))) & 0xFFFFu;
}
bool IndexOk(int32_t i) { return i >= 0 && static_cast<std::size_t>(i) < kMaxJsonIndex; }
}  // namespace

// --- keyboard ---

KeyboardSystemStages CKeyboardProfiledata::ReadKeyboardSystemStages() {
  KeyboardSystemStages st;
  const Json::Value& s = JsonMember(Document(), "SystemStages");
  if (!s.isNull()) {
    st.words[0] = Half(s, "Repeat") | Half(s, "RepeatDelay") << 16;
    st.words[1] = Half(s, "Key6Flag") | Half(s, "PollingRate") << 16;
    st.words[2] = Half(s, "WFlag") | Half(s, "WinFlag") << 16;
  }
  stages_ = st;
  return st;
}

void CKeyboardProfiledata::WriteKeyboardSystemStages(const KeyboardSystemStages& st) {
  stages_ = st;
  Json::Value& s = JsonObjectAt(Doc(), "SystemStages");
  JsonObjectAt(s, "Repeat") = st.Repeat();
  JsonObjectAt(s, "RepeatDelay") = st.RepeatDelay();
  JsonObjectAt(s, "Key6Flag") = st.Key6Flag();
  JsonObjectAt(s, "PollingRate") = st.PollingRate();
  JsonObjectAt(s, "WFlag") = st.WFlag();
  JsonObjectAt(s, "WinFlag") = st.WinFlag();
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
  Json::Value& groups = JsonObjectAt(JsonObjectAt(Doc(), "CustomLightMode"), "LightColorInfo");
  Json::Value& list = JsonArrayAt(groups, static_cast<std::size_t>(group));
  const bool fresh = !list.isArray();
  out.reserve(static_cast<std::size_t>(count));
  for (std::size_t j = 0; j < static_cast<std::size_t>(count); ++j) {
    const Json::Value& e = fresh ? Json::Value::nullSingleton() : JsonElement(list, j);
    if (e.isNull()) {
      Json::Value& w = JsonArrayAt(list, j);
      JsonObjectAt(w, "Red") = 0;
      JsonObjectAt(w, "Green") = 0;
      JsonObjectAt(w, "Blue") = 0;
      JsonObjectAt(w, "Alpha") = 0;
      out.push_back(LedColour{});
    } else {
      out.push_back(LedColour{static_cast<uint8_t>(JsonInt(JsonMember(e, "Red"))),
                              static_cast<uint8_t>(JsonInt(JsonMember(e, "Green"))),
                              static_cast<uint8_t>(JsonInt(JsonMember(e, "Blue"))),
                              static_cast<uint8_t>(JsonInt(JsonMember(e, "Alpha")))});
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
  for (std::size_t i = 0; i < colours.size(); ++i) {
    Json::Value& w = JsonArrayAt(list, i);
    JsonObjectAt(w, "Red") = colours[i].red;
    JsonObjectAt(w, "Green") = colours[i].green;
    JsonObjectAt(w, "Blue") = colours[i].blue;
    JsonObjectAt(w, "Alpha") = colours[i].alpha;
  }
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
      d.enabled = static_cast<uint8_t>(JsonInt(JsonMember(e, "StageActive")));
      d.separateXY = static_cast<uint8_t>(JsonInt(JsonMember(e, "StageXY")));
      d.x = static_cast<uint16_t>(JsonInt(JsonMember(e, "StageDPIX")));
      d.y = static_cast<uint16_t>(JsonInt(JsonMember(e, "StageDPIY")));
      d.red = static_cast<uint8_t>(JsonInt(JsonMember(e, "StageColorR")));
      d.green = static_cast<uint8_t>(JsonInt(JsonMember(e, "StageColorG")));
      d.blue = static_cast<uint8_t>(JsonInt(JsonMember(e, "StageColorB")));
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
  for (std::size_t i = 0; i < stages.size(); ++i) {
    Json::Value& e = JsonArrayAt(arr, i);
    JsonObjectAt(e, "StageActive") = stages[i].enabled;
    JsonObjectAt(e, "StageXY") = stages[i].separateXY;
    JsonObjectAt(e, "StageDPIX") = stages[i].x;
    JsonObjectAt(e, "StageDPIY") = stages[i].y;
    JsonObjectAt(e, "StageColorR") = stages[i].red;
    JsonObjectAt(e, "StageColorG") = stages[i].green;
    JsonObjectAt(e, "StageColorB") = stages[i].blue;
  }
}

void CMouseProfiledata::SetActiveDpiStage(int32_t stage) {
  activeDpiStage_ = stage;
  JsonObjectAt(JsonObjectAt(Doc(), "DPIStages"), "StageActive") = stage;
}

MouseSystemStages CMouseProfiledata::ReadMouseSystemStages() {
  MouseSystemStages st;
  const Json::Value& s = JsonMember(Document(), "SystemStages");
  if (!s.isNull()) {
    st.words[0] = Half(s, "DoubleClickTime") | Half(s, "MouseSpeed") << 16;
    st.words[1] = Half(s, "PointerPrecision") | Half(s, "ScorllPage") << 16;
    st.words[2] = Half(s, "WheelScorlllinse");
  }
  // The report rate has a section of its own and is read even without the other.
  const Json::Value& r = JsonMember(Document(), "ReportStages");
  if (!r.isNull()) st.words[2] |= Half(r, "StageActive") << 16;
  stages_ = st;
  return st;
}

void CMouseProfiledata::WriteMouseSystemStages(const MouseSystemStages& st) {
  stages_ = st;
  // Written as plain ints, as the parser reads them back.
  auto lo = [](uint32_t w) { return static_cast<int>(w & 0xFFFFu); };
  auto hi = [](uint32_t w) { return static_cast<int>(w >> 16); };
  Json::Value& s = JsonObjectAt(Doc(), "SystemStages");
  JsonObjectAt(s, "DoubleClickTime") = lo(st.words[0]);
  JsonObjectAt(s, "MouseSpeed") = hi(st.words[0]);
  JsonObjectAt(s, "PointerPrecision") = lo(st.words[1]);
  JsonObjectAt(s, "ScorllPage") = hi(st.words[1]);
  JsonObjectAt(s, "WheelScorlllinse") = lo(st.words[2]);
  JsonObjectAt(JsonObjectAt(Doc(), "ReportStages"), "StageActive") = hi(st.words[2]);
}

std::vector<CorrectEntry> CMouseProfiledata::ReadCorrectEntries() {
  std::vector<CorrectEntry> list;
  const Json::Value& arr = JsonMember(Document(), "CorrectInfo");
  for (std::size_t i = 0, n = JsonSize(arr); i < n; ++i) {
    const Json::Value& e = JsonElement(arr, i);
    CorrectEntry c;
    c.pixThresh = static_cast<uint8_t>(JsonInt(JsonMember(e, "CorrectPixThresh")));
    c.minSq = static_cast<uint8_t>(JsonInt(JsonMember(e, "CorrectMinSq")));
    c.selected = static_cast<uint8_t>(JsonInt(JsonMember(e, "CorrectSelect")));
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
  if (!s.isNull()) {
    st.magicEnable = JsonInt(JsonMember(s, "MagicEnable"));
    st.magicType = JsonInt(JsonMember(s, "MagicType"));
    st.eqType = JsonInt(JsonMember(s, "EqType"));
    st.customEqSelect = JsonInt(JsonMember(s, "CustomEqSeletIndex"));
    st.micInSelect = JsonInt(JsonMember(s, "MicInSelect"));
    st.micInValue = JsonInt(JsonMember(s, "MicInValue"));
    st.micMonitorSelect = JsonInt(JsonMember(s, "MicMoniterSelect"));
    st.micMonitorValue = JsonInt(JsonMember(s, "MicMoniterValue"));
  }
  stages_ = st;
  return st;
}

void CHs6533Profiledata::WriteHeadsetSystemSetStages(const HeadsetSystemSetStages& st) {
  stages_ = st;
  Json::Value& s = JsonObjectAt(Doc(), "SystemSetStages");
  JsonObjectAt(s, "MagicEnable") = st.magicEnable;
  JsonObjectAt(s, "MagicType") = st.magicType;
  JsonObjectAt(s, "EqType") = st.eqType;
  JsonObjectAt(s, "CustomEqSeletIndex") = st.customEqSelect;
  JsonObjectAt(s, "MicInSelect") = st.micInSelect;
  JsonObjectAt(s, "MicInValue") = st.micInValue;
  JsonObjectAt(s, "MicMoniterSelect") = st.micMonitorSelect;
  JsonObjectAt(s, "MicMoniterValue") = st.micMonitorValue;
}

int32_t CHs6533Profiledata::EqSlot(int32_t type) {
  if (type == kCustomEqType) return -1;
  if (type >= 1 && type <= 12) return type;
  return 1;
}

std::vector<int32_t> CHs6533Profiledata::ReadBands(const char* member, std::size_t slot) {
  std::vector<int32_t> out;
  Json::Value& all = JsonObjectAt(Doc(), member);
  const Json::Value& list = JsonElement(all, slot);
  if (!list.isArray()) {
    // Missing bands are stored as zeros so the next save keeps a full list.
    Json::Value& w = JsonArrayAt(all, slot);
    for (std::size_t b = 0; b < kEqBands; ++b) {
      JsonObjectAt(JsonArrayAt(w, b), "value") = 0;
      out.push_back(0);
    }
    return out;
  }
  for (std::size_t b = 0; b < kEqBands; ++b) out.push_back(JsonInt(JsonMember(JsonElement(list, b), "value")));
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
