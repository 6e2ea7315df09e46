#include "ui/dialog_builder.h"

#include <tinyxml2.h>

#include "platform/atomic_file.h"
#include "platform/paths.h"
#include "platform/trace.h"
#include "ui/controls.h"
#include "ui/paint_manager.h"
#include "ui/resource_manager.h"

namespace korvale {

// ---- factory ----

namespace {
template <typename T>
CControlFactory::CreateClass Maker() {
  return [] { return static_cast<CControlUI*>(new T); };
}
}  // namespace

CControlFactory::CControlFactory() {
  RegistControl("CControlUI", Maker<CControlUI>());
  RegistControl("CContainerUI", Maker<CContainerUI>());
  RegistControl("CVerticalLayoutUI", Maker<CVerticalLayoutUI>());
  RegistControl("CHorizontalLayoutUI", Maker<CHorizontalLayoutUI>());
  RegistControl("CTabLayoutUI", Maker<CTabLayoutUI>());
  RegistControl("CLabelUI", Maker<CLabelUI>());
  RegistControl("CTextUI", Maker<CTextUI>());
  RegistControl("CButtonUI", Maker<CButtonUI>());
  RegistControl("COptionUI", Maker<COptionUI>());
  RegistControl("CCheckBoxUI", Maker<CCheckBoxUI>());
  RegistControl("CEditUI", Maker<CEditUI>());
  RegistControl("CProgressUI", Maker<CProgressUI>());
  RegistControl("CSliderUI", Maker<CSliderUI>());
  RegistControl("CListUI", Maker<CListUI>());
  RegistControl("CListLabelElementUI", Maker<CListLabelElementUI>());
  RegistControl("CListContainerElementUI", Maker<CListContainerElementUI>());
  RegistControl("CComboUI", Maker<CComboUI>());
  RegistControl("CColorPaletteUI", Maker<CColorPaletteUI>());
}

CControlFactory& CControlFactory::GetInstance() {
  static CControlFactory* f = new CControlFactory;  // used until exit
  return *f;
}

void CControlFactory::RegistControl(std::string_view name, CreateClass create) {
  if (name.empty() || !create) return;
  std::string key = ToLower(name);
  if (creators_.count(key) == 0) order_.emplace_back(name);
  creators_[key] = std::move(create);
}

void CControlFactory::UnregistControl(std::string_view name) {
  std::string key = ToLower(name);
  if (creators_.erase(key) == 0) return;
  for (auto it = order_.begin(); it != order_.end(); ++it) {
    if (EqualsNoCase(*it, name)) {
      order_.erase(it);
      break;
    }
  }
}

bool CControlFactory::IsRegistered(std::string_view name) const { return creators_.count(ToLower(name)) != 0; }

CControlUI* CControlFactory::CreateControl(std::string_view name) const {
  auto it = creators_.find(ToLower(name));
  return it == creators_.end() ? nullptr : it->second();
}

std::vector<std::string> CControlFactory::GetRegisteredNames() const { return order_; }

// ---- builder ----

namespace {
thread_local int t_depth = 0;

struct DepthGuard {
  DepthGuard() { ++t_depth; }
  ~DepthGuard() { --t_depth; }
};
}  // namespace

struct CDialogBuilder::Impl {
  IDialogBuilderCallback* callback;
  CPaintManagerUI* manager;
  std::string source;  // for traces

  // Builds the children of node into parent (or, with no parent, returns
  // the first control built and discards the rest).
  CControlUI* Parse(const tinyxml2::XMLElement* node, CControlUI* parent) {
    CControlUI* first = nullptr;
    for (const tinyxml2::XMLElement* e = node->FirstChildElement(); e != nullptr; e = e->NextSiblingElement()) {
      CControlUI* c = BuildElement(e, parent);
      if (c != nullptr && first == nullptr) first = c;
    }
    return first;
  }

  CControlUI* BuildElement(const tinyxml2::XMLElement* e, CControlUI* parent) {
    std::string_view tag = e->Name();
    if (EqualsNoCase(tag, "Include")) {
      const char* src = e->Attribute("source");
      if (src == nullptr) {
        Trace("skin %s: Include without source", source.c_str());
        return nullptr;
      }
      // The name comes from a file: it must stay inside the skin folder.
      std::filesystem::path resolved = ResolveSkinPath(src);
      if (!IsInside(CPaintManagerUI::GetResourcePath(), resolved)) {
        Trace("skin %s: Include %s points outside the skin folder, skipped", source.c_str(), src);
        return nullptr;
      }
      CDialogBuilder nested;
      return nested.Create(resolved.string(), callback, manager, parent);
    }
    CControlUI* control = CreateControlForTag(tag, callback);
    if (control == nullptr) {
      Trace("skin %s: unknown control <%s> skipped", source.c_str(), e->Name());
      return nullptr;
    }
    if (manager != nullptr) {
      std::string defaults = manager->GetDefaultAttributeList(control->GetClass());
      if (!defaults.empty()) control->ApplyAttributeList(defaults);
    }
    for (const tinyxml2::XMLAttribute* a = e->FirstAttribute(); a != nullptr; a = a->Next()) {
      control->SetAttribute(a->Name(), a->Value());
    }
    if (!e->NoChildren()) {
      if (dynamic_cast<CContainerUI*>(control) != nullptr) {
        Parse(e, control);
      } else if (e->FirstChildElement() != nullptr) {
        Trace("skin %s: <%s> holds no children; its elements are skipped", source.c_str(), e->Name());
      }
    }
    if (parent == nullptr) return control;
    auto* container = dynamic_cast<CContainerUI*>(parent);
    if (container == nullptr) {
      Trace("skin %s: <%s> placed inside a control that holds no children", source.c_str(), e->Name());
      delete control;
      return nullptr;
    }
    container->Add(control);
    return control;
  }

  CControlUI* Build(const tinyxml2::XMLDocument& doc, CControlUI* parent) {
    const tinyxml2::XMLElement* root = doc.RootElement();
    if (root == nullptr) {
      Trace("skin %s: no root element", source.c_str());
      return nullptr;
    }
    if (!EqualsNoCase(root->Name(), "Window")) {
      // A file may hold a single control tree without a window around it.
      return BuildElement(root, parent);
    }
    // Only the window's own file describes the window; a nested file's
    // <Window> attributes (its design size, say) must not resize it, nor
    // may a file built into a control.
    if (manager != nullptr && t_depth == 1 && parent == nullptr) {
      for (const tinyxml2::XMLAttribute* a = root->FirstAttribute(); a != nullptr; a = a->Next())
        manager->SetWindowAttribute(a->Name(), a->Value());
    }
    CControlUI* first = nullptr;
    for (const tinyxml2::XMLElement* e = root->FirstChildElement(); e != nullptr; e = e->NextSiblingElement()) {
      std::string_view tag = e->Name();
      if (EqualsNoCase(tag, "Font")) {
        if (manager != nullptr) {
          TFontInfo f;
          f.id = e->IntAttribute("id", -1);
          if (const char* n = e->Attribute("name")) f.name = n;
          f.size = e->IntAttribute("size", 12);
          f.bold = ParseBool(e->Attribute("bold") ? e->Attribute("bold") : "");
          f.underline = ParseBool(e->Attribute("underline") ? e->Attribute("underline") : "");
          f.italic = ParseBool(e->Attribute("italic") ? e->Attribute("italic") : "");
          f.isDefault = ParseBool(e->Attribute("default") ? e->Attribute("default") : "");
          manager->AddFont(f);
        }
        continue;
      }
      if (EqualsNoCase(tag, "Default")) {
        const char* n = e->Attribute("name");
        const char* v = e->Attribute("value");
        if (manager != nullptr && n != nullptr && v != nullptr) manager->AddDefaultAttributeList(n, v);
        continue;
      }
      if (EqualsNoCase(tag, "Image") || EqualsNoCase(tag, "Style")) continue;
      if (first != nullptr && parent == nullptr) {
        Trace("skin %s: only the first control tree of a window is used; <%s> skipped", source.c_str(), e->Name());
        continue;
      }
      CControlUI* c = BuildElement(e, parent);
      if (first == nullptr) first = c;
    }
    return first;
  }
};

std::filesystem::path CDialogBuilder::ResolveSkinPath(std::string_view xmlFile) {
  std::string name(xmlFile);
  std::string mapped = CResourceManager::GetInstance().GetXmlPath(name);
  if (!mapped.empty()) name = mapped;
  for (char& c : name) {
    if (c == '\\') c = '/';
  }
  std::filesystem::path p(name);
  if (p.is_absolute()) return p;
  return CPaintManagerUI::GetResourcePath() / p;
}

CControlUI* CDialogBuilder::CreateControlForTag(std::string_view tag, IDialogBuilderCallback* callback) {
  if (tag.empty()) return nullptr;
  if (callback != nullptr) {
    if (CControlUI* c = callback->CreateControl(tag)) return c;
  }
  CControlFactory& f = CControlFactory::GetInstance();
  std::string cls = "C" + std::string(tag) + "UI";
  if (CControlUI* c = f.CreateControl(cls)) return c;
  return f.CreateControl(tag);
}

CControlUI* CDialogBuilder::Create(std::string_view xmlFile, IDialogBuilderCallback* callback,
                                   CPaintManagerUI* manager, CControlUI* parent) {
  std::filesystem::path path = ResolveSkinPath(xmlFile);
  if (t_depth >= kMaxNesting) {
    Trace("skin %s: nested more than %d files deep, not built", path.string().c_str(), kMaxNesting);
    return nullptr;
  }
  std::optional<std::string> text = ReadFileBytes(path);
  if (!text) {
    Trace("skin %s: cannot be read", path.string().c_str());
    return nullptr;
  }
  DepthGuard guard;
  tinyxml2::XMLDocument doc;
  if (doc.Parse(text->data(), text->size()) != tinyxml2::XML_SUCCESS) {
    Trace("skin %s: malformed XML: %s", path.string().c_str(), doc.ErrorStr());
    return nullptr;
  }
  Impl impl{callback, manager, path.string()};
  return impl.Build(doc, parent);
}

CControlUI* CDialogBuilder::CreateFromText(std::string_view xmlText, IDialogBuilderCallback* callback,
                                           CPaintManagerUI* manager, CControlUI* parent) {
  if (t_depth >= kMaxNesting) {
    Trace("skin text: nested more than %d files deep, not built", kMaxNesting);
    return nullptr;
  }
  DepthGuard guard;
  tinyxml2::XMLDocument doc;
  if (doc.Parse(xmlText.data(), xmlText.size()) != tinyxml2::XML_SUCCESS) {
    Trace("skin text: malformed XML: %s", doc.ErrorStr());
    return nullptr;
  }
  Impl impl{callback, manager, "(text)"};
  return impl.Build(doc, parent);
}

}  // namespace korvale
