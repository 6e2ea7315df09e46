// The key assignment editor inside the running main window: the keyboard and
// mouse pages built from their skins, korvale-emu bound by discovery, keys
// picked on the page, the editor's controls travelling through the window's
// routing to the page's labels, the profile and the device's key tables.
#include <string>

#include "devices/varnik_keyboard_device.h"
#include "devices/varnik_mouse_device.h"
#include "editors/device_profile.h"
#include "editors/key_set_control.h"
#include "editors/light_control.h"
#include "editors/macro_control.h"
#include "editors/shoot_control.h"
#include "mainwnd/device_list.h"
#include "mainwnd/key_commands.h"
#include "mainwnd_fixture.h"
#include "tests/support/emu_process.h"
#include "tests/support/wait.h"
#include "ui/containers.h"
#include "ui/controls.h"
#include "ui/input_capture.h"
#include "ui/resource_manager.h"
#include "ui/skin_controls.h"
#include "windows/msg_wnd.h"

namespace korvale::test {
namespace {

class KeyWiringTest : public MainWndTest {
 protected:
  void Bind(const char* emuDevice, bool mouse) {
    RegisterSkinControls(DeviceControlCreators());
    RegisterDeviceListControls();
    RegisterLightControl();
    RegisterDeviceProfileControl();
    RegisterMacroControl();
    RegisterShootControl();
    RegisterKeySetControl();
    ASSERT_TRUE(emu.Start({"--dir", (dir / "vhid").string(), emuDevice}));
    ASSERT_FALSE(emu.Line().empty());
    device = emuDevice;
    wnd->SetDiscoveryEnabled(true);
    Start();
    ASSERT_TRUE(korvale::testing::PumpUntil(loop, [&] {
      loop.AdvanceBy(100);
      const auto& pages = mouse ? wnd->GetDeviceList()->MousePages() : wnd->GetDeviceList()->KeyboardPages();
      return !pages.empty() && pages[0]->IsPrimaryOpen();
    }, 5000));
    loop.AdvanceBy(600);
    page = mouse ? wnd->GetDeviceList()->MousePages().at(0) : wnd->GetDeviceList()->KeyboardPages().at(0);
    editor = Control<CKeySetControlUI>(keyui::kEditorName);
    ASSERT_NE(editor, nullptr) << "the page's skin lacks the key editor";
    CMsgWnd::SetOpenedHook([this](CMsgWnd& m) {
      CControlUI* text = m.GetPaintManager().FindControl("MessageText");
      notices.push_back(text != nullptr ? std::string(text->GetText()) : "?");
      const HWND h = m.GetHWND();
      loop.Post([h] {
        if (auto* w = dynamic_cast<CMsgWnd*>(CWindowWnd::FromHandle(h))) w->Close(0);
      });
    });
    Control<COptionUI>("key_Op_tab")->Activate();
  }
  void TearDown() override {
    CMsgWnd::SetOpenedHook({});
    CInputCapture::Instance().SetSourceAvailable(false);
    wnd->DestroyWindow();
    emu.Kill();
  }
  template <class T>
  T* Control(const std::string& name) {
    return dynamic_cast<T*>(wnd->GetPaintManager().FindSubControlByName(page, name));
  }
  void Click(const std::string& name) {
    CControlUI* c = Control<CControlUI>(name);
    ASSERT_NE(c, nullptr) << name;
    wnd->GetPaintManager().SendNotify(c, "click");
  }
  void PickCategory(int category) {
    auto* combo = Control<CComboUI>(keyui::kFunctionCombo);
    for (int i = 0; i < combo->GetCount(); ++i)
      if (editor->GetFunctionCategory(i) == category) combo->SelectItem(i);  // "itemselect"
  }
  bool EditorShown() { return Control<CControlUI>(keyui::kLayout)->IsVisible() && editor->IsVisible(); }
  AssignmentCode DeviceCode(const char* area, int key) {
    const int position = dynamic_cast<CVarnikKeyboardDevice*>(page)->KeyToPosition(key);
    const auto lines = emu.Listing("dump " + device + " " + area + " " + std::to_string(position * 3) + " 3");
    if (lines.empty() || lines.back().rfind("data ", 0) != 0) return {0xEE, 0xEE, 0xEE};
    return AssignmentCode::FromInt(static_cast<uint32_t>(std::stoul(lines.back().substr(5), nullptr, 16)));
  }
  static std::string Word(const char* id) { return CResourceManager::GetInstance().GetText(id); }

  korvale::testing::EmuProcess emu;
  std::string device;
  CVarnikUSBDevice* page = nullptr;
  CKeySetControlUI* editor = nullptr;
  std::vector<std::string> notices;
};

constexpr int kKeyA = 64;  // the keyboard's A (factory code 20 00 04)

TEST_F(KeyWiringTest, ARemapThroughTheEditorReachesBothKeyTablesAndTheLabel) {
  Bind("keyboard", false);
  auto* kb = dynamic_cast<CVarnikKeyboardDevice*>(page);
  Click("key_" + std::to_string(kKeyA));
  ASSERT_TRUE(EditorShown());
  EXPECT_EQ(editor->GetSelectedCategory(), kCatDefault);

  // Normal layer: A becomes Ctrl+B (the checked modifier is part of the code).
  PickCategory(kCatKey);
  Control<COptionUI>("key_ComBox_check_1")->Activate();
  Control<COptionUI>("keyboard_key_79")->Activate();  // B
  EXPECT_EQ(kb->GetKeyList()[kKeyA].normal.code, (AssignmentCode{0x20, 0x01, 0x05}));
  const std::string tip(Control<CControlUI>("key_" + std::to_string(kKeyA))->GetToolTip());
  EXPECT_NE(tip.find(Word("keyboard_key_B")), std::string::npos) << tip;
  EXPECT_TRUE(Control<CControlUI>(keyui::kDownload)->IsEnabled());

  // Fn layer: A plays/pauses.
  Control<COptionUI>(keyui::kFnOption)->Activate();
  ASSERT_TRUE(kb->FnEditing());
  Click("key_" + std::to_string(kKeyA));
  PickCategory(kCatMedia);
  Control<CComboUI>("keyset_media_combo")->SelectItem(1);
  EXPECT_EQ(kb->GetKeyList()[kKeyA].fn.code, (AssignmentCode{0x30, 0xCD, 0x00}));
  EXPECT_EQ(kb->GetKeyList()[kKeyA].normal.code, (AssignmentCode{0x20, 0x01, 0x05}));

  ASSERT_EQ(emu.Command("journal-clear keyboard"), "ok journal-clear keyboard");
  Click(keyui::kDownload);
  EXPECT_EQ(DeviceCode("keys", kKeyA), (AssignmentCode{0x20, 0x01, 0x05}));
  EXPECT_EQ(DeviceCode("fn-keys", kKeyA), (AssignmentCode{0x30, 0xCD, 0x00}));
  EXPECT_FALSE(Control<CControlUI>(keyui::kApply)->IsEnabled());  // sent: nothing left to apply
  EXPECT_TRUE(notices.empty());
  // The profile file keeps both.
  kb->ReloadProfile();
  EXPECT_EQ(kb->GetKeyList()[kKeyA].fn.code, (AssignmentCode{0x30, 0xCD, 0x00}));
}

TEST_F(KeyWiringTest, GridKeysWithoutACategoryOfTheirOwnOpenTheGrid) {
  Bind("keyboard", false);
  auto* kb = dynamic_cast<CVarnikKeyboardDevice*>(page);
  for (const auto& [code, grid] : {std::pair{AssignmentCode{0xA0, 0x01, 0x00}, 96},
                                   std::pair{AssignmentCode{0xD0, 0xA2, 0x01}, 106},
                                   std::pair{AssignmentCode{0xD0, 0xA2, 0x05}, 110}}) {
    auto keys = kb->GetKeyList();
    keys[kKeyA].normal.code = code;
    kb->SetKeyList(keys);
    kb->SaveProfile();
    Click("key_" + std::to_string(kKeyA));
    EXPECT_TRUE(EditorShown()) << grid;
    EXPECT_EQ(editor->GetSelectedCategory(), kCatKey);
    EXPECT_EQ(editor->GetGridKey(), grid);
  }
  // A code no category knows still hides the panel.
  auto keys = kb->GetKeyList();
  keys[kKeyA].normal.code = {0x55, 1, 2};
  kb->SetKeyList(keys);
  Click("key_" + std::to_string(kKeyA));
  EXPECT_FALSE(Control<CControlUI>(keyui::kLayout)->IsVisible());
}

TEST_F(KeyWiringTest, NumberEditsAreClampedToTheirRangeOnLeaving) {
  Bind("keyboard", false);
  auto* kb = dynamic_cast<CVarnikKeyboardDevice*>(page);
  Click("key_" + std::to_string(kKeyA));
  PickCategory(kCatWheel);
  auto* count = Control<CEditUI>("keyset_mousewheel_num_edit");
  Control<CComboUI>("keyset_mousewheel_combo")->SelectItem(1);
  count->SetText("0");
  wnd->GetPaintManager().SendNotify(count, "killfocus");
  EXPECT_EQ(std::string(count->GetText()), "1");
  EXPECT_EQ(kb->GetKeyList()[kKeyA].normal.code, (AssignmentCode{0x12, 0x00, 0xFF}));  // down 1, not 0x80

  PickCategory(kCatFire);
  auto* interval = Control<CEditUI>("keyset_mousefire_interval_edit");
  interval->SetText("300");
  wnd->GetPaintManager().SendNotify(interval, "killfocus");
  EXPECT_EQ(std::string(interval->GetText()), "255");
  EXPECT_EQ(kb->GetKeyList()[kKeyA].normal.code.value1, 255);
}

TEST_F(KeyWiringTest, ACapturedKeyIsAssignedWithTheCheckedModifier) {
  Bind("keyboard", false);
  auto* kb = dynamic_cast<CVarnikKeyboardDevice*>(page);
  CInputCapture::Instance().SetSourceAvailable(true);
  Click("key_" + std::to_string(kKeyA));
  PickCategory(kCatKey);
  auto* box = Control<CControlUI>(keyui::kCaptureEdit);
  wnd->GetPaintManager().SendNotify(box, "setfocus");
  ASSERT_EQ(CInputCapture::Instance().Mode(), kCaptureSingleKey);
  auto press = [](uint16_t evdev) {
    CapturedInput in;
    in.nativeScanCode = evdev + kEvdevScanOffset;
    EXPECT_TRUE(CInputCapture::Instance().Deliver(in));
  };
  press(54);  // right Shift: check 2, the key itself
  EXPECT_EQ(editor->GetModifierCheck(), 2);
  EXPECT_EQ(kb->GetKeyList()[kKeyA].normal.code, (AssignmentCode{0x20, 0x20, 0x00}));
  Control<COptionUI>("key_ComBox_check_1")->Activate();
  press(46);  // C with Ctrl checked
  EXPECT_EQ(kb->GetKeyList()[kKeyA].normal.code, (AssignmentCode{0x20, 0x01, 0x06}));
  EXPECT_EQ(std::string(box->GetText()), Word("keyboard_key_C"));
  wnd->GetPaintManager().SendNotify(box, "killfocus");
  EXPECT_FALSE(CInputCapture::Instance().IsActive());

  // No renderer to capture with: a notice, and nothing installed.
  CInputCapture::Instance().SetSourceAvailable(false);
  wnd->GetPaintManager().SendNotify(box, "setfocus");
  EXPECT_FALSE(CInputCapture::Instance().IsActive());
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0], Word("capture_unavailable_text"));
}

TEST_F(KeyWiringTest, AMouseKeepsItsLastLeftButtonAndRemapsTheOthers) {
  Bind("mouse-cable", true);
  auto* mouse = dynamic_cast<CVarnikMouseDevice*>(page);
  Click("key_0");
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0], Word("message_text_6"));
  EXPECT_EQ(editor->GetKey(), -1);

  // The right button becomes a second left button; then the first may change.
  Click("key_1");
  ASSERT_TRUE(EditorShown());
  EXPECT_EQ(editor->GetSelectedCategory(), kCatDefault);
  PickCategory(kCatMouseButton);
  Control<CComboUI>("keyset_mousekey_combo")->SelectItem(1);  // middle first: an item change applies
  Control<CComboUI>("keyset_mousekey_combo")->SelectItem(0);
  EXPECT_EQ(mouse->GetKeyList()[1].normal.code, (AssignmentCode{0x10, 0x01, 0x00}));
  Click("key_0");
  EXPECT_EQ(notices.size(), 1u);
  EXPECT_EQ(editor->GetKey(), 0);
  // The mouse page offers resolution and gun keys; the keyboard does not.
  auto* combo = Control<CComboUI>(keyui::kFunctionCombo);
  for (int i = 0; i < combo->GetCount(); ++i)
    if (editor->GetFunctionCategory(i) == kCatGun) {
      EXPECT_TRUE(combo->GetItemAt(i)->IsVisible());
    }
  Click(keyui::kDownload);
  EXPECT_TRUE(notices.size() == 1u) << notices.back();
}

}  // namespace
}  // namespace korvale::test
