#pragma once
// Emulated devices on a virtual bus of the test's own, and a command engine
// bound to them through the real CHidDevice.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <string>

#include "emulator/emulator.h"
#include "hid/hid_device.h"
#include "protocol/device_comm.h"
#include "tests/support/bus_paths.h"
#include "tests/support/temp_dir.h"

namespace korvale::testing {

// Path of one collection of an emulated interface (collection 0 = the only one).
inline std::string BusPath(emu::Endpoint e, int collection) { return BusPath(emu::EndpointName(e), collection); }

class BusTest : public ::testing::Test {
 protected:
  void SetUp() override {
    tmp_ = std::make_unique<TempDir>("korvale-h2");
    dir_ = tmp_->Path();
    bus_ = dir_ / "bus";
    ::setenv("KORVALE_VHID_DIR", bus_.c_str(), 1);
    CHidDevice::SetHidrawEnabled(false);
    emu_ = std::make_unique<emu::Emulator>(bus_);
  }
  void TearDown() override {
    comm_.reset();
    if (emu_) emu_->Stop();
    tmp_.reset();
  }

  void Serve(std::initializer_list<emu::Endpoint> endpoints) {
    for (auto e : endpoints) emu_->Add(e);
    ASSERT_TRUE(emu_->Start());
  }

  // Opens the engine's channel for the endpoint's command collection and
  // sets the mode as the attach code does.
  void Attach(emu::Endpoint e, int mode) {
    const int col = e == emu::Endpoint::Headset ? 0 : 4;
    const std::string path = BusPath(e, col);
    ASSERT_FALSE(path.empty()) << emu::EndpointName(e);
    CHidDevice& ch = mode == proto::kModeReceiver ? comm_->receiverChannel : comm_->cableChannel;
    ASSERT_TRUE(ch.Open(path, true, true, true, false)) << path;
    comm_->SetConnectionMode(mode);
    comm_->opened = 1;
  }

  static long long MsSince(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now() - t)
        .count();
  }

  std::unique_ptr<TempDir> tmp_;
  std::filesystem::path dir_, bus_;
  std::unique_ptr<emu::Emulator> emu_;
  std::unique_ptr<CDeviceComm> comm_ = std::make_unique<CDeviceComm>();
};

}  // namespace korvale::testing
