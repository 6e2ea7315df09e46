// Device discovery and the device list against korvale-emu as a process:
// binding on plug, loss on unplug, both collections of a product reaching one
// page in either order, the mouse moving between cable and receiver, tiles,
// power panels, and an idle discovery thread that does not wake.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <thread>

#include "devices/varnik_usb_device.h"
#include "hid/hid_device.h"
#include "hid/device_discovery.h"
#include "mainwnd/device_list.h"
#include "mainwnd/device_option.h"
#include "mainwnd/mpdevice_power.h"
#include "platform/registered_messages.h"
#include "platform/trace.h"
#include "platform/ui_loop.h"
#include "tests/hid/test_descriptors.h"
#include "tests/support/bus_paths.h"
#include "tests/support/emu_process.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"
#include "ui/app_messages.h"
#include "ui/containers.h"
#include "ui/controls.h"
#include "ui/dialog_builder.h"
#include "ui/paint_manager.h"
#include "ui/window.h"

namespace korvale {
namespace {

namespace fs = std::filesystem;
using testing::EmuProcess;

constexpr UINT kIdentityMsg = 0xC123;

// A page on the real device base: counts OnConnected, and a receiver link
// that is up only while the device answers the link check.
class TestPage : public CVarnikUSBDevice {
 public:
  void OnConnected() override { ++connected; }
  bool IsWirelessLinkUp() override { return Comm().viaReceiver.load() == 0 || Comm().LinkCheck(); }
  int connected = 0;
};

constexpr const char* kPageClasses[] = {"CVarnikMouseDevice", "CVarnikKeyboardDevice", "CVarnikMousePadDevice",
                                        "CVarnikHS6533Device"};

void RegisterTestPages() {
  for (const char* cls : kPageClasses)
    CControlFactory::GetInstance().RegistControl(cls, [] { return static_cast<CControlUI*>(new TestPage); });
}

// The parts of the main window the list works in, and its message rows.
class TestMainWnd : public WindowImplBase {
 public:
  std::string GetSkinFile() override { return "test_main.xml"; }
  std::string GetWindowClassName() const override { return "TestMainWnd"; }
  LRESULT HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& handled) override {
    handled = true;
    if (msg == WM_DEVICE_BOUND) {
      bound.push_back(static_cast<int>(wParam));
      return list ? list->OnDeviceBound(wParam) : 0;
    }
    if (msg == WM_DEVICE_LOST) {
      lost.push_back(static_cast<int>(wParam));
      return list ? list->OnDeviceLost(wParam) : 0;
    }
    if (msg == WM_TILE_LINK) return list ? list->OnTileLink(wParam, lParam) : 0;
    if (msg == identityMsg) {
      ++identity;
      return 0;
    }
    handled = false;
    return 0;
  }
  CDeviceList* list = nullptr;
  UINT identityMsg = kIdentityMsg;
  std::vector<int> bound, lost;
  int identity = 0;
};

class DiscoveryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = tmp_.Path();
    bus_ = dir_ / "bus";
    ::setenv("KORVALE_VHID_DIR", bus_.c_str(), 1);
    ::setenv("XDG_DATA_HOME", (dir_ / "data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
    CHidDevice::SetHidrawEnabled(false);
    // The real tile and panel skins and images beside small page skins.
    const fs::path res = dir_ / "skin";
    fs::create_directories(res / "XML" / "DeviceXml");
    const fs::path src = fs::path(KORVALE_SOURCE_DIR) / "skin";
    fs::create_directory_symlink(src / "XML" / "CustomControlXML", res / "XML" / "CustomControlXML");
    fs::create_directory_symlink(src / "common", res / "common");
    fs::create_directory_symlink(src / "power", res / "power");
    const std::pair<const char*, const char*> pages[] = {{"mousedevice.xml", "VarnikMouseDevice"},
                                                         {"keyboarddevice.xml", "VarnikKeyboardDevice"},
                                                         {"mousepaddevice.xml", "VarnikMousePadDevice"},
                                                         {"hs6533device.xml", "VarnikHS6533Device"}};
    for (const auto& [file, tag] : pages)
      std::ofstream(res / "XML" / "DeviceXml" / file) << "<Window><" << tag << "/></Window>";
    std::ofstream(res / "test_main.xml")
        << "<Window size=\"800,600\"><VerticalLayout>"
           "<HorizontalLayout name=\"device_select_layout\"/>"
           "<TabLayout name=\"device_power_switch\" visible=\"false\"/>"
           "<TabLayout name=\"device_switch\"/>"
           "<Label name=\"No_device_Link\"/>"
           "</VerticalLayout></Window>";
    CPaintManagerUI::SetResourcePath(res);
    RegisterTestPages();
    SetUiLoop(&loop_);
    wnd_.Create(0, "KORVALE TX730max");
    list_ = std::make_unique<CDeviceList>(wnd_.GetPaintManager(), &wnd_);
    wnd_.list = list_.get();
    list_->SetIdentityMessage(kIdentityMsg);
  }

  void TearDown() override {
    if (list_) {
      list_->StopDiscovery();
      list_->DestroyAll();
    }
    wnd_.list = nullptr;
    list_.reset();
    wnd_.DestroyWindow();
    loop_.RunPending();
    SetUiLoop(nullptr);
    emu_.Kill();
  }

  void StartEmu(const std::vector<std::string>& devices) {
    std::vector<std::string> args = {"--dir", bus_.string(), "--state", (dir_ / "emu.state").string()};
    args.insert(args.end(), devices.begin(), devices.end());
    ASSERT_TRUE(emu_.Start(args));
    for (std::size_t i = 0; i < devices.size(); ++i) ASSERT_NE(emu_.Line(), "");
  }

  // Runs the UI thread's posted work (the discovery thread's messages) until
  // done() or the real-time limit.
  bool PumpUntil(const std::function<bool()>& done) { return testing::PumpUntil(loop_, done, 5000); }

  CControlUI* Find(const char* name) { return wnd_.GetPaintManager().FindControl(name); }
  int PageIndex(std::vector<CVarnikUSBDevice*> const& pages) { return list_->IndexOfPage(pages.at(0)); }
  bool Bound(int slot) { return list_->Discovery().Slot(slot).bound != 0; }
  static bool Has(const std::vector<int>& v, int x) { return std::find(v.begin(), v.end(), x) != v.end(); }

  testing::TempDir tmp_{"korvale-h9"};
  fs::path dir_, bus_;
  VirtualUiLoop loop_;
  TestMainWnd wnd_;
  std::unique_ptr<CDeviceList> list_;
  EmuProcess emu_;
};

TEST_F(DiscoveryTest, KeyboardPlugBindsBothCollectionsShowsTileAndUnplugLosesThem) {
  StartEmu({"keyboard"});
  // No page before its device binds, and none for the products that are absent.
  EXPECT_EQ(list_->PageCount(), 0);
  ASSERT_TRUE(list_->StartDiscovery());
  ASSERT_TRUE(PumpUntil([&] { return Has(wnd_.bound, 0) && Has(wnd_.bound, 1) && wnd_.identity == 1; }));
  ASSERT_EQ(list_->PageCount(), 1);
  ASSERT_EQ(list_->KeyboardPages().size(), 1u);
  EXPECT_TRUE(list_->MousePages().empty());
  EXPECT_TRUE(list_->MousePadPages().empty());
  auto* kb = static_cast<TestPage*>(list_->KeyboardPages()[0]);
  const int index = list_->IndexOfPage(kb);
  EXPECT_TRUE(Bound(0));
  EXPECT_TRUE(Bound(1));
  EXPECT_TRUE(kb->IsPrimaryOpen());
  EXPECT_TRUE(kb->IsEventChannelOpen(1));
  EXPECT_EQ(kb->Comm().viaReceiver.load(), 0);
  EXPECT_TRUE(list_->TileAt(index)->IsVisible());
  EXPECT_EQ(list_->CurrentDevice(), kb);
  EXPECT_FALSE(Find("No_device_Link")->IsVisible());
  EXPECT_EQ(list_->PageCount(), 1);  // both collections reached the one page
  EXPECT_TRUE(TraceSink::Instance().Contains("添加一个键盘设备"));
  // The connect timer connects the page and starts painting.
  loop_.AdvanceBy(500);
  EXPECT_EQ(kb->connected, 1);
  EXPECT_TRUE(wnd_.GetPaintManager().HasTimer(list_->TileAt(index), kTileTimerPaint));

  ASSERT_EQ(emu_.Command("unplug keyboard"), "ok unplug keyboard");
  ASSERT_TRUE(PumpUntil([&] { return Has(wnd_.lost, 0) && Has(wnd_.lost, 1); }));
  EXPECT_FALSE(Bound(0));
  EXPECT_FALSE(Bound(1));
  EXPECT_FALSE(kb->IsPrimaryOpen());
  EXPECT_FALSE(kb->IsEventChannelOpen(1));
  EXPECT_FALSE(list_->TileAt(index)->IsVisible());
  EXPECT_EQ(list_->CurrentDevice(), nullptr);
  EXPECT_TRUE(Find("No_device_Link")->IsVisible());
  EXPECT_EQ(list_->KeyboardPages().size(), 1u);  // the page stays, detached
  // The paint timer stops with the channels.
  loop_.AdvanceBy(100);
  EXPECT_FALSE(wnd_.GetPaintManager().HasTimer(list_->TileAt(index), kTileTimerPaint));

  wnd_.bound.clear();
  ASSERT_EQ(emu_.Command("plug keyboard"), "ok plug keyboard");
  ASSERT_TRUE(PumpUntil([&] { return Has(wnd_.bound, 0) && Has(wnd_.bound, 1); }));
  EXPECT_TRUE(kb->IsPrimaryOpen());
  EXPECT_TRUE(list_->TileAt(index)->IsVisible());
  EXPECT_EQ(list_->KeyboardPages().at(0), kb);  // the page stayed: no second one
  EXPECT_EQ(list_->PageCount(), 1);
  EXPECT_EQ(wnd_.identity, 1);  // once per thread lifetime

  // Exit: every page, tile and panel leaves the window.
  list_->StopDiscovery();
  list_->DestroyAll();
  EXPECT_EQ(list_->PageCount(), 0);
  EXPECT_TRUE(list_->KeyboardPages().empty());
  EXPECT_TRUE(list_->MousePages().empty());
  for (const char* layout : {"device_select_layout", "device_switch", "device_power_switch"})
    EXPECT_EQ(static_cast<CContainerUI*>(Find(layout))->GetCount(), 0) << layout;
  loop_.AdvanceBy(1000);  // no timer of a removed tile fires
}

// With the real keyboard class registered, its page comes from its own skin
// and is connected by the tile's timer.
TEST_F(DiscoveryTest, RealKeyboardPageIsBuiltFromItsSkinAndConnected) {
  RegisterDeviceControls();
  const fs::path skin = dir_ / "skin" / "XML" / "DeviceXml" / "keyboarddevice.xml";
  fs::remove(skin);
  fs::create_symlink(fs::path(KORVALE_SOURCE_DIR) / "skin" / "XML" / "DeviceXml" / "keyboarddevice.xml", skin);
  StartEmu({"keyboard"});
  ASSERT_TRUE(list_->StartDiscovery());
  ASSERT_TRUE(PumpUntil([&] { return Has(wnd_.bound, 0) && Has(wnd_.bound, 1); }));
  ASSERT_EQ(list_->KeyboardPages().size(), 1u);
  CVarnikUSBDevice* kb = list_->KeyboardPages()[0];
  EXPECT_EQ(kb->GetClass(), "VarnikKeyboardDevice");
  EXPECT_EQ(kb->GetKeyCount(), 170);
  EXPECT_EQ(kb->GetDeviceFolderName(), "keyboard");
  EXPECT_EQ(kb->GetDeviceTile(), list_->TileAt(list_->IndexOfPage(kb)));
  ASSERT_TRUE(kb->IsPrimaryOpen());
  const std::array<uint8_t, 34> before = kb->GetDeviceInfo();
  loop_.AdvanceBy(500);
  EXPECT_NE(kb->GetDeviceInfo(), before);  // OnConnected read the device
  EXPECT_TRUE(list_->TileAt(list_->IndexOfPage(kb))->IsVisible());
  list_->StopDiscovery();
  list_->DestroyAll();  // the page stops its threads while the loop still runs
  loop_.RunPending();
}

// hidraw nodes (a sysfs tree of the test's own, plain files for the nodes):
// bound at the first scan, and a node that is gone is lost at the next look.
TEST_F(DiscoveryTest, HidrawNodeIsBoundAndItsRemovalSeen) {
  const fs::path sys = dir_ / "sys", dev = dir_ / "dev";
  const fs::path usb = sys / "devices/pci0000:00/0000:00:14.0/usb1/1-2";
  const fs::path hid = usb / "1-2:1.1" / "0003:0001";
  fs::create_directories(hid / "hidraw" / "hidraw3");
  fs::create_directories(dev);
  fs::create_directories(sys / "class/hidraw");
  std::ofstream(usb / "bcdDevice") << "0102\n";
  std::ofstream(usb / "1-2:1.1" / "bInterfaceNumber") << "01\n";
  std::ofstream(hid / "uevent") << "DRIVER=hid-generic\nHID_ID=0003:0000320F:00005064\nHID_NAME=Test\n";
  std::ofstream(hid / "report_descriptor", std::ios::binary)
      .write(reinterpret_cast<const char*>(testdata::kKeyboardInterface.data()),
             static_cast<std::streamsize>(testdata::kKeyboardInterface.size()));
  fs::create_directory_symlink("../..", hid / "hidraw" / "hidraw3" / "device");
  fs::create_directory_symlink(hid / "hidraw" / "hidraw3", sys / "class/hidraw/hidraw3");
  std::ofstream(dev / "hidraw3") << "";
  CHidDevice::SetSysfsRoot(sys);
  CHidDevice::SetDevRoot(dev);
  CHidDevice::SetHidrawEnabled(true);
  struct Restore {
    ~Restore() {
      CHidDevice::SetSysfsRoot("/sys");
      CHidDevice::SetDevRoot("/dev");
      CHidDevice::SetHidrawEnabled(false);
    }
  } restore;

  ASSERT_TRUE(list_->StartDiscovery());
  ASSERT_TRUE(PumpUntil([&] { return Has(wnd_.bound, 0) && Has(wnd_.bound, 1); }));
  CVarnikUSBDevice* kb = list_->KeyboardPages().at(0);
  EXPECT_EQ(list_->Discovery().Slot(0).path, (dev / "hidraw3").string() + "#vid_320f&pid_5064&mi_01&col04");
  EXPECT_TRUE(kb->IsPrimaryOpen());
  EXPECT_TRUE(list_->TileAt(list_->IndexOfPage(kb))->IsVisible());
  fs::remove(dev / "hidraw3");
  list_->Discovery().Rescan();  // what the udev removal notice does
  ASSERT_TRUE(PumpUntil([&] { return Has(wnd_.lost, 0) && Has(wnd_.lost, 1); }));
  EXPECT_FALSE(kb->IsPrimaryOpen());
  EXPECT_FALSE(list_->TileAt(list_->IndexOfPage(kb))->IsVisible());
  list_->StopDiscovery();
}

TEST_F(DiscoveryTest, NoDeviceFirstScanPostsIdentityAndBuildsNoPage) {
  ASSERT_TRUE(list_->StartDiscovery());
  ASSERT_TRUE(PumpUntil([&] { return wnd_.identity == 1; }));
  EXPECT_TRUE(wnd_.bound.empty());
  EXPECT_EQ(list_->PageCount(), 0);
  for (const char* layout : {"device_select_layout", "device_switch", "device_power_switch"})
    EXPECT_EQ(static_cast<CContainerUI*>(Find(layout))->GetCount(), 0) << layout;
}

TEST_F(DiscoveryTest, IdentityMessageDefaultsToTheRegisteredOne) {
  wnd_.identityMsg = RegisterWindowMessage(kAppIdentity);
  ASSERT_NE(wnd_.identityMsg, 0u);
  list_ = std::make_unique<CDeviceList>(wnd_.GetPaintManager(), &wnd_);
  wnd_.list = list_.get();
  ASSERT_TRUE(list_->StartDiscovery());
  ASSERT_TRUE(PumpUntil([&] { return wnd_.identity == 1; }));
}

// The consumer collection may be bound before or after the command one: the
// same single page gets its event channel and its command channel either way.
TEST_F(DiscoveryTest, ConsumerCollectionBeforeOrAfterCommandCollection) {
  StartEmu({"keyboard"});
  const std::string command = testing::BusPath("keyboard", 4);
  const std::string consumer = testing::BusPath("keyboard", 3);
  ASSERT_FALSE(command.empty());
  ASSERT_FALSE(consumer.empty());
  for (bool consumerFirst : {true, false}) {
    SCOPED_TRACE(consumerFirst ? "consumer first" : "command first");
    // A fresh list without default pages: the first bind of either
    // collection creates the page.
    list_->DestroyAll();
    list_ = std::make_unique<CDeviceList>(wnd_.GetPaintManager(), &wnd_);
    wnd_.list = list_.get();
    CDeviceDiscovery& d = list_->Discovery();
    const std::string first = consumerFirst ? consumer : command;
    const std::string second = consumerFirst ? command : consumer;
    const int a = d.ProbeAndBind(first);
    ASSERT_EQ(a, consumerFirst ? 1 : 0);
    list_->OnDeviceBound(static_cast<WPARAM>(a));
    ASSERT_EQ(list_->KeyboardPages().size(), 1u);
    const int b = d.ProbeAndBind(second);
    ASSERT_EQ(b, consumerFirst ? 0 : 1);
    list_->OnDeviceBound(static_cast<WPARAM>(b));
    ASSERT_EQ(list_->KeyboardPages().size(), 1u);
    EXPECT_EQ(list_->PageCount(), 1);
    CVarnikUSBDevice* kb = list_->KeyboardPages()[0];
    EXPECT_TRUE(kb->IsPrimaryOpen());
    EXPECT_TRUE(kb->IsEventChannelOpen(1));
    EXPECT_TRUE(list_->TileAt(0)->IsVisible());
    // A second keyboard finds no free slot.
    EXPECT_EQ(d.ProbeAndBind(command), -1);
  }
}

// Devices bind in any order; their tiles stand in product order (mouse,
// keyboard, mousepad), and each tile still leads to its own page.
TEST_F(DiscoveryTest, TilesKeepProductOrderWhateverOrderDevicesBindIn) {
  StartEmu({"mousepad", "keyboard", "mouse-cable"});
  CDeviceDiscovery& d = list_->Discovery();
  const auto bindAll = [&](const char* socket) {
    for (int collection = 0; collection < 8; ++collection) {
      const std::string path = testing::BusPath(socket, collection);
      if (path.empty()) continue;
      const int slot = d.ProbeAndBind(path);
      if (slot >= 0) list_->OnDeviceBound(static_cast<WPARAM>(slot));
    }
  };
  bindAll("mousepad");
  ASSERT_EQ(list_->PageCount(), 1);
  bindAll("keyboard");
  ASSERT_EQ(list_->PageCount(), 2);
  bindAll("mouse-cable");
  ASSERT_EQ(list_->PageCount(), 3);
  const std::vector<CVarnikUSBDevice*> want = {list_->MousePages().at(0), list_->KeyboardPages().at(0),
                                               list_->MousePadPages().at(0)};
  auto* tiles = static_cast<CContainerUI*>(Find("device_select_layout"));
  auto* pages = static_cast<CTabLayoutUI*>(Find("device_switch"));
  ASSERT_EQ(tiles->GetCount(), 3);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(list_->PageAt(i), want[static_cast<std::size_t>(i)]);
    EXPECT_EQ(tiles->GetItemAt(i), list_->TileAt(i));
    EXPECT_EQ(list_->IndexOfPage(want[static_cast<std::size_t>(i)]), i);
    EXPECT_TRUE(list_->TileAt(i)->IsVisible());
  }
  // Choosing a tile shows its own page, though the pages joined in bind order.
  for (int i : {2, 0, 1}) {
    list_->TileAt(i)->SelectOption()->Activate();
    EXPECT_EQ(list_->CurrentDevice(), want[static_cast<std::size_t>(i)]);
    EXPECT_EQ(pages->GetItemAt(pages->GetCurSel()), want[static_cast<std::size_t>(i)]);
  }
}

// The mouse through its receiver: the tile follows the radio link; a cable
// plugged in takes over, unplugging it falls back to the receiver, and
// unplugging the receiver while the cable is in use changes nothing.
// The engine's packet size follows the connection: a command through the
// receiver in the cable's 56-byte packets is refused by it.
void ExpectConnection(CVarnikUSBDevice* page, bool receiver) {
  EXPECT_EQ(page->Comm().viaReceiver.load(), receiver ? 1 : 0);
  EXPECT_EQ(page->Comm().chunkSize.load(), receiver ? proto::kReceiverChunk : proto::kCableChunk);
  std::array<uint8_t, proto::kInfoSize> info{};
  EXPECT_EQ(page->Comm().ReadInfo(info.data()), CMD_OK);
}

TEST_F(DiscoveryTest, MouseMovesBetweenReceiverAndCable) {
  StartEmu({"mouse-receiver", "mouse-cable"});
  ASSERT_EQ(emu_.Command("unplug mouse-cable"), "ok unplug mouse-cable");
  ASSERT_TRUE(list_->StartDiscovery());
  ASSERT_TRUE(PumpUntil([&] { return Has(wnd_.bound, 6) && Has(wnd_.bound, 7); }));
  // The receiver's bind built the mouse's page.
  ASSERT_EQ(list_->MousePages().size(), 1u);
  auto* mouse = static_cast<TestPage*>(list_->MousePages()[0]);
  const int index = list_->IndexOfPage(mouse);
  CDeviceOptionUI* tile = list_->TileAt(index);
  EXPECT_TRUE(mouse->IsPrimaryOpen());
  ExpectConnection(mouse, true);
  EXPECT_TRUE(mouse->IsEventChannelOpen(6));
  EXPECT_FALSE(tile->IsVisible());  // shown once the link answers
  loop_.AdvanceBy(500);
  EXPECT_TRUE(tile->IsVisible());
  EXPECT_EQ(mouse->connected, 1);

  // The mouse switched off: the link watch hides the tile, and shows it again.
  ASSERT_EQ(emu_.Command("link down"), "ok link down");
  loop_.AdvanceBy(2000);
  EXPECT_FALSE(tile->IsVisible());
  ASSERT_EQ(emu_.Command("link up"), "ok link up");
  loop_.AdvanceBy(3000);
  EXPECT_TRUE(tile->IsVisible());

  // The cable takes over.
  ASSERT_EQ(emu_.Command("plug mouse-cable"), "ok plug mouse-cable");
  ASSERT_TRUE(PumpUntil([&] { return Has(wnd_.bound, 4) && Has(wnd_.bound, 5); }));
  ExpectConnection(mouse, false);
  EXPECT_TRUE(mouse->IsPrimaryOpen());
  EXPECT_TRUE(mouse->Comm().cableChannel.IsOpen());
  EXPECT_TRUE(mouse->IsEventChannelOpen(2));
  EXPECT_TRUE(tile->IsVisible());
  EXPECT_EQ(list_->MousePages().size(), 1u);

  // Cable gone: back to the receiver; the link answers at the first check.
  int connectedBefore = mouse->connected;
  ASSERT_EQ(emu_.Command("unplug mouse-cable"), "ok unplug mouse-cable");
  ASSERT_TRUE(PumpUntil([&] { return Has(wnd_.lost, 4) && Has(wnd_.lost, 5); }));
  ExpectConnection(mouse, true);
  EXPECT_TRUE(mouse->IsPrimaryOpen());
  EXPECT_EQ(mouse->connected, connectedBefore + 1);
  EXPECT_TRUE(tile->IsVisible());
  EXPECT_FALSE(mouse->IsEventChannelOpen(2));

  // Again with the mouse switched off: the checks go on every 50 ms on the
  // tile's timer (the window is not blocked meanwhile), give up after 26,
  // and the link watch then hides the tile.
  wnd_.bound.clear();
  wnd_.lost.clear();
  ASSERT_EQ(emu_.Command("plug mouse-cable"), "ok plug mouse-cable");
  ASSERT_TRUE(PumpUntil([&] { return Has(wnd_.bound, 4) && Has(wnd_.bound, 5); }));
  ASSERT_EQ(mouse->Comm().viaReceiver.load(), 0);
  ASSERT_EQ(emu_.Command("link down"), "ok link down");
  TraceSink::Instance().Clear();
  connectedBefore = mouse->connected;
  ASSERT_EQ(emu_.Command("unplug mouse-cable"), "ok unplug mouse-cable");
  ASSERT_TRUE(PumpUntil([&] { return Has(wnd_.lost, 4) && Has(wnd_.lost, 5); }));
  EXPECT_EQ(mouse->Comm().viaReceiver.load(), 1);
  EXPECT_EQ(mouse->connected, connectedBefore);
  loop_.AdvanceBy(24 * 50 - 1);  // 24 failed checks
  EXPECT_FALSE(TraceSink::Instance().Contains("获取2.4G模式失败"));
  loop_.AdvanceBy(1);  // the 25th
  EXPECT_TRUE(TraceSink::Instance().Contains("获取2.4G模式失败"));
  EXPECT_EQ(mouse->connected, connectedBefore);
  loop_.AdvanceBy(50);  // the 26th and last, then the rest of the switch
  EXPECT_EQ(mouse->connected, connectedBefore + 1);
  loop_.AdvanceBy(2000);
  EXPECT_FALSE(tile->IsVisible());
  ASSERT_EQ(emu_.Command("link up"), "ok link up");
  loop_.AdvanceBy(3000);
  EXPECT_TRUE(tile->IsVisible());

  // With the cable in use again, losing the receiver changes nothing.
  wnd_.bound.clear();
  ASSERT_EQ(emu_.Command("plug mouse-cable"), "ok plug mouse-cable");
  ASSERT_TRUE(PumpUntil([&] { return Has(wnd_.bound, 4); }));
  ASSERT_EQ(mouse->Comm().viaReceiver.load(), 0);
  wnd_.lost.clear();
  ASSERT_EQ(emu_.Command("unplug mouse-receiver"), "ok unplug mouse-receiver");
  ASSERT_TRUE(PumpUntil([&] { return Has(wnd_.lost, 6) && Has(wnd_.lost, 7); }));
  EXPECT_EQ(mouse->Comm().viaReceiver.load(), 0);
  EXPECT_TRUE(mouse->IsPrimaryOpen());
  EXPECT_TRUE(tile->IsVisible());
  EXPECT_FALSE(mouse->IsEventChannelOpen(6));
  EXPECT_TRUE(mouse->IsEventChannelOpen(2));
}

TEST_F(DiscoveryTest, HeadsetPageComesWithItsDeviceAndStaysAfterUnplug) {
  StartEmu({"headset"});
  EXPECT_TRUE(list_->HeadsetPages().empty());
  ASSERT_TRUE(list_->StartDiscovery());
  ASSERT_TRUE(PumpUntil([&] { return Has(wnd_.bound, 10); }));
  ASSERT_EQ(list_->HeadsetPages().size(), 1u);
  CVarnikUSBDevice* hd = list_->HeadsetPages()[0];
  EXPECT_TRUE(hd->IsPrimaryOpen());
  EXPECT_TRUE(list_->TileAt(list_->IndexOfPage(hd))->IsVisible());
  EXPECT_EQ(list_->TileAt(list_->IndexOfPage(hd))->Icons().normal,
            std::string("common/device_ico/hd_device_normal.png"));
  ASSERT_EQ(emu_.Command("unplug headset"), "ok unplug headset");
  ASSERT_TRUE(PumpUntil([&] { return Has(wnd_.lost, 10); }));
  ASSERT_EQ(list_->HeadsetPages().size(), 1u);
  EXPECT_FALSE(hd->IsPrimaryOpen());
  EXPECT_FALSE(list_->TileAt(list_->IndexOfPage(hd))->IsVisible());
}

// A product whose page class is not registered gets no page, and gets one at
// its next bind once the class exists.
TEST_F(DiscoveryTest, PageWaitsForItsClass) {
  CControlFactory::GetInstance().UnregistControl("CVarnikMousePadDevice");
  StartEmu({"mousepad"});
  EXPECT_EQ(list_->PageForProduct(2), nullptr);
  EXPECT_TRUE(list_->MousePadPages().empty());
  ASSERT_TRUE(list_->StartDiscovery());
  ASSERT_TRUE(PumpUntil([&] { return Has(wnd_.bound, 8) && Has(wnd_.bound, 9); }));
  EXPECT_TRUE(list_->MousePadPages().empty());
  RegisterTestPages();
  ASSERT_EQ(emu_.Command("unplug mousepad"), "ok unplug mousepad");
  ASSERT_TRUE(PumpUntil([&] { return Has(wnd_.lost, 8) && Has(wnd_.lost, 9); }));
  wnd_.bound.clear();
  ASSERT_EQ(emu_.Command("plug mousepad"), "ok plug mousepad");
  ASSERT_TRUE(PumpUntil([&] { return Has(wnd_.bound, 8) && Has(wnd_.bound, 9); }));
  ASSERT_EQ(list_->MousePadPages().size(), 1u);
  CVarnikUSBDevice* pad = list_->MousePadPages()[0];
  EXPECT_TRUE(pad->IsPrimaryOpen());
  EXPECT_TRUE(pad->IsEventChannelOpen(3));
}

// Between hotplug notices the thread sleeps: no scan in an idle second.
TEST_F(DiscoveryTest, IdleDiscoveryDoesNotScan) {
  StartEmu({"keyboard", "mousepad"});
  ASSERT_TRUE(list_->StartDiscovery());
  ASSERT_TRUE(PumpUntil([&] { return wnd_.identity == 1 && Bound(0) && Bound(8); }));
  // A leftover socket nobody listens on is retried a few times, then left.
  const auto leaveStaleSocket = [&](const char* name) {
    const std::string stale = (bus_ / name).string();
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(stale.size(), sizeof addr.sun_path);
    std::memcpy(addr.sun_path, stale.c_str(), stale.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ::close(fd);
  };
  // Waits until the thread rests (no retry due) after more than `after`
  // scans; the scans it rests after, 0 when it never did.
  const auto rest = [&](std::uint64_t after) -> std::uint64_t {
    CDeviceDiscovery::IdlePoint idle;
    const bool rested = PumpUntil([&] {
      idle = list_->Discovery().LastIdle();
      return idle.scans > after && !idle.retryDue;
    });
    return rested ? idle.scans : 0;
  };
  std::uint64_t before = list_->Discovery().ScanCount();
  leaveStaleSocket("stale.sock");
  std::uint64_t scans = rest(before + 1);  // the notice and at least one retry
  ASSERT_GT(scans, 0u);
  // The next notice gets its retries too, though the leftover is still there.
  before = scans;
  leaveStaleSocket("stale2.sock");
  scans = rest(before + 1);
  ASSERT_GT(scans, 0u);
  // Then it sleeps until something changes: no retry is due.
  EXPECT_FALSE(list_->Discovery().LastIdle().retryDue);
  EXPECT_EQ(list_->Discovery().ScanCount(), scans);
  // A notice wakes it at once.
  ASSERT_EQ(emu_.Command("unplug mousepad"), "ok unplug mousepad");
  ASSERT_TRUE(PumpUntil([&] { return Has(wnd_.lost, 8); }));
  EXPECT_GT(list_->Discovery().ScanCount(), scans);
}

// Stopping on the UI thread while the thread waits to deliver a message
// abandons the message instead of waiting for the UI thread (itself).
TEST_F(DiscoveryTest, StopWhileAMessageWaitsDoesNotHang) {
  StartEmu({"keyboard"});
  ASSERT_TRUE(list_->StartDiscovery());
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (loop_.PendingCount() == 0 && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  ASSERT_GT(loop_.PendingCount(), 0u);
  list_->StopDiscovery();
  EXPECT_FALSE(list_->Discovery().IsRunning());
  loop_.RunPending();
  EXPECT_TRUE(wnd_.bound.empty());  // the abandoned message never ran
  EXPECT_TRUE(TraceSink::Instance().Contains("抓取设备线程设定退出"));
}

// ---- tiles and power panels without devices ----

TEST_F(DiscoveryTest, LosingTheSelectedTileSelectsAnotherAndSynchroNeedsTwo) {
  std::vector<bool> syncAvailable;
  int selectedHidden = 0;
  DeviceListHooks hooks;
  hooks.syncAvailable = [&](bool on) { syncAvailable.push_back(on); };
  hooks.beforeSelectedTileHidden = [&] { ++selectedHidden; };
  list_ = std::make_unique<CDeviceList>(wnd_.GetPaintManager(), &wnd_, hooks);
  wnd_.list = list_.get();
  for (int product = 0; product < 3; ++product) ASSERT_NE(list_->PageForProduct(product), nullptr);
  ASSERT_EQ(list_->PageCount(), 3);
  list_->ShowTile(0, true, true);
  list_->ShowTile(1, true, false);
  list_->ShowTile(2, true, false);
  EXPECT_EQ(list_->CurrentDevice(), list_->PageAt(0));
  auto* pages = static_cast<CTabLayoutUI*>(Find("device_switch"));
  EXPECT_EQ(pages->GetCurSel(), 0);
  // Choosing another tile shows its page.
  list_->TileAt(2)->SelectOption()->Activate();
  EXPECT_EQ(list_->CurrentDevice(), list_->PageAt(2));
  EXPECT_EQ(pages->GetCurSel(), 2);
  EXPECT_FALSE(list_->TileAt(0)->IsSelectedTile());  // one group

  // Two synchronised devices stay synchronised while both are visible.
  for (int i : {0, 1}) {
    list_->TileAt(i)->SynchroOption()->Selected(true);
    list_->PageAt(i)->Comm().lightSync = 1;
  }
  EXPECT_EQ(list_->TileAt(0)->SelectOption()->GetNormalImage(),
            std::string(list_->TileAt(0)->Icons().synchroNormal));
  EXPECT_EQ(syncAvailable.back(), true);
  list_->HideTile(2);
  EXPECT_EQ(selectedHidden, 1);  // the child windows closed first
  EXPECT_EQ(list_->CurrentDevice(), list_->PageAt(0));  // first other visible tile
  EXPECT_TRUE(list_->TileAt(0)->IsSynchroSelected());
  EXPECT_EQ(list_->PageAt(0)->Comm().lightSync.load(), 1);
  // Hiding one of them ends it for everyone.
  list_->HideTile(1);
  EXPECT_EQ(selectedHidden, 1);  // not the selected one
  EXPECT_EQ(syncAvailable.back(), false);
  EXPECT_FALSE(list_->TileAt(0)->IsSynchroSelected());
  EXPECT_FALSE(list_->TileAt(1)->IsSynchroSelected());
  EXPECT_EQ(list_->PageAt(0)->Comm().lightSync.load(), 0);
  EXPECT_EQ(list_->PageAt(1)->Comm().lightSync.load(), 0);
  EXPECT_EQ(list_->TileAt(0)->SelectOption()->GetNormalImage(), std::string(list_->TileAt(0)->Icons().normal));
  // The last one gone: the overlay.
  list_->OnTileLink(0, 0);
  EXPECT_EQ(list_->CurrentDevice(), nullptr);
  EXPECT_TRUE(Find("No_device_Link")->IsVisible());
  // A link that comes back shows and selects it (every tile was hidden).
  list_->OnTileLink(1, 1);
  EXPECT_EQ(list_->CurrentDevice(), list_->PageAt(1));
  EXPECT_FALSE(Find("No_device_Link")->IsVisible());
}

TEST(DeviceTileIcons, ByKindAndAuxiliary) {
  struct Case {
    int kind, auxiliary;
    const char* normal;
  } cases[] = {
      {1, 0, "common/device_ico/kb_device_normal.png"},      {2, 0, "common/device_ico/ms_device_normal.png"},
      {3, 0, "common/device_ico/hard_mp_device_normal.png"}, {3, 1, "common/device_ico/soft_mp_device_normal.png"},
      {4, 0, "common/device_ico/hd_device_normal.png"},      {7, 0, "common/device_ico/hd_device_normal.png"},
      {5, 0, "common/device_ico/hub_device_normal.png"},     {9, 0, "common/device_ico/unknow_device_normal.png"},
  };
  for (const Case& c : cases) {
    const TileIcons* icons = TileIconsFor(c.kind, c.auxiliary);
    ASSERT_NE(icons, nullptr);
    EXPECT_STREQ(icons->normal, c.normal) << c.kind << "/" << c.auxiliary;
    // Every image the tile names exists in the skin.
    for (const char* image : {icons->normal, icons->selected, icons->synchroNormal, icons->synchroSelected})
      EXPECT_TRUE(fs::exists(fs::path(KORVALE_SOURCE_DIR) / "skin" / image)) << image;
  }
  EXPECT_EQ(TileIconsFor(3, 2), nullptr);  // the icons stay as they were
  CDeviceOptionUI tile;
  tile.SetKindAndAuxiliary(1, 0);
  tile.SetKindAndAuxiliary(3, 7);
  EXPECT_STREQ(tile.Icons().normal, "common/device_ico/kb_device_normal.png");
}

TEST(PowerPanel, ShowsTheStatusBlock) {
  CPaintManagerUI::SetResourcePath(fs::path(KORVALE_SOURCE_DIR) / "skin");
  RegisterDeviceListControls();
  struct Case {
    int kind;
    std::array<uint8_t, 6> status;
    const char* text;
    int progress;
    bool progressShown;
    const char* image;
    bool wirelessLogo;
    const char* phone;  // nullptr: not shown
  } cases[] = {
      {2, {80, 0, 0, 0, 0, 0}, "80%", 20, true, "file='power/powered.png'", false, nullptr},
      {2, {55, 1, 0, 1, 0, 0}, "55%", 45, false, "file='power/powering.png'", true, nullptr},
      {1, {55, 1, 0, 0, 0, 0}, "55%", 45, true, "file='power/powering.png'", false, nullptr},
      {2, {10, 2, 0, 1, 0, 0}, "10%", 90, true, "file='power/power.png'", true, nullptr},
      {3, {100, 2, 0, 1, 0, 1}, "100%", 0, true, "file='power/power.png'", false, "Phone_type_iphone"},
      {3, {100, 2, 0, 0, 0, 2}, "100%", 0, true, "file='power/power.png'", false, "Phone_type_samsung"},
      {3, {100, 2, 0, 0, 0, 3}, "100%", 0, true, "file='power/power.png'", false, "Phone_type_other"},
      {3, {100, 2, 0, 0, 0, 9}, "100%", 0, true, "file='power/power.png'", false, "Phone_type_no_device"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text + std::string(" kind ") + std::to_string(c.kind));
    CDialogBuilder builder;
    std::unique_ptr<CControlUI> root(builder.Create("XML\\CustomControlXML\\MpDevicePower.xml"));
    auto* panel = dynamic_cast<CMpDevicePowerUI*>(root.get());
    ASSERT_NE(panel, nullptr);
    panel->SetKindAndAuxiliary(c.kind, 0);
    panel->SetWireless(true);
    panel->ShowStatus(c.status);
    EXPECT_TRUE(panel->FindSubControl("device_power_Layout")->IsVisible());
    EXPECT_EQ(panel->FindSubControl("device_power_value")->GetText(), c.text);
    auto* progress = dynamic_cast<CProgressUI*>(panel->FindSubControl("device_Power_progress"));
    EXPECT_EQ(progress->GetValue(), c.progress);
    EXPECT_EQ(progress->IsVisible(), c.progressShown);
    EXPECT_EQ(panel->FindSubControl("device_power_status")->GetBkImage(), c.image);
    EXPECT_EQ(panel->FindSubControl("device_wuxian_logo")->IsVisible(), c.wirelessLogo);
    CControlUI* phone = panel->FindSubControl("device_phone_type");
    EXPECT_EQ(phone->IsVisible(), c.phone != nullptr);
    if (c.phone) {
      EXPECT_EQ(phone->GetToolTip(), c.phone);
    }
  }
  // A wired product shows no battery; a short block reads as zeros.
  CDialogBuilder builder;
  std::unique_ptr<CControlUI> root(builder.Create("XML\\CustomControlXML\\MpDevicePower.xml"));
  auto* panel = dynamic_cast<CMpDevicePowerUI*>(root.get());
  ASSERT_NE(panel, nullptr);
  panel->SetKindAndAuxiliary(1, 0);
  panel->SetWireless(false);
  const uint8_t shortBlock[2] = {42, 2};
  panel->ShowStatusBytes(shortBlock, sizeof shortBlock);
  EXPECT_FALSE(panel->FindSubControl("device_power_Layout")->IsVisible());
  EXPECT_EQ(panel->LastStatus()[0], 42);
  EXPECT_EQ(panel->LastStatus()[3], 0);
}

}  // namespace
}  // namespace korvale
