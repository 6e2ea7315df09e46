// hidraw enumeration and open against a sysfs tree built by the test, laid
// out as the kernel lays it out for a USB HID interface.
#include <gtest/gtest.h>

#include <fstream>

#include "hid/hid_device.h"
#include "hid/hid_interfaces.h"
#include "tests/support/bus_paths.h"
#include "tests/support/temp_dir.h"
#include "platform/trace.h"
#include "test_descriptors.h"

using namespace korvale;
namespace fs = std::filesystem;

namespace {

void WriteFile(const fs::path& p, const std::string& text) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << text;
}

std::string Bytes(const std::vector<uint8_t>& v) { return {v.begin(), v.end()}; }

class HidrawSysfs : public ::testing::Test {
 protected:
  void SetUp() override {
    sys_ = dir_.Path() / "sys";
    dev_ = dir_.Path() / "dev";
    fs::create_directories(dev_);
    CHidDevice::SetSysfsRoot(sys_);
    CHidDevice::SetDevRoot(dev_);
    empty_ = dir_.Path() / "bus";
    fs::create_directories(empty_);
  }
  void TearDown() override {
    CHidDevice::SetSysfsRoot("/sys");
    CHidDevice::SetDevRoot("/dev");
  }

  // <sys>/devices/.../<usbdev>/<usbdev>:1.<mi>/<hid>/hidraw/<node>, and the
  // class link <sys>/class/hidraw/<node> to it, as the kernel has them.
  void AddNode(const std::string& node, const std::string& usbdev, int mi, const std::string& hidId,
               const std::vector<uint8_t>& descriptor, const std::string& release = "0102") {
    const fs::path usb = sys_ / "devices/pci0000:00/0000:00:14.0/usb1" / usbdev;
    const fs::path intf = usb / (usbdev + ":1." + std::to_string(mi));
    const fs::path hid = intf / ("0003:" + node);
    WriteFile(usb / "bcdDevice", release + "\n");
    WriteFile(intf / "bInterfaceNumber", "0" + std::to_string(mi) + "\n");
    WriteFile(hid / "uevent", "DRIVER=hid-generic\n" + hidId + "HID_NAME=Test Device\n");
    WriteFile(hid / "report_descriptor", Bytes(descriptor));
    const fs::path hidraw = hid / "hidraw" / node;
    fs::create_directories(hidraw);
    fs::create_directory_symlink("../..", hidraw / "device");
    fs::create_directories(sys_ / "class/hidraw");
    fs::create_directory_symlink(hidraw, sys_ / "class/hidraw" / node);
  }

  korvale::testing::TempDir dir_{"khid"};
  fs::path sys_, dev_, empty_;
  korvale::testing::BusDirOverride bus_{dir_.Path() / "bus"};
};

}  // namespace

TEST_F(HidrawSysfs, ListsEachCollectionWithItsIdentity) {
  AddNode("hidraw3", "1-2", 1, "HID_ID=0003:0000320F:00005064\n", testdata::kKeyboardInterface);
  AddNode("hidraw5", "1-4", 3, "HID_ID=0003:00000C76:00001630\n", testdata::kConsumerInterface);
  AddNode("hidraw6", "1-5", 0, "HID_ID=0003:0000320F:000050EF\n", {0x05, 0x01, 0xA1});  // broken descriptor
  AddNode("hidraw7", "1-6", 0, "", testdata::kConsumerInterface);                       // no HID_ID
  TraceSink::Instance().Clear();

  const auto list = ListHidInterfaces();
  const std::string n3 = (dev_ / "hidraw3").string(), n5 = (dev_ / "hidraw5").string();
  std::vector<std::string> paths;
  for (const auto& i : list) paths.push_back(i.path);
  EXPECT_EQ(paths, (std::vector<std::string>{
                       n3 + "#vid_320f&pid_5064&mi_01&col01", n3 + "#vid_320f&pid_5064&mi_01&col02",
                       n3 + "#vid_320f&pid_5064&mi_01&col03", n3 + "#vid_320f&pid_5064&mi_01&col04",
                       n5 + "#vid_0c76&pid_1630&mi_03"}));
  ASSERT_EQ(list.size(), 5u);
  EXPECT_EQ(list[3].backend, "hidraw");
  EXPECT_EQ(list[3].usagePage, 0xFF1C);
  EXPECT_EQ(list[3].usage, 0x92);
  EXPECT_EQ(list[3].collectionNumber, 4u);
  EXPECT_EQ(list[3].release, 0x0102);
  EXPECT_EQ(list[3].productName, "Test Device");
  EXPECT_EQ(list[4].interfaceNumber, 3u);
  EXPECT_EQ(list[4].collectionNumber, 0u);
  EXPECT_TRUE(TraceSink::Instance().Contains("hidraw6#vid_320f&pid_50ef&mi_00")) << "the broken one is named";

  // Disabled: only the bus is searched.
  CHidDevice::SetHidrawEnabled(false);
  EXPECT_TRUE(ListHidInterfaces().empty());
  CHidDevice::SetHidrawEnabled(true);
}

TEST_F(HidrawSysfs, OpenReadsIdentityAndCapsAndFiltersReports) {
  AddNode("hidraw3", "1-2", 1, "HID_ID=0003:0000320F:00005064\n", testdata::kKeyboardInterface);
  // A plain file stands in for the node: one read gives its whole content as one report.
  WriteFile(dev_ / "hidraw3", Bytes({3, 0xE9, 0x00, 0x00, 0x00}));
  const std::string base = (dev_ / "hidraw3").string() + "#vid_320f&pid_5064&mi_01";

  CHidDevice consumer;
  ASSERT_TRUE(consumer.Open(base + "&col03", true, false, true, false));
  EXPECT_EQ(consumer.VendorId(), 0x320F);
  EXPECT_EQ(consumer.ProductId(), 0x5064);
  EXPECT_EQ(consumer.Attributes().versionNumber, 0x0102);
  EXPECT_EQ(consumer.Caps().usagePage, 0x000C);
  EXPECT_EQ(consumer.Caps().inputReportByteLength, 5);
  uint8_t buf[64];
  uint32_t n = 0;
  ASSERT_TRUE(consumer.Read(buf, sizeof buf, &n, 1000));
  EXPECT_EQ(n, 5u);
  EXPECT_EQ(buf[1], 0xE9);
  // Not open for writing.
  EXPECT_FALSE(consumer.Write(buf, 5, &n, 0));

  // The vendor channel drops the consumer report; the end of the "node" then fails the read.
  CHidDevice vendor;
  ASSERT_TRUE(vendor.Open(base + "&col04", true, false, true, false));
  EXPECT_EQ(vendor.Caps().inputReportByteLength, 64);
  EXPECT_FALSE(vendor.Read(buf, sizeof buf, &n, 1000));
  EXPECT_EQ(n, 0u);

  CHidDevice missing;
  EXPECT_FALSE(missing.Open((dev_ / "hidraw9").string() + "#vid_320f&pid_5064&mi_01&col04", true, true, true, false));
  EXPECT_FALSE(missing.IsOpen());
}

// A device created through /dev/uhid sits under the uhid misc device, with no
// USB interface folder above it: its interface number is the one at the end
// of HID_PHYS, as usbhid writes it for real devices.
TEST_F(HidrawSysfs, UhidDeviceTakesItsInterfaceFromThePhysicalPath) {
  struct Case {
    const char* phys;
    const char* suffix;
  };
  const Case cases[] = {
      {"usb-korvale-emu-keyboard/input1", "mi_01"},
      {"usb-0000:00:14.0-2/input3", "mi_03"},
      {"usb-korvale-emu-keyboard/input", "mi_00"},    // no digits
      {"usb-korvale-emu-keyboard/input1x", "mi_00"},  // not a number
      {"usb-korvale-emu-keyboard/input999", "mi_00"}, // past one byte
      {"aa:bb:cc:dd:ee:ff", "mi_00"},                 // Bluetooth-like: none
  };
  int k = 0;
  for (const Case& c : cases) {
    const std::string node = "hidraw" + std::to_string(k);
    const fs::path hid = sys_ / "devices/virtual/misc/uhid" / ("0003:0C76:1630.000" + std::to_string(k + 1));
    WriteFile(hid / "uevent", std::string("DRIVER=hid-generic\nHID_ID=0003:00000C76:00001630\nHID_NAME=KORVALE Headset\n") +
                                  "HID_PHYS=" + c.phys + "\nHID_UNIQ=\nMODALIAS=hid:b0003g0001v00000C76p00001630\n");
    WriteFile(hid / "report_descriptor", Bytes(testdata::kConsumerInterface));
    fs::create_directories(hid / "hidraw" / node);
    fs::create_directory_symlink("../..", hid / "hidraw" / node / "device");
    fs::create_directories(sys_ / "class/hidraw");
    fs::create_directory_symlink(hid / "hidraw" / node, sys_ / "class/hidraw" / node);
    ++k;
  }
  const auto list = ListHidInterfaces();
  ASSERT_EQ(list.size(), std::size(cases));
  for (std::size_t i = 0; i < list.size(); ++i) {
    EXPECT_EQ(list[i].path, (dev_ / ("hidraw" + std::to_string(i))).string() + "#vid_0c76&pid_1630&" + cases[i].suffix)
        << cases[i].phys;
    EXPECT_EQ(list[i].release, 0) << "no USB device folder, no release";
  }

  // The headset row binds through this path: interface 3 and no collection.
  WriteFile(dev_ / "hidraw1", "");
  CHidDevice headset;
  ASSERT_TRUE(headset.Open(list[1].path, true, false, true, false));
  EXPECT_EQ(headset.InterfaceNumber(), 3u);
  EXPECT_EQ(headset.Caps().usagePage, 0x000C);
}
