#pragma once
// Wire format of the virtual HID bus, shared by the host backend and the
// emulator. Each interface is a Unix stream socket "<name>.sock" in the bus
// folder; frames both ways are: u32 LE length L of the rest, u8 type, L-1 bytes.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace korvale::vhid {

enum class FrameType : uint8_t {
  GetInfo = 0x01,     // host->device, empty
  Output = 0x02,      // host->device, one output report, report id first
  GetFeature = 0x03,  // host->device, u8 report id
  SetFeature = 0x04,  // host->device, the report
  Info = 0x81,        // device->host, InfoBlock
  Input = 0x82,       // device->host, one input report, report id first
  Feature = 0x83,     // device->host, the feature report
};

// A frame whose L exceeds this closes the connection.
inline constexpr uint32_t kMaxFrameLength = 4096;
inline constexpr std::size_t kHeaderBytes = 4;
inline constexpr const char* kSocketSuffix = ".sock";

// $KORVALE_VHID_DIR, else $XDG_RUNTIME_DIR/korvale-vhid, else
// /tmp/korvale-vhid-<uid>. Created with mode 0700 when missing; empty when the
// /tmp folder is refused (another user's, or open to others).
std::filesystem::path BusDir();

struct InfoBlock {
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  uint16_t release = 0;
  uint8_t interfaceNumber = 0;
  std::vector<uint8_t> descriptor;
  std::string productName;
};

// Info payload (without the frame header and type byte).
std::vector<uint8_t> EncodeInfo(const InfoBlock& info);
std::optional<InfoBlock> DecodeInfo(std::span<const uint8_t> payload);

// Whole frame: header, type, payload.
std::vector<uint8_t> EncodeFrame(FrameType type, std::span<const uint8_t> payload);

struct Frame {
  uint8_t type = 0;  // raw, so unknown types can be recognised and ignored
  std::vector<uint8_t> payload;
};

// Incremental decoder for a byte stream. Feed what recv() gave, then Pop()
// frames until it returns nothing. Once Broken(), the stream is unusable and
// the connection must be closed.
class FrameReader {
 public:
  void Feed(std::span<const uint8_t> bytes);
  std::optional<Frame> Pop();
  bool Broken() const { return broken_; }

 private:
  std::vector<uint8_t> buf_;
  std::size_t start_ = 0;
  bool broken_ = false;
};

// Writes a whole buffer on a socket (no SIGPIPE). False on any error.
bool SendAll(int fd, std::span<const uint8_t> bytes);

}  // namespace korvale::vhid
