#pragma once
// The skin's own controls beyond the library's set. Each keeps the state a
// renderer needs to draw it (the layer lists and geometry helpers below) and
// its input behaviour; drawing itself belongs to the renderer.
#include <string>
#include <vector>

#include "ui/controls.h"

namespace korvale {

// One image drawn over a control, with its fade (0-255) and, for the light
// overlay, a dim value.
struct PaintLayer {
  std::string image;
  int fade = 255;
  int dim = 255;
  bool operator==(const PaintLayer&) const = default;
};

// A key of a device picture: normal button images plus a light overlay and
// key-set / key-unset badges.
class CDeviceKeyButtonUI : public CButtonUI {
 public:
  static constexpr DWORD kDefaultNameTextColor = 0xFF000000;
  static constexpr DWORD kDefaultLightColor = 0xFFFFFFFF;
  static constexpr DWORD kDefaultSelectedColor = 0xFF0099FF;

  std::string GetClass() const override { return "DeviceKeyButton"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "DeviceKeyButton") || CButtonUI::IsClass(cls);
  }
  void SetAttribute(std::string_view name, std::string_view value) override;
  void DoEvent(TEventUI& event) override;

  void SetLightImage(std::string_view image);
  const CDuiString& GetLightImage() const { return lightImage_; }
  void SetKeySetImage(std::string_view image);
  const CDuiString& GetKeySetImage() const { return keySetImage_; }
  void SetKeyUnsetImage(std::string_view image);
  const CDuiString& GetKeyUnsetImage() const { return keyUnsetImage_; }
  void SetLightFade(int fade);
  int GetLightFade() const { return lightFade_; }
  void SetLightDim(int dim);
  int GetLightDim() const { return lightDim_; }
  void SetShowLightImage(bool show);
  bool IsShowLightImage() const { return showLight_; }
  // On (default) hides the overlay; off draws it.
  void SetKeySetFlag(bool on);
  bool GetKeySetFlag() const { return keySetFlag_; }
  void SetKeyUnsetFlag(bool on);
  bool GetKeyUnsetFlag() const { return keyUnsetFlag_; }
  // Stored only; the select panel repaints after a band selection.
  void SetSelected(bool selected) { selected_ = selected; }
  bool IsSelected() const { return selected_; }

  DWORD GetNameTextColor() const { return nameTextColor_; }
  DWORD GetLightColor() const { return lightColor_; }
  // The light overlay's colour, 0xRRGGBB (the top byte is ignored: the
  // overlay's strength is the fade value). Repaints when it changes.
  void SetLightColor(DWORD rgb);
  DWORD GetSelectedColor() const { return selectedColor_; }

  // What to draw, bottom first: status image, light overlay, key-unset badge,
  // key-set badge (each only when its condition holds).
  std::vector<PaintLayer> PaintLayers() const;

 private:
  CDuiString lightImage_, keySetImage_, keyUnsetImage_;
  int lightFade_ = 255;
  int lightDim_ = 200;
  bool showLight_ = false;
  bool keySetFlag_ = true;
  bool keyUnsetFlag_ = true;
  bool selected_ = false;
  DWORD nameTextColor_ = kDefaultNameTextColor;
  DWORD lightColor_ = kDefaultLightColor;
  DWORD selectedColor_ = kDefaultSelectedColor;
};

// A button showing a picture with a delete badge while hovered (unless fixed).
class CHandImgButtonUI : public CButtonUI {
 public:
  std::string GetClass() const override { return "HandImgButton"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "HandImgButton") || CButtonUI::IsClass(cls);
  }
  void SetAttribute(std::string_view name, std::string_view value) override;
  void DoEvent(TEventUI& event) override;

  void SetHandImage(std::string_view image);
  const CDuiString& GetHandImage() const { return handImage_; }
  void SetDeleteImages(std::string_view normal, std::string_view hot);
  const CDuiString& GetDeleteNormalImage() const { return deleteNormal_; }
  const CDuiString& GetDeleteHotImage() const { return deleteHot_; }
  void SetFixed(bool fixed);
  bool IsFixed() const { return fixed_; }
  // The delete badge: 20 x 20 (scaled), 30 from the right edge, 29 above the bottom.
  UiRect GetDeleteBadgeRect() const;
  bool IsDeleteBadgeShown() const { return IsHot() && !fixed_; }
  bool IsPressing() const { return pressing_; }
  std::vector<PaintLayer> PaintLayers() const;

 private:
  CDuiString handImage_, deleteNormal_, deleteHot_;
  bool fixed_ = true;
  bool pressing_ = false;
  bool badgeHot_ = false;
};

enum class CursorShape { Arrow, IBeam, Wait, Cross, UpArrow, Size, Icon, SizeNWSE, SizeNESW, SizeWE, SizeNS, SizeAll, No, Hand };

// A picture that can be panned by dragging when larger than the control.
class CHandImgSelectButtonUI : public CButtonUI {
 public:
  std::string GetClass() const override { return "HandImgSelectButton"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "HandImgSelectButton") || CButtonUI::IsClass(cls);
  }
  void SetAttribute(std::string_view name, std::string_view value) override;
  void DoEvent(TEventUI& event) override;

  void SetHandImage(std::string_view image);
  const CDuiString& GetHandImage() const { return handImage_; }
  // The picture's pixel size, supplied by whoever loads it (the renderer).
  void SetHandImageSize(UiSize size);
  UiPoint GetOffset() const { return offset_; }
  // "file='<image>' source='l,t,r,b'" for the visible part, or "" with no image.
  const std::string& GetHandImageSource() const { return source_; }
  CursorShape GetCursor() const { return cursor_; }
  // Parses a cursor name; false for an unknown one.
  static bool ParseCursor(std::string_view name, CursorShape* out);

 private:
  void SetOffset(UiPoint offset);
  CDuiString handImage_;
  UiSize imageSize_;
  UiPoint offset_;
  UiPoint dragStart_;
  UiPoint dragStartOffset_;
  bool dragging_ = false;
  std::string source_;
  CursorShape cursor_ = CursorShape::Arrow;
};

// The record button of the macro editor: pulses its image while recording.
class CRedioMacroButtonUI : public CButtonUI {
 public:
  static constexpr UINT kPulseTimerId = 100;
  static constexpr UINT kPulseIntervalMs = 50;
  static constexpr int kFadeStep = 20;
  static constexpr int kFadeLow = 80;
  static constexpr int kFadeHigh = 255;

  std::string GetClass() const override { return "RedioMacroButton"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "RedioMacroButton") || CButtonUI::IsClass(cls);
  }
  void SetAttribute(std::string_view name, std::string_view value) override;
  void DoEvent(TEventUI& event) override;
  void SetRedioImage(std::string_view image);
  const CDuiString& GetRedioImage() const { return redioImage_; }
  // Starts the pulse timer; false without a manager.
  bool StartRecord();
  void StopRecord();
  bool IsRecording() const { return recording_; }
  int GetFade() const { return fade_; }
  // One pulse step (what the timer does).
  void Pulse();

 private:
  CDuiString redioImage_;
  bool recording_ = false;
  int fade_ = kFadeHigh;
  int direction_ = -1;
};

// A panel that selects the device key buttons inside it with a rubber band.
class CSelectPanelUI : public CVerticalLayoutUI {
 public:
  std::string GetClass() const override { return "SelectPanel"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "SelectPanel") || CVerticalLayoutUI::IsClass(cls);
  }
  void DoEvent(TEventUI& event) override;
  bool IsArmed() const { return armed_; }
  bool IsBandActive() const { return banding_; }
  const UiRect& GetBand() const { return band_; }

 private:
  bool armed_ = false;
  bool banding_ = false;
  UiPoint start_;
  UiRect band_;
};

// Keeps another window at the control's place and visibility.
class CWndUI : public CControlUI {
 public:
  std::string GetClass() const override { return "Wnd"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "Wnd") || CControlUI::IsClass(cls);
  }
  bool Attach(HWND hosted);
  HWND Detach();
  HWND GetHostedWindow() const { return hosted_; }
  void SetPos(const UiRect& rc) override;
  void SetVisible(bool visible = true) override;

 private:
  void Sync();
  HWND hosted_ = 0;
};

// Audio level view: the last samples as thin bars.
class CAudioRecordUI : public CLabelUI {
 public:
  static constexpr std::size_t kMaxSamples = 500;
  static constexpr int kFullScale = 8192;
  std::string GetClass() const override { return "AudioRecord"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "AudioRecord") || CLabelUI::IsClass(cls);
  }
  // Replaces the samples (the newest kMaxSamples are kept).
  void SetSamples(const std::vector<int>& samples);
  // Appends one, dropping the oldest past kMaxSamples.
  void AddSample(int sample);
  const std::vector<int>& GetSamples() const { return samples_; }
  struct Bar {
    int x;
    int height;
  };
  // One bar every 2 pixels across the control (as many as there are samples),
  // height = |sample| / 8192 of the control's height, capped at it.
  std::vector<Bar> GetBars() const;

 private:
  std::vector<int> samples_;
};

// A progress ring.
class CCircleProgressUI : public CProgressUI {
 public:
  static constexpr int kStartAngle = 90;
  static constexpr int kRingInset = 10;
  std::string GetClass() const override { return "CircleProgress"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "CircleProgress") || CProgressUI::IsClass(cls);
  }
  // Sweep of the filled part, 0-360 degrees.
  double GetSweepDegrees() const;
};

// Pie chart or histogram of named values.
class CChartViewUI : public CControlUI {
 public:
  enum class View { Pie, Histogram };
  struct Item {
    std::string name;
    double value;
  };
  struct Slice {
    double startDegrees;
    double sweepDegrees;
  };
  // Registered as CChartViewUI; its class name is that of its base.
  std::string GetClass() const override { return "Control"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "ChartView") || CControlUI::IsClass(cls);
  }
  void SetAttribute(std::string_view name, std::string_view value) override;
  void Add(std::string_view name, double value);
  bool RemoveAt(int index);
  void RemoveAll();
  const std::vector<Item>& GetItems() const { return items_; }
  View GetView() const { return view_; }
  const CDuiString& GetShadowImage() const { return shadowImage_; }
  int GetShadowImageHeight() const { return shadowImageHeight_; }
  const CDuiString& GetPillarImage() const { return pillarImage_; }
  int GetPillarImageWidth() const { return pillarImageWidth_; }
  bool IsShowHtml() const { return showHtml_; }
  bool IsShowText() const { return showText_; }
  int GetFont() const { return font_; }
  // Pie: slices in item order, from 0 degrees, proportional to the values
  // (negative values count as 0); empty when the total is 0.
  std::vector<Slice> GetPieSlices() const;
  // Histogram: bar heights for a drawing height, the largest value full height.
  std::vector<int> GetBarHeights(int height) const;

 private:
  std::vector<Item> items_;
  View view_ = View::Pie;
  CDuiString shadowImage_, pillarImage_;
  int shadowImageHeight_ = 0;
  int pillarImageWidth_ = 0;
  bool showHtml_ = false;
  bool showText_ = true;
  int font_ = -1;
};

// List items with hot tracking and a hot border (cloud share list, update list).
class CCloudShareListItemUI : public CListContainerElementUI {
 public:
  std::string GetClass() const override { return "CloudShareListItemUI"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "CloudShareListItemUI") || CListContainerElementUI::IsClass(cls);
  }
  void DoEvent(TEventUI& event) override;
  // A 1-pixel border in the list's hot colour: hot and not selected.
  bool IsHotBorderShown() const { return IsHot() && !IsSelected(); }
  DWORD GetHotBorderColor() const;
};

class CUpdateInfoListItemUI : public CCloudShareListItemUI {
 public:
  std::string GetClass() const override { return "UpdateInfoListItemUI"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "UpdateInfoListItemUI") || CCloudShareListItemUI::IsClass(cls);
  }
};

// A macro step row: builds its item skin inside itself on init.
class CComboEditContainerElementUI : public CListContainerElementUI {
 public:
  static constexpr const char* kItemSkin = "XML/CustomControlXML/ComboEditElementItem.xml";
  std::string GetClass() const override { return "ComboEditContainerElement"; }
  bool IsClass(std::string_view cls) const override {
    return EqualsNoCase(cls, "ComboEditContainerElement") || CListContainerElementUI::IsClass(cls);
  }
  void SetAttribute(std::string_view name, std::string_view value) override;
  void DoInit() override;
  void DoEvent(TEventUI& event) override;
  CControlUI* GetText1() const { return text1_; }
  CControlUI* GetText2() const { return text2_; }
  CEditUI* GetDelayEdit() const { return delayEdit_; }
  bool IsChanged() const { return changed_; }
  void SetChanged(bool changed) { changed_ = changed; }

 private:
  CControlUI* text1_ = nullptr;
  CControlUI* text2_ = nullptr;
  CEditUI* delayEdit_ = nullptr;
  bool built_ = false;
  bool changed_ = false;
};

}  // namespace korvale
