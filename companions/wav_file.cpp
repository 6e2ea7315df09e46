#include "companions/wav_file.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>

namespace korvale {

namespace {
// A minute of 8 channels at 192 kHz is far beyond any test tone.
constexpr std::size_t kMaxFileBytes = 512u << 20;

std::uint32_t Le32(const std::uint8_t* p) { return p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t{p[3]} << 24; }
std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | p[1] << 8); }

float Sample(const std::uint8_t* p, int bits, bool isFloat) {
  if (isFloat) {
    float f;
    std::memcpy(&f, p, 4);
    return std::isfinite(f) ? std::clamp(f, -1.0f, 1.0f) : 0.0f;
  }
  switch (bits) {
    case 8: return (static_cast<int>(p[0]) - 128) / 128.0f;
    case 16: return static_cast<std::int16_t>(Le16(p)) / 32768.0f;
    default: return static_cast<std::int32_t>(Le32(p)) / 2147483648.0f;
  }
}

bool Fail(std::string* error, const char* why) {
  if (error != nullptr) *error = why;
  return false;
}
}  // namespace

std::optional<WavAudio> ParseWav(const std::uint8_t* bytes, std::size_t size, std::string* error) {
  if (bytes == nullptr || size < 12 || std::memcmp(bytes, "RIFF", 4) != 0 || std::memcmp(bytes + 8, "WAVE", 4) != 0) {
    Fail(error, "not a RIFF WAVE file");
    return std::nullopt;
  }
  int format = 0, channels = 0, rate = 0, bits = 0, blockAlign = 0;
  const std::uint8_t* data = nullptr;
  std::size_t dataBytes = 0;
  std::size_t pos = 12;
  while (pos + 8 <= size) {
    const std::uint8_t* chunk = bytes + pos;
    const std::size_t length = Le32(chunk + 4);
    const std::size_t available = size - pos - 8;
    if (std::memcmp(chunk, "fmt ", 4) == 0) {
      if (length < 16 || length > available) {
        Fail(error, "format chunk too short");
        return std::nullopt;
      }
      format = Le16(chunk + 8);
      channels = Le16(chunk + 10);
      rate = static_cast<int>(std::min<std::uint32_t>(Le32(chunk + 12), 0x7FFFFFFF));
      blockAlign = Le16(chunk + 20);
      bits = Le16(chunk + 22);
      // WAVE_FORMAT_EXTENSIBLE names the real format in its sub-format's first two bytes.
      if (format == 0xFFFE && length >= 26) format = Le16(chunk + 32);
    } else if (std::memcmp(chunk, "data", 4) == 0) {
      data = chunk + 8;
      // Streams written before their length was known claim more than they hold.
      dataBytes = std::min(length, available);
      break;
    }
    if (length > available) break;
    pos += 8 + length + (length & 1);
  }
  const bool isFloat = format == 3;
  if (format != 1 && !isFloat) {
    Fail(error, format == 0 ? "no format chunk" : "not PCM or float samples");
    return std::nullopt;
  }
  if (channels < 1 || channels > 8 || rate < 8000 || rate > 192000) {
    Fail(error, "unsupported channel count or sample rate");
    return std::nullopt;
  }
  if ((isFloat && bits != 32) || (!isFloat && bits != 8 && bits != 16 && bits != 24 && bits != 32) ||
      blockAlign != channels * bits / 8) {
    Fail(error, "unsupported sample size");
    return std::nullopt;
  }
  if (data == nullptr) {
    Fail(error, "no data chunk");
    return std::nullopt;
  }
  WavAudio out;
  out.sampleRate = rate;
  out.channels = channels;
  const std::size_t frames = dataBytes / static_cast<std::size_t>(blockAlign);
  const int width = bits / 8;
  out.mono.resize(frames);
  for (std::size_t f = 0; f < frames; ++f) {
    const std::uint8_t* p = data + f * static_cast<std::size_t>(blockAlign);
    float sum = 0;
    for (int c = 0; c < channels; ++c) {
      const std::uint8_t* s = p + c * width;
      if (bits == 24) {
        // Widen to 32 bits with the sample in the top three bytes.
        const std::uint8_t wide[4] = {0, s[0], s[1], s[2]};
        sum += static_cast<std::int32_t>(Le32(wide)) / 2147483648.0f;
      } else {
        sum += Sample(s, bits, isFloat);
      }
    }
    out.mono[f] = sum / static_cast<float>(channels);
  }
  return out;
}

std::optional<WavAudio> ReadWavFile(const std::filesystem::path& file, std::string* error) {
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    Fail(error, "cannot open the file");
    return std::nullopt;
  }
  std::vector<std::uint8_t> bytes;
  char buf[65536];
  while (in.read(buf, sizeof buf) || in.gcount() > 0) {
    bytes.insert(bytes.end(), buf, buf + in.gcount());
    if (bytes.size() > kMaxFileBytes) {
      Fail(error, "file too large");
      return std::nullopt;
    }
  }
  return ParseWav(bytes.data(), bytes.size(), error);
}

}  // namespace korvale
