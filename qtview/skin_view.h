#pragma once
// Draws one model window with Qt Widgets: one widget per model control, kept
// in step through the paint manager's observer; user input goes back through
// the model's input entries, so pages hear the same notifications as from a
// model-driven test.
#include <QObject>
#include <QPointer>
#include <QWidget>
#include <memory>
#include <unordered_map>

#include "ui/ui.h"

namespace korvale::qtview {

class ModelLayout;

class QtSkinView : public QObject, public IControlObserver {
 public:
  // Draws manager's tree (and follows later AttachDialog calls). The view
  // does not own the manager; destroy the view first.
  explicit QtSkinView(CPaintManagerUI* manager, QWidget* parent = nullptr);
  ~QtSkinView() override;

  // The window's widget: sized from the skin's <Window size>.
  QWidget* Window() const { return window_; }
  QWidget* WidgetFor(const CControlUI* control) const;
  CControlUI* ControlFor(const QWidget* widget) const;
  std::size_t WidgetCount() const { return nodes_.size(); }

  // Lays the whole tree out now (it also happens by itself after changes).
  void Relayout();
  // Renders the window into a PNG; false when it cannot be written.
  bool SaveScreenshot(const QString& path);

  // IControlObserver
  void OnPropertyChanged(CControlUI* control, const std::string& property, const std::string& detail) override;
  void OnChildAdded(CContainerUI* parent, CControlUI* child, int index) override;
  void OnChildRemoved(CContainerUI* parent, CControlUI* child) override;
  void OnInvalidate(CControlUI* control) override;
  void OnNeedUpdate(CPaintManagerUI* manager) override;
  void OnRootChanged(CPaintManagerUI* manager, CControlUI* root) override;

  // Window coordinates of a widget of this view.
  QRect WindowRect(const QWidget* widget) const;
  // Writes the laid-out rectangles of control's subtree back into the model.
  void SyncModelPos(CControlUI* control);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  enum class Kind {
    Container, Label, Button, Option, CheckBox, Edit, Combo, Slider, Progress,
    Palette, KeyButton, Picture, Ring, Spectrum, Chart, ListItem, Plain,
  };
  struct Node {
    QWidget* widget = nullptr;
    Kind kind = Kind::Plain;
    // A hidden container's children get their widgets when it is first shown.
    bool childrenPending = false;
  };

  void Build(CControlUI* root);
  void CreateChildren(CControlUI* control, QWidget* widget);
  void Clear();
  // Creates the widget for control (and its subtree) under parent.
  QWidget* CreateSubtree(CControlUI* control, QWidget* parent);
  QWidget* CreateWidget(CControlUI* control, QWidget* parent, Kind* kind);
  void Forget(CControlUI* control);
  void Sync(CControlUI* control);
  // leaving: an item about to be removed, left out.
  void SyncCombo(CComboUI* combo, QWidget* widget, const CControlUI* leaving = nullptr);
  void ApplyLook(CControlUI* control, QWidget* widget, Kind kind);
  void ScheduleRelayout();
  void SendMouse(CControlUI* control, QWidget* widget, UiEventType type, QPointF localPos);

  CPaintManagerUI* manager_;
  QPointer<QWidget> window_;
  // Height of the skin's caption (its "caption" rectangle's bottom, at 96
  // dpi): the skin draws the title bar, so the system draws none and a
  // press there moves the window. 0: the system's title bar.
  int captionHeight_ = 0;
  bool StartMoveFromCaption(QWidget* widget, QEvent* event);
  QWidget* rootWidget_ = nullptr;
  std::unordered_map<const CControlUI*, Node> nodes_;
  std::unordered_map<const QWidget*, CControlUI*> controls_;
  bool syncing_ = false;        // pushing model state into widgets
  bool writingPos_ = false;     // writing laid-out rectangles into the model
  bool relayoutQueued_ = false;
  int dpi_ = 96;                // the scale last laid out at
  std::shared_ptr<char> alive_ = std::make_shared<char>();
};

}  // namespace korvale::qtview
