#pragma once
// What a key or button does, as the key assignment editor shows it: the
// twelve function categories, their item tables, and the two directions
// between an AssignmentCode and the editor's fields. Pure functions over
// constant tables, shared by the editor, the device pages' labels and
// korvalectl.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "profiles/profile_records.h"

namespace korvale {

enum AssignmentCategory : int {
  kCatDefault = 0,
  kCatMouseButton = 1,
  kCatSwing = 2,
  kCatWheel = 3,
  kCatResolution = 4,
  kCatFire = 5,
  kCatKey = 6,
  kCatMedia = 7,
  kCatSystem = 8,
  kCatMacro = 9,
  kCatGun = 10,
  kCatCombination = 11,
};
inline constexpr int kAssignmentCategories = 12;
inline constexpr int kGridKeys = 126;
inline constexpr int kModifierChecks = 5;  // none, Ctrl, Shift, Alt, Win
inline constexpr int kGunKeys = 4;
inline constexpr int kMacroPlayModes = 5;  // 0..3 play modes, 4 repeat a number of times

// An item of a category's combo: its code and the text ID naming it.
struct CodeItem {
  AssignmentCode code;
  const char* textId;
};

inline constexpr std::array<CodeItem, 5> kMouseButtonItems = {{
    {{0x10, 0x01, 0}, "mouse_key_left"},
    {{0x10, 0x04, 0}, "mouse_key_middle"},
    {{0x10, 0x02, 0}, "mouse_key_right"},
    {{0x10, 0x10, 0}, "mouse_key_forward"},
    {{0x10, 0x08, 0}, "mouse_key_back"},
}};
inline constexpr std::array<CodeItem, 3> kResolutionItems = {{
    {{0x13, 0x01, 0}, "mouse_key_DPI_add"},
    {{0x13, 0x02, 0}, "mouse_key_DPI_sub"},
    {{0x13, 0x03, 0}, "mouse_key_DPI_loop"},
}};
inline constexpr std::array<CodeItem, 3> kSystemItems = {{
    {{0x40, 0x01, 0}, "system_power"},
    {{0x40, 0x02, 0}, "system_sleep"},
    {{0x40, 0x04, 0}, "system_wake_up"},
}};
// Value 1 and 2 are the HID consumer usage, low byte first.
inline constexpr std::array<CodeItem, 18> kMediaItems = {{
    {{0x30, 0x83, 0x01}, "media_text"},    {{0x30, 0xCD, 0x00}, "media_play"},
    {{0x30, 0xB7, 0x00}, "media_stop"},    {{0x30, 0xB6, 0x00}, "media_prev"},
    {{0x30, 0xB5, 0x00}, "media_next"},    {{0x30, 0xEA, 0x00}, "media_vol_sub"},
    {{0x30, 0xE9, 0x00}, "media_vol_add"}, {{0x30, 0xE2, 0x00}, "media_mute"},
    {{0x30, 0x23, 0x02}, "web_text"},      {{0x30, 0x27, 0x02}, "web_refresh"},
    {{0x30, 0x26, 0x02}, "wed_stop"},      {{0x30, 0x24, 0x02}, "wed_back"},
    {{0x30, 0x25, 0x02}, "wed_forward"},   {{0x30, 0x2A, 0x02}, "wed_favorite"},
    {{0x30, 0x21, 0x02}, "web_search"},    {{0x30, 0x94, 0x01}, "media_mypc"},
    {{0x30, 0x92, 0x01}, "media_calc"},    {{0x30, 0x8A, 0x01}, "media_mail"},
}};
// Right Ctrl with a key.
inline constexpr std::array<CodeItem, 11> kCombinationItems = {{
    {{0x20, 0x10, 0x12}, "custem_open"},  {{0x20, 0x10, 0x11}, "custem_new"},
    {{0x20, 0x10, 0x1D}, "custem_undo"},  {{0x20, 0x10, 0x16}, "custem_save"},
    {{0x20, 0x10, 0x06}, "custem_copy"},  {{0x20, 0x10, 0x1B}, "custem_cut"},
    {{0x20, 0x10, 0x19}, "custem_paste"}, {{0x20, 0x10, 0x09}, "custem_find"},
    {{0x20, 0x10, 0x04}, "custem_select_all"}, {{0x20, 0x10, 0x2D}, "custem_zoom_out"},
    {{0x20, 0x10, 0x2E}, "custem_magnify"},
}};
// The on-screen keyboard of the key category, by button index.
extern const std::array<AssignmentCode, kGridKeys> kGridCodes;

// Modifier bits of each check group (left | right) and the bit a check adds.
inline constexpr std::array<uint8_t, kModifierChecks> kModifierGroupMask = {0x00, 0x11, 0x22, 0x44, 0x88};
inline constexpr std::array<uint8_t, kModifierChecks> kModifierCheckBit = {0x00, 0x01, 0x02, 0x04, 0x08};

// The ranges the edit boxes hold: one nibble for delay and speed, seven bits
// for swing and wheel counts (bit 7 is the direction), a byte for the rest.
struct FieldRange {
  int min;
  int max;
  int Clamp(int v) const { return v < min ? min : (v > max ? max : v); }
};
inline constexpr FieldRange kNibbleRange{0, 15};
inline constexpr FieldRange kSwingCountRange{1, 127};
inline constexpr FieldRange kFireIntervalRange{1, 255};
inline constexpr FieldRange kFireCountRange{1, 255};
inline constexpr FieldRange kRepeatRange{1, 255};

// The editor's fields as numbers. -1 in an index: nothing selected.
struct AssignmentFields {
  int category = -1;  // -1: no category knows the code
  int item = -1;      // the category's combo item (1, 4, 7, 8, 9, 10, 11)
  int direction = 0;  // swing and wheel: 0 or 1
  int count = 1;      // swing, wheel and fire count
  int delay = 0;      // swing and wheel
  int speed = 0;
  int interval = 50;  // fire
  int gridKey = -1;   // key category
  int modifierCheck = -1;
  uint8_t modifierBits = 0;  // the modifier bits a code carried (left or right)
  int playMode = -1;         // macro
  int repeat = 1;
  friend bool operator==(const AssignmentFields&, const AssignmentFields&) = default;
};

// The fields that show `code`; category 0 when it is the key's default.
AssignmentFields DecodeAssignment(const AssignmentCode& code, const AssignmentCode& defaultCode, int macroCount);
// The code the fields form. Numbers are clamped to their ranges; what a
// category cannot form from its fields (no macro, no item) keeps `stored`.
AssignmentCode EncodeAssignment(const AssignmentFields& fields, const AssignmentCode& defaultCode,
                                const AssignmentCode& stored, int macroCount);

// The text ID naming a code, "" when no table names it.
std::string NameOfCode(const AssignmentCode& code);
// The code named by a text ID of the tables above ("media_play",
// "mouse_key_left", "keyboard_key_A"); none when unknown.
std::optional<AssignmentCode> CodeOfName(std::string_view textId);

// "20 10 06": three hexadecimal bytes, the notation of the code tables.
std::string FormatCode(const AssignmentCode& code);
// "20 10 06", "20:10:06", "0x201006" or "201006"; none when malformed.
std::optional<AssignmentCode> ParseCodeNotation(std::string_view text);
// A key with modifiers: "A", "Ctrl+C", "RShift", "Ctrl+Shift+F5" (key words of
// the keyboard key table; Ctrl, Shift, Alt and Win are the left keys).
std::optional<AssignmentCode> ParseKeyChord(std::string_view text);

// The grid button of a key-category code, -1 when the grid has none.
int FindGridKey(const AssignmentCode& code);

}  // namespace korvale
