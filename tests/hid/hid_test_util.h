#pragma once
#include <stdlib.h>

#include <filesystem>
#include <stdexcept>
#include <string>

namespace korvale::testing {

// A fresh folder per test, short enough for Unix socket paths; removed at the end.
class TempDir {
 public:
  TempDir() {
    char tmpl[] = "/tmp/khid-XXXXXX";
    if (!::mkdtemp(tmpl)) throw std::runtime_error("mkdtemp failed");
    path_ = tmpl;
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// Points the bus at a folder for the life of the object.
class BusDirOverride {
 public:
  explicit BusDirOverride(const std::filesystem::path& dir) { ::setenv("KORVALE_VHID_DIR", dir.c_str(), 1); }
  ~BusDirOverride() { ::unsetenv("KORVALE_VHID_DIR"); }
};

}  // namespace korvale::testing
