// WAVE files are input from the command line: any bytes must parse or be
// refused with a reason, and a parsed file's samples must be finite and in range.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "companions/band_analysis.h"
#include "companions/wav_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string why;
  auto wav = korvale::ParseWav(data, size, &why);
  if (!wav) {
    if (why.empty()) std::abort();
    return 0;
  }
  for (float s : wav->mono)
    if (!std::isfinite(s) || s < -1.0f || s > 1.0f) std::abort();
  // The analyser takes whatever the file held.
  korvale::CSpectrumAnalyser analyser(wav->sampleRate);
  analyser.Push(wav->mono.data(), std::min<std::size_t>(wav->mono.size(), 8192), [](const korvale::SpectrumFrame& f) {
    for (std::int32_t v : f.levels)
      if (v < 0 || v > korvale::CSpectrumAnalyser::kFullLevel) std::abort();
  });
  return 0;
}
