#pragma once
// The control model's base: one CControlUI per skin element. Controls hold
// state only; a renderer draws them, follows their changes through
// IControlObserver and feeds user input back through DoEvent/Activate and the
// *FromUser entries, which change the model and send the same notifications a
// page would see from a real click.
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/ui_types.h"

namespace korvale {

class CControlUI;
class CContainerUI;
class CPaintManagerUI;

// A notification from a control to the window's notifiers.
struct TNotifyUI {
  CDuiString sType;
  CDuiString sVirtualWnd;
  CControlUI* pSender = nullptr;
  std::uint64_t dwTimestamp = 0;
  UiPoint ptMouse;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

class INotifyUI {
 public:
  virtual ~INotifyUI() = default;
  virtual void Notify(TNotifyUI& msg) = 0;
};

// Notification type texts.
namespace notify {
inline constexpr const char* kClick = "click";
inline constexpr const char* kSelectChanged = "selectchanged";
inline constexpr const char* kItemSelect = "itemselect";
inline constexpr const char* kItemClick = "itemclick";
inline constexpr const char* kItemActivate = "itemactivate";
inline constexpr const char* kValueChanged = "valuechanged";
inline constexpr const char* kMoveValueChanged = "movevaluechanged";  // a slider while dragged
inline constexpr const char* kTextChanged = "textchanged";
inline constexpr const char* kKillFocus = "killfocus";
inline constexpr const char* kSetFocus = "setfocus";
inline constexpr const char* kWindowInit = "windowinit";
inline constexpr const char* kTimer = "timer";
inline constexpr const char* kMenu = "menu";
inline constexpr const char* kReturn = "return";
inline constexpr const char* kDbClick = "dbclick";
inline constexpr const char* kColorChanged = "colorchanged";
inline constexpr const char* kTabSelect = "tabselect";
inline constexpr const char* kWindowSize = "windowsize";
inline constexpr const char* kClickHandDelete = "click_handdelete";
inline constexpr const char* kClickSelectEnd = "click_select_end";
}  // namespace notify

// Input events a renderer delivers to a control (positions in window
// coordinates, the same space as GetPos()).
enum class UiEventType {
  MouseEnter,
  MouseLeave,
  MouseMove,
  ButtonDown,
  ButtonUp,
  DblClick,
  RButtonDown,
  ContextMenu,
  KeyDown,
  SetFocus,
  KillFocus,
  Timer,
  ScrollWheel,
};

// Modifier flags of TEventUI::wKeyState.
constexpr UINT kKeyStateControl = 0x0008;
constexpr UINT kKeyStateShift = 0x0004;
// Key codes of TEventUI::chKey.
constexpr UINT kVkReturn = 0x0D;

struct TEventUI {
  UiEventType Type = UiEventType::MouseMove;
  CControlUI* pSender = nullptr;
  UiPoint ptMouse;
  UINT chKey = 0;
  UINT wKeyState = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;
};

// Property names passed to IControlObserver::OnPropertyChanged.
namespace prop {
inline constexpr const char* kName = "name";
inline constexpr const char* kText = "text";
inline constexpr const char* kToolTip = "tooltip";
inline constexpr const char* kVisible = "visible";
inline constexpr const char* kEnabled = "enabled";
inline constexpr const char* kBkColor = "bkcolor";
inline constexpr const char* kBkImage = "bkimage";
inline constexpr const char* kSelected = "selected";
inline constexpr const char* kValue = "value";
inline constexpr const char* kRange = "range";
inline constexpr const char* kCurSel = "cursel";
inline constexpr const char* kImage = "image";  // any image of a control
inline constexpr const char* kColor = "color";  // any colour of a control
inline constexpr const char* kAttribute = "attribute";  // another skin attribute
inline constexpr const char* kPos = "pos";
inline constexpr const char* kState = "state";  // hot/pushed/other view state
}  // namespace prop

// A renderer's view of model changes. Registered on a window's paint manager;
// called on the UI thread, after the change.
class IControlObserver {
 public:
  virtual ~IControlObserver() = default;
  // property is one of prop::*; for prop::kAttribute, detail names it.
  virtual void OnPropertyChanged(CControlUI* control, const std::string& property,
                                 const std::string& detail) = 0;
  virtual void OnChildAdded(CContainerUI* parent, CControlUI* child, int index) = 0;
  // Called before the child is detached (and destroyed unless kept).
  virtual void OnChildRemoved(CContainerUI* parent, CControlUI* child) = 0;
  // The control wants repainting (its content changed in a way no property says).
  virtual void OnInvalidate(CControlUI* /*control*/) {}
  // The window's tree changed shape or sizes: lay out again.
  virtual void OnNeedUpdate(CPaintManagerUI* /*manager*/) {}
  // A new root was attached (AttachDialog). Changes made while the tree is
  // being attached (controls building their own parts) are not reported
  // separately: the whole tree is new.
  virtual void OnRootChanged(CPaintManagerUI* /*manager*/, CControlUI* /*root*/) {}
};

class CControlUI {
 public:
  CControlUI();
  virtual ~CControlUI();
  CControlUI(const CControlUI&) = delete;
  CControlUI& operator=(const CControlUI&) = delete;

  // Class name as the skin and the select panel know it ("Button", ...).
  virtual std::string GetClass() const { return "Control"; }
  // True when this control is (or derives from) the named class.
  virtual bool IsClass(std::string_view cls) const { return EqualsNoCase(cls, "Control"); }
  // Options of one group deselect each other only below the same nearest
  // control that scopes groups: several pages of one window (a device page
  // each) have tabs and choices of the same group names.
  virtual bool ScopesOptionGroups() const { return false; }

  const CDuiString& GetName() const { return name_; }
  void SetName(std::string_view name);

  // The text as shown: a text ID known to the language resources is
  // translated (see CResourceManager), anything else is returned as set.
  virtual CDuiString GetText() const;
  virtual void SetText(std::string_view text);
  const CDuiString& GetRawText() const { return text_; }
  CDuiString GetToolTip() const;
  void SetToolTip(std::string_view tip);
  bool IsResourceText() const { return resourceText_; }
  // Off: the text is shown as set, never looked up as a text ID.
  void SetResourceText(bool on) { resourceText_ = on; }

  const CDuiString& GetUserData() const { return userData_; }
  void SetUserData(std::string_view data) { userData_ = CDuiString(data); }
  std::uintptr_t GetTag() const { return tag_; }
  void SetTag(std::uintptr_t tag) { tag_ = tag; }

  bool IsVisible() const { return visible_; }
  virtual void SetVisible(bool visible = true);
  // Visible and every ancestor visible.
  bool IsShown() const;
  bool IsEnabled() const { return enabled_; }
  virtual void SetEnabled(bool enabled = true);
  bool IsFocused() const { return focused_; }
  void SetFocus();

  DWORD GetBkColor() const { return bkColor_; }
  void SetBkColor(DWORD color);
  const CDuiString& GetBkImage() const { return bkImage_; }
  void SetBkImage(std::string_view image);
  DWORD GetTextColor() const { return textColor_; }
  void SetTextColor(DWORD color);

  // Size attributes from the skin; the renderer lays out with them.
  int GetFixedWidth() const { return fixedSize_.cx; }
  int GetFixedHeight() const { return fixedSize_.cy; }
  void SetFixedWidth(int cx);
  void SetFixedHeight(int cy);
  int GetMinWidth() const { return minSize_.cx; }
  int GetMinHeight() const { return minSize_.cy; }
  int GetMaxWidth() const { return maxSize_.cx; }
  int GetMaxHeight() const { return maxSize_.cy; }
  const UiRect& GetPadding() const { return padding_; }
  void SetPadding(const UiRect& padding);
  bool IsFloat() const { return float_; }
  void SetFloat(bool floating);
  // Position the skin asked for ("pos"), relative to the parent when floating.
  const UiRect& GetFixedXY() const { return fixedPos_; }
  void SetFixedXY(const UiRect& pos);
  // Off: the control takes no mouse input (it goes to what lies below).
  bool IsMouseEnabled() const { return mouseEnabled_; }
  void SetMouseEnabled(bool enabled);

  // The control's rectangle in window coordinates, as laid out by the renderer.
  const UiRect& GetPos() const { return pos_; }
  virtual void SetPos(const UiRect& rc);

  // Any skin attribute: known ones change typed state, every one is kept by
  // its lower-case name and can be read back.
  virtual void SetAttribute(std::string_view name, std::string_view value);
  // The kept value, or "" when never set.
  std::string GetAttribute(std::string_view name) const;
  bool HasAttribute(std::string_view name) const;
  const std::map<std::string, std::string>& GetAttributes() const { return attrs_; }
  // "name=\"value\" ..." list as used inside skin files.
  void ApplyAttributeList(std::string_view list);
  void SetAttributeList(std::string_view list) { ApplyAttributeList(list); }

  CControlUI* GetParent() const { return parent_; }
  CPaintManagerUI* GetManager() const { return manager_; }
  // Sets the manager (and parent) for this control and, for containers,
  // every descendant; bInit runs DoInit once the control is attached.
  virtual void SetManager(CPaintManagerUI* manager, CControlUI* parent, bool bInit = true);
  // Called once when the control first gets a manager (after its attributes).
  virtual void DoInit() {}
  void Init();

  // Searching: this control, then (for containers) the descendants in order.
  virtual CControlUI* FindControlByName(std::string_view name);
  // Visits this control and every descendant, depth first, in child order.
  virtual void ForEach(const std::function<void(CControlUI*)>& fn);

  // Input from the renderer.
  virtual void DoEvent(TEventUI& event);
  // What a click does (a button sends "click"); false when disabled or hidden.
  virtual bool Activate();

  void Invalidate();
  void NeedUpdate();
  void NeedParentUpdate() { NeedUpdate(); }

  // Handlers that see this control's notifications before the window's
  // notifiers do (their result is not used).
  using NotifyHandler = std::function<bool(TNotifyUI&)>;
  void AddOnNotify(NotifyHandler handler) { onNotify_.push_back(std::move(handler)); }
  void RunOnNotify(TNotifyUI& msg);

  // Nearest "virtualwnd" attribute up the tree.
  CDuiString GetVirtualWnd() const;

  // Expires when the control is destroyed: tasks queued for later hold this.
  std::weak_ptr<void> Lifetime() const { return life_; }

 protected:
  // Tells the manager's observers about a change (no-op without a manager).
  void Changed(const std::string& property, const std::string& detail = {});
  // Sends a notification through the manager (no-op without one).
  void Notify(const char* type, WPARAM wParam = 0, LPARAM lParam = 0);

  CPaintManagerUI* manager_ = nullptr;
  CControlUI* parent_ = nullptr;

 private:
  std::shared_ptr<char> life_;
  CDuiString name_;
  CDuiString text_;
  CDuiString toolTip_;
  CDuiString userData_;
  CDuiString bkImage_;
  std::uintptr_t tag_ = 0;
  bool visible_ = true;
  bool enabled_ = true;
  bool focused_ = false;
  bool resourceText_ = true;
  bool float_ = false;
  bool mouseEnabled_ = true;
  bool inited_ = false;
  DWORD bkColor_ = 0;
  DWORD textColor_ = 0;
  UiSize fixedSize_;
  UiSize minSize_;
  UiSize maxSize_{9999, 9999};
  UiRect padding_;
  UiRect fixedPos_;
  UiRect pos_;
  std::map<std::string, std::string> attrs_;
  std::vector<NotifyHandler> onNotify_;
};

}  // namespace korvale
