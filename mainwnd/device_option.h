#pragma once
// The selector tile of one device page ("DeviceOption"): an option that shows
// the page, an option for synchronised lighting and the product's name. Its
// timers drive the page once the device is attached; the device list decides
// what each timer does.
#include <functional>
#include <string>

#include "ui/containers.h"

namespace korvale {

class CVarnikUSBDevice;
class COptionUI;
class CLabelUI;

// The four images of a tile and its tool-tip text ID, by kind.
struct TileIcons {
  const char* normal;
  const char* selected;
  const char* toolTip;
  const char* synchroSelected;
  const char* synchroNormal;
};
// The icons for a kind and auxiliary value; nullptr for kind 3 with an
// auxiliary value other than 0 or 1 (the icons stay as they are).
const TileIcons* TileIconsFor(int kind, int auxiliary);

class CDeviceOptionUI : public CHorizontalLayoutUI {
 public:
  CDeviceOptionUI();
  std::string GetClass() const override { return "DeviceOption"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "DeviceOption") || CHorizontalLayoutUI::IsClass(cls);
  }
  void DoEvent(TEventUI& event) override;

  void SetDevice(CVarnikUSBDevice* device) { device_ = device; }
  CVarnikUSBDevice* GetDevice() const { return device_; }

  // Kind and auxiliary value choose the icons.
  void SetKindAndAuxiliary(int kind, int auxiliary);
  int GetKind() const { return kind_; }
  int GetAuxiliary() const { return auxiliary_; }
  const TileIcons& Icons() const { return icons_; }

  void SetPowerPanel(const std::string& layoutName, int index) {
    powerLayoutName_ = layoutName;
    powerIndex_ = index;
  }
  const std::string& GetPowerLayoutName() const { return powerLayoutName_; }
  int GetPowerPanelIndex() const { return powerIndex_; }

  // Children, looked up on first use (nullptr when the skin lacks them).
  COptionUI* SelectOption();
  COptionUI* SynchroOption();
  CLabelUI* NameLabel();
  bool IsSelectedTile();
  bool IsSynchroSelected();
  // Shows the synchro pair while the synchro option is selected.
  void UpdateIcons();

  // Control timers of the tile go here (id in the argument).
  void SetTimerHandler(std::function<void(UINT)> handler) { timerHandler_ = std::move(handler); }

 private:
  CVarnikUSBDevice* device_ = nullptr;
  int kind_ = 0;
  int auxiliary_ = 0;
  TileIcons icons_;
  std::string powerLayoutName_;
  int powerIndex_ = -1;
  COptionUI* select_ = nullptr;
  COptionUI* synchro_ = nullptr;
  CLabelUI* name_ = nullptr;
  bool lookedUp_ = false;
  bool synchroHooked_ = false;
  std::function<void(UINT)> timerHandler_;
};

}  // namespace korvale
