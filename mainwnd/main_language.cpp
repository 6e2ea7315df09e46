#include "mainwnd/main_wnd.h"

#include <cstdlib>
#include <filesystem>

#include "mainwnd/language_font.h"
#include "platform/paths.h"
#include "platform/settings_store.h"
#include "platform/trace.h"
#include "profiles/settings_files.h"
#include "ui/resource_manager.h"

namespace korvale {

// ---- language ----

namespace {

// Language ids by the language part of a POSIX locale name ("de_AT.UTF-8").
struct LocaleRow {
  const char* language;
  int64_t id;
};
constexpr LocaleRow kLocaleIds[] = {{"en", 1033}, {"de", 1031}, {"fr", 1036}};

}  // namespace

int LanguageIndexForLocale(std::string_view locale, const std::vector<LanguageEntry>& list) {
  const std::string_view lang = locale.substr(0, locale.find_first_of("_.@"));
  for (const LocaleRow& r : kLocaleIds) {
    if (lang != r.language) continue;
    for (std::size_t i = 0; i < list.size(); ++i)
      if (list[i].id == r.id) return static_cast<int>(i);
  }
  return -1;
}

int CMainWnd::StartLanguageIndex() {
  // A choice made before wins; the first start follows the desktop's locale
  // when a language file matches it.
  if (SettingsStore().ReadDword("LANGUAGE")) return LoadLanguageIndex();
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(var);
    if (v == nullptr || *v == '\0') continue;
    const int i = LanguageIndexForLocale(v, ReadLanguageList());
    return i >= 0 ? i : LoadLanguageIndex();
  }
  return LoadLanguageIndex();
}

void CMainWnd::InstallFonts(const std::string& face) {
  struct F {
    int id;
    int size;
    bool underline;
    bool bold;
    bool isDefault;
  };
  static constexpr F kFonts[] = {{0, 15, false, false, false},  {-1, 14, false, false, true},
                                 {1, 14, true, false, false},   {2, 12, false, false, false},
                                 {3, 30, false, false, false},  {4, 16, false, false, false},
                                 {5, 20, false, false, false},  {6, 22, false, false, false},
                                 {7, 14, false, false, false},  {8, 12, false, false, false},
                                 {9, 11, false, false, false},  {10, 10, false, false, false},
                                 {11, 28, false, false, false}, {50, 18, false, true, false}};
  for (CPaintManagerUI* pm : {&m_pm}) {
    // Fonts the table does not name keep their sizes but take the face too.
    for (TFontInfo f : pm->GetFonts()) {
      f.name = face;
      pm->AddFont(f);
    }
    for (const F& f : kFonts) {
      TFontInfo info;
      info.id = f.id;
      info.name = face;
      info.size = f.size;
      info.underline = f.underline;
      info.bold = f.bold;
      info.isDefault = f.isDefault;
      pm->AddFont(info);
    }
  }
}

void CMainWnd::ApplyLanguage(int index) {
  if (index == languageIndex_) return;
  const std::vector<LanguageEntry> list = ReadLanguageList();
  if (index < 0 || (!list.empty() && static_cast<std::size_t>(index) >= list.size())) {
    Trace("language %d is not in the list of %zu; kept %d", index, list.size(), languageIndex_);
    return;
  }
  auto idAt = [&list](int i) { return i >= 0 && static_cast<std::size_t>(i) < list.size() ? list[i].id : -1; };
  const std::string face = FontFaceForLanguage(idAt(index), idAt(languageIndex_));
  if (!face.empty()) InstallFonts(face);
  languageIndex_ = index;
  if (static_cast<std::size_t>(index) < list.size()) {
    const LanguageEntry& e = list[index];
    const std::filesystem::path root = InstallDataDir();
    const std::filesystem::path file = root / e.file;
    if (!e.file.empty() && IsInside(root, file))
      CResourceManager::GetInstance().LoadLanguage(file);
    else
      Trace("language %s: file \"%s\" refused", e.name.c_str(), e.file.c_str());
    // Stored when it changed: a start in the language of the last one
    // writes (and syncs) nothing.
    const auto id = static_cast<uint32_t>(e.id);
    AfterFirstPaint([id] {
      if (SettingsStore().ReadDword("LANGUAGE") != id && StoreLanguageId(id)) Trace("写成功！");
    });
  }
  m_pm.NeedUpdate();
  for (HWND h : children_)
    if (h != 0 && IsWindow(h)) SendMessageW(h, WM_LANGUAGE_CHANGED, 0, 0);
  ShowLightControlStatus();
}

}  // namespace korvale
