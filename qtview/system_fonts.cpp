#include "qtview/system_fonts.h"

#include <fontconfig/fontconfig.h>

#include <map>
#include <mutex>

namespace korvale::qtview {

namespace {

// True when fontconfig lists at least one face with the property. The
// pattern narrows the list to matching faces, so nothing is built for the
// rest of the system's fonts (a full list costs as much as the whole
// window's first layout).
bool Listed(const char* object, const std::string& value) {
  FcPattern* pattern = FcPatternCreate();
  if (pattern == nullptr) return false;
  bool found = false;
  if (FcPatternAddString(pattern, object, reinterpret_cast<const FcChar8*>(value.c_str())) != 0) {
    if (FcObjectSet* objects = FcObjectSetBuild(FC_FILE, nullptr)) {
      if (FcFontSet* set = FcFontList(nullptr, pattern, objects)) {
        found = set->nfont > 0;
        FcFontSetDestroy(set);
      }
      FcObjectSetDestroy(objects);
    }
  }
  FcPatternDestroy(pattern);
  return found;
}

// Answers are kept: every list call makes fontconfig check its folders again.
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

// fontconfig compares family names without case or blanks itself.
bool SystemHasFontFamily(const std::string& family) { return !family.empty() && Cached(FC_FAMILY, family); }

bool SystemHasFontFile(const std::filesystem::path& file) {
  std::error_code ec;
  const std::filesystem::path real = std::filesystem::canonical(file, ec);
  return !ec && Cached(FC_FILE, real.string());
}

}  // namespace korvale::qtview
