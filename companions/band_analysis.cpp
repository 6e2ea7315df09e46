#include "companions/band_analysis.h"

#include <kissfft/kiss_fftr.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace korvale {

struct CSpectrumAnalyser::Fft {
  kiss_fftr_cfg cfg = nullptr;
  std::vector<kiss_fft_scalar> in;
  std::vector<kiss_fft_cpx> out;
  ~Fft() { kiss_fftr_free(cfg); }
};

namespace {
double SliceEdge(int i) {
  return CSpectrumAnalyser::kLowHz *
         std::pow(CSpectrumAnalyser::kHighHz / CSpectrumAnalyser::kLowHz, static_cast<double>(i) / SpectrumFrame::kValues);
}
}  // namespace

CSpectrumAnalyser::CSpectrumAnalyser(int sampleRate)
    : rate_(std::clamp(sampleRate, 8000, 192000)),
      hop_(rate_ / kFramesPerSecond),
      window_(kFftSize),
      ring_(kFftSize, 0.0f),
      fft_(std::make_unique<Fft>()) {
  fft_->cfg = kiss_fftr_alloc(kFftSize, 0, nullptr, nullptr);
  fft_->in.resize(kFftSize);
  fft_->out.resize(kFftSize / 2 + 1);
  for (int i = 0; i < kFftSize; ++i)
    window_[static_cast<std::size_t>(i)] =
        static_cast<float>(0.5 - 0.5 * std::cos(2 * std::numbers::pi * i / (kFftSize - 1)));
  const double binHz = static_cast<double>(rate_) / kFftSize;
  const int lastBin = kFftSize / 2;
  for (int s = 0; s < SpectrumFrame::kValues; ++s) {
    const double lo = SliceEdge(s), hi = SliceEdge(s + 1);
    int first = static_cast<int>(std::ceil(lo / binHz));
    int last = static_cast<int>(std::ceil(hi / binHz)) - 1;
    if (last < first) first = last = static_cast<int>(std::lround((lo + hi) / 2 / binHz));  // narrower than a bin
    sliceBins_[static_cast<std::size_t>(s)] = {std::clamp(first, 1, lastBin), std::clamp(last, 1, lastBin)};
  }
}

CSpectrumAnalyser::~CSpectrumAnalyser() = default;

void CSpectrumAnalyser::SetColourLevels(int r, int g, int b) {
  colourLevels_[0] = std::clamp(r, 0, 9);
  colourLevels_[1] = std::clamp(g, 0, 9);
  colourLevels_[2] = std::clamp(b, 0, 9);
}

void CSpectrumAnalyser::Reset() {
  // Frames keep their cadence: the capture paces itself by it.
  std::fill(ring_.begin(), ring_.end(), 0.0f);
  oldest_ = 0;
}

int CSpectrumAnalyser::BandOf(double hz) {
  if (!(hz >= kLowHz && hz < kHighHz)) return -1;
  const double pos = std::log(hz / kLowHz) / std::log(kHighHz / kLowHz) * SpectrumFrame::kValues;
  return std::clamp(static_cast<int>(pos) / SpectrumFrame::kSlicesPerBand, 0, SpectrumFrame::kBands - 1);
}

void CSpectrumAnalyser::Push(const float* samples, std::size_t count,
                             const std::function<void(const SpectrumFrame&)>& onFrame) {
  const std::size_t size = ring_.size();
  while (count > 0) {
    // Take at most what completes the current hop, and what fits before the ring's end.
    std::size_t take = std::min<std::size_t>(count, static_cast<std::size_t>(hop_ - sinceFrame_));
    take = std::min(take, size - oldest_);
    std::copy_n(samples, take, ring_.begin() + static_cast<std::ptrdiff_t>(oldest_));
    oldest_ = (oldest_ + take) % size;
    samples += take;
    count -= take;
    sinceFrame_ += static_cast<int>(take);
    if (sinceFrame_ == hop_) {
      sinceFrame_ = 0;
      if (onFrame) onFrame(Analyse());
    }
  }
}

SpectrumFrame CSpectrumAnalyser::Analyse() {
  // The ring from its oldest sample on, windowed.
  const std::size_t split = ring_.size() - oldest_;
  for (std::size_t k = 0; k < split; ++k) fft_->in[k] = ring_[oldest_ + k] * window_[k];
  for (std::size_t k = split; k < ring_.size(); ++k) fft_->in[k] = ring_[k - split] * window_[k];
  kiss_fftr(fft_->cfg, fft_->in.data(), fft_->out.data());
  // A full-scale sine's peak bin has magnitude (sum of the window) / 2.
  const double fullScale = (kFftSize - 1) / 4.0;
  SpectrumFrame f;
  double loudest = 0;
  int loudestBand = 0;
  std::array<double, SpectrumFrame::kBands> bandPeak{};
  for (int s = 0; s < SpectrumFrame::kValues; ++s) {
    const auto [first, last] = sliceBins_[static_cast<std::size_t>(s)];
    // The strongest bin by its squared magnitude: one logarithm, no root, per slice.
    double peak2 = 0;
    for (int b = first; b <= last; ++b) {
      const kiss_fft_cpx c = fft_->out[static_cast<std::size_t>(b)];
      const double r = c.r, i = c.i;
      peak2 = std::max(peak2, r * r + i * i);
    }
    const double db = peak2 > 0 ? 10 * std::log10(peak2 / (fullScale * fullScale)) : kFloorDb;
    const double level = std::clamp((db - kFloorDb) / -kFloorDb, 0.0, 1.0) * kFullLevel;
    f.levels[static_cast<std::size_t>(s)] = static_cast<std::int32_t>(std::lround(level));
    auto& bp = bandPeak[static_cast<std::size_t>(s / SpectrumFrame::kSlicesPerBand)];
    bp = std::max(bp, level);
  }
  for (int b = 0; b < SpectrumFrame::kBands; ++b) {
    if (bandPeak[static_cast<std::size_t>(b)] > loudest) {
      loudest = bandPeak[static_cast<std::size_t>(b)];
      loudestBand = b;
    }
  }
  const double scale = loudest / kFullLevel;
  for (std::size_t c = 0; c < 3; ++c)
    f.colours[c] = static_cast<std::int32_t>(std::lround(colourLevels_[c].load() * 255.0 / 9.0 * scale));
  f.colours[3] = static_cast<std::int32_t>(std::lround(loudest));
  f.colours[4] = loudest > 0 ? loudestBand : 0;
  return f;
}

}  // namespace korvale
