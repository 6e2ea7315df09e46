#pragma once
// The devices this program accepts: the supported-device table (one row per
// HID top-level collection), the per-product tables, the identity parsed from
// an interface path, and the slot matching used by device discovery.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace korvale {

enum class DeviceKind : uint16_t {
  Keyboard = 1,
  Mouse = 2,
  MousePad = 3,
  ReceiverMouse = 6,
  Headset = 7,
  ReceiverKeyboard = 9,
};

// Kinds travel as plain numbers (identity records, messages); compare them here.
constexpr bool IsKind(int kind, DeviceKind k) { return kind == static_cast<int>(k); }
constexpr bool IsReceiverKind(int kind) {
  return IsKind(kind, DeviceKind::ReceiverMouse) || IsKind(kind, DeviceKind::ReceiverKeyboard);
}

// auxiliary: the primary (vendor command) collection or the consumer-control one.
inline constexpr uint16_t kAuxiliaryPrimary = 0;
inline constexpr uint16_t kAuxiliaryConsumer = 255;

// One identity record: a table row, a discovery slot, or a device's identity.
struct DeviceIdEntry {
  uint16_t vid = 0;
  uint16_t pid = 0;
  uint16_t interfaceNumber = 0;
  uint16_t collection = 0;
  uint16_t kind = 0;
  uint16_t auxiliary = 0;
  uint16_t bound = 0;
  uint16_t usagePage = 0;
  uint16_t usage = 0;
  uint16_t hasPartner = 0;
  uint16_t partnerIndex = 0;
  std::string path;
};

inline constexpr std::size_t kSupportedDeviceCount = 11;
inline constexpr std::size_t kProductCount = 4;

extern const std::array<DeviceIdEntry, kSupportedDeviceCount> kSupportedDevices;

struct ProductEntry {
  const char* tileSkinFile;
  const char* tabLayoutName;
  const char* powerPanelName;
  const char* productKey;
  int defaultDataIndex;
  uint16_t vid;
  uint16_t pid;
  uint16_t kind;
  uint16_t auxiliary;
};

struct ProductPageEntry {
  int lightCount;
  int keyCount;
  int wireless;
  int reserved;
  const char* pageSkinFile;
  const char* lightingFileBase;
};

struct FirmwareEntry {
  int updateCategory;
  int updateEnabled;
  int updateState;  // 0 here; the update list keeps its own copy
  const char* brand;
  const char* firmwareId;
  const char* modelName;
  const char* modelCode;
  const char* version;
};

// Product order: mouse, keyboard, mousepad, headset.
extern const std::array<ProductEntry, kProductCount> kProducts;
extern const std::array<ProductPageEntry, kProductCount> kProductPages;
extern const std::array<FirmwareEntry, kProductCount> kFirmware;

// Identity tokens of an interface path, hexadecimal, case-insensitive; a
// missing token or no digits give 0, only the low 16 bits count.
uint16_t VidFromPath(std::string_view path);
uint16_t PidFromPath(std::string_view path);
uint16_t InterfaceFromPath(std::string_view path);
uint16_t CollectionFromPath(std::string_view path);
// vid, pid, interfaceNumber, collection and path filled from the path.
DeviceIdEntry IdentityFromPath(std::string_view path);

// Some table row has the record's vid, pid, interfaceNumber and collection.
bool IsListedPath(const DeviceIdEntry& id);
// First row equal in vid, pid, interfaceNumber, collection, usagePage and
// usage: copies its kind and auxiliary into id. False when none.
bool LookupFullIdentity(DeviceIdEntry& id);
// Index of that row, or -1.
int FindSupportedRow(const DeviceIdEntry& id);
// "Keyboard", "ReceiverMouse", ...; "Unknown" for other codes.
const char* DeviceKindName(uint16_t kind);
// Index of the first product row / table row with these four values, or -1.
int FindProductRow(uint16_t vid, uint16_t pid, uint16_t kind, uint16_t auxiliary);
int FindTableRow(uint16_t vid, uint16_t pid, uint16_t kind, uint16_t auxiliary);
// Equal in every identifying field; bound, partner and path do not count.
bool SameIdentity(const DeviceIdEntry& a, const DeviceIdEntry& b);

// Discovery slots: a run-time copy of the table whose bound and path change.
std::vector<DeviceIdEntry> MakeSlots();
// The first free slot for a path identity (vid, pid, interfaceNumber,
// collection), or -1 when the table lists no such row or every such slot is taken.
int FindFreeSlot(const std::vector<DeviceIdEntry>& slots, const DeviceIdEntry& pathId);
// Binds an opened device: `device` carries the path identity with vid and pid
// as the device reports them and its usagePage and usage. Takes kind and
// auxiliary from the table, occupies the first free matching slot and returns
// its index; -1 (and nothing changed) when no row or no slot fits.
int BindSlot(std::vector<DeviceIdEntry>& slots, DeviceIdEntry& device);
bool AllSlotsTaken(const std::vector<DeviceIdEntry>& slots);
// The slot whose tile and page a slot belongs to: both collections of one
// product, and the cable and receiver connections of one product, resolve to one.
int RepresentativeSlot(const std::vector<DeviceIdEntry>& slots, int slot);

}  // namespace korvale
