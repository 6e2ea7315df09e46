#include "hid/vhid_frame.h"

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "platform/paths.h"

namespace korvale::vhid {

std::filesystem::path BusDir() {
  std::filesystem::path dir;
  if (const char* d = std::getenv("KORVALE_VHID_DIR"); d && *d) {
    dir = d;
  } else if (const char* r = std::getenv("XDG_RUNTIME_DIR"); r && *r == '/') {
    dir = std::filesystem::path(r) / "korvale-vhid";
  } else {
    // Anyone can make this name first: use it only when it is ours and private.
    dir = std::filesystem::path("/tmp") / ("korvale-vhid-" + std::to_string(::getuid()));
    return EnsurePrivateDir(dir) ? dir : std::filesystem::path();
  }
  EnsureDir(dir, 0700);
  return dir;
}

static void PutU16(std::vector<uint8_t>& v, uint16_t x) {
  v.push_back(static_cast<uint8_t>(x & 0xFF));
  v.push_back(static_cast<uint8_t>(x >> 8));
}

std::vector<uint8_t> EncodeInfo(const InfoBlock& info) {
  std::vector<uint8_t> v;
  PutU16(v, info.vendorId);
  PutU16(v, info.productId);
  PutU16(v, info.release);
  v.push_back(info.interfaceNumber);
  v.push_back(0);
  PutU16(v, static_cast<uint16_t>(info.descriptor.size()));
  v.insert(v.end(), info.descriptor.begin(), info.descriptor.end());
  v.insert(v.end(), info.productName.begin(), info.productName.end());
  return v;
}

std::optional<InfoBlock> DecodeInfo(std::span<const uint8_t> p) {
  constexpr std::size_t kFixed = 10;
  if (p.size() < kFixed) return std::nullopt;
  auto u16 = [&](std::size_t at) { return static_cast<uint16_t>(p[at] | (p[at + 1] << 8)); };
  InfoBlock info;
  info.vendorId = u16(0);
  info.productId = u16(2);
  info.release = u16(4);
  info.interfaceNumber = p[6];
  std::size_t d = u16(8);
  if (p.size() < kFixed + d) return std::nullopt;
  info.descriptor.assign(p.begin() + kFixed, p.begin() + kFixed + d);
  info.productName.assign(p.begin() + kFixed + d, p.end());
  return info;
}

std::vector<uint8_t> EncodeFrame(FrameType type, std::span<const uint8_t> payload) {
  const uint32_t len = static_cast<uint32_t>(payload.size() + 1);
  std::vector<uint8_t> v;
  v.reserve(kHeaderBytes + len);
  for (int i = 0; i < 4; ++i) v.push_back(static_cast<uint8_t>(len >> (8 * i)));
  v.push_back(static_cast<uint8_t>(type));
  v.insert(v.end(), payload.begin(), payload.end());
  return v;
}

void FrameReader::Feed(std::span<const uint8_t> bytes) {
  if (broken_) return;
  // Drop what has been consumed before growing the buffer.
  if (start_ > 0 && start_ == buf_.size()) {
    buf_.clear();
    start_ = 0;
  }
  buf_.insert(buf_.end(), bytes.begin(), bytes.end());
}

std::optional<Frame> FrameReader::Pop() {
  if (broken_) return std::nullopt;
  const std::size_t avail = buf_.size() - start_;
  if (avail < kHeaderBytes) return std::nullopt;
  const uint8_t* h = buf_.data() + start_;
  const uint32_t len = static_cast<uint32_t>(h[0]) | (static_cast<uint32_t>(h[1]) << 8) |
                       (static_cast<uint32_t>(h[2]) << 16) | (static_cast<uint32_t>(h[3]) << 24);
  if (len == 0 || len > kMaxFrameLength) {
    broken_ = true;
    return std::nullopt;
  }
  if (avail < kHeaderBytes + len) return std::nullopt;
  Frame f;
  f.type = h[4];
  f.payload.assign(h + kHeaderBytes + 1, h + kHeaderBytes + len);
  start_ += kHeaderBytes + len;
  if (start_ > 65536) {
    buf_.erase(buf_.begin(), buf_.begin() + static_cast<std::ptrdiff_t>(start_));
    start_ = 0;
  }
  return f;
}

bool SendAll(int fd, std::span<const uint8_t> bytes) {
  std::size_t off = 0;
  while (off < bytes.size()) {
    ssize_t n = ::send(fd, bytes.data() + off, bytes.size() - off, MSG_NOSIGNAL);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    off += static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace korvale::vhid
