#pragma once
// The in-memory records of a profile's sections. Byte layouts are fixed: the
// device pages hand LightInfo and the audio lighting record around as 32-bit
// words, and key records travel to the key assignment editor as they are.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace korvale {

// A key code: type, value 1, value 2. In JSON: type << 16 | value1 << 8 | value2.
struct AssignmentCode {
  uint8_t type = 0;
  uint8_t value1 = 0;
  uint8_t value2 = 0;

  static constexpr AssignmentCode FromInt(uint32_t v) {
    return {static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
  }
  constexpr uint32_t ToInt() const { return uint32_t{type} << 16 | uint32_t{value1} << 8 | value2; }
  friend constexpr bool operator==(const AssignmentCode&, const AssignmentCode&) = default;
};
static_assert(sizeof(AssignmentCode) == 3);

struct LightInfo {
  uint8_t selectItem = 0;         // "SelectItem"
  uint8_t light = 0;              // "Light"
  uint8_t speed = 0;              // "Speed"
  uint8_t fx = 0;                 // "Fx"
  uint8_t multiColor = 0;         // "MultiColor"
  uint8_t red = 0;                // "Red"
  uint8_t green = 0;              // "Green"
  uint8_t blue = 0;               // "Blue"
  uint8_t reserved[3] = {};       // not stored
  uint8_t zzccLedMode = 0;        // "ZZCCLedMode"
  uint8_t customGroup = 0;        // "CustomGroup"
  uint8_t oldLedmode = 0;         // "OldLedmode"
  uint8_t voiceLedmodeSwitch = 0; // "byVoiceLedmodeSwith"
  uint8_t voiceLedmode = 0;       // "byVoiceLedmode"
  uint8_t voiceSensitivity = 0;   // "byVoiceSensitivity"

  // Five little-endian words: bytes 0..3, 4..7, 8..11, 12..15, byte 16.
  std::array<uint32_t, 5> ToWords() const;
  static LightInfo FromWords(const std::array<uint32_t, 5>& words);
  friend bool operator==(const LightInfo&, const LightInfo&) = default;
};
static_assert(sizeof(LightInfo) == 17);

struct AudioLightInfo {
  uint8_t audioMode = 0;      // "AudioMode"
  uint8_t bkRed = 0;          // "BkColorR"
  uint8_t bkGreen = 0;        // "BkColorG"
  uint8_t bkBlue = 0;         // "BkColorB"
  uint8_t fgRed = 0;          // "FgColorR"
  uint8_t fgGreen = 0;        // "FgColorG"
  uint8_t fgBlue = 0;         // "FgColorB"
  uint8_t sevenColor = 0;     // "7ColorFlags"
  uint8_t colorType = 0;      // "ColorTypeFlags"

  // Three words: mode and background, foreground and 7ColorFlags, ColorTypeFlags.
  std::array<uint32_t, 3> ToWords() const;
  static AudioLightInfo FromWords(const std::array<uint32_t, 3>& words);
  friend bool operator==(const AudioLightInfo&, const AudioLightInfo&) = default;
};
static_assert(sizeof(AudioLightInfo) == 9);

// One per LED or zone of the profile's "LightList".
struct LightListEntry {
  uint8_t mode = 0;        // "LEDREGMode"
  uint8_t brightness = 0;  // "LEDBrightness"
  uint8_t speed = 0;       // "LEDSpeed"
  uint8_t direction = 0;   // "LEDDirection" (flag)
  uint8_t multiColor = 0;  // "LEDMultiColor" (flag)
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  uint8_t reserved1[2] = {};
  uint8_t valid = 0;  // 1 when the array element was present
  uint8_t reserved2[6] = {};
  friend bool operator==(const LightListEntry&, const LightListEntry&) = default;
};
static_assert(sizeof(LightListEntry) == 17);

// One step of a ".light" effect file.
struct LedEffectStep {
  uint8_t mode = 0;  // "LEDREGMode"
  uint8_t brightness = 0;
  uint8_t speed = 0;
  uint8_t direction = 0;
  uint8_t multiColor = 0;
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  uint8_t unused[12] = {};
  int32_t time = 0;   // "Time", milliseconds
  int32_t cycle = 0;  // "Cyle"
  friend bool operator==(const LedEffectStep&, const LedEffectStep&) = default;
};
static_assert(sizeof(LedEffectStep) == 28);

struct KeyPart {
  uint16_t keyIndex = 0;
  AssignmentCode code;
  uint8_t reserved = 0;
  friend bool operator==(const KeyPart&, const KeyPart&) = default;
};
struct KeyRecord {
  KeyPart fn;          // "FnAssignment"
  KeyPart normal;      // "Assignment"
  KeyPart defaultKey;  // "DefaultAssignment"
  friend bool operator==(const KeyRecord&, const KeyRecord&) = default;
};
static_assert(sizeof(KeyPart) == 6);
static_assert(sizeof(KeyRecord) == 18);

struct LedColour {
  uint8_t red = 0;
  uint8_t green = 0;
  uint8_t blue = 0;
  uint8_t alpha = 0;  // the intensity
  friend bool operator==(const LedColour&, const LedColour&) = default;
};
static_assert(sizeof(LedColour) == 4);

// Keyboard "SystemStages": six 16-bit values in three words, low half first;
// word 3 is kept in memory only.
struct KeyboardSystemStages {
  std::array<uint32_t, 4> words{};
  uint16_t Repeat() const { return static_cast<uint16_t>(words[0]); }
  uint16_t RepeatDelay() const { return static_cast<uint16_t>(words[0] >> 16); }
  uint16_t Key6Flag() const { return static_cast<uint16_t>(words[1]); }
  uint16_t PollingRate() const { return static_cast<uint16_t>(words[1] >> 16); }
  uint16_t WFlag() const { return static_cast<uint16_t>(words[2]); }
  uint16_t WinFlag() const { return static_cast<uint16_t>(words[2] >> 16); }
  friend bool operator==(const KeyboardSystemStages&, const KeyboardSystemStages&) = default;
};

// Nine bytes of data; the device record is encoded field by field, so the
// struct keeps its natural alignment (one byte of tail padding).
struct DpiStage {
  uint8_t enabled = 0;     // "StageActive"
  uint8_t separateXY = 0;  // "StageXY"
  uint16_t x = 0;          // "StageDPIX"
  uint16_t y = 0;          // "StageDPIY"
  uint8_t red = 0;         // "StageColorR"
  uint8_t green = 0;       // "StageColorG"
  uint8_t blue = 0;        // "StageColorB"
  friend bool operator==(const DpiStage&, const DpiStage&) = default;
};
static_assert(sizeof(DpiStage) == 10 && offsetof(DpiStage, blue) == 8);

// Mouse "SystemStages" and "ReportStages"."StageActive", low half first.
struct MouseSystemStages {
  std::array<uint32_t, 3> words{};
  friend bool operator==(const MouseSystemStages&, const MouseSystemStages&) = default;
};

struct CorrectEntry {
  uint8_t pixThresh = 0;  // "CorrectPixThresh"
  uint8_t minSq = 0;      // "CorrectMinSq"
  uint8_t selected = 0;   // "CorrectSelect"
  std::string name;       // "CorrectName"
  friend bool operator==(const CorrectEntry&, const CorrectEntry&) = default;
};

// Headset "SystemSetStages", in file order.
struct HeadsetSystemSetStages {
  int32_t magicEnable = 0;       // "MagicEnable"
  int32_t magicType = 0;         // "MagicType"
  int32_t eqType = 0;            // "EqType"
  int32_t customEqSelect = 0;    // "CustomEqSeletIndex"
  int32_t micInSelect = 0;       // "MicInSelect"
  int32_t micInValue = 0;        // "MicInValue"
  int32_t micMonitorSelect = 0;  // "MicMoniterSelect"
  int32_t micMonitorValue = 0;   // "MicMoniterValue"
  friend bool operator==(const HeadsetSystemSetStages&, const HeadsetSystemSetStages&) = default;
};
static_assert(sizeof(HeadsetSystemSetStages) == 32);

}  // namespace korvale
