// Macro and shoot files: the checked event reader, the index and its Guids,
// and copies that cannot empty a file.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <set>

#include "profiles/json_file.h"
#include "profiles/macro_files.h"
#include "tests/support/temp_dir.h"

namespace korvale {
namespace {

namespace fs = std::filesystem;

void Put(const fs::path& p, const std::string& text) { std::ofstream(p) << text; }

std::string Events(const std::string& body) { return "{\"Events\": [" + body + "]}"; }

TEST(MacroFiles, ReaderAcceptsTextAndNumberDelaysAndRefusesWhatTheDeviceCannotStore) {
  struct Case {
    const char* what;
    std::string text;
    const char* error;  // nullptr: accepted
  };
  const Case cases[] = {
      {"text delay", Events(R"({"Action":"down","Button":4,"Type":1,"Delay":"300"})"), nullptr},
      {"number delay (shoot files, fresh recordings)", Events(R"({"Action":"up","Button":4,"Type":5,"Delay":95})"), nullptr},
      {"missing delay reads 0", Events(R"({"Action":"up","Button":4,"Type":10})"), nullptr},
      {"array root", "[1, 2, 3]", "not a JSON object"},
      {"no Events", "{\"Guid\": \"1\"}", "\"Events\""},
      {"event not an object", Events("7"), "event 1: not an object"},
      {"delay above 65535", Events(R"({"Type":1,"Button":1,"Delay":"65536"})"), "event 1: \"Delay\""},
      {"negative delay", Events(R"({"Type":1,"Button":1,"Delay":-5})"), "\"Delay\""},
      {"delay text with a sign", Events(R"({"Type":1,"Button":1,"Delay":"-5"})"), "\"Delay\""},
      {"type 128 collides with the down bit", Events(R"({"Type":128,"Button":1})"), "\"Type\""},
      {"unknown type", Events(R"({"Type":7,"Button":1})"), "\"Type\""},
      {"missing type", Events(R"({"Button":1})"), "\"Type\""},
      {"button above 255", Events(R"({"Type":10,"Button":256})"), "\"Button\""},
      {"move distance 300", Events(R"({"Type":4,"Button":300})"), "\"Button\""},
      {"action of the wrong type", Events(R"({"Type":1,"Button":1,"Action":1})"), "\"Action\""},
  };
  for (const Case& c : cases) {
    const MacroEventsRead r = ParseMacroEvents(ParseJsonText(c.text), false);
    if (c.error == nullptr) {
      EXPECT_TRUE(r.ok()) << c.what << ": " << r.error;
      EXPECT_EQ(r.events.size(), 1u) << c.what;
    } else {
      EXPECT_NE(r.error.find(c.error), std::string::npos) << c.what << ": " << r.error;
      EXPECT_TRUE(r.events.empty()) << c.what;
    }
  }
  const MacroEventsRead text = ParseMacroEvents(ParseJsonText(Events(R"({"Action":"down","Button":4,"Type":1,"Delay":"300"})")));
  EXPECT_EQ(text.events[0], (MacroEvent{300, 1, true, 4}));
  const MacroEventsRead number = ParseMacroEvents(ParseJsonText(Events(R"({"Action":"up","Button":4,"Type":5,"Delay":95})")));
  EXPECT_EQ(number.events[0], (MacroEvent{95, 5, false, 4}));
  // The second bad event is named by its number.
  const MacroEventsRead second =
      ParseMacroEvents(ParseJsonText(Events(R"({"Type":1,"Button":1},{"Type":1,"Button":999})")));
  EXPECT_NE(second.error.find("event 2"), std::string::npos) << second.error;
}

TEST(MacroFiles, LegacyTypesShowButAreNotImportedAndTheEventCountIsBounded) {
  const Json::Value legacy = ParseJsonText(Events(R"({"Type":2,"Button":1},{"Type":3,"Button":1})"));
  EXPECT_TRUE(ParseMacroEvents(legacy, true).ok());
  EXPECT_FALSE(ParseMacroEvents(legacy, false).ok());

  Json::Value big(Json::objectValue);
  Json::Value& list = big["Events"] = Json::Value(Json::arrayValue);
  for (int i = 0; i < 5000; ++i) list.append(MacroEventJson({10, 10, i % 2 == 0, 4}));
  const MacroEventsRead r = ParseMacroEvents(big);
  EXPECT_NE(r.error.find("5000 events"), std::string::npos) << r.error;
  list.resize(4000);
  EXPECT_TRUE(ParseMacroEvents(big).ok());
}

TEST(MacroFiles, WrittenEventsReadBackAndKeepTheirDelayForm) {
  testing::TempDir dir("korvale-macro");
  const std::vector<MacroEvent> events = {{300, 1, true, 4}, {0, 10, false, 0x2C}, {65535, 9, true, 0x80}};
  const Json::Value doc = MacroDocument("Jump", "2026_01_02_03_04_05_006", events);
  EXPECT_TRUE(doc["Events"][0]["Delay"].isString());
  EXPECT_EQ(doc["Version"].asInt(), 64);
  ASSERT_TRUE(TryWriteJsonFile(dir.Path() / "a.mac", doc));
  const MacroEventsRead r = ReadMacroEvents(dir.Path() / "a.mac");
  ASSERT_TRUE(r.ok()) << r.error;
  EXPECT_EQ(r.events, events);
  EXPECT_TRUE(MacroEventJson(events[0], true)["Delay"].isIntegral());
  EXPECT_FALSE(ReadMacroEvents(dir.Path() / "missing.mac").ok());
}

TEST(MacroFiles, GuidsFromTheIndexAreCheckedBeforeTheyNameAFile) {
  testing::TempDir dir("korvale-macro");
  Put(dir.Path() / "macro.config", R"({"MacroInfo": [
      {"MacroName": "ok", "Guid": "2026_01_02_03_04_05_006"},
      {"MacroName": "escape", "Guid": "../../etc/passwd"},
      {"MacroName": "absolute", "Guid": "/tmp/x"},
      {"MacroName": "no guid"},
      7]})");
  const auto index = ReadMacroIndex(dir.Path());
  ASSERT_EQ(index.size(), 5u);  // bad entries keep their place: macro numbers do not shift
  EXPECT_EQ(MacroFilePath(dir.Path(), index[0].guid), dir.Path() / "2026_01_02_03_04_05_006.mac");
  for (std::size_t i = 1; i < index.size(); ++i) EXPECT_FALSE(MacroFilePath(dir.Path(), index[i].guid)) << i;
  EXPECT_FALSE(IsSafeGuid(std::string(200, '1')));
  EXPECT_EQ(FindMacroName(index, "OK"), 0);
  EXPECT_EQ(FindMacroName(index, "nothing"), -1);
}

TEST(MacroFiles, TwoMacrosMadeInOneMillisecondGetDifferentGuids) {
  std::vector<MacroInfoEntry> taken;
  std::set<std::string> seen;
  for (int i = 0; i < 20; ++i) {
    const std::string g = NewMacroGuid(taken);
    EXPECT_TRUE(IsSafeGuid(g)) << g;
    EXPECT_TRUE(seen.insert(g).second) << g;
    taken.push_back({"m", g});
  }
}

TEST(MacroFiles, CopiesRefuseTheSameFileAndAMissingSourceAndLeaveTheTargetAlone) {
  testing::TempDir dir("korvale-macro");
  const fs::path a = dir.Path() / "a.Shoot", b = dir.Path() / "b.Shoot";
  Put(a, "{\"Events\": []}\n");
  Put(b, "keep me");
  std::string error;
  EXPECT_FALSE(CopyFileChecked(a, a, error));
  EXPECT_NE(error.find("same file"), std::string::npos);
  EXPECT_FALSE(CopyFileChecked(dir.Path() / "." / "a.Shoot", a, error));
  EXPECT_EQ(fs::file_size(a), 15u);
  EXPECT_FALSE(CopyFileChecked(dir.Path() / "never-saved.mac", b, error));
  std::ifstream in(b);
  std::string kept((std::istreambuf_iterator<char>(in)), {});
  EXPECT_EQ(kept, "keep me");
  EXPECT_TRUE(CopyFileChecked(a, b, error)) << error;
  EXPECT_EQ(fs::file_size(b), 15u);
}

}  // namespace
}  // namespace korvale
