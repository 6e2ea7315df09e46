#pragma once
// The profile object of a device page: the parsed "Device" element of the
// current profile file, typed reads and writes of its sections, and saving.
// Writes change only the in-memory document until Save.
#include <json/value.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "profiles/profile_records.h"

namespace korvale {

class CBasicProfiledata {
 public:
  CBasicProfiledata() = default;
  virtual ~CBasicProfiledata() = default;
  CBasicProfiledata(const CBasicProfiledata&) = default;
  CBasicProfiledata& operator=(const CBasicProfiledata&) = default;

  // Writes the document into "Device"[device index] of the current file.
  // True when the file was written.
  virtual bool Save();
  // Reads the file at path, replaces its "Device"[device index] with document
  // and writes it back; the file's other members and elements are kept.
  virtual bool StoreDocument(const Json::Value& document, const std::filesystem::path& path);
  virtual bool SaveSecondary(const std::filesystem::path& path);
  // Writes the value as the whole file.
  virtual bool WriteDocument(const Json::Value& document, const std::filesystem::path& path);

  void SetFilePath(const std::filesystem::path& path);  // ignores an empty path
  const std::filesystem::path& GetFilePath() const { return filePath_; }
  void SetDefaultPath(const std::filesystem::path& path);  // ignores an empty path
  const std::filesystem::path& GetDefaultPath() const { return defaultPath_; }
  void SetLightConfigPath(const std::filesystem::path& path) { lightConfigPath_ = path; }
  const std::filesystem::path& GetLightConfigPath() const { return lightConfigPath_; }
  void SetDeviceIndex(int32_t index) { deviceIndex_ = index; }
  int32_t GetDeviceIndex() const { return deviceIndex_; }

  // Loads the device's element of the file; when the file lacks it, fills it
  // from the default profile and writes the file. Returns the loaded element.
  const Json::Value& Load(const std::filesystem::path& path);
  const Json::Value& LoadSecondary(const std::filesystem::path& path);
  // Parses the lighting list file; effect files are looked up beside it.
  Json::Value LoadLightConfig(const std::filesystem::path& path);

  LightInfo ReadLightInfo();
  void WriteLightInfo(const LightInfo& info);
  void WriteLightInfo(const std::array<uint32_t, 5>& words) { WriteLightInfo(LightInfo::FromWords(words)); }
  AudioLightInfo ReadAudioLightInfo();
  void WriteAudioLightInfo(const AudioLightInfo& info);
  void WriteAudioLightInfo(const std::array<uint32_t, 3>& words) {
    WriteAudioLightInfo(AudioLightInfo::FromWords(words));
  }
  std::vector<LightListEntry> ReadLightList();
  std::vector<LedEffectStep> ReadLedEffects();
  std::vector<KeyRecord> ReadKeyList();
  std::vector<KeyRecord> ReadSecondaryKeyList();
  void WriteKeyList(const std::vector<KeyRecord>& records);
  void WriteSecondaryKeyList(const std::vector<KeyRecord>& records);

  // Cached values of the last read or write.
  const LightInfo& GetLightInfo() const { return lightInfo_; }
  const AudioLightInfo& GetAudioLightInfo() const { return audioLightInfo_; }
  const std::vector<LightListEntry>& GetLightList() const { return lightList_; }
  const std::vector<LedEffectStep>& GetLedEffects() const { return effectSteps_; }
  const std::vector<KeyRecord>& GetKeyList() const { return keyList_; }
  const std::vector<KeyRecord>& GetSecondaryKeyList() const { return secondaryKeyList_; }
  const Json::Value& Document() const { return document_; }
  const Json::Value& SecondaryDocument() const { return secondary_; }
  const Json::Value& LightConfig() const { return lightConfig_; }

  // Device indexes beyond this are refused: the "Device" array never needs them.
  static constexpr int32_t kMaxDeviceIndex = 64;

 protected:
  bool DeviceIndexValid() const { return deviceIndex_ >= 0 && deviceIndex_ < kMaxDeviceIndex; }
  // The section object for writing; turns a wrong-typed document into an
  // object. Readers go through Document(): a document written through here
  // is read from its file again by the next Load.
  Json::Value& Doc() { return Touch(Holder::kDocument); }

 private:
  // Which document holds the cached file's element (see FileCache).
  enum class Holder : uint8_t { kNone, kDocument, kSecondary };
  Json::Value& Member(Holder h) { return h == Holder::kSecondary ? secondary_ : document_; }
  // The member, about to be written.
  Json::Value& Touch(Holder h);
  const Json::Value& LoadInto(const std::filesystem::path& path, Holder h);
  // The whole profile file at path. A file whose bytes are those this object
  // last read or wrote is not parsed again. The element lent to `keep` (at
  // the device index) stays lent; any other loan is returned first.
  Json::Value& ReadFileCached(const std::filesystem::path& path, Holder keep);
  void ReturnLoan();
  bool MayStore(const std::filesystem::path& path) const;
  // Writes the member as "Device"[device index] of the file at path.
  bool StoreMember(Holder h, const std::filesystem::path& path);
  // Writes the cached file's text; the cache then stands for it, its element
  // lent to h.
  bool FinishStore(const std::filesystem::path& path, std::string text, Holder h);
  std::vector<KeyRecord> ReadKeysFrom(const Json::Value& doc, std::vector<KeyRecord>& cache);
  void WriteKeysTo(Json::Value& doc, const std::vector<KeyRecord>& records, std::vector<KeyRecord>& cache);

  std::filesystem::path filePath_;
  std::filesystem::path defaultPath_;
  LightInfo lightInfo_;
  AudioLightInfo audioLightInfo_;
  std::vector<LightListEntry> lightList_;
  Json::Value document_;
  Json::Value secondary_;
  std::filesystem::path lightConfigPath_;
  std::vector<LedEffectStep> effectSteps_;
  Json::Value lightConfig_;
  std::filesystem::path lightConfigFolder_;
  std::vector<KeyRecord> keyList_;
  std::vector<KeyRecord> secondaryKeyList_;
  int32_t deviceIndex_ = 0;

  struct FileCache {
    std::filesystem::path path;
    std::optional<std::string> bytes;
    Json::Value file;
    // Instead of a copy, "Device"[lentIndex] of file is moved out to the
    // document or the secondary document (file keeps null there); clean while
    // that document has not been written since. A whole profile is large:
    // copying it in and out on every load and save cost as much as the rest.
    Holder lent = Holder::kNone;
    int32_t lentIndex = 0;
    bool lentClean = false;
  };
  FileCache cache_;
};

}  // namespace korvale
