#include "companions/pulse_capture.h"

#include <pulse/pulseaudio.h>

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

#include "platform/thread_name.h"
#include "platform/trace.h"

namespace korvale {

namespace {
using Clock = std::chrono::steady_clock;
}  // namespace

struct CPulseCapture::Impl {
  // Our own loop thread rather than libpulse's threaded loop, so the loop's
  // poll can be paced: the server forwards each block the output renders, a
  // few milliseconds of sound each with a low-latency player, and a wake-up
  // per block costs far more than the samples. After taking samples the loop
  // sleeps until the next fragment is due, so it wakes about once a fragment
  // and each wake-up completes one (counted as the analyser counts its hops:
  // from the first sample, holes left out). `lock` is held by the loop thread
  // except while it waits.
  pa_mainloop* loop = nullptr;
  std::thread thread;
  std::mutex lock;
  std::size_t sinceFragment = 0;  // samples taken since a fragment's end
  bool tookSamples = false;       // since the last wait
  pa_context* context = nullptr;
  pa_stream* stream = nullptr;
  int rate = 48000;
  int fragment = 800;
  Samples onSamples;
  Lost onLost;
  bool lostSent = false;
  std::string output;  // guarded by the loop's lock

  static void ContextState(pa_context* c, void* self) {
    auto* impl = static_cast<Impl*>(self);
    const pa_context_state_t s = pa_context_get_state(c);
    if (s == PA_CONTEXT_FAILED || s == PA_CONTEXT_TERMINATED) impl->ReportLost(pa_strerror(pa_context_errno(c)));
  }

  static int Poll(pollfd* fds, unsigned long count, int timeoutMs, void* self) {
    auto* impl = static_cast<Impl*>(self);
    // Control traffic (connecting, a new default output) is never held back.
    std::chrono::microseconds nap{0};
    if (impl->tookSamples && timeoutMs != 0) {
      // A quarter fragment past the end, so the block holding it has
      // usually arrived and the poll after the nap does not wait again.
      const auto missing = static_cast<long long>(impl->fragment) * 5 / 4 - static_cast<long long>(impl->sinceFragment);
      nap = std::chrono::microseconds(missing * 1000000 / std::max(impl->rate, 1));
      if (timeoutMs > 0) nap = std::min<std::chrono::microseconds>(nap, std::chrono::milliseconds(timeoutMs));
    }
    impl->tookSamples = false;
    impl->lock.unlock();
    if (nap.count() > 0) {
      std::this_thread::sleep_for(nap);
      // The nap is at most the time-out: what is left of it is never negative.
      if (timeoutMs > 0) timeoutMs -= static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(nap).count());
    }
    const int r = ::poll(fds, count, timeoutMs);
    impl->lock.lock();
    return r;
  }

  void ReportLost(const std::string& why) {
    if (lostSent || !onLost) return;
    lostSent = true;
    onLost(why);
  }

  static void Read(pa_stream* s, std::size_t, void* self) {
    auto* impl = static_cast<Impl*>(self);
    const void* data = nullptr;
    std::size_t bytes = 0;
    // Peek says "nothing" itself (no size query: each library call costs a system call).
    while (pa_stream_peek(s, &data, &bytes) == 0 && bytes > 0) {
      // A hole (data null) is silence we did not get; skip it.
      if (data != nullptr) {
        const std::size_t samples = bytes / sizeof(float);
        if (impl->onSamples) impl->onSamples(static_cast<const float*>(data), samples);
        impl->sinceFragment = (impl->sinceFragment + samples) % static_cast<std::size_t>(std::max(impl->fragment, 1));
        impl->tookSamples = true;
      }
      pa_stream_drop(s);
    }
  }

  // Records from the monitor of `sink`, replacing any earlier stream. Loop locked.
  void RecordFrom(const std::string& sink) {
    if (sink.empty() || sink == output) return;
    if (stream != nullptr) {
      pa_stream_disconnect(stream);
      pa_stream_unref(stream);
      stream = nullptr;
    }
    output = sink;
    const pa_sample_spec spec{PA_SAMPLE_FLOAT32LE, static_cast<std::uint32_t>(rate), 1};
    stream = pa_stream_new(context, "korvale-audio spectrum", &spec, nullptr);
    if (stream == nullptr) {
      Trace("korvale-audio: cannot create a record stream: %s", pa_strerror(pa_context_errno(context)));
      return;
    }
    pa_stream_set_read_callback(stream, &Impl::Read, this);
    pa_buffer_attr attr{};
    attr.maxlength = static_cast<std::uint32_t>(-1);
    attr.fragsize = static_cast<std::uint32_t>(fragment * sizeof(float));
    const std::string monitor = sink + ".monitor";
    if (pa_stream_connect_record(stream, monitor.c_str(), &attr,
                                 static_cast<pa_stream_flags_t>(PA_STREAM_ADJUST_LATENCY | PA_STREAM_DONT_MOVE)) < 0)
      Trace("korvale-audio: cannot record from %s: %s", monitor.c_str(), pa_strerror(pa_context_errno(context)));
    else
      Trace("korvale-audio: recording from %s", monitor.c_str());
  }

  static void ServerInfo(pa_context*, const pa_server_info* info, void* self) {
    auto* impl = static_cast<Impl*>(self);
    if (info != nullptr && info->default_sink_name != nullptr) impl->RecordFrom(info->default_sink_name);
  }

  static void Event(pa_context* c, pa_subscription_event_type_t type, std::uint32_t, void* self) {
    // The default output is a server property: any server change may have moved it.
    if ((type & PA_SUBSCRIPTION_EVENT_FACILITY_MASK) == PA_SUBSCRIPTION_EVENT_SERVER)
      pa_operation_unref(pa_context_get_server_info(c, &Impl::ServerInfo, self));
  }

  void Close() {
    if (loop == nullptr) return;
    if (thread.joinable()) {
      {
        std::lock_guard<std::mutex> g(lock);
        pa_mainloop_quit(loop, 0);  // wakes the loop
      }
      thread.join();
    }
    if (stream != nullptr) {
      pa_stream_disconnect(stream);
      pa_stream_unref(stream);
      stream = nullptr;
    }
    if (context != nullptr) {
      pa_context_disconnect(context);
      pa_context_unref(context);
      context = nullptr;
    }
    pa_mainloop_free(loop);
    loop = nullptr;
  }
};

CPulseCapture::CPulseCapture() : impl_(std::make_unique<Impl>()) {}
CPulseCapture::~CPulseCapture() { Stop(); }

bool CPulseCapture::Start(int rate, int fragmentSamples, Samples onSamples, Lost onLost, std::string* error,
                          unsigned timeoutMs) {
  Stop();
  Impl& m = *impl_;
  m.rate = rate;
  m.fragment = fragmentSamples;
  m.onSamples = std::move(onSamples);
  m.onLost = nullptr;
  m.lostSent = false;
  m.output.clear();
  m.tookSamples = false;
  m.loop = pa_mainloop_new();
  if (m.loop == nullptr) {
    if (error != nullptr) *error = "cannot create the sound server connection";
    return false;
  }
  pa_mainloop_set_poll_func(m.loop, &Impl::Poll, &m);
  m.context = pa_context_new(pa_mainloop_get_api(m.loop), "korvale-audio");
  pa_context_set_state_callback(m.context, &Impl::ContextState, &m);
  if (pa_context_connect(m.context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
    if (error != nullptr) *error = pa_strerror(pa_context_errno(m.context));
    m.Close();
    return false;
  }
  m.thread = std::thread([&m] {
    NameThisThread("kv-audio-pulse");
    std::lock_guard<std::mutex> g(m.lock);
    int ignored = 0;
    pa_mainloop_run(m.loop, &ignored);
  });
  std::unique_lock<std::mutex> g(m.lock);
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  pa_context_state_t state = pa_context_get_state(m.context);
  while (state != PA_CONTEXT_READY && PA_CONTEXT_IS_GOOD(state) && Clock::now() < deadline) {
    g.unlock();
    // A short slice bounds the wait; the state changes on the loop thread.
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    g.lock();
    state = pa_context_get_state(m.context);
  }
  if (state != PA_CONTEXT_READY) {
    if (error != nullptr)
      *error = PA_CONTEXT_IS_GOOD(state) ? "the sound server did not answer" : pa_strerror(pa_context_errno(m.context));
    g.unlock();
    m.Close();
    return false;
  }
  m.onLost = std::move(onLost);
  pa_context_set_subscribe_callback(m.context, &Impl::Event, &m);
  pa_operation_unref(pa_context_subscribe(m.context, PA_SUBSCRIPTION_MASK_SERVER, nullptr, nullptr));
  pa_operation_unref(pa_context_get_server_info(m.context, &Impl::ServerInfo, &m));
  return true;
}

void CPulseCapture::Stop() {
  impl_->onLost = nullptr;  // a stop we asked for is no loss
  impl_->Close();
}

std::string CPulseCapture::CurrentOutput() const {
  if (impl_->loop == nullptr) return {};
  std::lock_guard<std::mutex> g(impl_->lock);
  return impl_->output;
}

}  // namespace korvale
