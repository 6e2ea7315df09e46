#include "profiles/settings_files.h"

#include <algorithm>

#include <cctype>
#include <ctime>
#include <limits>
#include <sstream>

#include "platform/atomic_file.h"
#include "platform/paths.h"
#include "platform/settings_store.h"
#include "platform/trace.h"
#include "profiles/json_file.h"

namespace korvale {
namespace fs = std::filesystem;

fs::path AppDataFolder() {
  fs::path p = XdgDataHome() / kIdentity;
  EnsureDir(p);
  return p;
}

fs::path UserDataFolderPath(const std::string& deviceFolderName) {
  if (!IsPlainFileName(deviceFolderName)) {
    Trace("folders: device folder name refused: %s", deviceFolderName.c_str());
    return {};
  }
  return XdgDataHome() / kIdentity / deviceFolderName;
}

fs::path UserDataFolder(const std::string& deviceFolderName) {
  fs::path p = UserDataFolderPath(deviceFolderName);
  if (p.empty()) return p;
  AppDataFolder();
  EnsureDir(p);
  return p;
}

fs::path DefaultDataFolder() { return InstallDataDir() / "DefaultData"; }

fs::path DefaultProfilePath(const std::string& deviceFolderName) {
  if (!IsPlainFileName(deviceFolderName)) return {};
  return DefaultDataFolder() / (deviceFolderName + ".Json");
}

fs::path ProfileFilePath(const fs::path& folder, const std::string& uuid) {
  const std::string name = uuid + ".Json";
  if (!IsPlainFileName(uuid) || !IsPlainFileName(name) || folder.empty()) {
    Trace("profile: profile name refused: %s", uuid.c_str());
    return {};
  }
  return folder / name;
}

namespace {
// Every settings document is an object; any other root reads as missing.
Json::Value ReadObjectFile(const fs::path& path) {
  Json::Value v = ReadJsonFile(path);
  if (v.isNull() || v.isObject()) return v;
  Trace("settings: %s is not a JSON object, read as missing", path.c_str());
  return Json::Value();
}
}  // namespace

Json::Value ReadWithDefaultCopy(const fs::path& userPath, const fs::path& defaultPath) {
  Json::Value v = ReadObjectFile(userPath);
  if (!v.isNull()) return v;
  v = ReadObjectFile(defaultPath);
  if (v.isNull()) {
    // Writing a null here would only make the next start fall back again.
    Trace("settings: no default copy %s", defaultPath.c_str());
    return v;
  }
  WriteJsonFile(userPath, v);
  return v;
}

// --- languages ---

fs::path LanguageConfigPath() { return DefaultDataFolder() / "Language.config"; }

std::vector<LanguageEntry> ReadLanguageList(const fs::path& path) {
  std::vector<LanguageEntry> list;
  const Json::Value doc = ReadJsonFile(path);
  const Json::Value& arr = JsonMember(doc, "Language");
  for (std::size_t i = 0, n = JsonSize(arr); i < n; ++i) {
    const Json::Value& e = JsonElement(arr, i);
    LanguageEntry l;
    l.name = JsonString(JsonMember(e, "Language_name"));
    l.file = JsonString(JsonMember(e, "Language_file"));
    l.id = JsonInt(JsonMember(e, "Language_ID"));
    l.text = JsonString(JsonMember(e, "Language_text"));
    list.push_back(std::move(l));
  }
  return list;
}

int LoadLanguageIndex(const fs::path& configPath) {
  const uint32_t id = SettingsStore().ReadDword("LANGUAGE").value_or(kDefaultLanguageId);
  const std::vector<LanguageEntry> list = ReadLanguageList(configPath);
  for (std::size_t i = 0; i < list.size(); ++i)
    if (list[i].id == static_cast<int64_t>(id)) return static_cast<int>(i);
  return 0;
}

bool StoreLanguageId(uint32_t id) {
  if (!SettingsStore().WriteDword("LANGUAGE", id)) {
    Trace("settings: language %u not stored", id);
    return false;
  }
  return true;
}

// --- palette ---

fs::path PaletteFilePath() { return AppDataFolder() / "color_option_info.config"; }
fs::path DefaultPaletteFilePath() { return DefaultDataFolder() / "color_option_info.config"; }

std::optional<uint32_t> ParseHexColour(const std::string& text) {
  if (text.empty() || text.size() > 8) return std::nullopt;
  uint32_t v = 0;
  for (char c : text) {
    v <<= 4;
    if (c >= '0' && c <= '9') v |= static_cast<uint32_t>(c - '0');
    else if (c >= 'a' && c <= 'f') v |= static_cast<uint32_t>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F') v |= static_cast<uint32_t>(c - 'A' + 10);
    else return std::nullopt;
  }
  return v;
}

namespace {
std::vector<PaletteSwatch> ReadSwatches(const Json::Value& arr, bool withUserData) {
  std::vector<PaletteSwatch> out(kPaletteSwatches);
  for (std::size_t i = 0; i < kPaletteSwatches; ++i) {
    const Json::Value& e = JsonElement(arr, i);
    if (auto c = ParseHexColour(JsonString(JsonMember(e, "color")))) {
      out[i].present = true;
      out[i].colour = *c;
    }
    if (withUserData) out[i].userData = JsonString(JsonMember(e, "UserData"));
  }
  return out;
}

bool SavePalettePart(const std::vector<PaletteSwatch>& swatches, int32_t selected, const char* listKey,
                     const char* selectKey, bool withUserData) {
  const fs::path path = PaletteFilePath();
  Json::Value doc = ReadJsonFile(path);
  Json::Value& info = JsonObjectAt(doc, "coloroptioninfo");
  Json::Value& list = JsonObjectAt(info, listKey);
  for (std::size_t i = 0; i < swatches.size() && i < kPaletteSwatches; ++i) {
    if (!swatches[i].present) continue;
    Json::Value& e = JsonArrayAt(list, i);
    JsonObjectAt(e, "color") = ToHex8(swatches[i].colour);
    if (withUserData) JsonObjectAt(e, "UserData") = WideToUtf8(swatches[i].userData);
  }
  JsonObjectAt(info, selectKey) = selected;
  return TryWriteJsonFile(path, doc);
}
}  // namespace

PaletteState ReadPalette(const Json::Value& doc) {
  PaletteState st;
  const Json::Value& info = JsonMember(doc, "coloroptioninfo");
  // A selection that is text, a fraction or beyond 32 bits is no selection.
  auto select = [&](const char* key, bool* has, int32_t* index) {
    const Json::Value& v = JsonMember(info, key);
    *has = v.isInt();  // jsoncpp: whole numbers in the 32-bit range only
    if (*has) *index = v.asInt();
  };
  select("palletDialogcoloroption_selectitem", &st.hasPresetSelect, &st.presetSelect);
  select("palletDialogcollectcoloroption_selectitem", &st.hasUserSelect, &st.userSelect);
  st.presets = ReadSwatches(JsonMember(info, "palletDialogcoloroption"), false);
  st.userSwatches = ReadSwatches(JsonMember(info, "palletDialogcollectcoloroption"), true);
  return st;
}

PaletteState OpenPalette() { return ReadPalette(ReadWithDefaultCopy(PaletteFilePath(), DefaultPaletteFilePath())); }

bool SavePalettePresets(const std::vector<PaletteSwatch>& presets, int32_t selected) {
  return SavePalettePart(presets, selected, "palletDialogcoloroption", "palletDialogcoloroption_selectitem", false);
}

bool SavePaletteUserSwatches(const std::vector<PaletteSwatch>& swatches, int32_t selected) {
  return SavePalettePart(swatches, selected, "palletDialogcollectcoloroption",
                         "palletDialogcollectcoloroption_selectitem", true);
}

bool DeletePaletteFile() {
  std::error_code ec;
  return fs::remove(PaletteFilePath(), ec);
}

// --- update date ---

std::string FormatUpdateDate(int year, int month, int day) {
  return std::to_string(year) + "-" + std::to_string(month) + "-" + std::to_string(day);
}

std::string ReadOrStampUpdateDate(const fs::path& path, const std::string& today) {
  const Json::Value doc = ReadJsonFile(path);
  const Json::Value& v = JsonMember(JsonMember(doc, "updatelasttime"), "value");
  if (!v.isNull()) return Utf8ToWide(JsonString(v));
  Json::Value fresh(Json::objectValue);
  fresh["updatelasttime"]["value"] = today;
  WriteJsonFile(path, fresh);
  return today;
}

std::string ReadOrStampUpdateDate() {
  std::time_t t = std::time(nullptr);
  std::tm tm{};
  localtime_r(&t, &tm);
  return ReadOrStampUpdateDate(AppDataFolder() / "updatetime.config",
                               FormatUpdateDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday));
}

// --- skin record ---

bool WriteSkinImageRecord(const std::string& flags, const std::string& image, const fs::path& path) {
  for (const std::string* v : {&flags, &image})
    if (v->find_first_of("\r\n") != std::string::npos) {
      Trace("settings: line break in a skin record value refused");
      return false;
    }
  std::vector<std::string> lines;
  if (auto bytes = ReadFileBytes(path, 1u << 20)) {
    std::istringstream in(*bytes);
    for (std::string l; std::getline(in, l);) {
      if (!l.empty() && l.back() == '\r') l.pop_back();
      lines.push_back(l);
    }
  }
  auto trim = [](std::string s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
    std::size_t b = 0;
    while (b < s.size() && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
    return s.substr(b);
  };
  auto upper = [](std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
  };
  // Find the section, then set each key in it (section and key names ignore case).
  std::size_t begin = lines.size(), end = lines.size();
  for (std::size_t i = 0; i < lines.size(); ++i) {
    std::string t = trim(lines[i]);
    if (t.size() >= 2 && t.front() == '[' && t.back() == ']') {
      if (begin != lines.size()) {
        end = i;
        break;
      }
      if (upper(trim(t.substr(1, t.size() - 2))) == "SKINIMAGE") begin = i;
    }
  }
  if (begin == lines.size()) {
    lines.push_back("[SKINIMAGE]");
    begin = lines.size() - 1;
    end = lines.size();
  }
  for (auto [key, value] : {std::pair<const char*, const std::string*>{"FLAGS", &flags}, {"IMAGE", &image}}) {
    bool set = false;
    for (std::size_t i = begin + 1; i < end; ++i) {
      auto eq = lines[i].find('=');
      if (eq != std::string::npos && upper(trim(lines[i].substr(0, eq))) == key) {
        lines[i] = std::string(key) + "=" + *value;
        set = true;
        break;
      }
    }
    if (!set) {
      lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(end), std::string(key) + "=" + *value);
      ++end;
    }
  }
  std::string text;
  for (const std::string& l : lines) text += l + "\n";
  return WriteFileAtomic(path, text);
}

bool WriteSkinImageRecord(const std::string& flags, const std::string& image) {
  return WriteSkinImageRecord(flags, image, AppDataFolder() / "main.ini");
}

// --- built-in effects ---

fs::path DefaultLightPath() { return DefaultDataFolder() / "default_light.json"; }

namespace {
const Json::Value* ProductList(const Json::Value& doc, const char* key, int modelIndex) {
  if (modelIndex < 0) return nullptr;
  const Json::Value& list = JsonElement(JsonMember(doc, key), static_cast<std::size_t>(modelIndex));
  return list.isArray() ? &list : nullptr;
}
}  // namespace

std::optional<std::vector<DefaultEffect>> ReadDefaultEffects(const Json::Value& doc, int modelIndex) {
  const Json::Value* list = ProductList(doc, "DefaultLightName", modelIndex);
  if (!list) return std::nullopt;
  std::vector<DefaultEffect> out;
  for (std::size_t i = 0, n = JsonSize(*list); i < n; ++i) {
    const Json::Value& e = JsonElement(*list, i);
    out.push_back({JsonString(JsonMember(e, "LightName")), JsonFlag(JsonMember(e, "visible")),
                   JsonInt(JsonMember(e, "value"))});
  }
  return out;
}

namespace {
std::optional<std::vector<std::string>> Names(const Json::Value* list) {
  if (!list) return std::nullopt;
  std::vector<std::string> out;
  for (std::size_t i = 0, n = JsonSize(*list); i < n; ++i)
    out.push_back(Utf8ToWide(JsonString(JsonMember(JsonElement(*list, i), "LightName"))));
  return out;
}
}  // namespace

std::optional<std::vector<std::string>> ReadAreaEffects(const Json::Value& doc, int modelIndex) {
  return Names(ProductList(doc, "AreaLightName", modelIndex));
}

std::optional<std::vector<std::string>> ReadUserEffectNames(const Json::Value& lightConfig, int modelIndex) {
  return Names(ProductList(lightConfig, "LightInfo", modelIndex));
}

// --- audio styles ---

AudioStyles ReadAudioStyles(const Json::Value& device) {
  const Json::Value& info = JsonMember(device, "AudioLightInfo");
  AudioStyles out;
  out.style = std::clamp(JsonInt(JsonMember(info, "nAudioStyle")), 0, kAudioStyles - 1);
  for (int i = 0; i < kAudioStyles; ++i) {
    out.names[static_cast<std::size_t>(i)] = JsonString(JsonMember(info, ("nStyleName" + std::to_string(i + 1)).c_str()));
    const char* colours[] = {"nStyleR", "nStyleG", "nStyleB"};
    for (int c = 0; c < 3; ++c) {
      const int32_t v = JsonInt(JsonMember(info, (colours[c] + std::to_string(i)).c_str()));
      out.levels[static_cast<std::size_t>(3 * i + c)] = static_cast<uint8_t>(std::clamp(v, 0, kAudioLevelMax));
    }
  }
  return out;
}

// --- installed version ---

int VersionNumberFromText(const std::string& text) {
  const std::string digits = RemoveChar(text, '.');
  int64_t v = 0;
  std::size_t i = 0;
  while (i < digits.size() && std::isspace(static_cast<unsigned char>(digits[i]))) ++i;
  const std::size_t start = i;
  for (; i < digits.size() && std::isdigit(static_cast<unsigned char>(digits[i])); ++i) {
    v = v * 10 + (digits[i] - '0');
    if (v > std::numeric_limits<int>::max()) return 0;
  }
  return i == start ? 0 : static_cast<int>(v);
}

int ReadInstalledVersion() {
  std::optional<std::string> stored = SettingsStore().ReadString("DisplayVersion");
  return VersionNumberFromText(stored.value_or(KORVALE_VERSION));
}

}  // namespace korvale
