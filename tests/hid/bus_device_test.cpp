// CHidDevice on the virtual HID bus, against devices served by the test.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <thread>

#include "bus_peer.h"
#include "hid/device_table.h"
#include "hid/hid_device.h"
#include "hid/report_descriptor.h"
#include "tests/support/bus_paths.h"
#include "tests/support/temp_dir.h"
#include "platform/trace.h"
#include "test_descriptors.h"

using namespace korvale;
using korvale::testing::BusPeer;

namespace {

vhid::InfoBlock KeyboardInfo() {
  return {0x320F, 0x5064, 0x0102, 1, testdata::kKeyboardInterface, "TX730max Keyboard"};
}
vhid::InfoBlock HeadsetInfo() { return {0x0C76, 0x1630, 0x0100, 3, testdata::kConsumerInterface, "HS6533"}; }

class BusDevice : public ::testing::Test {
 protected:
  void SetUp() override { CHidDevice::SetHidrawEnabled(false); }
  void TearDown() override { CHidDevice::SetHidrawEnabled(true); }

  std::vector<std::string> Paths() {
    CHidDevice d;
    EXPECT_TRUE(d.Enumerate());
    std::vector<std::string> out;
    while (const char* p = d.NextPath()) out.push_back(p);
    return out;
  }

  std::string PathEndingWith(const std::string& suffix) {
    for (auto& p : Paths())
      if (p.size() >= suffix.size() && p.compare(p.size() - suffix.size(), suffix.size(), suffix) == 0) return p;
    ADD_FAILURE() << "no path ends with " << suffix;
    return {};
  }

  korvale::testing::TempDir dir_{"khid"};
  korvale::testing::BusDirOverride bus_{dir_.Path()};
};

std::vector<uint8_t> VendorReport(uint8_t fill) {
  std::vector<uint8_t> r(64, fill);
  r[0] = 4;
  return r;
}

}  // namespace

TEST_F(BusDevice, EnumerationListsEveryCollectionAndBindsTheTableRows) {
  BusPeer keyboard(dir_.Path(), "keyboard", KeyboardInfo());
  BusPeer headset(dir_.Path(), "headset", HeadsetInfo());
  {
    // A socket file nobody listens on any more is not a device.
    int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, (dir_.Path() / "stale.sock").c_str(), sizeof a.sun_path - 1);
    ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ::close(s);
  }

  CHidDevice enumerator;
  EXPECT_EQ(enumerator.NextPath(), nullptr);  // before any enumeration
  ASSERT_TRUE(enumerator.Enumerate());
  std::vector<std::string> paths;
  while (const char* p = enumerator.NextPath()) paths.push_back(p);
  EXPECT_EQ(enumerator.NextPath(), nullptr);  // after the last

  const std::string kb = "vhid:" + (dir_.Path() / "keyboard.sock").string();
  const std::string hs = "vhid:" + (dir_.Path() / "headset.sock").string();
  std::vector<std::string> expected = {
      hs + "#vid_0c76&pid_1630&mi_03",          kb + "#vid_320f&pid_5064&mi_01&col01",
      kb + "#vid_320f&pid_5064&mi_01&col02", kb + "#vid_320f&pid_5064&mi_01&col03",
      kb + "#vid_320f&pid_5064&mi_01&col04"};
  EXPECT_EQ(paths, expected);

  struct Case {
    std::string path;
    uint16_t usagePage, usage;
    uint32_t collection, interfaceNumber;
    int slot;
  };
  const Case cases[] = {
      {expected[0], 0x000C, 0x01, 0, 3, 10}, {expected[1], 0x0001, 0x06, 1, 1, -1},
      {expected[2], 0x0001, 0x80, 2, 1, -1}, {expected[3], 0x000C, 0x01, 3, 1, 1},
      {expected[4], 0xFF1C, 0x92, 4, 1, 0},
  };
  auto slots = MakeSlots();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.path);
    CHidDevice d;
    ASSERT_TRUE(d.Open(c.path, true, false, true, false));
    EXPECT_EQ(d.Caps().usagePage, c.usagePage);
    EXPECT_EQ(d.Caps().usage, c.usage);
    EXPECT_EQ(d.CollectionNumber(), c.collection);
    EXPECT_EQ(d.InterfaceNumber(), c.interfaceNumber);
    DeviceIdEntry id = IdentityFromPath(d.Path());
    id.vid = d.VendorId();
    id.pid = d.ProductId();
    id.usagePage = d.Caps().usagePage;
    id.usage = d.Caps().usage;
    EXPECT_EQ(BindSlot(slots, id), c.slot);
  }
}

TEST_F(BusDevice, OpenRefusesWhatIsNotThere) {
  BusPeer keyboard(dir_.Path(), "keyboard", KeyboardInfo());
  const std::string kb = "vhid:" + (dir_.Path() / "keyboard.sock").string();
  CHidDevice d;
  EXPECT_FALSE(d.Open(kb + "#vid_320f&pid_5064&mi_01&col05", true, true, true, false));  // no fifth collection
  EXPECT_FALSE(d.Open(kb + "#vid_320f&pid_5064&mi_01", true, true, true, false));  // several collections need &col
  EXPECT_FALSE(d.Open(kb + "#vid_320f&pid_50ef&mi_01&col04", true, true, true, false));  // another device now
  EXPECT_FALSE(d.Open("vhid:" + (dir_.Path() / "gone.sock").string() + "#vid_320f&pid_5064&mi_01&col04", true,
                      true, true, false));
  EXPECT_FALSE(d.IsOpen());
  EXPECT_TRUE(d.Path().empty());
  ASSERT_TRUE(d.Open(kb + "#vid_320f&pid_5064&mi_01&col04", true, true, true, false));
  EXPECT_TRUE(d.IsOpen());
  EXPECT_EQ(d.Caps().inputReportByteLength, 64);
  EXPECT_EQ(d.Caps().outputReportByteLength, 64);
  keyboard.Unplug();
  // Opening an unplugged interface fails and leaves the channel closed.
  CHidDevice e;
  EXPECT_FALSE(e.Open(kb + "#vid_320f&pid_5064&mi_01&col04", true, true, true, false));
  EXPECT_FALSE(e.IsOpen());
}

TEST_F(BusDevice, UnusableDevicesAreNeitherListedNorOpened) {
  vhid::InfoBlock broken = KeyboardInfo();
  broken.descriptor.pop_back();  // the last End Collection is missing
  BusPeer bad(dir_.Path(), "bad", broken);
  // Devices that accept but never answer, on both sides of a good one:
  // enumeration gives up on each after the one deadline they share.
  std::vector<int> silent;
  for (const char* name : {"a-silent.sock", "z-silent.sock"}) {
    silent.push_back(::socket(AF_UNIX, SOCK_STREAM, 0));
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, (dir_.Path() / name).c_str(), sizeof a.sun_path - 1);
    ASSERT_EQ(::bind(silent.back(), reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(silent.back(), 4), 0);
  }
  BusPeer good(dir_.Path(), "good", HeadsetInfo());

  TraceSink::Instance().Clear();
  const auto paths = Paths();
  ASSERT_EQ(paths.size(), 1u);
  EXPECT_NE(paths[0].find("good.sock#vid_0c76&pid_1630&mi_03"), std::string::npos);
  EXPECT_TRUE(TraceSink::Instance().Contains("a-silent.sock did not answer GET_INFO"));
  EXPECT_TRUE(TraceSink::Instance().Contains("z-silent.sock did not answer GET_INFO"));
  EXPECT_TRUE(TraceSink::Instance().Contains("bad.sock#vid_320f&pid_5064&mi_01 skipped"));

  CHidDevice d;
  EXPECT_FALSE(d.Open("vhid:" + (dir_.Path() / "bad.sock").string() + "#vid_320f&pid_5064&mi_01&col04", true, true,
                      true, false));
  EXPECT_FALSE(d.IsOpen());
  for (int fd : silent) ::close(fd);
}

TEST_F(BusDevice, AnOversizedFrameEndsTheChannel) {
  BusPeer keyboard(dir_.Path(), "keyboard", KeyboardInfo());
  CHidDevice d;
  ASSERT_TRUE(d.Open(PathEndingWith("&col04"), true, true, true, false));
  TraceSink::Instance().Clear();
  keyboard.SendRaw({0x89, 0x13, 0x00, 0x00, 0x82});  // 5001 bytes announced
  uint8_t buf[64];
  EXPECT_FALSE(d.Read(buf, sizeof buf, nullptr, 2000));
  EXPECT_TRUE(TraceSink::Instance().Contains("malformed frame"));
  // The stream cannot be trusted again: later reports are not taken from it.
  keyboard.SendInput(VendorReport(3));
  EXPECT_FALSE(d.Read(buf, sizeof buf, nullptr, 100));
}

TEST_F(BusDevice, ReadWithTimeoutZeroOnIdleFailsWithZeroBytes) {
  BusPeer keyboard(dir_.Path(), "keyboard", KeyboardInfo());
  CHidDevice d;
  ASSERT_TRUE(d.Open(PathEndingWith("&col04"), true, true, true, false));
  uint8_t buf[64];
  uint32_t n = 77;
  EXPECT_FALSE(d.Read(buf, sizeof buf, &n, 0));
  EXPECT_EQ(n, 0u);
  EXPECT_TRUE(d.IsOpen());  // a failed read leaves the channel open
}

TEST_F(BusDevice, InputReportsReachOnlyTheirCollectionsChannel) {
  BusPeer keyboard(dir_.Path(), "keyboard", KeyboardInfo());
  CHidDevice vendor, consumer;
  ASSERT_TRUE(vendor.Open(PathEndingWith("&col04"), true, true, true, false));
  ASSERT_TRUE(consumer.Open(PathEndingWith("&col03"), true, true, true, false));
  ASSERT_TRUE(keyboard.WaitInfoRequests(2 + 2));  // two enumerations, two opens

  keyboard.SendInput({1, 0x02, 0, 0x04, 0, 0, 0, 0, 0});  // keyboard: shift + A
  keyboard.SendInput({3, 0xE9, 0x00, 0x00, 0x00});        // consumer: volume up
  keyboard.SendInput(VendorReport(0x5A));

  uint8_t buf[64];
  uint32_t n = 0;
  ASSERT_TRUE(vendor.Read(buf, sizeof buf, &n, 2000));
  EXPECT_EQ(n, 64u);
  EXPECT_EQ(std::vector<uint8_t>(buf, buf + 64), VendorReport(0x5A));
  EXPECT_FALSE(vendor.Read(buf, sizeof buf, &n, 50));  // the other reports were not for it

  ASSERT_TRUE(consumer.Read(buf, sizeof buf, &n, 2000));
  EXPECT_EQ(n, 5u);
  ASSERT_TRUE(consumer.UnpackReport(buf, n, HidReportType::Input));
  ASSERT_FALSE(consumer.InputData().empty());
  EXPECT_EQ(consumer.InputData()[0].usages.at(0), 0xE9);
  EXPECT_FALSE(consumer.Read(buf, sizeof buf, &n, 50));
}

TEST_F(BusDevice, CloseFromAnotherThreadEndsABlockedRead) {
  BusPeer keyboard(dir_.Path(), "keyboard", KeyboardInfo());
  CHidDevice d;
  ASSERT_TRUE(d.Open(PathEndingWith("&col04"), true, true, true, false));
  auto reader = std::async(std::launch::async, [&] {
    uint8_t buf[64];
    uint32_t n = 5;
    bool ok = d.Read(buf, sizeof buf, &n, kHidInfinite);
    return std::make_pair(ok, n);
  });
  EXPECT_EQ(reader.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);  // it does block
  d.Close();
  ASSERT_EQ(reader.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  auto [ok, n] = reader.get();
  EXPECT_FALSE(ok);
  EXPECT_EQ(n, 0u);
  EXPECT_FALSE(d.IsOpen());
  // The channel opens again and is not left with a pending stop.
  ASSERT_TRUE(d.Open(PathEndingWith("&col04"), true, true, true, false));
  keyboard.SendInput(VendorReport(1));
  uint8_t buf[64];
  EXPECT_TRUE(d.Read(buf, sizeof buf, nullptr, 2000));
}

TEST_F(BusDevice, UnplugEndsABlockedRead) {
  BusPeer keyboard(dir_.Path(), "keyboard", KeyboardInfo());
  CHidDevice d;
  ASSERT_TRUE(d.Open(PathEndingWith("&col04"), true, true, true, false));
  auto reader = std::async(std::launch::async, [&] {
    uint8_t buf[64];
    return d.Read(buf, sizeof buf, nullptr, kHidInfinite);
  });
  EXPECT_EQ(reader.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
  keyboard.Unplug();
  ASSERT_EQ(reader.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_FALSE(reader.get());
}

TEST_F(BusDevice, StopEndsAWaitOrFailsTheNextCallOnce) {
  BusPeer keyboard(dir_.Path(), "keyboard", KeyboardInfo());
  CHidDevice d;
  ASSERT_TRUE(d.Open(PathEndingWith("&col04"), true, true, true, false));
  uint8_t buf[64];
  auto reader = std::async(std::launch::async, [&] { return d.Read(buf, sizeof buf, nullptr, kHidInfinite); });
  EXPECT_EQ(reader.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
  d.Stop();
  ASSERT_EQ(reader.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  EXPECT_FALSE(reader.get());

  // Raised with nobody waiting: the next call fails even with data waiting, the one after reads.
  keyboard.SendInput(VendorReport(7));
  d.Stop();
  EXPECT_FALSE(d.Read(buf, sizeof buf, nullptr, 2000));
  EXPECT_TRUE(d.Read(buf, sizeof buf, nullptr, 2000));
  EXPECT_EQ(buf[1], 7);
}

TEST_F(BusDevice, WritesSendWholeReportsOfTheChannelsCollection) {
  BusPeer keyboard(dir_.Path(), "keyboard", KeyboardInfo());
  CHidDevice d;
  ASSERT_TRUE(d.Open(PathEndingWith("&col04"), true, true, true, false));
  uint32_t n = 0;
  const auto full = VendorReport(0x11);
  ASSERT_TRUE(d.Write(full.data(), 64, &n, 1000));
  EXPECT_EQ(n, 64u);
  const uint8_t shortReport[3] = {4, 0xAA, 0xBB};
  ASSERT_TRUE(d.Write(shortReport, 3, &n, 1000));
  EXPECT_EQ(n, 3u);

  TraceSink::Instance().Clear();
  std::vector<uint8_t> tooLong(65, 4);
  EXPECT_FALSE(d.Write(tooLong.data(), 65, &n, 1000));
  EXPECT_EQ(n, 0u);
  EXPECT_TRUE(TraceSink::Instance().Contains("output report of 65 bytes refused"));
  auto foreign = VendorReport(0);
  foreign[0] = 3;  // the consumer collection's id
  EXPECT_FALSE(d.Write(foreign.data(), 64, &n, 1000));

  auto outputs = keyboard.WaitOutputs(2);
  ASSERT_EQ(outputs.size(), 2u);
  EXPECT_EQ(outputs[0], full);
  std::vector<uint8_t> padded(64, 0);
  padded[0] = 4, padded[1] = 0xAA, padded[2] = 0xBB;
  EXPECT_EQ(outputs[1], padded);
  // Nothing more arrived: the refused writes never reached the device.
  EXPECT_EQ(keyboard.WaitOutputs(3, 100).size(), 2u);
}

TEST_F(BusDevice, UnnumberedReportsGainAndLoseTheZeroIdByte) {
  BusPeer headset(dir_.Path(), "headset", HeadsetInfo());
  CHidDevice d;
  ASSERT_TRUE(d.Open(PathEndingWith("&mi_03"), true, true, true, false));
  EXPECT_EQ(d.Caps().inputReportByteLength, 2);
  EXPECT_EQ(d.Caps().outputReportByteLength, 2);
  const uint8_t out[2] = {0, 0x7F};
  ASSERT_TRUE(d.Write(out, 2, nullptr, 1000));
  auto outputs = headset.WaitOutputs(1);
  ASSERT_EQ(outputs.size(), 1u);
  EXPECT_EQ(outputs[0], std::vector<uint8_t>{0x7F});  // the bus carries no id for unnumbered reports

  headset.SendInput({0x02});  // second button: usage 0xEA
  uint8_t buf[2] = {9, 9};
  uint32_t n = 0;
  ASSERT_TRUE(d.Read(buf, sizeof buf, &n, 2000));
  EXPECT_EQ(n, 2u);
  EXPECT_EQ(buf[0], 0);
  EXPECT_EQ(buf[1], 0x02);
  ASSERT_TRUE(d.UnpackReport(buf, n, HidReportType::Input));
  const auto& data = d.InputData();
  auto hit = std::find_if(data.begin(), data.end(), [](const HidDataEntry& e) { return e.usages.at(0) != 0; });
  ASSERT_NE(hit, data.end());
  EXPECT_EQ(hit->usages[0], 0xEA);
  EXPECT_EQ(hit->usageMin, 0xEA);
}

TEST_F(BusDevice, AWriteBlockedOnAFullSocketEndsWhenClosed) {
  // A device that answers GET_INFO once and then stops reading.
  int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  std::strncpy(a.sun_path, (dir_.Path() / "stuck.sock").c_str(), sizeof a.sun_path - 1);
  ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(listener, 4), 0);
  std::thread device([&] {
    const int c = ::accept(listener, nullptr, nullptr);
    uint8_t hdr[5];
    if (c < 0 || ::recv(c, hdr, sizeof hdr, MSG_WAITALL) != 5) return;
    vhid::SendAll(c, vhid::EncodeFrame(vhid::FrameType::Info, vhid::EncodeInfo(KeyboardInfo())));
    uint8_t wait;
    ::recv(c, &wait, 1, MSG_PEEK | MSG_WAITALL);  // returns once the host has written something
    ::shutdown(listener, SHUT_RDWR);
    // Keep the connection open without reading until the host goes away.
    pollfd p{c, POLLRDHUP, 0};
    while (::poll(&p, 1, 5000) == 1 && !(p.revents & (POLLRDHUP | POLLHUP))) {
      ::usleep(1000);  // data arrived: still unread on purpose
    }
    ::close(c);
  });
  CHidDevice d;
  ASSERT_TRUE(d.Open("vhid:" + (dir_.Path() / "stuck.sock").string() + "#vid_320f&pid_5064&mi_01&col04", true, true,
                     true, false));
  const auto report = VendorReport(0x33);
  auto writer = std::async(std::launch::async, [&] {
    int written = 0;
    while (written < 1000000 && d.Write(report.data(), 64, nullptr, kHidInfinite)) ++written;
    return written;
  });
  EXPECT_EQ(writer.wait_for(std::chrono::milliseconds(300)), std::future_status::timeout);  // blocked on a full socket
  d.Close();
  ASSERT_EQ(writer.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  const int written = writer.get();
  EXPECT_GT(written, 0);
  EXPECT_LT(written, 1000000);
  device.join();
  ::close(listener);
}
