#include "hid/device_discovery.h"

#include <fcntl.h>
#include <libudev.h>
#include <poll.h>
#include <sys/inotify.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>

#include "hid/hid_device.h"
#include "hid/vhid_frame.h"
#include "platform/thread_name.h"
#include "platform/trace.h"
#include "platform/ui_loop.h"

namespace korvale {

namespace {

constexpr const char* kVhidPathPrefix = "vhid:";
// Pauses before re-scanning when an interface was listed but not ready.
constexpr int kRetryPauseMs[] = {10, 25, 50, 100, 250};

// The node or socket an interface path names (the identity tokens cut off).
std::string LocationOf(const std::string& path) {
  std::string lower(path);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const auto at = lower.rfind("#vid_");
  return at == std::string::npos ? path : path.substr(0, at);
}

bool SocketListening(const std::string& file) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (file.size() >= sizeof addr.sun_path) return false;
  std::memcpy(addr.sun_path, file.c_str(), file.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  const int r = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
  const bool ok = r == 0 || errno == EAGAIN || errno == EINPROGRESS;  // EAGAIN: backlog full, still there
  ::close(fd);
  return ok;
}

// Hotplug sources: inotify on the bus folder, the udev monitor for hidraw.
class HotplugWatch {
 public:
  HotplugWatch() {
    inotify_ = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (inotify_ < 0) Trace("discovery: inotify unavailable: %s", std::strerror(errno));
    WatchBus();
    udev_ = udev_new();
    if (udev_ != nullptr) monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
    if (monitor_ != nullptr &&
        (udev_monitor_filter_add_match_subsystem_devtype(monitor_, "hidraw", nullptr) < 0 ||
         udev_monitor_enable_receiving(monitor_) < 0)) {
      udev_monitor_unref(monitor_);
      monitor_ = nullptr;
    }
    if (monitor_ == nullptr) Trace("discovery: no udev monitor; hidraw devices are seen at start only");
  }
  ~HotplugWatch() {
    if (monitor_ != nullptr) udev_monitor_unref(monitor_);
    if (udev_ != nullptr) udev_unref(udev_);
    if (inotify_ >= 0) ::close(inotify_);
  }
  HotplugWatch(const HotplugWatch&) = delete;
  HotplugWatch& operator=(const HotplugWatch&) = delete;

  int InotifyFd() const { return inotify_; }
  int UdevFd() const { return monitor_ != nullptr ? udev_monitor_get_fd(monitor_) : -1; }

  // Reads every queued notice; true when one concerns an interface. Removed
  // nodes and sockets are added to `removed`.
  bool DrainInotify(std::set<std::string>& removed) {
    bool relevant = false;
    alignas(inotify_event) char buf[4096];
    for (;;) {
      const ssize_t n = ::read(inotify_, buf, sizeof buf);
      if (n <= 0) break;
      for (ssize_t off = 0; off < n;) {
        const auto* ev = reinterpret_cast<const inotify_event*>(buf + off);
        off += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
        if (ev->mask & IN_Q_OVERFLOW) {  // notices were lost: look at everything
          relevant = true;
          continue;
        }
        if (ev->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF)) {
          // The folder itself went away: watch the new one (BusDir makes it).
          if (ev->mask & IN_IGNORED) watch_ = -1;
          relevant = true;
          continue;
        }
        if (ev->len == 0) continue;
        const std::string name(ev->name);
        if (!name.ends_with(vhid::kSocketSuffix)) continue;
        relevant = true;
        if (ev->mask & (IN_DELETE | IN_MOVED_FROM)) removed.insert(kVhidPathPrefix + (busDir_ / name).string());
      }
    }
    if (watch_ < 0) WatchBus();
    return relevant;
  }

  bool DrainUdev(std::set<std::string>& removed) {
    bool relevant = false;
    while (udev_device* d = udev_monitor_receive_device(monitor_)) {
      relevant = true;
      const char* action = udev_device_get_action(d);
      const char* node = udev_device_get_devnode(d);
      if (action != nullptr && node != nullptr && std::strcmp(action, "remove") == 0) removed.insert(node);
      udev_device_unref(d);
    }
    return relevant;
  }

 private:
  void WatchBus() {
    if (inotify_ < 0) return;
    busDir_ = vhid::BusDir();
    watch_ = ::inotify_add_watch(inotify_, busDir_.c_str(),
                                 IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_ATTRIB |
                                     IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR);
    if (watch_ < 0) Trace("discovery: cannot watch %s: %s", busDir_.c_str(), std::strerror(errno));
  }

  int inotify_ = -1;
  int watch_ = -1;
  std::filesystem::path busDir_;
  udev* udev_ = nullptr;
  udev_monitor* monitor_ = nullptr;
};

}  // namespace

CDeviceDiscovery::CDeviceDiscovery(DiscoveryHooks hooks) : hooks_(std::move(hooks)), slots_(MakeSlots()) {}

CDeviceDiscovery::~CDeviceDiscovery() { Stop(); }

bool CDeviceDiscovery::Start() {
  if (thread_.joinable()) return false;
  stop_.Clear();
  firstScanDone_ = false;  // once per thread lifetime
  try {
    thread_ = std::thread([this] {
      NameThisThread("kv-discovery");
      Run();
    });
  } catch (const std::system_error& e) {
    Trace("discovery: cannot start its thread: %s", e.what());
    return false;
  }
  return true;
}

void CDeviceDiscovery::Stop() {
  if (!thread_.joinable()) return;
  stop_.Set();
  thread_.join();
}

void CDeviceDiscovery::Rescan() { wake_.Set(); }

DeviceIdEntry CDeviceDiscovery::Slot(int index) const {
  std::lock_guard<std::mutex> g(slotLock_);
  if (index < 0 || static_cast<std::size_t>(index) >= slots_.size()) return {};
  return slots_[static_cast<std::size_t>(index)];
}

std::vector<DeviceIdEntry> CDeviceDiscovery::Slots() const {
  std::lock_guard<std::mutex> g(slotLock_);
  return slots_;
}

CDeviceDiscovery::IdlePoint CDeviceDiscovery::LastIdle() const {
  std::lock_guard<std::mutex> g(idleLock_);
  return idle_;
}

bool CDeviceDiscovery::FreeSlot(int index) {
  std::lock_guard<std::mutex> g(slotLock_);
  if (index < 0 || static_cast<std::size_t>(index) >= slots_.size()) return false;
  DeviceIdEntry& s = slots_[static_cast<std::size_t>(index)];
  if (s.bound == 0 && s.path.empty()) return false;
  s.bound = 0;
  s.path.clear();
  return true;
}

bool CDeviceDiscovery::PathPresent(const std::string& path) {
  const std::string location = LocationOf(path);
  if (location.rfind(kVhidPathPrefix, 0) == 0) return SocketListening(location.substr(std::strlen(kVhidPathPrefix)));
  // A hidraw node: present while it exists; no access rights are needed to tell.
  const int fd = ::open(location.c_str(), O_PATH | O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  return true;
}

int CDeviceDiscovery::ProbeAndBind(const std::string& path) {
  int slot = -1;
  return ProbePath(path, slot) == Probe::Bound ? slot : -1;
}

CDeviceDiscovery::Probe CDeviceDiscovery::ProbePath(const std::string& path, int& slot) {
  slot = -1;
  DeviceIdEntry id = IdentityFromPath(path);
  {
    std::lock_guard<std::mutex> g(slotLock_);
    if (FindFreeSlot(slots_, id) < 0) return Probe::NotOurs;
  }
  CHidDevice probe;
  if (!probe.Open(path, true, false, true, false)) return Probe::NotReady;
  id.vid = probe.VendorId();
  id.pid = probe.ProductId();
  id.usagePage = probe.Caps().usagePage;
  id.usage = probe.Caps().usage;
  probe.Close();
  std::lock_guard<std::mutex> g(slotLock_);
  slot = BindSlot(slots_, id);
  return slot >= 0 ? Probe::Bound : Probe::NotOurs;
}

bool CDeviceDiscovery::Deliver(const std::function<void(int)>& hook, int slot) {
  if (!hook) return true;
  // The UI thread runs the hook while this thread waits for it or for the
  // stop event; a stop abandons a hook the UI has not started.
  struct State {
    std::mutex lock;
    bool abandoned = false;
    bool started = false;
    Event done{Event::Reset::Manual};
  };
  auto state = std::make_shared<State>();
  GetUiLoop().Post([state, hook, slot] {
    {
      std::lock_guard<std::mutex> g(state->lock);
      if (state->abandoned) return;
      state->started = true;
    }
    hook(slot);
    state->done.Set();
  });
  pollfd fds[2] = {{state->done.Fd(), POLLIN, 0}, {stop_.Fd(), POLLIN, 0}};
  for (;;) {
    const int r = ::poll(fds, 2, -1);
    if (r < 0 && errno == EINTR) continue;
    if (r > 0 && (fds[0].revents & POLLIN)) return true;
    std::lock_guard<std::mutex> g(state->lock);
    if (!state->started) {
      state->abandoned = true;
      return false;
    }
    // The UI thread is running it right now: it ends without us.
    fds[1].fd = -1;
  }
}

void CDeviceDiscovery::Run() {
  HotplugWatch watch;
  std::set<std::string> removed;
  std::size_t retries = 0;
  for (;;) {
    if (stop_.IsSet()) break;
    ++scans_;
    bool incomplete = false;
    // 1. Bound slots whose interface went away: the slot is freed first, then
    //    the window hears of it. A removal notice counts even when the same
    //    socket has been plugged again meanwhile (it is a new device).
    for (int i = 0; i < static_cast<int>(kSupportedDeviceCount); ++i) {
      const DeviceIdEntry s = Slot(i);
      if (s.bound == 0) continue;
      const bool gone = removed.count(LocationOf(s.path)) != 0 || !PathPresent(s.path);
      if (!gone || !FreeSlot(i)) continue;
      if (!Deliver(hooks_.lost, i)) break;
    }
    removed.clear();
    if (stop_.IsSet()) break;
    // 2. New interfaces.
    std::vector<DeviceIdEntry> now = Slots();
    if (!AllSlotsTaken(now)) {
      CHidDevice lister;
      if (!lister.Enumerate()) {
        Trace("discovery: interface enumeration failed; the thread ends");
        return;
      }
      std::set<std::string> listed;
      while (const char* p = lister.NextPath()) {
        const std::string path = p;
        listed.insert(LocationOf(path));
        const DeviceIdEntry id = IdentityFromPath(path);
        bool freeSlot;
        {
          std::lock_guard<std::mutex> g(slotLock_);
          freeSlot = FindFreeSlot(slots_, id) >= 0;
        }
        if (!freeSlot) continue;
        int slot = -1;
        const Probe probe = ProbePath(path, slot);
        if (probe == Probe::NotReady && PathPresent(path)) incomplete = true;  // tried again shortly
        if (probe != Probe::Bound) continue;
        if (!Deliver(hooks_.bound, slot)) break;
        if (stop_.IsSet()) break;
      }
      // A socket that exists but did not answer the listing is not ready yet.
      std::error_code ec;
      for (const auto& e : std::filesystem::directory_iterator(vhid::BusDir(), ec)) {
        if (e.path().extension() != vhid::kSocketSuffix) continue;
        if (listed.count(kVhidPathPrefix + e.path().string()) == 0) incomplete = true;
      }
    }
    if (stop_.IsSet()) break;
    if (!firstScanDone_) {
      firstScanDone_ = true;
      if (hooks_.firstScan) hooks_.firstScan();
    }

    // 3. Sleep until something changes (or a short retry is due).
    int timeoutMs = -1;
    if (incomplete && retries < std::size(kRetryPauseMs)) timeoutMs = kRetryPauseMs[retries++];
    if (!incomplete) retries = 0;
    {
      std::lock_guard<std::mutex> g(idleLock_);
      idle_ = {scans_.load(), timeoutMs >= 0};
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    bool changed = false;
    while (!changed) {
      pollfd fds[4] = {{stop_.Fd(), POLLIN, 0},
                       {wake_.Fd(), POLLIN, 0},
                       {watch.InotifyFd(), POLLIN, 0},
                       {watch.UdevFd(), POLLIN, 0}};
      int wait = -1;
      if (timeoutMs >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        wait = left > 0 ? static_cast<int>(left) : 0;
      }
      const int r = ::poll(fds, 4, wait);
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) {
        Trace("discovery: poll failed: %s", std::strerror(errno));
        stop_.Wait(1000);  // never spin on a broken poll
        break;
      }
      if (r == 0) break;  // retry due
      if (fds[0].revents) break;
      if (fds[1].revents & POLLIN) {
        wake_.Consume();
        changed = true;
      }
      if ((fds[2].revents & POLLIN) && watch.DrainInotify(removed)) changed = true;
      if ((fds[3].revents & POLLIN) && watch.DrainUdev(removed)) changed = true;
    }
    // Each notice gets its own few retries, even while a leftover socket
    // keeps the scans incomplete.
    if (changed) retries = 0;
  }
  Trace("抓取设备线程设定退出");
}

}  // namespace korvale
