// Deleting a macro renumbers every stored key list: the current one and the
// key lists of the other profile files of the device folder.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>

#include "profiles/device_profiledata.h"
#include "profiles/json_file.h"
#include "profiles/macro_refs.h"
#include "platform/atomic_file.h"
#include "profiles/settings_files.h"

namespace korvale {
namespace {

namespace fs = std::filesystem;

AssignmentCode Macro(int n) { return {kAssignMacro, static_cast<uint8_t>(n), 0}; }

TEST(MacroRefs, DeletingMacroOneDefaultsItsKeysAndMovesLaterNumbersDown) {
  std::vector<KeyRecord> keys(4);
  for (auto& k : keys) k.defaultKey.code = {0x20, 0, 0x04};
  keys[0].normal.code = Macro(1);                                   // key A: the deleted macro
  keys[1].normal.code = Macro(2);                                   // key B: moves down
  keys[2].fn.code = {kAssignMacroRepeat, 2, 0};                     // Fn layer, repeat type
  keys[3].normal.code = Macro(0);                                   // below: unchanged
  keys[3].fn.code = {0x30, 1, 0};                                   // value 1 of another type: unchanged
  EXPECT_TRUE(KeyListUsesMacro(keys, 1));
  EXPECT_FALSE(KeyListUsesMacro(keys, 3));
  ASSERT_TRUE(FixMacroReferences(keys, 1));
  EXPECT_EQ(keys[0].normal, keys[0].defaultKey);
  EXPECT_EQ(keys[1].normal.code, Macro(1));
  EXPECT_EQ(keys[2].fn.code, (AssignmentCode{kAssignMacroRepeat, 1, 0}));
  EXPECT_EQ(keys[3].normal.code, Macro(0));
  EXPECT_EQ(keys[3].fn.code, (AssignmentCode{0x30, 1, 0}));
  std::vector<KeyRecord> unchanged = keys;
  EXPECT_FALSE(FixMacroReferences(unchanged, 5));
  EXPECT_EQ(unchanged, keys);
}

TEST(MacroRefs, EveryOtherProfileFileIsRenumberedAndSaved) {
  std::string t = (fs::temp_directory_path() / "korvale-refs-XXXXXX").string();
  ASSERT_NE(::mkdtemp(t.data()), nullptr);
  const fs::path dir = t;
  const fs::path defaults = fs::path(KORVALE_SOURCE_DIR) / "data/DefaultData/keyboard.Json";
  Json::Value list(Json::objectValue);
  const char* uuids[] = {"current", "second", "third", "../escape"};
  for (const char* u : uuids) {
    Json::Value e(Json::objectValue);
    e["profileUUID"] = u;
    list["profilelist"].append(e);
  }
  ASSERT_TRUE(TryWriteJsonFile(dir / "ProfileList.ini", list));
  // second: key 10 plays macro 2, key 11 macro 1; third: key 12 plays macro 0.
  auto make = [&](const char* uuid, std::vector<std::pair<int, int>> macros) {
    CKeyboardProfiledata p;
    p.SetDefaultPath(defaults);
    p.SetFilePath(ProfileFilePath(dir, uuid));
    p.Load(p.GetFilePath());
    auto keys = p.ReadKeyList();
    for (auto [key, n] : macros) keys[static_cast<std::size_t>(key)].normal.code = Macro(n);
    p.WriteKeyList(keys);
    ASSERT_TRUE(p.Save());
  };
  make("current", {{5, 1}});
  make("second", {{10, 2}, {11, 1}});
  make("third", {{12, 0}});
  const std::string thirdBefore = ReadFileBytes(ProfileFilePath(dir, "third")).value_or("");
  const std::string currentBefore = ReadFileBytes(ProfileFilePath(dir, "current")).value_or("");

  EXPECT_EQ(FixMacroReferencesInProfiles(dir, 0, "current", 1), 1);
  CKeyboardProfiledata second;
  second.SetDefaultPath(defaults);
  second.Load(ProfileFilePath(dir, "second"));
  const auto keys = second.ReadKeyList();
  EXPECT_EQ(keys[10].normal.code, Macro(1));
  EXPECT_EQ(keys[11].normal, keys[11].defaultKey);
  // Nothing to change in the third; the current one is the caller's.
  EXPECT_EQ(ReadFileBytes(ProfileFilePath(dir, "third")).value_or(""), thirdBefore);
  EXPECT_EQ(ReadFileBytes(ProfileFilePath(dir, "current")).value_or(""), currentBefore);
  EXPECT_FALSE(fs::exists(dir.parent_path() / "escape.Json"));
  std::error_code ec;
  fs::remove_all(dir, ec);
}

}  // namespace
}  // namespace korvale
