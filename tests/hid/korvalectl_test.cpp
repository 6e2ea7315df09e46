// korvalectl as a process, against a bus device written in Python from the
// wire format alone (tests/hid/vhid_peer.py).
#include <gtest/gtest.h>
#include <json/json.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>

#include "cli/korvalectl.h"
#include "tests/support/bus_paths.h"
#include "tests/support/temp_dir.h"
#include "test_descriptors.h"

extern char** environ;

namespace {

std::string HexOf(const std::vector<uint8_t>& v) {
  std::string s;
  char b[3];
  for (uint8_t x : v) {
    std::snprintf(b, sizeof b, "%02x", x);
    s += b;
  }
  return s;
}

// The Python device: started with its stdin and stdout on pipes; closing
// stdin (or SIGTERM) stops it.
class PythonPeer {
 public:
  PythonPeer(const std::filesystem::path& dir, std::vector<std::string> args) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in[0], 0);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    std::vector<std::string> all = {"python3", KORVALE_SOURCE_DIR "/tests/hid/vhid_peer.py", "--dir", dir.string()};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    const int rc = ::posix_spawnp(&pid_, "python3", &fa, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    ::close(in[0]);
    ::close(out[1]);
    stdin_ = in[1];
    stdout_ = out[0];
    if (rc != 0) throw std::runtime_error("cannot start python3");
  }
  ~PythonPeer() {
    ::close(stdin_);
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    ::close(stdout_);
  }

  // True once the peer printed "ready" (within five seconds).
  bool WaitReady() {
    std::string got;
    for (;;) {
      pollfd p{stdout_, POLLIN, 0};
      if (::poll(&p, 1, 5000) <= 0) return false;
      char buf[64];
      const ssize_t n = ::read(stdout_, buf, sizeof buf);
      if (n <= 0) return false;
      got.append(buf, static_cast<std::size_t>(n));
      if (got.find("ready\n") != std::string::npos) return true;
    }
  }

 private:
  pid_t pid_ = -1;
  int stdin_ = -1, stdout_ = -1;
};

struct ProgramRun {
  int status;
  std::string out;
};

// korvalectl with args, or the given shell command line when one is given.
ProgramRun Korvalectl(const std::string& args, const std::string& commandLine = {}) {
  const std::string cmd = commandLine.empty() ? std::string(KORVALE_BIN_DIR) + "/korvalectl " + args : commandLine;
  FILE* f = ::popen(cmd.c_str(), "r");
  if (!f) return {-1, {}};
  std::string out;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  const int st = ::pclose(f);
  return {WIFEXITED(st) ? WEXITSTATUS(st) : -1, out};
}

}  // namespace

TEST(Korvalectl, InterfacesShowsThePythonDevicesCollectionsAndRows) {
  korvale::testing::TempDir dir{"khid"};
  korvale::testing::BusDirOverride busDir(dir.Path());
  PythonPeer keyboard(dir.Path(), {"--name", "kbd", "--vid", "320f", "--pid", "5064", "--interface", "1",
                                   "--descriptor", HexOf(korvale::testdata::kKeyboardInterface), "--product",
                                   "TX730max Keyboard"});
  PythonPeer headset(dir.Path(), {"--name", "hs", "--vid", "0c76", "--pid", "1630", "--interface", "3",
                                  "--descriptor", HexOf(korvale::testdata::kConsumerInterface)});
  ASSERT_TRUE(keyboard.WaitReady());
  ASSERT_TRUE(headset.WaitReady());

  const ProgramRun r = Korvalectl("interfaces --json");
  ASSERT_EQ(r.status, 0) << r.out;
  Json::Value root;
  std::string errors;
  std::istringstream in(r.out);
  ASSERT_TRUE(Json::parseFromStream(Json::CharReaderBuilder(), in, &root, &errors)) << errors << r.out;

  struct Expect {
    std::string suffix;
    int page, usage, collection, interface;
    Json::Value row;
    const char* kind;
  };
  const std::string kb = "vhid:" + (dir.Path() / "kbd.sock").string() + "#vid_320f&pid_5064&mi_01";
  const std::string hs = "vhid:" + (dir.Path() / "hs.sock").string() + "#vid_0c76&pid_1630&mi_03";
  const Expect expect[] = {
      {hs, 0x0C, 0x01, 0, 3, 10, "Headset"},
      {kb + "&col01", 0x01, 0x06, 1, 1, Json::Value(), nullptr},
      {kb + "&col02", 0x01, 0x80, 2, 1, Json::Value(), nullptr},
      {kb + "&col03", 0x0C, 0x01, 3, 1, 1, "Keyboard"},
      {kb + "&col04", 0xFF1C, 0x92, 4, 1, 0, "Keyboard"},
  };
  std::vector<Json::Value> bus;
  for (const auto& v : root["data"]["interfaces"])
    if (v["backend"].asString() == "vhid") bus.push_back(v);
  ASSERT_EQ(bus.size(), std::size(expect)) << r.out;
  for (std::size_t i = 0; i < bus.size(); ++i) {
    const auto& v = bus[i];
    const auto& e = expect[i];
    SCOPED_TRACE(e.suffix);
    EXPECT_EQ(v["path"].asString(), e.suffix);
    EXPECT_EQ(v["usagePage"].asInt(), e.page);
    EXPECT_EQ(v["usage"].asInt(), e.usage);
    EXPECT_EQ(v["collectionNumber"].asInt(), e.collection);
    EXPECT_EQ(v["interfaceNumber"].asInt(), e.interface);
    EXPECT_EQ(v["row"], e.row);
    if (e.kind) {
      EXPECT_EQ(v["kind"].asString(), e.kind);
    }
  }
  EXPECT_EQ(bus[4]["vendorId"].asInt(), 0x320F);
  EXPECT_EQ(bus[4]["productName"].asString(), "TX730max Keyboard");

  // The human table names the same rows.
  const ProgramRun table = Korvalectl("interfaces");
  ASSERT_EQ(table.status, 0);
  EXPECT_NE(table.out.find(kb + "&col04  320f  5064  01  04   ff1c  0092   0 Keyboard\n"), std::string::npos)
      << table.out;
  EXPECT_NE(table.out.find(kb + "&col03  320f  5064  01  03   000c  0001   1 Keyboard (consumer)\n"),
            std::string::npos)
      << table.out;
}

TEST(Korvalectl, InterfacesPrintsHostileSocketNamesEscaped) {
  korvale::testing::TempDir dir;
  korvale::testing::BusDirOverride busDir(dir.Path());
  PythonPeer peer(dir.Path(), {"--name", "a\x1b]0;owned\x07\nb\\c\xc2\x9b\xff\xc3\xa9", "--vid", "0c76", "--pid",
                               "1630", "--interface", "3", "--descriptor",
                               HexOf(korvale::testdata::kConsumerInterface)});
  ASSERT_TRUE(peer.WaitReady());
  for (const char* args : {"interfaces", "list"}) {
    const ProgramRun r = Korvalectl(args);
    ASSERT_EQ(r.status, 0) << args;
    // Escapes, the line break, the backslash, a C1 control and a stray byte
    // are shown as \xHH; a real accented letter stays.
    EXPECT_NE(r.out.find("a\\x1b]0;owned\\x07\\x0ab\\x5cc\\xc2\\x9b\\xff\xc3\xa9.sock#"), std::string::npos)
        << args << ": " << r.out;
    for (char c : r.out) EXPECT_TRUE(c == '\n' || static_cast<unsigned char>(c) >= 0x20) << args;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\x7f'), 0);
  }
}

TEST(Korvalectl, ABusDeviceServedByAnotherUserIsNotUsed) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to serve a device as another user";
  korvale::testing::TempDir dir;
  korvale::testing::BusDirOverride busDir(dir.Path());
  // The other user must be able to put a socket in the folder.
  std::filesystem::permissions(dir.Path(), std::filesystem::perms::all);
  const std::string descriptor = HexOf(korvale::testdata::kConsumerInterface);
  PythonPeer mine(dir.Path(), {"--name", "mine", "--vid", "0c76", "--pid", "1630", "--interface", "3",
                               "--descriptor", descriptor});
  PythonPeer other(dir.Path(), {"--name", "other", "--uid", "65534", "--vid", "0c76", "--pid", "1630",
                                "--interface", "3", "--descriptor", descriptor});
  ASSERT_TRUE(mine.WaitReady());
  ASSERT_TRUE(other.WaitReady());
  const ProgramRun r = Korvalectl("interfaces");
  ASSERT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("mine.sock#"), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("other.sock"), std::string::npos) << r.out;
}

// The /tmp fallback of the bus folder, prepared by another user (or left open
// to all) with a keyboard of theirs in it: refused with a message. Runs in a
// mount namespace with a /tmp of its own, so the machine's /tmp is untouched.
TEST(Korvalectl, ATmpBusFolderOfAnotherUserOrOpenToAllIsRefused) {
  if (::geteuid() != 0 || std::system("unshare -m true 2>/dev/null") != 0)
    GTEST_SKIP() << "needs root and mount namespaces";
  const std::string descriptor = HexOf(korvale::testdata::kKeyboardInterface);
  for (const char* owner : {"65534", "0"}) {
    SCOPED_TRACE(owner);
    const std::string script =
        std::string("mount -t tmpfs none /tmp || exit 77; unset KORVALE_VHID_DIR XDG_RUNTIME_DIR; ") +
        "d=/tmp/korvale-vhid-$(id -u); mkdir -m 0777 $d; chown " + owner + " $d; " +
        "python3 " KORVALE_SOURCE_DIR "/tests/hid/vhid_peer.py --dir $d --name planted --vid 320f "
        "--pid 5064 --interface 1 --descriptor " + descriptor + " </dev/null >/dev/null 2>&1 & peer=$!; " +
        "i=0; while [ ! -S $d/planted.sock ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i+1)); done; " +
        "[ -S $d/planted.sock ] || exit 78; " KORVALE_BIN_DIR "/korvalectl interfaces 2>&1; " +
        "kill $peer; wait; exit 0";
    std::string quoted = "'";
    for (char c : script) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    quoted += "'";
    const ProgramRun r = Korvalectl("", "unshare -m sh -c " + quoted);
    if (r.status == 77) GTEST_SKIP() << "cannot mount a private /tmp";
    ASSERT_EQ(r.status, 0) << r.out;
    EXPECT_NE(r.out.find("refusing to use it"), std::string::npos) << r.out;
    EXPECT_EQ(r.out.find("planted.sock"), std::string::npos) << r.out;
  }
}

TEST(Korvalectl, BadUsageExitsTwoWithOneLineAndWhereToLook) {
  struct Case {
    std::vector<std::string> args;
    const char* reason;
  };
  const Case cases[] = {
      {{}, "korvalectl: missing command\n"},
      {{"frobnicate"}, "korvalectl: unknown command 'frobnicate'\n"},
      {{"--verbose", "interfaces"}, "korvalectl: unknown option '--verbose'\n"},
      {{"interfaces", "extra"}, "korvalectl: interfaces takes no arguments (got 'extra')\n"},
  };
  for (const auto& c : cases) {
    std::ostringstream out, err;
    EXPECT_EQ(korvale::cli::RunKorvalectl(c.args, out, err), korvale::cli::kExitUsage);
    EXPECT_EQ(err.str(), std::string(c.reason) + "see korvalectl --help\n");
    EXPECT_TRUE(out.str().empty());
  }
  std::ostringstream out, err;
  EXPECT_EQ(korvale::cli::RunKorvalectl({"--help"}, out, err), 0);
  EXPECT_NE(out.str().find("interfaces"), std::string::npos);
  EXPECT_TRUE(err.str().empty());
  // The real program's exit status too.
  EXPECT_EQ(Korvalectl("bogus 2>/dev/null").status, 2);
}
