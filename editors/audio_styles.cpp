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

AudioStyles AudioStyles::FromDevice(const Json::Value& device) {
  AudioStyles s;
  const Json::Value& info = JsonMember(device, kInfo);
  s.current = std::clamp(JsonInt(JsonMember(info, "nAudioStyle")), 0, kStyles - 1);
  for (int i = 0; i < kStyles; ++i) {
    s.names[static_cast<std::size_t>(i)] = JsonString(JsonMember(info, NameKey(i + 1).c_str()));
    for (int c = 0; c < 3; ++c) {
      const int v = JsonInt(JsonMember(info, LevelKey(c, i).c_str()));
      if (v < 0 || v > kMaxLevel) Trace("audio styles: %s = %d clamped to 0..9", LevelKey(c, i).c_str(), v);
      s.levels[static_cast<std::size_t>(i)][static_cast<std::size_t>(c)] = std::clamp(v, 0, kMaxLevel);
    }
  }
  return s;
}

void AudioStyles::ToDevice(Json::Value& device) const {
  if (!device.isObject()) device = Json::Value(Json::objectValue);
  Json::Value& info = JsonObjectAt(device, kInfo);
  if (!info.isObject()) info = Json::Value(Json::objectValue);
  info["nAudioStyle"] = current;
  for (int i = 0; i < kStyles; ++i) {
    info[NameKey(i + 1)] = names[static_cast<std::size_t>(i)];
    for (int c = 0; c < 3; ++c) info[LevelKey(c, i)] = levels[static_cast<std::size_t>(i)][static_cast<std::size_t>(c)];
  }
}

std::string DefaultStyleNameId(int n) { return "audio_style_name_" + std::to_string(n); }

std::string ShownStyleName(const std::string& name, int n) {
  const CResourceManager& texts = CResourceManager::GetInstance();
  if (name.empty()) return texts.GetText(DefaultStyleNameId(n));
  if (const std::string* word = texts.FindText(name)) return *word;
  return name;
}

Json::Value LoadAudioDevice(const std::filesystem::path& userFile, const std::filesystem::path& defaultFile) {
  const Json::Value user = ReadJsonFile(userFile);
  if (user.isObject() && user["Device"].isObject()) return user["Device"];
  return ResetAudioDevice(userFile, defaultFile);
}

bool SaveAudioDevice(const std::filesystem::path& userFile, const Json::Value& device) {
  Json::Value doc = ReadJsonFile(userFile);
  if (!doc.isObject()) doc = Json::Value(Json::objectValue);
  doc["Device"] = device;
  return TryWriteJsonFile(userFile, doc);
}

Json::Value ResetAudioDevice(const std::filesystem::path& userFile, const std::filesystem::path& defaultFile) {
  const Json::Value def = ReadJsonFile(defaultFile);
  if (!def.isObject()) {
    Trace("audio styles: no default file %s", defaultFile.c_str());
    return Json::Value(Json::objectValue);
  }
  TryWriteJsonFile(userFile, def);
  const Json::Value& device = JsonMember(def, "Device");
  return device.isObject() ? device : Json::Value(Json::objectValue);
}

}  // namespace korvale
