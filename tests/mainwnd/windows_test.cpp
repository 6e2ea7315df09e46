// The settings, skin and about windows, opened from the real main window's
// button or tray item, and the update status arriving over the message bus.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "devices/varnik_usb_device.h"
#include "mainwnd/device_list.h"
#include "platform/message_bus.h"
#include "platform/registered_messages.h"
#include "platform/trace.h"
#include "profiles/json_file.h"
#include "tests/mainwnd/mainwnd_fixture.h"
#include "tests/support/temp_dir.h"
#include "tests/support/wait.h"
#include "ui/containers.h"
#include "ui/controls.h"
#include "ui/skin_controls.h"
#include "windows/about_wnd.h"
#include "windows/msg_wnd.h"
#include "windows/set_wnd.h"
#include "windows/skin_frame.h"

namespace korvale::test {
namespace {

using Child = CMainWnd::ChildWindow;

class WindowsTest : public MainWndTest {
 protected:
  WindowsTest() {
    // The device pages, so that shown tiles become update entries.
    RegisterSkinControls(DeviceControlCreators());
    RegisterDeviceListControls();
    // The process's own registry, as the bus maps names with it.
    wnd->SetRegisteredMessages([](std::string_view name) { return RegisterWindowMessage(name); });
  }

  template <class W>
  W* Open(Child which) {
    return dynamic_cast<W*>(CWindowWnd::FromHandle(wnd->GetChildWindow(which)));
  }
  static void Click(CPaintManagerUI& pm, std::string_view name) {
    auto* b = dynamic_cast<CButtonUI*>(pm.FindControl(name));
    ASSERT_NE(b, nullptr) << name;
    b->Activate();
  }
  // Runs body inside the modal loop of the window a click or menu item opens.
  void WhileOpen(const std::function<void()>& open, const std::function<void()>& body) {
    bool ran = false;
    const auto key = UiLoop::NewTimerKey();
    loop.SetTimer(key, 10, [&] {
      loop.KillTimer(key);
      ran = true;
      body();
    });
    loop.Post(open);
    loop.AdvanceBy(1000);
    EXPECT_TRUE(ran);
  }
  void MenuItem(std::string_view name) {
    const auto& items = wnd->GetMenuItems();
    for (std::size_t i = 0; i < items.size(); ++i)
      if (items[i].name == name) {
        wnd->SendMessage(WM_MENU_COMMAND, i, 0);
        return;
      }
    ADD_FAILURE() << "no menu item " << name;
  }
  void ShowAllTiles() {
    CDeviceList* list = wnd->GetDeviceList();
    ASSERT_NE(list, nullptr);
    BuildPages({0, 1, 2});
    for (int i = 0; i < list->PageCount(); ++i) list->ShowTile(i, true, i == 0);
  }
  // A new main window on the same folders: the next start.
  void Restart() {
    if (IsWindow(wnd->GetHWND())) wnd->DestroyWindow();
    wnd = std::make_unique<CMainWnd>();
    wnd->SetTrayIcon(&tray);
    wnd->SetDiscoveryEnabled(false);
    wnd->Audio().SetProgram({});  // as the fixture's: no audio companion
    Start();
  }
  std::filesystem::path UpdateTimePath() const { return dir / "data" / kAppIdentity / "updatetime.config"; }
};

TEST_F(WindowsTest, SettingsOpensBesideTheButtonAndCentredFromTheTrayAndTheMessage) {
  Start();
  wnd->MoveWindow(UiRect{100, 50, 1100, 690});
  WhileOpen([&] { Click(wnd->GetPaintManager(), "setbtn"); }, [&] {
    auto* set = Open<CSetWnd>(Child::kSettings);
    ASSERT_NE(set, nullptr);
    EXPECT_TRUE(set->IsModal());
    EXPECT_FALSE(wnd->IsWindowEnabled());
    const UiRect r = set->GetWindowRect();
    EXPECT_EQ(r.right, 1100 - 30);
    EXPECT_EQ(r.top, 50 + 60);
    EXPECT_EQ(r.right - r.left, 630);
    // The language list from "Language.config", the current one selected.
    auto* combo = dynamic_cast<CComboUI*>(set->GetPaintManager().FindControl("Language_combox_info"));
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->GetCount(), 3);
    EXPECT_EQ(combo->GetCurSel(), wnd->GetLanguageIndex());
    // No update tool heard: the panel says where updates come from and stays quiet.
    EXPECT_EQ(std::string(set->GetPaintManager().FindControl("Update_Status_text")->GetRawText()),
              "UpdateFromDistributionText");
    EXPECT_FALSE(set->GetPaintManager().FindControl("update_status_ring")->IsVisible());
    // Opening again while open does nothing.
    Click(wnd->GetPaintManager(), "setbtn");
    Click(set->GetPaintManager(), "closebtn");
  });
  EXPECT_EQ(wnd->GetChildWindow(Child::kSettings), 0u);
  EXPECT_TRUE(wnd->IsWindowEnabled());
  // Opening records no date: no check has run.
  EXPECT_FALSE(std::filesystem::exists(UpdateTimePath()));

  for (const std::function<void()>& open : std::vector<std::function<void()>>{
           [&] { MenuItem("setwnd_menu"); }, [&] { wnd->SendMessage(WM_OPEN_SETTINGS, 0, 0); }}) {
    WhileOpen(open, [&] {
      auto* set = Open<CSetWnd>(Child::kSettings);
      ASSERT_NE(set, nullptr);
      const UiRect r = set->GetWindowRect(), m = wnd->GetWindowRect();
      EXPECT_EQ(r.left + r.right, m.left + m.right);  // centred on the main window
      set->Close(0);
    });
    EXPECT_EQ(wnd->GetChildWindow(Child::kSettings), 0u);
  }
}

TEST_F(WindowsTest, TheLanguageChosenInSettingsReachesEveryWindow) {
  Start();
  ASSERT_EQ(wnd->GetLanguageIndex(), 0);
  CControlUI* mainSettings = Find("setbtn");
  EXPECT_EQ(std::string(mainSettings->GetText()), "Settings");
  WhileOpen([&] { Click(wnd->GetPaintManager(), "setbtn"); }, [&] {
    auto* set = Open<CSetWnd>(Child::kSettings);
    ASSERT_NE(set, nullptr);
    // A tool said everything is up to date: the line carries the words and the date.
    set->OnUpdateEvent(CSetWnd::kNothingToUpdate, 0);
    CControlUI* line = set->GetPaintManager().FindControl("Update_Status_text");
    EXPECT_EQ(std::string(line->GetText()).rfind("Everything is up to date.", 0), 0u);
    auto* combo = dynamic_cast<CComboUI*>(set->GetPaintManager().FindControl("Language_combox_info"));
    ASSERT_NE(combo, nullptr);
    ASSERT_TRUE(combo->SelectItemFromUser(1));  // Deutsch
    EXPECT_EQ(wnd->GetLanguageIndex(), 1);
    EXPECT_EQ(set->GetLanguageIndex(), 1);
    // The main window, the settings window's own controls and its rebuilt line.
    EXPECT_EQ(std::string(mainSettings->GetText()), "Einstellungen");
    EXPECT_EQ(std::string(set->GetPaintManager().FindControl("setwnd_language")->GetText()), "Sprache");
    EXPECT_EQ(std::string(line->GetText()).rfind("Alles ist aktuell.", 0), 0u) << line->GetText();
    set->Close(0);
  });
  // The choice is stored for the next start.
  EXPECT_EQ(LoadLanguageIndex(), 1);
}

TEST_F(WindowsTest, UpdateStatusFromAPeerOnTheBusWalksEveryEntryToAFinalState) {
  Start();
  ShowAllTiles();
  const testing::TempDir busDir("kvbus");
  MessageBus bus(loop, busDir.Path());
  ASSERT_TRUE(bus.Listen(kAppIdentity, [this](const BusMessage& m) {
    return static_cast<std::intptr_t>(SendMessageW(hwnd, m.msg, static_cast<WPARAM>(m.wParam),
                                                   static_cast<LPARAM>(m.lParam)));
  }));
  MessageBus tool(loop, busDir.Path());
  auto post = [&](std::uint64_t kind, std::int64_t value) {
    ASSERT_TRUE(tool.Post(kAppIdentity, kUpdateStatusMsgName, 0, kind, value));
  };
  WhileOpen([&] { Click(wnd->GetPaintManager(), "setbtn"); }, [&] {
    auto* set = Open<CSetWnd>(Child::kSettings);
    ASSERT_NE(set, nullptr);
    ASSERT_EQ(set->EntryCount(), wnd->VisibleTileCount());
    ASSERT_GE(set->EntryCount(), 1);
    CUpdateEntry* a = set->EntryAt(0);
    CPaintManagerUI& pm = set->GetPaintManager();
    EXPECT_EQ(a->GetState(), UpdateState::kNone);
    EXPECT_FALSE(a->IsCheckEnabled());
    auto heard = [&](auto pred) { return testing::PumpUntil(loop, pred); };
    auto check = [&](bool on) {
      auto* box = dynamic_cast<COptionUI*>(pm.FindSubControlByName(a->Item(), "check_name_select"));
      ASSERT_NE(box, nullptr);
      box->Selected(on);  // as a click does, with its notification
      loop.RunPending();
    };
    // Offered, chosen and started: the entry waits for the tool.
    auto start = [&](long long revision) {
      post(CSetWnd::kEntryOffered, 0 | (revision << 16));
      ASSERT_TRUE(heard([&] { return a->GetState() == UpdateState::kNeeded; }));
      EXPECT_EQ(set->GetStatus(), CSetWnd::kHaveUpdate);
      EXPECT_TRUE(a->IsCheckEnabled());
      check(false);
      EXPECT_FALSE(pm.FindControl("update_fw_and_ap")->IsVisible());
      check(true);
      EXPECT_TRUE(pm.FindControl("update_fw_and_ap")->IsEnabled());
      Click(pm, "update_fw_and_ap");
      EXPECT_EQ(dynamic_cast<CTabLayoutUI*>(pm.FindControl("get_update_tab_layout"))->GetCurSel(), 1);
      Click(pm, "update_OK_btn");
      EXPECT_EQ(a->GetState(), UpdateState::kWaiting);
      EXPECT_EQ(set->GetStatus(), CSetWnd::kUpdating);
      EXPECT_EQ(CSetWnd::UpdateRequested(), 1);
    };

    // Hostile values first: refused, nothing changes, the panel stays quiet.
    TraceSink::Instance().Clear();
    post(9, 0);
    post(0, 0);
    post(CSetWnd::kEntryOffered, 99 | (10203LL << 16));  // no such entry
    post(CSetWnd::kEntryOffered, -1);
    post(CSetWnd::kEntryProgress, 50);                    // nothing is being updated
    ASSERT_TRUE(heard([] { return TraceSink::Instance().Contains("with no entry being updated"); }));
    EXPECT_TRUE(TraceSink::Instance().Contains("update event of kind 9 refused"));
    EXPECT_TRUE(TraceSink::Instance().Contains("update event of kind 0 refused"));
    EXPECT_TRUE(TraceSink::Instance().Contains("update offer -1 refused"));
    EXPECT_EQ(a->GetState(), UpdateState::kNone);
    EXPECT_EQ(a->GetProgress(), 0);

    // Progress moves the entry to updating; outside 0..100 is refused.
    start(10203);
    EXPECT_EQ(a->GetNewRevision(), "1.2.3");
    post(CSetWnd::kEntryProgress, 40);
    ASSERT_TRUE(heard([&] { return a->GetProgress() == 40; }));
    EXPECT_EQ(a->GetState(), UpdateState::kUpdating);
    EXPECT_EQ(std::string(pm.FindSubControlByName(a->Item(), "update_progress_value")->GetText()), "40%");
    post(CSetWnd::kEntryProgress, 101);
    post(CSetWnd::kEntryProgress, -5);
    ASSERT_TRUE(heard([] { return TraceSink::Instance().Contains("progress -5 refused"); }));
    EXPECT_EQ(a->GetProgress(), 40);
    // Finished: the new revision is the current one, and all is up to date.
    post(CSetWnd::kEntryFinished, 0);
    ASSERT_TRUE(heard([&] { return a->GetState() == UpdateState::kDone; }));
    EXPECT_EQ(a->GetCurrentRevision(), "1.2.3");
    EXPECT_EQ(a->GetNewRevision(), "");
    EXPECT_FALSE(a->IsChecked());
    EXPECT_EQ(set->GetStatus(), CSetWnd::kLatest);
    EXPECT_EQ(CSetWnd::UpdateResult(), 0);
    // The date is recorded now that a check has run.
    EXPECT_EQ(ReadJsonFile(UpdateTimePath())["updatelasttime"]["value"].asString(), set->GetLastUpdateDate());
    EXPECT_FALSE(set->GetLastUpdateDate().empty());

    // A failure right after a success still ends the entry (not left running).
    start(10300);
    post(CSetWnd::kEntryFailed, 0);
    ASSERT_TRUE(heard([&] { return a->GetState() == UpdateState::kFailed; }));
    EXPECT_FALSE(set->IsUpdating());
    EXPECT_TRUE(a->IsCheckEnabled());                   // may be tried again
    EXPECT_EQ(set->GetStatus(), CSetWnd::kHaveUpdate);

    // Aborted by the tool: failed, and the shared result says so. Before
    // that, closing while it runs asks first, and declined keeps the window.
    start(10300);
    const bool cancel = false;
    std::vector<std::string> asked;
    {
      MessageAnswerer answerer(loop, cancel);
      Click(pm, "closebtn");
      asked = answerer.texts;
    }
    EXPECT_EQ(asked, std::vector<std::string>{CResourceManager::GetInstance().GetText("update_close_running")});
    EXPECT_TRUE(IsWindow(set->GetHWND()));
    post(CSetWnd::kEntryAborted, 0);
    ASSERT_TRUE(heard([&] { return a->GetState() == UpdateState::kFailed; }));
    EXPECT_EQ(CSetWnd::UpdateResult(), -1);
    EXPECT_EQ(a->GetCurrentRevision(), "1.2.3");

    // No event closed the window under the user; the close button does.
    EXPECT_TRUE(IsWindow(set->GetHWND()));
    Click(pm, "laterbtn");
  });
  EXPECT_EQ(wnd->GetChildWindow(Child::kSettings), 0u);
  bus.Unlisten(kAppIdentity);
}

TEST_F(WindowsTest, SkinChoicesChangeTheBackgroundAndComeBackAtTheNextStart) {
  Start();
  CControlUI* root = Find("root");
  ASSERT_NE(root, nullptr);
  const std::filesystem::path ini = dir / "data" / kAppIdentity / "main.ini";
  auto openFrame = [&]() -> CSkinFrame* {
    Click(wnd->GetPaintManager(), "skinbtn");
    loop.RunPending();
    return Open<CSkinFrame>(Child::kToolB);
  };
  CSkinFrame* frame = openFrame();
  ASSERT_NE(frame, nullptr);
  EXPECT_EQ(frame->GetParent(), hwnd);
  // Losing the focus closes it with no choice made.
  frame->SendMessage(wm::kActivate, 0, 0);
  loop.RunPending();
  EXPECT_EQ(wnd->GetChildWindow(Child::kToolB), 0u);
  EXPECT_FALSE(std::filesystem::exists(ini));

  frame = openFrame();
  ASSERT_NE(frame, nullptr);
  CControlUI* colour = frame->GetPaintManager().FindControl("skin_color_btn");
  ASSERT_NE(colour, nullptr);
  const DWORD chosen = colour->GetBkColor();
  Click(frame->GetPaintManager(), "skin_color");
  Click(frame->GetPaintManager(), "skin_color_btn");
  EXPECT_EQ(root->GetBkColor(), chosen);
  std::ifstream in(ini);
  std::stringstream text;
  text << in.rdbuf();
  EXPECT_NE(text.str().find("FLAGS=2"), std::string::npos) << text.str();

  // The next start reads it back.
  Restart();
  EXPECT_EQ(Find("root")->GetBkColor(), chosen);

  // An image, then the default; each is recorded.
  frame = openFrame();
  ASSERT_NE(frame, nullptr);
  Click(frame->GetPaintManager(), "skin_image_btn");
  EXPECT_EQ(Find("root")->GetBkColor(), 0u);
  EXPECT_EQ(ReadSkinChoice(ini)->image, std::string(frame->GetPaintManager().FindControl("skin_image_btn")->GetUserData()));
  Click(frame->GetPaintManager(), "skin_reset");
  EXPECT_EQ(ReadSkinChoice(ini)->image, kDefaultBackground);
  frame->Close(0);
  loop.RunPending();

  // A record that is not ours is ignored with a trace.
  for (const char* bad : {"[SKINIMAGE]\nFLAGS=2\nIMAGE=zz\n", "[SKINIMAGE]\nFLAGS=7\nIMAGE=x.png\n", "FLAGS=1\nIMAGE=a.png\n"}) {
    std::ofstream(ini) << bad;
    EXPECT_FALSE(ReadSkinChoice(ini)) << bad;
  }
}

TEST_F(WindowsTest, AboutOpensFromTheTrayWithTheBuildVersion) {
  Start();
  WhileOpen([&] { MenuItem("about_menu"); }, [&] {
    auto* about = Open<CAboutWnd>(Child::kToolA);
    ASSERT_NE(about, nullptr);
    EXPECT_TRUE(about->IsModal());
    EXPECT_EQ(about->GetWindowText(), "  ");
    EXPECT_EQ(std::string(about->GetPaintManager().FindControl("software_ver_label")->GetText()),
              std::string("Software version ") + KORVALE_VERSION);
    // The tray's second about does nothing while one is open.
    MenuItem("about_menu");
    Click(about->GetPaintManager(), "closebtn");
  });
  EXPECT_EQ(wnd->GetChildWindow(Child::kToolA), 0u);
}

}  // namespace
}  // namespace korvale::test

namespace korvale::test {
namespace {

TEST(LanguageForLocale, TheLanguagePartPicksAListedLanguage) {
  const std::vector<LanguageEntry> list = {{"English", "", 1033, ""}, {"Deutsch", "", 1031, ""}, {"Français", "", 1036, ""}};
  const std::pair<const char*, int> cases[] = {{"de_DE.UTF-8", 1}, {"de_AT", 1}, {"fr_CA.UTF-8@euro", 2}, {"en_GB", 0},
                                               {"de", 1},          {"C", -1},    {"C.UTF-8", -1},           {"es_ES", -1},
                                               {"", -1},           {"dex_DE", -1}};
  for (const auto& [locale, index] : cases) EXPECT_EQ(LanguageIndexForLocale(locale, list), index) << locale;
  EXPECT_EQ(LanguageIndexForLocale("de_DE", {}), -1);
}

TEST_F(WindowsTest, TheFirstStartFollowsTheDesktopLocaleAndAStoredChoiceWins) {
  ::setenv("LC_ALL", "de_DE.UTF-8", 1);
  Start();
  EXPECT_EQ(wnd->GetLanguageIndex(), 1);
  EXPECT_EQ(std::string(Find("setbtn")->GetText()), "Einstellungen");
  // The choice is stored now; a French desktop does not override it.
  ::setenv("LC_ALL", "fr_FR.UTF-8", 1);
  Restart();
  EXPECT_EQ(wnd->GetLanguageIndex(), 1);
  ::unsetenv("LC_ALL");
}

}  // namespace
}  // namespace korvale::test
