// Command exchanges against emulated devices over the virtual bus: the cost
// of one exchange with a device that answers at once, and whole transfers
// with a link that takes 1 ms per report, compared with that link's bound.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "emulator/emulator.h"
#include "hid/hid_device.h"
#include "protocol/device_comm.h"

namespace {

using namespace korvale;
using namespace korvale::proto;
using emu::Endpoint;

struct Rig {
  std::filesystem::path dir;
  std::unique_ptr<emu::Emulator> emulator;
  std::unique_ptr<CDeviceComm> comm;

  Rig(Endpoint e, int mode, std::chrono::microseconds cost) {
    std::string tmpl = (std::filesystem::temp_directory_path() / "korvale-bench-XXXXXX").string();
    dir = ::mkdtemp(tmpl.data());
    ::setenv("KORVALE_VHID_DIR", (dir / "bus").c_str(), 1);
    CHidDevice::SetHidrawEnabled(false);
    emulator = std::make_unique<emu::Emulator>(dir / "bus");
    emulator->Add(e);
    emulator->SetReportCost(cost);
    emulator->Start();
    comm = std::make_unique<CDeviceComm>();
    CHidDevice lister;
    lister.Enumerate();
    const std::string want = std::string("/") + emu::EndpointName(e) + ".sock#";
    while (const char* p = lister.NextPath()) {
      const std::string path = p;
      if (path.find(want) != std::string::npos && path.find("&col04") != std::string::npos) {
        CHidDevice& ch = mode == kModeReceiver ? comm->receiverChannel : comm->cableChannel;
        ch.Open(path, true, true, true, false);
      }
    }
    comm->SetConnectionMode(mode);
    comm->opened = 1;
  }
  ~Rig() {
    comm.reset();
    emulator->Stop();
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
};

// Pins the calling thread, and every thread it starts meanwhile, to the core
// it is on; the old mask comes back at the end. A device that answers at once
// is then woken on the caller's core: across cores this virtual machine
// charges 15-20 us for each wake-up of an idle core, for any two threads.
class OneCore {
 public:
  explicit OneCore(bool on) : on_(on) {
    if (!on_) return;
    pthread_getaffinity_np(pthread_self(), sizeof old_, &old_);
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(sched_getcpu(), &one);
    pthread_setaffinity_np(pthread_self(), sizeof one, &one);
  }
  ~OneCore() {
    if (on_) pthread_setaffinity_np(pthread_self(), sizeof old_, &old_);
  }
  OneCore(const OneCore&) = delete;
  OneCore& operator=(const OneCore&) = delete;

 private:
  bool on_;
  cpu_set_t old_{};
};

// Args: quiet (0 traced, 1 quiet), one core (0 across cores, 1 on one).
void BM_Exchange(benchmark::State& state) {
  const bool quiet = state.range(0) != 0;
  const bool oneCore = state.range(1) != 0;
  OneCore pin(oneCore);
  Rig rig(Endpoint::Keyboard, kModeCable, std::chrono::microseconds(0));
  uint8_t cmd[kPacketSize] = {kCommandReportId, 0, 0, kLightControl};
  SealPacket(cmd);
  uint8_t answer[kPacketSize];
  uint32_t n = 0;
  for (auto _ : state) {
    const int r = quiet ? rig.comm->ExchangeQuiet(cmd, sizeof cmd, answer, sizeof answer, &n)
                        : rig.comm->Exchange(cmd, sizeof cmd, answer, sizeof answer, &n);
    if (r != CMD_OK) {
      state.SkipWithError("exchange failed");
      break;
    }
  }
  state.SetItemsProcessed(state.iterations());
  state.SetLabel(std::string(quiet ? "quiet" : "traced") + (oneCore ? ", one core" : ", across cores"));
}
BENCHMARK(BM_Exchange)->ArgNames({"quiet", "one_core"})->ArgsProduct({{0, 1}, {0, 1}});

// The floor under an exchange: a bare round trip of one bus-sized frame
// between two threads over a Unix stream socket pair, each waiting in poll
// as the program and the emulator do. Arg: one core (0 across cores, 1 on one).
void BM_SocketRoundTrip(benchmark::State& state) {
  OneCore pin(state.range(0) != 0);
  int sv[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sv) != 0) {
    state.SkipWithError("socketpair failed");
    return;
  }
  constexpr std::size_t kFrame = 3 + 65;  // frame header and a 65-byte report
  std::thread echo([fd = sv[1]] {
    uint8_t buf[kFrame];
    for (;;) {
      pollfd p{fd, POLLIN, 0};
      if (::poll(&p, 1, 5000) <= 0) return;
      const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
      if (n <= 0) return;
      if (::send(fd, buf, static_cast<std::size_t>(n), MSG_NOSIGNAL) != n) return;
    }
  });
  uint8_t out[kFrame] = {1, 2, 3}, in[kFrame];
  for (auto _ : state) {
    if (::send(sv[0], out, sizeof out, MSG_NOSIGNAL) != static_cast<ssize_t>(sizeof out)) {
      state.SkipWithError("send failed");
      break;
    }
    std::size_t got = 0;
    while (got < sizeof in) {
      pollfd p{sv[0], POLLIN, 0};
      if (::poll(&p, 1, 1000) <= 0) break;
      const ssize_t n = ::recv(sv[0], in + got, sizeof in - got, MSG_DONTWAIT);
      if (n <= 0) break;
      got += static_cast<std::size_t>(n);
    }
    if (got != sizeof in) {
      state.SkipWithError("no echo");
      break;
    }
  }
  ::shutdown(sv[0], SHUT_RDWR);
  echo.join();
  ::close(sv[0]);
  ::close(sv[1]);
  state.SetLabel(state.range(0) != 0 ? "one core" : "across cores");
}
BENCHMARK(BM_SocketRoundTrip)->ArgName("one_core")->Arg(0)->Arg(1);

// A 510-byte transfer with 1 ms per report; the ratio compares the wall time
// with packets x 2 ms (command and answer).
template <typename Run>
void LinkBound(benchmark::State& state, Endpoint e, int mode, Run run) {
  Rig rig(e, mode, std::chrono::milliseconds(1));
  rig.comm->SetTransferLength(510);
  const std::vector<uint8_t> data(510, 0x5A);
  const uint32_t chunk = rig.comm->chunkSize;
  const double packets = (510 + chunk - 1) / chunk;
  double seconds = 0;
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    const int r = run(*rig.comm, data.data());
    seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    if (r != CMD_OK) {
      state.SkipWithError("transfer failed");
      break;
    }
  }
  const double bound = packets * 2e-3 * static_cast<double>(state.iterations());
  state.counters["packets"] = packets;
  state.counters["ratio_to_link_bound"] = seconds / bound;
}

void BM_WriteKeyTable510_Cable(benchmark::State& s) {
  LinkBound(s, Endpoint::MouseCable, kModeCable,
            [](CDeviceComm& c, const uint8_t* d) { return c.WriteKeyTable(d, 0); });
}
void BM_WriteKeyTable510_Receiver(benchmark::State& s) {
  LinkBound(s, Endpoint::MouseReceiver, kModeReceiver,
            [](CDeviceComm& c, const uint8_t* d) { return c.WriteKeyTable(d, 0); });
}
void BM_StreamLed510_Cable(benchmark::State& s) {
  LinkBound(s, Endpoint::MouseCable, kModeCable,
            [](CDeviceComm& c, const uint8_t* d) { return c.StreamLed(d, 510); });
}
void BM_StreamLed510_Receiver(benchmark::State& s) {
  LinkBound(s, Endpoint::MouseReceiver, kModeReceiver,
            [](CDeviceComm& c, const uint8_t* d) { return c.StreamLed(d, 510); });
}
BENCHMARK(BM_WriteKeyTable510_Cable)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WriteKeyTable510_Receiver)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StreamLed510_Cable)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StreamLed510_Receiver)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
