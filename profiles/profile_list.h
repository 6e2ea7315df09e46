#pragma once
// The current profile of a device folder as its "ProfileList.ini" records it.
// Shared by the device pages (before a profile list control hands one over)
// and korvalectl, so both write the same profile file.
#include <optional>
#include <string>

namespace korvale {

struct ProfileSelection {
  std::string name;
  std::string uuid;
};

// A missing or empty list is created with "Profile1" from the default profile,
// as the profile bar does on a first start: the profile file is written before
// the list, so the list never names a file that is not there. A selection
// outside the list picks the first profile. Nothing when the folder or its
// files cannot be made.
std::optional<ProfileSelection> CurrentProfile(const std::string& deviceFolderName);

}  // namespace korvale
