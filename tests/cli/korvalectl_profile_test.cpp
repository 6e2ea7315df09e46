// korvalectl profile against korvale-emu: the list's files as the window
// keeps them, the error paths, and what selecting a profile writes to the
// keyboard (and nothing else).
#include <gtest/gtest.h>
#include <json/json.h>
#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <set>
#include <sstream>

#include "cli/korvalectl.h"
#include "hid/hid_device.h"
#include "platform/atomic_file.h"
#include "profiles/json_file.h"
#include "protocol/commands.h"
#include "tests/support/bus_paths.h"
#include "tests/support/emu_process.h"
#include "tests/support/journal.h"
#include "tests/support/temp_dir.h"

namespace korvale {
namespace {

namespace fs = std::filesystem;

struct CtlRun {
  int status = -1;
  std::string out, err;
};

class KorvalectlProfile : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("XDG_DATA_HOME", (tmp_.Path() / "data").c_str(), 1);
    CHidDevice::SetHidrawEnabled(false);
    ASSERT_TRUE(emu_.Start({"--dir", (tmp_.Path() / "bus").string(), "keyboard"}));
    ASSERT_FALSE(emu_.Line().empty());
  }

  CtlRun Ctl(std::vector<std::string> args) {
    args.insert(args.begin(), {"profile", "keyboard"});
    std::ostringstream out, err;
    CtlRun r;
    r.status = cli::RunKorvalectl(args, out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
  }
  Json::Value CtlJson(std::vector<std::string> args) {
    args.insert(args.begin(), "--json");
    const CtlRun r = Ctl(std::move(args));
    EXPECT_EQ(r.status, 0) << r.err;
    return ParseJsonText(r.out)["data"];
  }
  fs::path Folder() const { return tmp_.Path() / "data" / "KORVALE TX730max" / "keyboard"; }
  std::vector<std::string> Names() {
    std::vector<std::string> names;
    const Json::Value list = CtlJson({"list"});
    for (const auto& p : list["profiles"]) names.push_back(p["name"].asString());
    return names;
  }

  testing::TempDir tmp_{"kv-prof"};
  testing::BusDirOverride bus_{tmp_.Path() / "bus"};
  testing::EmuProcess emu_;
};

TEST_F(KorvalectlProfile, EachSubcommandChangesTheListAndFilesLikeTheProfileBar) {
  EXPECT_EQ(Names(), std::vector<std::string>{"Profile1"});
  Json::Value r = CtlJson({"add"});
  EXPECT_EQ(r["profile"]["name"], "profile2");
  EXPECT_EQ(r["selected"], 1);  // a new profile is the current one
  EXPECT_EQ(CtlJson({"add", "Game"})["profile"]["index"], 2);
  EXPECT_EQ(CtlJson({"copy", "game"})["profile"]["name"], "Game copy");
  EXPECT_EQ(CtlJson({"rename", "3", "Work"})["profile"]["name"], "Work");
  EXPECT_EQ(CtlJson({"select", "0"})["selected"], 0);
  EXPECT_EQ(CtlJson({"delete", "profile2"})["selected"], 0);
  EXPECT_EQ(Names(), (std::vector<std::string>{"Profile1", "Game", "Work"}));

  const fs::path exported = tmp_.Path() / "Fps.json";
  ASSERT_EQ(Ctl({"export", "Work", exported.string()}).status, 0);
  EXPECT_EQ(CtlJson({"import", exported.string()})["profile"]["name"], "Fps");
  EXPECT_EQ(CtlJson({"import", exported.string()})["profile"]["name"], "Fps(1)");
  ASSERT_EQ(Ctl({"reset", "Fps"}).status, 0);

  // The list names exactly the profile files there are, each with its UUID.
  const Json::Value list = CtlJson({"list"});
  std::set<std::string> listed, onDisk;
  for (const auto& p : list["profiles"]) {
    listed.insert(fs::path(p["file"].asString()).filename().string());
    EXPECT_EQ(ReadJsonFile(p["file"].asString())["profileUUID"], p["uuid"]);
  }
  for (const auto& e : fs::directory_iterator(Folder()))
    if (e.path().extension() == ".Json") onDisk.insert(e.path().filename().string());
  EXPECT_EQ(listed, onDisk);
}

TEST_F(KorvalectlProfile, BadArgumentsAndFilesChangeNothing) {
  ASSERT_EQ(Ctl({"add", "Game"}).status, 0);
  const std::string listBefore = ReadFileBytes(Folder() / "ProfileList.ini").value_or("");
  Json::Value mouse = ReadJsonFile(fs::path(KORVALE_SOURCE_DIR) / "data" / "DefaultData" / "mouse.Json");
  ASSERT_TRUE(TryWriteJsonFile(tmp_.Path() / "mouse.json", mouse));
  ASSERT_TRUE(TryWriteJsonFile(tmp_.Path() / "array.json", ParseJsonText("[{\"Device\": [{}]}]")));
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* message;
  };
  const Case cases[] = {
      {{"select", "2"}, 1, "no profile '2'"},
      {{"delete", "nope"}, 1, "no profile 'nope'"},
      {{"rename", "0", "game"}, 1, "already has this name"},
      {{"rename", "0", "   "}, 1, "name is empty"},
      {{"add", "GAME"}, 1, "already has this name"},
      {{"import", (tmp_.Path() / "array.json").string()}, 1, "not a profile"},
      {{"import", (tmp_.Path() / "mouse.json").string()}, 1, "another device"},
      {{"import", (tmp_.Path() / "missing.json").string()}, 1, "not a profile"},
      {{"frobnicate"}, 2, "unknown profile subcommand"},
      {{"rename", "0"}, 2, "rename N NAME"},
  };
  for (const auto& c : cases) {
    const CtlRun r = Ctl(c.args);
    EXPECT_EQ(r.status, c.status) << c.args[0] << "\n" << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
  EXPECT_EQ(ReadFileBytes(Folder() / "ProfileList.ini").value_or(""), listBefore);
  ASSERT_EQ(Ctl({"delete", "0"}).status, 0);
  const CtlRun last = Ctl({"delete", "0"});
  EXPECT_EQ(last.status, 1);
  EXPECT_NE(last.err.find("last profile"), std::string::npos);
  EXPECT_EQ(Names(), std::vector<std::string>{"Game"});
}

// Selecting a profile writes its configuration record and its key tables,
// in that order, and nothing more: no macro memory (no key uses a macro), no
// colour groups (not in custom mode), no third table, no LED stream.
TEST_F(KorvalectlProfile, SelectWritesTheProfileToTheKeyboardAndNothingElse) {
  ASSERT_EQ(Ctl({"add", "Other"}).status, 0);
  // Before the edit: connecting stores the keyboard's state in the current profile.
  ASSERT_EQ(Ctl({"select", "0"}).status, 0);
  const Json::Value list = CtlJson({"list"});
  const std::string file = list["profiles"][1]["file"].asString();
  Json::Value doc = ReadJsonFile(file);
  doc["Device"][0]["LightInfo"]["Red"] = 77;
  doc["Device"][0]["LightInfo"]["Green"] = 5;
  doc["Device"][0]["KeyList"][0]["Assignment"] = 0x0A0B0C;
  ASSERT_TRUE(TryWriteJsonFile(file, doc));

  ASSERT_EQ(emu_.Command("journal-clear keyboard").rfind("ok", 0), 0u);
  const CtlRun r = Ctl({"select", "Other"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("written to the device"), std::string::npos) << r.out;
  const auto packets = testing::ParseJournal(emu_.Listing("journal keyboard"));
  std::vector<int> writes;
  for (const auto& p : packets) {
    const bool read = p.cmd == proto::kBeginConfig || p.cmd == proto::kEndConfig || p.cmd == proto::kReadInfo ||
                      p.cmd == proto::kReadConfig || p.cmd == proto::kReadKeyTable || p.cmd == proto::kReadLedTable;
    if (!read && (writes.empty() || writes.back() != p.cmd)) writes.push_back(p.cmd);
  }
  EXPECT_EQ(writes, (std::vector<int>{proto::kWriteConfig, proto::kWriteKeyTable, proto::kWriteFnKeyTable}));
  const auto record = testing::Written(packets, proto::kWriteConfig);
  ASSERT_GE(record.size(), proto::kKeyboardRecordSize);
  EXPECT_EQ(record[proto::kKbRecRed], 77);
  EXPECT_EQ(record[proto::kKbRecGreen], 5);
  const auto keys = testing::Written(packets, proto::kWriteKeyTable);
  bool found = false;
  for (std::size_t i = 0; i + 2 < keys.size(); i += 3) found |= keys[i] == 0x0A && keys[i + 1] == 0x0B && keys[i + 2] == 0x0C;
  EXPECT_TRUE(found) << "the profile's key assignment is not in the key table written";
}

}  // namespace
}  // namespace korvale
