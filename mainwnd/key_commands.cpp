#include "mainwnd/key_commands.h"

#include <string_view>

#include "devices/varnik_usb_device.h"
#include "editors/key_set_control.h"
#include "platform/trace.h"
#include "ui/app_messages.h"
#include "ui/paint_manager.h"

namespace korvale {
namespace {

// The hook message of each capture mode: keyboard, then mouse.
struct ModeMessages {
  int mode;
  const char* keyboard;
  const char* mouse;
};
constexpr ModeMessages kModeMessages[] = {
    {kCaptureSingleKey, "WM_HOOK_KEY_SINGLEKEY_MSG", nullptr},
    {kCaptureAppend, "WM_HOOK_KEY_KBMACRO_MSG", "WM_HOOK_KEY_MSMACRO_MSG"},
    {kCaptureBefore, "WM_HOOK_KEY_KBMACROPREVIOUS_MSG", "WM_HOOK_KEY_MSMACROPREVIOUS_MSG"},
    {kCaptureAfter, "WM_HOOK_KEY_KBMACROLATER_MSG", "WM_HOOK_KEY_MSMACROLATER_MSG"},
    {kCaptureReplace, "WM_HOOK_KEY_KBMACROSINGLE_MSG", "WM_HOOK_KEY_MSMACROSINGLE_MSG"},
};

int HookIndex(const char* name) {
  for (std::size_t i = 0; i < std::size(kHookMessageNames); ++i)
    if (name != nullptr && std::string_view(kHookMessageNames[i]) == name) return static_cast<int>(i);
  return -1;
}

}  // namespace

CKeyCommands::CKeyCommands(CMainWnd& wnd)
    : wnd_(wnd), handlers_(wnd.MacroHandlers(), KeyHandlerHooks{[this](bool s, int st) { SetEditState(s, st); }}) {
  wnd_.SetRouteHandler(MainRoute::kKeyEditor, [this](const MainRouteCall& call) {
    if (call.notify != nullptr) handlers_.HandleKeyEditor(*call.notify, wnd_.CurrentDevice());
  });
  wnd_.SetRouteHandler(MainRoute::kKeyCapture, [this](const MainRouteCall& call) { OnKeyCapture(call); });
  wnd_.SetRouteHandler(MainRoute::kHookControl, [this](const MainRouteCall& call) { OnHookControl(call); });
  wnd_.SetRouteHandler(MainRoute::kMacroRecording, [this](const MainRouteCall& call) { OnRecording(call); });
}

CKeyCommands::~CKeyCommands() {
  for (MainRoute r : {MainRoute::kKeyEditor, MainRoute::kKeyCapture, MainRoute::kHookControl, MainRoute::kMacroRecording})
    wnd_.SetRouteHandler(r, {});
  CInputCapture::Instance().Uninstall();
}

void CKeyCommands::SetEditState(bool switching, int state) {
  if (switching) {
    if (CControlUI* list = wnd_.GetPaintManager().FindControl("device_select_layout")) list->SetEnabled(state == 1);
    if (CVarnikUSBDevice* page = wnd_.CurrentDevice())
      if (CControlUI* profiles = page->FindSubControl("DeviceProfileItem")) profiles->SetEnabled(state == 1);
  }
  if (CVarnikUSBDevice* page = wnd_.CurrentDevice())
    if (CKeySetControlUI* editor = CKeyHandlers::EditorOf(*page)) editor->EnableButtons(state == 0);
  editState_ = state;
}

void CKeyCommands::SendHookMessage(int mode, const CapturedInput& input) {
  for (const ModeMessages& m : kModeMessages) {
    if (m.mode != mode) continue;
    const int index = HookIndex(input.kind == CapturedInput::Kind::Key ? m.keyboard : m.mouse);
    const UINT msg = index >= 0 ? wnd_.GetHookMessage(static_cast<std::size_t>(index)) : 0;
    if (msg == 0) return;
    WithCapturedInput(input, [&] { wnd_.SendMessage(msg, input.WindowMessage(), 0); });
    return;
  }
}

bool CKeyCommands::InstallCapture(int mode) {
  const bool ok = CInputCapture::Instance().Install(mode, [this, mode](const CapturedInput& in) { SendHookMessage(mode, in); });
  if (!ok) {
    Trace("input capture: no renderer can capture here (mode %d)", mode);
    wnd_.MacroHandlers().Notice("capture_unavailable_text");
  }
  return ok;
}

void CKeyCommands::RemoveCapture() { CInputCapture::Instance().Uninstall(); }

void CKeyCommands::OnHookControl(const MainRouteCall& call) {
  if (call.wParam == 1) {
    if (!IsRecording()) InstallCapture(kCaptureSingleKey);
  } else if (IsRecording()) {
    StopRecording();  // the page goes away: the recording ends with its capture
  } else if (CInputCapture::Instance().Mode() == kCaptureSingleKey) {
    RemoveCapture();
  }
}

void CKeyCommands::OnKeyCapture(const MainRouteCall& /*call*/) {
  const CapturedInput* in = CurrentCapturedInput();
  if (in == nullptr) {
    Trace("key capture: a hook message without a captured event is dropped");
    return;
  }
  if (in->kind != CapturedInput::Kind::Key || !in->press) return;
  handlers_.CaptureKey(wnd_.CurrentDevice(), in->Evdev());
}

}  // namespace korvale
