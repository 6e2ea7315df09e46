// File bytes as a profile, a lighting list, an effect file and a settings
// file: every loader and section reader must cope, and what is written back
// must read again.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/settings_store.h"
#include "profiles/device_profiledata.h"
#include "profiles/json_file.h"
#include "profiles/settings_files.h"

namespace {
namespace fs = std::filesystem;
using namespace korvale;

const fs::path& Folder() {
  static const fs::path dir = [] {
    std::string tmpl = (fs::temp_directory_path() / "fuzz-profiles-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) ::abort();
    return fs::path(tmpl);
  }();
  return dir;
}

void Put(const fs::path& p, const uint8_t* data, size_t size) {
  std::ofstream(p, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(data),
                                                             static_cast<std::streamsize>(size));
}

template <typename T>
void Common(T& p, const fs::path& file) {
  p.SetDefaultPath(file);
  p.SetFilePath(Folder() / "out.Json");
  p.Load(file);
  const LightInfo li = p.ReadLightInfo();
  const AudioLightInfo ai = p.ReadAudioLightInfo();
  p.ReadLightList();
  const auto keys = p.ReadKeyList();
  p.LoadSecondary(file);
  p.ReadSecondaryKeyList();
  p.LoadLightConfig(file);
  for (uint8_t item : {uint8_t{0}, li.selectItem}) {
    LightInfo sel = li;
    sel.selectItem = item;
    p.WriteLightInfo(sel);
    p.ReadLedEffects();
  }
  p.WriteAudioLightInfo(ai);
  p.WriteKeyList(keys);
  p.WriteSecondaryKeyList(keys);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const fs::path file = Folder() / "in.Json";
  Put(file, data, size);
  // The same bytes as the lighting list's first effect file.
  Put(Folder() / "0.light", data, size);

  CKeyboardProfiledata kb;
  Common(kb, file);
  kb.WriteKeyboardSystemStages(kb.ReadKeyboardSystemStages());
  kb.WriteFnKeysetFlag(kb.ReadFnKeysetFlag());
  const int32_t group = kb.ReadCustomGroupIndex();
  kb.WriteCustomColours(kb.ReadCustomColours(group, 4), group);
  kb.WriteCustomGroupIndex(group);
  kb.Save();

  CMouseProfiledata ms;
  Common(ms, file);
  ms.WriteDpiStages(ms.ReadDpiStages());
  ms.SetActiveDpiStage(ms.GetActiveDpiStage());
  ms.WriteMouseSystemStages(ms.ReadMouseSystemStages());
  ms.ReadCorrectEntries();
  ms.Save();

  CHs6533Profiledata hs;
  Common(hs, file);
  hs.WriteHeadsetSystemSetStages(hs.ReadHeadsetSystemSetStages());
  for (int32_t t = -1; t <= 14; ++t) hs.WriteEqBands(t, hs.ReadEqBands(t));
  const auto names = hs.ReadCustomEqNames();
  for (int32_t i = 0; i < static_cast<int32_t>(names.size()) && i < 4; ++i)
    hs.WriteCustomEqBands(i, hs.ReadCustomEqBands(i));
  hs.WriteCustomEqNames(names);
  hs.Save();

  // What was saved reads back as the document that was saved.
  const Json::Value saved = ReadJsonFile(Folder() / "out.Json");
  if (!hs.Document().isNull() && !(saved["Device"][0] == ParseJsonText(StyledJsonText(hs.Document())))) ::abort();

  const Json::Value doc = ReadJsonFile(file);
  for (int m = -1; m < 5; ++m) {
    ReadDefaultEffects(doc, m);
    ReadAreaEffects(doc, m);
    ReadUserEffectNames(doc, m);
  }
  ReadPalette(doc);
  // Any root, as a user settings file with itself as the default copy.
  if (const Json::Value settings = ReadWithDefaultCopy(file, file); !settings.isNull() && !settings.isObject())
    ::abort();
  ReadLanguageList(file);

  const std::string_view text(reinterpret_cast<const char*>(data), size);
  if (auto m = SettingsStore::Parse(text)) {
    auto again = SettingsStore::Parse(SettingsStore::Format(*m));
    if (!again || *again != *m) ::abort();
  }
  VersionNumberFromText(std::string(text));
  SplitIndexedName(text);
  Utf8ToWide(text);
  return 0;
}
