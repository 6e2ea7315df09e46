#include "companions/audio_companion.h"

#include <algorithm>
#include <cstring>

#include "platform/trace.h"

namespace korvale {

namespace {
void PutLe32(std::vector<std::uint8_t>& out, std::int32_t v) {
  const auto u = static_cast<std::uint32_t>(v);
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(u >> (8 * i)));
}
std::int32_t Le32(const std::uint8_t* p) {
  return static_cast<std::int32_t>(p[0] | p[1] << 8 | p[2] << 16 | std::uint32_t{p[3]} << 24);
}
// How long the capture thread may wait for room on the main window's
// connection; a frame that finds none is dropped (the next one follows soon).
constexpr std::uint32_t kPostTimeoutMs = 2;
}  // namespace

std::vector<std::uint8_t> EncodeAudioFrame(const SpectrumFrame& f, bool negative) {
  std::vector<std::uint8_t> out;
  out.reserve(f.levels.size() * 4);
  for (std::int32_t v : f.levels) PutLe32(out, negative ? -v : v);
  return out;
}

std::vector<std::uint8_t> EncodeAudioColours(const SpectrumFrame& f) {
  std::vector<std::uint8_t> out;
  out.reserve(f.colours.size() * 4);
  for (std::int32_t v : f.colours) PutLe32(out, v);
  return out;
}

CAudioCompanion::CAudioCompanion(MessageBus& bus) : bus_(bus) {}

CAudioCompanion::~CAudioCompanion() = default;

bool CAudioCompanion::Streaming() const {
  std::lock_guard<std::mutex> g(lock_);
  return streaming_;
}

void CAudioCompanion::SetColourLevels(int r, int g, int b) {
  std::lock_guard<std::mutex> guard(lock_);
  levels_ = {std::clamp(r, 0, 9), std::clamp(g, 0, 9), std::clamp(b, 0, 9)};
  if (analyser_ != nullptr) analyser_->SetColourLevels(levels_[0], levels_[1], levels_[2]);
}

std::intptr_t CAudioCompanion::OnMessage(const BusMessage& m, std::uint32_t daemonMsg) {
  if (m.isCopyData) {
    // The style colour: R, G, B as int32, the rest zero.
    if (static_cast<std::uint64_t>(m.lParam) != kAudioStyleData || m.data.size() < 12) {
      Trace("korvale-audio: copy-data %lld of %zu bytes ignored", static_cast<long long>(m.lParam), m.data.size());
      return 0;
    }
    SetColourLevels(Le32(m.data.data()), Le32(m.data.data() + 4), Le32(m.data.data() + 8));
    return 1;
  }
  if (m.msg != daemonMsg || daemonMsg == 0) return 0;
  const auto level = static_cast<int>(std::clamp<std::int64_t>(m.lParam, 0, 9));
  switch (static_cast<int>(m.wParam)) {
    case kAudioHello:
      Trace("korvale-audio: main window %lld connected", static_cast<long long>(m.lParam));
      return 1;
    case kAudioStartStream: {
      std::lock_guard<std::mutex> g(lock_);
      streaming_ = true;
      silentFrames_ = 0;
      lastColours_.reset();  // a new listener knows nothing yet
      return 1;
    }
    case kAudioStopStream: {
      std::lock_guard<std::mutex> g(lock_);
      streaming_ = false;
      return 1;
    }
    case kAudioResetLevels:
      if (onReset) onReset();
      return 1;
    case kAudioReleaseInput:
      released_ = true;
      if (onReleaseInput) onReleaseInput();
      return 1;
    case kAudioExit:
      exit_ = true;
      return 1;
    case kAudioLevelR:
    case kAudioLevelG:
    case kAudioLevelB: {
      std::array<int, 3> l;
      {
        std::lock_guard<std::mutex> g(lock_);
        l = levels_;
      }
      l[static_cast<std::size_t>(m.wParam - kAudioLevelR)] = level;
      SetColourLevels(l[0], l[1], l[2]);
      return 1;
    }
    default:
      Trace("korvale-audio: unknown command %llu", static_cast<unsigned long long>(m.wParam));
      return 0;
  }
}

void CAudioCompanion::OnFrame(const SpectrumFrame& f) {
  bool negative, colours;
  {
    std::lock_guard<std::mutex> g(lock_);
    if (!streaming_) return;
    const bool silent = std::all_of(f.levels.begin(), f.levels.end(), [](std::int32_t v) { return v == 0; });
    silentFrames_ = silent ? silentFrames_ + 1 : 0;
    if (silentFrames_ > kSilentFramesSent) return;
    negative = negative_;
    negative_ = !negative_;
    colours = ++framesSent_ % kColourEvery == 0 && lastColours_ != f.colours;
    if (colours) lastColours_ = f.colours;
  }
  bus_.PostCopyData(kAudioMainTitle, kAudioFrameData, EncodeAudioFrame(f, negative), kPostTimeoutMs);
  if (colours) bus_.PostCopyData(kAudioMainTitle, kAudioColourData, EncodeAudioColours(f), kPostTimeoutMs);
}

}  // namespace korvale
