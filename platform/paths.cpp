#include "platform/paths.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <set>
#include <string>
#include <system_error>

#include "platform/trace.h"

#ifndef KORVALE_INSTALL_DATA_DIR
#define KORVALE_INSTALL_DATA_DIR "/usr/local/share/korvale"
#endif

namespace fs = std::filesystem;

namespace korvale {
namespace {

fs::path HomeDir() {
  if (const char* h = std::getenv("HOME"); h && *h) return h;
  if (const passwd* pw = ::getpwuid(::getuid())) return pw->pw_dir;
  return "/tmp";
}

fs::path EnvOr(const char* name, const fs::path& fallback) {
  const char* v = std::getenv(name);
  // XDG says relative values are invalid and must be ignored.
  if (v && *v == '/') return v;
  return fallback;
}

}  // namespace

fs::path ExecutableDir() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return fs::current_path(ec);
  return exe.parent_path();
}

fs::path InstallDataDir() {
  std::error_code ec;
  fs::path beside = ExecutableDir().parent_path() / "share" / "korvale";
  if (fs::is_directory(beside, ec)) return beside;
  return KORVALE_INSTALL_DATA_DIR;
}

fs::path XdgDataHome() { return EnvOr("XDG_DATA_HOME", HomeDir() / ".local" / "share"); }

fs::path XdgConfigHome() { return EnvOr("XDG_CONFIG_HOME", HomeDir() / ".config"); }

fs::path XdgRuntimeDir() {
  fs::path p = EnvOr("XDG_RUNTIME_DIR", "");
  if (!p.empty()) return p;
  p = fs::path("/tmp") / ("korvale-" + std::to_string(::getuid()));
  return EnsurePrivateDir(p) ? p : fs::path();
}

bool EnsurePrivateDir(const fs::path& dir) {
  // mkdir with the final mode: no moment where the folder is open to others.
  if (::mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) {
    Trace("folders: cannot create %s: %s", dir.c_str(), std::strerror(errno));
    return false;
  }
  struct stat st {};
  const char* why = nullptr;
  if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) why = "is not a folder";
  else if (st.st_uid != ::getuid()) why = "belongs to another user";
  else if ((st.st_mode & 077) != 0) why = "is open to other users";
  if (why == nullptr) return true;
  Trace("folders: %s %s; not used", dir.c_str(), why);
  // Said once per folder: callers look the folder up often.
  static std::mutex lock;
  static std::set<std::string> told;
  std::lock_guard<std::mutex> guard(lock);
  if (told.insert(dir.string()).second)
    std::fprintf(stderr, "korvale: %s %s; refusing to use it (remove it, or set XDG_RUNTIME_DIR)\n", dir.c_str(),
                 why);
  return false;
}

bool EnsureDir(const fs::path& dir, unsigned mode) {
  std::error_code ec;
  if (fs::is_directory(dir, ec)) return true;
  fs::create_directories(dir, ec);
  if (!fs::is_directory(dir, ec)) return false;
  ::chmod(dir.c_str(), mode);
  return true;
}

bool IsInside(const fs::path& root, const fs::path& candidate) {
  fs::path r = root.lexically_normal();
  fs::path c = (candidate.is_absolute() ? candidate : root / candidate).lexically_normal();
  auto rs = r.begin(), re = r.end();
  // A trailing separator normalises to an empty last element; ignore it.
  if (rs != re && std::prev(re)->empty()) --re;
  auto cs = c.begin(), ce = c.end();
  if (cs != ce && std::prev(ce)->empty()) --ce;
  for (; rs != re; ++rs, ++cs) {
    if (cs == ce || *cs != *rs) return false;
  }
  return cs != ce;
}

bool IsPlainFileName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char ch : name)
    if (ch == '/' || ch == '\\' || ch == '\0') return false;
  return true;
}

}  // namespace korvale
