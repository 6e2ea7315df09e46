#pragma once
// One QApplication for the whole test program (offscreen platform), and a
// window built from skin text with a notification recorder.
#include <QApplication>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "qtview/qt_ui_loop.h"
#include "qtview/skin_view.h"
#include "ui/ui.h"

namespace korvale::test {

inline QApplication& App() {
  static int argc = 1;
  static char name[] = "qtview_tests";
  static char* argv[] = {name, nullptr};
  static QApplication* app = [] {
    if (qgetenv("QT_QPA_PLATFORM").isEmpty()) qputenv("QT_QPA_PLATFORM", "offscreen");
    return new QApplication(argc, argv);
  }();
  return *app;
}

struct Recorded {
  std::string type;
  std::string name;
  WPARAM wParam;
  LPARAM lParam;
};

class Recorder : public INotifyUI {
 public:
  void Notify(TNotifyUI& msg) override {
    seen.push_back({msg.sType, msg.pSender != nullptr ? msg.pSender->GetName() : "", msg.wParam, msg.lParam});
  }
  int Count(const std::string& type, const std::string& name) const {
    int n = 0;
    for (auto& r : seen) n += (r.type == type && r.name == name) ? 1 : 0;
    return n;
  }
  const Recorded* Last(const std::string& type) const {
    for (auto it = seen.rbegin(); it != seen.rend(); ++it) {
      if (it->type == type) return &*it;
    }
    return nullptr;
  }
  std::vector<Recorded> seen;
};

// A skin built into a paint manager and drawn by a view, on a Qt UI loop.
class SkinWindow {
 public:
  explicit SkinWindow(const std::string& xml) {
    App();
    loop_ = std::make_unique<QtUiLoop>();
    SetUiLoop(loop_.get());
    RegisterSkinControls();
    CDialogBuilder builder;
    CControlUI* root = builder.CreateFromText(xml, nullptr, &pm);
    EXPECT_NE(root, nullptr);
    pm.AttachDialog(root);
    pm.AddNotifier(&rec);
    view = std::make_unique<qtview::QtSkinView>(&pm);
    view->Window()->show();
    view->Relayout();
    QApplication::processEvents();
  }
  ~SkinWindow() {
    view.reset();
    pm.RemoveNotifier(&rec);
    pm.AttachDialog(nullptr);
    SetUiLoop(nullptr);
  }
  template <typename T = CControlUI>
  T* Find(const char* name) {
    return dynamic_cast<T*>(pm.FindControl(name));
  }
  template <typename W = QWidget>
  W* WidgetOf(const char* name) {
    return qobject_cast<W*>(view->WidgetFor(pm.FindControl(name)));
  }

  CPaintManagerUI pm;
  Recorder rec;
  std::unique_ptr<qtview::QtSkinView> view;

 private:
  std::unique_ptr<QtUiLoop> loop_;
};

}  // namespace korvale::test
