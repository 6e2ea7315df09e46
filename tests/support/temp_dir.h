#pragma once
// A fresh private folder (mode 0700) for one test, removed with everything in
// it when the object goes. The name stays short: bus sockets live inside and
// a socket path holds at most 107 bytes.
#include <filesystem>
#include <string_view>

namespace korvale::testing {

class TempDir {
 public:
  // prefix names the folder in the temporary folder: <prefix>-XXXXXX.
  explicit TempDir(std::string_view prefix = "korvale");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace korvale::testing
