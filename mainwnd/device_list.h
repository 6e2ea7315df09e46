#pragma once
// The device list of the main window: the discovery slots, one page per
// product (in four lists by kind), each page's selector tile and power panel,
// attach and detach of the HID collections that discovery binds, switching a
// keyboard or mouse between its cable and its receiver, and the current
// device. Everything here runs on the UI thread; the discovery thread reaches
// it only through WM_DEVICE_BOUND / WM_DEVICE_LOST sent to the main window.
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "hid/device_table.h"
#include "ui/ui_types.h"

namespace korvale {

class CPaintManagerUI;
class CVarnikUSBDevice;
class CDeviceOptionUI;
class CMpDevicePowerUI;
class CDeviceDiscovery;
class IDialogBuilderCallback;

// Tile timers (ids of the tile's control timers).
constexpr UINT kTileTimerPaint = 1000;
constexpr UINT kTileTimerConnect = 1001;
constexpr UINT kTileTimerResync = 1002;
constexpr UINT kTileTimerReservedA = 1003;
constexpr UINT kTileTimerReservedB = 1004;
constexpr UINT kTileTimerStatus = 1005;
constexpr UINT kTileTimerLinkWatch = 1007;

// What the list asks of the main window beyond its paint manager. Every hook
// may be left empty.
struct DeviceListHooks {
  // The wake-up reaction after a bind: update "No_device_Link", restore the
  // window and bring it to the front.
  std::function<void()> wakeUp;
  // The selected tile is about to be hidden: close the child windows
  // (settings, palette, tool windows) and stop a running macro recording.
  std::function<void()> beforeSelectedTileHidden;
  // A device switched between cable and receiver: close the settings window.
  std::function<void()> closeSettingsWindow;
  // After every change of the visible tiles: whether synchronised lighting
  // is possible (two or more visible), for the lighting editors.
  std::function<void(bool)> syncAvailable;
  // A page's command channel opened: it gets the window's lighting-control
  // flag, which until now only went out on a toggle, message or resume.
  std::function<void(CVarnikUSBDevice*)> pageBound;
  // The current device changed, or a page's device notice did: the status
  // row shows the current one's.
  std::function<void()> statusChanged;
  // For desktop notifications: a page's device notice changed, its device
  // reported its power status, its tile was shown (plugged in) or hidden.
  std::function<void(CVarnikUSBDevice*)> deviceNotice;
  std::function<void(CVarnikUSBDevice*, const std::array<uint8_t, 6>&)> powerStatus;
  std::function<void(CVarnikUSBDevice*, bool)> deviceShown;
};

// Registers the tile and power panel classes with the control factory
// ("CDeviceOptionUI", "CMpDevicePowerUI"); the list does it itself too.
void RegisterDeviceListControls();

class CDeviceList {
 public:
  // pm: the main window's paint manager (its tree holds "device_select_layout",
  // "device_switch", "device_power_switch", "No_device_Link"); builder: the
  // main window as dialog-builder callback (may be null).
  CDeviceList(CPaintManagerUI& pm, IDialogBuilderCallback* builder, DeviceListHooks hooks = {});
  ~CDeviceList();  // stops discovery; pages stay in the tree (DestroyAll removes them)
  CDeviceList(const CDeviceList&) = delete;
  CDeviceList& operator=(const CDeviceList&) = delete;

  // The page of product row `productRow` (kProducts order), built on the
  // first call: a device's page comes with its first bind, so a product that
  // is absent costs nothing. Page, tile and power panel join the window; the
  // tiles stay in product order whatever order the devices bind in. Null when
  // the product's page class is not registered with the control factory (it
  // gets its page at a later call once it is) or its skins did not build.
  CVarnikUSBDevice* PageForProduct(int productRow);
  // The discovery thread: posts the identity message (when set) once after its
  // first full scan, sends WM_DEVICE_BOUND / WM_DEVICE_LOST to the main window.
  bool StartDiscovery();
  void StopDiscovery();
  // The registered identity message number (0 = none); by default the one
  // registered under the identity string, if any.
  void SetIdentityMessage(UINT msg);
  CDeviceDiscovery& Discovery() { return *discovery_; }

  // Message handlers (UI thread).
  LRESULT OnDeviceBound(WPARAM slot);
  LRESULT OnDeviceLost(WPARAM slot);
  LRESULT OnTileLink(WPARAM page, LPARAM show);

  // The device of the first visible tile whose "device_select" is selected.
  CVarnikUSBDevice* CurrentDevice() const;
  // Tiles by page index: product order, as in "device_select_layout".
  int PageCount() const { return static_cast<int>(entries_.size()); }
  CVarnikUSBDevice* PageAt(int index) const;
  CDeviceOptionUI* TileAt(int index) const;
  CMpDevicePowerUI* PowerPanelAt(int index) const;
  int IndexOfPage(const CVarnikUSBDevice* page) const;
  // Shows or hides tile i and, with select, shows its page and power panel.
  void ShowTile(int index, bool visible, bool select);
  // Hides tile i; when it was the selected one another visible tile is selected.
  void HideTile(int index);
  int VisibleTileCount() const;

  const std::vector<CVarnikUSBDevice*>& MousePages() const { return mice_; }
  const std::vector<CVarnikUSBDevice*>& KeyboardPages() const { return keyboards_; }
  const std::vector<CVarnikUSBDevice*>& MousePadPages() const { return mousepads_; }
  const std::vector<CVarnikUSBDevice*>& HeadsetPages() const { return headsets_; }

  // Cable <-> receiver switch of the device whose slot `slot` changed while its
  // partner slot is bound (UI thread).
  void SwitchConnection(int slot);

  // Whether the main window is shown. While it is not, nobody sees the key
  // lights: the pages hear it (their light threads rest) and the paint timers
  // stop, except where the paint feeds a device (status reads and link
  // watches go on).
  void SetWindowShown(bool shown);
  bool IsWindowShown() const { return windowShown_; }
  // Wireless status polling resumed: the status timers that stopped while it
  // was paused start again (the first read at once).
  void ResumeStatusPolls();

  // Exit: closes every page's channels and removes pages, tiles and panels.
  void DestroyAll();

 private:
  struct Entry;
  CVarnikUSBDevice* CreatePage(int tableRow);
  void AttachPrimary(const DeviceIdEntry& slot, int slotIndex);
  void AttachAuxiliary(const DeviceIdEntry& slot);
  void LosePrimary(const DeviceIdEntry& slot, int slotIndex);
  void LoseAuxiliary(const DeviceIdEntry& slot);
  std::vector<CVarnikUSBDevice*>* ListForKind(uint16_t kind);
  Entry* FindEntryByIdentity(const DeviceIdEntry& id, uint16_t kindFamily);
  void OnTileTimer(int index, UINT id);
  // Paints a new frame (and every time while the paint feeds the device).
  // From the timer it runs on while new frames come for an eye that sees
  // them; otherwise it rests until the next one, so a still look costs no
  // wake-ups and a slow animation one per frame.
  void PaintTick(Entry& e, bool fromTimer);
  // The paint timer rests until the page has a frame someone needs.
  void RestPainting(Entry& e);
  // That frame came: painted now, or when 50 ms have passed since the last paint.
  void OnLightFrame(Entry& e);
  void UpdateAfterVisibilityChange();

  CPaintManagerUI& pm_;
  IDialogBuilderCallback* builder_;
  DeviceListHooks hooks_;
  std::atomic<UINT> identityMsg_{0};  // read by the discovery thread
  std::unique_ptr<CDeviceDiscovery> discovery_;
  std::vector<std::unique_ptr<Entry>> entries_;
  std::vector<CVarnikUSBDevice*> mice_, keyboards_, mousepads_, headsets_;
  bool windowShown_ = true;
  // Handlers left on controls check it: they do nothing once the list is gone.
  std::shared_ptr<int> alive_ = std::make_shared<int>(0);
};

}  // namespace korvale
