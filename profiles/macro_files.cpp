#include "profiles/macro_files.h"

#include <algorithm>
#include <cctype>
#include <system_error>

#include "platform/atomic_file.h"
#include "platform/trace.h"
#include "profiles/json_file.h"

namespace korvale {
namespace {

bool KnownType(int type, bool legacyTypes) {
  switch (type) {
    case kMacroMouseButton:
    case kMacroMoveX:
    case kMacroMoveY:
    case kMacroModifier:
    case kMacroKey: return true;
    case kMacroLegacyA:
    case kMacroLegacyB: return legacyTypes;
    default: return false;
  }
}

// An integer member that must lie in [0, max]; text of decimal digits is
// accepted as well as a number. nullopt when it is neither or out of range.
std::optional<uint32_t> RangedNumber(const Json::Value& v, uint32_t max) {
  if (v.isNull()) return 0u;
  if (v.isString()) {
    const std::string s = v.asString();
    if (s.empty() || s.size() > 10 ||
        !std::all_of(s.begin(), s.end(), [](unsigned char c) { return std::isdigit(c) != 0; }))
      return std::nullopt;
    const unsigned long long n = std::stoull(s);
    if (n > max) return std::nullopt;
    return static_cast<uint32_t>(n);
  }
  if (v.isIntegral()) {
    if (v.isInt64() && v.asInt64() >= 0 && v.asInt64() <= static_cast<Json::Int64>(max))
      return static_cast<uint32_t>(v.asInt64());
    return std::nullopt;
  }
  if (v.isDouble()) {
    const double d = v.asDouble();
    if (d >= 0 && d <= max && d == static_cast<double>(static_cast<uint32_t>(d)))
      return static_cast<uint32_t>(d);
  }
  return std::nullopt;
}

std::string EventError(std::size_t i, const std::string& what) {
  return "event " + std::to_string(i + 1) + ": " + what;
}

}  // namespace

MacroEventsRead ParseMacroEvents(const Json::Value& doc, bool legacyTypes, std::size_t maxEvents) {
  MacroEventsRead r;
  if (!doc.isObject()) {
    r.error = doc.isNull() ? "not a JSON document" : "the document is not a JSON object";
    return r;
  }
  const Json::Value& events = JsonMember(doc, "Events");
  if (!events.isArray()) {
    r.error = "\"Events\" is missing or not a list";
    return r;
  }
  if (events.size() > maxEvents) {
    r.error = std::to_string(events.size()) + " events, at most " + std::to_string(maxEvents) +
              " are allowed";
    return r;
  }
  r.events.reserve(events.size());
  for (Json::ArrayIndex i = 0; i < events.size(); ++i) {
    const Json::Value& e = events[i];
    if (!e.isObject()) {
      r.error = EventError(i, "not an object");
      break;
    }
    const auto type = RangedNumber(JsonMember(e, "Type"), 0x7F);
    if (!type || JsonMember(e, "Type").isNull() || !KnownType(static_cast<int>(*type), legacyTypes)) {
      r.error = EventError(i, "\"Type\" must be 1, 4, 5, 9 or 10");
      break;
    }
    const auto button = RangedNumber(JsonMember(e, "Button"), 255);
    if (!button) {
      r.error = EventError(i, "\"Button\" must be 0-255");
      break;
    }
    const auto delay = RangedNumber(JsonMember(e, "Delay"), kMaxMacroDelay);
    if (!delay) {
      r.error = EventError(i, "\"Delay\" must be 0-65535");
      break;
    }
    const Json::Value& action = JsonMember(e, "Action");
    if (!action.isNull() && !action.isString()) {
      r.error = EventError(i, "\"Action\" must be \"down\" or \"up\"");
      break;
    }
    MacroEvent ev;
    ev.type = static_cast<uint8_t>(*type);
    ev.button = static_cast<uint8_t>(*button);
    ev.delay = static_cast<uint16_t>(*delay);
    ev.down = action.isString() && action.asString() == "down";
    r.events.push_back(ev);
  }
  if (!r.ok()) r.events.clear();
  return r;
}

MacroEventsRead ReadMacroEvents(const std::filesystem::path& file, bool legacyTypes,
                                std::size_t maxEvents) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(file, ec)) {
    MacroEventsRead r;
    r.error = "no such file";
    return r;
  }
  return ParseMacroEvents(ReadJsonFile(file), legacyTypes, maxEvents);
}

Json::Value MacroEventJson(const MacroEvent& e, bool delayAsNumber) {
  Json::Value v(Json::objectValue);
  v["Action"] = e.down ? "down" : "up";
  v["Button"] = e.button;
  v["Type"] = e.type;
  if (delayAsNumber)
    v["Delay"] = e.delay;
  else
    v["Delay"] = std::to_string(e.delay);
  return v;
}

Json::Value MacroDocument(const std::string& name, const std::string& guid,
                          const std::vector<MacroEvent>& events) {
  Json::Value doc(Json::objectValue);
  Json::Value& list = doc["Events"] = Json::Value(Json::arrayValue);
  for (const MacroEvent& e : events) list.append(MacroEventJson(e));
  doc["Guid"] = guid;
  doc["MacroName"] = name;
  doc["Version"] = kMacroFileVersion;
  return doc;
}

bool IsSafeGuid(std::string_view guid) {
  return !guid.empty() && guid.size() <= kMaxGuidLength &&
         std::all_of(guid.begin(), guid.end(),
                     [](unsigned char c) { return std::isdigit(c) != 0 || c == '_'; });
}

std::vector<MacroInfoEntry> ReadMacroIndex(const std::filesystem::path& folder) {
  std::vector<MacroInfoEntry> out;
  const Json::Value doc = ReadJsonFile(folder / "macro.config");
  const Json::Value& info = JsonMember(doc, "MacroInfo");
  for (Json::ArrayIndex i = 0; i < JsonSize(info); ++i) {
    const Json::Value& m = info[i];
    out.push_back({JsonString(JsonMember(m, "MacroName")), JsonString(JsonMember(m, "Guid"))});
  }
  return out;
}

bool WriteMacroIndex(const std::filesystem::path& folder, const std::vector<MacroInfoEntry>& entries) {
  Json::Value doc(Json::objectValue);
  Json::Value& info = doc["MacroInfo"] = Json::Value(Json::arrayValue);
  for (const auto& e : entries) {
    Json::Value m(Json::objectValue);
    m["Guid"] = e.guid;
    m["MacroName"] = e.name;
    info.append(m);
  }
  return TryWriteJsonFile(folder / "macro.config", doc);
}

std::optional<std::filesystem::path> MacroFilePath(const std::filesystem::path& folder,
                                                   std::string_view guid) {
  if (!IsSafeGuid(guid)) {
    Trace("macro Guid \"%.*s\" is not a plain stamp; its file is not used",
          static_cast<int>(std::min<std::size_t>(guid.size(), 80)), guid.data());
    return std::nullopt;
  }
  return folder / (std::string(guid) + ".mac");
}

std::string NewMacroGuid(const std::vector<MacroInfoEntry>& taken) {
  const std::string stamp = MakeTimeStampName();
  auto used = [&](const std::string& g) {
    return std::any_of(taken.begin(), taken.end(), [&](const MacroInfoEntry& e) { return e.guid == g; });
  };
  std::string guid = stamp;
  for (int n = 1; used(guid); ++n) guid = stamp + "_" + std::to_string(n);
  return guid;
}

int FindMacroName(const std::vector<MacroInfoEntry>& entries, std::string_view name) {
  auto lower = [](std::string_view s) {
    std::string t(s);
    std::transform(t.begin(), t.end(), t.begin(), [](unsigned char c) { return std::tolower(c); });
    return t;
  };
  const std::string want = lower(name);
  for (std::size_t i = 0; i < entries.size(); ++i)
    if (lower(entries[i].name) == want) return static_cast<int>(i);
  return -1;
}

std::string NextMacroName(const std::vector<MacroInfoEntry>& entries) {
  for (int n = 1;; ++n) {
    std::string name = "macro_" + std::to_string(n);
    if (FindMacroName(entries, name) < 0) return name;
  }
}

std::string ImportMacroName(const std::vector<MacroInfoEntry>& entries, const std::string& title) {
  std::string name = title;
  for (int n = 1; FindMacroName(entries, name) >= 0; ++n) name += "_" + std::to_string(n);
  return name;
}

MacroImport ImportMacroFile(const std::filesystem::path& folder, const std::filesystem::path& source) {
  MacroImport r;
  std::vector<MacroInfoEntry> index = ReadMacroIndex(folder);
  if (index.size() >= kMaxMacros) {
    r.error = "the list already holds " + std::to_string(kMaxMacros) + " macros";
    return r;
  }
  const MacroEventsRead read = ReadMacroEvents(source, false);
  if (!read.ok()) {
    r.error = source.filename().string() + ": " + read.error;
    return r;
  }
  const std::string name = ImportMacroName(index, FileTitleOf(source));
  const std::string guid = NewMacroGuid(index);
  const auto file = MacroFilePath(folder, guid);
  if (!file || !TryWriteJsonFile(*file, MacroDocument(name, guid, read.events))) {
    r.error = "cannot write the macro file in " + folder.string();
    return r;
  }
  index.push_back({name, guid});
  if (!WriteMacroIndex(folder, index)) {
    std::error_code ec;
    std::filesystem::remove(*file, ec);
    r.error = "cannot write " + (folder / "macro.config").string();
    return r;
  }
  r.name = name;
  r.guid = guid;
  return r;
}

std::filesystem::path ShootFilePath(const std::filesystem::path& folder, int gun) {
  return folder / ("ShootData_" + std::to_string(gun) + ".Shoot");
}

uint32_t LeadingNumber(std::string_view text, uint32_t max) {
  uint64_t v = 0;
  for (char ch : text) {
    if (!std::isdigit(static_cast<unsigned char>(ch))) break;
    v = std::min<uint64_t>(v * 10 + static_cast<uint64_t>(ch - '0'), uint64_t{max} + 1);
  }
  return static_cast<uint32_t>(std::min<uint64_t>(v, max));
}

bool CopyFileChecked(const std::filesystem::path& from, const std::filesystem::path& to,
                     std::string& error) {
  std::error_code ec;
  if (std::filesystem::exists(to, ec) && std::filesystem::equivalent(from, to, ec)) {
    error = "the source and the target are the same file";
    return false;
  }
  const auto bytes = ReadFileBytes(from, kMaxJsonFileBytes);
  if (!bytes) {
    error = "cannot read " + from.string();
    return false;
  }
  if (!WriteFileAtomic(to, *bytes)) {
    error = "cannot write " + to.string();
    return false;
  }
  return true;
}

}  // namespace korvale
