#include "profiles/settings_files.h"

#include "platform/settings_store.h"
#include "test_util.h"

namespace korvale {
namespace {
using test::Slurp;
using test::Spit;
namespace fs = std::filesystem;

class SettingsTest : public test::TempHome {};

TEST_F(SettingsTest, FoldersFollowXdgAndRefuseBadNames) {
  EXPECT_EQ(AppDataFolder(), Dir() / "data" / "KORVALE TX730max");
  EXPECT_TRUE(fs::is_directory(AppDataFolder()));
  EXPECT_EQ(UserDataFolder("keyboard"), Dir() / "data" / "KORVALE TX730max" / "keyboard");
  EXPECT_TRUE(fs::is_directory(Dir() / "data" / "KORVALE TX730max" / "keyboard"));
  for (const char* bad : {"", "..", "../x", "a/b"}) EXPECT_TRUE(UserDataFolder(bad).empty()) << bad;
  EXPECT_EQ(DefaultProfilePath("HD").filename(), "HD.Json");
  EXPECT_TRUE(fs::exists(DefaultProfilePath("HD")));
  EXPECT_EQ(ProfileFilePath(Dir(), "2024_01_01"), Dir() / "2024_01_01.Json");
  for (const char* bad : {"", "../p", "/etc/x", "a\\b", "."}) EXPECT_TRUE(ProfileFilePath(Dir(), bad).empty()) << bad;
}

TEST_F(SettingsTest, DefaultCopyRule) {
  Spit(Dir() / "def.json", R"({"a":1})");
  const fs::path user = Dir() / "user.json";
  EXPECT_EQ(ReadWithDefaultCopy(user, Dir() / "def.json")["a"].asInt(), 1);
  EXPECT_EQ(ReadJsonFile(user)["a"].asInt(), 1);
  Spit(user, R"({"a":2})");
  EXPECT_EQ(ReadWithDefaultCopy(user, Dir() / "def.json")["a"].asInt(), 2);
  Spit(user, "{broken");
  EXPECT_EQ(ReadWithDefaultCopy(user, Dir() / "def.json")["a"].asInt(), 1);
  // A document of the wrong shape reads as missing and is rebuilt from the copy.
  for (const char* wrong : {"[1,2]", "\"text\"", "7", "null", "true"}) {
    Spit(user, wrong);
    EXPECT_EQ(JsonInt(JsonMember(ReadWithDefaultCopy(user, Dir() / "def.json"), "a")), 1) << wrong;
    EXPECT_TRUE(ReadJsonFile(user).isObject()) << wrong;
  }
  // A default copy of the wrong shape is no copy.
  Spit(Dir() / "array.json", "[1]");
  Spit(user, "[2]");
  EXPECT_TRUE(ReadWithDefaultCopy(user, Dir() / "array.json").isNull());
  // Without a default copy nothing is written.
  const fs::path other = Dir() / "other.json";
  EXPECT_TRUE(ReadWithDefaultCopy(other, Dir() / "none.json").isNull());
  EXPECT_FALSE(fs::exists(other));
}

TEST_F(SettingsTest, LanguageIndexFromStoredId) {
  const fs::path cfg = Dir() / "Language.config";
  Spit(cfg, R"({"Language":[{"Language_ID":1033},{"Language_ID":7},{"Language_ID":520},
      {"Language_ID":520},{"Language_ID":"1031"}]})");
  // No stored value: 520 is looked for; the first match wins.
  EXPECT_EQ(LoadLanguageIndex(cfg), 2);
  ASSERT_TRUE(StoreLanguageId(7));
  EXPECT_EQ(LoadLanguageIndex(cfg), 1);
  ASSERT_TRUE(StoreLanguageId(1031));  // present only as text: no match
  EXPECT_EQ(LoadLanguageIndex(cfg), 0);
  EXPECT_EQ(LoadLanguageIndex(Dir() / "missing.config"), 0);
  EXPECT_TRUE(fs::exists(Dir() / "config" / "KORVALE TX730max" / "settings.json"));

  auto list = ReadLanguageList();
  ASSERT_GE(list.size(), 3u);
  EXPECT_EQ(list[0].name, "English");
}

TEST(SettingsStoreFormat, ParsesItsOwnOutputAndRejectsOthers) {
  SettingsStore::Map m;
  m["LANGUAGE"] = int64_t{1033};
  m["DisplayVersion"] = std::string("1.2.3 \"beta\"\n\\ é");
  auto back = SettingsStore::Parse(SettingsStore::Format(m));
  ASSERT_TRUE(back);
  EXPECT_EQ(*back, m);
  EXPECT_TRUE(SettingsStore::Parse(" { } "));
  EXPECT_EQ((*SettingsStore::Parse(R"({"a":"\u00e9\ud83d\ude00"})"))["a"], SettingsStore::Value("é😀"));
  for (const char* bad : {"", "{", R"({"a":})", R"({"a":{"b":1}})", R"({"a":1,})", R"({"a":1} x)",
                          R"({"a":"\ud800"})", R"({"a":99999999999999999999})", "[1]"})
    EXPECT_FALSE(SettingsStore::Parse(bad)) << bad;
}

TEST_F(SettingsTest, StoreSurvivesGarbageAndKeepsOtherValues) {
  SettingsStore s(Dir() / "cfg" / "s.json");
  EXPECT_FALSE(s.ReadDword("LANGUAGE"));
  fs::create_directories(Dir() / "cfg");
  Spit(Dir() / "cfg" / "s.json", "not json");
  EXPECT_FALSE(s.ReadDword("LANGUAGE"));
  ASSERT_TRUE(s.WriteString("DisplayVersion", "1.10.2"));
  ASSERT_TRUE(s.WriteDword("LANGUAGE", 0xFFFFFFFFu));
  EXPECT_EQ(s.ReadDword("LANGUAGE"), 0xFFFFFFFFu);
  EXPECT_EQ(s.ReadString("DisplayVersion"), "1.10.2");
  EXPECT_FALSE(s.ReadDword("DisplayVersion"));
  EXPECT_EQ(s.ReadString("LANGUAGE"), "4294967295");
}

TEST_F(SettingsTest, InstalledVersionNumber) {
  struct Case {
    const char* text;
    int number;
  } cases[] = {{"1.0.5", 105}, {"1.10.2", 1102}, {"", 0}, {"beta", 0}, {"2.1-rc", 21}, {"99999999999", 0}};
  for (const Case& c : cases) EXPECT_EQ(VersionNumberFromText(c.text), c.number) << c.text;
  EXPECT_EQ(ReadInstalledVersion(), VersionNumberFromText(KORVALE_VERSION));
  ASSERT_TRUE(SettingsStore().WriteString("DisplayVersion", "1.10.2"));
  EXPECT_EQ(ReadInstalledVersion(), 1102);
}

TEST_F(SettingsTest, PaletteFallbackAndPartialSaves) {
  // First opening copies the default palette.
  PaletteState st = OpenPalette();
  ASSERT_TRUE(fs::exists(PaletteFilePath()));
  EXPECT_EQ(Slurp(PaletteFilePath()), StyledJsonText(ReadJsonFile(DefaultPaletteFilePath())));
  ASSERT_EQ(st.presets.size(), 20u);
  EXPECT_TRUE(st.presets[0].present);
  EXPECT_EQ(st.presets[0].colour, 0xFFFF0000u);

  std::vector<PaletteSwatch> user(20);
  user[3] = {true, 0x80112233u, "1"};
  ASSERT_TRUE(SavePaletteUserSwatches(user, 3));
  std::vector<PaletteSwatch> presets(20);
  presets[1] = {true, 0xFF00FF00u, ""};
  ASSERT_TRUE(SavePalettePresets(presets, 1));
  PaletteState back = ReadPalette(ReadJsonFile(PaletteFilePath()));
  EXPECT_EQ(back.userSelect, 3);
  EXPECT_EQ(back.presetSelect, 1);
  EXPECT_EQ(back.userSwatches[3].colour, 0x80112233u);
  EXPECT_EQ(back.userSwatches[3].userData, "1");
  EXPECT_EQ(back.presets[1].colour, 0xFF00FF00u);
  EXPECT_EQ(back.presets[0].colour, 0xFFFF0000u);  // swatches not saved stay
  EXPECT_EQ(ReadJsonFile(PaletteFilePath())["coloroptioninfo"]["palletDialogcoloroption"][1]["color"].asString(),
            "FF00FF00");

  // An empty "coloroptioninfo" is a document, not a missing file: kept.
  Spit(PaletteFilePath(), R"({"coloroptioninfo":{}})");
  PaletteState kept = OpenPalette();
  EXPECT_FALSE(kept.presets[0].present);
  EXPECT_EQ(kept.presetSelect, 0);
  EXPECT_EQ(ReadJsonFile(PaletteFilePath())["coloroptioninfo"].size(), 0u);

  // A selection counts only as a whole number in the 32-bit range.
  struct Sel {
    const char* value;
    bool has;
    int32_t index;
  } sels[] = {{"3", true, 3}, {"3.0", true, 3}, {"-1", true, -1}, {"25", true, 25}, {"\"3\"", false, 0},
              {"2.5", false, 0}, {"1e20", false, 0}, {"true", false, 0}, {"null", false, 0}, {"[1]", false, 0}};
  for (const Sel& c : sels) {
    const std::string text = std::string(R"({"coloroptioninfo":{"palletDialogcoloroption_selectitem":)") + c.value +
                             R"(,"palletDialogcollectcoloroption_selectitem":)" + c.value + "}}";
    const PaletteState p = ReadPalette(ParseJsonText(text));
    EXPECT_EQ(p.hasPresetSelect, c.has) << c.value;
    EXPECT_EQ(p.hasUserSelect, c.has) << c.value;
    EXPECT_EQ(p.presetSelect, c.index) << c.value;
    EXPECT_EQ(p.userSelect, c.index) << c.value;
  }
  EXPECT_FALSE(ReadPalette(ParseJsonText("[1]")).hasPresetSelect);

  EXPECT_TRUE(DeletePaletteFile());
  EXPECT_FALSE(fs::exists(PaletteFilePath()));
  EXPECT_EQ(ParseHexColour("ffff0000"), 0xFFFF0000u);
  EXPECT_FALSE(ParseHexColour("FFFF00000"));
  EXPECT_FALSE(ParseHexColour("12G4"));
}

TEST_F(SettingsTest, UpdateDateIsStampedOnce) {
  const fs::path p = Dir() / "updatetime.config";
  EXPECT_EQ(FormatUpdateDate(2024, 3, 7), "2024-3-7");
  Spit(p, R"({"other":1})");
  EXPECT_EQ(ReadOrStampUpdateDate(p, "2024-3-7"), "2024-3-7");
  const Json::Value d = ReadJsonFile(p);
  EXPECT_EQ(d.getMemberNames(), std::vector<std::string>{"updatelasttime"});
  EXPECT_EQ(ReadOrStampUpdateDate(p, "2030-1-1"), "2024-3-7");
  // Today's date, in the folder of the application.
  EXPECT_FALSE(ReadOrStampUpdateDate().empty());
  EXPECT_TRUE(fs::exists(AppDataFolder() / "updatetime.config"));
}

TEST_F(SettingsTest, SkinRecordKeepsOtherSections) {
  const fs::path p = Dir() / "main.ini";
  ASSERT_TRUE(WriteSkinImageRecord("1", "images/a.png", p));
  EXPECT_EQ(Slurp(p), "[SKINIMAGE]\nFLAGS=1\nIMAGE=images/a.png\n");
  Spit(p, "[Other]\nx=1\n[skinimage]\nimage=old\n[Tail]\ny=2\n");
  ASSERT_TRUE(WriteSkinImageRecord("0", "common/background.png", p));
  EXPECT_EQ(Slurp(p), "[Other]\nx=1\n[skinimage]\nIMAGE=common/background.png\nFLAGS=0\n[Tail]\ny=2\n");
  EXPECT_FALSE(WriteSkinImageRecord("1", "a\nb", p));
}

TEST_F(SettingsTest, EffectListsPerProduct) {
  const Json::Value doc = test::Parse(R"({"DefaultLightName":[[{"LightName":"w","visible":true,"value":3},
      {"LightName":5,"visible":1}], null],"AreaLightName":[[{"LightName":"all"}]]})");
  auto kb = ReadDefaultEffects(doc, 0);
  ASSERT_TRUE(kb);
  ASSERT_EQ(kb->size(), 2u);
  EXPECT_EQ((*kb)[0].name, "w");
  EXPECT_EQ((*kb)[0].value, 3);
  EXPECT_TRUE((*kb)[1].visible);
  EXPECT_EQ((*kb)[1].name, "");
  EXPECT_FALSE(ReadDefaultEffects(doc, 1));  // null entry
  EXPECT_FALSE(ReadDefaultEffects(doc, 3));  // no entry
  EXPECT_FALSE(ReadDefaultEffects(doc, -1));
  EXPECT_EQ(ReadAreaEffects(doc, 0), std::vector<std::string>{"all"});
  EXPECT_FALSE(ReadAreaEffects(doc, 1));
  auto user = ReadUserEffectNames(ReadJsonFile(test::Fixture("light/velmo_light.config")), 0);
  ASSERT_TRUE(user);
  EXPECT_EQ(user->front(), "Sunrise");
}

}  // namespace
}  // namespace korvale
