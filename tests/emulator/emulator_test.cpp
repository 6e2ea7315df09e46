// The emulated devices as hosts see them: interfaces and collections, events,
// the bus wire rules, the headset's LED reports, the state file, and the
// korvale-emu program with its stdin commands.
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <map>
#include <thread>

#include "hid/device_table.h"
#include "hid/hid_interfaces.h"
#include "hid/vhid_frame.h"
#include "platform/atomic_file.h"
#include "platform/trace.h"
#include "tests/protocol/bus_fixture.h"
#include "tests/support/emu_process.h"

namespace korvale {
namespace {

using namespace proto;
using emu::Endpoint;
using testing::BusPath;
using testing::BusTest;
using testing::EmuProcess;

class EmulatorTest : public BusTest {};

TEST_F(EmulatorTest, InterfacesMatchTheSupportedDeviceTable) {
  Serve({Endpoint::Keyboard, Endpoint::MouseCable, Endpoint::MouseReceiver, Endpoint::Mousepad,
         Endpoint::Headset});
  // Table rows each interface must bind, primary and consumer-control.
  std::map<std::string, std::vector<int>> expect = {
      {"keyboard", {0, 1}}, {"mouse-cable", {4, 5}}, {"mouse-receiver", {6, 7}},
      {"mousepad", {8, 9}}, {"headset", {10}}};
  std::map<std::string, std::vector<int>> found;
  for (const auto& i : ListHidInterfaces()) {
    if (i.backend != "vhid") continue;
    DeviceIdEntry id = IdentityFromPath(i.path);
    id.usagePage = i.usagePage;
    id.usage = i.usage;
    if (!LookupFullIdentity(id)) continue;
    const int row = FindTableRow(id.vid, id.pid, id.kind, id.auxiliary);
    const auto slash = i.path.rfind('/');
    const auto dot = i.path.find(".sock", slash);
    found[i.path.substr(slash + 1, dot - slash - 1)].push_back(row);
  }
  for (auto& [name, rows] : found) std::sort(rows.begin(), rows.end());
  EXPECT_EQ(found, expect);

  CHidDevice ch;
  ASSERT_TRUE(ch.Open(BusPath(Endpoint::Keyboard, 4), true, true, true, false));
  EXPECT_EQ(ch.Caps().usagePage, 0xFF1C);
  EXPECT_EQ(ch.Caps().usage, 0x92);
  EXPECT_EQ(ch.Caps().inputReportByteLength, kPacketSize);
  EXPECT_EQ(ch.Caps().outputReportByteLength, kPacketSize);
}

uint16_t ReadEvent(CHidDevice& ch, uint32_t timeoutMs = 1000) {
  uint8_t buf[kPacketSize] = {};
  uint32_t n = 0;
  if (!ch.Read(buf, sizeof buf, &n, timeoutMs)) return 0;
  if (!ch.UnpackReport(buf, n, HidReportType::Input) || ch.InputData().empty()) return 0xFFFF;
  const auto& e = ch.InputData()[0];
  if (e.isButton) return e.usages.empty() ? 0xFFFE : e.usages[0];
  return static_cast<uint16_t>(e.rawValue);
}

TEST_F(EmulatorTest, EventsReachEveryHostOfTheConsumerCollection) {
  Serve({Endpoint::Keyboard, Endpoint::MouseReceiver, Endpoint::Headset});
  CHidDevice a, b, command;
  const std::string path = BusPath(Endpoint::Keyboard, 3);
  ASSERT_TRUE(a.Open(path, true, true, true, false));
  ASSERT_TRUE(b.Open(path, true, true, true, false));
  ASSERT_TRUE(command.Open(BusPath(Endpoint::Keyboard, 4), true, true, true, false));
  EXPECT_EQ(a.Caps().usagePage, 0x0C);

  ASSERT_TRUE(emu_->Key(Endpoint::Keyboard, 7, true));
  ASSERT_TRUE(emu_->Key(Endpoint::Keyboard, 7, false));
  ASSERT_TRUE(emu_->SetProfile(Endpoint::Keyboard, 3, 2));
  ASSERT_TRUE(emu_->SendEvent(Endpoint::Keyboard, kEventResync));
  for (CHidDevice* ch : {&a, &b}) {
    EXPECT_EQ(ReadEvent(*ch), kEventKeyDown + 7);
    EXPECT_EQ(ReadEvent(*ch), kEventKeyUp + 7);
    EXPECT_EQ(ReadEvent(*ch), kEventProfileEx | 0x23);
    EXPECT_EQ(ReadEvent(*ch), kEventResync);
  }
  // The command collection sees none of them.
  uint8_t buf[kPacketSize];
  EXPECT_FALSE(command.Read(buf, sizeof buf, nullptr, 100));
  emu_->WithModel(emu::Product::Keyboard,
                  [](emu::DeviceModel& m) { EXPECT_EQ(m.config[kActiveRecordOffset], 3); });

  CHidDevice headset;
  ASSERT_TRUE(headset.Open(BusPath(Endpoint::Headset, 0), true, true, true, false));
  ASSERT_TRUE(emu_->SendEvent(Endpoint::Headset, kEventResync));
  EXPECT_EQ(ReadEvent(headset), kEventResync);

  // Through the receiver only while the radio link is up.
  CHidDevice radio;
  ASSERT_TRUE(radio.Open(BusPath(Endpoint::MouseReceiver, 3), true, true, true, false));
  emu_->SetLink(false);
  emu_->Key(Endpoint::MouseReceiver, 2, true);
  EXPECT_EQ(ReadEvent(radio, 150), 0);
  emu_->SetLink(true);
  emu_->SetProfile(Endpoint::MouseReceiver, 1, std::nullopt);
  EXPECT_EQ(ReadEvent(radio), kEventProfile | 1);
}

TEST_F(EmulatorTest, HeadsetTakesCommandsAndLedReportsOnItsOneCollection) {
  Serve({Endpoint::Headset});
  Attach(Endpoint::Headset, kModeCable);
  std::vector<uint8_t> rec(kPadRecordReadSize);
  ASSERT_EQ(comm_->ReadConfig(rec.data(), 1, 0), CMD_OK);
  ASSERT_EQ(comm_->ReadConfig(rec.data(), kPadRecordReadSize, rec[0] * kPadRecordStride),
            CMD_OK);
  EXPECT_EQ(rec[2], 4);  // brightness

  uint8_t led[kHeadsetLedReportSize] = {kHeadsetLedReportId, 0x22, kHeadsetLedSecondHalf + 1, 0,
                                        10, 11, 12, 13, 14, 15, 99};
  ASSERT_TRUE(comm_->cableChannel.Write(led, sizeof led, nullptr, 1000));
  led[2] = kHeadsetLedFirstHalf;
  ASSERT_TRUE(comm_->cableChannel.Write(led, sizeof led, nullptr, 1000));
  // The LED report travels on the same socket: a command after it proves it was taken.
  ASSERT_EQ(comm_->BeginConfig(), CMD_OK);
  emu_->WithModel(emu::Product::Headset, [](emu::DeviceModel& m) {
    EXPECT_EQ(m.headsetLeds[7][1], 10);   // green of LEDs 7-12
    EXPECT_EQ(m.headsetLeds[12][1], 15);
    EXPECT_EQ(m.headsetLeds[0][0], 10);   // red of LEDs 0-6
    EXPECT_EQ(m.headsetLeds[6][0], 99);
  });
}

// A raw host on the socket: the wire rules of the bus.
class RawHost {
 public:
  explicit RawHost(const std::filesystem::path& sock) {
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, sock.c_str(), sizeof addr.sun_path - 1);
    connected_ = ::connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  }
  ~RawHost() { ::close(fd_); }
  bool connected() const { return connected_; }
  bool Send(const std::vector<uint8_t>& bytes) { return vhid::SendAll(fd_, bytes); }
  // Next frame, or nullopt on time-out or when the device closed the connection.
  std::optional<vhid::Frame> Next(int timeoutMs, bool* closed = nullptr) {
    for (;;) {
      if (auto f = reader_.Pop()) return f;
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, timeoutMs) <= 0) return std::nullopt;
      uint8_t buf[4096];
      const ssize_t n = ::recv(fd_, buf, sizeof buf, 0);
      if (n <= 0) {
        if (closed) *closed = true;
        return std::nullopt;
      }
      reader_.Feed({buf, static_cast<std::size_t>(n)});
    }
  }

 private:
  int fd_ = -1;
  bool connected_ = false;
  vhid::FrameReader reader_;
};

TEST_F(EmulatorTest, BusWireRules) {
  Serve({Endpoint::Mousepad});
  RawHost host(emu_->SocketPath(Endpoint::Mousepad));
  ASSERT_TRUE(host.connected());
  // Unknown frame types are ignored; GET_INFO still answered after them.
  ASSERT_TRUE(host.Send(vhid::EncodeFrame(static_cast<vhid::FrameType>(0x55), {})));
  ASSERT_TRUE(host.Send(vhid::EncodeFrame(vhid::FrameType::GetInfo, {})));
  auto f = host.Next(1000);
  ASSERT_TRUE(f);
  EXPECT_EQ(f->type, static_cast<uint8_t>(vhid::FrameType::Info));
  auto info = vhid::DecodeInfo(f->payload);
  ASSERT_TRUE(info);
  EXPECT_EQ(info->vendorId, kSupportedDevices[8].vid);
  EXPECT_EQ(info->productId, kSupportedDevices[8].pid);
  EXPECT_EQ(info->interfaceNumber, 1);

  // A short command report counts as zero-filled; an empty OUTPUT is ignored.
  ASSERT_TRUE(host.Send(vhid::EncodeFrame(vhid::FrameType::Output, {})));
  std::vector<uint8_t> cmd = {kCommandReportId, kBeginConfig, 0, kBeginConfig};
  ASSERT_TRUE(host.Send(vhid::EncodeFrame(vhid::FrameType::Output, cmd)));
  f = host.Next(1000);
  ASSERT_TRUE(f);
  ASSERT_EQ(f->payload.size(), kPacketSize);
  EXPECT_EQ(f->payload[kOffCommand], kBeginConfig);
  EXPECT_EQ(f->payload[kOffStatus], kStatusOk);

  // A frame longer than 4096 bytes closes the connection.
  std::vector<uint8_t> big = {0x01, 0x10, 0x00, 0x00, 0x02};  // L = 4097
  big.resize(4 + 4097, 0);
  host.Send(big);
  bool closed = false;
  EXPECT_FALSE(host.Next(1000, &closed));
  EXPECT_TRUE(closed);
  // Others are still served.
  RawHost other(emu_->SocketPath(Endpoint::Mousepad));
  ASSERT_TRUE(other.Send(vhid::EncodeFrame(vhid::FrameType::GetInfo, {})));
  EXPECT_TRUE(other.Next(1000));
}

TEST_F(EmulatorTest, FirmwareRefusesWhatItCannotHold) {
  emu::DeviceModel pad(emu::Product::Mousepad);
  auto cmd = [](uint8_t code, uint8_t len, uint16_t off) {
    emu::Report r{};
    r[0] = kCommandReportId;
    r[kOffCommand] = code;
    r[kOffLength] = len;
    SetPacketOffset(r.data(), off);
    SealPacket(r.data());
    return r;
  };
  struct Case {
    emu::Report in;
    uint8_t status;
  };
  emu::Report badSum = cmd(kReadInfo, 4, 0);
  badSum[kOffChecksum] ^= 1;
  const Case cases[] = {
      {cmd(kReadInfo, 34, 0), kStatusOk},
      {cmd(kReadInfo, 35, 0), kStatusFF},           // beyond the block
      {cmd(kReadConfig, 57, 0), kStatusFF},         // more than a packet holds
      {cmd(kWriteConfig, 8, kConfigAreaSize - 4), kStatusFF},
      {cmd(kWriteMacro, 8, 0), kStatusFF},          // the pad has no macro memory
      {cmd(0x42, 0, 0), kStatusFE},                 // no such command
      {badSum, kStatusFE},
  };
  const auto before = pad.Serialize();
  for (const auto& c : cases) {
    const auto out = pad.Handle(c.in, false);
    EXPECT_EQ(out[kOffStatus], c.status) << int(c.in[kOffCommand]);
    EXPECT_EQ(out[kOffCommand], c.in[kOffCommand]);
  }
  EXPECT_EQ(pad.Serialize(), before);
}

TEST_F(EmulatorTest, StateFileKeepsMemoryAndRefusesDamage) {
  const auto state = dir_ / "state";
  Serve({Endpoint::Keyboard});
  ASSERT_TRUE(emu_->SetStateFile(state));
  Attach(Endpoint::Keyboard, kModeCable);
  const std::vector<uint8_t> rec = {0, 7, 3, 1, 1, 0, 1, 2, 3};
  ASSERT_EQ(comm_->BeginConfig(), CMD_OK);
  ASSERT_EQ(comm_->WriteConfig(rec.data(), rec.size(), 40), CMD_OK);
  ASSERT_EQ(comm_->EndConfig(1), CMD_OK);  // saved here, not only at the end
  ASSERT_TRUE(std::filesystem::exists(state));

  emu::Emulator again(dir_ / "bus2");
  again.Add(Endpoint::Keyboard);
  ASSERT_TRUE(again.SetStateFile(state));
  again.WithModel(emu::Product::Keyboard, [&](emu::DeviceModel& m) {
    EXPECT_EQ(std::vector<uint8_t>(m.config.begin() + 40, m.config.begin() + 49), rec);
  });

  // A damaged file: defaults kept, a trace says so, the file is not touched.
  std::string bytes = *ReadFileBytes(state);
  bytes.resize(bytes.size() - 3);
  ASSERT_TRUE(WriteFileAtomic(state, bytes));
  emu::Emulator damaged(dir_ / "bus3");
  damaged.Add(Endpoint::Keyboard);
  TraceSink::Instance().Clear();
  EXPECT_FALSE(damaged.SetStateFile(state));
  EXPECT_TRUE(TraceSink::Instance().Contains("damaged"));
  damaged.WithModel(emu::Product::Keyboard,
                    [&](emu::DeviceModel& m) { EXPECT_EQ(m.config[41], 1); });
  EXPECT_EQ(*ReadFileBytes(state), bytes);
}

// ---- korvale-emu as a process ----

TEST_F(EmulatorTest, ProgramServesKeepsStateAndTakesCommands) {
  const auto state = dir_ / "emu.state";
  const std::vector<std::string> args = {"--dir", bus_.string(), "--state", state.string()};
  const std::vector<uint8_t> rec = {0, 9, 2, 2, 1, 1, 10, 20, 30};
  {
    EmuProcess p;
    ASSERT_TRUE(p.Start(args));
    for (const char* name : {"keyboard ", "mouse-receiver ", "mousepad ", "headset "}) {
      EXPECT_EQ(p.Line().rfind(name, 0), 0u) << name;
    }
    Attach(Endpoint::Keyboard, kModeCable);
    ASSERT_EQ(comm_->BeginConfig(), CMD_OK);
    ASSERT_EQ(comm_->WriteConfig(rec.data(), rec.size(), 0), CMD_OK);
    ASSERT_EQ(comm_->EndConfig(1), CMD_OK);
    comm_ = std::make_unique<CDeviceComm>();
    // A bad command changes nothing and says why.
    ASSERT_TRUE(p.Send("unplug toaster"));
    EXPECT_EQ(p.Line().rfind("error:", 0), 0u);
    ASSERT_TRUE(p.Send("fault keyboard late param=x"));
    EXPECT_EQ(p.Line().rfind("error:", 0), 0u);
    p.CloseStdin();
    EXPECT_EQ(p.Wait(), 0);
    EXPECT_FALSE(std::filesystem::exists(bus_ / "keyboard.sock"));
  }
  EmuProcess p;
  ASSERT_TRUE(p.Start(args));
  for (int i = 0; i < 4; ++i) ASSERT_NE(p.Line(), "");  // one line per device
  Attach(Endpoint::Keyboard, kModeCable);
  std::vector<uint8_t> back(rec.size());
  ASSERT_EQ(comm_->ReadConfig(back.data(), back.size(), 0), CMD_OK);
  EXPECT_EQ(back, rec);

  // Faults, keys and the radio link from stdin.
  ASSERT_TRUE(p.Send("fault keyboard status-ff count=1"));
  EXPECT_EQ(p.Line(), "ok fault keyboard status-ff");
  EXPECT_EQ(comm_->BeginConfig(), CMD_STATUS_FF);
  EXPECT_EQ(comm_->BeginConfig(), CMD_OK);
  CHidDevice events;
  ASSERT_TRUE(events.Open(BusPath(Endpoint::Keyboard, 3), true, true, true, false));
  ASSERT_TRUE(p.Send("press keyboard 12"));
  EXPECT_EQ(p.Line(), "ok press keyboard 12");
  uint8_t ev[kPacketSize] = {};
  ASSERT_TRUE(events.Read(ev, sizeof ev, nullptr, 1000));
  EXPECT_EQ(ev[0], kEventReportId);
  // The raw field is not the code: only the descriptor's usage mapping gives it.
  EXPECT_NE(ev[1] | (ev[2] << 8), kEventKeyDown + 12);
  ASSERT_TRUE(events.UnpackReport(ev, kPacketSize, HidReportType::Input));
  ASSERT_FALSE(events.InputData().empty());
  EXPECT_EQ(events.InputData()[0].usages.at(0), kEventKeyDown + 12);
  CDeviceComm radio;
  ASSERT_TRUE(radio.receiverChannel.Open(BusPath(Endpoint::MouseReceiver, 4), true, true, true,
                                         false));
  radio.SetConnectionMode(kModeReceiver);
  radio.opened = 1;
  ASSERT_TRUE(p.Send("link down"));
  EXPECT_EQ(p.Line(), "ok link down");
  EXPECT_FALSE(radio.LinkCheck());
  EXPECT_EQ(radio.BeginConfig(), CMD_NOT_LINKED);
  ASSERT_TRUE(p.Send("link up"));
  EXPECT_EQ(p.Line(), "ok link up");
  EXPECT_TRUE(radio.LinkCheck());
  // The cable's packet size through the receiver is refused, and the journal says so.
  radio.SetConnectionMode(kModeCable);
  radio.viaReceiver = 1;
  p.Send("journal-clear mouse-receiver");
  EXPECT_EQ(p.Line(), "ok journal-clear mouse-receiver");
  uint8_t block[kInfoSize] = {};
  EXPECT_EQ(radio.ReadInfo(block), CMD_STATUS_FF);
  p.Send("journal mouse-receiver");
  EXPECT_EQ(p.Line(), "cmd 03 len 34 off 0 data " + std::string(2 * kInfoSize, '0') + " status ff");
  EXPECT_EQ(p.Line(), "ok journal 1");

  // Unplugging on stdin: the bound channel fails at once, not at its time-out.
  ASSERT_TRUE(p.Send("unplug keyboard"));
  ASSERT_EQ(p.Line(), "ok unplug keyboard");
  uint8_t buf[kPacketSize];
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(comm_->cableChannel.Read(buf, sizeof buf, nullptr, 3000));
  EXPECT_LT(MsSince(t0), 1000);
  EXPECT_TRUE(BusPath(Endpoint::Keyboard, 4).empty());
  ASSERT_TRUE(p.Send("plug keyboard"));
  EXPECT_EQ(p.Line(), "ok plug keyboard");
  EXPECT_FALSE(BusPath(Endpoint::Keyboard, 4).empty());

  ASSERT_EQ(::kill(p.pid(), SIGTERM), 0);
  EXPECT_EQ(p.Wait(), 0);
  EXPECT_FALSE(std::filesystem::exists(bus_ / "keyboard.sock"));
}

TEST_F(EmulatorTest, PythonClientReadsTheInformationBlock) {
  EmuProcess p;
  ASSERT_TRUE(p.Start({"--dir", bus_.string(), "keyboard"}));
  ASSERT_EQ(p.Line().rfind("keyboard ", 0), 0u);
  const std::string cmd = "python3 " KORVALE_SOURCE_DIR "/tests/emulator/emu_client.py '" +
                          (bus_ / "keyboard.sock").string() + "' 2>&1";
  FILE* f = ::popen(cmd.c_str(), "r");
  ASSERT_NE(f, nullptr);
  std::string out;
  char b[512];
  while (std::fgets(b, sizeof b, f)) out += b;
  const int st = ::pclose(f);
  EXPECT_EQ(WEXITSTATUS(st), 0) << out;
  EXPECT_NE(out.find("key positions 170"), std::string::npos) << out;
}

// --uhid needs the kernel's /dev/uhid; without it the program says so and
// ends with status 2 (a usage-level problem), as it does for --uhid with --dir.
TEST_F(EmulatorTest, UhidRefusedWhereTheKernelHasNone) {
  const auto run = [](const std::string& args, std::string& out) {
    const std::string cmd = std::string(KORVALE_BIN_DIR) + "/korvale-emu " + args + " </dev/null 2>&1";
    FILE* f = ::popen(cmd.c_str(), "r");
    if (f == nullptr) return -1;
    char b[512];
    while (std::fgets(b, sizeof b, f)) out += b;
    return WEXITSTATUS(::pclose(f));
  };
  std::string both;
  EXPECT_EQ(run("--uhid --dir " + bus_.string() + " keyboard", both), 2) << both;
  EXPECT_NE(both.find("exclude each other"), std::string::npos) << both;
  if (::access("/dev/uhid", F_OK) == 0) GTEST_SKIP() << "this kernel has /dev/uhid (make vmtest covers it)";
  std::string out;
  EXPECT_EQ(run("--uhid keyboard", out), 2) << out;
  EXPECT_NE(out.find("/dev/uhid is missing"), std::string::npos) << out;
}

}  // namespace
}  // namespace korvale
