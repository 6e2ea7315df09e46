#pragma once
// korvale-audio: the main window's audio capture companion. It listens on the
// message bus under its window title, takes the main window's commands, and
// while streaming posts each spectrum frame (copy-data 1) and colour block
// (copy-data 2) to the main window. Posted blocks wait for no result, so the
// capture thread sends them itself and a busy main window never stalls it:
// a block that finds no room within a moment is dropped.
#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "companions/band_analysis.h"
#include "platform/message_bus.h"

namespace korvale {

// Names shared with the main window: the identity string and a fixed word.
inline constexpr const char* kAudioCompanionLock = "KORVALE TX730maxAudioRecord";
inline constexpr const char* kAudioCompanionTitle = "KORVALE TX730maxAUDIORECORD";
inline constexpr const char* kAudioMainTitle = "KORVALE TX730max";

// The commands in wParam of the audio daemon message.
enum AudioCommand : int {
  kAudioHello = 0,         // lParam: the main window's handle (a value, only remembered)
  kAudioStartStream = 1,   // send frames from now on
  kAudioStopStream = 2,
  kAudioResetLevels = 3,   // forget the samples gathered so far
  kAudioReleaseInput = 4,  // stop capturing
  kAudioExit = 5,
  kAudioLevelR = 6,        // lParam: level 0..9
  kAudioLevelG = 7,
  kAudioLevelB = 8,
};
// Copy-data kinds.
constexpr std::uint64_t kAudioFrameData = 1;
constexpr std::uint64_t kAudioColourData = 2;
constexpr std::uint64_t kAudioStyleData = 10;  // from the main window: R, G, B levels
constexpr std::size_t kAudioStyleBytes = 40;

// Silence stops the stream once the receiver has seen this many zero frames
// (its levels have decayed); sound starts it again.
constexpr int kSilentFramesSent = 8;
// The colour block goes with every third frame, when it changed: the rate
// the receiver hands levels on.
constexpr int kColourEvery = 3;

// Frame encoding: each level's sign flips from one frame to the next, so the
// receiver's difference of consecutive frames is the sum of both levels (the
// sound's level), not only its change.
std::vector<std::uint8_t> EncodeAudioFrame(const SpectrumFrame& f, bool negative);
std::vector<std::uint8_t> EncodeAudioColours(const SpectrumFrame& f);

class CAudioCompanion {
 public:
  // Input: the sound server, or a file to play (in real time) instead.
  explicit CAudioCompanion(MessageBus& bus);
  ~CAudioCompanion();

  // Result of a bus message; 0 for anything unknown.
  std::intptr_t OnMessage(const BusMessage& m, std::uint32_t daemonMsg);
  // Called for every analysed frame (any thread).
  void OnFrame(const SpectrumFrame& f);
  void SetColourLevels(int r, int g, int b);
  CSpectrumAnalyser* Analyser() { return analyser_; }
  void SetAnalyser(CSpectrumAnalyser* a) { analyser_ = a; }

  bool Streaming() const;
  bool ExitRequested() const { return exit_; }
  bool InputReleased() const { return released_; }
  // Hooks for the program: leave capture, reset.
  std::function<void()> onReleaseInput;
  std::function<void()> onReset;

 private:
  MessageBus& bus_;
  CSpectrumAnalyser* analyser_ = nullptr;
  mutable std::mutex lock_;
  int silentFrames_ = 0;  // all-zero frames in a row
  int framesSent_ = 0;
  std::optional<std::array<std::int32_t, 6>> lastColours_;
  bool streaming_ = false;
  bool negative_ = false;
  bool exit_ = false;
  bool released_ = false;
  std::array<int, 3> levels_{9, 9, 9};
};

}  // namespace korvale
