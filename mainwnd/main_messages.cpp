#include "mainwnd/main_wnd.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>

#include "devices/varnik_usb_device.h"
#include "hid/device_discovery.h"
#include "mainwnd/audio_companion_link.h"
#include "mainwnd/device_list.h"
#include "platform/trace.h"
#include "ui/controls.h"

namespace korvale {

namespace {

std::atomic<bool> g_powerOn{true};

// Hook message names by their role.
constexpr std::size_t kSingleKeyHook = 0;  // "WM_HOOK_KEY_SINGLEKEY_MSG"
constexpr std::size_t kHitKeyHook = 1;     // "WM_HOOK_KEY_HITKEY_MSG"
constexpr const char* kMacroHookNames[] = {
    "WM_HOOK_KEY_KBMACRO_MSG",         "WM_HOOK_KEY_KBMACROSINGLE_MSG",
    "WM_HOOK_KEY_KBMACROPREVIOUS_MSG", "WM_HOOK_KEY_KBMACROLATER_MSG",
    "WM_HOOK_KEY_MSMACRO_MSG",         "WM_HOOK_KEY_MSMACROSINGLE_MSG",
    "WM_HOOK_KEY_MSMACROPREVIOUS_MSG", "WM_HOOK_KEY_MSMACROLATER_MSG"};

bool IsMacroHook(std::size_t index) {
  for (const char* n : kMacroHookNames)
    if (std::string_view(n) == kHookMessageNames[index]) return true;
  return false;
}

}  // namespace

bool CMainWnd::IsPowerOn() { return g_powerOn.load(); }

int CMainWnd::HookMessageIndex(UINT msg) const {
  if (msg == 0) return -1;
  for (std::size_t i = 0; i < hookMsgs_.size(); ++i)
    if (hookMsgs_[i] == msg) return static_cast<int>(i);
  return -1;
}

int CMainWnd::GameMessageIndex(UINT msg) const {
  if (msg == 0) return -1;
  for (std::size_t i = 0; i < gameMsgs_.size(); ++i)
    if (gameMsgs_[i] == msg) return static_cast<int>(i);
  return -1;
}

// ---- timers ----

void CMainWnd::OnTimer(UINT id) {
  KillTimer(id);
  switch (id) {
    case kTimerScale:
      SetInterfaceScale();
      m_pm.NeedUpdate();
      Route(MainRoute::kAudioCapture, MainRouteCall{"timer", "start", nullptr, wm::kTimer, id, 0});
      break;
    case kTimerTrayMenu:
      ShowTrayMenu();
      break;
    case kTimerProfileSelect:
      Route(MainRoute::kProfileSelect, MainRouteCall{"timer", "device_profile_combo", nullptr, wm::kTimer, id, 0});
      break;
    case kTimerGameEnd:
      EndGameLighting();
      break;
    case kTimerNoticesArm:
      notices_.Arm();
      break;
    case kTimerFirstPaint:
      ReleaseFirstPaintHold();
      break;
    default:
      break;
  }
}

// ---- messages ----

void CMainWnd::OnDpiChanged(int dpi, const UiRect* suggested) {
  if (!CPaintManagerUI::IsValidDPI(dpi)) {
    Trace("main window: dpi %d is not one the skin draws at; ignored", dpi);
    return;
  }
  m_pm.SetDPI(dpi);
  m_pm.ResetDPIAssets();
  if (suggested != nullptr) MoveWindow(*suggested);
  CenterWindow();
  m_pm.NeedUpdate();
  Trace("界面 DPI 发生变化");
}

void CMainWnd::OnCopyData() {
  const CopyDataView* block = CurrentCopyData();
  if (block == nullptr) {
    Trace("main window: WM_COPYDATA without a block; dropped");
    return;
  }
  if (block->dwData == kCopyDataDpiRect) {
    // dpi, left, top, right, bottom as 32-bit values.
    std::array<std::int32_t, 5> v{};
    if (block->size != sizeof v) {
      Trace("main window: dpi rectangle of %zu bytes, not %zu; dropped", block->size, sizeof v);
      return;
    }
    std::memcpy(v.data(), block->data, sizeof v);
    const UiRect rc{v[1], v[2], v[3], v[4]};
    const std::int64_t w = std::int64_t{rc.right} - rc.left, h = std::int64_t{rc.bottom} - rc.top;
    if (w <= 0 || h <= 0 || w > kMaxWindowSide || h > kMaxWindowSide) {
      Trace("main window: dpi rectangle %d,%d,%d,%d is no window size; dropped", rc.left, rc.top, rc.right,
            rc.bottom);
      return;
    }
    OnDpiChanged(v[0], &rc);
    return;
  }
  // Audio spectrum (1) or audio colours (2); the handler reads the block.
  if ((block->dwData == 1 || block->dwData == 2) && block->size > 0) {
    Route(MainRoute::kAudioData, MainRouteCall{"message", "copydata", nullptr, wm::kCopyData, 0, 0});
    return;
  }
  Trace("main window: copy-data of kind %llu and %zu bytes; dropped",
        static_cast<unsigned long long>(block->dwData), block->size);
}

LRESULT CMainWnd::OnDestroy(UINT, WPARAM, LPARAM, bool& bHandled) {
  if (tray_ != nullptr && trayShown_) tray_->DeleteTrayIcon();
  trayShown_ = false;
  bHandled = false;  // the message table shuts down
  return 0;
}

void CMainWnd::Shutdown() {
  if (shutDown_) return;
  shutDown_ = true;
  // A modal child's loop ends with its window.
  CloseChildWindows();
  CloseMenus();
  for (UINT id : {kTimerScale, kTimerTrayMenu, kTimerProfileSelect, kTimerGameEnd, kTimerNoticesArm}) KillTimer(id);
  ShowWindow(false);
  for (CVarnikUSBDevice* d : AllDevices()) d->FlushProfileSave();
  StopThreads();
  if (devices_) {
    devices_->StopDiscovery();
    devices_->DestroyAll();
  }
  Route(MainRoute::kAudioCapture, MainRouteCall{"message", "stop", nullptr, wm::kDestroy, 0, 0});
}

// One handler per message. All take their parameters as values: a message
// may come from any process on the bus, so nothing here reads wParam or
// lParam as an address.
using MessageHandler = LRESULT (CMainWnd::*)(UINT, WPARAM, LPARAM, bool&);

LRESULT CMainWnd::HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled) {
  struct Fixed {
    UINT msg;
    MessageHandler handler;
  };
  struct Registered {
    UINT CMainWnd::*number;  // 0 until registered: never matches
    MessageHandler handler;
  };
  // First group: seen even while suspended.
  static constexpr Fixed kAlways[] = {
      {wm::kActivate, &CMainWnd::OnActivateMsg},     {wm::kMouseLeave, &CMainWnd::OnMouseLeaveMsg},
      {wm::kMouseHover, &CMainWnd::OnMouseHoverMsg}, {wm::kDestroy, &CMainWnd::OnDestroyMsg},
      {wm::kPowerBroadcast, &CMainWnd::OnPowerMsg}, {wm::kPaint, &CMainWnd::OnPaintMsg},
  };
  static constexpr Registered kAlwaysRegistered[] = {
      {&CMainWnd::identityMsg_, &CMainWnd::OnIdentityMsg},
      {&CMainWnd::updateStatusMsg_, &CMainWnd::OnUpdateStatusMsg},
      {&CMainWnd::lightControlSetMsg_, &CMainWnd::OnLightControlSetMsg},
      {&CMainWnd::workToolQueryMsg_, &CMainWnd::OnWorkToolMsg},
  };
  // Only while the power is on.
  static constexpr Fixed kAwake[] = {
      {WM_SHOW_PROGRESS, &CMainWnd::OnShowProgressMsg},
      {WM_LANGUAGE_CHANGED, &CMainWnd::OnLanguageMsg},
      {WM_DEVICE_BOUND, &CMainWnd::OnDeviceListMsg},
      {WM_DEVICE_LOST, &CMainWnd::OnDeviceListMsg},
      {WM_TILE_LINK, &CMainWnd::OnDeviceListMsg},
      {WM_OPEN_SETTINGS, &CMainWnd::OnOpenSettingsMsg},
      {WM_UPDATE_IS_LATEST, &CMainWnd::OnUpdateIsLatestMsg},
      {WM_RESERVED_3330, &CMainWnd::OnNothingMsg},
      {WM_DPI_NOTE, &CMainWnd::OnDpiNoteMsg},
      {WM_HOOK_CONTROL, &CMainWnd::OnHookControlMsg},
      {wm::kDpiChanged, &CMainWnd::OnDpiChangedMsg},
      {WM_TRAY_NOTIFY, &CMainWnd::OnTrayNotifyMsg},
      {WM_MENU_COMMAND, &CMainWnd::OnMenuCommandMsg},
      {wm::kTimer, &CMainWnd::OnTimerMsg},
      {wm::kCopyData, &CMainWnd::OnCopyDataMsg},
      {wm::kDisplayChange, &CMainWnd::OnDisplayChangeMsg},
  };
  bHandled = false;
  for (const Fixed& f : kAlways)
    if (f.msg == msg) return (this->*f.handler)(msg, wParam, lParam, bHandled);
  for (const Registered& r : kAlwaysRegistered)
    if (this->*r.number != 0 && this->*r.number == msg) return (this->*r.handler)(msg, wParam, lParam, bHandled);
  if (!IsPowerOn()) return 0;
  if (HookMessageIndex(msg) >= 0) return OnHookMsg(msg, wParam, lParam, bHandled);
  if (GameMessageIndex(msg) >= 0) {
    OnGameMessage(wParam, lParam);
    return 0;
  }
  for (const Fixed& f : kAwake)
    if (f.msg == msg) return (this->*f.handler)(msg, wParam, lParam, bHandled);
  return 0;
}

LRESULT CMainWnd::OnActivateMsg(UINT, WPARAM wParam, LPARAM, bool&) {
  active_ = hovered_ = wParam != 0;
  PassHovered();
  return 0;
}

LRESULT CMainWnd::OnMouseLeaveMsg(UINT, WPARAM, LPARAM, bool&) {
  Trace("鼠标移出");
  if (!active_) {
    hovered_ = false;
    PassHovered();
  }
  return 0;
}

LRESULT CMainWnd::OnMouseHoverMsg(UINT, WPARAM, LPARAM, bool&) {
  Trace("鼠标移入");
  if (!active_) {
    hovered_ = true;
    PassHovered();
  }
  return 0;
}

LRESULT CMainWnd::OnIdentityMsg(UINT msg, WPARAM wParam, LPARAM lParam, bool&) {
  Trace("软件标示 %u，%zx%zx", msg, static_cast<std::size_t>(wParam), static_cast<std::size_t>(lParam));
  const bool firstScan = lParam == 0;
  if (firstScan) awaitingFirstScan_ = false;
  if (firstScan && startHidden_) {
    startHidden_ = false;
    UpdateNoDeviceOverlay();
    return 0;
  }
  WakeUp();
  return 0;
}

LRESULT CMainWnd::OnUpdateStatusMsg(UINT msg, WPARAM wParam, LPARAM lParam, bool&) {
  if (HWND s = GetChildWindow(ChildWindow::kSettings)) PostMessageW(s, msg, wParam, lParam);
  return 0;
}

LRESULT CMainWnd::OnLightControlSetMsg(UINT, WPARAM wParam, LPARAM lParam, bool&) {
  if (wParam == 1) {
    if (lParam == 0 || lParam == 1)
      SetLightingControl(lParam == 1, false);
    else
      PassLightingControl(lightingControl_);
  }
  return 0;
}

LRESULT CMainWnd::OnWorkToolMsg(UINT msg, WPARAM wParam, LPARAM lParam, bool&) {
  Route(MainRoute::kWorkTool, MainRouteCall{"message", {}, nullptr, msg, wParam, lParam});
  return 0;
}

LRESULT CMainWnd::OnDestroyMsg(UINT, WPARAM, LPARAM, bool& bHandled) {
  Trace("退出测试");
  Shutdown();
  GetUiLoop().Quit(0);
  bHandled = true;
  return 0;
}

LRESULT CMainWnd::OnPowerMsg(UINT, WPARAM wParam, LPARAM, bool&) {
  if (wParam == PBT_APMRESUMEAUTOMATIC) {
    g_powerOn = true;
    PassLightingControl(lightingControl_);
    // Devices plugged or unplugged while asleep sent no notice we saw.
    if (devices_) devices_->Discovery().Rescan();
  } else if (wParam == PBT_APMSUSPEND) {
    g_powerOn = false;
    PassLightingControl(false);
  }
  return 0;
}

LRESULT CMainWnd::OnHookMsg(UINT msg, WPARAM wParam, LPARAM lParam, bool&) {
  // Between suspend and resume captured events are dropped.
  if (!IsPowerOn()) return 0;
  const auto i = static_cast<std::size_t>(HookMessageIndex(msg));
  if (i == kSingleKeyHook)
    Route(MainRoute::kKeyCapture, MainRouteCall{"message", kHookMessageNames[i], nullptr, msg, wParam, lParam});
  else if (i != kHitKeyHook && IsMacroHook(i))
    Route(MainRoute::kMacroRecording, MainRouteCall{"message", kHookMessageNames[i], nullptr, msg, wParam, lParam});
  return 0;
}

LRESULT CMainWnd::OnShowProgressMsg(UINT, WPARAM, LPARAM, bool&) {
  if (CControlUI* p = m_pm.FindControl("setting_progress")) p->SetVisible(true);
  return 0;
}

LRESULT CMainWnd::OnLanguageMsg(UINT, WPARAM wParam, LPARAM, bool&) {
  ApplyLanguage(static_cast<int>(std::min<WPARAM>(wParam, 0x7FFFFFFF)));
  if (devices_)
    for (auto* list : {&devices_->MousePages(), &devices_->KeyboardPages()})
      for (CVarnikUSBDevice* d : *list) d->RefreshPage();
  return 0;
}

LRESULT CMainWnd::OnDeviceListMsg(UINT msg, WPARAM wParam, LPARAM lParam, bool&) {
  if (!devices_) return 0;
  if (holdForFirstPaint_) {
    held_.push_back({msg, wParam, lParam});
    return 0;
  }
  if (msg == WM_DEVICE_BOUND) return devices_->OnDeviceBound(wParam);
  if (msg == WM_DEVICE_LOST) return devices_->OnDeviceLost(wParam);
  return devices_->OnTileLink(wParam, lParam);
}

LRESULT CMainWnd::OnPaintMsg(UINT, WPARAM, LPARAM, bool&) {
  ReleaseFirstPaintHold();
  return 0;
}

void CMainWnd::ReleaseFirstPaintHold() {
  if (!holdForFirstPaint_) return;
  holdForFirstPaint_ = false;
  KillTimer(kTimerFirstPaint);
  std::vector<HeldMessage> held;
  held.swap(held_);
  bool handled = false;
  for (const HeldMessage& h : held) {
    if (shutDown_ || !IsPowerOn()) break;
    OnDeviceListMsg(h.msg, h.wParam, h.lParam, handled);
  }
  std::vector<std::function<void()>> tasks;
  tasks.swap(afterFirstPaint_);
  for (auto& task : tasks) task();
}

void CMainWnd::AfterFirstPaint(std::function<void()> task) {
  if (holdForFirstPaint_)
    afterFirstPaint_.push_back(std::move(task));
  else
    task();
}

LRESULT CMainWnd::OnOpenSettingsMsg(UINT msg, WPARAM wParam, LPARAM lParam, bool&) {
  Route(MainRoute::kSettingsWindow, MainRouteCall{"message", "centred", nullptr, msg, wParam, lParam});
  return 0;
}

LRESULT CMainWnd::OnUpdateIsLatestMsg(UINT, WPARAM, LPARAM, bool&) {
  if (auto* b = dynamic_cast<CButtonUI*>(setBtn_ != nullptr ? setBtn_ : m_pm.FindControl("setbtn")))
    b->SetForeImage("");
  return 0;
}

LRESULT CMainWnd::OnNothingMsg(UINT, WPARAM, LPARAM, bool&) { return 0; }

LRESULT CMainWnd::OnDpiNoteMsg(UINT, WPARAM, LPARAM, bool&) {
  Trace("界面 DPI 1发生变化");
  return 0;
}

LRESULT CMainWnd::OnHookControlMsg(UINT msg, WPARAM wParam, LPARAM lParam, bool&) {
  Route(MainRoute::kHookControl, MainRouteCall{"message", {}, nullptr, msg, wParam, lParam});
  return 0;
}

LRESULT CMainWnd::OnDpiChangedMsg(UINT, WPARAM wParam, LPARAM, bool&) {
  // lParam is never read: the suggested rectangle comes as copy-data.
  OnDpiChanged(static_cast<int>(wParam & 0xFFFF), nullptr);
  return 0;
}

LRESULT CMainWnd::OnTrayNotifyMsg(UINT, WPARAM, LPARAM lParam, bool&) {
  OnTrayNotify(lParam);
  return 0;
}

LRESULT CMainWnd::OnMenuCommandMsg(UINT, WPARAM wParam, LPARAM, bool& bHandled) {
  OnMenuCommand(wParam);
  bHandled = true;
  return 0;
}

LRESULT CMainWnd::OnTimerMsg(UINT, WPARAM wParam, LPARAM, bool&) {
  if (wParam > 0xFFFFFFFFu) return 0;  // no timer of ours has such an id
  OnTimer(static_cast<UINT>(wParam));
  return 0;
}

LRESULT CMainWnd::OnCopyDataMsg(UINT, WPARAM, LPARAM, bool&) {
  OnCopyData();
  return 0;
}

LRESULT CMainWnd::OnDisplayChangeMsg(UINT, WPARAM, LPARAM lParam, bool&) {
  Trace("显示器分辨率发生变化");
  // The new resolution: width in the low word, height in the high one.
  const UiSize size{static_cast<int>(lParam & 0xFFFF), static_cast<int>((lParam >> 16) & 0xFFFF)};
  if (size.cx > 0 && size.cy > 0) monitor_ = size;
  SetInterfaceScale();
  return 0;
}

}  // namespace korvale
