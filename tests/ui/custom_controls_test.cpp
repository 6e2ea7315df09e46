#include "ui_fixture.h"

namespace korvale::test {
namespace {

class CustomTest : public UiTest {
 protected:
  CustomTest() {
    root = new CVerticalLayoutUI;
    root->SetName("root");
    pm.AttachDialog(root);
    pm.AddNotifier(&rec);
  }
  template <typename T>
  T* Add(std::string_view name, UiRect pos = {}, CContainerUI* parent = nullptr) {
    auto* c = new T;
    c->SetName(name);
    (parent ? parent : root)->Add(c);
    c->SetPos(pos);
    return c;
  }
  static TEventUI Ev(UiEventType type, int x = 0, int y = 0, UINT keys = 0) {
    TEventUI e;
    e.Type = type;
    e.ptMouse = UiPoint{x, y};
    e.wKeyState = keys;
    return e;
  }
  void Send(CControlUI* c, UiEventType type, int x = 0, int y = 0, UINT keys = 0) {
    TEventUI e = Ev(type, x, y, keys);
    c->DoEvent(e);
  }
  CPaintManagerUI pm;
  CVerticalLayoutUI* root;
  Recorder rec;
};

TEST_F(CustomTest, KeyButtonDrawsLightAndBadgesOnlyWhenTheirFlagsSayAndSendsDbClick) {
  auto* key = Add<CDeviceKeyButtonUI>("key_5", UiRect{0, 0, 40, 40});
  key->SetAttribute("normalimage", "key.png");
  key->SetAttribute("lightimage", "light.png");
  key->SetAttribute("keysetimage", "set.png");
  key->SetAttribute("keyunsetimage", "unset.png");
  EXPECT_EQ(key->GetLightFade(), 255);
  EXPECT_EQ(key->GetLightDim(), 200);
  EXPECT_EQ(key->GetSelectedColor(), 0xFF0099FFu);
  // Defaults: flags on, light off: only the status image.
  EXPECT_EQ(key->PaintLayers(), (std::vector<PaintLayer>{{"key.png", 255, 255}}));
  key->SetShowLightImage(true);
  key->SetLightFade(120);
  key->SetKeySetFlag(false);
  key->SetKeyUnsetFlag(false);
  EXPECT_EQ(key->PaintLayers(), (std::vector<PaintLayer>{
                                    {"key.png", 255, 255}, {"light.png", 120, 200}, {"unset.png", 255, 255},
                                    {"set.png", 255, 255}}));
  key->SetAttribute("gmnametextcolor", "FF123456");
  EXPECT_EQ(key->GetNameTextColor(), 0xFF123456u);
  key->SetAttribute("gmnametextcolor", "#zz");
  EXPECT_EQ(key->GetNameTextColor(), 0xFF123456u) << "a bad colour keeps the old one";

  Send(key, UiEventType::DblClick, 10, 10);
  Send(key, UiEventType::DblClick, 90, 10);  // outside
  key->SetEnabled(false);
  Send(key, UiEventType::DblClick, 10, 10);
  EXPECT_EQ(rec.seen, std::vector<std::string>{"dbclick:key_5"});
}

TEST_F(CustomTest, RubberBandSelectsIntersectingKeyButtonsAnywhereInThePanel) {
  auto* panel = Add<CSelectPanelUI>("key_panel", UiRect{0, 0, 300, 200});
  auto* k1 = Add<CDeviceKeyButtonUI>("key_1", UiRect{10, 10, 40, 40}, panel);
  auto* k2 = Add<CDeviceKeyButtonUI>("key_2", UiRect{100, 10, 130, 40}, panel);
  auto* row = Add<CHorizontalLayoutUI>("row", UiRect{0, 100, 300, 140}, panel);
  auto* k3 = Add<CDeviceKeyButtonUI>("key_3", UiRect{50, 100, 80, 140}, row);
  auto* plain = Add<CButtonUI>("plain", UiRect{60, 20, 90, 30}, panel);
  k2->SetSelected(true);

  // Dragged from bottom-right to top-left: the band is normalised.
  Send(panel, UiEventType::ButtonDown, 90, 120);
  Send(panel, UiEventType::MouseMove, 30, 60);
  EXPECT_TRUE(panel->IsBandActive());
  EXPECT_EQ(panel->GetBand(), (UiRect{30, 60, 90, 120}));
  Send(panel, UiEventType::MouseMove, 20, 20);
  Send(panel, UiEventType::ButtonUp, 20, 20);
  EXPECT_TRUE(k1->IsSelected());
  EXPECT_FALSE(k2->IsSelected());
  EXPECT_TRUE(k3->IsSelected());
  EXPECT_FALSE(panel->IsArmed());
  EXPECT_EQ(rec.seen, std::vector<std::string>{"click_select_end:key_panel"});
  (void)plain;

  // A move without a button down does nothing; a disabled panel does not arm.
  rec.Clear();
  Send(panel, UiEventType::MouseMove, 5, 5);
  EXPECT_FALSE(panel->IsBandActive());
  panel->SetEnabled(false);
  Send(panel, UiEventType::ButtonDown, 0, 0);
  Send(panel, UiEventType::ButtonUp, 200, 200);
  EXPECT_TRUE(rec.seen.empty());
  EXPECT_FALSE(k2->IsSelected());
}

TEST_F(CustomTest, HandImageButtonDeleteBadgeOnlyWhenNotFixed) {
  auto* btn = Add<CHandImgButtonUI>("hand_btn", UiRect{0, 0, 100, 80});
  btn->SetDeleteImages("del.png", "del_hot.png");
  btn->SetHandImage("mouse.png");
  EXPECT_EQ(btn->GetDeleteBadgeRect(), (UiRect{70, 51, 90, 71}));
  pm.SetDPI(192);
  EXPECT_EQ(btn->GetDeleteBadgeRect(), (UiRect{40, 22, 80, 62}));
  pm.SetDPI(96);

  // Fixed (default): a release on the badge is an ordinary click.
  Send(btn, UiEventType::MouseEnter);
  EXPECT_FALSE(btn->IsDeleteBadgeShown());
  Send(btn, UiEventType::ButtonDown, 75, 55);
  Send(btn, UiEventType::ButtonUp, 75, 55);
  btn->SetFixed(false);
  EXPECT_TRUE(btn->IsDeleteBadgeShown());
  Send(btn, UiEventType::MouseMove, 75, 55);
  EXPECT_EQ(btn->PaintLayers().back().image, "del_hot.png");
  Send(btn, UiEventType::ButtonDown, 75, 55);
  Send(btn, UiEventType::ButtonUp, 75, 55);
  Send(btn, UiEventType::DblClick, 10, 10);
  Send(btn, UiEventType::ButtonUp, 10, 10);
  Send(btn, UiEventType::ButtonUp, 10, 10);  // no press pending: nothing
  Send(btn, UiEventType::MouseLeave);
  EXPECT_FALSE(btn->IsDeleteBadgeShown());
  EXPECT_EQ(rec.seen, (std::vector<std::string>{"click:hand_btn", "click_handdelete:hand_btn", "click:hand_btn"}));
}

TEST_F(CustomTest, HandImageSelectButtonPansWithinThePicture) {
  auto* btn = Add<CHandImgSelectButtonUI>("hand_select", UiRect{0, 0, 100, 50});
  btn->SetHandImage("pad.png");
  btn->SetHandImageSize(UiSize{300, 80});
  EXPECT_EQ(btn->GetHandImageSource(), "file='pad.png' source='0,0,100,50'");
  Send(btn, UiEventType::ButtonDown, 50, 25);
  Send(btn, UiEventType::MouseMove, 10, 15);  // drag left/up: look further right/down
  EXPECT_EQ(btn->GetOffset(), (UiPoint{40, 10}));
  Send(btn, UiEventType::MouseMove, -500, -500);
  EXPECT_EQ(btn->GetOffset(), (UiPoint{200, 30}));
  EXPECT_EQ(btn->GetHandImageSource(), "file='pad.png' source='200,30,300,80'");
  Send(btn, UiEventType::ButtonUp, -500, -500);
  Send(btn, UiEventType::MouseMove, 500, 500);  // released: no pan
  EXPECT_EQ(btn->GetOffset(), (UiPoint{200, 30}));
  // A picture smaller than the control cannot move.
  btn->SetHandImageSize(UiSize{60, 40});
  EXPECT_EQ(btn->GetOffset(), (UiPoint{0, 0}));

  CursorShape shape = CursorShape::Arrow;
  EXPECT_TRUE(CHandImgSelectButtonUI::ParseCursor("SIZENWSE", &shape));
  EXPECT_EQ(shape, CursorShape::SizeNWSE);
  EXPECT_FALSE(CHandImgSelectButtonUI::ParseCursor("pointer", &shape));
}

TEST_F(CustomTest, MacroRecordButtonPulsesOnItsTimer) {
  auto* btn = Add<CRedioMacroButtonUI>("record_btn");
  btn->SetAttribute("redioimage", "rec.png");
  ASSERT_TRUE(btn->StartRecord());
  std::vector<int> fades;
  for (int i = 0; i < 12; ++i) {
    loop.AdvanceBy(CRedioMacroButtonUI::kPulseIntervalMs);
    fades.push_back(btn->GetFade());
  }
  EXPECT_EQ(fades, (std::vector<int>{235, 215, 195, 175, 155, 135, 115, 95, 80, 100, 120, 140}));
  EXPECT_EQ(btn->GetForeImage(), "res='rec.png' fade='140'");
  btn->StopRecord();
  loop.AdvanceBy(1000);
  EXPECT_FALSE(pm.HasTimer(btn, CRedioMacroButtonUI::kPulseTimerId));
  EXPECT_EQ(btn->GetFade(), 255);
  EXPECT_TRUE(rec.seen.empty()) << "the pulse timer is the button's own, not a page notification";
}

TEST_F(CustomTest, RingAudioAndChartGeometry) {
  auto* ring = Add<CCircleProgressUI>("ring");
  ring->SetValue(25);
  EXPECT_DOUBLE_EQ(ring->GetSweepDegrees(), 90.0);
  ring->SetMinValue(20);
  ring->SetMaxValue(60);
  ring->SetValue(30);
  EXPECT_DOUBLE_EQ(ring->GetSweepDegrees(), 90.0);
  ring->SetMaxValue(20);  // empty range: nothing, not a division by zero
  EXPECT_DOUBLE_EQ(ring->GetSweepDegrees(), 0.0);

  auto* audio = Add<CAudioRecordUI>("audio_view", UiRect{10, 0, 16, 100});
  audio->SetSamples({8192, -4096, 20000, 100});
  auto bars = audio->GetBars();
  ASSERT_EQ(bars.size(), 3u);  // 6 px wide: bars at 10, 12, 14
  EXPECT_EQ(bars[0].x, 10);
  EXPECT_EQ(bars[0].height, 100);
  EXPECT_EQ(bars[1].height, 50);
  EXPECT_EQ(bars[2].height, 100) << "beyond full scale is capped";
  std::vector<int> many(600);
  for (int i = 0; i < 600; ++i) many[static_cast<std::size_t>(i)] = i;
  audio->SetSamples(many);
  EXPECT_EQ(audio->GetSamples().size(), CAudioRecordUI::kMaxSamples);
  EXPECT_EQ(audio->GetSamples().front(), 100);
  audio->AddSample(7);
  EXPECT_EQ(audio->GetSamples().size(), CAudioRecordUI::kMaxSamples);
  EXPECT_EQ(audio->GetSamples().back(), 7);

  auto* chart = Add<CChartViewUI>("chart");
  EXPECT_TRUE(chart->GetPieSlices().empty());
  chart->Add("a", 1);
  chart->Add("b", 3);
  chart->Add("neg", -2);
  auto slices = chart->GetPieSlices();
  ASSERT_EQ(slices.size(), 3u);
  EXPECT_DOUBLE_EQ(slices[1].startDegrees, 90.0);
  EXPECT_DOUBLE_EQ(slices[1].sweepDegrees, 270.0);
  EXPECT_DOUBLE_EQ(slices[2].sweepDegrees, 0.0);
  EXPECT_EQ(chart->GetBarHeights(60), (std::vector<int>{20, 60, 0}));
  chart->SetAttribute("view", "histogram");
  EXPECT_EQ(chart->GetView(), CChartViewUI::View::Histogram);
}

TEST_F(CustomTest, ComboEditElementSelectionReturnAndChangeMarks) {
  CPaintManagerUI::SetResourcePath(SkinDemoDir());
  auto* list = Add<CListUI>("macro_list");
  list->SetMultiSelect(true);
  std::vector<CComboEditContainerElementUI*> rows;
  for (int i = 0; i < 3; ++i) rows.push_back(Add<CComboEditContainerElementUI>("row_" + std::to_string(i), {}, list));
  CPaintManagerUI::SetResourcePath({});
  ASSERT_NE(rows[0]->GetDelayEdit(), nullptr);

  Send(rows[0], UiEventType::ButtonDown);
  Send(rows[2], UiEventType::ButtonDown, 0, 0, kKeyStateControl);
  EXPECT_EQ(list->GetSelectedItems(), (std::vector<int>{0, 2}));
  Send(rows[0], UiEventType::ButtonDown, 0, 0, kKeyStateControl);
  EXPECT_EQ(list->GetSelectedItems(), (std::vector<int>{2}));
  Send(rows[1], UiEventType::ButtonDown);
  EXPECT_EQ(list->GetSelectedItems(), (std::vector<int>{1}));

  rec.Clear();
  Send(rows[1], UiEventType::ButtonUp);
  TEventUI enter = Ev(UiEventType::KeyDown);
  enter.chKey = kVkReturn;
  rows[1]->DoEvent(enter);
  TEventUI timer = Ev(UiEventType::Timer);
  timer.wParam = 5;
  rows[1]->DoEvent(timer);
  Send(rows[1], UiEventType::ContextMenu);  // menu not allowed
  rows[1]->SetAttribute("menu", "true");
  Send(rows[1], UiEventType::ContextMenu);
  EXPECT_EQ(rec.seen, (std::vector<std::string>{"itemclick:row_1", "itemactivate:row_1", "return:row_1",
                                                "timer:row_1", "menu:row_1"}));

  // Its own edit's return marks it changed; another row's edit does not.
  EXPECT_FALSE(rows[1]->IsChanged());
  rows[2]->GetDelayEdit()->SetText("7");
  rows[2]->GetDelayEdit()->ReturnFromUser();
  EXPECT_FALSE(rows[1]->IsChanged());
  EXPECT_TRUE(rows[2]->IsChanged());
  EXPECT_EQ(rows[2]->GetDelayEdit()->GetText(), "7");
}

TEST_F(CustomTest, HotListItemsDrawABorderOnlyWhenHotAndNotSelected) {
  auto* list = Add<CListUI>("share_list");
  list->SetAttribute("itemhotbkcolor", "#FF303540");
  auto* item = Add<CCloudShareListItemUI>("share_0", {}, list);
  auto* update = Add<CUpdateInfoListItemUI>("update_0", {}, list);
  Send(item, UiEventType::MouseEnter);
  EXPECT_TRUE(item->IsHotBorderShown());
  EXPECT_EQ(item->GetHotBorderColor(), 0xFF303540u);
  Send(item, UiEventType::ButtonDown);
  EXPECT_FALSE(item->IsHotBorderShown()) << "selected";
  Send(update, UiEventType::MouseEnter);
  Send(update, UiEventType::MouseLeave);
  EXPECT_FALSE(update->IsHotBorderShown());
  Send(update, UiEventType::DblClick);
  EXPECT_EQ(rec.seen, (std::vector<std::string>{"itemclick:share_0", "setfocus:share_0", "itemselect:share_list",
                                                "itemactivate:update_0"}));
}

TEST_F(CustomTest, WindowHostKeepsTheHostedWindowInPlace) {
  struct Plain : CWindowWnd {};
  Plain main;
  HWND mainHandle = main.Create(0, "main", 0, 0, UiRect{100, 50, 500, 350});
  pm.Init(&main);
  Plain child;
  child.Create(mainHandle, "child");
  Plain popup;
  popup.Create(0, "popup");

  auto* hostChild = Add<CWndUI>("host_child");
  auto* hostPopup = Add<CWndUI>("host_popup");
  ASSERT_TRUE(hostChild->Attach(child.GetHWND()));
  ASSERT_TRUE(hostPopup->Attach(popup.GetHWND()));
  EXPECT_FALSE(hostChild->Attach(987654));
  hostChild->SetPos(UiRect{10, 20, 110, 60});
  hostPopup->SetPos(UiRect{10, 20, 110, 60});
  EXPECT_EQ(child.GetWindowRect(), (UiRect{10, 20, 110, 60}));
  EXPECT_EQ(popup.GetWindowRect(), (UiRect{110, 70, 210, 110})) << "screen coordinates";
  EXPECT_TRUE(child.IsVisible());
  hostChild->SetVisible(false);
  EXPECT_FALSE(child.IsVisible());
  root->SetVisible(false);
  hostPopup->SetPos(UiRect{0, 0, 10, 10});
  EXPECT_FALSE(popup.IsVisible()) << "hidden with its ancestors";
  pm.Init(nullptr);
}

}  // namespace
}  // namespace korvale::test
