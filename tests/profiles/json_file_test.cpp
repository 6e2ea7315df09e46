#include <sys/stat.h>

#include <regex>

#include "profiles/json_fields.h"
#include "profiles/json_file.h"
#include "test_util.h"

namespace korvale {
namespace {
using test::Fixture;
using test::Slurp;
using test::Spit;

class JsonFileTest : public test::TempHome {};

TEST_F(JsonFileTest, UnreadableOrBrokenFilesReadAsNull) {
  Spit(Dir() / "empty.json", "");
  Spit(Dir() / "nul.json", std::string("\0{\"a\":1}", 8));
  Spit(Dir() / "garbage.json", "\xff\xfe{]");
  std::string deep(5000, '[');
  Spit(Dir() / "deep.json", deep + std::string(5000, ']'));
  for (const auto& p : {Dir() / "missing.json", Dir() / "empty.json", Dir() / "nul.json",
                        Dir() / "garbage.json", Dir() / "deep.json", Fixture("truncated.Json")}) {
    SCOPED_TRACE(p.string());
    EXPECT_TRUE(ReadJsonFile(p).isNull());
  }
}

TEST_F(JsonFileTest, HugeFileIsRefused) {
  // A valid document past the size limit: never parsed.
  std::string big = "{\"pad\":\"" + std::string(kMaxJsonFileBytes, 'x') + "\"}";
  Spit(Dir() / "huge.json", big);
  EXPECT_TRUE(ReadJsonFile(Dir() / "huge.json").isNull());
  EXPECT_TRUE(TraceSink::Instance().Contains("huge.json"));
}

TEST_F(JsonFileTest, TextEndsAtFirstZeroByteAndCommentsAreAllowed) {
  Spit(Dir() / "c.json", std::string("// note\n{\"a\": 5 /* five */}\0garbage", 35));
  Json::Value v = ReadJsonFile(Dir() / "c.json");
  ASSERT_TRUE(v.isObject());
  EXPECT_EQ(JsonInt(v["a"]), 5);
}

TEST_F(JsonFileTest, WritesStyledTextWithTrailingLineEnd) {
  Json::Value v;
  v["b"] = 1;
  v["a"]["x"] = "t";
  v["l"].append(1);
  v["l"].append(2);
  EXPECT_EQ(WriteJsonFile(Dir() / "out.json", v), 0);
  EXPECT_EQ(Slurp(Dir() / "out.json"),
            "{\n   \"a\" : {\n      \"x\" : \"t\"\n   },\n   \"b\" : 1,\n   \"l\" : [ 1, 2 ]\n}\n\n");
  EXPECT_EQ(ReadJsonFile(Dir() / "out.json"), v);
}

TEST_F(JsonFileTest, FailedWriteKeepsOldFileReturnsZeroAndTraces) {
  const auto sub = Dir() / "ro";
  std::filesystem::create_directory(sub);
  Spit(sub / "p.json", "{\"old\":1}\n");
  ::chmod(sub.c_str(), 0500);
  Json::Value v;
  v["new"] = 2;
  const bool root = ::geteuid() == 0;  // root writes anyway; the missing folder case still holds
  if (!root) {
    EXPECT_EQ(WriteJsonFile(sub / "p.json", v), 0);
    EXPECT_EQ(Slurp(sub / "p.json"), "{\"old\":1}\n");
  }
  ::chmod(sub.c_str(), 0700);
  TraceSink::Instance().Clear();
  EXPECT_EQ(WriteJsonFile(Dir() / "nofolder" / "p.json", v), 0);
  EXPECT_FALSE(std::filesystem::exists(Dir() / "nofolder"));
  EXPECT_TRUE(TraceSink::Instance().Contains("old file kept"));
  EXPECT_FALSE(TryWriteJsonFile(Dir() / "nofolder" / "p.json", v));
}

TEST(JsonAccessors, WrongTypesAndOutOfRangeReadAsZero) {
  Json::Value v = test::Parse(R"({"i": -7, "big": 4294967296, "u": 3000000000, "neg": -2147483649,
      "r": 3.9, "rbig": 1e300, "t": true, "f": false, "s": "12", "a": [1], "o": {"x": 1}, "n": null,
      "huge": 123456789012345678901234567890})");
  struct Case {
    const char* key;
    int32_t asInt;
    bool asFlag;
  } cases[] = {{"i", -7, true},      {"big", 0, true}, {"u", 0, true},     {"neg", 0, true},
               {"r", 3, true},       {"rbig", 0, true}, {"t", 1, true},    {"f", 0, false},
               {"s", 0, false},      {"a", 0, false},  {"o", 0, false},    {"n", 0, false},
               {"huge", 0, true},    {"absent", 0, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    EXPECT_EQ(JsonInt(JsonMember(v, c.key)), c.asInt);
    EXPECT_EQ(JsonFlag(JsonMember(v, c.key)), c.asFlag);
  }
  EXPECT_EQ(JsonString(JsonMember(v, "s")), "12");
  EXPECT_EQ(JsonString(JsonMember(v, "i")), "");
  // Member and element lookups on the wrong container type read null.
  EXPECT_TRUE(JsonMember(JsonMember(v, "a"), "x").isNull());
  EXPECT_TRUE(JsonElement(JsonMember(v, "o"), 0).isNull());
  EXPECT_TRUE(JsonElement(JsonMember(v, "a"), 1).isNull());
  EXPECT_EQ(JsonSize(JsonMember(v, "o")), 0u);
  // Writes repair the shape instead of throwing.
  Json::Value w = 5;
  JsonArrayAt(JsonObjectAt(w, "k"), 2) = 1;
  EXPECT_EQ(w["k"].size(), 3u);
}

// The walks that read and write sections in one pass give what a lookup
// per index or key gives: holes and missing members read null, writes fill
// them, other members stay.
TEST(JsonAccessors, WalksGiveWhatLookupsGive) {
  Json::Value sparse(Json::arrayValue);
  sparse[1] = 5;
  sparse[4] = 7;  // holes at 0, 2 and 3
  for (const Json::Value& arr : {sparse, Json::Value("not an array"), Json::Value()}) {
    std::vector<std::string> walked, looked;
    ForEachJsonElement(arr, 6, [&](std::size_t, const Json::Value& e) { walked.push_back(e.toStyledString()); });
    for (std::size_t i = 0; i < 6; ++i) looked.push_back(JsonElement(arr, i).toStyledString());
    EXPECT_EQ(walked, looked);
    for (std::size_t n : {0u, 3u, 6u}) {
      Json::Value walkedW = arr, lookedW = arr;
      const auto put = [](std::size_t i, Json::Value& e) { e = static_cast<int>(i * 10) + (e.isNull() ? 0 : 1); };
      ForEachJsonElementToWrite(walkedW, n, put);
      for (std::size_t i = 0; i < n; ++i) put(i, JsonArrayAt(lookedW, i));
      EXPECT_EQ(StyledJsonText(walkedW), StyledJsonText(lookedW)) << n;
    }
  }

  struct Rec {
    uint8_t a = 0;
    uint16_t b = 0;
    int32_t c = 0;
  };
  static constexpr JsonField<Rec> kFields[] = {{"a", &Rec::a}, {"bb", &Rec::b, true}, {"c", &Rec::c}};
  const Json::Value section = ParseJsonText(R"({"a": 300, "b": 1, "bb": "x", "c": -5, "cc": 9, "a\u0000": 4})");
  ASSERT_TRUE(section.isObject());
  Rec r{9, 9, 9};
  ReadJsonFields<Rec>(section, r, kFields);
  EXPECT_EQ(r.a, static_cast<uint8_t>(300));
  EXPECT_EQ(r.b, 0);  // a string is no flag
  EXPECT_EQ(r.c, -5);
  Rec none{9, 9, 9};
  ReadJsonFields<Rec>(ParseJsonText(R"({"cc": 1})"), none, kFields);
  ReadJsonFields<Rec>(Json::Value(3), r, kFields);
  for (const Rec& z : {none, r}) EXPECT_TRUE(z.a == 0 && z.b == 0 && z.c == 0);

  for (const Json::Value& start : {section, Json::Value(3), Json::Value()}) {
    Json::Value walkedW = start, lookedW = start;
    const Rec w{1, 2, 3};
    WriteJsonFields<Rec>(walkedW, w, kFields);
    JsonObjectAt(lookedW, "a") = 1;
    JsonObjectAt(lookedW, "bb") = 2;
    JsonObjectAt(lookedW, "c") = 3;
    EXPECT_EQ(StyledJsonText(walkedW), StyledJsonText(lookedW));
  }
}

TEST(StringHelpers, HexSplitStampAndText) {
  EXPECT_EQ(ToHex8(0x1A2B), "00001A2B");
  EXPECT_EQ(ToHex8(0xFFFF0000u), "FFFF0000");
  EXPECT_EQ(ToHex8(0xabcdef12u), "ABCDEF12");

  struct Split {
    const char* in;
    bool ok;
    const char* prefix;
    int32_t number;
  } splits[] = {{"light_07", true, "light_", 7},  {"key", false, "", 0},
                {"DPI_slider_3", true, "DPI_slider_", 3}, {"key_", true, "key_", 0},
                {"key_-4x", true, "key_", -4},    {"key_abc", true, "key_", 0},
                {"key_99999999999", true, "key_", 2147483647}};
  for (const Split& s : splits) {
    SCOPED_TRACE(s.in);
    IndexedName r = SplitIndexedName(s.in);
    EXPECT_EQ(r.ok, s.ok);
    EXPECT_EQ(r.prefix, s.prefix);
    EXPECT_EQ(r.number, s.number);
  }

  const std::string stamp = MakeTimeStampName();
  EXPECT_TRUE(std::regex_match(stamp, std::regex(R"(\d{4}_\d\d_\d\d_\d\d_\d\d_\d\d_\d{3})"))) << stamp;
  EXPECT_EQ(stamp.size(), 23u);

  EXPECT_TRUE(IsBlankText(" \t\n"));
  EXPECT_TRUE(IsBlankText(""));
  EXPECT_FALSE(IsBlankText(" a "));
  EXPECT_EQ(FileTitleOf("/x/y/2024_01_01.Json"), "2024_01_01");
  EXPECT_EQ(RemoveChar("1.10.2", '.'), "1102");
  // Invalid UTF-8 never reaches a stored string.
  EXPECT_EQ(Utf8ToWide("a\xff" "b"), "a\xEF\xBF\xBD" "b");
  EXPECT_EQ(WideToUtf8("Français"), "Français");
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));  // overlong '/'
}

}  // namespace
}  // namespace korvale
