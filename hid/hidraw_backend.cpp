// The kernel's hidraw nodes. Enumeration reads sysfs: through libudev for the
// real /sys, by walking <root>/class/hidraw directly for any other root.
#include <fcntl.h>
#include <libudev.h>
#include <linux/hidraw.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <optional>

#include "hid/hid_backend.h"
#include "hid/report_descriptor.h"
#include "platform/atomic_file.h"
#include "platform/trace.h"

namespace korvale {

namespace fs = std::filesystem;

namespace {

struct SysfsHid {
  HidAttributes attributes;
  uint32_t interfaceNumber = 0;
  std::vector<uint8_t> descriptor;
  std::string name;
};

std::optional<std::string> ReadSmall(const fs::path& p) { return ReadFileBytes(p, 1 << 16); }

std::optional<unsigned long> ParseHex(const std::string& text) {
  const char* s = text.c_str();
  char* end = nullptr;
  errno = 0;
  const unsigned long v = std::strtoul(s, &end, 16);
  if (end == s || errno != 0) return std::nullopt;
  return v;
}

// The interface number usbhid writes at the end of the physical path
// ("usb-0000:00:14.0-2/input1"); devices made through uhid carry it there too.
std::optional<uint32_t> InterfaceFromPhys(const std::string& phys) {
  const auto at = phys.rfind("/input");
  if (at == std::string::npos || at + 6 >= phys.size()) return std::nullopt;
  uint32_t n = 0;
  for (std::size_t k = at + 6; k < phys.size(); ++k) {
    if (phys[k] < '0' || phys[k] > '9' || n > 255) return std::nullopt;
    n = n * 10 + static_cast<uint32_t>(phys[k] - '0');
  }
  return n <= 255 ? std::optional<uint32_t>(n) : std::nullopt;
}

// The HID device behind <sysfs>/class/hidraw/hidrawN: ids from uevent's
// HID_ID, the report descriptor, and the interface number: from the USB
// interface folder it sits in, else from HID_PHYS (uhid devices have no USB
// parent).
std::optional<SysfsHid> ReadHidrawSysfs(const fs::path& hidrawDir) {
  std::error_code ec;
  const fs::path hid = fs::canonical(hidrawDir / "device", ec);
  if (ec) return std::nullopt;
  auto uevent = ReadSmall(hid / "uevent");
  auto desc = ReadSmall(hid / "report_descriptor");
  if (!uevent || !desc) return std::nullopt;
  SysfsHid out;
  bool haveId = false;
  std::optional<uint32_t> physInterface;
  std::size_t pos = 0;
  while (pos < uevent->size()) {
    std::size_t end = uevent->find('\n', pos);
    if (end == std::string::npos) end = uevent->size();
    const std::string line = uevent->substr(pos, end - pos);
    pos = end + 1;
    if (line.rfind("HID_ID=", 0) == 0) {
      // HID_ID=<bus>:<vendor, 8 hex digits>:<product, 8 hex digits>
      const std::string v = line.substr(7);
      const auto c1 = v.find(':'), c2 = v.find(':', c1 == std::string::npos ? c1 : c1 + 1);
      if (c1 == std::string::npos || c2 == std::string::npos) continue;
      auto vid = ParseHex(v.substr(c1 + 1, c2 - c1 - 1));
      auto pid = ParseHex(v.substr(c2 + 1));
      if (!vid || !pid) continue;
      out.attributes.vendorId = static_cast<uint16_t>(*vid);
      out.attributes.productId = static_cast<uint16_t>(*pid);
      haveId = true;
    } else if (line.rfind("HID_NAME=", 0) == 0) {
      out.name = line.substr(9);
    } else if (line.rfind("HID_PHYS=", 0) == 0) {
      physInterface = InterfaceFromPhys(line.substr(9));
    }
  }
  if (!haveId) {
    Trace("hid: %s has no HID_ID", hid.c_str());
    return std::nullopt;
  }
  out.descriptor.assign(desc->begin(), desc->end());
  // USB: the HID device sits in the interface folder, beside the device's folder.
  if (auto mi = ReadSmall(hid.parent_path() / "bInterfaceNumber")) {
    if (auto n = ParseHex(*mi)) out.interfaceNumber = static_cast<uint32_t>(*n & 0xFF);
  } else if (physInterface) {
    out.interfaceNumber = *physInterface;
  }
  if (auto rel = ReadSmall(hid.parent_path().parent_path() / "bcdDevice")) {
    if (auto n = ParseHex(*rel)) out.attributes.versionNumber = static_cast<uint16_t>(*n);
  }
  return out;
}

void AppendNode(const fs::path& hidrawDir, const std::string& node, std::vector<HidInterfaceInfo>& out) {
  auto hid = ReadHidrawSysfs(hidrawDir);
  if (!hid) return;
  AppendCollections(node, "hidraw", hid->attributes, hid->interfaceNumber, hid->descriptor, hid->name, out);
}

void EnumerateWithUdev(std::vector<HidInterfaceInfo>& out) {
  udev* u = udev_new();
  if (!u) {
    Trace("hid: libudev is unavailable");
    return;
  }
  const bool udevRunning = ::access("/run/udev/control", F_OK) == 0;
  udev_enumerate* e = udev_enumerate_new(u);
  if (e && udev_enumerate_add_match_subsystem(e, "hidraw") == 0 && udev_enumerate_scan_devices(e) == 0) {
    udev_list_entry* entry;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(e)) {
      const char* syspath = udev_list_entry_get_name(entry);
      udev_device* d = syspath ? udev_device_new_from_syspath(u, syspath) : nullptr;
      if (!d) continue;
      const char* node = udev_device_get_devnode(d);
      if (node && udevRunning && !udev_device_get_is_initialized(d)) {
        // The node exists before udev has applied the rules (its permissions
        // among them): wait for udev's notice rather than fail to open it.
        Trace("hid: %s is not set up by udev yet", node);
      } else if (node) {
        AppendNode(syspath, node, out);
      }
      udev_device_unref(d);
    }
  }
  if (e) udev_enumerate_unref(e);
  udev_unref(u);
}

class HidrawBackend final : public HidBackend {
 public:
  explicit HidrawBackend(int fd) : fd_(fd) {}
  ~HidrawBackend() override { ::close(fd_); }
  int Fd() const override { return fd_; }

  HidIo TryRead(std::vector<uint8_t>& report) override {
    report.resize(kMaxReportBytes + 1);
    for (;;) {
      const ssize_t n = ::read(fd_, report.data(), report.size());
      if (n > 0) {
        report.resize(static_cast<std::size_t>(n));
        return HidIo::Done;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return HidIo::WouldBlock;
      return HidIo::Failed;  // unplugged (EIO/ENODEV) or end of file
    }
  }

  // The kernel bounds these itself (5 s for uhid, the USB control time-out
  // for usbhid); the ioctls have no time-out of ours.
  HidIo GetFeature(std::vector<uint8_t>& report, int) override {
    for (;;) {
      const int n = ::ioctl(fd_, HIDIOCGFEATURE(report.size()), report.data());
      if (n >= 0) {
        report.resize(std::min<std::size_t>(static_cast<std::size_t>(n), report.size()));
        return HidIo::Done;
      }
      if (errno == EINTR) continue;
      return HidIo::Failed;
    }
  }

  HidIo SetFeature(std::span<const uint8_t> report, int) override {
    for (;;) {
      const int n = ::ioctl(fd_, HIDIOCSFEATURE(report.size()), report.data());
      if (n >= 0) return static_cast<std::size_t>(n) == report.size() ? HidIo::Done : HidIo::Failed;
      if (errno == EINTR) continue;
      return HidIo::Failed;
    }
  }

  HidIo TryWrite(std::span<const uint8_t> report) override {
    for (;;) {
      const ssize_t n = ::write(fd_, report.data(), report.size());
      if (n >= 0) return static_cast<std::size_t>(n) == report.size() ? HidIo::Done : HidIo::Failed;
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return HidIo::WouldBlock;
      return HidIo::Failed;
    }
  }

 private:
  int fd_;
};

}  // namespace

void EnumerateHidraw(const HidRoots& roots, std::vector<HidInterfaceInfo>& out) {
  if (roots.sysfs == "/sys") {
    EnumerateWithUdev(out);
    return;
  }
  std::error_code ec;
  std::vector<fs::path> dirs;
  for (const auto& e : fs::directory_iterator(roots.sysfs / "class" / "hidraw", ec)) dirs.push_back(e.path());
  std::sort(dirs.begin(), dirs.end());
  for (const auto& d : dirs) AppendNode(d, (roots.dev / d.filename()).string(), out);
}

std::unique_ptr<HidBackend> OpenHidraw(const HidRoots& roots, const fs::path& node, bool read, bool write,
                                       HidOpenInfo& info) {
  const int mode = read && write ? O_RDWR : write ? O_WRONLY : O_RDONLY;
  const int fd = ::open(node.c_str(), mode | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    info.openErrno = errno;
    if (errno == EACCES) Trace("hid: %s: permission denied (is the udev rule installed?)", node.c_str());
    return nullptr;
  }
  auto backend = std::make_unique<HidrawBackend>(fd);
  if (auto hid = ReadHidrawSysfs(roots.sysfs / "class" / "hidraw" / node.filename())) {
    info.attributes = hid->attributes;
    info.descriptor = std::move(hid->descriptor);
    return backend;
  }
  // No sysfs entry: ask the node itself.
  hidraw_devinfo devinfo{};
  int size = 0;
  if (::ioctl(fd, HIDIOCGRAWINFO, &devinfo) < 0 || ::ioctl(fd, HIDIOCGRDESCSIZE, &size) < 0 || size <= 0 ||
      size > HID_MAX_DESCRIPTOR_SIZE) {
    Trace("hid: cannot read the identity or report descriptor of %s", node.c_str());
    return nullptr;
  }
  hidraw_report_descriptor rd{};
  rd.size = static_cast<uint32_t>(size);
  if (::ioctl(fd, HIDIOCGRDESC, &rd) < 0) {
    Trace("hid: cannot read the report descriptor of %s", node.c_str());
    return nullptr;
  }
  info.attributes.vendorId = static_cast<uint16_t>(devinfo.vendor);
  info.attributes.productId = static_cast<uint16_t>(devinfo.product);
  info.descriptor.assign(rd.value, rd.value + rd.size);
  return backend;
}

}  // namespace korvale
