// The main window with the mousepad and the headset on korvale-emu: the
// device list builds their pages from the real skins and connects them.
#include <chrono>

#include "devices/varnik_hs6533_device.h"
#include "devices/varnik_mousepad_device.h"
#include "hid/hid_device.h"
#include "mainwnd/device_list.h"
#include "mainwnd_fixture.h"
#include "tests/support/emu_process.h"
#include "ui/containers.h"
#include "ui/skin_controls.h"

namespace korvale::test {
namespace {

class LightingPagesWndTest : public MainWndTest {
 protected:
  void SetUp() override {
    CHidDevice::SetHidrawEnabled(false);
    RegisterSkinControls(DeviceControlCreators());
    RegisterDeviceListControls();
    ASSERT_TRUE(emu.Start({"--dir", (dir / "vhid").string(), "mousepad", "headset"}));
    ASSERT_FALSE(emu.Line().empty());
    ASSERT_FALSE(emu.Line().empty());
    wnd->SetDiscoveryEnabled(true);
    Start();
    list = wnd->GetDeviceList();
    ASSERT_NE(list, nullptr);
    ASSERT_TRUE(PumpUntil([&] { return list->MousePadPages().size() == 1 && list->HeadsetPages().size() == 1; }));
    pad = dynamic_cast<CVarnikMousePadDevice*>(list->MousePadPages()[0]);
    headset = dynamic_cast<CVarnikHS6533Device*>(list->HeadsetPages()[0]);
    ASSERT_NE(pad, nullptr);
    ASSERT_NE(headset, nullptr);
    ASSERT_TRUE(PumpUntil([&] { return pad->IsPrimaryOpen() && headset->IsPrimaryOpen(); }));
    loop.AdvanceBy(600);  // the tiles connect the pages
  }
  void TearDown() override {
    wnd->DestroyWindow();
    emu.Kill();
  }
  template <class Pred>
  bool PumpUntil(Pred pred, int ms = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!pred() && std::chrono::steady_clock::now() < end) loop.WaitForPosted(20);
    return pred();
  }

  korvale::testing::EmuProcess emu;
  CDeviceList* list = nullptr;
  CVarnikMousePadDevice* pad = nullptr;
  CVarnikHS6533Device* headset = nullptr;
};

TEST_F(LightingPagesWndTest, PagesAreBuiltConnectedAndStreaming) {
  for (int i = 0; i < 15; ++i) EXPECT_NE(pad->LightButton(i), nullptr) << i;
  for (int i = 0; i < 13; ++i) EXPECT_NE(headset->LightButton(i), nullptr) << i;
  EXPECT_TRUE(pad->IsLightThreadRunning());
  EXPECT_TRUE(headset->IsLightThreadRunning());
  EXPECT_TRUE(pad->IsListening());      // discovery gave it the pad's event collection
  EXPECT_TRUE(headset->IsListening());  // its own reader on the headset's one collection
  // The pad's power panel shows the charging phone from its status block.
  auto* panel = dynamic_cast<CContainerUI*>(pad->GetPowerDisplay());
  ASSERT_NE(panel, nullptr);
  CControlUI* phone = panel->FindSubControl("device_phone_type");
  ASSERT_NE(phone, nullptr);
  EXPECT_EQ(std::string(phone->GetToolTip()), "Phone charging");  // Phone_type_other in English
  // The window's lighting control reaches the headset's LEDs.
  ASSERT_TRUE(PumpUntil([&] { return headset->FramesStreamed() >= 3; }));
  const auto lines = emu.Listing("leds headset");
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_NE(lines[0].find("count "), std::string::npos);
  EXPECT_EQ(lines[0].find("count 0 "), std::string::npos) << lines[0];
}

}  // namespace
}  // namespace korvale::test
