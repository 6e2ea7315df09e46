// The yardstick for start-up: a bare Qt Widgets window of the main window's
// size, reporting its first paint the way korvale does.
#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <cstdio>

namespace {
class FirstPaint : public QObject {
 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint && !seen_) {
      seen_ = true;
      std::fprintf(stderr, "window painted: bare\n");
      std::fflush(stderr);
    }
    return false;
  }
  bool seen_ = false;
};
}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QWidget window;
  FirstPaint watcher;
  window.installEventFilter(&watcher);
  window.resize(800, 572);
  window.setWindowTitle("bare");
  window.show();
  return app.exec();
}
