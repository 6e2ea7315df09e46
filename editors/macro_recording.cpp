// Recording into the macro editor: captured keys and mouse buttons become
// action rows appended, inserted before or after the selected row, or
// replacing its key; delays come from the events' own timestamps.
#include <algorithm>

#include "editors/macro_control.h"
#include "platform/trace.h"
#include "profiles/json_file.h"
#include "profiles/key_tables.h"
#include "ui/controls.h"
#include "ui/paint_manager.h"

namespace korvale {
namespace {

constexpr UINT kScrollTimer = 4101;
constexpr int kMaxRows = static_cast<int>(kMaxMacroEvents);

uint16_t ClampDelay(uint64_t ms) { return static_cast<uint16_t>(std::min<uint64_t>(ms, kMaxMacroDelay)); }

}  // namespace

void CMacroControlUI::StartRecording(int timeMode) {
  recordTimeMode_ = timeMode;
  if (timeMode == 2) ReadFixedDelay();
  recording_ = true;
  haveLastTime_ = false;
  eventRecorded_ = false;
  lastKey_ = 0;
  lastMouseMessage_ = 0;
  held_.clear();
  refused_.clear();
  SetEditingEnabled(false);
}

void CMacroControlUI::StopRecording() {
  if (!recording_) return;
  // A key held at Stop would stay down when the macro plays: its release
  // goes in after the last row recorded.
  const std::vector<HeldInput> held(held_.rbegin(), held_.rend());  // last pressed, first released
  held_.clear();
  refused_.clear();
  for (const HeldInput& h : held) {
    const Placement p = placement_ == Placement::Replace ? Placement::Append : placement_;
    InsertRecorded(p, h.release, 0, false);
  }
  recording_ = false;
  SetEditingEnabled(true);
}

void CMacroControlUI::SetRowDelay(int index, uint16_t delay) {
  CListUI* actions = ActionList();
  if (actions == nullptr || index < 0) return;
  if (index >= actions->GetCount()) {
    const auto tail = static_cast<std::size_t>(index - actions->GetCount());
    if (tail < hiddenTail_.size()) hiddenTail_[tail].delay = delay;
    return;
  }
  auto* row = dynamic_cast<CContainerUI*>(actions->GetItemAt(index));
  MacroEvent e;
  if (!RowEvent(row, e)) return;
  e.delay = delay;
  row->SetUserData(StyledJsonText(MacroEventJson(e)));
  if (CControlUI* box = row->FindSubControl(macroui::kDelayEdit)) box->SetText(std::to_string(delay));
}

bool CMacroControlUI::InsertRecorded(Placement placement, MacroEvent e, uint64_t timestamp, bool measured) {
  CListUI* actions = ActionList();
  if (actions == nullptr) return false;
  const int selected = actions->GetCurSel();
  if ((placement == Placement::Before || placement == Placement::After) && selected < 0) return false;
  // Row numbers; appending goes behind any actions kept after the rows.
  int at = actions->GetCount() + static_cast<int>(hiddenTail_.size());
  if (placement == Placement::Before) at = selected;
  if (placement == Placement::After) at = selected + 1;

  // The pause before this event belongs to the row before it.
  uint16_t pause = 0;
  if (recordTimeMode_ == 1) {
    if (measured && haveLastTime_ && timestamp >= lastEventTime_) pause = ClampDelay(timestamp - lastEventTime_);
    if (measured) {
      lastEventTime_ = timestamp;
      haveLastTime_ = true;
    }
  } else if (recordTimeMode_ == 2) {
    pause = static_cast<uint16_t>(std::min<uint32_t>(fixedDelay_, kMaxMacroDelay));
  }
  e.delay = at == 0 || recordTimeMode_ != 2 ? 0 : static_cast<uint16_t>(std::min<uint32_t>(fixedDelay_, kMaxMacroDelay));
  if (at > 0 && eventRecorded_) SetRowDelay(at - 1, pause);

  if (at >= actions->GetCount() && !hiddenTail_.empty()) {
    // Behind the rows kept unshown: stored there, saved with them.
    hiddenTail_.insert(hiddenTail_.begin() + (at - actions->GetCount()), e);
    ShowHiddenCount();
  } else {
    actions->AddAt(MakeRow(e), at);
    if (placement == Placement::Before)
      actions->SelectItem(at + 1, false, false);  // the next event goes before it too
    else
      actions->SelectItem(std::min(at, actions->GetCount() - 1), false, false);
  }
  eventRecorded_ = true;
  if (GetManager() != nullptr) GetManager()->SetTimer(this, kScrollTimer, 50);
  return true;
}

bool CMacroControlUI::RecordReplace(const CapturedInput& in, const MacroEvent& e) {
  CListUI* actions = ActionList();
  const int selected = actions != nullptr ? actions->GetCurSel() : -1;
  MacroEvent row;
  if (selected < 0 || !RowEvent(actions->GetItemAt(selected), row)) return false;
  (void)in;
  row.type = e.type;
  row.button = e.button;
  // Action and delay stay: only the key or button changes.
  if (CControlUI* box = dynamic_cast<CContainerUI*>(actions->GetItemAt(selected))->FindSubControl(macroui::kDelayEdit)) {
    const std::string text(box->GetText());
    row.delay = static_cast<uint16_t>(LeadingNumber(text.empty() ? "0" : text, kMaxMacroDelay));
  }
  actions->SelectItem(-1, false, false);
  actions->RemoveAt(selected);
  actions->AddAt(MakeRow(row), selected);
  actions->SelectItem(selected, false, false);
  return true;
}

bool CMacroControlUI::RecordEvent(Placement placement, const CapturedInput& in) {
  if (!recording_) return false;
  placement_ = placement;
  MacroEvent e;
  e.down = in.press;
  HeldInput hold;
  if (in.kind == CapturedInput::Kind::Key) {
    const uint16_t evdev = in.Evdev();
    if (in.press) {
      if (in.autoRepeat || evdev == lastKey_) return false;  // held: one press however long
      lastKey_ = evdev;
    } else if (evdev == lastKey_) {
      lastKey_ = 0;
    }
    const int row = FindKeyboardEvdev(evdev);
    if (row < 0) return false;
    const KeyboardKeyRow& r = kKeyboardKeyTable[static_cast<std::size_t>(row)];
    e.type = r.usage != 0 ? kMacroKey : kMacroModifier;
    e.button = r.usage != 0 ? r.usage : r.modifier;
    hold = {true, evdev, {}};
  } else {
    const uint32_t message = in.WindowMessage();
    if (message == 0) return false;
    // The same message twice in a row is recorded once (back and forward
    // share their messages: the button tells them apart).
    const uint32_t filter = message | static_cast<uint32_t>(in.button) << 16;
    if (filter == lastMouseMessage_) return false;
    lastMouseMessage_ = filter;
    e.type = kMacroMouseButton;
    e.button = static_cast<uint8_t>(in.button);
    hold = {false, static_cast<uint16_t>(in.button), {}};
  }
  if (placement == Placement::Replace) return RecordReplace(in, e);

  auto held = std::find_if(held_.begin(), held_.end(), [&](const HeldInput& h) { return h.key == hold.key && h.id == hold.id; });
  const int room = kMaxRows - GetActionCount() - static_cast<int>(held_.size());
  const uint32_t id = (hold.key ? 0x10000u : 0u) | hold.id;
  if (in.press) {
    // A press needs room for itself and for its release at Stop.
    if (room < 2) {
      refused_.push_back(id);
      return false;
    }
  } else if (auto r = std::find(refused_.begin(), refused_.end(), id); r != refused_.end()) {
    refused_.erase(r);  // its press was not recorded either
    return false;
  } else if (held == held_.end() && room < 1) {
    return false;
  }
  if (!InsertRecorded(placement, e, in.timestampMs, true)) return false;
  if (in.press && held == held_.end()) {
    hold.release = e;
    hold.release.down = false;
    held_.push_back(hold);
  } else if (!in.press && held != held_.end()) {
    held_.erase(held);
  }
  return true;
}

}  // namespace korvale
