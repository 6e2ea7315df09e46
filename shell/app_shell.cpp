#include "shell/app_shell.h"

#include <chrono>
#include <map>
#include <thread>

#include "mainwnd/audio_companion_link.h"
#include "platform/paths.h"
#include "platform/registered_messages.h"
#include "platform/trace.h"
#include "shell/control_registry.h"
#include "ui/resource_manager.h"
#include "ui/skin_controls.h"

namespace fs = std::filesystem;

namespace korvale {

namespace {
// WS_POPUP | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX
constexpr UINT kMainWindowStyle = 0x96CA0000;

}  // namespace

CAppShell::CAppShell(ShellOptions options) : options_(std::move(options)) {
  if (options_.dataDir.empty()) options_.dataDir = InstallDataDir();
}

CAppShell::~CAppShell() {
  // Run tears down; this covers a shell destroyed without running.
  RemoveFonts();
}

void CAppShell::LoadFonts() {
  for (std::size_t i = 0; i < kPrivateFontFiles.size(); ++i) {
    fontHandles_[i] = 0;
    if (options_.fonts == nullptr) continue;
    const fs::path file = options_.dataDir / "Font" / std::string(kPrivateFontFiles[i]);
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) continue;  // an absent font is simply absent
    fontHandles_[i] = options_.fonts->AddFont(file);
  }
}

void CAppShell::RemoveFonts() {
  for (std::size_t i = kPrivateFontFiles.size(); i-- > 0;) {
    if (fontHandles_[i] != 0 && options_.fonts != nullptr) options_.fonts->RemoveFont(fontHandles_[i]);
    fontHandles_[i] = 0;
  }
}

void CAppShell::SetUpResources() {
  CPaintManagerUI::SetInstance(options_.dataDir);
  const fs::path skin = options_.dataDir / "skin";
  CPaintManagerUI::SetResourcePath(skin);
  std::error_code ec;
  if (fs::exists(skin / "res.xml", ec)) CResourceManager::GetInstance().LoadResource(skin / "res.xml");
  RegisterSkinControls(SuppliedControlClasses());
}

void CAppShell::RegisterMessages() {
  for (const char* name : kCompanionMessageNames) RegisterWindowMessage(name);
  for (const char* name : kHookMessageNames) RegisterWindowMessage(name);
  for (const char* name : kGameMessageNames) RegisterWindowMessage(name);
}

std::intptr_t CAppShell::FromBus(HWND hwnd, const BusMessage& m) {
  if (m.isCopyData) return SendCopyData(hwnd, static_cast<std::uint64_t>(m.lParam), m.data.data(), m.data.size());
  // Creation and destruction are the window system's own steps, never a
  // peer's to start.
  if (m.msg == wm::kCreate || m.msg == wm::kDestroy) {
    Trace("bus: message 0x%X is the window system's own; dropped", m.msg);
    return 0;
  }
  return SendMessageW(hwnd, m.msg, static_cast<WPARAM>(m.wParam), static_cast<LPARAM>(m.lParam));
}

int CAppShell::Run() {
  if (options_.loop == nullptr || stage_ != Stage::Created) return 0;
  stage_ = Stage::Starting;
  LoadFonts();

  identityMsg_ = RegisterWindowMessage(kAppIdentity);
  Trace("软件标示：%d", static_cast<int>(identityMsg_));

  bus_ = std::make_unique<MessageBus>(*options_.loop, options_.busDir);
  instance_ = std::make_unique<SingleInstance>(kAppIdentity, options_.lockDir);
  if (instance_->GetState() == SingleInstance::State::AlreadyRunning) {
    stage_ = Stage::SecondInstance;
    // The first instance may still be on its way to creating its window.
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWakeUpRetryMs);
    for (;;) {
      wakeUpsDelivered_ = bus_->Broadcast(kAppIdentity, 0, 0, 1);
      if (bus_->FindWindow(kAppIdentity) || std::chrono::steady_clock::now() >= until) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    Trace("second start: wake-up reached %d window(s); exiting", wakeUpsDelivered_);
    bus_.reset();
    instance_.reset();
    RemoveFonts();
    return 0;
  }

  SetUpResources();
  RegisterMessages();

  {
    auto window = std::make_unique<CMainWnd>();
    window->SetRegisteredMessages([](std::string_view name) { return FindRegisteredMessage(name).value_or(0); });
    MessageBus* bus = bus_.get();
    window->SetBroadcaster([bus](std::string_view name, WPARAM w, LPARAM l) {
      bus->Broadcast(name, 0, static_cast<std::uint64_t>(w), static_cast<std::int64_t>(l));
    });
    window->SetTrayIcon(options_.tray);
    window->Audio().SetMessageBus(bus);
    window->SetMonitorSize(CWindowWnd::GetScreenSize());
    window->SetDiscoveryEnabled(options_.discovery);
    const HWND hwnd = window->Create(0, kAppIdentity, kMainWindowStyle, 0,
                                     UiRect{0, 0, kMainWindowSize.cx, kMainWindowSize.cy});
    if (hwnd != 0) {
      window->CenterWindow();
      // Hidden only where the tray can bring the window back.
      const bool hidden = options_.startHidden && window->IsTrayShown();
      window->SetStartHidden(hidden);
      if (!hidden) window->ShowWindow(true);
      bus_->Listen(kAppIdentity, [this, hwnd](const BusMessage& m) { return FromBus(hwnd, m); });
      stage_ = Stage::Running;
      if (options_.onMainWindow) options_.onMainWindow(*window);
      options_.loop->RunUntil([hwnd] { return !IsWindow(hwnd); });
      bus_->Unlisten(kAppIdentity);
    } else {
      Trace("main window could not be created; exiting");
    }
    // Tear-down, in order: the window, the resources, the lock, the fonts.
    if (IsWindow(hwnd)) window->DestroyWindow();
  }
  bus_.reset();
  CResourceManager::GetInstance().ResetResourceMap();
  instance_.reset();
  RemoveFonts();
  stage_ = Stage::TornDown;
  return 0;
}

}  // namespace korvale
