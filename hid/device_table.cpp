#include "hid/device_table.h"

#include <algorithm>
#include <cctype>

namespace korvale {

namespace {
constexpr uint16_t K(DeviceKind k) { return static_cast<uint16_t>(k); }
constexpr uint16_t kVendorPage = 0xFF1C, kVendorUsage = 0x92;
constexpr uint16_t kConsumerPage = 0x000C, kConsumerUsage = 0x01;
constexpr const char* kTileSkin = "XML/CustomControlXML/DeviceOption.xml";
}  // namespace

// vid, pid, interface, collection, kind, auxiliary, bound, usage page, usage, has partner, partner
const std::array<DeviceIdEntry, kSupportedDeviceCount> kSupportedDevices = {{
    {0x320F, 0x5064, 1, 4, K(DeviceKind::Keyboard), 0, 0, kVendorPage, kVendorUsage, 1, 2, {}},
    {0x320F, 0x5064, 1, 3, K(DeviceKind::Keyboard), 255, 0, kConsumerPage, kConsumerUsage, 1, 3, {}},
    {0x0000, 0x0000, 1, 4, K(DeviceKind::ReceiverKeyboard), 0, 0, kVendorPage, kVendorUsage, 1, 0, {}},
    {0x0000, 0x0000, 1, 3, K(DeviceKind::ReceiverKeyboard), 255, 0, kConsumerPage, kConsumerUsage, 1, 1, {}},
    {0x320F, 0x50EF, 1, 4, K(DeviceKind::Mouse), 0, 0, kVendorPage, kVendorUsage, 1, 6, {}},
    {0x320F, 0x50EF, 1, 3, K(DeviceKind::Mouse), 255, 0, kConsumerPage, kConsumerUsage, 1, 7, {}},
    {0x320F, 0x221D, 1, 4, K(DeviceKind::ReceiverMouse), 0, 0, kVendorPage, kVendorUsage, 1, 4, {}},
    {0x320F, 0x221D, 1, 3, K(DeviceKind::ReceiverMouse), 255, 0, kConsumerPage, kConsumerUsage, 1, 5, {}},
    {0x320F, 0x1004, 1, 4, K(DeviceKind::MousePad), 0, 0, kVendorPage, kVendorUsage, 0, 0, {}},
    {0x320F, 0x1004, 1, 3, K(DeviceKind::MousePad), 255, 0, kConsumerPage, kConsumerUsage, 0, 0, {}},
    {0x0C76, 0x1630, 3, 0, K(DeviceKind::Headset), 0, 0, kConsumerPage, kConsumerUsage, 0, 0, {}},
}};

const std::array<ProductEntry, kProductCount> kProducts = {{
    {kTileSkin, "tab_header_device", "device_power_switch", "mouse", 1, 0x320F, 0x50EF, K(DeviceKind::Mouse), 0},
    {kTileSkin, "tab_header_device", "device_power_switch", "keyboard", 0, 0x320F, 0x5064, K(DeviceKind::Keyboard), 0},
    {kTileSkin, "tab_header_device", "device_power_switch", "MousePad", 2, 0x320F, 0x1004, K(DeviceKind::MousePad), 0},
    {kTileSkin, "tab_header_device", "device_power_switch", "HD", 3, 0x0C76, 0x1630, K(DeviceKind::Headset), 0},
}};

const std::array<ProductPageEntry, kProductCount> kProductPages = {{
    {15, 11, 1, -1, "XML/DeviceXml/mousedevice.xml", "velmo_light"},
    {170, 170, 0, -1, "XML/DeviceXml/keyboarddevice.xml", "velmo_light"},
    {15, 0, 0, -1, "XML/DeviceXml/mousepaddevice.xml", "velmo_light"},
    {13, 0, 0, -1, "XML/DeviceXml/hs6533device.xml", "velmo_light"},
}};

const std::array<FirmwareEntry, kProductCount> kFirmware = {{
    {1, 1, 0, "VELMO", "TX730M-MS", "TX730max Mouse", "VM-M730", ""},
    {1, 1, 0, "VELMO", "TX730M-KB", "TX730max Keyboard", "VM-K730", ""},
    {2, 1, 0, "VELMO", "TX730M-MP", "TX730max Mousepad", "VM-P730", ""},
    {0, 1, 0, "VELMO", "ALL", "TX730max Headset", "VM-H6533", "1.0.0"},
}};

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

// The identity part of our paths follows the last "#vid_" (the node or
// socket path before it may contain anything); other paths are searched whole.
std::string_view IdentityPart(std::string_view path) {
  std::string lower(path);
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  const auto at = lower.rfind("#vid_");
  return at == std::string::npos ? path : path.substr(at);
}

uint16_t HexAfter(std::string_view path, std::string_view token) {
  const std::string_view part = IdentityPart(path);
  auto it = std::search(part.begin(), part.end(), token.begin(), token.end(), [](char a, char b) {
    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
  });
  if (it == part.end()) return 0;
  uint16_t v = 0;
  for (it += static_cast<std::ptrdiff_t>(token.size()); it != part.end(); ++it) {
    const int d = HexDigit(*it);
    if (d < 0) break;
    v = static_cast<uint16_t>((v << 4) | d);  // low 16 bits only
  }
  return v;
}

bool SamePathIdentity(const DeviceIdEntry& a, const DeviceIdEntry& b) {
  return a.vid == b.vid && a.pid == b.pid && a.interfaceNumber == b.interfaceNumber && a.collection == b.collection;
}

bool SameCollection(const DeviceIdEntry& a, const DeviceIdEntry& b) {
  return SamePathIdentity(a, b) && a.usagePage == b.usagePage && a.usage == b.usage;
}

bool IsFree(const DeviceIdEntry& s) { return s.bound == 0 && s.path.empty(); }

bool IsReceiverKind(uint16_t kind) {
  return kind == K(DeviceKind::ReceiverMouse) || kind == K(DeviceKind::ReceiverKeyboard);
}

}  // namespace

uint16_t VidFromPath(std::string_view path) { return HexAfter(path, "vid_"); }
uint16_t PidFromPath(std::string_view path) { return HexAfter(path, "pid_"); }
uint16_t InterfaceFromPath(std::string_view path) { return HexAfter(path, "&mi_"); }
uint16_t CollectionFromPath(std::string_view path) { return HexAfter(path, "&col"); }

DeviceIdEntry IdentityFromPath(std::string_view path) {
  DeviceIdEntry id;
  id.vid = VidFromPath(path);
  id.pid = PidFromPath(path);
  id.interfaceNumber = InterfaceFromPath(path);
  id.collection = CollectionFromPath(path);
  id.path = std::string(path);
  return id;
}

bool IsListedPath(const DeviceIdEntry& id) {
  return std::any_of(kSupportedDevices.begin(), kSupportedDevices.end(),
                     [&](const DeviceIdEntry& row) { return SamePathIdentity(row, id); });
}

int FindSupportedRow(const DeviceIdEntry& id) {
  for (std::size_t i = 0; i < kSupportedDevices.size(); ++i) {
    if (SameCollection(kSupportedDevices[i], id)) return static_cast<int>(i);
  }
  return -1;
}

bool LookupFullIdentity(DeviceIdEntry& id) {
  const int row = FindSupportedRow(id);
  if (row < 0) return false;
  id.kind = kSupportedDevices[static_cast<std::size_t>(row)].kind;
  id.auxiliary = kSupportedDevices[static_cast<std::size_t>(row)].auxiliary;
  return true;
}

const char* DeviceKindName(uint16_t kind) {
  switch (static_cast<DeviceKind>(kind)) {
    case DeviceKind::Keyboard: return "Keyboard";
    case DeviceKind::Mouse: return "Mouse";
    case DeviceKind::MousePad: return "MousePad";
    case DeviceKind::ReceiverMouse: return "ReceiverMouse";
    case DeviceKind::Headset: return "Headset";
    case DeviceKind::ReceiverKeyboard: return "ReceiverKeyboard";
  }
  return "Unknown";
}

int FindProductRow(uint16_t vid, uint16_t pid, uint16_t kind, uint16_t auxiliary) {
  for (std::size_t i = 0; i < kProducts.size(); ++i) {
    const auto& p = kProducts[i];
    if (p.vid == vid && p.pid == pid && p.kind == kind && p.auxiliary == auxiliary) return static_cast<int>(i);
  }
  return -1;
}

int FindTableRow(uint16_t vid, uint16_t pid, uint16_t kind, uint16_t auxiliary) {
  for (std::size_t i = 0; i < kSupportedDevices.size(); ++i) {
    const auto& r = kSupportedDevices[i];
    if (r.vid == vid && r.pid == pid && r.kind == kind && r.auxiliary == auxiliary) return static_cast<int>(i);
  }
  return -1;
}

bool SameIdentity(const DeviceIdEntry& a, const DeviceIdEntry& b) {
  return SameCollection(a, b) && a.kind == b.kind && a.auxiliary == b.auxiliary;
}

std::vector<DeviceIdEntry> MakeSlots() { return {kSupportedDevices.begin(), kSupportedDevices.end()}; }

int FindFreeSlot(const std::vector<DeviceIdEntry>& slots, const DeviceIdEntry& pathId) {
  if (!IsListedPath(pathId)) return -1;
  for (std::size_t i = 0; i < slots.size(); ++i) {
    if (SamePathIdentity(slots[i], pathId) && IsFree(slots[i])) return static_cast<int>(i);
  }
  return -1;
}

int BindSlot(std::vector<DeviceIdEntry>& slots, DeviceIdEntry& device) {
  DeviceIdEntry probe = device;
  if (!LookupFullIdentity(probe)) return -1;
  for (std::size_t i = 0; i < slots.size(); ++i) {
    DeviceIdEntry& s = slots[i];
    if (SameCollection(s, probe) && IsFree(s)) {
      device.kind = probe.kind;
      device.auxiliary = probe.auxiliary;
      s.bound = 1;
      s.path = device.path;
      return static_cast<int>(i);
    }
  }
  return -1;
}

bool AllSlotsTaken(const std::vector<DeviceIdEntry>& slots) {
  return std::none_of(slots.begin(), slots.end(), IsFree);
}

int RepresentativeSlot(const std::vector<DeviceIdEntry>& slots, int slot) {
  const int n = static_cast<int>(slots.size());
  if (slot < 0 || slot >= n) return slot;
  const DeviceIdEntry& s = slots[static_cast<std::size_t>(slot)];
  auto partnerOf = [&](const DeviceIdEntry& e) { return e.partnerIndex < n ? int(e.partnerIndex) : -1; };
  if (s.auxiliary == kAuxiliaryConsumer) {
    for (int j = 0; j < n; ++j) {
      const DeviceIdEntry& p = slots[static_cast<std::size_t>(j)];
      if (p.pid != s.pid || p.vid != s.vid || p.kind != s.kind || p.auxiliary != kAuxiliaryPrimary) continue;
      if (IsReceiverKind(p.kind) && p.hasPartner == 1 && partnerOf(p) >= 0) return partnerOf(p);
      return j;
    }
    return slot;
  }
  if (IsReceiverKind(s.kind) && s.hasPartner == 1) {
    const int p = partnerOf(s);
    if (p >= 0 && slots[static_cast<std::size_t>(p)].partnerIndex == slot) return p;
  }
  return slot;
}

}  // namespace korvale
