// Our styled writer against jsoncpp's Json::StyledWriter, byte for byte: the
// installed data files, a table of awkward values, and every short string.
#include "profiles/styled_json.h"

#include <json/writer.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <random>

#include "profiles/device_profiledata.h"
#include "test_util.h"

namespace korvale {
namespace {
namespace fs = std::filesystem;

std::string Reference(const Json::Value& v) {
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  Json::StyledWriter writer;
  return writer.write(v);
#pragma GCC diagnostic pop
}

// Checks one value; the message shows both texts when they differ.
::testing::AssertionResult SameText(const Json::Value& v) {
  std::string ours;
  if (!AppendStyledJson(ours, v)) return ::testing::AssertionFailure() << "refused a value without comments";
  const std::string want = Reference(v);
  if (ours == want) return ::testing::AssertionSuccess();
  const auto at = std::mismatch(ours.begin(), ours.end(), want.begin(), want.end()).first - ours.begin();
  return ::testing::AssertionFailure() << "first difference at byte " << at << "\nours:\n"
                                       << ours << "\njsoncpp:\n"
                                       << want;
}

bool IsJsonName(const fs::path& p) {
  std::string ext = p.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
  return ext == ".json" || ext == ".config" || ext == ".ini";
}

TEST(StyledJson, DataFilesAsJsoncppWritesThem) {
  const fs::path root(KORVALE_SOURCE_DIR);
  int compared = 0;
  for (const fs::path& dir : {root / "data" / "DefaultData", root / "data" / "Language", root / "tests" / "profiles" / "fixtures"}) {
    for (const auto& e : fs::directory_iterator(dir)) {
      if (!e.is_regular_file() || !IsJsonName(e.path())) continue;
      const Json::Value v = ReadJsonFile(e.path());
      if (v.isNull()) continue;  // not JSON (broken fixtures on purpose)
      SCOPED_TRACE(e.path().string());
      EXPECT_TRUE(SameText(v));
      ++compared;
    }
  }
  // The keyboard default, the language files and the good fixtures at least.
  EXPECT_GE(compared, 12);

  // A whole profile as the program writes it: 170 LED entries, key records, colour groups.
  CKeyboardProfiledata p;
  p.SetDefaultPath(root / "data" / "DefaultData" / "keyboard.Json");
  p.Load(root / "data" / "DefaultData" / "keyboard.Json");
  std::vector<KeyRecord> keys = p.ReadKeyList();
  ASSERT_FALSE(keys.empty());
  for (std::size_t i = 0; i < keys.size(); ++i) keys[i].normal.code = AssignmentCode::FromInt(0x02000000u + static_cast<uint32_t>(i));
  p.WriteKeyList(keys);
  p.WriteCustomColours(std::vector<LedColour>(170, LedColour{255, 128, 0, 255}), 3);
  EXPECT_TRUE(SameText(p.Document()));
}

Json::Value Array(std::initializer_list<Json::Value> items) {
  Json::Value a(Json::arrayValue);
  for (const Json::Value& v : items) a.append(v);
  return a;
}

TEST(StyledJson, AwkwardValuesAsJsoncppWritesThem) {
  constexpr double kInf = std::numeric_limits<double>::infinity();
  std::vector<Json::Value> values = {
      Json::Value(), Json::Value(true), Json::Value(false), Json::Value(0), Json::Value(-1),
      Json::Value(Json::Int64{std::numeric_limits<int64_t>::min()}),
      Json::Value(Json::Int64{std::numeric_limits<int64_t>::max()}),
      Json::Value(Json::UInt64{std::numeric_limits<uint64_t>::max()}), Json::Value(Json::UInt{0}),
      Json::Value(Json::arrayValue), Json::Value(Json::objectValue), Json::Value(Json::stringValue), Json::Value(""),
      Json::Value(std::string("a\0b", 3)), Json::Value("quote\" back\\ slash/ \b\f\n\r\t \x01\x1f\x7f"),
      Json::Value("Fran\xC3\xA7" "ais \xE2\x82\xAC \xF0\x9F\x98\x80 \xEF\xBF\xBF"),
      // Broken UTF-8: cut sequences, stray continuation bytes, overlong forms,
      // surrogates, past U+10FFFF, 0xF8 and up.
      Json::Value("\xC3"), Json::Value("\xE2\x82"), Json::Value("\xF0\x9F\x98"), Json::Value("x\x80y\xBF"),
      Json::Value("\xC0\x80 \xC1\xBF \xE0\x80\x80 \xF0\x80\x80\x80"), Json::Value("\xED\xA0\x80\xED\xBF\xBF"),
      Json::Value("\xF4\x90\x80\x80 \xF7\xBF\xBF\xBF"), Json::Value("\xF8\x88\x80\x80\x80 \xFF\xFE"),
      Json::Value("\xC3 \xE2 a"),
  };
  for (double d : {0.0, -0.0, 1.0, -1.0, 0.1, 1.5, 100.0, 1e15, 1e16, 1e17, 1e21, 1e-7, 5e-324, 2.2250738585072014e-308,
                   1.7976931348623157e308, 123456789012345678.0, 0.30000000000000004, 3.9, -2147483649.0, kInf, -kInf,
                   std::nan("")})
    values.emplace_back(d);

  // Arrays around the right margin: element count times element width.
  for (int n = 1; n <= 30; ++n) {
    for (int w : {0, 1, 2, 3, 4, 6, 7, 10, 13, 19, 20, 31, 32, 33, 66, 67, 68, 69, 70, 80}) {
      Json::Value a(Json::arrayValue);
      for (int i = 0; i < n; ++i) a.append(std::string(static_cast<std::size_t>(w), 'x'));
      values.push_back(a);
    }
    Json::Value ints(Json::arrayValue);
    for (int i = 0; i < n; ++i) ints.append(i * 37);
    values.push_back(ints);
  }
  // Nesting: empty containers stay on the line, non-empty ones break it.
  values.push_back(Array({Json::Value(Json::arrayValue), Json::Value(Json::objectValue), 1}));
  values.push_back(Array({Array({1, 2}), Array({})}));
  values.push_back(Array({Array({Array({1}), 2}), Json::Value(Json::objectValue)}));
  Json::Value obj;
  obj["b"] = Array({1, 2.5, "s", Json::Value(), true});
  obj["a"]["x"] = Json::Value(Json::objectValue);
  obj["a"]["y"] = Array({Array({}), Array({})});
  obj[""] = 0;
  obj[std::string("k\0hidden", 8)] = 1;  // the name ends at its zero byte
  obj["\xC3\xA9\t\"\\"] = "v";
  obj["long"] = Array({std::string(80, 'z')});
  values.push_back(obj);
  values.push_back(Array({obj, obj}));
  // An array set by index holds nulls below its last element.
  Json::Value sparse(Json::arrayValue);
  sparse[5] = 1;
  sparse[2] = Array({1});
  values.push_back(sparse);
  Json::Value sparseShort(Json::arrayValue);
  sparseShort[3] = "x";
  values.push_back(sparseShort);
  Json::Value deep = 1;
  for (int i = 0; i < 40; ++i) deep = Array({deep, i});
  values.push_back(deep);

  for (std::size_t i = 0; i < values.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_TRUE(SameText(values[i]));
  }
}

// Every string of one and two bytes, and many longer ones, alone and as names.
TEST(StyledJson, EveryShortStringAsJsoncppWritesIt) {
  const auto check = [](const std::string& s) {
    Json::Value o;
    o[s] = s;
    return SameText(Json::Value(s)) && SameText(o);
  };
  int failures = 0;
  for (int a = 0; a < 256 && failures < 5; ++a) {
    if (!check(std::string(1, static_cast<char>(a)))) {
      ADD_FAILURE() << "byte " << a;
      ++failures;
    }
    for (int b = 0; b < 256 && failures < 5; ++b) {
      const std::string s{static_cast<char>(a), static_cast<char>(b)};
      if (!check(s)) {
        ADD_FAILURE() << "bytes " << a << " " << b;
        ++failures;
      }
    }
  }
  std::mt19937 rng(2024);
  // Bytes weighted towards lead and continuation bytes, where decoding differs.
  const std::string alphabet = "a\"\\\n\x01\x7f\x80\x9f\xa0\xbf\xc0\xc2\xdf\xe0\xed\xef\xf0\xf4\xf7\xf8\xff";
  std::uniform_int_distribution<std::size_t> len(3, 7), pick(0, alphabet.size() - 1);
  std::uniform_int_distribution<int> any(0, 255);
  for (int i = 0; i < 20000 && failures < 5; ++i) {
    std::string s(len(rng), ' ');
    for (char& c : s) c = (i & 1) ? static_cast<char>(any(rng)) : alphabet[pick(rng)];
    if (!check(s)) {
      ADD_FAILURE() << "string #" << i;
      ++failures;
    }
  }
}

TEST(StyledJson, CommentsAreLeftToJsoncpp) {
  const Json::Value v = ParseJsonText("// head\n{\"a\": [1, 2] /* two */, \"b\": {\"c\": 3 // three\n}}");
  ASSERT_TRUE(v.isObject());
  std::string out = "kept";
  EXPECT_FALSE(AppendStyledJson(out, v));
  EXPECT_EQ(out, "kept");
  // The file text still has jsoncpp's layout of them.
  EXPECT_EQ(StyledJsonText(v), Reference(v) + "\n");
  EXPECT_NE(StyledJsonText(v).find("/* two */"), std::string::npos);
}

}  // namespace
}  // namespace korvale
