#include "devices/sync_lighting.h"

#include <poll.h>

#include <algorithm>

#include "devices/light_tables.h"
#include "devices/varnik_usb_device.h"
#include "platform/trace.h"

namespace korvale {

namespace {

uint64_t SteadyMs() {
  return static_cast<uint64_t>(
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
          .count());
}

LightInfo LookOf(const SyncLightMode& m) {
  LightInfo look;
  look.light = static_cast<uint8_t>(std::clamp(m.brightness, 0, 4));
  look.speed = static_cast<uint8_t>(std::clamp(m.speed, 0, 4));
  look.fx = static_cast<uint8_t>(m.direction != 0 ? 1 : 0);
  look.multiColor = m.multicolour ? 1 : 0;
  look.red = m.red;
  look.green = m.green;
  look.blue = m.blue;
  return look;
}

}  // namespace

CSyncLighting::CSyncLighting() = default;

int CSyncLighting::StepIntervalMs(const SyncLightMode& mode) {
  return kTicksPerStep[static_cast<std::size_t>(std::clamp(mode.speed, 0, 4))] * lightfx::kTickMs;
}

void CSyncLighting::SetMode(const SyncLightMode& mode) {
  {
    std::lock_guard<std::mutex> g(lock_);
    mode_ = mode;
    ++generation_;
  }
  wake_.Set();
}

void CSyncLighting::SetDevices(std::vector<CVarnikUSBDevice*> devices) {
  {
    std::lock_guard<std::mutex> g(lock_);
    devices_ = std::move(devices);
    ++generation_;
  }
  wake_.Set();
}

void CSyncLighting::SetWatched(bool watched) {
  {
    std::lock_guard<std::mutex> g(lock_);
    if (watched_ == watched) return;
    watched_ = watched;
    ++generation_;
  }
  wake_.Set();
}

void CSyncLighting::RemoveDevice(CVarnikUSBDevice* device) {
  {
    std::lock_guard<std::mutex> g(lock_);
    std::erase(devices_, device);
    ++generation_;
  }
  wake_.Set();
}

LedColour CSyncLighting::NextColour(const SyncLightMode& mode, uint64_t nowMs) {
  LightInfo look = LookOf(mode);
  switch (mode.type) {
    case 0:
      return wholefx::Breathing(look, state_[0], wholefx::HueTurn::kOnZeroOrOne);
    case 1:
      return wholefx::Static(look);
    case 2:
      return wholefx::Blink(look, state_[2], nowMs, kBlinkHueJump);
    case 3:
      look.fx = 1;  // the spectrum always runs forward
      return wholefx::Spectrum(look, state_[3]);
    default:
      return {};
  }
}

void CSyncLighting::Step(uint64_t nowMs) {
  SyncLightMode mode;
  std::vector<CVarnikUSBDevice*> devices;
  {
    std::lock_guard<std::mutex> g(lock_);
    mode = mode_;
    devices = devices_;
  }
  const uint32_t packed = PackLedColour(NextColour(mode, nowMs));
  for (CVarnikUSBDevice* d : devices) {
    for (int i = 0; i < d->GetLightCount(); ++i) d->SetLedColour(i, packed);
    d->LightFrameWritten();
  }
  steps_.fetch_add(1);
}

bool CSyncLighting::WaitIdle(std::chrono::milliseconds timeout) const {
  std::unique_lock<std::mutex> g(lock_);
  return idleChanged_.wait_for(g, timeout, [this] { return idle_ && idleGeneration_ == generation_; });
}

void CSyncLighting::Run(const Event& stop) {
  pollfd fds[2] = {{stop.Fd(), POLLIN, 0}, {wake_.Fd(), POLLIN, 0}};
  for (;;) {
    int timeout = -1;
    std::uint64_t generation = 0;
    bool still = false;
    {
      std::lock_guard<std::mutex> g(lock_);
      generation = generation_;
      // Static and off look the same at every step: one drawn step is enough.
      still = mode_.type != 0 && mode_.type != 2 && mode_.type != 3;
      const bool drawn = still && drawnGeneration_ == generation_;
      if (!devices_.empty() && watched_ && !drawn) timeout = StepIntervalMs(mode_);
      // Nothing to drive: sleep until the stop or a change, never on a timer.
      idle_ = timeout < 0;
      idleGeneration_ = generation_;
    }
    idleChanged_.notify_all();
    const int r = ::poll(fds, 2, timeout);
    {
      std::lock_guard<std::mutex> g(lock_);
      idle_ = false;
    }
    if (stop.IsSet() || r < 0) {
      Trace("同步灯光线程设定退出");
      return;
    }
    if (fds[1].revents & POLLIN) {
      wake_.Consume();
      continue;
    }
    if (r == 0) {
      Step(SteadyMs());
      std::lock_guard<std::mutex> g(lock_);
      // A change during the step leaves generation_ ahead: it steps again.
      if (still) drawnGeneration_ = generation;
    }
  }
}

}  // namespace korvale
