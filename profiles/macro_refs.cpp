#include "profiles/macro_refs.h"

#include "platform/trace.h"
#include "profiles/basic_profiledata.h"
#include "profiles/json_file.h"
#include "profiles/settings_files.h"

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
  const Json::Value list = ReadJsonFile(folder / "ProfileList.ini");
  const Json::Value& items = JsonMember(list, "profilelist");
  int rewritten = 0;
  for (std::size_t i = 0; i < JsonSize(items); ++i) {
    const std::string uuid = JsonString(JsonMember(JsonElement(items, i), "profileUUID"));
    if (uuid.empty() || uuid == skipUuid) continue;
    const auto file = ProfileFilePath(folder, uuid);
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
