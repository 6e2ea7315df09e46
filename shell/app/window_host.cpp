#include "shell/app/window_host.h"

#include <QCloseEvent>
#include <QWidget>

#include "platform/trace.h"

namespace korvale {

// Turns the window manager's close into WM_CLOSE for the model window.
class QtWindowHost::CloseFilter : public QObject {
 public:
  explicit CloseFilter(QtWindowHost* host) : host_(host) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && !host_->painted_.contains(watched)) {
      // Start-up timing and tests look for this line.
      host_->painted_.insert(watched);
      Trace("window painted: %s", qPrintable(static_cast<QWidget*>(watched)->windowTitle()));
      return false;
    }
    if (event->type() != QEvent::Close) return false;
    for (auto& [hwnd, view] : host_->views_) {
      if (view->Window() == watched) {
        event->ignore();
        PostMessageW(hwnd, wm::kClose, 0, 0);
        return true;
      }
    }
    return false;
  }

 private:
  QtWindowHost* host_;
};

QtWindowHost::QtWindowHost() : closeFilter_(std::make_unique<CloseFilter>(this)) {}

QtWindowHost::~QtWindowHost() { views_.clear(); }

qtview::QtSkinView* QtWindowHost::ViewFor(HWND hwnd) const {
  auto it = views_.find(hwnd);
  return it == views_.end() ? nullptr : it->second.get();
}

void QtWindowHost::OnWindowCreated(CWindowWnd* window) {
  CPaintManagerUI* manager = window->GetManager();
  if (manager == nullptr) return;
  auto view = std::make_unique<qtview::QtSkinView>(manager);
  QWidget* w = view->Window();
  w->setWindowTitle(QString::fromStdString(window->GetWindowText()));
  // A window with an owner (message and dialog windows) stays above it.
  if (auto* owner = ViewFor(window->GetParent())) w->setParent(owner->Window(), w->windowFlags() | Qt::Dialog);
  const UiRect& r = window->GetWindowRect();
  if (!r.IsEmpty()) w->setGeometry(r.left, r.top, r.right - r.left, r.bottom - r.top);
  w->installEventFilter(closeFilter_.get());
  if (window->IsVisible()) w->show();
  views_[window->GetHWND()] = std::move(view);
}

void QtWindowHost::OnWindowShown(CWindowWnd* window, bool shown) {
  if (auto* view = ViewFor(window->GetHWND())) {
    if (!shown) painted_.remove(view->Window());  // the next show paints anew
    view->Window()->setVisible(shown);
    if (shown) {
      view->Window()->raise();
      view->Window()->activateWindow();
    }
  }
}

void QtWindowHost::OnWindowMoved(CWindowWnd* window, const UiRect& rect) {
  if (auto* view = ViewFor(window->GetHWND()))
    view->Window()->setGeometry(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}

void QtWindowHost::OnWindowDestroyed(CWindowWnd* window) {
  if (auto* view = ViewFor(window->GetHWND())) painted_.remove(view->Window());
  views_.erase(window->GetHWND());
}

void QtWindowHost::OnWindowTitleChanged(CWindowWnd* window) {
  if (auto* view = ViewFor(window->GetHWND()))
    view->Window()->setWindowTitle(QString::fromStdString(window->GetWindowText()));
}

}  // namespace korvale
