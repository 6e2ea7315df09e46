#include "emulator/emulator.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/timerfd.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <deque>

#include "emulator/uhid_device.h"
#include "hid/vhid_frame.h"
#include "platform/atomic_file.h"
#include "platform/trace.h"

namespace korvale::emu {

using namespace proto;
using Clock = std::chrono::steady_clock;

namespace {

// A host that stops reading for this long is dropped rather than stalling
// every other interface.
constexpr int kSendTimeoutMs = 1000;
constexpr uint32_t kDefaultLateMs = 1500;
constexpr uint32_t kDefaultZeros = 16;
constexpr std::size_t kJournalCap = 100000;

// The identity each interface reports, written down here rather than taken
// from the host's device table, so a wrong row there cannot match itself.
struct EndpointInfo {
  Endpoint e;
  const char* name;
  Product product;
  bool radio;
  uint16_t vid, pid;
  uint8_t interfaceNumber;
  const char* productName;
};

// clang-format off
constexpr EndpointInfo kEndpointInfo[] = {
  {Endpoint::Keyboard,      "keyboard",       Product::Keyboard, false, 0x320F, 0x5064, 1, "KORVALE TX730max Keyboard"},
  {Endpoint::MouseCable,    "mouse-cable",    Product::Mouse,    false, 0x320F, 0x50EF, 1, "KORVALE TX730max Mouse"},
  {Endpoint::MouseReceiver, "mouse-receiver", Product::Mouse,    true,  0x320F, 0x221D, 1, "KORVALE 2.4G Receiver"},
  {Endpoint::Mousepad,      "mousepad",       Product::Mousepad, false, 0x320F, 0x1004, 1, "KORVALE TX730max Mousepad"},
  {Endpoint::Headset,       "headset",        Product::Headset,  false, 0x0C76, 0x1630, 3, "KORVALE TX730max Headset"},
};
// clang-format on

// The event array reports usage minimum + (value - logical minimum): the two
// minima differ, so a host that reads the raw bytes gets a wrong code.
constexpr uint16_t kEventLogicalMin = 1;
constexpr uint16_t kEventUsageMin = 0;
constexpr uint16_t kEventUsageMax = 0x1FFF;

const EndpointInfo& InfoOf(Endpoint e) {
  for (const auto& i : kEndpointInfo) {
    if (i.e == e) return i;
  }
  return kEndpointInfo[0];
}

// Short-item encoder for report descriptors.
class Desc {
 public:
  Desc& Item(uint8_t tag, uint32_t v) {
    if (v <= 0xFF) {
      d_.push_back(static_cast<uint8_t>(tag | 1));
      d_.push_back(static_cast<uint8_t>(v));
    } else if (v <= 0xFFFF) {
      d_.push_back(static_cast<uint8_t>(tag | 2));
      d_.push_back(static_cast<uint8_t>(v));
      d_.push_back(static_cast<uint8_t>(v >> 8));
    } else {
      d_.push_back(static_cast<uint8_t>(tag | 3));
      for (int s = 0; s < 32; s += 8) d_.push_back(static_cast<uint8_t>(v >> s));
    }
    return *this;
  }
  Desc& UsagePage(uint32_t v) { return Item(0x04, v); }
  Desc& Usage(uint32_t v) { return Item(0x08, v); }
  Desc& UsageMin(uint32_t v) { return Item(0x18, v); }
  Desc& UsageMax(uint32_t v) { return Item(0x28, v); }
  Desc& LogicalMin(uint32_t v) { return Item(0x14, v); }
  Desc& LogicalMax(uint32_t v) { return Item(0x24, v); }
  Desc& ReportSize(uint32_t v) { return Item(0x74, v); }
  Desc& ReportCount(uint32_t v) { return Item(0x94, v); }
  Desc& ReportId(uint32_t v) { return Item(0x84, v); }
  Desc& Input(uint32_t v) { return Item(0x80, v); }
  Desc& Output(uint32_t v) { return Item(0x90, v); }
  Desc& Application() { return Item(0xA0, 0x01); }
  Desc& End() {
    d_.push_back(0xC0);
    return *this;
  }
  // 16-bit consumer usage array: the event code is the first usage.
  Desc& EventArray(uint8_t reportId) {
    return ReportId(reportId).LogicalMin(kEventLogicalMin)
        .LogicalMax(kEventLogicalMin + kEventUsageMax - kEventUsageMin)
        .UsageMin(kEventUsageMin).UsageMax(kEventUsageMax).ReportSize(16).ReportCount(1).Input(0x00);
  }
  // 63-byte vendor input and output of report id 4.
  Desc& CommandReports() {
    return ReportId(kCommandReportId).UsagePage(0xFF1C).LogicalMin(0).LogicalMax(0xFF)
        .ReportSize(8).ReportCount(kPacketSize - 1).Usage(0x01).Input(0x02)
        .Usage(0x02).Output(0x02);
  }
  std::vector<uint8_t> Bytes() const { return d_; }

 private:
  std::vector<uint8_t> d_;
};

}  // namespace

std::vector<uint8_t> CommandInterfaceDescriptor() {
  Desc d;
  // 1: system control
  d.UsagePage(0x01).Usage(0x80).Application().ReportId(0x01).UsageMin(0x81).UsageMax(0x83)
      .LogicalMin(0).LogicalMax(1).ReportSize(1).ReportCount(3).Input(0x02)
      .ReportCount(5).Input(0x01).End();
  // 2: keyboard bitmap (macro output of the device)
  d.UsagePage(0x01).Usage(0x06).Application().ReportId(0x02).UsagePage(0x07).UsageMin(0)
      .UsageMax(0x77).LogicalMin(0).LogicalMax(1).ReportSize(1).ReportCount(0x78).Input(0x02)
      .End();
  // 3: consumer control, the event collection
  d.UsagePage(0x0C).Usage(0x01).Application().EventArray(kEventReportId).End();
  // 4: vendor command collection
  d.UsagePage(0xFF1C).Usage(0x92).Application().CommandReports().End();
  return d.Bytes();
}

std::vector<uint8_t> HeadsetDescriptor() {
  Desc d;
  d.UsagePage(0x0C).Usage(0x01).Application().EventArray(kHeadsetEventReportId)
      .CommandReports()
      .ReportId(kHeadsetLedReportId).Usage(0x03).ReportCount(kHeadsetLedReportSize - 1)
      .Output(0x02).End();
  return d.Bytes();
}

const char* EndpointName(Endpoint e) { return InfoOf(e).name; }
Product EndpointProduct(Endpoint e) { return InfoOf(e).product; }
uint16_t EndpointVendorId(Endpoint e) { return InfoOf(e).vid; }
uint16_t EndpointProductId(Endpoint e) { return InfoOf(e).pid; }
uint8_t EndpointInterface(Endpoint e) { return InfoOf(e).interfaceNumber; }

std::optional<Endpoint> ParseEndpoint(const std::string& name) {
  if (name == "mouse") return Endpoint::MouseReceiver;
  for (const auto& i : kEndpointInfo) {
    if (name == i.name) return i.e;
  }
  return std::nullopt;
}

const char* FaultKindName(FaultKind k) {
  switch (k) {
    case FaultKind::None: return "none";
    case FaultKind::NoAnswer: return "no-answer";
    case FaultKind::LateAnswer: return "late";
    case FaultKind::WrongCode: return "wrong-code";
    case FaultKind::StatusFF: return "status-ff";
    case FaultKind::StatusFE: return "status-fe";
    case FaultKind::Unplug: return "unplug";
    case FaultKind::Garbage: return "garbage";
    case FaultKind::WrongOffset: return "wrong-offset";
    case FaultKind::Zeros: return "zeros";
    case FaultKind::Events: return "events";
  }
  return "?";
}

std::optional<FaultKind> ParseFaultKind(const std::string& name) {
  for (FaultKind k : {FaultKind::None, FaultKind::NoAnswer, FaultKind::LateAnswer,
                      FaultKind::WrongCode, FaultKind::StatusFF, FaultKind::StatusFE,
                      FaultKind::Unplug, FaultKind::Garbage, FaultKind::WrongOffset,
                      FaultKind::Zeros, FaultKind::Events}) {
    if (name == FaultKindName(k)) return k;
  }
  return std::nullopt;
}

struct Emulator::Client {
  int fd = -1;
  vhid::FrameReader reader;
};

struct Emulator::Iface {
  Endpoint e;
  const EndpointInfo* info;
  int listenFd = -1;
  int uhidFd = -1;  // the kernel HID device, when served through uhid
  bool Plugged() const { return listenFd >= 0 || uhidFd >= 0; }
  std::vector<std::unique_ptr<Client>> clients;
  Fault fault;
  Clock::time_point linkFreeAt{};
  // How long after its due time the last answer went out; the next command
  // counts as sent that much earlier (see OnCommand).
  Clock::duration answerLate{};
  std::deque<Report> journal;
  std::deque<uint8_t> journalStatus;  // the status byte each command was answered with
};

struct Emulator::Pending {
  Clock::time_point due;
  Endpoint e;
  std::vector<uint8_t> report;
};

Emulator::Emulator(std::filesystem::path busDir) : dir_(std::move(busDir)) {
  wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  timerFd_ = ::timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
}

Emulator::~Emulator() {
  Stop();
  if (wakeFd_ >= 0) ::close(wakeFd_);
  if (timerFd_ >= 0) ::close(timerFd_);
}

void Emulator::UseUhid(std::filesystem::path uhidNode) {
  std::lock_guard lock(mu_);
  uhidNode_ = std::move(uhidNode);
}

std::vector<uint8_t> Emulator::DescriptorOf(const Iface& i) const {
  return i.info->product == Product::Headset ? HeadsetDescriptor() : CommandInterfaceDescriptor();
}

void Emulator::Add(Endpoint e) {
  std::lock_guard lock(mu_);
  if (Find(e)) return;
  auto i = std::make_unique<Iface>();
  i->e = e;
  i->info = &InfoOf(e);
  ifaces_.push_back(std::move(i));
  const Product p = EndpointProduct(e);
  if (!models_.count(p)) models_[p] = std::make_unique<DeviceModel>(p);
}

Emulator::Iface* Emulator::Find(Endpoint e) const {
  for (const auto& i : ifaces_) {
    if (i->e == e) return i.get();
  }
  return nullptr;
}

std::vector<Endpoint> Emulator::Endpoints() const {
  std::lock_guard lock(mu_);
  std::vector<Endpoint> v;
  for (const auto& i : ifaces_) v.push_back(i->e);
  return v;
}

std::filesystem::path Emulator::SocketPath(Endpoint e) const {
  return dir_ / (std::string(EndpointName(e)) + vhid::kSocketSuffix);
}

bool Emulator::Start() {
  std::lock_guard lock(mu_);
  if (running_) return true;
  if (wakeFd_ < 0 || timerFd_ < 0) {
    Trace("emulator: no wake-up descriptor: %s", std::strerror(errno));
    return false;
  }
  std::error_code ec;
  if (uhidNode_.empty()) std::filesystem::create_directories(dir_, ec);
  for (auto& i : ifaces_) {
    if (!PlugLocked(*i)) {
      for (auto& j : ifaces_) UnplugLocked(*j);
      return false;
    }
  }
  stop_ = false;
  running_ = true;
  thread_ = std::thread([this] { Loop(); });
  return true;
}

void Emulator::Stop() {
  {
    std::lock_guard lock(mu_);
    if (!running_) return;
    stop_ = true;
  }
  Wake();
  if (thread_.joinable()) thread_.join();
  std::lock_guard lock(mu_);
  for (auto& i : ifaces_) UnplugLocked(*i);
  pending_.clear();
  running_ = false;
  if (!stateFile_.empty()) SaveStateLocked();
}

void Emulator::Wake() {
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t n = ::write(wakeFd_, &one, sizeof one);
}

bool Emulator::PlugLocked(Iface& i) {
  if (i.Plugged()) return true;
  if (!uhidNode_.empty()) {
    UhidIdentity id;
    id.name = i.info->productName;
    // usbhid ends the physical path with the interface number; so do we.
    id.phys = std::string("usb-korvale-emu-") + i.info->name + "/input" + std::to_string(EndpointInterface(i.e));
    id.vendorId = EndpointVendorId(i.e);
    id.productId = EndpointProductId(i.e);
    id.version = 0x0100;
    id.descriptor = DescriptorOf(i);
    i.uhidFd = UhidCreate(uhidNode_, id);
    if (i.uhidFd < 0) return false;
    i.linkFreeAt = Clock::time_point{};
    i.answerLate = {};
    ++generation_;
    return true;
  }
  const std::string path = SocketPath(i.e).string();
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  if (path.size() >= sizeof addr.sun_path) {
    Trace("emulator: socket path too long: %s", path.c_str());
    return false;
  }
  std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    Trace("emulator: socket: %s", std::strerror(errno));
    return false;
  }
  ::unlink(path.c_str());
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 16) != 0) {
    Trace("emulator: cannot listen on %s: %s", path.c_str(), std::strerror(errno));
    ::close(fd);
    return false;
  }
  i.listenFd = fd;
  i.linkFreeAt = Clock::time_point{};
  i.answerLate = {};
  ++generation_;
  return true;
}

void Emulator::UnplugLocked(Iface& i) {
  if (i.uhidFd >= 0) {
    UhidDestroy(i.uhidFd);
    i.uhidFd = -1;
  }
  if (i.listenFd >= 0) {
    ::unlink(SocketPath(i.e).c_str());
    ::close(i.listenFd);
    i.listenFd = -1;
  }
  for (auto& c : i.clients) ::close(c->fd);
  i.clients.clear();
  std::erase_if(pending_, [&](const Pending& p) { return p.e == i.e; });
  ++generation_;
}

bool Emulator::Plug(Endpoint e, bool plugged) {
  bool ok = true;
  {
    std::lock_guard lock(mu_);
    Iface* i = Find(e);
    if (!i) return false;
    if (plugged) {
      ok = PlugLocked(*i);
    } else {
      UnplugLocked(*i);
    }
  }
  Wake();
  return ok;
}

bool Emulator::IsPlugged(Endpoint e) const {
  std::lock_guard lock(mu_);
  Iface* i = Find(e);
  return i && i->Plugged();
}

void Emulator::SendInputLocked(Iface& i, const std::vector<uint8_t>& report) {
  if (i.uhidFd >= 0) {
    UhidInput(i.uhidFd, report);
    return;
  }
  const auto frame = vhid::EncodeFrame(vhid::FrameType::Input, report);
  bool dropped = false;
  for (auto& c : i.clients) {
    if (!vhid::SendAll(c->fd, frame)) {
      ::close(c->fd);
      c->fd = -1;
      dropped = true;
    }
  }
  if (dropped) {
    std::erase_if(i.clients, [](const auto& c) { return c->fd < 0; });
    ++generation_;
  }
}

void Emulator::ScheduleLocked(Iface& i, Clock::time_point due, std::vector<uint8_t> report) {
  if (due <= Clock::now()) {
    SendInputLocked(i, report);
    return;
  }
  pending_.push_back({due, i.e, std::move(report)});
}

bool Emulator::SendEventLocked(Product p, uint16_t code) {
  bool any = false;
  for (auto& i : ifaces_) {
    if (i->info->product != p || !i->Plugged()) continue;
    if (i->info->radio && !linkUp_) continue;
    if (code > kEventUsageMax) return false;
    const uint8_t id = p == Product::Headset ? kHeadsetEventReportId : kEventReportId;
    const uint16_t value = static_cast<uint16_t>(code - kEventUsageMin + kEventLogicalMin);
    SendInputLocked(*i, {id, static_cast<uint8_t>(value & 0xFF), static_cast<uint8_t>(value >> 8)});
    any = true;
  }
  return any;
}

bool Emulator::SendEvent(Endpoint e, uint16_t code) {
  bool ok;
  {
    std::lock_guard lock(mu_);
    if (!Find(e)) return false;
    ok = SendEventLocked(EndpointProduct(e), code);
  }
  Wake();
  return ok;
}

bool Emulator::Key(Endpoint e, uint16_t position, bool down) {
  if (position > 0xFF) return false;
  return SendEvent(e, static_cast<uint16_t>((down ? kEventKeyDown : kEventKeyUp) + position));
}

bool Emulator::SetProfile(Endpoint e, uint8_t profile, std::optional<uint8_t> value) {
  if (profile > 0x0F || (value && *value > 0x0F)) return false;
  bool ok;
  {
    std::lock_guard lock(mu_);
    if (!Find(e)) return false;
    const Product p = EndpointProduct(e);
    models_[p]->config[kActiveRecordOffset] = profile;
    // The mouse's own record (128 bytes apart) holds the stage it switched to at byte 12.
    const std::size_t stageByte = std::size_t{profile} * 128 + 12;
    if (p == Product::Mouse && value && stageByte < models_[p]->config.size())
      models_[p]->config[stageByte] = *value;
    const uint16_t code = value ? static_cast<uint16_t>(kEventProfileEx | (*value << 4) | profile)
                                : static_cast<uint16_t>(kEventProfile | profile);
    ok = SendEventLocked(p, code);
  }
  Wake();
  return ok;
}

void Emulator::SetLink(bool up) {
  std::lock_guard lock(mu_);
  linkUp_ = up;
  linkDownAfter_.reset();
}

void Emulator::SetLinkDownAfter(uint32_t after) {
  std::lock_guard lock(mu_);
  linkUp_ = true;
  linkDownAfter_ = after;
}

bool Emulator::LinkUp() const {
  std::lock_guard lock(mu_);
  return linkUp_;
}

bool Emulator::SetFault(Endpoint e, Fault f) {
  std::lock_guard lock(mu_);
  Iface* i = Find(e);
  if (!i) return false;
  i->fault = f;
  return true;
}

void Emulator::SetReportCost(std::chrono::microseconds cost) {
  std::lock_guard lock(mu_);
  cost_ = cost;
}

std::vector<Report> Emulator::Journal(Endpoint e) const {
  std::lock_guard lock(mu_);
  Iface* i = Find(e);
  if (!i) return {};
  return {i->journal.begin(), i->journal.end()};
}

std::vector<uint8_t> Emulator::JournalStatus(Endpoint e) const {
  std::lock_guard lock(mu_);
  Iface* i = Find(e);
  if (!i) return {};
  return {i->journalStatus.begin(), i->journalStatus.end()};
}

void Emulator::ClearJournal(Endpoint e) {
  std::lock_guard lock(mu_);
  if (Iface* i = Find(e)) {
    i->journal.clear();
    i->journalStatus.clear();
  }
}

void Emulator::WithModel(Product p, const std::function<void(DeviceModel&)>& f) {
  std::lock_guard lock(mu_);
  auto it = models_.find(p);
  if (it != models_.end()) f(*it->second);
}

void Emulator::OnCommand(Iface& i, const std::vector<uint8_t>& report) {
  Report in{};
  std::memcpy(in.data(), report.data(), std::min(report.size(), in.size()));
  i.journal.push_back(in);
  if (i.journal.size() > kJournalCap) i.journal.pop_front();

  DeviceModel& model = *models_[i.info->product];
  Report answer;
  if (i.info->radio && linkDownAfter_) {
    if (*linkDownAfter_ == 0) {
      linkUp_ = false;
      linkDownAfter_.reset();
    } else {
      --*linkDownAfter_;
    }
  }
  if (i.info->radio && !linkUp_) {
    // The receiver cannot reach the mouse: it answers for it.
    answer.fill(0);
    answer[kOffReportId] = kCommandReportId;
    answer[kOffCommand] = kNotLinked;
    SealPacket(answer.data());
  } else {
    const uint32_t before = model.endConfigCount;
    answer = model.Handle(report, i.info->radio);
    if (model.endConfigCount != before && !stateFile_.empty()) SaveStateLocked();
    if (i.info->radio && in[kOffLength] > kRadioMaxData) {
      Trace("emulator: %s: a packet of %u data bytes is longer than the radio carries; refused",
            EndpointName(i.e), in[kOffLength]);
    }
  }
  i.journalStatus.push_back(answer[kOffStatus]);
  if (i.journalStatus.size() > kJournalCap) i.journalStatus.pop_front();

  // Link timing: the command and its answer each occupy the link for one
  // report time. The link keeps its own clock: however late this thread sent
  // the last answer, the host saw it at its due time, so the command that
  // follows counts as sent that much earlier. Only the host's own time
  // between an answer and its next command is added to the link's.
  const auto sent = Clock::now() - i.answerLate;
  i.answerLate = {};
  auto due = std::max(sent, i.linkFreeAt) + 2 * cost_;
  if (cost_.count() > 0) i.linkFreeAt = due;

  Fault& f = i.fault;
  std::vector<std::vector<uint8_t>> out;
  const auto asVec = [](const Report& r) { return std::vector<uint8_t>(r.begin(), r.end()); };
  const bool targeted = f.command < 0 || f.command == in[kOffCommand];
  if (f.kind != FaultKind::None && (!targeted || f.after > 0)) {
    if (targeted) --f.after;
    ScheduleLocked(i, due, asVec(answer));
    return;
  }
  switch (f.kind) {
    case FaultKind::None: out.push_back(asVec(answer)); break;
    case FaultKind::NoAnswer: break;
    case FaultKind::LateAnswer:
      due += std::chrono::milliseconds(f.param ? f.param : kDefaultLateMs);
      out.push_back(asVec(answer));
      break;
    case FaultKind::WrongCode: {
      Report foreign = answer;
      foreign[kOffCommand] = static_cast<uint8_t>(in[kOffCommand] ^ 0x40);
      SealPacket(foreign.data());
      for (uint32_t n = 0; n < std::max<uint32_t>(1, f.param); ++n) out.push_back(asVec(foreign));
      break;
    }
    case FaultKind::StatusFF:
    case FaultKind::StatusFE:
      answer[kOffStatus] = f.kind == FaultKind::StatusFF ? kStatusFF : kStatusFE;
      SealPacket(answer.data());
      out.push_back(asVec(answer));
      break;
    case FaultKind::WrongOffset: {
      Report moved = answer;
      SetPacketOffset(moved.data(), static_cast<uint16_t>(PacketOffset(in.data()) + (f.param ? f.param : 1)));
      SealPacket(moved.data());
      out.push_back(asVec(moved));
      break;
    }
    case FaultKind::Zeros:
      // Bare reports of the command report id, zero after it.
      for (uint32_t n = 0; n < (f.param ? f.param : kDefaultZeros); ++n) {
        std::vector<uint8_t> zero(kPacketSize, 0);
        zero[kOffReportId] = kCommandReportId;
        out.push_back(std::move(zero));
      }
      break;
    case FaultKind::Events:
      // Change events between the command and its answer, as a device
      // whose events share the command collection sends them.
      for (uint32_t n = 0; n < (f.param ? f.param : 3); ++n)
        out.push_back({static_cast<uint8_t>(i.info->product == Product::Headset ? 0x01 : 0x03), 0x01, 0x04});
      out.push_back(asVec(answer));
      break;
    case FaultKind::Unplug:
      f = Fault{};
      UnplugLocked(i);
      return;
    case FaultKind::Garbage: {
      // Random bytes of a random length, too short or too long for the
      // report now and then, carrying the command report id.
      auto next = [this] {
        garbageSeed_ = garbageSeed_ * 1664525u + 1013904223u;
        return static_cast<uint8_t>(garbageSeed_ >> 24);
      };
      std::vector<uint8_t> junk(1 + next() % (kPacketSize + kPacketSize / 2));
      for (auto& b : junk) b = next();
      junk[0] = kCommandReportId;
      if (junk.size() > kOffCommand) junk[kOffCommand] = static_cast<uint8_t>(in[kOffCommand] ^ 0x40);
      out.push_back(std::move(junk));
      out.push_back(asVec(answer));
      break;
    }
  }
  if (f.kind != FaultKind::None && f.kind != FaultKind::Unplug && f.count > 0 && --f.count == 0) {
    f = Fault{};
  }
  for (auto& r : out) ScheduleLocked(i, due, std::move(r));
}

void Emulator::OnOutput(Iface& i, const std::vector<uint8_t>& report) {
  if (report.empty()) return;
  if (report[0] == kCommandReportId) {
    OnCommand(i, report);
  } else if (report[0] == kHeadsetLedReportId && i.info->product == Product::Headset) {
    if (!models_[Product::Headset]->HandleLedReport(report)) {
      ++models_[Product::Headset]->ledRefused;
      Trace("emulator: malformed LED report of %zu bytes", report.size());
    }
  }
}

bool Emulator::OnUhidEvent(Iface& i) {
  bool failed = false;
  auto r = UhidReadRequest(i.uhidFd, failed);
  if (failed) {
    Trace("emulator: %s: the uhid device failed", EndpointName(i.e));
    return false;
  }
  if (!r) return true;
  switch (r->kind) {
    case UhidRequest::Kind::Output: OnOutput(i, r->data); break;
    case UhidRequest::Kind::GetReport: {
      // No feature reports, as on the bus: the bare report id.
      const uint8_t id = r->reportNumber;
      UhidReplyGetReport(i.uhidFd, r->id, 0, std::span(&id, 1));
      break;
    }
    case UhidRequest::Kind::SetReport: UhidReplySetReport(i.uhidFd, r->id, 0); break;
    case UhidRequest::Kind::Other: break;
  }
  return true;
}

void Emulator::OnFrame(Iface& i, Client& c, uint8_t type, const std::vector<uint8_t>& payload) {
  switch (static_cast<vhid::FrameType>(type)) {
    case vhid::FrameType::GetInfo: {
      vhid::InfoBlock info;
      info.vendorId = EndpointVendorId(i.e);
      info.productId = EndpointProductId(i.e);
      info.release = 0x0100;
      info.interfaceNumber = EndpointInterface(i.e);
      info.descriptor = DescriptorOf(i);
      info.productName = i.info->productName;
      const auto frame = vhid::EncodeFrame(vhid::FrameType::Info, vhid::EncodeInfo(info));
      if (!vhid::SendAll(c.fd, frame)) {
        ::close(c.fd);
        c.fd = -1;
      }
      break;
    }
    case vhid::FrameType::Output:
      OnOutput(i, payload);
      break;
    case vhid::FrameType::GetFeature: {
      // No feature reports: answer with the bare report id.
      const uint8_t id = payload.empty() ? 0 : payload[0];
      const auto frame = vhid::EncodeFrame(vhid::FrameType::Feature, std::span(&id, 1));
      if (!vhid::SendAll(c.fd, frame)) {
        ::close(c.fd);
        c.fd = -1;
      }
      break;
    }
    default: break;  // SET_FEATURE and unknown types change nothing
  }
}

namespace {

// Arms the timer for an absolute time on the steady clock (CLOCK_MONOTONIC);
// the epoch disarms it.
void ArmAt(int timerFd, Clock::time_point at) {
  itimerspec spec{};
  if (at != Clock::time_point{}) {
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(at.time_since_epoch()).count();
    // An absolute zero would disarm: a time that early is simply due.
    spec.it_value.tv_sec = static_cast<time_t>(ns / 1000000000);
    spec.it_value.tv_nsec = std::max<long>(1, static_cast<long>(ns % 1000000000));
  }
  ::timerfd_settime(timerFd, TFD_TIMER_ABSTIME, &spec, nullptr);
}

}  // namespace

void Emulator::Loop() {
  // Answers are due at exact times under the link model: a timer on the
  // absolute due time (timer descriptors have no slack), so the time spent
  // serving does not add up.
  std::vector<pollfd> fds;
  // What each pollfd stands for: interface index and client index (-1 = listener).
  std::vector<std::pair<std::size_t, long>> owners;
  std::vector<uint8_t> buf(8192);
  Clock::time_point armed{};
  for (;;) {
    uint64_t gen;
    {
      std::unique_lock lock(mu_);
      if (stop_) return;
      // Due answers first.
      const auto now = Clock::now();
      std::sort(pending_.begin(), pending_.end(),
                [](const Pending& a, const Pending& b) { return a.due < b.due; });
      std::size_t sent = 0;
      for (; sent < pending_.size() && pending_[sent].due <= now; ++sent) {
        Iface* i = Find(pending_[sent].e);
        if (!i) continue;
        SendInputLocked(*i, pending_[sent].report);
        i->answerLate = now - pending_[sent].due;
      }
      pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(sent));
      const Clock::time_point next = pending_.empty() ? Clock::time_point{} : pending_.front().due;
      if (next != armed) {
        ArmAt(timerFd_, next);
        armed = next;
      }
      fds.clear();
      owners.clear();
      fds.push_back({wakeFd_, POLLIN, 0});
      owners.emplace_back(0, -2);
      fds.push_back({timerFd_, POLLIN, 0});
      owners.emplace_back(0, -4);
      for (std::size_t k = 0; k < ifaces_.size(); ++k) {
        Iface& i = *ifaces_[k];
        if (i.uhidFd >= 0) {
          fds.push_back({i.uhidFd, POLLIN, 0});
          owners.emplace_back(k, -3);
          continue;
        }
        if (i.listenFd < 0) continue;
        fds.push_back({i.listenFd, POLLIN, 0});
        owners.emplace_back(k, -1);
        for (std::size_t c = 0; c < i.clients.size(); ++c) {
          fds.push_back({i.clients[c]->fd, POLLIN, 0});
          owners.emplace_back(k, static_cast<long>(c));
        }
      }
      gen = generation_;
    }

    const int n = ::poll(fds.data(), fds.size(), -1);
    if (n < 0 && errno != EINTR) {
      Trace("emulator: poll: %s", std::strerror(errno));
      return;
    }
    if (n <= 0) continue;
    for (int k = 0; k < 2; ++k) {
      if (!(fds[k].revents & POLLIN)) continue;
      uint64_t v;
      [[maybe_unused]] ssize_t r = ::read(fds[k].fd, &v, sizeof v);
    }
    if (fds[1].revents & POLLIN) armed = {};  // expired: whatever comes next is armed anew

    std::lock_guard lock(mu_);
    if (stop_) return;
    if (gen != generation_) continue;  // sockets changed meanwhile: look again
    std::vector<std::pair<std::size_t, int>> dead;  // interface, client fd
    for (std::size_t k = 2; k < fds.size(); ++k) {
      if (!fds[k].revents) continue;
      if (gen != generation_) break;  // a command unplugged something
      Iface& i = *ifaces_[owners[k].first];
      if (owners[k].second == -3) {
        if (!OnUhidEvent(i)) UnplugLocked(i);
        if (gen != generation_) break;  // a command unplugged something
        continue;
      }
      if (owners[k].second == -1) {
        const int cfd = ::accept4(i.listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (cfd >= 0) {
          timeval tv{kSendTimeoutMs / 1000, (kSendTimeoutMs % 1000) * 1000};
          ::setsockopt(cfd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
          auto c = std::make_unique<Client>();
          c->fd = cfd;
          i.clients.push_back(std::move(c));
          ++generation_;
        }
        continue;
      }
      Client& c = *i.clients[static_cast<std::size_t>(owners[k].second)];
      const ssize_t got = ::recv(c.fd, buf.data(), buf.size(), MSG_DONTWAIT);
      if (got == 0 || (got < 0 && errno != EAGAIN && errno != EINTR)) {
        dead.emplace_back(owners[k].first, c.fd);
        continue;
      }
      if (got < 0) continue;
      c.reader.Feed(std::span(buf.data(), static_cast<std::size_t>(got)));
      bool gone = false;
      while (auto frame = c.reader.Pop()) {
        OnFrame(i, c, frame->type, frame->payload);
        // An unplug or a dropped host may have destroyed c: look no further.
        if (gen != generation_) {
          gone = true;
          break;
        }
        if (c.fd < 0) break;
      }
      if (gone) break;
      if (c.reader.Broken()) {
        Trace("emulator: %s: oversized frame, connection closed", EndpointName(i.e));
        dead.emplace_back(owners[k].first, c.fd);
      }
    }
    for (auto& [k, fd] : dead) {
      if (k >= ifaces_.size()) continue;
      auto& clients = ifaces_[k]->clients;
      for (auto& c : clients) {
        if (c->fd == fd && fd >= 0) {
          ::close(fd);
          c->fd = -1;
        }
      }
    }
    for (auto& i : ifaces_) {
      const auto before = i->clients.size();
      std::erase_if(i->clients, [](const auto& c) { return c->fd < 0; });
      if (i->clients.size() != before) ++generation_;
    }
  }
}

bool Emulator::SetStateFile(const std::filesystem::path& file) {
  std::lock_guard lock(mu_);
  stateFile_ = file;
  const auto bytes = ReadFileBytes(file);
  if (!bytes) return true;  // first run: defaults
  // Layout: per model, u8 product, u32 LE size, image.
  std::span<const uint8_t> all(reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size());
  std::map<Product, std::span<const uint8_t>> images;
  std::size_t at = 0;
  while (at < all.size()) {
    if (all.size() - at < 5) {
      Trace("emulator: state file %s is truncated; defaults kept", file.c_str());
      return false;
    }
    const uint8_t p = all[at];
    uint32_t n = 0;
    for (int s = 0; s < 4; ++s) n |= uint32_t{all[at + 1 + s]} << (8 * s);
    at += 5;
    if (p > static_cast<uint8_t>(Product::Headset) || all.size() - at < n) {
      Trace("emulator: state file %s is damaged; defaults kept", file.c_str());
      return false;
    }
    images[static_cast<Product>(p)] = all.subspan(at, n);
    at += n;
  }
  bool ok = true;
  for (auto& [p, image] : images) {
    auto it = models_.find(p);
    if (it == models_.end()) continue;
    if (!it->second->Deserialize(image)) {
      Trace("emulator: state of the %s in %s is not valid; defaults kept", ProductName(p),
            file.c_str());
      ok = false;
    }
  }
  return ok;
}

bool Emulator::SaveState() {
  std::lock_guard lock(mu_);
  return SaveStateLocked();
}

bool Emulator::SaveStateLocked() {
  if (stateFile_.empty()) return false;
  // Models not served this time keep their saved image.
  std::map<uint8_t, std::string> images;
  if (const auto old = ReadFileBytes(stateFile_)) {
    std::size_t at = 0;
    const std::string& s = *old;
    while (s.size() - at >= 5) {
      uint32_t n = 0;
      for (int k = 0; k < 4; ++k) n |= uint32_t{static_cast<uint8_t>(s[at + 1 + k])} << (8 * k);
      if (s.size() - at - 5 < n) break;
      images[static_cast<uint8_t>(s[at])] = s.substr(at + 5, n);
      at += 5 + n;
    }
  }
  for (auto& [p, m] : models_) {
    const auto img = m->Serialize();
    images[static_cast<uint8_t>(p)] = std::string(img.begin(), img.end());
  }
  std::string out;
  for (auto& [p, img] : images) {
    out.push_back(static_cast<char>(p));
    for (int s = 0; s < 32; s += 8) out.push_back(static_cast<char>(img.size() >> s));
    out += img;
  }
  return WriteFileAtomic(stateFile_, out);
}

}  // namespace korvale::emu
