#include "editors/macro_handlers.h"

#include <optional>

#include "devices/macro_download.h"
#include "devices/varnik_keyboard_device.h"
#include "devices/varnik_mouse_device.h"
#include "editors/macro_control.h"
#include "editors/shoot_control.h"
#include "platform/trace.h"
#include "profiles/macro_refs.h"
#include "protocol/commands.h"
#include "ui/controls.h"
#include "ui/paint_manager.h"

namespace korvale {
namespace {

const FileFilter kMacroFilter{"file_filter_macro", "*.mac", "mac"};
// The files are written ".Shoot"; either spelling is offered.
const FileFilter kShootFilter{"file_filter_shoot", "*.shoot *.Shoot", "Shoot"};

bool StartsWith(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

int NumberAfter(std::string_view name, std::string_view prefix) {
  int v = 0;
  for (char c : name.substr(prefix.size())) {
    if (c < '0' || c > '9') return -1;
    v = v * 10 + (c - '0');
    if (v > 1000) return -1;
  }
  return name.size() > prefix.size() ? v : -1;
}

// The key list of a keyboard or mouse page, with the way to store it back
// and to refresh the labels that show it.
struct PageKeys {
  std::vector<KeyRecord> keys;
  int deviceIndex = 0;
  std::function<void(const std::vector<KeyRecord>&)> store;
  std::function<void()> refreshLabels;
};

template <class Page>
PageKeys KeysOfPage(Page& p) {
  return {p.GetKeyList(), p.Profile().GetDeviceIndex(), [&p](const std::vector<KeyRecord>& k) { p.SetKeyList(k); },
          [&p] { p.RefreshKeyLabels(); }};
}

std::optional<PageKeys> KeysOf(CVarnikUSBDevice& page) {
  if (auto* kb = dynamic_cast<CVarnikKeyboardDevice*>(&page)) return KeysOfPage(*kb);
  if (auto* mouse = dynamic_cast<CVarnikMouseDevice*>(&page)) return KeysOfPage(*mouse);
  return std::nullopt;
}

}  // namespace

std::string CMacroHandlers::Choose(const CVarnikUSBDevice& page, const FileFilter& filter, bool save) {
  const HWND owner = page.GetManager() != nullptr ? page.GetManager()->GetPaintWindow() : 0;
  const auto path = save ? SaveFileDialog(owner, filter) : OpenFileDialog(owner, filter);
  return path ? path->string() : std::string();
}

void CMacroHandlers::Notice(const std::string& id, const std::string& detail) const {
  if (!detail.empty()) Trace("%s: %s", id.c_str(), detail.c_str());
  if (dialogs_.notice) dialogs_.notice(id, detail);
}

void CMacroHandlers::MacroNamesChanged(CVarnikUSBDevice& page, CMacroControlUI& editor) {
  if (auto* keys = dynamic_cast<IKeyEditorHooks*>(page.FindSubControl("KeySetControlItem")))
    keys->SetMacroNames(editor.GetMacroNames());
  page.LoadEffectLists();
}

bool CMacroHandlers::ReportMacroDownload(CVarnikUSBDevice& page, int result) {
  const std::string& detail = page.LastMacroDownload().message;
  if (result > 0) {
    // The text holds one %d: the events too many.
    Notice("message_text_16", std::to_string(result));
    return false;
  }
  if (result == kMacroNoMemory) {
    Notice("message_text_7");
    return true;
  }
  if (result == kMacroFileBroken || result == kMacroWriteFailed) {
    Notice("macro_download_failed_text", detail);
    return false;
  }
  return true;
}

int CMacroHandlers::ApplyKeySettings(CVarnikUSBDevice& page) {
  const int r = page.DownloadMacros(page.CollectUsedMacros());
  if (!ReportMacroDownload(page, r)) return r;
  int keys = page.ApplyKeyAssignments(0);
  if (keys != CMD_OK) {
    // One lost or refused answer should not leave the keys behind the profile.
    Trace("key download: result %d, trying once more", keys);
    keys = page.ApplyKeyAssignments(0);
  }
  if (keys != CMD_OK) Notice("key_download_failed_text", "result " + std::to_string(keys));
  page.SaveProfile();
  return r;
}

void CMacroHandlers::DeleteSelectedMacro(CVarnikUSBDevice& page, CMacroControlUI& editor) {
  if (!Confirm("message_text_4")) return;
  const int k = editor.GetSelectedMacro();
  if (k < 0) return;
  std::optional<PageKeys> current = KeysOf(page);
  if (current && KeyListUsesMacro(current->keys, k) && !Confirm("message_text_2")) return;
  FixMacroReferencesInProfiles(page.UserDataFolder(), current ? current->deviceIndex : 0, page.GetProfileName(), k);
  const bool changed = current && FixMacroReferences(current->keys, k);
  if (changed) current->store(current->keys);
  editor.DeleteMacro();
  MacroNamesChanged(page, editor);
  if (changed) {
    current->refreshLabels();
    ApplyKeySettings(page);
  }
}

bool CMacroHandlers::HandleMacro(const TNotifyUI& msg, CVarnikUSBDevice* page) {
  if (page == nullptr || msg.pSender == nullptr) return false;
  auto* editor = dynamic_cast<CMacroControlUI*>(page->FindSubControl(macroui::kEditorName));
  if (editor == nullptr) return false;
  const std::string name(msg.pSender->GetName());
  const std::string& type = msg.sType;
  if (type == "itemselect" && name == macroui::kNameList) {
    editor->ShowSelectedMacro();
    if (!editor->LastError().empty()) Notice("macro_file_broken_text", editor->LastError());
    return true;
  }
  if (type == "killfocus" && name == macroui::kDelayEdit) {
    editor->SaveSelectedMacro();
    return true;
  }
  if (type != "click") return false;
  static const std::pair<const char*, void (CMacroControlUI::*)()> kRowOps[] = {
      {"macro_btn_up", &CMacroControlUI::MoveActionUp},
      {"macro_btn_down", &CMacroControlUI::MoveActionDown},
      {"macro_btn_uptop", &CMacroControlUI::MoveActionToTop},
      {"macro_btn_downbottom", &CMacroControlUI::MoveActionToBottom},
      {"macro_btn_delete", &CMacroControlUI::DeleteAction},
      {"macro_btn_deleteall", &CMacroControlUI::DeleteAllActions},
  };
  for (const auto& [button, op] : kRowOps) {
    if (name == button) {
      (editor->*op)();
      editor->SaveSelectedMacro();
      return true;
    }
  }
  static const char* kMoveButtons[4] = {"macro_inset_moveleftkey_btn", "macro_inset_moverightkey_btn",
                                        "macro_inset_moveupkey_btn", "macro_inset_movedownkey_btn"};
  for (int i = 0; i < 4; ++i) {
    if (name == kMoveButtons[i]) {
      editor->InsertMouseAction(kMsgMouseMove, i);
      if (!editor->LastError().empty()) {
        Notice("macro_insert_refused_text", editor->LastError());
        return true;
      }
      editor->SaveSelectedMacro();
      return true;
    }
  }
  if (name == macroui::kPrevRows || name == macroui::kNextRows) {
    // The typed delays travel with the rows; the file follows at the next save.
    if (name == macroui::kPrevRows)
      editor->ShowPreviousRows();
    else
      editor->ShowNextRows();
    return true;
  }
  if (name == "macro_btn_name_add") {
    if (Confirm("message_text_28") && !editor->AddMacro().empty()) MacroNamesChanged(*page, *editor);
  } else if (name == "macro_btn_name_sub") {
    DeleteSelectedMacro(*page, *editor);
  } else if (name == "macro_btn_name_edit") {
    const auto [text, index] = editor->RenameMacro();
    if (index < 0) return true;
    if (text.empty()) {
      Notice("message_text_5");
      return true;
    }
    MacroNamesChanged(*page, *editor);
    if (auto keys = KeysOf(*page)) keys->refreshLabels();
  } else if (name == "macro_btn_save") {
    editor->SaveSelectedMacro();
  } else if (name == "macro_btn_cancel") {
    editor->ShowSelectedMacro();
  } else if (name == "macro_btn_import") {
    const std::string path = Choose(*page, kMacroFilter, false);
    if (path.empty()) return true;
    if (!editor->ImportMacro(path).empty())
      MacroNamesChanged(*page, *editor);
    else if (!editor->LastError().empty())
      Notice("macro_import_failed_text", editor->LastError());
  } else if (name == "macro_btn_export") {
    if (editor->GetSelectedMacro() < 0) return true;
    const std::string path = Choose(*page, kMacroFilter, true);
    if (!path.empty() && !editor->ExportMacro(path)) Notice("macro_export_failed_text", editor->LastError());
  } else {
    return false;
  }
  return true;
}

bool CMacroHandlers::HandleShoot(const TNotifyUI& msg, CVarnikUSBDevice* page) {
  if (page == nullptr || msg.pSender == nullptr) return false;
  auto* editor = dynamic_cast<CShootControlUI*>(page->FindSubControl(shootui::kEditorName));
  if (editor == nullptr) return false;
  const std::string name(msg.pSender->GetName());
  const std::string& type = msg.sType;
  if (type == "selectchanged") {
    auto* option = dynamic_cast<COptionUI*>(msg.pSender);
    if (StartsWith(name, shootui::kGunPrefix)) {
      if (option != nullptr && !option->IsSelected()) return true;
      editor->SelectGun(NumberAfter(name, shootui::kGunPrefix));
      editor->ShowBullet();
    } else if (StartsWith(name, shootui::kBulletPrefix)) {
      if (option != nullptr && !option->IsSelected()) return true;
      editor->SelectBullet(NumberAfter(name, shootui::kBulletPrefix));
    } else if (name == shootui::kXCheck) {
      editor->UpdateXDirectionText();
    } else if (name == shootui::kYCheck) {
      editor->UpdateYDirectionText();
    } else {
      return false;
    }
    return true;
  }
  if (type == "killfocus") {
    if (name != shootui::kXEdit && name != shootui::kYEdit && name != shootui::kDelayEdit) return false;
    editor->SaveBullet();
    return true;
  }
  if (type != "click") return false;
  if (name == "bullet_selected_prev") {
    editor->SelectBullet(editor->GetSelectedBullet() - 1);
  } else if (name == "bullet_selected_next") {
    editor->SelectBullet(editor->GetSelectedBullet() + 1);
  } else if (name == "shootdate_reset_btn") {
    if (!editor->ResetGun(editor->GetSelectedGun())) Notice("shoot_reset_failed_text", editor->LastError());
  } else if (name == "shootdate_import_btn") {
    const std::string path = Choose(*page, kShootFilter, false);
    if (!path.empty() && !editor->ImportShootFile(path)) Notice("shoot_import_failed_text", editor->LastError());
  } else if (name == "shootdate_export_btn") {
    const std::string path = Choose(*page, kShootFilter, true);
    if (!path.empty() && !editor->ExportShootFile(path)) Notice("shoot_export_failed_text", editor->LastError());
  } else if (name == "shootdate_save_btn") {
    editor->SaveBullet();
    const DownloadReport r = page->DownloadShootSequences();
    if (r.result != 0) Notice("shoot_download_failed_text", r.message);
  } else {
    return false;
  }
  return true;
}

}  // namespace korvale
