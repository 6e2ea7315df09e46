#include "profiles/profile_list.h"

#include <json/json.h>

#include <algorithm>
#include <chrono>
#include <system_error>
#include <thread>

#include "platform/trace.h"
#include "profiles/device_profiledata.h"
#include "profiles/json_file.h"
#include "profiles/settings_files.h"

namespace korvale {

namespace fs = std::filesystem;

namespace {

constexpr int kKindHeadset = 7;

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return Lower(x) == Lower(y);
         });
}

// ---- import normalisation ----

enum class Shape { kNull, kScalar, kString, kArray, kObject };

Shape ShapeOf(const Json::Value& v) {
  switch (v.type()) {
    case Json::nullValue: return Shape::kNull;
    case Json::stringValue: return Shape::kString;
    case Json::arrayValue: return Shape::kArray;
    case Json::objectValue: return Shape::kObject;
    default: return Shape::kScalar;  // integers, reals and booleans stand for one another
  }
}

// Facts of the device rather than of the user: an imported file never sets them.
constexpr const char* kFromDefaults[] = {"LightList", "DefaultAssignment"};

bool FromDefaults(const std::string& key) {
  return std::any_of(std::begin(kFromDefaults), std::end(kFromDefaults), [&](const char* k) { return key == k; });
}

constexpr int kMaxDepth = 8;

// A value of no known shape: scalars through the safe readers, containers kept
// within the depth and size limits.
Json::Value Sanitise(const Json::Value& v, int depth) {
  switch (v.type()) {
    case Json::booleanValue: return v.asBool();
    case Json::intValue:
    case Json::uintValue:
    case Json::realValue: return JsonInt(v);
    case Json::stringValue: return Utf8ToWide(JsonString(v));
    case Json::arrayValue: {
      Json::Value out(Json::arrayValue);
      if (depth >= kMaxDepth) return out;
      for (Json::ArrayIndex i = 0; i < v.size() && i < kMaxJsonIndex; ++i) out.append(Sanitise(v[i], depth + 1));
      return out;
    }
    case Json::objectValue: {
      Json::Value out(Json::objectValue);
      if (depth >= kMaxDepth) return out;
      for (const auto& key : v.getMemberNames()) out[key] = Sanitise(v[key], depth + 1);
      return out;
    }
    default: return Json::Value();
  }
}

// got in the shape of want: want's members and lengths, got's values where
// their type fits, want's elsewhere.
Json::Value Conform(const Json::Value& got, const Json::Value& want, int depth) {
  switch (want.type()) {
    case Json::objectValue: {
      Json::Value out(Json::objectValue);
      for (const auto& key : want.getMemberNames()) {
        out[key] = FromDefaults(key) || depth >= kMaxDepth ? want[key]
                                                           : Conform(JsonMember(got, key.c_str()), want[key], depth + 1);
      }
      return out;
    }
    case Json::arrayValue: {
      if (want.empty()) return got.isArray() ? Sanitise(got, depth) : Json::Value(Json::arrayValue);
      Json::Value out(Json::arrayValue);
      for (Json::ArrayIndex i = 0; i < want.size(); ++i)
        out.append(depth >= kMaxDepth ? want[i] : Conform(JsonElement(got, i), want[i], depth + 1));
      return out;
    }
    case Json::booleanValue: return ShapeOf(got) == Shape::kScalar ? Json::Value(JsonFlag(got)) : want;
    case Json::intValue:
    case Json::uintValue:
    case Json::realValue: return ShapeOf(got) == Shape::kScalar ? Json::Value(JsonInt(got)) : want;
    case Json::stringValue: return got.isString() ? Json::Value(Utf8ToWide(JsonString(got))) : want;
    default: return Sanitise(got, depth);
  }
}

// The sections of got and want: the same members, each of the same kind, and
// arrays of the default's length where the default has a fixed one.
bool SameSections(const Json::Value& got, const Json::Value& want) {
  if (!got.isObject() || !want.isObject() || got.size() != want.size()) return false;
  for (const auto& key : want.getMemberNames()) {
    if (!got.isMember(key)) return false;
    const Json::Value& g = got[key];
    const Json::Value& w = want[key];
    if (ShapeOf(w) != Shape::kNull && ShapeOf(g) != ShapeOf(w)) return false;
    if (w.isArray() && !w.empty() && g.size() != w.size()) return false;
  }
  return true;
}

// The profile object of a kind over a document of our own.
template <class Profile>
class Editable : public Profile {
 public:
  explicit Editable(const Json::Value& doc) { this->Doc() = doc; }
};

// Every section the program reads, read and written back: the readers clamp
// and truncate, the writers write the program's own form.
Json::Value ThroughSectionReaders(const Json::Value& doc, int kind) {
  const auto common = [&doc](CBasicProfiledata& p) {
    if (doc.isMember("LightInfo")) p.WriteLightInfo(p.ReadLightInfo());
    if (doc.isMember("AudioLightInfo")) p.WriteAudioLightInfo(p.ReadAudioLightInfo());
    if (doc.isMember("KeyList")) p.WriteKeyList(p.ReadKeyList());
  };
  if (kind == 1 || kind == 9) {
    Editable<CKeyboardProfiledata> p(doc);
    common(p);
    if (doc.isMember("SystemStages")) p.WriteKeyboardSystemStages(p.ReadKeyboardSystemStages());
    if (doc.isMember("FnKeysetFlag")) p.WriteFnKeysetFlag(p.ReadFnKeysetFlag());
    return p.Document();
  }
  if (kind == 2 || kind == 6) {
    Editable<CMouseProfiledata> p(doc);
    common(p);
    if (doc.isMember("DPIStages")) p.WriteDpiStages(p.ReadDpiStages());
    if (doc.isMember("SystemStages")) p.WriteMouseSystemStages(p.ReadMouseSystemStages());
    return p.Document();
  }
  if (kind == kKindHeadset) {
    Editable<CHs6533Profiledata> p(doc);
    common(p);
    if (doc.isMember("SystemSetStages")) p.WriteHeadsetSystemSetStages(p.ReadHeadsetSystemSetStages());
    return p.Document();
  }
  Editable<CBasicProfiledata> p(doc);
  common(p);
  return p.Document();
}

Json::Value ListEntry(const ProfileEntry& e) {
  Json::Value v(Json::objectValue);
  v["profilename"] = e.name;
  v["profileUUID"] = e.uuid;
  v["profileislink"] = 0;
  v["profilelinkmame"] = "";
  return v;
}

}  // namespace

const char* ProfileStatusText(ProfileStatus status) {
  switch (status) {
    case ProfileStatus::kDone: return "done";
    case ProfileStatus::kDuplicateName: return "another profile already has this name";
    case ProfileStatus::kBlankName: return "the profile name is empty";
    case ProfileStatus::kTooMany: return "50 profiles is the most that can be added";
    case ProfileStatus::kLastProfile: return "the last profile cannot be deleted";
    case ProfileStatus::kNoSuchProfile: return "no such profile";
    case ProfileStatus::kNotAProfile: return "the file is not a profile (a JSON object with a \"Device\" element)";
    case ProfileStatus::kWrongDevice: return "the file is a profile of another device";
    case ProfileStatus::kBadUuid: return "the profile list names a file outside the profile folder; it is not used";
    case ProfileStatus::kMissingFile: return "the profile file is missing or unreadable";
    case ProfileStatus::kWriteFailed: return "a file could not be written; nothing was changed";
  }
  return "?";
}

const char* ProfileStatusTextId(ProfileStatus status) {
  switch (status) {
    case ProfileStatus::kDone: return "";
    case ProfileStatus::kDuplicateName: return "message_text_5";
    case ProfileStatus::kBlankName: return "message_text_25";
    case ProfileStatus::kTooMany: return "profile_error_too_many";
    case ProfileStatus::kLastProfile: return "profile_error_last";
    case ProfileStatus::kNoSuchProfile: return "profile_error_missing";
    case ProfileStatus::kNotAProfile: return "profile_error_not_profile";
    case ProfileStatus::kWrongDevice: return "profile_error_wrong_device";
    case ProfileStatus::kBadUuid: return "profile_error_bad_uuid";
    case ProfileStatus::kMissingFile: return "profile_error_missing_file";
    case ProfileStatus::kWriteFailed: return "profile_error_write";
  }
  return "";
}

std::optional<Json::Value> NormaliseProfileDocument(const Json::Value& candidate, const Json::Value& defaults,
                                                    int kind) {
  const Json::Value& want = JsonElement(JsonMember(defaults, "Device"), 0);
  const Json::Value& got = JsonElement(JsonMember(candidate, "Device"), 0);
  if (!SameSections(got, want)) return std::nullopt;
  Json::Value out(Json::objectValue);
  out["Device"] = Json::Value(Json::arrayValue);
  out["Device"].append(ThroughSectionReaders(Conform(got, want, 0), kind));
  return out;
}

int DeviceKindOfFolder(std::string_view deviceFolderName) {
  static constexpr int kKinds[] = {1, 2, 3, kKindHeadset};
  for (std::size_t i = 0; i < std::size(kDeviceFolderNames); ++i)
    if (SameNoCase(deviceFolderName, kDeviceFolderNames[i])) return kKinds[i];
  return 0;
}

// ---- the list ----

void CProfileList::SetFolders(const fs::path& folder, const fs::path& defaultProfile) {
  folder_ = folder;
  defaultProfile_ = defaultProfile;
}

bool CProfileList::ReadList(Json::Value& doc) {
  doc = ReadJsonFile(ListPath());
  return doc.isObject() && JsonSize(JsonMember(doc, "profilelist")) > 0;
}

bool CProfileList::Read() {
  entries_.clear();
  selected_ = 0;
  if (folder_.empty() || !ReadList(listDoc_)) return false;
  const Json::Value& items = JsonMember(listDoc_, "profilelist");
  for (std::size_t i = 0; i < JsonSize(items) && i < kMaxJsonIndex; ++i) {
    const Json::Value& e = JsonElement(items, i);
    entries_.push_back({Utf8ToWide(JsonString(JsonMember(e, "profilename"))), JsonString(JsonMember(e, "profileUUID"))});
  }
  selected_ = JsonInt(JsonMember(listDoc_, "profileselect"));
  return true;
}

ProfileStatus CProfileList::Initialise() {
  if (Read()) {
    if (selected_ >= 0 && selected_ < Count()) return ProfileStatus::kDone;
    // A selection past the list's end would name no profile: the first one is current.
    Trace("profiles: selection %d in %s is outside the list; the first profile is used", selected_,
          ListPath().c_str());
    selected_ = 0;
    return WriteList(listDoc_);
  }
  if (folder_.empty()) return ProfileStatus::kWriteFailed;
  // A first start, or a list that cannot be read: "Profile1" again.
  entries_.clear();
  listDoc_ = Json::Value(Json::objectValue);
  return AppendProfile("Profile1", DefaultDocument(), true, nullptr);
}

ProfileStatus CProfileList::WriteList(Json::Value doc) {
  if (!doc.isObject()) doc = Json::Value(Json::objectValue);
  Json::Value items(Json::arrayValue);
  for (const auto& e : entries_) items.append(ListEntry(e));
  doc["profilelist"] = items;
  doc["profileselect"] = selected_;
  if (!TryWriteJsonFile(ListPath(), doc)) return ProfileStatus::kWriteFailed;
  listDoc_ = std::move(doc);
  return ProfileStatus::kDone;
}

fs::path CProfileList::PathAt(int index) const {
  if (index < 0 || index >= Count()) return {};
  return ProfileFilePath(folder_, entries_[static_cast<std::size_t>(index)].uuid);
}

int CProfileList::Find(std::string_view nameOrIndex) const {
  if (!nameOrIndex.empty() && nameOrIndex.size() <= 6 &&
      std::all_of(nameOrIndex.begin(), nameOrIndex.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    const int i = std::stoi(std::string(nameOrIndex));
    return i < Count() ? i : -1;
  }
  for (int i = 0; i < Count(); ++i)
    if (SameNoCase(entries_[static_cast<std::size_t>(i)].name, nameOrIndex)) return i;
  return -1;
}

bool CProfileList::NameTaken(std::string_view name, int except) const {
  for (int i = 0; i < Count(); ++i)
    if (i != except && SameNoCase(entries_[static_cast<std::size_t>(i)].name, name)) return true;
  return false;
}

std::string CProfileList::NewUuid() const {
  // Time stamps of the same millisecond repeat: wait for one no file and no
  // entry has. A clock that stands still gets a counted suffix after 1 s.
  const auto taken = [this](const std::string& u) {
    std::error_code ec;
    if (fs::exists(folder_ / (u + ".Json"), ec) || ec) return true;
    return std::any_of(entries_.begin(), entries_.end(), [&](const ProfileEntry& e) { return e.uuid == u; });
  };
  std::string u = MakeTimeStampName();
  for (int tries = 0; taken(u); ++tries) {
    if (tries < 5000) {
      std::this_thread::sleep_for(std::chrono::microseconds(200));
      u = MakeTimeStampName();
    } else {
      u = MakeTimeStampName() + "_" + std::to_string(tries - 4999);
    }
  }
  return u;
}

Json::Value CProfileList::DefaultDocument() const {
  Json::Value d = ReadJsonFile(defaultProfile_);
  if (!d.isObject()) {
    Trace("profiles: default profile %s is missing; the new profile holds only its names", defaultProfile_.c_str());
    d = Json::Value(Json::objectValue);
  }
  return d;
}

ProfileStatus CProfileList::AppendProfile(const std::string& name, Json::Value content, bool select, int* index) {
  const std::string uuid = NewUuid();
  content["profilename"] = name;
  content["profileUUID"] = uuid;
  const fs::path file = ProfileFilePath(folder_, uuid);
  // The file first: a crash before the list is written leaves an unlisted
  // file, never a list entry without its file.
  if (file.empty() || !TryWriteJsonFile(file, content)) return ProfileStatus::kWriteFailed;
  const int before = selected_;
  entries_.push_back({name, uuid});
  if (select) selected_ = Count() - 1;
  if (WriteList(listDoc_) != ProfileStatus::kDone) {
    entries_.pop_back();
    selected_ = before;
    std::error_code ec;
    fs::remove(file, ec);
    return ProfileStatus::kWriteFailed;
  }
  if (index != nullptr) *index = Count() - 1;
  return ProfileStatus::kDone;
}

ProfileStatus CProfileList::Select(int index) {
  if (const auto s = Initialise(); s != ProfileStatus::kDone) return s;
  if (index < 0 || index >= Count()) return ProfileStatus::kNoSuchProfile;
  selected_ = index;
  return WriteList(listDoc_);
}

ProfileStatus CProfileList::Add(int* index) {
  if (const auto s = Initialise(); s != ProfileStatus::kDone) return s;
  if (Count() >= kMaxAddedProfiles) return ProfileStatus::kTooMany;
  int n = 1;
  while (NameTaken("profile" + std::to_string(n), -1)) ++n;
  return AppendProfile("profile" + std::to_string(n), DefaultDocument(), true, index);
}

ProfileStatus CProfileList::Copy(int i, int* index) {
  if (const auto s = Initialise(); s != ProfileStatus::kDone) return s;
  if (i < 0 || i >= Count()) return ProfileStatus::kNoSuchProfile;
  const fs::path source = PathAt(i);
  if (source.empty()) return ProfileStatus::kBadUuid;
  Json::Value d = ReadJsonFile(source);
  // A profile whose file is gone is rebuilt from the defaults when loaded: so is its copy.
  if (!d.isObject()) d = DefaultDocument();
  std::string name = entries_[static_cast<std::size_t>(i)].name + " copy";
  while (NameTaken(name, -1)) name += " copy";
  return AppendProfile(name, std::move(d), false, index);
}

ProfileStatus CProfileList::Rename(int i, const std::string& name) {
  if (const auto s = Initialise(); s != ProfileStatus::kDone) return s;
  if (i < 0 || i >= Count()) return ProfileStatus::kNoSuchProfile;
  if (IsBlankText(name)) return ProfileStatus::kBlankName;
  const std::string clean = Utf8ToWide(name);
  if (NameTaken(clean, i)) return ProfileStatus::kDuplicateName;
  const std::string old = entries_[static_cast<std::size_t>(i)].name;
  entries_[static_cast<std::size_t>(i)].name = clean;
  if (WriteList(listDoc_) != ProfileStatus::kDone) {
    entries_[static_cast<std::size_t>(i)].name = old;
    return ProfileStatus::kWriteFailed;
  }
  // The list holds the name that counts; the file's copy follows it.
  if (const fs::path file = PathAt(i); !file.empty()) {
    Json::Value d = ReadJsonFile(file);
    if (d.isObject()) {
      d["profilename"] = clean;
      TryWriteJsonFile(file, d);
    }
  }
  return ProfileStatus::kDone;
}

ProfileStatus CProfileList::Delete(int i) {
  if (const auto s = Initialise(); s != ProfileStatus::kDone) return s;
  if (i < 0 || i >= Count()) return ProfileStatus::kNoSuchProfile;
  if (Count() < 2) return ProfileStatus::kLastProfile;
  const fs::path file = PathAt(i);
  const auto oldEntries = entries_;
  const int oldSelected = selected_;
  const std::string uuid = entries_[static_cast<std::size_t>(i)].uuid;
  entries_.erase(entries_.begin() + i);
  if (i < selected_ || (i == selected_ && selected_ > 0)) --selected_;
  if (WriteList(listDoc_) != ProfileStatus::kDone) {
    entries_ = oldEntries;
    selected_ = oldSelected;
    return ProfileStatus::kWriteFailed;
  }
  // Only now that the list no longer names it, and only when no other entry
  // shares the UUID (lists from before UUIDs were unique may).
  const bool shared =
      std::any_of(entries_.begin(), entries_.end(), [&](const ProfileEntry& e) { return e.uuid == uuid; });
  if (!file.empty() && !shared) {
    std::error_code ec;
    fs::remove(file, ec);
    if (ec) Trace("profiles: %s could not be deleted: %s", file.c_str(), ec.message().c_str());
  }
  return ProfileStatus::kDone;
}

ProfileStatus CProfileList::Reset(int i) {
  if (const auto s = Initialise(); s != ProfileStatus::kDone) return s;
  if (i < 0 || i >= Count()) return ProfileStatus::kNoSuchProfile;
  const fs::path file = PathAt(i);
  if (file.empty()) return ProfileStatus::kBadUuid;
  const ProfileEntry& e = entries_[static_cast<std::size_t>(i)];
  Json::Value d = DefaultDocument();
  d["profilename"] = e.name;
  d["profileUUID"] = e.uuid;
  if (kind_ == kKindHeadset && JsonElement(JsonMember(d, "Device"), 0).isObject()) {
    // The user's own equalisers survive a reset.
    const Json::Value cur = ReadJsonFile(file);
    const Json::Value& section = JsonElement(JsonMember(cur, "Device"), 0);
    for (const char* key : {"CustomEQNameInfo", "CustomEQHzValueInfo"}) {
      const Json::Value& kept = JsonMember(section, key);
      if (kept.isArray()) d["Device"][0][key] = Sanitise(kept, 0);
    }
  }
  return TryWriteJsonFile(file, d) ? ProfileStatus::kDone : ProfileStatus::kWriteFailed;
}

ProfileStatus CProfileList::Import(const fs::path& file, int* index) {
  if (const auto s = Initialise(); s != ProfileStatus::kDone) return s;
  const Json::Value candidate = ReadJsonFile(file);
  if (!candidate.isObject() || !JsonElement(JsonMember(candidate, "Device"), 0).isObject())
    return ProfileStatus::kNotAProfile;
  auto normalised = NormaliseProfileDocument(candidate, ReadJsonFile(defaultProfile_), kind_);
  if (!normalised) return ProfileStatus::kWrongDevice;
  std::string name = Utf8ToWide(FileTitleOf(file));
  if (IsBlankText(name)) name = "Profile";
  std::string candidateName = name;
  for (int k = 1; NameTaken(candidateName, -1); ++k) candidateName += "(" + std::to_string(k) + ")";
  const auto s = AppendProfile(candidateName, std::move(*normalised), false, index);
  if (s == ProfileStatus::kDone) {
    // A file once written under an empty UUID names no profile.
    std::error_code ec;
    fs::remove(folder_ / ".Json", ec);
  }
  return s;
}

ProfileStatus CProfileList::Export(int i, const fs::path& target) {
  if (const auto s = Initialise(); s != ProfileStatus::kDone) return s;
  if (i < 0 || i >= Count()) return ProfileStatus::kNoSuchProfile;
  const fs::path file = PathAt(i);
  if (file.empty()) return ProfileStatus::kBadUuid;
  Json::Value d = ReadJsonFile(file);
  if (!d.isObject()) return ProfileStatus::kMissingFile;
  const ProfileEntry& e = entries_[static_cast<std::size_t>(i)];
  d["profilename"] = e.name;
  d["profileUUID"] = e.uuid;
  return TryWriteJsonFile(target, d) ? ProfileStatus::kDone : ProfileStatus::kWriteFailed;
}

std::optional<ProfileSelection> CurrentProfile(const std::string& deviceFolderName) {
  const auto folder = UserDataFolder(deviceFolderName);
  if (folder.empty()) return std::nullopt;
  CProfileList list;
  list.SetDeviceKind(DeviceKindOfFolder(deviceFolderName));
  list.SetFolders(folder, DefaultProfilePath(deviceFolderName));
  if (list.Initialise() != ProfileStatus::kDone) {
    Trace("profiles: the profile list of %s could not be read or created", deviceFolderName.c_str());
    return std::nullopt;
  }
  const ProfileEntry& e = list.Entries()[static_cast<std::size_t>(list.Selected())];
  return ProfileSelection{e.name, e.uuid};
}

}  // namespace korvale
