#include "tests/support/temp_dir.h"

#include <stdlib.h>

#include <stdexcept>
#include <string>

namespace korvale::testing {

TempDir::TempDir(std::string_view prefix) {
  std::string tmpl = (std::filesystem::temp_directory_path() / (std::string(prefix) + "-XXXXXX")).string();
  if (::mkdtemp(tmpl.data()) == nullptr) throw std::runtime_error("mkdtemp failed for " + tmpl);
  path_ = tmpl;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

}  // namespace korvale::testing
