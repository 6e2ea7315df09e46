#pragma once
// A page set up from its product row, the same for the device list, korvalectl
// and the tests: key and light counts, row, wireless flag, profile folder,
// identity, default-data model and lighting file.
#include <optional>
#include <string>

#include "hid/device_table.h"

namespace korvale {

class CVarnikUSBDevice;

// productRow indexes kProducts; identity is the device's slot or table row.
// False (and the page untouched) for a row outside the table.
bool SetUpPage(CVarnikUSBDevice& page, int productRow, const DeviceIdEntry& identity);

// The supported-device row of a product's own collection, with path filled
// in: the identity of a page opened without discovery. Empty for a row
// outside the table or a product the table does not list.
std::optional<DeviceIdEntry> ProductIdentity(int productRow, const std::string& path = {});

}  // namespace korvale
