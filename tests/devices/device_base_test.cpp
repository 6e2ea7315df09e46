// The device page base without a device: button binding, function pages, the
// LED table, the preview steps and the reactive levels.
#include <gtest/gtest.h>

#include "devices/page_setup.h"
#include "devices/preview_tables.h"
#include "devices/varnik_keyboard_device.h"
#include "devices/varnik_usb_device.h"
#include "ui/containers.h"
#include "ui/custom_controls.h"
#include "ui/dialog_builder.h"
#include "ui/paint_manager.h"
#include "ui/controls.h"
#include "ui/skin_controls.h"

namespace korvale {
namespace {

CVarnikUSBDevice* BuildPage(const char* body, int keys, int lights, bool withPath = true) {
  RegisterSkinControls();
  auto* page = new CVarnikUSBDevice();
  page->SetKeyCount(keys);
  page->SetLightCount(lights);
  if (withPath) page->SetPageXmlPath("XML/DeviceXml/test.xml");
  CDialogBuilder builder;
  const std::string xml = std::string("<Window>") + body + "</Window>";
  EXPECT_NE(builder.CreateFromText(xml, nullptr, nullptr, page), nullptr);
  return page;
}

const char* kPanel =
    "<SelectPanel name='panel'>"
    "<DeviceKeyButton name='Key_5'/>"
    "<DeviceKeyButton name='key_200'/>"
    "<DeviceKeyButton name='nounderscore' userdata='light_2'/>"
    "<DeviceKeyButton name='key_x'/>"
    "<DeviceKeyButton name='key_9' userdata='light_3'/>"
    "<DeviceKeyButton name='light_7'/>"
    "<Button name='key_1'/>"
    "</SelectPanel>";

TEST(DeviceBase, BindsButtonsByNameAndUserData) {
  std::unique_ptr<CVarnikUSBDevice> page(BuildPage(kPanel, 170, 170));
  page->InitPage();
  auto named = [&](const char* name) { return dynamic_cast<CDeviceKeyButtonUI*>(page->FindSubControl(name)); };
  int boundKeys = 0;
  for (int k = 0; k < 170; ++k) boundKeys += page->KeyButton(k) != nullptr;
  EXPECT_EQ(boundKeys, 2);  // "Key_5" (case ignored) and "key_9"; not key_200, key_x, a plain button
  EXPECT_EQ(page->KeyButton(5), named("Key_5"));
  EXPECT_EQ(page->KeyButton(9), named("key_9"));
  EXPECT_EQ(page->KeyButton(1), nullptr);
  // One button is key 9 by its name and light 3 by its user data.
  EXPECT_EQ(page->LightButton(3), named("key_9"));
  EXPECT_EQ(page->LightButton(2), named("nounderscore"));
  EXPECT_EQ(page->LightButton(7), named("light_7"));
  for (int led : {2, 3, 7}) {
    EXPECT_EQ(page->LightButton(led)->GetLightColor() & 0xFFFFFF, 0xFFFFFFu);
    EXPECT_EQ(page->LightButton(led)->GetLightFade(), 255);
    EXPECT_TRUE(page->LightButton(led)->IsShowLightImage());
  }
  EXPECT_EQ(page->GetKeyLightPanel(), page->FindSubControl("panel"));
}

TEST(DeviceBase, OnlyThePagesOwnControlsReachItsHandlers) {
  CPaintManagerUI pm;
  auto* root = new CHorizontalLayoutUI();
  auto* page = BuildPage("<Button name='apply'/>", 0, 0);
  auto* stranger = new CButtonUI();
  stranger->SetName("apply");  // same name, outside the page
  root->Add(stranger);
  root->Add(page);
  pm.AttachDialog(root);
  pm.AddNotifier(page);
  int clicks = 0;
  page->AddNotifyHandler("click", "apply", [&](TNotifyUI&) { ++clicks; });
  pm.SendNotify(stranger, "click");
  EXPECT_EQ(clicks, 0);
  pm.SendNotify(page->FindSubControl("apply"), "click");
  EXPECT_EQ(clicks, 1);
  pm.RemoveNotifier(page);
}

TEST(DeviceBase, ARemovedPageLeavesTheNotifiers) {
  CPaintManagerUI pm;
  auto* root = new CHorizontalLayoutUI();
  auto* button = new CButtonUI();
  auto* page = new CVarnikKeyboardDevice();
  root->Add(button);
  root->Add(page);
  pm.AttachDialog(root);
  page->InitPage();  // the keyboard page listens to the window's notifications
  root->Remove(page);
  pm.SendNotify(button, "click");  // reaches no destroyed page
  EXPECT_EQ(root->GetCount(), 1);
}

TEST(DeviceBase, PageWithoutSkinHasNoKeysOrLeds) {
  std::unique_ptr<CVarnikUSBDevice> page(BuildPage(kPanel, 170, 170, false));
  page->InitPage();
  EXPECT_EQ(page->GetKeyCount(), 0);
  EXPECT_EQ(page->GetLightCount(), 0);
  EXPECT_TRUE(page->LedTable().empty());
  EXPECT_EQ(page->KeyButton(5), nullptr);
  page->SetLedColour(0, 0xFFFFFFFF);
  EXPECT_EQ(page->GetLedColour(0), 0u);
}

// Every product row sets a page up the same way, wherever the page is made.
TEST(DeviceBase, SetUpFromTheProductRow) {
  const struct {
    int row;
    const char* folder;
    int keys, lights;
    bool wireless;
    int model;
    uint16_t kind;
  } cases[] = {{0, "mouse", 11, 15, true, 1, kKindMouse},
               {1, "keyboard", 170, 170, false, 0, kKindKeyboard},
               {2, "MousePad", 0, 15, false, 2, kKindMousePad},
               {3, "HD", 0, 13, false, 3, kKindHeadset}};
  for (const auto& c : cases) {
    const auto id = ProductIdentity(c.row, "vhid:/bus/x.sock");
    ASSERT_TRUE(id) << c.row;
    EXPECT_EQ(id->kind, c.kind);
    EXPECT_EQ(id->auxiliary, kAuxiliaryPrimary);
    CVarnikUSBDevice page;
    ASSERT_TRUE(SetUpPage(page, c.row, *id));
    EXPECT_EQ(page.GetProductRow(), c.row);
    EXPECT_EQ(page.GetDeviceFolderName(), c.folder);
    EXPECT_EQ(page.GetKeyCount(), c.keys);
    EXPECT_EQ(page.GetLightCount(), c.lights);
    EXPECT_EQ(static_cast<int>(page.LedTable().size()), c.lights);
    EXPECT_EQ(page.GetWirelessFlag(), c.wireless);
    EXPECT_EQ(page.GetModelIndex(), c.model);
    EXPECT_EQ(page.GetKind(), c.kind);
    EXPECT_EQ(page.GetDeviceIdentity().path, "vhid:/bus/x.sock");
    EXPECT_EQ(page.GetLightConfigName(), "velmo_light");
    EXPECT_EQ(page.GetPageXmlPath(), kProductPages[static_cast<std::size_t>(c.row)].pageSkinFile);
  }
  // A row outside the table leaves the page as it was.
  for (int row : {-1, static_cast<int>(kProductCount)}) {
    EXPECT_FALSE(ProductIdentity(row));
    CVarnikUSBDevice page;
    EXPECT_FALSE(SetUpPage(page, row, DeviceIdEntry{}));
    EXPECT_EQ(page.GetProductRow(), -1);
    EXPECT_TRUE(page.GetDeviceFolderName().empty());
  }
}

TEST(DeviceBase, FunctionPagesSelectTheirTabs) {
  std::unique_ptr<CVarnikUSBDevice> page(BuildPage(
      "<VerticalLayout><TabLayout name='device_function_switch'>"
      "<Control/><Control/><Control/><TabLayout name='device_key_function_switch'>"
      "<Control/><Control/><Control/></TabLayout></TabLayout></VerticalLayout>",
      0, 0));
  auto* outer = dynamic_cast<CTabLayoutUI*>(page->FindSubControl("device_function_switch"));
  auto* inner = dynamic_cast<CTabLayoutUI*>(page->FindSubControl("device_key_function_switch"));
  ASSERT_TRUE(outer && inner);
  struct Case {
    int kind, type, outer, inner;  // inner -1: left as it was (1)
  } cases[] = {{1, 4, 3, -1}, {2, 4, 3, -1}, {3, 4, 0, 2}, {7, 4, 0, 2}, {1, 2, 0, 1}, {1, 6, 0, 1},
               {1, 3, 1, -1}, {1, 8, 1, -1}, {3, 7, 0, 2}, {1, 5, 2, -1}, {1, 0, 0, 0}, {1, 9, 0, 0}};
  for (const Case& c : cases) {
    outer->SelectItem(1, false);
    inner->SelectItem(1, false);
    page->SetKind(c.kind, 0);
    page->ShowFunctionPage(c.type);
    EXPECT_EQ(page->GetFunctionPage(), c.type);
    EXPECT_EQ(outer->GetCurSel(), c.outer) << "kind " << c.kind << " type " << c.type;
    EXPECT_EQ(inner->GetCurSel(), c.inner < 0 ? 1 : c.inner) << "kind " << c.kind << " type " << c.type;
  }
}

TEST(DeviceBase, TablesHoldTheirValues) {
  using namespace preview;
  EXPECT_EQ(kWheel[0].red, 255);
  EXPECT_EQ(kWheel[0].green, 1);
  EXPECT_EQ(kWheel[31].green, 255);
  EXPECT_EQ(kWheel[32].red, 248);  // falling ramp starts below 255
  EXPECT_EQ(kWheel[63].red, 0);
  EXPECT_EQ(kWheel[100].green, 194);
  EXPECT_EQ(kWheel[100].blue, 255);
  EXPECT_EQ(kWheel[191].blue, 0);
  EXPECT_EQ(kWheel[191].red, 255);
  for (int i = 0; i < 64; ++i) {
    EXPECT_EQ(kWheel[static_cast<std::size_t>(192 + i)].red, kWheel[static_cast<std::size_t>(i)].red);
    EXPECT_EQ(kWheel[static_cast<std::size_t>(192 + i)].green, kWheel[static_cast<std::size_t>(i)].green);
  }
  EXPECT_EQ(kBreath[0], 0);
  EXPECT_EQ(kBreath[63], 255);
  EXPECT_EQ(kBreath[64], 255);
  EXPECT_EQ(kBreath[117], 10);
  EXPECT_EQ(kBreath[127], 0);
}

TEST(DeviceBase, LedTableIgnoresIndicesOutOfRange) {
  CVarnikUSBDevice page;
  page.SetLightCount(4);
  page.SetLedColour(3, PackLedColour({1, 2, 3, 4}));
  page.SetLedColour(4, 0xFFFFFFFF);
  page.SetLedColour(-1, 0xFFFFFFFF);
  EXPECT_EQ(page.GetLedColour(3), PackLedColour({1, 2, 3, 4}));
  EXPECT_EQ(page.LedTable()[3], (LedColour{1, 2, 3, 4}));
  EXPECT_EQ(page.GetLedColour(-1), 0u);
  EXPECT_EQ(page.GetLedColour(4), 0u);
  // A new count zeroes the table.
  page.SetLightCount(4);
  EXPECT_EQ(page.GetLedColour(3), 0u);
}

LightInfo Info(uint8_t light, uint8_t speed, uint8_t fx, uint8_t multi, uint8_t r, uint8_t g, uint8_t b) {
  LightInfo i;
  i.light = light;
  i.speed = speed;
  i.fx = fx;
  i.multiColor = multi;
  i.red = r;
  i.green = g;
  i.blue = b;
  return i;
}

TEST(DeviceBase, BreathingStepsAndWheelColour) {
  CVarnikUSBDevice page;
  page.SetLightCount(3);
  page.SetLightInfo(Info(4, 0, 0, 0, 10, 20, 30).ToWords());
  page.StepBreathing();  // backward from 0
  EXPECT_EQ(page.Preview().step, 127);
  page.StepBreathing();
  EXPECT_EQ(page.Preview().step, 126);
  EXPECT_EQ(page.LedTable()[2], (LedColour{10, 20, 30, static_cast<uint8_t>(preview::kBreath[126] * 255 / 256)}));

  // Forward, multicolour: the colour moves 16 hues along the wheel per cycle.
  page.Preview() = {};
  page.SetLightInfo(Info(2, 0, 1, 1, 0, 0, 0).ToWords());
  for (int i = 0; i < 128; ++i) page.StepBreathing();
  EXPECT_EQ(page.Preview().step, 0);
  EXPECT_EQ(page.Preview().colourIndex, 16);
  EXPECT_EQ(page.LedTable()[0].red, preview::kWheel[16].red);
  EXPECT_EQ(page.LedTable()[0].green, preview::kWheel[16].green);
  EXPECT_EQ(page.LedTable()[0].alpha, 0);
  for (int i = 0; i < 10; ++i) page.StepBreathing();
  EXPECT_EQ(page.LedTable()[0].alpha, preview::kBreath[10] * 135 / 256);
  EXPECT_EQ(page.LedTable()[0].alpha, 5);
}

TEST(DeviceBase, BlinkTogglesAtItsSpeed) {
  struct Case {
    uint8_t speed;
    uint64_t period;
  } cases[] = {{4, 200}, {3, 400}, {0, 1600}};
  for (const Case& c : cases) {
    CVarnikUSBDevice page;
    uint64_t now = 10000;
    page.SetClockForTest([&] { return now; });
    page.SetLightCount(2);
    page.SetLightInfo(Info(4, c.speed, 0, 0, 200, 0, 0).ToWords());
    page.Preview().lastToggleMs = now;
    now += c.period - 1;
    page.StepBlink();
    EXPECT_EQ(page.LedTable()[1], LedColour{}) << "speed " << int(c.speed);
    now += 1;
    page.StepBlink();
    EXPECT_EQ(page.LedTable()[1], (LedColour{200, 0, 0, 255})) << "speed " << int(c.speed);
    now += c.period;
    page.StepBlink();
    EXPECT_EQ(page.LedTable()[1], LedColour{});
  }
}

TEST(DeviceBase, SpectrumAndStaticUseBrightness) {
  CVarnikUSBDevice page;
  page.SetLightCount(1);
  page.SetLightInfo(Info(1, 0, 0, 0, 7, 8, 9).ToWords());
  page.StepStatic();
  EXPECT_EQ(page.LedTable()[0], (LedColour{7, 8, 9, 80}));
  page.StepSpectrum();  // backward from 0 wraps to 191
  EXPECT_EQ(page.Preview().step, 191);
  EXPECT_EQ(page.LedTable()[0], (LedColour{255, 0, preview::kWheel[191].blue, 80}));
  page.StepOff();
  EXPECT_EQ(page.LedTable()[0], LedColour{});
}

TEST(DeviceBase, DecayFollowsItsTable) {
  CVarnikUSBDevice page;
  struct Case {
    int mode, from, to;
  } cases[] = {{29, 20, 15}, {29, 200, 155}, {29, 0, 0},  {0, 200, 160}, {0, 40, 25}, {5, 40, 30},
               {0, 20, 12},  {29, 70, 50},   {5, 1, 0},   {0, 129, 89},  {29, 113, 78}, {0, 5, 4}};
  for (const Case& c : cases) {
    page.SetLevel(kLevelBase + 4, static_cast<uint8_t>(c.from));
    EXPECT_EQ(page.DecayLevel(4, c.mode), c.to) << "mode " << c.mode << " from " << c.from;
    EXPECT_EQ(page.Level(kLevelBase + 4), c.to);
  }
  EXPECT_EQ(page.DecayLevel(-1, 0), 0);
  EXPECT_EQ(page.DecayLevel(kLevelLeds, 0), 0);
}

TEST(DeviceBase, TriggersRotateAndLightTheirLeds) {
  CVarnikUSBDevice page;
  page.SetLevel(kTriggerBase + 22, 1);
  page.RotateTriggers(1);
  EXPECT_EQ(page.Level(kTriggerBase + 0), 1);
  EXPECT_EQ(page.Level(kTriggerBase + 22), 0);
  page.RotateTriggers(0);
  EXPECT_EQ(page.Level(kTriggerBase + 22), 1);
  page.SetLevel(kTriggerBase + 3, 1);
  page.SetLevel(kTriggerBase + 9, 1);
  page.TriggerFlaggedLeds();
  EXPECT_EQ(page.Level(kLevelBase + 3), 255);
  EXPECT_EQ(page.Level(kLevelBase + 9), 0);  // only the first nine flags
  page.ClearLevels();
  EXPECT_EQ(page.Level(kLevelBase + 3), 0);
  EXPECT_EQ(page.Level(kTriggerBase + 22), 0);
}

TEST(DeviceBase, PaintShowsTheTableOnVisibleLightButtons) {
  std::unique_ptr<CVarnikUSBDevice> page(BuildPage(
      "<SelectPanel><DeviceKeyButton name='light_0'/><DeviceKeyButton name='light_1'/></SelectPanel>", 0, 2));
  page->InitPage();
  page->SetLedColour(0, PackLedColour({0x11, 0x22, 0x33, 90}));
  page->SetLedColour(1, PackLedColour({0x44, 0x55, 0x66, 91}));
  page->LightButton(1)->SetVisible(false);
  page->PaintLights();  // lighting control off: nothing changes
  EXPECT_EQ(page->LightButton(0)->GetLightColor() & 0xFFFFFF, 0xFFFFFFu);
  page->SetLightingControlActive(true);
  page->PaintLights();
  EXPECT_EQ(page->LightButton(0)->GetLightColor() & 0xFFFFFF, 0x112233u);
  EXPECT_EQ(page->LightButton(0)->GetLightFade(), 90);
  EXPECT_EQ(page->LightButton(1)->GetLightColor() & 0xFFFFFF, 0xFFFFFFu);
}

}  // namespace
}  // namespace korvale
