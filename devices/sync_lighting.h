#pragma once
// Synchronised lighting: one whole-device effect, chosen by the lighting
// synchronisation command, painted into the LED tables of every device taking
// part. Its thread steps on the light thread's ticks, so an effect runs at the
// same pace here as on the keyboard itself.
#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "devices/preview_tables.h"
#include "devices/whole_device_effects.h"
#include "platform/event.h"

namespace korvale {

class CVarnikUSBDevice;

// The shared mode, set by the lighting synchronisation command.
struct SyncLightMode {
  int type = 4;          // 0 breathing, 1 static, 2 blink, 3 spectrum, 4 off
  int brightness = 4;    // level 0..4
  int speed = 0;         // level 0..4
  int direction = 0;     // LightInfo "Fx": non-zero forward, 0 backward
  bool multicolour = false;
  uint8_t red = 0, green = 0, blue = 0;
};

class CSyncLighting {
 public:
  // Ticks between steps by speed level: the devices' own speed table.
  static constexpr const std::array<uint8_t, 5>& kTicksPerStep = preview::kPassRate;
  // How far the blink moves along the wheel per toggle.
  static constexpr int kBlinkHueJump = 14;

  CSyncLighting();

  // Milliseconds between steps: the speed level's ticks of the light thread.
  static int StepIntervalMs(const SyncLightMode& mode);

  void SetMode(const SyncLightMode& mode);
  // Devices whose LEDs the thread drives; none lets it sleep.
  void SetDevices(std::vector<CVarnikUSBDevice*> devices);
  // Whether anyone can see the previews (the main window is shown): while
  // not, the thread sleeps until this or another change. On by default.
  void SetWatched(bool watched);
  void RemoveDevice(CVarnikUSBDevice* device);

  // The thread's body: steps until stop is set (then traces and returns).
  void Run(const Event& stop);
  // One step of the effect on the devices, at nowMs (the blink's clock).
  void Step(uint64_t nowMs);
  // The colour a step gives every LED; advances the effect state.
  LedColour NextColour(const SyncLightMode& mode, uint64_t nowMs);

  // Effect steps run so far.
  std::uint64_t StepCount() const { return steps_.load(); }
  // Waits (at most timeout) until the thread sleeps with nothing to drive,
  // nobody watching or a static look drawn, having seen the latest change:
  // from then on no step runs until the next change. False on time-out.
  bool WaitIdle(std::chrono::milliseconds timeout) const;

 private:
  mutable std::mutex lock_;
  mutable std::condition_variable idleChanged_;
  SyncLightMode mode_;
  std::vector<CVarnikUSBDevice*> devices_;
  std::uint64_t generation_ = 0;      // bumped by every change
  std::uint64_t idleGeneration_ = 0;  // the change the thread last went idle after
  std::uint64_t drawnGeneration_ = ~std::uint64_t{0};  // the change a still look was last drawn for
  bool watched_ = true;
  bool idle_ = false;
  Event wake_{Event::Reset::Auto};
  std::atomic<std::uint64_t> steps_{0};
  // Each effect type keeps its own items (breathing step and hue, blink
  // phase and position, spectrum position) across mode changes.
  std::array<wholefx::State, 5> state_{};
};

}  // namespace korvale
