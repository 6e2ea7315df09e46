#pragma once
// Windows of the model. A window is a handle, a message handler run on the UI
// thread, and (for WindowImplBase) a paint manager with a control tree built
// from a skin file. Messages sent or posted from any thread are handled on the
// UI thread in order; a handle that is gone swallows them.
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ui/dialog_builder.h"
#include "ui/paint_manager.h"

namespace korvale {

class CWindowWnd;

// What a renderer hears about windows (UI thread).
class IWindowObserver {
 public:
  virtual ~IWindowObserver() = default;
  // The window exists and its skin (if any) is built; read its rectangle,
  // title and visibility here (changes made while creating are not reported).
  virtual void OnWindowCreated(CWindowWnd* window) = 0;
  virtual void OnWindowShown(CWindowWnd* window, bool shown) = 0;
  virtual void OnWindowMoved(CWindowWnd* window, const UiRect& rect) = 0;
  // Called before the window's handle goes away.
  virtual void OnWindowDestroyed(CWindowWnd* window) = 0;
  virtual void OnWindowTitleChanged(CWindowWnd* /*window*/) {}
  virtual void OnWindowEnabled(CWindowWnd* /*window*/, bool /*enabled*/) {}
  // A shown window went to the task bar (true) or came back from it.
  virtual void OnWindowMinimized(CWindowWnd* /*window*/, bool /*minimized*/) {}
  // True when this renderer posts wm::kPaint after each window's first paint.
  virtual bool ReportsFirstPaint() const { return false; }
};

// Sends a message to a window and returns its result; from a worker thread it
// waits (at most timeoutMs) for the UI thread to handle it. 0 when the handle
// is not a window or the wait failed.
LRESULT SendMessageW(HWND hwnd, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0,
                     std::uint32_t timeoutMs = UiLoop::kInfinite);
// Queues a message for a window; false when the handle is not a window now.
bool PostMessageW(HWND hwnd, UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
bool IsWindow(HWND hwnd);

// A copy-data block while its WM_COPYDATA runs. The message itself carries no
// pointer (wParam and lParam are 0), so a WM_COPYDATA from anywhere else finds
// no block here and cannot make the handler read foreign memory.
struct CopyDataView {
  std::uint64_t dwData = 0;
  const std::uint8_t* data = nullptr;
  std::size_t size = 0;
};
// Sends WM_COPYDATA to hwnd with the block readable through CurrentCopyData()
// during the call; from a worker thread it waits like SendMessageW.
LRESULT SendCopyData(HWND hwnd, std::uint64_t dwData, const std::uint8_t* data, std::size_t size,
                     std::uint32_t timeoutMs = UiLoop::kInfinite);
// The block of the WM_COPYDATA being handled (UI thread), else nullptr.
const CopyDataView* CurrentCopyData();

class CWindowWnd {
 public:
  CWindowWnd();
  virtual ~CWindowWnd();
  CWindowWnd(const CWindowWnd&) = delete;
  CWindowWnd& operator=(const CWindowWnd&) = delete;

  HWND GetHWND() const { return hwnd_; }
  // The window for a live handle (UI thread), else nullptr.
  static CWindowWnd* FromHandle(HWND hwnd);

  // Creates the window: handles WM_CREATE, then tells the observer. Returns
  // the new handle, or 0 when already created.
  HWND Create(HWND parent, std::string_view name, UINT style = 0, UINT exStyle = 0, UiRect rc = {});
  HWND GetParent() const { return parent_; }
  void ShowWindow(bool show = true, bool takeFocus = true);
  bool IsVisible() const { return visible_; }
  // Minimised: shown, but only in the task bar. Showing (or hiding) the
  // window ends it.
  void Minimize();
  bool IsMinimized() const { return minimized_; }
  // The renderer's report that the user minimised or restored the window.
  void NoteMinimized(bool minimized) { minimized_ = minimized && visible_; }
  // Shows the window and runs the UI loop nested until it is destroyed;
  // returns the value given to Close. The owner is disabled meanwhile. On a
  // loop that runs out of time before the close (tests) returns -1.
  int ShowModal();
  bool IsModal() const { return modal_; }
  // Asks the window to close: posts WM_CLOSE with ret. The default handling
  // destroys the window; a handler may keep it (e.g. hide instead).
  void Close(UINT ret = IDOK);
  // Destroys at once: WM_DESTROY, observer, then OnFinalMessage.
  void DestroyWindow();
  // Centres on the owner, or on the screen when there is none.
  void CenterWindow();
  void MoveWindow(const UiRect& rect);
  const UiRect& GetWindowRect() const { return rect_; }
  void SetWindowText(std::string_view title);
  const std::string& GetWindowText() const { return title_; }
  bool IsWindowEnabled() const { return enabled_; }
  void EnableWindow(bool enable);

  LRESULT SendMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
  bool PostMessage(UINT msg, WPARAM wParam = 0, LPARAM lParam = 0);
  // Window timer: WM_TIMER with wParam id every elapseMs.
  bool SetTimer(UINT id, UINT elapseMs);
  bool KillTimer(UINT id);

  virtual std::string GetWindowClassName() const { return "CWindowWnd"; }
  // The window's paint manager, if it has one.
  virtual CPaintManagerUI* GetManager() { return nullptr; }
  // Runs one message on the UI thread (what Send/Post end in).
  LRESULT Dispatch(UINT msg, WPARAM wParam, LPARAM lParam);

  static void SetObserver(IWindowObserver* observer);
  static IWindowObserver* GetObserver();
  // Screen size used for centring without an owner.
  static void SetScreenSize(UiSize size);
  static UiSize GetScreenSize();

 protected:
  // Default handling: WM_CLOSE destroys the window.
  virtual LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam);
  // The handle is gone; a window that owns itself may delete itself here.
  virtual void OnFinalMessage(HWND /*hwnd*/) {}
  // For destructors: drops the handle without messages (observer still told).
  void ReleaseWindow();
  // Queues "windowsize" from the root control (a size change of a running window).
  void SendWindowSize();

 private:
  struct ModalState {
    bool done = false;
    int result = -1;
  };
  HWND hwnd_ = 0;
  HWND parent_ = 0;
  std::string name_;
  std::string title_;
  UiRect rect_;
  bool visible_ = false;
  bool minimized_ = false;
  bool enabled_ = true;
  bool modal_ = false;
  bool announced_ = false;  // the observer knows the window
  int closeResult_ = IDOK;
  std::shared_ptr<ModalState> modalState_;
  std::map<UINT, UiLoop::TimerKey> timers_;
};

// Notification routing by type text and optionally control name; a
// notification whose control sits under a "virtualwnd" goes to the pump
// registered under that name.
class CNotifyPump {
 public:
  using Handler = std::function<void(TNotifyUI&)>;
  virtual ~CNotifyPump() = default;
  // For notifications of this type from any control.
  void AddNotifyHandler(std::string_view type, Handler handler);
  // For notifications of this type from the named control (ignoring case);
  // these win over the type-only handlers.
  void AddNotifyHandler(std::string_view type, std::string_view controlName, Handler handler);
  bool AddVirtualWnd(std::string_view name, CNotifyPump* pump);
  bool RemoveVirtualWnd(std::string_view name);
  // Runs the matching handler; true when one ran.
  bool NotifyPump(TNotifyUI& msg);

 private:
  struct Entry {
    std::string type;
    std::string name;  // lower case, empty for any control
    Handler handler;
  };
  std::vector<Entry> entries_;
  std::map<std::string, CNotifyPump*> virtualWnds_;  // lower-case names
};

// A window built from a skin file. Subclasses name the skin and override the
// hooks; "click" goes to OnClick, every other notification through Notify to
// the notification map.
class WindowImplBase : public CWindowWnd,
                       public CNotifyPump,
                       public INotifyUI,
                       public IDialogBuilderCallback {
 public:
  WindowImplBase();
  ~WindowImplBase() override;

  CPaintManagerUI* GetManager() override { return &m_pm; }
  CPaintManagerUI& GetPaintManager() { return m_pm; }

  std::string GetWindowClassName() const override { return "WindowImplBase"; }
  // The skin: a resource name or a path relative to the resource folder.
  virtual std::string GetSkinFile() { return {}; }
  // Prefix put before the skin file name (may be empty).
  virtual std::string GetSkinFolder() { return {}; }
  // After the skin is built and attached, before "windowinit" arrives.
  virtual void InitWindow() {}
  // "click" from any control; "closebtn" closes the window by default.
  virtual void OnClick(TNotifyUI& msg);
  void Notify(TNotifyUI& msg) override;
  CControlUI* CreateControl(std::string_view pstrClass) override;
  // Messages the base does not handle; set bHandled to stop default handling.
  virtual LRESULT HandleCustomMessage(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  // SC_MINIMIZE minimises, SC_RESTORE shows the window restored; others
  // are not handled.
  virtual LRESULT OnSysCommand(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  virtual LRESULT OnCreate(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  virtual LRESULT OnClose(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled);
  virtual LRESULT OnDestroy(UINT msg, WPARAM wParam, LPARAM lParam, bool& bHandled);

 protected:
  LRESULT HandleMessage(UINT msg, WPARAM wParam, LPARAM lParam) override;
  CPaintManagerUI m_pm;
};

}  // namespace korvale
