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

// hidraw nodes first (unless disabled), then the virtual bus.
std::vector<HidInterfaceInfo> ListHidInterfaces();

// The node or "vhid:socket" of an interface path: the part before "#vid_".
std::string PathLocation(const std::string& path);

// "vid_XXXX&pid_XXXX&mi_XX" and "&colNN" when the interface has several
// top-level collections (index counts from 0 here, from 01 in the text).
std::string IdentitySuffix(uint16_t vid, uint16_t pid, uint32_t interfaceNumber,
                           std::size_t collectionIndex, std::size_t collectionCount);

}  // namespace korvale
