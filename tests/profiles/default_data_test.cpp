// The installation data must agree with the program: the generator writes
// exactly what is committed, every default profile parses, the keyboard's key
// list carries the built-in layout, the effect values match the keyboard's
// modes, the presets and levels are the product's, and every text ID used has
// words in every language.
#include <cstdlib>
#include <set>

#include "platform/paths.h"

#include "profiles/device_profiledata.h"
#include "profiles/keyboard_layout.h"
#include "profiles/settings_files.h"
#include "test_util.h"
#include "tests/support/temp_dir.h"

namespace korvale {
namespace {
namespace fs = std::filesystem;
using test::Parse;
using test::Slurp;

// Every file under data/ of a tree, relative to its root.
std::set<fs::path> DataFiles(const fs::path& root, std::initializer_list<const char*> folders) {
  std::set<fs::path> files;
  for (const char* f : folders)
    for (const auto& e : fs::recursive_directory_iterator(root / f))
      if (e.is_regular_file()) files.insert(fs::relative(e.path(), root));
  return files;
}

TEST(DefaultData, GeneratorWritesWhatIsCommitted) {
  const fs::path source = KORVALE_SOURCE_DIR;
  const testing::TempDir tmp("korvale-gen");
  const fs::path& out = tmp.Path();
  const std::string cmd =
      "python3 '" + (source / "scripts" / "gen_default_data.py").string() + "' --out '" + out.string() + "'";
  ASSERT_EQ(std::system(cmd.c_str()), 0) << cmd;

  const auto generated = DataFiles(out, {"data/DefaultData", "data/Language"});
  const auto committed = DataFiles(source, {"data/DefaultData", "data/Language"});
  EXPECT_EQ(generated, committed) << "a committed file the generator does not write, or the reverse";
  for (const fs::path& f : generated) {
    SCOPED_TRACE(f.string());
    if (committed.count(f) == 0) continue;
    EXPECT_TRUE(Slurp(out / f) == Slurp(source / f)) << "differs from the generator's output: rerun it";
  }
}

TEST(DefaultData, EqualiserPresetsAreTheProducts) {
  constexpr int kPresets[12][10] = {
      {7, 11, 2, -3, -1, 4, 9, 12, 9, 5},     {7, 11, 6, -3, -11, -1, 6, 13, 6, 13},
      {10, 4, 0, -3, -4, -3, -2, -1, 0, 0},   {2, 1, -2, -3, -5, -7, 0, 4, 9, 8},
      {0, 0, 0, 0, 0, 0, 0, 0, 0, 0},         {7, 14, -13, -6, -1, 8, 13, 7, 2, 6},
      {14, 10, 4, 0, -4, -3, -1, 1, 2, 3},    {2, 1, -2, -3, -5, -1, 7, 11, 15, 13},
      {8, 2, -4, -8, 1, 3, 8, 11, 14, 16},    {-3, 4, 10, 0, -11, 3, 9, 13, 6, 0},
      {18, 14, 8, 2, -3, -6, -1, 2, 5, 6},    {2, 1, -2, -4, -8, 4, 12, 16, 18, 15},
  };
  CHs6533Profiledata hs;
  hs.Load(DefaultProfilePath("HD"));
  for (int t = 1; t <= 12; ++t) {
    const auto& row = kPresets[t - 1];
    EXPECT_EQ(hs.ReadEqBands(t), std::vector<int32_t>(std::begin(row), std::end(row))) << "preset " << t;
  }
  EXPECT_EQ(hs.ReadEqBands(0), hs.ReadEqBands(1));  // no type reads preset 1
}

TEST(DefaultData, AudioStylesUseTheSlidersRange) {
  const AudioStyles s = ReadAudioStyles(ReadJsonFile(DefaultDataFolder() / "AudioFile.json")["Device"]);
  const uint8_t expected[12] = {9, 0, 0, 0, 9, 0, 0, 0, 9, 9, 9, 9};  // red, green, blue, white
  for (int i = 0; i < 12; ++i) EXPECT_EQ(s.levels[static_cast<size_t>(i)], expected[i]) << i;
  EXPECT_EQ(s.style, 0);
  for (const auto& name : s.names) EXPECT_FALSE(name.empty());

  // A user file out of range clamps on load instead of reaching the sliders.
  const AudioStyles c = ReadAudioStyles(Parse(R"({"AudioLightInfo": {"nAudioStyle": 7, "nStyleR0": 255,
      "nStyleG0": -3, "nStyleB0": "9", "nStyleR3": 4.0, "nStyleG3": 9, "nStyleName2": "Bass"}})"));
  EXPECT_EQ(c.style, 3);
  EXPECT_EQ(c.levels[0], 9);
  EXPECT_EQ(c.levels[1], 0);
  EXPECT_EQ(c.levels[2], 0);  // not a number
  EXPECT_EQ(c.levels[9], 4);
  EXPECT_EQ(c.levels[10], 9);
  EXPECT_EQ(c.names[1], "Bass");
  EXPECT_EQ(ReadAudioStyles(Parse("[1, 2]")).levels[0], 0);  // a wrong shape reads as zeros
}

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
  const auto mouse = ReadDefaultEffects(doc, 1);
  ASSERT_EQ(mouse->size(), 12u);  // mouse effect numbers 0..11
  EXPECT_TRUE((*mouse)[11].visible);  // the mouse's music mode
  EXPECT_EQ((*mouse)[11].name, "light_mode_music");
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
