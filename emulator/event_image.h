#pragma once
// How the firmware reads its macro and shoot areas: a header with the
// signature, the image size and the entry count, an offset per entry, and
// blocks of 4-byte events. Decoding checks every field the firmware would
// trust, so a test (or a person at korvale-emu's prompt) sees exactly what
// the device would play or why it would play nothing.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace korvale::emu {

struct PlayedEvent {
  uint16_t delay = 0;
  uint8_t kind = 0;  // low seven bits of the type byte
  bool down = false;
  uint8_t button = 0;
};

struct DecodedImage {
  std::string fault;  // empty: a valid image
  std::size_t size = 0;
  std::vector<std::vector<PlayedEvent>> entries;
  bool valid() const { return fault.empty(); }
};

DecodedImage DecodeEventImage(std::span<const uint8_t> area);

// One line per entry and per event, as korvale-emu prints them.
std::vector<std::string> DescribeEventImage(const DecodedImage& image);

}  // namespace korvale::emu
