// The macro and shoot editors inside the running main window: the keyboard
// page built from its skin, korvale-emu bound by discovery, and clicks on the
// editors' controls travelling through the window's routing to the files,
// the profile and the keyboard's memory.
#include <chrono>
#include <fstream>
#include <set>

#include "devices/varnik_keyboard_device.h"
#include "devices/varnik_mouse_device.h"
#include "editors/device_profile.h"
#include "editors/light_control.h"
#include "editors/macro_control.h"
#include "editors/macro_handlers.h"
#include "editors/shoot_control.h"
#include "hid/hid_device.h"
#include "mainwnd/device_list.h"
#include "mainwnd/key_commands.h"
#include "mainwnd_fixture.h"
#include "profiles/json_file.h"
#include "profiles/macro_files.h"
#include "protocol/commands.h"
#include "tests/support/journal.h"
#include "tests/support/emu_process.h"
#include "tests/support/wait.h"
#include "ui/containers.h"
#include "ui/controls.h"
#include "ui/file_dialogs.h"
#include "ui/input_capture.h"
#include "ui/popup_menu.h"
#include "ui/resource_manager.h"
#include "ui/skin_controls.h"
#include "windows/msg_wnd.h"

namespace korvale::test {
namespace {

class MacroWiringTest : public MainWndTest {
 protected:
  void SetUp() override {
    RegisterSkinControls(DeviceControlCreators());
    RegisterDeviceListControls();
    RegisterLightControl();
    RegisterDeviceProfileControl();
    RegisterMacroControl();
    RegisterShootControl();
    ASSERT_TRUE(emu.Start({"--dir", (dir / "vhid").string(), "keyboard"}));
    ASSERT_FALSE(emu.Line().empty());
    wnd->SetDiscoveryEnabled(true);
    Start();
    ASSERT_TRUE(korvale::testing::PumpUntil(loop, [&] {
      loop.AdvanceBy(100);
      const auto& pages = wnd->GetDeviceList()->KeyboardPages();
      return !pages.empty() && pages[0]->IsPrimaryOpen();
    }, 5000));
    loop.AdvanceBy(600);
    keyboard = dynamic_cast<CVarnikKeyboardDevice*>(wnd->GetDeviceList()->KeyboardPages().at(0));
    ASSERT_NE(keyboard, nullptr);
    macros = Control<CMacroControlUI>(macroui::kEditorName);
    ASSERT_NE(macros, nullptr) << "the keyboard page's skin lacks the macro editor";
    folder = keyboard->UserDataFolder();
    CMsgWnd::SetOpenedHook([this](CMsgWnd& m) { Answer(m); });
  }
  void TearDown() override {
    CMsgWnd::SetOpenedHook({});
    wnd->DestroyWindow();
    emu.Kill();
  }
  template <class T>
  T* Control(const char* name) {
    return dynamic_cast<T*>(wnd->GetPaintManager().FindSubControlByName(keyboard, name));
  }
  void Click(const char* name) {
    CControlUI* c = Control<CControlUI>(name);
    ASSERT_NE(c, nullptr) << name;
    wnd->GetPaintManager().SendNotify(c, "click");
  }
  static std::string Word(const char* id) { return CResourceManager::GetInstance().GetText(id); }
  // Questions (with a cancel button) are answered from `declined` by their
  // text ID, yes otherwise; notices are kept with their text.
  void Answer(CMsgWnd& m) {
    CControlUI* text = m.GetPaintManager().FindControl("MessageText");
    const std::string shown = text != nullptr ? std::string(text->GetText()) : "?";
    CControlUI* cancel = m.GetPaintManager().FindControl("cancel_btn");
    bool confirm = true;
    if (cancel != nullptr && cancel->IsVisible()) {
      asked.push_back(shown);
      for (const std::string& id : declined)
        if (shown == Word(id.c_str())) confirm = false;
    } else {
      notices.push_back(shown);
    }
    const HWND h = m.GetHWND();
    loop.Post([h, confirm] {
      if (auto* w = dynamic_cast<CMsgWnd*>(CWindowWnd::FromHandle(h)))
        if (auto* b = dynamic_cast<CButtonUI*>(w->GetPaintManager().FindControl(confirm ? "confirm_btn" : "cancel_btn")))
          b->Activate();
    });
  }

  korvale::testing::EmuProcess emu;
  CScriptedFileDialogs files;
  CVarnikKeyboardDevice* keyboard = nullptr;
  CMacroControlUI* macros = nullptr;
  std::filesystem::path folder;
  std::vector<std::string> asked, notices;
  std::set<std::string> declined;  // text IDs of questions answered no
};

TEST_F(MacroWiringTest, TheMacroTabShowsTheEditorAndItsButtonsEditTheFiles) {
  Control<COptionUI>("macro_Op_tab")->Activate();
  auto* pages = Control<CTabLayoutUI>("device_function_switch");
  ASSERT_NE(pages, nullptr);
  EXPECT_EQ(pages->GetItemAt(pages->GetCurSel())->GetName(), "device_macro_page");

  declined = {"message_text_28"};
  Click("macro_btn_name_add");
  EXPECT_TRUE(ReadMacroIndex(folder).empty());
  declined.clear();
  Click("macro_btn_name_add");
  const auto index = ReadMacroIndex(folder);
  ASSERT_EQ(index.size(), 1u);
  EXPECT_EQ(index[0].name, "macro_1");
  EXPECT_EQ(keyboard->MacroNames(), (std::vector<std::string>{"macro_1"}));  // the page's names follow
  Control<CEditUI>("mouse_y_down_edit")->SetText("7");
  Click("macro_inset_movedownkey_btn");
  EXPECT_EQ(ReadMacroEvents(folder / (index[0].guid + ".mac")).events, (std::vector<MacroEvent>{{50, 5, false, 7}}));

  // A broken import is refused with a notice; a good one is added.
  files.Answer(dir / "bad.mac");
  std::ofstream(dir / "bad.mac") << "[]";
  Click("macro_btn_import");
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].rfind(Word("macro_import_failed_text"), 0), 0u) << notices[0];
  EXPECT_EQ(ReadMacroIndex(folder).size(), 1u);
}

TEST_F(MacroWiringTest, DeletingAMacroFixesKeysInEveryProfileAndSendsTheKeys) {
  Click("macro_btn_name_add");
  Click("macro_btn_name_add");
  Click("macro_btn_name_add");
  ASSERT_EQ(ReadMacroIndex(folder).size(), 3u);
  // Key 64 plays macro 1, key 65 macro 2.
  std::vector<KeyRecord> keys = keyboard->GetKeyList();
  keys[64].normal.code = {0x70, 1, 0};
  keys[65].normal.code = {0x70, 2, 0};
  keyboard->SetKeyList(keys);
  keyboard->SaveProfile();
  auto* list = Control<CListUI>(macroui::kNameList);
  list->SelectItem(1);  // "itemselect" shows it

  declined = {"message_text_2"};  // declined: nothing changes
  Click("macro_btn_name_sub");
  ASSERT_FALSE(asked.empty());
  EXPECT_EQ(asked.back(), Word("message_text_2"));
  EXPECT_EQ(ReadMacroIndex(folder).size(), 3u);
  EXPECT_EQ(keyboard->GetKeyList()[64].normal.code, (AssignmentCode{0x70, 1, 0}));

  declined.clear();
  ASSERT_EQ(emu.Command("journal-clear keyboard"), "ok journal-clear keyboard");
  Click("macro_btn_name_sub");
  const auto index = ReadMacroIndex(folder);
  ASSERT_EQ(index.size(), 2u);
  EXPECT_EQ(index[1].name, "macro_3");
  const auto after = keyboard->GetKeyList();
  EXPECT_EQ(after[64].normal, after[64].defaultKey);
  EXPECT_EQ(after[65].normal.code, (AssignmentCode{0x70, 1, 0}));
  // The profile file holds the fixed list, and the keyboard got the macro and its keys.
  EXPECT_EQ(ReadJsonFile(keyboard->GetProfilePath())["Device"][0]["KeyList"][65]["Assignment"].asUInt(),
            (0x70u << 16) | (1u << 8));
  EXPECT_EQ(emu.Command("macros keyboard"), "ok macros 1 entries 22 bytes");
  EXPECT_NE(emu.Listing("journal keyboard").size(), 0u);
  EXPECT_TRUE(notices.empty());
}

// Deleting macro 0 while key 64 plays macro 1 renumbers the key and sends the
// key tables; a refused key table write is tried once more, then reported.
TEST_F(MacroWiringTest, AKeyTableWriteThatFailsIsTriedOnceMoreThenReported) {
  Click("macro_btn_name_add");
  Click("macro_btn_name_add");
  Click("macro_btn_name_add");
  auto deleteFirstWithKeyOnSecond = [&] {
    std::vector<KeyRecord> keys = keyboard->GetKeyList();
    keys[64].normal.code = {0x70, 1, 0};
    keyboard->SetKeyList(keys);
    keyboard->SaveProfile();
    Control<CListUI>(macroui::kNameList)->SelectItem(0);
    ASSERT_EQ(emu.Command("journal-clear keyboard"), "ok journal-clear keyboard");
    Click("macro_btn_name_sub");
  };
  // Key table writes begin at offset 0, one run per attempt.
  auto keyTableRuns = [&] {
    int runs = 0;
    for (const auto& p : korvale::testing::ParseJournal(emu.Listing("journal keyboard")))
      runs += p.cmd == proto::kWriteKeyTable && p.off == 0;
    return runs;
  };

  ASSERT_EQ(emu.Command("fault keyboard status-ff cmd=0x09 count=1"), "ok fault keyboard status-ff");
  deleteFirstWithKeyOnSecond();
  EXPECT_EQ(keyTableRuns(), 2);
  EXPECT_TRUE(notices.empty()) << notices.front();
  EXPECT_EQ(keyboard->GetKeyList()[64].normal.code, (AssignmentCode{0x70, 0, 0}));

  ASSERT_EQ(emu.Command("fault keyboard status-ff cmd=0x09"), "ok fault keyboard status-ff");
  deleteFirstWithKeyOnSecond();
  EXPECT_EQ(keyTableRuns(), 2);
  ASSERT_EQ(notices.size(), 1u);
  EXPECT_EQ(notices[0].rfind(Word("key_download_failed_text"), 0), 0u) << notices[0];
  // The profile keeps the renumbered key all the same.
  EXPECT_EQ(ReadJsonFile(keyboard->GetProfilePath())["Device"][0]["KeyList"][64]["Assignment"].asUInt(), 0x70u << 16);
  ASSERT_EQ(emu.Command("fault keyboard none"), "ok fault keyboard none");
}

// Pop-up menus as a renderer would show them: each menu kept, none chosen.
struct RecordingPopupMenus : IPopupMenus {
  RecordingPopupMenus() { SetPopupMenus(this); }
  ~RecordingPopupMenus() override { SetPopupMenus(nullptr); }
  void Show(HWND to, const std::vector<PopupMenuItem>& items) override {
    shownOverOpen += open;
    open = true;
    owner = to;
    shown.push_back(items);
  }
  void Close() override { open = false; }
  bool IsOpen() const override { return open; }
  bool open = false;
  int shownOverOpen = 0;  // menus opened while another was still open
  HWND owner = 0;
  std::vector<std::vector<PopupMenuItem>> shown;
};

// The names that can be chosen, in menu order.
std::vector<std::string> ChoiceNames(const std::vector<PopupMenuItem>& items) {
  std::vector<std::string> names;
  for (std::size_t n = 0; const PopupMenuItem* item = PopupMenuItemAt(items, n); ++n) names.push_back(item->name);
  return names;
}

class ActionMenuTest : public MacroWiringTest {
 protected:
  void SetUp() override {
    MacroWiringTest::SetUp();
    if (HasFatalFailure()) return;
    CInputCapture::Instance().SetSourceAvailable(true);
    Control<COptionUI>("macro_Op_tab")->Activate();
    Click("macro_btn_name_add");
    // Two rows to record between: move down 7, move down 9.
    for (const char* distance : {"7", "9"}) {
      Control<CEditUI>("mouse_y_down_edit")->SetText(distance);
      Click("macro_inset_movedownkey_btn");
    }
    rows = Control<CListUI>(macroui::kActionList);
    ASSERT_NE(rows, nullptr);
    ASSERT_EQ(rows->GetCount(), 2);
  }
  void TearDown() override {
    CInputCapture::Instance().Uninstall();
    CInputCapture::Instance().SetSourceAvailable(false);
    MacroWiringTest::TearDown();
  }
  // A double click on row `row`: it is selected, then activated.
  void Activate(int row) {
    rows->SelectItem(row);
    ASSERT_TRUE(rows->GetItemAt(row)->Activate());  // what a double click does
  }
  // The user picks the item named so from the menu last shown.
  void Choose(const std::string& name) {
    ASSERT_FALSE(menus.shown.empty());
    const auto number = PopupMenuNumberOf(menus.shown.back(), name);
    ASSERT_TRUE(number.has_value()) << name;
    menus.open = false;
    wnd->SendMessage(WM_MENU_COMMAND, kPopupMenuCommand + *number, 0);
  }
  std::vector<MacroEvent> Saved() {
    const auto index = ReadMacroIndex(folder);
    if (index.empty()) return {};
    return ReadMacroEvents(folder / (index[0].guid + ".mac")).events;
  }
  // A key pressed and released in the window: evdev code + 8 is its scan code.
  static void Tap(uint16_t evdev, uint64_t at) {
    for (bool press : {true, false}) {
      CapturedInput in;
      in.press = press;
      in.nativeScanCode = evdev + kEvdevScanOffset;
      in.timestampMs = at + (press ? 0 : 30);
      CInputCapture::Instance().Deliver(in);
    }
  }

  RecordingPopupMenus menus;
  CListUI* rows = nullptr;
};

TEST_F(ActionMenuTest, ARowsDoubleClickOpensTheActionMenuAndClosesAnyOpenMenuFirst) {
  Activate(0);
  ASSERT_EQ(menus.shown.size(), 1u);
  EXPECT_EQ(menus.owner, wnd->GetHWND());
  const auto names = ChoiceNames(menus.shown[0]);
  const std::set<std::string> expected = {
      "redio_previous_record_time", "redio_previous_constant_time", "redio_previous_ignore_time",
      "redio_later_record_time", "redio_later_constant_time", "redio_later_ignore_time", "macro_action_edit",
      "left_down", "left_up", "left_click", "middle_down", "middle_up", "middle_click", "right_down", "right_up",
      "right_click", "forward_down", "forward_up", "forward_click", "back_down", "back_up", "back_click"};
  EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), expected);
  EXPECT_EQ(names.size(), expected.size());  // each once
  // Another double click closes the open menu before it opens the next.
  Activate(1);
  ASSERT_EQ(menus.shown.size(), 2u);
  EXPECT_EQ(menus.shownOverOpen, 0);
  // So does the tray's menu.
  wnd->SendMessage(WM_TRAY_NOTIFY, 0, kTrayRButtonUp);
  loop.AdvanceBy(20);
  EXPECT_EQ(tray.menus.size(), 1u);
  EXPECT_FALSE(menus.open);
}

TEST_F(ActionMenuTest, RecordingAfterTheRowWithTheFixedDelayInsertsBehindIt) {
  Activate(0);
  Choose("redio_later_constant_time");
  ASSERT_TRUE(wnd->KeyCommands().IsRecording());
  EXPECT_EQ(CInputCapture::Instance().Mode(), kCaptureAfter);
  EXPECT_EQ(macros->GetRecordTimeMode(), 2);
  Tap(30, 1000);  // A
  Tap(48, 2000);  // B
  Click("macro_btn_stopredio");
  EXPECT_FALSE(wnd->KeyCommands().IsRecording());
  const uint16_t fixed = static_cast<uint16_t>(macros->GetFixedDelay());
  EXPECT_EQ(Saved(), (std::vector<MacroEvent>{{50, 5, false, 7},
                                              {fixed, 10, true, 0x04}, {fixed, 10, false, 0x04},
                                              {fixed, 10, true, 0x05}, {fixed, 10, false, 0x05},
                                              {50, 5, false, 9}}));
}

TEST_F(ActionMenuTest, TheTriggersStartTheirModeAndPlacement) {
  const struct {
    const char* item;
    int timeMode;
    int capture;
  } cases[] = {
      {"redio_previous_record_time", 1, kCaptureBefore}, {"redio_previous_constant_time", 2, kCaptureBefore},
      {"redio_previous_ignore_time", 3, kCaptureBefore}, {"redio_later_record_time", 1, kCaptureAfter},
      {"redio_later_ignore_time", 3, kCaptureAfter},     {"macro_action_edit", 3, kCaptureReplace},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.item);
    Activate(1);
    Choose(c.item);
    ASSERT_TRUE(wnd->KeyCommands().IsRecording());
    EXPECT_EQ(macros->GetRecordTimeMode(), c.timeMode);
    EXPECT_EQ(CInputCapture::Instance().Mode(), c.capture);
    Click("macro_btn_stopredio");
  }
  // Recording before the row: a key lands in front of it.
  Activate(1);
  Choose("redio_previous_ignore_time");
  Tap(30, 1000);
  Click("macro_btn_stopredio");
  EXPECT_EQ(Saved(), (std::vector<MacroEvent>{{50, 5, false, 7}, {0, 10, true, 0x04}, {0, 10, false, 0x04}, {50, 5, false, 9}}));
}

TEST_F(ActionMenuTest, MouseItemsInsertTheirButtonAfterTheRow) {
  Activate(0);
  Choose("back_click");
  Activate(0);
  Choose("right_down");
  EXPECT_FALSE(wnd->KeyCommands().IsRecording());
  // Each insertion goes right after the selected row and is saved at once.
  EXPECT_EQ(Saved(), (std::vector<MacroEvent>{{50, 5, false, 7}, {50, 1, true, 2}, {50, 1, true, 8}, {50, 1, false, 8},
                                              {50, 5, false, 9}}));
}

TEST_F(ActionMenuTest, AChoiceCountsOnceAndOnlyForTheMenuShown) {
  Activate(0);
  const auto number = PopupMenuNumberOf(menus.shown.back(), "left_down");
  ASSERT_TRUE(number.has_value());
  TraceSink::Instance().Clear();
  wnd->SendMessage(WM_MENU_COMMAND, kPopupMenuCommand + 500, 0);  // no such item
  EXPECT_TRUE(TraceSink::Instance().Contains("menu: pop-up command 500 is no item"));
  wnd->SendMessage(WM_MENU_COMMAND, kPopupMenuCommand + *number, 0);
  wnd->SendMessage(WM_MENU_COMMAND, kPopupMenuCommand + *number, 0);  // a second message for one choice
  EXPECT_EQ(Saved().size(), 3u);
  EXPECT_EQ(rows->GetCount(), 3);
}

TEST_F(MacroWiringTest, TheKeyboardHasNoRecoilTabAndNoShootEditor) {
  auto* cursor = Control<COptionUI>("cursor_Op_tab");
  ASSERT_NE(cursor, nullptr);
  EXPECT_FALSE(cursor->IsVisible());
  EXPECT_TRUE(Control<COptionUI>("macro_Op_tab")->IsVisible());
  EXPECT_EQ(Control<CShootControlUI>(shootui::kEditorName), nullptr);
}

// The mouse page carries both editors; its recoil tab leads to the shoot editor.
class MouseEditorsTest : public MainWndTest {
 protected:
  void SetUp() override {
    RegisterSkinControls(DeviceControlCreators());
    RegisterDeviceListControls();
    RegisterLightControl();
    RegisterMacroControl();
    RegisterShootControl();
    ASSERT_TRUE(emu.Start({"--dir", (dir / "vhid").string(), "mouse-cable"}));
    ASSERT_EQ(emu.Line().rfind("mouse-cable", 0), 0u);
    wnd->SetDiscoveryEnabled(true);
    Start();
    ASSERT_TRUE(korvale::testing::PumpUntil(loop, [&] {
      loop.AdvanceBy(100);
      const auto& pages = wnd->GetDeviceList()->MousePages();
      return !pages.empty() && pages[0]->IsPrimaryOpen();
    }, 5000));
    loop.AdvanceBy(600);
    mouse = wnd->GetDeviceList()->MousePages().at(0);
    shoot = Control<CShootControlUI>(shootui::kEditorName);
    ASSERT_NE(shoot, nullptr) << "the mouse page's skin lacks the shoot editor";
    ASSERT_NE(Control<CMacroControlUI>(macroui::kEditorName), nullptr) << "the mouse page's skin lacks the macro editor";
    folder = mouse->UserDataFolder();
    // Questions are answered yes; notices are kept with their text.
    CMsgWnd::SetOpenedHook([this](CMsgWnd& m) {
      CControlUI* cancel = m.GetPaintManager().FindControl("cancel_btn");
      if (cancel == nullptr || !cancel->IsVisible()) {
        CControlUI* text = m.GetPaintManager().FindControl("MessageText");
        notices.push_back(text != nullptr ? std::string(text->GetText()) : "?");
      }
      const HWND h = m.GetHWND();
      loop.Post([h] {
        if (auto* w = dynamic_cast<CMsgWnd*>(CWindowWnd::FromHandle(h)))
          if (auto* b = dynamic_cast<CButtonUI*>(w->GetPaintManager().FindControl("confirm_btn"))) b->Activate();
      });
    });
  }
  void TearDown() override {
    CMsgWnd::SetOpenedHook({});
    wnd->DestroyWindow();
    emu.Kill();
  }
  template <class T>
  T* Control(const char* name) {
    return dynamic_cast<T*>(wnd->GetPaintManager().FindSubControlByName(mouse, name));
  }
  void Click(const char* name) {
    CControlUI* c = Control<CControlUI>(name);
    ASSERT_NE(c, nullptr) << name;
    wnd->GetPaintManager().SendNotify(c, "click");
  }

  korvale::testing::EmuProcess emu;
  CVarnikUSBDevice* mouse = nullptr;
  CShootControlUI* shoot = nullptr;
  std::filesystem::path folder;
  std::vector<std::string> notices;
};

TEST_F(MouseEditorsTest, DeletingAMacroRenumbersTheMouseButtonsAndSendsThem) {
  auto* mousePage = dynamic_cast<CVarnikMouseDevice*>(mouse);
  ASSERT_NE(mousePage, nullptr);
  Control<COptionUI>("macro_Op_tab")->Activate();
  Click("macro_btn_name_add");
  Click("macro_btn_name_add");
  ASSERT_EQ(ReadMacroIndex(folder).size(), 2u);
  std::vector<KeyRecord> keys = mousePage->GetKeyList();
  ASSERT_GT(keys.size(), 4u);
  keys[4].normal.code = {0x70, 1, 0};  // the back button plays the second macro
  mousePage->SetKeyList(keys);
  mousePage->SaveProfile();
  Control<CListUI>(macroui::kNameList)->SelectItem(0);
  ASSERT_EQ(emu.Command("journal-clear mouse-cable"), "ok journal-clear mouse-cable");
  Click("macro_btn_name_sub");
  EXPECT_EQ(ReadMacroIndex(folder).size(), 1u);
  EXPECT_EQ(mousePage->GetKeyList()[4].normal.code, (AssignmentCode{0x70, 0, 0}));
  EXPECT_EQ(ReadJsonFile(mousePage->GetProfilePath())["Device"][mousePage->Profile().GetDeviceIndex()]["KeyList"][4]
                ["Assignment"].asUInt(),
            0x70u << 16);
  // The macro went to the mouse, and its key table after it.
  EXPECT_EQ(emu.Command("macros mouse-cable"), "ok macros 1 entries 22 bytes");
  int keyTables = 0;
  for (const auto& p : korvale::testing::ParseJournal(emu.Listing("journal mouse-cable")))
    keyTables += p.cmd == proto::kWriteKeyTable;
  EXPECT_GT(keyTables, 0);
  EXPECT_TRUE(notices.empty()) << notices.front();
}

TEST_F(MouseEditorsTest, TheRecoilTabEditsBulletsAndStoresTheSequences) {
  Control<COptionUI>("cursor_Op_tab")->Activate();
  auto* pages = Control<CTabLayoutUI>("device_function_switch");
  ASSERT_NE(pages, nullptr);
  EXPECT_EQ(pages->GetItemAt(pages->GetCurSel())->GetName(), "device_shoot_page");
  Control<COptionUI>("macro_Op_tab")->Activate();
  EXPECT_EQ(pages->GetItemAt(pages->GetCurSel())->GetName(), "device_macro_page");
  Control<COptionUI>("cursor_Op_tab")->Activate();
  // Set up by the page: every gun's file made from its default.
  for (int g = 0; g < 4; ++g) EXPECT_TRUE(std::filesystem::exists(ShootFilePath(folder, g))) << g;
  Control<COptionUI>("bullet_op_4")->Activate();
  EXPECT_EQ(Control<CLabelUI>("bullet_select_index")->GetText(), "5");
  Control<CEditUI>("bullet_y_eidt")->SetText("300");
  wnd->GetPaintManager().SendNotify(Control<CControlUI>("bullet_y_eidt"), "killfocus");
  EXPECT_EQ(shoot->ReadBullet(0, 4).y, 255);
  Click("shootdate_save_btn");
  EXPECT_TRUE(notices.empty()) << notices.front();
  const auto lines = emu.Listing("shoot mouse-cable");
  ASSERT_EQ(lines.size(), 4u + 720);
  EXPECT_EQ(lines[1 + 6 * 4 + 3], "  type 5 up button 255 delay " + std::to_string(shoot->ReadBullet(0, 4).delay));
}

}  // namespace
}  // namespace korvale::test
