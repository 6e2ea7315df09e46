#include "editors/light_control.h"

#include <cstdlib>
#include <initializer_list>

#include "platform/trace.h"
#include "ui/controls.h"
#include "ui/dialog_builder.h"
#include "ui/paint_manager.h"

namespace korvale {

namespace {

// ---- layout tables ----
//
// A setting of -1 leaves the panel as it is. The first row of a kind is
// applied before every change of the effect; then the first row whose effect
// set holds the effect, else the kind's fallback row.

struct PanelSettings {
  int8_t effect = -1;       // "lighteffect_layout" enabled
  int8_t multi = -1;        // "deng_7color_check" enabled
  int8_t colour = -1;       // "deng_color_layout" enabled
  int8_t palette = -1;      // "colorpallet_layout" enabled
  int8_t brightness = -1;   // "deng_light_layout" enabled
  int8_t speed = -1;        // "deng_speed_layout" enabled
  int8_t fx = -1;           // "deng_fx_layout" enabled
  int8_t sameMode = -1;     // "deng_same_mode" shown (with the same-mode flag)
  int8_t colourPanel = -1;  // "light_color_layout" enabled
  int8_t custom = -1;       // "lightcustom_layout" shown
  int8_t speedShown = -1;   // "deng_speed_layout" shown
  int8_t extraShown = -1;   // "light_combo_ZZCCmodeSelectLayout" shown
  int8_t audioShown = -1;   // "light_combo_AudiomodeSelectLayout" shown
  int8_t tabPage = -1;      // "light_color_tablayout" page
  const char* fxLeftText = nullptr;   // text ID of the FXL option
  const char* fxRightText = nullptr;  // text ID of the FXR option
};

struct LayoutRow {
  uint64_t effects;  // bit n: effect n
  PanelSettings panels;
};

struct KindLayout {
  PanelSettings first;
  const LayoutRow* rows;
  std::size_t rowCount;
  PanelSettings fallback;
};

constexpr uint64_t Effects(std::initializer_list<int> list) {
  uint64_t bits = 0;
  for (int e : list) bits |= uint64_t{1} << e;
  return bits;
}

// L M C P B S F as in the tables, then the extras by designated field.
constexpr PanelSettings Row(int l, int m, int c, int p, int b, int s, int f) {
  PanelSettings r;
  r.effect = static_cast<int8_t>(l);
  r.multi = static_cast<int8_t>(m);
  r.colour = static_cast<int8_t>(c);
  r.palette = static_cast<int8_t>(p);
  r.brightness = static_cast<int8_t>(b);
  r.speed = static_cast<int8_t>(s);
  r.fx = static_cast<int8_t>(f);
  return r;
}
constexpr PanelSettings Same(PanelSettings r) { r.sameMode = 1; return r; }
constexpr PanelSettings ColourOff(PanelSettings r) { r.colourPanel = 0; return r; }
constexpr PanelSettings Texts(PanelSettings r, const char* left, const char* right) {
  r.fxLeftText = left;
  r.fxRightText = right;
  return r;
}
constexpr PanelSettings SpeedHidden(PanelSettings r) { r.speedShown = 0; return r; }
constexpr PanelSettings AudioPage(PanelSettings r) {
  r.speedShown = 0;
  r.audioShown = 1;
  r.tabPage = 1;
  return r;
}

constexpr const char* kRightToLeft = "light_set_right_to_left_text";
constexpr const char* kLeftToRight = "light_set_left_to_right_text";
constexpr const char* kClockwise = "light_set_clockwise_text";
constexpr const char* kAnticlockwise = "light_set_anticlockwise_text";
constexpr const char* kDownToUp = "light_set_down_to_up_text";
constexpr const char* kUpToDown = "light_set_up_to_down_text";
constexpr const char* kOutsideIn = "light_set_outside_to_inside_text";
constexpr const char* kInsideOut = "light_set_inside_to_outside_text";

constexpr PanelSettings KeyboardFirst() {
  PanelSettings r;
  r.custom = 0;
  r.sameMode = 0;
  r.fx = 1;
  r.speedShown = 1;
  r.extraShown = 0;
  r.colourPanel = 1;
  r.fxLeftText = kRightToLeft;
  r.fxRightText = kLeftToRight;
  r.audioShown = 0;
  r.tabPage = 0;
  return r;
}

constexpr PanelSettings KeyboardExtraMode() {
  PanelSettings r = ColourOff(SpeedHidden(Row(1, 0, 0, 0, 1, 1, 0)));
  r.extraShown = 1;
  return r;
}

constexpr PanelSettings KeyboardCustom() {
  PanelSettings r = SpeedHidden(Row(1, 0, 1, 1, 1, 0, 0));
  r.custom = 1;
  return r;
}

constexpr LayoutRow kKeyboardRows[] = {
    {Effects({1, 2}), Row(1, 1, 1, 1, 1, 1, 1)},
    {Effects({3, 19}), Texts(Row(1, 1, 1, 1, 1, 1, 1), kClockwise, kAnticlockwise)},
    {Effects({4}), Same(ColourOff(Row(1, 0, 0, 0, 1, 1, 0)))},
    {Effects({5, 34}), Same(Row(1, 1, 1, 1, 1, 1, 0))},
    {Effects({6, 23, 31}), Same(Row(1, 1, 1, 1, 1, 0, 0))},
    {Effects({7, 8, 9, 10, 13, 14, 15, 25, 33}), Row(1, 1, 1, 1, 1, 1, 0)},
    {Effects({11, 26}), ColourOff(Row(1, 0, 0, 0, 1, 1, 0))},
    {Effects({12}), Texts(Row(1, 0, 0, 0, 1, 1, 1), kDownToUp, kUpToDown)},
    {Effects({16}), Row(1, 1, 1, 1, 1, 0, 0)},
    {Effects({17}), KeyboardExtraMode()},
    {Effects({18, 22}), Texts(ColourOff(Row(1, 0, 0, 0, 1, 0, 1)), kOutsideIn, kInsideOut)},
    {Effects({20}), KeyboardCustom()},
    {Effects({21}), Same(Row(1, 0, 0, 0, 0, 0, 0))},
    {Effects({27}), Row(1, 0, 0, 0, 1, 1, 0)},
    {Effects({29}), AudioPage(Row(1, 1, 1, 1, 1, 0, 1))},
    {Effects({30}), ColourOff(Row(1, 0, 0, 0, 1, 0, 0))},
    {Effects({32}), Texts(Row(1, 1, 1, 1, 1, 1, 1), kUpToDown, kDownToUp)},
};

constexpr PanelSettings MouseFirst() {
  PanelSettings r;
  r.audioShown = 0;
  r.tabPage = 0;
  r.speedShown = 1;
  r.sameMode = 0;
  r.fx = 1;
  r.fxLeftText = kDownToUp;
  r.fxRightText = kUpToDown;
  return r;
}

constexpr LayoutRow kMouseRows[] = {
    {Effects({0, 5}), Row(1, 1, 1, 1, 1, 1, 1)},
    {Effects({1, 7, 8}), Row(1, 0, 0, 0, 1, 1, 0)},
    {Effects({2, 4, 6}), Row(1, 1, 1, 1, 1, 1, 0)},
    {Effects({3}), Row(1, 0, 1, 1, 1, 0, 0)},
    {Effects({10}), Row(1, 0, 0, 0, 0, 0, 0)},
    {Effects({11}), AudioPage(Row(1, 1, 1, 1, 1, 0, 1))},
};

constexpr PanelSettings PadFirst() {
  PanelSettings r;
  r.sameMode = 0;
  r.fx = 1;
  return r;
}

constexpr LayoutRow kPadRows[] = {
    {Effects({0}), Row(1, 1, 1, 1, 1, 1, 1)},
    {Effects({1}), Same(Row(1, 0, 0, 0, 1, 1, 0))},
    {Effects({2, 4}), Same(Row(1, 1, 1, 1, 1, 1, 0))},
    {Effects({3}), Same(Row(1, 0, 1, 1, 1, 0, 0))},
    {Effects({8}), Same(Row(1, 0, 0, 0, 0, 0, 0))},
};

// Kind 5 leaves the direction panel as it is.
constexpr LayoutRow kKind5Rows[] = {
    {Effects({0, 2, 3}), Row(1, 1, 1, 1, 1, 1, -1)},
    {Effects({1}), Row(1, 0, 1, 1, 1, 0, -1)},
    {Effects({4}), Row(1, 0, 0, 0, 1, 1, -1)},
};

constexpr KindLayout kKeyboardLayout{KeyboardFirst(), kKeyboardRows, std::size(kKeyboardRows),
                                     Row(1, 0, 0, 0, 0, 0, 0)};
constexpr KindLayout kMouseLayout{MouseFirst(), kMouseRows, std::size(kMouseRows), Row(1, 0, 0, 0, 0, 0, 0)};
constexpr KindLayout kPadLayout{PadFirst(), kPadRows, std::size(kPadRows), Row(1, 0, 0, 0, 0, 0, 0)};
constexpr KindLayout kKind5Layout{PanelSettings{}, kKind5Rows, std::size(kKind5Rows), Row(1, 0, 0, 0, 0, 0, -1)};

// The receiver variants of the keyboard (9) and the mouse (6) are the same
// products and get their layouts.
const KindLayout* LayoutOfKind(int kind) {
  switch (kind) {
    case 1: case 9: return &kKeyboardLayout;
    case 2: case 6: return &kMouseLayout;
    case 3: case 4: case 7: return &kPadLayout;
    case 5: return &kKind5Layout;
    default: return nullptr;
  }
}

constexpr DWORD kOpaque = 0xFF000000;

DWORD OpaqueColour(uint8_t r, uint8_t g, uint8_t b) {
  return kOpaque | DWORD{r} << 16 | DWORD{g} << 8 | DWORD{b};
}

}  // namespace

uint8_t ParseColourText(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  int value = 0;
  bool digits = false;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    digits = true;
    if (value <= 255) value = value * 10 + (text[i] - '0');
  }
  if (!digits || negative) return 0;
  return static_cast<uint8_t>(value > 255 ? 255 : value);
}

// ---- helpers ----

CControlUI* CLightControlUI::Child(std::string_view name) const {
  return const_cast<CLightControlUI*>(this)->FindSubControl(name);
}

void CLightControlUI::SetChildEnabled(std::string_view name, bool on) {
  if (CControlUI* c = Child(name)) c->SetEnabled(on);
}

void CLightControlUI::SetShown(std::string_view name, bool on) {
  if (CControlUI* c = Child(name)) c->SetVisible(on);
}

void CLightControlUI::SelectQuietly(CComboUI* combo, int index, const char* what) {
  if (combo == nullptr) return;
  if (index >= 0 && index < combo->GetCount() && combo->SelectItem(index, false, false)) return;
  Trace("lighting editor: %s %d is not in the list", what, index);
  combo->SelectItem(-1, false, false);
}

// ---- set-up ----

void CLightControlUI::SetDeviceKind(int kind) { kind_ = kind; }

void CLightControlUI::SetEffectList(const std::vector<std::string>& names, const std::vector<int>& visible,
                                    int brightnessMax, int speedMax) {
  if (auto* combo = ChildAs<CComboUI>(lightui::kModeCombo)) {
    combo->SelectItem(-1, false, false);
    combo->RemoveAll();
    for (std::size_t i = 0; i < names.size(); ++i) {
      auto* item = new CListLabelElementUI();
      item->SetFixedHeight(30);
      item->SetText(names[i]);
      item->SetUserData(names[i]);
      item->SetResourceText(true);
      item->SetVisible(i >= visible.size() || visible[i] != 0);
      combo->Add(item);
    }
  }
  if (auto* s = ChildAs<CSliderUI>(lightui::kBrightness)) s->SetMaxValue(brightnessMax);
  if (auto* s = ChildAs<CSliderUI>(lightui::kSpeed)) s->SetMaxValue(speedMax);
}

void CLightControlUI::ShowLightInfo(const LightInfo& info) {
  SelectEffect(info.selectItem);
  ApplyLayout(info.selectItem);
  SetBrightness(info.light);
  SetSpeed(info.speed);
  SetColourText(ColourChannel::kRed, std::to_string(info.red));
  SetColourText(ColourChannel::kGreen, std::to_string(info.green));
  SetColourText(ColourChannel::kBlue, std::to_string(info.blue));
  const DWORD colour = OpaqueColour(info.red, info.green, info.blue);
  SetPaletteColour(colour);
  SetColourDisplay(colour);
  SetMultiColour(info.multiColor != 0);
  SelectExtraMode(info.zzccLedMode);
  SetDirection(info.fx != 0);
  ApplyLayout(info.selectItem);
}

// ---- panels ----

void CLightControlUI::ApplyLayout(int effect) {
  effect_ = effect;
  const KindLayout* layout = LayoutOfKind(kind_);
  if (layout == nullptr) return;
  const PanelSettings* row = &layout->fallback;
  if (effect >= 0 && effect < 64) {
    for (std::size_t i = 0; i < layout->rowCount; ++i) {
      if (layout->rows[i].effects >> effect & 1) {
        row = &layout->rows[i].panels;
        break;
      }
    }
  }
  for (const PanelSettings* p : {&layout->first, row}) {
    auto enable = [&](int8_t v, const char* name) {
      if (v >= 0) SetChildEnabled(name, v != 0);
    };
    auto show = [&](int8_t v, const char* name) {
      if (v >= 0) SetShown(name, v != 0);
    };
    enable(p->effect, "lighteffect_layout");
    enable(p->multi, lightui::kMultiColour);
    enable(p->colour, "deng_color_layout");
    enable(p->palette, "colorpallet_layout");
    enable(p->brightness, "deng_light_layout");
    enable(p->speed, "deng_speed_layout");
    enable(p->fx, "deng_fx_layout");
    if (p->sameMode >= 0) SetShown(lightui::kSameMode, p->sameMode != 0 && sameModeAvailable_);
    enable(p->colourPanel, "light_color_layout");
    show(p->custom, "lightcustom_layout");
    show(p->speedShown, "deng_speed_layout");
    show(p->extraShown, "light_combo_ZZCCmodeSelectLayout");
    show(p->audioShown, "light_combo_AudiomodeSelectLayout");
    if (p->tabPage >= 0)
      if (auto* tabs = ChildAs<CTabLayoutUI>(lightui::kColourTabs)) tabs->SelectItem(p->tabPage, false);
    if (p->fxLeftText != nullptr) SetDirectionTexts(p->fxLeftText, p->fxRightText);
  }
}

void CLightControlUI::SetDirectionTexts(const char* left, const char* right) {
  if (CControlUI* c = Child(lightui::kFxLeft)) c->SetText(left);
  if (CControlUI* c = Child(lightui::kFxRight)) c->SetText(right);
}

void CLightControlUI::SetSameModeAvailable(bool available) {
  sameModeAvailable_ = available;
  ApplyLayout(effect_);
}

// ---- values ----

void CLightControlUI::SelectEffect(int index) { SelectQuietly(ChildAs<CComboUI>(lightui::kModeCombo), index, "effect"); }

int CLightControlUI::GetSelectedEffect() const {
  auto* combo = ChildAs<CComboUI>(lightui::kModeCombo);
  return combo == nullptr ? -1 : combo->GetCurSel();
}

void CLightControlUI::SelectCustomGroup(int index) {
  SelectQuietly(ChildAs<CComboUI>(lightui::kCustomCombo), index, "custom colour group");
}

int CLightControlUI::GetCustomGroup() const {
  auto* combo = ChildAs<CComboUI>(lightui::kCustomCombo);
  return combo == nullptr ? -1 : combo->GetCurSel();
}

void CLightControlUI::SelectExtraMode(int index) {
  SelectQuietly(ChildAs<CComboUI>(lightui::kExtraCombo), index, "extra mode");
}

int CLightControlUI::GetExtraMode() const {
  auto* combo = ChildAs<CComboUI>(lightui::kExtraCombo);
  return combo == nullptr ? -1 : combo->GetCurSel();
}

void CLightControlUI::SetBrightness(int value) {
  if (auto* s = ChildAs<CSliderUI>(lightui::kBrightness)) s->SetValue(value);
}

int CLightControlUI::GetBrightness() const {
  auto* s = ChildAs<CSliderUI>(lightui::kBrightness);
  return s == nullptr ? 0 : s->GetValue();
}

void CLightControlUI::SetSpeed(int value) {
  if (auto* s = ChildAs<CSliderUI>(lightui::kSpeed)) s->SetValue(value);
}

int CLightControlUI::GetSpeed() const {
  auto* s = ChildAs<CSliderUI>(lightui::kSpeed);
  return s == nullptr ? 0 : s->GetValue();
}

void CLightControlUI::SetColourText(ColourChannel channel, std::string_view text) {
  if (CControlUI* c = Child(lightui::kEdits[static_cast<int>(channel)])) c->SetText(text);
}

std::string CLightControlUI::GetColourText(ColourChannel channel) const {
  CControlUI* c = Child(lightui::kEdits[static_cast<int>(channel)]);
  return c == nullptr ? std::string() : std::string(c->GetText());
}

void CLightControlUI::SetPaletteColour(DWORD colour) {
  if (auto* p = ChildAs<CColorPaletteUI>(lightui::kPalette)) p->SetSelectColor(colour);
}

DWORD CLightControlUI::GetPaletteColour() const {
  auto* p = ChildAs<CColorPaletteUI>(lightui::kPalette);
  return p == nullptr ? kOpaque : p->GetSelectColor();
}

DWORD CLightControlUI::GetSwatchColour(int number) const {
  CControlUI* c = Child(std::string(lightui::kSwatchPrefix) + std::to_string(number));
  return c == nullptr ? 0 : c->GetBkColor();
}

void CLightControlUI::SetColourDisplay(DWORD colour) {
  if (CControlUI* c = Child(lightui::kDisplay)) c->SetBkColor(colour);
}

DWORD CLightControlUI::GetColourDisplay() const {
  CControlUI* c = Child(lightui::kDisplay);
  return c == nullptr ? 0 : c->GetBkColor();
}

void CLightControlUI::SetMultiColour(bool on) {
  if (auto* o = ChildAs<COptionUI>(lightui::kMultiColour)) o->Selected(on, false);
}

bool CLightControlUI::GetMultiColour() const {
  auto* o = ChildAs<COptionUI>(lightui::kMultiColour);
  return o != nullptr && o->IsSelected();
}

void CLightControlUI::SetDirection(bool left) {
  if (auto* o = ChildAs<COptionUI>(lightui::kFxLeft)) o->Selected(left, false);
  if (auto* o = ChildAs<COptionUI>(lightui::kFxRight)) o->Selected(!left, false);
}

int CLightControlUI::GetDirection() const {
  auto* l = ChildAs<COptionUI>(lightui::kFxLeft);
  auto* r = ChildAs<COptionUI>(lightui::kFxRight);
  if (l == nullptr && r == nullptr) return -1;
  if (l != nullptr) return l->IsSelected() ? 1 : 0;
  return r->IsSelected() ? 0 : 1;
}

// ---- audio lighting ----

bool CLightControlUI::AudioControlsPresent(const char* operation) const {
  const char* required[] = {lightui::kAudioCombo,     lightui::kAudioDisplay,    lightui::kAudioSevenColour,
                            lightui::kAudioBackground, lightui::kAudioForeground, lightui::kAudioEdits[0],
                            lightui::kAudioEdits[1],  lightui::kAudioEdits[2]};
  for (const char* name : required) {
    if (Child(name) == nullptr) {
      Trace("%s control is NULL (%s missing)", operation, name);
      return false;
    }
  }
  return true;
}

bool CLightControlUI::SetAudioLightInfo(uint32_t a, uint32_t b, uint32_t c) {
  if (!AudioControlsPresent("SetAudioLightInfo")) return false;
  audio_ = AudioLightInfo::FromWords({a, b, c & 0xFF});
  SelectQuietly(ChildAs<CComboUI>(lightui::kAudioCombo), audio_.audioMode, "audio mode");
  auto* bk = ChildAs<COptionUI>(lightui::kAudioBackground);
  auto* fg = ChildAs<COptionUI>(lightui::kAudioForeground);
  uint8_t r = audio_.bkRed, g = audio_.bkGreen, bl = audio_.bkBlue;
  if (audio_.colorType != 0) {
    r = audio_.fgRed;
    g = audio_.fgGreen;
    bl = audio_.fgBlue;
    if (fg) fg->Selected(true, false);
    if (bk) bk->Selected(false, false);
    if (auto* seven = ChildAs<COptionUI>(lightui::kAudioSevenColour)) seven->Selected(audio_.sevenColor != 0, false);
  } else {
    if (bk) bk->Selected(true, false);
    if (fg) fg->Selected(false, false);
  }
  const uint8_t channels[3] = {r, g, bl};
  for (int i = 0; i < 3; ++i)
    if (CControlUI* e = Child(lightui::kAudioEdits[i])) e->SetText(std::to_string(channels[i]));
  const DWORD colour = OpaqueColour(r, g, bl);
  if (auto* p = ChildAs<CColorPaletteUI>(lightui::kAudioPalette)) p->SetSelectColor(colour);
  if (CControlUI* d = Child(lightui::kAudioDisplay)) d->SetBkColor(colour);
  const bool colours = audio_.audioMode != 3;
  SetChildEnabled(lightui::kAudioColourPanel, colours);
  SetChildEnabled(lightui::kAudioPalettePanel, colours);
  return true;
}

std::optional<AudioLightInfo> CLightControlUI::GetAudioLightInfo(bool takeColour) {
  if (!AudioControlsPresent("GetAudioLightInfo")) return std::nullopt;
  AudioLightInfo rec = audio_;
  const int mode = ChildAs<CComboUI>(lightui::kAudioCombo)->GetCurSel();
  if (mode >= 0) rec.audioMode = static_cast<uint8_t>(mode);
  rec.sevenColor = ChildAs<COptionUI>(lightui::kAudioSevenColour)->IsSelected() ? 1 : 0;
  // The display still shows the colour that was being edited before a
  // switch of the background/foreground pair, so it is taken first.
  if (takeColour) {
    const DWORD d = Child(lightui::kAudioDisplay)->GetBkColor();
    const auto r = static_cast<uint8_t>(d >> 16), g = static_cast<uint8_t>(d >> 8), b = static_cast<uint8_t>(d);
    if (rec.colorType != 0) {
      rec.fgRed = r, rec.fgGreen = g, rec.fgBlue = b;
    } else {
      rec.bkRed = r, rec.bkGreen = g, rec.bkBlue = b;
    }
  }
  if (rec.colorType != 0) {
    if (ChildAs<COptionUI>(lightui::kAudioBackground)->IsSelected()) rec.colorType = 0;
  } else {
    if (ChildAs<COptionUI>(lightui::kAudioForeground)->IsSelected()) rec.colorType = 1;
  }
  audio_ = rec;
  return rec;
}

std::array<uint32_t, 3> CLightControlUI::GetAudioColours() const {
  auto* self = const_cast<CLightControlUI*>(this);
  if (auto rec = self->GetAudioLightInfo(true)) return rec->ToWords();
  return audio_.ToWords();
}

std::optional<DWORD> CLightControlUI::GetLightAudioColor(int number) const {
  CControlUI* c = Child(std::string(lightui::kAudioSwatchPrefix) + std::to_string(number));
  if (c == nullptr) {
    Trace("GetLightAudioColor control is NULL (%s%d missing)", lightui::kAudioSwatchPrefix, number);
    return std::nullopt;
  }
  return c->GetBkColor();
}

DWORD CLightControlUI::GetAudioPaletteColour() const {
  auto* p = ChildAs<CColorPaletteUI>(lightui::kAudioPalette);
  return p == nullptr ? kOpaque : p->GetSelectColor();
}

std::string CLightControlUI::GetAudioEditText(int channel) const {
  if (channel < 0 || channel > 2) return {};
  CControlUI* c = Child(lightui::kAudioEdits[channel]);
  return c == nullptr ? std::string() : std::string(c->GetText());
}

void RegisterLightControl() {
  auto create = []() -> CControlUI* { return new CLightControlUI(); };
  CControlFactory::GetInstance().RegistControl("CLightControlUI", create);
  CControlFactory::GetInstance().RegistControl("LightControl", create);
}

}  // namespace korvale
