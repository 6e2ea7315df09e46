#pragma once
// The macro editor of the keyboard and mouse pages ("MacroControlItem"): the
// macro list of the device folder ("macro.config", one "<Guid>.mac" per
// macro) and the action rows of the selected macro. The main window drives
// it (macro_handlers.h); the files are read through the checked reader, so a
// broken file shows as an empty macro with a message, never as a crash.
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "devices/page_hooks.h"
#include "profiles/macro_files.h"
#include "ui/containers.h"
#include "ui/input_capture.h"

namespace korvale {

class CListUI;
class CListContainerElementUI;

namespace macroui {
inline constexpr const char* kEditorName = "MacroControlItem";
inline constexpr const char* kNameList = "macro_name_list";
inline constexpr const char* kActionList = "macro_action_list";
inline constexpr const char* kNameEdit = "macro_edit_macroname";
inline constexpr const char* kActionRow = "macro_action";
inline constexpr const char* kDelayEdit = "macro_delay";
inline constexpr const char* kFixedDelayEdit = "macro_fixed_time_edit";
inline constexpr const char* kFixedDelayCheck = "macro_check_time";
inline constexpr const char* kHiddenRows = "macro_hidden_rows";
inline constexpr const char* kPrevRows = "macro_rows_prev";
inline constexpr const char* kNextRows = "macro_rows_next";
// At most this many actions are rows at a time: a longer macro shows a window
// of them, paged with kPrevRows and kNextRows, and keeps the actions before
// and after it in memory (saved with the rows), so a 4,000-action macro opens
// at once and every action can still be reached.
inline constexpr int kShownRows = 200;
inline constexpr const char* kMoveEdits[4] = {"mouse_x_left_edit", "mouse_x_right_edit", "mouse_y_up_edit",
                                              "mouse_y_down_edit"};
// Controls usable only while a macro is selected.
inline constexpr const char* kSelectionControls[5] = {"macro_action_layout", "mouse_move_layout",
                                                      "macro_btn_export", "macro_btn_name_sub",
                                                      "macro_btn_name_edit"};
// Row label styles.
inline constexpr const char* kKeyboardStyle = "macro_label_keyboard_style";
inline constexpr const char* kMouseStyle = "macro_label_mouse_style";
inline constexpr const char* kDownStyle = "macro_label_down_style";
inline constexpr const char* kUpStyle = "macro_label_up_style";
inline constexpr const char* kTextStyle = "macro_label_text_style";
}  // namespace macroui

// Mouse messages of the insert commands.
inline constexpr int kMsgMouseMove = 512;
inline constexpr int kMsgLeftDown = 513, kMsgLeftUp = 514;
inline constexpr int kMsgRightDown = 516, kMsgRightUp = 517;
inline constexpr int kMsgMiddleDown = 519, kMsgMiddleUp = 520;
inline constexpr int kMsgXDown = 523, kMsgXUp = 524;

class CMacroControlUI : public CHorizontalLayoutUI, public IMacroEditorHooks {
 public:
  CMacroControlUI();
  ~CMacroControlUI() override;
  std::string GetClass() const override { return "MacroControl"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "MacroControl") || CHorizontalLayoutUI::IsClass(cls);
  }
  void DoEvent(TEventUI& event) override;

  // ---- set-up by the page ----
  void SetMacroFolder(const std::filesystem::path& folder) override;
  void LoadMacroList() override;
  std::vector<std::string> GetMacroNames() const override { return names_; }
  const std::filesystem::path& GetMacroFolder() const { return folder_; }

  // ---- the macro list ----
  int GetSelectedMacro() const;
  void ShowSelectedMacro();
  // The new name, or "" when the list is full.
  std::string AddMacro();
  // The new name, or "" when refused (LastError says why).
  std::string ImportMacro(const std::filesystem::path& source);
  // False (LastError says why) when nothing was exported.
  bool ExportMacro(const std::filesystem::path& destination);
  // (new name, index); (-1, "IsEmpty") for a blank name; (selection, "") for a
  // name already taken; (-1, "") without a selection.
  std::pair<std::string, int> RenameMacro();
  // The deleted index, or -1.
  int DeleteMacro();
  void SaveSelectedMacro();

  // ---- the action rows ----
  void MoveActionUp();
  void MoveActionDown();
  void MoveActionToTop();
  void MoveActionToBottom();
  void DeleteAction();
  void DeleteAllActions();
  void InsertMouseAction(int message, int subCode);
  void SetEditingEnabled(bool enabled);
  bool IsFixedDelayOn() const;
  void ReadFixedDelay();
  uint32_t GetFixedDelay() const { return fixedDelay_; }

  // ---- recording (macro_recording.cpp) ----
  enum class Placement { Append, Before, After, Replace };
  // Time mode 1 measures the pauses from the events' own times, 2 gives
  // every row the fixed delay, 3 zero. The repeat filters start over.
  void StartRecording(int timeMode);
  // Releases of keys and buttons still held are appended (their room was
  // kept); the editor is unlocked.
  void StopRecording();
  bool IsRecording() const { return recording_; }
  int GetRecordTimeMode() const { return recordTimeMode_; }
  // One captured key or mouse button; false when it was not recorded (a
  // repeat, a key the table lacks, a full list, no selected row).
  bool RecordEvent(Placement placement, const CapturedInput& input);

  // The events as they would be saved: the actions before the rows, the rows
  // (delay boxes included), then the actions after them.
  std::vector<MacroEvent> GetRowEvents() const;
  int GetActionCount() const;  // rows and kept actions
  int GetRowCount() const;
  // The action number of the first row (0 unless a later window is shown).
  int GetFirstRowAction() const { return static_cast<int>(hiddenHead_.size()); }
  // The window of rows starting at action `first` (clamped); typed delays are kept.
  void ShowRowsFrom(int first);
  void ShowPreviousRows();
  void ShowNextRows();
  // Why the last import, export or show did not do what was asked; "" when it did.
  const std::string& LastError() const { return lastError_; }

 private:
  CControlUI* Child(std::string_view name) const;
  CListUI* NameList() const;
  CListUI* ActionList() const;
  void SetSelectionControls(bool enabled);
  void SetNameText(std::string_view text);
  std::string SelectedGuid() const;
  CListContainerElementUI* MakeRow(const MacroEvent& e) const;
  // The row's event from its user data; false when it holds none.
  static bool RowEvent(CControlUI* row, MacroEvent& out);
  void MoveSelectedRow(int to);
  // Moves the selected row to action `to` of the whole macro when that lies
  // outside the window, then shows the window holding it with it selected.
  void MoveSelectedAction(int to);
  // The window of kShownRows rows from first over these events.
  void ShowWindow(std::vector<MacroEvent> events, int first);
  void AppendListItem(const std::string& name, const std::string& guid);
  void ShowHiddenCount();

  std::filesystem::path folder_;
  std::vector<std::string> names_;
  std::filesystem::path importPath_;
  uint32_t fixedDelay_ = 50;
  int recordTimeMode_ = 1;
  bool eventRecorded_ = false;
  uint32_t lastEventTick_ = 0;
  std::string lastError_;
  std::vector<MacroEvent> hiddenHead_;  // actions before the shown rows
  std::vector<MacroEvent> hiddenTail_;  // actions after the shown rows

  // Recording.
  struct HeldInput {
    bool key = true;
    uint16_t id = 0;  // evdev code or button bit
    MacroEvent release;
  };
  bool RecordReplace(const CapturedInput& in, const MacroEvent& e);
  bool InsertRecorded(Placement placement, MacroEvent e, uint64_t timestamp, bool measured);
  void SetRowDelay(int index, uint16_t delay);
  bool recording_ = false;
  Placement placement_ = Placement::Append;
  bool haveLastTime_ = false;
  uint64_t lastEventTime_ = 0;
  uint16_t lastKey_ = 0;           // the key filter: the key last pressed
  uint32_t lastMouseMessage_ = 0;  // the mouse filter: the last message
  std::vector<HeldInput> held_;
  std::vector<uint32_t> refused_;  // presses refused for want of room
};

// Registers "CMacroControlUI" with the control factory.
void RegisterMacroControl();

}  // namespace korvale
