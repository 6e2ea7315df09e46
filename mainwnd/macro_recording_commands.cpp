// Macro recording driven by the main window: the triggers (the record
// button and the action menu's items), the captured events handed to the
// current page's macro editor, and Stop.
#include <string_view>

#include "devices/varnik_usb_device.h"
#include "editors/macro_control.h"
#include "mainwnd/key_commands.h"
#include "platform/trace.h"

namespace korvale {
namespace {

using Placement = CMacroControlUI::Placement;

// Time mode 0: 2 when the fixed-delay box is checked, else 1.
struct Trigger {
  const char* name;
  int timeMode;
  int captureMode;
};
constexpr Trigger kTriggers[] = {
    {"macro_btn_starredio", 0, kCaptureAppend},
    {"redio_previous_record_time", 0, kCaptureBefore},
    {"redio_previous_constant_time", 2, kCaptureBefore},
    {"redio_previous_ignore_time", 3, kCaptureBefore},
    {"redio_later_record_time", 0, kCaptureAfter},
    {"redio_later_constant_time", 2, kCaptureAfter},
    {"redio_later_ignore_time", 3, kCaptureAfter},
    {"macro_action_edit", 3, kCaptureReplace},
};

// The action menu's mouse items: message and sub-code of each insertion.
struct MouseItem {
  const char* name;
  int down, up, sub;  // up 0: one insertion only
};
constexpr MouseItem kMouseItems[] = {
    {"left_down", 513, 0, 0},   {"left_up", 514, 0, 0},     {"left_click", 513, 514, 0},
    {"middle_down", 519, 0, 0}, {"middle_up", 520, 0, 0},   {"middle_click", 519, 520, 0},
    {"right_down", 516, 0, 0},  {"right_up", 517, 0, 0},    {"right_click", 516, 517, 0},
    {"forward_down", 523, 0, 0}, {"forward_up", 524, 0, 0}, {"forward_click", 523, 524, 0},
    {"back_down", 523, 0, 1},   {"back_up", 524, 0, 1},     {"back_click", 523, 524, 1},
};

// The placement a hook message asks for.
struct HookPlacement {
  const char* name;
  Placement placement;
};
constexpr HookPlacement kHookPlacements[] = {
    {"WM_HOOK_KEY_KBMACRO_MSG", Placement::Append},         {"WM_HOOK_KEY_MSMACRO_MSG", Placement::Append},
    {"WM_HOOK_KEY_KBMACROPREVIOUS_MSG", Placement::Before}, {"WM_HOOK_KEY_MSMACROPREVIOUS_MSG", Placement::Before},
    {"WM_HOOK_KEY_KBMACROLATER_MSG", Placement::After},     {"WM_HOOK_KEY_MSMACROLATER_MSG", Placement::After},
    {"WM_HOOK_KEY_KBMACROSINGLE_MSG", Placement::Replace},  {"WM_HOOK_KEY_MSMACROSINGLE_MSG", Placement::Replace},
};

CMacroControlUI* MacroEditorOf(CVarnikUSBDevice* page) {
  if (page == nullptr) return nullptr;
  const int kind = page->GetKind();
  if (!IsKind(kind, DeviceKind::Keyboard) && !IsKind(kind, DeviceKind::Mouse)) return nullptr;
  return dynamic_cast<CMacroControlUI*>(page->FindSubControl(macroui::kEditorName));
}

}  // namespace

bool CKeyCommands::StartRecording(const std::string& trigger) {
  if (IsRecording()) return false;
  CVarnikUSBDevice* page = wnd_.CurrentDevice();
  CMacroControlUI* editor = MacroEditorOf(page);
  if (editor == nullptr || editor->GetSelectedMacro() < 0) return false;
  for (const Trigger& t : kTriggers) {
    if (trigger != t.name) continue;
    // A failed set-up says so and leaves the editor as it was.
    if (!InstallCapture(t.captureMode)) return false;
    const int timeMode = t.timeMode != 0 ? t.timeMode : (editor->IsFixedDelayOn() ? 2 : 1);
    editor->StartRecording(timeMode);
    recordingPage_ = page;
    SetEditState(true, 0);
    return true;
  }
  return false;
}

void CKeyCommands::StopRecording() {
  RemoveCapture();
  CVarnikUSBDevice* page = recordingPage_;
  recordingPage_ = nullptr;
  if (CMacroControlUI* editor = MacroEditorOf(page)) {
    editor->StopRecording();
    editor->SaveSelectedMacro();
  }
  SetEditState(true, 1);
  SetEditState(false, 0);
}

void CKeyCommands::OnRecording(const MainRouteCall& call) {
  if (call.type == "message") {
    OnRecordedInput(call);
    return;
  }
  if (call.name == "macro_btn_stopredio") {
    if (IsRecording()) StopRecording();
    return;
  }
  for (const MouseItem& m : kMouseItems) {
    if (call.name != m.name) continue;
    CMacroControlUI* editor = MacroEditorOf(wnd_.CurrentDevice());
    if (editor == nullptr || IsRecording()) return;
    editor->InsertMouseAction(m.down, m.sub);
    if (m.up != 0) editor->InsertMouseAction(m.up, m.sub);
    editor->SaveSelectedMacro();
    return;
  }
  StartRecording(call.name);
}

void CKeyCommands::OnRecordedInput(const MainRouteCall& call) {
  const CapturedInput* in = CurrentCapturedInput();
  CMacroControlUI* editor = MacroEditorOf(recordingPage_);
  if (in == nullptr || editor == nullptr || recordingPage_ != wnd_.CurrentDevice()) return;
  for (const HookPlacement& h : kHookPlacements)
    if (call.name == h.name) {
      editor->RecordEvent(h.placement, *in);
      return;
    }
}

}  // namespace korvale
