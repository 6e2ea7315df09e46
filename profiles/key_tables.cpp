#include "profiles/key_tables.h"

#include <strings.h>

#include <string>

namespace korvale {

int FindKeyboardWord(std::string_view word) {
  const std::string w(word);
  for (std::size_t i = 0; i < kKeyboardKeyTable.size(); ++i)
    if (::strcasecmp(kKeyboardKeyTable[i].word, w.c_str()) == 0) return static_cast<int>(i);
  return -1;
}

int FindKeyboardEvdev(uint16_t evdev) {
  for (std::size_t i = 0; i < kKeyboardKeyTable.size(); ++i)
    if (kKeyboardKeyTable[i].evdev == evdev) return static_cast<int>(i);
  return -1;
}

std::string MacroKeyTextId(uint8_t type, bool down, uint8_t button, bool& keyboardStyle) {
  keyboardStyle = type == 9 || type == 10;
  if (type == 10) {
    for (std::size_t i = 8; i < kKeyboardKeyTable.size(); ++i) {
      const auto& r = kKeyboardKeyTable[i];
      if (r.usage == button && r.modifier == 0 && r.category == 0x20) return std::string("keyboard_key_") + r.word;
    }
  } else if (type == 9) {
    for (std::size_t i = 0; i < 8; ++i)
      if (kKeyboardKeyTable[i].modifier == button && kKeyboardKeyTable[i].usage == 0) return std::string("keyboard_key_") + kKeyboardKeyTable[i].word;
  } else if (type == 1) {
    for (std::size_t i = 0; i < 10; ++i)
      if (kMouseActionTable[i].button == button) return kMouseActionTable[i].textId;
  } else if (type == 4 || type == 5) {
    const uint8_t typeByte = static_cast<uint8_t>(type | (down ? 0x80 : 0));
    for (std::size_t i = 10; i < 14; ++i)
      if (kMouseActionTable[i].typeByte == typeByte) return kMouseActionTable[i].textId;
  }
  return {};
}

}  // namespace korvale
