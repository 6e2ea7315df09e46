#pragma once
// The main window's key assignment commands and the input capture they use:
// the key editor's route, single-key capture while the editor's key box has
// the focus, macro recording (macro_recording_commands.cpp), and the
// key-editing state (SetEditState).
#include <memory>

#include "editors/key_handlers.h"
#include "mainwnd/main_wnd.h"
#include "ui/input_capture.h"

namespace korvale {

class CKeyCommands {
 public:
  explicit CKeyCommands(CMainWnd& wnd);
  ~CKeyCommands();
  CKeyCommands(const CKeyCommands&) = delete;
  CKeyCommands& operator=(const CKeyCommands&) = delete;

  CKeyHandlers& Handlers() { return handlers_; }
  // Device switching and the profile list follow state 1 when switching is
  // set; the key editor's three buttons are enabled for state 0.
  void SetEditState(bool switching, int state);
  int GetEditState() const { return editState_; }

  // Installs capture in a mode with hook messages to the main window; a
  // failure is reported in the message window and leaves capture off.
  bool InstallCapture(int mode);
  void RemoveCapture();

  // Macro recording on the current keyboard or mouse page: the trigger's
  // time mode and placement; false (and nothing started) when capture
  // cannot be set up or the page has no macro editor.
  bool StartRecording(const std::string& trigger);
  void StopRecording();
  bool IsRecording() const { return recordingPage_ != nullptr; }

 private:
  void OnRecording(const MainRouteCall& call);
  void OnRecordedInput(const MainRouteCall& call);
  void OnHookControl(const MainRouteCall& call);
  void OnKeyCapture(const MainRouteCall& call);
  // Sends the hook message of the capture mode for one event.
  void SendHookMessage(int mode, const CapturedInput& input);

  CMainWnd& wnd_;
  CKeyHandlers handlers_;
  int editState_ = 1;
  CVarnikUSBDevice* recordingPage_ = nullptr;
};

}  // namespace korvale
