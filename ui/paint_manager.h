#pragma once
// One paint manager per window: owns the control tree, finds controls by
// name, routes notifications to the notifiers, runs control timers on the UI
// loop, keeps option groups, the window's scale, and tells observers (the
// renderer) about every change of the tree.
#include <algorithm>
#include <cstddef>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "platform/ui_loop.h"
#include "ui/control.h"

namespace korvale {

class CWindowWnd;
class COptionUI;

struct TFontInfo {
  int id = -1;
  std::string name;
  int size = 12;
  bool bold = false;
  bool underline = false;
  bool italic = false;
  bool isDefault = false;
};

class CPaintManagerUI {
 public:
  CPaintManagerUI();
  ~CPaintManagerUI();
  CPaintManagerUI(const CPaintManagerUI&) = delete;
  CPaintManagerUI& operator=(const CPaintManagerUI&) = delete;

  void Init(CWindowWnd* window, std::string_view name = {});
  CWindowWnd* GetWindow() const { return window_; }
  // The window's handle (0 without a window), for messages to it.
  HWND GetPaintWindow() const;
  const std::string& GetName() const { return name_; }

  // Takes ownership of root (the old root is destroyed), sets this manager on
  // the whole tree and initialises it. nullptr just clears the tree.
  bool AttachDialog(CControlUI* root);
  CControlUI* GetRoot() const { return root_; }

  // First control with this name (ignoring case) in the tree, depth first.
  CControlUI* FindControl(std::string_view name) const;
  // The first descendant of parent with this name; parent itself excluded.
  CControlUI* FindSubControlByName(CControlUI* parent, std::string_view name) const;
  // Every descendant of parent of the given class (IsClass), parent excluded.
  std::vector<CControlUI*> FindSubControlsByClass(CControlUI* parent, std::string_view cls) const;

  // Runs the sender's own handlers, then every notifier in the order added.
  // bAsync queues the delivery on the UI loop (dropped if the sender dies first).
  void SendNotify(CControlUI* control, std::string_view type, WPARAM wParam = 0, LPARAM lParam = 0,
                  bool bAsync = false);
  void SendNotify(TNotifyUI& msg, bool bAsync = false);
  bool AddNotifier(INotifyUI* notifier);
  bool RemoveNotifier(INotifyUI* notifier);

  // The control receives a Timer event (wParam the id) every elapseMs; its
  // default handling sends "timer". Setting an existing id restarts it.
  bool SetTimer(CControlUI* control, UINT id, UINT elapseMs);
  bool KillTimer(CControlUI* control, UINT id);
  void KillTimer(CControlUI* control);  // all of its timers
  bool HasTimer(CControlUI* control, UINT id) const;

  void AddObserver(IControlObserver* observer);
  void RemoveObserver(IControlObserver* observer);

  // Layout request: observers hear it; the flag stays until cleared.
  void NeedUpdate();
  bool IsUpdateNeeded() const { return needUpdate_; }
  void ClearUpdateNeeded() { needUpdate_ = false; }
  void Invalidate(CControlUI* control);

  CControlUI* GetFocus() const { return focus_; }
  // Moves focus; the old control gets KillFocus, the new one SetFocus.
  void SetFocus(CControlUI* control);

  // Scale: accepted 48, 72, 96, 120, 144, 168, 192; anything else means 96.
  static bool IsValidDPI(int dpi);
  int GetDPI() const { return dpi_; }
  void SetDPI(int dpi);
  // Sets every live manager's scale and the default for new ones.
  static void SetAllDPI(int dpi);
  // Observers hear a layout request so sizes are recomputed at the new scale.
  void ResetDPIAssets();
  // Percent, 100 at 96 dpi.
  int GetScale() const { return dpi_ * 100 / 96; }
  int ScaleValue(int value) const { return value * dpi_ / 96; }

  // Option groups in this window.
  void AddOptionGroup(std::string_view group, COptionUI* option);
  void RemoveOptionGroup(std::string_view group, COptionUI* option);
  std::vector<COptionUI*> GetOptionGroup(std::string_view group) const;

  // <Default name="Button" value="..."/> lists, applied before a control's own attributes.
  void AddDefaultAttributeList(std::string_view cls, std::string_view list);
  std::string GetDefaultAttributeList(std::string_view cls) const;
  void AddFont(const TFontInfo& font);
  const TFontInfo* GetFont(int id) const;
  const std::vector<TFontInfo>& GetFonts() const { return fonts_; }
  // Attributes of the skin's <Window> element ("size", "caption", ...).
  void SetWindowAttribute(std::string_view name, std::string_view value);
  std::string GetWindowAttribute(std::string_view name) const;
  UiSize GetInitSize() const { return initSize_; }

  // Paths. The instance path is the executable's folder; the resource path
  // the skin folder that skin files and images are relative to.
  static void SetInstance(const std::filesystem::path& instanceDir);
  static std::filesystem::path GetInstancePath();
  static void SetResourcePath(const std::filesystem::path& path);
  static std::filesystem::path GetResourcePath();
  // Kept for callers; skins are read from plain folders here.
  static void SetResourceZip(std::string_view zipName, bool cached = false);
  static std::string GetResourceZip();
  // Runs the UI loop until quit.
  static int MessageLoop();

  // Every live manager (UI thread).
  static std::vector<CPaintManagerUI*> GetManagers();

  // For controls: report changes to observers.
  void FirePropertyChanged(CControlUI* control, const std::string& property, const std::string& detail);
  void FireChildAdded(CContainerUI* parent, CControlUI* child, int index);
  void FireChildRemoved(CContainerUI* parent, CControlUI* child);
  // A control of this tree is being destroyed: drop timers, focus, references.
  void ReapControl(CControlUI* control);

 private:
  struct TimerEntry {
    CControlUI* control;
    UINT id;
    UiLoop::TimerKey key;
  };
  void Deliver(TNotifyUI& msg);

  std::shared_ptr<char> life_;  // expires with the manager, for queued work
  CWindowWnd* window_ = nullptr;
  std::string name_;
  CControlUI* root_ = nullptr;
  CControlUI* focus_ = nullptr;
  std::vector<INotifyUI*> notifiers_;
  std::vector<IControlObserver*> observers_;  // null: removed while notifying
  int notifying_ = 0;
  // Tells each observer present at the start; one removed meanwhile is
  // skipped, one added meanwhile is not told.
  template <typename Fn>
  void ForEachObserver(Fn&& tell) {
    ++notifying_;
    const std::size_t count = observers_.size();
    for (std::size_t i = 0; i < count; ++i)
      if (IControlObserver* o = observers_[i]) tell(o);
    if (--notifying_ == 0)
      observers_.erase(std::remove(observers_.begin(), observers_.end(), nullptr), observers_.end());
  }
  std::vector<TimerEntry> timers_;
  std::map<std::string, std::vector<COptionUI*>> optionGroups_;
  std::map<std::string, std::string> defaultAttrs_;
  std::map<std::string, std::string> windowAttrs_;
  std::vector<TFontInfo> fonts_;
  UiSize initSize_;
  int dpi_ = 96;
  bool needUpdate_ = false;
  bool attaching_ = false;  // observers hear the new root once, not its pieces
};

}  // namespace korvale
