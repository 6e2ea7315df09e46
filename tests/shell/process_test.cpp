// The korvale program as a process: single instance across processes, the
// wake-up, registered names across processes, orderly stop, screenshots and
// the command line.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/message_bus.h"
#include "platform/registered_messages.h"
#include "platform/single_instance.h"
#include "tests/shell/shell_test_util.h"
#include "tests/support/emu_process.h"
#include "tests/support/wait.h"
#include "ui/app_messages.h"

namespace fs = std::filesystem;
using namespace korvale;
using korvale::shelltest::TempDir;

namespace {

const fs::path kKorvale = fs::path(KORVALE_BIN_DIR) / "korvale";

// One korvale process with private XDG folders; its stderr goes to a file.
class KorvaleProcess {
 public:
  KorvaleProcess(const fs::path& home, std::vector<std::string> args, const std::string& logName,
                 const fs::path& vhidDir = {}, const fs::path& exe = kKorvale) {
    log_ = home / logName;
    pid_ = ::fork();
    if (pid_ == 0) {
      setenv("XDG_RUNTIME_DIR", (home / "run").c_str(), 1);
      setenv("XDG_DATA_HOME", (home / "data").c_str(), 1);
      setenv("XDG_CONFIG_HOME", (home / "config").c_str(), 1);
      setenv("KORVALE_TRACE", "1", 1);
      setenv("KORVALE_VHID_DIR", (vhidDir.empty() ? home / "vhid-none" : vhidDir).c_str(), 1);
      setenv("QT_QPA_PLATFORM", "offscreen", 1);
      std::FILE* f = std::freopen(log_.c_str(), "w", stderr);
      (void)f;
      std::freopen((home / (logName + ".out")).c_str(), "w", stdout);
      std::vector<char*> argv{const_cast<char*>(exe.c_str())};
      for (auto& a : args) argv.push_back(a.data());
      argv.push_back(nullptr);
      ::execv(exe.c_str(), argv.data());
      ::_exit(127);
    }
  }
  ~KorvaleProcess() {
    if (pid_ > 0 && !exited_) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
  }
  // The exit status, or -1 when still running after ms.
  int WaitExit(int ms) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      int status = 0;
      if (::waitpid(pid_, &status, WNOHANG) == pid_) {
        exited_ = true;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      }
      if (std::chrono::steady_clock::now() >= until) return -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  void Signal(int sig) { ::kill(pid_, sig); }
  std::string Log() const {
    std::ifstream in(log_);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  // Waits until the log contains one of needles.
  bool WaitLog(std::vector<std::string> needles, int ms) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    auto found = [&] {
      const std::string log = Log();
      for (auto& n : needles)
        if (log.find(n) != std::string::npos) return true;
      return false;
    };
    while (!found()) {
      if (std::chrono::steady_clock::now() >= until) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  }

 private:
  fs::path log_;
  pid_t pid_ = -1;
  bool exited_ = false;
};

class KorvaleProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(home.path() / "run");
    fs::permissions(home.path() / "run", fs::perms::owner_all);
  }
  fs::path BusDir() const { return home.path() / "run" / "korvale-bus"; }
  bool WaitForWindow(MessageBus& bus, int ms) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (!bus.FindWindow(kAppIdentity)) {
      if (std::chrono::steady_clock::now() >= until) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  }
  TempDir home;
  VirtualUiLoop loop;
};

TEST_F(KorvaleProcessTest, SecondStartWakesTheFirstAndBothEndWithZero) {
  // Our numbers differ from the program's: it registers the identity first.
  RegisterWindowMessage("test.process.padding");
  const std::uint32_t ours = RegisterWindowMessage(kAppIdentity);
  ASSERT_NE(ours, kFirstRegisteredMessage);

  KorvaleProcess first(home.path(), {}, "first.log");
  MessageBus bus(loop, BusDir());
  ASSERT_TRUE(WaitForWindow(bus, 15000)) << first.Log();
  const std::string theirs = std::to_string(kFirstRegisteredMessage);
  EXPECT_NE(first.Log().find("软件标示：" + theirs), std::string::npos);

  KorvaleProcess second(home.path(), {}, "second.log");
  EXPECT_EQ(second.WaitExit(15000), 0) << second.Log();
  EXPECT_NE(second.Log().find("reached 1 window"), std::string::npos) << second.Log();
  // Screenshots asked of a second start are not silently skipped.
  KorvaleProcess shots(home.path(), {"--screenshots", (home.path() / "shots").string()}, "shots.log");
  EXPECT_EQ(shots.WaitExit(15000), 1) << shots.Log();
  EXPECT_NE(shots.Log().find("already running"), std::string::npos) << shots.Log();
  // The wake-up: posted with wParam 0, lParam 1, seen under the first's own
  // number (the trace prints both in hexadecimal, with or without a "d" after each).
  const std::string wake = "软件标示 " + theirs + "，";
  EXPECT_TRUE(first.WaitLog({wake + "0d1d", wake + "01"}, 5000)) << first.Log();

  // A message posted by name arrives under the receiver's number.
  ASSERT_TRUE(bus.Post(kAppIdentity, kAppIdentity, 0, 5, 6));
  EXPECT_TRUE(first.WaitLog({wake + "5d6d", wake + "56"}, 5000)) << first.Log();
  // The first is still the only instance.
  EXPECT_EQ(first.WaitExit(0), -1);

  first.Signal(SIGTERM);
  EXPECT_EQ(first.WaitExit(15000), 0) << first.Log();
  EXPECT_FALSE(bus.FindWindow(kAppIdentity));
  EXPECT_EQ(SingleInstance(kAppIdentity, home.path() / "run").GetState(), SingleInstance::State::Owner);
}

TEST_F(KorvaleProcessTest, ScreenshotsAreWrittenAndTheProgramExits) {
  const fs::path shots = home.path() / "shots";
  KorvaleProcess p(home.path(), {"--screenshots", shots.string()}, "shots.log");
  ASSERT_EQ(p.WaitExit(30000), 0) << p.Log();
  std::ifstream png(shots / "main.png", std::ios::binary);
  ASSERT_TRUE(png.good());
  std::vector<unsigned char> head(24);
  png.read(reinterpret_cast<char*>(head.data()), 24);
  EXPECT_EQ(std::string(head.begin() + 1, head.begin() + 4), "PNG");
  auto be32 = [&](int at) { return head[at] << 24 | head[at + 1] << 16 | head[at + 2] << 8 | head[at + 3]; };
  // At least the size the window is created with (the window may scale up).
  EXPECT_GE(be32(16), 800);
  EXPECT_GE(be32(20), 572);
  // The secondary windows, each opened from its button or tray item.
  for (const char* name : {"settings.png", "about.png", "palette.png", "skin.png"})
    EXPECT_TRUE(fs::is_regular_file(shots / name)) << name << "\n" << p.Log();
}

TEST_F(KorvaleProcessTest, ScreenshotsShowEachPageOfTheEmulatedDevices) {
  const fs::path vhid = home.path() / "vhid";
  fs::create_directories(vhid);
  korvale::testing::EmuProcess emu;
  ASSERT_TRUE(emu.Start({"--dir", vhid.string()}));
  // Each device prints its line once it is on the bus: keyboard, mouse, mousepad, headset.
  for (int i = 0; i < 4; ++i) ASSERT_FALSE(emu.Line().empty()) << i;
  const fs::path shots = home.path() / "shots";
  KorvaleProcess p(home.path(), {"--screenshots", shots.string()}, "pages.log", vhid);
  ASSERT_EQ(p.WaitExit(60000), 0) << p.Log();
  EXPECT_TRUE(fs::is_regular_file(shots / "main.png"));
  // A page for each visible tile, named by its place in the page list (the
  // mouse's page comes first; through its receiver its tile may still be
  // waiting for the radio link): the keyboard's at least.
  std::vector<fs::path> pages;
  for (const auto& e : fs::directory_iterator(shots))
    if (e.path().filename().string().rfind("page-", 0) == 0) pages.push_back(e.path());
  ASSERT_FALSE(pages.empty()) << p.Log();
  // A drawn page compresses to a good part of the main window's shot; a blank one to almost nothing.
  // (The mouse page's large dark areas compress to about half.)
  for (const fs::path& page : pages) EXPECT_GT(fs::file_size(page), fs::file_size(shots / "main.png") / 3) << page;
}

// The window's first frame comes before any device page is built and before
// the first start's writes; every device's page and every write follow it.
TEST_F(KorvaleProcessTest, TheFirstFrameComesBeforeDevicePagesAndFirstStartWrites) {
  const fs::path vhid = home.path() / "vhid";
  fs::create_directories(vhid);
  korvale::testing::EmuProcess emu;
  ASSERT_TRUE(emu.Start({"--dir", vhid.string()}));
  for (int i = 0; i < 4; ++i) ASSERT_FALSE(emu.Line().empty()) << i;
  KorvaleProcess p(home.path(), {}, "first-paint.log", vhid);
  const auto count = [](const std::string& log, const std::string& what) {
    std::size_t n = 0;
    for (auto at = log.find(what); at != std::string::npos; at = log.find(what, at + 1)) ++n;
    return n;
  };
  ASSERT_TRUE(p.WaitLog({"window painted"}, 30000)) << p.Log();
  korvale::testing::WaitFor([&] { return count(p.Log(), "device list: page of") >= 4; }, 30000);
  const std::string log = p.Log();
  EXPECT_EQ(count(log, "device list: page of"), 4u) << log;
  EXPECT_LT(log.find("window painted"), log.find("device list: page of")) << log;
  EXPECT_LT(log.find("window painted"), log.find("写成功")) << "the language's store" << log;
  EXPECT_TRUE(fs::is_regular_file(home.path() / "config" / "KORVALE TX730max" / "settings.json"));
  EXPECT_TRUE(fs::is_regular_file(home.path() / "data" / "KORVALE TX730max" / "AudioFile.json"));
  p.Signal(SIGTERM);
  EXPECT_EQ(p.WaitExit(20000), 0) << p.Log();
}

// Every number the main window handles, sent over the bus with parameters a
// pointer-reading handler would follow; the program must take each as values.
TEST_F(KorvaleProcessTest, HostileParametersOnEveryHandledMessageLeaveTheProgramRunning) {
  KorvaleProcess p(home.path(), {}, "sweep.log");
  MessageBus bus(loop, BusDir());
  ASSERT_TRUE(WaitForWindow(bus, 15000)) << p.Log();
  // WM_CLOSE is left out: offscreen there is no tray, so a close rightly ends
  // the program.
  const std::uint32_t fixed[] = {
      0x0001 /*create*/,    0x0002 /*destroy*/,     0x0006 /*activate*/,
      0x004A /*copydata*/,  0x007E /*displaychange*/, 0x0112 /*syscommand*/, 0x0113 /*timer*/,
      0x0218 /*power*/,     0x02A1 /*hover*/,       0x02A3 /*leave*/,     0x02E0 /*dpichanged*/,
      WM_TRAY_NOTIFY,       WM_HOOK_CONTROL,        WM_MENU_COMMAND,      WM_DPI_NOTE,
      WM_SHOW_PROGRESS,     WM_LANGUAGE_CHANGED,    WM_DEVICE_BOUND,      WM_DEVICE_LOST,
      WM_OPEN_SETTINGS,     WM_UPDATE_IS_LATEST,    WM_DEVICE_STATUS4,    WM_RESERVED_3330,
      WM_TILE_LINK};
  std::vector<std::string> named{kAppIdentity, kUpdateStatusMsgName, kLightControlSetMsgName,
                                 kWorkToolQueryMsgName};
  for (const char* n : kHookMessageNames) named.emplace_back(n);
  for (const char* n : kGameMessageNames) named.emplace_back(n);
  struct Params {
    std::uint64_t w;
    std::int64_t l;
  };
  const Params hostile[] = {{0, 16},
                            {16, 16},
                            {~0ull, -1},
                            {1ull << 63, INT64_MIN},
                            {0x7FFD00001000ull, 0x7FFD00001000ll},
                            {0xFFFFFFFFull, 0xFFFFFFFFll},
                            {0x10000ull | 144, 0x1234}};
  int sent = 0;
  auto sweep = [&](std::string_view name, std::uint32_t number) {
    for (const Params& h : hostile) {
      // A send waits until the program has handled it, so a crash shows at
      // the message that caused it.
      const auto r = bus.Send(kAppIdentity, name, number, h.w, h.l, 5000);
      ASSERT_TRUE(r.has_value()) << "message " << (name.empty() ? std::to_string(number) : std::string(name))
                                 << " w=" << h.w << " l=" << h.l << "\n" << p.Log();
      ++sent;
      // A suspend would make the rest of the sweep a no-op: resume at once.
      if (number == 0x0218) {
        ASSERT_TRUE(bus.Send(kAppIdentity, "", 0x0218, 18, 0, 5000).has_value());
      }
    }
  };
  for (std::uint32_t n : fixed) sweep("", n);
  for (const std::string& n : named) sweep(n, 0);
  // Copy-data blocks of every size around the DPI rectangle's.
  for (std::size_t size : {0, 1, 16, 19, 21, 64})
    ASSERT_TRUE(bus.CopyData(kAppIdentity, 0x2E0, std::vector<std::uint8_t>(size, 0xFF), 5000).has_value()) << size;
  EXPECT_EQ(sent, static_cast<int>((std::size(fixed) + named.size()) * std::size(hostile)));
  EXPECT_EQ(p.WaitExit(0), -1) << p.Log();
  EXPECT_TRUE(bus.FindWindow(kAppIdentity));
  const std::string log = p.Log();
  EXPECT_NE(log.find("WM_COPYDATA without a block; dropped"), std::string::npos) << log;
  EXPECT_NE(log.find("dpi rectangle of 16 bytes, not 20; dropped"), std::string::npos) << log;
  EXPECT_NE(log.find("message 0x2 is the window system's own; dropped"), std::string::npos) << log;
  p.Signal(SIGTERM);
  EXPECT_EQ(p.WaitExit(15000), 0) << p.Log();
}

// A broken installation: the program finds its data beside its own folder,
// so a second copy of it (a hard link inside the build tree) gets a data
// folder of its own with parts missing. It says which, on the screen (saved
// by --screenshots) and on stderr, and exits with 3 instead of a blank window.
TEST_F(KorvaleProcessTest, AMissingDataFolderIsAnErrorOnScreenAndInTheExitCode) {
  std::string tmpl = (fs::path(KORVALE_BIN_DIR).parent_path() / "reloc-XXXXXX").string();
  ASSERT_NE(::mkdtemp(tmpl.data()), nullptr);
  const fs::path root = tmpl;
  const fs::path data = root / "share" / "korvale";
  const fs::path real = fs::path(KORVALE_BIN_DIR).parent_path() / "share" / "korvale";
  fs::create_directories(root / "bin");
  fs::create_directories(data);
  std::error_code ec;
  fs::create_hard_link(kKorvale, root / "bin" / "korvale", ec);
  if (ec) fs::copy_file(kKorvale, root / "bin" / "korvale");
  struct Case {
    std::vector<const char*> present;  // linked to the real data folder's
    const char* missing;
  };
  const Case cases[] = {
      {{}, "skin"},
      {{"skin", "Language"}, "DefaultData"},
  };
  int n = 0;
  for (const Case& c : cases) {
    for (const char* sub : c.present)
      if (!fs::exists(data / sub)) fs::create_directory_symlink(real / sub, data / sub);
    const fs::path shots = home.path() / ("error-shots" + std::to_string(n));
    KorvaleProcess p(home.path(), {"--screenshots", shots.string()}, "data" + std::to_string(n++) + ".log", {},
                     root / "bin" / "korvale");
    EXPECT_EQ(p.WaitExit(30000), 3) << p.Log();
    EXPECT_NE(p.Log().find("the data folder " + (data / c.missing).string() + " is missing or unreadable"),
              std::string::npos)
        << p.Log();
    EXPECT_TRUE(fs::is_regular_file(shots / "error.png")) << c.missing;
    EXPECT_FALSE(fs::exists(shots / "main.png"));
  }
  fs::remove_all(root, ec);
}

TEST_F(KorvaleProcessTest, CommandLineIsCheckedAndUsageGiven) {
  struct Case {
    std::vector<std::string> args;
    int code;
    const char* text;
  };
  const Case cases[] = {
      {{"--help"}, 0, nullptr},
      {{"--bogus"}, 2, "unexpected argument: --bogus"},
      {{"--screenshots"}, 2, "unexpected argument: --screenshots"},
      {{"--screenshots", home.path().string(), "extra"}, 2, "unexpected argument: extra"},
      {{"--screenshot-delay", "soon"}, 2, "--screenshot-delay wants milliseconds from 0 to 60000, not soon"},
      {{"--screenshot-delay", "60001"}, 2, "not 60001"},
      {{"--screenshot-delay", "-1"}, 2, "not -1"},
      {{"--screenshot-delay"}, 2, "unexpected argument: --screenshot-delay"},
  };
  int n = 0;
  for (const Case& c : cases) {
    KorvaleProcess p(home.path(), c.args, "cli" + std::to_string(n++) + ".log");
    EXPECT_EQ(p.WaitExit(15000), c.code) << c.args[0];
    if (c.text != nullptr) {
      EXPECT_NE(p.Log().find(c.text), std::string::npos) << p.Log();
      EXPECT_NE(p.Log().find("usage: korvale"), std::string::npos);
    }
  }
}

}  // namespace
