#pragma once
// The local message bus: messages between windows of different processes of
// the same user. Each top-level window that peers may address listens on a
// Unix socket named after its title in $XDG_RUNTIME_DIR/korvale-bus (0700,
// sockets 0600). A message is one frame:
//   {registered name or fixed number, wParam, lParam, optional bytes}
// A sender keeps one connection per window and sends frame after frame on it
// (a send's 8-byte result comes back on it), reconnecting when the window went
// away or restarted; the receiver serves each connection until it closes.
// Registered numbers differ between processes, so a registered message travels
// by name and each side maps it to its own number; a name the receiver never
// registered is dropped. Frames are size-checked; a malformed, oversized or
// truncated frame, or one from another user, is traced and dropped, and closes
// its connection.
// Handlers run on the UI thread (through UiLoop::Post), never on the bus thread.
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/ui_loop.h"

namespace korvale {

namespace bus {

constexpr std::uint32_t kMagic = 0x3142564Bu;  // "KVB1" little-endian
// PostCopyData: a copy-data block whose sender waits for no result.
enum class Kind : std::uint8_t { Post = 1, Send = 2, CopyData = 3, PostCopyData = 4 };

// Fixed part of a frame, little-endian, followed by the name and the bytes.
struct __attribute__((packed)) FrameHeader {
  std::uint32_t magic;
  std::uint8_t kind;
  std::uint8_t nameLength;   // 0: `number` is a fixed (unregistered) message
  std::uint16_t reserved;    // 0
  std::uint32_t number;      // fixed message number when nameLength is 0
  std::uint32_t dataLength;  // bytes after the name
  std::uint64_t wParam;
  std::int64_t lParam;
};
static_assert(sizeof(FrameHeader) == 32);

// Limits: a copy-data block and the bytes of any frame.
constexpr std::uint32_t kMaxDataBytes = 64 * 1024;
// A fixed number carried without a name must lie below the registered range.
constexpr std::uint32_t kMaxFixedNumber = 0xBFFF;
// How long the receiver waits for a whole frame after a peer connects or
// starts one; a kept connection may stay idle between frames.
constexpr std::uint32_t kFrameDeadlineMs = 1000;

// Encodes header + name + data; empty when a limit is exceeded.
std::vector<std::uint8_t> EncodeFrame(Kind kind, std::string_view name, std::uint32_t number,
                                      std::uint64_t wParam, std::int64_t lParam,
                                      const std::vector<std::uint8_t>& data);

// Checks a received fixed part. Empty when acceptable, else why not (for the
// trace); `total` is then the whole frame's size.
std::string CheckHeader(const FrameHeader& h, std::size_t* total);

// A whole frame taken apart (after CheckHeader accepted its header).
struct DecodedFrame {
  Kind kind = Kind::Post;
  std::string name;  // empty: `number` is a fixed message
  std::uint32_t number = 0;
  std::uint64_t wParam = 0;
  std::int64_t lParam = 0;
  std::vector<std::uint8_t> data;
};
// Decodes exactly one frame from bytes; nullopt (with why) when the bytes are
// not exactly one acceptable frame.
std::optional<DecodedFrame> DecodeFrame(const std::uint8_t* bytes, std::size_t size, std::string* why = nullptr);

// A title as a socket file name: characters outside [A-Za-z0-9._-] become %XX.
std::string SocketNameForTitle(std::string_view title);
std::optional<std::string> TitleForSocketName(std::string_view fileName);

}  // namespace bus

// One received message, with the number mapped into this process.
struct BusMessage {
  std::uint32_t msg = 0;
  std::uint64_t wParam = 0;
  std::int64_t lParam = 0;
  std::vector<std::uint8_t> data;  // copy-data block (msg is then wm::kCopyData)
  bool isCopyData = false;
};

class MessageBus {
 public:
  // Runs handlers on loop's UI thread. Returns the result for a send.
  using Handler = std::function<std::intptr_t(const BusMessage&)>;

  // dir: the bus folder; default $XDG_RUNTIME_DIR/korvale-bus.
  explicit MessageBus(UiLoop& loop, std::filesystem::path dir = {});
  ~MessageBus();
  MessageBus(const MessageBus&) = delete;
  MessageBus& operator=(const MessageBus&) = delete;

  static std::filesystem::path DefaultDir();
  const std::filesystem::path& Dir() const { return dir_; }

  // Makes the window titled `title` reachable. False (with a trace) when the
  // folder is unusable or a live peer already listens under that title.
  bool Listen(const std::string& title, Handler handler);
  void Unlisten(const std::string& title);

  // FindWindow stand-in: true when a live window of this user has the title.
  bool FindWindow(std::string_view title) const;

  // Queue a message for the window titled `title`. `name` empty sends the
  // fixed `number`; otherwise the registered name (number is then ignored).
  bool Post(std::string_view title, std::string_view name, std::uint32_t number,
            std::uint64_t wParam, std::int64_t lParam) const;
  // Waits at most timeoutMs for the handler's result; nullopt on failure.
  // Not for a title this bus listens on from the UI thread (it would wait on itself).
  std::optional<std::intptr_t> Send(std::string_view title, std::string_view name,
                                    std::uint32_t number, std::uint64_t wParam,
                                    std::int64_t lParam, std::uint32_t timeoutMs) const;
  // WM_COPYDATA stand-in: dwData travels as lParam. At most kMaxDataBytes.
  std::optional<std::intptr_t> CopyData(std::string_view title, std::uint64_t dwData,
                                        const std::vector<std::uint8_t>& bytes,
                                        std::uint32_t timeoutMs) const;
  // A copy-data block queued like a post: no result comes back, so a sender
  // that streams blocks never waits on the window's UI thread. False when the
  // block could not be written whole within timeoutMs.
  bool PostCopyData(std::string_view title, std::uint64_t dwData, const std::vector<std::uint8_t>& bytes,
                    std::uint32_t timeoutMs) const;
  // Posts to every window of the user; returns how many took it.
  int Broadcast(std::string_view name, std::uint32_t number, std::uint64_t wParam,
                std::int64_t lParam) const;

  // The titles of the live windows on the bus.
  std::vector<std::string> Titles() const;

 private:
  struct Impl;
  std::filesystem::path dir_;
  std::unique_ptr<Impl> impl_;
};

}  // namespace korvale
