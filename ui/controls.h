#pragma once
// The library's basic controls. Setters change state and tell observers;
// the *FromUser entries are what a renderer calls for user input: they apply
// the same limits and send the notification a page expects.
#include <optional>
#include <vector>

#include "ui/containers.h"

namespace korvale {

class CLabelUI : public CControlUI {
 public:
  std::string GetClass() const override { return "Label"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "Label") || CControlUI::IsClass(cls);
  }
  void SetAttribute(std::string_view name, std::string_view value) override;
  int GetFont() const { return font_; }
  void SetFont(int font);
  // "left", "center", "right" (horizontal) as given by "align".
  const std::string& GetAlign() const { return align_; }
  // The room the look leaves around the text ("textpadding"), when the
  // skin gives it: small keys need less than a full button's padding.
  const std::optional<UiRect>& GetTextPadding() const { return textPadding_; }

 private:
  int font_ = -1;
  std::string align_ = "left";
  std::optional<UiRect> textPadding_;
};

class CTextUI : public CLabelUI {
 public:
  std::string GetClass() const override { return "Text"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "Text") || CLabelUI::IsClass(cls);
  }
};

class CButtonUI : public CLabelUI {
 public:
  std::string GetClass() const override { return "Button"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "Button") || CLabelUI::IsClass(cls);
  }
  void SetAttribute(std::string_view name, std::string_view value) override;
  void DoEvent(TEventUI& event) override;
  bool Activate() override;  // sends "click"

  const CDuiString& GetNormalImage() const { return normalImage_; }
  void SetNormalImage(std::string_view image);
  const CDuiString& GetHotImage() const { return hotImage_; }
  void SetHotImage(std::string_view image);
  const CDuiString& GetPushedImage() const { return pushedImage_; }
  void SetPushedImage(std::string_view image);
  const CDuiString& GetDisabledImage() const { return disabledImage_; }
  void SetDisabledImage(std::string_view image);
  const CDuiString& GetForeImage() const { return foreImage_; }
  void SetForeImage(std::string_view image);
  DWORD GetHotBkColor() const { return hotBkColor_; }
  DWORD GetPushedBkColor() const { return pushedBkColor_; }

  bool IsHot() const { return hot_; }
  bool IsPushed() const { return pushed_; }
  // Image for the current state: disabled, pushed, hot, else normal
  // (falling back to the normal image when a state has none).
  const CDuiString& GetStatusImage() const;

 protected:
  void SetHot(bool hot);
  void SetPushed(bool pushed);

 private:
  CDuiString normalImage_, hotImage_, pushedImage_, disabledImage_, foreImage_;
  DWORD hotBkColor_ = 0;
  DWORD pushedBkColor_ = 0;
  bool hot_ = false;
  bool pushed_ = false;
};

// A button that stays selected. Options sharing a "group" in one window are
// exclusive: selecting one unselects the others.
class COptionUI : public CButtonUI {
 public:
  ~COptionUI() override;
  std::string GetClass() const override { return "Option"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "Option") || CButtonUI::IsClass(cls);
  }
  bool IsSelected() const { return selected_; }
  // Sends "selectchanged" when the state changes and bTriggerEvent.
  virtual void Selected(bool selected, bool bTriggerEvent = true);
  const CDuiString& GetGroup() const { return group_; }
  void SetGroup(std::string_view group);
  // A click: selects a grouped option, toggles an ungrouped one.
  bool Activate() override;
  void SetAttribute(std::string_view name, std::string_view value) override;
  void SetManager(CPaintManagerUI* manager, CControlUI* parent, bool bInit = true) override;

  DWORD GetSelectedBkColor() const { return selectedBkColor_; }
  void SetSelectedBkColor(DWORD color);
  DWORD GetSelectedTextColor() const { return selectedTextColor_; }
  void SetSelectedTextColor(DWORD color);
  const CDuiString& GetSelectedImage() const { return selectedImage_; }
  void SetSelectedImage(std::string_view image);

 private:
  bool selected_ = false;
  CDuiString group_;
  CDuiString selectedImage_;
  DWORD selectedBkColor_ = 0;
  DWORD selectedTextColor_ = 0;
};

class CCheckBoxUI : public COptionUI {
 public:
  std::string GetClass() const override { return "CheckBox"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "CheckBox") || COptionUI::IsClass(cls);
  }
  bool GetCheck() const { return IsSelected(); }
  void SetCheck(bool check, bool bTriggerEvent = true) { Selected(check, bTriggerEvent); }
};

// Text entry. Limits: maximum length (in characters), number-only, and for
// number-only edits an optional value range applied when the entry is
// committed (return or focus loss).
class CEditUI : public CLabelUI {
 public:
  // What the user types is never taken for a text ID.
  CEditUI() { SetResourceText(false); }
  std::string GetClass() const override { return "Edit"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "Edit") || CLabelUI::IsClass(cls);
  }
  void SetAttribute(std::string_view name, std::string_view value) override;
  // Programmatic text: cut to the maximum length, no notification.
  void SetText(std::string_view text) override;

  int GetMaxChar() const { return maxChar_; }
  void SetMaxChar(int maxChar);
  bool IsNumberOnly() const { return numberOnly_; }
  void SetNumberOnly(bool numberOnly);
  bool IsReadOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly);
  bool IsPasswordMode() const { return password_; }
  int GetMinValue() const { return minValue_; }
  int GetMaxValue() const { return maxValue_; }
  void SetMinValue(int v);
  void SetMaxValue(int v);
  bool HasValueRange() const { return minValue_ < maxValue_; }

  // Typing: drops what a number-only edit refuses, cuts to the maximum
  // length, sends "textchanged" when the text changed. False when read-only,
  // disabled or nothing was accepted.
  bool SetTextFromUser(std::string_view text);
  // Enter pressed: commits (range applied) and sends "return".
  void ReturnFromUser();
  void DoEvent(TEventUI& event) override;

 private:
  // Clamps a number-only edit's value into its range; true when changed.
  bool ApplyRange();

  int maxChar_ = 255;
  bool numberOnly_ = false;
  bool readOnly_ = false;
  bool password_ = false;
  int minValue_ = 0;
  int maxValue_ = 0;
};

class CProgressUI : public CLabelUI {
 public:
  std::string GetClass() const override { return "Progress"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "Progress") || CLabelUI::IsClass(cls);
  }
  void SetAttribute(std::string_view name, std::string_view value) override;
  int GetMinValue() const { return min_; }
  int GetMaxValue() const { return max_; }
  int GetValue() const { return value_; }
  // A new bound keeps min <= max and pulls the value back inside.
  void SetMinValue(int v);
  void SetMaxValue(int v);
  // Clamped into [min, max].
  virtual void SetValue(int v);
  bool IsHorizontal() const { return horizontal_; }
  const CDuiString& GetForeImage() const { return foreImage_; }
  void SetForeImage(std::string_view image);

 private:
  int min_ = 0;
  int max_ = 100;
  int value_ = 0;
  bool horizontal_ = true;
  CDuiString foreImage_;
};

class CSliderUI : public CProgressUI {
 public:
  std::string GetClass() const override { return "Slider"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "Slider") || CProgressUI::IsClass(cls);
  }
  void SetAttribute(std::string_view name, std::string_view value) override;
  int GetChangeStep() const { return step_; }
  const CDuiString& GetThumbImage() const { return thumbImage_; }
  // Click, key or the release ending a drag: clamped value, "valuechanged"
  // when it differs from the value before (before the drag, after one).
  // False when disabled.
  bool SetValueFromUser(int v);
  // A step of a drag: clamped value, "movevaluechanged" when it changed; the
  // value is settled by the SetValueFromUser of the release.
  bool DragValueFromUser(int v);
  bool IsDragging() const { return dragging_; }

 private:
  int step_ = 1;
  bool dragging_ = false;
  int dragStart_ = 0;
  CDuiString thumbImage_;
};

class CListUI;

// What list and combo items share: an index in the owner, selection and
// activation. Owner is a CListUI or a CComboUI.
class IListOwnerUI {
 public:
  virtual ~IListOwnerUI() = default;
  virtual int GetCurSel() const = 0;
  virtual bool SelectItem(int index, bool bTakeFocus = false, bool bTriggerEvent = true) = 0;
  virtual bool IsMultiSelect() const { return false; }
  virtual bool SelectMultiItem(int index) { return SelectItem(index); }
  virtual bool UnSelectItem(int index) { (void)index; return false; }
  virtual DWORD GetHotItemColor() const { return 0; }
};

class IListItemUI {
 public:
  virtual ~IListItemUI() = default;
  int GetIndex() const { return index_; }
  void SetIndex(int index) { index_ = index; }
  IListOwnerUI* GetOwner() const { return owner_; }
  void SetOwner(IListOwnerUI* owner) { owner_ = owner; }
  bool IsSelected() const { return selected_; }
  // Marks the item (the owner keeps the current index).
  virtual void SetSelectedState(bool selected) { selected_ = selected; }

 private:
  int index_ = -1;
  IListOwnerUI* owner_ = nullptr;
  bool selected_ = false;
};

// A one-line text item of a list or combo.
class CListLabelElementUI : public CLabelUI, public IListItemUI {
 public:
  std::string GetClass() const override { return "ListLabelElement"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "ListLabelElement") || EqualsNoCase(cls, "ListElement") ||
           CLabelUI::IsClass(cls);
  }
  void SetSelectedState(bool selected) override;
  // Selects itself in its owner (notifying) and sends "itemclick".
  bool Activate() override;
  void DoEvent(TEventUI& event) override;
};

// A list item made of controls.
class CListContainerElementUI : public CHorizontalLayoutUI, public IListItemUI {
 public:
  std::string GetClass() const override { return "ListContainerElement"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "ListContainerElement") || EqualsNoCase(cls, "ListElement") ||
           CHorizontalLayoutUI::IsClass(cls);
  }
  void SetSelectedState(bool selected) override;
  // Double click or Enter: sends "itemactivate".
  bool Activate() override;
  void DoEvent(TEventUI& event) override;
  bool IsHot() const { return hot_; }
  bool IsMenuAllowed() const { return menu_; }
  void SetAttribute(std::string_view name, std::string_view value) override;

 protected:
  void SetHot(bool hot);
  // Selects this item in its owner.
  bool Select(bool bTriggerEvent = true);

 private:
  bool hot_ = false;
  bool menu_ = false;
};

// A vertical list whose children are list items (IListItemUI).
class CListUI : public CVerticalLayoutUI, public IListOwnerUI {
 public:
  std::string GetClass() const override { return "List"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "List") || CVerticalLayoutUI::IsClass(cls);
  }
  int GetCurSel() const override { return curSel_; }
  // Selects one item (unselecting the rest); sends "itemselect" (wParam new,
  // lParam old) when the selection changed and bTriggerEvent. -1 clears.
  bool SelectItem(int index, bool bTakeFocus = false, bool bTriggerEvent = true) override;
  bool IsMultiSelect() const override { return multi_; }
  void SetMultiSelect(bool multi) { multi_ = multi; }
  // Adds index to the selection (multi-select lists), else like SelectItem.
  bool SelectMultiItem(int index) override;
  bool UnSelectItem(int index) override;
  std::vector<int> GetSelectedItems() const;
  DWORD GetHotItemColor() const override { return hotColor_; }
  void SetAttribute(std::string_view name, std::string_view value) override;
  IListItemUI* GetListItem(int index) const;

 protected:
  void OnItemAdded(CControlUI* control, int index) override;
  void OnItemRemoved(CControlUI* control, int index) override;

 private:
  void Reindex();
  int curSel_ = -1;
  bool multi_ = false;
  DWORD hotColor_ = 0;
};

// A drop-down list: the items are children (usually CListLabelElementUI);
// the combo shows the selected item's text.
class CComboUI : public CContainerUI, public IListOwnerUI {
 public:
  std::string GetClass() const override { return "Combo"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "Combo") || CContainerUI::IsClass(cls);
  }
  int GetCurSel() const override { return curSel_; }
  // Sends "itemselect" (wParam new, lParam old) when the selection changed
  // and bTriggerEvent. -1 clears the selection; other bad indexes fail.
  bool SelectItem(int index, bool bTakeFocus = false, bool bTriggerEvent = true) override;
  // Convenience: appends a text item; returns its index.
  int AddString(std::string_view text, std::string_view userData = {});
  CDuiString GetItemText(int index) const;
  CDuiString GetText() const override;  // the selected item's text
  DWORD GetHotItemColor() const override { return hotColor_; }
  void SetAttribute(std::string_view name, std::string_view value) override;
  bool SelectItemFromUser(int index) { return IsEnabled() && SelectItem(index, false, true); }

 protected:
  void OnItemAdded(CControlUI* control, int index) override;
  void OnItemRemoved(CControlUI* control, int index) override;

 private:
  void Reindex();
  int curSel_ = -1;
  int initialSel_ = -1;
  DWORD hotColor_ = 0;
};

// Colour picker. Colours are 0xAARRGGBB.
class CColorPaletteUI : public CControlUI {
 public:
  std::string GetClass() const override { return "ColorPalette"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "ColorPalette") || CControlUI::IsClass(cls);
  }
  DWORD GetSelectColor() const { return color_; }
  void SetSelectColor(DWORD color);
  // A pick (a click, or the release ending a drag): stores the colour, sends
  // "colorchanged" (wParam the colour).
  bool SetSelectColorFromUser(DWORD color);
  // A step of a drag across the field: the same, with IsDragging() true
  // while the notification runs and until the release's pick.
  bool DragColorFromUser(DWORD color);
  bool IsDragging() const { return dragging_; }
  void SetAttribute(std::string_view name, std::string_view value) override;

 private:
  DWORD color_ = 0xFFFF0000;
  bool dragging_ = false;
};

}  // namespace korvale
