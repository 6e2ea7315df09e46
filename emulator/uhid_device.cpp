#include "emulator/uhid_device.h"

#include <fcntl.h>
#include <linux/input.h>
#include <linux/uhid.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "platform/trace.h"

namespace korvale::emu {

namespace {

// uhid takes one whole event per write and never a partial one.
bool WriteEvent(int fd, const uhid_event& ev) {
  for (;;) {
    const ssize_t n = ::write(fd, &ev, sizeof ev);
    if (n == static_cast<ssize_t>(sizeof ev)) return true;
    if (n < 0 && errno == EINTR) continue;
    Trace("emulator: uhid event %u not taken: %s", ev.type, n < 0 ? std::strerror(errno) : "short write");
    return false;
  }
}

void CopyText(uint8_t* to, std::size_t room, const std::string& s) {
  const std::size_t n = std::min(room - 1, s.size());
  std::memcpy(to, s.data(), n);
  to[n] = 0;
}

}  // namespace

int UhidCreate(const std::filesystem::path& node, const UhidIdentity& id) {
  if (id.descriptor.size() > HID_MAX_DESCRIPTOR_SIZE) {
    Trace("emulator: report descriptor of %zu bytes is too long for uhid", id.descriptor.size());
    return -1;
  }
  const int fd = ::open(node.c_str(), O_RDWR | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    Trace("emulator: cannot open %s: %s", node.c_str(), std::strerror(errno));
    return -1;
  }
  auto ev = std::make_unique<uhid_event>();
  std::memset(ev.get(), 0, sizeof *ev);
  ev->type = UHID_CREATE2;
  uhid_create2_req& c = ev->u.create2;
  CopyText(c.name, sizeof c.name, id.name);
  CopyText(c.phys, sizeof c.phys, id.phys);
  c.rd_size = static_cast<uint16_t>(id.descriptor.size());
  c.bus = BUS_USB;
  c.vendor = id.vendorId;
  c.product = id.productId;
  c.version = id.version;
  std::memcpy(c.rd_data, id.descriptor.data(), id.descriptor.size());
  if (!WriteEvent(fd, *ev)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

void UhidDestroy(int fd) {
  if (fd < 0) return;
  uhid_event ev{};
  ev.type = UHID_DESTROY;
  WriteEvent(fd, ev);
  ::close(fd);
}

bool UhidInput(int fd, std::span<const uint8_t> report) {
  if (report.size() > UHID_DATA_MAX) return false;
  auto ev = std::make_unique<uhid_event>();
  std::memset(ev.get(), 0, sizeof *ev);
  ev->type = UHID_INPUT2;
  ev->u.input2.size = static_cast<uint16_t>(report.size());
  std::memcpy(ev->u.input2.data, report.data(), report.size());
  return WriteEvent(fd, *ev);
}

std::optional<UhidRequest> UhidReadRequest(int fd, bool& failed) {
  failed = false;
  auto ev = std::make_unique<uhid_event>();
  for (;;) {
    const ssize_t n = ::read(fd, ev.get(), sizeof *ev);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return std::nullopt;
    if (n <= 0) {
      failed = true;
      return std::nullopt;
    }
    break;
  }
  UhidRequest r;
  switch (ev->type) {
    case UHID_OUTPUT: {
      r.kind = UhidRequest::Kind::Output;
      r.reportType = ev->u.output.rtype;
      const std::size_t size = std::min<std::size_t>(ev->u.output.size, UHID_DATA_MAX);
      r.data.assign(ev->u.output.data, ev->u.output.data + size);
      break;
    }
    case UHID_GET_REPORT:
      r.kind = UhidRequest::Kind::GetReport;
      r.id = ev->u.get_report.id;
      r.reportNumber = ev->u.get_report.rnum;
      r.reportType = ev->u.get_report.rtype;
      break;
    case UHID_SET_REPORT: {
      r.kind = UhidRequest::Kind::SetReport;
      r.id = ev->u.set_report.id;
      r.reportNumber = ev->u.set_report.rnum;
      r.reportType = ev->u.set_report.rtype;
      const std::size_t size = std::min<std::size_t>(ev->u.set_report.size, UHID_DATA_MAX);
      r.data.assign(ev->u.set_report.data, ev->u.set_report.data + size);
      break;
    }
    default: break;  // START, STOP, OPEN, CLOSE: nothing to answer
  }
  return r;
}

bool UhidReplyGetReport(int fd, uint32_t id, uint16_t err, std::span<const uint8_t> report) {
  if (report.size() > UHID_DATA_MAX) return false;
  auto ev = std::make_unique<uhid_event>();
  std::memset(ev.get(), 0, sizeof *ev);
  ev->type = UHID_GET_REPORT_REPLY;
  ev->u.get_report_reply.id = id;
  ev->u.get_report_reply.err = err;
  ev->u.get_report_reply.size = static_cast<uint16_t>(report.size());
  std::memcpy(ev->u.get_report_reply.data, report.data(), report.size());
  return WriteEvent(fd, *ev);
}

bool UhidReplySetReport(int fd, uint32_t id, uint16_t err) {
  uhid_event ev{};
  ev.type = UHID_SET_REPORT_REPLY;
  ev.u.set_report_reply.id = id;
  ev.u.set_report_reply.err = err;
  return WriteEvent(fd, ev);
}

}  // namespace korvale::emu
