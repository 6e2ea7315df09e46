// The main window's rows for the mouse page's settings: resolution stages
// and report rate go to the profile and the mouse; the pointer, scroll and
// double-click values are kept in the profile only (the desktop's own
// settings are never changed).
#include "devices/varnik_mouse_device.h"
#include "mainwnd/main_wnd.h"
#include "ui/ui_types.h"

namespace korvale {

namespace {

uint32_t WithLow(uint32_t word, uint32_t low) { return (word & 0xFFFF0000u) | (low & 0xFFFFu); }
uint32_t WithHigh(uint32_t word, uint32_t high) { return (word & 0xFFFFu) | (high & 0xFFFFu) << 16; }

// "DPI_slider_3" -> 3 for a stage index 0..4, else -1.
int StageOf(const std::string& name, std::string_view prefix) {
  if (name.size() <= prefix.size() || !EqualsNoCase(std::string_view(name).substr(0, prefix.size()), prefix)) return -1;
  int n = -1;
  if (!ParseInt(std::string_view(name).substr(prefix.size()), &n)) return -1;
  return n >= 0 && n < CVarnikMouseDevice::kStages ? n : -1;
}

}  // namespace

bool CMainWnd::OnMouseSettings(const std::string& type, const std::string& name) {
  auto* mouse = dynamic_cast<CVarnikMouseDevice*>(CurrentDevice());
  if (mouse == nullptr) return false;
  std::vector<DpiStage> stages = mouse->GetDpiStages();
  auto stage = [&](int n) -> DpiStage& {
    if (static_cast<int>(stages.size()) <= n) stages.resize(static_cast<std::size_t>(n) + 1);
    return stages[static_cast<std::size_t>(n)];
  };
  auto storeStages = [&] {
    mouse->SetDpiStages(stages);
    mouse->SaveProfile();
    mouse->WriteDeviceConfig(0, 0, 1, screen_.cx, screen_.cy);
  };
  std::array<uint32_t, 3> w = mouse->GetMouseSystemSettings();
  auto storeWords = [&](bool write) {
    mouse->SetMouseSystemSettings(w[0], w[1], w[2]);
    mouse->SaveProfile();
    if (write) mouse->WriteDeviceConfig(0, 0, 1, screen_.cx, screen_.cy);
  };
  int n = -1;
  if (type == notify::kSelectChanged && (n = StageOf(name, "DPI_select_check_")) >= 0) {
    mouse->SelectDpiStage(n);
    for (int i = 0; i < CVarnikMouseDevice::kStages; ++i) {
      const int v = mouse->GetDpiSliderValue(i);
      mouse->ShowDpiValue(i, v);
      stage(i).x = static_cast<uint16_t>(v);
    }
    storeStages();
  } else if (type == notify::kSelectChanged && (n = StageOf(name, "DPI_enable_check_")) >= 0) {
    const bool on = mouse->IsDpiStageEnabled(n);
    mouse->ShowDpiStageEnabled(n, on);
    stage(n).enabled = on ? 1 : 0;
    storeStages();
  } else if (type == notify::kValueChanged && (n = StageOf(name, "DPI_slider_")) >= 0) {
    const int v = mouse->GetDpiSliderValue(n);
    mouse->ShowDpiValue(n, v);
    stage(n).x = static_cast<uint16_t>(v);
    storeStages();
  } else if (type == "movevaluechanged" && (n = StageOf(name, "DPI_slider_")) >= 0) {
    mouse->ShowDpiValue(n, mouse->GetDpiSliderValue(n));
  } else if (type == notify::kKillFocus && (n = StageOf(name, "DPI_edit_")) >= 0) {
    const int v = mouse->GetDpiEditValue(n);
    mouse->ShowDpiValue(n, v);
    stage(n).x = static_cast<uint16_t>(v);
    storeStages();
  } else if (type == notify::kSelectChanged && (n = StageOf(name, "polling_rate_option_")) >= 0) {
    mouse->ShowPollingRate(n);
    w[2] = WithHigh(w[2], static_cast<uint32_t>(n));
    storeWords(true);
  } else if (type == notify::kSelectChanged && EqualsNoCase(name, "pointer_precision_check")) {
    w[1] = WithLow(w[1], mouse->GetPointerPrecision() ? 1 : 0);
    storeWords(false);
  } else if (type == notify::kSelectChanged && EqualsNoCase(name, "scrolls_page_check")) {
    const int lines = mouse->GetScrollLines();
    const bool byPage = mouse->GetScrollByPage();
    mouse->ShowScroll(byPage, lines);
    w[2] = WithLow(w[2], static_cast<uint32_t>(lines));
    w[1] = WithHigh(w[1], byPage ? 1 : 0);
    storeWords(false);
  } else if (type == notify::kValueChanged && EqualsNoCase(name, "scroll_speed_slider")) {
    const int lines = mouse->GetScrollLines();
    mouse->ShowScroll(false, lines);
    w[2] = WithLow(w[2], static_cast<uint32_t>(lines));
    w[1] = WithHigh(w[1], 0);
    storeWords(false);
  } else if (type == notify::kValueChanged && EqualsNoCase(name, "pointer_speed_slider")) {
    w[0] = WithHigh(w[0], static_cast<uint32_t>(mouse->GetPointerSpeed()));
    storeWords(false);
  } else if (type == notify::kValueChanged && EqualsNoCase(name, "double_click_slider")) {
    w[0] = WithLow(w[0], static_cast<uint32_t>(mouse->GetDoubleClickSpeed()));
    storeWords(false);
  } else if (type == notify::kSelectChanged && (n = StageOf(name, "mouse_device_seting_option_")) >= 0) {
    mouse->ShowMouseSettingsPage(n);
  } else {
    return false;
  }
  return true;
}

}  // namespace korvale
