#pragma once
// The per-user settings that a registry key would hold elsewhere ("LANGUAGE",
// "DisplayVersion"): one small JSON object of named numbers and texts under
// $XDG_CONFIG_HOME/KORVALE TX730max/. Nested values are not part of the
// format; a file that does not parse reads as empty and is rewritten whole on
// the next change.
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace korvale {

class SettingsStore {
 public:
  // $XDG_CONFIG_HOME/KORVALE TX730max/settings.json
  static std::filesystem::path DefaultPath();

  explicit SettingsStore(std::filesystem::path file = DefaultPath());

  // A number that fits 32 bits unsigned; nothing when missing or a text.
  std::optional<uint32_t> ReadDword(std::string_view name) const;
  // A text value; a number is returned in decimal, like a registry read that
  // accepts any type.
  std::optional<std::string> ReadString(std::string_view name) const;
  // True when the file was written (atomically).
  bool WriteDword(std::string_view name, uint32_t value);
  bool WriteString(std::string_view name, std::string_view value);

  using Value = std::variant<int64_t, std::string>;
  using Map = std::map<std::string, Value, std::less<>>;
  // Exposed for tests and the fuzz harness: parse and format the file text.
  static std::optional<Map> Parse(std::string_view text);
  static std::string Format(const Map& values);

 private:
  Map Load() const;
  bool Store(std::string_view name, Value value);
  std::filesystem::path file_;
};

}  // namespace korvale
