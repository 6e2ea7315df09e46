// Macro and shoot downloads against korvale-emu, read back by the emulated
// firmware's own decoder: keyboard, mouse by cable and through its receiver,
// images that do not fit, broken files, and transfers that fail midway.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "devices/macro_download.h"
#include "hid/hid_device.h"
#include "profiles/json_file.h"
#include "profiles/macro_files.h"
#include "protocol/device_comm.h"
#include "tests/support/bus_paths.h"
#include "tests/support/journal.h"
#include "tests/support/emu_process.h"

namespace korvale {
namespace {

namespace fs = std::filesystem;
using testing::EmuProcess;

// Write packets of one command as (offset, length), from the journal.
std::vector<std::pair<int, int>> Writes(const std::vector<std::string>& journal, int command) {
  std::vector<std::pair<int, int>> out;
  for (const auto& p : testing::ParseJournal(journal))
    if (p.cmd == command) out.push_back({p.off, p.len});
  return out;
}

class MacroDownloadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string t = (fs::temp_directory_path() / "korvale-mdl-XXXXXX").string();
    ASSERT_NE(::mkdtemp(t.data()), nullptr);
    dir_ = t;
    fs::create_directories(dir_ / "macros");
    ::setenv("KORVALE_VHID_DIR", (dir_ / "bus").c_str(), 1);
    CHidDevice::SetHidrawEnabled(false);
    ASSERT_TRUE(emu_.Start({"--dir", (dir_ / "bus").string(), "keyboard", "mouse-cable", "mouse-receiver"}));
    for (int i = 0; i < 3; ++i) ASSERT_FALSE(emu_.Line().empty());  // one line per served device
  }
  void TearDown() override {
    emu_.Kill();
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }

  void Open(CDeviceComm& comm, const std::string& socket, bool receiver) {
    const std::string path = testing::BusPath(socket, 4);
    ASSERT_FALSE(path.empty()) << socket;
    CHidDevice& ch = receiver ? comm.receiverChannel : comm.cableChannel;
    ASSERT_TRUE(ch.Open(path, true, true, true, false));
    comm.opened = 1;
    comm.SetConnectionMode(receiver ? proto::kModeReceiver : proto::kModeCable);
  }

  // macro.config with one macro per event list, each saved in its file.
  void WriteMacros(const std::vector<std::vector<MacroEvent>>& macros) {
    std::vector<MacroInfoEntry> index;
    for (std::size_t i = 0; i < macros.size(); ++i) {
      index.push_back({"m" + std::to_string(i), NewMacroGuid(index)});
      ASSERT_TRUE(TryWriteJsonFile(Folder() / (index.back().guid + ".mac"),
                                   MacroDocument(index.back().name, index.back().guid, macros[i])));
    }
    ASSERT_TRUE(WriteMacroIndex(Folder(), index));
  }
  fs::path Folder() const { return dir_ / "macros"; }

  static std::vector<MacroEvent> Clicks(int n) {
    std::vector<MacroEvent> v;
    for (int i = 0; i < n; ++i) v.push_back({static_cast<uint16_t>(10 * i), 1, i % 2 == 0, 1});
    return v;
  }

  fs::path dir_;
  EmuProcess emu_;
  std::array<uint8_t, 34> info_{};
};

TEST_F(MacroDownloadTest, KeyboardStoresTheListedMacrosInListOrderHeaderLast) {
  WriteMacros({Clicks(3), {{300, 10, true, 0x04}, {0, 10, false, 0x04}}, Clicks(1)});
  CDeviceComm comm;
  Open(comm, "keyboard", false);
  ASSERT_EQ(emu_.Command("journal-clear keyboard"), "ok journal-clear keyboard");
  const DownloadReport r = DownloadMacroImage(comm, info_, Folder(), {1, 0});
  ASSERT_EQ(r.result, 0) << r.message;
  EXPECT_EQ(r.bytes, 16u + 12 + 4 * 5);
  EXPECT_EQ(info_[6], 64);  // the information block was read first
  EXPECT_EQ(emu_.Listing("macros keyboard"),
            (std::vector<std::string>{"entry 0: 2 events", "  type 10 down button 4 delay 300",
                                      "  type 10 up button 4 delay 0", "entry 1: 3 events",
                                      "  type 1 down button 1 delay 0", "  type 1 up button 1 delay 10",
                                      "  type 1 down button 1 delay 20"}));
  // The signature is cleared first and the header comes last.
  const auto writes = Writes(emu_.Listing("journal keyboard"), 0x15);
  ASSERT_GE(writes.size(), 3u);
  EXPECT_EQ(writes.front(), (std::pair<int, int>{0, 16}));
  EXPECT_EQ(writes[1].first, 16);
  EXPECT_EQ(writes.back(), (std::pair<int, int>{0, 16}));
}

TEST_F(MacroDownloadTest, AnImageThatDoesNotFitSendsNothingAndSaysByHowMuch) {
  WriteMacros({Clicks(40)});  // 16 + 6 + 160 = 182 bytes
  CDeviceComm comm;
  Open(comm, "keyboard", false);
  ASSERT_EQ(emu_.Command("info keyboard 6 1"), "ok info keyboard 6");
  ASSERT_EQ(emu_.Command("journal-clear keyboard"), "ok journal-clear keyboard");
  DownloadReport r = DownloadMacroImage(comm, info_, Folder(), {0});
  EXPECT_EQ(r.result, (182 - 128) / 4 + 1);
  ASSERT_EQ(emu_.Command("info keyboard 6 0"), "ok info keyboard 6");
  r = DownloadMacroImage(comm, info_, Folder(), {0});
  EXPECT_EQ(r.result, kMacroNoMemory);
  EXPECT_TRUE(Writes(emu_.Listing("journal keyboard"), 0x15).empty());
  EXPECT_TRUE(Writes(emu_.Listing("journal keyboard"), 0x01).empty());
  // Room again: the memory follows information byte 6.
  ASSERT_EQ(emu_.Command("info keyboard 6 2"), "ok info keyboard 6");
  r = DownloadMacroImage(comm, info_, Folder(), {0});
  EXPECT_EQ(r.result, 0) << r.message;
  EXPECT_EQ(emu_.Command("macros keyboard"), "ok macros 1 entries 182 bytes");
}

TEST_F(MacroDownloadTest, AFailedTransferLeavesNoValidImageAndIsReported) {
  WriteMacros({Clicks(30), Clicks(30)});
  CDeviceComm comm;
  Open(comm, "keyboard", false);
  ASSERT_EQ(DownloadMacroImage(comm, info_, Folder(), {0}).result, 0);
  ASSERT_EQ(emu_.Command("macros keyboard"), "ok macros 1 entries 142 bytes");
  // ReadInfo, BeginConfig, the cleared header and two body packets answer; then the device stops.
  ASSERT_EQ(emu_.Command("fault keyboard status-ff after=5"), "ok fault keyboard status-ff");
  const DownloadReport r = DownloadMacroImage(comm, info_, Folder(), {0, 1});
  EXPECT_EQ(r.result, kMacroWriteFailed);
  EXPECT_NE(r.message.find("writing the macros"), std::string::npos) << r.message;
  EXPECT_EQ(emu_.Command("macros keyboard"), "ok macros malformed");
  EXPECT_EQ(emu_.Listing("macros keyboard"),
            std::vector<std::string>{"malformed: no signature (empty or unfinished image)"});
}

TEST_F(MacroDownloadTest, ABrokenMacroFileStopsTheDownloadBeforeAnythingIsSent) {
  WriteMacros({Clicks(2), Clicks(2)});
  const auto index = ReadMacroIndex(Folder());
  std::ofstream(Folder() / (index[1].guid + ".mac")) << "[1, 2]";
  CDeviceComm comm;
  Open(comm, "keyboard", false);
  ASSERT_EQ(emu_.Command("journal-clear keyboard"), "ok journal-clear keyboard");
  const DownloadReport r = DownloadMacroImage(comm, info_, Folder(), {0, 1});
  EXPECT_EQ(r.result, kMacroFileBroken);
  EXPECT_NE(r.message.find("\"m1\""), std::string::npos) << r.message;
  EXPECT_TRUE(Writes(emu_.Listing("journal keyboard"), 0x15).empty());
  // A macro never saved has no file and downloads as an empty entry.
  fs::remove(Folder() / (index[1].guid + ".mac"));
  EXPECT_EQ(DownloadMacroImage(comm, info_, Folder(), {1}).result, 0);
  EXPECT_EQ(emu_.Listing("macros keyboard"), std::vector<std::string>{"entry 0: 0 events"});
}

TEST_F(MacroDownloadTest, MouseByCableAndThroughItsReceiver) {
  WriteMacros({Clicks(5)});
  {
    CDeviceComm comm;
    Open(comm, "mouse-cable", false);
    ASSERT_EQ(DownloadMacroImage(comm, info_, Folder(), {0}).result, 0);
    EXPECT_EQ(emu_.Command("macros mouse-cable"), "ok macros 1 entries 42 bytes");
  }
  WriteMacros({Clicks(7)});
  CDeviceComm comm;
  Open(comm, "mouse-receiver", true);
  ASSERT_EQ(DownloadMacroImage(comm, info_, Folder(), {0}).result, 0);
  EXPECT_EQ(emu_.Command("macros mouse"), "ok macros 1 entries 50 bytes");
  // No link: nothing is claimed and the old image stays.
  ASSERT_EQ(emu_.Command("link down"), "ok link down");
  const DownloadReport r = DownloadMacroImage(comm, info_, Folder(), {0});
  EXPECT_EQ(r.result, kMacroWriteFailed);
  EXPECT_NE(r.message.find("no link"), std::string::npos) << r.message;
  EXPECT_EQ(emu_.Command("macros mouse"), "ok macros 1 entries 50 bytes");
}

TEST_F(MacroDownloadTest, ShootSequencesOfTheDefaultFilesFitTheMouseArea) {
  for (int g = 0; g < 4; ++g)
    fs::copy_file(fs::path(KORVALE_SOURCE_DIR) / "data/DefaultData" / ("ShootData_" + std::to_string(g) + ".Shoot"),
                  ShootFilePath(Folder(), g));
  for (const bool receiver : {false, true}) {
    CDeviceComm comm;
    Open(comm, receiver ? "mouse-receiver" : "mouse-cable", receiver);
    const DownloadReport r = DownloadShootImage(comm, info_, Folder());
    ASSERT_EQ(r.result, 0) << r.message;
    EXPECT_EQ(r.bytes, 2920u);
    const auto lines = emu_.Listing("shoot mouse");
    ASSERT_EQ(lines.size(), 4u + 4 * 180);
    EXPECT_EQ(lines[0], "entry 0: 180 events");
    EXPECT_EQ(lines[1], "  type 1 down button 1 delay 10");
  }
  // The keyboard takes shoot sequences the same way.
  CDeviceComm kb;
  Open(kb, "keyboard", false);
  EXPECT_EQ(DownloadShootImage(kb, info_, Folder()).result, 0);
  EXPECT_EQ(emu_.Command("shoot keyboard"), "ok shoot 4 entries 2920 bytes");
}

TEST_F(MacroDownloadTest, ShootSequencesThatDoNotFitOrAreBrokenAreRefused) {
  Json::Value doc(Json::objectValue);
  for (int i = 0; i < 1100; ++i) doc["Events"].append(MacroEventJson({5, 4, false, 2}, true));
  ASSERT_TRUE(TryWriteJsonFile(ShootFilePath(Folder(), 2), doc));
  CDeviceComm comm;
  Open(comm, "mouse-cable", false);
  ASSERT_EQ(emu_.Command("journal-clear mouse-cable"), "ok journal-clear mouse-cable");
  DownloadReport r = DownloadShootImage(comm, info_, Folder());
  EXPECT_EQ(r.result, static_cast<int>((16 + 24 + 4400 - 4096) / 4 + 1));
  std::ofstream(ShootFilePath(Folder(), 2)) << R"({"Events": [{"Type": 4, "Button": 300, "Delay": 5}]})";
  r = DownloadShootImage(comm, info_, Folder());
  EXPECT_EQ(r.result, kMacroFileBroken);
  EXPECT_NE(r.message.find("ShootData_2.Shoot"), std::string::npos) << r.message;
  EXPECT_TRUE(Writes(emu_.Listing("journal mouse-cable"), 0x17).empty());
}

}  // namespace
}  // namespace korvale
