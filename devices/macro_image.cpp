#include "devices/macro_image.h"

namespace korvale {
namespace {

void PutU16(uint8_t* p, std::size_t v) {
  p[0] = static_cast<uint8_t>(v & 0xFF);
  p[1] = static_cast<uint8_t>((v >> 8) & 0xFF);
}

}  // namespace

std::size_t MacroImageSize(std::span<const std::vector<MacroEvent>> entries) {
  std::size_t size = kMacroImageHeader + 6 * entries.size();
  for (const auto& e : entries) size += 4 * e.size();
  return size;
}

void EncodeMacroEvent(const MacroEvent& e, uint8_t* out4) {
  PutU16(out4, e.delay);
  out4[2] = static_cast<uint8_t>((e.type & 0x7F) | (e.down ? 0x80 : 0x00));
  out4[3] = e.button;
}

std::optional<std::vector<uint8_t>> EncodeMacroImage(std::span<const std::vector<MacroEvent>> entries) {
  const std::size_t size = MacroImageSize(entries);
  if (size > kMaxMacroImage) return std::nullopt;
  std::vector<uint8_t> image(size, 0);
  image[0] = kMacroSignatureLo;
  image[1] = kMacroSignatureHi;
  PutU16(&image[2], size);
  PutU16(&image[4], entries.size());
  std::size_t block = kMacroImageHeader + 2 * entries.size();
  for (std::size_t i = 0; i < entries.size(); ++i) {
    PutU16(&image[kMacroImageHeader + 2 * i], block);
    PutU16(&image[block], entries[i].size());
    uint8_t* out = &image[block + 4];
    for (const MacroEvent& e : entries[i]) {
      EncodeMacroEvent(e, out);
      out += 4;
    }
    block += 4 + 4 * entries[i].size();
  }
  return image;
}

}  // namespace korvale
