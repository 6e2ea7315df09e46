#include "editors/light_handlers.h"

#include <array>
#include <string>

#include "devices/varnik_keyboard_device.h"
#include "devices/varnik_usb_device.h"
#include "editors/light_control.h"
#include "platform/trace.h"
#include "ui/controls.h"

namespace korvale {

namespace {

enum class KindGroup { kKeyboard, kMouse, kPad, kHeadset, kOther };

KindGroup GroupOf(int kind) {
  switch (kind) {
    case 1: case 9: return KindGroup::kKeyboard;
    case 2: case 6: return KindGroup::kMouse;
    case 3: return KindGroup::kPad;
    case 4: case 7: return KindGroup::kHeadset;
    default: return KindGroup::kOther;
  }
}

bool IsKeyboard(const CVarnikUSBDevice& page) { return GroupOf(page.GetKind()) == KindGroup::kKeyboard; }

// Shared effect s -> the effect index of a kind, and the reverse.
constexpr std::array<int, 5> kKeyboardShared = {5, 6, 34, 4, 21};
constexpr std::array<int, 5> kMouseShared = {2, 3, 4, 1, 10};
constexpr std::array<int, 5> kPadShared = {2, 3, 4, 1, 8};

const std::array<int, 5>* SharedTable(int kind) {
  switch (GroupOf(kind)) {
    case KindGroup::kKeyboard: return &kKeyboardShared;
    case KindGroup::kMouse: return &kMouseShared;
    case KindGroup::kPad:
    case KindGroup::kHeadset: return &kPadShared;
    default: return nullptr;
  }
}

enum class Action {
  kEffect, kCustomGroup, kExtraMode, kFillBright, kFillOff, kBrightness, kSpeed,
  kEditR, kEditG, kEditB, kPalette, kSwatch, kMultiColour, kFxLeft, kFxRight, kSameMode,
  kAudioState, kAudioPalette, kAudioSwatch, kAudioEditR, kAudioEditG, kAudioEditB,
};

struct Route {
  const char* type;
  const char* name;
  bool indexed;  // name is a prefix followed by a number
  Action action;
};

constexpr Route kRoutes[] = {
    {notify::kItemSelect, lightui::kModeCombo, false, Action::kEffect},
    {notify::kItemSelect, lightui::kCustomCombo, false, Action::kCustomGroup},
    {notify::kItemSelect, lightui::kExtraCombo, false, Action::kExtraMode},
    {notify::kClick, lightui::kCustomBright, false, Action::kFillBright},
    {notify::kClick, lightui::kCustomOff, false, Action::kFillOff},
    {notify::kValueChanged, lightui::kBrightness, false, Action::kBrightness},
    {notify::kValueChanged, lightui::kSpeed, false, Action::kSpeed},
    {notify::kKillFocus, lightui::kEdits[0], false, Action::kEditR},
    {notify::kKillFocus, lightui::kEdits[1], false, Action::kEditG},
    {notify::kKillFocus, lightui::kEdits[2], false, Action::kEditB},
    {notify::kReturn, lightui::kEdits[0], false, Action::kEditR},
    {notify::kReturn, lightui::kEdits[1], false, Action::kEditG},
    {notify::kReturn, lightui::kEdits[2], false, Action::kEditB},
    {notify::kColorChanged, lightui::kPalette, false, Action::kPalette},
    {notify::kClick, lightui::kSwatchPrefix, true, Action::kSwatch},
    {notify::kSelectChanged, lightui::kMultiColour, false, Action::kMultiColour},
    {notify::kSelectChanged, lightui::kFxLeft, false, Action::kFxLeft},
    {notify::kSelectChanged, lightui::kFxRight, false, Action::kFxRight},
    {notify::kClick, lightui::kSameMode, false, Action::kSameMode},
    {notify::kItemSelect, lightui::kAudioCombo, false, Action::kAudioState},
    {notify::kSelectChanged, lightui::kAudioSevenColour, false, Action::kAudioState},
    {notify::kSelectChanged, lightui::kAudioBackground, false, Action::kAudioState},
    {notify::kSelectChanged, lightui::kAudioForeground, false, Action::kAudioState},
    {notify::kColorChanged, lightui::kAudioPalette, false, Action::kAudioPalette},
    {notify::kClick, lightui::kAudioSwatchPrefix, true, Action::kAudioSwatch},
    {notify::kKillFocus, lightui::kAudioEdits[0], false, Action::kAudioEditR},
    {notify::kKillFocus, lightui::kAudioEdits[1], false, Action::kAudioEditG},
    {notify::kKillFocus, lightui::kAudioEdits[2], false, Action::kAudioEditB},
    {notify::kReturn, lightui::kAudioEdits[0], false, Action::kAudioEditR},
    {notify::kReturn, lightui::kAudioEdits[1], false, Action::kAudioEditG},
    {notify::kReturn, lightui::kAudioEdits[2], false, Action::kAudioEditB},
};

// A name's number after prefix: decimal digits only, at most six of them.
std::optional<int> IndexAfter(std::string_view name, std::string_view prefix) {
  if (name.size() <= prefix.size() || name.size() > prefix.size() + 6) return std::nullopt;
  if (!EqualsNoCase(name.substr(0, prefix.size()), prefix)) return std::nullopt;
  int v = 0;
  for (char c : name.substr(prefix.size())) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + (c - '0');
  }
  return v;
}

LightInfo RecordOf(const CVarnikUSBDevice& page) { return LightInfo::FromWords(page.GetLightInfoWords()); }

uint8_t ToByte(int v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); }

// Reads a colour box and shows the value it stands for.
uint8_t TakeColourBox(CControlUI* box) {
  if (box == nullptr) return 0;
  const std::string text(box->GetText());
  const uint8_t v = ParseColourText(text);
  if (text != std::to_string(v)) {
    if (!text.empty()) Trace("lighting editor: colour value \"%s\" taken as %u", text.c_str(), v);
    box->SetText(std::to_string(v));
  }
  return v;
}

void ShowColourBoxes(CLightControlUI& editor, const LightInfo& info) {
  editor.SetColourText(ColourChannel::kRed, std::to_string(info.red));
  editor.SetColourText(ColourChannel::kGreen, std::to_string(info.green));
  editor.SetColourText(ColourChannel::kBlue, std::to_string(info.blue));
}

void SetChannel(uint8_t& r, uint8_t& g, uint8_t& b, int channel, uint8_t v) {
  (channel == 0 ? r : channel == 1 ? g : b) = v;
}

}  // namespace

CLightControlUI* LightEditorOf(CVarnikUSBDevice* page) {
  if (page == nullptr) return nullptr;
  return dynamic_cast<CLightControlUI*>(page->FindSubControl(lightui::kEditorName));
}

std::optional<int> SharedEffectOf(int kind, int effect) {
  const std::array<int, 5>* table = SharedTable(kind);
  if (table == nullptr) return std::nullopt;
  for (int s = 0; s < 5; ++s)
    if ((*table)[static_cast<std::size_t>(s)] == effect) return s;
  return std::nullopt;
}

std::optional<int> EffectOfShared(int kind, int shared) {
  const std::array<int, 5>* table = SharedTable(kind);
  if (table == nullptr || shared < 0 || shared > 4) return std::nullopt;
  return (*table)[static_cast<std::size_t>(shared)];
}

// ---- the common steps ----

namespace {
// A drag's steps share the page's coalesced save; any other change saves now.
void SaveChange(CVarnikUSBDevice& page, bool dragging) {
  if (dragging)
    page.SaveProfileWhileDragging();
  else
    page.SaveProfileNow();
}
}  // namespace

int CLightHandlers::Store(CVarnikUSBDevice& page, const LightInfo& info, bool apply, bool dragging) {
  page.SetLightInfo(info.ToWords());
  SaveChange(page, dragging);
  if (apply) page.ApplyLighting();
  const int r = page.WriteDeviceConfig(0, 0, 1, extraB_, extraC_);
  if (r != 1 && page.IsPrimaryOpen()) Trace("lighting: writing the configuration failed (%d)", r);
  return r;
}

void CLightHandlers::StoreAudio(CVarnikUSBDevice& page, const AudioLightInfo& rec, bool dragging) {
  const auto w = rec.ToWords();
  page.SetAudioLightColours(w[0], w[1], w[2]);
  SaveChange(page, dragging);
  page.ApplyLighting();
}

// ---- dispatch ----

bool CLightHandlers::Handle(const TNotifyUI& msg, CVarnikUSBDevice* current,
                            const std::vector<CVarnikUSBDevice*>& all) {
  if (msg.pSender == nullptr) return false;
  const std::string name(msg.pSender->GetName());
  const Route* route = nullptr;
  std::optional<int> number;
  for (const Route& r : kRoutes) {
    if (!EqualsNoCase(msg.sType, r.type)) continue;
    if (r.indexed) {
      number = IndexAfter(name, r.name);
      if (!number) continue;
    } else if (!EqualsNoCase(name, r.name)) {
      continue;
    }
    route = &r;
    break;
  }
  if (route == nullptr) return false;
  bool inside = false;
  for (CControlUI* c = msg.pSender; c != nullptr && current != nullptr; c = c->GetParent())
    if (c == current) inside = true;
  if (!inside) {
    Trace("lighting: \"%s\" is not a control of the current page, ignored", name.c_str());
    return false;
  }
  CVarnikUSBDevice& page = *current;
  // The custom colour buttons may sit on the page itself; the rest need its editor.
  if (route->action == Action::kFillBright || route->action == Action::kFillOff) {
    OnFillCustomColours(page, route->action == Action::kFillBright);
    return true;
  }
  CLightControlUI* editor = LightEditorOf(current);
  if (editor == nullptr) {
    Trace("lighting: the current page has no lighting editor; \"%s\" ignored", name.c_str());
    return false;
  }
  CLightControlUI& e = *editor;
  const bool selected = [&] {
    auto* o = dynamic_cast<COptionUI*>(msg.pSender);
    return o != nullptr && o->IsSelected();
  }();
  const bool dragging = [&] {
    auto* p = dynamic_cast<CColorPaletteUI*>(msg.pSender);
    return p != nullptr && p->IsDragging();
  }();
  switch (route->action) {
    case Action::kEffect: OnEffectSelected(page, e, e.GetSelectedEffect()); break;
    case Action::kCustomGroup: OnCustomGroupSelected(page, e, e.GetCustomGroup()); break;
    case Action::kExtraMode: OnExtraModeSelected(page, e.GetExtraMode()); break;
    case Action::kFillBright:
    case Action::kFillOff: break;  // handled above
    case Action::kBrightness: OnBrightness(page, e.GetBrightness()); break;
    case Action::kSpeed: OnSpeed(page, e.GetSpeed()); break;
    case Action::kEditR: OnColourEdited(page, e, 0); break;
    case Action::kEditG: OnColourEdited(page, e, 1); break;
    case Action::kEditB: OnColourEdited(page, e, 2); break;
    case Action::kPalette: OnPaletteColour(page, e, e.GetPaletteColour(), dragging); break;
    case Action::kSwatch: OnSwatch(page, e, *number); break;
    case Action::kMultiColour: OnMultiColour(page, e.GetMultiColour()); break;
    case Action::kFxLeft: OnDirection(page, e, true, selected); break;
    case Action::kFxRight: OnDirection(page, e, false, selected); break;
    case Action::kSameMode: ApplySameMode(page, all); break;
    case Action::kAudioState: OnAudioState(page, e); break;
    case Action::kAudioPalette: OnAudioColourPicked(page, e, e.GetAudioPaletteColour(), dragging); break;
    case Action::kAudioSwatch: OnAudioSwatch(page, e, *number); break;
    case Action::kAudioEditR: OnAudioColourEdited(page, e, 0); break;
    case Action::kAudioEditG: OnAudioColourEdited(page, e, 1); break;
    case Action::kAudioEditB: OnAudioColourEdited(page, e, 2); break;
  }
  return true;
}

// ---- effect, groups, sliders ----

void CLightHandlers::OnEffectSelected(CVarnikUSBDevice& page, CLightControlUI& editor, int index) {
  if (index < 0 || index > 255) {
    Trace("lighting: effect %d refused", index);
    return;
  }
  LightInfo info = RecordOf(page);
  info.selectItem = static_cast<uint8_t>(index);
  editor.ApplyLayout(index);
  page.Comm().lightSync = 0;
  Store(page, info);
}

void CLightHandlers::OnCustomGroupSelected(CVarnikUSBDevice& page, CLightControlUI&, int index) {
  auto* keyboard = dynamic_cast<CVarnikKeyboardDevice*>(&page);
  if (keyboard == nullptr || !IsKeyboard(page)) return;
  if (index < 0 || index > 255) {
    Trace("lighting: custom colour group %d refused", index);
    return;
  }
  keyboard->SetCustomGroup(index);
  LightInfo info = RecordOf(page);
  info.customGroup = static_cast<uint8_t>(index);
  Store(page, info, false);
  if (hooks_.reloadCustomColours) hooks_.reloadCustomColours(page);
}

void CLightHandlers::OnExtraModeSelected(CVarnikUSBDevice& page, int index) {
  if (!IsKeyboard(page)) return;
  if (index < 0 || index > 255) {
    Trace("lighting: extra mode %d refused", index);
    return;
  }
  LightInfo info = RecordOf(page);
  info.zzccLedMode = static_cast<uint8_t>(index);
  Store(page, info);
}

void CLightHandlers::OnFillCustomColours(CVarnikUSBDevice& page, bool bright) {
  if (!IsKeyboard(page)) return;
  if (hooks_.fillCustomColours) hooks_.fillCustomColours(page, bright ? 1 : 0);
}

void CLightHandlers::OnBrightness(CVarnikUSBDevice& page, int value) {
  LightInfo info = RecordOf(page);
  info.light = ToByte(value);
  page.Comm().lightSync = 0;
  Store(page, info);
}

void CLightHandlers::OnSpeed(CVarnikUSBDevice& page, int value) {
  LightInfo info = RecordOf(page);
  info.speed = ToByte(value);
  page.Comm().lightSync = 0;
  Store(page, info);
}

// ---- colour ----

void CLightHandlers::OnColourEdited(CVarnikUSBDevice& page, CLightControlUI& editor, int channel) {
  if (channel < 0 || channel > 2) return;
  CControlUI* box = editor.FindSubControl(lightui::kEdits[channel]);
  if (box == nullptr) return;
  const uint8_t v = TakeColourBox(box);
  LightInfo info = RecordOf(page);
  SetChannel(info.red, info.green, info.blue, channel, v);
  info.multiColor = 0;
  page.Comm().lightSync = 0;
  Store(page, info);
  editor.SetMultiColour(false);
  const DWORD colour = 0xFF000000u | DWORD{info.red} << 16 | DWORD{info.green} << 8 | info.blue;
  editor.SetPaletteColour(colour);
  editor.SetColourDisplay(colour);
}

void CLightHandlers::OnPaletteColour(CVarnikUSBDevice& page, CLightControlUI& editor, uint32_t colour,
                                    bool dragging) {
  LightInfo info = RecordOf(page);
  info.red = static_cast<uint8_t>(colour >> 16);
  info.green = static_cast<uint8_t>(colour >> 8);
  info.blue = static_cast<uint8_t>(colour);
  info.multiColor = 0;
  page.Comm().lightSync = 0;
  ShowColourBoxes(editor, info);
  Store(page, info, true, dragging);
  editor.SetMultiColour(false);
  editor.SetColourDisplay(0xFF000000u | (colour & 0xFFFFFF));
}

void CLightHandlers::OnSwatch(CVarnikUSBDevice& page, CLightControlUI& editor, int number) {
  const DWORD colour = editor.GetSwatchColour(number);
  if (colour == 0) {
    Trace("lighting: swatch %d has no colour, ignored", number);
    return;
  }
  LightInfo info = RecordOf(page);
  info.red = static_cast<uint8_t>(colour >> 16);
  info.green = static_cast<uint8_t>(colour >> 8);
  info.blue = static_cast<uint8_t>(colour);
  info.multiColor = 0;
  ShowColourBoxes(editor, info);
  editor.SetPaletteColour(0xFF000000u | (colour & 0xFFFFFF));
  Store(page, info);
  editor.SetMultiColour(false);
  editor.SetColourDisplay(0xFF000000u | (colour & 0xFFFFFF));
}

void CLightHandlers::OnMultiColour(CVarnikUSBDevice& page, bool on) {
  LightInfo info = RecordOf(page);
  info.multiColor = on ? 1 : 0;
  page.Comm().lightSync = 0;
  Store(page, info);
}

void CLightHandlers::OnDirection(CVarnikUSBDevice& page, CLightControlUI& editor, bool left, bool selected) {
  LightInfo info = RecordOf(page);
  if (!selected) {
    // A click on the option already chosen: the pair keeps showing the record.
    editor.SetDirection(info.fx != 0);
    return;
  }
  info.fx = left ? 1 : 0;
  editor.SetDirection(left);
  page.Comm().lightSync = 0;
  Store(page, info);
}

// ---- audio lighting ----

void CLightHandlers::OnAudioState(CVarnikUSBDevice& page, CLightControlUI& editor) {
  const std::optional<AudioLightInfo> rec = editor.GetAudioLightInfo(true);
  if (!rec) return;
  StoreAudio(page, *rec);
}

void CLightHandlers::OnAudioColourPicked(CVarnikUSBDevice& page, CLightControlUI& editor, uint32_t colour,
                                        bool dragging) {
  std::optional<AudioLightInfo> rec = editor.GetAudioLightInfo(false);
  if (!rec) return;
  const auto r = static_cast<uint8_t>(colour >> 16), g = static_cast<uint8_t>(colour >> 8),
             b = static_cast<uint8_t>(colour);
  if (rec->colorType != 0) {
    if (rec->fgRed != r || rec->fgGreen != g || rec->fgBlue != b) rec->sevenColor = 0;
    rec->fgRed = r, rec->fgGreen = g, rec->fgBlue = b;
  } else {
    rec->bkRed = r, rec->bkGreen = g, rec->bkBlue = b;
  }
  StoreAudio(page, *rec, dragging);
}

void CLightHandlers::OnAudioSwatch(CVarnikUSBDevice& page, CLightControlUI& editor, int number) {
  const std::optional<DWORD> colour = editor.GetLightAudioColor(number);
  if (!colour) return;
  OnAudioColourPicked(page, editor, *colour);
}

void CLightHandlers::OnAudioColourEdited(CVarnikUSBDevice& page, CLightControlUI& editor, int channel) {
  if (channel < 0 || channel > 2) return;
  CControlUI* box = editor.FindSubControl(lightui::kAudioEdits[channel]);
  if (box == nullptr) return;
  const uint8_t v = TakeColourBox(box);
  std::optional<AudioLightInfo> rec = editor.GetAudioLightInfo(false);
  if (!rec) return;
  if (rec->colorType != 0) {
    SetChannel(rec->fgRed, rec->fgGreen, rec->fgBlue, channel, v);
    rec->sevenColor = 0;
  } else {
    SetChannel(rec->bkRed, rec->bkGreen, rec->bkBlue, channel, v);
  }
  StoreAudio(page, *rec);
}

// ---- same mode ----

bool CLightHandlers::ApplySameMode(CVarnikUSBDevice& current, const std::vector<CVarnikUSBDevice*>& all) {
  const LightInfo source = RecordOf(current);
  const std::optional<int> shared = SharedEffectOf(current.GetKind(), source.selectItem);
  if (!shared) return false;
  if (hooks_.setSyncMode) hooks_.setSyncMode(*shared, source);
  constexpr KindGroup kOrder[] = {KindGroup::kKeyboard, KindGroup::kMouse, KindGroup::kPad, KindGroup::kHeadset,
                                  KindGroup::kOther};
  for (KindGroup group : kOrder) {
    for (CVarnikUSBDevice* page : all) {
      if (page == nullptr || GroupOf(page->GetKind()) != group || !page->IsPrimaryOpen()) continue;
      LightInfo info = source;
      info.selectItem = RecordOf(*page).selectItem;
      if (std::optional<int> effect = EffectOfShared(page->GetKind(), *shared))
        info.selectItem = static_cast<uint8_t>(*effect);
      page->Comm().lightSync = 1;
      if (CLightControlUI* editor = LightEditorOf(page)) editor->ShowLightInfo(info);
      Store(*page, info);
    }
  }
  return true;
}

}  // namespace korvale
