#include "profiles/profile_list.h"

#include <json/json.h>

#include "platform/trace.h"
#include "profiles/json_file.h"
#include "profiles/settings_files.h"

namespace korvale {

std::optional<ProfileSelection> CurrentProfile(const std::string& deviceFolderName) {
  const auto folder = UserDataFolder(deviceFolderName);
  if (folder.empty()) return std::nullopt;
  const auto listPath = folder / "ProfileList.ini";
  Json::Value list = ReadJsonFile(listPath);
  if (!list.isObject() || JsonSize(JsonMember(list, "profilelist")) == 0) {
    ProfileSelection first{"Profile1", MakeTimeStampName()};
    Json::Value entry(Json::objectValue);
    entry["profilename"] = first.name;
    entry["profileUUID"] = first.uuid;
    entry["profileislink"] = 0;
    entry["profilelinkmame"] = "";
    list = Json::Value(Json::objectValue);
    list["profilelist"] = Json::Value(Json::arrayValue);
    list["profilelist"].append(entry);
    list["profileselect"] = 0;
    Json::Value d = ReadJsonFile(DefaultProfilePath(deviceFolderName));
    if (!d.isObject()) d = Json::Value(Json::objectValue);
    d["profilename"] = first.name;
    d["profileUUID"] = first.uuid;
    const auto file = ProfileFilePath(folder, first.uuid);
    if (file.empty() || !TryWriteJsonFile(file, d) || !TryWriteJsonFile(listPath, list)) {
      Trace("profiles: the profile list of %s could not be created", deviceFolderName.c_str());
      return std::nullopt;
    }
    return first;
  }
  const Json::Value& items = JsonMember(list, "profilelist");
  int select = JsonInt(JsonMember(list, "profileselect"));
  if (select < 0 || static_cast<std::size_t>(select) >= JsonSize(items)) {
    // A selection past the list's end would name no profile: the first one is current.
    Trace("profiles: profile selection %d of %s is outside the list; the first profile is used", select,
          deviceFolderName.c_str());
    select = 0;
  }
  const Json::Value& e = JsonElement(items, static_cast<std::size_t>(select));
  return ProfileSelection{JsonString(JsonMember(e, "profilename")), JsonString(JsonMember(e, "profileUUID"))};
}

}  // namespace korvale
