#pragma once
// The four audio styles of music lighting ("Device"."AudioLightInfo" of
// "AudioFile.json"): a name and R/G/B levels 0..9 each, and the current one.
#include <json/value.h>

#include <array>
#include <filesystem>
#include <string>

namespace korvale {

struct AudioStyles {
  static constexpr int kStyles = 4;
  static constexpr int kMaxLevel = 9;
  int current = 0;
  std::array<std::string, kStyles> names;
  std::array<std::array<int, 3>, kStyles> levels{};  // R, G, B

  // Missing members read as 0 or empty; levels and the style are clamped to
  // their ranges (older files hold 0..255 levels).
  static AudioStyles FromDevice(const Json::Value& device);
  // Sets all 17 members of "AudioLightInfo" in device, keeping the others.
  void ToDevice(Json::Value& device) const;
  const std::array<int, 3>& Current() const { return levels[static_cast<std::size_t>(current)]; }
};

// The text id of style n's (1..4) default name.
std::string DefaultStyleNameId(int n);
// What a style's box shows: the name itself, a text id translated, or the
// translated default name for an empty one.
std::string ShownStyleName(const std::string& name, int n);

// The "Device" object of the user file; a user file that is missing, not
// JSON or without "Device" is replaced by the default file first (a missing
// default leaves an empty object).
Json::Value LoadAudioDevice(const std::filesystem::path& userFile, const std::filesystem::path& defaultFile);
// Writes device as the user file's "Device", keeping the file's other members.
bool SaveAudioDevice(const std::filesystem::path& userFile, const Json::Value& device);
// Writes the default file over the user file and returns its "Device".
Json::Value ResetAudioDevice(const std::filesystem::path& userFile, const std::filesystem::path& defaultFile);

}  // namespace korvale
