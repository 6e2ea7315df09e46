#include "profiles/assignment_codes.h"

#include <strings.h>

#include <cctype>
#include <cstdio>

#include "profiles/key_tables.h"

namespace korvale {

namespace {

constexpr AssignmentCode K(uint8_t usage) { return {0x20, 0x00, usage}; }
constexpr AssignmentCode M(uint8_t bit) { return {0x20, bit, 0x00}; }
constexpr AssignmentCode kEmpty{0x20, 0x00, 0x00};

constexpr std::array<AssignmentCode, kGridKeys> MakeGrid() {
  std::array<AssignmentCode, kGridKeys> g{};
  for (auto& c : g) c = kEmpty;
  g[0] = K(0x29);
  for (int i = 0; i < 12; ++i) g[1 + i] = K(static_cast<uint8_t>(0x3A + i));  // F1-F12
  g[13] = K(0x46); g[14] = K(0x47); g[15] = K(0x48); g[16] = K(0x35);
  for (int i = 0; i < 9; ++i) g[17 + i] = K(static_cast<uint8_t>(0x1E + i));  // 1-9
  g[26] = K(0x27); g[27] = K(0x2D); g[28] = K(0x2E); g[29] = K(0x2A);
  g[30] = K(0x49); g[31] = K(0x4A); g[32] = K(0x4B); g[33] = K(0x53);
  g[34] = K(0x54); g[35] = K(0x55); g[36] = K(0x56); g[37] = K(0x2B);
  constexpr uint8_t qwerty[10] = {0x14, 0x1A, 0x08, 0x15, 0x17, 0x1C, 0x18, 0x0C, 0x12, 0x13};
  for (int i = 0; i < 10; ++i) g[38 + i] = K(qwerty[i]);
  g[48] = K(0x2F); g[49] = K(0x30); g[50] = K(0x31); g[51] = K(0x4C);
  g[52] = K(0x4D); g[53] = K(0x4E); g[54] = K(0x5F); g[55] = K(0x60);
  g[56] = K(0x61); g[57] = K(0x39);
  constexpr uint8_t asdf[9] = {0x04, 0x16, 0x07, 0x09, 0x0A, 0x0B, 0x0D, 0x0E, 0x0F};
  for (int i = 0; i < 9; ++i) g[58 + i] = K(asdf[i]);
  g[67] = K(0x33); g[68] = K(0x34); g[69] = K(0x28); g[70] = K(0x5C);
  g[71] = K(0x5D); g[72] = K(0x5E); g[73] = K(0x57); g[74] = M(0x02);
  constexpr uint8_t zxcv[7] = {0x1D, 0x1B, 0x06, 0x19, 0x05, 0x11, 0x10};
  for (int i = 0; i < 7; ++i) g[75 + i] = K(zxcv[i]);
  g[82] = K(0x36); g[83] = K(0x37); g[84] = K(0x38); g[85] = M(0x20);
  g[86] = K(0x52); g[87] = K(0x59); g[88] = K(0x5A); g[89] = K(0x5B);
  g[90] = K(0x58); g[91] = M(0x01); g[92] = M(0x08); g[93] = M(0x04);
  g[94] = K(0x2C); g[95] = M(0x40); g[96] = {0xA0, 0x01, 0x00}; g[97] = K(0x65);
  g[98] = M(0x10); g[99] = K(0x50); g[100] = K(0x51); g[101] = K(0x4F);
  g[102] = K(0x62); g[103] = K(0x63); g[104] = kEmpty; g[105] = M(0x80);
  for (int i = 0; i < 5; ++i) g[106 + i] = {0xD0, 0xA2, static_cast<uint8_t>(1 + i)};
  g[111] = K(0x87); g[112] = K(0x89); g[113] = K(0x64); g[114] = K(0x85);
  return g;
}

// Names of codes that no item table holds (first match on the whole code).
constexpr CodeItem kLabelItems[] = {
    {{0x14, 0x50, 0x02}, "mouse_key_fire_key"},  {{0x20, 0x00, 0x00}, "mouse_key_shortcut_key"},
    {{0x23, 0x00, 0x00}, "show_window"},         {{0x20, 0x80, 0x00}, "win_key_text"},
    {{0xA0, 0x02, 0x00}, "mouse_key_smart_key"}, {{0xA0, 0x00, 0x00}, "com_key_nothing"},
    {{0x16, 0x00, 0x00}, "mouse_key_DPI_shift"}, {{0x22, 0x00, 0x00}, "custem_open"},
    {{0x22, 0x00, 0x01}, "custem_new"},          {{0x22, 0x00, 0x02}, "custem_undo"},
    {{0x22, 0x00, 0x03}, "custem_save"},         {{0x22, 0x00, 0x04}, "custem_copy"},
    {{0x22, 0x00, 0x05}, "custem_cut"},          {{0x22, 0x00, 0x06}, "custem_paste"},
    {{0x22, 0x00, 0x07}, "custem_find"},         {{0x22, 0x00, 0x08}, "custem_select_all"},
    {{0xA0, 0x01, 0x00}, "keyboard_cap_Fn"},     {{0xD0, 0xA2, 0x01}, "keyboard_cap_G1"},
    {{0xD0, 0xA2, 0x02}, "keyboard_cap_G2"},     {{0xD0, 0xA2, 0x03}, "keyboard_cap_G3"},
    {{0xD0, 0xA2, 0x04}, "keyboard_cap_G4"},     {{0xD0, 0xA2, 0x05}, "keyboard_cap_G5"},
};

template <std::size_t N>
int FindItem(const std::array<CodeItem, N>& items, const AssignmentCode& c) {
  for (std::size_t i = 0; i < N; ++i)
    if (items[i].code == c) return static_cast<int>(i);
  return -1;
}

template <std::size_t N>
AssignmentCode ItemCode(const std::array<CodeItem, N>& items, int i, const AssignmentCode& stored) {
  return i >= 0 && static_cast<std::size_t>(i) < N ? items[static_cast<std::size_t>(i)].code : stored;
}

// The check group of modifier bits: the group of the lowest bit set.
int CheckOfBits(uint8_t bits) {
  for (int g = 1; g < kModifierChecks; ++g)
    if (bits & kModifierGroupMask[static_cast<std::size_t>(g)] & 0x0F) return g;
  for (int g = 1; g < kModifierChecks; ++g)
    if (bits & kModifierGroupMask[static_cast<std::size_t>(g)]) return g;
  return 0;
}

void DecodeKey(const AssignmentCode& code, AssignmentFields& f) {
  f.category = kCatKey;
  f.gridKey = FindGridKey(code);
  if (f.gridKey >= 0) {
    f.modifierCheck = 0;
    return;
  }
  // A key with modifiers: the plain key's button and the modifiers' check.
  f.gridKey = FindGridKey({code.type, 0, code.value2});
  f.modifierBits = code.value1;
  f.modifierCheck = CheckOfBits(code.value1);
}

AssignmentCode EncodeKey(const AssignmentFields& f, const AssignmentCode& stored) {
  if (f.gridKey < 0 || f.gridKey >= kGridKeys) return stored;
  AssignmentCode c = kGridCodes[static_cast<std::size_t>(f.gridKey)];
  if (c.type != 0x20 || f.modifierCheck <= 0 || f.modifierCheck >= kModifierChecks) return c;
  const auto check = static_cast<std::size_t>(f.modifierCheck);
  // The bits the code came with while they still belong to the check; the
  // check's left key once the user picked another.
  const uint8_t bits = (f.modifierBits & kModifierGroupMask[check]) != 0 ? f.modifierBits : kModifierCheckBit[check];
  c.value1 = static_cast<uint8_t>(c.value1 | bits);
  return c;
}

}  // namespace

const std::array<AssignmentCode, kGridKeys> kGridCodes = MakeGrid();

int FindGridKey(const AssignmentCode& code) {
  for (int i = 0; i < kGridKeys; ++i)
    if (kGridCodes[static_cast<std::size_t>(i)] == code && !(code == kEmpty)) return i;
  return code == kEmpty ? 104 : -1;
}

AssignmentFields DecodeAssignment(const AssignmentCode& code, const AssignmentCode& defaultCode, int macroCount) {
  AssignmentFields f;
  if (code == defaultCode || code.type == 0x00) {
    f.category = kCatDefault;
    return f;
  }
  switch (code.type) {
    case 0x10:
      f.category = kCatMouseButton;
      f.item = FindItem(kMouseButtonItems, code);
      break;
    case 0x11:
    case 0x12:
      f.category = code.type == 0x11 ? kCatSwing : kCatWheel;
      f.delay = code.value1 >> 4;
      f.speed = code.value1 & 15;
      f.direction = (code.value2 & 0x80) != 0 ? 1 : 0;
      if (f.direction == 0)
        f.count = code.value2;
      else
        f.count = code.type == 0x11 ? (code.value2 & 0x7F) : 128 - (code.value2 & 0x7F);
      break;
    case 0x13:
      f.category = kCatResolution;
      f.item = FindItem(kResolutionItems, code);
      break;
    case 0x14:
      f.category = kCatFire;
      f.interval = code.value1;
      f.count = code.value2;
      break;
    case 0x20:
      if (const int i = FindItem(kCombinationItems, code); i >= 0) {
        f.category = kCatCombination;
        f.item = i;
      } else {
        DecodeKey(code, f);
      }
      break;
    case 0x30:
      f.category = kCatMedia;
      f.item = FindItem(kMediaItems, code);
      break;
    case 0x40:
      f.category = kCatSystem;
      f.item = FindItem(kSystemItems, code);
      break;
    case 0x70:
    case 0x71:
      f.category = kCatMacro;
      // Macro numbers run 0..count-1: a number at or past the count names none.
      if (code.value1 >= macroCount) break;
      f.item = code.value1;
      if (code.type == 0x71) {
        f.playMode = 4;
        f.repeat = code.value2;
      } else {
        f.playMode = code.value2 < 4 ? code.value2 : -1;
      }
      break;
    case 0x72:
      f.category = kCatGun;
      f.item = code.value1 < kGunKeys ? code.value1 : -1;
      break;
    case 0xB0:
      f.category = kCatCombination;
      break;
    default:
      // The grid's own special keys (Fn, the D0 keys) open the grid.
      if (const int g = FindGridKey(code); g >= 0) {
        f.category = kCatKey;
        f.gridKey = g;
        f.modifierCheck = 0;
      }
      break;
  }
  return f;
}

AssignmentCode EncodeAssignment(const AssignmentFields& f, const AssignmentCode& defaultCode,
                                const AssignmentCode& stored, int macroCount) {
  auto byte = [](int v) { return static_cast<uint8_t>(v & 0xFF); };
  switch (f.category) {
    case kCatMouseButton: return ItemCode(kMouseButtonItems, f.item, stored);
    case kCatSwing:
    case kCatWheel: {
      const int delay = kNibbleRange.Clamp(f.delay);
      const int speed = kNibbleRange.Clamp(f.speed);
      const int count = kSwingCountRange.Clamp(f.count);
      uint8_t v2 = byte(count);
      if (f.direction == 1) v2 = byte((f.category == kCatSwing ? count : 128 - count) | 0x80);
      return {static_cast<uint8_t>(f.category == kCatSwing ? 0x11 : 0x12), byte(delay * 16 + speed), v2};
    }
    case kCatResolution: return ItemCode(kResolutionItems, f.item, stored);
    case kCatFire:
      return {0x14, byte(kFireIntervalRange.Clamp(f.interval)), byte(kFireCountRange.Clamp(f.count))};
    case kCatKey: return EncodeKey(f, stored);
    case kCatMedia: return ItemCode(kMediaItems, f.item, stored);
    case kCatSystem: return ItemCode(kSystemItems, f.item, stored);
    case kCatMacro:
      if (f.item < 0 || f.item >= macroCount || f.item > 0xFF) return stored;
      if (f.playMode == 4) return {0x71, byte(f.item), byte(kRepeatRange.Clamp(f.repeat))};
      return {0x70, byte(f.item), byte(f.playMode >= 0 && f.playMode < 4 ? f.playMode : 0)};
    case kCatGun:
      if (f.item < 0 || f.item >= kGunKeys) return stored;
      return {0x72, byte(f.item), 0};
    case kCatCombination: return ItemCode(kCombinationItems, f.item, stored);
    default: return defaultCode;
  }
}

std::string NameOfCode(const AssignmentCode& code) {
  if (const int i = FindItem(kMouseButtonItems, code); i >= 0) return kMouseButtonItems[static_cast<std::size_t>(i)].textId;
  if (const int i = FindItem(kResolutionItems, code); i >= 0) return kResolutionItems[static_cast<std::size_t>(i)].textId;
  if (const int i = FindItem(kSystemItems, code); i >= 0) return kSystemItems[static_cast<std::size_t>(i)].textId;
  if (const int i = FindItem(kMediaItems, code); i >= 0) return kMediaItems[static_cast<std::size_t>(i)].textId;
  if (const int i = FindItem(kCombinationItems, code); i >= 0) return kCombinationItems[static_cast<std::size_t>(i)].textId;
  if (code.type == 0x20) {
    if (code.value1 == 0 && code.value2 != 0) {
      for (std::size_t i = 8; i < kKeyboardKeyTable.size(); ++i)
        if (kKeyboardKeyTable[i].usage == code.value2) return std::string("keyboard_key_") + kKeyboardKeyTable[i].word;
    } else if (code.value2 == 0) {
      for (std::size_t i = 0; i < 8; ++i)
        if (kKeyboardKeyTable[i].modifier == code.value1) return std::string("keyboard_key_") + kKeyboardKeyTable[i].word;
    }
  }
  for (const CodeItem& item : kLabelItems)
    if (item.code == code) return item.textId;
  if (code.type == 0x11) return (code.value2 & 0x80) ? "mouse_key_right_Swing" : "mouse_key_left_Swing";
  if (code.type == 0x12) return (code.value2 & 0x80) ? "mouse_key_down_Swing" : "mouse_key_up_Swing";
  return {};
}

std::optional<AssignmentCode> CodeOfName(std::string_view textId) {
  const std::string id(textId);
  auto same = [&](const char* s) { return ::strcasecmp(s, id.c_str()) == 0; };
  for (const auto& i : kMouseButtonItems) if (same(i.textId)) return i.code;
  for (const auto& i : kResolutionItems) if (same(i.textId)) return i.code;
  for (const auto& i : kSystemItems) if (same(i.textId)) return i.code;
  for (const auto& i : kMediaItems) if (same(i.textId)) return i.code;
  for (const auto& i : kCombinationItems) if (same(i.textId)) return i.code;
  for (const auto& i : kLabelItems) if (same(i.textId)) return i.code;
  constexpr std::string_view kKeyPrefix = "keyboard_key_";
  if (id.size() > kKeyPrefix.size() && ::strncasecmp(id.c_str(), kKeyPrefix.data(), kKeyPrefix.size()) == 0)
    return ParseKeyChord(std::string_view(id).substr(kKeyPrefix.size()));
  return std::nullopt;
}

std::string FormatCode(const AssignmentCode& code) {
  char text[16];
  std::snprintf(text, sizeof text, "%02X %02X %02X", code.type, code.value1, code.value2);
  return text;
}

std::optional<AssignmentCode> ParseCodeNotation(std::string_view text) {
  std::string digits;
  std::string_view t = text;
  if (t.size() > 2 && t[0] == '0' && (t[1] == 'x' || t[1] == 'X')) t.remove_prefix(2);
  // Separators only between whole bytes.
  const bool separated = t.find_first_of(" :") != std::string_view::npos;
  std::size_t group = 0;
  for (char c : t) {
    if (c == ' ' || c == ':') {
      if (group != 2) return std::nullopt;
      group = 0;
      continue;
    }
    if (!std::isxdigit(static_cast<unsigned char>(c))) return std::nullopt;
    digits += c;
    ++group;
  }
  if (digits.size() != 6 || (separated && group != 2)) return std::nullopt;
  return AssignmentCode::FromInt(static_cast<uint32_t>(std::stoul(digits, nullptr, 16)));
}

std::optional<AssignmentCode> ParseKeyChord(std::string_view text) {
  static constexpr std::pair<const char*, uint8_t> kModifiers[] = {
      {"Ctrl", 0x01}, {"Shift", 0x02}, {"Alt", 0x04}, {"Win", 0x08}};
  AssignmentCode code{0x20, 0, 0};
  while (!text.empty()) {
    // The rest is one key word ("Num +" holds a plus of its own) ...
    if (const int row = FindKeyboardWord(text); row >= 0) {
      const KeyboardKeyRow& r = kKeyboardKeyTable[static_cast<std::size_t>(row)];
      code.value1 = static_cast<uint8_t>(code.value1 | r.modifier);
      code.value2 = r.usage;
      return code;
    }
    // ... or starts with a modifier and a plus.
    const std::size_t plus = text.find('+');
    if (plus == std::string_view::npos) return std::nullopt;
    const std::string part(text.substr(0, plus));
    text = text.substr(plus + 1);
    bool known = false;
    for (const auto& [word, bit] : kModifiers) {
      if (::strcasecmp(word, part.c_str()) != 0) continue;
      code.value1 = static_cast<uint8_t>(code.value1 | bit);
      known = true;
    }
    if (!known) return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace korvale
