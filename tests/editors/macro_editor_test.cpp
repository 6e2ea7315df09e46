// The macro and shoot editors built from their real skins over a temporary
// device folder: list operations and their files, action rows, saving,
// mouse insertions, checked imports and exports, and bullets.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

#include "editors/macro_control.h"
#include "editors/shoot_control.h"
#include "platform/atomic_file.h"
#include "platform/ui_loop.h"
#include "profiles/json_file.h"
#include "profiles/macro_files.h"
#include "ui/controls.h"
#include "ui/dialog_builder.h"
#include "ui/paint_manager.h"
#include "ui/resource_manager.h"

namespace korvale {
namespace {

namespace fs = std::filesystem;
const std::string kSkinDir = std::string(KORVALE_SOURCE_DIR) + "/skin/XML/CustomControlXML/";

std::string Text(const fs::path& p) { return ReadFileBytes(p).value_or("<missing>"); }

class EditorTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetUiLoop(&loop_);
    RegisterMacroControl();
    RegisterShootControl();
    std::string t = (fs::temp_directory_path() / "korvale-med-XXXXXX").string();
    ASSERT_NE(::mkdtemp(t.data()), nullptr);
    dir_ = t;
  }
  void TearDown() override {
    pm_.AttachDialog(nullptr);
    SetUiLoop(nullptr);
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  CMacroControlUI& Macros(const std::vector<MacroInfoEntry>& index = {}) {
    if (!index.empty()) {
      EXPECT_TRUE(WriteMacroIndex(dir_, index));
    }
    CDialogBuilder builder;
    macros_ = dynamic_cast<CMacroControlUI*>(builder.Create(kSkinDir + "MacroControl.xml", nullptr, &pm_));
    EXPECT_NE(macros_, nullptr);
    pm_.AttachDialog(macros_);
    macros_->SetMacroFolder(dir_);
    macros_->LoadMacroList();
    return *macros_;
  }
  CListUI* List(const char* name) { return dynamic_cast<CListUI*>(macros_->FindSubControl(name)); }
  CControlUI* RowChild(int row, int child) {
    auto* r = dynamic_cast<CContainerUI*>(List(macroui::kActionList)->GetItemAt(row));
    return r == nullptr ? nullptr : r->GetItemAt(child);
  }
  void Select(int i) {
    List(macroui::kNameList)->SelectItem(i, false, false);
    macros_->ShowSelectedMacro();
  }
  void SaveMacroFile(const std::string& guid, const std::string& text) { std::ofstream(dir_ / (guid + ".mac")) << text; }

  VirtualUiLoop loop_;
  CPaintManagerUI pm_;
  fs::path dir_;
  CMacroControlUI* macros_ = nullptr;
};

TEST_F(EditorTest, AddingTakesTheFirstFreeNameAndAFullListChangesNothing) {
  CMacroControlUI& m = Macros({{"macro_1", "1"}, {"macro_3", "3"}});
  EXPECT_EQ(m.AddMacro(), "macro_2");
  EXPECT_EQ(m.AddMacro(), "macro_4");
  EXPECT_EQ(m.GetSelectedMacro(), 3);
  const auto index = ReadMacroIndex(dir_);
  ASSERT_EQ(index.size(), 4u);
  EXPECT_EQ(index[2].name, "macro_2");
  EXPECT_NE(index[2].guid, index[3].guid);  // two in one millisecond differ
  EXPECT_FALSE(fs::exists(dir_ / (index[2].guid + ".mac")));  // no file before the first save

  std::vector<MacroInfoEntry> full;
  for (int i = 0; i < 50; ++i) full.push_back({"m" + std::to_string(i), std::to_string(i)});
  pm_.AttachDialog(nullptr);
  CMacroControlUI& f = Macros(full);
  const std::string before = Text(dir_ / "macro.config");
  EXPECT_EQ(f.AddMacro(), "");
  const fs::path jump = dir_ / "Jump.mac";
  std::ofstream(jump) << R"({"Events": []})";
  EXPECT_EQ(f.ImportMacro(jump), "");
  EXPECT_EQ(Text(dir_ / "macro.config"), before);
}

TEST_F(EditorTest, RowsShowTheEventsAndSavingKeepsEveryRowWithTextDelays) {
  CMacroControlUI& m = Macros({{"jump", "7"}});
  SaveMacroFile("7", R"({"Events": [
      {"Action": "down", "Button": 4, "Type": 10, "Delay": 30},
      {"Action": "up", "Button": 2, "Type": 9, "Delay": "70000"},
      {"Action": "down", "Button": 44, "Type": 5, "Delay": "5"},
      {"Action": "down", "Button": 250, "Type": 10, "Delay": "1"}]})");
  Select(0);
  // A delay out of range makes the file unreadable: the editor says so and shows nothing.
  EXPECT_EQ(m.GetActionCount(), 0);
  EXPECT_NE(m.LastError().find("event 2"), std::string::npos) << m.LastError();
  SaveMacroFile("7", R"({"Events": [
      {"Action": "down", "Button": 4, "Type": 10, "Delay": 30},
      {"Action": "up", "Button": 2, "Type": 9, "Delay": "65535"},
      {"Action": "down", "Button": 44, "Type": 5, "Delay": "5"},
      {"Action": "down", "Button": 250, "Type": 10, "Delay": "1"}]})");
  Select(0);
  ASSERT_EQ(m.GetActionCount(), 4);
  EXPECT_EQ(RowChild(0, 0)->GetRawText(), "keyboard_key_A");
  EXPECT_EQ(RowChild(0, 0)->GetAttribute("style"), macroui::kKeyboardStyle);
  EXPECT_EQ(RowChild(0, 1)->GetAttribute("style"), macroui::kDownStyle);
  EXPECT_EQ(RowChild(1, 0)->GetRawText(), "keyboard_key_LShift");
  EXPECT_EQ(RowChild(1, 1)->GetAttribute("style"), macroui::kUpStyle);
  EXPECT_EQ(RowChild(2, 0)->GetRawText(), "mouse_move_to_up_text");
  EXPECT_EQ(RowChild(2, 1)->GetText(), "44");
  EXPECT_EQ(RowChild(3, 0)->GetRawText(), "");  // a usage the key table lacks: no label, data kept
  EXPECT_EQ(RowChild(1, 2)->GetText(), "65535");
  EXPECT_EQ(dynamic_cast<CControlUI*>(macros_->FindSubControl(macroui::kNameEdit))->GetText(), "jump");

  // Typed delays reach the file; a row that lost its data does not take the rows after it along.
  RowChild(0, 2)->SetText("");
  RowChild(3, 2)->SetText("123");
  List(macroui::kActionList)->GetItemAt(1)->SetUserData("");
  m.SaveSelectedMacro();
  const Json::Value doc = ReadJsonFile(dir_ / "7.mac");
  ASSERT_EQ(doc["Events"].size(), 3u);
  EXPECT_EQ(doc["Events"][0]["Delay"], "0");
  EXPECT_EQ(doc["Events"][2]["Delay"], "123");
  EXPECT_EQ(doc["Events"][2]["Button"], 250);
  EXPECT_EQ(doc["Version"], 64);
  EXPECT_EQ(doc["MacroName"], "jump");
}

TEST_F(EditorTest, ALongMacroShowsAWindowOfRowsAndEveryActionCanBeReached) {
  CResourceManager::GetInstance().AddText("macro_rows_shown_text", "%d-%d of %d");
  CMacroControlUI& m = Macros({{"long", "5"}});
  std::vector<MacroEvent> events;
  for (int i = 0; i < 4000; ++i) events.push_back({static_cast<uint16_t>(i), 10, i % 2 == 0, 4});
  ASSERT_TRUE(TryWriteJsonFile(dir_ / "5.mac", MacroDocument("long", "5", events)));
  Select(0);
  auto shown = [&] { return std::string(macros_->FindSubControl(macroui::kHiddenRows)->GetText()); };
  auto rowDelay = [&](int row) { return std::string(RowChild(row, 2)->GetText()); };
  EXPECT_EQ(m.GetRowCount(), macroui::kShownRows);
  EXPECT_EQ(m.GetActionCount(), 4000);
  EXPECT_EQ(shown(), "1-200 of 4000");
  EXPECT_FALSE(macros_->FindSubControl(macroui::kPrevRows)->IsEnabled());
  EXPECT_TRUE(macros_->FindSubControl(macroui::kNextRows)->IsEnabled());

  // A delay typed on one window travels to the file from another.
  RowChild(5, 2)->SetText("777");
  m.ShowNextRows();
  EXPECT_EQ(shown(), "201-400 of 4000");
  EXPECT_EQ(rowDelay(0), "200");
  // Up from the window's first row crosses into the actions before it, and
  // the window follows the moved action.
  List(macroui::kActionList)->SelectItem(0, false, false);
  m.MoveActionUp();
  EXPECT_EQ(m.GetFirstRowAction(), 0);
  EXPECT_EQ(List(macroui::kActionList)->GetCurSel(), 199);
  EXPECT_EQ(rowDelay(199), "200");
  EXPECT_EQ(rowDelay(5), "777");
  // To the bottom of the whole macro: the last window shows it selected.
  m.MoveActionToBottom();
  EXPECT_EQ(m.GetFirstRowAction(), 3800);
  EXPECT_EQ(List(macroui::kActionList)->GetCurSel(), 199);
  EXPECT_EQ(rowDelay(199), "200");
  EXPECT_EQ(shown(), "3801-4000 of 4000");
  EXPECT_FALSE(macros_->FindSubControl(macroui::kNextRows)->IsEnabled());
  m.MoveActionToTop();
  EXPECT_EQ(m.GetFirstRowAction(), 0);
  EXPECT_EQ(rowDelay(0), "200");

  // Full: nothing more is inserted, and the reason is given.
  m.InsertMouseAction(kMsgLeftDown, 0);
  EXPECT_EQ(m.GetActionCount(), 4000);
  EXPECT_FALSE(m.LastError().empty());
  m.ShowRowsFrom(1000);
  List(macroui::kActionList)->SelectItem(0, false, false);
  m.DeleteAction();
  m.SaveSelectedMacro();
  const auto saved = ReadMacroEvents(dir_ / "5.mac").events;
  ASSERT_EQ(saved.size(), 3999u);
  EXPECT_EQ(saved[0].delay, 200);
  EXPECT_EQ(saved[6].delay, 777);  // action 5 before the move of action 200 to the top
  EXPECT_EQ(saved[999].delay, 999);
  EXPECT_EQ(saved[1000].delay, 1001);  // action 1000 went with the window's first row
  EXPECT_EQ(saved.back().delay, 3999);
  m.InsertMouseAction(kMsgLeftDown, 0);
  EXPECT_EQ(m.GetActionCount(), 4000);
  EXPECT_TRUE(m.LastError().empty());
  m.DeleteAllActions();
  EXPECT_EQ(m.GetActionCount(), 0);
  EXPECT_EQ(shown(), "");
  EXPECT_FALSE(macros_->FindSubControl(macroui::kNextRows)->IsVisible());
}

TEST_F(EditorTest, ReorderingRebuildsRowsFromTheirData) {
  CMacroControlUI& m = Macros({{"m", "1"}});
  SaveMacroFile("1", R"({"Events": [{"Type": 1, "Button": 1, "Action": "down", "Delay": "1"},
      {"Type": 1, "Button": 2, "Action": "down", "Delay": "2"}, {"Type": 1, "Button": 4, "Action": "down", "Delay": "3"}]})");
  Select(0);
  auto buttons = [&] {
    std::vector<int> b;
    for (const MacroEvent& e : m.GetRowEvents()) b.push_back(e.button);
    return b;
  };
  CListUI* rows = List(macroui::kActionList);
  rows->SelectItem(0, false, false);
  m.MoveActionUp();
  EXPECT_EQ(buttons(), (std::vector<int>{1, 2, 4}));
  rows->SelectItem(2, false, false);
  m.MoveActionDown();
  EXPECT_EQ(buttons(), (std::vector<int>{1, 2, 4}));
  RowChild(2, 2)->SetText("999");  // typed, not saved: the move brings back the stored delay
  m.MoveActionToTop();
  EXPECT_EQ(buttons(), (std::vector<int>{4, 1, 2}));
  EXPECT_EQ(rows->GetCurSel(), 0);
  EXPECT_EQ(RowChild(0, 2)->GetText(), "3");
  m.MoveActionToBottom();
  EXPECT_EQ(buttons(), (std::vector<int>{1, 2, 4}));
  m.MoveActionUp();
  EXPECT_EQ(buttons(), (std::vector<int>{1, 4, 2}));
  m.DeleteAction();
  EXPECT_EQ(buttons(), (std::vector<int>{1, 2}));
  EXPECT_EQ(rows->GetCurSel(), -1);
  m.DeleteAllActions();
  EXPECT_EQ(m.GetActionCount(), 0);
}

TEST_F(EditorTest, InsertedMouseActionsFollowTheTableAndDistancesNeverWrap) {
  CMacroControlUI& m = Macros({{"m", "1"}});
  Select(0);
  m.InsertMouseAction(kMsgLeftDown, 0);
  m.InsertMouseAction(kMsgXUp, 1);
  macros_->FindSubControl("mouse_y_up_edit")->SetText("300");
  m.InsertMouseAction(kMsgMouseMove, 2);
  List(macroui::kActionList)->SelectItem(0, false, false);
  m.InsertMouseAction(kMsgRightUp, 0);  // after the selected row
  const auto events = m.GetRowEvents();
  ASSERT_EQ(events.size(), 4u);
  EXPECT_EQ(events[0], (MacroEvent{50, 1, true, 1}));
  EXPECT_EQ(events[1], (MacroEvent{50, 1, false, 2}));
  EXPECT_EQ(events[2], (MacroEvent{50, 1, false, 8}));
  EXPECT_EQ(events[3], (MacroEvent{50, 5, true, 255}));  // 300 typed: 255, not 44
  EXPECT_EQ(RowChild(3, 0)->GetRawText(), "mouse_move_to_up_text");
  EXPECT_EQ(RowChild(2, 0)->GetRawText(), "mouse_key_back");
  m.SaveSelectedMacro();
  EXPECT_EQ(ReadMacroEvents(dir_ / "1.mac").events, events);
}

TEST_F(EditorTest, RenameAndDelete) {
  CMacroControlUI& m = Macros({{"macro_1", "1"}, {"two", "2"}, {"three", "3"}, {"four", "4"}});
  SaveMacroFile("2", R"({"Events": []})");
  Select(0);
  CControlUI* name = macros_->FindSubControl(macroui::kNameEdit);
  name->SetText("  ");
  EXPECT_EQ(m.RenameMacro(), (std::pair<std::string, int>{"IsEmpty", -1}));
  name->SetText("Macro_1");
  EXPECT_EQ(m.RenameMacro(), (std::pair<std::string, int>{"", 0}));
  name->SetText("first");
  EXPECT_EQ(m.RenameMacro(), (std::pair<std::string, int>{"first", 0}));
  EXPECT_EQ(ReadMacroIndex(dir_)[0].name, "first");

  Select(1);
  EXPECT_EQ(m.DeleteMacro(), 1);
  const auto index = ReadMacroIndex(dir_);
  ASSERT_EQ(index.size(), 3u);
  EXPECT_EQ(index[1].name, "three");
  EXPECT_FALSE(fs::exists(dir_ / "2.mac"));
  EXPECT_EQ(m.GetSelectedMacro(), 0);
  EXPECT_EQ(m.GetMacroNames(), (std::vector<std::string>{"first", "three", "four"}));
}

TEST_F(EditorTest, ImportIsCheckedAndExportNeverEmptiesAFile) {
  CMacroControlUI& m = Macros();
  const fs::path bad = dir_ / "bad.mac";
  std::ofstream(bad) << "[1, 2]";
  EXPECT_EQ(m.ImportMacro(bad), "");
  EXPECT_NE(m.LastError().find("not a JSON object"), std::string::npos);
  EXPECT_FALSE(fs::exists(dir_ / "macro.config"));
  const fs::path jump = dir_ / "Jump.mac";
  std::ofstream(jump) << R"({"Events": [{"Type": 4, "Button": 7, "Action": "down", "Delay": 3}]})";
  EXPECT_EQ(m.ImportMacro(jump), "Jump");
  EXPECT_EQ(m.ImportMacro(jump), "Jump_1");
  EXPECT_EQ(m.GetActionCount(), 1);  // the import is shown
  const fs::path out = dir_ / "out.mac";
  std::ofstream(out) << "keep";
  EXPECT_EQ(m.AddMacro(), "macro_1");
  EXPECT_FALSE(m.ExportMacro(out));  // never saved
  EXPECT_EQ(Text(out), "keep");
  Select(0);
  EXPECT_TRUE(m.ExportMacro(out));
  EXPECT_EQ(ReadMacroEvents(out).events, (std::vector<MacroEvent>{{3, 4, true, 7}}));
}

class ShootTest : public EditorTest {
 protected:
  CShootControlUI& Shoot() {
    CDialogBuilder builder;
    shoot_ = dynamic_cast<CShootControlUI*>(builder.Create(kSkinDir + "ShootControl.xml", nullptr, &pm_));
    EXPECT_NE(shoot_, nullptr);
    pm_.AttachDialog(shoot_);
    fs::create_directories(dir_ / "user");
    shoot_->SetShootFolder(dir_ / "user");
    shoot_->SetShootDefaultFolder(fs::path(KORVALE_SOURCE_DIR) / "data/DefaultData");
    shoot_->InitShootEditor();
    shoot_->SelectGun(0);
    shoot_->SelectBullet(0);
    return *shoot_;
  }
  CControlUI* C(const char* name) { return shoot_->FindSubControl(name); }
  COptionUI* O(const char* name) { return dynamic_cast<COptionUI*>(C(name)); }
  CShootControlUI* shoot_ = nullptr;
};

TEST_F(ShootTest, SavingABulletWritesItsSixEventsAndNothingElse) {
  CShootControlUI& s = Shoot();
  const Json::Value before = ReadJsonFile(s.GunFile(0));
  ASSERT_EQ(before["Events"].size(), 180u);
  s.SelectBullet(3);
  C(shootui::kXEdit)->SetText("12");
  C(shootui::kYEdit)->SetText("30");
  C(shootui::kDelayEdit)->SetText("95");
  O(shootui::kXCheck)->Selected(true, false);
  O(shootui::kYCheck)->Selected(false, false);
  s.SaveBullet();
  const Json::Value after = ReadJsonFile(s.GunFile(0));
  const char* want[6][4] = {{"down", "1", "10", "1"}, {"up", "1", "0", "1"}, {"down", "12", "5", "4"},
                            {"up", "30", "95", "5"},  {"down", "0", "0", "4"}, {"up", "0", "0", "5"}};
  for (int k = 0; k < 6; ++k) {
    const Json::Value& e = after["Events"][18 + k];
    EXPECT_EQ(e["Action"].asString(), want[k][0]) << k;
    EXPECT_EQ(std::to_string(e["Button"].asInt()), want[k][1]) << k;
    EXPECT_TRUE(e["Delay"].isIntegral()) << k;
    EXPECT_EQ(std::to_string(e["Delay"].asInt()), want[k][2]) << k;
    EXPECT_EQ(std::to_string(e["Type"].asInt()), want[k][3]) << k;
  }
  for (Json::ArrayIndex i = 0; i < 180; ++i)
    if (i < 18 || i > 23) {
      EXPECT_EQ(after["Events"][i], before["Events"][i]) << i;
    }
  // Out of range where typed: stored clamped and shown as stored.
  C(shootui::kYEdit)->SetText("300");
  C(shootui::kDelayEdit)->SetText("99999");
  s.SaveBullet();
  EXPECT_EQ(s.ReadBullet(0, 3).y, 255);
  EXPECT_EQ(s.ReadBullet(0, 3).delay, 65535);
  EXPECT_EQ(C(shootui::kYEdit)->GetText(), "255");
  EXPECT_TRUE(ReadMacroEvents(s.GunFile(0)).ok());
}

TEST_F(ShootTest, SelectionsClampAndGunsKeepTheBullet) {
  CShootControlUI& s = Shoot();
  s.SelectBullet(-1);
  EXPECT_EQ(C(shootui::kBulletLabel)->GetText(), "1");
  s.SelectBullet(30);
  EXPECT_EQ(C(shootui::kBulletLabel)->GetText(), "30");
  EXPECT_TRUE(O("bullet_op_29")->IsSelected());
  s.SelectGun(2);
  s.ShowBullet();
  EXPECT_EQ(s.GetSelectedBullet(), 29);
  const Bullet b = s.ReadBullet(2, 29);
  EXPECT_EQ(C(shootui::kYEdit)->GetText(), std::to_string(b.y));
  // Toggling a direction changes only its text until a box loses the focus.
  const std::string file = Text(s.GunFile(2));
  O(shootui::kYCheck)->Selected(!O(shootui::kYCheck)->IsSelected(), false);
  s.UpdateYDirectionText();
  EXPECT_EQ(O(shootui::kYCheck)->GetRawText(), b.up ? "mouse_move_to_down_text" : "mouse_move_to_up_text");
  EXPECT_EQ(Text(s.GunFile(2)), file);
}

TEST_F(ShootTest, ResetImportAndExportNeverLoseTheGunsFile) {
  CShootControlUI& s = Shoot();
  s.SelectGun(1);
  s.SelectBullet(0);
  C(shootui::kXEdit)->SetText("77");
  s.SaveBullet();
  ASSERT_TRUE(s.ResetGun(1));
  EXPECT_EQ(Text(s.GunFile(1)), Text(fs::path(KORVALE_SOURCE_DIR) / "data/DefaultData/ShootData_1.Shoot"));
  EXPECT_NE(C(shootui::kXEdit)->GetText(), "77");

  C(shootui::kXEdit)->SetText("77");
  s.SaveBullet();
  const std::string mine = Text(s.GunFile(1));
  s.SetShootDefaultFolder(dir_ / "nowhere");
  EXPECT_FALSE(s.ResetGun(1));
  EXPECT_NE(s.LastError().find("missing"), std::string::npos);
  EXPECT_EQ(Text(s.GunFile(1)), mine);

  const fs::path bad = dir_ / "bad.shoot";
  std::ofstream(bad) << R"({"Events": [{"Type": 4, "Button": 300}]})";
  EXPECT_FALSE(s.ImportShootFile(bad));
  EXPECT_EQ(Text(s.GunFile(1)), mine);
  EXPECT_FALSE(s.ExportShootFile(s.GunFile(1)));  // onto itself
  EXPECT_EQ(Text(s.GunFile(1)), mine);
  const fs::path out = dir_ / "out.shoot";
  ASSERT_TRUE(s.ExportShootFile(out));
  EXPECT_EQ(Text(out), mine);
  s.SelectGun(3);
  ASSERT_TRUE(s.ImportShootFile(out));
  EXPECT_EQ(Text(s.GunFile(3)), mine);
}

}  // namespace
}  // namespace korvale
