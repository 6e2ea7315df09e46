#pragma once
// Key tables as the devices keep them (three bytes per position) and the
// macro numbering of a download, shared by the keyboard and the mouse.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <vector>

#include "profiles/profile_records.h"
#include "protocol/commands.h"

namespace korvale {

inline constexpr uint8_t kCodeTypeMacro = 0x70;
inline constexpr uint8_t kCodeTypeMacroRepeat = 0x71;

inline bool IsMacroCode(const AssignmentCode& c) {
  return c.type == kCodeTypeMacro || c.type == kCodeTypeMacroRepeat;
}

using KeyTable = std::array<uint8_t, proto::kKeyTableSize>;

inline AssignmentCode CodeAt(const KeyTable& t, int position) {
  const auto at = static_cast<std::size_t>(position) * 3;
  return {t[at], t[at + 1], t[at + 2]};
}
inline void PutCode(KeyTable& t, int position, const AssignmentCode& c) {
  const auto at = static_cast<std::size_t>(position) * 3;
  t[at] = c.type;
  t[at + 1] = c.value1;
  t[at + 2] = c.value2;
}

// The index of macro `number` in the download list, appended when new: the
// device numbers its macros by download order.
inline uint8_t DownloadIndex(std::vector<uint8_t>& list, uint8_t number) {
  auto it = std::find(list.begin(), list.end(), number);
  if (it == list.end()) {
    list.push_back(number);
    return static_cast<uint8_t>(list.size() - 1);
  }
  return static_cast<uint8_t>(it - list.begin());
}

// A key record as the main window passes it: four words and a half word, 18 bytes.
inline KeyRecord KeyRecordFromWords(const std::array<uint32_t, 4>& words, uint16_t half) {
  uint8_t bytes[sizeof(KeyRecord)];
  static_assert(sizeof bytes == 4 * sizeof(uint32_t) + sizeof(uint16_t));
  std::memcpy(bytes, words.data(), 16);
  std::memcpy(bytes + 16, &half, 2);
  KeyRecord r;
  std::memcpy(&r, bytes, sizeof bytes);
  return r;
}

}  // namespace korvale
