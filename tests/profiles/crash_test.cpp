// A process saving profiles is killed at random moments; every profile file
// must always parse and hold either the old or the new document.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <random>

#include "profiles/device_profiledata.h"
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

}  // namespace
}  // namespace korvale
