// Key codes and the key editor's fields, both ways, for every category; the
// names of codes and the notations korvalectl reads.
#include <gtest/gtest.h>

#include "profiles/assignment_codes.h"

namespace korvale {
namespace {

constexpr AssignmentCode kDefaultA{0x20, 0x00, 0x04};

struct Case {
  const char* what;
  AssignmentFields fields;  // what the editor holds
  AssignmentCode code;      // what it forms
};

AssignmentFields F(int category) {
  AssignmentFields f;
  f.category = category;
  return f;
}
AssignmentFields Item(int category, int item) {
  AssignmentFields f = F(category);
  f.item = item;
  return f;
}
AssignmentFields Wheel(int category, int delay, int speed, int count, int direction) {
  AssignmentFields f = F(category);
  f.delay = delay;
  f.speed = speed;
  f.count = count;
  f.direction = direction;
  return f;
}
AssignmentFields Fire(int interval, int count) {
  AssignmentFields f = F(kCatFire);
  f.interval = interval;
  f.count = count;
  return f;
}
AssignmentFields Grid(int key, int check, uint8_t bits = 0) {
  AssignmentFields f = F(kCatKey);
  f.gridKey = key;
  f.modifierCheck = check;
  f.modifierBits = bits;
  return f;
}
AssignmentFields Macro(int item, int mode, int repeat = 1) {
  AssignmentFields f = Item(kCatMacro, item);
  f.playMode = mode;
  f.repeat = repeat;
  return f;
}

// Each row encodes to its code and decodes back to the same fields.
const Case kRoundTrips[] = {
    {"mouse right", Item(kCatMouseButton, 2), {0x10, 0x02, 0x00}},
    {"mouse back", Item(kCatMouseButton, 4), {0x10, 0x08, 0x00}},
    {"swing right 3/5/10", Wheel(kCatSwing, 3, 5, 10, 1), {0x11, 0x35, 0x8A}},
    {"swing left", Wheel(kCatSwing, 15, 0, 127, 0), {0x11, 0xF0, 0x7F}},
    {"wheel down 3", Wheel(kCatWheel, 0, 1, 3, 1), {0x12, 0x01, 0xFD}},
    {"wheel down 127", Wheel(kCatWheel, 2, 2, 127, 1), {0x12, 0x22, 0x81}},
    {"wheel up 1", Wheel(kCatWheel, 0, 0, 1, 0), {0x12, 0x00, 0x01}},
    {"resolution cycle", Item(kCatResolution, 2), {0x13, 0x03, 0x00}},
    {"fire 120 x2", Fire(120, 2), {0x14, 0x78, 0x02}},
    {"key B", Grid(79, 0), {0x20, 0x00, 0x05}},
    {"key right shift", Grid(85, 0), {0x20, 0x20, 0x00}},
    {"left ctrl + C", Grid(77, 1, 0x01), {0x20, 0x01, 0x06}},
    {"right alt + F5", Grid(5, 3, 0x40), {0x20, 0x40, 0x3E}},
    {"ctrl+shift + Z, both kept", Grid(75, 1, 0x03), {0x20, 0x03, 0x1D}},
    {"Fn", Grid(96, 0), {0xA0, 0x01, 0x00}},
    {"G3", Grid(108, 0), {0xD0, 0xA2, 0x03}},
    {"media play", Item(kCatMedia, 1), {0x30, 0xCD, 0x00}},
    {"media calculator", Item(kCatMedia, 16), {0x30, 0x92, 0x01}},
    {"system sleep", Item(kCatSystem, 1), {0x40, 0x02, 0x00}},
    {"macro 2 once", Macro(2, 1), {0x70, 0x02, 0x01}},
    {"macro 2 seven times", Macro(2, 4, 7), {0x71, 0x02, 0x07}},
    {"gun 3", Item(kCatGun, 3), {0x72, 0x03, 0x00}},
    {"combination copy", Item(kCatCombination, 4), {0x20, 0x10, 0x06}},
    {"combination magnify", Item(kCatCombination, 10), {0x20, 0x10, 0x2E}},
};

TEST(AssignmentCodesTest, EveryCategoryEncodesAndDecodesBothWays) {
  constexpr int kMacros = 3;
  for (const Case& c : kRoundTrips) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(EncodeAssignment(c.fields, kDefaultA, {0x20, 0, 0x04}, kMacros), c.code);
    EXPECT_EQ(DecodeAssignment(c.code, kDefaultA, kMacros), c.fields);
  }
}

TEST(AssignmentCodesTest, TheDefaultCodeIsCategoryZeroWhateverItsType) {
  EXPECT_EQ(DecodeAssignment(kDefaultA, kDefaultA, 0).category, kCatDefault);
  EXPECT_EQ(DecodeAssignment({0x10, 0x01, 0}, {0x10, 0x01, 0}, 0).category, kCatDefault);
  EXPECT_EQ(DecodeAssignment({0x00, 0x00, 0}, kDefaultA, 0).category, kCatDefault);
  // Category 0 forms the default again.
  EXPECT_EQ(EncodeAssignment(F(kCatDefault), kDefaultA, {0x30, 0xCD, 0}, 0), kDefaultA);
  // A code no table knows has no category.
  EXPECT_EQ(DecodeAssignment({0x55, 1, 2}, kDefaultA, 0).category, -1);
  EXPECT_EQ(DecodeAssignment({0xA0, 0x1B, 0}, kDefaultA, 0).category, -1);
}

TEST(AssignmentCodesTest, AMacroNumberAtOrPastTheListNamesNoMacroAndApplyKeepsTheCode) {
  // Two macros: numbers 0 and 1; 2 is past the end.
  const AssignmentFields past = DecodeAssignment({0x70, 0x02, 0x01}, kDefaultA, 2);
  EXPECT_EQ(past.category, kCatMacro);
  EXPECT_EQ(past.item, -1);
  EXPECT_EQ(past.playMode, -1);
  EXPECT_EQ(DecodeAssignment({0x71, 0x02, 0x05}, kDefaultA, 2).item, -1);
  EXPECT_EQ(DecodeAssignment({0x70, 0x01, 0x01}, kDefaultA, 2).item, 1);
  const AssignmentCode stored{0x70, 0x02, 0x01};
  EXPECT_EQ(EncodeAssignment(past, kDefaultA, stored, 2), stored);
  EXPECT_EQ(EncodeAssignment(Macro(0, 1), kDefaultA, stored, 0), stored);  // an empty list
}

TEST(AssignmentCodesTest, NumbersOutsideTheirRangeAreClampedNeverWrapped) {
  // A wheel count of 0 would be 0x80 (read back as 128); 300 ms of fire interval 44.
  EXPECT_EQ(EncodeAssignment(Wheel(kCatWheel, 0, 0, 0, 1), kDefaultA, {}, 0), (AssignmentCode{0x12, 0x00, 0xFF}));
  EXPECT_EQ(EncodeAssignment(Wheel(kCatWheel, 0, 0, 0, 0), kDefaultA, {}, 0), (AssignmentCode{0x12, 0x00, 0x01}));
  EXPECT_EQ(EncodeAssignment(Wheel(kCatSwing, 16, 31, 200, 0), kDefaultA, {}, 0), (AssignmentCode{0x11, 0xFF, 0x7F}));
  EXPECT_EQ(EncodeAssignment(Wheel(kCatSwing, -4, -1, -9, 1), kDefaultA, {}, 0), (AssignmentCode{0x11, 0x00, 0x81}));
  EXPECT_EQ(EncodeAssignment(Fire(300, 0), kDefaultA, {}, 0), (AssignmentCode{0x14, 0xFF, 0x01}));
  EXPECT_EQ(EncodeAssignment(Macro(1, 4, 1000), kDefaultA, {}, 2), (AssignmentCode{0x71, 0x01, 0xFF}));
}

TEST(AssignmentCodesTest, TheCheckedModifierGoesIntoTheKeyCode) {
  // Ctrl checked with C is Ctrl+C, not plain C; a fresh check adds its left key.
  EXPECT_EQ(EncodeAssignment(Grid(77, 1), kDefaultA, {}, 0), (AssignmentCode{0x20, 0x01, 0x06}));
  EXPECT_EQ(EncodeAssignment(Grid(77, 4), kDefaultA, {}, 0), (AssignmentCode{0x20, 0x08, 0x06}));
  EXPECT_EQ(EncodeAssignment(Grid(77, 0), kDefaultA, {}, 0), (AssignmentCode{0x20, 0x00, 0x06}));
  // Bits of another group than the check's are replaced by the check's.
  EXPECT_EQ(EncodeAssignment(Grid(77, 2, 0x01), kDefaultA, {}, 0), (AssignmentCode{0x20, 0x02, 0x06}));
  // Right Ctrl + C is the combination item, not the grid.
  const AssignmentFields copy = DecodeAssignment({0x20, 0x10, 0x06}, kDefaultA, 0);
  EXPECT_EQ(copy.category, kCatCombination);
  EXPECT_EQ(copy.item, 4);
  // No grid key selected keeps the stored code.
  EXPECT_EQ(EncodeAssignment(Grid(-1, 0), kDefaultA, {0x20, 0, 0x2C}, 0), (AssignmentCode{0x20, 0, 0x2C}));
}

TEST(AssignmentCodesTest, GridCoversTheKeyTableAndNamesAreFound) {
  EXPECT_EQ(kGridCodes[0], (AssignmentCode{0x20, 0, 0x29}));
  EXPECT_EQ(kGridCodes[26], (AssignmentCode{0x20, 0, 0x27}));
  EXPECT_EQ(kGridCodes[114], (AssignmentCode{0x20, 0, 0x85}));
  EXPECT_EQ(kGridCodes[125], (AssignmentCode{0x20, 0, 0}));
  struct Named {
    AssignmentCode code;
    const char* id;
  };
  const Named names[] = {
      {{0x10, 0x04, 0}, "mouse_key_middle"}, {{0x13, 0x01, 0}, "mouse_key_DPI_add"},
      {{0x30, 0x8A, 0x01}, "media_mail"},    {{0x40, 0x04, 0}, "system_wake_up"},
      {{0x20, 0x10, 0x19}, "custem_paste"},  {{0x20, 0, 0x04}, "keyboard_key_A"},
      {{0x20, 0x20, 0}, "keyboard_key_RShift"},   {{0x20, 0, 0}, "mouse_key_shortcut_key"},
      {{0xA0, 0x01, 0}, "keyboard_cap_Fn"},       {{0x16, 0, 0}, "mouse_key_DPI_shift"},
      {{0x20, 0x80, 0}, "keyboard_key_RWin"},
  };
  for (const Named& n : names) {
    EXPECT_EQ(NameOfCode(n.code), n.id);
    EXPECT_EQ(CodeOfName(n.id), n.code) << n.id;
  }
  // Swing and wheel names follow the direction bit, whatever the numbers.
  EXPECT_EQ(NameOfCode({0x11, 0x35, 0x8A}), "mouse_key_right_Swing");
  EXPECT_EQ(NameOfCode({0x12, 0x00, 0x03}), "mouse_key_up_Swing");
  EXPECT_EQ(NameOfCode({0x20, 0x01, 0x06}), "");  // composed by the pages
  EXPECT_FALSE(CodeOfName("no_such_text").has_value());
}

TEST(AssignmentCodesTest, NotationsAndChordsParseAndBadTextIsRefused) {
  EXPECT_EQ(FormatCode({0x20, 0x10, 0x06}), "20 10 06");
  for (const char* good : {"20 10 06", "20:10:06", "0x201006", "201006"})
    EXPECT_EQ(ParseCodeNotation(good), (AssignmentCode{0x20, 0x10, 0x06})) << good;
  for (const char* bad : {"", "20 10", "2010060", "20 1 006", "zz 10 06", "20  10 06", "0x"})
    EXPECT_FALSE(ParseCodeNotation(bad).has_value()) << bad;
  EXPECT_EQ(ParseKeyChord("A"), (AssignmentCode{0x20, 0, 0x04}));
  EXPECT_EQ(ParseKeyChord("ctrl+c"), (AssignmentCode{0x20, 0x01, 0x06}));
  EXPECT_EQ(ParseKeyChord("Ctrl+Shift+F5"), (AssignmentCode{0x20, 0x03, 0x3E}));
  EXPECT_EQ(ParseKeyChord("RShift"), (AssignmentCode{0x20, 0x20, 0}));
  EXPECT_EQ(ParseKeyChord("Shift"), std::nullopt);  // "Shift" alone is no key word
  EXPECT_EQ(ParseKeyChord("Num +"), (AssignmentCode{0x20, 0, 0x57}));
  for (const char* bad : {"", "Ctrl+", "A+B", "Hyper+A", "+"}) EXPECT_FALSE(ParseKeyChord(bad).has_value()) << bad;
}

}  // namespace
}  // namespace korvale
