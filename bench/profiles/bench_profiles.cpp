// A full keyboard profile (170 keys, 170 LEDs, a custom colour group): load,
// read every section, write every section, save. Goal: at most 1 ms a round.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>

#include "profiles/device_profiledata.h"
#include "profiles/json_file.h"
#include "profiles/keyboard_layout.h"

namespace {
namespace fs = std::filesystem;
using namespace korvale;

struct Folder {
  Folder() {
    std::string tmpl = (fs::temp_directory_path() / "bench-profiles-XXXXXX").string();
    if (!::mkdtemp(tmpl.data())) ::abort();
    path = tmpl;
  }
  ~Folder() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  fs::path path;
};

// The installed keyboard default with every LED given a per-key effect and a
// full custom colour group, so every section is populated.
fs::path MakeProfile(const fs::path& dir) {
  const fs::path file = dir / "kb.Json";
  Json::Value file_doc = ReadJsonFile(fs::path(KORVALE_SOURCE_DIR) / "data" / "DefaultData" / "keyboard.Json");
  Json::Value& dev = file_doc["Device"][0];
  for (Json::ArrayIndex i = 0; i < kKeyboardLightCount; ++i) {
    Json::Value e;
    e["LEDREGMode"] = static_cast<int>(i % 5);
    e["LEDBrightness"] = 4;
    e["LEDSpeed"] = 2;
    e["LEDDirection"] = 0;
    e["LEDMultiColor"] = 1;
    e["red"] = static_cast<int>(i);
    e["green"] = 0;
    e["blue"] = 255;
    dev["LightList"][i] = e;
  }
  file_doc["profilename"] = "Profile1";
  file_doc["profileUUID"] = "kb";
  WriteJsonFile(file, file_doc);
  CKeyboardProfiledata p;
  p.SetFilePath(file);
  p.Load(file);
  p.ReadCustomColours(0, kKeyboardLightCount);
  p.Save();
  return file;
}

void RoundTrip(CKeyboardProfiledata& p, const fs::path& file) {
  p.Load(file);
  LightInfo li = p.ReadLightInfo();
  AudioLightInfo ai = p.ReadAudioLightInfo();
  auto lights = p.ReadLightList();
  auto keys = p.ReadKeyList();
  auto stages = p.ReadKeyboardSystemStages();
  uint8_t fn = p.ReadFnKeysetFlag();
  int32_t group = p.ReadCustomGroupIndex();
  auto colours = p.ReadCustomColours(group, kKeyboardLightCount);
  benchmark::DoNotOptimize(lights.data());
  li.speed = static_cast<uint8_t>((li.speed + 1) % 5);
  p.WriteLightInfo(li);
  p.WriteAudioLightInfo(ai);
  p.WriteKeyList(keys);
  p.WriteKeyboardSystemStages(stages);
  p.WriteFnKeysetFlag(fn);
  p.WriteCustomColours(colours, group);
  p.WriteCustomGroupIndex(group);
  if (!p.Save()) ::abort();
}

void BM_KeyboardProfileRoundTrip(benchmark::State& state) {
  Folder dir;
  const fs::path file = MakeProfile(dir.path);
  CKeyboardProfiledata p;
  p.SetFilePath(file);
  for (auto _ : state) RoundTrip(p, file);
}
BENCHMARK(BM_KeyboardProfileRoundTrip)->Unit(benchmark::kMicrosecond);

void ReadAll(CKeyboardProfiledata& p) {
  benchmark::DoNotOptimize(p.ReadKeyList().data());
  benchmark::DoNotOptimize(p.ReadLightList().data());
  benchmark::DoNotOptimize(p.ReadLightInfo());
  benchmark::DoNotOptimize(p.ReadAudioLightInfo());
  benchmark::DoNotOptimize(p.ReadKeyboardSystemStages());
  benchmark::DoNotOptimize(p.ReadCustomColours(p.ReadCustomGroupIndex(), kKeyboardLightCount).data());
}

// A profile object that has not seen the file yet: read and parse.
void BM_KeyboardProfileColdLoadAndRead(benchmark::State& state) {
  Folder dir;
  const fs::path file = MakeProfile(dir.path);
  for (auto _ : state) {
    CKeyboardProfiledata p;
    p.Load(file);
    ReadAll(p);
  }
}
BENCHMARK(BM_KeyboardProfileColdLoadAndRead)->Unit(benchmark::kMicrosecond);

// The page reloading a file it saved itself (the bytes are unchanged).
void BM_KeyboardProfileReloadAndRead(benchmark::State& state) {
  Folder dir;
  const fs::path file = MakeProfile(dir.path);
  CKeyboardProfiledata p;
  for (auto _ : state) {
    p.Load(file);
    ReadAll(p);
  }
}
BENCHMARK(BM_KeyboardProfileReloadAndRead)->Unit(benchmark::kMicrosecond);

void BM_KeyboardProfileSave(benchmark::State& state) {
  Folder dir;
  const fs::path file = MakeProfile(dir.path);
  CKeyboardProfiledata p;
  p.SetFilePath(file);
  p.Load(file);
  for (auto _ : state)
    if (!p.Save()) ::abort();
}
BENCHMARK(BM_KeyboardProfileSave)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
