#include "editors/music_wnd.h"

#include <algorithm>

#include "platform/trace.h"
#include "ui/controls.h"

namespace korvale {

namespace {
constexpr const char* kSliders[3] = {"audio_r_slider", "audio_g_slider", "audio_b_slider"};
// WS_POPUP | WS_VISIBLE; WS_EX_TOOLWINDOW.
constexpr UINT kStyle = 0x90000000;
constexpr UINT kExStyle = 0x00000080;

std::string TabName(int n) { return "audio_select_tab" + std::to_string(n); }
std::string EditName(int n) { return "audio_edit_name" + std::to_string(n); }

bool SplitNumbered(const std::string& name, std::string_view prefix, int* n) {
  if (name.size() != prefix.size() + 1 || name.compare(0, prefix.size(), prefix) != 0) return false;
  const char d = name.back();
  if (d < '1' || d > '4') return false;
  *n = d - '0';
  return true;
}
}  // namespace

CMusicWnd::CMusicWnd(AudioStyles styles, int dpi) : styles_(std::move(styles)), dpi_(CheckedDpi(dpi)) {}

int CMusicWnd::CheckedDpi(int dpi) {
  for (int ok : {48, 72, 96, 120, 144, 168, 192})
    if (dpi == ok) return dpi;
  Trace("SET_WND DPI SET ERROR");
  return 96;
}

HWND CMusicWnd::CreateFor(HWND owner) {
  const HWND h = Create(owner, "  ", kStyle, kExStyle, UiRect{0, 0, kSize.cx, kSize.cy});
  if (h != 0) CenterWindow();
  return h;
}

void CMusicWnd::InitWindow() {
  m_pm.SetDPI(dpi_);
  for (const char* s : kSliders) {
    if (auto* slider = dynamic_cast<CSliderUI*>(m_pm.FindControl(s))) {
      slider->SetMinValue(0);
      slider->SetMaxValue(kAudioLevelMax);
    }
  }
  if (auto* tab = dynamic_cast<COptionUI*>(m_pm.FindControl(TabName(styles_.style + 1)))) tab->Selected(true, false);
  ShowStyleLevels(styles_.style);
  ShowNames();
}

int CMusicWnd::SelectedStyle() {
  int selected = 0;
  bool found = false;
  for (int n = 1; n <= kAudioStyles; ++n) {
    auto* tab = dynamic_cast<COptionUI*>(m_pm.FindControl(TabName(n)));
    if (tab == nullptr) {
      Trace("GetAudioLightInfo control is NULL");
      return -1;
    }
    if (!found && tab->IsSelected()) {
      selected = n - 1;
      found = true;
    }
  }
  return selected;
}

void CMusicWnd::ShowStyleLevels(int style) {
  const std::array<int, 3> l = StyleLevels(styles_, style);
  for (std::size_t c = 0; c < 3; ++c)
    if (auto* slider = dynamic_cast<CSliderUI*>(m_pm.FindControl(kSliders[c]))) slider->SetValue(l[c]);
}

void CMusicWnd::ShowNames() {
  for (int n = 1; n <= kAudioStyles; ++n) {
    const std::string shown = ShownStyleName(styles_.names[static_cast<std::size_t>(n - 1)], n);
    if (CControlUI* edit = m_pm.FindControl(EditName(n))) edit->SetText(shown);
    if (CControlUI* tab = m_pm.FindControl(TabName(n))) tab->SetText(shown);
  }
}

void CMusicWnd::Notify(TNotifyUI& msg) {
  const std::string name = msg.pSender != nullptr ? std::string(msg.pSender->GetName()) : std::string();
  const std::string type = msg.sType;
  int n = 0;
  if (type == notify::kSelectChanged && SplitNumbered(name, "audio_select_tab", &n)) {
    auto* tab = dynamic_cast<COptionUI*>(msg.pSender);
    if (tab != nullptr && tab->IsSelected()) {
      styles_.style = n - 1;
      ShowStyleLevels(styles_.style);
    }
  } else if (type == notify::kValueChanged) {
    for (std::size_t c = 0; c < 3; ++c) {
      if (name != kSliders[c]) continue;
      const int style = SelectedStyle();
      auto* slider = dynamic_cast<CSliderUI*>(msg.pSender);
      if (style >= 0 && slider != nullptr)
        SetStyleLevel(styles_, style, static_cast<int>(c), slider->GetValue());
    }
  } else if (type == notify::kKillFocus && SplitNumbered(name, "audio_edit_name", &n)) {
    std::string text = msg.pSender->GetText();
    auto& stored = styles_.names[static_cast<std::size_t>(n - 1)];
    if (text.empty()) {
      // An empty name becomes the default, kept as its text id so it follows the language.
      stored = DefaultStyleNameId(n);
      text = ShownStyleName(stored, n);
      msg.pSender->SetText(text);
    } else if (text != ShownStyleName(stored, n)) {
      stored = text;
    }
    if (CControlUI* tab = m_pm.FindControl(TabName(n))) tab->SetText(text);
  }
  WindowImplBase::Notify(msg);
}

void CMusicWnd::OnClick(TNotifyUI& msg) {
  const std::string name = msg.pSender != nullptr ? std::string(msg.pSender->GetName()) : std::string();
  if (name == "okbtn") {
    Close(1);
  } else if (name == "closebtn") {
    Close(0);
  } else {
    WindowImplBase::OnClick(msg);
  }
}

}  // namespace korvale
