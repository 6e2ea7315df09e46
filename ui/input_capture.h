#pragma once
// Key and mouse-button capture from the program's own windows: the stand-in
// for the Windows design's low-level keyboard hook and mouse hook library.
// The renderer hands every key press and release (and, while recording,
// mouse buttons over the recording pad) to Deliver while a capture is
// installed; the installer's sink turns them into its hook messages. There
// is no global hook and nothing reads /dev/input: keys pressed while another
// program has the focus never arrive here.
#include <cstdint>
#include <functional>

#include "ui/ui_types.h"

namespace korvale {

// Mouse button bits, as macro events store them.
inline constexpr int kCaptureLeft = 1, kCaptureRight = 2, kCaptureMiddle = 4, kCaptureBack = 8,
                     kCaptureForward = 16;
// The native scan code of a key is its evdev code + 8 (X11 and Wayland alike).
inline constexpr uint32_t kEvdevScanOffset = 8;
// The control name of the recording pad: mouse buttons pressed on it are
// recorded and press nothing else.
inline constexpr const char* kRecordPadName = "macro_record_pad";

struct CapturedInput {
  enum class Kind { Key, Mouse };
  Kind kind = Kind::Key;
  bool press = true;
  uint32_t nativeScanCode = 0;  // keys: evdev code + 8
  bool autoRepeat = false;
  uint64_t timestampMs = 0;     // the event's own time
  int button = 0;               // mouse: one of the bits above
  UiPoint pos;                  // mouse: window coordinates

  uint16_t Evdev() const {
    return nativeScanCode >= kEvdevScanOffset ? static_cast<uint16_t>(nativeScanCode - kEvdevScanOffset) : 0;
  }
  // The window message of the Windows design (key down/up, mouse buttons).
  uint32_t WindowMessage() const;
};

// Capture modes (the hook modes of the Windows design).
inline constexpr int kCaptureSingleKey = 1, kCaptureAppend = 4, kCaptureBefore = 8, kCaptureAfter = 16,
                     kCaptureReplace = 32;

class CInputCapture {
 public:
  using Sink = std::function<void(const CapturedInput&)>;
  static CInputCapture& Instance();

  // A renderer that can capture registers itself (and withdraws with false).
  void SetSourceAvailable(bool available) { sourceAvailable_ = available; }
  bool IsSourceAvailable() const { return sourceAvailable_; }

  // Replaces any installed capture. False, and nothing installed, when no
  // renderer can capture.
  bool Install(int mode, Sink sink);
  void Uninstall();
  bool IsActive() const { return mode_ != 0; }
  int Mode() const { return mode_; }
  bool RecordsMouse() const { return mode_ > kCaptureSingleKey; }

  // The renderer's entry. True when the event was taken (the window does not
  // see it); the lock keys are passed on so their state stays right.
  bool Deliver(const CapturedInput& input);

 private:
  bool sourceAvailable_ = false;
  int mode_ = 0;
  Sink sink_;
};

// The event being delivered to the hook message now (UI thread), else
// nullptr: a hook message from anywhere else finds no event and is dropped.
const CapturedInput* CurrentCapturedInput();
// Runs send with `input` readable through CurrentCapturedInput().
void WithCapturedInput(const CapturedInput& input, const std::function<void()>& send);

}  // namespace korvale
