#pragma once
// Key assignments refer to macros by their position in "macro.config"; when a
// macro is deleted, every stored key list must follow: assignments of the
// deleted macro fall back to the key's default, later numbers move down one.
#include <filesystem>
#include <string>
#include <vector>

#include "profiles/profile_records.h"

namespace korvale {

inline constexpr uint8_t kAssignMacro = 0x70;
inline constexpr uint8_t kAssignMacroRepeat = 0x71;

inline bool IsMacroCode(const AssignmentCode& c) {
  return c.type == kAssignMacro || c.type == kAssignMacroRepeat;
}

// True when a normal or Fn assignment plays macro k.
bool KeyListUsesMacro(const std::vector<KeyRecord>& keys, int k);

// Rewrites the list for the deletion of macro k; true when anything changed.
bool FixMacroReferences(std::vector<KeyRecord>& keys, int k);

// Applies FixMacroReferences(k) to the key list of every profile of the
// device folder's "ProfileList.ini" except skipUuid, saving the files that
// changed. Unreadable profiles are left alone with a trace. Returns how many
// files were rewritten.
int FixMacroReferencesInProfiles(const std::filesystem::path& folder, int deviceIndex,
                                 const std::string& skipUuid, int k);

}  // namespace korvale
