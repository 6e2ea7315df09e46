#include "editors/audio_styles.h"

#include <algorithm>

#include "platform/trace.h"
#include "profiles/json_file.h"
#include "ui/resource_manager.h"

namespace korvale {

namespace {
constexpr const char* kInfo = "AudioLightInfo";
constexpr char kColourKey[3] = {'R', 'G', 'B'};

std::string LevelKey(int colour, int style) {
  return std::string("nStyle") + kColourKey[colour] + std::to_string(style);
}
std::string NameKey(int n) { return "nStyleName" + std::to_string(n); }
}  // namespace

void WriteAudioStyles(const AudioStyles& styles, Json::Value& device) {
  if (!device.isObject()) device = Json::Value(Json::objectValue);
  Json::Value& info = JsonObjectAt(device, kInfo);
  if (!info.isObject()) info = Json::Value(Json::objectValue);
  info["nAudioStyle"] = styles.style;
  for (int i = 0; i < kAudioStyles; ++i) {
    info[NameKey(i + 1)] = styles.names[static_cast<std::size_t>(i)];
    for (int c = 0; c < 3; ++c) info[LevelKey(c, i)] = StyleLevels(styles, i)[static_cast<std::size_t>(c)];
  }
}

std::array<int, 3> StyleLevels(const AudioStyles& styles, int style) {
  const auto at = static_cast<std::size_t>(3 * (style >= 0 && style < kAudioStyles ? style : 0));
  return {styles.levels[at], styles.levels[at + 1], styles.levels[at + 2]};
}

void SetStyleLevel(AudioStyles& styles, int style, int colour, int level) {
  if (style < 0 || style >= kAudioStyles || colour < 0 || colour > 2) return;
  styles.levels[static_cast<std::size_t>(3 * style + colour)] = static_cast<std::uint8_t>(std::clamp(level, 0, kAudioLevelMax));
}

std::string DefaultStyleNameId(int n) { return "audio_style_name_" + std::to_string(n); }

std::string ShownStyleName(const std::string& name, int n) {
  const CResourceManager& texts = CResourceManager::GetInstance();
  if (name.empty()) return texts.GetText(DefaultStyleNameId(n));
  if (const std::string* word = texts.FindText(name)) return *word;
  return name;
}

namespace {

// The default file's document, or null (traced) when it is missing or no object.
Json::Value DefaultAudioDocument(const std::filesystem::path& defaultFile) {
  Json::Value def = ReadJsonFile(defaultFile);
  if (def.isObject()) return def;
  Trace("audio styles: no default file %s", defaultFile.c_str());
  return Json::Value();
}

Json::Value DeviceOf(const Json::Value& doc) {
  const Json::Value& device = JsonMember(doc, "Device");
  return device.isObject() ? device : Json::Value(Json::objectValue);
}

}  // namespace

Json::Value LoadAudioDevice(const std::filesystem::path& userFile, const std::filesystem::path& defaultFile) {
  Json::Value replacement;
  Json::Value device = ReadAudioDevice(userFile, defaultFile, &replacement);
  if (!replacement.isNull()) TryWriteJsonFile(userFile, replacement);
  return device;
}

Json::Value ReadAudioDevice(const std::filesystem::path& userFile, const std::filesystem::path& defaultFile,
                            Json::Value* replacement) {
  *replacement = Json::Value();
  const Json::Value user = ReadJsonFile(userFile);
  if (user.isObject() && user["Device"].isObject()) return user["Device"];
  *replacement = DefaultAudioDocument(defaultFile);
  return DeviceOf(*replacement);
}

bool SaveAudioDevice(const std::filesystem::path& userFile, const Json::Value& device) {
  Json::Value doc = ReadJsonFile(userFile);
  if (!doc.isObject()) doc = Json::Value(Json::objectValue);
  doc["Device"] = device;
  return TryWriteJsonFile(userFile, doc);
}

Json::Value ResetAudioDevice(const std::filesystem::path& userFile, const std::filesystem::path& defaultFile) {
  const Json::Value def = DefaultAudioDocument(defaultFile);
  if (!def.isNull()) TryWriteJsonFile(userFile, def);
  return DeviceOf(def);
}

}  // namespace korvale
