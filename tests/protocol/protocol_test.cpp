// The command engine against emulated devices over the real virtual bus.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <numeric>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/event.h"
#include "platform/trace.h"
#include "tests/protocol/bus_fixture.h"
#include "tests/support/wait.h"

namespace korvale {
namespace {

using namespace proto;
using emu::Endpoint;
using emu::Fault;
using emu::FaultKind;
using testing::BusTest;

struct Sent {
  uint8_t code, length;
  uint16_t offset;
  bool operator==(const Sent&) const = default;
};

std::vector<Sent> Packets(const std::vector<emu::Report>& journal) {
  std::vector<Sent> v;
  for (const auto& r : journal) v.push_back({r[kOffCommand], r[kOffLength], PacketOffset(r.data())});
  return v;
}

std::vector<uint8_t> Pattern(std::size_t n, uint8_t seed) {
  std::vector<uint8_t> v(n);
  for (std::size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(seed + i * 7);
  return v;
}

TEST(CommandPacketTest, ChecksumCoversBytesThreeToSixtyThree) {
  uint8_t p[kPacketSize] = {};
  p[kOffReportId] = kCommandReportId;
  p[kOffChecksum] = 0x77;  // not part of the sum
  p[kOffCommand] = 0x06;
  p[kOffLength] = 56;
  for (std::size_t i = kOffData; i < kPacketSize; ++i) p[i] = 0xFF;
  SealPacket(p);
  const uint16_t expect = 0x06 + 56 + 56 * 0xFF;
  EXPECT_EQ(p[kOffChecksum], expect & 0xFF);
  EXPECT_EQ(p[kOffChecksum + 1], expect >> 8);
}

class ExchangeTest : public BusTest {};

TEST_F(ExchangeTest, ShortCommandGoesOutZeroPaddedWithItsChecksum) {
  Serve({Endpoint::Keyboard});
  Attach(Endpoint::Keyboard, kModeCable);
  uint8_t cmd[8] = {kCommandReportId, 0, 0, kReadStatus, 6, 0, 0, 0};
  const uint16_t sum = kReadStatus + 6;
  cmd[1] = sum & 0xFF;
  cmd[2] = sum >> 8;
  uint8_t answer[kPacketSize];
  uint32_t n = 99;
  ASSERT_EQ(comm_->Exchange(cmd, sizeof cmd, answer, sizeof answer, &n), CMD_OK);
  EXPECT_EQ(n, kPacketSize);
  EXPECT_EQ(answer[kOffCommand], kReadStatus);
  EXPECT_EQ(answer[kOffStatus], kStatusOk);  // the firmware accepted the checksum
  const auto j = emu_->Journal(Endpoint::Keyboard);
  ASSERT_EQ(j.size(), 1u);
  EXPECT_EQ(std::memcmp(j[0].data(), cmd, 8), 0);
  for (std::size_t i = 8; i < kPacketSize; ++i) EXPECT_EQ(j[0][i], 0) << i;
  EXPECT_EQ(comm_->busy.load(), 0);
  EXPECT_TRUE(TraceSink::Instance().Contains("命令"));
  EXPECT_TRUE(TraceSink::Instance().Contains("返回"));
}

TEST_F(ExchangeTest, TraceLinesKeepTheirFormat) {
  uint8_t v[kPacketSize];
  std::iota(v, v + kPacketSize, 0);
  TraceSink::Instance().Clear();
  TracePacket("命令", v);
  const auto t = TraceSink::Instance().Texts();
  ASSERT_EQ(t.size(), 3u);
  EXPECT_EQ(t[0], "命令");
  EXPECT_EQ(t[1],
            "00 01 02 03   04 05 06 07   08 09 0a 0b   0c 0d 0e 0f  10 11 12 13  14 15 16 17  "
            "18 19 1a 1b  1c 1d 1e 1f");
  EXPECT_EQ(t[2].substr(0, 14), "20 21 22 23   ");
}

TEST_F(ExchangeTest, NothingIsSentWhileNotOpened) {
  Serve({Endpoint::Keyboard});
  Attach(Endpoint::Keyboard, kModeCable);
  comm_->opened = 0;
  uint8_t cmd[kPacketSize] = {kCommandReportId, 0, 0, kBeginConfig};
  uint8_t answer[kPacketSize];
  uint32_t n = 7;
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(comm_->Exchange(cmd, sizeof cmd, answer, sizeof answer, &n), CMD_NO_ANSWER);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(comm_->BeginConfig(), CMD_NO_ANSWER);
  uint8_t info[kInfoSize];
  EXPECT_EQ(comm_->ReadInfo(info), CMD_NO_ANSWER);
  EXPECT_LT(MsSince(t0), 200);
  EXPECT_EQ(comm_->busy.load(), 0);
  EXPECT_TRUE(emu_->Journal(Endpoint::Keyboard).empty());
}

TEST_F(ExchangeTest, ModesAndTransferLength) {
  EXPECT_EQ(comm_->chunkSize.load(), kReceiverChunk);  // as constructed
  EXPECT_EQ(comm_->viaReceiver.load(), 0);
  for (auto [mode, via, chunk] : {std::tuple{2, 1, 24}, std::tuple{0, 0, 56},
                                   std::tuple{2, 1, 24}, std::tuple{7, 0, 56}}) {
    comm_->SetConnectionMode(mode);
    EXPECT_EQ(comm_->viaReceiver.load(), via) << mode;
    EXPECT_EQ(comm_->chunkSize.load(), chunk) << mode;
  }
  EXPECT_EQ(comm_->SetTransferLength(510), 1);
  EXPECT_EQ(comm_->SetTransferLength(513), 0);
  EXPECT_EQ(comm_->transferLength.load(), 510);
  EXPECT_EQ(comm_->SetTransferLength(512), 1);
  EXPECT_EQ(comm_->transferLength.load(), 512);
}

TEST_F(ExchangeTest, KeyTableNumberOtherThanZeroIsRefusedBeforeSending) {
  Serve({Endpoint::Keyboard});
  Attach(Endpoint::Keyboard, kModeCable);
  std::vector<uint8_t> table(kKeyTableSize, 0x20);
  EXPECT_EQ(comm_->WriteKeyTable(table.data(), 1), CMD_BAD_ARGUMENT);
  EXPECT_EQ(comm_->WriteFnKeyTable(table.data(), -1), CMD_BAD_ARGUMENT);
  EXPECT_EQ(comm_->WriteKeyTable3(table.data(), 2), CMD_BAD_ARGUMENT);
  EXPECT_TRUE(emu_->Journal(Endpoint::Keyboard).empty());
}

// Packets of each chunked command by cable and through the receiver, and
// the data landing where the offsets say.
TEST_F(ExchangeTest, ChunkingFollowsTheModeAndTheAreaOffsets) {
  Serve({Endpoint::MouseCable, Endpoint::MouseReceiver});
  const auto cfg = Pattern(71, 3);
  const auto shoot = Pattern(120, 9);
  const auto keys = Pattern(48, 1);
  const auto group = Pattern(30, 5);
  struct Case {
    int mode;
    Endpoint e;
    std::vector<Sent> info, config, shoot, keys, custom;
  };
  const std::vector<Case> cases = {
      {kModeCable, Endpoint::MouseCable,
       {{kReadInfo, 34, 0}},
       {{kWriteConfig, 56, 128}, {kWriteConfig, 15, 184}},
       {{kWriteShoot, 56, 0}, {kWriteShoot, 56, 56}, {kWriteShoot, 8, 112}},
       {{kWriteKeyTable, 48, 0}},
       {{kWriteCustomLight, 30, 1024}}},
      {kModeReceiver, Endpoint::MouseReceiver,
       {{kReadInfo, 24, 0}, {kReadInfo, 10, 24}},
       {{kWriteConfig, 24, 128}, {kWriteConfig, 24, 152}, {kWriteConfig, 23, 176}},
       {{kWriteShoot, 24, 0}, {kWriteShoot, 24, 24}, {kWriteShoot, 24, 48}, {kWriteShoot, 24, 72},
        {kWriteShoot, 24, 96}},
       {{kWriteKeyTable, 24, 0}, {kWriteKeyTable, 24, 24}},
       {{kWriteCustomLight, 24, 1024}, {kWriteCustomLight, 6, 1048}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    comm_ = std::make_unique<CDeviceComm>();
    Attach(c.e, c.mode);
    auto step = [&](auto&& run, const std::vector<Sent>& expect) {
      emu_->ClearJournal(c.e);
      EXPECT_EQ(run(), CMD_OK);
      const auto j = emu_->Journal(c.e);
      EXPECT_EQ(Packets(j), expect);
      for (const auto& r : j) {
        EXPECT_EQ(r[kOffChecksum] | (r[kOffChecksum + 1] << 8), PacketChecksum(r.data()));
      }
    };
    uint8_t info[kInfoSize] = {};
    step([&] { return comm_->ReadInfo(info); }, c.info);
    step([&] { return comm_->WriteConfig(cfg.data(), 71, kMouseRecordStride); }, c.config);
    step([&] { return comm_->WriteShoot(shoot.data(), 120); }, c.shoot);
    ASSERT_EQ(comm_->SetTransferLength(48), 1);
    step([&] { return comm_->WriteKeyTable(keys.data(), 0); }, c.keys);
    step([&] { return comm_->WriteCustomLight(group.data(), 30, 2); }, c.custom);

    std::vector<uint8_t> back(71);
    EXPECT_EQ(comm_->ReadConfig(back.data(), 71, kMouseRecordStride), CMD_OK);
    EXPECT_EQ(back, cfg);
    std::vector<uint8_t> groupBack(30);
    EXPECT_EQ(comm_->ReadCustomLight(groupBack.data(), 30, 2), CMD_OK);
    EXPECT_EQ(groupBack, group);
    emu_->WithModel(emu::Product::Mouse, [&](emu::DeviceModel& m) {
      EXPECT_EQ(std::memcmp(info, m.info.data(), kInfoSize), 0);
      EXPECT_EQ(std::memcmp(m.shootMemory.data(), shoot.data(), shoot.size()), 0);
      EXPECT_EQ(std::memcmp(m.keyTables[0].data(), keys.data(), keys.size()), 0);
      m.shootMemory.fill(0);
    });
  }
}

TEST_F(ExchangeTest, KeyboardTablesReadBackAsTheFirmwareHoldsThem) {
  Serve({Endpoint::Keyboard});
  Attach(Endpoint::Keyboard, kModeCable);
  uint8_t info[kInfoSize] = {};
  ASSERT_EQ(comm_->BeginConfig(), CMD_OK);
  ASSERT_EQ(comm_->ReadInfo(info), CMD_OK);
  ASSERT_EQ(comm_->SetTransferLength(info[kInfoKeyCount] * 3u), 1);
  std::vector<uint8_t> keys(comm_->transferLength.load()), leds(comm_->transferLength / 3u);
  ASSERT_EQ(comm_->ReadKeyTable(keys.data()), CMD_OK);
  ASSERT_EQ(comm_->ReadLedTable(leds.data()), CMD_OK);
  ASSERT_EQ(comm_->EndConfig(1), CMD_OK);
  EXPECT_EQ(keys.size(), 510u);
  emu_->WithModel(emu::Product::Keyboard, [&](emu::DeviceModel& m) {
    EXPECT_EQ(std::memcmp(keys.data(), m.defaultKeys.data(), keys.size()), 0);
    EXPECT_EQ(std::memcmp(leds.data(), m.ledTable.data(), leds.size()), 0);
  });
  // Screen key 1 (F1) is found where the firmware keeps it, not at 1.
  const std::size_t pos = emu::KeyboardPositionOfKey(1);
  EXPECT_NE(pos, 1u);
  EXPECT_EQ(keys[pos * 3], 0x20);
  EXPECT_EQ(keys[pos * 3 + 2], 0x3A);
  EXPECT_EQ(leds[pos], emu::KeyboardLedOfKey(1));
  EXPECT_NE(leds[pos], 1);  // the LED index table is not the screen order
}

TEST_F(ExchangeTest, EndConfigPausesFirst) {
  Serve({Endpoint::Keyboard});
  Attach(Endpoint::Keyboard, kModeCable);
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(comm_->EndConfig(1), CMD_OK);
  EXPECT_GE(MsSince(t0), 10);
}

TEST_F(ExchangeTest, ReceiverLinkDownAndLinkCheck) {
  Serve({Endpoint::MouseReceiver});
  Attach(Endpoint::MouseReceiver, kModeReceiver);
  EXPECT_TRUE(comm_->LinkCheck());
  emu_->SetLink(false);
  emu_->ClearJournal(Endpoint::MouseReceiver);
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(comm_->LinkCheck());
  EXPECT_EQ(comm_->BeginConfig(), CMD_NOT_LINKED);
  uint8_t info[kInfoSize] = {0x5A};
  EXPECT_EQ(comm_->ReadInfo(info), CMD_NOT_LINKED);
  EXPECT_EQ(info[0], 0x5A);  // a failed read keeps the old block
  EXPECT_LT(MsSince(t0), 1000);  // no second wait for an answer
  EXPECT_EQ(emu_->Journal(Endpoint::MouseReceiver).size(), 3u);  // one packet each
  emu_->SetLink(true);
  EXPECT_TRUE(comm_->LinkCheck());
}

// LinkCheck is true only for an answer with status neither 0xFF nor 0xFE
// whose byte 8 is 0xFF; the failing answers below differ from a good one in
// that one respect each.
TEST_F(ExchangeTest, LinkCheckNeedsTheUpMarkAndAGoodStatus) {
  Serve({Endpoint::MouseReceiver});
  Attach(Endpoint::MouseReceiver, kModeReceiver);
  struct Case {
    const char* name;
    bool linkUp;
    FaultKind fault;
    uint8_t status, byte8;
    bool expect;
  };
  const Case cases[] = {
      {"up", true, FaultKind::None, kStatusOk, 0xFF, true},
      {"mouse_away", false, FaultKind::None, kStatusOk, 0x00, false},
      {"status_ff", true, FaultKind::StatusFF, kStatusFF, 0xFF, false},
      {"status_fe", true, FaultKind::StatusFE, kStatusFE, 0xFF, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    emu_->SetLink(c.linkUp);
    ASSERT_TRUE(emu_->SetFault(Endpoint::MouseReceiver, {c.fault, 0, 2, 0}));
    uint8_t cmd[kPacketSize] = {kCommandReportId, 0, 0, kLinkCheck};
    SealPacket(cmd);
    uint8_t answer[kPacketSize] = {};
    ASSERT_EQ(comm_->Exchange(cmd, sizeof cmd, answer, sizeof answer, nullptr), CMD_OK);
    EXPECT_EQ(answer[kOffStatus], c.status);
    EXPECT_EQ(answer[kOffData], c.byte8);
    EXPECT_EQ(comm_->LinkCheck(), c.expect);
  }
}

// The receiver carries at most 24 data bytes: a host that forgot its
// connection mode and sends the cable's 56 is refused, and the refusal shows
// in the journal; nothing is written.
TEST_F(ExchangeTest, ReceiverRefusesPacketsLongerThanItCarries) {
  Serve({Endpoint::MouseReceiver});
  Attach(Endpoint::MouseReceiver, kModeReceiver);
  comm_->SetConnectionMode(kModeCable);  // the mode forgotten: cable packets through the receiver
  comm_->viaReceiver = 1;
  const auto rec = Pattern(71, 4);
  emu_->ClearJournal(Endpoint::MouseReceiver);
  EXPECT_EQ(comm_->WriteConfig(rec.data(), 71, kMouseRecordStride), CMD_STATUS_FF);
  EXPECT_EQ(Packets(emu_->Journal(Endpoint::MouseReceiver)), (std::vector<Sent>{{kWriteConfig, 56, 128}}));
  EXPECT_EQ(emu_->JournalStatus(Endpoint::MouseReceiver), std::vector<uint8_t>{kStatusFF});
  emu_->WithModel(emu::Product::Mouse, [&](emu::DeviceModel& m) {
    EXPECT_NE(std::memcmp(m.config.data() + kMouseRecordStride, rec.data(), 24), 0);
  });
  comm_->SetConnectionMode(kModeReceiver);
  EXPECT_EQ(comm_->WriteConfig(rec.data(), 71, kMouseRecordStride), CMD_OK);
  EXPECT_EQ(emu_->JournalStatus(Endpoint::MouseReceiver),
            (std::vector<uint8_t>{kStatusFF, kStatusOk, kStatusOk, kStatusOk}));
}

// By cable LinkCheck is true without traffic, and 0xAA is just a foreign
// code: the exchange waits for a second answer.

TEST_F(ExchangeTest, NotLinkedAnswerCountsAsForeignByCable) {
  Serve({Endpoint::MouseReceiver});
  // The receiver's collection used as if it were the cable.
  const std::string path = testing::BusPath(Endpoint::MouseReceiver, 4);
  ASSERT_TRUE(comm_->cableChannel.Open(path, true, true, true, false));
  comm_->SetConnectionMode(kModeCable);
  comm_->opened = 1;
  emu_->ClearJournal(Endpoint::MouseReceiver);
  EXPECT_TRUE(comm_->LinkCheck());
  EXPECT_TRUE(emu_->Journal(Endpoint::MouseReceiver).empty());
  emu_->SetLink(false);
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(comm_->BeginConfig(), CMD_NO_ANSWER);  // 0xAA, then nothing more
  EXPECT_GE(MsSince(t0), 900);
  EXPECT_LT(MsSince(t0), 1600);
}

struct FaultCase {
  const char* name;
  Fault fault;
  int expect;
  long long minMs, maxMs;
};

class FaultTest : public BusTest, public ::testing::WithParamInterface<FaultCase> {};

// Every fault gives its result within the cable time-out.
TEST_P(FaultTest, CableFaultGivesItsResultInTime) {
  Serve({Endpoint::Keyboard});
  Attach(Endpoint::Keyboard, kModeCable);
  const FaultCase& c = GetParam();
  ASSERT_TRUE(emu_->SetFault(Endpoint::Keyboard, c.fault));
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(comm_->LightControl(), c.expect);
  EXPECT_GE(MsSince(t0), c.minMs);
  EXPECT_LE(MsSince(t0), c.maxMs);
  EXPECT_EQ(comm_->busy.load(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FaultTest,
    ::testing::Values(FaultCase{"none", {}, CMD_OK, 0, 500},
                      FaultCase{"no_answer", {FaultKind::NoAnswer}, CMD_NO_ANSWER, 900, 1600},
                      FaultCase{"late", {FaultKind::LateAnswer, 0, 0, 1500}, CMD_NO_ANSWER, 900, 1600},
                      FaultCase{"one_foreign", {FaultKind::WrongCode}, CMD_NO_ANSWER, 900, 1600},
                      FaultCase{"status_ff", {FaultKind::StatusFF}, CMD_STATUS_FF, 0, 500},
                      FaultCase{"status_fe", {FaultKind::StatusFE}, CMD_STATUS_FE, 0, 500},
                      FaultCase{"garbage", {FaultKind::Garbage}, CMD_OK, 0, 500},
                      FaultCase{"unplug", {FaultKind::Unplug}, CMD_NO_ANSWER, 0, 1600}),
    [](const auto& p) { return std::string(p.param.name); });

// Only an answer echoing the command's code and offset counts: two other
// answers fail the exchange at once (no time-out), whatever they carry, and
// the next command gets its own answer.
TEST_F(ExchangeTest, AnswersWithAnotherCodeOrOffsetFailTheExchange) {
  Serve({Endpoint::Keyboard});
  Attach(Endpoint::Keyboard, kModeCable);
  const Fault faults[] = {{FaultKind::WrongCode, 0, 1, 2}, {FaultKind::WrongOffset, 0, 1, 0},
                          {FaultKind::Zeros, 0, 1, 0}};
  for (const Fault& f : faults) {
    SCOPED_TRACE(emu::FaultKindName(f.kind));
    ASSERT_TRUE(emu_->SetFault(Endpoint::Keyboard, f));
    uint8_t cmd[kPacketSize] = {kCommandReportId, 0, 0, kReadConfig, 8, 40, 0};
    SealPacket(cmd);
    uint8_t answer[kPacketSize] = {};
    uint32_t n = 0;
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(comm_->Exchange(cmd, sizeof cmd, answer, sizeof answer, &n), CMD_NO_ANSWER);
    if (f.kind != FaultKind::WrongOffset) {
      EXPECT_LT(MsSince(t0), 500);
    }
    // A read through the same fault leaves its destination as it was.
    ASSERT_TRUE(emu_->SetFault(Endpoint::Keyboard, f));
    std::vector<uint8_t> rec(40, 0xEE);
    EXPECT_EQ(comm_->ReadConfig(rec.data(), 40, 40), CMD_NO_ANSWER);
    EXPECT_EQ(rec, std::vector<uint8_t>(40, 0xEE));
    // Stray answers of the fault may still arrive; the next command matches its own.
    ASSERT_TRUE(emu_->SetFault(Endpoint::Keyboard, {}));
    uint8_t status[kStatusSize] = {};
    EXPECT_EQ(comm_->ReadStatus(status, kStatusSize, 0), CMD_OK);
    EXPECT_EQ(status[kStatusBattery], 85);
  }
}

TEST_F(ExchangeTest, GarbageReportsNeverReachTheCaller) {
  Serve({Endpoint::Keyboard});
  Attach(Endpoint::Keyboard, kModeCable);
  emu_->SetFault(Endpoint::Keyboard, {FaultKind::Garbage});  // junk of every length, each time
  uint8_t expect[kInfoSize];
  emu_->WithModel(emu::Product::Keyboard,
                  [&](emu::DeviceModel& m) { std::memcpy(expect, m.info.data(), kInfoSize); });
  for (int i = 0; i < 40; ++i) {
    uint8_t got[kInfoSize] = {};
    ASSERT_EQ(comm_->ReadInfo(got), CMD_OK) << i;
    ASSERT_EQ(std::memcmp(got, expect, kInfoSize), 0) << i;
  }
}

TEST_F(ExchangeTest, LateAnswerDoesNotConfuseTheNextCommand) {
  Serve({Endpoint::Keyboard});
  Attach(Endpoint::Keyboard, kModeCable);
  emu_->SetFault(Endpoint::Keyboard, {FaultKind::LateAnswer, 0, 1, 1200});
  EXPECT_EQ(comm_->BeginConfig(), CMD_NO_ANSWER);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the late answer arrives
  uint8_t status[kStatusSize] = {};
  EXPECT_EQ(comm_->ReadStatus(status, kStatusSize, 0), CMD_OK);
  EXPECT_EQ(status[kStatusBattery], 85);
}

// The headset's LED stream gives way to commands: it waits while an exchange
// runs, wakes when that one ends (not at its own deadline), and never waits
// past its deadline for an exchange the device does not answer in time.
TEST_F(ExchangeTest, AYieldingStreamWakesWhenTheExchangeEndsAndNeverPastItsDeadline) {
  using Clock = std::chrono::steady_clock;
  Serve({Endpoint::Headset});
  Attach(Endpoint::Headset, kModeCable);
  EXPECT_TRUE(comm_->YieldToExchanges(Clock::now()));  // none pending: no wait
  emu_->SetFault(Endpoint::Headset, {FaultKind::LateAnswer, 0, 2, 300});
  for (const bool answeredInTime : {true, false}) {
    SCOPED_TRACE(answeredInTime);
    std::jthread command([&] {
      uint8_t status[6];
      EXPECT_EQ(comm_->ReadStatus(status, sizeof status, 0), CMD_OK);
    });
    ASSERT_TRUE(testing::WaitFor([&] { return comm_->busy.load() > 0; }));
    const auto t0 = Clock::now();
    if (answeredInTime) {
      EXPECT_TRUE(comm_->YieldToExchanges(t0 + std::chrono::seconds(5)));
      EXPECT_LT(MsSince(t0), 2500);
    } else {
      EXPECT_FALSE(comm_->YieldToExchanges(t0 + std::chrono::milliseconds(30)));
      EXPECT_GT(comm_->busy.load(), 0);
    }
  }
}

TEST_F(ExchangeTest, ChunkedReadStopsAtTheFailingPacket) {
  Serve({Endpoint::MouseReceiver});
  Attach(Endpoint::MouseReceiver, kModeReceiver);
  emu_->SetFault(Endpoint::MouseReceiver, {FaultKind::StatusFE, 1, 1, 0});
  std::vector<uint8_t> dst(71, 0xEE);
  emu_->ClearJournal(Endpoint::MouseReceiver);
  EXPECT_EQ(comm_->ReadConfig(dst.data(), 71, 0), CMD_STATUS_FE);
  EXPECT_EQ(emu_->Journal(Endpoint::MouseReceiver).size(), 2u);  // the third is never sent
  emu_->WithModel(emu::Product::Mouse, [&](emu::DeviceModel& m) {
    EXPECT_EQ(std::memcmp(dst.data(), m.config.data(), 24), 0);
  });
  for (std::size_t i = 24; i < dst.size(); ++i) ASSERT_EQ(dst[i], 0xEE) << i;
}

TEST_F(ExchangeTest, UnplugDuringATransferFailsPromptlyAndStaysFailed) {
  Serve({Endpoint::Keyboard});
  Attach(Endpoint::Keyboard, kModeCable);
  emu_->SetFault(Endpoint::Keyboard, {FaultKind::Unplug, 3, 0, 0});
  const auto macro = Pattern(400, 2);
  const auto t0 = std::chrono::steady_clock::now();
  const int r = comm_->WriteMacro(macro.data(), 400);
  EXPECT_TRUE(r == CMD_NO_ANSWER || r == CMD_WRITE_FAILED) << r;
  EXPECT_FALSE(emu_->IsPlugged(Endpoint::Keyboard));
  EXPECT_EQ(emu_->Journal(Endpoint::Keyboard).size(), 4u);
  const int again = comm_->BeginConfig();
  EXPECT_TRUE(again == CMD_NO_ANSWER || again == CMD_WRITE_FAILED) << again;
  EXPECT_LT(MsSince(t0), 2500);
}

TEST_F(ExchangeTest, QuietExchangeUsesTheShortReceiverTimeout) {
  Serve({Endpoint::MouseReceiver});
  Attach(Endpoint::MouseReceiver, kModeReceiver);
  emu_->SetFault(Endpoint::MouseReceiver, {FaultKind::NoAnswer});
  const auto frame = Pattern(24, 0);
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(comm_->StreamLed(frame.data(), 24), CMD_NO_ANSWER);
  EXPECT_GE(MsSince(t0), 450);
  EXPECT_LT(MsSince(t0), 1500);
}

// A configuration transfer on one thread, information reads on another and
// the LED stream on a third: configuration packets arrive complete and in
// order, stream packets are dropped rather than waited for, and every reader
// gets its own answers.
TEST_F(ExchangeTest, ConfigurationTransferAndLedStreamInterleave) {
  Serve({Endpoint::Keyboard});
  Attach(Endpoint::Keyboard, kModeCable);
  ASSERT_EQ(comm_->SetTransferLength(510), 1);
  constexpr int kRounds = 15;
  std::vector<std::vector<uint8_t>> tables;
  for (int r = 0; r < kRounds; ++r) tables.push_back(Pattern(510, static_cast<uint8_t>(r * 11)));
  uint8_t expectInfo[kInfoSize];
  emu_->WithModel(emu::Product::Keyboard,
                  [&](emu::DeviceModel& m) { std::memcpy(expectInfo, m.info.data(), kInfoSize); });

  std::atomic<bool> done{false};
  std::atomic<int> configFailures{0}, infoFailures{0}, streamFailures{0}, frames{0};
  std::thread config([&] {
    for (const auto& t : tables) {
      if (comm_->WriteKeyTable(t.data(), 0) != CMD_OK) ++configFailures;
      std::vector<uint8_t> back(71);
      const auto rec = Pattern(71, static_cast<uint8_t>(t[0]));
      if (comm_->WriteConfig(rec.data(), 71, 80) != CMD_OK ||
          comm_->ReadConfig(back.data(), 71, 80) != CMD_OK || back != rec) {
        ++configFailures;
      }
    }
    done = true;
  });
  std::thread info([&] {
    while (!done) {
      uint8_t got[kInfoSize] = {};
      if (comm_->ReadInfo(got) != CMD_OK || std::memcmp(got, expectInfo, kInfoSize) != 0) {
        ++infoFailures;
      }
    }
  });
  const auto frame = Pattern(510, 0x40);
  while (!done) {
    if (comm_->StreamLed(frame.data(), 510) != CMD_OK) ++streamFailures;
    ++frames;
  }
  config.join();
  info.join();
  EXPECT_EQ(configFailures.load(), 0);
  EXPECT_EQ(infoFailures.load(), 0);
  EXPECT_EQ(streamFailures.load(), 0);

  std::vector<Sent> keyPackets;
  std::size_t streamPackets = 0;
  std::vector<uint8_t> written;
  for (const auto& r : emu_->Journal(Endpoint::Keyboard)) {
    if (r[kOffCommand] == kWriteKeyTable) {
      keyPackets.push_back({r[kOffCommand], r[kOffLength], PacketOffset(r.data())});
      written.insert(written.end(), r.begin() + kOffData, r.begin() + kOffData + r[kOffLength]);
    }
    if (r[kOffCommand] == kStreamLed) ++streamPackets;
  }
  std::vector<Sent> expectPackets;
  std::vector<uint8_t> expectBytes;
  for (const auto& t : tables) {
    for (uint16_t off = 0; off < 510; off += 56) {
      expectPackets.push_back({kWriteKeyTable, static_cast<uint8_t>(std::min(56, 510 - off)), off});
    }
    expectBytes.insert(expectBytes.end(), t.begin(), t.end());
  }
  EXPECT_EQ(keyPackets, expectPackets);
  EXPECT_EQ(written, expectBytes);
  const std::size_t attempted = static_cast<std::size_t>(frames.load()) * 10;
  EXPECT_GT(frames.load(), 0);
  EXPECT_LT(streamPackets, attempted);  // some stream packets gave way
}

// A listener of its own on an event collection, as the device layer keeps
// one: every event report it reads, in order.
class EventListener {
 public:
  EventListener(const std::string& path, uint8_t eventId) : eventId_(eventId) {
    EXPECT_TRUE(channel_.Open(path, true, false, true, false)) << path;
    thread_ = std::thread([this] {
      while (!stop_) {
        uint8_t r[kPacketSize] = {};
        uint32_t got = 0;
        if (!channel_.Read(r, sizeof r, &got, kHidInfinite) || got < 3 || r[0] != eventId_) continue;
        std::lock_guard g(lock_);
        values_.push_back(static_cast<uint16_t>(r[1] | r[2] << 8));
      }
    });
  }
  ~EventListener() {
    stop_ = true;
    channel_.Stop();
    thread_.join();
  }
  std::vector<uint16_t> Values() const {
    std::lock_guard g(lock_);
    return values_;
  }

 private:
  const uint8_t eventId_;
  CHidDevice channel_;
  std::atomic<bool> stop_{false};
  mutable std::mutex lock_;
  std::vector<uint16_t> values_;
  std::thread thread_;
};

struct ListenCase {
  const char* name;
  Endpoint endpoint;
  int eventCollection;  // the headset's events share its one collection with the answers
  uint8_t eventId;
};

class EventsAndAnswersTest : public BusTest, public ::testing::WithParamInterface<ListenCase> {};

// Events sent one after another all through a run of exchanges: each reaches
// the listener, in order, and each caller gets its own answer, whether the
// events travel on a collection of their own or beside the answers.
TEST_P(EventsAndAnswersTest, AnswersReachTheirCallerWhileEventsReachTheListener) {
  const ListenCase& c = GetParam();
  Serve({c.endpoint});
  Attach(c.endpoint, kModeCable);
  const auto config = Pattern(kConfigAreaSize, 0x31);
  emu_->WithModel(emu::EndpointProduct(c.endpoint), [&](emu::DeviceModel& m) { m.config = config; });
  EventListener listener(testing::BusPath(c.endpoint, c.eventCollection), c.eventId);

  std::atomic<bool> done{false};
  std::vector<uint16_t> sent;  // the pump's, read after it ends
  std::thread pump([&] {
    for (uint16_t code = 0x100; !done; ++code) {
      if (!emu_->SendEvent(c.endpoint, code)) break;
      sent.push_back(static_cast<uint16_t>(code + 1));  // the wire value of the event array
      if (!testing::WaitFor([&] { return listener.Values().size() == sent.size(); })) break;
    }
  });
  int failures = 0, rounds = 0;
  const auto t0 = std::chrono::steady_clock::now();
  // Until events have kept coming through many exchanges (bounded by time, not a goal).
  while ((rounds < 40 || listener.Values().size() < 20) && MsSince(t0) < 20000) {
    const uint32_t at = static_cast<uint32_t>(rounds * 37) % 900;
    std::vector<uint8_t> got(100, 0xEE);
    if (comm_->ReadConfig(got.data(), 100, at) != CMD_OK ||
        !std::equal(got.begin(), got.end(), config.begin() + at)) {
      ++failures;
    }
    ++rounds;
  }
  done = true;
  pump.join();
  EXPECT_EQ(failures, 0);
  EXPECT_GE(sent.size(), 20u);
  ASSERT_TRUE(testing::WaitFor([&] { return listener.Values().size() >= sent.size(); }));
  EXPECT_EQ(listener.Values(), sent);
}

INSTANTIATE_TEST_SUITE_P(
    Events, EventsAndAnswersTest,
    ::testing::Values(ListenCase{"keyboard", Endpoint::Keyboard, 3, kEventReportId},
                      ListenCase{"headset", Endpoint::Headset, 0, kHeadsetEventReportId}),
    [](const auto& p) { return std::string(p.param.name); });

// Reports that are no answer do not lengthen the wait for one: with the
// headset's events arriving all along, a command that is never answered
// still ends at its time-out.
TEST_F(ExchangeTest, EventsDoNotHoldAWaitPastItsTimeOut) {
  Serve({Endpoint::Headset});
  Attach(Endpoint::Headset, kModeCable);
  ASSERT_TRUE(emu_->SetFault(Endpoint::Headset, {FaultKind::NoAnswer}));
  EventListener listener(testing::BusPath(Endpoint::Headset, 0), kHeadsetEventReportId);
  Event stop(Event::Reset::Manual);
  std::thread pump([&] {
    // One event every 150 ms: each comes well within a time-out of the last.
    for (uint16_t code = 0x200; !stop.Wait(150); ++code) emu_->SendEvent(Endpoint::Headset, code);
  });
  const auto t0 = std::chrono::steady_clock::now();
  const int r = comm_->BeginConfig();
  const long long ms = MsSince(t0);
  stop.Set();
  pump.join();
  EXPECT_EQ(r, CMD_NO_ANSWER);
  EXPECT_GE(ms, 900);
  EXPECT_LT(ms, 1600);
  EXPECT_GE(listener.Values().size(), 5u);  // the events did keep coming meanwhile
}

// Callers on four threads, their commands queued on a link of 1 ms a report:
// each gets the answer to its own command, and the link is never faster than
// its bound.
TEST_F(ExchangeTest, ConcurrentCallersEachGetTheirOwnAnswer) {
  Serve({Endpoint::Keyboard});
  Attach(Endpoint::Keyboard, kModeCable);
  emu_->SetReportCost(std::chrono::milliseconds(1));
  const auto config = Pattern(kConfigAreaSize, 0x52);
  emu_->WithModel(emu::Product::Keyboard, [&](emu::DeviceModel& m) { m.config = config; });
  constexpr int kThreads = 4, kReads = 12;
  std::atomic<int> wrong{0};
  const auto t0 = std::chrono::steady_clock::now();
  std::vector<std::thread> callers;
  for (int t = 0; t < kThreads; ++t) {
    callers.emplace_back([&, t] {
      for (int k = 0; k < kReads; ++k) {
        // One packet each, at an offset no other thread reads.
        const uint16_t at = static_cast<uint16_t>((t * kReads + k) * 17);
        uint8_t cmd[kPacketSize] = {kCommandReportId, 0, 0, kReadConfig, 17};
        SetPacketOffset(cmd, at);
        SealPacket(cmd);
        uint8_t answer[kPacketSize] = {};
        uint32_t n = 0;
        if (comm_->Exchange(cmd, sizeof cmd, answer, sizeof answer, &n) != CMD_OK || PacketOffset(answer) != at ||
            !std::equal(answer + kOffData, answer + kOffData + 17, config.begin() + at)) {
          ++wrong;
        }
      }
    });
  }
  for (auto& c : callers) c.join();
  EXPECT_EQ(wrong.load(), 0);
  EXPECT_GE(MsSince(t0), kThreads * kReads * 2);
  EXPECT_EQ(emu_->Journal(Endpoint::Keyboard).size(), std::size_t{kThreads * kReads});
}

}  // namespace
}  // namespace korvale
