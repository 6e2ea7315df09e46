#pragma once
// A private temporary folder per test (mode 0700, removed afterwards).
#include <stdlib.h>

#include <filesystem>
#include <string>

namespace korvale::shelltest {

class TempDir {
 public:
  TempDir() {
    std::string tmpl = (std::filesystem::temp_directory_path() / "korvale-shell-XXXXXX").string();
    path_ = ::mkdtemp(tmpl.data());
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace korvale::shelltest
