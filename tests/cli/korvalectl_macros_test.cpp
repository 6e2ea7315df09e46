// korvalectl macro and shoot against korvale-emu: checked imports, exports
// that cannot empty a file, assigning and downloading, and downloads that
// stop before the key tables when the macros are not stored.
#include <gtest/gtest.h>
#include <json/json.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/korvalectl.h"
#include "emulator/firmware.h"
#include "hid/hid_device.h"
#include "profiles/json_file.h"
#include "profiles/macro_files.h"
#include "profiles/settings_files.h"
#include "tests/support/journal.h"
#include "tests/support/emu_process.h"

namespace korvale {
namespace {

namespace fs = std::filesystem;
using testing::EmuProcess;

std::vector<uint8_t> Written(const std::vector<std::string>& journal, int cmd) {
  return testing::Written(testing::ParseJournal(journal), cmd);
}

struct CtlRun {
  int status = -1;
  std::string out, err;
};

std::string ReadText(const fs::path& p) {
  std::ifstream in(p);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

class KorvalectlMacros : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "korvale-clim-XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    ::setenv("KORVALE_VHID_DIR", (dir_ / "bus").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (dir_ / "data").c_str(), 1);
    CHidDevice::SetHidrawEnabled(false);
    ASSERT_TRUE(emu_.Start({"--dir", (dir_ / "bus").string(), "keyboard", "mouse"}));
    for (int i = 0; i < 2; ++i) ASSERT_FALSE(emu_.Line().empty());
    kbFolder_ = UserDataFolder("keyboard");
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
  fs::path Fixture(const std::string& name, const std::string& text) {
    const fs::path p = dir_ / name;
    std::ofstream(p) << text;
    return p;
  }
  static std::string Clicks(int n) {
    std::string s = "{\"Events\": [";
    for (int i = 0; i < n; ++i)
      s += std::string(i ? "," : "") + "{\"Action\":\"" + (i % 2 ? "up" : "down") + "\",\"Button\":1,\"Type\":1,\"Delay\":" +
           (i % 3 ? "\"20\"" : "20") + "}";
    return s + "]}";
  }

  fs::path dir_, kbFolder_;
  EmuProcess emu_;
};

TEST_F(KorvalectlMacros, ImportChecksTheFileAndNamesLikeTheEditor) {
  const fs::path jump = Fixture("Jump.mac", Clicks(4));
  ASSERT_EQ(Ctl({"macro", "keyboard", "import", jump.string()}).out, "imported as \"Jump\"\n");
  ASSERT_EQ(Ctl({"macro", "keyboard", "import", jump.string()}).out, "imported as \"Jump_1\"\n");
  ASSERT_EQ(Ctl({"macro", "keyboard", "import", jump.string()}).out, "imported as \"Jump_1_2\"\n");
  const std::string before = ReadText(kbFolder_ / "macro.config");
  struct Bad {
    const char* file;
    std::string text;
    const char* message;
  };
  const Bad bad[] = {
      {"array.mac", "[{\"Type\": 1}]", "not a JSON object"},
      {"type.mac", R"({"Events": [{"Type": 129, "Button": 1}]})", "\"Type\""},
      {"delay.mac", R"({"Events": [{"Type": 1, "Button": 1, "Delay": "70000"}]})", "\"Delay\""},
      {"move.mac", R"({"Events": [{"Type": 4, "Button": 300}]})", "\"Button\""},
      {"long.mac", Clicks(5000), "5000 events"},
      {"text.mac", "not json at all", "not a JSON document"},
  };
  for (const Bad& b : bad) {
    const CtlRun r = Ctl({"macro", "keyboard", "import", Fixture(b.file, b.text).string()});
    EXPECT_EQ(r.status, 1) << b.file;
    EXPECT_NE(r.err.find(b.message), std::string::npos) << b.file << ": " << r.err;
  }
  EXPECT_EQ(ReadText(kbFolder_ / "macro.config"), before);  // refused imports change nothing
  // The imported file is written normalised: every delay as text.
  const auto index = ReadMacroIndex(kbFolder_);
  ASSERT_EQ(index.size(), 3u);
  const Json::Value saved = ReadJsonFile(kbFolder_ / (index[0].guid + ".mac"));
  EXPECT_EQ(saved["Events"][0]["Delay"], "20");
  EXPECT_EQ(saved["Guid"], index[0].guid);
  const CtlRun list = Ctl({"macro", "keyboard", "list"});
  EXPECT_EQ(list.out, "0  Jump  4 events\n1  Jump_1  4 events\n2  Jump_1_2  4 events\n");
}

TEST_F(KorvalectlMacros, ExportNeverEmptiesTheTarget) {
  ASSERT_EQ(Ctl({"macro", "keyboard", "import", Fixture("Jump.mac", Clicks(2)).string()}).status, 0);
  auto index = ReadMacroIndex(kbFolder_);
  index.push_back({"unsaved", NewMacroGuid(index)});
  index.push_back({"escape", "../../outside"});
  ASSERT_TRUE(WriteMacroIndex(kbFolder_, index));
  const fs::path target = Fixture("target.mac", "precious");
  CtlRun r = Ctl({"macro", "keyboard", "export", "unsaved", target.string()});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("never been saved"), std::string::npos) << r.err;
  EXPECT_EQ(Ctl({"macro", "keyboard", "export", "escape", target.string()}).status, 1);
  EXPECT_EQ(ReadText(target), "precious");
  r = Ctl({"macro", "keyboard", "export", "JUMP", target.string()});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(ReadText(target), ReadText(kbFolder_ / (index[0].guid + ".mac")));
  EXPECT_EQ(Ctl({"macro", "keyboard", "list"}).out,
            "0  Jump  2 events\n1  unsaved  never saved\n2  escape  unusable Guid\n");
}

TEST_F(KorvalectlMacros, AssignAndDownloadStoreTheMacroBeforeTheKeyTables) {
  ASSERT_EQ(Ctl({"macro", "keyboard", "import", Fixture("Jump.mac", Clicks(6)).string()}).status, 0);
  ASSERT_EQ(Ctl({"macro", "keyboard", "import", Fixture("Fire.mac", Clicks(2)).string()}).status, 0);
  CtlRun r = Ctl({"macro", "keyboard", "assign", "A", "Fire"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Ctl({"macro", "keyboard", "assign", "NoSuchKey", "Fire"}).status, 2);
  EXPECT_EQ(Ctl({"macro", "keyboard", "assign", "A", "nothing"}).status, 1);
  ASSERT_EQ(emu_.Command("journal-clear keyboard"), "ok journal-clear keyboard");
  r = Ctl({"macro", "keyboard", "download"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "configuration, 1 macro(s) (30 bytes) and key tables sent\n");
  // Only the used macro goes, renumbered as 0; key A's table entry plays macro 0.
  EXPECT_EQ(emu_.Listing("macros keyboard"),
            (std::vector<std::string>{"entry 0: 2 events", "  type 1 down button 1 delay 20",
                                      "  type 1 up button 1 delay 20"}));
  const auto journal = emu_.Listing("journal keyboard");
  const auto table = Written(journal, 0x09);
  const std::size_t a = emu::KeyboardPositionOfKey(64);  // screen key 64 is A
  ASSERT_GE(table.size(), 3 * a + 3);
  EXPECT_EQ(std::vector<uint8_t>(table.begin() + 3 * a, table.begin() + 3 * a + 3), (std::vector<uint8_t>{0x70, 0, 0}));
  std::size_t lastMacro = 0, firstKeys = journal.size();
  for (std::size_t i = 0; i < journal.size(); ++i) {
    if (journal[i].find("cmd 15 ") == 0) lastMacro = i;
    if (journal[i].find("cmd 09 ") == 0 && firstKeys == journal.size()) firstKeys = i;
  }
  EXPECT_LT(lastMacro, firstKeys);
}

TEST_F(KorvalectlMacros, KeyTablesAreNotSentWhenTheMacrosAreNotStored) {
  ASSERT_EQ(Ctl({"macro", "keyboard", "import", Fixture("Long.mac", Clicks(100)).string()}).status, 0);
  ASSERT_EQ(Ctl({"macro", "keyboard", "assign", "B", "Long"}).status, 0);
  ASSERT_EQ(emu_.Command("info keyboard 6 1"), "ok info keyboard 6");
  ASSERT_EQ(emu_.Command("journal-clear keyboard"), "ok journal-clear keyboard");
  CtlRun r = Ctl({"macro", "keyboard", "download"});
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("(" + std::to_string((16 + 6 + 400 - 128) / 4 + 1) + " events too many); the key tables were not sent"),
            std::string::npos)
      << r.err;
  const auto refused = emu_.Listing("journal keyboard");
  EXPECT_TRUE(Written(refused, 0x09).empty());
  // A transfer that fails midway: reported, no valid image, no key tables.
  // The same commands run up to the macros; then BeginConfig, the cleared
  // header and one body packet answer, and the device stops answering well.
  ASSERT_EQ(emu_.Command("info keyboard 6 64"), "ok info keyboard 6");
  ASSERT_EQ(emu_.Command("journal-clear keyboard"), "ok journal-clear keyboard");
  ASSERT_EQ(emu_.Command("fault keyboard status-ff cmd=0x15 after=2"), "ok fault keyboard status-ff");
  r = Ctl({"macro", "keyboard", "download"});
  EXPECT_EQ(r.status, 4);
  EXPECT_NE(r.err.find("writing the macros failed"), std::string::npos) << r.err;
  EXPECT_EQ(emu_.Command("macros keyboard"), "ok macros malformed");
  EXPECT_TRUE(Written(emu_.Listing("journal keyboard"), 0x09).empty());
  // A profile switch stops the same way.
  ASSERT_EQ(emu_.Command("journal-clear keyboard"), "ok journal-clear keyboard");
  ASSERT_EQ(emu_.Command("fault keyboard status-ff cmd=0x15"), "ok fault keyboard status-ff");
  r = Ctl({"profile", "keyboard", "select", "0"});
  EXPECT_EQ(r.status, 4);
  EXPECT_NE(r.err.find("writing the macros failed (result "), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("; keys not written"), std::string::npos) << r.err;
  EXPECT_TRUE(Written(emu_.Listing("journal keyboard"), 0x09).empty());
  ASSERT_EQ(emu_.Command("fault keyboard none"), "ok fault keyboard none");
}

TEST_F(KorvalectlMacros, ShootDownloadOfTheDefaultSequences) {
  const fs::path mouse = UserDataFolder("mouse");
  for (int g = 0; g < 4; ++g)
    fs::copy_file(fs::path(KORVALE_SOURCE_DIR) / "data/DefaultData" / ("ShootData_" + std::to_string(g) + ".Shoot"),
                  ShootFilePath(mouse, g));
  const CtlRun r = Ctl({"shoot", "mouse", "download"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "four shoot sequences sent (2920 bytes)\n");
  EXPECT_EQ(emu_.Command("shoot mouse"), "ok shoot 4 entries 2920 bytes");
  EXPECT_EQ(Ctl({"shoot", "MousePad", "download"}).status, 2);
}

TEST_F(KorvalectlMacros, MouseDownloadStoresTheAssignedMacro) {
  ASSERT_EQ(Ctl({"macro", "mouse", "import", Fixture("Burst.mac", Clicks(4)).string()}).status, 0);
  CtlRun r = Ctl({"macro", "mouse", "assign", "3", "Burst"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Ctl({"macro", "mouse", "assign", "11", "Burst"}).status, 2);
  r = Ctl({"macro", "mouse", "download"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "configuration, 1 macro(s) (38 bytes) and key tables sent\n");
  const auto listing = emu_.Listing("macros mouse");
  ASSERT_FALSE(listing.empty());
  EXPECT_EQ(listing[0], "entry 0: 4 events");
}

}  // namespace
}  // namespace korvale
