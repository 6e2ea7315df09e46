#pragma once
// Every HID interface path present on both backends, with what enumeration
// learnt about it, for listings (korvalectl) and for CHidDevice::Enumerate.
#include <cstdint>
#include <string>
#include <vector>

namespace korvale {

struct HidInterfaceInfo {
  std::string path;
  std::string backend;  // "hidraw" or "vhid"
  uint16_t vendorId = 0;
  uint16_t productId = 0;
  uint16_t release = 0;
  uint32_t interfaceNumber = 0;
  uint32_t collectionNumber = 0;  // 0 when the interface has one top-level collection
  uint16_t usagePage = 0;
  uint16_t usage = 0;
  std::string productName;
};

// The supported-device row the interface matches (its ids, interface,
// collection and top-level usage), or -1.
int SupportedRowOf(const HidInterfaceInfo& i);

// A node of a supported interface that is present but may not be opened:
// its permissions keep this user out (no udev rule, or not applied yet).
struct HidDeniedNode {
  std::string node;      // "/dev/hidraw3"
  int supportedRow = -1; // the first supported row it carries
};
// One entry per node, in listing order.
std::vector<HidDeniedNode> ListDeniedNodes();

// hidraw nodes first (unless disabled), then the virtual bus.
std::vector<HidInterfaceInfo> ListHidInterfaces();

// The node or "vhid:socket" of an interface path: the part before "#vid_".
std::string PathLocation(const std::string& path);

// "vid_XXXX&pid_XXXX&mi_XX" and "&colNN" when the interface has several
// top-level collections (index counts from 0 here, from 01 in the text).
std::string IdentitySuffix(uint16_t vid, uint16_t pid, uint32_t interfaceNumber,
                           std::size_t collectionIndex, std::size_t collectionCount);

}  // namespace korvale
