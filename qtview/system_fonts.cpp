#include "qtview/system_fonts.h"

#include <fontconfig/fontconfig.h>

namespace korvale::qtview {

namespace {

// Whether any font of the current configuration matches the one property.
bool Lists(const char* object, const std::string& value) {
  if (value.empty()) return false;
  FcPattern* pattern = FcPatternCreate();
  if (pattern == nullptr) return false;
  FcPatternAddString(pattern, object, reinterpret_cast<const FcChar8*>(value.c_str()));
  FcObjectSet* objects = FcObjectSetBuild(object, nullptr);
  FcFontSet* found = objects != nullptr ? FcFontList(nullptr, pattern, objects) : nullptr;
  const bool any = found != nullptr && found->nfont > 0;
  if (found != nullptr) FcFontSetDestroy(found);
  if (objects != nullptr) FcObjectSetDestroy(objects);
  FcPatternDestroy(pattern);
  return any;
}

}  // namespace

bool SystemHasFontFamily(const std::string& family) { return Lists(FC_FAMILY, family); }

bool SystemHasFontFile(const std::filesystem::path& file) {
  std::error_code ec;
  const std::filesystem::path real = std::filesystem::canonical(file, ec);
  return !ec && Lists(FC_FILE, real.string());
}

}  // namespace korvale::qtview
