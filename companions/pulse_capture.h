#pragma once
// Capture of the sound server's monitor of the default output through
// libpulse (PulseAudio, or PipeWire's pulse server), following the default
// output when the user switches it. Samples arrive as mono floats on the
// capture's own thread, in batches of about half a fragment.
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

namespace korvale {

class CPulseCapture {
 public:
  using Samples = std::function<void(const float* samples, std::size_t count)>;
  // Called once when the server goes away after Start succeeded.
  using Lost = std::function<void(const std::string& why)>;

  CPulseCapture();
  ~CPulseCapture();
  CPulseCapture(const CPulseCapture&) = delete;
  CPulseCapture& operator=(const CPulseCapture&) = delete;

  // Connects (never starting a server) and records the default output's
  // monitor at `rate` with `fragmentSamples` per delivery. False with the
  // reason in *error when no server answers within timeoutMs.
  bool Start(int rate, int fragmentSamples, Samples onSamples, Lost onLost, std::string* error,
             unsigned timeoutMs = 3000);
  void Stop();
  // The output whose monitor is recorded (empty before Start).
  std::string CurrentOutput() const;

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace korvale
