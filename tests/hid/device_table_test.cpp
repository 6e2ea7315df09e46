// Device identity from interface paths and the slot matching of discovery.
#include <gtest/gtest.h>

#include "hid/device_table.h"

using namespace korvale;

// EXPECT_EQ on slot vectors needs equality of the whole record.
namespace korvale {
bool operator==(const DeviceIdEntry& a, const DeviceIdEntry& b) {
  return SameIdentity(a, b) && a.bound == b.bound && a.hasPartner == b.hasPartner &&
         a.partnerIndex == b.partnerIndex && a.path == b.path;
}
}  // namespace korvale


namespace {

struct IdentityCase {
  const char* name;
  const char* path;
  uint16_t vid, pid, mi, col;  // expected from the path
  bool listed;                 // some row has this path identity
  uint16_t usagePage, usage;   // what the opened device reports
  int slot;                    // slot bound, -1 for none
  uint16_t kind, auxiliary;    // taken from the table when bound
  uint16_t reportedVid = 0, reportedPid = 0;  // when the device reports other ids than its path
};

const IdentityCase kCases[] = {
    {"windows style, mouse vendor collection", R"(\\?\hid#vid_320f&pid_50ef&mi_01&col04#7&1a2b&0&0003#{4d1e55b2-f16f-11cf-88cb-001111000030})",
     0x320F, 0x50EF, 1, 4, true, 0xFF1C, 0x92, 4, 2, 0},
    {"same mouse, consumer collection", "vhid:/run/k/mouse.sock#vid_320f&pid_50ef&mi_01&col03", 0x320F, 0x50EF, 1, 3,
     true, 0x000C, 0x01, 5, 2, 255},
    {"upper-case tokens and digits", "/dev/hidraw2#VID_320F&PID_5064&MI_01&COL04", 0x320F, 0x5064, 1, 4, true,
     0xFF1C, 0x92, 0, 1, 0},
    {"mixed case, no collection: the headset", "/dev/hidraw7#Vid_0C76&pId_1630&Mi_03", 0x0C76, 0x1630, 3, 0, true,
     0x000C, 0x01, 10, 7, 0},
    {"receiver mouse", "/dev/hidraw1#vid_320f&pid_221d&mi_01&col04", 0x320F, 0x221D, 1, 4, true, 0xFF1C, 0x92, 6, 6,
     0},
    {"mousepad consumer collection", "/dev/hidraw1#vid_320f&pid_1004&mi_01&col03", 0x320F, 0x1004, 1, 3, true,
     0x000C, 0x01, 9, 3, 255},
    {"listed ids, unlisted usage page", "/dev/hidraw2#vid_320f&pid_5064&mi_01&col04", 0x320F, 0x5064, 1, 4, true,
     0x0001, 0x06, -1, 0, 0},
    {"listed ids, unlisted collection", "/dev/hidraw2#vid_320f&pid_5064&mi_01&col01", 0x320F, 0x5064, 1, 1, false,
     0x0001, 0x06, -1, 0, 0},
    {"no interface or collection token", "/dev/hidraw0#vid_320f&pid_5064", 0x320F, 0x5064, 0, 0, false, 0xFF1C, 0x92,
     -1, 0, 0},
    {"no tokens at all", "garbage", 0, 0, 0, 0, false, 0xFF1C, 0x92, -1, 0, 0},
    {"token without digits", "/dev/x#vid_&pid_zz&mi_01&col04", 0, 0, 1, 4, true, 0xFF1C, 0x92, 2, 9, 0},
    {"more digits than 16 bits keep the low 16", "/dev/x#vid_1320f&pid_fff5064&mi_0001&col0004", 0x320F, 0x5064, 1,
     4, true, 0xFF1C, 0x92, 0, 1, 0},
    {"folder names before the identity do not count", "vhid:/tmp/vid_9999&mi_07/kb.sock#vid_320f&pid_5064&mi_01&col03",
     0x320F, 0x5064, 1, 3, true, 0x000C, 0x01, 1, 1, 255},
    {"device reports other ids than its path", "/dev/hidraw2#vid_320f&pid_5064&mi_01&col04", 0x320F, 0x5064, 1, 4,
     true, 0xFF1C, 0x92, -1, 0, 0, 0x1234, 0x5678},
};

}  // namespace

TEST(DeviceIdentity, PathsParseAndBindAsTheTableSays) {
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.name);
    const DeviceIdEntry id = IdentityFromPath(c.path);
    EXPECT_EQ(id.vid, c.vid);
    EXPECT_EQ(id.pid, c.pid);
    EXPECT_EQ(id.interfaceNumber, c.mi);
    EXPECT_EQ(id.collection, c.col);
    EXPECT_EQ(id.path, c.path);
    EXPECT_EQ(IsListedPath(id), c.listed);

    auto slots = MakeSlots();
    EXPECT_EQ(FindFreeSlot(slots, id) >= 0, c.listed);
    DeviceIdEntry device = id;
    if (c.reportedVid) device.vid = c.reportedVid, device.pid = c.reportedPid;
    device.usagePage = c.usagePage;
    device.usage = c.usage;
    const int slot = BindSlot(slots, device);
    EXPECT_EQ(slot, c.slot);
    if (slot < 0) {
      EXPECT_EQ(slots, MakeSlots()) << "a failed bind changes nothing";
      continue;
    }
    EXPECT_EQ(device.kind, c.kind);
    EXPECT_EQ(device.auxiliary, c.auxiliary);
    EXPECT_EQ(slots[slot].bound, 1);
    EXPECT_EQ(slots[slot].path, c.path);
    // A second device of the same product finds its slot taken.
    EXPECT_EQ(FindFreeSlot(slots, id), -1);
    DeviceIdEntry second = device;
    second.path = std::string(c.path) + "-second";
    EXPECT_EQ(BindSlot(slots, second), -1);
  }
}

TEST(DeviceIdentity, LookupsAndEquality) {
  EXPECT_EQ(FindProductRow(0x320F, 0x50EF, 2, 0), 0);
  EXPECT_EQ(FindProductRow(0x0C76, 0x1630, 7, 0), 3);
  EXPECT_EQ(FindProductRow(0x320F, 0x50EF, 2, 255), -1);  // product rows are all primary
  EXPECT_EQ(FindTableRow(0x320F, 0x5064, 1, 255), 1);
  EXPECT_EQ(FindTableRow(0, 0, 9, 0), 2);
  EXPECT_EQ(FindTableRow(0x320F, 0x5064, 2, 0), -1);
  // Every product resolves to its primary row of the device table.
  for (const auto& p : kProducts) EXPECT_GE(FindTableRow(p.vid, p.pid, p.kind, p.auxiliary), 0) << p.productKey;

  DeviceIdEntry a = kSupportedDevices[0], b = kSupportedDevices[0];
  b.bound = 1, b.path = "/dev/hidraw0#x", b.hasPartner = 0, b.partnerIndex = 9;
  EXPECT_TRUE(SameIdentity(a, b));
  b.usage = 0x93;
  EXPECT_FALSE(SameIdentity(a, b));

  DeviceIdEntry full = IdentityFromPath("/dev/hidraw0#vid_320f&pid_5064&mi_01&col03");
  full.usagePage = 0x000C, full.usage = 0x01;
  ASSERT_TRUE(LookupFullIdentity(full));
  EXPECT_EQ(full.kind, 1);
  EXPECT_EQ(full.auxiliary, 255);
  full.usage = 0x02;
  EXPECT_FALSE(LookupFullIdentity(full));
}

TEST(DeviceIdentity, AllSlotsTaken) {
  auto slots = MakeSlots();
  EXPECT_FALSE(AllSlotsTaken(slots));
  for (auto& s : slots) s.bound = 1;
  EXPECT_TRUE(AllSlotsTaken(slots));
  slots[4].bound = 0;
  slots[4].path = "/dev/hidraw9#stale";  // a path still held keeps the slot taken
  EXPECT_TRUE(AllSlotsTaken(slots));
  slots[4].path.clear();
  EXPECT_FALSE(AllSlotsTaken(slots));
}

TEST(DeviceIdentity, BothCollectionsAndBothConnectionsShareOneRepresentative) {
  const auto slots = MakeSlots();
  const int expected[kSupportedDeviceCount] = {0, 0, 0, 0, 4, 4, 4, 4, 8, 8, 10};
  for (int s = 0; s < static_cast<int>(kSupportedDeviceCount); ++s) {
    EXPECT_EQ(RepresentativeSlot(slots, s), expected[s]) << "slot " << s;
  }
  // A partner link that does not point back is not followed.
  auto broken = slots;
  broken[4].partnerIndex = 0;
  EXPECT_EQ(RepresentativeSlot(broken, 6), 6);
  broken[6].partnerIndex = 200;  // out of range: never indexed
  EXPECT_EQ(RepresentativeSlot(broken, 6), 6);
  EXPECT_EQ(RepresentativeSlot(broken, 7), 6);  // falls back to the primary slot
}
