#pragma once
// Input capture from the program's own windows: while a capture is
// installed (ui/input_capture.h), key presses and releases reaching any of
// our widgets go to it with their native scan code (evdev + 8), auto-repeat
// flag and timestamp instead of to the widget, and while recording, mouse
// buttons pressed on the recording pad do too. Installed once on the
// application; X11 and Wayland deliver the same events here.
#include <QObject>

namespace korvale::qtview {

class QtInputCaptureFilter : public QObject {
 public:
  // Installs itself on the application and tells the capture service that
  // this renderer can capture; the destructor withdraws both.
  QtInputCaptureFilter();
  ~QtInputCaptureFilter() override;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace korvale::qtview
