// The profile list: ProfileList.ini and the profile files it names.
#include <gtest/gtest.h>
#include <json/json.h>

#include <set>

#include "profiles/profile_list.h"
#include "test_util.h"

namespace korvale {
namespace {

namespace fs = std::filesystem;
using test::Parse;
using test::Slurp;
using test::Spit;

fs::path DefaultOf(const char* folder) {
  return fs::path(KORVALE_SOURCE_DIR) / "data" / "DefaultData" / (std::string(folder) + ".Json");
}

class ProfileListTest : public test::TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    folder_ = Dir() / "keyboard";
    fs::create_directories(folder_);
    Use(1, "keyboard");
  }
  void Use(int kind, const char* folder) {
    list_.SetDeviceKind(kind);
    list_.SetFolders(folder_, DefaultOf(folder));
  }
  Json::Value ListDoc() const { return ReadJsonFile(folder_ / "ProfileList.ini"); }
  void WriteList(const std::string& text) { Spit(folder_ / "ProfileList.ini", text); }
  std::vector<std::string> Names() const {
    std::vector<std::string> n;
    for (const auto& e : list_.Entries()) n.push_back(e.name);
    return n;
  }
  // A list of the given names, each with its own profile file.
  void MakeList(const std::vector<std::string>& names, int select = 0) {
    Json::Value doc(Json::objectValue);
    for (std::size_t i = 0; i < names.size(); ++i) {
      const std::string uuid = "u" + std::to_string(i);
      Json::Value e;
      e["profilename"] = names[i];
      e["profileUUID"] = uuid;
      doc["profilelist"].append(e);
      Json::Value file = ReadJsonFile(DefaultOf("keyboard"));
      file["profilename"] = names[i];
      file["profileUUID"] = uuid;
      ASSERT_TRUE(TryWriteJsonFile(folder_ / (uuid + ".Json"), file));
    }
    doc["profileselect"] = select;
    ASSERT_TRUE(TryWriteJsonFile(folder_ / "ProfileList.ini", doc));
  }
  // Every entry's file exists and parses with its own UUID.
  void ExpectConsistent() {
    CProfileList fresh;
    fresh.SetFolders(folder_, DefaultOf("keyboard"));
    ASSERT_TRUE(fresh.Read());
    for (int i = 0; i < fresh.Count(); ++i) {
      const Json::Value d = ReadJsonFile(fresh.PathAt(i));
      EXPECT_TRUE(d.isObject()) << fresh.PathAt(i);
      EXPECT_EQ(JsonString(JsonMember(d, "profileUUID")), fresh.Entries()[static_cast<std::size_t>(i)].uuid);
    }
  }

  fs::path folder_;
  CProfileList list_;
};

TEST_F(ProfileListTest, AMissingEmptyOrBrokenListStartsOverWithProfile1FromTheDefault) {
  for (const char* text : {"", "{\"profilelist\": []}", "[1, 2]", "{\"profilelist\": 5}", "{ broken"}) {
    fs::remove_all(folder_);
    fs::create_directories(folder_);
    if (*text != '\0') WriteList(text);
    ASSERT_EQ(list_.Initialise(), ProfileStatus::kDone) << text;
    ASSERT_EQ(Names(), std::vector<std::string>{"Profile1"}) << text;
    EXPECT_EQ(list_.Selected(), 0);
    const Json::Value file = ReadJsonFile(list_.PathAt(0));
    Json::Value expected = ReadJsonFile(DefaultOf("keyboard"));
    expected["profilename"] = "Profile1";
    expected["profileUUID"] = list_.Entries()[0].uuid;
    EXPECT_EQ(file, expected) << text;
    EXPECT_EQ(JsonInt(JsonMember(ListDoc(), "profileselect")), 0);
  }
}

TEST_F(ProfileListTest, ASelectionOutsideTheListBecomesTheFirstProfileOnDisk) {
  for (int bad : {-1, 2, 1000}) {
    MakeList({"A", "B"}, bad);
    ASSERT_EQ(list_.Initialise(), ProfileStatus::kDone);
    EXPECT_EQ(list_.Selected(), 0) << bad;
    EXPECT_EQ(JsonInt(JsonMember(ListDoc(), "profileselect")), 0) << bad;
  }
}

TEST_F(ProfileListTest, AddTakesTheSmallestFreeNumberSelectsTheNewProfileAndStopsAtFifty) {
  MakeList({"Profile1", "profile3"});
  int index = -1;
  ASSERT_EQ(list_.Add(&index), ProfileStatus::kDone);
  EXPECT_EQ(Names(), (std::vector<std::string>{"Profile1", "profile3", "profile2"}));
  EXPECT_EQ(index, 2);
  EXPECT_EQ(list_.Selected(), 2);
  EXPECT_EQ(JsonInt(JsonMember(ListDoc(), "profileselect")), 2);
  ASSERT_EQ(list_.Add(), ProfileStatus::kDone);
  EXPECT_EQ(list_.Entries().back().name, "profile4");

  while (list_.Count() < CProfileList::kMaxAddedProfiles) ASSERT_EQ(list_.Add(), ProfileStatus::kDone);
  const std::string before = Slurp(folder_ / "ProfileList.ini");
  EXPECT_EQ(list_.Add(), ProfileStatus::kTooMany);
  EXPECT_EQ(Slurp(folder_ / "ProfileList.ini"), before);
  // Copy and import have no limit.
  EXPECT_EQ(list_.Copy(0), ProfileStatus::kDone);
  EXPECT_EQ(list_.Count(), 51);
  ExpectConsistent();

  // Profiles made in one burst never share a UUID (and so never a file).
  std::set<std::string> uuids;
  for (const auto& e : list_.Entries()) uuids.insert(e.uuid);
  EXPECT_EQ(uuids.size(), list_.Entries().size());
}

TEST_F(ProfileListTest, CopyCarriesTheContentUnderANameThatIsFree) {
  MakeList({"A", "a copy"});
  Json::Value a = ReadJsonFile(folder_ / "u0.Json");
  a["Device"][0]["LightInfo"]["Red"] = 77;
  ASSERT_TRUE(TryWriteJsonFile(folder_ / "u0.Json", a));
  int index = -1;
  ASSERT_EQ(list_.Copy(0, &index), ProfileStatus::kDone);
  EXPECT_EQ(list_.Entries()[2].name, "A copy copy");
  EXPECT_EQ(list_.Selected(), 0);  // a copy does not change the selection
  const Json::Value copy = ReadJsonFile(list_.PathAt(index));
  EXPECT_EQ(copy["Device"][0]["LightInfo"]["Red"].asInt(), 77);
  EXPECT_EQ(copy["profilename"].asString(), "A copy copy");
  EXPECT_EQ(copy["profileUUID"].asString(), list_.Entries()[2].uuid);
  EXPECT_EQ(list_.Copy(5), ProfileStatus::kNoSuchProfile);
}

TEST_F(ProfileListTest, RenameRefusesBlankAndTakenNamesAndTheFileFollowsTheList) {
  MakeList({"Game", "Work"});
  EXPECT_EQ(list_.Rename(0, "GAME"), ProfileStatus::kDone);
  EXPECT_EQ(list_.Rename(0, "  "), ProfileStatus::kBlankName);
  EXPECT_EQ(list_.Rename(0, "work"), ProfileStatus::kDuplicateName);
  EXPECT_EQ(list_.Rename(7, "x"), ProfileStatus::kNoSuchProfile);
  EXPECT_EQ(Names(), (std::vector<std::string>{"GAME", "Work"}));
  EXPECT_EQ(ReadJsonFile(folder_ / "u0.Json")["profilename"].asString(), "GAME");
  EXPECT_EQ(ListDoc()["profilelist"][0]["profilename"].asString(), "GAME");
}

TEST_F(ProfileListTest, DeleteMovesTheSelectionBackAndRemovesTheFileOnlyAfterTheList) {
  MakeList({"A", "B", "C"}, 0);
  ASSERT_EQ(list_.Delete(0), ProfileStatus::kDone);
  EXPECT_EQ(Names(), (std::vector<std::string>{"B", "C"}));
  EXPECT_EQ(list_.Selected(), 0);
  EXPECT_FALSE(fs::exists(folder_ / "u0.Json"));
  ASSERT_EQ(list_.Select(1), ProfileStatus::kDone);
  ASSERT_EQ(list_.Delete(1), ProfileStatus::kDone);
  EXPECT_EQ(list_.Selected(), 0);
  EXPECT_EQ(list_.Delete(0), ProfileStatus::kLastProfile);
  EXPECT_TRUE(fs::exists(folder_ / "u1.Json"));
  ExpectConsistent();

  // Two entries of an old list share one file: deleting one keeps it.
  WriteList(R"({"profilelist": [{"profilename": "X", "profileUUID": "u1"},
                                {"profilename": "Y", "profileUUID": "u1"}], "profileselect": 1})");
  ASSERT_EQ(list_.Delete(1), ProfileStatus::kDone);
  EXPECT_TRUE(fs::exists(folder_ / "u1.Json"));
}

TEST_F(ProfileListTest, AUuidThatIsNoPlainFileNameNeverBecomesAPath) {
  fs::create_directories(Dir() / "outside");
  Spit(Dir() / "outside" / "victim.Json", "{\"keep\": 1}\n");
  Spit(Dir() / "victim.Json", "{\"keep\": 1}\n");
  MakeList({"A"});
  WriteList(R"({"profilelist": [{"profilename": "A", "profileUUID": "u0"},
                                {"profilename": "Up", "profileUUID": "../victim"},
                                {"profilename": "Abs", "profileUUID": ")" +
            (Dir() / "outside" / "victim").string() + R"("}], "profileselect": 0})");
  ASSERT_EQ(list_.Initialise(), ProfileStatus::kDone);
  EXPECT_TRUE(list_.PathAt(1).empty());
  EXPECT_TRUE(list_.PathAt(2).empty());
  EXPECT_EQ(list_.Reset(1), ProfileStatus::kBadUuid);
  EXPECT_EQ(list_.Copy(2), ProfileStatus::kBadUuid);
  EXPECT_EQ(list_.Export(1, Dir() / "out.json"), ProfileStatus::kBadUuid);
  EXPECT_EQ(list_.Rename(1, "Up2"), ProfileStatus::kDone);  // the list entry only
  ASSERT_EQ(list_.Delete(2), ProfileStatus::kDone);
  ASSERT_EQ(list_.Delete(1), ProfileStatus::kDone);
  EXPECT_EQ(Slurp(Dir() / "victim.Json"), "{\"keep\": 1}\n");
  EXPECT_EQ(Slurp(Dir() / "outside" / "victim.Json"), "{\"keep\": 1}\n");
  EXPECT_EQ(Names(), std::vector<std::string>{"A"});
}

TEST_F(ProfileListTest, ImportTakesOnlyAProfileOfThisDeviceAndNormalisesIt) {
  MakeList({"Fps", "Fps(1)"});
  const std::string listBefore = Slurp(folder_ / "ProfileList.ini");
  struct Refused {
    const char* file;
    std::string text;
    ProfileStatus status;
  };
  const Json::Value mouse = ReadJsonFile(DefaultOf("mouse"));
  Json::Value shortKeys = ReadJsonFile(DefaultOf("keyboard"));
  shortKeys["Device"][0]["KeyList"].resize(10);
  const Refused refused[] = {
      {"array.json", "[{\"profilename\": \"x\", \"profileUUID\": \"y\", \"Device\": [{}]}]", ProfileStatus::kNotAProfile},
      {"text.json", "not json", ProfileStatus::kNotAProfile},
      {"nodevice.json", "{\"profilename\": \"x\", \"profileUUID\": \"y\"}", ProfileStatus::kNotAProfile},
      {"mouse.json", StyledJsonText(mouse), ProfileStatus::kWrongDevice},
      {"short.json", StyledJsonText(shortKeys), ProfileStatus::kWrongDevice},
  };
  for (const auto& r : refused) {
    Spit(Dir() / r.file, r.text);
    EXPECT_EQ(list_.Import(Dir() / r.file), r.status) << r.file;
  }
  EXPECT_EQ(Slurp(folder_ / "ProfileList.ini"), listBefore);
  EXPECT_EQ(std::distance(fs::directory_iterator(folder_), fs::directory_iterator()), 3);

  // A keyboard profile with values out of range, of the wrong type and extra.
  Json::Value kb = ReadJsonFile(DefaultOf("keyboard"));
  kb["profilename"] = "ignored";
  kb["profileUUID"] = "../../escape";
  kb["Device"][0]["LightInfo"]["Red"] = 300;
  kb["Device"][0]["LightInfo"]["Speed"] = "fast";
  kb["Device"][0]["LightInfo"]["Extra"] = 1;
  kb["Device"][0]["KeyList"][3]["Assignment"] = 0x7F200106;
  kb["Device"][0]["KeyList"][3]["DefaultAssignment"] = 0x123;
  kb["Device"][0]["LightList"][0]["red"] = 9;
  kb["Unknown"] = true;
  Spit(Dir() / "Fps.json", StyledJsonText(kb));
  int index = -1;
  ASSERT_EQ(list_.Import(Dir() / "Fps.json", &index), ProfileStatus::kDone);
  EXPECT_EQ(list_.Entries()[2].name, "Fps(1)(2)");
  EXPECT_EQ(list_.Selected(), 0);
  const Json::Value got = ReadJsonFile(list_.PathAt(index));
  const Json::Value def = ReadJsonFile(DefaultOf("keyboard"));
  const Json::Value& light = got["Device"][0]["LightInfo"];
  EXPECT_EQ(light["Red"].asInt(), 44);
  EXPECT_EQ(light["Speed"], def["Device"][0]["LightInfo"]["Speed"]);
  EXPECT_FALSE(light.isMember("Extra"));
  EXPECT_EQ(got["Device"][0]["KeyList"][3]["Assignment"].asInt(), 0x200106);
  EXPECT_EQ(got["Device"][0]["KeyList"][3]["DefaultAssignment"], def["Device"][0]["KeyList"][3]["DefaultAssignment"]);
  EXPECT_EQ(got["Device"][0]["LightList"], def["Device"][0]["LightList"]);
  EXPECT_FALSE(got.isMember("Unknown"));
  EXPECT_EQ(got["profileUUID"].asString(), list_.Entries()[2].uuid);
  EXPECT_EQ(got["profilename"].asString(), "Fps(1)(2)");
  ExpectConsistent();
}

TEST_F(ProfileListTest, AnExportedProfileImportsAsTheSameSettings) {
  MakeList({"A"});
  Json::Value a = ReadJsonFile(folder_ / "u0.Json");
  a["Device"][0]["LightInfo"]["Green"] = 12;
  ASSERT_TRUE(TryWriteJsonFile(folder_ / "u0.Json", a));
  ASSERT_EQ(list_.Export(0, Dir() / "A.json"), ProfileStatus::kDone);
  EXPECT_EQ(ReadJsonFile(Dir() / "A.json"), a);
  int index = -1;
  ASSERT_EQ(list_.Import(Dir() / "A.json", &index), ProfileStatus::kDone);
  EXPECT_EQ(list_.Entries()[1].name, "A(1)");
  EXPECT_EQ(ReadJsonFile(list_.PathAt(index))["Device"], a["Device"]);
  fs::remove(folder_ / "u0.Json");
  EXPECT_EQ(list_.Export(0, Dir() / "B.json"), ProfileStatus::kMissingFile);
}

TEST_F(ProfileListTest, AHeadsetResetKeepsItsCustomEqualisersAndRestoresTheRest) {
  Use(7, "HD");
  ASSERT_EQ(list_.Initialise(), ProfileStatus::kDone);
  Json::Value d = ReadJsonFile(list_.PathAt(0));
  d["Device"][0]["CustomEQNameInfo"].append("Mine");
  d["Device"][0]["CustomEQHzValueInfo"].append(Parse("[1,2,3,4,5,6,7,8,9,10]"));
  d["Device"][0]["LightInfo"]["Red"] = 1;
  ASSERT_TRUE(TryWriteJsonFile(list_.PathAt(0), d));
  ASSERT_EQ(list_.Reset(0), ProfileStatus::kDone);
  const Json::Value after = ReadJsonFile(list_.PathAt(0));
  const Json::Value def = ReadJsonFile(DefaultOf("HD"));
  EXPECT_EQ(after["Device"][0]["CustomEQNameInfo"], d["Device"][0]["CustomEQNameInfo"]);
  EXPECT_EQ(after["Device"][0]["CustomEQHzValueInfo"], d["Device"][0]["CustomEQHzValueInfo"]);
  EXPECT_EQ(after["Device"][0]["LightInfo"], def["Device"][0]["LightInfo"]);
  EXPECT_EQ(after["profilename"].asString(), "Profile1");

  list_.SetDeviceKind(3);  // any other kind: the default wholly
  ASSERT_EQ(list_.Reset(0), ProfileStatus::kDone);
  EXPECT_EQ(ReadJsonFile(list_.PathAt(0))["Device"][0]["CustomEQNameInfo"], def["Device"][0]["CustomEQNameInfo"]);
}

TEST_F(ProfileListTest, FindTakesAnIndexFromZeroOrANameInAnyCase) {
  MakeList({"Game", "12"});
  ASSERT_TRUE(list_.Read());
  EXPECT_EQ(list_.Find("1"), 1);
  EXPECT_EQ(list_.Find("gAME"), 0);
  EXPECT_EQ(list_.Find("2"), -1);
  EXPECT_EQ(list_.Find("nope"), -1);
}

}  // namespace
}  // namespace korvale
