#include "mainwnd/language_font.h"

namespace korvale {

namespace {

// Primary language and sublanguage of an LCID.
constexpr int64_t kPrimaryChinese = 0x04;
constexpr int64_t kPrimaryThai = 0x1E;

std::string OwnFace(int64_t id) {
  if (id < 0) return {};
  const int64_t primary = id & 0x3FF;
  const int64_t sub = (id >> 10) & 0x3F;
  if (primary == kPrimaryThai) return "Noto Sans Thai";
  if (primary == kPrimaryChinese) {
    // PRC (2) and Singapore (4) write simplified characters; Taiwan, Hong
    // Kong and Macao traditional ones.
    return sub == 2 || sub == 4 ? "汉仪菱心体简" : "Noto Sans CJK TC Regular";
  }
  return {};
}

}  // namespace

std::string FontFaceForLanguage(int64_t languageId, int64_t previousId) {
  std::string face = OwnFace(languageId);
  if (!face.empty()) return face;
  if (previousId < 0 || !OwnFace(previousId).empty()) return "Arial";
  return {};
}

}  // namespace korvale
