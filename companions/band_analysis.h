#pragma once
// Spectrum frames from a stream of mono samples: a Hann-windowed real FFT
// (KissFFT) every hop, reduced to 25 bands of 5 log-spaced slices from 40 Hz
// to 16 kHz. A slice's level is its strongest bin in decibels below full
// scale, mapped from -60..0 dB to 0..kFullLevel (louder stays at the top).
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace korvale {

struct SpectrumFrame {
  static constexpr int kBands = 25;
  static constexpr int kSlicesPerBand = 5;
  static constexpr int kValues = kBands * kSlicesPerBand;
  std::array<std::int32_t, kValues> levels{};  // 0..kFullLevel
  // Red, green, blue of the keyboard's audio colour mode (the style levels
  // scaled by loudness), loudness 0..kFullLevel, the loudest band, 0.
  std::array<std::int32_t, 6> colours{};
};

class CSpectrumAnalyser {
 public:
  static constexpr int kFftSize = 2048;
  static constexpr int kFramesPerSecond = 60;
  static constexpr std::int32_t kFullLevel = 1000;
  static constexpr double kFloorDb = -60.0;
  static constexpr double kLowHz = 40.0;
  static constexpr double kHighHz = 16000.0;

  explicit CSpectrumAnalyser(int sampleRate);
  ~CSpectrumAnalyser();
  CSpectrumAnalyser(const CSpectrumAnalyser&) = delete;
  CSpectrumAnalyser& operator=(const CSpectrumAnalyser&) = delete;

  int SampleRate() const { return rate_; }
  int HopSize() const { return hop_; }
  // Style colour levels 0..9 each; values outside are clamped. Any thread.
  void SetColourLevels(int r, int g, int b);
  // Forgets the samples gathered so far; the next frame comes when it would have.
  void Reset();
  // Feeds samples; calls onFrame once per completed hop.
  void Push(const float* samples, std::size_t count, const std::function<void(const SpectrumFrame&)>& onFrame);
  // The band (0..24) a frequency falls in, -1 outside 40 Hz..16 kHz.
  static int BandOf(double hz);

 private:
  SpectrumFrame Analyse();

  int rate_;
  int hop_;
  std::vector<float> window_;
  std::vector<float> ring_;  // the last kFftSize samples, the oldest at oldest_
  std::size_t oldest_ = 0;
  int sinceFrame_ = 0;
  std::array<std::atomic<int>, 3> colourLevels_{9, 9, 9};  // set from another thread
  std::array<std::pair<int, int>, SpectrumFrame::kValues> sliceBins_{};  // first, last bin
  struct Fft;
  std::unique_ptr<Fft> fft_;
};

}  // namespace korvale
