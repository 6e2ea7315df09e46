#include "profiles/device_profiledata.h"
#include "test_util.h"

namespace korvale {
namespace {
using test::Parse;

// Loads a "Device" element given as text through a file, as pages do.
template <typename T>
void LoadText(T& p, const std::filesystem::path& file, const std::string& device) {
  test::Spit(file, "{\"Device\":[" + device + "]}");
  p.SetFilePath(file);
  p.Load(file);
}

class SectionsTest : public test::TempHome {
 protected:
  std::filesystem::path File() const { return Dir() / "d.Json"; }
};

TEST_F(SectionsTest, KeyboardSystemStagesPackHalves) {
  CKeyboardProfiledata p;
  LoadText(p, File(), "{}");
  EXPECT_EQ(p.ReadKeyboardSystemStages(), KeyboardSystemStages{});
  KeyboardSystemStages st;
  st.words = {0x01F40021u, 0x00030001u, 0x00010000u, 0xDEADBEEFu};
  p.WriteKeyboardSystemStages(st);
  ASSERT_TRUE(p.Save());
  const Json::Value s = ReadJsonFile(File())["Device"][0]["SystemStages"];
  EXPECT_EQ(s["Repeat"].asInt(), 33);
  EXPECT_EQ(s["RepeatDelay"].asInt(), 500);
  EXPECT_EQ(s["Key6Flag"].asInt(), 1);
  EXPECT_EQ(s["PollingRate"].asInt(), 3);
  EXPECT_EQ(s["WinFlag"].asInt(), 1);
  EXPECT_EQ(s.size(), 6u);  // word 3 stays in memory

  CKeyboardProfiledata q;
  q.Load(File());
  KeyboardSystemStages back = q.ReadKeyboardSystemStages();
  st.words[3] = 0;
  EXPECT_EQ(back, st);

  // Values wider than 16 bits keep their low half.
  LoadText(q, File(), R"({"SystemStages":{"Repeat":65537,"RepeatDelay":-1}})");
  EXPECT_EQ(q.ReadKeyboardSystemStages().words[0], 0xFFFF0001u);
}

TEST_F(SectionsTest, FnFlagAndCustomGroup) {
  CKeyboardProfiledata p;
  LoadText(p, File(), R"({"FnKeysetFlag":3,"CustomLightMode":{"CustomLightModeGroupIndex":4}})");
  EXPECT_EQ(p.ReadFnKeysetFlag(), 1);
  EXPECT_EQ(p.ReadCustomGroupIndex(), 4);
  p.WriteFnKeysetFlag(0);
  p.WriteCustomGroupIndex(2);
  EXPECT_TRUE(p.Document()["FnKeysetFlag"].isBool());
  EXPECT_EQ(p.ReadFnKeysetFlag(), 0);
  EXPECT_EQ(p.ReadCustomGroupIndex(), 2);
}

TEST_F(SectionsTest, CustomColoursFillMissingEntries) {
  std::string group = "[";
  for (int i = 0; i < 10; ++i) group += std::string(i ? "," : "") + R"({"Red":)" + std::to_string(i + 1) +
                                       R"(,"Green":2,"Blue":3,"Alpha":255})";
  group += ",null,null,null,null,null,null,{\"Red\":9}]";  // 17 elements, 10..15 null
  CKeyboardProfiledata p;
  LoadText(p, File(), R"({"CustomLightMode":{"LightColorInfo":[[],[],)" + group + "]}}");
  auto colours = p.ReadCustomColours(2, 16);
  ASSERT_EQ(colours.size(), 16u);
  EXPECT_EQ(colours[9], (LedColour{10, 2, 3, 255}));
  for (int i = 10; i < 16; ++i) EXPECT_EQ(colours[static_cast<size_t>(i)], LedColour{});
  const Json::Value& g = p.Document()["CustomLightMode"]["LightColorInfo"][2];
  ASSERT_EQ(g.size(), 17u);  // the longer list keeps its extra element
  EXPECT_EQ(g[12]["Alpha"].asInt(), 0);
  EXPECT_EQ(g[16]["Red"].asInt(), 9);

  // A group that does not exist is created with zero colours.
  auto fresh = p.ReadCustomColours(5, 3);
  EXPECT_EQ(fresh, std::vector<LedColour>(3));
  EXPECT_EQ(p.Document()["CustomLightMode"]["LightColorInfo"][5].size(), 3u);

  p.WriteCustomColours({{1, 2, 3, 4}, {5, 6, 7, 8}}, 5);
  EXPECT_EQ(p.ReadCustomColours(5, 3)[1], (LedColour{5, 6, 7, 8}));

  // Out-of-range groups and counts change nothing.
  const Json::Value before = p.Document();
  EXPECT_TRUE(p.ReadCustomColours(-1, 3).empty());
  EXPECT_TRUE(p.ReadCustomColours(2000000000, 3).empty());
  EXPECT_TRUE(p.ReadCustomColours(0, -5).empty());
  p.WriteCustomColours({{1, 1, 1, 1}}, 1 << 20);
  EXPECT_EQ(p.Document(), before);
}

DpiStage Stage(uint16_t x, uint8_t r) {
  DpiStage s;
  s.enabled = 1;
  s.x = s.y = x;
  s.red = r;
  return s;
}

std::string StagesJson(int n) {
  std::string s = R"({"DPIStages":{"StageActive":2,"StageDPIs":[)";
  for (int i = 0; i < n; ++i)
    s += std::string(i ? "," : "") + R"({"StageActive":1,"StageXY":0,"StageDPIX":)" +
         std::to_string(65536 + 100 * (i + 1)) + R"(,"StageDPIY":)" + std::to_string(100 * (i + 1)) +
         R"(,"StageColorR":)" + std::to_string(i) + "}";
  return s + "]}}";
}

TEST_F(SectionsTest, DpiStagesMergeIntoCachedDefaults) {
  const std::vector<DpiStage> defaults(6, Stage(9999, 77));
  CMouseProfiledata p;
  p.SetCachedDpiStages(defaults);
  LoadText(p, File(), StagesJson(4));
  auto st = p.ReadDpiStages();
  ASSERT_EQ(st.size(), 6u);
  EXPECT_EQ(st[3].x, 400);  // low 16 bits
  EXPECT_EQ(st[3].y, 400);
  EXPECT_EQ(st[3].red, 3);
  EXPECT_EQ(st[4], defaults[4]);
  EXPECT_EQ(p.GetActiveDpiStage(), 2);

  LoadText(p, File(), StagesJson(8));
  EXPECT_EQ(p.ReadDpiStages().size(), 8u);

  // Active stage present but no stage list: only the active stage is read.
  CMouseProfiledata q;
  q.SetCachedDpiStages(defaults);
  LoadText(q, File(), R"({"DPIStages":{"StageActive":4}})");
  EXPECT_EQ(q.ReadDpiStages(), defaults);
  EXPECT_EQ(q.GetActiveDpiStage(), 4);

  q.WriteDpiStages({Stage(800, 1), Stage(1600, 2)});
  q.SetActiveDpiStage(1);
  const Json::Value& d = q.Document()["DPIStages"];
  EXPECT_EQ(d["StageActive"].asInt(), 1);
  EXPECT_EQ(d["StageDPIs"][1]["StageDPIX"].asInt(), 1600);
  EXPECT_EQ(d["StageDPIs"][1].size(), 7u);
}

TEST_F(SectionsTest, MouseSystemAndReportStages) {
  CMouseProfiledata p;
  LoadText(p, File(), R"({"SystemStages":{"DoubleClickTime":500,"MouseSpeed":10,"PointerPrecision":1,
      "ScorllPage":2,"WheelScorlllinse":3},"ReportStages":{"StageActive":3}})");
  auto st = p.ReadMouseSystemStages();
  EXPECT_EQ(st.words[0], 500u | 10u << 16);
  EXPECT_EQ(st.words[1], 1u | 2u << 16);
  EXPECT_EQ(st.words[2], 3u | 3u << 16);
  st.words[2] = 5u | 1u << 16;
  p.WriteMouseSystemStages(st);
  EXPECT_EQ(p.Document()["ReportStages"]["StageActive"].asInt(), 1);
  EXPECT_EQ(p.Document()["SystemStages"]["WheelScorlllinse"].asInt(), 5);

  CMouseProfiledata q;
  LoadText(q, File(), R"({"SystemStages":{"WheelScorlllinse":3}})");
  EXPECT_EQ(q.ReadMouseSystemStages().words[2], 3u);
  LoadText(q, File(), R"({"ReportStages":{"StageActive":2}})");
  EXPECT_EQ(q.ReadMouseSystemStages().words[2], 2u << 16);
}

TEST_F(SectionsTest, CorrectEntries) {
  CMouseProfiledata p;
  LoadText(p, File(),
           R"({"CorrectInfo":[{"CorrectName":"Glas\u00e9","CorrectPixThresh":20,"CorrectMinSq":32,"CorrectSelect":1}]})");
  auto c = p.ReadCorrectEntries();
  ASSERT_EQ(c.size(), 1u);
  EXPECT_EQ(c[0], (CorrectEntry{20, 32, 1, "Glasé"}));
}

TEST_F(SectionsTest, EqualiserSlotsAndBands) {
  CHs6533Profiledata p;
  LoadText(p, File(), R"({"EQHzValueInfo":[null,[{"value":1},{"value":2},{},null]]})");
  const std::vector<int32_t> slot1 = {1, 2, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(p.ReadEqBands(0), slot1);
  EXPECT_EQ(p.ReadEqBands(1), slot1);
  EXPECT_EQ(p.ReadEqBands(20), slot1);
  EXPECT_EQ(p.ReadEqBands(-3), slot1);
  const Json::Value before = p.Document();
  EXPECT_TRUE(p.ReadEqBands(13).empty());
  EXPECT_EQ(p.Document(), before);

  // A missing slot reads zeros and stores them.
  EXPECT_EQ(p.ReadEqBands(5), std::vector<int32_t>(10, 0));
  EXPECT_EQ(p.Document()["EQHzValueInfo"][5].size(), 10u);

  std::vector<int32_t> v = {1, -2, 3, -4, 5, -6, 7, -8, 9, -10};
  p.WriteEqBands(12, v);
  EXPECT_EQ(p.ReadEqBands(12), v);
  const Json::Value beforeCustom = p.Document();
  p.WriteEqBands(13, v);         // custom type: no slot
  p.WriteEqBands(3, {1, 2, 3});  // too few values: refused
  EXPECT_EQ(p.Document(), beforeCustom);

  p.WriteCustomEqBands(2, v);
  EXPECT_EQ(p.ReadCustomEqBands(2), v);
  EXPECT_EQ(p.ReadCustomEqBands(0), std::vector<int32_t>(10, 0));
  EXPECT_TRUE(p.ReadCustomEqBands(-1).empty());
}

TEST_F(SectionsTest, HeadsetStagesAndCustomNames) {
  CHs6533Profiledata p;
  LoadText(p, File(), R"({"CustomEQNameInfo":[{"Name":"a"},{"Name":"b"}]})");
  EXPECT_EQ(p.ReadHeadsetSystemSetStages(), HeadsetSystemSetStages{});
  HeadsetSystemSetStages st{1, 2, 13, 4, 1, 80, 0, -5};
  p.WriteHeadsetSystemSetStages(st);
  EXPECT_EQ(p.ReadHeadsetSystemSetStages(), st);
  EXPECT_EQ(p.Document()["SystemSetStages"]["MicMoniterValue"].asInt(), -5);

  EXPECT_EQ(p.ReadCustomEqNames(), (std::vector<std::string>{"a", "b"}));
  p.WriteCustomEqNames({"Bässe"});
  EXPECT_EQ(p.ReadCustomEqNames(), std::vector<std::string>{"Bässe"});
  p.WriteCustomEqNames({});
  EXPECT_TRUE(p.Document()["CustomEQNameInfo"].isArray());
  EXPECT_EQ(p.Document()["CustomEQNameInfo"].size(), 0u);

  CHs6533Profiledata empty;
  EXPECT_TRUE(empty.ReadCustomEqNames().empty());
}

}  // namespace
}  // namespace korvale
