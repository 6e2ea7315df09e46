#pragma once
// The application's own folders and settings files: where user data and
// installation data live, the default-copy rule, the language list and the
// language choice, the colour palette file, the update date, the skin record,
// the built-in effect lists and the installed version number.
#include <json/value.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace korvale {

inline constexpr char kIdentity[] = "KORVALE TX730max";
// The device folder names, by default-data index.
inline constexpr const char* kDeviceFolderNames[4] = {"keyboard", "mouse", "MousePad", "HD"};

// $XDG_DATA_HOME/KORVALE TX730max, created when missing.
std::filesystem::path AppDataFolder();
// AppDataFolder()/<device folder>, created when missing. Empty for a name that
// is not a plain file name.
std::filesystem::path UserDataFolder(const std::string& deviceFolderName);
// The same path, whether or not it exists: nothing is created.
std::filesystem::path UserDataFolderPath(const std::string& deviceFolderName);
// The installed data folder's "DefaultData"; never created.
std::filesystem::path DefaultDataFolder();
// DefaultDataFolder()/<device folder>.Json
std::filesystem::path DefaultProfilePath(const std::string& deviceFolderName);
// folder/<uuid>.Json, or empty when the UUID (taken from a file) is not a
// plain file name and would lead outside the folder.
std::filesystem::path ProfileFilePath(const std::filesystem::path& folder, const std::string& uuid);

// Reads the user file; when that is missing, unparsable or not a JSON object,
// reads the default copy, writes it to the user path and returns it. A missing
// default copy (or one that is no object) writes nothing and gives null.
Json::Value ReadWithDefaultCopy(const std::filesystem::path& userPath,
                                const std::filesystem::path& defaultPath);

// --- languages ---

struct LanguageEntry {
  std::string name;  // "Language_name"
  std::string file;  // "Language_file"
  int64_t id = 0;    // "Language_ID"
  std::string text;  // "Language_text"
};
inline constexpr uint32_t kDefaultLanguageId = 520;
std::filesystem::path LanguageConfigPath();  // DefaultDataFolder()/Language.config
std::vector<LanguageEntry> ReadLanguageList(const std::filesystem::path& path = LanguageConfigPath());
// Position of the first language whose id is the stored "LANGUAGE" value (520
// when none is stored); 0 when the list is missing or nothing matches.
int LoadLanguageIndex(const std::filesystem::path& configPath = LanguageConfigPath());
// Stores the "LANGUAGE" value; true when stored.
bool StoreLanguageId(uint32_t id);

// --- palette ("color_option_info.config" in AppDataFolder) ---

inline constexpr int kPaletteSwatches = 20;
struct PaletteSwatch {
  bool present = false;   // the element exists and holds a colour
  uint32_t colour = 0;    // ARGB
  std::string userData;   // user swatches: "1" when filled
};
struct PaletteState {
  // The selections, each only when the file holds a 32-bit integer for it.
  bool hasPresetSelect = false;
  bool hasUserSelect = false;
  int32_t presetSelect = 0;
  int32_t userSelect = 0;
  std::vector<PaletteSwatch> presets;      // kPaletteSwatches entries
  std::vector<PaletteSwatch> userSwatches; // kPaletteSwatches entries
};
std::filesystem::path PaletteFilePath();
std::filesystem::path DefaultPaletteFilePath();
// Opens the palette document with the default-copy rule and reads both parts.
PaletteState OpenPalette();
PaletteState ReadPalette(const Json::Value& doc);
// Each save rereads the file, replaces its own part and writes it back. Only
// swatches marked present are written, like swatch controls that exist.
bool SavePalettePresets(const std::vector<PaletteSwatch>& presets, int32_t selected);
bool SavePaletteUserSwatches(const std::vector<PaletteSwatch>& swatches, int32_t selected);
bool DeletePaletteFile();
// "FFFF0000" -> 0xFFFF0000; nothing for text that is not hexadecimal.
std::optional<uint32_t> ParseHexColour(const std::string& text);

// --- update date ("updatetime.config" in AppDataFolder) ---

std::string FormatUpdateDate(int year, int month, int day);  // "%d-%d-%d"
// The stored date; when there is none, today's date is stored and returned.
std::string ReadOrStampUpdateDate(const std::filesystem::path& path, const std::string& today);
std::string ReadOrStampUpdateDate();

// --- skin record ("main.ini" in AppDataFolder) ---

// Sets "FLAGS" and "IMAGE" of section "SKINIMAGE", keeping the rest of the file.
bool WriteSkinImageRecord(const std::string& flags, const std::string& image,
                          const std::filesystem::path& path);
bool WriteSkinImageRecord(const std::string& flags, const std::string& image);

// --- built-in effects ("default_light.json" in DefaultDataFolder) ---

struct DefaultEffect {
  std::string name;  // "LightName": a text ID
  bool visible = false;
  int32_t value = 0;  // the mode value as the device knows it
};
std::filesystem::path DefaultLightPath();
// Nothing when the product has no entry (the caller keeps its lists).
std::optional<std::vector<DefaultEffect>> ReadDefaultEffects(const Json::Value& doc, int modelIndex);
std::optional<std::vector<std::string>> ReadAreaEffects(const Json::Value& doc, int modelIndex);
// "LightInfo"[model][i]."LightName" of a lighting list document.
std::optional<std::vector<std::string>> ReadUserEffectNames(const Json::Value& lightConfig, int modelIndex);

// --- audio styles ("AudioFile.json": "Device"."AudioLightInfo") ---

inline constexpr int kAudioStyles = 4;
inline constexpr int kAudioLevelMax = 9;
struct AudioStyles {
  int style = 0;                                 // "nAudioStyle", 0..3
  std::array<std::string, kAudioStyles> names;   // "nStyleName1".."nStyleName4"
  std::array<uint8_t, 3 * kAudioStyles> levels{};  // R, G, B of styles 0..3, each 0..9
};
// From the "Device" object; levels and the style outside their ranges are
// clamped, since the music window's sliders only reach 0..9.
AudioStyles ReadAudioStyles(const Json::Value& device);

// --- installed version ---

// "1.0.5" -> 105, "1.10.2" -> 1102; 0 for text that is not a dotted number.
int VersionNumberFromText(const std::string& text);
// The stored "DisplayVersion", else the version this build carries.
int ReadInstalledVersion();

}  // namespace korvale
