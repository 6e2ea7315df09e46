#include "mainwnd/device_list.h"

#include <array>
#include <string_view>

#include "devices/varnik_usb_device.h"
#include "hid/device_discovery.h"
#include "hid/device_table.h"
#include "mainwnd/device_list_parts.h"
#include "mainwnd/device_option.h"
#include "mainwnd/mpdevice_power.h"
#include "platform/registered_messages.h"
#include "platform/trace.h"
#include "protocol/commands.h"
#include "ui/app_messages.h"
#include "ui/controls.h"
#include "ui/dialog_builder.h"
#include "ui/paint_manager.h"
#include "ui/skin_controls.h"
#include "ui/window.h"

namespace korvale {

using namespace devicelist;

namespace {

// Discovery's news as messages to the main window (none without a window).
DiscoveryHooks WindowHooks(HWND wnd, const std::atomic<UINT>& identityMsg) {
  if (wnd == 0) return {};
  return {[wnd](int slot) { SendMessageW(wnd, WM_DEVICE_BOUND, static_cast<WPARAM>(slot), 0); },
          [wnd](int slot) { SendMessageW(wnd, WM_DEVICE_LOST, static_cast<WPARAM>(slot), 0); },
          [wnd, &identityMsg] {
            if (const UINT msg = identityMsg.load()) PostMessageW(wnd, msg, 0, 0);
          }};
}

}  // namespace

void RegisterDeviceListControls() {
  CControlFactory& f = CControlFactory::GetInstance();
  f.RegistControl("CDeviceOptionUI", [] { return static_cast<CControlUI*>(new CDeviceOptionUI); });
  f.RegistControl("CMpDevicePowerUI", [] { return static_cast<CControlUI*>(new CMpDevicePowerUI); });
}

CDeviceList::CDeviceList(CPaintManagerUI& pm, IDialogBuilderCallback* builder, DeviceListHooks hooks)
    : pm_(pm),
      builder_(builder),
      hooks_(std::move(hooks)),
      discovery_(std::make_unique<CDeviceDiscovery>(WindowHooks(pm.GetPaintWindow(), identityMsg_))) {
  RegisterDeviceListControls();
  // The shell registers the identity message at start; SetIdentityMessage overrides.
  if (auto number = FindRegisteredMessage(kAppIdentity)) identityMsg_ = *number;
}

CDeviceList::~CDeviceList() {
  StopDiscovery();
  alive_.reset();
  // Tiles that outlive the list keep no timers running for it.
  for (const auto& e : entries_) {
    if (e->tileLife.expired()) continue;
    e->tile->SetTimerHandler(nullptr);
    if (CPaintManagerUI* pm = e->tile->GetManager()) pm->KillTimer(e->tile);
  }
}

bool CDeviceList::StartDiscovery() { return discovery_->Start(); }
void CDeviceList::StopDiscovery() { discovery_->Stop(); }
void CDeviceList::SetIdentityMessage(UINT msg) { identityMsg_ = msg; }

CVarnikUSBDevice* CDeviceList::PageAt(int index) const {
  return index >= 0 && index < PageCount() ? entries_[static_cast<std::size_t>(index)]->page : nullptr;
}
CDeviceOptionUI* CDeviceList::TileAt(int index) const {
  return index >= 0 && index < PageCount() ? entries_[static_cast<std::size_t>(index)]->tile : nullptr;
}
CMpDevicePowerUI* CDeviceList::PowerPanelAt(int index) const {
  return index >= 0 && index < PageCount() ? entries_[static_cast<std::size_t>(index)]->panel : nullptr;
}
int CDeviceList::IndexOfPage(const CVarnikUSBDevice* page) const {
  for (int i = 0; i < PageCount(); ++i) {
    if (entries_[static_cast<std::size_t>(i)]->page == page) return i;
  }
  return -1;
}

std::vector<CVarnikUSBDevice*>* CDeviceList::ListForKind(uint16_t kind) {
  switch (static_cast<DeviceKind>(Family(kind))) {
    case DeviceKind::Keyboard: return &keyboards_;
    case DeviceKind::Mouse: return &mice_;
    case DeviceKind::MousePad: return &mousepads_;
    case DeviceKind::Headset: return &headsets_;
    default: return nullptr;
  }
}

CDeviceList::Entry* CDeviceList::FindEntryByIdentity(const DeviceIdEntry& id, uint16_t kindFamily) {
  for (auto& e : entries_) {
    if ((kindFamily == 0 || e->family == kindFamily) && SameIdentity(e->page->GetDeviceIdentity(), id)) return e.get();
  }
  return nullptr;
}

// ---- bind and loss ----

LRESULT CDeviceList::OnDeviceBound(WPARAM slotIndex) {
  const int a = static_cast<int>(slotIndex);
  const std::vector<DeviceIdEntry> slots = discovery_->Slots();
  if (a < 0 || a >= static_cast<int>(slots.size()) || slots[static_cast<std::size_t>(a)].bound == 0) return 0;
  const DeviceIdEntry& s = slots[static_cast<std::size_t>(a)];
  const int rep = RepresentativeSlot(slots, a);
  const DeviceIdEntry& repId = slots[static_cast<std::size_t>(rep < 0 ? a : rep)];
  bool haveTile = false;
  for (const auto& e : entries_) haveTile = haveTile || SameIdentity(e->page->GetDeviceIdentity(), repId);
  if (!haveTile) CreatePage(FindTableRow(repId.vid, repId.pid, repId.kind, kAuxiliaryPrimary));

  switch (Family(s.kind)) {
    case 1: Trace("添加一个键盘设备"); break;
    case 2: Trace("添加一个鼠标设备"); break;
    case 3: Trace("添加一个鼠标垫设备"); break;
    default: break;
  }
  if (s.auxiliary == kAuxiliaryConsumer) {
    AttachAuxiliary(s);
  } else {
    AttachPrimary(s, a);
  }
  if (hooks_.wakeUp) hooks_.wakeUp();
  UpdateAfterVisibilityChange();
  return 1;
}

void CDeviceList::AttachPrimary(const DeviceIdEntry& s, int a) {
  const std::vector<DeviceIdEntry> slots = discovery_->Slots();
  const int family = Family(s.kind);
  const bool receiver = IsReceiverKind(s.kind);
  DeviceIdEntry identity = s;
  if (family == 1 || family == 2) {
    if (s.hasPartner && s.partnerIndex < slots.size()) {
      const DeviceIdEntry& partner = slots[s.partnerIndex];
      if (partner.partnerIndex == a && !partner.path.empty()) {
        // The other connection is in use: a cable takes over, a receiver waits.
        if (!receiver) SwitchConnection(a);
        return;
      }
      if (receiver) identity = partner;
    }
  }
  Entry* e = FindEntryByIdentity(identity, static_cast<uint16_t>(family));
  if (e == nullptr || e->page->IsPrimaryOpen()) return;
  const bool twoWay = family == 1 || family == 2;
  const int mode = twoWay ? (receiver ? proto::kModeReceiver : proto::kModeCable) : 0;
  if (e->page->AttachPrimary(s.path, twoWay && receiver, mode)) {
    DeviceIdEntry stored = identity;
    stored.path = s.path;
    e->page->SetDeviceIdentity(stored);
    if (hooks_.pageBound) hooks_.pageBound(e->page);
  }
  const int index = IndexOfPage(e->page);
  if (!(twoWay && receiver)) ShowTile(index, true, VisibleTileCount() == 0);
  pm_.SetTimer(e->tile, kTileTimerConnect, kConnectDelayMs);
}

void CDeviceList::AttachAuxiliary(const DeviceIdEntry& s) {
  const std::vector<DeviceIdEntry> slots = discovery_->Slots();
  const int family = Family(s.kind);
  const int kind = s.kind;
  auto partnerOf = [&](const DeviceIdEntry& id) -> const DeviceIdEntry* {
    if (!id.hasPartner || id.partnerIndex >= slots.size()) return nullptr;
    return &slots[id.partnerIndex];
  };
  if (IsKind(kind, DeviceKind::Keyboard) || IsKind(kind, DeviceKind::Mouse)) {
    for (const auto& e : entries_) {
      if (e->family != family) continue;
      CVarnikUSBDevice* p = e->page;
      const DeviceIdEntry& id = p->GetDeviceIdentity();
      if (!p->IsEventChannelOpen(kind)) {
        if (Matches(id, s)) p->OpenEventChannel(s.path, kind);
      } else if (const DeviceIdEntry* partner = partnerOf(id); partner != nullptr && Matches(*partner, s)) {
        p->OpenEventChannel(s.path, kind);  // reopens on the new path
      }
    }
  } else if (IsReceiverKind(kind)) {
    const DeviceIdEntry* partner = partnerOf(s);
    const DeviceIdEntry& want = partner != nullptr ? *partner : s;
    for (const auto& e : entries_) {
      if (e->family != family || e->page->IsEventChannelOpen(kind)) continue;
      if (Matches(e->page->GetDeviceIdentity(), want)) e->page->OpenEventChannel(s.path, kind);
    }
  } else if (IsKind(kind, DeviceKind::MousePad) || IsKind(kind, DeviceKind::Headset)) {
    for (const auto& e : entries_) {
      if (e->family != family || e->page->IsEventChannelOpen(kind)) continue;
      if (Matches(e->page->GetDeviceIdentity(), s)) {
        e->page->OpenEventChannel(s.path, kind);
        break;
      }
    }
  }
}

LRESULT CDeviceList::OnDeviceLost(WPARAM slotIndex) {
  const int a = static_cast<int>(slotIndex);
  if (a < 0 || a >= static_cast<int>(kSupportedDeviceCount)) return 0;
  const DeviceIdEntry s = discovery_->Slot(a);  // already free: bound 0, no path
  if (s.auxiliary == kAuxiliaryConsumer) {
    LoseAuxiliary(s);
  } else {
    LosePrimary(s, a);
  }
  switch (Family(s.kind)) {
    case 1: Trace("删除一个键盘设备"); break;
    case 2: Trace("删除一个鼠标设备"); break;
    case 3: Trace("删除一个鼠标垫设备"); break;
    default: break;
  }
  return 1;
}

void CDeviceList::LosePrimary(const DeviceIdEntry& s, int a) {
  const std::vector<DeviceIdEntry> slots = discovery_->Slots();
  const int family = Family(s.kind);
  const bool receiver = IsReceiverKind(s.kind);
  DeviceIdEntry identity = s;
  if (family == 1 || family == 2) {
    Trace(family == 1 ? "键盘设备丢失" : "鼠标设备丢失");
    if (s.hasPartner && s.partnerIndex < slots.size()) {
      const DeviceIdEntry& partner = slots[s.partnerIndex];
      if (partner.partnerIndex == a && partner.bound != 0 && !partner.path.empty()) {
        // The other connection remains: a lost cable falls back to the receiver.
        if (!receiver) SwitchConnection(a);
        return;
      }
      if (receiver) identity = partner;
    }
  }
  Entry* e = FindEntryByIdentity(identity, static_cast<uint16_t>(family));
  if (e == nullptr) return;
  e->page->DetachPrimary();
  HideTile(IndexOfPage(e->page));
}

void CDeviceList::LoseAuxiliary(const DeviceIdEntry& s) {
  const std::vector<DeviceIdEntry> slots = discovery_->Slots();
  const int family = Family(s.kind);
  const int kind = s.kind;
  DeviceIdEntry want = s;
  if (IsReceiverKind(kind) && s.hasPartner && s.partnerIndex < slots.size()) want = slots[s.partnerIndex];
  const bool every = IsKind(kind, DeviceKind::Mouse) || IsReceiverKind(kind);
  for (const auto& e : entries_) {
    if (e->family != family || !e->page->IsEventChannelOpen(kind)) continue;
    if (!Matches(e->page->GetDeviceIdentity(), want)) continue;
    e->page->CloseEventChannel(kind);
    if (!every) break;
  }
}

// ---- cable and receiver ----

void CDeviceList::SwitchConnection(int a) {
  const std::vector<DeviceIdEntry> slots = discovery_->Slots();
  if (a < 0 || a >= static_cast<int>(slots.size())) return;
  const DeviceIdEntry& s = slots[static_cast<std::size_t>(a)];
  if (!s.hasPartner || s.partnerIndex >= slots.size()) return;
  const DeviceIdEntry& partner = slots[s.partnerIndex];
  Entry* e = nullptr;
  for (auto& candidate : entries_) {
    const DeviceIdEntry& id = candidate->page->GetDeviceIdentity();
    if (SameIdentity(id, s) || SameIdentity(id, partner)) {
      e = candidate.get();
      break;
    }
  }
  if (e == nullptr) return;
  CVarnikUSBDevice* page = e->page;
  CDeviceComm& comm = page->Comm();
  const bool onReceiver = comm.viaReceiver.load() != 0;
  const std::string& path = onReceiver ? s.path : partner.path;
  page->SetWirelessPollPaused(true);
  const bool switched = page->SwitchPrimaryChannel(path);
  page->SetWirelessPollPaused(false);
  if (!switched) {
    Trace("device list: switching to %s failed; the device stays detached", path.c_str());
    return;
  }
  const int index = IndexOfPage(page);
  if (comm.viaReceiver.load() != 0) {
    comm.SetConnectionMode(proto::kModeReceiver);
    if (page->GetWirelessFlag()) {
      // The link check runs attempt by attempt on a tile timer, so the window
      // stays responsive while the receiver finds its device.
      e->linkAttempts = 0;
      OnTileTimer(index, kTileTimerLinkCheck);
    } else {
      e->linkAttempts = kLinkCheckAttempts;
      OnTileTimer(index, kTileTimerLinkCheck);
    }
  } else {
    comm.SetConnectionMode(proto::kModeCable);
    pm_.KillTimer(e->tile, kTileTimerLinkCheck);
    pm_.SetTimer(e->tile, kTileTimerConnect, kConnectDelayMs);
    OnTileLink(static_cast<WPARAM>(index), 1);
    if (hooks_.closeSettingsWindow) hooks_.closeSettingsWindow();
    if (page->GetWirelessFlag()) page->PollWirelessStatus();
  }
}

// ---- tiles ----

int CDeviceList::VisibleTileCount() const {
  int n = 0;
  for (const auto& e : entries_) n += e->tile->IsVisible() ? 1 : 0;
  return n;
}

CVarnikUSBDevice* CDeviceList::CurrentDevice() const {
  for (const auto& e : entries_) {
    if (e->tile->IsVisible() && e->tile->IsSelectedTile()) return e->page;
  }
  return nullptr;
}

void CDeviceList::ShowTile(int index, bool visible, bool select) {
  Entry* e = index >= 0 && index < PageCount() ? entries_[static_cast<std::size_t>(index)].get() : nullptr;
  if (e == nullptr) return;
  const bool was = e->tile->IsVisible();
  e->tile->SetVisible(visible);
  if (was != visible && hooks_.deviceShown) hooks_.deviceShown(e->page, visible);
  if (select) {
    if (auto* pages = dynamic_cast<CTabLayoutUI*>(pm_.FindControl(kPageLayout))) pages->SelectItem(e->page);
    if (auto* panels = dynamic_cast<CTabLayoutUI*>(pm_.FindControl(e->tile->GetPowerLayoutName()))) {
      const int panel = e->tile->GetPowerPanelIndex();
      panels->SetVisible(panel >= 0);
      if (panel >= 0) panels->SelectItem(panel);
    }
    if (COptionUI* option = e->tile->SelectOption(); option != nullptr && !option->IsSelected()) option->Selected(true);
  }
  UpdateAfterVisibilityChange();
}

void CDeviceList::UpdateAfterVisibilityChange() {
  int visible = 0, synchro = 0;
  for (const auto& e : entries_) {
    if (!e->tile->IsVisible()) continue;
    ++visible;
    synchro += e->tile->IsSynchroSelected() ? 1 : 0;
  }
  if (CControlUI* overlay = pm_.FindControl(kNoDeviceOverlay)) overlay->SetVisible(visible == 0);
  if (visible == 0) {
    if (auto* panels = dynamic_cast<CTabLayoutUI*>(pm_.FindControl(kPowerLayout)); panels && panels->GetCount() > 0)
      panels->SelectItem(0);
    if (auto* pages = dynamic_cast<CTabLayoutUI*>(pm_.FindControl(kPageLayout)); pages && pages->GetCount() > 0)
      pages->SelectItem(0);
  }
  // Synchronised lighting needs two visible devices, both taking part.
  if (hooks_.syncAvailable) hooks_.syncAvailable(visible >= 2);
  if (visible < 2) {
    for (const auto& e : entries_) e->page->ReleaseLightSync();
  }
  if (synchro < 2) {
    for (const auto& e : entries_) {
      if (COptionUI* o = e->tile->SynchroOption(); o != nullptr && o->IsSelected()) o->Selected(false);
    }
  }
  if (hooks_.statusChanged) hooks_.statusChanged();
}

void CDeviceList::HideTile(int index) {
  Entry* e = index >= 0 && index < PageCount() ? entries_[static_cast<std::size_t>(index)].get() : nullptr;
  if (e == nullptr) return;
  const bool wasSelected = e->tile->IsVisible() && e->tile->IsSelectedTile();
  if (wasSelected && hooks_.beforeSelectedTileHidden) hooks_.beforeSelectedTileHidden();
  ShowTile(index, false, false);
  if (!wasSelected) return;
  for (int i = 0; i < PageCount(); ++i) {
    if (i != index && TileAt(i)->IsVisible()) {
      ShowTile(i, true, true);
      return;
    }
  }
}

LRESULT CDeviceList::OnTileLink(WPARAM pageIndex, LPARAM show) {
  const int index = static_cast<int>(pageIndex);
  CDeviceOptionUI* tile = TileAt(index);
  if (tile == nullptr) return 0;
  if (show == 0) {
    HideTile(index);
  } else if (!tile->IsVisible()) {
    ShowTile(index, true, VisibleTileCount() == 0);
  }
  return 1;
}

// ---- exit ----

void CDeviceList::DestroyAll() {
  auto* tiles = dynamic_cast<CContainerUI*>(pm_.FindControl(kTileLayout));
  auto* pages = dynamic_cast<CContainerUI*>(pm_.FindControl(kPageLayout));
  auto* panels = dynamic_cast<CContainerUI*>(pm_.FindControl(kPowerLayout));
  while (!entries_.empty()) {
    std::unique_ptr<Entry> e = std::move(entries_.back());
    entries_.pop_back();
    e->page->DetachPrimary();
    e->tile->SetTimerHandler(nullptr);
    pm_.KillTimer(e->tile);
    e->tile->SetVisible(false);
    if (auto* list = ListForKind(static_cast<uint16_t>(e->family))) std::erase(*list, e->page);
    if (panels != nullptr) panels->Remove(e->panel);
    if (tiles != nullptr) tiles->Remove(e->tile);
    if (pages != nullptr) pages->Remove(e->page);
  }
}

}  // namespace korvale
