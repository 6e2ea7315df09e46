#pragma once
// A device on the virtual HID bus served by the test itself: it listens on
// "<dir>/<name>.sock", answers GET_INFO, records OUTPUT reports and sends
// INPUT reports to every connected host.
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "hid/vhid_frame.h"

namespace korvale::testing {

class BusPeer {
 public:
  BusPeer(const std::filesystem::path& dir, const std::string& name, vhid::InfoBlock info)
      : path_(dir / (name + vhid::kSocketSuffix)), info_(std::move(info)) {
    listen_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path_.c_str(), sizeof addr.sun_path - 1);
    std::filesystem::remove(path_);
    if (::bind(listen_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(listen_, 8) != 0)
      throw std::runtime_error("cannot listen on " + path_.string());
    wake_ = ::eventfd(0, EFD_CLOEXEC);
    thread_ = std::thread([this] { Loop(); });
  }
  ~BusPeer() { Unplug(); }
  BusPeer(const BusPeer&) = delete;
  BusPeer& operator=(const BusPeer&) = delete;

  // Sends one INPUT frame to every connected host.
  void SendInput(const std::vector<uint8_t>& report) {
    const auto frame = vhid::EncodeFrame(vhid::FrameType::Input, report);
    std::lock_guard<std::mutex> g(lock_);
    for (auto& [fd, reader] : clients_) vhid::SendAll(fd, frame);
  }

  // Raw bytes to every connected host, for malformed frames.
  void SendRaw(const std::vector<uint8_t>& bytes) {
    std::lock_guard<std::mutex> g(lock_);
    for (auto& [fd, reader] : clients_) vhid::SendAll(fd, bytes);
  }

  // Closes the listening socket and every connection, removes the file.
  void Unplug() {
    if (!thread_.joinable()) return;
    uint64_t one = 1;
    [[maybe_unused]] ssize_t n = ::write(wake_, &one, sizeof one);
    thread_.join();
    std::lock_guard<std::mutex> g(lock_);
    for (auto& [fd, reader] : clients_) ::close(fd);
    clients_.clear();
    ::close(listen_);
    ::close(wake_);
    std::filesystem::remove(path_);
  }

  // Waits until `count` output reports arrived; returns them.
  std::vector<std::vector<uint8_t>> WaitOutputs(std::size_t count, int timeoutMs = 2000) {
    std::unique_lock<std::mutex> g(lock_);
    cv_.wait_for(g, std::chrono::milliseconds(timeoutMs), [&] { return outputs_.size() >= count; });
    return outputs_;
  }

  // Waits until `count` hosts have asked for the info block.
  bool WaitInfoRequests(int count, int timeoutMs = 2000) {
    std::unique_lock<std::mutex> g(lock_);
    return cv_.wait_for(g, std::chrono::milliseconds(timeoutMs), [&] { return infoRequests_ >= count; });
  }

 private:
  void Loop() {
    for (;;) {
      std::vector<pollfd> fds{{wake_, POLLIN, 0}, {listen_, POLLIN, 0}};
      {
        std::lock_guard<std::mutex> g(lock_);
        for (auto& [fd, reader] : clients_) fds.push_back({fd, POLLIN, 0});
      }
      if (::poll(fds.data(), fds.size(), -1) < 0) continue;
      if (fds[0].revents) return;
      if (fds[1].revents & POLLIN) {
        const int c = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
        std::lock_guard<std::mutex> g(lock_);
        if (c >= 0) clients_[c];
      }
      for (std::size_t i = 2; i < fds.size(); ++i) {
        if (!fds[i].revents) continue;
        uint8_t buf[4096];
        const ssize_t n = ::recv(fds[i].fd, buf, sizeof buf, MSG_DONTWAIT);
        std::lock_guard<std::mutex> g(lock_);
        if (n <= 0) {
          ::close(fds[i].fd);
          clients_.erase(fds[i].fd);
          continue;
        }
        auto& reader = clients_[fds[i].fd];
        reader.Feed({buf, static_cast<std::size_t>(n)});
        while (auto f = reader.Pop()) {
          if (f->type == static_cast<uint8_t>(vhid::FrameType::GetInfo)) {
            ++infoRequests_;
            vhid::SendAll(fds[i].fd, vhid::EncodeFrame(vhid::FrameType::Info, vhid::EncodeInfo(info_)));
          } else if (f->type == static_cast<uint8_t>(vhid::FrameType::Output)) {
            outputs_.push_back(f->payload);
          }
        }
        cv_.notify_all();
      }
    }
  }

  std::filesystem::path path_;
  vhid::InfoBlock info_;
  int listen_ = -1;
  int wake_ = -1;
  std::thread thread_;
  std::mutex lock_;
  std::condition_variable cv_;
  std::map<int, vhid::FrameReader> clients_;
  std::vector<std::vector<uint8_t>> outputs_;
  int infoRequests_ = 0;
};

}  // namespace korvale::testing
