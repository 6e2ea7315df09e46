// korvalectl keys against korvale-emu: listing, setting by key name and by
// code notation on both keyboard layers, resetting, and the refusals (bad
// codes, the mouse's last left button).
#include <gtest/gtest.h>
#include <json/json.h>
#include <stdlib.h>

#include <filesystem>
#include <sstream>

#include "cli/korvalectl.h"
#include "hid/hid_device.h"
#include "tests/support/emu_process.h"

namespace korvale {
namespace {

namespace fs = std::filesystem;

struct CtlRun {
  int status = -1;
  std::string out, err;
};

class KorvalectlKeys : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "korvale-clik-XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    ::setenv("KORVALE_VHID_DIR", (dir_ / "bus").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (dir_ / "data").c_str(), 1);
    CHidDevice::SetHidrawEnabled(false);
    ASSERT_TRUE(emu_.Start({"--dir", (dir_ / "bus").string(), "keyboard", "mouse-cable"}));
    for (int i = 0; i < 2; ++i) ASSERT_FALSE(emu_.Line().empty());
  }
  void TearDown() override {
    emu_.Kill();
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  CtlRun Ctl(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    CtlRun r;
    r.status = cli::RunKorvalectl(args, out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
  }
  static Json::Value Parse(const std::string& text) {
    Json::Value v;
    std::istringstream in(text);
    in >> v;
    return v;
  }
  // Positions (code triples) of a key table area holding `code`.
  int Count(const std::string& device, const std::string& area, uint32_t code) {
    const auto lines = emu_.Listing("dump " + device + " " + area + " 0 504");
    if (lines.empty() || lines.back().rfind("data ", 0) != 0) return -1;
    const std::string hex = lines.back().substr(5);
    int n = 0;
    char want[7];
    std::snprintf(want, sizeof want, "%06x", code);
    for (std::size_t at = 0; at + 6 <= hex.size(); at += 6) n += hex.compare(at, 6, want) == 0;
    return n;
  }

  fs::path dir_;
  testing::EmuProcess emu_;
};

TEST_F(KorvalectlKeys, SetByNameAndByNotationReachesBothLayersAndResetRestores) {
  const int factoryA = Count("keyboard", "default-keys", 0x200004);  // the written tables start empty
  ASSERT_GE(factoryA, 1);
  CtlRun r = Ctl({"keys", "keyboard", "set", "A", "Ctrl+C"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Count("keyboard", "keys", 0x200106), 1);
  EXPECT_EQ(Count("keyboard", "keys", 0x200004), factoryA - 1);

  r = Ctl({"keys", "keyboard", "--fn", "set", "64", "30 CD 00"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Count("keyboard", "fn-keys", 0x30CD00), 1);
  EXPECT_EQ(Count("keyboard", "keys", 0x200106), 1);  // the normal layer keeps its key

  r = Ctl({"--json", "keys", "keyboard", "list"});
  ASSERT_EQ(r.status, 0) << r.err;
  const Json::Value doc = Parse(r.out)["data"];
  EXPECT_EQ(doc["layer"], "normal");
  bool seen = false;
  for (const Json::Value& k : doc["keys"])
    if (k["key"] == 64) {
      seen = true;
      EXPECT_EQ(k["name"], "A");
      EXPECT_EQ(k["code"], "20 01 06");
      EXPECT_EQ(k["does"], "Ctrl+C");
      EXPECT_TRUE(k["changed"].asBool());
    }
  EXPECT_TRUE(seen) << r.out;
  r = Ctl({"keys", "keyboard", "--fn", "list"});
  EXPECT_NE(r.out.find("64  A  30 CD 00  media_play  (changed)"), std::string::npos) << r.out;

  r = Ctl({"--json", "keys", "keyboard", "reset", "a"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Parse(r.out)["data"]["key"]["code"], "20 00 04");
  EXPECT_EQ(Count("keyboard", "keys", 0x200004), factoryA);
}

TEST_F(KorvalectlKeys, BadInputIsRefusedAndChangesNothing) {
  const int before = Count("keyboard", "keys", 0x200004);
  for (const std::vector<std::string>& bad :
       {std::vector<std::string>{"keys", "keyboard", "set", "A", "zz 00 00"},
        {"keys", "keyboard", "set", "NoSuchKey", "B"},
        {"keys", "keyboard", "set", "A"},
        {"keys", "mouse", "--fn", "list"},
        {"keys", "headset", "list"},
        {"keys", "keyboard", "frobnicate"}}) {
    const CtlRun r = Ctl(bad);
    EXPECT_EQ(r.status, cli::kExitUsage) << bad[3 < bad.size() ? 3 : bad.size() - 1];
  }
  const CtlRun macro = Ctl({"keys", "keyboard", "set", "A", "70 05 00"});
  EXPECT_EQ(macro.status, cli::kExitFailure);
  EXPECT_NE(macro.err.find("no macro 5"), std::string::npos) << macro.err;
  EXPECT_EQ(Count("keyboard", "keys", 0x200004), before);
}

TEST_F(KorvalectlKeys, TheMouseKeepsOneLeftButton) {
  CtlRun r = Ctl({"keys", "mouse", "set", "left", "mouse_key_back"});
  EXPECT_EQ(r.status, cli::kExitFailure);
  EXPECT_NE(r.err.find("only left button"), std::string::npos) << r.err;
  r = Ctl({"keys", "mouse", "set", "right", "10 01 00"});
  ASSERT_EQ(r.status, 0) << r.err;
  r = Ctl({"keys", "mouse", "set", "0", "mouse_key_back"});
  ASSERT_EQ(r.status, 0) << r.err;
  r = Ctl({"--json", "keys", "mouse", "list"});
  const Json::Value keys = Parse(r.out)["data"]["keys"];
  EXPECT_EQ(keys[0]["code"], "10 08 00");
  EXPECT_EQ(keys[1]["code"], "10 01 00");
  EXPECT_EQ(keys[1]["does"], "mouse_key_left");
}

}  // namespace
}  // namespace korvale
