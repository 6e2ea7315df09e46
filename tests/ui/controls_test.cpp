#include "ui_fixture.h"

#include <utility>

namespace korvale::test {
namespace {

template <typename T>
T* Make(CContainerUI* parent, std::string_view name) {
  auto* c = new T;
  c->SetName(name);
  parent->Add(c);
  return c;
}

class ControlsTest : public UiTest {
 protected:
  ControlsTest() {
    root = new CVerticalLayoutUI;
    root->SetName("root");
    pm.AttachDialog(root);
    pm.AddNotifier(&rec);
  }
  CPaintManagerUI pm;
  CVerticalLayoutUI* root;
  Recorder rec;
};

TEST_F(ControlsTest, FindsByNameIgnoringCaseAndOnlyBelowTheGivenParent) {
  auto* page = Make<CHorizontalLayoutUI>(root, "Page_One");
  auto* key = Make<CButtonUI>(page, "Key_12");
  auto* other = Make<CHorizontalLayoutUI>(root, "page_two");
  auto* otherKey = Make<CButtonUI>(other, "key_13");

  EXPECT_EQ(pm.FindControl("KEY_12"), key);
  EXPECT_EQ(pm.FindControl("page_one"), page);
  EXPECT_EQ(pm.FindControl("missing"), nullptr);
  EXPECT_EQ(pm.FindControl(""), nullptr);
  EXPECT_EQ(pm.FindSubControlByName(page, "key_12"), key);
  EXPECT_EQ(pm.FindSubControlByName(page, "key_13"), nullptr);
  EXPECT_EQ(pm.FindSubControlByName(other, "KEY_13"), otherKey);
  EXPECT_EQ(pm.FindSubControlByName(page, "page_one"), nullptr) << "the parent itself is not below itself";
  EXPECT_EQ(pm.FindSubControlByName(key, "key_12"), nullptr) << "a plain control has nothing below it";

  // A removed (destroyed) control is no longer found.
  EXPECT_TRUE(page->Remove(key));
  EXPECT_EQ(pm.FindControl("key_12"), nullptr);
}

TEST(IndexedNames, OnlyThePrefixFollowedByDigitsGivesANumber) {
  struct Case {
    const char* name;
    const char* prefix;
    bool exact;
    std::optional<int> index;
  } cases[] = {
      {"key_12", "key_", false, 12},      {"KEY_07", "key_", false, 7},   {"KEY_07", "key_", true, std::nullopt},
      {"key_", "key_", false, std::nullopt}, {"key_1_2", "key_", false, std::nullopt},
      {"key_-1", "key_", false, std::nullopt}, {"key_+1", "key_", false, std::nullopt},
      {"key_1x", "key_", false, std::nullopt}, {"light_3", "key_", false, std::nullopt},
      {"key_99999999999", "key_", false, std::nullopt},  // past int: no number
  };
  for (const auto& c : cases) EXPECT_EQ(IndexAfterPrefix(c.name, c.prefix, c.exact), c.index) << c.name;
}

TEST_F(ControlsTest, OptionGroupsAreExclusivePerWindow) {
  auto* a = Make<COptionUI>(root, "a");
  auto* b = Make<COptionUI>(root, "b");
  auto* loose = Make<COptionUI>(root, "loose");
  a->SetGroup("mode");
  b->SetGroup("mode");
  // Same group name in another window is another group.
  CPaintManagerUI otherPm;
  auto* otherRoot = new CVerticalLayoutUI;
  otherPm.AttachDialog(otherRoot);
  auto* foreign = Make<COptionUI>(otherRoot, "foreign");
  foreign->SetGroup("mode");
  foreign->Selected(true);

  a->Selected(true);
  EXPECT_TRUE(a->IsSelected());
  b->Activate();
  EXPECT_TRUE(b->IsSelected());
  EXPECT_FALSE(a->IsSelected());
  EXPECT_TRUE(foreign->IsSelected());
  // Only the option that became selected reports, after its click.
  EXPECT_EQ(rec.seen, (std::vector<std::string>{"selectchanged:a", "click:b", "selectchanged:b"}));

  // A grouped option stays selected when clicked again; an ungrouped one toggles.
  rec.Clear();
  b->Activate();
  EXPECT_TRUE(b->IsSelected());
  loose->Activate();
  loose->Activate();
  EXPECT_FALSE(loose->IsSelected());
  EXPECT_EQ(rec.seen, (std::vector<std::string>{"click:b", "click:loose", "selectchanged:loose", "click:loose",
                                                "selectchanged:loose"}));

  // Without notification, and a destroyed member leaves the group.
  rec.Clear();
  a->Selected(true, false);
  EXPECT_FALSE(b->IsSelected());
  EXPECT_TRUE(rec.seen.empty());
  root->Remove(a);
  EXPECT_EQ(pm.GetOptionGroup("MODE"), std::vector<COptionUI*>{b});
}

// Pages of one window that scope their groups keep their own choices under
// the same group name; within a page, and outside any page, a group is one.
TEST_F(ControlsTest, OptionGroupsAreExclusivePerScopingPage) {
  struct Page : CHorizontalLayoutUI {
    bool ScopesOptionGroups() const override { return true; }
  };
  auto* one = new Page;
  auto* two = new Page;
  root->Add(one);
  root->Add(two);
  auto* oneA = Make<COptionUI>(one, "oneA");
  auto* oneB = Make<COptionUI>(Make<CVerticalLayoutUI>(one, "inner"), "oneB");  // deeper in the same page
  auto* twoA = Make<COptionUI>(two, "twoA");
  auto* outside = Make<COptionUI>(root, "outside");
  for (COptionUI* o : {oneA, oneB, twoA, outside}) o->SetGroup("tab");

  oneA->Selected(true);
  twoA->Selected(true);
  outside->Selected(true);
  EXPECT_TRUE(oneA->IsSelected());
  EXPECT_TRUE(twoA->IsSelected());
  EXPECT_TRUE(outside->IsSelected());
  oneB->Selected(true);
  EXPECT_FALSE(oneA->IsSelected());
  EXPECT_TRUE(twoA->IsSelected());
  EXPECT_TRUE(outside->IsSelected());
}

TEST_F(ControlsTest, TabLayoutShowsOnlyTheSelectedPage) {
  auto* tabs = Make<CTabLayoutUI>(root, "tabs");
  auto* p0 = Make<CVerticalLayoutUI>(tabs, "p0");
  auto* p1 = Make<CVerticalLayoutUI>(tabs, "p1");
  auto* p2 = Make<CVerticalLayoutUI>(tabs, "p2");
  EXPECT_EQ(tabs->GetCurSel(), 0);
  EXPECT_TRUE(p0->IsVisible());
  EXPECT_FALSE(p1->IsVisible());

  EXPECT_TRUE(tabs->SelectItem(2));
  EXPECT_FALSE(p0->IsVisible());
  EXPECT_TRUE(p2->IsVisible());
  EXPECT_EQ(rec.seen, std::vector<std::string>{"tabselect:tabs"});
  EXPECT_EQ(rec.msgs[0].wParam, 2u);
  EXPECT_EQ(rec.msgs[0].lParam, 0);

  EXPECT_FALSE(tabs->SelectItem(3));
  EXPECT_FALSE(tabs->SelectItem(-1));
  EXPECT_EQ(tabs->GetCurSel(), 2);
  EXPECT_TRUE(tabs->SelectItem(p1, false));
  EXPECT_EQ(rec.seen.size(), 1u);
  // Removing the shown page shows a neighbour, never nothing.
  tabs->Remove(p1);
  EXPECT_GE(tabs->GetCurSel(), 0);
  EXPECT_TRUE(tabs->GetItemAt(tabs->GetCurSel())->IsVisible());
}

TEST_F(ControlsTest, ComboSelectsWithAndWithoutNotification) {
  auto* combo = Make<CComboUI>(root, "light_combo_modeSelect");
  combo->AddString("Static");
  combo->AddString("Wave", "2");
  combo->AddString("Breathing");
  EXPECT_EQ(combo->GetCurSel(), -1);

  EXPECT_TRUE(combo->SelectItem(1));
  EXPECT_EQ(combo->GetText(), "Wave");
  ASSERT_EQ(rec.seen, std::vector<std::string>{"itemselect:light_combo_modeSelect"});
  EXPECT_EQ(rec.msgs[0].wParam, 1u);
  EXPECT_EQ(rec.msgs[0].lParam, -1);

  rec.Clear();
  EXPECT_TRUE(combo->SelectItem(2, false, false));
  EXPECT_EQ(combo->GetCurSel(), 2);
  EXPECT_TRUE(rec.seen.empty());
  EXPECT_TRUE(combo->SelectItem(2));
  EXPECT_TRUE(rec.seen.empty()) << "no change, no notification";

  EXPECT_FALSE(combo->SelectItem(3));
  EXPECT_FALSE(combo->SelectItem(-2));
  EXPECT_EQ(combo->GetCurSel(), 2);

  // Items removed before the selection move it along.
  combo->RemoveAt(0);
  EXPECT_EQ(combo->GetCurSel(), 1);
  EXPECT_EQ(combo->GetText(), "Breathing");
  combo->RemoveAt(1);
  EXPECT_EQ(combo->GetCurSel(), -1);

  combo->SetEnabled(false);
  EXPECT_FALSE(combo->SelectItemFromUser(0));
}

TEST_F(ControlsTest, EditLimits) {
  auto* edit = Make<CEditUI>(root, "dpi_edit");
  edit->SetNumberOnly(true);
  edit->SetMaxChar(5);
  edit->SetMinValue(50);
  edit->SetMaxValue(16000);

  struct Case {
    const char* typed;
    const char* shown;
    const char* committed;
  };
  const Case cases[] = {
      {"800", "800", "800"},       {"12a3", "123", "123"},     {"1234567", "12345", "12345"},   {"99999", "99999", "16000"},
      {"20", "20", "50"},          {"-5", "5", "50"},          {"", "", "50"},
      {"16000", "16000", "16000"},
  };
  for (const Case& c : cases) {
    edit->SetText("1");
    edit->SetTextFromUser(c.typed);
    EXPECT_EQ(edit->GetText(), c.shown) << c.typed;
    edit->ReturnFromUser();
    EXPECT_EQ(edit->GetText(), c.committed) << c.typed;
  }

  rec.Clear();
  edit->SetText("100");
  EXPECT_TRUE(edit->SetTextFromUser("7"));
  EXPECT_FALSE(edit->SetTextFromUser("7x")) << "a refused key changes nothing";
  EXPECT_EQ(edit->GetText(), "7");
  edit->SetFocus();
  pm.SetFocus(nullptr);  // focus loss commits the range
  EXPECT_EQ(edit->GetText(), "50");
  EXPECT_EQ(rec.seen, (std::vector<std::string>{"textchanged:dpi_edit", "setfocus:dpi_edit", "killfocus:dpi_edit"}));

  // Maximum length counts characters, not bytes; programmatic text is cut too.
  auto* name = Make<CEditUI>(root, "name_edit");
  name->SetMaxChar(3);
  name->SetText("äöüß");
  EXPECT_EQ(name->GetText(), "äöü");
  name->SetReadOnly(true);
  EXPECT_FALSE(name->SetTextFromUser("abc"));
  EXPECT_EQ(name->GetText(), "äöü");
}

TEST_F(ControlsTest, SliderAndProgressClampTheirValue) {
  auto* slider = Make<CSliderUI>(root, "brightness_slider");
  slider->SetMaxValue(4);
  slider->SetValue(9);
  EXPECT_EQ(slider->GetValue(), 4);
  slider->SetValue(-3);
  EXPECT_EQ(slider->GetValue(), 0);

  EXPECT_TRUE(slider->SetValueFromUser(3));
  EXPECT_FALSE(slider->SetValueFromUser(3)) << "same value, no notification";
  EXPECT_TRUE(slider->SetValueFromUser(100));
  EXPECT_EQ(slider->GetValue(), 4);
  EXPECT_EQ(rec.seen, (std::vector<std::string>{"valuechanged:brightness_slider", "valuechanged:brightness_slider"}));

  // Narrowing the range pulls the value in; crossing bounds keeps min <= max.
  slider->SetMaxValue(2);
  EXPECT_EQ(slider->GetValue(), 2);
  slider->SetMinValue(10);
  EXPECT_EQ(slider->GetMinValue(), 10);
  EXPECT_EQ(slider->GetMaxValue(), 10);
  EXPECT_EQ(slider->GetValue(), 10);

  slider->SetEnabled(false);
  EXPECT_FALSE(slider->SetValueFromUser(0));
}

TEST_F(ControlsTest, ListSelectionAndItemEvents) {
  auto* list = Make<CListUI>(root, "list");
  std::vector<CListContainerElementUI*> items;
  for (int i = 0; i < 3; ++i) items.push_back(Make<CListContainerElementUI>(list, "item_" + std::to_string(i)));
  EXPECT_EQ(items[2]->GetIndex(), 2);
  EXPECT_EQ(items[2]->GetOwner(), list);

  TEventUI down;
  down.Type = UiEventType::ButtonDown;
  items[1]->DoEvent(down);
  EXPECT_EQ(list->GetCurSel(), 1);
  EXPECT_TRUE(items[1]->IsSelected());
  TEventUI dbl;
  dbl.Type = UiEventType::DblClick;
  items[1]->DoEvent(dbl);
  EXPECT_EQ(rec.seen, (std::vector<std::string>{"itemclick:item_1", "setfocus:item_1", "itemselect:list", "itemactivate:item_1"}));

  EXPECT_FALSE(list->SelectItem(7));
  EXPECT_TRUE(items[1]->IsSelected()) << "a bad index keeps the selection";
  list->SelectItem(2, false, false);
  EXPECT_FALSE(items[1]->IsSelected());
  list->RemoveAt(0);
  EXPECT_EQ(list->GetCurSel(), 1);
  EXPECT_EQ(items[2]->GetIndex(), 1);
}

// The renderer's view: every change arrives with what changed.
struct ObserverLog : IControlObserver {
  std::vector<std::string> log;
  void OnPropertyChanged(CControlUI* c, const std::string& p, const std::string& d) override {
    log.push_back("prop " + std::string(c->GetName()) + " " + p + (d.empty() ? "" : " " + d));
  }
  void OnChildAdded(CContainerUI* parent, CControlUI* child, int index) override {
    log.push_back("add " + std::string(parent->GetName()) + " " + std::string(child->GetName()) + " " +
                  std::to_string(index));
  }
  void OnChildRemoved(CContainerUI* parent, CControlUI* child) override {
    log.push_back("remove " + std::string(parent->GetName()) + " " + std::string(child->GetName()));
  }
  void OnRootChanged(CPaintManagerUI*, CControlUI* root) override {
    log.push_back("root " + (root ? std::string(root->GetName()) : std::string("none")));
  }
};

TEST_F(ControlsTest, ObserverHearsEveryChange) {
  ObserverLog obs;
  pm.AddObserver(&obs);
  auto* label = new CLabelUI;
  label->SetName("lbl");
  root->Add(label);
  label->SetText("hello");
  label->SetText("hello");  // unchanged: silent
  label->SetVisible(false);
  label->SetBkColor(0xFF112233);
  label->SetAttribute("customflag", "1");
  root->Remove(label, true);
  label->SetText("detached");  // no longer in the window: silent
  delete label;
  EXPECT_EQ(obs.log, (std::vector<std::string>{"add root lbl 0", "prop lbl text", "prop lbl visible",
                                               "prop lbl bkcolor", "prop lbl attribute customflag",
                                               "remove root lbl"}));
  pm.RemoveObserver(&obs);

  // Attaching a tree is one event, even when its controls settle on init.
  CPaintManagerUI other;
  ObserverLog fresh;
  other.AddObserver(&fresh);
  auto* tabs = new CTabLayoutUI;
  tabs->SetName("tabs");
  tabs->SetAttribute("selectedid", "1");
  for (const char* n : {"p0", "p1"}) {
    auto* page = new CVerticalLayoutUI;
    page->SetName(n);
    tabs->Add(page);
  }
  other.AttachDialog(tabs);
  EXPECT_EQ(tabs->GetCurSel(), 1);
  EXPECT_EQ(fresh.log, std::vector<std::string>{"root tabs"});
}

// An observer may leave, or bring another, while a change is being told:
// the one that left hears nothing more, the newcomer hears the next change.
TEST_F(ControlsTest, ObserversLeavingOrJoiningDuringANotice) {
  struct Leaver : ObserverLog {
    CPaintManagerUI* pm = nullptr;
    IControlObserver* other = nullptr;
    IControlObserver* join = nullptr;
    void OnPropertyChanged(CControlUI* c, const std::string& p, const std::string& d) override {
      ObserverLog::OnPropertyChanged(c, p, d);
      if (other != nullptr) pm->RemoveObserver(std::exchange(other, nullptr));
      if (join != nullptr) pm->AddObserver(std::exchange(join, nullptr));
    }
  };
  Leaver first;
  ObserverLog second, late;
  first.pm = &pm;
  first.other = &second;
  first.join = &late;
  pm.AddObserver(&first);
  pm.AddObserver(&second);
  auto* label = new CLabelUI;
  label->SetName("lbl");
  root->Add(label);
  first.log.clear();
  second.log.clear();
  label->SetText("one");
  label->SetText("two");
  EXPECT_EQ(first.log, (std::vector<std::string>{"prop lbl text", "prop lbl text"}));
  EXPECT_TRUE(second.log.empty()) << "removed before its turn";
  EXPECT_EQ(late.log, std::vector<std::string>{"prop lbl text"}) << "told from the next change on";
  pm.RemoveObserver(&first);
  pm.RemoveObserver(&late);
  label->SetText("three");
  EXPECT_EQ(first.log.size(), 2u);
}

TEST_F(ControlsTest, TextIdsReadBackTranslated) {
  CResourceManager::GetInstance().SetLanguageTexts({{"message_text_4", "Saved"}});
  auto* probe = Make<CLabelUI>(root, "text_test");
  probe->SetText("message_text_4");
  EXPECT_EQ(probe->GetText(), "Saved");
  probe->SetText("plain words");
  EXPECT_EQ(probe->GetText(), "plain words");
  probe->SetAttribute("resourcetext", "false");
  probe->SetText("message_text_4");
  EXPECT_EQ(probe->GetText(), "message_text_4");
  auto* edit = Make<CEditUI>(root, "typed");
  edit->SetTextFromUser("message_text_4");
  EXPECT_EQ(edit->GetText(), "message_text_4") << "typed text is never translated";
  CResourceManager::GetInstance().SetLanguageTexts({});
}

TEST_F(ControlsTest, AsyncNotificationIsDroppedWhenTheSenderDies) {
  auto* btn = Make<CButtonUI>(root, "btn");
  auto* kept = Make<CButtonUI>(root, "kept");
  pm.SendNotify(btn, "click", 0, 0, true);
  pm.SendNotify(kept, "click", 0, 0, true);
  root->Remove(btn);
  EXPECT_TRUE(rec.seen.empty());
  loop.AdvanceBy(0);
  EXPECT_EQ(rec.seen, std::vector<std::string>{"click:kept"});
}

TEST_F(ControlsTest, ControlTimersSendTimerNotificationsAndDieWithTheControl) {
  auto* a = Make<CControlUI>(root, "a");
  auto* b = Make<CControlUI>(root, "b");
  pm.SetTimer(a, 1, 100);
  pm.SetTimer(b, 2, 250);
  loop.AdvanceBy(300);
  EXPECT_EQ(rec.seen, (std::vector<std::string>{"timer:a", "timer:a", "timer:b", "timer:a"}));
  EXPECT_EQ(rec.msgs[2].wParam, 2u);
  rec.Clear();
  root->Remove(a);
  EXPECT_TRUE(pm.KillTimer(b, 2));
  EXPECT_FALSE(pm.KillTimer(b, 2));
  loop.AdvanceBy(1000);
  EXPECT_TRUE(rec.seen.empty());
}

TEST_F(ControlsTest, ScaleAcceptsOnlyTheKnownDpis) {
  for (int dpi : {48, 72, 96, 120, 144, 168, 192}) {
    pm.SetDPI(dpi);
    EXPECT_EQ(pm.GetDPI(), dpi);
  }
  for (int dpi : {0, 100, 216, -96}) {
    pm.SetDPI(dpi);
    EXPECT_EQ(pm.GetDPI(), 96) << dpi;
  }
  CPaintManagerUI::SetAllDPI(144);
  EXPECT_EQ(pm.GetDPI(), 144);
  EXPECT_EQ(pm.ScaleValue(20), 30);
  CPaintManagerUI::SetAllDPI(96);
}

}  // namespace
}  // namespace korvale::test
