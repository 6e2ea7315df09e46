// The lighting handlers on a real keyboard page talking to korvale-emu: each
// user change alters one field of the record, runs the steps in order, lands
// in the profile file and reaches the keyboard; the same-mode command reaches
// every open page with its own effect for the shared one.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "devices/page_setup.h"
#include "devices/profile_switch.h"
#include "devices/varnik_keyboard_device.h"
#include "editors/light_control.h"
#include "editors/light_handlers.h"
#include "hid/device_table.h"
#include "hid/hid_device.h"
#include "platform/trace.h"
#include "platform/ui_loop.h"
#include "profiles/json_file.h"
#include "profiles/settings_files.h"
#include "tests/support/bus_paths.h"
#include "tests/support/emu_process.h"
#include "tests/support/file_writes.h"
#include "tests/support/journal.h"
#include "tests/support/temp_dir.h"
#include "ui/containers.h"
#include "ui/controls.h"
#include "ui/dialog_builder.h"
#include "ui/paint_manager.h"
#include "ui/skin_controls.h"

namespace korvale {
namespace {

namespace fs = std::filesystem;
using testing::EmuProcess;
using testing::Packet;

const std::string kLightSkin = std::string(KORVALE_SOURCE_DIR) + "/skin/XML/CustomControlXML/LightControl.xml";
constexpr const char* kProfile = "{4F1D2C3B-0000-4000-8000-0000000000A1}";

// The keyboard page, with the steps of a change written down as they run.
class StepKeyboard : public CVarnikKeyboardDevice {
 public:
  void SetLightInfo(const std::array<uint32_t, 5>& w) override {
    steps.push_back("SetLightInfo");
    CVarnikKeyboardDevice::SetLightInfo(w);
  }
  void SaveProfile() override {
    steps.push_back("SaveProfile");
    CVarnikKeyboardDevice::SaveProfile();
  }
  int ApplyLighting() override {
    steps.push_back("ApplyLighting");
    return CVarnikKeyboardDevice::ApplyLighting();
  }
  int WriteDeviceConfig(int profile, int first, int a, int b, int c) override {
    steps.push_back("WriteDeviceConfig " + std::to_string(profile) + "," + std::to_string(first) + "," +
                    std::to_string(a));
    lastWrite = CVarnikKeyboardDevice::WriteDeviceConfig(profile, first, a, b, c);
    return lastWrite;
  }
  void SetCustomGroup(int group) override { steps.push_back("SetCustomGroup " + std::to_string(group)); }
  std::vector<std::string> steps;
  int lastWrite = -999;
};

class Builder : public IDialogBuilderCallback {
 public:
  CControlUI* CreateControl(std::string_view tag) override {
    return tag == "VarnikKeyboardDevice" ? new StepKeyboard() : nullptr;
  }
};

// Forwards the notifications of the editors as the main window does.
class Forwarder : public INotifyUI {
 public:
  std::function<void(TNotifyUI&)> fn;
  void Notify(TNotifyUI& msg) override {
    if (fn) fn(msg);
  }
};

// The command collection of an emulated interface (the headset has only one).
std::string PathOf(const std::string& socket) { return testing::BusPath(socket, socket == "headset" ? 0 : 4); }

class LightHandlersTest : public ::testing::Test {
 public:  // the change table's steps reach the fixture
  void SetUp() override {
    dir_ = tmp_.Path();
    ::setenv("KORVALE_VHID_DIR", (dir_ / "bus").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (dir_ / "data").c_str(), 1);
    CHidDevice::SetHidrawEnabled(false);
    SetUiLoop(&loop_);
    RegisterSkinControls(DeviceControlCreators());
    RegisterLightControl();
    ASSERT_TRUE(emu_.Start({"--dir", (dir_ / "bus").string(), "keyboard", "mouse-cable", "mousepad", "headset"}));
    for (int i = 0; i < 4; ++i) ASSERT_FALSE(emu_.Line().empty());

    auto* root = new CVerticalLayoutUI();
    Builder callback;
    CDialogBuilder builder;
    kb_ = dynamic_cast<StepKeyboard*>(
        builder.Create(std::string(KORVALE_SOURCE_DIR) + "/skin/XML/DeviceXml/keyboarddevice.xml", &callback, &pm_,
                       root));
    ASSERT_NE(kb_, nullptr);
    auto* lightPage = dynamic_cast<CContainerUI*>(kb_->FindSubControl("device_macro_page"));
    ASSERT_NE(lightPage, nullptr);
    kbEditor_ = dynamic_cast<CLightControlUI*>(builder.Create(kLightSkin, nullptr, &pm_, lightPage));
    ASSERT_NE(kbEditor_, nullptr);
    // Pages of the other kinds: the base page with its own editor.
    for (int kind : {2, 3, 7, 2}) {
      auto* page = new CVarnikUSBDevice();
      page->SetKind(kind, 0);
      root->Add(page);
      auto* editor = dynamic_cast<CLightControlUI*>(builder.Create(kLightSkin, nullptr, &pm_, page));
      ASSERT_NE(editor, nullptr);
      editor->SetDeviceKind(kind);
      std::vector<std::string> names;
      for (int i = 0; i < 12; ++i) names.push_back("light_mode_" + std::to_string(i));
      editor->SetEffectList(names, std::vector<int>(names.size(), 1), 4, 4);
      others_.push_back(page);
    }
    pm_.AttachDialog(root);
    // The lighting tab is the one on screen (hidden controls take no clicks).
    auto* tabs = dynamic_cast<CTabLayoutUI*>(kb_->FindSubControl("device_function_switch"));
    ASSERT_NE(tabs, nullptr);
    ASSERT_TRUE(tabs->SelectItem(1, false));

    constexpr int kKeyboardProduct = 1;
    const auto identity = ProductIdentity(kKeyboardProduct);
    ASSERT_TRUE(identity);
    ASSERT_TRUE(SetUpPage(*kb_, kKeyboardProduct, *identity));
    kb_->SetProfileName(kProfile);
    kb_->InitPage();
    ASSERT_EQ(kbEditor_->GetDeviceKind(), 1);
    ASSERT_TRUE(kb_->AttachPrimary(PathOf("keyboard"), false, proto::kModeCable));
    kb_->OnConnected();
    ASSERT_TRUE(others_[0]->AttachPrimary(PathOf("mouse-cable"), false, 0));
    ASSERT_TRUE(others_[1]->AttachPrimary(PathOf("mousepad"), false, 0));
    ASSERT_TRUE(others_[2]->AttachPrimary(PathOf("headset"), false, 0));
    // others_[3]: a mouse page whose device is not connected.

    all_ = {others_[0], others_[1], others_[2], others_[3], kb_};  // any order
    handlers_ = std::make_unique<CLightHandlers>(LightHandlerHooks{
        [this](CVarnikUSBDevice&, int bright) { kb_->steps.push_back("FillCustomColours " + std::to_string(bright)); },
        [this](CVarnikUSBDevice&) { kb_->steps.push_back("ReloadCustomColours"); },
        [this](int shared, const LightInfo& info) { syncModes_.push_back({shared, info}); }});
    forward_.fn = [this](TNotifyUI& msg) { handled_ += handlers_->Handle(msg, kb_, all_); };
    pm_.AddNotifier(&forward_);
    kb_->steps.clear();
  }

  void TearDown() override {
    pm_.RemoveNotifier(&forward_);
    pm_.AttachDialog(nullptr);
    emu_.Kill();
    SetUiLoop(nullptr);
  }

  template <class T>
  T* K(const std::string& name) {
    auto* c = dynamic_cast<T*>(kbEditor_->FindSubControl(name));
    EXPECT_NE(c, nullptr) << name;
    return c;
  }
  LightInfo Record() const { return kb_->GetLightInfoRecord(); }
  fs::path ProfileFile(const std::string& uuid = kProfile) const {
    return dir_ / "data" / kIdentity / "keyboard" / (uuid + ".Json");
  }
  Json::Value ProfileLightInfo(const std::string& uuid = kProfile) const {
    return ReadJsonFile(ProfileFile(uuid))["Device"][0]["LightInfo"];
  }

  testing::TempDir tmp_{"korvale-light"};
  fs::path dir_;
  VirtualUiLoop loop_;
  CPaintManagerUI pm_;
  EmuProcess emu_;
  StepKeyboard* kb_ = nullptr;
  CLightControlUI* kbEditor_ = nullptr;
  std::vector<CVarnikUSBDevice*> others_;
  std::vector<CVarnikUSBDevice*> all_;
  std::unique_ptr<CLightHandlers> handlers_;
  Forwarder forward_;
  int handled_ = 0;
  std::vector<std::pair<int, LightInfo>> syncModes_;
};

const std::vector<std::string> kFullSteps = {"SetLightInfo", "SaveProfile", "ApplyLighting",
                                             "WriteDeviceConfig 0,0,1"};

struct ChangeCase {
  const char* what;
  std::function<void(LightHandlersTest&)> act;
  std::function<void(LightInfo&)> expect;  // the one field that changes
  bool clearsMarker;
};

TEST_F(LightHandlersTest, EachChangeAltersOneFieldAndRunsTheStepsInOrder) {
  auto editText = [](const char* box, const char* text) {
    return [box, text](LightHandlersTest& t) {
      auto* edit = t.K<CEditUI>(box);
      edit->SetText(text);
      t.pm_.SendNotify(edit, notify::kKillFocus);
    };
  };
  const ChangeCase cases[] = {
      {"effect", [](LightHandlersTest& t) { t.K<CComboUI>("light_combo_modeSelect")->SelectItemFromUser(7); },
       [](LightInfo& i) { i.selectItem = 7; }, true},
      {"extra mode", [](LightHandlersTest& t) { t.K<CComboUI>("light_combo_ZZCCmodeSelect")->SelectItemFromUser(2); },
       [](LightInfo& i) { i.zzccLedMode = 2; }, false},
      {"brightness", [](LightHandlersTest& t) { t.K<CSliderUI>("deng_light_slider")->SetValueFromUser(2); },
       [](LightInfo& i) { i.light = 2; }, true},
      {"speed", [](LightHandlersTest& t) { t.K<CSliderUI>("deng_speed_slider")->SetValueFromUser(4); },
       [](LightInfo& i) { i.speed = 4; }, true},
      {"green 300", editText("deng_edit_G", "300"),
       [](LightInfo& i) {
         i.green = 255;
         i.multiColor = 0;
       },
       true},
      {"red abc", editText("deng_edit_R", "abc"),
       [](LightInfo& i) {
         i.red = 0;
         i.multiColor = 0;
       },
       true},
      {"palette", [](LightHandlersTest& t) { t.K<CColorPaletteUI>("deng_Color_Pallet")->SetSelectColorFromUser(0xFF123456); },
       [](LightInfo& i) {
         i.red = 0x12, i.green = 0x34, i.blue = 0x56;
         i.multiColor = 0;
       },
       true},
      {"swatch", [](LightHandlersTest& t) { t.K<CButtonUI>("color_option_4")->Activate(); },
       [](LightInfo& i) {
         i.red = 0, i.green = 0xFF, i.blue = 0xFF;
         i.multiColor = 0;
       },
       false},
      {"multicolour", [](LightHandlersTest& t) { t.K<COptionUI>("deng_7color_check")->Activate(); },
       [](LightInfo& i) { i.multiColor = !i.multiColor; }, true},
      {"direction left", [](LightHandlersTest& t) { t.K<COptionUI>("deng_FXL_check")->Activate(); },
       [](LightInfo& i) { i.fx = 1; }, true},
      {"direction right", [](LightHandlersTest& t) { t.K<COptionUI>("deng_FXR_check")->Activate(); },
       [](LightInfo& i) { i.fx = 0; }, true},
  };
  // The controls start from the record, with the direction to the right.
  LightInfo start = Record();
  start.fx = 0;
  kb_->SetLightInfo(start.ToWords());
  kbEditor_->ShowLightInfo(start);
  for (const ChangeCase& c : cases) {
    SCOPED_TRACE(c.what);
    kb_->Comm().lightSync = 1;
    kb_->steps.clear();
    ASSERT_EQ(emu_.Command("journal-clear keyboard"), "ok journal-clear keyboard");
    LightInfo want = Record();
    c.expect(want);
    const int before = handled_;
    c.act(*this);
    EXPECT_EQ(handled_, before + 1);
    EXPECT_EQ(Record(), want);
    EXPECT_EQ(kb_->steps, kFullSteps);
    EXPECT_EQ(kb_->lastWrite, 1);
    EXPECT_EQ(kb_->Comm().lightSync.load(), c.clearsMarker ? 0 : 1);
    // The profile file and the keyboard's active record hold the change.
    const Json::Value li = ProfileLightInfo();
    EXPECT_EQ(li["SelectItem"].asInt(), want.selectItem);
    EXPECT_EQ(li["Light"].asInt(), want.light);
    EXPECT_EQ(li["Speed"].asInt(), want.speed);
    EXPECT_EQ(li["Fx"].asInt(), want.fx);
    EXPECT_EQ(li["MultiColor"].asBool(), want.multiColor != 0);
    EXPECT_EQ(li["Red"].asInt(), want.red);
    EXPECT_EQ(li["Green"].asInt(), want.green);
    EXPECT_EQ(li["Blue"].asInt(), want.blue);
    EXPECT_EQ(li["ZZCCLedMode"].asInt(), want.zzccLedMode);
    std::vector<uint8_t> written;
    for (const Packet& p : testing::ParseJournal(emu_.Listing("journal keyboard")))
      if (p.cmd == 0x06 && p.off == 0) written = p.data;
    ASSERT_GT(written.size(), proto::kKbRecZzccLedMode);
    EXPECT_EQ(written[proto::kKbRecBrightness], want.light);
    EXPECT_EQ(written[proto::kKbRecSpeed], 4 - want.speed);
    EXPECT_EQ(written[proto::kKbRecDirection], want.fx);
    EXPECT_EQ(written[proto::kKbRecMultiColor], want.multiColor);
    EXPECT_EQ(written[proto::kKbRecGreen], want.green);
    EXPECT_EQ(written[proto::kKbRecZzccLedMode], want.zzccLedMode);
  }
  // What the colour changes leave on screen.
  EXPECT_EQ(K<CEditUI>("deng_edit_G")->GetText(), "255");
  EXPECT_EQ(K<CEditUI>("deng_edit_R")->GetText(), "0") << "the swatch refilled the boxes";
  EXPECT_EQ(K<CEditUI>("deng_edit_B")->GetText(), "255");
  EXPECT_EQ(kbEditor_->GetPaletteColour(), 0xFF00FFFFu);
  EXPECT_EQ(kbEditor_->GetColourDisplay(), 0xFF00FFFFu);
}

TEST_F(LightHandlersTest, TypedColourValuesAreClampedShownAndClearMulticolour) {
  kbEditor_->ShowLightInfo(Record());
  ASSERT_TRUE(kbEditor_->GetMultiColour());
  auto* g = K<CEditUI>("deng_edit_G");
  ASSERT_TRUE(g->SetTextFromUser("300"));
  pm_.SendNotify(g, notify::kKillFocus);
  EXPECT_EQ(Record().green, 255);
  EXPECT_EQ(g->GetText(), "255");
  EXPECT_FALSE(kbEditor_->GetMultiColour());
  EXPECT_EQ(kbEditor_->GetPaletteColour() & 0xFF00FF00u, 0xFF00FF00u);
  auto* b = K<CEditUI>("deng_edit_B");
  for (const char* text : {"", "abc", "-4"}) {
    ASSERT_TRUE(b->SetTextFromUser(text));
    pm_.SendNotify(b, notify::kKillFocus);
    EXPECT_EQ(Record().blue, 0) << text;
    EXPECT_EQ(b->GetText(), "0") << text;
  }
}

TEST_F(LightHandlersTest, EffectChangeSetsThePanelsAndCustomGroupSkipsThePreview) {
  kbEditor_->ShowLightInfo(Record());
  K<CComboUI>("light_combo_modeSelect")->SelectItemFromUser(20);
  EXPECT_TRUE(K<CControlUI>("lightcustom_layout")->IsVisible());
  EXPECT_FALSE(K<CControlUI>("deng_speed_layout")->IsVisible());

  kb_->steps.clear();
  K<CComboUI>("light_combo_custommodeSelect")->SelectItemFromUser(3);
  EXPECT_EQ(Record().customGroup, 3);
  EXPECT_EQ(kb_->steps, (std::vector<std::string>{"SetCustomGroup 3", "SetLightInfo", "SaveProfile",
                                                  "WriteDeviceConfig 0,0,1", "ReloadCustomColours"}));
  EXPECT_EQ(ProfileLightInfo()["CustomGroup"].asInt(), 3);

  kb_->steps.clear();
  const LightInfo before = Record();
  dynamic_cast<CButtonUI*>(kbEditor_->FindSubControl("custom_off_color_btn"))->Activate();
  EXPECT_EQ(kb_->steps, (std::vector<std::string>{"FillCustomColours 0"}));
  EXPECT_EQ(Record(), before);
}

TEST_F(LightHandlersTest, ClickingTheChosenDirectionAgainChangesNothing) {
  kbEditor_->ShowLightInfo(Record());
  K<COptionUI>("deng_FXL_check")->Activate();  // now FXL is chosen
  kb_->steps.clear();
  K<COptionUI>("deng_FXL_check")->Activate();  // an ungrouped option toggles off
  EXPECT_TRUE(kb_->steps.empty());
  EXPECT_TRUE(K<COptionUI>("deng_FXL_check")->IsSelected());
  EXPECT_FALSE(K<COptionUI>("deng_FXR_check")->IsSelected());
  EXPECT_EQ(Record().fx, 1);
}

TEST_F(LightHandlersTest, AudioChangesStoreSaveAndApplyWithoutADeviceWrite) {
  kbEditor_->ApplyLayout(29);  // the music effect shows the audio colours
  AudioLightInfo rec;
  rec.audioMode = 1;
  rec.bkRed = 5, rec.bkGreen = 6, rec.bkBlue = 7;
  rec.fgRed = 100, rec.fgGreen = 110, rec.fgBlue = 120;
  rec.sevenColor = 1;
  rec.colorType = 1;
  auto w = rec.ToWords();
  kb_->SetAudioLightColours(w[0], w[1], w[2]);
  kb_->steps.clear();
  // A foreground colour typed in clears the 7-colour flag.
  auto* r = K<CEditUI>("deng_audioedit_R");
  ASSERT_TRUE(r->SetTextFromUser("999"));
  pm_.SendNotify(r, notify::kKillFocus);
  EXPECT_EQ(kb_->steps, (std::vector<std::string>{"SaveProfile", "ApplyLighting"}));
  AudioLightInfo got = AudioLightInfo::FromWords(kb_->GetAudioLightColours());
  EXPECT_EQ(got.fgRed, 255);
  EXPECT_EQ(got.sevenColor, 0);
  EXPECT_EQ(r->GetText(), "255");
  // Switching to the background keeps both colours; a swatch then sets the background.
  K<COptionUI>("audio_BkColor_check")->Activate();
  got = AudioLightInfo::FromWords(kb_->GetAudioLightColours());
  EXPECT_EQ(got.colorType, 0);
  EXPECT_EQ((std::array<int, 6>{got.bkRed, got.bkGreen, got.bkBlue, got.fgRed, got.fgGreen, got.fgBlue}),
            (std::array<int, 6>{5, 6, 7, 255, 110, 120}));
  dynamic_cast<CButtonUI*>(kbEditor_->FindSubControl("audiocolor_option_6"))->Activate();
  got = AudioLightInfo::FromWords(kb_->GetAudioLightColours());
  EXPECT_EQ((std::array<int, 3>{got.bkRed, got.bkGreen, got.bkBlue}), (std::array<int, 3>{0, 0, 255}));
  EXPECT_EQ(kbEditor_->GetAudioEditText(2), "255");
  // The profile file holds the audio record.
  const Json::Value a =
      ReadJsonFile(dir_ / "data" / kIdentity / "keyboard" / (std::string(kProfile) + ".Json"))["Device"][0]
                  ["AudioLightInfo"];
  EXPECT_EQ(a["BkColorB"].asInt(), 255);
  EXPECT_EQ(a["FgColorR"].asInt(), 255);
  // Mode 3 disables both colour panels.
  K<CComboUI>("light_combo_audiomodeSelect")->SelectItemFromUser(3);
  EXPECT_EQ(AudioLightInfo::FromWords(kb_->GetAudioLightColours()).audioMode, 3);
  EXPECT_FALSE(K<CControlUI>("light_audiocolor_layout")->IsEnabled());
  EXPECT_FALSE(K<CControlUI>("audiocolorpallet_layout")->IsEnabled());
}

// A drag across the palette changes the colour at every step; the page
// writes its profile file at most once per interval, the drag's last colour
// always lands, and a profile switch writes a waiting save at once.
TEST_F(LightHandlersTest, PaletteDragSavesAtMostOncePerIntervalAndTheLastColourLands) {
  testing::FileWrites writes(ProfileFile());
  ASSERT_TRUE(writes.Ok());
  auto* palette = K<CColorPaletteUI>("deng_Color_Pallet");
  const auto colour = [](int green) { return 0xFF000000u | static_cast<DWORD>(green) << 8; };
  const auto greenOnDisk = [this] { return ProfileLightInfo()["Green"].asInt(); };
  constexpr int kInterval = static_cast<int>(CVarnikUSBDevice::kDragSaveIntervalMs);

  // The press saves at once and starts an interval.
  palette->SetSelectColorFromUser(colour(0));
  EXPECT_EQ(writes.Count(), 1);
  EXPECT_EQ(greenOnDisk(), 0);
  const uint64_t start = loop_.Now();
  std::vector<uint64_t> writeTimes = {0};
  for (int i = 1; i <= 40; ++i) {
    loop_.AdvanceBy(10);
    palette->DragColorFromUser(colour(i));
    EXPECT_EQ(Record().green, i);  // the page and the keyboard follow every step
    while (static_cast<int>(writeTimes.size()) < writes.Count()) writeTimes.push_back(loop_.Now() - start);
  }
  // 400 ms of steps: one save at the end of the first interval, none more.
  EXPECT_EQ(writeTimes, (std::vector<uint64_t>{0, kInterval}));
  EXPECT_EQ(greenOnDisk(), 24) << "the interval's save holds the step before it ended";
  // The release picks the last colour again: saved at once.
  palette->SetSelectColorFromUser(palette->GetSelectColor());
  EXPECT_EQ(writes.Count(), 3);
  EXPECT_EQ(greenOnDisk(), 40);

  // A drag that stops without a release: its last step lands when the
  // interval ends, and an interval without a step writes nothing.
  loop_.AdvanceBy(10);
  palette->DragColorFromUser(colour(41));
  palette->DragColorFromUser(colour(42));
  EXPECT_EQ(writes.Count(), 3);
  loop_.AdvanceBy(kInterval);
  EXPECT_EQ(writes.Count(), 4);
  EXPECT_EQ(greenOnDisk(), 42);
  loop_.AdvanceBy(3 * kInterval);
  EXPECT_EQ(writes.Count(), 4);

  // Another profile chosen mid-drag: the waiting colour lands in the old file.
  palette->DragColorFromUser(colour(43));
  palette->DragColorFromUser(colour(44));
  EXPECT_EQ(writes.Count(), 5);
  EXPECT_TRUE(kb_->IsProfileSavePending());
  const std::string other = "{4F1D2C3B-0000-4000-8000-0000000000A2}";
  EXPECT_TRUE(SwitchPageProfile(*kb_, other, 1920, 1080).loaded);
  EXPECT_EQ(writes.Count(), 6);
  EXPECT_EQ(greenOnDisk(), 44);
  EXPECT_FALSE(kb_->IsProfileSavePending());
  loop_.AdvanceBy(3 * kInterval);
  EXPECT_EQ(writes.Count(), 6);
  EXPECT_NE(ProfileLightInfo(other)["Green"].asInt(), 44) << "the new profile keeps its own colour";
}

TEST_F(LightHandlersTest, SameModeReachesEveryOpenPageWithItsOwnEffect) {
  LightInfo info = Record();
  info.selectItem = 6;  // keyboard static -> shared 1
  info.light = 3;
  info.red = 9, info.green = 8, info.blue = 7;
  kb_->SetLightInfo(info.ToWords());
  kbEditor_->SetSameModeAvailable(true);
  kbEditor_->ShowLightInfo(info);
  auto* same = K<CButtonUI>("deng_same_mode");
  ASSERT_TRUE(same->IsVisible());
  LightInfo offline = info;
  offline.selectItem = 9;
  others_[3]->SetLightInfo(offline.ToWords());
  kb_->steps.clear();
  same->Activate();

  ASSERT_EQ(syncModes_.size(), 1u);
  EXPECT_EQ(syncModes_[0].first, 1);
  EXPECT_EQ(syncModes_[0].second.red, 9);
  EXPECT_EQ(Record().selectItem, 6);
  EXPECT_EQ(kb_->Comm().lightSync.load(), 1);
  EXPECT_EQ(kb_->steps, kFullSteps);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const LightInfo got = others_[static_cast<std::size_t>(i)]->GetLightInfoRecord();
    EXPECT_EQ(got.selectItem, 3) << "mouse, mousepad and headset static";
    EXPECT_EQ(got.light, 3);
    EXPECT_EQ(got.blue, 7);
    EXPECT_EQ(others_[static_cast<std::size_t>(i)]->Comm().lightSync.load(), 1);
    EXPECT_EQ(LightEditorOf(others_[static_cast<std::size_t>(i)])->GetSelectedEffect(), 3);
  }
  EXPECT_EQ(others_[3]->GetLightInfoRecord(), offline) << "a page without its device is left alone";
  EXPECT_EQ(others_[3]->Comm().lightSync.load(), 0);

  // An effect without a shared counterpart does nothing.
  info.selectItem = 7;
  kb_->SetLightInfo(info.ToWords());
  kb_->steps.clear();
  EXPECT_FALSE(handlers_->ApplySameMode(*kb_, all_));
  EXPECT_EQ(syncModes_.size(), 1u);
  EXPECT_TRUE(kb_->steps.empty());
  EXPECT_EQ(others_[0]->GetLightInfoRecord().selectItem, 3);
}

TEST(SameModeTables, MapBothWays) {
  EXPECT_EQ(SharedEffectOf(1, 6), 1);
  EXPECT_EQ(SharedEffectOf(1, 34), 2);
  EXPECT_EQ(SharedEffectOf(1, 7), std::nullopt);
  EXPECT_EQ(SharedEffectOf(2, 10), 4);
  EXPECT_EQ(SharedEffectOf(3, 8), 4);
  EXPECT_EQ(SharedEffectOf(7, 8), 4);
  EXPECT_EQ(SharedEffectOf(5, 1), std::nullopt);
  for (int kind : {1, 2, 3, 7})
    for (int s = 0; s < 5; ++s) EXPECT_EQ(SharedEffectOf(kind, *EffectOfShared(kind, s)), s);
  EXPECT_EQ(EffectOfShared(1, 4), 21);
  EXPECT_EQ(EffectOfShared(2, 5), std::nullopt);
}

TEST_F(LightHandlersTest, NotificationsOfAnotherPageOrControlAreNotHandled) {
  const LightInfo before = Record();
  // The mouse page's slider while the keyboard is the current page.
  auto* slider = dynamic_cast<CSliderUI*>(LightEditorOf(others_[0])->FindSubControl("deng_light_slider"));
  ASSERT_NE(slider, nullptr);
  TraceSink::Instance().Clear();
  slider->SetValueFromUser(1);
  EXPECT_EQ(handled_, 0);
  EXPECT_TRUE(TraceSink::Instance().Contains("is not a control of the current page"));
  EXPECT_EQ(others_[0]->GetLightInfoRecord().light, 0);
  // A control of the page that is not a lighting control.
  TNotifyUI msg;
  msg.sType = notify::kClick;
  msg.pSender = kb_->FindSubControl("winlockflag_option");
  ASSERT_NE(msg.pSender, nullptr);
  EXPECT_FALSE(handlers_->Handle(msg, kb_, all_));
  // No current page.
  msg.pSender = kbEditor_->FindSubControl("deng_same_mode");
  EXPECT_FALSE(handlers_->Handle(msg, nullptr, all_));
  EXPECT_EQ(Record(), before);
  EXPECT_TRUE(kb_->steps.empty());
}

}  // namespace
}  // namespace korvale
