// korvale-audio: captures what the desktop plays and streams its spectrum to
// the korvale main window over the message bus.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

#include "companions/audio_companion.h"
#include "companions/pulse_capture.h"
#include "companions/band_analysis.h"
#include "companions/wav_file.h"
#include "platform/message_bus.h"
#include "platform/registered_messages.h"
#include "platform/single_instance.h"
#include "platform/trace.h"
#include "platform/ui_loop.h"
#include "ui/app_messages.h"

using namespace korvale;

namespace {

// Exit statuses the main window's watchdog tells apart.
constexpr int kExitUsage = 2;
constexpr int kExitNoSoundServer = 3;
constexpr int kExitBadInput = 4;
constexpr int kCaptureRate = 48000;
// The main window may take this long to appear on the bus after starting us.
constexpr auto kMainWindowGrace = std::chrono::seconds(5);

void Usage(std::ostream& out) {
  out << "usage: korvale-audio [--input FILE.wav] [--print]\n"
         "  Streams the spectrum of the default output's sound to the korvale main window.\n"
         "  --input FILE.wav  play a WAVE file instead of capturing the sound server\n"
         "  --print           print the frames instead of sending them\n";
}

void PrintFrame(std::size_t n, const SpectrumFrame& f) {
  std::string line = "frame " + std::to_string(n);
  for (std::int32_t v : f.levels) line += " " + std::to_string(v);
  line += "\ncolour " + std::to_string(n);
  for (std::int32_t v : f.colours) line += " " + std::to_string(v);
  std::puts(line.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  // Nobody reads the kept traces in a program: only KORVALE_TRACE's echo costs anything.
  korvale::TraceSink::Instance().SetKeep(false);
  std::string input;
  bool print = false;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--print") {
      print = true;
    } else if (a == "--input" && i + 1 < argc) {
      input = argv[++i];
    } else if (a == "--help" || a == "-h") {
      Usage(std::cout);
      return 0;
    } else {
      std::cerr << "korvale-audio: unknown argument '" << a << "'\n";
      Usage(std::cerr);
      return kExitUsage;
    }
  }

  std::optional<WavAudio> wav;
  if (!input.empty()) {
    std::string why;
    wav = ReadWavFile(input, &why);
    if (!wav) {
      std::cerr << "korvale-audio: cannot read " << input << ": " << why << "\n";
      return kExitBadInput;
    }
  }
  CSpectrumAnalyser analyser(wav ? wav->sampleRate : kCaptureRate);

  if (print && wav) {
    std::size_t n = 0;
    analyser.Push(wav->mono.data(), wav->mono.size(), [&n](const SpectrumFrame& f) { PrintFrame(n++, f); });
    return 0;
  }

  std::atomic<bool> lost{false};
  std::string lostWhy;
  VirtualUiLoop loop;
  SetUiLoop(&loop);
  CPulseCapture capture;
  std::mutex analyserLock;  // capture thread against a reset from the bus

  if (print) {
    std::size_t n = 0;
    std::string why;
    if (!capture.Start(kCaptureRate, analyser.HopSize(),
                       [&](const float* s, std::size_t c) {
                         std::lock_guard<std::mutex> g(analyserLock);
                         analyser.Push(s, c, [&n](const SpectrumFrame& f) {
                           PrintFrame(n++, f);
                           std::fflush(stdout);
                         });
                       },
                       [&](const std::string&) { lost = true; loop.Post([] {}); }, &why)) {
      std::cerr << "korvale-audio: no sound server (" << why << "); nothing to capture\n";
      return kExitNoSoundServer;
    }
    while (!lost) loop.WaitForPosted(1000);
    std::cerr << "korvale-audio: the sound server went away\n";
    return kExitNoSoundServer;
  }

  SingleInstance instance(kAudioCompanionLock);
  if (instance.GetState() == SingleInstance::State::AlreadyRunning) {
    std::cerr << "korvale-audio: already running\n";
    return 0;
  }
  MessageBus bus(loop);
  const std::uint32_t daemonMsg = RegisterWindowMessage(kAudioDaemonMsgName);
  CAudioCompanion companion(bus);
  companion.SetAnalyser(&analyser);
  companion.onReset = [&] {
    std::lock_guard<std::mutex> g(analyserLock);
    analyser.Reset();
  };
  const auto feed = [&](const float* s, std::size_t c) {
    std::lock_guard<std::mutex> g(analyserLock);
    analyser.Push(s, c, [&](const SpectrumFrame& f) { companion.OnFrame(f); });
  };

  std::atomic<bool> stopFeeder{false};
  std::thread feeder;
  if (wav) {
    // The file stands in for the server: played once in real time, then quiet.
    feeder = std::thread([&] {
      const std::size_t hop = static_cast<std::size_t>(analyser.HopSize());
      auto due = std::chrono::steady_clock::now();
      for (std::size_t at = 0; at < wav->mono.size() && !stopFeeder; at += hop) {
        std::this_thread::sleep_until(due);
        due += std::chrono::microseconds(1000000 * hop / static_cast<std::size_t>(wav->sampleRate));
        feed(wav->mono.data() + at, std::min(hop, wav->mono.size() - at));
      }
    });
  } else {
    std::string why;
    if (!capture.Start(kCaptureRate, analyser.HopSize(), feed,
                       [&](const std::string& w) {
                         lostWhy = w;
                         lost = true;
                         loop.Post([] {});
                       },
                       &why)) {
      std::cerr << "korvale-audio: no sound server (" << why << "); audio-reactive lighting is off\n";
      return kExitNoSoundServer;
    }
  }
  companion.onReleaseInput = [&] { capture.Stop(); };

  if (!bus.Listen(kAudioCompanionTitle, [&](const BusMessage& m) { return companion.OnMessage(m, daemonMsg); })) {
    std::cerr << "korvale-audio: cannot listen on the message bus\n";
    stopFeeder = true;
    if (feeder.joinable()) feeder.join();
    return 1;
  }

  int status = 0;
  const auto started = std::chrono::steady_clock::now();
  bool seen = false;
  int missing = 0;
  while (!companion.ExitRequested()) {
    loop.WaitForPosted(1000);
    if (lost) {
      std::cerr << "korvale-audio: the sound server went away (" << lostWhy << ")\n";
      status = kExitNoSoundServer;
      break;
    }
    // Ends with the main window: two checks without it once it was seen (or
    // once the grace has passed).
    if (bus.FindWindow(kAudioMainTitle)) {
      seen = true;
      missing = 0;
    } else if ((seen || std::chrono::steady_clock::now() - started > kMainWindowGrace) && ++missing >= 2) {
      std::cerr << "korvale-audio: the main window has gone; ending\n";
      break;
    }
  }
  bus.Unlisten(kAudioCompanionTitle);
  capture.Stop();
  stopFeeder = true;
  if (feeder.joinable()) feeder.join();
  SetUiLoop(nullptr);
  return status;
}
