#pragma once
// The memory image the keyboard and the mouse play macros and shoot
// sequences from: a 16-byte header (signature AA 55, total size, entry count,
// reserved), one 16-bit offset per entry, then per entry a block of its event
// count, two reserved bytes and 4-byte events (delay low, delay high, type
// with bit 7 for "down", button). All values little-endian.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "profiles/macro_files.h"

namespace korvale {

inline constexpr std::size_t kMacroImageHeader = 16;
inline constexpr uint8_t kMacroSignatureLo = 0xAA;
inline constexpr uint8_t kMacroSignatureHi = 0x55;
// Sizes and offsets are 16 bits on the device.
inline constexpr std::size_t kMaxMacroImage = 0xFFFF;

// 16 + 6 n + 4 × (all events): what the image of these entries takes.
std::size_t MacroImageSize(std::span<const std::vector<MacroEvent>> entries);

// The image, or nothing when it would not fit 16-bit sizes and offsets.
std::optional<std::vector<uint8_t>> EncodeMacroImage(std::span<const std::vector<MacroEvent>> entries);

// The four bytes of one event.
void EncodeMacroEvent(const MacroEvent& e, uint8_t* out4);

}  // namespace korvale
