#pragma once
// Skin XML to a control tree. A tag becomes a control through, in order: the
// window's CreateControl callback, the control factory under "C<tag>UI", the
// factory under the tag itself. An unknown tag yields no control (and skips
// its children) with a trace; a file that cannot be read or parsed yields none.
//
// Skin format: a <Window> root whose attributes describe the window, with
// optional <Font>, <Default> and <Include> elements and one control element as
// the tree's root. Attributes of a control element are its skin attributes;
// child elements are its children. <Include source="file.xml"/> inside a
// container builds another skin file there (nesting depth is limited).
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "ui/control.h"

namespace korvale {

class CPaintManagerUI;

class IDialogBuilderCallback {
 public:
  virtual ~IDialogBuilderCallback() = default;
  // A new control for the tag, or nullptr to let the builder try its classes.
  virtual CControlUI* CreateControl(std::string_view pstrClass) = 0;
};

class CControlFactory {
 public:
  using CreateClass = std::function<CControlUI*()>;
  static CControlFactory& GetInstance();

  // Registers (or replaces) a class by name; names compare ignoring case.
  void RegistControl(std::string_view name, CreateClass create);
  void UnregistControl(std::string_view name);
  bool IsRegistered(std::string_view name) const;
  // A new control, or nullptr for an unknown name.
  CControlUI* CreateControl(std::string_view name) const;
  // Registration order, first registration of each name.
  std::vector<std::string> GetRegisteredNames() const;

 private:
  CControlFactory();
  std::map<std::string, CreateClass> creators_;  // key: lower-case name
  std::vector<std::string> order_;
};

class CDialogBuilder {
 public:
  // Deepest chain of skin files built inside one another.
  static constexpr int kMaxNesting = 8;

  // Builds a skin file: a resource name from res.xml, a path relative to the
  // resource folder, or an absolute path. With parent, the built controls are
  // added to parent and the first one is returned.
  CControlUI* Create(std::string_view xmlFile, IDialogBuilderCallback* callback = nullptr,
                     CPaintManagerUI* manager = nullptr, CControlUI* parent = nullptr);
  // Same from XML text in memory.
  CControlUI* CreateFromText(std::string_view xmlText, IDialogBuilderCallback* callback = nullptr,
                             CPaintManagerUI* manager = nullptr, CControlUI* parent = nullptr);

  // Resolves a skin file name to a path as Create does.
  static std::filesystem::path ResolveSkinPath(std::string_view xmlFile);
  // Creates one control for a tag (callback, then factory) without children.
  static CControlUI* CreateControlForTag(std::string_view tag, IDialogBuilderCallback* callback);

 private:
  struct Impl;
};

}  // namespace korvale
