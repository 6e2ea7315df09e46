// A process saving profiles is killed at random moments; every profile file
// must always parse and hold either the old or the new document.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>

#include "profiles/device_profiledata.h"
#include "profiles/profile_list.h"
#include "test_util.h"

namespace korvale {
namespace {
namespace fs = std::filesystem;

class CrashTest : public test::TempHome {};

Json::Value Variant(int n) {
  CKeyboardProfiledata p;
  std::vector<KeyRecord> keys(170);
  for (size_t i = 0; i < keys.size(); ++i) keys[i].normal.code = AssignmentCode::FromInt(static_cast<uint32_t>(n * 1000 + i));
  p.WriteKeyList(keys);
  LightInfo li;
  li.selectItem = static_cast<uint8_t>(n);
  p.WriteLightInfo(li);
  return p.Document();
}

TEST_F(CrashTest, KilledWriterNeverLeavesATornProfile) {
  const fs::path file = Dir() / "profile.Json";
  const Json::Value a = Variant(1), b = Variant(2);
  {
    CKeyboardProfiledata p;
    ASSERT_TRUE(p.StoreDocument(a, file));
  }
  std::mt19937 rng(12345);
  std::uniform_int_distribution<int> delayUs(0, 2000);
  std::uniform_int_distribution<int> wantWrites(1, 2);
  constexpr int kKills = 200;
  int sawA = 0, sawB = 0;
  for (int k = 0; k < kKills; ++k) {
    // The writer reports each finished save, so every kill lands after a
    // known number of them however slowly a loaded machine runs it.
    int done[2];
    ASSERT_EQ(::pipe2(done, O_CLOEXEC), 0);
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::close(done[0]);
      ::fcntl(done[1], F_SETFL, O_NONBLOCK);
      CKeyboardProfiledata p;
      for (int i = 0;; ++i) {
        p.StoreDocument((i & 1) ? b : a, file);
        (void)!::write(done[1], "x", 1);
      }
    }
    ::close(done[1]);
    for (int got = 0, want = wantWrites(rng); got < want;) {
      pollfd pfd{done[0], POLLIN, 0};
      ASSERT_EQ(::poll(&pfd, 1, 10000), 1) << "the writer made no progress";
      char buf[16];
      const ssize_t n = ::read(done[0], buf, sizeof buf);
      ASSERT_GT(n, 0);
      got += static_cast<int>(n);
    }
    ::usleep(static_cast<useconds_t>(delayUs(rng)));
    ::kill(pid, SIGKILL);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ::close(done[0]);
    const Json::Value doc = ReadJsonFile(file);
    ASSERT_TRUE(doc.isObject()) << "kill " << k;
    const Json::Value& dev = doc["Device"][0];
    ASSERT_TRUE(dev == a || dev == b) << "kill " << k;
    (dev == a ? sawA : sawB)++;
  }
  // The writer really ran between kills: both documents were seen.
  EXPECT_GT(sawA, 0);
  EXPECT_GT(sawB, 0);
  // Temporary files of killed writers are the only leftovers; no other file appeared.
  for (const auto& e : fs::directory_iterator(Dir())) {
    const std::string name = e.path().filename().string();
    if (name != "profile.Json") {
      EXPECT_EQ(name.rfind(".profile.Json.", 0), 0u) << name;
    }
  }
}

// A process adding, copying, renaming and deleting profiles in a loop, killed
// at random moments: the list always parses and names only profile files
// that exist, and every profile file parses.
TEST_F(CrashTest, KilledProfileManagerNeverLeavesTheListNamingAMissingFile) {
  const fs::path folder = Dir() / "keyboard";
  fs::create_directories(folder);
  const fs::path defaults = fs::path(KORVALE_SOURCE_DIR) / "data" / "DefaultData" / "keyboard.Json";
  std::mt19937 rng(777);
  std::uniform_int_distribution<int> delayUs(0, 20000);
  std::uniform_int_distribution<int> opsFirst(0, 2);
  constexpr int kKills = 80;
  int changes = 0;
  std::string lastList;
  for (int k = 0; k < kKills; ++k) {
    int progress[2];
    ASSERT_EQ(::pipe(progress), 0);
    pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::close(progress[0]);
      CProfileList list;
      list.SetDeviceKind(1);
      list.SetFolders(folder, defaults);
      for (unsigned i = 0;; ++i) {
        list.Initialise();
        switch (i % 5) {
          case 0: list.Add(); break;
          case 1: list.Copy(static_cast<int>(i) % list.Count()); break;
          case 2: list.Rename(list.Count() - 1, "n" + std::to_string(i)); break;
          default:
            if (list.Count() > 3) list.Delete(static_cast<int>(i) % list.Count());
            break;
        }
        const char done = 1;
        if (::write(progress[1], &done, 1) != 1) ::_exit(0);
      }
    }
    ::close(progress[1]);
    // A busy machine may hardly run the child: let it finish a few operations
    // (deadline 10 s), then kill it at a random moment of the next ones.
    for (int n = opsFirst(rng); n > 0; --n) {
      pollfd p{progress[0], POLLIN, 0};
      char c = 0;
      if (::poll(&p, 1, 10000) != 1 || ::read(progress[0], &c, 1) != 1) break;
    }
    ::usleep(static_cast<useconds_t>(delayUs(rng)));
    ::kill(pid, SIGKILL);
    ::close(progress[0]);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);

    const std::string listText = test::Slurp(folder / "ProfileList.ini");
    if (listText.empty()) continue;  // killed before the first list was written
    if (listText != lastList) ++changes;
    lastList = listText;
    CProfileList check;
    check.SetFolders(folder, defaults);
    ASSERT_TRUE(check.Read()) << "kill " << k << ": the list does not parse";
    for (int i = 0; i < check.Count(); ++i) {
      ASSERT_FALSE(check.PathAt(i).empty());
      const Json::Value d = ReadJsonFile(check.PathAt(i));
      ASSERT_TRUE(d.isObject()) << "kill " << k << ": the list names " << check.PathAt(i) << ", which is missing or torn";
    }
    for (const auto& e : fs::directory_iterator(folder)) {
      if (e.path().extension() == ".Json") {
        ASSERT_TRUE(ReadJsonFile(e.path()).isObject()) << e.path();
      }
    }
  }
  // The manager really ran between kills.
  EXPECT_GT(changes, kKills / 4);
}

}  // namespace
}  // namespace korvale
