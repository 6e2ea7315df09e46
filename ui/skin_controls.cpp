#include "ui/skin_controls.h"

#include "platform/trace.h"
#include "ui/custom_controls.h"

namespace korvale {

namespace {
template <typename T>
CControlFactory::CreateClass Maker() {
  return [] { return static_cast<CControlUI*>(new T); };
}

// The classes this layer defines.
const std::map<std::string, CControlFactory::CreateClass>& OwnClasses() {
  static const std::map<std::string, CControlFactory::CreateClass> own = {
      {"CCircleProgressUI", Maker<CCircleProgressUI>()},
      {"CChartViewUI", Maker<CChartViewUI>()},
      {"CWndUI", Maker<CWndUI>()},
      {"CSelectPanelUI", Maker<CSelectPanelUI>()},
      {"CDeviceKeyButtonUI", Maker<CDeviceKeyButtonUI>()},
      {"CCloudShareListItemUI", Maker<CCloudShareListItemUI>()},
      {"CUpdateInfoListItemUI", Maker<CUpdateInfoListItemUI>()},
      {"CComboEditContainerElementUI", Maker<CComboEditContainerElementUI>()},
      {"CHandImgButtonUI", Maker<CHandImgButtonUI>()},
      {"CHandImgSelectButtonUI", Maker<CHandImgSelectButtonUI>()},
      {"CRedioMacroButtonUI", Maker<CRedioMacroButtonUI>()},
      {"CAudioRecordUI", Maker<CAudioRecordUI>()},
  };
  return own;
}
}  // namespace

std::vector<std::string> RegisterSkinControls(const std::map<std::string, CControlFactory::CreateClass>& supplied) {
  std::vector<std::string> registered;
  CControlFactory& factory = CControlFactory::GetInstance();
  for (std::string_view name : kSkinControlClasses) {
    std::string key(name);
    CControlFactory::CreateClass create;
    if (auto it = supplied.find(key); it != supplied.end()) {
      create = it->second;
    } else if (auto own = OwnClasses().find(key); own != OwnClasses().end()) {
      create = own->second;
    }
    if (!create) continue;
    factory.RegistControl(name, create);
    registered.push_back(key);
  }
  // Classes of other layers outside the ordered list (e.g. the mouse and
  // keyboard pages) are registered after it.
  for (const auto& [name, create] : supplied) {
    bool listed = false;
    for (std::string_view n : kSkinControlClasses) listed = listed || n == name;
    if (!listed && create) {
      factory.RegistControl(name, create);
      registered.push_back(name);
    }
  }
  return registered;
}

CControlUI* CreateSkinControl(std::string_view tag, IDialogBuilderCallback* callback, CPaintManagerUI* manager) {
  for (const SkinTagClass& t : kSkinObjectTags) {
    if (EqualsNoCase(t.tag, tag)) {
      CControlUI* c = CControlFactory::GetInstance().CreateControl(t.className);
      if (c == nullptr) Trace("skin tag %s: class %s is not registered", std::string(tag).c_str(), std::string(t.className).c_str());
      return c;
    }
  }
  for (const SkinTagFile& t : kSkinFileTags) {
    if (EqualsNoCase(t.tag, tag)) {
      CDialogBuilder builder;
      CControlUI* c = builder.Create(t.file, callback, manager);
      if (c == nullptr) Trace("skin tag %s: %s built no control", std::string(tag).c_str(), std::string(t.file).c_str());
      return c;
    }
  }
  return nullptr;
}

}  // namespace korvale
