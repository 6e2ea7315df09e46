#pragma once
// Resource names from the skin's index file and the words of the current
// language. Controls translate their text through GetText, so a text ID set on
// a label reads back as the word.
//
// Index file ("res.xml"): <Res> with <Xml name=".." path=".."/> and
// <Image name=".." path=".."/> entries (paths relative to the resource folder).
// Language files: a JSON object {"id": "word", ...} (the installed
// Language/*.json) or XML <Language><Text id="..">word</Text>...</Language>.
#include <filesystem>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace korvale {

class CResourceManager {
 public:
  static CResourceManager& GetInstance();

  // Reads the index file; false (with a trace) when missing or malformed,
  // leaving the known names unchanged.
  bool LoadResource(const std::filesystem::path& indexFile);
  // The path of a skin file resource name, relative to the resource folder;
  // "" when unknown.
  std::string GetXmlPath(std::string_view name) const;
  std::string GetImagePath(std::string_view name) const;
  void ResetResourceMap();

  // Replaces the language texts from a file; false (with a trace, texts
  // unchanged) when unreadable or malformed.
  bool LoadLanguage(const std::filesystem::path& file);
  // Replaces the language texts.
  void SetLanguageTexts(std::map<std::string, std::string> texts);
  // Adds or replaces single texts.
  void AddText(std::string_view id, std::string_view word);
  // The word for an ID, or nullptr when the ID is unknown.
  const std::string* FindText(std::string_view id) const;
  // The word for an ID, or the ID itself when unknown.
  std::string GetText(std::string_view id) const;
  // Bumped at every language change, so a renderer can refresh texts.
  unsigned GetLanguageVersion() const { return version_; }
  // Called after every language change (UI thread).
  void AddLanguageListener(std::function<void()> listener);

 private:
  CResourceManager() = default;
  void Changed();
  std::map<std::string, std::string, std::less<>> xml_;
  std::map<std::string, std::string, std::less<>> images_;
  std::map<std::string, std::string, std::less<>> texts_;
  std::vector<std::function<void()>> listeners_;
  unsigned version_ = 0;
};

}  // namespace korvale
