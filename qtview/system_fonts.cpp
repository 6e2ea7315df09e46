#include "qtview/system_fonts.h"

#include <fontconfig/fontconfig.h>

#include <QFontDatabase>
#include <QString>
#include <QStringList>
#include <cctype>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string_view>

namespace korvale::qtview {

namespace {

// The worker's progress, shared with the questions below.
struct LoadState {
  std::mutex lock;
  std::condition_variable changed;
  bool running = false;      // a FontLoad exists
  bool configured = false;   // fontconfig's configuration is loaded
  bool appReady = false;     // Qt may be asked
  bool stop = false;         // Join asked before the application was ready
};

LoadState& Load() {
  static LoadState state;
  return state;
}

// fontconfig loads its configuration once per process: a second caller
// during the load would load it again, so questions wait for the worker.
void WaitConfigured() {
  LoadState& s = Load();
  std::unique_lock<std::mutex> hold(s.lock);
  s.changed.wait(hold, [&] { return !s.running || s.configured; });
}

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
  WaitConfigured();
  static std::mutex lock;
  static std::map<std::pair<std::string, std::string>, bool> answers;
  std::lock_guard<std::mutex> hold(lock);
  auto key = std::make_pair(std::string(object), value);
  auto it = answers.find(key);
  if (it == answers.end()) it = answers.emplace(std::move(key), Listed(object, value)).first;
  return it->second;
}

}  // namespace

FontLoad::FontLoad() {
  LoadState& s = Load();
  {
    std::lock_guard<std::mutex> hold(s.lock);
    s.running = true;
    s.configured = s.appReady = s.stop = false;
  }
  worker_ = std::thread([&s] {
    FcConfigGetCurrent();
    std::unique_lock<std::mutex> hold(s.lock);
    s.configured = true;
    s.changed.notify_all();
    s.changed.wait(hold, [&] { return s.appReady || s.stop; });
    if (s.stop) return;
    hold.unlock();
    // Builds the database under Qt's lock; the family is the one drawn.
    (void)QFontDatabase::styles(QStringLiteral("Noto Sans"));
  });
}

void FontLoad::ApplicationReady() {
  // The platform's font database object is made here, on this thread, so
  // the worker only fills it.
  (void)QFontDatabase::isPrivateFamily(QString());
  LoadState& s = Load();
  std::lock_guard<std::mutex> hold(s.lock);
  s.appReady = true;
  s.changed.notify_all();
}

void FontLoad::Join() {
  LoadState& s = Load();
  {
    std::lock_guard<std::mutex> hold(s.lock);
    s.stop = true;
    s.changed.notify_all();
  }
  if (worker_.joinable()) worker_.join();
  std::lock_guard<std::mutex> hold(s.lock);
  s.running = false;
  s.changed.notify_all();
}

FontLoad::~FontLoad() { Join(); }

bool SystemHasFontFamily(const std::string& family) { return !family.empty() && Cached(FC_FAMILY, family); }

bool SystemHasFontFile(const std::filesystem::path& file) {
  std::error_code ec;
  const std::filesystem::path real = std::filesystem::canonical(file, ec);
  return !ec && Cached(FC_FILE, real.string());
}

}  // namespace korvale::qtview
