#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>

#include "platform/message_bus.h"
#include "platform/paths.h"
#include "platform/registered_messages.h"
#include "platform/single_instance.h"
#include "platform/trace.h"
#include "tests/shell/shell_test_util.h"
#include "tests/support/wait.h"

namespace fs = std::filesystem;
using namespace korvale;
using korvale::shelltest::TempDir;

namespace {

TEST(RegisteredMessages, NamesGetStableNumbersInTheRegisteredRange) {
  const std::uint32_t a = RegisterWindowMessage("test.registered.alpha");
  const std::uint32_t b = RegisterWindowMessage("test.registered.beta");
  EXPECT_GE(a, kFirstRegisteredMessage);
  EXPECT_LE(a, kLastRegisteredMessage);
  EXPECT_EQ(b, a + 1);
  EXPECT_EQ(RegisterWindowMessage("test.registered.alpha"), a);
  EXPECT_EQ(FindRegisteredMessage("test.registered.beta"), b);
  EXPECT_EQ(RegisteredMessageName(a), "test.registered.alpha");
  EXPECT_FALSE(FindRegisteredMessage("test.registered.never"));
  EXPECT_FALSE(RegisteredMessageName(0x0400));
  EXPECT_EQ(RegisterWindowMessage(""), 0u);
  EXPECT_EQ(RegisterWindowMessage(std::string(kMaxRegisteredNameLength + 1, 'x')), 0u);
  EXPECT_NE(RegisterWindowMessage(std::string(kMaxRegisteredNameLength, 'x')), 0u);
}

TEST(BusNames, TitlesBecomePlainSocketNamesAndBack) {
  for (std::string title : {"KORVALE TX730max", "WorkTool", "../../etc/passwd", "a/b", "100%",
                            "\xE9\x9F\xB3\xE9\xA2\x91"}) {
    const std::string name = bus::SocketNameForTitle(title);
    EXPECT_EQ(name.find('/'), std::string::npos) << title;
    EXPECT_NE(name.rfind(".sock"), std::string::npos);
    EXPECT_EQ(bus::TitleForSocketName(name), title) << name;
  }
  EXPECT_EQ(bus::SocketNameForTitle("KORVALE TX730max"), "KORVALE%20TX730max.sock");
  for (const char* bad : {"x.lock", "%2.sock", "%ZZa.sock", "a b.sock", ".sock"})
    EXPECT_FALSE(bus::TitleForSocketName(bad)) << bad;
}

TEST(BusFrames, DecodeTakesBackWhatEncodeMadeAndNothingElse) {
  const std::vector<std::uint8_t> block{1, 2, 3, 0, 255};
  auto bytes = bus::EncodeFrame(bus::Kind::CopyData, "", 0, 0, -77, block);
  auto f = bus::DecodeFrame(bytes.data(), bytes.size());
  ASSERT_TRUE(f);
  EXPECT_EQ(f->kind, bus::Kind::CopyData);
  EXPECT_EQ(f->lParam, -77);
  EXPECT_EQ(f->data, block);
  bytes = bus::EncodeFrame(bus::Kind::Send, "test.frame", 0, 9, 8, {});
  f = bus::DecodeFrame(bytes.data(), bytes.size());
  ASSERT_TRUE(f);
  EXPECT_EQ(f->name, "test.frame");
  EXPECT_EQ(f->wParam, 9u);
  std::string why;
  bytes.push_back(0);
  EXPECT_FALSE(bus::DecodeFrame(bytes.data(), bytes.size(), &why));
  EXPECT_EQ(why, "bytes after the frame");
  EXPECT_FALSE(bus::DecodeFrame(bytes.data(), 31, &why));
  EXPECT_EQ(why, "truncated frame");
  // What the encoder refuses to make: past the limits, or a registered number without its name.
  EXPECT_TRUE(bus::EncodeFrame(bus::Kind::CopyData, "", 0, 0, 0, std::vector<std::uint8_t>(bus::kMaxDataBytes + 1)).empty());
  EXPECT_TRUE(bus::EncodeFrame(bus::Kind::Post, std::string(256, 'n'), 0, 0, 0, {}).empty());
  EXPECT_TRUE(bus::EncodeFrame(bus::Kind::Post, "", 0xC000, 0, 0, {}).empty());
}

// A bus in its own folder with a window listening under "Target".
class BusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TraceSink::Instance().Clear();
    msgPing = RegisterWindowMessage("test.bus.ping");
    ASSERT_TRUE(server.Listen("Target", [this](const BusMessage& m) {
      EXPECT_EQ(std::this_thread::get_id(), uiThread);
      received.push_back(m);
      return static_cast<std::intptr_t>(m.wParam * 2 + 1);
    }));
  }
  // Runs posted handlers until n messages arrived or the time is up.
  bool WaitFor(std::size_t n, int ms = 3000) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    while (received.size() < n && std::chrono::steady_clock::now() < until) loop.WaitForPosted(50);
    return received.size() >= n;
  }
  // A raw client on the target's socket.
  int RawConnect(const std::string& title = "Target") {
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::string p = (dir.path() / bus::SocketNameForTitle(title)).string();
    std::strncpy(a.sun_path, p.c_str(), sizeof a.sun_path - 1);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0) << p;
    return fd;
  }

  TempDir dir;
  VirtualUiLoop loop;
  std::thread::id uiThread = std::this_thread::get_id();
  MessageBus server{loop, dir.path()};
  MessageBus client{loop, dir.path()};
  std::vector<BusMessage> received;
  std::uint32_t msgPing = 0;
};

TEST_F(BusTest, PostSendAndCopyDataReachTheHandlerOnTheUiThread) {
  EXPECT_TRUE(client.FindWindow("Target"));
  EXPECT_FALSE(client.FindWindow("Nobody"));
  ASSERT_TRUE(client.Post("Target", "test.bus.ping", 0, 7, -3));
  ASSERT_TRUE(client.Post("Target", "", 0x0C11, 2, 0));  // a fixed number travels as is
  ASSERT_TRUE(WaitFor(2));
  EXPECT_EQ(received[0].msg, msgPing);
  EXPECT_EQ(received[0].wParam, 7u);
  EXPECT_EQ(received[0].lParam, -3);
  EXPECT_EQ(received[1].msg, 0x0C11u);

  // A send waits for the result, so it runs on another thread while we pump.
  std::optional<std::intptr_t> sent, copied;
  std::vector<std::uint8_t> block(bus::kMaxDataBytes);
  for (std::size_t i = 0; i < block.size(); ++i) block[i] = static_cast<std::uint8_t>(i * 7);
  std::thread sender([&] {
    sent = client.Send("Target", "test.bus.ping", 0, 20, 0, 3000);
    copied = client.CopyData("Target", 0xABCD, block, 3000);
  });
  ASSERT_TRUE(WaitFor(4));
  sender.join();
  EXPECT_EQ(sent, 41);
  EXPECT_EQ(copied, 1);
  EXPECT_TRUE(received[3].isCopyData);
  EXPECT_EQ(received[3].msg, 0x004Au);
  EXPECT_EQ(received[3].lParam, 0xABCD);
  EXPECT_EQ(received[3].data, block);

  // Posted blocks arrive as copy-data, in order, and no result comes back
  // for them: on one connection, the first result is the send's.
  const std::vector<std::uint8_t> small = {1, 2, 3};
  for (int i = 0; i < 2; ++i) ASSERT_TRUE(client.PostCopyData("Target", 0x10 + i, small, 1000));
  const int raw = RawConnect();
  auto posted = bus::EncodeFrame(bus::Kind::PostCopyData, "", 0, 0, 0x12, small);
  auto ping = bus::EncodeFrame(bus::Kind::Send, "test.bus.ping", 0, 30, 0, {});
  posted.insert(posted.end(), ping.begin(), ping.end());
  ASSERT_EQ(::send(raw, posted.data(), posted.size(), MSG_NOSIGNAL), static_cast<ssize_t>(posted.size()));
  ASSERT_TRUE(WaitFor(8));
  std::int64_t result = 0;
  ASSERT_EQ(::recv(raw, &result, sizeof result, MSG_WAITALL), static_cast<ssize_t>(sizeof result));
  EXPECT_EQ(result, 61);
  ::close(raw);
  for (int i = 0; i < 3; ++i) {
    EXPECT_TRUE(received[4 + i].isCopyData);
    EXPECT_EQ(received[4 + i].lParam, 0x10 + i);
    EXPECT_EQ(received[4 + i].data, small);
  }
  // Over the limit: refused before anything is written.
  EXPECT_FALSE(client.PostCopyData("Target", 1, std::vector<std::uint8_t>(bus::kMaxDataBytes + 1), 1000));
}

TEST_F(BusTest, BroadcastReachesEveryWindowAndSkipsGoneOnes) {
  std::vector<std::uint32_t> other;
  ASSERT_TRUE(client.Listen("Other", [&](const BusMessage& m) {
    other.push_back(m.msg);
    return 0;
  }));
  // A socket file left by a process that is gone (closed without unlinking).
  {
    const fs::path gone = dir.path() / bus::SocketNameForTitle("Gone");
    int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, gone.c_str(), sizeof a.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::chmod(gone.c_str(), 0600), 0);
    ::close(fd);
    ASSERT_TRUE(fs::exists(gone));
  }
  EXPECT_EQ(client.Broadcast("test.bus.ping", 0, 1, 1), 2);
  ASSERT_TRUE(WaitFor(1));
  for (int i = 0; i < 20 && other.empty(); ++i) loop.WaitForPosted(50);
  EXPECT_EQ(other, std::vector<std::uint32_t>{msgPing});
  auto titles = client.Titles();
  std::sort(titles.begin(), titles.end());
  EXPECT_EQ(titles, (std::vector<std::string>{"Other", "Target"}));
}

TEST_F(BusTest, HostileFramesAreDroppedAndTheBusKeepsWorking) {
  auto header = [](bus::Kind kind, std::uint8_t nameLen, std::uint32_t number, std::uint32_t dataLen) {
    bus::FrameHeader h{};
    h.magic = bus::kMagic;
    h.kind = static_cast<std::uint8_t>(kind);
    h.nameLength = nameLen;
    h.number = number;
    h.dataLength = dataLen;
    std::vector<std::uint8_t> out(sizeof h);
    std::memcpy(out.data(), &h, sizeof h);
    return out;
  };
  auto good = bus::EncodeFrame(bus::Kind::Post, "test.bus.ping", 0, 1, 1, {});
  struct Case {
    const char* what;
    std::vector<std::uint8_t> bytes;
    const char* trace;
  };
  std::vector<Case> cases = {
      {"garbage", std::vector<std::uint8_t>(100, 0x5A), "malformed frame"},
      {"oversized block", header(bus::Kind::CopyData, 0, 0, bus::kMaxDataBytes + 1), "over the limit"},
      {"huge length", header(bus::Kind::CopyData, 0, 0, 0xFFFFFFFFu), "over the limit"},
      {"truncated", std::vector<std::uint8_t>(good.begin(), good.end() - 3), "truncated frame"},
      {"header only", std::vector<std::uint8_t>(good.begin(), good.begin() + 10), "truncated frame"},
      {"unknown kind", header(static_cast<bus::Kind>(9), 0, 5, 0), "malformed frame"},
      {"registered number without name", header(bus::Kind::Post, 0, 0xC000, 0), "inconsistent frame"},
      {"bytes on a post", header(bus::Kind::Post, 0, 5, 4), "inconsistent frame"},
      {"name on copy data", header(bus::Kind::CopyData, 3, 0, 0), "inconsistent frame"},
      {"number on copy data", header(bus::Kind::CopyData, 0, 0x10000, 0), "inconsistent frame"},
      {"name not registered", bus::EncodeFrame(bus::Kind::Post, "test.bus.nobody-registered", 0, 1, 1, {}),
       "not registered here"},
  };
  for (const Case& c : cases) {
    TraceSink::Instance().Clear();
    int fd = RawConnect();
    ASSERT_EQ(::send(fd, c.bytes.data(), c.bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(c.bytes.size()));
    ::shutdown(fd, SHUT_WR);
    // The bus closes the connection once it has judged the frame (a reset
    // when it left bytes unread).
    char b;
    EXPECT_LE(::recv(fd, &b, 1, 0), 0) << c.what;
    ::close(fd);
    loop.WaitForPosted(50);
    EXPECT_TRUE(received.empty()) << c.what;
    EXPECT_TRUE(TraceSink::Instance().Contains(c.trace)) << c.what;
  }
  // A send whose frame is dropped gets no answer: the sender sees a failure.
  std::optional<std::intptr_t> r;
  std::thread([&] { r = client.Send("Target", "test.bus.nobody-registered", 0, 1, 1, 2000); }).join();
  EXPECT_FALSE(r);
  // A peer that connects and stalls is cut off at the deadline.
  TraceSink::Instance().Clear();
  int stall = RawConnect();
  ASSERT_EQ(::send(stall, good.data(), 5, MSG_NOSIGNAL), 5);
  char b;
  EXPECT_EQ(::recv(stall, &b, 1, 0), 0);
  ::close(stall);
  EXPECT_TRUE(TraceSink::Instance().Contains("did not finish its frame in time"));
  // After all that the window still hears a proper message.
  ASSERT_TRUE(client.Post("Target", "test.bus.ping", 0, 9, 9));
  ASSERT_TRUE(WaitFor(1));
  EXPECT_EQ(received[0].wParam, 9u);
}

// A bare listening socket standing in for a peer window, so the test sees
// every connection the sender makes.
struct RawWindow {
  explicit RawWindow(fs::path at) : path(std::move(at)) { Open(); }
  ~RawWindow() {
    for (int fd : {conn, listener})
      if (fd >= 0) ::close(fd);
  }
  void Open() {
    ::unlink(path.c_str());
    listener = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    std::strncpy(a.sun_path, path.c_str(), sizeof a.sun_path - 1);
    EXPECT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    EXPECT_EQ(::chmod(path.c_str(), 0600), 0);
    EXPECT_EQ(::listen(listener, 4), 0);
  }
  // Whether a new connection waits to be accepted.
  bool Pending() {
    pollfd p{listener, POLLIN, 0};
    return ::poll(&p, 1, 0) == 1;
  }
  void Accept() {
    if (conn >= 0) ::close(conn);
    conn = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
  }
  // The wParam of the next whole frame on the accepted connection.
  std::optional<std::uint64_t> NextFrame() {
    std::vector<std::uint8_t> bytes(sizeof(bus::FrameHeader));
    if (::recv(conn, bytes.data(), bytes.size(), MSG_WAITALL) != static_cast<ssize_t>(bytes.size()))
      return std::nullopt;
    auto f = bus::DecodeFrame(bytes.data(), bytes.size());
    return f ? std::optional<std::uint64_t>(f->wParam) : std::nullopt;
  }
  fs::path path;
  int listener = -1;
  int conn = -1;
};

TEST_F(BusTest, ASenderKeepsOneConnectionPerWindowAndRemakesItWhenThePeerGoes) {
  RawWindow peer(dir.path() / bus::SocketNameForTitle("Raw"));
  auto post = [&](std::uint64_t n) { return client.Post("Raw", "", 0x0C11, n, 0); };
  for (std::uint64_t n = 0; n < 3; ++n) ASSERT_TRUE(post(n));
  peer.Accept();
  for (std::uint64_t n = 0; n < 3; ++n) EXPECT_EQ(peer.NextFrame(), n);
  EXPECT_FALSE(peer.Pending()) << "three posts, one connection";

  // The peer hangs up: the next post comes on a new connection.
  ::close(peer.conn);
  peer.conn = -1;
  ASSERT_TRUE(post(3));
  ASSERT_TRUE(peer.Pending());
  peer.Accept();
  EXPECT_EQ(peer.NextFrame(), 3u);

  // Another listener takes the name while the old connection stays open (a
  // window that restarted): the post goes to the new one.
  const int oldListener = peer.listener;
  peer.Open();
  ASSERT_TRUE(post(4));
  ASSERT_TRUE(peer.Pending());
  peer.Accept();
  EXPECT_EQ(peer.NextFrame(), 4u);
  ::close(oldListener);
}

TEST_F(BusTest, APostAfterTheWindowRestartsStillArrives) {
  ASSERT_TRUE(client.Post("Target", "test.bus.ping", 0, 1, 0));
  ASSERT_TRUE(WaitFor(1));
  server.Unlisten("Target");
  MessageBus restarted(loop, dir.path());
  std::vector<std::uint64_t> heard;
  ASSERT_TRUE(restarted.Listen("Target", [&](const BusMessage& m) {
    heard.push_back(m.wParam);
    return static_cast<std::intptr_t>(m.wParam + 100);
  }));
  ASSERT_TRUE(client.Post("Target", "test.bus.ping", 0, 2, 0));
  std::optional<std::intptr_t> sent;
  std::thread sender([&] { sent = client.Send("Target", "test.bus.ping", 0, 3, 0, 3000); });
  EXPECT_TRUE(korvale::testing::PumpUntil(loop, [&] { return heard.size() >= 2; }));
  sender.join();
  EXPECT_EQ(heard, (std::vector<std::uint64_t>{2, 3}));
  EXPECT_EQ(sent, 103);
  EXPECT_EQ(received.size(), 1u);
}

TEST_F(BusTest, AConnectionServesFrameAfterFrameUntilABadOneClosesIt) {
  int fd = RawConnect();
  std::vector<std::uint8_t> bytes;
  for (auto [kind, w] : {std::pair{bus::Kind::Send, 1}, {bus::Kind::Post, 2}, {bus::Kind::Send, 3}}) {
    auto f = bus::EncodeFrame(kind, "test.bus.ping", 0, static_cast<std::uint64_t>(w), 0, {});
    bytes.insert(bytes.end(), f.begin(), f.end());
  }
  ASSERT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL), static_cast<ssize_t>(bytes.size()));
  ASSERT_TRUE(WaitFor(3));
  std::int64_t results[2] = {};
  ASSERT_EQ(::recv(fd, results, sizeof results, MSG_WAITALL), static_cast<ssize_t>(sizeof results));
  EXPECT_EQ(results[0], 3);  // the sends' results, in their order
  EXPECT_EQ(results[1], 7);
  // Idle past the frame deadline between frames is fine on a lasting connection.
  pollfd p{fd, POLLIN, 0};
  EXPECT_EQ(::poll(&p, 1, static_cast<int>(bus::kFrameDeadlineMs) + 500), 0) << "the bus hung up on an idle peer";

  const std::vector<std::uint8_t> garbage(40, 0x5A);
  ASSERT_EQ(::send(fd, garbage.data(), garbage.size(), MSG_NOSIGNAL), static_cast<ssize_t>(garbage.size()));
  char b;
  EXPECT_LE(::recv(fd, &b, 1, 0), 0);
  ::close(fd);
  EXPECT_TRUE(TraceSink::Instance().Contains("malformed frame header; connection closed"));
  ASSERT_TRUE(client.Post("Target", "test.bus.ping", 0, 4, 0));
  ASSERT_TRUE(WaitFor(4));
  EXPECT_EQ(received.size(), 4u);
  EXPECT_EQ(received[3].wParam, 4u);
}

TEST_F(BusTest, ASendWaitingForItsResultNeitherBlocksOthersNorLeavesItsLateResultBehind) {
  // Nobody runs the handler in time: the send fails, and its result, written
  // later, is not taken for the next send's.
  std::optional<std::intptr_t> late = std::intptr_t{0};
  std::thread([&] { late = client.Send("Target", "test.bus.ping", 0, 5, 0, 200); }).join();
  EXPECT_FALSE(late);
  ASSERT_TRUE(WaitFor(1));

  // While a send waits on the window, a post from another thread goes at once.
  std::optional<std::intptr_t> waiting;
  std::thread sender([&] { waiting = client.Send("Target", "test.bus.ping", 0, 6, 0, 3000); });
  ASSERT_TRUE(korvale::testing::WaitFor([&] { return loop.PendingCount() == 1; }));
  EXPECT_TRUE(client.Post("Target", "test.bus.ping", 0, 7, 0));
  ASSERT_TRUE(WaitFor(3));
  sender.join();
  EXPECT_EQ(waiting, 13);
  EXPECT_EQ(received[1].wParam, 6u);
  EXPECT_EQ(received[2].wParam, 7u);
}

TEST_F(BusTest, CopyDataPastTheLimitIsNotSent) {
  std::optional<std::intptr_t> r = std::intptr_t{5};
  std::thread([&] { r = client.CopyData("Target", 1, std::vector<std::uint8_t>(bus::kMaxDataBytes + 1), 1000); })
      .join();
  EXPECT_FALSE(r);
  EXPECT_TRUE(TraceSink::Instance().Contains("over the limit"));
  loop.WaitForPosted(100);
  EXPECT_TRUE(received.empty());
}

TEST_F(BusTest, SocketsOthersCouldOpenAreNeverUsed) {
  // A socket that anyone may connect to, as another program might leave it.
  const fs::path loose = dir.path() / bus::SocketNameForTitle("Loose");
  int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  std::strncpy(a.sun_path, loose.c_str(), sizeof a.sun_path - 1);
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(fd, 4), 0);
  ASSERT_EQ(::chmod(loose.c_str(), 0666), 0);
  EXPECT_FALSE(client.FindWindow("Loose"));
  EXPECT_FALSE(client.Post("Loose", "test.bus.ping", 0, 1, 1));
  EXPECT_TRUE(TraceSink::Instance().Contains("not a private socket"));
  EXPECT_EQ(client.Broadcast("test.bus.ping", 0, 1, 1), 1);  // only Target
  // A plain file under a window's name is not a window either.
  std::FILE* f = std::fopen((dir.path() / bus::SocketNameForTitle("File")).c_str(), "w");
  std::fclose(f);
  ::chmod((dir.path() / bus::SocketNameForTitle("File")).c_str(), 0600);
  EXPECT_FALSE(client.FindWindow("File"));
  // Listening under the loose name replaces it with a private socket.
  ASSERT_TRUE(client.Listen("Loose", [](const BusMessage&) { return 0; }));
  struct stat st{};
  ASSERT_EQ(::lstat(loose.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);
  EXPECT_TRUE(client.FindWindow("Loose"));
  ::close(fd);
}

TEST_F(BusTest, OneListenerPerTitleAndUnlistenRemovesTheWindow) {
  MessageBus third(loop, dir.path());
  EXPECT_FALSE(third.Listen("Target", [](const BusMessage&) { return 0; }));
  EXPECT_TRUE(TraceSink::Instance().Contains("already listens"));
  server.Unlisten("Target");
  EXPECT_FALSE(client.FindWindow("Target"));
  EXPECT_FALSE(client.Post("Target", "test.bus.ping", 0, 1, 1));
  EXPECT_TRUE(third.Listen("Target", [](const BusMessage&) { return 0; }));
}

TEST_F(BusTest, APostQueuedBeforeUnlistenNeverRunsAfterIt) {
  ASSERT_TRUE(client.Post("Target", "test.bus.ping", 0, 1, 1));
  // Give the bus thread time to queue the handler, but do not run it yet.
  for (int i = 0; i < 100 && loop.PendingCount() == 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_EQ(loop.PendingCount(), 1u);
  server.Unlisten("Target");
  loop.RunPending();
  EXPECT_TRUE(received.empty());
}

TEST(BusFolder, AWideFolderOfOursIsNarrowedAndAForeignPathRefused) {
  TempDir dir;
  VirtualUiLoop loop;
  const fs::path busDir = dir.path() / "korvale-bus";
  fs::create_directories(busDir);
  ::chmod(busDir.c_str(), 0777);
  MessageBus b(loop, busDir);
  ASSERT_TRUE(b.Listen("W", [](const BusMessage&) { return 0; }));
  struct stat st{};
  ASSERT_EQ(::stat(busDir.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  // A symbolic link in place of the folder is not followed.
  const fs::path link = dir.path() / "linked-bus";
  fs::create_directory_symlink(busDir, link);
  MessageBus viaLink(loop, link);
  EXPECT_FALSE(viaLink.Listen("X", [](const BusMessage&) { return 0; }));
}

TEST(SingleInstance, OneOwnerAtATimeAndTheLockGoesWithItsHolder) {
  TempDir dir;
  auto first = std::make_unique<SingleInstance>("KORVALE TX730max", dir.path());
  EXPECT_EQ(first->GetState(), SingleInstance::State::Owner);
  EXPECT_EQ(first->LockPath().parent_path(), dir.path());
  EXPECT_TRUE(IsPlainFileName(first->LockPath().filename().string()));
  SingleInstance second("KORVALE TX730max", dir.path());
  EXPECT_EQ(second.GetState(), SingleInstance::State::AlreadyRunning);
  SingleInstance otherName("Another Product", dir.path());
  EXPECT_EQ(otherName.GetState(), SingleInstance::State::Owner);
  first.reset();
  SingleInstance third("KORVALE TX730max", dir.path());
  EXPECT_EQ(third.GetState(), SingleInstance::State::Owner);
  // A lock folder that cannot exist leaves the program unprotected, not stopped.
  std::FILE* f = std::fopen((dir.path() / "file").c_str(), "w");
  std::fclose(f);
  SingleInstance nowhere("KORVALE TX730max", dir.path() / "file" / "sub");
  EXPECT_EQ(nowhere.GetState(), SingleInstance::State::Unavailable);
}

}  // namespace
