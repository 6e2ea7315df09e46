#include "profiles/macro_refs.h"

#include "platform/trace.h"
#include "profiles/basic_profiledata.h"
#include "profiles/profile_list.h"

namespace korvale {

bool KeyListUsesMacro(const std::vector<KeyRecord>& keys, int k) {
  for (const KeyRecord& r : keys)
    for (const KeyPart* p : {&r.normal, &r.fn})
      if (IsMacroCode(p->code) && p->code.value1 == k) return true;
  return false;
}

bool FixMacroReferences(std::vector<KeyRecord>& keys, int k) {
  bool changed = false;
  for (KeyRecord& r : keys) {
    for (KeyPart* p : {&r.normal, &r.fn}) {
      if (!IsMacroCode(p->code)) continue;
      if (p->code.value1 == k) {
        *p = r.defaultKey;
        changed = true;
      } else if (p->code.value1 > k) {
        --p->code.value1;
        changed = true;
      }
    }
  }
  return changed;
}

int FixMacroReferencesInProfiles(const std::filesystem::path& folder, int deviceIndex,
                                 const std::string& skipUuid, int k) {
  CProfileList list;
  list.SetFolders(folder, {});
  int rewritten = 0;
  if (!list.Read()) return rewritten;
  for (int i = 0; i < list.Count(); ++i) {
    const std::string& uuid = list.Entries()[static_cast<std::size_t>(i)].uuid;
    if (uuid == skipUuid) continue;
    const auto file = list.PathAt(i);
    if (file.empty()) continue;  // a UUID that is no plain file name
    CBasicProfiledata profile;
    profile.SetDeviceIndex(deviceIndex);
    if (!profile.LoadSecondary(file).isObject()) {
      Trace("macros: profile %s could not be read; its macro keys were not renumbered", uuid.c_str());
      continue;
    }
    std::vector<KeyRecord> keys = profile.ReadSecondaryKeyList();
    if (!FixMacroReferences(keys, k)) continue;
    profile.WriteSecondaryKeyList(keys);
    if (profile.SaveSecondary(file))
      ++rewritten;
    else
      Trace("macros: profile %s could not be written", uuid.c_str());
  }
  return rewritten;
}

}  // namespace korvale
