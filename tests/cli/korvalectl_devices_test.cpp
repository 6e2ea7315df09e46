// korvalectl's device commands against korvale-emu over the virtual bus: what
// each command writes to the emulated keyboard and to the profile file, and
// every error path's exit status and message.
#include <gtest/gtest.h>

#include <algorithm>
#include <json/json.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>

#include <filesystem>
#include <functional>
#include <map>
#include <fstream>
#include <sstream>

#include "cli/korvalectl.h"
#include "hid/hid_device.h"
#include "protocol/commands.h"
#include "tests/support/emu_process.h"
#include "tests/support/journal.h"

namespace korvale {
namespace {

namespace fs = std::filesystem;
using testing::EmuProcess;

struct CtlRun {
  int status = -1;
  std::string out, err;
};

Json::Value Parse(const std::string& text) {
  Json::Value v;
  Json::CharReaderBuilder b;
  std::string errors;
  std::istringstream in(text);
  EXPECT_TRUE(Json::parseFromStream(b, in, &v, &errors)) << errors << "\n" << text;
  return v;
}

// The bytes the last write of the configuration area put at each offset.
std::vector<uint8_t> LastConfigWrite(const std::vector<std::string>& journal) {
  std::vector<uint8_t> bytes;
  for (const std::string& l : journal) {
    std::istringstream in(l);
    std::string w, hex;
    int cmd = 0, len = 0, off = 0;
    in >> w >> std::hex >> cmd >> w >> std::dec >> len >> w >> off >> w >> hex;
    if (cmd != proto::kWriteConfig) continue;
    if (off == 0) bytes.clear();
    if (bytes.size() < static_cast<std::size_t>(off + len)) bytes.resize(static_cast<std::size_t>(off + len));
    for (int i = 0; i < len && static_cast<std::size_t>(2 * i + 1) < hex.size(); ++i)
      bytes[static_cast<std::size_t>(off + i)] = static_cast<uint8_t>(std::stoi(hex.substr(2 * i, 2), nullptr, 16));
  }
  return bytes;
}

class KorvalectlDevices : public ::testing::Test {
 protected:
  void SetUp() override { Start({"keyboard", "mouse"}); }

  void Start(const std::vector<std::string>& devices) {
    std::string tmpl = (fs::temp_directory_path() / "korvale-cli-XXXXXX").string();
    ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
    dir_ = tmpl;
    ::setenv("KORVALE_VHID_DIR", (dir_ / "bus").c_str(), 1);
    ::setenv("XDG_DATA_HOME", (dir_ / "data").c_str(), 1);
    CHidDevice::SetHidrawEnabled(false);
    std::vector<std::string> args = {"--dir", (dir_ / "bus").string()};
    args.insert(args.end(), devices.begin(), devices.end());
    ASSERT_TRUE(emu_.Start(args));
    for (std::size_t i = 0; i < devices.size(); ++i) ASSERT_FALSE(emu_.Line().empty());
  }

  void TearDown() override {
    emu_.Kill();
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  CtlRun Ctl(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    CtlRun r;
    r.status = cli::RunKorvalectl(args, out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
  }

  Json::Value ProfileDevice(const std::string& file) {
    std::ifstream in(file);
    std::stringstream s;
    s << in.rdbuf();
    return Parse(s.str())["Device"][0];
  }

  // The answer of a --json run.
  static Json::Value Data(const CtlRun& r) { return Parse(r.out)["data"]; }

  // Every file under the data folder with its content, and every folder
  // (ending in "/"): a command that only reads leaves both as they were.
  std::map<std::string, std::string> DataFiles() {
    std::map<std::string, std::string> files;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(dir_ / "data", ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
      if (it->is_directory()) files[it->path().string() + "/"] = "";
      if (!it->is_regular_file()) continue;
      std::ifstream in(it->path(), std::ios::binary);
      std::stringstream s;
      s << in.rdbuf();
      files[it->path().string()] = s.str();
    }
    return files;
  }

  fs::path dir_;
  EmuProcess emu_;
};

TEST_F(KorvalectlDevices, ListShowsBoundDevicesWithTheirInterfaces) {
  const CtlRun r = Ctl({"--json", "list"});
  ASSERT_EQ(r.status, 0) << r.err;
  const Json::Value doc = Data(r);
  ASSERT_EQ(doc["devices"].size(), 2u) << r.out;
  std::map<std::string, Json::Value> byKey;
  for (const auto& d : doc["devices"]) byKey[d["device"]["product"].asString()] = d;
  ASSERT_TRUE(byKey.count("keyboard") && byKey.count("mouse")) << r.out;
  const Json::Value& kb = byKey["keyboard"];
  EXPECT_EQ(kb["device"]["kind"], "Keyboard");
  EXPECT_EQ(kb["device"]["connection"], "cable");
  ASSERT_EQ(kb["interfaces"].size(), 2u);  // command and consumer collections
  EXPECT_NE(kb["primary"].asString().find("keyboard.sock#vid_320f&pid_5064&mi_01&col04"), std::string::npos);
  // The emulated mouse is plugged in through its receiver.
  EXPECT_EQ(byKey["mouse"]["device"]["connection"], "receiver");
  EXPECT_EQ(byKey["mouse"]["device"]["kind"], "Mouse");

  // Unplugged, the keyboard leaves the list.
  ASSERT_EQ(emu_.Command("unplug keyboard").rfind("ok", 0), 0u);
  const Json::Value after = Data(Ctl({"list", "--json"}));
  ASSERT_EQ(after["devices"].size(), 1u);
  EXPECT_EQ(after["devices"][0]["device"]["name"], "mouse");
  const CtlRun table = Ctl({"list"});
  EXPECT_EQ(table.out.rfind("mouse  Mouse  receiver\n", 0), 0u) << table.out;
}

class KorvalectlTwoConnections : public KorvalectlDevices {
 protected:
  void SetUp() override { Start({"mouse-receiver", "mouse-cable"}); }
};

// Cable and receiver of one mouse are one device; the cable is the one in use.
TEST_F(KorvalectlTwoConnections, CableAndReceiverAreOneDevice) {
  const Json::Value doc = Data(Ctl({"--json", "list"}));
  ASSERT_EQ(doc["devices"].size(), 1u) << doc;
  const Json::Value& mouse = doc["devices"][0];
  EXPECT_EQ(mouse["device"]["connection"], "cable");
  EXPECT_EQ(mouse["interfaces"].size(), 4u);
  EXPECT_NE(mouse["primary"].asString().find("mouse-cable.sock#"), std::string::npos);
  ASSERT_EQ(emu_.Command("unplug mouse-cable").rfind("ok", 0), 0u);
  const Json::Value after = Data(Ctl({"--json", "list"}));
  ASSERT_EQ(after["devices"].size(), 1u);
  EXPECT_EQ(after["devices"][0]["device"]["connection"], "receiver");
  EXPECT_NE(after["devices"][0]["primary"].asString().find("mouse-receiver.sock#"), std::string::npos);
}

TEST_F(KorvalectlDevices, InfoShowsTheKeyboardsBlockRecordAndProfile) {
  ASSERT_EQ(emu_.Command("info keyboard 30 171").rfind("ok", 0), 0u);  // a byte we can recognise
  ASSERT_EQ(emu_.Command("info keyboard 6 3").rfind("ok", 0), 0u);     // 3 × 128 bytes of macro memory
  const CtlRun r = Ctl({"info", "KEYBOARD", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  const Json::Value doc = Data(r);
  EXPECT_EQ(doc["device"]["name"], "keyboard");
  EXPECT_EQ(doc["model"], "TX730max Keyboard");
  EXPECT_EQ(doc["firmware"], "1.00");  // the emulated interfaces' release 0x0100
  EXPECT_TRUE(doc["battery"].isNull()) << "the keyboard's tile shows no battery";
  EXPECT_EQ(doc["memory"]["macroBytes"], 3 * 128);
  EXPECT_EQ(doc["memory"]["keyPositions"], 170);
  EXPECT_TRUE(doc["sensor"].isNull());
  EXPECT_EQ(doc["reportRate"], 125);  // record byte 22 is 0
  EXPECT_EQ(doc["raw"]["info"].asString().size(), 2 * proto::kInfoSize);
  EXPECT_EQ(doc["raw"]["info"].asString().substr(60, 2), "ab");
  EXPECT_EQ(doc["raw"]["record"].asString().size(), 2 * proto::kKeyboardRecordSize);
  EXPECT_EQ(doc["activeSlot"], 0);
  // The emulated keyboard's record 0: effect 1, brightness 4, speed 2, multicolour, red.
  EXPECT_EQ(doc["lighting"]["effectIndex"], 1);
  EXPECT_EQ(doc["lighting"]["effect"], "wave");
  EXPECT_EQ(doc["lighting"]["brightness"], 4);
  EXPECT_EQ(doc["lighting"]["speed"], 2);
  EXPECT_EQ(doc["lighting"]["multicolor"], true);
  // Showing creates nothing, not even an empty folder: before a first
  // profile there is none to name.
  EXPECT_TRUE(doc["profile"].isNull()) << doc["profile"];
  EXPECT_FALSE(fs::exists(dir_ / "data"));
  // The table shows the same decoded; the bytes only with --raw.
  const CtlRun text = Ctl({"info", "keyboard"});
  EXPECT_NE(text.out.find("firmware      1.00\n"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("macro memory  384 bytes\n"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("effect        wave (1)\n"), std::string::npos) << text.out;
  EXPECT_EQ(text.out.find("info bytes"), std::string::npos) << text.out;
  const CtlRun raw = Ctl({"info", "keyboard", "--raw"});
  EXPECT_NE(raw.out.find("info bytes    " + doc["raw"]["info"].asString() + "\n"), std::string::npos) << raw.out;
  EXPECT_FALSE(fs::exists(dir_ / "data"));

  // Once a command that changes things made the profile, info names it.
  ASSERT_EQ(Ctl({"lighting", "keyboard"}).status, 0);
  const Json::Value named = Data(Ctl({"info", "keyboard", "--json"}));
  EXPECT_EQ(named["profile"]["name"], "Profile1");
  const std::string file = named["profile"]["file"].asString();
  EXPECT_EQ(fs::path(file).filename().string(), named["profile"]["uuid"].asString() + ".Json");
  EXPECT_TRUE(fs::exists(file));
  EXPECT_TRUE(fs::path(file).string().rfind((dir_ / "data").string(), 0) == 0) << file;
  EXPECT_TRUE(fs::exists(fs::path(file).parent_path() / "ProfileList.ini"));
  EXPECT_EQ(Data(Ctl({"--json", "info", "keyboard"}))["profile"]["file"].asString(), file);
}

// A read-only command writes no file, whatever the keyboard reports (here a
// record on another profile, in mode 20), and nothing to the keyboard.
TEST_F(KorvalectlDevices, InfoWritesNothing) {
  ASSERT_EQ(Ctl({"lighting", "keyboard", "--brightness", "2"}).status, 0);
  ASSERT_EQ(emu_.Command("profile keyboard 1").rfind("ok", 0), 0u);
  const auto before = DataFiles();
  ASSERT_FALSE(before.empty());
  ASSERT_EQ(emu_.Command("journal-clear keyboard").rfind("ok", 0), 0u);
  for (int run = 0; run < 2; ++run) {
    const CtlRun r = Ctl({"--json", "info", "keyboard"});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(Data(r)["activeSlot"], 1);
  }
  EXPECT_EQ(DataFiles(), before);
  for (const int cmd : testing::Codes(testing::ParseJournal(emu_.Listing("journal keyboard")))) {
    EXPECT_TRUE(cmd == proto::kBeginConfig || cmd == proto::kEndConfig || cmd == proto::kReadInfo ||
                cmd == proto::kReadConfig || cmd == proto::kReadKeyTable || cmd == proto::kReadLedTable)
        << std::hex << cmd;
  }
}

// Answers that are not the keyboard's answer to the command sent (another
// code, another offset, a flood of empty reports) fail info with status 4
// instead of showing zeros, and nothing lands in a file.
TEST_F(KorvalectlDevices, HostileAnswersFailInfo) {
  ASSERT_EQ(Ctl({"lighting", "keyboard"}).status, 0);
  const auto before = DataFiles();
  for (const char* fault : {"wrong-code param=2", "zeros", "wrong-offset"}) {
    SCOPED_TRACE(fault);
    ASSERT_EQ(emu_.Command(std::string("fault keyboard ") + fault).rfind("ok", 0), 0u);
    const CtlRun r = Ctl({"--json", "info", "keyboard"});
    EXPECT_EQ(r.status, 4) << r.out;
    EXPECT_EQ(Parse(r.out)["error"]["status"], 4) << r.out;
    EXPECT_TRUE(Data(r).isNull()) << r.out;  // no info, only the error
    EXPECT_NE(r.err.find("no answer"), std::string::npos) << r.err;
    const CtlRun change = Ctl({"lighting", "keyboard", "--brightness", "1"});
    EXPECT_EQ(change.status, 4);
    EXPECT_EQ(DataFiles(), before);
  }
  ASSERT_EQ(emu_.Command("fault keyboard none").rfind("ok", 0), 0u);
  EXPECT_EQ(Ctl({"info", "keyboard"}).status, 0);
}

TEST_F(KorvalectlDevices, InfoOfTheReceiverMouseReadsItsBlockThroughTheReceiver) {
  const CtlRun r = Ctl({"--json", "info", "Mouse"});
  ASSERT_EQ(r.status, 0) << r.err;
  const Json::Value doc = Data(r);
  EXPECT_EQ(doc["device"]["connection"], "receiver");
  EXPECT_EQ(doc["raw"]["info"].asString().size(), 2 * proto::kInfoSize);
  EXPECT_EQ(doc["raw"]["record"].asString().size(), 2 * proto::kMouseRecordSize);
  // The emulated mouse: 70 % and charging, sensor 0x3325 from 100 dpi in 85 steps of 50.
  EXPECT_EQ(doc["battery"]["percent"], 70);
  EXPECT_EQ(doc["battery"]["charging"], true);
  EXPECT_EQ(doc["raw"]["status"].asString().substr(0, 4), "4601");
  EXPECT_EQ(doc["sensor"]["id"], "3325");
  EXPECT_EQ(doc["sensor"]["dpiMinimum"], 100);
  EXPECT_EQ(doc["sensor"]["dpiStep"], 50);
  EXPECT_EQ(doc["sensor"]["dpiSteps"], 85);
  EXPECT_EQ(doc["reportRate"], 250);  // its record's rate 1
  EXPECT_TRUE(doc["profile"].isNull()) << "info creates no profile";
  EXPECT_FALSE(fs::exists(dir_ / "data"));
  // Once a command made the profile, info shows its stages; the rate stays
  // the mouse's own until a change writes the profile's.
  ASSERT_EQ(Ctl({"dpi", "mouse"}).status, 0);
  const Json::Value made = Data(Ctl({"--json", "info", "mouse"}));
  EXPECT_EQ(made["dpi"]["stages"].size(), 5u);
  EXPECT_EQ(made["reportRate"], 250);
  ASSERT_EQ(Ctl({"dpi", "mouse", "--select", "0"}).status, 0);
  EXPECT_EQ(Data(Ctl({"--json", "info", "mouse"}))["reportRate"], 1000);  // the default profile's rate 3
  // Without its radio link the receiver answers for a device that is not there.
  ASSERT_EQ(emu_.Command("link down").rfind("ok", 0), 0u);
  const CtlRun down = Ctl({"info", "mouse"});
  EXPECT_EQ(down.status, 4);
  EXPECT_NE(down.err.find("korvalectl: mouse: "), std::string::npos) << down.err;
}

// The profile the window's profile list selects is the one a command changes.
TEST_F(KorvalectlDevices, ChangesLandInTheSelectedProfile) {
  const fs::path folder = [&] {
    const CtlRun r = Ctl({"--json", "lighting", "keyboard"});  // creates the list with Profile1
    return fs::path(Data(r)["profile"]["file"].asString()).parent_path();
  }();
  ASSERT_FALSE(folder.empty());
  auto writeList = [&](int select, const std::string& secondUuid) {
    std::ifstream in(folder / "ProfileList.ini");
    std::stringstream text;
    text << in.rdbuf();
    Json::Value list = Parse(text.str());
    Json::Value second;
    second["profilename"] = "Game";
    second["profileUUID"] = secondUuid;
    second["profileislink"] = 0;
    second["profilelinkmame"] = "";
    list["profilelist"][1] = second;
    list["profileselect"] = select;
    std::ofstream(folder / "ProfileList.ini") << list.toStyledString();
  };
  writeList(1, "game-profile");
  const CtlRun r = Ctl({"--json", "lighting", "keyboard", "--brightness", "1"});
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(Data(r)["profile"]["file"].asString(), (folder / "game-profile.Json").string());
  EXPECT_EQ(Data(r)["profile"]["name"], "Game");
  EXPECT_EQ(ProfileDevice((folder / "game-profile.Json").string())["LightInfo"]["Light"], 1);

  // A selection past the list's end falls back to the first profile.
  writeList(7, "game-profile");
  const CtlRun first = Ctl({"--json", "info", "keyboard"});
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_EQ(Data(first)["profile"]["name"], "Profile1");

  // A profile name that would lead outside the folder loads and writes nothing.
  writeList(1, "../../escape");
  const CtlRun bad = Ctl({"settings", "keyboard", "--wkey", "1"});
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.err.find("cannot be loaded"), std::string::npos) << bad.err;
  EXPECT_FALSE(fs::exists(folder.parent_path().parent_path() / "escape.Json"));
}

TEST_F(KorvalectlDevices, LightingChangesTheProfileAndTheKeyboardsRecord) {
  ASSERT_EQ(emu_.Command("journal-clear keyboard").rfind("ok", 0), 0u);
  const CtlRun r = Ctl({"--json", "lighting", "keyboard", "--effect", "3", "--brightness", "2", "--speed", "1",
                     "--direction", "1", "--color", "12aBef"});
  ASSERT_EQ(r.status, 0) << r.err;
  const Json::Value doc = Data(r);
  EXPECT_EQ(doc["changed"], true);
  EXPECT_EQ(doc["lighting"]["effectIndex"], 3);
  EXPECT_EQ(doc["lighting"]["effect"], "order-wave");
  EXPECT_EQ(doc["lighting"]["direction"], "left");
  EXPECT_EQ(doc["lighting"]["color"], "12abef");

  // The record the keyboard received.
  const auto rec = LastConfigWrite(emu_.Listing("journal keyboard"));
  ASSERT_EQ(rec.size(), proto::kKeyboardRecordSize);
  EXPECT_EQ(rec[proto::kKbRecMode], doc["lighting"]["modeValue"].asInt());
  EXPECT_EQ(rec[proto::kKbRecBrightness], 2);
  EXPECT_EQ(rec[proto::kKbRecSpeed], 4 - 1);  // the keyboard counts speed the other way
  EXPECT_EQ(rec[proto::kKbRecDirection], 1);
  EXPECT_EQ(rec[proto::kKbRecMultiColor], 0);  // a chosen colour ends multicolour
  EXPECT_EQ(rec[proto::kKbRecRed], 0x12);
  EXPECT_EQ(rec[proto::kKbRecGreen], 0xab);
  EXPECT_EQ(rec[proto::kKbRecBlue], 0xef);

  // The profile file holds the same.
  const Json::Value light = ProfileDevice(doc["profile"]["file"].asString())["LightInfo"];
  EXPECT_EQ(light["SelectItem"], 3);
  EXPECT_EQ(light["Light"], 2);
  EXPECT_EQ(light["Speed"], 1);
  EXPECT_EQ(light["Fx"], 1);
  EXPECT_EQ(light["MultiColor"], 0);
  EXPECT_EQ(light["Green"], 0xab);

  // A later change keeps the fields it does not name; no option only reads.
  ASSERT_EQ(Ctl({"lighting", "keyboard", "--multicolor"}).status, 0);
  const CtlRun shown = Ctl({"lighting", "keyboard"});
  ASSERT_EQ(shown.status, 0) << shown.err;
  EXPECT_NE(shown.out.find("effect        order-wave (3)\n"), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find("brightness    2\n"), std::string::npos);
  EXPECT_NE(shown.out.find("direction     left\n"), std::string::npos);
  EXPECT_NE(shown.out.find("multicolor    on\n"), std::string::npos);
  EXPECT_NE(shown.out.find("color         12abef\n"), std::string::npos);
  ASSERT_EQ(emu_.Command("journal-clear keyboard").rfind("ok", 0), 0u);
  ASSERT_EQ(Ctl({"lighting", "keyboard"}).status, 0);
  EXPECT_TRUE(LastConfigWrite(emu_.Listing("journal keyboard")).empty());

  // By the effect table's names, in any case and with '_' for '-': the
  // keyboard gets the effect's mode value.
  for (const auto& [name, value] : std::vector<std::pair<std::string, int>>{{"Breathing", 5}, {"vertical_wave", 2}, {"RIPPLE-wave", 9}}) {
    const CtlRun named = Ctl({"--json", "lighting", "keyboard", "--effect", name, "--direction", "right"});
    ASSERT_EQ(named.status, 0) << named.err;
    EXPECT_EQ(Data(named)["lighting"]["modeValue"], value) << name;
    EXPECT_EQ(LastConfigWrite(emu_.Listing("journal keyboard"))[proto::kKbRecMode], value) << name;
    EXPECT_EQ(LastConfigWrite(emu_.Listing("journal keyboard"))[proto::kKbRecDirection], 0) << name;
  }
}

class KorvalectlLightingDevices : public KorvalectlDevices {
 protected:
  void SetUp() override { Start({"mousepad", "headset"}); }
};

// The mousepad and the headset: info reads the active record, lighting
// writes the record back where it was read (r × 64) in device terms.
TEST_F(KorvalectlLightingDevices, InfoAndLightingUseTheActiveRecord) {
  for (const auto& [key, socket] : std::vector<std::pair<std::string, std::string>>{{"MousePad", "mousepad"}, {"HD", "headset"}}) {
    SCOPED_TRACE(key);
    ASSERT_EQ(emu_.Command("profile " + socket + " 2"), "ok profile " + socket + " 2");
    const auto before = DataFiles();
    const CtlRun info = Ctl({"--json", "info", key});
    ASSERT_EQ(info.status, 0) << info.err;
    EXPECT_EQ(DataFiles(), before);  // info writes no file
    Json::Value doc = Data(info);
    EXPECT_EQ(doc["activeSlot"], 2);
    EXPECT_EQ(doc["lighting"]["effectIndex"], 3);  // record 2's look: effect value 3, speed 0 → 4, blue
    EXPECT_EQ(doc["lighting"]["effect"], "static");
    EXPECT_EQ(doc["lighting"]["speed"], 4);
    EXPECT_EQ(doc["lighting"]["color"], "0000ff");
    EXPECT_TRUE(doc["battery"].isNull());

    ASSERT_EQ(emu_.Command("journal-clear " + socket).rfind("ok", 0), 0u);
    const CtlRun r = Ctl({"--json", "lighting", key, "--effect", "flow", "--speed", "1", "--color", "102030"});
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::pair<int, int>> writes;
    for (const auto& p : testing::ParseJournal(emu_.Listing("journal " + socket)))
      if (p.cmd == proto::kWriteConfig) writes.push_back({p.len, p.off});
    EXPECT_EQ(writes, (std::vector<std::pair<int, int>>{{21, 128}}));
    const auto rec = testing::Written(testing::ParseJournal(emu_.Listing("journal " + socket)), proto::kWriteConfig);
    ASSERT_GE(rec.size(), 128u + 9);
    EXPECT_EQ(rec[128 + 1], 6);
    EXPECT_EQ(rec[128 + 3], 4 - 1);
    EXPECT_EQ(rec[128 + 6], 0x10);

    doc = Data(Ctl({"--json", "info", key}));
    EXPECT_EQ(doc["lighting"]["effectIndex"], 6);
    EXPECT_EQ(doc["lighting"]["effect"], "flow");
    EXPECT_EQ(doc["lighting"]["color"], "102030");
  }
  const CtlRun bad = Ctl({"lighting", "MousePad", "--effect", "9"});
  EXPECT_EQ(bad.status, 2);
  EXPECT_NE(bad.err.find("is not an effect of the mousepad: wave, spectrum, breathing, static, blink, flow, group-flow, off (or an index 0-8)"),
            std::string::npos)
      << bad.err;
}

TEST_F(KorvalectlDevices, SettingsWriteTheKeyboardsSystemFlags) {
  ASSERT_EQ(emu_.Command("journal-clear keyboard").rfind("ok", 0), 0u);
  // The older numbers still work: --polling with the option's index, flags as 1.
  const CtlRun r = Ctl({"settings", "keyboard", "--polling", "2", "--winlock", "1", "--sixkey", "on", "--json"});
  ASSERT_EQ(r.status, 0) << r.err;
  const Json::Value doc = Data(r);
  EXPECT_EQ(doc["settings"]["reportRate"], 500);
  EXPECT_EQ(doc["settings"]["winlock"], true);
  EXPECT_EQ(doc["settings"]["wkey"], false);
  const auto rec = LastConfigWrite(emu_.Listing("journal keyboard"));
  ASSERT_EQ(rec.size(), proto::kKeyboardRecordSize);
  EXPECT_EQ(rec[proto::kKbRecPollingRate], 2);
  EXPECT_EQ(rec[proto::kKbRecWinLock], 1);
  EXPECT_EQ(rec[proto::kKbRecSixKey], 1);
  EXPECT_EQ(rec[proto::kKbRecWKey], 0);
  const Json::Value st = ProfileDevice(doc["profile"]["file"].asString())["SystemStages"];
  EXPECT_EQ(st["PollingRate"], 2);
  EXPECT_EQ(st["WinFlag"], 1);
  EXPECT_EQ(st["Key6Flag"], 1);

  // The next run reads the keyboard back: the flags stay, one changes.
  const CtlRun again = Ctl({"settings", "keyboard", "--winlock", "off"});
  ASSERT_EQ(again.status, 0) << again.err;
  EXPECT_NE(again.out.find("report rate   500 Hz\n"), std::string::npos) << again.out;
  EXPECT_NE(again.out.find("winlock       off\n"), std::string::npos);
  EXPECT_NE(again.out.find("sixkey        on\n"), std::string::npos);

  // By their units: Hz goes to the keyboard; the repeat values only to the
  // profile, as on the settings page.
  ASSERT_EQ(emu_.Command("journal-clear keyboard").rfind("ok", 0), 0u);
  const CtlRun units = Ctl({"--json", "settings", "keyboard", "--report-rate", "1000Hz", "--repeat-delay", "750",
                            "--repeat-rate", "30"});
  ASSERT_EQ(units.status, 0) << units.err;
  EXPECT_EQ(Data(units)["settings"]["reportRate"], 1000);
  EXPECT_EQ(Data(units)["settings"]["repeatDelay"], 750);
  EXPECT_EQ(Data(units)["settings"]["repeatRate"], 30);
  EXPECT_EQ(LastConfigWrite(emu_.Listing("journal keyboard"))[proto::kKbRecPollingRate], 3);
  const Json::Value stages = ProfileDevice(Data(units)["profile"]["file"].asString())["SystemStages"];
  EXPECT_EQ(stages["RepeatDelay"], 2);
  EXPECT_EQ(stages["Repeat"], 30);
  ASSERT_EQ(emu_.Command("journal-clear keyboard").rfind("ok", 0), 0u);
  const CtlRun repeatOnly = Ctl({"settings", "keyboard", "--repeat-delay", "250ms"});
  ASSERT_EQ(repeatOnly.status, 0) << repeatOnly.err;
  EXPECT_NE(repeatOnly.out.find("repeat delay  250 ms\n"), std::string::npos) << repeatOnly.out;
  EXPECT_TRUE(LastConfigWrite(emu_.Listing("journal keyboard")).empty());
}

// --list names what each option takes; it needs no device and changes nothing.
TEST_F(KorvalectlDevices, ListShowsTheNamesAndValuesEachOptionTakes) {
  ASSERT_EQ(emu_.Command("unplug keyboard").rfind("ok", 0), 0u);
  const CtlRun text = Ctl({"lighting", "keyboard", "--list"});
  ASSERT_EQ(text.status, 0) << text.err;
  EXPECT_NE(text.out.find("\n  wave               1\n"), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("\n  breathing          5\n"), std::string::npos) << text.out;
  EXPECT_EQ(text.out.find("reserved"), std::string::npos) << "hidden effects are not offered";
  EXPECT_NE(text.out.find("--direction"), std::string::npos);

  const Json::Value doc = Data(Ctl({"--json", "lighting", "MousePad", "--list"}));
  ASSERT_EQ(doc["options"][0]["option"], "--effect") << doc;
  std::vector<std::string> names;
  for (const auto& n : doc["options"][0]["names"]) names.push_back(n["name"].asString());
  EXPECT_EQ(names, (std::vector<std::string>{"wave", "spectrum", "breathing", "static", "blink", "flow", "group-flow", "off"}));
  EXPECT_EQ(doc["device"]["product"], "MousePad");

  const CtlRun mouse = Ctl({"settings", "mouse", "--list"});
  ASSERT_EQ(mouse.status, 0) << mouse.err;
  EXPECT_NE(mouse.out.find("125, 250, 500, 1000 or 2000 Hz"), std::string::npos) << mouse.out;
  const CtlRun kb = Ctl({"settings", "keyboard", "--list"});
  EXPECT_NE(kb.out.find("250, 500, 750 or 1000 ms"), std::string::npos) << kb.out;
  EXPECT_FALSE(fs::exists(dir_ / "data"));
}

TEST_F(KorvalectlDevices, ErrorsGiveTheirExitStatusAndChangeNothing) {
  struct Case {
    std::vector<std::string> args;
    int status;
    std::string message;
  };
  const Case cases[] = {
      {{"lighting", "keyboard", "--brightness", "5"}, 2, "--brightness '5' is not 0-4"},
      {{"lighting", "keyboard", "--speed", "-1"}, 2, "--speed '-1' is not 0-4"},
      {{"lighting", "keyboard", "--color", "12345g"}, 2, "is not a colour RRGGBB"},
      {{"lighting", "keyboard", "--direction"}, 2, "--direction needs a value"},
      {{"lighting", "keyboard", "--color", "ffffff", "--multicolor"}, 2, "give one of them"},
      {{"lighting", "keyboard", "--effect", "200"}, 2, "is not an effect of the keyboard: wave, vertical-wave,"},
      {{"lighting", "keyboard", "--effect", "wav"}, 2, "'wav' is not an effect of the keyboard: wave,"},
      {{"lighting", "keyboard", "--effect", "user"}, 2, "is not an effect of the keyboard"},  // hidden in the editor
      {{"lighting", "keyboard", "--direction", "up"}, 2, "--direction 'up' is not right or left"},
      {{"lighting", "keyboard", "--list", "--speed", "1"}, 2, "give it alone"},
      {{"lighting", "keyboard", "--glow"}, 2, "unknown option '--glow'"},
      {{"settings", "keyboard", "--polling", "4"}, 2, "--polling '4' is not 125, 250, 500 or 1000 Hz (or the index 0-3)"},
      {{"settings", "keyboard", "--report-rate", "2000"}, 2, "is not 125, 250, 500 or 1000 Hz"},
      {{"settings", "keyboard", "--repeat-delay", "300"}, 2, "--repeat-delay '300' is not 250, 500, 750 or 1000 ms"},
      {{"settings", "keyboard", "--repeat-rate", "256"}, 2, "--repeat-rate '256' is not 0-255"},
      {{"settings", "keyboard", "--wkey", "maybe"}, 2, "--wkey 'maybe' is not on or off"},
      {{"settings", "headset"}, 2, "the headset has no settings here"},
      {{"info", "keyboard", "--hex"}, 2, "info: unknown option '--hex'"},
      {{"info"}, 2, "info takes one DEVICE"},
      {{"info", "toaster"}, 2, "unknown device 'toaster' (one of mouse, keyboard, mousepad, headset)"},
      {{"info", "MousePad"}, 3, "no mousepad connected"},
      {{"info", "MOUSEPAD"}, 3, "no mousepad connected"},
      {{"info", "headset"}, 3, "no headset connected"},
      {{"info", "hd"}, 3, "no headset connected"},
      {{"settings", "mouse", "--report-rate", "300"}, 2, "is not 125, 250, 500, 1000 or 2000 Hz"},
      {{"settings", "mouse", "--polling", "1"}, 2, "unknown option '--polling' for the mouse"},
      {{"dpi", "mouse", "--value", "800"}, 2, "need --stage N"},
      {{"dpi", "mouse", "--stage", "5"}, 2, "'5' is not a stage 0-4"},
      {{"dpi", "keyboard"}, 2, "'keyboard' is not the mouse"},
      {{"lighting", "MousePad", "--brightness", "1"}, 3, "no mousepad connected"},
  };
  ASSERT_EQ(emu_.Command("journal-clear keyboard").rfind("ok", 0), 0u);
  for (const Case& c : cases) {
    const CtlRun r = Ctl(c.args);
    EXPECT_EQ(r.status, c.status) << c.args[0] << " " << r.err;
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty()) << r.out;
    if (c.status == 2) {
      // One line and where to look, not the whole help.
      EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2) << r.err;
      EXPECT_TRUE(r.err.ends_with("\nsee korvalectl --help\n")) << r.err;
    }
    // With --json the same error is an object on standard output too.
    std::vector<std::string> withJson = c.args;
    withJson.push_back("--json");
    const CtlRun j = Ctl(withJson);
    EXPECT_EQ(j.status, c.status);
    const Json::Value e = Parse(j.out)["error"];
    EXPECT_EQ(e["status"], c.status) << j.out;
    EXPECT_NE(e["message"].asString().find(c.message), std::string::npos) << j.out;
    EXPECT_EQ(e["message"].asString().find("korvalectl"), std::string::npos) << j.out;
  }
  EXPECT_TRUE(LastConfigWrite(emu_.Listing("journal keyboard")).empty());

  // Unplugged: no such device.
  ASSERT_EQ(emu_.Command("unplug keyboard").rfind("ok", 0), 0u);
  const CtlRun gone = Ctl({"lighting", "keyboard", "--brightness", "1"});
  EXPECT_EQ(gone.status, 3);
  EXPECT_EQ(gone.err, "korvalectl: no keyboard connected\n");
}

// The mouse's record as the emulated mouse holds it.
std::vector<uint8_t> MouseRecord(EmuProcess& emu, const std::string& device, int record) {
  const auto lines = emu.Listing("dump " + device + " config " + std::to_string(record * 128) + " 71");
  std::vector<uint8_t> bytes;
  if (lines.empty() || lines.back().rfind("data ", 0) != 0) return bytes;
  const std::string hex = lines.back().substr(5);
  for (std::size_t k = 0; k + 1 < hex.size(); k += 2) bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(k, 2), nullptr, 16)));
  return bytes;
}

void ChangeTheMouse(EmuProcess& emu, const std::string& device,
                    const std::function<CtlRun(const std::vector<std::string>&)>& ctl) {
  // A stage: 1600 dpi on the 50-dpi scale from 100 is step 30; it becomes the active one.
  const CtlRun dpi = ctl({"--json", "dpi", "mouse", "--stage", "1", "--value", "1600", "--color", "00ff80", "--select", "1"});
  ASSERT_EQ(dpi.status, 0) << dpi.err;
  const Json::Value doc = Parse(dpi.out)["data"]["dpi"];
  EXPECT_EQ(doc["activeStage"], 1);
  EXPECT_EQ(doc["stages"][1]["dpi"], 1600);
  auto rec = MouseRecord(emu, device, 0);
  ASSERT_EQ(rec.size(), 71u);
  EXPECT_EQ(rec[12], 1);
  const std::vector<uint8_t> stage1(rec.begin() + 23, rec.begin() + 32);
  EXPECT_EQ(stage1, (std::vector<uint8_t>{1, 0, 30, 0, 30, 0, 0x00, 0xFF, 0x80}));

  const CtlRun rate = ctl({"settings", "mouse", "--report-rate", "500", "--pointer-speed", "14"});
  ASSERT_EQ(rate.status, 0) << rate.err;
  EXPECT_NE(rate.out.find("report rate   500 Hz"), std::string::npos) << rate.out;
  EXPECT_NE(rate.out.find("pointer speed 14"), std::string::npos) << rate.out;
  EXPECT_EQ(MouseRecord(emu, device, 0)[11], 2);

  const CtlRun light = ctl({"lighting", "mouse", "--brightness", "2", "--color", "102030"});
  ASSERT_EQ(light.status, 0) << light.err;
  rec = MouseRecord(emu, device, 0);
  EXPECT_EQ(rec[2], 2);
  EXPECT_EQ((std::vector<uint8_t>(rec.begin() + 6, rec.begin() + 9)), (std::vector<uint8_t>{0x10, 0x20, 0x30}));
  EXPECT_EQ(rec[12], 1) << "the stage stays";

  // Switching off every stage but one leaves that one on.
  for (const char* n : {"0", "2", "3", "4"}) ASSERT_EQ(ctl({"dpi", "mouse", "--stage", n, "--enable", "0"}).status, 0);
  const CtlRun last = ctl({"dpi", "mouse", "--stage", "1", "--enable", "off"});
  EXPECT_EQ(last.status, 2);
  EXPECT_NE(last.err.find("the only one on"), std::string::npos) << last.err;
}

TEST_F(KorvalectlDevices, TheMouseThroughItsReceiver) {
  ChangeTheMouse(emu_, "mouse", [this](const std::vector<std::string>& a) { return Ctl(a); });
}

TEST_F(KorvalectlTwoConnections, TheMouseByCable) {
  ChangeTheMouse(emu_, "mouse-cable", [this](const std::vector<std::string>& a) { return Ctl(a); });
  // The same mouse, so its receiver sees the same record.
  EXPECT_EQ(MouseRecord(emu_, "mouse-receiver", 0)[11], 2);
}

TEST_F(KorvalectlDevices, RefusingOrSilentKeyboardGivesStatusFour) {
  const int kKeys = [&] {
    const CtlRun r = Ctl({"--json", "info", "keyboard"});
    return std::stoi(Data(r)["raw"]["info"].asString().substr(2 * proto::kInfoKeyCount, 2), nullptr, 16);
  }();
  const std::pair<const char*, const char*> faults[] = {
      {"status-ff", "status 0xFF"},
      {"no-answer", "no answer"},
  };
  for (const auto& [fault, name] : faults) {
    ASSERT_EQ(emu_.Command(std::string("fault keyboard ") + fault).rfind("ok", 0), 0u);
    const CtlRun r = Ctl({"lighting", "keyboard", "--brightness", "1"});
    EXPECT_EQ(r.status, 4) << fault;
    EXPECT_NE(r.err.find("korvalectl: keyboard: "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(name), std::string::npos) << r.err;
    EXPECT_TRUE(r.out.empty());
  }
  // A keyboard whose key tables would not fit is refused with its reason.
  ASSERT_EQ(emu_.Command("fault keyboard none").rfind("ok", 0), 0u);
  ASSERT_EQ(emu_.Command("info keyboard 5 200").rfind("ok", 0), 0u);
  const CtlRun big = Ctl({"info", "keyboard"});
  EXPECT_EQ(big.status, 4);
  EXPECT_NE(big.err.find("reports 200 key positions"), std::string::npos) << big.err;
  ASSERT_EQ(emu_.Command("info keyboard 5 " + std::to_string(kKeys)).rfind("ok", 0), 0u);

  // A refusal of the final write itself is named too: the reads before it pass.
  ASSERT_EQ(emu_.Command("fault keyboard none").rfind("ok", 0), 0u);
  ASSERT_EQ(emu_.Command("journal-clear keyboard").rfind("ok", 0), 0u);
  ASSERT_EQ(Ctl({"settings", "keyboard"}).status, 0);  // count the reads a run makes
  int reads = 0;
  for (const auto& l : emu_.Listing("journal keyboard")) reads += !l.empty();
  ASSERT_EQ(emu_.Command("fault keyboard status-ff after=" + std::to_string(reads + 1) + " count=1").rfind("ok", 0), 0u);
  const CtlRun late = Ctl({"settings", "keyboard", "--wkey", "1"});
  EXPECT_EQ(late.status, 4);
  EXPECT_NE(late.err.find("writing the configuration failed: status 0xFF"), std::string::npos) << late.err;
}

// An installed korvalectl whose data folder lacks the default profiles: the
// first change fails naming the missing file and writes no stub profile.
TEST_F(KorvalectlDevices, AMissingDefaultProfileIsAnErrorAndWritesNothing) {
  // The program finds its data beside its own folder, so a second copy of it
  // gets a data folder of its own (inside the build tree: a hard link works).
  std::string tmpl = (fs::path(KORVALE_BIN_DIR).parent_path() / "reloc-XXXXXX").string();
  ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
  const fs::path root = tmpl;
  fs::create_directories(root / "bin");
  fs::create_directories(root / "share" / "korvale");  // present, but without DefaultData
  std::error_code ec;
  fs::create_hard_link(fs::path(KORVALE_BIN_DIR) / "korvalectl", root / "bin" / "korvalectl", ec);
  if (ec) fs::copy_file(fs::path(KORVALE_BIN_DIR) / "korvalectl", root / "bin" / "korvalectl");
  const auto before = DataFiles();
  const std::string cmd = (root / "bin" / "korvalectl").string() + " lighting KEYBOARD --brightness 1 2>&1";
  std::string output;
  FILE* p = ::popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  char buf[512];
  while (std::fgets(buf, sizeof buf, p) != nullptr) output += buf;
  const int status = ::pclose(p);
  fs::remove_all(root, ec);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1) << output;
  EXPECT_NE(output.find((root / "share" / "korvale" / "DefaultData" / "keyboard.Json").string()), std::string::npos)
      << output;
  EXPECT_EQ(DataFiles(), before);
  EXPECT_TRUE(LastConfigWrite(emu_.Listing("journal keyboard")).empty());
}

TEST(KorvalectlHelp, EveryCommandDescribesItself) {
  for (const auto& c : cli::Commands()) {
    std::ostringstream out, err;
    EXPECT_EQ(cli::RunKorvalectl({c.name, "--help"}, out, err), 0) << c.name;
    EXPECT_EQ(out.str().rfind(std::string("usage: korvalectl [--json] ") + c.name, 0), 0u) << out.str();
    EXPECT_TRUE(err.str().empty());
  }
  std::ostringstream out, err;
  EXPECT_EQ(cli::RunKorvalectl({"--help"}, out, err), 0);
  for (const char* word : {"list", "info DEVICE", "lighting DEVICE", "settings keyboard", "3 no such device"})
    EXPECT_NE(out.str().find(word), std::string::npos) << word;
  // `help` and `help COMMAND` print what --help prints.
  std::ostringstream helpOut, helpErr;
  EXPECT_EQ(cli::RunKorvalectl({"help"}, helpOut, helpErr), 0);
  EXPECT_EQ(helpOut.str(), out.str());
  for (const auto& c : cli::Commands()) {
    std::ostringstream a, b, e;
    EXPECT_EQ(cli::RunKorvalectl({"help", c.name}, a, e), 0);
    EXPECT_EQ(cli::RunKorvalectl({c.name, "--help"}, b, e), 0);
    EXPECT_EQ(a.str(), b.str()) << c.name;
  }
  std::ostringstream bad, badErr;
  EXPECT_EQ(cli::RunKorvalectl({"help", "frobnicate"}, bad, badErr), cli::kExitUsage);
  EXPECT_EQ(badErr.str(), "korvalectl: unknown command 'frobnicate'\nsee korvalectl --help\n");
  std::ostringstream version, versionErr;
  EXPECT_EQ(cli::RunKorvalectl({"--version"}, version, versionErr), 0);
  EXPECT_EQ(version.str(), std::string("korvalectl ") + KORVALE_VERSION + "\n");
}

}  // namespace
}  // namespace korvale
