#include "qtview/system_fonts.h"

#include <fontconfig/fontconfig.h>

#include <cctype>
#include <map>
#include <mutex>
#include <string_view>

namespace korvale::qtview {

namespace {

// Families compare as fontconfig compares them: without case or blanks.
bool SameFamily(const char* a, const char* b) {
  for (;; ++a, ++b) {
    while (*a == ' ') ++a;
    while (*b == ' ') ++b;
    if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
    if (*a == '\0') return true;
  }
}

// True when one of the system's faces has the value: a family compared as
// fontconfig compares families (no case, no blanks), a file by its path.
// The configuration's own font set is read in place: a list call would build
// a pattern for every matching face and check the font folders again.
bool Listed(const char* object, const std::string& value) {
  const FcFontSet* set = FcConfigGetFonts(nullptr, FcSetSystem);
  const bool family = std::string_view(object) == FC_FAMILY;
  for (int i = 0; set != nullptr && i < set->nfont; ++i) {
    FcChar8* have = nullptr;
    for (int n = 0; FcPatternGetString(set->fonts[i], object, n, &have) == FcResultMatch; ++n) {
      const char* text = reinterpret_cast<const char*>(have);
      if (family ? SameFamily(text, value.c_str()) : value == text) return true;
      if (!family) break;  // one file per face
    }
  }
  return false;
}

// Answers are kept: the same few questions come from every window.
bool Cached(const char* object, const std::string& value) {
  static std::mutex lock;
  static std::map<std::pair<std::string, std::string>, bool> answers;
  std::lock_guard<std::mutex> hold(lock);
  auto key = std::make_pair(std::string(object), value);
  auto it = answers.find(key);
  if (it == answers.end()) it = answers.emplace(std::move(key), Listed(object, value)).first;
  return it->second;
}

}  // namespace

bool SystemHasFontFamily(const std::string& family) { return !family.empty() && Cached(FC_FAMILY, family); }

bool SystemHasFontFile(const std::filesystem::path& file) {
  std::error_code ec;
  const std::filesystem::path real = std::filesystem::canonical(file, ec);
  return !ec && Cached(FC_FILE, real.string());
}

}  // namespace korvale::qtview
