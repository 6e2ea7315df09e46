#include "platform/message_bus.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

#include "platform/event.h"
#include "platform/paths.h"
#include "platform/peer_cred.h"
#include "platform/registered_messages.h"
#include "platform/thread_name.h"
#include "platform/trace.h"

namespace fs = std::filesystem;

namespace korvale {
namespace bus {

namespace {
constexpr std::uint32_t kCopyDataMessage = 0x004A;  // WM_COPYDATA
}  // namespace
constexpr std::size_t kMaxConnections = 64;
namespace {
constexpr const char* kSocketSuffix = ".sock";

bool IsPlainChar(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '_' || c == '-';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
}  // namespace

std::vector<std::uint8_t> EncodeFrame(Kind kind, std::string_view name, std::uint32_t number,
                                      std::uint64_t wParam, std::int64_t lParam,
                                      const std::vector<std::uint8_t>& data) {
  if (name.size() > kMaxRegisteredNameLength || data.size() > kMaxDataBytes) return {};
  if (name.empty() && number > kMaxFixedNumber) return {};
  FrameHeader h{};
  h.magic = kMagic;
  h.kind = static_cast<std::uint8_t>(kind);
  h.nameLength = static_cast<std::uint8_t>(name.size());
  h.number = name.empty() ? number : 0;
  h.dataLength = static_cast<std::uint32_t>(data.size());
  h.wParam = wParam;
  h.lParam = lParam;
  std::vector<std::uint8_t> out(sizeof h + name.size() + data.size());
  std::memcpy(out.data(), &h, sizeof h);
  if (!name.empty()) std::memcpy(out.data() + sizeof h, name.data(), name.size());
  if (!data.empty()) std::memcpy(out.data() + sizeof h + name.size(), data.data(), data.size());
  return out;
}

std::string CheckHeader(const FrameHeader& h, std::size_t* total) {
  char why[128];
  const bool kindOk = h.kind >= static_cast<std::uint8_t>(Kind::Post) && h.kind <= static_cast<std::uint8_t>(Kind::PostCopyData);
  const bool copy = h.kind == static_cast<std::uint8_t>(Kind::CopyData) ||
                    h.kind == static_cast<std::uint8_t>(Kind::PostCopyData);
  if (h.magic != kMagic || !kindOk || h.reserved != 0) return "malformed frame header";
  if (h.dataLength > kMaxDataBytes) {
    std::snprintf(why, sizeof why, "frame of %u data bytes is over the limit of %u", h.dataLength, kMaxDataBytes);
    return why;
  }
  // A number travels only for a fixed message: named and copy-data frames carry 0.
  const bool fixed = !copy && h.nameLength == 0;
  if ((copy && h.nameLength != 0) || (!copy && h.dataLength != 0) || (fixed && h.number > kMaxFixedNumber) ||
      (!fixed && h.number != 0)) {
    std::snprintf(why, sizeof why, "inconsistent frame (kind %u, name %u, number %u, data %u)", h.kind,
                  h.nameLength, h.number, h.dataLength);
    return why;
  }
  *total = sizeof h + h.nameLength + h.dataLength;
  return {};
}

std::optional<DecodedFrame> DecodeFrame(const std::uint8_t* bytes, std::size_t size, std::string* why) {
  std::string dummy;
  std::string& reason = why != nullptr ? *why : dummy;
  FrameHeader h;
  if (size < sizeof h) {
    reason = "truncated frame";
    return std::nullopt;
  }
  std::memcpy(&h, bytes, sizeof h);
  std::size_t total = 0;
  reason = CheckHeader(h, &total);
  if (!reason.empty()) return std::nullopt;
  if (size != total) {
    reason = size < total ? "truncated frame" : "bytes after the frame";
    return std::nullopt;
  }
  DecodedFrame f;
  f.kind = static_cast<Kind>(h.kind);
  f.name.assign(reinterpret_cast<const char*>(bytes) + sizeof h, h.nameLength);
  f.number = h.number;
  f.wParam = h.wParam;
  f.lParam = h.lParam;
  f.data.assign(bytes + sizeof h + h.nameLength, bytes + total);
  return f;
}

std::string SocketNameForTitle(std::string_view title) {
  static const char* kHex = "0123456789ABCDEF";
  std::string out;
  for (char c : title) {
    if (IsPlainChar(c)) {
      out += c;
    } else {
      auto u = static_cast<unsigned char>(c);
      out += '%';
      out += kHex[u >> 4];
      out += kHex[u & 15];
    }
  }
  return out + kSocketSuffix;
}

std::optional<std::string> TitleForSocketName(std::string_view fileName) {
  const std::string_view suffix = kSocketSuffix;
  if (fileName.size() <= suffix.size() || fileName.substr(fileName.size() - suffix.size()) != suffix)
    return std::nullopt;
  fileName.remove_suffix(suffix.size());
  std::string title;
  for (std::size_t i = 0; i < fileName.size(); ++i) {
    char c = fileName[i];
    if (c == '%') {
      if (i + 2 >= fileName.size()) return std::nullopt;
      int hi = HexValue(fileName[i + 1]), lo = HexValue(fileName[i + 2]);
      if (hi < 0 || lo < 0) return std::nullopt;
      title += static_cast<char>(hi * 16 + lo);
      i += 2;
    } else if (IsPlainChar(c)) {
      title += c;
    } else {
      return std::nullopt;
    }
  }
  return title;
}

}  // namespace bus

namespace {

using Clock = std::chrono::steady_clock;

struct UniqueFd {
  int fd = -1;
  explicit UniqueFd(int f = -1) : fd(f) {}
  ~UniqueFd() {
    if (fd >= 0) ::close(fd);
  }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
};

bool FillAddress(const fs::path& path, sockaddr_un* addr) {
  std::memset(addr, 0, sizeof *addr);
  addr->sun_family = AF_UNIX;
  const std::string& s = path.native();
  if (s.size() >= sizeof addr->sun_path) return false;
  std::memcpy(addr->sun_path, s.c_str(), s.size() + 1);
  return true;
}

// The folder must be ours and private; a folder of ours with a wider mode is
// narrowed, anything else refused.
bool PrepareDir(const fs::path& dir) {
  if (!EnsureDir(dir, 0700)) {
    Trace("bus: cannot create %s", dir.c_str());
    return false;
  }
  struct stat st{};
  if (::lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid()) {
    Trace("bus: %s is not a folder of this user; not used", dir.c_str());
    return false;
  }
  if ((st.st_mode & 077) != 0 && ::chmod(dir.c_str(), 0700) != 0) {
    Trace("bus: cannot make %s private", dir.c_str());
    return false;
  }
  return true;
}

// A socket file a peer may be reached through: a socket owned by this user
// that nobody else can open.
bool IsTrustedSocket(const fs::path& path, struct stat* file = nullptr) {
  struct stat st{};
  if (::lstat(path.c_str(), &st) != 0) return false;
  if (file != nullptr) *file = st;
  if (!S_ISSOCK(st.st_mode) || st.st_uid != ::getuid() || (st.st_mode & 077) != 0) {
    Trace("bus: %s is not a private socket of this user; not used", path.c_str());
    return false;
  }
  return true;
}

int Remaining(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

// Connects to a trusted socket; -1 when there is no live peer. *file gets
// the socket file's identity, so a kept connection can tell a new listener.
int ConnectTo(const fs::path& path, struct stat* file = nullptr) {
  sockaddr_un addr{};
  // A relative path means no private folder was found: never look in the working folder.
  if (!path.is_absolute() || !FillAddress(path, &addr) || !IsTrustedSocket(path, file)) return -1;
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return -1;
  // A full backlog gives EAGAIN at once instead of blocking.
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || !PeerIsSameUser(fd)) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// 0 when all bytes went out, else the errno (ETIMEDOUT past the deadline).
int WriteAll(int fd, const std::vector<std::uint8_t>& bytes, Clock::time_point deadline) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd p{fd, POLLOUT, 0};
      int left = Remaining(deadline);
      if (left == 0 || ::poll(&p, 1, left) <= 0) return ETIMEDOUT;
      continue;
    }
    return n < 0 ? errno : EPIPE;
  }
  return 0;
}

// Waits for the 8-byte result of a send.
std::optional<std::intptr_t> ReadReply(int fd, const fs::path& path, Clock::time_point deadline) {
  std::uint8_t reply[8];
  std::size_t got = 0;
  while (got < sizeof reply) {
    pollfd p{fd, POLLIN, 0};
    int left = Remaining(deadline);
    if (left == 0 || ::poll(&p, 1, left) <= 0) {
      Trace("bus: no answer from %s in time", path.c_str());
      return std::nullopt;
    }
    ssize_t n = ::recv(fd, reply + got, sizeof reply - got, 0);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) return std::nullopt;  // the peer dropped the message
    got += static_cast<std::size_t>(n);
  }
  std::int64_t result;
  std::memcpy(&result, reply, sizeof result);
  return static_cast<std::intptr_t>(result);
}

// Delivers one frame on a connection of its own; for a send, waits for the result.
std::optional<std::intptr_t> DeliverOnce(const fs::path& path, const std::vector<std::uint8_t>& frame,
                                         bool wantReply, std::uint32_t timeoutMs) {
  if (frame.empty()) return std::nullopt;
  UniqueFd fd(ConnectTo(path));
  if (fd.fd < 0) return std::nullopt;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  if (WriteAll(fd.fd, frame, deadline) != 0) {
    Trace("bus: writing to %s failed or timed out", path.c_str());
    return std::nullopt;
  }
  ::shutdown(fd.fd, SHUT_WR);
  if (!wantReply) return 0;
  return ReadReply(fd.fd, path, deadline);
}

// A connection to one peer window kept from message to message, so a steady
// stream costs no connect and accept per message.
struct Outgoing {
  std::mutex use;  // one message at a time on the connection
  int fd = -1;
  dev_t device = 0;
  ino_t inode = 0;  // the socket file it was made through

  ~Outgoing() { Drop(); }
  void Drop() {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
  // Still the listener the socket file names, and nothing waiting on it: any
  // byte or hang-up now means the peer closed its end (results are always read).
  bool StillUsable(const fs::path& path) const {
    struct stat st{};
    if (fd < 0 || ::lstat(path.c_str(), &st) != 0 || st.st_dev != device || st.st_ino != inode) return false;
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 0;
  }
};

}  // namespace

struct MessageBus::Impl {
  struct ListenerState {
    MessageBus::Handler handler;
    std::atomic<bool> active{true};
  };
  struct Listener {
    int fd = -1;
    fs::path path;
    ino_t inode = 0;
    std::shared_ptr<ListenerState> state;
  };
  // A peer's connection, serving frame after frame until the peer closes it
  // or sends a bad one. A result still to be written holds the fd open.
  struct Conn {
    std::shared_ptr<UniqueFd> fd;
    std::shared_ptr<ListenerState> state;
    std::vector<std::uint8_t> buffer;
    std::size_t need = sizeof(bus::FrameHeader);
    bool haveHeader = false;
    // Set while a frame is awaited: from the connect, and from a frame's first
    // byte; a peer idle between frames has none.
    std::optional<Clock::time_point> deadline;
    Clock::time_point lastFrame;
  };

  explicit Impl(UiLoop& l) : loop(l), wake(Event::Reset::Auto) {}

  UiLoop& loop;
  Event stop{Event::Reset::Manual};
  Event wake;
  std::mutex lock;
  std::map<std::string, Listener> listeners;
  std::vector<int> retired;  // listener fds the thread closes
  std::vector<Conn> conns;   // bus thread only
  std::thread thread;
  std::mutex outLock;
  std::map<fs::path, std::shared_ptr<Outgoing>> outgoing;  // by socket path

  void Run();
  void Accept(int listenFd);
  // Reads what is there; returns false when the connection is finished.
  bool ReadSome(Conn& c);
  bool Dispatch(Conn& c);
  std::optional<std::intptr_t> Deliver(const fs::path& path, const std::vector<std::uint8_t>& frame,
                                       bool wantReply, std::uint32_t timeoutMs);
};

std::optional<std::intptr_t> MessageBus::Impl::Deliver(const fs::path& path, const std::vector<std::uint8_t>& frame,
                                                       bool wantReply, std::uint32_t timeoutMs) {
  if (frame.empty()) return std::nullopt;
  std::shared_ptr<Outgoing> out;
  {
    std::lock_guard<std::mutex> guard(outLock);
    auto& slot = outgoing[path];
    if (!slot) slot = std::make_shared<Outgoing>();
    out = slot;
  }
  // Another thread is in the middle of a message to this window: never wait
  // behind it (its send may take its whole time-out), use a connection of our own.
  std::unique_lock<std::mutex> use(out->use, std::try_to_lock);
  if (!use.owns_lock()) return DeliverOnce(path, frame, wantReply, timeoutMs);
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (bool retried = false;; retried = true) {
    const bool reused = out->StillUsable(path);
    if (!reused) {
      out->Drop();
      struct stat file{};
      out->fd = ConnectTo(path, &file);
      if (out->fd < 0) return std::nullopt;
      out->device = file.st_dev;
      out->inode = file.st_ino;
    }
    const int error = WriteAll(out->fd, frame, deadline);
    if (error == 0) break;
    out->Drop();
    // The peer closed a kept connection just now (it restarted, or made room
    // for another peer): it dropped any part of the frame, so a new one may carry it.
    if (reused && !retried && (error == EPIPE || error == ECONNRESET)) continue;
    Trace("bus: writing to %s failed or timed out", path.c_str());
    return std::nullopt;
  }
  if (!wantReply) return 0;
  auto result = ReadReply(out->fd, path, deadline);
  // A result that comes late would be taken for the next message's.
  if (!result) out->Drop();
  return result;
}

void MessageBus::Impl::Run() {
  std::vector<pollfd> fds;
  for (;;) {
    {
      std::lock_guard<std::mutex> guard(lock);
      for (int fd : retired) ::close(fd);
      retired.clear();
      fds.clear();
      fds.push_back({stop.Fd(), POLLIN, 0});
      fds.push_back({wake.Fd(), POLLIN, 0});
      for (auto& [title, l] : listeners) fds.push_back({l.fd, POLLIN, 0});
    }
    const std::size_t firstConn = fds.size();
    int timeout = -1;
    for (auto& c : conns) {
      fds.push_back({c.fd->fd, POLLIN, 0});
      if (!c.deadline) continue;
      int left = Remaining(*c.deadline);
      if (timeout < 0 || left < timeout) timeout = left;
    }
    int n = ::poll(fds.data(), fds.size(), timeout);
    if (n < 0 && errno != EINTR) {
      Trace("bus: poll failed: %s", std::strerror(errno));
      return;
    }
    if (stop.IsSet()) return;
    if (fds[1].revents & POLLIN) wake.Consume();
    // Existing connections first (indices shift when new ones are added).
    std::vector<Conn> keep;
    for (std::size_t i = 0; i < conns.size(); ++i) {
      Conn& c = conns[i];
      // The window stopped listening: its peers find out by the hang-up.
      bool alive = c.state->active.load();
      if (alive && fds[firstConn + i].revents != 0) alive = ReadSome(c);
      if (alive && c.deadline && Remaining(*c.deadline) == 0) {
        Trace("bus: a peer did not finish its frame in time; dropped");
        alive = false;
      }
      if (alive) keep.push_back(std::move(c));
    }
    conns = std::move(keep);
    for (std::size_t i = 2; i < firstConn; ++i)
      if (fds[i].revents & POLLIN) Accept(fds[i].fd);
  }
}

void MessageBus::Impl::Accept(int listenFd) {
  std::shared_ptr<ListenerState> state;
  {
    std::lock_guard<std::mutex> guard(lock);
    for (auto& [title, l] : listeners)
      if (l.fd == listenFd) state = l.state;
  }
  for (;;) {
    int fd = ::accept4(listenFd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;
    if (!state) {
      ::close(fd);
      continue;
    }
    if (!PeerIsSameUser(fd)) {
      Trace("bus: connection from another user refused");
      ::close(fd);
      continue;
    }
    if (conns.size() >= bus::kMaxConnections) {
      // Kept connections stay open while idle: make room by closing the one
      // idle longest (its peer reconnects when it next writes).
      auto idle = conns.end();
      for (auto it = conns.begin(); it != conns.end(); ++it)
        if (!it->deadline && (idle == conns.end() || it->lastFrame < idle->lastFrame)) idle = it;
      if (idle == conns.end()) {
        Trace("bus: too many peers at once; connection refused");
        ::close(fd);
        continue;
      }
      conns.erase(idle);
    }
    Conn c;
    c.fd = std::make_shared<UniqueFd>(fd);
    c.state = state;
    c.deadline = Clock::now() + std::chrono::milliseconds(bus::kFrameDeadlineMs);
    conns.push_back(std::move(c));
  }
}

bool MessageBus::Impl::ReadSome(Conn& c) {
  // A bounded number of frames per turn, so one busy peer cannot starve the others.
  for (int frames = 0; frames < 16;) {
    const std::size_t have = c.buffer.size();
    c.buffer.resize(c.need);
    ssize_t n = ::recv(c.fd->fd, c.buffer.data() + have, c.need - have, 0);
    if (n < 0) {
      c.buffer.resize(have);
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
      return false;
    }
    c.buffer.resize(have + static_cast<std::size_t>(n));
    if (n == 0) {
      if (!c.buffer.empty()) Trace("bus: truncated frame (%zu of %zu bytes); dropped", c.buffer.size(), c.need);
      return false;
    }
    if (!c.deadline) c.deadline = Clock::now() + std::chrono::milliseconds(bus::kFrameDeadlineMs);
    if (c.buffer.size() < c.need) continue;
    if (!c.haveHeader) {
      bus::FrameHeader h;
      std::memcpy(&h, c.buffer.data(), sizeof h);
      std::size_t total = 0;
      const std::string why = bus::CheckHeader(h, &total);
      if (!why.empty()) {
        Trace("bus: %s; connection closed", why.c_str());
        return false;
      }
      c.need = total;
      c.haveHeader = true;
      if (c.buffer.size() < c.need) continue;
    }
    if (!Dispatch(c)) return false;
    c.buffer.clear();
    c.need = sizeof(bus::FrameHeader);
    c.haveHeader = false;
    c.deadline.reset();
    c.lastFrame = Clock::now();
    ++frames;
  }
  return true;
}

// Hands one whole frame to the UI thread; false when it was dropped, which
// closes the connection (a sender waiting for a result learns at once).
bool MessageBus::Impl::Dispatch(Conn& c) {
  std::string why;
  auto frame = bus::DecodeFrame(c.buffer.data(), c.buffer.size(), &why);
  if (!frame) {
    Trace("bus: %s; connection closed", why.c_str());
    return false;
  }
  BusMessage m;
  m.wParam = frame->wParam;
  m.lParam = frame->lParam;
  const bus::Kind kind = frame->kind;
  if (kind == bus::Kind::CopyData || kind == bus::Kind::PostCopyData) {
    m.msg = bus::kCopyDataMessage;
    m.isCopyData = true;
    m.data = std::move(frame->data);
  } else if (!frame->name.empty()) {
    auto number = FindRegisteredMessage(frame->name);
    if (!number) {
      Trace("bus: message \"%s\" is not registered here; dropped, connection closed", frame->name.c_str());
      return false;
    }
    m.msg = *number;
  } else {
    m.msg = frame->number;
  }
  std::shared_ptr<UniqueFd> reply;
  if (kind == bus::Kind::Send || kind == bus::Kind::CopyData) reply = c.fd;
  loop.Post([state = c.state, m = std::move(m), reply] {
    if (!state->active) return;
    std::intptr_t result = state->handler(m);
    if (reply) {
      std::int64_t r = result;
      std::uint8_t bytes[8];
      std::memcpy(bytes, &r, sizeof bytes);
      // The sender reads each result before its next frame, so the socket
      // buffer always has room for 8 bytes; a vanished peer is fine.
      (void)::send(reply->fd, bytes, sizeof bytes, MSG_NOSIGNAL | MSG_DONTWAIT);
    }
  });
  return true;
}

MessageBus::MessageBus(UiLoop& loop, fs::path dir)
    : dir_(dir.empty() ? DefaultDir() : std::move(dir)), impl_(std::make_unique<Impl>(loop)) {
  impl_->thread = std::thread([this] {
    NameThisThread("kv-bus");
    impl_->Run();
  });
}

MessageBus::~MessageBus() {
  impl_->stop.Set();
  impl_->thread.join();
  std::lock_guard<std::mutex> guard(impl_->lock);
  for (int fd : impl_->retired) ::close(fd);
  impl_->conns.clear();
  for (auto& [title, l] : impl_->listeners) {
    l.state->active = false;
    struct stat st{};
    if (::lstat(l.path.c_str(), &st) == 0 && st.st_ino == l.inode) ::unlink(l.path.c_str());
    ::close(l.fd);
  }
}

fs::path MessageBus::DefaultDir() {
  const fs::path run = XdgRuntimeDir();
  return run.empty() ? fs::path() : run / "korvale-bus";
}

bool MessageBus::Listen(const std::string& title, Handler handler) {
  if (title.empty() || !handler || !PrepareDir(dir_)) return false;
  const fs::path path = dir_ / bus::SocketNameForTitle(title);
  sockaddr_un addr{};
  if (!FillAddress(path, &addr)) {
    Trace("bus: socket path for \"%s\" is too long", title.c_str());
    return false;
  }
  {
    std::lock_guard<std::mutex> guard(impl_->lock);
    if (impl_->listeners.count(title) != 0) return false;
  }
  struct stat st{};
  if (::lstat(path.c_str(), &st) == 0) {
    int live = ConnectTo(path);
    if (live >= 0) {
      ::close(live);
      Trace("bus: a window titled \"%s\" already listens", title.c_str());
      return false;
    }
    ::unlink(path.c_str());  // left behind by a process that is gone, or not ours to trust
  }
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  // The folder is private, so the moment before chmod exposes nothing.
  const bool bound = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  if (!bound || ::chmod(path.c_str(), 0600) != 0 || ::listen(fd, 16) != 0 || ::lstat(path.c_str(), &st) != 0) {
    Trace("bus: cannot listen on %s: %s", path.c_str(), std::strerror(errno));
    ::close(fd);
    return false;
  }
  Impl::Listener l;
  l.fd = fd;
  l.path = path;
  l.inode = st.st_ino;
  l.state = std::make_shared<Impl::ListenerState>();
  l.state->handler = std::move(handler);
  {
    std::lock_guard<std::mutex> guard(impl_->lock);
    impl_->listeners.emplace(title, std::move(l));
  }
  impl_->wake.Set();
  return true;
}

void MessageBus::Unlisten(const std::string& title) {
  {
    std::lock_guard<std::mutex> guard(impl_->lock);
    auto it = impl_->listeners.find(title);
    if (it == impl_->listeners.end()) return;
    Impl::Listener& l = it->second;
    l.state->active = false;
    struct stat st{};
    if (::lstat(l.path.c_str(), &st) == 0 && st.st_ino == l.inode) ::unlink(l.path.c_str());
    impl_->retired.push_back(l.fd);
    impl_->listeners.erase(it);
  }
  impl_->wake.Set();
}

bool MessageBus::FindWindow(std::string_view title) const {
  int fd = ConnectTo(dir_ / bus::SocketNameForTitle(title));
  if (fd < 0) return false;
  ::close(fd);  // the peer sees an empty connection and forgets it
  return true;
}

bool MessageBus::Post(std::string_view title, std::string_view name, std::uint32_t number,
                      std::uint64_t wParam, std::int64_t lParam) const {
  auto frame = bus::EncodeFrame(bus::Kind::Post, name, number, wParam, lParam, {});
  return impl_->Deliver(dir_ / bus::SocketNameForTitle(title), frame, false, bus::kFrameDeadlineMs).has_value();
}

std::optional<std::intptr_t> MessageBus::Send(std::string_view title, std::string_view name,
                                              std::uint32_t number, std::uint64_t wParam,
                                              std::int64_t lParam, std::uint32_t timeoutMs) const {
  auto frame = bus::EncodeFrame(bus::Kind::Send, name, number, wParam, lParam, {});
  return impl_->Deliver(dir_ / bus::SocketNameForTitle(title), frame, true, timeoutMs);
}

std::optional<std::intptr_t> MessageBus::CopyData(std::string_view title, std::uint64_t dwData,
                                                  const std::vector<std::uint8_t>& bytes,
                                                  std::uint32_t timeoutMs) const {
  if (bytes.size() > bus::kMaxDataBytes) {
    Trace("bus: copy-data block of %zu bytes is over the limit of %u; not sent", bytes.size(), bus::kMaxDataBytes);
    return std::nullopt;
  }
  auto frame = bus::EncodeFrame(bus::Kind::CopyData, {}, 0, 0, static_cast<std::int64_t>(dwData), bytes);
  return impl_->Deliver(dir_ / bus::SocketNameForTitle(title), frame, true, timeoutMs);
}

bool MessageBus::PostCopyData(std::string_view title, std::uint64_t dwData, const std::vector<std::uint8_t>& bytes,
                              std::uint32_t timeoutMs) const {
  if (bytes.size() > bus::kMaxDataBytes) {
    Trace("bus: copy-data block of %zu bytes is over the limit of %u; not sent", bytes.size(), bus::kMaxDataBytes);
    return false;
  }
  auto frame = bus::EncodeFrame(bus::Kind::PostCopyData, {}, 0, 0, static_cast<std::int64_t>(dwData), bytes);
  return impl_->Deliver(dir_ / bus::SocketNameForTitle(title), frame, false, timeoutMs).has_value();
}

int MessageBus::Broadcast(std::string_view name, std::uint32_t number, std::uint64_t wParam,
                          std::int64_t lParam) const {
  auto frame = bus::EncodeFrame(bus::Kind::Post, name, number, wParam, lParam, {});
  if (frame.empty()) return 0;
  int reached = 0;
  std::error_code ec;
  for (auto it = fs::directory_iterator(dir_, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
    if (!bus::TitleForSocketName(it->path().filename().string())) continue;
    // Each window once: no connection kept to every window of the user.
    if (DeliverOnce(it->path(), frame, false, bus::kFrameDeadlineMs)) ++reached;
  }
  return reached;
}

std::vector<std::string> MessageBus::Titles() const {
  std::vector<std::string> out;
  std::error_code ec;
  for (auto it = fs::directory_iterator(dir_, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
    auto title = bus::TitleForSocketName(it->path().filename().string());
    if (title && FindWindow(*title)) out.push_back(*title);
  }
  return out;
}

}  // namespace korvale
