#pragma once
// The macro files of a device folder: the index "macro.config" (names and
// Guids in list order; the position is the macro number key assignments
// store), one "<Guid>.mac" per macro, and the four shoot files. Every event
// read from a file is checked here, so nothing downstream (the editors, the
// image encoder) sees a delay, type or button it cannot store.
#include <json/value.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvale {

inline constexpr std::size_t kMaxMacros = 50;
inline constexpr std::size_t kMaxMacroEvents = 4000;
inline constexpr uint32_t kMaxMacroDelay = 65535;
inline constexpr int kMacroFileVersion = 64;
inline constexpr std::size_t kMaxGuidLength = 199;
inline constexpr int kShootGuns = 4;
inline constexpr int kShootBullets = 30;
inline constexpr int kEventsPerBullet = 6;

// Event kinds ("Type").
inline constexpr uint8_t kMacroMouseButton = 1;
inline constexpr uint8_t kMacroMoveX = 4;  // "down" = left
inline constexpr uint8_t kMacroMoveY = 5;  // "down" = up
inline constexpr uint8_t kMacroModifier = 9;
inline constexpr uint8_t kMacroKey = 10;
// Shown but never created: files may hold them, imports refuse them.
inline constexpr uint8_t kMacroLegacyA = 2;
inline constexpr uint8_t kMacroLegacyB = 3;

struct MacroEvent {
  uint16_t delay = 0;   // milliseconds after the event
  uint8_t type = 0;     // below 0x80: bit 7 is the down flag on the device
  bool down = false;
  uint8_t button = 0;   // key code, button bit or move distance
  friend bool operator==(const MacroEvent&, const MacroEvent&) = default;
};

// Reading events out of a JSON document.
struct MacroEventsRead {
  std::vector<MacroEvent> events;
  std::string error;  // empty when the document was accepted
  bool ok() const { return error.empty(); }
};

// Checks a macro or shoot document: an object whose "Events" is an array of
// at most maxEvents objects, each with a known "Type" (1, 4, 5, 9, 10; 2 and 3
// only when legacyTypes), "Button" 0-255 and "Delay" 0-65535 as decimal text or
// a number (missing reads 0). The first fault is named in error, with its
// event number, and no events are returned.
MacroEventsRead ParseMacroEvents(const Json::Value& doc, bool legacyTypes = true,
                                 std::size_t maxEvents = kMaxMacroEvents);
// The same for a file; a missing file is an error too.
MacroEventsRead ReadMacroEvents(const std::filesystem::path& file, bool legacyTypes = true,
                                std::size_t maxEvents = kMaxMacroEvents);

// One event as stored: "Delay" as text in macro files, a number in shoot files.
Json::Value MacroEventJson(const MacroEvent& e, bool delayAsNumber = false);
// A whole macro file document ("Events", "Guid", "MacroName", "Version").
Json::Value MacroDocument(const std::string& name, const std::string& guid,
                          const std::vector<MacroEvent>& events);

// ---- the index ----

struct MacroInfoEntry {
  std::string name;
  std::string guid;
};

// A Guid is used as a file name: digits and '_' only, 1-199 characters.
bool IsSafeGuid(std::string_view guid);

// The entries of folder/"macro.config" in list order; a missing or broken
// file reads as an empty list. Entries keep their place even with a bad Guid
// (macro numbers must not shift); MacroFilePath refuses those.
std::vector<MacroInfoEntry> ReadMacroIndex(const std::filesystem::path& folder);
bool WriteMacroIndex(const std::filesystem::path& folder, const std::vector<MacroInfoEntry>& entries);
// folder/<guid>.mac, or nothing for an unsafe Guid.
std::optional<std::filesystem::path> MacroFilePath(const std::filesystem::path& folder,
                                                   std::string_view guid);

// A creation stamp not used by any entry: the local time
// "YYYY_MM_DD_hh_mm_ss_mmm", with "_n" added when the same millisecond is
// already taken.
std::string NewMacroGuid(const std::vector<MacroInfoEntry>& taken);

// Index of the entry named `name`, compared case-insensitively; -1 when none.
int FindMacroName(const std::vector<MacroInfoEntry>& entries, std::string_view name);

// "macro_n" with the smallest n from 1 that no entry is named.
std::string NextMacroName(const std::vector<MacroInfoEntry>& entries);
// The file title, with "_1", "_2", ... appended while the name is taken
// (the suffixes accumulate: Jump, Jump_1, Jump_1_2).
std::string ImportMacroName(const std::vector<MacroInfoEntry>& entries, const std::string& title);

struct MacroImport {
  std::string name;   // the new macro's name; empty when refused
  std::string guid;
  std::string error;  // why it was refused
};
// Imports a macro file: the source is checked (types 1, 4, 5, 9, 10, buttons,
// delays, at most 4,000 events), written normalised as a new macro of the
// folder, and added to the end of the index. Refused with nothing changed
// when the list is full or the file fails its check.
MacroImport ImportMacroFile(const std::filesystem::path& folder, const std::filesystem::path& source);

// ---- shoot files ----

std::filesystem::path ShootFilePath(const std::filesystem::path& folder, int gun);

// The leading decimal digits of text as a number, at most max (text that does
// not start with a digit reads 0): how the editors read their number boxes.
uint32_t LeadingNumber(std::string_view text, uint32_t max);

// ---- copying ----

// Copies a file through memory with an atomic write. Refuses a missing
// source and a source that is the target itself; error says why.
bool CopyFileChecked(const std::filesystem::path& from, const std::filesystem::path& to,
                     std::string& error);

}  // namespace korvale
