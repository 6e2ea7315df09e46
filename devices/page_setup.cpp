#include "devices/page_setup.h"

#include "devices/varnik_usb_device.h"

namespace korvale {

bool SetUpPage(CVarnikUSBDevice& page, int productRow, const DeviceIdEntry& identity) {
  if (productRow < 0 || static_cast<std::size_t>(productRow) >= kProductCount) return false;
  const ProductEntry& product = kProducts[static_cast<std::size_t>(productRow)];
  const ProductPageEntry& info = kProductPages[static_cast<std::size_t>(productRow)];
  page.SetPageXmlPath(info.pageSkinFile);
  page.SetKeyCount(info.keyCount);
  page.SetLightCount(info.lightCount);
  page.SetProductRow(productRow);
  page.SetWirelessFlag(info.wireless != 0);
  page.SetDeviceFolderName(product.productKey);
  page.SetDeviceIdentity(identity);
  page.SetModelIndex(product.defaultDataIndex);
  page.SetLightConfigName(info.lightingFileBase);
  return true;
}

std::optional<DeviceIdEntry> ProductIdentity(int productRow, const std::string& path) {
  if (productRow < 0 || static_cast<std::size_t>(productRow) >= kProductCount) return std::nullopt;
  const ProductEntry& product = kProducts[static_cast<std::size_t>(productRow)];
  const int row = FindTableRow(product.vid, product.pid, product.kind, product.auxiliary);
  if (row < 0) return std::nullopt;
  DeviceIdEntry id = kSupportedDevices[static_cast<std::size_t>(row)];
  id.path = path;
  return id;
}

}  // namespace korvale
