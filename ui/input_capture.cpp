#include "ui/input_capture.h"

namespace korvale {
namespace {

const CapturedInput* g_current = nullptr;

// Caps Lock, Num Lock and Scroll Lock (evdev).
bool IsLockKey(uint16_t evdev) { return evdev == 58 || evdev == 69 || evdev == 70; }

}  // namespace

uint32_t CapturedInput::WindowMessage() const {
  if (kind == Kind::Key) return press ? 256u : 257u;
  switch (button) {
    case kCaptureLeft: return press ? 513u : 514u;
    case kCaptureRight: return press ? 516u : 517u;
    case kCaptureMiddle: return press ? 519u : 520u;
    case kCaptureBack:
    case kCaptureForward: return press ? 523u : 524u;
    default: return 0;
  }
}

CInputCapture& CInputCapture::Instance() {
  static CInputCapture capture;
  return capture;
}

bool CInputCapture::Install(int mode, Sink sink) {
  Uninstall();
  if (!sourceAvailable_ || !sink || mode == 0) return false;
  mode_ = mode;
  sink_ = std::move(sink);
  return true;
}

void CInputCapture::Uninstall() {
  mode_ = 0;
  sink_ = nullptr;
}

bool CInputCapture::Deliver(const CapturedInput& input) {
  if (!IsActive()) return false;
  if (input.kind == CapturedInput::Kind::Mouse && !RecordsMouse()) return false;
  // The sink may uninstall (Stop): keep it alive for this call.
  const Sink sink = sink_;
  sink(input);
  return input.kind == CapturedInput::Kind::Mouse || !IsLockKey(input.Evdev());
}

const CapturedInput* CurrentCapturedInput() { return g_current; }

void WithCapturedInput(const CapturedInput& input, const std::function<void()>& send) {
  const CapturedInput* before = g_current;
  g_current = &input;
  send();
  g_current = before;
}

}  // namespace korvale
