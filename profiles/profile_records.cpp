#include "profiles/profile_records.h"

#include <cstring>

namespace korvale {
namespace {
template <std::size_t N, typename T>
std::array<uint32_t, N> Pack(const T& rec) {
  uint8_t bytes[N * 4] = {};
  std::memcpy(bytes, &rec, sizeof rec);
  std::array<uint32_t, N> w{};
  for (std::size_t i = 0; i < N; ++i)
    w[i] = uint32_t{bytes[4 * i]} | uint32_t{bytes[4 * i + 1]} << 8 | uint32_t{bytes[4 * i + 2]} << 16 |
           uint32_t{bytes[4 * i + 3]} << 24;
  return w;
}
template <typename T, std::size_t N>
T Unpack(const std::array<uint32_t, N>& w) {
  uint8_t bytes[N * 4];
  for (std::size_t i = 0; i < N; ++i)
    for (std::size_t k = 0; k < 4; ++k) bytes[4 * i + k] = static_cast<uint8_t>(w[i] >> (8 * k));
  T rec;
  std::memcpy(&rec, bytes, sizeof rec);
  return rec;
}
}  // namespace

std::array<uint32_t, 5> LightInfo::ToWords() const { return Pack<5>(*this); }
LightInfo LightInfo::FromWords(const std::array<uint32_t, 5>& words) { return Unpack<LightInfo>(words); }
std::array<uint32_t, 3> AudioLightInfo::ToWords() const { return Pack<3>(*this); }
AudioLightInfo AudioLightInfo::FromWords(const std::array<uint32_t, 3>& words) {
  return Unpack<AudioLightInfo>(words);
}

}  // namespace korvale
