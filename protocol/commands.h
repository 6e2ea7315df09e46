#pragma once
// The command protocol in one place: the 64-byte command report, the command
// codes, result codes, connection modes, the device memory areas the commands
// address, record offsets, the information and status block fields, event
// codes and the headset's LED output report. The host engine and the
// emulated firmware both build on these constants.
#include <array>
#include <cstddef>
#include <cstdint>

namespace korvale::proto {

// ---- The command report ---------------------------------------------------

inline constexpr std::size_t kPacketSize = 64;
inline constexpr uint8_t kCommandReportId = 0x04;
inline constexpr std::size_t kMaxPacketData = 56;

// Same layout for a command and its answer.
struct __attribute__((packed)) CommandPacket {
  uint8_t reportId;
  uint8_t checksumLo;   // sum of bytes 3..63, 16 bits, low byte first
  uint8_t checksumHi;
  uint8_t command;      // answer: echo, or kNotLinked from a receiver
  uint8_t length;       // data bytes in this packet
  uint8_t offsetLo;     // offset of the data within the addressed area
  uint8_t offsetHi;
  uint8_t status;       // answer: kStatusFF / kStatusFE are errors
  uint8_t data[kMaxPacketData];
};
static_assert(sizeof(CommandPacket) == kPacketSize);

inline constexpr std::size_t kOffReportId = offsetof(CommandPacket, reportId);
inline constexpr std::size_t kOffChecksum = offsetof(CommandPacket, checksumLo);
inline constexpr std::size_t kOffCommand = offsetof(CommandPacket, command);
inline constexpr std::size_t kOffLength = offsetof(CommandPacket, length);
inline constexpr std::size_t kOffOffset = offsetof(CommandPacket, offsetLo);
inline constexpr std::size_t kOffStatus = offsetof(CommandPacket, status);
inline constexpr std::size_t kOffData = offsetof(CommandPacket, data);
static_assert(kOffCommand == 3 && kOffLength == 4 && kOffOffset == 5 && kOffStatus == 7 &&
              kOffData == 8);

// Sum of bytes 3..63 as unsigned bytes (at most 61 * 255, always fits 16 bits).
inline uint16_t PacketChecksum(const uint8_t* packet64) {
  uint32_t sum = 0;
  for (std::size_t i = kOffCommand; i < kPacketSize; ++i) sum += packet64[i];
  return static_cast<uint16_t>(sum);
}
inline void SealPacket(uint8_t* packet64) {
  const uint16_t sum = PacketChecksum(packet64);
  packet64[kOffChecksum] = static_cast<uint8_t>(sum & 0xFF);
  packet64[kOffChecksum + 1] = static_cast<uint8_t>(sum >> 8);
}
inline uint16_t PacketOffset(const uint8_t* packet64) {
  return static_cast<uint16_t>(packet64[kOffOffset] | (packet64[kOffOffset + 1] << 8));
}
inline void SetPacketOffset(uint8_t* packet64, uint16_t offset) {
  packet64[kOffOffset] = static_cast<uint8_t>(offset & 0xFF);
  packet64[kOffOffset + 1] = static_cast<uint8_t>(offset >> 8);
}

// ---- Command codes ----------------------------------------------------------

enum CommandCode : uint8_t {
  kBeginConfig = 0x01,
  kEndConfig = 0x02,
  kReadInfo = 0x03,
  kReadConfig = 0x05,
  kWriteConfig = 0x06,
  kReadKeyTable = 0x07,
  kWriteKeyTable = 0x09,
  kReadCustomLight = 0x0A,
  kWriteCustomLight = 0x0B,
  kStreamLed = 0x12,
  kWriteMacro = 0x15,
  kWriteShoot = 0x17,
  kReadStatus = 0x1A,
  kReadLedTable = 0x1B,
  kLightControl = 0x1C,
  kWriteFnKeyTable = 0x27,
  kWriteKeyTable3 = 0x28,
  kLinkCheck = 0xAA,
};

// Answer byte 3 from a receiver whose device cannot be reached.
inline constexpr uint8_t kNotLinked = 0xAA;
// Answer status bytes that mean failure.
inline constexpr uint8_t kStatusOk = 0x00;
inline constexpr uint8_t kStatusFF = 0xFF;
inline constexpr uint8_t kStatusFE = 0xFE;
// LinkCheck answer byte 8 while the radio link is up.
inline constexpr uint8_t kLinkUpMark = 0xFF;

// ---- Result codes -----------------------------------------------------------

inline constexpr int CMD_OK = 1;
inline constexpr int CMD_NO_ANSWER = 0;
inline constexpr int CMD_WRITE_FAILED = -1;
inline constexpr int CMD_NOT_LINKED = -101;
inline constexpr int CMD_STATUS_FF = -102;
inline constexpr int CMD_STATUS_FE = -103;
inline constexpr int CMD_BAD_ARGUMENT = -201;
// A device operation refused because what it builds on (the key table, the
// configuration record) was never read from the device: nothing was sent.
inline constexpr int CMD_NOT_READ = -202;

// ---- Connection modes -------------------------------------------------------

inline constexpr int kModeCable = 1;
inline constexpr int kModeReceiver = 2;
inline constexpr uint8_t kCableChunk = 56;
inline constexpr uint8_t kReceiverChunk = 24;
inline constexpr uint32_t kCableTimeoutMs = 1000;
inline constexpr uint32_t kReceiverTimeoutMs = 5000;
inline constexpr uint32_t kReceiverQuietTimeoutMs = 500;
inline constexpr uint32_t kEndConfigPauseMs = 10;
// Input reports of other ids an exchange reads past while it waits for its answer.
inline constexpr int kMaxForeignReports = 16;

// ---- Device memory areas ------------------------------------------------------

inline constexpr std::size_t kInfoSize = 34;
inline constexpr std::size_t kConfigAreaSize = 1024;
inline constexpr std::size_t kKeyTableSize = 512;      // also the table-number stride
inline constexpr uint16_t kMaxTransferLength = 512;
inline constexpr std::size_t kKeyTableCount = 3;       // normal, Fn layer, third
inline constexpr std::size_t kLedTableSize = 512;
inline constexpr std::size_t kCustomGroupSize = 512;   // group g at g * 512
inline constexpr std::size_t kCustomGroupCount = 8;
inline constexpr std::size_t kLedFrameSize = 512;
inline constexpr std::size_t kMacroUnit = 128;         // info byte 6 counts these
inline constexpr std::size_t kShootAreaSize = 4096;    // four gun sequences need 2,920
inline constexpr std::size_t kStatusSize = 6;

// Configuration records: the active record index lives at offset 0.
inline constexpr std::size_t kActiveRecordOffset = 0;
inline constexpr std::size_t kKeyboardRecordSize = 40;     // at r * 40
inline constexpr std::size_t kMouseRecordSize = 71;        // at r * 128
inline constexpr std::size_t kMouseRecordStride = 128;
// Mousepad and headset: 40 bytes read and the first 21 written, both at
// r * 64 (one stride: a write must land on the record that was read).
inline constexpr std::size_t kPadRecordReadSize = 40;
inline constexpr std::size_t kPadRecordWriteSize = 21;
inline constexpr std::size_t kPadRecordStride = 64;

// Keyboard record fields the firmware itself acts on.
inline constexpr std::size_t kKbRecProfile = 0;
inline constexpr std::size_t kKbRecMode = 1;
inline constexpr std::size_t kKbRecProfileEventValue = 27;  // from a 0x11nn event
inline constexpr std::size_t kKbRecBrightness = 2;          // 0..4
inline constexpr std::size_t kKbRecSpeed = 3;               // stored as 4 - the shown speed
inline constexpr std::size_t kKbRecDirection = 4;
inline constexpr std::size_t kKbRecMultiColor = 5;
inline constexpr std::size_t kKbRecRed = 6;                 // green and blue follow
inline constexpr std::size_t kKbRecGreen = 7;
inline constexpr std::size_t kKbRecBlue = 8;
inline constexpr std::size_t kKbRecAlwaysZero = 16;         // written as 0
inline constexpr std::size_t kKbRecZzccLedMode = 18;
inline constexpr std::size_t kKbRecWKey = 19;
inline constexpr std::size_t kKbRecSixKey = 20;
inline constexpr std::size_t kKbRecWinLock = 21;
inline constexpr std::size_t kKbRecPollingRate = 22;        // 0..3
inline constexpr std::size_t kKbRecCustomGroup = 26;
// Mode values the keyboard runs from the application's LED stream; the
// record carries them as kKbModeApplicationDriven.
inline constexpr uint8_t kKbModeStreamA = 29;
inline constexpr uint8_t kKbModeStreamB = 30;
inline constexpr uint8_t kKbModeApplicationDriven = 0xFE;
// Mouse record fields (bytes 1-8 as the keyboard's).
inline constexpr std::size_t kMouseRecPollingRate = 11;      // 0..4
inline constexpr std::size_t kMouseRecActiveStage = 12;
inline constexpr std::size_t kMouseRecStages = 14;           // five stages of 9 bytes
inline constexpr std::size_t kMouseStageSize = 9;
inline constexpr std::size_t kMouseStageCount = 5;
inline constexpr std::size_t kMouseRecExtra = 59;            // WriteDeviceConfig's third argument
inline constexpr std::size_t kMouseRecScreenWidth = 60;      // 16 bits LE
inline constexpr std::size_t kMouseRecScreenHeight = 62;     // 16 bits LE
inline constexpr std::size_t kMouseRecCorrectMinSq = 64;
inline constexpr std::size_t kMouseRecCorrectPixThresh = 65;
static_assert(kMouseRecStages + kMouseStageCount * kMouseStageSize == kMouseRecExtra);
// The mouse's report rates by record byte 11.
inline constexpr std::array<int, 5> kMouseReportRatesHz = {125, 250, 500, 1000, 2000};

// Information block fields.
inline constexpr std::size_t kInfoKeyCount = 5;
inline constexpr std::size_t kInfoMacroUnits = 6;
inline constexpr std::size_t kInfoSensorId = 9;     // 16 bits LE
inline constexpr std::size_t kInfoDpiStep = 11;
inline constexpr std::size_t kInfoDpiSteps = 12;    // 16 bits LE
inline constexpr std::size_t kInfoDpiMinimum = 14;  // 16 bits LE
inline constexpr std::size_t kInfoTail = 32;        // 16-bit value after the first 32 bytes

// Power status block.
inline constexpr std::size_t kStatusBattery = 0;
inline constexpr std::size_t kStatusCharge = 1;
inline constexpr std::size_t kStatusWireless = 3;
inline constexpr std::size_t kStatusPhone = 5;

// ---- Events on the consumer-control collection --------------------------------

inline constexpr uint16_t kEventResync = 0x401;
inline constexpr uint16_t kEventProfilesChanged = 0x402;
inline constexpr uint16_t kEventMouseKeyFade = 0x403;
inline constexpr uint16_t kEventKeyDown = 0x500;     // + key position
inline constexpr uint16_t kEventKeyUp = 0x600;       // + key position
inline constexpr uint16_t kEventProfile = 0x1000;    // | profile
inline constexpr uint16_t kEventProfileEx = 0x1100;  // | value << 4 | profile
inline constexpr uint8_t kEventReportId = 0x03;      // keyboard, mouse, mousepad
inline constexpr uint8_t kHeadsetEventReportId = 0x01;

// ---- Headset LED output report ---------------------------------------------------

inline constexpr uint8_t kHeadsetLedReportId = 0xFF;
inline constexpr std::size_t kHeadsetLedReportSize = 17;
inline constexpr std::array<uint8_t, 2> kHeadsetLedTargets = {0x22, 0x44};
// Byte 2: 0xAA..0xAC red/green/blue of LEDs 0-6, 0xAD..0xAF of LEDs 7-12.
inline constexpr uint8_t kHeadsetLedFirstHalf = 0xAA;
inline constexpr uint8_t kHeadsetLedSecondHalf = 0xAD;
inline constexpr std::size_t kHeadsetLedValues = 4;  // first value byte
inline constexpr std::size_t kHeadsetLedCount = 13;
inline constexpr uint8_t kHeadsetLedCap = 0xF7;

}  // namespace korvale::proto
