// The profile bar on the keyboard page of the running main window, against
// korvale-emu: the buttons with their confirmations and messages, the file
// dialogs, and what switching profiles writes to the keyboard.
#include <set>

#include "devices/varnik_keyboard_device.h"
#include "editors/device_profile.h"
#include "editors/light_control.h"
#include "hid/hid_device.h"
#include "mainwnd/device_list.h"
#include "mainwnd_fixture.h"
#include "platform/atomic_file.h"
#include "profiles/json_file.h"
#include "profiles/settings_files.h"
#include "protocol/commands.h"
#include "tests/support/emu_process.h"
#include "tests/support/journal.h"
#include "tests/support/wait.h"
#include "ui/controls.h"
#include "ui/file_dialogs.h"
#include "ui/skin_controls.h"
#include "windows/msg_wnd.h"

namespace korvale::test {
namespace {

namespace fs = std::filesystem;
using korvale::testing::Packet;

class ProfileCommandsTest : public MainWndTest {
 protected:
  void SetUp() override {
    RegisterSkinControls(DeviceControlCreators());
    RegisterDeviceListControls();
    RegisterLightControl();
    RegisterDeviceProfileControl();
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
    keyboard = dynamic_cast<CVarnikKeyboardDevice*>(wnd->GetDeviceList()->KeyboardPages()[0]);
    ASSERT_NE(keyboard, nullptr);
    bar = dynamic_cast<CDeviceProfileUI*>(wnd->GetPaintManager().FindSubControlByName(keyboard, profileui::kItemName));
    ASSERT_NE(bar, nullptr) << "the keyboard page has no profile bar";
    combo = Control<CComboUI>(profileui::kCombo);
    ASSERT_NE(combo, nullptr);
    // The commands sit in the bar's menu, shown by its "Manage" button.
    Click("profile_fun_spread_btn");
    ASSERT_TRUE(bar->IsMenuShown());
    CMsgWnd::SetOpenedHook([this](CMsgWnd& m) { AnswerFromQueue(m); });
  }
  void TearDown() override {
    CMsgWnd::SetOpenedHook({});
    EXPECT_TRUE(answers.empty()) << "a message expected by the test never showed";
    wnd->DestroyWindow();
    emu.Kill();
  }
  template <class T>
  T* Control(const char* name) {
    return dynamic_cast<T*>(wnd->GetPaintManager().FindSubControlByName(keyboard, name));
  }
  void Click(const char* name) {
    auto* b = Control<CButtonUI>(name);
    ASSERT_NE(b, nullptr) << name;
    b->Activate();
  }
  // The next message window is answered (confirm or cancel) once it shows;
  // its text, in words, is kept.
  void Answer(bool confirm) { answers.push_back(confirm); }
  void AnswerFromQueue(CMsgWnd& m) {
    CControlUI* text = m.GetPaintManager().FindControl("MessageText");
    messages.push_back(text != nullptr ? std::string(text->GetText()) : "?");
    CControlUI* cancel = m.GetPaintManager().FindControl("cancel_btn");
    cancelShown.push_back(cancel != nullptr && cancel->IsVisible());
    if (answers.empty()) return;  // unanswered: the test's loop ends the window
    const bool confirm = answers.front();
    answers.erase(answers.begin());
    const HWND h = m.GetHWND();
    loop.Post([h, confirm] {
      if (auto* w = dynamic_cast<CMsgWnd*>(CWindowWnd::FromHandle(h)))
        if (auto* b = dynamic_cast<CButtonUI*>(w->GetPaintManager().FindControl(confirm ? "confirm_btn" : "cancel_btn")))
          b->Activate();
    });
  }
  static std::string Word(const char* id) { return CResourceManager::GetInstance().GetText(id); }
  fs::path Folder() const { return dir / "data" / "KORVALE TX730max" / "keyboard"; }
  Json::Value List() const { return ReadJsonFile(Folder() / "ProfileList.ini"); }
  std::string UuidAt(int i) const { return List()["profilelist"][i]["profileUUID"].asString(); }
  void ClearJournal() { ASSERT_EQ(emu.Command("journal-clear keyboard"), "ok journal-clear keyboard"); }
  // Commands that change the keyboard, runs of one code folded.
  std::vector<int> Writes() {
    std::vector<int> out;
    for (const Packet& p : korvale::testing::ParseJournal(emu.Listing("journal keyboard"))) {
      const bool read = p.cmd == proto::kBeginConfig || p.cmd == proto::kEndConfig || p.cmd == proto::kReadInfo ||
                        p.cmd == proto::kReadConfig || p.cmd == proto::kReadKeyTable ||
                        p.cmd == proto::kReadLedTable || p.cmd == proto::kReadStatus || p.cmd == proto::kLinkCheck;
      if (!read && (out.empty() || out.back() != p.cmd)) out.push_back(p.cmd);
    }
    return out;
  }
  std::vector<std::string> ComboItems() {
    std::vector<std::string> items;
    for (int i = 0; i < combo->GetCount(); ++i) items.push_back(std::string(combo->GetItemText(i)));
    return items;
  }

  korvale::testing::EmuProcess emu;
  CVarnikKeyboardDevice* keyboard = nullptr;
  CDeviceProfileUI* bar = nullptr;
  CComboUI* combo = nullptr;
  std::vector<bool> answers;
  std::vector<std::string> messages;
  std::vector<bool> cancelShown;
};

const std::vector<int> kSwitchWrites = {proto::kWriteConfig, proto::kWriteKeyTable, proto::kWriteFnKeyTable};

TEST_F(ProfileCommandsTest, TheKeyboardPageShowsItsProfilesAndItsTabs) {
  EXPECT_EQ(ComboItems(), std::vector<std::string>{"Profile1"});
  EXPECT_EQ(combo->GetCurSel(), 0);
  EXPECT_EQ(keyboard->GetProfileName(), UuidAt(0));
  EXPECT_EQ(std::string(Control<CControlUI>(profileui::kNameEdit)->GetText()), "Profile1");
  for (const char* hidden : {"cursor_Op_tab", "6533_voice_Op_tab", "magic_Op_tab", "Virtual7.1_Op_tab"})
    EXPECT_FALSE(Control<CControlUI>(hidden)->IsVisible()) << hidden;
  bar->SelectFeatureTab(4);
  EXPECT_TRUE(Control<COptionUI>("system_Op_tab")->IsSelected());
  EXPECT_FALSE(Control<COptionUI>("deng_Op_tab")->IsSelected());
  const int open = bar->GetFixedHeight();
  Click("profile_fun_spread_btn");
  EXPECT_FALSE(bar->IsMenuShown());
  EXPECT_EQ(bar->GetFixedHeight(), open - 34) << "the hidden menu still takes room";
  EXPECT_FALSE(Control<CButtonUI>("device_add_btn")->Activate()) << "a hidden command was clicked";
  Click("profile_fun_spread_btn");
  EXPECT_TRUE(bar->IsMenuShown());
}

TEST_F(ProfileCommandsTest, AddAsksThenSwitchesThePageAndTheKeyboardToTheNewProfile) {
  Answer(false);
  Click("device_add_btn");
  EXPECT_EQ(messages, std::vector<std::string>{Word("message_text_27")});
  EXPECT_EQ(cancelShown, std::vector<bool>{true});
  EXPECT_EQ(List()["profilelist"].size(), 1u);

  ClearJournal();
  Answer(true);
  Click("device_add_btn");
  EXPECT_EQ(ComboItems(), (std::vector<std::string>{"Profile1", "profile2"}));
  EXPECT_EQ(combo->GetCurSel(), 1);
  EXPECT_EQ(List()["profileselect"], 1);
  EXPECT_EQ(keyboard->GetProfileName(), UuidAt(1));
  EXPECT_EQ(Writes(), kSwitchWrites);
}

// Three picks within the settle time switch once, to the last; the keyboard
// gets that profile's record and key tables and nothing else.
TEST_F(ProfileCommandsTest, QuickPicksSwitchOnceAndWriteOnlyTheProfile) {
  Answer(true);
  Click("device_add_btn");
  Answer(true);
  Click("device_add_btn");
  const fs::path second = Folder() / (UuidAt(1) + ".Json");
  Json::Value doc = ReadJsonFile(second);
  doc["Device"][0]["LightInfo"]["Blue"] = 99;
  ASSERT_TRUE(TryWriteJsonFile(second, doc));

  ClearJournal();
  combo->SelectItemFromUser(0);
  loop.AdvanceBy(100);
  combo->SelectItemFromUser(2);
  loop.AdvanceBy(100);
  combo->SelectItemFromUser(1);
  loop.AdvanceBy(399);
  EXPECT_TRUE(Writes().empty()) << "switched before the picks settled";
  loop.AdvanceBy(2);
  EXPECT_EQ(keyboard->GetProfileName(), UuidAt(1));
  EXPECT_EQ(List()["profileselect"], 1);
  EXPECT_EQ(Writes(), kSwitchWrites);
  const auto packets = korvale::testing::ParseJournal(emu.Listing("journal keyboard"));
  const auto record = korvale::testing::Written(packets, proto::kWriteConfig);
  ASSERT_GE(record.size(), proto::kKeyboardRecordSize);
  EXPECT_EQ(record[proto::kKbRecBlue], 99);
}

TEST_F(ProfileCommandsTest, DeleteLeavesTheDeletedProfileForGood) {
  Answer(true);
  Click("device_add_btn");
  const std::string deleted = UuidAt(1);
  Answer(true);
  Click("device_sub_btn");
  EXPECT_EQ(ComboItems(), std::vector<std::string>{"Profile1"});
  EXPECT_EQ(keyboard->GetProfileName(), UuidAt(0));
  keyboard->SaveProfile();  // the page's next save goes to the profile it is on
  EXPECT_FALSE(fs::exists(Folder() / (deleted + ".Json")));

  Answer(true);
  Answer(true);
  Click("device_sub_btn");  // the last profile stays, and the user is told why
  EXPECT_EQ(messages.back(), Word("profile_error_last"));
  EXPECT_EQ(cancelShown.back(), false);
  EXPECT_EQ(List()["profilelist"].size(), 1u);
}

TEST_F(ProfileCommandsTest, RenameCopyAndTheirRefusalsAreShownByTextId) {
  Answer(true);
  Click("device_copy_btn");
  EXPECT_EQ(ComboItems(), (std::vector<std::string>{"Profile1", "Profile1 copy"}));
  auto* edit = Control<CControlUI>(profileui::kNameEdit);
  edit->SetText("PROFILE1 COPY");
  Answer(true);
  Click("device_profile_edit_save_btn");
  EXPECT_EQ(messages.back(), Word("message_text_5"));
  edit->SetText("   ");
  Answer(true);
  Click("device_profile_edit_save_btn");
  EXPECT_EQ(messages.back(), Word("message_text_25"));
  edit->SetText("Game");
  Click("device_profile_edit_save_btn");
  EXPECT_EQ(ComboItems(), (std::vector<std::string>{"Game", "Profile1 copy"}));
  EXPECT_EQ(ReadJsonFile(Folder() / (UuidAt(0) + ".Json"))["profilename"], "Game");
}

// Reset asks first; confirmed, the keyboard's profile starts over and is
// written, while the files every device shares stay as the user left them.
TEST_F(ProfileCommandsTest, ResetStartsThisDeviceOverAndLeavesSharedFilesAlone) {
  ASSERT_TRUE(WriteFileAtomic(PaletteFilePath(), "{\"mine\": 1}\n"));
  const fs::path audio = AppDataFolder() / "AudioFile.json";
  ASSERT_TRUE(WriteFileAtomic(audio, "{\"Device\": {\"mine\": 1}}\n"));
  // Another device's file (its folder exists once it has been plugged in).
  const fs::path mouseFile = dir / "data" / "KORVALE TX730max" / "mouse" / "ProfileList.ini";
  fs::create_directories(mouseFile.parent_path());
  ASSERT_TRUE(WriteFileAtomic(mouseFile, "{\"mine\": 1}\n"));
  const fs::path profile = Folder() / (UuidAt(0) + ".Json");
  Json::Value doc = ReadJsonFile(profile);
  doc["Device"][0]["mine"] = 1;
  ASSERT_TRUE(TryWriteJsonFile(profile, doc));

  Answer(false);
  Click("device_reset_btn");
  EXPECT_EQ(messages, std::vector<std::string>{Word("message_text_22")});
  EXPECT_EQ(ReadJsonFile(profile)["Device"][0]["mine"], 1);

  ClearJournal();
  Answer(true);
  Click("device_reset_btn");
  EXPECT_FALSE(ReadJsonFile(profile)["Device"][0].isMember("mine"));
  EXPECT_EQ(ComboItems(), std::vector<std::string>{"Profile1"});
  EXPECT_FALSE(Writes().empty());
  EXPECT_EQ(Writes().front(), proto::kWriteConfig);
  EXPECT_EQ(ReadJsonFile(PaletteFilePath())["mine"], 1);
  EXPECT_EQ(ReadJsonFile(audio)["Device"]["mine"], 1);
  EXPECT_EQ(ReadJsonFile(mouseFile)["mine"], 1);
}

TEST_F(ProfileCommandsTest, ImportAndExportGoThroughTheFileDialogs) {
  CScriptedFileDialogs dialogs;
  const fs::path out = dir / "mine.json";
  dialogs.Answer(out);
  Click("device_export_btn");
  ASSERT_EQ(dialogs.Requests().size(), 1u);
  EXPECT_TRUE(dialogs.Requests()[0].save);
  EXPECT_EQ(dialogs.Requests()[0].owner, wnd->GetHWND());
  ASSERT_EQ(dialogs.Requests()[0].filters.size(), 1u);
  EXPECT_EQ(dialogs.Requests()[0].filters[0].suffix, "json");
  EXPECT_EQ(ReadJsonFile(out)["profileUUID"].asString(), UuidAt(0));

  dialogs.Answer(out);
  Click("device_import_btn");
  EXPECT_FALSE(dialogs.Requests()[1].save);
  EXPECT_EQ(ComboItems(), (std::vector<std::string>{"Profile1", "mine"}));

  ASSERT_TRUE(WriteFileAtomic(dir / "array.json", "[{\"Device\": [{}]}]\n"));
  dialogs.Answer(dir / "array.json");
  Answer(true);
  Click("device_import_btn");
  EXPECT_EQ(messages.back(), Word("profile_error_not_profile"));
  dialogs.Answer(std::nullopt);  // cancelled: nothing at all
  Click("device_import_btn");
  EXPECT_EQ(ComboItems().size(), 2u);
}

}  // namespace
}  // namespace korvale::test
