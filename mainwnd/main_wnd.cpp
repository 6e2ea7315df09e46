#include "mainwnd/main_wnd.h"

#include <algorithm>
#include <cstdlib>

#include "devices/page_hooks.h"
#include "mainwnd/status_line.h"
#include "platform/settings_store.h"
#include "devices/varnik_keyboard_device.h"
#include "devices/varnik_usb_device.h"
#include "editors/audio_styles.h"
#include "editors/light_control.h"
#include "editors/light_handlers.h"
#include "editors/macro_handlers.h"
#include "mainwnd/audio_companion_link.h"
#include "mainwnd/device_list.h"
#include "mainwnd/device_option.h"
#include "mainwnd/headset_commands.h"
#include "mainwnd/key_commands.h"
#include "mainwnd/main_commands.h"
#include "mainwnd/window_commands.h"
#include "mainwnd/profile_commands.h"
#include "platform/paths.h"
#include "platform/registered_messages.h"
#include "platform/trace.h"
#include "profiles/json_file.h"
#include "profiles/keyboard_layout.h"
#include "profiles/settings_files.h"
#include "ui/containers.h"
#include "ui/controls.h"
#include "ui/custom_controls.h"
#include "ui/resource_manager.h"
#include "windows/msg_wnd.h"

namespace korvale {

CMainPage::CMainPage() {
  AddNotifyHandler(notify::kClick, [](TNotifyUI&) {});
  AddNotifyHandler(notify::kSelectChanged, [](TNotifyUI&) {});
  AddNotifyHandler(notify::kItemClick, [](TNotifyUI&) {});
}

// ---- construction and wiring ----

CMainWnd::CMainWnd() : sync_(std::make_shared<CSyncLighting>()) {
  AddVirtualWnd("mainpage", &mainPage_);
  LightHandlerHooks lightHooks;
  lightHooks.fillCustomColours = [](CVarnikUSBDevice& page, int bright) {
    if (auto* kb = dynamic_cast<CVarnikKeyboardDevice*>(&page)) kb->FillCustomColours(bright != 0);
  };
  lightHooks.reloadCustomColours = [](CVarnikUSBDevice& page) {
    if (auto* kb = dynamic_cast<CVarnikKeyboardDevice*>(&page)) kb->ReloadCustomColours();
  };
  lightHooks.setSyncMode = [this](int shared, const LightInfo& info) {
    SyncLightMode mode;
    mode.type = shared;
    mode.brightness = info.light;
    mode.speed = info.speed;
    mode.direction = info.fx;
    mode.multicolour = info.multiColor != 0;
    mode.red = info.red;
    mode.green = info.green;
    mode.blue = info.blue;
    SetSyncLightMode(mode);
  };
  light_ = std::make_unique<CLightHandlers>(std::move(lightHooks));
  const auto lighting = [this](const MainRouteCall& call) { OnLightingNotify(call); };
  for (MainRoute r : {MainRoute::kLightingEditor, MainRoute::kAudioLighting, MainRoute::kColourEntry})
    SetRouteHandler(r, lighting);
  SetRouteHandler(MainRoute::kMacroActionMenu, [this](const MainRouteCall&) { ShowActionMenu(); });
  windows_ = std::make_unique<CWindowCommands>(*this);
  commands_ = std::make_unique<CMainCommands>(*this);
  profileCommands_ = std::make_unique<CProfileCommands>(*this);
  headsetCommands_ = std::make_unique<CHeadsetCommands>(*this);
  macros_ = std::make_unique<CMacroHandlers>(MessageWindowDialogs());
  SetRouteHandler(MainRoute::kMacroEditor, [this](const MainRouteCall& call) {
    if (call.notify != nullptr) macros_->HandleMacro(*call.notify, CurrentDevice());
  });
  SetRouteHandler(MainRoute::kShootEditor, [this](const MainRouteCall& call) {
    if (call.notify != nullptr) macros_->HandleShoot(*call.notify, CurrentDevice());
  });
  keyCommands_ = std::make_unique<CKeyCommands>(*this);
  statusLine_ = std::make_unique<CStatusLine>(m_pm);
  audio_ = std::make_unique<CAudioCompanionLink>(*this);
  SetRouteHandler(MainRoute::kAudioCapture, [this](const MainRouteCall& call) { audio_->OnCapture(call); });
  SetRouteHandler(MainRoute::kAudioData, [this](const MainRouteCall& call) { audio_->OnData(call); });
  SetRouteHandler(MainRoute::kWorkTool, [this](const MainRouteCall& call) { audio_->OnWorkTool(call); });
  SetRegisteredMessages([](std::string_view name) { return RegisterWindowMessage(name); });
  // The skin is built for 96 dpi; the scale rule picks the final one.
}

CMainWnd::~CMainWnd() {
  // Also after a shutdown: a thread started since must not outlive its slot
  // joinable.
  StopThreads();
  keyCommands_.reset();  // ends a capture that is still installed
  devices_.reset();
  if (tray_ != nullptr && trayShown_) tray_->DeleteTrayIcon();
}

void CMainWnd::SetRegisteredMessages(const std::function<UINT(std::string_view)>& lookup) {
  if (!lookup) return;
  identityMsg_ = lookup(kAppIdentity);
  updateStatusMsg_ = lookup(kUpdateStatusMsgName);
  lightControlNotifyMsg_ = lookup(kLightControlNotifyMsgName);
  lightControlSetMsg_ = lookup(kLightControlSetMsgName);
  workToolQueryMsg_ = lookup(kWorkToolQueryMsgName);
  for (std::size_t i = 0; i < hookMsgs_.size(); ++i) hookMsgs_[i] = lookup(kHookMessageNames[i]);
  for (std::size_t i = 0; i < gameMsgs_.size(); ++i) gameMsgs_[i] = lookup(kGameMessageNames[i]);
}

void CMainWnd::SetBroadcaster(std::function<void(std::string_view, WPARAM, LPARAM)> broadcaster) {
  broadcaster_ = std::move(broadcaster);
}

void CMainWnd::SetTrayIcon(ITrayIcon* tray) { tray_ = tray; }

CommandDialogs CMainWnd::MessageWindowDialogs() {
  CommandDialogs d;
  d.confirm = [this](const std::string& id) {
    return ShowMessage(GetHWND(), "", id, GetInterfaceScale(), true, kMsgConfirm) == 1;
  };
  d.notice = [this](const std::string& id, const std::string& detail) {
    if (detail.empty()) {
      ShowMessage(GetHWND(), "", id, GetInterfaceScale(), true, kMsgNotice);
      return;
    }
    // A text with %d takes a numeric detail as its number; any other detail goes under the text.
    std::string text = CResourceManager::GetInstance().GetText(id);
    if (const auto at = text.find("%d"); at != std::string::npos)
      text.replace(at, 2, detail);
    else
      text += "\n" + detail;
    ShowMessage(GetHWND(), "", text, GetInterfaceScale(), false, kMsgNotice);
  };
  return d;
}

void CMainWnd::SetRouteHandler(MainRoute route, MainRouteHandler handler) {
  const auto i = static_cast<std::size_t>(route);
  if (i < routes_.size()) routes_[i] = std::move(handler);
}

void CMainWnd::Route(MainRoute route, const MainRouteCall& call) {
  const auto i = static_cast<std::size_t>(route);
  if (i < routes_.size() && routes_[i]) routes_[i](call);
}

CControlUI* CMainWnd::CreateControl(std::string_view /*cls*/) { return nullptr; }

// ---- initialisation ----

void CMainWnd::InitWindow() {
  Trace("InitWindow");
  closeBtn_ = m_pm.FindControl("closebtn");
  minBtn_ = m_pm.FindControl("minbtn");
  setBtn_ = m_pm.FindControl("setbtn");
  if (tray_ != nullptr) trayShown_ = tray_->CreateTrayIcon(GetHWND(), kAppIdentity);
  LoadMenu();
  // A renderer that paints tells of the first paint: until then device
  // messages, the audio companion's start and first-start writes wait (at
  // most kFirstPaintWaitMs), so the first frame comes as early as it can.
  const IWindowObserver* observer = GetObserver();
  holdForFirstPaint_ = !startHidden_ && observer != nullptr && observer->ReportsFirstPaint();
  if (holdForFirstPaint_) SetTimer(kTimerFirstPaint, kFirstPaintWaitMs);
  // Before the window is laid out or drawn: no control shows or measures a
  // text id (some are Chinese) in place of its text in the language.
  ApplyLanguage(StartLanguageIndex());
}

void CMainWnd::OnWindowInit() {
  // Posted at creation; the window may be gone by the time it runs.
  if (shutDown_ || !IsWindow(GetHWND())) {
    Trace("main window: windowinit after the window was destroyed; nothing started");
    return;
  }
  // Companions learn that the lighting is ours again.
  if (broadcaster_) broadcaster_(kLightControlNotifyMsgName, 1, 1);
  windows_->ApplySavedSkin();
  DeviceListHooks hooks;
  hooks.wakeUp = [this] { WakeUp(); };
  hooks.beforeSelectedTileHidden = [this] {
    CloseChildWindows();
    // A running macro recording ends with its hooks.
    SendMessage(WM_HOOK_CONTROL, 0, 0);
  };
  hooks.closeSettingsWindow = [this] {
    if (HWND h = GetChildWindow(ChildWindow::kSettings)) SendMessageW(h, wm::kClose, 0, 0);
  };
  hooks.syncAvailable = [this](bool on) { SetSameModeAvailable(on); };
  hooks.pageBound = [this](CVarnikUSBDevice* page) { page->SetLightingControlActive(lightingControl_); };
  hooks.statusChanged = [this] { statusLine_->ShowDevice(CurrentDevice()); };
  hooks.deviceNotice = [this](CVarnikUSBDevice* page) {
    notices_.Answering(page, DeviceDisplayName(page), page->DeviceNotice() != CVarnikUSBDevice::Notice::kNoAnswer);
  };
  hooks.powerStatus = [this](CVarnikUSBDevice* page, const std::array<uint8_t, 6>& st) {
    notices_.Battery(page, DeviceDisplayName(page), st[0], st[1] == 1);
  };
  hooks.deviceShown = [this](CVarnikUSBDevice* page, bool shown) {
    if (shown) notices_.Connected(page, DeviceDisplayName(page));
    else notices_.Disconnected(page);
  };
  notices_.SetEnabled(SettingsStore().ReadDword(kNotificationsSetting).value_or(1) != 0);
  SetTimer(kTimerNoticesArm, kNoticesArmDelayMs);
  devices_ = std::make_unique<CDeviceList>(m_pm, this, std::move(hooks));
  devices_->SetIdentityMessage(identityMsg_);
  // No pages yet: each comes with its device's first bind.
  screen_ = CWindowWnd::GetScreenSize();
  light_->SetConfigExtras(screen_.cx, screen_.cy);
  // With a renderer that paints, the window stays shown and draws its first
  // frame at once, before any device page is built; the devices fill it as
  // the scan finds them and the no-device note waits for the first scan.
  // Otherwise the window hides until the first scan's wake-up.
  if (!holdForFirstPaint_) ShowWindow(false);
  const bool scanning = discoveryEnabled_ && devices_->StartDiscovery();
  if (discoveryEnabled_ && !scanning) Trace("main window: device discovery did not start");
  awaitingFirstScan_ = holdForFirstPaint_ && scanning;
  UpdateNoDeviceOverlay();
  // The thread shares the engine, so it may outlive the window after a
  // missed stop deadline.
  StartThread(kSyncLightSlot, [sync = sync_](const MainThreadParam& p) { sync->Run(*p.stop); });
  SetTimer(kTimerScale, 100);
  firstSizeArmed_ = true;
  // The audio-lighting settings, rebuilt from the default copy when missing.
  audioSettingsPath_ = AppDataFolder() / "AudioFile.json";
  Json::Value replacement;
  audioSettings_ = ReadAudioDevice(audioSettingsPath_, DefaultDataFolder() / "AudioFile.json", &replacement);
  if (!replacement.isNull())
    AfterFirstPaint([path = audioSettingsPath_, doc = std::move(replacement)] {
      // Unless a save came first.
      const Json::Value user = ReadJsonFile(path);
      if (!user.isObject() || !user["Device"].isObject()) TryWriteJsonFile(path, doc);
    });
  AfterFirstPaint([this] {
    if (!shutDown_) audio_->Start();
  });
}

const AudioStyles& CMainWnd::GetAudioStyles() const { return audio_->Styles(); }

// ---- notifications ----

void CMainWnd::Notify(TNotifyUI& msg) {
  const std::string type = msg.sType;
  const std::string name = msg.pSender != nullptr ? std::string(msg.pSender->GetName()) : std::string();
  if (type != notify::kTimer) Trace("notify %s %s", type.c_str(), name.c_str());

  if (type == notify::kWindowInit) {
    OnWindowInit();
  } else if (type == notify::kWindowSize) {
    if (firstSizeArmed_ && EqualsNoCase(name, "root")) {
      firstSizeArmed_ = false;
      SetInterfaceScale();
    }
  } else if (!IsPowerOn()) {
    // Suspended: user input waits for the resume.
    return;
  } else if (type == "click_wpremove" || type == "click_wpedit") {
    return;  // and no default handling
  } else if (type != notify::kClick) {
    RouteNotify(msg);
  }
  // Default handling: "click" reaches OnClick, "mainpage" its pump.
  WindowImplBase::Notify(msg);
}

bool CMainWnd::RouteNotify(TNotifyUI& msg) {
  const std::string type = msg.sType;
  const std::string name = msg.pSender != nullptr ? std::string(msg.pSender->GetName()) : std::string();
  int index = 0;
  if (type == notify::kSetFocus && EqualsNoCase(name, "keyset_keyboard_text_edit")) {
    SendMessage(WM_HOOK_CONTROL, 1, 0);
    return true;
  }
  if (type == notify::kKillFocus && EqualsNoCase(name, "keyset_keyboard_text_edit")) {
    SendMessage(WM_HOOK_CONTROL, 0, 0);
    return true;
  }
  if (type == notify::kMoveValueChanged && SplitIndexedName(name, "velmo_DPI_slider_", false, &index)) {
    OnVelmoDpiSlider(msg, index);
    return true;
  }
  if (type == notify::kKillFocus && SplitIndexedName(name, "velmo_DPI_edit_", false, &index)) {
    OnVelmoDpiEdit(msg, index);
    return true;
  }
  if (type == notify::kSelectChanged && EqualsNoCase(name, "device_select")) {
    OnDeviceSelect();
    return true;
  }
  if (type == notify::kClickSelectEnd && EqualsNoCase(name, "mouse_device_key_light")) {
    OnMouseLedSelection(msg.pSender);
    return true;
  }
  if (type == notify::kItemSelect && EqualsNoCase(name, "device_profile_combo")) {
    KillTimer(kTimerProfileSelect);
    SetTimer(kTimerProfileSelect, 400);
    return true;
  }
  if (const auto route = FindNotifyRoute(type, name)) {
    if (*route == MainRoute::kDeviceSettings && (OnKeyboardSettings(type, name) || OnMouseSettings(type, name)))
      return true;
    if (*route == MainRoute::kFunctionPage) OnFunctionTab(name);
    Route(*route, MainRouteCall{type, name, &msg, 0, msg.wParam, msg.lParam});
    return true;
  }
  return false;
}

namespace {

uint32_t WithLow(uint32_t word, uint32_t low) { return (word & 0xFFFF0000u) | (low & 0xFFFFu); }
uint32_t WithHigh(uint32_t word, uint32_t high) { return (word & 0xFFFFu) | (high & 0xFFFFu) << 16; }

}  // namespace

bool CMainWnd::OnKeyboardSettings(const std::string& type, const std::string& name) {
  auto* kb = dynamic_cast<CVarnikKeyboardDevice*>(CurrentDevice());
  if (kb == nullptr || !IsKind(kb->GetKind(), DeviceKind::Keyboard)) return false;
  std::array<uint32_t, 4> w = kb->GetSystemSettings();
  int n = 0;
  bool write = true;
  if (type == notify::kSelectChanged && SplitIndexedName(name, "polling_rate_option_", false, &n)) {
    kb->ShowPollingRate(n);
    w[1] = WithHigh(w[1], static_cast<uint32_t>(n));
  } else if (type == notify::kSelectChanged && SplitIndexedName(name, "repeat_delay_check_", false, &n)) {
    kb->ShowRepeatDelay(n);
    w[0] = WithHigh(w[0], static_cast<uint32_t>(n));
    write = false;
  } else if (type == notify::kValueChanged && EqualsNoCase(name, "repeat_rate_slider")) {
    w[0] = WithLow(w[0], static_cast<uint32_t>(kb->GetRepeatRate()));
    write = false;
  } else if (type == notify::kSelectChanged && EqualsNoCase(name, "winlockflag_option")) {
    w[2] = WithHigh(w[2], kb->GetWinLockOption() ? 1 : 0);
  } else if (type == notify::kSelectChanged && EqualsNoCase(name, "wflag_option")) {
    w[2] = WithLow(w[2], kb->GetWKeyOption() ? 1 : 0);
  } else if (type == notify::kSelectChanged && EqualsNoCase(name, "6flag_option")) {
    w[1] = WithLow(w[1], kb->GetSixKeyOption() ? 1 : 0);
  } else {
    return false;  // the mouse's controls
  }
  kb->SetSystemSettings(w[0], w[1], w[2], static_cast<uint16_t>(w[3]));
  kb->SaveProfile();
  if (write) kb->WriteDeviceConfig(0, 0, 1, screen_.cx, screen_.cy);
  return true;
}

void CMainWnd::OnClick(TNotifyUI& msg) {
  if (!IsPowerOn() || msg.pSender == nullptr) return;
  const std::string name = msg.pSender->GetName();
  if (EqualsNoCase(name, "closebtn")) {
    // Without a tray icon a hidden window could never be reached again.
    if (trayShown_)
      HideToTray();
    else
      Exit();
    return;
  }
  if (EqualsNoCase(name, "nodevice_ok_btn")) {
    ShowWindow(false);
    return;
  }
  if (EqualsNoCase(name, "control_light_status")) {
    ToggleLightingControl();
    return;
  }
  if (EqualsNoCase(name, "minbtn")) {
    SendMessage(wm::kSysCommand, SC_MINIMIZE, 0);
    return;
  }
  if (EqualsNoCase(name, "maxbtn")) {
    SendMessage(wm::kSysCommand, SC_MAXIMIZE, 0);
    return;
  }
  if (EqualsNoCase(name, "restorebtn")) {
    SendMessage(wm::kSysCommand, SC_RESTORE, 0);
    return;
  }
  if (EqualsNoCase(name, "device_select_prev") || EqualsNoCase(name, "device_select_next")) {
    SelectNeighbourTile(EqualsNoCase(name, "device_select_prev") ? -1 : 1);
    return;
  }
  if (EqualsNoCase(name, "reset_repeat_btn")) {
    OnResetRepeat();
    return;
  }
  if (EqualsNoCase(name, "Close_bkColor_btn")) {
    OnCloseBkColour();
    return;
  }
  // The same-mode command is the lighting editor's; the main commands may
  // add to it.
  if (EqualsNoCase(name, lightui::kSameMode))
    OnLightingNotify(MainRouteCall{notify::kClick, name, &msg, 0, msg.wParam, msg.lParam});
  if (const auto route = FindNotifyRoute(notify::kClick, name))
    Route(*route, MainRouteCall{notify::kClick, name, &msg, 0, msg.wParam, msg.lParam});
}

void CMainWnd::OnVelmoDpiSlider(TNotifyUI& msg, int index) {
  auto* slider = dynamic_cast<CSliderUI*>(msg.pSender);
  CControlUI* edit = m_pm.FindControl("velmo_DPI_edit_" + std::to_string(index));
  if (slider == nullptr || edit == nullptr) return;
  edit->SetText(CDuiString::Printf("%d", slider->GetValue()));
}

// The resolution range of the work tool's DPI edits.
constexpr int kVelmoDpiMin = 200;
constexpr int kVelmoDpiMax = 6500;

void CMainWnd::OnVelmoDpiEdit(TNotifyUI& msg, int index) {
  CControlUI* edit = msg.pSender;
  int v = 0;
  if (!ParseInt(std::string(edit->GetText()), &v)) v = 0;
  v = std::clamp(v, kVelmoDpiMin, kVelmoDpiMax);
  edit->SetText(CDuiString::Printf("%d", v));
  if (auto* slider = dynamic_cast<CSliderUI*>(m_pm.FindControl("velmo_DPI_slider_" + std::to_string(index))))
    slider->SetValue(v);
}

// ---- lighting control flag ----

void CMainWnd::ShowLightControlStatus() {
  if (CControlUI* c = m_pm.FindControl("control_light_status"))
    c->SetText(lightingControl_ ? "控制灯光" : "不控制灯光");
}

void CMainWnd::SetLightingControl(bool on, bool broadcast) {
  lightingControl_ = on;
  if (broadcast && broadcaster_) broadcaster_(kLightControlNotifyMsgName, 1, on ? 1 : 0);
  ShowLightControlStatus();
  PassLightingControl(on);
}

void CMainWnd::ToggleLightingControl() { SetLightingControl(!lightingControl_, true); }

void CMainWnd::PassLightingControl(bool on) {
  for (CVarnikUSBDevice* d : AllDevices()) d->SetLightingControlActive(on);
}

void CMainWnd::PassHovered() {
  for (CVarnikUSBDevice* d : AllDevices()) d->SetWindowActive(hovered_);
}

void CMainWnd::SetWirelessPolling(bool on) {
  if (!devices_) return;
  for (auto* list : {&devices_->MousePages(), &devices_->KeyboardPages()})
    for (CVarnikUSBDevice* d : *list) d->SetWirelessPollPaused(!on);
  if (on) devices_->ResumeStatusPolls();
}

std::vector<CVarnikUSBDevice*> CMainWnd::AllDevices() const {
  std::vector<CVarnikUSBDevice*> all;
  if (!devices_) return all;
  for (auto* list : {&devices_->MousePages(), &devices_->KeyboardPages(), &devices_->MousePadPages(),
                     &devices_->HeadsetPages()})
    all.insert(all.end(), list->begin(), list->end());
  return all;
}

CVarnikUSBDevice* CMainWnd::CurrentDevice() const { return devices_ ? devices_->CurrentDevice() : nullptr; }

void CMainWnd::OnDeviceSelect() {
  if (!devices_) return;
  // A drag's waiting save lands before another device's page takes over.
  for (CVarnikUSBDevice* d : AllDevices()) d->FlushProfileSave();
  for (int i = 0; i < devices_->PageCount(); ++i) {
    CDeviceOptionUI* tile = devices_->TileAt(i);
    if (tile == nullptr || !tile->IsSelectedTile()) continue;
    currentTile_ = i;
    currentKeyboardIndex_ = i - static_cast<int>(devices_->MousePages().size());
    currentMousePadIndex_ = i - static_cast<int>(devices_->KeyboardPages().size());
    currentKind_ = tile->GetKind();
    currentAuxiliary_ = tile->GetAuxiliary();
    if (auto* power = dynamic_cast<CTabLayoutUI*>(m_pm.FindControl(tile->GetPowerLayoutName()))) {
      const int panel = tile->GetPowerPanelIndex();
      power->SetVisible(panel != -1);
      if (panel != -1) power->SelectItem(panel);
    }
    return;
  }
}

void CMainWnd::SelectNeighbourTile(int direction) {
  if (!devices_) return;
  int selected = -1;
  for (int i = 0; i < devices_->PageCount(); ++i) {
    CDeviceOptionUI* tile = devices_->TileAt(i);
    if (tile != nullptr && tile->IsVisible() && tile->IsSelectedTile()) {
      selected = i;
      break;
    }
  }
  if (selected < 0) return;
  for (int i = selected + direction; i >= 0 && i < devices_->PageCount(); i += direction) {
    CDeviceOptionUI* tile = devices_->TileAt(i);
    if (tile != nullptr && tile->IsVisible()) {
      devices_->ShowTile(i, true, true);
      return;
    }
  }
}

void CMainWnd::OnMouseLedSelection(CControlUI* panel) {
  CVarnikUSBDevice* d = CurrentDevice();
  const int count = d != nullptr ? d->GetLightCount() : 0;
  if (panel == nullptr || count <= 0) return;
  std::vector<bool> marked(static_cast<std::size_t>(count), false);
  bool anySelected = false;
  for (CControlUI* c : m_pm.FindSubControlsByClass(panel, "DeviceKeyButton")) {
    auto* b = dynamic_cast<CDeviceKeyButtonUI*>(c);
    int n = 0;
    if (b == nullptr) continue;
    if (!SplitIndexedName(b->GetName(), "light_", false, &n) && !SplitIndexedName(b->GetUserData(), "light_", false, &n))
      continue;
    if (n >= count) continue;
    if (b->IsSelected()) anySelected = true;
    if (b->IsSelected() || !b->IsVisible()) marked[static_cast<std::size_t>(n)] = true;
  }
  if (!anySelected || std::find(marked.begin(), marked.end(), false) != marked.end()) return;
  const Json::Value doc = ReadJsonFile(AppDataFolder() / ".json");
  if (doc.isNull()) return;
  d->ReloadProfile();
  d->RefreshPage();
  d->WriteDeviceConfig(0, 0, 1, screen_.cx, screen_.cy);
  d->ApplyLighting();
}

void CMainWnd::OnResetRepeat() {
  CVarnikUSBDevice* d = CurrentDevice();
  if (d == nullptr || !IsKind(d->GetKind(), DeviceKind::Keyboard)) return;
  if (CControlUI* box = m_pm.FindSubControlByName(d, "repeat_input_richedit")) box->SetText("");
}

void CMainWnd::OnCloseBkColour() {
  CVarnikUSBDevice* d = CurrentDevice();
  if (d == nullptr) return;
  std::array<uint32_t, 3> words = d->GetAudioLightColours();
  AudioLightInfo info = AudioLightInfo::FromWords(words);
  info.bkRed = info.bkGreen = info.bkBlue = 0;
  words = info.ToWords();
  d->SetAudioLightColours(words[0], words[1], words[2]);
  d->SaveProfile();
  d->ApplyLighting();
}

// ---- worker threads ----

bool CMainWnd::StartThread(int slot, std::function<void(const MainThreadParam&)> body) {
  return threads_.Start(slot, GetHWND(), std::move(body));
}

bool CMainWnd::IsThreadRunning(int slot) const { return threads_.IsRunning(slot); }

void CMainWnd::StopThreads() { threads_.StopAll(); }

}  // namespace korvale
