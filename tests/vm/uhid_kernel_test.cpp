// What the kernel makes of a HID device created through /dev/uhid, met
// through the hidraw backend: the interface number from the physical path,
// report ids and lengths as hidraw passes them, feature reports through
// HIDIOCGFEATURE/HIDIOCSFEATURE, and an unplug under a waiting read. Runs
// inside the virtual machine of make vmtest; skipped where /dev/uhid is missing.
#include <gtest/gtest.h>
#include <linux/uhid.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>
#include <thread>

#include "emulator/uhid_device.h"
#include "hid/hid_device.h"
#include "hid/hid_interfaces.h"

using namespace korvale;
using Clock = std::chrono::steady_clock;

namespace {

// Vendor collection: input report 1 (4 bytes), output report 2 (4 bytes),
// feature report 5 (7 bytes).
const std::vector<uint8_t> kDescriptor = {
    0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x75, 0x08,
    0x85, 0x01, 0x95, 0x04, 0x09, 0x01, 0x81, 0x02,  // input 1
    0x85, 0x02, 0x95, 0x04, 0x09, 0x02, 0x91, 0x02,  // output 2
    0x85, 0x05, 0x95, 0x07, 0x09, 0x03, 0xB1, 0x02,  // feature 5
    0xC0};
const std::vector<uint8_t> kFeature5 = {5, 10, 11, 12, 13, 14, 15, 16};

// The device side: answers feature 5, refuses other feature reads, records
// what the host sent.
class TestDevice {
 public:
  TestDevice() {
    emu::UhidIdentity id;
    id.name = "uhid kernel test";
    id.phys = "usb-uhid-test/input2";
    id.vendorId = 0x1209;  // pid.codes test ids: never one of ours
    id.productId = 0x0001;
    id.descriptor = kDescriptor;
    fd_ = emu::UhidCreate("/dev/uhid", id);
    if (fd_ >= 0) thread_ = std::thread([this] { Serve(); });
  }
  ~TestDevice() { Destroy(); }
  bool Ok() const { return fd_ >= 0; }
  void Destroy() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    emu::UhidDestroy(fd_);
    fd_ = -1;
  }
  bool Input(std::vector<uint8_t> r) { return emu::UhidInput(fd_, r); }
  std::vector<emu::UhidRequest> Received() {
    std::lock_guard<std::mutex> g(lock_);
    return received_;
  }

 private:
  void Serve() {
    while (!stop_) {
      pollfd p{fd_, POLLIN, 0};
      if (::poll(&p, 1, 50) <= 0) continue;
      bool failed = false;
      auto r = emu::UhidReadRequest(fd_, failed);
      if (failed) return;
      if (!r || r->kind == emu::UhidRequest::Kind::Other) continue;
      if (r->kind == emu::UhidRequest::Kind::GetReport) {
        if (r->reportNumber == 5) {
          emu::UhidReplyGetReport(fd_, r->id, 0, kFeature5);
        } else {
          emu::UhidReplyGetReport(fd_, r->id, EIO, {});
        }
      } else if (r->kind == emu::UhidRequest::Kind::SetReport) {
        emu::UhidReplySetReport(fd_, r->id, 0);
      }
      std::lock_guard<std::mutex> g(lock_);
      received_.push_back(*r);
    }
  }
  int fd_ = -1;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::mutex lock_;
  std::vector<emu::UhidRequest> received_;
};

// The test device's path once udev (if it runs) has set the node up.
std::string WaitForPath() {
  const auto end = Clock::now() + std::chrono::seconds(15);
  while (Clock::now() < end) {
    for (const auto& i : ListHidInterfaces())
      if (i.vendorId == 0x1209 && i.productId == 0x0001) return i.path;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return {};
}

template <class F>
bool WaitFor(F done) {
  const auto end = Clock::now() + std::chrono::seconds(10);
  while (!done()) {
    if (Clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

class UhidKernel : public ::testing::Test {
 protected:
  void SetUp() override {
    if (::access("/dev/uhid", R_OK | W_OK) != 0) GTEST_SKIP() << "no /dev/uhid here (make vmtest runs this)";
    ASSERT_TRUE(device_.Ok());
    path_ = WaitForPath();
    ASSERT_FALSE(path_.empty()) << "no hidraw node appeared";
    ASSERT_TRUE(hid_.Open(path_, true, true, true, false)) << path_;
  }
  TestDevice device_;
  std::string path_;
  CHidDevice hid_;
};

}  // namespace

TEST_F(UhidKernel, IdentityAndLengthsAsTheKernelPresentsThem) {
  EXPECT_NE(path_.find("#vid_1209&pid_0001&mi_02"), std::string::npos) << path_;
  EXPECT_EQ(path_.find("&col"), std::string::npos) << "one top-level collection";
  EXPECT_EQ(hid_.InterfaceNumber(), 2u);
  EXPECT_EQ(hid_.Caps().usagePage, 0xFF00);
  EXPECT_EQ(hid_.Caps().inputReportByteLength, 5);
  EXPECT_EQ(hid_.Caps().outputReportByteLength, 5);
  EXPECT_EQ(hid_.Caps().featureReportByteLength, 8);
}

TEST_F(UhidKernel, FeatureReportsGoToTheDeviceAndBack) {
  uint8_t buf[8] = {5};
  uint32_t n = 0;
  ASSERT_TRUE(hid_.GetFeature(buf, sizeof buf, &n, 1000));
  EXPECT_EQ(n, 8u);
  EXPECT_EQ(std::vector<uint8_t>(buf, buf + 8), kFeature5);

  // Not one of the collection's feature reports: refused before the kernel.
  uint8_t other[8] = {6};
  EXPECT_FALSE(hid_.GetFeature(other, sizeof other, &n, 1000));

  const uint8_t set[4] = {5, 1, 2, 3};
  ASSERT_TRUE(hid_.SetFeature(set, sizeof set, 1000));
  std::vector<emu::UhidRequest> got;
  ASSERT_TRUE(WaitFor([&] {
    got = device_.Received();
    return std::any_of(got.begin(), got.end(), [](auto& r) { return r.kind == emu::UhidRequest::Kind::SetReport; });
  }));
  const auto set5 = *std::find_if(got.begin(), got.end(), [](auto& r) { return r.kind == emu::UhidRequest::Kind::SetReport; });
  EXPECT_EQ(set5.reportNumber, 5);
  EXPECT_EQ(set5.reportType, UHID_FEATURE_REPORT);
  EXPECT_EQ(set5.data, (std::vector<uint8_t>{5, 1, 2, 3, 0, 0, 0, 0})) << "sent at the full length";
}

TEST_F(UhidKernel, ReportsKeepTheirIdsAndShortOnesNeverConfuseTheChannel) {
  // A report shorter than its descriptor says: older kernels pass it on as
  // sent (the channel pads it), current ones drop it ("event data too short").
  // Either way the full report that follows arrives whole.
  const std::vector<uint8_t> shortPadded = {1, 0xAA, 0, 0, 0}, full = {1, 0xBB, 0xCC, 0xDD, 0xEE};
  ASSERT_TRUE(device_.Input({1, 0xAA}));
  // An id the descriptor does not know is not passed on.
  ASSERT_TRUE(device_.Input({9, 1, 2, 3, 4}));
  ASSERT_TRUE(device_.Input(full));
  uint8_t buf[16] = {};
  uint32_t n = 0;
  ASSERT_TRUE(hid_.Read(buf, sizeof buf, &n, 3000));
  EXPECT_EQ(n, 5u);
  std::vector<uint8_t> report(buf, buf + 5);
  if (report == shortPadded) {
    ASSERT_TRUE(hid_.Read(buf, sizeof buf, &n, 3000));
    report.assign(buf, buf + 5);
  }
  EXPECT_EQ(report, full);

  // Output reports arrive at the device with their id first.
  const uint8_t out[5] = {2, 7, 7, 7, 7};
  ASSERT_TRUE(hid_.Write(out, sizeof out, &n, 1000));
  std::vector<emu::UhidRequest> got;
  ASSERT_TRUE(WaitFor([&] {
    got = device_.Received();
    return std::any_of(got.begin(), got.end(), [](auto& r) { return r.kind == emu::UhidRequest::Kind::Output; });
  }));
  const auto o = *std::find_if(got.begin(), got.end(), [](auto& r) { return r.kind == emu::UhidRequest::Kind::Output; });
  EXPECT_EQ(o.data, (std::vector<uint8_t>{2, 7, 7, 7, 7}));
  EXPECT_EQ(o.reportType, UHID_OUTPUT_REPORT);
}

TEST_F(UhidKernel, UnplugEndsAWaitingRead) {
  std::atomic<bool> done{false}, result{true};
  std::thread reader([&] {
    uint8_t buf[16];
    result = hid_.Read(buf, sizeof buf, nullptr, kHidInfinite);
    done = true;
  });
  // Whether the read is already waiting or starts after the unplug, it must fail.
  device_.Destroy();
  const bool ended = WaitFor([&] { return done.load(); });
  if (!ended) hid_.Stop();
  reader.join();
  EXPECT_TRUE(ended) << "the read waited on past the unplug";
  EXPECT_FALSE(result.load());
}
