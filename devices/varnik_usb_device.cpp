#include "devices/varnik_usb_device.h"

#include <algorithm>
#include <chrono>

#include "devices/preview_tables.h"
#include "devices/whole_device_effects.h"
#include "platform/thread_name.h"
#include "platform/trace.h"
#include "devices/page_hooks.h"
#include "profiles/basic_profiledata.h"
#include "profiles/json_file.h"
#include "profiles/profile_list.h"
#include "profiles/settings_files.h"
#include "ui/resource_manager.h"
#include "ui/custom_controls.h"
#include "ui/paint_manager.h"

namespace korvale {

void ShowWhite(CDeviceKeyButtonUI* button) {
  button->SetLightColor(0xFFFFFF);
  button->SetLightFade(255);
  button->SetShowLightImage(true);
}


int EventSideOfKind(int kind) {
  return (kind == static_cast<int>(DeviceKind::ReceiverKeyboard) ||
          kind == static_cast<int>(DeviceKind::ReceiverMouse))
             ? kEventSideReceiver
             : kEventSideCable;
}

CVarnikUSBDevice::CVarnikUSBDevice() {
  comm_.SetResultObserver([this](uint8_t code, int result) { OnCommandResult(code, result); });
}

CVarnikUSBDevice::~CVarnikUSBDevice() {
  comm_.SetResultObserver(nullptr);
  StopListener(kEventSideCable);
  StopListener(kEventSideReceiver);
  // A page removed from a live window must not stay among its notifiers.
  if (CPaintManagerUI* pm = GetManager()) pm->RemoveNotifier(this);
  if (resyncTimer_ != 0) {
    UiLoop& loop = GetUiLoop();
    if (loop.IsUiThread() && loop.HasTimer(resyncTimer_)) loop.KillTimer(resyncTimer_);
  }
  // The kinds flush a waiting save in their own destructors, while their
  // profile still exists; here only the timer goes.
  StopSaveTimer();
}

void CVarnikUSBDevice::Notify(TNotifyUI& msg) {
  if (msg.pSender == nullptr || GetManager() == nullptr) return;
  if (GetManager()->FindSubControlByName(this, msg.pSender->GetName()) != msg.pSender) return;
  Trace("测试成功   、n");
  NotifyPump(msg);
}

// ---- page binding ----

void CVarnikUSBDevice::ResetToEmptyPage() {
  keyCount_ = 0;
  lightCount_ = 0;
  ledTable_.clear();
  lightButtons_.clear();
  keyButtons_.clear();
}

void CVarnikUSBDevice::BindButtons(CContainerUI* panel) {
  keyLightPanel_ = panel;
  for (int i = 0; i < panel->GetCount(); ++i) {
    CControlUI* child = panel->GetItemAt(i);
    if (child == nullptr || child->GetClass() != "DeviceKeyButton") continue;
    auto* button = dynamic_cast<CDeviceKeyButtonUI*>(child);
    if (button == nullptr) continue;
    if (auto n = IndexAfterPrefix(button->GetName(), "key_"); n && *n < keyCount_) {
      keyButtons_[static_cast<std::size_t>(*n)] = button;
    } else if (auto m = IndexAfterPrefix(button->GetName(), "light_"); m && *m < lightCount_) {
      lightButtons_[static_cast<std::size_t>(*m)] = button;
      ShowWhite(button);
    }
    if (auto n = IndexAfterPrefix(button->GetUserData(), "light_"); n && *n < lightCount_) {
      lightButtons_[static_cast<std::size_t>(*n)] = button;
      ShowWhite(button);
    }
  }
}

void CVarnikUSBDevice::InitPage() {
  if (pageXmlPath_.empty()) {
    ResetToEmptyPage();
    return;
  }
  for (int i = 0; i < GetCount(); ++i) {
    CControlUI* child = GetItemAt(i);
    if (child != nullptr && child->GetClass() == "SelectPanel") {
      if (auto* panel = dynamic_cast<CContainerUI*>(child)) BindButtons(panel);
      return;
    }
  }
}

CControlUI* CVarnikUSBDevice::FindChild(std::string_view name) const {
  return const_cast<CVarnikUSBDevice*>(this)->FindSubControl(name);
}

CDeviceKeyButtonUI* CVarnikUSBDevice::KeyButton(int key) const {
  if (key < 0 || key >= static_cast<int>(keyButtons_.size())) return nullptr;
  return keyButtons_[static_cast<std::size_t>(key)];
}

CDeviceKeyButtonUI* CVarnikUSBDevice::LightButton(int led) const {
  if (led < 0 || led >= static_cast<int>(lightButtons_.size())) return nullptr;
  return lightButtons_[static_cast<std::size_t>(led)];
}

// ---- counts and configuration ----

void CVarnikUSBDevice::SetKeyCount(int count) {
  count = std::max(count, 0);
  keyCount_ = count;
  keyButtons_.assign(static_cast<std::size_t>(count), nullptr);
}

void CVarnikUSBDevice::SetLightCount(int count) {
  count = std::max(count, 0);
  LightTableChanging();
  lightCount_ = count;
  lightButtons_.assign(static_cast<std::size_t>(count), nullptr);
  ledTable_.assign(static_cast<std::size_t>(count), LedColour{});
  std::lock_guard<std::mutex> lk(customTableLock_);
  customTable_.assign(static_cast<std::size_t>(count), LightListEntry{});
}

void CVarnikUSBDevice::SetDeviceFolderName(const std::string& name) { deviceFolderName_ = name; }

void CVarnikUSBDevice::SetPowerDisplay(CControlUI* display) {
  powerDisplay_ = display;
  if (auto* hooks = dynamic_cast<IPowerDisplayHooks*>(display)) hooks->SetWireless(wireless_);
}

void CVarnikUSBDevice::SetWirelessFlag(bool wireless) {
  wireless_ = wireless;
  if (auto* hooks = dynamic_cast<IPowerDisplayHooks*>(powerDisplay_)) hooks->SetWireless(wireless);
}

void CVarnikUSBDevice::SetDeviceIdentity(const DeviceIdEntry& id) {
  identity_ = id;
  kind_ = id.kind;
  auxiliary_ = id.auxiliary;
}

void CVarnikUSBDevice::SetLightingControlActive(bool on) {
  const bool changed = lightingControlActive_.exchange(on) != on;
  if (on && kind_ == kKindKeyboard && IsPrimaryOpen()) comm_.LightControl();
  if (changed) {
    UpdatePreviewShown();
    LightDemandChanged();
  }
}

// ---- who needs the LED table's frames ----

void CVarnikUSBDevice::SetVisible(bool visible) {
  const bool was = IsVisible();
  CHorizontalLayoutUI::SetVisible(visible);
  if (was != visible) UpdatePreviewShown();
}

void CVarnikUSBDevice::ReleaseLightSync() {
  if (comm_.lightSync.exchange(0) != 0) LightDemandChanged();
}

void CVarnikUSBDevice::SetWindowShown(bool shown) {
  if (windowShown_ == shown) return;
  windowShown_ = shown;
  UpdatePreviewShown();
}

void CVarnikUSBDevice::UpdatePreviewShown() {
  const bool shown = windowShown_ && IsVisible() && lightingControlActive_.load();
  if (previewShown_.exchange(shown) == shown) return;
  LightDemandChanged();
  // Coming into view: the buttons show whatever the table holds now, even
  // when no new frame follows (a still look).
  if (shown) LightFrameWritten();
}

void CVarnikUSBDevice::SetFeedsDeviceFromPaint(bool on) {
  if (feedsDeviceFromPaint_.exchange(on) == on || !on) return;
  LightFrameWritten();  // the paint timer carries the stream: it must run
}

void CVarnikUSBDevice::LightFrameWritten() {
  lightFrames_.fetch_add(1);
  if (!previewShown_.load() && !feedsDeviceFromPaint_.load()) return;
  if (!paintWaiting_.exchange(false)) return;
  RunPaintHandlerOnUi();
}

void CVarnikUSBDevice::RunPaintHandlerOnUi() {
  RunOnUi([this] {
    if (auto handler = std::move(paintHandler_)) {
      paintHandler_ = nullptr;
      handler();
    }
  });
}

void CVarnikUSBDevice::WaitForLightFrame(uint64_t painted, std::function<void()> handler) {
  paintHandler_ = std::move(handler);
  paintWaiting_ = true;
  // A frame that came after the paint and before the wait was armed.
  if (lightFrames_.load() != painted && (previewShown_.load() || feedsDeviceFromPaint_.load()) &&
      paintWaiting_.exchange(false)) {
    RunPaintHandlerOnUi();
  }
}

std::filesystem::path CVarnikUSBDevice::DefaultProfilePath() const {
  return korvale::DefaultProfilePath(deviceFolderName_);
}

std::filesystem::path CVarnikUSBDevice::UserDataFolder() const {
  return readOnly_ ? UserDataFolderPath(deviceFolderName_) : korvale::UserDataFolder(deviceFolderName_);
}

// ---- channels ----

bool CVarnikUSBDevice::AttachPrimary(const std::string& path, bool receiver, int connectionMode) {
  bool ok = false;
  {
    std::lock_guard<std::mutex> lk(comm_.channelLock);
    CHidDevice& channel = receiver ? comm_.receiverChannel : comm_.cableChannel;
    ok = channel.Open(path, true, true, true, false);
    if (ok) comm_.opened = 1;
  }
  if (ok) LightDemandChanged();
  if (ok) recordIndex_ = -1;  // another device, or the same one changed meanwhile
  if (ok) SetNotice(Notice::kNone, proto::CMD_OK);  // a device plugged in anew starts clean
  if (ok && (connectionMode == proto::kModeCable || connectionMode == proto::kModeReceiver))
    comm_.SetConnectionMode(connectionMode);
  if (!ok) Trace("device: cannot open %s", path.c_str());
  return ok;
}

void CVarnikUSBDevice::DetachPrimary() {
  comm_.opened = 0;
  {
    std::lock_guard<std::mutex> lk(comm_.channelLock);
    comm_.cableChannel.Close();
    comm_.receiverChannel.Close();
  }
  LightDemandChanged();
}

bool CVarnikUSBDevice::SwitchPrimaryChannel(const std::string& path) {
  bool ok = false;
  {
    std::lock_guard<std::mutex> lk(comm_.channelLock);
    comm_.opened = 0;
    const bool onReceiver = comm_.viaReceiver.load() != 0;
    CHidDevice& idle = onReceiver ? comm_.cableChannel : comm_.receiverChannel;
    idle.Close();
    ok = idle.Open(path, true, true, true, false);
    if (ok) {
      comm_.opened = 1;
      comm_.viaReceiver = onReceiver ? 0 : 1;
    }
  }
  LightDemandChanged();
  return ok;
}

int CVarnikUSBDevice::ReadActiveRecord(uint8_t* record, std::size_t size, std::size_t stride) {
  if (!IsPrimaryOpen() || record == nullptr || size == 0) return -1;
  if (gateOnLink_ && !LinkUpForCommand()) return -1;
  uint8_t active = 0;
  int r = comm_.ReadConfig(&active, 1, proto::kActiveRecordOffset);
  if (r != CMD_OK) {
    Trace("device: active record index not read (%d)", r);
    return -1;
  }
  const std::size_t offset = std::size_t{active} * stride;
  if (offset + size > proto::kConfigAreaSize) {
    Trace("device: active record %u lies outside the configuration area", active);
    return -1;
  }
  if (gateOnLink_ && !LinkUpForCommand()) return -1;
  r = comm_.ReadConfig(record, static_cast<uint32_t>(size), static_cast<uint32_t>(offset));
  if (r != CMD_OK) {
    Trace("device: record %u not read (%d)", active, r);
    return -1;
  }
  recordIndex_ = active;
  return active;
}

int CVarnikUSBDevice::LearnActiveRecordIndex() {
  if (!IsPrimaryOpen()) return 0;
  if (gateOnLink_ && !LinkUpForCommand()) return CMD_NOT_LINKED;
  uint8_t active = 0;
  const int r = comm_.ReadConfig(&active, 1, proto::kActiveRecordOffset);
  if (r != CMD_OK) {
    Trace("device: active record index not read (%d)", r);
    return r;
  }
  recordIndex_ = active;
  return CMD_OK;
}

int CVarnikUSBDevice::WriteActiveRecord(uint8_t* record, std::size_t size, std::size_t stride) {
  if (!IsPrimaryOpen()) return 0;
  if (recordIndex_ < 0) {
    Trace("device: no configuration record has been read; nothing written");
    return CMD_NOT_READ;
  }
  const std::size_t offset = static_cast<std::size_t>(recordIndex_) * stride;
  if (record == nullptr || size == 0 || offset + size > proto::kConfigAreaSize) {
    Trace("device: record %d of %zu bytes does not fit the configuration area", recordIndex_, size);
    return CMD_BAD_ARGUMENT;
  }
  record[0] = static_cast<uint8_t>(recordIndex_);
  // A gated page asks the receiver before each step; once configuration
  // mode was entered it is left again whenever the device can hear it.
  if (gateOnLink_ && !LinkUpForCommand()) return CMD_NOT_LINKED;
  int result = comm_.BeginConfig();
  if (result != CMD_OK) return result;
  if (gateOnLink_ && !LinkUpForCommand()) result = CMD_NOT_LINKED;
  if (result == CMD_OK)
    result = comm_.WriteConfig(record, static_cast<uint32_t>(size), static_cast<uint32_t>(offset));
  const int end = !gateOnLink_ || LinkUpForCommand() ? comm_.EndConfig(1) : CMD_NOT_LINKED;
  return result == CMD_OK ? end : result;
}

bool CVarnikUSBDevice::OpenEventChannel(const std::string& path, int kind) {
  CHidDevice& channel = EventSideOfKind(kind) == kEventSideReceiver ? eventComm_.receiverChannel
                                                                      : eventComm_.cableChannel;
  channel.Close();
  return channel.Open(path, true, true, true, false);
}

void CVarnikUSBDevice::CloseEventChannel(int kind) {
  CHidDevice& channel = EventSideOfKind(kind) == kEventSideReceiver ? eventComm_.receiverChannel
                                                                      : eventComm_.cableChannel;
  channel.Close();
}

bool CVarnikUSBDevice::IsEventChannelOpen(int kind) const {
  const CHidDevice& channel = EventSideOfKind(kind) == kEventSideReceiver
                                  ? eventComm_.receiverChannel
                                  : eventComm_.cableChannel;
  return channel.IsOpen();
}

// ---- UI thread hand-over ----

// ---- listener threads ----

std::optional<uint16_t> EventCodeOf(CHidDevice& channel, const uint8_t* report, uint32_t length) {
  // The code is the first usage of the first input entry, as the report
  // descriptor maps the field's value; the raw bytes are not the code.
  if (!channel.UnpackReport(report, length, HidReportType::Input) || channel.InputData().empty()) {
    Trace("event report of %u bytes (id %u) does not unpack; ignored", length, length ? report[0] : 0u);
    return std::nullopt;
  }
  const HidDataEntry& first = channel.InputData().front();
  if (!first.dataSet) return std::nullopt;  // another report id
  if (!first.isButton) return static_cast<uint16_t>(first.rawValue);
  if (first.usages.empty() || first.usages[0] == 0) return std::nullopt;  // empty array slot
  return first.usages[0];
}


bool CVarnikUSBDevice::IsListening(int side) const {
  return listeners_[side == kEventSideReceiver ? 1 : 0].running.load();
}

void CVarnikUSBDevice::StartListener(int side) {
  EventListener& l = listeners_[side == kEventSideReceiver ? 1 : 0];
  l.stop.Clear();
  l.running = true;
  l.thread = std::thread([this, side] {
    NameThisThread("kv-events");
    ListenLoop(side);
  });
}

void CVarnikUSBDevice::StopListener(int side) {
  EventListener& l = listeners_[side == kEventSideReceiver ? 1 : 0];
  if (!l.thread.joinable()) return;
  l.stop.Set();
  (side == kEventSideReceiver ? eventComm_.receiverChannel : eventComm_.cableChannel).Stop();
  l.thread.join();  // the read wakes on the stop signal at once
  Trace("线程退出：：对象处于激发状态\n");
}

void CVarnikUSBDevice::ListenLoop(int side) {
  EventListener& l = listeners_[side == kEventSideReceiver ? 1 : 0];
  CHidDevice& channel = side == kEventSideReceiver ? eventComm_.receiverChannel : eventComm_.cableChannel;
  int failures = 0;
  while (!l.stop.IsSet()) {
    if (!channel.IsOpen()) {
      l.stop.Wait(Event::kInfinite);  // nothing to read until the channel is reopened
      break;
    }
    uint8_t report[proto::kPacketSize] = {};
    uint32_t got = 0;
    if (!channel.Read(report, sizeof report, &got, kHidInfinite) || got < 3) {
      if (l.stop.IsSet()) break;
      // One failure can be a stale stop signal; a second in a row means the
      // device is gone, and reading on would only spin.
      if (++failures >= 2) {
        Trace("%s: event channel read failed; listener ends", deviceFolderName_.c_str());
        break;
      }
      continue;
    }
    failures = 0;
    const std::optional<uint16_t> code = EventCodeOf(channel, report, got);
    if (!code) continue;
    Trace("接收到自动添加设备的同步信息要求  TEST");
    HandleEventCode(*code);
  }
  Trace("MS 设备同步线程设定退出");
  l.running = false;
}

bool CVarnikUSBDevice::LinkUpForCommand() {
  if (comm_.viaReceiver.load() == 0) return true;
  if (comm_.LinkCheck()) return true;
  Trace("%s: the receiver does not reach the device", deviceFolderName_.c_str());
  if (linkLostHandler_) RunOnUi(linkLostHandler_);
  return false;
}

// ---- shared by the keyboard and the mouse ----

void CVarnikUSBDevice::ResolvePathsOf(CBasicProfiledata& profile) {
  // A drag's waiting save belongs to the file in use until now.
  FlushProfileSave();
  const auto folder = UserDataFolder();
  profile.SetDefaultPath(DefaultProfilePath());
  const auto file = ProfileFilePath(folder, profileName_);
  if (file.empty()) {
    Trace("%s: profile name \"%s\" is not a plain file name", deviceFolderName_.c_str(), profileName_.c_str());
    return;
  }
  profile.SetFilePath(file);
  profile.SetLightConfigPath(folder / (lightConfigName_ + ".config"));
}

void CVarnikUSBDevice::BindEditors() {
  if (auto* list = FindHooks<IProfileListHooks>("DeviceProfileItem")) {
    list->SetDeviceKind(kind_);
    list->SetFolders(UserDataFolder(), DefaultProfilePath());
    list->Initialise();
    list->SelectFeatureTab(1);
    profileName_ = list->GetSelectedUUID();
  }
  if (auto* editor = FindHooks<ILightEditorHooks>("LightControlItem")) {
    editor->SetDeviceKind(kind_);
    LoadEffectLists();
    editor->SetEffectList(effectNames_, effectVisible_, 4, 4);
  }
  auto* macros = FindHooks<IMacroEditorHooks>("MacroControlItem");
  if (macros != nullptr) {
    macros->SetMacroFolder(UserDataFolder());
    macros->LoadMacroList();
  }
  if (auto* shoot = FindHooks<IShootEditorHooks>("ShootControlItem")) {
    shoot->SetShootFolder(UserDataFolder());
    shoot->SetShootDefaultFolder(DefaultDataFolder());
    shoot->InitShootEditor();
    shoot->SelectGun(0);
    shoot->SelectBullet(0);
  }
  if (auto* keys = FindHooks<IKeyEditorHooks>("KeySetControlItem")) {
    keys->Initialise();
    keys->SetDeviceKind(kind_);
    if (auto* control = FindChild("KeySetControlItem")) control->SetVisible(false);
    keys->SetMainWindow(mainWnd_);
    if (macros != nullptr) keys->SetMacroNames(macros->GetMacroNames());
  }
}

bool CVarnikUSBDevice::OpenListenedChannel(const std::string& path, int kind) {
  const int side = EventSideOfKind(kind);
  StopListener(side);
  if (!CVarnikUSBDevice::OpenEventChannel(path, kind)) return false;
  StartListener(side);
  return true;
}

void CVarnikUSBDevice::CloseListenedChannel(int kind) {
  StopListener(EventSideOfKind(kind));
  CVarnikUSBDevice::CloseEventChannel(kind);
}

bool CVarnikUSBDevice::ReceiverLinkUp() {
  return IsPrimaryOpen() && comm_.viaReceiver.load() != 0 && comm_.LinkCheck();
}

void CVarnikUSBDevice::PollStatusToDisplay() {
  if (!IsPrimaryOpen() || wirelessPollPaused_ || !comm_.LinkCheck()) return;
  std::array<uint8_t, proto::kStatusSize> status{};
  if (comm_.ReadStatus(status.data(), static_cast<uint32_t>(status.size()), 0) != CMD_OK) return;
  status[proto::kStatusWireless] = comm_.viaReceiver.load() != 0 ? 1 : 0;
  if (auto* display = dynamic_cast<IPowerDisplayHooks*>(powerDisplay_)) display->ShowStatus(status);
}

// ---- data files shared by the keyboard and the mouse ----

void CVarnikUSBDevice::LoadStandardEffectLists() {
  const auto folder = UserDataFolder();
  macroNames_.clear();
  const Json::Value macros = ReadJsonFile(folder / "macro.config");
  const Json::Value& info = JsonMember(macros, "MacroInfo");
  if (info.isArray())
    for (Json::ArrayIndex i = 0; i < info.size(); ++i) {
      const Json::Value& name = JsonMember(info[i], "MacroName");
      macroNames_.push_back(name.isString() ? name.asString() : std::string());
    }
  const Json::Value defaults = ReadJsonFile(DefaultLightPath());
  if (auto effects = ReadDefaultEffects(defaults, modelIndex_)) {
    effectNames_.clear();
    effectVisible_.clear();
    effectValues_.clear();
    for (const auto& e : *effects) {
      effectNames_.push_back(e.name);
      effectVisible_.push_back(e.visible ? 1 : 0);
      effectValues_.push_back(e.value);
    }
  }
  if (auto area = ReadAreaEffects(defaults, modelIndex_)) areaEffectNames_ = *area;
  const Json::Value userLights = ReadJsonFile(folder / (lightConfigName_ + ".config"));
  if (auto user = ReadUserEffectNames(userLights, modelIndex_)) userEffectNames_ = *user;
}

int CVarnikUSBDevice::MacroCountOnDisk() const {
  const Json::Value doc = ReadJsonFile(UserDataFolder() / "macro.config");
  const Json::Value& info = JsonMember(doc, "MacroInfo");
  return info.isArray() ? static_cast<int>(info.size()) : 0;
}

std::string CVarnikUSBDevice::Localise(std::string_view id) const {
  if (CControlUI* label = FindChild("text_test")) {
    label->SetText(id);
    return label->GetText();
  }
  return CResourceManager::GetInstance().GetText(id);
}

void CVarnikUSBDevice::RunOnUi(std::function<void()> task) {
  GetUiLoop().Post([alive = Lifetime(), task = std::move(task)] {
    if (alive.lock()) task();
  });
}

void CVarnikUSBDevice::StopSaveTimer() {
  if (saveTimer_ == 0) return;
  UiLoop& loop = GetUiLoop();
  if (loop.IsUiThread() && loop.HasTimer(saveTimer_)) loop.KillTimer(saveTimer_);
}

void CVarnikUSBDevice::SaveProfileWhileDragging() {
  if (saveTimer_ != 0 && GetUiLoop().HasTimer(saveTimer_)) {
    savePending_ = true;
    return;
  }
  SaveProfileNow();
}

void CVarnikUSBDevice::SaveProfileNow() {
  savePending_ = false;
  SaveProfile();
  // An interval starts with every save; a drag's save asked for within it
  // waits for its end and starts the next one there. An interval without
  // one ends the timer.
  if (saveTimer_ == 0) saveTimer_ = UiLoop::NewTimerKey();
  const UiLoop::TimerKey key = saveTimer_;
  GetUiLoop().SetTimer(key, kDragSaveIntervalMs, [this, key, alive = Lifetime()] {
    if (!alive.lock() || !savePending_) {
      GetUiLoop().KillTimer(key);
      return;
    }
    savePending_ = false;
    SaveProfile();
  });
}

bool CVarnikUSBDevice::FlushProfileSave() {
  StopSaveTimer();
  if (!savePending_) return false;
  savePending_ = false;
  SaveProfile();
  return true;
}

void CVarnikUSBDevice::OnCommandResult(uint8_t code, int result) {
  switch (code) {
    // The frame of a transfer, the radio link and the power poll say nothing
    // about whether the page matches the device: they neither raise nor end a notice.
    case proto::kBeginConfig:
    case proto::kEndConfig:
    case proto::kLinkCheck:
    case proto::kReadStatus:
      if (result == proto::CMD_OK) return;
      break;
    default:
      break;
  }
  switch (result) {
    case proto::CMD_OK: SetNotice(Notice::kNone, result); break;
    case proto::CMD_NO_ANSWER:
    case proto::CMD_WRITE_FAILED: SetNotice(Notice::kNoAnswer, result); break;
    case proto::CMD_STATUS_FF:
    case proto::CMD_STATUS_FE: SetNotice(Notice::kRefused, result); break;
    default: break;  // a receiver without its device: the tile's link watch shows it
  }
}

void CVarnikUSBDevice::SetNotice(Notice notice, int result) {
  const int before = notice_.exchange(static_cast<int>(notice));
  noticeResult_ = result;
  if (before == static_cast<int>(notice) || !noticeHandler_) return;
  RunOnUi([this] {
    if (noticeHandler_) noticeHandler_();
  });
}

void CVarnikUSBDevice::RequestResync() {
  RunOnUi([this] {
    UiLoop& loop = GetUiLoop();
    if (resyncTimer_ == 0) resyncTimer_ = UiLoop::NewTimerKey();
    const UiLoop::TimerKey key = resyncTimer_;
    loop.SetTimer(key, ResyncDelayMs(), [this, key, alive = Lifetime()] {
      GetUiLoop().KillTimer(key);
      if (alive.lock()) OnResync();
    });
  });
}

// ---- function pages ----

void CVarnikUSBDevice::ShowFunctionPage(int type) {
  functionPage_ = type;
  if (!tabsLookedUp_) {
    outerTabs_ = dynamic_cast<CTabLayoutUI*>(FindChild("device_function_switch"));
    innerTabs_ = dynamic_cast<CTabLayoutUI*>(FindChild("device_key_function_switch"));
    tabsLookedUp_ = outerTabs_ != nullptr && innerTabs_ != nullptr;
  }
  if (outerTabs_ == nullptr || innerTabs_ == nullptr) return;
  int outer = 0;
  int inner = 0;  // -1: unchanged
  switch (type) {
    case 2:
    case 6: outer = 0; inner = 1; break;
    case 3:
    case 8: outer = 1; inner = -1; break;
    case 4:
      if (kind_ == kKindKeyboard || kind_ == kKindMouse) {
        outer = 3;
        inner = -1;
      } else {
        outer = 0;
        inner = 2;
      }
      break;
    case 7: outer = 0; inner = 2; break;
    case 5: outer = 2; inner = -1; break;
    default: outer = 0; inner = 0; break;
  }
  outerTabs_->SelectItem(outer);
  if (inner >= 0) innerTabs_->SelectItem(inner);
}

int CVarnikUSBDevice::GetFunctionPage() const { return functionPage_; }

// ---- LED table and preview steps ----

uint64_t CVarnikUSBDevice::NowMs() const {
  if (clock_) return clock_();
  return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

void CVarnikUSBDevice::FillAllLeds(const LedColour& colour) {
  for (auto& entry : ledTable_) entry = colour;
}

void CVarnikUSBDevice::SetLedColour(int led, uint32_t packed) {
  if (led < 0 || led >= lightCount_ || led >= static_cast<int>(ledTable_.size())) return;
  ledTable_[static_cast<std::size_t>(led)] = UnpackLedColour(packed);
}

uint32_t CVarnikUSBDevice::GetLedColour(int led) const {
  if (led < 0 || led >= lightCount_ || led >= static_cast<int>(ledTable_.size())) return 0;
  return PackLedColour(ledTable_[static_cast<std::size_t>(led)]);
}

void CVarnikUSBDevice::StepBreathing() { FillAllLeds(wholefx::Breathing(lightInfo_, preview_)); }

void CVarnikUSBDevice::StepBreathingFourColours() { FillAllLeds(wholefx::BreathingFourColours(lightInfo_, preview_)); }

void CVarnikUSBDevice::StepStatic() { FillAllLeds(wholefx::Static(lightInfo_)); }

void CVarnikUSBDevice::StepSpectrum() { FillAllLeds(wholefx::Spectrum(lightInfo_, preview_)); }

void CVarnikUSBDevice::StepBlink() {
  FillAllLeds(wholefx::Blink(lightInfo_, preview_, NowMs(), preview::kWheelJump));
}

void CVarnikUSBDevice::StepBlinkFourColours() {
  FillAllLeds(wholefx::BlinkFourColours(lightInfo_, preview_, NowMs()));
}

void CVarnikUSBDevice::StepOff() { FillAllLeds({}); }

void CVarnikUSBDevice::PaintLights() {
  if (!lightingControlActive_) return;
  const std::size_t n = std::min(ledTable_.size(), lightButtons_.size());
  for (std::size_t i = 0; i < n; ++i) {
    CDeviceKeyButtonUI* button = lightButtons_[i];
    if (button == nullptr || !button->IsVisible()) continue;
    const LedColour c = ledTable_[i];
    button->SetLightColor(LightButtonColour(c));
    button->SetLightFade(c.alpha);
    button->SetShowLightImage(true);
  }
}

// ---- reactive levels ----

int CVarnikUSBDevice::DecayLevel(int led, int mode) {
  if (led < 0 || led >= kLevelLeds) return 0;
  uint8_t& level = levels_[static_cast<std::size_t>(kLevelBase + led)];
  if (level == 0) return 0;
  for (const auto& band : preview::kDecayBands) {
    if (level < band.from) continue;
    const int step = mode == 0 ? band.mode0 : mode == 29 ? band.mode29 : band.other;
    level = static_cast<uint8_t>(std::max(0, level - step));
    break;
  }
  return level;
}

void CVarnikUSBDevice::TriggerFlaggedLeds() {
  for (int i = 0; i < 9; ++i)
    if (levels_[static_cast<std::size_t>(kTriggerBase + i)] != 0)
      levels_[static_cast<std::size_t>(kLevelBase + i)] = 255;
}

void CVarnikUSBDevice::RotateTriggers(int direction) {
  auto first = levels_.begin() + kTriggerBase;
  auto last = first + kTriggerFlags;
  if (direction != 0)
    std::rotate(first, last - 1, last);  // flag 22 wraps to flag 0
  else
    std::rotate(first, first + 1, last);  // flag 0 wraps to flag 22
}

void CVarnikUSBDevice::ClearLevels() {
  std::fill(levels_.begin() + kLevelBase, levels_.begin() + kLevelBase + kLevelLeds, 0);
  std::fill(levels_.begin() + kTriggerBase, levels_.end(), 0);
}

// ---- the remaining base slots ----

int CVarnikUSBDevice::ApplyLighting() { return 0; }
void CVarnikUSBDevice::OnConnected() {}
void CVarnikUSBDevice::OnResync() {}
void CVarnikUSBDevice::PollWirelessStatus() {}
bool CVarnikUSBDevice::IsWirelessLinkUp() { return true; }
int CVarnikUSBDevice::ReloadProfile() { return 0; }
void CVarnikUSBDevice::RefreshPage() {}
void CVarnikUSBDevice::RevalidateMacroKeys() {}
void CVarnikUSBDevice::RestoreDefaultProfile() {}
std::vector<int> CVarnikUSBDevice::CollectUsedMacros() { return {}; }
int CVarnikUSBDevice::WriteKeyAssignments(int, const std::vector<KeyRecord>&) { return 0; }
int CVarnikUSBDevice::ApplyKeyAssignments(int) { return 0; }
int CVarnikUSBDevice::ApplySecondaryKeyAssignments(int) { return 0; }
int CVarnikUSBDevice::WriteSecondaryKeyTable(int, const std::vector<KeyRecord>&) { return 0; }
int CVarnikUSBDevice::DownloadMacros(const std::vector<int>&) { return 0; }

DownloadReport CVarnikUSBDevice::DownloadShootSequences() {
  DownloadReport r = DownloadShootImage(comm_, deviceInfo_, UserDataFolder());
  if (r.result != 0) Trace("shoot download: %s", r.message.c_str());
  return r;
}
int CVarnikUSBDevice::WriteDeviceConfig(int, int, int, int, int) { return 0; }
void CVarnikUSBDevice::LoadEffectLists() {}
void CVarnikUSBDevice::SetAuxKeyMap(const std::map<int, int>& map) { auxKeyMap_ = map; }
void CVarnikUSBDevice::ResolveProfilePaths() {}
std::string CVarnikUSBDevice::GetProfilePath() const { return {}; }
void CVarnikUSBDevice::SaveProfile() {}
void CVarnikUSBDevice::SetModelIndex(int index) { modelIndex_ = index; }
int CVarnikUSBDevice::GetModelIndex() const { return modelIndex_; }

void CVarnikUSBDevice::SetLightInfo(const std::array<uint32_t, 5>& words) {
  lightInfo_ = LightInfo::FromWords(words);
}

void CVarnikUSBDevice::SetAudioLightColours(uint32_t a, uint32_t b, uint32_t c) {
  audioWords_ = {a, b, c};
  if (auto* editor = FindHooks<ILightEditorHooks>("LightControlItem")) editor->SetAudioColours(a, b, c & 0xFF);
}

std::array<uint32_t, 3> CVarnikUSBDevice::GetAudioLightColours() {
  if (auto* editor = FindHooks<ILightEditorHooks>("LightControlItem")) audioWords_ = editor->GetAudioColours();
  return audioWords_;
}

void CVarnikUSBDevice::SelectKey(int key) { selectedKey_ = key; }
void CVarnikUSBDevice::SelectSecondaryKey(int key) { secondarySelectedKey_ = key; }
void CVarnikUSBDevice::FeedAudioSpectrum(const int*, int) {}
void CVarnikUSBDevice::FeedAudioColours(const uint32_t*, int) {}

}  // namespace korvale
