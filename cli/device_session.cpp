#include "cli/device_session.h"

#include "devices/varnik_hs6533_device.h"
#include "devices/varnik_mousepad_device.h"

#include <json/json.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <optional>
#include <ostream>

#include "cli/korvalectl.h"
#include "devices/page_setup.h"
#include "devices/varnik_keyboard_device.h"
#include "devices/varnik_mouse_device.h"
#include "hid/hid_interfaces.h"
#include "hid/device_discovery.h"
#include "platform/paths.h"
#include "platform/trace.h"
#include "profiles/json_file.h"
#include "profiles/profile_list.h"
#include "profiles/settings_files.h"
#include "protocol/commands.h"
#include "ui/ui_types.h"

namespace korvale::cli {

namespace {

// The product of a representative slot, as the device list picks a page:
// a receiver mouse is the mouse of its cable partner.
int ProductRowOfSlot(const std::vector<DeviceIdEntry>& slots, const DeviceIdEntry& row) {
  uint16_t kind = row.kind, vid = row.vid, pid = row.pid;
  if (kind == static_cast<uint16_t>(DeviceKind::ReceiverMouse)) {
    kind = static_cast<uint16_t>(DeviceKind::Mouse);
    if (row.hasPartner && row.partnerIndex < slots.size()) {
      vid = slots[row.partnerIndex].vid;
      pid = slots[row.partnerIndex].pid;
    }
  }
  return FindProductRow(vid, pid, kind, row.auxiliary);
}

// The current profile when the device folder already has a usable profile
// list; nothing otherwise. Only reads: a selection outside the list names
// the first profile without being written back.
std::optional<ProfileSelection> ExistingProfile(const std::string& productKey) {
  CProfileList list;
  list.SetFolders(XdgDataHome() / kIdentity / productKey, {});
  if (!list.Read() || list.Count() == 0) return std::nullopt;
  const int i = list.Selected() >= 0 && list.Selected() < list.Count() ? list.Selected() : 0;
  const ProfileEntry& e = list.Entries()[static_cast<std::size_t>(i)];
  return ProfileSelection{e.name, e.uuid};
}

}  // namespace

std::vector<BoundDevice> FindBoundDevices() {
  CDeviceDiscovery discovery;
  for (const auto& i : ListHidInterfaces()) discovery.ProbeAndBind(i.path);
  const std::vector<DeviceIdEntry> slots = discovery.Slots();
  const std::vector<DeviceIdEntry> table = MakeSlots();  // unbound copy: partner rows keep their identity

  std::vector<BoundDevice> out;
  std::vector<int> reps;
  for (int s = 0; s < static_cast<int>(slots.size()); ++s) {
    const DeviceIdEntry& slot = slots[static_cast<std::size_t>(s)];
    if (!slot.bound || slot.path.empty()) continue;
    const int rep = RepresentativeSlot(slots, s);
    auto it = std::find(reps.begin(), reps.end(), rep);
    BoundDevice* d = nullptr;
    if (it == reps.end()) {
      const int row = ProductRowOfSlot(table, table[static_cast<std::size_t>(rep)]);
      if (row < 0) continue;
      reps.push_back(rep);
      BoundDevice nd;
      nd.productRow = row;
      nd.productKey = kProducts[static_cast<std::size_t>(row)].productKey;
      nd.kind = kProducts[static_cast<std::size_t>(row)].kind;
      nd.viaReceiver = true;
      out.push_back(nd);
      d = &out.back();
    } else {
      d = &out[static_cast<std::size_t>(it - reps.begin())];
    }
    d->interfaces.push_back({slot.path, slot.kind, slot.auxiliary});
    if (slot.auxiliary == kAuxiliaryPrimary) {
      // A bound cable takes over from the receiver, as in the window.
      if (!IsReceiverKind(slot.kind)) {
        d->viaReceiver = false;
        d->primaryPath = slot.path;
      } else if (d->primaryPath.empty()) {
        d->primaryPath = slot.path;
      }
    }
  }
  for (auto& d : out) {
    if (d.primaryPath.empty()) d.viaReceiver = false;
    if (!d.primaryPath.empty() && !d.viaReceiver) {
      for (const auto& i : d.interfaces)
        if (i.path == d.primaryPath) d.viaReceiver = IsReceiverKind(i.kind);
    }
  }
  return out;
}

std::vector<DeniedInterface> FindDeniedInterfaces() {
  const std::vector<DeviceIdEntry> table = MakeSlots();
  std::vector<DeniedInterface> out;
  for (const auto& d : ListDeniedNodes())
    out.push_back({d.node, ProductRowOfSlot(table, table[static_cast<std::size_t>(d.supportedRow)])});
  return out;
}

std::string DeniedReason(const DeniedInterface& d) {
  const char* product = d.productRow >= 0 ? kProducts[static_cast<std::size_t>(d.productRow)].productKey : "device";
  return "cannot open " + d.node + " (" + product +
         "): permission denied; install data/udev/70-korvale.rules (see README), then plug the device in again";
}

int ProductRowOfKey(const std::string& key) {
  for (std::size_t r = 0; r < kProducts.size(); ++r)
    if (EqualsNoCase(key, kProducts[r].productKey) || EqualsNoCase(key, kDeviceNames[r])) return static_cast<int>(r);
  return -1;
}

std::string ResultName(int code) {
  switch (code) {
    case proto::CMD_OK: return "ok";
    case proto::CMD_NO_ANSWER: return "no answer";
    case proto::CMD_WRITE_FAILED: return "write failed";
    case proto::CMD_NOT_LINKED: return "not linked (receiver without its device)";
    case proto::CMD_STATUS_FF: return "status 0xFF (command refused)";
    case proto::CMD_STATUS_FE: return "status 0xFE (command failed)";
    case proto::CMD_BAD_ARGUMENT: return "bad argument";
    case proto::CMD_NOT_READ: return "refused: not read from the device first";
    default: return "result " + std::to_string(code);
  }
}

namespace {

// The profile a session works on: the current one (made on a first start),
// or for a read-only session only one that exists. False when a writing
// session can neither read nor make the profile list.
bool SelectProfile(const BoundDevice& device, bool readOnly, std::string& reason, ProfileSelection& out, bool& has) {
  const auto& product = kProducts[static_cast<std::size_t>(device.productRow)];
  auto existing = ExistingProfile(product.productKey);
  if (!existing && !readOnly) {
    // A first profile is a copy of the default one; without it there is
    // nothing sound to write, so nothing is written.
    const auto defaultPath = DefaultProfilePath(product.productKey);
    if (!ReadJsonFile(defaultPath).isObject()) {
      reason = "the default profile " + defaultPath.string() + " is missing or unreadable; is the data folder " +
               InstallDataDir().string() + " installed?";
      return false;
    }
  }
  auto selection = readOnly ? std::move(existing) : CurrentProfile(product.productKey);
  if (!selection && !readOnly) {
    reason = "the profile list of " + std::string(product.productKey) + " cannot be read or created";
    return false;
  }
  has = selection.has_value();
  if (selection) out = *selection;
  return true;
}

}  // namespace

template <class Page>
PageSession<Page>::PageSession() = default;
template <class Page>
PageSession<Page>::~PageSession() {
  if (page_) page_->DetachPrimary();
}

template <class Page>
int PageSession<Page>::Open(const BoundDevice& device, std::string& reason, bool readOnly) {
  if (device.primaryPath.empty()) {
    reason = "its command interface is not bound";
    return kExitDeviceError;
  }
  if (!SelectProfile(device, readOnly, reason, profile_, hasProfile_)) return kExitFailure;
  const auto& product = kProducts[static_cast<std::size_t>(device.productRow)];

  page_ = std::make_unique<Page>();
  Page& kb = *page_;
  kb.SetReadOnly(readOnly);
  // The device list's set-up of a page, without a skin to bind.
  const auto identity = ProductIdentity(device.productRow, device.primaryPath);
  if (!identity || !SetUpPage(kb, device.productRow, *identity)) {
    reason = "product row " + std::to_string(device.productRow) + " has no supported-device row";
    return kExitFailure;
  }
  kb.SetProfileName(profile_.uuid);
  kb.LoadEffectLists();  // the lighting editor's binding loads them in the window

  const int mode = device.viaReceiver ? proto::kModeReceiver : proto::kModeCable;
  if (!kb.AttachPrimary(device.primaryPath, device.viaReceiver, mode)) {
    reason = "cannot open " + device.primaryPath;
    return kExitDeviceError;
  }
  // The connection steps of the page, without its painting and light thread.
  const int tables = kb.ReadDeviceTables();
  if (tables != proto::CMD_OK) {
    const int positions = kb.GetDeviceInfo()[proto::kInfoKeyCount];
    if (static_cast<uint32_t>(positions) * 3 > proto::kMaxTransferLength) {
      // The page refuses such a keyboard without a result code of its own.
      reason = "the " + std::string(product.productKey) + " reports " + std::to_string(positions) +
               " key positions, more than its tables hold";
      return kExitDeviceError;
    }
    reason = "reading the device tables failed: " + ResultName(tables);
    return kExitDeviceError;
  }
  if (hasProfile_ && kb.ReloadProfile() != 1) {
    reason = "the profile \"" + profile_.uuid + "\" cannot be loaded";
    return kExitFailure;
  }
  if (kb.ReadDeviceConfig() < 0) {
    reason = "reading the configuration record failed";
    return kExitDeviceError;
  }
  return kExitOk;
}

template class PageSession<CVarnikKeyboardDevice>;
template class PageSession<CVarnikMouseDevice>;

LightingSession::LightingSession() = default;
LightingSession::~LightingSession() {
  if (page_) page_->DetachPrimary();
}

int LightingSession::Open(const BoundDevice& device, std::string& reason, bool readOnly) {
  if (device.primaryPath.empty()) {
    reason = "the " + device.productKey + "'s command interface is not bound";
    return kExitDeviceError;
  }
  if (!SelectProfile(device, readOnly, reason, profile_, hasProfile_)) return kExitFailure;

  if (device.kind == static_cast<uint16_t>(DeviceKind::Headset))
    page_ = std::make_unique<CVarnikHS6533Device>();
  else
    page_ = std::make_unique<CVarnikMousePadDevice>();
  CVarnikLightingDevice& page = *page_;
  page.SetReadOnly(readOnly);
  const auto identity = ProductIdentity(device.productRow, device.primaryPath);
  if (!identity || !SetUpPage(page, device.productRow, *identity)) {
    reason = "product row " + std::to_string(device.productRow) + " has no supported-device row";
    return kExitFailure;
  }
  page.SetProfileName(profile_.uuid);
  page.LoadEffectLists();
  // The device list opens these on their cable channel without a connection mode.
  if (!page.AttachPrimary(device.primaryPath, false, 0)) {
    reason = "cannot open " + device.primaryPath;
    return kExitDeviceError;
  }
  const int info = page.ReadDeviceTables();
  if (info != proto::CMD_OK) {
    reason = "reading the information block failed: " + ResultName(info);
    return kExitDeviceError;
  }
  if (hasProfile_ && page.ReloadProfile() != 1) {
    reason = "the profile \"" + profile_.uuid + "\" cannot be loaded";
    return kExitFailure;
  }
  if (page.ReadDeviceConfig() < 0) {
    reason = "reading the configuration record failed";
    return kExitDeviceError;
  }
  return kExitOk;
}

}  // namespace korvale::cli
