#include "hid/hid_device.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "hid/device_table.h"
#include "hid/hid_backend.h"
#include "hid/report_descriptor.h"
#include "platform/trace.h"

namespace korvale {

namespace {

// Longest interface path accepted; longer ones are refused at Open.
constexpr std::size_t kMaxPathLength = 4096;

std::mutex gRootsLock;
HidRoots gRoots{"/sys", "/dev", true};

}  // namespace

HidRoots CurrentHidRoots() {
  std::lock_guard<std::mutex> g(gRootsLock);
  return gRoots;
}

void CHidDevice::SetSysfsRoot(const std::filesystem::path& root) {
  std::lock_guard<std::mutex> g(gRootsLock);
  gRoots.sysfs = root;
}

void CHidDevice::SetDevRoot(const std::filesystem::path& root) {
  std::lock_guard<std::mutex> g(gRootsLock);
  gRoots.dev = root;
}

void CHidDevice::SetHidrawEnabled(bool enabled) {
  std::lock_guard<std::mutex> g(gRootsLock);
  gRoots.hidrawEnabled = enabled;
}

std::string PathLocation(const std::string& path) {
  std::string lower(path);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return char(std::tolower(c)); });
  const auto at = lower.rfind("#vid_");
  return at == std::string::npos ? path : path.substr(0, at);
}

std::string IdentitySuffix(uint16_t vid, uint16_t pid, uint32_t interfaceNumber, std::size_t collectionIndex,
                           std::size_t collectionCount) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "vid_%04x&pid_%04x&mi_%02x", vid, pid, interfaceNumber & 0xFFu);
  std::string s = buf;
  if (collectionCount > 1) {
    // Two digits as usual; more rather than a repeated number past 0xff.
    std::snprintf(buf, sizeof buf, "&col%02zx", collectionIndex + 1);
    s += buf;
  }
  return s;
}

void AppendCollections(const std::string& location, const std::string& backend, const HidAttributes& attributes,
                       uint32_t interfaceNumber, std::span<const uint8_t> descriptor, const std::string& productName,
                       std::vector<HidInterfaceInfo>& out) {
  auto parsed = ParseReportDescriptor(descriptor);
  if (!parsed) {
    const std::string named = location + "#" + IdentitySuffix(attributes.vendorId, attributes.productId, interfaceNumber, 0, 1);
    Trace("hid: %s skipped: its report descriptor is unusable", named.c_str());
    return;
  }
  const std::size_t n = parsed->collections.size();
  for (std::size_t i = 0; i < n; ++i) {
    HidInterfaceInfo info;
    info.path = location + "#" + IdentitySuffix(attributes.vendorId, attributes.productId, interfaceNumber, i, n);
    info.backend = backend;
    info.vendorId = attributes.vendorId;
    info.productId = attributes.productId;
    info.release = attributes.versionNumber;
    info.interfaceNumber = interfaceNumber;
    info.collectionNumber = n > 1 ? static_cast<uint32_t>(i + 1) : 0;
    info.usagePage = parsed->collections[i].usagePage;
    info.usage = parsed->collections[i].usage;
    info.productName = productName;
    out.push_back(std::move(info));
  }
}

int SupportedRowOf(const HidInterfaceInfo& i) {
  DeviceIdEntry id;
  id.vid = i.vendorId;
  id.pid = i.productId;
  id.interfaceNumber = static_cast<uint16_t>(i.interfaceNumber);
  id.collection = static_cast<uint16_t>(i.collectionNumber);
  id.usagePage = i.usagePage;
  id.usage = i.usage;
  return FindSupportedRow(id);
}

std::vector<HidDeniedNode> ListDeniedNodes() {
  std::vector<HidDeniedNode> out;
  std::vector<std::string> tried;  // one open per node, not per collection
  for (const auto& i : ListHidInterfaces()) {
    const int row = SupportedRowOf(i);
    if (row < 0) continue;
    const std::string node = PathLocation(i.path);
    if (std::find(tried.begin(), tried.end(), node) != tried.end()) continue;
    tried.push_back(node);
    CHidDevice probe;
    if (probe.Open(i.path, true, true, true, false) || probe.LastOpenError() != EACCES) continue;
    out.push_back({node, row});
  }
  return out;
}

std::vector<HidInterfaceInfo> ListHidInterfaces() {
  std::vector<HidInterfaceInfo> out;
  const HidRoots roots = CurrentHidRoots();
  if (roots.hidrawEnabled) EnumerateHidraw(roots, out);
  EnumerateVhid(out);
  return out;
}

// Admits one I/O call on an open channel and lets Close wait for it to leave.
class HidIoScope {
 public:
  explicit HidIoScope(CHidDevice& d) : d_(d) {
    std::lock_guard<std::mutex> g(d_.ioLock_);
    if (!d_.backend_ || d_.closingNow_.load()) return;
    ++d_.ioActive_;
    admitted_ = true;
  }
  ~HidIoScope() {
    if (!admitted_) return;
    std::lock_guard<std::mutex> g(d_.ioLock_);
    if (--d_.ioActive_ == 0) d_.ioIdle_.notify_all();
  }
  explicit operator bool() const { return admitted_; }

 private:
  CHidDevice& d_;
  bool admitted_ = false;
};

CHidDevice::CHidDevice() = default;

CHidDevice::~CHidDevice() {
  Close();
  ClearPaths();
}

bool CHidDevice::Enumerate() {
  paths_.clear();
  for (auto& i : ListHidInterfaces()) paths_.push_back(std::move(i.path));
  cursor_ = 0;
  hasPathList_ = true;
  return true;
}

const char* CHidDevice::NextPath() {
  if (!hasPathList_ || cursor_ >= paths_.size()) return nullptr;
  return paths_[cursor_++].c_str();
}

void CHidDevice::ClearPaths() {
  paths_.clear();
  cursor_ = 0;
  hasPathList_ = false;
}

bool CHidDevice::IsOpen() const {
  std::lock_guard<std::mutex> g(ioLock_);
  return backend_ != nullptr;
}

bool CHidDevice::Open(const std::string& path, bool read, bool write, bool overlapped, bool exclusiveWrite) {
  Close();
  openError_ = 0;
  if (path.empty() || path.size() > kMaxPathLength || path.find('\0') != std::string::npos) {
    Trace("hid: refusing to open an empty or overlong interface path");
    return false;
  }
  read_ = read;
  write_ = write;
  overlapped_ = overlapped;
  exclusiveWrite_ = exclusiveWrite;
  path_ = path;

  const std::string location = PathLocation(path);
  HidOpenInfo info;
  std::unique_ptr<HidBackend> backend;
  if (location.rfind(kVhidPrefix, 0) == 0) {
    backend = OpenVhid(location.substr(std::strlen(kVhidPrefix)), info);
  } else {
    backend = OpenHidraw(CurrentHidRoots(), location, read, write, info);
  }
  if (!backend) {
    openError_ = info.openErrno;
    path_.clear();
    return false;
  }
  attributes_ = info.attributes;
  interfaceNumber_ = InterfaceFromPath(path);
  collectionNumber_ = CollectionFromPath(path);

  // The path must still name this device: a different device behind the same
  // node or socket is not the interface that was enumerated.
  const bool sameDevice = VidFromPath(path) == attributes_.vendorId && PidFromPath(path) == attributes_.productId;
  auto parsed = sameDevice ? ParseReportDescriptor(info.descriptor) : std::nullopt;
  if (!sameDevice) Trace("hid: %s now holds another device (%04x:%04x)", path.c_str(), attributes_.vendorId, attributes_.productId);
  std::size_t index = 0;
  bool found = false;
  if (parsed) {
    const std::size_t n = parsed->collections.size();
    if (n == 1 && collectionNumber_ == 0) {
      found = true;
    } else if (n > 1 && collectionNumber_ >= 1 && collectionNumber_ <= n) {
      index = collectionNumber_ - 1;
      found = true;
    } else {
      Trace("hid: %s names collection %u but the interface has %zu", path.c_str(), collectionNumber_, n);
    }
  }
  if (!found) {
    attributes_ = {};
    interfaceNumber_ = collectionNumber_ = 0;
    path_.clear();
    return false;
  }
  collection_ = std::make_unique<HidCollectionCaps>(std::move(parsed->collections[index]));
  backend->SetNumbered(collection_->usesReportIds);
  if (!SetupCapabilities()) {
    collection_.reset();
    attributes_ = {};
    path_.clear();
    return false;
  }
  std::lock_guard<std::mutex> g(ioLock_);
  backend_ = std::move(backend);
  return true;
}

bool CHidDevice::SetupCapabilities() {
  const HidCollectionCaps& c = *collection_;
  caps_ = {};
  caps_.usage = c.usage;
  caps_.usagePage = c.usagePage;
  caps_.inputReportByteLength = c.reportByteLength[0];
  caps_.outputReportByteLength = c.reportByteLength[1];
  caps_.featureReportByteLength = c.reportByteLength[2];
  auto n16 = [](std::size_t n) { return static_cast<uint16_t>(std::min<std::size_t>(n, 0xFFFF)); };
  caps_.numberInputButtonCaps = n16(c.buttonCaps[0].size());
  caps_.numberInputValueCaps = n16(c.valueCaps[0].size());
  caps_.numberOutputButtonCaps = n16(c.buttonCaps[1].size());
  caps_.numberOutputValueCaps = n16(c.valueCaps[1].size());
  caps_.numberFeatureButtonCaps = n16(c.buttonCaps[2].size());
  caps_.numberFeatureValueCaps = n16(c.valueCaps[2].size());
  inputReport_.assign(caps_.inputReportByteLength, 0);
  outputReport_.assign(caps_.outputReportByteLength, 0);
  featureReport_.assign(caps_.featureReportByteLength, 0);
  inputData_ = BuildDataEntries(c, HidReportType::Input);
  outputData_ = BuildDataEntries(c, HidReportType::Output);
  featureData_ = BuildDataEntries(c, HidReportType::Feature);
  return true;
}

void CHidDevice::Close() {
  std::unique_lock<std::mutex> lk(ioLock_);
  if (backend_) {
    closingNow_ = true;
    closing_.Set();
    ioIdle_.wait(lk, [&] { return ioActive_ == 0; });  // the I/O sees closing_ and leaves at once
    backend_.reset();
    closing_.Clear();
    closingNow_ = false;
  }
  collection_.reset();
  caps_ = {};
  attributes_ = {};
  inputReport_.clear();
  outputReport_.clear();
  featureReport_.clear();
  inputData_.clear();
  outputData_.clear();
  featureData_.clear();
  interfaceNumber_ = collectionNumber_ = 0;
  path_.clear();
}

// Set before the hint: a check that clears the hint in between then finds
// the signal on its next look, or its wait wakes on it.
void CHidDevice::Stop() {
  stop_.Set();
  stopHint_.store(true);
}

bool CHidDevice::TakeStop() {
  // A stale hint (a wait consumed the signal) costs one failed read.
  return stopHint_.exchange(false) && stop_.Consume();
}

// Keeps the reports of this channel's collection, in the Windows form: id
// byte first (0 when unnumbered), padded to the input report length.
bool CHidDevice::AcceptInput(std::vector<uint8_t>& report) const {
  const std::size_t len = caps_.inputReportByteLength;
  if (report.empty() || len == 0) return false;
  if (collection_->usesReportIds) {
    if (!collection_->HasReportId(HidReportType::Input, report[0])) return false;  // another collection's
  } else if (!(report.size() == len && report[0] == 0)) {
    report.insert(report.begin(), 0);
  }
  if (report.size() > len) {
    Trace("hid: %s dropped an input report of %zu bytes (longest is %zu)", path_.c_str(), report.size(), len);
    return false;
  }
  report.resize(len, 0);
  return true;
}

namespace {

// Milliseconds left before the deadline, for poll(): -1 waits forever.
int PollWait(uint32_t timeoutMs, std::chrono::steady_clock::time_point deadline) {
  if (timeoutMs == kHidInfinite) return -1;
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
  return left > 0 ? static_cast<int>(std::min<long long>(left, 1 << 30)) : 0;
}

enum class Wake { Ready, Stopped, TimedOut, HungUp };

// Waits for the channel, the stop event or closing; the stop event wins when
// several are signalled.
Wake WaitChannel(Event& stop, const Event& closing, int fd, short events, int wait) {
  for (;;) {
    pollfd p[3] = {{stop.Fd(), POLLIN, 0}, {closing.Fd(), POLLIN, 0}, {fd, events, 0}};
    const int r = ::poll(p, 3, wait);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return Wake::HungUp;
    if (r == 0) return Wake::TimedOut;
    if (p[0].revents & POLLIN) {
      if (stop.Consume()) return Wake::Stopped;
      continue;  // another waiter took the signal
    }
    if (p[1].revents & POLLIN) return Wake::Stopped;
    if (p[2].revents & events) return Wake::Ready;
    return Wake::HungUp;
  }
}

}  // namespace

bool CHidDevice::Read(uint8_t* buffer, uint32_t length, uint32_t* bytesRead, uint32_t timeoutMs) {
  if (bytesRead) *bytesRead = 0;
  HidIoScope scope(*this);
  if (!scope) return false;
  if (!read_) {
    Trace("hid: %s is not open for reading", path_.c_str());
    return false;
  }
  const uint32_t len = caps_.inputReportByteLength;
  if (!buffer || len == 0 || length < len) {
    Trace("hid: read buffer of %u bytes on %s; the input report has %u", length, path_.c_str(), len);
    return false;
  }
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs == kHidInfinite ? 0 : timeoutMs);
  std::vector<uint8_t> report;
  bool hungUp = false;
  for (;;) {
    // A pending stop wins over data that is already waiting.
    if (TakeStop() || closingNow_.load()) return false;
    const HidIo r = backend_->TryRead(report);
    if (r == HidIo::Failed) return false;
    if (r == HidIo::Done) {
      if (!AcceptInput(report)) continue;
      std::memcpy(buffer, report.data(), len);
      if (bytesRead) *bytesRead = len;
      return true;
    }
    // Time-out 0 asks only for what is already waiting.
    if (hungUp || timeoutMs == 0) return false;
    switch (WaitChannel(stop_, closing_, backend_->Fd(), POLLIN, PollWait(timeoutMs, deadline))) {
      case Wake::Ready: break;
      case Wake::HungUp: hungUp = true; break;  // take what is still buffered, then fail
      case Wake::Stopped:
      case Wake::TimedOut: return false;
    }
  }
}

bool CHidDevice::Write(const uint8_t* buffer, uint32_t length, uint32_t* bytesWritten, uint32_t timeoutMs) {
  if (bytesWritten) *bytesWritten = 0;
  HidIoScope scope(*this);
  if (!scope) return false;
  if (!write_) {
    Trace("hid: %s is not open for writing", path_.c_str());
    return false;
  }
  // Each report id goes out at its own length, not the longest report's.
  const uint32_t len = buffer != nullptr && length > 0 && collection_->usesReportIds
                           ? collection_->ReportByteLength(HidReportType::Output, buffer[0])
                           : caps_.outputReportByteLength;
  if (!buffer || length == 0 || len == 0 || length > len) {
    Trace("hid: output report of %u bytes refused on %s (its length is %u)", length, path_.c_str(), len);
    return false;
  }
  // A shorter report is sent zero-padded to its report length.
  std::vector<uint8_t> report(buffer, buffer + length);
  report.resize(len, 0);
  if (!OwnsReportId(HidReportType::Output, report[0])) return false;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs == kHidInfinite ? 0 : timeoutMs);
  for (;;) {
    if (TakeStop() || closingNow_.load()) {
      backend_->AbortWrite();
      return false;
    }
    const HidIo r = backend_->TryWrite(report);
    if (r == HidIo::Failed) return false;
    if (r == HidIo::Done) {
      if (bytesWritten) *bytesWritten = length;
      return true;
    }
    if (WaitChannel(stop_, closing_, backend_->Fd(), POLLOUT, PollWait(timeoutMs, deadline)) != Wake::Ready) {
      backend_->AbortWrite();
      return false;
    }
  }
}

namespace {

int FeatureWait(uint32_t timeoutMs) {
  return static_cast<int>(std::min<uint32_t>(timeoutMs, 1u << 30));
}

}  // namespace

// Whether id is one of this collection's reports of the type (0 when unnumbered).
bool CHidDevice::OwnsReportId(HidReportType type, uint8_t id) const {
  if (collection_->usesReportIds ? collection_->HasReportId(type, id) : id == 0) return true;
  Trace("hid: %s report id %u does not belong to %s", type == HidReportType::Output ? "output" : "feature", id,
        path_.c_str());
  return false;
}

bool CHidDevice::GetFeature(uint8_t* buffer, uint32_t length, uint32_t* bytesRead, uint32_t timeoutMs) {
  if (bytesRead) *bytesRead = 0;
  HidIoScope scope(*this);
  if (!scope) return false;
  const uint32_t len = caps_.featureReportByteLength;
  if (!buffer || len == 0 || length < len) {
    Trace("hid: feature buffer of %u bytes on %s; the feature report has %u", length, path_.c_str(), len);
    return false;
  }
  if (!OwnsReportId(HidReportType::Feature, buffer[0])) return false;
  std::vector<uint8_t> report(len, 0);
  report[0] = buffer[0];
  if (backend_->GetFeature(report, FeatureWait(timeoutMs)) != HidIo::Done || report.empty() || report[0] != buffer[0]) {
    Trace("hid: %s gave no feature report %u", path_.c_str(), buffer[0]);
    return false;
  }
  std::memcpy(buffer, report.data(), report.size());
  std::memset(buffer + report.size(), 0, len - report.size());
  if (bytesRead) *bytesRead = static_cast<uint32_t>(report.size());
  return true;
}

bool CHidDevice::SetFeature(const uint8_t* buffer, uint32_t length, uint32_t timeoutMs) {
  HidIoScope scope(*this);
  if (!scope) return false;
  const uint32_t len = caps_.featureReportByteLength;
  if (!buffer || length == 0 || len == 0 || length > len) {
    Trace("hid: feature report of %u bytes refused on %s (its length is %u)", length, path_.c_str(), len);
    return false;
  }
  if (!OwnsReportId(HidReportType::Feature, buffer[0])) return false;
  // Sent at its full length, zero-padded, as an output report is.
  std::vector<uint8_t> report(buffer, buffer + length);
  report.resize(len, 0);
  return backend_->SetFeature(report, FeatureWait(timeoutMs)) == HidIo::Done;
}

bool CHidDevice::UnpackReport(const uint8_t* report, uint32_t length, HidReportType type) {
  if (!collection_ || !report || length == 0) return false;
  std::vector<HidDataEntry>* entries = type == HidReportType::Input    ? &inputData_
                                       : type == HidReportType::Output ? &outputData_
                                                                       : &featureData_;
  return korvale::UnpackReport(*collection_, type, {report, length}, *entries);
}

}  // namespace korvale
