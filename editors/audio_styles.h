#pragma once
// The four audio styles of music lighting ("Device"."AudioLightInfo" of
// "AudioFile.json"): writing them back, their names as shown, and the file.
#include <json/value.h>

#include <array>
#include <filesystem>
#include <string>

#include "profiles/settings_files.h"

namespace korvale {

// Sets all 17 members of "AudioLightInfo" in device, keeping the others.
void WriteAudioStyles(const AudioStyles& styles, Json::Value& device);
// R, G, B levels of a style (0..3; others read as style 0).
std::array<int, 3> StyleLevels(const AudioStyles& styles, int style);
void SetStyleLevel(AudioStyles& styles, int style, int colour, int level);

// The text id of style n's (1..4) default name.
std::string DefaultStyleNameId(int n);
// What a style's box shows: the name itself, a text id translated, or the
// translated default name for an empty one.
std::string ShownStyleName(const std::string& name, int n);

// The "Device" object of the user file; a user file that is missing, not
// JSON or without "Device" is replaced by the default file first (a missing
// default leaves an empty object).
Json::Value LoadAudioDevice(const std::filesystem::path& userFile, const std::filesystem::path& defaultFile);
// As LoadAudioDevice, but the user file is not written: *replacement is the
// default document to write over it, or null when the user file is good.
Json::Value ReadAudioDevice(const std::filesystem::path& userFile, const std::filesystem::path& defaultFile,
                            Json::Value* replacement);
// Writes device as the user file's "Device", keeping the file's other members.
bool SaveAudioDevice(const std::filesystem::path& userFile, const Json::Value& device);
// Writes the default file over the user file and returns its "Device".
Json::Value ResetAudioDevice(const std::filesystem::path& userFile, const std::filesystem::path& defaultFile);

}  // namespace korvale
