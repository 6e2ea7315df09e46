#include "ui_fixture.h"

namespace korvale::test {
namespace {

class BuilderTest : public UiTest {
 protected:
  static void SetUpTestSuite() { RegisterSkinControls(); }
  BuilderTest() {
    dir = std::filesystem::temp_directory_path() /
          ("korvale-ui-build-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir / "XML" / "CustomControlXML");
    CPaintManagerUI::SetResourcePath(dir);
    TraceSink::Instance().Clear();
  }
  ~BuilderTest() override {
    CPaintManagerUI::SetResourcePath({});
    CResourceManager::GetInstance().ResetResourceMap();
    std::filesystem::remove_all(dir);
  }
  void Write(const std::string& name, const std::string& text) { ASSERT_TRUE(WriteFileAtomic(dir / name, text)); }

  std::filesystem::path dir;
  CPaintManagerUI pm;
};

// Names and classes of a subtree, indented by depth.
std::string Outline(CControlUI* c, int depth = 0) {
  std::string out = std::string(static_cast<std::size_t>(depth) * 2, ' ') + c->GetClass() + " " +
                    std::string(c->GetName()) + "\n";
  if (auto* box = dynamic_cast<CContainerUI*>(c)) {
    for (int i = 0; i < box->GetCount(); ++i) out += Outline(box->GetItemAt(i), depth + 1);
  }
  return out;
}

TEST_F(BuilderTest, DemoSkinBuildsTheExpectedTree) {
  CPaintManagerUI::SetResourcePath(SkinDemoDir());
  ASSERT_TRUE(CResourceManager::GetInstance().LoadResource(SkinDemoDir() + "/res.xml"));
  CDialogBuilder builder;
  CControlUI* root = builder.Create("XML_DEMO", nullptr, &pm);
  ASSERT_NE(root, nullptr);
  pm.AttachDialog(root);

  EXPECT_EQ(Outline(pm.FindControl("caption")),
            "HorizontalLayout caption\n  Label title\n  Text subtitle\n  Control spacer\n  Button closebtn\n");
  EXPECT_EQ(Outline(pm.FindControl("key_panel")),
            "SelectPanel key_panel\n  DeviceKeyButton key_1\n  DeviceKeyButton key_2\n"
            "  HorizontalLayout key_row\n    DeviceKeyButton key_3\n");
  // Every custom control of the skin is there with its class.
  const std::pair<const char*, const char*> classes[] = {
      {"hand_btn", "HandImgButton"},         {"hand_select", "HandImgSelectButton"},
      {"record_btn", "RedioMacroButton"},    {"audio_view", "AudioRecord"},
      {"ring", "CircleProgress"},            {"host", "Wnd"},
      {"share_item_0", "CloudShareListItemUI"}, {"update_item_0", "UpdateInfoListItemUI"},
      {"macro_step_0", "ComboEditContainerElement"}, {"deng_Color_Pallet", "ColorPalette"},
      {"brightness_slider", "Slider"},       {"setting_progress", "Progress"},
      {"check_sync", "CheckBox"},            {"dpi_edit", "Edit"},
      {"nested_btn", "Button"},              {"plain_box", "Container"},
  };
  for (const auto& [name, cls] : classes) {
    CControlUI* c = pm.FindControl(name);
    ASSERT_NE(c, nullptr) << name;
    EXPECT_EQ(c->GetClass(), cls) << name;
  }
  EXPECT_NE(dynamic_cast<CChartViewUI*>(pm.FindControl("chart")), nullptr);

  // Attributes reached their controls; the window's own attributes and the
  // defaults list came through.
  EXPECT_EQ(pm.GetInitSize(), (UiSize{800, 600}));
  EXPECT_EQ(pm.GetWindowAttribute("mininfo"), "640,480");
  ASSERT_NE(pm.GetFont(1), nullptr);
  EXPECT_TRUE(pm.GetFont(1)->bold);
  EXPECT_EQ(static_cast<CButtonUI*>(pm.FindControl("closebtn"))->GetTextColor(), 0xFFE0E0E0u);
  auto* combo = static_cast<CComboUI*>(pm.FindControl("light_combo_modeSelect"));
  EXPECT_EQ(combo->GetCount(), 3);
  EXPECT_EQ(combo->GetCurSel(), 1);
  EXPECT_EQ(combo->GetText(), "Breathing");
  EXPECT_EQ(static_cast<CSliderUI*>(pm.FindControl("brightness_slider"))->GetValue(), 2);
  EXPECT_TRUE(static_cast<COptionUI*>(pm.FindControl("mode_static"))->IsSelected());
  EXPECT_EQ(pm.GetOptionGroup("mode").size(), 2u);
  auto* pages = static_cast<CTabLayoutUI*>(pm.FindControl("pages"));
  EXPECT_EQ(pages->GetCurSel(), 0);
  EXPECT_FALSE(pm.FindControl("page_custom")->IsVisible());
  auto* key1 = static_cast<CDeviceKeyButtonUI*>(pm.FindControl("key_1"));
  EXPECT_EQ(key1->GetLightImage(), "key_light.png");
  EXPECT_EQ(key1->GetNameTextColor(), 0xFF00FF00u);
  EXPECT_EQ(key1->GetFixedXY(), (UiRect{10, 10, 50, 50}));
  EXPECT_EQ(static_cast<CHandImgSelectButtonUI*>(pm.FindControl("hand_select"))->GetCursor(), CursorShape::Hand);
  EXPECT_EQ(pm.FindControl("dpi_edit")->GetVirtualWnd(), "basic");
  // The combo-edit element built its own row skin on init.
  auto* step = static_cast<CComboEditContainerElementUI*>(pm.FindControl("macro_step_0"));
  ASSERT_NE(step->GetDelayEdit(), nullptr);
  EXPECT_NE(step->GetText1(), nullptr);
  EXPECT_NE(step->GetText2(), nullptr);
  EXPECT_EQ(step->GetDelayEdit()->GetMaxValue(), 65535);
  EXPECT_FALSE(TraceSink::Instance().Contains("unknown control")) << "the demo uses only known tags";
}

TEST_F(BuilderTest, NestedFilesBuildInPlaceAndRecursionStops) {
  Write("outer.xml", R"(<Window size="640,480"><VerticalLayout name="outer"><Include source="inner.xml"/><Button name="after"/></VerticalLayout></Window>)");
  Write("inner.xml", R"(<Window size="10,10"><Font id="3" name="Mono"/><HorizontalLayout name="inner"><Label name="deep"/></HorizontalLayout></Window>)");
  Write("loop.xml", R"(<Window><VerticalLayout name="loop"><Include source="loop.xml"/></VerticalLayout></Window>)");
  CDialogBuilder builder;
  std::unique_ptr<CControlUI> outer(builder.Create("outer.xml", nullptr, &pm));
  ASSERT_NE(outer, nullptr);
  EXPECT_EQ(Outline(outer.get()), "VerticalLayout outer\n  HorizontalLayout inner\n    Label deep\n  Button after\n");
  EXPECT_EQ(pm.GetInitSize(), (UiSize{640, 480})) << "the nested file does not resize the window";
  EXPECT_NE(pm.GetFont(3), nullptr) << "but its fonts are the window's";

  std::unique_ptr<CControlUI> looped(builder.Create("loop.xml", nullptr, &pm));
  ASSERT_NE(looped, nullptr);
  int depth = 0;
  for (CControlUI* c = looped.get(); c != nullptr;) {
    ++depth;
    auto* box = static_cast<CContainerUI*>(c);
    c = box->GetCount() > 0 ? box->GetItemAt(0) : nullptr;
  }
  EXPECT_EQ(depth, CDialogBuilder::kMaxNesting);
  EXPECT_TRUE(TraceSink::Instance().Contains("nested more than"));
}

TEST_F(BuilderTest, IncludeOutsideTheSkinFolderIsRefused) {
  Write("escape.xml", R"(<Window><VerticalLayout name="e"><Include source="../../etc/passwd"/></VerticalLayout></Window>)");
  CDialogBuilder builder;
  std::unique_ptr<CControlUI> c(builder.Create("escape.xml", nullptr, &pm));
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(static_cast<CContainerUI*>(c.get())->GetCount(), 0);
  EXPECT_TRUE(TraceSink::Instance().Contains("outside the skin folder"));
}

TEST_F(BuilderTest, UnknownTagYieldsNoControlAndATrace) {
  Write("odd.xml", R"(<Window><VerticalLayout name="box">
      <Button name="one"/><Gizmo name="odd"><Button name="inside_odd"/></Gizmo><Button name="two"/>
    </VerticalLayout></Window>)");
  CDialogBuilder builder;
  std::unique_ptr<CControlUI> box(builder.Create("odd.xml", nullptr, &pm));
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(Outline(box.get()), "VerticalLayout box\n  Button one\n  Button two\n");
  EXPECT_TRUE(TraceSink::Instance().Contains("unknown control <Gizmo>"));
}

TEST_F(BuilderTest, BrokenOrMissingFilesGiveNoControlAndATrace) {
  Write("broken.xml", R"(<Window><VerticalLayout name="x"><Button name="y"></VerticalLayout></Window>)");
  CDialogBuilder builder;
  EXPECT_EQ(builder.Create("broken.xml", nullptr, &pm), nullptr);
  EXPECT_TRUE(TraceSink::Instance().Contains("malformed XML"));
  EXPECT_EQ(builder.Create("nowhere.xml", nullptr, &pm), nullptr);
  EXPECT_TRUE(TraceSink::Instance().Contains("nowhere.xml: cannot be read"));
  EXPECT_EQ(builder.CreateFromText("<Window/>", nullptr, &pm), nullptr);
}

// A callback standing in for the main window's factory.
struct MainFactory : IDialogBuilderCallback {
  CPaintManagerUI* pm = nullptr;
  CControlUI* CreateControl(std::string_view tag) override { return CreateSkinControl(tag, this, pm); }
};

TEST_F(BuilderTest, MainWindowTagsCreateObjectsAndNestedFiles) {
  Write("XML/CustomControlXML/LightControl.xml",
        R"(<Window><VerticalLayout name="light_panel"><Combo name="light_combo_modeSelect"/></VerticalLayout></Window>)");
  Write("XML/CustomControlXML/KeySetControl.xml", R"(<Window><VerticalLayout name="bad")");
  Write("main.xml", R"(<Window><HorizontalLayout name="main">
      <circleprogress name="ring"/><SELECTPANEL name="panel"/><LightSetControlUI name="lights"/>
      <KeySetControlUI name="keys"/><MacroSetControlUI name="macros"/><LightControl name="editor"/>
    </HorizontalLayout></Window>)");
  MainFactory f;
  f.pm = &pm;
  CDialogBuilder builder;
  pm.AttachDialog(builder.Create("main.xml", &f, &pm));
  ASSERT_NE(pm.GetRoot(), nullptr);
  EXPECT_NE(dynamic_cast<CCircleProgressUI*>(pm.FindControl("ring")), nullptr);
  EXPECT_NE(dynamic_cast<CSelectPanelUI*>(pm.FindControl("panel")), nullptr);
  // The nested file's root takes the tag's attributes (its name here).
  CControlUI* lights = pm.FindControl("lights");
  ASSERT_NE(lights, nullptr);
  EXPECT_NE(pm.FindSubControlByName(lights, "light_combo_modeSelect"), nullptr);
  // A broken or missing nested file, and a class nobody registered, give nothing.
  EXPECT_EQ(pm.FindControl("keys"), nullptr);
  EXPECT_EQ(pm.FindControl("macros"), nullptr);
  EXPECT_EQ(pm.FindControl("editor"), nullptr);
  EXPECT_TRUE(TraceSink::Instance().Contains("CLightControlUI is not registered"));
  EXPECT_EQ(CreateSkinControl("Button", &f, &pm), nullptr) << "other tags are left to the library";
}

TEST_F(BuilderTest, RegistrationFollowsTheClassOrderWithSuppliedFactories) {
  struct Editor : CVerticalLayoutUI {
    std::string GetClass() const override { return "LightControl"; }
  };
  std::map<std::string, CControlFactory::CreateClass> supplied = {
      {"CLightControlUI", [] { return static_cast<CControlUI*>(new Editor); }},
      {"CVarnikMouseDevice", [] { return static_cast<CControlUI*>(new CVerticalLayoutUI); }},
  };
  std::vector<std::string> names = RegisterSkinControls(supplied);
  std::vector<std::string> want = {"CCircleProgressUI", "CChartViewUI", "CWndUI", "CSelectPanelUI",
                                   "CDeviceKeyButtonUI", "CCloudShareListItemUI", "CUpdateInfoListItemUI",
                                   "CComboEditContainerElementUI", "CHandImgButtonUI", "CHandImgSelectButtonUI",
                                   "CRedioMacroButtonUI", "CAudioRecordUI", "CLightControlUI", "CVarnikMouseDevice"};
  EXPECT_EQ(names, want);
  std::unique_ptr<CControlUI> editor(CreateSkinControl("lightcontrol", nullptr, &pm));
  ASSERT_NE(editor, nullptr);
  EXPECT_EQ(editor->GetClass(), "LightControl");
  CControlFactory::GetInstance().UnregistControl("CLightControlUI");
  CControlFactory::GetInstance().UnregistControl("CVarnikMouseDevice");
}

TEST_F(BuilderTest, LanguageFilesAndTheResourceIndex) {
  Write("lang.xml", R"(<Language><Text id="keyboard_key_A">A-Taste</Text><Text>no id</Text></Language>)");
  Write("bad_lang.xml", R"(<Language><Text id="x">y</Language>)");
  CResourceManager& rm = CResourceManager::GetInstance();
  unsigned v = rm.GetLanguageVersion();
  ASSERT_TRUE(rm.LoadLanguage(dir / "lang.xml"));
  EXPECT_EQ(rm.GetText("keyboard_key_A"), "A-Taste");
  EXPECT_EQ(rm.GetText("unknown_id"), "unknown_id");
  EXPECT_GT(rm.GetLanguageVersion(), v);
  EXPECT_FALSE(rm.LoadLanguage(dir / "bad_lang.xml"));
  EXPECT_EQ(rm.GetText("keyboard_key_A"), "A-Taste") << "a bad file changes nothing";
  Write("lang.json", R"({"keyboard_key_A": "Key A", "nested": {"x": 1}, "num": 5})");
  ASSERT_TRUE(rm.LoadLanguage(dir / "lang.json"));
  EXPECT_EQ(rm.GetText("keyboard_key_A"), "Key A");
  EXPECT_EQ(rm.FindText("nested"), nullptr);
  EXPECT_TRUE(TraceSink::Instance().Contains("text num is not a string"));
  Write("bad.json", R"({"a": "b",)");
  EXPECT_FALSE(rm.LoadLanguage(dir / "bad.json"));
  EXPECT_EQ(rm.GetText("keyboard_key_A"), "Key A");
  // Nesting deep enough to make the parser throw is a malformed file, not an end.
  Write("deep.json", std::string(5000, '[') + std::string(5000, ']'));
  EXPECT_FALSE(rm.LoadLanguage(dir / "deep.json"));
  Write("array.json", R"(["keyboard_key_A"])");
  EXPECT_FALSE(rm.LoadLanguage(dir / "array.json"));
  EXPECT_EQ(rm.GetText("keyboard_key_A"), "Key A");
  // The installed language files load as they are.
  ASSERT_TRUE(rm.LoadLanguage(std::filesystem::path(KORVALE_SOURCE_DIR) / "data/Language/Deutsch.json"));
  EXPECT_EQ(rm.GetText("kb_device_name_text"), "Tastatur");
  rm.SetLanguageTexts({});

  Write("res.xml", R"(<Res><Xml name="XML_MAIN" path="XML\main.xml"/><Image name="logo" path="img/logo.png"/></Res>)");
  ASSERT_TRUE(rm.LoadResource(dir / "res.xml"));
  EXPECT_EQ(rm.GetXmlPath("XML_MAIN"), "XML/main.xml");
  EXPECT_EQ(CDialogBuilder::ResolveSkinPath("XML_MAIN"), dir / "XML/main.xml");
  EXPECT_EQ(rm.GetImagePath("logo"), "img/logo.png");
  EXPECT_FALSE(rm.LoadResource(dir / "missing.xml"));
  EXPECT_EQ(rm.GetXmlPath("XML_MAIN"), "XML/main.xml");
}

}  // namespace
}  // namespace korvale::test
