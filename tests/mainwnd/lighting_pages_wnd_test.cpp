// The main window with the mousepad and the headset on korvale-emu: the
// device list builds their pages from the real skins and connects them.
#include <chrono>

#include "devices/varnik_hs6533_device.h"
#include "devices/varnik_mousepad_device.h"
#include "editors/device_profile.h"
#include "editors/light_control.h"
#include "editors/magic_control.h"
#include "editors/voice6533_control.h"
#include "hid/hid_device.h"
#include "mainwnd/device_list.h"
#include "mainwnd/device_option.h"
#include "mainwnd_fixture.h"
#include "tests/support/emu_process.h"
#include "tests/support/journal.h"
#include "windows/msg_wnd.h"
#include "ui/containers.h"
#include "ui/controls.h"
#include "ui/skin_controls.h"

namespace korvale::test {
namespace {

class LightingPagesWndTest : public MainWndTest {
 protected:
  void SetUp() override {
    CHidDevice::SetHidrawEnabled(false);
    RegisterSkinControls(DeviceControlCreators());
    RegisterDeviceListControls();
    RegisterDeviceProfileControl();
    RegisterLightControl();
    RegisterVoice6533Control();
    RegisterMagicControl();
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

// Each page has its own profile bar with the tabs its device has; a profile
// added on the pad's bar is the pad's, and the pad is switched to it.
TEST_F(LightingPagesWndTest, EachPageHasItsOwnProfileBar) {
  auto bar = [&](CVarnikUSBDevice* page) {
    return dynamic_cast<CDeviceProfileUI*>(wnd->GetPaintManager().FindSubControlByName(page, profileui::kItemName));
  };
  auto visible = [&](CVarnikUSBDevice* page, const char* name) {
    CControlUI* c = wnd->GetPaintManager().FindSubControlByName(page, name);
    return c != nullptr && c->IsVisible();
  };
  ASSERT_NE(bar(pad), nullptr);
  ASSERT_NE(bar(headset), nullptr);
  for (const char* tab : {"key_Op_tab", "macro_Op_tab", "6533_voice_Op_tab"}) EXPECT_FALSE(visible(pad, tab)) << tab;
  for (const char* tab : {"deng_Op_tab", "6533_voice_Op_tab", "magic_Op_tab"}) EXPECT_TRUE(visible(headset, tab)) << tab;
  EXPECT_FALSE(visible(headset, "key_Op_tab"));
  // Each bar keeps its own page's tab selected, though the tabs share a group name.
  auto option = [&](CVarnikUSBDevice* page, const char* name) {
    return dynamic_cast<COptionUI*>(wnd->GetPaintManager().FindSubControlByName(page, name));
  };
  ASSERT_NE(option(pad, "deng_Op_tab"), nullptr);
  ASSERT_NE(option(headset, "6533_voice_Op_tab"), nullptr);
  EXPECT_TRUE(option(pad, "deng_Op_tab")->IsSelected());
  option(headset, "6533_voice_Op_tab")->Selected(true, false);
  EXPECT_TRUE(option(pad, "deng_Op_tab")->IsSelected()) << "the headset's tab deselected the pad's";
  EXPECT_FALSE(option(headset, "deng_Op_tab")->IsSelected());
  option(headset, "deng_Op_tab")->Selected(true, false);
  EXPECT_EQ(bar(pad)->GetProfileCount(), 1);

  const bool confirm = true;
  MessageAnswerer answerer(loop, confirm);
  for (int i = 0; i < list->PageCount(); ++i)
    if (list->PageAt(i) == pad) list->TileAt(i)->SelectOption()->Selected(true);
  loop.RunPending();
  ASSERT_EQ(wnd->CurrentDevice(), pad);
  ASSERT_EQ(emu.Command("journal-clear mousepad"), "ok journal-clear mousepad");
  auto* add = dynamic_cast<CButtonUI*>(wnd->GetPaintManager().FindSubControlByName(pad, "device_add_btn"));
  ASSERT_NE(add, nullptr);
  bar(pad)->ShowMenu(true);
  add->Activate();
  EXPECT_EQ(bar(pad)->GetProfileCount(), 2);
  EXPECT_EQ(bar(headset)->GetProfileCount(), 1);
  EXPECT_EQ(pad->GetProfileName(), bar(pad)->GetSelectedUUID());
  bool written = false;
  for (const auto& p : korvale::testing::ParseJournal(emu.Listing("journal mousepad"))) written |= p.cmd == 0x06;
  EXPECT_TRUE(written) << "the pad was not given its new profile";
}

}  // namespace
}  // namespace korvale::test

namespace korvale::test {
namespace {

// The headset's audio controls, used as a user does, reach the page's audio
// operations through the main window; a refused save says why.
TEST_F(LightingPagesWndTest, HeadsetAudioControlsReachThePage) {
  const bool confirm = true;
  MessageAnswerer answerer(loop, confirm);
  const std::vector<std::string>& messages = answerer.texts;
  for (int i = 0; i < list->PageCount(); ++i)
    if (list->PageAt(i) == headset) list->TileAt(i)->SelectOption()->Selected(true);
  loop.RunPending();
  ASSERT_EQ(wnd->CurrentDevice(), headset);
  auto find = [&](const char* name) { return wnd->GetPaintManager().FindSubControlByName(headset, name); };
  auto* preset = dynamic_cast<COptionUI*>(find("6533_eq_option_4"));
  ASSERT_NE(preset, nullptr);
  // The audio tab first, as a user opens it.
  auto* tab = dynamic_cast<COptionUI*>(find("6533_voice_Op_tab"));
  ASSERT_NE(tab, nullptr);
  tab->Activate();
  loop.RunPending();
  preset->Activate();
  loop.RunPending();
  EXPECT_EQ(headset->AudioSettings().eqType, 4);
  auto* band = dynamic_cast<CSliderUI*>(find("6533_eq_hz_slider_2"));
  ASSERT_NE(band, nullptr);
  band->SetValueFromUser(7);
  loop.RunPending();
  EXPECT_EQ(headset->AudioSettings().eqType, 13);
  EXPECT_EQ(headset->EqBands()[2], 7);
  // No name and no curve selected: refused, with the message.
  auto* save = dynamic_cast<CButtonUI*>(find("hs_EQ_btn_save"));
  ASSERT_NE(save, nullptr);
  save->Activate();
  loop.RunPending();
  ASSERT_EQ(messages.size(), 1u);
  // The text id, or its words where the language is loaded.
  EXPECT_TRUE(messages[0] == "audio_custom_eq_refused" || messages[0].find("20") != std::string::npos) << messages[0];
  EXPECT_TRUE(headset->CustomEqNames().empty());

  // The virtual 7.1 tab shows its own page, which says there is nothing to set.
  auto* virtualTab = dynamic_cast<COptionUI*>(find("Virtual7.1_Op_tab"));
  ASSERT_NE(virtualTab, nullptr);
  EXPECT_TRUE(virtualTab->IsVisible());
  virtualTab->Activate();
  loop.RunPending();
  CControlUI* note = find("virtual71_note");
  ASSERT_NE(note, nullptr);
  EXPECT_TRUE(note->IsShown());
  EXPECT_FALSE(find("6533_eq_option_4")->IsShown());
  tab->Activate();
  loop.RunPending();
  EXPECT_FALSE(note->IsShown());
  EXPECT_TRUE(find("6533_eq_option_4")->IsShown());
}

}  // namespace
}  // namespace korvale::test
