#pragma once
// The widgets of ours: containers that draw skin backgrounds, and the skin's
// custom controls that no Qt widget draws (key buttons with light overlays,
// picture buttons, progress ring, audio levels, chart, colour field). Each
// reads its model control when painting; the view keeps them in step.
#include <QColor>
#include <QImage>
#include <QWidget>

#include "ui/ui.h"

class QRubberBand;

namespace korvale::qtview {

QColor ToQColor(DWORD argb);

// Layouts, list items, panels and plain controls.
class ContainerWidget : public QWidget {
 public:
  ContainerWidget(CControlUI* control, QWidget* parent);
  CControlUI* Control() const { return control_; }
  // The select panel's band follows the model's band.
  void SyncBand();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  CControlUI* control_;
  QRubberBand* band_ = nullptr;
};

class KeyButtonWidget : public QWidget {
 public:
  KeyButtonWidget(CDeviceKeyButtonUI* control, QWidget* parent);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  const QImage& TintedLight(const QPixmap& light, QColor color);
  CDeviceKeyButtonUI* control_;
  QImage tinted_;
  qint64 tintedKey_ = -1;
  QColor tintedColor_;
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
  void resizeEvent(QResizeEvent* event) override;

 private:
  QRect Field() const;
  CColorPaletteUI* control_;
  QImage field_;
};

}  // namespace korvale::qtview
