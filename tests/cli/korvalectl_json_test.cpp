// Every command's --json document against docs/korvalectl.schema.json, checked
// by the jsonschema validator: successes, --list answers and failures alike
// share one envelope and name the same things the same way.
#include <gtest/gtest.h>
#include <json/json.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/korvalectl.h"
#include "hid/hid_device.h"
#include "profiles/json_file.h"
#include "tests/support/bus_paths.h"
#include "tests/support/emu_process.h"
#include "tests/support/temp_dir.h"

namespace korvale {
namespace {

namespace fs = std::filesystem;

struct Checked {
  int status = -1;
  std::string output;
};

// Runs the validator on the files; its exit status and what it printed.
Checked Validate(const std::vector<fs::path>& files) {
  std::string cmd = std::string("python3 ") + KORVALE_SOURCE_DIR + "/tests/cli/check_json_schema.py " +
                    KORVALE_SOURCE_DIR + "/docs/korvalectl.schema.json";
  for (const auto& f : files) cmd += " '" + f.string() + "'";
  cmd += " 2>&1";
  Checked c;
  FILE* p = ::popen(cmd.c_str(), "r");
  if (p == nullptr) return c;
  char buf[512];
  while (std::fgets(buf, sizeof buf, p) != nullptr) c.output += buf;
  const int w = ::pclose(p);
  c.status = WIFEXITED(w) ? WEXITSTATUS(w) : -1;
  return c;
}

class KorvalectlJson : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("XDG_DATA_HOME", (tmp_.Path() / "data").c_str(), 1);
    CHidDevice::SetHidrawEnabled(false);
    ASSERT_TRUE(emu_.Start({"--dir", (tmp_.Path() / "bus").string(), "keyboard", "mouse", "mousepad", "headset"}));
    for (int i = 0; i < 4; ++i) ASSERT_FALSE(emu_.Line().empty());
  }

  // Runs korvalectl --json ARGS, checks the envelope's own promises and keeps
  // the document for the validator.
  Json::Value Run(std::vector<std::string> args, int expectStatus) {
    const std::string what = args.empty() ? "(none)" : args[0];
    args.push_back("--json");
    std::ostringstream out, err;
    const int status = cli::RunKorvalectl(args, out, err);
    EXPECT_EQ(status, expectStatus) << what << ": " << err.str();
    Json::Value doc;
    std::string errors;
    std::istringstream in(out.str());
    EXPECT_TRUE(Json::parseFromStream(Json::CharReaderBuilder(), in, &doc, &errors)) << what << ": " << out.str();
    EXPECT_EQ(doc["status"], status) << out.str();
    EXPECT_EQ(doc["ok"], status == 0) << out.str();
    const fs::path file = tmp_.Path() / ("doc" + std::to_string(files_.size()) + ".json");
    std::ofstream(file) << out.str();
    files_.push_back(file);
    return doc;
  }

  testing::TempDir tmp_{"kv-json"};
  testing::BusDirOverride bus_{tmp_.Path() / "bus"};
  testing::EmuProcess emu_;
  std::vector<fs::path> files_;
};

TEST_F(KorvalectlJson, EveryCommandsDocumentMatchesTheSchema) {
  Run({"interfaces"}, 0);
  Run({"list"}, 0);
  // Before a first profile: profile and dpi are null.
  for (const char* d : {"keyboard", "mouse", "mousepad", "headset"}) Run({"info", d}, 0);
  Run({"info", "keyboard", "--raw"}, 0);
  Run({"lighting", "keyboard"}, 0);
  Run({"lighting", "HD", "--effect", "breathing", "--direction", "left"}, 0);
  Run({"lighting", "mouse", "--color", "102030"}, 0);
  Run({"lighting", "mousepad", "--list"}, 0);
  Run({"settings", "keyboard", "--report-rate", "500", "--repeat-delay", "750", "--winlock", "on"}, 0);
  Run({"settings", "mouse", "--report-rate", "2000Hz"}, 0);
  Run({"settings", "keyboard", "--list"}, 0);
  Run({"settings", "mouse", "--list"}, 0);
  Run({"dpi", "mouse", "--stage", "0", "--value", "800"}, 0);
  // With profiles: the mouse's info carries its stages.
  const Json::Value mouse = Run({"info", "mouse"}, 0);
  EXPECT_TRUE(mouse["data"]["dpi"].isObject()) << mouse;
  Run({"profile", "keyboard", "list"}, 0);
  Run({"profile", "keyboard", "add", "Game"}, 0);
  Run({"profile", "keyboard", "select", "0"}, 0);
  Run({"profile", "mouse", "copy", "0"}, 0);
  const std::filesystem::path jump = tmp_.Path() / "Jump.mac";
  std::ofstream(jump) << R"({"Events": [{"Action": "down", "Button": 4, "Type": 1, "Delay": "20"},)"
                      << R"({"Action": "up", "Button": 4, "Type": 1, "Delay": 20}]})";
  Run({"macro", "keyboard", "import", jump.string()}, 0);
  Run({"macro", "keyboard", "list"}, 0);
  Run({"macro", "keyboard", "assign", "A", "Jump"}, 0);
  Run({"macro", "keyboard", "export", "Jump", (tmp_.Path() / "out.mac").string()}, 0);
  Run({"macro", "keyboard", "download"}, 0);
  Run({"shoot", "mouse", "download"}, 0);
  Run({"keys", "keyboard", "list"}, 0);
  Run({"keys", "keyboard", "--fn", "set", "A", "media_play"}, 0);
  Run({"keys", "mouse", "reset", "back"}, 0);
  Run({"keys", "keyboard", "set", "A", "zz"}, 2);
  // Failures: usage, no device, a device that does not answer.
  const Json::Value usage = Run({"info", "toaster"}, 2);
  EXPECT_TRUE(usage["data"].isNull());
  Run({"frobnicate"}, 2);
  Run({}, 2);
  Run({"lighting", "keyboard", "--effect", "wav"}, 2);
  Run({"profile", "keyboard", "select", "nope"}, 1);
  ASSERT_EQ(emu_.Command("unplug mousepad").rfind("ok", 0), 0u);
  Run({"info", "mousepad"}, 3);
  ASSERT_EQ(emu_.Command("fault keyboard no-answer").rfind("ok", 0), 0u);
  const Json::Value silent = Run({"info", "keyboard"}, 4);
  EXPECT_NE(silent["error"]["message"].asString().find("no answer"), std::string::npos) << silent;

  const Checked c = Validate(files_);
  EXPECT_EQ(c.status, 0) << c.output;
  EXPECT_TRUE(c.output.empty()) << c.output;
}

// The check can fail: a missing field, a number where a boolean belongs and
// an envelope that contradicts itself are each caught.
TEST_F(KorvalectlJson, TheSchemaRefusesWhatItDoesNotDescribe) {
  const Json::Value good = Run({"info", "keyboard"}, 0);
  struct Case {
    const char* name;
    void (*spoil)(Json::Value&);
    const char* expect;
  };
  const Case cases[] = {
      {"missing", [](Json::Value& d) { d["data"]["lighting"].removeMember("effect"); }, "'effect' is a required property"},
      {"number", [](Json::Value& d) { d["data"]["lighting"]["multicolor"] = 1; }, "is not of type 'boolean'"},
      {"extra", [](Json::Value& d) { d["data"]["configuration"] = 1; }, "Additional properties"},
      {"envelope", [](Json::Value& d) { d["status"] = 4; }, "status: 0 was expected"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Json::Value doc = good;
    c.spoil(doc);
    const fs::path file = tmp_.Path() / (std::string(c.name) + ".json");
    std::ofstream(file) << doc.toStyledString();
    const Checked r = Validate({file});
    EXPECT_EQ(r.status, 1) << r.output;
    EXPECT_NE(r.output.find(c.expect), std::string::npos) << r.output;
  }
}

}  // namespace
}  // namespace korvale
