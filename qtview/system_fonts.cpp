#include "qtview/system_fonts.h"

#include <fontconfig/fontconfig.h>

#include <cctype>
#include <set>

namespace korvale::qtview {

namespace {

// fontconfig compares family names without case or blanks.
std::string FamilyKey(const std::string& family) {
  std::string key;
  for (char c : family) {
    if (c != ' ') key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  }
  return key;
}

// The system's families and files, listed once: every list call makes
// fontconfig check its font folders again.
struct SystemFonts {
  std::set<std::string> families;  // by FamilyKey
  std::set<std::string> files;
};

const SystemFonts& System() {
  static const SystemFonts fonts = [] {
    SystemFonts out;
    FcPattern* pattern = FcPatternCreate();
    FcObjectSet* objects = FcObjectSetBuild(FC_FAMILY, FC_FILE, nullptr);
    FcFontSet* found = pattern != nullptr && objects != nullptr ? FcFontList(nullptr, pattern, objects) : nullptr;
    for (int i = 0; found != nullptr && i < found->nfont; ++i) {
      FcChar8* value = nullptr;
      for (int n = 0; FcPatternGetString(found->fonts[i], FC_FAMILY, n, &value) == FcResultMatch; ++n)
        out.families.insert(FamilyKey(reinterpret_cast<const char*>(value)));
      if (FcPatternGetString(found->fonts[i], FC_FILE, 0, &value) == FcResultMatch)
        out.files.insert(reinterpret_cast<const char*>(value));
    }
    if (found != nullptr) FcFontSetDestroy(found);
    if (objects != nullptr) FcObjectSetDestroy(objects);
    if (pattern != nullptr) FcPatternDestroy(pattern);
    return out;
  }();
  return fonts;
}

}  // namespace

bool SystemHasFontFamily(const std::string& family) {
  return !family.empty() && System().families.count(FamilyKey(family)) != 0;
}

bool SystemHasFontFile(const std::filesystem::path& file) {
  std::error_code ec;
  const std::filesystem::path real = std::filesystem::canonical(file, ec);
  return !ec && System().files.count(real.string()) != 0;
}

}  // namespace korvale::qtview
