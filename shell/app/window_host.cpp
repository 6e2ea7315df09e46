#include "shell/app/window_host.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QWidget>
#include <QWindowStateChangeEvent>

#include <algorithm>

#include "platform/trace.h"

namespace korvale {

// Turns the window manager's events into the model window's messages.
class QtWindowHost::CloseFilter : public QObject {
 public:
  explicit CloseFilter(QtWindowHost* host) : host_(host) {}

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && !host_->painted_.contains(watched)) {
      // Start-up timing and tests look for this line.
      host_->painted_.insert(watched);
      Trace("window painted: %s", qPrintable(static_cast<QWidget*>(watched)->windowTitle()));
      if (const HWND hwnd = HandleOf(watched)) PostMessageW(hwnd, wm::kPaint, 0, 0);
      return false;
    }
    const HWND hwnd = HandleOf(watched);
    if (hwnd == 0) return false;
    switch (event->type()) {
      case QEvent::Close:
        event->ignore();
        PostMessageW(hwnd, wm::kClose, 0, 0);
        return true;
      case QEvent::WindowActivate:
        PostMessageW(hwnd, wm::kActivate, 1, 0);
        return false;
      case QEvent::WindowDeactivate:
        PostMessageW(hwnd, wm::kActivate, 0, 0);
        return false;
      case QEvent::Enter:
        PostMessageW(hwnd, wm::kMouseHover, 0, 0);
        return false;
      case QEvent::Leave:
        PostMessageW(hwnd, wm::kMouseLeave, 0, 0);
        return false;
      case QEvent::WindowStateChange:
        if (CWindowWnd* w = CWindowWnd::FromHandle(hwnd))
          w->NoteMinimized(static_cast<QWidget*>(watched)->isMinimized());
        return false;
      default:
        return false;
    }
  }

  HWND HandleOf(QObject* watched) const {
    for (auto& [hwnd, view] : host_->views_)
      if (view->Window() == watched) return hwnd;
    return 0;
  }

 private:
  QtWindowHost* host_;
};

QSize DevicePixelSize(const QScreen& screen) {
  return (QSizeF(screen.size()) * screen.devicePixelRatio()).toSize();
}

QtWindowHost::QtWindowHost() : closeFilter_(std::make_unique<CloseFilter>(this)) {
  for (QScreen* screen : QGuiApplication::screens()) WatchScreen(screen);
  QObject::connect(qApp, &QGuiApplication::screenAdded, closeFilter_.get(),
                   [this](QScreen* screen) { WatchScreen(screen); });
  // Only the primary screen's size counts.
  QObject::connect(qApp, &QGuiApplication::primaryScreenChanged, closeFilter_.get(),
                   [this](QScreen* screen) { DisplayChanged(DevicePixelSize(*screen)); });
}

void QtWindowHost::WatchScreen(QScreen* screen) {
  QObject::connect(screen, &QScreen::geometryChanged, closeFilter_.get(), [this, screen](const QRect&) {
    if (screen == QGuiApplication::primaryScreen()) DisplayChanged(DevicePixelSize(*screen));
  });
  QObject::connect(screen, &QScreen::logicalDotsPerInchChanged, closeFilter_.get(),
                   [this](qreal dpi) { DpiChanged(qRound(dpi)); });
}

void QtWindowHost::DisplayChanged(QSize size) {
  const auto w = static_cast<LPARAM>(std::clamp(size.width(), 0, 0xFFFF));
  const auto h = static_cast<LPARAM>(std::clamp(size.height(), 0, 0xFFFF));
  CWindowWnd::SetScreenSize(UiSize{static_cast<int>(w), static_cast<int>(h)});
  for (auto& [hwnd, view] : views_) PostMessageW(hwnd, wm::kDisplayChange, 32, w | h << 16);
}

void QtWindowHost::DpiChanged(int dpi) {
  const auto d = static_cast<WPARAM>(std::clamp(dpi, 0, 0xFFFF));
  for (auto& [hwnd, view] : views_) PostMessageW(hwnd, wm::kDpiChanged, d | d << 16, 0);
}

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

void QtWindowHost::OnWindowMinimized(CWindowWnd* window, bool minimized) {
  if (auto* view = ViewFor(window->GetHWND())) {
    if (minimized)
      view->Window()->showMinimized();
    else
      view->Window()->showNormal();
  }
}

void QtWindowHost::OnWindowTitleChanged(CWindowWnd* window) {
  if (auto* view = ViewFor(window->GetHWND()))
    view->Window()->setWindowTitle(QString::fromStdString(window->GetWindowText()));
}

}  // namespace korvale
