// The virtual HID bus backend: one Unix stream socket per interface.
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <atomic>
#include <chrono>
#include <deque>
#include <mutex>
#include <cstring>
#include <optional>

#include "hid/hid_backend.h"
#include "hid/vhid_frame.h"
#include "platform/peer_cred.h"
#include "platform/trace.h"

namespace korvale {

namespace {

constexpr int kInfoTimeoutMs = 1000;
// Listing asks every socket at once; one that misses this is listed again on
// discovery's next pass, since its socket stays there unlisted.
constexpr int kListDeadlineMs = 800;

class Socket {
 public:
  explicit Socket(int fd = -1) : fd_(fd) {}
  ~Socket() { Reset(); }
  Socket(Socket&& o) noexcept : fd_(o.Release()) {}
  Socket& operator=(Socket&&) = delete;
  int Get() const { return fd_; }
  int Release() { int f = fd_; fd_ = -1; return f; }
  void Reset() { if (fd_ >= 0) ::close(fd_); fd_ = -1; }

 private:
  int fd_;
};

Socket Connect(const std::filesystem::path& socket) {
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  const std::string s = socket.string();
  if (s.size() >= sizeof addr.sun_path) {
    Trace("hid: bus socket path too long: %s", s.c_str());
    return Socket();
  }
  std::memcpy(addr.sun_path, s.c_str(), s.size() + 1);
  Socket fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (fd.Get() < 0) return Socket();
  if (::connect(fd.Get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return Socket();
  // A device served by another user could feed its answers into our profiles.
  if (!PeerIsSameUser(fd.Get())) {
    Trace("hid: bus device %s is served by another user; not used", s.c_str());
    return Socket();
  }
  return fd;
}

// The reader found a frame it cannot take (too long or empty): the stream is lost.
bool StreamBroken(const vhid::FrameReader& reader) {
  if (!reader.Broken()) return false;
  Trace("hid: bus device sent a malformed frame; closing the connection");
  return true;
}

// Receives what is waiting into the reader. Failed on hang-up, error or a
// broken stream.
HidIo Receive(int fd, vhid::FrameReader& reader) {
  uint8_t buf[8192];
  for (;;) {
    const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
    if (n > 0) {
      reader.Feed({buf, static_cast<std::size_t>(n)});
      return HidIo::Done;
    }
    if (n == 0) return HidIo::Failed;
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) return HidIo::WouldBlock;
    return HidIo::Failed;
  }
}

bool SendFrame(int fd, vhid::FrameType type, std::span<const uint8_t> payload, int timeoutMs) {
  const auto frame = vhid::EncodeFrame(type, payload);
  std::size_t off = 0;
  while (off < frame.size()) {
    const ssize_t n = ::send(fd, frame.data() + off, frame.size() - off, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) { off += static_cast<std::size_t>(n); continue; }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd p{fd, POLLOUT, 0};
      if (::poll(&p, 1, timeoutMs) <= 0) return false;
      continue;
    }
    return false;
  }
  return true;
}

// GET_INFO and wait for INFO; input reports arriving first are dropped.
std::optional<vhid::InfoBlock> AskInfo(int fd, vhid::FrameReader& reader) {
  if (!SendFrame(fd, vhid::FrameType::GetInfo, {}, kInfoTimeoutMs)) return std::nullopt;
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(kInfoTimeoutMs);
  for (;;) {
    while (auto f = reader.Pop()) {
      if (f->type != static_cast<uint8_t>(vhid::FrameType::Info)) continue;
      auto info = vhid::DecodeInfo(f->payload);
      if (!info) Trace("hid: bus device sent a malformed INFO block");
      return info;
    }
    if (StreamBroken(reader)) return std::nullopt;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      Trace("hid: bus device did not answer GET_INFO");
      return std::nullopt;
    }
    pollfd p{fd, POLLIN, 0};
    const int r = ::poll(&p, 1, static_cast<int>(left));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) continue;
    if (Receive(fd, reader) == HidIo::Failed) return std::nullopt;
  }
}

class VhidBackend final : public HidBackend {
 public:
  VhidBackend(Socket fd, vhid::FrameReader reader) : fd_(std::move(fd)), reader_(std::move(reader)) {}

  int Fd() const override { return fd_.Get(); }

  HidIo TryRead(std::vector<uint8_t>& report) override {
    std::lock_guard<std::mutex> g(readLock_);
    if (!kept_.empty()) {
      report = std::move(kept_.front());
      kept_.pop_front();
      return HidIo::Done;
    }
    if (broken_) return HidIo::Failed;
    for (;;) {
      while (auto f = reader_.Pop()) {
        if (f->type != static_cast<uint8_t>(vhid::FrameType::Input)) continue;
        report = std::move(f->payload);
        return HidIo::Done;
      }
      if (StreamBroken(reader_)) {
        broken_ = true;
        return HidIo::Failed;
      }
      const HidIo r = Receive(fd_.Get(), reader_);
      if (r == HidIo::Failed) broken_ = true;
      if (r != HidIo::Done) return r;
    }
  }

  // GET_FEATURE, then the FEATURE frame; input reports that come first are
  // kept for TryRead. A read already waiting on another thread sees them
  // with the next frame that wakes it.
  HidIo GetFeature(std::vector<uint8_t>& report, int timeoutMs) override {
    if (report.empty()) return HidIo::Failed;
    if (SendControl(vhid::FrameType::GetFeature, std::span(report.data(), 1), timeoutMs) != HidIo::Done) return HidIo::Failed;
    std::lock_guard<std::mutex> g(readLock_);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      while (auto f = reader_.Pop()) {
        if (f->type == static_cast<uint8_t>(vhid::FrameType::Input)) {
          kept_.push_back(std::move(f->payload));
        } else if (f->type == static_cast<uint8_t>(vhid::FrameType::Feature)) {
          const std::size_t room = report.size();
          report = std::move(f->payload);
          if (!numbered_) report.insert(report.begin(), 0);  // the channel's shape: id byte first
          if (report.size() > room) report.resize(room);
          return HidIo::Done;
        }
      }
      if (broken_ || StreamBroken(reader_)) {
        broken_ = true;
        return HidIo::Failed;
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
      if (left <= 0) return HidIo::Failed;
      pollfd p{fd_.Get(), POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left)) < 0 && errno != EINTR) return HidIo::Failed;
      if (Receive(fd_.Get(), reader_) == HidIo::Failed) broken_ = true;
    }
  }

  HidIo SetFeature(std::span<const uint8_t> report, int timeoutMs) override {
    if (!numbered_ && !report.empty()) report = report.subspan(1);
    return SendControl(vhid::FrameType::SetFeature, report, timeoutMs);
  }

  HidIo TryWrite(std::span<const uint8_t> report) override {
    std::lock_guard<std::mutex> g(writeLock_);
    if (broken_) return HidIo::Failed;
    if (pending_.empty()) {
      // The bus carries a report as it travels on the wire: no id byte when unnumbered.
      auto payload = report;
      if (!numbered_ && !payload.empty()) payload = payload.subspan(1);
      pending_ = vhid::EncodeFrame(vhid::FrameType::Output, payload);
      sent_ = 0;
    }
    while (sent_ < pending_.size()) {
      const ssize_t n = ::send(fd_.Get(), pending_.data() + sent_, pending_.size() - sent_, MSG_NOSIGNAL | MSG_DONTWAIT);
      if (n > 0) { sent_ += static_cast<std::size_t>(n); continue; }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return HidIo::WouldBlock;
      broken_ = true;
      return HidIo::Failed;
    }
    pending_.clear();
    return HidIo::Done;
  }

  void AbortWrite() override {
    std::lock_guard<std::mutex> g(writeLock_);
    if (sent_ > 0 && sent_ < pending_.size()) broken_ = true;  // half a frame is on the wire
    pending_.clear();
    sent_ = 0;
  }

  void SetNumbered(bool numbered) override { numbered_ = numbered; }

 private:
  // A whole control frame, never inside an output frame that is half sent.
  HidIo SendControl(vhid::FrameType type, std::span<const uint8_t> payload, int timeoutMs) {
    std::lock_guard<std::mutex> g(writeLock_);
    if (broken_ || !pending_.empty()) return HidIo::Failed;
    if (!SendFrame(fd_.Get(), type, payload, timeoutMs)) {
      broken_ = true;
      return HidIo::Failed;
    }
    return HidIo::Done;
  }

  std::mutex readLock_, writeLock_;
  std::deque<std::vector<uint8_t>> kept_;
  Socket fd_;
  vhid::FrameReader reader_;
  std::vector<uint8_t> pending_;
  std::size_t sent_ = 0;
  std::atomic<bool> broken_{false};
  bool numbered_ = true;
};

}  // namespace

void EnumerateVhid(std::vector<HidInterfaceInfo>& out) {
  const std::filesystem::path dir = vhid::BusDir();
  std::error_code ec;
  std::vector<std::filesystem::path> sockets;
  for (const auto& e : std::filesystem::directory_iterator(dir, ec)) {
    const auto& p = e.path();
    if (p.extension() == vhid::kSocketSuffix && p.stem() != "") sockets.push_back(p);
  }
  std::sort(sockets.begin(), sockets.end());
  // Every socket is asked at once and all share one deadline, so sockets
  // that accept and never answer cost one timeout together, not one each.
  struct Asking {
    std::filesystem::path path;
    Socket fd;
    vhid::FrameReader reader;
    std::optional<vhid::InfoBlock> info;
    bool done = false;
  };
  std::vector<Asking> asks;
  asks.reserve(sockets.size());
  for (const auto& s : sockets) {
    Socket fd = Connect(s);
    if (fd.Get() < 0) continue;  // a leftover file: nobody listens
    if (!SendFrame(fd.Get(), vhid::FrameType::GetInfo, {}, kInfoTimeoutMs)) continue;
    asks.push_back(Asking{s, std::move(fd), {}, std::nullopt, false});
  }
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(kListDeadlineMs);
  for (;;) {
    std::vector<pollfd> waiting;
    std::vector<Asking*> owners;
    for (Asking& a : asks) {
      while (!a.done) {
        auto f = a.reader.Pop();
        if (!f) break;
        if (f->type != static_cast<uint8_t>(vhid::FrameType::Info)) continue;  // input reports first
        a.info = vhid::DecodeInfo(f->payload);
        if (!a.info) Trace("hid: bus device sent a malformed INFO block");
        a.done = true;
      }
      if (!a.done && StreamBroken(a.reader)) a.done = true;
      if (a.done) continue;
      waiting.push_back(pollfd{a.fd.Get(), POLLIN, 0});
      owners.push_back(&a);
    }
    if (waiting.empty()) break;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      for (const Asking* a : owners) Trace("hid: bus device %s did not answer GET_INFO", a->path.c_str());
      break;
    }
    const int r = ::poll(waiting.data(), waiting.size(), static_cast<int>(left));
    if (r < 0 && errno != EINTR) break;
    if (r <= 0) continue;
    for (std::size_t i = 0; i < waiting.size(); ++i)
      if (waiting[i].revents != 0 && Receive(waiting[i].fd, owners[i]->reader) == HidIo::Failed) owners[i]->done = true;
  }
  for (const Asking& a : asks) {
    if (!a.info) continue;
    HidAttributes attrs{a.info->vendorId, a.info->productId, a.info->release};
    AppendCollections(std::string(kVhidPrefix) + a.path.string(), "vhid", attrs, a.info->interfaceNumber,
                      a.info->descriptor, a.info->productName, out);
  }
}

std::unique_ptr<HidBackend> OpenVhid(const std::filesystem::path& socket, HidOpenInfo& info) {
  Socket fd = Connect(socket);
  if (fd.Get() < 0) {
    info.openErrno = errno;
    return nullptr;
  }
  vhid::FrameReader reader;
  auto block = AskInfo(fd.Get(), reader);
  if (!block) return nullptr;
  info.attributes = {block->vendorId, block->productId, block->release};
  info.descriptor = std::move(block->descriptor);
  // Reports sent before the channel existed are not for it.
  while (reader.Pop()) {
  }
  auto b = std::make_unique<VhidBackend>(std::move(fd), std::move(reader));
  return b;
}

}  // namespace korvale
