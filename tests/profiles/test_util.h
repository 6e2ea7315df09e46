#pragma once
// Per-test temporary folders and the XDG variables pointing into them.
#include <gtest/gtest.h>
#include <json/value.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/atomic_file.h"
#include "platform/trace.h"
#include "profiles/json_file.h"

namespace korvale::test {

inline std::filesystem::path Fixture(const std::string& name) {
  return std::filesystem::path(KORVALE_SOURCE_DIR) / "tests" / "profiles" / "fixtures" / name;
}

inline std::string Slurp(const std::filesystem::path& p) { return ReadFileBytes(p).value_or(std::string()); }

inline void Spit(const std::filesystem::path& p, const std::string& text) {
  std::ofstream(p, std::ios::binary) << text;
}

inline Json::Value Parse(const std::string& text) { return ParseJsonText(text); }

// A fresh folder per test with XDG_DATA_HOME and XDG_CONFIG_HOME inside it.
class TempHome : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (std::filesystem::temp_directory_path() / "korvale-profiles-XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    ::setenv("XDG_DATA_HOME", (dir_ / "data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
    TraceSink::Instance().Clear();
  }
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(dir_, ec);
  }
  const std::filesystem::path& Dir() const { return dir_; }

 private:
  std::filesystem::path dir_;
};

}  // namespace korvale::test
