#pragma once
// Per-device command engine: turns one command into 64-byte command reports
// on the cable or the receiver channel, matches answers by command code and
// reports a small result code (CMD_OK ... CMD_BAD_ARGUMENT).
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>

#include "hid/hid_device.h"
#include "protocol/commands.h"

namespace korvale {

using proto::CMD_BAD_ARGUMENT;
using proto::CMD_NO_ANSWER;
using proto::CMD_NOT_READ;
using proto::CMD_NOT_LINKED;
using proto::CMD_OK;
using proto::CMD_STATUS_FE;
using proto::CMD_STATUS_FF;
using proto::CMD_WRITE_FAILED;
using proto::CommandPacket;

class CDeviceComm {
 public:
  CDeviceComm() = default;
  ~CDeviceComm();
  CDeviceComm(const CDeviceComm&) = delete;
  CDeviceComm& operator=(const CDeviceComm&) = delete;

  // One packet out, answers in until one echoes the command's code and
  // offset (at most two reads); two reads without such an answer are
  // CMD_NO_ANSWER. Returns CMD_OK, CMD_NO_ANSWER, CMD_WRITE_FAILED or
  // CMD_NOT_LINKED. bytesRead gets the size of the last read (0 before any).
  int Exchange(const uint8_t* command, uint32_t commandLength, uint8_t* answer,
               uint32_t answerLength, uint32_t* bytesRead);
  // Same without traces and with the short receiver time-out: the LED stream.
  int ExchangeQuiet(const uint8_t* command, uint32_t commandLength, uint8_t* answer,
                    uint32_t answerLength, uint32_t* bytesRead);

  // 2 = receiver, anything else = cable.
  void SetConnectionMode(int mode);
  // Told the command code and result of every command packet except the
  // LED stream's, on the thread that sent it: the page's notice of a device
  // that refuses commands or does not answer.
  using ResultObserver = std::function<void(uint8_t code, int result)>;
  void SetResultObserver(ResultObserver observer);
  // 1, or 0 when length exceeds 512 (the value is then kept).
  int SetTransferLength(uint32_t length);
  // The headset's LED stream takes turns with the commands: while an
  // exchange runs or waits to run, waits until one ends, at most until
  // `until`. True when none was pending or one ended.
  bool YieldToExchanges(std::chrono::steady_clock::time_point until);

  // ---- the command catalogue ----
  int BeginConfig();
  int EndConfig(int unused = 1);
  int ReadInfo(uint8_t* destination34);
  int ReadConfig(uint8_t* destination, uint32_t length, uint32_t baseOffset);
  int WriteConfig(const uint8_t* source, uint32_t length, uint32_t baseOffset);
  int ReadKeyTable(uint8_t* destination);
  int WriteKeyTable(const uint8_t* source, int tableNumber);
  int WriteFnKeyTable(const uint8_t* source, int tableNumber);
  int WriteKeyTable3(const uint8_t* source, int tableNumber);
  int ReadCustomLight(uint8_t* destination, uint32_t length, uint32_t group,
                      uint32_t groupSize = proto::kCustomGroupSize);
  int WriteCustomLight(const uint8_t* source, uint32_t length, uint32_t group,
                       uint32_t groupSize = proto::kCustomGroupSize);
  int StreamLed(const uint8_t* source, uint32_t length);
  // The image goes to the area at baseOffset (a download writes the header last).
  int WriteMacro(const uint8_t* source, uint32_t length, uint32_t baseOffset = 0);
  int WriteShoot(const uint8_t* source, uint32_t length, uint32_t baseOffset = 0);
  int ReadStatus(uint8_t* destination, uint32_t length, uint32_t offset);
  int ReadLedTable(uint8_t* destination);
  int LightControl();
  bool LinkCheck();

  // ---- state shared with the device layer ----
  std::atomic<uint16_t> transferLength{proto::kMaxTransferLength};
  // Number of exchanges running or waiting to run; the LED streams give way
  // while it is non-zero. Read by other threads.
  std::atomic<int> busy{0};
  std::atomic<int> opened{0};
  std::atomic<int> lightSync{0};
  CHidDevice cableChannel;
  CHidDevice receiverChannel;
  // Held around each single write and read, and by the attach code while it
  // re-opens the channels.
  std::mutex channelLock;
  // Held from write to answer, so two threads never read each other's answers.
  std::mutex exchangeLock;
  std::mutex commandLock;
  std::mutex lightLock;
  std::atomic<int> viaReceiver{0};
  std::atomic<uint8_t> chunkSize{proto::kReceiverChunk};

 private:
  class ExchangeScope;
  // Ends what ExchangeScope began: busy down, and a yielding stream woken.
  void ExchangeEnded();

  std::mutex observerLock_;
  ResultObserver observer_;
  std::atomic<uint64_t> exchangesEnded_{0};
  std::atomic<int> yielding_{0};  // streams in YieldToExchanges: only then does an end notify
  std::mutex yieldLock_;
  std::condition_variable yieldCv_;

  int DoExchange(const uint8_t* command, uint32_t commandLength, uint8_t* answer,
                 uint32_t answerLength, uint32_t* bytesRead, bool quiet);
  // One packet-level exchange; maps the answer status into the result.
  int PacketExchange(uint8_t* packet, uint8_t* answer, std::mutex* lock, bool quiet);
  int Control(uint8_t code);
  enum class Dir { Read, Write };
  int Chunked(uint8_t code, Dir dir, uint8_t* readDst, const uint8_t* writeSrc,
              uint32_t total, uint32_t baseOffset, uint32_t chunk, std::mutex* lock);
  int WriteTable(uint8_t code, const uint8_t* source, int tableNumber);
};

// "%02x ..." trace lines of a 64-byte report, as the engine writes them.
void TracePacket(const char* title, const uint8_t* bytes64);

}  // namespace korvale
