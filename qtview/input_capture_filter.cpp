#include "qtview/input_capture_filter.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>

#include "ui/input_capture.h"

namespace korvale::qtview {
namespace {

int ButtonBit(Qt::MouseButton b) {
  switch (b) {
    case Qt::LeftButton: return kCaptureLeft;
    case Qt::RightButton: return kCaptureRight;
    case Qt::MiddleButton: return kCaptureMiddle;
    case Qt::BackButton: return kCaptureBack;
    case Qt::ForwardButton: return kCaptureForward;
    default: return 0;
  }
}

bool OnRecordPad(QObject* watched) {
  for (auto* w = qobject_cast<QWidget*>(watched); w != nullptr; w = w->parentWidget())
    if (w->objectName() == QLatin1String(kRecordPadName)) return true;
  return false;
}

}  // namespace

QtInputCaptureFilter::QtInputCaptureFilter() {
  qApp->installEventFilter(this);
  CInputCapture::Instance().SetSourceAvailable(true);
}

QtInputCaptureFilter::~QtInputCaptureFilter() {
  CInputCapture::Instance().SetSourceAvailable(false);
  CInputCapture::Instance().Uninstall();
  if (qApp != nullptr) qApp->removeEventFilter(this);
}

bool QtInputCaptureFilter::eventFilter(QObject* watched, QEvent* event) {
  CInputCapture& capture = CInputCapture::Instance();
  if (!capture.IsActive() || !watched->isWidgetType()) return false;
  switch (event->type()) {
    case QEvent::ShortcutOverride:
      // No shortcut fires while keys are captured; the key itself follows.
      event->accept();
      return false;
    case QEvent::KeyPress:
    case QEvent::KeyRelease: {
      auto* k = static_cast<QKeyEvent*>(event);
      CapturedInput in;
      in.kind = CapturedInput::Kind::Key;
      in.press = event->type() == QEvent::KeyPress;
      in.nativeScanCode = k->nativeScanCode();
      in.autoRepeat = k->isAutoRepeat();
      in.timestampMs = k->timestamp();
      return capture.Deliver(in);
    }
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick: {
      if (!capture.RecordsMouse() || !OnRecordPad(watched)) return false;
      auto* m = static_cast<QMouseEvent*>(event);
      CapturedInput in;
      in.kind = CapturedInput::Kind::Mouse;
      // A double click is the second press of the pair.
      in.press = event->type() != QEvent::MouseButtonRelease;
      in.button = ButtonBit(m->button());
      in.timestampMs = m->timestamp();
      const QPoint at = m->position().toPoint();
      in.pos = UiPoint{at.x(), at.y()};
      if (in.button == 0) return true;
      capture.Deliver(in);
      return true;
    }
    default:
      return false;
  }
}

}  // namespace korvale::qtview
