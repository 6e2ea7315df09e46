#include "emulator/event_image.h"

#include <cstdio>

namespace korvale::emu {
namespace {

uint16_t U16(std::span<const uint8_t> a, std::size_t at) {
  return static_cast<uint16_t>(a[at] | (a[at + 1] << 8));
}

bool PlayableKind(uint8_t kind) {
  switch (kind) {
    case 1: case 2: case 3: case 4: case 5: case 9: case 10: return true;
    default: return false;
  }
}

}  // namespace

DecodedImage DecodeEventImage(std::span<const uint8_t> area) {
  DecodedImage d;
  auto fail = [&](std::string why) {
    d.fault = std::move(why);
    d.entries.clear();
    return d;
  };
  if (area.size() < 16) return fail("the area is smaller than a header");
  if (area[0] != 0xAA || area[1] != 0x55) return fail("no signature (empty or unfinished image)");
  d.size = U16(area, 2);
  const std::size_t n = U16(area, 4);
  if (d.size < 16 || d.size > area.size())
    return fail("size " + std::to_string(d.size) + " does not fit the area of " +
                std::to_string(area.size()) + " bytes");
  std::size_t expected = 16 + 2 * n;
  if (expected > d.size) return fail("the offset table of " + std::to_string(n) + " entries passes the size");
  for (std::size_t i = 0; i < n; ++i) {
    const std::size_t at = U16(area, 16 + 2 * i);
    if (at != expected)
      return fail("entry " + std::to_string(i) + " starts at " + std::to_string(at) + ", expected " +
                  std::to_string(expected));
    if (at + 4 > d.size) return fail("entry " + std::to_string(i) + " passes the size");
    const std::size_t count = U16(area, at);
    const std::size_t end = at + 4 + 4 * count;
    if (end > d.size) return fail("entry " + std::to_string(i) + "'s events pass the size");
    std::vector<PlayedEvent> events;
    for (std::size_t k = 0; k < count; ++k) {
      const std::size_t e = at + 4 + 4 * k;
      PlayedEvent ev{U16(area, e), static_cast<uint8_t>(area[e + 2] & 0x7F), (area[e + 2] & 0x80) != 0,
                     area[e + 3]};
      if (!PlayableKind(ev.kind))
        return fail("entry " + std::to_string(i) + " event " + std::to_string(k) + ": unknown type " +
                    std::to_string(ev.kind));
      events.push_back(ev);
    }
    d.entries.push_back(std::move(events));
    expected = end;
  }
  if (expected != d.size)
    return fail("size " + std::to_string(d.size) + " but the blocks end at " + std::to_string(expected));
  return d;
}

std::vector<std::string> DescribeEventImage(const DecodedImage& image) {
  std::vector<std::string> lines;
  if (!image.valid()) {
    lines.push_back("malformed: " + image.fault);
    return lines;
  }
  for (std::size_t i = 0; i < image.entries.size(); ++i) {
    lines.push_back("entry " + std::to_string(i) + ": " + std::to_string(image.entries[i].size()) + " events");
    for (const PlayedEvent& e : image.entries[i]) {
      char text[80];
      std::snprintf(text, sizeof text, "  type %u %s button %u delay %u", unsigned{e.kind},
                    e.down ? "down" : "up", unsigned{e.button}, unsigned{e.delay});
      lines.push_back(text);
    }
  }
  return lines;
}

}  // namespace korvale::emu
