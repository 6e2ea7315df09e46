#pragma once
// Every UI test runs on its own virtual-time loop.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/trace.h"
#include "ui/ui.h"

namespace korvale::test {

class UiTest : public ::testing::Test {
 protected:
  UiTest() { SetUiLoop(&loop); }
  ~UiTest() override { SetUiLoop(nullptr); }
  VirtualUiLoop loop;
};

// Records notifications as "type:sender".
struct Recorder : INotifyUI {
  std::vector<std::string> seen;
  std::vector<TNotifyUI> msgs;
  void Notify(TNotifyUI& msg) override {
    seen.push_back(std::string(msg.sType) + ":" + (msg.pSender ? std::string(msg.pSender->GetName()) : ""));
    msgs.push_back(msg);
  }
  void Clear() {
    seen.clear();
    msgs.clear();
  }
};

inline std::string SkinDemoDir() { return std::string(KORVALE_SOURCE_DIR) + "/skin/demo"; }

}  // namespace korvale::test
