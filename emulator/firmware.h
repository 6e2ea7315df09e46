#pragma once
// Firmware models of the four products: the device memory the command
// catalogue addresses and the answers the firmware gives. No I/O here; the
// bus server feeds command reports in and sends the answers out.
#include <array>
#include <cstdint>
#include <deque>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "protocol/commands.h"

namespace korvale::emu {

enum class Product { Keyboard, Mouse, Mousepad, Headset };

const char* ProductName(Product p);

using Report = std::array<uint8_t, proto::kPacketSize>;

// The built-in key layout: default code of each of the 170 screen keys.
inline constexpr std::size_t kLayoutKeys = 170;
extern const std::array<std::array<uint8_t, 3>, kLayoutKeys> kKeyboardLayout;
// Default codes of the mouse's eleven buttons.
extern const std::array<std::array<uint8_t, 3>, 11> kMouseButtons;
// Key position on the keyboard of screen key j (the firmware's own order).
std::size_t KeyboardPositionOfKey(std::size_t uiKey);
// The LED the keyboard lights for screen key j (not j: the firmware's wiring).
std::size_t KeyboardLedOfKey(std::size_t uiKey);

// Data bytes one packet may carry over the radio; a longer one is refused.
inline constexpr uint8_t kRadioMaxData = 24;
// LinkCheck answer byte 8 while the radio link is up.
inline constexpr uint8_t kRadioLinkUp = 0xFF;

class DeviceModel {
 public:
  explicit DeviceModel(Product product);

  Product product() const { return product_; }

  // One command report (report id first, up to 64 bytes, shorter ones count
  // as zero-filled). Always yields an answer; the caller decides whether the
  // answer reaches the host (faults, radio link).
  Report Handle(std::span<const uint8_t> report, bool viaRadio);

  // Memory, readable and settable for tests and the state file.
  std::array<uint8_t, proto::kInfoSize> info{};
  std::vector<uint8_t> config;                                      // kConfigAreaSize
  std::array<uint8_t, proto::kKeyTableSize> defaultKeys{};          // read by 0x07
  std::array<std::array<uint8_t, proto::kKeyTableSize>, proto::kKeyTableCount> keyTables{};
  std::array<uint8_t, proto::kLedTableSize> ledTable{};
  std::vector<uint8_t> customGroups;                                // kCustomGroupCount * 512
  std::array<uint8_t, proto::kLedFrameSize> ledFrame{};
  std::vector<uint8_t> macroMemory;                                 // info[6] * 128
  std::array<uint8_t, 4096> shootMemory{};                          // four gun sequences
  std::array<uint8_t, proto::kStatusSize> status{};
  // Headset LED output: channel values per LED, as the last reports set them.
  std::array<std::array<uint8_t, 3>, proto::kHeadsetLedCount> headsetLeds{};
  // LED reports taken per target (0x22, 0x44) and the last of each.
  std::array<uint64_t, 2> ledReports{};
  std::array<std::array<uint8_t, 17>, 2> lastLedReport{};
  uint64_t ledRefused = 0;  // reports of the wrong length, id, target or channel
  // Target and channel byte of the LED reports taken, in the order they
  // came; the latest kLedLogSize.
  static constexpr std::size_t kLedLogSize = 4096;
  std::deque<std::array<uint8_t, 2>> ledLog;

  // Sets one information byte; byte 6 (macro memory in 128-byte units)
  // re-sizes the macro memory, which starts empty.
  void SetInfoByte(std::size_t at, uint8_t value);

  // The mouse keeps configuration writes aside until EndConfig: a record
  // cut off by a lost radio link is never half applied.
  std::vector<uint8_t> pendingConfig;
  bool inConfig = false;
  bool lightControl = false;
  uint32_t endConfigCount = 0;  // persisted changes are saved after each

  // A memory area by name ("info", "config", "keys", "fn-keys", "keys3",
  // "default-keys", "led-table", "custom", "macro", "shoot", "status"), or
  // an empty span for an unknown name.
  std::span<const uint8_t> AreaNamed(const std::string& name) const;

  // One headset LED output report (report id 0xFF first). False when malformed.
  bool HandleLedReport(std::span<const uint8_t> report);

  // Persistent memory as bytes, and back. Deserialize changes nothing unless
  // the whole image is valid for this product.
  std::vector<uint8_t> Serialize() const;
  bool Deserialize(std::span<const uint8_t> bytes);

 private:
  // The area a command addresses and whether the host may write it.
  struct Area {
    uint8_t* data = nullptr;
    std::size_t size = 0;
  };
  Area AreaFor(uint8_t command);
  void SetDefaults();

  Product product_;
};

}  // namespace korvale::emu
