#pragma once
// The main window on a virtual-time loop, with its own data and settings
// folders, the installed skin and a tray that records what it is asked.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "hid/hid_device.h"
#include "mainwnd/audio_companion_link.h"
#include "mainwnd/device_list.h"
#include "mainwnd/main_wnd.h"
#include "platform/trace.h"
#include "platform/ui_loop.h"
#include "ui/controls.h"
#include "ui/resource_manager.h"
#include "windows/msg_wnd.h"

namespace korvale::test {

struct RecordingTray : ITrayIcon {
  bool CreateTrayIcon(HWND hwnd, std::string_view tip) override {
    owner = hwnd;
    toolTip = tip;
    shown = available;
    return available;
  }
  void DeleteTrayIcon() override { shown = false; ++deletes; }
  void ShowMenu(HWND, const std::vector<TrayMenuItem>& items) override { menus.push_back(items); }
  bool available = true;  // false: a desktop without a tray
  HWND owner = 0;
  std::string toolTip;
  bool shown = false;
  int deletes = 0;
  std::vector<std::vector<TrayMenuItem>> menus;
};

// Answers every message window that opens while it lives: confirm, or cancel
// when answer is false (posted, so the window's modal loop runs the click),
// and keeps each window's text.
class MessageAnswerer {
 public:
  MessageAnswerer(UiLoop& loop, const bool& answer) {
    CMsgWnd::SetOpenedHook([&loop, &answer, this](CMsgWnd& m) {
      CControlUI* text = m.GetPaintManager().FindControl("MessageText");
      texts.push_back(text != nullptr ? std::string(text->GetText()) : "?");
      const HWND h = m.GetHWND();
      loop.Post([h, confirm = answer] {
        if (auto* w = dynamic_cast<CMsgWnd*>(CWindowWnd::FromHandle(h)))
          if (auto* b = dynamic_cast<CButtonUI*>(w->GetPaintManager().FindControl(confirm ? "confirm_btn" : "cancel_btn")))
            b->Activate();
      });
    });
  }
  ~MessageAnswerer() { CMsgWnd::SetOpenedHook({}); }
  MessageAnswerer(const MessageAnswerer&) = delete;
  MessageAnswerer& operator=(const MessageAnswerer&) = delete;

  std::vector<std::string> texts;
};

class MainWndTest : public ::testing::Test {
 protected:
  MainWndTest() {
    SetUiLoop(&loop);
    dir = std::filesystem::temp_directory_path() /
          ("korvale-mainwnd-" + std::to_string(::getpid()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir);
    std::filesystem::create_directories(dir / "data");
    std::filesystem::create_directories(dir / "config");
    ::setenv("XDG_DATA_HOME", (dir / "data").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    // A bus of this test's own; discovery runs only where a test asks for it.
    ::setenv("KORVALE_VHID_DIR", (dir / "vhid").c_str(), 1);
    CHidDevice::SetHidrawEnabled(false);
    const std::filesystem::path skin = std::filesystem::path(KORVALE_SOURCE_DIR) / "skin";
    CPaintManagerUI::SetResourcePath(skin);
    CResourceManager::GetInstance().LoadResource(skin / "res.xml");
    wnd = std::make_unique<CMainWnd>();
    wnd->SetRegisteredMessages([this](std::string_view name) { return Number(name); });
    wnd->SetBroadcaster([this](std::string_view name, WPARAM w, LPARAM l) {
      broadcasts.push_back(std::string(name) + " " + std::to_string(w) + " " + std::to_string(l));
    });
    wnd->SetTrayIcon(&tray);
    wnd->SetMonitorSize({1366, 768});
    wnd->SetDiscoveryEnabled(false);
    // Suites that want the audio companion give it its program.
    wnd->Audio().SetProgram({});
  }
  ~MainWndTest() override {
    if (wnd && IsWindow(wnd->GetHWND())) wnd->DestroyWindow();
    wnd.reset();
    SetUiLoop(nullptr);
    CPaintManagerUI::SetResourcePath({});
    std::filesystem::remove_all(dir);
  }

  // Registered numbers for this process, like the shell's registry.
  UINT Number(std::string_view name) {
    auto it = numbers.find(std::string(name));
    if (it != numbers.end()) return it->second;
    const UINT n = 0xC000 + static_cast<UINT>(numbers.size());
    numbers.emplace(std::string(name), n);
    return n;
  }

  // Creates the window and lets its first notifications ("windowsize",
  // "windowinit") run.
  void Start() {
    hwnd = wnd->Create(0, kAppIdentity);
    ASSERT_NE(hwnd, 0u);
    loop.RunPending();
  }
  CControlUI* Find(std::string_view name) { return wnd->GetPaintManager().FindControl(name); }
  // The pages of these products (kProducts rows) without their devices, as
  // the devices' first binds would build them.
  void BuildPages(std::initializer_list<int> products) {
    CDeviceList* list = wnd->GetDeviceList();
    ASSERT_NE(list, nullptr);
    for (int p : products) ASSERT_NE(list->PageForProduct(p), nullptr) << "product " << p;
  }

  VirtualUiLoop loop;
  std::filesystem::path dir;
  RecordingTray tray;
  std::map<std::string, UINT> numbers;
  std::vector<std::string> broadcasts;
  std::unique_ptr<CMainWnd> wnd;
  HWND hwnd = 0;
};

}  // namespace korvale::test
