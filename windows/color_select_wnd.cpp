#include "windows/color_select_wnd.h"

#include <algorithm>
#include <charconv>
#include <vector>

#include "platform/trace.h"
#include "ui/app_messages.h"
#include "ui/controls.h"

namespace korvale {

namespace {

constexpr const char* kPresetPrefix = "color_option_";
constexpr const char* kUserPrefix = "collect_color_option_";
constexpr const char* kEdits[3] = {"color_edit_r", "color_edit_g", "color_edit_b"};
constexpr DWORD kEmptySwatch = 0xFFFFFFFF;
// WS_POPUP | WS_VISIBLE, WS_EX_TOOLWINDOW
constexpr UINT kStyle = 0x90000000;
constexpr UINT kExStyle = 0x80;

// A channel typed by the user: digits only, at most 255; anything else is 0.
int Channel(const std::string& text) {
  int v = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec == std::errc::result_out_of_range) return 255;
  if (ec != std::errc() || end != text.data() + text.size()) return 0;
  return std::clamp(v, 0, 255);
}

}  // namespace

CColorSelectWnd::CColorSelectWnd() {
  AddNotifyHandler(notify::kSelectChanged, [this](TNotifyUI& msg) {
    if (msg.pSender == nullptr) return;
    if (EqualsNoCase(msg.pSender->GetName(), "7color")) {
      auto* option = dynamic_cast<COptionUI*>(msg.pSender);
      SetMultiColour(option != nullptr && option->IsSelected());
      return;
    }
    OnSwatchSelected(msg.pSender);
  });
  AddNotifyHandler(notify::kKillFocus, [this](TNotifyUI& msg) {
    if (msg.pSender == nullptr) return;
    for (const char* e : kEdits)
      if (EqualsNoCase(msg.pSender->GetName(), e)) OnNumbers();
  });
  // Enter in a number field takes the numbers as leaving the field does.
  AddNotifyHandler(notify::kReturn, [this](TNotifyUI& msg) {
    if (msg.pSender == nullptr) return;
    for (const char* e : kEdits)
      if (EqualsNoCase(msg.pSender->GetName(), e)) OnNumbers();
  });
  AddNotifyHandler(notify::kWindowInit, [this](TNotifyUI&) { OnWindowInit(); });
  AddNotifyHandler(notify::kItemSelect, [](TNotifyUI&) {});
}

CControlUI* CColorSelectWnd::Find(const char* name) const {
  return const_cast<CPaintManagerUI&>(m_pm).FindControl(name);
}

COptionUI* CColorSelectWnd::Preset(int i) const {
  if (i < 0 || i >= kSwatches) return nullptr;
  return dynamic_cast<COptionUI*>(Find((kPresetPrefix + std::to_string(i)).c_str()));
}

COptionUI* CColorSelectWnd::UserSwatch(int i) const {
  if (i < 0 || i >= kSwatches) return nullptr;
  return dynamic_cast<COptionUI*>(Find((kUserPrefix + std::to_string(i)).c_str()));
}

void CColorSelectWnd::InitWindow() {
  closeBtn_ = Find("closebtn");
  maxBtn_ = Find("maxbtn");
  restoreBtn_ = Find("restorebtn");
  minBtn_ = Find("minbtn");
  menuBtn_ = Find("menubtn");
  laterBtn_ = Find("laterbtn");
  palette_ = dynamic_cast<CColorPaletteUI*>(Find("Pallet"));
}

void CColorSelectWnd::SetUiScale(int dpi) {
  if (dpi == scale_) return;
  if (!CPaintManagerUI::IsValidDPI(dpi)) {
    Trace("SET_WND DPI SET ERROR");
    dpi = 96;
  }
  scale_ = dpi;
  m_pm.SetDPI(dpi);
}

void CColorSelectWnd::ShowNumbers(DWORD colour) {
  const DWORD parts[3] = {(colour >> 16) & 0xFF, (colour >> 8) & 0xFF, colour & 0xFF};
  for (int i = 0; i < 3; ++i)
    if (CControlUI* e = Find(kEdits[i])) e->SetText(std::to_string(parts[i]));
}

void CColorSelectWnd::SetCurrentColour(DWORD argb) {
  if (CControlUI* preview = Find("color_show_btn")) {
    preview->SetBkImage("");
    preview->SetBkColor(argb);
  }
  if (palette_ != nullptr) palette_->SetSelectColor(argb);
  colour_ = argb;
  ShowNumbers(argb);
}

void CColorSelectWnd::ShowMultiColourOption(bool show) {
  auto* option = dynamic_cast<COptionUI*>(Find("7color"));
  if (option != nullptr) {
    option->SetEnabled(show);
    if (!show) option->Selected(false, false);
  }
  if (CControlUI* row = Find("7color_layout")) row->SetVisible(show);
  if (!show) SetMultiColour(false);
}

void CColorSelectWnd::SetMultiColour(bool on) {
  multiColour_ = on;
  if (CControlUI* preview = Find("color_show_btn")) preview->SetBkImage(on ? kMultiColourImage : "");
  if (auto* option = dynamic_cast<COptionUI*>(Find("7color"))) option->Selected(on, false);
}

void CColorSelectWnd::OnWindowInit() {
  const PaletteState st = OpenPalette();
  SetCurrentColour(colour_);
  SetMultiColour(multiColour_);
  LoadPresets(st);
  LoadUserSwatches(st);
}

void CColorSelectWnd::LoadPresets(const PaletteState& st) {
  // The colours stay the skin's: only the selection comes from the file.
  if (!st.hasPresetSelect) return;
  presetIndex_ = st.presetSelect;
  if (COptionUI* s = Preset(presetIndex_)) s->Selected(true, false);
}

void CColorSelectWnd::LoadUserSwatches(const PaletteState& st) {
  for (int i = 0; i < kSwatches && i < static_cast<int>(st.userSwatches.size()); ++i) {
    const PaletteSwatch& e = st.userSwatches[static_cast<std::size_t>(i)];
    COptionUI* s = UserSwatch(i);
    if (!e.present || s == nullptr) continue;
    s->SetBkColor(kEmptySwatch);
    s->SetSelectedBkColor(kEmptySwatch);
    s->SetUserData(e.userData);
    if (e.userData == "1") {
      // Everything the window makes is opaque; so is what it reads back.
      const DWORD c = e.colour | 0xFF000000u;
      s->SetBkColor(c);
      s->SetSelectedBkColor(c);
      s->SetAttribute("bordersize", "0");
    }
  }
  if (!st.hasUserSelect) return;
  userIndex_ = st.userSelect;
  if (COptionUI* s = UserSwatch(userIndex_)) s->Selected(true, false);
}

void CColorSelectWnd::SavePresets() {
  std::vector<PaletteSwatch> out(kSwatches);
  for (int i = 0; i < kSwatches; ++i)
    if (COptionUI* s = Preset(i)) out[static_cast<std::size_t>(i)] = {true, s->GetBkColor(), {}};
  if (!SavePalettePresets(out, presetIndex_)) Trace("palette: preset colours not saved");
}

void CColorSelectWnd::SaveUserSwatches() {
  std::vector<PaletteSwatch> out(kSwatches);
  for (int i = 0; i < kSwatches; ++i)
    if (COptionUI* s = UserSwatch(i)) out[static_cast<std::size_t>(i)] = {true, s->GetBkColor(), std::string(s->GetUserData())};
  if (!SavePaletteUserSwatches(out, userIndex_)) Trace("palette: collected colours not saved");
}

void CColorSelectWnd::FillSelectedUserSwatch() {
  if (COptionUI* s = UserSwatch(userIndex_); s != nullptr && s->IsSelected()) {
    s->SetBkColor(colour_);
    s->SetSelectedBkColor(colour_);
    s->Selected(true, false);
    s->SetUserData("1");
    s->SetAttribute("bordersize", "0");
    SaveUserSwatches();
  }
  if (CControlUI* preview = Find("color_show_btn")) preview->SetBkColor(colour_);
  SetMultiColour(false);
}

void CColorSelectWnd::OnSwatchSelected(CControlUI* sender) {
  const std::string name = sender->GetName();
  auto* option = dynamic_cast<COptionUI*>(sender);
  if (option == nullptr || !option->IsSelected()) return;
  if (const auto n = IndexAfterPrefix(name, kPresetPrefix); n && *n < kSwatches) {
    presetIndex_ = *n;
    SavePresets();
    colour_ = sender->GetBkColor();
    if (palette_ != nullptr) palette_->SetSelectColor(colour_);
    FillSelectedUserSwatch();
    ShowNumbers(colour_);
  } else if (const auto u = IndexAfterPrefix(name, kUserPrefix); u && *u < kSwatches) {
    userIndex_ = *u;
    // An empty swatch only becomes the one the next colour goes to.
    if (std::string(sender->GetUserData()) != "1") return;
    SaveUserSwatches();
    colour_ = sender->GetBkColor();
    if (CControlUI* preview = Find("color_show_btn")) preview->SetBkColor(colour_);
    SetMultiColour(false);
    if (palette_ != nullptr) palette_->SetSelectColor(colour_);
    ShowNumbers(colour_);
  }
}

void CColorSelectWnd::OnFieldColour() {
  if (palette_ == nullptr) return;
  colour_ = palette_->GetSelectColor();
  FillSelectedUserSwatch();
  ShowNumbers(colour_);
}

void CColorSelectWnd::OnNumbers() {
  int v[3] = {0, 0, 0};
  for (int i = 0; i < 3; ++i)
    if (CControlUI* e = Find(kEdits[i])) v[i] = Channel(e->GetText());
  colour_ = 0xFF000000u | static_cast<DWORD>(v[0]) << 16 | static_cast<DWORD>(v[1]) << 8 | static_cast<DWORD>(v[2]);
  // The fields show what was taken (a cleared field reads 0).
  ShowNumbers(colour_);
  if (palette_ != nullptr) palette_->SetSelectColor(colour_);
  FillSelectedUserSwatch();
}

void CColorSelectWnd::Notify(TNotifyUI& msg) {
  if (msg.sType == notify::kColorChanged && msg.pSender != nullptr && msg.pSender == palette_) OnFieldColour();
  WindowImplBase::Notify(msg);
}

void CColorSelectWnd::OnClick(TNotifyUI& msg) {
  CControlUI* sender = msg.pSender;
  if (sender == nullptr) return;
  if (sender == closeBtn_ || sender == laterBtn_) {
    Close(0);
  } else if (sender == minBtn_) {
    SendMessage(wm::kSysCommand, SC_MINIMIZE, 0);
  } else if (sender == maxBtn_) {
    SendMessage(wm::kSysCommand, SC_MAXIMIZE, 0);
  } else if (sender == restoreBtn_) {
    SendMessage(wm::kSysCommand, SC_RESTORE, 0);
  } else if (EqualsNoCase(sender->GetName(), "okbtn")) {
    CControlUI* preview = Find("color_show_btn");
    if (palette_ == nullptr) {
      Close(2);
      return;
    }
    result_ = preview != nullptr ? preview->GetBkColor() : colour_;
    Close(1);
  } else if (auto* option = dynamic_cast<COptionUI*>(sender);
             option != nullptr && option->IsSelected() && IndexAfterPrefix(sender->GetName(), kPresetPrefix)) {
    // A preset clicked again while selected: its colour is wanted again
    // (after the field or the numbers moved away from it).
    OnSwatchSelected(sender);
  }
}

LRESULT CColorSelectWnd::OnSysCommand(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
  if ((wParam & 0xFFF0) == SC_CLOSE) {
    Close(0);
    bHandled = true;
    return 0;
  }
  return WindowImplBase::OnSysCommand(msg, wParam, lParam, bHandled);
}

LRESULT CColorSelectWnd::HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM, bool& bHandled) {
  if (msg == wm::kDpiChanged) {
    const int dpi = static_cast<int>(wParam & 0xFFFF);
    if (CPaintManagerUI::IsValidDPI(dpi)) {
      scale_ = dpi;
      m_pm.SetDPI(dpi);
      m_pm.ResetDPIAssets();
      if (CControlUI* root = m_pm.GetRoot()) root->NeedUpdate();
    } else {
      Trace("palette: dpi %d is not one the skin draws at; ignored", dpi);
    }
    bHandled = true;
  } else if (msg == WM_LANGUAGE_CHANGED) {
    if (CControlUI* root = m_pm.GetRoot()) {
      root->NeedUpdate();
      root->Invalidate();
    }
    m_pm.NeedUpdate();
    bHandled = true;
  }
  return 0;
}

std::optional<DWORD> PickColour(HWND owner, int dpi, DWORD colour, bool multiColourOption,
                                const std::function<void(HWND)>& opened) {
  CColorSelectWnd wnd;
  const HWND h = wnd.Create(owner, "PalletDialog", kStyle, kExStyle,
                            UiRect{0, 0, CColorSelectWnd::kSize.cx, CColorSelectWnd::kSize.cy});
  if (h == 0) return std::nullopt;
  wnd.CenterWindow();
  wnd.SetUiScale(dpi);
  wnd.SetCurrentColour(colour);
  wnd.ShowMultiColourOption(multiColourOption);
  if (opened) opened(h);
  const int result = wnd.ShowModal();
  if (opened) opened(0);
  // A loop that ended first (tests) leaves the window: it goes unanswered.
  if (IsWindow(h)) wnd.DestroyWindow();
  if (result != 1) return std::nullopt;
  return wnd.GetResultColour();
}

}  // namespace korvale
