// What the skins and the program show: every text a skin or the code shows is
// a text ID with words in every language, German and French are really
// translated, every picture named exists, and the keyboard page draws each key
// at the place the key matrix gives it, so light effects that run by column
// and row cross the drawn keyboard as they cross the real one.
#include <gtest/gtest.h>
#include <json/value.h>
#include <tinyxml2.h>

#include <filesystem>
#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <sstream>

#include "devices/light_tables.h"
#include "hid/device_table.h"
#include "platform/paths.h"
#include "profiles/json_file.h"
#include "profiles/keyboard_layout.h"
#include "profiles/settings_files.h"

namespace korvale {
namespace {
namespace fs = std::filesystem;

const fs::path kSource = KORVALE_SOURCE_DIR;

// Language name -> its texts, in the order of "Language.config".
std::vector<std::pair<std::string, Json::Value>> Languages() {
  std::vector<std::pair<std::string, Json::Value>> out;
  for (const LanguageEntry& l : ReadLanguageList()) out.emplace_back(l.name, ReadJsonFile(InstallDataDir() / l.file));
  return out;
}

struct SkinText {
  std::string file, element, attribute, value;
  bool resourceText;
};

void CollectTexts(const tinyxml2::XMLElement* e, const std::string& file, std::vector<SkinText>* out) {
  for (; e != nullptr; e = e->NextSiblingElement()) {
    const char* rt = e->Attribute("resourcetext");
    const bool resource = rt == nullptr || std::string(rt) != "false";
    for (const char* attr : {"text", "tooltip"}) {
      if (const char* v = e->Attribute(attr)) out->push_back({file, e->Name(), attr, v, resource});
    }
    CollectTexts(e->FirstChildElement(), file, out);
  }
}

// Texts of the program's own skins (the renderer's gallery in skin/demo has
// its own language file).
std::vector<SkinText> SkinTexts() {
  std::vector<SkinText> out;
  for (const auto& e : fs::recursive_directory_iterator(kSource / "skin" / "XML")) {
    if (e.path().extension() != ".xml") continue;
    tinyxml2::XMLDocument doc;
    EXPECT_EQ(doc.LoadFile(e.path().c_str()), tinyxml2::XML_SUCCESS) << e.path();
    CollectTexts(doc.RootElement(), fs::relative(e.path(), kSource).string(), &out);
  }
  return out;
}

// Digits, signs and colour codes are no words; letters and Chinese
// characters (UTF-8 lead bytes E4..E9) are.
bool IsWord(const std::string& v) {
  static const std::regex kColour("#[0-9A-Fa-f]{6,8}");
  if (std::regex_match(v, kColour)) return false;
  for (unsigned char c : v)
    if (std::isalpha(c) || (c >= 0xE4 && c <= 0xE9)) return true;
  return false;
}

// The first group of every match of `re` in the sources and skins below the
// folders.
void Matches(std::initializer_list<const char*> folders, const std::regex& re, std::set<std::string>* out) {
  for (const char* dir : folders) {
    for (const auto& e : fs::recursive_directory_iterator(kSource / dir)) {
      const auto ext = e.path().extension();
      if (ext != ".cpp" && ext != ".h" && ext != ".xml") continue;
      std::ifstream in(e.path());
      std::stringstream text;
      text << in.rdbuf();
      const std::string s = text.str();
      for (std::sregex_iterator it(s.begin(), s.end(), re), end; it != end; ++it) out->insert((*it)[1]);
    }
  }
}

// Text IDs the code sets on controls: literals of the ID families, whatever
// Localise() is asked for, the tiles' product keys and the lighting-control
// states.
std::set<std::string> CodeTextIds() {
  static const std::regex kId(
      R"re("((?:[A-Za-z][A-Za-z0-9]*_)+(?:text|tip)|message_text_[0-9]+|Phone_type_[a-z_]+)")re");
  static const std::regex kLocalised(R"re(Localise\("([^"]+)"\))re");
  std::set<std::string> ids = {"控制灯光", "不控制灯光"};
  for (const std::regex* re : {&kId, &kLocalised})
    Matches({"devices", "editors", "mainwnd", "shell", "ui", "qtview"}, *re, &ids);
  for (const ProductEntry& p : kProducts) ids.insert(p.productKey);
  return ids;
}

TEST(SkinTexts, EveryTextShownIsATextIdOfEveryLanguage) {
  const auto languages = Languages();
  ASSERT_GE(languages.size(), 3u);
  const auto texts = SkinTexts();
  ASSERT_GT(texts.size(), 200u);  // the key caps alone are 126
  for (const SkinText& t : texts) {
    if (t.value.empty() || !IsWord(t.value)) continue;
    SCOPED_TRACE(t.file + ": <" + t.element + " " + t.attribute + "=\"" + t.value + "\">");
    EXPECT_TRUE(t.resourceText) << "a word the language files cannot translate";
    for (const auto& [name, words] : languages)
      EXPECT_TRUE(words[t.value].isString() && !words[t.value].asString().empty()) << "no " << name << " words";
  }
  const auto ids = CodeTextIds();
  EXPECT_TRUE(ids.count("Phone_type_samsung") == 1 && ids.count("HD") == 1);  // the scan finds the code's IDs
  for (const std::string& id : ids)
    for (const auto& [name, words] : languages)
      EXPECT_TRUE(words[id].isString() && !words[id].asString().empty()) << id << ": no " << name << " words";
}

TEST(SkinTexts, GermanAndFrenchAreTranslated) {
  // Names that read the same in every language.
  static const std::set<std::string> kNamesThatStay = {
      "Logo", "WASD", "Esc", "Tab", "Pause", "Fn", "Alt", "Alt Gr", "AltGr", "Ctrl", "Win", "Menu", "Num",
      "Headset", "Hub", "Henk", "Henkan", "Muhen", "Muhenkan", "Kana", "Han", "Hangul", "Hanja", "Ro", "Yen",
      "Calc", "Vol-", "Vol+", "6KRO", "Macros", "KORVALE TX730max", "English", "Deutsch", "Français", "OK",
      "Notifications"};
  static const std::regex kSigns(R"(.|F[0-9]+|G[0-9]|Num .|[0-9]+ k?Hz|EQ [0-9]+)");
  const auto languages = Languages();
  ASSERT_GE(languages.size(), 3u);
  const Json::Value& english = languages[0].second;
  ASSERT_EQ(languages[0].first, "English");
  for (std::size_t l = 1; l < languages.size(); ++l) {
    const auto& [name, words] = languages[l];
    EXPECT_EQ(words.getMemberNames(), english.getMemberNames()) << name << " has other IDs than English";
    for (const std::string& id : english.getMemberNames()) {
      const std::string en = english[id].asString();
      if (kNamesThatStay.count(en) != 0 || std::regex_match(en, kSigns)) continue;
      EXPECT_NE(words[id].asString(), en) << name << " still English: " << id;
    }
  }
}

TEST(SkinPictures, EveryPictureNamedExists) {
  static const std::regex kPicture(R"re(["'=]((?:common|Control|power|images)/[A-Za-z0-9_/.-]+\.png))re");
  std::set<std::string> named;
  Matches({"skin/XML", "devices", "editors", "mainwnd", "profiles", "shell", "qtview"}, kPicture, &named);
  // Named by the skin picker, the palette and the resolution sliders.
  for (const char* p : {"common/background.png", "common/base1.png", "Control/SliderBar1_Thumb.png",
                        "Control/SliderBar2_Thumb.png"})
    named.insert(p);
  EXPECT_GT(named.size(), 30u);
  for (const std::string& p : named) EXPECT_TRUE(fs::is_regular_file(kSource / "skin" / p)) << p;
}

struct KeyButton {
  int centreX2 = 0, centreY2 = 0;  // twice the centre
  std::string text;
};

// The visible key buttons of the keyboard page, by key index.
std::map<int, KeyButton> KeyButtons() {
  std::map<int, KeyButton> out;
  tinyxml2::XMLDocument doc;
  const fs::path file = kSource / "skin" / "XML" / "DeviceXml" / "keyboarddevice.xml";
  EXPECT_EQ(doc.LoadFile(file.c_str()), tinyxml2::XML_SUCCESS);
  std::vector<const tinyxml2::XMLElement*> stack = {doc.RootElement()};
  while (!stack.empty()) {
    const tinyxml2::XMLElement* e = stack.back();
    stack.pop_back();
    for (const auto* c = e->FirstChildElement(); c != nullptr; c = c->NextSiblingElement()) stack.push_back(c);
    int key = -1, l = 0, t = 0, r = 0, b = 0;
    const char* name = e->Attribute("name");
    const char* pos = e->Attribute("pos");
    if (std::string(e->Name()) != "DeviceKeyButton" || name == nullptr || pos == nullptr) continue;
    if (std::sscanf(name, "key_%d", &key) != 1 || std::sscanf(pos, "%d,%d,%d,%d", &l, &t, &r, &b) != 4) continue;
    if (e->Attribute("visible", "false") != nullptr) continue;
    out[key] = {l + r, t + b, e->Attribute("text") != nullptr ? e->Attribute("text") : ""};
  }
  return out;
}

TEST(KeyboardSkin, KeyButtonsFollowTheKeyMatrix) {
  const auto centres = KeyButtons();
  struct Cell {
    int key, column, row;
  };
  std::vector<Cell> cells;
  // The matrix the light effects step through.
  for (int c = 0; c < lightfx::kColumns; ++c)
    for (int r = 0; r < lightfx::kRows; ++r)
      if (lightfx::IsKey(lightfx::kKeyMatrix[c][r])) cells.push_back({lightfx::kKeyMatrix[c][r], c, r});
  ASSERT_EQ(cells.size(), static_cast<std::size_t>(kKeyboardRealKeys));
  for (const Cell& a : cells) ASSERT_EQ(centres.count(a.key), 1u) << "key " << a.key << " is not drawn";
  // A key further right in the matrix is drawn further right, a key further
  // down further down, whatever the rows and columns of the two.
  for (const Cell& a : cells) {
    for (const Cell& b : cells) {
      const int ax = centres.at(a.key).centreX2, ay = centres.at(a.key).centreY2;
      const int bx = centres.at(b.key).centreX2, by = centres.at(b.key).centreY2;
      if (a.column < b.column) {
        EXPECT_LT(ax, bx) << "key " << a.key << " is not left of key " << b.key;
      }
      if (a.row < b.row) {
        EXPECT_LT(ay, by) << "key " << a.key << " is not above key " << b.key;
      }
    }
  }
  EXPECT_EQ(centres.size(), static_cast<std::size_t>(kKeyboardRealKeys));  // no other key is drawn
}

TEST(KeyboardSkin, KeycapsAreTheLanguagesKeyNames) {
  const auto keys = KeyButtons();
  const auto languages = Languages();
  ASSERT_GE(languages.size(), 3u);
  struct Case {
    int key;
    const char* english;
    const char* german;
  };
  // Keys by their factory usage: 0x90 is Hangul (LANG1), 0x91 Hanja (LANG2),
  // 0x87 Ro, 0x85 the keypad comma.
  const Case cases[] = {{105, "Ctrl", "Strg"}, {56, "Del", "Entf"},  {36, "Home", "Pos1"}, {108, "Space", "Leertaste"},
                        {81, "Han", "Han"},    {82, "Hanja", "Hanja"}, {100, "Ro", "Ro"},   {103, ",", ","},
                        {43, "Q", "Q"},        {116, "0", "0"}};
  for (const Case& c : cases) {
    ASSERT_EQ(keys.count(c.key), 1u) << c.key;
    const std::string& id = keys.at(c.key).text;
    EXPECT_EQ(languages[0].second[id].asString(), c.english) << "key " << c.key << " " << id;
    EXPECT_EQ(languages[1].second[id].asString(), c.german) << "key " << c.key << " " << id;
  }
  EXPECT_EQ(languages[0].second["keyboard_key_K151"].asString(), "Hangul");
  EXPECT_EQ(languages[0].second["keyboard_key_K150"].asString(), "Hanja");
  EXPECT_EQ(languages[0].second["keyboard_key_K56"].asString(), "Ro");
  EXPECT_EQ(languages[0].second["keyboard_key_K107"].asString(), "Num ,");
}

}  // namespace
}  // namespace korvale
