#pragma once
// The widgets of ours: containers that draw skin backgrounds, and the skin's
// custom controls that no Qt widget draws (key buttons with light overlays,
// picture buttons, progress ring, audio levels, chart, colour field). Each
// reads its model control when painting; the view keeps them in step.
#include <QColor>
#include <QImage>
#include <QFont>
#include <QPixmap>
#include <QStaticText>
#include <QWidget>

#include "ui/ui.h"

class QRubberBand;

namespace korvale::qtview {

QColor ToQColor(DWORD argb);
// Legend colour that reads well on a background of this colour.
QColor LegendOn(QColor background);

// Layouts, list items, panels and plain controls.
class ContainerWidget : public QWidget {
 public:
  ContainerWidget(CControlUI* control, QWidget* parent);
  CControlUI* Control() const { return control_; }
  // The select panel's band follows the model's band.
  void SyncBand();
  // A key of this container needs repainting. The keys changed in one pass
  // of the loop are repainted as one rectangle: a lighting frame changes
  // them all, and one rectangle costs far less than a region of 170.
  void KeyDirty(const QRect& rect);
  // The model's look of this container changed.
  void RefreshLook();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool event(QEvent* event) override;

 private:
  // Draws the skin's and the style's background.
  void PaintBackground(QPainter& p);
  // A key panel whose background covers it fully is marked opaque, so a
  // lighting frame does not repaint the window beneath it as well.
  void UpdateOpacity();

  CControlUI* control_;
  QRubberBand* band_ = nullptr;
  QRect dirty_;
  bool flushQueued_ = false;
};

// A key of a device picture. Keys are repainted by the hundred on every
// lighting frame, so keys whose container holds nothing but keys are drawn
// by that container's painter (one painter per frame instead of one per
// key); the widget itself takes the input, the tooltip and the geometry.
class KeyButtonWidget : public QWidget {
 public:
  // parentDraws: parent is a ContainerWidget that paints this key.
  KeyButtonWidget(CDeviceKeyButtonUI* control, QWidget* parent, bool parentDraws);
  // Draws the key with p's origin at the key's top left.
  void PaintInto(QPainter& p);
  // Asks for a repaint of the key's area from whoever draws it.
  void RequestPaint();
  bool DrawnByParent() const { return drawnByParent_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  const QImage& TintedLight(const QPixmap& light, QColor color);
  // Lays the legend out again when its text or the language changed.
  void PrepareLegend();
  // What lies above the light and does not change with it: the badges, the
  // legend and the selection frame, drawn again only when one of them
  // changed; topAt_ is where it goes. Kept to the legend's box where it can
  // be: a lighting frame draws every key, and small layers stay in the cache.
  const QImage& Top(QColor legendColor, qreal dpr);

  CDeviceKeyButtonUI* control_;
  bool drawnByParent_ = false;
  // The shared cap this key last used, kept to skip the cache lookup.
  QImage cap_;
  int capState_ = -1;
  qreal capDpr_ = 0;
  std::string legendRaw_;
  unsigned legendLanguage_ = 0;
  bool legendPrepared_ = false;
  QStaticText legend_;
  QFont legendFont_;
  QSizeF legendSize_;
  quint64 legendVersion_ = 0;
  QImage tinted_;
  qint64 tintedKey_ = -1;
  QColor tintedColor_;
  QImage top_;
  QPoint topAt_;
  struct TopInputs {
    bool valid = false;
    QSize size;
    qreal dpr = 0;
    QRgb legendColor = 0;
    quint64 legendVersion = 0;
    bool unsetShown = false, setShown = false, selected = false;
    std::string unsetImage, setImage;
    DWORD selectedColor = 0;
  } topInputs_;
};

// Hand image button, hand image select button, macro record button.
class PictureButtonWidget : public QWidget {
 public:
  PictureButtonWidget(CButtonUI* control, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  CButtonUI* control_;
};

class RingWidget : public QWidget {
 public:
  RingWidget(CCircleProgressUI* control, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  CCircleProgressUI* control_;
};

class SpectrumWidget : public QWidget {
 public:
  SpectrumWidget(CAudioRecordUI* control, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  CAudioRecordUI* control_;
};

class ChartWidget : public QWidget {
 public:
  ChartWidget(CChartViewUI* control, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  CChartViewUI* control_;
};

// Hue across, lightness down; a click picks the colour under the mouse.
class PaletteWidget : public QWidget {
 public:
  PaletteWidget(CColorPaletteUI* control, QWidget* parent);
  // The colour shown at a point of the field.
  QColor ColorAt(QPoint p) const;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  QRect Field() const;
  CColorPaletteUI* control_;
  QImage field_;
};

}  // namespace korvale::qtview
