#include "tests/support/bus_paths.h"

#include <stdlib.h>

#include <cstdio>

#include "hid/hid_device.h"

namespace korvale::testing {

BusDirOverride::BusDirOverride(const std::filesystem::path& dir) { ::setenv("KORVALE_VHID_DIR", dir.c_str(), 1); }
BusDirOverride::~BusDirOverride() { ::unsetenv("KORVALE_VHID_DIR"); }

std::string BusPath(std::string_view socket, int collection) {
  CHidDevice enumerator;
  if (!enumerator.Enumerate()) return {};
  const std::string sock = "/" + std::string(socket) + ".sock#";
  char col[16];
  std::snprintf(col, sizeof col, "&col%02x", collection);
  while (const char* p = enumerator.NextPath()) {
    const std::string path = p;
    if (path.find(sock) == std::string::npos) continue;
    const bool hasCol = path.find("&col") != std::string::npos;
    if (collection == 0 ? !hasCol : path.find(col) != std::string::npos) return path;
  }
  return {};
}

}  // namespace korvale::testing
