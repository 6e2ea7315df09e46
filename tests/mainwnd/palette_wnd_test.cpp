// The colour palette window: what each way of closing it returns to the main
// window, how the field, the presets, the numbers and the collected colours
// make the colour, what the palette file keeps, and bad palette files.
#include <fstream>
#include <optional>

#include "mainwnd/window_commands.h"
#include "mainwnd_fixture.h"
#include "profiles/json_file.h"
#include "ui/controls.h"
#include "windows/color_select_wnd.h"

namespace korvale::test {
namespace {

namespace fs = std::filesystem;
using Child = CMainWnd::ChildWindow;
constexpr DWORD kWhite = 0xFFFFFFFF;

class PaletteWndTest : public MainWndTest {
 protected:
  // A palette window of its own whose first layout has run (the file read).
  std::unique_ptr<CColorSelectWnd> Open(DWORD colour, bool multiColour = true) {
    auto w = std::make_unique<CColorSelectWnd>();
    EXPECT_NE(w->Create(0, "PalletDialog", 0x90000000, 0x80, UiRect{0, 0, 800, 572}), 0u);
    w->SetCurrentColour(colour);
    w->ShowMultiColourOption(multiColour);
    loop.RunPending();
    return w;
  }
  static COptionUI* Opt(CColorSelectWnd& w, const std::string& name) {
    auto* o = dynamic_cast<COptionUI*>(w.GetPaintManager().FindControl(name));
    EXPECT_NE(o, nullptr) << name;
    return o;
  }
  static CControlUI* Control(CColorSelectWnd& w, const char* name) {
    CControlUI* c = w.GetPaintManager().FindControl(name);
    EXPECT_NE(c, nullptr) << name;
    return c;
  }
  static DWORD Preview(CColorSelectWnd& w) { return Control(w, "color_show_btn")->GetBkColor(); }
  static std::string Numbers(CColorSelectWnd& w) {
    std::string out;
    for (const char* e : {"color_edit_r", "color_edit_g", "color_edit_b"})
      out += (out.empty() ? "" : " ") + std::string(Control(w, e)->GetText());
    return out;
  }
  // Types the three numbers and leaves the last field.
  static void Type(CColorSelectWnd& w, const char* r, const char* g, const char* b) {
    Control(w, "color_edit_r")->SetText(r);
    Control(w, "color_edit_g")->SetText(g);
    Control(w, "color_edit_b")->SetText(b);
    w.GetPaintManager().SendNotify(Control(w, "color_edit_b"), notify::kKillFocus);
  }
  // Selected options among the twenty of a prefix.
  static std::vector<int> Selected(CColorSelectWnd& w, const std::string& prefix) {
    std::vector<int> out;
    for (int i = 0; i < CColorSelectWnd::kSwatches; ++i)
      if (Opt(w, prefix + std::to_string(i))->IsSelected()) out.push_back(i);
    return out;
  }
  static const Json::Value& Info(const Json::Value& doc) { return doc["coloroptioninfo"]; }
};

TEST_F(PaletteWndTest, OkReturnsThePreviewsColourAndEveryOtherWayOutNothing) {
  wnd->SetMonitorSize({1920, 1080});  // the main window draws at 144 dpi
  Start();
  loop.AdvanceBy(200);  // the scale is set shortly after the start
  ASSERT_EQ(wnd->GetInterfaceScale(), 144);
  wnd->MoveWindow(UiRect{100, 50, 1100, 690});
  struct Case {
    const char* what;
    std::function<void(CColorSelectWnd&)> act;
    std::optional<DWORD> result;
  };
  auto click = [](const char* name) {
    return [name](CColorSelectWnd& w) { dynamic_cast<CButtonUI*>(Control(w, name))->Activate(); };
  };
  const Case cases[] = {
      {"OK untouched", click("okbtn"), 0xFF336699},
      {"preset, then OK", [&](CColorSelectWnd& w) { Opt(w, "color_option_8")->Activate(); click("okbtn")(w); }, 0xFF0000FF},
      {"close button", click("closebtn"), std::nullopt},
      {"cancel", click("laterbtn"), std::nullopt},
      {"system close", [](CColorSelectWnd& w) { w.SendMessage(wm::kSysCommand, SC_CLOSE, 0); }, std::nullopt},
      {"preset, then close", [&](CColorSelectWnd& w) { Opt(w, "color_option_8")->Activate(); click("closebtn")(w); }, std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::optional<DWORD> got = 0xDEADBEEF;
    bool ran = false;
    const auto key = UiLoop::NewTimerKey();
    loop.SetTimer(key, 10, [&] {
      loop.KillTimer(key);
      ran = true;
      auto* w = dynamic_cast<CColorSelectWnd*>(CWindowWnd::FromHandle(wnd->GetChildWindow(Child::kPalette)));
      ASSERT_NE(w, nullptr);
      EXPECT_TRUE(w->IsModal());
      EXPECT_EQ(w->GetParent(), hwnd);
      EXPECT_FALSE(wnd->IsWindowEnabled());
      EXPECT_EQ(w->GetWindowText(), "PalletDialog");
      const UiRect r = w->GetWindowRect(), m = wnd->GetWindowRect();
      EXPECT_EQ(r.right - r.left, 800);
      EXPECT_EQ(r.bottom - r.top, 572);
      EXPECT_EQ(r.left + r.right, m.left + m.right);
      EXPECT_EQ(w->GetUiScale(), 144);
      EXPECT_EQ(w->GetPaintManager().GetDPI(), 144);
      EXPECT_FALSE(Control(*w, "7color_layout")->IsVisible());
      EXPECT_EQ(Preview(*w), 0xFF336699u);
      // One at a time: a second open returns at once and opens nothing.
      const HWND first = w->GetHWND();
      EXPECT_EQ(wnd->Windows().OpenPalette(0xFF000000), std::nullopt);
      EXPECT_EQ(wnd->GetChildWindow(Child::kPalette), first);
      c.act(*w);
    });
    loop.Post([&] { got = wnd->Windows().OpenPalette(0xFF336699); });
    loop.AdvanceBy(1000);
    EXPECT_TRUE(ran);
    EXPECT_EQ(got, c.result);
    EXPECT_EQ(wnd->GetChildWindow(Child::kPalette), 0u);
    EXPECT_TRUE(wnd->IsWindowEnabled());
  }
}

TEST_F(PaletteWndTest, EachSourceOfColourFillsTheSelectedCollectedSwatchAndIsKept) {
  auto w = Open(0xFF336699);
  // The first opening copies the default file; its selections apply.
  ASSERT_TRUE(fs::exists(PaletteFilePath()));
  EXPECT_EQ(Selected(*w, "color_option_"), std::vector<int>{0});
  EXPECT_EQ(Selected(*w, "collect_color_option_"), std::vector<int>{0});
  EXPECT_EQ(Preview(*w), 0xFF336699u);
  EXPECT_EQ(Numbers(*w), "51 102 153");

  // An empty collected swatch becomes the one colours go to; nothing else changes.
  Opt(*w, "collect_color_option_5")->Activate();
  EXPECT_EQ(w->GetUserIndex(), 5);
  EXPECT_EQ(Preview(*w), 0xFF336699u);
  EXPECT_EQ(std::string(Opt(*w, "collect_color_option_5")->GetUserData()), "");

  // A preset.
  Opt(*w, "color_option_2")->Activate();
  COptionUI* five = Opt(*w, "collect_color_option_5");
  EXPECT_EQ(Preview(*w), 0xFFFFFF00u);
  EXPECT_EQ(Numbers(*w), "255 255 0");
  EXPECT_EQ(five->GetBkColor(), 0xFFFFFF00u);
  EXPECT_EQ(five->GetSelectedBkColor(), 0xFFFFFF00u);
  EXPECT_EQ(std::string(five->GetUserData()), "1");
  EXPECT_EQ(five->GetAttribute("bordersize"), "0");
  Json::Value doc = ReadJsonFile(PaletteFilePath());
  EXPECT_EQ(Info(doc)["palletDialogcoloroption_selectitem"].asInt(), 2);
  EXPECT_EQ(Info(doc)["palletDialogcollectcoloroption_selectitem"].asInt(), 5);
  EXPECT_EQ(Info(doc)["palletDialogcollectcoloroption"][5]["color"].asString(), "FFFFFF00");
  EXPECT_EQ(Info(doc)["palletDialogcollectcoloroption"][5]["UserData"].asString(), "1");
  EXPECT_EQ(Info(doc)["palletDialogcollectcoloroption"][0]["UserData"].asString(), "");

  // The colour field.
  auto* field = dynamic_cast<CColorPaletteUI*>(Control(*w, "Pallet"));
  ASSERT_TRUE(field->SetSelectColorFromUser(0xFF123456));
  EXPECT_EQ(Preview(*w), 0xFF123456u);
  EXPECT_EQ(Numbers(*w), "18 52 86");
  EXPECT_EQ(five->GetBkColor(), 0xFF123456u);
  // The selected preset clicked again gives its colour again.
  Opt(*w, "color_option_2")->Activate();
  EXPECT_EQ(Preview(*w), 0xFFFFFF00u);
  EXPECT_EQ(field->GetSelectColor(), 0xFFFFFF00u);

  // Typed numbers: above 255 is 255, an empty or broken field 0; the fields show what was taken.
  Type(*w, "300", "", "12");
  EXPECT_EQ(Preview(*w), 0xFFFF000Cu);
  EXPECT_EQ(Numbers(*w), "255 0 12");
  EXPECT_EQ(field->GetSelectColor(), 0xFFFF000Cu);
  EXPECT_EQ(five->GetBkColor(), 0xFFFF000Cu);
  Type(*w, "7x", "8", "9");
  EXPECT_EQ(Preview(*w), 0xFF000809u);

  // The multi-colour choice shows its picture until a colour is picked.
  Opt(*w, "7color")->Activate();
  EXPECT_TRUE(w->IsMultiColour());
  EXPECT_EQ(std::string(Control(*w, "color_show_btn")->GetBkImage()), CColorSelectWnd::kMultiColourImage);
  Opt(*w, "color_option_3")->Activate();
  EXPECT_FALSE(w->IsMultiColour());
  EXPECT_FALSE(Opt(*w, "7color")->IsSelected());
  EXPECT_EQ(std::string(Control(*w, "color_show_btn")->GetBkImage()), "");

  // Another slot, another colour; the first filled slot brings its colour back.
  Opt(*w, "collect_color_option_6")->Activate();
  Opt(*w, "color_option_8")->Activate();
  Opt(*w, "collect_color_option_5")->Activate();
  EXPECT_EQ(Preview(*w), 0xFF80FF00u);
  EXPECT_EQ(Numbers(*w), "128 255 0");
  EXPECT_EQ(field->GetSelectColor(), 0xFF80FF00u);
  dynamic_cast<CButtonUI*>(Control(*w, "okbtn"))->Activate();
  EXPECT_EQ(w->GetResultColour(), 0xFF80FF00u);
  loop.RunPending();
  EXPECT_FALSE(IsWindow(w->GetHWND()));

  // The next opening shows what was left.
  auto again = Open(0xFF000000);
  EXPECT_EQ(Selected(*again, "color_option_"), std::vector<int>{8});
  EXPECT_EQ(Selected(*again, "collect_color_option_"), std::vector<int>{5});
  EXPECT_EQ(Opt(*again, "collect_color_option_5")->GetBkColor(), 0xFF80FF00u);
  EXPECT_EQ(Opt(*again, "collect_color_option_6")->GetBkColor(), 0xFF0000FFu);
  EXPECT_EQ(std::string(Opt(*again, "collect_color_option_6")->GetUserData()), "1");
  EXPECT_EQ(Opt(*again, "collect_color_option_0")->GetBkColor(), kWhite);
  EXPECT_EQ(std::string(Opt(*again, "collect_color_option_0")->GetUserData()), "");
  // Opening never changes the colour it was given.
  EXPECT_EQ(Preview(*again), 0xFF000000u);
  EXPECT_EQ(Numbers(*again), "0 0 0");
}

TEST_F(PaletteWndTest, BadPaletteFilesOpenWithoutHarmAndSaveAFileOfTheRightShape) {
  struct Case {
    const char* text;
    int presetIndex;
    std::vector<int> presetSelected;
    int userIndex;
    std::vector<int> userSelected;
    DWORD swatch5;
    const char* userData5;
  };
  const Case cases[] = {
      // Wrong root or no JSON: rebuilt from the default copy.
      {"[1,2]", 0, {0}, 0, {0}, kWhite, ""},
      {"{broken", 0, {0}, 0, {0}, kWhite, ""},
      // A document, but nothing usable in it: the skin's colours, no selection.
      {R"({"coloroptioninfo":"x"})", 4, {}, 0, {}, kWhite, ""},
      {R"({"coloroptioninfo":{"palletDialogcoloroption_selectitem":1e20,
          "palletDialogcollectcoloroption_selectitem":-1,
          "palletDialogcoloroption":{"a":1},"palletDialogcollectcoloroption":"x"}})",
       4, {}, -1, {}, kWhite, ""},
      // Out of range, wrong types and a short colour, element by element.
      {R"({"coloroptioninfo":{"palletDialogcoloroption_selectitem":25,
          "palletDialogcollectcoloroption_selectitem":"3",
          "palletDialogcollectcoloroption":[null,5,{"color":7,"UserData":"1"},{"color":"ZZ","UserData":"1"},
            {"color":"FF00FF00","UserData":1},{"color":"0000FF","UserData":"1"}]}})",
       25, {}, 0, {}, 0xFF0000FF, "1"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    std::ofstream(PaletteFilePath(), std::ios::trunc) << c.text;
    auto w = Open(0xFF102030);
    EXPECT_EQ(w->GetPresetIndex(), c.presetIndex);
    EXPECT_EQ(Selected(*w, "color_option_"), c.presetSelected);
    EXPECT_EQ(w->GetUserIndex(), c.userIndex);
    EXPECT_EQ(Selected(*w, "collect_color_option_"), c.userSelected);
    EXPECT_EQ(Opt(*w, "collect_color_option_5")->GetBkColor(), c.swatch5);
    EXPECT_EQ(std::string(Opt(*w, "collect_color_option_5")->GetUserData()), c.userData5);
    for (int bad : {2, 3, 4}) {
      EXPECT_EQ(Opt(*w, "collect_color_option_" + std::to_string(bad))->GetBkColor(), kWhite) << bad;
      EXPECT_EQ(std::string(Opt(*w, "collect_color_option_" + std::to_string(bad))->GetUserData()), "") << bad;
    }
    EXPECT_EQ(Preview(*w), 0xFF102030u);
    // Picking still works and leaves a file of the right shape.
    Opt(*w, "collect_color_option_1")->Activate();
    Opt(*w, "color_option_1")->Activate();
    const Json::Value doc = ReadJsonFile(PaletteFilePath());
    EXPECT_EQ(Info(doc)["palletDialogcoloroption_selectitem"].asInt(), 1);
    EXPECT_EQ(Info(doc)["palletDialogcoloroption"][1]["color"].asString(), "FFFF8000");
    EXPECT_EQ(Info(doc)["palletDialogcollectcoloroption_selectitem"].asInt(), 1);
    EXPECT_EQ(Info(doc)["palletDialogcollectcoloroption"][1]["color"].asString(), "FFFF8000");
    w->DestroyWindow();
  }
}

TEST_F(PaletteWndTest, AScaleTheSkinDoesNotDrawAtIsTracedAndTakenAs96) {
  auto w = Open(0xFF000000, false);
  w->SetUiScale(144);
  EXPECT_EQ(w->GetPaintManager().GetDPI(), 144);
  TraceSink::Instance().Clear();
  w->SetUiScale(100);
  EXPECT_TRUE(TraceSink::Instance().Contains("SET_WND DPI SET ERROR"));
  EXPECT_EQ(w->GetUiScale(), 96);
  EXPECT_EQ(w->GetPaintManager().GetDPI(), 96);
  // A screen change while open follows the new scale.
  w->SendMessage(wm::kDpiChanged, 120, 0);
  EXPECT_EQ(w->GetPaintManager().GetDPI(), 120);
  // Without the multi-colour option it cannot be chosen.
  EXPECT_FALSE(Control(*w, "7color_layout")->IsVisible());
  EXPECT_FALSE(Opt(*w, "7color")->IsEnabled());
}

}  // namespace
}  // namespace korvale::test
