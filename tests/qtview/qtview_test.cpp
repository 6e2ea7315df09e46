#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSet>
#include <QSlider>
#include <QTemporaryDir>
#include <QTest>
#include <functional>

#include "qtview/widgets.h"
#include "tests/qtview/qt_fixture.h"

namespace korvale::test {
namespace {

const char* kBasic = R"(<Window size="400,300">
  <VerticalLayout name="root">
    <HorizontalLayout name="row" height="40" inset="5,5,5,5" childpadding="10">
      <Button name="ok_btn" text="OK" width="80"/>
      <Label name="status" text="ready"/>
      <Option name="opt_a" group="g" text="A" width="50" selected="true"/>
      <Option name="opt_b" group="g" text="B" width="50" padding="7,0,0,0"/>
    </HorizontalLayout>
    <Edit name="dpi" numberonly="true" minvalue="50" maxvalue="16000" maxchar="5" height="30"/>
    <Combo name="mode" height="30">
      <ListLabelElement text="Static"/>
      <ListLabelElement text="Breathing"/>
      <ListLabelElement text="Wave"/>
    </Combo>
    <Slider name="bright" min="0" max="4" value="1" height="24"/>
    <CheckBox name="sync" text="Sync" height="24"/>
    <Control name="float_box" float="true" pos="300,200,340,260"/>
  </VerticalLayout>
</Window>)";

TEST(QtSkinView, ButtonClickArrivesAsClickOnTheModelControl) {
  SkinWindow w(kBasic);
  auto* button = w.WidgetOf<QPushButton>("ok_btn");
  ASSERT_NE(button, nullptr);
  EXPECT_EQ(button->text(), "OK");
  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_EQ(w.rec.Count("click", "ok_btn"), 1);

  // A disabled model control takes no clicks.
  w.Find("ok_btn")->SetEnabled(false);
  EXPECT_FALSE(button->isEnabled());
  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_EQ(w.rec.Count("click", "ok_btn"), 1);
}

// One title bar: a skin that draws its caption gets no system title bar
// over it; the caption's buttons stay buttons.
TEST(QtSkinView, ASkinCaptionReplacesTheSystemTitleBar) {
  SkinWindow plain(kBasic);
  EXPECT_FALSE(plain.view->Window()->windowFlags().testFlag(Qt::FramelessWindowHint));
  SkinWindow captioned(R"(<Window size="400,300" caption="0,0,0,40">
  <VerticalLayout>
    <HorizontalLayout height="40"><Label name="title" text="Title"/><Button name="closebtn" text="x" width="40"/></HorizontalLayout>
    <Control/>
  </VerticalLayout>
</Window>)");
  EXPECT_TRUE(captioned.view->Window()->windowFlags().testFlag(Qt::FramelessWindowHint));
  QTest::mouseClick(captioned.WidgetOf<QPushButton>("closebtn"), Qt::LeftButton);
  EXPECT_EQ(captioned.rec.Count("click", "closebtn"), 1);
}

TEST(QtSkinView, ModelChangesShowOnTheWidgets) {
  SkinWindow w(kBasic);
  w.Find("status")->SetText("busy");
  EXPECT_EQ(w.WidgetOf<QLabel>("status")->text(), "busy");

  CResourceManager::GetInstance().AddText("qtview_test_word", "Translated");
  w.Find("status")->SetText("qtview_test_word");
  EXPECT_EQ(w.WidgetOf<QLabel>("status")->text(), "Translated");

  w.Find<CSliderUI>("bright")->SetValue(3);
  EXPECT_EQ(w.WidgetOf<QSlider>("bright")->value(), 3);
  w.Find<CSliderUI>("bright")->SetMaxValue(2);  // pulls the value back too
  EXPECT_EQ(w.WidgetOf<QSlider>("bright")->maximum(), 2);
  EXPECT_EQ(w.WidgetOf<QSlider>("bright")->value(), 2);

  w.Find("ok_btn")->SetVisible(false);
  EXPECT_FALSE(w.WidgetOf("ok_btn")->isVisible());
  w.Find("ok_btn")->SetVisible(true);
  EXPECT_TRUE(w.WidgetOf("ok_btn")->isVisible());

  w.Find<CEditUI>("dpi")->SetText("1200");
  EXPECT_EQ(w.WidgetOf<QLineEdit>("dpi")->text(), "1200");

  w.Find<COptionUI>("opt_b")->Selected(true);
  EXPECT_TRUE(w.WidgetOf<QPushButton>("opt_b")->isChecked());
  EXPECT_FALSE(w.WidgetOf<QPushButton>("opt_a")->isChecked());

  auto* combo = w.Find<CComboUI>("mode");
  combo->AddString("Ripple");
  combo->SelectItem(3, false, false);
  auto* box = w.WidgetOf<QComboBox>("mode");
  ASSERT_EQ(box->count(), 4);
  EXPECT_EQ(box->itemText(3), "Ripple");
  EXPECT_EQ(box->currentIndex(), 3);
  combo->RemoveAt(0);
  EXPECT_EQ(box->count(), 3);
  EXPECT_EQ(box->itemText(0), "Breathing");
}

TEST(QtSkinView, UserInputBecomesModelChangesAndNotifications) {
  SkinWindow w(kBasic);
  // Combo pick: "itemselect" with the new and the old index.
  auto* box = w.WidgetOf<QComboBox>("mode");
  box->setFocus();
  QTest::keyClick(box, Qt::Key_Down);
  const Recorded* pick = w.rec.Last("itemselect");
  ASSERT_NE(pick, nullptr);
  EXPECT_EQ(pick->name, "mode");
  EXPECT_EQ(pick->wParam, 0u);
  EXPECT_EQ(pick->lParam, -1);
  QTest::keyClick(box, Qt::Key_Down);
  pick = w.rec.Last("itemselect");
  EXPECT_EQ(pick->wParam, 1u);
  EXPECT_EQ(pick->lParam, 0);
  EXPECT_EQ(w.Find<CComboUI>("mode")->GetCurSel(), 1);
  EXPECT_EQ(w.rec.Count("itemselect", "mode"), 2);

  // Options: grouped and exclusive; the newly selected one reports.
  QTest::mouseClick(w.WidgetOf<QPushButton>("opt_b"), Qt::LeftButton);
  EXPECT_TRUE(w.Find<COptionUI>("opt_b")->IsSelected());
  EXPECT_FALSE(w.Find<COptionUI>("opt_a")->IsSelected());
  EXPECT_FALSE(w.WidgetOf<QPushButton>("opt_a")->isChecked());
  EXPECT_EQ(w.rec.Count("selectchanged", "opt_b"), 1);
  // Clicking the selected grouped option keeps it selected.
  QTest::mouseClick(w.WidgetOf<QPushButton>("opt_b"), Qt::LeftButton);
  EXPECT_TRUE(w.WidgetOf<QPushButton>("opt_b")->isChecked());

  QTest::mouseClick(w.WidgetOf<QCheckBox>("sync"), Qt::LeftButton, {}, QPoint(8, 12));
  EXPECT_TRUE(w.Find<COptionUI>("sync")->IsSelected());

  // Typing in a number-only edit: letters refused on screen as in the model.
  auto* edit = w.WidgetOf<QLineEdit>("dpi");
  edit->setFocus();
  EXPECT_EQ(w.rec.Count("setfocus", "dpi"), 1);
  QTest::keyClicks(edit, "12a3");
  EXPECT_EQ(w.Find<CEditUI>("dpi")->GetRawText(), "123");
  EXPECT_EQ(edit->text(), "123");
  EXPECT_GE(w.rec.Count("textchanged", "dpi"), 3);
  QTest::keyClick(edit, Qt::Key_Return);
  EXPECT_EQ(w.rec.Count("return", "dpi"), 1);
  EXPECT_EQ(edit->text(), "123");  // inside the range: kept
  QTest::keyClick(edit, Qt::Key_Backspace);
  QTest::keyClick(edit, Qt::Key_Backspace);
  w.WidgetOf("ok_btn")->setFocus();  // focus leaves the edit
  EXPECT_EQ(w.rec.Count("killfocus", "dpi"), 1);
  EXPECT_EQ(w.Find<CEditUI>("dpi")->GetRawText(), "50");
  EXPECT_EQ(edit->text(), "50");

  // Slider: "valuechanged" with the new value.
  auto* slider = w.WidgetOf<QSlider>("bright");
  slider->setFocus();
  QTest::keyClick(slider, Qt::Key_Right);
  const Recorded* moved = w.rec.Last("valuechanged");
  ASSERT_NE(moved, nullptr);
  EXPECT_EQ(moved->name, "bright");
  EXPECT_EQ(moved->wParam, 2u);
  EXPECT_EQ(w.Find<CSliderUI>("bright")->GetValue(), 2);
}

TEST(QtSkinView, SliderDragPreviewsEachStepAndSettlesOnceOnRelease) {
  SkinWindow w(kBasic);
  auto* slider = w.WidgetOf<QSlider>("bright");
  // What a held thumb does: down, steps, up.
  slider->setSliderDown(true);
  for (int v : {2, 3, 4, 3}) slider->setValue(v);
  EXPECT_EQ(w.rec.Count("movevaluechanged", "bright"), 4);
  EXPECT_EQ(w.rec.Count("valuechanged", "bright"), 0);
  EXPECT_EQ(w.Find<CSliderUI>("bright")->GetValue(), 3);
  slider->setSliderDown(false);
  EXPECT_EQ(w.rec.Count("valuechanged", "bright"), 1);
  const Recorded* settled = w.rec.Last("valuechanged");
  ASSERT_NE(settled, nullptr);
  EXPECT_EQ(settled->wParam, 3u);
  EXPECT_EQ(settled->lParam, 1);  // the value before the drag
  // A drag that ends where it began settles nothing.
  slider->setSliderDown(true);
  slider->setValue(0);
  slider->setValue(3);
  slider->setSliderDown(false);
  EXPECT_EQ(w.rec.Count("valuechanged", "bright"), 1);
  EXPECT_EQ(w.rec.Count("movevaluechanged", "bright"), 6);
}

TEST(QtSkinView, LayoutKeepsFixedSizesPaddingAndFloatsAndTellsTheModel) {
  SkinWindow w(kBasic);
  // Row: inset 5, child padding 10; OK is 80 wide at x=5.
  EXPECT_EQ(w.Find("ok_btn")->GetPos(), (UiRect{5, 5, 85, 35}));
  EXPECT_EQ(w.WidgetOf("ok_btn")->geometry(), QRect(5, 5, 80, 30));
  // The label takes the rest: 400 - 10 (inset) - 80 - 50 - 57 - 3 * 10.
  EXPECT_EQ(w.Find("status")->GetPos().Width(), 173);
  // opt_b: its left padding of 7 is kept.
  EXPECT_EQ(w.Find("opt_b")->GetPos().left, w.Find("opt_a")->GetPos().right + 10 + 7);
  EXPECT_EQ(w.Find("float_box")->GetPos(), (UiRect{300, 200, 340, 260}));
  // The edit follows the 40 high row.
  EXPECT_EQ(w.Find("dpi")->GetPos(), (UiRect{0, 40, 400, 70}));

  // Hiding a child gives its room to the others.
  w.Find("ok_btn")->SetVisible(false);
  w.view->Relayout();
  EXPECT_EQ(w.Find("status")->GetPos().left, 5);

  // A window resize lays out again.
  w.view->Window()->resize(500, 300);
  QApplication::processEvents();
  EXPECT_EQ(w.Find("dpi")->GetPos().Width(), 500);

  // At 192 dpi every skin size doubles; an unknown scale means 96.
  w.pm.SetDPI(192);
  QApplication::processEvents();
  EXPECT_EQ(w.WidgetOf("opt_a")->width(), 100);
  EXPECT_EQ(w.Find("dpi")->GetPos().top, 80);
  EXPECT_EQ(w.Find("float_box")->GetPos(), (UiRect{600, 400, 680, 520}));
  w.pm.SetDPI(100);
  QApplication::processEvents();
  EXPECT_EQ(w.WidgetOf("opt_a")->width(), 50);
}

TEST(QtSkinView, FixedWidthsGrowToTheirTextSoNoWordIsCut) {
  SkinWindow w(R"(<Window size="600,100">
    <HorizontalLayout name="row" height="40" childpadding="4">
      <Label name="short" text="Effekt" width="30"/>
      <Button name="btn" text="Beleuchtung: gesteuert" width="60"/>
      <Label name="roomy" text="ok" width="120"/>
      <Button name="key" text="Bksp" width="20" textpadding="1,0,1,0"/>
      <Text name="note" text="a text block of several words in a narrow slot" width="80"/>
      <Control name="rest"/>
    </HorizontalLayout>
  </Window>)");
  for (const char* name : {"short", "btn"}) {
    QWidget* widget = w.WidgetOf(name);
    const QString text = qobject_cast<QLabel*>(widget) != nullptr ? qobject_cast<QLabel*>(widget)->text()
                                                                  : qobject_cast<QPushButton*>(widget)->text();
    EXPECT_GE(widget->width(), widget->fontMetrics().horizontalAdvance(text)) << name;
  }
  // Room enough: the skin's width stands.
  EXPECT_EQ(w.WidgetOf("roomy")->width(), 120);
  // A small key with its own text padding grows by that padding and its
  // frame, not by a full button's room.
  QWidget* key = w.WidgetOf("key");
  EXPECT_EQ(key->width(), key->fontMetrics().horizontalAdvance("Bksp") + 2 + 2);
  // A text block breaks its lines inside its slot.
  EXPECT_EQ(w.WidgetOf("note")->width(), 80);
  EXPECT_TRUE(w.WidgetOf<QLabel>("note")->wordWrap());
  // The neighbours move along instead of overlapping.
  EXPECT_EQ(w.WidgetOf("btn")->x(), w.WidgetOf("short")->geometry().right() + 1 + 4);
  // A longer text after a language change widens it at the next layout.
  const int before = w.WidgetOf("roomy")->width();
  w.Find("roomy")->SetText("a much longer translated word than before");
  w.view->Relayout();
  EXPECT_GT(w.WidgetOf("roomy")->width(), before);
}

TEST(QtSkinView, ATallPageIsClippedAndTheRowsUnderItStayInTheWindow) {
  SkinWindow w(R"(<Window size="300,200">
    <VerticalLayout name="root">
      <Control name="caption" height="30"/>
      <Container name="area">
        <VerticalLayout name="page" height="400"/>
      </Container>
      <HorizontalLayout name="status_row" height="28">
        <Label name="status_text" text="Ready"/>
      </HorizontalLayout>
    </VerticalLayout>
  </Window>)");
  const QRect status = w.view->WindowRect(w.WidgetOf("status_row"));
  EXPECT_EQ(status.top(), 200 - 28);
  EXPECT_EQ(status.height(), 28);
  EXPECT_TRUE(w.WidgetOf("status_text")->isVisible());
  EXPECT_EQ(w.WidgetOf("area")->height(), 200 - 30 - 28);
}

TEST(QtSkinView, ChildrenAddedAndRemovedLive) {
  SkinWindow w(kBasic);
  auto* row = w.Find<CContainerUI>("row");
  auto* extra = new CButtonUI;
  extra->SetName("extra");
  extra->SetText("More");
  extra->SetAttribute("width", "80");  // room enough for its text
  row->Add(extra);
  QApplication::processEvents();
  auto* widget = w.WidgetOf<QPushButton>("extra");
  ASSERT_NE(widget, nullptr);
  EXPECT_EQ(widget->text(), "More");
  EXPECT_EQ(widget->width(), 80);
  QTest::mouseClick(widget, Qt::LeftButton);
  EXPECT_EQ(w.rec.Count("click", "extra"), 1);

  row->Remove(extra);
  EXPECT_EQ(w.view->WidgetFor(extra), nullptr);
  QApplication::processEvents();  // the widget itself goes later
  EXPECT_TRUE(w.view->Window()->findChildren<QPushButton*>("extra").isEmpty());
}

// A hidden tab gets its widgets when it is first shown: with the state the
// model reached meanwhile (a new text, a child added while hidden), laid out,
// and taking input like any other.
TEST(QtSkinView, HiddenTabIsBuiltWhenFirstShown) {
  SkinWindow w(R"(<Window size="300,200">
    <VerticalLayout>
      <TabLayout name="tabs">
        <VerticalLayout name="tab_a"><Button name="in_a" text="A" height="30"/></VerticalLayout>
        <VerticalLayout name="tab_b" visible="false">
          <HorizontalLayout name="row_b" height="30"><Button name="in_b" text="B" width="80"/></HorizontalLayout>
        </VerticalLayout>
      </TabLayout>
    </VerticalLayout>
  </Window>)");
  ASSERT_NE(w.WidgetOf("tab_b"), nullptr);
  EXPECT_FALSE(w.WidgetOf("tab_b")->isVisible());
  EXPECT_EQ(w.WidgetOf("in_b"), nullptr) << "nothing inside a hidden tab is built";
  w.Find("in_b")->SetText("Bee");
  auto* late = new CButtonUI;
  late->SetName("late");
  late->SetText("Late");
  late->SetAttribute("width", "80");
  w.Find<CContainerUI>("row_b")->Add(late);

  w.Find<CTabLayoutUI>("tabs")->SelectItem(1);
  QApplication::processEvents();
  auto* b = w.WidgetOf<QPushButton>("in_b");
  auto* l = w.WidgetOf<QPushButton>("late");
  ASSERT_NE(b, nullptr);
  ASSERT_NE(l, nullptr);
  EXPECT_TRUE(b->isVisible());
  EXPECT_EQ(b->text(), "Bee");
  EXPECT_EQ(l->text(), "Late");
  EXPECT_EQ(b->width(), 80);
  EXPECT_GE(w.view->WindowRect(l).left(), w.view->WindowRect(b).right()) << "the late child follows in its row";
  EXPECT_FALSE(w.WidgetOf("tab_a")->isVisible());
  QTest::mouseClick(l, Qt::LeftButton);
  EXPECT_EQ(w.rec.Count("click", "late"), 1);
}

TEST(QtSkinView, ListItemsTakeClicksDoubleClicksAndContextMenus) {
  SkinWindow w(R"(<Window size="300,200">
    <VerticalLayout>
      <List name="macros" height="120">
        <ListContainerElement name="row_0" height="30" menu="true">
          <Label name="row_0_text" text="Macro 1"/>
        </ListContainerElement>
        <ListContainerElement name="row_1" height="30">
          <Label name="row_1_text" text="Macro 2"/>
        </ListContainerElement>
        <ListLabelElement name="row_2" text="Macro 3" height="30"/>
      </List>
    </VerticalLayout>
  </Window>)");
  auto* list = w.Find<CListUI>("macros");
  // A click on the label inside a row selects the row.
  QTest::mouseClick(w.WidgetOf("row_1_text"), Qt::LeftButton);
  EXPECT_EQ(list->GetCurSel(), 1);
  const Recorded* pick = w.rec.Last("itemselect");
  ASSERT_NE(pick, nullptr);
  EXPECT_EQ(pick->name, "macros");
  EXPECT_EQ(pick->wParam, 1u);
  EXPECT_TRUE(w.WidgetOf("row_1")->property("selected").toBool());

  QTest::mouseClick(w.WidgetOf<QLabel>("row_2"), Qt::LeftButton);
  EXPECT_EQ(list->GetCurSel(), 2);
  EXPECT_TRUE(w.WidgetOf("row_2")->property("selected").toBool());
  EXPECT_FALSE(w.WidgetOf("row_1")->property("selected").toBool());

  QTest::mouseDClick(w.WidgetOf("row_0"), Qt::LeftButton);
  EXPECT_EQ(w.rec.Count("itemactivate", "row_0"), 1);

  // The context menu only where the row allows it.
  QContextMenuEvent menu0(QContextMenuEvent::Mouse, QPoint(5, 5), QPoint(5, 5));
  QApplication::sendEvent(w.WidgetOf("row_0"), &menu0);
  QContextMenuEvent menu1(QContextMenuEvent::Mouse, QPoint(5, 5), QPoint(5, 5));
  QApplication::sendEvent(w.WidgetOf("row_1"), &menu1);
  EXPECT_EQ(w.rec.Count("menu", "row_0"), 1);
  EXPECT_EQ(w.rec.Count("menu", "row_1"), 0);
}

const char* kKeys = R"(<Window size="300,200">
  <VerticalLayout>
    <SelectPanel name="panel" height="150">
      <DeviceKeyButton name="key_0" float="true" pos="10,10,50,50"/>
      <DeviceKeyButton name="key_1" float="true" pos="60,10,100,50"/>
      <DeviceKeyButton name="key_2" float="true" pos="200,90,240,130"/>
    </SelectPanel>
  </VerticalLayout>
</Window>)";

// What the window shows where the widget is.
QImage OnScreen(QWidget* widget) {
  QWidget* window = widget->window();
  return window->grab(QRect(widget->mapTo(window, QPoint(0, 0)), widget->size())).toImage();
}

QColor CentreColour(QWidget* widget) {
  QImage image = OnScreen(widget);
  return image.pixelColor(image.width() / 2, image.height() / 2);
}

// A point on a key's lit rim: the middle of its left edge, just inside the cap.
QColor RimColour(QWidget* widget) {
  QImage image = OnScreen(widget);
  return image.pixelColor(5, image.height() / 2);
}

double Luma(QColor c) { return 0.2126 * c.redF() + 0.7152 * c.greenF() + 0.0722 * c.blueF(); }

// Keys alone in a panel are painted by the panel; a key among other controls
// paints itself. Both must show the same.
const char* kMixedKeys = R"(<Window size="300,200">
  <VerticalLayout>
    <HorizontalLayout name="row" height="60">
      <Label name="caption" text="Key" width="100"/>
      <DeviceKeyButton name="key_0" width="40" height="40"/>
    </HorizontalLayout>
  </VerticalLayout>
</Window>)";

class KeyOverlay : public ::testing::TestWithParam<const char*> {};

TEST_P(KeyOverlay, FollowsTheModelsLightColour) {
  SkinWindow w(GetParam());
  auto* key = w.Find<CDeviceKeyButtonUI>("key_0");
  QWidget* widget = w.WidgetOf("key_0");
  ASSERT_NE(widget, nullptr);
  const QColor plain = CentreColour(widget);

  key->SetLightColor(0xFF0000);
  key->SetShowLightImage(true);
  QColor red = RimColour(widget);
  EXPECT_GT(red.red(), red.blue() + 100);
  EXPECT_GT(red.red(), red.green() + 100);

  key->SetLightColor(0x0000FF);
  QColor blue = RimColour(widget);
  EXPECT_GT(blue.blue(), blue.red() + 100);

  // Whatever the light, the middle (where the legend is) stays dark and
  // only takes a hint of it; the rim shows it nearly at full.
  for (DWORD colour : {0xFFFFFFu, 0xFFFF00u, 0x00FF00u, 0xFF0000u}) {
    key->SetLightColor(colour);
    EXPECT_LT(Luma(CentreColour(widget)), 0.3) << std::hex << colour;
    EXPECT_GT(Luma(RimColour(widget)), 0.7 * Luma(qtview::ToQColor(colour))) << std::hex << colour;
  }
  key->SetLightColor(0x0000FF);

  key->SetLightFade(0);  // no strength: the plain key again
  EXPECT_EQ(CentreColour(widget), plain);
  key->SetLightFade(255);
  key->SetShowLightImage(false);
  EXPECT_EQ(CentreColour(widget), plain);

  // Key-set badge: drawn only while the key-set flag is off.
  key->SetKeySetImage("no_such_image.png");
  QImage before = OnScreen(widget);
  key->SetKeySetFlag(false);
  EXPECT_NE(OnScreen(widget), before);
  key->SetKeySetFlag(true);
  EXPECT_EQ(OnScreen(widget), before);

  // A hidden key leaves the background.
  key->SetLightColor(0xFF0000);
  key->SetShowLightImage(true);
  const QColor panel = w.view->Window()->grab(QRect(150, 190, 1, 1)).toImage().pixelColor(0, 0);
  key->SetVisible(false);
  QApplication::processEvents();
  EXPECT_EQ(CentreColour(widget), panel);
  key->SetVisible(true);
  QApplication::processEvents();
  EXPECT_NE(CentreColour(widget), panel);
  EXPECT_GT(RimColour(widget).red(), RimColour(widget).blue() + 100);

  QTest::mouseDClick(widget, Qt::LeftButton);
  EXPECT_EQ(w.rec.Count("dbclick", "key_0"), 1);
}

INSTANTIATE_TEST_SUITE_P(QtSkinView, KeyOverlay, ::testing::Values(kKeys, kMixedKeys));

// A legend must stand out from its key under a light of any colour: on the
// key's own cap, and where the skin's key picture lets the light cover it.
TEST(QtSkinView, KeyLegendsReadOnEveryLight) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QImage face(40, 40, QImage::Format_ARGB32);
  face.fill(QColor(0x30, 0x30, 0x30));
  const QString facePath = dir.filePath("face.png");
  ASSERT_TRUE(face.save(facePath));
  const std::string xml = R"(<Window size="200,100"><VerticalLayout><SelectPanel name="panel" height="60">
      <DeviceKeyButton name="own" float="true" pos="10,10,50,50" text="W" resourcetext="false"/>
      <DeviceKeyButton name="pictured" float="true" pos="60,10,100,50" text="W" resourcetext="false" normalimage=")" +
                          facePath.toStdString() + R"("/></SelectPanel></VerticalLayout></Window>)";
  SkinWindow w(xml);
  for (const char* name : {"own", "pictured"}) {
    auto* key = w.Find<CDeviceKeyButtonUI>(name);
    ASSERT_NE(key, nullptr);
    key->SetShowLightImage(true);
    for (DWORD colour : {0xFFFFFFu, 0xFFFF00u, 0x000080u, 0x303030u}) {
      key->SetLightColor(colour);
      const QImage image = OnScreen(w.WidgetOf(name));
      // The legend's strongest contrast with the background beside it.
      const double background = Luma(image.pixelColor(13, 20));
      double contrast = 0;
      for (int y = 12; y < 28; ++y) {
        for (int x = 12; x < 28; ++x) contrast = std::max(contrast, std::abs(Luma(image.pixelColor(x, y)) - background));
      }
      EXPECT_GT(contrast, 0.45) << name << " " << std::hex << colour;
    }
  }
}

// A key's look is drawn once and reused while its light changes: whatever
// the look is drawn from must show at once, and going back must show the old
// look again, with the light still moving.
TEST(QtSkinView, KeyLookFollowsEachChangeUnderAMovingLight) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  QImage face(40, 40, QImage::Format_ARGB32);
  face.fill(QColor(0x30, 0x60, 0x30));
  const std::string facePath = dir.filePath("face.png").toStdString();
  ASSERT_TRUE(face.save(QString::fromStdString(facePath)));
  SkinWindow w(R"(<Window size="300,200"><VerticalLayout><SelectPanel name="panel" height="150">
      <DeviceKeyButton name="key" float="true" pos="10,10,50,50" text="W" resourcetext="false"/>
      <DeviceKeyButton name="wide" float="true" pos="60,60,110,100" text="W" resourcetext="false"/>
    </SelectPanel></VerticalLayout></Window>)");
  auto* key = w.Find<CDeviceKeyButtonUI>("key");
  QWidget* widget = w.WidgetOf("key");
  ASSERT_NE(widget, nullptr);
  key->SetShowLightImage(true);
  DWORD light = 0x00FF00;
  auto nextLight = [&] {
    light = light == 0x00FF00 ? 0xFF00FF : 0x00FF00;
    key->SetLightColor(light);
    QApplication::processEvents();
  };
  nextLight();
  const QImage before = OnScreen(widget);

  const struct {
    const char* what;
    std::function<void(bool)> set;
  } changes[] = {
      {"text", [&](bool on) { key->SetText(on ? "Q" : "W"); }},
      {"text colour", [&](bool on) { key->SetTextColor(on ? 0xFFFF4040 : 0); }},
      {"disabled", [&](bool on) { key->SetEnabled(!on); }},
      {"hot", [&](bool on) {
         TEventUI event;
         event.Type = on ? UiEventType::MouseEnter : UiEventType::MouseLeave;
         key->DoEvent(event);
       }},
      {"selected", [&](bool on) { key->SetSelected(on); }},
      {"key-unset badge", [&](bool on) {
         key->SetKeyUnsetImage("no_such_badge.png");
         key->SetKeyUnsetFlag(!on);
       }},
      {"key picture", [&](bool on) { key->SetNormalImage(on ? facePath : ""); }},
  };
  for (const auto& change : changes) {
    change.set(true);
    nextLight();
    nextLight();  // the light is back where it was
    EXPECT_NE(OnScreen(widget), before) << change.what;
    change.set(false);
    nextLight();
    nextLight();
    EXPECT_EQ(OnScreen(widget), before) << change.what;
  }

  // A new size: drawn as a key that had that size from the start.
  auto* wide = w.Find<CDeviceKeyButtonUI>("wide");
  wide->SetShowLightImage(true);
  wide->SetLightColor(light);
  key->SetAttribute("pos", "10,10,60,50");
  w.view->Relayout();
  QApplication::processEvents();
  ASSERT_EQ(widget->size(), w.WidgetOf("wide")->size());
  EXPECT_EQ(OnScreen(widget), OnScreen(w.WidgetOf("wide")));
}

TEST(QtSkinView, LegendColourFollowsTheBackgroundsLightness) {
  const struct {
    QColor background;
    bool darkText;
  } cases[] = {{Qt::white, true}, {Qt::yellow, true}, {Qt::green, true}, {QColor(0xA0, 0xA0, 0xA0), true},
               {QColor(0x60, 0x60, 0x60), false}, {Qt::blue, false}, {Qt::red, false}, {Qt::black, false}};
  for (const auto& c : cases) {
    const double legend = Luma(qtview::LegendOn(c.background));
    EXPECT_EQ(legend < Luma(c.background), c.darkText) << c.background.name().toStdString();
    EXPECT_GT(std::abs(legend - Luma(c.background)), 0.4) << c.background.name().toStdString();
  }
}

// An option shows the skin's picture for its state, filling it, without Qt
// greying the skin's own disabled picture.
TEST(QtSkinView, OptionShowsThePictureForItsState) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  auto picture = [&](const char* file, QColor colour) {
    QImage image(48, 48, QImage::Format_ARGB32);
    image.fill(colour);
    EXPECT_TRUE(image.save(dir.filePath(file)));
    return dir.filePath(file).toStdString();
  };
  const std::string normal = picture("n.png", Qt::red), selected = picture("s.png", Qt::green),
                    disabled = picture("d.png", Qt::blue);
  const std::string xml = R"(<Window size="200,100"><HorizontalLayout>
      <Option name="tile" width="48" height="48" normalimage=")" + normal + R"(" selectedimage=")" + selected +
                          R"(" disabledimage=")" + disabled + R"("/>
      <Option name="plain" width="48" height="48" normalimage=")" + normal + R"("/>
      <Option name="missing" width="48" height="48" normalimage="no_such_picture.png" text="M"/>
    </HorizontalLayout></Window>)";
  SkinWindow w(xml);
  auto* tile = w.Find<COptionUI>("tile");
  QWidget* widget = w.WidgetOf("tile");
  ASSERT_NE(widget, nullptr);
  EXPECT_EQ(static_cast<QPushButton*>(widget)->iconSize(), widget->size());
  EXPECT_EQ(CentreColour(widget), QColor(Qt::red));
  tile->Selected(true);
  EXPECT_EQ(CentreColour(widget), QColor(Qt::green));
  tile->SetEnabled(false);
  EXPECT_EQ(CentreColour(widget), QColor(Qt::blue));
  tile->SetEnabled(true);
  tile->Selected(false);
  EXPECT_EQ(CentreColour(widget), QColor(Qt::red));

  // Without pictures for other states the normal one stays, ungreyed.
  w.Find("plain")->SetEnabled(false);
  w.Find<COptionUI>("plain")->Selected(true);
  EXPECT_EQ(CentreColour(w.WidgetOf("plain")), QColor(Qt::red));

  // A picture that cannot be read leaves a plain button with its text.
  auto* missing = w.WidgetOf<QPushButton>("missing");
  ASSERT_NE(missing, nullptr);
  EXPECT_TRUE(missing->icon().isNull());
  EXPECT_EQ(missing->text(), "M");
}

// A key panel is marked opaque (nothing painted beneath it) only when its
// background covers it completely.
TEST(QtSkinView, KeyPanelIsOpaqueOnlyWhenItsBackgroundCoversIt) {
  const struct {
    const char* bkcolor;
    bool opaque;
  } cases[] = {{"", false}, {"#FF102030", true}, {"#80102030", false}};
  for (const auto& c : cases) {
    std::string xml = std::string(R"(<Window size="200,100"><VerticalLayout><SelectPanel name="panel")") +
                      (*c.bkcolor ? std::string(" bkcolor=\"") + c.bkcolor + "\"" : "") +
                      R"(><DeviceKeyButton name="key_0" float="true" pos="10,10,50,50"/></SelectPanel></VerticalLayout></Window>)";
    SkinWindow w(xml);
    EXPECT_EQ(w.WidgetOf("panel")->testAttribute(Qt::WA_OpaquePaintEvent), c.opaque) << c.bkcolor;
    // A later change of the look is followed.
    if (c.opaque) {
      w.Find("panel")->SetBkColor(0x40FFFFFF);
      QApplication::processEvents();
      EXPECT_FALSE(w.WidgetOf("panel")->testAttribute(Qt::WA_OpaquePaintEvent));
    }
  }
}

TEST(QtSkinView, RubberBandSelectsTheKeysItCrosses) {
  SkinWindow w(kKeys);
  QWidget* panel = w.WidgetOf("panel");
  ASSERT_NE(panel, nullptr);
  // Drag from empty panel space across key_0 and key_1 only.
  QTest::mousePress(panel, Qt::LeftButton, {}, QPoint(5, 5));
  QMouseEvent move(QEvent::MouseMove, QPointF(120, 60), panel->mapToGlobal(QPointF(120, 60)), Qt::NoButton,
                   Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(panel, &move);
  EXPECT_TRUE(w.Find<CSelectPanelUI>("panel")->IsBandActive());
  auto* band = panel->findChild<QRubberBand*>();
  ASSERT_NE(band, nullptr);
  EXPECT_TRUE(band->isVisible());
  EXPECT_EQ(band->geometry(), QRect(5, 5, 115, 55));
  QTest::mouseRelease(panel, Qt::LeftButton, {}, QPoint(120, 60));

  EXPECT_TRUE(w.Find<CDeviceKeyButtonUI>("key_0")->IsSelected());
  EXPECT_TRUE(w.Find<CDeviceKeyButtonUI>("key_1")->IsSelected());
  EXPECT_FALSE(w.Find<CDeviceKeyButtonUI>("key_2")->IsSelected());
  EXPECT_EQ(w.rec.Count("click_select_end", "panel"), 1);
  EXPECT_FALSE(band->isVisible());
}

TEST(QtSkinView, DraggingPansAPictureLargerThanItsButton) {
  App();
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  // Red on the left half, blue on the right.
  QImage picture(200, 100, QImage::Format_RGB32);
  picture.fill(Qt::red);
  for (int y = 0; y < 100; ++y) {
    for (int x = 100; x < 200; ++x) picture.setPixelColor(x, y, Qt::blue);
  }
  ASSERT_TRUE(picture.save(dir.filePath("pad_picture.png")));
  const auto oldPath = CPaintManagerUI::GetResourcePath();
  CPaintManagerUI::SetResourcePath(dir.path().toStdString());
  {
    SkinWindow w(R"(<Window size="200,100"><VerticalLayout>
      <HandImgSelectButton name="pad" handimage="pad_picture.png" width="60" height="60"/>
    </VerticalLayout></Window>)");
    QWidget* widget = w.WidgetOf("pad");
    ASSERT_NE(widget, nullptr);
    EXPECT_GT(CentreColour(widget).red(), 200);
    QTest::mousePress(widget, Qt::LeftButton, {}, QPoint(50, 30));
    QMouseEvent move(QEvent::MouseMove, QPointF(-150, 30), widget->mapToGlobal(QPointF(-150, 30)), Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
    QTest::mouseRelease(widget, Qt::LeftButton, {}, QPoint(-150, 30));
    // Pulled as far as the picture goes: its right edge shows.
    auto* pick = w.Find<CHandImgSelectButtonUI>("pad");
    EXPECT_EQ(pick->GetOffset().x, 140);
    EXPECT_EQ(pick->GetOffset().y, 0);
    QColor shown = CentreColour(widget);
    EXPECT_GT(shown.blue(), 200);
    EXPECT_LT(shown.red(), 50);
  }
  CPaintManagerUI::SetResourcePath(oldPath);
}

TEST(SkinViewProgram, DemoScreenshotIsWrittenAndNotBlank) {
  App();
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString out = dir.filePath("demo.png");
  QProcess proc;
  proc.start(KORVALE_BIN_DIR "/korvale-skinview",
             {KORVALE_SOURCE_DIR "/skin/demo/demo.xml", "--screenshot", out, "--quiet"});
  ASSERT_TRUE(proc.waitForFinished(60000));
  EXPECT_EQ(proc.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(proc.exitCode(), 0) << proc.readAllStandardError().toStdString();
  QImage image(out);
  ASSERT_FALSE(image.isNull());
  EXPECT_EQ(image.size(), QSize(800, 600));  // the skin's window size
  QSet<QRgb> colours;
  for (int y = 0; y < image.height(); y += 2) {
    for (int x = 0; x < image.width(); x += 2) colours.insert(image.pixel(x, y));
  }
  EXPECT_GT(colours.size(), 200);

  // A skin file that does not exist is an error, and nothing is written.
  QProcess bad;
  const QString none = dir.filePath("none.png");
  bad.start(KORVALE_BIN_DIR "/korvale-skinview", {dir.filePath("missing.xml"), "--screenshot", none});
  ASSERT_TRUE(bad.waitForFinished(60000));
  EXPECT_NE(bad.exitCode(), 0);
  EXPECT_FALSE(QFile::exists(none));
}

}  // namespace
}  // namespace korvale::test
