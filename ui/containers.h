#pragma once
// Containers own their children: a child removed without "do not destroy" is
// deleted, and destroying a container destroys its subtree.
#include <memory>
#include <vector>

#include "ui/control.h"

namespace korvale {

class CContainerUI : public CControlUI {
 public:
  CContainerUI();
  ~CContainerUI() override;

  std::string GetClass() const override { return "Container"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "Container") || CControlUI::IsClass(cls);
  }

  int GetCount() const { return static_cast<int>(items_.size()); }
  CControlUI* GetItemAt(int index) const;
  int GetItemIndex(const CControlUI* control) const;  // -1 when not a child
  bool SetItemIndex(CControlUI* control, int index);
  // Takes ownership. False (and the control deleted) for nullptr only.
  virtual bool Add(CControlUI* control);
  virtual bool AddAt(CControlUI* control, int index);
  // Detaches a child; deletes it unless bDoNotDestroy (the caller then owns it).
  virtual bool Remove(CControlUI* control, bool bDoNotDestroy = false);
  virtual bool RemoveAt(int index, bool bDoNotDestroy = false);
  virtual void RemoveAll();

  const UiRect& GetInset() const { return inset_; }
  int GetChildPadding() const { return childPadding_; }

  void SetAttribute(std::string_view name, std::string_view value) override;
  void SetManager(CPaintManagerUI* manager, CControlUI* parent, bool bInit = true) override;
  CControlUI* FindControlByName(std::string_view name) override;
  void ForEach(const std::function<void(CControlUI*)>& fn) override;
  // Finds a descendant (not this control) by name, ignoring case.
  CControlUI* FindSubControl(std::string_view name);

 protected:
  // Hook for lists and tabs to see children come and go.
  virtual void OnItemAdded(CControlUI* /*control*/, int /*index*/) {}
  virtual void OnItemRemoved(CControlUI* /*control*/, int /*index*/) {}

 private:
  std::vector<CControlUI*> items_;  // owned
  UiRect inset_;
  int childPadding_ = 0;
};

class CVerticalLayoutUI : public CContainerUI {
 public:
  std::string GetClass() const override { return "VerticalLayout"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "VerticalLayout") || CContainerUI::IsClass(cls);
  }
};

class CHorizontalLayoutUI : public CContainerUI {
 public:
  std::string GetClass() const override { return "HorizontalLayout"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "HorizontalLayout") || CContainerUI::IsClass(cls);
  }
};

// Shows one child at a time.
class CTabLayoutUI : public CContainerUI {
 public:
  std::string GetClass() const override { return "TabLayout"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "TabLayout") || CContainerUI::IsClass(cls);
  }
  int GetCurSel() const { return curSel_; }
  // Shows child index, hides the rest, sends "tabselect" (wParam new, lParam
  // old) when the page changes. False for an index out of range.
  bool SelectItem(int index, bool bTriggerEvent = true);
  bool SelectItem(CControlUI* control, bool bTriggerEvent = true);
  void SetAttribute(std::string_view name, std::string_view value) override;
  void DoInit() override;

 protected:
  void OnItemAdded(CControlUI* control, int index) override;
  void OnItemRemoved(CControlUI* control, int index) override;

 private:
  int curSel_ = -1;
  int initialSel_ = 0;
};

}  // namespace korvale
