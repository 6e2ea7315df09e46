#include "protocol/device_comm.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

#include "platform/trace.h"

namespace korvale {

using namespace proto;

namespace {

// An answer counts only as a whole report echoing the command's code and offset.
bool IsAnswerTo(const uint8_t* command, const uint8_t* answer, uint32_t got) {
  return got >= kPacketSize && answer[kOffCommand] == command[kOffCommand] &&
         PacketOffset(answer) == PacketOffset(command);
}

// Reports already waiting before a command goes out answer nothing it asks
// (late answers, a device flooding reports): they are dropped, so they cannot
// take the place of this command's answer. Bounded, so a flood cannot hold us.
void DropStaleInput(CHidDevice& channel) {
  constexpr int kMaxStale = 64;
  uint8_t stale[kPacketSize];
  int dropped = 0;
  while (dropped < kMaxStale && channel.Read(stale, sizeof stale, nullptr, 0)) ++dropped;
  if (dropped > 0) Trace("%d stale report(s) dropped before a command", dropped);
}

// 32 values as "%02x" in eight groups of four: three blanks after each of
// the first three groups, two after the others. Written by hand: every
// traced exchange writes four of these lines.
void TraceLine(const uint8_t* v) {
  static constexpr char kHex[] = "0123456789abcdef";
  char line[128];
  std::size_t n = 0;
  for (int i = 0; i < 32; ++i) {
    if (i > 0) {
      const int blanks = i % 4 != 0 ? 1 : i <= 12 ? 3 : 2;
      for (int b = 0; b < blanks; ++b) line[n++] = ' ';
    }
    line[n++] = kHex[v[i] >> 4];
    line[n++] = kHex[v[i] & 0xF];
  }
  TraceText(std::string(line, n));
}

}  // namespace

// Counts an exchange as running or waiting for the LED streams' benefit.
class CDeviceComm::ExchangeScope {
 public:
  explicit ExchangeScope(CDeviceComm& comm) : comm_(comm) { comm_.busy.fetch_add(1); }
  ~ExchangeScope() { comm_.ExchangeEnded(); }
  ExchangeScope(const ExchangeScope&) = delete;
  ExchangeScope& operator=(const ExchangeScope&) = delete;

 private:
  CDeviceComm& comm_;
};

void CDeviceComm::ExchangeEnded() {
  busy.fetch_sub(1);
  exchangesEnded_.fetch_add(1);
  // Read after the count changed: a stream that starts waiting later sees
  // the new count; one already waiting is counted here and gets the notice.
  // Passing through the lock orders the change before its wait; the notice
  // goes out after, so the stream does not wake into a held lock.
  if (yielding_.load() > 0) {
    { std::lock_guard g(yieldLock_); }
    yieldCv_.notify_all();
  }
}

bool CDeviceComm::YieldToExchanges(std::chrono::steady_clock::time_point until) {
  if (busy.load() == 0) return true;
  const uint64_t seen = exchangesEnded_.load();
  yielding_.fetch_add(1);
  bool ended;
  {
    std::unique_lock lk(yieldLock_);
    ended = yieldCv_.wait_until(lk, until, [&] { return busy.load() == 0 || exchangesEnded_.load() != seen; });
  }
  yielding_.fetch_sub(1);
  return ended;
}

void TracePacket(const char* title, const uint8_t* bytes64) {
  if (!TraceListening()) return;
  TraceText(title);
  TraceLine(bytes64);
  TraceLine(bytes64 + 32);
}

CDeviceComm::~CDeviceComm() {
  cableChannel.Close();
  receiverChannel.Close();
}

void CDeviceComm::SetConnectionMode(int mode) {
  if (mode == kModeReceiver) {
    viaReceiver = 1;
    chunkSize = kReceiverChunk;
  } else {
    viaReceiver = 0;
    chunkSize = kCableChunk;
  }
}

int CDeviceComm::SetTransferLength(uint32_t length) {
  if (length > kMaxTransferLength) {
    Trace("transfer length %u refused (at most %u)", length, kMaxTransferLength);
    return 0;
  }
  transferLength = static_cast<uint16_t>(length);
  return 1;
}

int CDeviceComm::Exchange(const uint8_t* command, uint32_t commandLength, uint8_t* answer,
                          uint32_t answerLength, uint32_t* bytesRead) {
  return DoExchange(command, commandLength, answer, answerLength, bytesRead, false);
}

int CDeviceComm::ExchangeQuiet(const uint8_t* command, uint32_t commandLength, uint8_t* answer,
                               uint32_t answerLength, uint32_t* bytesRead) {
  return DoExchange(command, commandLength, answer, answerLength, bytesRead, true);
}

int CDeviceComm::DoExchange(const uint8_t* command, uint32_t commandLength, uint8_t* answer,
                            uint32_t answerLength, uint32_t* bytesRead, bool quiet) {
  ExchangeScope busyScope(*this);
  if (bytesRead) *bytesRead = 0;
  if (!opened.load()) return CMD_NO_ANSWER;
  if (!command || !answer) {
    Trace("exchange without a command or answer buffer");
    return CMD_NO_ANSWER;
  }

  uint8_t out[kPacketSize] = {};
  std::memcpy(out, command, std::min<uint32_t>(commandLength, kPacketSize));
  if (!quiet) TracePacket("命令", out);

  const bool receiver = viaReceiver.load() != 0;
  CHidDevice& channel = receiver ? receiverChannel : cableChannel;
  const uint32_t timeout =
      receiver ? (quiet ? kReceiverQuietTimeoutMs : kReceiverTimeoutMs) : kCableTimeoutMs;
  const uint32_t want = std::min<uint32_t>(answerLength, kPacketSize);

  int result = CMD_NO_ANSWER;
  uint8_t in[kPacketSize] = {};
  uint32_t got = 0;
  {
    std::lock_guard exchange(exchangeLock);
    {
      std::lock_guard lock(channelLock);
      DropStaleInput(channel);
      if (!channel.Write(out, kPacketSize, nullptr, timeout)) {
        result = CMD_WRITE_FAILED;
      }
    }
    if (result != CMD_WRITE_FAILED) {
      using Clock = std::chrono::steady_clock;
      const auto window = std::chrono::milliseconds(timeout);
      auto deadline = Clock::now() + window;
      int foreign = 0;
      for (int reads = 0; reads < 2; ++reads) {
        std::memset(in, 0, sizeof in);
        got = 0;
        // What is left of this read's time-out: reports that do not count
        // do not give the wait more time. 0 still takes an answer already waiting.
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        bool ok;
        {
          std::lock_guard lock(channelLock);
          ok = channel.Read(in, kPacketSize, &got, static_cast<uint32_t>(std::max<long long>(0, left)));
        }
        result = ok ? CMD_OK : CMD_NO_ANSWER;
        if (!ok) got = 0;
        std::memcpy(answer, in, want);
        if (bytesRead) *bytesRead = std::min(got, want);
        if (!ok) break;  // a time-out or an unplugged channel: no second wait
        // Reports of other ids are no answers (the headset's events share
        // its collection): they do not count, up to a bound.
        if (got > kOffReportId && in[kOffReportId] != kCommandReportId && ++foreign <= kMaxForeignReports) {
          --reads;
          continue;
        }
        deadline = Clock::now() + window;  // a counted read: the next one waits its whole time-out
        if (IsAnswerTo(out, in, got)) break;
        if (receiver && got > kOffCommand && in[kOffCommand] == kNotLinked) {
          result = CMD_NOT_LINKED;
          break;
        }
        // Another command's answer, a short report or a stray zero report is
        // no answer to this one: after the second read the exchange fails.
        if (reads == 1) {
          Trace("answer to command %02x at offset %u not received (got code %02x, offset %u, %u bytes)",
                out[kOffCommand], PacketOffset(out), in[kOffCommand], PacketOffset(in), got);
          result = CMD_NO_ANSWER;
        }
      }
    }
  }
  if (!quiet && result != CMD_WRITE_FAILED && TraceListening()) {
    uint8_t shown[kPacketSize] = {};
    std::memcpy(shown, in, want);
    TracePacket("返回", shown);
  }
  return result;
}

int CDeviceComm::PacketExchange(uint8_t* packet, uint8_t* answer, std::mutex* lock, bool quiet) {
  SealPacket(packet);
  uint32_t n = 0;
  int r;
  if (lock) {
    std::lock_guard guard(*lock);
    r = DoExchange(packet, kPacketSize, answer, kPacketSize, &n, quiet);
  } else {
    r = DoExchange(packet, kPacketSize, answer, kPacketSize, &n, quiet);
  }
  if (r == CMD_OK && answer[kOffStatus] == kStatusFF) r = CMD_STATUS_FF;
  if (r == CMD_OK && answer[kOffStatus] == kStatusFE) r = CMD_STATUS_FE;
  if (!quiet) {
    ResultObserver observer;
    {
      std::lock_guard g(observerLock_);
      observer = observer_;
    }
    if (observer) observer(packet[kOffCommand], r);
  }
  return r;
}

void CDeviceComm::SetResultObserver(ResultObserver observer) {
  std::lock_guard g(observerLock_);
  observer_ = std::move(observer);
}

int CDeviceComm::Control(uint8_t code) {
  uint8_t packet[kPacketSize] = {};
  uint8_t answer[kPacketSize] = {};
  packet[kOffReportId] = kCommandReportId;
  packet[kOffCommand] = code;
  return PacketExchange(packet, answer, &commandLock, false);
}

int CDeviceComm::Chunked(uint8_t code, Dir dir, uint8_t* readDst, const uint8_t* writeSrc,
                         uint32_t total, uint32_t baseOffset, uint32_t chunk, std::mutex* lock) {
  if (total == 0) return CMD_OK;
  if ((dir == Dir::Read && !readDst) || (dir == Dir::Write && !writeSrc)) {
    Trace("command %02x: no buffer for %u bytes", code, total);
    return CMD_BAD_ARGUMENT;
  }
  // The offset field has 16 bits: refuse a transfer that cannot be addressed
  // instead of wrapping onto other device memory.
  if (uint64_t{baseOffset} + total > 0x10000u) {
    Trace("command %02x: %u bytes at offset %u exceed the 16-bit offset", code, total, baseOffset);
    return CMD_BAD_ARGUMENT;
  }
  chunk = std::clamp<uint32_t>(chunk, 1, kMaxPacketData);
  for (uint32_t pos = 0; pos < total; pos += chunk) {
    const uint32_t len = std::min(chunk, total - pos);
    uint8_t packet[kPacketSize] = {};
    uint8_t answer[kPacketSize] = {};
    packet[kOffReportId] = kCommandReportId;
    packet[kOffCommand] = code;
    packet[kOffLength] = static_cast<uint8_t>(len);
    SetPacketOffset(packet, static_cast<uint16_t>(baseOffset + pos));
    if (dir == Dir::Write) std::memcpy(packet + kOffData, writeSrc + pos, len);
    const int r = PacketExchange(packet, answer, lock, false);
    if (r != CMD_OK) return r;
    if (dir == Dir::Read) std::memcpy(readDst + pos, answer + kOffData, len);
  }
  return CMD_OK;
}

int CDeviceComm::BeginConfig() { return Control(kBeginConfig); }

int CDeviceComm::EndConfig(int /*unused*/) {
  std::this_thread::sleep_for(std::chrono::milliseconds(kEndConfigPauseMs));
  return Control(kEndConfig);
}

int CDeviceComm::LightControl() { return Control(kLightControl); }

int CDeviceComm::ReadInfo(uint8_t* destination34) {
  uint8_t scratch[kInfoSize] = {};
  const int r = Chunked(kReadInfo, Dir::Read, scratch, nullptr, kInfoSize, 0, chunkSize,
                        &commandLock);
  // Only a whole block replaces what the caller had.
  if (r == CMD_OK && destination34) std::memcpy(destination34, scratch, kInfoSize);
  return r;
}

int CDeviceComm::ReadConfig(uint8_t* destination, uint32_t length, uint32_t baseOffset) {
  return Chunked(kReadConfig, Dir::Read, destination, nullptr, length, baseOffset, chunkSize,
                 &commandLock);
}

int CDeviceComm::WriteConfig(const uint8_t* source, uint32_t length, uint32_t baseOffset) {
  return Chunked(kWriteConfig, Dir::Write, nullptr, source, length, baseOffset, chunkSize,
                 &commandLock);
}

int CDeviceComm::ReadKeyTable(uint8_t* destination) {
  return Chunked(kReadKeyTable, Dir::Read, destination, nullptr, transferLength, 0, chunkSize,
                 &commandLock);
}

int CDeviceComm::WriteTable(uint8_t code, const uint8_t* source, int tableNumber) {
  if (tableNumber != 0) {
    Trace("key table command %02x: table number %d refused", code, tableNumber);
    return CMD_BAD_ARGUMENT;
  }
  return Chunked(code, Dir::Write, nullptr, source, transferLength,
                 static_cast<uint32_t>(tableNumber) * kKeyTableSize, chunkSize, &commandLock);
}

int CDeviceComm::WriteKeyTable(const uint8_t* source, int tableNumber) {
  return WriteTable(kWriteKeyTable, source, tableNumber);
}
int CDeviceComm::WriteFnKeyTable(const uint8_t* source, int tableNumber) {
  return WriteTable(kWriteFnKeyTable, source, tableNumber);
}
int CDeviceComm::WriteKeyTable3(const uint8_t* source, int tableNumber) {
  return WriteTable(kWriteKeyTable3, source, tableNumber);
}

int CDeviceComm::ReadCustomLight(uint8_t* destination, uint32_t length, uint32_t group,
                                 uint32_t groupSize) {
  return Chunked(kReadCustomLight, Dir::Read, destination, nullptr, length,
                 group * groupSize, chunkSize, &commandLock);
}

int CDeviceComm::WriteCustomLight(const uint8_t* source, uint32_t length, uint32_t group,
                                  uint32_t groupSize) {
  return Chunked(kWriteCustomLight, Dir::Write, nullptr, source, length, group * groupSize,
                 chunkSize, &lightLock);
}

int CDeviceComm::StreamLed(const uint8_t* source, uint32_t length) {
  if (length == 0) return CMD_OK;
  if (!source || length > 0x10000u) {
    Trace("LED frame of %u bytes refused", length);
    return CMD_BAD_ARGUMENT;
  }
  const uint32_t chunk = std::clamp<uint32_t>(chunkSize, 1, kMaxPacketData);
  for (uint32_t pos = 0; pos < length; pos += chunk) {
    if (busy.load() != 0) {
      TraceText("放弃灯光数据");
      continue;  // the stream gives way; this packet counts as sent
    }
    const uint32_t len = std::min(chunk, length - pos);
    uint8_t packet[kPacketSize] = {};
    uint8_t answer[kPacketSize] = {};
    packet[kOffReportId] = kCommandReportId;
    packet[kOffCommand] = kStreamLed;
    packet[kOffLength] = static_cast<uint8_t>(len);
    SetPacketOffset(packet, static_cast<uint16_t>(pos));
    std::memcpy(packet + kOffData, source + pos, len);
    const int r = PacketExchange(packet, answer, &lightLock, true);
    if (r != CMD_OK) return r;
  }
  return CMD_OK;
}

int CDeviceComm::WriteMacro(const uint8_t* source, uint32_t length, uint32_t baseOffset) {
  return Chunked(kWriteMacro, Dir::Write, nullptr, source, length, baseOffset, chunkSize,
                 &commandLock);
}

int CDeviceComm::WriteShoot(const uint8_t* source, uint32_t length, uint32_t baseOffset) {
  // Whole packets by cable; the receiver carries no more than its chunk.
  const uint32_t chunk = viaReceiver.load() ? kReceiverChunk : kMaxPacketData;
  return Chunked(kWriteShoot, Dir::Write, nullptr, source, length, baseOffset, chunk, nullptr);
}

int CDeviceComm::ReadStatus(uint8_t* destination, uint32_t length, uint32_t offset) {
  if (length > kMaxPacketData || offset > 0xFFFF || (length && !destination)) {
    Trace("status read of %u bytes at %u refused", length, offset);
    return CMD_BAD_ARGUMENT;
  }
  uint8_t packet[kPacketSize] = {};
  uint8_t answer[kPacketSize] = {};
  packet[kOffReportId] = kCommandReportId;
  packet[kOffCommand] = kReadStatus;
  packet[kOffLength] = static_cast<uint8_t>(length);
  SetPacketOffset(packet, static_cast<uint16_t>(offset));
  const int r = PacketExchange(packet, answer, &commandLock, false);
  if (r == CMD_OK && length) std::memcpy(destination, answer + kOffData, length);
  return r;
}

int CDeviceComm::ReadLedTable(uint8_t* destination) {
  return Chunked(kReadLedTable, Dir::Read, destination, nullptr, transferLength / 3u, 0,
                 chunkSize, &commandLock);
}

bool CDeviceComm::LinkCheck() {
  if (!viaReceiver.load()) return true;
  uint8_t packet[kPacketSize] = {};
  uint8_t answer[kPacketSize] = {};
  packet[kOffReportId] = kCommandReportId;
  packet[kOffCommand] = kLinkCheck;
  const int r = PacketExchange(packet, answer, &commandLock, false);
  return r == CMD_OK && answer[kOffData] == kLinkUpMark;
}

}  // namespace korvale
