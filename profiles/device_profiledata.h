#pragma once
// The sections that only one device kind keeps in its profile.
#include <string>
#include <vector>

#include "profiles/basic_profiledata.h"

namespace korvale {

class CKeyboardProfiledata : public CBasicProfiledata {
 public:
  KeyboardSystemStages ReadKeyboardSystemStages();
  void WriteKeyboardSystemStages(const KeyboardSystemStages& stages);
  uint8_t ReadFnKeysetFlag();
  void WriteFnKeysetFlag(uint8_t value);
  // Colours of custom group `group`; missing entries up to `count` are
  // created as zero colours in the document. Empty for a group or count
  // outside 0..kMaxJsonIndex.
  std::vector<LedColour> ReadCustomColours(int32_t group, int32_t count);
  void WriteCustomColours(const std::vector<LedColour>& colours, int32_t group);
  int32_t ReadCustomGroupIndex();
  void WriteCustomGroupIndex(int32_t index);

  const KeyboardSystemStages& GetKeyboardSystemStages() const { return stages_; }
  const std::vector<LedColour>& GetCustomColours() const { return customColours_; }
  int32_t GetCustomGroupIndex() const { return customGroup_; }

 private:
  KeyboardSystemStages stages_;
  std::vector<LedColour> customColours_;
  int32_t customGroup_ = 0;
};

class CMouseProfiledata : public CBasicProfiledata {
 public:
  // Stages read from the file replace the cached ones by position; cached
  // stages beyond the file's count keep their values.
  std::vector<DpiStage> ReadDpiStages();
  void WriteDpiStages(const std::vector<DpiStage>& stages);
  // Fills the cache without touching the document (the page's defaults).
  void SetCachedDpiStages(const std::vector<DpiStage>& stages) { dpiStages_ = stages; }
  int32_t GetActiveDpiStage() const { return activeDpiStage_; }
  void SetActiveDpiStage(int32_t stage);
  MouseSystemStages ReadMouseSystemStages();
  void WriteMouseSystemStages(const MouseSystemStages& stages);
  std::vector<CorrectEntry> ReadCorrectEntries();

  const std::vector<DpiStage>& GetDpiStages() const { return dpiStages_; }
  const MouseSystemStages& GetMouseSystemStages() const { return stages_; }
  const std::vector<CorrectEntry>& GetCorrectEntries() const { return correct_; }

 private:
  std::vector<DpiStage> dpiStages_;
  int32_t activeDpiStage_ = 0;
  MouseSystemStages stages_;
  std::vector<CorrectEntry> correct_;
};

class CHs6533Profiledata : public CBasicProfiledata {
 public:
  static constexpr int kEqBands = 10;
  static constexpr int32_t kCustomEqType = 13;

  HeadsetSystemSetStages ReadHeadsetSystemSetStages();
  void WriteHeadsetSystemSetStages(const HeadsetSystemSetStages& stages);
  // Ten band values of the preset slot of equaliser type t; empty for the
  // custom type 13. Missing bands are written into the document as zeros.
  std::vector<int32_t> ReadEqBands(int32_t type);
  // Needs at least ten values; fewer are refused with a trace.
  void WriteEqBands(int32_t type, const std::vector<int32_t>& values);
  std::vector<std::string> ReadCustomEqNames();
  void WriteCustomEqNames(const std::vector<std::string>& names);
  std::vector<int32_t> ReadCustomEqBands(int32_t index);
  void WriteCustomEqBands(int32_t index, const std::vector<int32_t>& values);
  // Removes custom band list i; the lists after it move up one place, so
  // they stay paired with their names.
  void RemoveCustomEqBands(int32_t index);
  // The custom curve the user set on the sliders but has not saved under a
  // name ("UnsavedEQHzValueInfo", one band list).
  std::vector<int32_t> ReadUnsavedEqBands();
  void WriteUnsavedEqBands(const std::vector<int32_t>& values);

  // The preset slot of an equaliser type, or -1 for the custom type.
  static int32_t EqSlot(int32_t type);
  const HeadsetSystemSetStages& GetHeadsetSystemSetStages() const { return stages_; }

 private:
  std::vector<int32_t> ReadBands(const char* member, std::size_t slot);
  void WriteBands(const char* member, std::size_t slot, const std::vector<int32_t>& values);

  HeadsetSystemSetStages stages_;
};

}  // namespace korvale
