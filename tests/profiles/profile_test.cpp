#include "profiles/basic_profiledata.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <future>

#include "profiles/device_profiledata.h"
#include "test_util.h"

namespace korvale {
namespace {
using test::Fixture;
using test::Slurp;
using test::Spit;
namespace fs = std::filesystem;

class ProfileTest : public test::TempHome {
 protected:
  fs::path UserFile() const { return Dir() / "p.Json"; }
};

TEST_F(ProfileTest, FirstLoadCopiesDefaultEntryIntoNewFile) {
  CBasicProfiledata p;
  p.SetDefaultPath(Fixture("default_small.Json"));
  Json::Value doc = p.Load(UserFile());
  const Json::Value def = ReadJsonFile(Fixture("default_small.Json"));
  EXPECT_EQ(doc, def["Device"][0]);
  const Json::Value file = ReadJsonFile(UserFile());
  EXPECT_EQ(file.getMemberNames(), std::vector<std::string>{"Device"});
  EXPECT_EQ(file["Device"][0], def["Device"][0]);
}

TEST_F(ProfileTest, EmptyDeviceArrayIsFilledAndNamesKept) {
  fs::copy_file(Fixture("names_only.Json"), UserFile());
  CBasicProfiledata p;
  p.SetDefaultPath(Fixture("default_small.Json"));
  p.Load(UserFile());
  const Json::Value file = ReadJsonFile(UserFile());
  EXPECT_EQ(file["profilename"].asString(), "Profile1");
  EXPECT_EQ(file["profileUUID"].asString(), "2024_03_07_18_05_09_042");
  EXPECT_EQ(file["Device"].size(), 1u);
  EXPECT_EQ(p.ReadLightInfo().selectItem, 1);
}

TEST_F(ProfileTest, BrokenUserFileIsRebuiltButNotWithoutDefault) {
  fs::copy_file(Fixture("truncated.Json"), UserFile());
  {
    // No default either: nothing to fill in, so the user's file stays as it was.
    CBasicProfiledata p;
    p.SetDefaultPath(Dir() / "no-default.Json");
    EXPECT_TRUE(p.Load(UserFile()).isNull());
    EXPECT_EQ(Slurp(UserFile()), Slurp(Fixture("truncated.Json")));
    EXPECT_EQ(p.ReadLightInfo(), LightInfo{});
    EXPECT_TRUE(p.ReadKeyList().empty());
    EXPECT_TRUE(p.ReadLightList().empty());
  }
  CBasicProfiledata p;
  p.SetDefaultPath(Fixture("default_small.Json"));
  p.Load(UserFile());
  EXPECT_EQ(ReadJsonFile(UserFile())["Device"][0], ReadJsonFile(Fixture("default_small.Json"))["Device"][0]);
}

// A profile of the wrong shape, or a FIFO in its place (which used to block
// the window and korvalectl for ever), reads as missing and is rebuilt.
TEST_F(ProfileTest, WrongRootOrAFifoIsRebuiltFromTheDefaultWithoutBlocking) {
  const Json::Value def = ReadJsonFile(Fixture("default_small.Json"));
  for (const char* content : {"[1,2]", "\"text\"", "fifo"}) {
    SCOPED_TRACE(content);
    fs::remove(UserFile());
    if (std::string_view(content) == "fifo") {
      ASSERT_EQ(::mkfifo(UserFile().c_str(), 0600), 0);
    } else {
      Spit(UserFile(), content);
    }
    CBasicProfiledata p;
    p.SetDefaultPath(Fixture("default_small.Json"));
    auto load = std::async(std::launch::async, [&] { return p.Load(UserFile()); });
    if (load.wait_for(std::chrono::seconds(5)) != std::future_status::ready) {
      const int w = ::open(UserFile().c_str(), O_WRONLY | O_NONBLOCK);  // let the reader go
      if (w >= 0) ::close(w);
      FAIL() << "loading blocked";
    }
    EXPECT_EQ(load.get(), def["Device"][0]);
    EXPECT_EQ(ReadJsonFile(UserFile())["Device"][0], def["Device"][0]);
  }
}

TEST_F(ProfileTest, LightInfoTruncatesAndRoundTrips) {
  CBasicProfiledata p;
  p.SetDefaultPath(Fixture("default_small.Json"));
  p.SetFilePath(UserFile());
  p.Load(UserFile());
  LightInfo li = p.ReadLightInfo();
  EXPECT_EQ(li.multiColor, 1);  // 2 reads as a set flag
  EXPECT_EQ(li.red, 44);        // 300 keeps its low byte
  EXPECT_EQ(li.blue, 255);

  LightInfo w;
  w.selectItem = 20;
  w.light = 3;
  w.speed = 1;
  w.fx = 1;
  w.multiColor = 1;
  w.red = 1;
  w.green = 2;
  w.blue = 3;
  w.reserved[0] = w.reserved[1] = w.reserved[2] = 9;  // never stored
  w.zzccLedMode = 4;
  w.customGroup = 5;
  w.oldLedmode = 6;
  w.voiceLedmodeSwitch = 7;
  w.voiceLedmode = 8;
  w.voiceSensitivity = 200;
  p.WriteLightInfo(w.ToWords());
  EXPECT_EQ(p.GetLightInfo(), w);
  ASSERT_TRUE(p.Save());

  CBasicProfiledata q;
  q.Load(UserFile());
  LightInfo back = q.ReadLightInfo();
  LightInfo expect = w;
  expect.reserved[0] = expect.reserved[1] = expect.reserved[2] = 0;
  EXPECT_EQ(back, expect);
  EXPECT_EQ(ReadJsonFile(UserFile())["Device"][0]["LightInfo"].size(), 14u);
}

TEST(LightInfoWords, PackLittleEndian) {
  LightInfo li;
  li.selectItem = 0x11;
  li.light = 0x22;
  li.speed = 0x33;
  li.fx = 0x44;
  li.voiceSensitivity = 0x99;
  auto w = li.ToWords();
  EXPECT_EQ(w[0], 0x44332211u);
  EXPECT_EQ(w[4], 0x99u);
  EXPECT_EQ(LightInfo::FromWords(w), li);
  AudioLightInfo a;
  a.audioMode = 1;
  a.bkBlue = 4;
  a.sevenColor = 1;
  a.colorType = 1;
  auto aw = a.ToWords();
  EXPECT_EQ(aw[0], 0x04000001u);
  EXPECT_EQ(aw[1], 0x01000000u);
  EXPECT_EQ(aw[2], 1u);
}

TEST_F(ProfileTest, WrongTypesReadAsZeroWithoutThrowing) {
  CKeyboardProfiledata p;
  p.Load(Fixture("wrong_types.Json"));
  ASSERT_TRUE(p.Document().isObject());
  EXPECT_EQ(p.ReadLightInfo(), LightInfo{[] {
              LightInfo li;
              li.speed = 0xFF;  // -1 is a valid integer: its low byte
              li.fx = 1;        // a real truncates
              return li;
            }()});
  EXPECT_EQ(p.ReadAudioLightInfo(), AudioLightInfo{});
  EXPECT_TRUE(p.ReadLightList().empty());
  auto keys = p.ReadKeyList();
  ASSERT_EQ(keys.size(), 4u);
  EXPECT_EQ(keys[2].normal.code, AssignmentCode{});  // a string is no number
  EXPECT_EQ(keys[2].fn.code, (AssignmentCode{0x20, 0x01, 0x06}));
  EXPECT_EQ(keys[3].normal.keyIndex, 3);
  EXPECT_EQ(p.ReadKeyboardSystemStages(), KeyboardSystemStages{});
  EXPECT_EQ(p.ReadFnKeysetFlag(), 0);
  EXPECT_EQ(p.ReadCustomGroupIndex(), 0);
  EXPECT_EQ(p.ReadCustomColours(0, 2).size(), 2u);

  CMouseProfiledata m;
  m.Load(Fixture("wrong_types.Json"));
  EXPECT_TRUE(m.ReadDpiStages().empty());
  EXPECT_EQ(m.GetActiveDpiStage(), 0);
  auto corr = m.ReadCorrectEntries();
  ASSERT_EQ(corr.size(), 1u);
  EXPECT_EQ(corr[0].pixThresh, 300 & 0xFF);
  EXPECT_EQ(corr[0].name, "");

  CHs6533Profiledata h;
  h.Load(Fixture("wrong_types.Json"));
  EXPECT_EQ(h.ReadHeadsetSystemSetStages(), HeadsetSystemSetStages{});
  EXPECT_EQ(h.ReadEqBands(2), std::vector<int32_t>(10, 0));
  EXPECT_EQ(h.ReadCustomEqNames(), (std::vector<std::string>{"", "", ""}));
}

TEST_F(ProfileTest, LightListNullElementsAreInvalid) {
  CBasicProfiledata p;
  p.Load(Fixture("null_elements.Json"));
  EXPECT_EQ(p.ReadLightInfo(), LightInfo{});
  auto list = p.ReadLightList();
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[0], LightListEntry{});
  EXPECT_EQ(list[1].valid, 1);
  EXPECT_EQ(list[1].mode, 2);
  EXPECT_EQ(list[1].direction, 1);
  EXPECT_EQ(list[1].multiColor, 1);
  EXPECT_EQ(list[1].red, 2);
  EXPECT_EQ(list[2].valid, 0);
  EXPECT_EQ(list[3].valid, 1);  // present, though not an object
  EXPECT_EQ(list[3].mode, 0);
}

TEST_F(ProfileTest, KeyListCodesAndPartialWrites) {
  fs::copy_file(Fixture("default_small.Json"), UserFile());
  CBasicProfiledata p;
  p.SetFilePath(UserFile());
  p.Load(UserFile());
  auto keys = p.ReadKeyList();
  ASSERT_EQ(keys.size(), 3u);
  EXPECT_EQ(keys[0].normal.code, (AssignmentCode{0x20, 0x01, 0x06}));
  EXPECT_EQ(keys[0].defaultKey.code, (AssignmentCode{0x20, 0x00, 0x29}));
  EXPECT_EQ(keys[1].normal.code, (AssignmentCode{0x70, 0x00, 0x00}));
  EXPECT_EQ(keys[2].fn.keyIndex, 2);

  std::vector<KeyRecord> two(keys.begin(), keys.begin() + 2);
  two[0].normal.code = {0x30, 0xE2, 0x00};
  two[1].fn.code = {0x20, 0x00, 0x04};
  two[1].defaultKey.code = {0x99, 0x99, 0x99};  // the default is never written
  p.WriteKeyList(two);
  ASSERT_TRUE(p.Save());
  const Json::Value kl = ReadJsonFile(UserFile())["Device"][0]["KeyList"];
  ASSERT_EQ(kl.size(), 3u);
  EXPECT_EQ(kl[0]["Assignment"].asUInt(), 0x30E200u);
  EXPECT_EQ(kl[1]["FnAssignment"].asUInt(), 0x200004u);
  EXPECT_EQ(kl[1]["DefaultAssignment"].asUInt(), 0x20003Au);
  EXPECT_EQ(kl[2], ReadJsonFile(Fixture("default_small.Json"))["Device"][0]["KeyList"][2]);

  // A write past the end creates elements without a default.
  std::vector<KeyRecord> five(5);
  p.WriteKeyList(five);
  EXPECT_FALSE(p.Document()["KeyList"][4].isMember("DefaultAssignment"));
}

TEST_F(ProfileTest, SecondaryDocumentIsIndependent) {
  fs::copy_file(Fixture("default_small.Json"), UserFile());
  fs::copy_file(Fixture("default_small.Json"), Dir() / "other.Json");
  CBasicProfiledata p;
  p.SetFilePath(UserFile());
  p.Load(UserFile());
  p.LoadSecondary(Dir() / "other.Json");
  auto keys = p.ReadSecondaryKeyList();
  ASSERT_EQ(keys.size(), 3u);
  keys[0].normal.code = {0x20, 0x00, 0x05};
  p.WriteSecondaryKeyList(keys);
  ASSERT_TRUE(p.SaveSecondary(Dir() / "other.Json"));
  EXPECT_EQ(ReadJsonFile(Dir() / "other.Json")["Device"][0]["KeyList"][0]["Assignment"].asUInt(), 0x200005u);
  EXPECT_EQ(p.ReadKeyList()[0].normal.code, (AssignmentCode{0x20, 0x01, 0x06}));
  EXPECT_EQ(Slurp(UserFile()), Slurp(Fixture("default_small.Json")));
}

TEST_F(ProfileTest, StoreKeepsOtherMembersAndElements) {
  Spit(UserFile(), R"({"profilename":"A","profileUUID":"u","Device":[{"x":1},{"keep":2}],"extra":[1]})");
  CBasicProfiledata p;
  p.SetFilePath(UserFile());
  p.Load(UserFile());
  p.WriteLightInfo(LightInfo{});
  ASSERT_TRUE(p.Save());
  Json::Value f = ReadJsonFile(UserFile());
  EXPECT_EQ(f["profilename"].asString(), "A");
  EXPECT_EQ(f["extra"][0].asInt(), 1);
  EXPECT_EQ(f["Device"][1]["keep"].asInt(), 2);
  EXPECT_EQ(f["Device"][0]["x"].asInt(), 1);
  EXPECT_TRUE(f["Device"][0].isMember("LightInfo"));

  // A change made by someone else between two saves is kept, not overwritten
  // with what this object saw before.
  Json::Value renamed = ReadJsonFile(UserFile());
  renamed["profilename"] = "B";
  ASSERT_TRUE(TryWriteJsonFile(UserFile(), renamed));
  ASSERT_TRUE(p.Save());
  EXPECT_EQ(ReadJsonFile(UserFile())["profilename"].asString(), "B");
  Json::Value other = ReadJsonFile(UserFile());
  other["Device"][0]["LightInfo"]["Red"] = 99;
  ASSERT_TRUE(TryWriteJsonFile(UserFile(), other));
  EXPECT_EQ(p.Load(UserFile())["LightInfo"]["Red"].asInt(), 99);

  // Save without a path or with an absurd device index writes nothing.
  CBasicProfiledata none;
  EXPECT_FALSE(none.Save());
  p.SetDeviceIndex(1 << 30);
  EXPECT_FALSE(p.Save());
  EXPECT_TRUE(p.Load(UserFile()).isNull());
}

// A load moves the file's element out of the cached file instead of copying
// it: every later load, save and store must still see what the file holds.
TEST_F(ProfileTest, LoadsGiveTheFileWhateverWasWrittenOrSavedBetween) {
  fs::copy_file(Fixture("default_small.Json"), UserFile());
  const Json::Value original = ReadJsonFile(UserFile())["Device"][0];
  CKeyboardProfiledata p;
  p.SetFilePath(UserFile());
  p.Load(UserFile());
  // Unsaved edits are dropped by loading the unchanged file.
  LightInfo li = p.ReadLightInfo();
  li.red = 7;
  p.WriteLightInfo(li);
  EXPECT_EQ(p.Load(UserFile()), original);
  // A save is what the next loads give, with or without edits in between.
  li.red = 9;
  p.WriteLightInfo(li);
  ASSERT_TRUE(p.Save());
  const Json::Value saved = p.Document();
  EXPECT_NE(saved, original);
  EXPECT_EQ(ReadJsonFile(UserFile())["Device"][0], saved);
  EXPECT_EQ(p.Load(UserFile()), saved);
  p.WriteFnKeysetFlag(1);
  EXPECT_EQ(p.Load(UserFile()), saved);
  ASSERT_TRUE(p.Save());
  EXPECT_EQ(ReadJsonFile(UserFile())["Device"][0], saved);

  // The secondary document of the same file: edits to it do not reach a save
  // of the document, and its next load gives the file.
  EXPECT_EQ(p.LoadSecondary(UserFile()), saved);
  std::vector<KeyRecord> keys = p.ReadSecondaryKeyList();
  ASSERT_FALSE(keys.empty());
  keys[0].normal.code = {0x20, 0x00, 0x09};
  p.WriteSecondaryKeyList(keys);
  ASSERT_TRUE(p.Save());
  EXPECT_EQ(ReadJsonFile(UserFile())["Device"][0], saved);
  EXPECT_EQ(p.LoadSecondary(UserFile()), saved);
  EXPECT_EQ(p.Load(UserFile()), saved);

  // Saved under another device index, the element loaded stays where it was.
  p.SetDeviceIndex(2);
  ASSERT_TRUE(p.Save());
  Json::Value file = ReadJsonFile(UserFile());
  EXPECT_EQ(file["Device"][0], saved);
  EXPECT_TRUE(file["Device"][1].isNull());
  EXPECT_EQ(file["Device"][2], saved);
  p.SetDeviceIndex(0);

  // A copy of the object saves on its own; the original then loads its save.
  p.Load(UserFile());
  CKeyboardProfiledata q = p;
  q.WriteFnKeysetFlag(1);
  ASSERT_TRUE(q.Save());
  EXPECT_TRUE(ReadJsonFile(UserFile())["Device"][0]["FnKeysetFlag"].asBool());
  EXPECT_EQ(p.Load(UserFile()), q.Document());
  EXPECT_EQ(ReadJsonFile(UserFile())["Device"][2], saved);

  // Another document stored into the element replaces it for the next load.
  Json::Value other = original;
  other["x"] = 1;
  ASSERT_TRUE(p.StoreDocument(other, UserFile()));
  EXPECT_EQ(p.Load(UserFile()), other);
  EXPECT_EQ(ReadJsonFile(UserFile())["Device"][2], saved);
}

TEST_F(ProfileTest, EffectFilesAreReadOnlyBesideTheLightingList) {
  CBasicProfiledata p;
  p.LoadLightConfig(Fixture("light/velmo_light.config"));
  LightInfo li;
  p.WriteLightInfo(li);
  auto steps = p.ReadLedEffects();
  ASSERT_EQ(steps.size(), 3u);
  EXPECT_EQ(steps[0].mode, 1);
  EXPECT_EQ(steps[0].red, 255);
  EXPECT_EQ(steps[0].green, 128);
  EXPECT_EQ(steps[0].time, 500);
  EXPECT_EQ(steps[0].cycle, 3);
  EXPECT_EQ(steps[1].red, 0xFF);
  EXPECT_EQ(steps[1].time, -1);
  EXPECT_EQ(steps[2], LedEffectStep{});

  // Names that would leave the folder (files exist at those places) and names
  // that are no text read as missing, and so does an index past the list.
  for (uint8_t item : {1, 2, 3, 4, 5, 200}) {
    SCOPED_TRACE(item);
    li.selectItem = item;
    p.WriteLightInfo(li);
    EXPECT_TRUE(p.ReadLedEffects().empty());
  }
  EXPECT_TRUE(TraceSink::Instance().Contains("effect name refused: ../escape"));
  EXPECT_TRUE(TraceSink::Instance().Contains("effect name refused: sub/effect"));

  CBasicProfiledata noConfig;
  EXPECT_TRUE(noConfig.ReadLedEffects().empty());
}

TEST_F(ProfileTest, DefaultKeyboardProfileRoundTripsAndSavesAreStable) {
  CKeyboardProfiledata p;
  p.SetDefaultPath(fs::path(KORVALE_BIN_DIR) / ".." / "share" / "korvale" / "DefaultData" / "keyboard.Json");
  p.SetFilePath(UserFile());
  p.Load(UserFile());
  auto li = p.ReadLightInfo();
  auto audio = p.ReadAudioLightInfo();
  auto keys = p.ReadKeyList();
  auto stages = p.ReadKeyboardSystemStages();
  ASSERT_EQ(keys.size(), 170u);
  p.WriteLightInfo(li);
  p.WriteAudioLightInfo(audio);
  p.WriteKeyList(keys);
  p.WriteKeyboardSystemStages(stages);
  ASSERT_TRUE(p.Save());
  const std::string first = Slurp(UserFile());
  ASSERT_TRUE(p.Save());
  EXPECT_EQ(Slurp(UserFile()), first);

  CKeyboardProfiledata q;
  q.Load(UserFile());
  EXPECT_EQ(q.ReadLightInfo(), li);
  EXPECT_EQ(q.ReadAudioLightInfo(), audio);
  EXPECT_EQ(q.ReadKeyList(), keys);
  EXPECT_EQ(q.ReadKeyboardSystemStages(), stages);
  EXPECT_EQ(q.ReadLightList().size(), 170u);
}

}  // namespace
}  // namespace korvale
