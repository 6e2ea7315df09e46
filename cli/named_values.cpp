#include "cli/named_values.h"

#include <algorithm>
#include <cctype>

#include "hid/device_table.h"
#include "profiles/json_file.h"
#include "profiles/settings_files.h"
#include "protocol/commands.h"
#include "ui/ui_types.h"

namespace korvale::cli {

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// A whole decimal number of at most six digits.
std::optional<int> Number(const std::string& s) {
  if (s.empty() || s.size() > 6) return std::nullopt;
  int v = 0;
  for (char c : s) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  return v;
}

// "1000Hz", "1000 hz" and "1000" alike.
std::string WithoutUnit(const std::string& text, const std::string& unit) {
  std::string t = Lower(text);
  const std::string u = Lower(unit);
  if (!u.empty() && t.size() > u.size() && t.ends_with(u)) {
    t.resize(t.size() - u.size());
    while (!t.empty() && t.back() == ' ') t.pop_back();
  }
  return t;
}

// '_' and '-' are one; letter case does not count.
std::string Folded(const std::string& s) {
  std::string out = Lower(s);
  std::replace(out.begin(), out.end(), '_', '-');
  return out;
}

constexpr const char* kEffectPrefix = "light_mode_";

}  // namespace

std::optional<int> ValueSet::Pick(const std::string& text) const {
  const std::string t = WithoutUnit(text, unit);
  if (choices.empty()) {
    const auto n = Number(t);
    if (n && *n >= lo && *n <= hi) return n;
    return std::nullopt;
  }
  for (const Choice& c : choices)
    if (Lower(c.word) == t) return c.value;
  if (indexToo) {
    std::vector<int> listed;
    for (const Choice& c : choices)
      if (!c.alias) listed.push_back(c.value);
    const auto n = Number(t);
    if (n && *n < static_cast<int>(listed.size())) return listed[static_cast<std::size_t>(*n)];
  }
  return std::nullopt;
}

std::string ValueSet::Describe() const {
  if (choices.empty()) return std::to_string(lo) + "-" + std::to_string(hi) + (unit.empty() ? "" : " " + unit);
  std::vector<std::string> words;
  for (const Choice& c : choices)
    if (!c.alias) words.push_back(c.word);
  std::string s;
  for (std::size_t i = 0; i < words.size(); ++i)
    s += (i == 0 ? "" : i + 1 == words.size() ? " or " : ", ") + words[i];
  if (!unit.empty()) s += " " + unit;
  if (indexToo) s += " (or the index 0-" + std::to_string(words.size() - 1) + ")";
  return s;
}

ValueSet Range(int lo, int hi) {
  ValueSet v;
  v.lo = lo;
  v.hi = hi;
  return v;
}

ValueSet OnOff() {
  ValueSet v;
  v.choices = {{"on", 1},          {"off", 0},         {"1", 1, true},    {"0", 0, true},
               {"true", 1, true},  {"false", 0, true}, {"yes", 1, true},  {"no", 0, true}};
  return v;
}

namespace {

// The keyboard's four polling rate options, as its settings page labels them.
constexpr int kKeyboardRatesHz[] = {125, 250, 500, 1000};

ValueSet Rates(const int* hz, std::size_t n) {
  ValueSet v;
  v.unit = "Hz";
  v.indexToo = true;
  for (std::size_t i = 0; i < n; ++i) v.choices.push_back({std::to_string(hz[i]), static_cast<int>(i)});
  return v;
}

}  // namespace

ValueSet KeyboardReportRates() { return Rates(kKeyboardRatesHz, std::size(kKeyboardRatesHz)); }

ValueSet MouseReportRates() { return Rates(proto::kMouseReportRatesHz.data(), proto::kMouseReportRatesHz.size()); }

int KeyboardReportRateHz(int index) {
  // The page shows an index outside 0..3 as 0.
  return kKeyboardRatesHz[index >= 0 && index < 4 ? index : 0];
}

ValueSet RepeatDelays() {
  ValueSet v;
  v.unit = "ms";
  v.indexToo = true;
  for (int i = 0; i < 4; ++i) v.choices.push_back({std::to_string(RepeatDelayMs(i)), i});
  return v;
}

int RepeatDelayMs(int index) { return 250 + 250 * (index >= 0 && index <= 3 ? index : 0); }

ValueSet Directions() {
  ValueSet v;
  v.choices = {{"right", 0}, {"left", 1}};
  v.indexToo = true;
  return v;
}

const char* DirectionName(int direction) { return direction == 1 ? "left" : "right"; }

std::vector<EffectChoice> EffectChoices(int productRow) {
  std::vector<EffectChoice> out;
  if (productRow < 0 || static_cast<std::size_t>(productRow) >= kProductCount) return out;
  const auto list = ReadDefaultEffects(ReadJsonFile(DefaultLightPath()),
                                       kProducts[static_cast<std::size_t>(productRow)].defaultDataIndex);
  if (!list) return out;
  for (std::size_t i = 0; i < list->size(); ++i) {
    const DefaultEffect& e = (*list)[i];
    out.push_back({static_cast<int>(i), EffectName(e.name), e.value, e.visible});
  }
  return out;
}

std::string EffectName(const std::string& textId) {
  std::string name = textId.starts_with(kEffectPrefix) ? textId.substr(std::char_traits<char>::length(kEffectPrefix))
                                                       : textId;
  return Folded(name);
}

std::optional<int> PickEffect(const std::vector<EffectChoice>& effects, const std::string& text) {
  const std::string t = Folded(text);
  for (const EffectChoice& e : effects)
    if (e.visible && !e.name.empty() && e.name == t) return e.index;
  if (const auto n = Number(t); n && *n < static_cast<int>(effects.size())) return n;
  return std::nullopt;
}

std::string EffectNames(const std::vector<EffectChoice>& effects) {
  std::string s;
  for (const EffectChoice& e : effects)
    if (e.visible) s += (s.empty() ? "" : ", ") + e.name;
  return s;
}

}  // namespace korvale::cli
