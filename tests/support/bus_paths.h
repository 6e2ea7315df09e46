#pragma once
// The virtual bus of a test: its folder and the interface paths of the
// devices korvale-emu serves on it.
#include <filesystem>
#include <string>
#include <string_view>

namespace korvale::testing {

// Points the bus at a folder for the life of the object.
class BusDirOverride {
 public:
  explicit BusDirOverride(const std::filesystem::path& dir);
  ~BusDirOverride();
  BusDirOverride(const BusDirOverride&) = delete;
  BusDirOverride& operator=(const BusDirOverride&) = delete;
};

// The enumerated path of one collection of the emulated interface `socket`
// ("keyboard", "mouse-cable", ...); collection 0 is an interface with a single
// collection. "" when the bus lists no such path.
std::string BusPath(std::string_view socket, int collection);

}  // namespace korvale::testing
