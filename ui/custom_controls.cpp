#include "ui/custom_controls.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "ui/dialog_builder.h"
#include "ui/paint_manager.h"
#include "ui/window.h"

namespace korvale {

namespace {
bool Inside(const CControlUI* c, UiPoint p) { return c->GetPos().IsEmpty() || c->GetPos().Contains(p); }
}  // namespace

// ---- device key button ----

void CDeviceKeyButtonUI::SetAttribute(std::string_view name, std::string_view value) {
  std::string key = ToLower(name);
  if (key == "lightimage") {
    SetLightImage(value);
  } else if (key == "keysetimage") {
    SetKeySetImage(value);
  } else if (key == "keyunsetimage") {
    SetKeyUnsetImage(value);
  } else if (key == "gmnametextcolor") {
    // Parsed and kept; no drawing uses it.
    DWORD color = 0;
    if (ParseColor(value, &color)) nameTextColor_ = color;
  }
  CButtonUI::SetAttribute(name, value);
}

void CDeviceKeyButtonUI::SetLightImage(std::string_view image) {
  lightImage_ = CDuiString(image);
  Invalidate();
}

void CDeviceKeyButtonUI::SetKeySetImage(std::string_view image) {
  keySetImage_ = CDuiString(image);
  Invalidate();
}

void CDeviceKeyButtonUI::SetKeyUnsetImage(std::string_view image) {
  keyUnsetImage_ = CDuiString(image);
  Invalidate();
}

void CDeviceKeyButtonUI::SetLightFade(int fade) {
  fade = std::clamp(fade, 0, 255);
  if (fade == lightFade_) return;
  lightFade_ = fade;
  Invalidate();
}

void CDeviceKeyButtonUI::SetLightDim(int dim) {
  dim = std::clamp(dim, 0, 255);
  if (dim == lightDim_) return;
  lightDim_ = dim;
  Invalidate();
}

void CDeviceKeyButtonUI::SetLightColor(DWORD rgb) {
  DWORD color = 0xFF000000u | (rgb & 0x00FFFFFFu);
  if (color == lightColor_) return;
  lightColor_ = color;
  Invalidate();
}

void CDeviceKeyButtonUI::SetShowLightImage(bool show) {
  if (show == showLight_) return;
  showLight_ = show;
  Invalidate();
}

void CDeviceKeyButtonUI::SetKeySetFlag(bool on) {
  if (on == keySetFlag_) return;
  keySetFlag_ = on;
  Invalidate();
}

void CDeviceKeyButtonUI::SetKeyUnsetFlag(bool on) {
  if (on == keyUnsetFlag_) return;
  keyUnsetFlag_ = on;
  Invalidate();
}

std::vector<PaintLayer> CDeviceKeyButtonUI::PaintLayers() const {
  std::vector<PaintLayer> out;
  if (!GetStatusImage().empty()) out.push_back(PaintLayer{GetStatusImage(), 255, 255});
  if (showLight_ && !lightImage_.empty()) out.push_back(PaintLayer{lightImage_, lightFade_, lightDim_});
  if (!keyUnsetFlag_ && !keyUnsetImage_.empty()) out.push_back(PaintLayer{keyUnsetImage_, 255, 255});
  if (!keySetFlag_ && !keySetImage_.empty()) out.push_back(PaintLayer{keySetImage_, 255, 255});
  return out;
}

void CDeviceKeyButtonUI::DoEvent(TEventUI& event) {
  if (event.Type == UiEventType::DblClick) {
    if (IsEnabled() && Inside(this, event.ptMouse)) {
      SetPushed(true);
      Notify(notify::kDbClick);
    }
    return;
  }
  CButtonUI::DoEvent(event);
}

// ---- hand image button ----

void CHandImgButtonUI::SetAttribute(std::string_view name, std::string_view value) {
  std::string key = ToLower(name);
  if (key == "handimage") {
    SetHandImage(value);
  } else if (key == "deletenormalimage") {
    deleteNormal_ = CDuiString(value);
  } else if (key == "deletehotimage") {
    deleteHot_ = CDuiString(value);
  }
  CButtonUI::SetAttribute(name, value);
}

void CHandImgButtonUI::SetHandImage(std::string_view image) {
  handImage_ = CDuiString(image);
  Changed(prop::kImage, "handimage");
  Invalidate();
}

void CHandImgButtonUI::SetDeleteImages(std::string_view normal, std::string_view hot) {
  deleteNormal_ = CDuiString(normal);
  deleteHot_ = CDuiString(hot);
  Invalidate();
}

void CHandImgButtonUI::SetFixed(bool fixed) {
  if (fixed_ == fixed) return;
  fixed_ = fixed;
  Invalidate();
}

UiRect CHandImgButtonUI::GetDeleteBadgeRect() const {
  auto scale = [this](int v) { return manager_ != nullptr ? manager_->ScaleValue(v) : v; };
  const UiRect& rc = GetPos();
  int left = rc.right - scale(30);
  int top = rc.bottom - scale(29);
  return UiRect{left, top, left + scale(20), top + scale(20)};
}

std::vector<PaintLayer> CHandImgButtonUI::PaintLayers() const {
  std::vector<PaintLayer> out;
  if (!GetStatusImage().empty()) out.push_back(PaintLayer{GetStatusImage(), 255, 255});
  if (!handImage_.empty()) out.push_back(PaintLayer{handImage_, 255, 255});
  if (IsDeleteBadgeShown()) {
    const CDuiString& badge = badgeHot_ && !deleteHot_.empty() ? deleteHot_ : deleteNormal_;
    if (!badge.empty()) out.push_back(PaintLayer{badge, 255, 255});
  }
  return out;
}

void CHandImgButtonUI::DoEvent(TEventUI& event) {
  switch (event.Type) {
    case UiEventType::ButtonDown:
    case UiEventType::DblClick:
      if (IsEnabled() && Inside(this, event.ptMouse)) {
        pressing_ = true;
        SetPushed(true);
      }
      return;
    case UiEventType::MouseMove: {
      bool over = IsDeleteBadgeShown() && GetDeleteBadgeRect().Contains(event.ptMouse);
      if (over != badgeHot_) {
        badgeHot_ = over;
        Invalidate();
      }
      return;
    }
    case UiEventType::ButtonUp:
      if (pressing_) {
        pressing_ = false;
        SetPushed(false);
        if (!fixed_ && GetDeleteBadgeRect().Contains(event.ptMouse)) {
          Notify(notify::kClickHandDelete);
        } else if (Inside(this, event.ptMouse)) {
          Activate();
        }
      }
      return;
    case UiEventType::MouseLeave:
      badgeHot_ = false;
      break;
    default:
      break;
  }
  CButtonUI::DoEvent(event);
}

// ---- hand image select button ----

bool CHandImgSelectButtonUI::ParseCursor(std::string_view name, CursorShape* out) {
  static constexpr std::pair<std::string_view, CursorShape> kCursors[] = {
      {"arrow", CursorShape::Arrow},     {"ibeam", CursorShape::IBeam},       {"wait", CursorShape::Wait},
      {"cross", CursorShape::Cross},     {"uparrow", CursorShape::UpArrow},   {"size", CursorShape::Size},
      {"icon", CursorShape::Icon},       {"sizenwse", CursorShape::SizeNWSE}, {"sizenesw", CursorShape::SizeNESW},
      {"sizewe", CursorShape::SizeWE},   {"sizens", CursorShape::SizeNS},     {"sizeall", CursorShape::SizeAll},
      {"no", CursorShape::No},           {"hand", CursorShape::Hand},
  };
  for (const auto& [n, shape] : kCursors) {
    if (EqualsNoCase(n, name)) {
      *out = shape;
      return true;
    }
  }
  return false;
}

void CHandImgSelectButtonUI::SetAttribute(std::string_view name, std::string_view value) {
  std::string key = ToLower(name);
  if (key == "handimage") {
    SetHandImage(value);
  } else if (key == "cursor") {
    ParseCursor(value, &cursor_);
  }
  CButtonUI::SetAttribute(name, value);
}

void CHandImgSelectButtonUI::SetHandImage(std::string_view image) {
  handImage_ = CDuiString(image);
  offset_ = UiPoint{};
  SetOffset(offset_);
}

void CHandImgSelectButtonUI::SetHandImageSize(UiSize size) {
  imageSize_ = size;
  SetOffset(offset_);
}

void CHandImgSelectButtonUI::SetOffset(UiPoint offset) {
  int w = GetPos().Width();
  int h = GetPos().Height();
  // Only a picture larger than the control can move, and never past its edges.
  offset.x = std::clamp(offset.x, 0, std::max(0, imageSize_.cx - w));
  offset.y = std::clamp(offset.y, 0, std::max(0, imageSize_.cy - h));
  offset_ = offset;
  std::string source;
  if (!handImage_.empty()) {
    source = CDuiString::Printf("file='%s' ", handImage_.c_str()) +
             CDuiString::Printf("source='%d,%d,%d,%d'", offset.x, offset.y, offset.x + w, offset.y + h);
  }
  if (source != source_) {
    source_ = source;
    Changed(prop::kImage, "handimage");
  }
}

void CHandImgSelectButtonUI::DoEvent(TEventUI& event) {
  switch (event.Type) {
    case UiEventType::ButtonDown:
      if (IsEnabled() && Inside(this, event.ptMouse)) {
        dragging_ = true;
        dragStart_ = event.ptMouse;
        dragStartOffset_ = offset_;
      }
      break;
    case UiEventType::MouseMove:
      if (dragging_) {
        // Dragging right reveals the left part: the source moves against the mouse.
        SetOffset(UiPoint{dragStartOffset_.x - (event.ptMouse.x - dragStart_.x),
                          dragStartOffset_.y - (event.ptMouse.y - dragStart_.y)});
        return;
      }
      break;
    case UiEventType::ButtonUp:
      dragging_ = false;
      break;
    default:
      break;
  }
  CButtonUI::DoEvent(event);
}

// ---- macro record button ----

void CRedioMacroButtonUI::SetAttribute(std::string_view name, std::string_view value) {
  if (EqualsNoCase(name, "redioimage")) SetRedioImage(value);
  CButtonUI::SetAttribute(name, value);
}

void CRedioMacroButtonUI::SetRedioImage(std::string_view image) { redioImage_ = CDuiString(image); }

bool CRedioMacroButtonUI::StartRecord() {
  if (manager_ == nullptr) return false;
  recording_ = true;
  fade_ = kFadeHigh;
  direction_ = -1;
  manager_->SetTimer(this, kPulseTimerId, kPulseIntervalMs);
  return true;
}

void CRedioMacroButtonUI::StopRecord() {
  if (manager_ != nullptr) manager_->KillTimer(this, kPulseTimerId);
  recording_ = false;
  fade_ = kFadeHigh;
  direction_ = -1;
  SetForeImage({});
}

void CRedioMacroButtonUI::Pulse() {
  fade_ += direction_ * kFadeStep;
  if (fade_ <= kFadeLow) {
    fade_ = kFadeLow;
    direction_ = 1;
  } else if (fade_ >= kFadeHigh) {
    fade_ = kFadeHigh;
    direction_ = -1;
  }
  SetForeImage(CDuiString::Printf("res='%s' ", redioImage_.c_str()) + CDuiString::Printf("fade='%d'", fade_));
}

void CRedioMacroButtonUI::DoEvent(TEventUI& event) {
  if (event.Type == UiEventType::Timer && event.wParam == kPulseTimerId) {
    if (recording_) Pulse();
    return;
  }
  CButtonUI::DoEvent(event);
}

// ---- select panel ----

void CSelectPanelUI::DoEvent(TEventUI& event) {
  switch (event.Type) {
    case UiEventType::ButtonDown:
      if (IsEnabled()) {
        armed_ = true;
        banding_ = false;
        start_ = event.ptMouse;
        band_ = UiRect::Spanning(start_, start_);
      }
      return;
    case UiEventType::MouseMove:
      if (armed_) {
        banding_ = true;
        band_ = UiRect::Spanning(start_, event.ptMouse);
        Invalidate();
      }
      return;
    case UiEventType::ButtonUp: {
      if (!armed_) return;
      armed_ = false;
      banding_ = false;
      band_ = UiRect::Spanning(start_, event.ptMouse);
      ForEach([this](CControlUI* c) {
        if (c == this || !EqualsNoCase(c->GetClass(), "DeviceKeyButton")) return;
        if (auto* key = dynamic_cast<CDeviceKeyButtonUI*>(c)) key->SetSelected(key->GetPos().Intersects(band_));
      });
      Invalidate();
      Notify(notify::kClickSelectEnd);
      return;
    }
    default:
      break;
  }
  CVerticalLayoutUI::DoEvent(event);
}

// ---- window host ----

bool CWndUI::Attach(HWND hosted) {
  if (!IsWindow(hosted)) return false;
  hosted_ = hosted;
  Sync();
  return true;
}

HWND CWndUI::Detach() {
  HWND h = hosted_;
  hosted_ = 0;
  return h;
}

void CWndUI::SetPos(const UiRect& rc) {
  CControlUI::SetPos(rc);
  Sync();
}

void CWndUI::SetVisible(bool visible) {
  CControlUI::SetVisible(visible);
  Sync();
}

void CWndUI::Sync() {
  CWindowWnd* w = CWindowWnd::FromHandle(hosted_);
  if (w == nullptr) return;
  UiRect rc = GetPos();
  CWindowWnd* host = manager_ != nullptr ? manager_->GetWindow() : nullptr;
  if (host != nullptr && w->GetParent() != host->GetHWND()) {
    // Not a child of the paint window: place it in screen coordinates.
    const UiRect& hr = host->GetWindowRect();
    rc = UiRect{rc.left + hr.left, rc.top + hr.top, rc.right + hr.left, rc.bottom + hr.top};
  }
  w->MoveWindow(rc);
  w->ShowWindow(IsShown(), false);
}

// ---- audio level view ----

void CAudioRecordUI::SetSamples(const std::vector<int>& samples) {
  std::size_t skip = samples.size() > kMaxSamples ? samples.size() - kMaxSamples : 0;
  samples_.assign(samples.begin() + static_cast<std::ptrdiff_t>(skip), samples.end());
  Invalidate();
}

void CAudioRecordUI::AddSample(int sample) {
  samples_.push_back(sample);
  if (samples_.size() > kMaxSamples) samples_.erase(samples_.begin());
  Invalidate();
}

std::vector<CAudioRecordUI::Bar> CAudioRecordUI::GetBars() const {
  std::vector<Bar> bars;
  const UiRect& rc = GetPos();
  int h = rc.Height();
  for (std::size_t i = 0; i < samples_.size(); ++i) {
    int x = rc.left + static_cast<int>(i) * 2;
    if (x >= rc.right) break;
    long mag = std::labs(static_cast<long>(samples_[i]));
    int height = static_cast<int>(std::min<long>(h, mag * h / kFullScale));
    bars.push_back(Bar{x, height});
  }
  return bars;
}

// ---- progress ring ----

double CCircleProgressUI::GetSweepDegrees() const {
  int range = GetMaxValue() - GetMinValue();
  if (range <= 0) return 0.0;
  return 360.0 * (GetValue() - GetMinValue()) / range;
}

// ---- chart view ----

void CChartViewUI::SetAttribute(std::string_view name, std::string_view value) {
  std::string key = ToLower(name);
  int n = 0;
  if (key == "view") {
    view_ = EqualsNoCase(value, "histogram") ? View::Histogram : View::Pie;
  } else if (key == "shadowimage") {
    shadowImage_ = CDuiString(value);
  } else if (key == "shadowimageheight") {
    if (ParseInt(value, &n)) shadowImageHeight_ = n;
  } else if (key == "pillarimage") {
    pillarImage_ = CDuiString(value);
  } else if (key == "pillarimagewidth") {
    if (ParseInt(value, &n)) pillarImageWidth_ = n;
  } else if (key == "showhtml") {
    showHtml_ = ParseBool(value);
  } else if (key == "showtext") {
    showText_ = ParseBool(value);
  } else if (key == "font") {
    ParseInt(value, &font_);
  }
  CControlUI::SetAttribute(name, value);
}

void CChartViewUI::Add(std::string_view name, double value) {
  items_.push_back(Item{std::string(name), value});
  Invalidate();
}

bool CChartViewUI::RemoveAt(int index) {
  if (index < 0 || index >= static_cast<int>(items_.size())) return false;
  items_.erase(items_.begin() + index);
  Invalidate();
  return true;
}

void CChartViewUI::RemoveAll() {
  items_.clear();
  Invalidate();
}

std::vector<CChartViewUI::Slice> CChartViewUI::GetPieSlices() const {
  double total = 0;
  for (const Item& i : items_) total += std::max(0.0, i.value);
  std::vector<Slice> out;
  if (total <= 0) return out;
  double start = 0;
  for (const Item& i : items_) {
    double sweep = 360.0 * std::max(0.0, i.value) / total;
    out.push_back(Slice{start, sweep});
    start += sweep;
  }
  return out;
}

std::vector<int> CChartViewUI::GetBarHeights(int height) const {
  double top = 0;
  for (const Item& i : items_) top = std::max(top, i.value);
  std::vector<int> out;
  for (const Item& i : items_) {
    out.push_back(top <= 0 ? 0 : static_cast<int>(std::lround(height * std::max(0.0, i.value) / top)));
  }
  return out;
}

// ---- hot-tracked list items ----

void CCloudShareListItemUI::DoEvent(TEventUI& event) {
  if (event.Type == UiEventType::MouseEnter || event.Type == UiEventType::MouseLeave) {
    CListContainerElementUI::DoEvent(event);
    Invalidate();
    return;
  }
  CListContainerElementUI::DoEvent(event);
}

DWORD CCloudShareListItemUI::GetHotBorderColor() const {
  return GetOwner() != nullptr ? GetOwner()->GetHotItemColor() : 0;
}

// ---- combo-edit list element ----

void CComboEditContainerElementUI::SetAttribute(std::string_view name, std::string_view value) {
  std::string key = ToLower(name);
  // Accepted for skins that set them, but this element draws no state images.
  if (key == "normalimage" || key == "hotimage" || key == "selectedimage") return;
  CListContainerElementUI::SetAttribute(name, value);
}

void CComboEditContainerElementUI::DoInit() {
  if (built_) return;
  built_ = true;
  CDialogBuilder builder;
  IDialogBuilderCallback* callback = nullptr;
  if (manager_ != nullptr) callback = dynamic_cast<IDialogBuilderCallback*>(manager_->GetWindow());
  builder.Create(kItemSkin, callback, manager_, this);
  text1_ = FindSubControl("text1");
  text2_ = FindSubControl("text2");
  delayEdit_ = dynamic_cast<CEditUI*>(FindSubControl("delay_edit"));
  ForEach([this](CControlUI* c) {
    if (c == this) return;
    c->AddOnNotify([this](TNotifyUI& msg) {
      if (msg.sType == notify::kSelectChanged) {
        changed_ = true;
      } else if (msg.sType == notify::kReturn && msg.pSender == delayEdit_) {
        changed_ = true;
      }
      return true;
    });
  });
}

void CComboEditContainerElementUI::DoEvent(TEventUI& event) {
  switch (event.Type) {
    case UiEventType::KeyDown:
      if (event.chKey == kVkReturn) {
        if (IsEnabled()) {
          Activate();
          Notify(notify::kReturn);
        }
        return;
      }
      break;
    case UiEventType::ButtonDown:
    case UiEventType::RButtonDown:
      if (IsEnabled() && GetOwner() != nullptr) {
        if ((event.wKeyState & kKeyStateControl) != 0) {
          if (IsSelected()) {
            GetOwner()->UnSelectItem(GetIndex());
          } else {
            GetOwner()->SelectMultiItem(GetIndex());
          }
        } else {
          Select();
        }
      }
      return;
    case UiEventType::ButtonUp:
      if (IsEnabled()) Notify(notify::kItemClick);
      return;
    case UiEventType::Timer:
      Notify(notify::kTimer, event.wParam, event.lParam);
      return;
    case UiEventType::ContextMenu:
      if (IsMenuAllowed()) Notify(notify::kMenu);
      return;
    default:
      break;
  }
  CListContainerElementUI::DoEvent(event);
}

}  // namespace korvale
