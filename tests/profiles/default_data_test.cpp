// The installation data must agree with the program: every default profile
// parses, the keyboard's key list carries the built-in layout, the effect
// values match the keyboard's modes, and every text ID used has words in
// every language.
#include <set>

#include "platform/paths.h"

#include "profiles/device_profiledata.h"
#include "profiles/keyboard_layout.h"
#include "profiles/settings_files.h"
#include "test_util.h"

namespace korvale {
namespace {
namespace fs = std::filesystem;

TEST(DefaultData, ProfilesHoldTheirSections) {
  struct Case {
    const char* folder;
    std::size_t lights;
    std::vector<const char*> sections;
  } cases[] = {
      {"keyboard", 170, {"LightInfo", "AudioLightInfo", "LightList", "KeyList", "SystemStages", "FnKeysetFlag", "CustomLightMode"}},
      {"mouse", 15, {"LightInfo", "LightList", "KeyList", "DPIStages", "SystemStages", "ReportStages", "CorrectInfo"}},
      {"MousePad", 15, {"LightInfo", "LightList"}},
      {"HD", 13, {"LightInfo", "LightList", "SystemSetStages", "EQHzValueInfo", "CustomEQNameInfo", "CustomEQHzValueInfo"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.folder);
    const Json::Value doc = ReadJsonFile(DefaultProfilePath(c.folder));
    ASSERT_TRUE(doc.isObject());
    const Json::Value& dev = doc["Device"][0];
    for (const char* s : c.sections) EXPECT_TRUE(dev.isMember(s)) << s;
    EXPECT_EQ(dev["LightList"].size(), c.lights);
  }
}

TEST(DefaultData, KeyboardKeyListIsTheBuiltInLayout) {
  CKeyboardProfiledata p;
  p.Load(DefaultProfilePath("keyboard"));
  const auto keys = p.ReadKeyList();
  ASSERT_EQ(keys.size(), static_cast<size_t>(kKeyboardKeyCount));
  for (size_t i = 0; i < keys.size(); ++i) {
    EXPECT_EQ(keys[i].defaultKey.code, kKeyboardDefaultCodes[i]) << i;
    EXPECT_EQ(keys[i].normal.code, kKeyboardDefaultCodes[i]) << i;
  }
  // Spot checks against the layout: Esc, Space, the placeholders.
  EXPECT_EQ(kKeyboardDefaultCodes[0], (AssignmentCode{0x20, 0x00, 0x29}));
  EXPECT_EQ(kKeyboardDefaultCodes[108], (AssignmentCode{0x20, 0x00, 0x2C}));
  EXPECT_EQ(kKeyboardDefaultCodes[169], (AssignmentCode{0x20, 0x00, 0x00}));
  const int protectedKeys[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 64, 65, 75, 95, 56, 113, 115, 96, 114,
                               43, 44, 45, 46, 47, 34, 108, 106, 21, 69};
  for (size_t i = 0; i < kFnProtectedCodes.size(); ++i)
    EXPECT_EQ(FindKeyboardKey(kFnProtectedCodes[i]), protectedKeys[i]) << i;

  CMouseProfiledata m;
  m.Load(DefaultProfilePath("mouse"));
  const auto buttons = m.ReadKeyList();
  ASSERT_EQ(buttons.size(), static_cast<size_t>(kMouseKeyCount));
  for (size_t i = 0; i < buttons.size(); ++i) EXPECT_EQ(buttons[i].defaultKey.code, kMouseDefaultCodes[i]);
  EXPECT_EQ(m.ReadDpiStages().size(), 5u);
}

TEST(DefaultData, EffectValuesMatchTheKeyboardModes) {
  const Json::Value doc = ReadJsonFile(DefaultLightPath());
  auto kb = ReadDefaultEffects(doc, 0);
  ASSERT_TRUE(kb);
  ASSERT_EQ(kb->size(), 35u);
  for (size_t i = 0; i < kb->size(); ++i) EXPECT_EQ((*kb)[i].value, static_cast<int32_t>(i));
  EXPECT_TRUE((*kb)[20].visible);   // custom colours
  EXPECT_TRUE((*kb)[29].visible);   // music
  EXPECT_FALSE((*kb)[30].visible);  // driven by another program
  EXPECT_EQ(ReadDefaultEffects(doc, 1)->size(), 12u);  // mouse effect numbers 0..11
  EXPECT_EQ(ReadDefaultEffects(doc, 2)->size(), 9u);   // mousepad 0..8
  EXPECT_EQ(ReadDefaultEffects(doc, 3)->size(), 9u);   // headset 0..8
  for (int model = 0; model < 4; ++model) EXPECT_TRUE(ReadAreaEffects(doc, model)) << model;
}

TEST(DefaultData, EveryLanguageHasEveryText) {
  const auto langs = ReadLanguageList();
  ASSERT_GE(langs.size(), 3u);
  EXPECT_EQ(langs[0].name, "English");
  std::set<int64_t> ids;
  std::vector<std::string> needed = {"software_rev_text", "keyboard_key_A", "close_text", "Key_Set",
                                     "Repeat_Delay_Time", "Light_Set", "Overall_Light_Set"};
  for (int n : {2, 4, 5, 6, 7, 16, 22, 25, 26, 27, 28, 29}) needed.push_back("message_text_" + std::to_string(n));
  for (const auto& l : langs) needed.push_back(l.text);
  const Json::Value effects = ReadJsonFile(DefaultLightPath());
  for (const char* key : {"DefaultLightName", "AreaLightName"})
    for (const auto& product : effects[key])
      for (const auto& e : product) needed.push_back(e["LightName"].asString());

  for (const auto& l : langs) {
    SCOPED_TRACE(l.name);
    EXPECT_TRUE(ids.insert(l.id).second);
    ASSERT_TRUE(IsPlainFileName(fs::path(l.file).filename().string()));
    const Json::Value texts = ReadJsonFile(InstallDataDir() / l.file);
    ASSERT_TRUE(texts.isObject()) << l.file;
    for (const auto& id : needed) EXPECT_TRUE(texts[id].isString() && !texts[id].asString().empty()) << id;
    size_t keyNames = 0;
    for (const auto& name : texts.getMemberNames()) keyNames += name.rfind("keyboard_key_", 0) == 0;
    EXPECT_EQ(keyNames, 113u);
    EXPECT_NE(texts["message_text_16"].asString().find("%d"), std::string::npos);
  }
}

TEST(DefaultData, DefaultCopiesOfUserFiles) {
  const fs::path dd = DefaultDataFolder();
  const Json::Value audio = ReadJsonFile(dd / "AudioFile.json");
  EXPECT_TRUE(audio["Device"]["AudioLightInfo"].isMember("nStyleName4"));
  const PaletteState pal = ReadPalette(ReadJsonFile(DefaultPaletteFilePath()));
  for (int i = 0; i < kPaletteSwatches; ++i) {
    EXPECT_TRUE(pal.presets[static_cast<size_t>(i)].present);
    EXPECT_TRUE(pal.userSwatches[static_cast<size_t>(i)].present);
  }
  for (int g = 0; g < 4; ++g) {
    const Json::Value shoot = ReadJsonFile(dd / ("ShootData_" + std::to_string(g) + ".Shoot"));
    ASSERT_EQ(shoot["Events"].size(), 180u) << g;  // 30 bullets of six events
    EXPECT_EQ(shoot["Events"][0]["Action"].asString(), "down");
    EXPECT_EQ(shoot["Events"][3]["Type"].asInt(), 5);
  }
}

}  // namespace
}  // namespace korvale
