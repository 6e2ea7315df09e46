#pragma once
// The skin's control classes and the main window's tag table. Classes whose
// code lives in higher layers (device pages, editors) are handed in by those
// layers at start-up; the ones defined here are always available.
#include <array>
#include <map>
#include <string>
#include <string_view>

#include "ui/dialog_builder.h"

namespace korvale {

// Class names registered with the control factory, in registration order.
inline constexpr std::array<std::string_view, 24> kSkinControlClasses = {
    "CCircleProgressUI",     "CChartViewUI",          "CWndUI",
    "CSelectPanelUI",        "CDeviceKeyButtonUI",    "CCloudShareListItemUI",
    "CUpdateInfoListItemUI", "CDeviceOptionUI",       "CMpDevicePowerUI",
    "CComboEditContainerElementUI", "CHandImgButtonUI", "CHandImgSelectButtonUI",
    "CRedioMacroButtonUI",   "CAudioRecordUI",        "CLightControlUI",
    "CMacroControlUI",       "CKeySetControlUI",      "CDeviceProfileUI",
    "CShootControlUI",       "CMagicControlUI",       "CVoice6533ControlUI",
    "CVarnikUSBDevice",      "CVarnikMousePadDevice", "CVarnikHS6533Device",
};

// Main window tags that create an object, with the factory class they create.
struct SkinTagClass {
  std::string_view tag;
  std::string_view className;
};
inline constexpr std::array<SkinTagClass, 18> kSkinObjectTags = {{
    {"CircleProgress", "CCircleProgressUI"},
    {"SelectPanel", "CSelectPanelUI"},
    {"DeviceKeyButton", "CDeviceKeyButtonUI"},
    {"HandImgButton", "CHandImgButtonUI"},
    {"AudioRecord", "CAudioRecordUI"},
    {"HandImgSelectButton", "CHandImgSelectButtonUI"},
    {"RedioMacroButton", "CRedioMacroButtonUI"},
    {"ComboEditContainerElement", "CComboEditContainerElementUI"},
    {"VarnikMousePadDevice", "CVarnikMousePadDevice"},
    {"VarnikHS6533Device", "CVarnikHS6533Device"},
    {"VarnikMouseDevice", "CVarnikMouseDevice"},
    {"VarnikKeyboardDevice", "CVarnikKeyboardDevice"},
    {"DeviceProfile", "CDeviceProfileUI"},
    {"LightControl", "CLightControlUI"},
    {"MagicControl", "CMagicControlUI"},
    {"Voice6533Control", "CVoice6533ControlUI"},
    {"KeySetControl", "CKeySetControlUI"},
    {"ShootControl", "CShootControlUI"},
}};

// Main window tags that expand into a nested skin file.
struct SkinTagFile {
  std::string_view tag;
  std::string_view file;
};
inline constexpr std::array<SkinTagFile, 8> kSkinFileTags = {{
    {"DeviceProfileUI", "XML/CustomControlXML/DeviceProfile.xml"},
    {"LightSetControlUI", "XML/CustomControlXML/LightControl.xml"},
    {"Voice6533SetControlUI", "XML/CustomControlXML/Voice6533Control.xml"},
    {"MagicSetControlUI", "XML/CustomControlXML/MagicControl.xml"},
    {"KeySetControlUI", "XML/CustomControlXML/KeySetControl.xml"},
    {"MacroSetControlUI", "XML/CustomControlXML/MacroControl.xml"},
    {"ShootKeySetControlUI", "XML/CustomControlXML/ShootControl.xml"},
    {"VirtualSetControlUI", "XML/CustomControlXML/VirtualSet.xml"},
}};

// Registers the skin classes in kSkinControlClasses order: those defined in
// this layer always, the others when `supplied` has a creator for them.
// Returns the names registered.
std::vector<std::string> RegisterSkinControls(
    const std::map<std::string, CControlFactory::CreateClass>& supplied = {});

// The main window's CreateControl: an object tag creates its class through
// the factory (nullptr while that class is not registered), a file tag builds
// its nested skin with the given callback and manager; any other tag gives
// nullptr. Tags compare ignoring case.
CControlUI* CreateSkinControl(std::string_view tag, IDialogBuilderCallback* callback,
                              CPaintManagerUI* manager);

}  // namespace korvale
