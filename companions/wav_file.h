#pragma once
// RIFF WAVE files as the companion's stand-in for the sound server: PCM of
// 8, 16, 24 or 32 bits and 32-bit float, any channel count up to 8, mixed
// down to one channel of floats in [-1, 1].
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace korvale {

struct WavAudio {
  int sampleRate = 0;
  int channels = 0;
  std::vector<float> mono;
};

// Parses a whole file image; nullopt with a reason in *error when it is not
// a WAVE file we can read.
std::optional<WavAudio> ParseWav(const std::uint8_t* bytes, std::size_t size, std::string* error);
std::optional<WavAudio> ReadWavFile(const std::filesystem::path& file, std::string* error);

}  // namespace korvale
