#pragma once
// The discovery thread: finds the supported HID collections, binds them to
// discovery slots and tells its owner what was bound and what was lost.
//
// It scans when something changes, not on a clock: hotplug notices from
// libudev (hidraw) and inotify on the virtual bus folder wake it, a scan binds
// what is new and frees the slots whose paths are gone. Between notices the
// thread sleeps in poll() beside its stop eventfd. A scan that met an
// interface not ready yet (a socket not yet listening, a node that would not
// open) is retried a few times with growing pauses, then waits for the next notice.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "hid/device_table.h"
#include "platform/event.h"

namespace korvale {

// What discovery tells its owner; an empty hook is not called. bound and lost
// run on the UI thread (the UI loop's) while the discovery thread waits for
// them; firstScan runs on the discovery thread once after its first full scan.
struct DiscoveryHooks {
  std::function<void(int slot)> bound;
  std::function<void(int slot)> lost;
  std::function<void()> firstScan;
};

class CDeviceDiscovery {
 public:
  // No hooks: a discovery that only binds.
  explicit CDeviceDiscovery(DiscoveryHooks hooks = {});
  ~CDeviceDiscovery();  // stops the thread
  CDeviceDiscovery(const CDeviceDiscovery&) = delete;
  CDeviceDiscovery& operator=(const CDeviceDiscovery&) = delete;

  // Starts the thread; false when it already runs or could not start.
  bool Start();
  // Signals the stop event and joins. Safe on the UI thread: a message the
  // thread is waiting to deliver is abandoned, never waited for.
  void Stop();
  bool IsRunning() const { return thread_.joinable(); }
  // Wakes the thread for one scan (e.g. after a resume).
  void Rescan();

  // Slots: a copy of the supported-device table; bound and path change.
  DeviceIdEntry Slot(int index) const;
  std::vector<DeviceIdEntry> Slots() const;

  // One step of a scan, public for callers that bind without the thread:
  // opens path on a probe channel and binds a free slot. The slot index, or
  // -1 when the path is not ours, has no free slot or cannot be opened.
  int ProbeAndBind(const std::string& path);
  // Frees a bound slot (bound 0, path empty); false when it was not bound.
  bool FreeSlot(int index);
  // True while the interface behind path can still be reached.
  static bool PathPresent(const std::string& path);

  // Completed scans since construction (each pass over the interfaces).
  std::uint64_t ScanCount() const { return scans_.load(); }

  // Where the thread last went to sleep: after `scans` scans, with a retry
  // due soon, or resting until a notice, a Rescan or Stop.
  struct IdlePoint {
    std::uint64_t scans = 0;
    bool retryDue = false;
  };
  IdlePoint LastIdle() const;

 private:
  void Run();
  enum class Probe { Bound, NotOurs, NotReady };
  // Probe of one path; slot gets the bound slot's index.
  Probe ProbePath(const std::string& path, int& slot);
  // Runs hook(slot) on the UI thread and waits for it, or for the stop
  // event; false when stopped first.
  bool Deliver(const std::function<void(int)>& hook, int slot);

  const DiscoveryHooks hooks_;
  mutable std::mutex slotLock_;
  std::vector<DeviceIdEntry> slots_;
  Event stop_{Event::Reset::Manual};
  Event wake_{Event::Reset::Auto};
  std::thread thread_;
  std::atomic<std::uint64_t> scans_{0};
  mutable std::mutex idleLock_;
  IdlePoint idle_;
  bool firstScanDone_ = false;
};

}  // namespace korvale
