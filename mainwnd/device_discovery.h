#pragma once
// The discovery thread: finds the supported HID collections, binds them to
// discovery slots and tells the main window (WM_DEVICE_BOUND, WM_DEVICE_LOST).
//
// It scans when something changes, not on a clock: hotplug notices from
// libudev (hidraw) and inotify on the virtual bus folder wake it, a scan binds
// what is new and frees the slots whose paths are gone. Between notices the
// thread sleeps in poll() beside its stop eventfd. A scan that met an
// interface not ready yet (a socket not yet listening, a node that would not
// open) is retried a few times with growing pauses, then waits for the next notice.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "hid/device_table.h"
#include "platform/event.h"
#include "ui/ui_types.h"

namespace korvale {

class CDeviceDiscovery {
 public:
  // mainWnd receives the messages; it may be 0 for a discovery that only binds.
  explicit CDeviceDiscovery(HWND mainWnd);
  ~CDeviceDiscovery();  // stops the thread
  CDeviceDiscovery(const CDeviceDiscovery&) = delete;
  CDeviceDiscovery& operator=(const CDeviceDiscovery&) = delete;

  // Registered identity message posted once after the first full scan (0: none).
  void SetIdentityMessage(UINT msg) { identityMsg_ = msg; }

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

 private:
  void Run();
  enum class Probe { Bound, NotOurs, NotReady };
  // Probe of one path; slot gets the bound slot's index.
  Probe ProbePath(const std::string& path, int& slot);
  // Delivers msg to the main window on the UI thread and waits for it, or
  // for the stop event; false when stopped first.
  bool SendToWindow(UINT msg, WPARAM wParam);

  HWND mainWnd_;
  std::atomic<UINT> identityMsg_{0};
  mutable std::mutex slotLock_;
  std::vector<DeviceIdEntry> slots_;
  Event stop_{Event::Reset::Manual};
  Event wake_{Event::Reset::Auto};
  std::thread thread_;
  std::atomic<std::uint64_t> scans_{0};
  bool identityPosted_ = false;
};

}  // namespace korvale
