#pragma once
// The named profiles of one device folder: "ProfileList.ini" (a JSON list of
// names and UUIDs with the selected index) and one "<UUID>.Json" per profile.
// Pure logic shared by the profile bar of a device page and korvalectl, so
// both change the same files the same way.
//
// Every operation rereads the list before it changes it, and the files are
// written in an order a crash cannot break: a new profile file is written
// before the list names it, and a file is deleted only after the list no
// longer names it. UUIDs come from file contents and reach paths only
// through ProfileFilePath's plain-file-name rule.
#include <json/value.h>

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvale {

struct ProfileSelection {
  std::string name;
  std::string uuid;
};

struct ProfileEntry {
  std::string name;  // "profilename"
  std::string uuid;  // "profileUUID", as the file has it (may be unusable)
};

enum class ProfileStatus {
  kDone,
  kDuplicateName,  // another profile has the name (letter case ignored)
  kBlankName,
  kTooMany,        // adding stops at kMaxAddedProfiles
  kLastProfile,    // one profile always remains
  kNoSuchProfile,  // index outside the list
  kNotAProfile,    // import: not a JSON object with a "Device" element
  kWrongDevice,    // import: the "Device" element belongs to another device kind
  kBadUuid,        // the list names a UUID that is not a plain file name
  kMissingFile,    // export: the profile file is missing or unreadable
  kWriteFailed,
};

// One line of English for korvalectl and traces.
const char* ProfileStatusText(ProfileStatus status);
// The message text ID the window shows for a status.
const char* ProfileStatusTextId(ProfileStatus status);

class CProfileList {
 public:
  static constexpr int kMaxAddedProfiles = 50;
  static constexpr char kListFileName[] = "ProfileList.ini";

  // The page's DeviceKind (1 keyboard, 2 mouse, 3 mousepad, 7 headset).
  void SetDeviceKind(int kind) { kind_ = kind; }
  int GetDeviceKind() const { return kind_; }
  void SetFolders(const std::filesystem::path& folder, const std::filesystem::path& defaultProfile);
  const std::filesystem::path& Folder() const { return folder_; }
  std::filesystem::path ListPath() const { return folder_ / kListFileName; }

  // Reads the list; a missing, unparsable or empty list is created with
  // "Profile1" (its file first), and a selection outside the list becomes 0
  // and is written back.
  ProfileStatus Initialise();
  // Reads the list as it is on disk without creating or changing anything.
  // False when there is no usable list.
  bool Read();

  const std::vector<ProfileEntry>& Entries() const { return entries_; }
  int Count() const { return static_cast<int>(entries_.size()); }
  int Selected() const { return selected_; }
  // "<folder>/<uuid>.Json", or empty for an index outside the list or a UUID
  // that is not a plain file name.
  std::filesystem::path PathAt(int index) const;
  // The index of a name (letter case ignored) or a decimal index; -1 when none.
  int Find(std::string_view nameOrIndex) const;
  // Whether a profile other than `except` has the name (letter case ignored).
  bool NameTaken(std::string_view name, int except = -1) const;

  ProfileStatus Select(int index);
  // Adds "profileN" (the smallest free N) from the default profile and
  // selects it; *index gets its position.
  ProfileStatus Add(int* index = nullptr);
  // Adds "<name> copy" (again while taken) with the content of profile i.
  ProfileStatus Copy(int i, int* index = nullptr);
  ProfileStatus Rename(int i, const std::string& name);
  // Removes profile i; the selection moves to the entry before it (or 0).
  ProfileStatus Delete(int i);
  // Profile i from the default profile again, under its name and UUID; a
  // headset keeps its custom equalisers.
  ProfileStatus Reset(int i);
  // Adds the profile in file as "<file title>" ("(k)" appended while taken).
  // Only a JSON object whose "Device" element has the shape of this device's
  // default profile is taken, and its values are normalised on the way in.
  ProfileStatus Import(const std::filesystem::path& file, int* index = nullptr);
  // Writes profile i's file to target unchanged except for its two names.
  ProfileStatus Export(int i, const std::filesystem::path& target);

 private:
  bool ReadList(Json::Value& doc);
  ProfileStatus WriteList(Json::Value doc);
  std::string NewUuid() const;
  Json::Value DefaultDocument() const;
  ProfileStatus AppendProfile(const std::string& name, Json::Value content, bool select, int* index);

  std::filesystem::path folder_;
  std::filesystem::path defaultProfile_;
  int kind_ = 0;
  std::vector<ProfileEntry> entries_;
  int selected_ = 0;
  Json::Value listDoc_;  // the last list read; members we do not know are kept
};

// A profile document for `kind` with the shape of `defaults` ("Device"[0]) and
// the values of `candidate` normalised through the section readers; nothing
// when candidate's "Device"[0] has another shape (another device's profile).
std::optional<Json::Value> NormaliseProfileDocument(const Json::Value& candidate, const Json::Value& defaults,
                                                    int kind);

// The current profile of a device folder, creating the list on a first start.
// Nothing when the folder or its files cannot be made.
std::optional<ProfileSelection> CurrentProfile(const std::string& deviceFolderName);

// The DeviceKind of a device folder name ("keyboard" 1, "mouse" 2,
// "MousePad" 3, "HD" 7); 0 for another name.
int DeviceKindOfFolder(std::string_view deviceFolderName);

}  // namespace korvale
